#include "modules/sock/VLSock.h"

#include <chrono>
#include <climits>
#include <cstring>
#include <new>

#include "base/core/VLCommunicationException.h"
#include "base/core/VLLockException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLOpenException.h"
#include "base/core/VLStopFunctionException.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTimeoutException.h"
#include "base/core/VLTrace.h"
#include "base/core/VLUnsupportedException.h"
#include "base/thread/VLThread.h"
#include "cm/VLCMDefs.h"
#include "cm/VLModInstanceInfo.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetLock.h"
#include "modules/sock/VLSockRecvThread.h"
#include "modules/sock/VLSockShared.h"
#include "script/VLScriptCollection.h"
#include "script/VLScriptParams.h"

namespace {

const char* const s_szFile = "VLSock";
const char kAnyAddress[] = "0.0.0.0";
// A UDP socket's receive buffer is raised to at least this.
const int kUdpRecvBufferSize = 65536;
// The receive buffer asked for a broadcast socket, which every device on the
// network answers at once: room for thousands of replies while the reader
// catches up.
const int kBroadcastRecvBufferSize = 4 * 1024 * 1024;
const int kDefaultTTL = 128;
const int kDefaultTimeout = 10000;
const int kDefaultRecvInterval = 100;
const int kDefaultError65RetryCount = 5;
const int kDefaultError65RetryInterval = 200;
// EHOSTUNREACH as a BSD error number, which the definitions test, reported
// when the open retries run out.
const VL_LONG kHostUnreachable = 65;
// A retry pause is this many sleeps of the retry interval, each followed by
// a stop check.
const int kRetrySleeps = 5;
// Longest single wait of a reader, so that a close or stop is seen soon.
const int kWaitSliceMs = 100;
// A close that finds another under way looks again this often.
const int kReadingPollMs = 60;
// Received datagrams kept for Read; beyond this the oldest is dropped.
const size_t kRecvQueueLimit = 1024;
// The largest UDP payload: datagrams are received whole and dropped when
// they do not fit the reader's buffer, instead of being cut.
const int kMaxDatagram = 65536;
// Names the module reads as definition constants and as call parameters;
// callers set them through AskShared and SetSendAttempts.
const char kSocketModeName[] = "socketMode";
const char kSharedMode[] = "shared";
const char kError65RetryCountName[] = "Error_65_RetryCount";

int ToMode(const CVLString& str, int nOld)
{
    if (str.CompareNoCase("single") == 0)
        return VLMDSOCK_MODE_SINGLE;
    if (str.CompareNoCase("multi") == 0)
        return VLMDSOCK_MODE_MULTI;
    if (str.CompareNoCase("multiSelect") == 0)
        return VLMDSOCK_MODE_MULTISELECT;
    if (str.CompareNoCase(kSharedMode) == 0)
        return VLMDSOCK_MODE_SHARED;
    return nOld;
}

int ToProtocol(const CVLString& str, int nOld)
{
    if (str.CompareNoCase("udp") == 0)
        return VLMDSOCK_PROTOCOL_UDP;
    if (str.CompareNoCase("tcp") == 0)
        return VLMDSOCK_PROTOCOL_TCP;
    if (str.CompareNoCase("ipx") == 0)
        return VLMDSOCK_PROTOCOL_IPX;
    return nOld;
}

int ToCastType(const CVLString& str, int nOld)
{
    if (str.CompareNoCase("unicast") == 0)
        return VLMDSOCK_CAST_UNICAST;
    if (str.CompareNoCase("broadcast") == 0)
        return VLMDSOCK_CAST_BROADCAST;
    if (str.CompareNoCase("multicast") == 0)
        return VLMDSOCK_CAST_MULTICAST;
    return nOld;
}

int ParamLong(CVLModuleParamCollection* pParams, const char* szName, int nDefault, bool* pbFound = nullptr)
{
    CVLModuleParam* p = pParams != nullptr ? pParams->Find(szName) : nullptr;
    if (pbFound != nullptr)
        *pbFound = p != nullptr;
    return p != nullptr ? static_cast<int>(p->ToLong(nDefault)) : nDefault;
}

CVLString ParamText(CVLModuleParamCollection* pParams, const char* szName)
{
    CVLModuleParam* p = pParams != nullptr ? pParams->Find(szName) : nullptr;
    return p != nullptr ? p->ToString("") : CVLString();
}

// The second address a unicast request's replies may come from, in network
// order: 0 when the call names none, or names what is no dotted quad (a
// name is never looked up).
uint32_t AlsoRepliesFrom(CVLModuleParamCollection* pParams)
{
    CVLString strAddress = ParamText(pParams, VLCM_PARAM_ALSO_REPLIES_FROM);
    unsigned char bytes[4];
    uint32_t nAddress = 0;
    if (strAddress.GetLength() > 0 && CVLSocketAddress::ParseDottedQuad(strAddress.GetString(), bytes))
        std::memcpy(&nAddress, bytes, sizeof(nAddress));
    return nAddress;
}

// The address text of a property: the host of a socket address, else its text.
CVLString AddressText(const CVLProperty* p)
{
    if (p->GetType() == VL_VARIANT_TYPE_SOCKET_ADDRESS)
        return p->GetSocketAddress().GetHost();
    return p->ToString("");
}

long long NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Milliseconds until the deadline, from 0 to the largest int.
int TimeLeft(long long nDeadline)
{
    long long nLeft = nDeadline - NowMs();
    if (nLeft <= 0)
        return 0;
    return nLeft < INT_MAX ? static_cast<int>(nLeft) : INT_MAX;
}

long long Positive(int nValue)
{
    return nValue > 0 ? nValue : 0;
}

void CloseQuietly(CVLSocket* pSocket)
{
    try {
        pSocket->Close();
    } catch (EVLException* e) {
        e->Delete();
    }
}

} // namespace

CVLSock::CVLSock()
    : m_pController(nullptr), m_pInstance(nullptr), m_pParams(nullptr), m_pShared(nullptr), m_pArrivalListener(nullptr),
      m_bOpen(false), m_eProtocol(VLMDSOCK_PROTOCOL_UDP), m_eCastType(VLMDSOCK_CAST_UNICAST),
      m_eSocketMode(VLMDSOCK_MODE_SINGLE), m_nTTL(kDefaultTTL), m_nCurTTL(kDefaultTTL), m_nCurToPort(0), m_nToPort(0),
      m_DestAddress(VLMDSOCK_PROTOCOL_UDP, kAnyAddress, 0), m_nPort(0), m_nCurTimeout(kDefaultTimeout), m_nCurRetry(1),
      m_nTimeout(kDefaultTimeout), m_nRetry(1), m_nRecvInterval(kDefaultRecvInterval), m_bRecvThreadStarted(false),
      m_pSelectedSocket(nullptr), m_bReading(false), m_bStopRequest(false), m_bClosing(false), m_nReadDeadline(-1),
      m_nCurError65RetryCount(kDefaultError65RetryCount), m_nCurError65RetryInterval(kDefaultError65RetryInterval),
      m_nError65RetryCount(kDefaultError65RetryCount), m_nError65RetryInterval(kDefaultError65RetryInterval),
      m_nDroppedDatagrams(0)
{
    m_RecvSemaphore.Initialize(0x7FFFFFFF, 0);
}

CVLSock::~CVLSock()
{
    // DestroyInstance closes; this only makes sure nothing is left running.
    try {
        Close();
    } catch (EVLException* e) {
        e->Delete();
    }
}

CVLSock* CVLSock::Of(CVLModuleInstance* pInstance)
{
    if (pInstance == nullptr)
        return nullptr;
    if (CVLSock* pSock = dynamic_cast<CVLSock*>(pInstance->GetImplementation()))
        return pSock;
    CVLModuleInstance* pChild = pInstance->GetFirstChild();
    return pChild != nullptr ? dynamic_cast<CVLSock*>(pChild->GetImplementation()) : nullptr;
}

void CVLSock::AskShared(CVLModuleParamCollection* pParams)
{
    pParams->GetParam(kSocketModeName, true)->SetString(kSharedMode, VL_CHARSET_UTF8);
}

void CVLSock::SetSendAttempts(CVLModuleParamCollection* pParams, long nAttempts)
{
    pParams->GetParam(kError65RetryCountName, true)->SetLong(nAttempts);
}

void CVLSock::CreateInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    try {
        m_pParams = pParams;
        m_pInstance = pInstance;
        m_pController = pParams != nullptr ? pParams->GetController() : nullptr;
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
}

void CVLSock::DestroyInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    (void)pInstance, (void)pParams;
    try {
        Close();
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
}

IVLStream* CVLSock::GetSendStream(CVLModuleParamCollection* pParams)
{
    (void)pParams;
    return this;
}

IVLStream* CVLSock::GetSendStream()
{
    return this;
}

void CVLSock::CallMethod(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    (void)pInstance;
    try {
        CVLString strMethod = pParams != nullptr ? pParams->GetMethodName() : CVLString();
        throw new EVLUnsupportedException(VLMDSOCK_MODULE, s_szFile, __LINE__, strMethod.GetString());
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
}

void CVLSock::Stop(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    try {
        CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1, "Instance=%08x, MethodName=%s",
                         static_cast<unsigned>(reinterpret_cast<uintptr_t>(
                             pInstance != nullptr ? pInstance->GetImplementation() : nullptr)),
                         pParams != nullptr ? pParams->GetMethodName().GetString() : "");
        m_bStopRequest = true;
        Close();
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
}

CVLString CVLSock::GetClassName() const
{
    return CVLString("CVLSock", 72);
}

VL_CONST_STR CVLSock::GetTypeName() const
{
    return "Socket";
}

bool CVLSock::IsOpen()
{
    return m_bOpen;
}

bool CVLSock::IsShared()
{
    CVLThreadLock lock(&m_ThreadSync);
    return lock.Lock() && m_pShared != nullptr;
}

bool CVLSock::IsStopRequested()
{
    return m_bStopRequest;
}

void CVLSock::Flush()
{
}

void CVLSock::Seek(VL_SIZE_T nPosition)
{
    (void)nPosition;
}

VL_SIZE_T CVLSock::GetSize()
{
    return 0;
}

void CVLSock::Clear()
{
}

void CVLSock::Destroy()
{
}

// Parameters ------------------------------------------------------------

bool CVLSock::FindConst(const char* szKey, CVLString& strValue)
{
    if (m_pController == nullptr)
        return false;
    CVLModInstanceInfo* pInfo = m_pInstance != nullptr ? m_pInstance->GetFunctionInfo() : nullptr;
    CVLString strModule = pInfo != nullptr ? pInfo->GetModuleName() : CVLString();
    CVLString strName = pInfo != nullptr ? pInfo->GetName() : CVLString();
    return m_pController->FindConst(szKey, strValue, strModule.GetString(), strName.GetString());
}

void CVLSock::LoadParameters(CVLModuleController* pController, CVLModuleInstance* pInstance,
                             CVLModuleParamCollection* pParams)
{
    (void)pParams;
    m_pController = pController;
    m_pInstance = pInstance;
    CVLString str;
    if (FindConst(kSocketModeName, str))
        m_eSocketMode = ToMode(str, m_eSocketMode);
    if (FindConst("recvInterval", str))
        m_nRecvInterval = static_cast<int>(str.ToLong(0));
    if (FindConst("protocol", str))
        m_eProtocol = ToProtocol(str, m_eProtocol);
    if (FindConst("castType", str))
        m_eCastType = ToCastType(str, m_eCastType);
    m_nTTL = kDefaultTTL;
    if (FindConst(m_eCastType == VLMDSOCK_CAST_MULTICAST ? "TTL_MULTI" : "TTL", str))
        m_nTTL = static_cast<int>(str.ToLong(0));
    m_nError65RetryCount = kDefaultError65RetryCount;
    if (FindConst(kError65RetryCountName, str))
        m_nError65RetryCount = static_cast<int>(str.ToLong(0));
    m_nError65RetryInterval = kDefaultError65RetryInterval;
    if (FindConst("Error_65_RetryInterval", str))
        m_nError65RetryInterval = static_cast<int>(str.ToLong(0));
    if (FindConst("bindAddress", str))
        m_strBindAddress = str;
    if (FindConst("bindAddressPath", str))
        m_strBindAddressPath = str;
    if (FindConst("toAddressPath", str))
        m_strToAddressPath = str;
    if (FindConst("toPortPath", str))
        m_strToPortPath = str;
    if (FindConst("toAddress", str))
        m_strToAddress = str;
    if (FindConst("toPort", str))
        m_nToPort = static_cast<int>(str.ToLong(0));
    if (FindConst("fromAddressPath", str))
        m_strFromAddressPath = str;
    if (FindConst("fromPortPath", str))
        m_strFromPortPath = str;
    if (FindConst("port", str))
        m_nPort = static_cast<int>(str.ToLong(0));
    if (FindConst(VLCM_PARAM_TIMEOUT, str))
        m_nTimeout = static_cast<int>(str.ToLong(0));
    if (FindConst(VLCM_PARAM_RETRY, str))
        m_nRetry = static_cast<int>(str.ToLong(0));
}

int CVLSock::GetTargetLong(const CVLString& strPath, int nDefault, bool* pbFound) const
{
    *pbFound = false;
    CVLTarget* pTarget = m_pParams != nullptr ? m_pParams->GetTarget() : nullptr;
    if (pTarget == nullptr || strPath.GetLength() == 0)
        return nDefault;
    CVLTargetLock lock(pTarget);
    CVLProperty* p = pTarget->GetProperties()->GetProperty(strPath.GetString(), false);
    if (p == nullptr)
        return nDefault;
    *pbFound = true;
    return static_cast<int>(p->ToLong(0));
}

CVLString CVLSock::GetTargetText(const CVLString& strPath) const
{
    CVLTarget* pTarget = m_pParams != nullptr ? m_pParams->GetTarget() : nullptr;
    if (pTarget == nullptr || strPath.GetLength() == 0)
        return CVLString();
    CVLTargetLock lock(pTarget);
    CVLProperty* p = pTarget->GetProperties()->GetProperty(strPath.GetString(), false);
    return p != nullptr ? AddressText(p) : CVLString();
}

void CVLSock::UpdateParameters(CVLModuleParamCollection* pParams)
{
    m_nCurTimeout = ParamLong(pParams, VLCM_PARAM_TIMEOUT, m_nTimeout);
    m_nCurRetry = ParamLong(pParams, VLCM_PARAM_RETRY, m_nRetry);
    m_nCurError65RetryCount = ParamLong(pParams, kError65RetryCountName, m_nError65RetryCount);
    m_nCurError65RetryInterval = ParamLong(pParams, "Error_65_RetryInterval", m_nError65RetryInterval);
    m_nCurTTL = ParamLong(pParams, m_eCastType == VLMDSOCK_CAST_MULTICAST ? "TTL_MULTI" : "TTL", m_nTTL);
    bool bFound = false;
    m_nCurToPort = ParamLong(pParams, "toPort", m_nToPort, &bFound);
    if (!bFound) {
        int nPort = GetTargetLong(m_strToPortPath, 0, &bFound);
        m_nCurToPort = bFound ? nPort : m_nToPort;
    }
    CVLString strBind = ParamText(pParams, "bindAddress");
    if (strBind.GetLength() == 0)
        strBind = GetTargetText(m_strBindAddressPath);
    if (strBind.GetLength() > 0)
        m_strBindAddress = strBind;
    CVLString strTo = ParamText(pParams, "toAddress");
    if (strTo.GetLength() == 0)
        strTo = GetTargetText(m_strToAddressPath);
    if (strTo.GetLength() == 0)
        strTo = m_strToAddress;
    m_DestAddress.Set(m_eProtocol, strTo.GetString(), m_nCurToPort);
}

void CVLSock::setBindAddress(const CVLSocketAddress& bindAddress) const
{
    CVLTarget* pTarget = m_pParams != nullptr ? m_pParams->GetTarget() : nullptr;
    if (pTarget == nullptr || m_strBindAddressPath.GetLength() == 0)
        return;
    CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1, "bindAddress=%s", bindAddress.GetHost().GetString());
    CVLProperty* p = pTarget->GetProperties()->GetProperty(m_strBindAddressPath.GetString(), true);
    if (p != nullptr)
        p->SetSocketAddress(bindAddress);
}

void CVLSock::clearBindAddress() const
{
    CVLTarget* pTarget = m_pParams != nullptr ? m_pParams->GetTarget() : nullptr;
    if (pTarget == nullptr || m_strBindAddressPath.GetLength() == 0)
        return;
    CVLTargetLock lock(pTarget);
    CVLProperty* p = pTarget->GetProperties()->GetProperty(m_strBindAddressPath.GetString(), false);
    if (p != nullptr)
        p->Clear();
}

// Open and close -----------------------------------------------------------

bool CVLSock::AskRetry(const char* szScript, VL_LONG nErrorCode)
{
    CVLModuleController* pController = m_pParams != nullptr ? m_pParams->GetController() : nullptr;
    if (pController == nullptr)
        pController = m_pController;
    // The retry scripts are optional: without one there is no retry, and no
    // script failed.
    if (pController == nullptr || pController->GetScriptCollection().Find(szScript) == nullptr)
        return false;
    CVLScriptParams args;
    args.Add()->SetLong(nErrorCode);
    return pController->CreateScriptExtend(szScript, m_pInstance, m_pParams, &args);
}

bool CVLSock::IsRetryForWriteError(long nErrorCode)
{
    return AskRetry("IsRetryForWriteError", nErrorCode);
}

int CVLSock::GetDefinedError65RetryPause() const
{
    return kRetrySleeps * m_nError65RetryInterval;
}

void CVLSock::RetryPause()
{
    for (int i = 0; i < kRetrySleeps; ++i) {
        CVLThread::Sleep(m_nCurError65RetryInterval);
        if (IsStopRequested())
            throw new EVLStopFunctionException(VLMDSOCK_MODULE, s_szFile, __LINE__);
    }
}

bool CVLSock::OpenPass(const std::vector<CVLSocketAddress>& addresses)
{
    bool bRetry = false;
    for (const CVLSocketAddress& entry : addresses) {
        bool bAny = entry.GetHost().Compare(kAnyAddress) == 0;
        // A single socket bound to a given address serves unicast and
        // broadcast as well; otherwise those use the any address only, and
        // multicast one socket per interface address.
        bool bBound = m_eSocketMode == VLMDSOCK_MODE_SINGLE && !bAny;
        bool bSelected = m_eCastType == VLMDSOCK_CAST_MULTICAST ? !bAny : (bAny || bBound);
        if (!bSelected)
            continue;
        CVLSocket* pSocket = new (std::nothrow) CVLSocket();
        if (pSocket == nullptr)
            throw new EVLMemoryAllocException(VLMDSOCK_MODULE, s_szFile, __LINE__);
        try {
            pSocket->Create(m_eProtocol, m_eProtocol == VLMDSOCK_PROTOCOL_UDP ? kUdpRecvBufferSize : 0, 0);
            if (!pSocket->IsValid())
                throw new EVLCommunicationException(VLMDSOCK_MODULE, s_szFile, __LINE__, 0, entry.GetHost().GetString(),
                                                    false);
            if (DrainsOnThread()) {
                pSocket->RaiseReceiveBuffer(kBroadcastRecvBufferSize);
                if (!pSocket->EnableDropCount())
                    CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1, "no drop count on this system");
            }
            CVLSocketAddress local(entry);
            pSocket->Bind(&local);
            if (m_eCastType == VLMDSOCK_CAST_BROADCAST)
                pSocket->SetBroadcast(m_nCurTTL, true);
            else if (m_eCastType == VLMDSOCK_CAST_MULTICAST)
                pSocket->SetMulticast(m_nCurTTL, entry.GetHost().GetString());
            if (m_eProtocol == VLMDSOCK_PROTOCOL_TCP)
                pSocket->Connect(m_DestAddress);
            m_listSockets.push_back(pSocket);
        } catch (EVLCommunicationException* e) {
            VL_LONG nError = e->GetSystemErrorCode();
            m_nOpenError = nError;
            e->Delete();
            CloseQuietly(pSocket);
            delete pSocket;
            if (AskRetry("IsRetryForOpenError", nError))
                bRetry = true;
        } catch (...) {
            CloseQuietly(pSocket);
            delete pSocket;
            throw;
        }
    }
    return bRetry;
}

void CVLSock::Open(VL_OPEN_MODE eMode)
{
    (void)eMode;
    try {
        if (m_bOpen) {
            UpdateParameters(m_pParams);
            return;
        }
        CVLThreadLock lock(&m_ThreadSync);
        // A close under way on another thread finishes first; until then the
        // instance stays closed.
        if (!lock.Lock() || m_bClosing)
            return;
        m_bRecvThreadStarted = false;
        LoadParameters(m_pController, m_pInstance, m_pParams);
        CVLString strMode = ParamText(m_pParams, kSocketModeName);
        if (strMode.GetLength() > 0)
            m_eSocketMode = ToMode(strMode, m_eSocketMode);
        UpdateParameters(m_pParams);
        // Only a UDP unicast exchange can share: anything else has sockets
        // of its own.
        if (m_eSocketMode == VLMDSOCK_MODE_SHARED) {
            if (m_eProtocol == VLMDSOCK_PROTOCOL_UDP && m_eCastType == VLMDSOCK_CAST_UNICAST) {
                m_pShared = CVLSockShared::Attach(this, m_strBindAddress);
                m_bOpen = true;
                return;
            }
            m_eSocketMode = VLMDSOCK_MODE_SINGLE;
        }
        if (m_eSocketMode == VLMDSOCK_MODE_MULTISELECT) {
            clearBindAddress();
            m_strBindAddress.Empty();
        }
        std::vector<CVLSocketAddress> addresses;
        if (m_eSocketMode == VLMDSOCK_MODE_SINGLE) {
            if (m_strBindAddress.GetLength() == 0)
                addresses.emplace_back(m_eProtocol, kAnyAddress, 0);
            else
                addresses.emplace_back(m_eProtocol, m_strBindAddress.GetString(), m_nPort);
        } else {
            CVLSocketAddress::GetLocalAddresses(addresses);
            for (CVLSocketAddress& address : addresses)
                address.SetProtocol(m_eProtocol);
        }
        // The instance counts as open only once the passes are over, so no
        // reader or writer can use the sockets of a pass that is retried.
        int nLeft = m_nCurError65RetryCount;
        m_nOpenError = 0;
        for (;;) {
            bool bRetry = OpenPass(addresses);
            if (!bRetry) {
                m_bOpen = !m_listSockets.empty();
                if (m_bOpen)
                    m_nOpenError = 0;
                return;
            }
            if (--nLeft < 1) {
                m_bOpen = !m_listSockets.empty();
                throw new EVLOpenException(VLMDSOCK_MODULE, s_szFile, __LINE__, "CVLSock", kHostUnreachable);
            }
            try {
                RetryPause();
            } catch (...) {
                m_bOpen = !m_listSockets.empty();
                throw;
            }
            for (CVLSocket* pSocket : m_listSockets) {
                CloseQuietly(pSocket);
                delete pSocket;
            }
            m_listSockets.clear();
        }
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
}

void CVLSock::Close()
{
    try {
        VLMDSOCK_SOCKET_LIST closing;
        CVLSockShared* pShared = nullptr;
        for (;;) {
            {
                CVLThreadLock lock(&m_ThreadSync);
                if (!lock.Lock())
                    return;
                if (!m_bClosing) {
                    if (!m_bOpen && m_listSockets.empty() && m_pShared == nullptr)
                        return;
                    // New reads and writes fail from here on; readers under
                    // way are woken and waited for before any descriptor is
                    // closed, so no reader ever uses a closed (and perhaps
                    // reused) descriptor.
                    closing.swap(m_listSockets);
                    pShared = m_pShared;
                    m_pShared = nullptr;
                    m_bOpen = false;
                    m_bClosing = true;
                    m_pSelectedSocket = nullptr;
                    break;
                }
            }
            // Another thread is closing: this close ends when that one has.
            std::unique_lock<std::mutex> wait(m_ReadingMutex);
            m_ReadingCond.wait_for(wait, std::chrono::milliseconds(kReadingPollMs), [this]() { return !m_bClosing; });
        }
        // Every receive thread is asked to end before any is joined, and the
        // shut-down sockets wake whoever waits on them at once.
        {
            CVLThreadLock lock(&m_RecvThreadSync);
            if (lock.Lock()) {
                for (CVLSockRecvThread* pThread : m_listRecvThreads)
                    pThread->SetRequestEnd(true);
            }
        }
        for (CVLSocket* pSocket : closing)
            pSocket->Shutdown();
        m_RecvSemaphore.Post();
        stopRecvThreads();
        {
            std::unique_lock<std::mutex> wait(m_ReadingMutex);
            m_ReadingCond.wait(wait, [this]() { return !m_bReading; });
        }
        // No datagram is queued here once this returns.
        CVLSockShared::Detach(pShared, this);
        for (CVLSocket* pSocket : closing) {
            CloseQuietly(pSocket);
            delete pSocket;
        }
        {
            CVLThreadLock lock(&m_ThreadSync);
            if (lock.Lock())
                m_bRecvThreadStarted = false;
            std::lock_guard<std::mutex> wait(m_ReadingMutex);
            m_bClosing = false;
        }
        m_ReadingCond.notify_all();
        // What the sockets received belongs to them: it goes with them.
        DropRecvData();
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
}

void CVLSock::SetLastPacketStatus(VLCM_PACKET_STATUS eStatus)
{
    try {
        CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1, "eStatus=%d", eStatus);
        if (m_eSocketMode != VLMDSOCK_MODE_MULTISELECT || eStatus != VLCM_PACKET_STATUS_ACCEPTED ||
            m_pSelectedSocket == nullptr)
            return;
        // The instance lock first, then the target's, as Open takes them.
        CVLThreadLock lock(&m_ThreadSync);
        if (!lock.Lock() || m_pSelectedSocket == nullptr)
            return;
        CVLSocket* pSelected = m_pSelectedSocket;
        // The other sockets' receive threads end before their sockets close.
        {
            CVLThreadLock threads(&m_RecvThreadSync);
            if (threads.Lock()) {
                for (auto it = m_listRecvThreads.begin(); it != m_listRecvThreads.end();) {
                    if ((*it)->GetSocket() != pSelected) {
                        (*it)->End();
                        delete *it;
                        it = m_listRecvThreads.erase(it);
                    } else {
                        ++it;
                    }
                }
            }
        }
        CVLTargetLock targetLock(m_pParams != nullptr ? m_pParams->GetTarget() : nullptr);
        for (CVLSocket* pSocket : m_listSockets) {
            try {
                if (pSocket == pSelected)
                    setBindAddress(pSocket->GetLocalAddress());
                else
                    pSocket->Close();
            } catch (EVLException* e) {
                e->Delete();
            }
        }
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
}

// Send and receive ---------------------------------------------------------

void CVLSock::Write(const VL_BYTE* pBuffer, VL_SIZE_T nBufferSize)
{
    try {
        if (!IsOpen())
            throw new EVLOpenException(VLMDSOCK_MODULE, s_szFile, __LINE__, "CVLSock", m_nOpenError);
        UpdateParameters(m_pParams);
        CVLThreadLock lock(&m_ThreadSync);
        // A send that cannot happen is a failure, not a quiet success.
        if (!lock.Lock())
            throw new EVLLockException(VLMDSOCK_MODULE, s_szFile, __LINE__);
        if (!m_bOpen)
            throw new EVLOpenException(VLMDSOCK_MODULE, s_szFile, __LINE__, "CVLSock", m_nOpenError);
        // Counted before anything leaves, so that no reply is read before
        // its send is.
        ++m_nWrites;
        m_bSendBufferFull = false;
        const bool bUnicast = m_eProtocol == VLMDSOCK_PROTOCOL_UDP && m_eCastType == VLMDSOCK_CAST_UNICAST;
        m_nRepliesFrom = bUnicast ? CVLSockShared::AddressOf(m_DestAddress) : 0;
        m_nRepliesAlsoFrom = bUnicast ? AlsoRepliesFrom(m_pParams) : 0;
        VLMDSOCK_SOCKET_LIST shared;
        if (m_pShared != nullptr) {
            // The replies to this send are the ones queued here.
            m_pShared->SetDestination(this, m_DestAddress, m_nRepliesAlsoFrom);
            shared.push_back(m_pShared->GetSocket());
        }
        for (CVLSocket* pSocket : m_pShared != nullptr ? shared : m_listSockets) {
            int nLeft = m_nCurError65RetryCount;
            if (!pSocket->IsValid())
                continue;
            for (;;) {
                try {
                    if (m_eProtocol == VLMDSOCK_PROTOCOL_TCP) {
                        pSocket->Send(pBuffer, static_cast<int>(nBufferSize));
                        CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1, "Send:IP address=%s Port=%ld",
                                         m_DestAddress.GetHost().GetString(),
                                         static_cast<long>(m_DestAddress.GetPort()));
                    } else {
                        if (IsLimitedBroadcast()) {
                            pSocket->SendToEachInterface(pBuffer, static_cast<int>(nBufferSize), m_DestAddress);
                        } else if (m_pShared == nullptr) {
                            pSocket->SendTo(pBuffer, static_cast<int>(nBufferSize), m_DestAddress);
                        } else if (!pSocket->TrySendTo(pBuffer, static_cast<int>(nBufferSize), m_DestAddress)) {
                            // The shared buffer is full: the caller sends
                            // again once there is room, on its own schedule.
                            m_bSendBufferFull = true;
                            throw new EVLCommunicationException(VLMDSOCK_MODULE, s_szFile, __LINE__, 0,
                                                                m_DestAddress.GetHost().GetString(), false);
                        }
                        CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1, "SendTo:IP address=%s Port=%ld",
                                         m_DestAddress.GetHost().GetString(),
                                         static_cast<long>(m_DestAddress.GetPort()));
                    }
                    CVLTrace::OutputDump(VLMDSOCK_MODULE, s_szFile, __LINE__, pBuffer, static_cast<int>(nBufferSize));
                    break;
                } catch (EVLCommunicationException* e) {
                    if (m_bSendBufferFull)
                        throw;
                    if (IsStopRequested()) {
                        e->Delete();
                        throw new EVLStopFunctionException(VLMDSOCK_MODULE, s_szFile, __LINE__);
                    }
                    if (!AskRetry("IsRetryForWriteError", e->GetSystemErrorCode()) || --nLeft <= 0) {
                        CVLTrace::OutputException(VLMDSOCK_MODULE, s_szFile, __LINE__, e);
                        throw;
                    }
                    e->Delete();
                    RetryPause();
                }
            }
        }
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
}

VL_SIZE_T CVLSock::Read(VL_BYTE* pBuffer, VL_SIZE_T nBufferSize)
{
    try {
        // Marked before the open state is looked at, so that Close, which
        // clears the state first, either turns this read away or waits for it.
        m_bReading = true;
        // Close waits for the end of a read: it is told, not left to poll.
        struct CReadingMark {
            CVLSock& m_Sock;
            ~CReadingMark()
            {
                {
                    std::lock_guard<std::mutex> lock(m_Sock.m_ReadingMutex);
                    m_Sock.m_bReading = false;
                }
                m_Sock.m_ReadingCond.notify_all();
            }
        } mark{*this};
        if (!IsOpen())
            throw new EVLOpenException(VLMDSOCK_MODULE, s_szFile, __LINE__, "CVLSock", 0);
        UpdateParameters(m_pParams);
        VLMDSOCK_SOCKET_LIST sockets;
        bool bShared = false;
        {
            CVLThreadLock lock(&m_ThreadSync);
            if (lock.Lock()) {
                bShared = m_pShared != nullptr;
                for (CVLSocket* pSocket : m_listSockets) {
                    if (pSocket->IsValid())
                        sockets.push_back(pSocket);
                }
            }
        }
        size_t nThreads = 0;
        {
            CVLThreadLock lock(&m_RecvThreadSync);
            if (lock.Lock())
                nThreads = m_listRecvThreads.size();
        }
        // The shared socket's thread queues what comes for this instance.
        if (bShared)
            return readMulti(pBuffer, nBufferSize, sockets);
        if (sockets.empty())
            throw new EVLOpenException(VLMDSOCK_MODULE, s_szFile, __LINE__, "CVLSock", 0);
        if (sockets.size() == 1 && nThreads == 0 && !m_bRecvThreadStarted && !DrainsOnThread())
            return readSingle(pBuffer, nBufferSize, sockets.front());
        return readMulti(pBuffer, nBufferSize, sockets);
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
}

bool CVLSock::DrainsOnThread() const
{
    return m_eProtocol == VLMDSOCK_PROTOCOL_UDP && m_eCastType == VLMDSOCK_CAST_BROADCAST;
}

bool CVLSock::IsLimitedBroadcast()
{
    // A socket bound to one address sends from it alone, as routed.
    if (m_eProtocol != VLMDSOCK_PROTOCOL_UDP || m_eCastType != VLMDSOCK_CAST_BROADCAST ||
        m_strBindAddress.GetLength() > 0)
        return false;
    const unsigned char* pBytes = m_DestAddress.GetAddressBytes();
    return pBytes != nullptr && pBytes[0] == 255 && pBytes[1] == 255 && pBytes[2] == 255 && pBytes[3] == 255;
}

bool CVLSock::WaitReadable(CVLSocket* pSocket, int nTimeout)
{
    int nLeft = nTimeout < 0 ? 0 : nTimeout;
    for (;;) {
        if (m_bClosing || IsStopRequested())
            return false;
        int nSlice = nLeft < kWaitSliceMs ? nLeft : kWaitSliceMs;
        try {
            pSocket->Select(nSlice, nullptr);
            return true;
        } catch (EVLTimeoutException* e) {
            e->Delete();
        }
        nLeft -= nSlice;
        if (nLeft <= 0)
            return false;
    }
}

void CVLSock::waitRecv(CVLSocket* pSocket)
{
    try {
        // The read's deadline, set once when the read began: datagrams it
        // skips must not start a fresh wait.
        const long long nDeadline = m_nReadDeadline;
        if (pSocket == nullptr) {
            m_RecvSemaphore.Wait(nDeadline < 0 ? m_nCurTimeout : TimeLeft(nDeadline));
        } else if (nDeadline < 0) {
            // "retry" 0: no limit.
            while (!WaitReadable(pSocket, m_nCurTimeout)) {
                if (m_bClosing || IsStopRequested())
                    break;
            }
        } else {
            while (!WaitReadable(pSocket, TimeLeft(nDeadline))) {
                if (m_bClosing || IsStopRequested())
                    break;
                if (TimeLeft(nDeadline) <= 0)
                    throw new EVLTimeoutException(VLMDSOCK_MODULE, s_szFile, __LINE__, true);
            }
        }
        if (IsStopRequested())
            throw new EVLStopFunctionException(VLMDSOCK_MODULE, s_szFile, __LINE__);
        if (pSocket != nullptr && m_bClosing)
            throw new EVLOpenException(VLMDSOCK_MODULE, s_szFile, __LINE__, "CVLSock", 0);
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
}

VL_SIZE_T CVLSock::readSingle(VL_BYTE* pBuffer, VL_SIZE_T nBufferSize, CVLSocket* pSocket)
{
    // One byte more than the reader takes: a datagram that would not fit
    // comes out longer than its buffer, and is dropped whole. Not the
    // largest datagram: each command under way holds its scratch, and a
    // probe runs hundreds of them. Allocated once, not cleared per read.
    const size_t nScratch = nBufferSize < static_cast<VL_SIZE_T>(kMaxDatagram) ? nBufferSize + 1 : kMaxDatagram;
    if (m_ReadScratch.size() < nScratch)
        m_ReadScratch.resize(nScratch);
    VL_BYTE* pScratch = m_ReadScratch.data();
    // At most "retry" x "timeout" in all, whatever is skipped meanwhile.
    m_nReadDeadline = m_nCurRetry == 0 ? -1
                                       : NowMs() + static_cast<long long>(m_nCurRetry > 1 ? m_nCurRetry : 1) *
                                                       Positive(m_nCurTimeout);
    for (;;) {
        waitRecv(pSocket);
        CVLSocketAddress from(m_eProtocol, kAnyAddress, 0);
        int nReceived = 0;
        try {
            if (m_eProtocol == VLMDSOCK_PROTOCOL_TCP) {
                nReceived = pSocket->Receive(pBuffer, static_cast<int>(nBufferSize));
                CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1, "Recv:IP address=%s Port=%ld",
                                 m_DestAddress.GetHost().GetString(), static_cast<long>(m_DestAddress.GetPort()));
            } else {
                nReceived = pSocket->ReceiveFrom(pScratch, static_cast<int>(nScratch), &from);
                CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1, "RecvFrom:IP address=%s Port=%ld",
                                 from.GetHost().GetString(), static_cast<long>(from.GetPort()));
                if (static_cast<VL_SIZE_T>(nReceived) > nBufferSize) {
                    // Cut, it would parse as another packet: dropped.
                    CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1,
                                     "datagram of %d bytes or more dropped, buffer %u", nReceived,
                                     static_cast<unsigned>(nBufferSize));
                    continue;
                }
                if (IsStray(from))
                    continue;
                std::memcpy(pBuffer, pScratch, static_cast<size_t>(nReceived));
            }
        } catch (EVLOpenException* e) {
            // An empty UDP datagram is no datagram: anyone on the network
            // could send one, and it must not end the read.
            if (m_eProtocol == VLMDSOCK_PROTOCOL_TCP)
                throw;
            e->Delete();
            continue;
        } catch (EVLCommunicationException* e) {
            if (IsStopRequested()) {
                e->Delete();
                throw new EVLStopFunctionException(VLMDSOCK_MODULE, s_szFile, __LINE__);
            }
            CVLTrace::OutputException(VLMDSOCK_MODULE, s_szFile, __LINE__, e);
            throw;
        }
        if (nReceived > 0)
            ++m_nHeard;
        noteSender(from);
        setFromAddress(from);
        CVLTrace::OutputDump(VLMDSOCK_MODULE, s_szFile, __LINE__, pBuffer, nReceived);
        return static_cast<VL_SIZE_T>(nReceived);
    }
}

VL_SIZE_T CVLSock::readMulti(VL_BYTE* pBuffer, VL_SIZE_T nBufferSize, VLMDSOCK_SOCKET_LIST& listSockets)
{
    try {
        if (!m_bRecvThreadStarted) {
            m_bRecvThreadStarted = true;
            try {
                startRecvThreads(nBufferSize, listSockets);
            } catch (...) {
                // Without its threads every later read would wait out its
                // time as if nothing came: this read fails, and so does the
                // next one unless its threads start then.
                stopRecvThreads();
                m_bRecvThreadStarted = false;
                throw;
            }
        }
        // One time-out in all: a wake whose datagram was dropped (longer
        // than the buffer, or pushed out of a full queue) waits on for the
        // time left instead of returning early or starting afresh.
        m_nReadDeadline = m_nCurTimeout < 0 ? -1 : NowMs() + m_nCurTimeout;
        VL_SIZE_T nSize = 0;
        for (;;) {
            waitRecv(nullptr);
            if (popRecvData(pBuffer, nBufferSize, &nSize) != nullptr || m_bClosing || !m_bOpen || m_nReadDeadline < 0 ||
                TimeLeft(m_nReadDeadline) <= 0)
                return nSize;
        }
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
}

void CVLSock::startRecvThreads(VL_SIZE_T nBufferSize, VLMDSOCK_SOCKET_LIST& listSockets)
{
    try {
        CVLThreadLock lock(&m_RecvThreadSync);
        if (!lock.Lock() || m_bClosing)
            return;
        long nInterval = m_nCurTimeout < m_nRecvInterval ? m_nCurTimeout : m_nRecvInterval;
        for (CVLSocket* pSocket : listSockets) {
            CVLSockRecvThread* pThread = new (std::nothrow)
                CVLSockRecvThread(m_eSocketMode, this, pSocket, nInterval, nBufferSize, DrainsOnThread());
            if (pThread == nullptr)
                throw new EVLMemoryAllocException(VLMDSOCK_MODULE, s_szFile, __LINE__);
            m_listRecvThreads.push_back(pThread);
            pThread->Start(nullptr);
        }
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
}

void CVLSock::stopRecvThreads()
{
    try {
        CVLThreadLock lock(&m_RecvThreadSync);
        if (!lock.Lock())
            return;
        for (CVLSockRecvThread* pThread : m_listRecvThreads) {
            pThread->End();
            delete pThread;
        }
        m_listRecvThreads.clear();
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
}

bool CVLSock::IsStray(const CVLSocketAddress& from)
{
    const uint32_t nExpected = m_nRepliesFrom;
    if (nExpected == 0)
        return false;
    // The address alone decides, not the port: a device answers from its
    // one well-known port (the port the request went to), which tells
    // nothing the address does not. A host that forges the device's address
    // picks that port as easily, and on a host holding the address any
    // user may bind it (it lies above 1023).
    CVLSocketAddress sender = from;
    const uint32_t nFrom = CVLSockShared::AddressOf(sender);
    const uint32_t nAlso = m_nRepliesAlsoFrom;
    if (nFrom == nExpected || (nAlso != 0 && nFrom == nAlso))
        return false;
    unsigned char expected[4];
    std::memcpy(expected, &nExpected, sizeof(expected));
    CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1,
                     "stray datagram from %s:%ld dropped: the request went to %s", sender.GetHost().GetString(),
                     static_cast<long>(sender.GetPort()), CVLSocketAddress::FormatDottedQuad(expected).GetString());
    return true;
}

void CVLSock::noteSender(const CVLSocketAddress& from)
{
    const uint32_t nAlso = m_nRepliesAlsoFrom;
    if (nAlso == 0) {
        m_bLastReadFromSecond = false;
        return;
    }
    CVLSocketAddress sender = from;
    const uint32_t nFrom = CVLSockShared::AddressOf(sender);
    m_bLastReadFromSecond = nFrom == nAlso && nFrom != m_nRepliesFrom;
}

void CVLSock::setFromAddress(const CVLSocketAddress& from)
{
    if (m_eProtocol != VLMDSOCK_PROTOCOL_UDP)
        return;
    CVLTarget* pTarget = m_pParams != nullptr ? m_pParams->GetTarget() : nullptr;
    if (pTarget == nullptr)
        return;
    CVLTargetLock lock(pTarget);
    if (m_strFromAddressPath.GetLength() > 0) {
        CVLProperty* p = pTarget->GetProperties()->GetProperty(m_strFromAddressPath.GetString(), true);
        if (p != nullptr)
            p->SetString(from.GetHost());
    }
    if (m_strFromPortPath.GetLength() > 0) {
        CVLProperty* p = pTarget->GetProperties()->GetProperty(m_strFromPortPath.GetString(), true);
        if (p != nullptr)
            p->SetLong(from.GetPort());
    }
}

void CVLSock::pushRecvData(const VLMDSOCK_RECV_DATA& data)
{
    // Before the queue, so that no flood of strays pushes a reply out.
    CVLSocketAddress from = data.m_FromAddress;
    if (IsStray(from))
        return;
    {
        CVLThreadLock lock(&m_RecvDataSync);
        if (!lock.Lock())
            return;
        if (m_listRecvData.size() >= kRecvQueueLimit) {
            // A flood keeps the newest datagrams; memory stays bounded.
            m_listRecvData.pop_front();
            if (++m_nDroppedDatagrams % kRecvQueueLimit == 1)
                CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1,
                                 "CVLSock::pushRecvData(): queue full, oldest datagram dropped!, nDropped=%lu",
                                 m_nDroppedDatagrams);
        }
        // A copy only as long as the datagram, not the thread's whole buffer.
        m_listRecvData.emplace_back();
        VLMDSOCK_RECV_DATA& copy = m_listRecvData.back();
        copy.m_FromAddress = data.m_FromAddress;
        copy.m_pSocket = data.m_pSocket;
        int nSize = data.m_Data.GetSize();
        if (nSize > 0) {
            copy.m_Data.Allocate(nSize);
            std::memcpy(copy.m_Data.GetData(), data.m_Data.GetData(), static_cast<size_t>(nSize));
        }
        copy.m_Data.SetSize(nSize);
        m_RecvSemaphore.Post();
    }
    ++m_nHeard;
    if (IVLSockArrivalListener* pListener = m_pArrivalListener.load())
        pListener->OnSockArrival(this);
}

CVLSocket* CVLSock::popRecvData(VL_BYTE* pBuffer, VL_SIZE_T nBufferSize, VL_SIZE_T* pnSize)
{
    *pnSize = 0;
    CVLThreadLock lock(&m_RecvDataSync);
    if (!lock.Lock())
        return nullptr;
    while (!m_listRecvData.empty()) {
        VLMDSOCK_RECV_DATA& record = m_listRecvData.front();
        VL_SIZE_T nSize = static_cast<VL_SIZE_T>(record.m_Data.GetSize());
        if (nSize > nBufferSize) {
            // Longer than this reader's buffer: dropped rather than cut.
            CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1, "datagram of %u bytes dropped, buffer %u",
                             static_cast<unsigned>(nSize), static_cast<unsigned>(nBufferSize));
            m_listRecvData.pop_front();
            continue;
        }
        if (nSize > 0)
            std::memcpy(pBuffer, record.m_Data.GetData(), nSize);
        *pnSize = nSize;
        CVLSocket* pSocket = record.m_pSocket;
        m_pSelectedSocket = pSocket;
        noteSender(record.m_FromAddress);
        setFromAddress(record.m_FromAddress);
        m_listRecvData.pop_front();
        return pSocket;
    }
    return nullptr;
}

void CVLSock::DropRecvData()
{
    CVLThreadLock lock(&m_RecvDataSync);
    if (lock.Lock())
        m_listRecvData.clear();
}

unsigned long CVLSock::GetDroppedDatagramCount()
{
    CVLThreadLock lock(&m_RecvDataSync);
    return lock.Lock() ? m_nDroppedDatagrams : 0;
}

unsigned long CVLSock::GetReceiveDropCount()
{
    unsigned long nDrops = GetDroppedDatagramCount();
    CVLThreadLock lock(&m_ThreadSync);
    if (lock.Lock()) {
        for (CVLSocket* pSocket : m_listSockets)
            nDrops += pSocket->GetDropCount();
    }
    return nDrops;
}

int CVLSock::GetQueuedDatagramCount()
{
    CVLThreadLock lock(&m_RecvDataSync);
    return lock.Lock() ? static_cast<int>(m_listRecvData.size()) : 0;
}
