// Compile errors: every code the compiler raises, with its line and position.
#include <gtest/gtest.h>

#include "tests/script/CompilerTestSupport.h"
#include "script/VLScriptRun.h"

TEST(CompilerErrors, EveryCodeWithLineAndPosition)
{
    const struct
    {
        const char* szText;
        int nCode;
        int nLine;
        int nPosition;
    } cases[] = {
        {"x f() { }", 1002, 1, 1},
        {"void f(a) { }", 1002, 1, 8},
        {"void (", 1003, 1, 6},
        {"void f {", 1004, 1, 8},
        // A text that ends early fails right after its last token.
        {"void f(", 1005, 1, 8},
        {"void f() x", 1006, 1, 10},
        {"void f() {\n x;\n", 1007, 2, 4},
        {"void f() {\n x; // comment\n\n", 1007, 2, 4},
        {"void f(int) { }", 1008, 1, 11},
        {"void f(int a, int a) { }", 1009, 1, 19},
        {"void f(int a) { string a; }", 1009, 1, 24},
        {"void f() { int x; { int x; } }", 1009, 1, 25},
        {"void f(int a int b) { }", 1010, 1, 14},
        {"void f() { int ; }", 1012, 1, 16},
        {"void f() { int x = 1; }", 1013, 1, 18},
        {"void f() { int x y; }", 1013, 1, 18},
        {"void f() { if (a) { } else { } else { } }", 1015, 1, 37},
        {"void f() { break; }", 1016, 1, 12},
        {"void f() { if (a) { break; } }", 1016, 1, 21},
        {"int f() { if (a) { return 1; } }", 1017, 1, 32},
        {"int f() { }", 1017, 1, 11},
        {"int f() { return; }", 1018, 1, 17},
        {"void f() { return 1; }", 1001, 1, 19},
        {"void f() { for (;;) { break 1; } }", 1001, 1, 29},
        {"void f() { if (a) { } else x; }", 1001, 1, 28},
        {"void f() { x = g(a; }", 1100, 1, 19},
        {"void f() { x = a); }", 1100, 1, 17},
        {"void f() { if (g(a) { } }", 1001, 1, 21},
        {"void f() { if (g(a)) { } }", 0, 0, 0},
        {"void f() {\n  x = (a + b) * c;\n}", 1001, 2, 7},
        {"void f() { g((a)); }", 1001, 1, 14},
        {"void f() { x = 1(a); }", 1001, 1, 17},
        {"void f() { g(,a); }", 1001, 1, 14},
        {"void f() { x = a = ,; }", 1001, 1, 20},
        // A comma with no operand behind it, where a statement ends.
        {"void f() { x = a,; }", 1001, 1, 18},
        {"void f() { = 1; }", 1001, 1, 12},
        {"void f() { g(a) b; }", 1001, 1, 17},
        {"void f() { x = !; }", 1001, 1, 17},
        {"void f() { x = ~; }", 1001, 1, 17},
        {"void f() { x = 2147483648; }", 1001, 1, 16},
        {"void f() { x = -2147483649; }", 1001, 1, 17},
        {"void f() { x = a++ ++b; }", 1001, 1, 20},
        {"void f() { x = ", 1001, 1, 15},
        {"void f() { x = \"abc", 1014, 1, 16},
    };
    for (const auto& c : cases) {
        CompileError e = CompileErrorOf(c.szText);
        EXPECT_EQ(e.nCode, c.nCode) << c.szText;
        EXPECT_EQ(e.nLine, c.nLine) << c.szText;
        EXPECT_EQ(e.nPosition, c.nPosition) << c.szText;
    }
}

TEST(CompilerErrors, KeywordsTypesBracesAndSemicolonsInsideExpressions)
{
    const char* cases[] = {
        "void f() { x = if; }",          "void f() { x = int; }",         "void f() { g(string); }",
        "void f() { x = { }",            "void f() { x = else; }",        "void f() { x = void; }",
        "void f() { void x; }",          "void f() { else { } }",         "void f() { for (a; b; c; d) { } }",
        "void f() { if (a; b) { } }",    "void f() { x = return; }",      "void f() { x = for; }",
        "void f() { for (a; b; } ) { } }",
    };
    for (const char* szText : cases)
        EXPECT_EQ(CompileErrorOf(szText).nCode, 1001) << szText;
}

TEST(CompilerErrors, NestingIsBounded)
{
    for (const char* szOpen : {"{", "if (a) {", "for (;;) {"}) {
        std::string text = "void f() {";
        for (int i = 0; i < 5000; ++i)
            text += szOpen;
        CompileError e = CompileErrorOf(text);
        EXPECT_EQ(e.nCode, 1001) << szOpen;
    }
    std::string text = "void f() {";
    for (int i = 0; i < 150; ++i)
        text += "{";
    for (int i = 0; i < 151; ++i)
        text += "}";
    EXPECT_EQ(CompileErrorOf(text).nCode, 0);
}

TEST(CompilerErrors, AcceptedForms)
{
    const char* cases[] = {
        "void f() { if (a) { } else { } else if (b) { } }",
        "void f() { for (;;) { if (a) { break; } } }",
        "void f() { for (;;) { { { break; } } } }",
        "int f() { if (a) { return 1; } return 2; }",
        "void f() { ; ; x; }",
        "void f() { a++; ++a; --a; a--; b = ++a + a++ - --a; g(++a, a--); }",
        "int64 f(uint64 a, double b, binary c, object d) { return a; }",
    };
    for (const char* szText : cases)
        EXPECT_EQ(CompileErrorOf(szText).nCode, 0) << szText;
}

// Increment and decrement apply only to a variable: literals, calls,
// parenthesized expressions and other operators are compile errors.
TEST(CompilerErrors, IncrementAndDecrementNeedAVariable)
{
    const char* cases[] = {
        "void f() { x = --1; }", "void f() { x = ++5; }",   "void f() { x = ---1; }", "void f() { g(a)++; }",
        "void f() { ++g(a); }",  "void f() { x = (a)++; }",     "void f() { ++(a); }",    "void f() { x = ++\"s\"; }",
        "void f() { a++ ++; }",  "void f() { x = ++; }",    "void f() { ++ ++a; }",   "void f() { x = --true; }",
    };
    for (const char* szText : cases) {
        // A closing parenthesis before "++" is refused by the sequence rules
        // already.
        const bool bParen = std::string(szText).find("= (a)++") != std::string::npos;
        EXPECT_EQ(CompileErrorOf(szText).nCode, bParen ? 1001 : 1002) << szText;
    }
}

// A literal longer than the largest value a run may hold is refused when it
// is read; one of that size is accepted.
TEST(CompilerErrors, LiteralsAreBoundedByTheValueLimit)
{
    const std::string strMax(CVLScriptRun::MAX_VALUE_BYTES, 'x');
    EXPECT_EQ(CompileErrorOf("string f() { return \"" + strMax + "\"; }").nCode, 0);
    CompileError e = CompileErrorOf("string f() { return \"" + strMax + "y\"; }");
    EXPECT_EQ(e.nCode, 1001);
    EXPECT_EQ(e.nLine, 1);
}

TEST(CompilerErrors, TextOfTheException)
{
    CVLScriptCompiler compiler;
    CVLScriptCollection scripts;
    CTextStream stream("void f()\n{\n  int x = 1;\n}");
    try {
        compiler.Compile("GetStatus", &stream, &scripts);
        FAIL() << "no exception";
    } catch (EVLScriptCompileException* e) {
        EXPECT_EQ(e->ToString(), "EVLScriptCompileException: Script name=GetStatus: Line=3: Postion=9: "
                                 "Error=NOT_SEMICOLON_ERROR(1013)");
        EXPECT_EQ(e->GetModuleName(), "VLScript");
        EXPECT_EQ(e->GetFileName(), "VLScriptCompiler");
        e->Delete();
    }
}
