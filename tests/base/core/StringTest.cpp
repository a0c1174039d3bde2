#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/TestSupport.h"
#include "base/core/VLString.h"

TEST(String, EmptyString)
{
    CVLString s(VL_CHARSET_UTF8);
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_STREQ(s.GetBuffer(), "");
    EXPECT_EQ(s.Compare(CVLString("a", VL_CHARSET_UTF8)), -1);
    EXPECT_EQ(s.Compare(CVLString(VL_CHARSET_UTF8)), 0);
    EXPECT_EQ(s.GetAt(0), 0);
    s = "abc";
    s.Clear();
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_EQ(s.Compare(""), 0);
}

TEST(String, AssignStopsAtNulAppendDoesNot)
{
    CVLString s(VL_CHARSET_UTF8);
    s.Assign("ab\0cd", 5, VL_CHARSET_UTF8);
    EXPECT_EQ(s.GetLength(), 2);
    s.Append("ab\0cd", 5);
    EXPECT_EQ(s.GetLength(), 7);
    EXPECT_EQ(Bytes(s), std::string("abab\0cd", 7));
}

TEST(String, SelfAppendAcrossBlockBoundary)
{
    // 40 bytes doubled to 80 needs a new block: the source is the old block.
    CVLString s(std::string(40, 'x').c_str(), VL_CHARSET_UTF8);
    s += s;
    EXPECT_EQ(Bytes(s), std::string(80, 'x'));
    s.Append(s.GetBuffer() + 10, 60);
    EXPECT_EQ(s.GetLength(), 140);
    const CVLString& self = s;  // through a reference: the compiler warns of a plain self-assignment
    s = self;
    EXPECT_EQ(s.GetLength(), 140);
    s.Assign(s.GetBuffer() + 100, 40, VL_CHARSET_UNKNOWN);  // assign a piece of itself
    EXPECT_EQ(Bytes(s), std::string(40, 'x'));
}

TEST(String, OddLengthInTwoByteCharset)
{
    CVLString s(VL_CHARSET_UTF16LE);
    ASSERT_EQ(s.GetCharSize(), 2);
    s.Assign("a\0b", 3, VL_CHARSET_UNKNOWN);  // one unit, then an odd byte
    EXPECT_EQ(s.GetLength(), 3);
    s.Assign("a\0\0\0b", 5, VL_CHARSET_UNKNOWN);
    EXPECT_EQ(s.GetLength(), 2);
    const unsigned short units[] = {0x41, 0x42, 0};
    s = units;
    EXPECT_EQ(s.GetLength(), 4);
    EXPECT_EQ(s.GetCharCount(), 2);
    // A longer text ends at its first zero unit, wherever it lies; zero
    // bytes of two neighbouring units are no zero unit.
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += std::string("\x41\x00\x00\x42", 4);
    for (int nZero : {0, 3, 4, 7, 13, 79}) {
        std::string t = text;
        t[nZero * 2] = 0;
        t[nZero * 2 + 1] = 0;
        s.Assign(t.data(), static_cast<int>(t.size()), VL_CHARSET_UNKNOWN);
        EXPECT_EQ(s.GetLength(), nZero * 2) << nZero;
    }
    s.Assign(text.data(), static_cast<int>(text.size()), VL_CHARSET_UNKNOWN);
    EXPECT_EQ(s.GetLength(), 160);
}

TEST(String, CharsetTagsThroughConcatenationAndAssignment)
{
    CVLString a("ab", VL_CHARSET_UTF8);
    CVLString b(VL_CHARSET_UTF16LE);
    const unsigned short units[] = {0x43, 0};
    b = units;
    a += b;  // bytes only, left charset kept
    EXPECT_EQ(a.GetCharset(), VL_CHARSET_UTF8);
    EXPECT_EQ(Bytes(a), std::string("abC\0", 4));
    CVLString c(VL_CHARSET_ASCII);
    c = "x";
    EXPECT_EQ(c.GetCharset(), VL_CHARSET_ASCII);
    c = b;
    EXPECT_EQ(c.GetCharset(), VL_CHARSET_UTF16LE);
    CVLString empty(VL_CHARSET_CP932);
    c = empty;
    EXPECT_EQ(c.GetCharset(), VL_CHARSET_CP932);
    EXPECT_EQ(c.GetLength(), 0);
    c.Assign("x", 1, VL_CHARSET_UNKNOWN);
    EXPECT_EQ(c.GetCharset(), VL_CHARSET_CP932);
    c.Assign("x", 0, VL_CHARSET_UTF8);
    EXPECT_EQ(c.GetCharset(), VL_CHARSET_UTF8);
}

TEST(String, Compare)
{
    EXPECT_LT(CVLString("abc", VL_CHARSET_UTF8).Compare("abcd"), 0);
    EXPECT_GT(CVLString("b", VL_CHARSET_UTF8).Compare("abcd"), 0);
    EXPECT_EQ(CVLString("ABC", VL_CHARSET_UTF8).CompareNoCase("abc"), 0);
    // Every letter, both ends of the alphabet included; the neighbours of
    // the letters are not letters.
    EXPECT_EQ(CVLString("z", VL_CHARSET_UTF8).CompareNoCase("Z"), 0);
    EXPECT_EQ(CVLString("A", VL_CHARSET_UTF8).CompareNoCase("a"), 0);
    EXPECT_EQ(CVLString("abcdefghijklmnopqrstuvwxyz", VL_CHARSET_UTF8).CompareNoCase("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), 0);
    EXPECT_NE(CVLString("@", VL_CHARSET_UTF8).CompareNoCase("`"), 0);
    EXPECT_NE(CVLString("[", VL_CHARSET_UTF8).CompareNoCase("{"), 0);
    EXPECT_LT(CVLString("a", VL_CHARSET_UTF8).CompareNoCase("Z"), 0);
    EXPECT_NE(CVLString("\xC3\x84", VL_CHARSET_UTF8).CompareNoCase("\xC3\xA4"), 0);
    EXPECT_TRUE(CVLString("a", VL_CHARSET_UTF8) < CVLString("b", VL_CHARSET_UTF8));
    EXPECT_TRUE("a" == CVLString("a", VL_CHARSET_UTF8));
    EXPECT_TRUE(CVLString("b", VL_CHARSET_UTF8) > "a");
    EXPECT_TRUE("a" < CVLString("b", VL_CHARSET_UTF8));
    CVLString wide(VL_CHARSET_UTF16LE);
    const unsigned short a1[] = {'a', 'B', 0};
    const unsigned short a2[] = {'A', 'b', 0};
    wide = a1;
    EXPECT_EQ(wide.CompareNoCase(a2), 0);
    EXPECT_NE(wide.Compare(a2), 0);
}

TEST(String, FindAndReverseFind)
{
    CVLString s("abca", VL_CHARSET_UTF8);
    EXPECT_EQ(CVLString("abc", VL_CHARSET_UTF8).Find("b", 5), -1);
    EXPECT_EQ(s.Find(""), -1);
    EXPECT_EQ(s.Find("ca"), 2);
    EXPECT_EQ(s.Find('a', 1), 3);
    EXPECT_EQ(s.ReverseFind("a", -1), 3);
    EXPECT_EQ(CVLString("abc", VL_CHARSET_UTF8).ReverseFind("a", -1), 0);
    // Out-of-range starts stay inside the text.
    EXPECT_EQ(s.Find("a", -100), 0);
    EXPECT_EQ(s.ReverseFind("a", 1000), 3);
    EXPECT_EQ(CVLString::FindBytes("abc", -5, 3, "c", 1), 2);
    EXPECT_EQ(CVLString::ReverseFindBytes("abc", 99, 3, "a", 1), 0);
    EXPECT_EQ(CVLString(VL_CHARSET_UTF8).Find("a"), -1);
    EXPECT_EQ(s.Find(static_cast<unsigned short>(0)), -1);
}

TEST(String, Mid)
{
    CVLString s("abc", VL_CHARSET_UTF8);
    EXPECT_EQ(Bytes(s.Mid(1, 100)), "bc");
    EXPECT_EQ(s.Mid(3, 1).GetLength(), 0);
    CVLString neg = CVLString("abc", VL_CHARSET_ASCII).Mid(-1, 2);
    EXPECT_EQ(neg.GetLength(), 0);
    EXPECT_EQ(neg.GetCharset(), VL_CHARSET_UTF8);
    EXPECT_EQ(Bytes(s.Mid(1)), "bc");
    EXPECT_EQ(CVLString("abc", VL_CHARSET_ASCII).Mid(1, 0).GetCharset(), VL_CHARSET_ASCII);
}

TEST(String, MidCharAndCharCount)
{
    CVLString jp("\xE6\x97\xA5\xE6\x9C\xAC", VL_CHARSET_UTF8);  // two Japanese characters
    EXPECT_EQ(jp.GetCharCount(), 2);
    EXPECT_EQ(Bytes(jp.MidChar(1)), "\xE6\x9C\xAC");
    EXPECT_EQ(Bytes(jp.MidChar(0, 1)), "\xE6\x97\xA5");
    EXPECT_EQ(jp.MidChar(5).GetLength(), 0);
}

TEST(String, Replace)
{
    CVLString s("aaaa", VL_CHARSET_UTF8);
    EXPECT_EQ(s.Replace("aa", "b"), 2);
    EXPECT_EQ(Bytes(s), "bb");
    s = "aaa";
    EXPECT_EQ(s.Replace("aa", "b"), 1);
    EXPECT_EQ(Bytes(s), "ba");
    s = "xax";
    EXPECT_EQ(s.Replace("a", nullptr), 1);
    EXPECT_EQ(Bytes(s), "xx");
    EXPECT_EQ(s.Replace("", "q"), 0);
    EXPECT_EQ(Bytes(s), "xx");
}

TEST(String, Trim)
{
    CVLString s(" \tx y \r\n", VL_CHARSET_UTF8);
    s.Trim();
    EXPECT_EQ(Bytes(s), "x y");
    s = "   ";
    s.TrimLeft();
    EXPECT_EQ(s.GetLength(), 0);
    s = "ab\xC3\xA9 ";
    s.TrimRight();
    EXPECT_EQ(Bytes(s), "ab\xC3\xA9");
    CVLString w(VL_CHARSET_UTF16LE);
    const unsigned short units[] = {' ', 'x', ' ', 0};
    w = units;
    w.Trim();
    EXPECT_EQ(w.GetLength(), 2);
    EXPECT_EQ(w.GetCharset(), VL_CHARSET_UTF16LE);
    CVLString ascii("  ", VL_CHARSET_ASCII);
    ascii.Trim();
    EXPECT_EQ(ascii.GetCharset(), VL_CHARSET_ASCII);
}

TEST(String, Case)
{
    CVLString s("a1b", VL_CHARSET_ASCII);
    CVLString u = s.MakeUpper();
    EXPECT_EQ(Bytes(u), "A1B");
    EXPECT_EQ(u.GetCharset(), VL_CHARSET_UTF8);
    EXPECT_EQ(Bytes(s), "a1b");
    EXPECT_EQ(Bytes(CVLString("AbC", VL_CHARSET_UTF8).MakeLower()), "abc");
}

TEST(String, ReserveGrowsInSteps)
{
    CVLString s(VL_CHARSET_UTF8);
    s.Reserve(10);
    s = "0123456789";
    s.Reserve(20);  // fits: the text stays
    EXPECT_EQ(Bytes(s), "0123456789");
    for (int i = 0; i < 1000; ++i)
        s += 'z';
    EXPECT_EQ(s.GetLength(), 1010);
    s.FreeBuffer();
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_STREQ(s.GetString(), "");
}

TEST(String, ShortAndLongTextsMoveCopyAndGrow)
{
    // Every length around the size kept inside the string object, in UTF-8
    // and UTF-16, through copy, move, self-append and growth.
    for (int eCharset : {VL_CHARSET_UTF8, VL_CHARSET_UTF16}) {
        const int nUnit = eCharset == VL_CHARSET_UTF16 ? 2 : 1;
        for (int n = 0; n <= 70; n += nUnit) {
            std::string text;
            for (int i = 0; i < n; ++i)
                text += static_cast<char>('a' + i % 26);
            CVLString s(text.data(), n, eCharset);
            ASSERT_EQ(n, s.GetLength());
            CVLString copy(s);
            CVLString moved(std::move(copy));
            EXPECT_EQ(Bytes(s), Bytes(moved));
            EXPECT_EQ(0, copy.GetLength());
            EXPECT_EQ(0, std::memcmp(moved.GetBuffer() + n, "\0\0", static_cast<size_t>(nUnit)));
            CVLString target("old text that is long enough to need a block of its own", VL_CHARSET_UTF8);
            target = std::move(moved);
            EXPECT_EQ(text, Bytes(target));
            EXPECT_EQ(eCharset, target.GetCharset());
            target += target;  // the source lies in the string itself
            EXPECT_EQ(text + text, Bytes(target));
            CVLString grown(s);
            for (int i = 0; i < 40; ++i)
                grown.Append("xy", 2);
            EXPECT_EQ(n + 80, grown.GetLength());
            EXPECT_EQ(text, Bytes(grown).substr(0, static_cast<size_t>(n)));
            grown.FreeBuffer();
            EXPECT_EQ(0, grown.GetLength());
            grown = s;
            EXPECT_EQ(text, Bytes(grown));
        }
    }
    // Assigning a piece of a string to itself.
    CVLString s("0123456789", VL_CHARSET_UTF8);
    s.Assign(s.GetBuffer() + 2, 5, VL_CHARSET_UTF8);
    EXPECT_EQ("23456", Bytes(s));
    CVLString empty(VL_CHARSET_UTF8);
    CVLString moved(std::move(empty));
    EXPECT_STREQ("", moved.GetString());
}
