// What a packet list of a function's tree sends, as its modules run it
// (CVLModule::AddPacketListRequests).
#ifndef VLPACKETLISTREQUESTS_H
#define VLPACKETLISTREQUESTS_H

#include <set>
#include <string>
#include <vector>

struct SVLPacketListRequests
{
    // The names the instances run for the name asked (their constants may
    // add to it), and those of them the definitions lack: such an instance
    // sends nothing.
    std::set<std::string> runNames;
    std::set<std::string> missingNames;
    // Each request they can build: its packet type letter, device type and
    // function as the definitions write them ("Q2B5A02").
    std::vector<std::string> requests;
};

#endif
