#include "base/xml/pxp/PXP_EncodeTranslater.h"

#include "base/xml/pxp/PXP_Defs.h"

#include "base/xml/pxp/PXP_SjisTable.inc"

namespace {

const uint32_t kNoChar = 0xFFFE;

inline unsigned char* PutUtf8(unsigned char* p, uint32_t c)
{
    if (c < 0x80) {
        *p++ = static_cast<unsigned char>(c);
    } else if (c < 0x800) {
        *p++ = static_cast<unsigned char>(0xC0 | (c >> 6));
        *p++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *p++ = static_cast<unsigned char>(0xE0 | (c >> 12));
        *p++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        *p++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else {
        *p++ = static_cast<unsigned char>(0xF0 | (c >> 18));
        *p++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
        *p++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        *p++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
    return p;
}

inline bool IsSjisLead(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

inline bool IsSjisTrail(unsigned char b)
{
    return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

}  // namespace

PXP_EncodeTranslater::PXP_EncodeTranslater() : m_nEncoding(PXP_CHARSET_UTF8)
{
}

PXP_EncodeTranslater::~PXP_EncodeTranslater()
{
}

uint16_t PXP_EncodeTranslater::MapShiftJis(uint32_t nCode)
{
    if (nCode < 0x80)
        return static_cast<uint16_t>(nCode);
    if (nCode >= 0xA1 && nCode <= 0xDF)
        return static_cast<uint16_t>(0xFF61 + (nCode - 0xA1));
    if (nCode < 0x100)
        return kNoChar;
    uint32_t nLead = nCode >> 8;
    uint32_t nTrail = nCode & 0xFF;
    if (nCode >= 0xFA40 && nCode <= 0xFA49)
        return static_cast<uint16_t>(0x2170 + (nCode - 0xFA40));
    if (nTrail < 0x40 || nTrail > 0xFC)
        return kNoChar;
    uint32_t nRow;
    if (nLead >= 0x81 && nLead <= 0x9F)
        nRow = nLead - 0x81;
    else if (nLead >= 0xE0 && nLead <= 0xEA)
        nRow = nLead - 0xE0 + 31;
    else
        return kNoChar;
    return s_SjisTable[nRow * 189 + (nTrail - 0x40)];
}

int32_t PXP_EncodeTranslater::Translate(const unsigned char* pSrc, int32_t nSrcLength, unsigned char* pDst,
                                        int32_t& nConsumed, bool bFinal) const
{
    nConsumed = 0;
    if (m_nEncoding < PXP_CHARSET_UTF16LE || m_nEncoding > PXP_CHARSET_EUC_JP)
        return -1;
    unsigned char* p = pDst;
    int32_t i = 0;
    const int32_t n = nSrcLength;
    switch (m_nEncoding) {
    case PXP_CHARSET_UTF16LE:
    case PXP_CHARSET_UTF16BE: {
        const bool bBig = (m_nEncoding == PXP_CHARSET_UTF16BE);
        while (i + 1 < n) {
            uint32_t u = bBig ? (pSrc[i] << 8 | pSrc[i + 1]) : (pSrc[i + 1] << 8 | pSrc[i]);
            if (u >= 0xD800 && u <= 0xDBFF) {
                if (i + 3 >= n) {
                    if (!bFinal)
                        break;  // the low half comes with the next chunk
                    p = PutUtf8(p, kNoChar);
                    i += 2;
                    continue;
                }
                uint32_t v = bBig ? (pSrc[i + 2] << 8 | pSrc[i + 3]) : (pSrc[i + 3] << 8 | pSrc[i + 2]);
                if (v >= 0xDC00 && v <= 0xDFFF) {
                    p = PutUtf8(p, 0x10000 + ((u & 0x3FF) << 10) + (v & 0x3FF));
                    i += 4;
                } else {
                    p = PutUtf8(p, kNoChar);
                    i += 2;
                }
                continue;
            }
            if (u >= 0xDC00 && u <= 0xDFFF)
                u = kNoChar;
            if (u == PXP_END_OF_INPUT && i + 2 >= n) {
                // Held back until it is known whether it is the last unit:
                // there it is the end marker of the document reader's stream
                // paired with an odd last byte of the document.
                if (!bFinal)
                    break;
                *p++ = 0;  // a NUL in the output is bad input
                i += 2;
                continue;
            }
            p = PutUtf8(p, u);
            i += 2;
        }
        if (bFinal && i < n) {
            // One byte left over: the reader's end marker behind an even
            // document ends it; any other odd byte is no character.
            if (pSrc[i] != PXP_END_OF_INPUT)
                *p++ = 0;
            i = n;
        }
        break;
    }
    case PXP_CHARSET_SHIFT_JIS:
        while (i < n) {
            unsigned char b = pSrc[i];
            if (b < 0x80) {
                *p++ = b;
                ++i;
            } else if (IsSjisLead(b)) {
                if (i + 1 >= n) {
                    if (!bFinal)
                        break;
                    p = PutUtf8(p, kNoChar);
                    ++i;
                    continue;
                }
                unsigned char t = pSrc[i + 1];
                if (IsSjisTrail(t)) {
                    p = PutUtf8(p, MapShiftJis(static_cast<uint32_t>(b) << 8 | t));
                    i += 2;
                } else {
                    p = PutUtf8(p, kNoChar);  // keep the stray byte behind the lead
                    ++i;
                }
            } else {
                p = PutUtf8(p, MapShiftJis(b));
                ++i;
            }
        }
        break;
    case PXP_CHARSET_EUC_JP:
        while (i < n) {
            unsigned char b = pSrc[i];
            if (b < 0x80) {
                *p++ = b;
                ++i;
            } else if (b == 0x8F) {
                // JIS X 0212: three bytes, no character in the table.
                if (i + 2 >= n && !bFinal)
                    break;
                int32_t k = 1;
                while (k < 3 && i + k < n && pSrc[i + k] >= 0xA1 && pSrc[i + k] <= 0xFE)
                    ++k;
                p = PutUtf8(p, kNoChar);
                i += (k == 3) ? 3 : 1;
            } else if (b == 0x8E || (b >= 0xA1 && b <= 0xFE)) {
                if (i + 1 >= n) {
                    if (!bFinal)
                        break;
                    p = PutUtf8(p, kNoChar);
                    ++i;
                    continue;
                }
                unsigned char t = pSrc[i + 1];
                if (t < 0xA1 || t > 0xFE) {
                    p = PutUtf8(p, kNoChar);
                    ++i;
                    continue;
                }
                uint32_t c;
                if (b == 0x8E) {
                    c = (t <= 0xDF) ? MapShiftJis(t) : kNoChar;
                } else {
                    uint32_t j1 = b - 0x80;
                    uint32_t j2 = t - 0x80;
                    uint32_t s1 = (j1 + 1) / 2 + 0x70;
                    if (s1 > 0x9F)
                        s1 += 0x40;
                    uint32_t s2;
                    if (j1 & 1) {
                        s2 = j2 + 0x1F;
                        if (s2 >= 0x7F)
                            ++s2;
                    } else {
                        s2 = j2 + 0x7E;
                    }
                    c = MapShiftJis(s1 << 8 | s2);
                }
                p = PutUtf8(p, c);
                i += 2;
            } else {
                p = PutUtf8(p, kNoChar);
                ++i;
            }
        }
        break;
    default:
        break;
    }
    nConsumed = i;
    return static_cast<int32_t>(p - pDst);
}
