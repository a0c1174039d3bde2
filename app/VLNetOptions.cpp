// The command line of vlnet.
#include "app/VLNetOptions.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/VLNetCommands.h"
#include "app/VLNetResultText.h"
#include "base/core/VLCommandLine.h"
#include "base/net/VLMACAddress.h"
#include "base/net/VLSocketAddress.h"

namespace {
// The widest a line of a command's synopsis grows before it wraps.
const size_t kSynopsisWidth = 100;
// The column of the options' help lines.
const size_t kHelpColumn = 21;
const char kOnePassword[] = "one password: --password or --password-file, once";
// What a text editor may put before a file's first line, and after it.
const char kByteOrderMark[] = "\xEF\xBB\xBF";
const char kBlanks[] = " \t";
const char kOneMAC[] = "one device: --mac once";
// The most edits from an option typed to a known one that is still taken
// for a slip of the keyboard.
const size_t kMaxSuggestedOptionDistance = 2;
// The options that stand before any command, besides the table's.
const char* const kProgramOptions[] = {"--help", "--version"};

// The line of the words as a user types it again: "vlnet WORD ...", each
// word as the shell takes it back, a password given on the line not
// written out.
std::string LineText(const std::vector<std::string>& words)
{
    std::vector<std::string> shown = words;
    for (size_t i = 0; i < shown.size(); i++)
        shown[i] = i > 0 && words[i - 1] == "--password" ? "PW" : CVLNetResultText::Shown(words[i]);
    return CVLCommandLine::LineText("vlnet", shown);
}

// A MAC or an IPv4 address, as run takes a device.
bool IsDevice(const std::string& strWord)
{
    unsigned char address[4];
    return !CVLNetOptions::NormalizeMACAddress(strWord).empty() ||
           CVLSocketAddress::ParseDottedQuad(strWord.c_str(), address);
}
}  // namespace

std::string CVLNetOptions::ShellWord(const std::string& strWord)
{
    return CVLCommandLine::ShellWord(strWord);
}

struct CVLNetOptions::SOption
{
    // The commands (their bits) that take the option, and its help line for
    // them; its lines after the first are indented to the column.
    struct SHelp
    {
        unsigned nCommands;
        const char* szText;
        // The text says what happens without the option: no default shown.
        bool bOwnDefault = false;
    };
    enum
    {
        MAX_HELPS = 3
    };

    const char* szName;
    const char* szValue;  // the value's placeholder; null for an option without one
    // The row is the other choice of the one before: "[--a A | --b B]".
    bool bOr;
    // Checks and stores the value. Null for the arguments a command takes
    // (its synopsis and help name them where they stand among the options).
    bool (CVLNetOptions::*pfnSet)(const std::string& strValue);
    SHelp helps[MAX_HELPS];
    // The value taken when the option is not given, which each help line
    // ends with ("(default 60)"); 0 for none.
    int nDefault;
    // The largest value taken of a number from 1, which the help line gives
    // with the default ("(1 to 86400, default 60)"); 0 for none.
    int nMax;
};

// The options in the order the usages give them.
const CVLNetOptions::SOption CVLNetOptions::s_Options[] = {
    {"--password-file",
     "FILE",
     false,
     &CVLNetOptions::readPasswordFile,
     {{VLNetCommand::COMMAND_RUN, "the device's password: the first line of FILE"}},
     0,
     0},
    {"--password",
     "PW",
     true,
     &CVLNetOptions::setPassword,
     {{VLNetCommand::COMMAND_RUN, "the device's password (every local user sees it in the\n"
                                  "process list). Without either, a command that sends the\n"
                                  "password (CheckPassword, SetDetail, FactReset) asks for\n"
                                  "it on the terminal, without echo (with no terminal, it\n"
                                  "is refused: nothing is sent). An empty password goes only\n"
                                  "as --password '' (a device without one)"}},
     0,
     0},
    {"PATH=VALUE",
     nullptr,
     false,
     nullptr,
     {{VLNetCommand::COMMAND_RUN, "a value of the device record, e.g. VLPC.2B_5A10_01.Location='Room 4'"}},
     0,
     0},
    {"--dump",
     nullptr,
     false,
     &CVLNetOptions::setDump,
     {{VLNetCommand::COMMAND_RUN, "print the record's property tree instead (for traces)"}},
     0,
     0},
    {"--force",
     nullptr,
     false,
     &CVLNetOptions::setForce,
     {{VLNetCommand::COMMAND_RUN, "send a SetDetail that would leave this computer unable to\n"
                                  "reach the device, or its gateway outside its subnet (a\n"
                                  "device to be moved to another network), saying what it\n"
                                  "overrode; never an address in use, the subnet's network\n"
                                  "or broadcast address, or this computer's own"}},
     0,
     0},
    {"--timeout",
     "SECONDS",
     false,
     &CVLNetOptions::setTimeout,
     {{VLNetCommand::COMMAND_PROBE,
       "listen this many seconds, probing again each round, and list\n"
       "what answers in that time; without it the probe ends as said\n"
       "above, at 60 s at most",
       true},
      {VLNetCommand::COMMAND_URL | VLNetCommand::COMMAND_OPEN, "give up after this many seconds"},
      {VLNetCommand::COMMAND_RUN,
       "the device command waits its own time-out (see above); the\n"
       "search for the device gives up after this many seconds"}},
     DEFAULT_TIMEOUT_SECONDS,
     MAX_TIMEOUT_SECONDS},
    {"--mac",
     "MAC",
     false,
     &CVLNetOptions::setMACAddress,
     {{VLNetCommand::COMMAND_PROBE, "list only the device with this MAC address: status 0 when\n"
                                    "it is listed, 1 when not"}},
     0,
     0},
    {"--resources",
     "DIR",
     false,
     &CVLNetOptions::setResourceDir,
     {{VLNetCommand::COMMAND_PROBE, "the resource folder (default: share/vlnet beside the program's folder)"},
      {VLNetCommand::COMMAND_ALL & ~VLNetCommand::COMMAND_PROBE, "the resource folder"}},
     0,
     0},
};

CVLNetOptions::CVLNetOptions()
    : m_bHelp(false), m_bVersion(false), m_nTimeoutSeconds(DEFAULT_TIMEOUT_SECONDS), m_bTimeoutGiven(false),
      m_bPassword(false), m_bDump(false), m_bForce(false), m_bUsageFault(true)
{
}

const char* CVLNetOptions::getHelp(const SOption& option, unsigned nCommand)
{
    for (const SOption::SHelp& help : option.helps) {
        if ((help.nCommands & nCommand) != 0)
            return help.szText;
    }
    return nullptr;
}

const CVLNetOptions::SOption* CVLNetOptions::findOption(const std::string& strName, unsigned nCommand)
{
    for (const SOption& option : s_Options) {
        if (option.pfnSet != nullptr && strName == option.szName && getHelp(option, nCommand) != nullptr)
            return &option;
    }
    return nullptr;
}

std::string CVLNetOptions::GetUsage(const std::string& strCommand)
{
    const VLNetCommand* pCommand = CVLNetCommands::Find(strCommand);
    if (pCommand == nullptr)
        return CVLNetCommands::GetProgramUsage();
    std::vector<std::string> items;  // "[--timeout SECONDS]", ...
    std::string strHelp;
    bool bPreviousTaken = false;
    for (const SOption& option : s_Options) {
        const char* szHelp = getHelp(option, pCommand->nBit);
        const bool bOr = option.bOr && bPreviousTaken;
        bPreviousTaken = szHelp != nullptr;
        if (szHelp == nullptr)
            continue;
        std::string strTerm = option.szName;
        if (option.szValue != nullptr)
            strTerm += std::string(" ") + option.szValue;
        if (bOr)
            items.back().insert(items.back().size() - 1, " | " + strTerm);
        else
            items.push_back("[" + strTerm + (option.pfnSet == nullptr ? " ...]" : "]"));
        // Its help: beside the option, or below one too long for that.
        strTerm = "  " + strTerm;
        strHelp += strTerm.size() + 2 <= kHelpColumn ? strTerm + std::string(kHelpColumn - strTerm.size(), ' ')
                                                     : strTerm + "\n" + std::string(kHelpColumn, ' ');
        for (const char* sz = szHelp; *sz != '\0'; sz++) {
            strHelp += *sz;
            if (*sz == '\n')
                strHelp.append(kHelpColumn, ' ');
        }
        bool bOwnDefault = false;
        for (const SOption::SHelp& help : option.helps) {
            if ((help.nCommands & pCommand->nBit) != 0) {
                bOwnDefault = help.bOwnDefault;
                break;
            }
        }
        if (option.nMax != 0)
            strHelp += " (1 to " + std::to_string(option.nMax) +
                       (bOwnDefault ? std::string() : ", default " + std::to_string(option.nDefault)) + ")";
        else if (option.nDefault != 0)
            strHelp += " (default " + std::to_string(option.nDefault) + ")";
        strHelp += '\n';
    }
    // The synopsis, its lines after the first indented below the command's name.
    const std::string strStart = std::string("usage: vlnet ") + pCommand->szName;
    std::string strUsage = strStart + CVLNetCommands::GetArgumentsSynopsis(*pCommand);
    size_t nLineStart = 0;
    for (const std::string& strItem : items) {
        if (strUsage.size() - nLineStart + 1 + strItem.size() > kSynopsisWidth) {
            strUsage += '\n';
            nLineStart = strUsage.size();
            strUsage.append(strStart.size(), ' ');
        }
        strUsage += ' ' + strItem;
    }
    strUsage += '\n';
    strUsage += pCommand->szDescription;
    if (pCommand->pfnDetails != nullptr)
        strUsage += pCommand->pfnDetails();
    return strUsage + '\n' + strHelp;
}

std::string CVLNetOptions::NormalizeMACAddress(const std::string& strText)
{
    CVLString strMAC = CVLMACAddress::Normalize(strText.c_str(), ":");
    const char* sz = strMAC.GetBuffer();
    return sz != nullptr ? std::string(sz) : std::string();
}

bool CVLNetOptions::fail(const std::string& strText)
{
    m_strErrorText = strText;
    return false;
}

bool CVLNetOptions::setTimeout(const std::string& strValue)
{
    // A second one would silently win over the first.
    if (m_bTimeoutGiven)
        return fail("one time-out: --timeout once");
    m_bTimeoutGiven = true;
    const std::string strError = "--timeout needs a whole number of seconds from 1 to " +
                                 std::to_string(MAX_TIMEOUT_SECONDS) + ", not '" + CVLNetResultText::Shown(strValue) + "'";
    if (strValue.empty() || strValue.size() > 6)
        return fail(strError);
    long nValue = 0;
    for (char c : strValue) {
        if (!isdigit(static_cast<unsigned char>(c)))
            return fail(strError);
        nValue = nValue * 10 + (c - '0');
    }
    if (nValue < 1 || nValue > MAX_TIMEOUT_SECONDS)
        return fail(strError);
    m_nTimeoutSeconds = static_cast<int>(nValue);
    return true;
}

bool CVLNetOptions::setMACAddress(const std::string& strValue)
{
    // A second one would silently win over the first.
    if (!m_strMACAddress.empty())
        return fail(kOneMAC);
    m_strMACAddress = NormalizeMACAddress(strValue);
    if (m_strMACAddress.empty())
        return fail("--mac needs a MAC address such as 00:26:AB:00:00:01, not '" + CVLNetResultText::Shown(strValue) +
                    "'");
    return true;
}

bool CVLNetOptions::setResourceDir(const std::string& strValue)
{
    if (!m_strResourceDir.empty())
        return fail("one resource folder: --resources once");
    if (strValue.empty())
        return fail("--resources needs a folder");
    m_strResourceDir = strValue;
    return true;
}

bool CVLNetOptions::setPassword(const std::string& strValue)
{
    if (m_bPassword)
        return fail(kOnePassword);
    m_bPassword = true;
    m_strPassword = strValue;
    return true;
}

bool CVLNetOptions::setDump(const std::string&)
{
    m_bDump = true;
    return true;
}

bool CVLNetOptions::setForce(const std::string&)
{
    m_bForce = true;
    return true;
}

bool CVLNetOptions::readPasswordFile(const std::string& strPath)
{
    if (m_bPassword)
        return fail(kOnePassword);
    const std::string strWhat = "--password-file: " + CVLNetResultText::Shown(strPath);
    // The file's faults are said in one line: the usage would not help.
    m_bUsageFault = false;
    FILE* pFile = fopen(strPath.c_str(), "rb");
    if (pFile == nullptr)
        return fail(strWhat + " cannot be read: " + strerror(errno));
    // The first line alone, read no further than a password can be long.
    std::string strLine;
    int c;
    while (strLine.size() <= MAX_PASSWORD_BYTES && (c = getc(pFile)) != EOF && c != '\n')
        strLine += static_cast<char>(c);
    const int nError = ferror(pFile) ? errno : 0;
    fclose(pFile);
    if (nError != 0)
        return fail(strWhat + " cannot be read: " + strerror(nError));
    std::string strWhy;
    if (!TakePasswordLine(strLine, strWhy))
        return fail(strWhat + ": the first line " + strWhy);
    // An empty file, or one saved without its password, would send none.
    if (strLine.empty())
        return fail(strWhat + ": the first line is empty (a device without a password takes --password '')");
    // What an editor leaves around a line would be sent as part of the
    // password, and spend one of the device's tries.
    if (strLine.compare(0, sizeof(kByteOrderMark) - 1, kByteOrderMark) == 0)
        return fail(strWhat + ": the file begins with a UTF-8 byte-order mark, which would be sent as part of the "
                              "password: save it without one");
    if (strLine.find_last_of(kBlanks) == strLine.size() - 1)
        return fail(strWhat + ": the first line ends with a blank, which would be sent as part of the password: "
                              "remove it, or give a password that ends so with --password");
    m_bUsageFault = true;
    return setPassword(strLine);
}

bool CVLNetOptions::TakePasswordLine(std::string& strLine, std::string& strWhy)
{
    if (!strLine.empty() && strLine.back() == '\r')
        strLine.pop_back();
    if (strLine.size() > MAX_PASSWORD_BYTES) {
        strWhy = "is longer than " + std::to_string(MAX_PASSWORD_BYTES) + " bytes";
        return false;
    }
    // The record keeps the password as a string, which would end there.
    if (strLine.find('\0') != std::string::npos) {
        strWhy = "holds a NUL byte";
        return false;
    }
    return true;
}

bool CVLNetOptions::Parse(int argc, const char* const* argv)
{
    // "--timeout=5" is read as "--timeout 5", as by the project's other programs.
    std::vector<const char*> valueOptions;
    for (const SOption& option : s_Options) {
        if (option.pfnSet != nullptr && option.szValue != nullptr)
            valueOptions.push_back(option.szName);
    }
    valueOptions.push_back(nullptr);
    std::vector<std::string> arguments = CVLCommandLine("vlnet", "", valueOptions.data()).ReadArguments(argc, argv);
    std::vector<const char*> pointers = {argc > 0 ? argv[0] : "vlnet"};
    for (const std::string& strArgument : arguments)
        pointers.push_back(strArgument.c_str());
    return parseArguments(static_cast<int>(pointers.size()), pointers.data());
}

std::string CVLNetOptions::proposeLine(const std::string& strWhy, const std::vector<std::string>& words)
{
    // The line proposed is parsed as given, so that a line that would be
    // refused too is not proposed.
    std::vector<const char*> argv = {"vlnet"};
    for (const std::string& strWord : words)
        argv.push_back(strWord.c_str());
    CVLNetOptions proposed;
    if (proposed.parseArguments(static_cast<int>(argv.size()), argv.data()) || !proposed.IsUsageFault())
        return strWhy + ": " + LineText(words);
    return strWhy + "; with that fixed: " + proposed.GetErrorText();
}

std::string CVLNetOptions::unknownOptionText(const std::string& strName, const VLNetCommand* pCommand)
{
    const unsigned nCommand = pCommand != nullptr ? pCommand->nBit : static_cast<unsigned>(VLNetCommand::COMMAND_ALL);
    std::string strText =
        "unknown option '" + CVLNetResultText::Shown(strName) + "'" + (pCommand != nullptr ? " for " + std::string(pCommand->szName) : "");
    unsigned nTakers = 0;
    for (const SOption& option : s_Options) {
        if (option.pfnSet != nullptr && strName == option.szName) {
            for (const SOption::SHelp& help : option.helps)
                nTakers |= help.nCommands;
        }
    }
    if (nTakers != 0)
        return strText + " (only " + CVLNetCommands::GetNames(nTakers) + " takes it)";
    // The options that stand where it was given: the command's, and
    // --help and --version anywhere.
    std::vector<std::string> candidates = {kProgramOptions[0], kProgramOptions[1]};
    for (const SOption& option : s_Options) {
        if (option.pfnSet != nullptr && getHelp(option, nCommand) != nullptr)
            candidates.push_back(option.szName);
    }
    // "-v": the long options that start with its letter; else the nearest.
    std::vector<std::string> near;
    const bool bShort = strName.size() == 2 && strName[0] == '-' && strName[1] != '-';
    size_t nNearest = kMaxSuggestedOptionDistance + 1;
    for (const std::string& strCandidate : candidates) {
        if (bShort) {
            if (tolower(static_cast<unsigned char>(strName[1])) == strCandidate[2])
                near.push_back(strCandidate);
            continue;
        }
        const size_t nDistance = CVLCommandLine::Distance(strName, strCandidate);
        if (nDistance < nNearest)
            near.clear();
        if (nDistance <= nNearest) {
            near.push_back(strCandidate);
            nNearest = nDistance;
        }
    }
    for (size_t i = 0; i < near.size(); i++)
        strText += (i == 0 ? "; did you mean " : " or ") + near[i];
    return strText + (near.empty() ? "" : "?");
}

std::string CVLNetOptions::optionBeforeCommandText(int argc, const char* const* argv, std::string& strCommand)
{
    const std::string strOption = argv[1];
    const std::string strWhy =
        "'" + CVLNetResultText::Shown(strOption) + "' stands before the command, and options follow it";
    // The same line with the command first, when it holds one that takes
    // the option.
    for (int i = 2; i < argc; i++) {
        const VLNetCommand* pCommand = CVLNetCommands::Find(argv[i]);
        if (pCommand == nullptr)
            continue;
        strCommand = pCommand->szName;
        if (findOption(strOption, pCommand->nBit) == nullptr)
            return unknownOptionText(strOption, pCommand);
        std::vector<std::string> words = {argv[i]};
        for (int j = 1; j < argc; j++) {
            if (j != i)
                words.push_back(argv[j]);
        }
        return proposeLine(strWhy, words);
    }
    if (findOption(strOption, VLNetCommand::COMMAND_ALL) == nullptr)
        return unknownOptionText(strOption, nullptr);
    return strWhy + ": vlnet COMMAND [ARGUMENTS] [OPTIONS]";
}

std::string CVLNetOptions::commandBeforeDeviceText(int argc, const char* const* argv,
                                                   const std::vector<int>& positional)
{
    if (positional.size() > 1 && IsDevice(argv[positional[1]])) {
        std::vector<std::string> words(argv + 1, argv + argc);
        std::swap(words[positional[0] - 1], words[positional[1] - 1]);
        return proposeLine("the device comes first", words);
    }
    std::string strWhy;
    if (CVLNetCommands::IsDeviceCommand(argv[positional[0]], strWhy))
        return "the device comes first: vlnet " + std::string(argv[1]) + " MAC|IP " + ShellWord(argv[positional[0]]);
    return std::string();
}

bool CVLNetOptions::parseArguments(int argc, const char* const* argv)
{
    if (argc < 2)
        return fail("no command given");
    m_strCommand = argv[1];
    if (CVLCommandLine::IsHelp(m_strCommand) || m_strCommand == "help") {
        // "help probe": the command's own usage; "help bogus" is refused
        // as "bogus" is.
        m_strCommand = argc > 2 ? argv[2] : "";
        if (!m_strCommand.empty() && CVLNetCommands::Find(m_strCommand) == nullptr)
            return fail(CVLNetCommands::UnknownCommandText(m_strCommand));
        m_bHelp = true;
        return true;
    }
    if (CVLCommandLine::IsVersion(m_strCommand)) {
        m_bVersion = true;
        return true;
    }
    const VLNetCommand* pCommand = CVLNetCommands::Find(m_strCommand);
    if (pCommand == nullptr && m_strCommand.size() > 1 && m_strCommand[0] == '-') {
        // The help then pointed to is the command's, when the line has one.
        std::string strCommand;
        const std::string strText = optionBeforeCommandText(argc, argv, strCommand);
        m_strCommand = strCommand;
        return fail(strText);
    }
    if (pCommand == nullptr)
        return fail(CVLNetCommands::UnknownCommandText(m_strCommand));

    std::vector<std::string> positional;
    std::vector<int> positionalAt;  // their places in argv
    if (!parseOptions(argc, argv, *pCommand, positional, positionalAt))
        return false;
    if (m_bHelp || m_bVersion)
        return true;

    if (pCommand->eArguments == VLNetCommand::ARGUMENTS_NONE) {
        if (!positional.empty())
            return fail(m_strCommand + " takes no argument, but '" + CVLNetResultText::Shown(positional[0]) +
                        "' was given");
        return true;
    }
    bool bDevice = pCommand->eArguments == VLNetCommand::ARGUMENTS_DEVICE;
    if (positional.empty())
        return fail(bDevice ? m_strCommand + " needs a MAC or IP address"
                            : m_strCommand + " needs a MAC or IP address and a command");
    if (!parseDevice(argc, argv, positional[0], bDevice, positionalAt))
        return false;
    if (bDevice) {
        if (positional.size() > 1)
            return fail(m_strCommand + " takes one device, but '" + CVLNetResultText::Shown(positional[1]) +
                        "' was also given");
        return true;
    }
    return parseDeviceCommand(positional);
}

bool CVLNetOptions::parseOptions(int argc, const char* const* argv, const VLNetCommand& command,
                                 std::vector<std::string>& positional, std::vector<int>& positionalAt)
{
    for (int i = 2; i < argc; i++) {
        std::string strArg = argv[i];
        if (CVLCommandLine::IsHelp(strArg)) {
            m_bHelp = true;
            return true;
        }
        // Every program takes --version, after a command too.
        if (CVLCommandLine::IsVersion(strArg)) {
            m_bVersion = true;
            return true;
        }
        if (const SOption* pOption = findOption(strArg, command.nBit)) {
            std::string strValue;
            if (pOption->szValue != nullptr) {
                if (i + 1 >= argc)
                    return fail(strArg + " needs a value");
                strValue = argv[++i];
            }
            if (!(this->*pOption->pfnSet)(strValue))
                return false;
            continue;
        }
        if (strArg.size() > 1 && strArg[0] == '-')
            return fail(unknownOptionText(strArg, &command));
        positional.push_back(strArg);
        positionalAt.push_back(i);
    }
    return true;
}

bool CVLNetOptions::parseDevice(int argc, const char* const* argv, const std::string& strDevice, bool bDevice,
                                const std::vector<int>& positionalAt)
{
    m_strMACAddress = NormalizeMACAddress(strDevice);
    if (m_strMACAddress.empty()) {
        unsigned char address[4];
        if (!CVLSocketAddress::ParseDottedQuad(strDevice.c_str(), address)) {
            const std::string strOrder = bDevice ? std::string() : commandBeforeDeviceText(argc, argv, positionalAt);
            if (!strOrder.empty())
                return fail(strOrder);
            return fail("'" + CVLNetResultText::Shown(strDevice) +
                        "' is neither a MAC address (00:26:AB:00:00:01) nor an IPv4 address");
        }
        // The address read, in the form a device's address is given
        // ("10.0.0.010" is 10.0.0.10), so that texts compare as values.
        m_strIPAddress = std::to_string(address[0]) + '.' + std::to_string(address[1]) + '.' +
                         std::to_string(address[2]) + '.' + std::to_string(address[3]);
    }
    return true;
}

bool CVLNetOptions::parseDeviceCommand(const std::vector<std::string>& positional)
{
    // DEVICE COMMAND [PATH=VALUE ...]
    if (positional.size() < 2)
        return fail(m_strCommand + " needs a device command after the device");
    m_strDeviceCommand = positional[1];
    std::string strWhy;
    if (!CVLNetCommands::IsDeviceCommand(m_strDeviceCommand, strWhy))
        return fail(strWhy);
    for (size_t i = 2; i < positional.size(); i++) {
        const std::string& strAssignment = positional[i];
        size_t nEqual = strAssignment.find('=');
        if (nEqual == std::string::npos || nEqual == 0)
            return fail("'" + CVLNetResultText::Shown(strAssignment) + "' is not a PATH=VALUE property setting");
        m_Assignments.emplace_back(strAssignment.substr(0, nEqual), strAssignment.substr(nEqual + 1));
    }
    return true;
}
