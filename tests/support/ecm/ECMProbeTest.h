// A test fixture: a device manager probing over the fake network of
// modules, its reports recorded. A unicast check that gets no answer waits
// as long as a test needs.
#ifndef TESTS_SUPPORT_ECM_ECMPROBETEST_H
#define TESTS_SUPPORT_ECM_ECMPROBETEST_H

#include <gtest/gtest.h>

#include "base/core/VLCharset.h"
#include "ecm/VLECM.h"
#include "tests/support/ecm/ECMTestClient.h"
#include "tests/support/ecm/FakeNetwork.h"

class CECMProbeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Initialize(&m_Client, nullptr, nullptr, nullptr));
        CVLECMPropertyMap options;
        options[CVLString("Option.Probe.SkipGetSupportInformation", VL_CHARSET_UTF8)] =
            CVLString("true", VL_CHARSET_UTF8);
        options[CVLString("Option.CheckUnicast.Timeout", VL_CHARSET_UTF8)] = CVLString("3600000", VL_CHARSET_UTF8);
        ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    }
    void TearDown() override
    {
        m_ECM.Terminate();
        // Whatever instance the device manager made, none but the reset's
        // own could send the reset.
        EXPECT_EQ("", CFakeNetwork::ListsThatMaySendTheReset());
    }

    CFakeNetwork m_Network;
    CRecordingClient m_Client;
    CVLECM m_ECM;
};

#endif
