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
