// The communication manager.
#include "pfw/PFWCommunicationManager.h"

#include <vector>

#include "base/core/VLCharset.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "pfw/VLPFWCallbackIF.h"
#include "pfw/VLPFWNIFInfo.h"

const char* const s_szFile = "PFWCommunicationManager";

namespace {
const char kLocalDBCPrefix[] = "Option.LocalDBCInfo.";
const char kLocalDBCModulePathPrefix[] = "VLPC_LocalNetworkDBC_";
const char kLocalDBCModulePathSuffix[] = ".UDP";
const char kLocalDBCAddressPathPrefix[] = "LDBCAddress_";

CVLString Text(const char* sz)
{
    return CVLString(sz, VL_CHARSET_UTF8);
}

CVLString LocalDBCKey(int nIndex, const char* szSubKey)
{
    CVLString strNumber(VL_CHARSET_UTF8);
    strNumber.SetLong(nIndex);
    CVLString strKey = Text(kLocalDBCPrefix);
    strKey += strNumber;
    strKey += szSubKey;
    return strKey;
}

}  // namespace

CPFWCommunicationManager::CPFWCommunicationManager()
    : m_bInitialize(false), m_eVLECMResult(VLECM_RESULT_SUCCESS), m_bProbing(false),
      m_strFilterMACAddress(VL_CHARSET_UTF8)
{
}

CPFWCommunicationManager::~CPFWCommunicationManager()
{
    Terminate();
}

VLPFW_RESULT CPFWCommunicationManager::Initialize(const CVLECMPropertyMap* pPropertyMap)
{
    CVLECMPropertyMap propertyMap;
    if (pPropertyMap != nullptr)
        propertyMap = *pPropertyMap;
    // There is no USB side to drive here.
    propertyMap[Text("Initialize.USBDriverWrapper.Disable")] = Text("true");
    m_eVLECMResult = m_VLECM.Initialize(this, &m_NIFInfoFactory, nullptr, &propertyMap);
    if (m_eVLECMResult != VLECM_RESULT_SUCCESS) {
        CVLTrace::Output(VLPFW_MODULE, s_szFile, __LINE__, 0,
                         "CPFWCommunicationManager::Initialize(): VLECMLib initialize error!, eVLECMResult=%d",
                         m_eVLECMResult);
        return VLPFW_RESULT_VLECM_ERROR;
    }
    m_bInitialize = true;
    return VLPFW_RESULT_SUCCESS;
}

void CPFWCommunicationManager::Terminate()
{
    {
        CVLThreadLock lock(&m_Sync);
        if (lock.Lock())
            m_bProbing = false;
    }
    if (!m_bInitialize)
        return;
    m_VLECM.Terminate();
    m_bInitialize = false;
}

VLPFW_RESULT CPFWCommunicationManager::Probe()
{
    if (!m_bInitialize)
        return VLPFW_RESULT_NOT_INITIALIZED;
    CVLECMPropertyMap probeOptionMap;
    probeOptionMap[Text("Option.Probe.SkipGetSupportInformation")] = Text("true");
    probeOptionMap[Text("Option.Probe.EnableLocalDBCInfo")] = Text("true");
    probeOptionMap[Text("Option.CheckUnicast.NonUnicastDeviceFiltering")] = Text("true");
    setupLocalDBCOptions(LOCAL_DBC_COUNT, probeOptionMap, false);

    m_VLECM.SetCallbackIF(this);
    m_VLECM.RemoveAllNIFInfo();
    {
        CVLThreadLock lock(&m_Sync);
        if (lock.Lock()) {
            m_AcceptedMACAddressSet.clear();
            m_bProbing = true;
        }
    }
    m_eVLECMResult = m_VLECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &probeOptionMap);
    if (m_eVLECMResult != VLECM_RESULT_SUCCESS) {
        CVLThreadLock lock(&m_Sync);
        if (lock.Lock())
            m_bProbing = false;
        CVLTrace::Output(VLPFW_MODULE, s_szFile, __LINE__, 0,
                         "CPFWCommunicationManager::Probe(): VLECMLib probe error!, eVLECMResult=%d", m_eVLECMResult);
        return VLPFW_RESULT_VLECM_ERROR;
    }
    return VLPFW_RESULT_SUCCESS;
}

void CPFWCommunicationManager::StopProbe()
{
    // The flag first and alone: a report on the dispatch thread takes m_Sync
    // while the device manager's locks are held, so m_Sync is never held
    // across a call into the device manager.
    {
        CVLThreadLock lock(&m_Sync);
        if (lock.Lock())
            m_bProbing = false;
    }
    if (m_bInitialize)
        m_VLECM.StopProbe();
}

bool CPFWCommunicationManager::IsProbing()
{
    CVLThreadLock lock(&m_Sync);
    return lock.Lock() && m_bProbing;
}

void CPFWCommunicationManager::SetCallbackNotification(bool bNotification)
{
    if (m_bInitialize)
        m_VLECM.SetCallbackNotification(bNotification);
}

bool CPFWCommunicationManager::SetFilterMACAddress(VL_CONST_STR szMACAddress)
{
    CVLString strFilter(VL_CHARSET_UTF8);
    if (szMACAddress != nullptr && szMACAddress[0] != '\0') {
        strFilter = CVLECMNIFInfo::NormalizeMACAddress(Text(szMACAddress));
        if (strFilter.GetLength() == 0)
            return false;
    }
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return false;
    m_strFilterMACAddress = strFilter;
    return true;
}

CVLString CPFWCommunicationManager::GetFilterMACAddress()
{
    CVLThreadLock lock(&m_Sync);
    return lock.Lock() ? m_strFilterMACAddress : CVLString(VL_CHARSET_UTF8);
}

bool CPFWCommunicationManager::AddCallbackIF(IVLPFWCallbackIF* pCallbackIF)
{
    if (pCallbackIF == nullptr)
        return false;
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return false;
    for (IVLPFWCallbackIF* p : m_CallbackList) {
        if (p == pCallbackIF)
            return false;
    }
    m_CallbackList.push_back(pCallbackIF);
    return true;
}

void CPFWCommunicationManager::RemoveCallbackIF(IVLPFWCallbackIF* pCallbackIF)
{
    CVLThreadLock lock(&m_Sync);
    if (lock.Lock())
        m_CallbackList.remove(pCallbackIF);
}

int CPFWCommunicationManager::GetAcceptedCount()
{
    CVLThreadLock lock(&m_Sync);
    return lock.Lock() ? static_cast<int>(m_AcceptedMACAddressSet.size()) : 0;
}

bool CPFWCommunicationManager::isAcceptable(CVLECMNIFInfo* pNIFInfo, bool bUnicast)
{
    if (!bUnicast)
        return false;
    CVLPFWNIFInfo* pPFWNIFInfo = dynamic_cast<CVLPFWNIFInfo*>(pNIFInfo);
    if (pPFWNIFInfo == nullptr || !pPFWNIFInfo->IsSupportedNIF())
        return false;
    CVLString strFilter = GetFilterMACAddress();
    if (strFilter.GetLength() == 0)
        return true;
    return CVLECMNIFInfo::NormalizeMACAddress(pNIFInfo->GetMACAddress()).Compare(strFilter) == 0;
}

void CPFWCommunicationManager::OnProbe(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, bool bUnicast,
                                       bool bUpdateNIFInfo)
{
    (void)eConnectType, (void)bUpdateNIFInfo;
    if (pNIFInfo == nullptr)
        return;
    try {
        bool bAccept = IsProbing() && isAcceptable(pNIFInfo, bUnicast);
        if (!bAccept) {
            m_VLECM.RemoveNIFInfo(pNIFInfo);
            return;
        }
        CVLString strMACAddress = pNIFInfo->GetMACAddress();
        // The receivers are called without the lock, so that they may stop
        // the probe; they are removed only after Terminate.
        std::vector<IVLPFWCallbackIF*> callbacks;
        {
            CVLThreadLock lock(&m_Sync);
            if (!lock.Lock())
                return;
            m_AcceptedMACAddressSet.insert(CVLECMNIFInfo::NormalizeMACAddress(strMACAddress));
            callbacks.assign(m_CallbackList.begin(), m_CallbackList.end());
        }
        CVLPFWNIFInfo* pPFWNIFInfo = static_cast<CVLPFWNIFInfo*>(pNIFInfo);
        for (IVLPFWCallbackIF* pCallbackIF : callbacks)
            pCallbackIF->OnProbe(strMACAddress.GetString(), pPFWNIFInfo);
    } catch (...) {
        ReleaseCurrentException();
    }
}

void CPFWCommunicationManager::setupLocalDBCOptions(int nCount, CVLECMPropertyMap& optionMap, bool bNIFInfoToAddress)
{
    optionMap[Text("Option.LocalDBCInfo.EnableMultiAddressDetection")] = Text("true");
    for (int i = 1; i <= nCount; i++) {
        CVLString strNumber(VL_CHARSET_UTF8);
        strNumber.SetLong(i);
        CVLString strModulePath = Text(kLocalDBCModulePathPrefix);
        strModulePath += strNumber;
        strModulePath += kLocalDBCModulePathSuffix;
        optionMap[LocalDBCKey(i, ".VLMDSockModulePath")] = strModulePath;
        optionMap[LocalDBCKey(i, ".Enable")] = Text("true");
        if (bNIFInfoToAddress) {
            CVLString strAddressPath = Text(kLocalDBCAddressPathPrefix);
            strAddressPath += strNumber;
            optionMap[LocalDBCKey(i, ".NIFInfoToAddressPath")] = strAddressPath;
        } else {
            optionMap.erase(LocalDBCKey(i, ".NIFInfoToAddressPath"));
        }
    }
}
