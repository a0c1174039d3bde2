// The implementation object of a module instance: what a module makes for
// each running function. CVLModuleInstance holds one and forwards to it.
#ifndef VLMODINSTANCEIF_H
#define VLMODINSTANCEIF_H

class CVLModuleInstance;
class CVLModuleParamCollection;
class IVLStream;

// The outcome of one request and reply exchange, handed to the child that
// carried it.
typedef int VLCM_PACKET_STATUS;
const VLCM_PACKET_STATUS VLCM_PACKET_STATUS_ACCEPTED = 0;  // the reply was taken
const VLCM_PACKET_STATUS VLCM_PACKET_STATUS_OTHER = 1;     // it answered something else
const VLCM_PACKET_STATUS VLCM_PACKET_STATUS_IGNORED = 2;   // it was ignored or refused

class IVLModInstanceIF
{
public:
    virtual ~IVLModInstanceIF() {}

    // Makes the child instances: by default one for each child definition of
    // the instance's definition, in order (disabled ones are left out).
    virtual void CreateInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams);
    virtual void DestroyInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) = 0;
    // The instance's send stream; by default there is none
    // (EVLUnsupportedException).
    virtual IVLStream* GetSendStream(CVLModuleParamCollection* pParams);
    virtual IVLStream* GetSendStream();
    virtual void CallMethod(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) = 0;
    // Asks the running work to end.
    virtual void Stop(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) = 0;
    virtual void SetLastPacketStatus(VLCM_PACKET_STATUS eStatus);
    // Datagrams the instance's receivers lost before they were read (a full
    // buffer or queue), counted since it was made; by default none.
    virtual unsigned long GetReceiveDropCount();
};

#endif
