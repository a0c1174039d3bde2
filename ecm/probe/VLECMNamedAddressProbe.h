// Asks the address the user named which MAC answers there: a probe request
// sent to that address alone, by unicast, on a blank target (as a reboot
// poll asks), on a thread of its own. Its answer can come only from the
// host that holds the address, whatever replies others forged from it, so
// the MAC it names may go beyond the bound that those forged replies filled
// (CVLECMReplyFilter::SetNamedAnswer), and its reply is the device's own.
// Once answered it listens on for the rest of its time: a second MAC there
// means two hosts answer for the address. One ask runs at a time; another
// may follow once it ended.
//
// Lock: m_Mutex is taken alone; an answer is handed on without it, the
// ask's end under it (its listener takes only the reply filter's lock).
#ifndef VLECMNAMEDADDRESSPROBE_H
#define VLECMNAMEDADDRESSPROBE_H

#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "base/core/VLString.h"
#include "ecm/core/VLECMDefs.h"

class CVLModuleController;
class CVLModuleInstance;
class CVLTarget;

class CVLECMNamedAddressProbe
{
public:
    CVLECMNamedAddressProbe();
    ~CVLECMNamedAddressProbe();

    // What one ask sends: the packet list of the probe request, and the
    // time-out and tries of its answer.
    struct SRequest
    {
        CVLModuleController* pController = nullptr;
        CVLString strAddress;
        CVLString strPacketList;
        long nTimeout = 0;
        long nRetry = 1;
    };
    // What an ask tells, on its thread: each MAC (normal form) that
    // answered, with the reply's target (borrowed for the call), then its
    // end, answered or not: VLECM_RESULT_SUCCESS, or the result of a
    // failure this computer or the configuration caused (the request the
    // send guard refused named), which asking again would meet again.
    struct SListener
    {
        std::function<void(const CVLString& strMAC, CVLTarget* pReply)> fnAnswer;
        std::function<void(VLECM_RESULT eFailure, const std::string& strRefusal)> fnEnded;
    };
    // Asks unless an ask is under way or a stop is: false then, and no
    // listener is called.
    bool Ask(const SRequest& request, const SListener& listener);
    // Stops the ask under way and waits for its thread: nothing is told
    // once it returns, and the next Ask asks again.
    void Stop();

private:
    void run(SRequest request, SListener listener);

    std::mutex m_Mutex;
    std::thread m_Thread;
    CVLModuleInstance* m_pInstance;
    bool m_bStopping;
    // An ask's thread runs and has yet to tell its end.
    bool m_bAsking;
};

#endif
