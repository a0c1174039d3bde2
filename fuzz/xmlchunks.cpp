// Loads arbitrary bytes as an XML document delivered in small chunks (the
// first byte picks the chunk size): the result must be the one of loading the
// bytes whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/core/VLException.h"
#include "base/xml/VLXmlDocument.h"
#include "base/xml/VLXmlException.h"
#include "tests/support/XmlTestStream.h"

namespace {

std::string Outcome(const std::string& data, size_t nChunk)
{
    CVLXmlDocument doc;
    CTestStream in(data, nChunk);
    std::string result;
    try {
        doc.Load(&in);
        result = "ok";
    } catch (EVLXmlException* e) {
        result = "error " + std::to_string(e->GetXmlErrorCode()) + " " + std::to_string(e->GetParserErrorCode());
        e->Delete();
    } catch (EVLException* e) {
        result = "other";
        e->Delete();
    }
    CTestStream out;
    doc.Save(&out);
    return result + "\n" + out.m_Data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize < 1 || nSize > 1 << 16)
        return 0;
    size_t nChunk = (pData[0] % 16) + 1;
    std::string data(reinterpret_cast<const char*>(pData + 1), nSize - 1);
    if (Outcome(data, nChunk) != Outcome(data, 1 << 20))
        std::abort();
    return 0;
}
