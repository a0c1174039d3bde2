// The definition and configuration loaders on lists of many children: the
// configuration (unread elements, and options of unknown keys), the VLPC
// module's table, a packet list, a packet format, a
// field list and a function's field names, each with N child elements (the
// configuration as large as its 1 MiB cap allows). A loader walks its list
// once, so the time per element stays flat as N grows.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "base/xml/VLXmlDocument.h"
#include "cm/VLCMApi.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleParamCollection.h"
#include "modules/vlpc/VLMDVLPC.h"
#include "modules/vlpc/VLPCFieldList.h"
#include "modules/vlpc/VLPCFunction.h"
#include "modules/vlpc/VLPCPacketFormat.h"
#include "modules/vlpc/VLPCPacketList.h"
#include "pfw/PFWConfiguration.h"
#include "tests/support/XmlTestStream.h"

namespace {

std::string Children(const char* szChild, long nCount)
{
    std::string s;
    s.reserve(static_cast<size_t>(nCount) * (strlen(szChild) + 1));
    for (long i = 0; i < nCount; ++i)
        s += szChild;
    return s;
}

void LoadText(CVLXmlDocument& doc, const std::string& strXml)
{
    CTestStream stream(strXml);
    doc.Load(&stream);
}

template <class Fn>
void Run(benchmark::State& state, Fn fn)
{
    for (auto _ : state)
        fn();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

static void BM_ConfigurationLoad(benchmark::State& state)
{
    std::string strPath = "/tmp/bench_loaders_" + std::to_string(getpid()) + ".xml";
    std::string strXml = "<Configurations xmlns=\"http://vlnet.invalid/orvek-net/2009/05/configurations\">" +
                         Children("<x/>", state.range(0)) + "</Configurations>";
    FILE* pFile = fopen(strPath.c_str(), "wb");
    if (pFile == nullptr || fwrite(strXml.data(), 1, strXml.size(), pFile) != strXml.size()) {
        state.SkipWithError("cannot write the configuration");
        return;
    }
    fclose(pFile);
    Run(state, [&] {
        CPFWConfiguration config;
        if (config.Load(strPath.c_str()) != 0)
            state.SkipWithError("the configuration did not load");
    });
    remove(strPath.c_str());
}
// 262,000 empty elements are the most that the 1 MiB cap lets in.
BENCHMARK(BM_ConfigurationLoad)->Arg(10000)->Arg(100000)->Arg(262000)->Unit(benchmark::kMillisecond);

// Options of keys that no option has, each as long as the known keys (so
// each would be weighed against them for the nearest): past the warnings
// kept, each is only counted.
static void BM_ConfigurationUnknownKeys(benchmark::State& state)
{
    std::string strPath = "/tmp/bench_loaders_keys_" + std::to_string(getpid()) + ".xml";
    std::string strXml = "<Configurations xmlns=\"http://vlnet.invalid/orvek-net/2009/05/configurations\">"
                         "<CommunicationManager>";
    for (long i = 0; i < state.range(0); ++i)
        strXml += "<Property key=\"Option.GetDetail.Key" + std::to_string(1000000 + i) + "\" value=\"\"/>";
    strXml += "</CommunicationManager></Configurations>";
    FILE* pFile = fopen(strPath.c_str(), "wb");
    if (pFile == nullptr || fwrite(strXml.data(), 1, strXml.size(), pFile) != strXml.size()) {
        state.SkipWithError("cannot write the configuration");
        return;
    }
    fclose(pFile);
    Run(state, [&] {
        CPFWConfiguration config;
        if (config.Load(strPath.c_str()) != 0)
            state.SkipWithError("the configuration did not load");
    });
    remove(strPath.c_str());
}
// Some 18,000 such options are the most that the 1 MiB cap lets in.
BENCHMARK(BM_ConfigurationUnknownKeys)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

static void BM_VLPCModuleLoad(benchmark::State& state)
{
    CVLCMApi api;
    CVLModuleController* pController = api.GetModuleController();
    LoadText(*pController->GetDefineDocument("VLPC", true), "<VLPC>" + Children("<x/>", state.range(0)) + "</VLPC>");
    CVLModuleParamCollection params;
    params.SetController(pController);
    Run(state, [&] {
        CVLMDVLPC module;
        module.Initialize(&params);
        module.Terminate(&params);
    });
}
BENCHMARK(BM_VLPCModuleLoad)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

static void BM_PacketListLoad(benchmark::State& state)
{
    CVLXmlDocument doc;
    LoadText(doc, "<PacketList name=\"L\">" + Children("<x/>", state.range(0)) + "</PacketList>");
    Run(state, [&] {
        CVLPCPacketList list;
        list.Load(nullptr, doc.GetDocumentElement());
    });
}
BENCHMARK(BM_PacketListLoad)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

static void BM_PacketFormatLoad(benchmark::State& state)
{
    CVLXmlDocument doc;
    LoadText(doc, "<PacketFormat deviceType=\"2B\" function=\"5A01\">" + Children("<x/>", state.range(0)) +
                      "</PacketFormat>");
    Run(state, [&] {
        CVLPCPacketFormat format;
        format.Load(nullptr, nullptr, doc.GetDocumentElement());
    });
}
BENCHMARK(BM_PacketFormatLoad)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

static void BM_FieldListLoad(benchmark::State& state)
{
    CVLXmlDocument doc;
    LoadText(doc, "<RecvDataFormat>" + Children("<x/>", state.range(0)) + "</RecvDataFormat>");
    Run(state, [&] {
        CVLPCFieldList list;
        list.Load(nullptr, doc.GetDocumentElement());
    });
}
BENCHMARK(BM_FieldListLoad)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

static void BM_FunctionLoad(benchmark::State& state)
{
    CVLXmlDocument doc;
    LoadText(doc, "<Function deviceType=\"2B\" function=\"5A01\" packetType=\"Q\">" + Children("<x/>", state.range(0)) +
                      "</Function>");
    Run(state, [&] {
        CVLPCFunction function;
        function.Load(nullptr, doc.GetDocumentElement());
    });
}
BENCHMARK(BM_FunctionLoad)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
