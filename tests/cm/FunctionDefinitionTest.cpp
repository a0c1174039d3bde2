// The "ModuleMapping" walk: function definitions by full dotted name,
// constants on every level, enable maps and packet counts.
#include <gtest/gtest.h>

#include "cm/VLCMApi.h"
#include "cm/VLModInstanceInfo.h"
#include "cm/VLModule.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLNotExistException.h"
#include "tests/support/cm/FakeFramework.h"

namespace {

const char* const kMapping =
    "<ModuleMapping>"
    "  <Const name=\"N\" value=\"1\"/>"
    "  <Const name=\"Early\" value=\"%Later%\"/>"
    "  <Const name=\"Later\" value=\"x\"/>"
    "  <Const name=\"Ref\" value=\"%Later%\"/>"
    "  <Const name=\"Pct\" value=\"%%\"/>"
    "  <Const name=\"Open\" value=\"%Later\"/>"
    "  <Const value=\"nameless\"/>"
    "  <Module name=\"ModA\">"
    "    <Const name=\"N\" value=\"2\"/>"
    "    <Instance name=\"Ignored\" module=\"ModA\"/>"
    "  </Module>"
    "  <Module name=\"ModB\"><Const name=\"B\" value=\"b\"/></Module>"
    "  <Module name=\"Nope\"><Const name=\"M\" value=\"9\"/></Module>"
    "  <Other><Instance name=\"Hidden\" module=\"ModA\"/></Other>"
    "  <Instance name=\"F\" module=\"ModA\">"
    "    <Const name=\"N\" value=\"3\"/>"
    "    <Instance name=\"C\" module=\"ModB\" method=\"m\" methodRecv=\"r\"/>"
    "    <Instance name=\"D\" module=\"ModB\"><Const name=\"Deep\" value=\"d\"/></Instance>"
    "    <Instance name=\"X\" module=\"Unregistered\"><Instance name=\"Y\" module=\"ModA\"/></Instance>"
    "  </Instance>"
    "  <Instance name=\"G\" module=\"ModB\" onStartMethod=\"S\" onEndMethod=\"E\"/>"
    "</ModuleMapping>";

class FunctionDefinitionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CFakeLog::Take();
        m_Framework.Start(kMapping);
    }
    CVLModuleController* Controller() { return m_Framework.Controller(); }
    std::string Const(const char* szName, const char* szModule, const char* szInstance)
    {
        return m_Framework.m_Api.GetConst(szName, szModule, szInstance).GetBuffer();
    }
    CFakeFramework m_Framework;
};

}  // namespace

TEST_F(FunctionDefinitionTest, TreeByFullDottedName)
{
    CVLModInstanceInfo* pF = Controller()->FindModule("F");
    ASSERT_NE(nullptr, pF);
    EXPECT_STREQ("F", pF->GetMethod().GetBuffer());
    EXPECT_EQ(2, pF->GetCount());
    CVLModInstanceInfo* pC = Controller()->FindModule("F.C");
    ASSERT_NE(nullptr, pC);
    EXPECT_STREQ("C", pC->GetLocalName().GetBuffer());
    EXPECT_STREQ("m", pC->GetMethod().GetBuffer());
    EXPECT_STREQ("r", pC->GetMethodRecv().GetBuffer());
    EXPECT_STREQ("ModB", pC->GetModule()->GetModuleName().GetBuffer());
    CVLModInstanceInfo* pD = Controller()->FindModule("F.D");
    ASSERT_NE(nullptr, pD);
    EXPECT_STREQ("F.D", pD->GetMethod().GetBuffer());
    EXPECT_STREQ("F.D", pD->GetMethodRecv().GetBuffer());
    CVLModInstanceInfo* pG = Controller()->FindModule("G");
    ASSERT_NE(nullptr, pG);
    EXPECT_STREQ("S", pG->GetOnStartMethod().GetBuffer());
    EXPECT_STREQ("E", pG->GetOnEndMethod().GetBuffer());
    // An unregistered module's subtree, instances inside a module and under
    // unknown tags make no definitions.
    EXPECT_EQ(nullptr, Controller()->FindModule("F.X"));
    EXPECT_EQ(nullptr, Controller()->FindModule("F.X.Y"));
    EXPECT_EQ(nullptr, Controller()->FindModule("Ignored"));
    EXPECT_EQ(nullptr, Controller()->FindModule("Hidden"));
    // Only top-level names run.
    EXPECT_VL_THROW(Controller()->CreateModuleInstance(nullptr, "F.C", nullptr), EVLNotExistException);
}

TEST_F(FunctionDefinitionTest, ConstantsOnEveryLevel)
{
    EXPECT_EQ("1", Const("N", nullptr, nullptr));
    EXPECT_EQ("2", Const("N", "ModA", nullptr));
    EXPECT_EQ("3", Const("N", nullptr, "F"));
    // The module is taken from the definition when only the instance is named.
    EXPECT_EQ("b", Const("B", nullptr, "F.C"));
    EXPECT_EQ("1", Const("N", nullptr, "F.D"));  // ModB has no N
    EXPECT_EQ("d", Const("Deep", nullptr, "F.D"));
    EXPECT_EQ("", Const("M", "Nope", nullptr));
    // References resolve once, to common constants declared before them.
    EXPECT_EQ("x", Const("Ref", nullptr, nullptr));
    EXPECT_EQ("%Later%", Const("Early", nullptr, nullptr));
    EXPECT_EQ("%%", Const("Pct", nullptr, nullptr));
    EXPECT_EQ("%Later", Const("Open", nullptr, nullptr));

    // User constants hide the definitions' on their level only.
    CVLCMApi& api = m_Framework.m_Api;
    api.SetConst("N", "9", nullptr, nullptr);
    EXPECT_EQ("9", Const("N", nullptr, nullptr));
    EXPECT_EQ("3", Const("N", nullptr, "F"));
    api.SetConst("N", "7", "ModA", "F");  // the instance level only
    EXPECT_EQ("7", Const("N", nullptr, "F"));
    EXPECT_EQ("2", Const("N", "ModA", nullptr));
    api.SetConst("N", nullptr, nullptr, "F");
    api.SetConst("N", nullptr, nullptr, nullptr);
    EXPECT_EQ("3", Const("N", nullptr, "F"));
    EXPECT_EQ("1", Const("N", nullptr, nullptr));

    CVLString strValue("untouched", VL_CHARSET_UTF8);
    EXPECT_FALSE(Controller()->FindConst("Absent", strValue, nullptr, nullptr));
    EXPECT_STREQ("untouched", strValue.GetBuffer());
    EXPECT_VL_THROW(Controller()->FindConst("", strValue, nullptr, nullptr), EVLInvalidParamException);
    EXPECT_VL_THROW(api.SetConst(nullptr, "v", nullptr, nullptr), EVLInvalidParamException);
}

TEST_F(FunctionDefinitionTest, EnableMapsSkipSubtrees)
{
    CVLModuleInstance* p = Controller()->CreateModuleInstance(nullptr, "F", nullptr);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(2, p->GetCount());
    Controller()->DeleteModuleInstance(p);

    for (const char* szName : {"C", "F.C"}) {
        m_Framework.m_Api.EnableInstance(szName, false);
        p = Controller()->CreateModuleInstance(nullptr, "F", nullptr);
        ASSERT_NE(nullptr, p);
        EXPECT_EQ(nullptr, p->Find("F.C")) << szName;
        EXPECT_NE(nullptr, p->Find("F.D"));
        Controller()->DeleteModuleInstance(p);
        m_Framework.m_Api.EnableInstance(szName, true);
    }
    m_Framework.m_Api.EnableModule("ModA", false);
    EXPECT_EQ(nullptr, Controller()->CreateModuleInstance(nullptr, "F", nullptr));
    m_Framework.m_Api.EnableModule("ModA", true);
    m_Framework.m_Api.EnableModule("ModB", false);
    p = Controller()->CreateModuleInstance(nullptr, "F", nullptr);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(0, p->GetCount());
    Controller()->DeleteModuleInstance(p);
    EXPECT_EQ(0, CFakeInstance::s_nLive.load());
}

TEST_F(FunctionDefinitionTest, PacketCountsSumTheSubtree)
{
    EXPECT_EQ(1 + 2 + 2, m_Framework.m_Api.GetPacketCount("F", "P"));
    EXPECT_EQ(0, m_Framework.m_Api.GetPacketCount("F", "Q"));
    EXPECT_EQ(0, m_Framework.m_Api.GetPacketCount("Unknown", "P"));
}
