#include "ecm/probe/VLECMUnicastChecks.h"

#include <algorithm>
#include <climits>

#include "base/core/VLCharset.h"
#include "base/core/VLCommunicationException.h"
#include "base/core/VLErrorResultException.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLTrace.h"
#include "cm/VLCMDefs.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParam.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProperty.h"
#include "cm/VLRefusedRequestException.h"
#include "cm/VLTargetLock.h"
#include "ecm/core/VLECMModuleCalls.h"
#include "ecm/core/VLECMPrivate.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "modules/sock/VLSockShared.h"

const char* const s_szFile = "VLECMUnicastChecks";

namespace {
// The function that carries the unicast commands, and its request and
// receive methods, which a check calls apart.
const char kUnicastFunctionName[] = "VLPC_Unicast";
const char kSendMethod[] = "Send";
const char kReceiveMethod[] = "Recv";
// A look for the reply takes what has come and does not wait.
const long kReceiveMilliseconds = 1;
// A send is not paused and retried inside the socket module, which would
// hold up every check on this thread: the check retries it on its schedule.
const long kSendAttempts = 1;

// The address a record's reply came from.
CVLString AddressOf(CVLECMNIFInfo* pNIFInfo)
{
    CVLTargetLock lock(pNIFInfo);
    CVLProperty* pProperty = pNIFInfo->GetProperties()->GetProperty("IPAddress", false);
    return pProperty != nullptr ? pProperty->ToString("") : CVLString(VL_CHARSET_UTF8);
}
}  // namespace

CVLECMUnicastChecks::CVLECMUnicastChecks()
    : m_pBusy(nullptr), m_nCancelsWaiting(0), m_nLost(0), m_nSharedDropsCounted(0), m_strNamedAddress(VL_CHARSET_UTF8),
      m_bStarted(false), m_bEnd(false)
{
}

CVLECMUnicastChecks::~CVLECMUnicastChecks()
{
}

bool CVLECMUnicastChecks::Begin(CVLECMNIFInfo* pNIFInfo)
{
    if (pNIFInfo == nullptr)
        return false;
    CVLString strAddress = AddressOf(pNIFInfo);
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_bEnd)
        return false;
    for (const SCheck& check : m_Checks) {
        if (check.pNIFInfo == pNIFInfo)
            return false;
    }
    if (!m_bStarted) {
        try {
            Start(nullptr);
        } catch (...) {
            ReleaseCurrentException();
            return false;
        }
        m_bStarted = true;
        m_nLost = 0;
        m_nSharedDropsCounted = CVLSockShared::GetDropCount();
    }
    // The named address's check is first in line, the others in turn.
    const bool bNamed = m_strNamedAddress.GetLength() > 0 && strAddress == m_strNamedAddress;
    auto it = m_Checks.emplace(bNamed ? m_Checks.begin() : m_Checks.end());
    it->pNIFInfo = pNIFInfo;
    it->bNamed = bNamed;
    it->nSharedDropsBefore = CVLSockShared::GetDropCount();
    m_Wake.notify_all();
    return true;
}

bool CVLECMUnicastChecks::Cancel(CVLECMNIFInfo* pNIFInfo)
{
    SCheck check;
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        // The thread never waits for itself, nor takes away the check it
        // works on.
        if (std::this_thread::get_id() == m_ThreadId) {
            if (m_pBusy == pNIFInfo)
                return false;
        } else if (m_pBusy == pNIFInfo) {
            // Only the busy record's Cancel holds up the thread: waking it
            // for every other one would have it look over all the checks
            // for each record a stop cancels.
            ++m_nCancelsWaiting;
            m_Idle.wait(lock, [&]() { return m_pBusy != pNIFInfo; });
            if (--m_nCancelsWaiting == 0)
                m_Wake.notify_all();
        }
        auto it = std::find_if(m_Checks.begin(), m_Checks.end(),
                               [&](const SCheck& entry) { return entry.pNIFInfo == pNIFInfo; });
        if (it == m_Checks.end())
            return false;
        check = *it;
        m_Checks.erase(it);
    }
    finish(check, VLECM_RESULT_STOPPED, 0);
    return true;
}

void CVLECMUnicastChecks::Shutdown()
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bEnd = true;
        m_Wake.notify_all();
    }
    End();
    std::list<SCheck> left;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        left.swap(m_Checks);
        m_bStarted = false;
        m_bEnd = false;
    }
    // Records still here are alive: a record cancels its check before it goes.
    for (SCheck& check : left)
        finish(check, VLECM_RESULT_STOPPED, 0);
}

void CVLECMUnicastChecks::SetNamedAddress(const CVLString& strAddress)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_strNamedAddress = strAddress;
}

int CVLECMUnicastChecks::GetCount()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return static_cast<int>(m_Checks.size());
}

unsigned long CVLECMUnicastChecks::GetLostCount()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_nLost;
}

void CVLECMUnicastChecks::ResetLostCount()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_nLost = 0;
    m_nSharedDropsCounted = CVLSockShared::GetDropCount();
}

void CVLECMUnicastChecks::OnSockArrival(CVLSock* pSock)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    for (SCheck& check : m_Checks) {
        if (check.pSock == pSock) {
            check.bArrived = true;
            m_Wake.notify_all();
        }
    }
}

void CVLECMUnicastChecks::OnThread(void* pData)
{
    (void)pData;
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_ThreadId = std::this_thread::get_id();
    while (!m_bEnd) {
        Clock::time_point now = Clock::now();
        Clock::time_point next = Clock::time_point::max();
        auto work = m_Checks.end();
        EStep eStep = STEP_SEND;
        // While the shared send buffer is full, no check but the named
        // one begins, and none sends again for room before m_RoomAt.
        const bool bRoom = m_RoomAt <= now;
        for (auto it = m_Checks.begin(); it != m_Checks.end(); ++it) {
            SCheck& check = *it;
            EStep eNext = STEP_SEND;
            if (!bRoom && !check.bNamed && (check.pInstance == nullptr || check.bWaitsForRoom)) {
                next = std::min(next, m_RoomAt);
                continue;
            }
            if (check.pInstance == nullptr) {
                eNext = STEP_SEND;
            } else if (check.deadline <= now) {
                // Before what arrived: a flood must not hold a check past
                // its end.
                eNext = STEP_TRY_OVER;
            } else if (check.bArrived || (check.pSock == nullptr && check.look <= now)) {
                eNext = STEP_RECEIVE;
            } else {
                next = std::min(next, check.deadline);
                if (check.pSock == nullptr)
                    next = std::min(next, check.look);
                continue;
            }
            work = it;
            eStep = eNext;
            break;
        }
        if (work == m_Checks.end()) {
            if (next == Clock::time_point::max())
                m_Wake.wait(lock);
            else
                m_Wake.wait_until(lock, next);
            continue;
        }
        // Each check in turn: the one served goes to the back, but the
        // named one stays first.
        if (!work->bNamed)
            m_Checks.splice(m_Checks.end(), m_Checks, work);
        if (eStep == STEP_RECEIVE)
            work->bArrived = false;
        m_pBusy = work->pNIFInfo;
        lock.unlock();
        bool bOver = true;
        try {
            bOver = runStep(work, eStep);
        } catch (...) {
            ReleaseCurrentException();
            // The record's command ends whatever went wrong.
            try {
                finish(*work, VLECM_RESULT_UNEXPECTED, 0);
            } catch (...) {
                ReleaseCurrentException();
            }
        }
        lock.lock();
        if (bOver)
            m_Checks.erase(work);
        m_pBusy = nullptr;
        m_Idle.notify_all();
        // A Cancel waiting for the record goes first: a check that a flood
        // keeps busy would otherwise be taken up again at once, and its
        // Cancel wait for its end.
        m_Wake.wait(lock, [this]() { return m_nCancelsWaiting == 0; });
    }
    m_ThreadId = std::thread::id();
}

bool CVLECMUnicastChecks::runStep(std::list<SCheck>::iterator it, EStep eStep)
{
    SCheck& check = *it;
    long nDeviceResult = 0;
    if (eStep == STEP_SEND) {
        CVLModuleParamCollection params;
        CVLString strPacketList(VL_CHARSET_UTF8);
        check.pNIFInfo->getUnicastParams(VLECM_COMMAND_CHECK_UNICAST, params, strPacketList);
        // The time-out and tries are the check's, read as the unicast
        // function reads them; the steps below keep them.
        long nTimeout = static_cast<long>(params.GetParam(VLCM_PARAM_TIMEOUT, true)->ToLong(0));
        long nTries = static_cast<long>(params.GetParam(VLCM_PARAM_RETRY, true)->ToLong(1));
        check.nTimeout = std::min(std::max(nTimeout, 1L), static_cast<long>(INT_MAX));
        check.nTries = static_cast<int>(std::min(std::max(nTries, 1L), static_cast<long>(INT_MAX)));
        check.nTriesLeft = check.nTries - 1;
        // The checks share their socket instead of having one each; the
        // named address's has one of its own, which no other request fills.
        if (!check.bNamed)
            CVLSock::AskShared(&params);
        CVLSock::SetSendAttempts(&params, kSendAttempts);
        check.pController = check.pNIFInfo->GetModuleController();
        if (check.pController == nullptr) {
            finish(check, VLECM_RESULT_NOT_INITIALIZED, 0);
            return true;
        }
        try {
            check.pInstance =
                CVLECMModuleCalls::CreateInstance(check.pController, check.pNIFInfo, kUnicastFunctionName, &params,
                                                  CVLECMNIFInfo::GetCommandName(VLECM_COMMAND_CHECK_UNICAST));
        } catch (EVLException* pException) {
            check.eLack = CVLECMNIFInfo::LackOf(pException);
            finish(check, CVLECMNIFInfo::ResultFromException(pException), 0);
            return true;
        }
        if (check.pInstance == nullptr) {
            finish(check, VLECM_RESULT_NOT_SUPPORTED, 0);
            return true;
        }
        CVLModuleParamCollection* pParams = check.pInstance->GetParams();
        pParams->SetPacketListName(TextOf(strPacketList));
        pParams->GetParam(VLCM_PARAM_PACKET_LIST_NAME, true)->SetString(TextOf(strPacketList), VL_CHARSET_UTF8);
        // A socket that tells of arrivals is heard from before the request
        // leaves, so that no reply goes unnoticed.
        CVLSock* pSock = CVLSock::Of(check.pInstance);
        if (pSock != nullptr) {
            pSock->SetArrivalListener(this);
            std::lock_guard<std::mutex> lock(m_Mutex);
            check.pSock = pSock;
        }
        check.pImplementation = pSock;
        bool bOver = !send(check);
        // A socket the definitions keep from sharing tells nothing: it is
        // looked at in turn.
        if (!bOver && pSock != nullptr && !pSock->IsShared()) {
            std::lock_guard<std::mutex> lock(m_Mutex);
            check.pSock = nullptr;
        }
        check.look = Clock::now();
        return bOver;
    }
    if (eStep == STEP_RECEIVE) {
        if (lookOnce(check))
            return true;
        check.look = Clock::now() + std::chrono::milliseconds(kLookMilliseconds);
        // What the look left queued is looked at again at once.
        if (check.pSock != nullptr && check.pSock->GetQueuedDatagramCount() > 0) {
            std::lock_guard<std::mutex> lock(m_Mutex);
            check.bArrived = true;
        }
        return false;
    }
    // A send that met "host unreachable" goes again, in the same try.
    if (check.bSendAgain)
        return !send(check);
    // What came before the deadline is judged before the try is over, even
    // when the thread comes late: no more than the check's queue held then,
    // or one look at a socket that does not tell.
    int nLooks = check.pSock != nullptr ? check.pSock->GetQueuedDatagramCount() : 1;
    for (; nLooks > 0; --nLooks) {
        if (check.pSock != nullptr && check.pSock->GetQueuedDatagramCount() == 0)
            break;
        if (lookOnce(check))
            return true;
    }
    // The try's end: an error reply heard in it (which names no device) is
    // the device's answer, as no reply of the device came.
    VLECM_RESULT eResult =
        call(check.pInstance, kReceiveMethod, kReceiveMilliseconds, 1, nDeviceResult, nullptr, kTryOver);
    if (eResult != VLECM_RESULT_TIMEOUT || check.nTriesLeft <= 0) {
        finish(check, eResult, nDeviceResult);
        return true;
    }
    --check.nTriesLeft;
    // Each send has its own sends after "host unreachable".
    check.nUnreachableSends = 0;
    return !send(check);
}

bool CVLECMUnicastChecks::lookOnce(SCheck& check)
{
    long nDeviceResult = 0;
    VLECM_RESULT eResult =
        call(check.pInstance, kReceiveMethod, kReceiveMilliseconds, 1, nDeviceResult, nullptr, kLook);
    if (eResult == VLECM_RESULT_TIMEOUT)
        return false;
    finish(check, eResult, nDeviceResult);
    return true;
}

bool CVLECMUnicastChecks::send(SCheck& check)
{
    long nDeviceResult = 0;
    long nSystemError = 0;
    CVLSock* pSock = check.pImplementation;
    unsigned long nWritesBefore = pSock != nullptr ? pSock->GetWriteCount() : 0;
    VLECM_RESULT eResult = call(check.pInstance, kSendMethod, check.nTimeout, check.nTries, nDeviceResult,
                                &nSystemError, kToItsEnd, &check.eLack, &check.strRefusal);
    check.bSendAgain = false;
    if (eResult != VLECM_RESULT_SUCCESS && pSock != nullptr && pSock->WasSendBufferFull()) {
        // No room in the shared send buffer (requests to absent addresses
        // fill it until the system gives them up): sent again in turn once
        // there may be room, for no longer than the check's whole time in
        // all, counted once from its first full buffer.
        Clock::time_point now = Clock::now();
        if (!check.bRoomBySet) {
            check.bRoomBySet = true;
            check.roomBy = now + std::chrono::milliseconds(static_cast<long long>(check.nTimeout) * check.nTries);
        }
        if (now < check.roomBy) {
            check.bWaitsForRoom = true;
            check.bSendAgain = true;
            m_RoomAt = now + std::chrono::milliseconds(kRoomMilliseconds);
            check.deadline = m_RoomAt;
            return true;
        }
    }
    check.bWaitsForRoom = false;
    if (eResult != VLECM_RESULT_SUCCESS) {
        // Retried as the socket module retries a send, but after a pause
        // on this thread's schedule rather than in a sleep that would hold
        // up every other check. The count is the definitions' once the
        // socket has opened (it reads them then), so it is read only now.
        if (nSystemError != 0 && pSock != nullptr && pSock->IsRetryForWriteError(nSystemError) &&
            ++check.nUnreachableSends < pSock->GetDefinedError65RetryCount()) {
            check.bSendAgain = true;
            check.deadline = Clock::now() + std::chrono::milliseconds(pSock->GetDefinedError65RetryPause());
            return true;
        }
        finish(check, eResult, nDeviceResult);
        return false;
    }
    // Nothing left: the definitions passed the check over (the device's
    // version, or a condition), and the chain goes on as if it passed.
    if (pSock != nullptr && pSock->GetWriteCount() == nWritesBefore) {
        finish(check, VLECM_RESULT_SUCCESS, 0);
        return false;
    }
    check.deadline = Clock::now() + std::chrono::milliseconds(check.nTimeout);
    return true;
}

VLECM_RESULT CVLECMUnicastChecks::call(CVLModuleInstance* pInstance, const char* szMethod, long nTimeout, int nRetry,
                                       long& nDeviceResult, long* pSystemError, int eRead, VLECM_LACK* pLack,
                                       std::string* pRefusal)
{
    try {
        CVLModuleParamCollection* pParams = pInstance->GetParams();
        pParams->SetMethodName(szMethod);
        pParams->GetParam(VLCM_PARAM_TIMEOUT, true)->SetLong(nTimeout);
        pParams->GetParam(VLCM_PARAM_RETRY, true)->SetLong(nRetry);
        pParams->GetParam(VLCM_PARAM_LOOK, true)->SetBool(eRead == kLook);
        pParams->GetParam(VLCM_PARAM_TRY_OVER, true)->SetBool(eRead == kTryOver);
        pInstance->CallMethod();
        return VLECM_RESULT_SUCCESS;
    } catch (EVLException* pException) {
        if (EVLErrorResultException* pError = dynamic_cast<EVLErrorResultException*>(pException))
            nDeviceResult = static_cast<long>(pError->GetResultCode());
        if (EVLCommunicationException* pFailed = dynamic_cast<EVLCommunicationException*>(pException)) {
            if (pSystemError != nullptr)
                *pSystemError = static_cast<long>(pFailed->GetSystemErrorCode());
        }
        if (pLack != nullptr)
            *pLack = CVLECMNIFInfo::LackOf(pException);
        EVLRefusedRequestException* pRefused = dynamic_cast<EVLRefusedRequestException*>(pException);
        if (pRefused != nullptr && pRefusal != nullptr)
            *pRefusal = TextOf(pRefused->GetReason());
        return CVLECMNIFInfo::ResultFromException(pException);
    } catch (...) {
        ReleaseCurrentException();
        return VLECM_RESULT_UNEXPECTED;
    }
}

void CVLECMUnicastChecks::finish(SCheck& check, VLECM_RESULT eResult, long nDeviceResult)
{
    // What reached its socket, counted on every path: the named address's
    // own socket tells of no arrivals, yet its check must say what it heard
    // as a shared one does.
    const bool bHeard = check.pImplementation != nullptr && check.pImplementation->GetHeardCount() > 0;
    check.pImplementation = nullptr;
    if (check.pInstance != nullptr) {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            // Only what was dropped while a check waited in vain may have
            // been its device's answer; each shared drop counts once.
            if (eResult != VLECM_RESULT_SUCCESS && eResult != VLECM_RESULT_STOPPED) {
                unsigned long nShared = CVLSockShared::GetDropCount();
                if (nShared > m_nSharedDropsCounted && nShared > check.nSharedDropsBefore)
                    m_nLost += nShared - std::max(m_nSharedDropsCounted, check.nSharedDropsBefore);
                m_nSharedDropsCounted = std::max(m_nSharedDropsCounted, nShared);
                if (check.pSock != nullptr)
                    m_nLost += check.pSock->GetDroppedDatagramCount();
            }
            check.pSock = nullptr;
        }
        try {
            check.pController->DeleteModuleInstance(check.pInstance);
        } catch (...) {
            ReleaseCurrentException();
        }
        check.pInstance = nullptr;
    }
    CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 1, "CVLECMUnicastChecks: CheckUnicast of %s over, eResult=%d",
                     TextOf(check.pNIFInfo->GetMACAddress()), eResult);
    // A request that could not leave for want of a descriptor or a thread
    // is no answer: the check waits for it (the probe defers it).
    check.pNIFInfo->endCheck(eResult, nDeviceResult, bHeard,
                             eResult != VLECM_RESULT_SUCCESS ? check.eLack : VLECM_LACK_NONE, check.strRefusal);
}
