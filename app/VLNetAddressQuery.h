// Asks the network, before a device is given a new address, whether a host
// holds it already: one a probe did not hear (it answered late, or speaks
// no VLPC). A probe goes to the address, and the kernel resolves its link
// address on the way: a VLPC answer, or a resolved neighbour entry, within
// a short wait says that it is taken.
#ifndef VLNETADDRESSQUERY_H
#define VLNETADDRESSQUERY_H

#include <string>

class CVLNetAddressQuery
{
public:
    // How long the address is asked, in milliseconds.
    enum
    {
        kWaitMilliseconds = 1000
    };
    // Who holds strAddress ("a VLPC device answered a probe sent to it",
    // "a host at link address L on IF answered for it"); empty when none
    // answered within nWaitMilliseconds (or a stop was asked for).
    // strRequest is the probe's datagram, sent to nPort.
    static std::string FindHolder(const std::string& strAddress, const std::string& strRequest, unsigned short nPort,
                                  int nWaitMilliseconds = kWaitMilliseconds);
    // "1 s", "250 ms": the wait as a message names it.
    static std::string WaitText(int nWaitMilliseconds = kWaitMilliseconds);
};

#endif
