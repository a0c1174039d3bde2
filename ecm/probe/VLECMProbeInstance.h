// Runs the probes of one device manager and keeps the found devices: a
// device list and a map from each device's MAC address (in its normal form,
// twelve upper-case hexadecimal digits) to its record, both under
// m_NIFListAccessSync. It also owns and drives the simulated probe, whose
// devices are handed on through the MAC table like the others and reported
// on the dispatch thread, so that no report holds the notification lock
// while it waits for the dispatch lock.
//
// Each address a MAC address answered from has a record of its own, kept
// in a list of the probe's (the claims). The MAC table (CVLECMMACTable)
// owns each address's chain: its unicast check (on the check thread), its
// place, its follow-up commands (get support information unless skipped,
// get list information, on the record's command thread) and its judgement;
// every event goes to the table, and this instance starts what the table
// answers and hands on the record the table names: moved to the device
// list and reported once, marked before when another address passed too.
//
// Lock order: the owner's dispatch lock before m_NIFListAccessSync, before
// m_ChainStartSync, before the module controller's lock; the MAC table's
// lock after any of them.
#ifndef VLECMPROBEINSTANCE_H
#define VLECMPROBEINSTANCE_H

#include <chrono>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "base/core/VLString.h"
#include "base/core/VLThreadSync.h"
#include "cm/VLFunctionListener.h"
#include "ecm/core/VLECMCallbackIF.h"
#include "ecm/core/VLECMDefs.h"
#include "ecm/probe/VLECMDescriptorLimit.h"
#include "ecm/probe/VLECMHandOnQueue.h"
#include "ecm/probe/VLECMLocalNetworks.h"
#include "ecm/probe/VLECMMACTable.h"
#include "ecm/probe/VLECMNamedAddressProbe.h"
#include "ecm/probe/VLECMReplyFilter.h"
#include "ecm/probe/VLECMUnicastChecks.h"
#include "ecm/record/VLECMChainEndIF.h"
#include "ecm/simulated/VLECMDummyProbe.h"
#include "ecm/simulated/VLECMDummyProbeCallbackIF.h"
#include "modules/probe/VLProbe.h"

class IVLECMOwnerIF;
class CVLECMNIFInfo;
class CVLCallbackInfo;
class CVLECMNIFInfoList;
class CVLModuleInstance;

class CVLECMProbeInstance : public IVLECMCallbackIF,
                            public IVLECMDummyProbeCallbackIF,
                            public IVLFunctionListener,
                            public IVLECMChainEndIF
{
public:
    CVLECMProbeInstance();
    virtual ~CVLECMProbeInstance();

    virtual void Initialize(IVLECMOwnerIF* pOwner, IVLECMCallbackIF* pCallbackIF);
    virtual void Terminate();
    virtual void StartProbe(VLECM_PROBE_CONNECT_TYPE eProbeConnectType, const CVLECMPropertyMap* pProbeOptionMap);
    // Stops the probe module and the simulated probe; the chains of the
    // devices found go on (StopChains stops them).
    virtual void StopProbe();
    // The running probe sends its requests again (see CVLECM::ProbeAgain);
    // false when no probe runs.
    bool ProbeAgain();
    // Nothing is admitted and no chain starts a command once it returns;
    // the chains waiting are judged stopped, those under way are judged by
    // their own answer when they end (their devices listed, not reported).
    void StopChains();
    // Destroys every device (their commands stopped, their queued
    // callbacks dropped) and empties the MAC map.
    virtual void ClearNIFList();
    // Stops the commands of every device and waits for their threads.
    virtual void StopAllCommands();
    // Destroys the record when it is a member of the device list or a
    // claim; a pointer neither holds is left alone.
    virtual void DestroyNIFInfo(CVLECMNIFInfo* pNIFInfo);
    // The device's record followed by the other records of its MAC, for
    // removing the device whole, their commands stopped and waited for;
    // empty for a record neither the device list nor the probe's records
    // hold. Its MAC is removed in the table first: nothing more of it is
    // admitted, checked or reported in this probe.
    std::vector<CVLECMNIFInfo*> RemoveDevice(CVLECMNIFInfo* pNIFInfo);
    // The device of that MAC address text (any of its usual forms), or null.
    virtual CVLECMNIFInfo* FindNIFInfo(VL_CONST_STR szMACAddress);
    virtual CVLECMNIFInfoList* GetNIFInfoList();
    // The probe's option lookup: the probe options, then the owner's.
    virtual CVLString getOptionString(VL_CONST_STR szKey);
    virtual bool getOptionBool(VL_CONST_STR szKey);

    // The simulated probe's devices (on its thread).
    void OnDummyProbe(CVLECMDummyProbe* pDummyProbe, CVLECMNIFInfo& DummyNIFInfo,
                      VLECM_CONNECT_TYPE eConnectType) override;

    // A chain's end the dispatch queue refused, or one not passed on to it
    // by the stop.
    void OnChainEndLost(CVLECMNIFInfo* pNIFInfo, VLECM_COMMAND eCommand, bool bRefused) override;

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

    CVLECMReplyFilter& GetReplyFilter() { return m_ReplyFilter; }
    // Every address heard for each MAC and the decision taken from them.
    CVLECMMACTable& GetMACTable() { return m_MACTable; }
    // Hands the local networks to the reply filter and the chains: the
    // probe's start does, with the computer's networks read then and the
    // sockets of its directed broadcasts; other networks may be handed
    // while it runs.
    void SetLocalNetworks(std::shared_ptr<const CVLECMLocalNetworks> pNetworks);
    // The admitted replies' records on their way to the dispatch queue.
    CVLECMHandOnQueue& GetHandOnQueue() { return m_HandOnQueue; }

    // A found device's chain starts with its unicast check at once, up to
    // MAX_CHECKING_CHAINS checks at a time: they share the check thread and
    // its socket, so a device that never answers unicast holds neither a
    // thread nor a socket while its check waits out the time-out. A chain
    // whose device answered takes a place of its local network's for its
    // further commands, each holding a command thread and a socket while
    // its command runs: MAX_PLACES_PER_NETWORK per network ("" for replies
    // from no local network), and one more for the named address
    // (CVLECM::SetNamedAddress), fewer of its own and a shared pool under a
    // low descriptor limit. The table decides (CVLECMMACTable).
    enum
    {
        MAX_PLACES_PER_NETWORK = CVLECMMACTable::MAX_PLACES_PER_NETWORK
    };
    enum
    {
        MAX_CHECKING_CHAINS = CVLECMMACTable::MAX_CHECKING
    };
    // Sockets a client keeps free for the chains at the least (vlnet does):
    // with so few, each network has a place and a few are shared. As the
    // probe starts it raises the soft limit on descriptors as far as
    // MAX_PLACES_PER_NETWORK for each network need (64 each for five
    // networks and the replies from none take 386); where the hard limit
    // leaves fewer, the descriptors free, less a few, are shared out: some
    // each network's own, the rest a pool (CVLECMDescriptorLimit). The
    // limit is given back at Terminate.
    enum
    {
        MAX_CHAIN_SOCKETS = 17
    };
    // Chains holding a place, and chains waiting for a place or a check.
    virtual void GetChainCounts(int& nRunning, int& nWaiting);
    // Chains whose unicast check is under way.
    virtual int GetCheckingChainCount();
    // Chains begun and not over (their addresses neither judged nor their
    // devices reported yet), and of them those in or waiting for their
    // unicast check, claims included.
    int GetUnfinishedChainCount(int& nChecking);
    // Records of devices and claims the probe made (its replies' waiting
    // copies aside): the addresses it checks or checked, and the devices
    // (one per MAC address, the simulated ones included).
    int GetRecordCount();
    int GetDeviceCount();
    // The check thread of the devices' unicast checks.
    CVLECMUnicastChecks& GetUnicastChecks() { return m_UnicastChecks; }

    // Delivers a simulated device on the dispatch thread (the record is the
    // callback's target, the connect type its identifier).
    static void dummyProbeCallback(long lConnectType, void* pProbeInstance, CVLCallbackInfo* pCallbackInfo);
    // Delivers a device handed on off the dispatch thread (lFlags: its
    // unicast flag, listed only).
    static void handOnCallback(long lFlags, void* pProbeInstance, CVLCallbackInfo* pCallbackInfo);
    // What the dispatch queue refused of the chains, carried out on the
    // dispatch thread (the owner's loop calls it on each pass, under the
    // dispatch lock; elsewhere it does nothing): the devices whose hand-on
    // waits (it could not be posted, or a stop handed on more than one)
    // are handed on, the simulated devices whose report could not be posted
    // are reported, and the finished threads of commands whose end was
    // lost are released. Every 200 ms the chains whose
    // check or command found no descriptor or thread free are ticked
    // (CVLECMMACTable::RetryDeferred); on every pass, a trial of theirs
    // whose request has left lets them all go back (TrialHolds).
    void DispatchPass();

protected:
    // Takes a reply target out of the device list and destroys it, with
    // its queued callbacks; targets of other owners are left alone.
    virtual void releaseReplyTarget(CVLTarget* pTarget);
    // Starts the command the table asked for; false, with what the table
    // says then in more, when it did not start (the probe stopped, or the
    // record could not start it).
    virtual bool startChainCommand(CVLECMNIFInfo* pNIFInfo, VLECM_COMMAND eCommand, CVLECMMACTable::SNext& more);
    // True for a record of the device list or a claim (takes the list lock).
    bool isProbeRecord(CVLECMNIFInfo* pNIFInfo);
    // A follow-up command's end to the table: one that never reached the
    // device for want of descriptors defers its chain.
    void followCommandEnd(CVLECMNIFInfo* pNIFInfo, VLECM_COMMAND eCommand, VLECM_RESULT eResult);
    // Does what the table asks after a change: marks the record handed on,
    // starts the commands it names, and hands the MAC's device on.
    void follow(const CVLECMMACTable::SNext& next);
    // The named address's source bound refused a MAC: the named address is
    // asked by unicast which MAC answers there (the reply filter's listener).
    void askNamedAddress();
    // Moves the record to the device list and, unless bListOnly, reports it
    // to the client.
    void report(CVLECMNIFInfo* pNIFInfo, bool bUnicast, bool bListOnly = false);
    // Gives the record the directed broadcast its reply came through.
    void setReceiverBroadcast(CVLECMNIFInfo* pNIFInfo, CVLCallbackInfo* pInfo);
    // Under m_NIFListAccessSync: the record of a reply from an address the
    // probe has none for (the reply target itself when it is of the probe's
    // lists, else a copy), attached in the table; null when the table does
    // not keep it or no record could be made.
    CVLECMNIFInfo* adoptNewAddress(const SVLECMReplyKey& key, CVLTarget* pTarget);

    // The local networks last handed (takes m_LocalNetworksSync, after
    // any other lock and never before one).
    std::shared_ptr<const CVLECMLocalNetworks> localNetworks();

    IVLECMOwnerIF* m_pOwnerVLECMInstance;
    IVLECMCallbackIF* m_pCallbackIF;
    CVLThreadSync m_NIFListAccessSync;
    CVLECMNIFInfoList* m_pNIFInfoList;
    std::map<CVLString, CVLECMNIFInfo*> m_NIFInfoMap;
    // The records of the addresses a MAC answered from that are not its
    // record in the device list, and their replies' waiting copies.
    CVLECMNIFInfoList* m_pClaimList;
    // The probe options, guarded by m_ProbeOptionMapSync.
    CVLECMPropertyMap m_ProbeOptionMap;
    // The same options, shared by every follow-up command the probe starts.
    CVLECMSharedOptions m_pChainOptions;
    CVLThreadSync m_ProbeOptionMapSync;
    CVLECMPropertyMap m_BindAddressInfoMap;
    CVLECMPropertyMap m_LDBCAddressInfoMap;
    CVLModuleInstance* m_pProbeModuleInstance;
    CVLThreadSync m_ProbeInstanceSync;
    CVLECMDummyProbe m_DummyProbe;
    // The filter and the hand-on queue use the table and the filter asks
    // the hand-on queue: built in that order.
    CVLECMMACTable m_MACTable;
    CVLECMHandOnQueue m_HandOnQueue;
    CVLECMReplyFilter m_ReplyFilter;
    std::shared_ptr<const CVLECMLocalNetworks> m_pLocalNetworks;
    CVLThreadSync m_LocalNetworksSync;
    // Held while a chain's command is judged allowed and started, by
    // StopChains and while a MAC is removed or a record detached: nothing
    // starts after the stop, nor on a record being destroyed. Taken before
    // the MAC table's lock and the record's.
    CVLThreadSync m_ChainStartSync;
    CVLECMUnicastChecks m_UnicastChecks;
    // Asks the named address which MAC answers there; stopped with the probe.
    CVLECMNamedAddressProbe m_NamedAddressProbe;
    // Simulated devices handed on whose report the dispatch queue refused,
    // under m_NIFListAccessSync: each is reported on the next dispatch pass
    // while the table still holds it for its MAC.
    struct SWaitingSimulated
    {
        CVLString strMAC;
        CVLECMNIFInfo* pNIFInfo;
        VLECM_CONNECT_TYPE eConnectType;
    };
    std::vector<SWaitingSimulated> m_WaitingSimulated;
    // When DispatchPass next ticks the deferred chains (on the dispatch
    // thread only).
    std::chrono::steady_clock::time_point m_NextDeferredRetry;
    // The soft limit on descriptors the probes raise, given back at
    // Terminate.
    CVLECMDescriptorLimit m_DescriptorLimit;
};

#endif
