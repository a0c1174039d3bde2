// The regular-expression library that the base library loads at run time by
// name ("VLBoost"). It exports one C function, RegexMatch(pattern, text),
// which answers whether the whole text matches the POSIX extended pattern.
#include <regex.h>

extern "C" __attribute__((visibility("default"))) int RegexMatch(const char* szPattern, const char* szText)
{
    if (szPattern == nullptr || szText == nullptr)
        return 0;
    regex_t re;
    if (regcomp(&re, szPattern, REG_EXTENDED) != 0)
        return 0;
    regmatch_t match;
    int nResult = 0;
    if (regexec(&re, szText, 1, &match, 0) == 0) {
        // POSIX picks the leftmost-longest match; the whole text must be covered.
        const char* p = szText;
        while (*p) ++p;
        nResult = (match.rm_so == 0 && match.rm_eo == p - szText) ? 1 : 0;
    }
    regfree(&re);
    return nResult;
}
