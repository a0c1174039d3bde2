// vlstdtool interfaces: the local addresses and subnets the base library sees.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/vlstdtool/ToolCommand.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/net/VLInterfaceAddress.h"
#include "base/net/VLSocketAddress.h"

namespace {

std::string Dotted(const unsigned char* p)
{
    return CVLSocketAddress::FormatDottedQuad(p).GetString();
}

int Interfaces(int argc, char** /*argv*/)
{
    if (argc != 1)
        return VLToolUsage("interfaces takes no arguments");
    std::vector<CVLSocketAddress> addresses;
    std::vector<VLInterfaceAddress> entries;
    try {
        CVLSocketAddress::GetLocalAddresses(addresses);
    } catch (EVLException* e) {
        CVLExceptionOwner owner(e);
        return VLToolFail("interfaces: %s", VLToolReason(e).c_str());
    }
    if (!VLListInterfaceAddresses(entries))
        return VLToolFail("interfaces: cannot read the interface list");

    std::string strOut = std::string("local addresses:") + (addresses.empty() ? " none" : "") + "\n";
    for (const CVLSocketAddress& address : addresses)
        strOut += std::string("  ") + address.GetHost().GetString() + "\n";

    strOut += "subnets (interface, address, mask, directed broadcast):\n";
    for (const CVLSocketAddress& address : addresses) {
        for (const VLInterfaceAddress& entry : entries) {
            if (!entry.bFirstOfInterface || Dotted(entry.address) != address.GetHost().GetString())
                continue;
            try {
                CVLSocketAddress broadcast(address);
                broadcast.MakeBroadcastAddress(Dotted(entry.netmask).c_str());
                char szLine[256];
                std::snprintf(szLine, sizeof(szLine), "  %-12s %-15s %-15s %s%s\n", entry.strInterface.c_str(),
                              Dotted(entry.address).c_str(), Dotted(entry.netmask).c_str(),
                              broadcast.GetHost().GetString(), entry.bUp ? "" : "  (down)");
                strOut += szLine;
            } catch (EVLException* e) {
                CVLExceptionOwner owner(e);
                return VLToolFail("interfaces: %s", VLToolReason(e).c_str());
            }
            break;
        }
    }
    if (!VLToolWriteStdout(strOut.data(), strOut.size()))
        return VLToolOutputFailed();
    return 0;
}

}  // namespace

VL_TOOL_COMMAND(interfaces, "interfaces",
                "  interfaces        list the local IPv4 addresses and their subnets (address, mask,\n"
                "                    directed broadcast address)\n",
                Interfaces);
