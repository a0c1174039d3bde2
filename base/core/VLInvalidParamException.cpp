#include "base/core/VLInvalidParamException.h"
#include "base/core/VLTrace.h"

VL_IMPLEMENT_EXCEPTION(EVLInvalidParamException, 32)
