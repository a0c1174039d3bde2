#include "ecm/simulated/VLECMDummyProbe.h"

#include <sys/stat.h>

#include <cstdint>
#include <vector>

#include "base/core/VLException.h"
#include "base/core/VLFileSystem.h"
#include "base/core/VLTrace.h"
#include "base/net/VLSocketAddress.h"
#include "base/stream/VLFileStream.h"
#include "base/xml/VLXmlDocument.h"
#include "base/xml/VLXmlElement.h"
#include "cm/VLCMApi.h"
#include "cm/VLProperty.h"
#include "ecm/core/VLECMOwnerIF.h"
#include "ecm/core/VLECMPrivate.h"
#include "ecm/core/VLXMLUtility.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "ecm/simulated/VLECMDummyProbeCallbackIF.h"

const char* const CVLECMDummyProbe::s_szPropertyInfoNamespaceURI =
    "http://vlnet.invalid/orvek-net/2009/05/dummy-property-info";
const char* const CVLECMDummyProbe::s_szPrinterListNamespaceURI =
    "http://vlnet.invalid/orvek-net/2009/05/dummy-printer-list";

namespace {

const char* const s_szFile = "VLECMDummyProbe";

const char* const kRootDirKey = "Initialize.DummyProbe.RootDir";
const char* const kPropertyInfoFileKey = "Initialize.DummyProbe.PropertyInfoFile";
const char* const kPrinterListFileKey = "Initialize.DummyProbe.PrinterListFile";
const char* const kIPAddressPathKey = "Config.NIFPropTree.FromIPAddressPath";

const char* const kLANUnicastFlagPath = "LAN.UnicastFlag";
const char* const kUSBUnicastFlagPath = "USB.UnicastFlag";
const char* const kMACAddressPath = "MACAddress";

const int kIPv4AddressBytes = 4;

// VLFileExists kinds.
const int kFileKindFile = 0;
const int kFileKindDirectory = 1;

const unsigned long kByteMask = 0xFF;
const unsigned long kUShortMask = 0xFFFF;

// The "dataType" names, at the index of their code.
const char* const kDataTypeNames[] = {
    "Byte",        "ByteArray",  "NullByteArray", "VarByteArray", "String",   "NullString", "VarString", "LengthString",
    "IPV4Address", "MACAddress", "ULong",         "UShort",       "LEUShort", "Password",   "CipherKey", "WEPKeyInfo"};

void Report(int nLine, const char* szFormat, const char* szArgument = nullptr)
{
    CVLTrace::Output(VLECM_MODULE, s_szFile, nLine, 0, szFormat, szArgument ? szArgument : "");
}

// Calls fn for each child element of pParent that matches the local name and
// namespace, in document order; other nodes are skipped.
template <typename F>
void ForEachChildElement(CVLXmlElement* pParent, const char* szLocalName, const char* szNamespaceURI, F fn)
{
    CVLXmlNodeList* pChildren = pParent->GetChildNodes();
    if (pChildren == nullptr)
        return;
    for (CVLXmlNodeConstIterator it = pChildren->ConstBegin(); !it.IsEnd(); it.Next()) {
        IVLXmlNode* pNode = it.Get();
        if (pNode == nullptr || pNode->GetNodeType() != VLXML_NODE_ELEMENT)
            continue;
        if (!CVLXMLUtility::MatchNode(pNode, szLocalName, szNamespaceURI))
            continue;
        fn(static_cast<CVLXmlElement*>(pNode));
    }
}

// A path a property tree can hold: not empty, no empty segment, not deeper
// than a tree may grow.
bool IsUsablePath(const CVLString& strPath)
{
    const char* p = strPath.GetBuffer();
    int nLength = strPath.GetLength();
    if (nLength == 0 || p[0] == '.' || p[nLength - 1] == '.')
        return false;
    int nSegments = 1;
    for (int i = 1; i < nLength; ++i) {
        if (p[i] != '.')
            continue;
        if (p[i - 1] == '.')
            return false;
        ++nSegments;
    }
    return nSegments <= VLCM_PROPERTY_MAX_DEPTH;
}

void StoreByteArray(CVLProperty* pProperty, const CVLString& strValue)
{
    std::vector<VL_BYTE> bytes(static_cast<size_t>(strValue.GetLength()) / 2 + 1);
    int nCount = strValue.HexToBytes(bytes.data(), static_cast<int>(bytes.size()));
    if (nCount < 0)
        nCount = 0;
    pProperty->SetBinary(bytes.data(), nCount);
}

// Stores the value text as its data type says.
void StoreValue(CVLProperty* pProperty, const VLECM_DUMMY_PROPERTY_INFO& info)
{
    const CVLString& strValue = info.strValue;
    switch (info.nDataType) {
    case VLECM_DUMMY_DATA_TYPE_BYTE:
        pProperty->SetUChar(static_cast<unsigned char>(strValue.ToULong(0) & kByteMask));
        break;
    case VLECM_DUMMY_DATA_TYPE_BYTE_ARRAY:
    case VLECM_DUMMY_DATA_TYPE_NULL_BYTE_ARRAY:
    case VLECM_DUMMY_DATA_TYPE_VAR_BYTE_ARRAY:
    case VLECM_DUMMY_DATA_TYPE_CIPHER_KEY:
        StoreByteArray(pProperty, strValue);
        break;
    case VLECM_DUMMY_DATA_TYPE_IPV4_ADDRESS: {
        // Only a dotted quad: a list file must not make the device manager
        // look host names up.
        CVLSocketAddress address;
        unsigned char bytes[kIPv4AddressBytes];
        if (CVLSocketAddress::ParseDottedQuad(strValue.GetBuffer(), bytes))
            address.SetAddressBytes(bytes);
        pProperty->SetSocketAddress(address);
        break;
    }
    case VLECM_DUMMY_DATA_TYPE_ULONG:
        pProperty->SetULong(strValue.ToULong(0));
        break;
    case VLECM_DUMMY_DATA_TYPE_USHORT:
    case VLECM_DUMMY_DATA_TYPE_LE_USHORT:
        pProperty->SetUShort(static_cast<unsigned short>(strValue.ToULong(0) & kUShortMask));
        break;
    default:
        pProperty->SetString(strValue);
        break;
    }
}

// A regular file: a pipe or a device under the list's name would block or
// never end.
bool IsRegularFile(const CVLString& strPath)
{
    struct stat info;
    return stat(strPath.GetBuffer(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

CVLECMDummyProbe::CVLECMDummyProbe()
    : m_pOwnerVLECMInstance(nullptr), m_pDummyProbeCallbackIF(nullptr), m_strRootDirectoryPath(VL_CHARSET_UTF8),
      m_strPropertyInfoFileName(VL_CHARSET_UTF8), m_strPrinterListFileName(VL_CHARSET_UTF8), m_bInitialize(false),
      m_RunThreadId(std::thread::id()), m_nPropertyCount(0)
{
}

CVLECMDummyProbe::~CVLECMDummyProbe()
{
    Terminate();
}

int CVLECMDummyProbe::GetDataTypeCode(const CVLString& strDataType)
{
    for (int i = 0; i < VLECM_DUMMY_DATA_TYPE_OTHER; ++i) {
        if (strDataType.Compare(kDataTypeNames[i]) == 0)
            return i;
    }
    return VLECM_DUMMY_DATA_TYPE_OTHER;
}

unsigned long CVLECMDummyProbe::ParseHardwareType(const CVLString& strHardwareType)
{
    if (strHardwareType.Compare("default") == 0)
        return 0;
    VL_ULONG nValue = 0;
    if (!strHardwareType.HexToDWord(nValue))
        return 0;
    return nValue;
}

void CVLECMDummyProbe::Initialize(IVLECMOwnerIF* pVLECM, IVLECMDummyProbeCallbackIF* pDummyProbeCallbackIF)
{
    try {
        if (pVLECM == nullptr || pDummyProbeCallbackIF == nullptr) {
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECMDummyProbe::Initialize(): parameter error!, pVLECM=%08X, "
                             "pDummyProbeCallbackIF=%08X",
                             static_cast<unsigned>(reinterpret_cast<uintptr_t>(pVLECM)),
                             static_cast<unsigned>(reinterpret_cast<uintptr_t>(pDummyProbeCallbackIF)));
            throw VLECM_RESULT_PARAMETER_ERROR;
        }
        // A run of an earlier initialization must not read the sets while they change.
        StopDummyProbe();
        m_bInitialize = false;
        m_pOwnerVLECMInstance = pVLECM;
        m_pDummyProbeCallbackIF = pDummyProbeCallbackIF;
        m_strRootDirectoryPath = pVLECM->expandPathMacro(pVLECM->GetProperty(kRootDirKey).GetBuffer());
        m_strPropertyInfoFileName = pVLECM->GetProperty(kPropertyInfoFileKey);
        m_strPrinterListFileName = pVLECM->GetProperty(kPrinterListFileKey);
        if (!VLFileExists(m_strRootDirectoryPath.GetBuffer(), kFileKindDirectory)) {
            Report(__LINE__, "CVLECMDummyProbe::Initialize(): path error!, m_strRootDirectoryPath=%s",
                   m_strRootDirectoryPath.GetBuffer());
            throw VLECM_RESULT_PATH_ERROR;
        }
        loadDummyPropertyInfoXML();
        m_bInitialize = true;
    } catch (...) {
        ReleaseCurrentException();
    }
}

void CVLECMDummyProbe::Terminate()
{
    try {
        StopDummyProbe();
        m_pOwnerVLECMInstance = nullptr;
        m_pDummyProbeCallbackIF = nullptr;
        m_strRootDirectoryPath.Empty();
        m_strPropertyInfoFileName.Empty();
        m_strPrinterListFileName.Empty();
        m_DummyPropertyInfoSetMap.clear();
        m_DummyPrinterMap.clear();
        m_bInitialize = false;
    } catch (...) {
        ReleaseCurrentException();
    }
}

void CVLECMDummyProbe::StartDummyProbe()
{
    try {
        if (m_pOwnerVLECMInstance == nullptr || m_pDummyProbeCallbackIF == nullptr || !m_bInitialize) {
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECMDummyProbe::StartDummyProbe(): not initialized!, m_pOwnerVLECMInstance=%08X, "
                             "m_pDummyProbeCallbackIF=%08X, m_bInitialize=%d",
                             static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_pOwnerVLECMInstance)),
                             static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_pDummyProbeCallbackIF)),
                             m_bInitialize ? 1 : 0);
            throw VLECM_RESULT_NOT_INITIALIZED;
        }
        StopDummyProbe();
        Start(static_cast<void*>(nullptr));
    } catch (...) {
        ReleaseCurrentException();
    }
}

void CVLECMDummyProbe::StopDummyProbe()
{
    try {
        if (m_RunThreadId.load() == std::this_thread::get_id())
            SetRequestEnd(true);
        else
            End();
    } catch (...) {
        ReleaseCurrentException();
    }
}

void CVLECMDummyProbe::loadListDocument(const CVLString& strPath, CVLXmlDocument& document, const char* szSignature)
{
    CVLString strWhat(szSignature, VL_CHARSET_UTF8);
    if (!IsRegularFile(strPath)) {
        strWhat += ": not a file!, path=%s";
        Report(__LINE__, strWhat.GetBuffer(), strPath.GetBuffer());
        throw VLECM_RESULT_PATH_ERROR;
    }
    CVLFileStream stream;
    stream.SetFileName(strPath.GetBuffer());
    stream.Open(VL_OPEN_READ);
    try {
        if (stream.GetSize() > static_cast<VL_SIZE_T>(kMaxListFileBytes)) {
            strWhat += ": file too large!, path=%s";
            Report(__LINE__, strWhat.GetBuffer(), strPath.GetBuffer());
            throw VLECM_RESULT_XML_ERROR;
        }
        document.Load(&stream);
    } catch (...) {
        stream.Close();
        throw;
    }
    stream.Close();
}

void CVLECMDummyProbe::loadDummyPropertyInfoXML()
{
    CVLString strPath = VLCombinePath(m_strRootDirectoryPath.GetBuffer(), m_strPropertyInfoFileName.GetBuffer());
    m_DummyPropertyInfoSetMap.clear();
    if (!VLFileExists(strPath.GetBuffer(), kFileKindFile)) {
        Report(__LINE__, "CVLECMDummyProbe::loadDummyPropertyInfoXML(): path error!, strPropertyInfoFilePath=%s",
               strPath.GetBuffer());
        throw VLECM_RESULT_PATH_ERROR;
    }
    CVLXmlDocument document;
    loadListDocument(strPath, document, "CVLECMDummyProbe::loadDummyPropertyInfoXML()");
    analyzeDummyPropertyInfo(document, m_DummyPropertyInfoSetMap);
}

void CVLECMDummyProbe::loadDummyPrinterListXML()
{
    CVLString strPath = VLCombinePath(m_strRootDirectoryPath.GetBuffer(), m_strPrinterListFileName.GetBuffer());
    m_DummyPrinterMap.clear();
    if (!VLFileExists(strPath.GetBuffer(), kFileKindFile)) {
        Report(__LINE__, "CVLECMDummyProbe::loadDummyPrinterListXML(): path error!, strPrinterListFilePath=%s",
               strPath.GetBuffer());
        throw VLECM_RESULT_PATH_ERROR;
    }
    CVLXmlDocument document;
    loadListDocument(strPath, document, "CVLECMDummyProbe::loadDummyPrinterListXML()");
    if (IsRequestEnd()) {
        Report(__LINE__, "CVLECMDummyProbe::loadDummyPrinterListXML(): RequestEnd");
        throw VLECM_RESULT_STOPPED;
    }
    analyzeDummyPrinterList(document, m_DummyPrinterMap);
}

void CVLECMDummyProbe::analyzeDummyPropertyInfo(CVLXmlDocument& document, VLECM_DUMMY_PROPERTY_SET_MAP& setMap)
{
    setMap.clear();
    if (!CVLXMLUtility::ValidateXMLDeclaration(document)) {
        Report(__LINE__, "CVLECMDummyProbe::analyzeDummyPropertyInfo(): ValidateXMLDeclaration error.");
        throw VLECM_RESULT_XML_ERROR;
    }
    CVLXmlElement* pRoot = document.GetDocumentElement();
    if (pRoot == nullptr) {
        Report(__LINE__, "CVLECMDummyProbe::analyzeDummyPropertyInfo(): analyze error!, pRootElement=NULL");
        throw VLECM_RESULT_XML_ERROR;
    }
    if (!CVLXMLUtility::MatchNode(pRoot, "DummyPropertyInfo", s_szPropertyInfoNamespaceURI)) {
        Report(__LINE__, "CVLECMDummyProbe::analyzeDummyPropertyInfo(): invalid Root element!, NodeName=%s",
               pRoot->GetNodeName().GetBuffer());
        throw VLECM_RESULT_XML_ERROR;
    }
    m_nPropertyCount = 0;
    analyzeDummyPropertySetList(pRoot, setMap);
}

void CVLECMDummyProbe::analyzeDummyPropertySetList(CVLXmlElement* pRootElement, VLECM_DUMMY_PROPERTY_SET_MAP& setMap)
{
    ForEachChildElement(pRootElement, "DummyPropertySet", s_szPropertyInfoNamespaceURI,
                        [&](CVLXmlElement* pSet) { analyzeDummyPropertySet(pSet, setMap); });
}

void CVLECMDummyProbe::analyzeDummyPropertySet(CVLXmlElement* pSetElement, VLECM_DUMMY_PROPERTY_SET_MAP& setMap)
{
    unsigned long ulHardwareType = ParseHardwareType(pSetElement->GetAttribute("hardwareType"));
    VLECM_DUMMY_PROPERTY_MAP& pathMap = setMap[ulHardwareType];
    ForEachChildElement(pSetElement, "Property", s_szPropertyInfoNamespaceURI,
                        [&](CVLXmlElement* pProperty) { analyzeDummyProperty(pProperty, pathMap); });
}

void CVLECMDummyProbe::analyzeDummyProperty(CVLXmlElement* pPropertyElement, VLECM_DUMMY_PROPERTY_MAP& pathMap)
{
    CVLString strPath = pPropertyElement->GetAttribute("path");
    if (pathMap.find(strPath) != pathMap.end())
        return;
    // A path no tree can hold would fail the whole run at its device.
    if (!IsUsablePath(strPath)) {
        Report(__LINE__, "CVLECMDummyProbe::analyzeDummyProperty(): invalid path!, path=%s", strPath.GetBuffer());
        return;
    }
    if (m_nPropertyCount >= kMaxProperties) {
        if (m_nPropertyCount++ == kMaxProperties)
            Report(__LINE__, "CVLECMDummyProbe::analyzeDummyProperty(): too many properties!, path=%s",
                   strPath.GetBuffer());
        return;
    }
    ++m_nPropertyCount;
    VLECM_DUMMY_PROPERTY_INFO info;
    info.nDataType = GetDataTypeCode(pPropertyElement->GetAttribute("dataType"));
    info.strValue = pPropertyElement->GetAttribute("value");
    pathMap.emplace(strPath, info);
}

void CVLECMDummyProbe::analyzeDummyPrinterList(CVLXmlDocument& document, VLECM_DUMMY_PRINTER_MAP& printerMap)
{
    printerMap.clear();
    if (!CVLXMLUtility::ValidateXMLDeclaration(document)) {
        Report(__LINE__, "CVLECMDummyProbe::analyzeDummyPrinterList(): ValidateXMLDeclaration error.");
        throw VLECM_RESULT_XML_ERROR;
    }
    CVLXmlElement* pRoot = document.GetDocumentElement();
    if (pRoot == nullptr) {
        Report(__LINE__, "CVLECMDummyProbe::analyzeDummyPrinterList(): analyze error!, pRootElement=NULL");
        throw VLECM_RESULT_XML_ERROR;
    }
    if (!CVLXMLUtility::MatchNode(pRoot, "DummyPrinterList", s_szPrinterListNamespaceURI)) {
        Report(__LINE__, "CVLECMDummyProbe::analyzeDummyPrinterList(): invalid Root element!, NodeName=%s",
               pRoot->GetNodeName().GetBuffer());
        throw VLECM_RESULT_XML_ERROR;
    }
    m_nPropertyCount = 0;
    analyzeDummyPrinterListElement(pRoot, printerMap);
}

void CVLECMDummyProbe::analyzeDummyPrinterListElement(CVLXmlElement* pRootElement, VLECM_DUMMY_PRINTER_MAP& printerMap)
{
    ForEachChildElement(pRootElement, "DummyPrinter", s_szPrinterListNamespaceURI, [&](CVLXmlElement* pPrinter) {
        if (IsRequestEnd()) {
            Report(__LINE__, "CVLECMDummyProbe::analyzeDummyPrinterListElement(): RequestEnd");
            throw VLECM_RESULT_STOPPED;
        }
        analyzeDummyPrinter(pPrinter, printerMap);
    });
}

void CVLECMDummyProbe::analyzeDummyPrinter(CVLXmlElement* pPrinterElement, VLECM_DUMMY_PRINTER_MAP& printerMap)
{
    CVLString strMACAddress = pPrinterElement->GetAttribute("macAddress");
    if (printerMap.find(strMACAddress) != printerMap.end())
        return;
    if (printerMap.size() >= static_cast<size_t>(kMaxPrinters)) {
        Report(__LINE__, "CVLECMDummyProbe::analyzeDummyPrinter(): too many devices!, macAddress=%s",
               strMACAddress.GetBuffer());
        return;
    }
    VLECM_DUMMY_PRINTER_INFO& printer = printerMap[strMACAddress];
    printer.ulHardwareType = ParseHardwareType(pPrinterElement->GetAttribute("hardwareType"));
    CVLString strConnectType = pPrinterElement->GetAttribute("connectType");
    if (strConnectType.CompareNoCase("USB") == 0)
        printer.eConnectType = VLECM_CONNECT_TYPE_USB;
    else if (strConnectType.CompareNoCase("ALL") == 0)
        printer.eConnectType = VLECM_CONNECT_TYPE_ALL;
    else
        printer.eConnectType = VLECM_CONNECT_TYPE_NETWORK;
    printer.bUnicast = pPrinterElement->GetAttributeBool("ipUnicast", true);
    printer.strIPAddress = pPrinterElement->GetAttribute("ipAddress");
    // A device's own sets are in the property-info namespace.
    ForEachChildElement(pPrinterElement, "DummyPropertySet", s_szPropertyInfoNamespaceURI,
                        [&](CVLXmlElement* pSet) { analyzeDummyPropertySet(pSet, printer.PropertySetMap); });
}

void CVLECMDummyProbe::margeDummyPropertyByHardwareType(CVLECMNIFInfo& NIFInfo, VLECM_DUMMY_PROPERTY_SET_MAP& setMap,
                                                        unsigned long ulHardwareType)
{
    VLECM_DUMMY_PROPERTY_SET_MAP::const_iterator itSet = setMap.find(ulHardwareType);
    if (itSet == setMap.end()) {
        CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                         "CVLECMDummyProbe::margeDummyPropertyByHardwareType(): DummyPropertySet Not found!, "
                         "ulHardwareType=%d",
                         static_cast<int>(ulHardwareType));
        return;
    }
    for (const auto& entry : itSet->second) {
        if (IsRequestEnd()) {
            Report(__LINE__, "CVLECMDummyProbe::margeDummyPropertyByHardwareType(): RequestEnd");
            throw VLECM_RESULT_STOPPED;
        }
        CVLProperty* pProperty = NIFInfo.GetProperty(entry.first.GetBuffer());
        if (pProperty == nullptr) {
            Report(__LINE__, "CVLECMDummyProbe::margeDummyPropertyByHardwareType(): GetProperty error!, path=%s",
                   entry.first.GetBuffer());
            throw VLECM_RESULT_INTERNAL_ERROR;
        }
        StoreValue(pProperty, entry.second);
    }
}

void CVLECMDummyProbe::OnThread(void* pData)
{
    (void)pData;
    m_RunThreadId = std::this_thread::get_id();
    runDummyProbe();
    m_RunThreadId = std::thread::id();
}

void CVLECMDummyProbe::runDummyProbe()
{
    try {
        if (m_pOwnerVLECMInstance == nullptr || m_pDummyProbeCallbackIF == nullptr || !m_bInitialize) {
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECMDummyProbe::OnThread(): not initialized!, m_pOwnerVLECMInstance=%08X, "
                             "m_pDummyProbeCallbackIF=%08X, m_bInitialize=%d",
                             static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_pOwnerVLECMInstance)),
                             static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_pDummyProbeCallbackIF)),
                             m_bInitialize ? 1 : 0);
            return;
        }
        loadDummyPrinterListXML();
        CVLString strIPAddressPath = m_pOwnerVLECMInstance->GetProperty(kIPAddressPathKey);

        for (auto& entry : m_DummyPrinterMap) {
            VLECM_DUMMY_PRINTER_INFO& printer = entry.second;
            CVLECMNIFInfo NIFInfo;
            NIFInfo.SetOwnerVLECMInstance(m_pOwnerVLECMInstance);
            NIFInfo.SetApi(m_pOwnerVLECMInstance->GetApi());
            NIFInfo.SetDummy(true);
            NIFInfo.SetMACAddress(entry.first.GetBuffer());

            // Later sets overwrite earlier ones at the same path.
            margeDummyPropertyByHardwareType(NIFInfo, m_DummyPropertyInfoSetMap, 0);
            margeDummyPropertyByHardwareType(NIFInfo, m_DummyPropertyInfoSetMap, printer.ulHardwareType);
            for (const auto& ownSet : printer.PropertySetMap)
                margeDummyPropertyByHardwareType(NIFInfo, printer.PropertySetMap, ownSet.first);

            bool bNetwork =
                printer.eConnectType == VLECM_CONNECT_TYPE_NETWORK || printer.eConnectType == VLECM_CONNECT_TYPE_ALL;
            bool bUSB =
                printer.eConnectType == VLECM_CONNECT_TYPE_USB || printer.eConnectType == VLECM_CONNECT_TYPE_ALL;
            NIFInfo.SetConnect(VLECM_CONNECT_TYPE_NETWORK, bNetwork);
            NIFInfo.SetConnect(VLECM_CONNECT_TYPE_USB, bUSB);
            bool bNetworkUnicast = bNetwork && printer.bUnicast;
            CVLProperty* pFlag = NIFInfo.GetProperty(kLANUnicastFlagPath);
            if (pFlag != nullptr) {
                pFlag->SetBool(bNetworkUnicast);
                NIFInfo.SetUnicast(VLECM_CONNECT_TYPE_NETWORK, bNetworkUnicast);
            }
            pFlag = NIFInfo.GetProperty(kUSBUnicastFlagPath);
            if (pFlag != nullptr) {
                pFlag->SetBool(bUSB);
                NIFInfo.SetUnicast(VLECM_CONNECT_TYPE_USB, bUSB);
            }
            if (printer.strIPAddress.GetLength() > 0 && strIPAddressPath.GetLength() > 0)
                NIFInfo.SetPropertyString(strIPAddressPath.GetBuffer(), printer.strIPAddress.GetBuffer());
            NIFInfo.SetPropertyString(kMACAddressPath, entry.first.GetBuffer());

            if (IsRequestEnd()) {
                Report(__LINE__, "CVLECMDummyProbe::OnThread(): RequestEnd");
                throw VLECM_RESULT_STOPPED;
            }
            // A device on both connections is reported as found over USB.
            // The receiver's failure skips only this device.
            try {
                m_pDummyProbeCallbackIF->OnDummyProbe(this, NIFInfo,
                                                      bUSB ? VLECM_CONNECT_TYPE_USB : VLECM_CONNECT_TYPE_NETWORK);
            } catch (...) {
                ReleaseCurrentException();
            }
        }
    } catch (...) {
        ReleaseCurrentException();
    }
}
