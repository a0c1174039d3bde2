#include "tests/support/cm/FakeFramework.h"

#include "base/core/VLException.h"

void VLRegisterFakeModules(CVLCMApi& api)
{
    api.AddModuleStaticLibrary("ModB", new CFakeModule(CFakeLog::Script(2)));
    api.AddModuleStaticLibrary("ModA", new CFakeModule(CFakeLog::Script(1)));
}

CFakeFramework::CFakeFramework() : m_Registration(VLRegisterFakeModules)
{
}

CFakeFramework::~CFakeFramework()
{
    try {
        m_Api.Terminate();
    } catch (EVLException* pException) {
        pException->Delete();
    }
}

void CFakeFramework::Start(const std::string& strMapping)
{
    m_Files.AddXml("mapping.xml", strMapping);
    CVLCMApiConfig config;
    m_Files.Configure(config);
    m_Api.Initialize(&config, nullptr);
}
