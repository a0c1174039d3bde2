// A definition script run through the framework's script host: five target
// properties read and written and two constants read, beside the same work
// on the script's own variables without host calls.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "base/system/VLLocalizeUtility.h"
#include "cm/VLCMApi.h"
#include "cm/VLModInstanceIF.h"
#include "cm/VLModule.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "script/VLScript.h"
#include "script/VLScriptCollection.h"
#include "script/VLScriptParams.h"

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

const char* const kMapping = "<ModuleMapping>"
                             "<Const name=\"C1\" value=\"one\"/>"
                             "<Instance name=\"F\" module=\"ModA\"><Const name=\"C2\" value=\"two\"/></Instance>"
                             "</ModuleMapping>";

const char* const kScripts = "int WithHost()\n"
                             "{\n"
                             "    string c;\n"
                             "    Prooerties.A = Prooerties.B;\n"
                             "    Prooerties.B = Prooerties.C;\n"
                             "    Prooerties.C = Prooerties.D;\n"
                             "    Prooerties.D = Prooerties.E;\n"
                             "    Prooerties.E = Prooerties.A;\n"
                             "    c = GetConst(\"C1\");\n"
                             "    c = GetConst(\"C2\", \"F\");\n"
                             "    return 1;\n"
                             "}\n"
                             "int WithoutHost()\n"
                             "{\n"
                             "    string a; string b; string cc; string d; string e; string c;\n"
                             "    a = \"1\"; b = \"2\"; cc = \"3\"; d = \"4\"; e = \"5\";\n"
                             "    a = b;\n"
                             "    b = cc;\n"
                             "    cc = d;\n"
                             "    d = e;\n"
                             "    e = a;\n"
                             "    c = \"one\";\n"
                             "    c = \"two\";\n"
                             "    return 1;\n"
                             "}\n";

class CBenchFramework
{
public:
    CBenchFramework() : m_pTarget(nullptr), m_pInstance(nullptr)
    {
        char szFolder[] = "/tmp/vlcm_bench_XXXXXX";
        m_strFolder = mkdtemp(szFolder) == nullptr ? "/tmp" : szFolder;
        std::ofstream(m_strFolder + "/mapping.xml") << kMapping;
        std::ofstream(m_strFolder + "/scripts.txt") << kScripts;
        std::ofstream(m_strFolder + "/vlres201.dat")
            << "<FileList><File name=\"mapping.xml\"/><File name=\"scripts.txt\" type=\"script\"/></FileList>";
        CVLCMApi::SetModuleLibraries(RegisterNullModule);
        CVLCMApiConfig config;
        CVLLocalizeUtility pathInfo;
        pathInfo.SetRootPath(m_strFolder.c_str());
        pathInfo.SetDefaultFolder(".");
        config.SetPathInfo(pathInfo);
        config.SetFileListName("vlres201.dat");
        m_Api.Initialize(&config, nullptr);
        m_pTarget = m_Api.CreateTarget();
        for (const char* szName : {"A", "B", "C", "D", "E"})
            m_pTarget->GetProperties()->GetProperty(szName, true)->SetString(szName, 72);
        m_pInstance = m_Api.GetModuleController()->CreateModuleInstance(m_pTarget, "F", nullptr);
    }
    ~CBenchFramework()
    {
        m_Api.GetModuleController()->DeleteModuleInstance(m_pInstance);
        m_Api.GetModuleController()->DeleteTarget(m_pTarget, false);
        m_Api.Terminate();
        for (const char* szFile : {"/mapping.xml", "/scripts.txt", "/vlres201.dat"})
            std::remove((m_strFolder + szFile).c_str());
        rmdir(m_strFolder.c_str());
    }
    bool Run(const char* szScript)
    {
        return m_Api.GetModuleController()->CreateScriptExtend(szScript, m_pInstance, m_pInstance->GetParams(),
                                                               nullptr);
    }
    CVLCMApi m_Api;
    CVLTarget* m_pTarget;
    CVLModuleInstance* m_pInstance;
    std::string m_strFolder;
};

}  // namespace

static void BM_ScriptThroughHost(benchmark::State& state)
{
    CBenchFramework fw;
    if (!fw.Run("WithHost")) {
        state.SkipWithError("the script failed");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(fw.Run("WithHost"));
}
BENCHMARK(BM_ScriptThroughHost);

static void BM_ScriptWithoutHostCalls(benchmark::State& state)
{
    CBenchFramework fw;
    if (!fw.Run("WithoutHost")) {
        state.SkipWithError("the script failed");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(fw.Run("WithoutHost"));
}
BENCHMARK(BM_ScriptWithoutHostCalls);

// The same script run by the interpreter alone, without the framework.
static void BM_ScriptWithoutHostCallsDirect(benchmark::State& state)
{
    CBenchFramework fw;
    CVLScriptCollection& scripts = fw.m_Api.GetModuleController()->GetScriptCollection();
    CVLScript* pScript = scripts.Find("WithoutHost");
    if (pScript == nullptr) {
        state.SkipWithError("no script");
        return;
    }
    for (auto _ : state) {
        CVLScriptParams params;
        pScript->Execute(params, &scripts, nullptr, nullptr);
        benchmark::DoNotOptimize(params.GetReturnValue());
    }
}
BENCHMARK(BM_ScriptWithoutHostCallsDirect);

BENCHMARK_MAIN();
