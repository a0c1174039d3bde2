// The firewall configurer: the platform's firewall needs no per-program
// entry, so each operation does nothing and answers 0 (success).
#ifndef VLFIREWALLCONFIGURER_H
#define VLFIREWALLCONFIGURER_H

class CVLFirewallConfigurer
{
public:
    virtual ~CVLFirewallConfigurer();

    static int AddApplication(const char* szPath);
    static int RemoveApplication(const char* szPath);
    static int OpenPort(int nPort, int nProtocol);
};

#endif
