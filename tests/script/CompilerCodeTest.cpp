// Compiled images: byte-exact layouts, expression code and grouping.
#include <gtest/gtest.h>

#include "tests/script/CompilerTestSupport.h"

namespace {

typedef std::vector<VL_BYTE> Bytes;

// The code section of the only function f of a void function body.
Bytes BodyCode(const std::string& strBody, const std::string& strHead = "void f()")
{
    return CodeOf(CompileImage(strHead + " { " + strBody + " }", "f"));
}

Bytes Op(std::initializer_list<VL_BYTE> bytes)
{
    return Bytes(bytes);
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Name(VL_BYTE nOpcode, VL_ULONG nOffset)
{
    return Op({nOpcode, static_cast<VL_BYTE>(nOffset >> 24), static_cast<VL_BYTE>(nOffset >> 16),
               static_cast<VL_BYTE>(nOffset >> 8), static_cast<VL_BYTE>(nOffset)});
}

// Pool offsets for a void function f compiled under the name "test":
// "f" 0, "test" 2, then the names in order of first use from 7 on.
Bytes Var(VL_ULONG n) { return Name(0x67, n); }
Bytes Call(VL_ULONG n) { return Name(0x68, n); }
Bytes Jump(VL_BYTE op, VL_ULONG n) { return Name(op, n); }

}  // namespace

TEST(CompilerCode, ImageOfAFunctionWithOneParameter)
{
    Bytes image = CompileImage("int f(int a) { return a * 2; }", "f");
    const Bytes expected = {
        'V', 'L', 'S', 'C', 'R', 'I', 'P', 'T', 1,  // magic, version
        0, 0, 0, 96,                                  // total size
        6,                                            // return type int
        0, 0, 0, 58, 0, 0, 0, 67, 0, 0, 0, 72, 0, 0, 0, 84,
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        'f', 0, 't', 'e', 's', 't', 0, 'a', 0,        // pool
        6, 0, 0, 0, 7,                                // parameter int a
        0x67, 0, 0, 0, 7, 0x60, 0, 0, 0, 2, 0x10, 0x0e,
        0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 1,           // line table
    };
    EXPECT_EQ(image, expected);
}

TEST(CompilerCode, PoolHoldsEachTextOnceAndLiteralsScrambled)
{
    Bytes image = CompileImage("void f() { string s; s = \"abc\"; s = \"abc\"; }", "f");
    const Bytes pool(image.begin() + 58, image.begin() + 58 + 13);
    EXPECT_EQ(pool, (Bytes{'f', 0, 't', 'e', 's', 't', 0, 's', 0, 0x9e, 0x9d, 0x9c, 0}));
    // Source name equal to the function name: stored once.
    image = CompileImage("void f() { }", "f", "f");
    EXPECT_EQ(image[18 + 3], 58 + 2);
}

TEST(CompilerCode, LineTableHasAnEntryPerLineChange)
{
    Bytes image = CompileImage("void f()\n{\n int x;\n x = 1;\n\n x = 2;\n}", "f");
    size_t nLines = static_cast<size_t>(image[26]) << 24 | image[27] << 16 | image[28] << 8 | image[29];
    const Bytes lines(image.begin() + nLines, image.end());
    // declare (line 3, offset 0), x = 1 (line 4, offset 6), x = 2 (line 6,
    // offset 17), return (line 7, offset 28).
    EXPECT_EQ(lines, (Bytes{0, 0, 0, 2, 0, 0, 0, 0,  0, 0, 0, 3, 0, 0, 0, 6,  0, 0, 0, 4,
                            0, 0, 0, 17, 0, 0, 0, 6, 0, 0, 0, 28, 0, 0, 0, 7}));
}

TEST(CompilerCode, Calls)
{
    // a 7, b 9, f 0 ... names in order of use.
    EXPECT_EQ(BodyCode("g(a, b);"), Cat({Op({0x0a}), Var(9), Op({0x0b}), Var(11), Op({0x0b}), Call(7), Op({0x0f})}));
    EXPECT_EQ(BodyCode("g();"), Cat({Op({0x0a}), Call(7), Op({0x0f})}));
    EXPECT_EQ(BodyCode("g(h(x));"),
              Cat({Op({0x0a, 0x0a}), Var(11), Op({0x0b}), Call(9), Op({0x0b}), Call(7), Op({0x0f})}));
    EXPECT_EQ(BodyCode("x = g(a);"), Cat({Var(7), Op({0x0a}), Var(11), Op({0x0b}), Call(9), Op({0x20, 0x0f})}));
    EXPECT_EQ(BodyCode("x++;"), Cat({Var(7), Op({0x52, 0x0f})}));
    EXPECT_EQ(BodyCode("++x;"), Cat({Var(7), Op({0x54, 0x0f})}));
    EXPECT_EQ(BodyCode("x--; --x;"), Cat({Var(7), Op({0x53}), Var(7), Op({0x55, 0x0f})}));
    // A last comma before ")" adds no argument.
    EXPECT_EQ(BodyCode("g(a,);"), Cat({Op({0x0a}), Var(9), Op({0x0b}), Call(7), Op({0x0f})}));
    // After a postfix "++" or "--", "(" opens no call: what it holds is what
    // the "++" or "--" changes.
    EXPECT_EQ(BodyCode("a++(b);"), Cat({Var(7), Var(9), Op({0x52, 0x0f})}));
    EXPECT_EQ(BodyCode("a--();"), Cat({Var(7), Op({0x53, 0x0f})}));
    // A comma outside any call still separates.
    EXPECT_EQ(BodyCode("a, b;"), Cat({Var(7), Op({0x0b}), Var(9), Op({0x0f})}));
    EXPECT_EQ(BodyCode("x = g(a + 1, -b);"),
              Cat({Var(7), Op({0x0a}), Var(11), Op({0x60, 0, 0, 0, 1, 0x13, 0x0b}), Var(13),
                   Op({0x51, 0x0b}), Call(9), Op({0x20, 0x0f})}));
}

TEST(CompilerCode, OperatorsGroupFromTheLeftByLevel)
{
    const Bytes a = Var(7), b = Var(9), c = Var(11);
    EXPECT_EQ(BodyCode("a - b + c;"), Cat({a, b, Op({0x14}), c, Op({0x13, 0x0f})}));
    EXPECT_EQ(BodyCode("a + b - c;"), Cat({a, b, Op({0x13}), c, Op({0x14, 0x0f})}));
    EXPECT_EQ(BodyCode("a / b * c;"), Cat({a, b, Op({0x11}), c, Op({0x10, 0x0f})}));
    EXPECT_EQ(BodyCode("a % b / c;"), Cat({a, b, Op({0x12}), c, Op({0x11, 0x0f})}));
    EXPECT_EQ(BodyCode("a << b >> c;"), Cat({a, b, Op({0x43}), c, Op({0x44, 0x0f})}));
    EXPECT_EQ(BodyCode("a > b < c;"), Cat({a, b, Op({0x31}), c, Op({0x30, 0x0f})}));
    EXPECT_EQ(BodyCode("a != b == c;"), Cat({a, b, Op({0x35}), c, Op({0x34, 0x0f})}));
    // Tighter levels first.
    EXPECT_EQ(BodyCode("a = b + c * 2;"),
              Cat({a, b, c, Op({0x60, 0, 0, 0, 2, 0x10, 0x13, 0x20, 0x0f})}));
    EXPECT_EQ(BodyCode("a || b && c;"), Cat({a, b, c, Op({0x36, 0x37, 0x0f})}));
    EXPECT_EQ(BodyCode("a & b | c ^ a;"), Cat({a, b, Op({0x40}), c, a, Op({0x41, 0x42, 0x0f})}));
    // Assignment groups from the right.
    EXPECT_EQ(BodyCode("a = b = c;"), Cat({a, b, c, Op({0x20, 0x20, 0x0f})}));
}

TEST(CompilerCode, UnaryOperators)
{
    const Bytes a = Var(7), b = Var(9);
    EXPECT_EQ(BodyCode("a = -b;"), Cat({a, b, Op({0x51, 0x20, 0x0f})}));
    EXPECT_EQ(BodyCode("a = +b;"), Cat({a, b, Op({0x50, 0x20, 0x0f})}));
    EXPECT_EQ(BodyCode("a - -b;"), Cat({a, b, Op({0x51, 0x14, 0x0f})}));
    EXPECT_EQ(BodyCode("-a * b;"), Cat({a, Op({0x51}), b, Op({0x10, 0x0f})}));
    // Stacked prefix operators apply inside out.
    EXPECT_EQ(BodyCode("a = -!b;"), Cat({a, b, Op({0x56, 0x51, 0x20, 0x0f})}));
    EXPECT_EQ(BodyCode("a = !!b;"), Cat({a, b, Op({0x56, 0x56, 0x20, 0x0f})}));
    EXPECT_EQ(BodyCode("a = - -b;"), Cat({a, b, Op({0x51, 0x51, 0x20, 0x0f})}));
    EXPECT_EQ(BodyCode("a = ~-b;"), Cat({a, b, Op({0x51, 0x57, 0x20, 0x0f})}));
    EXPECT_EQ(BodyCode("-a++;"), Cat({a, Op({0x52, 0x51, 0x0f})}));
}

TEST(CompilerCode, Literals)
{
    EXPECT_EQ(BodyCode("x = 0x1F;"), Cat({Var(7), Op({0x61, 0, 0, 0, 0x1F, 0x20, 0x0f})}));
    EXPECT_EQ(BodyCode("x = 0xFFFFFFFF;"), Cat({Var(7), Op({0x61, 0xFF, 0xFF, 0xFF, 0xFF, 0x20, 0x0f})}));
    // 2147483648 after a minus is the smallest long, and the minus stays.
    EXPECT_EQ(BodyCode("x = -2147483648;"), Cat({Var(7), Op({0x60, 0x80, 0, 0, 0, 0x51, 0x20, 0x0f})}));
    EXPECT_EQ(BodyCode("x = 1.5;"), Cat({Var(7), Op({0x62, 0x3F, 0xF8, 0, 0, 0, 0, 0, 0, 0x20, 0x0f})}));
    EXPECT_EQ(BodyCode("x = true; x = false; x = NULL;"),
              Cat({Var(7), Op({0x64, 0x20}), Var(7), Op({0x65, 0x20}), Var(7), Op({0x66, 0x20, 0x0f})}));
}

TEST(CompilerCode, Statements)
{
    // if / else if / else
    EXPECT_EQ(BodyCode("if (a) { x; } else if (b) { y; } else { z; }"),
              Cat({Var(7), Jump(0x03, 20), Var(9), Jump(0x02, 50), Var(11), Jump(0x03, 40), Var(13),
                   Jump(0x02, 50), Var(15), Jump(0x02, 50), Op({0x0f})}));
    // for: init, condition, exit jump, body jump, increment, back to the
    // condition, body, back to the increment.
    EXPECT_EQ(BodyCode("for (i = 0; i < 3; i++) { break; }"),
              Cat({Var(7), Op({0x60, 0, 0, 0, 0, 0x20}), Var(7), Op({0x60, 0, 0, 0, 3, 0x30}), Jump(0x03, 53),
                   Jump(0x02, 43), Var(7), Op({0x52}), Jump(0x02, 11), Jump(0x02, 53), Jump(0x02, 32),
                   Op({0x0f})}));
    // An empty condition is always true: no exit jump, the body runs first.
    EXPECT_EQ(BodyCode("for (;;) { break; }"),
              Cat({Jump(0x02, 10), Jump(0x02, 0), Jump(0x02, 20), Jump(0x02, 5), Op({0x0f})}));
    EXPECT_EQ(BodyCode("int x; { string s; }"), Cat({Name(0x01, 7), Op({6}), Name(0x01, 9), Op({14, 0x0f})}));
    EXPECT_EQ(BodyCode("return a;", "int f()"), Cat({Var(7), Op({0x0e})}));
    EXPECT_EQ(BodyCode("return;"), Op({0x0f, 0x0f}));
    EXPECT_EQ(BodyCode(";;"), Op({0x0f}));
}

TEST(CompilerCode, FunctionsAreFiledByName)
{
    CVLScriptCompiler compiler;
    CVLScriptCollection scripts;
    CTextStream first("void a() { } int b(string s, bool t) { return 1; }");
    compiler.Compile("two", &first, &scripts);
    ASSERT_EQ(scripts.GetCount(), 2);
    ASSERT_NE(scripts.Find("a"), nullptr);
    ASSERT_NE(scripts.Find("b"), nullptr);
    EXPECT_EQ(scripts.Find("b")->GetSourceName(), "two");
    CVLScript* pB = scripts.Find("b");
    CTextStream second("int b() { return 2; }");
    compiler.Compile("again", &second, &scripts);
    EXPECT_EQ(scripts.GetCount(), 2);
    EXPECT_EQ(scripts.Find("b"), pB);
    EXPECT_EQ(pB->GetSourceName(), "again");
    // Blanks and comments only: nothing compiled, no error.
    CTextStream empty("  // nothing\n\n// here");
    compiler.Compile("empty", &empty, &scripts);
    EXPECT_EQ(scripts.GetCount(), 2);
}

TEST(CompilerCode, FunctionsBeforeAnErrorStay)
{
    CVLScriptCompiler compiler;
    CVLScriptCollection scripts;
    CTextStream text("void a() { } void b() { x = ; int y = 1; }");
    EXPECT_THROW(
        try { compiler.Compile("t", &text, &scripts); } catch (EVLScriptCompileException* e) {
            e->Delete();
            throw 1;
        },
        int);
    EXPECT_NE(scripts.Find("a"), nullptr);
    EXPECT_EQ(scripts.Find("b"), nullptr);
}
