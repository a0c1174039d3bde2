#ifndef VLSTOPFUNCTIONEXCEPTION_H
#define VLSTOPFUNCTIONEXCEPTION_H

#include "base/core/VLException.h"

VL_DECLARE_EXCEPTION(EVLStopFunctionException)

#endif
