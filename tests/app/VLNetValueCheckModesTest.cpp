// A DHCP or link-local device (IPMode 1 or 2) takes its mask and gateway
// from its network: given with such a mode, they are not judged as a
// static device's would be; its address, which it keeps when no server
// answers, still is.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/VLNetSession.h"
#include "app/VLNetValueCheck.h"
#include "cm/VLCMApi.h"
#include "modules/VLModuleLibraries.h"

namespace {
typedef std::vector<std::pair<std::string, std::string>> Assignments;

const std::string kDetail = "VLPC.2B_5A10_01.";

class VLNetValueCheckModes : public ::testing::Test
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

TEST_F(VLNetValueCheckModes, MaskAndGatewayAreNotJudgedAsStaticInDHCPOrLinkLocal)
{
    // A mask with a gap and a loopback gateway: no static device may hold them.
    const Assignments kOdd = {{kDetail + "SubnetMask", "255.0.255.0"}, {kDetail + "Gateway", "127.0.0.1"}};
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
        // Its address is judged still.
        given[1].second = "127.0.0.1";
        EXPECT_EQ("before: " + kDetail + "IPAddress=127.0.0.1: a loopback address (127.0.0.0/8) cannot be a device's address",
                  Judge(given, "0"));
    }
    // Static, given or read: refused, each before the probe where it can be.
    Assignments given = {{kDetail + "IPMode", "0"}, {kDetail + "IPAddress", "10.201.3.20"}};
    given.insert(given.end(), kOdd.begin(), kOdd.end());
    EXPECT_EQ("before: " + kDetail +
                  "SubnetMask=255.0.255.0: a subnet mask's one-bits must be contiguous, as in 255.255.255.0",
              Judge(given, "1"));
    Assignments read = {{kDetail + "IPAddress", "10.201.3.20"}};
    read.insert(read.end(), kOdd.begin(), kOdd.end());
    EXPECT_EQ("read: " + kDetail +
                  "SubnetMask=255.0.255.0: a subnet mask's one-bits must be contiguous, as in 255.255.255.0",
              Judge(read, "0"));
}
