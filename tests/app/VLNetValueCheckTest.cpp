// The check of vlnet run's PATH=VALUE arguments against the project's own
// definitions, as the program loads them (no probe is started).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/VLNetPropertyLines.h"
#include "app/VLNetSession.h"
#include "app/VLNetValueCheck.h"
#include "base/net/VLSocketAddress.h"
#include "cm/VLCMApi.h"
#include "modules/VLModuleLibraries.h"
#include "modules/vlpc/VLPCField.h"
#include "tests/support/TempFolder.h"

namespace {
typedef std::vector<std::pair<std::string, std::string>> Assignments;

const std::string kDetail = "VLPC.2B_5A10_01.";

class VLNetValueCheck : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pfnBefore = CVLCMApi::GetModuleLibraries();
        CVLCMApi::SetModuleLibraries(VLRegisterModuleLibraries);
        const char* szBin = getenv("VL_TEST_BIN_DIR");
        ASSERT_NE(nullptr, szBin) << "VL_TEST_BIN_DIR names the build's bin folder";
        std::string strError;
        ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Session.Initialize(std::string(szBin) + "/../share/vlnet", strError))
            << strError;
        m_SetDetail = m_Session.GetRequestFields("SetDetail");
    }
    void TearDown() override
    {
        m_Session.Terminate();
        CVLCMApi::SetModuleLibraries(m_pfnBefore);
    }

    // Empty when the one assignment is accepted (value then the form to
    // set), else the message; as before the probe, then as judged on a
    // device read in the static IPMode (where what the mode makes moot waits).
    std::string Check(const std::string& strPath, std::string& strValue)
    {
        Assignments assignments = {{strPath, strValue}};
        std::string strError;
        if (!CVLNetValueCheck::Check(m_SetDetail, "SetDetail", assignments, strError))
            return strError;
        const CVLNetValueCheck::SJudgement judgement = CVLNetValueCheck::CheckSettings(
            m_SetDetail, {{kDetail + "IPMode", "0"}}, assignments, CVLNetValueCheck::SNeighbours());
        if (judgement.eVerdict != CVLNetValueCheck::VERDICT_ACCEPTED)
            return judgement.strError;
        strValue = assignments[0].second;
        return std::string();
    }

    // Empty when accepted before the probe (Check) and on the device as
    // read (CheckSettings), else the first refusal.
    std::string Judge(Assignments assignments, const std::string& strModeRead)
    {
        std::string strError;
        if (!CVLNetValueCheck::Check(m_SetDetail, "SetDetail", assignments, strError))
            return "before: " + strError;
        const std::map<std::string, std::string> read = {{kDetail + "IPMode", strModeRead},
                                                         {kDetail + "IPAddress", "10.201.3.10"},
                                                         {kDetail + "SubnetMask", "255.255.255.0"},
                                                         {kDetail + "Gateway", "10.201.3.254"}};
        const CVLNetValueCheck::SJudgement judgement =
            CVLNetValueCheck::CheckSettings(m_SetDetail, read, assignments, CVLNetValueCheck::SNeighbours());
        return judgement.eVerdict == CVLNetValueCheck::VERDICT_ACCEPTED ? std::string()
                                                                          : "read: " + judgement.strError;
    }

    VLCM_MODULE_LIBRARIES_FUNC m_pfnBefore = nullptr;
    CVLNetSession m_Session;
    std::vector<CVLNetValueCheck::SField> m_SetDetail;
};
}  // namespace

TEST_F(VLNetValueCheck, RefusesWhatTheDeviceMustNotBeGivenAndTakesTheRest)
{
    // Refused with the reason that follows "PATH=VALUE: " (bAccepted false),
    // or accepted and set in the form given (bAccepted true).
    struct Case
    {
        std::string strPath, strValue;
        bool bAccepted;
        std::string strExpected;
    };
    const Case cases[] = {
        {kDetail + "Locaton", "typo", false, "not a value that SetDetail sends; did you mean " + kDetail + "Location?"},
        {kDetail + "Nodename", "x", false, "not a value that SetDetail sends; did you mean " + kDetail + "NodeName?"},
        {"NodeName", "x", false, "not a value that SetDetail sends; did you mean " + kDetail + "NodeName?"},
        {kDetail + "DNS", "x", false, "not a value that SetDetail sends; it sends " + kDetail + "IPMode, "},
        // Beyond the field's width: the range the device takes is the one said.
        {kDetail + "WebPort", "70000", false, "a port from 1 to 65535"},
        {kDetail + "WebPort", "-1", false, "a port from 1 to 65535"},
        {kDetail + "IPMode", "abc", false, "0 (static address), 1 (DHCP) or 2 (link-local)"},
        {kDetail + "IPMode", "256", false, "0 (static address), 1 (DHCP) or 2 (link-local)"},
        {kDetail + "IPMode", "-1", false, "0 (static address), 1 (DHCP) or 2 (link-local)"},
        {kDetail + "WebPort", "65536", false, "a port from 1 to 65535"},
        // Within the field's width, but not what a device takes.
        {kDetail + "IPMode", "3", false, "0 (static address), 1 (DHCP) or 2 (link-local)"},
        {kDetail + "WebPort", "0", false, "a port from 1 to 65535"},
        {kDetail + "WebPort", "00", false, "a port from 1 to 65535"},
        {kDetail + "Gateway", "localhost", false, "an IPv4 address of four decimal parts 0-255"},
        {kDetail + "Gateway", "10.88.1", false, "an IPv4 address of four decimal parts 0-255"},
        {kDetail + "Gateway", "999.1.1.1", false, "an IPv4 address of four decimal parts 0-255"},
        {kDetail + "Location", std::string(63, 'x') + "\xC3\xBC", false, "at most 64 bytes, not 65"},
        {kDetail + "Location", "hex:414", false, "hex: needs an even number of hexadecimal digits"},
        {kDetail + "Location", "hex:zz", false, "hex: takes hexadecimal digits only (0-9, A-F), not 'zz'"},
        {kDetail + "Location", "hex:4g1", false, "hex: takes hexadecimal digits only (0-9, A-F), not '4g1'"},
        // A text is held as a string, which would end at the NUL.
        {kDetail + "Location", "hex:4800", false, "a text cannot hold a NUL byte"},
        {kDetail + "NodeName", "hex:5A0059", false, "a text cannot hold a NUL byte"},
        {kDetail + "Contact", "hex:00", false, "a text cannot hold a NUL byte"},
        // Addresses that would cut the device off the network.
        {kDetail + "IPAddress", "255.255.255.255", false, "the limited broadcast cannot be a device's address"},
        {kDetail + "IPAddress", "0.0.0.0", false, "0.0.0.0 (no address) cannot be a device's address"},
        {kDetail + "IPAddress", "0.1.2.3", false, "an address in 0.0.0.0/8 (this network, no host's) cannot be a "},
        {kDetail + "Gateway", "0.0.0.1", false, "an address in 0.0.0.0/8 (this network, no host's) cannot be a gate"},
        {kDetail + "IPAddress", "127.0.0.1", false, "a loopback address (127.0.0.0/8) cannot be a device's address"},
        {kDetail + "IPAddress", "224.0.0.1", false, "a multicast address (224.0.0.0/4) cannot be a device's address"},
        {kDetail + "IPAddress", "240.1.2.3", false, "a reserved address (240.0.0.0/4) cannot be a device's address"},
        {kDetail + "SubnetMask", "255.0.255.0", false, "a subnet mask's one-bits must be contiguous"},
        {kDetail + "SubnetMask", "0.255.255.255", false, "a subnet mask's one-bits must be contiguous"},
        {kDetail + "Gateway", "255.255.255.255", false, "the limited broadcast cannot be a gateway"},
        {kDetail + "Gateway", "127.0.0.1", false, "a loopback address (127.0.0.0/8) cannot be a gateway"},
        {kDetail + "Gateway", "239.255.255.250", false, "a multicast address (224.0.0.0/4) cannot be a gateway"},
        {kDetail + "DNSServer", "255.255.255.255", false, "the limited broadcast cannot be a server's address"},
        {kDetail + "DNSServer", "127.0.0.53", false, "a loopback address (127.0.0.0/8) cannot be a server's address"},
        {kDetail + "DNSServer", "0.0.0.0", true, "0.0.0.0"},
        {kDetail + "DNSServer", "10.0.0.53", true, "10.0.0.53"},
        {kDetail + "SubnetMask", "0.0.0.0", false, "a mask of 0.0.0.0 (/0) would take every address for the"},
        // What the probe's GetListInfo read shows beside GetDetail's lines,
        // but SetDetail does not send it.
        {"VLPC.2B_5A04_01.Location", "x", false, "not a value that SetDetail sends"},
        // The device's own MAC address goes out as the addressee, not as a setting.
        {"MACAddress", "0026AB000002", false, "not a value that SetDetail sends"},
        {kDetail + "IPMode", "2", true, "2"},
        {kDetail + "WebPort", "65535", true, "65535"},
        {kDetail + "WebPort", "0080", true, "80"},
        // Leading zeros read as decimal, never as octal.
        {kDetail + "Gateway", "010.088.1.1", true, "10.88.1.1"},
        {kDetail + "IPAddress", "10.0.0.0", true, "10.0.0.0"},
        {kDetail + "IPAddress", "223.255.255.254", true, "223.255.255.254"},
        {kDetail + "SubnetMask", "255.255.255.252", true, "255.255.255.252"},
        // A point-to-point pair and a single host: judged by this
        // computer's reach once the device is found.
        {kDetail + "SubnetMask", "255.255.255.254", true, "255.255.255.254"},
        {kDetail + "SubnetMask", "255.255.255.255", true, "255.255.255.255"},
        // No gateway.
        {kDetail + "Gateway", "0.0.0.0", true, "0.0.0.0"},
        {kDetail + "DNSServer", "0.0.0.0", true, "0.0.0.0"},
        {kDetail + "Location", std::string(64, 'x'), true, std::string(64, 'x')},
        {kDetail + "Location", std::string(62, 'x') + "\xC3\xBC", true, std::string(62, 'x') + "\xC3\xBC"},
        {kDetail + "Location", "hex:c3BC", true, "hex:c3BC"},
        {kDetail + "NodeName", "", true, ""},
        {kDetail + "Contact", "Room 4 = east", true, "Room 4 = east"},
    };
    for (const Case& entry : cases) {
        std::string strValue = entry.strValue;
        std::string strError = Check(entry.strPath, strValue);
        if (entry.bAccepted) {
            EXPECT_EQ("", strError) << entry.strPath << "=" << entry.strValue;
            EXPECT_EQ(entry.strExpected, strValue) << entry.strPath << "=" << entry.strValue;
        } else {
            EXPECT_EQ(0u, strError.find(entry.strPath + "=")) << strError;
            EXPECT_NE(std::string::npos, strError.find(": " + entry.strExpected))
                << entry.strPath << "=" << entry.strValue << "\n"
                << strError;
        }
    }

    // A long value is cut in the message, whole characters kept.
    std::string strLong(100000, 'a');
    EXPECT_EQ(kDetail + "Location=" + std::string(60, 'a') + "\xE2\x80\xA6: at most 64 bytes, not 100000",
              Check(kDetail + "Location", strLong));
    std::string strUmlauts, strShown;
    for (int i = 0; i < 100; i++)
        strUmlauts += "\xC3\xBC";
    for (int i = 0; i < 60; i++)
        strShown += "\xC3\xBC";
    EXPECT_EQ(kDetail + "Location=" + strShown + "\xE2\x80\xA6: at most 64 bytes, not 200",
              Check(kDetail + "Location", strUmlauts));

    // A fixed-size text field (none that the definitions let a user set
    // today) takes what fits it, and no NUL, as the other text fields.
    const CVLNetValueCheck::SField fixed = {"Fixed", VLPC_FIELD_STRING, 16};
    for (const char* szValue : {"hex:4800", "hex:00"}) {
        std::string strValue = szValue;
        EXPECT_EQ("a text cannot hold a NUL byte", CVLNetValueCheck::CheckValue(fixed, strValue)) << szValue;
    }
    std::string strSixteen(16, 'x'), strSeventeen(17, 'x');
    EXPECT_EQ("", CVLNetValueCheck::CheckValue(fixed, strSixteen));
    EXPECT_EQ("at most 16 bytes, not 17", CVLNetValueCheck::CheckValue(fixed, strSeventeen));

    // hex: digits of either case are the same bytes.
    std::string strBytes;
    ASSERT_TRUE(CVLNetPropertyLines::ParseHex("hex:c3BCfa0d", strBytes));
    EXPECT_EQ("\xC3\xBC\xFA\x0D", strBytes);
}

TEST_F(VLNetValueCheck, ACommandTakesValuesOnlyForWhatItSends)
{
    std::string strError;
    Assignments none;
    EXPECT_FALSE(CVLNetValueCheck::Check(m_SetDetail, "SetDetail", none, strError));
    EXPECT_EQ(0u, strError.find("SetDetail needs at least one PATH=VALUE; it sends " + kDetail + "IPMode, "))
        << strError;

    std::vector<CVLNetValueCheck::SField> getDetail = m_Session.GetRequestFields("GetDetail");
    EXPECT_TRUE(getDetail.empty());
    EXPECT_TRUE(CVLNetValueCheck::Check(getDetail, "GetDetail", none, strError));
    Assignments one = {{kDetail + "Location", "x"}};
    EXPECT_FALSE(CVLNetValueCheck::Check(getDetail, "GetDetail", one, strError));
    EXPECT_EQ(kDetail + "Location=x: GetDetail sends no values", strError);

    // A second value for a path is refused, not taken over the first.
    Assignments twice = {{kDetail + "Location", "A"}, {kDetail + "NodeName", "n"}, {kDetail + "Location", "B"}};
    EXPECT_FALSE(CVLNetValueCheck::Check(m_SetDetail, "SetDetail", twice, strError));
    EXPECT_EQ(kDetail + "Location=B: a second value for the path; give each path once", strError);

    // Every field of every layout version, each once.
    std::vector<std::string> paths;
    for (const CVLNetValueCheck::SField& field : m_SetDetail)
        paths.push_back(field.strPath);
    const std::vector<std::string> want = {kDetail + "IPMode",   kDetail + "IPAddress", kDetail + "SubnetMask",
                                           kDetail + "Gateway",  kDetail + "WebPort",   kDetail + "NodeName",
                                           kDetail + "Location", kDetail + "Contact",   kDetail + "DNSServer"};
    EXPECT_EQ(want, paths);
}

// The address settings the device will have, the values given over those
// read, leave it on its network, free of every host's address and reached
// by this computer; before the device was asked, the values given together
// are judged alone.
TEST_F(VLNetValueCheck, TheAddressSettingsTheDeviceWillHaveLeaveItOnItsNetwork)
{
    CVLNetValueCheck::SNeighbours neighbours;
    neighbours.strCurrent = "10.201.3.15";
    neighbours.computer = {{"192.168.7.2", "255.255.255.0", "eth0"},
                           {"10.201.3.1", "255.255.255.0", "vl3"},
                           {"10.201.3.101", "255.255.255.0", "vl3"}};
    neighbours.strMAC = "00:26:AB:13:00:01";
    neighbours.devices = {{"10.201.3.15", "00:26:AB:13:00:01"},
                          {"10.201.3.11", "00:26:AB:13:01:01"},
                          {"10.201.3.13", "00:26:AB:13:00:01"}};
    neighbours.strInterface = "vl3";
    neighbours.local = {{"10.201.3.1", "255.255.255.0"}, {"10.201.3.101", "255.255.255.0"}};
    const std::map<std::string, std::string> kRead = {{kDetail + "IPMode", "0"},
                                                      {kDetail + "IPAddress", "10.201.3.15"},
                                                      {kDetail + "SubnetMask", "255.255.255.0"},
                                                      {kDetail + "Gateway", "10.201.3.254"},
                                                      {kDetail + "Location", "lab"}};
    std::map<std::string, std::string> dhcp = kRead;
    dhcp[kDetail + "IPMode"] = "1";
    const std::map<std::string, std::string> kNone;
    const std::string kUnreachable = "this computer, at 10.201.3.1 on vl3, could no longer reach the device at ";
    const std::string kBeyond = "the device would stay reachable on its own segment but reach nothing beyond it";
    const std::string kForce = " (--force sends it anyway)";
    const std::string kKept = ", the address it keeps when no server answers";
    const std::string kTheirs = "which this computer takes for its network's own: it could not reach the device there";
    const auto R = CVLNetValueCheck::VERDICT_REFUSED;
    const auto U = CVLNetValueCheck::VERDICT_IN_USE;
    const auto A = CVLNetValueCheck::VERDICT_ACCEPTED;
    const struct
    {
        Assignments given;
        const std::map<std::string, std::string>& read;
        bool bForce;
        CVLNetValueCheck::EVerdict eVerdict;
        std::string strMessage;                     // the refusal, or what --force overrode
        std::string strAskAddress = std::string();  // the address to ask the network
    } cases[] = {
        // A wider mask makes them hosts of the device's subnet, but this
        // computer still takes them for its networks' own, in every mode.
        {{{kDetail + "SubnetMask", "255.255.0.0"}, {kDetail + "IPAddress", "10.201.3.255"}},
         kRead,
         false,
         R,
         "IPAddress=10.201.3.255: the broadcast address of this computer's network 10.201.3.0/24 (vl3), " + kTheirs},
        {{{kDetail + "IPMode", "1"}, {kDetail + "SubnetMask", "255.255.0.0"}, {kDetail + "IPAddress", "10.201.3.0"}},
         kRead,
         false,
         R,
         "IPAddress=10.201.3.0: the network address of this computer's network 10.201.3.0/24 (vl3), " + kTheirs},
        {{{kDetail + "SubnetMask", "255.0.0.0"}, {kDetail + "IPAddress", "192.168.7.255"}},
         kRead,
         true,
         R,
         "IPAddress=192.168.7.255: the broadcast address of this computer's network 192.168.7.0/24 (eth0), " + kTheirs},
        {{{kDetail + "IPAddress", "10.201.3.255"}},
         kRead,
         false,
         R,
         "IPAddress=10.201.3.255: the broadcast address of its subnet 10.201.3.0/24 (by the device's mask "
         "255.255.255.0) cannot be a device's address"},
        {{{kDetail + "IPAddress", "10.201.3.0"}},
         kRead,
         true,
         R,
         "IPAddress=10.201.3.0: the network address of its subnet 10.201.3.0/24 (by the device's mask "
         "255.255.255.0) cannot be a device's address"},
        {{{kDetail + "SubnetMask", "255.255.255.240"}},
         kRead,
         false,
         R,
         "SubnetMask=255.255.255.240: it makes the device's address 10.201.3.15 the broadcast address of its subnet "
         "10.201.3.0/28, which cannot be a device's address"},
        // In use, whatever --force says.
        {{{kDetail + "IPAddress", "10.201.3.1"}},
         kRead,
         true,
         U,
         "IPAddress=10.201.3.1: in use on the network: this computer holds it"},
        {{{kDetail + "IPAddress", "10.201.3.11"}},
         kRead,
         true,
         U,
         "IPAddress=10.201.3.11: in use on the network: device 00:26:AB:13:01:01 answered the probe from it"},
        {{{kDetail + "IPAddress", "10.201.3.13"}},
         kRead,
         true,
         U,
         "IPAddress=10.201.3.13: in use on the network: a host claiming this device's MAC 00:26:AB:13:00:01 "
         "answered the probe from it"},
        {{{kDetail + "IPAddress", "10.201.3.254"}},
         kRead,
         true,
         U,
         "IPAddress=10.201.3.254: in use on the network: it is the device's gateway, a router's address"},
        {{{kDetail + "Gateway", "10.201.3.15"}},
         kRead,
         true,
         R,
         "Gateway=10.201.3.15: the device's own address cannot be its gateway (0.0.0.0 means none)"},
        // Out of reach: another network, a mask that leaves this computer
        // out, a single host, a point-to-point pair without this computer.
        {{{kDetail + "IPAddress", "10.201.4.10"}, {kDetail + "Gateway", "0.0.0.0"}},
         kRead,
         false,
         R,
         "IPAddress=10.201.4.10: " + kUnreachable + "10.201.4.10/24" + kForce},
        {{{kDetail + "SubnetMask", "255.255.255.248"},
          {kDetail + "IPAddress", "10.201.3.10"},
          {kDetail + "Gateway", "10.201.3.9"}},
         kRead,
         false,
         R,
         "IPAddress=10.201.3.10: " + kUnreachable + "10.201.3.10/29" + kForce},
        {{{kDetail + "SubnetMask", "255.255.255.255"}, {kDetail + "Gateway", "0.0.0.0"}},
         kRead,
         false,
         R,
         "SubnetMask=255.255.255.255: " + kUnreachable + "10.201.3.15/32" + kForce},
        {{{kDetail + "IPAddress", "10.201.3.102"},
          {kDetail + "SubnetMask", "255.255.255.254"},
          {kDetail + "Gateway", "0.0.0.0"}},
         kRead,
         false,
         R,
         "IPAddress=10.201.3.102: 10.201.3.102/31 is a point-to-point pair whose other address, 10.201.3.103, this "
         "computer does not hold: " +
             kUnreachable + "10.201.3.102/31" + kForce},
        {{{kDetail + "IPAddress", "10.201.3.100"},
          {kDetail + "SubnetMask", "255.255.255.254"},
          {kDetail + "Gateway", "0.0.0.0"}},
         kRead,
         false,
         A,
         "",
         "10.201.3.100"},
        // A gateway outside the subnet.
        {{{kDetail + "Gateway", "10.201.4.1"}},
         kRead,
         false,
         R,
         "Gateway=10.201.4.1: outside the device's subnet 10.201.3.0/24: " + kBeyond + " (0.0.0.0 means none)" +
             kForce},
        {{{kDetail + "Gateway", "10.201.3.255"}},
         kRead,
         true,
         R,
         "Gateway=10.201.3.255: the broadcast address of the device's subnet 10.201.3.0/24 cannot be a gateway "
         "(0.0.0.0 means none)"},
        {{{kDetail + "SubnetMask", "255.255.255.128"}, {kDetail + "IPAddress", "10.201.3.10"}},
         kRead,
         false,
         R,
         "IPAddress=10.201.3.10: the device's gateway 10.201.3.254 would lie outside its subnet 10.201.3.0/25: " +
             kBeyond + "; give a Gateway in the subnet too, or 0.0.0.0 for none" + kForce},
        // --force sends what reach and gateway refuse, and notes it.
        {{{kDetail + "IPAddress", "10.201.4.10"}},
         kRead,
         true,
         A,
         "IPAddress=10.201.4.10: " + kUnreachable +
             "10.201.4.10/24|IPAddress=10.201.4.10: the device's gateway "
             "10.201.3.254 would lie outside its subnet 10.201.4.0/24: " +
             kBeyond + "; give a Gateway in the subnet too, or 0.0.0.0 for none",
         "10.201.4.10"},
        {{{kDetail + "IPAddress", "10.201.3.15"}}, kRead, false, A, ""},
        {{{kDetail + "IPAddress", "10.201.3.12"}}, kRead, false, A, "", "10.201.3.12"},
        // Settings no value given changes are the device's business.
        {{{kDetail + "Location", "x"}}, kRead, false, A, ""},
        // DHCP or link-local: the device keeps its address and mask when
        // no server answers, so they are judged as such, this computer's
        // reach too; the gateway is the device's own.
        {{{kDetail + "IPAddress", "10.201.3.11"}},
         dhcp,
         false,
         U,
         "IPAddress=10.201.3.11: in use on the network: device 00:26:AB:13:01:01 answered the probe from it"},
        {{{kDetail + "IPMode", "2"}, {kDetail + "IPAddress", "10.201.3.1"}},
         kRead,
         false,
         U,
         "IPAddress=10.201.3.1: in use on the network: this computer holds it"},
        {{{kDetail + "IPAddress", "10.201.3.255"}},
         dhcp,
         false,
         R,
         "IPAddress=10.201.3.255: the broadcast address of its subnet 10.201.3.0/24 (by the device's mask "
         "255.255.255.0) cannot be a device's address"},
        {{{kDetail + "IPAddress", "10.201.3.254"}},
         dhcp,
         false,
         U,
         "IPAddress=10.201.3.254: in use on the network: it is the device's gateway, a router's address"},
        {{{kDetail + "IPAddress", "10.201.4.10"}},
         dhcp,
         false,
         R,
         "IPAddress=10.201.4.10: " + kUnreachable + "10.201.4.10/24" + kKept + kForce},
        {{{kDetail + "IPMode", "2"}, {kDetail + "IPAddress", "10.201.4.10"}},
         kRead,
         true,
         A,
         "IPAddress=10.201.4.10: " + kUnreachable + "10.201.4.10/24" + kKept,
         "10.201.4.10"},
        {{{kDetail + "IPMode", "1"},
          {kDetail + "IPAddress", "10.201.3.10"},
          {kDetail + "SubnetMask", "255.255.255.252"}},
         kRead,
         false,
         R,
         "IPAddress=10.201.3.10: " + kUnreachable + "10.201.3.10/30" + kKept + kForce},
        {{{kDetail + "SubnetMask", "255.255.255.240"}},
         dhcp,
         false,
         R,
         "SubnetMask=255.255.255.240: it makes the device's address 10.201.3.15 the broadcast address of its subnet "
         "10.201.3.0/28, which cannot be a device's address"},
        {{{kDetail + "IPMode", "1"}}, kRead, false, A, ""},
        {{{kDetail + "IPAddress", "0.0.0.0"}}, dhcp, false, A, ""},
        {{{kDetail + "IPAddress", "0.0.0.0"}},
         kRead,
         false,
         R,
         "IPAddress=0.0.0.0: 0.0.0.0 (no address) cannot be a device's address"},
        {{{kDetail + "IPMode", "2"}, {kDetail + "Gateway", "10.201.4.1"}}, kRead, false, A, ""},
        {{{kDetail + "IPMode", "0"}, {kDetail + "Gateway", "10.201.4.1"}},
         dhcp,
         false,
         R,
         "Gateway=10.201.4.1: outside the device's subnet 10.201.3.0/24: " + kBeyond + " (0.0.0.0 means none)" +
             kForce},
        // Given together before the device is asked.
        {{{kDetail + "IPAddress", "10.0.1.255"}, {kDetail + "SubnetMask", "255.255.254.0"}},
         kNone,
         false,
         R,
         "IPAddress=10.0.1.255: the broadcast address of its subnet 10.0.0.0/23 cannot be a device's address"},
        {{{kDetail + "IPAddress", "10.0.0.4"}, {kDetail + "SubnetMask", "255.255.255.252"}},
         kNone,
         false,
         R,
         "IPAddress=10.0.0.4: the network address of its subnet 10.0.0.4/30 cannot be a device's address"},
        {{{kDetail + "IPAddress", "10.0.0.5"}, {kDetail + "SubnetMask", "255.255.255.252"}},
         kNone,
         false,
         A,
         "",
         "10.0.0.5"},
        {{{kDetail + "IPAddress", "10.0.0.255"}, {kDetail + "SubnetMask", "255.255.0.0"}},
         kNone,
         false,
         A,
         "",
         "10.0.0.255"},
        {{{kDetail + "Gateway", "10.201.4.1"}}, kNone, false, A, ""},
    };
    for (const auto& entry : cases) {
        const CVLNetValueCheck::SJudgement judgement = CVLNetValueCheck::CheckSettings(
            m_SetDetail, entry.read, entry.given, &entry.read == &kNone ? CVLNetValueCheck::SNeighbours() : neighbours,
            entry.bForce);
        std::string strOverridden;
        for (const std::string& strNote : judgement.overridden)
            strOverridden += (strOverridden.empty() ? "" : "|") + strNote.substr(kDetail.size());
        const std::string strMessage =
            judgement.strError.empty() ? strOverridden : judgement.strError.substr(kDetail.size());
        EXPECT_EQ(entry.eVerdict, judgement.eVerdict) << entry.given[0].first << "=" << entry.given[0].second;
        EXPECT_EQ(entry.strMessage, strMessage);
        EXPECT_EQ(entry.strAskAddress, judgement.strAskAddress) << entry.given[0].first << "=" << entry.given[0].second;
    }
    // Before the probe, the values given together with the static IPMode
    // are judged so; one that takes an address of its own leaves the
    // address unjudged, and none given leaves it to the one read.
    Assignments network = {
        {kDetail + "IPMode", "0"}, {kDetail + "SubnetMask", "255.255.255.0"}, {kDetail + "IPAddress", "10.0.0.0"}};
    std::string strError;
    EXPECT_FALSE(CVLNetValueCheck::Check(m_SetDetail, "SetDetail", network, strError));
    EXPECT_EQ(kDetail + "IPAddress=10.0.0.0: the network address of its subnet 10.0.0.0/24 cannot be a device's address",
              strError);
    network.erase(network.begin());
    EXPECT_TRUE(CVLNetValueCheck::Check(m_SetDetail, "SetDetail", network, strError)) << strError;
    Assignments dhcpGiven = {{kDetail + "IPMode", "1"}, {kDetail + "IPAddress", "0.0.0.0"}};
    EXPECT_TRUE(CVLNetValueCheck::Check(m_SetDetail, "SetDetail", dhcpGiven, strError)) << strError;
    dhcpGiven.erase(dhcpGiven.begin());
    EXPECT_TRUE(CVLNetValueCheck::Check(m_SetDetail, "SetDetail", dhcpGiven, strError)) << strError;
    // An address given with DHCP or link-local is one the device may keep.
    Assignments dhcpBroadcast = {{kDetail + "IPMode", "1"},
                                 {kDetail + "IPAddress", "10.0.0.255"},
                                 {kDetail + "SubnetMask", "255.255.255.0"}};
    EXPECT_FALSE(CVLNetValueCheck::Check(m_SetDetail, "SetDetail", dhcpBroadcast, strError));
    EXPECT_EQ(kDetail + "IPAddress=10.0.0.255: the broadcast address of its subnet 10.0.0.0/24 cannot be a device's "
                        "address",
              strError);
    Assignments linkLocalLoopback = {{kDetail + "IPMode", "2"}, {kDetail + "IPAddress", "127.0.0.1"}};
    EXPECT_FALSE(CVLNetValueCheck::Check(m_SetDetail, "SetDetail", linkLocalLoopback, strError));
    EXPECT_EQ(kDetail + "IPAddress=127.0.0.1: a loopback address (127.0.0.0/8) cannot be a device's address", strError);
    Assignments staticGiven = {{kDetail + "IPMode", "00"}, {kDetail + "IPAddress", "0.0.0.0"}};
    EXPECT_FALSE(CVLNetValueCheck::Check(m_SetDetail, "SetDetail", staticGiven, strError));
    EXPECT_EQ(kDetail + "IPAddress=0.0.0.0: 0.0.0.0 (no address) cannot be a device's address", strError);
    Assignments outside = {{kDetail + "IPMode", "0"},
                           {kDetail + "IPAddress", "10.0.0.5"},
                           {kDetail + "SubnetMask", "255.255.255.0"},
                           {kDetail + "Gateway", "10.0.1.1"}};
    EXPECT_FALSE(CVLNetValueCheck::Check(m_SetDetail, "SetDetail", outside, strError));
    EXPECT_TRUE(CVLNetValueCheck::Check(m_SetDetail, "SetDetail", outside, strError, "", true)) << strError;
}

// The subnet arithmetic: a mask's prefix (-1 with a gap), one subnet, and
// two hosts that see each other on their link.
TEST_F(VLNetValueCheck, SubnetArithmetic)
{
    const struct
    {
        uint32_t nMask;
        int nPrefix;
    } masks[] = {{0x00000000, 0},  {0x80000000, 1},  {0xFFFFFF00, 24}, {0xFFFFFFFE, 31},
                 {0xFFFFFFFF, 32}, {0xFF00FF00, -1}, {0x00FFFFFF, -1}, {0xFFFFFFFD, -1}};
    for (const auto& entry : masks)
        EXPECT_EQ(entry.nPrefix, CVLSocketAddress::PrefixLength(entry.nMask)) << std::hex << entry.nMask;
    const struct
    {
        uint32_t nLocal, nLocalMask, nDevice, nDeviceMask;
        bool bReach;
    } reach[] = {
        {0x0AC90301, 0xFFFFFF00, 0x0AC9030A, 0xFFFFFF00, true},   // one /24
        {0x0AC90301, 0xFFFFFF00, 0x0AC9040A, 0xFFFFFF00, false},  // the device on another /24
        {0x0AC90301, 0xFFFFFF00, 0x0AC9030A, 0xFFFFFFF8, false},  // this computer outside the device's /29
        {0x0AC90301, 0xFFFFFF00, 0x0AC90309, 0xFFFFFFF8, false},  // 10.201.3.8/29 leaves out .1
        {0x0AC90301, 0xFFFFFF00, 0x0AC9030A, 0xFFFF0000, true},   // the device's wider mask holds us
        {0x0AC90301, 0xFFFF0000, 0x0AC9FF0A, 0xFFFFFF00, false},  // ours holds it, its mask not us
        {0x0AC90365, 0xFFFFFF00, 0x0AC90364, 0xFFFFFFFE, true},   // the other address of the /31 pair
        {0x0AC90365, 0xFFFFFF00, 0x0AC90366, 0xFFFFFFFE, false},  // a /31 pair without us
        {0x0AC90301, 0xFFFFFF00, 0x0AC9030A, 0xFFFFFFFF, false},  // a /32 reaches no one
    };
    for (const auto& entry : reach)
        EXPECT_EQ(entry.bReach,
                  CVLNetValueCheck::ReachEachOther(entry.nLocal, entry.nLocalMask, entry.nDevice, entry.nDeviceMask))
            << std::hex << entry.nDevice << "/" << entry.nDeviceMask;
    EXPECT_EQ(0x0AC90365u, CVLNetValueCheck::PairPartner(0x0AC90364));
    EXPECT_EQ(0x0AC90364u, CVLNetValueCheck::PairPartner(0x0AC90365));
    EXPECT_TRUE(CVLNetValueCheck::SameSubnet(0x0AC90301, 0x0AC903FE, 0xFFFFFF00));
    EXPECT_FALSE(CVLNetValueCheck::SameSubnet(0x0AC90301, 0x0AC90401, 0xFFFFFF00));
}

// A password goes out only from --password, --password-file or the prompt:
// its field is never a PATH=VALUE target, even where the definitions give
// it a property.
TEST_F(VLNetValueCheck, APasswordFieldIsNeverAPathValueTarget)
{
    const std::string strBin = getenv("VL_TEST_BIN_DIR");
    const std::string strDir = TestTempFolder() + "/vlnet_password_field_" + std::to_string(getpid());
    const std::string strSettings = strDir + "/Settings/Default/";
    ASSERT_EQ(0, system(("rm -rf " + strDir + " && cp -r " + strBin + "/../share/vlnet " + strDir +
                         " && sed -i 's|<Field name=\"Password\" type=\"Password\"/>|<Field name=\"Password\" "
                         "type=\"Password\" propertyPath=\"Password\"/>|' " +
                         strSettings + "VLPC.xml && grep -q 'propertyPath=\"Password\"' " + strSettings +
                         "VLPC.xml && " + strBin + "/vlresource build " + strSettings + "vlres201.dat " + strSettings +
                         "vlres200.dat >/dev/null")
                            .c_str()));
    CVLNetSession session;
    std::string strError;
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, session.Initialize(strDir, strError)) << strError;
    for (const char* szCommand : {"CheckPassword", "SetDetail", "FactReset"}) {
        EXPECT_TRUE(session.NeedsPassword(szCommand)) << szCommand;
        Assignments assignments = {{"Password", "secret"}};
        EXPECT_FALSE(CVLNetValueCheck::Check(session.GetRequestFields(szCommand), szCommand, assignments, strError))
            << szCommand;
        EXPECT_EQ(0u, strError.find("Password=secret: ")) << strError;
    }
    session.Terminate();
    EXPECT_EQ(0, system(("rm -rf " + strDir).c_str()));
}

// A DHCP or link-local device (IPMode 1 or 2) takes its gateway from its
// network: given with such a mode, it is not judged as a static device's
// would be. Its address and mask, which it keeps when no server answers,
// are: a mask with a gap or a loopback address, which no mode takes, is
// refused before the probe, whatever mode the device has.
TEST_F(VLNetValueCheck, TheGatewayIsNotJudgedAsStaticInDHCPOrLinkLocal)
{
    // A loopback gateway: no static device may hold it.
    const Assignments kOdd = {{kDetail + "Gateway", "127.0.0.1"}};
    for (const char* szMode : {"1", "2"}) {
        SCOPED_TRACE(szMode);
        // Given with the mode, the device read static.
        Assignments given = {{kDetail + "IPMode", szMode}, {kDetail + "IPAddress", "10.201.3.20"}};
        given.insert(given.end(), kOdd.begin(), kOdd.end());
        EXPECT_EQ("", Judge(given, "0"));
        // The mode read from the device, none given.
        Assignments read = {{kDetail + "IPAddress", "10.201.3.20"}};
        read.insert(read.end(), kOdd.begin(), kOdd.end());
        EXPECT_EQ("", Judge(read, szMode));
    }
    // Static, given or read: refused, each before the probe where it can be.
    Assignments given = {{kDetail + "IPMode", "0"}, {kDetail + "IPAddress", "10.201.3.20"}};
    given.insert(given.end(), kOdd.begin(), kOdd.end());
    EXPECT_EQ("before: " + kDetail + "Gateway=127.0.0.1: a loopback address (127.0.0.0/8) cannot be a gateway",
              Judge(given, "1"));
    Assignments read = {{kDetail + "IPAddress", "10.201.3.20"}};
    read.insert(read.end(), kOdd.begin(), kOdd.end());
    EXPECT_EQ("read: " + kDetail + "Gateway=127.0.0.1: a loopback address (127.0.0.0/8) cannot be a gateway",
              Judge(read, "0"));
    // The address and mask, in every mode, before the probe.
    const std::string kGap = "before: " + kDetail +
                             "SubnetMask=255.0.255.0: a subnet mask's one-bits must be contiguous, as in 255.255.255.0";
    const std::string kLoopback =
        "before: " + kDetail + "IPAddress=127.0.0.1: a loopback address (127.0.0.0/8) cannot be a device's address";
    for (const char* szMode : {"0", "1", "2", ""}) {
        SCOPED_TRACE(szMode);
        Assignments mode;
        if (*szMode != '\0')
            mode.push_back({kDetail + "IPMode", szMode});
        Assignments mask = mode, address = mode;
        mask.push_back({kDetail + "SubnetMask", "255.0.255.0"});
        address.push_back({kDetail + "IPAddress", "127.0.0.1"});
        EXPECT_EQ(kGap, Judge(mask, "1"));
        EXPECT_EQ(kLoopback, Judge(address, "1"));
    }
}
