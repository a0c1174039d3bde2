// Holds a device manager's dispatch thread in a callback until released, so
// that replies and reports wait in the queue or are held for their turn.
#ifndef TESTS_SUPPORT_ECM_DISPATCHHOLD_H
#define TESTS_SUPPORT_ECM_DISPATCHHOLD_H

#include <condition_variable>
#include <functional>
#include <mutex>

class CVLECM;

class CDispatchHold
{
public:
    // Returns once the dispatch thread is held; fnOnRelease, when given,
    // then runs on that thread before anything queued after the hold.
    explicit CDispatchHold(CVLECM& ecm, std::function<void()> fnOnRelease = nullptr);
    // Releases the thread and waits for the callback to leave: a woken wait
    // reads the hold again.
    ~CDispatchHold();
    CDispatchHold(const CDispatchHold&) = delete;
    CDispatchHold& operator=(const CDispatchHold&) = delete;

    void Release();

private:
    std::function<void()> m_fnOnRelease;
    std::mutex m_Mutex;
    std::condition_variable m_Cond;
    bool m_bHeld = false;
    bool m_bReleased = false;
    bool m_bLeft = false;
};

#endif
