// An instance of the scripted fake module: each method calls the script's
// function. It remembers a stop, and runs work on a thread of its own that
// a stop, its destruction or its deletion joins.
#ifndef FAKEINSTANCE_H
#define FAKEINSTANCE_H

#include <atomic>
#include <functional>
#include <thread>

#include "cm/VLModInstanceIF.h"

class CFakeInstance : public IVLModInstanceIF
{
public:
    typedef std::function<void(CFakeInstance&, CVLModuleInstance*, CVLModuleParamCollection*)> TMethod;

    explicit CFakeInstance(TMethod fnCall = nullptr, TMethod fnStop = nullptr, TMethod fnDestroy = nullptr);
    virtual ~CFakeInstance();
    // fnCreate (SetCreate) first: it may fail the instance's making.
    virtual void CreateInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    void SetCreate(TMethod fnCreate) { m_fnCreate = std::move(fnCreate); }
    virtual void CallMethod(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    virtual void Stop(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    virtual void DestroyInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    // The count fnDropCount gives; 0 without one.
    virtual unsigned long GetReceiveDropCount() override { return m_fnDropCount ? m_fnDropCount() : 0; }
    void SetDropCount(std::function<unsigned long()> fnDropCount) { m_fnDropCount = fnDropCount; }

    // Set before the script's stop runs.
    bool IsStopped() const { return m_bStopped; }
    // Runs fnWork on the instance's thread (one at a time).
    void RunOnThread(std::function<void()> fnWork);

    static std::atomic<int> s_nLive;

private:
    void Join();

    TMethod m_fnCreate;
    TMethod m_fnCall;
    TMethod m_fnStop;
    TMethod m_fnDestroy;
    std::function<unsigned long()> m_fnDropCount;
    std::atomic<bool> m_bStopped{false};
    std::thread m_Thread;
};

#endif
