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

bool CVLECMHandOnQueue::Offer(const CVLString& strNetwork, CVLCallbackInfo* pRecord)
{
    // Records wait here only while the dispatch queue is full: there is
    // nobody to pass.
    if (m_nHandedOn < MAX_HANDED_ON && m_Networks.empty()) {
        ++m_nHandedOn;
        m_strLastNetwork = strNetwork;
        return true;
    }
    m_Networks[strNetwork].push_back(pRecord);
    return false;
}

void CVLECMHandOnQueue::Left()
{
    if (m_nHandedOn > 0)
        --m_nHandedOn;
}

CVLCallbackInfo* CVLECMHandOnQueue::Next()
{
    if (m_nHandedOn >= MAX_HANDED_ON || m_Networks.empty())
        return nullptr;
    // The first network after the one served last.
    auto it = m_Networks.upper_bound(m_strLastNetwork);
    if (it == m_Networks.end())
        it = m_Networks.begin();
    CVLCallbackInfo* pRecord = it->second.front();
    it->second.pop_front();
    m_strLastNetwork = it->first;
    if (it->second.empty())
        m_Networks.erase(it);
    ++m_nHandedOn;
    return pRecord;
}

CVLCallbackInfo* CVLECMHandOnQueue::Withdraw(const CVLString& strNetwork, const CVLTarget* pTarget)
{
    auto network = m_Networks.find(strNetwork);
    if (network == m_Networks.end())
        return nullptr;
    std::deque<CVLCallbackInfo*>& waiting = network->second;
    for (auto it = waiting.begin(); it != waiting.end(); ++it) {
        if ((*it)->GetTarget() == pTarget) {
            CVLCallbackInfo* pRecord = *it;
            waiting.erase(it);
            if (waiting.empty())
                m_Networks.erase(network);
            return pRecord;
        }
    }
    return nullptr;
}

std::vector<CVLCallbackInfo*> CVLECMHandOnQueue::TakeWaiting()
{
    std::vector<CVLCallbackInfo*> records;
    for (const auto& network : m_Networks)
        records.insert(records.end(), network.second.begin(), network.second.end());
    m_Networks.clear();
    return records;
}

int CVLECMHandOnQueue::GetWaitingCount() const
{
    size_t n = 0;
    for (const auto& network : m_Networks)
        n += network.second.size();
    return static_cast<int>(n);
}
