// vltestnet: holds a throw-away network of emulated devices (see
// CDeviceNetworks) until its standard input ends or it is stopped (SIGINT,
// SIGTERM, SIGHUP), then removes everything it made. For tools/demo.sh,
// which runs vlnet in the computer's namespace meanwhile.
//
//   vltestnet --network N DEVICE... [--network N DEVICE...]...
//
// Prints "computer NAMESPACE", one "device MAC IP MODEL-WORDS... listed|unlisted"
// line per device, and "ready" once the devices answer.
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/core/VLCommandLine.h"
#include "tests/support/DeviceNetworks.h"

namespace {
volatile sig_atomic_t s_bStop = 0;

void OnStop(int)
{
    s_bStop = 1;
}

const char kUsage[] = "usage: vltestnet --network N DEVICE... [--network N DEVICE...]...\n"
                      "  Makes a computer's network namespace joined to networks 10.201.N.0/24 (N from\n"
                      "  1 to 99) of emulated devices, one per DEVICE (the emulator's keys, e.g.\n"
                      "  \"encrypted=1 password=secret\"; \"\" for a plain one; 'vlemu --help' lists\n"
                      "  them). A device's address and mask are its network's; its MAC and model\n"
                      "  are made up unless mac= and model= give them. Keeps them until standard\n"
                      "  input ends or it is stopped, then removes them. Needs root.\n";

bool ParseNumber(const char* sz, int& nValue)
{
    char* pEnd = nullptr;
    long n = strtol(sz, &pEnd, 10);
    if (*sz == '\0' || *pEnd != '\0' || n < 1 || n > 99)
        return false;
    nValue = static_cast<int>(n);
    return true;
}
}  // namespace

int main(int argc, char** argv)
{
    static const char* const kValueOptions[] = {"--network", nullptr};
    CVLCommandLine line("vltestnet", kUsage, kValueOptions);
    std::vector<std::string> arguments = line.ReadArguments(argc, argv);
    std::vector<std::pair<int, std::vector<std::string>>> networks;
    for (size_t i = 0; i < arguments.size(); i++) {
        const std::string& strArgument = arguments[i];
        if (CVLCommandLine::IsHelp(strArgument))
            return line.Help();
        if (CVLCommandLine::IsVersion(strArgument))
            return line.Version();
        if (strArgument == "--network") {
            int nNetwork = 0;
            if (i + 1 >= arguments.size() || !ParseNumber(arguments[++i].c_str(), nNetwork))
                return line.UsageError("--network needs a number from 1 to 99");
            networks.push_back({nNetwork, {}});
        } else if (strArgument.compare(0, 2, "--") == 0) {
            return line.UsageError("unknown option '" + strArgument + "'");
        } else if (networks.empty()) {
            return line.UsageError("a DEVICE before the first --network");
        } else {
            networks.back().second.push_back(strArgument);
        }
    }
    if (networks.empty())
        return line.UsageError("no --network given");
    std::string strUnavailable = CTestNetwork::Unavailable();
    if (!strUnavailable.empty()) {
        fprintf(stderr, "vltestnet: %s\n", strUnavailable.c_str());
        return 1;
    }

    // A stop while the networks are made is taken once they are complete,
    // so that the destructor removes all of them.
    struct sigaction action = {};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);
    for (int nSignal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(nSignal, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    int nExit = 0;
    {
        CDeviceNetworks devices;
        std::string strError;
        bool bMade = devices.AddComputer(&strError);
        for (size_t i = 0; bMade && i < networks.size(); i++)
            bMade = devices.AddNetwork(networks[i].first, networks[i].second, &strError);
        if (!bMade) {
            fprintf(stderr, "vltestnet: %s\n", strError.c_str());
            nExit = 1;
        } else if (!s_bStop) {
            printf("computer %s\n", devices.GetNetwork().Namespace(CDeviceNetworks::kComputer).c_str());
            for (const CDeviceNetworks::Device& device : devices.GetDevices())
                printf("device %s %s %s %s\n", device.strMAC.c_str(), device.strIP.c_str(), device.strModel.c_str(),
                       device.bListed ? "listed" : "unlisted");
            printf("ready\n");
            fflush(stdout);
            // Until standard input ends (its writer is gone) or a signal.
            pollfd input = {0, POLLIN, 0};
            while (!s_bStop) {
                int n = poll(&input, 1, 200);
                if (n > 0) {
                    char buffer[256];
                    if (read(0, buffer, sizeof(buffer)) <= 0)
                        break;
                }
            }
        }
    }
    return nExit;
}
