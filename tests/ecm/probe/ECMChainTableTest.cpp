// The MAC table owns each address's chain. Driven with random events (every
// transition it has, deferred starts and their retries too, with few places
// and checks as well as many, with and without a pool of shared places), it
// keeps its rules after each: no network holds more than its own places and
// what it took from the pool, the pool is never over-given, no chain waits
// while a place or check it may take is free (a deferred one waits apart
// until the retry, then at the head of its network's line), what is held
// belongs to addresses still to be judged, nothing starts after a stop,
// every MAC the table hands on is handed on once, and after a stop and the
// ends of what was under way nothing is pending.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/core/VLCharset.h"
#include "ecm/probe/VLECMChainScheduler.h"
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

const char* const kNamed = "10.1.0.9";

// What the probe instance knows of a record's chain, from the table's answers.
enum EPhase
{
    PHASE_WAITING_CHECK,
    PHASE_CHECKING,
    PHASE_WAITING_PLACE,
    PHASE_RUNNING,
    PHASE_DEFERRED,        // its command could not start for a local reason
    PHASE_DEFERRED_CHECK,  // its check could not, likewise
    PHASE_ENDING,          // its command ended: the next may start in its place
    PHASE_OVER,            // judged
    PHASE_GONE             // detached, or its MAC removed
};

// A network's chains as the probe instance sees them.
struct SNetworkView
{
    int nRunning = 0, nNamedRunning = 0, nWaiting = 0, nNamedWaiting = 0;
};

// The places a network holds beyond its own: the pool's.
int PoolTaken(CVLECMMACTable& table, int nPerNetwork, const std::map<std::string, SNetworkView>& networks)
{
    int nTaken = 0;
    for (const auto& network : networks)
        nTaken += std::max(0, table.GetRunningCount(Text(network.first)) - nPerNetwork);
    return nTaken;
}

// The place rules, each checked here alone. Held: a network's chains hold
// no more than its own places and what they took of the pool, the pool no
// more than it has; the named place holds one more, a named chain. Gives
// whether the named place is taken.
bool ExpectPlacesHeld(CVLECMMACTable& table, int nPerNetwork, int nShared,
                      const std::map<std::string, SNetworkView>& networks)
{
    EXPECT_LE(PoolTaken(table, nPerNetwork, networks), nShared) << "the pool over-given";
    int nInPlaces = 0, nSeen = 0;
    for (const auto& network : networks) {
        const int nHeld = table.GetRunningCount(Text(network.first));
        EXPECT_LE(nHeld, nPerNetwork + nShared) << "network '" << network.first << "'";
        EXPECT_GE(network.second.nRunning - nHeld, 0) << "network '" << network.first << "'";
        EXPECT_LE(network.second.nRunning - nHeld, std::min(1, network.second.nNamedRunning))
            << "network '" << network.first << "'";
        nInPlaces += nHeld;
        nSeen += network.second.nRunning;
    }
    int nRunning = 0, nWaiting = 0;
    table.GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(nSeen, nRunning);
    EXPECT_TRUE(nRunning - nInPlaces == 0 || nRunning - nInPlaces == 1) << nRunning << " vs " << nInPlaces;
    return nRunning - nInPlaces == 1;
}

// Waiting: a chain waits for a place only while every place of its network
// is taken and the pool's too (or the network holds all it may), a named
// one only while the named place is taken as well. Deferred chains are not
// counted here: they wait apart.
void ExpectNoPlaceLeftFree(CVLECMMACTable& table, int nPerNetwork, int nShared,
                           const std::map<std::string, SNetworkView>& networks, bool bNamedPlaceTaken)
{
    const int nPoolTaken = PoolTaken(table, nPerNetwork, networks);
    for (const auto& network : networks) {
        if (network.second.nWaiting > 0) {
            const int nHeld = table.GetRunningCount(Text(network.first));
            EXPECT_GE(nHeld, nPerNetwork) << "a chain of '" << network.first << "' waits beside a free place";
            EXPECT_TRUE(nPoolTaken == nShared || nHeld >= CVLECMChainScheduler::MAX_PLACES_PER_NETWORK)
                << "a chain of '" << network.first << "' waits beside a free place of the pool (" << nPoolTaken
                << " of " << nShared << " taken)";
        }
        if (network.second.nNamedWaiting > 0) {
            EXPECT_TRUE(bNamedPlaceTaken) << "a named chain waits beside the free named place";
        }
    }
}

// Checks: no more than the limit at once (the named address's beyond it);
// one waits only while all are taken, the named address's never.
void ExpectChecksKept(CVLECMMACTable& table, int nLimit, int nChecking, int nNamedChecking, int nWaiting,
                      int nNamedWaiting)
{
    EXPECT_EQ(nChecking, table.GetCheckingCount());
    EXPECT_LE(nChecking - nNamedChecking, nLimit);
    if (nWaiting > 0) {
        EXPECT_GE(nChecking, nLimit) << "a check waits beside a free one";
    }
    EXPECT_EQ(0, nNamedWaiting) << "the named address's check waits";
}

// A start that fails for a local reason judges its address.
EPhase PhaseAfterFailedStart(VLECM_COMMAND)
{
    return PHASE_OVER;
}

// Plays the probe instance and the dispatch thread over one table: drives
// it with random events and keeps only what it needs to check the rules.
class CProbeModel
{
public:
    CProbeModel(CVLECMMACTable& table, std::mt19937& random, int nPerNetwork, int nShared, int nChecks)
        : m_Table(table), m_Random(random), m_nPerNetwork(nPerNetwork), m_nShared(nShared), m_nChecks(nChecks)
    {
    }

    int Draw(int n) { return static_cast<int>(m_Random() % static_cast<unsigned>(n)); }

    void Note(const std::string& strEvent)
    {
        m_Trace.push_back(strEvent);
        if (m_Trace.size() > 40)
            m_Trace.pop_front();
    }
    std::string GetTrace() const
    {
        std::string str;
        for (const std::string& strEvent : m_Trace)
            str += "  " + strEvent + "\n";
        return str;
    }

    static std::string MACOf(int nMAC)
    {
        char sz[16];
        snprintf(sz, sizeof(sz), "0026AB00%04X", nMAC);
        return sz;
    }

    // A reply of that MAC's nth address: kept, then lost, left heard, or
    // attached and begun (or accepted with no check).
    void Reply(int nMAC, int nAddress)
    {
        std::string strAddress, strNetwork;
        if (nAddress == 3) {
            strAddress = kNamed;
            strNetwork = "10.1";
        } else if ((nMAC + nAddress) % 3 == 2) {
            strAddress = "192.168." + std::to_string(nMAC) + "." + std::to_string(nAddress + 1);
        } else {
            strNetwork = "10." + std::to_string(1 + (nMAC + nAddress) % 3);
            strAddress = strNetwork + "." + std::to_string(10 + nMAC) + "." + std::to_string(nAddress + 1);
        }
        Note("reply " + MACOf(nMAC) + " " + strAddress);
        SVLECMReplyKey key;
        key.strMAC = Text(MACOf(nMAC));
        key.strAddress = Text(strAddress);
        const CVLECMMACTable::EHeard eHeard = m_Table.Hear(key);
        if ((eHeard != CVLECMMACTable::HEARD_NEW && eHeard != CVLECMMACTable::HEARD_KEPT) || !m_Table.Keep(key))
            return;
        EXPECT_FALSE(m_bStopped) << "kept after the stop";
        const int nWay = Draw(10);
        if (nWay == 0) {
            m_Table.ReplyLost(key);
        } else if (nWay == 1) {
            m_Heard.push_back({key, strNetwork});
        } else {
            Attach(key, strNetwork);
        }
    }

    // A reply left heard is handled now.
    void AttachHeard()
    {
        if (m_Heard.empty())
            return;
        const size_t nIndex = static_cast<size_t>(Draw(static_cast<int>(m_Heard.size())));
        const std::pair<SVLECMReplyKey, std::string> heard = m_Heard[nIndex];
        m_Heard.erase(m_Heard.begin() + static_cast<long>(nIndex));
        Note("attach heard " + Std(heard.first.strAddress));
        Attach(heard.first, heard.second);
    }

    void Attach(const SVLECMReplyKey& key, const std::string& strNetwork)
    {
        std::unique_ptr<CVLECMNIFInfo> pRecord(new CVLECMNIFInfo());
        if (!m_Table.Attach(key, pRecord.get(), Text("M")))
            return;
        EXPECT_FALSE(m_bStopped) << "attached after the stop";
        SRecord& record = Add(std::move(pRecord), key, strNetwork);
        CVLECMNIFInfo* p = record.pRecord.get();
        if (Draw(12) == 0) {
            // The filter is off: no check.
            Note("accept " + Std(key.strAddress));
            record.ePhase = PHASE_OVER;
            Follow(m_Table.Accept(p));
        } else {
            Note("begin " + Std(key.strAddress) + " on '" + strNetwork + "'");
            record.ePhase = PHASE_WAITING_CHECK;
            Follow(m_Table.BeginChain(p, Text(strNetwork)));
        }
    }

    // Accepted when its chain is under way or over: nothing changes.
    void AcceptAgain()
    {
        SRecord* pRecord = AnyRecord(false);
        if (pRecord == nullptr)
            return;
        Note("accept again " + pRecord->strAddress);
        const CVLECMMACTable::SNext next = m_Table.Accept(pRecord->pRecord.get());
        EXPECT_TRUE(next.starts.empty());
        EXPECT_EQ(nullptr, next.pReport);
    }

    // A check or command under way ends, in one of the ways it can.
    void End()
    {
        SRecord* pRecord = AnyRecord(true);
        if (pRecord == nullptr)
            return;
        CVLECMNIFInfo* p = pRecord->pRecord.get();
        const int nWay = Draw(5);
        const VLECM_COMMAND eCommand = pRecord->eCommand;
        Note("end " + pRecord->strAddress + " command " + std::to_string(eCommand) + " way " + std::to_string(nWay));
        if (nWay == 0) {
            pRecord->ePhase = PHASE_OVER;
            m_LostEnds.insert(p);
            Follow(m_Table.EndLost(p, eCommand));
        } else if (eCommand == VLECM_COMMAND_CHECK_UNICAST) {
            const bool bAnswered = nWay >= 3;
            pRecord->ePhase = bAnswered && !m_bStopped ? PHASE_WAITING_PLACE : PHASE_OVER;
            Follow(m_Table.CheckEnded(p, bAnswered,
                                      bAnswered   ? VLECM_MAC_FAILURE_NONE
                                      : nWay == 1 ? VLECM_MAC_FAILURE_NO_ANSWER
                                                  : VLECM_MAC_FAILURE_NOT_UNICAST,
                                      bAnswered ? VLECM_RESULT_SUCCESS : VLECM_RESULT_TIMEOUT, 0, false));
        } else {
            pRecord->ePhase = PHASE_ENDING;
            Follow(m_Table.CommandEnded(p, eCommand, nWay == 1 ? VLECM_RESULT_TIMEOUT : VLECM_RESULT_SUCCESS, 0));
        }
        if (pRecord->ePhase == PHASE_ENDING)
            pRecord->ePhase = PHASE_OVER;
    }

    // A command the table asked for cannot start for a local reason (its
    // start may come after the stop): it waits apart, or is judged stopped.
    void Defer()
    {
        std::vector<SRecord*> found;
        for (SRecord& record : m_Records) {
            if (record.ePhase == PHASE_RUNNING)
                found.push_back(&record);
        }
        if (found.empty())
            return;
        SRecord& record = *found[static_cast<size_t>(Draw(static_cast<int>(found.size())))];
        Note("start deferred " + record.strAddress + " command " + std::to_string(record.eCommand));
        record.ePhase = m_bStopped ? PHASE_OVER : PHASE_DEFERRED;
        Follow(m_Table.StartDeferred(record.pRecord.get(), record.eCommand, VLECM_LACK_DESCRIPTORS));
    }

    // The dispatch thread's tick: now and then a deferred chain waits for
    // its check or a place again (none after the stop) and takes what is
    // free; as one gets through (its request leaves, or it ends), all do.
    void Retry()
    {
        Note("retry deferred");
        for (int nTick = 0; nTick < 4; ++nTick)
            Follow(m_Table.RetryDeferred());
        // Every other trial that holds its place or check (no draw, so that
        // the events drawn stay those the run was tuned to).
        CVLECMNIFInfo* pTrial = m_Table.GetHeldTrial();
        if (pTrial != nullptr && ++m_nHeldTrials % 2 == 0) {
            Note("the trial holds");
            Follow(m_Table.TrialHolds(pTrial));
        }
    }

    // The deferred chains the table let wait again since the last answer.
    void NoteLetWait()
    {
        for (SRecord& record : m_Records) {
            if ((record.ePhase == PHASE_DEFERRED || record.ePhase == PHASE_DEFERRED_CHECK) &&
                !m_Table.IsDeferred(record.pRecord.get())) {
                EXPECT_FALSE(m_bStopped) << "let wait after the stop";
                record.ePhase = record.ePhase == PHASE_DEFERRED ? PHASE_WAITING_PLACE : PHASE_WAITING_CHECK;
                record.bRetried = true;
            }
        }
    }

    // The record is destroyed otherwise: its address is judged at once.
    void Detach()
    {
        SRecord* pRecord = AnyRecord(false);
        if (pRecord == nullptr)
            return;
        Note("detach " + pRecord->strAddress);
        SVLECMReplyKey key;
        key.strMAC = Text(pRecord->strMAC);
        key.strAddress = Text(pRecord->strAddress);
        if (m_Table.IsReported(key))
            m_HandOnMayLack.insert(pRecord->strMAC);
        Gone(*pRecord);
        Follow(m_Table.Detach(pRecord->pRecord.get()));
        EXPECT_FALSE(IsPending(*pRecord)) << "detached and still pending: " << pRecord->strAddress;
    }

    // The client removes a MAC (half the time one with a chain that waits):
    // its records come back, and none else.
    void Remove(int nMAC)
    {
        const SRecord* pWaiting = Draw(2) == 0 ? AnyWaiting() : nullptr;
        const std::string strMAC = pWaiting != nullptr ? pWaiting->strMAC : MACOf(nMAC);
        Note("remove " + strMAC);
        std::set<const CVLECMNIFInfo*> expected;
        for (SRecord& record : m_Records) {
            if (record.strMAC == strMAC && record.ePhase != PHASE_GONE) {
                expected.insert(record.pRecord.get());
                Gone(record);
            }
        }
        auto simulated = m_Simulated.find(strMAC);
        if (simulated != m_Simulated.end())
            expected.insert(simulated->second);
        m_Simulated.erase(strMAC);
        m_Removed.insert(strMAC);
        CVLECMMACTable::SNext next;
        const std::vector<CVLECMNIFInfo*> records = m_Table.Remove(Text(strMAC), &next);
        EXPECT_EQ(expected, std::set<const CVLECMNIFInfo*>(records.begin(), records.end()));
        Follow(next);
    }

    void Stop()
    {
        Note("stop");
        m_bStopped = true;
        for (SRecord& record : m_Records) {
            if (record.ePhase == PHASE_WAITING_CHECK || record.ePhase == PHASE_WAITING_PLACE ||
                record.ePhase == PHASE_DEFERRED || record.ePhase == PHASE_DEFERRED_CHECK)
                record.ePhase = PHASE_OVER;
        }
        m_Heard.clear();
        Follow(m_Table.Stop());
    }

    // The simulated probe's device of a MAC.
    void HandOnSimulated(int nMAC)
    {
        const std::string strMAC = MACOf(nMAC);
        Note("simulated " + strMAC);
        m_SimulatedRecords.emplace_back(new CVLECMNIFInfo());
        if (!m_Table.HandOnSimulated(Text(strMAC), m_SimulatedRecords.back().get()))
            return;
        EXPECT_FALSE(m_bStopped) << "handed on after the stop";
        m_Simulated[strMAC] = m_SimulatedRecords.back().get();
        HandedOn(strMAC);
    }

    // The dispatch thread releases the threads of the ends lost: those
    // noted since it last did, once.
    void TakeLostEnds()
    {
        Note("take lost ends");
        const std::vector<CVLECMNIFInfo*> taken = m_Table.TakeLostEnds();
        EXPECT_EQ(m_LostEnds, std::set<const CVLECMNIFInfo*>(taken.begin(), taken.end())) << "lost ends";
        EXPECT_TRUE(m_Table.TakeLostEnds().empty()) << "lost ends taken twice";
        m_LostEnds.clear();
    }

    // The dispatch thread carries out the hand-ons that waited, twice: the
    // second finds none.
    void TakeWaitingHandOns()
    {
        Note("take waiting hand-ons");
        for (const CVLECMMACTable::SNext& next : m_Table.TakeWaitingHandOns()) {
            const SRecord* pRecord = Find(next.pReport);
            if (pRecord == nullptr) {
                ADD_FAILURE() << "a hand-on waits for a record gone";
                continue;
            }
            EXPECT_EQ(m_bStopped, next.bListOnly);
            m_Refused.erase(next.pReport);
            HandedOn(pRecord->strMAC);
        }
        EXPECT_TRUE(m_Refused.empty()) << m_Refused.size() << " refused hand-ons did not come back";
        m_Refused.clear();
        EXPECT_TRUE(m_Table.TakeWaitingHandOns().empty()) << "hand-ons taken twice";
    }

    bool IsStopped() const { return m_bStopped; }
    bool IsUnderWay() const
    {
        return std::any_of(m_Records.begin(), m_Records.end(), [](const SRecord& record) {
            return record.ePhase == PHASE_CHECKING || record.ePhase == PHASE_RUNNING;
        });
    }

    // The rules after each event (bStates: each record's address read too).
    void Check(bool bStates)
    {
        std::map<std::string, SNetworkView> networks{{"", {}}, {"10.1", {}}, {"10.2", {}}};
        int nChecking = 0, nNamedChecking = 0, nWaitingChecks = 0, nNamedWaitingChecks = 0, nDeferred = 0;
        for (const SRecord& record : m_Records) {
            SNetworkView& network = networks[record.strNetwork];
            switch (record.ePhase) {
            case PHASE_CHECKING:
                ++nChecking;
                nNamedChecking += record.bNamed;
                break;
            case PHASE_WAITING_CHECK:
                ++nWaitingChecks;
                nNamedWaitingChecks += record.bNamed;
                break;
            case PHASE_RUNNING:
                ++network.nRunning;
                network.nNamedRunning += record.bNamed;
                break;
            case PHASE_WAITING_PLACE:
                ++network.nWaiting;
                network.nNamedWaiting += record.bNamed;
                break;
            case PHASE_DEFERRED:
            case PHASE_DEFERRED_CHECK:
                ++nDeferred;
                break;
            default:
                break;
            }
            if (bStates && record.ePhase != PHASE_GONE) {
                EXPECT_TRUE(StateFits(record)) << record.strMAC << " " << record.strAddress << " phase "
                                               << record.ePhase;
            }
        }
        int nWaitingPlaces = 0;
        for (const auto& network : networks)
            nWaitingPlaces += network.second.nWaiting;
        const bool bNamedPlaceTaken = ExpectPlacesHeld(m_Table, m_nPerNetwork, m_nShared, networks);
        m_nMostPoolTaken = std::max(m_nMostPoolTaken, PoolTaken(m_Table, m_nPerNetwork, networks));
        for (const auto& network : networks) {
            if (network.second.nNamedWaiting > 0 && network.second.nWaiting > network.second.nNamedWaiting)
                ++m_nNamedWaitedBehind;
        }
        ExpectNoPlaceLeftFree(m_Table, m_nPerNetwork, m_nShared, networks, bNamedPlaceTaken);
        ExpectChecksKept(m_Table, m_nChecks, nChecking, nNamedChecking, nWaitingChecks, nNamedWaitingChecks);
        int nRunning = 0, nWaiting = 0;
        m_Table.GetChainCounts(nRunning, nWaiting);
        EXPECT_EQ(nWaitingChecks + nWaitingPlaces + nDeferred, nWaiting);
        if (m_bStopped) {
            EXPECT_EQ(0, nWaiting);
        }
    }

    // The probe stopped and what was under way ended: the dispatch thread's
    // last pass leaves nothing pending, and each MAC the table handed on
    // was handed on once.
    void CheckEnd()
    {
        Note("end of the probe");
        TakeLostEnds();
        TakeWaitingHandOns();
        Check(true);
        EXPECT_EQ(0, m_Table.GetPendingCount());
        int nChecking = 0;
        EXPECT_EQ(0, m_Table.GetUnfinishedChainCount(nChecking));
        EXPECT_EQ(0, nChecking);
        std::set<std::string> macs;
        for (const SRecord& record : m_Records)
            macs.insert(record.strMAC);
        for (const auto& simulated : m_Simulated)
            macs.insert(simulated.first);
        for (const std::string& strMAC : macs) {
            if (m_Removed.count(strMAC) > 0)
                continue;
            SVLECMMACSummary summary;
            ASSERT_TRUE(m_Table.GetSummary(Text(strMAC), summary));
            EXPECT_NE(VLECM_MAC_PENDING, summary.eVerdict) << strMAC;
            const int nHandedOn = m_HandedOn.count(strMAC) > 0 ? m_HandedOn[strMAC] : 0;
            if (!summary.bReported) {
                EXPECT_EQ(0, nHandedOn) << strMAC << " handed on, not reported";
            } else if (m_HandOnMayLack.count(strMAC) == 0) {
                EXPECT_EQ(1, nHandedOn) << strMAC << " reported, handed on " << nHandedOn << " times";
            }
        }
    }

    // A second probe: what the first held is gone with its records.
    void Reset(bool bKeepStop)
    {
        Note(bKeepStop ? "reset, kept stopped" : "reset");
        m_Table.Reset(bKeepStop);
        m_bStopped = bKeepStop;
        m_Records.clear();
        m_Index.clear();
        m_SimulatedRecords.clear();
        m_Simulated.clear();
        m_Heard.clear();
        m_HandedOn.clear();
        m_HandOnMayLack.clear();
        m_Removed.clear();
        m_LostEnds.clear();
        m_Refused.clear();
        int nRunning = 0, nWaiting = 0, nChecking = 0;
        m_Table.GetChainCounts(nRunning, nWaiting);
        EXPECT_EQ(0, nRunning + nWaiting + m_Table.GetCheckingCount() + m_Table.GetPendingCount() +
                         m_Table.GetUnfinishedChainCount(nChecking));
        EXPECT_TRUE(m_Table.TakeLostEnds().empty());
        EXPECT_TRUE(m_Table.TakeWaitingHandOns().empty());
    }

    int GetHandedOnCount() const { return static_cast<int>(m_HandedOn.size()); }
    int GetNamedWaitedBehind() const { return m_nNamedWaitedBehind; }
    int GetMostPoolTaken() const { return m_nMostPoolTaken; }
    int GetRetriedStarts() const { return m_nRetriedStarts; }

private:
    struct SRecord
    {
        std::unique_ptr<CVLECMNIFInfo> pRecord;
        std::string strMAC, strAddress, strNetwork;
        bool bNamed = false;
        EPhase ePhase = PHASE_WAITING_CHECK;
        VLECM_COMMAND eCommand = VLECM_COMMAND_CHECK_UNICAST;
        // Deferred, then let wait for a place again: it restarts its command.
        bool bRetried = false;
    };

    SRecord& Add(std::unique_ptr<CVLECMNIFInfo> pRecord, const SVLECMReplyKey& key, const std::string& strNetwork)
    {
        m_Index[pRecord.get()] = m_Records.size();
        m_Records.emplace_back();
        SRecord& record = m_Records.back();
        record.pRecord = std::move(pRecord);
        record.strMAC = Std(key.strMAC);
        record.strAddress = Std(key.strAddress);
        record.strNetwork = strNetwork;
        record.bNamed = record.strAddress == kNamed;
        return record;
    }

    SRecord* Find(const CVLECMNIFInfo* pRecord)
    {
        auto it = m_Index.find(pRecord);
        return it != m_Index.end() ? &m_Records[it->second] : nullptr;
    }

    // A record not gone; bUnderWay: one whose check or command runs.
    SRecord* AnyRecord(bool bUnderWay)
    {
        std::vector<size_t> found;
        for (size_t i = 0; i < m_Records.size(); ++i) {
            const EPhase ePhase = m_Records[i].ePhase;
            if (bUnderWay ? ePhase == PHASE_CHECKING || ePhase == PHASE_RUNNING : ePhase != PHASE_GONE)
                found.push_back(i);
        }
        if (found.empty())
            return nullptr;
        return &m_Records[found[static_cast<size_t>(Draw(static_cast<int>(found.size())))]];
    }

    bool RetriedWaits(const std::string& strNetwork) const
    {
        return std::any_of(m_Records.begin(), m_Records.end(), [&strNetwork](const SRecord& record) {
            return record.ePhase == PHASE_WAITING_PLACE && record.bRetried && record.strNetwork == strNetwork;
        });
    }

    SRecord* AnyWaiting()
    {
        std::vector<size_t> found;
        for (size_t i = 0; i < m_Records.size(); ++i) {
            if (m_Records[i].ePhase == PHASE_WAITING_CHECK || m_Records[i].ePhase == PHASE_WAITING_PLACE)
                found.push_back(i);
        }
        if (found.empty())
            return nullptr;
        return &m_Records[found[static_cast<size_t>(Draw(static_cast<int>(found.size())))]];
    }

    void Gone(SRecord& record)
    {
        record.ePhase = PHASE_GONE;
        m_LostEnds.erase(record.pRecord.get());
        if (m_Refused.erase(record.pRecord.get()) > 0)
            m_HandOnMayLack.insert(record.strMAC);
    }

    bool ReadAddress(const SRecord& record, SVLECMMACAddress& address)
    {
        SVLECMMACState state;
        if (!m_Table.GetState(Text(record.strMAC), state))
            return false;
        for (const SVLECMMACAddress& one : state.addresses) {
            if (Std(one.strAddress) == record.strAddress) {
                address = one;
                return true;
            }
        }
        return false;
    }

    bool IsPending(const SRecord& record)
    {
        SVLECMMACAddress address;
        if (!ReadAddress(record, address))
            return false;
        return address.eState == VLECM_MAC_ADDRESS_HEARD || address.eState == VLECM_MAC_ADDRESS_WAITING ||
               address.eState == VLECM_MAC_ADDRESS_CHECKING || address.eState == VLECM_MAC_ADDRESS_ANSWERED;
    }

    // The record's address stands as its chain does: what holds or waits
    // is not judged, what is over is.
    bool StateFits(const SRecord& record)
    {
        SVLECMMACAddress address;
        if (!ReadAddress(record, address))
            return false;
        switch (record.ePhase) {
        case PHASE_WAITING_CHECK:
        case PHASE_DEFERRED_CHECK:
            return address.eState == VLECM_MAC_ADDRESS_WAITING;
        case PHASE_CHECKING:
            return address.eState == VLECM_MAC_ADDRESS_CHECKING;
        case PHASE_WAITING_PLACE:
        case PHASE_RUNNING:
        case PHASE_DEFERRED:
            return address.eState == VLECM_MAC_ADDRESS_ANSWERED;
        default:
            return address.eState == VLECM_MAC_ADDRESS_PASSED || address.eState == VLECM_MAC_ADDRESS_FAILED;
        }
    }

    void HandedOn(const std::string& strMAC)
    {
        EXPECT_EQ(1, ++m_HandedOn[strMAC]) << strMAC << " handed on twice";
    }

    // Carries out what the table answers: starts (some fail to, for a
    // local reason), hand-ons (some the dispatch queue refuses).
    void Follow(const CVLECMMACTable::SNext& first)
    {
        std::vector<CVLECMMACTable::SNext> work{first};
        while (!work.empty()) {
            const CVLECMMACTable::SNext next = work.back();
            work.pop_back();
            NoteLetWait();
            if (next.pReport != nullptr) {
                const SRecord* pRecord = Find(next.pReport);
                if (pRecord == nullptr || pRecord->ePhase == PHASE_GONE) {
                    ADD_FAILURE() << "handed on a record gone";
                } else if (Draw(5) == 0) {
                    Note("hand-on refused " + pRecord->strAddress);
                    m_Refused.insert(next.pReport);
                    m_Table.HandOnRefused(next.pReport);
                } else {
                    EXPECT_EQ(m_bStopped, next.bListOnly);
                    HandedOn(pRecord->strMAC);
                }
            }
            for (const CVLECMMACTable::SStart& start : next.starts) {
                EXPECT_FALSE(m_bStopped) << "started after the stop";
                SRecord* pRecord = Find(start.pRecord);
                if (pRecord == nullptr) {
                    ADD_FAILURE() << "started a record not known";
                    continue;
                }
                Note("start " + pRecord->strAddress + " command " + std::to_string(start.eCommand));
                if (pRecord->ePhase == PHASE_GONE) {
                    ADD_FAILURE() << "started " << pRecord->strAddress << ", its record gone";
                    continue;
                }
                const EPhase eWanted = start.eCommand == VLECM_COMMAND_CHECK_UNICAST ? PHASE_WAITING_CHECK
                                       : pRecord->ePhase == PHASE_ENDING           ? PHASE_ENDING
                                                                                   : PHASE_WAITING_PLACE;
                EXPECT_EQ(eWanted, pRecord->ePhase) << "started " << pRecord->strAddress;
                EXPECT_TRUE(m_Table.MayStart(start.pRecord, start.eCommand));
                // Let wait again, a deferred chain is at the head of its
                // network's line: only a named chain goes ahead of it.
                if (pRecord->ePhase == PHASE_WAITING_PLACE && !pRecord->bRetried && !pRecord->bNamed) {
                    EXPECT_FALSE(RetriedWaits(pRecord->strNetwork))
                        << "started " << pRecord->strAddress << " ahead of a chain deferred and let wait again";
                }
                if (pRecord->bRetried && pRecord->ePhase == PHASE_WAITING_PLACE) {
                    EXPECT_EQ(pRecord->eCommand, start.eCommand) << "a deferred chain restarted otherwise";
                    ++m_nRetriedStarts;
                }
                pRecord->bRetried = false;
                pRecord->ePhase = start.eCommand == VLECM_COMMAND_CHECK_UNICAST ? PHASE_CHECKING : PHASE_RUNNING;
                pRecord->eCommand = start.eCommand;
                const int nWay = Draw(12);
                if (nWay == 0) {
                    Note("start failed " + pRecord->strAddress);
                    pRecord->ePhase = PhaseAfterFailedStart(start.eCommand);
                    work.push_back(m_Table.StartFailed(start.pRecord, start.eCommand, VLECM_RESULT_FAILED));
                } else if (nWay == 1) {
                    Note("start deferred " + pRecord->strAddress);
                    pRecord->ePhase =
                        start.eCommand == VLECM_COMMAND_CHECK_UNICAST ? PHASE_DEFERRED_CHECK : PHASE_DEFERRED;
                    work.push_back(m_Table.StartDeferred(start.pRecord, start.eCommand, VLECM_LACK_THREADS));
                }
            }
        }
    }

    CVLECMMACTable& m_Table;
    std::mt19937& m_Random;
    const int m_nPerNetwork, m_nShared, m_nChecks;
    bool m_bStopped = false;
    int m_nHeldTrials = 0;
    std::deque<std::string> m_Trace;
    std::vector<SRecord> m_Records;
    std::map<const CVLECMNIFInfo*, size_t> m_Index;
    std::vector<std::unique_ptr<CVLECMNIFInfo>> m_SimulatedRecords;
    std::map<std::string, CVLECMNIFInfo*> m_Simulated;
    std::vector<std::pair<SVLECMReplyKey, std::string>> m_Heard;
    std::map<std::string, int> m_HandedOn;
    // MACs whose record handed on went before its hand-on was carried out.
    std::set<std::string> m_HandOnMayLack;
    std::set<std::string> m_Removed;
    int m_nNamedWaitedBehind = 0;
    int m_nMostPoolTaken = 0;
    int m_nRetriedStarts = 0;
    std::set<const CVLECMNIFInfo*> m_LostEnds;
    std::set<const CVLECMNIFInfo*> m_Refused;
};
}  // namespace

TEST(ECMChainTable, RandomEventsKeepPlacesHandOnsAndPendingSound)
{
    const int kMACs = 40;
    // Places each network's own, none shared (SetPlacesPerNetwork); then
    // own places and a pool (SetPlaces).
    struct SConfiguration
    {
        int nPerNetwork, nShared, nChecks;
        bool bPool;
        unsigned nSeed;
    };
    std::vector<SConfiguration> configurations;
    for (int nPlaces = 1; nPlaces <= 3; ++nPlaces) {
        for (int nChecks = 1; nChecks <= 3; ++nChecks) {
            for (unsigned nSeed = 1; nSeed <= 2; ++nSeed)
                configurations.push_back(
                    {nPlaces, 0, nChecks, false, nSeed * 100 + static_cast<unsigned>(nPlaces * 10 + nChecks)});
        }
    }
    for (int nPerNetwork = 1; nPerNetwork <= 3; ++nPerNetwork) {
        for (int nShared = 0; nShared <= 3; ++nShared) {
            for (unsigned nSeed = 1; nSeed <= 2; ++nSeed) {
                configurations.push_back({nPerNetwork, nShared,
                                          1 + (nPerNetwork + nShared + static_cast<int>(nSeed)) % 3, true,
                                          1000 + nSeed * 100 + static_cast<unsigned>(nPerNetwork * 10 + nShared)});
            }
        }
    }
    int nMostWaiting = 0, nProbes = 0, nHandedOn = 0, nNamedWaitedBehind = 0, nMostPoolTaken = 0, nRetriedStarts = 0;
    for (const SConfiguration& configuration : configurations) {
        const std::string strConfiguration =
            "seed " + std::to_string(configuration.nSeed) + ", places " + std::to_string(configuration.nPerNetwork) +
            (configuration.bPool ? " and a pool of " + std::to_string(configuration.nShared) : "") + ", checks " +
            std::to_string(configuration.nChecks);
        SCOPED_TRACE(strConfiguration);
        std::mt19937 random(configuration.nSeed);
        CVLECMMACTable table;
        table.SetFirstCommand(configuration.nSeed % 2 == 0 ? VLECM_COMMAND_GET_LIST_INFO
                                                           : VLECM_COMMAND_GET_SUPPORT_INFORMATION);
        if (configuration.bPool)
            table.SetPlaces(configuration.nPerNetwork, configuration.nShared);
        else
            table.SetPlacesPerNetwork(configuration.nPerNetwork);
        table.SetCheckLimit(configuration.nChecks);
        table.SetNamedAddress(Text(kNamed));
        CProbeModel model(table, random, configuration.nPerNetwork, configuration.nShared, configuration.nChecks);
        for (int nStep = 0; nStep < 4000 && !::testing::Test::HasFailure(); ++nStep) {
            const int nEvent = model.Draw(1000);
            if (nEvent < 400) {
                model.Reply(model.Draw(kMACs), model.Draw(4));
            } else if (nEvent < 430) {
                model.AttachHeard();
            } else if (nEvent < 750) {
                model.End();
            } else if (nEvent < 780) {
                model.Detach();
            } else if (nEvent < 795) {
                model.Remove(model.Draw(kMACs));
            } else if (nEvent < 815) {
                model.AcceptAgain();
            } else if (nEvent < 835) {
                model.HandOnSimulated(model.Draw(kMACs));
            } else if (nEvent < 870) {
                model.TakeLostEnds();
            } else if (nEvent < 900) {
                model.TakeWaitingHandOns();
            } else if (nEvent < 904) {
                if (!model.IsStopped())
                    model.Stop();
            } else if (nEvent < 915) {
                model.Defer();
            } else if (nEvent < 975) {
                model.Retry();
            }
            if (model.IsStopped() && !model.IsUnderWay()) {
                model.CheckEnd();
                nHandedOn += model.GetHandedOnCount();
                ++nProbes;
                model.Reset(model.Draw(4) == 0);
            } else if (model.IsStopped() && model.Draw(40) == 0) {
                // A second probe before the first one's ends came: they
                // are dropped with its records.
                model.Reset(false);
            }
            model.Check(nStep % 4 == 0);
            int nRunning = 0, nWaiting = 0;
            table.GetChainCounts(nRunning, nWaiting);
            nMostWaiting = std::max(nMostWaiting, nWaiting);
        }
        nNamedWaitedBehind += model.GetNamedWaitedBehind();
        nMostPoolTaken = std::max(nMostPoolTaken, model.GetMostPoolTaken());
        nRetriedStarts += model.GetRetriedStarts();
        if (::testing::Test::HasFailure()) {
            ADD_FAILURE() << strConfiguration << ", the last events:\n" << model.GetTrace();
            return;
        }
    }
    // The run is worth its name: chains waited, named ones behind others,
    // probes ended, MACs were handed on, the pool was taken whole, deferred
    // chains started again.
    EXPECT_GT(nMostWaiting, 0);
    EXPECT_GT(nNamedWaitedBehind, 0);
    EXPECT_GT(nProbes, 18);
    EXPECT_GT(nHandedOn, 0);
    EXPECT_EQ(3, nMostPoolTaken);
    EXPECT_GT(nRetriedStarts, 0);
}

// With the unicast filter off, an address that did not answer unicast
// stands for the device only when no address of its MAC answered unicast:
// one that did and then failed its commands is the device, failed.
TEST(ECMChainTable, AnAddressDeafToUnicastDoesNotStandForADeviceThatFailed)
{
    CVLECMMACTable table;
    table.SetFirstCommand(VLECM_COMMAND_GET_LIST_INFO);
    CVLECMNIFInfo deaf, device;
    SVLECMReplyKey deafKey, deviceKey;
    deafKey.strMAC = deviceKey.strMAC = Text("0026AB00E001");
    deafKey.strAddress = Text("10.1.0.66");
    deviceKey.strAddress = Text("10.1.0.5");
    for (const SVLECMReplyKey* pKey : {&deafKey, &deviceKey}) {
        ASSERT_TRUE(table.Keep(*pKey));
        ASSERT_TRUE(table.Attach(*pKey, pKey == &deafKey ? &deaf : &device, Text("M")));
    }
    ASSERT_EQ(1u, table.BeginChain(&deaf, Text("10.1")).starts.size());
    ASSERT_EQ(1u, table.BeginChain(&device, Text("10.1")).starts.size());
    table.CheckEnded(&deaf, false, VLECM_MAC_FAILURE_NOT_UNICAST, VLECM_RESULT_TIMEOUT, 0, false);
    CVLECMMACTable::SNext next =
        table.CheckEnded(&device, true, VLECM_MAC_FAILURE_NONE, VLECM_RESULT_SUCCESS, 0, false);
    ASSERT_EQ(1u, next.starts.size());
    next = table.CommandEnded(&device, VLECM_COMMAND_GET_LIST_INFO, VLECM_RESULT_TIMEOUT, 0);
    EXPECT_EQ(nullptr, next.pReport);
    SVLECMMACSummary summary;
    ASSERT_TRUE(table.GetSummary(deafKey.strMAC, summary));
    EXPECT_EQ(VLECM_MAC_NONE, summary.eVerdict);
    EXPECT_FALSE(summary.bReported);
}

// The named address has a place of its own; a named chain that has to wait
// (that place taken) waits ahead of its network's line and takes the named
// place when it frees; clearing the name runs no more chains than there
// are places.
TEST(ECMChainTable, ANamedChainThatWaitsGetsTheNamedPlace)
{
    CVLECMMACTable table;
    table.SetFirstCommand(VLECM_COMMAND_GET_LIST_INFO);
    table.SetPlacesPerNetwork(1);
    table.SetNamedAddress(Text("10.1.0.9"));
    CVLECMNIFInfo records[4];
    const char* const kAddresses[4] = {"10.1.0.1", "10.1.0.9", "10.1.0.9", "10.1.0.2"};
    std::vector<CVLECMMACTable::SNext> answers;
    for (int i = 0; i < 4; ++i) {
        SVLECMReplyKey key;
        key.strMAC = Text("0026AB00F00" + std::to_string(i));
        key.strAddress = Text(kAddresses[i]);
        ASSERT_TRUE(table.Keep(key));
        ASSERT_TRUE(table.Attach(key, &records[i], Text("M")));
        ASSERT_EQ(1u, table.BeginChain(&records[i], Text("10.1")).starts.size());
        answers.push_back(table.CheckEnded(&records[i], true, VLECM_MAC_FAILURE_NONE, VLECM_RESULT_SUCCESS, 0, false));
    }
    // The network's place, the named place; the second named chain and the
    // last wait.
    ASSERT_EQ(1u, answers[0].starts.size());
    ASSERT_EQ(1u, answers[1].starts.size());
    EXPECT_TRUE(answers[2].starts.empty());
    EXPECT_TRUE(answers[3].starts.empty());
    int nRunning = 0, nWaiting = 0;
    table.GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(2, nRunning);
    EXPECT_EQ(2, nWaiting);
    // The named place frees: the named chain waiting takes it, ahead of
    // the one waiting before it for the network's place.
    CVLECMMACTable::SNext next = table.CommandEnded(&records[1], VLECM_COMMAND_GET_LIST_INFO, VLECM_RESULT_SUCCESS, 0);
    ASSERT_EQ(1u, next.starts.size());
    EXPECT_EQ(&records[2], next.starts[0].pRecord);
    // The name is cleared while the named place is held: no more run.
    table.SetNamedAddress(Text(""));
    table.GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(2, nRunning);
    EXPECT_EQ(1, nWaiting);
    next = table.CommandEnded(&records[0], VLECM_COMMAND_GET_LIST_INFO, VLECM_RESULT_SUCCESS, 0);
    ASSERT_EQ(1u, next.starts.size());
    EXPECT_EQ(&records[3], next.starts[0].pRecord);
    table.GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(2, nRunning);
    EXPECT_EQ(0, nWaiting);
    // The named place frees and goes to nobody.
    EXPECT_TRUE(table.CommandEnded(&records[2], VLECM_COMMAND_GET_LIST_INFO, VLECM_RESULT_SUCCESS, 0).starts.empty());
    table.GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(1, nRunning);
}
