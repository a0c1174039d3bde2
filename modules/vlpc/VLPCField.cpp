#include "modules/vlpc/VLPCField.h"

#include <cstring>

#include "base/core/VLByteArray.h"
#include "base/core/VLByteOrder.h"
#include "base/core/VLCharset.h"
#include "base/core/VLException.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLTrace.h"
#include "base/net/VLMACAddress.h"
#include "base/net/VLSocketAddress.h"
#include "base/stream/VLStringStream.h"
#include "base/xml/VLXmlElement.h"
#include "base/xml/VLXmlNodeList.h"
#include "cm/VLDefineFormatException.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "modules/vlpc/VLBase64.h"
#include "modules/vlpc/VLMD5.h"
#include "modules/vlpc/VLPC.h"
#include "modules/vlpc/VLPCDefs.h"
#include "modules/vlpc/VLPCFieldList.h"
#include "modules/vlpc/VLPCFunction.h"
#include "modules/vlpc/VLPCPacket.h"

namespace {

const char* const s_szFile = "VLPCField";

const int BYTE_ORDER_LITTLE = 1;
const int BYTE_ORDER_BIG = 2;
const int IPV4_ADDRESS_LENGTH = 4;
const int MAC_ADDRESS_LENGTH = 6;
const int BYTE_PREFIX_MAX = 255;
const int PASSWORD_CAPACITY = 512;
// Bit i of the 16-bit WEP key mask stands for the key numbered i.
const long WEP_KEY_NUMBER_LIMIT = 16;
const int WEP_HEADER_SIZE = 4;
const VL_BYTE TERMINATOR_BYTE = 0xFF;

struct FieldTypeName
{
    const char* szName;
    int nType;
    int nDefaultSize;  // -1: the "size" attribute is required
};

const FieldTypeName s_TypeNames[] = {
    {"Byte", VLPC_FIELD_BYTE, 1},
    {"ByteArray", VLPC_FIELD_BYTE_ARRAY, -1},
    {"NullByteArray", VLPC_FIELD_NULL_BYTE_ARRAY, 1},
    {"VarByteArray", VLPC_FIELD_VAR_BYTE_ARRAY, 2},
    {"VarByteArrayBytePrefix", VLPC_FIELD_VAR_BYTE_ARRAY_BYTE_PREFIX, 1},
    {"String", VLPC_FIELD_STRING, -1},
    {"NullString", VLPC_FIELD_NULL_STRING, 1},
    {"VarString", VLPC_FIELD_VAR_STRING, 2},
    {"VarStringBytePrefix", VLPC_FIELD_VAR_STRING_BYTE_PREFIX, 1},
    {"LengthString", VLPC_FIELD_LENGTH_STRING, 2},
    {"IPV4Address", VLPC_FIELD_IPV4_ADDRESS, IPV4_ADDRESS_LENGTH},
    {"MACAddress", VLPC_FIELD_MAC_ADDRESS, MAC_ADDRESS_LENGTH},
    {"ULong", VLPC_FIELD_ULONG, 4},
    {"UShort", VLPC_FIELD_USHORT, 2},
    {"LEUShort", VLPC_FIELD_LE_USHORT, 2},
    {"Password", VLPC_FIELD_PASSWORD, 0},
    {"CipherKey", VLPC_FIELD_CIPHER_KEY, 0},
    {"WEPKeyInfo", VLPC_FIELD_WEP_KEY_INFO, 0},
};

[[noreturn]] void ThrowInvalid(int nLine)
{
    throw new EVLInvalidParamException(VLMDVLPC_MODULE, s_szFile, nLine);
}

// The nLength reply bytes at lOffset; each must lie inside the reply.
inline const VL_BYTE* ReadBytes(const CVLByteArray* pPacket, long lOffset, long nLength, int nLine)
{
    if (lOffset < 0 || nLength < 0 || lOffset + nLength > pPacket->GetSize())
        ThrowInvalid(nLine);
    return pPacket->GetData() + lOffset;
}

// Room for nLength bytes at lOffset of the send packet, which never grows
// past its capacity.
inline VL_BYTE* WriteArea(CVLByteArray* pPacket, long lOffset, long nLength, int nLine)
{
    if (lOffset < 0 || nLength < 0 || lOffset + nLength > pPacket->GetCapacity() || pPacket->GetData() == nullptr)
        ThrowInvalid(nLine);
    return pPacket->GetData() + lOffset;
}

// A value of nWidth bytes in a field area of nSize bytes: at most the
// value's width is written and the rest of the area is zero.
inline void PutFixed(VL_BYTE* p, long nSize, const VL_BYTE* pValue, long nWidth)
{
    long n = nWidth < nSize ? nWidth : nSize;
    if (n > 0)
        std::memcpy(p, pValue, static_cast<size_t>(n));
    if (nSize > n)
        std::memset(p + n, 0, static_cast<size_t>(nSize - n));
}

inline void PutPrefixed(VL_BYTE* p, int nPrefix, const void* pData, long nLength)
{
    if (nPrefix == 2)
        CVLByteOrder::SetUInt16(static_cast<uint16_t>(nLength), BYTE_ORDER_BIG, p);
    else
        p[0] = static_cast<VL_BYTE>(nLength);
    if (nLength > 0)
        std::memcpy(p + nPrefix, pData, static_cast<size_t>(nLength));
}

inline bool IsBytePrefixed(int nType)
{
    return nType == VLPC_FIELD_VAR_BYTE_ARRAY_BYTE_PREFIX || nType == VLPC_FIELD_VAR_STRING_BYTE_PREFIX;
}

// The target's "CipherType" key property; 0 (the password as it is)
// without an instance, a target, a table entry or the property.
unsigned short GetCipherType(CVLPC* pVLPC, CVLTarget* pTarget)
{
    if (pVLPC == nullptr)
        return 0;
    CVLProperty* pProperty = pVLPC->GetKeyProperty(pTarget, "CipherType", false);
    return pProperty != nullptr ? pProperty->ToUShort(0) : 0;
}

}  // namespace

CVLPCField::CVLPCField()
    : m_nOffset(-1), m_nSize(0), m_nType(VLPC_FIELD_OTHER), m_nTerminate(VLPC_TERMINATE_NONE), m_pSubFieldList(nullptr)
{
}

CVLPCField::~CVLPCField()
{
    delete m_pSubFieldList;
}

bool CVLPCField::HasSubFields() const
{
    return m_pSubFieldList != nullptr && !m_pSubFieldList->IsEmpty();
}

void CVLPCField::ParseType(const CVLXmlElement* pElement)
{
    CVLString strType = pElement->GetAttribute("type");
    m_nType = VLPC_FIELD_OTHER;
    for (const FieldTypeName& t : s_TypeNames) {
        if (strType.CompareNoCase(t.szName) == 0) {
            m_nType = t.nType;
            if (t.nDefaultSize >= 0)
                m_nSize = t.nDefaultSize;
            return;
        }
    }
    m_nSize = 0;
}

void CVLPCField::Load(CVLModuleController* pController, const CVLXmlElement* pElement)
{
    m_strName = pElement->GetAttribute("name");
    if (m_strName.GetLength() == 0)
        throw new EVLDefineFormatException(VLMDVLPC_MODULE, s_szFile, __LINE__, pElement,
                                           "name");
    m_strPropertyPath = pElement->GetAttribute("propertyPath");
    m_nSize = -1;
    ParseType(pElement);
    m_nSize = pElement->GetAttributeLong("size", m_nSize);
    // An address field narrower than its address would read or write past
    // its own area.
    if (m_nSize < 0 || (m_nType == VLPC_FIELD_IPV4_ADDRESS && m_nSize < IPV4_ADDRESS_LENGTH) ||
        (m_nType == VLPC_FIELD_MAC_ADDRESS && m_nSize < MAC_ADDRESS_LENGTH))
        throw new EVLDefineFormatException(VLMDVLPC_MODULE, s_szFile, __LINE__, pElement,
                                           "size");
    m_nOffset = pElement->GetAttributeLong("offset", -1);
    // Neither a field nor its offset can reach beyond a packet: larger
    // numbers would only overflow the offset arithmetic of the codec.
    if (m_nSize > VLPC_PACKET_CAPACITY)
        throw new EVLDefineFormatException(VLMDVLPC_MODULE, s_szFile, __LINE__, pElement,
                                           "size");
    if (m_nOffset > VLPC_PACKET_CAPACITY - VLPC_HEADER_SIZE)
        throw new EVLDefineFormatException(VLMDVLPC_MODULE, s_szFile, __LINE__, pElement,
                                           "offset");
    m_strDefaultValue = pElement->GetAttribute("defaultValue");
    CVLString strTerminate = pElement->GetAttribute("terminate");
    if (strTerminate.CompareNoCase("FF") == 0)
        m_nTerminate = VLPC_TERMINATE_FF;
    else if (strTerminate.CompareNoCase("FFFF") == 0)
        m_nTerminate = VLPC_TERMINATE_FFFF;
    else
        m_nTerminate = VLPC_TERMINATE_NONE;
    const CVLXmlNodeList* pChildren = pElement->GetChildNodes();
    if (pChildren != nullptr && pChildren->GetLength() > 0) {
        m_pSubFieldList = new (std::nothrow) CVLPCFieldList();
        if (m_pSubFieldList == nullptr)
            throw new EVLMemoryAllocException(VLMDVLPC_MODULE, s_szFile, __LINE__);
        m_pSubFieldList->Load(pController, pElement);
    }
}

CVLString CVLPCField::GetBoundPropertyPath(const CVLPCFunction* pFunction) const
{
    if (pFunction != nullptr) {
        CVLString strPath = pFunction->GetFieldPropertyPath(m_strName.GetBuffer());
        if (strPath.GetLength() > 0)
            return strPath;
    }
    return m_strPropertyPath;
}

CVLProperty* CVLPCField::FindProperty(CVLPCFunction* pFunction, CVLTarget* pTarget, CVLProperty* pParent,
                                      bool bCreate) const
{
    const CVLString strPath = GetBoundPropertyPath(pFunction);
    if (strPath.GetLength() == 0)
        return nullptr;
    CVLProperty* pBase = pParent != nullptr ? pParent : pTarget->GetProperties();
    return pBase != nullptr ? pBase->GetProperty(strPath.GetBuffer(), bCreate) : nullptr;
}

// ---------------------------------------------------------------------------
// Building

bool CVLPCField::MakePacket(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pSendPacket, CVLTarget* pTarget,
                            CVLProperty* pParent, long& lOffset) const
{
    static const char* const kSignature =
        "bool CVLPCField::MakePacket(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pSendPacket, "
        "CVLTarget* pTarget, CVLProperty* pParent, long& lOffset)";
    bool bModified = false;
    try {
        if (m_nOffset > 0)
            lOffset = m_nOffset + VLPC_HEADER_SIZE;
        if (CVLTrace::IsEnabled())
            CVLTrace::OutputFunction(VLMDVLPC_MODULE, s_szFile, __LINE__, kSignature, "Fileld name=%s, Offset=%ld",
                                     m_strName.GetBuffer(), lOffset);
        CVLProperty* pProperty = pTarget != nullptr ? FindProperty(pFunction, pTarget, pParent, false) : nullptr;
        bModified = pProperty != nullptr && pProperty->IsModified();
        long n = WriteValue(pVLPC, pSendPacket, pTarget, pProperty, lOffset);
        lOffset += n;
        if (pSendPacket->GetSize() < lOffset)
            pSendPacket->SetSize(static_cast<int>(lOffset));
        if (HasSubFields()) {
            if (pProperty != nullptr) {
                VL_ULONG nCount = pProperty->ToULong(0);
                VL_ULONG nBuilt = 0;
                for (CVLPropertyIterator it = pProperty->Begin(); !it.IsEnd() && nBuilt < nCount; it.Next(), ++nBuilt) {
                    if (m_pSubFieldList->MakePacket(pVLPC, pFunction, pSendPacket, pTarget, it.Get(), lOffset))
                        bModified = true;
                }
            }
            if (m_nTerminate != VLPC_TERMINATE_NONE) {
                long nTerm = m_nTerminate == VLPC_TERMINATE_FF ? 1 : 2;
                std::memset(WriteArea(pSendPacket, lOffset, nTerm, __LINE__), TERMINATOR_BYTE,
                            static_cast<size_t>(nTerm));
                lOffset += nTerm;
                if (pSendPacket->GetSize() < lOffset)
                    pSendPacket->SetSize(static_cast<int>(lOffset));
            }
        }
        if (CVLTrace::IsEnabled())
            CVLTrace::OutputFunction(VLMDVLPC_MODULE, s_szFile, __LINE__, kSignature, "%s : Return Value = [%d]",
                                     kSignature, bModified ? 1 : 0);
    } catch (...) {
        VLRethrowAsFramework(VLMDVLPC_MODULE, s_szFile, __LINE__);
    }
    return bModified;
}

long CVLPCField::WriteValue(CVLPC* pVLPC, CVLPCPacket* pPacket, CVLTarget* pTarget, const CVLProperty* pProperty,
                            long lOffset) const
{
    const long nSize = m_nSize;
    switch (m_nType) {
    case VLPC_FIELD_BYTE: {
        VL_BYTE b = pProperty != nullptr ? pProperty->ToUChar(0) : 0;
        PutFixed(WriteArea(pPacket, lOffset, nSize, __LINE__), nSize, &b, 1);
        return nSize;
    }
    case VLPC_FIELD_BYTE_ARRAY: {
        VL_BYTE* p = WriteArea(pPacket, lOffset, nSize, __LINE__);
        if (pProperty == nullptr)
            return nSize;
        CVLByteArray bytes = pProperty->ToByteArray(nullptr, 0);
        PutFixed(p, nSize, bytes.GetData(), bytes.GetSize());
        return nSize;
    }
    case VLPC_FIELD_NULL_BYTE_ARRAY:
    case VLPC_FIELD_VAR_BYTE_ARRAY:
    case VLPC_FIELD_VAR_BYTE_ARRAY_BYTE_PREFIX:
    case VLPC_FIELD_CIPHER_KEY: {
        CVLByteArray bytes;
        if (pProperty != nullptr)
            bytes = pProperty->ToByteArray(nullptr, 0);
        const long nLength = bytes.GetSize();
        if (m_nType == VLPC_FIELD_NULL_BYTE_ARRAY) {
            VL_BYTE* p = WriteArea(pPacket, lOffset, nLength + 1, __LINE__);
            if (nLength > 0)
                std::memcpy(p, bytes.GetData(), static_cast<size_t>(nLength));
            p[nLength] = 0;
            return nLength + 1;
        }
        const int nPrefix = m_nType == VLPC_FIELD_VAR_BYTE_ARRAY_BYTE_PREFIX ? 1 : 2;
        if (nPrefix == 1 && nLength > BYTE_PREFIX_MAX)
            ThrowInvalid(__LINE__);
        PutPrefixed(WriteArea(pPacket, lOffset, nLength + nPrefix, __LINE__), nPrefix, bytes.GetData(), nLength);
        return nLength + nPrefix;
    }
    case VLPC_FIELD_STRING:
    case VLPC_FIELD_NULL_STRING:
    case VLPC_FIELD_VAR_STRING:
    case VLPC_FIELD_VAR_STRING_BYTE_PREFIX:
    case VLPC_FIELD_LENGTH_STRING: {
        CVLString strText;
        if (pProperty != nullptr)
            strText = pProperty->ToString(nullptr);
        const long nLength = strText.GetLength();
        const VL_BYTE* pText = reinterpret_cast<const VL_BYTE*>(strText.GetBuffer());
        switch (m_nType) {
        case VLPC_FIELD_STRING:
            PutFixed(WriteArea(pPacket, lOffset, nSize, __LINE__), nSize, pText, nLength);
            return nSize;
        case VLPC_FIELD_NULL_STRING: {
            VL_BYTE* p = WriteArea(pPacket, lOffset, nLength + 1, __LINE__);
            if (nLength > 0)
                std::memcpy(p, pText, static_cast<size_t>(nLength));
            p[nLength] = 0;
            return nLength + 1;
        }
        case VLPC_FIELD_VAR_STRING_BYTE_PREFIX:
            if (nLength > BYTE_PREFIX_MAX)
                ThrowInvalid(__LINE__);
            PutPrefixed(WriteArea(pPacket, lOffset, nLength + 1, __LINE__), 1, pText, nLength);
            return nLength + 1;
        case VLPC_FIELD_LENGTH_STRING: {
            // The length counts its own two bytes.
            VL_BYTE* p = WriteArea(pPacket, lOffset, nLength + 2, __LINE__);
            PutPrefixed(p, 2, pText, nLength);
            CVLByteOrder::SetUInt16(static_cast<uint16_t>(nLength + 2), BYTE_ORDER_BIG, p);
            return nLength + 2;
        }
        default:
            PutPrefixed(WriteArea(pPacket, lOffset, nLength + 2, __LINE__), 2, pText, nLength);
            return nLength + 2;
        }
    }
    case VLPC_FIELD_IPV4_ADDRESS: {
        VL_BYTE* p = WriteArea(pPacket, lOffset, nSize, __LINE__);
        VL_BYTE address[IPV4_ADDRESS_LENGTH] = {0, 0, 0, 0};
        if (pProperty != nullptr) {
            CVLSocketAddress value = pProperty->ToSocketAddress("0.0.0.0");
            const unsigned char* pBytes = value.GetAddressBytes();
            if (pBytes != nullptr && value.GetAddressLength() >= IPV4_ADDRESS_LENGTH)
                std::memcpy(address, pBytes, IPV4_ADDRESS_LENGTH);
        }
        PutFixed(p, nSize, address, IPV4_ADDRESS_LENGTH);
        return nSize;
    }
    case VLPC_FIELD_MAC_ADDRESS: {
        VL_BYTE* p = WriteArea(pPacket, lOffset, nSize, __LINE__);
        CVLMACAddress mac;
        if (pProperty != nullptr)
            mac.Parse(pProperty->ToString(nullptr).GetBuffer());
        PutFixed(p, nSize, mac.GetBytes(), MAC_ADDRESS_LENGTH);
        return nSize;
    }
    case VLPC_FIELD_ULONG: {
        VL_BYTE value[4];
        CVLByteOrder::SetUInt32(pProperty != nullptr ? pProperty->ToULong(0) : 0, BYTE_ORDER_BIG, value);
        PutFixed(WriteArea(pPacket, lOffset, nSize, __LINE__), nSize, value, 4);
        return nSize;
    }
    case VLPC_FIELD_USHORT:
    case VLPC_FIELD_LE_USHORT: {
        VL_BYTE value[2];
        CVLByteOrder::SetUInt16(pProperty != nullptr ? pProperty->ToUShort(0) : 0,
                                m_nType == VLPC_FIELD_USHORT ? BYTE_ORDER_BIG : BYTE_ORDER_LITTLE, value);
        PutFixed(WriteArea(pPacket, lOffset, nSize, __LINE__), nSize, value, 2);
        return nSize;
    }
    case VLPC_FIELD_PASSWORD: {
        // The password is the target's, not the field property's.
        CVLString strPassword;
        if (pTarget != nullptr)
            strPassword = pTarget->GetCurrentPassword();
        CVLByteArray encoded;
        EncodePassword(pVLPC, pTarget, strPassword.GetBuffer(), encoded);
        const long nLength = encoded.GetSize();
        PutPrefixed(WriteArea(pPacket, lOffset, nLength + 2, __LINE__), 2, encoded.GetData(), nLength);
        return nLength + 2;
    }
    case VLPC_FIELD_WEP_KEY_INFO:
        return WriteWEPKeyInfo(pPacket, pProperty, lOffset);
    default: {
        VL_BYTE* p = WriteArea(pPacket, lOffset, nSize, __LINE__);
        if (nSize > 0)
            std::memset(p, 0, static_cast<size_t>(nSize));
        return nSize;
    }
    }
}

long CVLPCField::WriteWEPKeyInfo(CVLPCPacket* pPacket, const CVLProperty* pProperty, long lOffset) const
{
    VL_BYTE* pStart = WriteArea(pPacket, lOffset, WEP_HEADER_SIZE, __LINE__);
    unsigned int nMask = 0;
    long nKeys = 0;
    long nKeySize = 0;
    // One key: its bytes go to the next slot of K bytes.
    auto addKey = [&](const CVLProperty* pKey, long nNumber) {
        CVLByteArray bytes = pKey->ToByteArray(nullptr, 0);
        const long nLength = bytes.GetSize();
        if (nLength == 0)
            return;
        if (nKeySize == 0) {
            // Count and key size are single bytes on the wire: refuse what
            // they cannot say instead of wrapping.
            if (nLength > BYTE_PREFIX_MAX)
                ThrowInvalid(__LINE__);
            nKeySize = nLength;
        }
        if (nKeys >= BYTE_PREFIX_MAX)
            ThrowInvalid(__LINE__);
        VL_BYTE* p = WriteArea(pPacket, lOffset + WEP_HEADER_SIZE + nKeys * nKeySize, nKeySize, __LINE__);
        PutFixed(p, nKeySize, bytes.GetData(), nLength);
        if (nNumber >= 0 && nNumber < WEP_KEY_NUMBER_LIMIT)
            nMask |= 1u << nNumber;
        ++nKeys;
    };
    if (pProperty != nullptr) {
        for (CVLPropertyConstIterator it = pProperty->ConstBegin(); !it.IsEnd(); it.Next()) {
            const CVLProperty* pChild = it.Get();
            if (pChild->GetChildCount() == 0) {
                int nType = pChild->GetType();
                if (nType == 14 || nType == 15)
                    addKey(pChild, nKeys);
                continue;
            }
            // A group: every child is a key, numbered by its name.
            for (CVLPropertyConstIterator g = pChild->ConstBegin(); !g.IsEnd(); g.Next())
                addKey(g.Get(), g.Get()->GetName().ToLong(0));
        }
    }
    CVLByteOrder::SetUInt16(static_cast<uint16_t>(nMask), BYTE_ORDER_BIG, pStart);
    pStart[2] = static_cast<VL_BYTE>(nKeys);
    pStart[3] = static_cast<VL_BYTE>(nKeySize);
    return WEP_HEADER_SIZE + nKeys * nKeySize;
}

void CVLPCField::EncodePassword(CVLPC* pVLPC, CVLTarget* pTarget, const char* szPassword, CVLByteArray& output)
{
    EncodePasswordAs(GetCipherType(pVLPC, pTarget), szPassword, output);
}

void CVLPCField::EncodePasswordAs(unsigned short nCipherType, const char* szPassword, CVLByteArray& output)
{
    output.Allocate(PASSWORD_CAPACITY);
    output.Clear();
    const char* szText = szPassword != nullptr ? szPassword : "";
    const int nLength = static_cast<int>(std::strlen(szText));
    if (nCipherType == VLPC_CIPHER_MD5) {
        CVLMD5 md5;
        md5.Digest(szText, static_cast<unsigned int>(nLength));
        CVLString strHex;
        strHex.SetHex(md5.GetResult(), md5.GetResultLength(), false);
        output.Append(strHex.GetBuffer(), strHex.GetLength());
    } else if (nCipherType == VLPC_CIPHER_NONE) {
        // No password goes out.
    } else if (nCipherType == VLPC_CIPHER_BASE64) {
        CVLStringStream input;
        CVLStringStream encoded;
        input.SetString(szText);
        VLBase64Encode(&input, &encoded);
        const CVLString& strText = encoded.GetString();
        output.Append(strText.GetBuffer(), strText.GetLength());
    } else if (nLength > 0) {
        output.Append(szText, nLength);
    }
}

// ---------------------------------------------------------------------------
// Expanding

void CVLPCField::ExpandPacket(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pRecvPacket, CVLTarget* pTarget,
                              CVLProperty* pParent, long& lOffset) const
{
    try {
        Expand(pVLPC, pFunction, pRecvPacket, pTarget, pParent, lOffset, true);
    } catch (...) {
        VLRethrowAsFramework(VLMDVLPC_MODULE, s_szFile, __LINE__);
    }
}

void CVLPCField::Expand(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pPacket, CVLTarget* pTarget,
                        CVLProperty* pParent, long& lOffset, bool bStore) const
{
    static const char* const kSignature =
        "void CVLPCField::ExpandPacket(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pRecvPacket, "
        "CVLTarget* pTarget, CVLProperty* pParent, long& lOffset)";
    if (m_nOffset > 0)
        lOffset = m_nOffset + VLPC_HEADER_SIZE;
    if (CVLTrace::IsEnabled())
        CVLTrace::OutputFunction(VLMDVLPC_MODULE, s_szFile, __LINE__, kSignature, "Fileld name=%s, Offset=%ld",
                                 m_strName.GetBuffer(), lOffset);
    // A field the call does not take is read over by its real length, so
    // the fields after it are read from the right place.
    if (pTarget == nullptr || (pFunction != nullptr && !pFunction->HasFieldName(m_strName.GetBuffer())))
        bStore = false;
    CVLProperty* pProperty = bStore ? FindProperty(pFunction, pTarget, pParent, true) : nullptr;
    if (lOffset < pPacket->GetSize()) {
        long lSize = m_nSize;
        long lCount = ReadValue(pPacket, pProperty, lOffset, lSize);
        lOffset += lSize;
        if (HasSubFields()) {
            if (pProperty != nullptr && pProperty->GetChildCount() > 0)
                pProperty->RemoveAll();
            ExpandEntries(pVLPC, pFunction, pPacket, pTarget, pProperty, lOffset, lCount, bStore);
        }
    } else if (pProperty != nullptr && m_strDefaultValue.GetLength() > 0) {
        SetDefaultValue(pProperty);
    }
}

void CVLPCField::ExpandEntries(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pPacket, CVLTarget* pTarget,
                               CVLProperty* pProperty, long& lOffset, long lCount, bool bStore) const
{
    // Every entry starts inside the reply and consumes at least one byte, so
    // a list never has more entries than the reply has bytes, whatever its
    // count says.
    auto expandEntry = [&]() {
        const long lStart = lOffset;
        CVLProperty* pEntry = bStore && pProperty != nullptr ? pProperty->CreateChild(nullptr) : nullptr;
        m_pSubFieldList->ExpandFields(pVLPC, pFunction, pPacket, pTarget, pEntry, lOffset, bStore);
        if (lOffset <= lStart)
            ThrowInvalid(__LINE__);
    };
    if (m_nTerminate == VLPC_TERMINATE_NONE) {
        for (long i = 0; i < lCount && lOffset < pPacket->GetSize(); ++i)
            expandEntry();
        return;
    }
    const long nTerm = m_nTerminate == VLPC_TERMINATE_FF ? 1 : 2;
    // A list whose terminator is missing ends with the reply.
    while (lOffset < pPacket->GetSize()) {
        const VL_BYTE* p = ReadBytes(pPacket, lOffset, nTerm, __LINE__);
        if (p[0] == TERMINATOR_BYTE && (nTerm == 1 || p[1] == TERMINATOR_BYTE)) {
            lOffset += nTerm;
            return;
        }
        expandEntry();
    }
}

long CVLPCField::ReadValue(CVLPCPacket* pRecvPacket, CVLProperty* pProperty, long& lOffset, long& lSize) const
{
    const CVLByteArray* pPacket = pRecvPacket;
    switch (m_nType) {
    case VLPC_FIELD_BYTE: {
        VL_BYTE b = *ReadBytes(pPacket, lOffset, 1, __LINE__);
        if (pProperty != nullptr)
            pProperty->SetUChar(b);
        return b;
    }
    case VLPC_FIELD_BYTE_ARRAY:
        if (pProperty != nullptr)
            pProperty->SetBinary(ReadBytes(pPacket, lOffset, m_nSize, __LINE__), m_nSize);
        return 0;
    case VLPC_FIELD_NULL_BYTE_ARRAY:
    case VLPC_FIELD_NULL_STRING: {
        const VL_BYTE* p = ReadBytes(pPacket, lOffset, 0, __LINE__);
        const long nLeft = pPacket->GetSize() - lOffset;
        const void* pEnd = std::memchr(p, 0, static_cast<size_t>(nLeft));
        const long k = pEnd != nullptr ? static_cast<const VL_BYTE*>(pEnd) - p : nLeft;
        if (pProperty != nullptr) {
            if (m_nType == VLPC_FIELD_NULL_STRING)
                pProperty->SetString(CVLString(p, static_cast<int>(k), VL_CHARSET_UTF8));
            else
                pProperty->SetBinary(p, static_cast<int>(k));
        }
        lSize = k + 1;
        return 0;
    }
    case VLPC_FIELD_VAR_BYTE_ARRAY:
    case VLPC_FIELD_CIPHER_KEY:
    case VLPC_FIELD_VAR_BYTE_ARRAY_BYTE_PREFIX:
    case VLPC_FIELD_VAR_STRING:
    case VLPC_FIELD_VAR_STRING_BYTE_PREFIX:
    case VLPC_FIELD_LENGTH_STRING: {
        const long nPrefix = IsBytePrefixed(m_nType) ? 1 : 2;
        const VL_BYTE* p = ReadBytes(pPacket, lOffset, nPrefix, __LINE__);
        long nLength = nPrefix == 1 ? p[0] : CVLByteOrder::GetUInt16(BYTE_ORDER_BIG, p);
        // The length of a LengthString counts its own two bytes; a value
        // below 2 leaves no text.
        if (m_nType == VLPC_FIELD_LENGTH_STRING)
            nLength = nLength > 2 ? nLength - 2 : 0;
        if (pProperty != nullptr) {
            const VL_BYTE* pValue = ReadBytes(pPacket, lOffset + nPrefix, nLength, __LINE__);
            if (m_nType == VLPC_FIELD_VAR_STRING || m_nType == VLPC_FIELD_VAR_STRING_BYTE_PREFIX ||
                m_nType == VLPC_FIELD_LENGTH_STRING)
                pProperty->SetString(CVLString(pValue, static_cast<int>(nLength), VL_CHARSET_UTF8));
            else
                pProperty->SetBinary(pValue, static_cast<int>(nLength));
        }
        lSize = nLength + nPrefix;
        return 0;
    }
    case VLPC_FIELD_STRING:
        if (pProperty != nullptr) {
            const VL_BYTE* p = ReadBytes(pPacket, lOffset, m_nSize, __LINE__);
            const void* pEnd = std::memchr(p, 0, static_cast<size_t>(m_nSize));
            const long k = pEnd != nullptr ? static_cast<const VL_BYTE*>(pEnd) - p : m_nSize;
            pProperty->SetString(CVLString(p, static_cast<int>(k), VL_CHARSET_UTF8));
        }
        return 0;
    case VLPC_FIELD_IPV4_ADDRESS:
        if (pProperty != nullptr) {
            const long n = m_nSize > IPV4_ADDRESS_LENGTH ? m_nSize : IPV4_ADDRESS_LENGTH;
            CVLSocketAddress address;
            address.SetAddressBytes(ReadBytes(pPacket, lOffset, n, __LINE__));
            pProperty->SetSocketAddress(address);
        }
        return 0;
    case VLPC_FIELD_MAC_ADDRESS:
        if (pProperty != nullptr) {
            const long n = m_nSize > MAC_ADDRESS_LENGTH ? m_nSize : MAC_ADDRESS_LENGTH;
            CVLMACAddress mac(ReadBytes(pPacket, lOffset, n, __LINE__));
            pProperty->SetString(mac.ToString(nullptr, true));
        }
        return 0;
    case VLPC_FIELD_ULONG: {
        VL_ULONG v = CVLByteOrder::GetUInt32(BYTE_ORDER_BIG, ReadBytes(pPacket, lOffset, 4, __LINE__));
        if (pProperty != nullptr)
            pProperty->SetULong(v);
        return static_cast<long>(v);
    }
    case VLPC_FIELD_USHORT:
    case VLPC_FIELD_LE_USHORT: {
        uint16_t v = CVLByteOrder::GetUInt16(m_nType == VLPC_FIELD_USHORT ? BYTE_ORDER_BIG : BYTE_ORDER_LITTLE,
                                             ReadBytes(pPacket, lOffset, 2, __LINE__));
        if (pProperty != nullptr)
            pProperty->SetUShort(v);
        return v;
    }
    default:
        return 0;
    }
}

void CVLPCField::SetDefaultValue(CVLProperty* pProperty) const
{
    CVLVariant value;
    value.SetString(m_strDefaultValue);
    switch (m_nType) {
    case VLPC_FIELD_BYTE:
        pProperty->SetUChar(value.ToUChar(0));
        break;
    case VLPC_FIELD_ULONG:
        pProperty->SetULong(value.ToULong(0));
        break;
    case VLPC_FIELD_USHORT:
    case VLPC_FIELD_LE_USHORT:
        pProperty->SetUShort(value.ToUShort(0));
        break;
    case VLPC_FIELD_BYTE_ARRAY:
    case VLPC_FIELD_NULL_BYTE_ARRAY:
    case VLPC_FIELD_VAR_BYTE_ARRAY:
    case VLPC_FIELD_VAR_BYTE_ARRAY_BYTE_PREFIX:
    case VLPC_FIELD_CIPHER_KEY: {
        CVLByteArray bytes;
        bytes.Allocate(m_strDefaultValue.GetLength() / 2 + 1);
        int n = m_strDefaultValue.HexToBytes(bytes.GetData(), bytes.GetCapacity());
        pProperty->SetBinary(bytes.GetData(), n);
        break;
    }
    case VLPC_FIELD_STRING:
    case VLPC_FIELD_NULL_STRING:
    case VLPC_FIELD_VAR_STRING:
    case VLPC_FIELD_VAR_STRING_BYTE_PREFIX:
    case VLPC_FIELD_LENGTH_STRING:
        pProperty->SetString(m_strDefaultValue);
        break;
    case VLPC_FIELD_IPV4_ADDRESS:
        pProperty->SetSocketAddress(value.ToSocketAddress(nullptr));
        break;
    default:
        break;
    }
}
