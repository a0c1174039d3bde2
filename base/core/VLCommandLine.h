// The command line of the project's programs, read the same way by each:
// "--help" (or "-h") prints the usage on standard output with status 0,
// "--version" the program's name and the project's version; an
// option that takes a value is given as "--name VALUE" or "--name=VALUE";
// a line that is not understood is named on standard error, followed by one
// line that points to "--help", with status 2; a failure says why on
// standard error with status 1, output that could not be written too.
// "--help" and "-h" ask for help wherever an option may stand; given as a
// value (an option's, or an argument a command takes as text whatever it
// looks like) they are that value. A program with commands dispatches
// through a table of them, each with its lines in the usage and its number
// of arguments.
#ifndef VLCOMMANDLINE_H
#define VLCOMMANDLINE_H

#include <string>
#include <vector>

class CVLCommandLine
{
public:
    // The exit statuses of the project's programs.
    enum
    {
        STATUS_SUCCESS = 0,
        STATUS_FAILURE = 1,
        STATUS_USAGE = 2
    };

    struct SCommand
    {
        const char* szName;
        const char* szUsage;  // its lines in the program's usage
        int nMinArguments;    // after the command's name
        int nMaxArguments;    // -1: any number
        // The first of its arguments that are not options (1 for the first)
        // from which on every argument is text, taken as it is: a datagram's
        // text, a script function's arguments. 0: none.
        int nTextFrom;
        // Runs the command (argv[0] is its name); the exit status. A command
        // that finds its arguments wrong names the fault on standard error
        // ("PROGRAM: ...") and returns STATUS_USAGE; Run adds the line that
        // points to the usage. Its output goes through CVLStandardOutput.
        int (*pfnRun)(int argc, char** argv);
    };

    // szUsage: the usage's first lines (the commands' lines follow them);
    // ppValueOptions: the options that take a value, ending in null.
    CVLCommandLine(const char* szProgram, const char* szUsage, const char* const* ppValueOptions);

    void AddCommand(const SCommand& command);
    std::string GetUsage() const;

    // The arguments after the program's name, each "--name=VALUE" of an
    // option that takes a value given as "--name" and "VALUE". The value of
    // such an option is taken as it is, whatever it looks like.
    std::vector<std::string> ReadArguments(int argc, const char* const* argv) const;
    static bool IsHelp(const std::string& strArgument);
    static bool IsVersion(const std::string& strArgument);
    // The project's version ("0.1.0").
    static const char* GetVersion();

    // Prints the usage on standard output; STATUS_SUCCESS, or STATUS_FAILURE
    // (said on standard error) when it could not be written.
    int Help() const;
    // Prints "PROGRAM VERSION" on standard output; as Help.
    int Version() const;
    // Prints "PROGRAM: TEXT" and the line that points to the usage on
    // standard error; STATUS_USAGE.
    int UsageError(const std::string& strText) const;
    // The line that follows a usage error, "PROGRAM: 'HELP' shows the
    // usage", for HELP the line that prints it ("vlnet run --help").
    static std::string GetUsageHint(const std::string& strProgram, const std::string& strHelp);
    // A word as the shell takes it back: as it is when it holds only
    // letters, digits and "+,-./:=@_%", else in single quotes.
    static std::string ShellWord(const std::string& strWord);
    // The line "PROGRAM WORD ..." as a user types it again, each word as
    // the shell takes it back: the line proposed when the one given has its
    // words in the wrong order.
    static std::string LineText(const std::string& strProgram, const std::vector<std::string>& words);
    // The edits that turn one name into the other, case aside, two
    // neighbours swapped counted as one: how near a name typed is to a known
    // one, for "did you mean".
    static size_t Distance(const std::string& strA, const std::string& strB);
    // The same with the letters compared as they are (a caller weighing one
    // name against many folds their case once) and the work cut at nBound:
    // the distance when it is at most nBound, else nBound + 1. The rows are
    // the caller's, reused from call to call.
    static size_t Distance(const std::string& strA, const std::string& strB, size_t nBound, std::vector<size_t>& rows);
    // Reads the line and runs its command: help, the version, an unknown
    // command (with the nearest name) and a wrong number of arguments are
    // answered here, the usage's line is added to a command's own usage
    // error, and output that the command could not write is said, status 1.
    // Closed standard descriptors are taken first (CVLStandardOutput).
    int Run(int argc, const char* const* argv) const;

private:
    // Writes the text on standard output; STATUS_FAILURE, after saying why,
    // when it could not be written.
    int WriteOutput(const std::string& strText) const;
    // "unknown command 'NAME'", with the nearest command when one is close.
    std::string UnknownCommand(const std::string& strName) const;
    bool IsValueOption(const std::string& strArgument) const;
    // Whether the line (as read, the command's name first) asks for help:
    // "--help" or "-h" after the name that is neither an option's value
    // nor text.
    bool AsksForHelp(const SCommand& command, const std::vector<std::string>& arguments) const;

    std::string m_strProgram;
    std::string m_strUsage;
    std::vector<std::string> m_ValueOptions;
    std::vector<SCommand> m_Commands;
};

#endif
