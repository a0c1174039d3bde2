// A command cancel on a record whose unicast check waits for its reply:
// it ends the check there and then, whatever the check thread is doing
// with another record meanwhile. Only the record the thread works on makes
// a cancel wait, and only for that step.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "ecm/VLECM.h"
#include "ecm/probe/VLECMUnicastChecks.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "tests/support/Watchdog.h"
#include "tests/support/ecm/ECMTestClient.h"
#include "tests/support/ecm/FakeNetwork.h"

namespace {
// Far beyond the watchdog: a cancel that waited for it would hang.
const char kHourTimeout[] = "3600000";

// Holds the check thread in the record's option look-up (its first step,
// the request) until released.
class CHeldCheckRecord : public CVLECMNIFInfo
{
public:
    void WaitHeld()
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Cond.wait(lock, [this] { return m_bHeld; });
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bReleased = true;
        m_Cond.notify_all();
    }
    void Arm()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bArmed = true;
    }

protected:
    CVLString getOptionString(VL_CONST_STR szKey) override
    {
        {
            std::unique_lock<std::mutex> lock(m_Mutex);
            if (m_bArmed && !m_bReleased) {
                m_bHeld = true;
                m_Cond.notify_all();
                m_Cond.wait(lock, [this] { return m_bReleased; });
            }
        }
        return CVLECMNIFInfo::getOptionString(szKey);
    }

private:
    std::mutex m_Mutex;
    std::condition_variable m_Cond;
    bool m_bArmed = false;
    bool m_bHeld = false;
    bool m_bReleased = false;
};

class UnicastCheckCancel : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Initialize(&m_Client, nullptr, nullptr, nullptr)); }
    void TearDown() override
    {
        m_Checks.Shutdown();
        m_ECM.Terminate();
    }
    // Starts the record's check on m_Checks, armed to hold the thread when
    // bHold.
    void Check(CHeldCheckRecord& record, const char* szMac, bool bHold)
    {
        record.SetApi(m_ECM.GetApi());
        record.SetOwnerVLECMInstance(&m_ECM);
        record.SetCheckRunner(&m_Checks);
        record.SetMACAddress(szMac);
        record.SetPropertyString("MACAddress", szMac);
        CVLECMPropertyMap options;
        options[CVLString("Option.CheckUnicast.Timeout", 72)] = CVLString(kHourTimeout, 72);
        options[CVLString("Option.CheckUnicast.Retry", 72)] = CVLString("1", 72);
        if (bHold)
            record.Arm();
        ASSERT_EQ(VLECM_RESULT_SUCCESS, record.StartCommandAsync(VLECM_COMMAND_CHECK_UNICAST,
                                                                 VLECM_CONNECT_TYPE_NETWORK, &options, &m_Client));
    }

    CFakeNetwork m_Network;
    CRecordingClient m_Client;
    CVLECM m_ECM;
    CVLECMUnicastChecks m_Checks;
};

// Waits until the condition holds (the watchdog ends a test that waits in vain).
template <typename TCondition>
void Await(TCondition condition)
{
    while (!condition())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}
}  // namespace

// Two checks wait for replies that never come, with an hour's time-out.
// One is stopped while the thread idles; the other while the thread is held
// in a third record's request, which is let go only after that stop has
// returned: a stop that waited for the check's end or for the thread would
// never return, and the watchdog ends the test.
TEST_F(UnicastCheckCancel, AStopEndsAWaitingCheckWithoutWaitingForTheThread)
{
    CWatchdog watchdog(60, "a stop of a waiting unicast check");
    const char kIdleMac[] = "0026AB000081";
    const char kWaitingMac[] = "0026AB000082";
    const char kBusyMac[] = "0026AB000083";
    for (const char* szMac : {kIdleMac, kWaitingMac, kBusyMac})
        CFakeNetwork::SetAnswer(szMac, "CheckUnicast", EFakeAnswer::Block);
    CHeldCheckRecord idle, waiting, busy;
    Check(idle, kIdleMac, false);
    Check(waiting, kWaitingMac, false);
    Await([&] {
        return CFakeNetwork::RequestCount(kIdleMac, "CheckUnicast") == 1 &&
               CFakeNetwork::RequestCount(kWaitingMac, "CheckUnicast") == 1;
    });

    idle.StopCommand();
    EXPECT_FALSE(idle.IsCommandRunning());
    EXPECT_EQ(VLECM_RESULT_STOPPED, idle.GetCommandResult());

    Check(busy, kBusyMac, true);
    busy.WaitHeld();
    waiting.StopCommand();
    // Still held: the stop above did not wait for the thread.
    EXPECT_TRUE(busy.IsCommandRunning());
    EXPECT_EQ(0, CFakeNetwork::RequestCount(kBusyMac, "CheckUnicast"));
    EXPECT_FALSE(waiting.IsCommandRunning());
    EXPECT_EQ(VLECM_RESULT_STOPPED, waiting.GetCommandResult());
    EXPECT_EQ(1, m_Checks.GetCount());
    busy.Release();
    Await([&] { return CFakeNetwork::RequestCount(kBusyMac, "CheckUnicast") == 1; });
    busy.StopCommand();
    EXPECT_EQ(0, m_Checks.GetCount());
    // A stopped check reports nothing.
    Drain(m_ECM);
    EXPECT_EQ(0u, m_Client.Count("CheckUnicast"));
}
