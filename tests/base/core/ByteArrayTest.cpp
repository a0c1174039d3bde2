#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "base/core/VLByteArray.h"
#include "base/core/VLByteOrder.h"
#include "base/core/VLInvalidParamException.h"

namespace {

template <typename F>
bool ThrowsInvalidParam(F f, int* pLine = nullptr)
{
    try {
        f();
    } catch (EVLInvalidParamException* e) {
        if (pLine)
            *pLine = e->GetLine();
        e->Delete();
        return true;
    } catch (EVLException* e) {
        e->Delete();
    }
    return false;
}

const VL_BYTE kData[] = {1, 2, 3, 4, 5, 6};

}  // namespace

TEST(ByteArray, AppendAllocatesExactlyAndNeverGrows)
{
    CVLByteArray a;
    EXPECT_EQ(0, a.GetCapacity());
    EXPECT_EQ(nullptr, a.GetData());
    a.Append(kData, 4);
    EXPECT_EQ(4, a.GetCapacity());
    EXPECT_EQ(4, a.GetSize());
    int nLine = 0;
    EXPECT_TRUE(ThrowsInvalidParam([&] { a.Append(kData, 1); }, &nLine));
    EXPECT_EQ(223, nLine);
    EXPECT_EQ(4, a.GetSize());
    EXPECT_TRUE(a.Equals(kData, 4));
}

TEST(ByteArray, WriteInsideKeepsSizeAndAllocateRules)
{
    CVLByteArray a;
    a.Allocate(16);
    a.Write(10, kData, 6);
    EXPECT_EQ(16, a.GetSize());
    a.Write(2, kData, 3);
    EXPECT_EQ(16, a.GetSize());
    a.Allocate(16);
    EXPECT_EQ(16, a.GetSize());
    EXPECT_EQ(0, std::memcmp(a.GetBuffer(10, 6), kData, 6));
    a.Allocate(8);
    EXPECT_EQ(0, a.GetSize());
    EXPECT_EQ(8, a.GetCapacity());
    EXPECT_TRUE(ThrowsInvalidParam([&] { a.Allocate(-1); }));
    a.Allocate(0);
    EXPECT_NE(nullptr, a.GetBuffer(0, -1));
    a.Free();
    EXPECT_EQ(nullptr, a.GetBuffer(0, -1));
}

TEST(ByteArray, RefusesNegativeAndOverflowingRanges)
{
    CVLByteArray a;
    a.Append(kData, 6);
    EXPECT_TRUE(ThrowsInvalidParam([&] { a.GetBuffer(2, 5); }));
    EXPECT_TRUE(ThrowsInvalidParam([&] { a.GetBuffer(-1, 1); }));
    EXPECT_TRUE(ThrowsInvalidParam([&] { a.GetBuffer(7, -1); }));
    EXPECT_TRUE(ThrowsInvalidParam([&] { a.GetBuffer(1, INT_MAX); }));
    EXPECT_TRUE(ThrowsInvalidParam([&] { a.Write(-1, kData, 1); }));
    EXPECT_TRUE(ThrowsInvalidParam([&] { a.Write(INT_MAX, kData, 2); }));
    EXPECT_TRUE(ThrowsInvalidParam([&] { a.Write(0, kData, -3); }));
    EXPECT_TRUE(ThrowsInvalidParam([&] { a.Write(0, nullptr, 1); }));
    VL_BYTE out[8] = {};
    EXPECT_TRUE(ThrowsInvalidParam([&] { a.CopyTo(-2, out, 2); }));
    EXPECT_TRUE(ThrowsInvalidParam([&] { a.CopyTo(4, out, INT_MAX); }));
    EXPECT_TRUE(ThrowsInvalidParam([&] { a.CopyTo(0, nullptr, 1); }));
    EXPECT_TRUE(ThrowsInvalidParam([&] { a.SetSize(7); }));
    EXPECT_TRUE(ThrowsInvalidParam([&] { a.SetSize(-1); }));
    EXPECT_TRUE(a.Equals(kData, 6));
    a.CopyTo(2, out, -1);
    EXPECT_EQ(0, std::memcmp(out, kData + 2, 4));
    a.SetSize(3);
    EXPECT_EQ(3, a.GetSize());

    CVLByteArray empty;
    EXPECT_TRUE(ThrowsInvalidParam([&] { empty.CopyTo(0, out, 2); }));
    empty.CopyTo(0, out, 0);
}

TEST(ByteArray, EqualsAssignAndText)
{
    CVLByteArray a, b;
    EXPECT_TRUE(a.Equals(kData, 0));
    a.Append(kData, 6);
    b.Append(kData, 5);
    EXPECT_TRUE(a != b);
    CVLByteArray c(a);
    EXPECT_TRUE(c == a);
    EXPECT_NE(c.GetData(), a.GetData());
    const CVLByteArray& self = c;  // through a reference: the compiler warns of a plain self-assignment
    c = self;
    EXPECT_TRUE(c == a);
    b = CVLByteArray();
    EXPECT_EQ(0, b.GetCapacity());

    CVLByteArray t;
    t.Append("ab\0cd", 5);
    EXPECT_EQ(2, t.GetTextLength(0));
    EXPECT_EQ(2, t.GetTextLength(3));
    EXPECT_EQ(0, t.GetTextLength(9));
    t.Clear();
    EXPECT_EQ(0, t.GetSize());
    EXPECT_EQ(5, t.GetCapacity());
}

TEST(ByteOrder, HostOrderAndConversions)
{
    uint32_t one = 1;
    int nHost = (*reinterpret_cast<unsigned char*>(&one) == 1) ? 1 : 2;
    EXPECT_EQ(nHost, CVLByteOrder::GetHostOrder());
    const VL_BYTE in[4] = {1, 2, 3, 4};
    VL_BYTE out[4];
    CVLByteOrder::Convert(nHost, 4, in, out);
    EXPECT_EQ(0, std::memcmp(in, out, 4));
    CVLByteOrder::Convert(3 - nHost, 4, in, out);
    const VL_BYTE rev[4] = {4, 3, 2, 1};
    EXPECT_EQ(0, std::memcmp(rev, out, 4));
    const VL_BYTE fffe[2] = {0xFF, 0xFE};
    EXPECT_EQ(65534, CVLByteOrder::GetUInt16(2, fffe));
    EXPECT_EQ(-2, CVLByteOrder::GetInt16(2, fffe));
    EXPECT_EQ(0x01020304u, CVLByteOrder::GetUInt32(2, in));
    EXPECT_EQ(0x04030201u, CVLByteOrder::GetUInt32(1, in));
}
