// The relays of reports to the client: each runs under the notification
// lock and only while its gate is open; nothing a client throws escapes.
#include "base/core/VLException.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "ecm/VLECM.h"
#include "ecm/VLECMNIFInfo.h"

#define VLECM_RELAY_FILE "VLECM"

namespace {
unsigned PointerText(const void* p)
{
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p));
}
}  // namespace

void CVLECM::OnProbe(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, bool bUnicast, bool bUpdateNIFInfo)
{
    static const char* const kSignature = "void CVLECM::OnProbe(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE "
                                          "eConnectType, bool bUnicast, bool bUpdateNIFInfo)";
    CVLTrace::OutputFunction(VLECM_MODULE, VLECM_RELAY_FILE, __LINE__, kSignature,
                             "pNIFInfo=%08X, eConnectType=%d, bUnicast=%d, bUpdateNIFInfo=%d", PointerText(pNIFInfo),
                             eConnectType, bUnicast, bUpdateNIFInfo);
    try {
        CVLThreadLock lock(&m_CallbackNotificationSync);
        if (lock.Lock() && m_bCallbackNotification && m_bProbing && m_pCallbackIF != nullptr && pNIFInfo != nullptr) {
            bool bCompletion = pNIFInfo->IsProbeCallbackCompletion();
            if (!bCompletion)
                pNIFInfo->SetProbeCallbackCompletion(true);
            m_pCallbackIF->OnProbe(pNIFInfo, eConnectType, bUnicast, bCompletion);
        }
    } catch (EVLException* pException) {
        pException->Delete();
    } catch (...) {
    }
    CVLTrace::FunctionOut(VLECM_MODULE, VLECM_RELAY_FILE, __LINE__, kSignature);
}

// The twelve command relays differ only in the operation they call.
#define VLECM_COMMAND_RELAY(NAME, CALL)                                         \
    try {                                                                       \
        CVLThreadLock lock(&m_CallbackNotificationSync);                        \
        if (lock.Lock() && m_bCallbackNotification && m_pCallbackIF != nullptr) \
            m_pCallbackIF->CALL;                                                \
    } catch (EVLException * pException) {                                       \
        pException->Delete();                                                   \
    } catch (...) {                                                             \
    }                                                                           \
    CVLTrace::FunctionOut(VLECM_MODULE, VLECM_RELAY_FILE, __LINE__, NAME)

#define VLECM_TRACE_RELAY(NAME)                                                                                 \
    CVLTrace::OutputFunction(VLECM_MODULE, VLECM_RELAY_FILE, __LINE__, NAME,                                    \
                             "pNIFInfo=%08X, eConnectType=%d, eResult=%d", PointerText(pNIFInfo), eConnectType, \
                             eResult)

void CVLECM::OnCheckUnicast(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult,
                            bool bUnicast)
{
    static const char* const kSignature = "void CVLECM::OnCheckUnicast()";
    CVLTrace::OutputFunction(VLECM_MODULE, VLECM_RELAY_FILE, __LINE__, kSignature,
                             "pNIFInfo=%08X, eConnectType=%d, eResult=%d, bUnicast=%d", PointerText(pNIFInfo),
                             eConnectType, eResult, bUnicast);
    VLECM_COMMAND_RELAY(kSignature, OnCheckUnicast(pNIFInfo, eConnectType, eResult, bUnicast));
}

void CVLECM::OnGetSupportInformation(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
{
    static const char* const kSignature = "void CVLECM::OnGetSupportInformation()";
    VLECM_TRACE_RELAY(kSignature);
    VLECM_COMMAND_RELAY(kSignature, OnGetSupportInformation(pNIFInfo, eConnectType, eResult));
}

void CVLECM::OnGetListInfo(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
{
    static const char* const kSignature = "void CVLECM::OnGetListInfo()";
    VLECM_TRACE_RELAY(kSignature);
    VLECM_COMMAND_RELAY(kSignature, OnGetListInfo(pNIFInfo, eConnectType, eResult));
}

void CVLECM::OnGetDetail(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
{
    static const char* const kSignature = "void CVLECM::OnGetDetail()";
    VLECM_TRACE_RELAY(kSignature);
    VLECM_COMMAND_RELAY(kSignature, OnGetDetail(pNIFInfo, eConnectType, eResult));
}

void CVLECM::OnGetWirelessLANInfo(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
{
    static const char* const kSignature = "void CVLECM::OnGetWirelessLANInfo()";
    VLECM_TRACE_RELAY(kSignature);
    VLECM_COMMAND_RELAY(kSignature, OnGetWirelessLANInfo(pNIFInfo, eConnectType, eResult));
}

void CVLECM::OnCheckPassword(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
{
    static const char* const kSignature = "void CVLECM::OnCheckPassword()";
    VLECM_TRACE_RELAY(kSignature);
    VLECM_COMMAND_RELAY(kSignature, OnCheckPassword(pNIFInfo, eConnectType, eResult));
}

void CVLECM::OnSetDetail(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
{
    static const char* const kSignature = "void CVLECM::OnSetDetail()";
    VLECM_TRACE_RELAY(kSignature);
    VLECM_COMMAND_RELAY(kSignature, OnSetDetail(pNIFInfo, eConnectType, eResult));
}

void CVLECM::OnFactReset(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
{
    static const char* const kSignature = "void CVLECM::OnFactReset()";
    VLECM_TRACE_RELAY(kSignature);
    VLECM_COMMAND_RELAY(kSignature, OnFactReset(pNIFInfo, eConnectType, eResult));
}

void CVLECM::OnRebootPolling(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult,
                             bool bUnicast)
{
    static const char* const kSignature = "void CVLECM::OnRebootPolling()";
    CVLTrace::OutputFunction(VLECM_MODULE, VLECM_RELAY_FILE, __LINE__, kSignature,
                             "pNIFInfo=%08X, eConnectType=%d, eResult=%d, bUnicast=%d", PointerText(pNIFInfo),
                             eConnectType, eResult, bUnicast);
    VLECM_COMMAND_RELAY(kSignature, OnRebootPolling(pNIFInfo, eConnectType, eResult, bUnicast));
}

void CVLECM::OnGetNetworkDiagnosis(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
{
    static const char* const kSignature = "void CVLECM::OnGetNetworkDiagnosis()";
    VLECM_TRACE_RELAY(kSignature);
    VLECM_COMMAND_RELAY(kSignature, OnGetNetworkDiagnosis(pNIFInfo, eConnectType, eResult));
}

void CVLECM::OnSetupWebService(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
{
    static const char* const kSignature = "void CVLECM::OnSetupWebService()";
    VLECM_TRACE_RELAY(kSignature);
    VLECM_COMMAND_RELAY(kSignature, OnSetupWebService(pNIFInfo, eConnectType, eResult));
}

void CVLECM::OnDeleteWebService(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, VLECM_RESULT eResult)
{
    static const char* const kSignature = "void CVLECM::OnDeleteWebService()";
    VLECM_TRACE_RELAY(kSignature);
    VLECM_COMMAND_RELAY(kSignature, OnDeleteWebService(pNIFInfo, eConnectType, eResult));
}
