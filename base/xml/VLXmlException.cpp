#include "base/xml/VLXmlException.h"

#include "base/core/VLExceptionOwner.h"
#include "base/core/VLTrace.h"
#include "base/xml/VLXmlNode.h"
#include "base/xml/pxp/PXP_Defs.h"

EVLXmlException::EVLXmlException(const char* szModule, const char* szFile, int nLine, int nXmlErrorCode,
                                 int nParserErrorCode, const char* szText, const IVLXmlNode* pNode)
    : EVLException(szModule, szFile, nLine)
    , m_nXmlErrorCode(nXmlErrorCode)
    , m_nParserErrorCode(nParserErrorCode)
    , m_strText(szText != nullptr ? szText : "", VL_CHARSET_UTF8)
    , m_strNodeXml(VL_CHARSET_UTF8)
{
    if (pNode != nullptr) {
        try {
            m_strNodeXml = pNode->GetXml(false);
        } catch (...) {
            ReleaseCurrentException();
        }
    }
    CVLTrace::OutputException(VLSTD_MODULE, "VLXmlException", 47, this);
}

EVLXmlException::~EVLXmlException()
{
}

CVLString EVLXmlException::GetClassName() const
{
    return CVLString("EVLXmlException", VL_CHARSET_UTF8);
}

const char* EVLXmlException::GetParserErrorName(int nCode)
{
    static const char* const kNames[] = {"PXP_NO_ERROR",
                                         "PXP_SYNTAX_ERROR",
                                         "PXP_ENCODING_DISAGREEMENT_ERROR",
                                         "PXP_INPUT_STREAM_ERROR",
                                         "PXP_NOT_SUPPORT_ENCODING_ERROR",
                                         "PXP_MEMORY_ALLOCATION_ERROR",
                                         "PXP_BUFFER_OVERFLOW_ERROR"};
    if (nCode < 0 || nCode > 6)
        return "Unknown";
    return kNames[nCode];
}

std::string EVLXmlException::GetReason() const
{
    static const char* const kParserTexts[] = {"no error",
                                               "not well-formed XML",
                                               "the encoding the XML declaration names disagrees with the text",
                                               "the input could not be read",
                                               "an encoding the parser does not support",
                                               "out of memory",
                                               "nested or long beyond the parser's bounds"};
    switch (m_nXmlErrorCode) {
    case VLXML_ERROR_PARSER:
        if (!m_strUnreadEncoding.empty())
            return m_strUnreadEncoding + ": the reader reads UTF-8, UTF-16, Shift_JIS and EUC-JP";
        if (m_nParserErrorCode == PXP_SYNTAX_ERROR && !m_strParserDetail.empty())
            return std::string(kParserTexts[PXP_SYNTAX_ERROR]) + ": " + m_strParserDetail;
        if (m_nParserErrorCode >= 0 &&
            m_nParserErrorCode < static_cast<int>(sizeof(kParserTexts) / sizeof(kParserTexts[0])))
            return kParserTexts[m_nParserErrorCode];
        return "not well-formed XML";
    case VLXML_ERROR_VERSION:
        return "the XML declaration names a version other than 1.0";
    case VLXML_ERROR_INDEX:
        return "a node index outside the list";
    default:
        return "a node, name or value is missing or not allowed";
    }
}

CVLString EVLXmlException::ToString() const
{
    CVLString str("EVLXmlException", VL_CHARSET_UTF8);
    CVLString strNumber(VL_CHARSET_UTF8);
    strNumber.SetLong(m_nXmlErrorCode);
    str += ": Xml error code=";
    str += strNumber;
    if (m_nXmlErrorCode == VLXML_ERROR_PARSER) {
        strNumber.SetLong(m_nParserErrorCode);
        str += " : Parser error code=";
        str += strNumber;
        str += "(";
        str += GetParserErrorName(m_nParserErrorCode);
        str += ")";
    }
    if (m_strText.GetLength() > 0) {
        str += " : ";
        str += m_strText;
    }
    if (m_strNodeXml.GetLength() > 0) {
        str += " : ";
        str += m_strNodeXml;
    }
    return str;
}
