// The local networks' turns: what waits, by the local network it belongs to
// ("" for none), each network's in the order it came, taken out one at a
// time from the networks in turn (in the order of their names, from the one
// after the network served last), so that one network's flood delays no
// other network's items by more than a turn. A network with nothing waiting
// takes no turn. Not thread-safe: its owner locks around it.
#ifndef TVLECMNETWORKTURNS_H
#define TVLECMNETWORKTURNS_H

#include <deque>
#include <map>
#include <vector>

#include "base/core/VLString.h"

template <class TItem>
class TVLECMNetworkTurns
{
public:
    // The item waits at the end of its network's line.
    void Push(const CVLString& strNetwork, const TItem& item) { m_Networks[strNetwork].push_back(item); }
    // The item waits at the head of its network's line.
    void PushFront(const CVLString& strNetwork, const TItem& item) { m_Networks[strNetwork].push_front(item); }

    // Takes the first item of the network whose turn it is; false when
    // nothing waits.
    bool Take(TItem& item)
    {
        return Take(item, [](const CVLString&) { return true; });
    }

    // The same, from the first network in turn that fnAllowed (given the
    // network's name) lets go on; false when none waits that may.
    template <class TAllowed>
    bool Take(TItem& item, TAllowed fnAllowed)
    {
        if (m_Networks.empty())
            return false;
        auto start = m_Networks.upper_bound(m_strLastNetwork);
        if (start == m_Networks.end())
            start = m_Networks.begin();
        auto it = start;
        do {
            if (fnAllowed(it->first)) {
                item = it->second.front();
                it->second.pop_front();
                m_strLastNetwork = it->first;
                if (it->second.empty())
                    m_Networks.erase(it);
                return true;
            }
            if (++it == m_Networks.end())
                it = m_Networks.begin();
        } while (it != start);
        return false;
    }

    // An item of that network went on without waiting: it had its turn.
    void Served(const CVLString& strNetwork) { m_strLastNetwork = strNetwork; }

    // Takes out the first item of that network's line that fnMatch picks
    // (into *pItem when given); false when none does.
    template <class TMatch>
    bool Remove(const CVLString& strNetwork, TMatch fnMatch, TItem* pItem = nullptr)
    {
        auto network = m_Networks.find(strNetwork);
        if (network == m_Networks.end())
            return false;
        std::deque<TItem>& waiting = network->second;
        for (auto it = waiting.begin(); it != waiting.end(); ++it) {
            if (!fnMatch(*it))
                continue;
            if (pItem != nullptr)
                *pItem = *it;
            waiting.erase(it);
            if (waiting.empty())
                m_Networks.erase(network);
            return true;
        }
        return false;
    }

    // Takes every waiting item out, network by network; whose turn it is
    // stays.
    std::vector<TItem> TakeAll()
    {
        std::vector<TItem> items;
        for (const auto& network : m_Networks)
            items.insert(items.end(), network.second.begin(), network.second.end());
        m_Networks.clear();
        return items;
    }

    // Forgets what waits and whose turn it is.
    void Clear()
    {
        m_Networks.clear();
        m_strLastNetwork = CVLString();
    }

    bool IsEmpty() const { return m_Networks.empty(); }

    int GetCount() const
    {
        size_t n = 0;
        for (const auto& network : m_Networks)
            n += network.second.size();
        return static_cast<int>(n);
    }

private:
    std::map<CVLString, std::deque<TItem>> m_Networks;
    CVLString m_strLastNetwork;
};

#endif
