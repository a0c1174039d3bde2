// The local networks' turns that the hand-on queue and the waiting chains
// share.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/core/VLCharset.h"
#include "ecm/probe/TVLECMNetworkTurns.h"

namespace {
CVLString Text(const char* sz)
{
    return CVLString(sz, VL_CHARSET_UTF8);
}

// Takes every item out, in turn.
std::string Drain(TVLECMNetworkTurns<std::string>& turns)
{
    std::string s;
    std::string strItem;
    while (turns.Take(strItem))
        s += strItem + " ";
    return s;
}
}  // namespace

// A network's items come in the order they came, the networks in turn from
// the one after the network served last; one served without waiting had
// its turn, and an item taken out of its line frees no turn.
TEST(ECMNetworkTurns, NetworksTakeTurnsAfterTheOneServedLast)
{
    TVLECMNetworkTurns<std::string> turns;
    for (const char* szItem : {"a1", "a2", "a3"})
        turns.Push(Text("10.1.0.0/24"), szItem);
    turns.Push(Text("10.2.0.0/24"), "b1");
    turns.Push(Text(""), "n1");
    turns.Push(Text("10.2.0.0/24"), "b2");
    EXPECT_EQ(6, turns.GetCount());
    turns.Served(Text("10.1.0.0/24"));
    std::string strRemoved;
    EXPECT_TRUE(turns.Remove(
        Text("10.1.0.0/24"), [](const std::string& s) { return s == "a2"; }, &strRemoved));
    EXPECT_EQ("a2", strRemoved);
    EXPECT_FALSE(turns.Remove(Text("10.2.0.0/24"), [](const std::string& s) { return s == "a3"; }));
    EXPECT_EQ("b1 n1 a1 b2 a3 ", Drain(turns));
    EXPECT_TRUE(turns.IsEmpty());
    // Taking all keeps whose turn it is; a clear forgets it.
    turns.Push(Text("10.2.0.0/24"), "b3");
    turns.Push(Text("10.1.0.0/24"), "a4");
    EXPECT_EQ((std::vector<std::string>{"a4", "b3"}), turns.TakeAll());
    turns.Push(Text("10.2.0.0/24"), "b4");
    turns.Push(Text("10.1.0.0/24"), "a5");
    EXPECT_EQ("b4 a5 ", Drain(turns));
    turns.Push(Text("10.2.0.0/24"), "b5");
    turns.Push(Text("10.1.0.0/24"), "a6");
    turns.Clear();
    EXPECT_EQ(0, turns.GetCount());
    turns.Push(Text("10.2.0.0/24"), "b6");
    turns.Push(Text("10.1.0.0/24"), "a7");
    EXPECT_EQ("a7 b6 ", Drain(turns));
}
