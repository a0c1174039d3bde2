// Datagrams received through a socket-module instance on loopback: a sender
// thread floods one socket while the reader takes one datagram per Read;
// the share the system dropped is reported. Then the receive threads' queue
// alone (push and pop), the path that a several-socket instance uses.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "base/core/VLException.h"
#include "cm/VLCMApi.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleParamCollection.h"
#include "modules/sock/VLSock.h"

namespace {

const int kDatagram = 64;
const int kBatch = 20000;

// A free loopback port: bound once by the system, then given up.
int FreePort()
{
    int nFd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(nFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    socklen_t nLen = sizeof(addr);
    getsockname(nFd, reinterpret_cast<sockaddr*>(&addr), &nLen);
    close(nFd);
    return ntohs(addr.sin_port);
}

class CQueueSock : public CVLSock
{
public:
    using CVLSock::popRecvData;
};

} // namespace

static void BM_ReceiveOneSocketLoopback(benchmark::State& state)
{
    CVLCMApi api;
    CVLModuleController* pController = api.GetModuleController();
    int nPort = FreePort();
    pController->SetConst("bindAddress", "127.0.0.1", nullptr, nullptr);
    pController->SetConst("port", std::to_string(nPort).c_str(), nullptr, nullptr);
    pController->SetConst("timeout", "200", nullptr, nullptr);
    pController->SetConst("retry", "1", nullptr, nullptr);
    CVLModuleParamCollection params;
    params.SetController(pController);
    CVLSock sock;
    sock.CreateInstance(nullptr, &params);
    sock.Open(VL_OPEN_READ);
    if (!sock.IsOpen()) {
        state.SkipWithError("no socket");
        return;
    }
    long nSent = 0, nReceived = 0;
    VL_BYTE buffer[512];
    for (auto _ : state) {
        std::atomic<bool> bDone{false};
        auto tStart = std::chrono::steady_clock::now();
        auto tLast = tStart;
        std::thread sender([&]() {
            int nFd = socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            to.sin_port = htons(static_cast<uint16_t>(nPort));
            char data[kDatagram] = {1};
            for (int i = 0; i < kBatch; ++i)
                sendto(nFd, data, sizeof(data), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
            close(nFd);
            bDone = true;
        });
        for (;;) {
            try {
                if (sock.Read(buffer, sizeof(buffer)) > 0) {
                    ++nReceived;
                    tLast = std::chrono::steady_clock::now();
                }
            } catch (EVLException* e) {
                // A time-out after the sender stopped: the batch is over.
                e->Delete();
                if (bDone)
                    break;
            }
        }
        sender.join();
        nSent += kBatch;
        // From the first send to the last datagram read, without the final wait.
        state.SetIterationTime(std::chrono::duration<double>(tLast - tStart).count());
    }
    sock.DestroyInstance(nullptr, &params);
    state.SetItemsProcessed(nReceived);
    state.counters["dropped_pct"] = nSent > 0 ? 100.0 * static_cast<double>(nSent - nReceived) / nSent : 0.0;
}
BENCHMARK(BM_ReceiveOneSocketLoopback)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

static void BM_ReceiveQueuePushPop(benchmark::State& state)
{
    CQueueSock sock;
    VLMDSOCK_RECV_DATA data;
    data.m_Data.Allocate(512);
    data.m_Data.SetSize(kDatagram);
    VL_BYTE buffer[512];
    VL_SIZE_T nSize = 0;
    for (auto _ : state) {
        sock.pushRecvData(data);
        sock.popRecvData(buffer, sizeof(buffer), &nSize);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReceiveQueuePushPop);

BENCHMARK_MAIN();
