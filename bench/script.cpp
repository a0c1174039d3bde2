// The script interpreter beside Lua 5.4: one short run (the cost per packet),
// a loop of a million passes, and recursive calls, first as hand-assembled
// images, then compiled from source text beside Lua written with local
// functions and numeric for loops: calls of a script function and of a host
// function (the cost per call is the loop's time less the plain loop's),
// recursion and text concatenation; and one host call without the
// interpreter.
#include <benchmark/benchmark.h>

#include <string>

#include "tests/support/script/ScriptAssembler.h"
#include "tests/support/TextStream.h"
#include "script/VLScript.h"
#include "script/VLScriptCollection.h"
#include "script/VLScriptCompiler.h"
#include "script/VLScriptExtendIF.h"
#include "script/VLScriptParams.h"
#include "script/VLScriptParamsStack.h"

#ifdef VL_HAVE_LUA
extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}
#endif

namespace {
typedef CScriptAssembler A;

CVLScript* Add(CVLScriptCollection& scripts, const A::Image& img)
{
    VL_BYTE* p = new VL_BYTE[img.size()];
    std::copy(img.begin(), img.end(), p);
    CVLScript loaded;
    loaded.Load(p, static_cast<VL_SIZE_T>(img.size()), false);
    CVLScript* pScript = scripts.Add(loaded.GetName().GetBuffer());
    *pScript = loaded;
    return pScript;
}

// bool Check(long n) { return (n & 3) == 1; }
A::Image PacketScript()
{
    A a("Check", "bench.vls", 1);
    a.Param(8, "n").Var("n").Long(3).Op(VLSCR_OP_BITAND).Long(1).Op(VLSCR_OP_EQ).Op(VLSCR_OP_RETURN_VALUE);
    return a.Build();
}

// long Loop() { long s; long i; for (i = 0; i < 1000000; i++) { s = s + i; s = s & 65535; } return s; }
A::Image LoopScript()
{
    A a("Loop", "bench.vls", 8);
    a.Declare("s", 8).Declare("i", 8).Var("i").Long(0).Op(VLSCR_OP_ASSIGN);
    a.Label("cond").Var("i").Long(1000000).Op(VLSCR_OP_LT).Jump(VLSCR_OP_JUMP_FALSE, "end");
    a.Jump(VLSCR_OP_JUMP, "body");
    a.Label("next").Var("i").Op(VLSCR_OP_POST_INC).Jump(VLSCR_OP_JUMP, "cond");
    a.Label("body").Var("s").Var("s").Var("i").Op(VLSCR_OP_ADD).Op(VLSCR_OP_ASSIGN);
    a.Var("s").Var("s").Long(65535).Op(VLSCR_OP_BITAND).Op(VLSCR_OP_ASSIGN);
    a.Jump(VLSCR_OP_JUMP, "next");
    a.Label("end").Var("s").Op(VLSCR_OP_RETURN_VALUE);
    return a.Build();
}

// long Fib(long n) { if (n < 2) return n; return Fib(n - 1) + Fib(n - 2); }
A::Image FibScript()
{
    A a("Fib", "bench.vls", 8);
    a.Param(8, "n").Var("n").Long(2).Op(VLSCR_OP_LT).Jump(VLSCR_OP_JUMP_FALSE, "rec");
    a.Var("n").Op(VLSCR_OP_RETURN_VALUE);
    a.Label("rec").Op(VLSCR_OP_PARAM_FRAME).Var("n").Long(1).Op(VLSCR_OP_SUB).Op(VLSCR_OP_PARAM_SEP).Call("Fib");
    a.Op(VLSCR_OP_PARAM_FRAME).Var("n").Long(2).Op(VLSCR_OP_SUB).Op(VLSCR_OP_PARAM_SEP).Call("Fib");
    a.Op(VLSCR_OP_ADD).Op(VLSCR_OP_RETURN_VALUE);
    return a.Build();
}

void BM_ScriptPacket(benchmark::State& state)
{
    CVLScriptCollection scripts;
    CVLScript* p = Add(scripts, PacketScript());
    VL_LONG n = 0;
    for (auto _ : state) {
        CVLScriptParams params;
        params.Add()->SetLong(n++);
        p->Execute(params, &scripts, nullptr, nullptr);
        benchmark::DoNotOptimize(params.GetReturnValue().ToBool(false));
    }
}
BENCHMARK(BM_ScriptPacket);

void BM_ScriptLoop(benchmark::State& state)
{
    CVLScriptCollection scripts;
    CVLScript* p = Add(scripts, LoopScript());
    for (auto _ : state) {
        CVLScriptParams params;
        p->Execute(params, &scripts, nullptr, nullptr);
        benchmark::DoNotOptimize(params.GetReturnValue().ToLong(0));
    }
    state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_ScriptLoop)->Unit(benchmark::kMillisecond);

void BM_ScriptFib20(benchmark::State& state)
{
    CVLScriptCollection scripts;
    CVLScript* p = Add(scripts, FibScript());
    for (auto _ : state) {
        CVLScriptParams params;
        params.Add()->SetLong(20);
        p->Execute(params, &scripts, nullptr, nullptr);
        benchmark::DoNotOptimize(params.GetReturnValue().ToLong(0));
    }
    state.SetItemsProcessed(state.iterations() * 21891);  // calls per run
}
BENCHMARK(BM_ScriptFib20)->Unit(benchmark::kMillisecond);

// Compiled from source text -------------------------------------------------

const char* const kSource =
    "long Add1(long x) { return x + 1; }\n"
    "long PlainLoop(long n) { long s; long i; s = 0; for (i = 0; i < n; i++) { s = s + 1; } return s; }\n"
    "long CallLoop(long n) { long s; long i; s = 0; for (i = 0; i < n; i++) { s = Add1(s); } return s; }\n"
    "long HostLoop(long n) { long s; long i; s = 0; for (i = 0; i < n; i++) { s = Bench.Add1(s); } return s; }\n"
    "long Fib(long n) { if (n < 2) { return n; } return Fib(n - 1) + Fib(n - 2); }\n"
    "string Concat() { string s; long i; for (i = 0; i < 1000; i++) { s = s + \"ab\"; } return s; }\n";

#ifdef VL_HAVE_LUA
const char* const kLuaSource =
    "local function add1(x) return x + 1 end\n"
    "function PlainLoop(n) local s = 0 for i = 0, n - 1 do s = s + 1 end return s end\n"
    "function CallLoop(n) local s = 0 for i = 0, n - 1 do s = add1(s) end return s end\n"
    "local hostadd1 = HostAdd1\n"
    "function HostLoop(n) local s = 0 for i = 0, n - 1 do s = hostadd1(s) end return s end\n"
    "local function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end\n"
    "function Fib(n) return fib(n) end\n"
    "function Concat() local s = \"\" for i = 1, 1000 do s = s .. \"ab\" end return s end\n";
#endif

const int kLoopPasses = 1000000;

// A host with one method, reached by the dotted name "Bench.Add1".
class CBenchHost : public IVLScriptExtendIF
{
public:
    CBenchHost() : IVLScriptExtendIF(nullptr, nullptr)
    {
        m_MethodMap[CVLString("Add1", VL_CHARSET_UTF8)] = [](IVLScriptExtendIF*, const CVLString&, CVLScriptParams* p,
                                                             void*) {
            CVLVariant v;
            v.SetLong(p->GetAt(0)->ToLong(0) + 1);
            p->SetReturnValue(v);
        };
    }
    CVLString GetContextText() override { return CVLString("bench", VL_CHARSET_UTF8); }
};

CVLScriptCollection& Compiled()
{
    static CVLScriptCollection s_Scripts;
    if (s_Scripts.GetCount() == 0) {
        CVLScriptCompiler compiler;
        CTextStream stream(kSource);
        compiler.Compile("bench.vls", &stream, &s_Scripts);
    }
    return s_Scripts;
}

void RunCompiled(benchmark::State& state, const char* szFunction, bool bArgument, int nItems)
{
    CVLScriptCollection& scripts = Compiled();
    CVLScript* p = scripts.Find(szFunction);
    CBenchHost host;
    for (auto _ : state) {
        CVLScriptParams params;
        if (bArgument)
            params.Add()->SetLong(nItems);
        p->Execute(params, &scripts, &host, nullptr);
        benchmark::DoNotOptimize(params.GetReturnValue().GetSize());
    }
    state.SetItemsProcessed(state.iterations() * nItems);
}

void BM_CompiledPlainLoop(benchmark::State& state) { RunCompiled(state, "PlainLoop", true, kLoopPasses); }
void BM_CompiledCallLoop(benchmark::State& state) { RunCompiled(state, "CallLoop", true, kLoopPasses); }
void BM_CompiledHostLoop(benchmark::State& state) { RunCompiled(state, "HostLoop", true, kLoopPasses); }
BENCHMARK(BM_CompiledPlainLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompiledCallLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompiledHostLoop)->Unit(benchmark::kMillisecond);

// One host call as a run makes it, without the interpreter: a frame from the
// frame stack, one argument, the call through the extension interface, and
// the frame given back.
void BM_HostCallOnly(benchmark::State& state)
{
    CBenchHost host;
    CVLScriptParamsStack frames;
    VL_LONG n = 0;
    for (auto _ : state) {
        CVLScriptParams* pFrame = frames.Push();
        pFrame->AddKept()->SetLongInline(n);
        host.CallFunction("Bench.Add1", pFrame, nullptr, nullptr);
        n = pFrame->GetReturnValue().GetWordInline();
        frames.Pop();
    }
    benchmark::DoNotOptimize(n);
}
BENCHMARK(BM_HostCallOnly);

void BM_CompiledFib20(benchmark::State& state)
{
    CVLScriptCollection& scripts = Compiled();
    CVLScript* p = scripts.Find("Fib");
    for (auto _ : state) {
        CVLScriptParams params;
        params.Add()->SetLong(20);
        p->Execute(params, &scripts, nullptr, nullptr);
        benchmark::DoNotOptimize(params.GetReturnValue().ToLong(0));
    }
    state.SetItemsProcessed(state.iterations() * 21891);
}
BENCHMARK(BM_CompiledFib20)->Unit(benchmark::kMillisecond);

void BM_CompiledConcat(benchmark::State& state) { RunCompiled(state, "Concat", false, 1000); }
BENCHMARK(BM_CompiledConcat)->Unit(benchmark::kMicrosecond);

#ifdef VL_HAVE_LUA
lua_State* NewLua(const char* szCode)
{
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    if (luaL_dostring(L, szCode) != LUA_OK)
        std::abort();
    return L;
}

void BM_LuaPacket(benchmark::State& state)
{
    lua_State* L = NewLua("function Check(n) return (n & 3) == 1 end");
    lua_Integer n = 0;
    for (auto _ : state) {
        lua_getglobal(L, "Check");
        lua_pushinteger(L, n++);
        lua_pcall(L, 1, 1, 0);
        benchmark::DoNotOptimize(lua_toboolean(L, -1));
        lua_pop(L, 1);
    }
    lua_close(L);
}
BENCHMARK(BM_LuaPacket);

void BM_LuaLoop(benchmark::State& state)
{
    lua_State* L = NewLua(
        "function Loop() local s = 0 local i = 0 while i < 1000000 do s = s + i s = s & 65535 i = i + 1 end "
        "return s end");
    for (auto _ : state) {
        lua_getglobal(L, "Loop");
        lua_pcall(L, 0, 1, 0);
        benchmark::DoNotOptimize(lua_tointeger(L, -1));
        lua_pop(L, 1);
    }
    state.SetItemsProcessed(state.iterations() * 1000000);
    lua_close(L);
}
BENCHMARK(BM_LuaLoop)->Unit(benchmark::kMillisecond);

void BM_LuaFib20(benchmark::State& state)
{
    lua_State* L = NewLua("function Fib(n) if n < 2 then return n end return Fib(n - 1) + Fib(n - 2) end");
    for (auto _ : state) {
        lua_getglobal(L, "Fib");
        lua_pushinteger(L, 20);
        lua_pcall(L, 1, 1, 0);
        benchmark::DoNotOptimize(lua_tointeger(L, -1));
        lua_pop(L, 1);
    }
    state.SetItemsProcessed(state.iterations() * 21891);
    lua_close(L);
}
BENCHMARK(BM_LuaFib20)->Unit(benchmark::kMillisecond);

int LuaHostAdd1(lua_State* L)
{
    lua_pushinteger(L, luaL_checkinteger(L, 1) + 1);
    return 1;
}

lua_State* NewCompiledLua()
{
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    lua_register(L, "HostAdd1", LuaHostAdd1);
    if (luaL_dostring(L, kLuaSource) != LUA_OK)
        std::abort();
    return L;
}

void RunLua(benchmark::State& state, const char* szFunction, bool bArgument, int nItems)
{
    lua_State* L = NewCompiledLua();
    for (auto _ : state) {
        lua_getglobal(L, szFunction);
        if (bArgument)
            lua_pushinteger(L, nItems);
        if (lua_pcall(L, bArgument ? 1 : 0, 1, 0) != LUA_OK)
            std::abort();
        benchmark::DoNotOptimize(lua_touserdata(L, -1));
        lua_pop(L, 1);
    }
    state.SetItemsProcessed(state.iterations() * nItems);
    lua_close(L);
}

void BM_LuaLocalPlainLoop(benchmark::State& state) { RunLua(state, "PlainLoop", true, kLoopPasses); }
void BM_LuaLocalCallLoop(benchmark::State& state) { RunLua(state, "CallLoop", true, kLoopPasses); }
void BM_LuaLocalHostLoop(benchmark::State& state) { RunLua(state, "HostLoop", true, kLoopPasses); }
BENCHMARK(BM_LuaLocalPlainLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LuaLocalCallLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LuaLocalHostLoop)->Unit(benchmark::kMillisecond);

void BM_LuaLocalFib20(benchmark::State& state)
{
    lua_State* L = NewCompiledLua();
    for (auto _ : state) {
        lua_getglobal(L, "Fib");
        lua_pushinteger(L, 20);
        lua_pcall(L, 1, 1, 0);
        benchmark::DoNotOptimize(lua_tointeger(L, -1));
        lua_pop(L, 1);
    }
    state.SetItemsProcessed(state.iterations() * 21891);
    lua_close(L);
}
BENCHMARK(BM_LuaLocalFib20)->Unit(benchmark::kMillisecond);

void BM_LuaLocalConcat(benchmark::State& state) { RunLua(state, "Concat", false, 1000); }
BENCHMARK(BM_LuaLocalConcat)->Unit(benchmark::kMicrosecond);
#endif
}  // namespace

BENCHMARK_MAIN();
