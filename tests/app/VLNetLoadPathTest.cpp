// The programs never run code from the folder they are started in: a library
// planted there (or in a folder a relative run path would name), under every
// name they load at start, is not loaded by "vlnet --help" nor by a probe.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "base/core/VLFileSystem.h"
#include "tests/support/NeedsNamespaces.h"
#include "tests/support/TestNetwork.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TempFolder.h"

namespace {
// The folders a relative run path ("", ".", "lib", "../lib") would name
// from the start folder ROOT/run, with the library under each loaded name.
std::string PlantIn(const std::string& strRoot)
{
    std::string strCommand = "set -e; cd '" + strRoot +
                             "'; mkdir -p run/lib lib; for d in run run/lib lib; do "
                             "for n in iconv libiconv.so VLBoost libVLBoost.so libcrypto.so.3 libcrypto.so; do "
                             "cp '" VL_TEST_PLANTED_LIBRARY "' $d/$n; done; done";
    return system(strCommand.c_str()) == 0 ? strRoot + "/run" : std::string();
}
}  // namespace

TEST(VLNetLoadPath, NothingIsLoadedFromTheStartFolder)
{
    const char* szBin = getenv("VL_TEST_BIN_DIR");
    std::string strBin = szBin != nullptr ? szBin : Bytes(VLGetExecutablePath());
    CTempPath szRoot("vlplanted-XXXXXX");
    ASSERT_NE(mkdtemp(szRoot), nullptr);
    std::string strRun = PlantIn(szRoot);
    ASSERT_FALSE(strRun.empty());
    std::string strMark = strRun + "/planted-library-ran";
    std::string strVlnet = "cd '" + strRun + "' && exec '" + strBin + "/vlnet' ";

    EXPECT_EQ(0, system((strVlnet + "--help >/dev/null").c_str()));
    EXPECT_NE(0, access(strMark.c_str(), F_OK)) << "loaded for --help";

    // The probe in a namespace of its own, with nothing but the loopback.
    std::string strSkip = CTestNetwork::Unavailable();
    if (strSkip.empty()) {
        unlink(strMark.c_str());
        CTestNetwork net;
        ASSERT_TRUE(net.AddHost("pc"));
        std::string strOutput, strErrors;
        int nStatus = net.RunProgram(
            "pc", {"/bin/sh", "-c", strVlnet + "probe --timeout 1 --resources '" + strBin + "/../share/vlnet'"},
            &strOutput, &strErrors);
        EXPECT_EQ(1, nStatus) << strErrors;
        EXPECT_NE(std::string::npos, strErrors.find("no probe could be sent")) << strErrors;
        EXPECT_NE(0, access(strMark.c_str(), F_OK)) << "loaded for probe";
    }
    system(("rm -rf '" + std::string(szRoot) + "'").c_str());
    if (!strSkip.empty())
        VL_NO_NAMESPACES("probe not run: " + strSkip);
}
