#include "base/core/VLByteOrder.h"

#include <cstring>

int CVLByteOrder::GetHostOrder()
{
    const uint16_t n = 1;
    unsigned char b;
    memcpy(&b, &n, 1);
    return b == 1 ? 1 : 2;
}

void CVLByteOrder::Convert(int nOrder, int nSize, const void* pSrc, void* pDest)
{
    if (pSrc == nullptr || pDest == nullptr || nSize <= 0)
        return;
    if (nOrder == GetHostOrder()) {
        memmove(pDest, pSrc, static_cast<size_t>(nSize));
        return;
    }
    unsigned char tmp[16];
    const unsigned char* s = static_cast<const unsigned char*>(pSrc);
    unsigned char* d = static_cast<unsigned char*>(pDest);
    if (nSize <= 16) {
        for (int i = 0; i < nSize; ++i)
            tmp[i] = s[nSize - 1 - i];
        memcpy(d, tmp, static_cast<size_t>(nSize));
        return;
    }
    memmove(d, s, static_cast<size_t>(nSize));
    for (int i = 0, j = nSize - 1; i < j; ++i, --j) {
        unsigned char c = d[i];
        d[i] = d[j];
        d[j] = c;
    }
}

namespace {
template <typename T>
void SetValue(T value, int nOrder, void* pDest)
{
    CVLByteOrder::Convert(nOrder, static_cast<int>(sizeof(T)), &value, pDest);
}

template <typename T>
T GetValue(int nOrder, const void* pSrc)
{
    T value;
    memset(&value, 0, sizeof(T));
    CVLByteOrder::Convert(nOrder, static_cast<int>(sizeof(T)), pSrc, &value);
    return value;
}
}  // namespace

// clang-format off
void CVLByteOrder::SetUInt16(uint16_t v, int o, void* d) { SetValue(v, o, d); }
void CVLByteOrder::SetInt16(int16_t v, int o, void* d) { SetValue(v, o, d); }
void CVLByteOrder::SetUInt32(uint32_t v, int o, void* d) { SetValue(v, o, d); }
void CVLByteOrder::SetInt32(int32_t v, int o, void* d) { SetValue(v, o, d); }
void CVLByteOrder::SetUInt64(uint64_t v, int o, void* d) { SetValue(v, o, d); }
void CVLByteOrder::SetInt64(int64_t v, int o, void* d) { SetValue(v, o, d); }
void CVLByteOrder::SetFloat(float v, int o, void* d) { SetValue(v, o, d); }
void CVLByteOrder::SetDouble(double v, int o, void* d) { SetValue(v, o, d); }

uint8_t CVLByteOrder::GetUInt8(int, const void* s) { return s ? *static_cast<const uint8_t*>(s) : 0; }
int8_t CVLByteOrder::GetInt8(int, const void* s) { return s ? *static_cast<const int8_t*>(s) : 0; }
uint16_t CVLByteOrder::GetUInt16(int o, const void* s) { return GetValue<uint16_t>(o, s); }
int16_t CVLByteOrder::GetInt16(int o, const void* s) { return GetValue<int16_t>(o, s); }
unsigned int CVLByteOrder::GetUInt(int o, const void* s) { return GetValue<unsigned int>(o, s); }
int CVLByteOrder::GetInt(int o, const void* s) { return GetValue<int>(o, s); }
VL_ULONG CVLByteOrder::GetUInt32(int o, const void* s) { return GetValue<VL_ULONG>(o, s); }
VL_LONG CVLByteOrder::GetInt32(int o, const void* s) { return GetValue<VL_LONG>(o, s); }
uint64_t CVLByteOrder::GetUInt64(int o, const void* s) { return GetValue<uint64_t>(o, s); }
int64_t CVLByteOrder::GetInt64(int o, const void* s) { return GetValue<int64_t>(o, s); }
float CVLByteOrder::GetFloat(int o, const void* s) { return GetValue<float>(o, s); }
double CVLByteOrder::GetDouble(int o, const void* s) { return GetValue<double>(o, s); }
// clang-format on
