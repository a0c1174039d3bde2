#include "base/core/VLStartThreadException.h"
#include "base/core/VLTrace.h"

VL_IMPLEMENT_EXCEPTION(EVLStartThreadException, 32)
