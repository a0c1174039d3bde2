#ifndef VLLOCKEXCEPTION_H
#define VLLOCKEXCEPTION_H

#include "base/core/VLException.h"

VL_DECLARE_EXCEPTION(EVLLockException)

#endif
