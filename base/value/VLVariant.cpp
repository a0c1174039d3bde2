#include "base/value/VLVariant.h"

#include <locale.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

#include "base/value/VLDateTime.h"
#include "base/core/VLInvalidCallException.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLNullObjectException.h"
#include "base/net/VLSocketAddress.h"
#include "base/stream/VLStringStream.h"
#include "base/xml/VLXmlDocument.h"

static const char* const s_szFile = "VLVariant";

namespace {

enum
{
    kEmpty = 0,
    kBool = 1,
    kChar = 2,
    kUChar = 3,
    kShort = 4,
    kUShort = 5,
    kInt = 6,
    kUInt = 7,
    kLong = 8,
    kULong = 9,
    kLongLong = 10,
    kULongLong = 11,
    kFloat = 12,
    kDouble = 13,
    kString = 14,
    kBinary = 15,
    kDateTime = 16,
    kSocketAddress = 17,
    kXmlDocument = 18,
    kReference = 19,
    kObject = 20
};

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

// Chains of references and object values deeper than this are taken as a
// loop and read as an empty value.
const int kMaxIndirection = 64;
thread_local int t_nIndirectionDepth = 0;

// Integer or bool to any scalar target: integers keep their low bits,
// bool is true for any value other than zero.
template <typename T, typename S>
inline T FromInteger(S v)
{
    if constexpr (std::is_same<T, bool>::value)
        return v != 0;
    else
        return static_cast<T>(v);
}

// A floating value to any scalar target. Integer targets truncate toward zero
// and saturate at their range; NaN gives 0. A double too large for a float
// becomes an infinity, as IEEE narrowing does.
template <typename T, typename F>
inline T FromFloating(F v)
{
    if constexpr (std::is_same<T, bool>::value) {
        return v != 0;  // NaN counts as not zero
    } else if constexpr (std::is_floating_point<T>::value) {
        if constexpr (sizeof(T) < sizeof(F)) {
            if (v > static_cast<F>(std::numeric_limits<T>::max()))
                return std::numeric_limits<T>::infinity();
            if (v < static_cast<F>(std::numeric_limits<T>::lowest()))
                return -std::numeric_limits<T>::infinity();
        }
        return static_cast<T>(v);
    } else {
        if (std::isnan(v))
            return 0;
        const double dUpper = std::ldexp(1.0, std::numeric_limits<T>::digits);  // exclusive
        const double dLower = std::is_signed<T>::value ? -dUpper : 0.0;
        double d = static_cast<double>(v);
        if (d >= dUpper)
            return std::numeric_limits<T>::max();
        if (d <= dLower)
            return std::numeric_limits<T>::min();
        return static_cast<T>(d);
    }
}

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

locale_t CLocale()
{
    static locale_t s_Locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return s_Locale;
}

// "%f" with a decimal point whatever the process locale.
void FormatFixed(CVLString& str, double d)
{
    char buf[400] = {0};
    locale_t pLocale = CLocale();
    locale_t pOld = pLocale != static_cast<locale_t>(0) ? uselocale(pLocale) : static_cast<locale_t>(0);
    snprintf(buf, sizeof(buf), "%f", d);
    if (pOld != static_cast<locale_t>(0))
        uselocale(pOld);
    str = buf;
}

void AppendText(CVLString& str, const CVLString& text)
{
    str.Append(text.GetBuffer(), text.GetLength());
}

void AppendHex(CVLString& str, const void* pData, int nLength)
{
    if (pData == nullptr || nLength <= 0)
        return;
    CVLString strHex(72);
    strHex.SetHex(static_cast<const VL_BYTE*>(pData), nLength, true);
    AppendText(str, strHex);
}

}  // namespace

namespace {

// Counts the indirections being followed on this thread.
class CDepthGuard
{
public:
    CDepthGuard() { ++t_nIndirectionDepth; }
    ~CDepthGuard() { --t_nIndirectionDepth; }
    CDepthGuard(const CDepthGuard&) = delete;
    CDepthGuard& operator=(const CDepthGuard&) = delete;
    bool TooDeep() const { return t_nIndirectionDepth > kMaxIndirection; }
};

}  // namespace

// The value behind a reference or object value, for the duration of one
// read. A missing target, or a loop of indirections, reads as empty.
class CVLVariant::CIndirection
{
public:
    explicit CIndirection(const CVLVariant& v) : m_pTarget(&m_Temp)
    {
        if (m_Guard.TooDeep())
            return;
        if (v.m_nType == kReference) {
            if (v.m_Value.pReference != nullptr)
                m_pTarget = v.m_Value.pReference;
        } else if (v.m_nType == kObject && v.m_Value.pObject != nullptr) {
            v.m_Value.pObject->GetValue(m_Temp);
        }
    }
    CIndirection(const CIndirection&) = delete;
    CIndirection& operator=(const CIndirection&) = delete;

    const CVLVariant& Get() const { return *m_pTarget; }

private:
    CDepthGuard m_Guard;
    CVLVariant m_Temp;
    const CVLVariant* m_pTarget;
};

// ---------------------------------------------------------------------------
// Construction

CVLVariant::CVLVariant() : m_nType(kEmpty), m_bModified(false)
{
    m_Value.ull = 0;
}

CVLVariant::CVLVariant(const CVLVariant& src) : m_nType(kEmpty), m_bModified(false)
{
    m_Value.ull = 0;
    operator=(src);
}

CVLVariant::~CVLVariant()
{
    Clear();
}

CVLVariant& CVLVariant::operator=(const CVLVariant& src)
{
    Copy(src, true);
    return *this;
}

void CVLVariant::Clear()
{
    switch (m_nType) {
    case kString:
        delete m_Value.pString;
        break;
    case kBinary:
        delete m_Value.pBytes;
        break;
    case kDateTime:
        delete m_Value.pDateTime;
        break;
    case kSocketAddress:
        delete m_Value.pAddress;
        break;
    case kXmlDocument:
        delete m_Value.pDocument;
        break;
    default:
        break;
    }
    m_Value.ull = 0;
    m_nType = kEmpty;
}

void CVLVariant::Reset()
{
    Clear();
    m_bModified = false;
}

// ---------------------------------------------------------------------------
// Types

int CVLVariant::GetType() const
{
    return m_nType;
}

int CVLVariant::GetValueType() const
{
    if (m_nType == kReference || m_nType == kObject) {
        CIndirection ind(*this);
        return ind.Get().GetValueType();
    }
    return m_nType;
}

void CVLVariant::SetType(int nType)
{
    if (nType == m_nType)
        return;
    Clear();
    try {
        switch (nType) {
        case kString:
            m_Value.pString = new CVLString(72);
            break;
        case kBinary:
            m_Value.pBytes = new CVLByteArray();
            break;
        case kDateTime:
            m_Value.pDateTime = new CVLDateTime();
            break;
        case kSocketAddress:
            m_Value.pAddress = new CVLSocketAddress();
            break;
        case kXmlDocument:
            m_Value.pDocument = new CVLXmlDocument();
            break;
        default:
            break;
        }
    } catch (const std::bad_alloc&) {
        m_Value.ull = 0;
        m_nType = kEmpty;
        m_bModified = true;
        throw new EVLMemoryAllocException(VLSTD_MODULE, s_szFile, 1587);
    }
    m_nType = nType;
    m_bModified = true;
}

void CVLVariant::SetEmpty()
{
    if (m_nType != kEmpty) {
        SetType(kEmpty);
        m_bModified = true;
    }
}

// ---------------------------------------------------------------------------
// Typed getters

#define VL_TYPED_GETTER(Type, Name, nTypeNumber, member, nLine)                       \
    Type CVLVariant::Name() const                                                     \
    {                                                                                 \
        if (m_nType != nTypeNumber)                                                   \
            throw new EVLInvalidCallException(VLSTD_MODULE, s_szFile, nLine);         \
        return static_cast<Type>(m_Value.member);                                     \
    }

VL_TYPED_GETTER(bool, GetBool, kBool, b, 145)
VL_TYPED_GETTER(char, GetChar, kChar, c, 156)
VL_TYPED_GETTER(unsigned char, GetUChar, kUChar, uc, 167)
VL_TYPED_GETTER(short, GetShort, kShort, s, 177)
VL_TYPED_GETTER(unsigned short, GetUShort, kUShort, us, 188)
VL_TYPED_GETTER(int, GetInt, kInt, i, 199)
VL_TYPED_GETTER(unsigned int, GetUInt, kUInt, ui, 210)
VL_TYPED_GETTER(VL_LONG, GetLong, kLong, i, 221)
VL_TYPED_GETTER(VL_ULONG, GetULong, kULong, ui, 232)
VL_TYPED_GETTER(VL_LONGLONG, GetLongLong, kLongLong, ll, 243)
VL_TYPED_GETTER(VL_ULONGLONG, GetULongLong, kULongLong, ull, 254)
VL_TYPED_GETTER(float, GetFloat, kFloat, f, 266)
VL_TYPED_GETTER(double, GetDouble, kDouble, d, 277)

#undef VL_TYPED_GETTER

CVLString& CVLVariant::GetString() const
{
    if (m_nType != kString)
        throw new EVLInvalidCallException(VLSTD_MODULE, s_szFile, 288);
    if (m_Value.pString == nullptr)
        throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, 292);
    return *m_Value.pString;
}

const unsigned char* CVLVariant::GetBinary() const
{
    if (m_nType != kBinary)
        throw new EVLInvalidCallException(VLSTD_MODULE, s_szFile, 303);
    if (m_Value.pBytes == nullptr)
        throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, 307);
    return m_Value.pBytes->GetData();
}

CVLDateTime& CVLVariant::GetDateTime() const
{
    if (m_nType != kDateTime)
        throw new EVLInvalidCallException(VLSTD_MODULE, s_szFile, 318);
    if (m_Value.pDateTime == nullptr)
        throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, 322);
    return *m_Value.pDateTime;
}

CVLSocketAddress& CVLVariant::GetSocketAddress() const
{
    if (m_nType != kSocketAddress)
        throw new EVLInvalidCallException(VLSTD_MODULE, s_szFile, 334);
    if (m_Value.pAddress == nullptr)
        throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, 338);
    return *m_Value.pAddress;
}

CVLXmlDocument& CVLVariant::GetXmlDocument() const
{
    if (m_nType != kXmlDocument)
        throw new EVLInvalidCallException(VLSTD_MODULE, s_szFile, 349);
    if (m_Value.pDocument == nullptr)
        throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, 353);
    return *m_Value.pDocument;
}

CVLVariant* CVLVariant::GetReference() const
{
    if (m_nType != kReference)
        throw new EVLInvalidCallException(VLSTD_MODULE, s_szFile, 364);
    if (m_Value.pReference == nullptr)
        throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, 368);
    return m_Value.pReference;
}

IVLVariantObjectIF* CVLVariant::GetObject() const
{
    if (m_nType != kObject)
        throw new EVLInvalidCallException(VLSTD_MODULE, s_szFile, 379);
    if (m_Value.pObject == nullptr)
        throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, 383);
    return m_Value.pObject;
}

// ---------------------------------------------------------------------------
// Setters

void CVLVariant::StorePointer(int nType, void* p)
{
    if (m_nType != nType)
        SetType(nType);
    if (m_Value.p == p)
        return;
    m_Value.p = p;
    m_bModified = true;
}

void CVLVariant::SetBool(bool bValue)
{
    StoreScalar(kBool, bValue, m_Value.b);
}

void CVLVariant::SetChar(char cValue)
{
    StoreScalar(kChar, static_cast<int8_t>(cValue), m_Value.c);
}

void CVLVariant::SetUChar(unsigned char cValue)
{
    StoreScalar(kUChar, static_cast<uint8_t>(cValue), m_Value.uc);
}

void CVLVariant::SetShort(short nValue)
{
    StoreScalar(kShort, static_cast<int16_t>(nValue), m_Value.s);
}

void CVLVariant::SetUShort(unsigned short nValue)
{
    StoreScalar(kUShort, static_cast<uint16_t>(nValue), m_Value.us);
}

void CVLVariant::SetInt(int nValue)
{
    StoreScalar(kInt, static_cast<int32_t>(nValue), m_Value.i);
}

void CVLVariant::SetUInt(unsigned int nValue)
{
    StoreScalar(kUInt, static_cast<uint32_t>(nValue), m_Value.ui);
}

void CVLVariant::SetLong(VL_LONG nValue)
{
    StoreScalar(kLong, nValue, m_Value.i);
}

void CVLVariant::SetULong(VL_ULONG nValue)
{
    StoreScalar(kULong, nValue, m_Value.ui);
}

void CVLVariant::SetLongLong(VL_LONGLONG nValue)
{
    StoreScalar(kLongLong, nValue, m_Value.ll);
}

void CVLVariant::SetULongLong(VL_ULONGLONG nValue)
{
    StoreScalar(kULongLong, nValue, m_Value.ull);
}

void CVLVariant::SetFloat(float fValue)
{
    StoreScalar(kFloat, fValue, m_Value.f);
}

void CVLVariant::SetDouble(double dValue)
{
    StoreScalar(kDouble, dValue, m_Value.d);
}

void CVLVariant::SetBinary(const void* pData, int nLength)
{
    // Refuse bad arguments before the held value is touched.
    if (nLength < 0 || (pData == nullptr && nLength > 0))
        throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, __LINE__);
    SetType(kBinary);
    CVLByteArray* pBytes = m_Value.pBytes;
    if (pBytes->Equals(pData, nLength))
        return;
    // The source may lie inside the held array, which is cleared below.
    const VL_BYTE* pHeld = pBytes->GetCapacity() > 0 ? pBytes->GetBuffer(0, 0) : nullptr;
    const VL_BYTE* pSrc = static_cast<const VL_BYTE*>(pData);
    if (pHeld != nullptr && pSrc != nullptr && pSrc >= pHeld && pSrc < pHeld + pBytes->GetCapacity()) {
        CVLByteArray copy;
        copy.Append(pData, nLength);
        SetByteArray(copy);
        return;
    }
    if (pBytes->GetCapacity() < nLength)
        pBytes->Allocate(nLength);
    pBytes->Clear();
    if (nLength > 0)
        pBytes->Append(pData, nLength);
    m_bModified = true;
}

void CVLVariant::SetByteArray(const CVLByteArray& array)
{
    SetType(kBinary);
    if (m_Value.pBytes->Equals(array))
        return;
    m_Value.pBytes->Assign(array);
    m_bModified = true;
}

void CVLVariant::SetDateTime(const CVLDateTime& dateTime)
{
    SetType(kDateTime);
    CVLDateTime* pHeld = m_Value.pDateTime;
    // The time-only flag counts too, so that a copy never loses it.
    if (pHeld->IsEqual(dateTime) && pHeld->IsTimeOnly() == dateTime.IsTimeOnly())
        return;
    *pHeld = dateTime;
    m_bModified = true;
}

void CVLVariant::SetXmlDocument(const CVLXmlDocument& document)
{
    SetType(kXmlDocument);
    if (m_Value.pDocument->IsEqualNode(&document))
        return;
    *m_Value.pDocument = document;
    m_bModified = true;
}

void CVLVariant::SetSocketAddress(const CVLSocketAddress& address)
{
    SetType(kSocketAddress);
    CVLSocketAddress* pHeld = m_Value.pAddress;
    // Compared field by field, without resolving: a copy keeps the port and
    // the host text, and a host name that does not resolve can still be held.
    if (pHeld->GetProtocol() == address.GetProtocol() && pHeld->GetPort() == address.GetPort() &&
        pHeld->GetFormat() == address.GetFormat() && pHeld->GetHost().Compare(address.GetHost()) == 0 &&
        pHeld->GetHost().GetCharset() == address.GetHost().GetCharset())
        return;
    *pHeld = address;
    m_bModified = true;
}

void CVLVariant::SetTimeZone(int nMinutes)
{
    // Only a held date-time has a zone; any other type ignores the call.
    if (m_nType != kDateTime || m_Value.pDateTime == nullptr)
        return;
    m_Value.pDateTime->SetTimeZone(nMinutes);
    m_bModified = true;
}

void CVLVariant::SetDateTimeFlag(bool bTimeOnly)
{
    if (m_nType != kDateTime || m_Value.pDateTime == nullptr)
        return;
    m_Value.pDateTime->SetTimeOnly(bTimeOnly);
    m_bModified = true;
}

void CVLVariant::SetReference(CVLVariant* pVariant)
{
    if (pVariant == nullptr)
        SetEmpty();
    else
        StorePointer(kReference, pVariant);
}

void CVLVariant::SetObject(IVLVariantObjectIF* pObject)
{
    if (pObject == nullptr)
        SetEmpty();
    else
        StorePointer(kObject, pObject);
}

void CVLVariant::SetString(const char* szText, int eCharset)
{
    SetType(kString);
    CVLString* pString = m_Value.pString;
    if (pString->Compare(szText) == 0)
        return;
    *pString = szText;
    m_bModified = true;
    if (eCharset != -2)
        pString->SetCharset(eCharset);
}

void CVLVariant::SetString(const CVLString& str)
{
    SetType(kString);
    if (m_Value.pString->Compare(str) == 0)
        return;
    *m_Value.pString = str;
    m_bModified = true;
}

// ---------------------------------------------------------------------------
// Copying and assignment

void CVLVariant::Copy(const CVLVariant& src, bool bCopyModified)
{
    const Value& v = src.m_Value;
    switch (src.m_nType) {
    case kEmpty:
        SetEmpty();
        break;
    case kBool:
        SetBool(v.b);
        break;
    case kChar:
        SetChar(static_cast<char>(v.c));
        break;
    case kUChar:
        SetUChar(v.uc);
        break;
    case kShort:
        SetShort(v.s);
        break;
    case kUShort:
        SetUShort(v.us);
        break;
    case kInt:
        SetInt(v.i);
        break;
    case kUInt:
        SetUInt(v.ui);
        break;
    case kLong:
        SetLong(v.i);
        break;
    case kULong:
        SetULong(v.ui);
        break;
    case kLongLong:
        SetLongLong(v.ll);
        break;
    case kULongLong:
        SetULongLong(v.ull);
        break;
    case kFloat:
        SetFloat(v.f);
        break;
    case kDouble:
        SetDouble(v.d);
        break;
    case kString:
        SetString(src.GetString());
        break;
    case kBinary:
        if (v.pBytes == nullptr)
            throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, 307);
        SetByteArray(*v.pBytes);
        break;
    case kDateTime:
        SetDateTime(src.GetDateTime());
        break;
    case kSocketAddress:
        SetSocketAddress(src.GetSocketAddress());
        break;
    case kXmlDocument:
        SetXmlDocument(src.GetXmlDocument());
        break;
    case kReference:
    case kObject:
        // A reference without a target copies as one.
        if (v.p != nullptr) {
            if (src.m_nType == kReference)
                SetReference(v.pReference);
            else
                SetObject(v.pObject);
        } else {
            StorePointer(src.m_nType, nullptr);
        }
        break;
    default:
        return;
    }
    if (bCopyModified)
        m_bModified = src.m_bModified;
}

void CVLVariant::SetValue(const CVLVariant& src)
{
    if (m_nType == kObject || m_nType == kReference) {
        CDepthGuard guard;
        if (guard.TooDeep())
            throw new EVLInvalidCallException(VLSTD_MODULE, s_szFile, __LINE__);
        if (m_nType == kObject)
            GetObject()->SetValue(src);
        else
            GetReference()->SetValue(src);
        return;
    }
    if (src.m_nType == kReference || src.m_nType == kObject) {
        CIndirection ind(src);
        SetValue(ind.Get());
        return;
    }
    Copy(src, false);
}

bool CVLVariant::operator&&(const CVLVariant& other) const
{
    return ToBool(false) && other.ToBool(false);
}

bool CVLVariant::operator||(const CVLVariant& other) const
{
    return ToBool(false) || other.ToBool(false);
}

// ---------------------------------------------------------------------------
// Converting reads

template <typename T>
T CVLVariant::ScalarAs() const
{
    switch (m_nType) {
    case kBool:
        return FromInteger<T>(m_Value.b);
    case kChar:
        return FromInteger<T>(m_Value.c);
    case kUChar:
        return FromInteger<T>(m_Value.uc);
    case kShort:
        return FromInteger<T>(m_Value.s);
    case kUShort:
        return FromInteger<T>(m_Value.us);
    case kInt:
    case kLong:
        return FromInteger<T>(m_Value.i);
    case kUInt:
    case kULong:
        return FromInteger<T>(m_Value.ui);
    case kLongLong:
        return FromInteger<T>(m_Value.ll);
    case kULongLong:
        return FromInteger<T>(m_Value.ull);
    case kFloat:
        return FromFloating<T>(m_Value.f);
    default:
        return FromFloating<T>(m_Value.d);
    }
}

// A byte array of exactly the target's width read in host order; any other
// size, and every array read as a bool, gives the default.
template <typename T>
T CVLVariant::BytesAs(T tDefault) const
{
    if constexpr (std::is_same<T, bool>::value) {
        return tDefault;
    } else {
        const CVLByteArray* pBytes = m_Value.pBytes;
        if (pBytes == nullptr || pBytes->GetSize() != static_cast<int>(sizeof(T)))
            return tDefault;
        T value;
        std::memcpy(&value, pBytes->GetBuffer(0, static_cast<int>(sizeof(T))), sizeof(T));
        return value;
    }
}

#define VL_CONVERTING_READ(Type, Name, stringRead)                                    \
    Type CVLVariant::Name(Type tDefault) const                                        \
    {                                                                                 \
        if (m_nType >= kBool && m_nType <= kDouble)                                   \
            return ScalarAs<Type>();                                                  \
        switch (m_nType) {                                                            \
        case kString: {                                                               \
            const CVLString* pString = m_Value.pString;                               \
            return pString != nullptr ? (stringRead) : tDefault;                      \
        }                                                                             \
        case kBinary:                                                                 \
            return BytesAs<Type>(tDefault);                                           \
        case kReference:                                                              \
        case kObject: {                                                               \
            CIndirection ind(*this);                                                  \
            return ind.Get().Name(tDefault);                                          \
        }                                                                             \
        default:                                                                      \
            return tDefault;                                                          \
        }                                                                             \
    }

VL_CONVERTING_READ(bool, ToBool, pString->ToBool(tDefault))
VL_CONVERTING_READ(char, ToChar, static_cast<char>(pString->ToLong(tDefault)))
VL_CONVERTING_READ(unsigned char, ToUChar, static_cast<unsigned char>(pString->ToULong(tDefault)))
VL_CONVERTING_READ(short, ToShort, static_cast<short>(pString->ToLong(tDefault)))
VL_CONVERTING_READ(unsigned short, ToUShort, static_cast<unsigned short>(pString->ToULong(tDefault)))
VL_CONVERTING_READ(int, ToInt, static_cast<int>(pString->ToLong(tDefault)))
VL_CONVERTING_READ(unsigned int, ToUInt, static_cast<unsigned int>(pString->ToULong(tDefault)))
VL_CONVERTING_READ(VL_LONG, ToLong, pString->ToLong(tDefault))
VL_CONVERTING_READ(VL_ULONG, ToULong, pString->ToULong(tDefault))
VL_CONVERTING_READ(VL_LONGLONG, ToLongLong, pString->ToLongLong(tDefault))
VL_CONVERTING_READ(VL_ULONGLONG, ToULongLong, pString->ToULongLong(tDefault))
VL_CONVERTING_READ(float, ToFloat, FromFloating<float>(pString->ToDouble(tDefault)))
VL_CONVERTING_READ(double, ToDouble, pString->ToDouble(tDefault))

#undef VL_CONVERTING_READ

CVLString CVLVariant::ToString(const char* szDefault) const
{
    CVLString str(szDefault, 72);
    switch (m_nType) {
    case kBool:
        str.SetBool(m_Value.b);
        break;
    case kChar:
        str.SetLong(m_Value.c);
        break;
    case kShort:
        str.SetLong(m_Value.s);
        break;
    case kInt:
    case kLong:
        str.SetLong(m_Value.i);
        break;
    case kUChar:
        str.SetULong(m_Value.uc);
        break;
    case kUShort:
        str.SetULong(m_Value.us);
        break;
    case kUInt:
    case kULong:
        str.SetULong(m_Value.ui);
        break;
    case kLongLong:
        str.SetLongLong(m_Value.ll);
        break;
    case kULongLong:
        str.SetULongLong(m_Value.ull);
        break;
    case kFloat:
        FormatFixed(str, static_cast<double>(m_Value.f));
        break;
    case kDouble:
        FormatFixed(str, m_Value.d);
        break;
    case kString:
        if (m_Value.pString != nullptr)
            str = *m_Value.pString;
        break;
    case kBinary:
        if (m_Value.pBytes != nullptr && m_Value.pBytes->GetSize() > 0)
            str.Assign(m_Value.pBytes->GetBuffer(0, -1), m_Value.pBytes->GetSize(), -2);
        break;
    case kDateTime:
        if (m_Value.pDateTime != nullptr)
            str = m_Value.pDateTime->ToString();
        break;
    case kSocketAddress:
        if (m_Value.pAddress != nullptr)
            str = m_Value.pAddress->GetHost();
        break;
    case kReference:
    case kObject: {
        CIndirection ind(*this);
        return ind.Get().ToString(szDefault);
    }
    default:
        break;
    }
    return str;
}

CVLByteArray CVLVariant::ToByteArray(const void* pDefault, int nDefaultLength) const
{
    CVLByteArray bytes;
    switch (m_nType) {
    case kBool:
    case kChar:
    case kUChar:
        bytes.Append(m_Value.raw, 1);
        break;
    case kShort:
    case kUShort:
        bytes.Append(m_Value.raw, 2);
        break;
    case kInt:
    case kUInt:
    case kLong:
    case kULong:
    case kFloat:
        bytes.Append(m_Value.raw, 4);
        break;
    case kLongLong:
    case kULongLong:
    case kDouble:
        bytes.Append(m_Value.raw, 8);
        break;
    case kString:
        if (m_Value.pString != nullptr && m_Value.pString->GetLength() > 0)
            bytes.Append(m_Value.pString->GetBuffer(), m_Value.pString->GetLength());
        break;
    case kBinary:
        if (m_Value.pBytes != nullptr)
            bytes.Assign(*m_Value.pBytes);
        break;
    case kDateTime:
        if (m_Value.pDateTime != nullptr)
            bytes = m_Value.pDateTime->GetBinary();
        break;
    case kSocketAddress:
        if (m_Value.pAddress != nullptr) {
            CVLSocketAddress address(*m_Value.pAddress);  // resolving changes its cache
            int nLength = address.GetAddressLength();
            const unsigned char* pBytes = address.GetAddressBytes();
            if (nLength > 0 && pBytes != nullptr)
                bytes.Append(pBytes, nLength);
        }
        break;
    case kXmlDocument:
        if (m_Value.pDocument != nullptr) {
            CVLString strXml = m_Value.pDocument->GetXml(false);
            if (strXml.GetLength() > 0)
                bytes.Append(strXml.GetBuffer(), strXml.GetLength());
        }
        break;
    case kReference:
    case kObject: {
        CIndirection ind(*this);
        return ind.Get().ToByteArray(pDefault, nDefaultLength);
    }
    default:
        if (pDefault != nullptr && nDefaultLength > 0)
            bytes.Append(pDefault, nDefaultLength);
        break;
    }
    return bytes;
}

CVLDateTime CVLVariant::ToDateTime() const
{
    CVLDateTime dateTime;
    if (m_nType == kBinary) {
        if (m_Value.pBytes != nullptr && m_Value.pBytes->GetSize() > 0)
            dateTime.SetBinary(m_Value.pBytes->GetBuffer(0, -1), m_Value.pBytes->GetSize());
    } else if (m_nType == kDateTime) {
        if (m_Value.pDateTime != nullptr)
            dateTime = *m_Value.pDateTime;
    } else {
        CVLString text = ToString(nullptr);
        if (text.GetLength() > 0) {
            if (text.GetCharset() != 72 && text.GetCharset() != 0)
                text = text.ConvertTo(72, true);
            dateTime.Parse(text.GetBuffer());
        }
    }
    return dateTime;
}

CVLSocketAddress CVLVariant::ToSocketAddress(const char* szDefaultHost) const
{
    CVLSocketAddress address;
    address.SetHost(szDefaultHost);
    switch (m_nType) {
    case kString:
        if (m_Value.pString != nullptr)
            address.SetHost(m_Value.pString->ConvertTo(72, true).GetBuffer());
        break;
    case kBinary:
        if (m_Value.pBytes != nullptr && m_Value.pBytes->GetSize() == 4)
            address.SetAddressBytes(m_Value.pBytes->GetBuffer(0, 4));
        break;
    case kSocketAddress:
        if (m_Value.pAddress != nullptr)
            address = *m_Value.pAddress;
        break;
    case kReference:
    case kObject: {
        CIndirection ind(*this);
        return ind.Get().ToSocketAddress(szDefaultHost);
    }
    default:
        break;
    }
    return address;
}

// ---------------------------------------------------------------------------
// Size, numeric test, equality, conversion

int CVLVariant::GetSize() const
{
    switch (m_nType) {
    case kBool:
    case kChar:
    case kUChar:
        return 1;
    case kShort:
    case kUShort:
        return 2;
    case kInt:
    case kUInt:
    case kLong:
    case kULong:
    case kFloat:
        return 4;
    case kLongLong:
    case kULongLong:
    case kDouble:
        return 8;
    case kString:
        if (m_Value.pString == nullptr)
            throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, 422);
        return m_Value.pString->GetLength();
    case kBinary:
        if (m_Value.pBytes == nullptr)
            throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, 428);
        return m_Value.pBytes->GetSize();
    case kDateTime:
        if (m_Value.pDateTime == nullptr)
            throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, 434);
        return m_Value.pDateTime->GetStringLength();
    case kSocketAddress: {
        if (m_Value.pAddress == nullptr)
            throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, 440);
        CVLSocketAddress address(*m_Value.pAddress);
        return address.GetAddressLength();
    }
    case kXmlDocument:
        if (m_Value.pDocument == nullptr)
            throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, 446);
        return m_Value.pDocument->GetXml(false).GetLength();
    case kReference:
    case kObject: {
        if (m_Value.p == nullptr)
            throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, m_nType == kReference ? 455 : 462);
        CIndirection ind(*this);
        return ind.Get().GetSize();
    }
    default:
        return 0;
    }
}

bool CVLVariant::IsNumeric() const
{
    switch (m_nType) {
    case kString:
        return m_Value.pString != nullptr && m_Value.pString->IsNumeric();
    case kBinary:
    case kDateTime:
    case kSocketAddress:
    case kXmlDocument:
        return false;
    case kReference:
    case kObject: {
        CIndirection ind(*this);
        return ind.Get().IsNumeric();
    }
    default:
        return true;
    }
}

bool CVLVariant::IsEqual(const CVLVariant& other) const
{
    const Value& v = m_Value;
    switch (m_nType) {
    case kEmpty:
        return other.m_nType == kEmpty;
    case kBool:
        return v.b == other.ToBool(false);
    case kChar:
        return v.c == static_cast<int8_t>(other.ToChar(0));
    case kUChar:
        return v.uc == other.ToUChar(0);
    case kShort:
        return v.s == other.ToShort(0);
    case kUShort:
        return v.us == other.ToUShort(0);
    case kInt:
        return v.i == other.ToInt(0);
    case kUInt:
        return v.ui == other.ToUInt(0);
    case kLong:
        return v.i == other.ToLong(0);
    case kULong:
        return v.ui == other.ToULong(0);
    case kLongLong:
        return v.ll == other.ToLongLong(0);
    case kULongLong:
        return v.ull == other.ToULongLong(0);
    case kFloat:
        return v.f == other.ToFloat(0);
    case kDouble:
        return v.d == other.ToDouble(0);
    case kString:
        return v.pString != nullptr && *v.pString == other.ToString(nullptr);
    case kBinary:
        return v.pBytes != nullptr && v.pBytes->Equals(other.ToByteArray(nullptr, 0));
    case kDateTime:
        return v.pDateTime != nullptr && v.pDateTime->IsEqual(other.ToDateTime());
    case kSocketAddress:
        return v.pAddress != nullptr && v.pAddress->Compare(other.ToSocketAddress(nullptr)) == 0;
    case kXmlDocument:
        return other.m_nType == kXmlDocument && v.pDocument != nullptr && other.m_Value.pDocument != nullptr &&
               v.pDocument->IsEqualNode(other.m_Value.pDocument);
    case kReference:
    case kObject: {
        CIndirection ind(*this);
        return ind.Get().IsEqual(other);
    }
    default:
        return false;
    }
}

void CVLVariant::SetAs(int nType, const CVLVariant& src)
{
    switch (nType) {
    case kEmpty:
        SetEmpty();
        break;
    case kBool:
        SetBool(src.ToBool(false));
        break;
    case kChar:
        SetChar(src.ToChar(0));
        break;
    case kUChar:
        SetUChar(src.ToUChar(0));
        break;
    case kShort:
        SetShort(src.ToShort(0));
        break;
    case kUShort:
        SetUShort(src.ToUShort(0));
        break;
    case kInt:
        SetInt(src.ToInt(0));
        break;
    case kUInt:
        SetUInt(src.ToUInt(0));
        break;
    case kLong:
        SetLong(src.ToLong(0));
        break;
    case kULong:
        SetULong(src.ToULong(0));
        break;
    case kLongLong:
        SetLongLong(src.ToLongLong(0));
        break;
    case kULongLong:
        SetULongLong(src.ToULongLong(0));
        break;
    case kFloat:
        SetFloat(src.ToFloat(0));
        break;
    case kDouble:
        SetDouble(src.ToDouble(0));
        break;
    case kString:
        SetString(src.ToString(nullptr));
        break;
    case kBinary:
        SetByteArray(src.ToByteArray(nullptr, 0));
        break;
    case kDateTime:
        SetDateTime(src.ToDateTime());
        break;
    case kSocketAddress:
        SetSocketAddress(src.ToSocketAddress(nullptr));
        break;
    case kXmlDocument:
        if (src.m_nType == kXmlDocument) {
            SetXmlDocument(src.GetXmlDocument());
        } else {
            // Parsed into a document of its own first: a text that does not
            // parse leaves this variant as it was, and a parsed one is set
            // (and flagged) only when it differs from the held document.
            CVLString strText = src.ToString(nullptr);
            if (strText.GetCharset() != 72 && strText.GetCharset() != 0)
                strText = strText.ConvertTo(72, true);
            CVLStringStream stream;
            stream.SetString(strText.GetBuffer());
            CVLXmlDocument document;
            document.Load(&stream);
            SetXmlDocument(document);
        }
        break;
    case kReference:
        if (src.m_nType == kReference)
            SetReference(src.m_Value.pReference);
        else
            SetEmpty();
        break;
    case kObject:
        if (src.m_nType == kObject)
            SetObject(src.m_Value.pObject);
        else
            SetEmpty();
        break;
    default:
        break;
    }
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

// ---------------------------------------------------------------------------
// Trace text

CVLString CVLVariant::Dump() const
{
    CVLString str("[", 72);
    switch (m_nType) {
    case kString: {
        CVLString text = ToString(nullptr);
        const char* szTag = nullptr;
        bool bText = true;
        switch (text.GetCharset()) {
        case 72:
            break;
        case 43:
            szTag = "[CP932]";
            break;
        case 79:
            szTag = "[UTF-16]";
            break;
        case 80:
            szTag = "[UTF-16BE]";
            break;
        case 81:
            szTag = "[UTF-16LE]";
            break;
        default:
            bText = false;
            break;
        }
        if (bText) {
            if (text.GetCharset() == 72)
                AppendText(str, text);
            else
                AppendText(str, text.ConvertTo(72, true));
            if (szTag != nullptr)
                str += szTag;
        }
        if (GetSize() > 0) {
            str += "][binary:";
            AppendHex(str, text.GetBuffer(), text.GetLength());
        }
        break;
    }
    case kBinary:
        str += "binary:";
        if (m_Value.pBytes != nullptr && m_Value.pBytes->GetSize() > 0)
            AppendHex(str, m_Value.pBytes->GetBuffer(0, -1), m_Value.pBytes->GetSize());
        break;
    case kEmpty:
        str += "<Empty>";
        break;
    default: {
        // The trace is UTF-8; a text behind a reference may be in another set.
        CVLString text = ToString(nullptr);
        if (text.GetCharset() == 72 || text.GetLength() == 0)
            AppendText(str, text);
        else
            AppendText(str, text.ConvertTo(72, true));
        break;
    }
    }
    str += "]";
    if (m_bModified)
        str += "(is modify)";
    return str;
}
