#include "base/core/VLTerminateException.h"
#include "base/core/VLTrace.h"

VL_IMPLEMENT_EXCEPTION(EVLTerminateException, 32)
