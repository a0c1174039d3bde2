#ifndef VLTERMINATEEXCEPTION_H
#define VLTERMINATEEXCEPTION_H

#include "base/core/VLException.h"

VL_DECLARE_EXCEPTION(EVLTerminateException)

#endif
