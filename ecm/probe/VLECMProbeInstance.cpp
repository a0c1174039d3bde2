// The probe instance: runs the probe function, merges the replies by MAC
// address, chains the follow-up commands of each new device and reports the
// complete ones to its owner.
#include "ecm/probe/VLECMProbeInstance.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <list>

#include "base/core/VLCharset.h"
#include "base/core/VLException.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "base/core/VLUnexpectedException.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProperty.h"
#include "cm/VLTargetList.h"
#include "cm/VLTargetLock.h"
#include "ecm/core/VLECMApi.h"
#include "ecm/core/VLECMDefs.h"
#include "ecm/core/VLECMDefaultOptions.h"
#include "ecm/core/VLECMModuleCalls.h"
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

// The flags of a hand-on posted to the dispatch thread.
const long kHandOnUnicast = 1;
const long kHandOnListOnly = 2;

// How often the chains whose check or command found no descriptor or
// thread free are ticked: the table backs their trials off from there.
const auto kDeferredRetryInterval = std::chrono::milliseconds(200);

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
        m_ReplyFilter.SetNamedBoundListener([this]() { askNamedAddress(); });
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
        // No socket of the probe's is left open.
        m_DescriptorLimit.GiveBack();
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
        // Every store at once, the stop forgotten: a new probe.
        m_ReplyFilter.Reset(false);
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
        m_MACTable.SetFirstCommand(getOptionBool("Option.Probe.SkipGetSupportInformation")
                                       ? VLECM_COMMAND_GET_LIST_INFO
                                       : VLECM_COMMAND_GET_SUPPORT_INFORMATION);
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
            // Every device that hears the probe is sent its requests: they
            // only read, whatever the list or a script makes it send.
            CVLModuleInstance* pInstance =
                CVLECMModuleCalls::Probe(m_pOwnerVLECMInstance->GetApi(), this, m_pNIFInfoList, TextOf(strPacketList),
                                         TextOf(strRoot), nullptr, CVLECMModuleCalls::PROBE);
            CVLThreadLock lock(&m_ProbeInstanceSync);
            if (lock.Lock())
                m_pProbeModuleInstance = pInstance;
        }
        // Every place of every network (the replies from none included) may
        // hold a socket at once: as many places as the descriptors allow,
        // counted once the probe's own sockets are open.
        int nPerNetwork = 0, nShared = 0;
        m_DescriptorLimit.Raise(static_cast<int>(localNetworks()->GetNetworkNames().size()), nPerNetwork, nShared);
        m_MACTable.SetPlaces(nPerNetwork, nShared);
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
        // No reply comes any more that the named address's answer could admit.
        m_NamedAddressProbe.Stop();
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
    lock.Unlock();
    // Each round the named address is asked again while it has not answered.
    if (m_ReplyFilter.TakeNamedAsk())
        askNamedAddress();
    return true;
}

void CVLECMProbeInstance::StopChains()
{
    CVLECMMACTable::SNext next;
    {
        CVLThreadLock startLock(&m_ChainStartSync);
        startLock.Lock();
        // Under the filter's lock: a reply is admitted wholly before the
        // stop, or not at all.
        next = m_ReplyFilter.Stop();
    }
    // Only devices listed (not reported) come of it; on the dispatch
    // thread all of them at once.
    follow(next);
    // An end or hand-on that a client's override holds and has not passed
    // on yet would keep its device pending for good.
    if (m_pOwnerVLECMInstance != nullptr)
        m_pOwnerVLECMInstance->JudgeUnpassedPosts();
    DispatchPass();
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
        // Before the list lock, which a post's loss may take.
        if (m_pOwnerVLECMInstance != nullptr)
            m_pOwnerVLECMInstance->ForgetPosts(nullptr);
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
        m_WaitingSimulated.clear();
        // The table, the filter's counts and the hand-on queue at once; a
        // stopped probe stays stopped.
        m_ReplyFilter.Reset(true);
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
    // place starts nothing for another address of the MAC; under the start
    // lock, so that no command starts on a record about to go.
    SVLECMReplyKey key;
    CVLString strMAC = m_MACTable.FindKey(pNIFInfo, key) ? key.strMAC : CVLString(VL_CHARSET_UTF8);
    if (strMAC.GetLength() == 0) {
        CVLString strKey = CVLECMNIFInfo::NormalizeMACAddress(pNIFInfo->GetMACAddress());
        strKey = strKey.GetLength() > 0 ? strKey : pNIFInfo->GetMACAddress();
        if (m_MACTable.FindSimulated(strKey) == pNIFInfo)
            strMAC = strKey;
    }
    CVLECMMACTable::SNext next;
    if (strMAC.GetLength() > 0) {
        CVLThreadLock startLock(&m_ChainStartSync);
        startLock.Lock();
        for (CVLECMNIFInfo* pOther : m_MACTable.Remove(strMAC, &next)) {
            if (pOther != pNIFInfo)
                records.push_back(pOther);
        }
    }
    lock.Unlock();
    // Their commands end before the places they held go to other devices'
    // chains, lest more sockets be open than places; all are asked to stop
    // before any is waited for.
    for (CVLECMNIFInfo* pRecord : records)
        pRecord->RequestStopCommand();
    for (CVLECMNIFInfo* pRecord : records)
        pRecord->StopCommand();
    follow(next);
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
        CVLECMMACTable::SNext next;
        {
            CVLThreadLock startLock(&m_ChainStartSync);
            startLock.Lock();
            next = m_MACTable.Detach(pNIFInfo);
        }
        pNIFInfo->StopCommand();
        // A reply of its device may wait in it (merged into it by a merge
        // condition); the device is heard again.
        m_HandOnQueue.Forget(pNIFInfo);
        pOwner->RemoveAt(pNIFInfo, true);
        m_pNIFInfoList->HandOn();
        lock.Unlock();
        follow(next);
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
    CVLString strKey(VL_CHARSET_UTF8);
    // Added under the list lock; the report is posted after it is released.
    {
        CVLThreadLock lock(&m_NIFListAccessSync);
        if (!lock.Lock() || m_pNIFInfoList == nullptr)
            return;
        // A MAC-shaped key in its normal form (one device whatever the
        // letter case); any other text as written.
        strKey = CVLECMNIFInfo::NormalizeMACAddress(DummyNIFInfo.GetMACAddress());
        if (strKey.GetLength() == 0)
            strKey = DummyNIFInfo.GetMACAddress();
        if (strKey.GetLength() == 0 || m_NIFInfoMap.find(strKey) != m_NIFInfoMap.end() ||
            m_MACTable.FindReported(strKey) != nullptr || m_MACTable.IsStopped())
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
        // One hand-on per MAC, simulated or real: the table decides.
        if (!m_MACTable.HandOnSimulated(strKey, pNIFInfo)) {
            m_pOwnerVLECMInstance->DestroyNIFInfo(pNIFInfo);
            return;
        }
        m_pNIFInfoList->Add(pNIFInfo);
        m_NIFInfoMap[strKey] = pNIFInfo;
        pNIFInfo->DebugHookProperties();
        pReport = pNIFInfo;
    }
    // Refused, its MAC is handed on already: no other record of it would
    // ever be reported. The next dispatch pass reports it, unless it went
    // meanwhile. One not passed on by the stop is listed, not reported.
    m_pOwnerVLECMInstance->PostCallbackQueued(
        pReport, dummyProbeCallback, eConnectType, this, [this, strKey, pReport, eConnectType](bool bRefused) {
            CVLThreadLock lock(&m_NIFListAccessSync);
            if (bRefused && lock.Lock() && m_MACTable.FindSimulated(strKey) == pReport)
                m_WaitingSimulated.push_back({strKey, pReport, eConnectType});
        });
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

void CVLECMProbeInstance::handOnCallback(long lFlags, void* pProbeInstance, CVLCallbackInfo* pCallbackInfo)
{
    CVLECMProbeInstance* pThis = static_cast<CVLECMProbeInstance*>(pProbeInstance);
    if (pThis == nullptr || pCallbackInfo == nullptr)
        return;
    CVLECMNIFInfo* pNIFInfo = dynamic_cast<CVLECMNIFInfo*>(pCallbackInfo->GetTarget());
    if (pNIFInfo != nullptr)
        pThis->report(pNIFInfo, (lFlags & kHandOnUnicast) != 0, (lFlags & kHandOnListOnly) != 0);
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
        if (pNIFInfo == nullptr) {
            pNIFInfo = m_MACTable.FindSimulated(key.strMAC);
            bSimulated = pNIFInfo != nullptr;
        }
        if (pNIFInfo != nullptr) {
            if (static_cast<CVLTarget*>(pNIFInfo) != pTarget) {
                CVLTargetLock targetLock(pNIFInfo);
                pNIFInfo->Marge(pTarget);
            }
            if (!bSimulated)
                m_MACTable.SetModel(pNIFInfo, ModelOf(pNIFInfo));
        } else if (!m_MACTable.IsRemoved(key.strMAC)) {
            pNIFInfo = adoptNewAddress(key, pTarget);
            bNew = pNIFInfo != nullptr;
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
        follow(m_MACTable.BeginChain(pNIFInfo, localNetworks()->GetNetwork(key.strAddress)));
}

CVLECMNIFInfo* CVLECMProbeInstance::adoptNewAddress(const SVLECMReplyKey& key, CVLTarget* pTarget)
{
    // A new address's record is the probe's own until the table names it
    // the MAC's device.
    CVLECMNIFInfo* pNIFInfo = nullptr;
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
            return nullptr;
        }
        pNIFInfo->SetApi(pECMApi);
        pNIFInfo->CopyFrom(pTarget);
        m_pClaimList->Add(pNIFInfo);
    }
    pNIFInfo->SetOwnerVLECMInstance(m_pOwnerVLECMInstance);
    pNIFInfo->SetCheckRunner(&m_UnicastChecks);
    pNIFInfo->SetMACAddress(TextOf(key.strMAC));
    pNIFInfo->SetConnect(VLECM_CONNECT_TYPE_NETWORK, true);
    if (m_MACTable.Attach(key, pNIFInfo, ModelOf(pNIFInfo)))
        return pNIFInfo;
    // Not kept (its MAC was removed meanwhile): a reply target goes with the
    // reply, a copy here.
    if (static_cast<CVLTarget*>(pNIFInfo) != pTarget)
        m_pClaimList->RemoveAt(pNIFInfo, true);
    return nullptr;
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
                                            CVLECMMACTable::SNext& more)
{
    CVLECMSharedOptions pOptions;
    {
        CVLThreadLock lock(&m_ProbeOptionMapSync);
        if (lock.Lock())
            pOptions = m_pChainOptions;
    }
    VLECM_RESULT eResult = VLECM_RESULT_STOPPED;
    {
        CVLThreadLock startLock(&m_ChainStartSync);
        startLock.Lock();
        // Only while the table lets the address go on (not once the probe
        // stopped, nor for a record removed meanwhile, which is not touched).
        if (m_MACTable.MayStart(pNIFInfo, eCommand)) {
            eResult = pNIFInfo->StartChainCommand(eCommand, VLECM_CONNECT_TYPE_NETWORK, pOptions, this);
            if (eResult == VLECM_RESULT_SUCCESS)
                return true;
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECMProbeInstance: command %d not started, eResult=%d", eCommand, eResult);
        }
    }
    // A thread that could not start for want of resources is the
    // computer's want, not the device's answer: the chain waits for its
    // check or a place again. Any other failure judges it.
    const VLECM_LACK eLack = eResult == VLECM_RESULT_INTERNAL_ERROR ? pNIFInfo->GetCommandLack() : VLECM_LACK_NONE;
    if (eLack != VLECM_LACK_NONE)
        more = m_MACTable.StartDeferred(pNIFInfo, eCommand, eLack);
    else
        more = m_MACTable.StartFailed(pNIFInfo, eCommand, eResult);
    return false;
}

void CVLECMProbeInstance::OnCheckUnicast(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult,
                                         bool bUnicast)
{
    (void)eConnectType;
    if (pNIFInfo == nullptr)
        return;
    // Its request could not leave for want of a descriptor or a thread:
    // that is no answer, and the check waits for it.
    const VLECM_LACK eLack = pNIFInfo->GetCommandLack();
    if (eLack != VLECM_LACK_NONE && eResult != VLECM_RESULT_STOPPED) {
        follow(m_MACTable.StartDeferred(pNIFInfo, VLECM_COMMAND_CHECK_UNICAST, eLack));
        return;
    }
    // Success without unicast: the check timed out or failed and filtering
    // is off; the address may stand for the device only if no other does
    // (the further commands go by unicast and could never reach it).
    const bool bAnswered = eResult == VLECM_RESULT_SUCCESS && bUnicast;
    VLECM_MAC_FAILURE eFailure = VLECM_MAC_FAILURE_NONE;
    if (!bAnswered)
        eFailure = eResult == VLECM_RESULT_SUCCESS   ? VLECM_MAC_FAILURE_NOT_UNICAST
                   : eResult == VLECM_RESULT_TIMEOUT ? VLECM_MAC_FAILURE_NO_ANSWER
                                                     : VLECM_MAC_FAILURE_CHECK;
    const VLECM_RESULT eChecked = eResult == VLECM_RESULT_SUCCESS ? pNIFInfo->GetUnicastCheckResult() : eResult;
    // A request refused before it left ends its check as not supported.
    follow(
        m_MACTable.CheckEnded(pNIFInfo, bAnswered, eFailure, eChecked, pNIFInfo->GetUnicastCheckDeviceResult(),
                              pNIFInfo->IsUnicastCheckAnsweredOtherwise(),
                              eChecked == VLECM_RESULT_NOT_SUPPORTED ? pNIFInfo->GetCommandRefusal() : std::string()));
}

void CVLECMProbeInstance::OnGetSupportInformation(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType,
                                                  VLECM_RESULT eResult)
{
    (void)eConnectType;
    if (pNIFInfo == nullptr)
        return;
    followCommandEnd(pNIFInfo, VLECM_COMMAND_GET_SUPPORT_INFORMATION, eResult);
}

void CVLECMProbeInstance::OnGetListInfo(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
{
    (void)eConnectType;
    if (pNIFInfo == nullptr)
        return;
    // The table hands the MAC on at the end of the first chain of its
    // addresses that succeeds, and marks it when another one passes too.
    followCommandEnd(pNIFInfo, VLECM_COMMAND_GET_LIST_INFO, eResult);
}

void CVLECMProbeInstance::followCommandEnd(CVLECMNIFInfo* pNIFInfo, VLECM_COMMAND eCommand, VLECM_RESULT eResult)
{
    // A command that found no descriptor or thread free never reached the
    // device.
    const VLECM_LACK eLack = eResult != VLECM_RESULT_SUCCESS ? pNIFInfo->GetCommandLack() : VLECM_LACK_NONE;
    if (eLack != VLECM_LACK_NONE) {
        follow(m_MACTable.StartDeferred(pNIFInfo, eCommand, eLack));
        return;
    }
    follow(m_MACTable.CommandEnded(
        pNIFInfo, eCommand, eResult, eResult == VLECM_RESULT_SUCCESS ? 0 : pNIFInfo->GetCommandDeviceResult(),
        eResult == VLECM_RESULT_NOT_SUPPORTED ? pNIFInfo->GetCommandRefusal() : std::string()));
}

void CVLECMProbeInstance::OnChainEndLost(CVLECMNIFInfo* pNIFInfo, VLECM_COMMAND eCommand, bool bRefused)
{
    CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                     bRefused
                         ? "CVLECMProbeInstance: the end of command %d was refused by the dispatch queue; judged lost"
                         : "CVLECMProbeInstance: the end of command %d was not passed on by the stop; judged stopped",
                     eCommand);
    follow(m_MACTable.EndLost(pNIFInfo, eCommand, bRefused));
}

void CVLECMProbeInstance::follow(const CVLECMMACTable::SNext& first)
{
    // A command that does not start frees what it held at once, which may
    // start another: each answer is followed in turn.
    std::deque<CVLECMMACTable::SNext> work;
    work.push_back(first);
    while (!work.empty()) {
        CVLECMMACTable::SNext next = work.front();
        work.pop_front();
        // Marked before it is handed on, so that a client reads in OnProbe
        // what the table knew then.
        if (next.pMark != nullptr) {
            if (next.bConflict)
                next.pMark->SetPropertyString(VLECM_CONFLICT_MARK_PATH, "1");
            next.pMark->SetPropertyString(VLECM_OTHER_PASSED_PATH, TextOf(next.strOtherPassed));
        }
        for (const CVLECMMACTable::SStart& start : next.starts) {
            CVLECMMACTable::SNext more;
            if (!startChainCommand(start.pRecord, start.eCommand, more))
                work.push_back(more);
        }
        if (next.pReport == nullptr)
            continue;
        // Devices are handed on on the dispatch thread only: the client
        // hears of them there, and a record is destroyed only under the
        // dispatch lock (a command thread that ended its chain may be
        // waited for under the device-list lock).
        if (m_pOwnerVLECMInstance == nullptr || m_pOwnerVLECMInstance->IsDispatchThread()) {
            report(next.pReport, next.bReportUnicast, next.bListOnly);
        } else {
            // Refused (or not passed on by the stop): the MAC is handed on
            // from this record already, so the dispatch thread's next pass
            // (DispatchPass) carries it out.
            CVLECMNIFInfo* pReport = next.pReport;
            m_pOwnerVLECMInstance->PostCallbackQueued(
                pReport, handOnCallback,
                (next.bReportUnicast ? kHandOnUnicast : 0) | (next.bListOnly ? kHandOnListOnly : 0), this,
                [this, pReport](bool) {
                    CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                                     "CVLECMProbeInstance: a hand-on did not reach the dispatch queue; it waits for "
                                     "the dispatch thread");
                    m_MACTable.HandOnRefused(pReport);
                });
        }
    }
}

void CVLECMProbeInstance::DispatchPass()
{
    if (m_pOwnerVLECMInstance != nullptr && !m_pOwnerVLECMInstance->IsDispatchThread())
        return;
    // A lost end's thread has finished its command (it may still be
    // returning from the chain's answer, which takes no lock held here).
    for (CVLECMNIFInfo* pNIFInfo : m_MACTable.TakeLostEnds()) {
        if (!pNIFInfo->IsCommandRunning())
            pNIFInfo->End();
    }
    for (const CVLECMMACTable::SNext& next : m_MACTable.TakeWaitingHandOns())
        follow(next);
    std::vector<SWaitingSimulated> simulated;
    {
        CVLThreadLock lock(&m_NIFListAccessSync);
        if (lock.Lock())
            simulated.swap(m_WaitingSimulated);
    }
    // A removal takes the dispatch lock, held here: a record the table
    // still holds stays until it is reported.
    for (const SWaitingSimulated& waiting : simulated) {
        if (m_pCallbackIF != nullptr && m_MACTable.FindSimulated(waiting.strMAC) == waiting.pNIFInfo)
            m_pCallbackIF->OnProbe(waiting.pNIFInfo, waiting.eConnectType,
                                   waiting.pNIFInfo->IsUnicast(waiting.eConnectType), false);
    }
    // A trial whose request has left holds what the deferred chains
    // lacked: they need not wait for its command's end. (Records are
    // destroyed under the dispatch lock, held here.)
    CVLECMNIFInfo* pTrial = m_MACTable.GetHeldTrial();
    if (pTrial != nullptr && pTrial->HasCommandSent())
        follow(m_MACTable.TrialHolds(pTrial));
    const std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
    if (now >= m_NextDeferredRetry) {
        m_NextDeferredRetry = now + kDeferredRetryInterval;
        follow(m_MACTable.RetryDeferred());
    }
}

void CVLECMProbeInstance::askNamedAddress()
{
    if (m_pOwnerVLECMInstance == nullptr) {
        m_ReplyFilter.NamedAskEnded();
        return;
    }
    CVLECMNamedAddressProbe::SRequest request;
    request.pController = m_pOwnerVLECMInstance->GetApi()->GetModuleController();
    request.strAddress = m_MACTable.GetNamedAddress();
    request.strPacketList = getOptionString("Option.Probe.PacketListName");
    // As long as the named address's unicast check waits for its answer.
    request.nTimeout = getOptionString("Option.CheckUnicast.Timeout").ToLong(0);
    request.nRetry = getOptionString("Option.CheckUnicast.Retry").ToLong(1);
    const CVLString strAddress = request.strAddress;
    CVLECMNamedAddressProbe::SListener listener;
    // The answer is the device's own reply: admitted as a reply to the
    // probe, beyond the bound that forged ones filled.
    listener.fnAnswer = [this, strAddress](const CVLString& strMAC, CVLTarget* pReply) {
        m_ReplyFilter.SetNamedAnswer(strAddress, strMAC);
        CVLECMNIFInfoList* pList = GetNIFInfoList();
        if (pList == nullptr || m_pOwnerVLECMInstance == nullptr)
            return;
        CVLModuleParamCollection params;
        params.SetListener(this);
        bool bMarge = false;
        CVLTarget* pCopy = pList->MargeOrAddReceived(pReply, bMarge, nullptr);
        if (pCopy != nullptr)
            m_pOwnerVLECMInstance->GetApi()->GetModuleController()->PostCallbackProbe(nullptr, &params, pCopy, bMarge);
    };
    listener.fnEnded = [this](VLECM_RESULT eFailure, const std::string& strRefusal) {
        m_ReplyFilter.NamedAskEnded(eFailure, strRefusal);
    };
    if (!m_NamedAddressProbe.Ask(request, listener))
        m_ReplyFilter.NamedAskEnded();
}

void CVLECMProbeInstance::report(CVLECMNIFInfo* pNIFInfo, bool bUnicast, bool bListOnly)
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
    if (!bListOnly && m_pCallbackIF != nullptr)
        m_pCallbackIF->OnProbe(pNIFInfo, VLECM_CONNECT_TYPE_NETWORK,
                               bUnicast && pNIFInfo->IsUnicast(VLECM_CONNECT_TYPE_NETWORK), false);
}

void CVLECMProbeInstance::GetChainCounts(int& nRunning, int& nWaiting)
{
    m_MACTable.GetChainCounts(nRunning, nWaiting);
}

int CVLECMProbeInstance::GetUnfinishedChainCount(int& nChecking)
{
    return m_MACTable.GetUnfinishedChainCount(nChecking);
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
    return m_MACTable.GetCheckingCount();
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
