#include "base/stream/VLFileLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

#include "base/core/VLStdRuntime.h"

CVLFileLock::CVLFileLock() : m_nFile(-1)
{
}

CVLFileLock::CVLFileLock(const char* szPath) : m_nFile(-1)
{
    Open(szPath);
}

CVLFileLock::~CVLFileLock()
{
    Close();
}

bool CVLFileLock::Open(const char* szPath)
{
    Close();
    if (szPath == nullptr)
        return false;
    m_nFile = VLStdOpen(szPath, O_RDWR | O_NONBLOCK | O_CREAT | O_CLOEXEC, 0777);
    return m_nFile != -1;
}

bool CVLFileLock::Lock()
{
    if (m_nFile == -1)
        return false;
    int n;
    do {
        n = VLStdFlock(m_nFile, LOCK_EX);
    } while (n != 0 && errno == EINTR);
    return n == 0;
}

bool CVLFileLock::Unlock()
{
    if (m_nFile == -1)
        return false;
    return VLStdFlock(m_nFile, LOCK_UN) == 0;
}

bool CVLFileLock::Close()
{
    if (m_nFile == -1)
        return false;
    int n = VLStdClose(m_nFile);
    // Forget the descriptor: closing it again could hit a reused number.
    m_nFile = -1;
    return n == 0;
}
