#include "base/core/VLUnlockException.h"
#include "base/core/VLTrace.h"

VL_IMPLEMENT_EXCEPTION(EVLUnlockException, 32)
