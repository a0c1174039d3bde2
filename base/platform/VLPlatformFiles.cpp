#include "base/platform/VLPlatformFiles.h"

#include <cstdlib>
#include <fcntl.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <vector>

static std::string StripSlashes(std::string s)
{
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

std::string VLPlatformPreferencesFolder()
{
    const char* szXdg = getenv("XDG_CONFIG_HOME");
    if (szXdg != nullptr && szXdg[0] == '/')
        return StripSlashes(szXdg);
    std::string home;
    const char* szHome = getenv("HOME");
    if (szHome != nullptr && szHome[0] == '/') {
        home = szHome;
    } else {
        long n = sysconf(_SC_GETPW_R_SIZE_MAX);
        std::vector<char> buf(n > 0 ? static_cast<size_t>(n) : 16384);
        struct passwd pw;
        struct passwd* pResult = nullptr;
        if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &pResult) != 0 || pResult == nullptr ||
            pResult->pw_dir == nullptr || pResult->pw_dir[0] != '/')
            return std::string();
        home = pResult->pw_dir;
    }
    home = StripSlashes(home);
    if (home == "/")
        return "/.config";
    return home + "/.config";
}

uint64_t VLPlatformFreeDiskSpace(const char* szPath)
{
    if (szPath == nullptr)
        return 0;
    struct statvfs st;
    if (statvfs(szPath, &st) != 0)
        return 0;
    return static_cast<uint64_t>(st.f_bavail) * static_cast<uint64_t>(st.f_frsize);
}

bool VLPlatformIsImmutable(const char* szPath)
{
    if (szPath == nullptr)
        return false;
    int fd = open(szPath, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    int nFlags = 0;
    bool bImmutable = ioctl(fd, FS_IOC_GETFLAGS, &nFlags) == 0 && (nFlags & FS_IMMUTABLE_FL) != 0;
    close(fd);
    return bImmutable;
}
