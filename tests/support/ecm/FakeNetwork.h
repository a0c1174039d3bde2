// Stand-ins for the communication modules, registered under their real
// names, so the device manager runs on the project's definitions without a
// network: the probe module keeps its running instance so a test can play
// replies into it, and the VLPC module answers each unicast command as the
// test has set it for the device and packet list.
#ifndef FAKENETWORK_H
#define FAKENETWORK_H

#include <string>

#include "tests/support/cm/ModuleRegistration.h"

enum class EFakeAnswer
{
    Success,
    Timeout,             // EVLTimeoutException
    DeviceError,         // EVLErrorResultException
    Unreachable,         // EVLCommunicationException (a socket error) where a reply is
                         // waited for; a request sent apart still goes out
    Block,               // runs until the instance is stopped (a request received
                         // apart: no reply comes)
    SlowStop,            // Block, then stays in its stop until as many stops as
                         // SetStopsTogether names are under way at once (2 s at most)
    Hold,                // a command thread's request waits until the instance is
                         // stopped or the test sets another answer, then answers so
    NoDescriptor,        // EVLOpenException for want of descriptors: no request leaves
    NoSystemDescriptor,  // EVLCommunicationException carrying ENFILE, likewise
    Refused              // EVLRefusedRequestException: the list's reset refused before it left
};

// While an object lives, the fakes are the registered modules; it restores
// the registration before it when it goes.
class CFakeNetwork
{
public:
    // Installs the fakes' registration and forgets every setting and count.
    CFakeNetwork();
    // How a device (MAC text in any form) answers a packet list; default
    // Success. The list "Create" is the making of a unicast instance for
    // the device, where a lack of descriptors fails it (Success: made).
    static void SetAnswer(const std::string& strMac, const std::string& strPacketList, EFakeAnswer eAnswer);
    // How the host at one address answers for that MAC (a host claiming
    // it, say), before what SetAnswer gives the MAC.
    static void SetAnswerAt(const std::string& strMac, const std::string& strAddress, const std::string& strPacketList,
                            EFakeAnswer eAnswer);
    // The MAC the host at an address answers with to a request of a blank
    // target (no MAC of its own, as a unicast probe of an address asks);
    // "A,B": A answers the first request, B every later one (two hosts).
    static void SetAnswerMAC(const std::string& strAddress, const std::string& strMac);
    // Unicast requests made, by device and packet list, and of them those
    // to one address.
    static int RequestCount(const std::string& strMac, const std::string& strPacketList);
    static int RequestCountAt(const std::string& strMac, const std::string& strAddress,
                              const std::string& strPacketList);
    // The most requests of that packet list under way at once (a receive
    // after a request sent apart included), of every device.
    static int PeakUnderWay(const std::string& strPacketList);
    // The "retry" parameter of the last request of that packet list.
    static long LastRetry(const std::string& strPacketList);
    // Plays one reply into the running probe: a target with the MAC text
    // (empty: none) merged into the probe's list and posted to its listener.
    // False when no probe runs. strData, when given, is the reply's
    // "ModelName". Like the probe's receive thread, it posts nothing for a
    // reply the list refuses.
    static bool Reply(const std::string& strMacText, const std::string& strData = "", const std::string& strFrom = "");
    static bool IsProbeRunning();
    // The MAC text of device n in a maker's range (six hex digits): each
    // test file keeps to a range of its own.
    static std::string Mac(const char* szMaker, int n);
    // SlowStop: the stops awaited together, and the most seen at once.
    static void SetStopsTogether(int nStops);
    static int PeakStopsTogether();
    // Top-level instances of the probe function created so far.
    static int ProbeStarts();
    // The packet lists, other than the factory reset's, of calls whose
    // instance could have sent the reset, separated by spaces (empty: none).
    static std::string ListsThatMaySendTheReset();

private:
    CModuleRegistration m_Registration;
};

#endif
