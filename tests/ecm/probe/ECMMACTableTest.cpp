// What the MAC table keeps of the addresses a probe hears for each MAC,
// bounded whatever the network sends.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/core/VLCharset.h"
#include "ecm/probe/VLECMHandOnQueue.h"
#include "ecm/probe/VLECMLocalNetworks.h"
#include "ecm/probe/VLECMMACTable.h"
#include "ecm/probe/VLECMReplyFilter.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "tests/support/ecm/LocalInterfaces.h"

namespace {
CVLString Text(const std::string& str)
{
    return CVLString(str.c_str(), VL_CHARSET_UTF8);
}

std::string Mac(int nNetwork, int n)
{
    char sz[16];
    snprintf(sz, sizeof(sz), "0026AB%02X%04X", nNetwork, n);
    return sz;
}

// Local networks 10.1.0.0/16 ... 10.N.0.0/16.
std::shared_ptr<const CVLECMLocalNetworks> Networks(int nNetworks)
{
    return std::make_shared<const CVLECMLocalNetworks>(LocalInterfaces(nNetworks, 2), std::map<CVLString, CVLString>());
}

// The process's resident memory, in kilobytes (0 when it cannot be read).
long ResidentKilobytes()
{
    long nPages = 0, nResident = 0;
    FILE* pFile = fopen("/proc/self/statm", "r");
    if (pFile == nullptr)
        return 0;
    if (fscanf(pFile, "%ld %ld", &nPages, &nResident) != 2)
        nResident = 0;
    fclose(pFile);
    return nResident * 4;
}
}  // namespace

// Six networks each full to their bound of devices, and 63 hosts on each
// claiming every one of those MACs, twice: each claim is refused, and what
// is kept of them is a count per MAC, the first few by name and the rest
// as numbers, counted once however often they repeat.
TEST(ECMMACTable, ARefusedClaimFloodKeepsACountAndAFewNames)
{
    const int kNetworks = 6, kSources = 63, kDevices = CVLECMReplyFilter::MAX_DEVICES;
    CVLECMMACTable table;
    CVLECMHandOnQueue records(&table);
    CVLECMReplyFilter filter(records, table);
    filter.SetLocalNetworks(Networks(kNetworks));
    const long nBefore = ResidentKilobytes();
    for (int n = 1; n <= kNetworks; ++n) {
        for (int i = 0; i < kDevices; ++i) {
            const std::string strFrom = "10." + std::to_string(n) + ".0." + std::to_string(1 + i / 4);
            ASSERT_TRUE(filter.Admit(Text(Mac(n, i)), Text(strFrom), 1)) << n << " " << i;
        }
    }
    for (int nRound = 0; nRound < 2; ++nRound) {
        for (int n = 1; n <= kNetworks; ++n) {
            for (int s = 0; s < kSources; ++s) {
                const CVLString strFrom = Text("10." + std::to_string(n) + ".1." + std::to_string(1 + s));
                for (int i = 0; i < kDevices; ++i)
                    ASSERT_FALSE(filter.Admit(Text(Mac(n, i)), strFrom, 1));
            }
        }
    }
    const long nGrown = ResidentKilobytes() - nBefore;
    std::printf("refused-claim flood: %d networks x %d MACs x %d sources, resident memory grew by %ld kB\n", kNetworks,
                kDevices, kSources, nGrown);
    size_t nNamed = 0;
    for (int n = 1; n <= kNetworks; ++n) {
        for (int i = 0; i < kDevices; ++i) {
            SVLECMMACState state;
            ASSERT_TRUE(table.GetState(Text(Mac(n, i)), state));
            ASSERT_EQ(static_cast<unsigned long>(kSources), state.nRefused) << Mac(n, i);
            ASSERT_EQ(1u + CVLECMMACTable::MAX_REFUSED_NAMED, state.addresses.size()) << Mac(n, i);
            EXPECT_TRUE(state.bMore);
            EXPECT_EQ(VLECM_MAC_ADDRESS_REFUSED, state.addresses.back().eState);
            EXPECT_EQ(VLECM_BOUND_NETWORK, state.addresses.back().eBound);
            nNamed += state.addresses.size() - 1;
        }
    }
    EXPECT_EQ(static_cast<size_t>(kNetworks * kDevices * CVLECMMACTable::MAX_REFUSED_NAMED), nNamed);
    // The end of the probe reads what is kept, not a record per refusal
    // counted (some 190,000 here).
    bool bMore = false;
    const long nBeforeAll = ResidentKilobytes();
    EXPECT_EQ(static_cast<size_t>(kNetworks * kDevices * (1 + CVLECMMACTable::MAX_REFUSED_NAMED)),
              table.GetAll(bMore).size());
    EXPECT_TRUE(bMore);
    EXPECT_EQ(static_cast<unsigned long>(kNetworks * kDevices * (kSources - CVLECMMACTable::MAX_REFUSED_NAMED)),
              table.GetCountedRefusalCount());
    std::printf("the end of that probe's read of every address heard grew resident memory by %ld kB\n",
                ResidentKilobytes() - nBeforeAll);
    // A refused address is still found by its address, with its MAC.
    std::vector<SVLECMHeardAddress> found = table.FindAddress(Text("10.3.1.63"));
    ASSERT_EQ(static_cast<size_t>(kDevices), found.size());
    EXPECT_EQ(VLECM_MAC_ADDRESS_REFUSED, found.front().address.eState);
}

// Hosts that claim every MAC from ever new addresses: the numbers kept to
// count each address once are bounded for the whole table, not only per
// MAC; what was counted before the bound still counts once.
TEST(ECMMACTable, ClaimsFromEverNewAddressesKeepBoundedNumbers)
{
    const int kNetworks = 6, kSources = 100, kDevices = CVLECMReplyFilter::MAX_DEVICES;
    static_assert(kNetworks * kDevices * kSources > CVLECMMACTable::MAX_COUNTED_ADDRESSES, "beyond the bound");
    CVLECMMACTable table;
    CVLECMHandOnQueue records(&table);
    CVLECMReplyFilter filter(records, table);
    filter.SetLocalNetworks(Networks(kNetworks));
    auto from = [](int n, int nIndex) {
        return Text("10." + std::to_string(n) + "." + std::to_string(1 + nIndex / 256) + "." +
                    std::to_string(nIndex % 256));
    };
    for (int n = 1; n <= kNetworks; ++n) {
        for (int i = 0; i < kDevices; ++i) {
            const CVLString strFrom = Text("10." + std::to_string(n) + ".0." + std::to_string(1 + i / 4));
            ASSERT_TRUE(filter.Admit(Text(Mac(n, i)), strFrom, 1));
        }
    }
    for (int n = 1; n <= kNetworks; ++n) {
        for (int i = 0; i < kDevices; ++i) {
            for (int s = 0; s < kSources; ++s)
                ASSERT_FALSE(filter.Admit(Text(Mac(n, i)), from(n, i * kSources + s), 1));
        }
    }
    EXPECT_LE(table.GetCountedAddressCount(), static_cast<size_t>(CVLECMMACTable::MAX_COUNTED_ADDRESSES));
    // The first MAC's addresses were all counted: a repeat adds nothing.
    ASSERT_FALSE(filter.Admit(Text(Mac(1, 0)), from(1, 7), 1));
    SVLECMMACState state;
    ASSERT_TRUE(table.GetState(Text(Mac(1, 0)), state));
    EXPECT_EQ(static_cast<unsigned long>(kSources), state.nRefused);
    ASSERT_TRUE(table.GetState(Text(Mac(kNetworks, kDevices - 1)), state));
    EXPECT_TRUE(state.bMore);
    // Past the bound no number was held for the last MAC, whatever the
    // counter says: a repeat of its address is counted again.
    const unsigned long nRefused = state.nRefused;
    ASSERT_FALSE(filter.Admit(Text(Mac(kNetworks, kDevices - 1)), from(kNetworks, kDevices * kSources - 1), 1));
    ASSERT_TRUE(table.GetState(Text(Mac(kNetworks, kDevices - 1)), state));
    EXPECT_EQ(nRefused + 1, state.nRefused);
    table.Reset();
    EXPECT_EQ(0u, table.GetCountedAddressCount());
}

// What a client reads at the end of a flood costs what is kept, not what
// was counted: the refused addresses only counted stay a number; a MAC is
// read without its addresses; what changed is only what changed.
TEST(ECMMACTable, ClientsReadWhatIsKeptAndOnlyWhatChanged)
{
    const int kDevices = 8, kSources = 40;
    CVLECMMACTable table;
    CVLECMHandOnQueue records(&table);
    CVLECMReplyFilter filter(records, table);
    filter.SetLocalNetworks(Networks(1));
    filter.SetDeviceBound(kDevices);
    for (int i = 0; i < kDevices; ++i)
        ASSERT_TRUE(filter.Admit(Text(Mac(1, i)), Text("10.1.0." + std::to_string(1 + i)), 1));
    for (int s = 0; s < kSources; ++s) {
        for (int i = 0; i < kDevices; ++i)
            ASSERT_FALSE(filter.Admit(Text(Mac(1, i)), Text("10.1.1." + std::to_string(1 + s)), 1));
    }
    bool bMore = false;
    std::vector<SVLECMHeardAddress> all = table.GetAll(bMore);
    EXPECT_TRUE(bMore);
    EXPECT_EQ(static_cast<size_t>(kDevices * (1 + CVLECMMACTable::MAX_REFUSED_NAMED)), all.size());
    EXPECT_EQ(static_cast<unsigned long>(kDevices * (kSources - CVLECMMACTable::MAX_REFUSED_NAMED)),
              table.GetCountedRefusalCount());

    SVLECMMACSummary summary;
    ASSERT_TRUE(table.GetSummary(Text(Mac(1, 3)), summary));
    EXPECT_EQ(Mac(1, 3), std::string(summary.strMAC.GetBuffer()));
    EXPECT_EQ(1u, summary.nKept);
    EXPECT_EQ(1u, summary.nPending);
    EXPECT_EQ(static_cast<unsigned long>(kSources), summary.nRefused);
    EXPECT_TRUE(summary.bMore);
    EXPECT_FALSE(summary.bReported);
    EXPECT_FALSE(table.GetSummary(Text(Mac(2, 0)), summary));

    // Two MACs change after nSeen, one of them twice: each named once.
    const unsigned long nSeen = table.GetChangeCount();
    EXPECT_TRUE(table.GetChangedSince(nSeen).empty());
    ASSERT_FALSE(filter.Admit(Text(Mac(1, 5)), Text("10.1.2.1"), 1));
    ASSERT_FALSE(filter.Admit(Text(Mac(1, 2)), Text("10.1.2.1"), 1));
    ASSERT_FALSE(filter.Admit(Text(Mac(1, 5)), Text("10.1.2.2"), 1));
    std::vector<CVLString> changed = table.GetChangedSince(nSeen);
    ASSERT_EQ(2u, changed.size());
    EXPECT_EQ(Mac(1, 2), std::string(changed[0].GetBuffer()));
    EXPECT_EQ(Mac(1, 5), std::string(changed[1].GetBuffer()));
    EXPECT_EQ(1u, table.GetChangedSince(table.GetChangeCount() - 1).size());
}

namespace {
SVLECMReplyKey Key(const std::string& strMAC, const std::string& strFrom)
{
    SVLECMReplyKey key;
    key.strMAC = Text(strMAC);
    key.strAddress = Text(strFrom);
    return key;
}

// How the address stands in the table, as a line to compare.
std::string StateOf(CVLECMMACTable& table, const std::string& strMAC, const std::string& strFrom)
{
    SVLECMMACState state;
    if (!table.GetState(Text(strMAC), state))
        return "unknown MAC";
    for (const SVLECMMACAddress& address : state.addresses) {
        if (std::string(address.strAddress.GetBuffer()) == strFrom)
            return std::to_string(address.eState) + " " + std::to_string(address.eBound) + " " +
                   std::to_string(address.nBound) + " " + std::string(address.strNetwork.GetBuffer());
    }
    return "not heard";
}
}  // namespace

// A claim a bound refused is kept the same whether its MAC was admitted
// before it or after: refused, with its bound, and refused again.
TEST(ECMMACTable, ARefusedClaimIsTheSameBeforeAndAfterItsMACIsAdmitted)
{
    std::string strStates[2];
    for (int nOrder = 0; nOrder < 2; ++nOrder) {
        CVLECMMACTable table;
        CVLECMHandOnQueue records(&table);
        CVLECMReplyFilter filter(records, table);
        filter.SetLocalNetworks(Networks(2));
        filter.SetDeviceBound(1);
        ASSERT_TRUE(filter.Admit(Text(Mac(1, 1)), Text("10.1.0.5"), 1));
        // The claim on the full network, before or after its MAC is
        // admitted on the other one.
        if (nOrder == 0) {
            EXPECT_FALSE(filter.Admit(Text(Mac(1, 2)), Text("10.1.0.6"), 1));
        }
        EXPECT_TRUE(filter.Admit(Text(Mac(1, 2)), Text("10.2.0.6"), 1));
        if (nOrder == 1) {
            EXPECT_FALSE(filter.Admit(Text(Mac(1, 2)), Text("10.1.0.6"), 1));
        }
        strStates[nOrder] = StateOf(table, Mac(1, 2), "10.1.0.6");
        EXPECT_FALSE(filter.Admit(Text(Mac(1, 2)), Text("10.1.0.6"), 2)) << nOrder;
        SVLECMMACSummary summary;
        ASSERT_TRUE(table.GetSummary(Text(Mac(1, 2)), summary));
        EXPECT_EQ(1u, summary.nRefused) << nOrder;
        EXPECT_EQ(1u, summary.nKept) << nOrder;
    }
    EXPECT_EQ(std::to_string(VLECM_MAC_ADDRESS_REFUSED) + " " + std::to_string(VLECM_BOUND_NETWORK) + " 1 10.1.0.0/16",
              strStates[0]);
    EXPECT_EQ(strStates[0], strStates[1]);
}

// The pairs kept beyond the kept addresses are bounded for the whole
// probe, and an address heard again beyond them counts once.
TEST(ECMMACTable, PairsBeyondTheKeptAddressesAreBoundedAndCountedOnce)
{
    CVLECMMACTable table;
    const int kKept = CVLECMMACTable::MAX_ADDRESSES_PER_MAC, kBeyond = 60;
    const int kMACs = CVLECMMACTable::MAX_BEYOND / kBeyond + 2;
    for (int m = 0; m < kMACs; ++m) {
        for (int i = 0; i < kKept + kBeyond; ++i) {
            const SVLECMReplyKey key =
                Key(Mac(1, m), "10.5." + std::to_string(i / 200) + "." + std::to_string(i % 200));
            if (table.Hear(key) == CVLECMMACTable::HEARD_NEW)
                table.Keep(key);
        }
    }
    size_t nPairs = 0;
    bool bAnyMore = false;
    for (int m = 0; m < kMACs; ++m) {
        SVLECMMACState state;
        ASSERT_TRUE(table.GetState(Text(Mac(1, m)), state));
        EXPECT_EQ(static_cast<unsigned long>(kBeyond), state.nBeyond) << m;
        nPairs += state.addresses.size() - kKept;
        bAnyMore = bAnyMore || state.bMore;
    }
    EXPECT_EQ(static_cast<size_t>(CVLECMMACTable::MAX_BEYOND), nPairs);
    EXPECT_TRUE(bAnyMore);
    // Heard again: counted once, for a pair kept and for one only counted.
    for (int m : {0, kMACs - 1}) {
        const SVLECMReplyKey key = Key(Mac(1, m), "10.5.0." + std::to_string(kKept + 1));
        EXPECT_EQ(CVLECMMACTable::HEARD_BEYOND, table.Hear(key));
        SVLECMMACSummary summary;
        ASSERT_TRUE(table.GetSummary(Text(Mac(1, m)), summary));
        EXPECT_EQ(static_cast<unsigned long>(kBeyond), summary.nBeyond) << m;
    }
}

// Every step a client waits on moves the change count; a lost reply heard
// again makes its MAC pending again, though another address passed.
TEST(ECMMACTable, EveryStepMovesTheChangeCountAndALostReplyHeardAgainIsPending)
{
    CVLECMMACTable table;
    table.SetFirstCommand(VLECM_COMMAND_GET_LIST_INFO);
    CVLECMNIFInfo device, other;
    const std::string strMAC = Mac(1, 1);
    const SVLECMReplyKey deviceKey = Key(strMAC, "10.1.0.1"), otherKey = Key(strMAC, "10.1.0.2");
    unsigned long nSeen = table.GetChangeCount();
    auto moved = [&]() {
        const unsigned long nNow = table.GetChangeCount();
        const bool bMoved = nNow != nSeen;
        nSeen = nNow;
        return bMoved;
    };
    table.Keep(deviceKey);
    EXPECT_TRUE(moved());
    table.Keep(otherKey);
    EXPECT_TRUE(moved());
    ASSERT_TRUE(table.Attach(deviceKey, &device, Text("M")));
    EXPECT_TRUE(moved());
    CVLECMMACTable::SNext next = table.BeginChain(&device, Text(""));
    ASSERT_EQ(1u, next.starts.size());
    EXPECT_TRUE(moved());
    next =
        table.CheckEnded(&device, true, VLECM_MAC_FAILURE_NONE, VLECM_RESULT_SUCCESS, 0, false);
    EXPECT_TRUE(moved());
    ASSERT_EQ(1u, next.starts.size());
    EXPECT_EQ(&device, next.starts[0].pRecord);
    EXPECT_EQ(VLECM_COMMAND_GET_LIST_INFO, next.starts[0].eCommand);
    next = table.CommandEnded(&device, VLECM_COMMAND_GET_LIST_INFO, VLECM_RESULT_SUCCESS, 0);
    EXPECT_TRUE(moved());
    // Handed on at the end of its chain, the other address still heard.
    EXPECT_EQ(&device, next.pReport);
    EXPECT_EQ(1, table.GetPendingCount());
    table.ReplyLost(otherKey);
    EXPECT_TRUE(moved());
    SVLECMMACSummary summary;
    ASSERT_TRUE(table.GetSummary(Text(strMAC), summary));
    EXPECT_EQ(VLECM_MAC_ONE, summary.eVerdict);
    EXPECT_EQ(0, table.GetPendingCount());
    // Heard again: pending until judged, and never handed on twice.
    table.Keep(otherKey);
    EXPECT_TRUE(moved());
    ASSERT_TRUE(table.GetSummary(Text(strMAC), summary));
    EXPECT_EQ(VLECM_MAC_PENDING, summary.eVerdict);
    EXPECT_EQ(1, table.GetPendingCount());
    ASSERT_TRUE(table.Attach(otherKey, &other, Text("M")));
    ASSERT_EQ(1u, table.BeginChain(&other, Text("")).starts.size());
    next = table.CheckEnded(&other, true, VLECM_MAC_FAILURE_NONE, VLECM_RESULT_SUCCESS, 0, false);
    EXPECT_TRUE(moved());
    next = table.CommandEnded(&other, VLECM_COMMAND_GET_LIST_INFO, VLECM_RESULT_SUCCESS, 0);
    EXPECT_TRUE(moved());
    EXPECT_EQ(nullptr, next.pReport);
    // The record handed on is marked in conflict, naming the other.
    EXPECT_EQ(&device, next.pMark);
    EXPECT_TRUE(next.bConflict);
    EXPECT_EQ("10.1.0.2", std::string(next.strOtherPassed.GetBuffer()));
    ASSERT_TRUE(table.GetSummary(Text(strMAC), summary));
    EXPECT_EQ(VLECM_MAC_CONFLICT, summary.eVerdict);
    EXPECT_TRUE(summary.bConflictMarked);
    table.Detach(&device);
    table.Detach(&other);
}

namespace {
// The claimants' addresses, on none of the computer's networks.
std::string OffNetwork(int n)
{
    return "192.0." + std::to_string(2 + n / 250) + "." + std::to_string(1 + n % 250);
}
}  // namespace

// Hosts that claim a MAC from addresses no check can reach fill only the
// places of their own: the device, and every address on the computer's
// networks up to the places kept, is admitted after any number of them,
// and those beyond are said but counted apart, as hiding no device.
TEST(ECMMACTable, UnreachableClaimantsTakeNoPlaceOfAnAddressThatCanBeChecked)
{
    const int kKept = CVLECMMACTable::MAX_ADDRESSES_PER_MAC, kClaims = 1000;
    CVLECMMACTable table;
    CVLECMHandOnQueue records(&table);
    CVLECMReplyFilter filter(records, table);
    filter.SetLocalNetworks(Networks(2));
    const std::string strMAC = Mac(1, 7);
    for (int i = 0; i < kClaims; ++i)
        ASSERT_EQ(i < kKept, filter.Admit(Text(strMAC), Text(OffNetwork(i)), 1)) << i;
    // The device, then as many more addresses of the computer's networks.
    EXPECT_TRUE(filter.Admit(Text(strMAC), Text("10.1.0.5"), 1));
    for (int i = 1; i <= kKept; ++i)
        ASSERT_EQ(i < kKept, filter.Admit(Text(strMAC), Text("10.2.0." + std::to_string(i)), 1)) << i;
    SVLECMMACSummary summary;
    ASSERT_TRUE(table.GetSummary(Text(strMAC), summary));
    EXPECT_EQ(static_cast<unsigned long>(2 * kKept), summary.nKept);
    EXPECT_EQ(static_cast<unsigned long>(kClaims - kKept + 1), summary.nBeyond);
    EXPECT_EQ(static_cast<unsigned long>(kClaims - kKept), summary.nBeyondOffNetwork);
    EXPECT_FALSE(summary.bMore);
    std::vector<SVLECMHeardAddress> found = table.FindAddress(Text(OffNetwork(kClaims - 1)));
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(VLECM_MAC_ADDRESS_BEYOND, found[0].address.eState);
    EXPECT_TRUE(found[0].address.bOffNetwork);
    found = table.FindAddress(Text("10.2.0." + std::to_string(kKept)));
    ASSERT_EQ(1u, found.size());
    EXPECT_FALSE(found[0].address.bOffNetwork);
    found = table.FindAddress(Text(OffNetwork(0)));
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(VLECM_MAC_ADDRESS_HEARD, found[0].address.eState);
    EXPECT_TRUE(found[0].address.bOffNetwork);
}

// Beyond the pairs kept for the whole probe, unreachable claimants are only
// counted, and do not say that addresses went unchecked: one that could
// have been checked does.
TEST(ECMMACTable, UnreachableClaimantsOnlyCountedHideNothing)
{
    const int kKept = CVLECMMACTable::MAX_ADDRESSES_PER_MAC, kBeyond = CVLECMMACTable::MAX_BEYOND + 10;
    CVLECMMACTable table;
    const std::string strMAC = Mac(1, 8);
    for (int i = 0; i < kKept + kBeyond; ++i) {
        const SVLECMReplyKey key = Key(strMAC, OffNetwork(i));
        if (table.Hear(key, false) == CVLECMMACTable::HEARD_NEW) {
            ASSERT_TRUE(table.Keep(key, 0, false)) << i;
        }
    }
    SVLECMMACState state;
    ASSERT_TRUE(table.GetState(Text(strMAC), state));
    EXPECT_EQ(static_cast<unsigned long>(kBeyond), state.nBeyond);
    EXPECT_EQ(state.nBeyond, state.nBeyondOffNetwork);
    EXPECT_FALSE(state.bMore);
    for (int i = 0; i <= kKept; ++i) {
        const SVLECMReplyKey key = Key(strMAC, "10.1.0." + std::to_string(1 + i));
        ASSERT_EQ(i < kKept ? CVLECMMACTable::HEARD_NEW : CVLECMMACTable::HEARD_BEYOND, table.Hear(key)) << i;
        if (i < kKept) {
            ASSERT_TRUE(table.Keep(key)) << i;
        }
    }
    ASSERT_TRUE(table.GetState(Text(strMAC), state));
    EXPECT_EQ(static_cast<unsigned long>(kBeyond + 1), state.nBeyond);
    EXPECT_TRUE(state.bMore);
}

// The address the user named is admitted beyond its network's bound, a
// new MAC or a further address of one, on a local network and on none; its
// source's bound still holds, and every other address stays refused.
TEST(ECMMACTable, TheNamedAddressIsAdmittedBeyondItsNetworksBound)
{
    const int kDevices = CVLECMReplyFilter::MAX_DEVICES;
    CVLECMMACTable table;
    CVLECMHandOnQueue records(&table);
    CVLECMReplyFilter filter(records, table);
    filter.SetLocalNetworks(Networks(2));
    const std::string strNamed[2] = {"10.1.3.250", OffNetwork(700)};
    const std::string strFill[2] = {"10.1.0.", "192.0.2."};
    for (int n = 0; n < 2; ++n) {
        table.SetNamedAddress(Text(strNamed[n]));
        // Hosts fill the network's bound before the device answers.
        for (int i = 0; i < kDevices; ++i)
            ASSERT_TRUE(filter.Admit(Text(Mac(10 + n, i)), Text(strFill[n] + std::to_string(1 + i / 4)), 1)) << i;
        EXPECT_FALSE(filter.Admit(Text(Mac(12, n)), Text(strFill[n] + "200"), 1)) << n;
        EXPECT_TRUE(filter.Admit(Text(Mac(13, n)), Text(strNamed[n]), 1)) << n;
        // A MAC admitted on the other network, then heard from the named
        // address: a further address of it, admitted as well.
        EXPECT_TRUE(filter.Admit(Text(Mac(14, n)), Text("10.2.0.9"), 1)) << n;
        EXPECT_FALSE(filter.Admit(Text(Mac(14, n)), Text(strFill[n] + "201"), 1)) << n;
        EXPECT_TRUE(filter.Admit(Text(Mac(14, n)), Text(strNamed[n]), 1)) << n;
        for (int i = 2; i < CVLECMReplyFilter::MAX_MACS_PER_SOURCE; ++i)
            EXPECT_TRUE(filter.Admit(Text(Mac(15, 4 * n + i)), Text(strNamed[n]), 1)) << n << " " << i;
        EXPECT_FALSE(filter.Admit(Text(Mac(16, n)), Text(strNamed[n]), 1)) << n;
        SVLECMMACState state;
        ASSERT_TRUE(table.GetState(Text(Mac(16, n)), state));
        ASSERT_EQ(1u, state.addresses.size());
        EXPECT_EQ(VLECM_BOUND_SOURCE, state.addresses[0].eBound) << n;
    }
}

// Addresses on none of the computer's networks decide nothing for a MAC,
// however they were kept or dropped: 600 invented devices from as many
// such sources fill that bound, and the device's MAC then heard from one
// of them (before the device, or after it) is only said. Once a MAC keeps
// its addresses on the computer's networks, those on none still have
// places of their own; refusals on the networks still count.
TEST(ECMMACTable, OffNetworkAddressesDecideNothingForAMAC)
{
    const int kInvented = 600, kKept = CVLECMMACTable::MAX_ADDRESSES_PER_MAC;
    CVLECMMACTable table;
    CVLECMHandOnQueue records(&table);
    CVLECMReplyFilter filter(records, table);
    filter.SetLocalNetworks(Networks(2));
    const std::string strListed = Mac(1, 1), strLater = Mac(1, 2);
    EXPECT_TRUE(filter.Admit(Text(strListed), Text("10.1.0.5"), 1));
    for (int i = 0; i < kInvented; ++i)
        ASSERT_EQ(i < CVLECMReplyFilter::MAX_DEVICES, filter.Admit(Text(Mac(20, i)), Text(OffNetwork(i)), 1)) << i;
    EXPECT_FALSE(filter.Admit(Text(strListed), Text(OffNetwork(kInvented)), 1));
    EXPECT_FALSE(filter.Admit(Text(strLater), Text(OffNetwork(kInvented + 1)), 1));
    EXPECT_TRUE(filter.Admit(Text(strLater), Text("10.1.0.6"), 1));
    for (const std::string& strMAC : {strListed, strLater}) {
        SVLECMMACState state;
        ASSERT_TRUE(table.GetState(Text(strMAC), state));
        ASSERT_EQ(2u, state.addresses.size()) << strMAC;
        EXPECT_EQ(VLECM_MAC_ADDRESS_REFUSED, state.addresses[1].eState) << strMAC;
        EXPECT_TRUE(state.addresses[1].bOffNetwork) << strMAC;
        EXPECT_EQ(1u, state.nRefusedOffNetwork) << strMAC;
        EXPECT_FALSE(state.bMore) << strMAC;
    }
    // Many refused on none of the networks: named up to their own places,
    // counted apart; one on a network still has its named place, and more
    // of those than are named say that the device cannot be told.
    const SVLECMReplyKey listed = Key(strListed, "10.1.0.5");
    for (int i = 1; i <= 10; ++i)
        table.Refuse(Key(strListed, OffNetwork(kInvented + 1 + i)), VLECM_BOUND_NETWORK, 512, Text(""));
    table.Refuse(Key(strListed, "10.2.0.7"), VLECM_BOUND_SOURCE, 4, Text("10.2.0.0/16"));
    SVLECMMACSummary summary;
    ASSERT_TRUE(table.GetSummary(listed.strMAC, summary));
    EXPECT_EQ(12u, summary.nRefused);
    EXPECT_EQ(11u, summary.nRefusedOffNetwork);
    EXPECT_FALSE(summary.bMore);
    std::vector<SVLECMHeardAddress> found = table.FindAddress(Text("10.2.0.7"));
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(VLECM_MAC_ADDRESS_REFUSED, found[0].address.eState);
    for (int i = 8; i < 8 + CVLECMMACTable::MAX_REFUSED_NAMED; ++i)
        table.Refuse(Key(strListed, "10.2.0." + std::to_string(i)), VLECM_BOUND_SOURCE, 4, Text("10.2.0.0/16"));
    ASSERT_TRUE(table.GetSummary(listed.strMAC, summary));
    EXPECT_TRUE(summary.bMore);
    // One on a network kept after all: its refusal goes, none of those on
    // none of them.
    ASSERT_TRUE(table.Keep(Key(strListed, "10.2.0.7")));
    ASSERT_TRUE(table.GetSummary(listed.strMAC, summary));
    EXPECT_EQ(11u, summary.nRefusedOffNetwork);
    // More refused on none of the networks than can be counted tell nothing.
    for (int i = 0; i <= CVLECMMACTable::MAX_REFUSED_COUNTED; ++i)
        table.Refuse(Key(strLater, OffNetwork(kInvented + 20 + i)), VLECM_BOUND_NETWORK, 512, Text(""));
    ASSERT_TRUE(table.GetSummary(Text(strLater), summary));
    EXPECT_FALSE(summary.bMore);
    // Off-network addresses once 64 on-network ones are kept: kept in
    // places of their own, then said as beyond, hiding nothing.
    CVLECMMACTable fresh;
    CVLECMHandOnQueue freshRecords(&fresh);
    CVLECMReplyFilter freshFilter(freshRecords, fresh);
    freshFilter.SetLocalNetworks(Networks(2));
    const std::string strFull = Mac(1, 3);
    for (int i = 0; i < kKept; ++i)
        ASSERT_TRUE(freshFilter.Admit(Text(strFull), Text("10.2.1." + std::to_string(1 + i)), 1)) << i;
    for (int i = 0; i < kKept + 5; ++i)
        ASSERT_EQ(i < kKept, freshFilter.Admit(Text(strFull), Text(OffNetwork(1000 + i)), 1)) << i;
    ASSERT_TRUE(fresh.GetSummary(Text(strFull), summary));
    EXPECT_EQ(static_cast<unsigned long>(2 * kKept), summary.nKept);
    EXPECT_EQ(5u, summary.nBeyondOffNetwork);
    EXPECT_EQ(summary.nBeyond, summary.nBeyondOffNetwork);
    EXPECT_FALSE(summary.bMore);
}

// The MAC the user names goes beyond its network's bound and its source's,
// which hosts can fill before the device answers; other MACs stay refused.
TEST(ECMMACTable, TheNamedMACIsAdmittedBeyondItsNetworksAndItsSourcesBounds)
{
    CVLECMMACTable table;
    CVLECMHandOnQueue records(&table);
    CVLECMReplyFilter filter(records, table);
    filter.SetLocalNetworks(Networks(2));
    filter.SetDeviceBound(1);
    const std::string strNamed = Mac(3, 1);
    table.SetNamedMAC(Text(strNamed));
    EXPECT_TRUE(filter.Admit(Text(Mac(3, 0)), Text("10.1.0.5"), 1));
    EXPECT_FALSE(filter.Admit(Text(Mac(3, 9)), Text("10.1.0.6"), 1));
    EXPECT_TRUE(filter.Admit(Text(strNamed), Text("10.1.0.7"), 1));
    // Four MACs from one address of the other network, then the named one.
    filter.SetDeviceBound(CVLECMReplyFilter::MAX_DEVICES);
    for (int i = 0; i < CVLECMReplyFilter::MAX_MACS_PER_SOURCE; ++i)
        ASSERT_TRUE(filter.Admit(Text(Mac(4, i)), Text("10.2.0.9"), 1)) << i;
    EXPECT_FALSE(filter.Admit(Text(Mac(4, 9)), Text("10.2.0.9"), 1));
    EXPECT_TRUE(filter.Admit(Text(strNamed), Text("10.2.0.9"), 1));
    // Named after its address was refused: the refusal no longer stands.
    EXPECT_FALSE(filter.Admit(Text(Mac(3, 0)), Text("10.2.0.9"), 1));
    table.SetNamedMAC(Text(Mac(3, 0)));
    EXPECT_TRUE(filter.Admit(Text(Mac(3, 0)), Text("10.2.0.9"), 1));
    SVLECMMACState state;
    ASSERT_TRUE(table.GetState(Text(Mac(3, 0)), state));
    EXPECT_EQ(2u, state.addresses.size());
    EXPECT_EQ(0u, state.nRefused);
    EXPECT_FALSE(state.bMore);
}

// Forged replies from the named address fill its source's bound before the
// device answers: the named address is asked which MAC answers there, one
// ask at a time, again each round until it is answered or its request
// refused (another source's bound takes no ask), and the MACs that answer
// alone are admitted from it beyond the bound, until a new probe: a second
// tells of two hosts.
TEST(ECMMACTable, TheMACThatAnswersTheNamedAddressGoesBeyondItsSourcesBound)
{
    CVLECMMACTable table;
    CVLECMHandOnQueue records(&table);
    CVLECMReplyFilter filter(records, table);
    filter.SetLocalNetworks(Networks(2));
    int nAsked = 0;
    filter.SetNamedBoundListener([&nAsked]() { ++nAsked; });
    const std::string strNamed = "10.1.0.20", strDevice = Mac(5, 64), strOther = "10.1.0.30";
    table.SetNamedAddress(Text(strNamed));
    for (int nProbe = 0; nProbe < 2; ++nProbe) {
        for (int i = 0; i <= CVLECMReplyFilter::MAX_MACS_PER_SOURCE; ++i)
            filter.Admit(Text(Mac(6, i)), Text(strOther), 1);
        EXPECT_EQ(2 * nProbe, nAsked) << "another source's bound took the ask";
        EXPECT_FALSE(filter.TakeNamedAsk());
        for (int i = 0; i < 64; ++i)
            ASSERT_EQ(i < CVLECMReplyFilter::MAX_MACS_PER_SOURCE, filter.Admit(Text(Mac(5, i)), Text(strNamed), 1))
                << i;
        EXPECT_FALSE(filter.Admit(Text(strDevice), Text(strNamed), 1));
        EXPECT_EQ(2 * nProbe + 1, nAsked);
        EXPECT_FALSE(filter.TakeNamedAsk());
        // Unanswered, it is asked again: by the next refusal or round.
        filter.NamedAskEnded();
        EXPECT_FALSE(filter.Admit(Text(Mac(5, 9)), Text(strNamed), 1));
        EXPECT_EQ(2 * nProbe + 2, nAsked);
        filter.NamedAskEnded();
        EXPECT_TRUE(filter.TakeNamedAsk());
        // Refused before it left, it is asked no more, until a new probe.
        if (nProbe == 0) {
            filter.NamedAskEnded(VLECM_RESULT_NOT_SUPPORTED, "refused");
            EXPECT_FALSE(filter.TakeNamedAsk());
            EXPECT_EQ("refused", filter.GetNamedAnswers().strRefusal);
        }
        // An answer for an address no longer named counts for nothing.
        filter.SetNamedAnswer(Text("10.1.0.21"), Text(strDevice));
        EXPECT_FALSE(filter.Admit(Text(strDevice), Text(strNamed), 1));
        filter.SetNamedAnswer(Text(strNamed), Text(strDevice));
        filter.SetNamedAnswer(Text(strNamed), Text(strDevice));
        filter.SetNamedAnswer(Text(strNamed), Text(Mac(5, 62)));
        filter.SetNamedAnswer(Text(strNamed), Text(Mac(5, 63)));
        filter.NamedAskEnded();
        EXPECT_TRUE(filter.Admit(Text(strDevice), Text(strNamed), 1));
        EXPECT_TRUE(filter.Admit(Text(Mac(5, 62)), Text(strNamed), 1));
        EXPECT_FALSE(filter.Admit(Text(Mac(5, 63)), Text(strNamed), 1));
        EXPECT_EQ(std::vector<CVLString>({Text(strDevice), Text(Mac(5, 62))}), filter.GetNamedAnswers().answers);
        // Answered, it is asked no more.
        EXPECT_FALSE(filter.TakeNamedAsk());
        EXPECT_EQ(2 * nProbe + 2, nAsked);
        SVLECMMACState state;
        ASSERT_TRUE(table.GetState(Text(strDevice), state));
        ASSERT_EQ(1u, state.addresses.size());
        EXPECT_EQ(VLECM_MAC_ADDRESS_HEARD, state.addresses[0].eState);
        EXPECT_EQ(0u, state.nRefused);
        records.Reset();
        filter.Reset();
        EXPECT_TRUE(filter.GetNamedAnswers().answers.empty());
    }
}

// A MAC's summary counts, of its failed addresses, those that did not
// answer unicast apart from one whose commands failed after it did and one
// that answered its check with another MAC: the client reads the addresses
// of a MAC only where one may have answered unicast.
TEST(ECMMACTable, TheSummaryCountsTheAddressesThatDidNotAnswerUnicast)
{
    CVLECMMACTable table;
    table.SetFirstCommand(VLECM_COMMAND_GET_LIST_INFO);
    const std::string strMAC = Mac(1, 2);
    CVLECMNIFInfo silent, failing, other;
    const struct
    {
        CVLECMNIFInfo* pRecord;
        const char* szAddress;
    } kAddresses[] = {{&silent, "10.1.0.1"}, {&failing, "10.1.0.2"}, {&other, "10.1.0.3"}};
    for (const auto& address : kAddresses) {
        table.Keep(Key(strMAC, address.szAddress));
        ASSERT_TRUE(table.Attach(Key(strMAC, address.szAddress), address.pRecord, Text("M")));
        table.BeginChain(address.pRecord, Text(""));
    }
    SVLECMMACSummary summary;
    ASSERT_TRUE(table.GetSummary(Text(strMAC), summary));
    EXPECT_EQ(3u, summary.nPending);
    table.CheckEnded(&silent, false, VLECM_MAC_FAILURE_NOT_UNICAST, VLECM_RESULT_TIMEOUT, 0, false);
    table.CheckEnded(&failing, true, VLECM_MAC_FAILURE_NONE, VLECM_RESULT_SUCCESS, 0, false);
    table.CommandEnded(&failing, VLECM_COMMAND_GET_LIST_INFO, VLECM_RESULT_DEVICE_ERROR, 0xF001);
    table.CheckEnded(&other, false, VLECM_MAC_FAILURE_CHECK, VLECM_RESULT_TIMEOUT, 0, true);
    ASSERT_TRUE(table.GetSummary(Text(strMAC), summary));
    EXPECT_EQ(0u, summary.nPending);
    EXPECT_EQ(3u, summary.nFailed);
    EXPECT_EQ(1u, summary.nNotUnicast);
    EXPECT_EQ(VLECM_MAC_NONE, summary.eVerdict);
    for (const auto& address : kAddresses)
        table.Detach(address.pRecord);
}

// A kept address on none of the computer's networks, pending or judged,
// neither holds its MAC's verdict nor makes it a conflict, the unicast
// filter on or off, nor is handed on, while the MAC has an address on
// them; it is still named. A MAC heard only there is judged by those.
TEST(ECMMACTable, AKeptOffNetworkAddressNeitherHoldsNorSplitsItsMAC)
{
    for (int nCase = 0; nCase < 4; ++nCase) {
        CVLECMMACTable table;
        table.SetFirstCommand(VLECM_COMMAND_GET_LIST_INFO);
        CVLECMNIFInfo device, claimant;
        const std::string strMAC = Mac(6, nCase);
        const SVLECMReplyKey deviceKey = Key(strMAC, "10.1.0.5"), claimantKey = Key(strMAC, OffNetwork(nCase));
        // The claimant first, in case 2 judged before the device is heard.
        ASSERT_TRUE(table.Keep(claimantKey, 0, false));
        ASSERT_TRUE(table.Attach(claimantKey, &claimant, Text("M")));
        ASSERT_EQ(1u, table.BeginChain(&claimant, Text("")).starts.size());
        if (nCase == 2) {
            table.CheckEnded(&claimant, false, VLECM_MAC_FAILURE_NOT_UNICAST, VLECM_RESULT_SUCCESS, 0, false);
            SVLECMMACSummary alone;
            ASSERT_TRUE(table.GetSummary(Text(strMAC), alone));
            EXPECT_EQ(VLECM_MAC_ONE, alone.eVerdict);
        }
        ASSERT_TRUE(table.Keep(deviceKey));
        ASSERT_TRUE(table.Attach(deviceKey, &device, Text("M")));
        ASSERT_EQ(1u, table.BeginChain(&device, Text("10.1.0.0/16")).starts.size());
        CVLECMMACTable::SNext next;
        if (nCase == 3) {
            // Answering unicast (a route leads there), it passes first.
            table.CheckEnded(&claimant, true, VLECM_MAC_FAILURE_NONE, VLECM_RESULT_SUCCESS, 0, false);
            EXPECT_EQ(nullptr, table.CommandEnded(&claimant, VLECM_COMMAND_GET_LIST_INFO, VLECM_RESULT_SUCCESS, 0)
                                   .pReport);
        }
        if (nCase == 0 || nCase == 3) {
            // The device passes (in case 0 while the claimant's check runs).
            table.CheckEnded(&device, true, VLECM_MAC_FAILURE_NONE, VLECM_RESULT_SUCCESS, 0, false);
            next = table.CommandEnded(&device, VLECM_COMMAND_GET_LIST_INFO, VLECM_RESULT_SUCCESS, 0);
        } else {
            // The filter off: neither answers unicast.
            if (nCase == 1)
                table.CheckEnded(&claimant, false, VLECM_MAC_FAILURE_NOT_UNICAST, VLECM_RESULT_SUCCESS, 0, false);
            next = table.CheckEnded(&device, false, VLECM_MAC_FAILURE_NOT_UNICAST, VLECM_RESULT_SUCCESS, 0, false);
        }
        EXPECT_EQ(nCase == 2 ? nullptr : &device, next.pReport) << nCase;
        EXPECT_FALSE(next.bConflict) << nCase;
        SVLECMMACState state;
        ASSERT_TRUE(table.GetState(Text(strMAC), state));
        EXPECT_EQ(VLECM_MAC_ONE, state.eVerdict) << nCase;
        EXPECT_EQ(0, table.GetPendingCount()) << nCase;
        ASSERT_EQ(2u, state.addresses.size());
        EXPECT_TRUE(state.addresses[0].bOffNetwork);
        bool bMore = false;
        EXPECT_TRUE(table.GetConflicts(4, bMore).empty()) << nCase;
        table.Detach(&device);
        table.Detach(&claimant);
    }
}

// The device's MAC admitted from another address first, then refused by the
// named address's source bound there: the named address is asked all the
// same, and its answer admits the MAC from it.
TEST(ECMMACTable, TheNamedAddressIsAskedForAMACAdmittedElsewhere)
{
    CVLECMMACTable table;
    CVLECMHandOnQueue records(&table);
    CVLECMReplyFilter filter(records, table);
    filter.SetLocalNetworks(Networks(2));
    int nAsked = 0;
    filter.SetNamedBoundListener([&nAsked]() { ++nAsked; });
    const std::string strNamed = "10.1.0.20", strDevice = Mac(7, 64);
    table.SetNamedAddress(Text(strNamed));
    ASSERT_TRUE(filter.Admit(Text(strDevice), Text("10.2.0.5"), 1));
    for (int i = 0; i < CVLECMReplyFilter::MAX_MACS_PER_SOURCE; ++i)
        ASSERT_TRUE(filter.Admit(Text(Mac(7, i)), Text(strNamed), 1)) << i;
    EXPECT_FALSE(filter.Admit(Text(strDevice), Text(strNamed), 1));
    EXPECT_EQ(1, nAsked);
    filter.SetNamedAnswer(Text(strNamed), Text(strDevice));
    EXPECT_TRUE(filter.Admit(Text(strDevice), Text(strNamed), 1));
    SVLECMMACSummary summary;
    ASSERT_TRUE(table.GetSummary(Text(strDevice), summary));
    EXPECT_EQ(2u, summary.nKept);
    EXPECT_EQ(0u, summary.nRefused);
}
