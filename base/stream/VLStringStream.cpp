#include "base/stream/VLStringStream.h"

#include <climits>

#include "base/core/VLInvalidParamException.h"
#include "base/core/VLStdRuntime.h"

static const char* const s_szFile = "VLStringStream";

CVLStringStream::CVLStringStream() : m_strText(VL_CHARSET_UTF8), m_bOpen(false), m_nReadPos(0)
{
}

CVLStringStream::~CVLStringStream()
{
}

CVLString CVLStringStream::GetClassName() const
{
    return CVLString("CVLStringStream", VL_CHARSET_UTF8);
}

// Writes collect in a buffer that grows geometrically and reach the string
// in one piece when it is next looked at: appending each piece to the
// string itself would copy the whole text again whenever it grows.
void CVLStringStream::TakeWritten()
{
    if (m_Written.empty())
        return;
    m_strText.Append(m_Written.data(), static_cast<int>(m_Written.size()));
    std::string().swap(m_Written);
}

void CVLStringStream::Open(VL_OPEN_MODE eMode)
{
    if (eMode == VL_OPEN_WRITE || eMode == VL_OPEN_WRITE_PLUS) {
        m_strText.Empty();
        std::string().swap(m_Written);
    }
    m_bOpen = true;
    m_nReadPos = 0;
}

bool CVLStringStream::IsOpen()
{
    return m_bOpen;
}

void CVLStringStream::Close()
{
    m_bOpen = false;
}

VL_SIZE_T CVLStringStream::Read(VL_BYTE* pBuffer, VL_SIZE_T nBufferSize)
{
    try {
        TakeWritten();
        int nLength = m_strText.GetLength();
        // A read position past the end (a far Seek, a shorter SetString) reads nothing.
        if (m_nReadPos < 0 || m_nReadPos >= nLength || nBufferSize == 0)
            return 0;
        VL_SIZE_T nCount = static_cast<VL_SIZE_T>(nLength - m_nReadPos);
        if (nBufferSize < nCount)
            nCount = nBufferSize;
        if (pBuffer == nullptr)
            throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, __LINE__);
        VLStdMemcpy(pBuffer, m_strText.GetBuffer() + m_nReadPos, nCount);
        m_nReadPos += static_cast<int>(nCount);
        return nCount;
    }
    VL_CATCH_LADDER(VLSTD_MODULE, s_szFile)
}

void CVLStringStream::Write(const VL_BYTE* pBuffer, VL_SIZE_T nBufferSize)
{
    try {
        if (pBuffer == nullptr || nBufferSize == 0)
            return;
        VL_SIZE_T n = 0;
        while (n < nBufferSize && pBuffer[n] != 0)
            ++n;
        if (n == 0)
            return;
        if (n > static_cast<VL_SIZE_T>(INT_MAX - m_strText.GetLength()) - m_Written.size())
            throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, __LINE__);
        m_Written.append(reinterpret_cast<const char*>(pBuffer), n);
    }
    VL_CATCH_LADDER(VLSTD_MODULE, s_szFile)
}

void CVLStringStream::Flush()
{
}

void CVLStringStream::Seek(VL_SIZE_T nPosition)
{
    m_nReadPos = nPosition > static_cast<VL_SIZE_T>(INT_MAX) ? INT_MAX : static_cast<int>(nPosition);
}

VL_SIZE_T CVLStringStream::GetSize()
{
    return static_cast<VL_SIZE_T>(m_strText.GetLength()) + m_Written.size();
}

void CVLStringStream::Clear()
{
    m_strText.Empty();
    std::string().swap(m_Written);
}

VL_CONST_STR CVLStringStream::GetTypeName() const
{
    return "CVLStringStream";
}

void CVLStringStream::Destroy()
{
    delete this;
}

CVLString& CVLStringStream::GetString()
{
    TakeWritten();
    return m_strText;
}

void CVLStringStream::SetString(const char* szText)
{
    std::string().swap(m_Written);
    m_strText = szText;
}
