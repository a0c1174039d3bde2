#include "tests/support/DeviceNetworks.h"

#include <cstdio>

namespace {
// The port the devices answer on, the project's VLPC port.
const unsigned kDevicePort = 48817;
const int kFirstDeviceHost = 10;
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
    for (size_t i = 0; i < devices.size(); i++) {
        int nIndex = static_cast<int>(i);
        std::string strIP = Address(nNetwork, kFirstDeviceHost + nIndex);
        addresses.push_back(strIP + strPrefix);
        std::string strModel = "Model " + std::to_string(nNetwork) + "-" + std::to_string(i);
        strList += "mac=" + Mac(nNetwork, nIndex) + " ip=" + strIP + " mask=" + strMask + " model=\"" + strModel +
                   "\" restart=0 " + devices[i] + "\n";
        bool bListed =
            devices[i].find("hostile=") == std::string::npos && devices[i].find("unicast=0") == std::string::npos;
        m_Devices.push_back({Mac(nNetwork, nIndex), strIP, strModel, bListed});
    }
    std::string strNumber = std::to_string(nNetwork);
    return m_Net.Link(kComputer, "vl" + strNumber, {Address(nNetwork, 1) + strPrefix}, strHost, "vd" + strNumber,
                      addresses, pError) &&
           m_Net.StartEmulator(strHost, strList, kDevicePort, TestEmulatorProgram(), pError);
}
