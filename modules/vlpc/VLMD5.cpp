#include "modules/vlpc/VLMD5.h"

#include <cstring>

#include "base/core/VLException.h"
#include "modules/vlpc/VLPCDefs.h"

namespace {

const char* const s_szFile = "VLMD5";
const int LINE_DIGEST_LADDER = 71;
const int BLOCK_SIZE = 64;
// The padding starts with 0x80 and fills up to 56 bytes modulo 64; the bit
// length takes the last 8.
const int LENGTH_OFFSET = 56;

struct MD5State
{
    uint32_t a, b, c, d;
};

inline uint32_t LoadLE32(const VL_BYTE* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

inline void StoreLE32(uint32_t v, VL_BYTE* p)
{
    p[0] = static_cast<VL_BYTE>(v);
    p[1] = static_cast<VL_BYTE>(v >> 8);
    p[2] = static_cast<VL_BYTE>(v >> 16);
    p[3] = static_cast<VL_BYTE>(v >> 24);
}

inline uint32_t RotateLeft(uint32_t v, int n)
{
    return (v << n) | (v >> (32 - n));
}

// The four auxiliary functions of RFC 1321, in forms with fewer operations.
#define MD5_AUX_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_AUX_G(x, y, z) ((y) ^ ((z) & ((x) ^ (y))))
#define MD5_AUX_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_AUX_I(x, y, z) ((y) ^ ((x) | ~(z)))
#define MD5_STEP(f, a, b, c, d, x, t, s) \
    (a) += f((b), (c), (d)) + (x) + (t); \
    (a) = RotateLeft((a), (s)) + (b)

void Transform(MD5State& st, const VL_BYTE* pBlock)
{
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = LoadLE32(pBlock + 4 * i);
    uint32_t a = st.a, b = st.b, c = st.c, d = st.d;

    MD5_STEP(MD5_AUX_F, a, b, c, d, x[0], 0xd76aa478, 7);
    MD5_STEP(MD5_AUX_F, d, a, b, c, x[1], 0xe8c7b756, 12);
    MD5_STEP(MD5_AUX_F, c, d, a, b, x[2], 0x242070db, 17);
    MD5_STEP(MD5_AUX_F, b, c, d, a, x[3], 0xc1bdceee, 22);
    MD5_STEP(MD5_AUX_F, a, b, c, d, x[4], 0xf57c0faf, 7);
    MD5_STEP(MD5_AUX_F, d, a, b, c, x[5], 0x4787c62a, 12);
    MD5_STEP(MD5_AUX_F, c, d, a, b, x[6], 0xa8304613, 17);
    MD5_STEP(MD5_AUX_F, b, c, d, a, x[7], 0xfd469501, 22);
    MD5_STEP(MD5_AUX_F, a, b, c, d, x[8], 0x698098d8, 7);
    MD5_STEP(MD5_AUX_F, d, a, b, c, x[9], 0x8b44f7af, 12);
    MD5_STEP(MD5_AUX_F, c, d, a, b, x[10], 0xffff5bb1, 17);
    MD5_STEP(MD5_AUX_F, b, c, d, a, x[11], 0x895cd7be, 22);
    MD5_STEP(MD5_AUX_F, a, b, c, d, x[12], 0x6b901122, 7);
    MD5_STEP(MD5_AUX_F, d, a, b, c, x[13], 0xfd987193, 12);
    MD5_STEP(MD5_AUX_F, c, d, a, b, x[14], 0xa679438e, 17);
    MD5_STEP(MD5_AUX_F, b, c, d, a, x[15], 0x49b40821, 22);

    MD5_STEP(MD5_AUX_G, a, b, c, d, x[1], 0xf61e2562, 5);
    MD5_STEP(MD5_AUX_G, d, a, b, c, x[6], 0xc040b340, 9);
    MD5_STEP(MD5_AUX_G, c, d, a, b, x[11], 0x265e5a51, 14);
    MD5_STEP(MD5_AUX_G, b, c, d, a, x[0], 0xe9b6c7aa, 20);
    MD5_STEP(MD5_AUX_G, a, b, c, d, x[5], 0xd62f105d, 5);
    MD5_STEP(MD5_AUX_G, d, a, b, c, x[10], 0x02441453, 9);
    MD5_STEP(MD5_AUX_G, c, d, a, b, x[15], 0xd8a1e681, 14);
    MD5_STEP(MD5_AUX_G, b, c, d, a, x[4], 0xe7d3fbc8, 20);
    MD5_STEP(MD5_AUX_G, a, b, c, d, x[9], 0x21e1cde6, 5);
    MD5_STEP(MD5_AUX_G, d, a, b, c, x[14], 0xc33707d6, 9);
    MD5_STEP(MD5_AUX_G, c, d, a, b, x[3], 0xf4d50d87, 14);
    MD5_STEP(MD5_AUX_G, b, c, d, a, x[8], 0x455a14ed, 20);
    MD5_STEP(MD5_AUX_G, a, b, c, d, x[13], 0xa9e3e905, 5);
    MD5_STEP(MD5_AUX_G, d, a, b, c, x[2], 0xfcefa3f8, 9);
    MD5_STEP(MD5_AUX_G, c, d, a, b, x[7], 0x676f02d9, 14);
    MD5_STEP(MD5_AUX_G, b, c, d, a, x[12], 0x8d2a4c8a, 20);

    MD5_STEP(MD5_AUX_H, a, b, c, d, x[5], 0xfffa3942, 4);
    MD5_STEP(MD5_AUX_H, d, a, b, c, x[8], 0x8771f681, 11);
    MD5_STEP(MD5_AUX_H, c, d, a, b, x[11], 0x6d9d6122, 16);
    MD5_STEP(MD5_AUX_H, b, c, d, a, x[14], 0xfde5380c, 23);
    MD5_STEP(MD5_AUX_H, a, b, c, d, x[1], 0xa4beea44, 4);
    MD5_STEP(MD5_AUX_H, d, a, b, c, x[4], 0x4bdecfa9, 11);
    MD5_STEP(MD5_AUX_H, c, d, a, b, x[7], 0xf6bb4b60, 16);
    MD5_STEP(MD5_AUX_H, b, c, d, a, x[10], 0xbebfbc70, 23);
    MD5_STEP(MD5_AUX_H, a, b, c, d, x[13], 0x289b7ec6, 4);
    MD5_STEP(MD5_AUX_H, d, a, b, c, x[0], 0xeaa127fa, 11);
    MD5_STEP(MD5_AUX_H, c, d, a, b, x[3], 0xd4ef3085, 16);
    MD5_STEP(MD5_AUX_H, b, c, d, a, x[6], 0x04881d05, 23);
    MD5_STEP(MD5_AUX_H, a, b, c, d, x[9], 0xd9d4d039, 4);
    MD5_STEP(MD5_AUX_H, d, a, b, c, x[12], 0xe6db99e5, 11);
    MD5_STEP(MD5_AUX_H, c, d, a, b, x[15], 0x1fa27cf8, 16);
    MD5_STEP(MD5_AUX_H, b, c, d, a, x[2], 0xc4ac5665, 23);

    MD5_STEP(MD5_AUX_I, a, b, c, d, x[0], 0xf4292244, 6);
    MD5_STEP(MD5_AUX_I, d, a, b, c, x[7], 0x432aff97, 10);
    MD5_STEP(MD5_AUX_I, c, d, a, b, x[14], 0xab9423a7, 15);
    MD5_STEP(MD5_AUX_I, b, c, d, a, x[5], 0xfc93a039, 21);
    MD5_STEP(MD5_AUX_I, a, b, c, d, x[12], 0x655b59c3, 6);
    MD5_STEP(MD5_AUX_I, d, a, b, c, x[3], 0x8f0ccc92, 10);
    MD5_STEP(MD5_AUX_I, c, d, a, b, x[10], 0xffeff47d, 15);
    MD5_STEP(MD5_AUX_I, b, c, d, a, x[1], 0x85845dd1, 21);
    MD5_STEP(MD5_AUX_I, a, b, c, d, x[8], 0x6fa87e4f, 6);
    MD5_STEP(MD5_AUX_I, d, a, b, c, x[15], 0xfe2ce6e0, 10);
    MD5_STEP(MD5_AUX_I, c, d, a, b, x[6], 0xa3014314, 15);
    MD5_STEP(MD5_AUX_I, b, c, d, a, x[13], 0x4e0811a1, 21);
    MD5_STEP(MD5_AUX_I, a, b, c, d, x[4], 0xf7537e82, 6);
    MD5_STEP(MD5_AUX_I, d, a, b, c, x[11], 0xbd3af235, 10);
    MD5_STEP(MD5_AUX_I, c, d, a, b, x[2], 0x2ad7d2bb, 15);
    MD5_STEP(MD5_AUX_I, b, c, d, a, x[9], 0xeb86d391, 21);

    st.a += a;
    st.b += b;
    st.c += c;
    st.d += d;
}

#undef MD5_AUX_F
#undef MD5_AUX_G
#undef MD5_AUX_H
#undef MD5_AUX_I
#undef MD5_STEP

}  // namespace

CVLMD5::CVLMD5()
{
    std::memset(m_Digest, 0, sizeof(m_Digest));
}

CVLMD5::~CVLMD5()
{
    std::memset(m_Digest, 0, sizeof(m_Digest));
}

bool CVLMD5::Digest(const void* pData, unsigned int nLength)
{
    try {
        MD5State st = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
        const VL_BYTE* p = static_cast<const VL_BYTE*>(pData);
        unsigned int nLeft = nLength;
        while (nLeft >= static_cast<unsigned int>(BLOCK_SIZE)) {
            Transform(st, p);
            p += BLOCK_SIZE;
            nLeft -= BLOCK_SIZE;
        }
        // The tail, the 0x80 marker and the bit length fill one or two blocks.
        VL_BYTE tail[2 * BLOCK_SIZE];
        std::memset(tail, 0, sizeof(tail));
        if (nLeft > 0)
            std::memcpy(tail, p, nLeft);
        tail[nLeft] = 0x80;
        int nTail = nLeft < static_cast<unsigned int>(LENGTH_OFFSET) ? BLOCK_SIZE : 2 * BLOCK_SIZE;
        uint64_t nBits = static_cast<uint64_t>(nLength) * 8;
        StoreLE32(static_cast<uint32_t>(nBits), tail + nTail - 8);
        StoreLE32(static_cast<uint32_t>(nBits >> 32), tail + nTail - 4);
        Transform(st, tail);
        if (nTail == 2 * BLOCK_SIZE)
            Transform(st, tail + BLOCK_SIZE);
        StoreLE32(st.a, m_Digest);
        StoreLE32(st.b, m_Digest + 4);
        StoreLE32(st.c, m_Digest + 8);
        StoreLE32(st.d, m_Digest + 12);
        // The working context holds message bytes: clear it.
        volatile VL_BYTE* pWipe = tail;
        for (size_t i = 0; i < sizeof(tail); ++i)
            pWipe[i] = 0;
        st = MD5State{0, 0, 0, 0};
    } catch (...) {
        VLRethrowAsFramework(VLMDVLPCENCRYPT_MODULE, s_szFile, LINE_DIGEST_LADDER);
    }
    return true;
}

const VL_BYTE* CVLMD5::GetResult() const
{
    return m_Digest;
}

int CVLMD5::GetResultLength() const
{
    return DIGEST_LENGTH;
}
