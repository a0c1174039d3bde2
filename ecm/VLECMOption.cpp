// The device manager's options: the built-in table, the option map in force
// with its accessors, and the path macros.
#include <string>

#include "base/core/VLCharset.h"
#include "base/core/VLException.h"
#include "base/core/VLFileSystem.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "ecm/VLECM.h"
#include "ecm/core/VLECMPrivate.h"

const char* const s_szFile = "VLECM";

namespace {
// The built-in options, in the order they are built.
const char* const kDefaultOptions[][2] = {
    {"Initialize.RootDir", "$(DEFAULT_DIR)/Settings"},
    {"Initialize.DefaultLangDir", "Default"},
    {"Initialize.BinDefineFile", "vlres200.dat"},
    {"Initialize.XMLDefineFileConfFile", "vlres201.dat"},
    {"Initialize.KRTTManager.Disable", "false"},
    {"Initialize.USBDriverWrapper.Disable", "false"},
    {"Initialize.DummyProbe.RootDir", "$(DEFAULT_DIR)/DummyProbe"},
    {"Initialize.DummyProbe.PropertyInfoFile", "PropertyInfo.xml"},
    {"Initialize.DummyProbe.PrinterListFile", "PrinterList.xml"},
    {"Config.NIFPropTree.FromIPAddressPath", "IPAddress"},
    {"Config.NIFPropTree.FromPortPath", "Port"},
    {"Config.NIFPropTree.BindIPAddressPath", "BindIPAddress"},
    {"Config.NIFPropTree.LDBCAddress", "LDBCAddress"},
    {"Option.Probe.ModuleInstanceName", "Probe"},
    {"Option.Probe.PacketListName", "Probe"},
    {"Option.Probe.SkipGetSupportInformation", "false"},
    {"Option.Probe.OmitGetMoreInfo", "false"},
    {"Option.Probe.EnableBindAddress", "false"},
    {"Option.Probe.EnableLocalDBCInfo", "false"},
    {"Option.LocalDBCInfo.EnableMultiAddressDetection", "false"},
    {"Option.CheckUnicast.NonUnicastDeviceFiltering", "false"},
    {"Option.Unlock.PacketListName", "Unlock"},
    {"Option.Unlock.Timeout", "3000"},
    {"Option.Unlock.Retry", "7"},
    {"Option.Unlock.UnlockTimeoutCoefficient", "12000"},
    {"Option.Lock.PacketListName", "Lock"},
    {"Option.Lock.Timeout", "3000"},
    {"Option.Lock.Retry", "7"},
    {"Option.RebootPolling.ModuleInstanceName", "RebootPolling"},
    {"Option.RebootPolling.EnableBindAddress", "false"},
    {"Option.RebootPolling.EnableLocalDBCInfo", "false"},
    {"Option.RebootPolling.FirstWait", "10000"},
    {"Option.RebootPolling.SecondWait", "15000"},
    {"Option.RebootPolling.SecondRetryWait", "5000"},
    {"Option.RebootPolling.WaitForAutoIP", "180000"},
    {"Option.RebootPolling.WaitCancelRem", "30000"},
    {"Option.RebootPolling.MaxTimeout", "300000"},
    {"Option.RebootPolling.ExecGetDetail", "false"},
    {"Option.RebootPolling.ExecGetNetworkDiagnosis", "false"},
    {"Option.RebootPolling.WaitForGetNetworkDiagnosis", "120000"},
    {"Option.RebootPolling.ExecRebootPollingExtension", "false"},
    {"Option.GetNetworkDiagnosis.FirstWait", "5000"},
    {"Option.GetNetworkDiagnosis.PollingInterval", "5000"},
    {"Option.GetNetworkDiagnosis.ExecUDPTest", "true"},
    {"Option.GetNetworkDiagnosis.UDPTestInterval", "15000"},
    {"Option.GetNetworkDiagnosis.MaxTimeout", "100000"},
    {"Option.SetupWebService.FirstWait", "5000"},
    {"Option.SetupWebService.PollingInterval", "5000"},
    {"Option.SetupWebService.MaxTimeout", "300000"},
    {"Option.DeleteWebService.FirstWait", "5000"},
    {"Option.DeleteWebService.PollingInterval", "5000"},
    {"Option.DeleteWebService.MaxTimeout", "300000"},
    {"Option.RefreshNetworkInfo.RoutingInfo", "false"},
    {"Option.RefreshNetworkInfo.UnicastInfo", "false"},
    {"Option.KRRT.CheckMACAddress", "false"},
    {"Option.KRRT.SetData.ReceiverFault.RetryCount", "0"},
    {"Option.KRRT.SetData.ReceiverFault.Interval", "5000"},
};

// The defaults of each device command's exchange through the definitions:
// its packet list, its timeout and its retries.
struct SCommandExchange
{
    const char* szName;
    const char* szRetry;
};
#define VLECM_COMMAND_EXCHANGE(ID, NAME, REPORT, CARRIED, RETRY) {#NAME, RETRY},
const SCommandExchange kCommandExchanges[] = {VLECM_COMMAND_LIST(VLECM_COMMAND_EXCHANGE)};
#undef VLECM_COMMAND_EXCHANGE
const char kCommandExchangeTimeout[] = "3000";

// The keys SetProperty refuses: the start-up settings.
const char kInitializePrefix[] = "Initialize.";

const char kMacroAppDir[] = "$(APP_DIR)";
const char kMacroDefaultDir[] = "$(DEFAULT_DIR)";
const char kMacroLibRootDir[] = "$(LIBROOT_DIR)";
// The resources folder below the executable's parent folder: PREFIX/share/vlnet
// for PREFIX/bin, as installed and as built.
const char kResourcesFolder[] = "/share/vlnet";

CVLECMPropertyMap g_DefaultOptionMap;
CVLThreadSync g_DefaultOptionMapSync;
bool g_bDefaultOptionMapBuilt = false;

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
}  // namespace

void CVLECM::initDefaultOptionTable()
{
    CVLThreadLock lock(&g_DefaultOptionMapSync);
    if (!lock.Lock() || g_bDefaultOptionMapBuilt)
        return;
    for (const auto& row : kDefaultOptions)
        g_DefaultOptionMap[CVLString(row[0], VL_CHARSET_UTF8)] = CVLString(row[1], VL_CHARSET_UTF8);
    for (const SCommandExchange& row : kCommandExchanges) {
        if (row.szRetry == nullptr)
            continue;
        std::string strPrefix = std::string("Option.") + row.szName + ".";
        g_DefaultOptionMap[CVLString((strPrefix + "PacketListName").c_str(), VL_CHARSET_UTF8)] =
            CVLString(row.szName, VL_CHARSET_UTF8);
        g_DefaultOptionMap[CVLString((strPrefix + "Timeout").c_str(), VL_CHARSET_UTF8)] =
            CVLString(kCommandExchangeTimeout, VL_CHARSET_UTF8);
        g_DefaultOptionMap[CVLString((strPrefix + "Retry").c_str(), VL_CHARSET_UTF8)] =
            CVLString(row.szRetry, VL_CHARSET_UTF8);
    }
    g_bDefaultOptionMapBuilt = true;
}

const CVLECMPropertyMap& CVLECM::getDefaultOptionTable()
{
    try {
        initDefaultOptionTable();
    } catch (...) {
        ReleaseCurrentException();
    }
    return g_DefaultOptionMap;
}

CVLString CVLECM::getDefaultOptionString(VL_CONST_STR szKey)
{
    const CVLECMPropertyMap& table = getDefaultOptionTable();
    auto it = table.find(CVLString(szKey, VL_CHARSET_UTF8));
    return it == table.end() ? CVLString(VL_CHARSET_UTF8) : it->second;
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
