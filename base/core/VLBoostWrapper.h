// The regular-expression library "VLBoost", loaded at run time. When it is
// missing, no text matches.
#ifndef VLBOOSTWRAPPER_H
#define VLBOOSTWRAPPER_H

#include "base/core/VLDynamicLibrary.h"

class CVLBoostWrapper : private CVLDynamicLibrary
{
public:
    CVLBoostWrapper();
    virtual ~CVLBoostWrapper();

    // Whether the text matches the pattern; false when the library is not loaded.
    static bool RegexMatch(const char* szPattern, const char* szText);
    static bool IsLoaded();

private:
    typedef int (*PFN_REGEXMATCH)(const char*, const char*);
    PFN_REGEXMATCH m_pfnRegexMatch;
    bool m_bLoaded;
};

#endif
