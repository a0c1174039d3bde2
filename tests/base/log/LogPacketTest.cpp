#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "base/log/VLLogPacket.h"

namespace {

std::vector<VL_BYTE> Wire(const CVLLogPacket& p)
{
    return std::vector<VL_BYTE>(p.GetBuffer(), p.GetBuffer() + p.GetLength());
}

}  // namespace

TEST(LogPacket, Type8ExactBytes)
{
    CVLLogPacket p;
    ASSERT_TRUE(p.CreateType8("abc"));
    std::vector<VL_BYTE> expected = {8, 0, 33, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                     0, 0, 0, 0, 0, 0, 0, 3, 0, 'a', 'b', 'c'};
    EXPECT_EQ(expected, Wire(p));
    EXPECT_EQ(33u, p.GetLength());
    EXPECT_EQ(17u, p.GetBodyLength());
    EXPECT_EQ(8, p.GetType());
    CVLString s;
    EXPECT_TRUE(p.GetType8(&s));
    EXPECT_EQ("abc", Bytes(s));
    EXPECT_FALSE(p.GetType7(&s));
    // A packet already built refuses another creation.
    EXPECT_FALSE(p.CreateType8("x"));
    EXPECT_EQ(expected, Wire(p));
}

TEST(LogPacket, HeaderFieldsTextsAndCut)
{
    CVLDateTime t;
    t.SetDate(2014, 1, 2);
    t.SetTime(12, 34, 56, 789);
    std::string strLong(300, 'x');
    CVLLogPacket p(7, t, 0x01020304u, 0xa0b0c0d0u, strLong.c_str(), "t2", 0x1234);
    ASSERT_NE(nullptr, p.GetBuffer());
    EXPECT_EQ(30u + 255 + 2, p.GetLength());
    EXPECT_EQ(std::string(255, 'x'), Bytes(p.GetText1()));
    EXPECT_EQ("t2", Bytes(p.GetText2()));
    EXPECT_EQ(0x01020304u, p.GetA());
    EXPECT_EQ(0xa0b0c0d0u, p.GetB());
    EXPECT_EQ(0x1234, p.GetC());
    EXPECT_TRUE(p.GetTime() == t);
    const VL_BYTE* b = p.GetBuffer();
    EXPECT_EQ(0x04, b[16]);
    EXPECT_EQ(0x01, b[19]);
    EXPECT_EQ(255, b[24]);
    EXPECT_EQ(2, b[25 + 255]);
    EXPECT_EQ(0x34, b[26 + 255 + 2]);
    EXPECT_EQ(0x12, b[27 + 255 + 2]);

    CVLLogPacket q;
    ASSERT_TRUE(q.CreateType7(t.GetAsUInt64(), 1, 2, strLong.c_str(), strLong.c_str(), 3, "body"));
    EXPECT_EQ(30u + 255 + 255 + 4, q.GetLength());
    CVLLogPacket copy(q);
    EXPECT_EQ(Wire(q), Wire(copy));
    CVLString s;
    ASSERT_TRUE(copy.GetType7(&s));
    EXPECT_EQ("body", Bytes(s));
    EXPECT_EQ(3, copy.GetC());
}

TEST(LogPacket, ReadRefusesEveryWrongLength)
{
    CVLLogPacket p;
    ASSERT_TRUE(p.Create(3, 0ull, 1, 2, "ab", "cde", 4, 5, "12345"));
    std::vector<VL_BYTE> wire = Wire(p);
    ASSERT_EQ(40u, wire.size());
    for (VL_ULONG n = 0; n <= wire.size() + 1; ++n) {
        std::vector<VL_BYTE> buf(wire.begin(), wire.begin() + std::min<size_t>(n, wire.size()));
        buf.resize(n, 0);
        CVLLogPacket r;
        EXPECT_EQ(n == wire.size(), r.Read(n, n > 0 ? buf.data() : nullptr)) << n;
        // The stored total adjusted to the length given: still refused unless
        // the fields add up.
        if (n >= 6) {
            buf[2] = static_cast<VL_BYTE>(n);
            EXPECT_EQ(n == wire.size(), r.Read(n, buf.data())) << n;
        }
    }
    // Text and payload lengths that point past the end.
    for (size_t nOff : {24u, 27u, 33u, 34u}) {
        std::vector<VL_BYTE> bad = wire;
        bad[nOff] = 0xff;
        CVLLogPacket r;
        EXPECT_FALSE(r.Read(static_cast<VL_ULONG>(bad.size()), bad.data())) << nOff;
        EXPECT_EQ(nullptr, r.GetBuffer());
        EXPECT_EQ(0u, r.GetLength());
    }
    CVLLogPacket r;
    ASSERT_TRUE(r.Read(static_cast<VL_ULONG>(wire.size()), wire.data()));
    EXPECT_EQ("ab", Bytes(r.GetText1()));
    EXPECT_EQ("cde", Bytes(r.GetText2()));
    EXPECT_EQ(5, r.GetPayloadLength());
    EXPECT_EQ(0, memcmp("12345", r.GetPayload(), 5));
    // A length beyond the largest packet is refused before anything is read.
    EXPECT_FALSE(r.Read(CVLLogPacket::MAX_LENGTH + 1, wire.data()));
}

TEST(LogPacket, HeaderOnlyAndFlags)
{
    CVLLogPacket p;
    EXPECT_FALSE(p.SetFlag(0, true));
    ASSERT_TRUE(p.Create(2, 5ull, 7, 8, "a", "b", 9, 0, nullptr));
    EXPECT_TRUE(p.SetFlag(16, true));
    EXPECT_TRUE(p.SetFlag(3, true));
    EXPECT_TRUE(p.GetFlag(3));
    EXPECT_EQ(8, p.GetBuffer()[14]);
    EXPECT_TRUE(p.SetFlag(0, true));
    EXPECT_TRUE(p.IsHeaderOnly());
    EXPECT_EQ(0u, p.GetA());
    EXPECT_EQ(0u, p.GetB());
    EXPECT_EQ(0, p.GetC());
    EXPECT_EQ("", Bytes(p.GetText1()));
    EXPECT_EQ("", Bytes(p.GetText2()));

    // A 16-byte header-only packet as received.
    std::vector<VL_BYTE> h(p.GetBuffer(), p.GetBuffer() + 16);
    h[2] = 16;
    CVLLogPacket r;
    ASSERT_TRUE(r.Read(16, h.data()));
    EXPECT_TRUE(r.IsHeaderOnly());
    EXPECT_EQ(2, r.GetType());
    EXPECT_EQ(5ull, r.GetTimeValue());
    EXPECT_EQ(0u, r.GetA());
    // Clearing the bit would make it a packet without its fields: refused,
    // and the flag stays.
    EXPECT_FALSE(r.SetFlag(0, false));
    EXPECT_TRUE(r.IsHeaderOnly());
    EXPECT_FALSE(r.Read(15, h.data()));
}

TEST(LogPacket, Type1Rules)
{
    CVLLogPacket p;
    EXPECT_FALSE(p.CreateType1(0ull, 0, 0, nullptr, nullptr, 0, "", "b", "c", "d"));
    EXPECT_FALSE(p.CreateType1(0ull, 0, 0, nullptr, nullptr, 0, "a", "", "c", "d"));
    EXPECT_FALSE(p.CreateType1(0ull, 0, 0, nullptr, nullptr, 0, "a", "b", "", "d"));
    std::string s256(256, 's');
    EXPECT_FALSE(p.CreateType1(0ull, 0, 0, nullptr, nullptr, 0, s256.c_str(), "b", "c", "d"));
    // Each length within its limit, but together beyond the 16-bit payload.
    std::string s65535(65535, 'm');
    EXPECT_FALSE(p.CreateType1(0ull, 0, 0, nullptr, nullptr, 0, "a", s65535.c_str(), "c", "d"));
    EXPECT_EQ(nullptr, p.GetBuffer());
    std::string s65527(65527, 'm');
    ASSERT_TRUE(p.CreateType1(0ull, 0, 0, nullptr, nullptr, 0, "a", s65527.c_str(), "c", nullptr));
    EXPECT_EQ(65535, p.GetPayloadLength());
    p.Clear();

    ASSERT_TRUE(p.CreateType1(0ull, 1, 2, "x", "y", 3, "one", "two", "three", ""));
    EXPECT_EQ(3 + 3 + 5 + 0 + 6, p.GetPayloadLength());
    CVLString a, b, c, d("junk", VL_CHARSET_UTF8);
    ASSERT_TRUE(p.GetType1(&a, &b, &c, &d));
    EXPECT_EQ("one", Bytes(a));
    EXPECT_EQ("two", Bytes(b));
    EXPECT_EQ("three", Bytes(c));
    EXPECT_EQ("", Bytes(d));
    EXPECT_TRUE(p.GetType1(nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(p.GetType8(&a));

    // A type 1 payload whose inner lengths do not add up.
    CVLLogPacket bad;
    const VL_BYTE payload[] = {5, 'a', 'b'};
    ASSERT_TRUE(bad.Create(1, 0ull, 0, 0, nullptr, nullptr, 0, sizeof(payload), payload));
    EXPECT_FALSE(bad.GetType1(&a, &b, &c, &d));
}

TEST(LogPacket, Type5And6)
{
    CVLLogPacket p;
    const VL_ULONG nZero = 0;
    EXPECT_FALSE(p.CreateType5(5, 0ull, 0, 0, nullptr, nullptr, 0, 1, 2, "x", nZero));
    std::vector<VL_BYTE> big(65532, 1);
    EXPECT_FALSE(p.CreateType5(5, 0ull, 0, 0, nullptr, nullptr, 0, 1, 2, big.data(), 65532u));
    ASSERT_TRUE(p.CreateType5(5, 0ull, 0, 0, nullptr, nullptr, 0, 1, 2, big.data(), 65531u));
    EXPECT_EQ(65535, p.GetPayloadLength());
    p.Clear();

    const VL_BYTE data[] = {9, 8, 7};
    ASSERT_TRUE(p.CreateType5(5, 0ull, 0, 0, nullptr, nullptr, 0, 0xaa, 0xbb, data, 3u));
    VL_BYTE a = 0, b = 0;
    uint16_t n = 0;
    const VL_BYTE* pBlock = nullptr;
    ASSERT_TRUE(p.GetType5(&a, &b, &n, &pBlock));
    EXPECT_EQ(0xaa, a);
    EXPECT_EQ(0xbb, b);
    ASSERT_EQ(3, n);
    EXPECT_EQ(0, memcmp(data, pBlock, 3));
    CVLString s1, s2("junk", VL_CHARSET_UTF8);
    ASSERT_TRUE(p.GetType5(&a, &b, &s1, &s2));
    EXPECT_EQ(std::string("\x09\x08\x07"), Bytes(s1));
    EXPECT_EQ("", Bytes(s2));
    p.Clear();

    EXPECT_FALSE(p.CreateType5(5, 0ull, 0, 0, nullptr, nullptr, 0, 1, 2, "a", ""));
    std::string s40000(40000, 'q');
    EXPECT_FALSE(p.CreateType5(5, 0ull, 0, 0, nullptr, nullptr, 0, 1, 2, s40000.c_str(), s40000.c_str()));
    ASSERT_TRUE(p.CreateType5(5, 0ull, 0, 0, nullptr, nullptr, 0, 1, 2, "first", "second"));
    EXPECT_EQ(5 + 4 + 6 + 2, p.GetPayloadLength());
    ASSERT_TRUE(p.GetType5(nullptr, nullptr, &s1, &s2));
    EXPECT_EQ("first", Bytes(s1));
    EXPECT_EQ("second", Bytes(s2));
    p.Clear();

    // An empty type 5 payload: zeros from the first two readers only.
    ASSERT_TRUE(p.Create(5, 0ull, 0, 0, nullptr, nullptr, 0, 0, nullptr));
    a = b = 1;
    EXPECT_TRUE(p.GetType5(&a, &b));
    EXPECT_EQ(0, a);
    EXPECT_EQ(0, b);
    EXPECT_TRUE(p.GetType5(&a, &b, &n, &pBlock));
    EXPECT_EQ(0, n);
    EXPECT_FALSE(p.GetType5(&a, &b, &s1));
    p.Clear();
    // A block length past the payload.
    const VL_BYTE badPayload[] = {1, 2, 10, 0, 'x'};
    ASSERT_TRUE(p.Create(5, 0ull, 0, 0, nullptr, nullptr, 0, sizeof(badPayload), badPayload));
    EXPECT_FALSE(p.GetType5(&a, &b, &n, &pBlock));
    EXPECT_FALSE(p.GetType5(&a, &b, &s1, &s2));
    p.Clear();

    ASSERT_TRUE(p.CreateType6(0xbeef));
    uint16_t v = 0;
    ASSERT_TRUE(p.GetType6(&v));
    EXPECT_EQ(0xbeef, v);
    EXPECT_NE(0ull, p.GetTimeValue());
    EXPECT_EQ(0u, p.GetA());
    EXPECT_EQ(32u, p.GetLength());
}

TEST(LogPacket, AttachDetach)
{
    CVLLogPacket p;
    ASSERT_TRUE(p.CreateType8("hello"));
    VL_ULONG n = p.GetLength();
    VL_BYTE* pBuffer = p.Detach();
    EXPECT_EQ(nullptr, p.GetBuffer());
    EXPECT_EQ(0u, p.GetLength());
    CVLLogPacket q;
    EXPECT_FALSE(q.Attach(n - 1, pBuffer));
    EXPECT_EQ(nullptr, q.GetBuffer());
    ASSERT_TRUE(q.Attach(n, pBuffer));
    CVLString s;
    ASSERT_TRUE(q.GetType8(&s));
    EXPECT_EQ("hello", Bytes(s));
}
