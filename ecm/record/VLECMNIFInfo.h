// A found device: a target of the module framework with the device
// manager's facts about it (MAC address text, connection and unicast flags,
// the simulated-device mark, the probe-report flag) and its own command
// thread, on which one device command at a time runs; a network device's
// CheckUnicast runs instead on the check runner the probe hands it
// (IVLECMCheckRunnerIF). A command's end is queued to the owning device
// manager and delivered on its dispatch thread to the callback interface the
// command was started with.
#ifndef VLECMNIFINFO_H
#define VLECMNIFINFO_H

#include <cstddef>
#include <memory>
#include <string>

#include "base/core/VLString.h"
#include "base/core/VLThreadSync.h"
#include "base/thread/VLThread.h"
#include "cm/VLTarget.h"
#include "ecm/core/VLECMDefs.h"

class CVLCallbackInfo;
class IVLECMCheckRunnerIF;
class IVLECMOwnerIF;
class CVLModuleInstance;
class CVLModuleParamCollection;
class CVLProperty;
class EVLException;
class IVLECMCallbackIF;
class IVLECMCommandKind;

class CVLECMNIFInfo : public CVLTarget, public CVLThread
{
public:
    CVLECMNIFInfo();
    // Stops a running command and waits for its thread.
    virtual ~CVLECMNIFInfo();

    // The device manager the record reads its options from and reports to.
    virtual void SetOwnerVLECMInstance(IVLECMOwnerIF* pOwner);
    virtual IVLECMOwnerIF* GetOwnerVLECMInstance();
    // Who runs the record's unicast check while a probe holds it (null:
    // the check runs on a command thread as the other commands do).
    virtual void SetCheckRunner(IVLECMCheckRunnerIF* pRunner);
    virtual IVLECMCheckRunnerIF* GetCheckRunner();
    virtual void SetMACAddress(VL_CONST_STR szMACAddress);
    virtual CVLString GetMACAddress();
    virtual void SetDummy(bool bDummy);
    virtual bool IsDummy();
    // The property at a dotted path below the root, made on request.
    virtual CVLProperty* GetProperty(VL_CONST_STR szPath);
    // Writes the text (UTF-8) at the path; false when it cannot.
    virtual bool SetPropertyString(VL_CONST_STR szPath, VL_CONST_STR szValue);
    virtual bool IsProbeCallbackCompletion();
    virtual void SetProbeCallbackCompletion(bool bCompletion);
    // Connection and unicast flags by connect type; "all" sets or asks both.
    virtual void SetConnect(VLECM_CONNECT_TYPE eConnectType, bool bConnect);
    virtual bool IsConnect(VLECM_CONNECT_TYPE eConnectType);
    virtual void SetUnicast(VLECM_CONNECT_TYPE eConnectType, bool bUnicast);
    virtual bool IsUnicast(VLECM_CONNECT_TYPE eConnectType);
    // Overlays the other record's properties on this one and ORs its flags
    // (the simulated-device mark included).
    virtual void MargeNIFInfo(CVLECMNIFInfo& src);
    // Hands the property text to the debug hook when tracing would show it;
    // while tracing is off nothing is built. Never throws.
    virtual void DebugHookProperties();

    // The device commands a client starts: each runs on the command thread
    // and reports to the owning device manager. 0 when started; 2 without
    // an owner, 4 for a bad connect type, 1 while another command runs;
    // 15 when its thread cannot start, which ends the command with that
    // result, unreported.
#define VLECM_COMMAND_STARTER(ID, NAME, REPORT, CARRIED, RETRY) \
    virtual VLECM_RESULT NAME(VLECM_CONNECT_TYPE eConnectType, const CVLECMPropertyMap* pOptionMap);
    VLECM_COMMAND_LIST(VLECM_COMMAND_STARTER)
#undef VLECM_COMMAND_STARTER

    // Starts a command reporting to the owning device manager.
    virtual VLECM_RESULT StartCommand(VLECM_COMMAND eCommand, VLECM_CONNECT_TYPE eConnectType,
                                      const CVLECMPropertyMap* pOptionMap);
    // Starts a command reporting to pCallbackIF (may be null: no report).
    virtual VLECM_RESULT StartCommandAsync(VLECM_COMMAND eCommand, VLECM_CONNECT_TYPE eConnectType,
                                           const CVLECMPropertyMap* pOptionMap, IVLECMCallbackIF* pCallbackIF);
    // Starts a command of a probe's follow-up chain: as StartCommandAsync,
    // but its end is reported also when it is stopped (result 17), so that
    // the chain waiting for it ends and frees what it holds.
    // The options are shared, not copied: a probe starts thousands.
    virtual VLECM_RESULT StartChainCommand(VLECM_COMMAND eCommand, VLECM_CONNECT_TYPE eConnectType,
                                           const CVLECMSharedOptions& pOptions, IVLECMCallbackIF* pCallbackIF);
    // Stops the running command (its end is not reported, unless a chain
    // started it) and waits for the command thread. Does nothing when
    // called on that thread.
    virtual void StopCommand();
    // Stops the running command without waiting for its thread (End waits),
    // so that many commands can be stopped at once.
    virtual void RequestStopCommand();
    virtual bool IsCommandRunning();
    // The result of the last finished command.
    virtual VLECM_RESULT GetCommandResult();
    // The result code of the device's error reply that ended the last
    // finished command (0xF003 a wrong password, ...); 0 when none did.
    virtual long GetCommandDeviceResult();
    // What the computer lacked when the last command could not start its
    // thread or open its socket (descriptors, threads): it never reached
    // the device. VLECM_LACK_NONE for any other end.
    virtual VLECM_LACK GetCommandLack();
    // The running command's request has left: it holds its thread and its
    // socket (or its place on the checks' socket).
    bool HasCommandSent();
    virtual bool IsCommandShortOfDescriptors();
    // Why the last finished command's packet list was refused before it was
    // sent (it held a request of another kind); empty when it was not.
    std::string GetCommandRefusal();
    // What a failure says the computer lacked: a socket or file that could
    // not open for want of descriptors, a thread that could not start for
    // want of resources; VLECM_LACK_NONE for any other.
    static VLECM_LACK LackOf(const EVLException* pException);
    // How the last unicast check ended, as the device's answer (or its
    // absence) gave it: 10 when the device did not answer, before a
    // probe without filtering counts that as success; and the result code
    // of the device's error reply, 0 when none. 0 and 0 before a check ends.
    virtual VLECM_RESULT GetUnicastCheckResult();
    virtual long GetUnicastCheckDeviceResult();
    // True when the last unicast check timed out though datagrams came from
    // the device's address: none was the device's reply (one with another
    // MAC, say).
    virtual bool IsUnicastCheckAnsweredOtherwise();

    void OnThread(void* pData) override;
    // A command thread's controller, with the command stack.
    CVLThreadController* CreateController() override;

    // The stack of a command thread. A probe may hold hundreds of them: with
    // the system's default of 8 MB each, every place of six networks held
    // took 3.2 GB of address space. A command takes some 13 KB; the most
    // one can take is a definition script that calls its own function
    // again, each call through the VLPC module, up to the script runs'
    // nesting bound (CVLScriptRun::MAX_NESTING): 470 KB.
    static constexpr size_t COMMAND_STACK_BYTES = 1024 * 1024;

    // For the check runner that runs the record's CheckUnicast: the unicast
    // function's time-out and retry for the command, and its packet list,
    // from the options; and the end of the check (nDeviceResult: the code of
    // the device's error reply, 0 when none).
    void getUnicastParams(VLECM_COMMAND eCommand, CVLModuleParamCollection& params, CVLString& strPacketList);
    // bAnsweredOtherwise: datagrams came from its address, none its reply;
    // eLack: what the computer lacked for its request to leave; strRefusal:
    // why its request was refused before it left (GetCommandRefusal).
    void endCheck(VLECM_RESULT eResult, long nDeviceResult, bool bAnsweredOtherwise = false,
                  VLECM_LACK eLack = VLECM_LACK_NONE, const std::string& strRefusal = std::string());
    // For a command kind: waits up to nMilliseconds; false when the command
    // was stopped.
    virtual bool waitCommand(long nMilliseconds);

    // Delivers a finished command on the dispatch thread.
    static void nifCommandCallback(long lCommand, void* pCallbackIF, CVLCallbackInfo* pCallbackInfo);
    // "CheckUnicast" ... "DeleteWebService"; null for other numbers.
    static const char* GetCommandName(int eCommand);
    // The MAC address text in one form: twelve upper-case hexadecimal
    // digits; empty when the text is no MAC address (CVLMACAddress::ParseStrict).
    static CVLString NormalizeMACAddress(const CVLString& strMACAddress);
    // The result a command gives for a failure that reached it.
    static VLECM_RESULT ResultFromException(EVLException* pException);

protected:
    // The option lookup of the running command: its own map, then the
    // owner's options, then the built-in table.
    virtual CVLString getOptionString(VL_CONST_STR szKey);
    virtual long getOptionInt(VL_CONST_STR szKey);
    virtual bool getOptionBool(VL_CONST_STR szKey);

    virtual VLECM_RESULT executeCommand(VLECM_COMMAND eCommand);
    // Runs the command's packet list on this device through the unicast function.
    virtual VLECM_RESULT executeVLPCCommand(VLECM_COMMAND eCommand);
    // Runs the command's packet list on the target through the unicast
    // function, stoppable by StopCommand.
    virtual VLECM_RESULT runUnicastFunction(CVLTarget* pTarget, VLECM_COMMAND eCommand);
    // What a CheckUnicast's result makes of the device (its unicast flag)
    // and the result it ends with: a time-out is a success while filtering
    // is off.
    VLECM_RESULT judgeCheckUnicast(VLECM_RESULT eResult);
    // Both starts: bReportStop tells whether a stopped end is reported.
    VLECM_RESULT startCommand(VLECM_COMMAND eCommand, VLECM_CONNECT_TYPE eConnectType,
                              const CVLECMSharedOptions& pOptions, IVLECMCallbackIF* pCallbackIF, bool bReportStop);
    // The running command's options (null: none), under m_CommandSync.
    CVLECMSharedOptions getCommandOptions();
    // The command is over: its result is kept and, unless it was stopped
    // (or a chain started it), reported to the callback interface it was
    // started with.
    void endCommand(VLECM_COMMAND eCommand, VLECM_RESULT eResult);
    // Copies a reboot-polling reply's values of the device to the record.
    void keepRebootPollingReply(CVLTarget* pReply);
    virtual VLECM_RESULT executeRebootPollingModule();
    // Joins the thread of a finished command, which has posted its end and
    // is returning: a device whose commands are over holds no thread, and
    // so no stack, for the rest of the probe.
    void releaseCommandThread();

    IVLECMOwnerIF* m_pOwnerVLECMInstance;
    IVLECMCheckRunnerIF* m_pCheckRunner;
    CVLString m_strMACAddress;
    bool m_bProbeCallbackCompletion;
    bool m_bConnect[2];
    bool m_bUnicast[2];

    // The command state, guarded by m_CommandSync.
    CVLThreadSync m_CommandSync;
    bool m_bCommandRunning;
    bool m_bCommandStop;
    VLECM_COMMAND m_eCommand;
    VLECM_CONNECT_TYPE m_eCommandConnectType;
    IVLECMCallbackIF* m_pCommandCallbackIF;
    // The running command's end is reported also when it is stopped.
    bool m_bReportStop;
    // The module instance the command runs now, for StopCommand.
    CVLModuleInstance* m_pCommandInstance;
    CVLECMSharedOptions m_pCommandOptions;
    VLECM_RESULT m_eCommandResult;
    long m_nCommandDeviceResult;
    VLECM_RESULT m_eUnicastCheckResult;
    long m_nUnicastCheckDeviceResult;
    bool m_bUnicastCheckAnsweredOtherwise = false;
    VLECM_LACK m_eCommandLack = VLECM_LACK_NONE;
    // The record's requests sent when the running command started.
    unsigned long m_nSentBeforeCommand = 0;
    std::string m_strCommandRefusal;
    // How the commands reach the device (guarded by m_CommandSync): the
    // network kind, or the simulated one, made when the record is marked
    // as a simulated device.
    IVLECMCommandKind* m_pCommandKind;
    std::unique_ptr<IVLECMCommandKind> m_pDummyCommands;

private:
    // The network kind runs its commands through the record's exchanges.
    friend class CVLECMNetworkCommands;
};

#endif
