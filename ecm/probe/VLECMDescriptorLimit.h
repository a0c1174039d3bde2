// The soft limit on descriptors a probe needs for its places: raised as
// the probe starts as far as every network's places need (never beyond the
// hard limit, never lowered), and given back as the last device manager
// that counts on it ends, so that a process that goes on without them
// keeps the limit it had. The limit is the process's: the device managers
// of one process share one count of those that count on it, the limit
// before the first raise and the last raise's value, under one lock. Where
// the hard limit leaves fewer, the descriptors free, less a few, are shared
// out (CVLECMChainScheduler::ShareOut). The system's calls are the tests'
// to replace: the state is shared among the objects using the same calls.
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
    // Gives back, as GiveBack.
    ~CVLECMDescriptorLimit();
    CVLECMDescriptorLimit(const CVLECMDescriptorLimit&) = delete;
    CVLECMDescriptorLimit& operator=(const CVLECMDescriptorLimit&) = delete;

    // The places of the computer's nLocalNetworks networks and of the
    // replies from none, each network's own and the pool's, with the soft
    // limit raised as far as their MAX_PLACES_PER_NETWORK each need; from
    // now on this one counts on the limit.
    void Raise(int nLocalNetworks, int& nPerNetwork, int& nShared);
    // This one no longer counts on the limit. The last that did sets the
    // soft limit back to what it was before the process's first raise,
    // unless it was changed from outside since the last raise.
    void GiveBack();

    static const SSystem& RealSystem();

private:
    SSystem m_System;
    bool m_bCounted = false;
};

#endif
