// The built-in option table.
#include "ecm/core/VLECMDefaultOptions.h"

#include <strings.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/core/VLCharset.h"
#include "base/core/VLCommandLine.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLThreadSync.h"
#include "ecm/core/VLECMPrivate.h"

namespace {
// What an option's value must read as. A time-out of 0 would end every
// exchange at once; a wait or an interval may be 0.
enum EKind
{
    KIND_TEXT,
    KIND_BOOL,
    KIND_TIMEOUT,
    KIND_WAIT,
    KIND_COUNT,
};
// Milliseconds: an hour at most, so that a slip of a digit cannot stall a run.
const long kMaxMilliseconds = 3600000;
// Retries and repeats.
const long kMaxCount = 100;
// The most edits from a key typed to a known one that is still taken for
// a slip of the keyboard.
const size_t kMaxSlipDistance = 3;

struct SOption
{
    const char* szKey;
    const char* szDefault;
    EKind eKind;
};

// The built-in options, in the order they are built, with what each takes.
const SOption kDefaultOptions[] = {
    {"Initialize.RootDir", "$(DEFAULT_DIR)/Settings", KIND_TEXT},
    {"Initialize.DefaultLangDir", "Default", KIND_TEXT},
    {"Initialize.BinDefineFile", "vlres200.dat", KIND_TEXT},
    {"Initialize.XMLDefineFileConfFile", "vlres201.dat", KIND_TEXT},
    {"Initialize.KRTTManager.Disable", "false", KIND_BOOL},
    {"Initialize.USBDriverWrapper.Disable", "false", KIND_BOOL},
    {"Initialize.DummyProbe.RootDir", "$(DEFAULT_DIR)/DummyProbe", KIND_TEXT},
    {"Initialize.DummyProbe.PropertyInfoFile", "PropertyInfo.xml", KIND_TEXT},
    {"Initialize.DummyProbe.PrinterListFile", "PrinterList.xml", KIND_TEXT},
    {"Config.NIFPropTree.FromIPAddressPath", "IPAddress", KIND_TEXT},
    {"Config.NIFPropTree.FromPortPath", "Port", KIND_TEXT},
    {"Config.NIFPropTree.BindIPAddressPath", "BindIPAddress", KIND_TEXT},
    {"Config.NIFPropTree.LDBCAddress", "LDBCAddress", KIND_TEXT},
    {"Option.Probe.ModuleInstanceName", "Probe", KIND_TEXT},
    {"Option.Probe.PacketListName", "Probe", KIND_TEXT},
    {"Option.Probe.SkipGetSupportInformation", "false", KIND_BOOL},
    {"Option.Probe.OmitGetMoreInfo", "false", KIND_BOOL},
    {"Option.Probe.EnableBindAddress", "false", KIND_BOOL},
    {"Option.Probe.EnableLocalDBCInfo", "false", KIND_BOOL},
    {"Option.LocalDBCInfo.EnableMultiAddressDetection", "false", KIND_BOOL},
    {"Option.CheckUnicast.NonUnicastDeviceFiltering", "false", KIND_BOOL},
    {"Option.Unlock.PacketListName", "Unlock", KIND_TEXT},
    {"Option.Unlock.Timeout", "3000", KIND_TIMEOUT},
    {"Option.Unlock.Retry", "7", KIND_COUNT},
    {"Option.Unlock.UnlockTimeoutCoefficient", "12000", KIND_WAIT},
    {"Option.Lock.PacketListName", "Lock", KIND_TEXT},
    {"Option.Lock.Timeout", "3000", KIND_TIMEOUT},
    {"Option.Lock.Retry", "7", KIND_COUNT},
    {"Option.RebootPolling.ModuleInstanceName", "RebootPolling", KIND_TEXT},
    {"Option.RebootPolling.EnableBindAddress", "false", KIND_BOOL},
    {"Option.RebootPolling.EnableLocalDBCInfo", "false", KIND_BOOL},
    {"Option.RebootPolling.FirstWait", "10000", KIND_WAIT},
    {"Option.RebootPolling.SecondWait", "15000", KIND_WAIT},
    {"Option.RebootPolling.SecondRetryWait", "5000", KIND_WAIT},
    {"Option.RebootPolling.WaitForAutoIP", "180000", KIND_WAIT},
    {"Option.RebootPolling.WaitCancelRem", "30000", KIND_WAIT},
    {"Option.RebootPolling.MaxTimeout", "300000", KIND_TIMEOUT},
    {"Option.RebootPolling.ExecGetDetail", "false", KIND_BOOL},
    {"Option.RebootPolling.ExecGetNetworkDiagnosis", "false", KIND_BOOL},
    {"Option.RebootPolling.WaitForGetNetworkDiagnosis", "120000", KIND_WAIT},
    {"Option.RebootPolling.ExecRebootPollingExtension", "false", KIND_BOOL},
    {"Option.GetNetworkDiagnosis.FirstWait", "5000", KIND_WAIT},
    {"Option.GetNetworkDiagnosis.PollingInterval", "5000", KIND_WAIT},
    {"Option.GetNetworkDiagnosis.ExecUDPTest", "true", KIND_BOOL},
    {"Option.GetNetworkDiagnosis.UDPTestInterval", "15000", KIND_WAIT},
    {"Option.GetNetworkDiagnosis.MaxTimeout", "100000", KIND_TIMEOUT},
    {"Option.SetupWebService.FirstWait", "5000", KIND_WAIT},
    {"Option.SetupWebService.PollingInterval", "5000", KIND_WAIT},
    {"Option.SetupWebService.MaxTimeout", "300000", KIND_TIMEOUT},
    {"Option.DeleteWebService.FirstWait", "5000", KIND_WAIT},
    {"Option.DeleteWebService.PollingInterval", "5000", KIND_WAIT},
    {"Option.DeleteWebService.MaxTimeout", "300000", KIND_TIMEOUT},
    {"Option.RefreshNetworkInfo.RoutingInfo", "false", KIND_BOOL},
    {"Option.RefreshNetworkInfo.UnicastInfo", "false", KIND_BOOL},
    {"Option.KRRT.CheckMACAddress", "false", KIND_BOOL},
    {"Option.KRRT.SetData.ReceiverFault.RetryCount", "0", KIND_COUNT},
    {"Option.KRRT.SetData.ReceiverFault.Interval", "5000", KIND_WAIT},
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
// Looked up by a view of a key as well, without a copy of it.
std::map<std::string, EKind, std::less<>> g_KindMap;
// The keys in lower case, each beside its own, in the order of g_KindMap:
// folded once, for the nearest of each key that names no option.
std::vector<std::pair<std::string, std::string>> g_FoldedKeys;
CVLThreadSync g_DefaultOptionMapSync;
// Set once the table is built: from then on it only is read, and a lookup
// takes no lock (a configuration's load looks up each of its keys).
std::atomic<bool> g_bDefaultOptionMapBuilt{false};

void Add(const std::string& strKey, const char* szDefault, EKind eKind)
{
    g_DefaultOptionMap[CVLString(strKey.c_str(), VL_CHARSET_UTF8)] = CVLString(szDefault, VL_CHARSET_UTF8);
    g_KindMap[strKey] = eKind;
}

// Whether the text is a whole number (an optional sign, then digits), as
// the option's reader takes it, and its value; one too long for any range
// here reads as beyond it. The reader takes an empty text for 0, as it
// takes "0"; a sign alone is no number.
bool ReadsAsInteger(const std::string& strValue, long& nValue)
{
    if (strValue.empty()) {
        nValue = 0;
        return true;
    }
    const size_t nSign = strValue[0] == '+' || strValue[0] == '-' ? 1 : 0;
    if (strValue.size() == nSign)
        return false;
    long nMagnitude = 0;
    for (size_t i = nSign; i < strValue.size(); i++) {
        const char c = strValue[i];
        if (c < '0' || c > '9')
            return false;
        if (nMagnitude <= kMaxMilliseconds)
            nMagnitude = nMagnitude * 10 + (c - '0');
    }
    nValue = strValue[0] == '-' ? -nMagnitude : nMagnitude;
    return true;
}

// A whole number within the bounds.
bool ReadsAsNumber(const std::string& strValue, long nMin, long nMax)
{
    long nValue = 0;
    return ReadsAsInteger(strValue, nValue) && nValue >= nMin && nValue <= nMax;
}

// What a flag's reader takes for what was written: true or false in any
// letter case, a whole number (0 is false, any other true), or nothing
// (false). Other text reads as false whatever it says ("yes").
bool ReadsAsFlag(const std::string& strValue)
{
    long nValue = 0;
    return strcasecmp(strValue.c_str(), "true") == 0 || strcasecmp(strValue.c_str(), "false") == 0 ||
           ReadsAsInteger(strValue, nValue);
}

std::string Folded(std::string str)
{
    for (char& c : str)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return str;
}
}  // namespace

void CVLECMDefaultOptions::Build()
{
    if (g_bDefaultOptionMapBuilt.load(std::memory_order_acquire))
        return;
    CVLThreadLock lock(&g_DefaultOptionMapSync);
    if (!lock.Lock() || g_bDefaultOptionMapBuilt.load(std::memory_order_relaxed))
        return;
    for (const SOption& row : kDefaultOptions)
        Add(row.szKey, row.szDefault, row.eKind);
    for (const SCommandExchange& row : kCommandExchanges) {
        if (row.szRetry == nullptr)
            continue;
        std::string strPrefix = std::string("Option.") + row.szName + ".";
        Add(strPrefix + "PacketListName", row.szName, KIND_TEXT);
        Add(strPrefix + "Timeout", kCommandExchangeTimeout, KIND_TIMEOUT);
        Add(strPrefix + "Retry", row.szRetry, KIND_COUNT);
    }
    for (const auto& entry : g_KindMap)
        g_FoldedKeys.emplace_back(Folded(entry.first), entry.first);
    g_bDefaultOptionMapBuilt.store(true, std::memory_order_release);
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

bool CVLECMDefaultOptions::IsKnown(const std::string& strKey)
{
    Table();
    return g_KindMap.count(strKey) != 0;
}

bool CVLECMDefaultOptions::Judge(std::string_view strKey, const char* szValue, bool& bKnown, std::string& strWanted)
{
    Table();
    auto it = g_KindMap.find(strKey);
    bKnown = it != g_KindMap.end();
    if (!bKnown)
        return true;
    const std::string strValue = szValue;
    switch (it->second) {
    case KIND_BOOL:
        return CheckFlag(strValue, strWanted);
    case KIND_TIMEOUT:
        strWanted = "a whole number of milliseconds from 1 to " + std::to_string(kMaxMilliseconds);
        return ReadsAsNumber(strValue, 1, kMaxMilliseconds);
    case KIND_WAIT:
        strWanted = "a whole number of milliseconds from 0 to " + std::to_string(kMaxMilliseconds) + " (empty for 0)";
        return ReadsAsNumber(strValue, 0, kMaxMilliseconds);
    case KIND_COUNT:
        strWanted = "a whole number from 0 to " + std::to_string(kMaxCount) + " (empty for 0)";
        return ReadsAsNumber(strValue, 0, kMaxCount);
    case KIND_TEXT:
        break;
    }
    return true;
}

bool CVLECMDefaultOptions::CheckFlag(const std::string& strValue, std::string& strWanted)
{
    strWanted = "true, false, a whole number (0 for false) or empty (false)";
    return ReadsAsFlag(strValue);
}

std::string CVLECMDefaultOptions::Nearest(const std::string& strKey, const std::vector<std::string>& others)
{
    Table();
    const std::string strFolded = Folded(strKey);
    std::vector<size_t> rows;
    std::string strNearest;
    size_t nNearest = 0;
    // Only a key nearer than the nearest so far is taken: the work is cut
    // short of the distance found.
    auto weigh = [&](const std::string& strFoldedKnown, const std::string& strKnown) {
        if (!strNearest.empty() && nNearest == 0)
            return;
        const size_t nBound = strNearest.empty() ? kMaxSlipDistance : nNearest - 1;
        const size_t nDistance = CVLCommandLine::Distance(strFolded, strFoldedKnown, nBound, rows);
        if (nDistance <= nBound) {
            strNearest = strKnown;
            nNearest = nDistance;
        }
    };
    for (const auto& entry : g_FoldedKeys)
        weigh(entry.first, entry.second);
    for (const std::string& strOther : others)
        weigh(Folded(strOther), strOther);
    return strNearest;
}
