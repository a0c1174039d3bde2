// What the MAC table keeps and answers at its edges: the MACs kept only
// for their refusals, an address beyond the kept ones, a model that
// changes, the marks of the record handed on, a stopped probe and a reply
// whose copy failed.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/core/VLCharset.h"
#include "ecm/probe/VLECMHandOnQueue.h"
#include "ecm/probe/VLECMMACTable.h"
#include "ecm/record/VLECMNIFInfo.h"

namespace {
CVLString Text(const std::string& str)
{
    return CVLString(str.c_str(), VL_CHARSET_UTF8);
}

std::string Std(const CVLString& str)
{
    return str.GetBuffer() != nullptr ? str.GetBuffer() : "";
}

std::string Mac(int n)
{
    char sz[16];
    snprintf(sz, sizeof(sz), "0026AC%06X", n);
    return sz;
}

SVLECMReplyKey Key(const std::string& strMAC, const std::string& strFrom)
{
    SVLECMReplyKey key;
    key.strMAC = Text(strMAC);
    key.strAddress = Text(strFrom);
    return key;
}

void Refuse(CVLECMMACTable& table, const std::string& strMAC, const std::string& strFrom)
{
    table.Refuse(Key(strMAC, strFrom), VLECM_BOUND_NETWORK, 512, Text("10.1.0.0/16"));
}

// Takes a kept address with its record through its check (answered) and
// its one command (GetListInfo, succeeded): what the table asks last.
CVLECMMACTable::SNext Pass(CVLECMMACTable& table, CVLECMNIFInfo* pRecord)
{
    EXPECT_EQ(1u, table.BeginChain(pRecord, Text("10.5")).starts.size());
    CVLECMMACTable::SNext next = table.CheckEnded(pRecord, true, VLECM_MAC_FAILURE_NONE, VLECM_RESULT_SUCCESS, 0, false);
    EXPECT_EQ(1u, next.starts.size());
    return table.CommandEnded(pRecord, VLECM_COMMAND_GET_LIST_INFO, VLECM_RESULT_SUCCESS, 0);
}
}  // namespace

// MACs never admitted are kept for their refusals up to their bound, each
// refused address counted once however often it repeats; a MAC admitted
// later leaves their number, and its place takes the next refused one.
TEST(ECMMACTableEdges, MACsKeptOnlyForTheirRefusalsAreBoundedAndCountEachAddressOnce)
{
    CVLECMMACTable table;
    const int kBound = CVLECMMACTable::MAX_REFUSED_MACS;
    for (int i = 0; i < kBound + 8; ++i)
        Refuse(table, Mac(i), "10.1.1.1");
    SVLECMMACSummary summary;
    ASSERT_TRUE(table.GetSummary(Text(Mac(kBound - 1)), summary));
    EXPECT_EQ(1u, summary.nRefused);
    EXPECT_FALSE(table.GetSummary(Text(Mac(kBound)), summary));
    EXPECT_FALSE(table.GetSummary(Text(Mac(kBound + 7)), summary));
    // Repeated, a refused address counts once; another one counts too.
    for (int nRepeat = 0; nRepeat < 5; ++nRepeat) {
        Refuse(table, Mac(0), "10.1.1.1");
        Refuse(table, Mac(0), "10.1.1.2");
    }
    ASSERT_TRUE(table.GetSummary(Text(Mac(0)), summary));
    EXPECT_EQ(2u, summary.nRefused);
    // Admitted on another network, MAC 3 frees its place: the next MAC
    // refused is kept, and the one after it is not.
    table.Keep(Key(Mac(3), "10.2.0.3"));
    Refuse(table, Mac(kBound + 20), "10.1.1.1");
    Refuse(table, Mac(kBound + 21), "10.1.1.1");
    EXPECT_TRUE(table.GetSummary(Text(Mac(kBound + 20)), summary));
    EXPECT_FALSE(table.GetSummary(Text(Mac(kBound + 21)), summary));
    // The admitted MAC keeps its refusal, counted once.
    Refuse(table, Mac(3), "10.1.1.1");
    ASSERT_TRUE(table.GetSummary(Text(Mac(3)), summary));
    EXPECT_EQ(1u, summary.nRefused);
    EXPECT_EQ(1u, summary.nKept);
}

// An address heard beyond the addresses kept for its MAC is found by its
// address, as one never checked: it was heard.
TEST(ECMMACTableEdges, AnAddressBeyondTheKeptOnesIsFoundAsNotChecked)
{
    CVLECMMACTable table;
    const std::string strMAC = Mac(0x100);
    for (int i = 0; i < CVLECMMACTable::MAX_ADDRESSES_PER_MAC; ++i) {
        const SVLECMReplyKey key = Key(strMAC, "10.3.0." + std::to_string(1 + i));
        ASSERT_EQ(CVLECMMACTable::HEARD_NEW, table.Hear(key));
        table.Keep(key);
    }
    const SVLECMReplyKey beyond = Key(strMAC, "10.3.1.1");
    ASSERT_EQ(CVLECMMACTable::HEARD_BEYOND, table.Hear(beyond));
    std::vector<SVLECMHeardAddress> found = table.FindAddress(beyond.strAddress);
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(strMAC, Std(found[0].strMAC));
    EXPECT_EQ(VLECM_MAC_ADDRESS_BEYOND, found[0].address.eState);
    EXPECT_TRUE(table.FindAddress(Text("10.3.1.2")).empty());
}

// A reply whose model changed changes its address: the model is read
// anew, and the change is counted and named for the clients that wait.
TEST(ECMMACTableEdges, AModelChangeIsAChange)
{
    CVLECMMACTable table;
    CVLECMNIFInfo record;
    const std::string strMAC = Mac(0x200);
    const SVLECMReplyKey key = Key(strMAC, "10.4.0.1");
    table.Keep(key);
    ASSERT_TRUE(table.Attach(key, &record, Text("Model A")));
    const unsigned long nSeen = table.GetChangeCount();
    table.SetModel(&record, Text("Model A"));
    EXPECT_EQ(nSeen, table.GetChangeCount());
    table.SetModel(&record, Text("Model B"));
    EXPECT_NE(nSeen, table.GetChangeCount());
    const std::vector<CVLString> changed = table.GetChangedSince(nSeen);
    ASSERT_EQ(1u, changed.size());
    EXPECT_EQ(strMAC, Std(changed[0]));
    SVLECMMACState state;
    ASSERT_TRUE(table.GetState(Text(strMAC), state));
    EXPECT_EQ("Model B", Std(state.addresses[0].strModel));
    table.Detach(&record);
}

// The record handed on is marked as soon as a second address passes, and
// its marks follow a third one; a MAC handed on from the one address that
// did not answer unicast is marked in conflict when a second such address
// comes after it.
TEST(ECMMACTableEdges, TheMarksOfTheRecordHandedOnFollowEveryAddressThatPassesAfterIt)
{
    CVLECMMACTable table;
    table.SetFirstCommand(VLECM_COMMAND_GET_LIST_INFO);
    CVLECMNIFInfo records[3];
    const std::string strMAC = Mac(0x300);
    const char* kFrom[] = {"10.5.0.1", "10.5.0.2", "10.5.0.3"};
    for (int i = 0; i < 3; ++i) {
        table.Keep(Key(strMAC, kFrom[i]));
        ASSERT_TRUE(table.Attach(Key(strMAC, kFrom[i]), &records[i], Text("M")));
    }
    CVLECMMACTable::SNext next = Pass(table, &records[0]);
    EXPECT_EQ(&records[0], next.pReport);
    EXPECT_EQ(nullptr, next.pMark);
    next = Pass(table, &records[1]);
    EXPECT_EQ(nullptr, next.pReport);
    EXPECT_EQ(&records[0], next.pMark);
    EXPECT_TRUE(next.bConflict);
    EXPECT_EQ("10.5.0.2", Std(next.strOtherPassed));
    next = Pass(table, &records[2]);
    EXPECT_EQ(nullptr, next.pReport);
    EXPECT_EQ(&records[0], next.pMark);
    EXPECT_TRUE(next.bConflict);
    EXPECT_EQ("10.5.0.2 10.5.0.3", Std(next.strOtherPassed));
    for (CVLECMNIFInfo& record : records)
        table.Detach(&record);

    // Without unicast (the filter off): handed on alone, then in conflict.
    CVLECMMACTable quiet;
    CVLECMNIFInfo first, second;
    const std::string strQuiet = Mac(0x301);
    quiet.Keep(Key(strQuiet, "10.5.1.1"));
    ASSERT_TRUE(quiet.Attach(Key(strQuiet, "10.5.1.1"), &first, Text("M")));
    ASSERT_EQ(1u, quiet.BeginChain(&first, Text("10.5")).starts.size());
    next = quiet.CheckEnded(&first, false, VLECM_MAC_FAILURE_NOT_UNICAST, VLECM_RESULT_SUCCESS, 0, false);
    EXPECT_EQ(&first, next.pReport);
    EXPECT_FALSE(next.bReportUnicast);
    quiet.Keep(Key(strQuiet, "10.5.1.2"));
    ASSERT_TRUE(quiet.Attach(Key(strQuiet, "10.5.1.2"), &second, Text("M")));
    ASSERT_EQ(1u, quiet.BeginChain(&second, Text("10.5")).starts.size());
    next = quiet.CheckEnded(&second, false, VLECM_MAC_FAILURE_NOT_UNICAST, VLECM_RESULT_SUCCESS, 0, false);
    EXPECT_EQ(nullptr, next.pReport);
    EXPECT_EQ(&first, next.pMark);
    EXPECT_TRUE(next.bConflict);
    SVLECMMACSummary summary;
    ASSERT_TRUE(quiet.GetSummary(Text(strQuiet), summary));
    EXPECT_EQ(VLECM_MAC_CONFLICT, summary.eVerdict);
    EXPECT_TRUE(summary.bConflictMarked);
    quiet.Detach(&first);
    quiet.Detach(&second);
}

// Once the probe stops, a reply that comes (as the stop runs) is not kept
// nor given its record: nothing of it is pending or checked. A check under
// way at the stop ends on its own answer: the address passes and its MAC
// is listed, with no command after it.
TEST(ECMMACTableEdges, AfterTheStopAReplyIsNotCheckedAndACheckUnderWayStartsNoCommand)
{
    CVLECMMACTable table;
    CVLECMNIFInfo checked, late;
    const std::string strMAC = Mac(0x400), strLate = Mac(0x401);
    ASSERT_TRUE(table.Keep(Key(strMAC, "10.6.0.1")));
    ASSERT_TRUE(table.Attach(Key(strMAC, "10.6.0.1"), &checked, Text("M")));
    ASSERT_EQ(1u, table.BeginChain(&checked, Text("10.6")).starts.size());
    ASSERT_TRUE(table.Keep(Key(strMAC, "10.6.0.2")));
    table.ReplyLost(Key(strMAC, "10.6.0.2"));
    EXPECT_TRUE(table.Stop().starts.empty());
    EXPECT_EQ(1, table.GetPendingCount());
    // A new MAC, and a lost address heard again: neither is kept.
    EXPECT_FALSE(table.Keep(Key(strLate, "10.6.0.3")));
    EXPECT_FALSE(table.Keep(Key(strMAC, "10.6.0.2")));
    EXPECT_EQ(1, table.GetPendingCount());
    EXPECT_FALSE(table.Attach(Key(strLate, "10.6.0.3"), &late, Text("M")));
    SVLECMMACSummary summary;
    EXPECT_FALSE(table.GetSummary(Text(strLate), summary) && summary.nPending > 0);
    // The check under way ends answered: it passes, no command follows.
    EXPECT_FALSE(table.MayStart(&checked, VLECM_COMMAND_CHECK_UNICAST));
    CVLECMMACTable::SNext next =
        table.CheckEnded(&checked, true, VLECM_MAC_FAILURE_NONE, VLECM_RESULT_SUCCESS, 0, false);
    EXPECT_TRUE(next.starts.empty());
    EXPECT_EQ(&checked, next.pReport);
    EXPECT_TRUE(next.bListOnly);
    EXPECT_FALSE(table.MayStart(&checked, VLECM_COMMAND_GET_SUPPORT_INFORMATION));
    int nRunning = 0, nWaiting = 0;
    table.GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(0, nRunning + nWaiting + table.GetCheckingCount());
    SVLECMMACState state;
    ASSERT_TRUE(table.GetState(Text(strMAC), state));
    ASSERT_EQ(2u, state.addresses.size());
    EXPECT_EQ(VLECM_MAC_ADDRESS_PASSED, state.addresses[0].eState);
    EXPECT_EQ(VLECM_MAC_FAILURE_LOST, state.addresses[1].eFailure);
    EXPECT_EQ(0, table.GetPendingCount());
    table.Detach(&checked);
}

// A reply admitted whose copy could not be made is judged lost: its MAC
// is not left pending, and the address is heard again.
TEST(ECMMACTableEdges, AReplyWhoseCopyFailedIsJudgedLost)
{
    CVLECMMACTable table;
    CVLECMHandOnQueue records(&table);
    const SVLECMReplyKey key = Key(Mac(0x500), "10.7.0.1");
    ASSERT_EQ(CVLECMMACTable::HEARD_NEW, table.Hear(key));
    records.Admitted(key, Text("10.7.0.0/24"));
    table.Keep(key, 1);
    EXPECT_EQ(1, table.GetPendingCount());
    records.NotCopied(key);
    EXPECT_EQ(0, table.GetPendingCount());
    SVLECMMACState state;
    ASSERT_TRUE(table.GetState(key.strMAC, state));
    ASSERT_EQ(1u, state.addresses.size());
    EXPECT_EQ(VLECM_MAC_ADDRESS_FAILED, state.addresses[0].eState);
    EXPECT_EQ(VLECM_MAC_FAILURE_LOST, state.addresses[0].eFailure);
    EXPECT_EQ(CVLECMHandOnQueue::WAIT_NONE, records.GetWait(key));
    // Heard again: pending until judged.
    records.Admitted(key, Text("10.7.0.0/24"));
    table.Keep(key, 1);
    EXPECT_EQ(1, table.GetPendingCount());
}

// A removed MAC admits nothing more, yet counts as admitted (its further
// replies are no new device); so does one the simulated probe handed on,
// which no real address of its MAC is handed on after, nor it after one.
TEST(ECMMACTableEdges, ARemovedOrSimulatedMACIsAdmittedAndHandedOnOnce)
{
    CVLECMMACTable table;
    table.SetFirstCommand(VLECM_COMMAND_GET_LIST_INFO);
    const std::string strRemoved = Mac(0x600), strSimulated = Mac(0x601), strReal = Mac(0x602);
    ASSERT_TRUE(table.Keep(Key(strRemoved, "10.8.0.1")));
    EXPECT_TRUE(table.Remove(Text(strRemoved)).empty());
    EXPECT_TRUE(table.IsAdmitted(Text(strRemoved)));
    EXPECT_EQ(CVLECMMACTable::HEARD_REMOVED, table.Hear(Key(strRemoved, "10.8.0.2")));
    EXPECT_FALSE(table.Keep(Key(strRemoved, "10.8.0.2")));
    EXPECT_FALSE(table.Keep(Key(strRemoved, "10.8.0.1")));
    SVLECMMACSummary summary;
    ASSERT_TRUE(table.GetSummary(Text(strRemoved), summary));
    EXPECT_EQ(1u, summary.nKept);
    EXPECT_EQ(0u, summary.nPending);
    CVLECMNIFInfo simulated, real, late;
    EXPECT_FALSE(table.IsAdmitted(Text(strSimulated)));
    ASSERT_TRUE(table.HandOnSimulated(Text(strSimulated), &simulated));
    EXPECT_TRUE(table.IsAdmitted(Text(strSimulated)));
    EXPECT_FALSE(table.HandOnSimulated(Text(strSimulated), &late));
    // Removed, the simulated device leaves no address, and still counts.
    ASSERT_EQ(1u, table.Remove(Text(strSimulated)).size());
    EXPECT_TRUE(table.IsAdmitted(Text(strSimulated)));
    EXPECT_FALSE(table.Keep(Key(strSimulated, "10.8.0.4")));
    // A real device handed on first keeps the MAC.
    ASSERT_TRUE(table.Keep(Key(strReal, "10.8.0.3")));
    ASSERT_TRUE(table.Attach(Key(strReal, "10.8.0.3"), &real, Text("M")));
    ASSERT_EQ(&real, Pass(table, &real).pReport);
    EXPECT_FALSE(table.HandOnSimulated(Text(strReal), &late));
    EXPECT_EQ(nullptr, table.FindSimulated(Text(strReal)));
    EXPECT_EQ(&real, table.FindReported(Text(strReal)));
    table.Detach(&real);
}
