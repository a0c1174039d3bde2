// Whole discoveries with vlnet: the time from the program's start to the
// first device printed and to the last of N devices spread over five
// networks, and its peak memory. Needs root (network namespaces); skips
// otherwise.
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

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TestNetwork.h"

namespace {
const int kNetworks = 5;
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

// One probe's figures, from RunProbe's text.
struct SProbe
{
    double dFirstMs = 0;
    double dLastMs = 0;
    int nLines = 0;
    double dPeakKB = 0;
};

bool ReadProbe(CTestNetwork& net, SProbe& probe)
{
    std::istringstream in(RunProbe(net));
    return static_cast<bool>(in >> probe.dFirstMs >> probe.dLastMs >> probe.nLines >> probe.dPeakKB);
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
    double dFirst = 0, dLast = 0, dPeak = 0;
    int nRuns = 0, nFound = 0;
    for (auto _ : state) {
        SProbe probe;
        if (!ReadProbe(*net, probe)) {
            state.SkipWithError("vlnet did not run");
            return;
        }
        state.SetIterationTime((probe.dLastMs > 0 ? probe.dLastMs : 0) / 1000.0);
        dFirst += probe.dFirstMs, dLast += probe.dLastMs, dPeak += probe.dPeakKB;
        nFound += probe.nLines;
        nRuns++;
    }
    double dPacing = kCallbacksPerDevice * kDispatchMs * nDevices;
    state.counters["first_ms"] = dFirst / nRuns;
    state.counters["last_ms"] = dLast / nRuns;
    state.counters["pacing_last_ms"] = dPacing;
    state.counters["last_vs_pacing"] = dLast / nRuns / dPacing;
    state.counters["found"] = static_cast<double>(nFound) / nRuns;
    state.counters["peak_MB"] = dPeak / nRuns / 1000;
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
    auto small = MakeNetwork(nSmall, strError);
    auto large = small ? MakeNetwork(nLarge, strError) : nullptr;
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
BENCHMARK(BM_DiscoveryGrowth)->Args({50, 250})->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
