#ifndef VLMEMORYALLOCEXCEPTION_H
#define VLMEMORYALLOCEXCEPTION_H

#include "base/core/VLException.h"

VL_DECLARE_EXCEPTION(EVLMemoryAllocException)

#endif
