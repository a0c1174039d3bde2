// Reads arbitrary bytes as a received log packet and every payload form.
// Refusals are expected; crashes and out-of-bounds reads are not.
#include <cstring>
#include <vector>

#include "base/log/VLLogPacket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    CVLLogPacket p;
    if (!p.Read(static_cast<VL_ULONG>(nSize), pData))
        return 0;
    CVLString a, b, c, d;
    VL_BYTE x, y;
    uint16_t n, v;
    const VL_BYTE* pBlock;
    p.GetType1(&a, &b, &c, &d);
    p.GetType5(&x, &y);
    p.GetType5(&x, &y, &n, &pBlock);
    p.GetType5(&x, &y, &a);
    p.GetType5(&x, &y, &a, &b);
    p.GetType6(&v);
    p.GetType7(&a);
    p.GetType8(&a);
    (void)p.GetA();
    (void)p.GetC();
    for (int nBit = 0; nBit < 17; ++nBit)
        p.SetFlag(nBit, (nBit & 1) == 0);
    (void)p.GetC();
    CVLLogPacket copy(p);
    // The same bytes taken in place.
    VL_BYTE* pBuffer = new VL_BYTE[nSize];
    memcpy(pBuffer, pData, nSize);
    CVLLogPacket q;
    if (!q.Attach(static_cast<VL_ULONG>(nSize), pBuffer))
        delete[] pBuffer;
    return 0;
}
