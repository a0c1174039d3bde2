// Debug file information and the hooks with the debugger switch off.
#include <gtest/gtest.h>

#include "tests/support/TextStream.h"
#include "script/VLScriptCompileException.h"
#include "script/VLScrDbg.h"
#include "script/VLScrDbgFileInfo.h"
#include "script/VLScriptException.h"

namespace {

std::vector<std::string> LinesOf(const std::string& strText)
{
    CVLScrDbgFileInfo info;
    CTextStream stream(strText);
    info.LoadSource(&stream);
    std::list<CVLString> lines;
    info.GetLines(lines);
    std::vector<std::string> out;
    for (const CVLString& s : lines)
        out.push_back(std::string(s.GetBuffer(), static_cast<size_t>(s.GetLength())));
    return out;
}

}  // namespace

TEST(ScrDbgFileInfo, LoadSourceSplitsLines)
{
    EXPECT_EQ(LinesOf("a\r\nb\rc\n"), (std::vector<std::string>{"a", "b", "c", ""}));
    EXPECT_EQ(LinesOf("\xEF\xBB\xBFx\ny"), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(LinesOf("\xEF\xBB\xBF"), (std::vector<std::string>{""}));
    EXPECT_EQ(LinesOf(""), (std::vector<std::string>{""}));
    EXPECT_EQ(LinesOf("\tx"), (std::vector<std::string>{"    x"}));
    EXPECT_EQ(LinesOf("\r\r\n\n"), (std::vector<std::string>{"", "", "", ""}));
    EXPECT_EQ(LinesOf("\xEF\xBBx"), (std::vector<std::string>{"\xEF\xBBx"}));
}

TEST(ScrDbgFileInfo, Breakpoints)
{
    CVLScrDbgFileInfo info;
    EXPECT_TRUE(info.ToggleBreakpoint(5));
    EXPECT_TRUE(info.IsBreakpoint(5));
    EXPECT_FALSE(info.ToggleBreakpoint(5));
    EXPECT_FALSE(info.IsBreakpoint(5));
    info.SetBreakpoint(3, true);
    info.SetBreakpoint(3, true);
    EXPECT_TRUE(info.IsBreakpoint(3));
    info.SetBreakpoint(3, false);
    info.SetBreakpoint(4, false);
    EXPECT_FALSE(info.IsBreakpoint(3));
    EXPECT_FALSE(info.IsBreakpoint(4));
}

TEST(ScrDbgFileInfo, LastException)
{
    CVLScrDbgFileInfo info;
    for (long n : {0L, 1L, 3L})
        EXPECT_FALSE(info.IsExceptionLine(n));
    EVLScriptException* e = new EVLScriptException("VLScript", "VLScript", 1, 3004, "Probe", 3, false);
    info.SetLastException(e);
    e->Delete();
    CVLString strText;
    info.GetLastException(strText);
    EXPECT_EQ(strText, "EVLScriptException: Script name=Probe: Script line=3: Error=NO_VARIABLE_ERROR(3004)");
    EXPECT_TRUE(info.IsExceptionLine(3));
    EXPECT_FALSE(info.IsExceptionLine(0));
    EVLScriptCompileException* c = new EVLScriptCompileException("VLScript", "VLScriptCompiler", 1, "s", 7, 2, 1013);
    info.SetLastException(c);
    c->Delete();
    EXPECT_TRUE(info.IsExceptionLine(7));
    EVLException* other = new EVLException("VLStd", "x", 12);
    info.SetLastException(other);
    other->Delete();
    EXPECT_TRUE(info.IsExceptionLine(0));
    EXPECT_FALSE(info.IsExceptionLine(12));
}

TEST(ScrDbgHooks, SwitchOffDoesNothing)
{
    ASSERT_FALSE(VLScrDbgIsEnabled());
    CTextStream stream("void f() { }");
    EXPECT_EQ(VLScrDbgRegisterSource("x", &stream), nullptr);
    EXPECT_EQ(stream.GetReadCount(), 0);
    EXPECT_EQ(VLScrDbgFindFileInfo("x"), nullptr);
    VLScrDbgReportException(nullptr);
    VLScrDbgCheckLine(nullptr);
    VLScrDbgShutdown();
    EXPECT_FALSE(VLScrDbgIsEnabled());
}
