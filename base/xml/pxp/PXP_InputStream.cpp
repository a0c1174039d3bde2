#include "PXP_InputStream.h"

PXP_InputStream::~PXP_InputStream()
{
}
