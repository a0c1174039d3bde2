// What makes the status of a probe 3.
#include "app/VLNetProbeStatus.h"

#include "app/VLNetCommands.h"

namespace {
// "1 reply was", "2 replies were".
std::string Count(unsigned long nCount, const char* szOne, const char* szMany)
{
    return std::to_string(nCount) + ' ' + (nCount == 1 ? std::string(szOne) + " was" : std::string(szMany) + " were");
}
}  // namespace

std::vector<std::string> CVLNetProbeStatus::LossReasons(unsigned long nLostReplies, unsigned long nCheckLost)
{
    std::vector<std::string> reasons;
    if (nLostReplies > 0)
        reasons.push_back(Count(nLostReplies, "reply", "replies") + " lost: the receive buffer overflowed");
    if (nCheckLost > 0)
        reasons.push_back(Count(nCheckLost, "datagram", "datagrams") +
                          " lost while unicast checks waited for their devices: more came than could be read");
    return reasons;
}

int CVLNetProbeStatus::ExitStatus(size_t nReasons, size_t nUnlisted, unsigned long nScriptFailures)
{
    return nReasons == 0 && nUnlisted == 0 && nScriptFailures == 0 ? VLNET_EXIT_SUCCESS : VLNET_EXIT_INCOMPLETE;
}
