// The relays of reports to the client: each runs under the notification
// lock and only while its gate is open; nothing a client throws escapes.
#include "base/core/VLException.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "ecm/VLECM.h"
#include "ecm/core/VLECMPrivate.h"
#include "ecm/record/VLECMNIFInfo.h"

const char* const s_szFile = "VLECM";

void CVLECM::OnProbe(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, bool bUnicast, bool bUpdateNIFInfo)
{
    static const char* const kSignature = "void CVLECM::OnProbe(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE "
                                          "eConnectType, bool bUnicast, bool bUpdateNIFInfo)";
    CVLTrace::OutputFunction(VLECM_MODULE, s_szFile, __LINE__, kSignature,
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
    } catch (...) {
        ReleaseCurrentException();
    }
    CVLTrace::FunctionOut(VLECM_MODULE, s_szFile, __LINE__, kSignature);
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
    CVLTrace::FunctionOut(VLECM_MODULE, s_szFile, __LINE__, NAME)

// The trace of a report's extra parameters, by its Report column.
#define VLECM_RELAY_FORMAT_PLAIN
#define VLECM_RELAY_FORMAT_UNICAST ", bUnicast=%d"

#define VLECM_DEFINE_RELAY(ID, NAME, REPORT, CARRIED, RETRY)                                                         \
    void CVLECM::On##NAME(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType,                                  \
                          VLECM_RESULT eResult VLECM_REPORT_PARAMS_##REPORT)                                         \
    {                                                                                                                \
        static const char* const kSignature = "void CVLECM::On" #NAME "()";                                          \
        CVLTrace::OutputFunction(VLECM_MODULE, s_szFile, __LINE__, kSignature,                                       \
                                 "pNIFInfo=%08X, eConnectType=%d, eResult=%d" VLECM_RELAY_FORMAT_##REPORT,           \
                                 PointerText(pNIFInfo), eConnectType, eResult VLECM_REPORT_ARGS_##REPORT(bUnicast)); \
        VLECM_COMMAND_RELAY(kSignature,                                                                              \
                            On##NAME(pNIFInfo, eConnectType, eResult VLECM_REPORT_ARGS_##REPORT(bUnicast)));         \
    }
VLECM_COMMAND_LIST(VLECM_DEFINE_RELAY)
#undef VLECM_DEFINE_RELAY
