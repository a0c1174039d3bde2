// The command line of vlnet: the command, its arguments and its options.
// Options may stand anywhere after the command, their values after a blank
// or after "=" (--timeout=5). The commands, and what each takes, are the
// rows of CVLNetCommands' table; the options, the commands that take each
// and its line in their usage are the rows of the table of options
// (VLNetOptions.cpp). "vlnet COMMAND --help" prints the usage they make.
#ifndef VLNETOPTIONS_H
#define VLNETOPTIONS_H

#include <string>
#include <utility>
#include <vector>

struct VLNetCommand;

class CVLNetOptions
{
public:
    // The probe's time-out, and the longest one taken.
    enum
    {
        DEFAULT_TIMEOUT_SECONDS = 60,
        MAX_TIMEOUT_SECONDS = 86400
    };
    // The longest password taken from a file or a prompt.
    enum
    {
        MAX_PASSWORD_BYTES = 1024
    };

    CVLNetOptions();

    // False with GetErrorText() set when the line is not understood. A
    // request for help parses successfully with IsHelp() true (and the
    // command whose help it asks for: "help probe", "-h probe"), one for
    // the version with IsVersion() true.
    bool Parse(int argc, const char* const* argv);

    const std::string& GetCommand() const { return m_strCommand; }
    bool IsHelp() const { return m_bHelp; }
    bool IsVersion() const { return m_bVersion; }
    int GetTimeoutSeconds() const { return m_nTimeoutSeconds; }
    bool IsTimeoutGiven() const { return m_bTimeoutGiven; }
    // A MAC address in the form "00:26:AB:00:00:01", or empty.
    const std::string& GetMACAddress() const { return m_strMACAddress; }
    // For url, open and run, a device given by its IPv4 address ("10.0.0.5");
    // empty when it was given by its MAC address.
    const std::string& GetIPAddress() const { return m_strIPAddress; }
    // The device of url, open and run as given: its MAC or its address.
    const std::string& GetDevice() const { return m_strMACAddress.empty() ? m_strIPAddress : m_strMACAddress; }
    const std::string& GetResourceDir() const { return m_strResourceDir; }
    const std::string& GetDeviceCommand() const { return m_strDeviceCommand; }
    // The password of --password, or the first line of --password-file.
    bool HasPassword() const { return m_bPassword; }
    const std::string& GetPassword() const { return m_strPassword; }
    // run --dump: the record's property tree instead of its PATH=VALUE lines.
    bool IsDump() const { return m_bDump; }
    // run --force: sends the settings the reach and gateway checks refuse.
    bool IsForce() const { return m_bForce; }
    const std::vector<std::pair<std::string, std::string>>& GetAssignments() const { return m_Assignments; }
    const std::string& GetErrorText() const { return m_strErrorText; }
    // False when the error is of a value that the line gave rightly (a
    // password file that cannot be used), which the usage would not help
    // with.
    bool IsUsageFault() const { return m_bUsageFault; }

    // The usage text of a command; of the program for an empty or unknown one.
    static std::string GetUsage(const std::string& strCommand);
    // A password line as read from a file or the prompt, without its LF: a
    // CR before the LF goes too. False, with why ("is longer than 1024
    // bytes", "holds a NUL byte"), when it cannot be a password.
    static bool TakePasswordLine(std::string& strLine, std::string& strWhy);
    // "00:26:AB:00:00:01" from any of "00:26:ab:00:00:01", "00-26-AB-00-00-01",
    // "0026AB000001"; empty when the text is no MAC address.
    static std::string NormalizeMACAddress(const std::string& strText);
    // The argument as the shell would take it back: in single quotes when
    // it holds a character the shell treats specially.
    static std::string ShellWord(const std::string& strWord);

private:
    // A row of the table of options.
    struct SOption;
    static const SOption s_Options[];

    // The row of an option the command (its bit) takes; null for none.
    static const SOption* findOption(const std::string& strName, unsigned nCommand);
    // The option's help line for the command (its bit); null when the
    // command does not take the option.
    static const char* getHelp(const SOption& option, unsigned nCommand);
    bool parseArguments(int argc, const char* const* argv);
    // The options after the command stored, the other words collected with
    // their places in argv; stops at a help or version option.
    bool parseOptions(int argc, const char* const* argv, const VLNetCommand& command,
                      std::vector<std::string>& positional, std::vector<int>& positionalAt);
    // The device given by its MAC or IPv4 address; bDevice: the command
    // takes a device alone (run's words may stand in the wrong order).
    bool parseDevice(int argc, const char* const* argv, const std::string& strDevice, bool bDevice,
                     const std::vector<int>& positionalAt);
    // run's device command and its PATH=VALUE settings, after the device.
    bool parseDeviceCommand(const std::vector<std::string>& positional);
    bool fail(const std::string& strText);
    // Why a line that starts with an option (argv[1]) is refused, with the
    // line as it would be understood when it holds a command that takes
    // the option; strCommand: that command, or empty.
    static std::string optionBeforeCommandText(int argc, const char* const* argv, std::string& strCommand);
    // Why an option the command (null: before any command) does not take
    // is refused: the commands that take it, or the nearest option that
    // stands where it was given ("did you mean --version?").
    static std::string unknownOptionText(const std::string& strName, const VLNetCommand* pCommand);
    // strWhy, with the line of the words proposed instead ("vlnet WORD
    // ...", a password not written out) when that line is taken; with why
    // it is refused too otherwise.
    static std::string proposeLine(const std::string& strWhy, const std::vector<std::string>& words);
    // Why run's device and command stand in the wrong order, with the line
    // in the right one; empty when they do not.
    static std::string commandBeforeDeviceText(int argc, const char* const* argv, const std::vector<int>& positional);
    // The options' values checked and stored: false, with the error text
    // set, for one refused.
    bool setTimeout(const std::string& strValue);
    bool setMACAddress(const std::string& strValue);
    bool setResourceDir(const std::string& strValue);
    bool setPassword(const std::string& strValue);
    bool readPasswordFile(const std::string& strPath);
    bool setDump(const std::string& strValue);
    bool setForce(const std::string& strValue);

    std::string m_strCommand;
    bool m_bHelp;
    bool m_bVersion;
    int m_nTimeoutSeconds;
    bool m_bTimeoutGiven;
    std::string m_strMACAddress;
    std::string m_strIPAddress;
    std::string m_strResourceDir;
    std::string m_strDeviceCommand;
    bool m_bPassword;
    std::string m_strPassword;
    bool m_bDump;
    bool m_bForce;
    std::vector<std::pair<std::string, std::string>> m_Assignments;
    std::string m_strErrorText;
    bool m_bUsageFault;
};

#endif
