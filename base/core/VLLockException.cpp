#include "base/core/VLLockException.h"
#include "base/core/VLTrace.h"

VL_IMPLEMENT_EXCEPTION(EVLLockException, 32)
