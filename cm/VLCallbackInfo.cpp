#include "cm/VLCallbackInfo.h"

#include "base/core/VLException.h"
#include "cm/VLCMApi.h"
#include "cm/VLFunctionListener.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProgressListener.h"

CVLCallbackInfo::CVLCallbackInfo()
    : m_eType(VLCM_CALLBACK_USER), m_pFunctionListener(nullptr), m_pProgressListener(nullptr), m_pApi(nullptr),
      m_pInstance(nullptr), m_pTarget(nullptr), m_bMarge(false), m_pException(nullptr), m_nProgressValue(0),
      m_pUserCallback(nullptr), m_lCallbackId(0), m_pCallbackParam(nullptr)
{
}

CVLCallbackInfo::CVLCallbackInfo(int eType, CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                 CVLTarget* pTarget)
    : CVLCallbackInfo()
{
    m_eType = eType;
    m_pTarget = pTarget;
    if (pInstance != nullptr) {
        // The names only: the instance itself comes from the parameters.
        SetInstance(pInstance);
        m_pInstance = nullptr;
    }
    SetParams(pParams);
}

CVLCallbackInfo::~CVLCallbackInfo()
{
    VLDeleteException(m_pException);
    m_pException = nullptr;
}

void CVLCallbackInfo::SetInstance(CVLModuleInstance* pInstance)
{
    m_pInstance = pInstance;
    if (pInstance == nullptr)
        return;
    m_strModuleName = pInstance->GetModuleName();
    m_strInstanceName = pInstance->GetName();
}

void CVLCallbackInfo::SetParams(CVLModuleParamCollection* pParams)
{
    if (pParams == nullptr)
        return;
    m_strFunctionName = pParams->GetFunctionName();
    m_strPacketListName = pParams->GetPacketListName();
    m_pFunctionListener = pParams->GetListener();
    m_pProgressListener = pParams->GetProgressListener();
    // Parameters without a controller say nothing of the API: the one the
    // record was given stays.
    CVLModuleController* pController = pParams->GetController();
    if (pController != nullptr)
        m_pApi = pController->GetApi();
    m_pInstance = pParams->GetInstance();
}

void CVLCallbackInfo::SetException(EVLException* pException)
{
    if (pException == m_pException)
        return;
    VLDeleteException(m_pException);
    m_pException = pException;
}

void CVLCallbackInfo::SetUserCallback(VLCM_USER_CALLBACK pCallback, long lCallbackId, void* pCallbackParam)
{
    m_pUserCallback = pCallback;
    m_lCallbackId = lCallbackId;
    m_pCallbackParam = pCallbackParam;
}

void CVLCallbackInfo::Invoke()
{
    if (m_eType == VLCM_CALLBACK_USER) {
        if (m_pUserCallback != nullptr)
            m_pUserCallback(m_lCallbackId, m_pCallbackParam, this);
        return;
    }
    if (m_pFunctionListener != nullptr && static_cast<unsigned>(m_eType) <= VLCM_CALLBACK_EXCEPTION) {
        switch (m_eType) {
        case VLCM_CALLBACK_PROBE:
            m_pFunctionListener->OnProbe(m_pApi, m_pInstance, m_pTarget, this);
            return;
        case VLCM_CALLBACK_DONE:
            m_pFunctionListener->OnDone(m_pApi, m_pInstance, m_pTarget, this);
            return;
        case VLCM_CALLBACK_STOP:
            m_pFunctionListener->OnStop(m_pApi, m_pInstance, m_pTarget, this);
            return;
        case VLCM_CALLBACK_TIMEOUT:
            m_pFunctionListener->OnTimeout(m_pApi, m_pInstance, m_pTarget, this);
            return;
        case VLCM_CALLBACK_EXCEPTION:
            m_pFunctionListener->OnException(m_pApi, m_pInstance, m_pTarget, this);
            return;
        default:
            break; // progress goes to the progress listener only
        }
    }
    if (m_pProgressListener != nullptr && m_eType == VLCM_CALLBACK_PROGRESS)
        m_pProgressListener->OnProgress(m_pApi, m_pInstance, m_pTarget, this);
}
