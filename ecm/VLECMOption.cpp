// The device manager's options: the option map in force with its
// accessors, and the path macros.

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/core/VLCharset.h"
#include "base/core/VLException.h"
#include "base/core/VLFileSystem.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "cm/VLCMApi.h"
#include "cm/VLModuleController.h"
#include "ecm/VLECM.h"
#include "ecm/core/VLECMDefaultOptions.h"
#include "ecm/core/VLECMPrivate.h"
#include "ecm/core/VLECMRequestKinds.h"
#include "ecm/probe/VLECMReplyFilter.h"
#include "modules/probe/VLMDProbe.h"

const char* const s_szFile = "VLECM";

namespace {
// The keys SetProperty refuses: the start-up settings.
const char kInitializePrefix[] = "Initialize.";

const char kMacroAppDir[] = "$(APP_DIR)";
const char kMacroDefaultDir[] = "$(DEFAULT_DIR)";
const char kMacroLibRootDir[] = "$(LIBROOT_DIR)";
// The resources folder below the executable's parent folder: PREFIX/share/vlnet
// for PREFIX/bin, as installed and as built.
const char kResourcesFolder[] = "/share/vlnet";

// The resources folder: the executable's folder cut at its last "/".
CVLString ResourcesFolder()
{
    CVLString exe = VLGetExecutablePath();
    int nSlash = exe.ReverseFind('/');
    CVLString result = nSlash < 0 ? CVLString(VL_CHARSET_UTF8) : exe.Mid(0, nSlash);
    result += kResourcesFolder;
    return result;
}

bool StartsWith(const CVLString& str, const char* szPrefix)
{
    return str.Find(szPrefix) == 0;
}

bool EndsWith(const std::string& str, const char* szSuffix)
{
    const size_t nSuffix = strlen(szSuffix);
    return str.size() >= nSuffix && str.compare(str.size() - nSuffix, nSuffix, szSuffix) == 0;
}

// The options whose values name what the definitions have.
const char kProbeFunctionOption[] = "Option.Probe.ModuleInstanceName";
const char kRebootPollingFunctionOption[] = "Option.RebootPolling.ModuleInstanceName";
const char kProbePacketListOption[] = "Option.Probe.PacketListName";
const char kPacketListSuffix[] = ".PacketListName";
const char kModulePathSuffix[] = ".VLMDSockModulePath";
const char kOptionPrefix[] = "Option.";
// The most names a message lists; definitions of hundreds are counted.
const size_t kMaxNamesListed = 30;

// "A, B and C"; past kMaxNamesListed, "... and N more".
std::string NameList(const std::vector<std::string>& names)
{
    std::string strText;
    const size_t nListed = std::min(names.size(), kMaxNamesListed);
    for (size_t i = 0; i < nListed; ++i)
        strText += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    if (nListed < names.size())
        strText += " and " + std::to_string(names.size() - nListed) + " more";
    return strText.empty() ? "none" : strText;
}

// "CheckUnicast" of "Option.CheckUnicast.PacketListName".
std::string CommandOf(const std::string& strKey)
{
    const size_t nPrefix = std::strlen(kOptionPrefix);
    const size_t nSuffix = sizeof(kPacketListSuffix) - 1;
    return strKey.size() > nPrefix + nSuffix ? strKey.substr(nPrefix, strKey.size() - nPrefix - nSuffix)
                                             : std::string();
}

bool IsPacketListOption(const std::string& strKey)
{
    return EndsWith(strKey, kPacketListSuffix) && CVLECMDefaultOptions::IsKnown(strKey);
}

CVLModuleController* LoadedController(CVLCMApi* pApi)
{
    CVLModuleController* pController = pApi != nullptr ? pApi->GetModuleController() : nullptr;
    return pController != nullptr && pController->IsInitialized() ? pController : nullptr;
}
}  // namespace

void CVLECM::initDefaultOptionTable()
{
    CVLECMDefaultOptions::Build();
}

const CVLECMPropertyMap& CVLECM::getDefaultOptionTable()
{
    return CVLECMDefaultOptions::Table();
}

CVLString CVLECM::getDefaultOptionString(VL_CONST_STR szKey)
{
    return CVLECMDefaultOptions::String(szKey);
}

bool CVLECM::getDefaultOptionBool(VL_CONST_STR szKey)
{
    return getDefaultOptionString(szKey).ToBool(false);
}

long CVLECM::getDefaultOptionInt(VL_CONST_STR szKey)
{
    return getDefaultOptionString(szKey).ToLong(0);
}

CVLECMPropertyMap CVLECM::GetPropertyMap()
{
    CVLThreadLock lock(&m_PropertyMapSync);
    if (!lock.Lock())
        return CVLECMPropertyMap();
    return m_CurrentPropertyMap;
}

CVLString CVLECM::GetProperty(VL_CONST_STR szPropertyKey)
{
    try {
        CVLThreadLock lock(&m_PropertyMapSync);
        if (lock.Lock()) {
            auto it = m_CurrentPropertyMap.find(CVLString(szPropertyKey, VL_CHARSET_UTF8));
            if (it != m_CurrentPropertyMap.end())
                return it->second;
        }
    } catch (...) {
        ReleaseCurrentException();
    }
    return CVLString(VL_CHARSET_UTF8);
}

bool CVLECM::SetProperty(VL_CONST_STR szPropertyKey, VL_CONST_STR szValue)
{
    static const char* const kSignature = "bool CVLECM::SetProperty(VL_CONST_STR szPropertyKey, VL_CONST_STR szValue)";
    CVLTrace::OutputFunction(VLECM_MODULE, s_szFile, __LINE__, kSignature, "szPropertyKey=%s, szValue=%s",
                             szPropertyKey ? szPropertyKey : "", szValue ? szValue : "");
    bool bResult = false;
    try {
        if (szPropertyKey == nullptr || szValue == nullptr) {
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECM::SetProperty(): parameter error!, szPropertyKey=%08X, szValue=%08X",
                             static_cast<unsigned>(reinterpret_cast<uintptr_t>(szPropertyKey)),
                             static_cast<unsigned>(reinterpret_cast<uintptr_t>(szValue)));
            throw VLECM_RESULT_PARAMETER_ERROR;
        }
        CVLString strKey(szPropertyKey, VL_CHARSET_UTF8);
        if (strKey.Find(kInitializePrefix) == 0) {
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECM::SetProperty(): invalid property key(initialize property)!, szPropertyKey=%s",
                             szPropertyKey);
            throw VLECM_RESULT_PARAMETER_ERROR;
        }
        CVLThreadLock lock(&m_PropertyMapSync);
        if (lock.Lock()) {
            m_CurrentPropertyMap[strKey] = CVLString(szValue, VL_CHARSET_UTF8);
            bResult = true;
        }
    } catch (...) {
        ReleaseCurrentException();
        bResult = false;
    }
    CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 1, "%s : Return Value = [%d]", kSignature, bResult);
    return bResult;
}

long CVLECM::GetPropertyInt(VL_CONST_STR szPropertyKey)
{
    return GetProperty(szPropertyKey).ToLong(0);
}

bool CVLECM::SetPropertyInt(VL_CONST_STR szPropertyKey, int nValue)
{
    static const char* const kSignature = "bool CVLECM::SetPropertyInt(VL_CONST_STR szPropertyKey, int nValue)";
    CVLTrace::OutputFunction(VLECM_MODULE, s_szFile, __LINE__, kSignature, "szPropertyKey=%s, nValue=%d",
                             szPropertyKey ? szPropertyKey : "", nValue);
    bool bResult = false;
    try {
        CVLString strValue(VL_CHARSET_UTF8);
        strValue.SetLong(nValue);
        bResult = SetProperty(szPropertyKey, TextOf(strValue));
    } catch (...) {
        ReleaseCurrentException();
        bResult = false;
    }
    CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 1, "%s : Return Value = [%d]", kSignature, bResult);
    return bResult;
}

bool CVLECM::GetPropertyBoolean(VL_CONST_STR szPropertyKey)
{
    return GetProperty(szPropertyKey).ToBool(false);
}

bool CVLECM::SetPropertyBoolean(VL_CONST_STR szPropertyKey, bool bValue)
{
    static const char* const kSignature = "bool CVLECM::SetPropertyBoolean(VL_CONST_STR szPropertyKey, bool bValue)";
    CVLTrace::OutputFunction(VLECM_MODULE, s_szFile, __LINE__, kSignature, "szPropertyKey=%s, bValue=%d",
                             szPropertyKey ? szPropertyKey : "", bValue);
    bool bResult = false;
    try {
        CVLString strValue(VL_CHARSET_UTF8);
        strValue.SetBool(bValue);
        bResult = SetProperty(szPropertyKey, TextOf(strValue));
    } catch (...) {
        ReleaseCurrentException();
        bResult = false;
    }
    CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 1, "%s : Return Value = [%d]", kSignature, bResult);
    return bResult;
}

bool CVLECM::CheckOptionValue(const CVLString& strKey, const CVLString& strValue, std::string& strWanted)
{
    return JudgeOption(strKey, strValue, strWanted) != OPTION_REFUSED;
}

bool CVLECM::IsKnownOption(const CVLString& strKey)
{
    std::string strWanted;
    return JudgeOption(strKey, CVLString(VL_CHARSET_UTF8), strWanted) != OPTION_UNKNOWN;
}

CVLECM::EOption CVLECM::JudgeOption(const CVLString& strKey, const CVLString& strValue, std::string& strWanted)
{
    // The key's bytes as they are, without a copy: each of a configuration's
    // keys is judged as it loads.
    const std::string_view strText(TextOf(strKey), static_cast<size_t>(strKey.GetLength()));
    if (strText == CVLECMReplyFilter::DEVICE_BOUND_OPTION) {
        int nBound = 0;
        if (CVLECMReplyFilter::ParseDeviceBound(strValue, nBound))
            return OPTION_TAKEN;
        strWanted = "a whole number from 1 to " + std::to_string(CVLECMReplyFilter::MAX_DEVICES);
        return OPTION_REFUSED;
    }
    if (isEntryOption(strText)) {
        if (isEntryFlag(strText) && !CVLECMDefaultOptions::CheckFlag(TextOf(strValue), strWanted))
            return OPTION_REFUSED;
        return OPTION_TAKEN;
    }
    bool bKnown = false;
    if (!CVLECMDefaultOptions::Judge(strText, TextOf(strValue), bKnown, strWanted))
        return OPTION_REFUSED;
    return bKnown ? OPTION_TAKEN : OPTION_UNKNOWN;
}

std::string CVLECM::NearestOption(const CVLString& strKey)
{
    // Keys match exactly, letter case included: a key that differs only in
    // case is as unused as a misspelt one.
    return CVLECMDefaultOptions::Nearest(TextOf(strKey), {CVLECMReplyFilter::DEVICE_BOUND_OPTION});
}

bool CVLECM::CheckOptionName(const CVLString& strKey, const CVLString& strValue, std::string& strWanted)
{
    const std::string strText = TextOf(strKey);
    const std::string strName = TextOf(strValue);
    const bool bFunction = strText == kProbeFunctionOption || strText == kRebootPollingFunctionOption;
    const bool bPacketList = IsPacketListOption(strText);
    const bool bInstance = EndsWith(strText, kModulePathSuffix) && isEntryOption(strText);
    CVLModuleController* pController = LoadedController(GetApi());
    if ((!bFunction && !bPacketList && !bInstance) || pController == nullptr)
        return true;
    const std::string strProbeFunction = TextOf(getOptionString(kProbeFunctionOption, nullptr, nullptr));
    if (bFunction)
        return checkFunction(pController, strName, strWanted);
    if (bPacketList)
        return checkPacketList(pController, strText, strName, nullptr, strWanted);
    // An entry's socket instance, by its path below the probe's function.
    const std::vector<std::string> functions = pController->GetFunctionNames();
    if (std::find(functions.begin(), functions.end(), strProbeFunction) == functions.end())
        return true;
    const std::string strPrefix = strProbeFunction + ".";
    std::vector<std::string> paths;
    for (const std::string& strInstance : pController->GetInstanceNames(strProbeFunction.c_str())) {
        if (strInstance.compare(0, strPrefix.size(), strPrefix) == 0)
            paths.push_back(strInstance.substr(strPrefix.size()));
    }
    if (std::find(paths.begin(), paths.end(), strName) != paths.end())
        return true;
    strWanted = "a module instance below the function \"" + strProbeFunction + "\" (" + NameList(paths) + ")";
    return false;
}

bool CVLECM::checkFunction(CVLModuleController* pController, const std::string& strName, std::string& strWanted)
{
    // Both probe, by broadcast, with a probe module: another function
    // (VLPC_Unicast) would fail each probe without a reason.
    std::vector<std::string> probing;
    for (const std::string& strFunction : pController->GetFunctionNames()) {
        if (dynamic_cast<CVLMDProbe*>(pController->GetFunctionModule(strFunction.c_str())) != nullptr)
            probing.push_back(strFunction);
    }
    if (std::find(probing.begin(), probing.end(), strName) != probing.end())
        return true;
    strWanted = "a function of the definitions that probes (" + NameList(probing) + ")";
    return false;
}

bool CVLECM::checkPacketList(CVLModuleController* pController, const std::string& strKey, const std::string& strName,
                             const CVLECMPropertyMap* pOptionMap, std::string& strWanted)
{
    // The probe runs its list with its own function; the commands, the
    // reboot polling's included, with theirs. A function the definitions
    // lack is said where it is named.
    const std::string strFunction = strKey == kProbePacketListOption
                                        ? TextOf(getOptionString(kProbeFunctionOption, pOptionMap, nullptr))
                                        : std::string(VLECM_UNICAST_FUNCTION);
    std::set<std::string> lists;
    if (!pController->GetPacketListNames(strFunction.c_str(), lists))
        return true;
    const std::string strCommand = CommandOf(strKey);
    // Judged by what the instances run (with the name their constants add)
    // and the requests it sends, whatever it is called.
    const SVLPacketListRequests run = pController->GetPacketListRequests(strFunction.c_str(), strName.c_str());
    // Modules that tell of no packet list (a client's own) leave nothing to
    // judge it by.
    if (run.runNames.empty())
        return true;
    std::string strWhy;
    if (!run.missingNames.empty()) {
        // A list the device manager never runs (Lock, Unlock) starts as its
        // default though the definitions lack it: the command that would
        // run it is refused when it is run.
        if (!CVLECMRequestKinds::IsRun(strCommand) && strName == TextOf(CVLECMDefaultOptions::String(strKey.c_str())))
            return true;
        const std::string strSource = pController->GetDefinitionsSource();
        const std::string strDefinitions = "the definitions" + (strSource.empty() ? "" : " (" + strSource + ")");
        std::vector<std::string> missing;
        for (const std::string& strMissing : run.missingNames)
            missing.push_back("\"" + strMissing + "\"");
        strWhy = run.missingNames.size() == 1 && *run.missingNames.begin() == strName
                     ? strDefinitions + " lack it"
                     : "it runs " + NameList(missing) + ", which " + strDefinitions + " lack";
    } else if (CVLECMRequestKinds::Fits(strCommand, run.requests, strWhy)) {
        return true;
    }
    // What could be written instead: the lists the instances would run as
    // they are named, or with the name their constants add taken off.
    std::set<std::string> suffixes;
    for (const std::string& strRun : run.runNames) {
        if (strRun.size() > strName.size() && strRun.compare(0, strName.size(), strName) == 0)
            suffixes.insert(strRun.substr(strName.size()));
    }
    std::set<std::string> fitting;
    for (const std::string& strList : lists) {
        std::vector<std::string> candidates = {strList};
        for (const std::string& strSuffix : suffixes) {
            if (EndsWith(strList, strSuffix.c_str()))
                candidates.push_back(strList.substr(0, strList.size() - strSuffix.size()));
        }
        for (const std::string& strCandidate : candidates) {
            const SVLPacketListRequests other =
                pController->GetPacketListRequests(strFunction.c_str(), strCandidate.c_str());
            std::string strNot;
            if (other.missingNames.empty() && CVLECMRequestKinds::Fits(strCommand, other.requests, strNot))
                fitting.insert(strCandidate);
        }
    }
    const std::vector<std::string> fittingNames(fitting.begin(), fitting.end());
    const bool bReadingKind = CVLECMRequestKinds::OnlyReads(strCommand) && !CVLECMRequestKinds::HasOwn(strCommand);
    const std::string strOffer =
        (bReadingKind ? "those of the function \"" + strFunction + "\" that only read: " : "those that fit: ") +
        NameList(fittingNames);
    if (!run.missingNames.empty())
        strWanted = "a packet list of the function \"" + strFunction + "\" (" + strWhy + "; " + strOffer + ")";
    else if (bReadingKind)
        strWanted = "a packet list that only reads devices (" + strWhy + "; " + strOffer + ")";
    else
        strWanted = "a packet list for " + strCommand + " (" + strWhy + "; " + strOffer + ")";
    return false;
}

std::string CVLECM::CheckResolvedPacketLists(const CVLECMPropertyMap* pOptionMap)
{
    CVLModuleController* pController = LoadedController(GetApi());
    if (pController == nullptr)
        return std::string();
    for (const auto& entry : CVLECMDefaultOptions::Table()) {
        const std::string strKey = TextOf(entry.first);
        const std::string strName = TextOf(getOptionString(strKey.c_str(), pOptionMap, nullptr));
        const bool bDefault = strName == TextOf(entry.second);
        std::string strWanted;
        // A function the definitions lack fails where it is run, and the
        // simulated devices still come.
        if ((strKey == kProbeFunctionOption || strKey == kRebootPollingFunctionOption) && !bDefault &&
            pController->GetFunctionModule(strName.c_str()) != nullptr && !checkFunction(pController, strName, strWanted))
            return "the option \"" + strKey + "\" names the function \"" + strName + "\": not " + strWanted;
        if (IsPacketListOption(strKey) && !checkPacketList(pController, strKey, strName, pOptionMap, strWanted))
            return "the option \"" + strKey + "\" runs " +
                   (bDefault ? "its default packet list \"" : "the packet list \"") + strName + "\": not " + strWanted;
    }
    return std::string();
}

CVLString CVLECM::getOptionString(VL_CONST_STR szKey, const CVLECMPropertyMap* pOptionMap, bool* pbFound)
{
    if (pbFound != nullptr)
        *pbFound = false;
    try {
        CVLString strKey(szKey, VL_CHARSET_UTF8);
        if (pOptionMap != nullptr) {
            auto it = pOptionMap->find(strKey);
            if (it != pOptionMap->end()) {
                if (pbFound != nullptr)
                    *pbFound = true;
                return it->second;
            }
        }
        {
            CVLThreadLock lock(&m_PropertyMapSync);
            if (lock.Lock()) {
                auto it = m_CurrentPropertyMap.find(strKey);
                if (it != m_CurrentPropertyMap.end()) {
                    if (pbFound != nullptr)
                        *pbFound = true;
                    return it->second;
                }
            }
        }
        const CVLECMPropertyMap& table = getDefaultOptionTable();
        auto it = table.find(strKey);
        if (it != table.end()) {
            if (pbFound != nullptr)
                *pbFound = true;
            return it->second;
        }
    } catch (...) {
        ReleaseCurrentException();
    }
    return CVLString(VL_CHARSET_UTF8);
}

long CVLECM::getOptionInt(VL_CONST_STR szKey, const CVLECMPropertyMap* pOptionMap, bool* pbFound)
{
    return getOptionString(szKey, pOptionMap, pbFound).ToLong(0);
}

bool CVLECM::getOptionBool(VL_CONST_STR szKey, const CVLECMPropertyMap* pOptionMap, bool* pbFound)
{
    return getOptionString(szKey, pOptionMap, pbFound).ToBool(false);
}

CVLString CVLECM::expandPathMacro(VL_CONST_STR szPath)
{
    CVLString result(szPath, VL_CHARSET_UTF8);
    if (StartsWith(result, kMacroAppDir))
        result.Replace(kMacroAppDir, TextOf(VLGetExecutablePath()));
    else if (StartsWith(result, kMacroDefaultDir))
        result.Replace(kMacroDefaultDir, TextOf(ResourcesFolder()));
    else if (StartsWith(result, kMacroLibRootDir))
        result.Replace(kMacroLibRootDir, TextOf(m_strRootDirectoryPath));
    result.Replace("\\", "/");
    return result;
}
