#include "ecm/core/VLECMPostAnswers.h"

#include <utility>
#include <vector>

#include "base/core/VLExceptionOwner.h"

void CVLECMPostAnswers::Post(const SPost& post, FLost fnLost, const std::function<void()>& fnPostUser)
{
    const unsigned long long nTicket = record(post, std::move(fnLost));
    try {
        fnPostUser();
    } catch (...) {
        returned(nTicket);
        throw;
    }
    returned(nTicket);
}

unsigned long long CVLECMPostAnswers::record(const SPost& post, FLost fnLost)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    const unsigned long long nTicket = m_nNext++;
    STicket& ticket = m_Tickets[nTicket];
    ticket.post = post;
    ticket.fnLost = std::move(fnLost);
    return nTicket;
}

void CVLECMPostAnswers::returned(unsigned long long nTicket)
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
    std::vector<std::pair<const CVLTarget*, FLost>> losses;
    if (ticket.bRefused && ticket.fnLost)
        losses.emplace_back(ticket.post.pTarget, std::move(ticket.fnLost));
    m_Tickets.erase(it);
    runLosses(lock, losses, true);
}

bool CVLECMPostAnswers::Pass(const SPost& post, const FQueue& fnQueue)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    auto it = m_Tickets.begin();
    while (it != m_Tickets.end() &&
           !((it->second.eState == WAITING || it->second.eState == DROPPED) && it->second.post == post))
        ++it;
    if (it == m_Tickets.end()) {
        for (auto forgotten = m_Forgotten.begin(); forgotten != m_Forgotten.end(); ++forgotten) {
            if (forgotten->second == post) {
                m_Forgotten.erase(forgotten);
                return false;
            }
        }
    } else if (it->second.eState == DROPPED) {
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
    } else if (!bQueued && ticket.fnLost) {
        ticket.eState = REFUSED;
    } else {
        m_Tickets.erase(it);
    }
    return bQueued;
}

void CVLECMPostAnswers::RunRefused()
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    std::vector<std::pair<const CVLTarget*, FLost>> losses;
    for (auto it = m_Tickets.begin(); it != m_Tickets.end();) {
        if (it->second.eState != REFUSED) {
            ++it;
            continue;
        }
        losses.emplace_back(it->second.post.pTarget, std::move(it->second.fnLost));
        it = m_Tickets.erase(it);
    }
    runLosses(lock, losses, true);
}

void CVLECMPostAnswers::Judge()
{
    RunRefused();
    std::unique_lock<std::mutex> lock(m_Mutex);
    std::vector<std::pair<const CVLTarget*, FLost>> losses;
    for (auto& entry : m_Tickets) {
        STicket& ticket = entry.second;
        // A client's own post is no part of the probe: its pass-on is
        // queued whenever it comes.
        if (ticket.eState != WAITING || !ticket.fnLost)
            continue;
        ticket.eState = DROPPED;
        losses.emplace_back(ticket.post.pTarget, std::move(ticket.fnLost));
        ticket.fnLost = nullptr;
    }
    runLosses(lock, losses, false);
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
        if (ticket.eState == WAITING || ticket.eState == DROPPED) {
            if (m_Forgotten.size() >= MAX_FORGOTTEN)
                m_Forgotten.erase(m_Forgotten.begin());
            m_Forgotten.emplace(it->first, ticket.post);
        }
        it = m_Tickets.erase(it);
    }
    const std::thread::id self = std::this_thread::get_id();
    for (SRunning& running : m_Running) {
        if ((pTarget == nullptr || running.pTarget == pTarget) && !running.bStarted)
            running.bCancelled = true;
    }
    m_Idle.wait(lock, [&]() {
        for (const SRunning& running : m_Running) {
            if ((pTarget == nullptr || running.pTarget == pTarget) && running.bStarted && running.thread != self)
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

size_t CVLECMPostAnswers::GetForgottenCount()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Forgotten.size();
}

void CVLECMPostAnswers::runLosses(std::unique_lock<std::mutex>& lock,
                                  std::vector<std::pair<const CVLTarget*, FLost>>& losses, bool bRefused)
{
    // All entered at once: a Forget meanwhile cancels the ones not begun
    // (a loss may remove another target) and waits for the one running.
    std::vector<std::list<SRunning>::iterator> running;
    for (const auto& loss : losses)
        running.push_back(m_Running.insert(m_Running.end(), {loss.first, std::this_thread::get_id()}));
    for (size_t i = 0; i < losses.size(); ++i) {
        if (!running[i]->bCancelled) {
            running[i]->bStarted = true;
            lock.unlock();
            try {
                losses[i].second(bRefused);
            } catch (...) {
                ReleaseCurrentException();
            }
            lock.lock();
        }
        m_Running.erase(running[i]);
        m_Idle.notify_all();
    }
}
