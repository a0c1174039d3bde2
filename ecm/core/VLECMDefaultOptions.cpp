// The built-in option table.
#include "ecm/core/VLECMDefaultOptions.h"

#include <string>

#include "base/core/VLCharset.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLThreadSync.h"
#include "ecm/core/VLECMPrivate.h"

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

CVLECMPropertyMap g_DefaultOptionMap;
CVLThreadSync g_DefaultOptionMapSync;
bool g_bDefaultOptionMapBuilt = false;
}  // namespace

void CVLECMDefaultOptions::Build()
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

const CVLECMPropertyMap& CVLECMDefaultOptions::Table()
{
    try {
        Build();
    } catch (...) {
        ReleaseCurrentException();
    }
    return g_DefaultOptionMap;
}

CVLString CVLECMDefaultOptions::String(VL_CONST_STR szKey)
{
    const CVLECMPropertyMap& table = Table();
    auto it = table.find(CVLString(szKey, VL_CHARSET_UTF8));
    return it == table.end() ? CVLString(VL_CHARSET_UTF8) : it->second;
}
