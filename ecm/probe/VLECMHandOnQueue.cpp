// The records of admitted replies on their way to the dispatch queue,
// networks in turn.
#include "ecm/probe/VLECMHandOnQueue.h"

#include "base/core/VLCharset.h"
#include "base/core/VLThreadLock.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetLock.h"
#include "ecm/core/VLECMPrivate.h"
#include "ecm/probe/VLECMMACTable.h"

namespace {
// The line of the address the user named, apart from every network's (no
// network is named so).
const char kNamedLine[] = "named address";
}  // namespace

CVLECMHandOnQueue::CVLECMHandOnQueue(CVLECMMACTable* pTable)
    : m_pTable(pTable), m_nHandedOn(0), m_nUnlistedWaiting(0), m_bClosed(false)
{
}

CVLECMHandOnQueue::~CVLECMHandOnQueue()
{
    for (CVLCallbackInfo* pRecord : m_Held.TakeAll())
        delete pRecord;
}

void CVLECMHandOnQueue::Reset()
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    dropHeld();
    m_Devices.clear();
    m_WaitingDevices.clear();
    m_Held.Clear();
    m_nHandedOn = 0;
    m_nUnlistedWaiting = 0;
    m_bClosed = false;
}

CVLECMHandOnQueue::EWait CVLECMHandOnQueue::GetWait(const SVLECMReplyKey& key)
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    auto it = m_Devices.find(key);
    if (it == m_Devices.end())
        return WAIT_NONE;
    if (it->second.eStage != STAGE_NONE)
        return WAIT_WAITING;
    return wasDelivered(key) ? WAIT_DELIVERED : WAIT_NONE;
}

bool CVLECMHandOnQueue::MergeIntoWaiting(const SVLECMReplyKey& key, CVLTarget* pReply)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock() || pReply == nullptr)
        return false;
    auto it = m_Devices.find(key);
    if (it == m_Devices.end() || it->second.eStage == STAGE_NONE || it->second.pWaiting == nullptr)
        return false;
    CVLTargetLock waitingLock(it->second.pWaiting);
    it->second.pWaiting->Marge(pReply);
    return true;
}

void CVLECMHandOnQueue::Admitted(const SVLECMReplyKey& key, const CVLString& strNetwork)
{
    // The named MAC's from an address on none of the computer's networks
    // gains nothing, as in the reply filter.
    const bool bNamed = m_pTable != nullptr && ((key.strAddress.GetLength() > 0 &&
                                                 key.strAddress == m_pTable->GetNamedAddress()) ||
                                                (strNetwork.GetLength() > 0 && m_pTable->IsNamedMAC(key.strMAC)));
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return;
    SDevice& device = m_Devices[key];
    device.strNetwork = bNamed ? CVLString(kNamedLine, VL_CHARSET_UTF8) : strNetwork;
    if (device.eStage == STAGE_NONE && !wasDelivered(key))
        ++m_nUnlistedWaiting;
    device.eStage = STAGE_ADMITTED;
}

void CVLECMHandOnQueue::Copied(const SVLECMReplyKey& key, CVLTarget* pCopy)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return;
    auto it = m_Devices.find(key);
    if (it != m_Devices.end() && it->second.eStage == STAGE_ADMITTED && pCopy != nullptr) {
        it->second.pWaiting = pCopy;
        m_WaitingDevices[pCopy] = key;
    }
}

void CVLECMHandOnQueue::NotCopied(const SVLECMReplyKey& key)
{
    release(key, false);
    if (m_pTable != nullptr)
        m_pTable->ReplyLost(key);
}

CVLECMHandOnQueue::TDevices::iterator CVLECMHandOnQueue::findWaiting(const CVLTarget* pTarget)
{
    auto waiting = m_WaitingDevices.find(pTarget);
    return waiting != m_WaitingDevices.end() ? m_Devices.find(waiting->second) : m_Devices.end();
}

CVLECMHandOnQueue::EHold CVLECMHandOnQueue::Hold(CVLCallbackInfo* pRecord)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock() || pRecord == nullptr || m_bClosed)
        return HOLD_NOT_OURS;
    auto it = findWaiting(pRecord->GetTarget());
    if (it == m_Devices.end() || it->second.eStage != STAGE_ADMITTED)
        return HOLD_NOT_OURS;
    SDevice* pDevice = &it->second;
    // Records are held only while the dispatch queue is full: there is
    // nobody to pass.
    if (m_nHandedOn < MAX_HANDED_ON && m_Held.IsEmpty()) {
        ++m_nHandedOn;
        m_Held.Served(pDevice->strNetwork);
        pDevice->eStage = STAGE_HANDED_ON;
        return HOLD_HAND_ON;
    }
    m_Held.Push(pDevice->strNetwork, pRecord);
    pDevice->eStage = STAGE_HELD;
    return HOLD_KEPT;
}

CVLCallbackInfo* CVLECMHandOnQueue::NextToHandOn()
{
    CVLThreadLock lock(&m_Sync);
    CVLCallbackInfo* pRecord = nullptr;
    if (!lock.Lock() || m_nHandedOn >= MAX_HANDED_ON)
        return nullptr;
    // The named address's record goes before every network's.
    const CVLString strNamed(kNamedLine, VL_CHARSET_UTF8);
    if (!m_Held.Take(pRecord, [&strNamed](const CVLString& strLine) { return strLine == strNamed; }) &&
        !m_Held.Take(pRecord))
        return nullptr;
    ++m_nHandedOn;
    auto it = findWaiting(pRecord->GetTarget());
    if (it != m_Devices.end())
        it->second.eStage = STAGE_HANDED_ON;
    return pRecord;
}

void CVLECMHandOnQueue::Delivered(const SVLECMReplyKey& key)
{
    release(key, true);
}

bool CVLECMHandOnQueue::leave(TDevices::iterator it, bool bDelivered)
{
    SDevice& device = it->second;
    if (device.eStage == STAGE_NONE)
        return false;
    // Its place in the dispatch queue is free.
    if (device.eStage == STAGE_HANDED_ON && m_nHandedOn > 0)
        --m_nHandedOn;
    device.eStage = STAGE_NONE;
    if (!wasDelivered(it->first) && m_nUnlistedWaiting > 0)
        --m_nUnlistedWaiting;
    // A lost record's data was never delivered: the filter must not take a
    // later reply carrying it for a repeat.
    if (m_pTable != nullptr)
        m_pTable->SetDelivered(it->first, bDelivered);
    if (device.pWaiting != nullptr)
        m_WaitingDevices.erase(device.pWaiting);
    device.pWaiting = nullptr;
    return true;
}

void CVLECMHandOnQueue::release(const SVLECMReplyKey& key, bool bDelivered)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return;
    auto it = m_Devices.find(key);
    if (it != m_Devices.end())
        leave(it, bDelivered);
}

bool CVLECMHandOnQueue::QueueRefused(CVLTarget* pCopy)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock() || pCopy == nullptr)
        return false;
    auto it = findWaiting(pCopy);
    if (it == m_Devices.end() || !leave(it, false))
        return false;
    // Lost before its delivery: judged so until its address is heard
    // again, not pending for ever once the probe stops.
    if (m_pTable != nullptr)
        m_pTable->ReplyLost(it->first);
    return true;
}

void CVLECMHandOnQueue::Forget(CVLTarget* pTarget)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock() || pTarget == nullptr)
        return;
    auto it = findWaiting(pTarget);
    if (it == m_Devices.end()) {
        m_WaitingDevices.erase(pTarget);
        return;
    }
    CVLCallbackInfo* pHeld = nullptr;
    if (it->second.eStage == STAGE_HELD &&
        m_Held.Remove(
            it->second.strNetwork, [pTarget](CVLCallbackInfo* pRecord) { return pRecord->GetTarget() == pTarget; },
            &pHeld))
        delete pHeld;
    leave(it, false);
}

bool CVLECMHandOnQueue::wasDelivered(const SVLECMReplyKey& key)
{
    return m_pTable != nullptr && m_pTable->WasDelivered(key);
}

void CVLECMHandOnQueue::dropHeld()
{
    for (CVLCallbackInfo* pRecord : m_Held.TakeAll()) {
        auto it = findWaiting(pRecord->GetTarget());
        if (it != m_Devices.end()) {
            SDevice* pDevice = &it->second;
            if (pDevice->eStage != STAGE_NONE && !wasDelivered(it->first) && m_nUnlistedWaiting > 0)
                --m_nUnlistedWaiting;
            pDevice->eStage = STAGE_NONE;
            pDevice->pWaiting = nullptr;
            if (m_pTable != nullptr)
                m_pTable->ReplyLost(it->first);
        }
        m_WaitingDevices.erase(pRecord->GetTarget());
        delete pRecord;
    }
}

void CVLECMHandOnQueue::Close()
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return;
    m_bClosed = true;
    dropHeld();
    for (auto& entry : m_Devices) {
        // Its reply will not be handled in this probe.
        if (entry.second.eStage != STAGE_NONE && m_pTable != nullptr)
            m_pTable->ReplyLost(entry.first);
        entry.second.eStage = STAGE_NONE;
        entry.second.pWaiting = nullptr;
    }
    m_nUnlistedWaiting = 0;
    m_WaitingDevices.clear();
    m_Held.Clear();
    m_nHandedOn = 0;
}

void CVLECMHandOnQueue::GetCounts(int& nHeld, int& nHandedOn)
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    nHeld = m_Held.GetCount();
    nHandedOn = m_nHandedOn;
}

int CVLECMHandOnQueue::GetUnlistedWaitingCount()
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    return m_nUnlistedWaiting;
}
