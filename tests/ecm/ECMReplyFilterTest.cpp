// What a probe admits of the replies it hears (repeats, impostors, invented
// devices) and how many follow-up chains run at once.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "cm/VLModuleController.h"
#include "cm/VLProperty.h"
#include "ecm/VLECM.h"
#include "ecm/VLECMNIFInfo.h"
#include "ecm/VLECMNIFInfoList.h"
#include "ecm/VLECMReplyFilter.h"
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

class ECMReplies : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Initialize(&m_Client, nullptr, nullptr, nullptr));
        CVLECMPropertyMap options;
        options[Text("Option.Probe.SkipGetSupportInformation")] = Text("true");
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
    CVLECMReplyFilter filter;
    // A new device, then its repeats: dropped while queued, and once
    // delivered as long as the data stays the same.
    EXPECT_TRUE(filter.Admit(Text("0026AB000001"), Text("10.0.0.5"), 1));
    EXPECT_FALSE(filter.Admit(Text("0026AB000001"), Text("10.0.0.5"), 2));
    filter.Delivered(Text("0026AB000001"));
    EXPECT_FALSE(filter.Admit(Text("0026AB000001"), Text("10.0.0.5"), 1));
    EXPECT_TRUE(filter.Admit(Text("0026AB000001"), Text("10.0.0.5"), 2));
    filter.Delivered(Text("0026AB000001"));
    // Its MAC from another address: the first address stays, the other is kept as the conflict.
    EXPECT_FALSE(filter.Admit(Text("0026AB000001"), Text("10.0.0.66"), 3));
    EXPECT_FALSE(filter.Admit(Text("0026AB000001"), Text("10.0.0.67"), 3));
    EXPECT_EQ("10.0.0.66", Std(filter.GetConflictAddress(Text("00:26:ab:00:00:01"))));
    EXPECT_EQ("10.0.0.5", Std(filter.GetFirstAddress(Text("0026AB000001"))));
    EXPECT_EQ("", Std(filter.GetConflictAddress(Text("0026AB000002"))));
    // One source brings a few MAC addresses, no more.
    for (int i = 0; i < CVLECMReplyFilter::MAX_MACS_PER_SOURCE; ++i)
        EXPECT_TRUE(filter.Admit(Text(Mac(100 + i)), Text("10.0.0.9"), 1)) << i;
    EXPECT_FALSE(filter.Admit(Text(Mac(200)), Text("10.0.0.9"), 1));
    // The probe holds a bounded number of devices, whatever their sources.
    for (int i = 0; i < CVLECMReplyFilter::MAX_DEVICES; ++i)
        filter.Admit(Text(Mac(1000 + i)), Text(Address(i)), 1);
    EXPECT_FALSE(filter.Admit(Text(Mac(5000)), Text("10.0.1.200"), 1));
    EXPECT_GT(filter.GetDroppedCount(), 5u);
    // A new probe starts from nothing.
    filter.Reset();
    EXPECT_TRUE(filter.Admit(Text(Mac(5000)), Text("10.0.0.9"), 1));
    EXPECT_EQ("", Std(filter.GetConflictAddress(Text("0026AB000001"))));
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
    EXPECT_EQ(1, m_ECM.GetNIFInfoList()->GetCount());
}

TEST_F(ECMReplies, RepeatsCostNoQueuedRecordAndChainsWaitTheirTurn)
{
    CWatchdog watchdog(60, "ECMReplies");
    const int kDevices = CVLECMProbeInstance::MAX_RUNNING_CHAINS + 4;
    for (int i = 0; i < kDevices; ++i)
        CFakeNetwork::SetAnswer(Mac(i), "CheckUnicast", EFakeAnswer::Block);
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
    EXPECT_EQ(static_cast<unsigned long>(2 * kDevices), m_ECM.GetProbeInstance().GetReplyFilter().GetDroppedCount());
    int nRunning = 0, nWaiting = 0;
    m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(CVLECMProbeInstance::MAX_RUNNING_CHAINS, nRunning);
    EXPECT_EQ(4, nWaiting);
    int nAsked = 0;
    for (int k = 0; k < 400; ++k) {
        nAsked = 0;
        for (int i = 0; i < kDevices; ++i)
            nAsked += CFakeNetwork::RequestCount(Mac(i), "CheckUnicast");
        if (nAsked >= CVLECMProbeInstance::MAX_RUNNING_CHAINS)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(CVLECMProbeInstance::MAX_RUNNING_CHAINS, nAsked);
    // A device that goes away gives its place to the first waiting one.
    m_ECM.RemoveNIFInfo(m_ECM.FindNIFInfo(Mac(0).c_str()));
    for (int k = 0;
         k < 400 && CFakeNetwork::RequestCount(Mac(CVLECMProbeInstance::MAX_RUNNING_CHAINS), "CheckUnicast") == 0; ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(1, CFakeNetwork::RequestCount(Mac(CVLECMProbeInstance::MAX_RUNNING_CHAINS), "CheckUnicast"));
    m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(CVLECMProbeInstance::MAX_RUNNING_CHAINS, nRunning);
    EXPECT_EQ(3, nWaiting);
}
