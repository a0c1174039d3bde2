#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"
#include "base/core/VLIconvWrapper.h"
#include "tests/support/TempFolder.h"

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
    EXPECT_EQ(CVLIconvWrapper::GetCharsetId("UTF-8"), VL_CHARSET_UTF8);
    EXPECT_EQ(CVLIconvWrapper::GetCharsetId("utf-8"), VL_CHARSET_UNKNOWN);
    EXPECT_EQ(CVLIconvWrapper::GetCharsetId("CP932"), VL_CHARSET_CP932);
    EXPECT_EQ(CVLIconvWrapper::GetCharsetId("RISCOS-LATIN1"), 109);
    EXPECT_EQ(CVLIconvWrapper::GetCharsetId("MBCS"), CVLIconvWrapper::GetSystemCharset());
    EXPECT_EQ(Bytes(CVLIconvWrapper::GetCharsetName(VL_CHARSET_SHIFT_JIS)), "SHIFT_JIS");
    EXPECT_EQ(CVLIconvWrapper::GetCharsetName(CVLIconvWrapper::CHARSET_COUNT).GetLength(), 0);
    EXPECT_EQ(CVLIconvWrapper::GetCharsetName(VL_CHARSET_UNKNOWN).GetLength(), 0);
    EXPECT_NE(CVLIconvWrapper::GetSystemCharset(), VL_CHARSET_UNKNOWN);
}

TEST(IconvWrapper, EncodingTable)
{
    EXPECT_EQ(CVLIconvWrapper::LookUpSystemEncoding(0xA02), 15);  // the later row wins
    EXPECT_EQ(CVLIconvWrapper::LookUpSystemEncoding(0x08000100), VL_CHARSET_UTF8);
    EXPECT_EQ(CVLIconvWrapper::LookUpSystemEncoding(0x0), VL_CHARSET_MAC_ROMAN);
    EXPECT_EQ(CVLIconvWrapper::LookUpSystemEncoding(0xC01), VL_CHARSET_UNKNOWN);
    EXPECT_EQ(CVLIconvWrapper::LookUpSystemEncoding(0x12345), VL_CHARSET_UNKNOWN);
    EXPECT_EQ(CVLIconvWrapper::LookUpSystemEncoding(0x420), VL_CHARSET_CP932);
}

TEST(IconvWrapper, CharSizes)
{
    EXPECT_EQ(CVLIconvWrapper::GetCharSize(VL_CHARSET_UTF8), 1);
    EXPECT_EQ(CVLIconvWrapper::GetCharSize(VL_CHARSET_UTF16), 2);
    EXPECT_EQ(CVLIconvWrapper::GetCharSize(VL_CHARSET_UTF16LE), 2);
    EXPECT_EQ(CVLIconvWrapper::GetCharSize(VL_CHARSET_UTF32), 4);  // the mark is not counted
    EXPECT_EQ(CVLIconvWrapper::GetCharSize(VL_CHARSET_UTF32LE), 4);
    EXPECT_EQ(CVLIconvWrapper::GetCharSize(VL_CHARSET_UNKNOWN), 1);
    EXPECT_EQ(CVLIconvWrapper::GetCharSize(500), 1);
}

TEST(IconvWrapper, ShiftJisTildeAndBackslash)
{
    EXPECT_EQ(Conv("~\\", VL_CHARSET_UTF8, VL_CHARSET_SHIFT_JIS), "\x7E\x5C");
    EXPECT_EQ(Conv("\x7E\x5C", VL_CHARSET_SHIFT_JIS, VL_CHARSET_UTF8), "~\\");
    EXPECT_EQ(Conv("\xE6\x97\xA5", VL_CHARSET_UTF8, VL_CHARSET_SHIFT_JIS), "\x93\xFA");
    EXPECT_EQ(Conv("\x87\x9C", VL_CHARSET_CP932, VL_CHARSET_UTF8), "\xE2\x88\xAA");
    std::string many, sjis;
    for (int i = 0; i < 2000; ++i) {
        many += "a~\\\xE6\x97\xA5";
        sjis += "a\x7E\x5C\x93\xFA";
    }
    EXPECT_EQ(Conv(many, VL_CHARSET_UTF8, VL_CHARSET_SHIFT_JIS), sjis);
    EXPECT_EQ(Conv(sjis, VL_CHARSET_SHIFT_JIS, VL_CHARSET_UTF8), many);
}

TEST(IconvWrapper, Utf16WithAndWithoutMark)
{
    int eCharset = 0;
    std::string u16 = Conv("Ab", VL_CHARSET_UTF8, VL_CHARSET_UTF16, false, &eCharset);
    EXPECT_EQ(eCharset, VL_CHARSET_UTF16);
    EXPECT_EQ(u16.size(), 4u);  // code units only, no mark
    EXPECT_EQ(Conv(u16, VL_CHARSET_UTF16, VL_CHARSET_UTF8), "Ab");
    EXPECT_EQ(Conv(std::string("\xFF\xFE" "A\0b\0", 6), VL_CHARSET_UTF16, VL_CHARSET_UTF8), "Ab");
    EXPECT_EQ(Conv(std::string("\xFE\xFF\0A\0b", 6), VL_CHARSET_UTF16, VL_CHARSET_UTF8), "Ab");
    EXPECT_EQ(Conv("Ab", VL_CHARSET_UTF8, VL_CHARSET_UTF16LE), std::string("A\0b\0", 4));
    EXPECT_EQ(Conv("Ab", VL_CHARSET_UTF8, VL_CHARSET_UTF16BE), std::string("\0A\0b", 4));
}

TEST(IconvWrapper, IllegalBytes)
{
    int eCharset = 0;
    EXPECT_EQ(Conv("a\xFF" "b", VL_CHARSET_UTF8, VL_CHARSET_UTF16, false, &eCharset), "");
    EXPECT_EQ(eCharset, VL_CHARSET_UNKNOWN);
    EXPECT_EQ(Conv("a\xFF" "b", VL_CHARSET_UTF8, VL_CHARSET_ASCII, true, &eCharset), "ab");
    EXPECT_EQ(eCharset, VL_CHARSET_ASCII);
    EXPECT_EQ(Conv("a\xE3\x81", VL_CHARSET_UTF8, VL_CHARSET_ASCII, true), "a");  // incomplete tail dropped
    EXPECT_EQ(Conv("\xC3\xA9", VL_CHARSET_UTF8, VL_CHARSET_ASCII, false, &eCharset), "");
    EXPECT_EQ(eCharset, VL_CHARSET_UNKNOWN);
}

TEST(IconvWrapper, DiscardDropsWholeCharacters)
{
    // Katakana A is 83 41 in Shift_JIS: dropping it must not leave its "A" trail byte.
    EXPECT_EQ(Conv("\x83\x41" "b", VL_CHARSET_SHIFT_JIS, VL_CHARSET_ASCII, true), "b");
    EXPECT_EQ(Conv("x\xC3\xA9y", VL_CHARSET_UTF8, VL_CHARSET_ASCII, true), "xy");
    // A stateful decoder with discarding stays inside its input (found by fuzzing).
    const std::string input("\x1f\x10\x75\0\0\0\0\0\0\0\x0e", 11);
    int eCharset = 0;
    std::string out = Conv(input, VL_CHARSET_ISO_2022_CN_EXT, VL_CHARSET_ISO_8859_5, true, &eCharset);
    EXPECT_LE(out.size(), input.size());
}

TEST(IconvWrapper, StatefulEncodingsFlush)
{
    std::string utf7 = Conv("\xC3\xA9", VL_CHARSET_UTF8, VL_CHARSET_UTF7);
    EXPECT_EQ(utf7, "+AOk-");
    EXPECT_EQ(Conv(utf7, VL_CHARSET_UTF7, VL_CHARSET_UTF8), "\xC3\xA9");
    std::string jis = Conv("\xE6\x97\xA5" "a", VL_CHARSET_UTF8, VL_CHARSET_ISO_2022_JP);
    EXPECT_EQ(jis.substr(jis.size() - 4), "\x1B(Ba");
    std::string jisEnd = Conv("a\xE6\x97\xA5", VL_CHARSET_UTF8, VL_CHARSET_ISO_2022_JP);
    EXPECT_EQ(jisEnd.substr(jisEnd.size() - 3), "\x1B(B");  // back to ASCII at the end
    EXPECT_EQ(Conv(jisEnd, VL_CHARSET_ISO_2022_JP, VL_CHARSET_UTF8), "a\xE6\x97\xA5");
}

TEST(IconvWrapper, OutputGrows)
{
    EXPECT_EQ(Conv("a", VL_CHARSET_UTF8, VL_CHARSET_UTF32LE), std::string("a\0\0\0", 4));
    EXPECT_EQ(Conv("a", VL_CHARSET_UTF8, VL_CHARSET_UTF32).size(), 4u);  // the 4-byte mark removed whole
    std::string big(100000, 'x');
    EXPECT_EQ(Conv(big, VL_CHARSET_UTF8, VL_CHARSET_UTF32LE).size(), 400000u);
}

TEST(IconvWrapper, SpecialCases)
{
    int eCharset = 0;
    CVLString empty = CVLIconvWrapper::Convert(VL_CHARSET_UTF8, "x", 0, VL_CHARSET_UTF16LE, false);
    EXPECT_EQ(empty.GetLength(), 0);
    EXPECT_EQ(empty.GetCharset(), VL_CHARSET_UTF16LE);
    // The same name on both sides: the bytes are copied.
    EXPECT_EQ(Conv("\xFF\x01", VL_CHARSET_UTF8, VL_CHARSET_UTF8, false, &eCharset), "\xFF\x01");
    EXPECT_EQ(eCharset, VL_CHARSET_UTF8);
    EXPECT_EQ(Conv("x", VL_CHARSET_UTF8, VL_CHARSET_UNKNOWN, false, &eCharset), "");
    EXPECT_EQ(eCharset, VL_CHARSET_UNKNOWN);
    EXPECT_EQ(Conv("x", VL_CHARSET_UTF8, VL_CHARSET_MAC_ROMAN), "x");  // MacRoman under its other name
    EXPECT_EQ(CVLIconvWrapper::GetBOMType("\xFF\xFE", 2), 1);
    EXPECT_EQ(CVLIconvWrapper::GetBOMType("\xFE\xFF", 2), 2);
    EXPECT_EQ(CVLIconvWrapper::GetBOMType("\xFE", 1), -1);
}

TEST(IconvWrapper, StringConvertTo)
{
    CVLString s("\xE6\x97\xA5", VL_CHARSET_UTF8);
    CVLString sj = s.ConvertTo("SHIFT_JIS", false);
    EXPECT_EQ(sj.GetCharset(), VL_CHARSET_SHIFT_JIS);
    EXPECT_EQ(Bytes(sj.ConvertTo(VL_CHARSET_UTF8, false)), "\xE6\x97\xA5");
    EXPECT_EQ(sj.GetCharCount(), 1);
}

// The Mac sets that the C library knows under other names convert both ways.
TEST(IconvWrapper, MacCharsetsUnderTheLibrarysNames)
{
    const struct
    {
        const char* szName;
        const char* szUtf8;
        const char* szBytes;
    } cases[] = {
        {"MacIceland", "\xC3\x9E\xC3\xA9", "\xDE\x8E"}, {"MacRoman", "\xC3\xA9", "\x8E"},
        {"Macintosh", "\xC3\xA9", "\x8E"},               {"MacCentralEurope", "\xC3\xA9", "\x8E"},
        {"MacUkraine", "\xD0\x96", "\x86"},              {"MacCyrillic", "\xD0\x96", "\x86"},
    };
    for (const auto& c : cases) {
        const int eCharset = CVLIconvWrapper::GetCharsetId(c.szName);
        ASSERT_GE(eCharset, 0) << c.szName;
        EXPECT_EQ(c.szBytes, Conv(c.szUtf8, VL_CHARSET_UTF8, eCharset)) << c.szName;
        EXPECT_EQ(c.szUtf8, Conv(c.szBytes, eCharset, VL_CHARSET_UTF8)) << c.szName;
    }
}

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// vlstdtool convert converts all of its input, NUL characters included.
TEST(IconvWrapper, ConvertToolKeepsNulCharacters)
{
    const char* szBin = getenv("VL_TEST_BIN_DIR");
    if (szBin == nullptr)
        GTEST_SKIP() << "VL_TEST_BIN_DIR not set";
    CTempPath szDir("vlconvert-XXXXXX");
    ASSERT_NE(nullptr, mkdtemp(szDir));
    const std::string strIn = std::string(szDir) + "/in", strOut = std::string(szDir) + "/out";
    auto run = [&](const std::string& data, const char* szFrom, const char* szTo) {
        FILE* pFile = fopen(strIn.c_str(), "wb");
        fwrite(data.data(), 1, data.size(), pFile);
        fclose(pFile);
        std::string cmd = std::string(szBin) + "/vlstdtool convert " + szFrom + " " + szTo + " < " + strIn + " > " + strOut;
        EXPECT_EQ(0, std::system(cmd.c_str())) << szFrom << " " << szTo;
        std::string out;
        pFile = fopen(strOut.c_str(), "rb");
        char buf[256];
        size_t n;
        while ((n = fread(buf, 1, sizeof(buf), pFile)) > 0)
            out.append(buf, n);
        fclose(pFile);
        return out;
    };
    EXPECT_EQ(std::string("ab\0c\xC3\xA9", 6), run(std::string("ab\0c\xE9", 5), "ISO-8859-1", "UTF-8"));
    EXPECT_EQ(std::string("\0\0a\0\0", 5), run(std::string("\0\0a\0\0", 5), "UTF-8", "SHIFT_JIS"));
    EXPECT_EQ(std::string("a\0\0\0b\0", 6), run(std::string("a\0b", 3), "UTF-8", "UTF-16LE"));
    EXPECT_EQ(std::string("a\0b", 3), run(std::string("a\0\0\0b\0", 6), "UTF-16LE", "UTF-8"));
    unlink(strIn.c_str());
    unlink(strOut.c_str());
    rmdir(szDir);
}
