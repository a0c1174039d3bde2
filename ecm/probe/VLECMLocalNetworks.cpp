// The computer's local networks and the probe's sockets that belong to one.
#include "ecm/probe/VLECMLocalNetworks.h"

#include <net/if.h>

#include <string>

#include "base/core/VLCharset.h"
#include "base/net/VLSocketAddress.h"
#include "ecm/core/VLECMPrivate.h"

CVLECMLocalNetworks::EAddress CVLECMLocalNetworks::Judge(const VLInterfaceAddress& entry)
{
    if (entry.bLoopback)
        return ADDRESS_LOOPBACK;
    if (!entry.bUp || VLHasNoCarrier(entry))
        return ADDRESS_DOWN;
    // Without a mask the "broadcast" is the limited broadcast; with a host
    // mask it is the computer's own address. Neither is a network.
    uint32_t nMask = CVLSocketAddress::HostOrder(entry.netmask);
    uint32_t nAddress = CVLSocketAddress::HostOrder(entry.address);
    if (nMask == 0 || (nAddress | ~nMask) == nAddress)
        return ADDRESS_NO_NETWORK;
    return ADDRESS_NETWORK;
}

CVLECMLocalNetworks::CVLECMLocalNetworks(const std::vector<VLInterfaceAddress>& addresses,
                                         const std::map<CVLString, CVLString>& receivers)
{
    for (const VLInterfaceAddress& entry : addresses) {
        if (Judge(entry) != ADDRESS_NETWORK)
            continue;
        uint32_t nMask = CVLSocketAddress::HostOrder(entry.netmask);
        SNetwork network;
        network.nMask = nMask;
        network.nAddress = CVLSocketAddress::HostOrder(entry.address) & nMask;
        network.strInterface = CVLString(entry.strInterface.c_str(), VL_CHARSET_UTF8);
        network.bFirstOfInterface = entry.bFirstOfInterface;
        // A network listed again keeps its first entry, unless that was a
        // further address of an interface and this is the first of one:
        // the probe sends the network's broadcast for the latter.
        bool bKnown = false;
        for (SNetwork& other : m_Networks) {
            if (other.nAddress != network.nAddress || other.nMask != nMask)
                continue;
            bKnown = true;
            if (network.bFirstOfInterface && !other.bFirstOfInterface) {
                other.strInterface = network.strInterface;
                other.bFirstOfInterface = true;
            }
        }
        if (bKnown)
            continue;
        network.strName = CVLSocketAddress::FormatDottedQuad(network.nAddress);
        network.strName += "/";
        network.strName += std::to_string(CVLSocketAddress::PrefixLength(nMask)).c_str();
        network.strBroadcast = CVLSocketAddress::FormatDottedQuad(network.nAddress | ~nMask);
        m_Networks.push_back(network);
    }
    for (const auto& entry : receivers) {
        SReceiver& receiver = m_Receivers[entry.first];
        receiver.strBroadcast = entry.second;
        // The interface the probe sent the broadcast for: by the first
        // address of an interface that has it, as the list of directed
        // broadcasts took it (a further address's, or a later interface's
        // with the same broadcast, was not sent); another's only when none.
        const SNetwork* pFound = nullptr;
        for (const SNetwork& network : m_Networks) {
            if (network.strBroadcast == entry.second &&
                (pFound == nullptr || (network.bFirstOfInterface && !pFound->bFirstOfInterface)))
                pFound = &network;
        }
        receiver.strInterface = pFound != nullptr ? pFound->strInterface : CVLString(VL_CHARSET_UTF8);
    }
}

std::shared_ptr<const CVLECMLocalNetworks> CVLECMLocalNetworks::Read(const std::map<CVLString, CVLString>& receivers)
{
    std::vector<VLInterfaceAddress> addresses;
    VLListInterfaceAddresses(addresses);
    return std::make_shared<const CVLECMLocalNetworks>(addresses, receivers);
}

CVLString CVLECMLocalNetworks::GetReceiverInterface(const CVLString& strReceiver) const
{
    const SReceiver* pReceiver = findReceiver(strReceiver);
    return pReceiver != nullptr ? pReceiver->strInterface : CVLString(VL_CHARSET_UTF8);
}

CVLString CVLECMLocalNetworks::GetReceiverBroadcast(const CVLString& strReceiver) const
{
    const SReceiver* pReceiver = findReceiver(strReceiver);
    return pReceiver != nullptr ? pReceiver->strBroadcast : CVLString(VL_CHARSET_UTF8);
}

const CVLECMLocalNetworks::SReceiver* CVLECMLocalNetworks::findReceiver(const CVLString& strReceiver) const
{
    if (strReceiver.GetLength() == 0)
        return nullptr;
    CVLString strSuffix(".", VL_CHARSET_UTF8);
    strSuffix += strReceiver;
    for (const auto& entry : m_Receivers) {
        int nAt = entry.first.GetLength() - strSuffix.GetLength();
        if (entry.first == strReceiver || (nAt >= 0 && entry.first.Mid(nAt) == strSuffix))
            return &entry.second;
    }
    return nullptr;
}

const CVLECMLocalNetworks::SNetwork* CVLECMLocalNetworks::findNetwork(const CVLString& strFrom) const
{
    uint32_t nAddress = 0;
    if (!CVLSocketAddress::ParseDottedQuad(TextOf(strFrom), nAddress))
        return nullptr;
    // The narrowest network that holds the address.
    const SNetwork* pFound = nullptr;
    for (const SNetwork& network : m_Networks) {
        if ((nAddress & network.nMask) == network.nAddress && (pFound == nullptr || network.nMask > pFound->nMask))
            pFound = &network;
    }
    return pFound;
}

CVLString CVLECMLocalNetworks::GetNetwork(const CVLString& strFrom) const
{
    const SNetwork* pNetwork = findNetwork(strFrom);
    return pNetwork != nullptr ? pNetwork->strName : CVLString(VL_CHARSET_UTF8);
}

std::vector<std::string> CVLECMLocalNetworks::GetNetworkNames() const
{
    std::vector<std::string> names;
    for (const SNetwork& network : m_Networks)
        names.push_back(std::string(TextOf(network.strName)) + " (" + TextOf(network.strInterface) + ")");
    return names;
}

CVLString CVLECMLocalNetworks::GetDirectedBroadcast(const CVLString& strFrom) const
{
    const SNetwork* pNetwork = findNetwork(strFrom);
    return pNetwork != nullptr ? pNetwork->strBroadcast : CVLString(VL_CHARSET_UTF8);
}
