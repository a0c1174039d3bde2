// The places a probe gets under the limits on descriptors, and the soft
// limit it raises and gives back, on a stand-in for the system's calls.
#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

#include "ecm/probe/VLECMChainScheduler.h"
#include "ecm/probe/VLECMDescriptorLimit.h"
#include "tests/support/Watchdog.h"

namespace {
struct SFakeSystem
{
    rlimit limit = {};
    long nOpen = 0;
    bool bRefuseRaise = false;
    std::vector<rlim_t> sets;
};
SFakeSystem g_System;

int FakeGet(rlimit* pLimit)
{
    *pLimit = g_System.limit;
    return 0;
}

int FakeSet(const rlimit* pLimit)
{
    if (g_System.bRefuseRaise && pLimit->rlim_cur > g_System.limit.rlim_cur)
        return -1;
    g_System.sets.push_back(pLimit->rlim_cur);
    g_System.limit = *pLimit;
    return 0;
}

long FakeCountOpen()
{
    return g_System.nOpen;
}

const CVLECMDescriptorLimit::SSystem kFake = {FakeGet, FakeSet, FakeCountOpen};

void SetSystem(rlim_t nSoft, rlim_t nHard, long nOpen, bool bRefuseRaise = false)
{
    g_System = SFakeSystem();
    g_System.limit.rlim_cur = nSoft;
    g_System.limit.rlim_max = nHard;
    g_System.nOpen = nOpen;
    g_System.bRefuseRaise = bRefuseRaise;
}

const int kEach = CVLECMChainScheduler::MAX_PLACES_PER_NETWORK;
const long kBeside = CVLECMDescriptorLimit::DESCRIPTORS_BESIDE_PLACES;
}  // namespace

// Raised as far as every network's places need, the replies from no
// network counted as one; where the hard limit leaves fewer, what is free
// beside the descriptors open is shared out; a raise the system refuses
// leaves the limit as it was. Given back once the device manager ends,
// unless someone changed it since.
TEST(ECMDescriptorLimit, PlacesFitTheLimitAndTheRaiseIsGivenBack)
{
    int nPerNetwork = 0, nShared = 0;
    // Two local networks and the replies from none: three networks' need.
    SetSystem(100, 4096, 20);
    {
        CVLECMDescriptorLimit limit(kFake);
        limit.Raise(2, nPerNetwork, nShared);
        EXPECT_EQ(std::vector<rlim_t>{static_cast<rlim_t>(20 + kBeside + 3 * kEach)}, g_System.sets);
        EXPECT_EQ(kEach, nPerNetwork);
        EXPECT_EQ(0, nShared);
        limit.GiveBack();
        EXPECT_EQ(100u, g_System.limit.rlim_cur);
        EXPECT_EQ(4096u, g_System.limit.rlim_max);
    }
    // A low hard limit, descriptors open: the free ones shared out.
    SetSystem(50, 120, 40);
    {
        CVLECMDescriptorLimit limit(kFake);
        limit.Raise(5, nPerNetwork, nShared);
        EXPECT_EQ(120u, g_System.limit.rlim_cur);
        int nWantedPer = 0, nWantedShared = 0;
        CVLECMChainScheduler::ShareOut(120 - 40 - kBeside, 6, nWantedPer, nWantedShared);
        EXPECT_EQ(nWantedPer, nPerNetwork);
        EXPECT_EQ(nWantedShared, nShared);
        EXPECT_GT(nShared, 0);
        // Changed since: left alone.
        g_System.limit.rlim_cur = 110;
        limit.GiveBack();
        EXPECT_EQ(110u, g_System.limit.rlim_cur);
    }
    // The raise refused: what the soft limit leaves.
    SetSystem(50, 4096, 12, true);
    {
        CVLECMDescriptorLimit limit(kFake);
        limit.Raise(5, nPerNetwork, nShared);
        EXPECT_TRUE(g_System.sets.empty());
        int nWantedPer = 0, nWantedShared = 0;
        CVLECMChainScheduler::ShareOut(50 - 12 - kBeside, 6, nWantedPer, nWantedShared);
        EXPECT_EQ(nWantedPer, nPerNetwork);
        EXPECT_EQ(nWantedShared, nShared);
        limit.GiveBack();
        EXPECT_TRUE(g_System.sets.empty());
    }
    // Two probes: the limit before the first is the one given back.
    SetSystem(80, 4096, 20);
    {
        CVLECMDescriptorLimit limit(kFake);
        limit.Raise(0, nPerNetwork, nShared);
        limit.Raise(3, nPerNetwork, nShared);
        EXPECT_EQ(2u, g_System.sets.size());
        limit.GiveBack();
        EXPECT_EQ(80u, g_System.limit.rlim_cur);
    }
    // Two device managers of one process: the first's end leaves the limit
    // to the second's running probe, which found it high enough; the last
    // to end gives back the limit before the first raise, whichever raised
    // last; a limit set from outside between raises is the one given back.
    const rlim_t nOne = 20 + kBeside + kEach, nThree = 20 + kBeside + 3 * kEach;
    SetSystem(60, 4096, 20);
    {
        CVLECMDescriptorLimit first(kFake), second(kFake);
        // The second's networks, and the limit its probe runs with.
        const std::pair<int, rlim_t> rows[] = {{0, nOne}, {2, nThree}};
        for (const auto& row : rows) {
            first.Raise(0, nPerNetwork, nShared);
            second.Raise(row.first, nPerNetwork, nShared);
            first.GiveBack();
            EXPECT_EQ(row.second, g_System.limit.rlim_cur) << row.first;
            second.GiveBack();
            EXPECT_EQ(60u, g_System.limit.rlim_cur) << row.first;
        }
        first.Raise(0, nPerNetwork, nShared);
        g_System.limit.rlim_cur = 70;
        second.Raise(0, nPerNetwork, nShared);
        second.GiveBack();
        first.GiveBack();
        EXPECT_EQ(70u, g_System.limit.rlim_cur);
    }
}

// Device managers start and end their probes on threads of their own: the
// count they share is kept under one lock, and the last to end gives back.
TEST(ECMDescriptorLimit, DeviceManagersRaiseAndGiveBackTogether)
{
    CWatchdog watchdog(60, "descriptor limits raised together");
    SetSystem(60, 4096, 20);
    auto manager = [](int nNetworks) {
        for (int i = 0; i < 200; ++i) {
            int nPerNetwork = 0, nShared = 0;
            CVLECMDescriptorLimit limit(kFake);
            limit.Raise(nNetworks, nPerNetwork, nShared);
            limit.GiveBack();
        }
    };
    std::thread one(manager, 0), two(manager, 2);
    one.join();
    two.join();
    EXPECT_EQ(60u, g_System.limit.rlim_cur);
}
