// Loads arbitrary bytes as an XML document. A document that loads is saved,
// and what was saved must load again and save to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/core/VLException.h"
#include "base/stream/VLStringStream.h"
#include "base/xml/VLXmlDocument.h"
#include "tests/support/XmlTestStream.h"

namespace {

bool LoadBytes(CVLXmlDocument& doc, const std::string& data, size_t nChunk)
{
    CTestStream in(data, nChunk);
    try {
        doc.Load(&in);
    } catch (EVLException* e) {
        e->ToString();
        e->Delete();
        return false;
    }
    return true;
}

std::string SaveBytes(CVLXmlDocument& doc)
{
    CTestStream out;
    doc.Save(&out);
    return out.m_Data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize > 1 << 20)
        return 0;
    std::string data(reinterpret_cast<const char*>(pData), nSize);
    CVLXmlDocument doc;
    if (!LoadBytes(doc, data, 1 << 20))
        return 0;
    std::string saved = SaveBytes(doc);
    CVLXmlDocument again;
    if (!LoadBytes(again, saved, 1 << 20))
        std::abort();  // the writer produced what the reader refuses
    if (SaveBytes(again) != saved)
        std::abort();
    doc.SetFormat(true);
    SaveBytes(doc);
    // Every text kept: the copy reads back to the same bytes, and laid out
    // it still reads.
    doc.SetFormat(false);
    doc.SetKeepText(true);
    std::string kept = SaveBytes(doc);
    CVLXmlDocument keptAgain;
    if (!LoadBytes(keptAgain, kept, 1 << 20))
        std::abort();
    keptAgain.SetKeepText(true);
    if (SaveBytes(keptAgain) != kept)
        std::abort();
    doc.SetFormat(true);
    CVLXmlDocument laidOut;
    if (!LoadBytes(laidOut, SaveBytes(doc), 1 << 20))
        std::abort();
    // Read with the blanks outside the root element, the bytes load as they
    // did, and the copy reads back to the same bytes.
    CVLXmlDocument outer;
    outer.SetKeepText(true);
    if (!LoadBytes(outer, data, 1 << 20))
        std::abort();
    std::string outerSaved = SaveBytes(outer);
    CVLXmlDocument outerAgain;
    outerAgain.SetKeepText(true);
    if (!LoadBytes(outerAgain, outerSaved, 1 << 20) || SaveBytes(outerAgain) != outerSaved)
        std::abort();
    return 0;
}
