// Runs the unicast checks of the device records on one thread, so that a
// device that never answers unicast costs neither a thread nor a socket
// while its check waits out its time-out. A check goes through the
// definitions as on a command thread: a module instance of the unicast
// function on the device's record sends its request, from the socket the
// checks share, and sends it again each time a time-out passes while tries
// are left; what the shared socket queues for it from the device's address
// is judged as soon as it comes. The check's end is the record's command
// end, reported as a command thread reports it.
//
// Any host can send to the shared port from any address on its network, and
// a second host holding a device's address answers that device's request
// too: so a reply carrying the device's MAC address ends the check at once,
// while an error reply (which carries no MAC address) only counts when no
// such reply came by the end of its try. The VLPC module keeps that rule, as
// for every request: the checks read as looks within the try and tell it
// when the try is over. A try's end is looked at before anything that
// arrived later, so that no flood keeps a check from its end; what had
// arrived by then is judged first.
//
// A send never waits for room in the shared socket's send buffer: requests
// to absent addresses (hosts that forge their source address answer no ARP
// request) stay there until the system gives them up, some 3 s later, and
// a thread waiting for room would hold every check up behind them. While
// the buffer is full the checks' sends wait their turn on this thread's
// schedule, each at most its check's whole time.
//
// The address the user names goes first: its steps before any other's,
// its request from a socket of its own, which nothing else fills. What came
// to its socket is told as for the shared one: the reason a check gives does
// not depend on the socket it read from.
//
// Lock: m_Mutex is taken alone. While the thread works on a record (without
// the lock) Cancel waits for it, so a cancelled record is never touched
// again; a waiting Cancel goes before the thread's next step.
#ifndef VLECMUNICASTCHECKS_H
#define VLECMUNICASTCHECKS_H

#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "base/core/VLString.h"
#include "base/thread/VLThread.h"
#include "ecm/core/VLECMDefs.h"
#include "ecm/record/VLECMCheckRunnerIF.h"
#include "modules/sock/VLSock.h"

class CVLECMNIFInfo;
class CVLModuleController;
class CVLModuleInstance;

class CVLECMUnicastChecks : public CVLThread, public IVLSockArrivalListener, public IVLECMCheckRunnerIF
{
public:
    CVLECMUnicastChecks();
    // Shutdown must have run.
    ~CVLECMUnicastChecks() override;

    // Takes over the record's CheckUnicast, whose command state the record
    // has set; false while shutting down.
    bool Begin(CVLECMNIFInfo* pNIFInfo) override;
    // Ends the record's check as stopped if it is here; once it returns the
    // thread no longer touches the record. True when it was here.
    bool Cancel(CVLECMNIFInfo* pNIFInfo) override;
    // Ends the thread and stops the checks left; a later Begin starts again.
    void Shutdown();
    // The address the user named (empty: none): a record of it that begins
    // its check from now on is checked ahead of the others.
    void SetNamedAddress(const CVLString& strAddress);
    // Checks under way.
    int GetCount();
    // Datagrams dropped (by the shared socket's full buffer or a check's
    // full queue) while a check that went unanswered waited, since the
    // last ResetLostCount: its device's answer may have been among them.
    unsigned long GetLostCount();
    // A probe starts: what earlier ones lost is theirs.
    void ResetLostCount();

    void OnThread(void* pData) override;
    void OnSockArrival(CVLSock* pSock) override;

    // How often a check looks for its reply when its socket does not tell of
    // arrivals (a stand-in module, or the named address's own socket).
    static constexpr int kLookMilliseconds = 20;
    // How soon a send that found the shared send buffer full goes again.
    static constexpr int kRoomMilliseconds = 20;

private:
    typedef std::chrono::steady_clock Clock;
    struct SCheck
    {
        CVLECMNIFInfo* pNIFInfo = nullptr;
        CVLModuleController* pController = nullptr;
        CVLModuleInstance* pInstance = nullptr;
        // The instance's socket when it tells of arrivals; under m_Mutex.
        CVLSock* pSock = nullptr;
        // Something came for it; under m_Mutex.
        bool bArrived = false;
        long nTimeout = 0;
        int nTries = 1;
        int nTriesLeft = 0;
        // The instance's socket module, for its retry rules and for what
        // reached it (thread only).
        CVLSock* pImplementation = nullptr;
        // Sends of the running try that met "host unreachable", and whether
        // its request is to go again at its deadline.
        int nUnreachableSends = 0;
        bool bSendAgain = false;
        // The record is of the named address (set at Begin).
        bool bNamed = false;
        // Its request waits for room in the shared send buffer, at most
        // until roomBy (its check's whole time from the first full buffer,
        // set once: the waits of all its sends count against it).
        bool bWaitsForRoom = false;
        bool bRoomBySet = false;
        Clock::time_point roomBy;
        // What the computer lacked when its instance was made or its
        // request sent: its socket could not open, or a thread start.
        VLECM_LACK eLack = VLECM_LACK_NONE;
        // Why its request was refused before it left (the list and the
        // request), if it was.
        std::string strRefusal;
        // The shared sockets' drop count when the check began.
        unsigned long nSharedDropsBefore = 0;
        Clock::time_point deadline;  // the running try's end
        Clock::time_point look;      // the next look without an arrival
    };
    enum EStep
    {
        STEP_SEND,     // make the instance and send the first request
        STEP_RECEIVE,  // judge what came
        STEP_TRY_OVER  // send again, or time out
    };

    // One step of a check, on the thread, without the lock: true when the
    // check is over (its record's command ended).
    bool runStep(std::list<SCheck>::iterator it, EStep eStep);
    // How a receive call reads: to the end of its own time (a command's
    // try), as a look within the try, or as the try's end, which reads
    // nothing and takes the error reply the try held, if any.
    enum ERead
    {
        kToItsEnd,
        kLook,
        kTryOver
    };
    // Calls the instance's method with the time-out and retry; the result
    // of what it threw, 0 when nothing. A device's error reply leaves its
    // code in nDeviceResult.
    // A failed send leaves the system's error number in *pSystemError.
    // What the computer lacked for it, when it did, in *pLack; why its
    // request was refused before it left, when it was, in *pRefusal.
    static VLECM_RESULT call(CVLModuleInstance* pInstance, const char* szMethod, long nTimeout, int nRetry,
                             long& nDeviceResult, long* pSystemError = nullptr, int eRead = kToItsEnd,
                             VLECM_LACK* pLack = nullptr, std::string* pRefusal = nullptr);
    // Reads what came, as a look within the try: true when it ended the
    // check (a reply of the device, or a failure).
    bool lookOnce(SCheck& check);
    // Sends the check's request and sets the try's deadline: false when the
    // check is over (failed, or passed over by the definitions).
    bool send(SCheck& check);
    // Deletes the check's instance and ends its record's command.
    void finish(SCheck& check, VLECM_RESULT eResult, long nDeviceResult);

    std::mutex m_Mutex;
    std::condition_variable m_Wake;  // work for the thread, or its end
    std::condition_variable m_Idle;  // the thread let go of a record
    std::list<SCheck> m_Checks;
    CVLECMNIFInfo* m_pBusy;
    // Cancel calls waiting for the thread to let go of a record; under
    // m_Mutex.
    int m_nCancelsWaiting;
    // What GetLostCount tells, and the shared sockets' drops counted or
    // passed over so far; under m_Mutex.
    unsigned long m_nLost;
    unsigned long m_nSharedDropsCounted;
    // The address named, under m_Mutex.
    CVLString m_strNamedAddress;
    // No send through the shared socket before this time: its buffer was
    // full (thread only).
    Clock::time_point m_RoomAt;
    std::thread::id m_ThreadId;
    bool m_bStarted;
    bool m_bEnd;
};

#endif
