// CVLVariant: the arithmetic, bitwise, shift, logical and ordering operators.
#include "base/value/VLVariant.h"

#include <type_traits>

#include "base/core/VLInvalidParamException.h"
#include "base/value/VLVariantPrivate.h"

using namespace VLVariantPrivate;

namespace {

enum
{
    kMul,
    kDiv,
    kAdd,
    kSub,
    kMod,
    kAnd,
    kOr,
    kXor
};

enum
{
    kLess,
    kLessEqual,
    kGreater,
    kGreaterEqual
};

// Integer arithmetic of the operators for 32- and 64-bit types. Signed values
// wrap (computed in unsigned); a zero divisor is refused; the most negative
// value divided by -1 wraps to itself with remainder 0.
template <typename T>
T IntOp(T x, T y, int nOp, int nLine)
{
    typedef typename std::make_unsigned<T>::type U;
    switch (nOp) {
    case kMul:
        return static_cast<T>(static_cast<U>(x) * static_cast<U>(y));
    case kAdd:
        return static_cast<T>(static_cast<U>(x) + static_cast<U>(y));
    case kSub:
        return static_cast<T>(static_cast<U>(x) - static_cast<U>(y));
    case kDiv:
        if (y == 0)
            throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, nLine);
        if constexpr (std::is_signed<T>::value) {
            if (y == -1)
                return static_cast<T>(U(0) - static_cast<U>(x));
        }
        return static_cast<T>(x / y);
    case kMod:
        if (y == 0)
            throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, nLine);
        if constexpr (std::is_signed<T>::value) {
            if (y == -1)
                return 0;
        }
        return static_cast<T>(x % y);
    case kAnd:
        return static_cast<T>(x & y);
    case kOr:
        return static_cast<T>(x | y);
    default:
        return static_cast<T>(x ^ y);
    }
}

template <typename F>
F FloatOp(F x, F y, int nOp)
{
    switch (nOp) {
    case kMul:
        return x * y;
    case kDiv:
        return x / y;
    case kAdd:
        return x + y;
    default:
        return x - y;
    }
}

// Shifts by the count masked to the width of T; right shifts of signed
// values copy the sign in.
template <typename T>
T ShiftOp(T x, VL_LONG nCount, bool bLeft)
{
    typedef typename std::make_unsigned<T>::type U;
    const unsigned nShift = static_cast<unsigned>(nCount) & (sizeof(T) * 8 - 1);
    if (bLeft)
        return static_cast<T>(static_cast<U>(x) << nShift);
    if constexpr (std::is_signed<T>::value) {
        if (x < 0)
            return static_cast<T>(~(~x >> nShift));
    }
    return static_cast<T>(x >> nShift);
}

template <typename T>
bool CompareOp(T x, T y, int nOp)
{
    switch (nOp) {
    case kLess:
        return x < y;
    case kLessEqual:
        return x <= y;
    case kGreater:
        return x > y;
    default:
        return x >= y;
    }
}

}  // namespace

bool CVLVariant::operator&&(const CVLVariant& other) const
{
    return ToBool(false) && other.ToBool(false);
}

bool CVLVariant::operator||(const CVLVariant& other) const
{
    return ToBool(false) || other.ToBool(false);
}

// ---------------------------------------------------------------------------
// Operators

void CVLVariant::Arithmetic(CVLVariant& r, const CVLVariant& a, const CVLVariant& b, int nOp, int nLine)
{
    if (nOp == kAdd) {
        if (a.m_nType == kReference || a.m_nType == kObject) {
            CIndirection ind(a);
            Arithmetic(r, ind.Get(), b, nOp, nLine);
            return;
        }
        if (a.m_nType == kString) {
            // String plus anything concatenates the other's text, unconverted.
            r.SetString(a.GetString());
            CVLString strRight = b.ToString(nullptr);
            r.m_Value.pString->Append(strRight.GetBuffer(), strRight.GetLength());
            return;
        }
    }
    if (!a.IsNumeric() || !b.IsNumeric())
        throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, nLine);

    const Value& v = a.m_Value;
    switch (a.m_nType) {
    case kChar:
        r.SetChar(static_cast<char>(IntOp<int32_t>(v.c, static_cast<int8_t>(b.ToChar(0)), nOp, nLine)));
        break;
    case kUChar:
        r.SetUChar(static_cast<unsigned char>(IntOp<uint32_t>(v.uc, b.ToUChar(0), nOp, nLine)));
        break;
    case kShort:
        r.SetShort(static_cast<short>(IntOp<int32_t>(v.s, b.ToShort(0), nOp, nLine)));
        break;
    case kUShort:
        r.SetUShort(static_cast<unsigned short>(IntOp<uint32_t>(v.us, b.ToUShort(0), nOp, nLine)));
        break;
    case kInt:
        r.SetInt(IntOp<int32_t>(v.i, b.ToInt(0), nOp, nLine));
        break;
    case kUInt:
        r.SetUInt(IntOp<uint32_t>(v.ui, b.ToUInt(0), nOp, nLine));
        break;
    case kLong:
        r.SetLong(IntOp<int32_t>(v.i, b.ToLong(0), nOp, nLine));
        break;
    case kULong:
        r.SetULong(IntOp<uint32_t>(v.ui, b.ToULong(0), nOp, nLine));
        break;
    case kLongLong:
        r.SetLongLong(IntOp<int64_t>(v.ll, b.ToLongLong(0), nOp, nLine));
        break;
    case kULongLong:
        r.SetULongLong(IntOp<uint64_t>(v.ull, b.ToULongLong(0), nOp, nLine));
        break;
    case kFloat:
    case kDouble:
        // No remainder or bit operations on floating values.
        if (nOp == kMod || nOp == kAnd || nOp == kOr || nOp == kXor)
            throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, nLine);
        if (a.m_nType == kFloat)
            r.SetFloat(FloatOp<float>(v.f, b.ToFloat(0), nOp));
        else
            r.SetDouble(FloatOp<double>(v.d, b.ToDouble(0), nOp));
        break;
    case kString:
        r.SetLong(IntOp<int32_t>(a.ToLong(0), b.ToLong(0), nOp, nLine));
        break;
    case kReference:
    case kObject: {
        CIndirection ind(a);
        Arithmetic(r, ind.Get(), b, nOp, nLine);
        break;
    }
    case kBool:
    case kBinary:
    case kDateTime:
    case kSocketAddress:
    case kXmlDocument:
        throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, nLine);
    default:
        break;
    }
}

void CVLVariant::Shift(CVLVariant& r, const CVLVariant& a, const CVLVariant& b, bool bLeft, int nLine)
{
    if (!a.IsNumeric() || !b.IsNumeric())
        throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, nLine);
    const Value& v = a.m_Value;
    switch (a.m_nType) {
    case kChar:
        r.SetChar(static_cast<char>(ShiftOp<int32_t>(v.c, b.ToLong(0), bLeft)));
        break;
    case kUChar:
        r.SetUChar(static_cast<unsigned char>(ShiftOp<uint32_t>(v.uc, b.ToLong(0), bLeft)));
        break;
    case kShort:
        r.SetShort(static_cast<short>(ShiftOp<int32_t>(v.s, b.ToLong(0), bLeft)));
        break;
    case kUShort:
        r.SetUShort(static_cast<unsigned short>(ShiftOp<uint32_t>(v.us, b.ToLong(0), bLeft)));
        break;
    case kInt:
        r.SetInt(ShiftOp<int32_t>(v.i, b.ToLong(0), bLeft));
        break;
    case kUInt:
        r.SetUInt(ShiftOp<uint32_t>(v.ui, b.ToLong(0), bLeft));
        break;
    case kLong:
        r.SetLong(ShiftOp<int32_t>(v.i, b.ToLong(0), bLeft));
        break;
    case kULong:
        r.SetULong(ShiftOp<uint32_t>(v.ui, b.ToLong(0), bLeft));
        break;
    case kLongLong:
        r.SetLongLong(ShiftOp<int64_t>(v.ll, b.ToLong(0), bLeft));
        break;
    case kULongLong:
        r.SetULongLong(ShiftOp<uint64_t>(v.ull, b.ToLong(0), bLeft));
        break;
    case kString:
        r.SetLong(ShiftOp<int32_t>(a.ToLong(0), b.ToLong(0), bLeft));
        break;
    case kReference:
    case kObject: {
        CIndirection ind(a);
        Shift(r, ind.Get(), b, bLeft, nLine);
        break;
    }
    case kBool:
    case kFloat:
    case kDouble:
    case kBinary:
    case kDateTime:
    case kSocketAddress:
    case kXmlDocument:
        throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, nLine);
    default:
        break;
    }
}

void CVLVariant::Complement(CVLVariant& r, const CVLVariant& a)
{
    const Value& v = a.m_Value;
    switch (a.m_nType) {
    case kChar:
        r.SetInt(~static_cast<int32_t>(v.c));
        break;
    case kUChar:
        r.SetInt(~static_cast<int32_t>(v.uc));
        break;
    case kShort:
        r.SetInt(~static_cast<int32_t>(v.s));
        break;
    case kUShort:
        r.SetInt(~static_cast<int32_t>(v.us));
        break;
    case kInt:
        r.SetInt(~v.i);
        break;
    case kUInt:
        r.SetUInt(~v.ui);
        break;
    case kLong:
        r.SetLong(~v.i);
        break;
    case kULong:
        r.SetULong(~v.ui);
        break;
    case kLongLong:
        r.SetLongLong(~v.ll);
        break;
    case kULongLong:
        r.SetULongLong(~v.ull);
        break;
    case kString:
        r.SetLong(~a.ToLong(0));
        break;
    case kReference:
    case kObject: {
        CIndirection ind(a);
        Complement(r, ind.Get());
        break;
    }
    default:
        break;
    }
}

bool CVLVariant::Order(const CVLVariant& a, const CVLVariant& b, int nOp, int nLine)
{
    const Value& v = a.m_Value;
    switch (a.m_nType) {
    case kChar:
        return CompareOp<int8_t>(v.c, static_cast<int8_t>(b.ToChar(0)), nOp);
    case kUChar:
        return CompareOp<uint8_t>(v.uc, b.ToUChar(0), nOp);
    case kShort:
        return CompareOp<int16_t>(v.s, b.ToShort(0), nOp);
    case kUShort:
        return CompareOp<uint16_t>(v.us, b.ToUShort(0), nOp);
    case kInt:
        return CompareOp<int32_t>(v.i, b.ToInt(0), nOp);
    case kUInt:
        return CompareOp<uint32_t>(v.ui, b.ToUInt(0), nOp);
    case kLong:
        return CompareOp<int32_t>(v.i, b.ToLong(0), nOp);
    case kULong:
        return CompareOp<uint32_t>(v.ui, b.ToULong(0), nOp);
    case kLongLong:
        return CompareOp<int64_t>(v.ll, b.ToLongLong(0), nOp);
    case kULongLong:
        return CompareOp<uint64_t>(v.ull, b.ToULongLong(0), nOp);
    case kFloat:
        return CompareOp<float>(v.f, b.ToFloat(0), nOp);
    case kDouble:
        return CompareOp<double>(v.d, b.ToDouble(0), nOp);
    case kString:
        return CompareOp<int>(a.GetString().Compare(b.ToString(nullptr)), 0, nOp);
    case kSocketAddress:
        return CompareOp<int>(a.GetSocketAddress().Compare(b.ToSocketAddress(nullptr)), 0, nOp);
    case kReference:
    case kObject: {
        CIndirection ind(a);
        return Order(ind.Get(), b, nOp, nLine);
    }
    case kBool:
    case kBinary:
    case kDateTime:
    case kXmlDocument:
        throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, nLine);
    default:
        return false;
    }
}

CVLVariant operator*(const CVLVariant& a, const CVLVariant& b)
{
    CVLVariant r;
    CVLVariant::Arithmetic(r, a, b, kMul, 1724);
    return r;
}

CVLVariant operator/(const CVLVariant& a, const CVLVariant& b)
{
    CVLVariant r;
    CVLVariant::Arithmetic(r, a, b, kDiv, 1731);
    return r;
}

CVLVariant operator+(const CVLVariant& a, const CVLVariant& b)
{
    CVLVariant r;
    CVLVariant::Arithmetic(r, a, b, kAdd, 1760);
    return r;
}

CVLVariant operator-(const CVLVariant& a, const CVLVariant& b)
{
    CVLVariant r;
    CVLVariant::Arithmetic(r, a, b, kSub, 1767);
    return r;
}

CVLVariant operator%(const CVLVariant& a, const CVLVariant& b)
{
    CVLVariant r;
    CVLVariant::Arithmetic(r, a, b, kMod, 1774);
    return r;
}

CVLVariant operator&(const CVLVariant& a, const CVLVariant& b)
{
    CVLVariant r;
    CVLVariant::Arithmetic(r, a, b, kAnd, 1781);
    return r;
}

CVLVariant operator|(const CVLVariant& a, const CVLVariant& b)
{
    CVLVariant r;
    CVLVariant::Arithmetic(r, a, b, kOr, 1788);
    return r;
}

CVLVariant operator^(const CVLVariant& a, const CVLVariant& b)
{
    CVLVariant r;
    CVLVariant::Arithmetic(r, a, b, kXor, 1795);
    return r;
}

CVLVariant operator<<(const CVLVariant& a, const CVLVariant& b)
{
    CVLVariant r;
    CVLVariant::Shift(r, a, b, true, 1976);
    return r;
}

CVLVariant operator>>(const CVLVariant& a, const CVLVariant& b)
{
    CVLVariant r;
    CVLVariant::Shift(r, a, b, false, 1983);
    return r;
}

CVLVariant operator~(const CVLVariant& a)
{
    CVLVariant r;
    CVLVariant::Complement(r, a);
    return r;
}

bool operator<(const CVLVariant& a, const CVLVariant& b)
{
    return CVLVariant::Order(a, b, kLess, 1869);
}

bool operator<=(const CVLVariant& a, const CVLVariant& b)
{
    return CVLVariant::Order(a, b, kLessEqual, 1876);
}

bool operator>(const CVLVariant& a, const CVLVariant& b)
{
    return CVLVariant::Order(a, b, kGreater, 1883);
}

bool operator>=(const CVLVariant& a, const CVLVariant& b)
{
    return CVLVariant::Order(a, b, kGreaterEqual, 1890);
}
