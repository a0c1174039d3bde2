#include "base/system/VLFirewallConfigurer.h"

#include "base/net/VLSocket.h"

// The firewall unit's socket object: constructed at start-up, never used.
static CVLSocket g_FirewallSocket;

CVLFirewallConfigurer::~CVLFirewallConfigurer()
{
}

int CVLFirewallConfigurer::AddApplication(const char* /*szPath*/)
{
    return 0;
}

int CVLFirewallConfigurer::RemoveApplication(const char* /*szPath*/)
{
    return 0;
}

int CVLFirewallConfigurer::OpenPort(int /*nPort*/, int /*nProtocol*/)
{
    return 0;
}
