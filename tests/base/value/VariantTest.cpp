#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "tests/support/TestSupport.h"
#include "base/value/VLDateTime.h"
#include "base/core/VLInvalidCallException.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLNullObjectException.h"
#include "base/net/VLSocketAddress.h"
#include "base/value/VLVariant.h"
#include "base/value/VLVariantAdapter.h"
#include "base/xml/VLXmlDocument.h"

namespace {

// The line of the framework exception of type E that f throws, or -1 when f
// throws none (another framework exception gives -2).
template <typename E, typename F>
int ThrowLine(F f)
{
    try {
        f();
    } catch (E* e) {
        int n = e->GetLine();
        e->Delete();
        return n;
    } catch (EVLException* e) {
        e->Delete();
        return -2;
    }
    return -1;
}

CVLVariant Int(int n)
{
    CVLVariant v;
    v.SetInt(n);
    return v;
}

CVLVariant Str(const char* sz)
{
    CVLVariant v;
    v.SetString(CVLString(sz, VL_CHARSET_UTF8));
    return v;
}

CVLVariant Dbl(double d)
{
    CVLVariant v;
    v.SetDouble(d);
    return v;
}

std::string Text(const CVLVariant& v)
{
    return Bytes(v.ToString(nullptr));
}

std::string DumpOf(const CVLVariant& v)
{
    return Bytes(v.Dump());
}

// An object value that keeps its own variant.
class CHolder : public IVLVariantObjectIF
{
public:
    int GetType() const override { return m_Value.GetType(); }
    void SetValue(const CVLVariant& src) override { m_Value = src; }
    void GetValue(CVLVariant& out) const override { out = m_Value; }
    CVLVariant m_Value;
};

}  // namespace

TEST(Variant, NewVariantIsEmptyAndTypedGettersCheckTheType)
{
    CVLVariant v;
    EXPECT_EQ(0, v.GetType());
    EXPECT_FALSE(v.IsModified());
    EXPECT_EQ(199, ThrowLine<EVLInvalidCallException>([&] { v.GetInt(); }));
    EXPECT_EQ(288, ThrowLine<EVLInvalidCallException>([&] { v.GetString(); }));
    v.SetLong(7);
    EXPECT_EQ(7, v.GetLong());
    EXPECT_EQ(199, ThrowLine<EVLInvalidCallException>([&] { v.GetInt(); }));
    EXPECT_EQ(364, ThrowLine<EVLInvalidCallException>([&] { v.GetReference(); }));
    EXPECT_EQ(7, v.GetLong());  // unchanged by the failed getter
    v.SetType(19);
    EXPECT_EQ(368, ThrowLine<EVLNullObjectException>([&] { v.GetReference(); }));
    v.SetType(20);
    EXPECT_EQ(383, ThrowLine<EVLNullObjectException>([&] { v.GetObject(); }));
}

TEST(Variant, ModifiedFlagRisesOnlyOnChange)
{
    CVLVariant v;
    v.SetInt(0);
    EXPECT_EQ(6, v.GetType());
    EXPECT_TRUE(v.IsModified());  // the type changed
    v.ClearModified();
    v.SetInt(0);
    EXPECT_FALSE(v.IsModified());
    v.SetInt(5);
    EXPECT_TRUE(v.IsModified());
    v.ClearModified();
    v.SetLong(5);  // another type, same number
    EXPECT_EQ(8, v.GetType());
    EXPECT_TRUE(v.IsModified());

    v.SetDouble(std::nan(""));
    v.ClearModified();
    v.SetDouble(std::nan(""));
    EXPECT_TRUE(v.IsModified());

    v.Reset();
    EXPECT_EQ(0, v.GetType());
    EXPECT_FALSE(v.IsModified());
    v.SetEmpty();
    EXPECT_FALSE(v.IsModified());
    v.SetInt(1);
    v.ClearModified();
    v.SetEmpty();
    EXPECT_TRUE(v.IsModified());
    v.Clear();
    EXPECT_TRUE(v.IsModified());  // Clear leaves the flag

    CVLVariant s;
    s.SetString("ab", VL_CHARSET_UTF8);
    s.ClearModified();
    s.SetString("ab", VL_CHARSET_UTF16);  // same text: not even the character set changes
    EXPECT_FALSE(s.IsModified());
    EXPECT_EQ(VL_CHARSET_UTF8, s.GetString().GetCharset());
    s.SetString("abc", VL_CHARSET_UTF16LE);
    EXPECT_TRUE(s.IsModified());
    EXPECT_EQ(VL_CHARSET_UTF16LE, s.GetString().GetCharset());
    EXPECT_EQ("abc", Bytes(s.GetString()));  // bytes not converted
}

TEST(Variant, CopyAndAssignmentCarryTheFlagAsDocumented)
{
    CVLVariant src = Int(3);
    src.ClearModified();
    CVLVariant dst = Int(3);
    EXPECT_TRUE(dst.IsModified());
    dst.Copy(src, false);
    EXPECT_TRUE(dst.IsModified());
    dst.ClearModified();
    src.SetModified(true);
    dst.Copy(src, false);  // equal value: flag stays down
    EXPECT_FALSE(dst.IsModified());
    dst = src;
    EXPECT_TRUE(dst.IsModified());
    src.ClearModified();
    dst = src;
    EXPECT_FALSE(dst.IsModified());
    CVLVariant copy(src);
    EXPECT_EQ(3, copy.GetInt());
    EXPECT_FALSE(copy.IsModified());

    CVLVariant bytes;
    const VL_BYTE data[] = {1, 2, 3};
    bytes.SetBinary(data, 3);
    CVLVariant bytesCopy(bytes);
    EXPECT_EQ(0, std::memcmp(bytesCopy.GetBinary(), data, 3));
    EXPECT_NE(bytes.GetBinary(), bytesCopy.GetBinary());  // owned, not shared
    bytes.ClearModified();
    bytes.SetBinary(data, 3);
    EXPECT_FALSE(bytes.IsModified());
    // A source inside the held array itself.
    bytes.SetBinary(bytes.GetBinary() + 1, 2);
    EXPECT_EQ(2, bytes.GetSize());
    EXPECT_EQ(2, bytes.GetBinary()[0]);
    EXPECT_EQ(3, bytes.GetBinary()[1]);
    // Bad arguments change nothing.
    EXPECT_GT(ThrowLine<EVLInvalidParamException>([&] { bytes.SetBinary(data, -1); }), 0);
    EXPECT_GT(ThrowLine<EVLInvalidParamException>([&] { bytes.SetBinary(nullptr, 2); }), 0);
    EXPECT_EQ(2, bytes.GetSize());
}

TEST(Variant, ReferencesAndObjectValues)
{
    CVLVariant target = Int(1);
    CVLVariant ref;
    ref.SetReference(&target);
    EXPECT_EQ(19, ref.GetType());
    EXPECT_EQ(6, ref.GetValueType());
    EXPECT_EQ(1, ref.ToInt(0));
    ref.SetValue(Int(9));  // writes through
    EXPECT_EQ(9, target.GetInt());
    EXPECT_EQ(19, ref.GetType());
    CVLVariant other = Int(4);
    ref = other;  // replaces the reference
    EXPECT_EQ(6, ref.GetType());
    EXPECT_EQ(9, target.GetInt());

    // A source reference contributes the value behind it.
    CVLVariant refToTarget;
    refToTarget.SetReference(&target);
    CVLVariant plain;
    plain.SetValue(refToTarget);
    EXPECT_EQ(6, plain.GetType());
    EXPECT_EQ(9, plain.GetInt());

    CHolder holder;
    holder.m_Value.SetString("x", VL_CHARSET_UTF8);
    CVLVariant obj;
    obj.SetObject(&holder);
    EXPECT_EQ(20, obj.GetType());
    EXPECT_EQ(14, obj.GetValueType());
    EXPECT_EQ("x", Text(obj));
    obj.SetValue(Int(5));
    EXPECT_EQ(5, holder.m_Value.GetInt());
    EXPECT_EQ(4, obj.GetSize());

    CVLVariant s;
    s.SetString("abc", VL_CHARSET_UTF8);
    s.ClearModified();
    s.SetReference(nullptr);
    EXPECT_EQ(0, s.GetType());
    EXPECT_TRUE(s.IsModified());

    {
        CVLVariant* p = new CVLVariant;
        p->SetReference(&target);
        delete p;
        CVLVariant* q = new CVLVariant;
        q->SetObject(&holder);
        delete q;
    }
    EXPECT_EQ(9, target.GetInt());  // targets outlive their indirections
    EXPECT_EQ(5, holder.m_Value.GetInt());

    // A reference to itself reads as empty instead of recursing forever.
    CVLVariant loop;
    loop.SetReference(&loop);
    EXPECT_EQ(-1, loop.ToInt(-1));
    EXPECT_EQ(0, loop.GetValueType());
    EXPECT_GT(ThrowLine<EVLInvalidCallException>([&] { loop.SetValue(Int(1)); }), 0);
}

TEST(Variant, Adapter)
{
    CVLVariantAdapter none(nullptr);
    EXPECT_EQ(0, none.GetType());
    CVLVariant out = Int(3);
    none.GetValue(out);
    EXPECT_EQ(0, out.GetType());
    none.SetValue(Int(1));  // nothing attached: nothing happens

    CVLVariant v = Dbl(2.5);
    CVLVariantAdapter adapter(&v);
    EXPECT_EQ(13, adapter.GetType());
    adapter.SetValue(Int(7));
    EXPECT_EQ(7, v.GetInt());
    CVLVariant o;
    o.SetObject(adapter.SetVariant(&v));
    EXPECT_EQ(7, o.ToLong(0));
}

TEST(Variant, ConvertingReads)
{
    EXPECT_EQ(12, Str("12").ToInt(-1));
    EXPECT_EQ(-1, Str("abc").ToInt(-1));
    EXPECT_EQ(-1, CVLVariant().ToInt(-1));
    EXPECT_EQ(2, Dbl(2.9).ToInt(-1));
    EXPECT_EQ(-2, Dbl(-2.9).ToInt(-1));
    EXPECT_EQ(44, Int(300).ToUChar(0));
    EXPECT_EQ(-1, Int(-1).ToLongLong(0));  // sign-extended
    CVLVariant u;
    u.SetUInt(0xFFFFFFFFu);
    EXPECT_EQ(0xFFFFFFFFll, u.ToLongLong(0));  // zero-extended
    EXPECT_TRUE(Dbl(std::nan("")).ToBool(false));
    EXPECT_FALSE(Int(0).ToBool(true));
    EXPECT_EQ(1.5f, Str("1.5").ToFloat(0));

    // Floating values beyond the target saturate; NaN gives 0.
    EXPECT_EQ(INT32_MAX, Dbl(1e20).ToInt(0));
    EXPECT_EQ(INT32_MIN, Dbl(-1e20).ToLong(0));
    EXPECT_EQ(0u, Dbl(-5.0).ToUInt(7));
    EXPECT_EQ(255, Dbl(1000.0).ToUChar(0));
    EXPECT_EQ(UINT64_MAX, Dbl(1e30).ToULongLong(0));
    EXPECT_EQ(0, Dbl(std::nan("")).ToLongLong(5));
    EXPECT_TRUE(std::isinf(Dbl(1e300).ToFloat(0)));

    CVLVariant b;
    const VL_BYTE two[] = {0x34, 0x12};
    b.SetBinary(two, 2);
    int16_t expected;
    std::memcpy(&expected, two, 2);
    EXPECT_EQ(expected, b.ToShort(0));
    EXPECT_EQ(-7, b.ToInt(-7));  // wrong width
    EXPECT_TRUE(b.ToBool(true));  // a byte array never reads as a bool
    const VL_BYTE three[] = {1, 2, 3};
    b.SetBinary(three, 3);
    EXPECT_EQ(9, b.ToShort(9));
    b.SetBinary(three, 0);
    EXPECT_EQ(9, b.ToChar(9));

    CVLVariant t;
    t.SetType(25);  // unknown numbers only set the type
    EXPECT_EQ(25, t.GetType());
    EXPECT_EQ(4, t.ToInt(4));
    EXPECT_EQ(0, t.GetSize());
}

TEST(Variant, TextAndBytes)
{
    EXPECT_EQ("1.500000", Text(Dbl(1.5)));
    CVLVariant f;
    f.SetFloat(0.25f);
    EXPECT_EQ("0.250000", Text(f));
    CVLVariant b;
    b.SetBool(true);
    EXPECT_EQ("true", Text(b));
    CVLVariant c;
    c.SetChar(-5);
    EXPECT_EQ("-5", Text(c));
    CVLVariant uc;
    uc.SetUChar(200);
    EXPECT_EQ("200", Text(uc));
    CVLVariant ull;
    ull.SetULongLong(UINT64_MAX);
    EXPECT_EQ("18446744073709551615", Text(ull));
    EXPECT_EQ("def", Bytes(CVLVariant().ToString("def")));
    EXPECT_EQ("", Text(CVLVariant()));

    CVLVariant bin;
    const char ab[] = {'a', 'b', 0, 'c'};
    bin.SetBinary(ab, 4);
    EXPECT_EQ("ab", Text(bin));  // up to the first zero byte
    bin.SetBinary(ab, 0);
    EXPECT_EQ("dflt", Bytes(bin.ToString("dflt")));

    CVLByteArray a = Int(0x01020304).ToByteArray(nullptr, 0);
    ASSERT_EQ(4, a.GetSize());
    int32_t n;
    std::memcpy(&n, a.GetBuffer(0, 4), 4);
    EXPECT_EQ(0x01020304, n);
    EXPECT_EQ(8, Dbl(1).ToByteArray(nullptr, 0).GetSize());
    EXPECT_EQ(1, b.ToByteArray(nullptr, 0).GetSize());
    CVLByteArray s = Str("xyz").ToByteArray(nullptr, 0);
    EXPECT_TRUE(s.Equals("xyz", 3));
    CVLByteArray d = CVLVariant().ToByteArray("qq", 2);
    EXPECT_TRUE(d.Equals("qq", 2));
    EXPECT_EQ(0, CVLVariant().ToByteArray(nullptr, 5).GetSize());
}

TEST(Variant, SetAsEveryScalarPair)
{
    // Each source converted into each scalar type equals its converting read.
    CVLVariant sources[6];
    sources[0].SetBool(true);
    sources[1].SetChar(-3);
    sources[2].SetULong(70000);
    sources[3].SetDouble(-2.75);
    sources[4].SetString("42", VL_CHARSET_UTF8);
    sources[5].SetLongLong(-1);
    for (CVLVariant& src : sources) {
        for (int nType = 1; nType <= 13; ++nType) {
            CVLVariant dst;
            dst.SetAs(nType, src);
            EXPECT_EQ(nType, dst.GetType());
            EXPECT_TRUE(dst.IsModified());
            EXPECT_TRUE(dst == src) << nType;  // what SetAs stored is src read as that type
            CVLVariant back;
            back.SetAs(14, dst);
            EXPECT_EQ(14, back.GetType());
            EXPECT_EQ(Text(dst), Bytes(back.GetString()));
        }
    }
    CVLVariant v;
    v.SetAs(6, Str("42"));
    EXPECT_EQ(42, v.GetInt());
    EXPECT_TRUE(v.IsModified());
    v.ClearModified();
    v.SetAs(6, Str("42"));
    EXPECT_FALSE(v.IsModified());
    CVLVariant neg = Dbl(-2.75);
    v.SetAs(7, neg);
    EXPECT_EQ(0u, v.GetUInt());  // saturated
    v.SetAs(6, neg);
    EXPECT_EQ(-2, v.GetInt());
    v.SetAs(4, Int(70000));
    EXPECT_EQ(static_cast<short>(70000 & 0xFFFF), v.GetShort());
    v.SetAs(13, v);  // source may be the target itself
    EXPECT_EQ(4464.0, v.GetDouble());
    v.SetAs(15, Int(1));
    EXPECT_EQ(4, v.GetSize());
    v.SetAs(0, Int(1));
    EXPECT_EQ(0, v.GetType());

    CVLVariant target = Int(1);
    CVLVariant ref;
    ref.SetReference(&target);
    v.SetAs(19, ref);
    EXPECT_EQ(&target, v.GetReference());
    v.SetAs(19, Int(1));
    EXPECT_EQ(0, v.GetType());
    v.SetAs(42, Int(1));
    EXPECT_EQ(0, v.GetType());
}

TEST(VariantOperators, ResultsTakeTheLeftType)
{
    CVLVariant r = Str("ab") + Int(1);
    EXPECT_EQ(14, r.GetType());
    EXPECT_EQ("ab1", Bytes(r.GetString()));
    EXPECT_EQ(1760, ThrowLine<EVLInvalidParamException>([] { Int(1) + Str("ab"); }));
    r = Int(1) + Str("2");
    EXPECT_EQ(6, r.GetType());
    EXPECT_EQ(3, r.GetInt());
    r = Str("7") - Int(2);
    EXPECT_EQ(8, r.GetType());
    EXPECT_EQ(5, r.GetLong());

    CVLVariant c;
    c.SetChar(100);
    r = c + c;
    EXPECT_EQ(2, r.GetType());
    EXPECT_EQ(-56, r.GetChar());
    EXPECT_TRUE(r.IsModified());
    CVLVariant b;
    b.SetBool(true);
    EXPECT_EQ(1760, ThrowLine<EVLInvalidParamException>([&] { b + Int(1); }));
    r = CVLVariant() + Int(1);
    EXPECT_EQ(0, r.GetType());
    EXPECT_FALSE(r.IsModified());

    r = Int(7) / Int(2);
    EXPECT_EQ(3, r.GetInt());
    r = Dbl(7.0) / Int(2);
    EXPECT_EQ(13, r.GetType());
    EXPECT_EQ(3.5, r.GetDouble());
    EXPECT_EQ(1774, ThrowLine<EVLInvalidParamException>([] { Dbl(7.5) % Int(2); }));
    EXPECT_EQ(1781, ThrowLine<EVLInvalidParamException>([] { Dbl(7.5) & Int(2); }));
    EXPECT_TRUE(std::isinf((Dbl(1) / Int(0)).GetDouble()));

    CVLVariant u;
    u.SetUInt(3);
    r = u - Int(5);
    EXPECT_EQ(0xFFFFFFFEu, r.GetUInt());
    CVLVariant uc;
    uc.SetUChar(250);
    r = uc * Int(2);
    EXPECT_EQ(244, r.GetUChar());
    r = Int(6) ^ Int(3);
    EXPECT_EQ(5, r.GetInt());

    // Operands are never changed, and references read the value behind.
    CVLVariant x = Int(10);
    CVLVariant ref;
    ref.SetReference(&x);
    r = ref * Int(3);
    EXPECT_EQ(30, r.GetInt());
    EXPECT_EQ(10, x.GetInt());
    r = Int(1) + ref;
    EXPECT_EQ(11, r.GetInt());
}

TEST(VariantOperators, WrapAroundAndZeroDivisors)
{
    CVLVariant r = Int(INT32_MAX) + Int(1);
    EXPECT_EQ(INT32_MIN, r.GetInt());
    r = Int(INT32_MIN) * Int(-1);
    EXPECT_EQ(INT32_MIN, r.GetInt());
    r = Int(INT32_MIN) / Int(-1);
    EXPECT_EQ(INT32_MIN, r.GetInt());
    r = Int(INT32_MIN) % Int(-1);
    EXPECT_EQ(0, r.GetInt());
    CVLVariant ll;
    ll.SetLongLong(INT64_MIN);
    CVLVariant m1;
    m1.SetLongLong(-1);
    EXPECT_EQ(INT64_MIN, (ll / m1).GetLongLong());
    EXPECT_EQ(0, (ll % m1).GetLongLong());
    EXPECT_EQ(INT64_MAX, (ll + m1).GetLongLong());
    CVLVariant c;
    c.SetChar(-128);
    EXPECT_EQ(-128, (c / Int(-1)).GetChar());

    EXPECT_EQ(1731, ThrowLine<EVLInvalidParamException>([] { Int(5) / Int(0); }));
    EXPECT_EQ(1774, ThrowLine<EVLInvalidParamException>([] { Int(5) % Int(0); }));
    EXPECT_EQ(1731, ThrowLine<EVLInvalidParamException>([] { Str("5") / Str("x0"); }));
    EXPECT_EQ(1731, ThrowLine<EVLInvalidParamException>([&] { c / CVLVariant(); }));
    CVLVariant u;
    u.SetULongLong(9);
    EXPECT_EQ(1774, ThrowLine<EVLInvalidParamException>([&] { u % Dbl(0.5); }));  // 0.5 reads as 0
}

TEST(VariantOperators, ShiftsAndComplement)
{
    CVLVariant l;
    l.SetLong(1);
    CVLVariant r = l << Int(33);
    EXPECT_EQ(8, r.GetType());
    EXPECT_EQ(2, r.GetLong());
    CVLVariant ll;
    ll.SetLongLong(1);
    EXPECT_EQ(8589934592ll, (ll << Int(33)).GetLongLong());
    EXPECT_EQ(INT64_MIN, (ll << Int(-1)).GetLongLong());  // count masked to 63
    EXPECT_EQ(-4, (Int(-16) >> Int(2)).GetInt());           // sign copied in
    CVLVariant u;
    u.SetUInt(0x80000000u);
    EXPECT_EQ(0x20000000u, (u >> Int(2)).GetUInt());
    CVLVariant c;
    c.SetChar(0x40);
    EXPECT_EQ(-128, (c << Int(1)).GetChar());
    EXPECT_EQ(INT32_MIN, (Int(1) << Int(31)).GetInt());
    EXPECT_EQ(8, (Str("1") << Int(3)).GetLong());
    EXPECT_EQ(1976, ThrowLine<EVLInvalidParamException>([] { Dbl(1) << Int(1); }));
    EXPECT_EQ(1983, ThrowLine<EVLInvalidParamException>([] { Int(1) >> Str("x"); }));

    CVLVariant uc;
    uc.SetUChar(0);
    r = ~uc;
    EXPECT_EQ(6, r.GetType());
    EXPECT_EQ(-1, r.GetInt());
    CVLVariant f;
    f.SetFloat(1);
    EXPECT_EQ(0, (~f).GetType());
    CVLVariant ul;
    ul.SetULong(0);
    EXPECT_EQ(0xFFFFFFFFu, (~ul).GetULong());
    EXPECT_EQ(-6, (~Str("5")).GetLong());
}

TEST(VariantOperators, OrderingAndEquality)
{
    EXPECT_TRUE(Int(3) < Str("10"));
    EXPECT_FALSE(Str("3") < Str("10"));
    EXPECT_TRUE(Str("3") >= Str("10"));
    // Equal operands: both "or equal" orders hold, the strict ones do not.
    for (const auto& pair : {std::make_pair(Int(7), Int(7)), std::make_pair(Str("ab"), Str("ab")),
                             std::make_pair(Dbl(2.5), Dbl(2.5)), std::make_pair(Int(12), Str("12"))}) {
        EXPECT_TRUE(pair.first <= pair.second);
        EXPECT_TRUE(pair.first >= pair.second);
        EXPECT_FALSE(pair.first < pair.second);
        EXPECT_FALSE(pair.first > pair.second);
    }
    EXPECT_FALSE(Int(8) <= Int(7));
    EXPECT_TRUE(Int(6) <= Int(7));
    CVLVariant u;
    u.SetUInt(1);
    EXPECT_FALSE(u > Int(-1));  // -1 read as unsigned is the largest
    EXPECT_TRUE(Int(1) > Int(-1));
    CVLVariant nan = Dbl(std::nan(""));
    EXPECT_FALSE(nan < Dbl(1));
    EXPECT_FALSE(nan >= Dbl(1));
    EXPECT_FALSE(nan == nan);
    EXPECT_TRUE(CVLVariant() == CVLVariant());
    EXPECT_FALSE(CVLVariant() < Int(1));
    CVLVariant b;
    b.SetBool(false);
    EXPECT_EQ(1869, ThrowLine<EVLInvalidParamException>([&] { (void)(b < Int(1)); }));
    CVLVariant bin;
    bin.SetBinary("a", 1);
    EXPECT_EQ(1890, ThrowLine<EVLInvalidParamException>([&] { (void)(bin >= Int(1)); }));

    // Equality converts the other operand to this one's type.
    EXPECT_TRUE(Int(0) == Str("abc"));
    EXPECT_FALSE(Str("abc") == Int(0));
    EXPECT_TRUE(Str("12") == Int(12));
    EXPECT_TRUE(Dbl(2.0) != Int(3));
    CVLVariant empty;
    CVLVariant refToEmpty;
    refToEmpty.SetReference(&empty);
    EXPECT_FALSE(CVLVariant() == refToEmpty);
    EXPECT_TRUE(refToEmpty == CVLVariant());
    EXPECT_TRUE(bin == Str("a"));

    EXPECT_TRUE(Int(1) && Str("true"));
    EXPECT_FALSE(Int(1) && Int(0));
    EXPECT_TRUE(Int(0) || Dbl(0.5));
    EXPECT_FALSE(CVLVariant() || Int(0));
}

TEST(Variant, DumpTexts)
{
    CVLVariant v = Int(5);
    v.ClearModified();
    EXPECT_EQ("[5]", DumpOf(v));
    CVLVariant e;
    e.SetModified(true);
    EXPECT_EQ("[<Empty>](is modify)", DumpOf(e));
    CVLVariant s = Str("ab");
    s.ClearModified();
    EXPECT_EQ("[ab][binary:6162]", DumpOf(s));
    CVLVariant b;
    const VL_BYTE bytes[] = {0x0A, 0xFF};
    b.SetBinary(bytes, 2);
    b.ClearModified();
    EXPECT_EQ("[binary:0AFF]", DumpOf(b));
    b.SetBinary(bytes, 0);
    EXPECT_EQ("[binary:](is modify)", DumpOf(b));
    CVLVariant d = Dbl(0.5);
    d.ClearModified();
    EXPECT_EQ("[0.500000]", DumpOf(d));
    CVLVariant t;
    t.SetBool(false);
    EXPECT_EQ("[false](is modify)", DumpOf(t));
    CVLVariant ref;
    ref.SetReference(&s);
    ref.ClearModified();
    EXPECT_EQ("[ab]", DumpOf(ref));

    CVLVariant u16;
    u16.SetString(CVLString("ab", VL_CHARSET_UTF8).ConvertTo(VL_CHARSET_UTF16, false));
    u16.ClearModified();
    std::string dump = DumpOf(u16);
    EXPECT_EQ(0u, dump.find("[ab[UTF-16]][binary:")) << dump;
    CVLVariant other;
    other.SetString("ab", VL_CHARSET_UTF8);
    other.GetString().SetCharset(VL_CHARSET_ASCII);
    other.ClearModified();
    EXPECT_EQ("[][binary:6162]", DumpOf(other));
}

TEST(VariantObjects, DateTimeValues)
{
    CVLDateTime dt;
    ASSERT_TRUE(dt.Parse("2014/05/06 07:08:09+09:00"));
    CVLVariant v;
    EXPECT_EQ(318, ThrowLine<EVLInvalidCallException>([&] { v.GetDateTime(); }));
    v.SetDateTime(dt);
    EXPECT_EQ(16, v.GetType());
    EXPECT_TRUE(v.IsModified());
    v.ClearModified();
    v.SetDateTime(dt);
    EXPECT_FALSE(v.IsModified());
    EXPECT_EQ("2014/05/06 07:08:09+09:00", Text(v));
    EXPECT_EQ(25, v.GetSize());
    EXPECT_EQ("[2014/05/06 07:08:09+09:00]", DumpOf(v));
    EXPECT_FALSE(v.IsNumeric());
    EXPECT_EQ(3, v.ToInt(3));

    // Through text, through bytes, and back.
    CVLVariant s = Str("2014/05/06 07:08:09+09:00");
    EXPECT_TRUE(v == s);
    CVLVariant fromText;
    fromText.SetAs(16, s);
    EXPECT_TRUE(fromText.GetDateTime().IsEqual(dt));
    CVLVariant bin;
    bin.SetAs(15, v);
    EXPECT_EQ(dt.GetBinary().GetSize(), bin.GetSize());
    CVLVariant fromBytes;
    fromBytes.SetAs(16, bin);
    EXPECT_TRUE(fromBytes.GetDateTime().IsEqual(dt));
    bin.SetBinary("", 0);
    EXPECT_EQ(0u, bin.ToDateTime().GetAsUInt64());  // empty array: the default
    CVLVariant bad = Str("not a date");
    EXPECT_EQ(0u, bad.ToDateTime().GetAsUInt64());

    v.ClearModified();
    v.SetTimeZone(-300);
    EXPECT_TRUE(v.IsModified());
    EXPECT_EQ(-300, v.GetDateTime().GetTimeZone());
    v.ClearModified();
    v.SetDateTimeFlag(true);
    EXPECT_TRUE(v.IsModified());
    EXPECT_TRUE(v.GetDateTime().IsTimeOnly());
    CVLVariant copy(v);
    EXPECT_TRUE(copy.GetDateTime().IsTimeOnly());  // the flag survives a copy

    // On other types the date-time detail setters do nothing.
    CVLVariant i = Int(1);
    i.ClearModified();
    i.SetTimeZone(60);
    i.SetDateTimeFlag(true);
    EXPECT_FALSE(i.IsModified());
    EXPECT_EQ(1, i.GetInt());

    EXPECT_EQ(1869, ThrowLine<EVLInvalidParamException>([&] { (void)(v < s); }));
    EXPECT_EQ(1760, ThrowLine<EVLInvalidParamException>([&] { v + Int(1); }));
}

TEST(VariantObjects, SocketAddressValues)
{
    CVLSocketAddress addr(0, "127.0.0.1", 161);
    CVLVariant v;
    EXPECT_EQ(334, ThrowLine<EVLInvalidCallException>([&] { v.GetSocketAddress(); }));
    v.SetSocketAddress(addr);
    EXPECT_EQ(17, v.GetType());
    EXPECT_EQ("127.0.0.1", Text(v));  // the host text without the port
    EXPECT_EQ(4, v.GetSize());
    CVLByteArray bytes = v.ToByteArray(nullptr, 0);
    const VL_BYTE loopback[] = {127, 0, 0, 1};
    EXPECT_TRUE(bytes.Equals(loopback, 4));
    EXPECT_EQ("[127.0.0.1](is modify)", DumpOf(v));

    // A copy keeps the port, though the address bytes are the same.
    v.ClearModified();
    CVLSocketAddress other(0, "127.0.0.1", 162);
    v.SetSocketAddress(other);
    EXPECT_TRUE(v.IsModified());
    EXPECT_EQ(162, v.GetSocketAddress().GetPort());
    v.ClearModified();
    v.SetSocketAddress(other);
    EXPECT_FALSE(v.IsModified());

    CVLVariant b;
    b.SetBinary(loopback, 4);
    EXPECT_EQ("127.0.0.1", Bytes(b.ToSocketAddress(nullptr).GetHost()));
    b.SetBinary(loopback, 3);
    EXPECT_EQ("127.0.0.9", Bytes(b.ToSocketAddress("127.0.0.9").GetHost()));
    CVLVariant fromText;
    fromText.SetAs(17, Str("127.0.0.2"));
    EXPECT_EQ("127.0.0.2", Bytes(fromText.GetSocketAddress().GetHost()));

    // Equality and ordering by the address only.
    EXPECT_TRUE(v == Str("127.0.0.1"));
    EXPECT_TRUE(v < Str("127.0.0.2"));
    EXPECT_FALSE(fromText <= v);
    EXPECT_FALSE(v.IsNumeric());
    EXPECT_EQ(1724, ThrowLine<EVLInvalidParamException>([&] { v * Int(2); }));
}

TEST(VariantObjects, XmlDocumentValues)
{
    CVLVariant v;
    EXPECT_EQ(349, ThrowLine<EVLInvalidCallException>([&] { v.GetXmlDocument(); }));
    v.SetAs(18, Str("<a x=\"1\"><b>t</b></a>"));
    ASSERT_EQ(18, v.GetType());
    EXPECT_TRUE(v.IsModified());
    ASSERT_NE(nullptr, v.GetXmlDocument().GetDocumentElement());
    EXPECT_EQ("a", Bytes(v.GetXmlDocument().GetDocumentElement()->GetTagName()));
    v.ClearModified();
    v.SetAs(18, Str("<a x=\"1\"><b>t</b></a>"));
    EXPECT_FALSE(v.IsModified());  // the same document again

    // A document gives no text, but its XML as bytes and size.
    EXPECT_EQ("", Text(v));
    EXPECT_EQ("[]", DumpOf(v));
    CVLString strXml = v.GetXmlDocument().GetXml(false);
    CVLByteArray bytes = v.ToByteArray(nullptr, 0);
    EXPECT_TRUE(bytes.Equals(strXml.GetBuffer(), strXml.GetLength()));
    EXPECT_EQ(strXml.GetLength(), v.GetSize());
    EXPECT_NE(std::string::npos, Bytes(strXml).find("<b>t</b>"));

    // Copies are deep and equal; only another document can be equal.
    CVLVariant copy(v);
    EXPECT_NE(&copy.GetXmlDocument(), &v.GetXmlDocument());
    EXPECT_TRUE(copy == v);
    EXPECT_FALSE(v == Str(Bytes(strXml).c_str()));
    CVLVariant ref;
    ref.SetReference(&v);
    EXPECT_FALSE(v == ref);  // the other's own type must be a document
    CVLVariant other;
    other.SetAs(18, Str("<a x=\"2\"/>"));
    EXPECT_FALSE(other == v);
    other.SetAs(18, v);
    EXPECT_TRUE(other == v);

    // A text that does not parse throws and changes nothing.
    v.ClearModified();
    int nThrown = 0;
    try {
        v.SetAs(18, Str("<a><b></a>"));
    } catch (EVLException* e) {
        e->Delete();
        nThrown = 1;
    }
    EXPECT_EQ(1, nThrown);
    EXPECT_TRUE(v == copy);
    EXPECT_FALSE(v.IsModified());

    EXPECT_FALSE(v.IsNumeric());
    EXPECT_EQ(1876, ThrowLine<EVLInvalidParamException>([&] { (void)(v <= Int(1)); }));
    EXPECT_EQ(1767, ThrowLine<EVLInvalidParamException>([&] { v - Int(1); }));
    v.SetInt(1);  // the document is deleted with the type change
    EXPECT_EQ(6, v.GetType());
}
