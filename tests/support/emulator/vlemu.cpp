// vlemu: plays the devices of a device list on one UDP port until it is
// stopped (SIGINT or SIGTERM). For tests that need the devices in another
// network namespace than the program under test.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/emulator/DeviceEmulator.h"

static int Usage()
{
    fprintf(stderr,
            "usage: vlemu [--port N] [--bind ADDRESS] DEVICES\n"
            "  Plays the devices listed in the file DEVICES (one per line, key=value pairs:\n"
            "  mac, ip, mask, gw, model, number, version, encrypted, cipher, password, ...)\n"
            "  on UDP port N (default 48817) until stopped. Prints \"ready PORT\" when bound.\n");
    return 1;
}

int main(int argc, char** argv)
{
    long nPort = 48817;
    std::string strBind = "0.0.0.0";
    const char* szFile = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
            char* pEnd = nullptr;
            nPort = strtol(argv[++i], &pEnd, 10);
            if (*pEnd || nPort < 0 || nPort > 65535) {
                fprintf(stderr, "vlemu: bad port: %s\n", argv[i]);
                return 1;
            }
        } else if (strcmp(argv[i], "--bind") == 0 && i + 1 < argc) {
            strBind = argv[++i];
        } else if (argv[i][0] == '-' || szFile) {
            return Usage();
        } else {
            szFile = argv[i];
        }
    }
    if (!szFile)
        return Usage();
    std::ifstream in(szFile);
    if (!in) {
        fprintf(stderr, "vlemu: cannot read %s\n", szFile);
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
