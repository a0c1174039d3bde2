#include "base/system/VLProcessStartCheck.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "base/core/VLStdRuntime.h"

namespace
{
// Reads up to nSize bytes, resuming after interruptions and short reads;
// returns the count read, or -1 on an error.
ssize_t ReadFully(int fd, void* pBuffer, size_t nSize)
{
    size_t nDone = 0;
    while (nDone < nSize) {
        ssize_t n = VLStdRead(fd, static_cast<char*>(pBuffer) + nDone, nSize - nDone);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        nDone += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(nDone);
}

int RemoveStale(const char* szPath)
{
    return VLStdRemove(szPath) == 0 ? 2 : 1;
}
}

CVLString CVLProcessStartCheck::GetLockFilePath(const char* szName)
{
    CVLString strPath("/tmp/", VL_CHARSET_UTF8);
    if (szName != nullptr) {
        CVLString strName(szName, VL_CHARSET_UTF8);
        strName.Replace("/", "-");
        strName.Replace(":", "-");
        strName.Replace("\\", "-");
        strPath += strName;
    }
    return strPath;
}

int CVLProcessStartCheck::ReadLockFile(const char* szPath, VL_LONG& nProcessId)
{
    nProcessId = -1;
    if (szPath == nullptr)
        return 1;
    int fd = VLStdOpen(szPath, O_RDONLY | O_CLOEXEC, 0);
    if (fd == -1)
        return errno == ENOENT ? 2 : 1;
    // One byte more than an id, to tell a file that holds more than an id.
    unsigned char buf[sizeof(int32_t) + 1];
    ssize_t n = ReadFully(fd, buf, sizeof(buf));
    VLStdClose(fd);
    if (n <= 0)
        return 1;
    if (n != static_cast<ssize_t>(sizeof(int32_t)))
        return RemoveStale(szPath);
    int32_t nId;
    VLStdMemcpy(&nId, buf, sizeof(nId));
    if (nId <= 0)
        return RemoveStale(szPath);
    nProcessId = nId;
    if (kill(static_cast<pid_t>(nId), 0) == 0 || errno != ESRCH)
        return 0;
    return RemoveStale(szPath);
}

bool CVLProcessStartCheck::IsLocked(const char* szName)
{
    VL_LONG nId;
    return ReadLockFile(GetLockFilePath(szName).GetString(), nId) == 0;
}

bool CVLProcessStartCheck::Lock(const char* szName, bool bOwn)
{
    CVLString strPath = GetLockFilePath(szName);
    VL_LONG nId;
    int nResult = ReadLockFile(strPath.GetString(), nId);
    if (nResult == 0)
        return !bOwn || nId == static_cast<VL_LONG>(getpid());
    if (nResult != 2)
        return false;
    int fd = VLStdOpen(strPath.GetString(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd == -1)
        return false;
    bool bWritten = false;
    if (VLStdFlock(fd, LOCK_EX | LOCK_NB) == 0) {
        int32_t nOwn = static_cast<int32_t>(getpid());
        ssize_t n;
        do {
            n = VLStdWrite(fd, &nOwn, sizeof(nOwn));
        } while (n == -1 && errno == EINTR);
        bWritten = (n == static_cast<ssize_t>(sizeof(nOwn)));
        VLStdFlock(fd, LOCK_UN);
    }
    VLStdClose(fd);
    if (!bWritten) {
        VLStdRemove(strPath.GetString());
        return false;
    }
    return true;
}

void CVLProcessStartCheck::Unlock(const char* szName)
{
    CVLString strPath = GetLockFilePath(szName);
    VL_LONG nId;
    if (ReadLockFile(strPath.GetString(), nId) == 0 && nId == static_cast<VL_LONG>(getpid()))
        VLStdRemove(strPath.GetString());
}
