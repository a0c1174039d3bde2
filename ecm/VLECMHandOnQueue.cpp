// The hand-on of admitted replies to the dispatch queue, networks in turn.
#include "ecm/VLECMHandOnQueue.h"

#include "cm/VLCallbackInfo.h"

CVLECMHandOnQueue::CVLECMHandOnQueue() : m_nHandedOn(0)
{
}

void CVLECMHandOnQueue::Clear()
{
    m_Networks.clear();
    m_strLastNetwork = CVLString();
    m_nHandedOn = 0;
}

bool CVLECMHandOnQueue::Admit(const CVLString& strNetwork)
{
    SNetwork& network = m_Networks[strNetwork];
    if (network.nAdmitted >= MAX_ADMITTED)
        return false;
    ++network.nAdmitted;
    return true;
}

bool CVLECMHandOnQueue::Offer(const CVLString& strNetwork, CVLCallbackInfo* pRecord)
{
    // Records wait here only while the dispatch queue is full: there is
    // nobody to pass.
    if (m_nHandedOn < MAX_HANDED_ON && GetWaitingCount() == 0) {
        ++m_nHandedOn;
        m_strLastNetwork = strNetwork;
        return true;
    }
    m_Networks[strNetwork].waiting.push_back(pRecord);
    return false;
}

void CVLECMHandOnQueue::Leave(const CVLString& strNetwork, bool bHandedOn)
{
    if (bHandedOn && m_nHandedOn > 0)
        --m_nHandedOn;
    auto it = m_Networks.find(strNetwork);
    if (it == m_Networks.end())
        return;
    if (it->second.nAdmitted > 0)
        --it->second.nAdmitted;
    if (it->second.nAdmitted == 0 && it->second.waiting.empty())
        m_Networks.erase(it);
}

CVLCallbackInfo* CVLECMHandOnQueue::Next()
{
    if (m_nHandedOn >= MAX_HANDED_ON)
        return nullptr;
    // The first network after the one served last that has a record waiting.
    auto it = m_Networks.upper_bound(m_strLastNetwork);
    for (size_t n = 0; n < m_Networks.size(); ++n, ++it) {
        if (it == m_Networks.end())
            it = m_Networks.begin();
        if (it->second.waiting.empty())
            continue;
        CVLCallbackInfo* pRecord = it->second.waiting.front();
        it->second.waiting.pop_front();
        m_strLastNetwork = it->first;
        ++m_nHandedOn;
        return pRecord;
    }
    return nullptr;
}

CVLCallbackInfo* CVLECMHandOnQueue::Withdraw(const CVLString& strNetwork, const CVLTarget* pTarget)
{
    auto network = m_Networks.find(strNetwork);
    if (network == m_Networks.end())
        return nullptr;
    std::deque<CVLCallbackInfo*>& waiting = network->second.waiting;
    for (auto it = waiting.begin(); it != waiting.end(); ++it) {
        if ((*it)->GetTarget() == pTarget) {
            CVLCallbackInfo* pRecord = *it;
            waiting.erase(it);
            return pRecord;
        }
    }
    return nullptr;
}

std::vector<CVLCallbackInfo*> CVLECMHandOnQueue::TakeWaiting()
{
    std::vector<CVLCallbackInfo*> records;
    for (auto it = m_Networks.begin(); it != m_Networks.end();) {
        SNetwork& network = it->second;
        network.nAdmitted -= static_cast<int>(network.waiting.size());
        records.insert(records.end(), network.waiting.begin(), network.waiting.end());
        network.waiting.clear();
        if (network.nAdmitted <= 0)
            it = m_Networks.erase(it);
        else
            ++it;
    }
    return records;
}

int CVLECMHandOnQueue::GetAdmittedCount(const CVLString& strNetwork) const
{
    auto it = m_Networks.find(strNetwork);
    return it != m_Networks.end() ? it->second.nAdmitted : 0;
}

int CVLECMHandOnQueue::GetWaitingCount() const
{
    size_t n = 0;
    for (const auto& entry : m_Networks)
        n += entry.second.waiting.size();
    return static_cast<int>(n);
}
