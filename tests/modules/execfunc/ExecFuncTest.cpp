// The function-execution module: its children run in order, inline without a
// listener and on its own thread with one; failures of a threaded run reach
// the listener; a stop ends a threaded run promptly.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cm/VLCMApi.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLFunctionListener.h"
#include "cm/VLModule.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "modules/VLModuleLibraries.h"
#include "modules/execfunc/VLExecFunc.h"
#include "modules/execfunc/VLMDExecFunc.h"
#include "base/core/VLAlreadyExecException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLStopFunctionException.h"
#include "base/core/VLTimeoutException.h"
#include "base/core/VLUnsupportedException.h"
#include "tests/support/cm/FakeModule.h"
#include "tests/support/cm/ModuleFixture.h"
#include "tests/support/TestSupport.h"
#include "tests/support/Watchdog.h"

namespace {

// What the children did, in order, and a gate that holds a child until it
// is opened or the child is stopped.
struct SBoard
{
    std::mutex mutex;
    std::condition_variable cond;
    std::vector<std::string> calls;
    bool bOpen = true;
    bool bHolding = false;
    bool bLinger = false;
    bool bLingering = false;

    void Add(const std::string& s)
    {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(s);
        cond.notify_all();
    }
    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
    void WaitFor(size_t nCalls)
    {
        std::unique_lock<std::mutex> lock(mutex);
        cond.wait(lock, [&] { return calls.size() >= nCalls; });
    }
    void Open()
    {
        std::lock_guard<std::mutex> lock(mutex);
        bOpen = true;
        cond.notify_all();
    }
};
SBoard* s_pBoard = nullptr;

// A child whose method says what it does: "hold" waits at the gate,
// "timeout" and "fail" throw, anything else answers with its method name.
CFakeModule::SScript Step()
{
    CFakeModule::SScript script;
    script.OnCall = [](CFakeInstance&, CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) {
        std::string strMethod = pParams->GetMethodName().GetBuffer();
        s_pBoard->Add(std::string(pInstance->GetName().GetBuffer()) + ":" + strMethod);
        if (strMethod == "hold") {
            std::unique_lock<std::mutex> lock(s_pBoard->mutex);
            s_pBoard->bHolding = true;
            s_pBoard->cond.notify_all();
            s_pBoard->cond.wait(lock, [] { return s_pBoard->bOpen; });
        }
        if (strMethod == "timeout")
            throw new EVLTimeoutException("Test", "ExecFuncTest", __LINE__, false);
        if (strMethod == "fail")
            throw new EVLInvalidParamException("Test", "ExecFuncTest", __LINE__);
        pParams->GetResult().SetString(strMethod.c_str(), 72);
    };
    script.OnStop = [](CFakeInstance&, CVLModuleInstance*, CVLModuleParamCollection*) { s_pBoard->Open(); };
    return script;
}

// A function-execution instance whose thread lingers after its run, at the
// gate "bLinger", before it ends.
class CLingeringExecFunc : public CVLExecFunc
{
public:
    void OnThread(void* pData) override
    {
        CVLExecFunc::OnThread(pData);
        std::unique_lock<std::mutex> lock(s_pBoard->mutex);
        s_pBoard->bLingering = true;
        s_pBoard->cond.notify_all();
        s_pBoard->cond.wait(lock, [] { return !s_pBoard->bLinger; });
        s_pBoard->bLingering = false;
    }
};

class CLingeringExecModule : public CVLMDExecFunc
{
protected:
    IVLModInstanceIF* onNew() override { return new CLingeringExecFunc(); }
    void onDelete(IVLModInstanceIF* p) override { delete p; }
};

void RegisterModules(CVLCMApi& api)
{
    VLRegisterModuleLibraries(api);
    api.AddModuleStaticLibrary("Step", new CFakeModule(Step()));
    VL_ADD_MODULE_STATIC_LIBRARY(api, "LingeringExec", CLingeringExecModule);
}

// Collects the exception callbacks on the dispatching thread (the test's).
class CListener : public IVLFunctionListener
{
public:
    void OnException(CVLCMApi*, CVLModuleInstance*, CVLTarget*, CVLCallbackInfo* pInfo) override
    {
        m_Classes.push_back(pInfo->GetException() == nullptr ? "" : pInfo->GetException()->GetClassName().GetBuffer());
    }
    std::vector<std::string> m_Classes;
};

const char* const kMapping =
    "<ModuleMapping>"
    "<Instance name=\"Seq\" module=\"VLMDExecFunc\" method=\"ExecFunction\">"
    "  <Instance name=\"A\" module=\"Step\" method=\"first\"/>"
    "  <Instance name=\"B\" module=\"Step\"/>"
    "</Instance>"
    "<Instance name=\"Empty\" module=\"VLMDExecFunc\" method=\"ExecFunction\"/>"
    "<Instance name=\"Wrong\" module=\"VLMDExecFunc\" method=\"Send\"/>"
    "<Instance name=\"TimeOut\" module=\"VLMDExecFunc\" method=\"ExecFunction\">"
    "  <Instance name=\"T\" module=\"Step\" method=\"timeout\"/><Instance name=\"After\" module=\"Step\"/>"
    "</Instance>"
    "<Instance name=\"Lenient\" module=\"VLMDExecFunc\" method=\"ExecFunction\">"
    "  <Const name=\"onTimeout\" value=\"false\"/>"
    "  <Instance name=\"T\" module=\"Step\" method=\"timeout\"/>"
    "  <Instance name=\"Strict\" module=\"Step\" method=\"timeout\"><Const name=\"onTimeout\" "
    "value=\"true\"/></Instance>"
    "  <Instance name=\"After\" module=\"Step\"/>"
    "</Instance>"
    "<Instance name=\"Failing\" module=\"VLMDExecFunc\" method=\"ExecFunction\">"
    "  <Instance name=\"F\" module=\"Step\" method=\"fail\"/><Instance name=\"After\" module=\"Step\"/>"
    "</Instance>"
    "<Instance name=\"Held\" module=\"VLMDExecFunc\" method=\"ExecFunction\">"
    "  <Instance name=\"H\" module=\"Step\" method=\"hold\"/>"
    "  <Instance name=\"Next\" module=\"Step\"/><Instance name=\"Last\" module=\"Step\"/>"
    "</Instance>"
    "<Instance name=\"Once\" module=\"LingeringExec\" method=\"ExecFunction\">"
    "  <Instance name=\"S\" module=\"Step\"/>"
    "</Instance>"
    "</ModuleMapping>";

class ExecFuncTest : public TModuleFixture<SBoard, CListener>
{
protected:
    ExecFuncTest() : TModuleFixture(s_pBoard, RegisterModules, kMapping) {}
    // Runs a function without a listener; the result text, or the class of
    // what it threw.
    std::string RunInline(const char* szFunction)
    {
        CVLModuleParamCollection init;
        try {
            C()->ExecFunction(nullptr, szFunction, szFunction, nullptr, nullptr, nullptr, &init, nullptr, nullptr);
        } catch (EVLException* e) {
            CVLExceptionOwner owner(e);
            return e->GetClassName().GetBuffer();
        }
        return init.GetResult().ToString(nullptr).GetBuffer();
    }
};

}  // namespace

TEST_F(ExecFuncTest, InlineRunsChildrenInOrderWithTheirMethods)
{
    EXPECT_EQ("Seq.B", RunInline("Seq"));
    EXPECT_EQ((std::vector<std::string>{"Seq.A:first", "Seq.B:Seq.B"}), m_Board.Calls());
    EXPECT_EQ("", RunInline("Empty"));
    EXPECT_EQ("EVLUnsupportedException", RunInline("Wrong"));
    EXPECT_EQ(2u, m_Board.Calls().size());
}

TEST_F(ExecFuncTest, TimeoutRules)
{
    EXPECT_EQ("EVLTimeoutException", RunInline("TimeOut"));
    EXPECT_EQ((std::vector<std::string>{"TimeOut.T:timeout"}), m_Board.Calls());
    m_Board.calls.clear();
    // Lenient goes on after its own child's time-out; the child that says
    // otherwise for itself still ends the run.
    EXPECT_EQ("EVLTimeoutException", RunInline("Lenient"));
    EXPECT_EQ((std::vector<std::string>{"Lenient.T:timeout", "Lenient.Strict:timeout"}), m_Board.Calls());
    EXPECT_EQ("EVLInvalidParamException", RunInline("Failing"));
}

TEST_F(ExecFuncTest, ThreadedRunReportsFailuresToTheListener)
{
    CWatchdog watchdog(60, "threaded run");
    // A failing child is reported and the next one still runs; a time-out
    // that ends the run is reported too, on the dispatching thread.
    size_t nExpected = 0;
    for (const char* szFunction : {"Failing", "TimeOut"}) {
        CVLModuleInstance* p = C()->ExecFunction(nullptr, szFunction, szFunction, &m_Listener, nullptr, nullptr,
                                                 nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, p);
        ++nExpected;
        while (m_Listener.m_Classes.size() < nExpected)
            m_Api.DispatchCallback(10);
        m_Board.WaitFor(nExpected == 1 ? 2 : 3);  // the runs' children, all called
        C()->DeleteModuleInstance(p);
    }
    EXPECT_EQ((std::vector<std::string>{"Failing.F:fail", "Failing.After:Failing.After", "TimeOut.T:timeout"}),
              m_Board.Calls());
    EXPECT_EQ((std::vector<std::string>{"EVLInvalidParamException", "EVLTimeoutException"}), m_Listener.m_Classes);
}

TEST_F(ExecFuncTest, SecondStartDuringAThreadedRunIsRefused)
{
    CWatchdog watchdog(60, "refused start");
    m_Board.bOpen = false;
    CVLModuleInstance* p =
        C()->ExecFunction(nullptr, "Held", "Held", &m_Listener, nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, p);
    m_Board.WaitFor(1);
    p->GetParams()->SetMethodName("ExecFunction");
    EXPECT_VL_THROW(p->CallMethod(), EVLAlreadyExecException);
    m_Board.Open();
    C()->DeleteModuleInstance(p);
}

TEST_F(ExecFuncTest, StopEndsAThreadedRunPromptly)
{
    CWatchdog watchdog(60, "stop during a threaded run");
    m_Board.bOpen = false;
    CVLModuleInstance* p =
        C()->ExecFunction(nullptr, "Held", "Held", &m_Listener, nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, p);
    {
        std::unique_lock<std::mutex> lock(m_Board.mutex);
        m_Board.cond.wait(lock, [&] { return m_Board.bHolding; });
    }
    // Stopping the children opens the gate; the run ends with the stop, and
    // whatever follows it was stopped before it could run to its end.
    C()->DeleteModuleInstance(p);
    std::vector<std::string> calls = m_Board.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ("Held.H:hold", calls[0]);
    Dispatch();
    EXPECT_EQ(calls.size(), m_Board.Calls().size());
}

TEST_F(ExecFuncTest, EndRequestIsHonouredBetweenChildren)
{
    CWatchdog watchdog(60, "end request between children");
    m_Board.bOpen = false;
    CVLModuleInstance* p =
        C()->ExecFunction(nullptr, "Held", "Held", &m_Listener, nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, p);
    m_Board.WaitFor(1);
    CVLExecFunc* pExec = static_cast<CVLExecFunc*>(p->GetImplementation());
    ASSERT_NE(nullptr, pExec);
    // The module's own stop: it asks the thread to end and waits for it.
    std::thread stopper([&] { pExec->Stop(p, p->GetParams()); });
    while (!pExec->IsRequestEnd())
        std::this_thread::yield();
    m_Board.Open();
    stopper.join();
    EXPECT_EQ((std::vector<std::string>{"Held.H:hold"}), m_Board.Calls());
    C()->DeleteModuleInstance(p);
}

// A call that comes after a threaded run has ended but before its thread has
// returned is either refused or run; here it is accepted, so it runs.
TEST_F(ExecFuncTest, ACallWhileTheLastRunsThreadEndsStillRuns)
{
    CWatchdog watchdog(60, "call while the thread ends");
    m_Board.bLinger = true;
    CVLModuleInstance* p =
        C()->ExecFunction(nullptr, "Once", "Once", &m_Listener, nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, p);
    {
        std::unique_lock<std::mutex> lock(m_Board.mutex);
        m_Board.cond.wait(lock, [&] { return m_Board.bLingering; });
    }
    std::atomic<bool> bReturned{false};
    std::thread caller([&] {
        p->GetParams()->SetMethodName("ExecFunction");
        p->CallMethod();
        bReturned = true;
    });
    // The call may wait for the lingering thread; let it go once the call
    // has returned or has had its chance to.
    for (int i = 0; i < 200 && !bReturned; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    {
        std::lock_guard<std::mutex> lock(m_Board.mutex);
        m_Board.bLinger = false;
        m_Board.cond.notify_all();
    }
    caller.join();
    {
        std::unique_lock<std::mutex> lock(m_Board.mutex);
        m_Board.cond.wait_for(lock, std::chrono::seconds(20), [&] { return m_Board.calls.size() >= 2; });
    }
    EXPECT_EQ((std::vector<std::string>{"Once.S:Once.S", "Once.S:Once.S"}), m_Board.Calls());
    C()->DeleteModuleInstance(p);
}
