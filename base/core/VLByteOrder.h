// Copies scalar values between memory and buffers in a chosen byte order:
// 1 little-endian, 2 big-endian.
#ifndef VLBYTEORDER_H
#define VLBYTEORDER_H

#include "base/core/VLTypes.h"

class CVLByteOrder
{
public:
    virtual ~CVLByteOrder() {}

    static int GetHostOrder();
    // Copies nSize bytes; reversed unless nOrder is the host order.
    static void Convert(int nOrder, int nSize, const void* pSrc, void* pDest);

    static void SetUInt16(uint16_t nValue, int nOrder, void* pDest);
    static void SetInt16(int16_t nValue, int nOrder, void* pDest);
    static void SetUInt32(uint32_t nValue, int nOrder, void* pDest);
    static void SetInt32(int32_t nValue, int nOrder, void* pDest);
    static void SetUInt64(uint64_t nValue, int nOrder, void* pDest);
    static void SetInt64(int64_t nValue, int nOrder, void* pDest);
    static void SetFloat(float fValue, int nOrder, void* pDest);
    static void SetDouble(double dValue, int nOrder, void* pDest);

    static uint8_t GetUInt8(int nOrder, const void* pSrc);
    static int8_t GetInt8(int nOrder, const void* pSrc);
    static uint16_t GetUInt16(int nOrder, const void* pSrc);
    static int16_t GetInt16(int nOrder, const void* pSrc);
    static unsigned int GetUInt(int nOrder, const void* pSrc);
    static int GetInt(int nOrder, const void* pSrc);
    static VL_ULONG GetUInt32(int nOrder, const void* pSrc);
    static VL_LONG GetInt32(int nOrder, const void* pSrc);
    static uint64_t GetUInt64(int nOrder, const void* pSrc);
    static int64_t GetInt64(int nOrder, const void* pSrc);
    static float GetFloat(int nOrder, const void* pSrc);
    static double GetDouble(int nOrder, const void* pSrc);
};

#endif
