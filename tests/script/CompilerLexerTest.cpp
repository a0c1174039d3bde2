// The compiler's lexical rules: tokens, classes, literals, lines and columns.
#include <gtest/gtest.h>

#include "tests/script/CompilerTestSupport.h"

namespace {

struct Token
{
    std::string strText;
    int nId;
    int nLine;
    int nPosition;
};

std::vector<Token> Tokens(const std::string& strText, VL_SIZE_T nChunk = 1u << 30)
{
    CVLScriptCompiler compiler;
    CTextStream stream(strText, nChunk);
    stream.Open(VL_OPEN_READ);
    compiler.BeginRead("lex");
    std::vector<Token> tokens;
    while (compiler.ReadNextToken(&stream)) {
        const CVLString& s = compiler.GetTokenText();
        tokens.push_back(Token{std::string(s.GetBuffer(), static_cast<size_t>(s.GetLength())),
                               compiler.GetTokenRow()->nId, 0, compiler.GetTokenPosition()});
    }
    return tokens;
}

std::vector<std::string> Texts(const std::string& strText)
{
    std::vector<std::string> texts;
    for (const Token& t : Tokens(strText))
        texts.push_back(t.strText);
    return texts;
}

int IdOf(const std::string& strText)
{
    std::vector<Token> tokens = Tokens(strText);
    EXPECT_EQ(tokens.size(), 1u) << strText;
    return tokens.empty() ? -1 : tokens[0].nId;
}

}  // namespace

TEST(CompilerLexer, SplitsOperatorsAndNames)
{
    EXPECT_EQ(Texts("a+=b"), (std::vector<std::string>{"a", "+", "=", "b"}));
    EXPECT_EQ(Texts("x//comment\ny"), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(Texts("a=<b"), (std::vector<std::string>{"a", "=", "<", "b"}));
    EXPECT_EQ(Texts("f(a,b);"), (std::vector<std::string>{"f", "(", "a", ",", "b", ")", ";"}));
    EXPECT_EQ(Texts("x=\"s\"+y"), (std::vector<std::string>{"x", "=", "s", "+", "y"}));
    EXPECT_EQ(Texts("a\"b\""), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Texts("  \t\r\n  "), std::vector<std::string>());
}

TEST(CompilerLexer, TwoCharacterOperators)
{
    const struct
    {
        const char* szText;
        int nId;
    } cases[] = {{"<=", 602}, {">=", 603}, {"==", 604}, {"!=", 605}, {"&&", 653}, {"||", 654},
                 {"++", 402}, {"--", 403}, {"<<", 550}, {">>", 551}, {"//", -1}};
    for (const auto& c : cases) {
        if (c.nId < 0) {
            EXPECT_TRUE(Tokens(c.szText).empty());
            continue;
        }
        EXPECT_EQ(IdOf(c.szText), c.nId) << c.szText;
    }
    EXPECT_EQ(Texts("+-"), (std::vector<std::string>{"+", "-"}));
    EXPECT_EQ(Texts("<>"), (std::vector<std::string>{"<", ">"}));
    EXPECT_EQ(Texts("&|"), (std::vector<std::string>{"&", "|"}));
}

TEST(CompilerLexer, ClassifiesLiteralsAndNames)
{
    EXPECT_EQ(IdOf(":"), 307);
    EXPECT_EQ(IdOf("a.b.c"), 307);
    EXPECT_EQ(IdOf("1x"), 307);
    EXPECT_EQ(IdOf("."), 302);
    EXPECT_EQ(IdOf("1.5"), 302);
    EXPECT_EQ(IdOf("1.2.3"), 307);
    EXPECT_EQ(IdOf("12"), 300);
    EXPECT_EQ(IdOf("0x"), 307);
    EXPECT_EQ(IdOf("0xG1"), 307);
    EXPECT_EQ(IdOf("0X1F"), 307);
    EXPECT_EQ(IdOf("0x1F"), 301);
    EXPECT_EQ(IdOf("true"), 304);
    EXPECT_EQ(IdOf("NULL"), 306);
    EXPECT_EQ(IdOf("null"), 307);
    EXPECT_EQ(IdOf("Int"), 307);
    EXPECT_EQ(IdOf("uint64"), 11);
    EXPECT_EQ(IdOf("\"\""), 303);
}

TEST(CompilerLexer, StringLiteralsKeepBackslashes)
{
    std::vector<Token> t = Tokens("\"a\\\"b\"");
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].strText, "a\\\"b");
    EXPECT_EQ(t[0].nId, 303);
    // A backslash before the closing quote does not end the literal.
    t = Tokens("\"a\\\" b\" c");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].strText, "a\\\" b");
    EXPECT_EQ(t[1].strText, "c");
    t = Tokens("\"\\n\"");
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].strText, "\\n");
}

// At its opening quote, on its own line: the line end that stopped it is
// counted already.
TEST(CompilerLexer, UnterminatedLiteralFailsWhereItStarts)
{
    CompileError e = CompileErrorOf("void f() {\n x = \"abc\n\"; }");
    EXPECT_EQ(e.nCode, 1014);
    EXPECT_EQ(e.nLine, 2);
    EXPECT_EQ(e.nPosition, 6);
    e = CompileErrorOf("void f() { x = \"abc");
    EXPECT_EQ(e.nCode, 1014);
    EXPECT_EQ(e.nLine, 1);
    e = CompileErrorOf("void f() { x = \"abc\\\"; }");
    EXPECT_EQ(e.nCode, 1014);
}

TEST(CompilerLexer, LinesEndAtCrLfAndCrLf)
{
    // Each of a, b, c, d starts a line and stands in column 1.
    const std::string text = "a\r\nb\rc\nd\n\n  e";
    for (VL_SIZE_T nChunk : {1u, 3u, 1024u}) {
        std::vector<Token> t = Tokens(text, nChunk);
        ASSERT_EQ(t.size(), 5u);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(t[i].nPosition, 1) << i;
        EXPECT_EQ(t[4].nPosition, 3);
    }
    // The lines that errors report.
    EXPECT_EQ(CompileErrorOf("void f()\r\n{\r\nint x = 1;\r\n}").nLine, 3);
    EXPECT_EQ(CompileErrorOf("void f()\r{\rint x = 1;\r}").nLine, 3);
    EXPECT_EQ(CompileErrorOf("void f()\n{\nint x = 1;\n}").nLine, 3);
    EXPECT_EQ(CompileErrorOf("void f()\n{\nint x = 1;\n}").nPosition, 7);
}

TEST(CompilerLexer, ByteOrderMarkIsSkipped)
{
    EXPECT_EQ(CompileErrorOf("\xEF\xBB\xBFvoid f() { }").nCode, 0);
    EXPECT_EQ(CompileImage("\xEF\xBB\xBFvoid f() { }", "f"), CompileImage("void f() { }", "f"));
    // Any other first three bytes are read again as text.
    EXPECT_EQ(CompileErrorOf("int f() { return 1; }").nCode, 0);
    EXPECT_EQ(CompileErrorOf("\xEF\xBB").nCode, 1002);
}

TEST(CompilerLexer, LongTextsCrossTheReadBuffer)
{
    std::string text = "int f() {\n int x;\n";
    for (int i = 0; i < 400; ++i)
        text += " x = x + " + std::to_string(i) + ";\n";
    text += " return x;\n}\n";
    for (VL_SIZE_T nChunk : {1u, 7u, 1024u, 1u << 20}) {
        CVLScriptCompiler compiler;
        CVLScriptCollection scripts;
        CTextStream stream(text, nChunk);
        compiler.Compile("long", &stream, &scripts);
        ASSERT_NE(scripts.Find("f"), nullptr);
        EXPECT_EQ(CompileImage(text, "f", "long").size(), scripts.Find("f")->GetSize());
    }
}
