#ifndef VLNULLOBJECTEXCEPTION_H
#define VLNULLOBJECTEXCEPTION_H

#include "base/core/VLException.h"

VL_DECLARE_EXCEPTION(EVLNullObjectException)

#endif
