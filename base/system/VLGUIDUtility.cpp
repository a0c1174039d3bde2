#include "base/system/VLGUIDUtility.h"

#include <cstring>

#include "base/core/VLByteOrder.h"
#include "base/core/VLRandom.h"
#include "base/core/VLStdRuntime.h"
#include "base/platform/VLPlatformProcess.h"

CVLGUIDUtility::~CVLGUIDUtility()
{
}

VLGUID CVLGUIDUtility::Create()
{
    VL_BYTE bytes[16];
    if (!VLPlatformRandomBytes(bytes, sizeof(bytes))) {
        // No kernel source: fall back on the library generator.
        for (size_t i = 0; i < sizeof(bytes); ++i)
            bytes[i] = static_cast<VL_BYTE>(CVLRandom::GetRandom() >> 4);
    }
    bytes[6] = static_cast<VL_BYTE>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<VL_BYTE>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    VLGUID guid;
    guid.nData1 = CVLByteOrder::GetUInt32(2, bytes);
    guid.nData2 = CVLByteOrder::GetUInt16(2, bytes + 4);
    guid.nData3 = CVLByteOrder::GetUInt16(2, bytes + 6);
    VLStdMemcpy(guid.Data4, bytes + 8, 8);
    return guid;
}

CVLString CVLGUIDUtility::ToString(const VLGUID& guid, bool bUpper, bool bNoBraces)
{
    char buf[64];
    VLStdSnprintf(buf, sizeof(buf), "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                  static_cast<unsigned>(guid.nData1), guid.nData2, guid.nData3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    CVLString result(buf, VL_CHARSET_UTF8);
    if (bUpper)
        result = result.MakeUpper();
    if (bNoBraces)
        result = result.Mid(1, result.GetLength() - 2);
    return result;
}

CVLString CVLGUIDUtility::CreateString(bool bUpper, bool bNoBraces)
{
    return ToString(Create(), bUpper, bNoBraces);
}

static bool IsHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool CVLGUIDUtility::FromString(const char* szText, VLGUID* pGuid)
{
    if (pGuid == nullptr)
        return false;
    VLStdMemset(pGuid, 0, sizeof(*pGuid));
    if (szText == nullptr)
        return false;
    size_t n = std::strlen(szText);
    const char* p = szText;
    if (n == 38) {
        if (szText[0] != '{' || szText[37] != '}')
            return false;
        ++p;
    } else if (n != 36) {
        return false;
    }
    for (int i = 0; i < 36; ++i) {
        bool bDash = (i == 8 || i == 13 || i == 18 || i == 23);
        if (bDash ? p[i] != '-' : !IsHex(p[i]))
            return false;
    }
    static const int kStart[5] = {0, 9, 14, 19, 24};
    static const int kDigits[5] = {8, 4, 4, 4, 12};
    VL_BYTE groups[5][6];
    for (int g = 0; g < 5; ++g) {
        CVLString part(p + kStart[g], kDigits[g], VL_CHARSET_UTF8);
        if (part.HexToBytes(groups[g], kDigits[g] / 2) != kDigits[g] / 2)
            return false;
    }
    pGuid->nData1 = CVLByteOrder::GetUInt32(2, groups[0]);
    pGuid->nData2 = CVLByteOrder::GetUInt16(2, groups[1]);
    pGuid->nData3 = CVLByteOrder::GetUInt16(2, groups[2]);
    VLStdMemcpy(pGuid->Data4, groups[3], 2);
    VLStdMemcpy(pGuid->Data4 + 2, groups[4], 6);
    return true;
}
