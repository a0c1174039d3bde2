// Chooses the localized copy of a resource file: root/language/file for the
// first language of the list whose copy exists (also trying the language
// without its region, "ja" for "ja-JP"), else root/default folder/file.
#ifndef VLLOCALIZEUTILITY_H
#define VLLOCALIZEUTILITY_H

#include <vector>

#include "base/core/VLString.h"

class CVLLocalizeUtility
{
public:
    // The list starts with the system language, even when that is empty.
    CVLLocalizeUtility();
    CVLLocalizeUtility(const CVLLocalizeUtility& src);
    virtual ~CVLLocalizeUtility();

    virtual void SetRootPath(const char* szPath);
    virtual CVLString& GetRootPath();
    virtual void SetDefaultFolder(const char* szFolder);
    virtual CVLString& GetDefaultFolder();

    // Appends the tag, empty or not.
    virtual void AddLanguage(const char* szLanguage);
    // Splits the text at "," and appends every non-empty piece (blanks are
    // kept); the list is emptied first unless bAppend.
    virtual void SetLanguageList(const char* szList, bool bAppend);
    // The tags joined with ",".
    virtual CVLString GetLanguageList();

    virtual CVLLocalizeUtility& operator=(const CVLLocalizeUtility& src);

    virtual CVLString GetLocalizedPath(const char* szFileName);

    // From the locale (LC_ALL, LC_MESSAGES, LANG): "language-COUNTRY", the
    // language alone when the locale names no country, empty when it names no
    // language; "LanguageCode-CountryCode" when no locale is set at all.
    static CVLString GetSystemLanguage();

protected:
    std::vector<CVLString> m_LangList;
    CVLString m_strRootPath;
    CVLString m_strDefaultFolder;
};

#endif
