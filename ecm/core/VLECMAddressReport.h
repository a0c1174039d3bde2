// How a probe judged the addresses a device's MAC address answered from:
// the device manager hands these to its client, which reports one device
// per MAC address and must know whether that device can be told from the
// hosts that claim its MAC.
#ifndef VLECMADDRESSREPORT_H
#define VLECMADDRESSREPORT_H

#include "base/core/VLString.h"
#include "ecm/core/VLECMBoundReport.h"

class CVLECMNIFInfo;

enum VLECM_ADDRESS_STATE
{
    VLECM_ADDRESS_WAITING,     // heard: its reply waits to be handled, or its check its turn
    VLECM_ADDRESS_CHECKING,    // its unicast check runs
    VLECM_ADDRESS_PASSED,      // it answered its unicast check with the MAC
    VLECM_ADDRESS_FAILED,      // its check ended otherwise: its record tells how
    VLECM_ADDRESS_NOT_CHECKED  // a bound refused it: it is never checked
};

struct SVLECMAddress
{
    CVLString strAddress;
    VLECM_ADDRESS_STATE eState = VLECM_ADDRESS_WAITING;
    // The bound that refused it (VLECM_ADDRESS_NOT_CHECKED): which, its
    // number of devices, and the network it holds (empty: none of the
    // computer's).
    VLECM_BOUND eBound = VLECM_BOUND_NETWORK;
    int nBound = 0;
    CVLString strNetwork;
    // Its record is the MAC's in the device list: the address the MAC was
    // handed on from.
    bool bListed = false;
    // Its record; null while its reply waits and for one never checked.
    // Valid only while the visit runs.
    CVLECMNIFInfo* pNIFInfo = nullptr;
};

#endif
