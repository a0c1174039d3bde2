#include "tests/cm/CMTestSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

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

CDefinitionFiles::CDefinitionFiles()
{
    char szTemplate[] = "/tmp/vlcm_test_XXXXXX";
    const char* p = mkdtemp(szTemplate);
    m_strFolder = p == nullptr ? std::string("/tmp") : std::string(p);
}

CDefinitionFiles::~CDefinitionFiles()
{
    std::string strCommand = "rm -rf '" + m_strFolder + "'";
    if (m_strFolder != "/tmp" && std::system(strCommand.c_str()) != 0)
        std::perror("rm");
}

std::string CDefinitionFiles::WriteFile(const std::string& strName, const std::string& strText)
{
    std::string strPath = m_strFolder + "/" + strName;
    std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
    out << strText;
    return strPath;
}

void CDefinitionFiles::AddXml(const std::string& strName, const std::string& strText)
{
    WriteFile(strName, strText);
    m_Files.emplace_back(strName, "xml");
}

void CDefinitionFiles::AddScript(const std::string& strName, const std::string& strText)
{
    WriteFile(strName, strText);
    m_Files.emplace_back(strName, "script");
}

void CDefinitionFiles::Configure(CVLCMApiConfig& config)
{
    std::string strList = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<FileList>\n";
    for (const auto& file : m_Files)
        strList += "  <File name=\"" + file.first + "\" type=\"" + file.second + "\"/>\n";
    strList += "</FileList>\n";
    WriteFile("vlres201.dat", strList);
    CVLLocalizeUtility pathInfo;
    pathInfo.SetRootPath(m_strFolder.c_str());
    pathInfo.SetDefaultFolder(".");
    config.SetPathInfo(pathInfo);
    config.SetFileListName("vlres201.dat");
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
