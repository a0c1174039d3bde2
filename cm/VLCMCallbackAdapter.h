// Both listener kinds turned into one plain function with a kind code, for
// owners that prefer a function to a class.
#ifndef VLCMCALLBACKADAPTER_H
#define VLCMCALLBACKADAPTER_H

#include <cstdint>

#include "cm/VLFunctionListener.h"
#include "cm/VLProgressListener.h"

// (kind, facade, instance, target, record, user data); the kinds are those of
// the callback records: 0 probe, 1 done, 2 stop, 3 time-out, 4 progress,
// 5 exception.
typedef void (*VLCM_LISTENER_CALLBACK)(int32_t nKind, CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget,
                                       CVLCallbackInfo* pInfo, void* pUserData);

class CVLCMCallbackAdapter : public IVLFunctionListener, public IVLProgressListener
{
public:
    CVLCMCallbackAdapter();
    virtual ~CVLCMCallbackAdapter();

    virtual void OnProbe(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget,
                         CVLCallbackInfo* pInfo) override;
    virtual void OnDone(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget,
                        CVLCallbackInfo* pInfo) override;
    virtual void OnStop(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget,
                        CVLCallbackInfo* pInfo) override;
    virtual void OnTimeout(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget,
                           CVLCallbackInfo* pInfo) override;
    virtual void OnException(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget,
                             CVLCallbackInfo* pInfo) override;
    virtual void SetCallback(VLCM_LISTENER_CALLBACK pCallback);
    virtual void SetUserData(void* pUserData);
    virtual void OnProgress(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget,
                            CVLCallbackInfo* pInfo) override;

protected:
    void Forward(int32_t nKind, CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget,
                 CVLCallbackInfo* pInfo);

    VLCM_LISTENER_CALLBACK m_pCallback;
    void* m_pUserData;
};

#endif
