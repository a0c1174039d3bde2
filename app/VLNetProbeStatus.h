// What makes the status of "vlnet probe" (without --mac) 3, in one place:
// the list may be short when a reason is said on standard error, a device
// that answered is not listed, or a definition script failed. The reasons
// that come from counts of what a probe lost are made here too, so that
// each cause is seen from its inputs alone.
#ifndef VLNETPROBESTATUS_H
#define VLNETPROBESTATUS_H

#include <cstddef>
#include <string>
#include <vector>

class CVLNetProbeStatus
{
public:
    // The lines for standard error of what a probe lost: replies dropped
    // for a full receive buffer, and datagrams dropped while unicast checks
    // waited in vain (their devices' answers may have been among them).
    // None when nothing was lost.
    static std::vector<std::string> LossReasons(unsigned long nLostReplies, unsigned long nCheckLost);
    // The exit status of a probe that went out, was heard and was not
    // stopped: VLNET_EXIT_INCOMPLETE when reasons were said, devices are
    // not listed or definition scripts failed, else VLNET_EXIT_SUCCESS.
    static int ExitStatus(size_t nReasons, size_t nUnlisted, unsigned long nScriptFailures);
};

#endif
