// Drives the pull parser with small limits taken from the input, so that
// every buffer and count limit is within reach of short inputs: the first
// eight bytes size the text, attribute, depth, read, namespace and name and
// value buffers, the ninth picks a chunk size, the rest is the document. The
// events of a chunked read must be those of a whole one, every text the
// parser hands out must be as long as it says, and what it accepts must fit
// the limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/xml/pxp/PXP_Parser.h"

namespace {

class CInput : public PXP_InputStream
{
public:
    CInput(const std::string& data, size_t nChunk) : m_Data(data), m_nChunk(nChunk) {}
    int32_t Read(void* pBuffer, int32_t nSize) override
    {
        size_t n = m_Data.size() - m_nPos;
        if (n > static_cast<size_t>(nSize))
            n = static_cast<size_t>(nSize);
        if (n > m_nChunk)
            n = m_nChunk;
        std::memcpy(pBuffer, m_Data.data() + m_nPos, n);
        m_nPos += n;
        return static_cast<int32_t>(n);
    }

private:
    const std::string& m_Data;
    size_t m_nChunk;
    size_t m_nPos = 0;
};

void Check(bool b)
{
    if (!b)
        std::abort();
}

std::string Text(const char* p)
{
    return p != nullptr ? std::string(p) : std::string("~");
}

// The events of one read, pieces of text joined, as one string.
std::string Events(const std::string& data, const PXP_ParserLimits& limits, size_t nChunk)
{
    CInput in(data, nChunk);
    PXP_Parser parser;
    Check(parser.Initialize(&limits) == 1);
    if (parser.SetInputStream(&in) == 0)
        return "E" + std::to_string(parser.GetErrorCode());
    std::string out;
    for (int nGuard = 0; nGuard < 1 << 20; ++nGuard) {
        const uint32_t nEvent = parser.Next();
        const char* pText = parser.GetText();
        if (pText != nullptr) {
            Check(std::strlen(pText) == parser.GetTextLength());
            // A piece fits the buffer and its spare bytes.
            Check(parser.GetTextLength() <= limits.nTextBufferSize + 5);
            out += pText;
            if (parser.IsContinued())
                continue;  // the same construct goes on
        }
        out += "|" + std::to_string(nEvent);
        if (nEvent == PXP_EVENT_START_TAG) {
            Check(parser.GetAttributeCount() <= static_cast<int>(limits.nMaxAttributes));
            out += Text(parser.GetPrefix()) + ":" + Text(parser.GetName());
            // The names and values of a tag that was accepted fit their
            // buffers, each with its NUL; more is error 6.
            size_t nNameBytes = 0;
            size_t nValueBytes = 0;
            for (int i = 0; i < parser.GetAttributeCount(); ++i) {
                const char* pValue = parser.GetAttributeValue(i);
                Check(std::strlen(pValue) == parser.GetAttributeValueLength(i));
                const char* pPrefix = parser.GetAttributePrefix(i);
                nNameBytes += (pPrefix != nullptr ? std::strlen(pPrefix) + 1 : 0) + std::strlen(parser.GetAttributeName(i)) + 1;
                nValueBytes += std::strlen(pValue) + 1;
                out += " " + Text(pPrefix) + ":" + Text(parser.GetAttributeName(i)) + "=" + pValue;
            }
            Check(nNameBytes <= limits.nAttrNameBufferSize);
            Check(nValueBytes <= limits.nAttrValueBufferSize);
        }
        if (nEvent == PXP_EVENT_ERROR)
            return out + "E" + std::to_string(parser.GetErrorCode());
        if (nEvent == PXP_EVENT_DOCUMENT_DONE)
            return out;
    }
    std::abort();  // no document of this size has that many events
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize < 9 || nSize > 1 << 16)
        return 0;
    PXP_ParserLimits limits;
    limits.nTextBufferSize = 16 + pData[0] % 32;
    limits.nMaxAttributes = 1 + pData[1] % 40;
    limits.nMaxDepth = 1 + pData[2] % 8;
    limits.nReadBufferSize = 16 + pData[3] % 64;
    limits.nMaxNamespaces = 1 + pData[4] % 8;
    limits.nAttrNameBufferSize = 4 + pData[5] % 64;
    limits.nAttrValueBufferSize = 4 + pData[6] % 64;
    const size_t nChunk = 1 + pData[8] % 16;
    std::string data(reinterpret_cast<const char*>(pData + 9), nSize - 9);
    if (Events(data, limits, nChunk) != Events(data, limits, 1 << 20))
        std::abort();
    return 0;
}
