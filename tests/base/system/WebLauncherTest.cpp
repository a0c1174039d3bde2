#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/system/VLWebLauncher.h"
#include "tests/support/TempFolder.h"

namespace {

// A folder holding a stub "xdg-open", put first on PATH while the test runs.
class WebLauncherTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CTempPath tmpl("vlweb_XXXXXX");
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        m_strDir = tmpl;
        const char* sz = getenv("PATH");
        m_bHadPath = sz != nullptr;
        m_strOldPath = sz != nullptr ? sz : "";
        setenv("PATH", (m_strDir + ":" + m_strOldPath).c_str(), 1);
    }
    void TearDown() override
    {
        if (m_bHadPath)
            setenv("PATH", m_strOldPath.c_str(), 1);
        else
            unsetenv("PATH");
        std::system(("rm -rf '" + m_strDir + "'").c_str());
    }
    // The stub records its argument count and each argument on a line.
    void WriteStub(int nExitStatus)
    {
        std::string strPath = m_strDir + "/xdg-open";
        std::ofstream out(strPath);
        out << "#!/bin/sh\n"
            << "out='" << m_strDir << "/args'\n"
            << "echo \"$#\" > \"$out\"\n"
            << "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$out\"; done\n"
            << "exit " << nExitStatus << "\n";
        out.close();
        chmod(strPath.c_str(), 0755);
    }
    std::string Recorded()
    {
        std::ifstream in(m_strDir + "/args");
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string m_strDir;
    std::string m_strOldPath;
    bool m_bHadPath = false;
};

}  // namespace

TEST_F(WebLauncherTest, PassesTheUrlWholeAsOneArgument)
{
    WriteStub(0);
    CVLWebLauncher launcher;
    const char* szURL = "http://192.0.2.1/a b;c|d&e$(f)`g`'h\"?x=1*";
    EXPECT_TRUE(launcher.Launch(szURL));
    EXPECT_EQ(std::string("1\n") + szURL + "\n", Recorded());

    EXPECT_TRUE(launcher.Launch("http://example.invalid/\xe6\x97\xa5"));
    EXPECT_EQ("1\nhttp://example.invalid/\xe6\x97\xa5\n", Recorded());
    EXPECT_TRUE(launcher.SetBrowser("anything"));
}

TEST_F(WebLauncherTest, FailuresGiveFalse)
{
    CVLWebLauncher launcher;
    // No handler found on PATH: the start fails.
    setenv("PATH", m_strDir.c_str(), 1);
    EXPECT_FALSE(launcher.Launch("http://192.0.2.1/"));
    EXPECT_EQ("no xdg-open on the PATH", launcher.GetFailureText());
    // A handler that refuses the URL.
    WriteStub(3);
    EXPECT_FALSE(launcher.Launch("http://192.0.2.1/"));
    EXPECT_EQ("1\nhttp://192.0.2.1/\n", Recorded());
    EXPECT_EQ("xdg-open exited with status 3", launcher.GetFailureText());
    // Nothing to open.
    WriteStub(0);
    unlink((m_strDir + "/args").c_str());
    EXPECT_FALSE(launcher.Launch(""));
    EXPECT_FALSE(launcher.Launch(nullptr));
    EXPECT_EQ("", Recorded());
    EXPECT_TRUE(launcher.Launch("http://192.0.2.1/"));
    EXPECT_EQ("", launcher.GetFailureText());
}

// The browser starts with no signal blocked, even when the launching thread
// blocks some (vlnet leaves its stop signals to one thread).
TEST_F(WebLauncherTest, TheBrowserStartsWithNoSignalBlocked)
{
    std::string strPath = m_strDir + "/xdg-open";
    {
        std::ofstream out(strPath);
        // Not a shell, which would clear its mask as it starts.
        out << "#!/usr/bin/awk -f\nBEGIN { while ((getline line < \"/proc/self/status\") > 0) if (line ~ /^SigBlk/) "
            << "print line > \"" << m_strDir << "/args\" }\n";
    }
    chmod(strPath.c_str(), 0755);
    sigset_t signals, old;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, &old);
    CVLWebLauncher launcher;
    bool bLaunched = launcher.Launch("http://192.0.2.1/");
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    EXPECT_TRUE(bLaunched);
    EXPECT_EQ("SigBlk:\t0000000000000000\n", Recorded());
}
