#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"
#include "base/core/VLIconvWrapper.h"

namespace {
std::string Conv(const std::string& in, int eFrom, int eTo, bool bDiscard = false, int* pCharset = nullptr)
{
    CVLString r = CVLIconvWrapper::Convert(eFrom, in.data(), static_cast<int>(in.size()), eTo, bDiscard);
    if (pCharset)
        *pCharset = r.GetCharset();
    return Bytes(r);
}
}  // namespace

TEST(IconvWrapper, NamesAndIds)
{
    EXPECT_EQ(CVLIconvWrapper::GetCharsetId("UTF-8"), 72);
    EXPECT_EQ(CVLIconvWrapper::GetCharsetId("utf-8"), -2);
    EXPECT_EQ(CVLIconvWrapper::GetCharsetId("CP932"), 43);
    EXPECT_EQ(CVLIconvWrapper::GetCharsetId("RISCOS-LATIN1"), 109);
    EXPECT_EQ(CVLIconvWrapper::GetCharsetId("MBCS"), CVLIconvWrapper::GetSystemCharset());
    EXPECT_EQ(Bytes(CVLIconvWrapper::GetCharsetName(42)), "SHIFT_JIS");
    EXPECT_EQ(CVLIconvWrapper::GetCharsetName(110).GetLength(), 0);
    EXPECT_EQ(CVLIconvWrapper::GetCharsetName(-2).GetLength(), 0);
    EXPECT_NE(CVLIconvWrapper::GetSystemCharset(), -2);
}

TEST(IconvWrapper, EncodingTable)
{
    EXPECT_EQ(CVLIconvWrapper::LookUpSystemEncoding(0xA02), 15);  // the later row wins
    EXPECT_EQ(CVLIconvWrapper::LookUpSystemEncoding(0x08000100), 72);
    EXPECT_EQ(CVLIconvWrapper::LookUpSystemEncoding(0x0), 24);
    EXPECT_EQ(CVLIconvWrapper::LookUpSystemEncoding(0xC01), -2);
    EXPECT_EQ(CVLIconvWrapper::LookUpSystemEncoding(0x12345), -2);
    EXPECT_EQ(CVLIconvWrapper::LookUpSystemEncoding(0x420), 43);
}

TEST(IconvWrapper, CharSizes)
{
    EXPECT_EQ(CVLIconvWrapper::GetCharSize(72), 1);
    EXPECT_EQ(CVLIconvWrapper::GetCharSize(79), 2);
    EXPECT_EQ(CVLIconvWrapper::GetCharSize(81), 2);
    EXPECT_EQ(CVLIconvWrapper::GetCharSize(82), 4);  // the mark is not counted
    EXPECT_EQ(CVLIconvWrapper::GetCharSize(84), 4);
    EXPECT_EQ(CVLIconvWrapper::GetCharSize(-2), 1);
    EXPECT_EQ(CVLIconvWrapper::GetCharSize(500), 1);
}

TEST(IconvWrapper, ShiftJisTildeAndBackslash)
{
    EXPECT_EQ(Conv("~\\", 72, 42), "\x7E\x5C");
    EXPECT_EQ(Conv("\x7E\x5C", 42, 72), "~\\");
    EXPECT_EQ(Conv("\xE6\x97\xA5", 72, 42), "\x93\xFA");
    EXPECT_EQ(Conv("\x87\x9C", 43, 72), "\xE2\x88\xAA");
}

TEST(IconvWrapper, Utf16WithAndWithoutMark)
{
    int eCharset = 0;
    std::string u16 = Conv("Ab", 72, 79, false, &eCharset);
    EXPECT_EQ(eCharset, 79);
    EXPECT_EQ(u16.size(), 4u);  // code units only, no mark
    EXPECT_EQ(Conv(u16, 79, 72), "Ab");
    EXPECT_EQ(Conv(std::string("\xFF\xFE" "A\0b\0", 6), 79, 72), "Ab");
    EXPECT_EQ(Conv(std::string("\xFE\xFF\0A\0b", 6), 79, 72), "Ab");
    EXPECT_EQ(Conv("Ab", 72, 81), std::string("A\0b\0", 4));
    EXPECT_EQ(Conv("Ab", 72, 80), std::string("\0A\0b", 4));
}

TEST(IconvWrapper, IllegalBytes)
{
    int eCharset = 0;
    EXPECT_EQ(Conv("a\xFF" "b", 72, 79, false, &eCharset), "");
    EXPECT_EQ(eCharset, -2);
    EXPECT_EQ(Conv("a\xFF" "b", 72, 0, true, &eCharset), "ab");
    EXPECT_EQ(eCharset, 0);
    EXPECT_EQ(Conv("a\xE3\x81", 72, 0, true), "a");  // incomplete tail dropped
    EXPECT_EQ(Conv("\xC3\xA9", 72, 0, false, &eCharset), "");
    EXPECT_EQ(eCharset, -2);
}

TEST(IconvWrapper, DiscardDropsWholeCharacters)
{
    // Katakana A is 83 41 in Shift_JIS: dropping it must not leave its "A" trail byte.
    EXPECT_EQ(Conv("\x83\x41" "b", 42, 0, true), "b");
    EXPECT_EQ(Conv("x\xC3\xA9y", 72, 0, true), "xy");
    // A stateful decoder with discarding stays inside its input (found by fuzzing).
    const std::string input("\x1f\x10\x75\0\0\0\0\0\0\0\x0e", 11);
    int eCharset = 0;
    std::string out = Conv(input, 56, 5, true, &eCharset);
    EXPECT_LE(out.size(), input.size());
}

TEST(IconvWrapper, StatefulEncodingsFlush)
{
    std::string utf7 = Conv("\xC3\xA9", 72, 85);
    EXPECT_EQ(utf7, "+AOk-");
    EXPECT_EQ(Conv(utf7, 85, 72), "\xC3\xA9");
    std::string jis = Conv("\xE6\x97\xA5" "a", 72, 44);
    EXPECT_EQ(jis.substr(jis.size() - 4), "\x1B(Ba");
    std::string jisEnd = Conv("a\xE6\x97\xA5", 72, 44);
    EXPECT_EQ(jisEnd.substr(jisEnd.size() - 3), "\x1B(B");  // back to ASCII at the end
    EXPECT_EQ(Conv(jisEnd, 44, 72), "a\xE6\x97\xA5");
}

TEST(IconvWrapper, OutputGrows)
{
    EXPECT_EQ(Conv("a", 72, 84), std::string("a\0\0\0", 4));
    EXPECT_EQ(Conv("a", 72, 82).size(), 4u);  // the 4-byte mark removed whole
    std::string big(100000, 'x');
    EXPECT_EQ(Conv(big, 72, 84).size(), 400000u);
}

TEST(IconvWrapper, SpecialCases)
{
    int eCharset = 0;
    CVLString empty = CVLIconvWrapper::Convert(72, "x", 0, 81, false);
    EXPECT_EQ(empty.GetLength(), 0);
    EXPECT_EQ(empty.GetCharset(), 81);
    EXPECT_EQ(Conv("\xFF\x01", 72, 72, false, &eCharset), "\xFF\x01");  // same name: bytes copied
    EXPECT_EQ(eCharset, 72);
    EXPECT_EQ(Conv("x", 72, -2, false, &eCharset), "");
    EXPECT_EQ(eCharset, -2);
    EXPECT_EQ(Conv("x", 72, 24), "x");  // MacRoman under its other name
    EXPECT_EQ(CVLIconvWrapper::GetBOMType("\xFF\xFE", 2), 1);
    EXPECT_EQ(CVLIconvWrapper::GetBOMType("\xFE\xFF", 2), 2);
    EXPECT_EQ(CVLIconvWrapper::GetBOMType("\xFE", 1), -1);
}

TEST(IconvWrapper, StringConvertTo)
{
    CVLString s("\xE6\x97\xA5", 72);
    CVLString sj = s.ConvertTo("SHIFT_JIS", false);
    EXPECT_EQ(sj.GetCharset(), 42);
    EXPECT_EQ(Bytes(sj.ConvertTo(72, false)), "\xE6\x97\xA5");
    EXPECT_EQ(sj.GetCharCount(), 1);
}
