#include "ecm/core/VLXMLUtility.h"

#include <string>

#include "base/core/VLException.h"
#include "base/core/VLStream.h"
#include "base/core/VLTrace.h"
#include "base/xml/VLXmlDocument.h"
#include "base/xml/VLXmlNode.h"
#include "ecm/core/VLECMPrivate.h"

namespace {

const char* const kModule = "VLECM";
const char* const s_szFile = "KRTTXMLUtility";

bool IsEmpty(VL_CONST_STR sz)
{
    return CVLString::GetTextLength(sz) == 0;
}

const char* OrEmpty(VL_CONST_STR sz)
{
    return sz ? sz : "";
}

// Runs a builder; a failure inside a string or node operation is a false
// result, never an exception to the caller.
template <typename F>
bool Guarded(F body)
{
    try {
        return body();
    } catch (...) {
        ReleaseCurrentException();
    }
    return false;
}

}  // namespace

bool CVLXMLUtility::MakeNodeName(CVLString& strOut, VL_CONST_STR szLocalName, VL_CONST_STR szNamespacePrefix)
{
    return Guarded([&] {
        strOut.Empty();
        if (IsEmpty(szLocalName)) {
            CVLTrace::Output(kModule, s_szFile, __LINE__, 1,
                             "CVLXMLUtility::MakeNodeName(): parameter error!, empty LocalName.");
            return false;
        }
        if (!IsEmpty(szNamespacePrefix)) {
            strOut += szNamespacePrefix;
            strOut += ":";
        }
        strOut += szLocalName;
        return true;
    });
}

bool CVLXMLUtility::MakeXMLElementTag(CVLString& strOut, int eXMLTagType, VL_CONST_STR szElementName,
                                      VL_CONST_STR szNamespacePrefix)
{
    return Guarded([&] {
        strOut.Empty();
        if (IsEmpty(szElementName)) {
            CVLTrace::Output(kModule, s_szFile, __LINE__, 1,
                             "CVLXMLUtility::MakeXMLElementTag(): parameter error!, empty ElementName.");
            return false;
        }
        CVLString strName;
        if (!MakeNodeName(strName, szElementName, szNamespacePrefix)) {
            CVLTrace::Output(kModule, s_szFile, __LINE__, 1,
                             "CVLXMLUtility::MakeXMLElementTag(): MakeNodeName error!szElementName=%s, "
                             "szNamespacePrefix=%s.",
                             OrEmpty(szElementName), OrEmpty(szNamespacePrefix));
            return false;
        }
        switch (eXMLTagType) {
        case XML_TAG_START:
            strOut += "<";
            strOut += strName;
            strOut += ">";
            return true;
        case XML_TAG_START_OPEN:
            strOut += "<";
            strOut += strName;
            return true;
        case XML_TAG_END:
            strOut += "</";
            strOut += strName;
            strOut += ">";
            return true;
        case XML_TAG_EMPTY:
            strOut += "<";
            strOut += strName;
            strOut += "/>";
            return true;
        default:
            CVLTrace::Output(kModule, s_szFile, __LINE__, 1,
                             "CVLXMLUtility::MakeXMLElementTag(): parameter error!, eXMLTagType=%d", eXMLTagType);
            return false;
        }
    });
}

bool CVLXMLUtility::MakeXMLNamespaceDeclaration(CVLString& strOut, VL_CONST_STR szNamespaceURI,
                                                VL_CONST_STR szNamespacePrefix)
{
    return Guarded([&] {
        strOut.Empty();
        if (IsEmpty(szNamespaceURI)) {
            CVLTrace::Output(kModule, s_szFile, __LINE__, 1,
                             "CVLXMLUtility::MakeXMLNamespaceDeclaration(): parameter error!, empty NamespaceURI.");
            return false;
        }
        strOut += " xmlns";
        if (!IsEmpty(szNamespacePrefix)) {
            strOut += ":";
            strOut += szNamespacePrefix;
        }
        strOut += "=\"";
        strOut += szNamespaceURI;
        strOut += "\"";
        return true;
    });
}

bool CVLXMLUtility::MakeXMLAttribute(CVLString& strOut, VL_CONST_STR szAttributeName, VL_CONST_STR szNamespacePrefix,
                                     VL_CONST_STR szValue)
{
    return Guarded([&] {
        strOut.Empty();
        if (IsEmpty(szAttributeName)) {
            CVLTrace::Output(kModule, s_szFile, __LINE__, 1,
                             "CVLXMLUtility::MakeXMLAttribute(): parameter error!, empty AttributeName.");
            return false;
        }
        strOut += " ";
        if (!IsEmpty(szNamespacePrefix)) {
            strOut += szNamespacePrefix;
            strOut += ":";
        }
        strOut += szAttributeName;
        strOut += "=\"";
        strOut += OrEmpty(szValue);
        strOut += "\"";
        return true;
    });
}

bool CVLXMLUtility::ConvertPredefinedEntities(VL_CONST_STR szSrc, CVLString& strOut)
{
    return Guarded([&] {
        strOut.Empty();
        if (!szSrc) {
            CVLTrace::Output(kModule, s_szFile, __LINE__, 1,
                             "CVLXMLUtility::ConvertPredefinedEntities(): parameter error!, empty SrcString.");
            return false;
        }
        strOut = szSrc;
        // The ampersand first, so that the ampersands of the later
        // replacements are not replaced again.
        strOut.Replace("&", "&amp;");
        strOut.Replace("<", "&lt;");
        strOut.Replace(">", "&gt;");
        strOut.Replace("'", "&apos;");
        strOut.Replace("\"", "&quot;");
        return true;
    });
}

bool CVLXMLUtility::ValidateXMLDeclaration(CVLXmlDocument& document)
{
    return Guarded([&] {
        const CVLString& strVersion = document.GetVersion();
        if (strVersion.CompareNoCase("1.0") != 0) {
            CVLTrace::Output(kModule, s_szFile, __LINE__, 1,
                             "CVLXMLUtility::ValidateXMLDeclaration(): version error!, strXMLVersion=%s",
                             strVersion.GetBuffer() ? strVersion.GetBuffer() : "");
            return false;
        }
        const CVLString& strEncoding = document.GetEncoding();
        if (strEncoding.CompareNoCase("utf-8") != 0) {
            CVLTrace::Output(kModule, s_szFile, __LINE__, 1,
                             "CVLXMLUtility::ValidateXMLDeclaration(): encoding error!, strXMLEncoding=%s",
                             strEncoding.GetBuffer() ? strEncoding.GetBuffer() : "");
            return false;
        }
        return true;
    });
}

bool CVLXMLUtility::MatchNode(const IVLXmlNode* pNode, VL_CONST_STR szLocalName, VL_CONST_STR szNamespaceURI)
{
    return Guarded([&] {
        return pNode && CompareLocalName(pNode, szLocalName) && CompareNamespaceURI(pNode, szNamespaceURI);
    });
}

bool CVLXMLUtility::CompareLocalName(const IVLXmlNode* pNode, VL_CONST_STR szLocalName)
{
    return pNode->GetLocalName().Compare(OrEmpty(szLocalName)) == 0;
}

bool CVLXMLUtility::CompareNamespaceURI(const IVLXmlNode* pNode, VL_CONST_STR szNamespaceURI)
{
    return pNode->GetNamespaceURI().CompareNoCase(OrEmpty(szNamespaceURI)) == 0;
}

void CVLXMLUtility::DebugHook(IVLStream* pStream, VL_CONST_STR szFileName, VL_CONST_STR szLabel, int nValue)
{
    if (pStream == nullptr || !CVLTrace::IsEnabled(VL_TRACE_TYPE_MESSAGE))
        return;
    try {
        std::string strText;
        VL_BYTE buffer[4096];
        pStream->Seek(0);
        for (VL_SIZE_T n; (n = pStream->Read(buffer, sizeof(buffer))) > 0;)
            strText.append(reinterpret_cast<const char*>(buffer), n);
        CVLTrace::Output(kModule, s_szFile, __LINE__, 0, "CVLXMLUtility::DebugHook(): FileName=%s, Label=%s, Value=%d",
                         OrEmpty(szFileName), OrEmpty(szLabel), nValue);
        // One trace line for each line of the text, so that each stays whole.
        std::string::size_type nStart = 0;
        while (nStart < strText.size()) {
            std::string::size_type nEnd = strText.find('\n', nStart);
            if (nEnd == std::string::npos)
                nEnd = strText.size();
            CVLTrace::Output(kModule, s_szFile, __LINE__, 0, "%s", strText.substr(nStart, nEnd - nStart).c_str());
            nStart = nEnd + 1;
        }
    } catch (...) {
        ReleaseCurrentException();
    }
}
