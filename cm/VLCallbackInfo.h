// One event of a module function, recorded on the thread that produced it and
// delivered later on the dispatching thread. A record copies the texts it
// needs when it is filled, so a listener sees the values of the moment of
// posting. It owns its exception; everything else it points to is borrowed.
#ifndef VLCALLBACKINFO_H
#define VLCALLBACKINFO_H

#include "base/core/VLString.h"
#include "base/core/VLTypes.h"

class CVLCMApi;
class CVLCallbackInfo;
class CVLModuleInstance;
class CVLModuleParamCollection;
class CVLTarget;
class EVLException;
class IVLFunctionListener;
class IVLProgressListener;

// Record kinds; the value selects the listener operation Invoke calls.
enum VLCM_CALLBACK_TYPE
{
    VLCM_CALLBACK_PROBE = 0,
    VLCM_CALLBACK_DONE = 1,
    VLCM_CALLBACK_STOP = 2,
    VLCM_CALLBACK_TIMEOUT = 3,
    VLCM_CALLBACK_PROGRESS = 4,
    VLCM_CALLBACK_EXCEPTION = 5,
    VLCM_CALLBACK_USER = 6
};

// The function of a user record: (id, parameter, the record). Its result is not used.
typedef void (*VLCM_USER_CALLBACK)(long lCallbackId, void* pCallbackParam, CVLCallbackInfo* pInfo);

class CVLCallbackInfo
{
public:
    // A user record (type 6) with nothing set.
    CVLCallbackInfo();
    // Sets the type and target; takes the names (not the pointer) of
    // pInstance, and the call context of pParams (its instance included).
    CVLCallbackInfo(int eType, CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams, CVLTarget* pTarget);
    // Deletes the exception.
    virtual ~CVLCallbackInfo();

    virtual int GetType() const { return m_eType; }
    virtual void SetType(int eType) { m_eType = eType; }
    virtual IVLFunctionListener* GetFunctionListener() const { return m_pFunctionListener; }
    virtual void SetFunctionListener(IVLFunctionListener* p) { m_pFunctionListener = p; }
    virtual IVLProgressListener* GetProgressListener() const { return m_pProgressListener; }
    virtual void SetProgressListener(IVLProgressListener* p) { m_pProgressListener = p; }
    virtual CVLCMApi* GetApi() const { return m_pApi; }
    virtual void SetApi(CVLCMApi* pApi) { m_pApi = pApi; }
    virtual CVLTarget* GetTarget() const { return m_pTarget; }
    virtual void SetTarget(CVLTarget* pTarget) { m_pTarget = pTarget; }
    virtual CVLModuleInstance* GetInstance() const { return m_pInstance; }
    // Stores the instance and, when it is set, copies its module and definition names.
    virtual void SetInstance(CVLModuleInstance* pInstance);
    // Copies the call context of pParams: names, listeners, API object, instance.
    virtual void SetParams(CVLModuleParamCollection* pParams);
    virtual CVLString& GetFunctionName() { return m_strFunctionName; }
    virtual void SetFunctionName(VL_CONST_STR sz) { m_strFunctionName = sz; }
    virtual CVLString& GetPacketListName() { return m_strPacketListName; }
    virtual void SetPacketListName(VL_CONST_STR sz) { m_strPacketListName = sz; }
    virtual CVLString& GetModuleName() { return m_strModuleName; }
    virtual void SetModuleName(VL_CONST_STR sz) { m_strModuleName = sz; }
    virtual CVLString& GetInstanceName() { return m_strInstanceName; }
    virtual void SetInstanceName(VL_CONST_STR sz) { m_strInstanceName = sz; }
    virtual CVLString& GetExtraText() { return m_strExtraText; }
    virtual void SetExtraText(VL_CONST_STR sz) { m_strExtraText = sz; }
    virtual bool IsMarge() const { return m_bMarge; }
    virtual void SetMarge(bool bMarge) { m_bMarge = bMarge; }
    virtual EVLException* GetException() const { return m_pException; }
    // Takes ownership of pException; an exception stored before is deleted.
    virtual void SetException(EVLException* pException);
    virtual CVLString& GetEventCode() { return m_strEventCode; }
    virtual void SetEventCode(VL_CONST_STR sz) { m_strEventCode = sz; }
    virtual VL_SIZE_T GetProgressValue() const { return m_nProgressValue; }
    virtual void SetProgressValue(VL_SIZE_T nValue) { m_nProgressValue = nValue; }
    // The bytes the queue counted for the record when it was queued, which
    // it takes off again when the record leaves.
    size_t GetQueuedBytes() const { return m_nQueuedBytes; }
    void SetQueuedBytes(size_t nBytes) { m_nQueuedBytes = nBytes; }
    virtual void SetUserCallback(VLCM_USER_CALLBACK pCallback, long lCallbackId, void* pCallbackParam);
    virtual void* GetCallbackParam() const { return m_pCallbackParam; }
    // Calls the user function (type 6), or the listener operation of the
    // type. What a listener throws passes to the caller.
    virtual void Invoke();

private:
    // A record owns its exception, so a copy would delete it a second time.
    CVLCallbackInfo(const CVLCallbackInfo&) = delete;
    CVLCallbackInfo& operator=(const CVLCallbackInfo&) = delete;

    int m_eType;
    IVLFunctionListener* m_pFunctionListener;
    IVLProgressListener* m_pProgressListener;
    CVLCMApi* m_pApi;
    CVLModuleInstance* m_pInstance;
    CVLTarget* m_pTarget;
    CVLString m_strFunctionName;
    CVLString m_strPacketListName;
    CVLString m_strModuleName;
    CVLString m_strInstanceName;
    CVLString m_strExtraText;
    bool m_bMarge;
    EVLException* m_pException;
    CVLString m_strEventCode;
    VL_SIZE_T m_nProgressValue;
    size_t m_nQueuedBytes = 0;
    VLCM_USER_CALLBACK m_pUserCallback;
    long m_lCallbackId;
    void* m_pCallbackParam;
};

#endif
