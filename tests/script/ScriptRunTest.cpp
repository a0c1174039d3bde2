#include <gtest/gtest.h>

#include "tests/script/ScriptRunSupport.h"
#include "script/VLScriptExtendIF.h"
#include "script/VLScriptRun.h"
#include "base/value/VLVariantAdapter.h"
#include "tests/support/TestSupport.h"

namespace {
typedef CScriptAssembler A;

// s = expression of two operands: declares r of nType, assigns l op r.
A::Image Return(void (*emit)(A&), VL_BYTE nReturn = 8)
{
    A a("F", "f.vls", nReturn);
    emit(a);
    a.Op(VLSCR_OP_RETURN_VALUE);
    return a.Build();
}
}  // namespace

TEST(ScriptRun, LiteralsAndLeftTypedArithmetic)
{
    SRunResult r = RunImage(Return([](A& a) { a.Long(7).Long(2).Op(VLSCR_OP_DIV); }));
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(r.value.GetType(), 8);
    EXPECT_EQ(r.value.GetLong(), 3);
    // Wrap at 32 bits, in the left operand's type.
    r = RunImage(Return([](A& a) { a.Long(0x7fffffff).Long(1).Op(VLSCR_OP_ADD); }));
    EXPECT_EQ(r.value.GetLong(), INT32_MIN);
    r = RunImage(Return([](A& a) { a.ULong(0xffffffffu).Long(1).Op(VLSCR_OP_ADD); }));
    EXPECT_EQ(r.value.GetType(), 9);
    EXPECT_EQ(r.value.GetULong(), 0u);
    r = RunImage(Return([](A& a) { a.Double(7.0).Long(2).Op(VLSCR_OP_DIV); }));
    EXPECT_EQ(r.value.GetType(), 13);
    EXPECT_DOUBLE_EQ(r.value.GetDouble(), 3.5);
    r = RunImage(Return([](A& a) { a.String("ab").Long(1).Op(VLSCR_OP_ADD); }));
    EXPECT_EQ(Bytes(r.value.ToString(nullptr)), "ab1");
    r = RunImage(Return([](A& a) { a.Long(3).String("10").Op(VLSCR_OP_LT); }));
    EXPECT_EQ(r.value.GetType(), 1);
    EXPECT_TRUE(r.value.GetBool());
    r = RunImage(Return([](A& a) { a.Long(-8).Long(1).Op(VLSCR_OP_SHR); }));
    EXPECT_EQ(r.value.GetLong(), -4);
    r = RunImage(Return([](A& a) { a.Long(6).Long(3).Op(VLSCR_OP_BITXOR).Op(VLSCR_OP_COMPLEMENT); }));
    EXPECT_EQ(r.value.GetLong(), ~5);
    r = RunImage(Return([](A& a) { a.Long(5).Op(VLSCR_OP_NEGATE); }));
    EXPECT_EQ(r.value.GetLong(), -5);
    r = RunImage(Return([](A& a) { a.Op(VLSCR_OP_PUSH_TRUE).Op(VLSCR_OP_PUSH_FALSE).Op(VLSCR_OP_OR); }));
    EXPECT_TRUE(r.value.GetBool());
    r = RunImage(Return([](A& a) { a.Long(2).Long(2).Op(VLSCR_OP_NE); }));
    EXPECT_FALSE(r.value.GetBool());
    r = RunImage(Return([](A& a) { a.Op(VLSCR_OP_PUSH_NULL); }));
    EXPECT_EQ(r.value.GetType(), 0);
}

TEST(ScriptRun, NotInvertsItsOperand)
{
    SRunResult r = RunImage(Return([](A& a) { a.Op(VLSCR_OP_PUSH_TRUE).Op(VLSCR_OP_NOT); }));
    EXPECT_EQ(r.value.GetType(), 1);
    EXPECT_FALSE(r.value.GetBool());
    r = RunImage(Return([](A& a) { a.Long(0).Op(VLSCR_OP_NOT); }));
    EXPECT_TRUE(r.value.GetBool());
}

TEST(ScriptRun, AssignmentConvertsToTheVariablesType)
{
    // int i; i = 5; short s; s = 70000; string t; t = i; return t + s;
    A a("F", "f.vls", 14);
    a.Declare("i", 6).Var("i").Long(5).Op(VLSCR_OP_ASSIGN);
    a.Declare("s", 4).Var("s").Long(70000).Op(VLSCR_OP_ASSIGN);
    a.Declare("t", 14).Var("t").Var("i").Op(VLSCR_OP_ASSIGN);
    a.Var("t").Var("s").Op(VLSCR_OP_ADD).Op(VLSCR_OP_RETURN_VALUE);
    SRunResult r = RunImage(a.Build());
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(Bytes(r.value.ToString(nullptr)), "54464");
    // The variable keeps its type: int i = 5 is an int.
    A b("F", "f.vls", 6);
    b.Declare("i", 6).Var("i").Long(5).Op(VLSCR_OP_ASSIGN).Var("i").Op(VLSCR_OP_RETURN_VALUE);
    r = RunImage(b.Build());
    EXPECT_EQ(r.value.GetType(), 6);
    EXPECT_EQ(r.value.GetInt(), 5);
}

TEST(ScriptRun, IncrementsAndDecrements)
{
    // int i; i = 1; long a = i++; (a is 1, i 2); long b = ++i (3); b = b-- ; return a*100 + b*10 + i
    A a("F", "f.vls", 8);
    a.Declare("i", 6).Var("i").Long(1).Op(VLSCR_OP_ASSIGN);
    a.Declare("a", 8).Var("a").Var("i").Op(VLSCR_OP_POST_INC).Op(VLSCR_OP_ASSIGN);
    a.Declare("b", 8).Var("b").Var("i").Op(VLSCR_OP_PRE_INC).Op(VLSCR_OP_ASSIGN);
    a.Declare("d", 13).Var("d").Double(1.5).Op(VLSCR_OP_ASSIGN).Var("d").Op(VLSCR_OP_PRE_DEC);
    a.Var("i").Op(VLSCR_OP_POST_DEC);
    a.Var("a").Long(100).Op(VLSCR_OP_MUL).Var("b").Long(10).Op(VLSCR_OP_MUL).Op(VLSCR_OP_ADD);
    a.Var("i").Op(VLSCR_OP_ADD).Var("d").Op(VLSCR_OP_ADD).Op(VLSCR_OP_RETURN_VALUE);
    SRunResult r = RunImage(a.Build());
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(r.value.GetLong(), 100 + 30 + 2 + 0);
}

TEST(ScriptRun, DeclarationsInLoopsKeepTheirValueAndBreakLeaves)
{
    // long n; n = 0; for (;;) { int c; c++; n = n + 1; if (n == 5) break; } return c?
    // c is declared inside the loop, so it counts across passes.
    A a("F", "f.vls", 6);
    a.Declare("n", 8).Var("n").Long(0).Op(VLSCR_OP_ASSIGN);
    a.Label("top").Declare("c", 6).Var("c").Op(VLSCR_OP_POST_INC);
    a.Var("n").Var("n").Long(1).Op(VLSCR_OP_ADD).Op(VLSCR_OP_ASSIGN);
    a.Var("n").Long(5).Op(VLSCR_OP_EQ).Jump(VLSCR_OP_JUMP_FALSE, "skip").Jump(VLSCR_OP_JUMP, "out");
    a.Label("skip").Jump(VLSCR_OP_JUMP, "top");
    a.Label("out").Var("c").Op(VLSCR_OP_RETURN_VALUE);
    SRunResult r = RunImage(a.Build());
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(r.value.GetInt(), 5);
}

TEST(ScriptRun, ParametersAreConvertedAndCopied)
{
    A a("F", "f.vls", 8);
    a.Param(6, "x").Param(14, "s");
    a.Var("x").Long(1).Op(VLSCR_OP_ASSIGN);  // changes only the parameter
    a.Var("x").Var("s").Op(VLSCR_OP_ADD).Op(VLSCR_OP_RETURN_VALUE);
    CVLScriptParams params;
    params.Add()->SetString("41", VL_CHARSET_UTF8);
    params.Add()->SetLong(1);
    SRunResult r = RunImage(a.Build(), &params);
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(r.value.GetType(), 6);  // not converted to the return type
    EXPECT_EQ(r.value.GetInt(), 2);
    EXPECT_EQ(Bytes(params.GetAt(0)->ToString(nullptr)), "41");
}

TEST(ScriptRun, ArgumentCountMismatchFailsBeforeRunning)
{
    A a;
    a.Param(6, "x").Line(4).Op(VLSCR_OP_RETURN);
    CVLScriptParams params;
    SRunResult r = RunImage(a.Build(), &params);
    EXPECT_EQ(r.nError, VLSCR_ERR_PARAMS_COUNT);
    EXPECT_EQ(r.nLine, 0);
    params.Add()->SetInt(1);
    params.Add()->SetInt(2);
    r = RunImage(a.Build(), &params);
    EXPECT_EQ(r.nError, VLSCR_ERR_PARAMS_COUNT);
    EXPECT_EQ(r.nLine, 0);
    EXPECT_EQ(r.strScript, "test.vls");
}

TEST(ScriptRun, NoCode)
{
    CVLScript s;
    CVLScriptParams params;
    SRunResult r = RunScript(s, params);
    EXPECT_EQ(r.nError, VLSCR_ERR_NO_CODE);
    EXPECT_EQ(r.nLine, 0);
}

TEST(ScriptRun, RunErrorsCarryTheirLine)
{
    struct SCase
    {
        void (*emit)(A&);
        int nError;
    };
    const SCase cases[] = {
        {[](A& a) { a.Long(1).Op(VLSCR_OP_ADD); }, VLSCR_ERR_STACK},
        {[](A& a) { a.Op(VLSCR_OP_ASSIGN); }, VLSCR_ERR_STACK},
        {[](A& a) { a.Op(VLSCR_OP_NOT); }, VLSCR_ERR_STACK},
        {[](A& a) { a.Jump(VLSCR_OP_JUMP_FALSE, "x").Label("x"); }, VLSCR_ERR_STACK},  // bare if ()
        {[](A& a) { a.Op(VLSCR_OP_RETURN_VALUE); }, VLSCR_ERR_STACK},
        {[](A& a) { a.Op(VLSCR_OP_PARAM_FRAME).Op(VLSCR_OP_PARAM_SEP); }, VLSCR_ERR_STACK},
        {[](A& a) { a.Long(1).Op(VLSCR_OP_PARAM_SEP); }, VLSCR_ERR_PARAMS_STACK},
        {[](A& a) { a.Call("f"); }, VLSCR_ERR_PARAMS_STACK},
        {[](A& a) { a.Var("nothing"); }, VLSCR_ERR_NO_VARIABLE},
        {[](A& a) { a.Op(VLSCR_OP_PARAM_FRAME).Call("nothing"); }, VLSCR_ERR_NO_FUNCTION},
        {[](A& a) { a.Op(VLSCR_OP_PUSH_TRUE).Long(1).Op(VLSCR_OP_ADD); }, VLSCR_ERR_UNEXPECTED},
        {[](A& a) { a.Long(1).Long(0).Op(VLSCR_OP_DIV); }, VLSCR_ERR_UNEXPECTED},
        {[](A& a) { a.Long(1).Long(0).Op(VLSCR_OP_MOD); }, VLSCR_ERR_UNEXPECTED},
        {[](A& a) { a.Op(VLSCR_OP_PUSH_NULL); }, VLSCR_ERR_UNEXPECTED},  // runs off the end
        {[](A& a) { a.Op(0x58); }, VLSCR_ERR_UNEXPECTED},                   // no such opcode
        {[](A& a) { a.JumpTo(VLSCR_OP_JUMP, 2); }, VLSCR_ERR_UNEXPECTED},   // into an operand
        {[](A& a) { a.JumpTo(VLSCR_OP_JUMP, 99); }, VLSCR_ERR_UNEXPECTED},  // outside the code
        {[](A& a) { a.Raw({0x67, 0, 0, 0, 0x7f}); }, VLSCR_ERR_UNEXPECTED}, // name outside the pool
        {[](A& a) { a.Raw({0x60, 0, 0}); }, VLSCR_ERR_UNEXPECTED},          // cut-off operand
    };
    int n = 0;
    for (const SCase& c : cases) {
        A b("F", "src.vls");
        b.Line(2).Declare("z", 6).Line(9);
        c.emit(b);
        SRunResult r = RunImage(b.Build());
        EXPECT_EQ(r.nError, c.nError) << "case " << n;
        EXPECT_EQ(r.nLine, 9) << "case " << n;
        EXPECT_EQ(r.strScript, "src.vls") << "case " << n;
        ++n;
    }
}

TEST(ScriptRun, ValueStackIsEmptiedAtStatementBoundaries)
{
    // for (i = 0; i < 20000; i++) { "a long text"; i; } : every pass leaves values.
    A a("F", "f.vls", 8);
    a.Declare("i", 8).Var("i").Long(0).Op(VLSCR_OP_ASSIGN);
    a.Label("top").Var("i").Long(20000).Op(VLSCR_OP_LT).Jump(VLSCR_OP_JUMP_FALSE, "end");
    a.String(std::string(512, 'x')).Var("i").Var("i").Op(VLSCR_OP_POST_INC);
    a.Jump(VLSCR_OP_JUMP, "top");
    a.Label("end").Var("i").Op(VLSCR_OP_RETURN_VALUE);
    SRunResult r = RunImage(a.Build());
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(r.value.GetLong(), 20000);
    EXPECT_LE(CVLScriptRun::GetLastStackCapacity(), 8u);
}

TEST(ScriptRun, ObjectVariableWithoutAnObject)
{
    // object o; o = 5; long x; x = o; return x + 1 (o reads empty).
    A a("F", "f.vls", 8);
    a.Declare("o", 20).Var("o").Long(5).Op(VLSCR_OP_ASSIGN);
    a.Var("o").Op(VLSCR_OP_POST_INC);
    a.Declare("x", 8).Var("x").Var("o").Op(VLSCR_OP_ASSIGN);
    a.Var("x").Long(1).Op(VLSCR_OP_ADD).Op(VLSCR_OP_RETURN_VALUE);
    SRunResult r = RunImage(a.Build());
    ASSERT_EQ(r.nError, 0);
    EXPECT_EQ(r.value.GetLong(), 1);
    // Redeclared as another type it becomes an ordinary variable.
    A b("F", "f.vls", 8);
    b.Declare("o", 20).Declare("o", 8).Var("o").Long(5).Op(VLSCR_OP_ASSIGN).Var("o").Op(VLSCR_OP_RETURN_VALUE);
    r = RunImage(b.Build());
    EXPECT_EQ(r.value.GetLong(), 5);
}
