#include <gtest/gtest.h>

#include "tests/support/NeighbourTable.h"

// The overflow count is the "table_fulls" column, found by its header and
// summed over the rows of each CPU, in hexadecimal; a text without it
// gives -1, and so no report.
TEST(NeighbourTable, CountsTheOverflowsOfEveryCPU)
{
    const std::string strStat =
        "entries  allocs   table_fulls\n"
        "00000283 000005dd 0000000a\n"
        "00000283 00000552 00000022\n";
    EXPECT_EQ(0x0a + 0x22, CNeighbourTable::Overflows(strStat));
    EXPECT_EQ(-1, CNeighbourTable::Overflows("entries  allocs\n00000283 000005dd\n"));
    EXPECT_EQ(-1, CNeighbourTable::Overflows("entries  table_fulls\n00000283\n"));
    EXPECT_EQ(-1, CNeighbourTable::Overflows(""));

    EXPECT_NE(std::string::npos, CNeighbourTable::Report(44, 46).find("overflowed 2 times during this test"));
    EXPECT_NE(std::string::npos, CNeighbourTable::Report(44, 44).find("did not overflow during this test"));
    EXPECT_EQ("", CNeighbourTable::Report(-1, 44));
}
