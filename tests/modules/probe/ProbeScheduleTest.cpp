// The probe's send schedule on a clock of the test's own, without threads.
#include <gtest/gtest.h>

#include "modules/probe/VLProbeSchedule.h"

TEST(ProbeSchedule, WithoutConstantsOneSendThenLongWaits)
{
    CVLProbeSchedule schedule(0, 10000, 10000);
    EXPECT_TRUE(schedule.IsSendDue(5));
    schedule.OnSend(5);
    for (long long nNow : {5LL, 10005LL, 100000LL}) {
        EXPECT_FALSE(schedule.IsSendDue(nNow)) << nNow;
        EXPECT_EQ(10000, schedule.GetReceiveTimeout(nNow)) << nNow;
    }
    EXPECT_EQ(1, schedule.GetSendCount());
}

TEST(ProbeSchedule, ResendsApartAndWaitsCutToTheNextSend)
{
    CVLProbeSchedule schedule(2, 3000, 1000);
    EXPECT_EQ(1000, schedule.GetReceiveTimeout(0));
    schedule.OnSend(0);
    EXPECT_EQ(1000, schedule.GetReceiveTimeout(0));
    EXPECT_EQ(500, schedule.GetReceiveTimeout(2500));
    EXPECT_FALSE(schedule.IsSendDue(2999));
    EXPECT_EQ(0, schedule.GetReceiveTimeout(3200));
    // A late pass sends late; the next send is counted from it.
    EXPECT_TRUE(schedule.IsSendDue(3200));
    schedule.OnSend(3200);
    EXPECT_FALSE(schedule.IsSendDue(6100));
    EXPECT_EQ(100, schedule.GetReceiveTimeout(6100));
    EXPECT_TRUE(schedule.IsSendDue(6200));
    schedule.OnSend(6200);
    EXPECT_FALSE(schedule.HasResendLeft());
    // After the last send: full waits, and no further send.
    EXPECT_EQ(1000, schedule.GetReceiveTimeout(6300));
    EXPECT_FALSE(schedule.IsSendDue(60000));
    EXPECT_EQ(3, schedule.GetSendCount());
}

// A round asked for while one runs sends the schedule again once the running
// round's last replies had their interval; asked twice, it is one round.
TEST(ProbeSchedule, ARoundAskedForFollowsTheRunningOne)
{
    CVLProbeSchedule schedule(1, 700, 300);
    schedule.OnSend(0);
    schedule.AddRound();
    schedule.AddRound();
    EXPECT_TRUE(schedule.IsSendDue(700));
    schedule.OnSend(700);
    EXPECT_EQ(200, schedule.GetReceiveTimeout(800));
    EXPECT_FALSE(schedule.IsSendDue(999));
    for (long long nNow : {1000LL, 1700LL}) {
        EXPECT_TRUE(schedule.IsSendDue(nNow)) << nNow;
        schedule.OnSend(nNow);
    }
    EXPECT_FALSE(schedule.IsSendDue(60000));
    EXPECT_EQ(300, schedule.GetReceiveTimeout(2000));
    EXPECT_EQ(4, schedule.GetSendCount());
}

TEST(ProbeSchedule, ZeroIntervalSendsEveryPassUntilTheCount)
{
    CVLProbeSchedule schedule(3, 0, 300);
    for (int nPass = 0; nPass < 6; ++nPass) {
        bool bDue = schedule.IsSendDue(100);
        EXPECT_EQ(nPass < 4, bDue) << nPass;
        if (bDue)
            schedule.OnSend(100);
        // The first three sends are followed by receives that do not wait.
        EXPECT_EQ(nPass < 3 ? 0 : 300, schedule.GetReceiveTimeout(100)) << nPass;
    }
}

TEST(ProbeSchedule, DroppedRepliesAskForASendOnceQuietTwiceAtMost)
{
    CVLProbeSchedule schedule(1, 700, 300);
    schedule.OnDropCount(5);  // another probe's: no loss of this one
    schedule.OnSend(0);
    EXPECT_EQ(0u, schedule.GetLostSinceLastSend());
    schedule.OnDropCount(40);
    EXPECT_EQ(35u, schedule.GetLostSinceLastSend());
    // Not while the burst goes on; the waits shorten to notice its end.
    EXPECT_FALSE(schedule.IsSendDue(100));
    EXPECT_EQ(CVLProbeSchedule::kQuietWaitMs, schedule.GetReceiveTimeout(100));
    schedule.OnQuiet();
    schedule.OnDropCount(41);  // still dropping: not quiet yet
    EXPECT_FALSE(schedule.IsSendDue(150));
    schedule.OnQuiet();
    EXPECT_TRUE(schedule.IsSendDue(200));
    schedule.OnSend(200);
    EXPECT_EQ(0u, schedule.GetLostSinceLastSend());
    EXPECT_EQ(1, schedule.GetExtraSendCount());
    // The regular re-send keeps its time.
    EXPECT_FALSE(schedule.IsSendDue(699));
    EXPECT_TRUE(schedule.IsSendDue(700));
    schedule.OnSend(700);
    EXPECT_EQ(2, schedule.GetSendCount());
    // A second extra send, then no more: the loss stays.
    schedule.OnDropCount(60);
    schedule.OnQuiet();
    EXPECT_TRUE(schedule.IsSendDue(800));
    schedule.OnSend(800);
    schedule.OnDropCount(70);
    schedule.OnQuiet();
    EXPECT_FALSE(schedule.IsSendDue(900));
    EXPECT_FALSE(schedule.IsSendDue(60000));
    EXPECT_EQ(300, schedule.GetReceiveTimeout(900));
    EXPECT_EQ(10u, schedule.GetLostSinceLastSend());
    EXPECT_EQ(CVLProbeSchedule::kMaxExtraSends, schedule.GetExtraSendCount());
}
