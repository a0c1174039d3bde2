// One payload layout ("SendDataFormat" or "RecvDataFormat"): a field list
// plus the device version, reply result and packet-type letters for which
// it is valid.
#ifndef VLPCPACKETDATAFORMAT_H
#define VLPCPACKETDATAFORMAT_H

#include "base/core/VLString.h"
#include "base/core/VLTypes.h"
#include "modules/vlpc/VLPCFieldList.h"

class CVLMDVLPC;

class CVLPCPacketDataFormat : public CVLPCFieldList
{
public:
    CVLPCPacketDataFormat();
    virtual ~CVLPCPacketDataFormat();

    using CVLPCFieldList::Load;
    // Reads version, result and packetType, the fields, then finds the
    // payload offset of the first MACAddress field.
    void Load(CVLModuleController* pController, CVLMDVLPC* pModule, const CVLXmlElement* pElement);

    virtual long GetVersion() const { return m_nVersion; }
    virtual const CVLString& GetPacketType() const { return m_strPacketType; }
    virtual const CVLString& GetResult() const { return m_strResult; }
    virtual const VL_BYTE* GetResultCode() const { return m_ResultCode; }
    // Payload offset of the first MACAddress field; -1 when there is none.
    virtual long GetMACAddressOffset() const { return m_nMACAddressOffset; }
    // True when the layout serves a device of nVersion, a reply with the
    // result bytes pResult (null: any) and the type letter cPacketType (0: any).
    virtual bool IsMatch(CVLMDVLPC* pModule, long nVersion, const VL_BYTE* pResult, char cPacketType) const;

    using CVLPCFieldList::ExpandPacket;
    using CVLPCFieldList::MakePacket;
    // Builds the payload from position 14 with the target locked.
    virtual bool MakePacket(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pSendPacket, CVLTarget* pTarget);
    // Expands the payload from position 14 with the target locked.
    virtual void ExpandPacket(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pRecvPacket, CVLTarget* pTarget);

private:
    long m_nVersion;
    CVLString m_strResult;
    CVLString m_strPacketType;
    VL_BYTE m_ResultCode[2];
    long m_nMACAddressOffset;
};

#endif
