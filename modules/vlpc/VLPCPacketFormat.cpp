#include "modules/vlpc/VLPCPacketFormat.h"

#include <new>

#include "base/core/VLMemoryAllocException.h"
#include "base/xml/VLXmlElement.h"
#include "base/xml/VLXmlNodeList.h"
#include "cm/VLDefineFormatException.h"
#include "modules/vlpc/VLMDVLPC.h"
#include "modules/vlpc/VLPCDefs.h"
#include "modules/vlpc/VLPCPacketDataFormat.h"

namespace {

const char* const s_szFile = "VLPCPacketFormat";
const int XML_ELEMENT_NODE = 1;

}  // namespace

CVLPCPacketFormat::CVLPCPacketFormat() : m_nVersion(0), m_bForceEncrypts(false)
{
}

CVLPCPacketFormat::~CVLPCPacketFormat()
{
    for (CVLPCPacketDataFormat* p : m_SendDataFormats)
        delete p;
    for (CVLPCPacketDataFormat* p : m_RecvDataFormats)
        delete p;
}

void CVLPCPacketFormat::Load(CVLModuleController* pController, CVLMDVLPC* pModule, const CVLXmlElement* pElement)
{
    m_strDeviceType = pElement->GetAttribute("deviceType");
    if (m_strDeviceType.GetLength() == 0)
        throw new EVLDefineFormatException(VLMDVLPC_MODULE, s_szFile, __LINE__, pElement,
                                           "deviceType");
    m_strFunction = pElement->GetAttribute("function");
    if (m_strFunction.GetLength() == 0)
        throw new EVLDefineFormatException(VLMDVLPC_MODULE, s_szFile, __LINE__, pElement,
                                           "function");
    m_strKey = m_strDeviceType;
    m_strKey += m_strFunction;
    m_strPropertyPath = pElement->GetAttribute("propertyPath");
    m_nVersion = VLPCReadVersion(pModule, pElement);
    m_bForceEncrypts = pElement->GetAttributeBool("forceEncrypts", false);
    const CVLXmlNodeList* pChildren = pElement->GetChildNodes();
    if (pChildren == nullptr)
        return;
    for (CVLXmlNodeConstIterator it = pChildren->ConstBegin(); !it.IsEnd(); it.Next()) {
        IVLXmlNode* pNode = it.Get();
        if (pNode == nullptr || pNode->GetNodeType() != XML_ELEMENT_NODE)
            continue;
        CVLString strName = pNode->GetNodeName();
        bool bSend = strName.Compare("SendDataFormat") == 0;
        if (!bSend && strName.Compare("RecvDataFormat") != 0)
            continue;
        CVLPCPacketDataFormat* pFormat =
            CreateDataFormat(pController, pModule, static_cast<const CVLXmlElement*>(pNode));
        (bSend ? m_SendDataFormats : m_RecvDataFormats).push_back(pFormat);
    }
}

CVLPCPacketDataFormat* CVLPCPacketFormat::CreateDataFormat(CVLModuleController* pController, CVLMDVLPC* pModule,
                                                           const CVLXmlElement* pElement)
{
    CVLPCPacketDataFormat* pFormat = new (std::nothrow) CVLPCPacketDataFormat();
    if (pFormat == nullptr)
        throw new EVLMemoryAllocException(VLMDVLPC_MODULE, s_szFile, __LINE__);
    try {
        pFormat->Load(pController, pModule, pElement);
    } catch (...) {
        delete pFormat;
        throw;
    }
    return pFormat;
}

CVLPCPacketDataFormat* CVLPCPacketFormat::FindDataFormat(CVLMDVLPC* pModule, bool bRecv, long nVersion,
                                                         const VL_BYTE* pResult, char cPacketType) const
{
    CVLPCPacketDataFormat* pBest = nullptr;
    for (CVLPCPacketDataFormat* pFormat : bRecv ? m_RecvDataFormats : m_SendDataFormats) {
        if (!pFormat->IsMatch(pModule, nVersion, pResult, cPacketType))
            continue;
        if (pBest == nullptr || VLCompareVersion(pFormat->GetVersion(), pBest->GetVersion()) >= 0)
            pBest = pFormat;
    }
    return pBest;
}

CVLPCPacketDataFormat* CVLPCPacketFormat::FindSendDataFormat(CVLMDVLPC* pModule, long nVersion, char cPacketType) const
{
    return FindDataFormat(pModule, false, nVersion, nullptr, cPacketType);
}

CVLPCPacketDataFormat* CVLPCPacketFormat::FindRecvDataFormat(CVLMDVLPC* pModule, long nVersion, const VL_BYTE* pResult,
                                                             char cPacketType) const
{
    return FindDataFormat(pModule, true, nVersion, pResult, cPacketType);
}
