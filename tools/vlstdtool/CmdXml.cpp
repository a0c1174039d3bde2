// vlstdtool xml FILE [--format]: loads FILE as an XML document and writes it
// back to standard output.
#include <cstring>

#include "tools/vlstdtool/ToolCommand.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/stream/VLFileStream.h"
#include "base/stream/VLStringStream.h"
#include "base/xml/VLXmlDocument.h"
#include "base/xml/VLXmlException.h"

namespace {

int Xml(int argc, char** argv)
{
    const char* szFile = nullptr;
    bool bFormat = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--format") == 0)
            bFormat = true;
        else if (szFile == nullptr && argv[i][0] != '-')
            szFile = argv[i];
        else
            return VLToolUsage("xml takes one file and --format: xml FILE [--format]");
    }
    if (szFile == nullptr)
        return VLToolUsage("xml takes one file: xml FILE [--format]");

    CVLXmlDocument doc;
    CVLFileStream* pFile = new CVLFileStream();
    int nResult = 0;
    try {
        pFile->SetName(szFile);
        doc.Load(pFile);
    } catch (EVLXmlException* e) {
        if (e->GetXmlErrorCode() == VLXML_ERROR_PARSER)
            nResult = VLToolFail("%s: not loaded: parser error %d (%s) at line %u, position %u", szFile,
                                 e->GetParserErrorCode(), EVLXmlException::GetParserErrorName(e->GetParserErrorCode()),
                                 static_cast<unsigned>(doc.GetLoadLine()), static_cast<unsigned>(doc.GetLoadColumn()));
        else
            nResult = VLToolFail("%s: not loaded: %s", szFile, e->ToString().GetString());
        e->Delete();
    } catch (EVLException* e) {
        nResult = VLToolFail("%s: cannot read: %s", szFile, e->ToString().GetString());
        e->Delete();
    }
    pFile->Destroy();
    if (nResult != 0)
        return nResult;

    doc.SetFormat(bFormat);
    CVLStringStream out;
    try {
        doc.Save(&out);
    } catch (EVLException* e) {
        CVLExceptionOwner owner(e);
        return VLToolFail("cannot write the document: %s", e->ToString().GetString());
    }
    CVLString& str = out.GetString();
    if (!VLToolWriteStdout(str.GetBuffer(), static_cast<size_t>(str.GetLength())))
        return VLToolFail("cannot write standard output");
    return 0;
}

}  // namespace

VL_TOOL_COMMAND(xml, "xml",
                "  xml FILE [--format]   load FILE as an XML document and write it back to standard output\n"
                "                        (UTF-8; --format indents it, one tag per line)\n",
                Xml);
