// The probe instance: runs the probe function, merges the replies by MAC
// address, chains the follow-up commands of each new device and reports the
// complete ones to its owner.
#include "ecm/probe/VLECMProbeInstance.h"

#include <algorithm>
#include <list>

#include "base/core/VLCharset.h"
#include "base/core/VLException.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "base/core/VLUnexpectedException.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLProperty.h"
#include "cm/VLTargetList.h"
#include "cm/VLTargetLock.h"
#include "ecm/core/VLECMApi.h"
#include "ecm/core/VLECMDefaultOptions.h"
#include "ecm/core/VLECMOwnerIF.h"
#include "ecm/core/VLECMPrivate.h"
#include "ecm/probe/VLECMNIFInfoList.h"
#include "ecm/record/VLECMNIFInfo.h"

const char* const s_szFile = "VLECMProbeInstance";

namespace {
// The catch ladder of an operation without a result: framework exceptions
// pass, a thrown result or any other value becomes EVLUnexpectedException.
[[noreturn]] void RethrowFramework(int nLine)
{
    try {
        throw;
    } catch (VLECM_RESULT eResult) {
        throw new EVLUnexpectedException(VLECM_MODULE, s_szFile, nLine, static_cast<VL_LONG>(eResult));
    } catch (...) {
        VLRethrowAsFramework(VLECM_MODULE, s_szFile, nLine);
    }
}

// Ends a device's chain after a chain callback unless it started the next
// command.
class CChainStep
{
public:
    CChainStep(CVLECMProbeInstance* pOwner, CVLECMNIFInfo* pNIFInfo) : m_pOwner(pOwner), m_pNIFInfo(pNIFInfo)
    {
        m_pOwner->beforeChainStep(m_pNIFInfo);
    }
    ~CChainStep()
    {
        try {
            m_pOwner->afterChainStep(m_pNIFInfo);
        } catch (...) {
            ReleaseCurrentException();
        }
    }

private:
    CVLECMProbeInstance* m_pOwner;
    CVLECMNIFInfo* m_pNIFInfo;
};

// The MAC address text a target carries, in its normal form.
CVLString MACAddressOf(CVLTarget* pTarget)
{
    CVLTargetLock lock(pTarget);
    CVLProperty* pProperty = pTarget->GetProperties()->GetProperty("MACAddress", false);
    if (pProperty == nullptr)
        return CVLString(VL_CHARSET_UTF8);
    return CVLECMNIFInfo::NormalizeMACAddress(pProperty->ToString(""));
}

// The address a target's reply came from (its record's address).
CVLString AddressOf(CVLTarget* pTarget)
{
    CVLTargetLock lock(pTarget);
    CVLProperty* pProperty = pTarget->GetProperties()->GetProperty("IPAddress", false);
    return pProperty != nullptr ? pProperty->ToString("") : CVLString(VL_CHARSET_UTF8);
}
}  // namespace

CVLECMProbeInstance::CVLECMProbeInstance()
    : m_pOwnerVLECMInstance(nullptr), m_pCallbackIF(nullptr), m_pNIFInfoList(nullptr), m_pClaimList(nullptr),
      m_pProbeModuleInstance(nullptr), m_ReplyFilter(m_HandOnQueue),
      m_pLocalNetworks(std::make_shared<const CVLECMLocalNetworks>())
{
}

CVLECMProbeInstance::~CVLECMProbeInstance()
{
    try {
        m_UnicastChecks.Shutdown();
    } catch (...) {
        ReleaseCurrentException();
    }
}

void CVLECMProbeInstance::Initialize(IVLECMOwnerIF* pOwner, IVLECMCallbackIF* pCallbackIF)
{
    try {
        if (pOwner == nullptr || pCallbackIF == nullptr) {
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECMProbeInstance::Initialize(): parameter error!, pVLECM=%08X, pCallbackIF=%08X",
                             PointerText(pOwner), PointerText(pCallbackIF));
            throw VLECM_RESULT_PARAMETER_ERROR;
        }
        m_pOwnerVLECMInstance = pOwner;
        m_pCallbackIF = pCallbackIF;
        m_DummyProbe.Initialize(pOwner, this);
        CVLThreadLock lock(&m_NIFListAccessSync);
        if (lock.Lock()) {
            CVLTargetList* pList = pOwner->GetApi()->CreateTargetList();
            m_pNIFInfoList = dynamic_cast<CVLECMNIFInfoList*>(pList);
            if (m_pNIFInfoList == nullptr && pList != nullptr) {
                pList->Destroy();
                throw VLECM_RESULT_INTERNAL_ERROR;
            }
            // The claims are the probe's own: the client sees one device per MAC.
            if (m_pNIFInfoList != nullptr) {
                CVLTargetList* pClaims = pOwner->GetApi()->CreateTargetList();
                m_pClaimList = dynamic_cast<CVLECMNIFInfoList*>(pClaims);
                if (m_pClaimList == nullptr) {
                    if (pClaims != nullptr)
                        pClaims->Destroy();
                    m_pNIFInfoList->Destroy();
                    m_pNIFInfoList = nullptr;
                    throw VLECM_RESULT_INTERNAL_ERROR;
                }
                m_pClaimList->SetReplyPath(nullptr, &m_HandOnQueue);
                m_pNIFInfoList->SetReplyPath(&m_ReplyFilter, &m_HandOnQueue, m_pClaimList);
            }
        }
    } catch (...) {
        RethrowFramework(__LINE__);
    }
}

void CVLECMProbeInstance::Terminate()
{
    try {
        StopProbe();
        m_DummyProbe.Terminate();
        StopAllCommands();
        ClearNIFList();
        // Its instances go before the framework does.
        m_UnicastChecks.Shutdown();
        {
            CVLThreadLock lock(&m_NIFListAccessSync);
            if (lock.Lock() && m_pNIFInfoList != nullptr) {
                CVLECMNIFInfoList* pList = m_pNIFInfoList;
                CVLECMNIFInfoList* pClaims = m_pClaimList;
                m_pNIFInfoList = nullptr;
                m_pClaimList = nullptr;
                pList->Destroy();
                if (pClaims != nullptr)
                    pClaims->Destroy();
            }
        }
        m_pOwnerVLECMInstance = nullptr;
        m_pCallbackIF = nullptr;
    } catch (...) {
        RethrowFramework(__LINE__);
    }
}

void CVLECMProbeInstance::StartProbe(VLECM_PROBE_CONNECT_TYPE eProbeConnectType,
                                     const CVLECMPropertyMap* pProbeOptionMap)
{
    try {
        StopProbe();
        StopAllCommands();
        ClearNIFList();
        m_HandOnQueue.Reset();
        m_ReplyFilter.Reset();
        m_UnicastChecks.ResetLostCount();
        {
            CVLThreadLock lock(&m_ProbeOptionMapSync);
            if (lock.Lock()) {
                m_ProbeOptionMap.clear();
                if (pProbeOptionMap != nullptr)
                    m_ProbeOptionMap = *pProbeOptionMap;
            }
        }
        if (eProbeConnectType != VLECM_PROBE_CONNECT_TYPE_NETWORK &&
            eProbeConnectType != VLECM_PROBE_CONNECT_TYPE_ALL) {
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECMProbeInstance::StartProbe(): parameter error!, eProbeConnectType=%d",
                             eProbeConnectType);
            throw VLECM_RESULT_PARAMETER_ERROR;
        }
        if (m_pOwnerVLECMInstance == nullptr || m_pCallbackIF == nullptr) {
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECMProbeInstance::StartProbe(): not initialized!,m_pOwnerVLECMInstance=%08X, "
                             "m_pCallbackIF=%08X",
                             PointerText(m_pOwnerVLECMInstance), PointerText(m_pCallbackIF));
            throw VLECM_RESULT_NOT_INITIALIZED;
        }
        CVLECMPropertyMap options;
        {
            CVLThreadLock lock(&m_ProbeOptionMapSync);
            if (lock.Lock())
                options = m_ProbeOptionMap;
        }
        // Only lowered (the tests meet the bound with a few devices so); the
        // manager has refused a value that is no bound, so none means none.
        int nBound = CVLECMReplyFilter::MAX_DEVICES;
        CVLECMReplyFilter::ParseDeviceBound(getOptionString(CVLECMReplyFilter::DEVICE_BOUND_OPTION), nBound);
        m_ReplyFilter.SetDeviceBound(nBound);
        CVLString strRoot = getOptionString("Option.Probe.ModuleInstanceName");
        bool bSetupFailed = false;
        if (getOptionBool("Option.Probe.EnableBindAddress") &&
            !m_pOwnerVLECMInstance->SetupBindAddressInfo(&m_BindAddressInfoMap, TextOf(strRoot), &options, nullptr)) {
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECMProbeInstance::StartProbe(): SetupBindAddressInfo() Failed!");
            bSetupFailed = true;
        }
        if (!bSetupFailed && getOptionBool("Option.Probe.EnableLocalDBCInfo") &&
            !m_pOwnerVLECMInstance->SetupLocalDBCInfo(&m_LDBCAddressInfoMap, TextOf(strRoot), &options, nullptr)) {
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECMProbeInstance::StartProbe(): SetupLocalDBCInfo() Failed!");
            bSetupFailed = true;
        }
        // The computer's networks, read once for the probe; the sockets of
        // the directed broadcasts each receive from one of them.
        SetLocalNetworks(CVLECMLocalNetworks::Read(m_LDBCAddressInfoMap));
        if (!bSetupFailed) {
            CVLString strPacketList = getOptionString("Option.Probe.PacketListName");
            CVLModuleInstance* pInstance = m_pOwnerVLECMInstance->GetApi()->Probe(
                this, m_pNIFInfoList, TextOf(strPacketList), TextOf(strRoot), nullptr);
            CVLThreadLock lock(&m_ProbeInstanceSync);
            if (lock.Lock())
                m_pProbeModuleInstance = pInstance;
        }
        // The simulated devices come also when the real probe could not start.
        m_DummyProbe.StartDummyProbe();
        // A set-up that failed is a failed probe, not a silent one.
        if (bSetupFailed)
            throw VLECM_RESULT_INTERNAL_ERROR;
    } catch (...) {
        RethrowFramework(__LINE__);
    }
}

void CVLECMProbeInstance::StopProbe()
{
    try {
        CVLModuleInstance* pInstance = nullptr;
        {
            CVLThreadLock lock(&m_ProbeInstanceSync);
            if (lock.Lock()) {
                pInstance = m_pProbeModuleInstance;
                m_pProbeModuleInstance = nullptr;
            }
        }
        // The replies held for their turn go with the probe's queued ones.
        m_HandOnQueue.Close();
        if (pInstance != nullptr && m_pOwnerVLECMInstance != nullptr)
            m_pOwnerVLECMInstance->GetApi()->GetModuleController()->DeleteModuleInstance(pInstance);
        m_DummyProbe.StopDummyProbe();
        {
            CVLThreadLock lock(&m_ProbeOptionMapSync);
            if (lock.Lock())
                m_ProbeOptionMap.clear();
        }
        m_BindAddressInfoMap.clear();
        m_LDBCAddressInfoMap.clear();
    } catch (...) {
        RethrowFramework(__LINE__);
    }
}

bool CVLECMProbeInstance::ProbeAgain()
{
    // Under the lock that StopProbe takes before it deletes the instance.
    CVLThreadLock lock(&m_ProbeInstanceSync);
    if (!lock.Lock() || m_pProbeModuleInstance == nullptr)
        return false;
    CVLProbe* pProbe = dynamic_cast<CVLProbe*>(m_pProbeModuleInstance->GetImplementation());
    if (pProbe == nullptr)
        return false;
    pProbe->SendAgain();
    return true;
}

void CVLECMProbeInstance::DropWaitingChains()
{
    CVLThreadLock chainLock(&m_ChainSync);
    if (!chainLock.Lock())
        return;
    auto forget = [this](CVLECMNIFInfo* pNIFInfo) {
        auto it = m_Chains.find(pNIFInfo);
        if (it == m_Chains.end())
            return;
        auto perMAC = m_ChainsPerMAC.find(it->second.strMAC);
        if (perMAC != m_ChainsPerMAC.end() && --perMAC->second <= 0)
            m_ChainsPerMAC.erase(perMAC);
        if (it->second.eState == CHAIN_WAITING_CHECK) {
            auto checks = m_MACChecks.find(it->second.strMAC);
            if (checks != m_MACChecks.end() && checks->second.nChecks > 0)
                --checks->second.nChecks;
        }
        m_Chains.erase(it);
    };
    // The addresses waiting for their MAC's turn first, so that none is
    // queued for a check as the others go.
    for (auto& entry : m_MACChecks) {
        for (CVLECMNIFInfo* pNIFInfo : entry.second.waiting)
            forget(pNIFInfo);
        entry.second.waiting.clear();
    }
    m_nMACWaiting = 0;
    for (TChainQueue* pQueue : {&m_ChecksWaiting, &m_PlacesWaiting}) {
        for (const SWaitingChain& waiting : pQueue->TakeAll())
            forget(waiting.pNIFInfo);
    }
    for (auto it = m_MACChecks.begin(); it != m_MACChecks.end();)
        it = it->second.nChecks == 0 ? m_MACChecks.erase(it) : std::next(it);
}

VLPROBE_SEND_STATUS CVLECMProbeInstance::GetProbeSendStatus()
{
    // Under the lock that StopProbe takes before it deletes the instance.
    CVLThreadLock lock(&m_ProbeInstanceSync);
    if (!lock.Lock() || m_pProbeModuleInstance == nullptr)
        return VLPROBE_SEND_STATUS();
    CVLProbe* pProbe = dynamic_cast<CVLProbe*>(m_pProbeModuleInstance->GetImplementation());
    return pProbe != nullptr ? pProbe->GetSendStatus() : VLPROBE_SEND_STATUS();
}

void CVLECMProbeInstance::StopAllCommands()
{
    // The records stay in the list while their threads are joined: only the
    // dispatch thread and the callers of Remove destroy them, and those hold
    // the owner's dispatch lock, as the callers of this do.
    std::list<CVLECMNIFInfo*> records;
    {
        CVLThreadLock lock(&m_NIFListAccessSync);
        if (!lock.Lock() || m_pNIFInfoList == nullptr)
            return;
        for (CVLECMNIFInfoList* pList : {m_pNIFInfoList, m_pClaimList}) {
            if (pList == nullptr)
                continue;
            pList->Lock();
            for (CVLTargetIterator it = pList->Begin(); !it.IsEnd(); it.Next()) {
                CVLECMNIFInfo* pNIFInfo = dynamic_cast<CVLECMNIFInfo*>(it.Get());
                if (pNIFInfo != nullptr)
                    records.push_back(pNIFInfo);
            }
            pList->Unlock();
        }
    }
    // Every command is asked to stop before any thread is waited for, so
    // the stops run side by side instead of one device after the other.
    for (CVLECMNIFInfo* pNIFInfo : records)
        pNIFInfo->RequestStopCommand();
    for (CVLECMNIFInfo* pNIFInfo : records)
        pNIFInfo->StopCommand();
}

void CVLECMProbeInstance::ClearNIFList()
{
    try {
        CVLThreadLock lock(&m_NIFListAccessSync);
        if (!lock.Lock())
            return;
        for (CVLECMNIFInfoList* pList : {m_pNIFInfoList, m_pClaimList}) {
            if (pList == nullptr)
                continue;
            std::list<CVLTarget*> targets;
            pList->Lock();
            for (CVLTargetIterator it = pList->Begin(); !it.IsEnd(); it.Next())
                targets.push_back(it.Get());
            pList->Unlock();
            // Queued records of a target must not outlive it.
            if (m_pOwnerVLECMInstance != nullptr) {
                CVLECMApi* pApi = static_cast<CVLECMApi*>(m_pOwnerVLECMInstance->GetApi());
                for (CVLTarget* pTarget : targets)
                    pApi->RemoveCallbackInfo(pTarget);
            }
            pList->RemoveAll();
        }
        m_NIFInfoMap.clear();
        m_Records.clear();
        m_MACRecords.clear();
        CVLThreadLock chainLock(&m_ChainSync);
        if (chainLock.Lock()) {
            m_Chains.clear();
            m_ChainsPerMAC.clear();
            m_MACChecks.clear();
            m_nMACWaiting = 0;
            m_nCheckingChains = 0;
            m_nRunningChains = 0;
            m_ChecksWaiting.Clear();
            m_PlacesWaiting.Clear();
        }
    } catch (...) {
        RethrowFramework(__LINE__);
    }
}

bool CVLECMProbeInstance::IsNIFInfoMember(CVLECMNIFInfo* pNIFInfo)
{
    if (pNIFInfo == nullptr)
        return false;
    CVLThreadLock lock(&m_NIFListAccessSync);
    return lock.Lock() && m_pNIFInfoList != nullptr && m_pNIFInfoList->Contains(pNIFInfo);
}

bool CVLECMProbeInstance::isProbeRecord(CVLECMNIFInfo* pNIFInfo)
{
    CVLThreadLock lock(&m_NIFListAccessSync);
    return lock.Lock() && m_Records.count(pNIFInfo) != 0;
}

std::vector<CVLECMNIFInfo*> CVLECMProbeInstance::GetDeviceRecords(CVLECMNIFInfo* pNIFInfo)
{
    std::vector<CVLECMNIFInfo*> records;
    CVLThreadLock lock(&m_NIFListAccessSync);
    if (!lock.Lock() || pNIFInfo == nullptr || m_pNIFInfoList == nullptr || !m_pNIFInfoList->Contains(pNIFInfo))
        return records;
    records.push_back(pNIFInfo);
    auto record = m_Records.find(pNIFInfo);
    auto mac = record != m_Records.end() ? m_MACRecords.find(record->second.strMAC) : m_MACRecords.end();
    if (mac != m_MACRecords.end()) {
        for (CVLECMNIFInfo* pOther : mac->second.records) {
            if (pOther != pNIFInfo)
                records.push_back(pOther);
        }
    }
    return records;
}

void CVLECMProbeInstance::DestroyNIFInfo(CVLECMNIFInfo* pNIFInfo)
{
    try {
        if (pNIFInfo == nullptr)
            return;
        CVLThreadLock lock(&m_NIFListAccessSync);
        if (!lock.Lock() || m_pNIFInfoList == nullptr)
            return;
        CVLECMNIFInfoList* pOwner = m_pNIFInfoList->Contains(pNIFInfo)                            ? m_pNIFInfoList
                                    : m_pClaimList != nullptr && m_pClaimList->Contains(pNIFInfo) ? m_pClaimList
                                                                                                  : nullptr;
        if (pOwner == nullptr)
            return;
        auto record = m_Records.find(pNIFInfo);
        CVLString strKey = record != m_Records.end() ? record->second.strMAC
                                                     : CVLECMNIFInfo::NormalizeMACAddress(pNIFInfo->GetMACAddress());
        auto listed = m_NIFInfoMap.find(strKey.GetLength() > 0 ? strKey : pNIFInfo->GetMACAddress());
        if (listed != m_NIFInfoMap.end() && listed->second == pNIFInfo)
            m_NIFInfoMap.erase(listed);
        if (record != m_Records.end()) {
            auto mac = m_MACRecords.find(strKey);
            if (mac != m_MACRecords.end()) {
                std::vector<CVLECMNIFInfo*>& records = mac->second.records;
                records.erase(std::remove(records.begin(), records.end(), pNIFInfo), records.end());
                if (mac->second.pLead == pNIFInfo)
                    mac->second.pLead = nullptr;
                if (records.empty())
                    m_MACRecords.erase(mac);
            }
            m_Records.erase(record);
        }
        pNIFInfo->StopCommand();
        // A reply of its device may wait in it (merged into it by a merge
        // condition); the device is heard again.
        m_HandOnQueue.Forget(pNIFInfo);
        pOwner->RemoveAt(pNIFInfo, true);
        m_pNIFInfoList->HandOn();
        lock.Unlock();
        endChain(pNIFInfo);
    } catch (...) {
        RethrowFramework(__LINE__);
    }
}

CVLECMNIFInfo* CVLECMProbeInstance::FindNIFInfo(VL_CONST_STR szMACAddress)
{
    CVLThreadLock lock(&m_NIFListAccessSync);
    if (!lock.Lock())
        return nullptr;
    CVLString strMACAddress(szMACAddress, VL_CHARSET_UTF8);
    CVLString strKey = CVLECMNIFInfo::NormalizeMACAddress(strMACAddress);
    // A simulated device may carry any text as its address.
    auto it = m_NIFInfoMap.find(strKey.GetLength() > 0 ? strKey : strMACAddress);
    return it == m_NIFInfoMap.end() ? nullptr : it->second;
}

CVLECMNIFInfoList* CVLECMProbeInstance::GetNIFInfoList()
{
    CVLThreadLock lock(&m_NIFListAccessSync);
    lock.Lock();
    return m_pNIFInfoList;
}

CVLString CVLECMProbeInstance::getOptionString(VL_CONST_STR szKey)
{
    CVLECMPropertyMap options;
    {
        CVLThreadLock lock(&m_ProbeOptionMapSync);
        if (lock.Lock())
            options = m_ProbeOptionMap;
    }
    if (m_pOwnerVLECMInstance != nullptr)
        return m_pOwnerVLECMInstance->getOptionString(szKey, &options, nullptr);
    auto it = options.find(CVLString(szKey, VL_CHARSET_UTF8));
    return it != options.end() ? it->second : CVLECMDefaultOptions::String(szKey);
}

bool CVLECMProbeInstance::getOptionBool(VL_CONST_STR szKey)
{
    return getOptionString(szKey).ToBool(false);
}

void CVLECMProbeInstance::OnDummyProbe(CVLECMDummyProbe* pDummyProbe, CVLECMNIFInfo& DummyNIFInfo,
                                       VLECM_CONNECT_TYPE eConnectType)
{
    (void)pDummyProbe;
    if (m_pOwnerVLECMInstance == nullptr) {
        CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0, "CVLECMProbeInstance::OnDummyProbe(): internal error!");
        throw VLECM_RESULT_INTERNAL_ERROR;
    }
    CVLECMNIFInfo* pReport = nullptr;
    // Added under the list lock; the report is posted after it is released.
    {
        CVLThreadLock lock(&m_NIFListAccessSync);
        if (!lock.Lock() || m_pNIFInfoList == nullptr)
            return;
        // A MAC-shaped key in its normal form (one device whatever the
        // letter case); any other text as written.
        CVLString strKey = CVLECMNIFInfo::NormalizeMACAddress(DummyNIFInfo.GetMACAddress());
        if (strKey.GetLength() == 0)
            strKey = DummyNIFInfo.GetMACAddress();
        if (strKey.GetLength() == 0 || m_NIFInfoMap.find(strKey) != m_NIFInfoMap.end())
            return;
        CVLCMApi* pApi = m_pOwnerVLECMInstance->GetApi();
        CVLTarget* pTarget = m_pOwnerVLECMInstance->MakeNIFInfo();
        CVLECMNIFInfo* pNIFInfo = dynamic_cast<CVLECMNIFInfo*>(pTarget);
        if (pNIFInfo == nullptr) {
            m_pOwnerVLECMInstance->DestroyNIFInfo(pTarget);
            throw VLECM_RESULT_INTERNAL_ERROR;
        }
        pNIFInfo->SetApi(pApi);
        pNIFInfo->SetOwnerVLECMInstance(m_pOwnerVLECMInstance);
        pNIFInfo->SetCheckRunner(&m_UnicastChecks);
        pNIFInfo->SetMACAddress(TextOf(strKey));
        pNIFInfo->MargeNIFInfo(DummyNIFInfo);
        m_pNIFInfoList->Add(pNIFInfo);
        m_NIFInfoMap[strKey] = pNIFInfo;
        pNIFInfo->DebugHookProperties();
        pReport = pNIFInfo;
    }
    m_pOwnerVLECMInstance->PostCallbackUser(pReport, dummyProbeCallback, eConnectType, this);
}

void CVLECMProbeInstance::dummyProbeCallback(long lConnectType, void* pProbeInstance, CVLCallbackInfo* pCallbackInfo)
{
    CVLECMProbeInstance* pThis = static_cast<CVLECMProbeInstance*>(pProbeInstance);
    if (pThis == nullptr || pCallbackInfo == nullptr || pThis->m_pCallbackIF == nullptr)
        return;
    CVLECMNIFInfo* pNIFInfo = dynamic_cast<CVLECMNIFInfo*>(pCallbackInfo->GetTarget());
    if (pNIFInfo == nullptr)
        return;
    VLECM_CONNECT_TYPE eConnectType = static_cast<VLECM_CONNECT_TYPE>(lConnectType);
    pThis->m_pCallbackIF->OnProbe(pNIFInfo, eConnectType, pNIFInfo->IsUnicast(eConnectType), false);
}

void CVLECMProbeInstance::releaseReplyTarget(CVLTarget* pTarget)
{
    if (pTarget == nullptr || m_pOwnerVLECMInstance == nullptr)
        return;
    CVLThreadLock lock(&m_NIFListAccessSync);
    if (!lock.Lock() || m_pNIFInfoList == nullptr)
        return;
    CVLTargetList* pOwner = pTarget->GetOwnerList();
    if (pOwner == nullptr || (pOwner != m_pNIFInfoList && pOwner != m_pClaimList))
        return;
    CVLECMNIFInfo* pNIFInfo = dynamic_cast<CVLECMNIFInfo*>(pTarget);
    if (pNIFInfo != nullptr && m_Records.count(pNIFInfo) != 0)
        return;
    auto listed = m_NIFInfoMap.find(MACAddressOf(pTarget));
    if (listed != m_NIFInfoMap.end() && static_cast<CVLTarget*>(listed->second) == pTarget)
        return;
    static_cast<CVLECMApi*>(m_pOwnerVLECMInstance->GetApi())->RemoveCallbackInfo(pTarget);
    pOwner->RemoveAt(pTarget, true);
}

void CVLECMProbeInstance::OnProbe(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget,
                                  CVLCallbackInfo* pInfo)
{
    (void)pApi, (void)pInstance;
    if (pTarget == nullptr || m_pOwnerVLECMInstance == nullptr)
        return;
    CVLString strKey = MACAddressOf(pTarget);
    CVLString strFrom = AddressOf(pTarget);
    // A reply of the MAC from another of its addresses is a claim: a record
    // of its own, checked apart, never merged into the device's.
    CVLString strRecordKey = strKey.GetLength() > 0 ? m_ReplyFilter.GetRecordKey(strKey, strFrom) : strKey;
    const bool bClaim = strRecordKey != strKey;
    m_HandOnQueue.Delivered(strRecordKey);
    {
        // Its place in the dispatch queue goes to the next reply in turn.
        CVLThreadLock lock(&m_NIFListAccessSync);
        if (lock.Lock() && m_pNIFInfoList != nullptr)
            m_pNIFInfoList->HandOn();
    }
    if (strKey.GetLength() == 0) {
        // An error reply to a broadcast expands to an empty target.
        CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 2,
                         "CVLECMProbeInstance::OnProbe(): reply without a MAC address dropped");
        releaseReplyTarget(pTarget);
        return;
    }
    CVLECMNIFInfo* pNIFInfo = nullptr;
    bool bNew = false;
    bool bListed = false;
    {
        CVLThreadLock lock(&m_NIFListAccessSync);
        if (!lock.Lock() || m_pNIFInfoList == nullptr || m_pClaimList == nullptr)
            return;
        // A reply goes to the record of its address, wherever that stands
        // now; a simulated device of the MAC takes the replies of its first.
        pNIFInfo = findRecord(strKey, strFrom);
        auto known = m_NIFInfoMap.find(strKey);
        if (pNIFInfo == nullptr && !bClaim && known != m_NIFInfoMap.end() && m_Records.count(known->second) == 0)
            pNIFInfo = known->second;
        if (pNIFInfo != nullptr) {
            if (static_cast<CVLTarget*>(pNIFInfo) != pTarget) {
                CVLTargetLock targetLock(pNIFInfo);
                pNIFInfo->Marge(pTarget);
            }
        } else {
            // The MAC's record in the list is its first address's until
            // an address passes its check; any other is a claim.
            const bool bFirstListed = !bClaim && known == m_NIFInfoMap.end();
            CVLECMNIFInfoList* pList = bFirstListed ? m_pNIFInfoList : m_pClaimList;
            CVLECMNIFInfo* pReply = dynamic_cast<CVLECMNIFInfo*>(pTarget);
            CVLTargetList* pOwner = pTarget->GetOwnerList();
            if (pReply != nullptr && (pOwner == m_pNIFInfoList || pOwner == m_pClaimList)) {
                pNIFInfo = pReply;
                if (pOwner != pList) {
                    static_cast<CVLECMNIFInfoList*>(pOwner)->RemoveAt(pNIFInfo, false);
                    pList->Add(pNIFInfo);
                }
            } else {
                CVLCMApi* pECMApi = m_pOwnerVLECMInstance->GetApi();
                CVLTarget* pNew = m_pOwnerVLECMInstance->MakeNIFInfo();
                pNIFInfo = dynamic_cast<CVLECMNIFInfo*>(pNew);
                if (pNIFInfo == nullptr) {
                    m_pOwnerVLECMInstance->DestroyNIFInfo(pNew);
                    return;
                }
                pNIFInfo->SetApi(pECMApi);
                pNIFInfo->CopyFrom(pTarget);
                pList->Add(pNIFInfo);
            }
            pNIFInfo->SetOwnerVLECMInstance(m_pOwnerVLECMInstance);
            pNIFInfo->SetCheckRunner(&m_UnicastChecks);
            pNIFInfo->SetMACAddress(TextOf(strKey));
            pNIFInfo->SetConnect(VLECM_CONNECT_TYPE_NETWORK, true);
            SRecord& record = m_Records[pNIFInfo];
            record.strMAC = strKey;
            record.strAddress = strFrom;
            record.nOrder = std::max(0, m_ReplyFilter.GetAddressOrder(strKey, strFrom));
            // The MAC's records in the order their addresses were heard,
            // which a reply handed on in its network's turn may break.
            std::vector<CVLECMNIFInfo*>& records = m_MACRecords[strKey].records;
            auto later = std::find_if(records.begin(), records.end(), [this, &record](CVLECMNIFInfo* pOther) {
                return m_Records[pOther].nOrder > record.nOrder;
            });
            records.insert(later, pNIFInfo);
            if (bFirstListed)
                m_NIFInfoMap[strKey] = pNIFInfo;
            bNew = true;
        }
        auto listed = m_NIFInfoMap.find(strKey);
        bListed = listed != m_NIFInfoMap.end() && listed->second == pNIFInfo;
        // The directed broadcast through which the device answered. A device
        // answers the limited broadcast too, and whichever of its replies
        // came first is the one delivered: a device on a network probed by
        // its directed broadcast is given that address also when the reply
        // delivered came in through the limited broadcast.
        if (!m_LDBCAddressInfoMap.empty()) {
            // The local networks know the receivers: the same map, given at
            // the probe's start.
            std::shared_ptr<const CVLECMLocalNetworks> pNetworks = localNetworks();
            CVLString strAddress(VL_CHARSET_UTF8);
            if (pInfo != nullptr)
                strAddress = pNetworks->GetReceiverBroadcast(pInfo->GetInstanceName());
            if (strAddress.GetLength() == 0) {
                CVLString strBroadcast = pNetworks->GetDirectedBroadcast(AddressOf(pNIFInfo));
                for (const auto& entry : m_LDBCAddressInfoMap) {
                    if (strBroadcast.GetLength() > 0 && entry.second == strBroadcast) {
                        strAddress = strBroadcast;
                        break;
                    }
                }
            }
            if (strAddress.GetLength() > 0)
                pNIFInfo->SetPropertyString(TextOf(getOptionString("Config.NIFPropTree.LDBCAddress")),
                                            TextOf(strAddress));
        }
        pNIFInfo->DebugHookProperties();
    }
    // Replies of a known device are merged; the list keeps one entry each.
    releaseReplyTarget(pTarget);
    if (getOptionBool("Option.Probe.OmitGetMoreInfo")) {
        // A claim is no device of its own.
        if (m_pCallbackIF != nullptr && bListed)
            m_pCallbackIF->OnProbe(pNIFInfo, VLECM_CONNECT_TYPE_NETWORK, false, false);
        return;
    }
    if (bNew)
        beginChain(pNIFInfo);
}

CVLECMNIFInfo* CVLECMProbeInstance::findRecord(const CVLString& strMAC, const CVLString& strAddress)
{
    auto mac = m_MACRecords.find(strMAC);
    if (mac == m_MACRecords.end())
        return nullptr;
    for (CVLECMNIFInfo* pNIFInfo : mac->second.records) {
        if (m_Records[pNIFInfo].strAddress == strAddress)
            return pNIFInfo;
    }
    return nullptr;
}

void CVLECMProbeInstance::makeListed(const CVLString& strMAC, CVLECMNIFInfo* pNIFInfo)
{
    auto it = m_NIFInfoMap.find(strMAC);
    CVLECMNIFInfo* pListed = it != m_NIFInfoMap.end() ? it->second : nullptr;
    if (pListed == pNIFInfo || m_pNIFInfoList == nullptr || m_pClaimList == nullptr)
        return;
    if (pListed != nullptr && m_Records.count(pListed) != 0 && m_pNIFInfoList->Contains(pListed)) {
        m_pNIFInfoList->RemoveAt(pListed, false);
        m_pClaimList->Add(pListed);
    }
    if (m_pClaimList->Contains(pNIFInfo)) {
        m_pClaimList->RemoveAt(pNIFInfo, false);
        m_pNIFInfoList->Add(pNIFInfo);
    }
    m_NIFInfoMap[strMAC] = pNIFInfo;
}

SVLECMAddress CVLECMProbeInstance::describe(CVLECMNIFInfo* pNIFInfo)
{
    SVLECMAddress address;
    auto record = m_Records.find(pNIFInfo);
    if (record == m_Records.end())
        return address;
    address.strAddress = record->second.strAddress;
    address.pNIFInfo = pNIFInfo;
    auto listed = m_NIFInfoMap.find(record->second.strMAC);
    address.bListed = listed != m_NIFInfoMap.end() && listed->second == pNIFInfo;
    if (record->second.bCheckOver) {
        address.eState = record->second.bPassed ? VLECM_ADDRESS_PASSED : VLECM_ADDRESS_FAILED;
        return address;
    }
    // Taken inside the list lock: the chains never take that one.
    CVLThreadLock chainLock(&m_ChainSync);
    chainLock.Lock();
    auto chain = m_Chains.find(pNIFInfo);
    address.eState = chain != m_Chains.end() && chain->second.eState == CHAIN_CHECKING ? VLECM_ADDRESS_CHECKING
                                                                                       : VLECM_ADDRESS_WAITING;
    return address;
}

bool CVLECMProbeInstance::VisitAddresses(const CVLString& strMAC, const std::function<void(const SVLECMAddress&)>& fn)
{
    // The filter's lock is not taken under the list lock.
    bool bMore = false;
    CVLString strFirst = m_ReplyFilter.GetFirstAddress(strMAC);
    std::vector<CVLString> addresses = m_ReplyFilter.GetOtherAddresses(strMAC);
    std::vector<CVLECMReplyFilter::SUnchecked> unchecked = m_ReplyFilter.GetUncheckedAddresses(strMAC, bMore);
    if (strFirst.GetLength() > 0)
        addresses.insert(addresses.begin(), strFirst);
    CVLThreadLock lock(&m_NIFListAccessSync);
    if (!lock.Lock())
        return bMore;
    for (const CVLString& strAddress : addresses) {
        CVLECMNIFInfo* pNIFInfo = findRecord(strMAC, strAddress);
        SVLECMAddress address = pNIFInfo != nullptr ? describe(pNIFInfo) : SVLECMAddress();
        address.strAddress = strAddress;
        fn(address);
    }
    for (const CVLECMReplyFilter::SUnchecked& refused : unchecked) {
        SVLECMAddress address;
        address.strAddress = refused.strAddress;
        address.eState = VLECM_ADDRESS_NOT_CHECKED;
        address.eBound = refused.eBound;
        address.nBound = refused.nBound;
        address.strNetwork = refused.strNetwork;
        fn(address);
    }
    return bMore;
}

void CVLECMProbeInstance::VisitAllAddresses(const std::function<void(const CVLString&, const SVLECMAddress&)>& fn)
{
    std::vector<CVLString> macs;
    {
        CVLThreadLock lock(&m_NIFListAccessSync);
        if (!lock.Lock())
            return;
        for (const auto& entry : m_MACRecords)
            macs.push_back(entry.first);
    }
    for (const CVLString& strMAC : macs)
        VisitAddresses(strMAC, [&](const SVLECMAddress& address) { fn(strMAC, address); });
}

bool CVLECMProbeInstance::startChainCommand(CVLECMNIFInfo* pNIFInfo, VLECM_COMMAND eCommand,
                                            VLECM_CONNECT_TYPE eConnectType)
{
    CVLECMPropertyMap options;
    {
        CVLThreadLock lock(&m_ProbeOptionMapSync);
        if (lock.Lock())
            options = m_ProbeOptionMap;
    }
    // Marked before it starts: its end may be posted at once.
    setChainCommandRunning(pNIFInfo, true);
    VLECM_RESULT eResult = pNIFInfo->StartChainCommand(eCommand, eConnectType, &options, this);
    if (eResult != VLECM_RESULT_SUCCESS) {
        setChainCommandRunning(pNIFInfo, false);
        CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0, "CVLECMProbeInstance: command %d not started, eResult=%d",
                         eCommand, eResult);
        return false;
    }
    return true;
}

void CVLECMProbeInstance::setChainCommandRunning(CVLECMNIFInfo* pNIFInfo, bool bRunning)
{
    CVLThreadLock lock(&m_ChainSync);
    if (!lock.Lock())
        return;
    auto it = m_Chains.find(pNIFInfo);
    if (it != m_Chains.end())
        it->second.bCommandRunning = bRunning;
}

void CVLECMProbeInstance::OnCheckUnicast(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult,
                                         bool bUnicast)
{
    if (pNIFInfo == nullptr)
        return;
    CChainStep step(this, pNIFInfo);
    const bool bPassed = eResult == VLECM_RESULT_SUCCESS && bUnicast;
    bool bLead = false;
    CVLString strMAC(VL_CHARSET_UTF8);
    {
        CVLThreadLock lock(&m_NIFListAccessSync);
        auto record = lock.Lock() ? m_Records.find(pNIFInfo) : m_Records.end();
        // The client removed it meanwhile.
        if (record == m_Records.end())
            return;
        record->second.bCheckOver = true;
        record->second.bCheckSucceeded = eResult == VLECM_RESULT_SUCCESS;
        record->second.bPassed = bPassed;
        strMAC = record->second.strMAC;
        // The first address of the MAC to pass is the device's record: it
        // alone goes on to the further commands and is reported. Another
        // that passes later is only said to have passed.
        SMACRecords& mac = m_MACRecords[strMAC];
        if (bPassed && mac.pLead == nullptr) {
            mac.pLead = pNIFInfo;
            makeListed(strMAC, pNIFInfo);
            bLead = true;
        }
    }
    // A failure ends the chain without a report. Success without unicast:
    // the check timed out or failed and filtering is off. The device is
    // kept as one that does not answer unicast, and reported so once each
    // address of its MAC has been judged: the further commands go by
    // unicast and could never reach it.
    if (!bPassed) {
        reportWithoutUnicast(strMAC, eConnectType);
        return;
    }
    if (!bLead)
        return;
    if (getOptionBool("Option.Probe.SkipGetSupportInformation"))
        continueChain(pNIFInfo, VLECM_COMMAND_GET_LIST_INFO, eConnectType);
    else
        continueChain(pNIFInfo, VLECM_COMMAND_GET_SUPPORT_INFORMATION, eConnectType);
}

void CVLECMProbeInstance::reportWithoutUnicast(const CVLString& strMAC, VLECM_CONNECT_TYPE eConnectType)
{
    CVLECMNIFInfo* pReport = nullptr;
    {
        CVLThreadLock lock(&m_NIFListAccessSync);
        if (!lock.Lock())
            return;
        auto mac = m_MACRecords.find(strMAC);
        auto listed = m_NIFInfoMap.find(strMAC);
        auto listedRecord = listed != m_NIFInfoMap.end() ? m_Records.find(listed->second) : m_Records.end();
        if (mac == m_MACRecords.end() || listedRecord == m_Records.end() || mac->second.pLead != nullptr ||
            mac->second.bReportedWithoutUnicast || !listedRecord->second.bCheckSucceeded)
            return;
        for (CVLECMNIFInfo* pRecord : mac->second.records) {
            auto record = m_Records.find(pRecord);
            if (record == m_Records.end() || !record->second.bCheckOver)
                return;
        }
        // An address whose reply waits may yet pass.
        if (m_HandOnQueue.IsWaiting(strMAC))
            return;
        mac->second.bReportedWithoutUnicast = true;
        pReport = listed->second;
    }
    if (m_pCallbackIF != nullptr)
        m_pCallbackIF->OnProbe(pReport, eConnectType, false, false);
}

void CVLECMProbeInstance::OnGetSupportInformation(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType,
                                                  VLECM_RESULT eResult)
{
    if (pNIFInfo == nullptr)
        return;
    CChainStep step(this, pNIFInfo);
    if (eResult != VLECM_RESULT_SUCCESS)
        return;
    startChainCommand(pNIFInfo, VLECM_COMMAND_GET_LIST_INFO, eConnectType);
}

void CVLECMProbeInstance::OnGetListInfo(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
{
    if (pNIFInfo == nullptr)
        return;
    CChainStep step(this, pNIFInfo);
    if (eResult != VLECM_RESULT_SUCCESS || m_pCallbackIF == nullptr)
        return;
    m_pCallbackIF->OnProbe(pNIFInfo, eConnectType, pNIFInfo->IsUnicast(eConnectType), false);
}

void CVLECMProbeInstance::beginChain(CVLECMNIFInfo* pNIFInfo)
{
    // A claim's record holds its own address.
    CVLString strNetwork = localNetworks()->GetNetwork(AddressOf(pNIFInfo));
    int nOrder = 0;
    {
        CVLThreadLock lock(&m_NIFListAccessSync);
        auto record = lock.Lock() ? m_Records.find(pNIFInfo) : m_Records.end();
        if (record != m_Records.end())
            nOrder = record->second.nOrder;
    }
    {
        CVLThreadLock lock(&m_ChainSync);
        if (!lock.Lock() || m_Chains.count(pNIFInfo) != 0)
            return;
        SChain& chain = m_Chains[pNIFInfo];
        chain.strNetwork = strNetwork;
        chain.strMAC = pNIFInfo->GetMACAddress();
        chain.nOrder = nOrder;
        ++m_ChainsPerMAC[chain.strMAC];
        // Beyond its MAC's checks at once, it waits for one of them to end,
        // in the order its MAC's addresses were heard.
        SMACChecks& checks = m_MACChecks[chain.strMAC];
        if (checks.nChecks >= MAX_CHECKS_PER_MAC) {
            chain.eState = CHAIN_WAITING_MAC;
            auto later = std::find_if(checks.waiting.begin(), checks.waiting.end(), [this, nOrder](CVLECMNIFInfo* p) {
                auto other = m_Chains.find(p);
                return other != m_Chains.end() && other->second.nOrder > nOrder;
            });
            checks.waiting.insert(later, pNIFInfo);
            ++m_nMACWaiting;
            return;
        }
        ++checks.nChecks;
        if (m_nCheckingChains >= MAX_CHECKING_CHAINS) {
            SWaitingChain waiting;
            waiting.pNIFInfo = pNIFInfo;
            m_ChecksWaiting.Push(strNetwork, waiting);
            return;
        }
        chain.eState = CHAIN_CHECKING;
        ++m_nCheckingChains;
    }
    if (!startChainCommand(pNIFInfo, VLECM_COMMAND_CHECK_UNICAST, VLECM_CONNECT_TYPE_NETWORK))
        endChain(pNIFInfo);
}

void CVLECMProbeInstance::continueChain(CVLECMNIFInfo* pNIFInfo, VLECM_COMMAND eCommand,
                                        VLECM_CONNECT_TYPE eConnectType)
{
    bool bStart = false;
    {
        CVLThreadLock lock(&m_ChainSync);
        if (!lock.Lock())
            return;
        auto it = m_Chains.find(pNIFInfo);
        if (it == m_Chains.end())
            return;
        SChain& chain = it->second;
        if (chain.eState == CHAIN_CHECKING) {
            --m_nCheckingChains;
            leaveMACCheck(chain);
        }
        if (chain.eState == CHAIN_RUNNING) {
            bStart = true;
        } else if (m_nRunningChains < MAX_RUNNING_CHAINS) {
            chain.eState = CHAIN_RUNNING;
            ++m_nRunningChains;
            bStart = true;
        } else {
            chain.eState = CHAIN_WAITING_PLACE;
            SWaitingChain waiting;
            waiting.pNIFInfo = pNIFInfo;
            waiting.eCommand = eCommand;
            waiting.eConnectType = eConnectType;
            m_PlacesWaiting.Push(chain.strNetwork, waiting);
        }
    }
    // A command that does not start ends the chain after its callback.
    if (bStart)
        startChainCommand(pNIFInfo, eCommand, eConnectType);
    // The check it held is free.
    startWaitingChains();
}

void CVLECMProbeInstance::leaveMACCheck(SChain& chain)
{
    auto it = m_MACChecks.find(chain.strMAC);
    if (it == m_MACChecks.end())
        return;
    SMACChecks& checks = it->second;
    if (checks.nChecks > 0)
        --checks.nChecks;
    // The next address heard takes the check: queued, as any check, for
    // one of the probe's.
    while (checks.nChecks < MAX_CHECKS_PER_MAC && !checks.waiting.empty()) {
        CVLECMNIFInfo* pNext = checks.waiting.front();
        checks.waiting.erase(checks.waiting.begin());
        --m_nMACWaiting;
        auto next = m_Chains.find(pNext);
        if (next == m_Chains.end())
            continue;
        next->second.eState = CHAIN_WAITING_CHECK;
        ++checks.nChecks;
        SWaitingChain waiting;
        waiting.pNIFInfo = pNext;
        m_ChecksWaiting.Push(next->second.strNetwork, waiting);
    }
    if (checks.nChecks == 0 && checks.waiting.empty())
        m_MACChecks.erase(it);
}

void CVLECMProbeInstance::dropChain(CVLECMNIFInfo* pNIFInfo)
{
    auto it = m_Chains.find(pNIFInfo);
    if (it == m_Chains.end())
        return;
    auto isChainOf = [pNIFInfo](const SWaitingChain& waiting) { return waiting.pNIFInfo == pNIFInfo; };
    switch (it->second.eState) {
    case CHAIN_WAITING_MAC: {
        auto checks = m_MACChecks.find(it->second.strMAC);
        if (checks != m_MACChecks.end()) {
            std::vector<CVLECMNIFInfo*>& waiting = checks->second.waiting;
            auto position = std::find(waiting.begin(), waiting.end(), pNIFInfo);
            if (position != waiting.end()) {
                waiting.erase(position);
                --m_nMACWaiting;
            }
            if (checks->second.nChecks == 0 && waiting.empty())
                m_MACChecks.erase(checks);
        }
        break;
    }
    case CHAIN_WAITING_CHECK:
        m_ChecksWaiting.Remove(it->second.strNetwork, isChainOf);
        leaveMACCheck(it->second);
        break;
    case CHAIN_CHECKING:
        --m_nCheckingChains;
        leaveMACCheck(it->second);
        break;
    case CHAIN_WAITING_PLACE:
        m_PlacesWaiting.Remove(it->second.strNetwork, isChainOf);
        break;
    case CHAIN_RUNNING:
        --m_nRunningChains;
        break;
    }
    auto perMAC = m_ChainsPerMAC.find(it->second.strMAC);
    if (perMAC != m_ChainsPerMAC.end() && --perMAC->second <= 0)
        m_ChainsPerMAC.erase(perMAC);
    m_Chains.erase(it);
}

void CVLECMProbeInstance::startWaitingChains()
{
    for (;;) {
        SWaitingChain next;
        {
            CVLThreadLock lock(&m_ChainSync);
            if (!lock.Lock())
                return;
            // A device that answered goes on before a new one is asked.
            if (m_nRunningChains < MAX_RUNNING_CHAINS && m_PlacesWaiting.Take(next)) {
                m_Chains[next.pNIFInfo].eState = CHAIN_RUNNING;
                ++m_nRunningChains;
            } else if (m_nCheckingChains < MAX_CHECKING_CHAINS && m_ChecksWaiting.Take(next)) {
                m_Chains[next.pNIFInfo].eState = CHAIN_CHECKING;
                ++m_nCheckingChains;
            } else {
                return;
            }
        }
        // A waiting device may have been removed meanwhile; then what it
        // took goes on to the next one.
        if (!isProbeRecord(next.pNIFInfo) || !startChainCommand(next.pNIFInfo, next.eCommand, next.eConnectType)) {
            CVLThreadLock lock(&m_ChainSync);
            if (lock.Lock())
                dropChain(next.pNIFInfo);
        }
    }
}

void CVLECMProbeInstance::endChain(CVLECMNIFInfo* pNIFInfo)
{
    if (pNIFInfo == nullptr)
        return;
    {
        // A check that never ran (it could not start) leaves its address
        // judged, not waiting for ever.
        CVLThreadLock lock(&m_NIFListAccessSync);
        auto record = lock.Lock() ? m_Records.find(pNIFInfo) : m_Records.end();
        if (record != m_Records.end())
            record->second.bCheckOver = true;
    }
    {
        CVLThreadLock lock(&m_ChainSync);
        if (!lock.Lock())
            return;
        dropChain(pNIFInfo);
    }
    startWaitingChains();
}

void CVLECMProbeInstance::beforeChainStep(CVLECMNIFInfo* pNIFInfo)
{
    setChainCommandRunning(pNIFInfo, false);
}

void CVLECMProbeInstance::afterChainStep(CVLECMNIFInfo* pNIFInfo)
{
    // The client may have removed the device in its OnProbe: only a record
    // of the probe's goes on. Whether the device runs a command does not
    // tell: the client may have started one from its OnProbe, which would
    // hold the place for ever.
    if (isProbeRecord(pNIFInfo)) {
        CVLThreadLock lock(&m_ChainSync);
        auto it = lock.Lock() ? m_Chains.find(pNIFInfo) : m_Chains.end();
        if (it != m_Chains.end() && (it->second.bCommandRunning || it->second.eState == CHAIN_WAITING_PLACE))
            return;
    }
    endChain(pNIFInfo);
}

void CVLECMProbeInstance::GetChainCounts(int& nRunning, int& nWaiting)
{
    CVLThreadLock lock(&m_ChainSync);
    lock.Lock();
    nRunning = m_nRunningChains;
    nWaiting = m_ChecksWaiting.GetCount() + m_PlacesWaiting.GetCount() + m_nMACWaiting;
}

int CVLECMProbeInstance::GetUnfinishedChainCount(int& nChecking)
{
    CVLThreadLock lock(&m_ChainSync);
    lock.Lock();
    nChecking = m_nCheckingChains + m_ChecksWaiting.GetCount() + m_nMACWaiting;
    return static_cast<int>(m_Chains.size());
}

int CVLECMProbeInstance::GetUnfinishedChainCount(const CVLString& strMAC)
{
    CVLThreadLock lock(&m_ChainSync);
    lock.Lock();
    auto it = m_ChainsPerMAC.find(strMAC);
    return it != m_ChainsPerMAC.end() ? it->second : 0;
}

int CVLECMProbeInstance::GetRecordCount()
{
    CVLThreadLock lock(&m_NIFListAccessSync);
    lock.Lock();
    return static_cast<int>(m_Records.size());
}

int CVLECMProbeInstance::GetDeviceCount()
{
    CVLThreadLock lock(&m_NIFListAccessSync);
    lock.Lock();
    return static_cast<int>(m_NIFInfoMap.size());
}

int CVLECMProbeInstance::GetCheckingChainCount()
{
    CVLThreadLock lock(&m_ChainSync);
    lock.Lock();
    return m_nCheckingChains;
}

void CVLECMProbeInstance::SetLocalNetworks(std::shared_ptr<const CVLECMLocalNetworks> pNetworks)
{
    if (pNetworks == nullptr)
        pNetworks = std::make_shared<const CVLECMLocalNetworks>();
    m_ReplyFilter.SetLocalNetworks(pNetworks);
    CVLThreadLock lock(&m_LocalNetworksSync);
    if (lock.Lock())
        m_pLocalNetworks = pNetworks;
}

std::shared_ptr<const CVLECMLocalNetworks> CVLECMProbeInstance::localNetworks()
{
    CVLThreadLock lock(&m_LocalNetworksSync);
    lock.Lock();
    return m_pLocalNetworks;
}

CVLString CVLECMProbeInstance::GetConflictAddress(VL_CONST_STR szMACAddress)
{
    return m_ReplyFilter.GetConflictAddress(CVLString(szMACAddress, VL_CHARSET_UTF8));
}

CVLString CVLECMProbeInstance::GetFirstAddress(VL_CONST_STR szMACAddress)
{
    return m_ReplyFilter.GetFirstAddress(CVLString(szMACAddress, VL_CHARSET_UTF8));
}
