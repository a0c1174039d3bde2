// Runs the probes of one device manager and keeps the found devices: a
// device list and a map from each device's MAC address (in its normal form,
// twelve upper-case hexadecimal digits) to its record, both under
// m_NIFListAccessSync. A reply of a new device starts the follow-up chain
// (check unicast on the check thread, then on the device's command thread
// get support information unless skipped, get list information); a
// complete device is reported to the owner's OnProbe. It also owns and
// drives the simulated probe, whose devices are queued and reported on the
// dispatch thread like the others, so that no report holds the notification
// lock while it waits for the dispatch lock.
//
// Each address a MAC address answered from has a record of its own, kept
// in a list of the probe's (the claims), and each gets its unicast check,
// all at once, and, when it answered, its further commands at once. The
// MAC table (CVLECMMACTable) says, for each MAC, what starts and which
// record is the device: that record, the first whose chain succeeded, is
// moved to the device list and reported, once, and marked when another
// address passes too. How each address stands is asked of the table.
//
// Lock order: the owner's dispatch lock before m_NIFListAccessSync, before
// the module controller's lock; the MAC table's lock after any of them.
#ifndef VLECMPROBEINSTANCE_H
#define VLECMPROBEINSTANCE_H

#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "base/core/VLString.h"
#include "base/core/VLThreadSync.h"
#include "cm/VLFunctionListener.h"
#include "ecm/core/VLECMCallbackIF.h"
#include "ecm/core/VLECMDefs.h"
#include "ecm/probe/TVLECMNetworkTurns.h"
#include "ecm/probe/VLECMHandOnQueue.h"
#include "ecm/probe/VLECMLocalNetworks.h"
#include "ecm/probe/VLECMMACTable.h"
#include "ecm/probe/VLECMReplyFilter.h"
#include "ecm/probe/VLECMUnicastChecks.h"
#include "ecm/simulated/VLECMDummyProbe.h"
#include "ecm/simulated/VLECMDummyProbeCallbackIF.h"
#include "modules/probe/VLProbe.h"

class IVLECMOwnerIF;
class CVLECMNIFInfo;
class CVLCallbackInfo;
class CVLECMNIFInfoList;
class CVLModuleInstance;

class CVLECMProbeInstance : public IVLECMCallbackIF, public IVLECMDummyProbeCallbackIF, public IVLFunctionListener
{
public:
    CVLECMProbeInstance();
    virtual ~CVLECMProbeInstance();

    virtual void Initialize(IVLECMOwnerIF* pOwner, IVLECMCallbackIF* pCallbackIF);
    virtual void Terminate();
    virtual void StartProbe(VLECM_PROBE_CONNECT_TYPE eProbeConnectType, const CVLECMPropertyMap* pProbeOptionMap);
    // Stops the probe; the chains of the devices found go on.
    virtual void StopProbe();
    // The running probe sends its requests again (see CVLECM::ProbeAgain);
    // false when no probe runs.
    bool ProbeAgain();
    // Forgets the chains waiting for a check or a place: they never go on.
    virtual void DropWaitingChains();
    // Every address still to be judged is judged stopped: once it returns,
    // no chain starts a command in this probe.
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
    // removing the device whole; empty for a record neither the device list
    // nor the probe's records hold. Its MAC is removed in the table first: nothing more of it is
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
    // whose device answered takes a place for its further commands, up to
    // MAX_RUNNING_CHAINS at once, each holding a command thread and a
    // socket. Chains beyond either bound wait their turn, each network's in
    // the order its devices were found (for a check) or answered (for a
    // place), the networks taking the free ones in turn. Every address of
    // a MAC that answered takes a place of its own: none waits for another
    // of its MAC. While an address is named (CVLECM::SetNamedAddress), one
    // of the places is kept for its commands.
    enum
    {
        MAX_RUNNING_CHAINS = 16
    };
    // Places the chains of one local network hold at most: the others
    // always have the rest, so that hosts of one network that pass their
    // checks and then stall delay no other network's devices.
    enum
    {
        MAX_PLACES_PER_NETWORK = 12
    };
    enum
    {
        MAX_CHECKING_CHAINS = 512
    };
    // Sockets the chains hold at most: one for each place and the one the
    // unicast checks share.
    enum
    {
        MAX_CHAIN_SOCKETS = MAX_RUNNING_CHAINS + 1
    };
    // Chains holding a place, and chains waiting for a place or a check.
    virtual void GetChainCounts(int& nRunning, int& nWaiting);
    // Chains whose unicast check is under way.
    virtual int GetCheckingChainCount();
    // Chains begun and not over (their addresses neither judged nor their
    // devices reported yet), and of them those in or waiting for their
    // unicast check, claims included; kept as they change, so that asking
    // costs the same however many devices a probe found.
    int GetUnfinishedChainCount(int& nChecking);
    // Records of devices and claims the probe made (its replies' waiting
    // copies aside): the addresses it checks or checked, and the devices
    // (one per MAC address, the simulated ones included).
    int GetRecordCount();
    int GetDeviceCount();
    // Around a chain callback: before it, the chain's command is over;
    // after it, the chain is over unless it started its next command or
    // waits for a place. A command the client started meanwhile (from
    // OnProbe) is not the chain's, and holds neither place nor check.
    void beforeChainStep(CVLECMNIFInfo* pNIFInfo);
    void afterChainStep(CVLECMNIFInfo* pNIFInfo);
    // The check thread of the devices' unicast checks.
    CVLECMUnicastChecks& GetUnicastChecks() { return m_UnicastChecks; }

    // Delivers a simulated device on the dispatch thread (the record is the
    // callback's target, the connect type its identifier).
    static void dummyProbeCallback(long lConnectType, void* pProbeInstance, CVLCallbackInfo* pCallbackInfo);

protected:
    // Takes a reply target out of the device list and destroys it, with
    // its queued callbacks; targets of other owners are left alone.
    virtual void releaseReplyTarget(CVLTarget* pTarget);
    // Starts the next command of the chain, marked as the chain's own;
    // false when it did not start.
    virtual bool startChainCommand(CVLECMNIFInfo* pNIFInfo, VLECM_COMMAND eCommand, VLECM_CONNECT_TYPE eConnectType);
    // A new device's chain: its check started when fewer than
    // MAX_CHECKING_CHAINS run, else queued.
    virtual void beginChain(CVLECMNIFInfo* pNIFInfo);
    // The device answered its check: the chain's next command starts when
    // a place is free, else waits for one.
    virtual void continueChain(CVLECMNIFInfo* pNIFInfo, VLECM_COMMAND eCommand, VLECM_CONNECT_TYPE eConnectType);
    // The device's chain is over (or the device went away; the pointer is
    // only compared): its place or check goes to the next waiting chain.
    // eResult and nDeviceResult: how its last command ended, where known.
    virtual void endChain(CVLECMNIFInfo* pNIFInfo, VLECM_RESULT eResult = VLECM_RESULT_FAILED, long nDeviceResult = 0);
    // Starts waiting chains while places (first) and checks are free.
    void startWaitingChains();
    // True for a record of the device list or a claim (takes the list lock).
    bool isProbeRecord(CVLECMNIFInfo* pNIFInfo);
    // Does what the table asks after a change: starts the follow-up
    // commands of the address it names, and reports the MAC's device.
    void follow(const CVLECMMACTable::SNext& next);
    // The record whose address the table chose runs the further commands,
    // in a chain of its own when its check's chain is over.
    void startCommands(CVLECMNIFInfo* pNIFInfo);
    // Moves the record to the device list and reports it to the client.
    void report(CVLECMNIFInfo* pNIFInfo, bool bUnicast);
    // Gives the record the directed broadcast its reply came through.
    void setReceiverBroadcast(CVLECMNIFInfo* pNIFInfo, CVLCallbackInfo* pInfo);

    // What a chain holds or waits for.
    enum EChainState
    {
        CHAIN_WAITING_CHECK,
        CHAIN_CHECKING,
        CHAIN_WAITING_PLACE,
        CHAIN_RUNNING
    };
    struct SChain
    {
        EChainState eState = CHAIN_WAITING_CHECK;
        CVLString strNetwork;
        // A command the chain started runs: its end, reported to the
        // chain, is still to come. The last one it started.
        bool bCommandRunning = false;
        VLECM_COMMAND eCommand = VLECM_COMMAND_CHECK_UNICAST;
        // It holds the place kept for the named address.
        bool bNamedPlace = false;
    };
    // A waiting chain and the command it starts with.
    struct SWaitingChain
    {
        CVLECMNIFInfo* pNIFInfo = nullptr;
        VLECM_COMMAND eCommand = VLECM_COMMAND_CHECK_UNICAST;
        VLECM_CONNECT_TYPE eConnectType = VLECM_CONNECT_TYPE_NETWORK;
    };
    // Waiting chains by the local network of their device ("" for none).
    typedef TVLECMNetworkTurns<SWaitingChain> TChainQueue;
    // Marks whether a command the chain started runs, and which (takes
    // m_ChainSync).
    void setChainCommandRunning(CVLECMNIFInfo* pNIFInfo, bool bRunning, VLECM_COMMAND eCommand = VLECM_COMMAND_COUNT);
    // Under m_ChainSync: forgets the chain and frees what it holds.
    void dropChain(CVLECMNIFInfo* pNIFInfo);
    // Under m_ChainSync: the chain takes a place for its next command, or
    // waits for one; true when the command may start now.
    bool takePlace(SChain& chain, CVLECMNIFInfo* pNIFInfo, VLECM_COMMAND eCommand, VLECM_CONNECT_TYPE eConnectType);
    // The places the chains share: one fewer while an address is named,
    // whose commands have a place of their own.
    int sharedPlaces();
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
    // The chains, under m_ChainSync: every chain begun and not over, the
    // checks and places taken, and the waiting ones. Taken after the
    // device-list lock where both are held (ClearNIFList); the MAC table's
    // lock is the only one taken under it.
    CVLThreadSync m_ChainSync;
    // Held while a chain's command is judged allowed and started, and by
    // StopChains: nothing starts after the probe stops. Taken before the
    // MAC table's lock and the record's.
    CVLThreadSync m_ChainStartSync;
    std::map<CVLECMNIFInfo*, SChain> m_Chains;
    int m_nCheckingChains = 0;
    int m_nRunningChains = 0;
    std::map<CVLString, int> m_RunningPerNetwork;
    bool m_bNamedPlaceTaken = false;
    TChainQueue m_ChecksWaiting;
    TChainQueue m_PlacesWaiting;
    CVLECMUnicastChecks m_UnicastChecks;
};

#endif
