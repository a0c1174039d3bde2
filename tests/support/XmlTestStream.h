// A byte stream over a std::string for the XML tests: records opens and
// closes, and can fail its reads.
#ifndef XMLTESTSTREAM_H
#define XMLTESTSTREAM_H

#include <cstring>
#include <string>

#include "base/core/VLIOException.h"
#include "base/core/VLStream.h"

class CTestStream : public IVLStream
{
public:
    explicit CTestStream(const std::string& data = std::string(), size_t nChunk = 1 << 20)
        : m_Data(data), m_nChunk(nChunk)
    {
        SetName("test.xml");
    }
    CVLString GetClassName() const override { return CVLString("CTestStream", VL_CHARSET_UTF8); }
    void Open(VL_OPEN_MODE eMode) override
    {
        ++m_nOpens;
        m_bOpen = true;
        m_nPos = 0;
        if (eMode == VL_OPEN_WRITE)
            m_Data.clear();
    }
    bool IsOpen() override { return m_bOpen; }
    void Close() override
    {
        ++m_nCloses;
        m_bOpen = false;
    }
    VL_SIZE_T Read(VL_BYTE* pBuffer, VL_SIZE_T nSize) override
    {
        if (m_bFailRead)
            throw new EVLIOException(VLSTD_MODULE, "CTestStream", __LINE__, "test.xml", 5);
        size_t n = m_Data.size() - m_nPos;
        if (n > nSize)
            n = nSize;
        if (n > m_nChunk)
            n = m_nChunk;
        std::memcpy(pBuffer, m_Data.data() + m_nPos, n);
        m_nPos += n;
        return static_cast<VL_SIZE_T>(n);
    }
    void Write(const VL_BYTE* pBuffer, VL_SIZE_T nSize) override
    {
        m_Data.append(reinterpret_cast<const char*>(pBuffer), nSize);
    }
    void Flush() override {}
    void Seek(VL_SIZE_T n) override { m_nPos = n; }
    VL_SIZE_T GetSize() override { return static_cast<VL_SIZE_T>(m_Data.size()); }
    void Clear() override { m_Data.clear(); }
    VL_CONST_STR GetTypeName() const override { return "CTestStream"; }
    void Destroy() override { delete this; }

    std::string m_Data;
    size_t m_nChunk;
    size_t m_nPos = 0;
    bool m_bOpen = false;
    bool m_bFailRead = false;
    int m_nOpens = 0;
    int m_nCloses = 0;
};

#endif
