// What a probe admits of the replies it hears (repeats, impostors, invented
// devices) and how its follow-up chains take their places.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "cm/VLCMDefs.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLMargeConditionList.h"
#include "cm/VLModuleController.h"
#include "cm/VLTarget.h"
#include "cm/VLProperty.h"
#include "ecm/VLECM.h"
#include "ecm/probe/VLECMProbeInstance.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "ecm/probe/VLECMHandOnQueue.h"
#include "ecm/probe/VLECMLocalNetworks.h"
#include "ecm/probe/VLECMMACTable.h"
#include "ecm/probe/VLECMNIFInfoList.h"
#include "ecm/probe/VLECMReplyFilter.h"
#include "tests/support/Eventually.h"
#include "tests/support/ecm/DispatchHold.h"
#include "tests/support/ecm/ECMProbeTest.h"
#include "tests/support/ecm/FakeNetwork.h"
#include "tests/support/ecm/RefusingQueue.h"
#include "tests/support/ecm/ECMTestClient.h"
#include "tests/support/ecm/LocalInterfaces.h"
#include "tests/support/Watchdog.h"

namespace {
CVLString Text(const std::string& str)
{
    return CVLString(str.c_str(), 72);
}

std::string Mac(int n)
{
    return CFakeNetwork::Mac("0026AB", n);
}

std::string Address(int n)
{
    return "10.9." + std::to_string(n / 250) + "." + std::to_string(1 + n % 250);
}

std::string Std(const CVLString& str)
{
    return str.GetBuffer() != nullptr ? str.GetBuffer() : "";
}

// The replies of that MAC from that address.
SVLECMReplyKey Key(const std::string& strMAC, const std::string& strFrom)
{
    SVLECMReplyKey key;
    key.strMAC = Text(strMAC);
    key.strAddress = Text(strFrom);
    return key;
}

// The two networks as a probe hands them, with the sockets that receive
// from one of them each (by module instance path and directed broadcast).
std::shared_ptr<const CVLECMLocalNetworks>
Networks(const std::map<CVLString, CVLString>& receivers = std::map<CVLString, CVLString>())
{
    // Two local networks, 10.1.0.0/24 and 10.2.0.0/24.
    return std::make_shared<const CVLECMLocalNetworks>(LocalInterfaces(2, 3), receivers);
}

// Long records of no use fill the queue until it refuses probe records;
// they go with the object.
class CFullQueue
{
public:
    explicit CFullQueue(CVLECM& ecm) : m_pController(ecm.GetApi()->GetModuleController()), m_ProbeFiller(ecm.GetApi())
    {
        const std::string strLong(64 * 1024, 'x');
        unsigned long nDropped = m_pController->GetDroppedCallbackCount();
        while (m_pController->GetDroppedCallbackCount() == nDropped) {
            CVLCallbackInfo* pInfo = new CVLCallbackInfo();
            pInfo->SetType(VLCM_CALLBACK_USER);
            pInfo->SetExtraText(strLong.c_str());
            pInfo->SetUserCallback([](long, void*, CVLCallbackInfo*) {}, 0, &m_nFiller);
            m_pController->PostCallbackUser(pInfo);
            m_pController->PostCallbackProbe(nullptr, nullptr, &m_ProbeFiller, false);
        }
    }
    ~CFullQueue()
    {
        m_pController->RemoveCallbackInfo(nullptr, &m_ProbeFiller, &m_nFiller);
        m_pController->UnlockCallbackInfo(nullptr, &m_ProbeFiller, &m_nFiller);
    }

private:
    CVLModuleController* m_pController;
    int m_nFiller = 0;
    CVLTarget m_ProbeFiller;
};

std::string ModelOf(CVLECM& ecm, const std::string& strMac)
{
    CVLECMNIFInfo* pNIFInfo = ecm.FindNIFInfo(strMac.c_str());
    CVLProperty* pModel = pNIFInfo != nullptr ? pNIFInfo->GetProperties()->GetProperty("ModelName", false) : nullptr;
    return pModel != nullptr ? Std(pModel->ToString("")) : "none";
}

class ECMReplies : public CECMProbeTest
{
};
}  // namespace

TEST(ECMReplyFilter, RepeatsImpostorsAndInventedDevices)
{
    CVLECMMACTable table;
    CVLECMHandOnQueue records(&table);
    CVLECMReplyFilter filter(records, table);
    // A new device, then its repeats: dropped while queued, and once
    // delivered as long as the data stays the same.
    EXPECT_TRUE(filter.Admit(Text("0026AB000001"), Text("10.0.0.5"), 1));
    EXPECT_FALSE(filter.Admit(Text("0026AB000001"), Text("10.0.0.5"), 2));
    records.Delivered(Key("0026AB000001", "10.0.0.5"));
    EXPECT_FALSE(filter.Admit(Text("0026AB000001"), Text("10.0.0.5"), 1));
    EXPECT_TRUE(filter.Admit(Text("0026AB000001"), Text("10.0.0.5"), 2));
    records.Delivered(Key("0026AB000001", "10.0.0.5"));
    // Its MAC from other addresses: each other one is admitted once, up to
    // the addresses kept; beyond them each is kept as a pair, never checked.
    const CVLString strMAC = Text("0026AB000001");
    EXPECT_TRUE(filter.Admit(strMAC, Text("10.0.0.66"), 3));
    EXPECT_FALSE(filter.Admit(strMAC, Text("10.0.0.66"), 4));
    const int kLast = 66 + CVLECMMACTable::MAX_ADDRESSES_PER_MAC - 2;
    for (int i = 67; i <= kLast + 1; ++i)
        EXPECT_EQ(i <= kLast, filter.Admit(strMAC, Text("10.0.0." + std::to_string(i)), 3)) << i;
    SVLECMMACState state;
    ASSERT_TRUE(table.GetState(strMAC, state));
    EXPECT_EQ(VLECM_MAC_PENDING, state.eVerdict);
    ASSERT_EQ(static_cast<size_t>(CVLECMMACTable::MAX_ADDRESSES_PER_MAC + 1), state.addresses.size());
    EXPECT_EQ("10.0.0.5", Std(state.addresses[0].strAddress));
    EXPECT_EQ("10.0.0.66", Std(state.addresses[1].strAddress));
    EXPECT_EQ(VLECM_MAC_ADDRESS_HEARD, state.addresses[1].eState);
    EXPECT_EQ("10.0.0." + std::to_string(kLast + 1), Std(state.addresses.back().strAddress));
    EXPECT_EQ(VLECM_MAC_ADDRESS_BEYOND, state.addresses.back().eState);
    EXPECT_EQ(1u, state.nBeyond);
    // One source brings a few MAC addresses, no more: another address of a
    // MAC counts as one, and the one it refuses is kept, never checked.
    for (int i = 0; i < CVLECMReplyFilter::MAX_MACS_PER_SOURCE; ++i)
        EXPECT_TRUE(filter.Admit(Text(Mac(100 + i)), Text("10.0.0.9"), 1)) << i;
    EXPECT_FALSE(filter.Admit(Text(Mac(200)), Text("10.0.0.9"), 1));
    EXPECT_TRUE(filter.Admit(Text(Mac(300)), Text("10.0.0.3"), 1));
    EXPECT_FALSE(filter.Admit(Text(Mac(300)), Text("10.0.0.9"), 1));
    ASSERT_TRUE(table.GetState(Text(Mac(300)), state));
    ASSERT_EQ(2u, state.addresses.size());
    EXPECT_EQ("10.0.0.9", Std(state.addresses[1].strAddress));
    EXPECT_EQ(VLECM_MAC_ADDRESS_REFUSED, state.addresses[1].eState);
    EXPECT_EQ(VLECM_BOUND_SOURCE, state.addresses[1].eBound);
    EXPECT_EQ(1u, state.nRefused);
    // Its address names every MAC heard from it, the refused ones last:
    // a MAC refused before it was admitted (none was) as one refused after.
    std::vector<SVLECMHeardAddress> found = table.FindAddress(Text("10.0.0.9"));
    ASSERT_EQ(static_cast<size_t>(CVLECMReplyFilter::MAX_MACS_PER_SOURCE + 2), found.size());
    EXPECT_EQ(Mac(200), Std(found[found.size() - 2].strMAC));
    EXPECT_EQ(VLECM_MAC_ADDRESS_REFUSED, found[found.size() - 2].address.eState);
    EXPECT_EQ(VLECM_BOUND_SOURCE, found[found.size() - 2].address.eBound);
    EXPECT_EQ(Mac(300), Std(found.back().strMAC));
    EXPECT_EQ(VLECM_MAC_ADDRESS_REFUSED, found.back().address.eState);
    // The probe holds a bounded number of devices, whatever their sources.
    for (int i = 0; i < CVLECMReplyFilter::MAX_DEVICES; ++i) {
        filter.Admit(Text(Mac(1000 + i)), Text(Address(i)), 1);
        records.Delivered(Key(Mac(1000 + i), Address(i)));
    }
    EXPECT_FALSE(filter.Admit(Text(Mac(5000)), Text("10.0.1.200"), 1));
    // No local network holds them (none was handed): their sources are
    // said to be forged whichever bound refused them.
    std::vector<SVLECMBoundReport> reports = filter.GetBoundReports();
    ASSERT_EQ(2u, reports.size());
    for (const SVLECMBoundReport& report : reports) {
        EXPECT_EQ("", Std(report.strNetwork));
        EXPECT_TRUE(report.bMayBeForged) << report.eBound;
    }
    EXPECT_EQ(VLECM_BOUND_NETWORK, reports[0].eBound);
    // A new probe starts from nothing.
    records.Reset();
    filter.Reset();
    table.Reset();
    EXPECT_TRUE(filter.Admit(Text(Mac(5000)), Text("10.0.0.9"), 1));
    EXPECT_FALSE(table.GetState(strMAC, state));
}

TEST(ECMReplyFilter, ErrorRepliesAreRefusedAndEachNetworkHasItsOwnBound)
{
    CVLECMMACTable table;
    CVLECMHandOnQueue records(&table);
    CVLECMReplyFilter filter(records, table);
    filter.SetLocalNetworks(Networks());
    // A reply without a MAC address is refused and counted by its source.
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(filter.Admit(Text(""), Text("10.1.0.7"), 1));
    EXPECT_FALSE(filter.Admit(Text(""), Text("10.2.0.7"), 1));
    EXPECT_EQ(3u, filter.GetRefusedCount(Text("10.1.0.7")));
    EXPECT_EQ(4u, filter.GetRefusedCount());
    // Forged sources fill the first network's bound, four MACs an address.
    for (int i = 0; i < CVLECMReplyFilter::MAX_DEVICES; ++i) {
        EXPECT_TRUE(filter.Admit(Text(Mac(i)), Text("10.1.0." + std::to_string(1 + i / 4)), 1)) << i;
        records.Delivered(Key(Mac(i), "10.1.0." + std::to_string(1 + i / 4)));
    }
    // Through the second network's socket, and through one every network
    // reaches.
    filter.SetLocalNetworks(Networks({{Text("Probe.VLPC_LocalNetworkDBC_2"), Text("10.2.0.255")}}));
    EXPECT_FALSE(filter.Admit(Text(Mac(9000)), Text("10.1.0.200"), 1, nullptr, Text("VLPC_LocalNetworkDBC_2")));
    EXPECT_FALSE(filter.Admit(Text(Mac(9001)), Text("10.1.0.201"), 1, nullptr, Text("VLPC_Broadcast")));
    EXPECT_FALSE(filter.Admit(Text(Mac(9001)), Text("10.1.0.201"), 1, nullptr, Text("VLPC_LocalNetworkDBC_2")));
    // The other network, and addresses on no local network, keep theirs.
    EXPECT_TRUE(filter.Admit(Text(Mac(9002)), Text("10.2.0.5"), 1));
    EXPECT_TRUE(filter.Admit(Text(Mac(9003)), Text("192.0.2.5"), 1));
    // A fifth MAC from one address on the other network: a source's bound.
    for (int i = 0; i < CVLECMReplyFilter::MAX_MACS_PER_SOURCE; ++i)
        EXPECT_TRUE(filter.Admit(Text(Mac(9100 + i)), Text("10.2.0.6"), 1)) << i;
    EXPECT_FALSE(filter.Admit(Text(Mac(9200)), Text("10.2.0.6"), 1));
    std::vector<SVLECMBoundReport> reports = filter.GetBoundReports();
    ASSERT_EQ(2u, reports.size());
    EXPECT_EQ("10.1.0.0/24", Std(reports[0].strNetwork));
    EXPECT_EQ(VLECM_BOUND_NETWORK, reports[0].eBound);
    EXPECT_EQ(CVLECMReplyFilter::MAX_DEVICES, reports[0].nBound);
    EXPECT_EQ(2u, reports[0].nDevices);
    ASSERT_EQ(2u, reports[0].devices.size());
    EXPECT_EQ(Mac(9000), Std(reports[0].devices[0].strMAC));
    EXPECT_EQ("10.1.0.200", Std(reports[0].devices[0].strAddress));
    EXPECT_EQ(Mac(9001), Std(reports[0].devices[1].strMAC));
    EXPECT_FALSE(reports[0].bMore);
    EXPECT_EQ(2u, reports[0].nAddresses);
    ASSERT_EQ(1u, reports[0].interfaces.size());
    EXPECT_EQ("vl2", Std(reports[0].interfaces[0]));
    EXPECT_TRUE(reports[0].bMayBeForged);
    EXPECT_EQ("10.2.0.0/24", Std(reports[1].strNetwork));
    EXPECT_EQ(VLECM_BOUND_SOURCE, reports[1].eBound);
    EXPECT_EQ(CVLECMReplyFilter::MAX_MACS_PER_SOURCE, reports[1].nBound);
    ASSERT_EQ(1u, reports[1].devices.size());
    EXPECT_EQ(1u, reports[1].nAddresses);
    EXPECT_TRUE(reports[1].interfaces.empty());
    EXPECT_TRUE(reports[1].bMayBeForged);
    EXPECT_EQ("10.2.0.0/24", Std(Networks()->GetNetwork(Text("10.2.0.5"))));
    EXPECT_EQ("10.2.0.255", Std(Networks()->GetDirectedBroadcast(Text("10.2.0.5"))));
    EXPECT_EQ("", Std(Networks()->GetNetwork(Text("192.0.2.5"))));
}

// A plain busy network beyond its bound: its devices come from their own
// addresses through their network's sockets, and are no more than its
// addresses. What the bound refused is reported without suspicion, and
// only the devices that were never admitted.
TEST(ECMReplyFilter, ABusyNetworksRefusedDevicesAreNamedWithoutSuspicion)
{
    CVLECMMACTable table;
    CVLECMHandOnQueue records(&table);
    CVLECMReplyFilter filter(records, table);
    filter.SetLocalNetworks(Networks({{Text("Probe.VLPC_LocalNetworkDBC_1"), Text("10.1.0.255")}}));
    const int kBound = 8;
    filter.SetDeviceBound(kBound);
    EXPECT_EQ(kBound, filter.GetDeviceBound());
    // Each answers both broadcasts; the second reply is a repeat.
    for (int i = 0; i < kBound + 3; ++i) {
        const std::string strFrom = "10.1.0." + std::to_string(20 - i);
        EXPECT_EQ(i < kBound, filter.Admit(Text(Mac(i)), Text(strFrom), 1, nullptr, Text("VLPC_LocalNetworkDBC_1")));
        EXPECT_FALSE(filter.Admit(Text(Mac(i)), Text(strFrom), 1, nullptr, Text("VLPC_Broadcast")));
    }
    // One of them is heard later from the other network, and admitted there.
    EXPECT_TRUE(filter.Admit(Text(Mac(kBound)), Text("10.2.0.5"), 1));
    // The first of them in the order of their addresses.
    std::vector<SVLECMBoundReport> reports = filter.GetBoundReports(1);
    ASSERT_EQ(1u, reports.size());
    EXPECT_EQ(kBound, reports[0].nBound);
    EXPECT_EQ(2u, reports[0].nDevices);
    EXPECT_EQ(2u, reports[0].nAddresses);
    ASSERT_EQ(1u, reports[0].devices.size());
    EXPECT_EQ(Mac(kBound + 2), Std(reports[0].devices[0].strMAC));
    EXPECT_EQ("10.1.0.10", Std(reports[0].devices[0].strAddress));
    // Each of them may be asked for, by MAC or address.
    SVLECMBoundReport found;
    ASSERT_TRUE(filter.FindRefused(Text("00:26:ab:00:00:09"), Text(""), found));
    EXPECT_EQ(kBound, found.nBound);
    ASSERT_EQ(1u, found.devices.size());
    EXPECT_EQ("10.1.0.11", Std(found.devices[0].strAddress));
    EXPECT_TRUE(filter.FindRefused(Text(""), Text("10.1.0.10"), found));
    EXPECT_EQ(Mac(kBound + 2), Std(found.devices[0].strMAC));
    EXPECT_FALSE(filter.FindRefused(Text(Mac(kBound)), Text(""), found));
    EXPECT_FALSE(filter.FindRefused(Text(Mac(0)), Text(""), found));
    ASSERT_EQ(1u, reports[0].interfaces.size());
    EXPECT_EQ("vl1", Std(reports[0].interfaces[0]));
    EXPECT_FALSE(reports[0].bMayBeForged);
    // More devices than the network's 254 addresses are a sign.
    filter.SetDeviceBound(254);
    records.Reset();
    filter.Reset();
    table.Reset();
    filter.SetLocalNetworks(Networks());
    for (int i = 0; i <= 254; ++i)
        EXPECT_EQ(i < 254, filter.Admit(Text(Mac(i)), Text("10.1.0." + std::to_string(1 + i % 254)), 1)) << i;
    reports = filter.GetBoundReports();
    ASSERT_EQ(1u, reports.size());
    EXPECT_TRUE(reports[0].bMayBeForged);
}

TEST(ECMReplyFilter, ANetworksFloodWaitsItsTurn)
{
    CVLECMMACTable table;
    CVLECMHandOnQueue records(&table);
    CVLECMReplyFilter filter(records, table);
    filter.SetLocalNetworks(Networks());
    std::vector<std::unique_ptr<CVLTarget>> copies;
    std::map<CVLTarget*, int> devices;
    std::map<int, std::string> sources;
    std::deque<int> queued;
    std::vector<int> order;
    // A reply of device i: admitted, copied and its record offered.
    auto reply = [&](int i, const std::string& strFrom, size_t nData = 1) {
        if (!filter.Admit(Text(Mac(i)), Text(strFrom), nData))
            return false;
        copies.emplace_back(new CVLTarget());
        devices[copies.back().get()] = i;
        sources[i] = strFrom;
        records.Copied(Key(Mac(i), strFrom), copies.back().get());
        CVLCallbackInfo* pRecord = new CVLCallbackInfo(VLCM_CALLBACK_PROBE, nullptr, nullptr, copies.back().get());
        if (records.Hold(pRecord) == CVLECMHandOnQueue::HOLD_HAND_ON) {
            queued.push_back(i);
            delete pRecord;
        }
        return true;
    };
    // The dispatch queue delivers in order; each delivery lets records on.
    auto deliverAll = [&]() {
        while (!queued.empty()) {
            int i = queued.front();
            queued.pop_front();
            order.push_back(i);
            records.Delivered(Key(Mac(i), sources[i]));
            while (CVLCallbackInfo* pNext = records.NextToHandOn()) {
                queued.push_back(devices[pNext->GetTarget()]);
                delete pNext;
            }
        }
    };
    auto from = [](int i) { return "10.1.0." + std::to_string(1 + i / 4); };
    // The first network's devices all answer at once, far more than the
    // dispatch queue takes; then three devices of the second answer. Every
    // one is admitted.
    const int kFlood = 3 * CVLECMReplyFilter::MAX_DEVICES / 5;
    for (int i = 0; i < kFlood; ++i)
        ASSERT_TRUE(reply(i, from(i))) << i;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(reply(kFlood + i, "10.2.0." + std::to_string(5 + i)));
    int nHeld = 0, nHandedOn = 0;
    records.GetCounts(nHeld, nHandedOn);
    EXPECT_EQ(CVLECMHandOnQueue::MAX_HANDED_ON, nHandedOn);
    EXPECT_EQ(kFlood + 3 - CVLECMHandOnQueue::MAX_HANDED_ON, nHeld);
    deliverAll();
    ASSERT_EQ(static_cast<size_t>(kFlood + 3), order.size());
    // The flood's records queued at once go first; then the networks take
    // turns, the second network first.
    const size_t kFirst = CVLECMHandOnQueue::MAX_HANDED_ON;
    for (size_t i = 0; i < kFirst; ++i)
        EXPECT_EQ(static_cast<int>(i), order[i]);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(kFlood + i, order[kFirst + 2 * i]) << i;
        EXPECT_EQ(static_cast<int>(kFirst) + i, order[kFirst + 2 * i + 1]) << i;
    }
    EXPECT_TRUE(filter.GetBoundReports().empty());
    // The flood's devices, known by now, change their data: their records
    // wait in their network's turn as new devices' do, and a new device of
    // the other network passes them.
    order.clear();
    for (int i = 0; i < kFlood; ++i)
        ASSERT_TRUE(reply(i, from(i), 2)) << i;
    ASSERT_TRUE(reply(kFlood + 3, "10.2.0.9"));
    deliverAll();
    ASSERT_EQ(static_cast<size_t>(kFlood + 1), order.size());
    EXPECT_EQ(kFlood + 3, order[kFirst]);
    // A stop deletes the records still held.
    for (int i = 0; i < CVLECMHandOnQueue::MAX_HANDED_ON + 2; ++i)
        reply(1000 + i, "10.2.0." + std::to_string(100 + i / 4));
    records.Close();
    records.GetCounts(nHeld, nHandedOn);
    EXPECT_EQ(0, nHeld + nHandedOn);
}

TEST(ECMHandOnQueue, ARecordOfferedWhileOthersWaitTakesItsTurn)
{
    CVLECMHandOnQueue queue;
    std::vector<std::unique_ptr<CVLTarget>> copies;
    // Device i's reply admitted and copied, and its record offered; a
    // record kept is the queue's.
    auto offer = [&](int i, CVLCallbackInfo** ppKept = nullptr) {
        queue.Admitted(Key(Mac(i), Address(i)), Text("10.1.0.0/24"));
        copies.emplace_back(new CVLTarget());
        queue.Copied(Key(Mac(i), Address(i)), copies.back().get());
        std::unique_ptr<CVLCallbackInfo> pRecord(
            new CVLCallbackInfo(VLCM_CALLBACK_PROBE, nullptr, nullptr, copies.back().get()));
        CVLECMHandOnQueue::EHold eHold = queue.Hold(pRecord.get());
        if (eHold == CVLECMHandOnQueue::HOLD_KEPT && ppKept != nullptr)
            *ppKept = pRecord.get();
        if (eHold == CVLECMHandOnQueue::HOLD_KEPT)
            pRecord.release();
        return eHold;
    };
    for (int i = 0; i < CVLECMHandOnQueue::MAX_HANDED_ON; ++i)
        EXPECT_EQ(CVLECMHandOnQueue::HOLD_HAND_ON, offer(i)) << i;
    CVLCallbackInfo* pWaiting = nullptr;
    EXPECT_EQ(CVLECMHandOnQueue::HOLD_KEPT, offer(100, &pWaiting));
    // A record leaves the dispatch queue; a new one comes before the one
    // waiting is handed on.
    queue.Delivered(Key(Mac(0), Address(0)));
    EXPECT_EQ(CVLECMHandOnQueue::HOLD_KEPT, offer(101));
    std::unique_ptr<CVLCallbackInfo> pNext(queue.NextToHandOn());
    EXPECT_EQ(pWaiting, pNext.get());
    EXPECT_EQ(nullptr, queue.NextToHandOn());
    int nHeld = 0, nHandedOn = 0;
    queue.GetCounts(nHeld, nHandedOn);
    EXPECT_EQ(1, nHeld);
}

// The record of the address the user named waits behind no network's
// line, its own network's included: it is the next handed on.
TEST(ECMHandOnQueue, TheNamedAddressGoesBeforeEveryNetworksLine)
{
    CVLECMMACTable table;
    table.SetNamedAddress(Text(Address(100)));
    CVLECMHandOnQueue queue(&table);
    std::vector<std::unique_ptr<CVLTarget>> copies;
    // Device i's reply from that network admitted, copied and offered; a
    // record kept is the queue's.
    const CVLCallbackInfo* pLastKept = nullptr;
    auto offer = [&](int i, const char* szNetwork) {
        queue.Admitted(Key(Mac(i), Address(i)), Text(szNetwork));
        copies.emplace_back(new CVLTarget());
        queue.Copied(Key(Mac(i), Address(i)), copies.back().get());
        std::unique_ptr<CVLCallbackInfo> pRecord(
            new CVLCallbackInfo(VLCM_CALLBACK_PROBE, nullptr, nullptr, copies.back().get()));
        CVLECMHandOnQueue::EHold eHold = queue.Hold(pRecord.get());
        if (eHold == CVLECMHandOnQueue::HOLD_KEPT)
            pLastKept = pRecord.release();
        return eHold;
    };
    for (int i = 0; i < CVLECMHandOnQueue::MAX_HANDED_ON; ++i)
        ASSERT_EQ(CVLECMHandOnQueue::HOLD_HAND_ON, offer(i, "10.1.0.0/24")) << i;
    for (int i = 20; i < 60; ++i)
        ASSERT_EQ(CVLECMHandOnQueue::HOLD_KEPT, offer(i, i % 2 == 0 ? "10.1.0.0/24" : "10.2.0.0/24")) << i;
    ASSERT_EQ(CVLECMHandOnQueue::HOLD_KEPT, offer(100, "10.1.0.0/24"));
    const CVLCallbackInfo* pNamed = pLastKept;
    queue.Delivered(Key(Mac(0), Address(0)));
    std::unique_ptr<CVLCallbackInfo> pNext(queue.NextToHandOn());
    EXPECT_EQ(pNamed, pNext.get());
    EXPECT_EQ(nullptr, queue.NextToHandOn());
    // Then the networks in turn, as before.
    queue.Delivered(Key(Mac(1), Address(1)));
    std::unique_ptr<CVLCallbackInfo> pAfter(queue.NextToHandOn());
    ASSERT_NE(nullptr, pAfter);
    EXPECT_NE(pNamed, pAfter.get());
    queue.Close();
}

// Only a record that went to the dispatch queue frees a place there when
// its device leaves; after a stop, no record is held.
TEST(ECMReplyFilter, OnlyARecordHandedOnFreesItsPlace)
{
    CVLECMMACTable table;
    CVLECMHandOnQueue records(&table);
    CVLECMReplyFilter filter(records, table);
    std::vector<std::unique_ptr<CVLTarget>> copies;
    // A reply of device i admitted and copied, and its record offered.
    auto offer = [&](int i) {
        EXPECT_TRUE(filter.Admit(Text(Mac(i)), Text(Address(i)), 1)) << i;
        copies.emplace_back(new CVLTarget());
        records.Copied(Key(Mac(i), Address(i)), copies.back().get());
        std::unique_ptr<CVLCallbackInfo> pRecord(
            new CVLCallbackInfo(VLCM_CALLBACK_PROBE, nullptr, nullptr, copies.back().get()));
        CVLECMHandOnQueue::EHold eHold = records.Hold(pRecord.get());
        if (eHold == CVLECMHandOnQueue::HOLD_KEPT)
            pRecord.release();
        return eHold;
    };
    for (int i = 0; i < CVLECMHandOnQueue::MAX_HANDED_ON; ++i)
        EXPECT_EQ(CVLECMHandOnQueue::HOLD_HAND_ON, offer(i));
    EXPECT_EQ(CVLECMHandOnQueue::HOLD_KEPT, offer(100));
    // A reply never copied, and one merged into a listed record (never
    // offered), are done with.
    EXPECT_TRUE(filter.Admit(Text(Mac(101)), Text(Address(101)), 1));
    records.NotCopied(Key(Mac(101), Address(101)));
    EXPECT_TRUE(filter.Admit(Text(Mac(102)), Text(Address(102)), 1));
    CVLTarget listed;
    records.Copied(Key(Mac(102), Address(102)), &listed);
    records.Delivered(Key(Mac(102), Address(102)));
    int nHeld = 0, nHandedOn = 0;
    records.GetCounts(nHeld, nHandedOn);
    EXPECT_EQ(CVLECMHandOnQueue::MAX_HANDED_ON, nHandedOn);
    EXPECT_EQ(1, nHeld);
    EXPECT_EQ(nullptr, records.NextToHandOn());
    // A record handed on is delivered: the one held goes on.
    records.Delivered(Key(Mac(0), Address(0)));
    std::unique_ptr<CVLCallbackInfo> pNext(records.NextToHandOn());
    ASSERT_NE(nullptr, pNext);
    EXPECT_EQ(copies[CVLECMHandOnQueue::MAX_HANDED_ON].get(), pNext->GetTarget());
    records.Close();
    EXPECT_EQ(CVLECMHandOnQueue::HOLD_NOT_OURS, offer(103));
    records.GetCounts(nHeld, nHandedOn);
    EXPECT_EQ(0, nHeld + nHandedOn);
}

// A device admitted but never delivered (the full dispatch queue refused
// its record) is heard again, by an identical reply too, however many of
// its network's devices wait meanwhile.
TEST(ECMReplyFilter, ADeviceWhoseRecordWasRefusedIsHeardAgain)
{
    CVLECMMACTable table;
    CVLECMHandOnQueue records(&table);
    CVLECMReplyFilter filter(records, table);
    filter.SetLocalNetworks(Networks());
    for (int i = 0; i < CVLECMReplyFilter::MAX_DEVICES; ++i)
        ASSERT_TRUE(filter.Admit(Text(Mac(i)), Text("10.1.0." + std::to_string(1 + i / 4)), 7)) << i;
    CVLTarget copy;
    records.Copied(Key(Mac(0), "10.1.0.1"), &copy);
    EXPECT_TRUE(records.QueueRefused(&copy));
    EXPECT_TRUE(filter.Admit(Text(Mac(0)), Text("10.1.0.1"), 7));
    EXPECT_TRUE(filter.GetBoundReports().empty());
}

// A delivered device whose changed record was refused, or never copied, is
// heard again with that change; once it is delivered, its repeats are not.
TEST(ECMReplyFilter, ADeviceWhoseChangedRecordWasRefusedIsHeardAgain)
{
    CVLECMMACTable table;
    CVLECMHandOnQueue records(&table);
    CVLECMReplyFilter filter(records, table);
    ASSERT_TRUE(filter.Admit(Text(Mac(0)), Text("10.0.0.5"), 1));
    records.Delivered(Key(Mac(0), "10.0.0.5"));
    ASSERT_TRUE(filter.Admit(Text(Mac(0)), Text("10.0.0.5"), 2));
    CVLTarget copy;
    records.Copied(Key(Mac(0), "10.0.0.5"), &copy);
    EXPECT_TRUE(records.QueueRefused(&copy));
    ASSERT_TRUE(filter.Admit(Text(Mac(0)), Text("10.0.0.5"), 2));
    records.NotCopied(Key(Mac(0), "10.0.0.5"));
    ASSERT_TRUE(filter.Admit(Text(Mac(0)), Text("10.0.0.5"), 2));
    records.Delivered(Key(Mac(0), "10.0.0.5"));
    EXPECT_FALSE(filter.Admit(Text(Mac(0)), Text("10.0.0.5"), 2));
}

TEST_F(ECMReplies, ADeviceKeepsOneQueuedRecordThatTakesItsLaterRepliesAndIsCounted)
{
    CWatchdog watchdog(60, "ECMReplies");
    CVLModuleController* pController = m_ECM.GetApi()->GetModuleController();
    const int kDevices = 8;
    size_t nBytes = 0;
    {
        CDispatchHold hold(m_ECM);
        // An error reply (no MAC address) becomes neither a record nor a queued callback.
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(CFakeNetwork::Reply("", "", "10.0.0.9"));
        EXPECT_EQ(0, m_ECM.GetNIFInfoList()->GetCount());
        EXPECT_EQ(3u, m_ECM.GetProbeInstance().GetReplyFilter().GetRefusedCount(Text("10.0.0.9")));
        for (int i = 0; i < kDevices; ++i)
            ASSERT_TRUE(CFakeNetwork::Reply(Mac(i), "first", Address(i)));
        nBytes = pController->GetQueuedCallbackBytes();
        // The queue counts the copies its records keep.
        EXPECT_GT(nBytes, kDevices * sizeof(CVLTarget));
        // Whatever the devices send while their records wait costs nothing more.
        for (int j = 0; j < 20; ++j) {
            for (int i = 0; i < kDevices; ++i)
                ASSERT_TRUE(CFakeNetwork::Reply(Mac(i), "change " + std::to_string(j), Address(i)));
        }
        EXPECT_EQ(nBytes, pController->GetQueuedCallbackBytes());
        // None is handed on before it is judged.
        EXPECT_EQ(0, m_ECM.GetNIFInfoList()->GetCount());
    }
    Drain(m_ECM);
    ASSERT_TRUE(m_Client.WaitFor("probe", kDevices));
    // Each record ended with its device's latest data.
    for (int i = 0; i < kDevices; ++i)
        EXPECT_EQ("change 19", ModelOf(m_ECM, Mac(i))) << i;
    // Once delivered, a device is heard again at once.
    ASSERT_TRUE(CFakeNetwork::Reply(Mac(0), "later", Address(0)));
    Drain(m_ECM);
    EXPECT_EQ("later", ModelOf(m_ECM, Mac(0)));
}

// The option that lowers a network's device bound takes a whole number
// from 1 to 512, one '+' before it allowed, and nothing else: any other
// text refuses the probe before it sends, rather than give the default
// bound.
TEST_F(ECMReplies, ADeviceBoundThatIsNoWholeNumberFrom1To512RefusesTheProbe)
{
    CWatchdog watchdog(60, "ECMReplies");
    m_ECM.StopProbe();
    const int nStarts = CFakeNetwork::ProbeStarts();
    CVLECMPropertyMap options;
    for (const char* szBad : {"0", "-1", "513", "99999999999", "abc", "2abc", "0x3", "3.9", " 3", "+", "++5", "+-5", "+0"}) {
        int nBound = 0;
        EXPECT_FALSE(CVLECMReplyFilter::ParseDeviceBound(Text(szBad), nBound)) << szBad;
        options[Text(CVLECMReplyFilter::DEVICE_BOUND_OPTION)] = Text(szBad);
        EXPECT_EQ(VLECM_RESULT_PARAMETER_ERROR, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options)) << szBad;
    }
    // So does a function (or list) of the probe's options, or set since the
    // start, that the definitions cannot run as meant, as the start refuses
    // the file's (CVLECM::CheckResolvedPacketLists).
    const char kFunction[] = "Option.Probe.ModuleInstanceName";
    const CVLECMPropertyMap unicast = {{Text(kFunction), Text("VLPC_Unicast")}};
    EXPECT_EQ(VLECM_RESULT_PARAMETER_ERROR, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &unicast));
    ASSERT_TRUE(m_ECM.SetProperty(kFunction, "VLPC_Unicast"));
    EXPECT_EQ(VLECM_RESULT_PARAMETER_ERROR, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    ASSERT_TRUE(m_ECM.SetProperty(kFunction, "Probe"));
    EXPECT_EQ(nStarts, CFakeNetwork::ProbeStarts());
    // An empty value is no value: the default.
    for (const std::pair<const char*, int>& good :
         {std::make_pair("1", 1), std::make_pair("007", 7), std::make_pair("+5", 5), std::make_pair("512", 512),
          std::make_pair("", 512)}) {
        options[Text(CVLECMReplyFilter::DEVICE_BOUND_OPTION)] = Text(good.first);
        EXPECT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options)) << good.first;
        EXPECT_EQ(good.second, m_ECM.GetProbeInstance().GetReplyFilter().GetDeviceBound()) << good.first;
    }
}

TEST_F(ECMReplies, RepliesBeyondTheDispatchQueuesShareAreHeldForTheirTurn)
{
    CWatchdog watchdog(60, "ECMReplies");
    m_ECM.GetProbeInstance().SetLocalNetworks(Networks());
    CVLECMHandOnQueue& records = m_ECM.GetProbeInstance().GetHandOnQueue();
    const int kFlood = 2 * CVLECMHandOnQueue::MAX_HANDED_ON + 8;
    auto flood = [&](int nFirst) {
        for (int i = nFirst; i < nFirst + kFlood; ++i)
            ASSERT_TRUE(CFakeNetwork::Reply(Mac(i), "", "10.1.0." + std::to_string(1 + (i - nFirst) / 4)));
    };
    int nHeld = 0, nHandedOn = 0;
    {
        CDispatchHold hold(m_ECM);
        flood(0);
        for (int i = 0; i < 2; ++i)
            ASSERT_TRUE(CFakeNetwork::Reply(Mac(500 + i), "", "10.2.0." + std::to_string(5 + i)));
        records.GetCounts(nHeld, nHandedOn);
        EXPECT_EQ(CVLECMHandOnQueue::MAX_HANDED_ON, nHandedOn);
        EXPECT_EQ(kFlood + 2 - CVLECMHandOnQueue::MAX_HANDED_ON, nHeld);
        // The client is told of every one still waiting, held or queued:
        // none of their devices is listed yet.
        EXPECT_EQ(kFlood + 2, m_ECM.GetWaitingReplyCount());
    }
    // The held ones are delivered in their turn: every device is found.
    Drain(m_ECM);
    EXPECT_EQ(0, m_ECM.GetWaitingReplyCount());
    ASSERT_TRUE(m_Client.WaitFor("probe", kFlood + 2));
    EXPECT_EQ(kFlood + 2, m_ECM.GetNIFInfoList()->GetCount());
    EXPECT_NE(nullptr, m_ECM.FindNIFInfo(Mac(501).c_str()));
    EXPECT_NE(nullptr, m_ECM.FindNIFInfo(Mac(kFlood - 1).c_str()));
    // A listed device's changed reply waits too, but its device is listed.
    {
        CDispatchHold hold(m_ECM);
        ASSERT_TRUE(CFakeNetwork::Reply(Mac(0), "changed", "10.1.0.1"));
        records.GetCounts(nHeld, nHandedOn);
        EXPECT_EQ(1, nHeld + nHandedOn);
        EXPECT_EQ(0, m_ECM.GetWaitingReplyCount());
    }
    Drain(m_ECM);
    // A stop takes the held records with it.
    CDispatchHold hold(m_ECM);
    flood(1000);
    m_ECM.StopProbe();
    records.GetCounts(nHeld, nHandedOn);
    EXPECT_EQ(0, nHeld + nHandedOn);
}

TEST_F(ECMReplies, ADeviceWhoseRecordTheFullQueueRefusedIsHeardAgainAtOnce)
{
    CWatchdog watchdog(60, "ECMReplies");
    CVLModuleController* pController = m_ECM.GetApi()->GetModuleController();
    CDispatchHold hold(m_ECM);
    CFullQueue full(m_ECM);
    unsigned long nDropped = pController->GetDroppedCallbackCount();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(CFakeNetwork::Reply(Mac(0), "refused " + std::to_string(i), Address(0)));
    // Each was admitted, refused by the queue, and its copy went.
    EXPECT_EQ(0, m_ECM.GetNIFInfoList()->GetCount());
    EXPECT_EQ(nDropped + 3, pController->GetDroppedCallbackCount());
    // Its address is judged lost before its delivery, not pending: heard
    // again it would be pending again; the stop leaves nothing pending.
    SVLECMMACState state;
    ASSERT_TRUE(m_ECM.GetMACState(Mac(0).c_str(), state));
    ASSERT_EQ(1u, state.addresses.size());
    EXPECT_EQ(VLECM_MAC_ADDRESS_FAILED, state.addresses[0].eState);
    EXPECT_EQ(VLECM_MAC_FAILURE_LOST, state.addresses[0].eFailure);
    EXPECT_EQ(0, m_ECM.GetPendingMACCount());
    m_ECM.StopProbe();
    EXPECT_EQ(0, m_ECM.GetPendingMACCount());
}

// With a merge condition a device's later reply is merged into its record
// itself: a refusal of that reply's record leaves the record in place.
TEST_F(ECMReplies, ARefusedReplyMergedIntoADeviceRecordLeavesTheRecord)
{
    CWatchdog watchdog(60, "ECMReplies");
    CVLModuleController* pController = m_ECM.GetApi()->GetModuleController();
    pController->GetMargeConditionList()->Add()->GetPath() = "MACAddress";
    ASSERT_TRUE(CFakeNetwork::Reply(Mac(0), "first", Address(0)));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    Drain(m_ECM);
    CVLECMNIFInfo* pRecord = m_ECM.FindNIFInfo(Mac(0).c_str());
    ASSERT_NE(nullptr, pRecord);
    CDispatchHold hold(m_ECM);
    CFullQueue full(m_ECM);
    unsigned long nDropped = pController->GetDroppedCallbackCount();
    ASSERT_TRUE(CFakeNetwork::Reply(Mac(0), "second", Address(0)));
    EXPECT_EQ(nDropped + 1, pController->GetDroppedCallbackCount());
    EXPECT_EQ(1, m_ECM.GetNIFInfoList()->GetCount());
    EXPECT_EQ(pRecord, m_ECM.FindNIFInfo(Mac(0).c_str()));
    EXPECT_EQ("second", ModelOf(m_ECM, Mac(0)));
}

// A client removes a device (as its OnProbe may) while a reply of it waits
// in the queue, merged into its record, and a reply of another address of
// its MAC waits too: the MAC is gone for the rest of the probe. Neither
// those replies nor later ones make it a record again, none is checked,
// and it is not reported again.
TEST_F(ECMReplies, ARemovedDeviceStaysGoneWithItsRepliesInFlight)
{
    CWatchdog watchdog(60, "ECMReplies");
    m_ECM.GetApi()->GetModuleController()->GetMargeConditionList()->Add()->GetPath() = "MACAddress";
    ASSERT_TRUE(CFakeNetwork::Reply(Mac(0), "first", Address(0)));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    Drain(m_ECM);
    CVLECMNIFInfo* pRecord = m_ECM.FindNIFInfo(Mac(0).c_str());
    ASSERT_NE(nullptr, pRecord);
    {
        CDispatchHold hold(m_ECM, [&]() { m_ECM.RemoveNIFInfo(pRecord); });
        ASSERT_TRUE(CFakeNetwork::Reply(Mac(0), "second", Address(0)));
        ASSERT_TRUE(CFakeNetwork::Reply(Mac(0), "claim", Address(1)));
    }
    Drain(m_ECM);
    ASSERT_EQ(nullptr, m_ECM.FindNIFInfo(Mac(0).c_str()));
    for (const char* szData : {"third", "fourth"}) {
        ASSERT_TRUE(CFakeNetwork::Reply(Mac(0), szData, Address(0)));
        ASSERT_TRUE(CFakeNetwork::Reply(Mac(0), szData, Address(2)));
    }
    Drain(m_ECM);
    EXPECT_EQ(nullptr, m_ECM.FindNIFInfo(Mac(0).c_str()));
    EXPECT_EQ(1u, m_Client.Count("probe"));
    EXPECT_EQ(1, CFakeNetwork::RequestCount(Mac(0), "CheckUnicast"));
    EXPECT_EQ(0, m_ECM.GetRecordCount());
    SVLECMMACState state;
    ASSERT_TRUE(m_ECM.GetMACState(Mac(0).c_str(), state));
    EXPECT_TRUE(state.bRemoved);
    EXPECT_EQ(VLECM_MAC_NONE, state.eVerdict);
    for (const SVLECMMACAddress& address : state.addresses)
        EXPECT_EQ(VLECM_MAC_ADDRESS_REMOVED, address.eState) << Std(address.strAddress);
}

TEST_F(ECMReplies, DevicesThatAnswerTakeThePlacesAheadOfDeafOnesEachNetworkWithinItsShare)
{
    CWatchdog watchdog(60, "ECMReplies");
    CVLECMProbeInstance& probe = m_ECM.GetProbeInstance();
    probe.SetLocalNetworks(Networks());
    // Devices that never answer unicast are found first; those that answer
    // then hold their places in their next command. Each is delivered
    // before the next answers, so that they are found in the order they
    // answered (the networks' turns on the way to the queue would put the
    // second network's first).
    const int kDeaf = CVLECMProbeInstance::MAX_PLACES_PER_NETWORK + 4;
    const int kFirst = kDeaf + CVLECMProbeInstance::MAX_PLACES_PER_NETWORK + 4;
    const int kDevices = kFirst + 3;
    for (int i = 0; i < kDevices; ++i) {
        CFakeNetwork::SetAnswer(Mac(i), i < kDeaf ? "CheckUnicast" : "GetListInfo", EFakeAnswer::Block);
        std::string strFrom = i < kFirst ? "10.1.0." + std::to_string(1 + i / 4) : "10.2.0." + std::to_string(i);
        ASSERT_TRUE(CFakeNetwork::Reply(Mac(i), "", strFrom));
        Drain(m_ECM);
    }
    auto asked = [&](int i, const char* szList) { return CFakeNetwork::RequestCount(Mac(i), szList); };
    int nRunning = 0, nWaiting = 0;
    // Every device is asked at once whether it answers unicast; the places
    // go to the devices that did, in the order they answered, each
    // network's up to its share: the second network's devices take theirs
    // at once, though the first network's waited longer.
    const int kPlaces = CVLECMProbeInstance::MAX_PLACES_PER_NETWORK;
    const int kSecond = kDevices - kFirst;
    Drain(m_ECM);
    ASSERT_TRUE(Eventually([&]() {
        probe.GetChainCounts(nRunning, nWaiting);
        return nWaiting == kFirst - kDeaf - kPlaces && nRunning == kPlaces + kSecond;
    }));
    EXPECT_EQ(kDeaf, probe.GetCheckingChainCount());
    for (int i = 0; i < kDevices; ++i) {
        EXPECT_EQ(1, asked(i, "CheckUnicast")) << i;
        EXPECT_EQ((i >= kDeaf && i < kDeaf + kPlaces) || i >= kFirst ? 1 : 0, asked(i, "GetListInfo")) << i;
    }
    // Two of the first network's places free up: its next two go.
    m_ECM.RemoveNIFInfo(ProbeRecord(m_ECM, Mac(kDeaf), "10.1.0." + std::to_string(1 + kDeaf / 4)));
    m_ECM.RemoveNIFInfo(ProbeRecord(m_ECM, Mac(kDeaf + 1), "10.1.0." + std::to_string(1 + (kDeaf + 1) / 4)));
    const int kNextOfFirst = kDeaf + kPlaces;
    ASSERT_TRUE(Eventually(
        [&]() { return asked(kNextOfFirst, "GetListInfo") == 1 && asked(kNextOfFirst + 1, "GetListInfo") == 1; }));
    EXPECT_EQ(0, asked(kNextOfFirst + 2, "GetListInfo"));
    probe.GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(kPlaces + kSecond, nRunning);
    EXPECT_EQ(kFirst - kDeaf - kPlaces - 2, nWaiting);
}

// A stop while devices run their list information and others wait for a
// place: the waiting ones are judged stopped at once and no place goes to
// anybody; those under way are judged by their own answers, their devices
// listed (FindNIFInfo), not reported; then nothing is pending.
TEST_F(ECMReplies, AStopEmptiesTheWaitingChainsAndKeepsTheDevicesUnderWay)
{
    CWatchdog watchdog(60, "ECMReplies");
    const int kPlaces = CVLECMProbeInstance::MAX_PLACES_PER_NETWORK;
    const int kDevices = kPlaces + 4;
    for (int i = 0; i < kDevices; ++i) {
        CFakeNetwork::SetAnswer(Mac(i), "GetListInfo", EFakeAnswer::Hold);
        ASSERT_TRUE(CFakeNetwork::Reply(Mac(i), "", Address(i)));
    }
    int nRunning = 0, nWaiting = 0;
    ASSERT_TRUE(Eventually([&]() {
        m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
        return nWaiting == 4 && nRunning == kPlaces;
    }));
    Drain(m_ECM);
    m_ECM.StopProbe();
    m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(0, nWaiting);
    EXPECT_EQ(kPlaces, nRunning);
    for (int i = kPlaces; i < kDevices; ++i) {
        SVLECMMACState state;
        ASSERT_TRUE(m_ECM.GetMACState(Mac(i).c_str(), state));
        EXPECT_EQ(VLECM_MAC_FAILURE_STOPPED, state.addresses[0].eFailure) << i;
        EXPECT_EQ(VLECM_COMMAND_GET_LIST_INFO, state.addresses[0].eCommand) << i;
    }
    EXPECT_EQ(kPlaces, m_ECM.GetPendingMACCount());
    // A place that frees up goes to nobody.
    m_ECM.RemoveNIFInfo(ProbeRecord(m_ECM, Mac(0), Address(0)));
    m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(kPlaces - 1, nRunning);
    // The others answer: listed, not reported.
    for (int i = 1; i < kPlaces; ++i)
        CFakeNetwork::SetAnswer(Mac(i), "GetListInfo", EFakeAnswer::Success);
    ASSERT_TRUE(Eventually([&]() { return m_ECM.GetPendingMACCount() == 0; }));
    Drain(m_ECM);
    for (int i = 1; i < kDevices; ++i) {
        EXPECT_EQ(i < kPlaces, m_ECM.FindNIFInfo(Mac(i).c_str()) != nullptr) << i;
        EXPECT_EQ(i < kPlaces ? 1 : 0, CFakeNetwork::RequestCount(Mac(i), "GetListInfo")) << i;
    }
    EXPECT_EQ(0u, m_Client.Count("probe"));
    m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(0, nRunning + nWaiting);
}

TEST_F(ECMReplies, AnImpostorNeitherTakesTheRecordNorIsReported)
{
    CWatchdog watchdog(60, "ECMReplies");
    ASSERT_TRUE(CFakeNetwork::Reply(Mac(1), "", "10.0.0.5"));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    ASSERT_TRUE(CFakeNetwork::Reply(Mac(1), "impostor", "10.0.0.66"));
    Drain(m_ECM);
    CVLECMNIFInfo* pNIFInfo = m_ECM.FindNIFInfo(Mac(1).c_str());
    ASSERT_NE(nullptr, pNIFInfo);
    CVLProperty* pAddress = pNIFInfo->GetProperties()->GetProperty("IPAddress", false);
    ASSERT_NE(nullptr, pAddress);
    EXPECT_EQ("10.0.0.5", Std(pAddress->ToString("")));
    EXPECT_EQ(nullptr, pNIFInfo->GetProperties()->GetProperty("ModelName", false));
    // It answers unicast as the device does: the MAC is in conflict, said
    // so to every client, and the device stays the one reported.
    SVLECMMACState state;
    ASSERT_TRUE(
        Eventually([&]() { return m_ECM.GetMACState(Mac(1).c_str(), state) && state.eVerdict == VLECM_MAC_CONFLICT; }));
    ASSERT_EQ(2u, state.addresses.size());
    EXPECT_TRUE(state.addresses[0].bReported);
    EXPECT_EQ("10.0.0.66", Std(state.addresses[1].strAddress));
    bool bMore = true;
    std::vector<SVLECMConflictReport> conflicts = m_ECM.GetConflictReports(8, bMore);
    ASSERT_EQ(1u, conflicts.size());
    EXPECT_FALSE(bMore);
    EXPECT_EQ(Mac(1), Std(conflicts[0].strMAC));
    EXPECT_TRUE(conflicts[0].bReported);
    EXPECT_EQ(1u, m_Client.Count("probe"));
    // Its claim is a record of its own, under its check, which the device
    // list does not hold: the client sees one device per MAC.
    EXPECT_EQ(1, m_ECM.GetNIFInfoList()->GetCount());
    std::vector<std::string> visited;
    for (const SVLECMMACAddress& address : state.addresses) {
        bool bRecord = m_ECM.WithRecord(Mac(1).c_str(), Std(address.strAddress).c_str(), [](CVLECMNIFInfo*) {});
        visited.push_back(Std(address.strAddress) + (address.bReported ? " listed" : "") + (bRecord ? " record" : ""));
    }
    EXPECT_EQ(std::vector<std::string>({"10.0.0.5 listed record", "10.0.0.66 record"}), visited);
}

TEST_F(ECMReplies, RepeatsCostNoQueuedRecordAndChainsWaitTheirTurn)
{
    CWatchdog watchdog(60, "ECMReplies");
    const int kDevices = CVLECMProbeInstance::MAX_PLACES_PER_NETWORK + 4;
    for (int i = 0; i < kDevices; ++i)
        CFakeNetwork::SetAnswer(Mac(i), "GetListInfo", EFakeAnswer::Block);
    CVLModuleController* pController = m_ECM.GetApi()->GetModuleController();
    unsigned long nDroppedBefore = pController->GetDroppedCallbackCount();
    for (int i = 0; i < kDevices; ++i) {
        // Each device answers three times with the same reply.
        for (int j = 0; j < 3; ++j)
            ASSERT_TRUE(CFakeNetwork::Reply(Mac(i), "", Address(i)));
    }
    // One record per device was queued: the repeats never reached the queue.
    Drain(m_ECM);
    EXPECT_EQ(kDevices, m_ECM.GetRecordCount());
    EXPECT_EQ(nDroppedBefore, pController->GetDroppedCallbackCount());
    int nRunning = 0, nWaiting = 0;
    ASSERT_TRUE(Eventually([&]() {
        m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
        return nWaiting == 4;
    }));
    EXPECT_EQ(CVLECMProbeInstance::MAX_PLACES_PER_NETWORK, nRunning);
    int nAsked = 0;
    for (int i = 0; i < kDevices; ++i)
        nAsked += CFakeNetwork::RequestCount(Mac(i), "GetListInfo");
    EXPECT_EQ(CVLECMProbeInstance::MAX_PLACES_PER_NETWORK, nAsked);
    // A device that goes away gives its place to the first waiting one.
    m_ECM.RemoveNIFInfo(ProbeRecord(m_ECM, Mac(0), Address(0)));
    ASSERT_TRUE(Eventually([&]() {
        return CFakeNetwork::RequestCount(Mac(CVLECMProbeInstance::MAX_PLACES_PER_NETWORK), "GetListInfo") == 1;
    }));
    m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(CVLECMProbeInstance::MAX_PLACES_PER_NETWORK, nRunning);
    EXPECT_EQ(3, nWaiting);
}

// A chain whose unicast check was answered waits on no time-out: however
// long its later commands take, it keeps its place.
TEST_F(ECMReplies, ChainsPastTheirUnicastCheckKeepTheirPlaces)
{
    CWatchdog watchdog(60, "ECMReplies");
    CVLECMProbeInstance& probe = m_ECM.GetProbeInstance();
    const int kPlaces = CVLECMProbeInstance::MAX_PLACES_PER_NETWORK;
    for (int i = 0; i <= kPlaces; ++i) {
        CFakeNetwork::SetAnswer(Mac(i), "GetListInfo", EFakeAnswer::Block);
        ASSERT_TRUE(CFakeNetwork::Reply(Mac(i), "", Address(i)));
    }
    auto listInfoAsked = [&]() {
        int nAsked = 0;
        for (int i = 0; i <= kPlaces; ++i)
            nAsked += CFakeNetwork::RequestCount(Mac(i), "GetListInfo");
        return nAsked;
    };
    int nRunning = 0, nWaiting = 0;
    ASSERT_TRUE(Eventually([&]() {
        probe.GetChainCounts(nRunning, nWaiting);
        return nWaiting == 1;
    }));
    EXPECT_EQ(kPlaces, nRunning);
    EXPECT_EQ(kPlaces, listInfoAsked());
    EXPECT_EQ(0, CFakeNetwork::RequestCount(Mac(kPlaces), "GetListInfo"));
}

namespace {
// One reply of a MAC's table row: the MAC (by number), the address it came
// from, and how that address answers: 'P' its unicast check with the MAC
// and then its list information; 'D' not at all (deaf: its check times
// out); 'E' its check, then its list information with an error; 'S' its
// check, then nothing more (its list information times out).
struct SClaimReply
{
    int nMAC;
    std::string strFrom;
    char cAnswer;
};

// A row: the replies in the order heard; whether they are heard while the
// dispatch queue is backed up (held, with MAX_HANDED_ON devices queued
// before them); the device bound of a network (0: the default); and per
// MAC, its verdict, the address it is reported from (none: not reported),
// the addresses checked, and those never checked (a bound's, or beyond the
// kept ones).
struct SClaimRow
{
    std::string strCase;
    std::vector<SClaimReply> replies;
    bool bBackedUp;
    int nDeviceBound;
    std::map<int, VLECM_MAC_VERDICT> verdicts;
    std::map<int, std::string> reported;
    std::map<int, std::vector<std::string>> checked;
    std::map<int, std::vector<std::string>> unchecked;
};

std::string ClaimMac(int nRow, int nMAC)
{
    return Mac(0x100 * (nRow + 1) + nMAC);
}

// Replies of MAC 0 in that order, each address checked.
SClaimRow OneMAC(const std::string& strCase, const std::vector<std::pair<std::string, char>>& replies,
                 VLECM_MAC_VERDICT eVerdict, const std::string& strReported)
{
    SClaimRow row{strCase, {}, false, 0, {{0, eVerdict}}, {}, {}, {}};
    if (!strReported.empty())
        row.reported[0] = strReported;
    for (const auto& reply : replies) {
        row.replies.push_back({0, reply.first, reply.second});
        row.checked[0].push_back(reply.first);
    }
    return row;
}

// N deaf hosts claim the device's MAC and answer before it.
SClaimRow DeafFirst(int nDeaf)
{
    std::vector<std::pair<std::string, char>> replies;
    for (int i = 0; i < nDeaf; ++i)
        replies.emplace_back("10.1.0." + std::to_string(10 + i), 'D');
    replies.emplace_back("10.1.0.50", 'P');
    return OneMAC(std::to_string(nDeaf) + " deaf claimants before the device", replies, VLECM_MAC_ONE, "10.1.0.50");
}

std::vector<SClaimRow> ClaimRows()
{
    std::vector<SClaimRow> rows;
    for (int n : {1, 2, 4})
        rows.push_back(DeafFirst(n));
    // Two that pass: the MAC is handed on once, from whichever chain ended
    // first ("*"), and marked in conflict.
    rows.push_back(OneMAC("AnImpostorWithDeafClaimants",
                          {{"10.1.0.10", 'D'}, {"10.1.0.11", 'D'}, {"10.1.0.12", 'P'}, {"10.1.0.50", 'P'}},
                          VLECM_MAC_CONFLICT, "*"));
    rows.push_back(OneMAC("TwoAddressesThatPass", {{"10.1.0.10", 'P'}, {"10.1.0.11", 'P'}}, VLECM_MAC_CONFLICT, "*"));
    rows.push_back(OneMAC("AMACFromTwoInterfaces", {{"10.1.0.10", 'P'}, {"10.2.0.10", 'P'}}, VLECM_MAC_CONFLICT, "*"));
    // A claimant passes its check first, then fails its commands: the
    // device, whose commands run beside its, is the one reported, in
    // either order.
    rows.push_back(OneMAC("AClaimantWhoseListInformationFails", {{"10.1.0.10", 'E'}, {"10.1.0.50", 'P'}}, VLECM_MAC_ONE,
                          "10.1.0.50"));
    rows.push_back(
        OneMAC("AClaimantSilentAfterItsCheck", {{"10.1.0.10", 'S'}, {"10.1.0.50", 'P'}}, VLECM_MAC_ONE, "10.1.0.50"));
    rows.push_back(OneMAC("TheDeviceBeforeAClaimantWhoseCommandsFail", {{"10.1.0.10", 'P'}, {"10.1.0.50", 'E'}},
                          VLECM_MAC_ONE, "10.1.0.10"));
    // The device first, then more hosts claim its MAC than are kept: those
    // beyond are named, never checked.
    SClaimRow flood = OneMAC("AFloodOfClaims", {{"10.1.0.9", 'P'}}, VLECM_MAC_ONE, "10.1.0.9");
    for (int i = 0; i < CVLECMMACTable::MAX_ADDRESSES_PER_MAC + 5; ++i) {
        std::string strFrom = "10.1.0." + std::to_string(10 + i);
        flood.replies.push_back({0, strFrom, 'D'});
        (i + 1 < CVLECMMACTable::MAX_ADDRESSES_PER_MAC ? flood.checked : flood.unchecked)[0].push_back(strFrom);
    }
    rows.push_back(flood);
    // One host claims six known MACs: a claim counts against its source's
    // bound as a device does; the claims beyond are never checked.
    SClaimRow host{"OneHostClaimingSixKnownMACs", {}, false, 0, {}, {}, {}, {}};
    for (int i = 0; i < 6; ++i) {
        std::string strOwn = "10.1.0." + std::to_string(10 + i);
        host.replies.push_back({i, strOwn, 'P'});
        host.verdicts[i] = VLECM_MAC_ONE;
        host.reported[i] = strOwn;
        host.checked[i] = {strOwn};
    }
    for (int i = 0; i < 6; ++i) {
        host.replies.push_back({i, "10.1.0.99", 'D'});
        (i < CVLECMReplyFilter::MAX_MACS_PER_SOURCE ? host.checked : host.unchecked)[i].push_back("10.1.0.99");
    }
    rows.push_back(host);
    // A network's bound of devices holds claims too.
    rows.push_back({"ClaimsBeyondANetworksBound",
                    {{0, "10.1.0.10", 'P'}, {1, "10.1.0.11", 'P'}, {0, "10.1.0.20", 'D'}, {1, "10.1.0.21", 'D'}},
                    false,
                    3,
                    {{0, VLECM_MAC_ONE}, {1, VLECM_MAC_ONE}},
                    {{0, "10.1.0.10"}, {1, "10.1.0.11"}},
                    {{0, {"10.1.0.10", "10.1.0.20"}}, {1, {"10.1.0.11"}}},
                    {{1, {"10.1.0.21"}}}});
    // The claim waits in the backed-up hand-on queue: it is still checked,
    // and found to be the device.
    SClaimRow backedUp =
        OneMAC("AClaimWaitingInABackedUpQueue", {{"10.1.0.10", 'D'}, {"10.1.0.11", 'P'}}, VLECM_MAC_ONE, "10.1.0.11");
    backedUp.bBackedUp = true;
    rows.push_back(backedUp);
    return rows;
}
}  // namespace

// A MAC heard from several addresses is one decision of the device
// manager's: each address is checked, those that answer run their
// commands; one that passed is the device, found by its MAC, held by the
// list and reported once; two are a conflict, reported to nobody as a
// device; every address is asked for with how it stands.
TEST_F(ECMReplies, OneDevicePerMACWhateverClaimsItsMAC)
{
    CWatchdog watchdog(120, "ECMReplies");
    const std::vector<SClaimRow> rows = ClaimRows();
    for (size_t nRow = 0; nRow < rows.size(); ++nRow) {
        const SClaimRow& row = rows[nRow];
        SCOPED_TRACE(row.strCase);
        CVLECMPropertyMap options;
        options[Text("Option.Probe.SkipGetSupportInformation")] = Text("true");
        options[Text("Option.CheckUnicast.NonUnicastDeviceFiltering")] = Text("true");
        options[Text("Option.CheckUnicast.Timeout")] = Text("100");
        options[Text("Option.CheckUnicast.Retry")] = Text("0");
        if (row.nDeviceBound > 0)
            options[Text(CVLECMReplyFilter::DEVICE_BOUND_OPTION)] = Text(std::to_string(row.nDeviceBound));
        ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
        m_ECM.GetProbeInstance().SetLocalNetworks(Networks());
        const int kRow = static_cast<int>(nRow);
        for (const SClaimReply& reply : row.replies) {
            const std::string strMAC = ClaimMac(kRow, reply.nMAC);
            CFakeNetwork::SetAnswerAt(strMAC, reply.strFrom, "CheckUnicast",
                                      reply.cAnswer == 'D' ? EFakeAnswer::Timeout : EFakeAnswer::Success);
            CFakeNetwork::SetAnswerAt(strMAC, reply.strFrom, "GetListInfo",
                                      reply.cAnswer == 'E'   ? EFakeAnswer::DeviceError
                                      : reply.cAnswer == 'S' ? EFakeAnswer::Timeout
                                                             : EFakeAnswer::Success);
        }
        auto play = [&](size_t nFirst) {
            for (size_t i = nFirst; i < row.replies.size(); ++i)
                ASSERT_TRUE(CFakeNetwork::Reply(ClaimMac(kRow, row.replies[i].nMAC), "", row.replies[i].strFrom));
        };
        if (row.bBackedUp) {
            // The first address is handled, the others wait their turn.
            ASSERT_TRUE(CFakeNetwork::Reply(ClaimMac(kRow, row.replies[0].nMAC), "", row.replies[0].strFrom));
            Drain(m_ECM);
            CDispatchHold hold(m_ECM);
            for (int i = 0; i < CVLECMHandOnQueue::MAX_HANDED_ON; ++i)
                ASSERT_TRUE(CFakeNetwork::Reply(ClaimMac(kRow, 50 + i), "", "10.2.0." + std::to_string(10 + i)));
            play(1);
            // Held, its MAC is not judged yet.
            SVLECMMACState held;
            ASSERT_TRUE(m_ECM.GetMACState(ClaimMac(kRow, 0).c_str(), held));
            EXPECT_EQ(VLECM_MAC_PENDING, held.eVerdict);
            ASSERT_EQ(2u, held.addresses.size());
            EXPECT_EQ(VLECM_MAC_ADDRESS_HEARD, held.addresses[1].eState);
        } else {
            play(0);
        }
        Drain(m_ECM);
        for (const auto& expected : row.verdicts) {
            const int nMAC = expected.first;
            const std::string strMAC = ClaimMac(kRow, nMAC);
            SCOPED_TRACE(strMAC);
            SVLECMMACState state;
            ASSERT_TRUE(WaitJudged(m_ECM, strMAC.c_str(), state));
            Drain(m_ECM);
            EXPECT_EQ(expected.second, state.eVerdict);
            auto sorted = [nMAC](const std::map<int, std::vector<std::string>>& table) {
                auto it = table.find(nMAC);
                std::vector<std::string> addresses = it != table.end() ? it->second : std::vector<std::string>();
                std::sort(addresses.begin(), addresses.end());
                return addresses;
            };
            std::vector<std::string> checked, unchecked;
            std::string strReported;
            for (const SVLECMMACAddress& address : state.addresses) {
                const bool bChecked =
                    address.eState != VLECM_MAC_ADDRESS_REFUSED && address.eState != VLECM_MAC_ADDRESS_BEYOND;
                (bChecked ? checked : unchecked).push_back(Std(address.strAddress));
                if (address.bReported)
                    strReported = Std(address.strAddress);
            }
            std::sort(checked.begin(), checked.end());
            std::sort(unchecked.begin(), unchecked.end());
            EXPECT_EQ(sorted(row.checked), checked);
            EXPECT_EQ(sorted(row.unchecked), unchecked);
            auto reported = row.reported.find(nMAC);
            const std::string strExpected = reported != row.reported.end() ? reported->second : "";
            std::set<std::string> passed;
            for (const SClaimReply& reply : row.replies) {
                if (reply.nMAC == nMAC && reply.cAnswer == 'P')
                    passed.insert(reply.strFrom);
            }
            if (strExpected == "*")
                EXPECT_EQ(1u, passed.count(strReported)) << strReported;
            else
                EXPECT_EQ(strExpected, strReported);
            // Each address is asked once whether it answers unicast, those
            // never checked not at all; each that answered runs its
            // commands once.
            for (const SClaimReply& reply : row.replies) {
                if (reply.nMAC != nMAC)
                    continue;
                const bool bChecked = std::count(checked.begin(), checked.end(), reply.strFrom) > 0;
                EXPECT_EQ(bChecked ? 1 : 0, CFakeNetwork::RequestCountAt(strMAC, reply.strFrom, "CheckUnicast"))
                    << reply.strFrom;
                EXPECT_EQ(bChecked && reply.cAnswer != 'D' ? 1 : 0,
                          CFakeNetwork::RequestCountAt(strMAC, reply.strFrom, "GetListInfo"))
                    << reply.strFrom;
            }
            // One report, of the address that passed: the record the MAC
            // finds and the list holds.
            size_t nReports = 0;
            CVLECMNIFInfo* pReported = nullptr;
            for (const CRecordingClient::Event& event : m_Client.Events()) {
                if (event.strWhat == "probe" && event.strMac == strMAC) {
                    ++nReports;
                    pReported = event.pNIFInfo;
                }
            }
            EXPECT_EQ(strReported.empty() ? 0u : 1u, nReports);
            EXPECT_EQ(pReported, m_ECM.FindNIFInfo(strMAC.c_str()));
            if (pReported != nullptr) {
                CVLProperty* pAddress = pReported->GetProperties()->GetProperty("IPAddress", false);
                EXPECT_EQ(strReported, pAddress != nullptr ? Std(pAddress->ToString("")) : "");
                // The record carries the MAC's state: marked in conflict,
                // naming the other address that passed.
                CVLProperty* pMark = pReported->GetProperties()->GetProperty(VLECM_CONFLICT_MARK_PATH, false);
                EXPECT_EQ(expected.second == VLECM_MAC_CONFLICT ? "1" : "",
                          pMark != nullptr ? Std(pMark->ToString("")) : "");
                std::string strOther;
                for (const std::string& strPassed : passed) {
                    if (strPassed != strReported)
                        strOther += (strOther.empty() ? "" : " ") + strPassed;
                }
                CVLProperty* pOther = pReported->GetProperties()->GetProperty(VLECM_OTHER_PASSED_PATH, false);
                EXPECT_EQ(strOther, pOther != nullptr ? Std(pOther->ToString("")) : "");
            }
            // A conflict is said to every client.
            bool bMore = false;
            size_t nConflicts = 0;
            for (const SVLECMConflictReport& conflict : m_ECM.GetConflictReports(64, bMore))
                nConflicts += Std(conflict.strMAC) == strMAC ? 1 : 0;
            EXPECT_EQ(expected.second == VLECM_MAC_CONFLICT ? 1u : 0u, nConflicts);
        }
        // The list holds one record per MAC, none of them a claim.
        std::map<std::string, int> listed;
        CVLTargetList* pList = m_ECM.GetNIFInfoList();
        pList->Lock();
        for (CVLTargetIterator it = pList->Begin(); !it.IsEnd(); it.Next()) {
            CVLECMNIFInfo* pNIFInfo = dynamic_cast<CVLECMNIFInfo*>(it.Get());
            ++listed[pNIFInfo != nullptr ? ECMText(pNIFInfo->GetMACAddress()) : "?"];
        }
        pList->Unlock();
        for (const auto& entry : listed)
            EXPECT_EQ(1, entry.second) << entry.first;
    }
}

// A record taken after the probe stops is the client's to use while the
// checks under way end: the stop judged them, they report nothing and
// destroy no record.
TEST_F(ECMReplies, ARecordTakenAfterTheProbeStopsOutlivesTheChecksUnderWay)
{
    CWatchdog watchdog(60, "ECMReplies");
    const std::string strMAC = Mac(0x7100);
    CFakeNetwork::SetAnswerAt(strMAC, Address(1), "CheckUnicast", EFakeAnswer::Block);
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", Address(0)));
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", Address(1)));
    SVLECMMACState state;
    ASSERT_TRUE(Eventually([&]() {
        return m_ECM.GetMACState(strMAC.c_str(), state) && state.addresses.size() == 2 &&
               state.addresses[0].eState == VLECM_MAC_ADDRESS_PASSED &&
               state.addresses[1].eState == VLECM_MAC_ADDRESS_CHECKING;
    }));
    // Reported before the stop: a report still on its way at the stop
    // would be listed only.
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    m_ECM.StopProbe();
    CVLECMNIFInfo* pKept = nullptr;
    ASSERT_TRUE(m_ECM.WithRecord(strMAC.c_str(), Address(0).c_str(), [&pKept](CVLECMNIFInfo* p) { pKept = p; }));
    ASSERT_NE(nullptr, pKept);
    // The other check ends while the kept record runs a command.
    const size_t nReportsBefore = m_Client.Count("GetListInfo");
    ASSERT_EQ(VLECM_RESULT_SUCCESS,
              pKept->StartCommand(VLECM_COMMAND_GET_LIST_INFO, VLECM_CONNECT_TYPE_NETWORK, nullptr));
    CFakeNetwork::SetAnswerAt(strMAC, Address(1), "CheckUnicast", EFakeAnswer::DeviceError);
    ASSERT_TRUE(m_Client.WaitFor("GetListInfo", nReportsBefore + 1));
    EXPECT_EQ(VLECM_RESULT_SUCCESS, m_Client.LastResult("GetListInfo"));
    // The check under way at the stop is judged by its own answer.
    ASSERT_TRUE(WaitJudged(m_ECM, strMAC.c_str(), state));
    Drain(m_ECM);
    EXPECT_EQ(VLECM_MAC_ONE, state.eVerdict);
    EXPECT_EQ(VLECM_MAC_FAILURE_NOT_UNICAST, state.addresses[1].eFailure);
    // Handed on at the end of its chain, before the stop; not again.
    EXPECT_EQ(1u, m_Client.Count("probe"));
    CVLECMNIFInfo* pNow = nullptr;
    ASSERT_TRUE(m_ECM.WithRecord(strMAC.c_str(), Address(0).c_str(), [&pNow](CVLECMNIFInfo* p) { pNow = p; }));
    EXPECT_EQ(pKept, pNow);
    EXPECT_EQ(strMAC, Std(pKept->GetMACAddress()));
}

// Blocked checks: every kept address of a MAC is checked at once, those
// beyond the kept ones never; until each is judged the MAC is pending, and
// every address still to be checked is counted.
TEST_F(ECMReplies, AMACsAddressesAreCheckedAllAtOnceAndCountedUntilJudged)
{
    CWatchdog watchdog(60, "ECMReplies");
    const std::string strMAC = Mac(0x7000);
    const int kKept = CVLECMMACTable::MAX_ADDRESSES_PER_MAC;
    const int kAddresses = kKept + 6;
    for (int i = 0; i < kAddresses; ++i) {
        CFakeNetwork::SetAnswerAt(strMAC, Address(i), "CheckUnicast", EFakeAnswer::Block);
        ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", Address(i)));
    }
    Drain(m_ECM);
    auto asked = [&]() {
        int nAsked = 0;
        for (int i = 0; i < kAddresses; ++i)
            nAsked += CFakeNetwork::RequestCountAt(strMAC, Address(i), "CheckUnicast");
        return nAsked;
    };
    ASSERT_TRUE(Eventually([&]() { return asked() == kKept; }));
    EXPECT_EQ(0, CFakeNetwork::RequestCountAt(strMAC, Address(kAddresses - 1), "CheckUnicast"));
    int nChecking = 0;
    EXPECT_EQ(kKept, m_ECM.GetUnfinishedChainCount(nChecking));
    EXPECT_EQ(kKept, nChecking);
    SVLECMMACState state;
    ASSERT_TRUE(m_ECM.GetMACState(strMAC.c_str(), state));
    EXPECT_EQ(VLECM_MAC_PENDING, state.eVerdict);
    EXPECT_EQ(1, m_ECM.GetPendingMACCount());
    std::vector<VLECM_MAC_ADDRESS_STATE> states;
    for (const SVLECMMACAddress& address : state.addresses)
        states.push_back(address.eState);
    std::vector<VLECM_MAC_ADDRESS_STATE> expected(kKept, VLECM_MAC_ADDRESS_CHECKING);
    expected.resize(kAddresses, VLECM_MAC_ADDRESS_BEYOND);
    EXPECT_EQ(expected, states);
    EXPECT_EQ(static_cast<unsigned long>(kAddresses - kKept), state.nBeyond);
    // One check ends (the host answers with an error): the others still
    // keep the MAC pending, and the one beyond is still not asked.
    CFakeNetwork::SetAnswerAt(strMAC, Address(1), "CheckUnicast", EFakeAnswer::DeviceError);
    ASSERT_TRUE(Eventually([&]() {
        return m_ECM.GetMACState(strMAC.c_str(), state) && state.addresses[1].eState == VLECM_MAC_ADDRESS_FAILED;
    }));
    // (The filter is off: it stands for the device only if no other does.)
    EXPECT_EQ(VLECM_MAC_FAILURE_NOT_UNICAST, state.addresses[1].eFailure);
    EXPECT_EQ(VLECM_RESULT_DEVICE_ERROR, state.addresses[1].eResult);
    EXPECT_EQ(VLECM_MAC_PENDING, state.eVerdict);
    EXPECT_EQ(0, CFakeNetwork::RequestCountAt(strMAC, Address(kAddresses - 1), "CheckUnicast"));
    EXPECT_EQ(0u, m_Client.Count("probe"));
}

// Deaf hosts claim a device's MAC: every kept address is checked at once,
// and the device is handed on at the end of its own chain, however many
// are still in their checks; once. Beyond the kept addresses (the device
// heard first) the rest are never checked.
TEST_F(ECMReplies, DeafClaimantsCostTheDeviceOneCheckTime)
{
    CWatchdog watchdog(120, "ECMReplies");
    const int kKept = CVLECMMACTable::MAX_ADDRESSES_PER_MAC;
    for (int nDeaf : {1, 4, 20, 63, 64, 70}) {
        SCOPED_TRACE(std::to_string(nDeaf) + " deaf claimants");
        CVLECMPropertyMap options;
        options[Text("Option.Probe.SkipGetSupportInformation")] = Text("true");
        options[Text("Option.CheckUnicast.NonUnicastDeviceFiltering")] = Text("true");
        options[Text("Option.CheckUnicast.Timeout")] = Text("3600000");
        options[Text("Option.CheckUnicast.Retry")] = Text("0");
        ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
        const std::string strMAC = Mac(0x8000 + nDeaf);
        const std::string strDevice = "10.8.0.1";
        const size_t nReports = m_Client.Count("probe");
        std::vector<std::string> addresses;
        for (int i = 0; i < nDeaf; ++i) {
            addresses.push_back(Address(1000 + i));
            CFakeNetwork::SetAnswerAt(strMAC, addresses.back(), "CheckUnicast", EFakeAnswer::Block);
        }
        // Up to a full table the device answers last; beyond, first.
        addresses.insert(nDeaf < kKept ? addresses.end() : addresses.begin(), strDevice);
        for (const std::string& strFrom : addresses)
            ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", strFrom));
        Drain(m_ECM);
        const int nChecked = std::min(nDeaf + 1, static_cast<int>(kKept));
        auto asked = [&]() {
            int nAsked = 0;
            for (const std::string& strFrom : addresses)
                nAsked += CFakeNetwork::RequestCountAt(strMAC, strFrom, "CheckUnicast");
            return nAsked;
        };
        // All started together; the device, through its commands, is
        // handed on while they wait.
        ASSERT_TRUE(Eventually([&]() {
            return asked() == nChecked && CFakeNetwork::RequestCountAt(strMAC, strDevice, "GetListInfo") == 1;
        }));
        ASSERT_TRUE(m_Client.WaitFor("probe", nReports + 1));
        EXPECT_NE(nullptr, m_ECM.FindNIFInfo(strMAC.c_str()));
        SVLECMMACSummary summary;
        ASSERT_TRUE(m_ECM.GetMACSummary(strMAC.c_str(), summary));
        EXPECT_EQ(VLECM_MAC_PENDING, summary.eVerdict);
        EXPECT_EQ(strDevice, Std(summary.strReportedAddress));
        for (const std::string& strFrom : addresses) {
            if (strFrom != strDevice)
                CFakeNetwork::SetAnswerAt(strMAC, strFrom, "CheckUnicast", EFakeAnswer::DeviceError);
        }
        SVLECMMACState state;
        ASSERT_TRUE(WaitJudged(m_ECM, strMAC.c_str(), state));
        Drain(m_ECM);
        EXPECT_EQ(VLECM_MAC_ONE, state.eVerdict);
        EXPECT_EQ(nReports + 1, m_Client.Count("probe"));
        ASSERT_NE(nullptr, m_ECM.FindNIFInfo(strMAC.c_str()));
        // One round: no address was asked twice.
        EXPECT_EQ(nChecked, asked());
        EXPECT_EQ(static_cast<unsigned long>(std::max(0, nDeaf + 1 - kKept)), state.nBeyond);
    }
}

// A claimant answers unicast before the device does. When the claimant's
// commands fail (an error, silence) the device is handed on once, from its
// own address, at the end of its chain; when they succeed the claimant,
// faster, is handed on, and marked in conflict as soon as the device passes
// too: one OnProbe each way.
TEST_F(ECMReplies, AClaimantFasterThanTheDeviceIsMarkedWhenTheDevicePasses)
{
    CWatchdog watchdog(60, "ECMReplies");
    struct SRow
    {
        EFakeAnswer eClaimantsList;
        VLECM_MAC_VERDICT eVerdict;
    };
    const SRow kRows[] = {{EFakeAnswer::DeviceError, VLECM_MAC_ONE},
                          {EFakeAnswer::Timeout, VLECM_MAC_ONE},
                          {EFakeAnswer::Success, VLECM_MAC_CONFLICT}};
    int nRow = 0;
    for (const SRow& row : kRows) {
        SCOPED_TRACE(nRow);
        const std::string strMAC = Mac(0x9000 + nRow++);
        const std::string strClaimant = "10.8.1.1", strDevice = "10.8.1.2";
        CFakeNetwork::SetAnswerAt(strMAC, strClaimant, "GetListInfo", row.eClaimantsList);
        CFakeNetwork::SetAnswerAt(strMAC, strDevice, "CheckUnicast", EFakeAnswer::Block);
        const size_t nReports = m_Client.Count("probe");
        ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", strClaimant));
        ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", strDevice));
        SVLECMMACState state;
        ASSERT_TRUE(Eventually([&]() {
            return m_ECM.GetMACState(strMAC.c_str(), state) && state.addresses.size() == 2 &&
                   (state.addresses[0].eState == VLECM_MAC_ADDRESS_PASSED ||
                    state.addresses[0].eState == VLECM_MAC_ADDRESS_FAILED);
        }));
        Drain(m_ECM);
        EXPECT_EQ(VLECM_MAC_PENDING, state.eVerdict);
        const bool bClaimantFirst = row.eVerdict == VLECM_MAC_CONFLICT;
        EXPECT_EQ(nReports + (bClaimantFirst ? 1 : 0), m_Client.Count("probe"));
        CVLECMNIFInfo* pReported = m_ECM.FindNIFInfo(strMAC.c_str());
        EXPECT_EQ(bClaimantFirst, pReported != nullptr);
        auto mark = [](CVLECMNIFInfo* pNIFInfo, const char* szPath) {
            CVLProperty* pMark = pNIFInfo->GetProperties()->GetProperty(szPath, false);
            return pMark != nullptr ? Std(pMark->ToString("")) : "";
        };
        if (pReported != nullptr) {
            EXPECT_EQ("", mark(pReported, VLECM_CONFLICT_MARK_PATH));
        }
        // The device answers.
        CFakeNetwork::SetAnswerAt(strMAC, strDevice, "CheckUnicast", EFakeAnswer::Success);
        ASSERT_TRUE(WaitJudged(m_ECM, strMAC.c_str(), state));
        Drain(m_ECM);
        EXPECT_EQ(row.eVerdict, state.eVerdict);
        EXPECT_EQ(nReports + 1, m_Client.Count("probe"));
        CVLECMNIFInfo* pDevice = m_ECM.FindNIFInfo(strMAC.c_str());
        ASSERT_NE(nullptr, pDevice);
        EXPECT_EQ(pDevice, m_Client.Events().back().pNIFInfo);
        CVLProperty* pAddress = pDevice->GetProperties()->GetProperty("IPAddress", false);
        EXPECT_EQ(bClaimantFirst ? strClaimant : strDevice, pAddress != nullptr ? Std(pAddress->ToString("")) : "");
        EXPECT_EQ(bClaimantFirst ? "1" : "", mark(pDevice, VLECM_CONFLICT_MARK_PATH));
        EXPECT_EQ(bClaimantFirst ? strDevice : "", mark(pDevice, VLECM_OTHER_PASSED_PATH));
        if (!bClaimantFirst) {
            EXPECT_EQ(VLECM_MAC_FAILURE_COMMAND, state.addresses[0].eFailure);
            EXPECT_TRUE(state.addresses[1].bReported);
        }
    }
}

namespace {
// Records that count the unicast checks started for each address.
class CCountingRecord : public CVLECMNIFInfo
{
public:
    VLECM_RESULT StartChainCommand(VLECM_COMMAND eCommand, VLECM_CONNECT_TYPE eConnectType,
                                   const CVLECMSharedOptions& pOptions, IVLECMCallbackIF* pCallbackIF) override
    {
        if (eCommand == VLECM_COMMAND_CHECK_UNICAST) {
            CVLProperty* pAddress = GetProperties()->GetProperty("IPAddress", false);
            std::lock_guard<std::mutex> lock(s_Mutex);
            ++s_Checks[pAddress != nullptr ? Std(pAddress->ToString("")) : ""];
        }
        return CVLECMNIFInfo::StartChainCommand(eCommand, eConnectType, pOptions, pCallbackIF);
    }
    static int ChecksAt(const std::string& strAddress)
    {
        std::lock_guard<std::mutex> lock(s_Mutex);
        return s_Checks[strAddress];
    }

private:
    static std::mutex s_Mutex;
    static std::map<std::string, int> s_Checks;
};
std::mutex CCountingRecord::s_Mutex;
std::map<std::string, int> CCountingRecord::s_Checks;

class CCountingFactory : public IVLECMNIFInfoFactoryIF
{
public:
    CVLTarget* CreateNIFInfo(CVLECM*, CVLCMApi*) override { return new CCountingRecord; }
    void DestroyNIFInfo(CVLECM*, CVLCMApi*, CVLTarget* pTarget) override { delete pTarget; }
};
}  // namespace

// A device removed while its MAC's other addresses hold the last check of
// the probe and wait for one: as its records go and free the checks, none
// starts for them; the device waiting next takes the check.
TEST_F(ECMReplies, NoCheckStartsForAnAddressOfARemovedDevice)
{
    CWatchdog watchdog(120, "ECMReplies");
    // It outlives the device manager, whose tear-down destroys its records.
    static CCountingFactory factory;
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Initialize(&m_Client, &factory, nullptr, nullptr));
    CVLECMPropertyMap options;
    options[Text("Option.Probe.SkipGetSupportInformation")] = Text("true");
    options[Text("Option.CheckUnicast.Timeout")] = Text("3600000");
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    m_ECM.GetProbeInstance().SetLocalNetworks(Networks());
    const std::string strMAC = Mac(0xA000), strNext = Mac(0xA001);
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", "10.2.0.10"));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    CVLECMNIFInfo* pDevice = m_ECM.FindNIFInfo(strMAC.c_str());
    ASSERT_NE(nullptr, pDevice);
    // The others take every check but one.
    const int kOthers = CVLECMProbeInstance::MAX_CHECKING_CHAINS - 1;
    for (int i = 0; i < kOthers; ++i) {
        CFakeNetwork::SetAnswer(Mac(0xB000 + i), "CheckUnicast", EFakeAnswer::Block);
        ASSERT_TRUE(CFakeNetwork::Reply(Mac(0xB000 + i), "", "10.1.0." + std::to_string(1 + i / 4)));
    }
    Drain(m_ECM);
    ASSERT_TRUE(Eventually([&]() { return m_ECM.GetProbeInstance().GetCheckingChainCount() == kOthers; }));
    for (const char* szFrom : {"10.2.0.11", "10.2.0.12"})
        CFakeNetwork::SetAnswerAt(strMAC, szFrom, "CheckUnicast", EFakeAnswer::Block);
    CFakeNetwork::SetAnswer(strNext, "CheckUnicast", EFakeAnswer::Block);
    for (const char* szFrom : {"10.2.0.11", "10.2.0.12"})
        ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", szFrom));
    ASSERT_TRUE(CFakeNetwork::Reply(strNext, "", "10.2.0.13"));
    Drain(m_ECM);
    int nChecking = 0;
    ASSERT_TRUE(Eventually([&]() {
        m_ECM.GetUnfinishedChainCount(nChecking);
        return m_ECM.GetProbeInstance().GetCheckingChainCount() == CVLECMProbeInstance::MAX_CHECKING_CHAINS &&
               nChecking == CVLECMProbeInstance::MAX_CHECKING_CHAINS + 2;
    }));
    EXPECT_EQ(1, CCountingRecord::ChecksAt("10.2.0.11"));
    ASSERT_EQ(0, CCountingRecord::ChecksAt("10.2.0.12"));
    m_ECM.RemoveNIFInfo(pDevice);
    ASSERT_TRUE(Eventually([&]() { return CCountingRecord::ChecksAt("10.2.0.13") == 1; }));
    EXPECT_EQ(0, CCountingRecord::ChecksAt("10.2.0.12"));
    EXPECT_EQ(1u, m_Client.Count("probe"));
}

// However the probe's replies, checks and commands interleave, an address
// still to be judged keeps its MAC pending: no verdict is read while one
// of its addresses may change it.
TEST_F(ECMReplies, AnAddressStillToBeJudgedKeepsItsMACPending)
{
    CWatchdog watchdog(120, "ECMReplies");
    CVLECMPropertyMap options;
    options[Text("Option.Probe.SkipGetSupportInformation")] = Text("true");
    options[Text("Option.CheckUnicast.Timeout")] = Text("50");
    options[Text("Option.CheckUnicast.Retry")] = Text("0");
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    const int kDevices = 120;
    // Every third device is claimed from a second address, every fifth
    // address is deaf, every seventh fails its commands.
    std::vector<std::pair<std::string, std::string>> replies;
    for (int i = 0; i < kDevices; ++i) {
        replies.emplace_back(Mac(0xC000 + i), Address(i));
        if (i % 3 == 0)
            replies.emplace_back(Mac(0xC000 + i), Address(500 + i));
    }
    for (size_t i = 0; i < replies.size(); ++i) {
        if (i % 5 == 0)
            CFakeNetwork::SetAnswerAt(replies[i].first, replies[i].second, "CheckUnicast", EFakeAnswer::Timeout);
        if (i % 7 == 0)
            CFakeNetwork::SetAnswerAt(replies[i].first, replies[i].second, "GetListInfo", EFakeAnswer::DeviceError);
    }
    std::atomic<bool> bDone(false);
    std::thread player([&]() {
        for (const auto& reply : replies)
            CFakeNetwork::Reply(reply.first, "", reply.second);
        bDone = true;
    });
    auto stillToBeJudged = [](VLECM_MAC_ADDRESS_STATE eState) {
        return eState == VLECM_MAC_ADDRESS_HEARD || eState == VLECM_MAC_ADDRESS_WAITING ||
               eState == VLECM_MAC_ADDRESS_CHECKING || eState == VLECM_MAC_ADDRESS_ANSWERED;
    };
    int nLooks = 0, nPendingSeen = 0;
    for (;;) {
        const bool bLast = bDone && m_ECM.GetPendingMACCount() == 0;
        int nPending = 0;
        for (int i = 0; i < kDevices; ++i) {
            SVLECMMACState state;
            if (!m_ECM.GetMACState(Mac(0xC000 + i).c_str(), state))
                continue;
            bool bOpen = false;
            for (const SVLECMMACAddress& address : state.addresses)
                bOpen = bOpen || stillToBeJudged(address.eState);
            ASSERT_TRUE(!bOpen || state.eVerdict == VLECM_MAC_PENDING) << Mac(0xC000 + i);
            nPending += state.eVerdict == VLECM_MAC_PENDING ? 1 : 0;
        }
        nPendingSeen += nPending;
        ++nLooks;
        if (bLast)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    player.join();
    Drain(m_ECM);
    EXPECT_GT(nPendingSeen, 0) << nLooks;
    // Judged: one report per device an address of which passed (or whose
    // one address stands without unicast), each once.
    size_t nHandedOn = 0;
    for (int i = 0; i < kDevices; ++i) {
        SVLECMMACState state;
        ASSERT_TRUE(m_ECM.GetMACState(Mac(0xC000 + i).c_str(), state));
        bool bPassed = state.eVerdict == VLECM_MAC_ONE;
        for (const SVLECMMACAddress& address : state.addresses)
            bPassed = bPassed || address.eState == VLECM_MAC_ADDRESS_PASSED;
        nHandedOn += bPassed ? 1 : 0;
    }
    EXPECT_GT(nHandedOn, 0u);
    EXPECT_EQ(nHandedOn, m_Client.Count("probe"));
    std::set<std::string> reported;
    for (const CRecordingClient::Event& event : m_Client.Events()) {
        if (event.strWhat == "probe")
            reported.insert(event.strMac);
    }
    EXPECT_EQ(nHandedOn, reported.size());
}

// Hosts that pass their unicast check for a device's MAC and then never
// answer its list information hold nothing back: the device's own chain
// ends at its own pace, and it is handed on once.
TEST_F(ECMReplies, StallingClaimantsDelayNoDeviceOfTheirMAC)
{
    CWatchdog watchdog(60, "ECMReplies");
    for (int nStalling : {1, 4}) {
        SCOPED_TRACE(std::to_string(nStalling) + " stalling claimants");
        CVLECMPropertyMap options;
        options[Text("Option.Probe.SkipGetSupportInformation")] = Text("true");
        ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
        const std::string strMAC = Mac(0xA000 + nStalling);
        const std::string strDevice = "10.8.2.50";
        const size_t nReports = m_Client.Count("probe");
        for (int i = 0; i < nStalling; ++i) {
            const std::string strFrom = "10.8.2." + std::to_string(10 + i);
            CFakeNetwork::SetAnswerAt(strMAC, strFrom, "GetListInfo", EFakeAnswer::Block);
            ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", strFrom));
            ASSERT_TRUE(
                Eventually([&]() { return CFakeNetwork::RequestCountAt(strMAC, strFrom, "GetListInfo") == 1; }));
        }
        ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", strDevice));
        ASSERT_TRUE(m_Client.WaitFor("probe", nReports + 1));
        Drain(m_ECM);
        EXPECT_EQ(nReports + 1, m_Client.Count("probe"));
        CVLECMNIFInfo* pDevice = m_ECM.FindNIFInfo(strMAC.c_str());
        ASSERT_NE(nullptr, pDevice);
        CVLProperty* pAddress = pDevice->GetProperties()->GetProperty("IPAddress", false);
        EXPECT_EQ(strDevice, pAddress != nullptr ? Std(pAddress->ToString("")) : "");
        SVLECMMACSummary summary;
        ASSERT_TRUE(m_ECM.GetMACSummary(strMAC.c_str(), summary));
        EXPECT_EQ(static_cast<unsigned long>(nStalling), summary.nAnswered);
        EXPECT_EQ(1u, summary.nPassed);
        EXPECT_EQ(VLECM_MAC_PENDING, summary.eVerdict);
    }
}

// Hosts that make addresses pass and then stall hold places of their own
// network only: two networks full of them (every place taken, more
// waiting) hold back no device of a third, and 48 of them on the third
// hold back no device of theirs; a device of a full network waits for a
// place, and the address the user named takes the place kept for it (also
// with a MAC the stalling hosts claim).
TEST_F(ECMReplies, StallingHostsHoldOnlyTheirOwnNetworksPlaces)
{
    CWatchdog watchdog(120, "ECMReplies");
    m_ECM.GetProbeInstance().SetLocalNetworks(
        std::make_shared<const CVLECMLocalNetworks>(LocalInterfaces(3, 3), std::map<CVLString, CVLString>()));
    const std::string strNamed = "10.2.0.200";
    m_ECM.SetNamedAddress(strNamed.c_str());
    const std::string strClaimed = Mac(0xB000);
    const int kPlaces = CVLECMProbeInstance::MAX_PLACES_PER_NETWORK;
    const int kOwn = 48;
    std::vector<std::pair<std::string, std::string>> stalling;
    auto stall = [&](const std::string& strMAC, const std::string& strFrom) {
        stalling.emplace_back(strMAC, strFrom);
        CFakeNetwork::SetAnswerAt(strMAC, strFrom, "GetListInfo", EFakeAnswer::Block);
        ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", strFrom));
    };
    for (int nNetwork : {2, 3}) {
        for (int i = 0; i < kPlaces + 4; ++i)
            stall(i < 8 ? strClaimed : Mac(0xB100 + nNetwork * 0x100 + i),
                  "10." + std::to_string(nNetwork) + ".0." + std::to_string(10 + i));
    }
    for (int i = 0; i < kOwn; ++i)
        stall(Mac(0xB100 + i), "10.1.0." + std::to_string(10 + i));
    auto stalled = [&]() {
        int nAsked = 0;
        for (const auto& host : stalling)
            nAsked += CFakeNetwork::RequestCountAt(host.first, host.second, "GetListInfo");
        return nAsked;
    };
    ASSERT_TRUE(Eventually([&]() { return stalled() == 2 * kPlaces + kOwn; }));
    // The third network's device is listed at once.
    ASSERT_TRUE(CFakeNetwork::Reply(Mac(0xB001), "", "10.1.0.150"));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    EXPECT_NE(nullptr, m_ECM.FindNIFInfo(Mac(0xB001).c_str()));
    // A device of a full network waits for a place.
    ASSERT_TRUE(CFakeNetwork::Reply(Mac(0xB002), "", "10.2.0.150"));
    SVLECMMACState state;
    ASSERT_TRUE(Eventually([&]() {
        return m_ECM.GetMACState(Mac(0xB002).c_str(), state) && state.addresses[0].eState == VLECM_MAC_ADDRESS_ANSWERED;
    }));
    Drain(m_ECM);
    EXPECT_EQ(0, CFakeNetwork::RequestCount(Mac(0xB002), "GetListInfo"));
    // The device at the named address, whose MAC they claim, is not held back.
    ASSERT_TRUE(CFakeNetwork::Reply(strClaimed, "", strNamed));
    ASSERT_TRUE(m_Client.WaitFor("probe", 2));
    CVLECMNIFInfo* pDevice = m_ECM.FindNIFInfo(strClaimed.c_str());
    ASSERT_NE(nullptr, pDevice);
    CVLProperty* pAddress = pDevice->GetProperties()->GetProperty("IPAddress", false);
    EXPECT_EQ(strNamed, pAddress != nullptr ? Std(pAddress->ToString("")) : "");
    EXPECT_EQ(2 * kPlaces + kOwn, stalled());
    EXPECT_EQ(0, CFakeNetwork::RequestCount(Mac(0xB002), "GetListInfo"));
    // With the name cleared, a device of the full network still waits: no
    // more chains run than before.
    int nRunning = 0, nWaiting = 0;
    m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
    const int nMost = nRunning;
    m_ECM.SetNamedAddress("");
    ASSERT_TRUE(CFakeNetwork::Reply(Mac(0xB003), "", "10.2.0.151"));
    Drain(m_ECM);
    m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
    EXPECT_LE(nRunning, nMost);
    EXPECT_EQ(2 * kPlaces + kOwn, stalled());
    EXPECT_EQ(0, CFakeNetwork::RequestCount(Mac(0xB003), "GetListInfo"));
}

// Forty devices that answer at once run their list information at once,
// not in waves.
TEST_F(ECMReplies, FortyDevicesAnsweringAtOnceRunTheirCommandsAtOnce)
{
    CWatchdog watchdog(60, "ECMReplies");
    const int kDevices = 40;
    for (int i = 0; i < kDevices; ++i) {
        CFakeNetwork::SetAnswer(Mac(0xC000 + i), "GetListInfo", EFakeAnswer::Block);
        ASSERT_TRUE(CFakeNetwork::Reply(Mac(0xC000 + i), "", "10.8.3." + std::to_string(10 + i)));
    }
    auto asked = [&]() {
        int nAsked = 0;
        for (int i = 0; i < kDevices; ++i)
            nAsked += CFakeNetwork::RequestCount(Mac(0xC000 + i), "GetListInfo");
        return nAsked;
    };
    ASSERT_TRUE(Eventually([&]() { return asked() == kDevices; })) << asked() << " of " << kDevices << " at once";
}

// A command end that the dispatch queue refuses is judged lost at once and
// its place freed: the chain does not wait for an end that never comes.
TEST_F(ECMReplies, ARefusedCommandEndIsJudgedLostAndFreesItsPlace)
{
    CWatchdog watchdog(60, "ECMReplies");
    const std::string strMAC = Mac(0xD000);
    CFakeNetwork::SetAnswer(strMAC, "GetListInfo", EFakeAnswer::Hold);
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", "10.8.4.1"));
    ASSERT_TRUE(Eventually([&]() { return CFakeNetwork::RequestCount(strMAC, "GetListInfo") == 1; }));
    int nRunning = 0, nWaiting = 0;
    m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
    ASSERT_EQ(1, nRunning);
    {
        CDispatchHold hold(m_ECM);
        CRefusingQueue full(m_ECM);
        CFakeNetwork::SetAnswer(strMAC, "GetListInfo", EFakeAnswer::Success);
        SVLECMMACState state;
        ASSERT_TRUE(Eventually([&]() {
            return m_ECM.GetMACState(strMAC.c_str(), state) && state.eVerdict != VLECM_MAC_PENDING;
        }));
        EXPECT_EQ(VLECM_MAC_FAILURE_LOST, state.addresses[0].eFailure);
        EXPECT_EQ(VLECM_COMMAND_GET_LIST_INFO, state.addresses[0].eCommand);
        m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
        EXPECT_EQ(0, nRunning);
        EXPECT_EQ(0, m_ECM.GetPendingMACCount());
    }
    Drain(m_ECM);
    EXPECT_EQ(0u, m_Client.Count("probe"));
}

// A simulated device with the MAC of a real device whose chain is under
// way: one hand-on for the MAC, whichever comes first.
TEST_F(ECMReplies, ASimulatedAndARealDeviceOfOneMACAreHandedOnOnce)
{
    CWatchdog watchdog(60, "ECMReplies");
    const std::string strMAC = Mac(0xD100);
    CFakeNetwork::SetAnswer(strMAC, "GetListInfo", EFakeAnswer::Hold);
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", "10.8.4.2"));
    ASSERT_TRUE(Eventually([&]() { return CFakeNetwork::RequestCount(strMAC, "GetListInfo") == 1; }));
    CVLECMNIFInfo simulated;
    simulated.SetMACAddress(strMAC.c_str());
    simulated.SetDummy(true);
    m_ECM.GetProbeInstance().OnDummyProbe(nullptr, simulated, VLECM_CONNECT_TYPE_NETWORK);
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    CFakeNetwork::SetAnswer(strMAC, "GetListInfo", EFakeAnswer::Success);
    SVLECMMACState state;
    ASSERT_TRUE(WaitJudged(m_ECM, strMAC.c_str(), state));
    Drain(m_ECM);
    EXPECT_EQ(VLECM_MAC_ADDRESS_PASSED, state.addresses[0].eState);
    EXPECT_EQ(1u, m_Client.Count("probe"));
    CVLECMNIFInfo* pListed = m_ECM.FindNIFInfo(strMAC.c_str());
    ASSERT_NE(nullptr, pListed);
    EXPECT_TRUE(pListed->IsDummy());
    EXPECT_EQ(1, m_ECM.GetNIFInfoList()->GetCount());
}

// RemoveAllNIFInfo after a stop clears the table, the filter's counts and
// the hand-on queue together, and keeps the stop: nothing is admitted.
TEST_F(ECMReplies, RemovingAllDevicesAfterAStopKeepsTheStop)
{
    CWatchdog watchdog(60, "ECMReplies");
    CVLECMProbeInstance& probe = m_ECM.GetProbeInstance();
    probe.GetReplyFilter().SetDeviceBound(1);
    ASSERT_TRUE(CFakeNetwork::Reply(Mac(0xD200), "", "10.8.4.3"));
    ASSERT_TRUE(CFakeNetwork::Reply(Mac(0xD201), "", "10.8.4.4"));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    ASSERT_EQ(1u, m_ECM.GetBoundReports(8).size());
    m_ECM.StopProbe();
    // A reply heard after the stop is not admitted: nothing waits for it.
    EXPECT_FALSE(probe.GetReplyFilter().Admit(Text(Mac(0xD202)), Text("10.9.4.5"), 1));
    EXPECT_EQ(0, m_ECM.GetWaitingReplyCount());
    m_ECM.RemoveAllNIFInfo();
    EXPECT_TRUE(m_ECM.GetBoundReports(8).empty());
    EXPECT_EQ(nullptr, m_ECM.FindNIFInfo(Mac(0xD200).c_str()));
    SVLECMMACSummary summary;
    EXPECT_FALSE(m_ECM.GetMACSummary(Mac(0xD200).c_str(), summary));
    EXPECT_FALSE(probe.GetReplyFilter().Admit(Text(Mac(0xD203)), Text("10.9.4.6"), 1));
    EXPECT_FALSE(m_ECM.GetMACSummary(Mac(0xD203).c_str(), summary));
    EXPECT_EQ(0, m_ECM.GetWaitingReplyCount());
    EXPECT_EQ(0, m_ECM.GetPendingMACCount());
}

// A second probe on one device manager starts afresh: no place, check or
// pending MAC of the first is counted, and its network's devices run at once.
TEST_F(ECMReplies, ASecondProbeStartsWithEveryPlaceFree)
{
    CWatchdog watchdog(60, "ECMReplies");
    CVLECMProbeInstance& probe = m_ECM.GetProbeInstance();
    const int kPlaces = CVLECMProbeInstance::MAX_PLACES_PER_NETWORK;
    for (int i = 0; i < kPlaces + 2; ++i) {
        CFakeNetwork::SetAnswer(Mac(0xD300 + i), "GetListInfo", EFakeAnswer::Hold);
        ASSERT_TRUE(CFakeNetwork::Reply(Mac(0xD300 + i), "", "10.8.5." + std::to_string(10 + i)));
    }
    int nRunning = 0, nWaiting = 0;
    ASSERT_TRUE(Eventually([&]() {
        probe.GetChainCounts(nRunning, nWaiting);
        return nRunning == kPlaces && nWaiting == 2;
    }));
    CVLECMPropertyMap options;
    options[Text("Option.Probe.SkipGetSupportInformation")] = Text("true");
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    probe.GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(0, nRunning + nWaiting + probe.GetCheckingChainCount());
    EXPECT_EQ(0, m_ECM.GetPendingMACCount());
    EXPECT_EQ(0, m_ECM.GetWaitingReplyCount());
    EXPECT_EQ(0, probe.GetMACTable().GetRunningCount(Text("")));
    for (int i = 0; i < kPlaces; ++i) {
        CFakeNetwork::SetAnswer(Mac(0xD400 + i), "GetListInfo", EFakeAnswer::Hold);
        ASSERT_TRUE(CFakeNetwork::Reply(Mac(0xD400 + i), "", "10.8.5." + std::to_string(10 + i)));
    }
    ASSERT_TRUE(Eventually([&]() {
        int nAsked = 0;
        for (int i = 0; i < kPlaces; ++i)
            nAsked += CFakeNetwork::RequestCount(Mac(0xD400 + i), "GetListInfo");
        return nAsked == kPlaces;
    }));
}

// 70 hosts claim a device's MAC before it answers: the address the user
// named is checked beyond the 64 kept, and the device is handed on.
TEST_F(ECMReplies, TheNamedAddressIsCheckedBeyondTheAddressesKept)
{
    CWatchdog watchdog(60, "ECMReplies");
    const std::string strNamed = "10.8.3.250";
    m_ECM.SetNamedAddress(strNamed.c_str());
    const std::string strMAC = Mac(0xB100);
    const int kClaims = 70;
    for (int i = 0; i < kClaims; ++i) {
        CFakeNetwork::SetAnswerAt(strMAC, Address(2000 + i), "CheckUnicast", EFakeAnswer::Block);
        ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", Address(2000 + i)));
    }
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", strNamed));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    CVLECMNIFInfo* pDevice = m_ECM.FindNIFInfo(strMAC.c_str());
    ASSERT_NE(nullptr, pDevice);
    CVLProperty* pAddress = pDevice->GetProperties()->GetProperty("IPAddress", false);
    EXPECT_EQ(strNamed, pAddress != nullptr ? Std(pAddress->ToString("")) : "");
    SVLECMMACSummary summary;
    ASSERT_TRUE(m_ECM.GetMACSummary(strMAC.c_str(), summary));
    EXPECT_EQ(static_cast<unsigned long>(CVLECMMACTable::MAX_ADDRESSES_PER_MAC + 1), summary.nKept);
    EXPECT_EQ(static_cast<unsigned long>(kClaims - CVLECMMACTable::MAX_ADDRESSES_PER_MAC), summary.nBeyond);
    EXPECT_EQ(strNamed, Std(summary.strReportedAddress));
}

// A device that answered after a claimant is refreshed when its reply
// changes (as ProbeAgain makes it answer again), as the first one is.
TEST_F(ECMReplies, AChangedReplyRefreshesAnAddressThatAnsweredSecond)
{
    CWatchdog watchdog(60, "ECMReplies");
    const std::string strMAC = Mac(0xB200);
    const std::string strClaimant = "10.8.4.1", strDevice = "10.8.4.2";
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "Model A", strClaimant));
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "Model A", strDevice));
    SVLECMMACState state;
    ASSERT_TRUE(WaitJudged(m_ECM, strMAC.c_str(), state));
    Drain(m_ECM);
    auto model = [&](const std::string& strFrom) {
        CVLECMNIFInfo* pRecord = ProbeRecord(m_ECM, strMAC, strFrom);
        CVLProperty* pModel = pRecord != nullptr ? pRecord->GetProperties()->GetProperty("ModelName", false) : nullptr;
        return pModel != nullptr ? Std(pModel->ToString("")) : "none";
    };
    ASSERT_EQ("Model A", model(strDevice));
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "Model B", strDevice));
    Drain(m_ECM);
    EXPECT_EQ("Model B", model(strDevice));
    EXPECT_EQ("Model A", model(strClaimant));
    // Heard once, checked once.
    EXPECT_EQ(1, CFakeNetwork::RequestCountAt(strMAC, strDevice, "CheckUnicast"));
}

// Two addresses that did not answer unicast, the filter off: nothing tells
// which is the device, and no chain succeeded: a conflict, handed to nobody.
TEST_F(ECMReplies, TwoAddressesWithoutUnicastAreAConflictHandedToNobody)
{
    CWatchdog watchdog(60, "ECMReplies");
    const std::string strMAC = Mac(0xB300);
    for (const char* szFrom : {"10.8.5.1", "10.8.5.2"}) {
        CFakeNetwork::SetAnswerAt(strMAC, szFrom, "CheckUnicast", EFakeAnswer::DeviceError);
        ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", szFrom));
    }
    SVLECMMACState state;
    ASSERT_TRUE(WaitJudged(m_ECM, strMAC.c_str(), state));
    Drain(m_ECM);
    EXPECT_EQ(VLECM_MAC_CONFLICT, state.eVerdict);
    EXPECT_EQ(0u, m_Client.Count("probe"));
    EXPECT_EQ(nullptr, m_ECM.FindNIFInfo(strMAC.c_str()));
    bool bMore = false;
    ASSERT_EQ(1u, m_ECM.GetConflictReports(8, bMore).size());
}

// Replies queued or held for their turn when the probe stops are judged
// lost: delivered after the stop, none makes a record pending again or
// starts a check.
TEST_F(ECMReplies, RepliesDroppedAtTheStopLeaveNoAddressPending)
{
    CWatchdog watchdog(60, "ECMReplies");
    const int kReplies = CVLECMHandOnQueue::MAX_HANDED_ON + 8;
    {
        CDispatchHold hold(m_ECM);
        for (int i = 0; i < kReplies; ++i)
            ASSERT_TRUE(CFakeNetwork::Reply(Mac(0xB400 + i), "", Address(3000 + i)));
        EXPECT_EQ(kReplies, m_ECM.GetPendingMACCount());
        m_ECM.StopProbe();
        EXPECT_EQ(0, m_ECM.GetPendingMACCount());
    }
    Drain(m_ECM);
    EXPECT_EQ(0, m_ECM.GetPendingMACCount());
    for (int i = 0; i < kReplies; ++i) {
        SVLECMMACState state;
        ASSERT_TRUE(m_ECM.GetMACState(Mac(0xB400 + i).c_str(), state));
        ASSERT_EQ(1u, state.addresses.size());
        EXPECT_EQ(VLECM_MAC_FAILURE_LOST, state.addresses[0].eFailure) << i;
        EXPECT_EQ(0, CFakeNetwork::RequestCount(Mac(0xB400 + i), "CheckUnicast")) << i;
    }
}

namespace {
// Records whose unicast check cannot start at one address.
class CUncheckableRecord : public CVLECMNIFInfo
{
public:
    VLECM_RESULT StartChainCommand(VLECM_COMMAND eCommand, VLECM_CONNECT_TYPE eConnectType,
                                   const CVLECMSharedOptions& pOptions, IVLECMCallbackIF* pCallbackIF) override
    {
        CVLProperty* pAddress = GetProperties()->GetProperty("IPAddress", false);
        if (eCommand == VLECM_COMMAND_CHECK_UNICAST && pAddress != nullptr &&
            Std(pAddress->ToString("")) == kUncheckable)
            return VLECM_RESULT_FAILED;
        return CVLECMNIFInfo::StartChainCommand(eCommand, eConnectType, pOptions, pCallbackIF);
    }
    static constexpr const char* kUncheckable = "10.8.6.1";
};

class CUncheckableFactory : public IVLECMNIFInfoFactoryIF
{
public:
    CVLTarget* CreateNIFInfo(CVLECM*, CVLCMApi*) override { return new CUncheckableRecord; }
    void DestroyNIFInfo(CVLECM*, CVLCMApi*, CVLTarget* pTarget) override { delete pTarget; }
};
}  // namespace

// An address whose check cannot start is judged so; the address that
// passed beside it is handed on, once.
TEST_F(ECMReplies, AnAddressThatPassedIsHandedOnWhileAnotherCannotBeChecked)
{
    CWatchdog watchdog(60, "ECMReplies");
    static CUncheckableFactory factory;
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Initialize(&m_Client, &factory, nullptr, nullptr));
    CVLECMPropertyMap options;
    options[Text("Option.Probe.SkipGetSupportInformation")] = Text("true");
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    const std::string strMAC = Mac(0xB500);
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", CUncheckableRecord::kUncheckable));
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", "10.8.6.2"));
    SVLECMMACState state;
    ASSERT_TRUE(WaitJudged(m_ECM, strMAC.c_str(), state));
    Drain(m_ECM);
    EXPECT_EQ(VLECM_MAC_ONE, state.eVerdict);
    ASSERT_EQ(2u, state.addresses.size());
    EXPECT_EQ(VLECM_MAC_FAILURE_CHECK, state.addresses[0].eFailure);
    EXPECT_TRUE(state.addresses[1].bReported);
    EXPECT_EQ(1u, m_Client.Count("probe"));
    EXPECT_EQ(0, m_ECM.GetPendingMACCount());
}

// A check under way at the stop, answered after it, starts nothing: the
// address is judged by its answer, its device listed (FindNIFInfo finds it)
// and not reported; then nothing is pending.
TEST_F(ECMReplies, ACheckAnsweredAfterTheStopListsItsDeviceAndStartsNoCommand)
{
    CWatchdog watchdog(60, "ECMReplies");
    const std::string strMAC = Mac(0xB600), strFrom = "10.8.7.1";
    CFakeNetwork::SetAnswerAt(strMAC, strFrom, "CheckUnicast", EFakeAnswer::Block);
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", strFrom));
    ASSERT_TRUE(Eventually([&]() { return CFakeNetwork::RequestCountAt(strMAC, strFrom, "CheckUnicast") == 1; }));
    m_ECM.StopProbe();
    EXPECT_EQ(1, m_ECM.GetPendingMACCount());
    EXPECT_EQ(nullptr, m_ECM.FindNIFInfo(strMAC.c_str()));
    CFakeNetwork::SetAnswerAt(strMAC, strFrom, "CheckUnicast", EFakeAnswer::Success);
    SVLECMMACState state;
    ASSERT_TRUE(WaitJudged(m_ECM, strMAC.c_str(), state));
    Drain(m_ECM);
    EXPECT_EQ(0, CFakeNetwork::RequestCountAt(strMAC, strFrom, "GetListInfo"));
    ASSERT_TRUE(m_ECM.GetMACState(strMAC.c_str(), state));
    EXPECT_EQ(VLECM_MAC_ADDRESS_PASSED, state.addresses[0].eState);
    EXPECT_EQ(0, m_ECM.GetPendingMACCount());
    EXPECT_NE(nullptr, m_ECM.FindNIFInfo(strMAC.c_str()));
    EXPECT_EQ(0u, m_Client.Count("probe"));
}

// Forged replies from the named address fill its source's bound before the
// device answers: the named address is asked once, by a unicast probe of
// it, which MAC answers there, and that MAC is admitted from it and handed
// on. A stop ends an ask that waits for its answer.
TEST_F(ECMReplies, TheNamedAddresssOwnAnswerAdmitsItsDeviceBeyondForgedMACs)
{
    CWatchdog watchdog(60, "ECMReplies");
    const std::string strNamed = "10.8.5.20", strDevice = Mac(0xB300);
    m_ECM.SetNamedAddress(strNamed.c_str());
    CFakeNetwork::SetAnswerMAC(strNamed, strDevice);
    for (int i = 1; i <= 64; ++i) {
        CFakeNetwork::SetAnswerAt(Mac(0xB300 + i), strNamed, "CheckUnicast", EFakeAnswer::Block);
        ASSERT_TRUE(CFakeNetwork::Reply(Mac(0xB300 + i), "", strNamed));
    }
    SVLECMMACSummary summary;
    ASSERT_TRUE(Eventually([&]() {
        // The device answers each probe send until its answer is admitted.
        CFakeNetwork::Reply(strDevice, "", strNamed);
        return m_ECM.GetMACSummary(strDevice.c_str(), summary) && summary.nKept == 1;
    }));
    EXPECT_EQ(1, CFakeNetwork::RequestCountAt("", strNamed, "Probe"));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    EXPECT_NE(nullptr, m_ECM.FindNIFInfo(strDevice.c_str()));
    EXPECT_EQ(nullptr, m_ECM.FindNIFInfo(Mac(0xB301).c_str()));
    // A new probe asks again; its stop ends the ask that waits.
    CFakeNetwork::SetAnswer("", "Probe", EFakeAnswer::Block);
    CVLECMPropertyMap options;
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    for (int i = 1; i <= 5; ++i)
        ASSERT_TRUE(CFakeNetwork::Reply(Mac(0xB300 + i), "", strNamed));
    ASSERT_TRUE(Eventually([&]() { return CFakeNetwork::RequestCountAt("", strNamed, "Probe") == 2; }));
    m_ECM.StopProbe();
    EXPECT_FALSE(m_ECM.GetMACSummary(strDevice.c_str(), summary) && summary.nKept > 0);
}
