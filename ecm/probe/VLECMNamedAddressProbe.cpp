// The unicast probe of the address the user named.
#include "ecm/probe/VLECMNamedAddressProbe.h"

#include "base/core/VLCharset.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLNullObjectException.h"
#include "base/core/VLTrace.h"
#include "cm/VLCMDefs.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParam.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProperty.h"
#include "cm/VLRefusedRequestException.h"
#include "cm/VLTarget.h"
#include "ecm/core/VLECMModuleCalls.h"
#include "ecm/core/VLECMPrivate.h"
#include "ecm/record/VLECMNIFInfo.h"

const char* const s_szFile = "VLECMNamedAddressProbe";

namespace {
// The function that carries requests to one address, and its method that
// receives a further reply to the request sent, sending nothing.
const char kUnicastFunctionName[] = "VLPC_Unicast";
const char kReceiveMethod[] = "Recv";
// Replies of the answering MAC heard again before another's would be.
const int kFurtherAnswers = 4;

// The MAC a reply's target carries, in normal form.
CVLString MACOf(CVLTarget* pTarget)
{
    CVLProperty* pMAC = pTarget->GetProperties()->GetProperty("MACAddress", false);
    return pMAC != nullptr ? CVLECMNIFInfo::NormalizeMACAddress(pMAC->ToString("")) : CVLString(VL_CHARSET_UTF8);
}

// The ask's failure when this computer or the configuration caused it (a
// request the send guard refused, definitions that cannot be read, no
// memory): asking again would meet it again. The network's (a time-out, a
// stop, an error reply, a send that failed, descriptors or threads short
// for now) is none: nothing is learnt, and the next round asks again.
// Deletes the exception.
VLECM_RESULT FailureOf(EVLException* pException)
{
    const bool bLack = CVLECMNIFInfo::LackOf(pException) != VLECM_LACK_NONE;
    const VLECM_RESULT eResult = CVLECMNIFInfo::ResultFromException(pException);
    if (bLack)
        return VLECM_RESULT_SUCCESS;
    switch (eResult) {
    case VLECM_RESULT_NOT_SUPPORTED:
    case VLECM_RESULT_XML_ERROR:
    case VLECM_RESULT_OUT_OF_MEMORY:
    case VLECM_RESULT_INTERNAL_ERROR:
        return eResult;
    default:
        return VLECM_RESULT_SUCCESS;
    }
}
}  // namespace

CVLECMNamedAddressProbe::CVLECMNamedAddressProbe() : m_pInstance(nullptr), m_bStopping(false), m_bAsking(false)
{
}

CVLECMNamedAddressProbe::~CVLECMNamedAddressProbe()
{
    Stop();
}

bool CVLECMNamedAddressProbe::Ask(const SRequest& request, const SListener& listener)
{
    if (request.pController == nullptr || request.strAddress.GetLength() == 0)
        return false;
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_bStopping || m_bAsking)
        return false;
    // The last ask told its end and holds the lock no more: its thread ends.
    if (m_Thread.joinable())
        m_Thread.join();
    try {
        m_Thread = std::thread(&CVLECMNamedAddressProbe::run, this, request, listener);
        m_bAsking = true;
    } catch (...) {
        // No thread: the bound stands as it is, until the next ask.
        ReleaseCurrentException();
    }
    return m_bAsking;
}

void CVLECMNamedAddressProbe::Stop()
{
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bStopping = true;
        if (m_pInstance != nullptr)
            m_pInstance->Stop();
        thread.swap(m_Thread);
    }
    if (thread.joinable())
        thread.join();
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_bStopping = false;
    m_bAsking = false;
}

void CVLECMNamedAddressProbe::run(SRequest request, SListener listener)
{
    CVLModuleController* pController = request.pController;
    CVLTarget* pBlank = nullptr;
    CVLModuleInstance* pInstance = nullptr;
    CVLString strFirst(VL_CHARSET_UTF8);
    VLECM_RESULT eFailure = VLECM_RESULT_SUCCESS;
    std::string strRefusal;
    // Tells one answer unless a stop came (Stop waits for this thread, so
    // nothing is told once it returns); true when it was told.
    auto tell = [&](const CVLString& strMAC) {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            if (m_bStopping || strMAC.GetLength() == 0)
                return false;
        }
        if (listener.fnAnswer)
            listener.fnAnswer(strMAC, pBlank);
        return true;
    };
    try {
        pBlank = pController->CreateTarget();
        if (pBlank == nullptr)
            throw new EVLNullObjectException(VLECM_MODULE, s_szFile, __LINE__);
        pBlank->GetProperties()->GetProperty("IPAddress", true)->SetString(request.strAddress);
        CVLModuleParamCollection params;
        params.GetParam(VLCM_PARAM_TIMEOUT, true)->SetLong(request.nTimeout);
        params.GetParam(VLCM_PARAM_RETRY, true)->SetLong(request.nRetry);
        // It runs the probe's list, and sends only what the probe may.
        pInstance = CVLECMModuleCalls::CreateInstance(pController, pBlank, kUnicastFunctionName, &params,
                                                      CVLECMModuleCalls::PROBE);
        bool bAsk = pInstance != nullptr;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_pInstance = pInstance;
            bAsk = bAsk && !m_bStopping;
        }
        if (bAsk) {
            CVLModuleParamCollection* pParams = pInstance->GetParams();
            pParams->SetPacketListName(TextOf(request.strPacketList));
            pParams->GetParam(VLCM_PARAM_PACKET_LIST_NAME, true)
                ->SetString(TextOf(request.strPacketList), VL_CHARSET_UTF8);
            pInstance->CallMethod();
            strFirst = MACOf(pBlank);
            if (tell(strFirst)) {
                // The rest of its time: another host's answer to the same
                // request shows the address taken twice.
                pParams->SetMethodName(kReceiveMethod);
                for (int i = 0; i < kFurtherAnswers; ++i) {
                    pBlank->Clear();
                    pBlank->GetProperties()->GetProperty("IPAddress", true)->SetString(request.strAddress);
                    pInstance->CallMethod();
                    const CVLString strMAC = MACOf(pBlank);
                    if (strMAC != strFirst && tell(strMAC))
                        break;
                }
            }
        }
    } catch (EVLException* pException) {
        if (EVLRefusedRequestException* pRefused = dynamic_cast<EVLRefusedRequestException*>(pException))
            strRefusal = TextOf(pRefused->GetReason());
        eFailure = FailureOf(pException);
    } catch (...) {
        ReleaseCurrentException();
    }
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_pInstance = nullptr;
    }
    if (pInstance != nullptr) {
        try {
            pController->DeleteModuleInstance(pInstance);
        } catch (...) {
            ReleaseCurrentException();
        }
    }
    if (pBlank != nullptr)
        pBlank->Destroy(false);
    CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                     "CVLECMNamedAddressProbe: %s answered a unicast probe as %s (failure %d)",
                     TextOf(request.strAddress), strFirst.GetLength() > 0 ? TextOf(strFirst) : "nothing",
                     static_cast<int>(eFailure));
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!m_bStopping && listener.fnEnded)
        listener.fnEnded(eFailure, strRefusal);
    m_bAsking = false;
}
