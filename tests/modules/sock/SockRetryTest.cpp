// The send retry of the socket instance: the definitions' script decides
// whether a failed send is tried again, up to the count in effect, with
// pauses that a stop cuts short. Sends fail inside a network namespace of
// the test's own that has no route (so nothing leaves the machine).
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "base/core/VLCommunicationException.h"
#include "base/core/VLException.h"
#include "base/core/VLOpenException.h"
#include "base/core/VLStopFunctionException.h"
#include "base/system/VLLocalizeUtility.h"
#include "cm/VLCMApi.h"
#include "cm/VLCMApiConfig.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleParamCollection.h"
#include "modules/sock/VLSock.h"
#include "tests/support/NeedsNamespaces.h"
#include "tests/support/TestNetwork.h"
#include "tests/support/TempFolder.h"

namespace {

// Counts its calls in the constant "tries" and approves when "approve" is "yes".
const char kScripts[] = "bool IsRetryForWriteError(long nError)\n"
                        "{\n"
                        "    long n;\n"
                        "    n = GetConst(\"tries\");\n"
                        "    SetConst(\"tries\", n + 1);\n"
                        "    SetConst(\"error\", nError);\n"
                        "    return GetConst(\"approve\") == \"yes\";\n"
                        "}\n"
                        "bool IsRetryForOpenError(long nError)\n"
                        "{\n"
                        "    long n;\n"
                        "    n = GetConst(\"opens\");\n"
                        "    SetConst(\"opens\", n + 1);\n"
                        "    SetConst(\"error\", nError);\n"
                        "    return true;\n"
                        "}\n";

std::string FailedScripts(CVLModuleController* pController)
{
    std::string strFirst;
    unsigned long nFailed = pController->TakeScriptFailures(strFirst);
    return nFailed == 0 ? "" : " failed scripts=" + std::to_string(nFailed) + " (" + strFirst + ")";
}

// Inside the namespace: a facade with the scripts, a socket instance sending
// to an address without a route, and one Write. Returns "tries=N error=E
// outcome=X", followed by " failed scripts=N" when scripts failed.
std::string SendWithoutRoute(const char* szApprove, const char* szCount, bool bStop, bool bBindElsewhere = false,
                             const char* szScripts = kScripts)
{
    CTempPath szFolder("vlsockXXXXXX");
    if (mkdtemp(szFolder) == nullptr)
        return "FAIL:mkdtemp";
    std::string strFolder = szFolder;
    std::ofstream(strFolder + "/scripts.txt") << szScripts;
    std::ofstream(strFolder + "/mapping.xml") << "<ModuleMapping/>";
    std::ofstream(strFolder + "/vlres201.dat")
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<FileList>\n"
           "  <File name=\"mapping.xml\" type=\"xml\"/>\n  <File name=\"scripts.txt\" type=\"script\"/>\n</FileList>\n";
    std::string strOutcome;
    CVLCMApi api;
    try {
        CVLCMApiConfig config;
        CVLLocalizeUtility pathInfo;
        pathInfo.SetRootPath(strFolder.c_str());
        pathInfo.SetDefaultFolder(".");
        config.SetPathInfo(pathInfo);
        config.SetFileListName("vlres201.dat");
        api.Initialize(&config, nullptr);
        CVLModuleController* pController = api.GetModuleController();
        pController->SetConst("tries", "0", nullptr, nullptr);
        pController->SetConst("opens", "0", nullptr, nullptr);
        if (bBindElsewhere)
            pController->SetConst("bindAddress", "10.9.9.9", nullptr, nullptr); // not an address of this host
        pController->SetConst("approve", szApprove, nullptr, nullptr);
        pController->SetConst("toAddress", "10.9.9.9", nullptr, nullptr);
        pController->SetConst("toPort", "9", nullptr, nullptr);
        pController->SetConst("Error_65_RetryCount", szCount, nullptr, nullptr);
        pController->SetConst("Error_65_RetryInterval", bStop ? "1000" : "1", nullptr, nullptr);
        CVLModuleParamCollection params;
        params.SetController(pController);
        CVLSock sock;
        sock.CreateInstance(nullptr, &params);
        if (bBindElsewhere) {
            std::string strOpen = "opened";
            try {
                sock.Open(VL_OPEN_WRITE);
            } catch (EVLOpenException* e) {
                strOpen = "open error " + std::to_string(e->GetSystemErrorCode());
                e->Delete();
            }
            CVLString strOpens, strError;
            pController->FindConst("opens", strOpens, nullptr, nullptr);
            pController->FindConst("error", strError, nullptr, nullptr);
            strOpen += sock.IsOpen() ? " open" : " closed";
            strOpen += FailedScripts(pController);
            sock.DestroyInstance(nullptr, &params);
            api.Terminate();
            std::system(("rm -rf '" + strFolder + "'").c_str());
            return std::string("opens=") + strOpens.GetString() + " error=" + strError.GetString() + " " + strOpen;
        }
        sock.Open(VL_OPEN_WRITE);
        std::thread stopper;
        if (bStop)
            stopper = std::thread([&]() {
                usleep(100 * 1000);
                sock.Stop(nullptr, &params);
            });
        try {
            const VL_BYTE data[4] = {1, 2, 3, 4};
            sock.Write(data, sizeof(data));
            strOutcome = "sent";
        } catch (EVLCommunicationException* e) {
            strOutcome = "communication";
            e->Delete();
        } catch (EVLStopFunctionException* e) {
            strOutcome = "stopped";
            e->Delete();
        }
        if (stopper.joinable())
            stopper.join();
        sock.DestroyInstance(nullptr, &params);
        CVLString strTries, strError;
        pController->FindConst("tries", strTries, nullptr, nullptr);
        pController->FindConst("error", strError, nullptr, nullptr);
        strOutcome = std::string("tries=") + strTries.GetString() + " error=" + strError.GetString() +
                     " outcome=" + strOutcome + FailedScripts(pController);
        api.Terminate();
    } catch (EVLException* e) {
        strOutcome = std::string("FAIL:") + e->ToString().GetString();
        e->Delete();
    }
    std::system(("rm -rf '" + strFolder + "'").c_str());
    return strOutcome;
}

class SockRetryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VL_NEEDS_NAMESPACES();
        ASSERT_TRUE(m_Net.AddHost("lonely"));
    }
    CTestNetwork m_Net;
};

} // namespace

TEST_F(SockRetryTest, AnApprovedErrorIsTriedTheCountInEffect)
{
    // ENETUNREACH, 51 as a BSD error number, which the definitions test.
    EXPECT_EQ("tries=3 error=51 outcome=communication",
              m_Net.RunIn("lonely", []() { return SendWithoutRoute("yes", "3", false); }));
    // A count of 1 or less: one attempt only.
    EXPECT_EQ("tries=1 error=51 outcome=communication",
              m_Net.RunIn("lonely", []() { return SendWithoutRoute("yes", "0", false); }));
}

TEST_F(SockRetryTest, ARefusedErrorFailsAtOnce)
{
    EXPECT_EQ("tries=1 error=51 outcome=communication",
              m_Net.RunIn("lonely", []() { return SendWithoutRoute("no", "5", false); }));
}

TEST_F(SockRetryTest, AStopEndsTheRetryPause)
{
    EXPECT_EQ("tries=1 error=51 outcome=stopped",
              m_Net.RunIn("lonely", []() { return SendWithoutRoute("yes", "5", true); }));
}

// The retry scripts are optional: definitions without them retry nothing,
// and no script failed.
TEST_F(SockRetryTest, WithoutRetryScriptsNothingIsRetriedAndNoScriptFailed)
{
    const char* const kOther = "bool Other()\n{\n    return true;\n}\n";
    EXPECT_EQ("tries=0 error= outcome=communication",
              m_Net.RunIn("lonely", [kOther]() { return SendWithoutRoute("yes", "3", false, false, kOther); }));
    EXPECT_EQ("opens=0 error= opened closed",
              m_Net.RunIn("lonely", [kOther]() { return SendWithoutRoute("yes", "3", false, true, kOther); }));
}

TEST_F(SockRetryTest, AnOpenThatKeepsFailingEndsWithErrorSixtyFive)
{
    // The bind fails (EADDRNOTAVAIL, BSD error number 49); the
    // script asks for a retry each time, and the second pass uses up the count.
    EXPECT_EQ("opens=2 error=49 open error 65 closed",
              m_Net.RunIn("lonely", []() { return SendWithoutRoute("yes", "2", false, true); }));
}
