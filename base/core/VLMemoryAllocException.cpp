#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLTrace.h"

VL_IMPLEMENT_EXCEPTION(EVLMemoryAllocException, 32)
