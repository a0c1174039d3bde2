#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "tests/script/ScriptRunSupport.h"
#include "script/VLScriptExtendIF.h"
#include "script/VLScriptRun.h"
#include "base/value/VLVariantAdapter.h"
#include "tests/support/TestSupport.h"

namespace {
typedef CScriptAssembler A;

// A host with the property head "Dev" (a value of its own), the default
// property "Dflt", and the methods "Set" (writes its first argument), "Sum"
// and "Fail" (throws 3006 as a host does).
class CTestHost : public IVLScriptExtendIF
{
public:
    explicit CTestHost(IVLScriptExtendIF* pNext = nullptr, bool bDefault = false)
        : IVLScriptExtendIF(bDefault ? &DefaultProperty : nullptr, pNext), m_Adapter(&m_Value)
    {
        m_Value.SetLong(40);
        m_PropertyMap[CVLString("Dev", VL_CHARSET_UTF8)] = &DevProperty;
        m_MethodMap[CVLString("Set", VL_CHARSET_UTF8)] = &SetMethod;
        m_MethodMap[CVLString("Sum", VL_CHARSET_UTF8)] = &SumMethod;
        m_MethodMap[CVLString("Fail", VL_CHARSET_UTF8)] = &FailMethod;
    }
    virtual CVLString GetContextText() override { return CVLString("test", VL_CHARSET_UTF8); }

    static IVLVariantObjectIF* DevProperty(IVLScriptExtendIF* p, const CVLString& strHead, const CVLString& strRest)
    {
        CTestHost* pHost = static_cast<CTestHost*>(p);
        pHost->m_strHead = Bytes(strHead);
        pHost->m_strRest = Bytes(strRest);
        return &pHost->m_Adapter;
    }
    static IVLVariantObjectIF* DefaultProperty(IVLScriptExtendIF* p, const CVLString& strHead,
                                               const CVLString& strRest)
    {
        return DevProperty(p, strHead, strRest);
    }
    static void SetMethod(IVLScriptExtendIF* p, const CVLString& strPath, CVLScriptParams* pParams, void*)
    {
        static_cast<CTestHost*>(p)->m_strPath = Bytes(strPath);
        CVLVariant v;
        v.SetLong(99);
        pParams->GetAt(0)->SetValue(v);
    }
    static void SumMethod(IVLScriptExtendIF* p, const CVLString& strPath, CVLScriptParams* pParams, void*)
    {
        static_cast<CTestHost*>(p)->m_strPath = Bytes(strPath);
        static_cast<CTestHost*>(p)->m_pCaller = pParams->GetCaller();
        VL_LONG n = 0;
        for (int i = 0; i < pParams->GetCount(); ++i)
            n += pParams->GetAt(i)->ToLong(0);
        CVLVariant v;
        v.SetLong(n);
        pParams->SetReturnValue(v);
    }
    static void FailMethod(IVLScriptExtendIF*, const CVLString&, CVLScriptParams*, void*)
    {
        throw new EVLScriptException("VLCMApi", "VLCMScriptExtend", 1, VLSCR_ERR_NULL_OBJECT, nullptr, 0, false);
    }

    CVLVariant m_Value;
    CVLVariantAdapter m_Adapter;
    std::string m_strHead, m_strRest, m_strPath;
    IVLScriptExtendIF* m_pCaller = nullptr;
};

A::Image Callee()
{
    // long Twice(int x) { return x * 2; }
    A a("Twice", "lib.vls", 8);
    a.Param(6, "x").Line(3).Var("x").Long(2).Op(VLSCR_OP_MUL).Op(VLSCR_OP_RETURN_VALUE);
    return a.Build();
}
}  // namespace

TEST(ScriptCall, CallsAnotherScriptOfTheCollection)
{
    CVLScriptCollection scripts;
    AddScript(scripts, Callee());
    // return Twice("21") + Twice(1.9): arguments converted to int.
    A a("Main", "main.vls", 8);
    a.Op(VLSCR_OP_PARAM_FRAME).String("21").Op(VLSCR_OP_PARAM_SEP).Call("Twice");
    a.Op(VLSCR_OP_PARAM_FRAME).Double(1.9).Op(VLSCR_OP_PARAM_SEP).Call("Twice");
    a.Op(VLSCR_OP_ADD).Op(VLSCR_OP_RETURN_VALUE);
    CVLScript* pMain = AddScript(scripts, a.Build());
    CVLScriptParams params;
    SRunResult r = RunScript(*pMain, params, &scripts);
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(r.value.GetType(), 6);
    EXPECT_EQ(r.value.GetInt(), 44);
}

TEST(ScriptCall, ACalledNameFollowsChangesOfTheCollection)
{
    // long Main() { return Twice(5); }: the name is looked up again whenever
    // the collection (or the collection the run is given) changes.
    A a("Main", "main.vls", 8);
    a.Op(VLSCR_OP_PARAM_FRAME).Long(5).Op(VLSCR_OP_PARAM_SEP).Call("Twice").Op(VLSCR_OP_RETURN_VALUE);
    CVLScriptCollection scripts;
    CVLScript* pMain = AddScript(scripts, a.Build());
    CVLScriptParams params;
    EXPECT_EQ(RunScript(*pMain, params, &scripts).nError, VLSCR_ERR_NO_FUNCTION);
    AddScript(scripts, Callee());
    EXPECT_EQ(RunScript(*pMain, params, &scripts).value.ToLong(0), 10);
    scripts.Remove("Twice");
    EXPECT_EQ(RunScript(*pMain, params, &scripts).nError, VLSCR_ERR_NO_FUNCTION);
    // A host method of the name answers while no script has it.
    CTestHost host;
    A sum("CallSum", "main.vls", 8);
    sum.Op(VLSCR_OP_PARAM_FRAME).Long(5).Op(VLSCR_OP_PARAM_SEP).Call("Sum").Op(VLSCR_OP_RETURN_VALUE);
    CVLScript* pSum = AddScript(scripts, sum.Build());
    EXPECT_EQ(RunScript(*pSum, params, &scripts, &host).value.ToLong(0), 5);
    A thrice("Sum", "lib.vls", 8);
    thrice.Param(8, "x").Var("x").Long(3).Op(VLSCR_OP_MUL).Op(VLSCR_OP_RETURN_VALUE);
    AddScript(scripts, thrice.Build());
    EXPECT_EQ(RunScript(*pSum, params, &scripts, &host).value.ToLong(0), 15);
    // Another collection with its own script of the name.
    CVLScriptCollection other;
    A plus("Sum", "lib.vls", 8);
    plus.Param(8, "x").Var("x").Long(1).Op(VLSCR_OP_ADD).Op(VLSCR_OP_RETURN_VALUE);
    AddScript(other, plus.Build());
    EXPECT_EQ(RunScript(*pSum, params, &other, &host).value.ToLong(0), 6);
    EXPECT_EQ(RunScript(*pSum, params, &scripts, &host).value.ToLong(0), 15);
}

TEST(ScriptCall, ArgumentFramesAreFreshForEveryCall)
{
    // A handler that adds to and keeps what it is given must not leak into
    // the next call's arguments.
    class CAddingHost : public CTestHost
    {
    public:
        CAddingHost()
        {
            m_MethodMap[CVLString("Grow", VL_CHARSET_UTF8)] = [](IVLScriptExtendIF*, const CVLString&,
                                                                 CVLScriptParams* p, void*) {
                CVLVariant v;
                v.SetLong(p->GetCount());
                p->Add()->SetString("extra", VL_CHARSET_UTF8);
                p->SetReturnValue(v);
            };
        }
    };
    CAddingHost host;
    // return Grow(1) * 100 + Grow(1, 2) * 10 + Sum(u) with the unsigned u = 0xFFFFFFFF by reference.
    A a("F", "f.vls", 8);
    a.Declare("u", 9).Var("u").ULong(0xFFFFFFFFu).Op(VLSCR_OP_ASSIGN);
    a.Op(VLSCR_OP_PARAM_FRAME).Long(1).Op(VLSCR_OP_PARAM_SEP).Call("Grow").Long(100).Op(VLSCR_OP_MUL);
    a.Op(VLSCR_OP_PARAM_FRAME).Long(1).Op(VLSCR_OP_PARAM_SEP).Long(2).Op(VLSCR_OP_PARAM_SEP).Call("Grow");
    a.Long(10).Op(VLSCR_OP_MUL).Op(VLSCR_OP_ADD);
    a.Op(VLSCR_OP_PARAM_FRAME).Var("u").Op(VLSCR_OP_PARAM_SEP).Call("Sum").Op(VLSCR_OP_ADD);
    a.Op(VLSCR_OP_RETURN_VALUE);
    SRunResult r = RunImage(a.Build(), nullptr, nullptr, &host);
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(r.value.ToLong(0), 100 + 20 + static_cast<VL_LONG>(0xFFFFFFFFu));
    // A long parameter given an unsigned variable by reference keeps its bits.
    A callee("Id", "lib.vls", 8);
    callee.Param(8, "x").Var("x").Op(VLSCR_OP_RETURN_VALUE);
    CVLScriptCollection scripts;
    AddScript(scripts, callee.Build());
    A b("G", "g.vls", 8);
    b.Declare("u", 9).Var("u").ULong(0xFFFFFFFEu).Op(VLSCR_OP_ASSIGN);
    b.Op(VLSCR_OP_PARAM_FRAME).Var("u").Op(VLSCR_OP_PARAM_SEP).Call("Id").Op(VLSCR_OP_RETURN_VALUE);
    CVLScript* pG = AddScript(scripts, b.Build());
    CVLScriptParams params;
    r = RunScript(*pG, params, &scripts);
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(r.value.ToLong(0), -2);
}

TEST(ScriptCall, ANestedErrorKeepsItsScriptAndLine)
{
    CVLScriptCollection scripts;
    AddScript(scripts, Callee());
    A a("Main", "main.vls", 8);
    a.Line(5).Op(VLSCR_OP_PARAM_FRAME).Call("Twice").Op(VLSCR_OP_RETURN_VALUE);  // one argument short
    CVLScript* pMain = AddScript(scripts, a.Build());
    CVLScriptParams params;
    SRunResult r = RunScript(*pMain, params, &scripts);
    EXPECT_EQ(r.nError, VLSCR_ERR_PARAMS_COUNT);
    EXPECT_EQ(r.strScript, "lib.vls");
    A b("Main2", "main.vls", 8);  // a division by zero inside the callee
    b.Line(5).Op(VLSCR_OP_PARAM_FRAME).Long(1).Op(VLSCR_OP_PARAM_SEP).Call("Div").Op(VLSCR_OP_RETURN_VALUE);
    A c("Div", "div.vls", 8);
    c.Param(8, "x").Line(7).Var("x").Long(0).Op(VLSCR_OP_DIV).Op(VLSCR_OP_RETURN_VALUE);
    AddScript(scripts, c.Build());
    r = RunScript(*AddScript(scripts, b.Build()), params, &scripts);
    EXPECT_EQ(r.nError, VLSCR_ERR_UNEXPECTED);
    EXPECT_EQ(r.strScript, "div.vls");
    EXPECT_EQ(r.nLine, 7);
}

TEST(ScriptCall, RecursionRunsAndIsBounded)
{
    // long Fact(long n) { if (n <= 1) return 1; return n * Fact(n - 1); }
    A a("Fact", "fact.vls", 8);
    a.Param(8, "n").Var("n").Long(1).Op(VLSCR_OP_LE).Jump(VLSCR_OP_JUMP_FALSE, "rec");
    a.Long(1).Op(VLSCR_OP_RETURN_VALUE);
    a.Label("rec").Var("n").Op(VLSCR_OP_PARAM_FRAME).Var("n").Long(1).Op(VLSCR_OP_SUB).Op(VLSCR_OP_PARAM_SEP);
    a.Call("Fact").Op(VLSCR_OP_MUL).Op(VLSCR_OP_RETURN_VALUE);
    CVLScriptCollection scripts;
    CVLScript* p = AddScript(scripts, a.Build());
    CVLScriptParams params;
    params.Add()->SetLong(10);
    SRunResult r = RunScript(*p, params, &scripts);
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(r.value.GetLong(), 3628800);
    // Endless recursion stops at the nesting limit.
    A b("Loop", "loop.vls");
    b.Line(2).Op(VLSCR_OP_PARAM_FRAME).Call("Loop").Op(VLSCR_OP_RETURN);
    CVLScript* q = AddScript(scripts, b.Build());
    CVLScriptParams none;
    r = RunScript(*q, none, &scripts);
    EXPECT_EQ(r.nError, VLSCR_ERR_UNEXPECTED);
    EXPECT_EQ(r.nLine, 2);
    // The thread's count is back to zero: a new run works.
    r = RunScript(*p, params, &scripts);
    EXPECT_EQ(r.nError, 0);
}

TEST(ScriptCall, HostPropertiesReadAndWriteThroughTheHost)
{
    CTestHost host;
    // Dev.a.b = Dev.a.b + 2; return Dev.x;
    A a("F", "f.vls", 8);
    a.Var("Dev.a.b").Var("Dev.a.b").Long(2).Op(VLSCR_OP_ADD).Op(VLSCR_OP_ASSIGN);
    a.Var("Dev.x").Op(VLSCR_OP_RETURN_VALUE);
    SRunResult r = RunImage(a.Build(), nullptr, nullptr, &host);
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(host.m_Value.GetLong(), 42);
    EXPECT_EQ(r.value.GetLong(), 42);
    EXPECT_EQ(host.m_strHead, "Dev");
    EXPECT_EQ(host.m_strRest, "x");
    // A name the host does not know.
    A b("F", "f.vls", 8);
    b.Line(3).Var("Other.x").Op(VLSCR_OP_RETURN_VALUE);
    r = RunImage(b.Build(), nullptr, nullptr, &host);
    EXPECT_EQ(r.nError, VLSCR_ERR_NO_VARIABLE);
    EXPECT_EQ(r.nLine, 3);
}

TEST(ScriptCall, HostMethodsWithPathsAndReferences)
{
    CTestHost host;
    // long v; a.b.Set(v); return a.Sum(v, 1) ;
    A a("F", "f.vls", 8);
    a.Declare("v", 8).Op(VLSCR_OP_PARAM_FRAME).Var("v").Op(VLSCR_OP_PARAM_SEP).Call("a.b.Set");
    a.Op(VLSCR_OP_PARAM_FRAME).Var("v").Op(VLSCR_OP_PARAM_SEP).Long(1).Op(VLSCR_OP_PARAM_SEP).Call("Sum");
    a.Op(VLSCR_OP_RETURN_VALUE);
    SRunResult r = RunImage(a.Build(), nullptr, nullptr, &host);
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(r.value.GetLong(), 100);
    EXPECT_EQ(host.m_strPath, "");
    EXPECT_EQ(host.m_pCaller, nullptr);
    // A host exception gets this script's name and line.
    A b("F", "f.vls");
    b.Line(6).Op(VLSCR_OP_PARAM_FRAME).Call("x.Fail");
    r = RunImage(b.Build(), nullptr, nullptr, &host);
    EXPECT_EQ(r.nError, VLSCR_ERR_NULL_OBJECT);
    EXPECT_EQ(r.nLine, 6);
    EXPECT_EQ(r.strScript, "f.vls");
}

TEST(ScriptExtend, NameSplittingAndTheNextExtension)
{
    CTestHost own;
    CVLScriptParams params;
    CVLVariant seven;
    seven.SetLong(7);
    params.SetReturnValue(seven);
    EXPECT_FALSE(own.CallFunction("a.b.", &params, nullptr, nullptr));
    EXPECT_EQ(params.GetReturnValue().GetType(), 0);  // cleared even when not found
    EXPECT_TRUE(own.CallFunction("a.b.Sum", &params, nullptr, nullptr));
    EXPECT_EQ(own.m_strPath, "a.b");
    EXPECT_TRUE(own.CallFunction(".Sum", &params, nullptr, nullptr));
    EXPECT_EQ(own.m_strPath, "");
    EXPECT_NE(own.GetProperty("Dev.a.b"), nullptr);
    EXPECT_EQ(own.m_strRest, "a.b");
    EXPECT_NE(own.GetProperty("Dev."), nullptr);
    EXPECT_EQ(own.m_strRest, "");
    EXPECT_EQ(own.GetProperty(".Dev"), nullptr);  // empty head
    EXPECT_EQ(own.GetProperty("Dev"), nullptr);   // no ".": empty head
    CTestHost withDefault(nullptr, true);
    EXPECT_NE(withDefault.GetProperty("Any.thing"), nullptr);
    EXPECT_EQ(withDefault.m_strHead, "Any");

    // The next extension answers first, and is told who forwarded.
    CTestHost next;
    CTestHost outer(&next);
    params.SetReturnValue(seven);
    EXPECT_TRUE(outer.CallFunction("p.Sum", &params, nullptr, nullptr));
    EXPECT_EQ(next.m_strPath, "p");
    EXPECT_EQ(next.m_pCaller, &outer);
    EXPECT_EQ(outer.m_strPath, "");
    EXPECT_EQ(outer.GetProperty("Dev.z"), &next.m_Adapter);
    EXPECT_EQ(outer.m_strRest, "");
}

TEST(ScriptFuzz, MutatedImagesNeverCrash)
{
    std::vector<A::Image> seeds;
    {
        A a("Fact", "fact.vls", 8);
        a.Param(8, "n").Var("n").Long(1).Op(VLSCR_OP_LE).Jump(VLSCR_OP_JUMP_FALSE, "rec");
        a.Long(1).Op(VLSCR_OP_RETURN_VALUE);
        a.Label("rec").Var("n").Op(VLSCR_OP_PARAM_FRAME).Var("n").Long(1).Op(VLSCR_OP_SUB).Op(VLSCR_OP_PARAM_SEP);
        a.Call("Fact").Op(VLSCR_OP_MUL).Op(VLSCR_OP_RETURN_VALUE);
        seeds.push_back(a.Build());
        A b("Loop", "loop.vls", 8);
        b.Declare("i", 6).Declare("s", 14).Label("top").Var("i").Long(10).Op(VLSCR_OP_LT);
        b.Jump(VLSCR_OP_JUMP_FALSE, "end").Var("s").Var("s").String("ab").Op(VLSCR_OP_ADD).Op(VLSCR_OP_ASSIGN);
        b.Var("i").Op(VLSCR_OP_POST_INC).Var("o").Op(VLSCR_OP_NOT).Double(2.5).Op(VLSCR_OP_SHL);
        b.Jump(VLSCR_OP_JUMP, "top").Label("end").Var("s").Op(VLSCR_OP_RETURN_VALUE);
        seeds.push_back(b.Build());
    }
    std::mt19937 rng(1234);
    CTestHost host;
    CVLScriptRun::SetStepLimit(2000);
    int nLoaded = 0;
    for (int i = 0; i < 3000; ++i) {
        A::Image img = seeds[static_cast<size_t>(i) % seeds.size()];
        switch (rng() % 3) {
        case 0:
            for (int k = 0; k < 1 + static_cast<int>(rng() % 4); ++k)
                img[rng() % img.size()] ^= static_cast<VL_BYTE>(1u << (rng() % 8));
            break;
        case 1:
            img.resize(rng() % img.size());
            break;
        default:
            for (int k = 0; k < 1 + static_cast<int>(rng() % 16); ++k)
                img.push_back(static_cast<VL_BYTE>(rng()));
            break;
        }
        if (rng() % 2 == 0 && img.size() >= 13)  // keep the stored size right half the time
            A::Set32(img, 9, static_cast<VL_ULONG>(img.size()));
        CVLScriptCollection scripts;
        CVLScript* p = scripts.Add("x");
        try {
            p->Load(img.data(), static_cast<VL_SIZE_T>(img.size()), true);
            ++nLoaded;
            CVLScriptParams params;
            params.Add()->SetLong(static_cast<VL_LONG>(rng() % 20));
            p->Execute(params, &scripts, &host, nullptr);
        } catch (EVLException* e) {
            e->Delete();
        }
    }
    CVLScriptRun::SetStepLimit(0);
    EXPECT_GT(nLoaded, 100);
}

TEST(ScriptCall, OneScriptRunsOnSeveralThreadsAtOnce)
{
    A a("Fact", "fact.vls", 8);
    a.Param(8, "n").Var("n").Long(1).Op(VLSCR_OP_LE).Jump(VLSCR_OP_JUMP_FALSE, "rec");
    a.Long(1).Op(VLSCR_OP_RETURN_VALUE);
    a.Label("rec").Var("n").Op(VLSCR_OP_PARAM_FRAME).Var("n").Long(1).Op(VLSCR_OP_SUB).Op(VLSCR_OP_PARAM_SEP);
    a.Call("Fact").Op(VLSCR_OP_MUL).Op(VLSCR_OP_RETURN_VALUE);
    CVLScriptCollection scripts;
    CVLScript* p = AddScript(scripts, a.Build());
    std::vector<std::thread> threads;
    std::atomic<int> nGood(0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&]() {
            for (int i = 0; i < 200; ++i) {
                CVLScriptParams params;
                params.Add()->SetLong(6);
                SRunResult r = RunScript(*p, params, &scripts);
                if (r.nError == 0 && r.value.GetLong() == 720)
                    ++nGood;
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(nGood.load(), 800);
}

// Arguments stay on the value stack only in argument lists that the loader
// could check; a list that a jump enters, or an argument that leaves no
// value, runs as it always has and fails the same way.
TEST(ScriptCall, UncheckedArgumentListsFailAsBefore)
{
    CVLScriptCollection scripts;
    A id("Id", "id.vls", 8);
    id.Param(8, "x").Var("x").Op(VLSCR_OP_RETURN_VALUE);
    AddScript(scripts, id.Build());
    A a("Jumped", "main.vls", 8);  // jumps past the frame into the argument
    a.Line(3).Jump(VLSCR_OP_JUMP, "in").Op(VLSCR_OP_PARAM_FRAME).Label("in").Long(1).Op(VLSCR_OP_PARAM_SEP);
    a.Call("Id").Op(VLSCR_OP_RETURN_VALUE);
    CVLScriptParams params;
    SRunResult r = RunScript(*AddScript(scripts, a.Build()), params, &scripts);
    EXPECT_EQ(r.nError, VLSCR_ERR_PARAMS_STACK);
    A b("Empty", "main.vls", 8);  // a separator without a value
    b.Line(4).Op(VLSCR_OP_PARAM_FRAME).Op(VLSCR_OP_PARAM_SEP).Call("Id").Op(VLSCR_OP_RETURN_VALUE);
    r = RunScript(*AddScript(scripts, b.Build()), params, &scripts);
    EXPECT_EQ(r.nError, VLSCR_ERR_STACK);
    A c("Fine", "main.vls", 8);  // the same call, checked
    c.Op(VLSCR_OP_PARAM_FRAME).Long(1).Op(VLSCR_OP_PARAM_SEP).Call("Id").Op(VLSCR_OP_RETURN_VALUE);
    r = RunScript(*AddScript(scripts, c.Build()), params, &scripts);
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(r.value.GetLong(), 1);
}

namespace {
// A host whose method "Run" runs the script its path names (the same
// collection and host), with the method's arguments.
class CRunHost : public IVLScriptExtendIF
{
public:
    explicit CRunHost(CVLScriptCollection* pScripts) : IVLScriptExtendIF(nullptr, nullptr), m_pScripts(pScripts)
    {
        m_MethodMap[CVLString("Run", VL_CHARSET_UTF8)] = &RunMethod;
    }
    virtual CVLString GetContextText() override { return CVLString("run", VL_CHARSET_UTF8); }
    static void RunMethod(IVLScriptExtendIF* p, const CVLString& strPath, CVLScriptParams* pParams, void* pContext)
    {
        CRunHost* pHost = static_cast<CRunHost*>(p);
        CVLScript* pScript = pHost->m_pScripts->Find(strPath.GetBuffer());
        pScript->Execute(*pParams, pHost->m_pScripts, pHost, pContext);
    }

private:
    CVLScriptCollection* m_pScripts;
};
}  // namespace

// A host method that runs a script while calls of the outer run wait in its
// loop: the nested run has its own state, a failure inside it ends the outer
// run with the inner script's error, and the thread is whole again after.
TEST(ScriptCall, HostRunsAScriptWhileCallsWait)
{
    // Twice(x) = x * 2; Leaf(x) = Twice.Run(x) + 1; Top(x) = Leaf(x) + Leaf(x + 1)
    A twice("Twice", "twice.vls", 8);
    twice.Param(8, "x").Var("x").Long(2).Op(VLSCR_OP_MUL).Op(VLSCR_OP_RETURN_VALUE);
    A leaf("Leaf", "leaf.vls", 8);
    leaf.Param(8, "x").Op(VLSCR_OP_PARAM_FRAME).Var("x").Op(VLSCR_OP_PARAM_SEP).Call("Twice.Run");
    leaf.Long(1).Op(VLSCR_OP_ADD).Op(VLSCR_OP_RETURN_VALUE);
    A top("Top", "top.vls", 8);
    top.Param(8, "x").Op(VLSCR_OP_PARAM_FRAME).Var("x").Op(VLSCR_OP_PARAM_SEP).Call("Leaf");
    top.Op(VLSCR_OP_PARAM_FRAME).Var("x").Long(1).Op(VLSCR_OP_ADD).Op(VLSCR_OP_PARAM_SEP).Call("Leaf");
    top.Op(VLSCR_OP_ADD).Op(VLSCR_OP_RETURN_VALUE);
    // Div(x) = x / 0, run by the host for Middle, which Top2 calls: the host
    // call's failure carries the calling script's name and line.
    A div("Div", "div.vls", 8);
    div.Param(8, "x").Line(4).Var("x").Long(0).Op(VLSCR_OP_DIV).Op(VLSCR_OP_RETURN_VALUE);
    A top2("Top2", "top2.vls", 8);
    top2.Param(8, "x").Op(VLSCR_OP_PARAM_FRAME).Var("x").Op(VLSCR_OP_PARAM_SEP).Call("Middle");
    top2.Op(VLSCR_OP_RETURN_VALUE);
    A mid("Middle", "middle.vls", 8);
    mid.Param(8, "x").Line(6).Op(VLSCR_OP_PARAM_FRAME).Var("x").Op(VLSCR_OP_PARAM_SEP).Call("Div.Run");
    mid.Op(VLSCR_OP_RETURN_VALUE);
    CVLScriptCollection scripts;
    for (A* p : {&twice, &leaf, &top, &div, &top2, &mid})
        AddScript(scripts, p->Build());
    CRunHost host(&scripts);
    for (int i = 0; i < 2; ++i) {
        CVLScriptParams params;
        params.Add()->SetLong(5);
        SRunResult r = RunScript(*scripts.Find("Top"), params, &scripts, &host);
        ASSERT_EQ(r.nError, 0);
        EXPECT_EQ(r.value.GetLong(), 11 + 13);
        CVLScriptParams params2;
        params2.Add()->SetLong(5);
        r = RunScript(*scripts.Find("Top2"), params2, &scripts, &host);
        EXPECT_EQ(r.nError, VLSCR_ERR_UNEXPECTED);
        EXPECT_EQ(r.strScript, "middle.vls");
        EXPECT_EQ(r.nLine, 6);
    }
}
