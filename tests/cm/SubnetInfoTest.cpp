#include <gtest/gtest.h>

#include <string>

#include "cm/VLSubnetInfoList.h"
#include "tests/support/TestSupport.h"

namespace {

std::string Broadcast(const char* szAddress, const char* szMask)
{
    CVLSubnetInfo info;
    info.SetIPAddress(szAddress);
    info.SetSubnetMask(szMask);
    return Bytes(info.GetBroadcastAddress());
}

TEST(SubnetInfo, DirectedBroadcastForSeveralMasks)
{
    EXPECT_EQ("192.168.1.255", Broadcast("192.168.1.37", "255.255.255.0"));
    EXPECT_EQ("192.168.255.255", Broadcast("192.168.1.37", "255.255.0.0"));
    EXPECT_EQ("10.255.255.255", Broadcast("10.0.0.5", "255.0.0.0"));
    EXPECT_EQ("172.16.7.255", Broadcast("172.16.5.9", "255.255.252.0"));
    EXPECT_EQ("192.168.1.37", Broadcast("192.168.1.37", "255.255.255.254"));  // /31
    EXPECT_EQ("192.168.1.37", Broadcast("192.168.1.37", "255.255.255.255"));  // /32
    EXPECT_EQ("255.255.255.255", Broadcast("192.168.1.37", "0.0.0.0"));
    EXPECT_EQ("0.0.0.255", Broadcast("", "255.255.255.0"));
    EXPECT_EQ("10.1.2.255", Broadcast("010.001.2.3", "255.255.255.000"));  // leading zeros: decimal
}

TEST(SubnetInfo, TextsThatAreNoAddressesAreNeverLookedUp)
{
    // Neither is resolved as a host name: a bad address counts as all ones,
    // a bad mask as all ones too (so the address comes back).
    EXPECT_EQ("255.255.255.255", Broadcast("localhost", "255.255.255.0"));
    EXPECT_EQ("255.255.255.255", Broadcast("192.168.1.300", "255.255.255.0"));
    EXPECT_EQ("192.168.1.37", Broadcast("192.168.1.37", "no.such.mask"));
    EXPECT_EQ("192.168.1.37", Broadcast("192.168.1.37", "localhost"));
}

TEST(SubnetInfoList, OwnsAndCopiesItsEntries)
{
    CVLSubnetInfoList list;
    CVLSubnetInfo* pFirst = list.Add();
    pFirst->SetIPAddress("10.1.2.3");
    pFirst->SetSubnetMask("255.255.0.0");
    list.Add()->SetIPAddress("192.168.0.1");
    EXPECT_EQ(-1, list.IndexOf(nullptr));
    EXPECT_EQ(0, list.IndexOf(pFirst));

    CVLSubnetInfoList copy;
    copy.Add();
    copy = list;
    ASSERT_EQ(2, copy.GetCount());
    EXPECT_NE(pFirst, copy.GetAt(0));
    EXPECT_EQ("10.1.255.255", Bytes(copy.GetAt(0)->GetBroadcastAddress()));
    EXPECT_EQ("192.168.0.1", Bytes(copy.GetAt(1)->GetIPAddress()));
}

}  // namespace
