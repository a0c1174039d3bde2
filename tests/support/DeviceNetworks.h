// A computer ("pc") in a network namespace of its own, joined by a veth
// pair to each of a few networks of emulated devices (each network a
// namespace running vlemu). The networks have no gateway, and the computer
// no default route unless a test adds one.
//
// Network N is 10.201.N.0/24: the computer is .1 on interface "vlN", the
// devices .10, .11, ... with MAC 00:26:AB:(0x10+N):index:01 and model
// "Model N-index". A wider network (a /22 from 10.201.N.0, N a multiple of
// 4) goes on into 10.201.N+1.0 and beyond, its devices from index 256 on
// with MAC 00:26:AB:(0x10+N):index%256:(1+index/256). The computer and the
// devices know each other's link address from the start (permanent
// neighbour entries), so no ARP runs between them. The end-to-end tests
// and the demo program (vltestnet) build their networks this way.
#ifndef DEVICENETWORKS_H
#define DEVICENETWORKS_H

#include <string>
#include <vector>

#include "tests/support/TestNetwork.h"

class CDeviceNetworks
{
public:
    struct Device
    {
        std::string strMAC;  // "00:26:AB:11:00:01"
        std::string strIP;
        std::string strModel;
        // False for a device a probe does not list: it ignores unicast, its
        // check or commands fail, or it is a hostile host.
        bool bListed;
    };

    static const char* const kComputer;  // the computer's host name, "pc"

    static std::string Mac(int nNetwork, int nIndex);
    // nHost from 256 on lies in the next /24 blocks of a wider network.
    static std::string Address(int nNetwork, int nHost);

    // Makes the computer's namespace. False with a message on failure.
    bool AddComputer(std::string* pError = nullptr);
    // Adds network nNetwork (1..99) with one device per entry of devices: the
    // emulator's keys of that device (see EmuParseDevices). Its address,
    // mask, mac and model are given here unless the keys give them
    // (GetDevices then holds the ones given); an address of its own is put on
    // the devices' side of the link, so that it answers from there, even off
    // the network. nPrefixLength from 16 to 24 makes it wider.
    bool AddNetwork(int nNetwork, const std::vector<std::string>& devices, std::string* pError = nullptr,
                    int nPrefixLength = 24);

    // Puts hosts nFirst to nLast of network nNetwork (24-bit prefix) on its
    // devices' side as well, for a device that sends from addresses besides
    // its own (the emulator's pool=), each pinned in the computer's
    // neighbour table as the devices' addresses are (PinNeighbours). False with a message
    // on failure.
    bool AddAddresses(int nNetwork, int nFirst, int nLast, std::string* pError = nullptr);

    const std::vector<Device>& GetDevices() const { return m_Devices; }
    CTestNetwork& GetNetwork() { return m_Net; }

private:
    CTestNetwork m_Net;
    std::vector<Device> m_Devices;
};

#endif
