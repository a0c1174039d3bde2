// Feeds an IVLStream to the pull parser. At the end of the stream it hands
// out the parser's end-of-input byte 0x1A once, then nothing.
#ifndef VLXMLSTREAM_H
#define VLXMLSTREAM_H

#include "base/xml/pxp/PXP_InputStream.h"
#include "base/core/VLStream.h"

class CVLXmlStream : public PXP_InputStream
{
public:
    explicit CVLXmlStream(IVLStream* pStream);
    virtual ~CVLXmlStream();

    virtual int32_t Read(void* pBuffer, int32_t nSize) override;

protected:
    IVLStream* m_pStream;
    bool m_bEnd;
};

#endif
