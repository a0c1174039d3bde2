// The VLPC module's instance implementation: one per module instance of a
// VLPC function. It holds the device facts read from the target before each
// call (version, encryption settings, device number, MAC address), the call
// parameters, and the send and receive packets it reuses.
//
// CallMethod runs the packet list named by the call ("Send", "Recv" or
// "Request") through the first child instance, a socket-module instance:
// each function's request is built, enciphered when the device asks for it,
// sent, and with "Request" the one genuine reply is matched, judged by its
// result code and expanded into the target's properties. The engine lives in
// VLPCRequest.cpp.
#ifndef VLPC_H
#define VLPC_H

#include "base/core/VLString.h"
#include "base/net/VLMACAddress.h"
#include "cm/VLModInstanceIF.h"
#include "modules/vlpc/VLPCPacket.h"

class CVLMDVLPC;
class CVLPCFunction;
class CVLPCPacketDataFormat;
class CVLPCPacketFormat;
class CVLPCPacketList;
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

    // Runs every function of the list; bRecv also waits for each reply.
    virtual void Request(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams, CVLPCPacketList* pPacketList,
                         bool bRecv);
    // Receives the reply to the last function sent, sending nothing.
    virtual void Recv(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams);

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
    // Defaults, then the definitions' constants, then the call's "timeout"
    // and "retry". The time-out is kept within 1 ms and the largest int, so
    // no wait is without limit.
    virtual void LoadParameters(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams);
    virtual void LoadTargetProperties(CVLModuleParamCollection* pParams);
    virtual void requestOneFunction(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                    CVLPCPacketList* pPacketList, CVLPCFunction* pFunction, CVLPCPacketFormat* pFormat,
                                    bool bRecv);
    virtual void SendPacket(CVLModuleParamCollection* pParams, CVLModuleInstance* pChild, CVLPCFunction* pFunction,
                            CVLPCPacketDataFormat* pSendFormat, CVLPCPacket* pPacket);
    // Reads until a reply is taken; pSent is the plain request it answers.
    virtual void RecvPacket(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams, CVLPCFunction* pFunction,
                            CVLPCPacketFormat* pFormat, CVLPCPacketDataFormat* pSendFormat, CVLPCPacket* pSent);
    virtual CVLPCPacketFormat* FindPacketFormat(const CVLString& strKey);
    // One of the VLPC_REPLY_* outcomes below, or EVLErrorResultException.
    virtual int CheckReply(CVLTarget* pTarget, CVLPCPacket* pReply, CVLPCPacket* pSent, CVLPCFunction* pFunction,
                           CVLPCPacketFormat* pFormat, CVLPCPacketDataFormat* pSendFormat);
    // "VLPC", or "VLPC(" device type "-" function " " letter ")" with the
    // request letter of a reply of type cType.
    virtual CVLString GetPacketDescription(char cType, CVLPCPacketFormat* pFormat);

    // True when the reply comes from the device expected: the MAC address of
    // the plain request, else the target's; an all-zero one accepts any.
    bool CheckReplyMACAddress(CVLPCPacket* pReply, CVLPCPacket* pSent, CVLPCPacketFormat* pFormat,
                              CVLPCPacketDataFormat* pSendFormat, CVLPCPacketDataFormat* pRecvFormat);
    // Whether the reply's layout has a MAC address field and the reply is
    // long enough to hold it.
    bool CarriesMAC(CVLPCPacket* pReply, CVLPCPacketDataFormat* pRecvFormat);
    // Whether the reply carries the expected device's MAC address where its
    // layout has one: false too when it has no layout or no MAC field, or
    // when any device is expected.
    bool NamesTheDevice(CVLPCPacket* pReply, CVLPCPacket* pSent, CVLPCPacketDataFormat* pSendFormat,
                        CVLPCPacketDataFormat* pRecvFormat);
    // The MAC address the reply must carry: the plain request's, else the
    // target's (6 bytes; all zero: any device).
    void ExpectedMAC(CVLPCPacket* pSent, CVLPCPacketDataFormat* pSendFormat, VL_BYTE* pExpected);
    // Holds an error reply that names no device (the first of the try) and
    // returns VLPC_REPLY_HELD.
    int HoldError(unsigned short nResult, char cType, bool bThrows);
    // The end of a try without a reply of the device: the error held is its
    // answer (thrown, or set quietly as the result), else a time-out.
    void EndTry(CVLModuleInstance* pChild, CVLTarget* pTarget, CVLPCPacketFormat* pFormat);
    // Throws EVLRefusedRequestException, naming the list and the request,
    // when the call may not send the function's request (see
    // CVLModuleParamCollection::SetAllowedRequests).
    void RefuseDisallowed(CVLModuleParamCollection* pParams, CVLPCPacketList* pPacketList, CVLPCFunction* pFunction);
    // Empties the format's result property, or sets it to nResult.
    void SetResultProperty(CVLTarget* pTarget, CVLPCPacketFormat* pFormat, bool bSet, unsigned short nResult);

    // Outcomes of CheckReply.
    static const int VLPC_REPLY_ACCEPTED = 0;     // matched and expanded
    static const int VLPC_REPLY_OTHER = 1;        // answers something else
    static const int VLPC_REPLY_IGNORED = 2;      // matches, but is not taken
    static const int VLPC_REPLY_QUIET_ERROR = 3;  // an error reply whose flag says not to throw
    static const int VLPC_REPLY_HELD = 4;         // an error reply that names no device: held

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
    CVLPCPacketFormat* m_pLastPacketFormat;
    CVLPCPacketDataFormat* m_pLastDataFormat;
    CVLPCFunction* m_pLastFunction;
    // The plain request of the last function sent, which "Recv" matches
    // against: m_SendPacket is rebuilt by a function that is then skipped.
    CVLPCPacket m_LastSendPacket;
    // The first error reply of the running try that names no device (0:
    // none), the reply's type letter and whether its function's flag has
    // it thrown. Any host that can send from the device's address could have
    // sent it: it answers for the device only if no reply naming the device
    // came by the end of the try.
    unsigned short m_nHeldResult;
    char m_cHeldType;
    bool m_bHeldThrows;
    // The reply being judged came from the second address the request named
    // (the one it gives the device), not from the one it went to.
    bool m_bReplyFromSecondAddress;
    CVLMDVLPC* m_pModule;
};

#endif
