// CVLVariant: converting reads, size, numeric test, equality, conversion to a
// type, and the trace text.
#include "base/value/VLVariant.h"

#include <locale.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

#include "base/core/VLNullObjectException.h"
#include "base/net/VLSocketAddress.h"
#include "base/stream/VLStringStream.h"
#include "base/value/VLDateTime.h"
#include "base/value/VLVariantPrivate.h"
#include "base/xml/VLXmlDocument.h"

using namespace VLVariantPrivate;

// Throw-site codes: fixed numbers that identify each site in traces and
// results; they are not line numbers and never change.
const int kSiteGetSizeString = 422;
const int kSiteGetSizeBinary = 428;
const int kSiteGetSizeDateTime = 434;
const int kSiteGetSizeSocketAddress = 440;
const int kSiteGetSizeXmlDocument = 446;
const int kSiteGetSizeReference = 455;
const int kSiteGetSizeObject = 462;

namespace {

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
    CVLString strHex(VL_CHARSET_UTF8);
    strHex.SetHex(static_cast<const VL_BYTE*>(pData), nLength, true);
    AppendText(str, strHex);
}

}  // namespace

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
    CVLString str(szDefault, VL_CHARSET_UTF8);
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
            str.Assign(m_Value.pBytes->GetBuffer(0, -1), m_Value.pBytes->GetSize(), VL_CHARSET_UNKNOWN);
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
            if (text.GetCharset() != VL_CHARSET_UTF8 && text.GetCharset() != VL_CHARSET_ASCII)
                text = text.ConvertTo(VL_CHARSET_UTF8, true);
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
            address.SetHost(m_Value.pString->ConvertTo(VL_CHARSET_UTF8, true).GetBuffer());
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
            throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, kSiteGetSizeString);
        return m_Value.pString->GetLength();
    case kBinary:
        if (m_Value.pBytes == nullptr)
            throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, kSiteGetSizeBinary);
        return m_Value.pBytes->GetSize();
    case kDateTime:
        if (m_Value.pDateTime == nullptr)
            throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, kSiteGetSizeDateTime);
        return m_Value.pDateTime->GetStringLength();
    case kSocketAddress: {
        if (m_Value.pAddress == nullptr)
            throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, kSiteGetSizeSocketAddress);
        CVLSocketAddress address(*m_Value.pAddress);
        return address.GetAddressLength();
    }
    case kXmlDocument:
        if (m_Value.pDocument == nullptr)
            throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, kSiteGetSizeXmlDocument);
        return m_Value.pDocument->GetXml(false).GetLength();
    case kReference:
    case kObject: {
        if (m_Value.p == nullptr)
            throw new EVLNullObjectException(VLSTD_MODULE, s_szFile,
                                             m_nType == kReference ? kSiteGetSizeReference : kSiteGetSizeObject);
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
            if (strText.GetCharset() != VL_CHARSET_UTF8 && strText.GetCharset() != VL_CHARSET_ASCII)
                strText = strText.ConvertTo(VL_CHARSET_UTF8, true);
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
// Trace text

CVLString CVLVariant::Dump() const
{
    CVLString str("[", VL_CHARSET_UTF8);
    switch (m_nType) {
    case kString: {
        CVLString text = ToString(nullptr);
        const char* szTag = nullptr;
        bool bText = true;
        switch (text.GetCharset()) {
        case VL_CHARSET_UTF8:
            break;
        case VL_CHARSET_CP932:
            szTag = "[CP932]";
            break;
        case VL_CHARSET_UTF16:
            szTag = "[UTF-16]";
            break;
        case VL_CHARSET_UTF16BE:
            szTag = "[UTF-16BE]";
            break;
        case VL_CHARSET_UTF16LE:
            szTag = "[UTF-16LE]";
            break;
        default:
            bText = false;
            break;
        }
        if (bText) {
            if (text.GetCharset() == VL_CHARSET_UTF8)
                AppendText(str, text);
            else
                AppendText(str, text.ConvertTo(VL_CHARSET_UTF8, true));
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
        if (text.GetCharset() == VL_CHARSET_UTF8 || text.GetLength() == 0)
            AppendText(str, text);
        else
            AppendText(str, text.ConvertTo(VL_CHARSET_UTF8, true));
        break;
    }
    }
    str += "]";
    if (m_bModified)
        str += "(is modify)";
    return str;
}
