// One run of vlnet.
#include "app/VLNetSession.h"

#include <malloc.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "app/VLNetOptions.h"
#include "app/VLNetProbeStatus.h"
#include "app/VLNetPropertyLines.h"
#include "app/VLNetResultText.h"
#include "app/VLNetStatusLine.h"
#include "base/core/VLCharset.h"
#include "base/core/VLFileSystem.h"
#include "base/net/VLInterfaceAddress.h"
#include "base/net/VLSocketAddress.h"
#include "cm/VLCMApi.h"
#include "cm/VLModuleController.h"
#include "cm/VLProperty.h"
#include "cm/VLTargetLock.h"
#include "ecm/VLECM.h"
#include "ecm/core/VLECMDefaultOptions.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "ecm/probe/VLECMNIFInfoList.h"
#include "modules/probe/VLProbeRecvThread.h"
#include "modules/vlpc/VLPCDefs.h"
#include "modules/vlpc/VLPCRequestFields.h"
#include "pfw/VLPFWNIFInfo.h"

namespace {
// The resource folder below the program folder's parent, and what lies in it.
const char kResourceFolder[] = "/share/vlnet";
const char kSettingsFolder[] = "/Settings";
const char kDummyProbeFolder[] = "/DummyProbe";
const char kConfigurationFile[] = "/Settings/Default/vlres300.dat";

// The probe's send schedule, as the definitions give it, and the values
// used when they do not.
const char kProbeInstanceName[] = "Probe";
const char kProbeModuleName[] = "VLMDProbe";
const long kDefaultProbeRetryCount = 2;
const long kDefaultProbeRetryInterval = 700;
const long kDefaultProbeInterval = 300;
// Longest accepted schedule values, so that odd definitions cannot stall a run.
const long kMaxProbeRetryCount = 100;
const long kMaxProbeMilliseconds = 600000;

// How a probe that did not end by itself ended, as its reports say it.
const char kCutByTimeout[] = "at the time-out";
const char kCutByStop[] = "when stopped";

// The probe is over once nothing has changed for this long after its schedule.
const long kQuietMilliseconds = 1000;
// How often the main thread looks at a running command, and refreshes the
// status line.
const long kPollMilliseconds = 20;
const long kStatusMilliseconds = 200;
// The longest a probe's wait for the device manager's next change lasts: a
// stop asked for by a signal is seen within it.
const long kWaitMilliseconds = 100;
// The shortest time between two looks at a probe whose table keeps changing.
const long kMinPassMilliseconds = 10;
// How often a probe's wait hands the pages the heap has freed back to the
// system: a flood's replies are copied and freed by the ten thousand, and
// the pages between the records that stay would otherwise stay resident
// (some 2 MB under six networks' refused claims); a pass costs a tenth of
// a millisecond to half of one there.
const long kTrimMilliseconds = 1000;

std::string Text(const CVLString& str)
{
    const char* sz = str.GetBuffer();
    return sz != nullptr ? std::string(sz, static_cast<size_t>(str.GetLength())) : std::string();
}

// "eth2 (10.0.2.5/24)": an interface by its address.
std::string InterfaceText(const VLInterfaceAddress& entry)
{
    const int nPrefix = CVLSocketAddress::PrefixLength(CVLSocketAddress::HostOrder(entry.netmask));
    std::string strAddress = Text(CVLSocketAddress::FormatDottedQuad(CVLSocketAddress::HostOrder(entry.address)));
    if (nPrefix > 0)
        strAddress += "/" + std::to_string(nPrefix);
    return entry.strInterface + " (" + strAddress + ")";
}

// An interface that is down: its network has no route, and the probe
// sends nothing there.
bool IsDown(const VLInterfaceAddress& entry)
{
    return !entry.bUp && !entry.bLoopback;
}

// What to do about an interface up without carrier.
const char kConnectIt[] = "(its cable, or the other end of its link)";

CVLString VLText(const std::string& str)
{
    return CVLString(str.c_str(), VL_CHARSET_UTF8);
}

long ClampedConst(CVLCMApi* pApi, const char* szName, long nDefault, long nMax)
{
    if (pApi == nullptr)
        return nDefault;
    CVLString strValue = pApi->GetConst(szName, kProbeModuleName, kProbeInstanceName);
    if (strValue.GetLength() == 0)
        return nDefault;
    long nValue = strValue.ToLong(nDefault);
    if (nValue < 0)
        return nDefault;
    return nValue > nMax ? nMax : nValue;
}

// The highest UDP port, and the socket the probe's broadcasts leave by,
// whose port is the devices'.
const long kMaxPort = 65535;
const char kSocketModuleName[] = "VLMDSock";
const char kBroadcastSocketInstance[] = "Probe.VLPC_Broadcast.UDP";

// The device's own result codes that the front end names.
const long kDeviceWrongPassword = 0xF003;
// A malformed request, or a value the device does not take.
const long kDeviceMalformed = 0xF001;
// A request named another device's MAC: another host holds the address.
const long kDeviceOtherDevice = 0xF004;
// What a wrong password's answer says of the tries left before the device locks.
const char kTriesLeftPath[] = "VLPC.2B_5A20_01.RetryLeft";
// The count once the tries are spent: the device stays there, repeating
// it for each further wrong password, until a right one.
const char kNoTriesLeft[] = "0";
// The subnet mask a device announces in its probe reply.
const char kProbeMaskPath[] = "VLPC.2B_5A01_01.SubnetMask";
// The address a device announces as its own in its probe reply.
const char kProbeAddressPath[] = "VLPC.2B_5A01_01.IPAddress";
// Where a command's reply says that the device restarts to apply it.
const char* RestartPath(VLECM_COMMAND eCommand)
{
    if (eCommand == VLECM_COMMAND_SET_DETAIL)
        return "VLPC.2B_5A21_01.RebootRequired";
    if (eCommand == VLECM_COMMAND_FACT_RESET)
        return "VLPC.2B_5A22_01.RebootRequired";
    return nullptr;
}

// The commands whose request changes the device. CheckPassword reads (a
// wrong password counts against the device's retries, which it gives back
// on the right one); RebootPolling asks whether the device is back.
bool ChangesDevice(VLECM_COMMAND eCommand)
{
    return eCommand == VLECM_COMMAND_SET_DETAIL || eCommand == VLECM_COMMAND_FACT_RESET;
}

std::string PacketListOf(CVLECM& ecm, const std::string& strCommand)
{
    std::string strPacketList = Text(ecm.GetProperty(("Option." + strCommand + ".PacketListName").c_str()));
    return strPacketList.empty() ? strCommand : strPacketList;
}

// "1.9" for 1900 ms, whatever the locale.
std::string SecondsText(long nMilliseconds)
{
    const long kPerSecond = 1000;
    const long kPerTenth = 100;
    return std::to_string(nMilliseconds / kPerSecond) + "." + std::to_string(nMilliseconds % kPerSecond / kPerTenth);
}

// "1 reply", "2 replies".
std::string Count(unsigned long nCount, const char* szOne, const char* szMany)
{
    return std::to_string(nCount) + ' ' + (nCount == 1 ? szOne : szMany);
}

// The values of a request that the record holds nothing for and that were
// not given either, "PATH, PATH": the request would send each as its
// field's default (an empty text, 0, 0.0.0.0).
std::string UnreadValues(CVLPFWNIFInfo* pNIFInfo, const std::vector<CVLNetValueCheck::SField>& fields,
                         const std::vector<std::pair<std::string, std::string>>& assignments)
{
    CVLTargetLock lock(pNIFInfo);
    lock.Lock();
    CVLProperty* pRoot = pNIFInfo->GetProperties();
    std::string strPaths;
    for (const CVLNetValueCheck::SField& field : fields) {
        bool bGiven = false;
        for (const auto& assignment : assignments)
            bGiven = bGiven || assignment.first == field.strPath;
        const CVLProperty* pValue = pRoot != nullptr ? pRoot->GetProperty(field.strPath.c_str(), false) : nullptr;
        if (!bGiven && (pValue == nullptr || pValue->GetType() == VL_VARIANT_TYPE_EMPTY))
            strPaths += (strPaths.empty() ? "" : ", ") + field.strPath;
    }
    return strPaths;
}

bool CommandOf(const std::string& strName, VLECM_COMMAND& eCommand)
{
    for (int i = 0; i < VLECM_COMMAND_COUNT; i++) {
        const char* szName = CVLECMNIFInfo::GetCommandName(i);
        if (szName != nullptr && strName == szName) {
            eCommand = static_cast<VLECM_COMMAND>(i);
            return true;
        }
    }
    return false;
}
}  // namespace

static_assert(static_cast<int>(CVLNetSession::kMaxAddressesPerMAC) == static_cast<int>(CVLECM::MAX_ADDRESSES_PER_MAC),
              "the bound said is the bound kept");

std::atomic<int> CVLNetSession::s_nStopSignal{0};

CVLNetSession::CVLNetSession()
    : m_bInitialize(false), m_pFoundNIFInfo(nullptr), m_pStatusLine(nullptr), m_nChangeCount(0), m_bNothingSent(false),
      m_bFoundNotUnicast(false), m_nSendError(0), m_bDeaf(false), m_nDeafError(0)
{
}

CVLNetSession::~CVLNetSession()
{
    Terminate();
}

void CVLNetSession::RequestStop(int nSignal)
{
    int nNone = 0;
    s_nStopSignal.compare_exchange_strong(nNone, nSignal);
}

bool CVLNetSession::IsStopRequested()
{
    return s_nStopSignal != 0;
}

int CVLNetSession::GetStopSignal()
{
    return s_nStopSignal;
}

VLPFW_RESULT CVLNetSession::Initialize(const std::string& strResourceDir, std::string& strError)
{
    std::string strDir = strResourceDir;
    if (strDir.empty()) {
        std::string strProgramDir = Text(VLGetExecutablePath());
        size_t nSlash = strProgramDir.rfind('/');
        strDir = (nSlash == std::string::npos ? std::string(".") : strProgramDir.substr(0, nSlash)) + kResourceFolder;
    }
    while (strDir.size() > 1 && strDir.back() == '/')
        strDir.pop_back();
    if (!VLFileExists(strDir.c_str(), 1)) {
        // Found by the program's own place, which a copied program leaves.
        strError =
            "no resource folder at " + strDir + (strResourceDir.empty() ? "; give one with --resources DIR" : "");
        return VLPFW_RESULT_PATH_ERROR;
    }
    std::string strConfiguration = strDir + kConfigurationFile;
    VLPFW_RESULT eResult = m_Configuration.Load(strConfiguration.c_str());
    if (eResult != VLPFW_RESULT_SUCCESS) {
        strError = strConfiguration + ": " + Text(m_Configuration.GetErrorText());
        return eResult;
    }
    for (const std::string& strWarning : m_Configuration.GetWarnings())
        fprintf(stderr, "vlnet: %s: %s\n", strConfiguration.c_str(), strWarning.c_str());
    // The folders the device manager reads, unless the configuration names its own.
    CVLECMPropertyMap propertyMap;
    propertyMap[VLText("Initialize.RootDir")] = VLText(strDir + kSettingsFolder);
    propertyMap[VLText("Initialize.DummyProbe.RootDir")] = VLText(strDir + kDummyProbeFolder);
    for (const auto& entry : m_Configuration.GetCommunicationManagerPropertyMap())
        propertyMap[entry.first] = entry.second;
    eResult = m_CommunicationManager.Initialize(&propertyMap);
    if (eResult != VLPFW_RESULT_SUCCESS) {
        VLECM_RESULT eECMResult = m_CommunicationManager.GetVLECMResult();
        // The definitions' own report names the file and what was wrong in it.
        std::string strReason = m_CommunicationManager.GetVLECM().GetInitializeErrorText();
        if (eECMResult == VLECM_RESULT_PATH_ERROR)
            strReason = "no definitions below " + strDir;
        CVLModuleController* pController = m_CommunicationManager.GetVLECM().GetApi()->GetModuleController();
        if (pController != nullptr && pController->DefinitionsFailed() && !strReason.empty()) {
            // A file that is missing, cut or damaged is no fault of the
            // device manager's own: the file leads, its result follows.
            strError = "the definitions could not be read: " + strReason + " (the device manager's result " +
                       std::to_string(eECMResult) + ")";
            return eResult;
        }
        strError = "the device manager did not start: result " + std::to_string(eECMResult) + " (" +
                   CVLNetResultText::GetECMResultText(eECMResult) + ")" + (strReason.empty() ? "" : ": ") + strReason;
        return eResult;
    }
    // An option of the file that names what the definitions lack (a packet
    // list, a function) would leave its command sending nothing.
    eResult = m_Configuration.CheckNames(m_CommunicationManager.GetVLECM());
    if (eResult != VLPFW_RESULT_SUCCESS) {
        m_CommunicationManager.Terminate();
        strError = strConfiguration + ": " + Text(m_Configuration.GetErrorText());
        return eResult;
    }
    // Definitions that load but define no probe would fail every command
    // later with result 15 and no reason: said now, with their file.
    CVLECM& ecm = m_CommunicationManager.GetVLECM();
    std::string strUndefined = ecm.GetApi()->GetModuleController()->DescribeUndefinedFunction(
        Text(ecm.GetProperty("Option.Probe.ModuleInstanceName")).c_str());
    if (!strUndefined.empty()) {
        m_CommunicationManager.Terminate();
        strError = strUndefined;
        return VLPFW_RESULT_VLECM_ERROR;
    }
    m_CommunicationManager.AddCallbackIF(this);
    m_bInitialize = true;
    return VLPFW_RESULT_SUCCESS;
}

void CVLNetSession::Terminate()
{
    if (!m_bInitialize)
        return;
    m_CommunicationManager.StopProbe();
    m_CommunicationManager.Terminate();
    m_CommunicationManager.RemoveCallbackIF(this);
    m_bInitialize = false;
}

std::string CVLNetSession::FormatDeviceLine(const std::string& strMAC, const std::string& strIP,
                                            const std::string& strModel, const std::string& strMarks)
{
    return PrintableText(strMAC) + '\t' + PrintableText(strIP) + '\t' + PrintableText(strModel) +
           (strMarks.empty() ? std::string() : '\t' + PrintableText(strMarks));
}

std::string CVLNetSession::ListText(const std::vector<std::string>& names)
{
    std::string strText;
    for (size_t i = 0; i < names.size(); ++i)
        strText += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return strText;
}

std::string CVLNetSession::PrintableText(const std::string& str)
{
    std::string strText;
    for (size_t i = 0; i < str.size();) {
        size_t nLength = CVLNetPropertyLines::GetCharacterLength(str, i);
        if (nLength == 0) {
            char szEscape[8];
            snprintf(szEscape, sizeof(szEscape), "\\x%02X", static_cast<unsigned char>(str[i]));
            strText += szEscape;
            nLength = 1;
        } else if (CVLNetPropertyLines::IsControl(str, i)) {
            strText += ' ';
        } else {
            strText.append(str, i, nLength);
        }
        i += nLength;
    }
    return strText;
}

void CVLNetSession::OnProbe(VL_CONST_STR szMACAddress, CVLPFWNIFInfo* pNIFInfo)
{
    if (szMACAddress == nullptr || pNIFInfo == nullptr)
        return;
    std::string strMAC = CVLNetOptions::NormalizeMACAddress(szMACAddress);
    std::string strIP = Text(pNIFInfo->GetIPAddress());
    const unsigned long nHeard = countHeard(strMAC);
    std::string strMarks = marksOf(strMAC, strIP);
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_nChangeCount++;
    // The device manager hands a MAC on once, at the end of the first of
    // its addresses' chains that succeeds, whatever its other addresses
    // do; they are asked for (GetAddresses), and a mark that comes later
    // lists the line again (markConflicts).
    if (m_PrintedLines.count(strMAC) != 0)
        return;
    if ((!m_strFindMAC.empty() && strMAC == m_strFindMAC) || (!m_strFindIP.empty() && strIP == m_strFindIP)) {
        if (m_pFoundNIFInfo == nullptr)
            m_pFoundNIFInfo = pNIFInfo;
    }
    std::string strModel = Text(pNIFInfo->GetDisplayName());
    m_PrintedLines[strMAC] = {strIP, strModel, strMarks, nHeard};
    if (m_pStatusLine != nullptr && !m_bHoldLines)
        m_pStatusLine->Print(FormatDeviceLine(strMAC, strIP, strModel, strMarks));
}

std::string CVLNetSession::Marks(const std::vector<std::string>& others, unsigned long nUnchecked, bool bMore)
{
    std::string strMarks;
    for (size_t i = 0; i < others.size(); ++i)
        strMarks += (i == 0 ? "also answered from " : i + 1 == others.size() && nUnchecked == 0 ? " and " : ", ") +
                    others[i];
    if (nUnchecked > 0)
        strMarks += std::string(others.empty() ? "also answered from " : " and ") + (bMore ? "more than " : "") +
                    Count(nUnchecked, "more address", "more addresses");
    return strMarks;
}

std::string CVLNetSession::marksOf(const std::string& strMAC, const std::string& strIP)
{
    bool bMore = false;
    unsigned long nUnchecked = 0;
    std::vector<std::string> others;
    for (const SAddress& address : GetAddresses(strMAC, bMore)) {
        if (address.eState == ADDRESS_UNCHECKED)
            nUnchecked++;
        else if (address.strIP != strIP)
            others.push_back(address.strIP);
    }
    SortAddresses(others);
    return Marks(others, nUnchecked, bMore);
}

std::vector<std::string> CVLNetSession::GetOtherAddresses(const std::string& strMAC, const std::string& strIP)
{
    bool bMore = false;
    std::vector<std::string> others;
    for (const SAddress& address : GetAddresses(strMAC, bMore)) {
        if (address.eState != ADDRESS_UNCHECKED && address.strIP != strIP)
            others.push_back(address.strIP);
    }
    SortAddresses(others);
    return others;
}

std::string CVLNetSession::FindUncheckedMAC(const std::string& strIP)
{
    if (!m_bInitialize || strIP.empty())
        return std::string();
    for (const SVLECMHeardAddress& heard : m_CommunicationManager.GetVLECM().FindAddress(strIP.c_str())) {
        if (heard.address.eState == VLECM_MAC_ADDRESS_REFUSED || heard.address.eState == VLECM_MAC_ADDRESS_BEYOND)
            return CVLNetOptions::NormalizeMACAddress(Text(heard.strMAC));
    }
    return std::string();
}

std::vector<std::string> CVLNetSession::GetMACsAnsweringAt(const std::string& strIP)
{
    std::vector<std::string> macs;
    if (!m_bInitialize || strIP.empty())
        return macs;
    for (const SVLECMHeardAddress& heard : m_CommunicationManager.GetVLECM().FindAddress(strIP.c_str())) {
        if (heard.address.bUnicast)
            macs.push_back(CVLNetOptions::NormalizeMACAddress(Text(heard.strMAC)));
    }
    std::sort(macs.begin(), macs.end());
    macs.erase(std::unique(macs.begin(), macs.end()), macs.end());
    return macs;
}

std::vector<std::pair<std::string, std::vector<std::string>>> CVLNetSession::GetSharedAddresses()
{
    std::vector<std::pair<std::string, std::vector<std::string>>> shared;
    if (!m_bInitialize)
        return shared;
    // Only MACs that answered unicast there: a host that merely names many
    // MACs in its probe replies shares no address with a device.
    std::map<std::string, std::set<std::string>> byAddress;
    for (const std::string& strMAC : keptMACs(true)) {
        bool bMore = false;
        for (const SAddress& address : GetAddresses(strMAC, bMore)) {
            if (address.bUnicast)
                byAddress[address.strIP].insert(strMAC);
        }
    }
    std::vector<std::string> addresses;
    for (const auto& entry : byAddress) {
        if (entry.second.size() > 1)
            addresses.push_back(entry.first);
    }
    SortAddresses(addresses);
    for (const std::string& strIP : addresses)
        shared.emplace_back(strIP, std::vector<std::string>(byAddress[strIP].begin(), byAddress[strIP].end()));
    return shared;
}

std::vector<std::string> CVLNetSession::keptMACs(bool bUnicast)
{
    std::vector<std::string> macs;
    CVLECM& ecm = m_CommunicationManager.GetVLECM();
    // Every MAC of this probe, once each, without its addresses.
    for (const CVLString& strMAC : ecm.GetMACsChangedSince(0)) {
        SVLECMMACSummary summary;
        if (!ecm.GetMACSummary(strMAC.GetString(), summary) || summary.nKept == 0)
            continue;
        // Failed for not answering unicast, or not judged: none answered.
        if (bUnicast && summary.nPassed + summary.nAnswered + summary.nFailed - summary.nNotUnicast == 0)
            continue;
        macs.push_back(CVLNetOptions::NormalizeMACAddress(Text(strMAC)));
    }
    std::sort(macs.begin(), macs.end());
    macs.erase(std::unique(macs.begin(), macs.end()), macs.end());
    return macs;
}

std::vector<std::string> CVLNetSession::GetPassedAddresses(const std::string& strMAC)
{
    bool bMore = false;
    std::vector<std::string> passed;
    for (const SAddress& address : GetAddresses(strMAC, bMore)) {
        if (address.eState == ADDRESS_PASSED)
            passed.insert(address.bListed ? passed.begin() : passed.end(), address.strIP);
    }
    return passed;
}

void CVLNetSession::SortAddresses(std::vector<std::string>& addresses)
{
    // In address order, whichever answered first: a line a script compares
    // stays the same from run to run.
    auto number = [](const std::string& strAddress) {
        uint32_t nAddress = 0;
        return CVLSocketAddress::ParseDottedQuad(strAddress.c_str(), nAddress) ? nAddress : 0;
    };
    std::sort(addresses.begin(), addresses.end(),
              [&](const std::string& a, const std::string& b) { return number(a) < number(b); });
}

std::vector<std::string> CVLNetSession::GetListedMACs()
{
    std::vector<std::string> macs;
    std::lock_guard<std::mutex> lock(m_Mutex);
    for (const auto& entry : m_PrintedLines)
        macs.push_back(entry.first);
    return macs;
}

std::vector<CVLNetSession::SConflict> CVLNetSession::GetConflicts()
{
    std::vector<SConflict> conflicts;
    for (const std::string& strMAC : GetListedMACs()) {
        std::vector<std::string> passed = GetPassedAddresses(strMAC);
        if (passed.size() > 1) {
            SortAddresses(passed);
            conflicts.push_back({strMAC, passed});
        }
    }
    return conflicts;
}

std::string CVLNetSession::GetDeviceLine(const std::string& strMAC)
{
    SPrinted printed;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        auto it = m_PrintedLines.find(strMAC);
        if (it == m_PrintedLines.end())
            return std::string();
        printed = it->second;
    }
    return FormatDeviceLine(strMAC, printed.strIP, printed.strModel, marksOf(strMAC, printed.strIP));
}

unsigned long CVLNetSession::countHeard(const std::string& strMAC)
{
    SVLECMMACSummary summary;
    if (!m_bInitialize || !m_CommunicationManager.GetVLECM().GetMACSummary(strMAC.c_str(), summary))
        return 0;
    return summary.nKept + summary.nRefused + summary.nBeyond + (summary.bMore ? 1 : 0);
}

void CVLNetSession::markConflicts()
{
    if (!m_bInitialize)
        return;
    // Only the MACs whose addresses changed since the last look: a flood of
    // claims costs a look at the MACs it claims, not at every line.
    CVLECM& ecm = m_CommunicationManager.GetVLECM();
    unsigned long nSeen = 0;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_pStatusLine == nullptr)
            return;
        nSeen = m_nMACChangeSeen;
    }
    const unsigned long nChange = ecm.GetMACChangeCount();
    if (nChange == nSeen)
        return;
    const std::vector<CVLString> changed = ecm.GetMACsChangedSince(nSeen);
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_nMACChangeSeen = nChange;
    }
    for (const CVLString& strChanged : changed) {
        const std::string strMAC = CVLNetOptions::NormalizeMACAddress(Text(strChanged));
        if (!m_strFilterMAC.empty() && strMAC != m_strFilterMAC)
            continue;
        // A MAC not listed yet is listed when it is handed on (OnProbe).
        SPrinted printed;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            auto it = m_PrintedLines.find(strMAC);
            if (it == m_PrintedLines.end())
                continue;
            printed = it->second;
        }
        // Counted before the marks are read: an address heard in between
        // is read at the next look.
        const unsigned long nHeard = countHeard(strMAC);
        if (nHeard == printed.nHeard)
            continue;
        const std::string strMarks = marksOf(strMAC, printed.strIP);
        std::lock_guard<std::mutex> lock(m_Mutex);
        auto it = m_PrintedLines.find(strMAC);
        if (it == m_PrintedLines.end())
            continue;
        it->second.nHeard = nHeard;
        if (it->second.strMarks == strMarks)
            continue;
        it->second.strMarks = strMarks;
        if (m_pStatusLine != nullptr && !m_bHoldLines)
            m_pStatusLine->Print(FormatDeviceLine(it->first, it->second.strIP, it->second.strModel, strMarks));
    }
}

bool CVLNetSession::IsNothingSent(long& nError) const
{
    nError = m_nSendError;
    return m_bNothingSent;
}

bool CVLNetSession::IsDeaf(long& nError) const
{
    nError = m_nDeafError;
    return m_bDeaf;
}

unsigned long CVLNetSession::ReportScriptFailures()
{
    CVLCMApi* pApi = m_bInitialize ? m_CommunicationManager.GetVLECM().GetApi() : nullptr;
    CVLModuleController* pController = pApi != nullptr ? pApi->GetModuleController() : nullptr;
    std::string strFirst;
    unsigned long nFailures = pController != nullptr ? pController->TakeScriptFailures(strFirst) : 0;
    if (nFailures > 0)
        fprintf(stderr, "vlnet: a definition script failed %lu time%s (what it judged was dropped); the first: %s\n",
                nFailures, nFailures == 1 ? "" : "s", strFirst.c_str());
    return nFailures;
}

CVLPFWNIFInfo* CVLNetSession::GetFoundNIFInfo()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_pFoundNIFInfo;
}

int CVLNetSession::GetFoundCount()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return static_cast<int>(m_PrintedLines.size());
}

int CVLNetSession::GetAnsweredCount()
{
    // Devices of other MACs that a search by MAC removes still answered.
    return m_bInitialize ? m_CommunicationManager.GetVLECM().GetAnsweredMACCount() : 0;
}

std::string CVLNetSession::GetWebConfigURL(CVLPFWNIFInfo* pNIFInfo)
{
    if (pNIFInfo == nullptr)
        return std::string();
    return Text(pNIFInfo->GetWebConfigURL(m_Configuration.GetDummyWebConfigURL().GetString()));
}

long CVLNetSession::probeScheduleMilliseconds()
{
    CVLCMApi* pApi = m_CommunicationManager.GetVLECM().GetApi();
    long nRetryCount = ClampedConst(pApi, "Probe_RetryCount", kDefaultProbeRetryCount, kMaxProbeRetryCount);
    long nRetryInterval = ClampedConst(pApi, "Probe_RetryInterval", kDefaultProbeRetryInterval, kMaxProbeMilliseconds);
    long nInterval = ClampedConst(pApi, "Probe_Interval", kDefaultProbeInterval, kMaxProbeMilliseconds);
    // A re-send comes as much later as the pause after a receive that
    // timed out: the replies to the last one get their whole interval.
    return nRetryCount * (nRetryInterval + CVLProbeRecvThread::GetTimeoutPause()) + nInterval;
}

bool CVLNetSession::isWorthAnotherRound(const std::string& strFindMAC, const std::string& strFindIP)
{
    CVLECM& ecm = m_CommunicationManager.GetVLECM();
    // A refusal at the address looked for ends nothing: replies forged from
    // it may have filled its bound, and its own answer goes beyond that.
    SVLECMBoundReport refused;
    if (strFindIP.empty() && ecm.FindRefusedDevice(VLText(strFindMAC), VLText(strFindIP), refused))
        return false;
    VLPROBE_SEND_STATUS sendStatus = ecm.GetProbeSendStatus();
    return !(sendStatus.nSent == 0 && sendStatus.nFailed > 0) &&
           !(sendStatus.nDeaf > 0 && sendStatus.nDeaf >= sendStatus.nChildren);
}

std::string CVLNetSession::findTargetMAC()
{
    std::string strFindMAC, strFindIP;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_pFoundNIFInfo != nullptr)
            return CVLNetOptions::NormalizeMACAddress(Text(m_pFoundNIFInfo->GetMACAddress()));
        strFindMAC = m_strFindMAC;
        strFindIP = m_strFindIP;
    }
    if (!strFindMAC.empty())
        return GetVerdict(strFindMAC) != VERDICT_NOT_HEARD ? strFindMAC : std::string();
    // Any MAC heard from the address may be the one looked for, a claim's too.
    std::vector<SVLECMHeardAddress> heard = m_CommunicationManager.GetVLECM().FindAddress(strFindIP.c_str());
    return heard.empty() ? std::string() : CVLNetOptions::NormalizeMACAddress(Text(heard.front().strMAC));
}

CVLNetSession::EVerdict CVLNetSession::GetVerdict(const std::string& strMAC)
{
    SVLECMMACSummary summary;
    if (!m_bInitialize || !m_CommunicationManager.GetVLECM().GetMACSummary(strMAC.c_str(), summary))
        return VERDICT_NOT_HEARD;
    switch (summary.eVerdict) {
    case VLECM_MAC_ONE:
        return VERDICT_ONE;
    case VLECM_MAC_CONFLICT:
        return VERDICT_CONFLICT;
    case VLECM_MAC_NONE:
        return VERDICT_NONE;
    default:
        return VERDICT_PENDING;
    }
}

CVLNetSession::ETarget CVLNetSession::judgeTarget(size_t& nAddresses, bool& bSole)
{
    nAddresses = 0;
    bSole = false;
    std::string strFindMAC, strFindIP;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        strFindMAC = m_strFindMAC;
        strFindIP = m_strFindIP;
    }
    CVLECM& ecm = m_CommunicationManager.GetVLECM();
    if (!strFindMAC.empty()) {
        SVLECMMACSummary summary;
        if (!ecm.GetMACSummary(strFindMAC.c_str(), summary))
            return TARGET_NOT_HEARD;
        // Those on none of the computer's networks no change can reach:
        // they count only where no other address answered.
        const unsigned long nOnNetwork = (summary.nKept - summary.nKeptOffNetwork) +
                                         (summary.nRefused - summary.nRefusedOffNetwork) +
                                         (summary.nBeyond - summary.nBeyondOffNetwork);
        nAddresses = nOnNetwork > 0 ? nOnNetwork : summary.nKept + summary.nRefused + summary.nBeyond;
        bSole = summary.eVerdict == VLECM_MAC_ONE && nAddresses == 1;
        // Heard from more addresses than are told apart, it is judged at
        // once: nothing their checks say can tell the device from them.
        if (summary.nBeyond > summary.nBeyondOffNetwork || summary.bMore)
            return TARGET_JUDGED;
        // Judged at one address, it is the device once handed on to us.
        if (summary.eVerdict == VLECM_MAC_PENDING ||
            (summary.eVerdict == VLECM_MAC_ONE && GetFoundNIFInfo() == nullptr))
            return TARGET_PENDING;
        // No address passed: each heard so far is said (noteUnusable), and
        // the search goes on, as a new address of the MAC (the device, still
        // starting, behind a claimant) may answer in any later round.
        return summary.eVerdict == VLECM_MAC_NONE ? TARGET_FAILED : TARGET_JUDGED;
    }
    // By its address the device is that address alone: the other addresses
    // of its MAC are named, never waited for.
    std::vector<SVLECMHeardAddress> heard = ecm.FindAddress(strFindIP.c_str());
    if (heard.empty())
        return TARGET_NOT_HEARD;
    nAddresses = heard.size();
    bool bPending = false, bPassed = false;
    for (const SVLECMHeardAddress& one : heard) {
        switch (one.address.eState) {
        case VLECM_MAC_ADDRESS_HEARD:
        case VLECM_MAC_ADDRESS_WAITING:
        case VLECM_MAC_ADDRESS_CHECKING:
        case VLECM_MAC_ADDRESS_ANSWERED:
            bPending = true;
            break;
        case VLECM_MAC_ADDRESS_PASSED:
            bPassed = true;
            break;
        default:
            break;
        }
    }
    // Nothing heard there can be used (each failed or a bound refused it,
    // forged replies say): the device may yet answer, in a later round or
    // to the device manager's ask of its address.
    return bPending ? TARGET_PENDING : bPassed ? TARGET_JUDGED : TARGET_FAILED;
}

namespace {
// What its check or command met: the request refused before it left, as a
// command's end names it, or the result.
std::string FailureOrRefusal(const SVLECMMACAddress& address)
{
    if (!address.strRefusal.empty())
        return address.strRefusal;
    return CVLNetSession::FailureText(address.eResult, address.nDeviceResult);
}

// Why an address failed, as the device manager judged it.
std::string FailedReason(const SVLECMMACAddress& address)
{
    switch (address.eFailure) {
    case VLECM_MAC_FAILURE_NO_ANSWER:
    case VLECM_MAC_FAILURE_NOT_UNICAST:
        // What came from its address was not its reply (another MAC, say).
        return address.bAnsweredOtherwise ? "answered unicast, but not with its MAC" : "no answer to unicast";
    case VLECM_MAC_FAILURE_CHECK:
        if (address.eResult == VLECM_RESULT_TIMEOUT)
            return address.bAnsweredOtherwise ? "answered unicast, but not with its MAC" : "no answer to unicast";
        if (address.eResult == VLECM_RESULT_DEVICE_ERROR && address.nDeviceResult == kDeviceOtherDevice)
            return "unicast check failed: another device answered at its address (error F004)";
        return "unicast check failed: " + FailureOrRefusal(address);
    case VLECM_MAC_FAILURE_COMMAND:
        return "its commands failed: " + FailureOrRefusal(address);
    case VLECM_MAC_FAILURE_LOST:
        return "its reply was lost before it was handled";
    default:
        return "its unicast check failed";
    }
}

// What the computer lacked for the address's check or command to start,
// and the limit to raise; empty when it lacked nothing.
std::string LackText(VLECM_LACK eLack)
{
    switch (eLack) {
    case VLECM_LACK_DESCRIPTORS:
        return "no descriptor was free for a socket (raise the limit on open files: ulimit -n)";
    case VLECM_LACK_THREADS:
        return "no thread could start (raise the limit on processes: ulimit -u)";
    default:
        return "";
    }
}

// True when nothing came from the address to its unicast check, or its
// check has not ended: it answered the probe but not by unicast.
bool IsSilent(const SVLECMMACAddress& address)
{
    switch (address.eState) {
    case VLECM_MAC_ADDRESS_HEARD:
    case VLECM_MAC_ADDRESS_WAITING:
    case VLECM_MAC_ADDRESS_CHECKING:
        return true;
    case VLECM_MAC_ADDRESS_FAILED:
        if (address.eFailure == VLECM_MAC_FAILURE_STOPPED)
            return address.eCommand == VLECM_COMMAND_CHECK_UNICAST;
        return !address.bAnsweredOtherwise && (address.eFailure == VLECM_MAC_FAILURE_NO_ANSWER ||
                                               address.eFailure == VLECM_MAC_FAILURE_NOT_UNICAST ||
                                               (address.eFailure == VLECM_MAC_FAILURE_CHECK &&
                                                address.eResult == VLECM_RESULT_TIMEOUT));
    default:
        return false;
    }
}

// Kept by the device manager (checked, or to be), not refused or beyond.
bool IsKept(const SVLECMMACAddress& address)
{
    return address.eState != VLECM_MAC_ADDRESS_REFUSED && address.eState != VLECM_MAC_ADDRESS_BEYOND &&
           address.eState != VLECM_MAC_ADDRESS_REMOVED;
}

// The MAC keeps an address on the computer's networks.
bool KeepsOneOnNetwork(const SVLECMMACState& state)
{
    return std::any_of(state.addresses.begin(), state.addresses.end(),
                       [](const SVLECMMACAddress& one) { return IsKept(one) && !one.bOffNetwork; });
}
}  // namespace

// The computer's networks and broadcast links, read once, when first asked,
// for all the addresses of a MAC: a report of thousands of them reads the
// interfaces once, not once for each.
struct CVLNetSession::SLocalView
{
    bool bRead = false;
    std::shared_ptr<const CVLECMLocalNetworks> pNetworks;
    std::string strNetworks;
    std::vector<std::string> broadcast;

    void Read()
    {
        if (bRead)
            return;
        bRead = true;
        std::vector<VLInterfaceAddress> entries;
        VLListInterfaceAddresses(entries);
        pNetworks = CVLECM::ReadLocalNetworks();
        strNetworks = ListText(CVLECM::GetLocalNetworkNames(*pNetworks));
        broadcast = BroadcastInterfaces(entries);
    }
};

std::vector<CVLNetSession::SAddress> CVLNetSession::GetAddresses(const std::string& strMAC, bool& bMore)
{
    bMore = false;
    std::vector<SAddress> addresses;
    SVLECMMACState state;
    if (!m_bInitialize || !m_CommunicationManager.GetVLECM().GetMACState(strMAC.c_str(), state))
        return addresses;
    bMore = state.nBeyond > state.nBeyondOffNetwork;
    SLocalView view;
    const bool bOnNetworkKept = KeepsOneOnNetwork(state);
    for (const SVLECMMACAddress& found : state.addresses) {
        SAddress address;
        address.strIP = Text(found.strAddress);
        address.bListed = found.bReported;
        address.strModel = Text(found.strModel);
        address.bUnicast = found.bUnicast;
        address.bSilent = IsSilent(found);
        address.strLack = LackText(found.eLack);
        // While the MAC keeps an address on the computer's networks, a kept
        // one on none decides nothing, whatever its check did: only said.
        if (bOnNetworkKept && found.bOffNetwork && IsKept(found) && sayUnreachable(Text(state.strMAC), address, view)) {
            addresses.push_back(address);
            continue;
        }
        switch (found.eState) {
        case VLECM_MAC_ADDRESS_HEARD:
            address.bHeardOnly = true;
            address.strReason = "waiting for its reply to be handled";
            break;
        case VLECM_MAC_ADDRESS_WAITING:
            address.strReason = "waiting for its unicast check";
            break;
        case VLECM_MAC_ADDRESS_CHECKING:
            address.strReason = "in its unicast check";
            break;
        case VLECM_MAC_ADDRESS_ANSWERED:
            address.strReason = "waiting for its commands";
            break;
        case VLECM_MAC_ADDRESS_PASSED:
            address.eState = ADDRESS_PASSED;
            break;
        case VLECM_MAC_ADDRESS_FAILED:
            // Cut by the probe's stop: where it was, as when it ran.
            if (found.eFailure == VLECM_MAC_FAILURE_STOPPED) {
                address.strReason = found.eCommand == VLECM_COMMAND_CHECK_UNICAST ? "in its unicast check"
                                                                                   : "waiting for its commands";
                break;
            }
            address.eState = ADDRESS_FAILED;
            address.strReason = FailedReason(found);
            if (found.eFailure != VLECM_MAC_FAILURE_COMMAND && found.eFailure != VLECM_MAC_FAILURE_LOST) {
                const std::string strOff = offNetworkReason(Text(state.strMAC), address, view);
                address.bOffNetwork = !strOff.empty();
                if (address.bOffNetwork)
                    address.strReason = strOff;
            }
            break;
        case VLECM_MAC_ADDRESS_REFUSED:
            // One that no check could reach is only said, as a kept one is.
            if (sayUnreachable(state, found, address, view))
                break;
            address.eState = ADDRESS_UNCHECKED;
            // As the devices a bound refused are named.
            address.strReason =
                "refused by a bound: more than " +
                Count(static_cast<unsigned long>(found.nBound), "device", "devices") +
                (found.eBound == VLECM_BOUND_SOURCE ? std::string(" from one address (source addresses may be forged)")
                 : found.strNetwork.GetLength() > 0 ? " on " + Text(found.strNetwork)
                                                    : std::string(" on no local network"));
            break;
        case VLECM_MAC_ADDRESS_BEYOND:
            // One that no check could reach is judged as a kept one would be.
            if (sayUnreachable(state, found, address, view))
                break;
            address.eState = ADDRESS_UNCHECKED;
            address.strReason = "beyond the " + std::to_string(static_cast<int>(kMaxAddressesPerMAC)) +
                                " addresses checked for one MAC";
            break;
        case VLECM_MAC_ADDRESS_REMOVED:
            address.eState = ADDRESS_FAILED;
            address.strReason = "not accepted";
            break;
        }
        addresses.push_back(address);
    }
    return addresses;
}

bool CVLNetSession::sayUnreachable(const std::string& strMAC, SAddress& address, SLocalView& view)
{
    address.strReason = offNetworkReason(strMAC, address, view);
    if (address.strReason.empty())
        return false;
    address.eState = ADDRESS_FAILED;
    address.bOffNetwork = true;
    return true;
}

bool CVLNetSession::sayUnreachable(const SVLECMMACState& state, const SVLECMMACAddress& found, SAddress& address,
                                   SLocalView& view)
{
    if (!found.bOffNetwork)
        return false;
    address.strReason = offNetworkReason(Text(state.strMAC), address, view);
    if (address.strReason.empty())
        return false;
    address.eState = ADDRESS_FAILED;
    address.bOffNetwork = true;
    return true;
}

std::string CVLNetSession::offNetworkReason(const std::string& strMAC, SAddress& address, SLocalView& view)
{
    view.Read();
    if (CVLECM::IsOnLocalNetwork(*view.pNetworks, VLText(address.strIP)))
        return std::string();
    // The mask the device announced in its probe reply, and its address.
    std::string strMask, strOwn;
    m_CommunicationManager.GetVLECM().WithRecord(
        strMAC.c_str(), address.strIP.c_str(), [&strMask, &strOwn](CVLECMNIFInfo* pNIFInfo) {
            CVLNetPropertyLines::ReadText(pNIFInfo, kProbeMaskPath, strMask);
            CVLNetPropertyLines::ReadText(pNIFInfo, kProbeAddressPath, strOwn);
        });
    address.bOwnAddress = strOwn == address.strIP;
    return CVLNetResultText::GetOffNetworkText(address.strIP, strMask, view.strNetworks, view.broadcast);
}

CVLNetSession::EAddressState CVLNetSession::GetAddressState(const std::string& strMAC, const std::string& strIP,
                                                            std::string& strReason)
{
    strReason = "not heard";
    bool bMore = false;
    for (const SAddress& address : GetAddresses(strMAC, bMore)) {
        if (address.strIP == strIP) {
            strReason = address.strReason;
            return address.eState;
        }
    }
    return ADDRESS_FAILED;
}

std::vector<std::string> CVLNetSession::GetIncompleteReasons()
{
    return m_IncompleteReasons;
}

bool CVLNetSession::hasNonUnicastMatch()
{
    std::string strFindMAC, strFindIP;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        strFindMAC = m_strFindMAC;
        strFindIP = m_strFindIP;
    }
    // A device that answered the probe keeps its record, unreported, while
    // its unicast check waits and when it found no answer: the first of
    // its addresses heard says why.
    std::string strMAC = strFindMAC.empty() ? findTargetMAC() : strFindMAC;
    bool bMore = false;
    for (const SAddress& address : strMAC.empty() ? std::vector<SAddress>() : GetAddresses(strMAC, bMore)) {
        if (address.eState == ADDRESS_PASSED || address.eState == ADDRESS_UNCHECKED ||
            (!strFindIP.empty() && address.strIP != strFindIP))
            continue;
        m_strNotUnicastReason =
            address.strReason + (address.eState == ADDRESS_PENDING && m_bTimedOut ? " at the time-out" : "") +
            (address.eState == ADDRESS_PENDING && !address.strLack.empty() ? ": " + address.strLack : "");
        m_bFoundAnsweringUnicast = !address.bSilent;
        m_bFoundPending = address.eState == ADDRESS_PENDING;
        return true;
    }
    return false;
}

void CVLNetSession::findByAddress(const std::string& strIP)
{
    // Two MACs that answered from the address: which is meant cannot be told.
    if (GetMACsAnsweringAt(strIP).size() > 1)
        return;
    CVLECM& ecm = m_CommunicationManager.GetVLECM();
    for (const SVLECMHeardAddress& heard : ecm.FindAddress(strIP.c_str())) {
        if (heard.address.eState == VLECM_MAC_ADDRESS_PASSED) {
            // Not the address its MAC was handed on from: the user who
            // names it chooses it. The probe has stopped, so the record
            // stays until the next one.
            CVLPFWNIFInfo* pFound = nullptr;
            ecm.WithRecord(Text(heard.strMAC).c_str(), strIP.c_str(),
                           [&pFound](CVLECMNIFInfo* pNIFInfo) { pFound = dynamic_cast<CVLPFWNIFInfo*>(pNIFInfo); });
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_pFoundNIFInfo = pFound;
            return;
        }
    }
    // Only an address judged failed points elsewhere: one still checked
    // at the time-out is said to be.
    const std::string strMAC = findTargetMAC();
    bool bMore = false;
    std::string strReason;
    if (strMAC.empty() || GetAddressState(strMAC, strIP, strReason) != ADDRESS_FAILED)
        return;
    const std::vector<SAddress> addresses = GetAddresses(strMAC, bMore);
    for (const SAddress& address : addresses) {
        if (address.eState == ADDRESS_PASSED && address.strIP != strIP) {
            m_strPassedMACInstead = strMAC;
            m_strPassedAddressInstead = address.strIP;
        }
    }
    for (const SAddress& address : addresses) {
        if (address.strIP == strIP && !m_strPassedMACInstead.empty())
            m_strNotUsedWhy = address.bSilent ? "not by unicast" : "was not used (" + address.strReason + ")";
    }
}

std::vector<CVLNetSession::SUnlisted> CVLNetSession::GetUnlisted()
{
    return m_Unlisted;
}

void CVLNetSession::noteUnlisted(const char* szCut, const std::string& strFilterMAC)
{
    // Each address with a record that was not listed: a MAC's listed
    // address whose commands failed or were cut, every other one whose
    // check failed or was cut. Another address that passed is said apart
    // (GetConflicts), and one never checked too.
    // An address never checked is said apart (ReportUnchecked): a MAC that
    // only a bound's refusals name is not read.
    for (const std::string& strMAC : strFilterMAC.empty() ? keptMACs(false) : std::vector<std::string>{strFilterMAC}) {
        bool bMore = false;
        for (const SAddress& address : GetAddresses(strMAC, bMore)) {
            // One whose reply was never handled has no record, and no model.
            if (address.bHeardOnly || address.eState == ADDRESS_UNCHECKED)
                continue;
            // One that passed is listed, unless its MAC was still judged
            // when the probe was cut.
            if (address.eState == ADDRESS_PASSED) {
                std::lock_guard<std::mutex> lock(m_Mutex);
                if (szCut == nullptr || m_PrintedLines.count(strMAC) != 0)
                    continue;
            }
            // Only a time-out or a stop leaves a check or a chain
            // unfinished: a probe that ends by itself waits for them all.
            if (address.eState == ADDRESS_PENDING && szCut == nullptr)
                continue;
            SUnlisted unlisted;
            unlisted.strMAC = strMAC;
            unlisted.strIP = address.strIP;
            unlisted.strModel = address.strModel;
            unlisted.bUnicast = address.bUnicast;
            unlisted.bSilent = address.bSilent;
            unlisted.bPending = address.eState == ADDRESS_PENDING;
            unlisted.bOffNetwork = address.bOffNetwork;
            unlisted.bOwnAddress = address.bOwnAddress;
            unlisted.strReason =
                address.eState == ADDRESS_PASSED
                    ? std::string("passed its unicast check, but its MAC's other addresses were not all judged ") +
                          szCut
                : address.eState == ADDRESS_PENDING
                    ? (address.strReason == "waiting for its commands" ? "still " : "") + address.strReason + " " +
                          szCut + (address.strLack.empty() ? "" : ": " + address.strLack)
                    : address.strReason;
            m_Unlisted.push_back(unlisted);
        }
    }
}

void CVLNetSession::resetProbe(const SProbeGoal& goal, CVLNetStatusLine* pStatusLine)
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_PrintedLines.clear();
        m_nMACChangeSeen = 0;
        m_bHoldLines = !goal.strOnlyMAC.empty() && !goal.bFindOne;
        m_pFoundNIFInfo = nullptr;
        m_strFindMAC = goal.strFindMAC;
        m_strFindIP = goal.strFindIP;
        m_pStatusLine = pStatusLine;
        m_nChangeCount = 0;
    }
    m_bNothingSent = false;
    m_bFoundNotUnicast = false;
    m_bFoundAnsweringUnicast = false;
    m_bFoundPending = false;
    m_strNotUnicastReason.clear();
    m_nSendError = 0;
    m_strSendRefusal.clear();
    m_bDeaf = false;
    m_nDeafError = 0;
    m_IncompleteReasons.clear();
    m_Unlisted.clear();
    m_UnnamedRefused.clear();
    m_strRefusal.clear();
    m_strTwoHosts.clear();
    m_strAskFailure.clear();
    m_strPassedMACInstead.clear();
    m_strPassedAddressInstead.clear();
    m_strNotUsedWhy.clear();
    m_strLimitedOnlyNote.clear();
    m_strDownNote.clear();
    m_DownInterfaces.clear();
    m_UnpluggedInterfaces.clear();
    m_UnaddressedInterfaces.clear();
    m_strFilterMAC = goal.strOnlyMAC;
    m_bSoleAddressConfirmed = false;
    m_bSeveralAnswered = false;
    m_SeveralAddresses.clear();
    m_bTimedOut = false;
    m_eSearch = SEARCH_NOT_HEARD;
}

VLPFW_RESULT CVLNetSession::Probe(int nTimeoutSeconds, bool bListenToTimeout, const std::string& strFilterMAC,
                                  const std::string& strFindMAC, const std::string& strFindIP,
                                  CVLNetStatusLine* pStatusLine, bool bSoleAddress)
{
    if (!m_bInitialize)
        return VLPFW_RESULT_NOT_INITIALIZED;
    SProbeGoal goal;
    goal.nTimeoutSeconds = nTimeoutSeconds;
    goal.nTimeoutMilliseconds = static_cast<long>(nTimeoutSeconds) * 1000;
    goal.nScheduleMilliseconds = probeScheduleMilliseconds();
    goal.bFindOne = !strFindMAC.empty() || !strFindIP.empty();
    // A time-out the user gave to a probe is how long to listen: it ends
    // there, not when the first schedule is over.
    goal.bListen = bListenToTimeout && !goal.bFindOne;
    goal.bSoleAddress = bSoleAddress;
    goal.strFindMAC = strFindMAC;
    goal.strFindIP = strFindIP;
    // A MAC asked for (probe --mac; url, open and run given a MAC) is about
    // that device alone: the others' checks do not hold it, found or not.
    goal.strOnlyMAC = CVLNetOptions::NormalizeMACAddress(strFilterMAC);
    resetProbe(goal, pStatusLine);
    if (!m_CommunicationManager.SetFilterMACAddress(strFilterMAC.c_str()))
        return VLPFW_RESULT_PARAMETER_ERROR;
    // The address the user names is checked whatever else claimed its MAC
    // before it, and its commands wait for no other address's.
    m_CommunicationManager.GetVLECM().SetNamedAddress(VLText(strFindIP).GetString());
    m_CommunicationManager.GetVLECM().SetNamedMAC(goal.strOnlyMAC.c_str());
    goal.start = std::chrono::steady_clock::now();
    VLPFW_RESULT eResult = m_CommunicationManager.Probe();
    if (eResult != VLPFW_RESULT_SUCCESS)
        return eResult;
    const char* szCut = waitForEnd(goal, pStatusLine);
    m_bTimedOut = szCut == kCutByTimeout;
    noteEnd(goal, szCut);
    if (pStatusLine != nullptr)
        pStatusLine->Clear();
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_pStatusLine = nullptr;
    }
    return VLPFW_RESULT_SUCCESS;
}

std::string CVLNetSession::UnusableText(const std::string& strMAC, const std::vector<SAddress>& addresses,
                                        int nTimeoutSeconds)
{
    // By reason, in the order heard; of those on none of the computer's
    // networks, only the first few are named.
    std::vector<std::pair<std::string, std::vector<std::string>>> byReason;
    size_t nUnreachable = 0;
    for (const SAddress& address : addresses) {
        if (address.eState == ADDRESS_UNCHECKED || address.eState == ADDRESS_PASSED)
            continue;
        const std::string strReason = address.bOffNetwork ? "on none of this computer's networks" : address.strReason;
        auto it = std::find_if(byReason.begin(), byReason.end(),
                               [&strReason](const auto& entry) { return entry.first == strReason; });
        if (it == byReason.end())
            it = byReason.insert(byReason.end(), {strReason, {}});
        if (!address.bOffNetwork || address.bOwnAddress || ++nUnreachable <= kNamedUnreachable)
            it->second.push_back(address.strIP);
    }
    std::string strHeard;
    for (auto& entry : byReason) {
        if (entry.first == "on none of this computer's networks" && nUnreachable > kNamedUnreachable)
            entry.second.push_back(Count(nUnreachable - kNamedUnreachable, "more address", "more addresses"));
        strHeard += (strHeard.empty() ? "" : "; ") + ListText(entry.second) + " (" + entry.first + ")";
    }
    // Only refused by a bound: said as such at the end, which comes at once.
    if (strHeard.empty())
        return std::string();
    return "device " + strMAC + " answered so far only from addresses that cannot be used: " + strHeard +
           "; looking on until the time-out (" + std::to_string(nTimeoutSeconds) +
           " s), as the device may yet answer from an address of its own";
}

std::string CVLNetSession::UnusableAtText(const std::string& strIP, const std::vector<SVLECMHeardAddress>& heard,
                                          int nTimeoutSeconds)
{
    // By reason, in the order heard: the first MAC of each named, the rest
    // counted (forged replies bring hundreds).
    std::vector<std::pair<std::string, std::pair<std::string, unsigned long>>> byReason;
    for (const SVLECMHeardAddress& one : heard) {
        std::string strReason;
        if (one.address.eState == VLECM_MAC_ADDRESS_FAILED && one.address.eFailure != VLECM_MAC_FAILURE_STOPPED)
            strReason = FailedReason(one.address);
        else if (one.address.eState == VLECM_MAC_ADDRESS_REFUSED || one.address.eState == VLECM_MAC_ADDRESS_BEYOND)
            strReason = "not checked: refused by a bound";
        else
            continue;
        auto it = std::find_if(byReason.begin(), byReason.end(),
                               [&strReason](const auto& entry) { return entry.first == strReason; });
        if (it == byReason.end())
            byReason.push_back({strReason, {CVLNetOptions::NormalizeMACAddress(Text(one.strMAC)), 0}});
        else
            ++it->second.second;
    }
    std::string strHeard;
    for (const auto& entry : byReason)
        strHeard += (strHeard.empty() ? "" : "; ") + entry.second.first +
                    (entry.second.second > 0 ? " and " + Count(entry.second.second, "more MAC", "more MACs") : "") +
                    " (" + entry.first + ")";
    if (strHeard.empty())
        return std::string();
    return "device " + strIP + " answered so far only with MACs that cannot be used: " + strHeard +
           "; looking on until the time-out (" + std::to_string(nTimeoutSeconds) +
           " s), as the device itself may yet answer there";
}

void CVLNetSession::noteUnusable(const SProbeGoal& goal, CVLNetStatusLine* pStatusLine)
{
    const std::string& strMAC = goal.bFindOne ? goal.strFindMAC : goal.strOnlyMAC;
    bool bMore = false;
    const std::string strNote =
        goal.bFindOne && strMAC.empty()
            ? UnusableAtText(goal.strFindIP, m_CommunicationManager.GetVLECM().FindAddress(goal.strFindIP.c_str()),
                             goal.nTimeoutSeconds)
            : UnusableText(strMAC, GetAddresses(strMAC, bMore), goal.nTimeoutSeconds);
    if (strNote.empty())
        return;
    std::function<void(const std::string&)> fnNote;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        fnNote = m_fnNote;
    }
    if (pStatusLine != nullptr)
        pStatusLine->Note(strNote);
    else if (fnNote)
        fnNote(strNote);
    else
        fprintf(stderr, "vlnet: %s\n", strNote.c_str());
}

const char* CVLNetSession::waitForEnd(const SProbeGoal& goal, CVLNetStatusLine* pStatusLine)
{
    using Clock = std::chrono::steady_clock;
    CVLECM& ecm = m_CommunicationManager.GetVLECM();
    const long nSchedule = goal.nScheduleMilliseconds;
    const long nTimeout = goal.nTimeoutMilliseconds;
    SWaitState state;
    state.nLastStatus = -kStatusMilliseconds;
    state.nNextRound = nSchedule;
    for (;;) {
        const long nElapsed =
            static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - goal.start).count());
        if (IsStopRequested())
            return kCutByStop;
        // Definitions that make the ask of the address send what it may
        // not: looking on would not mend them.
        if (goal.bFindOne && !goal.strFindIP.empty()) {
            const SVLECMNamedAsk ask = ecm.GetNamedAddressAnswers();
            if (ask.eFailure != VLECM_RESULT_SUCCESS) {
                m_strAskFailure =
                    "unicast probe failed: " + (ask.strRefusal.empty() ? FailureText(ask.eFailure, 0) : ask.strRefusal);
                return nullptr;
            }
        }
        // The list cannot be written: probing on would only delay saying so.
        if (pStatusLine != nullptr && CVLNetStatusLine::HasWriteFailed())
            return nullptr;
        const unsigned long nMACChange = ecm.GetMACChangeCount();
        int nReports;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            nReports = m_nChangeCount;
        }
        if (goal.bFindOne && (nMACChange != state.nJudgedChange || nReports != state.nLastReports || !state.bJudged)) {
            state.eTarget = judgeTarget(state.nTargetAddresses, state.bSole);
            state.nJudgedChange = nMACChange;
            state.bJudged = true;
            m_eSearch = state.eTarget == TARGET_NOT_HEARD                           ? SEARCH_NOT_HEARD
                        : state.eTarget == TARGET_FAILED && !goal.strFindMAC.empty() ? SEARCH_UNUSABLE
                                                                                     : SEARCH_HEARD;
        }
        // probe --mac told to listen: a MAC whose every address failed is
        // looked for on, as url looks for it.
        const bool bOnlyUnusable =
            !goal.strOnlyMAC.empty() && goal.bListen && GetVerdict(goal.strOnlyMAC) == VERDICT_NONE;
        if (!state.bUnusableSaid && (bOnlyUnusable || (goal.bFindOne && state.eTarget == TARGET_FAILED))) {
            state.bUnusableSaid = true;
            noteUnusable(goal, pStatusLine);
        }
        if (isTargetDecided(goal, state, nElapsed))
            return nullptr;
        // The time-out ends a search whatever waits: what did is said.
        if (nElapsed >= nTimeout && (!goal.bFindOne || nElapsed >= nSchedule))
            return kCutByTimeout;
        // probe --mac: once that device's addresses are judged.
        const bool bOnlyPending = !goal.strOnlyMAC.empty() && GetVerdict(goal.strOnlyMAC) == VERDICT_PENDING;
        if (!goal.strOnlyMAC.empty() && !goal.bFindOne && nElapsed >= nSchedule && !bOnlyPending &&
            !bOnlyUnusable && GetVerdict(goal.strOnlyMAC) != VERDICT_NOT_HEARD)
            return nullptr;
        const bool bRounds = (goal.bFindOne && state.eTarget != TARGET_JUDGED) || goal.bListen;
        if (!probeAgainWhenDue(goal, state, bRounds, nElapsed))
            return nullptr;
        // Over when the table holds no MAC still to be judged (a reply
        // waiting to be handled, a check or commands under way) and nothing
        // changed for a quiet second: a pass costs the same however many
        // devices answered.
        const bool bPending = goal.strOnlyMAC.empty() ? ecm.GetPendingMACCount() > 0 : bOnlyPending;
        const int nRecords = ecm.GetRecordCount();
        if (nRecords != state.nLastRecords || nReports != state.nLastReports || bPending) {
            state.nLastRecords = nRecords;
            state.nLastReports = nReports;
            state.nLastChange = nElapsed;
        }
        if (!goal.bFindOne && !goal.bListen && nElapsed >= nSchedule && !bPending &&
            nElapsed - state.nLastChange >= kQuietMilliseconds)
            return nullptr;
        markConflicts();
        waitForNextDue(goal, state, pStatusLine, nMACChange, bRounds, bPending, nElapsed);
    }
}

bool CVLNetSession::isTargetDecided(const SProbeGoal& goal, SWaitState& state, long nElapsed)
{
    CVLECM& ecm = m_CommunicationManager.GetVLECM();
    // A change or a password by MAC goes only where one address alone
    // answers for it: a second decides the refusal, whatever the
    // checks still under way say.
    if (goal.bSoleAddress && state.nTargetAddresses > 1) {
        bool bMore = false;
        m_SeveralAddresses = GetAddresses(goal.strFindMAC, bMore);
        m_bSeveralAnswered = true;
        return true;
    }
    // The device looked for is used only after the send schedule, when
    // every address that answers for its MAC has been heard, and once
    // the device manager judged it. A change or a password by MAC waits
    // one more round, in which no other address may answer for it.
    if (goal.bFindOne && nElapsed >= goal.nScheduleMilliseconds && state.eTarget == TARGET_JUDGED) {
        if (!goal.bSoleAddress || !state.bSole ||
            (state.nSoleRoundEnd >= 0 && state.nTargetAddresses > state.nSoleRoundAddresses))
            return true;
        if (state.nSoleRoundEnd < 0) {
            if (!ecm.ProbeAgain())
                return true;
            state.nSoleRoundEnd = nElapsed + goal.nScheduleMilliseconds;
            state.nSoleRoundAddresses = state.nTargetAddresses;
        } else if (nElapsed >= state.nSoleRoundEnd) {
            m_bSoleAddressConfirmed = true;
            return true;
        }
    } else if (goal.bSoleAddress && state.nSoleRoundEnd >= 0 && state.eTarget != TARGET_JUDGED) {
        // Another address answered in the extra round.
        return true;
    }
    return false;
}

bool CVLNetSession::probeAgainWhenDue(const SProbeGoal& goal, SWaitState& state, bool bRounds, long nElapsed)
{
    // A device looked for that has not answered yet (still starting, or
    // its reply late), or whose addresses heard so far are still
    // checked or failed, is asked again, a round of the send schedule
    // each time one has passed, until the time-out; so is every device
    // of a probe that listens to its time-out. The devices found stay,
    // and a late reply to an earlier round is still heard. Claimants
    // heard before it do not end the search.
    if (bRounds && nElapsed >= state.nNextRound && nElapsed < goal.nTimeoutMilliseconds) {
        state.nNextRound = nElapsed + goal.nScheduleMilliseconds;
        if (!(goal.bFindOne ? isWorthAnotherRound(goal.strFindMAC, goal.strFindIP)
                            : isWorthAnotherRound(goal.strOnlyMAC, "")))
            return false;
        m_CommunicationManager.GetVLECM().ProbeAgain();
    }
    return true;
}

void CVLNetSession::waitForNextDue(const SProbeGoal& goal, SWaitState& state, CVLNetStatusLine* pStatusLine,
                                   unsigned long nMACChange, bool bRounds, bool bPending, long nElapsed)
{
    using Clock = std::chrono::steady_clock;
    if (pStatusLine != nullptr && nElapsed - state.nLastStatus >= kStatusMilliseconds) {
        int nChecking = 0, nCommands = 0;
        GetWaitCounts(nChecking, nCommands);
        pStatusLine->Show(nElapsed / 1000.0, GetFoundCount(), nChecking, nCommands);
        state.nLastStatus = nElapsed;
    }
    // Until the table changes or the next thing falls due; a stop asked
    // for by a signal is seen within a wait.
    long nWait = kWaitMilliseconds;
    for (long nDue : {goal.nScheduleMilliseconds, goal.nTimeoutMilliseconds, bRounds ? state.nNextRound : 0L,
                      state.nSoleRoundEnd, bPending ? 0L : state.nLastChange + kQuietMilliseconds,
                      pStatusLine != nullptr ? state.nLastStatus + kStatusMilliseconds : 0L}) {
        if (nDue > nElapsed)
            nWait = std::min(nWait, nDue - nElapsed);
    }
    m_CommunicationManager.GetVLECM().WaitForMACChange(nMACChange, static_cast<int>(nWait));
    if (nElapsed - state.nLastTrim >= kTrimMilliseconds) {
        malloc_trim(0);
        state.nLastTrim = nElapsed;
    }
    // Changes that come fast are taken together: a pass at most so often.
    const long nPassed = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - goal.start).count() - nElapsed);
    if (nPassed < kMinPassMilliseconds)
        std::this_thread::sleep_for(std::chrono::milliseconds(kMinPassMilliseconds - nPassed));
}

void CVLNetSession::GetWaitCounts(int& nChecking, int& nCommands)
{
    nChecking = 0;
    nCommands = 0;
    if (!m_bInitialize)
        return;
    const int nChains = m_CommunicationManager.GetVLECM().GetUnfinishedChainCount(nChecking);
    nCommands = std::max(nChains - nChecking, 0);
}

void CVLNetSession::noteEnd(const SProbeGoal& goal, const char* szCut)
{
    CVLECM& ecm = m_CommunicationManager.GetVLECM();
    // Read before the stop, which releases the probe: an empty list means
    // only "nobody answered" when the probe went out.
    VLPROBE_SEND_STATUS sendStatus = ecm.GetProbeSendStatus();
    noteLimitedOnly();
    std::vector<VLInterfaceAddress> interfaces;
    if (VLListInterfaceAddresses(interfaces)) {
        m_UnaddressedInterfaces = UnaddressedInterfaces();
        m_strDownNote = DownNote(interfaces, m_UnaddressedInterfaces);
    }
    for (const VLInterfaceAddress& entry : interfaces) {
        if (IsDown(entry) && entry.bFirstOfInterface)
            m_DownInterfaces.push_back(entry.strInterface);
        else if (!IsDown(entry) && VLHasNoCarrier(entry) && entry.bFirstOfInterface)
            m_UnpluggedInterfaces.push_back(entry.strInterface);
    }
    m_bNothingSent = sendStatus.nSent == 0 && sendStatus.nFailed > 0;
    m_nSendError = sendStatus.nFirstError;
    m_strSendRefusal = sendStatus.strFirstRefusal;
    // Nor does it when the replies could not be heard.
    m_bDeaf = sendStatus.nDeaf > 0 && sendStatus.nDeaf >= sendStatus.nChildren;
    m_nDeafError = sendStatus.nDeafError;
    // With a filtering MAC address, the others do not matter; its device,
    // if it still waits, is named below.
    std::vector<SVLECMBoundReport> reports = ecm.GetBoundReports(kMaxNamedRefused);
    if (szCut == kCutByStop && !goal.bFindOne)
        m_IncompleteReasons.push_back("the probe was stopped before it was over: the list may be short");
    // A device answers the last of the schedule's broadcasts as late as
    // the schedule's end: one that ended earlier may have missed some.
    if (szCut == kCutByTimeout && !goal.bFindOne && goal.nTimeoutMilliseconds < goal.nScheduleMilliseconds)
        m_IncompleteReasons.push_back("the time-out (" + std::to_string(goal.nTimeoutSeconds) +
                                      " s) ended the probe before its send schedule (" +
                                      SecondsText(goal.nScheduleMilliseconds) + " s) was over: the list may be short");
    noteIncomplete(reports, !goal.bFindOne && goal.strOnlyMAC.empty() ? szCut : nullptr);
    if (!goal.bFindOne)
        noteUnlisted(szCut, goal.strOnlyMAC);
    noteRefused(reports, goal.strOnlyMAC, goal.bFindOne && GetFoundNIFInfo() == nullptr);
    if (sendStatus.nDeaf > 0 && !m_bDeaf)
        m_IncompleteReasons.push_back(
            "the probe could not listen for replies to " + std::to_string(sendStatus.nDeaf) + " of its " +
            std::to_string(sendStatus.nChildren) + " broadcasts (their receive threads could not start: " +
            CVLNetResultText::GetSystemErrorText(sendStatus.nDeafError) + "): the list may be short");
    // A burst on the probe's sockets, a flood on the checks' port.
    for (const std::string& strLost :
         CVLNetProbeStatus::LossReasons(sendStatus.nLost, ecm.GetUnicastCheckLostCount()))
        m_IncompleteReasons.push_back(strLost);
    m_CommunicationManager.StopProbe();
    if (!goal.strFindIP.empty() && GetFoundNIFInfo() == nullptr)
        findByAddress(goal.strFindIP);
    m_bFoundNotUnicast = goal.bFindOne && GetFoundNIFInfo() == nullptr && hasNonUnicastMatch();
    markConflicts();
}

std::vector<CVLNetValueCheck::SField> CVLNetSession::GetRequestFields(const std::string& strCommand,
                                                                      CVLPFWNIFInfo* pNIFInfo)
{
    if (!m_bInitialize)
        return std::vector<CVLNetValueCheck::SField>();
    CVLECM& ecm = m_CommunicationManager.GetVLECM();
    return CVLNetValueCheck::ReadRequestFields(ecm.GetApi(), PacketListOf(ecm, strCommand), pNIFInfo);
}

bool CVLNetSession::NeedsPassword(const std::string& strCommand)
{
    if (!m_bInitialize)
        return false;
    CVLECM& ecm = m_CommunicationManager.GetVLECM();
    return CVLNetValueCheck::CarriesPassword(ecm.GetApi(), PacketListOf(ecm, strCommand));
}

std::string CVLNetSession::GetProbeRequest(unsigned short& nPort)
{
    if (!m_bInitialize)
        return std::string();
    CVLECM& ecm = m_CommunicationManager.GetVLECM();
    // The port the probe's broadcasts go to.
    const CVLString strPort = ecm.GetApi()->GetConst("toPort", kSocketModuleName, kBroadcastSocketInstance);
    const long nDefined = strPort.GetLength() > 0 ? strPort.ToLong(VLPC_PORT) : VLPC_PORT;
    nPort = static_cast<unsigned short>(nDefined > 0 && nDefined <= kMaxPort ? nDefined : VLPC_PORT);
    return CVLPCRequestFields::BareRequest(ecm.GetApi(), VLText(PacketListOf(ecm, "Probe")));
}

namespace {
// Where the refused devices' replies came in: the interfaces of the
// sockets that belong to one network, and a warning where something points
// to forgery (a host may send from another network's addresses).
std::string ArrivalText(const SVLECMBoundReport& report)
{
    std::string strText;
    size_t nCount = report.interfaces.size();
    for (size_t i = 0; i < nCount; ++i) {
        strText += i == 0 ? "received on " : i + 1 == nCount ? " and " : ", ";
        strText += Text(report.interfaces[i]);
    }
    if (report.bMayBeForged)
        strText += std::string(strText.empty() ? "" : "; ") + "source addresses may be forged";
    return strText.empty() ? strText : " (" + strText + ")";
}

// " (source addresses may be forged)" where something points to forgery
// (see ArrivalText); empty otherwise.
std::string ForgeryNote(const SVLECMBoundReport& report)
{
    return report.bMayBeForged ? " (source addresses may be forged)" : "";
}

// What a bound of a report refused: "more than 512 devices on
// 10.71.2.0/24", "more than 4 devices from one address".
std::string BoundText(const SVLECMBoundReport& report)
{
    std::string strBound = "more than " + Count(static_cast<unsigned long>(report.nBound), "device", "devices");
    if (report.eBound == VLECM_BOUND_SOURCE)
        return strBound + " from one address";
    return strBound + " on " +
           (report.strNetwork.GetLength() > 0 ? Text(report.strNetwork) : std::string("no local network"));
}
}  // namespace

std::string CVLNetSession::DownNetworkText(const std::vector<VLInterfaceAddress>& entries, const std::string& strIP)
{
    uint32_t nAddress = 0;
    if (!CVLSocketAddress::ParseDottedQuad(strIP.c_str(), nAddress))
        return std::string();
    for (const VLInterfaceAddress& entry : entries) {
        const uint32_t nMask = CVLSocketAddress::HostOrder(entry.netmask);
        const bool bNoCarrier = VLHasNoCarrier(entry);
        if ((!IsDown(entry) && !bNoCarrier) || nMask == 0 ||
            (CVLSocketAddress::HostOrder(entry.address) & nMask) != (nAddress & nMask))
            continue;
        if (bNoCarrier)
            return strIP + " is on the network of interface " + InterfaceText(entry) +
                   ", which has no carrier, so the probe leaves that network out: connect it " + kConnectIt;
        return strIP + " is on the network of interface " + InterfaceText(entry) +
               ", which is down, so the probe leaves that network out: bring it up (ip link set " + entry.strInterface +
               " up)";
    }
    return std::string();
}

std::vector<std::string> CVLNetSession::BroadcastInterfaces()
{
    std::vector<VLInterfaceAddress> entries;
    VLListInterfaceAddresses(entries);
    return BroadcastInterfaces(entries);
}

std::vector<std::string> CVLNetSession::BroadcastInterfaces(const std::vector<VLInterfaceAddress>& entries)
{
    std::vector<std::string> interfaces;
    for (const VLInterfaceAddress& entry : entries) {
        if (!entry.bUp || entry.bLoopback || (entry.nFlags & IFF_BROADCAST) == 0 ||
            (entry.nFlags & IFF_POINTOPOINT) != 0 || VLHasNoCarrier(entry) ||
            std::find(interfaces.begin(), interfaces.end(), entry.strInterface) != interfaces.end())
            continue;
        interfaces.push_back(entry.strInterface);
    }
    return interfaces;
}

std::string CVLNetSession::DownNote(const std::vector<VLInterfaceAddress>& entries,
                                    const std::vector<std::string>& unaddressed)
{
    // An interface that is down, or up without carrier, has no route: the
    // probe sends nothing there (nor could a device there answer), and says
    // nothing of it otherwise; one without an IPv4 address has no network.
    std::vector<std::string> down, downInterfaces, unplugged;
    for (const VLInterfaceAddress& entry : entries) {
        if (!entry.bFirstOfInterface)
            continue;
        if (IsDown(entry)) {
            down.push_back(InterfaceText(entry));
            downInterfaces.push_back(entry.strInterface);
        } else if (VLHasNoCarrier(entry)) {
            unplugged.push_back(InterfaceText(entry));
        }
    }
    std::vector<std::string> parts;
    if (!down.empty()) {
        const bool bOne = down.size() == 1;
        parts.push_back(std::string(bOne ? "interface " : "interfaces ") + ListText(down) + (bOne ? " is" : " are") +
                        " down, so the probe left out " + (bOne ? "its network" : "their networks") + ": bring " +
                        (bOne ? "it" : "them") + " up (ip link set " +
                        (bOne ? downInterfaces.front() : std::string("DEV")) + " up)");
    }
    if (!unplugged.empty()) {
        const bool bOne = unplugged.size() == 1;
        parts.push_back(std::string(bOne ? "interface " : "interfaces ") + ListText(unplugged) +
                        (bOne ? " has" : " have") + " no carrier, so the probe left out " +
                        (bOne ? "its network" : "their networks") + ": connect " + (bOne ? "it " : "them ") +
                        kConnectIt);
    }
    if (!unaddressed.empty()) {
        const bool bOne = unaddressed.size() == 1;
        parts.push_back(
            std::string(bOne ? "interface " : "interfaces ") + ListText(unaddressed) + (bOne ? " is up" : " are up") +
            " without an IPv4 address, so the probe has no network there: give " + (bOne ? "it one" : "each one") +
            " (ip address add A.B.C.D/N dev " + (bOne ? unaddressed.front() : std::string("DEV")) + ")");
    }
    std::string strNote;
    for (const std::string& strPart : parts)
        strNote += (strNote.empty() ? "" : "; ") + strPart;
    return strNote;
}

std::vector<std::string> CVLNetSession::UnaddressedInterfaces()
{
    std::vector<std::string> names;
    VLListUnaddressedInterfaces(names);
    return names;
}

void CVLNetSession::noteLimitedOnly()
{
    int nReached = 0;
    std::vector<CVLString> networks = m_CommunicationManager.GetVLECM().GetNetworksWithoutDirectedBroadcast(nReached);
    std::vector<std::string> names;
    for (const CVLString& strNetwork : networks)
        names.push_back(Text(strNetwork));
    const std::string strNetworks = ListText(names);
    if (!networks.empty())
        m_strLimitedOnlyNote = "only the limited broadcast probed " + strNetworks +
                               ": directed broadcasts went to the first " + std::to_string(nReached) +
                               " local networks, so a device there that answers only its directed broadcast is "
                               "missing";
}

void CVLNetSession::noteIncomplete(const std::vector<SVLECMBoundReport>& reports, const char* szCut)
{
    for (const SVLECMBoundReport& report : reports) {
        std::string strNetwork =
            report.strNetwork.GetLength() > 0 ? "on " + Text(report.strNetwork) : std::string("on no local network");
        std::string strBound = Count(static_cast<unsigned long>(report.nBound), "device", "devices");
        if (report.eBound == VLECM_BOUND_SOURCE)
            strBound += " from one address";
        m_IncompleteReasons.push_back((report.bMore ? "at least " : "") + Count(report.nDevices, "device", "devices") +
                                      " from " + Count(report.nAddresses, "address", "addresses") + " " + strNetwork +
                                      " not listed: more than " + strBound + ArrivalText(report));
    }
    // The devices of waiting replies are not listed yet: counted, not named.
    CVLECM& ecm = m_CommunicationManager.GetVLECM();
    const int nWaiting = szCut != nullptr ? ecm.GetWaitingReplyCount() : 0;
    // Each count is of addresses, claims' too, out of those that came as
    // far: the addresses kept for a check, and those that passed it.
    unsigned long nChecking = 0, nKept = 0, nCommands = 0, nAnswered = 0;
    // Of those still waiting, the ones whose check or commands could not
    // start for want of descriptors, and of threads.
    unsigned long nLack[3] = {0, 0, 0};
    for (const std::string& strMAC : szCut != nullptr ? keptMACs(false) : std::vector<std::string>()) {
        // A MAC none of whose addresses is still to be judged or answered
        // unicast is counted by its summary, without its addresses.
        SVLECMMACSummary summary;
        if (!ecm.GetMACSummary(strMAC.c_str(), summary))
            continue;
        if (summary.nPending + summary.nAnswered + summary.nPassed + summary.nFailed - summary.nNotUnicast == 0) {
            nKept += summary.nKept;
            continue;
        }
        SVLECMMACState state;
        if (!ecm.GetMACState(strMAC.c_str(), state))
            continue;
        for (const SVLECMMACAddress& address : state.addresses) {
            const VLECM_MAC_ADDRESS_STATE eState = address.eState;
            if (eState == VLECM_MAC_ADDRESS_REFUSED || eState == VLECM_MAC_ADDRESS_BEYOND ||
                eState == VLECM_MAC_ADDRESS_HEARD)
                continue;
            nKept++;
            nChecking += eState == VLECM_MAC_ADDRESS_WAITING || eState == VLECM_MAC_ADDRESS_CHECKING ? 1 : 0;
            nAnswered += address.bUnicast ? 1 : 0;
            nCommands += eState == VLECM_MAC_ADDRESS_ANSWERED ? 1 : 0;
            if (eState == VLECM_MAC_ADDRESS_WAITING || eState == VLECM_MAC_ADDRESS_ANSWERED)
                ++nLack[address.eLack];
        }
    }
    // A device deaf to unicast waits in its check, not for its commands.
    if (nChecking > 0)
        m_IncompleteReasons.push_back(std::to_string(nChecking) + " of " + Count(nKept, "address", "addresses") +
                                      (nChecking == 1 ? " was" : " were") + " still in the unicast check " + szCut);
    if (nCommands > 0)
        m_IncompleteReasons.push_back(std::to_string(nCommands) + " of " + std::to_string(nAnswered) +
                                      (nAnswered == 1 ? " address that passed its" : " addresses that passed their") +
                                      " unicast check " + (nCommands == 1 ? "was" : "were") +
                                      " still waiting for " + (nCommands == 1 ? "its" : "their") + " commands " +
                                      szCut);
    // Not the devices' doing: the computer's, and the limit to raise.
    for (VLECM_LACK eLack : {VLECM_LACK_DESCRIPTORS, VLECM_LACK_THREADS}) {
        if (nLack[eLack] > 0)
            m_IncompleteReasons.push_back(std::to_string(nLack[eLack]) + " of them " +
                                          (nLack[eLack] == 1 ? "was" : "were") + " waiting because " + LackText(eLack));
    }
    if (nWaiting > 0)
        m_IncompleteReasons.push_back(
            Count(static_cast<unsigned long>(nWaiting), "reply", "replies") +
            (nWaiting == 1 ? " of a device not yet listed was" : " of devices not yet listed were") +
            " still waiting to be handled " + szCut);
}

void CVLNetSession::noteRefused(const std::vector<SVLECMBoundReport>& reports, const std::string& strFilterMAC,
                                bool bFindOne)
{
    CVLECM& ecm = m_CommunicationManager.GetVLECM();
    SVLECMBoundReport found;
    if (bFindOne) {
        std::string strFindMAC, strFindIP;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            strFindMAC = m_strFindMAC;
            strFindIP = m_strFindIP;
        }
        // Two hosts answered the ask of the address: which of them refused
        // replies came from matters not.
        std::vector<std::string> answers;
        for (const CVLString& strMAC :
             strFindMAC.empty() ? ecm.GetNamedAddressAnswers().answers : std::vector<CVLString>())
            answers.push_back(CVLNetOptions::NormalizeMACAddress(Text(strMAC)));
        if (answers.size() > 1) {
            m_strTwoHosts = ListText(answers);
            return;
        }
        // Whether its source may be forged, as the probe says it.
        if (ecm.FindRefusedDevice(VLText(strFindMAC), VLText(strFindIP), found))
            m_strRefusal = BoundText(found) + ForgeryNote(found);
        return;
    }
    auto unlisted = [this](const SVLECMBoundReport& report) {
        for (const SVLECMRefusedDevice& device : report.devices) {
            SUnlisted refused;
            refused.strMAC = CVLNetOptions::NormalizeMACAddress(Text(device.strMAC));
            refused.strIP = Text(device.strAddress);
            refused.strReason = "refused by a bound: " + BoundText(report) + ForgeryNote(report);
            refused.bRefused = true;
            m_Unlisted.push_back(refused);
        }
    };
    if (!strFilterMAC.empty()) {
        if (ecm.FindRefusedDevice(VLText(strFilterMAC), CVLString(VL_CHARSET_UTF8), found))
            unlisted(found);
        return;
    }
    for (const SVLECMBoundReport& report : reports) {
        unlisted(report);
        unsigned long nNamed = static_cast<unsigned long>(report.devices.size());
        if (report.nDevices > nNamed || report.bMore)
            m_UnnamedRefused.push_back((report.bMore ? "at least " : "") +
                                       Count(report.nDevices - nNamed, "more device", "more devices") +
                                       " refused by a bound: " + BoundText(report));
    }
}

VLECM_RESULT CVLNetSession::runAndWait(CVLPFWNIFInfo* pNIFInfo, VLECM_COMMAND eCommand, bool bPasswordGiven,
                                       std::string& strError)
{
    VLECM_RESULT eResult = pNIFInfo->StartCommandAsync(eCommand, VLECM_CONNECT_TYPE_NETWORK, nullptr, nullptr);
    if (eResult != VLECM_RESULT_SUCCESS) {
        strError = std::string("the command ") + CVLECMNIFInfo::GetCommandName(eCommand) + " did not start";
        return eResult;
    }
    while (pNIFInfo->IsCommandRunning()) {
        if (IsStopRequested()) {
            pNIFInfo->StopCommand();
            strError = FailureText(VLECM_RESULT_STOPPED, 0);
            return VLECM_RESULT_STOPPED;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMilliseconds));
    }
    eResult = pNIFInfo->GetCommandResult();
    if (eResult != VLECM_RESULT_SUCCESS)
        strError = FailureText(eResult, pNIFInfo->GetCommandDeviceResult(), bPasswordGiven);
    const std::string strRefusal = pNIFInfo->GetCommandRefusal();
    if (eResult != VLECM_RESULT_SUCCESS && !strRefusal.empty())
        strError = strRefusal;
    std::string strTries;
    if (eCommand == VLECM_COMMAND_CHECK_PASSWORD && eResult == VLECM_RESULT_UNLOCK_REFUSED &&
        CVLNetPropertyLines::ReadText(pNIFInfo, kTriesLeftPath, strTries))
        strError += strTries == kNoTriesLeft
                        ? "; it says no tries are left: it counts no further wrong ones, and the right password gives "
                          "them back"
                        : "; " + strTries + (strTries == "1" ? " try" : " tries") + " left before it locks, it says";
    return eResult;
}

bool CVLNetSession::HoldsAnswer(CVLPFWNIFInfo* pNIFInfo, const std::string& strCommand, VLECM_RESULT eResult)
{
    VLECM_COMMAND eCommand;
    std::string strTries;
    return eResult == VLECM_RESULT_SUCCESS ||
           (eResult == VLECM_RESULT_UNLOCK_REFUSED && CommandOf(strCommand, eCommand) &&
            eCommand == VLECM_COMMAND_CHECK_PASSWORD &&
            CVLNetPropertyLines::ReadText(pNIFInfo, kTriesLeftPath, strTries));
}

long CVLNetSession::GetMostWaitSeconds(const std::string& strCommand)
{
    VLECM_COMMAND eCommand;
    if (!m_bInitialize || !CommandOf(strCommand, eCommand) || eCommand != VLECM_COMMAND_REBOOT_POLLING)
        return 0;
    CVLECM& ecm = m_CommunicationManager.GetVLECM();
    auto option = [&ecm](const char* szKey) {
        CVLString strValue = ecm.GetProperty(szKey);
        return (strValue.GetLength() > 0 ? strValue : CVLECMDefaultOptions::String(szKey)).ToLong(0);
    };
    // The first wait, the polls up to the deadline, and the last exchange.
    const long nMilliseconds = option("Option.RebootPolling.FirstWait") + option("Option.RebootPolling.MaxTimeout") +
                               option("Option.RebootPolling.Timeout") * (option("Option.RebootPolling.Retry") + 1);
    const long kPerSecond = 1000;
    return (nMilliseconds + kPerSecond - 1) / kPerSecond;
}

std::string CVLNetSession::FailureText(VLECM_RESULT eResult, long nDeviceResult, bool bPasswordGiven)
{
    if (eResult == VLECM_RESULT_UNLOCK_REFUSED ||
        (eResult == VLECM_RESULT_DEVICE_ERROR && nDeviceResult == kDeviceWrongPassword))
        return bPasswordGiven ? "the device refused the password"
                              : "the device needs a password (--password-file or --password)";
    if (eResult == VLECM_RESULT_DEVICE_ERROR && nDeviceResult != 0) {
        char szText[64];
        snprintf(szText, sizeof(szText), "the device answered with error %04lX", nDeviceResult);
        const char* szMeaning = CVLNetResultText::GetDeviceResultText(nDeviceResult);
        return szMeaning != nullptr ? std::string(szText) + " (" + szMeaning + ")" : std::string(szText);
    }
    if (eResult == VLECM_RESULT_TIMEOUT)
        return "the device did not answer";
    return CVLNetResultText::GetECMResultText(eResult);
}

bool CVLNetSession::WritesDevice(const std::string& strCommand)
{
    VLECM_COMMAND eCommand;
    return CommandOf(strCommand, eCommand) && ChangesDevice(eCommand);
}

bool CVLNetSession::ResetsDevice(const std::string& strCommand)
{
    VLECM_COMMAND eCommand;
    return CommandOf(strCommand, eCommand) && eCommand == VLECM_COMMAND_FACT_RESET;
}

bool CVLNetSession::IsRestartPending(CVLPFWNIFInfo* pNIFInfo, const std::string& strCommand)
{
    VLECM_COMMAND eCommand;
    const char* szPath = pNIFInfo != nullptr && CommandOf(strCommand, eCommand) ? RestartPath(eCommand) : nullptr;
    if (szPath == nullptr)
        return false;
    CVLTargetLock lock(pNIFInfo);
    lock.Lock();
    CVLProperty* pRoot = pNIFInfo->GetProperties();
    CVLProperty* pFlag = pRoot != nullptr ? pRoot->GetProperty(szPath, false) : nullptr;
    return pFlag != nullptr && pFlag->ToLong(0) != 0;
}

VLECM_RESULT CVLNetSession::RunCommand(CVLPFWNIFInfo* pNIFInfo, const std::string& strCommand,
                                       const std::string* pPassword,
                                       const std::vector<std::pair<std::string, std::string>>& assignments,
                                       std::string& strError,
                                       const std::function<std::string(CVLPFWNIFInfo*)>& fnCheckRead)
{
    VLECM_COMMAND eCommand;
    if (pNIFInfo == nullptr || !CommandOf(strCommand, eCommand)) {
        strError = "unknown device command '" + strCommand + "'";
        return VLECM_RESULT_PARAMETER_ERROR;
    }
    if (pPassword != nullptr)
        pNIFInfo->SetCurrentPassword(pPassword->c_str());
    // A device's settings are written whole: read them first, so that the
    // values not given keep what the device has.
    const bool bPasswordGiven = pPassword != nullptr;
    if (eCommand == VLECM_COMMAND_SET_DETAIL) {
        VLECM_RESULT eResult = runAndWait(pNIFInfo, VLECM_COMMAND_GET_DETAIL, bPasswordGiven, strError);
        if (eResult == VLECM_RESULT_STOPPED)
            strError = "stopped while the device's settings were read first (GetDetail): no change was sent to the "
                       "device";
        else if (eResult != VLECM_RESULT_SUCCESS)
            strError = "the device's settings could not be read first (GetDetail): " + strError;
        if (eResult != VLECM_RESULT_SUCCESS)
            return eResult;
        // A reply that ended early leaves settings unread, which would go
        // back as defaults the user never gave.
        const std::string strUnread = UnreadValues(pNIFInfo, GetRequestFields(strCommand, pNIFInfo), assignments);
        if (!strUnread.empty()) {
            strError = "the device's settings could not be read first (GetDetail): its reply lacked " + strUnread;
            return VLECM_RESULT_COMMUNICATION_ERROR;
        }
    }
    if (fnCheckRead) {
        std::string strRefusal = fnCheckRead(pNIFInfo);
        if (!strRefusal.empty()) {
            strError = strRefusal;
            return VLECM_RESULT_PARAMETER_ERROR;
        }
    }
    for (const auto& assignment : assignments) {
        if (!CVLNetPropertyLines::Assign(pNIFInfo, assignment.first, assignment.second)) {
            strError = "the property '" + assignment.first + "' cannot be set";
            return VLECM_RESULT_PARAMETER_ERROR;
        }
    }
    // A stop asked for before this point sends nothing; once the command
    // has started, its request may be on its way whatever the stop does.
    if (IsStopRequested()) {
        strError = FailureText(VLECM_RESULT_STOPPED, 0);
        return VLECM_RESULT_STOPPED;
    }
    VLECM_RESULT eResult = runAndWait(pNIFInfo, eCommand, bPasswordGiven, strError);
    // A reply cut short decodes without a fault, the settings it lacked
    // left empty: they are what SetDetail writes back.
    if (eResult == VLECM_RESULT_SUCCESS && eCommand == VLECM_COMMAND_GET_DETAIL) {
        const std::string strUnread = UnreadValues(
            pNIFInfo, GetRequestFields(CVLECMNIFInfo::GetCommandName(VLECM_COMMAND_SET_DETAIL), pNIFInfo), {});
        if (!strUnread.empty()) {
            strError = "the device's reply was cut short: it lacked " + strUnread;
            return VLECM_RESULT_COMMUNICATION_ERROR;
        }
    }
    // The request's form is the definitions': a refusal of it after
    // values were given is most likely of one of them.
    if (eResult == VLECM_RESULT_DEVICE_ERROR && pNIFInfo->GetCommandDeviceResult() == kDeviceMalformed &&
        !assignments.empty()) {
        strError += "; the likely cause is a value given: ";
        for (size_t i = 0; i < assignments.size(); i++)
            strError +=
                (i == 0 ? "" : ", ") + CVLNetOptions::ShellWord(assignments[i].first + "=" + assignments[i].second);
    }
    // Without the device's answer, its request may still have been taken.
    if ((eResult == VLECM_RESULT_STOPPED || eResult == VLECM_RESULT_TIMEOUT) && ChangesDevice(eCommand))
        strError = std::string(eResult == VLECM_RESULT_STOPPED ? "stopped after the request left: the device"
                                                               : "the device did not answer: it") +
                   " may have taken the change ('vlnet run " +
                   CVLNetOptions::NormalizeMACAddress(Text(pNIFInfo->GetMACAddress())) +
                   " GetDetail' tells whether it did)";
    return eResult;
}

std::vector<std::pair<std::string, std::string>> CVLNetSession::GetHeardAddresses()
{
    std::vector<std::pair<std::string, std::string>> heard;
    if (!m_bInitialize)
        return heard;
    bool bMore = false;
    for (const SVLECMHeardAddress& entry : m_CommunicationManager.GetVLECM().GetAllHeardAddresses(bMore))
        heard.emplace_back(Text(entry.address.strAddress), CVLNetOptions::NormalizeMACAddress(Text(entry.strMAC)));
    return heard;
}
