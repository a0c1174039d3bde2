// The unicast probe of the address the user named.
#include "ecm/probe/VLECMNamedAddressProbe.h"

#include "base/core/VLCharset.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLTrace.h"
#include "cm/VLCMDefs.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParam.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "ecm/core/VLECMModuleCalls.h"
#include "ecm/core/VLECMPrivate.h"
#include "ecm/record/VLECMNIFInfo.h"

const char* const s_szFile = "VLECMNamedAddressProbe";

namespace {
// The function that carries requests to one address.
const char kUnicastFunctionName[] = "VLPC_Unicast";
}  // namespace

CVLECMNamedAddressProbe::CVLECMNamedAddressProbe() : m_pInstance(nullptr), m_bStopping(false)
{
}

CVLECMNamedAddressProbe::~CVLECMNamedAddressProbe()
{
    Stop();
}

void CVLECMNamedAddressProbe::Ask(const SRequest& request, std::function<void(const CVLString&)> fnAnswer)
{
    if (request.pController == nullptr || request.strAddress.GetLength() == 0)
        return;
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_bStopping || m_Thread.joinable())
        return;
    try {
        m_Thread = std::thread(&CVLECMNamedAddressProbe::run, this, request, fnAnswer);
    } catch (...) {
        // No thread: the bound stands as it is.
        ReleaseCurrentException();
    }
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
}

void CVLECMNamedAddressProbe::run(SRequest request, std::function<void(const CVLString&)> fnAnswer)
{
    CVLModuleController* pController = request.pController;
    CVLTarget* pBlank = nullptr;
    CVLModuleInstance* pInstance = nullptr;
    CVLString strMAC(VL_CHARSET_UTF8);
    try {
        pBlank = pController->CreateTarget();
        if (pBlank == nullptr)
            return;
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
            CVLProperty* pMAC = pBlank->GetProperties()->GetProperty("MACAddress", false);
            if (pMAC != nullptr)
                strMAC = CVLECMNIFInfo::NormalizeMACAddress(pMAC->ToString(""));
        }
    } catch (EVLException* pException) {
        // No answer (a time-out, a stop, an error reply): nothing is learnt.
        VLDeleteException(pException);
    } catch (...) {
        ReleaseCurrentException();
    }
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_pInstance = nullptr;
        if (m_bStopping)
            strMAC = CVLString(VL_CHARSET_UTF8);
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
    CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0, "CVLECMNamedAddressProbe: %s answered a unicast probe as %s",
                     TextOf(request.strAddress), strMAC.GetLength() > 0 ? TextOf(strMAC) : "nothing");
    if (strMAC.GetLength() > 0 && fnAnswer)
        fnAnswer(strMAC);
}
