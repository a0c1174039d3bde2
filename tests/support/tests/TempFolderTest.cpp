#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
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
// tests make; without it, each process makes one of its own, open to all,
// which goes when the process exits.
TEST(TempFolder, IsTheRunsElseOneOfTheProcessRemovedAtItsExit)
{
    char szRun[] = "/tmp/vltempfolder-run-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(szRun));
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(fds[0]);
        setenv("TMPDIR", szRun, 1);
        CTempPath szDir("vlnamed-XXXXXX");
        const bool bInRun = TestTempFolder() == szRun && mkdtemp(szDir) != nullptr &&
                            std::string(szDir).rfind(std::string(szRun) + "/vlnamed-", 0) == 0 && IsFolder(szDir);
        unsetenv("TMPDIR");
        const std::string strOwn = TestTempFolder() + "\n";
        const bool bOwn = strOwn.rfind("/tmp/vltest-", 0) == 0 && IsFolder(strOwn.substr(0, strOwn.size() - 1)) &&
                          OpenToAll(strOwn.substr(0, strOwn.size() - 1));
        if (write(fds[1], strOwn.data(), strOwn.size()) < 0)
            _exit(3);
        std::exit(bInRun && bOwn ? 0 : 1);
    }
    close(fds[1]);
    std::string strOwn;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        strOwn += c;
    close(fds[0]);
    int nStatus = 0;
    ASSERT_EQ(pid, waitpid(pid, &nStatus, 0));
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0)
        << "the run's folder or the process's own was not used: " << strOwn;
    EXPECT_FALSE(strOwn.empty());
    EXPECT_FALSE(IsFolder(strOwn)) << strOwn << " is left after its process exited";
    EXPECT_EQ(0, std::system(("rm -rf " + std::string(szRun)).c_str()));
}
