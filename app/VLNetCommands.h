// The commands of vlnet in one table: each row holds the command's name,
// its line in the program's usage, its own usage text, what it takes, and
// the function that runs it. The command line is parsed and the program
// dispatched through this table.
#ifndef VLNETCOMMANDS_H
#define VLNETCOMMANDS_H

#include <string>

class CVLNetOptions;
class CVLNetSession;

// The program's exit status.
enum
{
    VLNET_EXIT_SUCCESS = 0,
    VLNET_EXIT_FAILURE = 1,
    // A command line or argument it does not accept; nothing was sent.
    VLNET_EXIT_USAGE = 2,
    // The probe ran, but what it lists may be short: a bound dropped
    // devices, the kernel dropped replies, a definition script failed, or
    // devices were still in their follow-up commands at the time-out.
    // Standard error says which.
    VLNET_EXIT_INCOMPLETE = 3,
    VLNET_EXIT_STOPPED = 130
};

struct VLNetCommand
{
    // The positional arguments a command takes.
    enum EArguments
    {
        ARGUMENTS_NONE,
        ARGUMENTS_DEVICE,      // MAC|IP
        ARGUMENTS_MAC_COMMAND  // MAC COMMAND [PATH=VALUE ...]
    };
    // Options beyond --timeout and --resources, which every command takes.
    enum
    {
        OPTION_MAC = 1,       // --mac MAC
        OPTION_PASSWORD = 2,  // --password PW, --password-file FILE
        OPTION_DUMP = 4       // --dump
    };

    const char* szName;
    const char* szSummary;  // its line in the program's usage
    const char* szUsage;    // "vlnet NAME --help"
    EArguments eArguments;
    unsigned nOptions;
    // Runs the command on an initialized session; the exit status.
    int (*pfnRun)(CVLNetSession& session, const CVLNetOptions& options);
};

class CVLNetCommands
{
public:
    // The row of a command, or null for an unknown name.
    static const VLNetCommand* Find(const std::string& strName);
    // True for a command whose result is what it writes on standard output
    // (all but open, which hands the URL to the browser).
    static bool WritesOutput(const std::string& strName);
    // The program's usage, listing every command.
    static std::string GetProgramUsage();
};

#endif
