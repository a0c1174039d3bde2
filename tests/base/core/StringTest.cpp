#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/TestSupport.h"
#include "base/core/VLString.h"

TEST(String, EmptyString)
{
    CVLString s(72);
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_STREQ(s.GetBuffer(), "");
    EXPECT_EQ(s.Compare(CVLString("a", 72)), -1);
    EXPECT_EQ(s.Compare(CVLString(72)), 0);
    EXPECT_EQ(s.GetAt(0), 0);
    s = "abc";
    s.Clear();
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_EQ(s.Compare(""), 0);
}

TEST(String, AssignStopsAtNulAppendDoesNot)
{
    CVLString s(72);
    s.Assign("ab\0cd", 5, 72);
    EXPECT_EQ(s.GetLength(), 2);
    s.Append("ab\0cd", 5);
    EXPECT_EQ(s.GetLength(), 7);
    EXPECT_EQ(Bytes(s), std::string("abab\0cd", 7));
}

TEST(String, SelfAppendAcrossBlockBoundary)
{
    // 40 bytes doubled to 80 needs a new block: the source is the old block.
    CVLString s(std::string(40, 'x').c_str(), 72);
    s += s;
    EXPECT_EQ(Bytes(s), std::string(80, 'x'));
    s.Append(s.GetBuffer() + 10, 60);
    EXPECT_EQ(s.GetLength(), 140);
    s = s;
    EXPECT_EQ(s.GetLength(), 140);
    s.Assign(s.GetBuffer() + 100, 40, -2);  // assign a piece of itself
    EXPECT_EQ(Bytes(s), std::string(40, 'x'));
}

TEST(String, OddLengthInTwoByteCharset)
{
    CVLString s(81);
    ASSERT_EQ(s.GetCharSize(), 2);
    s.Assign("a\0b", 3, -2);  // one unit, then an odd byte
    EXPECT_EQ(s.GetLength(), 3);
    s.Assign("a\0\0\0b", 5, -2);
    EXPECT_EQ(s.GetLength(), 2);
    const unsigned short units[] = {0x41, 0x42, 0};
    s = units;
    EXPECT_EQ(s.GetLength(), 4);
    EXPECT_EQ(s.GetCharCount(), 2);
}

TEST(String, CharsetTagsThroughConcatenationAndAssignment)
{
    CVLString a("ab", 72);
    CVLString b(81);
    const unsigned short units[] = {0x43, 0};
    b = units;
    a += b;  // bytes only, left charset kept
    EXPECT_EQ(a.GetCharset(), 72);
    EXPECT_EQ(Bytes(a), std::string("abC\0", 4));
    CVLString c(0);
    c = "x";
    EXPECT_EQ(c.GetCharset(), 0);
    c = b;
    EXPECT_EQ(c.GetCharset(), 81);
    CVLString empty(43);
    c = empty;
    EXPECT_EQ(c.GetCharset(), 43);
    EXPECT_EQ(c.GetLength(), 0);
    c.Assign("x", 1, -2);
    EXPECT_EQ(c.GetCharset(), 43);
    c.Assign("x", 0, 72);
    EXPECT_EQ(c.GetCharset(), 72);
}

TEST(String, Compare)
{
    EXPECT_LT(CVLString("abc", 72).Compare("abcd"), 0);
    EXPECT_GT(CVLString("b", 72).Compare("abcd"), 0);
    EXPECT_EQ(CVLString("ABC", 72).CompareNoCase("abc"), 0);
    EXPECT_NE(CVLString("\xC3\x84", 72).CompareNoCase("\xC3\xA4"), 0);
    EXPECT_TRUE(CVLString("a", 72) < CVLString("b", 72));
    EXPECT_TRUE("a" == CVLString("a", 72));
    EXPECT_TRUE(CVLString("b", 72) > "a");
    EXPECT_TRUE("a" < CVLString("b", 72));
    CVLString wide(81);
    const unsigned short a1[] = {'a', 'B', 0};
    const unsigned short a2[] = {'A', 'b', 0};
    wide = a1;
    EXPECT_EQ(wide.CompareNoCase(a2), 0);
    EXPECT_NE(wide.Compare(a2), 0);
}

TEST(String, FindAndReverseFind)
{
    CVLString s("abca", 72);
    EXPECT_EQ(CVLString("abc", 72).Find("b", 5), -1);
    EXPECT_EQ(s.Find(""), -1);
    EXPECT_EQ(s.Find("ca"), 2);
    EXPECT_EQ(s.Find('a', 1), 3);
    EXPECT_EQ(s.ReverseFind("a", -1), 3);
    EXPECT_EQ(CVLString("abc", 72).ReverseFind("a", -1), 0);
    // Out-of-range starts stay inside the text.
    EXPECT_EQ(s.Find("a", -100), 0);
    EXPECT_EQ(s.ReverseFind("a", 1000), 3);
    EXPECT_EQ(CVLString::FindBytes("abc", -5, 3, "c", 1), 2);
    EXPECT_EQ(CVLString::ReverseFindBytes("abc", 99, 3, "a", 1), 0);
    EXPECT_EQ(CVLString(72).Find("a"), -1);
    EXPECT_EQ(s.Find(static_cast<unsigned short>(0)), -1);
}

TEST(String, Mid)
{
    CVLString s("abc", 72);
    EXPECT_EQ(Bytes(s.Mid(1, 100)), "bc");
    EXPECT_EQ(s.Mid(3, 1).GetLength(), 0);
    CVLString neg = CVLString("abc", 0).Mid(-1, 2);
    EXPECT_EQ(neg.GetLength(), 0);
    EXPECT_EQ(neg.GetCharset(), 72);
    EXPECT_EQ(Bytes(s.Mid(1)), "bc");
    EXPECT_EQ(CVLString("abc", 0).Mid(1, 0).GetCharset(), 0);
}

TEST(String, MidCharAndCharCount)
{
    CVLString jp("\xE6\x97\xA5\xE6\x9C\xAC", 72);  // two Japanese characters
    EXPECT_EQ(jp.GetCharCount(), 2);
    EXPECT_EQ(Bytes(jp.MidChar(1)), "\xE6\x9C\xAC");
    EXPECT_EQ(Bytes(jp.MidChar(0, 1)), "\xE6\x97\xA5");
    EXPECT_EQ(jp.MidChar(5).GetLength(), 0);
}

TEST(String, Replace)
{
    CVLString s("aaaa", 72);
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
    CVLString s(" \tx y \r\n", 72);
    s.Trim();
    EXPECT_EQ(Bytes(s), "x y");
    s = "   ";
    s.TrimLeft();
    EXPECT_EQ(s.GetLength(), 0);
    s = "ab\xC3\xA9 ";
    s.TrimRight();
    EXPECT_EQ(Bytes(s), "ab\xC3\xA9");
    CVLString w(81);
    const unsigned short units[] = {' ', 'x', ' ', 0};
    w = units;
    w.Trim();
    EXPECT_EQ(w.GetLength(), 2);
    EXPECT_EQ(w.GetCharset(), 81);
    CVLString ascii("  ", 0);
    ascii.Trim();
    EXPECT_EQ(ascii.GetCharset(), 0);
}

TEST(String, Case)
{
    CVLString s("a1b", 0);
    CVLString u = s.MakeUpper();
    EXPECT_EQ(Bytes(u), "A1B");
    EXPECT_EQ(u.GetCharset(), 72);
    EXPECT_EQ(Bytes(s), "a1b");
    EXPECT_EQ(Bytes(CVLString("AbC", 72).MakeLower()), "abc");
}

TEST(String, ReserveGrowsInSteps)
{
    CVLString s(72);
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
    for (int eCharset : {72, 79}) {
        const int nUnit = eCharset == 79 ? 2 : 1;
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
            CVLString target("old text that is long enough to need a block of its own", 72);
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
    CVLString s("0123456789", 72);
    s.Assign(s.GetBuffer() + 2, 5, 72);
    EXPECT_EQ("23456", Bytes(s));
    CVLString empty(72);
    CVLString moved(std::move(empty));
    EXPECT_STREQ("", moved.GetString());
}
