#include "base/log/VLProcessCommunicator.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "base/core/VLStdRuntime.h"

namespace
{
const int kWaitMilliseconds = 1000;

long long NowMilliseconds()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Waits for the descriptor to become ready; 1 ready, 0 time-out, -1 failure.
int WaitFor(int fd, short nEvents, int nMilliseconds)
{
    struct pollfd pfd;
    pfd.fd = fd;
    pfd.events = nEvents;
    pfd.revents = 0;
    long long nEnd = NowMilliseconds() + nMilliseconds;
    for (;;) {
        long long nLeft = nEnd - NowMilliseconds();
        if (nLeft < 0)
            nLeft = 0;
        int n = poll(&pfd, 1, static_cast<int>(nLeft));
        if (n > 0)
            return (pfd.revents & POLLNVAL) != 0 ? -1 : 1;
        if (n == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

// Reads exactly nSize bytes before the deadline: 0, 2 on failure, 3 on time-out.
int ReadUntil(int fd, VL_BYTE* p, size_t nSize, long long nDeadline)
{
    size_t nDone = 0;
    while (nDone < nSize) {
        ssize_t n = read(fd, p + nDone, nSize - nDone);
        if (n > 0) {
            nDone += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return 2;
        long long nLeft = nDeadline - NowMilliseconds();
        if (nLeft <= 0)
            return 3;
        // Nothing there: wait for data, but no longer than a short while, as
        // a pipe without writers reads as ready at its end.
        int nWait = WaitFor(fd, POLLIN, static_cast<int>(nLeft < 10 ? nLeft : 10));
        if (nWait < 0)
            return 2;
        if (n == 0 && nWait > 0) {
            struct timespec ts = {0, 10 * 1000 * 1000};
            nanosleep(&ts, nullptr);
        }
    }
    return 0;
}
}  // namespace

CVLProcessCommunicator::CVLProcessCommunicator() : m_nFile(-1), m_bOwner(false)
{
    m_ReceiveBuffer.Allocate(1500);
}

CVLProcessCommunicator::~CVLProcessCommunicator()
{
    Close();
}

bool CVLProcessCommunicator::Open(const char* szName, bool bOwner)
{
    Close();
    if (szName == nullptr || *szName == '\0' || strchr(szName, '/') != nullptr || strcmp(szName, "..") == 0 ||
        strcmp(szName, ".") == 0)
        return false;
    CVLString strPath("/tmp/", VL_CHARSET_UTF8);
    strPath += szName;
    const char* szPath = strPath.GetString();

    struct stat st;
    if (lstat(szPath, &st) != 0) {
        if (errno != ENOENT || mkfifo(szPath, 0666) != 0) {
            if (errno != EEXIST)
                return false;
        }
        if (lstat(szPath, &st) != 0)
            return false;
    }
    // Only a named pipe of this user: a link or a file placed there must not
    // redirect the log.
    if (!S_ISFIFO(st.st_mode) || st.st_uid != geteuid())
        return false;
    int nFlags = bOwner ? (O_RDONLY | O_NONBLOCK) : (O_RDWR | O_NONBLOCK | O_APPEND);
    int fd = VLStdOpen(szPath, nFlags | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd == -1)
        return false;
    struct stat stOpen;
    if (fstat(fd, &stOpen) != 0 || stOpen.st_dev != st.st_dev || stOpen.st_ino != st.st_ino) {
        VLStdClose(fd);
        return false;
    }
    m_nFile = fd;
    m_strPath = strPath;
    m_bOwner = bOwner;
    return true;
}

void CVLProcessCommunicator::Close()
{
    if (m_nFile != -1) {
        VLStdClose(m_nFile);
        m_nFile = -1;
    }
    if (m_bOwner && m_strPath.GetLength() > 0)
        unlink(m_strPath.GetString());
    m_bOwner = false;
    m_strPath.Empty();
}

bool CVLProcessCommunicator::IsOpen()
{
    if (m_strPath.GetLength() == 0)
        return false;
    struct stat st;
    return lstat(m_strPath.GetString(), &st) == 0;
}

int CVLProcessCommunicator::Send(const void* pData, VL_ULONG nLength)
{
    if (m_nFile == -1 || m_strPath.GetLength() == 0 || access(m_strPath.GetString(), W_OK) != 0)
        return RESULT_ERROR;
    if (pData == nullptr && nLength > 0)
        return RESULT_ERROR;
    // The whole frame in one write, so that frames of several writers do not
    // interleave (the pipe keeps writes of up to PIPE_BUF bytes whole).
    if (nLength > 0x7fffffffu - sizeof(uint32_t))
        return RESULT_ERROR;
    std::vector<VL_BYTE> frame(sizeof(uint32_t) + nLength);
    uint32_t nFrameLength = nLength;
    VLStdMemcpy(frame.data(), &nFrameLength, sizeof(nFrameLength));
    if (nLength > 0)
        VLStdMemcpy(frame.data() + sizeof(nFrameLength), pData, nLength);
    const VL_BYTE* p = frame.data();
    size_t nSize = frame.size();
    size_t nDone = 0;
    while (nDone < nSize) {
        ssize_t n = write(m_nFile, p + nDone, nSize - nDone);
        if (n > 0) {
            nDone += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (WaitFor(m_nFile, POLLOUT, kWaitMilliseconds) == 1)
                continue;
        }
        return RESULT_ERROR;
    }
    return RESULT_OK;
}

int CVLProcessCommunicator::Receive()
{
    if (m_nFile == -1 || m_strPath.GetLength() == 0 || access(m_strPath.GetString(), R_OK | W_OK) != 0)
        return RESULT_ERROR;
    int nReady = WaitFor(m_nFile, POLLIN, kWaitMilliseconds);
    if (nReady < 0)
        return RESULT_ERROR;
    if (nReady == 0)
        return RESULT_TIMEOUT;
    uint32_t nLength = 0;
    int nResult = ReadUntil(m_nFile, reinterpret_cast<VL_BYTE*>(&nLength), sizeof(nLength),
                            NowMilliseconds() + kWaitMilliseconds);
    if (nResult != RESULT_OK)
        return nResult;
    if (nLength > MAX_FRAME_LENGTH)
        return RESULT_ERROR;
    if (m_ReceiveBuffer.GetCapacity() < static_cast<int>(nLength))
        m_ReceiveBuffer.Allocate(static_cast<int>(nLength));
    else
        m_ReceiveBuffer.Clear();
    if (nLength == 0)
        return RESULT_OK;
    nResult = ReadUntil(m_nFile, m_ReceiveBuffer.GetData(), nLength, NowMilliseconds() + kWaitMilliseconds);
    if (nResult != RESULT_OK)
        return nResult;
    m_ReceiveBuffer.SetSize(static_cast<int>(nLength));
    return RESULT_OK;
}

int CVLProcessCommunicator::GetReceivedLength()
{
    return m_ReceiveBuffer.GetSize();
}

const VL_BYTE* CVLProcessCommunicator::GetReceivedData()
{
    return m_ReceiveBuffer.GetData();
}
