#include "cm/VLCMCallbackAdapter.h"

namespace {
// The kinds of the callback records.
const int32_t kKindProbe = 0;
const int32_t kKindDone = 1;
const int32_t kKindStop = 2;
const int32_t kKindTimeout = 3;
const int32_t kKindProgress = 4;
const int32_t kKindException = 5;
}  // namespace

CVLCMCallbackAdapter::CVLCMCallbackAdapter() : m_pCallback(nullptr), m_pUserData(nullptr)
{
}

CVLCMCallbackAdapter::~CVLCMCallbackAdapter()
{
}

void CVLCMCallbackAdapter::Forward(int32_t nKind, CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget,
                                   CVLCallbackInfo* pInfo)
{
    if (m_pCallback != nullptr)
        m_pCallback(nKind, pApi, pInstance, pTarget, pInfo, m_pUserData);
}

void CVLCMCallbackAdapter::OnProbe(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget,
                                   CVLCallbackInfo* pInfo)
{
    Forward(kKindProbe, pApi, pInstance, pTarget, pInfo);
}

void CVLCMCallbackAdapter::OnDone(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget,
                                  CVLCallbackInfo* pInfo)
{
    Forward(kKindDone, pApi, pInstance, pTarget, pInfo);
}

void CVLCMCallbackAdapter::OnStop(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget,
                                  CVLCallbackInfo* pInfo)
{
    Forward(kKindStop, pApi, pInstance, pTarget, pInfo);
}

void CVLCMCallbackAdapter::OnTimeout(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget,
                                     CVLCallbackInfo* pInfo)
{
    Forward(kKindTimeout, pApi, pInstance, pTarget, pInfo);
}

void CVLCMCallbackAdapter::OnException(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget,
                                       CVLCallbackInfo* pInfo)
{
    Forward(kKindException, pApi, pInstance, pTarget, pInfo);
}

void CVLCMCallbackAdapter::SetCallback(VLCM_LISTENER_CALLBACK pCallback)
{
    m_pCallback = pCallback;
}

void CVLCMCallbackAdapter::SetUserData(void* pUserData)
{
    m_pUserData = pUserData;
}

void CVLCMCallbackAdapter::OnProgress(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget,
                                      CVLCallbackInfo* pInfo)
{
    Forward(kKindProgress, pApi, pInstance, pTarget, pInfo);
}
