#include "tests/support/cm/FakeLog.h"

#include <mutex>

#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "base/core/VLInvalidParamException.h"

namespace {
std::mutex s_LogMutex;
std::vector<std::string> s_Log;

std::string NameOf(CVLModuleInstance* pInstance)
{
    return pInstance->GetName().GetBuffer();
}
}  // namespace

void CFakeLog::Add(const std::string& strEvent)
{
    std::lock_guard<std::mutex> lock(s_LogMutex);
    s_Log.push_back(strEvent);
}

std::vector<std::string> CFakeLog::Take()
{
    std::lock_guard<std::mutex> lock(s_LogMutex);
    std::vector<std::string> out;
    out.swap(s_Log);
    return out;
}

int CFakeLog::Count(const std::string& strPrefix)
{
    std::lock_guard<std::mutex> lock(s_LogMutex);
    int n = 0;
    for (const auto& s : s_Log)
        n += s.compare(0, strPrefix.size(), strPrefix) == 0 ? 1 : 0;
    return n;
}

CFakeModule::SScript CFakeLog::Script(int nPackets)
{
    CFakeModule::SScript script;
    script.OnInitialize = [](CFakeModule& module, CVLModuleParamCollection*) { Add("init:" + module.Name()); };
    script.OnTerminate = [](CFakeModule& module, CVLModuleParamCollection*) { Add("term:" + module.Name()); };
    script.OnDelete = [](CFakeModule& module) { Add("delete:" + module.Name()); };
    script.OnPacketCount = [nPackets](const std::string& strList) { return strList == "P" ? nPackets : 0; };
    script.OnCall = [](CFakeInstance&, CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) {
        Add("call:" + NameOf(pInstance) + ":" + pParams->GetMethodName().GetBuffer());
        if (pParams->GetParam("fail", false) != nullptr)
            throw new EVLInvalidParamException("Test", "FakeLog", __LINE__);
        CVLModuleParam* pAnswer = pParams->GetParam("answer", false);
        if (pAnswer != nullptr)
            pParams->GetResult() = *pAnswer;
    };
    script.OnStop = [](CFakeInstance&, CVLModuleInstance* pInstance, CVLModuleParamCollection*) {
        Add("stop:" + NameOf(pInstance));
    };
    script.OnDestroy = [](CFakeInstance&, CVLModuleInstance* pInstance, CVLModuleParamCollection*) {
        Add("destroy:" + NameOf(pInstance));
    };
    return script;
}
