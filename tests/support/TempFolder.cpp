#include "tests/support/TempFolder.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {
const mode_t kFolderMode = 0755;

// The folder a process made for itself, and the process; made on first use,
// so that a call from another file's static initializer finds it built.
struct SOwnFolder
{
    std::string strPath;
    pid_t nOwner = 0;
};
SOwnFolder& OwnFolder()
{
    static SOwnFolder s_Folder;
    return s_Folder;
}

int RemoveEntry(const char* szPath, const struct stat*, int, struct FTW*)
{
    std::remove(szPath);
    return 0;
}

// The process's own folder goes when it exits; a child it forked that
// exits leaves it to the parent.
void RemoveOwnFolder()
{
    if (getpid() == OwnFolder().nOwner)
        nftw(OwnFolder().strPath.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}
}  // namespace

std::string TestTempFolder()
{
    const char* szRun = getenv("TMPDIR");
    if (szRun != nullptr && *szRun != '\0' && access(szRun, W_OK | X_OK) == 0)
        return szRun;
    static const std::string s_strFolder = [] {
        // Open to all as /tmp is (a test runs a program as another user on
        // files in it), but writable by this user alone.
        char szFolder[] = "/tmp/vltest-XXXXXX";
        if (mkdtemp(szFolder) == nullptr || chmod(szFolder, kFolderMode) != 0)
            return std::string("/tmp");
        OwnFolder().strPath = szFolder;
        OwnFolder().nOwner = getpid();
        std::atexit(RemoveOwnFolder);
        return OwnFolder().strPath;
    }();
    return s_strFolder;
}
