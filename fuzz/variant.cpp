// Builds two variants of arbitrary types and contents and runs every
// operator, conversion and the dump text on them. Refused operations throw
// framework exceptions; nothing may crash or read out of bounds.
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <cstring>

#include "base/core/VLException.h"
#include "base/value/VLVariant.h"

namespace {

// Fills v from the data: one type byte, one length byte, then the payload.
size_t Build(CVLVariant& v, CVLVariant& target, const uint8_t* p, size_t n)
{
    if (n < 2)
        return n;
    int nType = p[0] % 22;
    size_t nLength = p[1];
    p += 2;
    n -= 2;
    if (nLength > n)
        nLength = n;
    uint8_t raw[8] = {0};
    std::memcpy(raw, p, nLength < 8 ? nLength : 8);
    int64_t ll;
    double d;
    float f;
    std::memcpy(&ll, raw, 8);
    std::memcpy(&d, raw, 8);
    std::memcpy(&f, raw, 4);
    char text[256] = {0};
    std::memcpy(text, p, nLength < 255 ? nLength : 255);
    switch (nType) {
    case 1: v.SetBool(raw[0] & 1); break;
    case 2: v.SetChar(static_cast<char>(raw[0])); break;
    case 3: v.SetUChar(raw[0]); break;
    case 4: v.SetShort(static_cast<short>(ll)); break;
    case 5: v.SetUShort(static_cast<unsigned short>(ll)); break;
    case 6: v.SetInt(static_cast<int>(ll)); break;
    case 7: v.SetUInt(static_cast<unsigned int>(ll)); break;
    case 8: v.SetLong(static_cast<VL_LONG>(ll)); break;
    case 9: v.SetULong(static_cast<VL_ULONG>(ll)); break;
    case 10: v.SetLongLong(ll); break;
    case 11: v.SetULongLong(static_cast<uint64_t>(ll)); break;
    case 12: v.SetFloat(f); break;
    case 13: v.SetDouble(d); break;
    case 14: v.SetString(text, (raw[0] & 0x80) ? VL_CHARSET_UTF16 : VL_CHARSET_UTF8); break;
    case 15: v.SetBinary(p, static_cast<int>(nLength)); break;
    case 16: {
        CVLVariant s;
        s.SetString(text, VL_CHARSET_UTF8);
        v.SetAs(16, s);
        break;
    }
    case 17: {
        // Dotted quads only: a host name would be looked up.
        char quad[32];
        snprintf(quad, sizeof(quad), "%d.%d.%d.%d", raw[0], raw[1], raw[2], raw[3]);
        CVLVariant s;
        s.SetString(quad, VL_CHARSET_UTF8);
        v.SetAs(17, s);
        break;
    }
    case 18: {
        CVLVariant s;
        s.SetString(text, VL_CHARSET_UTF8);
        v.SetAs(18, s);
        break;
    }
    case 19: target.SetString(text, VL_CHARSET_UTF8); v.SetReference(&target); break;
    default: v.SetType(nType); break;
    }
    return 2 + nLength;
}

template <typename F>
void Try(F f)
{
    try {
        f();
    } catch (EVLException* e) {
        e->Delete();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize > 1024)
        return 0;
    CVLVariant a, b, ta, tb;
    size_t nUsed = 0;
    Try([&] { nUsed = Build(a, ta, pData, nSize); });
    Try([&] { Build(b, tb, pData + nUsed, nSize - nUsed); });
    // Comparing an address with an arbitrary text would look the text up as
    // a host name: those comparisons are left out.
    bool bAddress = a.GetValueType() == 17 || b.GetValueType() == 17;
    Try([&] { CVLVariant r = a * b; r.Dump(); });
    Try([&] { CVLVariant r = a / b; r.Dump(); });
    Try([&] { CVLVariant r = a + b; r.Dump(); });
    Try([&] { CVLVariant r = a - b; r.Dump(); });
    Try([&] { CVLVariant r = a % b; r.Dump(); });
    Try([&] { CVLVariant r = a & b; r.Dump(); });
    Try([&] { CVLVariant r = a | b; r.Dump(); });
    Try([&] { CVLVariant r = a ^ b; r.Dump(); });
    Try([&] { CVLVariant r = a << b; r.Dump(); });
    Try([&] { CVLVariant r = a >> b; r.Dump(); });
    Try([&] { CVLVariant r = ~a; r.Dump(); });
    if (!bAddress) {
        Try([&] { (void)(a < b); });
        Try([&] { (void)(a >= b); });
        Try([&] { (void)(a == b); });
        Try([&] { a.GetSize(); });
    }
    Try([&] { (void)(a && b); });
    Try([&] { a.ToInt(0); a.ToULongLong(0); a.ToFloat(0); a.ToDouble(0); a.ToChar(0); });
    Try([&] { a.ToString(nullptr); a.ToByteArray(nullptr, 0); a.ToDateTime(); });
    Try([&] { a.Dump(); b.Dump(); });
    for (int nType = 0; nType <= 21; ++nType) {
        if (nType == 17)
            continue;
        Try([&] { CVLVariant c; c.SetAs(nType, b); c.Dump(); });
    }
    Try([&] { CVLVariant c(a); c.SetValue(b); c = b; });
    return 0;
}
