// Asking the network whether a host holds an address: the probe the loaded
// definitions send, answered by an emulated device on loopback (which has
// no neighbour table to tell), and the wait an unheld address takes; an
// answer from another address than the one asked holds nothing.
#include <gtest/gtest.h>

#include <string>

#include "app/VLNetAddressQuery.h"
#include "app/VLNetSession.h"
#include "cm/VLCMApi.h"
#include "modules/VLModuleLibraries.h"
#include "tests/support/Watchdog.h"
#include "tests/support/emulator/DeviceEmulator.h"

TEST(VLNetAddressQuery, AVLPCDeviceAtTheAddressHoldsIt)
{
    CWatchdog watchdog(60, "address query");
    EmuDevice device;
    device.strIP = "127.0.0.5";
    // Still starting: it answers no probe.
    EmuDevice starting;
    starting.mac[5] = 0x02;
    starting.strIP = "127.0.0.7";
    starting.nBootMs = 600000;
    // Its answers leave from another address: not the one asked.
    EmuDevice elsewhere;
    elsewhere.mac[5] = 0x03;
    elsewhere.strIP = "127.0.0.8";
    elsewhere.strReplyFrom = "127.0.0.9";
    CDeviceEmulator emulator(0);
    emulator.AddDevice(device);
    emulator.AddDevice(starting);
    emulator.AddDevice(elsewhere);
    std::string strError;
    ASSERT_TRUE(emulator.Start(&strError)) << strError;
    CVLCMApi::SetModuleLibraries(VLRegisterModuleLibraries);
    CVLNetSession session;
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, session.Initialize("", strError)) << strError;
    unsigned short nPort = 0;
    EXPECT_EQ(48817, (session.GetProbeRequest(nPort), nPort));
    // The port the definitions send the probe to is the one asked.
    session.GetVLECM().GetApi()->SetConst("toPort", std::to_string(emulator.Port()).c_str(), "VLMDSock", nullptr);
    const std::string strRequest = session.GetProbeRequest(nPort);
    // "ORVEK", a probe: type P, device type 2B, number 0, function 5A01.
    EXPECT_EQ(std::string("ORVEKP\x2B\x00\x5A\x01\x00\x00\x00\x00", 14), strRequest);
    EXPECT_EQ(emulator.Port(), nPort);
    const struct
    {
        const char* szAddress;
        const char* szHolder;
    } cases[] = {
        {"127.0.0.5", "a VLPC device answered a probe sent to it"},
        {"127.0.0.6", ""},
        {"127.0.0.7", ""},
        {"127.0.0.8", ""},
        {"not an address", ""},
    };
    for (const auto& entry : cases)
        EXPECT_EQ(entry.szHolder, CVLNetAddressQuery::FindHolder(entry.szAddress, strRequest, nPort))
            << entry.szAddress;
    EXPECT_EQ(2, emulator.RequestCount(EmuMacText(device.mac)) + emulator.RequestCount(EmuMacText(starting.mac)));
    // It did answer.
    EXPECT_EQ(1, emulator.RequestCount(EmuMacText(elsewhere.mac)));
    session.Terminate();
    EXPECT_EQ("1 s", CVLNetAddressQuery::WaitText());
    EXPECT_EQ("250 ms", CVLNetAddressQuery::WaitText(250));
}
