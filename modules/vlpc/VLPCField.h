// One field of a VLPC payload layout (a "Field" element): where it lies, its
// type and size, the property it is built from and expanded into, and an
// optional nested field list that repeats, counted by the field's own value
// or ended by a 0xFF terminator.
//
// Offsets are packet positions: the payload starts at 14. A field with an
// "offset" above 0 starts at payload byte "offset"; any other field starts
// at the running offset, which stands behind it afterwards.
//
// Expansion reads replies from the network, so every byte it reads is
// bounded by the reply: a value that runs past the end throws
// EVLInvalidParamException (what was expanded before it stays), a list stops
// at the end of the reply, and an entry that consumes no bytes fails.
#ifndef VLPCFIELD_H
#define VLPCFIELD_H

#include "base/core/VLString.h"
#include "base/core/VLTypes.h"

class CVLByteArray;
class CVLModuleController;
class CVLPC;
class CVLPCFieldList;
class CVLPCFunction;
class CVLPCPacket;
class CVLProperty;
class CVLTarget;
class CVLXmlElement;

// Field type codes, in the order of their "type" names.
enum VLPC_FIELD_TYPE
{
    VLPC_FIELD_BYTE = 0,
    VLPC_FIELD_BYTE_ARRAY = 1,
    VLPC_FIELD_NULL_BYTE_ARRAY = 2,
    VLPC_FIELD_VAR_BYTE_ARRAY = 3,
    VLPC_FIELD_VAR_BYTE_ARRAY_BYTE_PREFIX = 4,
    VLPC_FIELD_STRING = 5,
    VLPC_FIELD_NULL_STRING = 6,
    VLPC_FIELD_VAR_STRING = 7,
    VLPC_FIELD_VAR_STRING_BYTE_PREFIX = 8,
    VLPC_FIELD_LENGTH_STRING = 9,
    VLPC_FIELD_IPV4_ADDRESS = 10,
    VLPC_FIELD_MAC_ADDRESS = 11,
    VLPC_FIELD_ULONG = 12,
    VLPC_FIELD_USHORT = 13,
    VLPC_FIELD_LE_USHORT = 14,
    VLPC_FIELD_PASSWORD = 15,
    VLPC_FIELD_CIPHER_KEY = 16,
    VLPC_FIELD_WEP_KEY_INFO = 17,
    VLPC_FIELD_OTHER = 18
};

// How a repeated sub-field list ends.
enum VLPC_FIELD_TERMINATE
{
    VLPC_TERMINATE_FF = 0,
    VLPC_TERMINATE_FFFF = 1,
    VLPC_TERMINATE_NONE = 2
};

// Password encodings, by the target's "CipherType" key property.
const unsigned short VLPC_CIPHER_BASE64 = 1;
const unsigned short VLPC_CIPHER_MD5 = 2;
const unsigned short VLPC_CIPHER_NONE = 0xFFFF;

class CVLPCField
{
public:
    CVLPCField();
    virtual ~CVLPCField();

    // Reads one Field element. An empty name, a negative size, or an
    // IPV4Address or MACAddress narrower than its address throws
    // EVLDefineFormatException.
    void Load(CVLModuleController* pController, const CVLXmlElement* pElement);
    // Sets the type code and its default size from the "type" attribute.
    void ParseType(const CVLXmlElement* pElement);

    // Writes the field at lOffset and advances it; true when the field's
    // property, or an entry of its sub-field list, is modified.
    bool MakePacket(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pSendPacket, CVLTarget* pTarget,
                    CVLProperty* pParent, long& lOffset) const;
    // Reads the field at lOffset into its property and advances lOffset.
    void ExpandPacket(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pRecvPacket, CVLTarget* pTarget,
                      CVLProperty* pParent, long& lOffset) const;
    // Reads the value at lOffset (which stays) into pProperty when given;
    // lSize enters as the field's size and leaves as the bytes consumed.
    // Returns the repeat count of a counted sub-field list, 0 otherwise.
    long ReadValue(CVLPCPacket* pRecvPacket, CVLProperty* pProperty, long& lOffset, long& lSize) const;

    // Fills output (capacity 512) with the password encoded for the target's
    // cipher type.
    static void EncodePassword(CVLPC* pVLPC, CVLTarget* pTarget, const char* szPassword, CVLByteArray& output);
    // The encoding itself: 0xFFFF nothing, 1 Base64 text with its CR LF
    // line ends, 2 the MD5 digest as 32 lower-case hex digits, any other the
    // bytes themselves.
    static void EncodePasswordAs(unsigned short nCipherType, const char* szPassword, CVLByteArray& output);

    const CVLString& GetName() const { return m_strName; }
    int GetType() const { return m_nType; }
    int GetOffset() const { return m_nOffset; }
    int GetSize() const { return m_nSize; }
    const CVLString& GetPropertyPath() const { return m_strPropertyPath; }
    // The path of the property the field is bound to in a request of the
    // function (null: none): the function's path for the field's name, else
    // the field's own path; empty for none.
    CVLString GetBoundPropertyPath(const CVLPCFunction* pFunction) const;
    bool HasSubFields() const;
    const CVLPCFieldList* GetSubFieldList() const { return m_pSubFieldList; }

private:
    friend class CVLPCFieldList;

    CVLPCField(const CVLPCField&) = delete;
    CVLPCField& operator=(const CVLPCField&) = delete;

    // The property at GetBoundPropertyPath, or null.
    CVLProperty* FindProperty(CVLPCFunction* pFunction, CVLTarget* pTarget, CVLProperty* pParent, bool bCreate) const;
    // Writes the value and returns the bytes the field occupies.
    long WriteValue(CVLPC* pVLPC, CVLPCPacket* pPacket, CVLTarget* pTarget, const CVLProperty* pProperty,
                    long lOffset) const;
    long WriteWEPKeyInfo(CVLPCPacket* pPacket, const CVLProperty* pProperty, long lOffset) const;
    // Expansion; with bStore false nothing is stored and the field is only
    // read over by its real length.
    void Expand(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pPacket, CVLTarget* pTarget, CVLProperty* pParent,
                long& lOffset, bool bStore) const;
    void ExpandEntries(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pPacket, CVLTarget* pTarget,
                       CVLProperty* pProperty, long& lOffset, long lCount, bool bStore) const;
    void SetDefaultValue(CVLProperty* pProperty) const;

    CVLString m_strName;
    int m_nOffset;
    int m_nSize;
    int m_nType;
    int m_nTerminate;
    CVLString m_strDefaultValue;
    CVLString m_strPropertyPath;
    CVLPCFieldList* m_pSubFieldList;
};

#endif
