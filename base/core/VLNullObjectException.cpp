#include "base/core/VLNullObjectException.h"
#include "base/core/VLTrace.h"

VL_IMPLEMENT_EXCEPTION(EVLNullObjectException, 32)
