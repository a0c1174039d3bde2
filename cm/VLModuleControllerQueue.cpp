// The callback queue: posting, refusal and dispatch.
#include "cm/VLModuleController.h"

#include "cm/VLCMDefs.h"
#include "base/core/VLException.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLUnsupportedException.h"

#define VLMODULECONTROLLER_FILE "VLModuleController"

void CVLModuleController::DispatchCallback(long lTimeout)
{
    (void)lTimeout;
    throw new EVLUnsupportedException(VLCMAPI_MODULE, VLMODULECONTROLLER_FILE, __LINE__, "DispatchCallback");
}

void CVLModuleController::PostCallbackUser(CVLModuleInstance* pInstance, CVLTarget* pTarget,
                                           VLCM_USER_CALLBACK pCallback, long lCallbackId, void* pCallbackParam,
                                           EVLException* pException)
{
    (void)pInstance, (void)pTarget, (void)pCallback, (void)lCallbackId, (void)pCallbackParam;
    VLDeleteException(pException);
    throw new EVLUnsupportedException(VLCMAPI_MODULE, VLMODULECONTROLLER_FILE, __LINE__, "PostCallbackUser");
}

void CVLModuleController::PostCallbackUser(CVLCallbackInfo* pUserCallbackInfo)
{
    delete pUserCallbackInfo;
    throw new EVLUnsupportedException(VLCMAPI_MODULE, VLMODULECONTROLLER_FILE, __LINE__, "PostCallbackUser");
}

void CVLModuleController::PostCallbackProbe(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                            CVLTarget* pTarget, bool bMarge)
{
    (void)pInstance, (void)pParams, (void)pTarget, (void)bMarge;
    throw new EVLUnsupportedException(VLCMAPI_MODULE, VLMODULECONTROLLER_FILE, __LINE__, "PostCallbackProbe");
}

void CVLModuleController::PostCallbackDone(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                           CVLTarget* pTarget)
{
    (void)pInstance, (void)pParams, (void)pTarget;
    throw new EVLUnsupportedException(VLCMAPI_MODULE, VLMODULECONTROLLER_FILE, __LINE__, "PostCallbackDone");
}

void CVLModuleController::PostCallbackStop(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                           CVLTarget* pTarget)
{
    (void)pInstance, (void)pParams, (void)pTarget;
    throw new EVLUnsupportedException(VLCMAPI_MODULE, VLMODULECONTROLLER_FILE, __LINE__, "PostCallbackStop");
}

void CVLModuleController::PostCallbackTimeout(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                              CVLTarget* pTarget)
{
    (void)pInstance, (void)pParams, (void)pTarget;
    throw new EVLUnsupportedException(VLCMAPI_MODULE, VLMODULECONTROLLER_FILE, __LINE__, "PostCallbackTimeout");
}

void CVLModuleController::PostCallbackProgress(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                               CVLTarget* pTarget, VL_CONST_STR szEventCode, VL_SIZE_T nProgressValue)
{
    (void)pInstance, (void)pParams, (void)pTarget, (void)szEventCode, (void)nProgressValue;
    throw new EVLUnsupportedException(VLCMAPI_MODULE, VLMODULECONTROLLER_FILE, __LINE__, "PostCallbackProgress");
}

void CVLModuleController::PostCallbackException(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                                CVLTarget* pTarget, EVLException* pException)
{
    (void)pInstance, (void)pParams, (void)pTarget;
    VLDeleteException(pException);
    throw new EVLUnsupportedException(VLCMAPI_MODULE, VLMODULECONTROLLER_FILE, __LINE__, "PostCallbackException");
}

CVLCallbackInfo* CVLModuleController::PostCallback(int eType, CVLModuleInstance* pInstance,
                                                   CVLModuleParamCollection* pParams, CVLTarget* pTarget,
                                                   EVLException* pException, bool bMarge, VL_CONST_STR szEventCode,
                                                   VL_SIZE_T nProgressValue, VLCM_USER_CALLBACK pCallback,
                                                   long lCallbackId, void* pCallbackParam, CVLCallbackInfo* pInfo)
{
    (void)eType, (void)pInstance, (void)pParams, (void)pTarget, (void)bMarge, (void)szEventCode;
    (void)nProgressValue, (void)pCallback, (void)lCallbackId, (void)pCallbackParam;
    VLDeleteException(pException);
    delete pInfo;
    throw new EVLUnsupportedException(VLCMAPI_MODULE, VLMODULECONTROLLER_FILE, __LINE__, "PostCallback");
}

void CVLModuleController::RemoveCallbackInfo(CVLModuleInstance* pInstance, CVLTarget* pTarget, void* pCallbackParam)
{
    CVLThreadLock lock(&m_ThreadSync);
    if (lock.Lock())
        removeCallbackInfo(pInstance, pTarget, pCallbackParam);
}

void CVLModuleController::removeCallbackInfo(CVLModuleInstance* pInstance, CVLTarget* pTarget, void* pCallbackParam)
{
    m_CallbackInfoList.Remove(pInstance, pTarget, pCallbackParam);
    if (pInstance != nullptr)
        m_LockInstanceMap[pInstance] = pInstance;
    if (pTarget != nullptr)
        m_LockTargetMap[pTarget] = pTarget;
    if (pCallbackParam != nullptr)
        m_LockCallbackParamMap[pCallbackParam] = pCallbackParam;
}

void CVLModuleController::UnlockCallbackInfo(CVLModuleInstance* pInstance, CVLTarget* pTarget, void* pCallbackParam)
{
    CVLThreadLock lock(&m_ThreadSync);
    if (!lock.Lock())
        return;
    if (pInstance != nullptr)
        m_LockInstanceMap.erase(pInstance);
    if (pTarget != nullptr)
        m_LockTargetMap.erase(pTarget);
    if (pCallbackParam != nullptr)
        m_LockCallbackParamMap.erase(pCallbackParam);
}
