// The session's device commands against the device emulator on loopback,
// without a network of namespaces: the device manager's definitions are
// pointed at the emulator's port and 127.255.255.255.
#include <gtest/gtest.h>
#include <net/if.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "app/VLNetSession.h"
#include "base/net/VLInterfaceAddress.h"
#include "cm/VLCMApi.h"
#include "modules/VLModuleLibraries.h"
#include "pfw/VLPFWNIFInfo.h"
#include "tests/support/Watchdog.h"
#include "tests/support/ecm/ECMTestClient.h"
#include "tests/support/emulator/DeviceEmulator.h"

namespace {
// The directed-broadcast children of the probe in the definitions.
const int kLocalNetworkChildren = 5;
const char kPassword[] = "secret";
}  // namespace

// A GetDetail reply that ends early leaves settings unread: the SetDetail
// that would write them back as empty texts and 0.0.0.0 is not sent, and
// the device keeps what it had.
TEST(VLNetSession, ASetDetailAfterAGetDetailCutShortSendsNothing)
{
    CWatchdog watchdog(120, "SetDetail after a short GetDetail");
    EmuDevice device;
    device.strIP = "127.0.0.2";
    device.strPassword = kPassword;
    device.strNodeName = "kept";
    device.strLocation = "lab";
    device.nDetailFields = 5;
    CDeviceEmulator emulator(0);
    emulator.AddDevice(device);
    std::string strError;
    ASSERT_TRUE(emulator.Start(&strError)) << strError;

    CVLCMApi::SetModuleLibraries(VLRegisterModuleLibraries);
    CVLNetSession session;
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, session.Initialize("", strError)) << strError;
    CVLECM& ecm = session.GetVLECM();
    // Loopback only: the emulator's port, its directed broadcast instead of
    // the limited one, and no interface networks.
    CVLCMApi* pApi = ecm.GetApi();
    pApi->SetConst("toPort", std::to_string(emulator.Port()).c_str(), "VLMDSock", nullptr);
    pApi->SetConst("toAddress", "127.255.255.255", nullptr, "Probe.VLPC_Broadcast.UDP");
    for (int i = 1; i <= kLocalNetworkChildren; ++i)
        pApi->EnableInstance(("Probe.VLPC_LocalNetworkDBC_" + std::to_string(i)).c_str(), false);
    CRecordingClient client;
    ecm.SetCallbackIF(&client);
    CVLECMPropertyMap options;
    options[CVLString("Option.Probe.SkipGetSupportInformation", 72)] = CVLString("true", 72);
    options[CVLString("Option.CheckUnicast.NonUnicastDeviceFiltering", 72)] = CVLString("true", 72);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, ecm.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    ASSERT_TRUE(client.WaitFor("probe", 1));
    ecm.StopProbe();
    CVLPFWNIFInfo* pNIFInfo = dynamic_cast<CVLPFWNIFInfo*>(ecm.FindNIFInfo(EmuMacText(device.mac).c_str()));
    ASSERT_NE(nullptr, pNIFInfo);

    const int nRequestsBefore = emulator.RequestCount(EmuMacText(device.mac));
    const std::string strPassword = kPassword;
    EXPECT_EQ(VLECM_RESULT_COMMUNICATION_ERROR,
              session.RunCommand(pNIFInfo, "SetDetail", &strPassword, {{"VLPC.2B_5A10_01.Location", "x"}}, strError));
    EXPECT_EQ("the device's settings could not be read first (GetDetail): its reply lacked "
              "VLPC.2B_5A10_01.NodeName, VLPC.2B_5A10_01.Contact, VLPC.2B_5A10_01.DNSServer",
              strError);
    // The GetDetail alone reached the device.
    EXPECT_EQ(nRequestsBefore + 1, emulator.RequestCount(EmuMacText(device.mac)));
    EmuDevice after;
    ASSERT_TRUE(emulator.GetDevice(device.mac, after));
    EXPECT_EQ("lab", after.strLocation);
    EXPECT_EQ("kept", after.strNodeName);
    session.Terminate();
    emulator.Stop();
}

namespace {
VLInterfaceAddress InterfaceEntry(const std::string& strName, unsigned char nThird, unsigned char nFourth)
{
    VLInterfaceAddress entry;
    entry.strName = strName;
    entry.strInterface = strName.substr(0, strName.find(':'));
    const unsigned char address[4] = {10, 0, nThird, nFourth};
    const unsigned char netmask[4] = {255, 255, 255, 0};
    std::copy(address, address + 4, entry.address);
    std::copy(netmask, netmask + 4, entry.netmask);
    entry.bUp = true;
    entry.bLoopback = false;
    entry.bFirstOfInterface = true;
    entry.nFlags = IFF_UP | IFF_BROADCAST | IFF_RUNNING;
    return entry;
}
}  // namespace

// The probe's end names each interface whose network it left out once, by
// its first address, with what to do: down (two addresses), up without
// carrier, up without an IPv4 address; a running one is not named. An
// address on the network of one without carrier says so.
TEST(VLNetSession, TheNetworksLeftOutAreNamedOnceEach)
{
    VLInterfaceAddress down = InterfaceEntry("eth2", 2, 5);
    down.bUp = false;
    down.nFlags = IFF_BROADCAST;
    VLInterfaceAddress downAgain = down;
    downAgain.strName = "eth2:1";
    downAgain.address[3] = 6;
    downAgain.bFirstOfInterface = false;
    VLInterfaceAddress unplugged = InterfaceEntry("eth3", 3, 5);
    unplugged.nFlags &= ~static_cast<unsigned int>(IFF_RUNNING);
    const std::vector<VLInterfaceAddress> entries = {InterfaceEntry("eth1", 1, 5), down, downAgain, unplugged};
    EXPECT_EQ("interface eth2 (10.0.2.5/24) is down, so the probe left out its network: bring it up (ip link set eth2 "
              "up); interface eth3 (10.0.3.5/24) has no carrier, so the probe left out its network: connect it (its "
              "cable, or the other end of its link); interface eth4 is up without an IPv4 address, so the probe has "
              "no network there: give it one (ip address add A.B.C.D/N dev eth4)",
              CVLNetSession::DownNote(entries, {"eth4"}));
    EXPECT_EQ("", CVLNetSession::DownNote({InterfaceEntry("eth1", 1, 5)}));
    EXPECT_EQ("10.0.3.7 is on the network of interface eth3 (10.0.3.5/24), which has no carrier, so the probe leaves "
              "that network out: connect it (its cable, or the other end of its link)",
              CVLNetSession::DownNetworkText(entries, "10.0.3.7"));
    EXPECT_EQ("", CVLNetSession::DownNetworkText(entries, "10.0.1.7"));
}
