// The soft limit on descriptors a probe raises, and gives back.
#include "ecm/probe/VLECMDescriptorLimit.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>

#include <dirent.h>

#include "ecm/probe/VLECMChainScheduler.h"

namespace {
// A limit beyond this many descriptors counts as this many.
const rlim_t kMaxCountedDescriptors = 1 << 20;

int GetLimit(rlimit* pLimit)
{
    return getrlimit(RLIMIT_NOFILE, pLimit);
}

int SetLimit(const rlimit* pLimit)
{
    return setrlimit(RLIMIT_NOFILE, pLimit);
}

// What the objects using one system's calls share: those that count on
// the limit, whether it was raised since the first of them, the soft limit
// before that raise and the one the last raise set.
struct SShared
{
    int nCounting = 0;
    bool bRaised = false;
    rlim_t nBefore = 0;
    rlim_t nRaisedTo = 0;
};

std::mutex& SharedMutex()
{
    static std::mutex s_Mutex;
    return s_Mutex;
}

// Under SharedMutex; by the system's setrlimit.
SShared& SharedOf(int (*pfnSet)(const rlimit*))
{
    static std::map<int (*)(const rlimit*), SShared> s_Shared;
    return s_Shared[pfnSet];
}

// Descriptors open now, as /proc lists them; 0 when it cannot be read.
long CountOpenDescriptors()
{
    DIR* pDir = opendir("/proc/self/fd");
    if (pDir == nullptr)
        return 0;
    long nOpen = 0;
    const int nOwn = dirfd(pDir);
    while (const dirent* pEntry = readdir(pDir)) {
        char* pEnd = nullptr;
        const long nFd = strtol(pEntry->d_name, &pEnd, 10);
        if (pEnd != pEntry->d_name && *pEnd == '\0' && nFd != nOwn)
            ++nOpen;
    }
    closedir(pDir);
    return nOpen;
}
}  // namespace

const CVLECMDescriptorLimit::SSystem& CVLECMDescriptorLimit::RealSystem()
{
    static const SSystem s_System = {GetLimit, SetLimit, CountOpenDescriptors};
    return s_System;
}

CVLECMDescriptorLimit::CVLECMDescriptorLimit() : m_System(RealSystem())
{
}

CVLECMDescriptorLimit::CVLECMDescriptorLimit(const SSystem& system) : m_System(system)
{
}

CVLECMDescriptorLimit::~CVLECMDescriptorLimit()
{
    GiveBack();
}

void CVLECMDescriptorLimit::Raise(int nLocalNetworks, int& nPerNetwork, int& nShared)
{
    nPerNetwork = CVLECMChainScheduler::MAX_PLACES_PER_NETWORK;
    nShared = 0;
    // The replies from no local network have places of their own.
    const int nNetworks = std::max(0, nLocalNetworks) + 1;
    std::lock_guard<std::mutex> lock(SharedMutex());
    SShared& shared = SharedOf(m_System.pfnSet);
    if (!m_bCounted) {
        m_bCounted = true;
        ++shared.nCounting;
    }
    rlimit limit = {};
    if (m_System.pfnGet(&limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return;
    const long nOpen = m_System.pfnCountOpen();
    const rlim_t nWanted = static_cast<rlim_t>(nOpen + DESCRIPTORS_BESIDE_PLACES) +
                           static_cast<rlim_t>(nNetworks) * CVLECMChainScheduler::MAX_PLACES_PER_NETWORK;
    if (limit.rlim_cur < nWanted) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= nWanted ? nWanted : limit.rlim_max;
        if (raised.rlim_cur > limit.rlim_cur && m_System.pfnSet(&raised) == 0) {
            // The limit before the first raise is the one given back; one
            // set from outside since the last raise takes its stead.
            if (!shared.bRaised || limit.rlim_cur != shared.nRaisedTo)
                shared.nBefore = limit.rlim_cur;
            shared.bRaised = true;
            shared.nRaisedTo = raised.rlim_cur;
            limit = raised;
        }
    }
    const long nFree =
        static_cast<long>(std::min<rlim_t>(limit.rlim_cur, kMaxCountedDescriptors)) - nOpen - DESCRIPTORS_BESIDE_PLACES;
    CVLECMChainScheduler::ShareOut(nFree, nNetworks, nPerNetwork, nShared);
}

void CVLECMDescriptorLimit::GiveBack()
{
    std::lock_guard<std::mutex> lock(SharedMutex());
    if (!m_bCounted)
        return;
    m_bCounted = false;
    SShared& shared = SharedOf(m_System.pfnSet);
    if (--shared.nCounting > 0 || !shared.bRaised)
        return;
    shared.bRaised = false;
    rlimit limit = {};
    if (m_System.pfnGet(&limit) != 0 || limit.rlim_cur != shared.nRaisedTo)
        return;
    limit.rlim_cur = shared.nBefore;
    m_System.pfnSet(&limit);
}
