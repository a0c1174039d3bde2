// A read-only stream over a fixed text, for the script tests.
#ifndef TEXTSTREAM_H
#define TEXTSTREAM_H

#include <algorithm>
#include <cstring>
#include <string>

#include "base/core/VLStream.h"

// A stream that reads a fixed text, in reads of at most nChunk bytes.
class CTextStream : public IVLStream
{
public:
    explicit CTextStream(const std::string& strText, VL_SIZE_T nChunk = 1u << 30)
        : m_strText(strText), m_nPos(0), m_nChunk(nChunk), m_bOpen(false), m_nReads(0)
    {
    }
    virtual CVLString GetClassName() const override { return CVLString("CTextStream", VL_CHARSET_UTF8); }
    virtual void Open(VL_OPEN_MODE) override
    {
        m_bOpen = true;
        m_nPos = 0;
    }
    virtual bool IsOpen() override { return m_bOpen; }
    virtual void Close() override { m_bOpen = false; }
    virtual VL_SIZE_T Read(VL_BYTE* pBuffer, VL_SIZE_T nSize) override
    {
        ++m_nReads;
        size_t n = std::min<size_t>({static_cast<size_t>(nSize), m_strText.size() - m_nPos, m_nChunk});
        memcpy(pBuffer, m_strText.data() + m_nPos, n);
        m_nPos += n;
        return static_cast<VL_SIZE_T>(n);
    }
    virtual void Write(const VL_BYTE*, VL_SIZE_T) override {}
    virtual void Flush() override {}
    virtual void Seek(VL_SIZE_T nPosition) override { m_nPos = std::min<size_t>(nPosition, m_strText.size()); }
    virtual VL_SIZE_T GetSize() override { return static_cast<VL_SIZE_T>(m_strText.size()); }
    virtual void Clear() override {}
    virtual VL_CONST_STR GetTypeName() const override { return "text"; }
    virtual void Destroy() override { delete this; }

    int GetReadCount() const { return m_nReads; }

private:
    std::string m_strText;
    size_t m_nPos;
    size_t m_nChunk;
    bool m_bOpen;
    int m_nReads;
};

#endif
