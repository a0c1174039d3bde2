#include "tests/support/cm/FakeInstance.h"

std::atomic<int> CFakeInstance::s_nLive(0);

CFakeInstance::CFakeInstance(TMethod fnCall, TMethod fnStop, TMethod fnDestroy)
    : m_fnCall(std::move(fnCall)), m_fnStop(std::move(fnStop)), m_fnDestroy(std::move(fnDestroy))
{
    ++s_nLive;
}

CFakeInstance::~CFakeInstance()
{
    Join();
    --s_nLive;
}

void CFakeInstance::CreateInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    if (m_fnCreate)
        m_fnCreate(*this, pInstance, pParams);
    IVLModInstanceIF::CreateInstance(pInstance, pParams);
}

void CFakeInstance::CallMethod(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    if (m_fnCall)
        m_fnCall(*this, pInstance, pParams);
}

void CFakeInstance::Stop(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    m_bStopped = true;
    if (m_fnStop)
        m_fnStop(*this, pInstance, pParams);
    Join();
}

void CFakeInstance::DestroyInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    Join();
    if (m_fnDestroy)
        m_fnDestroy(*this, pInstance, pParams);
}

void CFakeInstance::RunOnThread(std::function<void()> fnWork)
{
    Join();
    m_Thread = std::thread(std::move(fnWork));
}

void CFakeInstance::Join()
{
    if (m_Thread.joinable() && m_Thread.get_id() != std::this_thread::get_id())
        m_Thread.join();
}
