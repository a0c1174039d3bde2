// What the bounds of a probe refused: the reply filter makes these reports
// and the device manager hands them to its client after a probe.
#ifndef VLECMBOUNDREPORT_H
#define VLECMBOUNDREPORT_H

#include <vector>

#include "base/core/VLString.h"

// The bounds that drop replies.
enum VLECM_BOUND
{
    VLECM_BOUND_NETWORK,  // the device bound of a local network
    VLECM_BOUND_SOURCE    // the devices one address may bring
};

// A device a bound refused: its MAC address in normal form and the address
// it answered from.
struct SVLECMRefusedDevice
{
    CVLString strMAC;
    CVLString strAddress;
};

// What a bound refused on one network: the devices it refused that were not
// admitted later (nDevices, with bMore when more were refused than are
// kept), the first of them in the order of their addresses, how many
// addresses they answered from; the interfaces whose sockets received their
// replies (by name, in order); and bMayBeForged when something points to
// forged replies: a source's bound, more devices than the network has
// addresses, or a reply received through another network's socket than its
// source's. nBound is the bound's number of devices.
struct SVLECMBoundReport
{
    CVLString strNetwork;
    VLECM_BOUND eBound = VLECM_BOUND_NETWORK;
    int nBound = 0;
    unsigned long nDevices = 0;
    bool bMore = false;
    std::vector<SVLECMRefusedDevice> devices;
    unsigned long nAddresses = 0;
    std::vector<CVLString> interfaces;
    bool bMayBeForged = false;
};

#endif
