#include "tests/cm/CMTestSupport.h"

#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "base/core/VLInvalidParamException.h"

namespace {
std::mutex s_LogMutex;
std::vector<std::string> s_Log;
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

std::atomic<int> CFakeImpl::s_nLive(0);
std::atomic<int> CFakeModule::s_nLive(0);

CFakeImpl::CFakeImpl()
{
    ++s_nLive;
}

CFakeImpl::~CFakeImpl()
{
    --s_nLive;
}

void CFakeImpl::DestroyInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection*)
{
    CFakeLog::Add("destroy:" + std::string(pInstance->GetName().GetBuffer()));
}

void CFakeImpl::CallMethod(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    CFakeLog::Add("call:" + std::string(pInstance->GetName().GetBuffer()) + ":" + pParams->GetMethodName().GetBuffer());
    if (pParams->GetParam("fail", false) != nullptr)
        throw new EVLInvalidParamException("Test", "CMTestSupport", __LINE__);
    CVLModuleParam* pAnswer = pParams->GetParam("answer", false);
    if (pAnswer != nullptr)
        pParams->GetResult() = *pAnswer;
}

void CFakeImpl::Stop(CVLModuleInstance* pInstance, CVLModuleParamCollection*)
{
    CFakeLog::Add("stop:" + std::string(pInstance->GetName().GetBuffer()));
}

CFakeModule::CFakeModule(int nPackets) : m_nPackets(nPackets)
{
    ++s_nLive;
}

CFakeModule::~CFakeModule()
{
    --s_nLive;
    CFakeLog::Add("delete:" + std::string(m_strModuleName.GetBuffer()));
}

int CFakeModule::GetPacketCount(VL_CONST_STR szName)
{
    return std::string(szName == nullptr ? "" : szName) == "P" ? m_nPackets : 0;
}

void CFakeModule::onInitialize(CVLModuleParamCollection*)
{
    CFakeLog::Add("init:" + std::string(m_strModuleName.GetBuffer()));
}

void CFakeModule::onTerminate(CVLModuleParamCollection*)
{
    CFakeLog::Add("term:" + std::string(m_strModuleName.GetBuffer()));
}

IVLModInstanceIF* CFakeModule::onNew()
{
    return new CFakeImpl();
}

void CFakeModule::onDelete(IVLModInstanceIF* pInstanceIF)
{
    delete pInstanceIF;
}

void VLRegisterFakeModules(CVLCMApi& api)
{
    VL_ADD_MODULE_STATIC_LIBRARY(api, "ModB", CFakeModuleB);
    VL_ADD_MODULE_STATIC_LIBRARY(api, "ModA", CFakeModuleA);
}

CFakeFramework::CFakeFramework()
{
    CVLCMApi::SetModuleLibraries(VLRegisterFakeModules);
}

CFakeFramework::~CFakeFramework()
{
    try {
        m_Api.Terminate();
    } catch (EVLException* pException) {
        pException->Delete();
    }
    CVLCMApi::SetModuleLibraries(nullptr);
}

void CFakeFramework::Start(const std::string& strMapping)
{
    m_Files.AddXml("mapping.xml", strMapping);
    CVLCMApiConfig config;
    m_Files.Configure(config);
    m_Api.Initialize(&config, nullptr);
}
