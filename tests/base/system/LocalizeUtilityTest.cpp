#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/TestSupport.h"
#include "base/system/VLFirewallConfigurer.h"
#include "base/system/VLLocalizeUtility.h"
#include "base/platform/VLPlatformLocale.h"
#include "tests/support/TempFolder.h"

namespace {

class LocalizeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CTempPath tmpl("vlloc_XXXXXX");
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        m_strRoot = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + m_strRoot + "'").c_str()); }
    void MakeFile(const std::string& strFolder, const char* szFile)
    {
        mkdir((m_strRoot + "/" + strFolder).c_str(), 0755);
        FILE* fp = fopen((m_strRoot + "/" + strFolder + "/" + szFile).c_str(), "w");
        ASSERT_NE(nullptr, fp);
        fclose(fp);
    }
    std::string m_strRoot;
};

// Sets the locale variables for one test and restores them afterwards.
class CLocaleEnv
{
public:
    CLocaleEnv(const char* szAll, const char* szMessages, const char* szLang)
    {
        Save("LC_ALL", szAll);
        Save("LC_MESSAGES", szMessages);
        Save("LANG", szLang);
    }
    ~CLocaleEnv()
    {
        for (auto& v : m_Saved) {
            if (v.second.first)
                setenv(v.first.c_str(), v.second.second.c_str(), 1);
            else
                unsetenv(v.first.c_str());
        }
    }

private:
    void Save(const char* szName, const char* szValue)
    {
        const char* sz = getenv(szName);
        m_Saved.push_back({szName, {sz != nullptr, sz != nullptr ? sz : ""}});
        if (szValue != nullptr)
            setenv(szName, szValue, 1);
        else
            unsetenv(szName);
    }
    std::vector<std::pair<std::string, std::pair<bool, std::string>>> m_Saved;
};

}  // namespace

TEST_F(LocalizeTest, PathWithRegionCutAndWithoutLanguageFolder)
{
    CVLLocalizeUtility loc;
    loc.SetLanguageList("ja-JP,en", false);
    loc.SetRootPath(m_strRoot.c_str());
    loc.SetDefaultFolder("Default");
    // No language folder at all: the default path, whether or not it exists.
    EXPECT_EQ(m_strRoot + "/Default/strings.xml", Bytes(loc.GetLocalizedPath("strings.xml")));

    MakeFile("ja", "strings.xml");
    MakeFile("en", "strings.xml");
    EXPECT_EQ(m_strRoot + "/ja/strings.xml", Bytes(loc.GetLocalizedPath("strings.xml")));
    // The full tag comes before its cut form.
    MakeFile("ja-JP", "strings.xml");
    EXPECT_EQ(m_strRoot + "/ja-JP/strings.xml", Bytes(loc.GetLocalizedPath("strings.xml")));
    // A folder counts as well as a file.
    mkdir((m_strRoot + "/en/sub").c_str(), 0755);
    EXPECT_EQ(m_strRoot + "/en/sub", Bytes(loc.GetLocalizedPath("sub")));

    // A leading "-" is not a region separator: cut, "-x" would give the
    // empty tag, and root/strings.xml exists.
    loc.SetLanguageList("-x", false);
    MakeFile("", "strings.xml");
    EXPECT_EQ(m_strRoot + "/Default/strings.xml", Bytes(loc.GetLocalizedPath("strings.xml")));

    // An empty tag tests root/file.
    loc.SetLanguageList("", false);
    loc.AddLanguage("");
    MakeFile("", "top.xml");
    EXPECT_EQ(m_strRoot + "/top.xml", Bytes(loc.GetLocalizedPath("top.xml")));
}

TEST_F(LocalizeTest, LanguageListSplittingAndCopy)
{
    CVLLocalizeUtility loc;
    loc.SetLanguageList(",fr,,de,", false);
    EXPECT_EQ("fr,de", Bytes(loc.GetLanguageList()));
    loc.SetLanguageList("it", true);
    EXPECT_EQ("fr,de,it", Bytes(loc.GetLanguageList()));
    loc.SetLanguageList(" en , x", false);
    EXPECT_EQ(" en , x", Bytes(loc.GetLanguageList()));
    loc.SetLanguageList(",,,", false);
    EXPECT_EQ("", Bytes(loc.GetLanguageList()));
    loc.SetLanguageList(nullptr, false);
    EXPECT_EQ("", Bytes(loc.GetLanguageList()));

    CVLLocalizeUtility other;
    other.SetLanguageList("a,b", false);
    other.SetRootPath("/r");
    other.SetDefaultFolder("D");
    loc = other;
    EXPECT_EQ("a,b", Bytes(loc.GetLanguageList()));
    EXPECT_EQ("/r", Bytes(loc.GetRootPath()));
    EXPECT_EQ("D", Bytes(loc.GetDefaultFolder()));
    EXPECT_EQ("/r/D/f", Bytes(loc.GetLocalizedPath("f")));
}

TEST(LocalizeSystemLanguage, FromLocaleVariables)
{
    {
        CLocaleEnv env(nullptr, nullptr, "ja_JP.UTF-8");
        EXPECT_EQ("ja-JP", Bytes(CVLLocalizeUtility::GetSystemLanguage()));
        CVLLocalizeUtility loc;
        EXPECT_EQ("ja-JP", Bytes(loc.GetLanguageList()));
    }
    {
        CLocaleEnv env("de_AT@euro", "fr_FR", "ja_JP.UTF-8");
        EXPECT_EQ("de-AT", Bytes(CVLLocalizeUtility::GetSystemLanguage()));
    }
    {
        CLocaleEnv env("", "fr_FR", "ja_JP.UTF-8");
        EXPECT_EQ("fr-FR", Bytes(CVLLocalizeUtility::GetSystemLanguage()));
    }
    {
        CLocaleEnv env(nullptr, nullptr, "en");
        EXPECT_EQ("en", Bytes(CVLLocalizeUtility::GetSystemLanguage()));
    }
    {
        // Nothing set (or only the C locale): the bundle keys themselves.
        CLocaleEnv env(nullptr, nullptr, nullptr);
        EXPECT_EQ("LanguageCode-CountryCode", Bytes(CVLLocalizeUtility::GetSystemLanguage()));
        CLocaleEnv env2(nullptr, nullptr, "C.UTF-8");
        EXPECT_EQ("LanguageCode-CountryCode", Bytes(CVLLocalizeUtility::GetSystemLanguage()));
    }
    {
        // A country without a language gives no language.
        CLocaleEnv env(nullptr, nullptr, "_JP");
        EXPECT_EQ("", Bytes(CVLLocalizeUtility::GetSystemLanguage()));
    }
}

TEST(FirewallConfigurer, EveryOperationSucceedsDoingNothing)
{
    EXPECT_EQ(0, CVLFirewallConfigurer::AddApplication("/bin/true"));
    EXPECT_EQ(0, CVLFirewallConfigurer::RemoveApplication(nullptr));
    EXPECT_EQ(0, CVLFirewallConfigurer::OpenPort(3289, 0));
}
