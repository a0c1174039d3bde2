// The local-network set-ups of a probe: the directed broadcasts of the
// computer's own networks (in network namespaces the tests build) and of
// the bind entries, handed to the numbered socket instances.
#include <gtest/gtest.h>

#include <list>
#include <map>
#include <string>
#include <vector>

#include "base/core/VLUnexpectedException.h"
#include "cm/VLCMApi.h"
#include "cm/VLProperty.h"
#include "ecm/VLECM.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "tests/support/NeedsNamespaces.h"
#include "tests/support/TestNetwork.h"
#include "tests/support/TestSupport.h"

namespace {

// Records what the set-ups do to the socket instances.
class CRecordingApi : public CVLCMApi
{
public:
    void EnableInstance(VL_CONST_STR szName, bool bEnable) override
    {
        if (m_bThrow)
            throw new EVLUnexpectedException(VLECM_MODULE, "BroadcastSetupTest", __LINE__);
        m_Enabled[szName] = bEnable;
    }
    void SetConst(VL_CONST_STR szConstName, VL_CONST_STR szValue, VL_CONST_STR szModuleName,
                  VL_CONST_STR szInstanceName) override
    {
        EXPECT_EQ(nullptr, szModuleName);
        m_Consts[std::string(szInstanceName) + "/" + szConstName] = szValue;
    }
    std::map<std::string, bool> m_Enabled;
    std::map<std::string, std::string> m_Consts;
    bool m_bThrow = false;
};

class CTestECM : public CVLECM
{
public:
    CVLCMApi* GetApi() override { return &m_RecordingApi; }
    CRecordingApi m_RecordingApi;
};

std::string Text(const CVLECMPropertyMap& map)
{
    std::string s;
    for (const auto& entry : map)
        s += Bytes(entry.first) + "=" + Bytes(entry.second) + ";";
    return s;
}

// Five local-network entries as the application framework sets them.
CVLECMPropertyMap LDBCOptions(int nCount, bool bMultiAddressDetection)
{
    CVLECMPropertyMap options;
    options[CVLString("Option.LocalDBCInfo.EnableMultiAddressDetection", 72)] =
        CVLString(bMultiAddressDetection ? "true" : "false", 72);
    for (int i = 1; i <= nCount; ++i) {
        std::string strKey = "Option.LocalDBCInfo." + std::to_string(i);
        options[CVLString((strKey + ".VLMDSockModulePath").c_str(), 72)] =
            CVLString(("VLPC_LocalNetworkDBC_" + std::to_string(i) + ".UDP").c_str(), 72);
        options[CVLString((strKey + ".Enable").c_str(), 72)] = CVLString("true", 72);
    }
    return options;
}

// Runs the local set-up with the options and describes the outcome: the
// result, the address map, and for each entry its address or "off".
std::string SetupLocal(const CVLECMPropertyMap& options, int nEntries)
{
    CTestECM ecm;
    CVLECMPropertyMap map;
    bool bResult = ecm.SetupLocalDBCInfo(&map, "Probe", &options, nullptr);
    std::string s = bResult ? "true|" : "false|";
    for (int i = 1; i <= nEntries; ++i) {
        std::string strInstance = "Probe.VLPC_LocalNetworkDBC_" + std::to_string(i);
        bool bOn = ecm.m_RecordingApi.m_Enabled[strInstance] && ecm.m_RecordingApi.m_Enabled[strInstance + ".UDP"];
        s += bOn ? ecm.m_RecordingApi.m_Consts[strInstance + ".UDP/toAddress"] : "off";
        s += " ";
    }
    return s + "|" + std::to_string(map.size());
}

std::string AddressList()
{
    CVLECM ecm;
    std::list<CVLString> addresses;
    ecm.getLDBCAddressListFromPC(addresses);
    std::string s;
    for (const CVLString& a : addresses)
        s += Bytes(a) + " ";
    return s;
}

}  // namespace

TEST(BroadcastSetup, BindEntries)
{
    CTestECM ecm;
    CVLECMPropertyMap options;
    auto set = [&](const std::string& k, const char* v) { options[CVLString(k.c_str(), 72)] = CVLString(v, 72); };
    set("Option.BindAddress.1.VLMDSockModulePath", "VLPC_Bind_1.UDP");
    set("Option.BindAddress.1.IPAddress", "10.1.2.3");
    set("Option.BindAddress.1.SubNetmask", "255.255.0.0");
    set("Option.BindAddress.2.VLMDSockModulePath", "VLPC_Bind_2");
    set("Option.BindAddress.2.IPAddress", "10.9.9.9");
    set("Option.BindAddress.2.SubNetmask", "255.0.0.0");
    set("Option.BindAddress.2.Enable", "false");
    CVLECMPropertyMap map;
    map[CVLString("stale", 72)] = CVLString("x", 72);
    EXPECT_TRUE(ecm.SetupBindAddressInfo(&map, "Probe", &options, nullptr));
    EXPECT_EQ("Probe.VLPC_Bind_1=10.1.255.255;", Text(map));
    EXPECT_EQ("10.1.255.255", ecm.m_RecordingApi.m_Consts["Probe.VLPC_Bind_1.UDP/toAddress"]);
    EXPECT_TRUE(ecm.m_RecordingApi.m_Enabled["Probe.VLPC_Bind_1"]);
    EXPECT_FALSE(ecm.m_RecordingApi.m_Enabled.at("Probe.VLPC_Bind_2"));

    // The address can go into a device instead of the constant.
    CVLECMNIFInfo device;
    device.SetApi(ecm.GetApi());
    set("Option.BindAddress.1.NIFInfoToAddressPath", "Bind.ToAddress");
    EXPECT_FALSE(ecm.SetupBindAddressInfo(&map, "Probe", &options, nullptr));  // a device is needed
    EXPECT_TRUE(ecm.SetupBindAddressInfo(&map, "Probe", &options, &device));
    EXPECT_EQ("10.1.255.255", Bytes(device.GetProperty("Bind.ToAddress")->ToString("")));
    // Leading zeros are decimal, as wherever an address is read.
    CVLECMPropertyMap zeros = options;
    zeros[CVLString("Option.BindAddress.1.IPAddress", 72)] = CVLString("010.002.3.4", 72);
    EXPECT_TRUE(ecm.SetupBindAddressInfo(&map, "Probe", &zeros, &device));
    EXPECT_EQ("10.2.255.255", Bytes(device.GetProperty("Bind.ToAddress")->ToString("")));

    // A missing mask, a name instead of an address, an empty root: refused.
    CVLECMPropertyMap broken = options;
    broken.erase(CVLString("Option.BindAddress.2.SubNetmask", 72));
    EXPECT_FALSE(ecm.SetupBindAddressInfo(&map, "Probe", &broken, &device));
    broken = options;
    broken[CVLString("Option.BindAddress.2.IPAddress", 72)] = CVLString("printer.example", 72);
    EXPECT_FALSE(ecm.SetupBindAddressInfo(&map, "Probe", &broken, &device));
    EXPECT_FALSE(ecm.SetupBindAddressInfo(&map, "", &options, &device));
    // An entry with other keys but no module path is an error, the end of the list is not.
    broken = options;
    broken[CVLString("Option.BindAddress.3.IPAddress", 72)] = CVLString("10.0.0.1", 72);
    EXPECT_FALSE(ecm.SetupBindAddressInfo(&map, "Probe", &broken, &device));
    broken = options;
    broken[CVLString("Option.BindAddress.3.NIFInfoToAddressPath", 72)] = CVLString("X", 72);
    EXPECT_TRUE(ecm.SetupBindAddressInfo(&map, "Probe", &broken, &device));
}

TEST(BroadcastSetup, FailuresAnswerFalse)
{
    CTestECM ecm;
    CVLECMPropertyMap map;
    CVLECMPropertyMap options = LDBCOptions(2, false);
    // An entry with ".Enable" but no module path ends the set-up with false.
    options[CVLString("Option.LocalDBCInfo.3.Enable", 72)] = CVLString("true", 72);
    EXPECT_FALSE(ecm.SetupLocalDBCInfo(&map, "Probe", &options, nullptr));
    EXPECT_TRUE(ecm.SetupLocalDBCInfo(&map, "Probe", nullptr, nullptr));  // no entries at all
    EXPECT_FALSE(ecm.SetupLocalDBCInfo(&map, nullptr, nullptr, nullptr));

    // A failure inside the set-up is no success: the probe was not prepared.
    ecm.m_RecordingApi.m_bThrow = true;
    EXPECT_FALSE(ecm.SetupLocalDBCInfo(&map, "Probe", &options, nullptr));
    CVLECMPropertyMap bind;
    bind[CVLString("Option.BindAddress.1.VLMDSockModulePath", 72)] = CVLString("B.UDP", 72);
    bind[CVLString("Option.BindAddress.1.IPAddress", 72)] = CVLString("10.1.2.3", 72);
    bind[CVLString("Option.BindAddress.1.SubNetmask", 72)] = CVLString("255.255.255.0", 72);
    EXPECT_FALSE(ecm.SetupBindAddressInfo(&map, "Probe", &bind, nullptr));
}

TEST(BroadcastSetup, LoopbackIsNeverListed)
{
    EXPECT_EQ(std::string::npos, AddressList().find("127."));
}

// Three networks, and interfaces that give none: a second address, an
// interface without IPv4, one that is down.
TEST(BroadcastSetup, ThreeNetworksFiveEntries)
{
    VL_NEEDS_NAMESPACES();
    CTestNetwork net;
    std::string e;
    ASSERT_TRUE(net.AddHost("pc", &e) && net.AddHost("peer", &e)) << e;
    ASSERT_TRUE(net.Link("pc", "a1", {"10.201.1.1/24", "10.201.9.1/24"}, "peer", "b1", {}, &e)) << e;
    ASSERT_TRUE(net.Link("pc", "a2", {}, "peer", "b2", {}, &e)) << e;
    ASSERT_TRUE(net.Link("pc", "a3", {"10.201.2.1/24"}, "peer", "b3", {}, &e)) << e;
    ASSERT_TRUE(net.Link("pc", "a4", {"10.201.4.1/24"}, "peer", "b4", {}, &e)) << e;
    ASSERT_TRUE(net.Exec("pc", "ip link set a4 down", &e)) << e;
    ASSERT_TRUE(net.Link("pc", "a5", {"10.201.3.1/16"}, "peer", "b5", {}, &e)) << e;

    EXPECT_EQ("10.201.1.255 10.201.2.255 10.201.255.255 ", net.RunIn("pc", AddressList));
    EXPECT_EQ("true|10.201.1.255 10.201.2.255 10.201.255.255 off off |3",
              net.RunIn("pc", [] { return SetupLocal(LDBCOptions(5, true), 5); }));
    // A disabled entry keeps its address for the next one.
    EXPECT_EQ("true|off 10.201.1.255 10.201.2.255 10.201.255.255 off |3", net.RunIn("pc", [] {
        CVLECMPropertyMap options = LDBCOptions(5, false);
        options[CVLString("Option.LocalDBCInfo.1.Enable", 72)] = CVLString("false", 72);
        return SetupLocal(options, 5);
    }));
}

// With tracing on, the enumeration's lines reach the trace, one per step.
TEST(BroadcastSetup, EnumerationIsTraced)
{
    VL_NEEDS_NAMESPACES();
    CTestNetwork net;
    std::string e;
    ASSERT_TRUE(net.AddHost("pc", &e) && net.AddHost("peer", &e)) << e;
    ASSERT_TRUE(net.Link("pc", "a1", {"10.204.1.1/24", "10.204.9.1/24"}, "peer", "b1", {}, &e)) << e;
    // The messages without their prefix; the flags as the kernel has them just now.
    std::string strTrace = net.RunIn("pc", [] {
        CTraceCapture capture;
        AddressList();
        std::string s;
        for (const std::string& strLine : capture.m_Lines) {
            std::string strText = strLine.substr(strLine.find("] ") + 2);
            s += (strText.compare(0, 7, "Flags=[") == 0 ? "Flags=[n]" : strText) + "\n";
        }
        return s;
    });
    EXPECT_EQ("Interface Count=3\n"
              "#### Interface Info No.1 name=[lo]\nAddress Family=[2]\nIP Address=[127.0.0.1]\n"
              "Subnet Mask=[255.0.0.0]\nFlags=[n]\nDirected Broadcast Address=[127.255.255.255]\n"
              "> Registration NG(Loopback Address)\n"
              "#### Interface Info No.2 name=[a1]\nAddress Family=[2]\nIP Address=[10.204.1.1]\n"
              "Subnet Mask=[255.255.255.0]\nFlags=[n]\nDirected Broadcast Address=[10.204.1.255]\n"
              "> Registration OK\n"
              "#### Interface Info No.3 name=[a1]\nAddress Family=[2]\nIP Address=[10.204.9.1]\n"
              "Subnet Mask=[255.255.255.0]\nFlags=[n]\nDirected Broadcast Address=[10.204.9.255]\n"
              "> Registration NG(Duplex)\n",
              strTrace);
}

TEST(BroadcastSetup, OneNetworkWithMultiAddressDetection)
{
    VL_NEEDS_NAMESPACES();
    CTestNetwork net;
    std::string e;
    ASSERT_TRUE(net.AddHost("pc", &e) && net.AddHost("peer", &e)) << e;
    ASSERT_TRUE(net.Link("pc", "a1", {"10.202.1.1/24"}, "peer", "b1", {}, &e)) << e;
    // Detection on: the limited broadcast alone carries the probe.
    EXPECT_EQ("true|off off off off off |0", net.RunIn("pc", [] { return SetupLocal(LDBCOptions(5, true), 5); }));
    EXPECT_EQ("true|10.202.1.255 off off off off |1",
              net.RunIn("pc", [] { return SetupLocal(LDBCOptions(5, false), 5); }));
}

TEST(BroadcastSetup, SevenNetworksFiveEntries)
{
    VL_NEEDS_NAMESPACES();
    CTestNetwork net;
    std::string e;
    ASSERT_TRUE(net.AddHost("pc", &e) && net.AddHost("peer", &e)) << e;
    // Listed before them, an interface that is down on the sixth network:
    // it is neither probed nor named for that network.
    ASSERT_TRUE(net.Link("pc", "a0", {"10.203.6.2/24"}, "peer", "b0", {}, &e)) << e;
    ASSERT_TRUE(net.Exec("pc", "ip link set a0 down", &e)) << e;
    std::string strExpected = "true|";
    for (int i = 1; i <= 7; ++i) {
        std::string strNet = "10.203." + std::to_string(i);
        ASSERT_TRUE(
            net.Link("pc", "a" + std::to_string(i), {strNet + ".1/24"}, "peer", "b" + std::to_string(i), {}, &e))
            << e;
        if (i <= 5)
            strExpected += strNet + ".255 ";
    }
    EXPECT_EQ(strExpected + "|5", net.RunIn("pc", [] { return SetupLocal(LDBCOptions(5, true), 5); }));
    // The two left over are named, for the user to be told.
    EXPECT_EQ("5: 10.203.6.0/24 (a6), 10.203.7.0/24 (a7), ", net.RunIn("pc", [] {
        CTestECM ecm;
        CVLECMPropertyMap map, options = LDBCOptions(5, true);
        ecm.SetupLocalDBCInfo(&map, "Probe", &options, nullptr);
        int nReached = 0;
        std::string s;
        for (const CVLString& strNetwork : ecm.GetNetworksWithoutDirectedBroadcast(nReached))
            s += Bytes(strNetwork) + ", ";
        return std::to_string(nReached) + ": " + s;
    }));
}
