// Process lock files: "/tmp/" followed by a name (each "/", ":" and "\" of the
// name replaced by "-"), holding the owner's process id as 4 bytes in host
// byte order. A process tells by them whether another live process holds a
// name. Every failure is a return value; nothing throws.
#ifndef VLPROCESSSTARTCHECK_H
#define VLPROCESSSTARTCHECK_H

#include "base/core/VLString.h"

class CVLProcessStartCheck
{
public:
    virtual ~CVLProcessStartCheck() {}

    // The lock file path of a name.
    static CVLString GetLockFilePath(const char* szName);
    // Reads the lock file at a full path; nProcessId is -1 unless an id was
    // read. 0: held by a live process (or one that cannot be tested).
    // 2: no file, or a stale one (its holder is gone, or it holds no valid
    // id), which was removed. 1: any other failure, among them an empty file,
    // which is the moment between its creation and the writing of the id.
    static int ReadLockFile(const char* szPath, VL_LONG& nProcessId);
    static bool IsLocked(const char* szName);
    // Takes the name for this process unless a live process holds it. With
    // bOwn, a held lock counts only when this process holds it.
    static bool Lock(const char* szName, bool bOwn);
    // Removes the name's file when this process holds it.
    static void Unlock(const char* szName);
};

#endif
