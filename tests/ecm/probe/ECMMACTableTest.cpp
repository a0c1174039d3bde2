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
    // A refused address is still found by its address, with its MAC.
    std::vector<SVLECMHeardAddress> found = table.FindAddress(Text("10.3.1.63"));
    ASSERT_EQ(static_cast<size_t>(kDevices), found.size());
    EXPECT_EQ(VLECM_MAC_ADDRESS_REFUSED, found.front().address.eState);
}
