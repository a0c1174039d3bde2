#include "base/core/VLByteArray.h"

#include <climits>
#include <cstdint>
#include <new>

#include "base/core/VLInvalidParamException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLStdRuntime.h"
#include "base/core/VLStream.h"

static const char* const s_szFile = "VLByteArray";
// Throw-site codes: fixed numbers that identify each site in traces and
// results; they are not line numbers and never change.
const int kSiteGetBuffer = 96;
const int kSiteAllocateSize = 162;
const int kSiteAllocateMemory = 177;
const int kSiteWriteData = 213;
const int kSiteWriteLength = 218;
const int kSiteWritePosition = 223;
const int kSiteCopyTo = 243;

CVLByteArray::CVLByteArray() : m_nDataLength(0), m_nBufferSize(0), m_pBuffer(nullptr)
{
}

CVLByteArray::CVLByteArray(const CVLByteArray& other) : m_nDataLength(0), m_nBufferSize(0), m_pBuffer(nullptr)
{
    Assign(other);
}

CVLByteArray::~CVLByteArray()
{
    delete[] m_pBuffer;
    m_pBuffer = nullptr;
    m_nDataLength = 0;
    m_nBufferSize = 0;
}

int CVLByteArray::GetCapacity() const
{
    return m_nBufferSize;
}

int CVLByteArray::GetSize() const
{
    return m_nDataLength;
}

void CVLByteArray::SetSize(int nSize)
{
    // The size never exceeds the allocation: later reads trust it.
    if (nSize < 0 || nSize > m_nBufferSize)
        throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, __LINE__);
    m_nDataLength = nSize;
}

VL_BYTE* CVLByteArray::GetBuffer(int nOffset, int nLength) const
{
    if (m_pBuffer == nullptr)
        return nullptr;
    if (nOffset < 0 || nOffset > m_nDataLength)
        throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, kSiteGetBuffer);
    if (nLength < 0)
        nLength = m_nDataLength - nOffset;
    if (static_cast<int64_t>(nOffset) + nLength > m_nDataLength)
        throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, kSiteGetBuffer);
    return m_pBuffer + nOffset;
}

int CVLByteArray::GetTextLength(int nOffset) const
{
    if (m_pBuffer == nullptr || nOffset < 0 || nOffset >= m_nDataLength)
        return 0;
    int i = nOffset;
    while (i < m_nDataLength && m_pBuffer[i] != 0)
        ++i;
    return i - nOffset;
}

CVLByteArray& CVLByteArray::Assign(const CVLByteArray& src)
{
    if (&src == this)
        return *this;
    if (src.m_nBufferSize > 0 && src.m_pBuffer != nullptr) {
        Allocate(src.m_nBufferSize);
        VLStdMemcpy(m_pBuffer, src.m_pBuffer, static_cast<size_t>(src.m_nBufferSize));
        m_nDataLength = src.m_nDataLength;
    } else {
        Free();
    }
    return *this;
}

VL_BYTE* CVLByteArray::GetData() const
{
    return GetBuffer(0, -1);
}

void CVLByteArray::Clear()
{
    if (m_pBuffer != nullptr && m_nBufferSize > 0) {
        VLStdMemset(m_pBuffer, 0, static_cast<size_t>(m_nBufferSize));
        m_nDataLength = 0;
    }
}

void CVLByteArray::Allocate(int nCapacity)
{
    if (nCapacity < 0)
        throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, kSiteAllocateSize);
    if (m_nBufferSize == nCapacity && m_pBuffer != nullptr)
        return;
    Free();
    try {
        m_pBuffer = new VL_BYTE[static_cast<size_t>(nCapacity)];
    } catch (const std::bad_alloc&) {
        m_pBuffer = nullptr;
        throw new EVLMemoryAllocException(VLSTD_MODULE, s_szFile, kSiteAllocateMemory);
    }
    m_nBufferSize = nCapacity;
}

void CVLByteArray::Free()
{
    if (m_pBuffer == nullptr)
        return;
    delete[] m_pBuffer;
    m_pBuffer = nullptr;
    m_nDataLength = 0;
    m_nBufferSize = 0;
}

void CVLByteArray::Append(const void* pData, int nLength)
{
    Write(GetSize(), pData, nLength);
}

void CVLByteArray::Write(int nPosition, const void* pData, int nLength)
{
    if (nLength > 0 && m_pBuffer == nullptr)
        Allocate(nLength);
    if (pData == nullptr)
        throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, kSiteWriteData);
    if (nLength < 0)
        throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, kSiteWriteLength);
    if (nPosition < 0 || static_cast<int64_t>(nPosition) + nLength > m_nBufferSize)
        throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, kSiteWritePosition);
    if (nLength > 0) {
        VLStdMemcpy(m_pBuffer + nPosition, pData, static_cast<size_t>(nLength));
        if (nPosition + nLength > m_nDataLength)
            m_nDataLength = nPosition + nLength;
    }
}

void CVLByteArray::CopyTo(int nOffset, void* pDest, int nLength) const
{
    if (pDest == nullptr)
        throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, kSiteCopyTo);
    const VL_BYTE* pSrc = GetBuffer(nOffset, nLength);
    if (nLength < 0)
        nLength = m_nDataLength - nOffset;
    if (nLength == 0)
        return;
    // Nothing allocated: there is nothing to copy from.
    if (pSrc == nullptr)
        throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, kSiteCopyTo);
    VLStdMemcpy(pDest, pSrc, static_cast<size_t>(nLength));
}

bool CVLByteArray::Equals(const void* pData, int nLength) const
{
    if (nLength == 0)
        return m_nDataLength == 0;
    if (nLength != m_nDataLength || pData == nullptr || m_pBuffer == nullptr)
        return false;
    return VLStdMemcmp(m_pBuffer, pData, static_cast<size_t>(nLength)) == 0;
}

bool CVLByteArray::Equals(const CVLByteArray& other) const
{
    return Equals(other.m_pBuffer, other.m_nDataLength);
}

void CVLByteArray::LoadFromStream(IVLStream* pStream)
{
    if (pStream == nullptr)
        throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, __LINE__);
    bool bWasOpen = pStream->IsOpen();
    if (!bWasOpen)
        pStream->Open(VL_OPEN_READ);
    try {
        VL_SIZE_T nSize = pStream->GetSize();
        if (nSize > static_cast<VL_SIZE_T>(INT_MAX))
            throw new EVLMemoryAllocException(VLSTD_MODULE, s_szFile, __LINE__);
        Allocate(static_cast<int>(nSize));
        VL_SIZE_T nRead = 0;
        while (nRead < nSize) {
            VL_SIZE_T n = pStream->Read(m_pBuffer + nRead, nSize - nRead);
            if (n == 0 || n > nSize - nRead)
                break;
            nRead += n;
        }
        m_nDataLength = static_cast<int>(nRead);
    } catch (...) {
        if (!bWasOpen)
            pStream->Close();
        throw;
    }
    if (!bWasOpen)
        pStream->Close();
}
