#include "base/platform/VLPlatformLocale.h"

#include <cstdlib>
#include <cstring>

void VLPlatformSplitLocale(const char* szLocale, std::string& strLanguage, std::string& strCountry)
{
    strLanguage.clear();
    strCountry.clear();
    if (szLocale == nullptr)
        return;
    std::string name(szLocale);
    size_t end = name.find_first_of(".@");
    if (end != std::string::npos)
        name.resize(end);
    if (name == "C" || name == "POSIX")
        return;
    size_t sep = name.find('_');
    if (sep == std::string::npos) {
        strLanguage = name;
        return;
    }
    strLanguage = name.substr(0, sep);
    strCountry = name.substr(sep + 1);
}

bool VLPlatformLocaleParts(std::string& strLanguage, std::string& strCountry)
{
    strLanguage.clear();
    strCountry.clear();
    static const char* const kVariables[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    for (const char* szVar : kVariables) {
        const char* sz = getenv(szVar);
        if (sz != nullptr && *sz != '\0') {
            VLPlatformSplitLocale(sz, strLanguage, strCountry);
            break;
        }
    }
    return !strLanguage.empty() || !strCountry.empty();
}
