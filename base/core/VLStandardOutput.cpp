// Standard output of the project's programs.
#include "base/core/VLStandardOutput.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// The first write's error number; a failure is said once. Threads may write.
std::atomic<int> s_nError{0};
std::atomic<bool> s_bSaid{false};
bool s_bClosed = false;

void KeepError(int nError)
{
    int nNone = 0;
    s_nError.compare_exchange_strong(nNone, nError != 0 ? nError : EIO);
}

}  // namespace

bool CVLStandardOutput::TakeClosedDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        if (fd == STDOUT_FILENO)
            s_bClosed = true;
        // The lowest free number is the closed one.
        int nOpened = open("/dev/null", fd == STDERR_FILENO ? O_WRONLY : O_RDONLY);
        if (nOpened != fd) {
            if (nOpened >= 0)
                close(nOpened);
            return false;
        }
    }
    return true;
}

bool CVLStandardOutput::WasClosed()
{
    return s_bClosed;
}

bool CVLStandardOutput::Write(const void* pData, size_t nSize)
{
    if (s_nError != 0)
        return false;
    if (nSize > 0 && fwrite(pData, 1, nSize, stdout) != nSize) {
        // Taken before any other call can change it.
        KeepError(errno);
        return false;
    }
    return Flush();
}

bool CVLStandardOutput::Write(const std::string& strText)
{
    return Write(strText.data(), strText.size());
}

bool CVLStandardOutput::Flush()
{
    // A stdio write of the caller's own (printf) that failed just before
    // left its reason in errno and the stream's error mark set; a flush
    // with nothing left to write then gives no reason of its own.
    const bool bFailedBefore = ferror(stdout) != 0;
    const int nErrorBefore = errno;
    errno = 0;
    if (fflush(stdout) != 0 || ferror(stdout))
        KeepError(errno != 0 ? errno : bFailedBefore ? nErrorBefore : 0);
    return s_nError == 0;
}

int CVLStandardOutput::GetError()
{
    return s_nError;
}

int CVLStandardOutput::Fail(const char* szProgram)
{
    if (!s_bSaid.exchange(true))
        fprintf(stderr, "%s: standard output could not be written: %s\n", szProgram,
                strerror(s_nError != 0 ? s_nError.load() : EIO));
    return 1;
}

int CVLStandardOutput::Finish(const char* szProgram, int nStatus)
{
    if (Flush())
        return nStatus;
    // A failure already said keeps its own status.
    Fail(szProgram);
    return nStatus != 0 ? nStatus : 1;
}
