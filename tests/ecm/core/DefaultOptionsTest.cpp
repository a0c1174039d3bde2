// What each built-in option's value must read as, walked over the whole
// table so that no key of a kind is left unchecked, and the keys named for
// a slip of the keyboard.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ecm/VLECM.h"
#include "tests/support/TestSupport.h"

namespace {
bool EndsWith(const std::string& str, const std::string& strEnd)
{
    return str.size() >= strEnd.size() && str.compare(str.size() - strEnd.size(), strEnd.size(), strEnd) == 0;
}

bool Takes(const std::string& strKey, const char* szValue)
{
    std::string strWanted;
    return CVLECM::CheckOptionValue(CVLString(strKey.c_str(), VL_CHARSET_UTF8), CVLString(szValue, VL_CHARSET_UTF8),
                                    strWanted);
}

// The keys of the table, by what their name and default say they hold.
struct SKeys
{
    std::vector<std::string> timeouts, counts, flags, waits;
};

SKeys KeysByKind()
{
    SKeys keys;
    for (const auto& entry : CVLECM::getDefaultOptionTable()) {
        const std::string strKey = Bytes(entry.first);
        const std::string strDefault = Bytes(entry.second);
        if (strDefault == "true" || strDefault == "false")
            keys.flags.push_back(strKey);
        else if (EndsWith(strKey, "Timeout"))
            keys.timeouts.push_back(strKey);
        else if (EndsWith(strKey, ".Retry") || EndsWith(strKey, "RetryCount"))
            keys.counts.push_back(strKey);
        else if (!strDefault.empty() && strDefault.find_first_not_of("0123456789") == std::string::npos)
            keys.waits.push_back(strKey);
    }
    return keys;
}
}  // namespace

// Every time-out: a whole number of milliseconds from 1 to an hour; 0 or
// text that reads as 0 would end each exchange at once.
TEST(ECMDefaultOptions, EveryTimeoutTakesOneToAnHour)
{
    const SKeys keys = KeysByKind();
    // Twelve exchanges (ten commands, Unlock and Lock) and four longest waits.
    EXPECT_EQ(16u, keys.timeouts.size());
    for (const std::string& strKey : keys.timeouts) {
        for (const char* szGood : {"1", "3000", "3600000", "+5", "0003600000"})
            EXPECT_TRUE(Takes(strKey, szGood)) << strKey << " = " << szGood;
        // Empty reads as 0; 2^64 + 3000 must not wrap round to 3000.
        for (const char* szBad :
             {"0", "-0", "abc", "", "+", "3600001", "-1", "1.5", " 5", "99999999999999999999", "18446744073709554616"})
            EXPECT_FALSE(Takes(strKey, szBad)) << strKey << " = " << szBad;
    }
}

TEST(ECMDefaultOptions, EveryRetryCountTakesZeroToAHundred)
{
    const SKeys keys = KeysByKind();
    // Ten commands, Unlock, Lock and the receiver fault's.
    EXPECT_EQ(13u, keys.counts.size());
    for (const std::string& strKey : keys.counts) {
        // The reader takes an empty value for 0, as it takes "0", and "+7" for 7.
        for (const char* szGood : {"0", "", "7", "+7", "100"})
            EXPECT_TRUE(Takes(strKey, szGood)) << strKey << " = " << szGood;
        // 2^64 + 7 must not wrap round to 7.
        for (const char* szBad : {"101", "-1", "abc", "-", "18446744073709551623"})
            EXPECT_FALSE(Takes(strKey, szBad)) << strKey << " = " << szBad;
    }
    EXPECT_FALSE(keys.waits.empty());
    for (const std::string& strKey : keys.waits) {
        for (const char* szGood : {"0", "", "+0", "3600000"})
            EXPECT_TRUE(Takes(strKey, szGood)) << strKey << " = " << szGood;
        for (const char* szBad : {"3600001", "-1", "x", "+", "18446744073709552616"})
            EXPECT_FALSE(Takes(strKey, szBad)) << strKey << " = " << szBad;
    }
}

// A flag reads "true" and "false" in any case, a whole number as not 0, and
// nothing as false: all are taken. Other text reads as false whatever it
// says, and is refused.
TEST(ECMDefaultOptions, EveryFlagTakesWhatReadsAsMeant)
{
    const SKeys keys = KeysByKind();
    EXPECT_EQ(17u, keys.flags.size());
    for (const std::string& strKey : keys.flags) {
        for (const char* szGood : {"true", "FALSE", "0", "1", "2", "-1", ""})
            EXPECT_TRUE(Takes(strKey, szGood)) << strKey << " = " << szGood;
        for (const char* szBad : {"yes", "no", "on", " 1", "1.0", "-", "truee"})
            EXPECT_FALSE(Takes(strKey, szBad)) << strKey << " = " << szBad;
    }
    // What the flag then reads as, for the values taken.
    CVLECM ecm;
    for (const auto& row : std::vector<std::pair<const char*, bool>>{{"", false}, {"2", true}, {"0", false}}) {
        ASSERT_TRUE(ecm.SetProperty("Option.Probe.OmitGetMoreInfo", row.first));
        EXPECT_EQ(row.second, ecm.GetPropertyBoolean("Option.Probe.OmitGetMoreInfo")) << row.first;
    }
}

// Any key that no option has is named, whatever its group, with the key
// meant when one is near; letter case counts.
TEST(ECMDefaultOptions, KeysNoOptionHasAreNamedWithTheNearest)
{
    const std::vector<std::pair<const char*, const char*>> kUnknown = {
        {"Initialize.DummyProbe.RootDri", "Initialize.DummyProbe.RootDir"},
        {"option.checkunicast.timeout", "Option.CheckUnicast.Timeout"},
        {"Config.NIFPropTree.FromPortPth", "Config.NIFPropTree.FromPortPath"},
        {"Option.CheckUnicast.Timout", "Option.CheckUnicast.Timeout"},
        {"Option.Probe.MaxDevicesPerNetwrk", "Option.Probe.MaxDevicesPerNetwork"},
        {"Option.Y", ""},
        {"Foo", ""},
    };
    for (const auto& row : kUnknown) {
        EXPECT_FALSE(CVLECM::IsKnownOption(CVLString(row.first, VL_CHARSET_UTF8))) << row.first;
        EXPECT_EQ(row.second, CVLECM::NearestOption(CVLString(row.first, VL_CHARSET_UTF8))) << row.first;
    }
    for (const char* szKnown : {"Initialize.DummyProbe.RootDir", "Option.CheckUnicast.Timeout",
                                "Option.Probe.MaxDevicesPerNetwork", "Option.LocalDBCInfo.3.Enable"})
        EXPECT_TRUE(CVLECM::IsKnownOption(CVLString(szKnown, VL_CHARSET_UTF8))) << szKnown;
    // A key far longer than any is not compared letter by letter.
    const std::string strLong(1 << 20, 'O');
    EXPECT_FALSE(CVLECM::IsKnownOption(CVLString(strLong.c_str(), VL_CHARSET_UTF8)));
    EXPECT_EQ("", CVLECM::NearestOption(CVLString(strLong.c_str(), VL_CHARSET_UTF8)));
}

// One lookup tells both: a key's option and whether it takes the value. A
// value is refused only by an option the key names.
TEST(ECMDefaultOptions, JudgingAnOptionTellsKeyAndValueAtOnce)
{
    const std::vector<std::pair<std::pair<const char*, const char*>, CVLECM::EOption>> kRows = {
        {{"Option.Lock.Timeout", "5"}, CVLECM::OPTION_TAKEN},
        {{"Option.Lock.Timeout", "0"}, CVLECM::OPTION_REFUSED},
        {{"Option.Lock.Timout", "0"}, CVLECM::OPTION_UNKNOWN},
        {{"Option.Probe.MaxDevicesPerNetwork", "0"}, CVLECM::OPTION_REFUSED},
        {{"Option.Probe.MaxDevicesPerNetwork", "8"}, CVLECM::OPTION_TAKEN},
        {{"Option.BindAddress.2.Enable", "yes"}, CVLECM::OPTION_REFUSED},
        {{"Option.BindAddress.2.IPAddress", "yes"}, CVLECM::OPTION_TAKEN},
        {{"Option.BindAddress.X.Enable", "yes"}, CVLECM::OPTION_UNKNOWN},
    };
    for (const auto& row : kRows) {
        std::string strWanted;
        EXPECT_EQ(row.second, CVLECM::JudgeOption(CVLString(row.first.first, VL_CHARSET_UTF8),
                                                  CVLString(row.first.second, VL_CHARSET_UTF8), strWanted))
            << row.first.first << " = " << row.first.second;
        EXPECT_TRUE(row.second != CVLECM::OPTION_REFUSED || !strWanted.empty()) << row.first.first;
    }
}
