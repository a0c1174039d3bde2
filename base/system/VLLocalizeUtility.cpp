#include "base/system/VLLocalizeUtility.h"

#include "base/core/VLFileSystem.h"
#include "base/platform/VLPlatformLocale.h"

CVLLocalizeUtility::CVLLocalizeUtility()
{
    AddLanguage(GetSystemLanguage().GetString());
}

CVLLocalizeUtility::CVLLocalizeUtility(const CVLLocalizeUtility& src)
{
    *this = src;
}

CVLLocalizeUtility::~CVLLocalizeUtility()
{
}

void CVLLocalizeUtility::SetRootPath(const char* szPath)
{
    m_strRootPath = szPath;
}

CVLString& CVLLocalizeUtility::GetRootPath()
{
    return m_strRootPath;
}

void CVLLocalizeUtility::SetDefaultFolder(const char* szFolder)
{
    m_strDefaultFolder = szFolder;
}

CVLString& CVLLocalizeUtility::GetDefaultFolder()
{
    return m_strDefaultFolder;
}

void CVLLocalizeUtility::AddLanguage(const char* szLanguage)
{
    m_LangList.push_back(CVLString(szLanguage != nullptr ? szLanguage : "", VL_CHARSET_UTF8));
}

void CVLLocalizeUtility::SetLanguageList(const char* szList, bool bAppend)
{
    if (!bAppend)
        m_LangList.clear();
    if (szList == nullptr)
        return;
    const char* p = szList;
    while (*p != '\0') {
        const char* q = p;
        while (*q != '\0' && *q != ',')
            ++q;
        if (q > p)
            m_LangList.push_back(CVLString(p, static_cast<int>(q - p), VL_CHARSET_UTF8));
        p = (*q == ',') ? q + 1 : q;
    }
}

CVLString CVLLocalizeUtility::GetLanguageList()
{
    CVLString strResult;
    for (const CVLString& strLang : m_LangList) {
        if (strResult.GetLength() > 0)
            strResult += ",";
        strResult += strLang;
    }
    return strResult;
}

CVLLocalizeUtility& CVLLocalizeUtility::operator=(const CVLLocalizeUtility& src)
{
    if (&src != this) {
        m_strRootPath = src.m_strRootPath;
        m_strDefaultFolder = src.m_strDefaultFolder;
        m_LangList = src.m_LangList;
    }
    return *this;
}

CVLString CVLLocalizeUtility::GetLocalizedPath(const char* szFileName)
{
    const char* szFile = szFileName != nullptr ? szFileName : "";
    for (const CVLString& strLang : m_LangList) {
        CVLString strPath = VLCombinePath(VLCombinePath(m_strRootPath.GetString(), strLang.GetString()).GetString(), szFile);
        if (VLFileExists(strPath.GetString(), 2))
            return strPath;
        int nDash = strLang.Find('-');
        if (nDash > 0) {
            CVLString strShort = strLang.Mid(0, nDash);
            strPath = VLCombinePath(VLCombinePath(m_strRootPath.GetString(), strShort.GetString()).GetString(), szFile);
            if (VLFileExists(strPath.GetString(), 2))
                return strPath;
        }
    }
    return VLCombinePath(VLCombinePath(m_strRootPath.GetString(), m_strDefaultFolder.GetString()).GetString(), szFile);
}

CVLString CVLLocalizeUtility::GetSystemLanguage()
{
    std::string strLanguage;
    std::string strCountry;
    if (!VLPlatformLocaleParts(strLanguage, strCountry)) {
        // No locale at all: the keys themselves, as an unlocalized bundle
        // string reads.
        strLanguage = "LanguageCode";
        strCountry = "CountryCode";
    }
    if (strLanguage.empty())
        return CVLString();
    CVLString strResult(strLanguage.c_str(), VL_CHARSET_UTF8);
    if (!strCountry.empty()) {
        strResult += "-";
        strResult += strCountry.c_str();
    }
    return strResult;
}
