// The command line of the project's programs.
#include "base/core/VLCommandLine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/core/VLStandardOutput.h"

CVLCommandLine::CVLCommandLine(const char* szProgram, const char* szUsage, const char* const* ppValueOptions)
    : m_strProgram(szProgram), m_strUsage(szUsage)
{
    for (; ppValueOptions != nullptr && *ppValueOptions != nullptr; ppValueOptions++)
        m_ValueOptions.push_back(*ppValueOptions);
}

void CVLCommandLine::AddCommand(const SCommand& command)
{
    m_Commands.push_back(command);
}

std::string CVLCommandLine::GetUsage() const
{
    std::string strUsage = m_strUsage;
    for (const SCommand& command : m_Commands)
        strUsage += command.szUsage;
    return strUsage;
}

std::vector<std::string> CVLCommandLine::ReadArguments(int argc, const char* const* argv) const
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; i++) {
        std::string strArgument = argv[i];
        if (IsValueOption(strArgument)) {
            // The value that follows stays as it is.
            arguments.push_back(strArgument);
            if (i + 1 < argc)
                arguments.push_back(argv[++i]);
            continue;
        }
        size_t nEqual = strArgument.find('=');
        if (strArgument.compare(0, 2, "--") == 0 && nEqual != std::string::npos &&
            IsValueOption(strArgument.substr(0, nEqual))) {
            arguments.push_back(strArgument.substr(0, nEqual));
            arguments.push_back(strArgument.substr(nEqual + 1));
            continue;
        }
        arguments.push_back(strArgument);
    }
    return arguments;
}

bool CVLCommandLine::IsValueOption(const std::string& strArgument) const
{
    return std::find(m_ValueOptions.begin(), m_ValueOptions.end(), strArgument) != m_ValueOptions.end();
}

bool CVLCommandLine::IsHelp(const std::string& strArgument)
{
    return strArgument == "--help" || strArgument == "-h";
}

bool CVLCommandLine::IsVersion(const std::string& strArgument)
{
    return strArgument == "--version";
}

const char* CVLCommandLine::GetVersion()
{
    return VL_VERSION;
}

bool CVLCommandLine::AsksForHelp(const SCommand& command, const std::vector<std::string>& arguments) const
{
    int nPlain = 0;
    for (size_t i = 1; i < arguments.size(); i++) {
        if (command.nTextFrom > 0 && nPlain >= command.nTextFrom - 1)
            return false;
        const std::string& strArgument = arguments[i];
        if (IsHelp(strArgument))
            return true;
        if (IsValueOption(strArgument))
            i++;
        else if (strArgument.size() < 2 || strArgument[0] != '-')
            nPlain++;
    }
    return false;
}

int CVLCommandLine::WriteOutput(const std::string& strText) const
{
    if (CVLStandardOutput::Write(strText))
        return STATUS_SUCCESS;
    return CVLStandardOutput::Fail(m_strProgram.c_str());
}

int CVLCommandLine::Help() const
{
    return WriteOutput(GetUsage());
}

int CVLCommandLine::Version() const
{
    return WriteOutput(m_strProgram + " " + GetVersion() + "\n");
}

int CVLCommandLine::UsageError(const std::string& strText) const
{
    fprintf(stderr, "%s: %s\n%s", m_strProgram.c_str(), strText.c_str(),
            GetUsageHint(m_strProgram, m_strProgram + " --help").c_str());
    return STATUS_USAGE;
}

std::string CVLCommandLine::GetUsageHint(const std::string& strProgram, const std::string& strHelp)
{
    return strProgram + ": '" + strHelp + "' shows the usage\n";
}

std::string CVLCommandLine::UnknownCommand(const std::string& strName) const
{
    // One edit away from a short name, two from a longer one: what a slip
    // of the fingers does, not another word.
    const SCommand* pNearest = nullptr;
    size_t nNearest = 0;
    for (const SCommand& command : m_Commands) {
        const size_t nMax = strlen(command.szName) >= 5 ? 2 : 1;
        const size_t nDistance = Distance(strName, command.szName);
        if (nDistance <= nMax && (pNearest == nullptr || nDistance < nNearest)) {
            pNearest = &command;
            nNearest = nDistance;
        }
    }
    return "unknown command '" + strName + "'" +
           (pNearest != nullptr ? std::string("; did you mean ") + pNearest->szName + "?" : std::string());
}

int CVLCommandLine::Run(int argc, const char* const* argv) const
{
    if (!CVLStandardOutput::TakeClosedDescriptors()) {
        fprintf(stderr, "%s: a closed standard descriptor cannot be opened on /dev/null\n", m_strProgram.c_str());
        return STATUS_FAILURE;
    }
    std::vector<std::string> arguments = ReadArguments(argc, argv);
    if (arguments.empty())
        return UsageError("no command given");
    // "help COMMAND" is the program's help; of a command it does not have, a
    // fault.
    if (IsHelp(arguments[0]) || arguments[0] == "help") {
        if (arguments.size() > 1 && std::none_of(m_Commands.begin(), m_Commands.end(), [&](const SCommand& command) {
                return arguments[1] == command.szName;
            }))
            return UsageError(UnknownCommand(arguments[1]));
        return Help();
    }
    if (IsVersion(arguments[0]))
        return Version();
    for (const SCommand& command : m_Commands) {
        if (arguments[0] != command.szName)
            continue;
        if (AsksForHelp(command, arguments))
            return Help();
        int nArguments = static_cast<int>(arguments.size()) - 1;
        bool bTooFew = nArguments < command.nMinArguments;
        if (bTooFew || (command.nMaxArguments >= 0 && nArguments > command.nMaxArguments)) {
            int nLimit = bTooFew ? command.nMinArguments : command.nMaxArguments;
            const char* szBound = command.nMinArguments == command.nMaxArguments ? ""
                                  : bTooFew                                      ? "at least "
                                                                                 : "at most ";
            return UsageError(arguments[0] + " takes " + szBound + std::to_string(nLimit) + " argument" +
                              (nLimit == 1 ? "" : "s") + ", not " + std::to_string(nArguments));
        }
        std::vector<char*> pointers;
        for (std::string& strArgument : arguments)
            pointers.push_back(&strArgument[0]);
        pointers.push_back(nullptr);
        int nStatus = command.pfnRun(nArguments + 1, pointers.data());
        if (nStatus == STATUS_USAGE)
            fputs(GetUsageHint(m_strProgram, m_strProgram + " --help").c_str(), stderr);
        return CVLStandardOutput::Finish(m_strProgram.c_str(), nStatus);
    }
    return UsageError(UnknownCommand(arguments[0]));
}

std::string CVLCommandLine::ShellWord(const std::string& strWord)
{
    const char kPlain[] = "+,-./:=@_%";
    bool bPlain = !strWord.empty();
    for (char c : strWord)
        bPlain = bPlain && (isalnum(static_cast<unsigned char>(c)) || strchr(kPlain, c) != nullptr);
    if (bPlain)
        return strWord;
    std::string strQuoted = "'";
    for (char c : strWord)
        strQuoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return strQuoted + "'";
}

std::string CVLCommandLine::LineText(const std::string& strProgram, const std::vector<std::string>& words)
{
    std::string strLine = strProgram;
    for (const std::string& strWord : words)
        strLine += " " + ShellWord(strWord);
    return strLine;
}

size_t CVLCommandLine::Distance(const std::string& strA, const std::string& strB, size_t nBound,
                                std::vector<size_t>& rows)
{
    // The distance is at least the difference of the lengths.
    if (std::max(strA.size(), strB.size()) - std::min(strA.size(), strB.size()) > nBound)
        return nBound + 1;
    const size_t nWidth = strB.size() + 1;
    rows.assign(3 * nWidth, 0);
    size_t* before = rows.data();
    size_t* last = before + nWidth;
    size_t* row = last + nWidth;
    for (size_t j = 0; j < nWidth; j++)
        last[j] = j;
    for (size_t i = 1; i <= strA.size(); i++) {
        row[0] = i;
        size_t nLeast = row[0];
        for (size_t j = 1; j < nWidth; j++) {
            row[j] = std::min({last[j] + 1, row[j - 1] + 1, last[j - 1] + (strA[i - 1] == strB[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && strA[i - 1] == strB[j - 2] && strA[i - 2] == strB[j - 1])
                row[j] = std::min(row[j], before[j - 2] + 1);
            nLeast = std::min(nLeast, row[j]);
        }
        // No later row is less than the least of this one (a swap reaches
        // back two rows, but adds one to a row at most one less).
        if (nLeast > nBound)
            return nBound + 1;
        std::swap(before, last);
        std::swap(last, row);
    }
    return std::min(last[strB.size()], nBound + 1);
}

size_t CVLCommandLine::Distance(const std::string& strA, const std::string& strB)
{
    auto same = [](char a, char b) {
        return tolower(static_cast<unsigned char>(a)) == tolower(static_cast<unsigned char>(b));
    };
    // Three rows: the one before the last, the last, and the one being made.
    std::vector<size_t> before(strB.size() + 1), last(strB.size() + 1), row(strB.size() + 1);
    for (size_t j = 0; j <= strB.size(); j++)
        last[j] = j;
    for (size_t i = 1; i <= strA.size(); i++) {
        row[0] = i;
        for (size_t j = 1; j <= strB.size(); j++) {
            row[j] = std::min({last[j] + 1, row[j - 1] + 1, last[j - 1] + (same(strA[i - 1], strB[j - 1]) ? 0 : 1)});
            if (i > 1 && j > 1 && same(strA[i - 1], strB[j - 2]) && same(strA[i - 2], strB[j - 1]))
                row[j] = std::min(row[j], before[j - 2] + 1);
        }
        before.swap(last);
        last.swap(row);
    }
    return last[strB.size()];
}
