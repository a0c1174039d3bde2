// The chains' checks and places, and who waits for them in what order.
#include "ecm/probe/VLECMChainScheduler.h"

#include <algorithm>
#include <utility>

CVLECMChainScheduler::CVLECMChainScheduler(TFindChain fnFind) : m_fnFind(std::move(fnFind))
{
}

CVLECMChainScheduler::SChain& CVLECMChainScheduler::chainOf(TChain chain)
{
    if (!m_fnFind)
        return m_Chains[chain];
    SChain* pChain = m_fnFind(chain);
    if (pChain != nullptr)
        return *pChain;
    m_Unknown = SChain();
    return m_Unknown;
}

CVLECMChainScheduler::SChain* CVLECMChainScheduler::findHeld(TChain chain)
{
    return const_cast<SChain*>(static_cast<const CVLECMChainScheduler*>(this)->findHeld(chain));
}

const CVLECMChainScheduler::SChain* CVLECMChainScheduler::findHeld(TChain chain) const
{
    const SChain* pChain = nullptr;
    if (m_fnFind) {
        pChain = m_fnFind(chain);
    } else {
        auto it = m_Chains.find(chain);
        pChain = it != m_Chains.end() ? &it->second : nullptr;
    }
    return pChain != nullptr && pChain->eHeld != HELD_NONE ? pChain : nullptr;
}

void CVLECMChainScheduler::forget(TChain chain, SChain& held)
{
    held.eHeld = HELD_NONE;
    if (!m_fnFind)
        m_Chains.erase(chain);
}

void CVLECMChainScheduler::Reset()
{
    m_Chains.clear();
    m_nChecking = 0;
    m_ChecksWaiting.Clear();
    m_nSharedTaken = 0;
    m_Networks.clear();
    m_strLastShared = CVLString();
    m_bNamedPlaceTaken = false;
    m_nNamedWaiting = 0;
    m_Deferred.clear();
    m_Trial = nullptr;
    m_nRetryTicks = 1;
    m_nTicksLeft = 0;
    m_bStopped = false;
}

void CVLECMChainScheduler::Stop()
{
    m_bStopped = true;
    for (const TChain chain : m_ChecksWaiting.TakeAll())
        forget(chain, chainOf(chain));
    for (auto& network : m_Networks) {
        for (const TChain chain : network.second.waiting)
            forget(chain, chainOf(chain));
        network.second.waiting.clear();
    }
    for (const TChain chain : m_Deferred)
        forget(chain, chainOf(chain));
    m_Deferred.clear();
    m_Trial = nullptr;
    m_nNamedWaiting = 0;
}

void CVLECMChainScheduler::SetCheckLimit(int nChecks)
{
    m_nCheckLimit = std::max(1, std::min(static_cast<int>(MAX_CHECKING), nChecks));
}

void CVLECMChainScheduler::SetPlaces(int nPerNetwork, int nShared)
{
    m_nPerNetwork = std::max(1, std::min(static_cast<int>(MAX_PLACES_PER_NETWORK), nPerNetwork));
    m_nShared = std::max(0, nShared);
}

void CVLECMChainScheduler::ShareOut(long nPlaces, int nNetworks, int& nPerNetwork, int& nShared)
{
    const long nEach = MAX_PLACES_PER_NETWORK;
    nNetworks = std::max(1, nNetworks);
    if (nPlaces >= nEach * nNetworks) {
        nPerNetwork = MAX_PLACES_PER_NETWORK;
        nShared = 0;
        return;
    }
    // Half of what there is kept network by network (a network's own
    // stalling hosts never take another's), the other half for whichever
    // networks need more: a network's hosts then take no more than they
    // leave the others.
    nPerNetwork = static_cast<int>(std::max(1L, nPlaces / (2L * nNetworks)));
    nShared = static_cast<int>(std::max(0L, nPlaces - static_cast<long>(nPerNetwork) * nNetworks));
}

bool CVLECMChainScheduler::AskCheck(TChain chain, const CVLString& strNetwork, bool bNamed)
{
    SChain& held = chainOf(chain);
    held.strNetwork = strNetwork;
    held.bNamed = bNamed;
    // Only the bound of checks makes one wait, never the named address.
    if (m_bStopped || (m_nChecking >= m_nCheckLimit && !bNamed)) {
        held.eHeld = HELD_WAITING_CHECK;
        m_ChecksWaiting.Push(strNetwork, chain);
        return false;
    }
    held.eHeld = HELD_CHECK;
    ++m_nChecking;
    return true;
}

bool CVLECMChainScheduler::AskPlace(TChain chain, const CVLString& strNetwork, bool bNamed)
{
    SChain& held = chainOf(chain);
    held.strNetwork = strNetwork;
    held.bNamed = bNamed;
    SNetwork& network = m_Networks[strNetwork];
    if (!m_bStopped) {
        if (bNamed && !m_bNamedPlaceTaken) {
            m_bNamedPlaceTaken = true;
            held.eHeld = HELD_NAMED_PLACE;
            return true;
        }
        // No chain of the network waits while it may take a place: its
        // line is empty here, but for a named chain ahead of it.
        if (network.waiting.empty() || bNamed) {
            if (network.nOwn < m_nPerNetwork) {
                ++network.nOwn;
                held.eHeld = HELD_PLACE;
                return true;
            }
            if (m_nSharedTaken < m_nShared && network.nOwn + network.nShared < MAX_PLACES_PER_NETWORK) {
                ++network.nShared;
                ++m_nSharedTaken;
                m_strLastShared = strNetwork;
                held.eHeld = HELD_PLACE;
                return true;
            }
        }
    }
    // The named address goes ahead of every chain of its network.
    held.eHeld = HELD_WAITING_PLACE;
    if (bNamed) {
        network.waiting.push_front(chain);
        ++m_nNamedWaiting;
    } else {
        network.waiting.push_back(chain);
    }
    return false;
}

void CVLECMChainScheduler::Defer(TChain chain, std::vector<SStarted>& started)
{
    const SChain* pHeld = findHeld(chain);
    if (pHeld == nullptr)
        return;
    const SChain before = *pHeld;
    // A trial deferred again: the computer still lacks what it needs.
    const bool bTrial = chain == m_Trial;
    if (bTrial)
        m_Trial = nullptr;
    Free(chain, started);
    if (m_bStopped)
        return;
    SChain& held = chainOf(chain);
    held.eHeld = HELD_DEFERRED;
    held.strNetwork = before.strNetwork;
    held.bNamed = before.bNamed;
    held.bCheck = before.eHeld == HELD_CHECK || before.eHeld == HELD_WAITING_CHECK;
    // The named address's chain is tried first, the others in turn: a
    // trial deferred again goes last.
    if (before.bNamed && !bTrial)
        m_Deferred.insert(m_Deferred.begin(), chain);
    else
        m_Deferred.push_back(chain);
    if (bTrial) {
        m_nRetryTicks = std::min(2 * m_nRetryTicks, static_cast<int>(MAX_RETRY_TICKS));
        m_nTicksLeft = m_nRetryTicks - 1;
    }
}

void CVLECMChainScheduler::Retry(std::vector<SStarted>& started)
{
    if (m_bStopped || m_Trial != nullptr)
        return;
    if (m_Deferred.empty()) {
        m_nRetryTicks = 1;
        m_nTicksLeft = 0;
        return;
    }
    if (m_nTicksLeft > 0) {
        --m_nTicksLeft;
        return;
    }
    m_Trial = m_Deferred.front();
    m_Deferred.erase(m_Deferred.begin());
    release(m_Trial, started);
    givePlaces(started);
}

bool CVLECMChainScheduler::IsDeferred(TChain chain) const
{
    const SChain* pHeld = findHeld(chain);
    return pHeld != nullptr && pHeld->eHeld == HELD_DEFERRED;
}

CVLECMChainScheduler::TChain CVLECMChainScheduler::GetHeldTrial() const
{
    const SChain* pHeld = m_Trial != nullptr ? findHeld(m_Trial) : nullptr;
    return pHeld != nullptr && (pHeld->eHeld == HELD_CHECK || pHeld->HoldsPlace()) ? m_Trial : nullptr;
}

void CVLECMChainScheduler::Holds(TChain chain, std::vector<SStarted>& started)
{
    if (chain == nullptr || chain != GetHeldTrial() || m_bStopped)
        return;
    m_Trial = nullptr;
    trialEnded(started);
    startWaitingChecks(started);
    givePlaces(started);
}

void CVLECMChainScheduler::release(TChain chain, std::vector<SStarted>& started)
{
    SChain& held = chainOf(chain);
    if (held.bCheck) {
        // The named address's check never waits; another waits at the
        // head of its network's line of checks.
        if (held.bNamed || m_nChecking < m_nCheckLimit) {
            held.eHeld = HELD_CHECK;
            ++m_nChecking;
            started.push_back({chain, true});
        } else {
            held.eHeld = HELD_WAITING_CHECK;
            m_ChecksWaiting.PushFront(held.strNetwork, chain);
        }
        return;
    }
    held.eHeld = HELD_WAITING_PLACE;
    std::deque<TChain>& waiting = m_Networks[held.strNetwork].waiting;
    if (held.bNamed) {
        waiting.push_front(chain);
        ++m_nNamedWaiting;
        return;
    }
    // The named chains waiting keep the head of the line.
    auto behind =
        std::find_if(waiting.begin(), waiting.end(), [this](TChain other) { return !chainOf(other).bNamed; });
    waiting.insert(behind, chain);
}

void CVLECMChainScheduler::trialEnded(std::vector<SStarted>& started)
{
    // What the computer lacked is there again: every deferred chain goes
    // back, in the order they were deferred.
    m_nRetryTicks = 1;
    m_nTicksLeft = 0;
    std::vector<TChain> deferred;
    deferred.swap(m_Deferred);
    for (auto it = deferred.rbegin(); it != deferred.rend(); ++it)
        release(*it, started);
}

void CVLECMChainScheduler::forgetWaiting(TChain chain, const SChain& held)
{
    if (held.eHeld == HELD_WAITING_CHECK) {
        m_ChecksWaiting.Remove(held.strNetwork, [chain](TChain waiting) { return waiting == chain; });
    } else if (held.eHeld == HELD_DEFERRED) {
        m_Deferred.erase(std::remove(m_Deferred.begin(), m_Deferred.end(), chain), m_Deferred.end());
    } else if (held.eHeld == HELD_WAITING_PLACE) {
        auto network = m_Networks.find(held.strNetwork);
        if (network != m_Networks.end()) {
            std::deque<TChain>& waiting = network->second.waiting;
            waiting.erase(std::remove(waiting.begin(), waiting.end(), chain), waiting.end());
        }
        if (held.bNamed)
            --m_nNamedWaiting;
    }
}

void CVLECMChainScheduler::Free(TChain chain, std::vector<SStarted>& started)
{
    SChain* pHeld = findHeld(chain);
    if (pHeld == nullptr)
        return;
    const SChain held = *pHeld;
    forget(chain, *pHeld);
    // A trial that held its check or place and ends otherwise than
    // deferred got through.
    const bool bGotThrough = chain == m_Trial && held.eHeld != HELD_WAITING_CHECK && held.eHeld != HELD_WAITING_PLACE &&
                             held.eHeld != HELD_DEFERRED;
    if (chain == m_Trial)
        m_Trial = nullptr;
    if (bGotThrough && !m_bStopped)
        trialEnded(started);
    switch (held.eHeld) {
    case HELD_NONE:
        return;
    case HELD_WAITING_CHECK:
    case HELD_WAITING_PLACE:
    case HELD_DEFERRED:
        forgetWaiting(chain, held);
        return;
    case HELD_CHECK:
        --m_nChecking;
        startWaitingChecks(started);
        if (bGotThrough)
            givePlaces(started);
        return;
    case HELD_NAMED_PLACE:
        m_bNamedPlaceTaken = false;
        break;
    case HELD_PLACE: {
        // A network uses its own places first: the pool's goes back as soon
        // as one of its chains ends, to whichever network needs it.
        SNetwork& network = m_Networks[held.strNetwork];
        if (network.nShared > 0) {
            --network.nShared;
            --m_nSharedTaken;
        } else {
            --network.nOwn;
        }
        break;
    }
    }
    givePlaces(started);
}

void CVLECMChainScheduler::startWaitingChecks(std::vector<SStarted>& started)
{
    TChain chain = nullptr;
    while (!m_bStopped && m_nChecking < m_nCheckLimit && m_ChecksWaiting.Take(chain)) {
        chainOf(chain).eHeld = HELD_CHECK;
        ++m_nChecking;
        started.push_back({chain, true});
    }
}

void CVLECMChainScheduler::giveFirst(SNetwork& network, EHeld ePlace, std::vector<SStarted>& started)
{
    const TChain chain = network.waiting.front();
    network.waiting.pop_front();
    SChain& held = chainOf(chain);
    if (held.bNamed)
        --m_nNamedWaiting;
    held.eHeld = ePlace;
    started.push_back({chain, false});
}

void CVLECMChainScheduler::givePlaces(std::vector<SStarted>& started)
{
    if (m_bStopped)
        return;
    // A named chain that waits is ahead of its network's others.
    if (!m_bNamedPlaceTaken && m_nNamedWaiting > 0) {
        for (auto& network : m_Networks) {
            auto named = std::find_if(network.second.waiting.begin(), network.second.waiting.end(),
                                      [this](TChain chain) { return chainOf(chain).bNamed; });
            if (named == network.second.waiting.end())
                continue;
            // Brought to the head, it takes the named place.
            const TChain chain = *named;
            network.second.waiting.erase(named);
            network.second.waiting.push_front(chain);
            m_bNamedPlaceTaken = true;
            giveFirst(network.second, HELD_NAMED_PLACE, started);
            break;
        }
    }
    for (auto& network : m_Networks) {
        while (!network.second.waiting.empty() && network.second.nOwn < m_nPerNetwork) {
            ++network.second.nOwn;
            giveFirst(network.second, HELD_PLACE, started);
        }
    }
    // The pool's free places, the networks that wait in turn (in the order
    // of their names, from the one after the network served last).
    while (m_nSharedTaken < m_nShared && !m_Networks.empty()) {
        auto start = m_Networks.upper_bound(m_strLastShared);
        if (start == m_Networks.end())
            start = m_Networks.begin();
        auto it = start;
        bool bGiven = false;
        do {
            SNetwork& network = it->second;
            if (!network.waiting.empty() && network.nOwn + network.nShared < MAX_PLACES_PER_NETWORK) {
                ++network.nShared;
                ++m_nSharedTaken;
                m_strLastShared = it->first;
                giveFirst(network, HELD_PLACE, started);
                bGiven = true;
                break;
            }
            if (++it == m_Networks.end())
                it = m_Networks.begin();
        } while (it != start);
        if (!bGiven)
            break;
    }
}

int CVLECMChainScheduler::GetRunningCount() const
{
    int nRunning = m_bNamedPlaceTaken ? 1 : 0;
    for (const auto& network : m_Networks)
        nRunning += network.second.nOwn + network.second.nShared;
    return nRunning;
}

int CVLECMChainScheduler::GetWaitingCount() const
{
    int nWaiting = m_ChecksWaiting.GetCount() + static_cast<int>(m_Deferred.size());
    for (const auto& network : m_Networks)
        nWaiting += static_cast<int>(network.second.waiting.size());
    return nWaiting;
}

int CVLECMChainScheduler::GetRunningCount(const CVLString& strNetwork) const
{
    auto it = m_Networks.find(strNetwork);
    return it != m_Networks.end() ? it->second.nOwn + it->second.nShared : 0;
}
