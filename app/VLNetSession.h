// One run of vlnet: the configuration, the communication manager and the
// devices it reports. A probe runs until it is over (the definitions' send
// schedule has passed, no reply of a device not yet listed still waits to
// be handled, no device is still in its follow-up commands, and nothing
// changed for a quiet second), the time-out, the device looked for, or a
// stop request (SIGINT, SIGTERM); one told to listen until its time-out
// probes in rounds until then.
#ifndef VLNETSESSION_H
#define VLNETSESSION_H

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/VLNetValueCheck.h"
#include "base/net/VLInterfaceAddress.h"
#include "ecm/core/VLECMBoundReport.h"
#include "ecm/core/VLECMDefs.h"
#include "pfw/PFWCommunicationManager.h"
#include "pfw/PFWConfiguration.h"
#include "pfw/VLPFWCallbackIF.h"
#include "pfw/VLPFWDefs.h"

class CVLNetStatusLine;
class CVLPFWNIFInfo;

class CVLNetSession : public IVLPFWCallbackIF
{
public:
    CVLNetSession();
    virtual ~CVLNetSession();

    // Reads the configuration below the resource folder (empty: share/vlnet
    // beside the program's folder) and initializes the communication
    // manager. On failure the result, and the reason in strError.
    VLPFW_RESULT Initialize(const std::string& strResourceDir, std::string& strError);
    void Terminate();

    // Probes. strFilterMAC ("00:26:AB:00:00:01" or empty) limits the devices
    // accepted; a device with strFindMAC or strFindIP ends the probe when
    // found, and until it answers the probe sends again, a round of its
    // schedule each time one has passed, up to the time-out. Looking for no
    // device, with bListenToTimeout the probe sends its rounds so until the
    // time-out (with strFilterMAC, until that device is judged). Devices are
    // printed as found when pStatusLine is given. bSoleAddress (a device
    // looked for by its MAC that is to be changed or sent a password): once
    // the MAC is judged at one address alone, one more round of the
    // schedule must pass without another address answering for it
    // (IsSoleAddressConfirmed).
    VLPFW_RESULT Probe(int nTimeoutSeconds, bool bListenToTimeout, const std::string& strFilterMAC,
                       const std::string& strFindMAC, const std::string& strFindIP, CVLNetStatusLine* pStatusLine,
                       bool bSoleAddress = false);
    // How the search for the device looked for stands, for the status line:
    // not heard yet, heard (its addresses checked, or judged), or heard only
    // from addresses that cannot be used (looked for on).
    enum ESearch
    {
        SEARCH_NOT_HEARD,
        SEARCH_HEARD,
        SEARCH_UNUSABLE
    };
    ESearch GetSearch() const { return m_eSearch; }
    // Where a search says, at once, that its MAC was heard only from
    // addresses that cannot be used (UnusableText); standard error when
    // none is given.
    void SetNoteWriter(const std::function<void(const std::string&)>& fnNote)
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_fnNote = fnNote;
    }
    // True when the extra round bSoleAddress asked for passed with no other
    // address heard for the MAC.
    bool IsSoleAddressConfirmed() const { return m_bSoleAddressConfirmed; }
    // True when, looking for a MAC a change or a password goes to
    // (bSoleAddress), the probe ended as soon as a second address answered
    // for it: nothing its checks say could let the change go.
    bool IsSeveralAnswered() const { return m_bSeveralAnswered; }
    // True when the last probe ended at its time-out.
    bool IsTimedOut() const { return m_bTimedOut; }
    // True when the last probe sent nothing at all (every send failed);
    // nError is then the error number of the first failure.
    bool IsNothingSent(long& nError) const;
    // Why the probe's list was refused before it was sent; empty when it
    // was not.
    std::string GetSendRefusal() const { return m_strSendRefusal; }
    // True when the last probe could hear none of its replies: no thread
    // to receive them could start; nError is then the error number
    // (errno's) of the first that could not. One that heard only some of
    // them says so among GetIncompleteReasons.
    bool IsDeaf(long& nError) const;
    // Why the last probe's list may be short, one line each for standard
    // error: a stop before the probe was over, devices a bound refused,
    // replies lost or not listened for, replies of devices not yet listed
    // still waiting to be handled or devices still waiting for their
    // commands at the time-out or the stop. Empty when the list is whole.
    std::vector<std::string> GetIncompleteReasons();
    // A device that answered the last probe but is not listed, and why:
    // "no answer to unicast", "unicast check failed: REASON", "still waiting
    // for its commands at the time-out" (or "when stopped"), "its commands
    // failed: REASON", "refused by a bound: BOUND" (then it has no model:
    // its reply was not kept).
    struct SUnlisted
    {
        std::string strMAC;
        std::string strIP;
        std::string strModel;
        std::string strReason;
        bool bUnicast = false;  // it did answer by unicast
        bool bSilent = false;   // nothing came from its address to its unicast check
        bool bRefused = false;  // a bound refused it
        bool bPending = false;  // its check or commands were not over (the reason says when)
        bool bOffNetwork = false;  // on none of this computer's networks
        bool bOwnAddress = false;  // off them, its reply names it as its own (SAddress)
    };
    // Those of the last probe (with a filtering MAC address, that device
    // alone): the device list's in its order, then those a bound refused,
    // at most kMaxNamedRefused of a bound on a network; none for url, open
    // and run.
    std::vector<SUnlisted> GetUnlisted();
    // The devices a bound refused beyond those named, one line each for
    // standard error after the named ones ("78 more devices refused by a
    // bound: BOUND"); none with a filtering MAC address.
    std::vector<std::string> GetUnnamedRefused() { return m_UnnamedRefused; }
    enum
    {
        kMaxNamedRefused = 10
    };
    // Why the device looked for was refused by a bound when it was not
    // found ("more than 512 devices on 10.71.2.0/24"); empty otherwise.
    std::string GetRefusal() const { return m_strRefusal; }
    // The MACs, when two hosts answered the ask of the address looked for
    // ("A and B"); a refusal there is not said then.
    std::string GetTwoHosts() const { return m_strTwoHosts; }
    // Why the address looked for could not be asked which MAC answers
    // there ("unicast probe failed: REASON"), which ended the search at
    // once; empty otherwise.
    std::string GetAskFailure() const { return m_strAskFailure; }
    // The local networks that the last probe reached by the limited
    // broadcast alone, as one line for standard error; empty when it sent
    // a directed broadcast to each of them.
    std::string GetLimitedOnlyNote() const { return m_strLimitedOnlyNote; }
    // The interfaces that were down, up without carrier or up without an
    // IPv4 address at the last probe, whose networks it left out, as one
    // line for standard error; empty when none was.
    std::string GetDownNote() const { return m_strDownNote; }
    // The interfaces of that line.
    std::vector<std::string> GetDownInterfaces() const { return m_DownInterfaces; }
    // Those up without carrier, and those up without an IPv4 address.
    std::vector<std::string> GetUnpluggedInterfaces() const { return m_UnpluggedInterfaces; }
    std::vector<std::string> GetUnaddressedInterfaces() const { return m_UnaddressedInterfaces; }
    // What the probe running waits for: the addresses in or waiting for
    // their unicast check, and those whose commands are not over.
    void GetWaitCounts(int& nChecking, int& nCommands);
    // That line for the computer's interface addresses, naming also those
    // up without carrier, and the interfaces given as up without an IPv4
    // address (UnaddressedInterfaces), whose networks it left out too.
    static std::string DownNote(const std::vector<VLInterfaceAddress>& entries,
                                const std::vector<std::string>& unaddressed = std::vector<std::string>());
    // The broadcast links that are up without an IPv4 address (not the
    // ports of a bridge or bond), in the kernel's order.
    static std::vector<std::string> UnaddressedInterfaces();
    // Why a device at strIP cannot be reached when its network is that of
    // an interface that is down or up without carrier (the probe leaves it
    // out), for standard error: "10.0.2.7 is on the network of interface
    // eth2 (10.0.2.5/24), which is down: bring it up (ip link set eth2
    // up)"; empty when no such interface holds it.
    static std::string DownNetworkText(const std::vector<VLInterfaceAddress>& entries, const std::string& strIP);
    // The interfaces the probe's limited broadcast leaves through (up with
    // carrier, not a loopback nor a point-to-point link), each once: the links a device
    // that answered it may be on.
    static std::vector<std::string> BroadcastInterfaces();
    static std::vector<std::string> BroadcastInterfaces(const std::vector<VLInterfaceAddress>& entries);
    // True when the device looked for was not found, but a device of its
    // MAC (or IP) address answered the last probe and not by unicast.
    bool IsFoundNotUnicast() const { return m_bFoundNotUnicast; }
    // Why, then ("no answer to unicast", "in its unicast check", ...).
    std::string GetNotUnicastReason() const { return m_strNotUnicastReason; }
    // True when that address did answer its unicast check, and was not
    // used for another reason (its commands failed or were still running,
    // it answered with another MAC): then "not by unicast" is not what
    // happened.
    bool IsFoundAnsweringUnicast() const { return m_bFoundAnsweringUnicast; }
    // True when that address's check or commands were not over: the reason
    // says where it was ("in its unicast check at the time-out").
    bool IsFoundPending() const { return m_bFoundPending; }
    // Says on standard error, once, that definition scripts failed since the
    // last call (a condition that fails drops the reply it judges); the
    // failures it said, 0 when none.
    unsigned long ReportScriptFailures();
    // The device looked for, when it was found.
    CVLPFWNIFInfo* GetFoundNIFInfo();
    int GetFoundCount();
    // The devices (one per MAC) that answered the probe running, those of
    // other MACs than the one looked for too.
    int GetAnsweredCount();
    std::string GetWebConfigURL(CVLPFWNIFInfo* pNIFInfo);

    // Sets the assignments on the record, the password when given, and runs
    // the device command (for SetDetail after a GetDetail, so that only the
    // given values change). The command's result, and why it failed in
    // strError (a command that changes the device and was stopped or timed
    // out once it had started: that the device may have taken the change).
    // fnCheckRead, when given, judges the record as read before anything
    // of the command is set or sent: its refusal (a text) ends the run with
    // VLECM_RESULT_PARAMETER_ERROR and that text.
    VLECM_RESULT RunCommand(CVLPFWNIFInfo* pNIFInfo, const std::string& strCommand, const std::string* pPassword,
                            const std::vector<std::pair<std::string, std::string>>& assignments, std::string& strError,
                            const std::function<std::string(CVLPFWNIFInfo*)>& fnCheckRead = nullptr);
    // Every address a device answered the last probe from, with its MAC
    // ("00:26:AB:00:00:01").
    std::vector<std::pair<std::string, std::string>> GetHeardAddresses();
    // The MACs that answered their unicast check from strIP in the last
    // probe (more than one: devices share the address), in MAC order.
    std::vector<std::string> GetMACsAnsweringAt(const std::string& strIP);
    // The addresses more than one MAC answered its unicast check from, each
    // with those MACs, in address order.
    std::vector<std::pair<std::string, std::vector<std::string>>> GetSharedAddresses();

    // The fields that a device command's request carries, as the loaded
    // definitions lay it out (its packet list by the device manager's
    // options); with a device, as its requests lay it out.
    std::vector<CVLNetValueCheck::SField> GetRequestFields(const std::string& strCommand,
                                                           CVLPFWNIFInfo* pNIFInfo = nullptr);
    // True when the command's request carries the device's password.
    bool NeedsPassword(const std::string& strCommand);
    // The datagram of a probe sent to one address, and the devices' port,
    // as the definitions lay them out; empty when they have no probe.
    std::string GetProbeRequest(unsigned short& nPort);
    // True when the command's request changes the device (SetDetail, FactReset).
    static bool WritesDevice(const std::string& strCommand);
    // True when the command returns the device's settings to the factory's
    // (FactReset).
    static bool ResetsDevice(const std::string& strCommand);
    // True when the command's reply says that the device restarts to apply it.
    static bool IsRestartPending(CVLPFWNIFInfo* pNIFInfo, const std::string& strCommand);
    // True when the record holds what the device answered the command: it
    // succeeded, or CheckPassword's wrong password came with the tries left.
    static bool HoldsAnswer(CVLPFWNIFInfo* pNIFInfo, const std::string& strCommand, VLECM_RESULT eResult);
    // The longest the command waits for the device, in seconds, when it
    // waits longer than an exchange (RebootPolling: the device's restart);
    // 0 for the others.
    long GetMostWaitSeconds(const std::string& strCommand);
    // Why a command failed, from its result and the device's own result
    // code (0 when the device sent none); a refused password is a missing
    // one when none was given.
    static std::string FailureText(VLECM_RESULT eResult, long nDeviceResult, bool bPasswordGiven = true);

    void OnProbe(VL_CONST_STR szMACAddress, CVLPFWNIFInfo* pNIFInfo) override;

    // The device manager the session runs, for tests that lay its devices
    // on loopback.
    CVLECM& GetVLECM() { return m_CommunicationManager.GetVLECM(); }

    // The other addresses the device's MAC answered the last probe from
    // (each checked apart), strIP aside, in address order.
    std::vector<std::string> GetOtherAddresses(const std::string& strMAC, const std::string& strIP);
    // The MAC ("00:26:AB:00:00:01") that answered the last probe from
    // strIP when a bound refused that address for it; empty when none did.
    std::string FindUncheckedMAC(const std::string& strIP);
    // The addresses of a MAC whose unicast check passed in the last probe,
    // the listed one first.
    std::vector<std::string> GetPassedAddresses(const std::string& strMAC);
    // Sorts dotted quads by their value.
    static void SortAddresses(std::vector<std::string>& addresses);
    // The MACs listed by the last probe, in their order.
    std::vector<std::string> GetListedMACs();
    // The line of a listed MAC with its marks as they are now; empty when
    // it is not listed.
    std::string GetDeviceLine(const std::string& strMAC);
    // Addresses of one MAC that a probe tells apart, its first included;
    // of the addresses of a MAC on none of the computer's networks, and of
    // those never checked for one reason, those a report names (the others
    // it counts: hosts may hold thousands).
    enum
    {
        kMaxAddressesPerMAC = 64,
        kNamedUnreachable = 3
    };
    // How one address of a MAC stands: its check passed (for the address
    // listed, its commands too), not over (at the time-out or stop),
    // failed, or never checked (a bound refused it); why in strReason.
    enum EAddressState
    {
        ADDRESS_PASSED,
        ADDRESS_PENDING,
        ADDRESS_FAILED,
        ADDRESS_UNCHECKED
    };
    struct SAddress
    {
        std::string strIP;
        EAddressState eState = ADDRESS_PENDING;
        std::string strReason;
        // The address the MAC is listed at.
        bool bListed = false;
        // The model its replies named (empty when none was handled), and
        // whether it answered its unicast check with the MAC.
        std::string strModel;
        bool bUnicast = false;
        // Its reply waits to be handled: it has no record yet.
        bool bHeardOnly = false;
        // Nothing came from its address to its unicast check (yet): it is
        // one that answered the probe but not by unicast.
        bool bSilent = false;
        // Its address is on none of this computer's networks: unicast
        // cannot reach it, whatever another round would hear.
        bool bOffNetwork = false;
        // Off them, its reply to the probe names it as the device's own
        // address, as a device's does and a claim from another host's
        // seldom: a report always names it.
        bool bOwnAddress = false;
        // Its check or commands waited for what the computer lacked (a
        // descriptor, a thread): that, and the limit to raise; empty else.
        std::string strLack;
    };
    // Every address the MAC answered the last probe from, in the order
    // heard (those never checked last); bMore when it answered from more
    // than kMaxAddressesPerMAC, the others not checked.
    std::vector<SAddress> GetAddresses(const std::string& strMAC, bool& bMore);
    // The line a search says when its MAC was heard only from addresses
    // that cannot be used (see SetNoteWriter): the addresses by why, those
    // on none of the computer's networks beyond kNamedUnreachable counted;
    // empty when none is to be named (a bound refused them).
    static std::string UnusableText(const std::string& strMAC, const std::vector<SAddress>& addresses,
                                    int nTimeoutSeconds);
    // The same for a search by address: the MACs heard there, by why none
    // can be used, the first of each named and the rest counted.
    static std::string UnusableAtText(const std::string& strIP, const std::vector<SVLECMHeardAddress>& heard,
                                      int nTimeoutSeconds);
    // When IsSeveralAnswered, the MAC's addresses as they stood as the probe
    // ended (its stop cut their checks short).
    std::vector<SAddress> GetSeveralAddresses() const { return m_SeveralAddresses; }
    // The device manager's decision on the MAC in the last probe: judged
    // (at one address or more than one) or not yet, or not heard at all.
    enum EVerdict
    {
        VERDICT_NOT_HEARD,
        VERDICT_PENDING,
        VERDICT_ONE,
        VERDICT_CONFLICT,
        VERDICT_NONE
    };
    EVerdict GetVerdict(const std::string& strMAC);
    EAddressState GetAddressState(const std::string& strMAC, const std::string& strIP, std::string& strReason);
    // The marks of a device line: the other addresses its MAC answered
    // from ("also answered from 10.0.0.9"); empty when none.
    static std::string Marks(const std::vector<std::string>& others, unsigned long nUnchecked, bool bMore);
    // The listed devices of the last probe whose unicast check passed at
    // more than one address, in the order of their MACs.
    struct SConflict
    {
        std::string strMAC;
        std::vector<std::string> passed;
    };
    std::vector<SConflict> GetConflicts();
    // When the last probe looked for a device by an address that answered
    // it but failed its check, and the address's MAC passed its check at
    // another address: that MAC and that address; empty otherwise. (An
    // address that passed, the MAC's listed one or not, is the device found.)
    std::string GetPassedMACInstead() const { return m_strPassedMACInstead; }
    std::string GetPassedAddressInstead() const { return m_strPassedAddressInstead; }
    // Then how the address given fared: "not by unicast", or "was not used
    // (WHY)" when it did answer its unicast check.
    std::string GetNotUsedWhy() const { return m_strNotUsedWhy; }
    // Asks a running probe or command wait to end, for the signal given
    // (safe in a signal handler).
    static void RequestStop(int nSignal);
    static bool IsStopRequested();
    // The signal of the stop asked for; 0 when none was.
    static int GetStopSignal();
    // One output line of a device: MAC<TAB>IP<TAB>MODEL, and <TAB>MARKS
    // when it has marks, each part shown by PrintableText so that a line
    // stays one line of text.
    static std::string FormatDeviceLine(const std::string& strMAC, const std::string& strIP,
                                        const std::string& strModel, const std::string& strMarks = std::string());
    // A device's text for a terminal: control characters as blanks, and a
    // byte that is not part of well-formed UTF-8 as "\xFF".
    static std::string PrintableText(const std::string& str);
    // Names in a sentence: "A", "A and B", "A, B and C".
    static std::string ListText(const std::vector<std::string>& names);

private:
    // How the device looked for stands: not heard yet, its addresses not
    // all judged, judged (found or refused: what FindDevice says), or, by
    // its MAC, heard only from addresses that cannot be used, claimants
    // perhaps heard before the device (looked for on until the time-out).
    enum ETarget
    {
        TARGET_NOT_HEARD,
        TARGET_PENDING,
        TARGET_JUDGED,
        TARGET_FAILED
    };
    // What a probe is for, as Probe was asked: how long it may run, its
    // send schedule, the device looked for, the MAC it is limited to.
    struct SProbeGoal
    {
        std::chrono::steady_clock::time_point start;
        int nTimeoutSeconds = 0;
        long nTimeoutMilliseconds = 0;
        long nScheduleMilliseconds = 0;
        bool bFindOne = false;
        bool bListen = false;
        bool bSoleAddress = false;
        std::string strFindMAC;
        std::string strFindIP;
        std::string strOnlyMAC;
    };
    // Forgets what the last probe found.
    void resetProbe(const SProbeGoal& goal, CVLNetStatusLine* pStatusLine);
    // Waits, on the device manager's changes, until the probe is over, the
    // device looked for is judged, the time-out or a stop; how a probe that
    // did not end by itself ended (kCutByTimeout, kCutByStop), else null.
    const char* waitForEnd(const SProbeGoal& goal, CVLNetStatusLine* pStatusLine);
    // What waitForEnd has seen so far, from one pass to the next.
    struct SWaitState
    {
        // What changed last, and when: the addresses with a record and the
        // devices listed (not the table's every change: a device whose
        // replies keep coming changes its address's state with each).
        int nLastRecords = -1;
        int nLastReports = -1;
        unsigned long nJudgedChange = 0;
        long nLastChange = 0;
        long nLastStatus = 0;
        long nLastTrim = 0;
        long nNextRound = 0;
        // The device looked for as last judged, judged again only when the
        // device manager's verdicts or the devices handed on changed.
        bool bJudged = false;
        ETarget eTarget = TARGET_NOT_HEARD;
        size_t nTargetAddresses = 0;
        bool bSole = false;
        // The extra round a sole address waits for: when it ends (-1: not
        // begun), and the addresses heard for the MAC when it began.
        long nSoleRoundEnd = -1;
        size_t nSoleRoundAddresses = 0;
        // The MAC looked for was said to be heard only from addresses that
        // cannot be used.
        bool bUnusableSaid = false;
    };
    // Says that line (UnusableText), through the status line when given.
    void noteUnusable(const SProbeGoal& goal, CVLNetStatusLine* pStatusLine);
    // True when the device looked for is decided: found, or, for a change
    // by MAC, refused for a second address or confirmed alone by the extra
    // round.
    bool isTargetDecided(const SProbeGoal& goal, SWaitState& state, long nElapsed);
    // Sends another round when one is due; false when no round could find
    // the device looked for (or a device of a probe that listens).
    bool probeAgainWhenDue(const SProbeGoal& goal, SWaitState& state, bool bRounds, long nElapsed);
    // Shows the status line when due, then waits until the table changes
    // or the next thing falls due.
    void waitForNextDue(const SProbeGoal& goal, SWaitState& state, CVLNetStatusLine* pStatusLine,
                        unsigned long nMACChange, bool bRounds, bool bPending, long nElapsed);
    // Notes what the probe's end says (GetIncompleteReasons, GetUnlisted,
    // the device looked for) and stops it.
    void noteEnd(const SProbeGoal& goal, const char* szCut);
    // The device looked for as the device manager judged it; nAddresses:
    // the addresses heard for its MAC, bSole: judged at one address that
    // no other address answered with.
    ETarget judgeTarget(size_t& nAddresses, bool& bSole);
    // False when another round of the probe cannot find the device looked
    // for: a bound refused it (and would again), or no probe datagram could
    // leave or none of the replies be heard (which the probe's end says).
    bool isWorthAnotherRound(const std::string& strFindMAC, const std::string& strFindIP);
    // The MAC of the device looked for: the found one's, or that of a
    // record at the MAC or address looked for; empty when none answered.
    std::string findTargetMAC();
    // Before the probe stops: fills the reasons of GetIncompleteReasons.
    // szCut: how a probe that did not end by itself ended ("at the
    // time-out", "when stopped"), for the devices it left waiting; null
    // when it ended by itself or they do not matter.
    void noteIncomplete(const std::vector<SVLECMBoundReport>& reports, const char* szCut);
    // Before the probe stops: names the devices the bounds refused (in
    // GetUnlisted and GetUnnamedRefused, strFilterMAC alone when given), or
    // notes why the device looked for was refused.
    void noteRefused(const std::vector<SVLECMBoundReport>& reports, const std::string& strFilterMAC, bool bFindOne);
    // True when the list holds the device looked for, heard but not by unicast.
    bool hasNonUnicastMatch();
    // Why the address cannot be reached by unicast when it is on none of
    // this computer's networks (and whether its reply names it as its own);
    // empty when it is on one. view: the computer's networks, read at its
    // first use.
    struct SLocalView;
    std::string offNetworkReason(const std::string& strMAC, SAddress& address, SLocalView& view);
    // A refused or uncounted address on none of the computer's networks is
    // said as unreachable, as a kept one is: true when it was.
    bool sayUnreachable(const SVLECMMACState& state, const SVLECMMACAddress& found, SAddress& address,
                        SLocalView& view);
    // Says the address as unreachable (failed, with why) when it is on
    // none of the computer's networks; false, untouched, otherwise.
    bool sayUnreachable(const std::string& strMAC, SAddress& address, SLocalView& view);
    // The device looked for at strIP when the address passed its check
    // without being its MAC's listed one; otherwise notes the MAC that
    // passed elsewhere (GetPassedMACInstead). Only once the probe stopped:
    // no record is removed after it until the next probe.
    void findByAddress(const std::string& strIP);
    // Before the probe stops: fills GetUnlisted with the listed devices
    // (strFilterMAC alone when given) that were not accepted; szCut as for
    // noteIncomplete.
    void noteUnlisted(const char* szCut, const std::string& strFilterMAC);
    // Fills GetLimitedOnlyNote from the device manager's set-up of the probe.
    void noteLimitedOnly();
    // Lists again, marked, the devices listed before another address
    // answered for their MAC (only the MACs changed since the last look,
    // each read whole only when its count of addresses changed).
    void markConflicts();
    // The addresses heard for a MAC, as its summary counts them.
    unsigned long countHeard(const std::string& strMAC);
    // The MACs of this probe that kept an address (not those only a bound's
    // refusals name), read by their summaries; with bUnicast, only those
    // an address of which may have answered unicast.
    std::vector<std::string> keptMACs(bool bUnicast);
    // Marks of a MAC's line listed at strIP.
    std::string marksOf(const std::string& strMAC, const std::string& strIP);
    long probeScheduleMilliseconds();
    VLECM_RESULT runAndWait(CVLPFWNIFInfo* pNIFInfo, VLECM_COMMAND eCommand, bool bPasswordGiven,
                            std::string& strError);

    CPFWConfiguration m_Configuration;
    CPFWCommunicationManager m_CommunicationManager;
    bool m_bInitialize;

    // What OnProbe fills on the dispatch thread, under m_Mutex.
    std::mutex m_Mutex;
    CVLPFWNIFInfo* m_pFoundNIFInfo;
    std::string m_strFindMAC;
    std::string m_strFindIP;
    CVLNetStatusLine* m_pStatusLine;
    int m_nChangeCount;
    // The last probe's sends: none left the computer, and why.
    bool m_bNothingSent;
    bool m_bFoundNotUnicast;
    bool m_bFoundPending = false;
    bool m_bFoundAnsweringUnicast = false;
    std::string m_strNotUnicastReason;
    long m_nSendError;
    std::string m_strSendRefusal;
    // The last probe heard none of its replies, and why.
    bool m_bDeaf;
    long m_nDeafError;
    std::vector<std::string> m_IncompleteReasons;
    std::string m_strLimitedOnlyNote;
    std::string m_strDownNote;
    std::vector<std::string> m_DownInterfaces;
    std::vector<std::string> m_UnpluggedInterfaces;
    std::vector<std::string> m_UnaddressedInterfaces;
    std::vector<SUnlisted> m_Unlisted;
    std::vector<std::string> m_UnnamedRefused;
    std::string m_strRefusal;
    std::string m_strTwoHosts;
    std::string m_strAskFailure;
    std::string m_strPassedMACInstead;
    std::string m_strPassedAddressInstead;
    std::string m_strNotUsedWhy;
    // Printed devices: their line's parts and its marks as printed (with a
    // filtering MAC address, kept for the end: see GetDeviceLine).
    struct SPrinted
    {
        std::string strIP;
        std::string strModel;
        std::string strMarks;
        // The addresses heard for the MAC when its marks were made: they
        // change only with these.
        unsigned long nHeard = 0;
    };
    std::map<std::string, SPrinted> m_PrintedLines;
    // The device manager's count of changes at the last look.
    unsigned long m_nMACChangeSeen = 0;
    // The filtering MAC address of the probe (empty: none).
    std::string m_strFilterMAC;
    bool m_bSoleAddressConfirmed = false;
    bool m_bSeveralAnswered = false;
    std::vector<SAddress> m_SeveralAddresses;
    bool m_bTimedOut = false;
    std::atomic<ESearch> m_eSearch{SEARCH_NOT_HEARD};
    std::function<void(const std::string&)> m_fnNote;
    // probe --mac: the device's line waits until its addresses are judged.
    bool m_bHoldLines = false;

    static std::atomic<int> s_nStopSignal;
};

#endif
