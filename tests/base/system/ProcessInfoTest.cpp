#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <unistd.h>

#include "tests/support/TestSupport.h"
#include "base/system/VLProcessInfo.h"
#include "base/value/VLVariant.h"

TEST(ProcessInfo, IdNameAndTime)
{
    EXPECT_EQ(static_cast<VL_LONG>(getpid()), VLGetProcessId(nullptr));
    CVLVariant v;
    EXPECT_EQ(static_cast<VL_LONG>(getpid()), VLGetProcessId(&v));
    EXPECT_EQ(8, v.GetType());
    EXPECT_EQ(static_cast<VL_LONG>(getpid()), v.GetLong());

    std::ifstream in("/proc/self/comm");
    std::string strComm;
    std::getline(in, strComm);
    EXPECT_FALSE(strComm.empty());
    EXPECT_EQ(strComm, Bytes(VLGetProcessName()));

    CVLDateTime before;
    before.SetCurrentTime();
    CVLDateTime now = VLGetCurrentDateTime();
    CVLDateTime after;
    after.SetCurrentTime();
    EXPECT_GE(now.GetYear(), 2020);
    // Whole seconds between the two readings of the clock (generous bounds).
    EXPECT_LE(now.GetDiffSeconds(before), 5);
    EXPECT_GE(now.GetDiffSeconds(before), 0);
    EXPECT_LE(after.GetDiffSeconds(now), 5);
}
