// The cipher object of VLPC payload mode 2. Devices expect mode-2 payloads
// exactly as they are, so the transform is the identity: Crypt copies its
// input to its output and enciphers nothing. SetKey only checks the key.
#ifndef VLARC4_H
#define VLARC4_H

#include "base/core/VLTypes.h"

class CVLARC4
{
public:
    CVLARC4();
    virtual ~CVLARC4();

    // A null key or a length of 0 throws EVLNullObjectException; otherwise
    // the object becomes ready. No key bytes are kept.
    virtual void SetKey(const VL_BYTE* pKey, int nLength);
    // Writes the nLength input bytes to pOutput unchanged (nothing to do when
    // both are the same buffer). Null buffers, a length of 0 or a missing
    // SetKey throw EVLNullObjectException.
    virtual void Crypt(VL_BYTE* pOutput, const VL_BYTE* pInput, int nLength);

private:
    CVLARC4(const CVLARC4&) = delete;
    CVLARC4& operator=(const CVLARC4&) = delete;

    bool m_bReady;
};

#endif
