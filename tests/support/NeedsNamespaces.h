// The one place where a test that needs network namespaces decides what to
// do where they cannot be made: skip, saying why, or fail when
// CTestNetwork::Required() (tools/test-all.sh, as CI runs it). For the
// bodies and SetUp of GoogleTest tests: both return from the function.
#ifndef NEEDSNAMESPACES_H
#define NEEDSNAMESPACES_H

#include <gtest/gtest.h>

#include <string>

#include "tests/support/TestNetwork.h"

// Ends the test, skipped or failed, with why its network could not be made.
#define VL_NO_NAMESPACES(why)                                                                           \
    do {                                                                                                \
        if (CTestNetwork::Required()) {                                                                 \
            GTEST_FAIL() << "the test's network could not be made (" << CTestNetwork::kRequiredVariable \
                         << " is set): " << (why);                                                      \
        } else {                                                                                        \
            GTEST_SKIP() << "network namespace test skipped: " << (why);                                \
        }                                                                                               \
    } while (0)

// Ends the test as above unless namespaces can be made here.
#define VL_NEEDS_NAMESPACES()                                               \
    do {                                                                    \
        std::string strNamespacesUnavailable = CTestNetwork::Unavailable(); \
        if (!strNamespacesUnavailable.empty())                              \
            VL_NO_NAMESPACES(strNamespacesUnavailable);                     \
    } while (0)

#endif
