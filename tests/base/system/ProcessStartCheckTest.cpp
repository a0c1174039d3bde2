#include <gtest/gtest.h>

#include <cstdint>
#include <fcntl.h>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/TestSupport.h"
#include "base/core/VLFileSystem.h"
#include "base/system/VLProcessStartCheck.h"

namespace {

class ProcessStartCheckTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strName = "vlpsc_" + std::to_string(getpid()) + "_" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_strPath = "/tmp/" + m_strName;
        unlink(m_strPath.c_str());
    }
    void TearDown() override { unlink(m_strPath.c_str()); }
    void WriteRaw(const void* p, size_t n)
    {
        int fd = open(m_strPath.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
        ASSERT_NE(-1, fd);
        ASSERT_EQ(static_cast<ssize_t>(n), write(fd, p, n));
        close(fd);
    }
    void WriteId(int32_t nId) { WriteRaw(&nId, sizeof(nId)); }
    bool Exists() { return access(m_strPath.c_str(), F_OK) == 0; }
    int32_t StoredId()
    {
        int32_t nId = 0;
        int fd = open(m_strPath.c_str(), O_RDONLY);
        if (fd == -1)
            return -100;
        if (read(fd, &nId, sizeof(nId)) != sizeof(nId))
            nId = -200;
        close(fd);
        return nId;
    }
    std::string m_strName;
    std::string m_strPath;
};

}  // namespace

TEST(ProcessStartCheckPath, SeparatorsBecomeDashes)
{
    EXPECT_EQ("/tmp/a-b-c-d", Bytes(CVLProcessStartCheck::GetLockFilePath("a/b:c\\d")));
    EXPECT_EQ("/tmp/", Bytes(CVLProcessStartCheck::GetLockFilePath("")));
}

TEST_F(ProcessStartCheckTest, LockOwnAndUnlock)
{
    VL_LONG nId = 5;
    EXPECT_EQ(2, CVLProcessStartCheck::ReadLockFile(m_strPath.c_str(), nId));
    EXPECT_EQ(-1, nId);
    EXPECT_FALSE(CVLProcessStartCheck::IsLocked(m_strName.c_str()));
    EXPECT_TRUE(CVLProcessStartCheck::Lock(m_strName.c_str(), true));
    EXPECT_EQ(static_cast<int32_t>(getpid()), StoredId());
    struct stat st;
    ASSERT_EQ(0, stat(m_strPath.c_str(), &st));
    EXPECT_EQ(4, st.st_size);
    EXPECT_TRUE(CVLProcessStartCheck::IsLocked(m_strName.c_str()));
    EXPECT_EQ(0, CVLProcessStartCheck::ReadLockFile(m_strPath.c_str(), nId));
    EXPECT_EQ(static_cast<VL_LONG>(getpid()), nId);
    // Held by this process: true with or without the own flag.
    EXPECT_TRUE(CVLProcessStartCheck::Lock(m_strName.c_str(), true));
    EXPECT_TRUE(CVLProcessStartCheck::Lock(m_strName.c_str(), false));
    CVLProcessStartCheck::Unlock(m_strName.c_str());
    EXPECT_FALSE(Exists());
}

TEST_F(ProcessStartCheckTest, LiveOwnerInAnotherProcess)
{
    int toParent[2];
    int toChild[2];
    ASSERT_EQ(0, pipe(toParent));
    ASSERT_EQ(0, pipe(toChild));
    pid_t pid = fork();
    ASSERT_NE(-1, pid);
    if (pid == 0) {
        char c = CVLProcessStartCheck::Lock(m_strName.c_str(), true) ? 'y' : 'n';
        (void)!write(toParent[1], &c, 1);
        (void)!read(toChild[0], &c, 1);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(1, read(toParent[0], &c, 1));
    EXPECT_EQ('y', c);
    EXPECT_TRUE(CVLProcessStartCheck::IsLocked(m_strName.c_str()));
    EXPECT_FALSE(CVLProcessStartCheck::Lock(m_strName.c_str(), true));
    EXPECT_TRUE(CVLProcessStartCheck::Lock(m_strName.c_str(), false));
    CVLProcessStartCheck::Unlock(m_strName.c_str());
    EXPECT_TRUE(Exists());
    EXPECT_EQ(static_cast<int32_t>(pid), StoredId());

    // Once the holder has ended, its file is stale: removed, and Lock takes it.
    ASSERT_EQ(1, write(toChild[1], "x", 1));
    int nStatus = 0;
    ASSERT_EQ(pid, waitpid(pid, &nStatus, 0));
    EXPECT_FALSE(CVLProcessStartCheck::IsLocked(m_strName.c_str()));
    EXPECT_FALSE(Exists());
    close(toParent[0]);
    close(toParent[1]);
    close(toChild[0]);
    close(toChild[1]);
}

TEST_F(ProcessStartCheckTest, StaleOwnerIsTakenOverByLockAndUnlock)
{
    pid_t pid = fork();
    ASSERT_NE(-1, pid);
    if (pid == 0)
        _exit(CVLProcessStartCheck::Lock(m_strName.c_str(), true) ? 0 : 1);
    int nStatus = 0;
    ASSERT_EQ(pid, waitpid(pid, &nStatus, 0));
    ASSERT_TRUE(WIFEXITED(nStatus));
    ASSERT_EQ(0, WEXITSTATUS(nStatus));
    ASSERT_EQ(static_cast<int32_t>(pid), StoredId());
    EXPECT_TRUE(CVLProcessStartCheck::Lock(m_strName.c_str(), true));
    EXPECT_EQ(static_cast<int32_t>(getpid()), StoredId());

    WriteId(static_cast<int32_t>(pid));
    CVLProcessStartCheck::Unlock(m_strName.c_str());
    EXPECT_FALSE(Exists());
}

TEST_F(ProcessStartCheckTest, InvalidIdsAndSizesAreStale)
{
    VL_LONG nId;
    for (int32_t nBad : {0, -1, INT32_MIN}) {
        WriteId(nBad);
        EXPECT_FALSE(CVLProcessStartCheck::IsLocked(m_strName.c_str())) << nBad;
        EXPECT_FALSE(Exists()) << nBad;
        WriteId(nBad);
        EXPECT_TRUE(CVLProcessStartCheck::Lock(m_strName.c_str(), true)) << nBad;
        EXPECT_EQ(static_cast<int32_t>(getpid()), StoredId());
    }
    // A short file and an over-long one hold no id.
    int32_t nOwn = static_cast<int32_t>(getpid());
    WriteRaw(&nOwn, 2);
    EXPECT_EQ(2, CVLProcessStartCheck::ReadLockFile(m_strPath.c_str(), nId));
    EXPECT_EQ(-1, nId);
    EXPECT_FALSE(Exists());
    int32_t pair[2] = {nOwn, nOwn};
    WriteRaw(pair, sizeof(pair));
    EXPECT_EQ(2, CVLProcessStartCheck::ReadLockFile(m_strPath.c_str(), nId));
    EXPECT_FALSE(Exists());
}

TEST_F(ProcessStartCheckTest, EmptyOrUnreadableFileBlocksLock)
{
    VL_LONG nId;
    WriteRaw("", 0);
    EXPECT_EQ(1, CVLProcessStartCheck::ReadLockFile(m_strPath.c_str(), nId));
    EXPECT_FALSE(CVLProcessStartCheck::IsLocked(m_strName.c_str()));
    EXPECT_FALSE(CVLProcessStartCheck::Lock(m_strName.c_str(), false));
    EXPECT_TRUE(Exists());
    unlink(m_strPath.c_str());
    // A folder at the path cannot be read.
    ASSERT_EQ(0, mkdir(m_strPath.c_str(), 0755));
    EXPECT_EQ(1, CVLProcessStartCheck::ReadLockFile(m_strPath.c_str(), nId));
    EXPECT_FALSE(CVLProcessStartCheck::Lock(m_strName.c_str(), false));
    rmdir(m_strPath.c_str());
    EXPECT_EQ(1, CVLProcessStartCheck::ReadLockFile(nullptr, nId));
}
