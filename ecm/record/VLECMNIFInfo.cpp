// A device record: its facts, its command thread and the device commands.
#include "ecm/record/VLECMNIFInfo.h"

#include <cerrno>
#include <chrono>
#include <utility>

#include "base/core/VLCharset.h"
#include "base/core/VLCommunicationException.h"
#include "base/core/VLErrorResultException.h"
#include "base/core/VLException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLOpenException.h"
#include "base/core/VLStartThreadException.h"
#include "base/core/VLStopFunctionException.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTimeoutException.h"
#include "base/core/VLTrace.h"
#include "base/core/VLUnlockException.h"
#include "base/net/VLMACAddress.h"
#include "base/stream/VLStringStream.h"
#include "base/xml/VLXmlException.h"
#include "cm/VLCMApi.h"
#include "cm/VLCMDefs.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParam.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProperty.h"
#include "cm/VLRefusedRequestException.h"
#include "cm/VLTargetLock.h"
#include "ecm/core/VLECMCallbackIF.h"
#include "ecm/core/VLECMDefaultOptions.h"
#include "ecm/core/VLECMModuleCalls.h"
#include "ecm/core/VLECMOwnerIF.h"
#include "ecm/core/VLECMPrivate.h"
#include "ecm/core/VLXMLUtility.h"
#include "ecm/record/VLECMCheckRunnerIF.h"
#include "ecm/record/VLECMCommandKind.h"
#include "ecm/record/VLECMChainEndIF.h"

const char* const s_szFile = "VLECMNIFInfo";

namespace {
// The stored error numbers (as the socket module stores them, the same on
// every numbering) of a process and of a system out of descriptors.
const VL_LONG kTooManyOpenFiles = 24;
const VL_LONG kTooManyOpenFilesInSystem = 23;
// What pthread_create returns for want of resources (the limit on
// processes reached, or no memory for a stack).
const int kNoThreadResources = EAGAIN;

#define VLECM_COMMAND_NAME(ID, NAME, REPORT, CARRIED, RETRY) #NAME,
const char* const kCommandNames[VLECM_COMMAND_COUNT] = {VLECM_COMMAND_LIST(VLECM_COMMAND_NAME)};
#undef VLECM_COMMAND_NAME

// The function of the definitions that carries every unicast command.
const char kUnicastFunctionName[] = VLECM_UNICAST_FUNCTION;
// The result property of a password check and the device's answer to a wrong password.
const char kCheckPasswordResultPath[] = "VLPC.2B_5A20_01.Result";
const long kWrongPasswordResult = 0x1001;
// Where a reboot-polling reply holds what the device says of itself.
const char kRebootPollingReplyPath[] = "VLPC.2B_5A30_01";
// What a command started without options reads.
const CVLECMPropertyMap kNoOptions;
// A wait is cut into slices, so that a stop ends it soon.
const long kWaitSliceMilliseconds = 10;
// Where unicast commands go.
const char kIPAddressPath[] = "IPAddress";
// The address SetDetail gives the device.
const char kSetDetailAddressPath[] = "VLPC.2B_5A10_01.IPAddress";

CVLString OptionKey(VLECM_COMMAND eCommand, const char* szSubKey)
{
    CVLString strKey("Option.", VL_CHARSET_UTF8);
    strKey += kCommandNames[eCommand];
    strKey += szSubKey;
    return strKey;
}

int FlagIndex(VLECM_CONNECT_TYPE eConnectType)
{
    return eConnectType == VLECM_CONNECT_TYPE_USB ? 1 : 0;
}
}  // namespace

CVLECMNIFInfo::CVLECMNIFInfo()
    : m_pOwnerVLECMInstance(nullptr), m_pCheckRunner(nullptr), m_strMACAddress(VL_CHARSET_UTF8),
      m_bProbeCallbackCompletion(false), m_bConnect{false, false}, m_bUnicast{false, false}, m_bCommandRunning(false),
      m_bCommandStop(false), m_eCommand(VLECM_COMMAND_CHECK_UNICAST), m_eCommandConnectType(VLECM_CONNECT_TYPE_NETWORK),
      m_pCommandCallbackIF(nullptr), m_bReportStop(false), m_pCommandInstance(nullptr),
      m_eCommandResult(VLECM_RESULT_SUCCESS), m_nCommandDeviceResult(0), m_eUnicastCheckResult(VLECM_RESULT_SUCCESS),
      m_nUnicastCheckDeviceResult(0), m_pCommandKind(&IVLECMCommandKind::Network())
{
}

CVLECMNIFInfo::~CVLECMNIFInfo()
{
    try {
        // A record that goes posts nothing about itself.
        {
            CVLThreadLock lock(&m_CommandSync);
            lock.Lock();
            m_bReportStop = false;
        }
        StopCommand();
    } catch (...) {
        ReleaseCurrentException();
    }
}

void CVLECMNIFInfo::SetOwnerVLECMInstance(IVLECMOwnerIF* pOwner)
{
    m_pOwnerVLECMInstance = pOwner;
}

IVLECMOwnerIF* CVLECMNIFInfo::GetOwnerVLECMInstance()
{
    return m_pOwnerVLECMInstance;
}

void CVLECMNIFInfo::SetCheckRunner(IVLECMCheckRunnerIF* pRunner)
{
    m_pCheckRunner = pRunner;
}

IVLECMCheckRunnerIF* CVLECMNIFInfo::GetCheckRunner()
{
    return m_pCheckRunner;
}

void CVLECMNIFInfo::SetMACAddress(VL_CONST_STR szMACAddress)
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    m_strMACAddress = CVLString(szMACAddress, VL_CHARSET_UTF8);
}

CVLString CVLECMNIFInfo::GetMACAddress()
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    return m_strMACAddress;
}

void CVLECMNIFInfo::SetDummy(bool bDummy)
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    // The simulated kind keeps its call counts while the record lives.
    if (bDummy && m_pDummyCommands == nullptr)
        m_pDummyCommands = IVLECMCommandKind::NewSimulated();
    m_pCommandKind = bDummy ? static_cast<IVLECMCommandKind*>(m_pDummyCommands.get())
                            : static_cast<IVLECMCommandKind*>(&IVLECMCommandKind::Network());
}

bool CVLECMNIFInfo::IsDummy()
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    return m_pCommandKind != &IVLECMCommandKind::Network();
}

void CVLECMNIFInfo::DebugHookProperties()
{
    if (!CVLTrace::IsEnabled(VL_TRACE_TYPE_MESSAGE))
        return;
    try {
        CVLStringStream stream;
        stream.Open(VL_OPEN_WRITE);
        stream.SetString(TextOf(GetPropertiesText(nullptr)));
        CVLString strFileName("Probe(Dummy)[", VL_CHARSET_UTF8);
        strFileName += GetMACAddress();
        strFileName += "].txt";
        CVLXMLUtility::DebugHook(&stream, TextOf(strFileName), "Properties", 1);
    } catch (...) {
        ReleaseCurrentException();
    }
}

CVLProperty* CVLECMNIFInfo::GetProperty(VL_CONST_STR szPath)
{
    CVLProperty* pRoot = GetProperties();
    if (pRoot == nullptr)
        return nullptr;
    return pRoot->GetProperty(szPath, true);
}

bool CVLECMNIFInfo::SetPropertyString(VL_CONST_STR szPath, VL_CONST_STR szValue)
{
    try {
        CVLTargetLock lock(this);
        lock.Lock();
        CVLProperty* pProperty = GetProperty(szPath);
        if (pProperty == nullptr)
            return false;
        pProperty->SetString(szValue, VL_CHARSET_UTF8);
        return true;
    } catch (...) {
        ReleaseCurrentException();
    }
    return false;
}

bool CVLECMNIFInfo::IsProbeCallbackCompletion()
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    return m_bProbeCallbackCompletion;
}

void CVLECMNIFInfo::SetProbeCallbackCompletion(bool bCompletion)
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    m_bProbeCallbackCompletion = bCompletion;
}

void CVLECMNIFInfo::SetConnect(VLECM_CONNECT_TYPE eConnectType, bool bConnect)
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    if (eConnectType == VLECM_CONNECT_TYPE_ALL)
        m_bConnect[0] = m_bConnect[1] = bConnect;
    else
        m_bConnect[FlagIndex(eConnectType)] = bConnect;
}

bool CVLECMNIFInfo::IsConnect(VLECM_CONNECT_TYPE eConnectType)
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    if (eConnectType == VLECM_CONNECT_TYPE_ALL)
        return m_bConnect[0] || m_bConnect[1];
    return m_bConnect[FlagIndex(eConnectType)];
}

void CVLECMNIFInfo::SetUnicast(VLECM_CONNECT_TYPE eConnectType, bool bUnicast)
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    if (eConnectType == VLECM_CONNECT_TYPE_ALL)
        m_bUnicast[0] = m_bUnicast[1] = bUnicast;
    else
        m_bUnicast[FlagIndex(eConnectType)] = bUnicast;
}

bool CVLECMNIFInfo::IsUnicast(VLECM_CONNECT_TYPE eConnectType)
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    if (eConnectType == VLECM_CONNECT_TYPE_ALL)
        return m_bUnicast[0] || m_bUnicast[1];
    return m_bUnicast[FlagIndex(eConnectType)];
}

void CVLECMNIFInfo::MargeNIFInfo(CVLECMNIFInfo& src)
{
    {
        CVLTargetLock lock(this);
        lock.Lock();
        Marge(&src);
    }
    bool bConnect[2] = {src.IsConnect(VLECM_CONNECT_TYPE_NETWORK), src.IsConnect(VLECM_CONNECT_TYPE_USB)};
    bool bUnicast[2] = {src.IsUnicast(VLECM_CONNECT_TYPE_NETWORK), src.IsUnicast(VLECM_CONNECT_TYPE_USB)};
    bool bDummy = src.IsDummy();
    {
        CVLThreadLock lock(&m_CommandSync);
        lock.Lock();
        for (int i = 0; i < 2; ++i) {
            m_bConnect[i] = m_bConnect[i] || bConnect[i];
            m_bUnicast[i] = m_bUnicast[i] || bUnicast[i];
        }
    }
    if (bDummy)
        SetDummy(true);
}

#define VLECM_COMMAND_STARTER(ID, NAME, REPORT, CARRIED, RETRY)                                            \
    VLECM_RESULT CVLECMNIFInfo::NAME(VLECM_CONNECT_TYPE eConnectType, const CVLECMPropertyMap* pOptionMap) \
    {                                                                                                      \
        return StartCommand(VLECM_COMMAND_##ID, eConnectType, pOptionMap);                                 \
    }
VLECM_COMMAND_LIST(VLECM_COMMAND_STARTER)
#undef VLECM_COMMAND_STARTER

VLECM_RESULT CVLECMNIFInfo::StartCommand(VLECM_COMMAND eCommand, VLECM_CONNECT_TYPE eConnectType,
                                         const CVLECMPropertyMap* pOptionMap)
{
    return StartCommandAsync(eCommand, eConnectType, pOptionMap, m_pOwnerVLECMInstance);
}

VLECM_RESULT CVLECMNIFInfo::StartCommandAsync(VLECM_COMMAND eCommand, VLECM_CONNECT_TYPE eConnectType,
                                              const CVLECMPropertyMap* pOptionMap, IVLECMCallbackIF* pCallbackIF)
{
    return startCommand(eCommand, eConnectType,
                        pOptionMap != nullptr ? std::make_shared<const CVLECMPropertyMap>(*pOptionMap)
                                              : CVLECMSharedOptions(),
                        pCallbackIF, false);
}

VLECM_RESULT CVLECMNIFInfo::StartChainCommand(VLECM_COMMAND eCommand, VLECM_CONNECT_TYPE eConnectType,
                                              const CVLECMSharedOptions& pOptions, IVLECMCallbackIF* pCallbackIF)
{
    return startCommand(eCommand, eConnectType, pOptions, pCallbackIF, true);
}

VLECM_RESULT CVLECMNIFInfo::startCommand(VLECM_COMMAND eCommand, VLECM_CONNECT_TYPE eConnectType,
                                         const CVLECMSharedOptions& pOptions, IVLECMCallbackIF* pCallbackIF,
                                         bool bReportStop)
{
    if (m_pOwnerVLECMInstance == nullptr)
        return VLECM_RESULT_NOT_INITIALIZED;
    if (eCommand < 0 || eCommand >= VLECM_COMMAND_COUNT || eConnectType < VLECM_CONNECT_TYPE_NETWORK ||
        eConnectType > VLECM_CONNECT_TYPE_ALL)
        return VLECM_RESULT_PARAMETER_ERROR;
    try {
        bool bCheckThread = false;
        {
            CVLThreadLock lock(&m_CommandSync);
            if (!lock.Lock() || m_bCommandRunning)
                return VLECM_RESULT_FAILED;
            // A network device's unicast check waits on the check thread,
            // without a thread and a socket of its own.
            bCheckThread = eCommand == VLECM_COMMAND_CHECK_UNICAST && m_pCheckRunner != nullptr &&
                           m_pCommandKind == &IVLECMCommandKind::Network();
            m_bCommandRunning = true;
            m_bCommandStop = false;
            m_nCommandDeviceResult = 0;
            m_eCommandLack = VLECM_LACK_NONE;
            m_nSentBeforeCommand = GetRequestsSent();
            m_strCommandRefusal.clear();
            m_eCommand = eCommand;
            m_eCommandConnectType = eConnectType;
            m_pCommandCallbackIF = pCallbackIF;
            m_bReportStop = bReportStop;
            m_pCommandOptions = pOptions;
        }
        // The previous run has posted its end and is returning: wait for it.
        End();
        if (!bCheckThread || !m_pCheckRunner->Begin(this))
            Start(static_cast<void*>(this));
    } catch (...) {
        // The command ends here as failed, so that no one waits for it: a
        // probe's chain is over and its device named with the failure, or
        // waits for what the computer lacked.
        VLECM_LACK eLack = VLECM_LACK_NONE;
        try {
            throw;
        } catch (EVLException* pException) {
            eLack = LackOf(pException);
        } catch (...) {
        }
        CVLThreadLock lock(&m_CommandSync);
        lock.Lock();
        m_eCommandLack = eLack;
        m_bCommandRunning = false;
        m_eCommandResult = VLECM_RESULT_INTERNAL_ERROR;
        m_pCommandOptions.reset();
        if (eCommand == VLECM_COMMAND_CHECK_UNICAST) {
            m_eUnicastCheckResult = VLECM_RESULT_INTERNAL_ERROR;
            m_nUnicastCheckDeviceResult = 0;
        }
        try {
            throw;
        } catch (...) {
            ReleaseCurrentException();
        }
        return VLECM_RESULT_INTERNAL_ERROR;
    }
    return VLECM_RESULT_SUCCESS;
}

void CVLECMNIFInfo::StopCommand()
{
    RequestStopCommand();
    End();
}

void CVLECMNIFInfo::releaseCommandThread()
{
    // Under the command lock, so that a command started meanwhile (which
    // sets the running flag under it first) keeps its thread.
    CVLThreadLock lock(&m_CommandSync);
    if (lock.Lock() && !m_bCommandRunning)
        End();
}

void CVLECMNIFInfo::RequestStopCommand()
{
    {
        CVLThreadLock lock(&m_CommandSync);
        lock.Lock();
        m_bCommandStop = true;
        try {
            if (m_pCommandInstance != nullptr)
                m_pCommandInstance->Stop();
        } catch (EVLException* pException) {
            pException->Delete();
        }
    }
    // Outside the lock, which the check thread takes to end the command.
    if (m_pCheckRunner != nullptr)
        m_pCheckRunner->Cancel(this);
}

bool CVLECMNIFInfo::IsCommandRunning()
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    return m_bCommandRunning;
}

VLECM_RESULT CVLECMNIFInfo::GetCommandResult()
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    return m_eCommandResult;
}

long CVLECMNIFInfo::GetCommandDeviceResult()
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    return m_nCommandDeviceResult;
}

std::string CVLECMNIFInfo::GetCommandRefusal()
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    return m_strCommandRefusal;
}

VLECM_LACK CVLECMNIFInfo::GetCommandLack()
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    return m_eCommandLack;
}

bool CVLECMNIFInfo::HasCommandSent()
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    return m_bCommandRunning && GetRequestsSent() != m_nSentBeforeCommand;
}

bool CVLECMNIFInfo::IsCommandShortOfDescriptors()
{
    return GetCommandLack() == VLECM_LACK_DESCRIPTORS;
}

VLECM_LACK CVLECMNIFInfo::LackOf(const EVLException* pException)
{
    VL_LONG nError = 0;
    if (const EVLOpenException* pOpen = dynamic_cast<const EVLOpenException*>(pException))
        nError = pOpen->GetSystemErrorCode();
    else if (const EVLCommunicationException* pFailed = dynamic_cast<const EVLCommunicationException*>(pException))
        nError = pFailed->GetSystemErrorCode();
    else if (const EVLStartThreadException* pStart = dynamic_cast<const EVLStartThreadException*>(pException))
        return pStart->GetErrorNumber() == kNoThreadResources ? VLECM_LACK_THREADS : VLECM_LACK_NONE;
    return nError == kTooManyOpenFiles || nError == kTooManyOpenFilesInSystem ? VLECM_LACK_DESCRIPTORS
                                                                              : VLECM_LACK_NONE;
}

VLECM_RESULT CVLECMNIFInfo::GetUnicastCheckResult()
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    return m_eUnicastCheckResult;
}

bool CVLECMNIFInfo::IsUnicastCheckAnsweredOtherwise()
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    return m_bUnicastCheckAnsweredOtherwise;
}

long CVLECMNIFInfo::GetUnicastCheckDeviceResult()
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    return m_nUnicastCheckDeviceResult;
}

void CVLECMNIFInfo::OnThread(void* pData)
{
    (void)pData;
    VLECM_COMMAND eCommand;
    {
        CVLThreadLock lock(&m_CommandSync);
        lock.Lock();
        eCommand = m_eCommand;
    }
    VLECM_RESULT eResult = VLECM_RESULT_UNEXPECTED;
    try {
        eResult = executeCommand(eCommand);
    } catch (EVLException* pException) {
        eResult = ResultFromException(pException);
    } catch (VLECM_RESULT eThrown) {
        eResult = eThrown;
    } catch (...) {
        eResult = VLECM_RESULT_UNEXPECTED;
    }
    endCommand(eCommand, eResult);
}

CVLThreadController* CVLECMNIFInfo::CreateController()
{
    CVLThreadController* pController = CVLThread::CreateController();
    if (pController != nullptr)
        pController->SetStackSize(COMMAND_STACK_BYTES);
    return pController;
}

void CVLECMNIFInfo::endCommand(VLECM_COMMAND eCommand, VLECM_RESULT eResult)
{
    if (eCommand == VLECM_COMMAND_GET_LIST_INFO || eCommand == VLECM_COMMAND_GET_DETAIL ||
        eCommand == VLECM_COMMAND_GET_WIRELESS_LAN_INFO)
        DebugHookProperties();
    IVLECMCallbackIF* pCallbackIF = nullptr;
    bool bReport = false;
    bool bChain = false;
    {
        CVLThreadLock lock(&m_CommandSync);
        lock.Lock();
        if (m_bCommandStop)
            eResult = VLECM_RESULT_STOPPED;
        m_eCommandResult = eResult;
        pCallbackIF = m_pCommandCallbackIF;
        // A stopped command reports nothing, its owner taking the device
        // away, except to a chain: the chain would wait for it for ever.
        bReport = eResult != VLECM_RESULT_STOPPED || m_bReportStop;
        bChain = m_bReportStop;
        m_bCommandRunning = false;
        // A device keeps its record for the whole probe, its options only
        // while a command of its runs.
        m_pCommandOptions.reset();
    }
    if (!bReport || m_pOwnerVLECMInstance == nullptr || pCallbackIF == nullptr)
        return;
    // A chain's end that the dispatch queue refused would leave its chain
    // waiting for good: the chain is told when the queue refuses it (or
    // when the probe stops before it was passed on) instead.
    IVLECMChainEndIF* pChain = bChain ? dynamic_cast<IVLECMChainEndIF*>(pCallbackIF) : nullptr;
    CVLECMPostAnswers::FLost fnLost;
    if (pChain != nullptr)
        fnLost = [this, pChain, eCommand](bool bRefused) { pChain->OnChainEndLost(this, eCommand, bRefused); };
    m_pOwnerVLECMInstance->PostCallbackQueued(this, nifCommandCallback, eCommand, pCallbackIF, std::move(fnLost));
}

void CVLECMNIFInfo::nifCommandCallback(long lCommand, void* pCallbackIF, CVLCallbackInfo* pCallbackInfo)
{
    if (pCallbackInfo == nullptr) {
        CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                         "CVLECMNIFInfo::nifCommandCallback(): parameter error!, pCallbackInfo=NULL");
        throw VLECM_RESULT_PARAMETER_ERROR;
    }
    CVLECMNIFInfo* pNIFInfo = dynamic_cast<CVLECMNIFInfo*>(pCallbackInfo->GetTarget());
    IVLECMCallbackIF* pInterface = static_cast<IVLECMCallbackIF*>(pCallbackIF);
    if (pNIFInfo == nullptr || pInterface == nullptr)
        return;
    pNIFInfo->releaseCommandThread();
    VLECM_CONNECT_TYPE eConnectType;
    VLECM_RESULT eResult;
    {
        CVLThreadLock lock(&pNIFInfo->m_CommandSync);
        lock.Lock();
        eConnectType = pNIFInfo->m_eCommandConnectType;
        eResult = pNIFInfo->m_eCommandResult;
    }
    bool bUnicast = pNIFInfo->IsUnicast(eConnectType);
    switch (lCommand) {
#define VLECM_COMMAND_REPORT(ID, NAME, REPORT, CARRIED, RETRY)                                      \
    case VLECM_COMMAND_##ID:                                                                        \
        pInterface->On##NAME(pNIFInfo, eConnectType, eResult VLECM_REPORT_ARGS_##REPORT(bUnicast)); \
        break;
        VLECM_COMMAND_LIST(VLECM_COMMAND_REPORT)
#undef VLECM_COMMAND_REPORT
    default:
        break;
    }
}

const char* CVLECMNIFInfo::GetCommandName(int eCommand)
{
    if (eCommand < 0 || eCommand >= VLECM_COMMAND_COUNT)
        return nullptr;
    return kCommandNames[eCommand];
}

CVLString CVLECMNIFInfo::NormalizeMACAddress(const CVLString& strMACAddress)
{
    return CVLMACAddress::Normalize(TextOf(strMACAddress), nullptr);
}

VLECM_RESULT CVLECMNIFInfo::ResultFromException(EVLException* pException)
{
    VLECM_RESULT eResult = VLECM_RESULT_INTERNAL_ERROR;
    if (dynamic_cast<EVLStopFunctionException*>(pException) != nullptr)
        eResult = VLECM_RESULT_STOPPED;
    else if (dynamic_cast<EVLTimeoutException*>(pException) != nullptr)
        eResult = VLECM_RESULT_TIMEOUT;
    else if (dynamic_cast<EVLErrorResultException*>(pException) != nullptr)
        eResult = VLECM_RESULT_DEVICE_ERROR;
    else if (dynamic_cast<EVLRefusedRequestException*>(pException) != nullptr)
        eResult = VLECM_RESULT_NOT_SUPPORTED;
    else if (dynamic_cast<EVLUnlockException*>(pException) != nullptr)
        eResult = VLECM_RESULT_UNLOCK_REFUSED;
    else if (dynamic_cast<EVLCommunicationException*>(pException) != nullptr)
        eResult = VLECM_RESULT_COMMUNICATION_ERROR;
    else if (dynamic_cast<EVLMemoryAllocException*>(pException) != nullptr)
        eResult = VLECM_RESULT_OUT_OF_MEMORY;
    else if (dynamic_cast<EVLXmlException*>(pException) != nullptr)
        eResult = VLECM_RESULT_XML_ERROR;
    VLDeleteException(pException);
    return eResult;
}

CVLECMSharedOptions CVLECMNIFInfo::getCommandOptions()
{
    CVLThreadLock lock(&m_CommandSync);
    lock.Lock();
    return m_pCommandOptions;
}

CVLString CVLECMNIFInfo::getOptionString(VL_CONST_STR szKey)
{
    const CVLECMSharedOptions pOptions = getCommandOptions();
    const CVLECMPropertyMap& options = pOptions != nullptr ? *pOptions : kNoOptions;
    if (m_pOwnerVLECMInstance != nullptr)
        return m_pOwnerVLECMInstance->getOptionString(szKey, &options, nullptr);
    auto it = options.find(CVLString(szKey, VL_CHARSET_UTF8));
    return it != options.end() ? it->second : CVLECMDefaultOptions::String(szKey);
}

long CVLECMNIFInfo::getOptionInt(VL_CONST_STR szKey)
{
    return getOptionString(szKey).ToLong(0);
}

bool CVLECMNIFInfo::getOptionBool(VL_CONST_STR szKey)
{
    return getOptionString(szKey).ToBool(false);
}

bool CVLECMNIFInfo::waitCommand(long nMilliseconds)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMilliseconds);
    for (;;) {
        {
            CVLThreadLock lock(&m_CommandSync);
            lock.Lock();
            if (m_bCommandStop)
                return false;
        }
        if (IsRequestEnd())
            return false;
        auto now = std::chrono::steady_clock::now();
        if (now >= end)
            return true;
        long nLeft = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count());
        CVLThread::Sleep(static_cast<int>(nLeft < kWaitSliceMilliseconds ? nLeft : kWaitSliceMilliseconds));
    }
}

VLECM_RESULT CVLECMNIFInfo::executeCommand(VLECM_COMMAND eCommand)
{
    IVLECMCommandKind* pKind;
    {
        CVLThreadLock lock(&m_CommandSync);
        lock.Lock();
        pKind = m_pCommandKind;
    }
    return pKind->Execute(*this, eCommand);
}

VLECM_RESULT CVLECMNIFInfo::executeVLPCCommand(VLECM_COMMAND eCommand)
{
    VLECM_RESULT eResult = runUnicastFunction(this, eCommand);
    if (eCommand == VLECM_COMMAND_CHECK_UNICAST) {
        eResult = judgeCheckUnicast(eResult);
    } else if (eCommand == VLECM_COMMAND_CHECK_PASSWORD && eResult == VLECM_RESULT_SUCCESS) {
        CVLTargetLock lock(this);
        lock.Lock();
        CVLProperty* pResult = GetProperties()->GetProperty(kCheckPasswordResultPath, false);
        if (pResult != nullptr && pResult->ToLong(0) == kWrongPasswordResult)
            eResult = VLECM_RESULT_UNLOCK_REFUSED;
    }
    return eResult;
}

VLECM_RESULT CVLECMNIFInfo::judgeCheckUnicast(VLECM_RESULT eResult)
{
    VLECM_CONNECT_TYPE eConnectType;
    {
        CVLThreadLock lock(&m_CommandSync);
        lock.Lock();
        eConnectType = m_eCommandConnectType;
    }
    SetUnicast(eConnectType, eResult == VLECM_RESULT_SUCCESS);
    {
        CVLThreadLock lock(&m_CommandSync);
        lock.Lock();
        m_eUnicastCheckResult = eResult;
        m_nUnicastCheckDeviceResult = m_nCommandDeviceResult;
    }
    // Without filtering, a device that does not answer by unicast stays a
    // found device, marked as such, whether its check went unanswered or
    // failed (another host holding its address answers in its place): the
    // record keeps why. Only a stopped check ends without a report.
    if (eResult != VLECM_RESULT_SUCCESS && eResult != VLECM_RESULT_STOPPED &&
        !getOptionBool("Option.CheckUnicast.NonUnicastDeviceFiltering"))
        eResult = VLECM_RESULT_SUCCESS;
    return eResult;
}

void CVLECMNIFInfo::endCheck(VLECM_RESULT eResult, long nDeviceResult, bool bAnsweredOtherwise, VLECM_LACK eLack,
                             const std::string& strRefusal)
{
    {
        CVLThreadLock lock(&m_CommandSync);
        lock.Lock();
        m_nCommandDeviceResult = nDeviceResult;
        m_eCommandLack = eLack;
        // Cleared when the check began.
        if (!strRefusal.empty())
            m_strCommandRefusal = strRefusal;
        m_bUnicastCheckAnsweredOtherwise = bAnsweredOtherwise && eResult == VLECM_RESULT_TIMEOUT;
    }
    endCommand(VLECM_COMMAND_CHECK_UNICAST, judgeCheckUnicast(eResult));
}

void CVLECMNIFInfo::getUnicastParams(VLECM_COMMAND eCommand, CVLModuleParamCollection& params, CVLString& strPacketList)
{
    strPacketList = getOptionString(TextOf(OptionKey(eCommand, ".PacketListName")));
    params.GetParam(VLCM_PARAM_TIMEOUT, true)->SetLong(getOptionInt(TextOf(OptionKey(eCommand, ".Timeout"))));
    params.GetParam(VLCM_PARAM_RETRY, true)->SetLong(getOptionInt(TextOf(OptionKey(eCommand, ".Retry"))));
    // A device may take the address SetDetail gives it before it answers:
    // its reply then comes from there, and counts as from the address the
    // request went to. (After FactReset the device's address is not known.)
    if (eCommand == VLECM_COMMAND_SET_DETAIL) {
        CVLTargetLock lock(this);
        lock.Lock();
        CVLProperty* pAddress = GetProperties()->GetProperty(kSetDetailAddressPath, false);
        if (pAddress != nullptr) {
            CVLString strAddress = pAddress->GetType() == VL_VARIANT_TYPE_SOCKET_ADDRESS
                                       ? pAddress->GetSocketAddress().GetHost()
                                       : pAddress->ToString("");
            params.GetParam(VLCM_PARAM_ALSO_REPLIES_FROM, true)->SetString(strAddress);
        }
    }
}

namespace {
// Why a command's packet list sent nothing: the list it ran, as the
// instance runs it.
std::string NothingSentText(CVLModuleController* pController, const std::string& strPacketList)
{
    const SVLPacketListRequests run = pController->GetPacketListRequests(kUnicastFunctionName, strPacketList.c_str());
    const std::string strRun = run.runNames.empty() ? strPacketList : *run.runNames.begin();
    if (!run.missingNames.empty())
        return "the definitions have no packet list \"" + strRun + "\": nothing was sent";
    return "the packet list \"" + strRun +
           "\" sent no request (a condition, the device's version or a setting left unchanged passed each over): "
           "nothing was sent";
}
}  // namespace

VLECM_RESULT CVLECMNIFInfo::runUnicastFunction(CVLTarget* pTarget, VLECM_COMMAND eCommand)
{
    {
        CVLThreadLock lock(&m_CommandSync);
        lock.Lock();
        if (m_bCommandStop)
            return VLECM_RESULT_STOPPED;
    }
    CVLModuleController* pController = GetModuleController();
    if (pController == nullptr)
        return VLECM_RESULT_NOT_INITIALIZED;
    CVLString strPacketList(VL_CHARSET_UTF8);
    CVLModuleParamCollection params;
    getUnicastParams(eCommand, params, strPacketList);
    VLECM_RESULT eResult = VLECM_RESULT_SUCCESS;
    CVLModuleInstance* pInstance = nullptr;
    try {
        // The instance is made and run here rather than through ExecFunction,
        // so that StopCommand can reach it from the moment it exists.
        // Whatever list the options, the definitions or their scripts make
        // it run, the instance sends only requests of the command's kind.
        pInstance = CVLECMModuleCalls::CreateInstance(pController, pTarget, kUnicastFunctionName, &params,
                                                      GetCommandName(eCommand));
        if (pInstance == nullptr)
            return VLECM_RESULT_NOT_SUPPORTED;
        {
            CVLThreadLock lock(&m_CommandSync);
            lock.Lock();
            m_pCommandInstance = pInstance;
            if (m_bCommandStop)
                pInstance->Stop();
        }
        CVLModuleParamCollection* pParams = pInstance->GetParams();
        pParams->SetPacketListName(TextOf(strPacketList));
        pParams->GetParam(VLCM_PARAM_PACKET_LIST_NAME, true)->SetString(TextOf(strPacketList), VL_CHARSET_UTF8);
        pInstance->CallMethod();
        // A list that sent nothing did not do what the command is for.
        const CVLModuleParam* pSent = pParams->Find(VLCM_PARAM_SENT_REQUESTS);
        if (pSent != nullptr && pSent->ToLong(0) <= 0) {
            CVLThreadLock lock(&m_CommandSync);
            lock.Lock();
            m_strCommandRefusal = NothingSentText(pController, TextOf(strPacketList));
            eResult = VLECM_RESULT_NOT_SUPPORTED;
        }
    } catch (EVLException* pException) {
        // The device said which error it was: kept beside the result.
        if (EVLErrorResultException* pError = dynamic_cast<EVLErrorResultException*>(pException)) {
            CVLThreadLock lock(&m_CommandSync);
            lock.Lock();
            m_nCommandDeviceResult = static_cast<long>(pError->GetResultCode());
        }
        if (EVLRefusedRequestException* pRefused = dynamic_cast<EVLRefusedRequestException*>(pException)) {
            CVLThreadLock lock(&m_CommandSync);
            lock.Lock();
            m_strCommandRefusal = TextOf(pRefused->GetReason());
        }
        // A socket the process could not open: the request never left.
        const VLECM_LACK eLack = LackOf(pException);
        if (eLack != VLECM_LACK_NONE) {
            CVLThreadLock lock(&m_CommandSync);
            lock.Lock();
            m_eCommandLack = eLack;
        }
        eResult = ResultFromException(pException);
    }
    if (pInstance != nullptr) {
        {
            CVLThreadLock lock(&m_CommandSync);
            lock.Lock();
            m_pCommandInstance = nullptr;
        }
        try {
            pController->DeleteModuleInstance(pInstance);
        } catch (EVLException* pException) {
            pException->Delete();
        }
    }
    return eResult;
}

void CVLECMNIFInfo::keepRebootPollingReply(CVLTarget* pReply)
{
    const CVLProperty* pSource = pReply->GetProperties()->GetProperty(kRebootPollingReplyPath, false);
    if (pSource == nullptr)
        return;
    CVLTargetLock lock(this);
    lock.Lock();
    GetProperties()->GetProperty(kRebootPollingReplyPath, true)->Assign(pSource);
}

VLECM_RESULT CVLECMNIFInfo::executeRebootPollingModule()
{
    const CVLECMSharedOptions pOptions = getCommandOptions();
    const CVLECMPropertyMap& options = pOptions != nullptr ? *pOptions : kNoOptions;
    CVLString strRoot = getOptionString("Option.RebootPolling.ModuleInstanceName");
    CVLECMPropertyMap addressInfo;
    if (getOptionBool("Option.RebootPolling.EnableBindAddress") &&
        !m_pOwnerVLECMInstance->SetupBindAddressInfo(&addressInfo, TextOf(strRoot), &options, this))
        return VLECM_RESULT_INTERNAL_ERROR;
    if (getOptionBool("Option.RebootPolling.EnableLocalDBCInfo") &&
        !m_pOwnerVLECMInstance->SetupLocalDBCInfo(&addressInfo, TextOf(strRoot), &options, this))
        return VLECM_RESULT_INTERNAL_ERROR;
    if (!waitCommand(getOptionInt("Option.RebootPolling.FirstWait")))
        return VLECM_RESULT_STOPPED;
    // The device is back when it answers its reboot-polling request, asked
    // on a blank target as a probe asks.
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(getOptionInt("Option.RebootPolling.MaxTimeout"));
    long nRetryWait = getOptionInt("Option.RebootPolling.SecondRetryWait");
    CVLModuleController* pController = GetModuleController();
    if (pController == nullptr)
        return VLECM_RESULT_NOT_INITIALIZED;
    CVLString strAddress(VL_CHARSET_UTF8);
    {
        CVLTargetLock lock(this);
        lock.Lock();
        CVLProperty* pAddress = GetProperties()->GetProperty(kIPAddressPath, false);
        if (pAddress != nullptr)
            strAddress = pAddress->ToString("");
    }
    CVLString strMyMAC = GetMACAddress();
    for (;;) {
        CVLTarget* pBlank = pController->CreateTarget();
        if (pBlank == nullptr)
            return VLECM_RESULT_OUT_OF_MEMORY;
        pBlank->GetProperties()->GetProperty(kIPAddressPath, true)->SetString(strAddress);
        VLECM_RESULT eResult = runUnicastFunction(pBlank, VLECM_COMMAND_REBOOT_POLLING);
        if (eResult == VLECM_RESULT_SUCCESS) {
            CVLProperty* pMAC = pBlank->GetProperties()->GetProperty("MACAddress", false);
            if (pMAC != nullptr && NormalizeMACAddress(pMAC->ToString("")) == NormalizeMACAddress(strMyMAC)) {
                // Only the answer counts: the blank target's cleared key
                // properties must not overwrite the device's; what it
                // reported of itself is kept.
                keepRebootPollingReply(pBlank);
                pBlank->Destroy(false);
                SetUnicast(VLECM_CONNECT_TYPE_NETWORK, true);
                return VLECM_RESULT_SUCCESS;
            }
        }
        pBlank->Destroy(false);
        // A list refused, or that sent nothing, does the same each round.
        if (eResult == VLECM_RESULT_STOPPED || eResult == VLECM_RESULT_NOT_SUPPORTED)
            return eResult;
        if (std::chrono::steady_clock::now() >= deadline)
            return VLECM_RESULT_TIMEOUT;
        if (!waitCommand(nRetryWait))
            return VLECM_RESULT_STOPPED;
    }
}
