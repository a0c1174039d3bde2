#include <gtest/gtest.h>

#include <clocale>

#include "tests/support/TestSupport.h"
#include "base/core/VLString.h"

namespace {
CVLString S(const char* sz) { return CVLString(sz, VL_CHARSET_UTF8); }
}  // namespace

TEST(StringNumbers, Getters)
{
    EXPECT_EQ(S("").ToLong(7), 7);
    EXPECT_EQ(S("abc").ToLong(7), 7);
    EXPECT_EQ(S(" 12").ToLong(7), 7);
    EXPECT_EQ(S("12abc").ToLong(7), 7);
    EXPECT_EQ(S("-12").ToLong(0), -12);
    EXPECT_EQ(S("+").ToLong(5), 0);
    EXPECT_EQ(S("1,000").ToLong(), 1);
    EXPECT_EQ(S("1.9").ToLong(), 1);
    EXPECT_TRUE(S("-1,234.5").IsNumeric());
    EXPECT_TRUE(S("1.2.3").IsNumeric());
    EXPECT_FALSE(S("1-").IsNumeric());
    CVLString emptied = S("5");
    emptied.Clear();
    EXPECT_FALSE(emptied.IsNumeric());
    EXPECT_EQ(emptied.ToLong(9), 9);
}

TEST(StringNumbers, RangesAreThoseOf32BitLongs)
{
    EXPECT_EQ(S("2147483648").ToLong(), 2147483647);
    EXPECT_EQ(S("-2147483649").ToLong(), -2147483647 - 1);
    EXPECT_EQ(S("4294967295").ToULong(), 4294967295u);
    EXPECT_EQ(S("4294967296").ToULong(), 4294967295u);
    EXPECT_EQ(S("-1").ToULong(), 4294967295u);
    EXPECT_EQ(S("9223372036854775808").ToLongLong(), INT64_MAX);
    // The unsigned 64-bit getter reads the whole unsigned range.
    EXPECT_EQ(S("18446744073709551615").ToULongLong(), UINT64_MAX);
    EXPECT_EQ(S("9223372036854775808").ToULongLong(), 9223372036854775808ull);
}

TEST(StringNumbers, BoolsAndDoubles)
{
    EXPECT_TRUE(S("TRUE").ToBool(false));
    EXPECT_TRUE(S("2").ToBool(false));
    EXPECT_FALSE(S("0").ToBool(true));
    EXPECT_FALSE(S("yes").ToBool(false));
    EXPECT_TRUE(S("yes").ToBool(true));
    EXPECT_FALSE(S("False").ToBool(true));
    EXPECT_DOUBLE_EQ(S("1,5").ToDouble(), 1.0);
    EXPECT_DOUBLE_EQ(S("-0.25").ToDouble(), -0.25);
}

TEST(StringNumbers, Setters)
{
    CVLString s(VL_CHARSET_UTF8);
    s.SetDouble(100);
    EXPECT_EQ(Bytes(s), "100.0");
    s.SetDouble(0.125);
    EXPECT_EQ(Bytes(s), "0.125");
    s.SetDouble(0);
    EXPECT_EQ(Bytes(s), "0.0");
    s.SetDouble(-0.25);
    EXPECT_EQ(Bytes(s), "-0.25");
    s.SetDouble(1e300);
    EXPECT_EQ(s.GetLength(), 303);
    s.SetLong(-2147483647 - 1);
    EXPECT_EQ(Bytes(s), "-2147483648");
    s.SetULong(4294967295u);
    EXPECT_EQ(Bytes(s), "4294967295");
    s.SetULongLong(UINT64_MAX);
    EXPECT_EQ(Bytes(s), "18446744073709551615");
    s.SetBool(true);
    EXPECT_EQ(Bytes(s), "true");
    CVLString w(VL_CHARSET_UTF16LE);
    w.SetLong(12);
    EXPECT_EQ(w.GetCharset(), VL_CHARSET_UTF16LE);
    EXPECT_EQ(w.GetLength(), 4);
    EXPECT_EQ(w.ToLong(), 12);
}

TEST(StringNumbers, LocaleIndependent)
{
    const char* szOld = setlocale(LC_ALL, nullptr);
    std::string old = szOld ? szOld : "C";
    if (setlocale(LC_ALL, "de_DE.UTF-8") == nullptr && setlocale(LC_NUMERIC, "de_DE") == nullptr)
        GTEST_SKIP() << "no locale with a decimal comma installed";
    CVLString s(VL_CHARSET_UTF8);
    s.SetDouble(1.5);
    EXPECT_EQ(Bytes(s), "1.5");
    EXPECT_DOUBLE_EQ(S("1.5").ToDouble(), 1.5);
    setlocale(LC_ALL, old.c_str());
}

TEST(StringHex, Parse)
{
    VL_BYTE buf[4];
    EXPECT_EQ(S("abc").HexToBytes(buf, 4), 2);
    EXPECT_EQ(buf[0], 0x0A);
    EXPECT_EQ(buf[1], 0xBC);
    EXPECT_EQ(S("0x1").HexToBytes(buf, 4), 1);
    EXPECT_EQ(buf[0], 0x01);
    EXPECT_EQ(S("0X1").HexToBytes(buf, 4), 0);
    EXPECT_EQ(S("0x").HexToBytes(buf, 4), 0);
    EXPECT_EQ(S("AABBCC").HexToBytes(buf, 2), 2);
    EXPECT_EQ(buf[1], 0xBB);
    EXPECT_EQ(S("12zz").HexToBytes(buf, 4), 0);
    EXPECT_EQ(buf[0], 0x12);  // written before the junk
    VL_ULONG v = 99;
    EXPECT_FALSE(S("").HexToDWord(v));
    EXPECT_EQ(v, 0u);
    EXPECT_TRUE(S("FFFFFFFF").HexToDWord(v));
    EXPECT_EQ(v, 0xFFFFFFFFu);
    EXPECT_TRUE(S("123456789").HexToDWord(v));
    EXPECT_EQ(v, 0x01234567u);
    EXPECT_TRUE(S("1A2B").HexToDWord(v));
    EXPECT_EQ(v, 0x1A2Bu);
    VL_BYTE b = 0;
    EXPECT_TRUE(S("7f").HexToByte(&b));
    EXPECT_EQ(b, 0x7F);
}

TEST(StringHex, Format)
{
    CVLString s("xyz", VL_CHARSET_UTF8);
    s.SetHex(nullptr, 0, true);
    EXPECT_EQ(Bytes(s), "xyz");
    const VL_BYTE data[] = {0x0A, 0xBC, 0xFF};
    s.SetHex(data, 3, false);
    EXPECT_EQ(Bytes(s), "0abcff");
    s.SetHexDWord(0x11223344u, 2, true);
    EXPECT_EQ(Bytes(s), "11223344");
    s.SetHexDWord(0x11223344u, 1, true);
    EXPECT_EQ(Bytes(s), "44332211");
    s.SetHexByte(0xE, true);
    EXPECT_EQ(Bytes(s), "0E");
}
