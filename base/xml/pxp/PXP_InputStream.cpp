#include "base/xml/pxp/PXP_InputStream.h"

PXP_InputStream::~PXP_InputStream()
{
}
