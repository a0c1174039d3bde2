// CVLVariant: construction, the type, typed reads and writes, copying and
// assignment. Conversions are in VLVariantConvert.cpp, the operators in
// VLVariantOperators.cpp.
#include "base/value/VLVariant.h"

#include <cstring>
#include <new>

#include "base/core/VLInvalidCallException.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLNullObjectException.h"
#include "base/net/VLSocketAddress.h"
#include "base/value/VLDateTime.h"
#include "base/value/VLVariantPrivate.h"
#include "base/xml/VLXmlDocument.h"

using namespace VLVariantPrivate;

// Throw-site codes: fixed numbers that identify each site in traces and
// results; they are not line numbers and never change.
const int kSiteSetType = 1587;
const int kSiteGetBool = 145;
const int kSiteGetChar = 156;
const int kSiteGetUChar = 167;
const int kSiteGetShort = 177;
const int kSiteGetUShort = 188;
const int kSiteGetInt = 199;
const int kSiteGetUInt = 210;
const int kSiteGetLong = 221;
const int kSiteGetULong = 232;
const int kSiteGetLongLong = 243;
const int kSiteGetULongLong = 254;
const int kSiteGetFloat = 266;
const int kSiteGetDouble = 277;
const int kSiteGetStringType = 288;
const int kSiteGetStringNull = 292;
const int kSiteGetBinaryType = 303;
const int kSiteGetBinaryNull = 307;
const int kSiteGetDateTimeType = 318;
const int kSiteGetDateTimeNull = 322;
const int kSiteGetSocketAddressType = 334;
const int kSiteGetSocketAddressNull = 338;
const int kSiteGetXmlDocumentType = 349;
const int kSiteGetXmlDocumentNull = 353;
const int kSiteGetReferenceType = 364;
const int kSiteGetReferenceNull = 368;
const int kSiteGetObjectType = 379;
const int kSiteGetObjectNull = 383;

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
            m_Value.pString = new CVLString(VL_CHARSET_UTF8);
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
        throw new EVLMemoryAllocException(VLSTD_MODULE, s_szFile, kSiteSetType);
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

#define VL_TYPED_GETTER(Type, Name, nTypeNumber, member, nSite)               \
    Type CVLVariant::Name() const                                             \
    {                                                                         \
        if (m_nType != nTypeNumber)                                           \
            throw new EVLInvalidCallException(VLSTD_MODULE, s_szFile, nSite); \
        return static_cast<Type>(m_Value.member);                             \
    }

VL_TYPED_GETTER(bool, GetBool, kBool, b, kSiteGetBool)
VL_TYPED_GETTER(char, GetChar, kChar, c, kSiteGetChar)
VL_TYPED_GETTER(unsigned char, GetUChar, kUChar, uc, kSiteGetUChar)
VL_TYPED_GETTER(short, GetShort, kShort, s, kSiteGetShort)
VL_TYPED_GETTER(unsigned short, GetUShort, kUShort, us, kSiteGetUShort)
VL_TYPED_GETTER(int, GetInt, kInt, i, kSiteGetInt)
VL_TYPED_GETTER(unsigned int, GetUInt, kUInt, ui, kSiteGetUInt)
VL_TYPED_GETTER(VL_LONG, GetLong, kLong, i, kSiteGetLong)
VL_TYPED_GETTER(VL_ULONG, GetULong, kULong, ui, kSiteGetULong)
VL_TYPED_GETTER(VL_LONGLONG, GetLongLong, kLongLong, ll, kSiteGetLongLong)
VL_TYPED_GETTER(VL_ULONGLONG, GetULongLong, kULongLong, ull, kSiteGetULongLong)
VL_TYPED_GETTER(float, GetFloat, kFloat, f, kSiteGetFloat)
VL_TYPED_GETTER(double, GetDouble, kDouble, d, kSiteGetDouble)

#undef VL_TYPED_GETTER

CVLString& CVLVariant::GetString() const
{
    if (m_nType != kString)
        throw new EVLInvalidCallException(VLSTD_MODULE, s_szFile, kSiteGetStringType);
    if (m_Value.pString == nullptr)
        throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, kSiteGetStringNull);
    return *m_Value.pString;
}

const unsigned char* CVLVariant::GetBinary() const
{
    if (m_nType != kBinary)
        throw new EVLInvalidCallException(VLSTD_MODULE, s_szFile, kSiteGetBinaryType);
    if (m_Value.pBytes == nullptr)
        throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, kSiteGetBinaryNull);
    return m_Value.pBytes->GetData();
}

CVLDateTime& CVLVariant::GetDateTime() const
{
    if (m_nType != kDateTime)
        throw new EVLInvalidCallException(VLSTD_MODULE, s_szFile, kSiteGetDateTimeType);
    if (m_Value.pDateTime == nullptr)
        throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, kSiteGetDateTimeNull);
    return *m_Value.pDateTime;
}

CVLSocketAddress& CVLVariant::GetSocketAddress() const
{
    if (m_nType != kSocketAddress)
        throw new EVLInvalidCallException(VLSTD_MODULE, s_szFile, kSiteGetSocketAddressType);
    if (m_Value.pAddress == nullptr)
        throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, kSiteGetSocketAddressNull);
    return *m_Value.pAddress;
}

CVLXmlDocument& CVLVariant::GetXmlDocument() const
{
    if (m_nType != kXmlDocument)
        throw new EVLInvalidCallException(VLSTD_MODULE, s_szFile, kSiteGetXmlDocumentType);
    if (m_Value.pDocument == nullptr)
        throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, kSiteGetXmlDocumentNull);
    return *m_Value.pDocument;
}

CVLVariant* CVLVariant::GetReference() const
{
    if (m_nType != kReference)
        throw new EVLInvalidCallException(VLSTD_MODULE, s_szFile, kSiteGetReferenceType);
    if (m_Value.pReference == nullptr)
        throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, kSiteGetReferenceNull);
    return m_Value.pReference;
}

IVLVariantObjectIF* CVLVariant::GetObject() const
{
    if (m_nType != kObject)
        throw new EVLInvalidCallException(VLSTD_MODULE, s_szFile, kSiteGetObjectType);
    if (m_Value.pObject == nullptr)
        throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, kSiteGetObjectNull);
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
    if (eCharset != VL_CHARSET_UNKNOWN)
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
            throw new EVLNullObjectException(VLSTD_MODULE, s_szFile, kSiteGetBinaryNull);
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
