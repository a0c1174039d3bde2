// Cost of the property-tree operations a probe performs for every field of
// every reply: path lookup, child creation, merging a reply tree into a
// device tree, copying a device tree, and a probe reply's record in the
// shipped device tree (the memory it holds).
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <sstream>
#include <string>

#include "base/xml/VLXmlDocument.h"
#include "cm/VLCMApi.h"
#include "cm/VLProperty.h"
#include "tests/support/XmlTestStream.h"

// Counts heap allocations, to show that a lookup makes none, and the bytes
// they hold (as malloc hands them out). Not inlined, so the compiler pairs
// every new with its delete, not with malloc.
static std::atomic<long> g_nAllocations(0);
static std::atomic<long> g_nHeldBytes(0);

__attribute__((noinline)) void* operator new(std::size_t nSize)
{
    g_nAllocations.fetch_add(1, std::memory_order_relaxed);
    void* p = std::malloc(nSize == 0 ? 1 : nSize);
    if (p == nullptr)
        throw std::bad_alloc();
    g_nHeldBytes.fetch_add(static_cast<long>(malloc_usable_size(p)), std::memory_order_relaxed);
    return p;
}

__attribute__((noinline)) void operator delete(void* p) noexcept
{
    if (p != nullptr)
        g_nHeldBytes.fetch_sub(static_cast<long>(malloc_usable_size(p)), std::memory_order_relaxed);
    std::free(p);
}

__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept
{
    operator delete(p);
}

namespace {

const int kPacketCount = 10;
const int kFieldsPerPacket = 24;
const int kServiceCount = 24;

// A device tree of about 500 nodes: VLPC.<packet>.<field> and one service
// list per packet.
CVLProperty* BuildDeviceTree(CVLCMApi& api)
{
    CVLProperty* pRoot = api.NewProperty(nullptr);
    pRoot->GetProperty("MACAddress", true)->SetString(CVLString("00:11:22:33:44:55", VL_CHARSET_UTF8));
    CVLProperty* pVLPC = pRoot->GetProperty("VLPC", true);
    char szName[32];
    for (int p = 0; p < kPacketCount; ++p) {
        std::snprintf(szName, sizeof(szName), "2B_5A%02d_01", p);
        CVLProperty* pPacket = pVLPC->CreateChild(szName);
        for (int f = 0; f < kFieldsPerPacket; ++f) {
            std::snprintf(szName, sizeof(szName), "Field%02d", f);
            pPacket->CreateChild(szName)->SetInt(f);
        }
        CVLProperty* pList = pPacket->CreateChild("ServiceList");
        for (int s = 0; s < kServiceCount; ++s)
            pList->CreateChild(nullptr)->SetInt(s);
    }
    return pRoot;
}

int CountNodes(CVLProperty* p)
{
    int n = 1;
    for (CVLPropertyIterator it = p->Begin(); !it.IsEnd(); it.Next())
        n += CountNodes(it.Get());
    return n;
}

// A reply of about 50 nodes for one packet.
CVLProperty* BuildReplyTree(CVLCMApi& api)
{
    CVLProperty* pRoot = api.NewProperty(nullptr);
    CVLProperty* pPacket = pRoot->GetProperty("VLPC.2B_5A01_01", true);
    char szName[32];
    for (int f = 0; f < kFieldsPerPacket; ++f) {
        std::snprintf(szName, sizeof(szName), "Field%02d", f);
        pPacket->CreateChild(szName)->SetInt(f + 1);
    }
    CVLProperty* pList = pPacket->CreateChild("ServiceList");
    for (int s = 0; s < kServiceCount; ++s)
        pList->CreateChild(nullptr)->SetInt(s + 1);
    return pRoot;
}

void BM_PathLookup(benchmark::State& state)
{
    CVLCMApi api;
    CVLProperty* pRoot = BuildDeviceTree(api);
    long nBefore = g_nAllocations.load();
    for (auto _ : state) {
        CVLProperty* p = pRoot->GetProperty("VLPC.2B_5A01_01.ServiceList.3", false);
        benchmark::DoNotOptimize(p);
    }
    state.counters["allocs/op"] =
        benchmark::Counter(static_cast<double>(g_nAllocations.load() - nBefore) / state.iterations());
    state.counters["nodes"] = CountNodes(pRoot);
    pRoot->Destroy();
}
BENCHMARK(BM_PathLookup);

// Creates the 50 children of a reply packet's node and destroys them again;
// the time per child is the iteration time over 50.
void BM_CreateChild(benchmark::State& state)
{
    const int kChildren = 50;
    CVLCMApi api;
    CVLProperty* pRoot = api.NewProperty(nullptr);
    CVLProperty* pParent = pRoot->CreateChild("parent");
    for (auto _ : state) {
        for (int i = 0; i < kChildren; ++i)
            pParent->CreateChild(nullptr);
        pParent->RemoveAll();
    }
    state.SetItemsProcessed(state.iterations() * kChildren);
    pRoot->Destroy();
}
BENCHMARK(BM_CreateChild);

void BM_MergeReplyIntoDevice(benchmark::State& state)
{
    CVLCMApi api;
    CVLProperty* pDevice = BuildDeviceTree(api);
    CVLProperty* pReply = BuildReplyTree(api);
    for (auto _ : state)
        pDevice->Merge(pReply);
    state.counters["reply nodes"] = CountNodes(pReply);
    pReply->Destroy();
    pDevice->Destroy();
}
BENCHMARK(BM_MergeReplyIntoDevice);

void BM_CopyDeviceTree(benchmark::State& state)
{
    CVLCMApi api;
    CVLProperty* pDevice = BuildDeviceTree(api);
    CVLProperty* pCopy = api.NewProperty(nullptr);
    for (auto _ : state)
        pCopy->Assign(pDevice);
    pCopy->Destroy();
    pDevice->Destroy();
}
BENCHMARK(BM_CopyDeviceTree);

// A probe reply's record: a root bound to the shipped device tree, and the
// fields the probe function's reply writes (one service). The time is one
// record made and destroyed; "bytes/record" what one record holds.
void BM_ProbeReplyRecord(benchmark::State& state)
{
    std::string strPath(__FILE__);
    strPath = strPath.substr(0, strPath.rfind('/')) + "/../resources/Settings/Default/PropertyRoot.xml";
    std::ifstream file(strPath, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    std::string strXml = text.str();
    if (strXml.empty()) {
        state.SkipWithError("the shipped PropertyRoot.xml cannot be read");
        return;
    }
    CTestStream stream(strXml);
    CVLXmlDocument doc;
    doc.Load(&stream);
    static const char* const s_aszFields[] = {
        "MACAddress", "IPAddress", "LAN.UnicastFlag", "VLPC.2B_5A01_01.VLPCVersion", "VLPC.2B_5A01_01.DeviceNumber",
        "VLPC.2B_5A01_01.EncryptionMode", "VLPC.2B_5A01_01.EncryptionType", "VLPC.2B_5A01_01.CipherType",
        "VLPC.2B_5A01_01.DeviceKind", "VLPC.2B_5A01_01.IPMode", "VLPC.2B_5A01_01.IPAddress",
        "VLPC.2B_5A01_01.SubnetMask", "VLPC.2B_5A01_01.Gateway", "VLPC.2B_5A01_01.ModelName",
        "VLPC.2B_5A01_01.ServiceList", "VLPC.2B_5A01_01.ServiceList.0.ServiceId",
        "VLPC.2B_5A01_01.ServiceList.0.Port"};
    CVLCMApi api;
    auto makeRecord = [&]() {
        CVLProperty* pRoot = api.NewProperty(nullptr);
        pRoot->SetDefinition(doc.GetDocumentElement());
        for (const char* szPath : s_aszFields)
            pRoot->GetProperty(szPath, true)->SetInt(1);
        return pRoot;
    };
    long nBytesBefore = g_nHeldBytes.load();
    long nAllocationsBefore = g_nAllocations.load();
    CVLProperty* pKept = makeRecord();
    state.counters["bytes/record"] = static_cast<double>(g_nHeldBytes.load() - nBytesBefore);
    state.counters["allocs/record"] = static_cast<double>(g_nAllocations.load() - nAllocationsBefore);
    for (auto _ : state)
        makeRecord()->Destroy();
    pKept->Destroy();
}
BENCHMARK(BM_ProbeReplyRecord);

}  // namespace

BENCHMARK_MAIN();
