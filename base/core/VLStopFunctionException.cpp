#include "base/core/VLStopFunctionException.h"
#include "base/core/VLTrace.h"

VL_IMPLEMENT_EXCEPTION(EVLStopFunctionException, 32)
