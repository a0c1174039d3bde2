// Probe control and the device list: starting and stopping probes, finding
// and removing devices with their queued callbacks, and the forwarding gate.
#include <string>

#include "base/core/VLException.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "ecm/VLECM.h"
#include "ecm/probe/VLECMProbeInstance.h"
#include "ecm/core/VLECMPrivate.h"
#include "ecm/probe/VLECMLocalNetworks.h"
#include "ecm/probe/VLECMReplyFilter.h"
#include "ecm/record/VLECMNIFInfo.h"

const char* const s_szFile = "VLECM";

VLECM_RESULT CVLECM::Probe(VLECM_PROBE_CONNECT_TYPE eProbeConnectType, const CVLECMPropertyMap* pProbeOptionMap)
{
    static const char* const kSignature = "VLECM_RESULT CVLECM::Probe(VLECM_PROBE_CONNECT_TYPE eProbeConnectType, "
                                          "const CVLECMPropertyMap* pProbeOptionMap)";
    CVLTrace::OutputFunction(VLECM_MODULE, s_szFile, __LINE__, kSignature, "eProbeConnectType=%d, pProbeOptionMap=%08X",
                             eProbeConnectType, PointerText(pProbeOptionMap));
    VLECM_RESULT eResult = VLECM_RESULT_SUCCESS;
    try {
        // A device bound that is no bound is refused before anything stops
        // or is sent, rather than taken for the default.
        int nBound = 0;
        CVLString strBound = getOptionString(CVLECMReplyFilter::DEVICE_BOUND_OPTION, pProbeOptionMap, nullptr);
        if (strBound.GetLength() > 0 && !CVLECMReplyFilter::ParseDeviceBound(strBound, nBound)) {
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0, "CVLECM::Probe(): parameter error!, %s=%s",
                             CVLECMReplyFilter::DEVICE_BOUND_OPTION, TextOf(strBound));
            throw VLECM_RESULT_PARAMETER_ERROR;
        }
        // So is a list or function the options, the probe's own or set
        // since the start, name that the definitions cannot run as meant:
        // judged as the start judges the file's.
        const std::string strRefused = CheckResolvedPacketLists(pProbeOptionMap);
        if (!strRefused.empty()) {
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0, "CVLECM::Probe(): parameter error!, %s",
                             strRefused.c_str());
            throw VLECM_RESULT_PARAMETER_ERROR;
        }
        RemoveAllNIFInfo();
        {
            CVLThreadLock lock(&m_CallbackNotificationSync);
            if (lock.Lock())
                m_bProbing = true;
        }
        m_pProbeInstance->StartProbe(eProbeConnectType, pProbeOptionMap);
    } catch (...) {
        eResult = resultFromCurrentException();
    }
    CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 1, "%s : Return Value = [%d]", kSignature, eResult);
    return eResult;
}

void CVLECM::StopProbe()
{
    try {
        {
            CVLThreadLock lock(&m_CallbackNotificationSync);
            if (lock.Lock())
                m_bProbing = false;
        }
        // Nothing is admitted or starts from here on; the chains waiting are
        // judged stopped, those under way end on their own answer.
        m_pProbeInstance->StopChains();
        m_pProbeInstance->StopProbe();
    } catch (...) {
        ReleaseCurrentException();
    }
}

bool CVLECM::StopProbeInstance()
{
    try {
        m_pProbeInstance->StopProbe();
    } catch (...) {
        ReleaseCurrentException();
    }
    return false;
}

bool CVLECM::ProbeAgain()
{
    try {
        return m_pProbeInstance->ProbeAgain();
    } catch (...) {
        ReleaseCurrentException();
    }
    return false;
}

CVLECMNIFInfo* CVLECM::FindNIFInfo(VL_CONST_STR szMACAddress)
{
    return m_pProbeInstance->FindNIFInfo(szMACAddress);
}

CVLECMNIFInfoList* CVLECM::GetNIFInfoList()
{
    return m_pProbeInstance->GetNIFInfoList();
}

void CVLECM::RemoveAllNIFInfo()
{
    try {
        StopProbe();
        CVLThreadLock lock(&m_DispatchCallbackSync);
        if (!lock.Lock())
            return;
        // No command may post a result between the purge and the destruction.
        m_pProbeInstance->StopAllCommands();
        {
            CVLThreadLock postLock(&m_PostCallbackTargetMapSync);
            if (postLock.Lock()) {
                for (const auto& entry : m_PostCallbackTargetMap) {
                    if (entry.first != nullptr)
                        m_Api.RemoveCallbackInfo(entry.first);
                }
                m_PostCallbackTargetMap.clear();
            }
        }
        m_pProbeInstance->ClearNIFList();
    } catch (...) {
        ReleaseCurrentException();
    }
}

void CVLECM::RemoveNIFInfo(CVLECMNIFInfo* pNIFInfo)
{
    static const char* const kSignature = "void CVLECM::RemoveNIFInfo(CVLECMNIFInfo* pNIFInfo)";
    CVLTrace::OutputFunction(VLECM_MODULE, s_szFile, __LINE__, kSignature, "pNIFInfo=%08X", PointerText(pNIFInfo));
    try {
        CVLThreadLock lock(&m_DispatchCallbackSync);
        if (!lock.Lock())
            return;
        // Only a record of the probe's is ours to destroy, and with it the
        // other addresses of its MAC, whose checks would serve nobody.
        // Its MAC is marked removed first: none of its replies on their way
        // makes a record again, and no check starts for another of them.
        // Their commands are over once it returns, so that no result is
        // queued after the purge.
        std::vector<CVLECMNIFInfo*> records = m_pProbeInstance->RemoveDevice(pNIFInfo);
        {
            CVLThreadLock postLock(&m_PostCallbackTargetMapSync);
            if (postLock.Lock()) {
                for (CVLECMNIFInfo* pRecord : records)
                    m_PostCallbackTargetMap.erase(pRecord);
            }
        }
        for (CVLECMNIFInfo* pRecord : records) {
            // A post of it that a client's override still holds is dropped
            // when passed on, and loses nothing more.
            ForgetPosts(pRecord);
            m_Api.RemoveCallbackInfo(pRecord);
            m_pProbeInstance->DestroyNIFInfo(pRecord);
        }
    } catch (...) {
        ReleaseCurrentException();
    }
}

bool CVLECM::SetCallbackIF(IVLECMCallbackIF* pCallbackIF)
{
    static const char* const kSignature = "bool CVLECM::SetCallbackIF(IVLECMCallbackIF* pCallbackIF)";
    CVLTrace::OutputFunction(VLECM_MODULE, s_szFile, __LINE__, kSignature, "pCallbackIF=%08d",
                             PointerText(pCallbackIF));
    bool bResult = false;
    try {
        CVLThreadLock lock(&m_CallbackNotificationSync);
        if (lock.Lock()) {
            m_pCallbackIF = pCallbackIF;
            bResult = true;
        }
    } catch (...) {
        ReleaseCurrentException();
        bResult = false;
    }
    CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 1, "%s : Return Value = [%d]", kSignature, bResult);
    return bResult;
}

void CVLECM::SetCallbackNotification(bool bNotification)
{
    static const char* const kSignature = "void CVLECM::SetCallbackNotification(bool bNotification)";
    CVLTrace::OutputFunction(VLECM_MODULE, s_szFile, __LINE__, kSignature, "bNotification=%d", bNotification);
    try {
        CVLThreadLock lock(&m_CallbackNotificationSync);
        if (lock.Lock())
            m_bCallbackNotification = bNotification;
    } catch (...) {
        ReleaseCurrentException();
    }
}

bool CVLECM::IsCallbackNotification()
{
    CVLThreadLock lock(&m_CallbackNotificationSync);
    lock.Lock();
    return m_bCallbackNotification;
}

bool CVLECM::IsOnLocalNetwork(const CVLString& strAddress, std::vector<std::string>& networks)
{
    std::shared_ptr<const CVLECMLocalNetworks> pNetworks = ReadLocalNetworks();
    networks = GetLocalNetworkNames(*pNetworks);
    return IsOnLocalNetwork(*pNetworks, strAddress);
}

std::shared_ptr<const CVLECMLocalNetworks> CVLECM::ReadLocalNetworks()
{
    return CVLECMLocalNetworks::Read({});
}

bool CVLECM::IsOnLocalNetwork(const CVLECMLocalNetworks& networks, const CVLString& strAddress)
{
    return networks.GetNetwork(strAddress).GetLength() > 0;
}

std::vector<std::string> CVLECM::GetLocalNetworkNames(const CVLECMLocalNetworks& networks)
{
    return networks.GetNetworkNames();
}
