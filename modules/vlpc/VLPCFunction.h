// One request of a VLPC packet list (a "Function" element): the device type
// and function code it addresses, its packet-type letter, how the request
// code reacts to each outcome, an optional condition script, and an optional
// selection of fields ("FieldName" children) with their property paths.
#ifndef VLPCFUNCTION_H
#define VLPCFUNCTION_H

#include <functional>
#include <map>
#include <string>

#include "base/core/VLString.h"
#include "base/core/VLTypes.h"

class CVLModuleController;
class CVLXmlElement;

class CVLPCFunction
{
public:
    CVLPCFunction();
    virtual ~CVLPCFunction();

    // Reads the element; a missing or malformed deviceType, function or
    // packetType throws EVLDefineFormatException.
    virtual void Load(CVLModuleController* pController, const CVLXmlElement* pElement);
    // True when no FieldName is given, or one of this name is.
    virtual bool HasFieldName(VL_CONST_STR szName) const;
    // The FieldName's property path; empty when none is given.
    virtual CVLString GetFieldPropertyPath(VL_CONST_STR szName) const;
    virtual const CVLString& GetKey() const { return m_strKey; }
    virtual const CVLString& GetDeviceType() const { return m_strDeviceType; }
    virtual const CVLString& GetFunction() const { return m_strFunction; }
    virtual char GetPacketType() const { return m_cPacketType; }
    virtual VL_BYTE GetDeviceTypeCode() const { return m_nDeviceTypeCode; }
    virtual const VL_BYTE* GetFunctionCode() const { return m_FunctionCode; }
    virtual bool IsOnTimeout() const { return m_bOnTimeout; }
    virtual bool IsOnError() const { return m_bOnError; }
    virtual bool IsOnErrorWithData() const { return m_bOnErrorWithData; }
    virtual bool IsErrorWithDataOK() const { return m_bErrorWithDataOK; }
    virtual bool IsOnUnsupported() const { return m_bOnUnsupported; }
    virtual bool IsForceSetup() const { return m_bForceSetup; }
    virtual bool IsSaveDeviceNumber() const { return m_bSaveDeviceNumber; }
    virtual bool IsSendUnencryption() const { return m_bSendUnencryption; }
    virtual const CVLString& GetCondition() const { return m_strCondition; }
    virtual const CVLString& GetDeviceNumber() const { return m_strDeviceNumber; }

private:
    CVLPCFunction(const CVLPCFunction&) = delete;
    CVLPCFunction& operator=(const CVLPCFunction&) = delete;

    CVLString m_strKey;
    CVLString m_strDeviceType;
    CVLString m_strFunction;
    CVLString m_strCondition;
    CVLString m_strDeviceNumber;
    char m_cPacketType;
    bool m_bOnTimeout;
    bool m_bOnError;
    bool m_bOnErrorWithData;
    bool m_bErrorWithDataOK;
    bool m_bOnUnsupported;
    bool m_bForceSetup;
    bool m_bSaveDeviceNumber;
    bool m_bSendUnencryption;
    VL_BYTE m_nDeviceTypeCode;
    VL_BYTE m_FunctionCode[2];
    // Looked up by the field codec for every field of every packet: keyed
    // by plain bytes so that a lookup by C string makes no string object.
    std::map<std::string, CVLString, std::less<>> m_FieldNames;
};

#endif
