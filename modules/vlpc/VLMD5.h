// The MD5 message digest (RFC 1321), used by the VLPC password encoding.
// Each Digest call hashes one whole message from the initial state.
#ifndef VLMD5_H
#define VLMD5_H

#include "base/core/VLTypes.h"

class CVLMD5
{
public:
    static const int DIGEST_LENGTH = 16;

    CVLMD5();
    virtual ~CVLMD5();

    // Digests nLength bytes at pData (null only with a length of 0).
    virtual bool Digest(const void* pData, unsigned int nLength);
    virtual const VL_BYTE* GetResult() const;
    virtual int GetResultLength() const;

private:
    CVLMD5(const CVLMD5&) = delete;
    CVLMD5& operator=(const CVLMD5&) = delete;

    VL_BYTE m_Digest[DIGEST_LENGTH];
};

#endif
