// The parser's input: it pulls bytes through Read and never writes to or
// closes the stream; the caller owns it and keeps it alive while parsing.
#ifndef PXP_INPUTSTREAM_H
#define PXP_INPUTSTREAM_H

#include <cstdint>

#include "base/xml/pxp/PXP_Object.h"

class PXP_InputStream : public PXP_Object
{
public:
    virtual ~PXP_InputStream();
    // Copies at most nSize bytes into pBuffer: the count copied, 0 at the end
    // of the input, a negative value on failure.
    virtual int32_t Read(void* pBuffer, int32_t nSize) = 0;
};

#endif
