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
        else if (argv[i][0] == '-' && argv[i][1] != '\0')
            return VLToolUsage("xml: unknown option '%s'", argv[i]);
        else if (szFile == nullptr)
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
        // Where the parser stopped: the line, and the column in bytes.
        if (e->GetXmlErrorCode() == VLXML_ERROR_PARSER)
            nResult = VLToolFail("%s: line %u, column %u: %s", szFile, static_cast<unsigned>(doc.GetLoadLine()),
                                 static_cast<unsigned>(doc.GetLoadColumn()), e->GetReason().c_str());
        else
            nResult = VLToolFail("%s: %s", szFile, e->GetReason().c_str());
        e->Delete();
    } catch (EVLException* e) {
        nResult = VLToolFail("%s: %s", szFile, VLToolReason(e).c_str());
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
        return VLToolFail("cannot write the document: %s", VLToolReason(e).c_str());
    }
    CVLString& str = out.GetString();
    if (!VLToolWriteStdout(str.GetBuffer(), static_cast<size_t>(str.GetLength())))
        return VLToolOutputFailed();
    return 0;
}

}  // namespace

VL_TOOL_COMMAND(xml, "xml",
                "  xml FILE [--format]\n"
                "                    load FILE as an XML document and write it back to standard output\n"
                "                    (UTF-8; --format indents it, one tag per line)\n",
                Xml);
