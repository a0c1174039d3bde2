// Which requests each packet list of the device manager may send, by the
// requests' own kind (packet type letter, device type and function, as the
// device profile names them): the probe, the unicast check, the probe's
// follow-up commands and the commands that read a device send only
// requests that read, the probe and the unicast check their own among
// them; a command that changes a device sends its own request and reads;
// the reboot polling only its own request. Judged at start against the
// definitions and handed to each module instance, which refuses any other
// request where it is sent.
#ifndef VLECMREQUESTKINDS_H
#define VLECMREQUESTKINDS_H

#include <memory>
#include <string>
#include <vector>

class CVLAllowedRequests;

class CVLECMRequestKinds
{
public:
    // The requests the list of the command or probe szCommand ("Probe",
    // "CheckPassword", ...) may send ("Q2B5A02"); the reading ones for a
    // name not known or null. Worked out once for each kind.
    static const std::shared_ptr<const CVLAllowedRequests>& Allowed(const char* szCommand);
    // Whether the requests a list sends fit the command: something is sent,
    // each request is allowed and the command's own request is among them.
    // Otherwise strWhy says what does not fit ("it sends the request 2B
    // 5A22 \"I\"", "it sends nothing", "it does not send its request ...").
    static bool Fits(const std::string& strCommand, const std::vector<std::string>& requests, std::string& strWhy);
    // Whether the command's list may only read.
    static bool OnlyReads(const std::string& strCommand);
    // Whether the command has a request of its own, which its list must send.
    static bool HasOwn(const std::string& strCommand);
    // Whether the device manager runs the command's list (the probe's, and
    // each command's it carries out through the definitions): the
    // definitions must have it.
    static bool IsRun(const std::string& strCommand);
    // "2B 5A22 \"I\"" for "I2B5A22".
    static std::string RequestText(const std::string& strRequest);
};

#endif
