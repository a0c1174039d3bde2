#include "ecm/core/VLECMPostAnswers.h"

#include <utility>

#include "base/core/VLExceptionOwner.h"

unsigned long long CVLECMPostAnswers::Register(const SPost& post, FLost fnLost)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    // A target forgotten whose address serves again: a pass-on that carries
    // it now names the new one, so nothing of the old is dropped any more.
    m_Forgotten.erase(post.pTarget);
    const unsigned long long nTicket = m_nNext++;
    STicket& ticket = m_Tickets[nTicket];
    ticket.post = post;
    ticket.fnLost = std::move(fnLost);
    return nTicket;
}

void CVLECMPostAnswers::Returned(unsigned long long nTicket)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    auto it = m_Tickets.find(nTicket);
    if (it == m_Tickets.end())
        return;
    STicket& ticket = it->second;
    ticket.bPosterIn = false;
    // Waiting, it is settled when passed on; dropped, it stays to drop that.
    if (ticket.eState != ANSWERED)
        return;
    const CVLTarget* pTarget = ticket.post.pTarget;
    const bool bRefused = ticket.bRefused;
    FLost fnLost = std::move(ticket.fnLost);
    m_Tickets.erase(it);
    if (bRefused && fnLost)
        runLost(lock, pTarget, std::move(fnLost), true);
}

bool CVLECMPostAnswers::Pass(const SPost& post, const FQueue& fnQueue)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    auto range = m_Forgotten.equal_range(post.pTarget);
    for (auto forgotten = range.first; forgotten != range.second; ++forgotten) {
        if (forgotten->second == post) {
            m_Forgotten.erase(forgotten);
            return false;
        }
    }
    auto it = m_Tickets.begin();
    while (it != m_Tickets.end() && !(it->second.eState != ANSWERED && it->second.post == post))
        ++it;
    if (it != m_Tickets.end() && it->second.eState == DROPPED) {
        m_Tickets.erase(it);
        return false;
    }
    // Queued under the lock: a Forget that returned has seen it, so the
    // purge of the target after it finds it queued.
    bool bQueued = false;
    try {
        bQueued = fnQueue();
    } catch (...) {
        ReleaseCurrentException();
    }
    if (it == m_Tickets.end())
        return bQueued;
    STicket& ticket = it->second;
    if (ticket.bPosterIn) {
        ticket.eState = ANSWERED;
        ticket.bRefused = !bQueued;
        return bQueued;
    }
    FLost fnLost = std::move(ticket.fnLost);
    m_Tickets.erase(it);
    if (!bQueued && fnLost)
        runLost(lock, post.pTarget, std::move(fnLost), true);
    return bQueued;
}

void CVLECMPostAnswers::Judge()
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    std::vector<std::pair<const CVLTarget*, FLost>> lost;
    for (auto& entry : m_Tickets) {
        STicket& ticket = entry.second;
        if (ticket.eState != WAITING)
            continue;
        ticket.eState = DROPPED;
        if (ticket.fnLost)
            lost.emplace_back(ticket.post.pTarget, std::move(ticket.fnLost));
        ticket.fnLost = nullptr;
    }
    for (auto& one : lost)
        runLost(lock, one.first, std::move(one.second), false);
}

void CVLECMPostAnswers::Forget(const CVLTarget* pTarget)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (auto it = m_Tickets.begin(); it != m_Tickets.end();) {
        STicket& ticket = it->second;
        if (pTarget != nullptr && ticket.post.pTarget != pTarget) {
            ++it;
            continue;
        }
        // Passed on already, nothing more of it comes; else it may.
        if (ticket.eState != ANSWERED) {
            if (m_Forgotten.size() >= MAX_FORGOTTEN)
                m_Forgotten.erase(m_Forgotten.begin());
            m_Forgotten.emplace(ticket.post.pTarget, ticket.post);
        }
        it = m_Tickets.erase(it);
    }
    const std::thread::id self = std::this_thread::get_id();
    m_Idle.wait(lock, [&]() {
        for (const auto& running : m_Running) {
            if ((pTarget == nullptr || running.first == pTarget) && running.second != self)
                return false;
        }
        return true;
    });
}

size_t CVLECMPostAnswers::GetCount()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Tickets.size();
}

void CVLECMPostAnswers::runLost(std::unique_lock<std::mutex>& lock, const CVLTarget* pTarget, FLost fnLost,
                                bool bRefused)
{
    auto running = m_Running.emplace(pTarget, std::this_thread::get_id());
    lock.unlock();
    try {
        fnLost(bRefused);
    } catch (...) {
        ReleaseCurrentException();
    }
    lock.lock();
    m_Running.erase(running);
    m_Idle.notify_all();
}
