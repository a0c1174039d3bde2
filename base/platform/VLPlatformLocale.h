// The user's language and country as the locale variables give them.
#ifndef VLPLATFORMLOCALE_H
#define VLPLATFORMLOCALE_H

#include <string>

// The first set of LC_ALL, LC_MESSAGES and LANG, split as
// language[_COUNTRY][.codeset][@modifier]: "ja_JP.UTF-8" gives "ja" and "JP".
// A part that is missing (or the "C" and "POSIX" locales) leaves that output
// empty; both return false when no part was found.
bool VLPlatformLocaleParts(std::string& strLanguage, std::string& strCountry);
// Splits one locale name as above.
void VLPlatformSplitLocale(const char* szLocale, std::string& strLanguage, std::string& strCountry);

#endif
