#ifndef VLUNLOCKEXCEPTION_H
#define VLUNLOCKEXCEPTION_H

#include "base/core/VLException.h"

VL_DECLARE_EXCEPTION(EVLUnlockException)

#endif
