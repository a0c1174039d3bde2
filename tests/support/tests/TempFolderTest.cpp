#include <gtest/gtest.h>

#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/support/TempFolder.h"

namespace {
bool IsFolder(const std::string& strPath)
{
    struct stat st;
    return stat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Open to all, as /tmp is: a test runs a program as another user on files
// in it.
bool OpenToAll(const std::string& strPath)
{
    struct stat st;
    return stat(strPath.c_str(), &st) == 0 && (st.st_mode & 0777) == 0755;
}
}  // namespace

// The run's folder (TMPDIR, as tools/test-all.sh sets it) holds what the
// tests make.
TEST(TempFolder, IsTheRunsFolder)
{
    char szRun[] = "/tmp/vltempfolder-run-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(szRun));
    const char* szKept = getenv("TMPDIR");
    const std::string strKept = szKept != nullptr ? szKept : "";
    setenv("TMPDIR", szRun, 1);
    CTempPath szDir("vlnamed-XXXXXX");
    EXPECT_EQ(szRun, TestTempFolder());
    EXPECT_NE(nullptr, mkdtemp(szDir));
    EXPECT_EQ(0u, std::string(szDir).rfind(std::string(szRun) + "/vlnamed-", 0)) << std::string(szDir);
    EXPECT_TRUE(IsFolder(szDir));
    if (szKept != nullptr)
        setenv("TMPDIR", strKept.c_str(), 1);
    else
        unsetenv("TMPDIR");
    EXPECT_EQ(0, std::system(("rm -rf " + std::string(szRun)).c_str()));
}

// Run by the next test as a program of its own, without TMPDIR: a forked
// child that asks first (a test body run in a namespace, which ends with
// _exit, running no exit handler) uses the program's folder, open to all.
TEST(TempFolder, DISABLED_OfAProgramWithoutTheRunsFolder)
{
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const std::string strChild = TestTempFolder() + "\n";
        std::ofstream(TestTempFolder() + "/child") << "x";
        _exit(write(fds[1], strChild.data(), strChild.size()) < 0 ? 1 : 0);
    }
    close(fds[1]);
    std::string strChild;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        strChild += c;
    close(fds[0]);
    int nStatus = 0;
    ASSERT_EQ(pid, waitpid(pid, &nStatus, 0));
    std::printf("folder: %s\n", strChild.c_str());
    EXPECT_EQ(strChild, TestTempFolder()) << "the child used a folder of its own";
    EXPECT_EQ(0u, strChild.rfind("/tmp/vltest-", 0));
    EXPECT_TRUE(OpenToAll(strChild));
}

// Without the run's folder, a test program makes one of its own as it
// starts, which goes when the program exits, with what its children put
// there.
TEST(TempFolder, OfAProgramWithoutTheRunsFolderGoesWithIt)
{
    char szSelf[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", szSelf, sizeof(szSelf) - 1), 0);
    FILE* pRun = popen(("env -u TMPDIR " + std::string(szSelf) +
                        " --gtest_also_run_disabled_tests --gtest_filter=TempFolder.DISABLED_* 2>&1")
                           .c_str(),
                       "r");
    ASSERT_NE(nullptr, pRun);
    std::string strOutput;
    char szBuffer[256];
    while (fgets(szBuffer, sizeof(szBuffer), pRun) != nullptr)
        strOutput += szBuffer;
    const int nStatus = pclose(pRun);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << strOutput;
    const size_t nAt = strOutput.find("folder: ");
    ASSERT_NE(std::string::npos, nAt) << strOutput;
    const std::string strFolder = strOutput.substr(nAt + 8, strOutput.find('\n', nAt) - nAt - 8);
    EXPECT_EQ(0u, strFolder.rfind("/tmp/vltest-", 0)) << strOutput;
    EXPECT_FALSE(IsFolder(strFolder)) << strFolder << " is left after its program exited";
}
