// The commands of vlnet in one table: each row holds the command's name,
// its line in the program's usage, its description, what it takes, and the
// function that runs it. The command line is parsed, the usage made and the
// program dispatched through this table and CVLNetOptions' table of options.
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
    // A command line or argument it does not accept; no change was sent.
    VLNET_EXIT_USAGE = 2,
    // The probe ran, but what it lists may be short: a device answered
    // the probe and is not listed (no answer to unicast, a failed unicast
    // check, commands that failed, still in its follow-up commands at the
    // time-out), a bound dropped devices, the kernel dropped replies, the
    // replies to some broadcasts could not be listened for, or a definition
    // script failed. Standard error says which.
    VLNET_EXIT_INCOMPLETE = 3,
    // Stopped by a signal: the program exits with 128 + the signal's number
    // (130 SIGINT, 143 SIGTERM), as a shell reports a process it ended.
    VLNET_EXIT_STOPPED = 130,
    VLNET_EXIT_SIGNAL_BASE = 128
};

struct VLNetCommand
{
    // The positional arguments a command takes.
    enum EArguments
    {
        ARGUMENTS_NONE,
        ARGUMENTS_DEVICE,         // MAC|IP
        ARGUMENTS_DEVICE_COMMAND  // MAC|IP COMMAND [PATH=VALUE ...]
    };
    // Each command's bit, by which a row of the table of options names the
    // commands that take the option.
    enum
    {
        COMMAND_PROBE = 1,
        COMMAND_URL = 2,
        COMMAND_OPEN = 4,
        COMMAND_RUN = 8,
        COMMAND_ALL = COMMAND_PROBE | COMMAND_URL | COMMAND_OPEN | COMMAND_RUN
    };

    const char* szName;
    unsigned nBit;
    const char* szSummary;      // its line in the program's usage
    const char* szDescription;  // "vlnet NAME --help" between the synopsis and the options
    // What the usage adds after the description (the lists of the device
    // commands), or null.
    std::string (*pfnDetails)();
    EArguments eArguments;
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
    // The arguments in the command's synopsis: "", " MAC|IP", " MAC|IP COMMAND".
    static std::string GetArgumentsSynopsis(const VLNetCommand& command);
    // The program's usage, listing every command.
    static std::string GetProgramUsage();
    // Why a command's name is refused: "unknown command 'prbe'; did you
    // mean probe?" (the nearest command's name when one is near).
    static std::string UnknownCommandText(const std::string& strName);
    // The device commands that run offers, by name; false for another name,
    // with why in strWhy (the nearest name offered, when one is near).
    static bool IsDeviceCommand(const std::string& strName, std::string& strWhy);
    // The names of the commands of the bits, "url and open"; empty for none.
    static std::string GetNames(unsigned nCommands);
    // What follows "answered the probe" for an address that was not used or
    // listed: " but not by unicast: REASON" when nothing came from it to its
    // unicast check (bSilent), " but was still ..." when its check or
    // commands were not over (bPending: the reason says where it was, with
    // or without its "still"), else " but " szNotUsed ": REASON".
    static std::string NotUsedText(bool bSilent, bool bPending, const std::string& strReason, const char* szNotUsed);
};

#endif
