// What the dispatch queue answered the device manager's posts. Every post
// the device manager makes goes through Post, whoever it is for (a probe's
// chain or a client's own command), and on through PostCallbackUser, which
// a client may override: its override may pass the post on to the device
// manager's implementation at once, from another thread, later, or never,
// and may post notes of its own meanwhile. So a post is kept with its
// arguments (target, callback, id and parameter), not with the thread that
// made it: the implementation settles the oldest waiting post with the same
// arguments, whichever thread passes it on and whenever; a post of no one's
// (a client's note) settles nothing and is queued as it comes.
//
// A post made with a loss handler is the probe's. Refused, it is lost: its
// loss runs once, on the poster's own thread once PostCallbackUser returned
// to it, or, when passed on after that, on the dispatch thread's next pass
// (RunRefused), never inside PostCallbackUser, so that a loss that posts
// again does not re-enter an override. Not passed on by the stop (Judge),
// it is lost too, and its late pass-on dropped. A post whose target goes
// (Forget) runs nothing more, and its late pass-on is dropped rather than
// queued with a target that no longer exists.
#ifndef VLECMPOSTANSWERS_H
#define VLECMPOSTANSWERS_H

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "cm/VLCallbackInfo.h"

class CVLTarget;

class CVLECMPostAnswers
{
public:
    // A post's loss: bRefused when the queue refused it, false when the
    // probe stopped before anything passed it on.
    using FLost = std::function<void(bool bRefused)>;
    struct SPost
    {
        CVLTarget* pTarget = nullptr;
        VLCM_USER_CALLBACK pCallback = nullptr;
        long lCallbackId = 0;
        void* pCallbackParam = nullptr;
        bool operator==(const SPost& other) const
        {
            return pTarget == other.pTarget && pCallback == other.pCallback && lCallbackId == other.lCallbackId &&
                   pCallbackParam == other.pCallbackParam;
        }
    };
    using FQueue = std::function<bool()>;
    // The posts of targets gone that are kept to drop their late pass-ons;
    // only an override that keeps posts for good leaves them.
    static constexpr size_t MAX_FORGOTTEN = 4096;

    CVLECMPostAnswers() = default;
    CVLECMPostAnswers(const CVLECMPostAnswers&) = delete;
    CVLECMPostAnswers& operator=(const CVLECMPostAnswers&) = delete;

    // Makes a post: records it (fnLost may be empty), then fnPostUser calls
    // PostCallbackUser. What fnPostUser throws is thrown on, the post
    // settled first.
    void Post(const SPost& post, FLost fnLost, const std::function<void()>& fnPostUser);
    // The implementation of PostCallbackUser: fnQueue queues the post and
    // tells whether the queue took it. A post of a target forgotten, or one
    // judged at a stop, is not queued; any other is. False when not queued.
    bool Pass(const SPost& post, const FQueue& fnQueue);
    // On the dispatch thread: the losses of posts refused after their
    // posters returned.
    void RunRefused();
    // The probe stops: every post of the probe's waiting to be passed on is
    // lost (false), and every refusal not handled yet is handled.
    void Judge();
    // The target (null: every one) goes: its posts lose nothing more. Waits
    // for a loss of it running on another thread.
    void Forget(const CVLTarget* pTarget);
    // Posts recorded and not yet done with, and posts of targets gone kept
    // (for the tests).
    size_t GetCount();
    size_t GetForgottenCount();

private:
    enum EState
    {
        WAITING,   // not passed on yet
        ANSWERED,  // passed on while its poster was still in PostCallbackUser
        REFUSED,   // refused after that, its loss for the dispatch thread
        DROPPED    // judged at a stop before it was passed on
    };
    struct STicket
    {
        SPost post;
        FLost fnLost;
        EState eState = WAITING;
        bool bRefused = false;
        bool bPosterIn = true;
    };
    unsigned long long record(const SPost& post, FLost fnLost);
    // After PostCallbackUser returned to the poster.
    void returned(unsigned long long nTicket);
    // Runs losses outside the lock, each counted as running on its target.
    void runLosses(std::unique_lock<std::mutex>& lock, std::vector<std::pair<const CVLTarget*, FLost>>& losses,
                   bool bRefused);

    std::mutex m_Mutex;
    std::condition_variable m_Idle;
    // In recording order: of two posts alike, the older is passed first.
    std::map<unsigned long long, STicket> m_Tickets;
    unsigned long long m_nNext = 1;
    // The posts of targets gone that were never passed on, oldest first.
    // A new target may take a gone one's address and post alike: a
    // pass-on settles a post recorded before it drops a forgotten one, as
    // the two cannot be told apart and the one queued names the target
    // that exists.
    std::multimap<unsigned long long, SPost> m_Forgotten;
    // The losses about to run or running, and where.
    struct SRunning
    {
        const CVLTarget* pTarget;
        std::thread::id thread;
        bool bStarted = false;
        bool bCancelled = false;
    };
    std::list<SRunning> m_Running;
};

#endif
