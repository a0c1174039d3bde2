// The byte order of texts that keyed collections rely on.
#include <gtest/gtest.h>

#include <map>

#include "base/core/VLString.h"

TEST(StringOrder, BytesUnsignedThenLength)
{
    auto cmp = [](const char* a, int na, const char* b, int nb) {
        return CVLString(a, na, VL_CHARSET_UTF8).Compare(CVLString(b, nb, VL_CHARSET_UTF8));
    };
    EXPECT_EQ(cmp("Fib", 3, "Fib", 3), 0);
    EXPECT_LT(cmp("Fib", 3, "Fibo", 4), 0);  // a prefix comes first
    EXPECT_GT(cmp("Fibo", 4, "Fib", 3), 0);
    EXPECT_LT(cmp("abc", 3, "abd", 3), 0);
    EXPECT_GT(cmp("b", 1, "abc", 3), 0);
    // Bytes compare unsigned.
    EXPECT_GT(cmp("\xe3\x81\x82", 3, "z", 1), 0);
    EXPECT_LT(cmp("ab\xe3", 3, "ab\xe4", 3), 0);
    // The result is the difference of the first bytes that differ.
    EXPECT_EQ(cmp("xa", 2, "xc", 2), 'a' - 'c');

    std::map<CVLString, int> keys;
    const char* names[] = {"Len", "Fib", "Fibonacci", "fib", "F", "\xc3\xa9t\xc3\xa9"};
    for (int i = 0; i < 6; ++i)
        keys[CVLString(names[i], VL_CHARSET_UTF8)] = i;
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(keys.at(CVLString(names[i], VL_CHARSET_UTF8)), i);
    EXPECT_EQ(keys.begin()->first.Compare("F"), 0);
}
