// The device manager: the one object its client holds. It owns the module
// framework facade that loads the definitions, the probe instance that keeps
// the found devices, the options, and the dispatch thread on which every
// queued module callback, command result and found device (except the
// simulated ones) is delivered, one per pass. Every report goes upward
// through IVLECMCallbackIF, and only while its gate is open.
//
// Below it, each area uses only those under it: probe/ (the probe's reply
// path), simulated/ (the simulated probe and its commands), record/ (the
// device record and its command kinds), core/ (definitions, the callback
// and owner interfaces, the built-in options). The parts it owns see it
// only as IVLECMOwnerIF.
//
// Where a probe reply goes: the probe module hands it to the device list
// (probe/VLECMNIFInfoList), whose reply filter admits or drops it, asking
// the MAC table (probe/VLECMMACTable) what it knows of that address of the
// MAC; an admitted reply is copied (into the device list for the address
// its MAC was handed on from, else into the probe's own records) and the
// copy waits in the hand-on queue until its network's turn puts it in the
// dispatch queue. On the dispatch thread the probe instance
// (probe/VLECMProbeInstance) merges it into the record of its address (a
// new address's copy becomes that record). Each record's chain: its
// unicast check on the check thread, all of a MAC's addresses at once;
// then, for each address that answered, at once, its commands on the
// record's command thread, in a place of its local network's (each network
// has places of its own, the named address one more). The table keeps each
// address's life, its chain included, and takes the one decision per MAC:
// the MAC is handed on (moved to the device list, reported to OnProbe)
// once, at the end of the first of its addresses' chains that succeeds; a
// second address that passes marks that record in conflict
// (GetConflictReports), before it is handed on when it passed first.
//
// Locks, in this order: m_DispatchCallbackSync, m_CallbackNotificationSync
// (a client's OnProbe runs under it and may remove a device),
// m_PostCallbackTargetMapSync and the probe instance's device-list lock.
// The post answers' lock (m_PostAnswers) comes before
// m_PostCallbackTargetMapSync; a post's loss runs outside it, a refused
// one's on the dispatch pass under m_DispatchCallbackSync.
// All are recursive, so a client callback on the dispatch thread may call
// the probe control operations. On the receive threads the reply filter's
// lock comes before the hand-on queue's. The MAC table's lock is taken
// after any of these and calls nothing outside. m_AccessSync serialises
// Initialize and Terminate; m_PropertyMapSync guards the option map and is
// taken alone.
#ifndef VLECM_H
#define VLECM_H

#include <atomic>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <pthread.h>

#include "base/core/VLString.h"
#include "base/core/VLThreadSync.h"
#include "base/thread/VLThread.h"
#include "cm/VLCallbackInfo.h"
#include "ecm/core/VLECMApi.h"
#include "ecm/core/VLECMBoundReport.h"
#include "ecm/core/VLECMCallbackIF.h"
#include "ecm/core/VLECMOwnerIF.h"
#include "ecm/core/VLECMDefs.h"
#include "ecm/core/VLECMMACState.h"
#include "ecm/VLECMNIFInfoFactoryIF.h"
#include "ecm/VLECMNIFInfoListFactoryIF.h"
#include "modules/probe/VLProbe.h"

class CVLECMNIFInfo;
class CVLModuleController;
class CVLECMProbeInstance;
class CVLECMLocalNetworks;
class CVLECMNIFInfoList;
class CVLProperty;
class CVLTarget;
class CVLTargetList;

class CVLECM : public CVLThread, public IVLECMOwnerIF
{
public:
    CVLECM();
    virtual ~CVLECM();

    // The dispatch thread's body.
    void OnThread(void* pData) override;

    // Lifecycle. pCallbackIF is required; the factories and the options
    // may be null. A second Initialize tears the first down. Called on the
    // dispatch thread, both are refused (they would wait for themselves).
    virtual VLECM_RESULT Initialize(IVLECMCallbackIF* pCallbackIF, IVLECMNIFInfoFactoryIF* pNIFInfoFactoryIF,
                                    IVLECMNIFInfoListFactoryIF* pNIFInfoListFactoryIF,
                                    const CVLECMPropertyMap* pPropertyMap);
    virtual void Terminate();
    // Why the last Initialize failed to load the definitions or start the
    // modules, in words (the file, the record or line, what was wrong);
    // empty when that part did not fail.
    std::string GetInitializeErrorText();

    // Options. The map is guarded, so lookups answer copies.
    virtual CVLECMPropertyMap GetPropertyMap();
    // The current value, or an empty text.
    CVLString GetProperty(VL_CONST_STR szPropertyKey) override;
    // Refuses null arguments and every key beginning with "Initialize.".
    virtual bool SetProperty(VL_CONST_STR szPropertyKey, VL_CONST_STR szValue);
    virtual long GetPropertyInt(VL_CONST_STR szPropertyKey);
    virtual bool SetPropertyInt(VL_CONST_STR szPropertyKey, int nValue);
    virtual bool GetPropertyBoolean(VL_CONST_STR szPropertyKey);
    virtual bool SetPropertyBoolean(VL_CONST_STR szPropertyKey, bool bValue);
    // False for a value of an option that a probe refuses (one that would
    // otherwise be taken for the default), with what the option takes in
    // strWanted; true for any other key or value.
    static bool CheckOptionValue(const CVLString& strKey, const CVLString& strValue, std::string& strWanted);
    // False for a key that no option has (case counts).
    static bool IsKnownOption(const CVLString& strKey);
    // Both judgements of a configuration's option in one lookup of its key.
    enum EOption
    {
        OPTION_TAKEN,    // a key of an option, its value one the option takes
        OPTION_UNKNOWN,  // a key that no option has (IsKnownOption false)
        OPTION_REFUSED   // a value the option refuses (CheckOptionValue false)
    };
    static EOption JudgeOption(const CVLString& strKey, const CVLString& strValue, std::string& strWanted);
    // The key of an option near one that no option has (a slip of the
    // keyboard), or empty.
    static std::string NearestOption(const CVLString& strKey);
    // For an option whose value names something of the loaded definitions
    // (the probe's and the reboot polling's function, a command's packet
    // list, the module instance of a broadcast or bind entry below the
    // probe's function): false when they have nothing of that name, with
    // what it must name and the names they have in strWanted. True for any
    // other option; true before Initialize, with nothing to check against.
    // A packet list is judged by the requests it sends, as the instance
    // that runs it resolves it: each command's only of its own kind (see
    // CVLECMRequestKinds).
    bool CheckOptionName(const CVLString& strKey, const CVLString& strValue, std::string& strWanted);
    // The same for the packet list each command's option resolves to, and
    // the functions of the probe and the reboot polling that the
    // definitions have, when they are not their defaults (a function they
    // lack fails where it is run; their file says why:
    // CVLModuleController::DescribeUndefinedFunction), as the options
    // in force stand, with pOptionMap's over them, defaults included: what
    // the first that does not fit is and why; empty when all fit (or before
    // Initialize). A probe judges its own so before it starts.
    std::string CheckResolvedPacketLists(const CVLECMPropertyMap* pOptionMap = nullptr);
    // Whether the address lies on one of the computer's local networks as
    // its interfaces are now (the networks a probe reaches), and their names
    // ("10.71.2.0/24 (eth1)") in networks.
    static bool IsOnLocalNetwork(const CVLString& strAddress, std::vector<std::string>& networks);
    // The same for many addresses at the cost of one reading of the
    // interfaces: the networks as they are now, then each address judged.
    static std::shared_ptr<const CVLECMLocalNetworks> ReadLocalNetworks();
    static bool IsOnLocalNetwork(const CVLECMLocalNetworks& networks, const CVLString& strAddress);
    static std::vector<std::string> GetLocalNetworkNames(const CVLECMLocalNetworks& networks);

    // Probe control and the device list.
    virtual VLECM_RESULT Probe(VLECM_PROBE_CONNECT_TYPE eProbeConnectType, const CVLECMPropertyMap* pProbeOptionMap);
    // Once it returns, nothing more is relayed to OnProbe, no reply of the
    // probe is admitted, and no chain starts a command: an address waiting
    // for its check or a place is judged stopped. A check or command under
    // way ends on its own and its address is judged by its answer: a device
    // that answered enters the device list (FindNIFInfo finds it), not
    // reported (an end that an override of PostCallbackUser holds, not
    // passed on yet, is judged stopped); GetPendingMACCount is 0 once they have ended. Every record
    // of the probe stays until the next Probe, RemoveNIFInfo,
    // RemoveAllNIFInfo or Terminate.
    virtual void StopProbe();
    // Stops the probe but leaves the probing state: the devices whose chains
    // are under way (waiting for a check or a place too) are still reported.
    // Always false.
    virtual bool StopProbeInstance();
    // The running probe sends its requests again, a round of the
    // definitions' schedule after the running one, from the same sockets
    // (a late reply to an earlier round is still heard). Nothing found is
    // dropped: a known device's reply merges into its record, and no
    // command goes again. False when no probe runs.
    bool ProbeAgain();
    virtual CVLECMNIFInfo* FindNIFInfo(VL_CONST_STR szMACAddress);
    virtual CVLECMNIFInfoList* GetNIFInfoList();
    // Removes the device whole: the records of every address of its MAC,
    // replies in flight included. Its MAC is not handed on again in this
    // probe, and no check starts for any of its addresses; GetMACState
    // tells it removed.
    virtual void RemoveNIFInfo(CVLECMNIFInfo* pNIFInfo);
    virtual void RemoveAllNIFInfo();
    virtual bool SetCallbackIF(IVLECMCallbackIF* pCallbackIF);
    virtual void SetCallbackNotification(bool bNotification);
    virtual bool IsCallbackNotification();

    CVLCMApi* GetApi() override;

    // Queues a command result of a device record for the dispatch thread.
    // An override may pass the post on to this one from any thread, at once
    // or later, and post notes of its own; the parts that post (through
    // PostCallbackQueued) learn of a refusal of their post alone. A device's
    // post that is never passed on leaves its device unjudged until the
    // probe stops; one passed on after its device was removed is dropped.
    // This never calls PostCallbackUser again: a refusal of a post passed
    // on after the override returned is handled on the dispatch thread's
    // next pass, so an override may hold a lock of its own across this call.
    void PostCallbackUser(CVLTarget* pTarget, VLCM_USER_CALLBACK pCallback, long lCallbackId,
                          void* pCallbackParam) override;

    // The local-network set-ups of a probe or a reboot polling: they enable
    // or disable the numbered socket instances below the root and give the
    // enabled ones their addresses; true when every entry was handled.
    bool SetupBindAddressInfo(CVLECMPropertyMap* pAddressInfoMap, VL_CONST_STR szRootModuleInstanceName,
                              const CVLECMPropertyMap* pOptionMap, CVLECMNIFInfo* pNIFInfo) override;
    bool SetupLocalDBCInfo(CVLECMPropertyMap* pAddressInfoMap, VL_CONST_STR szRootModuleInstanceName,
                           const CVLECMPropertyMap* pOptionMap, CVLECMNIFInfo* pNIFInfo) override;
    // A device record made and destroyed through the factory hooks.
    CVLTarget* MakeNIFInfo() override;
    void DestroyNIFInfo(CVLTarget* pTarget) override;
    // The local networks that the last SetupLocalDBCInfo had no entry left
    // for, in interface order ("10.71.6.0/24 (eth5)"): they get no directed
    // broadcast, only the limited one. nReached: the networks that got one.
    std::vector<CVLString> GetNetworksWithoutDirectedBroadcast(int& nReached);

    // The sockets a client keeps free for the follow-up chains of a probe
    // at the least, beside the probe's own. A probe raises the soft limit
    // as far as 64 places for each local network (and the replies from
    // none) need, and shares out what is free where that is less (see
    // CVLECMProbeInstance).
    enum
    {
        MAX_CHAIN_SOCKETS = 17
    };
    // What the client reads of a probe. The sends of the running probe so
    // far (all zero when no probe runs), which tell a probe whose every send
    // failed from one that nobody answered; the bounds' reports and the
    // conflicts are kept after the probe stops, until the next one starts.
    VLPROBE_SEND_STATUS GetProbeSendStatus();
    // What the probe's bounds refused, per network and bound, each report
    // naming the first nNamed of its devices.
    std::vector<SVLECMBoundReport> GetBoundReports(size_t nNamed);
    // True when a bound refused the device of that MAC address (any of its
    // usual forms) or, with no MAC address, the one at that address, and it
    // was never admitted; report then tells which bound, naming that device.
    bool FindRefusedDevice(const CVLString& strMAC, const CVLString& strAddress, SVLECMBoundReport& report);
    // What the probe's unicast ask of the named address learnt: the MACs
    // that answered it, or why it could not ask.
    SVLECMNamedAsk GetNamedAddressAnswers();
    // Datagrams dropped (more came than could be read) while a unicast check
    // that went unanswered waited, since the probe started: its
    // device's answer may have been among them.
    unsigned long GetUnicastCheckLostCount();
    // The admitted replies of devices not listed yet whose records still
    // wait to be delivered (held for their turn or in the dispatch queue):
    // the list lacks their devices. A listed device's waiting reply, which
    // only brings newer data, is not counted. None once the probe stops.
    int GetWaitingReplyCount();
    // Addresses of one MAC a probe tells apart, its first included.
    enum
    {
        MAX_ADDRESSES_PER_MAC = VLECM_MAX_ADDRESSES_PER_MAC
    };
    // What the probe's devices still do, kept as it changes (see
    // CVLECMProbeInstance): the chains not over, nChecking of them in or
    // waiting for their unicast check, each an address (claims included);
    // the addresses with a record (the devices' and the claims'), and the
    // devices (one per MAC).
    int GetUnfinishedChainCount(int& nChecking);
    int GetRecordCount();
    int GetDeviceCount();
    // The MACs that answered the probe (admitted), whether handed on,
    // removed by the client or still judged.
    int GetAnsweredMACCount();

    // How the probe judged each MAC: one decision per MAC, taken here (see
    // ecm/core/VLECMMACState.h). A client is handed a MAC (OnProbe, the
    // device list, FindNIFInfo) once, at the end of the first of its
    // addresses' chains that succeeds, whatever the others do before or
    // after (an address that did not answer unicast, the filter off, only
    // once every address is judged, it stands alone and no other address
    // answered unicast). The record handed on carries the MAC's state:
    // VLECM_CONFLICT_MARK_PATH reads "1" from the moment a second address
    // passed (already in OnProbe when it passed before the hand-on),
    // VLECM_OTHER_PASSED_PATH names the other addresses that passed; a
    // client reads them before it sends a change or a password. After
    // StopProbe a device is listed, not reported. A MAC in conflict is reported by
    // GetConflictReports. Everything is kept after the probe stops, until
    // the next one starts.
    //
    // The MAC (any of its usual forms) as judged now; false when it was not
    // heard in this probe.
    bool GetMACState(VL_CONST_STR szMACAddress, SVLECMMACState& state);
    // Every MAC heard for from that address (a refused or beyond one
    // included), each with its verdict: more than one when several MACs
    // answered from it.
    std::vector<SVLECMHeardAddress> FindAddress(VL_CONST_STR szAddress);
    // The MAC counted without copying its addresses; false when it was not
    // heard in this probe.
    bool GetMACSummary(VL_CONST_STR szMACAddress, SVLECMMACSummary& summary);
    // Every (MAC, address) heard in this probe, in any state: the kept
    // addresses, those a bound refused that are named and those beyond the
    // kept ones that the bounded lists hold; bMore when further ones were
    // only counted (GetCountedRefusalCount: the refused ones).
    std::vector<SVLECMHeardAddress> GetAllHeardAddresses(bool& bMore);
    unsigned long GetCountedRefusalCount();
    // The address the user names (empty or null: none), kept across probes
    // until changed: a reply from it is admitted and checked even beyond
    // the addresses kept per MAC, and its follow-up commands take a place
    // kept for it as soon as its own check passes.
    void SetNamedAddress(VL_CONST_STR szAddress);
    // The MAC the user names (any usual form; empty or null: none), kept
    // across probes until changed: a reply of it is admitted beyond its
    // network's and its source's bounds, which hosts could fill before the
    // device answers.
    void SetNamedMAC(VL_CONST_STR szMAC);
    // The MACs in conflict, in MAC order, each naming every address kept;
    // at most nReports of them, with bMore when there were more.
    std::vector<SVLECMConflictReport> GetConflictReports(size_t nReports, bool& bMore);
    // MACs whose verdict is pending: none once every address heard is
    // judged. Kept as it changes: asking costs nothing.
    int GetPendingMACCount();
    // Grows with every change of an address's state or a MAC's verdict
    // (and when a new probe starts). WaitForMACChange returns once it
    // differs from nSeen or nMilliseconds passed, with its value then;
    // GetMACsChangedSince names the MACs changed after nSeen.
    unsigned long GetMACChangeCount();
    unsigned long WaitForMACChange(unsigned long nSeen, int nMilliseconds);
    std::vector<CVLString> GetMACsChangedSince(unsigned long nSeen);
    // Runs fn with the record of that MAC at that address (empty: the
    // address the MAC was handed on from) when it exists and is not being
    // removed, under the lock RemoveNIFInfo takes, so the record stays
    // while fn runs. fn may start a command on it, not wait for one, and
    // must not keep the pointer while the probe runs. Taken after
    // StopProbe, the record stays the client's to use (commands waited
    // for included) until the client calls Probe, RemoveNIFInfo,
    // RemoveAllNIFInfo or Terminate. False (fn not run) when there is none.
    bool WithRecord(VL_CONST_STR szMACAddress, VL_CONST_STR szAddress, const std::function<void(CVLECMNIFInfo*)>& fn);

    // The relays of reports to the client.
    void OnProbe(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, bool bUnicast, bool bUpdateNIFInfo) override;
#define VLECM_COMMAND_RELAY_DECLARATION(ID, NAME, REPORT, CARRIED, RETRY)   \
    void On##NAME(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, \
                  VLECM_RESULT eResult VLECM_REPORT_PARAMS_##REPORT) override;
    VLECM_COMMAND_LIST(VLECM_COMMAND_RELAY_DECLARATION)
#undef VLECM_COMMAND_RELAY_DECLARATION

    // One dispatch pass after another until m_bStopCallbackLoop is set.
    virtual void dispatchCallbackLoop();

    // The lookup with a call's own map: that map, the current options, the
    // built-in table. pOptionMap and pbFound may be null.
    CVLString getOptionString(VL_CONST_STR szKey, const CVLECMPropertyMap* pOptionMap, bool* pbFound) override;
    virtual long getOptionInt(VL_CONST_STR szKey, const CVLECMPropertyMap* pOptionMap, bool* pbFound);
    virtual bool getOptionBool(VL_CONST_STR szKey, const CVLECMPropertyMap* pOptionMap, bool* pbFound);

    // The directed-broadcast addresses of the computer's IPv4 interfaces,
    // loopback excluded, each once, in interface order.
    virtual void getLDBCAddressListFromPC(std::list<CVLString>& addressList);
    // Keeps the networks of the addresses from itFirstLeft on, which no
    // entry of SetupLocalDBCInfo took.
    void noteNetworksWithoutDirectedBroadcast(const std::list<CVLString>& addressList,
                                              std::list<CVLString>::const_iterator itFirstLeft);

    // The path with a leading "$(APP_DIR)", "$(DEFAULT_DIR)" or
    // "$(LIBROOT_DIR)" expanded and every "\" made "/".
    CVLString expandPathMacro(VL_CONST_STR szPath) override;

    // The built-in option table (87 keys), built once per process.
    static void initDefaultOptionTable();
    static const CVLECMPropertyMap& getDefaultOptionTable();
    static CVLString getDefaultOptionString(VL_CONST_STR szKey);
    static bool getDefaultOptionBool(VL_CONST_STR szKey);
    static long getDefaultOptionInt(VL_CONST_STR szKey);
    // Whether the key is an option of a numbered broadcast or bind entry
    // ("Option.LocalDBCInfo.3.Enable").
    static bool isEntryOption(std::string_view strKey);
    // Whether the key is an entry's flag ("Option.BindAddress.N.Enable").
    static bool isEntryFlag(std::string_view strKey);

    // The factory hooks of the module framework.
    static CVLTarget* createNIFInfo(CVLCMApi* pApi);
    static void deleteNIFInfo(CVLCMApi* pApi, CVLTarget* pTarget);
    static CVLTargetList* createNIFInfoList(CVLCMApi* pApi);
    static void deleteNIFInfoList(CVLCMApi* pApi, CVLTargetList* pTargetList);
    static CVLProperty* createProperty(CVLCMApi* pApi, CVLProperty* pParent);
    static void deleteProperty(CVLCMApi* pApi, CVLProperty* pProperty);

    // The probe instance (the simulated probe reaches its devices through it).
    CVLECMProbeInstance& GetProbeInstance();
    // True on the dispatch thread.
    bool IsDispatchThread() override;

protected:
    // CheckOptionName for the packet list option strKey naming strName,
    // the probe's function resolved with pOptionMap over the options.
    bool checkPacketList(CVLModuleController* pController, const std::string& strKey, const std::string& strName,
                         const CVLECMPropertyMap* pOptionMap, std::string& strWanted);
    // CheckOptionName for a function option naming strName.
    static bool checkFunction(CVLModuleController* pController, const std::string& strName, std::string& strWanted);
    // Maps a failure caught by an operation with a result.
    static VLECM_RESULT resultFromCurrentException();

    CVLECMApi m_Api;
    std::map<CVLTarget*, void*> m_PostCallbackTargetMap;
    CVLThreadSync m_PostCallbackTargetMapSync;
    CVLThreadSync m_DispatchCallbackSync;
    IVLECMCallbackIF* m_pCallbackIF;
    IVLECMNIFInfoFactoryIF* m_pNIFInfoFactoryIF;
    IVLECMNIFInfoListFactoryIF* m_pNIFInfoListFactoryIF;
    // Held apart, so that the clients of this header see only values.
    std::unique_ptr<CVLECMProbeInstance> m_pProbeInstance;
    CVLECMPropertyMap m_CurrentPropertyMap;
    CVLThreadSync m_PropertyMapSync;
    CVLThreadSync m_AccessSync;
    bool m_bInitializeFlag;
    std::atomic<bool> m_bStopCallbackLoop;
    bool m_bCallbackNotification;
    bool m_bProbing;
    CVLThreadSync m_CallbackNotificationSync;
    CVLString m_strRootDirectoryPath;
    // What GetNetworksWithoutDirectedBroadcast answers, under its lock.
    std::vector<CVLString> m_NetworksWithoutDirectedBroadcast;
    int m_nNetworksReached = 0;
    CVLThreadSync m_NetworksWithoutDirectedBroadcastSync;
    // The running dispatch thread, for refusing calls that would join it.
    std::atomic<bool> m_bDispatchThreadRunning;
    std::atomic<pthread_t> m_DispatchThreadId;
};

#endif
