// Whole discoveries with vlnet: the time from the program's start to the
// first device printed and to the last, and its peak memory, on two
// layouts: N devices spread over five networks, answering at once; and one
// network (a /22) holding N devices (500: near a network's bound of 512),
// answering within 0.1 s as a busy network's devices do, where a
// per-network ceiling shows. "found" counts the lines printed and
// "exit_max" is the highest exit status of the runs: together they show
// whether a network within its bound is listed whole with status 0;
// "cpu_ms_per_device" is the program's user and system time per device. Needs
// root (network namespaces); skips otherwise.
//
// Beside the last device stands the dispatch thread's own pacing
// ("pacing_last_ms"): it delivers one queued callback per 5 ms pass, and a
// device needs three delivered (its first probe reply and the results of
// its two follow-up commands, CheckUnicast and GetListInfo; the repeats of
// a reply are dropped before they are queued). With every device answering
// at once and nothing else taking time, the last device is listed after
// three passes per device. The first device has no such figure: replies
// and command results arrive spread over time, so it is given as measured.
//
// The memory a device adds is the growth of the peak between two sizes of
// network ("kB_per_device", BM_DiscoveryGrowth): the peak at one size alone
// is mostly the program's fixed share.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TestNetwork.h"

namespace {
// The two layouts: five /24 networks, or one /22 (its 500 devices near a
// network's bound of 512 devices a probe admits).
const int kSpreadNetworks = 5;
const int kOneNetwork = 1;
// How late the devices of the one network answer, at most.
const int kOneNetworkSpreadMs = 100;
// The dispatch thread's pass, and the callbacks a device needs delivered.
const double kDispatchMs = 5.0;
const int kCallbacksPerDevice = 3;

std::string BinDir()
{
    std::string strEmu = TestEmulatorProgram();
    return strEmu.substr(0, strEmu.rfind('/'));
}

std::string Mac(int nNetwork, int nIndex)
{
    char sz[32];
    snprintf(sz, sizeof(sz), "00:26:AB:%02X:%02X:%02X", 0x20 + nNetwork, nIndex / 256, nIndex % 256);
    return sz;
}

// Network n's address with the last part (or, on the /22, the last ten
// bits) nHost, and its prefix length.
std::string Address(int nNetworks, int nNetwork, int nHost)
{
    if (nNetworks == kOneNetwork)
        return "10.203." + std::to_string(nHost / 256) + "." + std::to_string(nHost % 256);
    return "10.202." + std::to_string(nNetwork) + "." + std::to_string(nHost);
}

std::string Prefix(int nNetworks)
{
    return nNetworks == kOneNetwork ? "/22" : "/24";
}

// nNetworks networks of nDevices / nNetworks devices each, behind the
// computer "pc"; a device answers up to nSpreadMs late (device i i % nSpreadMs).
std::unique_ptr<CTestNetwork> MakeNetwork(int nNetworks, int nDevices, int nSpreadMs, std::string& strError)
{
    // The computer holds host 1, the devices from host 10 on.
    const int kComputerHost = 1, kFirstDeviceHost = 10;
    auto net = std::make_unique<CTestNetwork>();
    if (!net->AddHost("pc", &strError))
        return nullptr;
    for (int n = 1; n <= nNetworks; n++) {
        std::string strHost = "n" + std::to_string(n);
        if (!net->AddHost(strHost, &strError))
            return nullptr;
        std::vector<std::string> addresses;
        std::string strList;
        for (int i = 0; i < nDevices / nNetworks; i++) {
            std::string strIP = Address(nNetworks, n, kFirstDeviceHost + i);
            addresses.push_back(strIP + Prefix(nNetworks));
            strList += "mac=" + Mac(n, i) + " ip=" + strIP +
                       " mask=" + (nNetworks == kOneNetwork ? "255.255.252.0" : "255.255.255.0") + " model=\"Bench\"";
            if (nSpreadMs > 0)
                strList += " delay=" + std::to_string(i % nSpreadMs);
            strList += "\n";
        }
        if (!net->Link("pc", "vl" + std::to_string(n), {Address(nNetworks, n, kComputerHost) + Prefix(nNetworks)},
                       strHost, "vd" + std::to_string(n), addresses, &strError) ||
            !net->StartEmulator(strHost, strList, 48817, TestEmulatorProgram(), &strError))
            return nullptr;
    }
    return net;
}

// One run of "vlnet probe" in "pc": "first last count maxrss status cpu" (ms,
// ms, lines, kB, exit status or -1, user + system ms).
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
        result << dFirst << " " << dLast << " " << nLines << " " << usage.ru_maxrss << " "
               << (WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1) << " "
               << (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
                      (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
        return result.str();
    });
}

// One probe's figures, from RunProbe's text.
struct SProbe
{
    double dFirstMs = 0;
    double dLastMs = 0;
    int nLines = 0;
    double dPeakKB = 0;
    int nStatus = 0;
    double dCpuMs = 0;
};

bool ReadProbe(CTestNetwork& net, SProbe& probe)
{
    std::istringstream in(RunProbe(net));
    return static_cast<bool>(in >> probe.dFirstMs >> probe.dLastMs >> probe.nLines >> probe.dPeakKB >> probe.nStatus >>
                             probe.dCpuMs);
}

// Probes of a layout, five runs; the figures are their means.
void RunDiscovery(benchmark::State& state, int nNetworks, int nSpreadMs)
{
    std::string strSkip = CTestNetwork::Unavailable();
    if (!strSkip.empty()) {
        state.SkipWithError(strSkip.c_str());
        return;
    }
    int nDevices = static_cast<int>(state.range(0));
    std::string strError;
    auto net = MakeNetwork(nNetworks, nDevices, nSpreadMs, strError);
    if (!net) {
        state.SkipWithError(strError.c_str());
        return;
    }
    double dFirst = 0, dLast = 0, dPeak = 0, dCpu = 0;
    int nRuns = 0, nFound = 0, nExitMax = 0;
    for (auto _ : state) {
        SProbe probe;
        if (!ReadProbe(*net, probe)) {
            state.SkipWithError("vlnet did not run");
            return;
        }
        state.SetIterationTime((probe.dLastMs > 0 ? probe.dLastMs : 0) / 1000.0);
        dFirst += probe.dFirstMs, dLast += probe.dLastMs, dPeak += probe.dPeakKB, dCpu += probe.dCpuMs;
        nFound += probe.nLines;
        nExitMax = std::max(nExitMax, probe.nStatus);
        nRuns++;
    }
    double dPacing = kCallbacksPerDevice * kDispatchMs * nDevices;
    state.counters["first_ms"] = dFirst / nRuns;
    state.counters["last_ms"] = dLast / nRuns;
    state.counters["pacing_last_ms"] = dPacing;
    state.counters["last_vs_pacing"] = dLast / nRuns / dPacing;
    state.counters["found"] = static_cast<double>(nFound) / nRuns;
    state.counters["exit_max"] = nExitMax;
    state.counters["peak_MB"] = dPeak / nRuns / 1000;
    // The program's own work per device (user and system time): its
    // waiting loop's passes must not grow with the devices.
    state.counters["cpu_ms_per_device"] = dCpu / nRuns / nDevices;
}

void BM_Discovery(benchmark::State& state)
{
    RunDiscovery(state, kSpreadNetworks, 0);
}

void BM_DiscoveryOneNetwork(benchmark::State& state)
{
    RunDiscovery(state, kOneNetwork, kOneNetworkSpreadMs);
}

// The peak memory of a probe of the smaller and of the larger network, and
// the growth per device between them; the time is both probes'.
void BM_DiscoveryGrowth(benchmark::State& state)
{
    std::string strSkip = CTestNetwork::Unavailable();
    if (!strSkip.empty()) {
        state.SkipWithError(strSkip.c_str());
        return;
    }
    int nSmall = static_cast<int>(state.range(0)), nLarge = static_cast<int>(state.range(1));
    std::string strError;
    auto small = MakeNetwork(kSpreadNetworks, nSmall, 0, strError);
    auto large = small ? MakeNetwork(kSpreadNetworks, nLarge, 0, strError) : nullptr;
    if (!large) {
        state.SkipWithError(strError.c_str());
        return;
    }
    double dSmallPeak = 0, dLargePeak = 0;
    int nRuns = 0;
    for (auto _ : state) {
        SProbe smallProbe, largeProbe;
        if (!ReadProbe(*small, smallProbe) || !ReadProbe(*large, largeProbe)) {
            state.SkipWithError("vlnet did not run");
            return;
        }
        if (smallProbe.nLines != nSmall || largeProbe.nLines != nLarge) {
            state.SkipWithError("a probe missed devices");
            return;
        }
        state.SetIterationTime((smallProbe.dLastMs + largeProbe.dLastMs) / 1000.0);
        dSmallPeak += smallProbe.dPeakKB, dLargePeak += largeProbe.dPeakKB;
        nRuns++;
    }
    state.counters["small_peak_MB"] = dSmallPeak / nRuns / 1000;
    state.counters["large_peak_MB"] = dLargePeak / nRuns / 1000;
    state.counters["kB_per_device"] = (dLargePeak - dSmallPeak) / nRuns / (nLarge - nSmall);
}
}  // namespace

BENCHMARK(BM_Discovery)->Arg(10)->Arg(50)->Arg(250)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiscoveryOneNetwork)->Arg(500)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiscoveryGrowth)->Args({50, 250})->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
