// Function execution and the scripts of the definitions.
#include <gtest/gtest.h>

#include "cm/VLCMApi.h"
#include "cm/VLFunctionListener.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLTarget.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLNotExistException.h"
#include "script/VLScriptParams.h"
#include "tests/support/Watchdog.h"
#include "tests/support/cm/FakeFramework.h"

namespace {

const char* const kMapping = "<ModuleMapping>"
                             "<Const name=\"K\" value=\"common\"/>"
                             "<Module name=\"ModA\"><Const name=\"K\" value=\"module\"/></Module>"
                             "<Instance name=\"F\" module=\"ModA\"><Instance name=\"C\" module=\"ModB\"/></Instance>"
                             "<Instance name=\"Probe\" module=\"ModB\"/>"
                             "<Instance name=\"S\" module=\"ModA\" onStartMethod=\"Start\" onEndMethod=\"Missing\">"
                             "<Const name=\"K\" value=\"instance\"/><Instance name=\"C\" module=\"ModB\"/></Instance>"
                             "<Instance name=\"R\" module=\"ModA\" onStartMethod=\"Again\"/>"
    "<Instance name=\"Bad\" module=\"ModA\" onStartMethod=\"BadCount\" onEndMethod=\"NoChild\"/>"
                             "</ModuleMapping>";

const char* const kScripts = "bool Start()\n"
                             "{\n"
                             "    SetParameter(\"seen\", GetConst(\"K\", \"S\"));\n"
                             "    C.SetParameter(\"childSeen\", GetConst(\"K\", \"S.C\"));\n"
                             "    SetConst(\"FromScript\", \"v\");\n"
                             "    return true;\n"
                             "}\n"
                             "bool Again()\n"
                             "{\n"
                             "    CallMethod(\"again\");\n"
                             "    return true;\n"
                             "}\n"
                             "int Two()\n"
                             "{\n"
                             "    return 2;\n"
                             "}\n"
                             "void Nothing()\n"
                             "{\n"
                             "}\n"
                             "bool BadCount()\n"
                             "{\n"
                             "    SetParameter(\"only\");\n"
                             "    return true;\n"
                             "}\n"
                             "bool Loops()\n"
                             "{\n"
                             "    long n;\n"
                             "    for (;;) { n = n + 1; }\n"
                             "    return true;\n"
                             "}\n"
                             "bool NoChild()\n"
                             "{\n"
                             "    Nobody.CallMethod(\"x\");\n"
                             "    return true;\n"
                             "}\n";

class ExecFunctionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Framework.m_Files.AddScript("scripts.txt", kScripts);
        m_Framework.Start(kMapping);
        CFakeLog::Take();
    }
    void TearDown() override { EXPECT_EQ(0, CFakeInstance::s_nLive.load()); }
    CVLModuleController* Controller() { return m_Framework.Controller(); }
    CFakeFramework m_Framework;
    IVLFunctionListener m_Listener;
};

}  // namespace

TEST_F(ExecFunctionTest, WithoutListenerTheResultIsCopiedAndTheInstanceGone)
{
    CVLModuleParamCollection init;
    init.GetParam("answer", true)->SetInt(42);
    EXPECT_EQ(nullptr,
              Controller()->ExecFunction(nullptr, "F", "PL", nullptr, nullptr, nullptr, &init, nullptr, nullptr));
    EXPECT_EQ(42, init.GetResult().ToInt(0));
    EXPECT_EQ(0, CFakeInstance::s_nLive.load());
    EXPECT_EQ((std::vector<std::string>{"call:F:F", "stop:F.C", "stop:F", "destroy:F.C", "destroy:F"}),
              CFakeLog::Take());
}

TEST_F(ExecFunctionTest, WithListenerTheInstanceIsReturned)
{
    CVLTarget target(&m_Framework.m_Api);
    CVLModuleInstance* p =
        Controller()->ExecFunction(&target, "F", "PL", &m_Listener, nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, p);
    EXPECT_STREQ("PL", p->GetParams()->GetParam("packetListName", false)->ToString(nullptr).GetBuffer());
    EXPECT_STREQ("PL", p->GetParams()->GetPacketListName().GetBuffer());
    EXPECT_EQ(&m_Listener, p->GetParams()->GetListener());
    EXPECT_EQ(nullptr, p->GetParams()->GetParam("templateName", false));
    EXPECT_EQ(1, target.GetInstanceCount());
    p->Destroy();
    EXPECT_EQ(0, target.GetInstanceCount());
}

TEST_F(ExecFunctionTest, ProbeDefaultsAndRefusals)
{
    EXPECT_VL_THROW(m_Framework.m_Api.Probe(nullptr, nullptr, "PL", "F", nullptr), EVLInvalidParamException);
    EXPECT_EQ(0, CFakeLog::Count("call:"));
    CVLModuleInstance* p = m_Framework.m_Api.Probe(&m_Listener, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, p);
    EXPECT_STREQ("Probe", p->GetName().GetBuffer());
    EXPECT_STREQ("Probe", p->GetParams()->GetParam("packetListName", false)->ToString(nullptr).GetBuffer());
    p->Destroy();
    EXPECT_VL_THROW(
        Controller()->ExecFunction(nullptr, "Unknown", "PL", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
        EVLNotExistException);
}

TEST_F(ExecFunctionTest, DisabledFunctionRunsNothingAndLeavesNoStaleResult)
{
    CVLModuleParamCollection init;
    init.GetResult().SetInt(99);
    m_Framework.m_Api.EnableInstance("F", false);
    EXPECT_EQ(nullptr,
              Controller()->ExecFunction(nullptr, "F", "PL", &m_Listener, nullptr, nullptr, &init, nullptr, nullptr));
    EXPECT_EQ(0, init.GetResult().GetValueType());
    EXPECT_EQ(0, CFakeLog::Count("call:"));
}

TEST_F(ExecFunctionTest, FailingImplementationDeletesTheInstance)
{
    CVLModuleParamCollection init;
    init.GetParam("fail", true)->SetBool(true);
    EXPECT_VL_THROW(
        Controller()->ExecFunction(nullptr, "F", "PL", &m_Listener, nullptr, nullptr, &init, nullptr, nullptr),
        EVLInvalidParamException);
    EXPECT_EQ(0, CFakeInstance::s_nLive.load());
}

TEST_F(ExecFunctionTest, StartScriptReachesConstantsAndParameters)
{
    CVLModuleInstance* p =
        Controller()->ExecFunction(nullptr, "S", "PL", &m_Listener, nullptr, nullptr, nullptr, nullptr, "T");
    ASSERT_NE(nullptr, p);
    EXPECT_STREQ("T", p->GetParams()->GetParam("templateName", false)->ToString(nullptr).GetBuffer());
    EXPECT_STREQ("instance", p->GetParams()->GetParam("seen", false)->ToString(nullptr).GetBuffer());
    CVLModuleParam* pChildSeen = p->GetFirstChild()->GetParams()->GetParam("childSeen", false);
    ASSERT_NE(nullptr, pChildSeen);
    EXPECT_STREQ("common", pChildSeen->ToString(nullptr).GetBuffer());  // S.C is of ModB
    EXPECT_STREQ("v", m_Framework.m_Api.GetConst("FromScript", nullptr, nullptr).GetBuffer());
    // The missing end script did not stop the function.
    EXPECT_EQ(1, CFakeLog::Count("call:S"));
    p->Destroy();
}

TEST_F(ExecFunctionTest, ScriptResults)
{
    EXPECT_TRUE(Controller()->CreateScriptExtend("", nullptr, nullptr, nullptr));
    EXPECT_TRUE(Controller()->CreateScriptExtend(nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(Controller()->CreateScriptExtend("Missing", nullptr, nullptr, nullptr));
    EXPECT_TRUE(Controller()->CreateScriptExtend("Two", nullptr, nullptr, nullptr));
    EXPECT_FALSE(Controller()->CreateScriptExtend("Nothing", nullptr, nullptr, nullptr));
    CVLModuleInstance* p = Controller()->CreateModuleInstance(nullptr, "F", nullptr);
    ASSERT_NE(nullptr, p);
    // Host errors fail the run quietly: argument count 3001, no child 3006.
    EXPECT_FALSE(Controller()->CreateScriptExtend("BadCount", p, p->GetParams(), nullptr));
    EXPECT_EQ(nullptr, p->GetParams()->GetParam("only", false));
    EXPECT_FALSE(Controller()->CreateScriptExtend("NoChild", p, p->GetParams(), nullptr));
    EXPECT_EQ(0, CFakeLog::Count("call:"));
    p->Destroy();
}

TEST_F(ExecFunctionTest, ADefinitionScriptThatLoopsRunsOutOfSteps)
{
    CWatchdog watchdog(60, "ADefinitionScriptThatLoopsRunsOutOfSteps");
    EXPECT_FALSE(Controller()->CreateScriptExtend("Loops", nullptr, nullptr, nullptr));
    // The budget is the run's: the next script has a whole one.
    EXPECT_TRUE(Controller()->CreateScriptExtend("Two", nullptr, nullptr, nullptr));
}

TEST_F(ExecFunctionTest, StartScriptCallingItsOwnInstanceEnds)
{
    EXPECT_EQ(nullptr,
              Controller()->ExecFunction(nullptr, "R", "PL", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    int nCalls = CFakeLog::Count("call:R");
    EXPECT_GE(nCalls, 2);
    EXPECT_LE(nCalls, 1000);
}

TEST_F(ExecFunctionTest, FailingScriptsDoNotStopTheFunction)
{
    CVLModuleParamCollection init;
    init.GetParam("answer", true)->SetInt(3);
    EXPECT_EQ(nullptr, Controller()->ExecFunction(nullptr, "Bad", "PL", nullptr, nullptr, nullptr, &init, nullptr,
                                                  nullptr));
    EXPECT_EQ(1, CFakeLog::Count("call:Bad"));
    EXPECT_EQ(3, init.GetResult().ToInt(0));
}
