// The hand-on of admitted replies to the dispatch queue, networks in turn.
#include "ecm/VLECMHandOnQueue.h"

#include "cm/VLCallbackInfo.h"

CVLECMHandOnQueue::CVLECMHandOnQueue() : m_nHandedOn(0)
{
}

void CVLECMHandOnQueue::Clear()
{
    m_Waiting.Clear();
    m_nHandedOn = 0;
}

bool CVLECMHandOnQueue::Offer(const CVLString& strNetwork, CVLCallbackInfo* pRecord)
{
    // Records wait here only while the dispatch queue is full: there is
    // nobody to pass.
    if (m_nHandedOn < MAX_HANDED_ON && m_Waiting.IsEmpty()) {
        ++m_nHandedOn;
        m_Waiting.Served(strNetwork);
        return true;
    }
    m_Waiting.Push(strNetwork, pRecord);
    return false;
}

void CVLECMHandOnQueue::Left()
{
    if (m_nHandedOn > 0)
        --m_nHandedOn;
}

CVLCallbackInfo* CVLECMHandOnQueue::Next()
{
    CVLCallbackInfo* pRecord = nullptr;
    if (m_nHandedOn >= MAX_HANDED_ON || !m_Waiting.Take(pRecord))
        return nullptr;
    ++m_nHandedOn;
    return pRecord;
}

CVLCallbackInfo* CVLECMHandOnQueue::Withdraw(const CVLString& strNetwork, const CVLTarget* pTarget)
{
    CVLCallbackInfo* pRecord = nullptr;
    m_Waiting.Remove(
        strNetwork, [pTarget](CVLCallbackInfo* pWaiting) { return pWaiting->GetTarget() == pTarget; }, &pRecord);
    return pRecord;
}

std::vector<CVLCallbackInfo*> CVLECMHandOnQueue::TakeWaiting()
{
    return m_Waiting.TakeAll();
}
