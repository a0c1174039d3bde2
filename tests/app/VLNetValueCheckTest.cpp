// The check of vlnet run's PATH=VALUE arguments against the project's own
// definitions, as the program loads them (no probe is started).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "app/VLNetPropertyLines.h"
#include "app/VLNetSession.h"
#include "app/VLNetValueCheck.h"
#include "cm/VLCMApi.h"
#include "modules/VLModuleLibraries.h"

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
    const std::string strLong(300, 'a');
    const std::string strCutUmlaut = std::string(63, 'x') + "\xC3\xBC";
    struct Bad
    {
        std::string strPath, strValue, strReason;
    };
    const Bad bad[] = {
        {kDetail + "Locaton", "typo", "not a value that SetDetail sends; it sends " + kDetail + "IPMode, "},
        {kDetail + "WebPort", "70000", "a value from 0 to 65535"},
        {kDetail + "WebPort", "-1", "a value from 0 to 65535"},
        {kDetail + "IPMode", "abc", "a value from 0 to 255"},
        {kDetail + "IPMode", "256", "a value from 0 to 255"},
        {kDetail + "Gateway", "localhost", "an IPv4 address of four decimal parts 0-255"},
        {kDetail + "Gateway", "10.88.1", "an IPv4 address of four decimal parts 0-255"},
        {kDetail + "Gateway", "999.1.1.1", "an IPv4 address of four decimal parts 0-255"},
        {kDetail + "Location", strLong, "at most 64 bytes, not 300"},
        {kDetail + "Location", strCutUmlaut, "at most 64 bytes, not 65"},
        {kDetail + "Location", "hex:414", "hex: needs an even number of hexadecimal digits"},
        {kDetail + "Location", "hex:zz", "hex: needs an even number of hexadecimal digits"},
        // The device's own MAC address goes out as the addressee, not as a setting.
        {"MACAddress", "0026AB000002", "not a value that SetDetail sends"},
    };
    for (const Bad& entry : bad) {
        std::string strValue = entry.strValue;
        std::string strError = Check(entry.strPath, strValue);
        EXPECT_EQ(0u, strError.find(entry.strPath + "=" + entry.strValue + ": " + entry.strReason))
            << entry.strPath << "=" << entry.strValue << "\n"
            << strError;
    }

    struct Good
    {
        std::string strPath, strValue, strSet;
    };
    const Good good[] = {
        {kDetail + "IPMode", "2", "2"},
        {kDetail + "WebPort", "65535", "65535"},
        {kDetail + "WebPort", "0080", "80"},
        // Leading zeros read as decimal, never as octal.
        {kDetail + "Gateway", "010.088.1.1", "10.88.1.1"},
        {kDetail + "IPAddress", "255.255.255.255", "255.255.255.255"},
        {kDetail + "DNSServer", "0.0.0.0", "0.0.0.0"},
        {kDetail + "Location", std::string(64, 'x'), std::string(64, 'x')},
        {kDetail + "Location", std::string(62, 'x') + "\xC3\xBC", std::string(62, 'x') + "\xC3\xBC"},
        {kDetail + "Location", "hex:c3BC", "hex:c3BC"},
        {kDetail + "NodeName", "", ""},
        {kDetail + "Contact", "Room 4 = east", "Room 4 = east"},
    };
    for (const Good& entry : good) {
        std::string strValue = entry.strValue;
        EXPECT_EQ("", Check(entry.strPath, strValue)) << entry.strPath << "=" << entry.strValue;
        EXPECT_EQ(entry.strSet, strValue) << entry.strPath << "=" << entry.strValue;
    }

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

    // Every field of every layout version, each once.
    std::vector<std::string> paths;
    for (const CVLNetValueCheck::SField& field : m_SetDetail)
        paths.push_back(field.strPath);
    const std::vector<std::string> want = {kDetail + "IPMode",   kDetail + "IPAddress", kDetail + "SubnetMask",
                                           kDetail + "Gateway",  kDetail + "WebPort",   kDetail + "NodeName",
                                           kDetail + "Location", kDetail + "Contact",   kDetail + "DNSServer"};
    EXPECT_EQ(want, paths);
}
