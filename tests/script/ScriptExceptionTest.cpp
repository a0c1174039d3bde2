#include <gtest/gtest.h>

#include "script/VLScriptCompileException.h"
#include "script/VLScriptDefs.h"
#include "script/VLScriptException.h"
#include "tests/support/TestSupport.h"

TEST(ScriptCompileException, TextNamesTheCodeAndKeepsTheFields)
{
    EVLScriptCompileException* e =
        new EVLScriptCompileException(VLSCRIPT_MODULE, "VLScriptCompiler", 10, "GetStatus", 12, 7, 1013);
    EXPECT_EQ(Bytes(e->ToString()),
              "EVLScriptCompileException: Script name=GetStatus: Line=12: Postion=7: Error=NOT_SEMICOLON_ERROR(1013)");
    EXPECT_EQ(Bytes(e->GetClassName()), "EVLScriptCompileException");
    EXPECT_EQ(Bytes(e->GetScriptName()), "GetStatus");
    EXPECT_EQ(e->GetScriptLine(), 12);
    EXPECT_EQ(e->GetPosition(), 7);
    EXPECT_EQ(e->GetErrorCode(), 1013);
    EXPECT_EQ(Bytes(e->GetModuleName()), "VLScript");
    e->Delete();
}

TEST(ScriptCompileException, CodesOutsideTheTableAndNegativeLines)
{
    EVLScriptCompileException a("VLScript", "f", 1, "s", -1, 0, 1100);
    EXPECT_EQ(Bytes(a.ToString()), "EVLScriptCompileException: Script name=s: Line=-1: Postion=0: Error=PER_COUNT_ERROR(1100)");
    EVLScriptCompileException b("VLScript", "f", 1, nullptr, 3, 4, 1019);
    EXPECT_EQ(Bytes(b.ToString()), "EVLScriptCompileException: Script name=: Line=3: Postion=4: Error=(1019)");
}

TEST(ScriptCompileException, EveryCodeOfTheTableHasItsName)
{
    const std::pair<int, const char*> codes[] = {
        {1001, "SYNTAX_ERROR"}, {1009, "DOUBLE_NAME_ERROR"}, {1010, "NOT_CONMA_ERROR"},
        {1018, "NOT_RETURN_VALUE_ERROR"}, {1500, "ASSIGNMENT_OPERATOR_ERROR"}, {1501, "BAD_EOF_ERROR"},
        {9999, "UNEXPECTED_ERROR"}};
    for (const auto& c : codes)
        EXPECT_STREQ(EVLScriptCompileException::GetErrorName(c.first), c.second);
    EXPECT_EQ(EVLScriptCompileException::GetErrorName(1000), nullptr);
}

TEST(ScriptCompileException, AlwaysTraces)
{
    CTraceCapture capture;
    EVLScriptCompileException e("VLScript", "f", 1, "s", 1, 1, 1001);
    ASSERT_EQ(capture.m_Lines.size(), 1u);
    EXPECT_NE(capture.m_Lines[0].find("SYNTAX_ERROR(1001)"), std::string::npos);
}

TEST(ScriptException, TextPrintsTheLineUnsigned)
{
    EVLScriptException e("VLScript", "VLScript", 1, 42, "Probe", 3, false);
    EXPECT_EQ(Bytes(e.ToString()), "EVLScriptException: Script name=Probe: Script line=3: Error=(42)");
    e.SetScriptLine(-1);
    EXPECT_EQ(Bytes(e.ToString()), "EVLScriptException: Script name=Probe: Script line=4294967295: Error=(42)");
    EXPECT_EQ(e.SetScriptLine(8), &e);
    e.SetScriptName("Other");
    EXPECT_EQ(Bytes(e.ToString()), "EVLScriptException: Script name=Other: Script line=8: Error=(42)");
    EXPECT_EQ(Bytes(e.GetClassName()), "EVLScriptException");
}

TEST(ScriptException, RunTimeNames)
{
    EVLScriptException e("VLScript", "VLScript", 1, 3003, nullptr, 0, false);
    EXPECT_EQ(Bytes(e.ToString()), "EVLScriptException: Script name=: Script line=0: Error=STACK_ERROR(3003)");
    EXPECT_STREQ(EVLScriptException::GetErrorName(1003), "INVALID_POINTER");
    EXPECT_STREQ(EVLScriptException::GetErrorName(3006), "NULL_OBJECT_ERROR");
    EXPECT_EQ(EVLScriptException::GetErrorName(1013), nullptr);
}

TEST(ScriptException, TracesOnlyWithTheFlag)
{
    CTraceCapture capture;
    { EVLScriptException e("VLScript", "VLScript", 1, 3000, "s", 0, false); }
    EXPECT_TRUE(capture.m_Lines.empty());
    { EVLScriptException e("VLScript", "VLScript", 1, 3000, "s", 0, true); }
    ASSERT_EQ(capture.m_Lines.size(), 1u);
    EXPECT_NE(capture.m_Lines[0].find("NO_CODE(3000)"), std::string::npos);
}
