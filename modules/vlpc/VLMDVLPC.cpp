#include "modules/vlpc/VLMDVLPC.h"

#include <new>

#include "base/core/VLCharset.h"
#include "base/core/VLException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/xml/VLXmlDocument.h"
#include "base/xml/VLXmlElement.h"
#include "base/xml/VLXmlNodeList.h"
#include "cm/VLDefineFormatException.h"
#include "cm/VLModInstanceInfo.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleParamCollection.h"
#include "modules/vlpc/VLPC.h"
#include "modules/vlpc/VLPCDefs.h"
#include "modules/vlpc/VLPCFunction.h"
#include "modules/vlpc/VLPCPacketFormat.h"
#include "modules/vlpc/VLPCPacketList.h"

namespace {

const char* const s_szFile = "VLMDVLPC";
const char* const DEFINITION_DOCUMENT = "VLPC";
const int XML_ELEMENT_NODE = 1;
const long NO_VERSION = -1;
const char kPacketListSuffixConst[] = "packetListSuffix";

[[noreturn]] void ThrowFormat(const CVLXmlElement* pElement, const char* szAttribute, int nLine)
{
    throw new EVLDefineFormatException(VLMDVLPC_MODULE, s_szFile, nLine, pElement,
                                       szAttribute);
}

}  // namespace

long VLCompareVersion(long nVersion1, long nVersion2)
{
    if (nVersion1 == NO_VERSION)
        return nVersion2 == NO_VERSION ? 0 : 1;
    if (nVersion2 == NO_VERSION)
        return -1;
    return nVersion1 - nVersion2;
}

long VLPCReadVersion(CVLMDVLPC* pModule, const CVLXmlElement* pElement)
{
    if (pModule == nullptr || pElement->GetAttributeNode("version") == nullptr)
        return 0;
    return pModule->GetVersionNumber(pElement->GetAttribute("version").GetBuffer());
}

CVLMDVLPC::CVLMDVLPC()
{
    SetDefaultVersionMap();
}

CVLMDVLPC::~CVLMDVLPC()
{
    // A module torn down without its termination still frees its definitions.
    DeleteDefinitions();
}

void CVLMDVLPC::SetDefaultVersionMap()
{
    m_VersionMap.clear();
    for (char c : {'\0', 'A', 'B', 'C', 'D', 'E'})
        m_VersionMap[static_cast<unsigned char>(c)] = 0;
    for (int i = 1; i <= 8; ++i)
        m_VersionMap[static_cast<unsigned char>('0' + i)] = i;
    for (int i = 0; i < 6; ++i)
        m_VersionMap[static_cast<unsigned char>('F' + i)] = i + 1;
    m_VersionMap['L'] = 7;
    m_VersionMap['M'] = 7;
    m_VersionMap['N'] = 8;
}

void CVLMDVLPC::DeleteDefinitions()
{
    for (auto& entry : m_PacketLists)
        delete entry.second;
    m_PacketLists.clear();
    for (auto& entry : m_PacketFormats)
        delete entry.second;
    m_PacketFormats.clear();
}

int CVLMDVLPC::GetPacketCount(VL_CONST_STR szPacketListName)
{
    return static_cast<int>(GetFunctionCount(szPacketListName));
}

long CVLMDVLPC::GetFunctionCount(VL_CONST_STR szPacketListName)
{
    CVLPCPacketList* pList = FindPacketList(CVLString(szPacketListName, VL_CHARSET_UTF8));
    return pList != nullptr ? pList->GetCount() : 0;
}

void CVLMDVLPC::AddPacketListNames(std::set<std::string>& names)
{
    for (const auto& entry : m_PacketLists)
        names.insert(entry.first.GetString());
}

void CVLMDVLPC::AddPacketListRequests(CVLModuleController* pController, const CVLModInstanceInfo* pInfo,
                                      VL_CONST_STR szName, SVLPacketListRequests& list)
{
    CVLString strName(szName, VL_CHARSET_UTF8);
    strName += PacketListSuffix(pController, pInfo);
    list.runNames.insert(strName.GetString());
    CVLPCPacketList* pList = FindPacketList(strName);
    if (pList == nullptr) {
        list.missingNames.insert(strName.GetString());
        return;
    }
    // A function without a packet format is passed over when the list runs.
    for (CVLPCFunctionIterator it = pList->Begin(); !pList->IsEnd(it); ++it) {
        if (FindPacketFormat((*it)->GetKey()) != nullptr)
            list.requests.push_back(std::string(1, (*it)->GetPacketType()) + (*it)->GetKey().GetString());
    }
}

CVLString CVLMDVLPC::PacketListSuffix(CVLModuleController* pController, const CVLModInstanceInfo* pInfo)
{
    CVLString strSuffix(VL_CHARSET_UTF8);
    if (pController == nullptr)
        return strSuffix;
    CVLString strModule = pInfo != nullptr ? pInfo->GetModuleName() : CVLString(VL_CHARSET_UTF8);
    CVLString strInstance = pInfo != nullptr ? pInfo->GetName() : CVLString(VL_CHARSET_UTF8);
    if (!pController->FindConst(kPacketListSuffixConst, strSuffix, strModule.GetLength() > 0 ? strModule.GetBuffer() : nullptr,
                                strInstance.GetLength() > 0 ? strInstance.GetBuffer() : nullptr))
        strSuffix = CVLString(VL_CHARSET_UTF8);
    return strSuffix;
}

long CVLMDVLPC::GetVersionNumber(VL_CONST_STR szVersion)
{
    CVLString strVersion(szVersion, VL_CHARSET_UTF8);
    VL_BYTE c = 0;
    if (strVersion.GetLength() == 1)
        c = static_cast<VL_BYTE>(strVersion.GetAt(0));
    else if (strVersion.GetLength() > 1 && !strVersion.HexToByte(&c))
        return NO_VERSION;
    return GetVersionNumber(static_cast<char>(c));
}

long CVLMDVLPC::GetVersionNumber(char cVersion)
{
    auto it = m_VersionMap.find(static_cast<unsigned char>(cVersion));
    return it != m_VersionMap.end() ? it->second : NO_VERSION;
}

CVLPCPacketList* CVLMDVLPC::FindPacketList(const CVLString& strName) const
{
    auto it = m_PacketLists.find(strName);
    return it != m_PacketLists.end() ? it->second : nullptr;
}

CVLPCPacketFormat* CVLMDVLPC::FindPacketFormat(const CVLString& strKey) const
{
    auto it = m_PacketFormats.find(strKey);
    return it != m_PacketFormats.end() ? it->second : nullptr;
}

const CVLString* CVLMDVLPC::FindKeyPropertyPath(const char* szName) const
{
    auto it = m_KeyProperties.find(CVLString(szName, VL_CHARSET_UTF8));
    return it != m_KeyProperties.end() ? &it->second : nullptr;
}

bool CVLMDVLPC::IsKeyPropertyPath(const CVLString& strPath) const
{
    for (const auto& entry : m_KeyProperties) {
        if (entry.second == strPath)
            return true;
    }
    return false;
}

void CVLMDVLPC::onInitialize(CVLModuleParamCollection* pParams)
{
    SetDefaultVersionMap();
    CVLModuleController* pController = pParams != nullptr ? pParams->GetController() : nullptr;
    CVLXmlDocument* pDocument =
        pController != nullptr ? pController->GetDefineDocument(DEFINITION_DOCUMENT, false) : nullptr;
    const CVLXmlElement* pRoot = pDocument != nullptr ? pDocument->GetDocumentElement() : nullptr;
    const CVLXmlNodeList* pChildren = pRoot != nullptr ? pRoot->GetChildNodes() : nullptr;
    if (pChildren == nullptr)
        return;
    for (CVLXmlNodeConstIterator it = pChildren->ConstBegin(); !it.IsEnd(); it.Next()) {
        IVLXmlNode* pNode = it.Get();
        if (pNode == nullptr || pNode->GetNodeType() != XML_ELEMENT_NODE)
            continue;
        const CVLXmlElement* pElement = static_cast<const CVLXmlElement*>(pNode);
        CVLString strName = pNode->GetNodeName();
        if (strName.Compare("PacketList") == 0)
            LoadPacketList(pController, pElement);
        else if (strName.Compare("PacketFormat") == 0)
            LoadPacketFormat(pController, pElement);
        else if (strName.Compare("VersionMap") == 0)
            LoadVersionMap(pElement);
        else if (strName.Compare("KeyProperty") == 0)
            LoadKeyProperty(pElement);
    }
}

void CVLMDVLPC::LoadPacketList(CVLModuleController* pController, const CVLXmlElement* pElement)
{
    CVLString strName = pElement->GetAttribute("name");
    if (strName.GetLength() == 0 || m_PacketLists.count(strName) != 0)
        ThrowFormat(pElement, "name", __LINE__);
    CVLPCPacketList* pList = new (std::nothrow) CVLPCPacketList();
    if (pList == nullptr)
        throw new EVLMemoryAllocException(VLMDVLPC_MODULE, s_szFile, __LINE__);
    m_PacketLists[strName] = pList;
    pList->SetName(strName.GetBuffer());
    pList->Load(pController, pElement);
}

void CVLMDVLPC::LoadPacketFormat(CVLModuleController* pController, const CVLXmlElement* pElement)
{
    CVLPCPacketFormat* pFormat = new (std::nothrow) CVLPCPacketFormat();
    if (pFormat == nullptr)
        throw new EVLMemoryAllocException(VLMDVLPC_MODULE, s_szFile, __LINE__);
    try {
        pFormat->Load(pController, this, pElement);
        if (m_PacketFormats.count(pFormat->GetKey()) != 0)
            ThrowFormat(pElement, "function", __LINE__);
        m_PacketFormats[pFormat->GetKey()] = pFormat;
    } catch (...) {
        delete pFormat;
        throw;
    }
}

void CVLMDVLPC::LoadVersionMap(const CVLXmlElement* pElement)
{
    VL_BYTE c = 0;
    CVLString strChar = pElement->GetAttribute("char");
    if (strChar.GetLength() > 0) {
        c = static_cast<VL_BYTE>(strChar.GetAt(0));
    } else {
        CVLString strHex = pElement->GetAttribute("hex");
        if (strHex.GetLength() == 0 || !strHex.HexToByte(&c))
            return;
    }
    // The attribute name is spelt as the definitions spell it.
    if (pElement->GetAttributeNode("varsionNumber") == nullptr)
        return;
    m_VersionMap[c] = pElement->GetAttributeLong("varsionNumber", 0);
}

void CVLMDVLPC::LoadKeyProperty(const CVLXmlElement* pElement)
{
    CVLString strName = pElement->GetAttribute("name");
    CVLString strPath = pElement->GetAttribute("propertyPath");
    if (strName.GetLength() > 0 && strPath.GetLength() > 0)
        m_KeyProperties[strName] = strPath;
}

void CVLMDVLPC::onTerminate(CVLModuleParamCollection* pParams)
{
    (void)pParams;
    DeleteDefinitions();
}

IVLModInstanceIF* CVLMDVLPC::onNew()
{
    CVLPC* pVLPC = new (std::nothrow) CVLPC(this);
    if (pVLPC == nullptr)
        throw new EVLMemoryAllocException(VLMDVLPC_MODULE, s_szFile, __LINE__);
    return pVLPC;
}

void CVLMDVLPC::onDelete(IVLModInstanceIF* pInstanceIF)
{
    delete pInstanceIF;
}
