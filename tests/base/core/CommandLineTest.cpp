// The edit distance behind every "did you mean".
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "base/core/VLCommandLine.h"

// Cut at a bound, the distance is the full one up to it and one past it
// beyond: a row that stops too soon would hide a name that is near.
TEST(CommandLine, DistanceCutAtABoundAgreesWithTheFullOne)
{
    const std::pair<const char*, const char*> kPairs[] = {
        {"timeout", "timout"}, {"abcd", "abdc"},
        {"retry", "rtery"},    {"probe", "prboe"},
        {"", "abc"},           {"kitten", "sitting"},
        {"abcdef", "badcfe"},  {"xyz", "abc"},
        {"xyabc", "abcxy"},    {"option.lock.retry", "option.unlock.retry"},
    };
    std::vector<size_t> rows;
    for (const auto& pair : kPairs) {
        for (size_t nBound = 0; nBound <= 4; nBound++) {
            const size_t nFull = CVLCommandLine::Distance(pair.first, pair.second);
            EXPECT_EQ(std::min(nFull, nBound + 1), CVLCommandLine::Distance(pair.first, pair.second, nBound, rows))
                << pair.first << " " << pair.second << " " << nBound;
        }
    }
    // Case counts here: the caller folds it once.
    EXPECT_EQ(1u, CVLCommandLine::Distance("Probe", "probe", 3, rows));
}
