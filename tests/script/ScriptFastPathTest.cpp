// The interpreter's shortcuts (32-bit integer operators, reused stacks,
// variables and argument lists) against the variant's own operators and a
// fresh run.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <thread>
#include <vector>

#include "tests/script/ScriptRunSupport.h"
#include "script/VLScrDbg.h"
#include "script/VLScriptDebuggerIF.h"
#include "script/VLScriptExtendIF.h"
#include "script/VLScriptRun.h"
#include "tests/support/TestSupport.h"

namespace {
typedef CScriptAssembler A;

// A host whose "Get" returns a long 5 that is not flagged as modified, whose
// "Probe" records its arguments and returns their count, and whose "Nothing"
// leaves the return value alone.
class CProbeHost : public IVLScriptExtendIF
{
public:
    CProbeHost() : IVLScriptExtendIF(nullptr, nullptr) {}
    virtual CVLString GetContextText() override { return CVLString("probe", VL_CHARSET_UTF8); }
    virtual bool CallFunction(const char* szName, CVLScriptParams* pParams, IVLScriptExtendIF*, void*) override
    {
        std::string strName(szName);
        if (strName == "Get") {
            CVLVariant v;
            v.SetLong(5);
            v.ClearModified();
            pParams->SetReturnValue(v);
            return true;
        }
        if (strName == "Probe") {
            SCall call;
            call.nCount = pParams->GetCount();
            for (int i = 0; i < pParams->GetCount(); ++i) {
                call.types.push_back(pParams->GetAt(i)->GetType());
                call.modified.push_back(pParams->GetAt(i)->IsModified());
            }
            call.nReturnType = pParams->GetReturnValue().GetType();
            call.bReturnModified = pParams->GetReturnValue().IsModified();
            call.bCaller = pParams->GetCaller() != nullptr;
            m_Calls.push_back(call);
            CVLVariant v;
            v.SetLong(call.nCount);
            pParams->SetReturnValue(v);
            return true;
        }
        return strName == "Nothing";
    }

    struct SCall
    {
        int nCount = 0;
        std::vector<int> types;
        std::vector<bool> modified;
        int nReturnType = -1;
        bool bReturnModified = true;
        bool bCaller = true;
    };
    std::vector<SCall> m_Calls;
};

CVLVariant Long(VL_LONG n)
{
    CVLVariant v;
    v.SetLong(n);
    return v;
}

// What the variant's operators make of l op r; false when they refuse.
bool Reference(VL_BYTE nOp, const CVLVariant& l, const CVLVariant& r, CVLVariant& out)
{
    try {
        switch (nOp) {
        case VLSCR_OP_MUL: out = l * r; break;
        case VLSCR_OP_DIV: out = l / r; break;
        case VLSCR_OP_MOD: out = l % r; break;
        case VLSCR_OP_ADD: out = l + r; break;
        case VLSCR_OP_SUB: out = l - r; break;
        case VLSCR_OP_BITAND: out = l & r; break;
        case VLSCR_OP_BITXOR: out = l ^ r; break;
        case VLSCR_OP_BITOR: out = l | r; break;
        case VLSCR_OP_SHL: out = l << r; break;
        case VLSCR_OP_SHR: out = l >> r; break;
        case VLSCR_OP_LT: out.SetBool(l < r); break;
        case VLSCR_OP_GT: out.SetBool(l > r); break;
        case VLSCR_OP_LE: out.SetBool(l <= r); break;
        case VLSCR_OP_GE: out.SetBool(l >= r); break;
        case VLSCR_OP_EQ: out.SetBool(l == r); break;
        case VLSCR_OP_NE: out.SetBool(l != r); break;
        case VLSCR_OP_AND: out.SetBool(l && r); break;
        default: out.SetBool(l || r); break;
        }
        return true;
    } catch (EVLException* e) {
        e->Delete();
        return false;
    }
}
}  // namespace

TEST(ScriptFastPath, IntegerOperatorsMatchTheVariantInEveryTypeCombination)
{
    const VL_BYTE ops[] = {VLSCR_OP_MUL,    VLSCR_OP_DIV,    VLSCR_OP_MOD,   VLSCR_OP_ADD, VLSCR_OP_SUB,
                           VLSCR_OP_LT,     VLSCR_OP_GT,     VLSCR_OP_LE,    VLSCR_OP_GE,  VLSCR_OP_EQ,
                           VLSCR_OP_NE,     VLSCR_OP_AND,    VLSCR_OP_OR,    VLSCR_OP_BITAND,
                           VLSCR_OP_BITXOR, VLSCR_OP_BITOR,  VLSCR_OP_SHL,   VLSCR_OP_SHR};
    // The 32-bit types on both sides, and neighbours that take other paths.
    const VL_BYTE leftTypes[] = {6, 7, 8, 9, 2, 10, 13};
    const VL_BYTE rightTypes[] = {6, 7, 8, 9, 3, 12};
    const VL_LONG values[] = {0, 1, -1, -7, 33, INT32_MIN, INT32_MAX};
    int nChecked = 0;
    for (VL_BYTE nOp : ops) {
        for (VL_BYTE nLeft : leftTypes) {
            for (VL_BYTE nRight : rightTypes) {
                A a("Op", "op.vls", 8);
                a.Param(nLeft, "x").Param(nRight, "y").Var("x").Var("y").Op(nOp).Op(VLSCR_OP_RETURN_VALUE);
                A::Image img = a.Build();
                CVLScript script;
                script.Load(img.data(), static_cast<VL_SIZE_T>(img.size()), true);
                for (VL_LONG x : values) {
                    for (VL_LONG y : values) {
                        CVLScriptParams params;
                        params.Add()->SetLong(x);
                        params.Add()->SetLong(y);
                        SRunResult r = RunScript(script, params);
                        CVLVariant l, rr, expected;
                        l.SetAs(nLeft, Long(x));
                        rr.SetAs(nRight, Long(y));
                        bool bOk = Reference(nOp, l, rr, expected);
                        SCOPED_TRACE(testing::Message() << "op " << int(nOp) << " types " << int(nLeft) << "/"
                                                        << int(nRight) << " values " << x << "/" << y);
                        ASSERT_EQ(r.nError == 0, bOk);
                        if (bOk) {
                            ASSERT_EQ(r.value.GetType(), expected.GetType());
                            bool bNaN = expected.GetType() == 13 && std::isnan(expected.GetDouble());
                            if (!bNaN) {
                                EXPECT_TRUE(r.value.IsEqual(expected));
                            }
                            EXPECT_EQ(Bytes(r.value.ToString(nullptr)), Bytes(expected.ToString(nullptr)));
                        } else {
                            EXPECT_EQ(r.nError, VLSCR_ERR_UNEXPECTED);
                        }
                        ++nChecked;
                    }
                }
            }
        }
    }
    EXPECT_EQ(nChecked, 18 * 7 * 6 * 7 * 7);
}

TEST(ScriptFastPath, AssignmentsBetweenIntegerVariables)
{
    // int i; unsigned long u; long l; i = -5; u = i; l = u + 1; return l;
    A a("F", "f.vls", 8);
    a.Declare("i", 6).Declare("u", 9).Declare("l", 8);
    a.Var("i").Long(-5).Op(VLSCR_OP_ASSIGN).Jump(VLSCR_OP_JUMP, "s2");
    a.Label("s2").Var("u").Var("i").Op(VLSCR_OP_ASSIGN).Jump(VLSCR_OP_JUMP, "s3");
    a.Label("s3").Var("l").Var("u").Long(1).Op(VLSCR_OP_ADD).Op(VLSCR_OP_ASSIGN).Jump(VLSCR_OP_JUMP, "s4");
    a.Label("s4").Var("l").Op(VLSCR_OP_RETURN_VALUE);
    SRunResult r = RunImage(a.Build());
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(r.value.GetType(), 8);
    EXPECT_EQ(r.value.GetLong(), -4);
    // The same types assigned directly: an unsigned long keeps all 32 bits.
    A b("G", "g.vls", 9);
    b.Declare("u", 9).Declare("v", 9).Var("u").ULong(0xfffffffeu).Op(VLSCR_OP_ASSIGN);
    b.Jump(VLSCR_OP_JUMP, "s2").Label("s2").Var("v").Var("u").Op(VLSCR_OP_ASSIGN);
    b.Jump(VLSCR_OP_JUMP, "s3").Label("s3").Var("v").Op(VLSCR_OP_POST_INC).Op(VLSCR_OP_RETURN_VALUE);
    r = RunImage(b.Build());
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(r.value.GetType(), 9);
    EXPECT_EQ(r.value.GetULong(), 0xfffffffeu);
}

TEST(ScriptFastPath, EveryRunStartsWithFreshVariablesAndStack)
{
    // long F() { long x; x = x + 5; return x; } gives 5 on every run, also
    // when the runs reuse what an earlier run left.
    A a("F", "f.vls", 8);
    a.Declare("x", 8).Var("x").Var("x").Long(5).Op(VLSCR_OP_ADD).Op(VLSCR_OP_ASSIGN);
    a.Jump(VLSCR_OP_JUMP, "ret").Label("ret").Var("x").Op(VLSCR_OP_RETURN_VALUE);
    A::Image img = a.Build();
    for (int i = 0; i < 3; ++i) {
        SRunResult r = RunImage(img);
        ASSERT_EQ(r.nError, 0);
        EXPECT_EQ(r.value.GetLong(), 5);
    }

    // A call result that is not flagged as modified stays on the stack of the
    // first run; a literal pushed in the same place by the next run is a new
    // value and so flagged.
    CProbeHost host;
    A first("First", "first.vls", 0);
    first.Op(VLSCR_OP_PARAM_FRAME).Call("Get").Op(VLSCR_OP_RETURN);
    A second("Second", "second.vls", 0);
    second.Op(VLSCR_OP_PARAM_FRAME).Long(5).Op(VLSCR_OP_PARAM_SEP).Call("Probe").Op(VLSCR_OP_RETURN);
    ASSERT_EQ(RunImage(first.Build(), nullptr, nullptr, &host).nError, 0);
    ASSERT_EQ(RunImage(second.Build(), nullptr, nullptr, &host).nError, 0);
    ASSERT_EQ(host.m_Calls.size(), 1u);
    ASSERT_EQ(host.m_Calls[0].nCount, 1);
    EXPECT_EQ(host.m_Calls[0].types[0], 8);
    EXPECT_TRUE(host.m_Calls[0].modified[0]);
}

TEST(ScriptFastPath, ArgumentListsOfLaterCallsStartEmpty)
{
    // Probe(1, 2); Nothing(); Probe(3); return the last result.
    CProbeHost host;
    A a("F", "f.vls", 8);
    a.Op(VLSCR_OP_PARAM_FRAME).Long(1).Op(VLSCR_OP_PARAM_SEP).Long(2).Op(VLSCR_OP_PARAM_SEP).Call("Probe");
    a.Jump(VLSCR_OP_JUMP, "s2").Label("s2").Op(VLSCR_OP_PARAM_FRAME).Call("Nothing");
    a.Op(VLSCR_OP_RETURN_VALUE);
    SRunResult r = RunImage(a.Build(), nullptr, nullptr, &host);
    ASSERT_EQ(r.nError, 0);
    // The frame that "Probe" filled is reused: its result does not leak.
    EXPECT_EQ(r.value.GetType(), 0);

    A b("G", "g.vls", 8);
    b.Op(VLSCR_OP_PARAM_FRAME).Long(1).Op(VLSCR_OP_PARAM_SEP).Long(2).Op(VLSCR_OP_PARAM_SEP).Call("Probe");
    b.Jump(VLSCR_OP_JUMP, "s2").Label("s2").Op(VLSCR_OP_PARAM_FRAME).Long(3).Op(VLSCR_OP_PARAM_SEP);
    b.Call("Probe").Op(VLSCR_OP_RETURN_VALUE);
    host.m_Calls.clear();
    r = RunImage(b.Build(), nullptr, nullptr, &host);
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(r.value.GetLong(), 1);
    ASSERT_EQ(host.m_Calls.size(), 2u);
    for (const CProbeHost::SCall& call : host.m_Calls) {
        EXPECT_EQ(call.nReturnType, 0);
        EXPECT_FALSE(call.bReturnModified);
        EXPECT_FALSE(call.bCaller);
        for (bool b : call.modified)
            EXPECT_TRUE(b);
    }
    EXPECT_EQ(host.m_Calls[0].nCount, 2);
    EXPECT_EQ(host.m_Calls[1].nCount, 1);
}

TEST(ScriptFastPath, RecursionAndStackGrowthInNestedRuns)
{
    // long Fib(long n) { if (n < 2) return n; return Fib(n - 1) + Fib(n - 2); }
    A fib("Fib", "fib.vls", 8);
    fib.Param(8, "n").Var("n").Long(2).Op(VLSCR_OP_LT).Jump(VLSCR_OP_JUMP_FALSE, "rec");
    fib.Var("n").Op(VLSCR_OP_RETURN_VALUE);
    fib.Label("rec").Op(VLSCR_OP_PARAM_FRAME).Var("n").Long(1).Op(VLSCR_OP_SUB).Op(VLSCR_OP_PARAM_SEP).Call("Fib");
    fib.Op(VLSCR_OP_PARAM_FRAME).Var("n").Long(2).Op(VLSCR_OP_SUB).Op(VLSCR_OP_PARAM_SEP).Call("Fib");
    fib.Op(VLSCR_OP_ADD).Op(VLSCR_OP_RETURN_VALUE);
    // long Deep() { return 1 + (1 + (... + Fib(10))); } with twelve values
    // waiting on the stack while Fib runs.
    A deep("Deep", "deep.vls", 8);
    for (int i = 0; i < 12; ++i)
        deep.Long(1);
    deep.Op(VLSCR_OP_PARAM_FRAME).Long(10).Op(VLSCR_OP_PARAM_SEP).Call("Fib");
    for (int i = 0; i < 12; ++i)
        deep.Op(VLSCR_OP_ADD);
    deep.Op(VLSCR_OP_RETURN_VALUE);
    CVLScriptCollection scripts;
    CVLScript* pFib = AddScript(scripts, fib.Build());
    CVLScript* pDeep = AddScript(scripts, deep.Build());
    for (int i = 0; i < 2; ++i) {
        CVLScriptParams params;
        params.Add()->SetLong(15);
        SRunResult r = RunScript(*pFib, params, &scripts);
        ASSERT_EQ(r.nError, 0);
        EXPECT_EQ(r.value.GetLong(), 610);
        EXPECT_EQ(CVLScriptRun::GetLastStackCapacity(), 8u);
        CVLScriptParams none;
        r = RunScript(*pDeep, none, &scripts);
        ASSERT_EQ(r.nError, 0);
        EXPECT_EQ(r.value.GetLong(), 67);
        EXPECT_EQ(CVLScriptRun::GetLastStackCapacity(), 16u);
    }
}

TEST(ScriptFastPath, ResultsReplaceOlderStackValuesOfOtherTypes)
{
    // 0, "text"; x = x + 1 (the sum lands where the text was); 2.5;
    // return x < 3 (the comparison lands where the double was).
    A a("F", "f.vls", 1);
    a.Declare("x", 8).Long(0).String("text").Jump(VLSCR_OP_JUMP, "s2");
    a.Label("s2").Var("x").Var("x").Long(1).Op(VLSCR_OP_ADD).Op(VLSCR_OP_ASSIGN).Jump(VLSCR_OP_JUMP, "s3");
    a.Label("s3").Double(2.5).Jump(VLSCR_OP_JUMP, "s4");
    a.Label("s4").Var("x").Long(3).Op(VLSCR_OP_LT).Op(VLSCR_OP_RETURN_VALUE);
    SRunResult r = RunImage(a.Build());
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(r.value.GetType(), 1);
    EXPECT_TRUE(r.value.GetBool());
}

namespace {
const VL_BYTE kAllOps[] = {VLSCR_OP_MUL, VLSCR_OP_DIV,    VLSCR_OP_MOD,    VLSCR_OP_ADD,   VLSCR_OP_SUB,
                           VLSCR_OP_LT,  VLSCR_OP_GT,     VLSCR_OP_LE,     VLSCR_OP_GE,    VLSCR_OP_EQ,
                           VLSCR_OP_NE,  VLSCR_OP_BITAND, VLSCR_OP_BITXOR, VLSCR_OP_BITOR, VLSCR_OP_SHL,
                           VLSCR_OP_SHR};
const VL_BYTE kTypes[] = {6, 7, 8, 9, 2, 10, 13};
const VL_LONG kValues[] = {0, 1, -1, 33, INT32_MIN, INT32_MAX};

// Runs an image with the arguments, as a long each converted by the
// parameters' types.
SRunResult RunWith(const A::Image& img, VL_LONG x, VL_LONG y)
{
    CVLScriptParams params;
    params.Add()->SetLong(x);
    params.Add()->SetLong(y);
    return RunImage(img, &params);
}

// The run's result against the expected value (false: an error expected).
void Check(const SRunResult& r, bool bOk, const CVLVariant& expected)
{
    ASSERT_EQ(r.nError == 0, bOk);
    if (!bOk) {
        EXPECT_EQ(r.nError, VLSCR_ERR_UNEXPECTED);
        return;
    }
    ASSERT_EQ(r.value.GetType(), expected.GetType());
    EXPECT_EQ(Bytes(r.value.ToString(nullptr)), Bytes(expected.ToString(nullptr)));
}
}  // namespace

TEST(ScriptFastPath, RunsOfInstructionsTakenTogetherMatchTheOperators)
{
    for (VL_BYTE nOp : kAllOps) {
        bool bCompare = nOp >= VLSCR_OP_LT && nOp <= VLSCR_OP_NE;
        for (VL_BYTE nType : kTypes) {
            // x op literal; +x op literal (the literal and operator alone);
            // d = x op y and d = x op literal for a d of x's type and a long d;
            // if (x op literal) return 1 else return 0.
            A a1("F", "f.vls", 8);
            a1.Param(nType, "x").Param(8, "y").Var("x").Long(7).Op(nOp).Op(VLSCR_OP_RETURN_VALUE);
            A a2("F", "f.vls", 8);
            a2.Param(nType, "x").Param(8, "y").Var("x").Op(VLSCR_OP_PLUS).Long(7).Op(nOp).Op(VLSCR_OP_RETURN_VALUE);
            A::Image i1 = a1.Build(), i2 = a2.Build();
            std::vector<A::Image> sets;
            for (VL_BYTE nTarget : {nType, static_cast<VL_BYTE>(8)}) {
                for (bool bLiteral : {false, true}) {
                    A a("F", "f.vls", 8);
                    a.Param(nType, "x").Param(6, "y").Declare("d", nTarget).Var("d").Var("x");
                    if (bLiteral)
                        a.Long(-3);
                    else
                        a.Var("y");
                    a.Op(nOp).Op(VLSCR_OP_ASSIGN).Jump(VLSCR_OP_JUMP, "r").Label("r");
                    a.Var("d").Op(VLSCR_OP_RETURN_VALUE);
                    sets.push_back(a.Build());
                }
            }
            A t("F", "f.vls", 8);
            t.Param(nType, "x").Param(8, "y").Var("x").Long(-2).Op(bCompare ? nOp : static_cast<VL_BYTE>(VLSCR_OP_LT));
            t.Jump(VLSCR_OP_JUMP_FALSE, "no").Long(1).Op(VLSCR_OP_RETURN_VALUE);
            t.Label("no").Long(0).Op(VLSCR_OP_RETURN_VALUE);
            A::Image it = t.Build();
            for (VL_LONG x : kValues) {
                for (VL_LONG y : kValues) {
                    SCOPED_TRACE(testing::Message() << "op " << int(nOp) << " type " << int(nType) << " values " << x
                                                    << "/" << y);
                    CVLVariant vx, vy, seven, minus3, minus2, expected;
                    vx.SetAs(nType, Long(x));
                    vy.SetAs(6, Long(y));
                    seven.SetLong(7);
                    minus3.SetLong(-3);
                    minus2.SetLong(-2);
                    bool bOk = Reference(nOp, vx, seven, expected);
                    Check(RunWith(i1, x, y), bOk, expected);
                    Check(RunWith(i2, x, y), bOk, expected);
                    size_t k = 0;
                    for (VL_BYTE nTarget : {nType, static_cast<VL_BYTE>(8)}) {
                        for (bool bLiteral : {false, true}) {
                            CVLVariant result, d;
                            bOk = Reference(nOp, vx, bLiteral ? minus3 : vy, result);
                            if (bOk)
                                d.SetAs(nTarget, result);
                            Check(RunWith(sets[k++], x, y), bOk, d);
                        }
                    }
                    CVLVariant test;
                    bOk = Reference(bCompare ? nOp : static_cast<VL_BYTE>(VLSCR_OP_LT), vx, minus2, test);
                    CVLVariant branch;
                    if (bOk)
                        branch.SetLong(test.ToBool(false) ? 1 : 0);
                    Check(RunWith(it, x, y), bOk, branch);
                }
            }
        }
    }
}

TEST(ScriptFastPath, PostStepsOfEveryIntegerType)
{
    const VL_BYTE types[] = {6, 7, 8, 9, 2, 4, 10, 13};
    for (VL_BYTE nOp : {VLSCR_OP_POST_INC, VLSCR_OP_POST_DEC}) {
        for (VL_BYTE nType : types) {
            // return x++ (the old value); x++; return x (the new one).
            A a("F", "f.vls", 8);
            a.Param(nType, "x").Param(8, "y").Var("x").Op(nOp).Op(VLSCR_OP_RETURN_VALUE);
            A b("F", "f.vls", 8);
            b.Param(nType, "x").Param(8, "y").Var("x").Op(nOp).Jump(VLSCR_OP_JUMP, "r").Label("r");
            b.Var("x").Op(VLSCR_OP_RETURN_VALUE);
            A::Image ia = a.Build(), ib = b.Build();
            for (VL_LONG x : kValues) {
                SCOPED_TRACE(testing::Message() << "op " << int(nOp) << " type " << int(nType) << " value " << x);
                CVLVariant old, one, changed;
                old.SetAs(nType, Long(x));
                one.SetInt(1);
                changed.SetAs(nType, nOp == VLSCR_OP_POST_INC ? old + one : old - one);
                Check(RunWith(ia, x, 0), true, old);
                Check(RunWith(ib, x, 0), true, changed);
            }
        }
    }
}

TEST(ScriptFastPath, ErrorsAndStepsInsideRunsKeepTheirInstruction)
{
    // long d; d = x / 0 with the division on line 7.
    A a("F", "f.vls", 8);
    a.Param(8, "x").Param(8, "y").Declare("d", 8).Line(5).Var("d").Var("x").Long(0).Line(7).Op(VLSCR_OP_DIV);
    a.Line(8).Op(VLSCR_OP_ASSIGN).Var("d").Op(VLSCR_OP_RETURN_VALUE);
    SRunResult r = RunWith(a.Build(), 5, 0);
    EXPECT_EQ(r.nError, VLSCR_ERR_UNEXPECTED);
    EXPECT_EQ(r.nLine, 7);

    // long i; while (i < 100) i++; under a budget of 10 steps: the eleventh
    // step is the test's jump, on line 9.
    A b("F", "f.vls", 8);
    b.Declare("i", 8).Label("cond").Line(3).Var("i").Long(100).Op(VLSCR_OP_LT).Line(9);
    b.Jump(VLSCR_OP_JUMP_FALSE, "end").Line(4).Var("i").Op(VLSCR_OP_POST_INC).Jump(VLSCR_OP_JUMP, "cond");
    b.Label("end").Var("i").Op(VLSCR_OP_RETURN_VALUE);
    A::Image img = b.Build();
    CVLScriptRun::SetStepLimit(10);
    r = RunImage(img);
    CVLScriptRun::SetStepLimit(0);
    EXPECT_EQ(r.nError, VLSCR_ERR_UNEXPECTED);
    EXPECT_EQ(r.nLine, 9);
    r = RunImage(img);
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(r.value.GetLong(), 100);
}

TEST(ScriptFastPath, ArgumentListsMoveBetweenThreads)
{
    // Lists filled on one thread and emptied on another, while both threads
    // run scripts that build argument lists of their own.
    A a("Sum2", "sum.vls", 8);
    a.Param(8, "a").Param(8, "b").Var("a").Var("b").Op(VLSCR_OP_ADD).Op(VLSCR_OP_RETURN_VALUE);
    CVLScriptCollection scripts;
    CVLScript* p = AddScript(scripts, a.Build());
    std::vector<CVLScriptParams*> lists;
    for (int i = 0; i < 50; ++i) {
        CVLScriptParams* pList = new CVLScriptParams();
        pList->Add()->SetLong(i);
        pList->Add()->SetString("x", VL_CHARSET_UTF8);
        lists.push_back(pList);
    }
    int nGood = 0;
    std::thread worker([&]() {
        for (CVLScriptParams* pList : lists)
            delete pList;
        for (int i = 0; i < 100; ++i) {
            CVLScriptParams params;
            params.Add()->SetLong(i);
            params.Add()->SetLong(1);
            if (RunScript(*p, params, &scripts).value.ToLong(0) == i + 1)
                ++nGood;
        }
    });
    worker.join();
    EXPECT_EQ(nGood, 100);
    for (int i = 0; i < 100; ++i) {
        CVLScriptParams params;
        CVLVariant* pArg = params.Add();
        EXPECT_EQ(pArg->GetType(), 0);
        EXPECT_FALSE(pArg->IsModified());
        pArg->SetLong(i);
        params.Add()->SetLong(2);
        EXPECT_EQ(RunScript(*p, params, &scripts).value.ToLong(0), i + 2);
    }
}

TEST(ScriptFastPath, CallResultsKeepTheirFlagIntoArguments)
{
    // Probe(Get()): the unflagged long 5 reaches Probe unflagged; Probe(5)
    // gets a flagged one.
    CProbeHost host;
    A a("F", "f.vls", 8);
    a.Op(VLSCR_OP_PARAM_FRAME).Op(VLSCR_OP_PARAM_FRAME).Call("Get").Op(VLSCR_OP_PARAM_SEP).Call("Probe");
    a.Jump(VLSCR_OP_JUMP, "s2").Label("s2").Op(VLSCR_OP_PARAM_FRAME).Long(5).Op(VLSCR_OP_PARAM_SEP).Call("Probe");
    a.Op(VLSCR_OP_RETURN_VALUE);
    SRunResult r = RunImage(a.Build(), nullptr, nullptr, &host);
    ASSERT_EQ(r.nError, 0);
    ASSERT_EQ(host.m_Calls.size(), 2u);
    EXPECT_EQ(host.m_Calls[0].types[0], 8);
    EXPECT_FALSE(host.m_Calls[0].modified[0]);
    EXPECT_EQ(host.m_Calls[1].types[0], 8);
    EXPECT_TRUE(host.m_Calls[1].modified[0]);
}

namespace {
// A debugger that only switches the interpreter to one instruction at a time.
class CStepDebugger : public IVLScriptDebuggerIF
{
public:
    virtual void OnAttach() override {}
    virtual void OnDetach() override {}
    virtual void OnLoadSource(CVLScrDbgFileInfo*) override {}
    virtual void OnBreak(VLScrDbgContext*) override {}
    virtual void OnException(EVLException*) override {}
};

// long F(long n) { long s; long i; ulong u; s = 0; for (init; test; step)
// { body } return s; } in the compiler's layout: the test's jump on line 3,
// the jump into the body on 4, the step's jump on 5, the body's jump back on 7.
typedef void (*FPart)(A&);
A::Image LoopImage(FPart init, FPart test, FPart step, FPart body)
{
    A a("F", "f.vls", 8);
    a.Param(8, "n").Line(1).Declare("s", 8).Declare("i", 8).Declare("u", 9).Var("s").Long(0).Op(VLSCR_OP_ASSIGN);
    init(a);
    a.Label("test").Line(2);
    test(a);
    a.Line(3).Jump(VLSCR_OP_JUMP_FALSE, "exit").Line(4).Jump(VLSCR_OP_JUMP, "body").Label("step").Line(5);
    step(a);
    a.Line(5).Jump(VLSCR_OP_JUMP, "test").Label("body").Line(6);
    body(a);
    a.Line(7).Jump(VLSCR_OP_JUMP, "step").Label("exit").Line(8).Var("s").Op(VLSCR_OP_RETURN_VALUE);
    return a.Build();
}

// The run with loop passes taken together and one instruction at a time (as
// under a debugger) under every step limit up to nMaxLimit: the same result
// or error and line, and the same host calls with the same argument flags.
void ExpectSameOneByOne(const A::Image& img, VL_LONG n, int nMaxLimit)
{
    for (int nLimit = 0; nLimit <= nMaxLimit; ++nLimit) {
        SCOPED_TRACE(testing::Message() << "step limit " << nLimit);
        SRunResult r[2];
        std::vector<CProbeHost::SCall> calls[2];
        for (int k = 0; k < 2; ++k) {
            CStepDebugger debugger;
            if (k == 1)
                VLScrDbgSetDebugger(&debugger);
            CProbeHost host;
            CVLScriptParams params;
            params.Add()->SetLong(n);
            CVLScriptRun::SetStepLimit(static_cast<VL_ULONGLONG>(nLimit));
            r[k] = RunImage(img, &params, nullptr, &host);
            CVLScriptRun::SetStepLimit(0);
            VLScrDbgSetDebugger(nullptr);
            calls[k] = host.m_Calls;
        }
        ASSERT_EQ(r[0].nError, r[1].nError);
        EXPECT_EQ(r[0].nLine, r[1].nLine);
        EXPECT_EQ(r[0].value.GetType(), r[1].value.GetType());
        EXPECT_EQ(r[0].value.ToLong(-1), r[1].value.ToLong(-1));
        ASSERT_EQ(calls[0].size(), calls[1].size());
        for (size_t i = 0; i < calls[0].size(); ++i) {
            EXPECT_EQ(calls[0][i].types, calls[1][i].types);
            EXPECT_EQ(calls[0][i].modified, calls[1][i].modified);
        }
    }
}
}  // namespace

TEST(ScriptFastPath, LoopPassesTakenTogetherMatchOneByOne)
{
    // for (i = 0; i < n; i++) { Probe(5, i); s = s + 1; if (true) {} Get(); }:
    // 4 passes take 21 steps; every limit below that ends the run at its own
    // jump. The unflagged 5 of Get() in the bottom entry is overwritten by
    // the loop's test, so the next pass's literal 5 reaches Probe flagged.
    A::Image up =
        LoopImage([](A& a) { a.Var("i").Long(0).Op(VLSCR_OP_ASSIGN); },
                  [](A& a) { a.Var("i").Var("n").Op(VLSCR_OP_LT); }, [](A& a) { a.Var("i").Op(VLSCR_OP_POST_INC); },
                  [](A& a) {
                      a.Op(VLSCR_OP_PARAM_FRAME).Long(5).Op(VLSCR_OP_PARAM_SEP).Var("i");
                      a.Op(VLSCR_OP_PARAM_SEP).Call("Probe");
                      a.Var("s").Var("s").Long(1).Op(VLSCR_OP_ADD).Op(VLSCR_OP_ASSIGN);
                      a.Op(VLSCR_OP_PUSH_TRUE).Jump(VLSCR_OP_JUMP_FALSE, "get").Label("get");
                      a.Op(VLSCR_OP_PARAM_FRAME).Call("Get");
                  });
    ExpectSameOneByOne(up, 4, 23);
    CProbeHost host;
    CVLScriptParams params;
    params.Add()->SetLong(4);
    SRunResult r = RunImage(up, &params, nullptr, &host);
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(r.value.GetLong(), 4);
    ASSERT_EQ(host.m_Calls.size(), 4u);
    EXPECT_TRUE(host.m_Calls[3].modified[0]);
    // for (u = 3; u > 0; u = u - 1) { s = s + u; Probe(s, 3); } on an
    // unsigned counter, with a literal in the test.
    ExpectSameOneByOne(LoopImage([](A& a) { a.Var("u").Long(3).Op(VLSCR_OP_ASSIGN); },
                                 [](A& a) { a.Var("u").Long(0).Op(VLSCR_OP_GT); },
                                 [](A& a) { a.Var("u").Var("u").Long(1).Op(VLSCR_OP_SUB).Op(VLSCR_OP_ASSIGN); },
                                 [](A& a) {
                                     a.Var("s").Var("s").Var("u").Op(VLSCR_OP_ADD).Op(VLSCR_OP_ASSIGN);
                                     a.Op(VLSCR_OP_PARAM_FRAME).Var("s").Op(VLSCR_OP_PARAM_SEP).Long(3);
                                     a.Op(VLSCR_OP_PARAM_SEP).Call("Probe");
                                 }),
                       0, 14);
    // Variables that change type inside the loop: the limit n becomes a
    // double 5.5 in the second pass, the counter i a double (0) in the third.
    ExpectSameOneByOne(LoopImage([](A& a) { a.Var("i").Long(0).Op(VLSCR_OP_ASSIGN); },
                                 [](A& a) { a.Var("i").Var("n").Op(VLSCR_OP_LT); },
                                 [](A& a) { a.Var("i").Op(VLSCR_OP_POST_INC); },
                                 [](A& a) {
                                     a.Var("s").Var("s").Long(1).Op(VLSCR_OP_ADD).Op(VLSCR_OP_ASSIGN);
                                     a.Var("i").Long(1).Op(VLSCR_OP_EQ).Jump(VLSCR_OP_JUMP_FALSE, "two");
                                     a.Declare("n", 13).Var("n").Double(5.5).Op(VLSCR_OP_ASSIGN);
                                     a.Label("two").Var("i").Long(2).Op(VLSCR_OP_EQ).Jump(VLSCR_OP_JUMP_FALSE, "on");
                                     a.Declare("i", 13).Label("on");
                                 }),
                       3, 70);
}
