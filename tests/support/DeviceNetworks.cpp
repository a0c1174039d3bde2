#include "tests/support/DeviceNetworks.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace {
// The port the devices answer on, the project's VLPC port.
const unsigned kDevicePort = 48817;
const int kFirstDeviceHost = 10;
const size_t kMacDigits = 12;

// The value of a key in a device's keys, as the emulator reads them
// (KEY=VALUE or KEY="VALUE", blank-separated, the last one taken); false
// when the key is not there.
bool FindKey(const std::string& strKeys, const std::string& strKey, std::string& strValue)
{
    bool bFound = false;
    size_t i = 0;
    while (i < strKeys.size()) {
        while (i < strKeys.size() && isspace(static_cast<unsigned char>(strKeys[i])))
            i++;
        size_t nEqual = strKeys.find('=', i);
        if (i >= strKeys.size() || nEqual == std::string::npos)
            break;
        const bool bKey = strKeys.compare(i, nEqual - i, strKey) == 0 && nEqual - i == strKey.size();
        i = nEqual + 1;
        size_t nEnd;
        std::string strFound;
        if (i < strKeys.size() && strKeys[i] == '"') {
            nEnd = strKeys.find('"', i + 1);
            if (nEnd == std::string::npos)
                break;
            strFound = strKeys.substr(i + 1, nEnd - i - 1);
            nEnd++;
        } else {
            nEnd = i;
            while (nEnd < strKeys.size() && !isspace(static_cast<unsigned char>(strKeys[nEnd])))
                nEnd++;
            strFound = strKeys.substr(i, nEnd - i);
        }
        if (bKey) {
            strValue = strFound;
            bFound = true;
        }
        i = nEnd;
    }
    return bFound;
}

// Whether vlnet's probe lists a device of these keys, as it does with the
// emulator: one that answers its unicast check and its commands itself is
// listed (an impostor too; a burst's repeats are dropped; checkerrors
// floods only the other devices' checks), while one deaf to unicast, one
// whose check or list information is answered with an error, one that
// never answers its list information, one that ignores every request, and
// the other hostile kinds are not (nor, see AddNetwork, one whose address
// is off the network, which unicast does not reach).
bool ListedByProbe(const std::string& strKeys)
{
    std::string strValue;
    if ((FindKey(strKeys, "unicast", strValue) && strValue == "0") ||
        (FindKey(strKeys, "loss", strValue) && strValue == "100") ||
        (FindKey(strKeys, "quietlist", strValue) && strValue == "1"))
        return false;
    if (FindKey(strKeys, "dataerror", strValue)) {
        const long nFunction = strtol(strValue.c_str(), nullptr, 16);
        if (nFunction == 0x5A02 || nFunction == 0x5A04)
            return false;
    }
    if (!FindKey(strKeys, "hostile", strValue))
        return true;
    for (const char* szListed : {"none", "impostor", "burst", "checkerrors"}) {
        if (strValue == szListed)
            return true;
    }
    return false;
}

// A MAC address as the probe lists it ("00:26:AB:11:00:01") from any form
// the emulator takes; as given when it is none.
std::string ListedMac(const std::string& strMAC)
{
    std::string strDigits;
    for (char c : strMAC) {
        if (isxdigit(static_cast<unsigned char>(c)))
            strDigits += static_cast<char>(toupper(static_cast<unsigned char>(c)));
        else if (c != ':' && c != '-')
            return strMAC;
    }
    if (strDigits.size() != kMacDigits)
        return strMAC;
    std::string strListed;
    for (size_t i = 0; i < kMacDigits; i += 2)
        strListed += (i == 0 ? "" : ":") + strDigits.substr(i, 2);
    return strListed;
}
}  // namespace

const char* const CDeviceNetworks::kComputer = "pc";

std::string CDeviceNetworks::Mac(int nNetwork, int nIndex)
{
    char sz[32];
    snprintf(sz, sizeof(sz), "00:26:AB:%02X:%02X:%02X", (0x10 + nNetwork) & 0xFF, nIndex & 0xFF,
             (0x01 + (nIndex >> 8)) & 0xFF);
    return sz;
}

std::string CDeviceNetworks::Address(int nNetwork, int nHost)
{
    return "10.201." + std::to_string(nNetwork + nHost / 256) + "." + std::to_string(nHost % 256);
}

bool CDeviceNetworks::AddAddresses(int nNetwork, int nFirst, int nLast, std::string* pError)
{
    std::string strAddresses;
    for (int nHost = nFirst; nHost <= nLast; nHost++)
        strAddresses += " " + Address(nNetwork, nHost);
    const std::string strNumber = std::to_string(nNetwork);
    return m_Net.Exec("n" + strNumber,
                      "printf 'address add %s/24 dev vd" + strNumber + "\\n'" + strAddresses + " | ip -batch -",
                      pError) &&
           m_Net.PinNeighbours("n" + strNumber, pError);
}

bool CDeviceNetworks::AddComputer(std::string* pError)
{
    return m_Net.AddHost(kComputer, pError);
}

bool CDeviceNetworks::AddNetwork(int nNetwork, const std::vector<std::string>& devices, std::string* pError,
                                 int nPrefixLength)
{
    if (nNetwork < 1 || nNetwork > 99) {
        if (pError)
            *pError = "network numbers run from 1 to 99";
        return false;
    }
    const int nBlocks = nPrefixLength >= 16 && nPrefixLength <= 24 ? 1 << (24 - nPrefixLength) : 0;
    if (nBlocks == 0 || nNetwork % nBlocks != 0 ||
        kFirstDeviceHost + static_cast<int>(devices.size()) > 256 * nBlocks - 1) {
        if (pError)
            *pError = "the network's prefix does not fit its number or its devices";
        return false;
    }
    const std::string strPrefix = "/" + std::to_string(nPrefixLength);
    const unsigned nMask = ~0u << (32 - nPrefixLength);
    const std::string strMask = "255.255." + std::to_string((nMask >> 8) & 0xFF) + "." + std::to_string(nMask & 0xFF);
    std::string strHost = "n" + std::to_string(nNetwork);
    if (!m_Net.AddHost(strHost, pError))
        return false;
    std::vector<std::string> addresses;
    std::string strList;
    // A device answers from its address only once that address is on its
    // side of the link; one off the network also needs a route back to the
    // computer.
    bool bOffNetwork = false;
    const unsigned nNetworkAddress = ntohl(inet_addr(Address(nNetwork, 0).c_str()));
    for (size_t i = 0; i < devices.size(); i++) {
        int nIndex = static_cast<int>(i);
        std::string strIP = Address(nNetwork, kFirstDeviceHost + nIndex);
        std::string strModel = "Model " + std::to_string(nNetwork) + "-" + std::to_string(i);
        strList += "mac=" + Mac(nNetwork, nIndex) + " ip=" + strIP + " mask=" + strMask + " model=\"" + strModel +
                   "\" restart=0 " + devices[i] + "\n";
        bool bListed = ListedByProbe(devices[i]);
        // A MAC, address or model of the device's own keys is the one it
        // answers with.
        std::string strMAC = Mac(nNetwork, nIndex);
        if (FindKey(devices[i], "mac", strMAC))
            strMAC = ListedMac(strMAC);
        FindKey(devices[i], "model", strModel);
        // Off the network, unicast from the computer does not reach it.
        if (FindKey(devices[i], "ip", strIP) && (ntohl(inet_addr(strIP.c_str())) & nMask) != nNetworkAddress) {
            bOffNetwork = true;
            bListed = false;
        }
        if (std::find(addresses.begin(), addresses.end(), strIP + strPrefix) == addresses.end())
            addresses.push_back(strIP + strPrefix);
        m_Devices.push_back({strMAC, strIP, strModel, bListed});
    }
    std::string strNumber = std::to_string(nNetwork);
    const std::string strComputerIf = "vl" + strNumber, strDevicesIf = "vd" + strNumber;
    if (!m_Net.Link(kComputer, strComputerIf, {Address(nNetwork, 1) + strPrefix}, strHost, strDevicesIf, addresses,
                    pError))
        return false;
    if (bOffNetwork &&
        !m_Net.Exec(strHost, "ip route replace " + Address(nNetwork, 0) + strPrefix + " dev " + strDevicesIf, pError))
        return false;
    return m_Net.StartEmulator(strHost, strList, kDevicePort, TestEmulatorProgram(), pError);
}
