// The command line of vlnet.
#include "app/VLNetOptions.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/VLNetCommands.h"
#include "base/core/VLCommandLine.h"
#include "base/net/VLMACAddress.h"
#include "base/net/VLSocketAddress.h"
#include "ecm/VLECMCommandList.h"

namespace {
// The commands run offers: those the device manager carries out.
#define VLNET_RUN_COMMAND_NAME(ID, NAME, REPORT, CARRIED, RETRY) VLNET_RUN_NAME_##CARRIED(NAME)
#define VLNET_RUN_NAME_true(NAME) #NAME,
#define VLNET_RUN_NAME_false(NAME)
const char* const kDeviceCommands[] = {VLECM_COMMAND_LIST(VLNET_RUN_COMMAND_NAME)};
}  // namespace

CVLNetOptions::CVLNetOptions()
    : m_bHelp(false), m_nTimeoutSeconds(DEFAULT_TIMEOUT_SECONDS), m_bPassword(false), m_bDump(false)
{
}

std::string CVLNetOptions::GetUsage(const std::string& strCommand)
{
    const VLNetCommand* pCommand = CVLNetCommands::Find(strCommand);
    return pCommand != nullptr ? pCommand->szUsage : CVLNetCommands::GetProgramUsage();
}

std::string CVLNetOptions::NormalizeMACAddress(const std::string& strText)
{
    CVLString strMAC = CVLMACAddress::Normalize(strText.c_str(), ":");
    const char* sz = strMAC.GetBuffer();
    return sz != nullptr ? std::string(sz) : std::string();
}

bool CVLNetOptions::IsDeviceCommand(const std::string& strName)
{
    for (const char* szName : kDeviceCommands) {
        if (strName == szName)
            return true;
    }
    return false;
}

bool CVLNetOptions::fail(const std::string& strText)
{
    m_strErrorText = strText;
    return false;
}

bool CVLNetOptions::parseTimeout(const std::string& strValue)
{
    if (strValue.empty() || strValue.size() > 6)
        return fail("--timeout needs a whole number of seconds from 1 to 86400, not '" + strValue + "'");
    long nValue = 0;
    for (char c : strValue) {
        if (!isdigit(static_cast<unsigned char>(c)))
            return fail("--timeout needs a whole number of seconds from 1 to 86400, not '" + strValue + "'");
        nValue = nValue * 10 + (c - '0');
    }
    if (nValue < 1 || nValue > MAX_TIMEOUT_SECONDS)
        return fail("--timeout needs a whole number of seconds from 1 to 86400, not '" + strValue + "'");
    m_nTimeoutSeconds = static_cast<int>(nValue);
    return true;
}

bool CVLNetOptions::readPasswordFile(const std::string& strPath)
{
    const std::string strWhat = "--password-file: " + strPath;
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
    if (!strLine.empty() && strLine.back() == '\r')
        strLine.pop_back();
    if (strLine.size() > MAX_PASSWORD_BYTES)
        return fail(strWhat + ": the first line is longer than " + std::to_string(MAX_PASSWORD_BYTES) + " bytes");
    if (strLine.find('\0') != std::string::npos)
        return fail(strWhat + ": the first line holds a NUL byte");
    m_bPassword = true;
    m_strPassword = strLine;
    return true;
}

bool CVLNetOptions::Parse(int argc, const char* const* argv)
{
    // "--timeout=5" is read as "--timeout 5", as by the project's other programs.
    static const char* const kValueOptions[] = {"--timeout",  "--resources",     "--mac",
                                                "--password", "--password-file", nullptr};
    std::vector<std::string> arguments = CVLCommandLine("vlnet", "", kValueOptions).ReadArguments(argc, argv);
    std::vector<const char*> pointers = {argc > 0 ? argv[0] : "vlnet"};
    for (const std::string& strArgument : arguments)
        pointers.push_back(strArgument.c_str());
    return parseArguments(static_cast<int>(pointers.size()), pointers.data());
}

bool CVLNetOptions::parseArguments(int argc, const char* const* argv)
{
    if (argc < 2)
        return fail("no command given");
    m_strCommand = argv[1];
    if (CVLCommandLine::IsHelp(m_strCommand) || m_strCommand == "help") {
        m_strCommand.clear();
        m_bHelp = true;
        return true;
    }
    const VLNetCommand* pCommand = CVLNetCommands::Find(m_strCommand);
    if (pCommand == nullptr)
        return fail("unknown command '" + m_strCommand + "'");

    std::vector<std::string> positional;
    for (int i = 2; i < argc; i++) {
        std::string strArg = argv[i];
        if (CVLCommandLine::IsHelp(strArg)) {
            m_bHelp = true;
            return true;
        }
        if (strArg == "--dump" && (pCommand->nOptions & VLNetCommand::OPTION_DUMP) != 0) {
            m_bDump = true;
            continue;
        }
        bool bTakesValue = strArg == "--timeout" || strArg == "--resources" ||
                           (strArg == "--mac" && (pCommand->nOptions & VLNetCommand::OPTION_MAC) != 0) ||
                           ((strArg == "--password" || strArg == "--password-file") &&
                            (pCommand->nOptions & VLNetCommand::OPTION_PASSWORD) != 0);
        if (bTakesValue) {
            if (i + 1 >= argc)
                return fail(strArg + " needs a value");
            std::string strValue = argv[++i];
            if ((strArg == "--password" || strArg == "--password-file") && m_bPassword)
                return fail("one password: --password or --password-file, once");
            if (strArg == "--timeout") {
                if (!parseTimeout(strValue))
                    return false;
            } else if (strArg == "--resources") {
                if (strValue.empty())
                    return fail("--resources needs a folder");
                m_strResourceDir = strValue;
            } else if (strArg == "--mac") {
                m_strMACAddress = NormalizeMACAddress(strValue);
                if (m_strMACAddress.empty())
                    return fail("--mac needs a MAC address such as 00:26:AB:00:00:01, not '" + strValue + "'");
            } else if (strArg == "--password-file") {
                if (!readPasswordFile(strValue))
                    return false;
            } else {
                m_bPassword = true;
                m_strPassword = strValue;
            }
            continue;
        }
        if (strArg.size() > 1 && strArg[0] == '-')
            return fail("unknown option '" + strArg + "' for " + m_strCommand);
        positional.push_back(strArg);
    }

    if (pCommand->eArguments == VLNetCommand::ARGUMENTS_NONE) {
        if (!positional.empty())
            return fail(m_strCommand + " takes no argument, but '" + positional[0] + "' was given");
        return true;
    }
    bool bDevice = pCommand->eArguments == VLNetCommand::ARGUMENTS_DEVICE;
    if (positional.empty())
        return fail(bDevice ? m_strCommand + " needs a MAC or IP address"
                            : m_strCommand + " needs a MAC address and a command");
    const std::string& strDevice = positional[0];
    m_strMACAddress = NormalizeMACAddress(strDevice);
    if (bDevice) {
        if (positional.size() > 1)
            return fail(m_strCommand + " takes one device, but '" + positional[1] + "' was also given");
        if (m_strMACAddress.empty()) {
            unsigned char address[4];
            if (!CVLSocketAddress::ParseDottedQuad(strDevice.c_str(), address))
                return fail("'" + strDevice + "' is neither a MAC address (00:26:AB:00:00:01) nor an IPv4 address");
            // The address read, in the form a device's address is given
            // ("10.0.0.010" is 10.0.0.10), so that texts compare as values.
            m_strIPAddress = std::to_string(address[0]) + '.' + std::to_string(address[1]) + '.' +
                             std::to_string(address[2]) + '.' + std::to_string(address[3]);
        }
        return true;
    }
    // MAC COMMAND [PATH=VALUE ...]
    if (m_strMACAddress.empty())
        return fail("'" + strDevice + "' is not a MAC address such as 00:26:AB:00:00:01");
    if (positional.size() < 2)
        return fail(m_strCommand + " needs a device command after the MAC address");
    m_strDeviceCommand = positional[1];
    if (!IsDeviceCommand(m_strDeviceCommand))
        return fail("unknown device command '" + m_strDeviceCommand + "'");
    for (size_t i = 2; i < positional.size(); i++) {
        const std::string& strAssignment = positional[i];
        size_t nEqual = strAssignment.find('=');
        if (nEqual == std::string::npos || nEqual == 0)
            return fail("'" + strAssignment + "' is not a PATH=VALUE property setting");
        m_Assignments.emplace_back(strAssignment.substr(0, nEqual), strAssignment.substr(nEqual + 1));
    }
    return true;
}
