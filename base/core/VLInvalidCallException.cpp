#include "base/core/VLInvalidCallException.h"
#include "base/core/VLTrace.h"

VL_IMPLEMENT_EXCEPTION(EVLInvalidCallException, 32)
