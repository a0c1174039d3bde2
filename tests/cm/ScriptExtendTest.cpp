// The framework's script host: target properties under "Prooerties",
// constants on every level, instance parameters and methods, and its errors.
#include <gtest/gtest.h>

#include "cm/VLCMScriptExtend.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "script/VLScriptException.h"
#include "script/VLScriptParams.h"
#include "tests/support/cm/FakeFramework.h"

namespace {

const char* const kMapping = "<ModuleMapping>"
                             "<Const name=\"K\" value=\"common\"/>"
                             "<Module name=\"ModA\"><Const name=\"K\" value=\"module\"/></Module>"
                             "<Instance name=\"S\" module=\"ModA\">"
                             "<Const name=\"K\" value=\"instance\"/><Instance name=\"C\" module=\"ModB\"/></Instance>"
                             "</ModuleMapping>";

const char* const kScripts = "bool ReadWrite()\n"
                             "{\n"
                             "    SetParameter(\"got\", Prooerties.A.B);\n"
                             "    Prooerties.A.B = \"written\";\n"
                             "    return true;\n"
                             "}\n"
                             "bool WrongHead()\n"
                             "{\n"
                             "    SetParameter(\"got\", Properties.A.B);\n"
                             "    return true;\n"
                             "}\n"
                             "bool Levels()\n"
                             "{\n"
                             "    SetParameter(\"common\", GetConst(\"K\"));\n"
                             "    SetParameter(\"instance\", GetConst(\"K\", \"S\"));\n"
                             "    SetParameter(\"module\", GetConst(\"K\", \"\", \"ModA\"));\n"
                             "    SetParameter(\"child\", GetConst(\"K\", \"S.C\"));\n"
                             "    SetConst(\"K\", \"user\", \"S\", \"ModA\", \"ignored\");\n"
                             "    SetParameter(\"user\", GetConst(\"K\", \"S\"));\n"
                             "    SetParameter(\"absent\", GetParameter(\"nothing\"));\n"
                             "    C.SetParameter(\"child\", 5);\n"
                             "    return true;\n"
                             "}\n"
                             "bool EmptyName()\n"
                             "{\n"
                             "    GetConst(\"\");\n"
                             "    return true;\n"
                             "}\n"
                             "bool Loops()\n"
                             "{\n"
                             "    for (;;) {\n"
                             "    }\n"
                             "    return true;\n"
                             "}\n";

class ScriptExtendTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Framework.m_Files.AddScript("scripts.txt", kScripts);
        m_Framework.Start(kMapping);
        m_pTarget = new CVLTarget(&m_Framework.m_Api);
        m_pTarget->GetProperties()->GetProperty("A.B", true)->SetString("old", 72);
        m_pInstance = Controller()->CreateModuleInstance(m_pTarget, "S", nullptr);
        ASSERT_NE(nullptr, m_pInstance);
    }
    void TearDown() override
    {
        Controller()->DeleteModuleInstance(m_pInstance);
        delete m_pTarget;
    }
    CVLModuleController* Controller() { return m_Framework.Controller(); }
    bool Run(const char* szScript)
    {
        return Controller()->CreateScriptExtend(szScript, m_pInstance, m_pInstance->GetParams(), nullptr);
    }
    std::string Param(const char* szName, CVLModuleInstance* pInstance = nullptr)
    {
        CVLModuleParam* p = (pInstance == nullptr ? m_pInstance : pInstance)->GetParams()->GetParam(szName, false);
        return p == nullptr ? "<none>" : p->ToString(nullptr).GetBuffer();
    }
    // The script error code of a host call made directly, 0 when it succeeds.
    int HostError(const char* szName, std::vector<const char*> args)
    {
        CVLCMScriptExtend host(Controller(), m_pInstance, m_pInstance->GetParams(), m_pTarget);
        CVLScriptParams params;
        for (const char* sz : args)
            params.Add()->SetString(sz, 72);
        try {
            host.CallFunction(szName, &params, nullptr, nullptr);
        } catch (EVLScriptException* e) {
            int nCode = e->GetErrorCode();
            e->Delete();
            return nCode;
        }
        return 0;
    }

    CFakeFramework m_Framework;
    CVLTarget* m_pTarget = nullptr;
    CVLModuleInstance* m_pInstance = nullptr;
};

}  // namespace

TEST_F(ScriptExtendTest, PropertiesOfTheTarget)
{
    EXPECT_TRUE(Run("ReadWrite"));
    // The parameter took the value read, not a link to the property.
    EXPECT_EQ("old", Param("got"));
    EXPECT_STREQ("written", m_pTarget->GetProperties()->GetProperty("A.B", false)->ToString(nullptr).GetBuffer());
    // Only the head as the definitions spell it is served.
    EXPECT_FALSE(Run("WrongHead"));
    CVLCMScriptExtend host(Controller(), m_pInstance, m_pInstance->GetParams(), m_pTarget);
    EXPECT_NE(nullptr, host.GetProperty("Prooerties.A.B"));
    EXPECT_EQ(nullptr, host.GetProperty("Prooerties.A.Missing"));
    EXPECT_NE(std::string::npos, std::string(host.GetContextText().GetBuffer()).find("Properties"));
    CVLCMScriptExtend targetless(Controller(), m_pInstance, m_pInstance->GetParams(), nullptr);
    EXPECT_EQ(nullptr, targetless.GetProperty("Prooerties.A.B"));
    EXPECT_EQ(0, targetless.GetContextText().GetLength());
}

TEST_F(ScriptExtendTest, ConstantsAndParameters)
{
    EXPECT_TRUE(Run("Levels"));
    EXPECT_EQ("common", Param("common"));
    EXPECT_EQ("instance", Param("instance"));
    EXPECT_EQ("module", Param("module"));
    EXPECT_EQ("common", Param("child"));  // S.C is of ModB, which has no K
    EXPECT_EQ("user", Param("user"));
    EXPECT_EQ("", Param("absent"));
    EXPECT_EQ("<none>", Param("nothing"));
    EXPECT_EQ("5", Param("child", m_pInstance->GetFirstChild()));
    EXPECT_FALSE(Run("EmptyName"));
}

TEST_F(ScriptExtendTest, HostErrors)
{
    EXPECT_EQ(3001, HostError("SetConst", {"only"}));
    EXPECT_EQ(3001, HostError("GetConst", {}));
    EXPECT_EQ(3001, HostError("SetParameter", {"a"}));
    EXPECT_EQ(3001, HostError("SetParameter", {"a", "b", "c"}));
    EXPECT_EQ(3001, HostError("GetParameter", {}));
    EXPECT_EQ(3001, HostError("CallMethod", {}));
    // The count is checked before the instance is looked up.
    EXPECT_EQ(3001, HostError("Nobody.CallMethod", {}));
    EXPECT_EQ(3006, HostError("Nobody.CallMethod", {"m"}));
    EXPECT_EQ(3006, HostError("Nobody.GetParameter", {"p"}));
    EXPECT_EQ(3006, HostError("Nobody.SetParameter", {"p", "v"}));
    EXPECT_EQ(0, HostError("C.SetParameter", {"p", "v"}));
    EXPECT_EQ(0, HostError("Nobody.SetConst", {"N", "v"}));  // the path is ignored
    CFakeLog::Take();
    EXPECT_EQ(0, HostError("C.CallMethod", {"m"}));
    EXPECT_EQ((std::vector<std::string>{"call:S.C:m"}), CFakeLog::Take());
}

// A script that fails reads as false to its caller; the controller counts
// the failures and keeps the first, for the front end to report.
TEST_F(ScriptExtendTest, FailuresAreCountedAndTheFirstKept)
{
    std::string strFirst = "old";
    EXPECT_EQ(0u, Controller()->TakeScriptFailures(strFirst));
    EXPECT_EQ("", strFirst);
    EXPECT_FALSE(Run("Loops"));
    EXPECT_FALSE(Run("NoSuchScript"));
    EXPECT_TRUE(Run("ReadWrite"));
    EXPECT_EQ(2u, Controller()->TakeScriptFailures(strFirst));
    EXPECT_NE(std::string::npos, strFirst.find("Loops: EVLScriptException")) << strFirst;
    EXPECT_NE(std::string::npos, strFirst.find("UNEXPECTED_ERROR")) << strFirst;
    EXPECT_EQ(0u, Controller()->TakeScriptFailures(strFirst));
}
