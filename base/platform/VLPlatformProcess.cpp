#include "base/platform/VLPlatformProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <sys/random.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

bool VLPlatformOpenURL(const char* szURL, std::string& strFailure)
{
    strFailure = "no URL";
    if (szURL == nullptr)
        return false;
    char szProgram[] = "xdg-open";
    char* argv[] = {szProgram, const_cast<char*>(szURL), nullptr};
    // The browser starts with no signal blocked, whatever the calling
    // thread blocks (a program may leave its stop signals to one thread).
    posix_spawnattr_t attributes;
    strFailure = "xdg-open cannot be started";
    if (posix_spawnattr_init(&attributes) != 0)
        return false;
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    int nSpawn = posix_spawnp(&pid, szProgram, nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    if (nSpawn != 0) {
        strFailure = nSpawn == ENOENT ? std::string("no xdg-open on the PATH")
                                      : std::string("xdg-open cannot be started: ") + strerror(nSpawn);
        return false;
    }
    int nStatus = 0;
    pid_t r;
    do {
        r = waitpid(pid, &nStatus, 0);
    } while (r == -1 && errno == EINTR);
    if (r != pid) {
        strFailure = std::string("xdg-open cannot be waited for: ") + strerror(errno);
        return false;
    }
    if (WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) {
        strFailure.clear();
        return true;
    }
    strFailure = WIFEXITED(nStatus) ? "xdg-open exited with status " + std::to_string(WEXITSTATUS(nStatus))
                                    : "xdg-open was ended by signal " + std::to_string(WTERMSIG(nStatus));
    return false;
}

std::string VLPlatformProcessName()
{
    FILE* fp = fopen("/proc/self/comm", "re");
    if (fp == nullptr)
        return std::string();
    char buf[256];
    size_t n = fread(buf, 1, sizeof(buf), fp);
    fclose(fp);
    std::string name(buf, n);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
        name.pop_back();
    return name;
}

long VLPlatformThreadId()
{
    return static_cast<long>(syscall(SYS_gettid));
}

bool VLPlatformRandomBytes(void* pBuffer, size_t nSize)
{
    unsigned char* p = static_cast<unsigned char*>(pBuffer);
    size_t nDone = 0;
    while (nDone < nSize) {
        ssize_t n = getrandom(p + nDone, nSize - nDone, 0);
        if (n > 0)
            nDone += static_cast<size_t>(n);
        else if (n == 0 || errno != EINTR)
            return false;
    }
    return true;
}
