// The VLPC module's instance implementation: one per module instance of a
// VLPC function. It holds the device facts read from the target before each
// call (version, encryption settings, device number, MAC address), the call
// parameters, and the send and receive packets it reuses.
//
// The request engine (sending a packet list and expanding the replies) is
// not built yet: CallMethod loads the device facts and then refuses every
// method with EVLUnsupportedException.
#ifndef VLPC_H
#define VLPC_H

#include "base/core/VLString.h"
#include "base/net/VLMACAddress.h"
#include "cm/VLModInstanceIF.h"
#include "modules/vlpc/VLPCPacket.h"

class CVLMDVLPC;
class CVLPCPacketFormat;
class CVLProperty;
class CVLTarget;

class CVLPC : public IVLModInstanceIF
{
public:
    explicit CVLPC(CVLMDVLPC* pModule);
    virtual ~CVLPC();

    virtual void CreateInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    virtual void DestroyInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    virtual void CallMethod(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    virtual void Stop(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;

    virtual bool IsUseSubnet() const { return m_bUseSubnet; }
    virtual int GetRetry() const { return m_nRetry; }
    virtual int GetTimeout() const { return m_nTimeout; }
    virtual CVLPCPacket* GetSendPacket() { return &m_SendPacket; }
    virtual CVLPCPacket* GetRecvPacket() { return &m_RecvPacket; }
    virtual long GetVersion() const { return m_nVersion; }
    virtual bool IsUnicast() const { return m_bUnicast; }
    virtual VL_BYTE GetEncryptionMode() const { return m_nEncryptionMode; }
    virtual VL_BYTE GetEncryptionType() const { return m_nEncryptionType; }
    virtual VL_BYTE GetDeviceNumber() const { return m_nDeviceNumber; }
    virtual const CVLMACAddress* GetMACAddress() const { return &m_MACAddress; }
    // The target's property that the module's key-property table names
    // szName; null without a target or a table entry. Takes no lock.
    virtual CVLProperty* GetKeyProperty(CVLTarget* pTarget, const char* szName, bool bCreate);
    // Reads the key properties of the call's target (under its lock) into
    // the device facts; without a target they are all 0.
    virtual void LoadTargetProperties(CVLModuleParamCollection* pParams);
    virtual CVLPCPacketFormat* FindPacketFormat(const CVLString& strKey);
    // "VLPC", or "VLPC(" device type "-" function " " letter ")" with the
    // request letter of a reply of type cType.
    virtual CVLString GetPacketDescription(char cType, CVLPCPacketFormat* pFormat);

private:
    CVLPC(const CVLPC&) = delete;
    CVLPC& operator=(const CVLPC&) = delete;

    long m_nVersion;
    VL_BYTE m_nEncryptionMode;
    VL_BYTE m_nEncryptionType;
    VL_BYTE m_nDeviceNumber;
    CVLMACAddress m_MACAddress;
    CVLPCPacket m_SendPacket;
    CVLPCPacket m_RecvPacket;
    bool m_bUseSubnet;
    int m_nRetry;
    int m_nTimeout;
    bool m_bUnicast;
    CVLString m_strPacketListSuffix;
    CVLMDVLPC* m_pModule;
};

#endif
