// Converts arbitrary bytes between arbitrary charsets of the table, then
// runs the string operations that work on converted copies.
#include <cstddef>
#include <cstdint>

#include "base/core/VLIconvWrapper.h"
#include "base/core/VLString.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize < 3 || nSize > 4096)
        return 0;
    int eFrom = pData[0] % CVLIconvWrapper::CHARSET_COUNT;
    int eTo = pData[1] % CVLIconvWrapper::CHARSET_COUNT;
    bool bDiscard = (pData[2] & 1) != 0;
    const char* p = reinterpret_cast<const char*>(pData + 3);
    int n = static_cast<int>(nSize - 3);
    CVLString result = CVLIconvWrapper::Convert(eFrom, p, n, eTo, bDiscard);
    CVLString source(p, n, eFrom);
    source.GetCharCount();
    source.MidChar(1, 2);
    CVLString trimmed(source);
    trimmed.Trim();
    source.ToLong(0);
    source.ToDouble(0);
    VL_BYTE buf[8];
    source.HexToBytes(buf, sizeof(buf));
    result.CompareNoCase(source);
    return 0;
}
