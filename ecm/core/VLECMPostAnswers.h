// What the dispatch queue answered the device manager's own posts. A post
// goes through PostCallbackUser, which a client may override: its override
// may pass the post on to the device manager's implementation at once, from
// another thread, later, or never, and may post notes of its own meanwhile.
// So a post's answer is kept with the post (its target, callback, id and
// parameter), not with the thread that made it: the implementation settles
// the oldest waiting post with the same arguments, whichever thread passes
// it on and whenever; a post of no one's (a client's note) settles nothing.
//
// A post refused is lost: its loss runs once, on the thread that passed it
// on, or on the poster's own after PostCallbackUser returned to it when the
// answer came meanwhile (an override that joins a helper included). A post
// not passed on is not lost until the probe stops (Judge). A post whose
// target goes (Forget) runs nothing more, and a late pass-on of it is
// dropped rather than queued with a target that no longer exists.
#ifndef VLECMPOSTANSWERS_H
#define VLECMPOSTANSWERS_H

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

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

    CVLECMPostAnswers() = default;
    CVLECMPostAnswers(const CVLECMPostAnswers&) = delete;
    CVLECMPostAnswers& operator=(const CVLECMPostAnswers&) = delete;

    // Before the poster calls PostCallbackUser; Returned after it returns.
    unsigned long long Register(const SPost& post, FLost fnLost);
    void Returned(unsigned long long nTicket);
    // The implementation of PostCallbackUser: fnQueue queues the post and
    // tells whether the queue took it. A post of a target forgotten, or one
    // judged at a stop, is not queued; any other is. False when not queued.
    bool Pass(const SPost& post, const FQueue& fnQueue);
    // The probe stops: every post waiting to be passed on is lost (false).
    void Judge();
    // The target (null: every one) goes: its posts lose nothing more. Waits
    // for a loss of it running on another thread.
    void Forget(const CVLTarget* pTarget);
    // Posts registered and not yet done with (for the tests).
    size_t GetCount();

private:
    enum EState
    {
        WAITING,   // not passed on yet
        ANSWERED,  // passed on while its poster was still in PostCallbackUser
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
    // Runs a loss outside the lock, counted as running on its target.
    void runLost(std::unique_lock<std::mutex>& lock, const CVLTarget* pTarget, FLost fnLost, bool bRefused);

    std::mutex m_Mutex;
    std::condition_variable m_Idle;
    // In registration order: of two posts alike, the older is passed first.
    std::map<unsigned long long, STicket> m_Tickets;
    unsigned long long m_nNext = 1;
    // The posts of targets gone that were never passed on, so that a late
    // pass-on is dropped; bounded, as only an override that keeps posts for
    // good leaves them.
    enum
    {
        MAX_FORGOTTEN = 4096
    };
    std::multimap<const CVLTarget*, SPost> m_Forgotten;
    // The losses running, by target and thread.
    std::multimap<const CVLTarget*, std::thread::id> m_Running;
};

#endif
