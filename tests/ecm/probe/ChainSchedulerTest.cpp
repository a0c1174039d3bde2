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
    CVLECMMACTable::SNext next = table.StartDeferred(&records[0], VLECM_COMMAND_GET_LIST_INFO);
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
    EXPECT_TRUE(table.StartDeferred(&records[0], VLECM_COMMAND_GET_LIST_INFO).starts.empty());
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
