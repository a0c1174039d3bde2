// vlstdtool xml FILE [--format]: loads FILE as an XML document and writes it
// back to standard output in the form it was read in: its encoding, its
// byte-order mark, its declaration as written or none, the blanks around its
// root element. A document that would not come back whole (the reader drops
// some constructs) is refused.
#include <cstring>
#include <string>

#include <strings.h>

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

// The name of a charset the reader reads, as a declaration writes it.
const char* NameOf(int eCharset)
{
    switch (eCharset) {
    case VL_CHARSET_UTF16LE:
        return "UTF-16LE";
    case VL_CHARSET_UTF16BE:
        return "UTF-16BE";
    case VL_CHARSET_SHIFT_JIS:
        return "Shift_JIS";
    case VL_CHARSET_EUC_JP:
        return "EUC-JP";
    default:
        return "UTF-8";
    }
}

// The byte-order mark of a charset the reader reads.
std::string MarkOf(int eCharset)
{
    switch (eCharset) {
    case VL_CHARSET_UTF8:
        return "\xEF\xBB\xBF";
    case VL_CHARSET_UTF16LE:
        return "\xFF\xFE";
    case VL_CHARSET_UTF16BE:
        return "\xFE\xFF";
    default:
        return "";
    }
}

// Puts the written UTF-8 text into the form the document was read in: its
// charset, its byte-order mark, and its declaration as written or none, or
// the one --format writes; false with the reason when a character has no
// code there. The writer declares the UTF-8 it writes: --format's
// declaration names again the encoding the document named.
bool ToLoadedForm(const CVLXmlDocument& doc, const std::string& strEncoding, bool bFormat, std::string& strText,
                  std::string& strWhy)
{
    const CVLXmlDocument::SLoadedForm& form = doc.GetLoadedForm();
    const size_t nDeclarationEnd = strText.find("?>");  // the writer's declaration comes first
    if (!bFormat && nDeclarationEnd != std::string::npos) {
        strText.replace(0, nDeclarationEnd + 2, form.strDeclaration);
    } else if (!strEncoding.empty() && strcasecmp(strEncoding.c_str(), "UTF-8") != 0) {
        const std::string strWritten = " encoding=\"utf-8\"";
        const size_t nAt = strText.find(strWritten);
        if (nAt != std::string::npos && nAt < nDeclarationEnd)
            strText.replace(nAt, strWritten.size(), " encoding=\"" + strEncoding + "\"");
    }
    if (form.eCharset != VL_CHARSET_UTF8) {
        const std::string strName = form.bDeclaration && !strEncoding.empty() ? strEncoding : NameOf(form.eCharset);
        // U+FFFE stands in the text for bytes the reader found no character
        // for (a lone UTF-16 surrogate too): written back, they would change.
        if (strText.find("\xEF\xBF\xBE") != std::string::npos) {
            strWhy = "it holds bytes that are no " + strName + " character (read as U+FFFE)";
            return false;
        }
        // The reader reads Shift_JIS with the NEC row and with 5C and 7E as
        // backslash and tilde, which is the table CP932 writes.
        const int eCharset = form.eCharset == VL_CHARSET_SHIFT_JIS ? VL_CHARSET_CP932 : form.eCharset;
        CVLString converted = CVLIconvWrapper::Convert(VL_CHARSET_UTF8, strText.data(),
                                                       static_cast<int>(strText.size()), eCharset, false);
        if (converted.GetCharset() == VL_CHARSET_UNKNOWN) {
            strWhy = "it holds a character that " + strName + " has no code for";
            return false;
        }
        strText.assign(converted.GetBuffer(), static_cast<size_t>(converted.GetLength()));
    }
    if (form.bByteOrderMark)
        strText.insert(0, MarkOf(form.eCharset));
    return true;
}

int Xml(int argc, char** argv)
{
    const char* szFile = nullptr;
    bool bFormat = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--format") == 0 && bFormat)
            return VLToolUsage("xml: --format given twice");
        else if (std::strcmp(argv[i], "--format") == 0)
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
    // Set before Load, the blanks outside the root element are read too;
    // --format lays them out itself.
    doc.SetKeepText(!bFormat);
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

    const CVLXmlDocument::SLoadedForm& form = doc.GetLoadedForm();
    if (form.bDeclaration && form.strDeclaration.empty() && !bFormat)
        return VLToolFail("%s: the XML declaration would be rewritten: the reader keeps no more than %d bytes of it",
                          szFile, CVLXmlDocument::kKeptDeclarationBytes);
    if (!form.bDeclaration && bFormat && form.eCharset != VL_CHARSET_UTF8) {
        // The declaration --format adds names the form written; "UTF-16"
        // asks for a byte-order mark.
        doc.SetEncoding(form.bByteOrderMark ? "UTF-16" : NameOf(form.eCharset));
    }
    const CVLString& strDeclared = doc.GetEncoding();
    const std::string strEncoding(strDeclared.GetBuffer(), static_cast<size_t>(strDeclared.GetLength()));
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
    if (!ToLoadedForm(doc, strEncoding, bFormat, strText, strWhy))
        return VLToolFail("%s: cannot be written back in its encoding: %s", szFile, strWhy.c_str());
    if (!VLToolWriteStdout(strText.data(), strText.size()))
        return VLToolOutputFailed();
    return 0;
}

}  // namespace

VL_TOOL_COMMAND(xml, "xml",
                "  xml FILE [--format]\n"
                "                    load FILE as an XML document (UTF-8, UTF-16, Shift_JIS or EUC-JP)\n"
                "                    and write it back to standard output as it came: its encoding,\n"
                "                    byte-order mark and declaration or none; --format indents what\n"
                "                    holds no text, one tag per line, and writes a declaration (text,\n"
                "                    mixed content and xml:space=\"preserve\" stay as they are); a document\n"
                "                    with what the reader does not keep (CDATA, DOCTYPE, ...) is refused\n",
                Xml);
