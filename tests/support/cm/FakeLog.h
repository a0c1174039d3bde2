// The log of the logging fake modules, shared by the module framework's
// tests: every event in order ("init:ModA", "call:F.C:Method", ...).
#ifndef FAKELOG_H
#define FAKELOG_H

#include <string>
#include <vector>

#include "tests/support/cm/FakeModule.h"

class CFakeLog
{
public:
    static void Add(const std::string& strEvent);
    static std::vector<std::string> Take();
    static int Count(const std::string& strPrefix);

    // A module that logs its life and its instances' methods ("init:",
    // "term:", "delete:" with the module's name, "call:", "stop:",
    // "destroy:" with the instance's) and reports nPackets packets for the
    // packet list "P". A call sets the result to the parameter "answer" when
    // present, and throws when the parameter "fail" is present.
    static CFakeModule::SScript Script(int nPackets);
};

#endif
