// The command line of the project's programs.
#include "base/core/VLCommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

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
    // The error number of the first write that failed, before any other call.
    int nError = 0;
    if (fputs(strText.c_str(), stdout) == EOF)
        nError = errno;
    if (fflush(stdout) != 0 && nError == 0)
        nError = errno;
    if (nError == 0 && ferror(stdout))
        nError = EIO;
    if (nError == 0)
        return STATUS_SUCCESS;
    fprintf(stderr, "%s: standard output could not be written: %s\n", m_strProgram.c_str(), strerror(nError));
    return STATUS_FAILURE;
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
    fprintf(stderr, "%s: %s\n\n%s", m_strProgram.c_str(), strText.c_str(), GetUsage().c_str());
    return STATUS_USAGE;
}

int CVLCommandLine::Run(int argc, const char* const* argv) const
{
    std::vector<std::string> arguments = ReadArguments(argc, argv);
    if (arguments.empty())
        return UsageError("no command given");
    // "help COMMAND" is the program's help; of a command it does not have, a
    // fault.
    if (IsHelp(arguments[0]) || arguments[0] == "help") {
        if (arguments.size() > 1 && std::none_of(m_Commands.begin(), m_Commands.end(), [&](const SCommand& command) {
                return arguments[1] == command.szName;
            }))
            return UsageError("unknown command '" + arguments[1] + "'");
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
            fprintf(stderr, "\n%s", GetUsage().c_str());
        return nStatus;
    }
    return UsageError("unknown command '" + arguments[0] + "'");
}
