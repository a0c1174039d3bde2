// vlstdtool xml FILE [--format]: loads FILE as an XML document and writes it
// back to standard output, in the encoding it was read in. A document that
// would not come back whole (the reader drops some constructs) is refused.
#include <cstring>
#include <string>

#include "tools/vlstdtool/ToolCommand.h"
#include "base/core/VLCharset.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLIconvWrapper.h"
#include "base/stream/VLFileStream.h"
#include "base/stream/VLStringStream.h"
#include "base/xml/VLXmlDocument.h"
#include "base/xml/VLXmlException.h"

namespace {

// The charset that writes back what the reader read under the declared
// encoding (its name in upper case), or -1 for UTF-8. The reader reads
// Shift_JIS with the NEC row and with 5C and 7E as backslash and tilde,
// which is the table CP932 writes. bMark: a byte order mark goes first, as
// a document declared "UTF-16" needs one.
int CharsetOf(const std::string& strUpper, bool& bMark)
{
    bMark = strUpper == "UTF-16";
    if (strUpper == "SHIFT_JIS")
        return VL_CHARSET_CP932;
    if (strUpper == "EUC-JP")
        return VL_CHARSET_EUC_JP;
    if (strUpper == "UTF-16" || strUpper == "UTF-16LE")
        return VL_CHARSET_UTF16LE;
    if (strUpper == "UTF-16BE")
        return VL_CHARSET_UTF16BE;
    return -1;
}

// Puts the written UTF-8 text into the document's declared encoding, the
// declaration naming it as the input did (the writer declares the UTF-8 it
// writes); false with the reason when a character has no code there.
bool ToDeclaredEncoding(const std::string& strEncoding, std::string& strText, std::string& strWhy)
{
    std::string strUpper = strEncoding;
    for (char& c : strUpper)
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    bool bMark = false;
    const int eCharset = CharsetOf(strUpper, bMark);
    if (eCharset < 0)
        return true;
    const std::string strWritten = " encoding=\"utf-8\"";
    size_t nDeclaration = strText.find("?>");
    size_t nAt = strText.find(strWritten);
    if (nAt != std::string::npos && nAt < nDeclaration)
        strText.replace(nAt, strWritten.size(), " encoding=\"" + strEncoding + "\"");
    CVLString converted =
        CVLIconvWrapper::Convert(VL_CHARSET_UTF8, strText.data(), static_cast<int>(strText.size()), eCharset, false);
    if (converted.GetCharset() == VL_CHARSET_UNKNOWN) {
        // U+FFFE stands in the text for bytes the reader found no character for.
        strWhy = strText.find("\xEF\xBF\xBE") != std::string::npos
                     ? "it holds bytes that are no " + strEncoding + " character (read as U+FFFE)"
                     : "it holds a character that " + strEncoding + " has no code for";
        return false;
    }
    strText.assign(bMark ? "\xFF\xFE" : "");
    strText.append(converted.GetBuffer(), static_cast<size_t>(converted.GetLength()));
    return true;
}

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
    // What the tree does not hold would be missing from the copy.
    for (const CVLXmlDocument::SDropped& dropped : doc.GetDropped())
        nResult = VLToolFail("%s: line %lu, column %lu: %s", szFile, static_cast<unsigned long>(dropped.nLine),
                             static_cast<unsigned long>(dropped.nColumn),
                             CVLXmlDocument::DescribeDropped(dropped).c_str());
    if (nResult != 0)
        return nResult;

    doc.SetKeepText(true);
    doc.SetFormat(bFormat);
    if (bFormat)
        doc.SetLineEndText("\n");
    CVLStringStream out;
    try {
        doc.Save(&out);
    } catch (EVLException* e) {
        CVLExceptionOwner owner(e);
        return VLToolFail("cannot write the document: %s", VLToolReason(e).c_str());
    }
    CVLString& str = out.GetString();
    std::string strText(str.GetBuffer(), static_cast<size_t>(str.GetLength()));
    std::string strWhy;
    const CVLString& strEncoding = doc.GetEncoding();
    if (!ToDeclaredEncoding(std::string(strEncoding.GetBuffer(), static_cast<size_t>(strEncoding.GetLength())),
                            strText, strWhy))
        return VLToolFail("%s: cannot be written back in its encoding: %s", szFile, strWhy.c_str());
    if (!VLToolWriteStdout(strText.data(), strText.size()))
        return VLToolOutputFailed();
    return 0;
}

}  // namespace

VL_TOOL_COMMAND(xml, "xml",
                "  xml FILE [--format]\n"
                "                    load FILE as an XML document and write it back to standard output\n"
                "                    in its encoding (--format indents it, one tag per line); a document\n"
                "                    with what the reader does not keep (CDATA, DOCTYPE, ...) is refused\n",
                Xml);
