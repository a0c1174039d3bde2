// The communication manager: the one client of the device manager. It
// initializes it with the configuration's options, starts and stops
// probes with the options a probe of the application needs (unicast check
// on, support information skipped, the local directed broadcasts of five
// networks), and passes on the devices it accepts: those that answered by
// unicast, pass the device-kind rules and, when a filtering MAC address is
// set, have that address. Every other device is removed at once.
#ifndef PFWCOMMUNICATIONMANAGER_H
#define PFWCOMMUNICATIONMANAGER_H

#include <list>
#include <set>

#include "base/core/VLString.h"
#include "base/core/VLThreadSync.h"
#include "ecm/VLECM.h"
#include "ecm/core/VLECMCallbackIF.h"
#include "pfw/VLPFWDefs.h"
#include "pfw/VLPFWNIFInfoFactory.h"

class IVLPFWCallbackIF;

class CPFWCommunicationManager : public IVLECMCallbackIF
{
public:
    // The number of local networks a probe reaches by directed broadcast.
    enum
    {
        LOCAL_DBC_COUNT = 5
    };
    // The sockets a probe holds at most: one for each child of the probe
    // (the limited broadcast's and the directed broadcasts') and those of
    // the follow-up chains (one for each place, one the unicast checks share).
    static constexpr int kProbeChildCount = 1 + LOCAL_DBC_COUNT;
    static constexpr int kMaxChainSockets = CVLECM::MAX_CHAIN_SOCKETS;
    static constexpr int kMaxProbeSockets = kProbeChildCount + kMaxChainSockets;

    CPFWCommunicationManager();
    virtual ~CPFWCommunicationManager();

    // Initializes the device manager with the configuration's options (may
    // be null). 0, or 15 when the device manager refused (GetVLECMResult
    // tells its result).
    virtual VLPFW_RESULT Initialize(const CVLECMPropertyMap* pPropertyMap);
    virtual void Terminate();
    virtual bool IsInitialized() const { return m_bInitialize; }

    // Removes every device and starts a probe. 0; 2 before Initialize; 15
    // when the device manager refused.
    virtual VLPFW_RESULT Probe();
    virtual void StopProbe();
    virtual bool IsProbing();
    virtual void SetCallbackNotification(bool bNotification);

    // Only devices with this MAC address are accepted (any form the device
    // manager reads: "00:26:AB:00:00:01", "0026ab000001"); empty: all.
    // False when the text is no MAC address.
    virtual bool SetFilterMACAddress(VL_CONST_STR szMACAddress);
    virtual CVLString GetFilterMACAddress();

    // The receivers of accepted devices. Adding one twice is refused.
    virtual bool AddCallbackIF(IVLPFWCallbackIF* pCallbackIF);
    virtual void RemoveCallbackIF(IVLPFWCallbackIF* pCallbackIF);

    // The number of devices accepted since the last Probe.
    virtual int GetAcceptedCount();
    virtual VLECM_RESULT GetVLECMResult() const { return m_eVLECMResult; }
    virtual CVLECM& GetVLECM() { return m_VLECM; }

    void OnProbe(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, bool bUnicast, bool bUpdateNIFInfo) override;

    // The local directed-broadcast entries 1 .. nCount of a probe's options.
    static void setupLocalDBCOptions(int nCount, CVLECMPropertyMap& optionMap, bool bNIFInfoToAddress);

protected:
    virtual bool isAcceptable(CVLECMNIFInfo* pNIFInfo, bool bUnicast);

    CVLECM m_VLECM;
    CVLPFWNIFInfoFactory m_NIFInfoFactory;
    bool m_bInitialize;
    VLECM_RESULT m_eVLECMResult;
    // The probing flag, the filter, the receivers and the accepted MAC
    // addresses, all under m_Sync.
    CVLThreadSync m_Sync;
    bool m_bProbing;
    CVLString m_strFilterMACAddress;
    std::list<IVLPFWCallbackIF*> m_CallbackList;
    std::set<CVLString> m_AcceptedMACAddressSet;
};

#endif
