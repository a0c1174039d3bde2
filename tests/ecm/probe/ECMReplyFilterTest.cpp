// What a probe admits of the replies it hears (repeats, impostors, invented
// devices) and how its follow-up chains take their places.
#include <gtest/gtest.h>

#include <algorithm>
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
#include "ecm/record/VLECMNIFInfo.h"
#include "ecm/probe/VLECMHandOnQueue.h"
#include "ecm/probe/VLECMLocalNetworks.h"
#include "ecm/probe/VLECMNIFInfoList.h"
#include "ecm/probe/VLECMReplyFilter.h"
#include "tests/support/ecm/FakeNetwork.h"
#include "tests/support/ecm/ECMTestClient.h"
#include "tests/support/Watchdog.h"

namespace {
CVLString Text(const std::string& str)
{
    return CVLString(str.c_str(), 72);
}

std::string Mac(int n)
{
    char sz[16];
    snprintf(sz, sizeof(sz), "0026AB%06X", n);
    return sz;
}

std::string Address(int n)
{
    return "10.9." + std::to_string(n / 250) + "." + std::to_string(1 + n % 250);
}

std::string Std(const CVLString& str)
{
    return str.GetBuffer() != nullptr ? str.GetBuffer() : "";
}

// Two local networks, 10.1.0.0/24 and 10.2.0.0/24.
std::vector<VLInterfaceAddress> TwoNetworks()
{
    std::vector<VLInterfaceAddress> addresses(2);
    for (int i = 0; i < 2; ++i) {
        VLInterfaceAddress& a = addresses[static_cast<size_t>(i)];
        a.strName = a.strInterface = "vl" + std::to_string(i + 1);
        const unsigned char address[4] = {10, static_cast<unsigned char>(i + 1), 0, 1};
        const unsigned char mask[4] = {255, 255, 255, 0};
        std::copy(address, address + 4, a.address);
        std::copy(mask, mask + 4, a.netmask);
        a.bUp = true;
        a.bLoopback = false;
        a.bFirstOfInterface = true;
        a.nFlags = 0;
    }
    return addresses;
}

// The two networks as a probe hands them, with the sockets that receive
// from one of them each (by module instance path and directed broadcast).
std::shared_ptr<const CVLECMLocalNetworks>
Networks(const std::map<CVLString, CVLString>& receivers = std::map<CVLString, CVLString>())
{
    return std::make_shared<const CVLECMLocalNetworks>(TwoNetworks(), receivers);
}

// Holds the dispatch thread in a callback until released, so that replies
// wait in the queue; fnOnRelease, when given, then runs on that thread
// before anything queued after the hold.
class CDispatchHold
{
public:
    explicit CDispatchHold(CVLECM& ecm, std::function<void()> fnOnRelease = nullptr)
        : m_fnOnRelease(std::move(fnOnRelease))
    {
        ecm.GetApi()->PostCallbackUser(
            nullptr, nullptr,
            [](long, void* p, CVLCallbackInfo*) {
                CDispatchHold* pHold = static_cast<CDispatchHold*>(p);
                std::unique_lock<std::mutex> lock(pHold->m_Mutex);
                pHold->m_bHeld = true;
                pHold->m_Cond.notify_all();
                pHold->m_Cond.wait(lock, [pHold]() { return pHold->m_bReleased; });
                if (pHold->m_fnOnRelease)
                    pHold->m_fnOnRelease();
                // The hold may go once it sees this: nothing here reads it after.
                pHold->m_bLeft = true;
                pHold->m_Cond.notify_all();
            },
            0, this, nullptr);
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Cond.wait(lock, [this]() { return m_bHeld; });
    }
    // Waits for the callback to leave: a woken wait reads the hold again.
    ~CDispatchHold()
    {
        Release();
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Cond.wait(lock, [this]() { return m_bLeft; });
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bReleased = true;
        m_Cond.notify_all();
    }

private:
    std::function<void()> m_fnOnRelease;
    std::mutex m_Mutex;
    std::condition_variable m_Cond;
    bool m_bHeld = false;
    bool m_bReleased = false;
    bool m_bLeft = false;
};

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

// Waits until the condition holds (the watchdog ends a test that waits in vain).
template <typename TCondition>
bool Eventually(TCondition condition)
{
    for (int i = 0; i < 4000 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return condition();
}

std::string ModelOf(CVLECM& ecm, const std::string& strMac)
{
    CVLECMNIFInfo* pNIFInfo = ecm.FindNIFInfo(strMac.c_str());
    CVLProperty* pModel = pNIFInfo != nullptr ? pNIFInfo->GetProperties()->GetProperty("ModelName", false) : nullptr;
    return pModel != nullptr ? Std(pModel->ToString("")) : "none";
}

class ECMReplies : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Initialize(&m_Client, nullptr, nullptr, nullptr));
        CVLECMPropertyMap options;
        options[Text("Option.Probe.SkipGetSupportInformation")] = Text("true");
        // A check that gets no answer waits as long as a test needs.
        options[Text("Option.CheckUnicast.Timeout")] = Text("3600000");
        ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    }
    void TearDown() override { m_ECM.Terminate(); }

    CFakeNetwork m_Network;
    CRecordingClient m_Client;
    CVLECM m_ECM;
};
}  // namespace

TEST(ECMReplyFilter, RepeatsImpostorsAndInventedDevices)
{
    CVLECMHandOnQueue records;
    CVLECMReplyFilter filter(records);
    // A new device, then its repeats: dropped while queued, and once
    // delivered as long as the data stays the same.
    EXPECT_TRUE(filter.Admit(Text("0026AB000001"), Text("10.0.0.5"), 1));
    EXPECT_FALSE(filter.Admit(Text("0026AB000001"), Text("10.0.0.5"), 2));
    records.Delivered(Text("0026AB000001"));
    EXPECT_FALSE(filter.Admit(Text("0026AB000001"), Text("10.0.0.5"), 1));
    EXPECT_TRUE(filter.Admit(Text("0026AB000001"), Text("10.0.0.5"), 2));
    records.Delivered(Text("0026AB000001"));
    // Its MAC from other addresses: the first address stays the device's;
    // each other one is admitted once as a claim, up to the addresses told
    // apart, and beyond them it is only known that there were more.
    const CVLString strMAC = Text("0026AB000001");
    CVLString strKey;
    EXPECT_TRUE(filter.Admit(strMAC, Text("10.0.0.66"), 3, nullptr, CVLString(), &strKey));
    EXPECT_EQ("0026AB000001@10.0.0.66", Std(strKey));
    EXPECT_FALSE(filter.Admit(strMAC, Text("10.0.0.66"), 4));
    const int kLast = 66 + CVLECMReplyFilter::MAX_ADDRESSES_PER_MAC - 2;
    for (int i = 67; i <= kLast + 1; ++i)
        EXPECT_EQ(i <= kLast, filter.Admit(strMAC, Text("10.0.0." + std::to_string(i)), 3)) << i;
    EXPECT_EQ("0026AB000001@10.0.0.67", Std(filter.GetRecordKey(strMAC, Text("10.0.0.67"))));
    EXPECT_EQ("0026AB000001", Std(filter.GetRecordKey(strMAC, Text("10.0.0.5"))));
    EXPECT_EQ("0026AB000001", Std(filter.GetRecordKey(strMAC, Text("10.0.0." + std::to_string(kLast + 1)))));
    EXPECT_EQ(static_cast<size_t>(CVLECMReplyFilter::MAX_ADDRESSES_PER_MAC - 1),
              filter.GetOtherAddresses(strMAC).size());
    EXPECT_EQ(2, filter.GetAddressOrder(strMAC, Text("10.0.0.67")));
    bool bMore = false;
    EXPECT_TRUE(filter.GetUncheckedAddresses(strMAC, bMore).empty());
    EXPECT_TRUE(bMore);
    EXPECT_EQ("10.0.0.66", Std(filter.GetConflictAddress(Text("00:26:ab:00:00:01"))));
    EXPECT_EQ("10.0.0.5", Std(filter.GetFirstAddress(Text("0026AB000001"))));
    EXPECT_EQ("", Std(filter.GetConflictAddress(Text("0026AB000002"))));
    // One source brings a few MAC addresses, no more: a claim counts as one,
    // and the claim it refuses is kept, never checked.
    for (int i = 0; i < CVLECMReplyFilter::MAX_MACS_PER_SOURCE; ++i)
        EXPECT_TRUE(filter.Admit(Text(Mac(100 + i)), Text("10.0.0.9"), 1)) << i;
    EXPECT_FALSE(filter.Admit(Text(Mac(200)), Text("10.0.0.9"), 1));
    EXPECT_TRUE(filter.Admit(Text(Mac(300)), Text("10.0.0.3"), 1));
    EXPECT_FALSE(filter.Admit(Text(Mac(300)), Text("10.0.0.9"), 1));
    std::vector<CVLECMReplyFilter::SUnchecked> unchecked = filter.GetUncheckedAddresses(Text(Mac(300)), bMore);
    ASSERT_EQ(1u, unchecked.size());
    EXPECT_EQ("10.0.0.9", Std(unchecked[0].strAddress));
    EXPECT_EQ(VLECM_BOUND_SOURCE, unchecked[0].eBound);
    EXPECT_EQ(Mac(300), Std(filter.FindUncheckedMAC(Text("10.0.0.9"))));
    // The probe holds a bounded number of devices, whatever their sources.
    for (int i = 0; i < CVLECMReplyFilter::MAX_DEVICES; ++i) {
        filter.Admit(Text(Mac(1000 + i)), Text(Address(i)), 1);
        records.Delivered(Text(Mac(1000 + i)));
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
    EXPECT_TRUE(filter.Admit(Text(Mac(5000)), Text("10.0.0.9"), 1));
    EXPECT_EQ("", Std(filter.GetConflictAddress(Text("0026AB000001"))));
}

TEST(ECMReplyFilter, ErrorRepliesAreRefusedAndEachNetworkHasItsOwnBound)
{
    CVLECMHandOnQueue records;
    CVLECMReplyFilter filter(records);
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
        records.Delivered(Text(Mac(i)));
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
    CVLECMHandOnQueue records;
    CVLECMReplyFilter filter(records);
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
    filter.SetLocalNetworks(Networks());
    for (int i = 0; i <= 254; ++i)
        EXPECT_EQ(i < 254, filter.Admit(Text(Mac(i)), Text("10.1.0." + std::to_string(1 + i % 254)), 1)) << i;
    reports = filter.GetBoundReports();
    ASSERT_EQ(1u, reports.size());
    EXPECT_TRUE(reports[0].bMayBeForged);
}

TEST(ECMReplyFilter, ANetworksFloodWaitsItsTurn)
{
    CVLECMHandOnQueue records;
    CVLECMReplyFilter filter(records);
    filter.SetLocalNetworks(Networks());
    std::vector<std::unique_ptr<CVLTarget>> copies;
    std::map<CVLTarget*, int> devices;
    std::deque<int> queued;
    std::vector<int> order;
    // A reply of device i: admitted, copied and its record offered.
    auto reply = [&](int i, const std::string& strFrom, size_t nData = 1) {
        if (!filter.Admit(Text(Mac(i)), Text(strFrom), nData))
            return false;
        copies.emplace_back(new CVLTarget());
        devices[copies.back().get()] = i;
        records.Copied(Text(Mac(i)), copies.back().get());
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
            records.Delivered(Text(Mac(i)));
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
        queue.Admitted(Text(Mac(i)), Text("10.1.0.0/24"));
        copies.emplace_back(new CVLTarget());
        queue.Copied(Text(Mac(i)), copies.back().get());
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
    queue.Delivered(Text(Mac(0)));
    EXPECT_EQ(CVLECMHandOnQueue::HOLD_KEPT, offer(101));
    std::unique_ptr<CVLCallbackInfo> pNext(queue.NextToHandOn());
    EXPECT_EQ(pWaiting, pNext.get());
    EXPECT_EQ(nullptr, queue.NextToHandOn());
    int nHeld = 0, nHandedOn = 0;
    queue.GetCounts(nHeld, nHandedOn);
    EXPECT_EQ(1, nHeld);
}

// Only a record that went to the dispatch queue frees a place there when
// its device leaves; after a stop, no record is held.
TEST(ECMReplyFilter, OnlyARecordHandedOnFreesItsPlace)
{
    CVLECMHandOnQueue records;
    CVLECMReplyFilter filter(records);
    std::vector<std::unique_ptr<CVLTarget>> copies;
    // A reply of device i admitted and copied, and its record offered.
    auto offer = [&](int i) {
        EXPECT_TRUE(filter.Admit(Text(Mac(i)), Text(Address(i)), 1)) << i;
        copies.emplace_back(new CVLTarget());
        records.Copied(Text(Mac(i)), copies.back().get());
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
    records.NotCopied(Text(Mac(101)));
    EXPECT_TRUE(filter.Admit(Text(Mac(102)), Text(Address(102)), 1));
    CVLTarget listed;
    records.Copied(Text(Mac(102)), &listed);
    records.Delivered(Text(Mac(102)));
    int nHeld = 0, nHandedOn = 0;
    records.GetCounts(nHeld, nHandedOn);
    EXPECT_EQ(CVLECMHandOnQueue::MAX_HANDED_ON, nHandedOn);
    EXPECT_EQ(1, nHeld);
    EXPECT_EQ(nullptr, records.NextToHandOn());
    // A record handed on is delivered: the one held goes on.
    records.Delivered(Text(Mac(0)));
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
    CVLECMHandOnQueue records;
    CVLECMReplyFilter filter(records);
    filter.SetLocalNetworks(Networks());
    for (int i = 0; i < CVLECMReplyFilter::MAX_DEVICES; ++i)
        ASSERT_TRUE(filter.Admit(Text(Mac(i)), Text("10.1.0." + std::to_string(1 + i / 4)), 7)) << i;
    CVLTarget copy;
    records.Copied(Text(Mac(0)), &copy);
    EXPECT_TRUE(records.QueueRefused(&copy));
    EXPECT_TRUE(filter.Admit(Text(Mac(0)), Text("10.1.0.1"), 7));
    EXPECT_TRUE(filter.GetBoundReports().empty());
}

// A delivered device whose changed record was refused, or never copied, is
// heard again with that change; once it is delivered, its repeats are not.
TEST(ECMReplyFilter, ADeviceWhoseChangedRecordWasRefusedIsHeardAgain)
{
    CVLECMHandOnQueue records;
    CVLECMReplyFilter filter(records);
    ASSERT_TRUE(filter.Admit(Text(Mac(0)), Text("10.0.0.5"), 1));
    records.Delivered(Text(Mac(0)));
    ASSERT_TRUE(filter.Admit(Text(Mac(0)), Text("10.0.0.5"), 2));
    CVLTarget copy;
    records.Copied(Text(Mac(0)), &copy);
    EXPECT_TRUE(records.QueueRefused(&copy));
    ASSERT_TRUE(filter.Admit(Text(Mac(0)), Text("10.0.0.5"), 2));
    records.NotCopied(Text(Mac(0)));
    ASSERT_TRUE(filter.Admit(Text(Mac(0)), Text("10.0.0.5"), 2));
    records.Delivered(Text(Mac(0)));
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
        // The queue counts the copies its records keep in the device list.
        size_t nCopies = 0;
        CVLTargetList* pList = m_ECM.GetNIFInfoList();
        pList->Lock();
        for (CVLTargetIterator it = pList->Begin(); !it.IsEnd(); it.Next())
            nCopies += it.Get()->GetFootprint();
        pList->Unlock();
        EXPECT_GT(nCopies, kDevices * sizeof(CVLTarget));
        EXPECT_GE(nBytes, nCopies);
        // Whatever the devices send while their records wait costs nothing more.
        for (int j = 0; j < 20; ++j) {
            for (int i = 0; i < kDevices; ++i)
                ASSERT_TRUE(CFakeNetwork::Reply(Mac(i), "change " + std::to_string(j), Address(i)));
        }
        EXPECT_EQ(nBytes, pController->GetQueuedCallbackBytes());
        EXPECT_EQ(kDevices, m_ECM.GetNIFInfoList()->GetCount());
    }
    Drain(m_ECM);
    // Each record ended with its device's latest data.
    for (int i = 0; i < kDevices; ++i)
        EXPECT_EQ("change 19", ModelOf(m_ECM, Mac(i))) << i;
    // Once delivered, a device is heard again at once.
    ASSERT_TRUE(CFakeNetwork::Reply(Mac(0), "later", Address(0)));
    Drain(m_ECM);
    EXPECT_EQ("later", ModelOf(m_ECM, Mac(0)));
}

// The option that lowers a network's device bound takes a whole number
// from 1 to 512 and nothing else: any other text refuses the probe before
// it sends, rather than give the default bound.
TEST_F(ECMReplies, ADeviceBoundThatIsNoWholeNumberFrom1To512RefusesTheProbe)
{
    CWatchdog watchdog(60, "ECMReplies");
    m_ECM.StopProbe();
    const int nStarts = CFakeNetwork::ProbeStarts();
    CVLECMPropertyMap options;
    for (const char* szBad : {"0", "-1", "513", "99999999999", "abc", "2abc", "0x3", "3.9", " 3"}) {
        int nBound = 0;
        EXPECT_FALSE(CVLECMReplyFilter::ParseDeviceBound(Text(szBad), nBound)) << szBad;
        options[Text(CVLECMReplyFilter::DEVICE_BOUND_OPTION)] = Text(szBad);
        EXPECT_EQ(VLECM_RESULT_PARAMETER_ERROR, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options)) << szBad;
    }
    EXPECT_EQ(nStarts, CFakeNetwork::ProbeStarts());
    // An empty value is no value: the default.
    for (const std::pair<const char*, int>& good :
         {std::make_pair("1", 1), std::make_pair("007", 7), std::make_pair("512", 512), std::make_pair("", 512)}) {
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
}

// With a merge condition a device's later reply is merged into its record
// itself: a refusal of that reply's record leaves the record in place.
TEST_F(ECMReplies, ARefusedReplyMergedIntoADeviceRecordLeavesTheRecord)
{
    CWatchdog watchdog(60, "ECMReplies");
    CVLModuleController* pController = m_ECM.GetApi()->GetModuleController();
    pController->GetMargeConditionList()->Add()->GetPath() = "MACAddress";
    ASSERT_TRUE(CFakeNetwork::Reply(Mac(0), "first", Address(0)));
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

// A device's reply merged into its record waits in the queue while the
// record is removed (as a client's OnProbe may): the device's next replies
// go to a record of their own, not into the removed one.
TEST_F(ECMReplies, ARemovedRecordTakesNoFurtherReplies)
{
    CWatchdog watchdog(60, "ECMReplies");
    m_ECM.GetApi()->GetModuleController()->GetMargeConditionList()->Add()->GetPath() = "MACAddress";
    ASSERT_TRUE(CFakeNetwork::Reply(Mac(0), "first", Address(0)));
    Drain(m_ECM);
    CVLECMNIFInfo* pRecord = m_ECM.FindNIFInfo(Mac(0).c_str());
    ASSERT_NE(nullptr, pRecord);
    {
        CDispatchHold hold(m_ECM, [&]() { m_ECM.RemoveNIFInfo(pRecord); });
        ASSERT_TRUE(CFakeNetwork::Reply(Mac(0), "second", Address(0)));
    }
    Drain(m_ECM);
    ASSERT_EQ(nullptr, m_ECM.FindNIFInfo(Mac(0).c_str()));
    for (const char* szData : {"third", "fourth"})
        ASSERT_TRUE(CFakeNetwork::Reply(Mac(0), szData, Address(0)));
    Drain(m_ECM);
    EXPECT_EQ("fourth", ModelOf(m_ECM, Mac(0)));
}

TEST_F(ECMReplies, DevicesThatAnswerTakeThePlacesAheadOfDeafOnesAndNetworksTakeTurns)
{
    CWatchdog watchdog(60, "ECMReplies");
    CVLECMProbeInstance& probe = m_ECM.GetProbeInstance();
    probe.SetLocalNetworks(Networks());
    // Devices that never answer unicast are found first; those that answer
    // then hold their places in their next command. Each is delivered
    // before the next answers, so that they are found in the order they
    // answered (the networks' turns on the way to the queue would put the
    // second network's first).
    const int kDeaf = CVLECMProbeInstance::MAX_RUNNING_CHAINS + 4;
    const int kFirst = kDeaf + CVLECMProbeInstance::MAX_RUNNING_CHAINS + 4;
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
    // go to the devices that did, in the order they answered.
    Drain(m_ECM);
    ASSERT_TRUE(Eventually([&]() {
        probe.GetChainCounts(nRunning, nWaiting);
        return nWaiting == kDevices - kDeaf - CVLECMProbeInstance::MAX_RUNNING_CHAINS;
    }));
    EXPECT_EQ(CVLECMProbeInstance::MAX_RUNNING_CHAINS, nRunning);
    EXPECT_EQ(kDeaf, probe.GetCheckingChainCount());
    for (int i = 0; i < kDevices; ++i) {
        EXPECT_EQ(1, asked(i, "CheckUnicast")) << i;
        EXPECT_EQ(i >= kDeaf && i < kDeaf + CVLECMProbeInstance::MAX_RUNNING_CHAINS ? 1 : 0, asked(i, "GetListInfo"))
            << i;
    }
    // Two places free up: one for each network, though the first network's
    // devices waited longer.
    m_ECM.RemoveNIFInfo(m_ECM.FindNIFInfo(Mac(kDeaf).c_str()));
    m_ECM.RemoveNIFInfo(m_ECM.FindNIFInfo(Mac(kDeaf + 1).c_str()));
    const int kNextOfFirst = kDeaf + CVLECMProbeInstance::MAX_RUNNING_CHAINS;
    ASSERT_TRUE(
        Eventually([&]() { return asked(kNextOfFirst, "GetListInfo") == 1 && asked(kFirst, "GetListInfo") == 1; }));
    EXPECT_EQ(0, asked(kNextOfFirst + 1, "GetListInfo"));
    EXPECT_EQ(0, asked(kFirst + 1, "GetListInfo"));
    probe.GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(CVLECMProbeInstance::MAX_RUNNING_CHAINS, nRunning);
    EXPECT_EQ(kDevices - kDeaf - CVLECMProbeInstance::MAX_RUNNING_CHAINS - 2, nWaiting);
}

TEST_F(ECMReplies, AStopEmptiesTheWaitingChains)
{
    CWatchdog watchdog(60, "ECMReplies");
    const int kDevices = CVLECMProbeInstance::MAX_RUNNING_CHAINS + 4;
    for (int i = 0; i < kDevices; ++i) {
        CFakeNetwork::SetAnswer(Mac(i), "GetListInfo", EFakeAnswer::Block);
        ASSERT_TRUE(CFakeNetwork::Reply(Mac(i), "", Address(i)));
    }
    int nRunning = 0, nWaiting = 0;
    ASSERT_TRUE(Eventually([&]() {
        m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
        return nWaiting == 4;
    }));
    m_ECM.StopProbe();
    m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(0, nWaiting);
    // A place that frees up goes to nobody.
    m_ECM.RemoveNIFInfo(m_ECM.FindNIFInfo(Mac(0).c_str()));
    m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(CVLECMProbeInstance::MAX_RUNNING_CHAINS - 1, nRunning);
    for (int i = CVLECMProbeInstance::MAX_RUNNING_CHAINS; i < kDevices; ++i)
        EXPECT_EQ(0, CFakeNetwork::RequestCount(Mac(i), "GetListInfo")) << i;
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
    EXPECT_EQ("10.0.0.66", Std(m_ECM.GetProbeInstance().GetConflictAddress(Mac(1).c_str())));
    EXPECT_EQ(1u, m_Client.Count("probe"));
    // Its claim is a record of its own, under its check, which the device
    // list does not hold: the client sees one device per MAC.
    EXPECT_EQ(1, m_ECM.GetNIFInfoList()->GetCount());
    std::vector<std::string> visited;
    m_ECM.VisitAddresses(Mac(1).c_str(), [&](const SVLECMAddress& address) {
        visited.push_back(Std(address.strAddress) + (address.bListed ? " listed" : "") +
                          (address.pNIFInfo != nullptr ? " record" : ""));
    });
    EXPECT_EQ(std::vector<std::string>({"10.0.0.5 listed record", "10.0.0.66 record"}), visited);
}

TEST_F(ECMReplies, RepeatsCostNoQueuedRecordAndChainsWaitTheirTurn)
{
    CWatchdog watchdog(60, "ECMReplies");
    const int kDevices = CVLECMProbeInstance::MAX_RUNNING_CHAINS + 4;
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
    EXPECT_EQ(kDevices, m_ECM.GetNIFInfoList()->GetCount());
    EXPECT_EQ(nDroppedBefore, pController->GetDroppedCallbackCount());
    int nRunning = 0, nWaiting = 0;
    ASSERT_TRUE(Eventually([&]() {
        m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
        return nWaiting == 4;
    }));
    EXPECT_EQ(CVLECMProbeInstance::MAX_RUNNING_CHAINS, nRunning);
    int nAsked = 0;
    for (int i = 0; i < kDevices; ++i)
        nAsked += CFakeNetwork::RequestCount(Mac(i), "GetListInfo");
    EXPECT_EQ(CVLECMProbeInstance::MAX_RUNNING_CHAINS, nAsked);
    // A device that goes away gives its place to the first waiting one.
    m_ECM.RemoveNIFInfo(m_ECM.FindNIFInfo(Mac(0).c_str()));
    ASSERT_TRUE(Eventually([&]() {
        return CFakeNetwork::RequestCount(Mac(CVLECMProbeInstance::MAX_RUNNING_CHAINS), "GetListInfo") == 1;
    }));
    m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(CVLECMProbeInstance::MAX_RUNNING_CHAINS, nRunning);
    EXPECT_EQ(3, nWaiting);
}

// A chain whose unicast check was answered waits on no time-out: however
// long its later commands take, it keeps its place.
TEST_F(ECMReplies, ChainsPastTheirUnicastCheckKeepTheirPlaces)
{
    CWatchdog watchdog(60, "ECMReplies");
    CVLECMProbeInstance& probe = m_ECM.GetProbeInstance();
    const int kPlaces = CVLECMProbeInstance::MAX_RUNNING_CHAINS;
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
// from, and how that address answers its unicast check: 'P' with the MAC
// (it passes), 'D' not at all (deaf: the check times out).
struct SClaimReply
{
    int nMAC;
    std::string strFrom;
    char cAnswer;
};

// A row: the replies in the order heard; whether they are heard while the
// dispatch queue is backed up (held, with MAX_HANDED_ON devices queued
// before them); the device bound of a network (0: the default); and per
// MAC, the addresses expected to pass their check (empty: the MAC is never
// reported), the addresses checked, and those never checked (a bound's, or
// more than are told apart: "more").
struct SClaimRow
{
    std::string strCase;
    std::vector<SClaimReply> replies;
    bool bBackedUp;
    int nDeviceBound;
    std::map<int, std::vector<std::string>> passed;
    std::map<int, std::vector<std::string>> checked;
    std::map<int, std::vector<std::string>> unchecked;
};

std::string ClaimMac(int nRow, int nMAC)
{
    return Mac(0x100 * (nRow + 1) + nMAC);
}

// N deaf hosts claim the device's MAC and answer before it.
SClaimRow DeafFirst(int nDeaf)
{
    SClaimRow row{std::to_string(nDeaf) + " deaf claimants before the device", {}, false, 0, {}, {}, {}};
    for (int i = 0; i < nDeaf; ++i) {
        row.replies.push_back({0, "10.1.0." + std::to_string(10 + i), 'D'});
        row.checked[0].push_back("10.1.0." + std::to_string(10 + i));
    }
    row.replies.push_back({0, "10.1.0.50", 'P'});
    row.checked[0].push_back("10.1.0.50");
    row.passed[0] = {"10.1.0.50"};
    return row;
}

std::vector<SClaimRow> ClaimRows()
{
    std::vector<SClaimRow> rows;
    for (int n = 1; n <= 6; ++n)
        rows.push_back(DeafFirst(n));
    rows.push_back({"AnImpostorWithDeafClaimants",
                    {{0, "10.1.0.10", 'D'}, {0, "10.1.0.11", 'D'}, {0, "10.1.0.12", 'P'}, {0, "10.1.0.50", 'P'}},
                    false,
                    0,
                    {{0, {"10.1.0.12", "10.1.0.50"}}},
                    {{0, {"10.1.0.10", "10.1.0.11", "10.1.0.12", "10.1.0.50"}}},
                    {}});
    rows.push_back({"TwoAddressesThatPass",
                    {{0, "10.1.0.10", 'P'}, {0, "10.1.0.11", 'P'}},
                    false,
                    0,
                    {{0, {"10.1.0.10", "10.1.0.11"}}},
                    {{0, {"10.1.0.10", "10.1.0.11"}}},
                    {}});
    rows.push_back({"AMACFromTwoInterfaces",
                    {{0, "10.1.0.10", 'P'}, {0, "10.2.0.10", 'P'}},
                    false,
                    0,
                    {{0, {"10.1.0.10", "10.2.0.10"}}},
                    {{0, {"10.1.0.10", "10.2.0.10"}}},
                    {}});
    // The device first, then more hosts claim its MAC than are told apart.
    SClaimRow flood{"AFloodOfClaims", {{0, "10.1.0.9", 'P'}}, false, 0, {{0, {"10.1.0.9"}}}, {}, {{0, {"more"}}}};
    flood.checked[0].push_back("10.1.0.9");
    for (int i = 0; i < CVLECMReplyFilter::MAX_ADDRESSES_PER_MAC + 5; ++i) {
        std::string strFrom = "10.1.0." + std::to_string(10 + i);
        flood.replies.push_back({0, strFrom, 'D'});
        if (i + 1 < CVLECMReplyFilter::MAX_ADDRESSES_PER_MAC)
            flood.checked[0].push_back(strFrom);
    }
    rows.push_back(flood);
    // One host claims six known MACs: a claim counts against its source's
    // bound as a device does; the claims beyond are never checked.
    SClaimRow host{"OneHostClaimingSixKnownMACs", {}, false, 0, {}, {}, {}};
    for (int i = 0; i < 6; ++i) {
        std::string strOwn = "10.1.0." + std::to_string(10 + i);
        host.replies.push_back({i, strOwn, 'P'});
        host.passed[i] = {strOwn};
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
                    {{0, {"10.1.0.10"}}, {1, {"10.1.0.11"}}},
                    {{0, {"10.1.0.10", "10.1.0.20"}}, {1, {"10.1.0.11"}}},
                    {{1, {"10.1.0.21"}}}});
    // The claim waits in the backed-up hand-on queue: it is still checked,
    // and found to be the device.
    rows.push_back({"AClaimWaitingInABackedUpQueue",
                    {{0, "10.1.0.10", 'D'}, {0, "10.1.0.11", 'P'}},
                    true,
                    0,
                    {{0, {"10.1.0.11"}}},
                    {{0, {"10.1.0.10", "10.1.0.11"}}},
                    {}});
    return rows;
}
}  // namespace

// A MAC heard from several addresses is one device to the device manager's
// client: each address is checked (a few at once, the next when one ends),
// the first that passes is the device's record, found by its MAC, held by
// the list and reported once; the others are asked for.
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
        for (const SClaimReply& reply : row.replies)
            CFakeNetwork::SetAnswerAt(ClaimMac(kRow, reply.nMAC), reply.strFrom, "CheckUnicast",
                                      reply.cAnswer == 'P' ? EFakeAnswer::Success : EFakeAnswer::Timeout);
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
            EXPECT_TRUE(m_ECM.IsReplyWaiting(ClaimMac(kRow, 0).c_str()));
        } else {
            play(0);
        }
        Drain(m_ECM);
        // Every check ends by itself.
        int nChecking = 0;
        ASSERT_TRUE(Eventually([&]() { return m_ECM.GetUnfinishedChainCount(nChecking) == 0; }));
        Drain(m_ECM);
        std::set<int> macs;
        for (const SClaimReply& reply : row.replies)
            macs.insert(reply.nMAC);
        for (int nMAC : macs) {
            const std::string strMAC = ClaimMac(kRow, nMAC);
            SCOPED_TRACE(strMAC);
            auto expected = [nMAC](const std::map<int, std::vector<std::string>>& table) {
                auto it = table.find(nMAC);
                std::vector<std::string> addresses = it != table.end() ? it->second : std::vector<std::string>();
                std::sort(addresses.begin(), addresses.end());
                return addresses;
            };
            std::vector<std::string> passed, checked, unchecked;
            std::string strListed;
            bool bMore = m_ECM.VisitAddresses(strMAC.c_str(), [&](const SVLECMAddress& address) {
                std::string strAddress = Std(address.strAddress);
                if (address.eState == VLECM_ADDRESS_PASSED)
                    passed.push_back(strAddress);
                (address.eState == VLECM_ADDRESS_NOT_CHECKED ? unchecked : checked).push_back(strAddress);
                if (address.bListed)
                    strListed = strAddress;
            });
            if (bMore)
                unchecked.push_back("more");
            std::sort(passed.begin(), passed.end());
            std::sort(checked.begin(), checked.end());
            std::sort(unchecked.begin(), unchecked.end());
            EXPECT_EQ(expected(row.passed), passed);
            EXPECT_EQ(expected(row.checked), checked);
            EXPECT_EQ(expected(row.unchecked), unchecked);
            // Each address is asked once whether it answers unicast, and
            // those never checked not at all.
            for (const SClaimReply& reply : row.replies) {
                if (reply.nMAC != nMAC)
                    continue;
                EXPECT_EQ(std::count(checked.begin(), checked.end(), reply.strFrom),
                          CFakeNetwork::RequestCountAt(strMAC, reply.strFrom, "CheckUnicast"))
                    << reply.strFrom;
            }
            // One report, of the record that passed first: the one the MAC
            // finds and the list holds, asked for its list information once.
            size_t nReports = 0;
            CVLECMNIFInfo* pReported = nullptr;
            for (const CRecordingClient::Event& event : m_Client.Events()) {
                if (event.strWhat == "probe" && event.strMac == strMAC) {
                    ++nReports;
                    pReported = event.pNIFInfo;
                }
            }
            EXPECT_EQ(passed.empty() ? 0u : 1u, nReports);
            EXPECT_EQ(passed.empty() ? 0 : 1, CFakeNetwork::RequestCount(strMAC, "GetListInfo"));
            if (pReported != nullptr) {
                EXPECT_EQ(pReported, m_ECM.FindNIFInfo(strMAC.c_str()));
                EXPECT_NE(passed.end(), std::find(passed.begin(), passed.end(), strListed));
                CVLProperty* pAddress = pReported->GetProperties()->GetProperty("IPAddress", false);
                EXPECT_EQ(strListed, pAddress != nullptr ? Std(pAddress->ToString("")) : "");
            }
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

// Blocked checks: the addresses of one MAC are checked a few at once, the
// next heard as one ends; until then the MAC is not judged, and every
// address still to be checked is counted, claims included.
TEST_F(ECMReplies, AMACsAddressesAreCheckedAFewAtOnceAndCountedUntilJudged)
{
    CWatchdog watchdog(60, "ECMReplies");
    const std::string strMAC = Mac(0x7000);
    const int kAddresses = CVLECMProbeInstance::MAX_CHECKS_PER_MAC + 2;
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
    ASSERT_TRUE(Eventually([&]() { return asked() == CVLECMProbeInstance::MAX_CHECKS_PER_MAC; }));
    EXPECT_EQ(0, CFakeNetwork::RequestCountAt(strMAC, Address(kAddresses - 1), "CheckUnicast"));
    int nChecking = 0;
    EXPECT_EQ(kAddresses, m_ECM.GetUnfinishedChainCount(nChecking));
    EXPECT_EQ(kAddresses, nChecking);
    EXPECT_EQ(kAddresses, m_ECM.GetUnfinishedChainCount(strMAC.c_str()));
    std::vector<VLECM_ADDRESS_STATE> states;
    m_ECM.VisitAddresses(strMAC.c_str(), [&](const SVLECMAddress& address) { states.push_back(address.eState); });
    std::vector<VLECM_ADDRESS_STATE> expected(CVLECMProbeInstance::MAX_CHECKS_PER_MAC, VLECM_ADDRESS_CHECKING);
    expected.resize(kAddresses, VLECM_ADDRESS_WAITING);
    EXPECT_EQ(expected, states);
    // One check ends (the host answers with an error): the next address
    // heard takes its place.
    CFakeNetwork::SetAnswerAt(strMAC, Address(1), "CheckUnicast", EFakeAnswer::DeviceError);
    ASSERT_TRUE(Eventually([&]() { return asked() == CVLECMProbeInstance::MAX_CHECKS_PER_MAC + 1; }));
    EXPECT_EQ(1,
              CFakeNetwork::RequestCountAt(strMAC, Address(CVLECMProbeInstance::MAX_CHECKS_PER_MAC), "CheckUnicast"));
    EXPECT_EQ(0, CFakeNetwork::RequestCountAt(strMAC, Address(kAddresses - 1), "CheckUnicast"));
}
