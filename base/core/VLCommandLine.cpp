// The command line of the project's programs.
#include "base/core/VLCommandLine.h"

#include <algorithm>
#include <cstdio>

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
        if (std::find(m_ValueOptions.begin(), m_ValueOptions.end(), strArgument) != m_ValueOptions.end()) {
            // The value that follows stays as it is.
            arguments.push_back(strArgument);
            if (i + 1 < argc)
                arguments.push_back(argv[++i]);
            continue;
        }
        size_t nEqual = strArgument.find('=');
        if (strArgument.compare(0, 2, "--") == 0 && nEqual != std::string::npos &&
            std::find(m_ValueOptions.begin(), m_ValueOptions.end(), strArgument.substr(0, nEqual)) !=
                m_ValueOptions.end()) {
            arguments.push_back(strArgument.substr(0, nEqual));
            arguments.push_back(strArgument.substr(nEqual + 1));
            continue;
        }
        arguments.push_back(strArgument);
    }
    return arguments;
}

bool CVLCommandLine::IsHelp(const std::string& strArgument)
{
    return strArgument == "--help" || strArgument == "-h";
}

int CVLCommandLine::Help() const
{
    fputs(GetUsage().c_str(), stdout);
    return fflush(stdout) == 0 && !ferror(stdout) ? STATUS_SUCCESS : STATUS_FAILURE;
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
    if (IsHelp(arguments[0]) || arguments[0] == "help")
        return Help();
    for (const SCommand& command : m_Commands) {
        if (arguments[0] != command.szName)
            continue;
        if (std::find_if(arguments.begin(), arguments.end(), IsHelp) != arguments.end())
            return Help();
        int nArguments = static_cast<int>(arguments.size()) - 1;
        if (nArguments < command.nMinArguments || (command.nMaxArguments >= 0 && nArguments > command.nMaxArguments))
            return UsageError(arguments[0] + ": " + std::to_string(nArguments) + " argument" +
                              (nArguments == 1 ? "" : "s") + " given, see its usage");
        std::vector<char*> pointers;
        for (std::string& strArgument : arguments)
            pointers.push_back(&strArgument[0]);
        pointers.push_back(nullptr);
        return command.pfnRun(nArguments + 1, pointers.data());
    }
    return UsageError("unknown command '" + arguments[0] + "'");
}
