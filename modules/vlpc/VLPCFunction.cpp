#include "modules/vlpc/VLPCFunction.h"

#include "base/core/VLException.h"
#include "base/xml/VLXmlElement.h"
#include "base/xml/VLXmlNodeList.h"
#include "cm/VLDefineFormatException.h"
#include "modules/vlpc/VLPCDefs.h"

namespace {

const char* const s_szFile = "VLPCFunction";
const int DEVICE_TYPE_LENGTH = 2;
const int FUNCTION_LENGTH = 4;
const int XML_ELEMENT_NODE = 1;

[[noreturn]] void ThrowFormat(const CVLXmlElement* pElement, const char* szAttribute, int nLine)
{
    throw new EVLDefineFormatException(VLMDVLPC_MODULE, s_szFile, nLine, pElement,
                                       szAttribute);
}

}  // namespace

CVLPCFunction::CVLPCFunction()
    : m_cPacketType(0), m_bOnTimeout(true), m_bOnError(true), m_bOnErrorWithData(true), m_bErrorWithDataOK(false),
      m_bOnUnsupported(true), m_bForceSetup(false), m_bSaveDeviceNumber(false), m_bSendUnencryption(false),
      m_nDeviceTypeCode(0)
{
    m_FunctionCode[0] = 0;
    m_FunctionCode[1] = 0;
}

CVLPCFunction::~CVLPCFunction()
{
}

void CVLPCFunction::Load(CVLModuleController* pController, const CVLXmlElement* pElement)
{
    (void)pController;
    try {
        m_strDeviceType = pElement->GetAttribute("deviceType");
        if (m_strDeviceType.GetLength() == 0 || m_strDeviceType.GetLength() != DEVICE_TYPE_LENGTH)
            ThrowFormat(pElement, "deviceType", __LINE__);
        m_strFunction = pElement->GetAttribute("function");
        if (m_strFunction.GetLength() == 0 || m_strFunction.GetLength() != FUNCTION_LENGTH)
            ThrowFormat(pElement, "function", __LINE__);
        // Text that is not hexadecimal is not reported; the codes keep what
        // the conversion produced.
        m_strDeviceType.HexToByte(&m_nDeviceTypeCode);
        m_strFunction.HexToBytes(m_FunctionCode, 2);
        CVLString strPacketType = pElement->GetAttribute("packetType");
        if (strPacketType.GetLength() == 0)
            ThrowFormat(pElement, "packetType", __LINE__);
        m_cPacketType = strPacketType.GetAt(0);
        m_strDeviceNumber = pElement->GetAttribute("deviceNumber");
        m_strKey = m_strDeviceType;
        m_strKey += m_strFunction;
        m_bSendUnencryption = pElement->GetAttributeBool("sendUnencryption", false);
        m_bSaveDeviceNumber = pElement->GetAttributeBool("saveDeviceNumber", false);
        m_bOnTimeout = pElement->GetAttributeBool("onTimeout", true);
        m_bOnError = pElement->GetAttributeBool("onError", true);
        m_bOnErrorWithData = pElement->GetAttributeBool("onErrorWithData", true);
        m_bErrorWithDataOK = pElement->GetAttributeBool("errorWithDataOK", false);
        m_bOnUnsupported = pElement->GetAttributeBool("onUnsupported", true);
        m_bForceSetup = pElement->GetAttributeBool("forceSetup", false);
        m_strCondition = pElement->GetAttribute("condition");
        const CVLXmlNodeList* pChildren = pElement->GetChildNodes();
        CVLXmlNodeConstIterator it;
        if (pChildren != nullptr)
            it = pChildren->ConstBegin();
        for (; !it.IsEnd(); it.Next()) {
            IVLXmlNode* pNode = it.Get();
            if (pNode == nullptr || pNode->GetNodeType() != XML_ELEMENT_NODE ||
                pNode->GetNodeName().Compare("FieldName") != 0)
                continue;
            const CVLXmlElement* pFieldName = static_cast<const CVLXmlElement*>(pNode);
            CVLString strName = pFieldName->GetAttribute("name");
            if (strName.GetLength() == 0)
                continue;
            m_FieldNames[std::string(strName.GetBuffer(), static_cast<size_t>(strName.GetLength()))] =
                pFieldName->GetAttribute("propertyPath");
        }
    } catch (...) {
        VLRethrowAsFramework(VLMDVLPC_MODULE, s_szFile, __LINE__);
    }
}

bool CVLPCFunction::HasFieldName(VL_CONST_STR szName) const
{
    if (m_FieldNames.empty())
        return true;
    return m_FieldNames.find(szName != nullptr ? szName : "") != m_FieldNames.end();
}

CVLString CVLPCFunction::GetFieldPropertyPath(VL_CONST_STR szName) const
{
    if (m_FieldNames.empty())
        return CVLString();
    auto it = m_FieldNames.find(szName != nullptr ? szName : "");
    return it != m_FieldNames.end() ? it->second : CVLString();
}
