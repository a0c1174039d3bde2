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
#include "ecm/core/VLECMDefs.h"
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

// The model name a target's reply carried.
CVLString ModelOf(CVLTarget* pTarget)
{
    CVLTargetLock lock(pTarget);
    CVLProperty* pProperty = pTarget->GetProperties()->GetProperty(VLECM_MODEL_NAME_PATH, false);
    return pProperty != nullptr ? pProperty->ToString("") : CVLString(VL_CHARSET_UTF8);
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
      m_pProbeModuleInstance(nullptr), m_HandOnQueue(&m_MACTable), m_ReplyFilter(m_HandOnQueue, m_MACTable),
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
        m_MACTable.Reset();
        m_UnicastChecks.ResetLostCount();
        {
            CVLThreadLock lock(&m_ProbeOptionMapSync);
            if (lock.Lock()) {
                m_ProbeOptionMap.clear();
                if (pProbeOptionMap != nullptr)
                    m_ProbeOptionMap = *pProbeOptionMap;
                m_pChainOptions = std::make_shared<const CVLECMPropertyMap>(m_ProbeOptionMap);
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
            if (lock.Lock()) {
                m_ProbeOptionMap.clear();
                m_pChainOptions.reset();
            }
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

void CVLECMProbeInstance::StopChains()
{
    CVLThreadLock startLock(&m_ChainStartSync);
    startLock.Lock();
    m_MACTable.Stop();
}

void CVLECMProbeInstance::DropWaitingChains()
{
    std::vector<CVLECMNIFInfo*> dropped;
    {
        CVLThreadLock chainLock(&m_ChainSync);
        if (!chainLock.Lock())
            return;
        for (TChainQueue* pQueue : {&m_ChecksWaiting, &m_PlacesWaiting}) {
            for (const SWaitingChain& waiting : pQueue->TakeAll()) {
                auto it = m_Chains.find(waiting.pNIFInfo);
                if (it == m_Chains.end())
                    continue;
                m_Chains.erase(it);
                dropped.push_back(waiting.pNIFInfo);
            }
        }
    }
    // Their addresses are judged as they stand: none goes on now.
    for (CVLECMNIFInfo* pNIFInfo : dropped)
        m_MACTable.ChainEnded(pNIFInfo, false);
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
        m_MACTable.Reset();
        CVLThreadLock chainLock(&m_ChainSync);
        if (chainLock.Lock()) {
            m_Chains.clear();
            m_nCheckingChains = 0;
            m_nRunningChains = 0;
            m_RunningPerNetwork.clear();
            m_bNamedPlaceTaken = false;
            m_ChecksWaiting.Clear();
            m_PlacesWaiting.Clear();
        }
    } catch (...) {
        RethrowFramework(__LINE__);
    }
}

bool CVLECMProbeInstance::isProbeRecord(CVLECMNIFInfo* pNIFInfo)
{
    SVLECMReplyKey key;
    return m_MACTable.FindKey(pNIFInfo, key);
}

std::vector<CVLECMNIFInfo*> CVLECMProbeInstance::RemoveDevice(CVLECMNIFInfo* pNIFInfo)
{
    std::vector<CVLECMNIFInfo*> records;
    CVLThreadLock lock(&m_NIFListAccessSync);
    if (!lock.Lock() || pNIFInfo == nullptr || m_pNIFInfoList == nullptr ||
        (!m_pNIFInfoList->Contains(pNIFInfo) && !isProbeRecord(pNIFInfo)))
        return records;
    records.push_back(pNIFInfo);
    // Marked removed before any record goes, so that freeing a check or a
    // place starts nothing for another address of the MAC.
    SVLECMReplyKey key;
    if (m_MACTable.FindKey(pNIFInfo, key)) {
        for (CVLECMNIFInfo* pOther : m_MACTable.Remove(key.strMAC)) {
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
        CVLString strKey = CVLECMNIFInfo::NormalizeMACAddress(pNIFInfo->GetMACAddress());
        auto listed = m_NIFInfoMap.find(strKey.GetLength() > 0 ? strKey : pNIFInfo->GetMACAddress());
        if (listed != m_NIFInfoMap.end() && listed->second == pNIFInfo)
            m_NIFInfoMap.erase(listed);
        m_MACTable.Detach(pNIFInfo);
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
    if (pNIFInfo != nullptr && isProbeRecord(pNIFInfo))
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
    SVLECMReplyKey key;
    key.strMAC = MACAddressOf(pTarget);
    key.strAddress = AddressOf(pTarget);
    m_HandOnQueue.Delivered(key);
    {
        // Its place in the dispatch queue goes to the next reply in turn.
        CVLThreadLock lock(&m_NIFListAccessSync);
        if (lock.Lock() && m_pNIFInfoList != nullptr)
            m_pNIFInfoList->HandOn();
    }
    if (key.strMAC.GetLength() == 0) {
        // An error reply to a broadcast expands to an empty target.
        CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 2,
                         "CVLECMProbeInstance::OnProbe(): reply without a MAC address dropped");
        releaseReplyTarget(pTarget);
        return;
    }
    CVLECMNIFInfo* pNIFInfo = nullptr;
    bool bNew = false;
    bool bSimulated = false;
    bool bListed = false;
    {
        CVLThreadLock lock(&m_NIFListAccessSync);
        if (!lock.Lock() || m_pNIFInfoList == nullptr || m_pClaimList == nullptr)
            return;
        // A reply goes to the record of its address, wherever that stands
        // now; a simulated device of the MAC takes the replies of its first.
        pNIFInfo = m_MACTable.FindRecord(key.strMAC, key.strAddress);
        auto known = m_NIFInfoMap.find(key.strMAC);
        if (pNIFInfo == nullptr && known != m_NIFInfoMap.end() && !isProbeRecord(known->second)) {
            pNIFInfo = known->second;
            bSimulated = true;
        }
        if (pNIFInfo != nullptr) {
            if (static_cast<CVLTarget*>(pNIFInfo) != pTarget) {
                CVLTargetLock targetLock(pNIFInfo);
                pNIFInfo->Marge(pTarget);
            }
            if (!bSimulated)
                m_MACTable.SetModel(pNIFInfo, ModelOf(pNIFInfo));
        } else if (!m_MACTable.IsRemoved(key.strMAC)) {
            // A new address's record is the probe's own until the table
            // names it the MAC's device.
            CVLECMNIFInfo* pReply = dynamic_cast<CVLECMNIFInfo*>(pTarget);
            CVLTargetList* pOwner = pTarget->GetOwnerList();
            if (pReply != nullptr && (pOwner == m_pNIFInfoList || pOwner == m_pClaimList)) {
                pNIFInfo = pReply;
                if (pOwner != m_pClaimList) {
                    static_cast<CVLECMNIFInfoList*>(pOwner)->RemoveAt(pNIFInfo, false);
                    m_pClaimList->Add(pNIFInfo);
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
                m_pClaimList->Add(pNIFInfo);
            }
            pNIFInfo->SetOwnerVLECMInstance(m_pOwnerVLECMInstance);
            pNIFInfo->SetCheckRunner(&m_UnicastChecks);
            pNIFInfo->SetMACAddress(TextOf(key.strMAC));
            pNIFInfo->SetConnect(VLECM_CONNECT_TYPE_NETWORK, true);
            if (m_MACTable.Attach(key, pNIFInfo, ModelOf(pNIFInfo))) {
                bNew = true;
            } else {
                // Not kept (its MAC was removed meanwhile): a reply target
                // goes below, a copy here.
                if (static_cast<CVLTarget*>(pNIFInfo) != pTarget)
                    m_pClaimList->RemoveAt(pNIFInfo, true);
                pNIFInfo = nullptr;
            }
        }
        // A removed MAC's reply that was on its way is dropped with its target.
        if (pNIFInfo != nullptr) {
            auto listed = m_NIFInfoMap.find(key.strMAC);
            bListed = listed != m_NIFInfoMap.end() && listed->second == pNIFInfo;
            setReceiverBroadcast(pNIFInfo, pInfo);
            pNIFInfo->DebugHookProperties();
        }
    }
    // The simulated device stands for it: its address is not pending.
    if (bSimulated)
        m_MACTable.ReplyLost(key);
    // Replies of a known device are merged; the list keeps one entry each.
    releaseReplyTarget(pTarget);
    if (pNIFInfo == nullptr)
        return;
    if (getOptionBool("Option.Probe.OmitGetMoreInfo")) {
        if (bNew)
            follow(m_MACTable.Accept(pNIFInfo));
        else if (bListed && m_pCallbackIF != nullptr)
            m_pCallbackIF->OnProbe(pNIFInfo, VLECM_CONNECT_TYPE_NETWORK, false, false);
        return;
    }
    if (bNew)
        beginChain(pNIFInfo);
}

void CVLECMProbeInstance::setReceiverBroadcast(CVLECMNIFInfo* pNIFInfo, CVLCallbackInfo* pInfo)
{
    // The directed broadcast through which the device answered. A device
    // answers the limited broadcast too, and whichever of its replies came
    // first is the one delivered: a device on a network probed by its
    // directed broadcast is given that address also when the reply
    // delivered came in through the limited broadcast.
    if (m_LDBCAddressInfoMap.empty())
        return;
    // The local networks know the receivers: the same map, given at the
    // probe's start.
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
        pNIFInfo->SetPropertyString(TextOf(getOptionString("Config.NIFPropTree.LDBCAddress")), TextOf(strAddress));
}

bool CVLECMProbeInstance::startChainCommand(CVLECMNIFInfo* pNIFInfo, VLECM_COMMAND eCommand,
                                            VLECM_CONNECT_TYPE eConnectType)
{
    CVLECMSharedOptions pOptions;
    {
        CVLThreadLock lock(&m_ProbeOptionMapSync);
        if (lock.Lock())
            pOptions = m_pChainOptions;
    }
    CVLThreadLock startLock(&m_ChainStartSync);
    startLock.Lock();
    // Only while the table lets the address go on (not once the probe stopped).
    if (!m_MACTable.MayStart(pNIFInfo, eCommand))
        return false;
    // Marked before it starts: its end may be posted at once.
    setChainCommandRunning(pNIFInfo, true, eCommand);
    VLECM_RESULT eResult = pNIFInfo->StartChainCommand(eCommand, eConnectType, pOptions, this);
    if (eResult != VLECM_RESULT_SUCCESS) {
        setChainCommandRunning(pNIFInfo, false);
        CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0, "CVLECMProbeInstance: command %d not started, eResult=%d",
                         eCommand, eResult);
        return false;
    }
    return true;
}

void CVLECMProbeInstance::setChainCommandRunning(CVLECMNIFInfo* pNIFInfo, bool bRunning, VLECM_COMMAND eCommand)
{
    CVLThreadLock lock(&m_ChainSync);
    if (!lock.Lock())
        return;
    auto it = m_Chains.find(pNIFInfo);
    if (it == m_Chains.end())
        return;
    it->second.bCommandRunning = bRunning;
    if (eCommand != VLECM_COMMAND_COUNT)
        it->second.eCommand = eCommand;
}

void CVLECMProbeInstance::OnCheckUnicast(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult,
                                         bool bUnicast)
{
    (void)eConnectType;
    if (pNIFInfo == nullptr)
        return;
    CChainStep step(this, pNIFInfo);
    // Success without unicast: the check timed out or failed and filtering
    // is off; the address may stand for the device only if no other does
    // (the further commands go by unicast and could never reach it).
    const bool bAnswered = eResult == VLECM_RESULT_SUCCESS && bUnicast;
    VLECM_MAC_FAILURE eFailure = VLECM_MAC_FAILURE_NONE;
    if (!bAnswered)
        eFailure = eResult == VLECM_RESULT_SUCCESS   ? VLECM_MAC_FAILURE_NOT_UNICAST
                   : eResult == VLECM_RESULT_TIMEOUT ? VLECM_MAC_FAILURE_NO_ANSWER
                                                     : VLECM_MAC_FAILURE_CHECK;
    follow(m_MACTable.CheckEnded(pNIFInfo, bAnswered, eFailure,
                                 eResult == VLECM_RESULT_SUCCESS ? pNIFInfo->GetUnicastCheckResult() : eResult,
                                 pNIFInfo->GetUnicastCheckDeviceResult(), pNIFInfo->IsUnicastCheckAnsweredOtherwise()));
}

void CVLECMProbeInstance::follow(const CVLECMMACTable::SNext& next)
{
    for (CVLECMNIFInfo* pNIFInfo : next.commands)
        startCommands(pNIFInfo);
    // Marked before it is handed on: a client reads the marks in OnProbe.
    if (next.pMark != nullptr) {
        if (next.bConflict)
            next.pMark->SetPropertyString(VLECM_CONFLICT_MARK_PATH, "1");
        next.pMark->SetPropertyString(VLECM_OTHER_PASSED_PATH, TextOf(next.strOtherPassed));
    }
    if (next.pReport != nullptr)
        report(next.pReport, next.bReportUnicast);
}

bool CVLECMProbeInstance::takePlace(SChain& chain, CVLECMNIFInfo* pNIFInfo, VLECM_COMMAND eCommand,
                                    VLECM_CONNECT_TYPE eConnectType)
{
    if (chain.eState == CHAIN_RUNNING)
        return true;
    // The named address's commands take the place kept for them.
    if (!m_bNamedPlaceTaken && m_MACTable.IsNamed(pNIFInfo)) {
        chain.eState = CHAIN_RUNNING;
        chain.bNamedPlace = true;
        m_bNamedPlaceTaken = true;
        return true;
    }
    if (m_nRunningChains < sharedPlaces() && m_RunningPerNetwork[chain.strNetwork] < MAX_PLACES_PER_NETWORK) {
        chain.eState = CHAIN_RUNNING;
        ++m_nRunningChains;
        ++m_RunningPerNetwork[chain.strNetwork];
        return true;
    }
    chain.eState = CHAIN_WAITING_PLACE;
    SWaitingChain waiting;
    waiting.pNIFInfo = pNIFInfo;
    waiting.eCommand = eCommand;
    waiting.eConnectType = eConnectType;
    m_PlacesWaiting.Push(chain.strNetwork, waiting);
    return false;
}

void CVLECMProbeInstance::startCommands(CVLECMNIFInfo* pNIFInfo)
{
    const VLECM_COMMAND eCommand = getOptionBool("Option.Probe.SkipGetSupportInformation")
                                       ? VLECM_COMMAND_GET_LIST_INFO
                                       : VLECM_COMMAND_GET_SUPPORT_INFORMATION;
    CVLString strNetwork = localNetworks()->GetNetwork(AddressOf(pNIFInfo));
    bool bStart = false;
    {
        CVLThreadLock lock(&m_ChainSync);
        if (!lock.Lock())
            return;
        // Its own check's chain goes on (its callback ends it when the
        // command does not start).
        if (m_Chains.count(pNIFInfo) == 0) {
            SChain& chain = m_Chains[pNIFInfo];
            chain.strNetwork = strNetwork;
            bStart = takePlace(chain, pNIFInfo, eCommand, VLECM_CONNECT_TYPE_NETWORK);
        } else {
            lock.Unlock();
            continueChain(pNIFInfo, eCommand, VLECM_CONNECT_TYPE_NETWORK);
            return;
        }
    }
    if (bStart && !startChainCommand(pNIFInfo, eCommand, VLECM_CONNECT_TYPE_NETWORK))
        endChain(pNIFInfo);
}

void CVLECMProbeInstance::report(CVLECMNIFInfo* pNIFInfo, bool bUnicast)
{
    {
        CVLThreadLock lock(&m_NIFListAccessSync);
        SVLECMReplyKey key;
        if (!lock.Lock() || m_pNIFInfoList == nullptr || m_pClaimList == nullptr || !m_MACTable.FindKey(pNIFInfo, key))
            return;
        if (m_pClaimList->Contains(pNIFInfo)) {
            m_pClaimList->RemoveAt(pNIFInfo, false);
            m_pNIFInfoList->Add(pNIFInfo);
        }
        m_NIFInfoMap[key.strMAC] = pNIFInfo;
    }
    if (m_pCallbackIF != nullptr)
        m_pCallbackIF->OnProbe(pNIFInfo, VLECM_CONNECT_TYPE_NETWORK,
                               bUnicast && pNIFInfo->IsUnicast(VLECM_CONNECT_TYPE_NETWORK), false);
}

void CVLECMProbeInstance::OnGetSupportInformation(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType,
                                                  VLECM_RESULT eResult)
{
    if (pNIFInfo == nullptr)
        return;
    CChainStep step(this, pNIFInfo);
    if (eResult != VLECM_RESULT_SUCCESS) {
        follow(m_MACTable.CommandsEnded(pNIFInfo, false, VLECM_COMMAND_GET_SUPPORT_INFORMATION, eResult,
                                        pNIFInfo->GetCommandDeviceResult()));
        return;
    }
    startChainCommand(pNIFInfo, VLECM_COMMAND_GET_LIST_INFO, eConnectType);
}

void CVLECMProbeInstance::OnGetListInfo(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
{
    (void)eConnectType;
    if (pNIFInfo == nullptr)
        return;
    CChainStep step(this, pNIFInfo);
    // The table hands the MAC on at the end of the first chain of its
    // addresses that succeeds, and marks it when another one passes too.
    const bool bSucceeded = eResult == VLECM_RESULT_SUCCESS;
    follow(m_MACTable.CommandsEnded(pNIFInfo, bSucceeded, VLECM_COMMAND_GET_LIST_INFO, eResult,
                                    bSucceeded ? 0 : pNIFInfo->GetCommandDeviceResult()));
}

void CVLECMProbeInstance::beginChain(CVLECMNIFInfo* pNIFInfo)
{
    // A record holds its own address.
    CVLString strNetwork = localNetworks()->GetNetwork(AddressOf(pNIFInfo));
    {
        CVLThreadLock lock(&m_ChainSync);
        if (!lock.Lock() || m_Chains.count(pNIFInfo) != 0)
            return;
        SChain& chain = m_Chains[pNIFInfo];
        chain.strNetwork = strNetwork;
        // Every address of a MAC is checked at once, as any device's: only
        // the probe's bound of checks makes one wait, never the named address.
        if (m_nCheckingChains >= MAX_CHECKING_CHAINS && !m_MACTable.IsNamed(pNIFInfo)) {
            SWaitingChain waiting;
            waiting.pNIFInfo = pNIFInfo;
            m_ChecksWaiting.Push(strNetwork, waiting);
            return;
        }
        chain.eState = CHAIN_CHECKING;
        ++m_nCheckingChains;
    }
    if (!m_MACTable.StartCheck(pNIFInfo) ||
        !startChainCommand(pNIFInfo, VLECM_COMMAND_CHECK_UNICAST, VLECM_CONNECT_TYPE_NETWORK))
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
        if (chain.eState == CHAIN_CHECKING)
            --m_nCheckingChains;
        bStart = takePlace(chain, pNIFInfo, eCommand, eConnectType);
    }
    // A command that does not start ends the chain after its callback.
    if (bStart)
        startChainCommand(pNIFInfo, eCommand, eConnectType);
    // The check it held is free.
    startWaitingChains();
}

void CVLECMProbeInstance::dropChain(CVLECMNIFInfo* pNIFInfo)
{
    auto it = m_Chains.find(pNIFInfo);
    if (it == m_Chains.end())
        return;
    auto isChainOf = [pNIFInfo](const SWaitingChain& waiting) { return waiting.pNIFInfo == pNIFInfo; };
    switch (it->second.eState) {
    case CHAIN_WAITING_CHECK:
        m_ChecksWaiting.Remove(it->second.strNetwork, isChainOf);
        break;
    case CHAIN_CHECKING:
        --m_nCheckingChains;
        break;
    case CHAIN_WAITING_PLACE:
        m_PlacesWaiting.Remove(it->second.strNetwork, isChainOf);
        break;
    case CHAIN_RUNNING:
        if (it->second.bNamedPlace) {
            m_bNamedPlaceTaken = false;
        } else {
            --m_nRunningChains;
            if (--m_RunningPerNetwork[it->second.strNetwork] <= 0)
                m_RunningPerNetwork.erase(it->second.strNetwork);
        }
        break;
    }
    m_Chains.erase(it);
}

void CVLECMProbeInstance::startWaitingChains()
{
    for (;;) {
        SWaitingChain next;
        bool bCheck = false;
        {
            CVLThreadLock lock(&m_ChainSync);
            if (!lock.Lock())
                return;
            // A device that answered goes on before a new one is asked.
            auto underItsShare = [this](const CVLString& strNetwork) {
                auto it = m_RunningPerNetwork.find(strNetwork);
                return it == m_RunningPerNetwork.end() || it->second < MAX_PLACES_PER_NETWORK;
            };
            if (m_nRunningChains < sharedPlaces() && m_PlacesWaiting.Take(next, underItsShare)) {
                SChain& chain = m_Chains[next.pNIFInfo];
                chain.eState = CHAIN_RUNNING;
                ++m_nRunningChains;
                ++m_RunningPerNetwork[chain.strNetwork];
            } else if (m_nCheckingChains < MAX_CHECKING_CHAINS && m_ChecksWaiting.Take(next)) {
                m_Chains[next.pNIFInfo].eState = CHAIN_CHECKING;
                ++m_nCheckingChains;
                bCheck = true;
            } else {
                return;
            }
        }
        // A waiting device may have been removed meanwhile (the table no
        // longer knows it, and no check starts for a removed MAC); then what
        // it took goes on to the next one.
        const bool bGoesOn = bCheck ? m_MACTable.StartCheck(next.pNIFInfo) : m_MACTable.MayRunCommands(next.pNIFInfo);
        if (!bGoesOn || !startChainCommand(next.pNIFInfo, next.eCommand, next.eConnectType)) {
            {
                CVLThreadLock lock(&m_ChainSync);
                if (lock.Lock())
                    dropChain(next.pNIFInfo);
            }
            follow(m_MACTable.ChainEnded(next.pNIFInfo));
        }
    }
}

void CVLECMProbeInstance::endChain(CVLECMNIFInfo* pNIFInfo, VLECM_RESULT eResult, long nDeviceResult)
{
    if (pNIFInfo == nullptr)
        return;
    VLECM_COMMAND eCommand = VLECM_COMMAND_COUNT;
    {
        CVLThreadLock lock(&m_ChainSync);
        if (!lock.Lock())
            return;
        auto it = m_Chains.find(pNIFInfo);
        if (it != m_Chains.end())
            eCommand = it->second.eCommand;
        dropChain(pNIFInfo);
    }
    // A check or commands that never ran to their end leave the address
    // judged, not pending for ever.
    CVLECMMACTable::SNext next = m_MACTable.ChainEnded(pNIFInfo, true, eCommand, eResult, nDeviceResult);
    startWaitingChains();
    follow(next);
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
    if (!isProbeRecord(pNIFInfo)) {
        endChain(pNIFInfo);
        return;
    }
    {
        CVLThreadLock lock(&m_ChainSync);
        auto it = lock.Lock() ? m_Chains.find(pNIFInfo) : m_Chains.end();
        if (it != m_Chains.end() && (it->second.bCommandRunning || it->second.eState == CHAIN_WAITING_PLACE))
            return;
    }
    // Still the probe's: how its last command ended tells why it stops.
    endChain(pNIFInfo, pNIFInfo->GetCommandResult(), pNIFInfo->GetCommandDeviceResult());
}

int CVLECMProbeInstance::sharedPlaces()
{
    return m_MACTable.GetNamedAddress().GetLength() > 0 ? MAX_RUNNING_CHAINS - 1 : MAX_RUNNING_CHAINS;
}

void CVLECMProbeInstance::GetChainCounts(int& nRunning, int& nWaiting)
{
    CVLThreadLock lock(&m_ChainSync);
    lock.Lock();
    nRunning = m_nRunningChains + (m_bNamedPlaceTaken ? 1 : 0);
    nWaiting = m_ChecksWaiting.GetCount() + m_PlacesWaiting.GetCount();
}

int CVLECMProbeInstance::GetUnfinishedChainCount(int& nChecking)
{
    CVLThreadLock lock(&m_ChainSync);
    lock.Lock();
    nChecking = m_nCheckingChains + m_ChecksWaiting.GetCount();
    return static_cast<int>(m_Chains.size());
}

int CVLECMProbeInstance::GetRecordCount()
{
    return m_MACTable.GetRecordCount();
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
