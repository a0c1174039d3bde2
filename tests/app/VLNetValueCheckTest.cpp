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
#include "cm/VLCMApi.h"
#include "modules/VLModuleLibraries.h"
#include "modules/vlpc/VLPCField.h"

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
    // set), else the message.
    std::string Check(const std::string& strPath, std::string& strValue)
    {
        Assignments assignments = {{strPath, strValue}};
        std::string strError;
        if (!CVLNetValueCheck::Check(m_SetDetail, "SetDetail", assignments, strError))
            return strError;
        strValue = assignments[0].second;
        return std::string();
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
        {kDetail + "WebPort", "70000", false, "a value from 0 to 65535"},
        {kDetail + "WebPort", "-1", false, "a value from 0 to 65535"},
        {kDetail + "IPMode", "abc", false, "a value from 0 to 255"},
        {kDetail + "IPMode", "256", false, "a value from 0 to 255"},
        {kDetail + "Gateway", "localhost", false, "an IPv4 address of four decimal parts 0-255"},
        {kDetail + "Gateway", "10.88.1", false, "an IPv4 address of four decimal parts 0-255"},
        {kDetail + "Gateway", "999.1.1.1", false, "an IPv4 address of four decimal parts 0-255"},
        {kDetail + "Location", std::string(63, 'x') + "\xC3\xBC", false, "at most 64 bytes, not 65"},
        {kDetail + "Location", "hex:414", false, "hex: needs an even number of hexadecimal digits"},
        {kDetail + "Location", "hex:zz", false, "hex: needs an even number of hexadecimal digits"},
        // A text is held as a string, which would end at the NUL.
        {kDetail + "Location", "hex:4800", false, "a text cannot hold a NUL byte"},
        {kDetail + "NodeName", "hex:5A0059", false, "a text cannot hold a NUL byte"},
        {kDetail + "Contact", "hex:00", false, "a text cannot hold a NUL byte"},
        // Addresses that would cut the device off the network.
        {kDetail + "IPAddress", "255.255.255.255", false, "the limited broadcast cannot be a device's address"},
        {kDetail + "IPAddress", "0.0.0.0", false, "0.0.0.0 (no address) cannot be a device's address"},
        {kDetail + "IPAddress", "127.0.0.1", false, "a loopback address (127.0.0.0/8) cannot be a device's address"},
        {kDetail + "IPAddress", "224.0.0.1", false, "a multicast address (224.0.0.0/4) cannot be a device's address"},
        {kDetail + "IPAddress", "240.1.2.3", false, "a reserved address (240.0.0.0/4) cannot be a device's address"},
        {kDetail + "SubnetMask", "255.0.255.0", false, "a subnet mask's one-bits must be contiguous"},
        {kDetail + "SubnetMask", "0.255.255.255", false, "a subnet mask's one-bits must be contiguous"},
        {kDetail + "Gateway", "255.255.255.255", false, "the limited broadcast cannot be a gateway"},
        {kDetail + "Gateway", "127.0.0.1", false, "a loopback address (127.0.0.0/8) cannot be a gateway"},
        {kDetail + "Gateway", "239.255.255.250", false, "a multicast address (224.0.0.0/4) cannot be a gateway"},
        {kDetail + "SubnetMask", "255.255.255.255", false, "a mask of more than 30 one-bits leaves the subnet no host"},
        {kDetail + "SubnetMask", "255.255.255.254", false, "a mask of more than 30 one-bits leaves the subnet no host"},
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
        {kDetail + "SubnetMask", "0.0.0.0", true, "0.0.0.0"},
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
// read, leave it on its network; before the device was asked, the values
// given together are judged alone.
TEST_F(VLNetValueCheck, TheAddressSettingsTheDeviceWillHaveLeaveItOnItsNetwork)
{
    CVLNetValueCheck::SNeighbours neighbours;
    neighbours.strCurrent = "10.201.3.15";
    neighbours.computer = {"192.168.7.2", "10.201.3.1"};
    neighbours.devices = {{"10.201.3.11", "00:26:AB:13:01:01"}};
    const std::map<std::string, std::string> kRead = {
        {kDetail + "IPAddress", "10.201.3.15"}, {kDetail + "SubnetMask", "255.255.255.0"},
        {kDetail + "Gateway", "10.201.3.1"}, {kDetail + "Location", "lab"}};
    const struct
    {
        Assignments given;
        bool bRead;
        const char* szRefused;  // the message; null: accepted
    } cases[] = {
        {{{kDetail + "IPAddress", "10.201.3.255"}}, true,
         "IPAddress=10.201.3.255: the broadcast address of its subnet 10.201.3.0/24 (by the device's mask "
         "255.255.255.0) cannot be a device's address"},
        {{{kDetail + "IPAddress", "10.201.3.0"}}, true,
         "IPAddress=10.201.3.0: the network address of its subnet 10.201.3.0/24 (by the device's mask "
         "255.255.255.0) cannot be a device's address"},
        {{{kDetail + "SubnetMask", "255.255.255.240"}}, true,
         "SubnetMask=255.255.255.240: it makes the device's address 10.201.3.15 the broadcast address of its subnet "
         "10.201.3.0/28, which cannot be a device's address"},
        {{{kDetail + "IPAddress", "10.201.3.1"}}, true,
         "IPAddress=10.201.3.1: this computer's own address cannot be a device's address"},
        {{{kDetail + "IPAddress", "10.201.3.11"}}, true,
         "IPAddress=10.201.3.11: device 00:26:AB:13:01:01 answered the probe from this address; two devices "
         "cannot share it"},
        {{{kDetail + "Gateway", "10.201.4.1"}}, true,
         "Gateway=10.201.4.1: a gateway outside the device's subnet 10.201.3.0/24 cannot be reached (0.0.0.0 means "
         "none)"},
        {{{kDetail + "Gateway", "10.201.3.255"}}, true,
         "Gateway=10.201.3.255: the broadcast address of the device's subnet 10.201.3.0/24 cannot be a gateway "
         "(0.0.0.0 means none)"},
        {{{kDetail + "IPAddress", "10.201.4.10"}}, true,
         "IPAddress=10.201.4.10: the device's gateway 10.201.3.1 would lie outside its subnet 10.201.4.0/24: give a "
         "Gateway in the subnet too, or 0.0.0.0 for none"},
        {{{kDetail + "SubnetMask", "255.255.255.248"}, {kDetail + "IPAddress", "10.201.3.10"}}, true,
         "IPAddress=10.201.3.10: the device's gateway 10.201.3.1 would lie outside its subnet 10.201.3.8/29: give a "
         "Gateway in the subnet too, or 0.0.0.0 for none"},
        {{{kDetail + "IPAddress", "10.201.4.10"}, {kDetail + "Gateway", "0.0.0.0"}}, true, nullptr},
        {{{kDetail + "IPAddress", "10.201.3.15"}}, true, nullptr},
        {{{kDetail + "IPAddress", "10.201.3.12"}}, true, nullptr},
        // Settings no value given changes are the device's business.
        {{{kDetail + "Location", "x"}}, true, nullptr},
        // Given together before the device is asked.
        {{{kDetail + "IPAddress", "10.0.1.255"}, {kDetail + "SubnetMask", "255.255.254.0"}}, false,
         "IPAddress=10.0.1.255: the broadcast address of its subnet 10.0.0.0/23 cannot be a device's address"},
        {{{kDetail + "IPAddress", "10.0.0.4"}, {kDetail + "SubnetMask", "255.255.255.252"}}, false,
         "IPAddress=10.0.0.4: the network address of its subnet 10.0.0.4/30 cannot be a device's address"},
        {{{kDetail + "IPAddress", "10.0.0.5"}, {kDetail + "SubnetMask", "255.255.255.252"}}, false, nullptr},
        {{{kDetail + "IPAddress", "10.0.0.255"}, {kDetail + "SubnetMask", "255.255.0.0"}}, false, nullptr},
        {{{kDetail + "IPAddress", "10.201.3.255"}}, false, nullptr},
        {{{kDetail + "Gateway", "10.201.4.1"}}, false, nullptr},
    };
    for (const auto& entry : cases) {
        std::string strError;
        const bool bAccepted = CVLNetValueCheck::CheckSettings(
            m_SetDetail, entry.bRead ? kRead : std::map<std::string, std::string>(), entry.given, neighbours,
            strError);
        EXPECT_EQ(entry.szRefused == nullptr, bAccepted) << entry.given[0].first << "=" << entry.given[0].second;
        EXPECT_EQ(entry.szRefused != nullptr ? kDetail + entry.szRefused : "", strError);
    }
    // Before the probe, the values given together are judged so.
    Assignments network = {{kDetail + "SubnetMask", "255.255.255.0"}, {kDetail + "IPAddress", "10.0.0.0"}};
    std::string strError;
    EXPECT_FALSE(CVLNetValueCheck::Check(m_SetDetail, "SetDetail", network, strError));
    EXPECT_EQ(kDetail + "IPAddress=10.0.0.0: the network address of its subnet 10.0.0.0/24 cannot be a device's address",
              strError);
}

// A password goes out only from --password, --password-file or the prompt:
// its field is never a PATH=VALUE target, even where the definitions give
// it a property.
TEST_F(VLNetValueCheck, APasswordFieldIsNeverAPathValueTarget)
{
    const std::string strBin = getenv("VL_TEST_BIN_DIR");
    const std::string strDir = "/tmp/vlnet_password_field_" + std::to_string(getpid());
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
