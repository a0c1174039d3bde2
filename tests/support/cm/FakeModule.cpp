#include "tests/support/cm/FakeModule.h"

std::atomic<int> CFakeModule::s_nLive(0);

CFakeModule::CFakeModule(SScript script) : m_pScript(std::make_shared<const SScript>(std::move(script)))
{
    ++s_nLive;
}

CFakeModule::~CFakeModule()
{
    if (m_pScript->OnDelete)
        m_pScript->OnDelete(*this);
    --s_nLive;
}

int CFakeModule::GetPacketCount(VL_CONST_STR szName)
{
    return m_pScript->OnPacketCount ? m_pScript->OnPacketCount(szName == nullptr ? "" : szName) : 0;
}

std::string CFakeModule::Name() const
{
    const char* sz = m_strModuleName.GetBuffer();
    return sz != nullptr ? sz : "";
}

void CFakeModule::onInitialize(CVLModuleParamCollection* pParams)
{
    if (m_pScript->OnInitialize)
        m_pScript->OnInitialize(*this, pParams);
}

void CFakeModule::onTerminate(CVLModuleParamCollection* pParams)
{
    if (m_pScript->OnTerminate)
        m_pScript->OnTerminate(*this, pParams);
}

IVLModInstanceIF* CFakeModule::onNew()
{
    CFakeInstance* pInstance = new CFakeInstance(m_pScript->OnCall, m_pScript->OnStop, m_pScript->OnDestroy);
    pInstance->SetDropCount(m_pScript->OnDropCount);
    pInstance->SetCreate(m_pScript->OnCreate);
    return pInstance;
}

void CFakeModule::onDelete(IVLModInstanceIF* pInstanceIF)
{
    delete pInstanceIF;
}
