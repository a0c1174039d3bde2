// The six bytes of an Ethernet MAC address, in transmission order.
#ifndef VLMACADDRESS_H
#define VLMACADDRESS_H

#include "base/core/VLString.h"

class CVLMACAddress
{
public:
    CVLMACAddress();
    explicit CVLMACAddress(const unsigned char* pBytes);
    CVLMACAddress(const CVLMACAddress& other);
    virtual ~CVLMACAddress();

    virtual CVLMACAddress& Assign(const CVLMACAddress& other);
    virtual void Clear();
    virtual bool IsEmpty() const;
    // Drops every ":" and "-" and reads the rest as hexadecimal; reports nothing.
    virtual void Parse(const char* szText);
    // The one strict reading of a MAC address that a person or a list gives:
    // twelve hex digits, or six pairs all separated by ":" or all by "-",
    // either case. False (and address untouched) for any other text.
    static bool ParseStrict(const char* szText, CVLMACAddress& address);
    // The twelve upper-case digits of a text ParseStrict takes, pairs
    // separated by szSeparator when it is not null; empty for any other text.
    static CVLString Normalize(const char* szText, const char* szSeparator);
    virtual void SetBytes(const unsigned char* pBytes);
    // Two hex digits per byte, szSeparator (when not null) between bytes.
    virtual CVLString ToString(const char* szSeparator, bool bUpper) const;
    virtual const unsigned char* GetBytes() const;

    CVLMACAddress& operator=(const CVLMACAddress& other) { return Assign(other); }

private:
    unsigned char m_Address[6];
};

#endif
