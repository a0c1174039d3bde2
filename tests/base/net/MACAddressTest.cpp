#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include <cstring>
#include <set>
#include <string>

#include "tests/support/TestSupport.h"
#include "base/system/VLGUIDUtility.h"
#include "base/net/VLMACAddress.h"
#include "base/core/VLRandom.h"

TEST(MACAddress, ParseForms)
{
    const unsigned char want[6] = {0x00, 0x1b, 0x44, 0x11, 0x3a, 0xb7};
    for (const char* sz : {"00:1b:44:11:3a:b7", "00-1B-44-11-3A-B7", "001B44113AB7", "0x001b44113ab7"}) {
        CVLMACAddress mac;
        mac.Parse(sz);
        EXPECT_EQ(0, std::memcmp(want, mac.GetBytes(), 6)) << sz;
    }
    CVLMACAddress mac(want);
    EXPECT_EQ("00:1b:44:11:3a:b7", Bytes(mac.ToString(":", false)));
    EXPECT_EQ("001B44113AB7", Bytes(mac.ToString(nullptr, true)));
    EXPECT_EQ("00--1B--44--11--3A--B7", Bytes(mac.ToString("--", true)));

    mac.Parse("aabb");
    const unsigned char part[6] = {0xaa, 0xbb, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(part, mac.GetBytes(), 6));
    mac.Parse("11:22:zz:44:55:66");
    const unsigned char stop[6] = {0x11, 0x22, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(stop, mac.GetBytes(), 6));
    EXPECT_FALSE(mac.IsEmpty());
    CVLMACAddress copy(mac);
    EXPECT_EQ(0, std::memcmp(copy.GetBytes(), mac.GetBytes(), 6));
    mac.Clear();
    EXPECT_TRUE(mac.IsEmpty());
    mac.Parse(nullptr);
    EXPECT_TRUE(mac.IsEmpty());
}

// The strict reading: whole pairs, one separator throughout, nothing else.
TEST(MACAddress, ParseStrictForms)
{
    const unsigned char want[6] = {0x00, 0x1b, 0x44, 0x11, 0x3a, 0xb7};
    for (const char* sz : {"00:1b:44:11:3a:b7", "00-1B-44-11-3A-B7", "001B44113AB7", "001b44113AB7"}) {
        CVLMACAddress mac;
        EXPECT_TRUE(CVLMACAddress::ParseStrict(sz, mac)) << sz;
        EXPECT_EQ(0, std::memcmp(want, mac.GetBytes(), 6)) << sz;
        EXPECT_EQ("001B44113AB7", Bytes(CVLMACAddress::Normalize(sz, nullptr))) << sz;
        EXPECT_EQ("00:1B:44:11:3A:B7", Bytes(CVLMACAddress::Normalize(sz, ":"))) << sz;
    }
    for (const char* sz :
         {"", "0x001b44113ab7", "001B44113AB", "001B44113AB7F", "00:1B-44:11:3A:B7", "00.1B.44.11.3A.B7",
          "0:1B:44:11:3A:B7:", "001B:44113AB7", "00:1B:44:11:3A:G7", "00:1B:44:11:3A:B7 "}) {
        CVLMACAddress mac(want);
        EXPECT_FALSE(CVLMACAddress::ParseStrict(sz, mac)) << sz;
        EXPECT_EQ(0, std::memcmp(want, mac.GetBytes(), 6)) << sz;
        EXPECT_EQ("", Bytes(CVLMACAddress::Normalize(sz, nullptr))) << sz;
    }
    CVLMACAddress mac;
    EXPECT_FALSE(CVLMACAddress::ParseStrict(nullptr, mac));
}

TEST(GUIDUtility, TextForms)
{
    VLGUID g;
    ASSERT_TRUE(CVLGUIDUtility::FromString("{0123abcd-EF01-4567-89ab-cdef01234567}", &g));
    EXPECT_EQ(0x0123abcdu, g.nData1);
    EXPECT_EQ(0xef01, g.nData2);
    EXPECT_EQ(0x89, g.Data4[0]);
    EXPECT_EQ(0x67, g.Data4[7]);
    EXPECT_EQ("{0123abcd-ef01-4567-89ab-cdef01234567}", Bytes(CVLGUIDUtility::ToString(g, false, false)));
    EXPECT_EQ("0123ABCD-EF01-4567-89AB-CDEF01234567", Bytes(CVLGUIDUtility::ToString(g, true, true)));
    EXPECT_TRUE(CVLGUIDUtility::FromString("0123abcd-ef01-4567-89ab-cdef01234567", &g));
    EXPECT_FALSE(CVLGUIDUtility::FromString("0123abcd-ef01-4567-89ab-cdef012345678", &g));
    EXPECT_FALSE(CVLGUIDUtility::FromString("x0123abcd-ef01-4567-89ab-cdef01234567x", &g));
    EXPECT_FALSE(CVLGUIDUtility::FromString("0123abcd-ef01-4567-89ab-cdef0123456g", &g));
    EXPECT_FALSE(CVLGUIDUtility::FromString("0123abcd0ef01-4567-89ab-cdef01234567", &g));
    EXPECT_EQ(0u, g.nData1);

    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        std::string s = Bytes(CVLGUIDUtility::CreateString(false, true));
        ASSERT_EQ(36u, s.size());
        EXPECT_EQ('4', s[14]);
        EXPECT_NE(std::string::npos, std::string("89ab").find(s[19]));
        seen.insert(s);
        VLGUID back;
        EXPECT_TRUE(CVLGUIDUtility::FromString(s.c_str(), &back));
    }
    EXPECT_EQ(50u, seen.size());
}

TEST(Random, SeedRepeats)
{
    // The same seed gives the same sequence; another seed another one.
    auto sequence = [](unsigned int nSeed) {
        CVLRandom::Seed(nSeed);
        std::vector<int> values;
        for (int i = 0; i < 8; ++i)
            values.push_back(CVLRandom::GetRandom());
        return values;
    };
    const std::vector<int> first = sequence(42);
    EXPECT_EQ(first, sequence(42));
    EXPECT_NE(first, sequence(43));
    // Not one value over and over.
    EXPECT_NE(std::count(first.begin(), first.end(), first[0]), static_cast<long>(first.size()));
}
