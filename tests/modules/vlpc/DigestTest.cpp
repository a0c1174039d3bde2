#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/core/VLExceptionOwner.h"
#include "base/core/VLNullObjectException.h"
#include "base/core/VLString.h"
#include "base/stream/VLStringStream.h"
#include "modules/vlpc/VLARC4.h"
#include "modules/vlpc/VLBase64.h"
#include "modules/vlpc/VLMD5.h"
#include "tests/support/emulator/DeviceEmulator.h"
#include "tests/support/TextStream.h"

namespace {

std::string Md5Hex(const std::string& s)
{
    CVLMD5 md5;
    EXPECT_TRUE(md5.Digest(s.data(), static_cast<unsigned int>(s.size())));
    CVLString hex;
    hex.SetHex(md5.GetResult(), md5.GetResultLength(), false);
    return std::string(hex.GetBuffer(), hex.GetLength());
}

std::string Encode(const std::string& s)
{
    CTextStream in(s);
    CVLStringStream out;
    VLBase64Encode(&in, &out);
    return std::string(out.GetString().GetBuffer(), out.GetString().GetLength());
}

// Decodes into a string; "!" when the text is refused.
std::string Decode(const std::string& s)
{
    CTextStream in(s);
    CVLStringStream out;
    if (!VLBase64Decode(&in, &out))
        return "!";
    return std::string(out.GetString().GetBuffer(), out.GetString().GetLength());
}

template <typename F>
int NullObjectLine(F f)
{
    try {
        f();
    } catch (EVLNullObjectException* e) {
        int n = e->GetLine();
        e->Delete();
        return n;
    } catch (EVLException* e) {
        e->Delete();
        return -1;
    }
    return 0;
}

}  // namespace

TEST(MD5, RfcVectors)
{
    CVLMD5 md5;
    EXPECT_EQ(16, md5.GetResultLength());
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Md5Hex(""));
    EXPECT_EQ("0cc175b9c0f1b6a831c399e269772661", Md5Hex("a"));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Md5Hex("abc"));
    EXPECT_EQ("f96b697d7cb7938d525a2f31aaf161d0", Md5Hex("message digest"));
    EXPECT_EQ("c3fcd3d76192e4007dfb496cca67e13b", Md5Hex("abcdefghijklmnopqrstuvwxyz"));
    EXPECT_EQ("d174ab98d277d9f5a5611c2c9f419d9f",
              Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"));
    EXPECT_EQ("57edf4a22be3c955ac49da2e2107b67a",
              Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"));
    // Padding edges: 55, 56 and 64 bytes need one, two and two final blocks.
    EXPECT_EQ("ef1772b6dff9a122358552954ad0df65", Md5Hex(std::string(55, 'a')));
    EXPECT_EQ("3b0c8ac703f828b04c6c197006d17218", Md5Hex(std::string(56, 'a')));
    EXPECT_EQ("014842d480b571495a4a0363793f7367", Md5Hex(std::string(64, 'a')));
    EXPECT_EQ(16, md5.GetResultLength());
}

TEST(MD5, EachDigestStartsAfresh)
{
    CVLMD5 md5;
    md5.Digest("xyz", 3);
    md5.Digest("abc", 3);
    CVLString hex;
    hex.SetHex(md5.GetResult(), 16, false);
    EXPECT_STREQ("900150983cd24fb0d6963f7d28e17f72", hex.GetBuffer());
    md5.Digest(nullptr, 0);
    hex.SetHex(md5.GetResult(), 16, false);
    EXPECT_STREQ("d41d8cd98f00b204e9800998ecf8427e", hex.GetBuffer());
}

TEST(Base64, RfcVectorsWithLineEnds)
{
    EXPECT_EQ("\r\n", Encode(""));
    EXPECT_EQ("Zg==\r\n", Encode("f"));
    EXPECT_EQ("Zm8=\r\n", Encode("fo"));
    EXPECT_EQ("Zm9v\r\n", Encode("foo"));
    EXPECT_EQ("Zm9vYg==\r\n", Encode("foob"));
    EXPECT_EQ("Zm9vYmE=\r\n", Encode("fooba"));
    EXPECT_EQ("Zm9vYmFy\r\n", Encode("foobar"));
    EXPECT_EQ("+/8=\r\n", Encode("\xfb\xff"));
}

TEST(Base64, LinesOf76Characters)
{
    std::string s57 = Encode(std::string(57, 'x'));
    ASSERT_EQ(76u + 4u, s57.size());
    EXPECT_EQ(std::string::npos, s57.substr(0, 76).find('\r'));
    EXPECT_EQ("\r\n\r\n", s57.substr(76));

    std::string s58 = Encode(std::string(58, 'x'));
    ASSERT_EQ(76u + 2u + 4u + 2u, s58.size());
    EXPECT_EQ("\r\neA==\r\n", s58.substr(76));

    // Two full lines and a part: every line break after 76 characters.
    std::string s120 = Encode(std::string(120, '\x01'));
    EXPECT_EQ(76u, s120.find("\r\n"));
    EXPECT_EQ(76u + 2 + 76, s120.find("\r\n", 78));
    EXPECT_EQ(Decode(s120), std::string(120, '\x01'));
}

// The emulator's password form is the framework's, byte for byte, so that an
// emulated device takes a correct password of any length.
TEST(Base64, TheEmulatorWritesTheSameText)
{
    for (size_t n = 0; n <= 172; ++n) {
        std::string s(n, '\0');
        for (size_t i = 0; i < n; ++i)
            s[i] = static_cast<char>('!' + i % 90);
        EXPECT_EQ(Encode(s), EmuBase64Lines(s)) << n << " bytes";
    }
}

TEST(Base64, DecodeRules)
{
    EXPECT_EQ("A", Decode("QQ=="));
    EXPECT_EQ("foobar", Decode("Zm9v\r\nYm\nFy"));
    EXPECT_EQ("fo", Decode("Zm8=ignored"));
    EXPECT_EQ("!", Decode("Zm9v YmFy"));
    EXPECT_EQ("!", Decode("Zm9\x80"));
    EXPECT_EQ("", Decode(""));
    // A text without its padding ends where the bytes end, with no zero bytes.
    EXPECT_EQ("A", Decode("QQ"));
    EXPECT_EQ("fo", Decode("Zm8"));
    EXPECT_EQ("foo", Decode("Zm9vY"));

    CTextStream good("Zm9v"), bad("Zm 9v");
    EXPECT_TRUE(VLBase64Decode(&good, nullptr));
    EXPECT_FALSE(VLBase64Decode(&bad, nullptr));
}

TEST(Base64, RefusedTextLeavesTheOutputClosedAndUntouched)
{
    CTextStream in("Zm9v!");
    CVLStringStream out;
    out.SetString("keep");
    EXPECT_FALSE(VLBase64Decode(&in, &out));
    EXPECT_FALSE(out.IsOpen());
    EXPECT_STREQ("keep", out.GetString().GetBuffer());
}

TEST(Base64, NullStreamsThrow)
{
    CVLStringStream s;
    auto line = [](auto f) {
        try {
            f();
        } catch (EVLException* e) {
            CVLExceptionOwner owner(e);
            return e->GetLine();
        }
        return 0;
    };
    EXPECT_EQ(73, line([&] { VLBase64Encode(nullptr, &s); }));
    EXPECT_EQ(76, line([&] { VLBase64Encode(&s, nullptr); }));
    EXPECT_EQ(181, line([&] { VLBase64Decode(nullptr, &s); }));
}

TEST(ARC4, IdentityAfterSetKey)
{
    const VL_BYTE key[] = {0x7c, 0x92};
    CVLARC4 arc4;
    VL_BYTE in[4] = {1, 2, 3, 4};
    VL_BYTE out[4] = {9, 9, 9, 9};
    EXPECT_EQ(110, NullObjectLine([&] { arc4.Crypt(out, in, 4); }));
    EXPECT_EQ(66, NullObjectLine([&] { arc4.SetKey(key, 0); }));
    EXPECT_EQ(66, NullObjectLine([&] { arc4.SetKey(nullptr, 2); }));
    arc4.SetKey(key, 2);
    arc4.Crypt(in, in, 4);
    EXPECT_EQ(0, memcmp(in, "\x01\x02\x03\x04", 4));
    arc4.Crypt(out, in, 4);
    EXPECT_EQ(0, memcmp(out, in, 4));
    EXPECT_EQ(105, NullObjectLine([&] { arc4.Crypt(out, in, 0); }));
    EXPECT_EQ(105, NullObjectLine([&] { arc4.Crypt(nullptr, in, 4); }));
}
