// What the status line says while a device command waits.
#include <gtest/gtest.h>

#include <string>

#include "app/VLNetStatusLine.h"

// An answer that names no device waits for the end of its try: the line
// says that it came and what it said, not that the device is waited for.
TEST(VLNetStatusLine, ACommandsWaitSaysWhatCame)
{
    EXPECT_EQ("GetDetail: 1.4 s, waiting for the device at 10.0.0.5",
              CVLNetStatusLine::FormatCommand("GetDetail", "10.0.0.5", 1.44));
    // A command that waits for a restart says how long at most.
    EXPECT_EQ("RebootPolling: 9.6 s, waiting for the device at 10.0.0.5 (at most 313 s)",
              CVLNetStatusLine::FormatCommand("RebootPolling", "10.0.0.5", 9.6, 0, 313));
    EXPECT_EQ("GetWirelessLANInfo: 0.2 s, 10.0.0.5 answered FF01 (not supported by the device); as it names no "
              "device, it is the answer if no other comes in this try",
              CVLNetStatusLine::FormatCommand("GetWirelessLANInfo", "10.0.0.5", 0.2, 0xFF01));
}

// While the probe waits for addresses, the line says what for; its
// closing line names the networks it left out, their interfaces down.
TEST(VLNetStatusLine, AProbeSaysWhatItWaitsForAndWhatItLeftOut)
{
    EXPECT_EQ("probing: 21.9 s, 2 devices found", CVLNetStatusLine::Format(21.94, 2));
    EXPECT_EQ("probing: 21.9 s, 2 devices found; waiting for the commands of 3 addresses",
              CVLNetStatusLine::Format(21.9, 2, 0, 3));
    EXPECT_EQ("probing: 3.0 s, 1 device found; waiting for 1 unicast check and the commands of 1 address",
              CVLNetStatusLine::Format(3, 1, 1, 1));
    EXPECT_EQ("0 devices found", CVLNetStatusLine::CloseText(0, {}));
    EXPECT_EQ("1 device found; the probe left out the network of eth2, which is down",
              CVLNetStatusLine::CloseText(1, {"eth2"}));
    EXPECT_EQ("2 devices found; the probe left out the networks of eth2 and eth3, which are down",
              CVLNetStatusLine::CloseText(2, {"eth2", "eth3"}));
    // Without carrier or address, an interface is named as a down one is.
    EXPECT_EQ("0 devices found; the probe left out the network of eth2, which is down; the probe left out the "
              "network of eth4, which has no carrier; eth5 and eth6 are up without an IPv4 address: no network "
              "there was probed",
              CVLNetStatusLine::CloseText(0, {"eth2"}, {"eth4"}, {"eth5", "eth6"}));
}

// A search for one device counts every device that answered, and says
// whether the one looked for did, and whether any of its addresses can be
// used; the chains still in their checks or commands follow.
TEST(VLNetStatusLine, ASearchSaysWhatAnsweredAndWhetherTheDeviceDid)
{
    const std::string strMAC = "00:26:AB:00:00:01";
    EXPECT_EQ("probing: 1.2 s, 8 devices answered, 00:26:AB:00:00:01 not among them",
              CVLNetStatusLine::FormatSearch(1.2, 8, strMAC, false, false));
    EXPECT_EQ("probing: 2.0 s, 1 device answered, 00:26:AB:00:00:01 among them; waiting for 1 unicast check",
              CVLNetStatusLine::FormatSearch(2, 1, strMAC, true, false, 1, 0));
    EXPECT_EQ("probing: 7.5 s, 9 devices answered, 00:26:AB:00:00:01 only from addresses that cannot be used "
              "(said above), looked for on; waiting for 2 unicast checks and the commands of 3 addresses",
              CVLNetStatusLine::FormatSearch(7.5, 9, strMAC, true, true, 2, 3));
}
