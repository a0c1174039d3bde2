#include "modules/probe/VLProbe.h"

#include <cstdint>
#include <new>

#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "modules/probe/VLProbeRecvThread.h"
#include "base/core/VLAlreadyExecException.h"
#include "base/core/VLException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLNullObjectException.h"
#include "base/core/VLStartThreadException.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "base/core/VLUnexpectedException.h"
#include "base/core/VLUnsupportedException.h"

#define VLMDPROBE_MODULE "VLMDProbe"
const char* const s_szFile = "VLProbe";

namespace {
// The one method this module carries out.
const char* const kMethodProbe = "Probe";

unsigned int TracePointer(const void* p)
{
    return static_cast<unsigned int>(reinterpret_cast<uintptr_t>(p));
}
}  // namespace

CVLProbe::CVLProbe()
{
}

CVLProbe::~CVLProbe()
{
}

void CVLProbe::DestroyInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    (void)pInstance, (void)pParams;
    try {
        removeAllThread();
    }
    VL_CATCH_LADDER(VLMDPROBE_MODULE, s_szFile)
}

void CVLProbe::CallMethod(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    static const char* const kSignature =
        "void CVLProbe::CallMethod(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)";
    try {
        if (pInstance == nullptr || pParams == nullptr)
            throw new EVLNullObjectException(VLMDPROBE_MODULE, s_szFile, __LINE__);
        CVLTrace::OutputFunction(VLMDPROBE_MODULE, s_szFile, __LINE__, kSignature, "Instance=%08x, MethodName=%s",
                                 TracePointer(pInstance), pParams->GetMethodName().GetBuffer());
        if (!(pParams->GetMethodName() == kMethodProbe))
            throw new EVLUnsupportedException(VLMDPROBE_MODULE, s_szFile, __LINE__,
                                              pParams->GetMethodName().GetBuffer());
        Probe(pInstance, pParams);
    }
    VL_CATCH_LADDER(VLMDPROBE_MODULE, s_szFile)
}

void CVLProbe::Stop(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    static const char* const kSignature =
        "void CVLProbe::Stop(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)";
    try {
        CVLTrace::OutputFunction(VLMDPROBE_MODULE, s_szFile, __LINE__, kSignature, "Instance=%08x, MethodName=%s",
                                 TracePointer(pInstance),
                                 pParams != nullptr ? pParams->GetMethodName().GetBuffer() : "");
        removeAllThread();
    }
    VL_CATCH_LADDER(VLMDPROBE_MODULE, s_szFile)
}

void CVLProbe::Probe(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    try {
        if (pInstance == nullptr || pParams == nullptr)
            throw new EVLNullObjectException(VLMDPROBE_MODULE, s_szFile, __LINE__);
        // The lock is held for the whole walk: a second probe would replace
        // the running threads' map entries and lose them while they run.
        CVLThreadLock lock(&m_ThreadSync);
        if (!lock.Lock())
            return;
        if (!m_ThreadMap.empty())
            throw new EVLAlreadyExecException(VLMDPROBE_MODULE, s_szFile, __LINE__, kMethodProbe);
        long nChildren = 0;
        for (CVLModuleInstanceIterator it = pInstance->Begin(); !it.IsEnd(); it.Next())
            nChildren++;
        {
            CVLThreadLock statusLock(&m_SendStatusSync);
            if (statusLock.Lock()) {
                m_SendStatus = VLPROBE_SEND_STATUS();
                m_SendStatus.nChildren = nChildren;
                m_LostByChild.clear();
                m_DeafChildren.clear();
            }
        }
        IVLFunctionListener* pListener = pParams->GetListener();
        CVLModuleController* pController = pParams->GetController();
        for (CVLModuleInstanceIterator it = pInstance->Begin(); !it.IsEnd(); it.Next()) {
            CVLModuleInstance* pChild = it.Get();
            try {
                CVLProbeRecvThread* pThread = new (std::nothrow) CVLProbeRecvThread(pParams, pChild, this);
                if (pThread == nullptr)
                    throw new EVLMemoryAllocException(VLMDPROBE_MODULE, s_szFile, __LINE__);
                try {
                    m_ThreadMap[pChild] = pThread;
                } catch (...) {
                    delete pThread;
                    throw new EVLMemoryAllocException(VLMDPROBE_MODULE, s_szFile, __LINE__);
                }
                // A thread that fails to start stays in the map; the next
                // removeAllThread deletes it with the others.
                pThread->Start(nullptr);
            } catch (EVLException* pException) {
                // Without its thread the child neither sends nor hears anything.
                if (EVLStartThreadException* pStart = dynamic_cast<EVLStartThreadException*>(pException))
                    OnDeafChild(pChild, pStart->GetErrorNumber());
                if (pListener == nullptr || pController == nullptr)
                    throw;
                pController->PostCallbackException(pInstance, pParams, pParams->GetTarget(), pException);
            } catch (...) {
                throw new EVLUnexpectedException(VLMDPROBE_MODULE, s_szFile, __LINE__);
            }
        }
    }
    VL_CATCH_LADDER(VLMDPROBE_MODULE, s_szFile)
}

void CVLProbe::SendAgain()
{
    CVLThreadLock lock(&m_ThreadSync);
    if (!lock.Lock())
        return;
    for (auto& entry : m_ThreadMap)
        entry.second->AskRound();
}

int CVLProbe::GetThreadCount()
{
    CVLThreadLock lock(&m_ThreadSync);
    return lock.Lock() ? static_cast<int>(m_ThreadMap.size()) : 0;
}

VLPROBE_SEND_STATUS CVLProbe::GetSendStatus()
{
    VLPROBE_SEND_STATUS status;
    std::map<CVLModuleInstance*, SChildLoss> losses;
    {
        CVLThreadLock lock(&m_SendStatusSync);
        if (!lock.Lock())
            return VLPROBE_SEND_STATUS();
        status = m_SendStatus;
        losses = m_LostByChild;
        status.nDeaf = static_cast<long>(m_DeafChildren.size());
    }
    // Read without the lock: a receiver's count may wait for its send.
    for (const auto& entry : losses) {
        unsigned long nLost = entry.second.nLost;
        if (entry.second.bSent) {
            // A smaller count is of sockets opened anew: the thread's stands.
            unsigned long nDrops = CVLProbeRecvThread::ReadDropCount(entry.first);
            if (nDrops >= entry.second.nDropsAtLastSend && nDrops - entry.second.nDropsAtLastSend > nLost)
                nLost = nDrops - entry.second.nDropsAtLastSend;
        }
        status.nLost += nLost;
    }
    return status;
}

void CVLProbe::OnChildSend(CVLModuleInstance* pChild, unsigned long nDrops)
{
    CVLThreadLock lock(&m_SendStatusSync);
    if (!lock.Lock())
        return;
    SChildLoss& loss = m_LostByChild[pChild];
    loss.nLost = 0;
    loss.bSent = true;
    loss.nDropsAtLastSend = nDrops;
}

void CVLProbe::OnDeafChild(CVLModuleInstance* pChild, long nError)
{
    CVLThreadLock lock(&m_SendStatusSync);
    if (lock.Lock() && m_DeafChildren.insert(pChild).second && m_DeafChildren.size() == 1)
        m_SendStatus.nDeafError = nError;
}

void CVLProbe::OnReceiveLoss(CVLModuleInstance* pChild, unsigned long nLost)
{
    CVLThreadLock lock(&m_SendStatusSync);
    if (lock.Lock())
        m_LostByChild[pChild].nLost = nLost;
}

void CVLProbe::OnSendResult(bool bSent, long nError, const std::string& strRefusal)
{
    CVLThreadLock lock(&m_SendStatusSync);
    if (!lock.Lock())
        return;
    if (bSent) {
        m_SendStatus.nSent++;
        return;
    }
    if (m_SendStatus.nFailed++ == 0) {
        m_SendStatus.nFirstError = nError;
        m_SendStatus.strFirstRefusal = strRefusal;
    }
}

void CVLProbe::removeAllThread()
{
    CVLThreadLock lock(&m_ThreadSync);
    if (!lock.Lock())
        return;
    // Every thread is asked first, so that they end side by side.
    for (auto& entry : m_ThreadMap)
        entry.second->SetRequestEnd(true);
    for (auto& entry : m_ThreadMap) {
        entry.second->End();
        delete entry.second;
        entry.second = nullptr;
    }
    m_ThreadMap.clear();
}
