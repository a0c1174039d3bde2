#ifndef VLINVALIDPARAMEXCEPTION_H
#define VLINVALIDPARAMEXCEPTION_H

#include "base/core/VLException.h"

VL_DECLARE_EXCEPTION(EVLInvalidParamException)

#endif
