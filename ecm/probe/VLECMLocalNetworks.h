// The computer's local networks as a probe sees them: the network an
// address lies in (its name, "10.71.2.0/24", and its directed broadcast),
// and the interface whose network a receiving socket probes, where the
// socket belongs to one local network (a directed broadcast's). One value,
// read as a probe starts (Read) and handed to those that ask it: the reply
// filter counts its bounds by these networks, and the probe instance gives
// the chains their networks' turns and a device the directed broadcast it
// answered through. It does not change once made, so any thread may ask it.
#ifndef VLECMLOCALNETWORKS_H
#define VLECMLOCALNETWORKS_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/core/VLString.h"
#include "base/net/VLInterfaceAddress.h"

class CVLECMLocalNetworks
{
public:
    // How an interface address counts. The one rule by which the computer's
    // networks are read from its interfaces, here and for the probe's
    // directed broadcasts (CVLECM::getLDBCAddressListFromPC): an address
    // that is up, not a loopback, and whose mask leaves a network lies on a
    // local network.
    enum EAddress
    {
        ADDRESS_NETWORK,    // on a local network
        ADDRESS_LOOPBACK,   // a loopback address
        ADDRESS_DOWN,       // its interface is down, or up without carrier: its network has no route
        ADDRESS_NO_NETWORK  // no mask, or one that makes the address its own broadcast
    };
    static EAddress Judge(const VLInterfaceAddress& entry);

    // The networks of the addresses that lie on one (Judge), each network
    // once; and the probe's sockets of one local network each: the path of
    // the module instance that owns one, and the directed broadcast it
    // probes. None by default.
    CVLECMLocalNetworks() = default;
    explicit CVLECMLocalNetworks(const std::vector<VLInterfaceAddress>& addresses,
                                 const std::map<CVLString, CVLString>& receivers = std::map<CVLString, CVLString>());
    // The computer's networks as its interfaces are now, with those
    // receivers.
    static std::shared_ptr<const CVLECMLocalNetworks> Read(const std::map<CVLString, CVLString>& receivers);

    // The local network of an address ("10.71.2.0/24"); empty for an
    // address on none of them.
    CVLString GetNetwork(const CVLString& strFrom) const;
    // Each network as a user names it, with its interface ("10.71.2.0/24
    // (eth1)"), in the order the interfaces list them.
    std::vector<std::string> GetNetworkNames() const;
    // The directed broadcast of the local network of an address; empty for
    // an address on none of them.
    CVLString GetDirectedBroadcast(const CVLString& strFrom) const;
    // The interface of the network whose directed broadcast the receiver
    // (a module instance's path or name) probes; empty when not known.
    CVLString GetReceiverInterface(const CVLString& strReceiver) const;
    // The directed broadcast the receiver probes; empty for one that probes
    // none (the limited broadcast's).
    CVLString GetReceiverBroadcast(const CVLString& strReceiver) const;

private:
    struct SNetwork
    {
        uint32_t nAddress;
        uint32_t nMask;
        CVLString strName;
        CVLString strBroadcast;
        CVLString strInterface;
        // The first address of its interface: the probe sends the
        // interface's directed broadcast for it.
        bool bFirstOfInterface;
    };
    // A socket of one local network: the directed broadcast it probes, and
    // that network's interface (empty when not known).
    struct SReceiver
    {
        CVLString strBroadcast;
        CVLString strInterface;
    };

    const SNetwork* findNetwork(const CVLString& strFrom) const;
    // The receiver is named by its path, or by its name alone at the end of
    // the path.
    const SReceiver* findReceiver(const CVLString& strReceiver) const;

    std::vector<SNetwork> m_Networks;
    std::map<CVLString, SReceiver> m_Receivers;
};

#endif
