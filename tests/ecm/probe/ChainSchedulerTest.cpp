// The chains' places: each network keeps places of its own, a pool goes to
// the networks that need more; a chain whose command could not start waits
// for a place again; the table's count of unfinished chains is one reading.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/core/VLCharset.h"
#include "ecm/probe/VLECMChainScheduler.h"
#include "ecm/probe/VLECMMACTable.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "tests/support/Watchdog.h"

namespace {
CVLString Text(const std::string& str)
{
    return CVLString(str.c_str(), VL_CHARSET_UTF8);
}

typedef CVLECMChainScheduler::TChain TChain;

// A chain of its own for each number (never dereferenced).
TChain Chain(int n)
{
    return reinterpret_cast<TChain>(static_cast<uintptr_t>(0x1000 + 16 * n));
}
}  // namespace

// Under a low descriptor limit each network still has places no other
// network's chains take, and a network whose hosts stall takes the places
// the others leave unused, turn by turn with the others that wait.
TEST(ECMChainScheduler, ANetworkKeepsItsOwnPlacesAndTakesWhatTheOthersLeave)
{
    // Six networks under some 44 free descriptors; plenty gives each its all.
    int nPerNetwork = 0, nShared = 0;
    CVLECMChainScheduler::ShareOut(44, 6, nPerNetwork, nShared);
    EXPECT_GE(nPerNetwork, 1);
    EXPECT_GT(nShared, 0);
    EXPECT_EQ(44, nPerNetwork * 6 + nShared);
    CVLECMChainScheduler::ShareOut(3, 6, nPerNetwork, nShared);
    EXPECT_EQ(1, nPerNetwork);
    EXPECT_EQ(0, nShared);
    CVLECMChainScheduler::ShareOut(6 * 64, 6, nPerNetwork, nShared);
    EXPECT_EQ(64, nPerNetwork);
    EXPECT_EQ(0, nShared);

    CVLECMChainScheduler scheduler;
    scheduler.SetPlaces(2, 3);
    const CVLString a = Text("10.1"), b = Text("10.2");
    // Network a's stalling hosts: its own two and the pool's three.
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(scheduler.AskPlace(Chain(i), a, false)) << i;
    EXPECT_FALSE(scheduler.AskPlace(Chain(5), a, false));
    EXPECT_EQ(5, scheduler.GetRunningCount(a));
    // Network b's own are still there; beyond them it waits too.
    EXPECT_TRUE(scheduler.AskPlace(Chain(10), b, false));
    EXPECT_TRUE(scheduler.AskPlace(Chain(11), b, false));
    EXPECT_FALSE(scheduler.AskPlace(Chain(12), b, false));
    // A pool's place that frees goes to the network whose turn it is (b,
    // after a), then back to a.
    std::vector<CVLECMChainScheduler::SStarted> started;
    scheduler.Free(Chain(0), started);
    ASSERT_EQ(1u, started.size());
    EXPECT_EQ(Chain(12), started[0].chain);
    EXPECT_FALSE(started[0].bCheck);
    started.clear();
    scheduler.Free(Chain(1), started);
    ASSERT_EQ(1u, started.size());
    EXPECT_EQ(Chain(5), started[0].chain);
    // Network b's chains end: its own places go to nobody else; a keeps
    // what it has, within its own and the pool's.
    started.clear();
    for (int i : {10, 11, 12})
        scheduler.Free(Chain(i), started);
    EXPECT_TRUE(started.empty());
    EXPECT_EQ(0, scheduler.GetRunningCount(b));
    EXPECT_EQ(4, scheduler.GetRunningCount(a));
    EXPECT_TRUE(scheduler.AskPlace(Chain(6), a, false));
    EXPECT_FALSE(scheduler.AskPlace(Chain(7), a, false));
    EXPECT_EQ(5, scheduler.GetRunningCount());
    EXPECT_EQ(1, scheduler.GetWaitingCount());
}

// A command that could not start for want of descriptors or threads frees
// its place to the next chain and waits, unjudged, until the retry puts it
// at the head of its network's line; the stop judges it stopped.
TEST(ECMChainScheduler, AChainDeferredWaitsForAPlaceAgainUnjudged)
{
    CVLECMMACTable table;
    table.SetFirstCommand(VLECM_COMMAND_GET_LIST_INFO);
    table.SetPlacesPerNetwork(1);
    CVLECMNIFInfo records[2];
    SVLECMReplyKey keys[2];
    for (int i = 0; i < 2; ++i) {
        keys[i].strMAC = Text("0026AB00D00" + std::to_string(i));
        keys[i].strAddress = Text("10.1.0." + std::to_string(i + 1));
        ASSERT_TRUE(table.Keep(keys[i]));
        ASSERT_TRUE(table.Attach(keys[i], &records[i], Text("M")));
        ASSERT_EQ(1u, table.BeginChain(&records[i], Text("10.1")).starts.size());
    }
    ASSERT_EQ(1u, table.CheckEnded(&records[0], true, VLECM_MAC_FAILURE_NONE, VLECM_RESULT_SUCCESS, 0, false)
                      .starts.size());
    EXPECT_TRUE(
        table.CheckEnded(&records[1], true, VLECM_MAC_FAILURE_NONE, VLECM_RESULT_SUCCESS, 0, false).starts.empty());
    // The first cannot start: the second takes the place.
    CVLECMMACTable::SNext next = table.StartDeferred(&records[0], VLECM_COMMAND_GET_LIST_INFO, VLECM_LACK_DESCRIPTORS);
    ASSERT_EQ(1u, next.starts.size());
    EXPECT_EQ(&records[1], next.starts[0].pRecord);
    SVLECMMACSummary summary;
    ASSERT_TRUE(table.GetSummary(keys[0].strMAC, summary));
    EXPECT_EQ(VLECM_MAC_PENDING, summary.eVerdict);
    EXPECT_EQ(1ul, summary.nAnswered);
    int nRunning = 0, nWaiting = 0;
    table.GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(1, nRunning);
    EXPECT_EQ(1, nWaiting);
    // Retried while the place is taken it waits; it takes it as it frees.
    EXPECT_TRUE(table.RetryDeferred().starts.empty());
    next = table.CommandEnded(&records[1], VLECM_COMMAND_GET_LIST_INFO, VLECM_RESULT_SUCCESS, 0);
    EXPECT_EQ(&records[1], next.pReport);
    ASSERT_EQ(1u, next.starts.size());
    EXPECT_EQ(&records[0], next.starts[0].pRecord);
    EXPECT_EQ(VLECM_COMMAND_GET_LIST_INFO, next.starts[0].eCommand);
    // Deferred again, then the stop: judged stopped, nothing left.
    EXPECT_TRUE(table.StartDeferred(&records[0], VLECM_COMMAND_GET_LIST_INFO, VLECM_LACK_DESCRIPTORS).starts.empty());
    table.Stop();
    EXPECT_TRUE(table.RetryDeferred().starts.empty());
    SVLECMMACState state;
    ASSERT_TRUE(table.GetState(keys[0].strMAC, state));
    ASSERT_EQ(1u, state.addresses.size());
    EXPECT_EQ(VLECM_MAC_FAILURE_STOPPED, state.addresses[0].eFailure);
    int nChecking = 0;
    EXPECT_EQ(0, table.GetUnfinishedChainCount(nChecking));
    EXPECT_EQ(0, table.GetPendingCount());
}

// One chain counts once, whatever it goes through while it is read: from
// its command to the hand-on that waits for the dispatch thread.
TEST(ECMChainScheduler, OneChainReadsAsOneUnfinishedChain)
{
    CWatchdog watchdog(120, "unfinished chains read");
    CVLECMMACTable table;
    table.SetFirstCommand(VLECM_COMMAND_GET_LIST_INFO);
    std::atomic<bool> bDone(false);
    std::atomic<int> nMost(0);
    std::thread reader([&]() {
        while (!bDone) {
            int nChecking = 0;
            const int nUnfinished = table.GetUnfinishedChainCount(nChecking);
            if (nUnfinished > nMost)
                nMost = nUnfinished;
        }
    });
    CVLECMNIFInfo record;
    SVLECMReplyKey key;
    key.strMAC = Text("0026AB00C001");
    key.strAddress = Text("10.1.0.1");
    const int kRounds = 200000;
    for (int i = 0; i < kRounds && !::testing::Test::HasFailure(); ++i) {
        table.Reset();
        EXPECT_TRUE(table.Keep(key));
        EXPECT_TRUE(table.Attach(key, &record, Text("M")));
        table.BeginChain(&record, Text("10.1"));
        table.CheckEnded(&record, true, VLECM_MAC_FAILURE_NONE, VLECM_RESULT_SUCCESS, 0, false);
        table.CommandEnded(&record, VLECM_COMMAND_GET_LIST_INFO, VLECM_RESULT_SUCCESS, 0);
        table.HandOnRefused(&record);
        table.TakeWaitingHandOns();
    }
    bDone = true;
    reader.join();
    EXPECT_EQ(1, nMost);
}

namespace {
// The ticks of Retry until a deferred chain goes back (or nTicks pass): 0
// when none did.
int TicksUntilTrial(CVLECMChainScheduler& scheduler, std::vector<CVLECMChainScheduler::SStarted>& started,
                    int nTicks = 64)
{
    for (int nTick = 1; nTick <= nTicks; ++nTick) {
        const int nDeferred = scheduler.GetDeferredCount();
        scheduler.Retry(started);
        if (scheduler.GetDeferredCount() < nDeferred)
            return nTick;
    }
    return 0;
}
}  // namespace

// Chains that cannot start cost a thread or a socket now and then, not one
// each per tick: one goes back at a time as a trial, the ticks between
// trials doubling while they come back deferred; a trial that gets through
// lets every deferred chain go back at once. A reset forgets the trial and
// its ticks.
TEST(ECMChainScheduler, DeferredChainsAreTriedOneAtATimeBackingOff)
{
    CVLECMChainScheduler scheduler;
    scheduler.SetPlaces(4, 0);
    const CVLString net = Text("10.1");
    std::vector<CVLECMChainScheduler::SStarted> started;
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(scheduler.AskPlace(Chain(i), net, false));
    for (int i = 0; i < 4; ++i)
        scheduler.Defer(Chain(i), started);
    EXPECT_TRUE(started.empty());
    EXPECT_EQ(4, scheduler.GetDeferredCount());
    std::vector<int> gaps;
    for (int nTrial = 0; nTrial < 7; ++nTrial) {
        started.clear();
        gaps.push_back(TicksUntilTrial(scheduler, started));
        ASSERT_EQ(1u, started.size());
        EXPECT_EQ(3, scheduler.GetDeferredCount());
        // No other goes while the trial is out.
        EXPECT_EQ(0, TicksUntilTrial(scheduler, started, 40));
        scheduler.Defer(started[0].chain, started);
    }
    EXPECT_EQ((std::vector<int>{1, 2, 4, 8, 16, 16, 16}), gaps);
    // The trial's command ends: it got through, and the others start with
    // it, in the order they were deferred.
    started.clear();
    ASSERT_EQ(16, TicksUntilTrial(scheduler, started));
    ASSERT_EQ(1u, started.size());
    const TChain trial = started[0].chain;
    EXPECT_EQ(Chain(3), trial);
    started.clear();
    scheduler.Free(trial, started);
    ASSERT_EQ(3u, started.size());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Chain(i), started[i].chain) << i;
    EXPECT_EQ(0, scheduler.GetDeferredCount());
    // Deferred anew, the first trial comes at the next tick again, and the
    // trials back off from the start.
    const TChain again = started[0].chain;
    scheduler.Defer(again, started);
    started.clear();
    EXPECT_EQ(1, TicksUntilTrial(scheduler, started));
    scheduler.Defer(again, started);
    EXPECT_EQ(2, TicksUntilTrial(scheduler, started));
    // A trial that holds what it lacked gets through while its command
    // goes on: the others go back at once (a chain that is no trial tells
    // nothing).
    scheduler.Defer(Chain(1), started);
    started.clear();
    scheduler.Holds(Chain(2), started);
    EXPECT_EQ(1, scheduler.GetDeferredCount());
    scheduler.Holds(again, started);
    ASSERT_EQ(1u, started.size());
    EXPECT_EQ(Chain(1), started[0].chain);
    EXPECT_EQ(0, scheduler.GetDeferredCount());
    // Trials back off, then the one deferred chain goes: the next deferred
    // is tried at the next tick, the back-off from the start.
    scheduler.Defer(Chain(1), started);
    EXPECT_EQ(1, TicksUntilTrial(scheduler, started));
    scheduler.Defer(Chain(1), started);
    EXPECT_EQ(2, TicksUntilTrial(scheduler, started));
    scheduler.Defer(Chain(1), started);
    scheduler.Free(Chain(1), started);
    scheduler.Retry(started);
    scheduler.Defer(Chain(2), started);
    EXPECT_EQ(1, TicksUntilTrial(scheduler, started));
    scheduler.Defer(Chain(2), started);
    EXPECT_EQ(2, TicksUntilTrial(scheduler, started));

    // A trial out, then a reset: a new probe's deferred chain is tried at
    // the next tick, and its trials back off from the start.
    scheduler.Reset();
    ASSERT_TRUE(scheduler.AskPlace(Chain(20), net, false));
    scheduler.Defer(Chain(20), started);
    started.clear();
    EXPECT_EQ(1, TicksUntilTrial(scheduler, started));
    ASSERT_EQ(1u, started.size());
    scheduler.Defer(Chain(20), started);
    scheduler.Reset();
    ASSERT_TRUE(scheduler.AskPlace(Chain(21), net, false));
    scheduler.Defer(Chain(21), started);
    started.clear();
    EXPECT_EQ(1, TicksUntilTrial(scheduler, started));
    EXPECT_EQ(1u, started.size());
}

// A deferred chain goes back behind the named chains that wait at the head
// of its network's line; a deferred check goes back to its check, the named
// address's beyond the limit.
TEST(ECMChainScheduler, ADeferredChainGoesBackBehindTheNamedOnes)
{
    CVLECMChainScheduler scheduler;
    scheduler.SetPlaces(1, 0);
    scheduler.SetCheckLimit(1);
    const CVLString net = Text("10.1");
    std::vector<CVLECMChainScheduler::SStarted> started;
    ASSERT_TRUE(scheduler.AskPlace(Chain(1), net, false));
    ASSERT_TRUE(scheduler.AskPlace(Chain(2), net, true));
    ASSERT_FALSE(scheduler.AskPlace(Chain(3), net, false));
    scheduler.Defer(Chain(1), started);
    ASSERT_EQ(1u, started.size());
    EXPECT_EQ(Chain(3), started[0].chain);
    // A named chain waits at the head (the named place taken).
    EXPECT_FALSE(scheduler.AskPlace(Chain(4), net, true));
    started.clear();
    ASSERT_EQ(1, TicksUntilTrial(scheduler, started));
    EXPECT_TRUE(started.empty());
    // The network's place frees: the named chain takes it, then the
    // deferred one.
    scheduler.Free(Chain(3), started);
    ASSERT_EQ(1u, started.size());
    EXPECT_EQ(Chain(4), started[0].chain);
    started.clear();
    scheduler.Free(Chain(4), started);
    ASSERT_EQ(1u, started.size());
    EXPECT_EQ(Chain(1), started[0].chain);
    scheduler.Free(Chain(1), started);

    // Checks: the limit taken by another, the named one's check goes back
    // at once, another's waits at the head of the checks' line.
    ASSERT_TRUE(scheduler.AskCheck(Chain(10), net, false));
    ASSERT_TRUE(scheduler.AskCheck(Chain(11), net, true));
    EXPECT_FALSE(scheduler.AskCheck(Chain(12), net, false));
    started.clear();
    scheduler.Defer(Chain(11), started);
    EXPECT_TRUE(started.empty());
    ASSERT_EQ(1, TicksUntilTrial(scheduler, started));
    ASSERT_EQ(1u, started.size());
    EXPECT_EQ(Chain(11), started[0].chain);
    EXPECT_TRUE(started[0].bCheck);
    scheduler.Free(Chain(11), started);
    started.clear();
    scheduler.Defer(Chain(10), started);
    ASSERT_EQ(1u, started.size());
    EXPECT_EQ(Chain(12), started[0].chain);
    EXPECT_FALSE(scheduler.AskCheck(Chain(13), net, false));
    started.clear();
    ASSERT_EQ(1, TicksUntilTrial(scheduler, started));
    EXPECT_TRUE(started.empty());
    // Chain 10 waits ahead of chain 13.
    scheduler.Free(Chain(12), started);
    ASSERT_EQ(1u, started.size());
    EXPECT_EQ(Chain(10), started[0].chain);
    EXPECT_TRUE(started[0].bCheck);

    // Deferred after another, the named chain is tried first.
    CVLECMChainScheduler fresh;
    ASSERT_TRUE(fresh.AskPlace(Chain(30), net, false));
    ASSERT_TRUE(fresh.AskPlace(Chain(31), net, true));
    fresh.Defer(Chain(30), started);
    fresh.Defer(Chain(31), started);
    started.clear();
    ASSERT_EQ(1, TicksUntilTrial(fresh, started));
    ASSERT_EQ(1u, started.size());
    EXPECT_EQ(Chain(31), started[0].chain);
}

// A check that could not start waits for its check again, unjudged, its
// address telling what the computer lacks; a deferral that comes after the
// stop is judged stopped at once, what it lacked kept.
TEST(ECMChainScheduler, ADeferredCheckWaitsAndADeferralAfterTheStopIsJudged)
{
    CVLECMMACTable table;
    table.SetFirstCommand(VLECM_COMMAND_GET_LIST_INFO);
    CVLECMNIFInfo records[2];
    SVLECMReplyKey keys[2];
    for (int i = 0; i < 2; ++i) {
        keys[i].strMAC = Text("0026AB00D01" + std::to_string(i));
        keys[i].strAddress = Text("10.1.0." + std::to_string(i + 1));
        ASSERT_TRUE(table.Keep(keys[i]));
        ASSERT_TRUE(table.Attach(keys[i], &records[i], Text("M")));
        ASSERT_EQ(1u, table.BeginChain(&records[i], Text("10.1")).starts.size());
    }
    EXPECT_TRUE(table.StartDeferred(&records[0], VLECM_COMMAND_CHECK_UNICAST, VLECM_LACK_THREADS).starts.empty());
    EXPECT_TRUE(table.IsDeferred(&records[0]));
    SVLECMMACState state;
    ASSERT_TRUE(table.GetState(keys[0].strMAC, state));
    EXPECT_EQ(VLECM_MAC_ADDRESS_WAITING, state.addresses[0].eState);
    EXPECT_EQ(VLECM_LACK_THREADS, state.addresses[0].eLack);
    CVLECMMACTable::SNext next = table.RetryDeferred();
    ASSERT_EQ(1u, next.starts.size());
    EXPECT_EQ(VLECM_COMMAND_CHECK_UNICAST, next.starts[0].eCommand);
    ASSERT_TRUE(table.GetState(keys[0].strMAC, state));
    EXPECT_EQ(VLECM_MAC_ADDRESS_CHECKING, state.addresses[0].eState);
    EXPECT_EQ(VLECM_LACK_NONE, state.addresses[0].eLack);

    ASSERT_EQ(
        1u, table.CheckEnded(&records[1], true, VLECM_MAC_FAILURE_NONE, VLECM_RESULT_SUCCESS, 0, false).starts.size());
    table.Stop();
    for (int i = 0; i < 2; ++i) {
        const VLECM_COMMAND eCommand = i == 0 ? VLECM_COMMAND_CHECK_UNICAST : VLECM_COMMAND_GET_LIST_INFO;
        table.StartDeferred(&records[i], eCommand, VLECM_LACK_DESCRIPTORS);
        ASSERT_TRUE(table.GetState(keys[i].strMAC, state));
        EXPECT_EQ(VLECM_MAC_ADDRESS_FAILED, state.addresses[0].eState) << i;
        EXPECT_EQ(VLECM_MAC_FAILURE_STOPPED, state.addresses[0].eFailure) << i;
        EXPECT_EQ(eCommand, state.addresses[0].eCommand) << i;
        EXPECT_EQ(VLECM_LACK_DESCRIPTORS, state.addresses[0].eLack) << i;
    }
    int nChecking = 0;
    EXPECT_EQ(0, table.GetUnfinishedChainCount(nChecking));
    EXPECT_EQ(0, table.GetPendingCount());
}
