// Whole scripts compiled and run: control flow, calls, host calls, images
// written and loaded again, the built-in functions and the debugger hooks.
#include <gtest/gtest.h>

#include "script/VLScriptRun.h"
#include "tests/script/CompilerTestSupport.h"
#include "base/core/VLBoostWrapper.h"
#include "base/core/VLByteOrder.h"
#include "script/VLScrDbg.h"
#include "script/VLScrDbgFileInfo.h"
#include "script/VLScriptDebuggerIF.h"
#include "script/VLScriptException.h"
#include "script/VLScriptExtendIF.h"
#include "script/VLScriptParams.h"
#include "base/value/VLVariant.h"

namespace {

// Compiles the text and runs one function with the arguments; the script
// error code (0 when none) and the return value.
struct Result
{
    int nError;
    int nLine;
    CVLVariant value;
};

Result RunText(const std::string& strText, const char* szFunction, std::vector<CVLVariant> args = {},
           IVLScriptExtendIF* pHost = nullptr)
{
    CVLScriptCompiler compiler;
    CVLScriptCollection scripts;
    CTextStream stream(strText);
    compiler.Compile("run", &stream, &scripts);
    CVLScriptParams params;
    for (const CVLVariant& v : args)
        *params.Add() = v;
    Result r{0, 0, CVLVariant()};
    try {
        scripts.Find(szFunction)->Execute(params, &scripts, pHost, nullptr);
        r.value = params.GetReturnValue();
    } catch (EVLScriptException* e) {
        r.nError = e->GetErrorCode();
        r.nLine = e->GetScriptLine();
        e->Delete();
    }
    return r;
}

CVLVariant L(VL_LONG n)
{
    CVLVariant v;
    v.SetLong(n);
    return v;
}

CVLVariant S(const char* sz)
{
    CVLVariant v;
    v.SetString(sz, VL_CHARSET_UTF8);
    return v;
}

std::string Text(const CVLVariant& v)
{
    CVLString s = v.ToString(nullptr);
    return std::string(s.GetBuffer(), static_cast<size_t>(s.GetLength()));
}

std::string Hex(const CVLVariant& v)
{
    CVLByteArray b = v.ToByteArray(nullptr, 0);
    std::string out;
    char buf[4];
    for (int i = 0; i < b.GetSize(); ++i) {
        snprintf(buf, sizeof(buf), "%02X", b.GetData()[i]);
        out += buf;
    }
    return out;
}

// A host with one method "Twice" and one property "Host.value".
class CTestHost : public IVLScriptExtendIF
{
public:
    CTestHost() : IVLScriptExtendIF(nullptr, nullptr)
    {
        m_MethodMap[CVLString("Twice", VL_CHARSET_UTF8)] = [](IVLScriptExtendIF*, const CVLString&, CVLScriptParams* p,
                                                              void*) {
            CVLVariant v;
            v.SetLong(p->GetAt(0)->ToLong(0) * 2);
            p->SetReturnValue(v);
        };
    }
    virtual CVLString GetContextText() override { return CVLString("test", VL_CHARSET_UTF8); }
};

}  // namespace

TEST(CompilerRun, LoopsAndConditions)
{
    const char* szText =
        "long Sum(long n)\n"
        "{\n"
        "    long s;\n"
        "    long i;\n"
        "    s = 0;\n"
        "    for (i = 1; i <= n; i++) {\n"
        "        if (i % 3 == 0) { s = s + 100; } else if (i % 3 == 1) { s = s + 1; } else { s = s + 10; }\n"
        "    }\n"
        "    return s;\n"
        "}\n";
    EXPECT_EQ(RunText(szText, "Sum", {L(7)}).value.ToLong(0), 3 + 20 + 200);
    EXPECT_EQ(RunText(szText, "Sum", {L(0)}).value.ToLong(0), 0);
    // An empty condition loops until break; the body runs before the increment.
    const char* szBreak =
        "long F() { long i; long n; i = 0; n = 0;\n"
        "  for (;; i++) { n = n * 10 + i; if (i == 3) { break; } }\n"
        "  return n; }";
    EXPECT_EQ(RunText(szBreak, "F").value.ToLong(0), 123);
    // A declaration in a loop body keeps its value across passes.
    const char* szDecl = "long F() { long i; for (i = 0; i < 5; i++) { int c; c++; } return c; }";
    EXPECT_EQ(RunText(szDecl, "F").value.ToLong(0), 5);
}

TEST(CompilerRun, GroupingComputesAsWritten)
{
    EXPECT_EQ(RunText("long F() { return 10 - 4 + 3; }", "F").value.ToLong(0), 9);
    EXPECT_EQ(RunText("long F() { return 24 / 4 * 2; }", "F").value.ToLong(0), 12);
    EXPECT_EQ(RunText("long F() { return 2 + 3 * 4 - 1; }", "F").value.ToLong(0), 13);
    EXPECT_EQ(RunText("long F() { return 1 << 4 >> 2; }", "F").value.ToLong(0), 4);
    // Shifts bind more loosely than addition and subtraction.
    EXPECT_EQ(RunText("long F() { return 1 << 2 + 1; }", "F").value.ToLong(0), 8);
    EXPECT_EQ(RunText("long F() { return 64 >> 1 + 1; }", "F").value.ToLong(0), 16);
    EXPECT_EQ(RunText("long F() { return 2 + 1 << 1; }", "F").value.ToLong(0), 6);
    EXPECT_EQ(RunText("long F() { return -2 * -3; }", "F").value.ToLong(0), 6);
    EXPECT_EQ(RunText("bool F() { return !!true; }", "F").value.ToBool(false), true);
    EXPECT_EQ(RunText("bool F() { return 1 < 2 == 2 > 1; }", "F").value.ToBool(false), true);
    const char* szAssign = "long F() { long a; long b; long c; b = 2; c = 3; a = b = c; return a * 10 + b; }";
    EXPECT_EQ(RunText(szAssign, "F").value.ToLong(0), 33);
}

TEST(CompilerRun, FunctionsCallEachOtherAndRecurse)
{
    const char* szText =
        "long Fact(long n) { if (n <= 1) { return 1; } return n * Fact(n - 1); }\n"
        "long Add(long a, long b) { return a + b; }\n"
        "long Main() { return Add(Fact(5), Add(1, 2)); }\n"
        "void Set(long v) { v = 9; }\n"
        "long Keep() { long x; x = 1; Set(x); return x; }\n";
    EXPECT_EQ(RunText(szText, "Main").value.ToLong(0), 123);
    EXPECT_EQ(RunText(szText, "Keep").value.ToLong(0), 1);
    Result r = RunText(szText, "Main", {L(1)});
    EXPECT_EQ(r.nError, 3001);
    r = RunText("void F() {\n  x = 1;\n}", "F");
    EXPECT_EQ(r.nError, 3004);
    EXPECT_EQ(r.nLine, 2);
    r = RunText("void F() {\n\n  Nothing();\n}", "F");
    EXPECT_EQ(r.nError, 3005);
    EXPECT_EQ(r.nLine, 3);
}

TEST(CompilerRun, HostCalls)
{
    CTestHost host;
    EXPECT_EQ(RunText("long F() { return Twice(21) + 1; }", "F", {}, &host).value.ToLong(0), 43);
    EXPECT_EQ(RunText("long F() { return Obj.path.Twice(5); }", "F", {}, &host).value.ToLong(0), 10);
    EXPECT_EQ(RunText("long F() { return Other(5); }", "F", {}, &host).nError, 3005);
}

TEST(CompilerRun, WrittenImagesLoadAndRunTheSame)
{
    const char* szText = "string F(string a, long n) { string s; for (; n > 0; n--) { s = s + a; } return s; }";
    CVLScriptCompiler compiler;
    CVLScriptCollection scripts;
    CTextStream stream(szText);
    compiler.Compile("img", &stream, &scripts);
    CVLScript* pCompiled = scripts.Find("F");
    ASSERT_NE(pCompiled, nullptr);
    std::vector<VL_BYTE> image(pCompiled->GetData(), pCompiled->GetData() + pCompiled->GetSize());
    CVLScript loaded;
    loaded.Load(image.data(), static_cast<VL_SIZE_T>(image.size()), true);
    EXPECT_EQ(loaded.GetName(), "F");
    EXPECT_EQ(loaded.GetSourceName(), "img");
    CVLScriptParams params;
    *params.Add() = S("ab");
    *params.Add() = L(3);
    loaded.Execute(params, &scripts, nullptr, nullptr);
    EXPECT_EQ(Text(params.GetReturnValue()), "ababab");
}

TEST(CompilerRun, BuiltinFunctions)
{
    const struct
    {
        const char* szExpr;
        const char* szText;  // the result as text, or hex bytes after "0x:"
    } cases[] = {
        {"Mid(\"h\xC3\xA9llo\", 1, 3)", "\xC3\xA9ll"},
        {"Mid(\"h\xC3\xA9llo\", 2)", "llo"},
        {"Mid(\"abc\", 3)", ""},
        {"Mid(\"abc\", -1, 2)", ""},
        {"Mid(\"abc\", 1, 0)", ""},
        {"Mid(\"abc\", 1, 99)", "bc"},
        {"MidB(\"h\xC3\xA9llo\", 1, 2)", "\xC3\xA9"},
        {"MidB(\"abcd\", 2)", "cd"},
        {"Len(\"h\xC3\xA9llo\")", "5"},
        {"LenB(\"h\xC3\xA9llo\")", "6"},
        {"SubBinary(HexStringToBinary(\"010203\"), 1, 10)", "0x:0203"},
        {"SubBinary(HexStringToBinary(\"010203\"), 3)", "0x:"},
        {"SubBinary(HexStringToBinary(\"010203\"), -1)", "0x:"},
        {"SubBinary(HexStringToBinary(\"010203\"), 0, 2)", "0x:0102"},
        {"DataLength(\"abc\")", "3"},
        {"Convert(\"\xC3\xA9\", \"UTF-16BE\")", "0x:00E9"},
        {"StringToHexString(Convert(\"\xC3\xA9\", \"ISO-8859-1\"))", "E9"},
        {"Compare(\"a\", \"b\") < 0", "true"},
        {"Compare(\"\", \"a\") < 0", "true"},
        {"Compare(\"ab\", \"ab\")", "0"},
        {"CompareNoCase(\"ABC\", \"abc\")", "0"},
        {"StringToHexString(\"ab\")", "6162"},
        {"HexStringToString(\"41G4\")", "A"},
        {"HexStringToString(\"4142\")", "AB"},
        {"HexStringToString(\"7\")", "\x07"},
        {"HexStringToString(\"\")", ""},
        {"BinaryToHexString(HexStringToBinary(\"0aBc\"))", "0ABC"},
        {"HexStringToBinary(\"0x1\")", "0x:01"},
        {"HexStringToBinary(\"abc\")", "0x:0ABC"},
        {"HexStringToBinary(\"12G4\")", "0x:"},
        {"HexStringToBinary(\"0x\")", "0x:"},
        {"StringToBinary(\"ab\", 1)", "0x:6162"},
        {"BinaryToString(HexStringToBinary(\"41420043\"))", "AB"},
        {"BinaryToString(HexStringToBinary(\"00410042\"), \"UTF-16BE\")", "0x:00410042"},
        {"ByteToBinary(258)", "0x:02"},
        {"BinaryToByte(HexStringToBinary(\"7F\"))", "127"},
        {"UShortToBinary(0x1234, \"Big\")", "0x:1234"},
        {"UShortToBinary(0x1234, \"little\")", "0x:3412"},
        {"BinaryToUShort(HexStringToBinary(\"3412\"))", "13330"},
        {"BinaryToUShort(HexStringToBinary(\"3412\"), \"Little\")", "4660"},
        {"BinaryToUShort(HexStringToBinary(\"34\"))", "0"},
        {"ULongToBinary(0x01020304, \"BIG\")", "0x:01020304"},
        {"ULongToBinary(0x01020304, \"Little\")", "0x:04030201"},
        {"BinaryToULong(HexStringToBinary(\"01020304\"))", "16909060"},
        {"BinaryToULong(HexStringToBinary(\"01020304\"), \"little\")", "67305985"},
        {"BinaryToULong(HexStringToBinary(\"010203\"))", "0"},
        {"StringToUInt(\"42\")", "42"},
        {"StringToUInt(\"x\")", "0"},
        {"MergeBinary(HexStringToBinary(\"01\"), HexStringToBinary(\"0203\"))", "0x:010203"},
        {"MergeBinary(HexStringToBinary(\"\"), HexStringToBinary(\"\"))", "0x:"},
        {"IsIPv4String(\"\")", "false"},
        {"IPv4StringToULong(\"192.168.1.10\")", "3232235786"},
        {"IPv4StringToULong(\"1.2.3\")", "16908289"},
        {"IPv4StringToULong(\"77\")", "77"},
        {"ConvertNetworkAddress(\"192.168.1.77\", \"255.255.255.0\")", "192.168.1.0"},
    };
    for (const auto& c : cases) {
        std::string text = std::string("string F() { binary b; b = ") + c.szExpr + "; return " + c.szExpr + "; }";
        if (strncmp(c.szText, "0x:", 3) == 0) {
            text = std::string("binary F() { return ") + c.szExpr + "; }";
            Result r = RunText(text, "F");
            ASSERT_EQ(r.nError, 0) << c.szExpr;
            EXPECT_EQ(Hex(r.value), c.szText + 3) << c.szExpr;
        } else {
            text = std::string("string F() { return ") + c.szExpr + "; }";
            Result r = RunText(text, "F");
            ASSERT_EQ(r.nError, 0) << c.szExpr;
            EXPECT_EQ(Text(r.value), c.szText) << c.szExpr;
        }
    }
    // The dotted-quad test: whole text, leading zeros allowed; false
    // throughout without the regular-expression library.
    const bool bRegex = CVLBoostWrapper::IsLoaded();
    for (const char* szText : {"192.168.0.1", "010.00.007.255", "0.0.0.0"})
        EXPECT_EQ(RunText(std::string("bool F() { return IsIPv4String(\"") + szText + "\"); }", "F").value.ToBool(false),
                  bRegex) << szText;
    for (const char* szText : {"1.2.3", "256.1.1.1", "1.2.3.4.5", "a1.2.3.4", "1.2.3.4 "})
        EXPECT_FALSE(RunText(std::string("bool F() { return IsIPv4String(\"") + szText + "\"); }", "F").value.ToBool(true))
            << szText;
    // Without a byte-order word the host's order is used for writing.
    Result r = RunText("binary F() { return UShortToBinary(0x1234); }", "F");
    EXPECT_EQ(Hex(r.value), CVLByteOrder::GetHostOrder() == 1 ? "3412" : "1234");
    // DataLength of an int is its width.
    EXPECT_EQ(RunText("long F() { int i; return DataLength(i); }", "F").value.ToLong(0), 4);
    EXPECT_EQ(RunText("long F() { return DataLength(NULL); }", "F").value.ToLong(0), 0);
}

TEST(CompilerRun, BuiltinErrors)
{
    for (const char* szCall : {"Mid(\"a\")", "Mid(\"a\", 1, 2, 3)", "Len()", "Compare(\"a\")",
                               "BinaryToByte(HexStringToBinary(\"0102\"))", "BinaryToByte(HexStringToBinary(\"\"))"}) {
        Result r = RunText(std::string("void F() {\n\n  ") + szCall + ";\n}", "F");
        EXPECT_EQ(r.nError, 3001) << szCall;
        EXPECT_EQ(r.nLine, 3) << szCall;
    }
    // Lower-case names are no built-ins.
    EXPECT_EQ(RunText("void F() { mid(\"a\", 1); }", "F").nError, 3005);
    // A negative count that stays inside the value is refused.
    EXPECT_EQ(RunText("void F() { SubBinary(HexStringToBinary(\"010203\"), 2, -1); }", "F").nError, 9999);
}

TEST(CompilerRun, ValuesThatGrowWithoutBoundStopTheRun)
{
    // Doubling a text, or a binary value, in a loop fails the run once the
    // value passes its limit, instead of exhausting memory.
    Result r = RunText("void F() {\n  string s;\n  s = \"ab\";\n  for (;;) {\n    s = s + s;\n  }\n}", "F");
    EXPECT_EQ(r.nError, 9999);
    EXPECT_EQ(r.nLine, 5);
    r = RunText("void F() {\n  binary b;\n  b = HexStringToBinary(\"0102\");\n  for (;;) {\n"
                "    b = MergeBinary(b, b);\n  }\n}",
                "F");
    EXPECT_EQ(r.nError, 9999);
    r = RunText("void F() {\n  string s;\n  s = \"ab\";\n  for (;;) {\n    s = StringToHexString(s);\n  }\n}", "F");
    EXPECT_EQ(r.nError, 9999);
    // Below the limit nothing changes.
    EXPECT_EQ(RunText("long F() {\n  string s;\n  s = \"ab\";\n  long i;\n  for (i = 0; i < 20; i++) {\n"
                      "    s = s + s;\n  }\n  return Len(s);\n}",
                      "F").value.ToLong(0),
              2 << 20);
    CVLScriptRun::SetValueLimit(1000);
    EXPECT_EQ(RunText("long F() {\n  string s;\n  s = \"0123456789\";\n  s = s + s;\n  s = s + s;\n  s = s + s;\n  s = s + s;\n  s = s + s;\n  s = s + s;\n  s = s + s;\n  return Len(s);\n}", "F").nError, 9999);
    CVLScriptRun::SetValueLimit(0);
}

TEST(CompilerRun, TextConcatenationAndAssignment)
{
    // Variables and literals on either side, chains, self-concatenation, and
    // numbers turned to text; the variable keeps its own text after a later
    // change of the one it was given.
    const char* szText =
        "string F() {\n  string s;\n  string t;\n  string u;\n  long i;\n"
        "  for (i = 0; i < 3; i++) {\n    s = s + \"ab\";\n    t = \"<\" + s + \">\" + i;\n  }\n"
        "  u = t;\n  t = t + t;\n  s = u + s;\n  u = \"x\";\n  s = s;\n  return s + \"|\" + t + \"|\" + u;\n}";
    EXPECT_EQ(Text(RunText(szText, "F").value), "<ababab>2ababab|<ababab>2<ababab>2|x");
    // A growing text built from two variables stops at the limit.
    CVLScriptRun::SetValueLimit(1000);
    Result r = RunText("void F() {\n  string s;\n  string t;\n  s = \"ab\";\n  t = \"cd\";\n  for (;;) {\n"
                       "    s = s + t;\n    t = s;\n  }\n}",
                       "F");
    EXPECT_EQ(r.nError, 9999);
    EXPECT_EQ(r.nLine, 7);
    CVLScriptRun::SetValueLimit(0);
}

// A run's waiting callers hold their texts: a large text passed down a deep
// recursion fails the run once the total passes the run's budget, while a
// small one goes all the way down.
TEST(CompilerRun, TextsPassedDownARecursionAreBounded)
{
    const char* szText = "long Down(string s, long n) {\n  if (n == 0) {\n    return Len(s);\n  }\n"
                         "  return Down(s, n - 1);\n}\n"
                         "long F(long nBits, long nDepth) {\n  string s;\n  s = \"x\";\n  long i;\n"
                         "  for (i = 0; i < nBits; i++) {\n    s = s + s;\n  }\n  return Down(s, nDepth);\n}\n";
    Result r = RunText(szText, "F", {L(23), L(190)});  // 8 MiB, 190 levels
    EXPECT_EQ(r.nError, 9999);
    r = RunText(szText, "F", {L(16), L(190)});  // 64 KiB
    EXPECT_EQ(r.nError, 0);
    EXPECT_EQ(r.value.ToLong(0), 1 << 16);
    // The budget is the thread's: it is whole again for the next run.
    EXPECT_EQ(RunText(szText, "F", {L(23), L(5)}).nError, 0);
}

namespace {

class CFakeDebugger : public IVLScriptDebuggerIF
{
public:
    CFakeDebugger() : m_nAttach(0), m_nDetach(0), m_nLoad(0) {}
    virtual void OnAttach() override { ++m_nAttach; }
    virtual void OnDetach() override { ++m_nDetach; }
    virtual void OnLoadSource(CVLScrDbgFileInfo* pInfo) override
    {
        ++m_nLoad;
        for (long n = 1; n <= 20; ++n)
            pInfo->SetBreakpoint(n, true);
    }
    virtual void OnBreak(VLScrDbgContext* pContext) override { m_Breaks.push_back(pContext->nLastLine); }
    virtual void OnException(EVLException* e) override { m_Exceptions.push_back(e->GetClassName()); }

    int m_nAttach, m_nDetach, m_nLoad;
    std::vector<int> m_Breaks;
    std::vector<CVLString> m_Exceptions;
};

}  // namespace

TEST(CompilerRun, DebuggerGetsOneBreakPerLineEntered)
{
    const char* szText =
        "long F()\n"
        "{\n"
        "    long i;\n"
        "    for (i = 0; i < 2; i++) {\n"
        "        i = i;\n"
        "    }\n"
        "    return Missing(i);\n"
        "}\n";
    {
        // Switch off: nothing reaches a debugger, no record is kept.
        CFakeDebugger quiet;
        EXPECT_EQ(RunText(szText, "F").nError, 3005);
        EXPECT_EQ(VLScrDbgFindFileInfo("run"), nullptr);
        EXPECT_TRUE(quiet.m_Breaks.empty());
    }
    CFakeDebugger debugger;
    VLScrDbgSetDebugger(&debugger);
    EXPECT_EQ(debugger.m_nAttach, 1);
    Result r = RunText(szText, "F");
    EXPECT_EQ(r.nError, 3005);
    EXPECT_EQ(debugger.m_nLoad, 1);
    // 3 declare, 4 init and condition, 5 body, 4 increment and condition, 5,
    // 4, 6 loop end, 4, 7 the call.
    EXPECT_EQ(debugger.m_Breaks, (std::vector<int>{3, 4, 5, 6, 4, 5, 6, 4, 7}));
    ASSERT_EQ(debugger.m_Exceptions.size(), 1u);
    EXPECT_EQ(debugger.m_Exceptions[0], "EVLScriptException");
    CVLScrDbgFileInfo* pInfo = VLScrDbgFindFileInfo("run");
    ASSERT_NE(pInfo, nullptr);
    std::list<CVLString> lines;
    pInfo->GetLines(lines);
    EXPECT_EQ(lines.size(), 9u);
    // A compile error is kept in the record.
    CVLScriptCompiler compiler;
    CVLScriptCollection scripts;
    CTextStream bad("void F() {\n int x = 1; }");
    EXPECT_THROW(
        try { compiler.Compile("run", &bad, &scripts); } catch (EVLScriptCompileException* e) {
            e->Delete();
            throw 1;
        },
        int);
    EXPECT_TRUE(pInfo->IsExceptionLine(2));
    // Compiling with the debugger on reads the same text as without.
    CTextStream bom("\xEF\xBB\xBFlong G() { return 5; }");
    compiler.Compile("bom", &bom, &scripts);
    ASSERT_NE(scripts.Find("G"), nullptr);
    VLScrDbgVariableTable table;
    table[CVLString("b", VL_CHARSET_UTF8)].SetLong(2);
    table[CVLString("a", VL_CHARSET_UTF8)].SetString("x", VL_CHARSET_UTF8);
    CVLString strExpected("a=", VL_CHARSET_UTF8);
    strExpected += table.begin()->second.Dump();
    strExpected += "\nb=";
    strExpected += table.rbegin()->second.Dump();
    strExpected += "\n";
    EXPECT_EQ(VLScrDbgDumpVariables(&table), strExpected);
    EXPECT_EQ(VLScrDbgDumpVariables(nullptr).GetLength(), 0);
    VLScrDbgShutdown();
    EXPECT_EQ(debugger.m_nDetach, 1);
    EXPECT_FALSE(VLScrDbgIsEnabled());
    EXPECT_EQ(VLScrDbgFindFileInfo("run"), nullptr);
}

// ConvertNetworkAddress takes socket addresses, 4-byte binaries or dotted
// quads (never a host-name lookup) and gives a socket address, whether or
// not the regular-expression library is loaded.
TEST(CompilerRun, ConvertNetworkAddressGivesASocketAddress)
{
    CVLVariant binary;
    const VL_BYTE bytes[4] = {192, 168, 1, 77};
    binary.SetBinary(bytes, 4);
    const struct
    {
        const char* szCall;
        const char* szExpect;
    } cases[] = {
        {"ConvertNetworkAddress(b, \"255.255.255.0\")", "192.168.1.0"},
        {"ConvertNetworkAddress(\"192.168.1.77\", b)", "192.168.1.77"},
        {"ConvertNetworkAddress(\"192.168.1.77\", \"255.255.0.0\")", "192.168.0.0"},
        {"ConvertNetworkAddress(ConvertNetworkAddress(\"10.1.2.3\", \"255.255.0.0\"), \"255.0.255.255\")", "10.0.0.0"},
        {"ConvertNetworkAddress(\"not.an.address\", \"255.255.255.0\")", "0.0.0.0"},
        {"ConvertNetworkAddress(\"localhost\", \"255.0.0.0\")", "0.0.0.0"},
        {"ConvertNetworkAddress(\"192.168.1.256\", \"255.255.255.0\")", "0.0.0.0"},
    };
    for (const auto& c : cases) {
        Result r = RunText(std::string("object F(binary b) { return ") + c.szCall + "; }", "F", {binary});
        ASSERT_EQ(0, r.nError) << c.szCall;
        ASSERT_EQ(17, r.value.GetType()) << c.szCall;
        EXPECT_STREQ(c.szExpect, r.value.GetSocketAddress().GetHost().GetString()) << c.szCall;
    }
}
