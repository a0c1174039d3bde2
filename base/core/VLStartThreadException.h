#ifndef VLSTARTTHREADEXCEPTION_H
#define VLSTARTTHREADEXCEPTION_H

#include "base/core/VLException.h"

VL_DECLARE_EXCEPTION(EVLStartThreadException)

#endif
