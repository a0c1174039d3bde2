// The MAC table owns each address's chain: driven with random events, what
// it holds always belongs to addresses still to be judged, no MAC is handed
// on twice in a probe, and after a stop and the ends of what was under way
// nothing is pending.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/core/VLCharset.h"
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

// Plays the probe instance: starts what the table asks (or says it did not
// start), and keeps what runs, to end it later.
class CChainModel
{
public:
    explicit CChainModel(CVLECMMACTable& table) : m_Table(table) {}

    void Follow(const CVLECMMACTable::SNext& first)
    {
        std::vector<CVLECMMACTable::SNext> work{first};
        while (!work.empty()) {
            CVLECMMACTable::SNext next = work.back();
            work.pop_back();
            if (next.pReport != nullptr) {
                SVLECMReplyKey key;
                ASSERT_TRUE(m_Table.FindKey(next.pReport, key));
                EXPECT_TRUE(m_HandedOn.insert(Std(key.strMAC)).second) << "handed on twice: " << Std(key.strMAC);
            }
            for (const CVLECMMACTable::SStart& start : next.starts) {
                if (m_Table.MayStart(start.pRecord, start.eCommand))
                    m_UnderWay.emplace_back(start.pRecord, start.eCommand);
                else
                    work.push_back(m_Table.StartFailed(start.pRecord, start.eCommand, VLECM_RESULT_STOPPED));
            }
        }
    }

    // Ends the under-way command at that index in one of the ways it can end.
    void End(size_t nIndex, int nWay)
    {
        const std::pair<CVLECMNIFInfo*, VLECM_COMMAND> underWay = m_UnderWay[nIndex];
        m_UnderWay.erase(m_UnderWay.begin() + static_cast<long>(nIndex));
        CVLECMNIFInfo* pRecord = underWay.first;
        const VLECM_COMMAND eCommand = underWay.second;
        if (nWay == 0) {
            Follow(m_Table.EndLost(pRecord, eCommand));
        } else if (eCommand == VLECM_COMMAND_CHECK_UNICAST) {
            const bool bAnswered = nWay != 1;
            Follow(m_Table.CheckEnded(pRecord, bAnswered,
                                      bAnswered ? VLECM_MAC_FAILURE_NONE : VLECM_MAC_FAILURE_NO_ANSWER,
                                      bAnswered ? VLECM_RESULT_SUCCESS : VLECM_RESULT_TIMEOUT, 0, false));
        } else {
            Follow(m_Table.CommandEnded(pRecord, eCommand, nWay == 1 ? VLECM_RESULT_TIMEOUT : VLECM_RESULT_SUCCESS,
                                        0));
        }
    }

    // A new probe: what ran before is gone with its records.
    void Reset()
    {
        m_UnderWay.clear();
        m_HandedOn.clear();
    }
    // The records of a removed MAC run nothing more (their commands are
    // stopped and their ends dropped with them).
    void Forget(const std::vector<CVLECMNIFInfo*>& records)
    {
        for (CVLECMNIFInfo* pRecord : records) {
            for (size_t i = m_UnderWay.size(); i-- > 0;) {
                if (m_UnderWay[i].first == pRecord)
                    m_UnderWay.erase(m_UnderWay.begin() + static_cast<long>(i));
            }
        }
    }

    // What is held belongs to addresses not judged (read for each when
    // bStates), and matches what runs.
    void Check(bool bStates = true)
    {
        int nChecks = 0, nCommands = 0;
        for (const auto& underWay : m_UnderWay) {
            (underWay.second == VLECM_COMMAND_CHECK_UNICAST ? nChecks : nCommands)++;
            if (!bStates)
                continue;
            SVLECMReplyKey key;
            ASSERT_TRUE(m_Table.FindKey(underWay.first, key));
            SVLECMMACState state;
            ASSERT_TRUE(m_Table.GetState(key.strMAC, state));
            for (const SVLECMMACAddress& address : state.addresses) {
                if (address.strAddress != key.strAddress)
                    continue;
                if (underWay.second == VLECM_COMMAND_CHECK_UNICAST)
                    EXPECT_EQ(VLECM_MAC_ADDRESS_CHECKING, address.eState) << Std(key.strAddress);
                else
                    EXPECT_EQ(VLECM_MAC_ADDRESS_ANSWERED, address.eState) << Std(key.strAddress);
            }
        }
        int nRunning = 0, nWaiting = 0;
        m_Table.GetChainCounts(nRunning, nWaiting);
        EXPECT_EQ(nCommands, nRunning);
        EXPECT_EQ(nChecks, m_Table.GetCheckingCount());
        if (m_Table.IsStopped()) {
            EXPECT_EQ(0, nWaiting);
        }
    }

    size_t GetUnderWayCount() const { return m_UnderWay.size(); }
    size_t GetHandedOnCount() const { return m_HandedOn.size(); }

private:
    CVLECMMACTable& m_Table;
    std::vector<std::pair<CVLECMNIFInfo*, VLECM_COMMAND>> m_UnderWay;
    std::set<std::string> m_HandedOn;
};
}  // namespace

TEST(ECMChainTable, RandomEventsKeepPlacesHandOnsAndPendingSound)
{
    // More addresses per network than it has places, so that chains wait.
    const int kMACs = 300, kAddressesPerMAC = 4;
    int nMostWaitingOfAll = 0;
    for (unsigned nSeed = 1; nSeed <= 8; ++nSeed) {
        // One network (its places run out) or two.
        const int kNetworks = 1 + static_cast<int>(nSeed % 2);
        SCOPED_TRACE("seed " + std::to_string(nSeed));
        std::mt19937 random(nSeed);
        CVLECMMACTable table;
        table.SetFirstCommand(nSeed % 2 == 0 ? VLECM_COMMAND_GET_LIST_INFO : VLECM_COMMAND_GET_SUPPORT_INFORMATION);
        table.SetNamedAddress(Text("10.1.0.1"));
        CChainModel model(table);
        std::vector<std::unique_ptr<CVLECMNIFInfo>> records;
        // The run is worth its name: chains waited for places, MACs were
        // handed on.
        int nMostWaiting = 0, nMostRunning = 0;
        size_t nMostUnderWay = 0;
        size_t nHandedOn = 0;
        auto draw = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        for (int nStep = 0; nStep < 5000 && !::testing::Test::HasFatalFailure(); ++nStep) {
            const int nEvent = draw(100);
            if (nEvent < 72) {
                // A reply: kept, its record attached, its chain begun.
                const int nMAC = draw(kMACs), nAddress = draw(kAddressesPerMAC);
                SVLECMReplyKey key;
                key.strMAC = Text("0026AB0000" + std::to_string(10 + nMAC));
                key.strAddress = Text("10." + std::to_string(1 + (nMAC + nAddress) % kNetworks) + ".0." +
                                      std::to_string(1 + nAddress));
                if (table.Hear(key) != CVLECMMACTable::HEARD_NEW || !table.Keep(key))
                    continue;
                records.push_back(std::unique_ptr<CVLECMNIFInfo>(new CVLECMNIFInfo()));
                CVLECMNIFInfo* pRecord = records.back().get();
                if (draw(10) == 0) {
                    // Its reply is lost before it is handled.
                    table.ReplyLost(key);
                } else if (table.Attach(key, pRecord, Text("M"))) {
                    model.Follow(table.BeginChain(pRecord, Text("10." + std::to_string(1 + (nMAC + nAddress) %
                                                                                           kNetworks))));
                }
            } else if (nEvent < 85) {
                if (model.GetUnderWayCount() > 0)
                    model.End(static_cast<size_t>(draw(static_cast<int>(model.GetUnderWayCount()))), draw(4));
            } else if (nEvent < 88) {
                // The client removes a MAC.
                CVLECMMACTable::SNext next;
                model.Forget(table.Remove(Text("0026AB0000" + std::to_string(10 + draw(kMACs))), &next));
                model.Follow(next);
            } else if (nEvent < 94 && draw(60) == 0) {
                model.Follow(table.Stop());
            } else if (nEvent < 96 && table.IsStopped()) {
                // A second probe.
                table.Reset();
                model.Reset();
                records.clear();
                int nRunning = 0, nWaiting = 0;
                table.GetChainCounts(nRunning, nWaiting);
                EXPECT_EQ(0, nRunning + nWaiting + table.GetCheckingCount() + table.GetPendingCount());
            }
            model.Check(nStep % 50 == 0);
            int nRunning = 0, nWaiting = 0;
            table.GetChainCounts(nRunning, nWaiting);
            nMostWaiting = std::max(nMostWaiting, nWaiting);
            nMostRunning = std::max(nMostRunning, nRunning);
            nMostUnderWay = std::max(nMostUnderWay, model.GetUnderWayCount());
            nHandedOn = std::max(nHandedOn, model.GetHandedOnCount());
        }
        nMostWaitingOfAll = std::max(nMostWaitingOfAll, nMostWaiting);
        (void)nMostRunning, (void)nMostUnderWay;
        EXPECT_GT(nHandedOn, 0u);
        // The stop, then the ends of what was under way: nothing pending.
        model.Follow(table.Stop());
        while (model.GetUnderWayCount() > 0 && !::testing::Test::HasFatalFailure())
            model.End(0, draw(4));
        model.Check();
        EXPECT_EQ(0, table.GetPendingCount());
        bool bMore = false;
        for (const SVLECMHeardAddress& heard : table.GetAll(bMore)) {
            if (heard.eVerdict == VLECM_MAC_PENDING)
                ADD_FAILURE() << "pending: " << Std(heard.strMAC) << " " << Std(heard.address.strAddress) << " state "
                              << heard.address.eState;
        }
    }
    // Chains waited for places in some run.
    EXPECT_GT(nMostWaitingOfAll, 0);
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
    CChainModel model(table);
    for (const SVLECMReplyKey* pKey : {&deafKey, &deviceKey}) {
        ASSERT_TRUE(table.Keep(*pKey));
        ASSERT_TRUE(table.Attach(*pKey, pKey == &deafKey ? &deaf : &device, Text("M")));
    }
    model.Follow(table.BeginChain(&deaf, Text("10.1")));
    model.Follow(table.BeginChain(&device, Text("10.1")));
    model.Follow(table.CheckEnded(&deaf, false, VLECM_MAC_FAILURE_NOT_UNICAST, VLECM_RESULT_TIMEOUT, 0, false));
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
