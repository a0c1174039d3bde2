// The admission of probe replies: error answers, duplicates, impostors and
// invented devices.
#include "ecm/VLECMPrivate.h"
#include "ecm/VLECMReplyFilter.h"

#include <functional>
#include <string>

#include "base/core/VLCharset.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "base/net/VLInterfaceAddress.h"
#include "base/net/VLSocketAddress.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetLock.h"
#include "ecm/VLECMDefs.h"
#include "ecm/VLECMNIFInfo.h"

const char* const s_szFile = "VLECMReplyFilter";

namespace {
// Addresses of a network's bound report counted one by one; beyond, only
// the replies are.
const size_t kMaxReportedAddresses = 65536;

CVLString PropertyText(CVLTarget* pTarget, const char* szPath)
{
    CVLProperty* pProperty = pTarget->GetProperties()->GetProperty(szPath, false);
    return pProperty != nullptr ? pProperty->ToString("") : CVLString(VL_CHARSET_UTF8);
}
}  // namespace

CVLECMReplyFilter::CVLECMReplyFilter() : m_bClosed(false), m_nRefused(0), m_nDropped(0)
{
}

CVLECMReplyFilter::~CVLECMReplyFilter()
{
    for (CVLCallbackInfo* pRecord : m_HandOn.TakeWaiting())
        delete pRecord;
}

void CVLECMReplyFilter::Reset()
{
    std::vector<VLInterfaceAddress> addresses;
    VLListInterfaceAddresses(addresses);
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    dropHeld();
    m_Devices.clear();
    m_WaitingDevices.clear();
    m_HandOn.Clear();
    m_bClosed = false;
    m_NetworkCounts.clear();
    m_MACsPerSource.clear();
    m_TracedSources.clear();
    m_RefusedPerSource.clear();
    m_nRefused = 0;
    m_nDropped = 0;
    m_LocalNetworks.SetReceivers(std::map<CVLString, CVLString>());
    m_LocalNetworks.Set(addresses);
}

void CVLECMReplyFilter::refuse(const CVLString& strFrom)
{
    ++m_nRefused;
    auto it = m_RefusedPerSource.find(strFrom);
    if (it == m_RefusedPerSource.end()) {
        if (m_RefusedPerSource.size() >= MAX_COUNTED_SOURCES)
            return;
        it = m_RefusedPerSource.emplace(strFrom, 0).first;
        CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                         "CVLECMReplyFilter: %s answered without a MAC address; such replies are refused",
                         TextOf(strFrom));
    }
    ++it->second;
}

bool CVLECMReplyFilter::Admit(CVLTarget* pReply, const CVLString& strReceiver, CVLString* pMAC, size_t* pBytes)
{
    if (pReply == nullptr)
        return false;
    CVLString strMAC(VL_CHARSET_UTF8), strFrom(VL_CHARSET_UTF8);
    size_t nFingerprint = 0;
    size_t nBytes = 0;
    {
        CVLTargetLock targetLock(pReply);
        targetLock.Lock();
        strMAC = CVLECMNIFInfo::NormalizeMACAddress(PropertyText(pReply, "MACAddress"));
        strFrom = PropertyText(pReply, "IPAddress");
        if (strMAC.GetLength() == 0) {
            // An error answer carries no device: it would only become a
            // record that the probe instance drops.
            CVLThreadLock lock(&m_Sync);
            if (lock.Lock())
                refuse(strFrom);
            return false;
        }
        CVLString strData = pReply->GetPropertiesText("");
        nFingerprint = std::hash<std::string>()(std::string(TextOf(strData)));
        // A property node with its name and value takes some four times
        // the bytes of its line in the dump.
        nBytes = sizeof(CVLTarget) + 4 * static_cast<size_t>(strData.GetLength());
    }
    if (!Admit(strMAC, strFrom, nFingerprint, pReply, strReceiver))
        return false;
    if (pMAC != nullptr)
        *pMAC = strMAC;
    if (pBytes != nullptr)
        *pBytes = nBytes;
    return true;
}

void CVLECMReplyFilter::drop(SDropped& dropped, const CVLString& strFrom, const CVLString& strReceiver)
{
    ++m_nDropped;
    ++dropped.nReplies;
    uint32_t nAddress = 0;
    if (dropped.addresses.size() < kMaxReportedAddresses &&
        CVLSocketAddress::ParseDottedQuad(TextOf(strFrom), nAddress))
        dropped.addresses.insert(nAddress);
    CVLString strInterface = m_LocalNetworks.GetReceiverInterface(strReceiver);
    if (strInterface.GetLength() > 0)
        dropped.interfaces.insert(strInterface);
    else
        dropped.bUnknownSocket = true;
}

bool CVLECMReplyFilter::Admit(const CVLString& strMAC, const CVLString& strFrom, size_t nFingerprint, CVLTarget* pReply,
                              const CVLString& strReceiver)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return false;
    if (strMAC.GetLength() == 0) {
        refuse(strFrom);
        return false;
    }
    auto it = m_Devices.find(strMAC);
    if (it != m_Devices.end()) {
        SDevice& device = it->second;
        if (device.strFrom != strFrom) {
            if (device.strConflict.GetLength() == 0) {
                device.strConflict = strFrom;
                CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                                 "CVLECMReplyFilter: %s answered from %s and from %s; the first is kept",
                                 TextOf(strMAC), TextOf(device.strFrom), TextOf(strFrom));
            }
            ++m_nDropped;
            return false;
        }
        if (device.eStage != STAGE_NONE) {
            // One record of a device waits at a time; a change goes into it.
            if (nFingerprint != device.nFingerprint && device.pWaiting != nullptr && pReply != nullptr) {
                CVLTargetLock waitingLock(device.pWaiting);
                waitingLock.Lock();
                device.pWaiting->Marge(pReply);
                device.nFingerprint = nFingerprint;
                return false;
            }
            ++m_nDropped;
            return false;
        }
        // Unchanged data is dropped once a reply of the device has arrived;
        // until then (its record lost) the next reply may stand in for it.
        if (nFingerprint == device.nFingerprint && device.bDelivered) {
            ++m_nDropped;
            return false;
        }
        device.nFingerprint = nFingerprint;
        device.eStage = STAGE_ADMITTED;
        return true;
    }
    CVLString strNetwork = m_LocalNetworks.GetNetwork(strFrom);
    SNetworkCount& count = m_NetworkCounts[strNetwork];
    if (count.nDevices >= MAX_DEVICES) {
        if (!count.bBoundTraced) {
            count.bBoundTraced = true;
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECMReplyFilter: %d devices found on %s; further devices there are dropped",
                             MAX_DEVICES, strNetwork.GetLength() > 0 ? TextOf(strNetwork) : "no local network");
        }
        drop(count.bound, strFrom, strReceiver);
        return false;
    }
    int& nMACs = m_MACsPerSource[strFrom];
    if (nMACs >= MAX_MACS_PER_SOURCE) {
        if (m_TracedSources.insert(strFrom).second)
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECMReplyFilter: %s answered with more than %d MAC addresses; further ones are "
                             "dropped",
                             TextOf(strFrom), MAX_MACS_PER_SOURCE);
        drop(count.sourceBound, strFrom, strReceiver);
        return false;
    }
    ++nMACs;
    ++count.nDevices;
    SDevice& device = m_Devices[strMAC];
    device.strFrom = strFrom;
    device.strNetwork = strNetwork;
    device.nFingerprint = nFingerprint;
    device.eStage = STAGE_ADMITTED;
    return true;
}

void CVLECMReplyFilter::Queued(const CVLString& strMAC, CVLTarget* pRecord)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return;
    auto it = m_Devices.find(strMAC);
    if (it != m_Devices.end() && it->second.eStage == STAGE_ADMITTED && pRecord != nullptr) {
        it->second.pWaiting = pRecord;
        m_WaitingDevices[pRecord] = strMAC;
    }
}

CVLECMReplyFilter::EHold CVLECMReplyFilter::Hold(CVLCallbackInfo* pRecord)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock() || pRecord == nullptr || m_bClosed)
        return HOLD_NOT_OURS;
    auto waiting = m_WaitingDevices.find(pRecord->GetTarget());
    if (waiting == m_WaitingDevices.end())
        return HOLD_NOT_OURS;
    auto it = m_Devices.find(waiting->second);
    if (it == m_Devices.end() || it->second.eStage != STAGE_ADMITTED)
        return HOLD_NOT_OURS;
    SDevice& device = it->second;
    if (m_HandOn.Offer(device.strNetwork, pRecord)) {
        device.eStage = STAGE_HANDED_ON;
        return HOLD_HAND_ON;
    }
    device.eStage = STAGE_HELD;
    return HOLD_KEPT;
}

CVLCallbackInfo* CVLECMReplyFilter::NextToHandOn()
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return nullptr;
    CVLCallbackInfo* pRecord = m_HandOn.Next();
    if (pRecord == nullptr)
        return nullptr;
    auto waiting = m_WaitingDevices.find(pRecord->GetTarget());
    auto it = waiting != m_WaitingDevices.end() ? m_Devices.find(waiting->second) : m_Devices.end();
    if (it != m_Devices.end())
        it->second.eStage = STAGE_HANDED_ON;
    return pRecord;
}

void CVLECMReplyFilter::Delivered(const CVLString& strMAC)
{
    release(strMAC, true);
}

bool CVLECMReplyFilter::leave(SDevice& device, bool bDelivered)
{
    if (device.eStage == STAGE_NONE)
        return false;
    if (device.eStage == STAGE_HANDED_ON)
        m_HandOn.Left();
    device.eStage = STAGE_NONE;
    device.bDelivered = device.bDelivered || bDelivered;
    if (device.pWaiting != nullptr)
        m_WaitingDevices.erase(device.pWaiting);
    device.pWaiting = nullptr;
    return true;
}

void CVLECMReplyFilter::release(const CVLString& strMAC, bool bDelivered)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return;
    auto it = m_Devices.find(strMAC);
    if (it != m_Devices.end())
        leave(it->second, bDelivered);
}

bool CVLECMReplyFilter::QueueRefused(CVLTarget* pRecord)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock() || pRecord == nullptr)
        return false;
    auto waiting = m_WaitingDevices.find(pRecord);
    if (waiting == m_WaitingDevices.end())
        return false;
    auto it = m_Devices.find(waiting->second);
    return it != m_Devices.end() && leave(it->second, false);
}

void CVLECMReplyFilter::NotCopied(const CVLString& strMAC)
{
    release(strMAC, false);
}

void CVLECMReplyFilter::Forget(CVLTarget* pTarget)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock() || pTarget == nullptr)
        return;
    auto waiting = m_WaitingDevices.find(pTarget);
    if (waiting == m_WaitingDevices.end())
        return;
    auto it = m_Devices.find(waiting->second);
    if (it == m_Devices.end()) {
        m_WaitingDevices.erase(waiting);
        return;
    }
    SDevice& device = it->second;
    if (device.eStage == STAGE_HELD)
        delete m_HandOn.Withdraw(device.strNetwork, pTarget);
    leave(device, false);
}

void CVLECMReplyFilter::dropHeld()
{
    for (CVLCallbackInfo* pRecord : m_HandOn.TakeWaiting()) {
        auto waiting = m_WaitingDevices.find(pRecord->GetTarget());
        if (waiting != m_WaitingDevices.end()) {
            auto it = m_Devices.find(waiting->second);
            if (it != m_Devices.end()) {
                it->second.eStage = STAGE_NONE;
                it->second.pWaiting = nullptr;
            }
            m_WaitingDevices.erase(waiting);
        }
        delete pRecord;
    }
}

void CVLECMReplyFilter::Close()
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return;
    m_bClosed = true;
    dropHeld();
    for (auto& entry : m_Devices) {
        entry.second.eStage = STAGE_NONE;
        entry.second.pWaiting = nullptr;
    }
    m_WaitingDevices.clear();
    m_HandOn.Clear();
}

void CVLECMReplyFilter::GetHandOnCounts(int& nHeld, int& nHandedOn)
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    nHeld = m_HandOn.GetWaitingCount();
    nHandedOn = m_HandOn.GetHandedOnCount();
}

CVLString CVLECMReplyFilter::GetConflictAddress(const CVLString& strMAC)
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    auto it = m_Devices.find(CVLECMNIFInfo::NormalizeMACAddress(strMAC));
    return it != m_Devices.end() ? it->second.strConflict : CVLString(VL_CHARSET_UTF8);
}

CVLString CVLECMReplyFilter::GetFirstAddress(const CVLString& strMAC)
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    auto it = m_Devices.find(CVLECMNIFInfo::NormalizeMACAddress(strMAC));
    return it != m_Devices.end() ? it->second.strFrom : CVLString(VL_CHARSET_UTF8);
}

unsigned long CVLECMReplyFilter::GetDroppedCount()
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    return m_nDropped;
}

unsigned long CVLECMReplyFilter::GetRefusedCount()
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    return m_nRefused;
}

unsigned long CVLECMReplyFilter::GetRefusedCount(const CVLString& strFrom)
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    auto it = m_RefusedPerSource.find(strFrom);
    return it != m_RefusedPerSource.end() ? it->second : 0;
}

std::vector<CVLECMReplyFilter::SBoundReport> CVLECMReplyFilter::GetBoundReports()
{
    std::vector<SBoundReport> reports;
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return reports;
    auto add = [&reports](const CVLString& strNetwork, EBound eBound, int nBound, const SDropped& dropped) {
        SBoundReport report;
        report.strNetwork = strNetwork;
        report.eBound = eBound;
        report.nBound = nBound;
        report.nReplies = dropped.nReplies;
        report.nAddresses = static_cast<unsigned long>(dropped.addresses.size());
        report.interfaces.assign(dropped.interfaces.begin(), dropped.interfaces.end());
        report.bUnknownSocket = dropped.bUnknownSocket;
        reports.push_back(report);
    };
    for (const auto& entry : m_NetworkCounts) {
        if (entry.second.bound.nReplies > 0)
            add(entry.first, BOUND_NETWORK, MAX_DEVICES, entry.second.bound);
    }
    for (const auto& entry : m_NetworkCounts) {
        if (entry.second.sourceBound.nReplies > 0)
            add(entry.first, BOUND_SOURCE, MAX_MACS_PER_SOURCE, entry.second.sourceBound);
    }
    return reports;
}
