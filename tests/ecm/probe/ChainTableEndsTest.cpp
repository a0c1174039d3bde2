// What a chain leaves as it ends otherwise than by its answer: lost ends
// are taken once, a record detached or its MAC removed leaves nothing held,
// waiting or pending (what a removed MAC held goes to other MACs' chains),
// and a chain judged while it waits leaves its line;
// a named chain that waits behind others takes the named place as it frees.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/core/VLCharset.h"
#include "ecm/probe/VLECMMACTable.h"
#include "ecm/record/VLECMNIFInfo.h"

namespace {
CVLString Text(const std::string& str)
{
    return CVLString(str.c_str(), VL_CHARSET_UTF8);
}

class ECMChainTableEnds : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Table.SetFirstCommand(VLECM_COMMAND_GET_LIST_INFO);
        m_Table.SetPlacesPerNetwork(1);
        m_Table.SetCheckLimit(1);
    }

    static SVLECMReplyKey Key(int nMAC, const std::string& strAddress)
    {
        SVLECMReplyKey key;
        key.strMAC = Text("0026AB00D0" + std::to_string(10 + nMAC));
        key.strAddress = Text(strAddress);
        return key;
    }

    // The record's reply kept and its chain begun: the starts asked.
    size_t Begin(CVLECMNIFInfo* pRecord, const SVLECMReplyKey& key)
    {
        EXPECT_TRUE(m_Table.Keep(key));
        EXPECT_TRUE(m_Table.Attach(key, pRecord, Text("M")));
        return m_Table.BeginChain(pRecord, Text("10.1")).starts.size();
    }
    size_t Answer(CVLECMNIFInfo* pRecord)
    {
        return m_Table.CheckEnded(pRecord, true, VLECM_MAC_FAILURE_NONE, VLECM_RESULT_SUCCESS, 0, false).starts.size();
    }
    int Waiting()
    {
        int nRunning = 0, nWaiting = 0;
        m_Table.GetChainCounts(nRunning, nWaiting);
        return nWaiting;
    }

    // One chain of each kind, each of its own MAC: checking, waiting for
    // the check, running its command, waiting for a place, its check's end
    // lost, its hand-on refused. Each is let go (detached, or its MAC
    // removed), those that wait first: the others' going then starts
    // nothing, and nothing is left held, waiting or pending.
    void LetEachGo(const std::function<CVLECMMACTable::SNext(CVLECMNIFInfo*, int)>& letGo)
    {
        CVLECMNIFInfo running, waitingPlace, checking, waitingCheck, lost, refused;
        ASSERT_EQ(1u, Begin(&running, Key(0, "10.1.0.1")));
        ASSERT_EQ(1u, Answer(&running));
        ASSERT_EQ(1u, Begin(&waitingPlace, Key(1, "10.1.0.2")));
        ASSERT_EQ(0u, Answer(&waitingPlace));
        ASSERT_EQ(1u, Begin(&lost, Key(4, "10.1.0.5")));
        m_Table.EndLost(&lost, VLECM_COMMAND_CHECK_UNICAST);
        ASSERT_EQ(1u, Begin(&refused, Key(5, "10.1.0.6")));
        ASSERT_EQ(&refused, m_Table
                                .CheckEnded(&refused, false, VLECM_MAC_FAILURE_NOT_UNICAST, VLECM_RESULT_SUCCESS, 0,
                                            false)
                                .pReport);
        m_Table.HandOnRefused(&refused);
        ASSERT_EQ(1u, Begin(&checking, Key(2, "10.1.0.3")));
        ASSERT_EQ(0u, Begin(&waitingCheck, Key(3, "10.1.0.4")));
        ASSERT_EQ(2, Waiting());
        CVLECMNIFInfo* const kOrder[] = {&waitingCheck, &waitingPlace, &lost, &refused, &checking, &running};
        const int kMACs[] = {3, 1, 4, 5, 2, 0};
        for (int i = 0; i < 6; ++i) {
            SCOPED_TRACE("record " + std::to_string(i));
            const CVLECMMACTable::SNext next = letGo(kOrder[i], kMACs[i]);
            EXPECT_TRUE(next.starts.empty());
            EXPECT_EQ(nullptr, next.pReport);
            EXPECT_EQ(i < 2 ? 2 - (i + 1) : 0, Waiting());
        }
        int nRunning = 0, nWaiting = 0, nChecking = 0;
        m_Table.GetChainCounts(nRunning, nWaiting);
        EXPECT_EQ(0, nRunning + nWaiting);
        EXPECT_EQ(0, m_Table.GetRunningCount(Text("10.1")));
        EXPECT_EQ(0, m_Table.GetCheckingCount());
        EXPECT_EQ(0, m_Table.GetUnfinishedChainCount(nChecking));
        EXPECT_EQ(0, m_Table.GetPendingCount());
        EXPECT_TRUE(m_Table.TakeLostEnds().empty());
        EXPECT_TRUE(m_Table.TakeWaitingHandOns().empty());
    }

    CVLECMMACTable m_Table;
};
}  // namespace

// The ends lost are taken once; one whose record went meanwhile is not.
TEST_F(ECMChainTableEnds, LostEndsAreTakenOnceAndLeaveWithTheirRecord)
{
    CVLECMNIFInfo records[3];
    m_Table.SetCheckLimit(3);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(1u, Begin(&records[i], Key(i, "10.1.0." + std::to_string(1 + i))));
        m_Table.EndLost(&records[i], VLECM_COMMAND_CHECK_UNICAST);
    }
    m_Table.Detach(&records[1]);
    const std::vector<CVLECMNIFInfo*> taken = m_Table.TakeLostEnds();
    EXPECT_EQ((std::vector<CVLECMNIFInfo*>{&records[0], &records[2]}), taken);
    EXPECT_TRUE(m_Table.TakeLostEnds().empty());
}

TEST_F(ECMChainTableEnds, ADetachedRecordLeavesNothingHeldWaitingOrPending)
{
    LetEachGo([this](CVLECMNIFInfo* pRecord, int) { return m_Table.Detach(pRecord); });
}

TEST_F(ECMChainTableEnds, ARemovedMACLeavesNothingHeldWaitingOrPending)
{
    LetEachGo([this](CVLECMNIFInfo*, int nMAC) {
        CVLECMMACTable::SNext next;
        m_Table.Remove(Key(nMAC, "").strMAC, &next);
        return next;
    });
}

// What a removed MAC's chains held (a place, a check) goes to other MACs'
// waiting chains, never to one of its own addresses that waited for it.
TEST_F(ECMChainTableEnds, ARemovedMACsPlaceAndCheckGoToOtherMACsOnly)
{
    CVLECMNIFInfo running, waitingPlace, checking, waitingCheck, other, otherCheck;
    ASSERT_EQ(1u, Begin(&running, Key(0, "10.1.0.1")));
    ASSERT_EQ(1u, Answer(&running));
    ASSERT_EQ(1u, Begin(&waitingPlace, Key(0, "10.1.0.2")));
    ASSERT_EQ(0u, Answer(&waitingPlace));
    ASSERT_EQ(1u, Begin(&other, Key(1, "10.1.0.3")));
    ASSERT_EQ(0u, Answer(&other));
    ASSERT_EQ(1u, Begin(&checking, Key(0, "10.1.0.4")));
    ASSERT_EQ(0u, Begin(&waitingCheck, Key(0, "10.1.0.5")));
    ASSERT_EQ(0u, Begin(&otherCheck, Key(2, "10.1.0.6")));
    CVLECMMACTable::SNext next;
    m_Table.Remove(Key(0, "").strMAC, &next);
    ASSERT_EQ(2u, next.starts.size());
    EXPECT_EQ(&other, next.starts[0].pRecord);
    EXPECT_EQ(&otherCheck, next.starts[1].pRecord);
}

// A chain judged while it waits leaves its line: a record made again at
// the same spot in memory waits behind those that waited before it.
TEST_F(ECMChainTableEnds, AChainJudgedWhileItWaitsLeavesItsLine)
{
    CVLECMNIFInfo running, first, second, checking, firstCheck, secondCheck;
    ASSERT_EQ(1u, Begin(&running, Key(0, "10.1.0.1")));
    ASSERT_EQ(1u, Answer(&running));
    ASSERT_EQ(1u, Begin(&first, Key(1, "10.1.0.2")));
    ASSERT_EQ(0u, Answer(&first));
    ASSERT_EQ(1u, Begin(&second, Key(2, "10.1.0.3")));
    ASSERT_EQ(0u, Answer(&second));
    m_Table.Detach(&first);
    EXPECT_EQ(1, Waiting());
    ASSERT_EQ(1u, Begin(&first, Key(3, "10.1.0.4")));
    ASSERT_EQ(0u, Answer(&first));
    CVLECMMACTable::SNext next = m_Table.CommandEnded(&running, VLECM_COMMAND_GET_LIST_INFO, VLECM_RESULT_SUCCESS, 0);
    ASSERT_EQ(1u, next.starts.size());
    EXPECT_EQ(&second, next.starts[0].pRecord);

    // The same for checks, the one waiting judged as its MAC is removed.
    ASSERT_EQ(1u, Begin(&checking, Key(4, "10.1.0.5")));
    ASSERT_EQ(0u, Begin(&firstCheck, Key(5, "10.1.0.6")));
    ASSERT_EQ(0u, Begin(&secondCheck, Key(6, "10.1.0.7")));
    m_Table.Remove(Key(5, "").strMAC);
    ASSERT_EQ(0u, Begin(&firstCheck, Key(7, "10.1.0.8")));
    next = m_Table.CheckEnded(&checking, false, VLECM_MAC_FAILURE_NO_ANSWER, VLECM_RESULT_TIMEOUT, 0, false);
    ASSERT_EQ(1u, next.starts.size());
    EXPECT_EQ(&secondCheck, next.starts[0].pRecord);
}

// A named chain that has to wait, behind chains of its network that waited
// before it, takes the named place as soon as it frees.
TEST_F(ECMChainTableEnds, ANamedChainWaitingBehindOthersTakesTheNamedPlaceAsItFrees)
{
    m_Table.SetCheckLimit(4);
    m_Table.SetNamedAddress(Text("10.1.0.9"));
    CVLECMNIFInfo running, named, other, secondNamed;
    ASSERT_EQ(1u, Begin(&running, Key(0, "10.1.0.1")));
    ASSERT_EQ(1u, Answer(&running));
    ASSERT_EQ(1u, Begin(&named, Key(1, "10.1.0.9")));
    ASSERT_EQ(1u, Answer(&named));
    ASSERT_EQ(1u, Begin(&other, Key(2, "10.1.0.2")));
    ASSERT_EQ(0u, Answer(&other));
    ASSERT_EQ(1u, Begin(&secondNamed, Key(3, "10.1.0.9")));
    ASSERT_EQ(0u, Answer(&secondNamed));
    CVLECMMACTable::SNext next = m_Table.CommandEnded(&named, VLECM_COMMAND_GET_LIST_INFO, VLECM_RESULT_SUCCESS, 0);
    ASSERT_EQ(1u, next.starts.size());
    EXPECT_EQ(&secondNamed, next.starts[0].pRecord);
    EXPECT_EQ(1, Waiting());
    next = m_Table.CommandEnded(&running, VLECM_COMMAND_GET_LIST_INFO, VLECM_RESULT_SUCCESS, 0);
    ASSERT_EQ(1u, next.starts.size());
    EXPECT_EQ(&other, next.starts[0].pRecord);
}

// The named MAC's check waits for no other, as the named address's: at an
// address on the computer's networks it begins beyond the checks' bound; at
// one on none of them it waits as any other.
TEST_F(ECMChainTableEnds, TheNamedMACIsCheckedBeyondTheBoundOnTheComputersNetworks)
{
    m_Table.SetNamedMAC(Key(6, "").strMAC);
    CVLECMNIFInfo checking, offNetwork, named;
    ASSERT_EQ(1u, Begin(&checking, Key(0, "10.1.0.1")));
    ASSERT_TRUE(m_Table.Keep(Key(6, "172.20.0.1"), 0, false));
    ASSERT_TRUE(m_Table.Attach(Key(6, "172.20.0.1"), &offNetwork, Text("M")));
    EXPECT_TRUE(m_Table.BeginChain(&offNetwork, Text("")).starts.empty());
    EXPECT_EQ(1u, Begin(&named, Key(6, "10.1.0.7")));
    EXPECT_EQ(2, m_Table.GetCheckingCount());
    m_Table.Detach(&offNetwork);
}
