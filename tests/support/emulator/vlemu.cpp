// vlemu: plays the devices of a device list on one UDP port until it is
// stopped (SIGINT or SIGTERM). For tests that need the devices in another
// network namespace than the program under test.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "base/core/VLCommandLine.h"
#include "tests/support/emulator/DeviceEmulator.h"

namespace {
const char kUsage[] = "usage: vlemu [--port N] [--bind ADDRESS] DEVICES\n"
                      "Plays the devices listed in the file DEVICES on UDP port N (default 48817)\n"
                      "until stopped. Prints \"ready PORT\" when bound.\n"
                      "\n"
                      "  --port N           the UDP port (0: any free one)\n"
                      "  --bind ADDRESS     the address to bind (default 0.0.0.0)\n"
                      "\n"
                      "DEVICES holds one device per line, blank-separated KEY=VALUE pairs (values may\n"
                      "be in double quotes; '#' starts a comment):\n";
}  // namespace

int main(int argc, char** argv)
{
    static const char* const kValueOptions[] = {"--port", "--bind", nullptr};
    CVLCommandLine line("vlemu", (kUsage + EmuDeviceKeysUsage()).c_str(), kValueOptions);
    long nPort = 48817;
    std::string strBind = "0.0.0.0";
    std::string strFile;
    std::vector<std::string> arguments = line.ReadArguments(argc, argv);
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& strArgument = arguments[i];
        if (CVLCommandLine::IsHelp(strArgument))
            return line.Help();
        if (CVLCommandLine::IsVersion(strArgument))
            return line.Version();
        bool bValue = strArgument == "--port" || strArgument == "--bind";
        if (bValue && i + 1 >= arguments.size())
            return line.UsageError(strArgument + " needs a value");
        if (strArgument == "--port") {
            const std::string& strPort = arguments[++i];
            char* pEnd = nullptr;
            nPort = strtol(strPort.c_str(), &pEnd, 10);
            if (strPort.empty() || *pEnd || nPort < 0 || nPort > 65535)
                return line.UsageError("bad port: " + strPort);
        } else if (strArgument == "--bind") {
            strBind = arguments[++i];
        } else if (strArgument.size() > 1 && strArgument[0] == '-') {
            return line.UsageError("unknown option '" + strArgument + "'");
        } else if (!strFile.empty()) {
            return line.UsageError("one file of devices, but '" + strArgument + "' was also given");
        } else {
            strFile = strArgument;
        }
    }
    if (strFile.empty())
        return line.UsageError("no file of devices given");
    const char* szFile = strFile.c_str();
    std::ifstream in(szFile);
    if (!in) {
        fprintf(stderr, "vlemu: cannot read %s: %s\n", szFile, strerror(errno));
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::vector<EmuDevice> devices;
    std::string strError;
    if (!EmuParseDevices(text.str(), devices, &strError)) {
        fprintf(stderr, "vlemu: %s: %s\n", szFile, strError.c_str());
        return 1;
    }
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);  // before the emulator's thread starts
    CDeviceEmulator emulator(static_cast<uint16_t>(nPort), strBind);
    for (const EmuDevice& d : devices)
        emulator.AddDevice(d);
    if (!emulator.Start(&strError)) {
        fprintf(stderr, "vlemu: %s\n", strError.c_str());
        return 1;
    }
    printf("ready %u\n", emulator.Port());
    fflush(stdout);
    int nSignal = 0;
    sigwait(&set, &nSignal);
    emulator.Stop();
    return 0;
}
