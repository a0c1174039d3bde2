#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/TestSupport.h"
#include "base/stream/VLFileLock.h"
#include "base/core/VLFileSystem.h"
#include "tests/support/TempFolder.h"

namespace {

class FileSystemTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CTempPath tmpl("vlfs_XXXXXX");
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        m_strDir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + m_strDir + "'").c_str()); }
    std::string P(const char* sz) const { return m_strDir + "/" + sz; }
    void Touch(const std::string& s)
    {
        FILE* fp = fopen(s.c_str(), "w");
        ASSERT_NE(nullptr, fp);
        fclose(fp);
    }
    std::string m_strDir;
};

}  // namespace

TEST_F(FileSystemTest, ExistsByKindReadOnlyRemoveRename)
{
    std::string f = P("f");
    Touch(f);
    EXPECT_TRUE(VLFileExists(m_strDir.c_str(), 1));
    EXPECT_FALSE(VLFileExists(m_strDir.c_str(), 0));
    EXPECT_TRUE(VLFileExists(m_strDir.c_str(), 2));
    EXPECT_TRUE(VLFileExists(f.c_str(), 0));
    EXPECT_FALSE(VLFileExists(f.c_str(), 1));
    EXPECT_FALSE(VLFileExists(P("missing").c_str(), 2));

    chmod(f.c_str(), 0444);
    EXPECT_TRUE(VLIsReadOnlyFile(f.c_str()));
    chmod(f.c_str(), 0644);
    EXPECT_FALSE(VLIsReadOnlyFile(f.c_str()));

    EXPECT_TRUE(VLRenameFile(P("g").c_str(), f.c_str()));
    EXPECT_TRUE(VLFileExists(P("g").c_str(), 0));
    VL_ULONG nErr = 0;
    EXPECT_TRUE(VLRemoveFile(P("g").c_str(), &nErr));
    EXPECT_FALSE(VLRemoveFile(P("g").c_str(), &nErr));
    EXPECT_EQ(static_cast<VL_ULONG>(ENOENT), nErr);
    EXPECT_FALSE(VLRemoveFile(P("g").c_str(), nullptr));
}

TEST_F(FileSystemTest, MakeDirectoriesNeedsFolders)
{
    std::string deep = P("a/b/c");
    EXPECT_TRUE(VLMakeDirectories(deep.c_str()));
    EXPECT_TRUE(VLFileExists(deep.c_str(), 1));
    EXPECT_TRUE(VLMakeDirectories((deep + "/").c_str()));
    Touch(P("plain"));
    EXPECT_FALSE(VLMakeDirectories(P("plain/x").c_str()));
    // The last part exists as a plain file: no folder, no success.
    EXPECT_FALSE(VLMakeDirectories(P("plain").c_str()));
    EXPECT_FALSE(VLRemoveDirectory(P("a").c_str()));
    EXPECT_TRUE(VLRemoveDirectory(deep.c_str()));
}

TEST(FileSystem, PathTexts)
{
    EXPECT_EQ("a/b", Bytes(VLCombinePath("a/", "b")));
    EXPECT_EQ("a/b", Bytes(VLCombinePath("a", "b")));
    EXPECT_EQ("b", Bytes(VLCombinePath("", "b")));
    CVLString folder, name;
    VLSplitPath("a/b/c", folder, name);
    EXPECT_EQ("a/b", Bytes(folder));
    EXPECT_EQ("c", Bytes(name));
    VLSplitPath("c", folder, name);
    EXPECT_EQ("", Bytes(folder));
    EXPECT_EQ("c", Bytes(name));
    VLSplitPath("/c", folder, name);
    EXPECT_EQ("", Bytes(folder));
    EXPECT_EQ("/c", Bytes(name));
    VLSplitPath("dir/", folder, name);
    EXPECT_EQ("dir", Bytes(folder));
    EXPECT_EQ("", Bytes(name));

    std::string exe = Bytes(VLGetExecutablePath());
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(exe.substr(0, exe.rfind('/')) + "/Resources", Bytes(VLGetResourcesPath()));

    std::string oldXdg = getenv("XDG_CONFIG_HOME") ? getenv("XDG_CONFIG_HOME") : "";
    setenv("XDG_CONFIG_HOME", "/tmp/xdgtest/", 1);
    EXPECT_EQ("/tmp/xdgtest", Bytes(VLGetPreferencesPath()));
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(std::string(getenv("HOME")) + "/.config", Bytes(VLGetPreferencesPath()));
    if (!oldXdg.empty())
        setenv("XDG_CONFIG_HOME", oldXdg.c_str(), 1);

    VLSetStoredPath("/x/y");
    VLSetStoredPath("");
    EXPECT_EQ("/x/y", Bytes(VLGetStoredPath()));
    EXPECT_GT(VLGetFreeDiskSpace("/tmp"), 0u);
    EXPECT_EQ(0u, VLGetFreeDiskSpace("/no/such/volume/here"));
}

TEST_F(FileSystemTest, CheckFileAccess)
{
    std::string f = P("new/sub/file");
    EXPECT_FALSE(VLCheckFileAccess(f.c_str(), "r"));
    EXPECT_TRUE(VLCheckFileAccess(f.c_str(), "W"));
    EXPECT_TRUE(VLFileExists(f.c_str(), 0));
    EXPECT_TRUE(VLCheckFileAccess(f.c_str(), "rw"));
    EXPECT_FALSE(VLCheckFileAccess(f.c_str(), ""));
    chmod(f.c_str(), 0400);
    EXPECT_TRUE(VLCheckFileAccess(f.c_str(), "R"));
    EXPECT_FALSE(VLCheckFileAccess(f.c_str(), "w"));
}

TEST_F(FileSystemTest, FileLockExcludesOtherProcessAndClosesOnce)
{
    std::string f = P("lock");
    {
        FILE* fp = fopen(f.c_str(), "w");
        fputs("keep", fp);
        fclose(fp);
    }
    CVLFileLock lock(f.c_str());
    ASSERT_TRUE(lock.IsOpen());
    ASSERT_TRUE(lock.Lock());
    pid_t pid = fork();
    if (pid == 0) {
        CVLFileLock other;
        if (!other.Open(f.c_str()))
            _exit(1);
        int fd = open(f.c_str(), O_RDWR);
        _exit(flock(fd, LOCK_EX | LOCK_NB) == 0 ? 2 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_TRUE(lock.Unlock());
    EXPECT_TRUE(lock.Close());
    EXPECT_FALSE(lock.IsOpen());
    EXPECT_FALSE(lock.Close());
    // A descriptor reused by someone else is not closed by the lock's destructor.
    int fd = open(f.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    {
        CVLFileLock dead(f.c_str());
        dead.Close();
    }
    char buf[4];
    EXPECT_EQ(4, read(fd, buf, 4));
    close(fd);
}
