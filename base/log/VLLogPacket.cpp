#include "base/log/VLLogPacket.h"

#include <cstring>
#include <vector>

#include "base/core/VLByteOrder.h"
#include "base/system/VLProcessInfo.h"
#include "base/core/VLStdRuntime.h"

namespace
{
const int kLE = 1;
const size_t kOffType = 0;
const size_t kOffTotal = 2;
const size_t kOffTime = 6;
const size_t kOffFlags = 14;
const size_t kOffA = 16;
const size_t kOffB = 20;
const size_t kOffText1 = 24;

size_t TextLength(const char* sz)
{
    return sz != nullptr ? strlen(sz) : 0;
}

size_t CutText(const char* sz)
{
    size_t n = TextLength(sz);
    return n > CVLLogPacket::MAX_TEXT_LENGTH ? static_cast<size_t>(CVLLogPacket::MAX_TEXT_LENGTH) : n;
}

void PutU16(std::vector<VL_BYTE>& out, size_t nValue)
{
    VL_BYTE b[2];
    CVLByteOrder::SetUInt16(static_cast<uint16_t>(nValue), kLE, b);
    out.insert(out.end(), b, b + 2);
}

void PutBytes(std::vector<VL_BYTE>& out, const void* p, size_t n)
{
    if (n > 0)
        out.insert(out.end(), static_cast<const VL_BYTE*>(p), static_cast<const VL_BYTE*>(p) + n);
}
}  // namespace

CVLLogPacket::CVLLogPacket() : m_pBuffer(nullptr), m_nPayloadLength(0), m_pPayload(nullptr)
{
}

CVLLogPacket::CVLLogPacket(const CVLLogPacket& src) : CVLLogPacket()
{
    if (src.m_pBuffer != nullptr)
        Read(src.GetLength(), src.m_pBuffer);
}

CVLLogPacket::CVLLogPacket(uint16_t nType, const CVLDateTime& time, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                           const char* szText2, uint16_t nC)
    : CVLLogPacket()
{
    Create(nType, time, nA, nB, szText1, szText2, nC, 0, nullptr);
}

CVLLogPacket::CVLLogPacket(uint16_t nType, VL_ULONGLONG nTime, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                           const char* szText2, uint16_t nC)
    : CVLLogPacket()
{
    Create(nType, nTime, nA, nB, szText1, szText2, nC, 0, nullptr);
}

CVLLogPacket::CVLLogPacket(uint16_t nType, const CVLDateTime& time, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                           const char* szText2, uint16_t nC, uint16_t nPayloadLength, const void* pPayload)
    : CVLLogPacket()
{
    Create(nType, time, nA, nB, szText1, szText2, nC, nPayloadLength, pPayload);
}

CVLLogPacket::CVLLogPacket(uint16_t nType, VL_ULONGLONG nTime, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                           const char* szText2, uint16_t nC, uint16_t nPayloadLength, const void* pPayload)
    : CVLLogPacket()
{
    Create(nType, nTime, nA, nB, szText1, szText2, nC, nPayloadLength, pPayload);
}

CVLLogPacket::~CVLLogPacket()
{
    Clear();
}

bool CVLLogPacket::Build(uint16_t nType, VL_ULONGLONG nTime, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                         const char* szText2, uint16_t nC, size_t nPayloadLength, const void* pPayload)
{
    if (m_pBuffer != nullptr || nPayloadLength > 0xffff || (nPayloadLength > 0 && pPayload == nullptr))
        return false;
    size_t nT1 = CutText(szText1);
    size_t nT2 = CutText(szText2);
    size_t nTotal = MIN_LENGTH + nT1 + nT2 + nPayloadLength;
    VL_BYTE* p = new VL_BYTE[nTotal];
    CVLByteOrder::SetUInt16(nType, kLE, p + kOffType);
    CVLByteOrder::SetUInt32(static_cast<uint32_t>(nTotal), kLE, p + kOffTotal);
    CVLByteOrder::SetUInt64(nTime, kLE, p + kOffTime);
    CVLByteOrder::SetUInt16(0, kLE, p + kOffFlags);
    CVLByteOrder::SetUInt32(nA, kLE, p + kOffA);
    CVLByteOrder::SetUInt32(nB, kLE, p + kOffB);
    size_t n = kOffText1;
    p[n++] = static_cast<VL_BYTE>(nT1);
    if (nT1 > 0)
        VLStdMemcpy(p + n, szText1, nT1);
    n += nT1;
    p[n++] = static_cast<VL_BYTE>(nT2);
    if (nT2 > 0)
        VLStdMemcpy(p + n, szText2, nT2);
    n += nT2;
    CVLByteOrder::SetUInt16(nC, kLE, p + n);
    CVLByteOrder::SetUInt16(static_cast<uint16_t>(nPayloadLength), kLE, p + n + 2);
    n += 4;
    if (nPayloadLength > 0)
        VLStdMemcpy(p + n, pPayload, nPayloadLength);
    if (!Parse(static_cast<VL_ULONG>(nTotal), p)) {
        delete[] p;
        return false;
    }
    m_pBuffer = p;
    return true;
}

bool CVLLogPacket::Create(uint16_t nType, const CVLDateTime& time, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                          const char* szText2, uint16_t nC, uint16_t nPayloadLength, const void* pPayload)
{
    return Create(nType, time.GetAsUInt64(), nA, nB, szText1, szText2, nC, nPayloadLength, pPayload);
}

bool CVLLogPacket::Create(uint16_t nType, VL_ULONGLONG nTime, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                          const char* szText2, uint16_t nC, uint16_t nPayloadLength, const void* pPayload)
{
    return Build(nType, nTime, nA, nB, szText1, szText2, nC, nPayloadLength, pPayload);
}

bool CVLLogPacket::CreateType1(const CVLDateTime& time, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                               const char* szText2, uint16_t nC, const char* s1, const char* s2, const char* s3,
                               const char* s4)
{
    return CreateType1(time.GetAsUInt64(), nA, nB, szText1, szText2, nC, s1, s2, s3, s4);
}

bool CVLLogPacket::CreateType1(VL_ULONGLONG nTime, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                               const char* szText2, uint16_t nC, const char* s1, const char* s2, const char* s3,
                               const char* s4)
{
    if (m_pBuffer != nullptr)
        return false;
    size_t l1 = TextLength(s1), l2 = TextLength(s2), l3 = TextLength(s3), l4 = TextLength(s4);
    if (l1 < 1 || l1 > 255 || l2 < 1 || l2 > 65535 || l3 < 1 || l3 > 255 || l4 > 65535)
        return false;
    std::vector<VL_BYTE> payload;
    payload.push_back(static_cast<VL_BYTE>(l1));
    PutBytes(payload, s1, l1);
    PutU16(payload, l2);
    PutBytes(payload, s2, l2);
    payload.push_back(static_cast<VL_BYTE>(l3));
    PutBytes(payload, s3, l3);
    PutU16(payload, l4);
    PutBytes(payload, s4, l4);
    // Build refuses a payload beyond the 16-bit length.
    return Build(1, nTime, nA, nB, szText1, szText2, nC, payload.size(), payload.data());
}

bool CVLLogPacket::CreateType5(uint16_t nType, const CVLDateTime& time, VL_ULONG nA, VL_ULONG nB,
                               const char* szText1, const char* szText2, uint16_t nC, VL_BYTE a, VL_BYTE b,
                               const void* pData, VL_ULONG nLength)
{
    return CreateType5(nType, time.GetAsUInt64(), nA, nB, szText1, szText2, nC, a, b, pData, nLength);
}

bool CVLLogPacket::CreateType5(uint16_t nType, VL_ULONGLONG nTime, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                               const char* szText2, uint16_t nC, VL_BYTE a, VL_BYTE b, const void* pData,
                               VL_ULONG nLength)
{
    if (m_pBuffer != nullptr || pData == nullptr || nLength < 1 || nLength > 0xffff - 4)
        return false;
    std::vector<VL_BYTE> payload;
    payload.push_back(a);
    payload.push_back(b);
    PutU16(payload, nLength);
    PutBytes(payload, pData, nLength);
    return Build(nType, nTime, nA, nB, szText1, szText2, nC, payload.size(), payload.data());
}

bool CVLLogPacket::CreateType5(uint16_t nType, const CVLDateTime& time, VL_ULONG nA, VL_ULONG nB,
                               const char* szText1, const char* szText2, uint16_t nC, VL_BYTE a, VL_BYTE b,
                               const char* szBlock1, const char* szBlock2)
{
    return CreateType5(nType, time.GetAsUInt64(), nA, nB, szText1, szText2, nC, a, b, szBlock1, szBlock2);
}

bool CVLLogPacket::CreateType5(uint16_t nType, VL_ULONGLONG nTime, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                               const char* szText2, uint16_t nC, VL_BYTE a, VL_BYTE b, const char* szBlock1,
                               const char* szBlock2)
{
    if (m_pBuffer != nullptr)
        return false;
    size_t l1 = TextLength(szBlock1);
    size_t l2 = TextLength(szBlock2);
    if (l1 < 1 || l1 > 65535 || (szBlock2 != nullptr && (l2 < 1 || l2 > 65535)))
        return false;
    std::vector<VL_BYTE> payload;
    payload.push_back(a);
    payload.push_back(b);
    PutU16(payload, l1);
    PutBytes(payload, szBlock1, l1);
    if (szBlock2 != nullptr) {
        PutU16(payload, l2);
        PutBytes(payload, szBlock2, l2);
    }
    return Build(nType, nTime, nA, nB, szText1, szText2, nC, payload.size(), payload.data());
}

bool CVLLogPacket::CreateType6(uint16_t nValue)
{
    VL_BYTE b[2];
    CVLByteOrder::SetUInt16(nValue, kLE, b);
    return Build(6, VLGetCurrentDateTime().GetAsUInt64(), 0, 0, nullptr, nullptr, 0, 2, b);
}

bool CVLLogPacket::CreateType7(const CVLDateTime& time, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                               const char* szText2, uint16_t nC, const char* szText)
{
    return CreateType7(time.GetAsUInt64(), nA, nB, szText1, szText2, nC, szText);
}

bool CVLLogPacket::CreateType7(VL_ULONGLONG nTime, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                               const char* szText2, uint16_t nC, const char* szText)
{
    return Build(7, nTime, nA, nB, szText1, szText2, nC, TextLength(szText), szText);
}

bool CVLLogPacket::CreateType8(const char* szText)
{
    return Build(8, 0, 0, 0, nullptr, nullptr, 0, TextLength(szText), szText);
}

bool CVLLogPacket::Parse(VL_ULONG nLength, const VL_BYTE* p)
{
    m_strText1.Empty();
    m_strText2.Empty();
    m_nPayloadLength = 0;
    m_pPayload = nullptr;
    if (p == nullptr || nLength < HEADER_ONLY_LENGTH || nLength > MAX_LENGTH)
        return false;
    VL_ULONG nTotal = CVLByteOrder::GetUInt32(kLE, p + kOffTotal);
    if (nTotal != nLength)
        return false;
    uint16_t nFlags = CVLByteOrder::GetUInt16(kLE, p + kOffFlags);
    if ((nFlags & 1) != 0)
        return true;
    if (nLength < MIN_LENGTH)
        return false;
    size_t nT1 = p[kOffText1];
    size_t n = kOffText1 + 1 + nT1;
    // Still room for T2, C and P after text 1?
    if (n + 1 + 4 > nLength)
        return false;
    size_t nT2 = p[n];
    size_t nText2 = n + 1;
    n = nText2 + nT2;
    if (n + 4 > nLength)
        return false;
    size_t nP = CVLByteOrder::GetUInt16(kLE, p + n + 2);
    if (n + 4 + nP != nLength)
        return false;
    m_strText1.Assign(p + kOffText1 + 1, static_cast<int>(nT1), VL_CHARSET_UTF8);
    m_strText2.Assign(p + nText2, static_cast<int>(nT2), VL_CHARSET_UTF8);
    m_nPayloadLength = static_cast<uint16_t>(nP);
    m_pPayload = nP > 0 ? p + n + 4 : nullptr;
    return true;
}

bool CVLLogPacket::Read(VL_ULONG nLength, const VL_BYTE* pData)
{
    Clear();
    if (pData == nullptr || nLength < HEADER_ONLY_LENGTH || nLength > MAX_LENGTH)
        return false;
    VL_BYTE* p = new VL_BYTE[nLength];
    VLStdMemcpy(p, pData, nLength);
    if (!Parse(nLength, p)) {
        delete[] p;
        Clear();
        return false;
    }
    m_pBuffer = p;
    return true;
}

bool CVLLogPacket::Attach(VL_ULONG nLength, VL_BYTE* pBuffer)
{
    Clear();
    if (!Parse(nLength, pBuffer)) {
        Clear();
        return false;
    }
    m_pBuffer = pBuffer;
    return true;
}

void CVLLogPacket::Clear()
{
    delete[] m_pBuffer;
    m_pBuffer = nullptr;
    m_strText1.Empty();
    m_strText2.Empty();
    m_nPayloadLength = 0;
    m_pPayload = nullptr;
}

VL_BYTE* CVLLogPacket::Detach()
{
    VL_BYTE* p = m_pBuffer;
    m_pBuffer = nullptr;
    Clear();
    return p;
}

VL_ULONG CVLLogPacket::GetLength() const
{
    return m_pBuffer != nullptr ? CVLByteOrder::GetUInt32(kLE, m_pBuffer + kOffTotal) : 0;
}

VL_ULONG CVLLogPacket::GetBodyLength() const
{
    VL_ULONG n = GetLength();
    return n < HEADER_ONLY_LENGTH ? 0 : n - HEADER_ONLY_LENGTH;
}

uint16_t CVLLogPacket::GetType() const
{
    return m_pBuffer != nullptr ? CVLByteOrder::GetUInt16(kLE, m_pBuffer + kOffType) : 0;
}

VL_ULONGLONG CVLLogPacket::GetTimeValue() const
{
    return m_pBuffer != nullptr ? CVLByteOrder::GetUInt64(kLE, m_pBuffer + kOffTime) : 0;
}

CVLDateTime CVLLogPacket::GetTime() const
{
    CVLDateTime time;
    time.SetAsUInt64(GetTimeValue());
    return time;
}

bool CVLLogPacket::GetFlag(int nBit) const
{
    if (m_pBuffer == nullptr || nBit < 0 || nBit > 15)
        return false;
    return (CVLByteOrder::GetUInt16(kLE, m_pBuffer + kOffFlags) & (1u << nBit)) != 0;
}

bool CVLLogPacket::IsHeaderOnly() const
{
    return GetFlag(0);
}

VL_ULONG CVLLogPacket::GetA() const
{
    return (m_pBuffer != nullptr && !IsHeaderOnly()) ? CVLByteOrder::GetUInt32(kLE, m_pBuffer + kOffA) : 0;
}

VL_ULONG CVLLogPacket::GetB() const
{
    return (m_pBuffer != nullptr && !IsHeaderOnly()) ? CVLByteOrder::GetUInt32(kLE, m_pBuffer + kOffB) : 0;
}

uint16_t CVLLogPacket::GetC() const
{
    if (m_pBuffer == nullptr || IsHeaderOnly())
        return 0;
    size_t n = kOffText1 + 1 + m_pBuffer[kOffText1];
    n += 1 + m_pBuffer[n];
    return CVLByteOrder::GetUInt16(kLE, m_pBuffer + n);
}

bool CVLLogPacket::SetFlag(int nBit, bool bValue)
{
    if (m_pBuffer == nullptr)
        return false;
    if (nBit < 0 || nBit > 15)
        return true;
    uint16_t nOld = CVLByteOrder::GetUInt16(kLE, m_pBuffer + kOffFlags);
    uint16_t nNew = bValue ? static_cast<uint16_t>(nOld | (1u << nBit)) : static_cast<uint16_t>(nOld & ~(1u << nBit));
    CVLByteOrder::SetUInt16(nNew, kLE, m_pBuffer + kOffFlags);
    VL_ULONG nLength = GetLength();
    if (Parse(nLength, m_pBuffer))
        return true;
    CVLByteOrder::SetUInt16(nOld, kLE, m_pBuffer + kOffFlags);
    Parse(nLength, m_pBuffer);
    return false;
}

bool CVLLogPacket::GetType1(CVLString* pS1, CVLString* pS2, CVLString* pS3, CVLString* pS4) const
{
    if (GetType() != 1 || m_pPayload == nullptr || m_nPayloadLength == 0)
        return false;
    const VL_BYTE* p = m_pPayload;
    size_t nSize = m_nPayloadLength;
    size_t n = 0;
    const VL_BYTE* pText[4];
    size_t nLen[4];
    for (int i = 0; i < 4; ++i) {
        size_t nField = (i % 2 == 0) ? 1 : 2;
        if (n + nField > nSize)
            return false;
        nLen[i] = (nField == 1) ? p[n] : CVLByteOrder::GetUInt16(kLE, p + n);
        n += nField;
        if (n + nLen[i] > nSize)
            return false;
        pText[i] = p + n;
        n += nLen[i];
    }
    if (n != nSize)
        return false;
    CVLString* pOut[4] = {pS1, pS2, pS3, pS4};
    for (int i = 0; i < 4; ++i) {
        if (pOut[i] != nullptr)
            pOut[i]->Assign(pText[i], static_cast<int>(nLen[i]), VL_CHARSET_UTF8);
    }
    return true;
}

bool CVLLogPacket::ReadType5(VL_BYTE* pA, VL_BYTE* pB, uint16_t* pLength1, const VL_BYTE** ppBlock1,
                             uint16_t* pLength2, const VL_BYTE** ppBlock2, bool bRequirePayload) const
{
    if (m_pBuffer == nullptr || GetType() != 5)
        return false;
    VL_BYTE a = 0, b = 0;
    uint16_t l1 = 0, l2 = 0;
    const VL_BYTE* p1 = nullptr;
    const VL_BYTE* p2 = nullptr;
    size_t nSize = m_nPayloadLength;
    if (nSize == 0) {
        if (bRequirePayload)
            return false;
    } else {
        const VL_BYTE* p = m_pPayload;
        if (nSize < 4)
            return false;
        a = p[0];
        b = p[1];
        l1 = CVLByteOrder::GetUInt16(kLE, p + 2);
        if (4u + l1 > nSize)
            return false;
        p1 = p + 4;
        size_t n = 4u + l1;
        if (n < nSize) {
            if (n + 2 > nSize)
                return false;
            l2 = CVLByteOrder::GetUInt16(kLE, p + n);
            if (n + 2 + l2 != nSize)
                return false;
            p2 = p + n + 2;
        }
    }
    if (pA != nullptr)
        *pA = a;
    if (pB != nullptr)
        *pB = b;
    if (pLength1 != nullptr)
        *pLength1 = l1;
    if (ppBlock1 != nullptr)
        *ppBlock1 = p1;
    if (pLength2 != nullptr)
        *pLength2 = l2;
    if (ppBlock2 != nullptr)
        *ppBlock2 = p2;
    return true;
}

bool CVLLogPacket::GetType5(VL_BYTE* pA, VL_BYTE* pB) const
{
    return ReadType5(pA, pB, nullptr, nullptr, nullptr, nullptr, false);
}

bool CVLLogPacket::GetType5(VL_BYTE* pA, VL_BYTE* pB, uint16_t* pBlockLength, const VL_BYTE** ppBlock) const
{
    return ReadType5(pA, pB, pBlockLength, ppBlock, nullptr, nullptr, false);
}

bool CVLLogPacket::GetType5(VL_BYTE* pA, VL_BYTE* pB, CVLString* pBlock1) const
{
    return GetType5(pA, pB, pBlock1, nullptr);
}

bool CVLLogPacket::GetType5(VL_BYTE* pA, VL_BYTE* pB, CVLString* pBlock1, CVLString* pBlock2) const
{
    uint16_t l1 = 0, l2 = 0;
    const VL_BYTE* p1 = nullptr;
    const VL_BYTE* p2 = nullptr;
    if (!ReadType5(pA, pB, &l1, &p1, &l2, &p2, true))
        return false;
    if (pBlock1 != nullptr)
        pBlock1->Assign(p1, l1, VL_CHARSET_UTF8);
    if (pBlock2 != nullptr) {
        if (p2 != nullptr)
            pBlock2->Assign(p2, l2, VL_CHARSET_UTF8);
        else
            pBlock2->Empty();
    }
    return true;
}

bool CVLLogPacket::GetType6(uint16_t* pValue) const
{
    if (GetType() != 6 || m_pBuffer == nullptr || m_nPayloadLength < 2)
        return false;
    if (pValue != nullptr)
        *pValue = CVLByteOrder::GetUInt16(kLE, m_pPayload);
    return true;
}

bool CVLLogPacket::GetType7(CVLString* pText) const
{
    if (GetType() != 7 || m_pBuffer == nullptr || m_nPayloadLength == 0)
        return false;
    if (pText != nullptr)
        pText->Assign(m_pPayload, m_nPayloadLength, VL_CHARSET_UTF8);
    return true;
}

bool CVLLogPacket::GetType8(CVLString* pText) const
{
    if (GetType() != 8 || m_pBuffer == nullptr || m_nPayloadLength == 0)
        return false;
    if (pText != nullptr)
        pText->Assign(m_pPayload, m_nPayloadLength, VL_CHARSET_UTF8);
    return true;
}
