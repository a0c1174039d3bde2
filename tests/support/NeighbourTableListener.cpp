// Built into every test program: a network test that fails says whether
// the kernel's neighbour table overflowed while it ran (CNeighbourTable).
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/NeighbourTable.h"
#include "tests/support/TestNetwork.h"

namespace {
class CNeighbourTableListener : public testing::EmptyTestEventListener
{
    void OnTestStart(const testing::TestInfo&) override
    {
        m_nOverflows = CNeighbourTable::Overflows();
        m_nNetworks = CTestNetwork::Made();
    }

    // A test that made a network says it either way; any other only when
    // the table overflowed.
    void OnTestEnd(const testing::TestInfo& info) override
    {
        if (!info.result()->Failed())
            return;
        const long long nNow = CNeighbourTable::Overflows();
        if (CTestNetwork::Made() == m_nNetworks && !(m_nOverflows >= 0 && nNow > m_nOverflows))
            return;
        const std::string strReport = CNeighbourTable::Report(m_nOverflows, nNow);
        if (!strReport.empty())
            std::printf("%s.%s: %s\n", info.test_suite_name(), info.name(), strReport.c_str());
    }

    long long m_nOverflows = -1;
    unsigned m_nNetworks = 0;
};

const bool s_bListening = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new CNeighbourTableListener);
    return true;
}();
}  // namespace
