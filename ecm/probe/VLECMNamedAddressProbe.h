// Asks the address the user named which MAC answers there: a probe request
// sent to that address alone, by unicast, on a blank target (as a reboot
// poll asks), on a thread of its own. Its answer can come only from the
// host that holds the address, whatever replies others forged from it, so
// the MAC it names may go beyond the bound that those forged replies filled
// (CVLECMReplyFilter::SetNamedAnswer).
//
// Lock: m_Mutex is taken alone; the answer is handed on without it.
#ifndef VLECMNAMEDADDRESSPROBE_H
#define VLECMNAMEDADDRESSPROBE_H

#include <functional>
#include <mutex>
#include <thread>

#include "base/core/VLString.h"

class CVLModuleController;
class CVLModuleInstance;

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
    // Asks once until the next Stop (a later call does nothing): fnAnswer
    // gets, on the ask's thread, the MAC in normal form that answered.
    void Ask(const SRequest& request, std::function<void(const CVLString&)> fnAnswer);
    // Stops the ask under way and waits for its thread: no answer comes
    // once it returns, and the next Ask asks again.
    void Stop();

private:
    void run(SRequest request, std::function<void(const CVLString&)> fnAnswer);

    std::mutex m_Mutex;
    std::thread m_Thread;
    CVLModuleInstance* m_pInstance;
    bool m_bStopping;
};

#endif
