// End to end: a probe-like module posts from its own thread, and the
// listener receives every event, in order, on the dispatching thread.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "cm/VLCMApi.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLFunctionListener.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLTarget.h"
#include "tests/support/cm/FakeFramework.h"
#include "tests/support/Watchdog.h"

namespace {

// Answers three probes and then reports that it is done, from a thread of
// its own.
CFakeModule::SScript ProbeLike()
{
    CFakeModule::SScript script;
    script.OnCall = [](CFakeInstance& self, CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) {
        self.RunOnThread([pInstance, pParams] {
            CVLModuleController* pController = pParams->GetController();
            for (int i = 0; i < 3; ++i)
                pController->PostCallbackProbe(pInstance, pParams, pParams->GetTarget(), i == 2);
            pController->PostCallbackDone(pInstance, pParams, pParams->GetTarget());
        });
    };
    return script;
}

class CRecordingListener : public IVLFunctionListener
{
public:
    void OnProbe(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget, CVLCallbackInfo* pInfo) override
    {
        Record(pApi, pInstance, pTarget, pInfo->IsMarge() ? "probe+marge" : "probe");
        EXPECT_STREQ("Scan", pInfo->GetFunctionName().GetBuffer());
        EXPECT_STREQ("PL", pInfo->GetPacketListName().GetBuffer());
    }
    void OnDone(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget, CVLCallbackInfo*) override
    {
        Record(pApi, pInstance, pTarget, "done");
        m_bDone = true;
    }
    void Record(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget, const char* szEvent)
    {
        m_Events.push_back(szEvent);
        m_Threads.push_back(std::this_thread::get_id());
        m_pApi = pApi;
        m_pInstance = pInstance;
        m_pTarget = pTarget;
    }
    std::vector<std::string> m_Events;
    std::vector<std::thread::id> m_Threads;
    std::atomic<bool> m_bDone{false};
    CVLCMApi* m_pApi = nullptr;
    CVLModuleInstance* m_pInstance = nullptr;
    CVLTarget* m_pTarget = nullptr;
};

}  // namespace

TEST(EndToEndTest, ModuleEventsReachTheListenerOnTheDispatchingThread)
{
    CWatchdog watchdog(60, "end-to-end dispatch");
    CModuleRegistration registration(
        [](CVLCMApi& api) { api.AddModuleStaticLibrary("ProbeLike", new CFakeModule(ProbeLike())); });
    CDefinitionFiles files;
    files.AddXml("mapping.xml", "<ModuleMapping><Instance name=\"Scan\" module=\"ProbeLike\"/></ModuleMapping>");
    CVLCMApiConfig config;
    files.Configure(config);
    CVLCMApi api;
    api.Initialize(&config, nullptr);
    CVLTarget* pTarget = api.CreateTarget();

    CRecordingListener listener;
    std::atomic<bool> bStopDispatch(false);
    std::thread dispatcher([&] {
        while (!bStopDispatch)
            api.DispatchCallback(10);
    });
    CVLModuleInstance* p = api.GetModuleController()->ExecFunction(pTarget, "Scan", "PL", &listener, nullptr, nullptr,
                                                                   nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, p);
    while (!listener.m_bDone)
        std::this_thread::yield();
    bStopDispatch = true;
    std::thread::id dispatchId = dispatcher.get_id();
    dispatcher.join();

    EXPECT_EQ((std::vector<std::string>{"probe", "probe", "probe+marge", "done"}), listener.m_Events);
    for (const auto& id : listener.m_Threads)
        EXPECT_EQ(dispatchId, id);
    EXPECT_EQ(&api, listener.m_pApi);
    EXPECT_EQ(p, listener.m_pInstance);
    EXPECT_EQ(pTarget, listener.m_pTarget);
    p->Destroy();
    pTarget->Destroy(false);
    api.Terminate();
}
