// What the session says of a MAC's addresses as the device manager judged
// them (one whose address sent something else to its unicast check, one
// beyond the addresses kept for its MAC), and whether a MAC looked for to
// be changed stands at one address alone. In network namespaces of their
// own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/VLNetSession.h"
#include "cm/VLCMApi.h"
#include "ecm/VLECM.h"
#include "modules/VLModuleLibraries.h"
#include "tests/support/NeedsNamespaces.h"
#include "tests/support/TestNetwork.h"
#include "tests/support/Watchdog.h"
#include "tests/support/ecm/MACTableStates.h"
#include "tests/support/emulator/DeviceEmulator.h"

namespace {
// "STATE REASON" of each address, then what FindUncheckedMAC names for
// the address beyond the kept ones; or what failed. It runs in a child
// process (a namespace's), whose watchdog is its own: the parent starts
// no thread before the fork, which ThreadSanitizer refuses.
std::string JudgeInSession()
{
    CWatchdog watchdog(120, "VLNetMACAddresses");
    CVLCMApi::SetModuleLibraries(VLRegisterModuleLibraries);
    const char* szBin = getenv("VL_TEST_BIN_DIR");
    if (szBin == nullptr)
        return "VL_TEST_BIN_DIR unset";
    CVLNetSession session;
    std::string strError;
    if (session.Initialize(std::string(szBin) + "/../share/vlnet", strError) != VLPFW_RESULT_SUCCESS)
        return "Initialize: " + strError;
    const std::string strMAC = "0026AB0F0001", strBeyondMAC = "0026AB0F0002";
    // Each check ends unanswered by the device, how it ended given.
    CMACTableStates states(session.GetVLECM());
    std::string strFailed;
    if (!states.EndChecks(strMAC,
                          {{"10.77.0.5", VLECM_MAC_FAILURE_NO_ANSWER, VLECM_RESULT_TIMEOUT, true},
                           {"10.77.0.6", VLECM_MAC_FAILURE_NOT_UNICAST, VLECM_RESULT_SUCCESS, true},
                           {"10.77.0.7", VLECM_MAC_FAILURE_CHECK, VLECM_RESULT_TIMEOUT, true},
                           {"10.77.0.8", VLECM_MAC_FAILURE_NO_ANSWER, VLECM_RESULT_TIMEOUT, false}},
                          strFailed))
        return "not attached: " + strFailed;
    const std::string strBeyond = "10.77.0.200";
    states.HearBeyond(strBeyondMAC, "10.77.0.", strBeyond);
    std::string strResult;
    bool bMore = false;
    for (const CVLNetSession::SAddress& address : session.GetAddresses(strMAC, bMore))
        strResult += address.strIP + " " + std::to_string(address.eState) + " " + address.strReason +
                     (address.bSilent ? " (silent)" : "") + "\n";
    std::string strReason;
    const CVLNetSession::EAddressState eState = session.GetAddressState(strBeyondMAC, strBeyond, strReason);
    strResult += strBeyond + " " + std::to_string(eState) + " " + strReason + "\n";
    strResult += "unchecked MAC: " + session.FindUncheckedMAC(strBeyond) + "\n";
    session.Terminate();
    return strResult;
}
}  // namespace

// An address from which something other than its reply came to its
// unicast check "answered unicast, but not with its MAC" (not silent),
// however its check ended; one from which nothing came had "no answer".
// An address beyond the 64 kept for its MAC was heard and is named as not
// checked, not as unheard.
TEST(VLNetMACAddresses, AnAddressIsSaidAsItsCheckFoundIt)
{
    const std::string strResult = RunInNamespace(
        {"ip link add vlr0 type dummy || ip link add vlr0 type veth peer name vlr0p",
         "ip addr add 10.77.0.1/24 dev vlr0", "ip link set vlr0 up", "ip link set vlr0p up 2>/dev/null || true"},
        JudgeInSession);
    if (strResult.compare(0, 5, "SKIP:") == 0)
        VL_NO_NAMESPACES(strResult.substr(5));
    const std::string strFailed = std::to_string(CVLNetSession::ADDRESS_FAILED) + " ";
    const std::string strOtherwise = "answered unicast, but not with its MAC\n";
    EXPECT_EQ("10.77.0.5 " + strFailed + strOtherwise + "10.77.0.6 " + strFailed + strOtherwise + "10.77.0.7 " +
                  strFailed + strOtherwise + "10.77.0.8 " + strFailed + "no answer to unicast (silent)\n" +
                  "10.77.0.200 " + std::to_string(CVLNetSession::ADDRESS_UNCHECKED) +
                  " beyond the 64 addresses checked for one MAC\n" + "unchecked MAC: 00:26:AB:0F:00:02\n",
              strResult);
}

namespace {
// The directed-broadcast children of the probe in the definitions.
const int kLocalNetworkChildren = 5;

// In a namespace of its own (its loopback alone): the emulator plays the
// device at 127.0.0.2 and, with bClaimed, a host claiming its MAC at
// 127.0.0.3; the session looks for the MAC to change it (one address
// alone confirmed by one more round). "confirmed C timed-out T found F".
std::string LookForOneAddress(bool bClaimed)
{
    CWatchdog watchdog(120, "VLNetMACAddresses");
    CVLCMApi::SetModuleLibraries(VLRegisterModuleLibraries);
    EmuDevice device;
    device.strIP = "127.0.0.2";
    CDeviceEmulator emulator(0);
    emulator.AddDevice(device);
    if (bClaimed)
        emulator.AddDevice(EmuImpostorOf(device, "127.0.0.3"));
    std::string strError;
    if (!emulator.Start(&strError))
        return "emulator: " + strError;
    const char* szBin = getenv("VL_TEST_BIN_DIR");
    if (szBin == nullptr)
        return "VL_TEST_BIN_DIR unset";
    CVLNetSession session;
    if (session.Initialize(std::string(szBin) + "/../share/vlnet", strError) != VLPFW_RESULT_SUCCESS)
        return "Initialize: " + strError;
    // The emulator's port, and its loopback's broadcast for the limited one.
    CVLCMApi* pApi = session.GetVLECM().GetApi();
    pApi->SetConst("toPort", std::to_string(emulator.Port()).c_str(), "VLMDSock", nullptr);
    pApi->SetConst("toAddress", "127.255.255.255", nullptr, "Probe.VLPC_Broadcast.UDP");
    for (int i = 1; i <= kLocalNetworkChildren; ++i)
        pApi->EnableInstance(("Probe.VLPC_LocalNetworkDBC_" + std::to_string(i)).c_str(), false);
    if (session.Probe(30, false, "", EmuMacText(device.mac), "", nullptr, true) != VLPFW_RESULT_SUCCESS)
        return "probe failed";
    const std::string strResult = std::string("confirmed ") + (session.IsSoleAddressConfirmed() ? "1" : "0") +
                                  " timed-out " + (session.IsTimedOut() ? "1" : "0") + " found " +
                                  (session.GetFoundNIFInfo() != nullptr ? "1" : "0");
    session.Terminate();
    emulator.Stop();
    return strResult;
}
}  // namespace

// A change by MAC waits one more round only for a MAC heard at one address
// alone, and is confirmed after it; a MAC heard at two addresses is
// judged at once, never confirmed as one address alone.
TEST(VLNetMACAddresses, AChangeByMACIsConfirmedOnlyForAMACHeardAtOneAddress)
{
    for (bool bClaimed : {false, true}) {
        SCOPED_TRACE(bClaimed ? "claimed" : "alone");
        const std::string strResult = RunInNamespace({}, [bClaimed]() { return LookForOneAddress(bClaimed); });
        if (strResult.compare(0, 5, "SKIP:") == 0)
            VL_NO_NAMESPACES(strResult.substr(5));
        EXPECT_EQ(std::string("confirmed ") + (bClaimed ? "0" : "1") + " timed-out 0 found 1", strResult);
    }
}
