// The tagged value of the system. A variant is empty (type 0) or holds a
// bool (1), a signed or unsigned 8-bit (2, 3), 16-bit (4, 5) or 32-bit
// integer (6, 7 int; 8, 9 long), a signed or unsigned 64-bit integer (10, 11),
// a float (12) or a double (13); an owned string (14), byte array (15),
// date-time (16), socket address (17) or XML document (18); or it stands for a
// value held elsewhere: another variant (19) or an object behind
// IVLVariantObjectIF (20), neither of which it owns.
//
// Every variant carries a modified flag that the setters raise only when the
// type or the value really changes.
//
// Typed getters (GetInt, ...) see only the stored type and throw
// EVLInvalidCallException for any other. Converting reads (ToInt, ...) follow
// references and object values, convert where they can and otherwise return
// the caller's default; they never throw for a value that does not convert.
#ifndef VLVARIANT_H
#define VLVARIANT_H

#include "base/core/VLByteArray.h"
#include "base/value/VLDateTime.h"
#include "base/net/VLSocketAddress.h"
#include "base/core/VLString.h"
#include "base/core/VLTypes.h"
#include "base/value/VLVariantObjectIF.h"

class CVLXmlDocument;

// The type numbers of a variant (GetType, SetType, SetAs).
enum VL_VARIANT_TYPE
{
    VL_VARIANT_TYPE_EMPTY = 0,
    VL_VARIANT_TYPE_BOOL = 1,
    VL_VARIANT_TYPE_CHAR = 2,
    VL_VARIANT_TYPE_UCHAR = 3,
    VL_VARIANT_TYPE_SHORT = 4,
    VL_VARIANT_TYPE_USHORT = 5,
    VL_VARIANT_TYPE_INT = 6,
    VL_VARIANT_TYPE_UINT = 7,
    VL_VARIANT_TYPE_LONG = 8,
    VL_VARIANT_TYPE_ULONG = 9,
    VL_VARIANT_TYPE_LONGLONG = 10,
    VL_VARIANT_TYPE_ULONGLONG = 11,
    VL_VARIANT_TYPE_FLOAT = 12,
    VL_VARIANT_TYPE_DOUBLE = 13,
    VL_VARIANT_TYPE_STRING = 14,
    VL_VARIANT_TYPE_BINARY = 15,
    VL_VARIANT_TYPE_DATETIME = 16,
    VL_VARIANT_TYPE_SOCKET_ADDRESS = 17,
    VL_VARIANT_TYPE_XML_DOCUMENT = 18,
    VL_VARIANT_TYPE_REFERENCE = 19,
    VL_VARIANT_TYPE_OBJECT = 20
};

class CVLVariant
{
public:
    CVLVariant();
    CVLVariant(const CVLVariant& src);
    virtual ~CVLVariant();

    // Copy(src, true): takes the source's value and its modified flag.
    virtual CVLVariant& operator=(const CVLVariant& src);
    // One-line trace text of the value, e.g. "[5]" or "[<Empty>](is modify)".
    virtual CVLString Dump() const;
    // The stored type number (19 and 20 reported as such).
    virtual int GetType() const;
    // The type a read would see, following references and object values.
    virtual int GetValueType() const;

    // Typed getters: exactly the stored type, else EVLInvalidCallException.
    virtual bool GetBool() const;
    virtual char GetChar() const;
    virtual unsigned char GetUChar() const;
    virtual short GetShort() const;
    virtual unsigned short GetUShort() const;
    virtual int GetInt() const;
    virtual unsigned int GetUInt() const;
    virtual VL_LONG GetLong() const;
    virtual VL_ULONG GetULong() const;
    virtual VL_LONGLONG GetLongLong() const;
    virtual VL_ULONGLONG GetULongLong() const;
    virtual float GetFloat() const;
    virtual double GetDouble() const;
    // The held objects (EVLNullObjectException when none is stored).
    virtual CVLString& GetString() const;
    // The byte array's data, null when it holds none.
    virtual const unsigned char* GetBinary() const;
    virtual CVLDateTime& GetDateTime() const;
    virtual CVLSocketAddress& GetSocketAddress() const;
    virtual CVLXmlDocument& GetXmlDocument() const;
    virtual CVLVariant* GetReference() const;
    virtual IVLVariantObjectIF* GetObject() const;

    // The size of the value in bytes.
    virtual int GetSize() const;
    // Changes the type: deletes the owned object, creates the new type's empty
    // object and raises the modified flag. Nothing when the type is the same.
    virtual void SetType(int nType);
    virtual void SetEmpty();

    virtual void SetBool(bool bValue);
    virtual void SetChar(char cValue);
    virtual void SetUChar(unsigned char cValue);
    virtual void SetShort(short nValue);
    virtual void SetUShort(unsigned short nValue);
    virtual void SetInt(int nValue);
    virtual void SetUInt(unsigned int nValue);
    virtual void SetLong(VL_LONG nValue);
    virtual void SetULong(VL_ULONG nValue);
    virtual void SetLongLong(VL_LONGLONG nValue);
    virtual void SetULongLong(VL_ULONGLONG nValue);
    virtual void SetFloat(float fValue);
    virtual void SetDouble(double dValue);

    virtual void SetBinary(const void* pData, int nLength);
    virtual void SetByteArray(const CVLByteArray& array);
    virtual void SetDateTime(const CVLDateTime& dateTime);
    virtual void SetXmlDocument(const CVLXmlDocument& document);
    // A null pointer empties the variant.
    virtual void SetReference(CVLVariant* pVariant);
    virtual void SetObject(IVLVariantObjectIF* pObject);
    // The text is taken in the held string's character set and then tagged
    // with eCharset (-2 keeps the current one); the bytes are not converted.
    virtual void SetString(const char* szText, int eCharset);
    virtual void SetString(const CVLString& str);
    virtual void SetSocketAddress(const CVLSocketAddress& address);
    // Act on a held date-time only; they raise the flag without comparing.
    virtual void SetTimeZone(int nMinutes);
    virtual void SetDateTimeFlag(bool bTimeOnly);

    // Copies src by its type through this variant's setters; with
    // bCopyModified the modified flag becomes src's.
    virtual void Copy(const CVLVariant& src, bool bCopyModified);
    // Assignment that writes through a reference or object value held by
    // this variant, and takes the value behind one held by src.
    virtual void SetValue(const CVLVariant& src);
    // Sets this variant to src converted to nType.
    virtual void SetAs(int nType, const CVLVariant& src);
    // Equality decided by this variant's type (other is converted to it).
    virtual bool IsEqual(const CVLVariant& other) const;
    virtual bool IsNumeric() const;

    virtual bool ToBool(bool bDefault) const;
    virtual char ToChar(char cDefault) const;
    virtual unsigned char ToUChar(unsigned char cDefault) const;
    virtual short ToShort(short nDefault) const;
    virtual unsigned short ToUShort(unsigned short nDefault) const;
    virtual int ToInt(int nDefault) const;
    virtual unsigned int ToUInt(unsigned int nDefault) const;
    virtual VL_LONG ToLong(VL_LONG nDefault) const;
    virtual VL_ULONG ToULong(VL_ULONG nDefault) const;
    virtual VL_LONGLONG ToLongLong(VL_LONGLONG nDefault) const;
    virtual VL_ULONGLONG ToULongLong(VL_ULONGLONG nDefault) const;
    virtual float ToFloat(float fDefault) const;
    virtual double ToDouble(double dDefault) const;
    // The value as text; szDefault (UTF-8, null for none) when it has none.
    virtual CVLString ToString(const char* szDefault) const;
    // The value's bytes; the default bytes when it has none.
    virtual CVLByteArray ToByteArray(const void* pDefault, int nDefaultLength) const;
    // A date-time decoded from bytes, copied, or parsed from the value's text.
    virtual CVLDateTime ToDateTime() const;
    // The value as an address; szDefaultHost's address when it has none.
    virtual CVLSocketAddress ToSocketAddress(const char* szDefaultHost) const;

    // Deletes an owned object and empties the variant; the flag stays.
    void Clear();
    // Clear, then not modified.
    void Reset();
    void SetModified(bool bModified) { m_bModified = bModified; }
    void ClearModified() { m_bModified = false; }
    bool IsModified() const { return m_bModified; }

    // Inline, non-virtual forms of GetType and of the 32-bit and bool setters
    // for hot loops that work on variants of their own (plain CVLVariant
    // objects, never a subclass): the same results and the same modified-flag
    // rules as the virtual members.
    int GetTypeInline() const { return m_nType; }
    // The stored 32-bit value of an int, unsigned int, long or unsigned long
    // (types 6 to 9); the caller checks the type.
    VL_LONG GetWordInline() const { return m_Value.i; }
    bool GetBoolInline() const { return m_Value.b; }
    void SetIntInline(int nValue) { StoreScalarInline(6, static_cast<int32_t>(nValue), m_Value.i); }
    void SetUIntInline(unsigned int nValue) { StoreScalarInline(7, static_cast<uint32_t>(nValue), m_Value.ui); }
    void SetLongInline(VL_LONG nValue) { StoreScalarInline(8, nValue, m_Value.i); }
    void SetULongInline(VL_ULONG nValue) { StoreScalarInline(9, nValue, m_Value.ui); }
    void SetBoolInline(bool bValue) { StoreScalarInline(1, bValue, m_Value.b); }
    // Reset, without a call when no object is owned.
    void ResetInline()
    {
        if (m_nType >= 14 && m_nType <= 18) {
            Reset();
        } else {
            m_Value.ull = 0;
            m_nType = 0;
            m_bModified = false;
        }
    }
    // SetReference of a variant (not null), in place when no object is owned.
    void SetReferenceInline(CVLVariant* pVariant)
    {
        if (m_nType != 19) {
            if (m_nType >= 14 && m_nType <= 18) {
                SetReference(pVariant);
                return;
            }
            m_Value.ull = 0;
            m_nType = 19;
            m_bModified = true;
        }
        if (m_Value.pReference != pVariant) {
            m_Value.pReference = pVariant;
            m_bModified = true;
        }
    }
    // The text of a string variant (type 14), or null for other types.
    CVLString* GetStringInline() const { return m_nType == 14 ? m_Value.pString : nullptr; }
    // Exchanges the texts of two string variants (both of type 14); the
    // modified flags stay.
    void SwapStringInline(CVLVariant& other) noexcept
    {
        CVLString* p = m_Value.pString;
        m_Value.pString = other.m_Value.pString;
        other.m_Value.pString = p;
    }
    // The variant a reference (type 19) refers to; null for other types.
    CVLVariant* GetReferenceInline() const { return m_nType == 19 ? m_Value.pReference : nullptr; }
    // SetInt, SetUInt, SetLong or SetULong by nType (6 to 9).
    void SetWordInline(int nType, VL_LONG nValue) { StoreScalarInline(nType, nValue, m_Value.i); }

    bool operator==(const CVLVariant& other) const { return IsEqual(other); }
    bool operator!=(const CVLVariant& other) const { return !IsEqual(other); }
    bool operator&&(const CVLVariant& other) const;
    bool operator||(const CVLVariant& other) const;

    // Arithmetic, bitwise and shift operators. The result has the left
    // operand's type (a string on the left gives a long, except that + on a
    // string concatenates); the right operand is converted to it. Operands
    // that are not numeric, and types the operator cannot use, throw
    // EVLInvalidParamException, as does an integer division by zero.
    friend CVLVariant operator*(const CVLVariant& a, const CVLVariant& b);
    friend CVLVariant operator/(const CVLVariant& a, const CVLVariant& b);
    friend CVLVariant operator+(const CVLVariant& a, const CVLVariant& b);
    friend CVLVariant operator-(const CVLVariant& a, const CVLVariant& b);
    friend CVLVariant operator%(const CVLVariant& a, const CVLVariant& b);
    friend CVLVariant operator&(const CVLVariant& a, const CVLVariant& b);
    friend CVLVariant operator|(const CVLVariant& a, const CVLVariant& b);
    friend CVLVariant operator^(const CVLVariant& a, const CVLVariant& b);
    friend CVLVariant operator<<(const CVLVariant& a, const CVLVariant& b);
    friend CVLVariant operator>>(const CVLVariant& a, const CVLVariant& b);
    friend CVLVariant operator~(const CVLVariant& a);
    // Orderings in the left operand's type.
    friend bool operator<(const CVLVariant& a, const CVLVariant& b);
    friend bool operator<=(const CVLVariant& a, const CVLVariant& b);
    friend bool operator>(const CVLVariant& a, const CVLVariant& b);
    friend bool operator>=(const CVLVariant& a, const CVLVariant& b);

private:
    union Value
    {
        bool b;
        int8_t c;
        uint8_t uc;
        int16_t s;
        uint16_t us;
        int32_t i;
        uint32_t ui;
        int64_t ll;
        uint64_t ull;
        float f;
        double d;
        CVLString* pString;
        CVLByteArray* pBytes;
        CVLDateTime* pDateTime;
        CVLSocketAddress* pAddress;
        CVLXmlDocument* pDocument;
        CVLVariant* pReference;
        IVLVariantObjectIF* pObject;
        void* p;
        VL_BYTE raw[8];
    };

    class CIndirection;

    template <typename T>
    void StoreScalar(int nType, T value, T& rSlot)
    {
        if (m_nType != nType)
            SetType(nType);
        if (rSlot == value)  // a NaN never equals, so it always counts as a change
            return;
        rSlot = value;
        m_bModified = true;
    }
    // StoreScalar for a plain variant: a change between types that own no
    // object (SetType's work for them) is done in place.
    template <typename T>
    void StoreScalarInline(int nType, T value, T& rSlot)
    {
        if (m_nType != nType) {
            if (m_nType >= 14 && m_nType <= 18) {
                CVLVariant::SetType(nType);
            } else {
                m_Value.ull = 0;
                m_nType = nType;
                m_bModified = true;
            }
        }
        if (rSlot == value)
            return;
        rSlot = value;
        m_bModified = true;
    }
    void StorePointer(int nType, void* p);
    template <typename T>
    T ScalarAs() const;
    template <typename T>
    T BytesAs(T tDefault) const;

    // The operators build their result into r (an empty variant).
    static void Arithmetic(CVLVariant& r, const CVLVariant& a, const CVLVariant& b, int nOp, int nLine);
    static void Shift(CVLVariant& r, const CVLVariant& a, const CVLVariant& b, bool bLeft, int nLine);
    static void Complement(CVLVariant& r, const CVLVariant& a);
    static bool Order(const CVLVariant& a, const CVLVariant& b, int nOp, int nLine);

    int m_nType;
    Value m_Value;
    bool m_bModified;
};

#endif
