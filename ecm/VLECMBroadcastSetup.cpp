// The local-network set-ups of a probe or a reboot polling. The probe's root
// module instance has numbered socket instances below it, one per directed
// broadcast; before the root starts, each is enabled or disabled from the
// numbered option entries, and an enabled one gets its address as the
// constant "toAddress" (or in the device's properties).
//
// Addresses are only ever the directed broadcasts of the computer's own
// networks that are up, or of networks the options name as dotted quads:
// nothing here looks a name up or sends to another network.
#include <sys/socket.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "base/core/VLException.h"
#include "base/core/VLFileSystem.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "base/log/VLDebugLogger.h"
#include "base/net/VLInterfaceAddress.h"
#include "base/net/VLSocketAddress.h"
#include "cm/VLCMApi.h"
#include "ecm/VLECM.h"
#include "ecm/core/VLECMPrivate.h"
#include "ecm/probe/VLECMLocalNetworks.h"
#include "ecm/record/VLECMNIFInfo.h"

namespace {

const char* const s_szFile = "VLECM";

const char* const kLDBCPrefix = "Option.LocalDBCInfo.";
const char* const kBindPrefix = "Option.BindAddress.";
const char* const kMultiAddressDetectionKey = "Option.LocalDBCInfo.EnableMultiAddressDetection";

const char* const kModulePathKey = ".VLMDSockModulePath";
const char* const kToAddressPathKey = ".NIFInfoToAddressPath";
const char* const kBindAddressPathKey = ".NIFInfoBindAddressPath";
const char* const kEnableKey = ".Enable";
const char* const kIPAddressKey = ".IPAddress";
const char* const kSubNetmaskKey = ".SubNetmask";

// The module constant that carries an enabled socket instance's destination.
const char* const kToAddressConst = "toAddress";

const int kIPv4AddressBytes = 4;

// "Option.LocalDBCInfo." "3" ".Enable"
CVLString EntryKey(const char* szPrefix, int nIndex, const char* szSubKey)
{
    CVLString strKey(szPrefix, VL_CHARSET_UTF8);
    CVLString strIndex(VL_CHARSET_UTF8);
    strIndex.SetLong(nIndex);
    strKey += strIndex;
    strKey += szSubKey;
    return strKey;
}

// The instance path (root, ".", the module path up to its first ".") and the
// full path (root, ".", the module path).
void MakeInstancePaths(VL_CONST_STR szRoot, const CVLString& strModulePath, CVLString& strInstancePath,
                       CVLString& strFullPath)
{
    CVLString strBase(szRoot, VL_CHARSET_UTF8);
    strBase += ".";
    strFullPath = strBase;
    strFullPath += strModulePath;
    int nDot = strModulePath.Find(".", 0);
    strInstancePath = strBase;
    strInstancePath += nDot < 0 ? strModulePath : strModulePath.Mid(0, nDot);
}

// The address ORed with the inverted mask, as "%d.%d.%d.%d".
CVLString DirectedBroadcast(const unsigned char* pAddress, const unsigned char* pMask)
{
    CVLSocketAddress address;
    CVLSocketAddress mask;
    address.SetAddressBytes(pAddress);
    mask.SetAddressBytes(pMask);
    address.MakeBroadcastAddress(mask);
    return address.GetHost();
}

// The network whose directed broadcast this is, as a user names it
// ("10.71.6.0/24 (eth5)"); the broadcast itself when no interface has it.
CVLString NetworkOfBroadcast(const CVLString& strBroadcast)
{
    std::vector<VLInterfaceAddress> interfaces;
    VLListInterfaceAddresses(interfaces);
    for (const VLInterfaceAddress& entry : interfaces) {
        // The entries the list of broadcasts takes (getLDBCAddressListFromPC).
        if (CVLECMLocalNetworks::Judge(entry) != CVLECMLocalNetworks::ADDRESS_NETWORK || !entry.bFirstOfInterface ||
            DirectedBroadcast(entry.address, entry.netmask) != strBroadcast)
            continue;
        unsigned char network[kIPv4AddressBytes];
        int nPrefix = 0;
        for (int i = 0; i < kIPv4AddressBytes; ++i) {
            network[i] = entry.address[i] & entry.netmask[i];
            nPrefix += __builtin_popcount(entry.netmask[i]);
        }
        std::string strName = std::string(CVLSocketAddress::FormatDottedQuad(network).GetBuffer()) + "/" +
                              std::to_string(nPrefix) + " (" + entry.strInterface + ")";
        return CVLString(strName.c_str(), VL_CHARSET_UTF8);
    }
    return strBroadcast;
}

// The common end of both set-ups for one entry: enables or disables the
// entry's socket instance (by its instance path and its full path) and,
// when enabled, hands it the address: in the address-info map, and either
// in the device's property tree or as the instance's "toAddress" constant.
// False (traced) when the device refuses the property.
bool HandOutAddress(CVLCMApi* pApi, const char* szSetup, int nIndex, VL_CONST_STR szRoot,
                    const CVLString& strModulePath, bool bEnabled, const CVLString& strAddress,
                    CVLECMPropertyMap* pAddressInfoMap, CVLECMNIFInfo* pNIFInfo, bool bToAddressPathFound,
                    const CVLString& strToAddressPath)
{
    CVLString strInstancePath(VL_CHARSET_UTF8);
    CVLString strFullPath(VL_CHARSET_UTF8);
    MakeInstancePaths(szRoot, strModulePath, strInstancePath, strFullPath);
    pApi->EnableInstance(strInstancePath.GetBuffer(), bEnabled);
    pApi->EnableInstance(strFullPath.GetBuffer(), bEnabled);
    if (!bEnabled)
        return true;
    if (pAddressInfoMap != nullptr)
        (*pAddressInfoMap)[strInstancePath] = strAddress;
    if (!bToAddressPathFound) {
        pApi->SetConst(kToAddressConst, strAddress.GetBuffer(), nullptr, strFullPath.GetBuffer());
        return true;
    }
    if (pNIFInfo->SetPropertyString(strToAddressPath.GetBuffer(), strAddress.GetBuffer()))
        return true;
    CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                     "CVLECM::%s(): SetPropertyString() Failed!, List index=%d, strNIFInfoToAddressPath:%s, Value:%s.",
                     szSetup, nIndex, strToAddressPath.GetBuffer(), strAddress.GetBuffer());
    return false;
}

// One diagnostic line of the interface enumeration: into the debug logger,
// which writes nothing, and into the trace, where a user sees it. The
// logger's blank line before each interface (a leading "\r") is left out
// of the trace, whose lines stand one each.
void Diagnose(CVLDebugLogger& logger, int nLine, const char* szFormat, ...) __attribute__((format(printf, 3, 4)));

void Diagnose(CVLDebugLogger& logger, int nLine, const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    if (CVLTrace::IsEnabled()) {
        va_list copy;
        va_copy(copy, args);
        char szText[512];
        int n = vsnprintf(szText, sizeof(szText), szFormat, copy);
        va_end(copy);
        if (n >= 0) {
            const char* szShown = szText[0] == '\r' ? szText + 1 : szText;
            CVLTrace::Output(VLECM_MODULE, s_szFile, nLine, 0, "%s", szShown);
        }
    }
    logger.VPrintf(nullptr, 0, szFormat, args);
    va_end(args);
}

}  // namespace

bool CVLECM::isEntryOption(std::string_view strKey)
{
    static const char* const kSubKeys[] = {kModulePathKey, kToAddressPathKey, kBindAddressPathKey,
                                           kEnableKey,     kIPAddressKey,     kSubNetmaskKey};
    for (const char* szPrefix : {kLDBCPrefix, kBindPrefix}) {
        const size_t nPrefix = strlen(szPrefix);
        if (strKey.compare(0, nPrefix, szPrefix) != 0)
            continue;
        size_t nDot = nPrefix;
        while (nDot < strKey.size() && strKey[nDot] >= '0' && strKey[nDot] <= '9')
            ++nDot;
        if (nDot == nPrefix)
            return false;
        for (const char* szSubKey : kSubKeys) {
            if (strKey.compare(nDot, std::string::npos, szSubKey) == 0)
                return true;
        }
    }
    return false;
}

bool CVLECM::isEntryFlag(std::string_view strKey)
{
    const size_t nEnable = strlen(kEnableKey);
    return isEntryOption(strKey) && strKey.size() > nEnable &&
           strKey.compare(strKey.size() - nEnable, nEnable, kEnableKey) == 0;
}

void CVLECM::getLDBCAddressListFromPC(std::list<CVLString>& addressList)
{
    try {
        addressList.clear();
        CVLDebugLogger logger;
        logger.Open(VLCombinePath(CVLDebugLogger::GetLogDirectory().GetBuffer(), "IPAddress.log").GetBuffer(), true,
                    true, false);

        // The list comes from getifaddrs: there is no socket and no
        // interface-list request to report, and every entry has an address.
        std::vector<VLInterfaceAddress> interfaces;
        if (!VLListInterfaceAddresses(interfaces)) {
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECM::getLDBCAddressListFromPC(): getifaddrs() Failed!.");
            return;
        }
        Diagnose(logger, __LINE__, "Interface Count=%d", static_cast<int>(interfaces.size()));

        int nNumber = 0;
        for (const VLInterfaceAddress& entry : interfaces) {
            ++nNumber;
            CVLString strAddress = CVLSocketAddress::FormatDottedQuad(entry.address);
            CVLString strMask = CVLSocketAddress::FormatDottedQuad(entry.netmask);
            CVLString strBroadcast = DirectedBroadcast(entry.address, entry.netmask);
            Diagnose(logger, __LINE__, "\r#### Interface Info No.%d name=[%s]", nNumber, entry.strName.c_str());
            Diagnose(logger, __LINE__, "Address Family=[%d]", AF_INET);
            Diagnose(logger, __LINE__, "IP Address=[%s]", strAddress.GetBuffer());
            Diagnose(logger, __LINE__, "Subnet Mask=[%s]", strMask.GetBuffer());
            Diagnose(logger, __LINE__, "Flags=[%d]", static_cast<int>(entry.nFlags));
            Diagnose(logger, __LINE__, "Directed Broadcast Address=[%s]", strBroadcast.GetBuffer());

            CVLECMLocalNetworks::EAddress eAddress = CVLECMLocalNetworks::Judge(entry);
            if (eAddress == CVLECMLocalNetworks::ADDRESS_LOOPBACK) {
                Diagnose(logger, __LINE__, "> Registration NG(Loopback Address)");
                continue;
            }
            // An interface counts once, by its first address: a further
            // address of it is a second record of an interface already seen.
            if (!entry.bFirstOfInterface) {
                Diagnose(logger, __LINE__, "> Registration NG(Duplex)");
                continue;
            }
            // A network whose interface is down has no route: its broadcast
            // would leave by the default route, and it would take the place
            // of a network that can be reached.
            if (eAddress == CVLECMLocalNetworks::ADDRESS_DOWN) {
                Diagnose(logger, __LINE__, "> Registration NG(Interface Down)");
                continue;
            }
            if (eAddress == CVLECMLocalNetworks::ADDRESS_NO_NETWORK) {
                Diagnose(logger, __LINE__, "> Registration NG(No Network)");
                continue;
            }
            if (std::find(addressList.begin(), addressList.end(), strBroadcast) != addressList.end()) {
                Diagnose(logger, __LINE__, "> Registration NG(Duplex)");
                continue;
            }
            addressList.push_back(strBroadcast);
            Diagnose(logger, __LINE__, "> Registration OK");
        }
    } catch (...) {
        ReleaseCurrentException();
    }
}

bool CVLECM::SetupLocalDBCInfo(CVLECMPropertyMap* pAddressInfoMap, VL_CONST_STR szRootModuleInstanceName,
                               const CVLECMPropertyMap* pOptionMap, CVLECMNIFInfo* pNIFInfo)
{
    int nIndex = 0;
    try {
        if (pAddressInfoMap != nullptr)
            pAddressInfoMap->clear();
        if (CVLString::GetTextLength(szRootModuleInstanceName) == 0) {
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECM::SetupLocalDBCInfo(): invalid parameter!, szRootModuleInstanceName length=0");
            return false;
        }

        std::list<CVLString> addressList;
        getLDBCAddressListFromPC(addressList);
        // With detection on, one network is reached by the limited broadcast alone.
        if (getOptionBool(kMultiAddressDetectionKey, pOptionMap, nullptr) && addressList.size() == 1)
            addressList.clear();

        std::list<CVLString>::const_iterator itAddress = addressList.begin();
        for (nIndex = 1;; ++nIndex) {
            bool bModulePathFound = false;
            bool bToAddressPathFound = false;
            bool bEnableFound = false;
            CVLString strModulePath = getOptionString(EntryKey(kLDBCPrefix, nIndex, kModulePathKey).GetBuffer(),
                                                      pOptionMap, &bModulePathFound);
            CVLString strToAddressPath = getOptionString(EntryKey(kLDBCPrefix, nIndex, kToAddressPathKey).GetBuffer(),
                                                         pOptionMap, &bToAddressPathFound);
            bool bEnable =
                getOptionBool(EntryKey(kLDBCPrefix, nIndex, kEnableKey).GetBuffer(), pOptionMap, &bEnableFound);

            if (!bModulePathFound) {
                if (!bToAddressPathFound && !bEnableFound) {
                    noteNetworksWithoutDirectedBroadcast(addressList, itAddress);
                    return true;
                }
                CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                                 "CVLECM::SetupLocalDBCInfo(): Required option is not found!, List index=%d, "
                                 "VLMDSockModulePath:%d.",
                                 nIndex, 0);
                return false;
            }
            if (bToAddressPathFound && pNIFInfo == nullptr) {
                CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                                 "CVLECM::SetupLocalDBCInfo(): NIF info is NULL!, List index=%d, "
                                 "NIFInfoToAddressPath:%d.",
                                 nIndex, 1);
                return false;
            }

            bool bEnabled = (!bEnableFound || bEnable) && itAddress != addressList.end();
            CVLString strNone(VL_CHARSET_UTF8);
            if (!HandOutAddress(GetApi(), "SetupLocalDBCInfo", nIndex, szRootModuleInstanceName, strModulePath,
                                bEnabled, bEnabled ? *itAddress : strNone, pAddressInfoMap, pNIFInfo,
                                bToAddressPathFound, strToAddressPath))
                return false;
            if (bEnabled)
                ++itAddress;
        }
    } catch (...) {
        ReleaseCurrentException();
    }
    // A set-up that could not finish has not prepared the probe.
    CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0, "CVLECM::SetupLocalDBCInfo(): exception!, List index=%d",
                     nIndex);
    return false;
}

void CVLECM::noteNetworksWithoutDirectedBroadcast(const std::list<CVLString>& addressList,
                                                  std::list<CVLString>::const_iterator itFirstLeft)
{
    std::vector<CVLString> networks;
    for (auto it = itFirstLeft; it != addressList.end(); ++it)
        networks.push_back(NetworkOfBroadcast(*it));
    CVLThreadLock lock(&m_NetworksWithoutDirectedBroadcastSync);
    if (!lock.Lock())
        return;
    m_NetworksWithoutDirectedBroadcast = networks;
    m_nNetworksReached = static_cast<int>(std::distance(addressList.begin(), itFirstLeft));
}

std::vector<CVLString> CVLECM::GetNetworksWithoutDirectedBroadcast(int& nReached)
{
    nReached = 0;
    CVLThreadLock lock(&m_NetworksWithoutDirectedBroadcastSync);
    if (!lock.Lock())
        return std::vector<CVLString>();
    nReached = m_nNetworksReached;
    return m_NetworksWithoutDirectedBroadcast;
}

bool CVLECM::SetupBindAddressInfo(CVLECMPropertyMap* pAddressInfoMap, VL_CONST_STR szRootModuleInstanceName,
                                  const CVLECMPropertyMap* pOptionMap, CVLECMNIFInfo* pNIFInfo)
{
    int nIndex = 0;
    try {
        if (pAddressInfoMap != nullptr)
            pAddressInfoMap->clear();
        if (CVLString::GetTextLength(szRootModuleInstanceName) == 0) {
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECM::SetupBindAddressInfo(): invalid parameter!, szRootModuleInstanceName length=0");
            return false;
        }

        for (nIndex = 1;; ++nIndex) {
            bool bModulePathFound = false;
            bool bBindAddressPathFound = false;
            bool bToAddressPathFound = false;
            bool bEnableFound = false;
            bool bIPAddressFound = false;
            bool bSubNetmaskFound = false;
            CVLString strModulePath = getOptionString(EntryKey(kBindPrefix, nIndex, kModulePathKey).GetBuffer(),
                                                      pOptionMap, &bModulePathFound);
            getOptionString(EntryKey(kBindPrefix, nIndex, kBindAddressPathKey).GetBuffer(), pOptionMap,
                            &bBindAddressPathFound);
            CVLString strToAddressPath = getOptionString(EntryKey(kBindPrefix, nIndex, kToAddressPathKey).GetBuffer(),
                                                         pOptionMap, &bToAddressPathFound);
            bool bEnable =
                getOptionBool(EntryKey(kBindPrefix, nIndex, kEnableKey).GetBuffer(), pOptionMap, &bEnableFound);
            CVLString strIPAddress =
                getOptionString(EntryKey(kBindPrefix, nIndex, kIPAddressKey).GetBuffer(), pOptionMap, &bIPAddressFound);
            CVLString strSubNetmask = getOptionString(EntryKey(kBindPrefix, nIndex, kSubNetmaskKey).GetBuffer(),
                                                      pOptionMap, &bSubNetmaskFound);

            if (!bModulePathFound) {
                if (!bBindAddressPathFound && !bEnableFound && !bIPAddressFound && !bSubNetmaskFound)
                    return true;
                CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                                 "CVLECM::SetupBindAddressInfo(): Required option is not found!, List index=%d, "
                                 "VLMDSockModulePath:%d, IPAddress:%d, SubNetmask:%d.",
                                 nIndex, 0, bIPAddressFound ? 1 : 0, bSubNetmaskFound ? 1 : 0);
                return false;
            }
            if (!bIPAddressFound || !bSubNetmaskFound) {
                CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                                 "CVLECM::SetupBindAddressInfo(): Required option is not found!, List index=%d, "
                                 "VLMDSockModulePath:%d, IPAddress:%d, SubNetmask:%d.",
                                 nIndex, 1, bIPAddressFound ? 1 : 0, bSubNetmaskFound ? 1 : 0);
                return false;
            }
            if ((bBindAddressPathFound || bToAddressPathFound) && pNIFInfo == nullptr) {
                CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                                 "CVLECM::SetupBindAddressInfo(): NIF info is NULL!, List index=%d, "
                                 "NIFInfoBindAddressPath:%d, NIFInfoToAddressPath:%d.",
                                 nIndex, bBindAddressPathFound ? 1 : 0, bToAddressPathFound ? 1 : 0);
                return false;
            }
            unsigned char address[kIPv4AddressBytes];
            unsigned char mask[kIPv4AddressBytes];
            // Only a dotted quad counts: a host name would be looked up, and
            // any other text would become some address nobody named.
            if (!CVLSocketAddress::ParseDottedQuad(strIPAddress.GetBuffer(), address) ||
                !CVLSocketAddress::ParseDottedQuad(strSubNetmask.GetBuffer(), mask)) {
                CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                                 "CVLECM::SetupBindAddressInfo(): invalid address!, List index=%d, IPAddress:%s, "
                                 "SubNetmask:%s.",
                                 nIndex, strIPAddress.GetBuffer(), strSubNetmask.GetBuffer());
                return false;
            }

            bool bEnabled = !bEnableFound || bEnable;
            if (!HandOutAddress(GetApi(), "SetupBindAddressInfo", nIndex, szRootModuleInstanceName, strModulePath,
                                bEnabled, DirectedBroadcast(address, mask), pAddressInfoMap, pNIFInfo,
                                bToAddressPathFound, strToAddressPath))
                return false;
        }
    } catch (...) {
        ReleaseCurrentException();
    }
    CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0, "CVLECM::SetupBindAddressInfo(): exception!, List index=%d",
                     nIndex);
    return false;
}
