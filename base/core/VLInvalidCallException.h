#ifndef VLINVALIDCALLEXCEPTION_H
#define VLINVALIDCALLEXCEPTION_H

#include "base/core/VLException.h"

VL_DECLARE_EXCEPTION(EVLInvalidCallException)

#endif
