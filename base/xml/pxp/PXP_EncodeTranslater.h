// Converts the parser's input from UTF-16, Shift_JIS or EUC-JP into UTF-8,
// one chunk at a time.
#ifndef PXP_ENCODETRANSLATER_H
#define PXP_ENCODETRANSLATER_H

#include <cstdint>

#include "base/xml/pxp/PXP_Object.h"

// Output bytes that one input byte may produce at most (Shift_JIS half-width
// katakana: 1 byte in, 3 out).
#define PXP_TRANSLATE_EXPANSION 3

class PXP_EncodeTranslater : public PXP_Object
{
public:
    PXP_EncodeTranslater();
    virtual ~PXP_EncodeTranslater();

    void SetEncoding(signed char nEncoding) { m_nEncoding = nEncoding; }
    signed char GetEncoding() const { return m_nEncoding; }

    // Translates pSrc[0..nSrcLength) into pDst, which holds at least
    // PXP_TRANSLATE_EXPANSION * nSrcLength + 4 bytes, and returns the number
    // of bytes written (no NUL is added). Only whole characters are decoded:
    // nConsumed tells how many source bytes were used, and the rest (at most
    // 3 bytes of an incomplete character) must be passed again in front of the
    // next chunk. With bFinal, an incomplete character at the end becomes
    // U+FFFE, except a single odd byte of UTF-16, which is dropped as the end
    // of the input. A sequence that is not valid in the encoding becomes
    // U+FFFE. Returns -1 (and writes nothing) for an encoding outside 1 to 4.
    int32_t Translate(const unsigned char* pSrc, int32_t nSrcLength, unsigned char* pDst, int32_t& nConsumed,
                      bool bFinal) const;

    // The UTF-16 unit of a Shift_JIS code (one byte below 0x100, or lead and
    // trail byte), 0xFFFE when the code has no character.
    static uint16_t MapShiftJis(uint32_t nCode);

private:
    signed char m_nEncoding;
};

#endif
