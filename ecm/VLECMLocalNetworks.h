// The computer's local networks as a probe sees them: the network an
// address lies in (its name, "10.71.2.0/24", and its directed broadcast),
// and the interface whose network a receiving socket probes, where the
// socket belongs to one local network (a directed broadcast's). The reply
// filter counts its bounds by these networks, and the chains and the
// broadcast-address fallback ask them. Safe to use from several threads.
#ifndef VLECMLOCALNETWORKS_H
#define VLECMLOCALNETWORKS_H

#include <cstdint>
#include <map>
#include <vector>

#include "base/core/VLString.h"
#include "base/core/VLThreadSync.h"
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
        ADDRESS_DOWN,       // its interface is down: its network has no route
        ADDRESS_NO_NETWORK  // no mask, or one that makes the address its own broadcast
    };
    static EAddress Judge(const VLInterfaceAddress& entry);

    // The networks of the addresses that lie on one (Judge); each network
    // once.
    void Set(const std::vector<VLInterfaceAddress>& addresses);
    // The probe's sockets of one local network each: the path of the
    // module instance that owns one, and the directed broadcast it probes.
    void SetReceivers(const std::map<CVLString, CVLString>& broadcasts);
    // The local network of an address ("10.71.2.0/24"); empty for an
    // address on none of them.
    CVLString GetNetwork(const CVLString& strFrom);
    // The directed broadcast of the local network of an address; empty for
    // an address on none of them.
    CVLString GetDirectedBroadcast(const CVLString& strFrom);
    // The interface of the network whose directed broadcast the receiver
    // (a module instance's path or name) probes; empty when not known.
    CVLString GetReceiverInterface(const CVLString& strReceiver);
    // The directed broadcast the receiver probes; empty for one that probes
    // none (the limited broadcast's).
    CVLString GetReceiverBroadcast(const CVLString& strReceiver);

private:
    struct SNetwork
    {
        uint32_t nAddress;
        uint32_t nMask;
        CVLString strName;
        CVLString strBroadcast;
        CVLString strInterface;
    };

    // Under m_Sync.
    const SNetwork* findNetwork(const CVLString& strFrom) const;
    // Under m_Sync: the receiver is named by its path, or by its name alone
    // at the end of the path.
    const CVLString* findReceiverBroadcast(const CVLString& strReceiver) const;

    CVLThreadSync m_Sync;
    std::vector<SNetwork> m_Networks;
    std::map<CVLString, CVLString> m_ReceiverBroadcasts;
    std::map<CVLString, CVLString> m_ReceiverInterfaces;
};

#endif
