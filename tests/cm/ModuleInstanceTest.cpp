// Module instances: creation on a target, stop once and children first,
// release, and the end of instances that outlive Terminate.
#include <gtest/gtest.h>

#include <thread>

#include "cm/VLCMApi.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLModuleController.h"
#include "cm/VLModInstanceInfo.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLTarget.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLNullObjectException.h"
#include "base/core/VLStopFunctionException.h"
#include "base/core/VLUnsupportedException.h"
#include "tests/support/cm/FakeFramework.h"
#include "tests/support/Watchdog.h"

namespace {

const char* const kMapping = "<ModuleMapping>"
                             "<Instance name=\"F\" module=\"ModA\" method=\"run\">"
                             "<Instance name=\"C\" module=\"ModB\"/><Instance name=\"D\" module=\"ModB\"/>"
                             "</Instance>"
                             "</ModuleMapping>";

class ModuleInstanceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Framework.Start(kMapping);
        CFakeLog::Take();
    }
    void TearDown() override { EXPECT_EQ(0, CFakeInstance::s_nLive.load()); }
    CVLModuleController* Controller() { return m_Framework.Controller(); }
    CFakeFramework m_Framework;
};

}  // namespace

TEST_F(ModuleInstanceTest, CreatedOnATargetWithItsCallContext)
{
    CVLTarget target(&m_Framework.m_Api);
    CVLModuleParamCollection init;
    init.GetParam("given", true)->SetInt(4);
    CVLModuleInstance* p = Controller()->CreateModuleInstance(&target, "F", &init);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(&target, p->GetTarget());
    EXPECT_EQ(1, target.GetInstanceCount());
    CVLModuleParamCollection* pParams = p->GetParams();
    EXPECT_EQ(Controller(), pParams->GetController());
    EXPECT_EQ(p, pParams->GetInstance());
    EXPECT_STREQ("F", pParams->GetFunctionName().GetBuffer());
    EXPECT_STREQ("run", pParams->GetMethodName().GetBuffer());
    ASSERT_NE(nullptr, pParams->GetParam("given", false));
    // Children start from the parameters as they stood when they were made.
    CVLModuleInstance* pChild = p->GetFirstChild();
    ASSERT_NE(nullptr, pChild);
    EXPECT_STREQ("F.C", pChild->GetName().GetBuffer());
    EXPECT_STREQ("ModB", pChild->GetModuleName().GetBuffer());
    EXPECT_EQ(&target, pChild->GetParams()->GetTarget());
    EXPECT_NE(nullptr, pChild->GetParams()->GetParam("given", false));
    EXPECT_EQ(nullptr, pChild->GetFirstChild());
    // A child reaches the framework like its parent, and is deleted with it
    // only.
    EXPECT_EQ(Controller(), pChild->GetModuleController());
    EXPECT_VL_THROW(pChild->Destroy(), EVLInvalidParamException);
    EXPECT_EQ(2, p->GetCount());
    p->Destroy();
    EXPECT_EQ(0, target.GetInstanceCount());
}

TEST_F(ModuleInstanceTest, StopsOnceChildrenFirstThenRefuses)
{
    CVLModuleInstance* p = Controller()->CreateModuleInstance(nullptr, "F", nullptr);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(nullptr, p->GetTarget());
    p->Stop();
    EXPECT_EQ((std::vector<std::string>{"stop:F.C", "stop:F.D", "stop:F"}), CFakeLog::Take());
    EXPECT_TRUE(p->IsStopped());
    EXPECT_TRUE(p->GetFirstChild()->IsStopped());
    p->Stop();
    EXPECT_TRUE(CFakeLog::Take().empty());
    EXPECT_VL_THROW(p->CallMethod(), EVLStopFunctionException);
    EXPECT_VL_THROW(p->SetLastPacketStatus(VLCM_PACKET_STATUS_ACCEPTED), EVLStopFunctionException);
    EXPECT_VL_THROW(p->GetSendStream(), EVLStopFunctionException);
    EXPECT_VL_THROW(p->GetFirstChild()->CallMethod(), EVLStopFunctionException);

    p->Release();
    EXPECT_EQ((std::vector<std::string>{"destroy:F.C", "destroy:F.D", "destroy:F"}), CFakeLog::Take());
    EXPECT_EQ(0, CFakeInstance::s_nLive.load());
    p->Release();
    EXPECT_TRUE(CFakeLog::Take().empty());
    Controller()->DeleteModuleInstance(p);
    EXPECT_TRUE(CFakeLog::Take().empty());
}

TEST_F(ModuleInstanceTest, GuardedCallsForwardOrRefuse)
{
    CVLModuleInstance* p = Controller()->CreateModuleInstance(nullptr, "F", nullptr);
    ASSERT_NE(nullptr, p);
    // The fakes keep the interface's defaults.
    EXPECT_VL_THROW(p->GetSendStream(), EVLUnsupportedException);
    EXPECT_VL_THROW(p->SetLastPacketStatus(VLCM_PACKET_STATUS_IGNORED), EVLUnsupportedException);
    p->CallMethod();
    EXPECT_EQ((std::vector<std::string>{"call:F:run"}), CFakeLog::Take());
    Controller()->DeleteModuleInstance(p);
    EXPECT_EQ((std::vector<std::string>{"stop:F.C", "stop:F.D", "stop:F", "destroy:F.C", "destroy:F.D", "destroy:F"}),
              CFakeLog::Take());

    CVLModuleInstance bare(nullptr);
    EXPECT_VL_THROW(bare.CallMethod(), EVLNullObjectException);
    EXPECT_VL_THROW(bare.Stop(), EVLNullObjectException);
    EXPECT_FALSE(bare.IsStopped());
    EXPECT_VL_THROW(bare.Destroy(), EVLNullObjectException);
}

TEST_F(ModuleInstanceTest, AssignmentKeepsTargetAndChildren)
{
    CVLTarget target(&m_Framework.m_Api);
    CVLModuleInstance* p = Controller()->CreateModuleInstance(&target, "F", nullptr);
    ASSERT_NE(nullptr, p);
    CVLModuleInstance copy(nullptr);
    copy = *p;
    EXPECT_EQ(nullptr, copy.GetTarget());
    EXPECT_EQ(0, copy.GetCount());
    EXPECT_EQ(p->GetFunctionInfo(), copy.GetFunctionInfo());
    EXPECT_EQ(p->GetImplementation(), copy.GetImplementation());
    EXPECT_STREQ("F", copy.GetParams()->GetFunctionName().GetBuffer());
    copy.SetImplementation(nullptr);
    p->Destroy();
}

TEST_F(ModuleInstanceTest, TerminateEndsInstancesStillAlive)
{
    CVLModuleInstance* p = Controller()->CreateModuleInstance(nullptr, "F", nullptr);
    ASSERT_NE(nullptr, p);
    m_Framework.m_Api.Terminate();
    std::vector<std::string> log = CFakeLog::Take();
    ASSERT_GE(log.size(), 6u);
    // Stopped and released before any module goes.
    EXPECT_EQ("stop:F.C", log[0]);
    EXPECT_EQ("destroy:F", log[5]);
    EXPECT_EQ("term:ModA", log[6]);
    EXPECT_EQ(0, CFakeInstance::s_nLive.load());
    // The owner may still delete its instance afterwards.
    Controller()->DeleteModuleInstance(p);
    EXPECT_TRUE(CFakeLog::Take().empty());
}

TEST_F(ModuleInstanceTest, TerminateWhileAnotherThreadDeletesInstances)
{
    CWatchdog watchdog(60, "terminate against deletion");
    std::vector<CVLModuleInstance*> instances;
    for (int i = 0; i < 50; ++i) {
        CVLModuleInstance* p = Controller()->CreateModuleInstance(nullptr, "F", nullptr);
        ASSERT_NE(nullptr, p);
        instances.push_back(p);
    }
    std::thread deleter([&] {
        for (CVLModuleInstance* p : instances)
            Controller()->DeleteModuleInstance(p);
    });
    m_Framework.m_Api.Terminate();
    deleter.join();
    EXPECT_EQ(0, CFakeInstance::s_nLive.load());
    CFakeLog::Take();
}

namespace {
int s_nUserCallbacks = 0;
void CountUserCallback(long, void*, CVLCallbackInfo*)
{
    ++s_nUserCallbacks;
}
}  // namespace

TEST_F(ModuleInstanceTest, DeletionWithdrawsTheCallbacksOfTheWholeTree)
{
    CVLModuleInstance* p = Controller()->CreateModuleInstance(nullptr, "F", nullptr);
    ASSERT_NE(nullptr, p);
    // Records in a child's name, as a module's worker posts them for it.
    s_nUserCallbacks = 0;
    Controller()->PostCallbackUser(p->GetFirstChild(), nullptr, CountUserCallback, 1, nullptr, nullptr);
    Controller()->PostCallbackUser(p, nullptr, CountUserCallback, 2, nullptr, nullptr);
    Controller()->DeleteModuleInstance(p);
    for (int i = 0; i < 4; ++i)
        Controller()->DispatchCallback(0);
    EXPECT_EQ(0, s_nUserCallbacks);
    CFakeLog::Take();
}

namespace {
// An instance that always lives at one address, as the allocator may give a
// new instance the address of one just deleted.
alignas(CVLModuleInstance) unsigned char s_InstanceSlot[sizeof(CVLModuleInstance) + sizeof(CFakeInstance) + 64];
class CSlotInstance : public CVLModuleInstance
{
public:
    explicit CSlotInstance(CVLCMApi* pApi) : CVLModuleInstance(pApi) { SetImplementation(&m_Impl); }
    static void* operator new(size_t) { return s_InstanceSlot; }
    static void operator delete(void*) {}
    CFakeInstance m_Impl;
};
}  // namespace

// Deletion refuses the instance's records only until it is gone: a new
// instance at the same address is heard.
TEST_F(ModuleInstanceTest, ANewInstanceAtADeletedOnesAddressIsHeard)
{
    static_assert(sizeof(CSlotInstance) <= sizeof(s_InstanceSlot), "slot too small");
    s_nUserCallbacks = 0;
    CVLModuleInstance* pOld = new CSlotInstance(&m_Framework.m_Api);
    Controller()->DeleteModuleInstance(pOld);
    CVLModuleInstance* pNew = new CSlotInstance(&m_Framework.m_Api);
    ASSERT_EQ(pOld, pNew);
    Controller()->PostCallbackUser(pNew, nullptr, CountUserCallback, 1, nullptr, nullptr);
    for (int i = 0; i < 4; ++i)
        Controller()->DispatchCallback(0);
    EXPECT_EQ(1, s_nUserCallbacks);
    Controller()->DeleteModuleInstance(pNew);
    CFakeLog::Take();
}
