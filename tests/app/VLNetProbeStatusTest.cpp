// What makes a probe's status 3, from its inputs: one script failure, one
// lost reply, one lost check datagram, a reason or an unlisted device
// each make the list maybe short; nothing at all leaves it whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/VLNetCommands.h"
#include "app/VLNetProbeStatus.h"

TEST(VLNetProbeStatus, EachCauseAloneMakesTheStatus3)
{
    const struct
    {
        unsigned long nLostReplies;
        unsigned long nCheckLost;
        unsigned long nScriptFailures;
        size_t nOtherReasons;
        size_t nUnlisted;
        int nStatus;
        std::vector<std::string> lost;
    } kRows[] = {
        {0, 0, 0, 0, 0, VLNET_EXIT_SUCCESS, {}},
        {0, 0, 1, 0, 0, VLNET_EXIT_INCOMPLETE, {}},
        {1, 0, 0, 0, 0, VLNET_EXIT_INCOMPLETE, {"1 reply was lost: the receive buffer overflowed"}},
        {0,
         1,
         0,
         0,
         0,
         VLNET_EXIT_INCOMPLETE,
         {"1 datagram was lost while unicast checks waited for their devices: more came than could be read"}},
        {921,
         339823,
         0,
         0,
         0,
         VLNET_EXIT_INCOMPLETE,
         {"921 replies were lost: the receive buffer overflowed",
          "339823 datagrams were lost while unicast checks waited for their devices: more came than could be read"}},
        {0, 0, 0, 1, 0, VLNET_EXIT_INCOMPLETE, {}},
        {0, 0, 0, 0, 1, VLNET_EXIT_INCOMPLETE, {}},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(std::to_string(row.nLostReplies) + " lost, " + std::to_string(row.nCheckLost) +
                     " lost by checks, " + std::to_string(row.nScriptFailures) + " script failures");
        std::vector<std::string> reasons = CVLNetProbeStatus::LossReasons(row.nLostReplies, row.nCheckLost);
        EXPECT_EQ(row.lost, reasons);
        EXPECT_EQ(row.nStatus, CVLNetProbeStatus::ExitStatus(reasons.size() + row.nOtherReasons, row.nUnlisted,
                                                             row.nScriptFailures));
    }
}
