#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/support/TestSupport.h"
#include "base/log/VLLogSender.h"
#include "base/system/VLProcessStartCheck.h"
#include "tests/support/TempFolder.h"

namespace {

std::string UniqueName(const char* szTag)
{
    return std::string("vlch_") + szTag + "_" + std::to_string(getpid());
}

// The test's log receiver: creates the named pipe and reads frames from it.
class CTestReceiver
{
public:
    explicit CTestReceiver(const std::string& strPipeName) : m_strPath("/tmp/" + strPipeName)
    {
        unlink(m_strPath.c_str());
        m_bMade = mkfifo(m_strPath.c_str(), 0600) == 0;
        m_nFile = open(m_strPath.c_str(), O_RDONLY | O_NONBLOCK);
    }
    ~CTestReceiver()
    {
        if (m_nFile != -1)
            close(m_nFile);
        unlink(m_strPath.c_str());
    }
    bool IsReady() const { return m_bMade && m_nFile != -1; }
    // Reads n bytes within the time limit.
    bool ReadBytes(void* p, size_t n, int nMilliseconds = 5000)
    {
        size_t nDone = 0;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMilliseconds);
        while (nDone < n) {
            ssize_t r = read(m_nFile, static_cast<char*>(p) + nDone, n - nDone);
            if (r > 0) {
                nDone += static_cast<size_t>(r);
                continue;
            }
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    bool ReadFrame(std::vector<VL_BYTE>& body)
    {
        uint32_t n = 0;
        if (!ReadBytes(&n, sizeof(n)))
            return false;
        body.resize(n);
        return n == 0 || ReadBytes(body.data(), n);
    }
    std::string m_strPath;
    bool m_bMade = false;
    int m_nFile = -1;
};

// Writes raw bytes into a pipe for the owner side to receive.
void WriteAll(int fd, const void* p, size_t n)
{
    ASSERT_EQ(static_cast<ssize_t>(n), write(fd, p, n));
}

}  // namespace

TEST(LogChannel, LockFileNames)
{
    EXPECT_EQ("LogReciver_app", Bytes(VLMakeLogReceiverName(0, "app", "12")));
    EXPECT_EQ("LogReciver_app_12", Bytes(VLMakeLogReceiverName(1, "app", "12")));
    EXPECT_EQ("LogReciver_app", Bytes(VLMakeLogReceiverName(2, "app", "12")));
    EXPECT_EQ("LogTarget_t", Bytes(VLMakeLogTargetName("t")));
    std::string strName = UniqueName("lk");
    EXPECT_FALSE(VLIsLogTargetLocked(strName.c_str()));
    EXPECT_TRUE(VLCreateLogTargetLock(strName.c_str()));
    EXPECT_TRUE(VLIsLogTargetLocked(strName.c_str()));
    VLRemoveLogTargetLock(strName.c_str());
    EXPECT_FALSE(VLIsLogTargetLocked(strName.c_str()));
    EXPECT_TRUE(VLCreateLogReceiverLock(1, strName.c_str(), "7"));
    EXPECT_TRUE(VLIsLogReceiverLocked(1, strName.c_str(), "7"));
    EXPECT_FALSE(VLIsLogReceiverLocked(0, strName.c_str(), "7"));
    VLRemoveLogReceiverLock(1, strName.c_str(), "7");
    EXPECT_FALSE(VLIsLogReceiverLocked(1, strName.c_str(), "7"));
}

TEST(LogChannel, SenderToTestReceiverRoundTrip)
{
    std::string strName = UniqueName("rt");
    CTestReceiver receiver(strName + "_42");
    ASSERT_TRUE(receiver.IsReady());
    // A live receiver (this process) holds the lock: Start starts nothing.
    ASSERT_TRUE(VLCreateLogReceiverLock(1, strName.c_str(), "42"));
    CVLLogSender sender;
    ASSERT_TRUE(sender.Start(1, strName.c_str(), "", "42"));

    CVLLogPacket p;
    ASSERT_TRUE(p.CreateType8("abc"));
    ASSERT_TRUE(sender.Send(p));
    CVLLogPacket q;
    ASSERT_TRUE(q.CreateType1(0ull, 1, 2, "t1", "t2", 3, "a", "bb", "ccc", "dddd"));
    ASSERT_TRUE(sender.Send(q));
    CVLLogPacket empty;
    EXPECT_FALSE(sender.Send(empty));

    std::vector<VL_BYTE> body;
    ASSERT_TRUE(receiver.ReadFrame(body));
    EXPECT_EQ(std::vector<VL_BYTE>(p.GetBuffer(), p.GetBuffer() + 33), body);
    ASSERT_TRUE(receiver.ReadFrame(body));
    CVLLogPacket r;
    ASSERT_TRUE(r.Read(static_cast<VL_ULONG>(body.size()), body.data()));
    CVLString s1, s2, s3, s4;
    ASSERT_TRUE(r.GetType1(&s1, &s2, &s3, &s4));
    EXPECT_EQ("dddd", Bytes(s4));
    VLRemoveLogReceiverLock(1, strName.c_str(), "42");
}

TEST(LogChannel, SenderMakesThePipeWhenMissing)
{
    std::string strName = UniqueName("np");
    ASSERT_TRUE(VLCreateLogReceiverLock(0, strName.c_str(), ""));
    CVLLogSender sender;
    ASSERT_TRUE(sender.Start(0, strName.c_str(), "", ""));
    CVLLogPacket p;
    ASSERT_TRUE(p.CreateType8("abc"));
    // Nothing at the path: the sender makes the pipe and writes into it.
    EXPECT_TRUE(sender.Send(p));
    struct stat st;
    ASSERT_EQ(0, lstat(("/tmp/" + strName).c_str(), &st));
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    unlink(("/tmp/" + strName).c_str());
    VLRemoveLogReceiverLock(0, strName.c_str(), "");
}

TEST(LogChannel, PipePathMustBeOurFifo)
{
    std::string strName = UniqueName("sec");
    std::string strPath = "/tmp/" + strName;
    std::string strTarget = strPath + "_target";
    unlink(strPath.c_str());
    CVLProcessCommunicator comm;
    EXPECT_FALSE(comm.Open("", false));
    EXPECT_FALSE(comm.Open("../etc/x", false));
    EXPECT_FALSE(comm.Open(nullptr, true));

    // A link placed at the pipe's path, to a file or to a pipe.
    ASSERT_EQ(0, symlink(strTarget.c_str(), strPath.c_str()));
    EXPECT_FALSE(comm.Open(strName.c_str(), false));
    EXPECT_EQ(-1, access(strTarget.c_str(), F_OK));
    ASSERT_EQ(0, mkfifo(strTarget.c_str(), 0600));
    EXPECT_FALSE(comm.Open(strName.c_str(), false));
    EXPECT_FALSE(comm.Open(strName.c_str(), true));
    unlink(strPath.c_str());
    unlink(strTarget.c_str());
    // A plain file.
    FILE* fp = fopen(strPath.c_str(), "w");
    ASSERT_NE(nullptr, fp);
    fclose(fp);
    EXPECT_FALSE(comm.Open(strName.c_str(), false));
    EXPECT_FALSE(comm.IsOpen());
    unlink(strPath.c_str());

    CVLLogProcessCommunicator log;
    EXPECT_FALSE(log.Open(strName.c_str(), true));
    ASSERT_TRUE(log.Open(1, strName.c_str(), "9", true));
    EXPECT_TRUE(log.IsOpen());
    EXPECT_EQ(0, access((strPath + "_9").c_str(), F_OK));
    log.Close();
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(-1, access((strPath + "_9").c_str(), F_OK));
}

TEST(LogChannel, OwnerReceivesFramesAndRefusesBadOnes)
{
    std::string strName = UniqueName("rx");
    CVLProcessCommunicator owner;
    ASSERT_TRUE(owner.Open(strName.c_str(), true));
    CVLProcessCommunicator writer;
    ASSERT_TRUE(writer.Open(strName.c_str(), false));
    int fd = open(("/tmp/" + strName).c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_NE(-1, fd);

    // Nothing sent yet.
    EXPECT_EQ(3, owner.Receive());

    std::vector<VL_BYTE> big(5000, 0x5a);
    ASSERT_EQ(0, writer.Send("hello", 5));
    ASSERT_EQ(0, writer.Send(big.data(), static_cast<VL_ULONG>(big.size())));
    ASSERT_EQ(0, writer.Send(nullptr, 0));
    ASSERT_EQ(0, owner.Receive());
    ASSERT_EQ(5, owner.GetReceivedLength());
    EXPECT_EQ(0, memcmp("hello", owner.GetReceivedData(), 5));
    ASSERT_EQ(0, owner.Receive());
    ASSERT_EQ(5000, owner.GetReceivedLength());
    EXPECT_EQ(0, memcmp(big.data(), owner.GetReceivedData(), 5000));
    ASSERT_EQ(0, owner.Receive());
    EXPECT_EQ(0, owner.GetReceivedLength());

    // An announced length beyond the largest packet is refused, not
    // allocated.
    uint32_t nHuge = 0x7fffffff;
    WriteAll(fd, &nHuge, sizeof(nHuge));
    EXPECT_EQ(2, owner.Receive());
    // A body cut short times out.
    uint32_t nLength = 10;
    WriteAll(fd, &nLength, sizeof(nLength));
    WriteAll(fd, "abc", 3);
    EXPECT_EQ(3, owner.Receive());
    // A length cut short times out too.
    WriteAll(fd, &nLength, 2);
    EXPECT_EQ(3, owner.Receive());
    close(fd);
    writer.Close();
    owner.Close();
    EXPECT_EQ(2, owner.Receive());
    EXPECT_EQ(2, writer.Send("x", 1));
}

TEST(LogChannel, FramesOfManyWritersStayWhole)
{
    std::string strName = UniqueName("mw");
    CVLProcessCommunicator owner;
    ASSERT_TRUE(owner.Open(strName.c_str(), true));
    const int kWriters = 4;
    const int kFrames = 100;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = fork();
        ASSERT_NE(-1, pid);
        if (pid == 0) {
            CVLProcessCommunicator writer;
            if (!writer.Open(strName.c_str(), false))
                _exit(2);
            std::vector<VL_BYTE> frame(1000 + w, static_cast<VL_BYTE>('A' + w));
            for (int i = 0; i < kFrames; ++i) {
                if (writer.Send(frame.data(), static_cast<VL_ULONG>(frame.size())) != 0)
                    _exit(3);
            }
            writer.Close();
            _exit(0);
        }
        children.push_back(pid);
    }
    int nReceived = 0;
    int nTimeouts = 0;
    while (nReceived < kWriters * kFrames && nTimeouts < 5) {
        int r = owner.Receive();
        if (r == 3) {
            ++nTimeouts;
            continue;
        }
        ASSERT_EQ(0, r);
        int n = owner.GetReceivedLength();
        ASSERT_GE(n, 1000);
        ASSERT_LT(n, 1000 + kWriters);
        const VL_BYTE* p = owner.GetReceivedData();
        for (int i = 0; i < n; ++i)
            ASSERT_EQ('A' + (n - 1000), p[i]);
        ++nReceived;
    }
    EXPECT_EQ(kWriters * kFrames, nReceived);
    for (pid_t pid : children) {
        int nStatus = 0;
        ASSERT_EQ(pid, waitpid(pid, &nStatus, 0));
        EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    }
}

namespace {

class LogStartTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CTempPath tmpl("vlrecv_XXXXXX");
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        m_strDir = tmpl;
        char buf[PATH_MAX];
        ASSERT_NE(nullptr, getcwd(buf, sizeof(buf)));
        m_strOldDir = buf;
        ASSERT_EQ(0, chdir(m_strDir.c_str()));
    }
    void TearDown() override
    {
        (void)!chdir(m_strOldDir.c_str());
        std::system(("rm -rf '" + m_strDir + "'").c_str());
    }
    std::string Read(const std::string& strPath)
    {
        std::ifstream in(strPath, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string m_strDir;
    std::string m_strOldDir;
};

}  // namespace

TEST_F(LogStartTest, StartsTheReceiverWithItsArguments)
{
    // A stand-in receiver: records its arguments, writes its lock file (whole,
    // by renaming) and stays alive.
    std::string strName = UniqueName("st");
    std::string strLock = "/tmp/LogReciver_" + strName + "_5";
    unlink(strLock.c_str());
    {
        std::ofstream out(m_strDir + "/VURavIzad");
        out << "#!/bin/sh\n"
            << "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > '" << m_strDir << "/args'\n"
            << "p=$$\n"
            << "o() { printf \"\\\\$(printf '%03o' \"$1\")\"; }\n"
            << "{ o $((p & 255)); o $((p >> 8 & 255)); o $((p >> 16 & 255)); o $((p >> 24 & 255)); } > '"
            << strLock << ".tmp'\n"
            << "mv '" << strLock << ".tmp' '" << strLock << "'\n"
            << "exec sleep 30\n";
    }
    chmod((m_strDir + "/VURavIzad").c_str(), 0755);
    CVLLogSender sender;
    ASSERT_TRUE(sender.Start(1, strName.c_str(), "/var/log/a b.log", "5"));
    VL_LONG nId = -1;
    ASSERT_EQ(0, CVLProcessStartCheck::ReadLockFile(strLock.c_str(), nId));
    EXPECT_EQ("[" + strName + "]\n[5]\n[/o:\"/var/log/a b.log\"]\n[/u:Proc]\n", Read(m_strDir + "/args"));
    // Running now: a second Start finds it.
    ASSERT_TRUE(sender.Start(1, strName.c_str(), "", "5"));
    kill(static_cast<pid_t>(nId), SIGTERM);
    int nStatus = 0;
    EXPECT_EQ(static_cast<pid_t>(nId), waitpid(static_cast<pid_t>(nId), &nStatus, 0));
    unlink(strLock.c_str());
}

TEST_F(LogStartTest, MissingReceiverProgramEndsTheWaitAndIsReaped)
{
    std::string strName = UniqueName("miss");
    CVLLogSender sender;
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(sender.Start(7, strName.c_str(), "", "1"));
    // Far below the 60-second wait for a receiver that runs.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    int nStatus = 0;
    EXPECT_EQ(-1, waitpid(-1, &nStatus, WNOHANG));
    EXPECT_EQ(ECHILD, errno);
}
