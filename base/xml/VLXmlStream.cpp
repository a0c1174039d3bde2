#include "base/xml/VLXmlStream.h"

#include "base/xml/pxp/PXP_Defs.h"

CVLXmlStream::CVLXmlStream(IVLStream* pStream) : m_pStream(pStream), m_bEnd(false)
{
}

CVLXmlStream::~CVLXmlStream()
{
}

int32_t CVLXmlStream::Read(void* pBuffer, int32_t nSize)
{
    if (m_bEnd || nSize <= 0 || pBuffer == nullptr)
        return 0;
    if (m_pStream == nullptr)
        return -1;
    VL_SIZE_T n = m_pStream->Read(static_cast<VL_BYTE*>(pBuffer), static_cast<VL_SIZE_T>(nSize));
    if (n == 0) {
        static_cast<VL_BYTE*>(pBuffer)[0] = PXP_END_OF_INPUT;
        m_bEnd = true;
        return 1;
    }
    if (n > static_cast<VL_SIZE_T>(nSize))
        n = static_cast<VL_SIZE_T>(nSize);
    return static_cast<int32_t>(n);
}
