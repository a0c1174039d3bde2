// The device manager's reports upward: a found device and the end of each
// device command. Every operation does nothing by default, so a receiver
// overrides only what it wants. The device record belongs to the device
// manager; a receiver must not keep it beyond the device's removal.
#ifndef VLECMCALLBACKIF_H
#define VLECMCALLBACKIF_H

#include "ecm/VLECMDefs.h"

class CVLECMNIFInfo;

class IVLECMCallbackIF
{
public:
    // bUpdateNIFInfo: false on the first report of the record, true later.
    virtual void OnProbe(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, bool bUnicast, bool bUpdateNIFInfo)
    {
        (void)pNIFInfo, (void)eConnectType, (void)bUnicast, (void)bUpdateNIFInfo;
    }
    virtual void OnCheckUnicast(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult,
                                bool bUnicast)
    {
        (void)pNIFInfo, (void)eConnectType, (void)eResult, (void)bUnicast;
    }
    virtual void OnGetSupportInformation(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
    {
        (void)pNIFInfo, (void)eConnectType, (void)eResult;
    }
    virtual void OnGetListInfo(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
    {
        (void)pNIFInfo, (void)eConnectType, (void)eResult;
    }
    virtual void OnGetDetail(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
    {
        (void)pNIFInfo, (void)eConnectType, (void)eResult;
    }
    virtual void OnGetWirelessLANInfo(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
    {
        (void)pNIFInfo, (void)eConnectType, (void)eResult;
    }
    virtual void OnCheckPassword(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
    {
        (void)pNIFInfo, (void)eConnectType, (void)eResult;
    }
    virtual void OnSetDetail(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
    {
        (void)pNIFInfo, (void)eConnectType, (void)eResult;
    }
    virtual void OnFactReset(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
    {
        (void)pNIFInfo, (void)eConnectType, (void)eResult;
    }
    virtual void OnRebootPolling(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult,
                                 bool bUnicast)
    {
        (void)pNIFInfo, (void)eConnectType, (void)eResult, (void)bUnicast;
    }
    virtual void OnGetNetworkDiagnosis(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
    {
        (void)pNIFInfo, (void)eConnectType, (void)eResult;
    }
    virtual void OnSetupWebService(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
    {
        (void)pNIFInfo, (void)eConnectType, (void)eResult;
    }
    virtual void OnDeleteWebService(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
    {
        (void)pNIFInfo, (void)eConnectType, (void)eResult;
    }
    virtual ~IVLECMCallbackIF() {}
};

#endif
