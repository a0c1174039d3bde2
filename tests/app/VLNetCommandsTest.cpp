// vlnet's commands run in the program's own process, in a namespace with
// two networks of one emulated device each, where a test can make threads fail to start.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "app/VLNetCommands.h"
#include "app/VLNetOptions.h"
#include "app/VLNetSession.h"
#include "cm/VLCMApi.h"
#include "modules/VLModuleLibraries.h"
#include "modules/sock/VLSockRecvThread.h"
#include "tests/support/DeviceNetworks.h"
#include "tests/support/NeedsNamespaces.h"
#include "tests/support/ThreadStartFault.h"

namespace {
// Runs "vlnet probe" in the computer's namespace while the first nCount
// sockets' receive threads (all, when negative) cannot start; its status,
// a newline and what it said on standard error.
std::string ProbeWithoutReceiveThreads(CDeviceNetworks& networks, int nCount)
{
    return networks.GetNetwork().RunIn(CDeviceNetworks::kComputer, [nCount]() {
        // The resources laid out beside the test programs.
        std::string strBin = TestEmulatorProgram();
        strBin.erase(strBin.rfind('/'));
        FILE* pErrors = tmpfile();
        if (pErrors == nullptr || !freopen("/dev/null", "w", stdout))
            return std::string("FAIL:no file for standard error");
        fflush(stderr);
        dup2(fileno(pErrors), STDERR_FILENO);
        CVLCMApi::SetModuleLibraries(VLRegisterModuleLibraries);
        TThreadStartFault<CVLSockRecvThread> fault(EAGAIN, nCount);
        int nStatus = -1;
        {
            CVLNetSession session;
            std::string strError;
            if (session.Initialize(strBin + "/../share/vlnet", strError) != VLPFW_RESULT_SUCCESS)
                return "FAIL:" + strError;
            const char* const argv[] = {"vlnet", "probe"};
            CVLNetOptions options;
            if (!options.Parse(2, argv))
                return "FAIL:" + options.GetErrorText();
            nStatus = CVLNetCommands::Find("probe")->pfnRun(session, options);
            session.Terminate();
        }
        fflush(stderr);
        std::string strResult = std::to_string(nStatus) + "\n";
        rewind(pErrors);
        char buffer[4096];
        size_t nRead;
        while ((nRead = fread(buffer, 1, sizeof(buffer), pErrors)) > 0)
            strResult.append(buffer, nRead);
        return strResult;
    });
}
}  // namespace

// A probe that cannot listen for the replies fails, saying so, rather than
// list nobody as if nobody answered; one that heard only some of its
// broadcasts says its list may be short.
TEST(VLNetCommands, AProbeThatCannotListenForRepliesSaysSo)
{
    VL_NEEDS_NAMESPACES();
    CDeviceNetworks networks;
    std::string strError;
    ASSERT_TRUE(networks.AddComputer(&strError)) << strError;
    ASSERT_TRUE(networks.AddNetwork(1, {""}, &strError)) << strError;
    ASSERT_TRUE(networks.AddNetwork(2, {""}, &strError)) << strError;

    EXPECT_EQ("1\nvlnet: the probe could not listen for replies: its receive threads could not start: resource "
              "temporarily unavailable\n",
              ProbeWithoutReceiveThreads(networks, -1));
    // The limited broadcast and the two networks' directed broadcasts, one deaf.
    std::string strPartly = ProbeWithoutReceiveThreads(networks, 1);
    EXPECT_EQ(0u, strPartly.find("3\n")) << strPartly;
    EXPECT_NE(std::string::npos,
              strPartly.find("vlnet: the probe could not listen for replies to 1 of its 3 broadcasts (their receive "
                             "threads could not start: resource temporarily unavailable): the list may be short\n"))
        << strPartly;
}

// An address not used is said with where it was or why: a reason that
// already says "still" is not said so twice.
TEST(VLNetCommands, AnAddressNotUsedIsSaidOnce)
{
    EXPECT_EQ(
        " but was still waiting for its commands at the time-out",
        CVLNetCommands::NotUsedText(false, true, "still waiting for its commands at the time-out", "was not used"));
    EXPECT_EQ(" but was still in its unicast check at the time-out",
              CVLNetCommands::NotUsedText(true, true, "in its unicast check at the time-out", "was not used"));
    EXPECT_EQ(" but not by unicast: no answer to unicast",
              CVLNetCommands::NotUsedText(true, false, "no answer to unicast", "was not used"));
    EXPECT_EQ(" but was not listed: answered unicast, but not with its MAC",
              CVLNetCommands::NotUsedText(false, false, "answered unicast, but not with its MAC", "was not listed"));
}
