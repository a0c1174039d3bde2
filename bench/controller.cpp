// The module controller's hot paths: one run of a function with three
// children (create, start, stop, release, delete) and constant lookups.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "base/system/VLLocalizeUtility.h"
#include "cm/VLCMApi.h"
#include "cm/VLModInstanceIF.h"
#include "cm/VLModule.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"

namespace {

class CNullImpl : public IVLModInstanceIF
{
public:
    void DestroyInstance(CVLModuleInstance*, CVLModuleParamCollection*) override {}
    void CallMethod(CVLModuleInstance*, CVLModuleParamCollection*) override {}
    void Stop(CVLModuleInstance*, CVLModuleParamCollection*) override {}
};

class CNullModule : public CVLModule
{
protected:
    IVLModInstanceIF* onNew() override { return new CNullImpl(); }
    void onDelete(IVLModInstanceIF* p) override { delete p; }
};

void RegisterNullModule(CVLCMApi& api)
{
    VL_ADD_MODULE_STATIC_LIBRARY(api, "ModA", CNullModule);
}

const char* const kMapping =
    "<ModuleMapping>"
    "<Const name=\"X\" value=\"value\"/>"
    "<Const name=\"R\" value=\"%X%\"/>"
    "<Instance name=\"F\" module=\"ModA\">"
    "<Instance name=\"A\" module=\"ModA\"/><Instance name=\"B\" module=\"ModA\"/>"
    "<Instance name=\"C\" module=\"ModA\"/>"
    "</Instance>"
    "</ModuleMapping>";

// A framework initialized from the mapping above, written to a temporary folder.
class CBenchFramework
{
public:
    CBenchFramework()
    {
        char szFolder[] = "/tmp/vlcm_bench_XXXXXX";
        m_strFolder = mkdtemp(szFolder) == nullptr ? "/tmp" : szFolder;
        std::ofstream(m_strFolder + "/mapping.xml") << kMapping;
        std::ofstream(m_strFolder + "/vlres201.dat") << "<FileList><File name=\"mapping.xml\"/></FileList>";
        CVLCMApi::SetModuleLibraries(RegisterNullModule);
        CVLCMApiConfig config;
        CVLLocalizeUtility pathInfo;
        pathInfo.SetRootPath(m_strFolder.c_str());
        pathInfo.SetDefaultFolder(".");
        config.SetPathInfo(pathInfo);
        config.SetFileListName("vlres201.dat");
        m_Api.Initialize(&config, nullptr);
    }
    ~CBenchFramework()
    {
        m_Api.Terminate();
        std::remove((m_strFolder + "/mapping.xml").c_str());
        std::remove((m_strFolder + "/vlres201.dat").c_str());
        rmdir(m_strFolder.c_str());
    }
    CVLCMApi m_Api;
    std::string m_strFolder;
};

}  // namespace

static void BM_InstanceCreateStartStopRelease(benchmark::State& state)
{
    CBenchFramework fw;
    CVLModuleController* pController = fw.m_Api.GetModuleController();
    for (auto _ : state) {
        CVLModuleInstance* p = pController->CreateModuleInstance(nullptr, "F", nullptr);
        p->CallMethod();
        pController->DeleteModuleInstance(p);  // stop, release, delete
    }
}
BENCHMARK(BM_InstanceCreateStartStopRelease);

static void BM_ExecFunctionWithoutListener(benchmark::State& state)
{
    CBenchFramework fw;
    CVLModuleController* pController = fw.m_Api.GetModuleController();
    for (auto _ : state)
        pController->ExecFunction(nullptr, "F", "F", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}
BENCHMARK(BM_ExecFunctionWithoutListener);

// "R" was written as "%X%" and resolved when the definitions loaded.
static void BM_FindConstCommon(benchmark::State& state)
{
    CBenchFramework fw;
    CVLModuleController* pController = fw.m_Api.GetModuleController();
    CVLString strValue(VL_CHARSET_UTF8);
    for (auto _ : state)
        benchmark::DoNotOptimize(pController->FindConst("R", strValue, nullptr, nullptr));
}
BENCHMARK(BM_FindConstCommon);

// The whole fallback: instance, module taken from the definition, common.
static void BM_FindConstThroughAllLevels(benchmark::State& state)
{
    CBenchFramework fw;
    CVLModuleController* pController = fw.m_Api.GetModuleController();
    CVLString strValue(VL_CHARSET_UTF8);
    for (auto _ : state)
        benchmark::DoNotOptimize(pController->FindConst("R", strValue, nullptr, "F.A"));
}
BENCHMARK(BM_FindConstThroughAllLevels);

BENCHMARK_MAIN();
