// Runs the probes of one device manager and keeps the found devices: a
// device list and a map from each device's MAC address (in its normal form,
// twelve upper-case hexadecimal digits) to its record, both under
// m_NIFListAccessSync. A reply of a new device starts the follow-up chain on
// the device's command thread (check unicast, get support information unless
// skipped, get list information); a complete device is reported to the
// owner's OnProbe. It also owns and drives the simulated probe, whose
// devices are queued and reported on the dispatch thread like the others, so
// that no report holds the notification lock while it waits for the
// dispatch lock.
//
// Lock order: the owner's dispatch lock before m_NIFListAccessSync, before
// the module controller's lock.
#ifndef VLECMPROBEINSTANCE_H
#define VLECMPROBEINSTANCE_H

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <set>

#include "base/core/VLString.h"
#include "base/core/VLThreadSync.h"
#include "cm/VLFunctionListener.h"
#include "ecm/VLECMCallbackIF.h"
#include "ecm/VLECMDefs.h"
#include "ecm/VLECMDummyProbe.h"
#include "ecm/VLECMDummyProbeCallbackIF.h"
#include "modules/probe/VLProbe.h"
#include "ecm/VLECMReplyFilter.h"

class CVLECM;
class CVLECMNIFInfo;
class CVLECMNIFInfoList;
class CVLModuleInstance;

class CVLECMProbeInstance : public IVLECMCallbackIF, public IVLECMDummyProbeCallbackIF, public IVLFunctionListener
{
public:
    CVLECMProbeInstance();
    virtual ~CVLECMProbeInstance();

    virtual void Initialize(CVLECM* pOwner, IVLECMCallbackIF* pCallbackIF);
    virtual void Terminate();
    virtual void StartProbe(VLECM_PROBE_CONNECT_TYPE eProbeConnectType, const CVLECMPropertyMap* pProbeOptionMap);
    virtual void StopProbe();
    // Destroys every device (their commands stopped, their queued
    // callbacks dropped) and empties the MAC map.
    virtual void ClearNIFList();
    // Stops the commands of every device and waits for their threads.
    virtual void StopAllCommands();
    // Destroys the device when it is a member of the device list; a pointer
    // the list does not hold is left alone.
    virtual void DestroyNIFInfo(CVLECMNIFInfo* pNIFInfo);
    // True when the device list holds the record.
    virtual bool IsNIFInfoMember(CVLECMNIFInfo* pNIFInfo);
    // The device of that MAC address text (any of its usual forms), or null.
    virtual CVLECMNIFInfo* FindNIFInfo(VL_CONST_STR szMACAddress);
    virtual CVLECMNIFInfoList* GetNIFInfoList();
    // The probe's option lookup: the probe options, then the owner's.
    virtual CVLString getOptionString(VL_CONST_STR szKey);
    virtual bool getOptionBool(VL_CONST_STR szKey);

    // The simulated probe's devices (on its thread).
    void OnDummyProbe(CVLECMDummyProbe* pDummyProbe, CVLECMNIFInfo& DummyNIFInfo,
                      VLECM_CONNECT_TYPE eConnectType) override;

    // The follow-up chain (on the dispatch thread).
    void OnCheckUnicast(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult,
                        bool bUnicast) override;
    void OnGetSupportInformation(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType,
                                 VLECM_RESULT eResult) override;
    void OnGetListInfo(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult) override;

    // A probe reply (on the dispatch thread).
    void OnProbe(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget, CVLCallbackInfo* pInfo) override;
    using IVLECMCallbackIF::OnProbe;

    CVLECMDummyProbe& GetDummyProbe() { return m_DummyProbe; }
    // What the sends of the running probe came to so far (all zero when no
    // probe runs), so that a probe whose every send failed is told apart
    // from one that nobody answered.
    VLPROBE_SEND_STATUS GetProbeSendStatus();

    // What the probe admitted of the replies: the other address a device's
    // MAC address answered from in this probe (empty when none), and the
    // address its first reply came from, which the device keeps.
    virtual CVLString GetConflictAddress(VL_CONST_STR szMACAddress);
    virtual CVLString GetFirstAddress(VL_CONST_STR szMACAddress);
    CVLECMReplyFilter& GetReplyFilter() { return m_ReplyFilter; }

    // Follow-up chains that run at once; the chains of further devices wait
    // for a place, each network's in the order their devices were found,
    // the networks taking the free places in turn. Each running chain holds
    // a command thread and a socket.
    enum
    {
        MAX_RUNNING_CHAINS = 16
    };
    // A chain whose unicast check has gone unanswered for a while is most
    // likely waiting for its time-out: it gives its place to a waiting
    // device and runs on beside the others, up to this many at once.
    enum
    {
        MAX_SLOW_CHAINS = 16
    };
    static constexpr int kSlowChainMilliseconds = 300;
    // Chains running (slow ones included) and waiting.
    virtual void GetChainCounts(int& nRunning, int& nWaiting);
    // Chains that gave their place up while they wait for a time-out.
    virtual int GetSlowChainCount();
    // Lets the chains that wait on a time-out give their places to waiting
    // devices; run regularly (the dispatch thread does, each pass).
    virtual void PromoteSlowChains();
    // After how long an unanswered unicast check gives its place up.
    void SetSlowChainMilliseconds(int nMilliseconds) { m_nSlowChainMilliseconds = nMilliseconds; }
    // After a chain callback: the chain is over unless a next command runs.
    void afterChainStep(CVLECMNIFInfo* pNIFInfo);

    // Delivers a simulated device on the dispatch thread (the record is the
    // callback's target, the connect type its identifier).
    static void dummyProbeCallback(long lConnectType, void* pProbeInstance, CVLCallbackInfo* pCallbackInfo);

protected:
    // Takes a reply target out of the device list and destroys it, with
    // its queued callbacks; targets of other owners are left alone.
    virtual void releaseReplyTarget(CVLTarget* pTarget);
    // Starts the next command of the chain; false when it did not start.
    virtual bool startChainCommand(CVLECMNIFInfo* pNIFInfo, VLECM_COMMAND eCommand, VLECM_CONNECT_TYPE eConnectType);
    // A new device's chain: started when a place is free, else queued.
    virtual void beginChain(CVLECMNIFInfo* pNIFInfo);
    // The device's chain is over (or the device went away; the pointer is
    // only compared): its place goes to the next waiting device.
    virtual void endChain(CVLECMNIFInfo* pNIFInfo);
    // Starts waiting chains while places are free.
    void startWaitingChains();
    // Under m_ChainSync: the next waiting chain, the networks taking turns;
    // null when none waits or no place is free. The chain is then running.
    CVLECMNIFInfo* takeWaitingChain();

    CVLECM* m_pOwnerVLECMInstance;
    IVLECMCallbackIF* m_pCallbackIF;
    CVLThreadSync m_NIFListAccessSync;
    CVLECMNIFInfoList* m_pNIFInfoList;
    std::map<CVLString, CVLECMNIFInfo*> m_NIFInfoMap;
    // The probe options, guarded by m_ProbeOptionMapSync.
    CVLECMPropertyMap m_ProbeOptionMap;
    CVLThreadSync m_ProbeOptionMapSync;
    CVLECMPropertyMap m_BindAddressInfoMap;
    CVLECMPropertyMap m_LDBCAddressInfoMap;
    CVLModuleInstance* m_pProbeModuleInstance;
    CVLThreadSync m_ProbeInstanceSync;
    CVLECMDummyProbe m_DummyProbe;
    CVLECMReplyFilter m_ReplyFilter;
    // The chains, under m_ChainSync (taken alone).
    struct SChain
    {
        std::chrono::steady_clock::time_point start;
        bool bChecked = false;  // past its unicast check
        bool bSlow = false;     // gave its place up
    };
    CVLThreadSync m_ChainSync;
    std::map<CVLECMNIFInfo*, SChain> m_RunningChains;
    int m_nSlowChains = 0;
    // Waiting chains by the local network of their device ("" for none).
    std::map<CVLString, std::deque<CVLECMNIFInfo*>> m_WaitingChains;
    CVLString m_strLastNetwork;
    std::atomic<int> m_nSlowChainMilliseconds{kSlowChainMilliseconds};
};

#endif
