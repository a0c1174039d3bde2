// The soft limit on descriptors a probe needs for its places: raised as
// the probe starts as far as every network's places need (never beyond the
// hard limit, never lowered), and given back as the device manager ends, so
// that a process that goes on without it keeps the limit it had. Where the
// hard limit leaves fewer, the descriptors free, less a few, are shared out
// (CVLECMChainScheduler::ShareOut). The system's calls are the tests' to
// replace.
#ifndef VLECMDESCRIPTORLIMIT_H
#define VLECMDESCRIPTORLIMIT_H

#include <sys/resource.h>

class CVLECMDescriptorLimit
{
public:
    // getrlimit and setrlimit of RLIMIT_NOFILE (0 on success), and the
    // count of descriptors open now (0 when it cannot be read).
    struct SSystem
    {
        int (*pfnGet)(rlimit* pLimit);
        int (*pfnSet)(const rlimit* pLimit);
        long (*pfnCountOpen)();
    };
    // Descriptors kept free beside the places: the named address's place,
    // the socket the unicast checks share, a client's command after the
    // probe, the interface listing of a send to the limited broadcast, and
    // some slack.
    enum
    {
        DESCRIPTORS_BESIDE_PLACES = 8
    };

    CVLECMDescriptorLimit();
    explicit CVLECMDescriptorLimit(const SSystem& system);

    // The places of the computer's nLocalNetworks networks and of the
    // replies from none, each network's own and the pool's, with the soft
    // limit raised as far as their MAX_PLACES_PER_NETWORK each need.
    void Raise(int nLocalNetworks, int& nPerNetwork, int& nShared);
    // The soft limit as it was before the first raise, unless it was
    // changed since (by the client, or another device manager's raise).
    void GiveBack();

    static const SSystem& RealSystem();

private:
    SSystem m_System;
    bool m_bRaised = false;
    rlimit m_Before = {};
    rlim_t m_nRaisedTo = 0;
};

#endif
