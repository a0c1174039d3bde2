// The records of admitted replies on their way to the dispatch queue,
// networks in turn.
#include "ecm/probe/VLECMHandOnQueue.h"

#include <string>

#include "base/core/VLThreadLock.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetLock.h"
#include "ecm/core/VLECMPrivate.h"

CVLECMHandOnQueue::CVLECMHandOnQueue() : m_nHandedOn(0), m_nUnlistedWaiting(0), m_bClosed(false)
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

CVLECMHandOnQueue::EWait CVLECMHandOnQueue::GetWait(const CVLString& strMAC)
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    auto it = m_Devices.find(strMAC);
    if (it == m_Devices.end())
        return WAIT_NONE;
    if (it->second.eStage != STAGE_NONE)
        return WAIT_WAITING;
    return it->second.bDelivered ? WAIT_DELIVERED : WAIT_NONE;
}

bool CVLECMHandOnQueue::MergeIntoWaiting(const CVLString& strMAC, CVLTarget* pReply)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock() || pReply == nullptr)
        return false;
    auto it = m_Devices.find(strMAC);
    if (it == m_Devices.end() || it->second.eStage == STAGE_NONE || it->second.pWaiting == nullptr)
        return false;
    CVLTargetLock waitingLock(it->second.pWaiting);
    it->second.pWaiting->Marge(pReply);
    return true;
}

void CVLECMHandOnQueue::Admitted(const CVLString& strMAC, const CVLString& strNetwork)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return;
    SDevice& device = m_Devices[strMAC];
    device.strNetwork = strNetwork;
    if (device.eStage == STAGE_NONE && !device.bDelivered)
        ++m_nUnlistedWaiting;
    device.eStage = STAGE_ADMITTED;
}

void CVLECMHandOnQueue::Copied(const CVLString& strMAC, CVLTarget* pCopy)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return;
    auto it = m_Devices.find(strMAC);
    if (it != m_Devices.end() && it->second.eStage == STAGE_ADMITTED && pCopy != nullptr) {
        it->second.pWaiting = pCopy;
        m_WaitingDevices[pCopy] = strMAC;
    }
}

void CVLECMHandOnQueue::NotCopied(const CVLString& strMAC)
{
    release(strMAC, false);
}

CVLECMHandOnQueue::SDevice* CVLECMHandOnQueue::findWaiting(const CVLTarget* pTarget)
{
    auto waiting = m_WaitingDevices.find(pTarget);
    if (waiting == m_WaitingDevices.end())
        return nullptr;
    auto it = m_Devices.find(waiting->second);
    return it != m_Devices.end() ? &it->second : nullptr;
}

CVLECMHandOnQueue::EHold CVLECMHandOnQueue::Hold(CVLCallbackInfo* pRecord)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock() || pRecord == nullptr || m_bClosed)
        return HOLD_NOT_OURS;
    SDevice* pDevice = findWaiting(pRecord->GetTarget());
    if (pDevice == nullptr || pDevice->eStage != STAGE_ADMITTED)
        return HOLD_NOT_OURS;
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
    if (!lock.Lock() || m_nHandedOn >= MAX_HANDED_ON || !m_Held.Take(pRecord))
        return nullptr;
    ++m_nHandedOn;
    if (SDevice* pDevice = findWaiting(pRecord->GetTarget()))
        pDevice->eStage = STAGE_HANDED_ON;
    return pRecord;
}

void CVLECMHandOnQueue::Delivered(const CVLString& strMAC)
{
    release(strMAC, true);
}

bool CVLECMHandOnQueue::leave(SDevice& device, bool bDelivered)
{
    if (device.eStage == STAGE_NONE)
        return false;
    // Its place in the dispatch queue is free.
    if (device.eStage == STAGE_HANDED_ON && m_nHandedOn > 0)
        --m_nHandedOn;
    device.eStage = STAGE_NONE;
    if (!device.bDelivered && m_nUnlistedWaiting > 0)
        --m_nUnlistedWaiting;
    // A lost record's data was never delivered: the filter must not take a
    // later reply carrying it for a repeat.
    device.bDelivered = bDelivered;
    if (device.pWaiting != nullptr)
        m_WaitingDevices.erase(device.pWaiting);
    device.pWaiting = nullptr;
    return true;
}

void CVLECMHandOnQueue::release(const CVLString& strMAC, bool bDelivered)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return;
    auto it = m_Devices.find(strMAC);
    if (it != m_Devices.end())
        leave(it->second, bDelivered);
}

bool CVLECMHandOnQueue::QueueRefused(CVLTarget* pCopy)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock() || pCopy == nullptr)
        return false;
    SDevice* pDevice = findWaiting(pCopy);
    return pDevice != nullptr && leave(*pDevice, false);
}

void CVLECMHandOnQueue::Forget(CVLTarget* pTarget)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock() || pTarget == nullptr)
        return;
    SDevice* pDevice = findWaiting(pTarget);
    if (pDevice == nullptr) {
        m_WaitingDevices.erase(pTarget);
        return;
    }
    CVLCallbackInfo* pHeld = nullptr;
    if (pDevice->eStage == STAGE_HELD &&
        m_Held.Remove(
            pDevice->strNetwork, [pTarget](CVLCallbackInfo* pRecord) { return pRecord->GetTarget() == pTarget; },
            &pHeld))
        delete pHeld;
    leave(*pDevice, false);
}

void CVLECMHandOnQueue::dropHeld()
{
    for (CVLCallbackInfo* pRecord : m_Held.TakeAll()) {
        if (SDevice* pDevice = findWaiting(pRecord->GetTarget())) {
            if (pDevice->eStage != STAGE_NONE && !pDevice->bDelivered && m_nUnlistedWaiting > 0)
                --m_nUnlistedWaiting;
            pDevice->eStage = STAGE_NONE;
            pDevice->pWaiting = nullptr;
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

bool CVLECMHandOnQueue::IsWaiting(const CVLString& strMAC)
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    const std::string strKey = TextOf(strMAC);
    for (auto it = m_Devices.lower_bound(strMAC); it != m_Devices.end(); ++it) {
        const std::string strEntry = TextOf(it->first);
        if (strEntry.compare(0, strKey.size(), strKey) != 0 ||
            (strEntry.size() > strKey.size() && strEntry[strKey.size()] != '@'))
            break;
        if (it->second.eStage != STAGE_NONE && !it->second.bDelivered)
            return true;
    }
    return false;
}
