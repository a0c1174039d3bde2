// Whole discoveries with vlnet: the time from the program's start to the
// first device printed and to the last of N devices spread over five
// networks, beside the floor the design sets, and the peak memory per
// device found. Needs root (network namespaces); skips otherwise.
//
// The floor: the dispatch thread delivers one queued callback per 5 ms
// pass, and a device needs its first probe reply and the results of its
// two follow-up commands (CheckUnicast, GetListInfo) delivered. Its further
// replies (to the second and third probe sends, and through a second
// socket) repeat the first and are dropped by the reply filter before they
// are queued. The floor of the last device is that queue run with every
// device answering at once and replies and command results taking no time
// at all: three passes per device. For the first device the same run is
// only an estimate ("fifo_first_ms"): replies that arrive spread over time
// let a device complete sooner.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TestNetwork.h"

namespace {
const int kNetworks = 5;
const double kDispatchMs = 5.0;

struct Floor
{
    double dFirstMs;
    double dLastMs;
};

// The dispatch queue with instant replies: each entry is a device's first
// probe reply (kind 0) or a command result (kinds 1, 2); a device is
// complete when its second result has been delivered.
Floor ComputeFloor(int nDevices)
{
    struct Entry
    {
        int nDevice;
        int nKind;
    };
    std::deque<Entry> queue;
    for (int i = 0; i < nDevices; i++)
        queue.push_back({i, 0});
    Floor floor = {-1, -1};
    int nComplete = 0;
    double dNow = 0;
    while (!queue.empty()) {
        Entry e = queue.front();
        queue.pop_front();
        dNow += kDispatchMs;
        if (e.nKind < 2) {
            queue.push_back({e.nDevice, e.nKind + 1});
        } else {
            if (nComplete++ == 0)
                floor.dFirstMs = dNow;
            floor.dLastMs = dNow;
        }
    }
    return floor;
}

std::string BinDir()
{
    std::string strEmu = TestEmulatorProgram();
    return strEmu.substr(0, strEmu.rfind('/'));
}

std::string Mac(int nNetwork, int nIndex)
{
    char sz[32];
    snprintf(sz, sizeof(sz), "00:26:AB:%02X:%02X:01", 0x20 + nNetwork, nIndex);
    return sz;
}

// Five networks of nDevices / 5 devices each, behind the computer "pc".
std::unique_ptr<CTestNetwork> MakeNetwork(int nDevices, std::string& strError)
{
    auto net = std::make_unique<CTestNetwork>();
    if (!net->AddHost("pc", &strError))
        return nullptr;
    for (int n = 1; n <= kNetworks; n++) {
        std::string strHost = "n" + std::to_string(n);
        if (!net->AddHost(strHost, &strError))
            return nullptr;
        std::vector<std::string> addresses;
        std::string strList;
        for (int i = 0; i < nDevices / kNetworks; i++) {
            std::string strIP = "10.202." + std::to_string(n) + "." + std::to_string(10 + i);
            addresses.push_back(strIP + "/24");
            strList += "mac=" + Mac(n, i) + " ip=" + strIP + " mask=255.255.255.0 model=\"Bench\"\n";
        }
        if (!net->Link("pc", "vl" + std::to_string(n), {"10.202." + std::to_string(n) + ".1/24"}, strHost,
                       "vd" + std::to_string(n), addresses, &strError) ||
            !net->StartEmulator(strHost, strList, 48817, TestEmulatorProgram(), &strError))
            return nullptr;
    }
    return net;
}

// One run of "vlnet probe" in "pc": "first last count maxrss" (ms, ms, lines, kB).
std::string RunProbe(CTestNetwork& net)
{
    return net.RunIn("pc", []() -> std::string {
        int out[2];
        if (pipe(out) != 0)
            return "FAIL";
        auto start = std::chrono::steady_clock::now();
        pid_t pid = fork();
        if (pid == 0) {
            dup2(out[1], 1);
            close(out[0]), close(out[1]);
            std::string strProgram = BinDir() + "/vlnet", strResources = BinDir() + "/../share/vlnet";
            execl(strProgram.c_str(), strProgram.c_str(), "probe", "--resources", strResources.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        double dFirst = -1, dLast = -1;
        int nLines = 0;
        char buffer[4096];
        ssize_t n;
        while ((n = read(out[0], buffer, sizeof(buffer))) > 0) {
            double dNow = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            for (ssize_t i = 0; i < n; i++) {
                if (buffer[i] != '\n')
                    continue;
                if (nLines++ == 0)
                    dFirst = dNow;
                dLast = dNow;
            }
        }
        close(out[0]);
        int nStatus = 0;
        struct rusage usage = {};
        wait4(pid, &nStatus, 0, &usage);
        std::ostringstream result;
        result << dFirst << " " << dLast << " " << nLines << " " << usage.ru_maxrss;
        return result.str();
    });
}

void BM_Discovery(benchmark::State& state)
{
    std::string strSkip = CTestNetwork::Unavailable();
    if (!strSkip.empty()) {
        state.SkipWithError(strSkip.c_str());
        return;
    }
    int nDevices = static_cast<int>(state.range(0));
    std::string strError;
    auto net = MakeNetwork(nDevices, strError);
    if (!net) {
        state.SkipWithError(strError.c_str());
        return;
    }
    double dFirst = 0, dLast = 0, dRSS = 0;
    int nRuns = 0, nFound = 0;
    for (auto _ : state) {
        std::istringstream in(RunProbe(*net));
        double dRunFirst, dRunLast, dRunRSS;
        int nLines;
        if (!(in >> dRunFirst >> dRunLast >> nLines >> dRunRSS)) {
            state.SkipWithError("vlnet did not run");
            return;
        }
        state.SetIterationTime((dRunLast > 0 ? dRunLast : 0) / 1000.0);
        dFirst += dRunFirst, dLast += dRunLast, dRSS += dRunRSS;
        nFound += nLines;
        nRuns++;
    }
    Floor floor = ComputeFloor(nDevices);
    state.counters["first_ms"] = dFirst / nRuns;
    state.counters["last_ms"] = dLast / nRuns;
    state.counters["fifo_first_ms"] = floor.dFirstMs;
    state.counters["floor_last_ms"] = floor.dLastMs;
    state.counters["last_vs_floor"] = dLast / nRuns / floor.dLastMs;
    state.counters["found"] = static_cast<double>(nFound) / nRuns;
    state.counters["peak_kB_per_device"] = nFound > 0 ? dRSS / nFound : 0;
}
}  // namespace

BENCHMARK(BM_Discovery)->Arg(10)->Arg(50)->Arg(250)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
