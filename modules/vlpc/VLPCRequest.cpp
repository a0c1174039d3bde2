// The request engine of CVLPC: a packet list sent through the socket child,
// replies matched, judged by their result code and expanded into the target.
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "base/core/VLErrorResultException.h"
#include "base/core/VLException.h"
#include "base/core/VLStream.h"
#include "base/core/VLTimeoutException.h"
#include "base/core/VLTrace.h"
#include "base/core/VLUnsupportedException.h"
#include "base/thread/VLStopWatch.h"
#include "cm/VLCMDefs.h"
#include "cm/VLModInstanceInfo.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProperty.h"
#include "cm/VLRefusedRequestException.h"
#include "cm/VLSubnetInfoList.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetLock.h"
#include "modules/sock/VLSock.h"
#include "modules/vlpc/VLMDVLPC.h"
#include "modules/vlpc/VLPC.h"
#include "modules/vlpc/VLPCDefs.h"
#include "modules/vlpc/VLPCFunction.h"
#include "modules/vlpc/VLPCPacketDataFormat.h"
#include "modules/vlpc/VLPCPacketFormat.h"
#include "modules/vlpc/VLPCPacketList.h"

namespace {

const char* const s_szFile = "VLPCRequest";
const int DEFAULT_RETRY = 1;
const int DEFAULT_TIMEOUT_MS = 10000;
const int MIN_TIMEOUT_MS = 1;
const int MAC_ADDRESS_LENGTH = 6;
const VL_BYTE ZERO_MAC[MAC_ADDRESS_LENGTH] = {0, 0, 0, 0, 0, 0};
const int CIPHER_NONE = 0;

// Result classes of a reply.
const unsigned short RESULT_ERROR_DATA_FIRST = 0x1000;
const unsigned short RESULT_ERROR_DATA_LAST = 0xDFFF;
const unsigned short RESULT_ERROR_FIRST = 0xF000;
const unsigned short RESULT_ERROR_LAST = 0xFEFF;
const unsigned short RESULT_UNSUPPORTED_FIRST = 0xFF00;
const unsigned short RESULT_UNSUPPORTED_HANDLED = 0xFF01;

const char* const EVENT_START_PACKETLIST = "EVENT_START_PACKETLIST";
const char* const EVENT_DONE_ONE_PACKET = "EVENT_DONE_ONE_PACKET";
const char* const EVENT_END_PACKETLIST = "EVENT_END_PACKETLIST";

bool IsErrorWithData(unsigned short nResult)
{
    return nResult >= RESULT_ERROR_DATA_FIRST && nResult <= RESULT_ERROR_DATA_LAST;
}

bool IsError(unsigned short nResult)
{
    return nResult >= RESULT_ERROR_FIRST && nResult <= RESULT_ERROR_LAST;
}

bool IsUnsupported(unsigned short nResult)
{
    return nResult >= RESULT_UNSUPPORTED_FIRST;
}

// A number of a constant or parameter within the range of int.
int ClampToInt(VL_LONG nValue, int nMin)
{
    if (nValue < nMin)
        return nMin;
    if (nValue > INT_MAX)
        return INT_MAX;
    return static_cast<int>(nValue);
}

int ClampToInt(VL_LONG nValue)
{
    return ClampToInt(nValue, INT_MIN);
}

bool ParamIsSet(CVLModuleParamCollection* pParams, const char* szName)
{
    CVLModuleParam* p = pParams != nullptr ? pParams->Find(szName) : nullptr;
    return p != nullptr && p->ToBool(false);
}

const char* MethodName(CVLModuleParamCollection* pParams)
{
    return pParams != nullptr ? pParams->GetMethodName().GetBuffer() : "";
}

}  // namespace

void CVLPC::CallMethod(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    static const char* const kSignature = "void CVLPC::CallMethod(CVLModuleInstance* pInstance, "
                                          "CVLModuleParamCollection* pParams)";
    CVLTrace::FunctionIn(VLMDVLPC_MODULE, s_szFile, __LINE__, kSignature);
    try {
        CVLTrace::Output(VLMDVLPC_MODULE, s_szFile, __LINE__, 1, "Instance=%p, MethodName=%s", static_cast<void*>(this),
                         MethodName(pParams));
        LoadParameters(pInstance, pParams);
        LoadTargetProperties(pParams);
        // The count is there, 0 until a request leaves: the caller can tell
        // a call that sent nothing from a module that does not count.
        if (pParams != nullptr)
            pParams->GetParam(VLCM_PARAM_SENT_REQUESTS, true);
        CVLString strListName(VL_CHARSET_UTF8);
        CVLModuleParam* pListParam = pParams != nullptr ? pParams->Find(VLCM_PARAM_PACKET_LIST_NAME) : nullptr;
        if (pListParam != nullptr)
            strListName = pListParam->ToString("");
        if (strListName.GetLength() == 0 && pParams != nullptr)
            strListName = pParams->GetMethodName();
        if (m_strPacketListSuffix.GetLength() > 0)
            strListName += m_strPacketListSuffix;
        CVLPCPacketList* pList = m_pModule != nullptr ? m_pModule->FindPacketList(strListName) : nullptr;
        if (pList != nullptr) {
            CVLString strMethod(MethodName(pParams), VL_CHARSET_UTF8);
            if (strMethod.Compare("Send") == 0)
                Request(pInstance, pParams, pList, false);
            else if (strMethod.Compare("Recv") == 0)
                Recv(pInstance, pParams);
            else if (strMethod.Compare("Request") == 0)
                Request(pInstance, pParams, pList, true);
            else
                throw new EVLUnsupportedException(VLMDVLPC_MODULE, s_szFile, __LINE__, strMethod.GetBuffer());
        }
    }
    VL_CATCH_LADDER(VLMDVLPC_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLMDVLPC_MODULE, s_szFile, __LINE__, kSignature);
}

void CVLPC::LoadParameters(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    m_nRetry = DEFAULT_RETRY;
    m_nTimeout = DEFAULT_TIMEOUT_MS;
    m_bUseSubnet = false;
    m_bUnicast = true;
    m_strPacketListSuffix = CVLString(VL_CHARSET_UTF8);
    CVLModuleController* pController = pParams != nullptr ? pParams->GetController() : nullptr;
    if (pController != nullptr) {
        CVLModInstanceInfo* pInfo = pInstance != nullptr ? pInstance->GetFunctionInfo() : nullptr;
        CVLString strModule = pInfo != nullptr ? pInfo->GetModuleName() : CVLString(VL_CHARSET_UTF8);
        CVLString strInstance = pInfo != nullptr ? pInfo->GetName() : CVLString(VL_CHARSET_UTF8);
        const char* szModule = strModule.GetLength() > 0 ? strModule.GetBuffer() : nullptr;
        const char* szInstance = strInstance.GetLength() > 0 ? strInstance.GetBuffer() : nullptr;
        CVLString strValue(VL_CHARSET_UTF8);
        if (pController->FindConst(VLCM_PARAM_RETRY, strValue, szModule, szInstance))
            m_nRetry = ClampToInt(strValue.ToLong(DEFAULT_RETRY));
        if (pController->FindConst(VLCM_PARAM_TIMEOUT, strValue, szModule, szInstance))
            m_nTimeout = ClampToInt(strValue.ToLong(DEFAULT_TIMEOUT_MS));
        if (pController->FindConst("useSubnet", strValue, szModule, szInstance))
            m_bUseSubnet = strValue.ToBool(false);
        if (pController->FindConst("unicast", strValue, szModule, szInstance))
            m_bUnicast = strValue.ToBool(true);
        m_strPacketListSuffix = CVLMDVLPC::PacketListSuffix(pController, pInfo);
    }
    if (pParams != nullptr) {
        if (CVLModuleParam* p = pParams->Find(VLCM_PARAM_TIMEOUT))
            m_nTimeout = ClampToInt(p->ToLong(DEFAULT_TIMEOUT_MS));
        if (CVLModuleParam* p = pParams->Find(VLCM_PARAM_RETRY))
            m_nRetry = ClampToInt(p->ToLong(DEFAULT_RETRY));
    }
    // A time-out of 0 or less would be handed to the socket as a wait
    // without limit.
    if (m_nTimeout < MIN_TIMEOUT_MS)
        m_nTimeout = MIN_TIMEOUT_MS;
}

void CVLPC::Request(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams, CVLPCPacketList* pPacketList,
                    bool bRecv)
{
    try {
        CVLModuleController* pController = pParams != nullptr ? pParams->GetController() : nullptr;
        CVLTarget* pTarget = pParams != nullptr ? pParams->GetTarget() : nullptr;
        bool bProgress = pController != nullptr && pParams->GetProgressListener() != nullptr;
        const VL_SIZE_T nCount = static_cast<VL_SIZE_T>(pPacketList->GetCount());
        // A list that holds a request the call may not send sends none of it.
        for (CVLPCFunctionIterator it = pPacketList->Begin(); !pPacketList->IsEnd(it); ++it) {
            if (FindPacketFormat((*it)->GetKey()) != nullptr)
                RefuseDisallowed(pParams, pPacketList, *it);
        }
        if (bProgress)
            pController->PostCallbackProgress(pInstance, pParams, pTarget, EVENT_START_PACKETLIST, nCount);
        VL_SIZE_T nDone = 0;
        for (CVLPCFunctionIterator it = pPacketList->Begin(); !pPacketList->IsEnd(it); ++it) {
            CVLPCFunction* pFunction = *it;
            CVLPCPacketFormat* pFormat = FindPacketFormat(pFunction->GetKey());
            if (pFormat != nullptr)
                requestOneFunction(pInstance, pParams, pPacketList, pFunction, pFormat, bRecv);
            ++nDone;
            if (bProgress)
                pController->PostCallbackProgress(pInstance, pParams, pTarget, EVENT_DONE_ONE_PACKET, nDone);
        }
        if (bProgress)
            pController->PostCallbackProgress(pInstance, pParams, pTarget, EVENT_END_PACKETLIST, nCount);
    }
    VL_CATCH_LADDER(VLMDVLPC_MODULE, s_szFile)
}

void CVLPC::RefuseDisallowed(CVLModuleParamCollection* pParams, CVLPCPacketList* pPacketList, CVLPCFunction* pFunction)
{
    const std::string strRequest = std::string(1, pFunction->GetPacketType()) + pFunction->GetKey().GetString();
    if (pParams == nullptr || pParams->IsRequestAllowed(strRequest))
        return;
    const std::string strReason = std::string("the packet list \"") + pPacketList->GetName().GetString() +
                                  "\" sends the request " + pFunction->GetDeviceType().GetString() + " " +
                                  pFunction->GetFunction().GetString() + " \"" + pFunction->GetPacketType() +
                                  "\", which this call may not send: refused before it was sent";
    CVLTrace::Output(VLMDVLPC_MODULE, s_szFile, __LINE__, 0, "CVLPC::RefuseDisallowed(): %s", strReason.c_str());
    throw new EVLRefusedRequestException(VLMDVLPC_MODULE, s_szFile, __LINE__, strReason.c_str());
}

void CVLPC::requestOneFunction(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                               CVLPCPacketList* pPacketList, CVLPCFunction* pFunction, CVLPCPacketFormat* pFormat,
                               bool bRecv)
{
    try {
        CVLTarget* pTarget = pParams != nullptr ? pParams->GetTarget() : nullptr;
        SetResultProperty(pTarget, pFormat, false, 0);
        // A device below the format's version does not know the function; a
        // device of unknown version (-1) ranks above every format.
        if (VLCompareVersion(m_nVersion, pFormat->GetVersion()) < 0)
            return;
        const char cType = pFunction->GetPacketType();
        CVLPCPacketDataFormat* pSendFormat = pFormat->FindSendDataFormat(m_pModule, m_nVersion, cType);
        if (pSendFormat == nullptr && cType != 'P' && cType != 'Q')
            return;
        CVLModuleController* pController = pParams != nullptr ? pParams->GetController() : nullptr;
        if (pController != nullptr &&
            !pController->CreateScriptExtend(pFunction->GetCondition().GetBuffer(), pInstance, pParams, nullptr))
            return;

        m_SendPacket.MakeHeader(this, pFunction);
        bool bChanged = false;
        if (pSendFormat != nullptr)
            bChanged = pSendFormat->MakePacket(this, pFunction, &m_SendPacket, pTarget);
        m_SendPacket.SetDataSize();
        if ((cType == 'S' || cType == 'I') && !pFunction->IsForceSetup() && !bChanged) {
            CVLTrace::Output(VLMDVLPC_MODULE, s_szFile, __LINE__, 1,
                             "CVLPC::requestOneFunction() : Skip send packet.(%s)", pFunction->GetKey().GetBuffer());
            return;
        }

        // m_SendPacket keeps the plain payload: replies are matched against it.
        CVLPCPacket cipherPacket;
        CVLPCPacket* pToSend = &m_SendPacket;
        const bool bEnciphered = m_SendPacket.GetEncryptionMode(this, pFormat) != CIPHER_NONE;
        if (bEnciphered) {
            cipherPacket.Assign(m_SendPacket);
            cipherPacket.EncryptData(this, pFormat);
            pToSend = &cipherPacket;
        }

        CVLModuleInstance* pChild = pInstance != nullptr ? pInstance->GetFirstChild() : nullptr;
        if (pChild == nullptr)
            return;
        // Judged again where it leaves: a script run since may have changed
        // what the call holds.
        RefuseDisallowed(pParams, pPacketList, pFunction);
        int nAttempts = m_nRetry;
        if (!bRecv || nAttempts < 1)
            nAttempts = 1;
        for (int nAttempt = 0;; ++nAttempt) {
            try {
                // A new try: what the last one heard is not its answer.
                m_nHeldResult = 0;
                if (pTarget != nullptr)
                    pTarget->SetHeldResult(0);
                if (bEnciphered && pFunction->IsSendUnencryption())
                    SendPacket(pParams, pChild, pFunction, pSendFormat, &m_SendPacket);
                SendPacket(pParams, pChild, pFunction, pSendFormat, pToSend);
                if (nAttempt == 0) {
                    if (pParams != nullptr) {
                        CVLModuleParam* pSent = pParams->GetParam(VLCM_PARAM_SENT_REQUESTS, true);
                        pSent->SetLong(pSent->ToLong(0) + 1);
                    }
                    // Told to the target too, which other threads read
                    // while the call runs.
                    if (pTarget != nullptr)
                        pTarget->NoteRequestSent();
                }
                if (bRecv)
                    RecvPacket(pInstance, pParams, pFunction, pFormat, pSendFormat, &m_SendPacket);
                break;
            } catch (EVLTimeoutException* e) {
                if (nAttempt + 1 >= nAttempts)
                    throw;
                e->Delete();
            }
        }
        m_pLastPacketFormat = pFormat;
        m_pLastDataFormat = pSendFormat;
        m_pLastFunction = pFunction;
        m_LastSendPacket.Assign(m_SendPacket);
    }
    VL_CATCH_LADDER(VLMDVLPC_MODULE, s_szFile)
}

void CVLPC::SendPacket(CVLModuleParamCollection* pParams, CVLModuleInstance* pChild, CVLPCFunction* pFunction,
                       CVLPCPacketDataFormat* pSendFormat, CVLPCPacket* pPacket)
{
    (void)pFunction;
    (void)pSendFormat;
    try {
        CVLModuleParamCollection* pChildParams = pChild->GetParams();
        if (pParams != nullptr)
            *pChildParams = *pParams;
        IVLStream* pStream = pChild->GetSendStream(pChildParams);
        if (!pStream->IsOpen())
            pStream->Open(VL_OPEN_WRITE);
        CVLModuleParam* pTo = pChildParams->Find("toAddress");
        if (pTo != nullptr && pTo->ToString("").GetLength() == 0)
            pChildParams->Remove("toAddress");
        const VL_SIZE_T nSize = static_cast<VL_SIZE_T>(pPacket->GetSize());
        CVLModuleController* pController = pParams != nullptr ? pParams->GetController() : nullptr;
        CVLSubnetInfoList* pSubnets = pController != nullptr ? &pController->GetSubnetInfoList() : nullptr;
        if (m_bUseSubnet && pSubnets != nullptr && pSubnets->GetCount() > 0) {
            for (CVLSubnetInfoIterator it = pSubnets->Begin(); !it.IsEnd(); it.Next()) {
                pChildParams->GetParam("toAddress", true)->SetString(it.Get()->GetBroadcastAddress());
                pStream->Write(pPacket->GetData(), nSize);
                pStream->Flush();
            }
        } else {
            pStream->Write(pPacket->GetData(), nSize);
            pStream->Flush();
        }
    }
    VL_CATCH_LADDER(VLMDVLPC_MODULE, s_szFile)
}

void CVLPC::RecvPacket(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams, CVLPCFunction* pFunction,
                       CVLPCPacketFormat* pFormat, CVLPCPacketDataFormat* pSendFormat, CVLPCPacket* pSent)
{
    try {
        CVLModuleInstance* pChild = pInstance != nullptr ? pInstance->GetFirstChild() : nullptr;
        if (pChild == nullptr)
            return;
        CVLTarget* pTarget = pParams != nullptr ? pParams->GetTarget() : nullptr;
        // A look leaves the try open: its time running out is no answer.
        const bool bLook = ParamIsSet(pParams, VLCM_PARAM_LOOK);
        if (ParamIsSet(pParams, VLCM_PARAM_TRY_OVER)) {
            EndTry(pChild, pTarget, pFormat);
            return;
        }
        m_RecvPacket.Clear();
        CVLModuleParamCollection* pChildParams = pChild->GetParams();
        if (pParams != nullptr)
            *pChildParams = *pParams;
        IVLStream* pStream = pChild->GetSendStream();
        // The remaining time is counted from one start, so that no number of
        // datagrams, however fast they come, stretches the wait.
        CVLStopWatch watch(m_nTimeout);
        watch.Start();
        pChildParams->GetParam(VLCM_PARAM_RETRY, true)->SetInt(1);
        CVLModuleParam* pTimeout = pChildParams->GetParam(VLCM_PARAM_TIMEOUT, true);
        for (;;) {
            pTimeout->SetLong(watch.GetTimeout());
            VL_SIZE_T nRead = 0;
            try {
                nRead = pStream->Read(m_RecvPacket.GetData(), static_cast<VL_SIZE_T>(m_RecvPacket.GetCapacity()));
            } catch (EVLTimeoutException* e) {
                if (bLook || m_nHeldResult == 0) {
                    SetResultProperty(pTarget, pFormat, false, 0);
                    throw;
                }
                e->Delete();
                EndTry(pChild, pTarget, pFormat);
                return;
            }
            if (nRead > static_cast<VL_SIZE_T>(m_RecvPacket.GetCapacity()))
                nRead = static_cast<VL_SIZE_T>(m_RecvPacket.GetCapacity());
            m_RecvPacket.SetSize(static_cast<int>(nRead));
            CVLSock* pSock = CVLSock::Of(pChild);
            m_bReplyFromSecondAddress = pSock != nullptr && pSock->IsLastReadFromSecondAddress();
            int nReply = CheckReply(pTarget, &m_RecvPacket, pSent, pFunction, pFormat, pSendFormat);
            // Only the reply taken speaks for the device: strays leave the
            // result as it is.
            if (nReply == VLPC_REPLY_ACCEPTED || nReply == VLPC_REPLY_QUIET_ERROR)
                SetResultProperty(pTarget, pFormat, true, m_RecvPacket.GetResult());
            pChild->SetLastPacketStatus(nReply == VLPC_REPLY_ACCEPTED ? VLCM_PACKET_STATUS_ACCEPTED
                                        : nReply == VLPC_REPLY_OTHER  ? VLCM_PACKET_STATUS_OTHER
                                                                      : VLCM_PACKET_STATUS_IGNORED);
            if (nReply == VLPC_REPLY_ACCEPTED || nReply == VLPC_REPLY_QUIET_ERROR) {
                m_nHeldResult = 0;
                if (pTarget != nullptr)
                    pTarget->SetHeldResult(0);
                return;
            }
            // What came, for those who watch the wait.
            if (nReply == VLPC_REPLY_HELD && pTarget != nullptr)
                pTarget->SetHeldResult(m_nHeldResult);
            watch.Update();
            if (watch.IsTimeout()) {
                if (bLook) {
                    SetResultProperty(pTarget, pFormat, false, 0);
                    throw new EVLTimeoutException(VLMDVLPC_MODULE, s_szFile, __LINE__, false);
                }
                EndTry(pChild, pTarget, pFormat);
                return;
            }
        }
    }
    VL_CATCH_LADDER(VLMDVLPC_MODULE, s_szFile)
}

void CVLPC::EndTry(CVLModuleInstance* pChild, CVLTarget* pTarget, CVLPCPacketFormat* pFormat)
{
    const unsigned short nResult = m_nHeldResult;
    m_nHeldResult = 0;
    if (nResult == 0) {
        SetResultProperty(pTarget, pFormat, false, 0);
        throw new EVLTimeoutException(VLMDVLPC_MODULE, s_szFile, __LINE__, false);
    }
    // No reply of the device came: the error is its answer.
    SetResultProperty(pTarget, pFormat, true, nResult);
    if (m_bHeldThrows)
        throw new EVLErrorResultException(VLMDVLPC_MODULE, s_szFile, __LINE__,
                                          GetPacketDescription(m_cHeldType, pFormat).GetBuffer(), nResult);
    pChild->SetLastPacketStatus(VLCM_PACKET_STATUS_IGNORED);
}

int CVLPC::HoldError(unsigned short nResult, char cType, bool bThrows)
{
    CVLTrace::Output(VLMDVLPC_MODULE, s_szFile, __LINE__, 1,
                     "CVLPC: error reply %04X held until the try ends (it names no device)", nResult);
    if (m_nHeldResult == 0) {
        m_nHeldResult = nResult;
        m_cHeldType = cType;
        m_bHeldThrows = bThrows;
    }
    return VLPC_REPLY_HELD;
}

int CVLPC::CheckReply(CVLTarget* pTarget, CVLPCPacket* pReply, CVLPCPacket* pSent, CVLPCFunction* pFunction,
                      CVLPCPacketFormat* pFormat, CVLPCPacketDataFormat* pSendFormat)
{
    if (!pReply->IsValidHeaderSize() || !pReply->IsValidMagic() || pReply->GetPacketType() == 0)
        return VLPC_REPLY_OTHER;
    if (!pReply->IsReplyOf(pSent->GetPacketType()) || pReply->GetDeviceType() != pSent->GetDeviceType() ||
        !pReply->IsFunction(pSent->GetFunction()))
        return VLPC_REPLY_OTHER;
    const unsigned short nResult = pReply->GetResult();
    const char cType = static_cast<char>(pReply->GetPacketType());
    if (!m_bUnicast) {
        if (IsError(nResult))
            return VLPC_REPLY_IGNORED;
        if (IsUnsupported(nResult) && nResult != RESULT_UNSUPPORTED_HANDLED)
            return VLPC_REPLY_IGNORED;
    } else {
        // The address the request gives the device may confirm a success,
        // never refuse: a device that refuses keeps its address, and the
        // new one may be another host's.
        if (m_bReplyFromSecondAddress && (IsUnsupported(nResult) || IsError(nResult) || IsErrorWithData(nResult))) {
            CVLTrace::Output(VLMDVLPC_MODULE, s_szFile, __LINE__, 1,
                             "CVLPC: error reply %04X from the address the request gives the device ignored", nResult);
            return VLPC_REPLY_IGNORED;
        }
        // An error reply carries no MAC address: any host that sends from
        // the device's address, or holds it too, could have sent it.
        if (IsUnsupported(nResult))
            return HoldError(nResult, cType, pFunction->IsOnUnsupported());
        if (IsError(nResult))
            return HoldError(nResult, cType, pFunction->IsOnError());
    }
    pReply->DecryptData(this, pFormat);
    CVLPCPacketDataFormat* pRecvFormat =
        pFormat->FindRecvDataFormat(m_pModule, m_nVersion, pReply->GetResultBytes(), cType);
    const bool bHeldThrows = !pFunction->IsErrorWithDataOK() && pFunction->IsOnErrorWithData();
    if (!CheckReplyMACAddress(pReply, pSent, pFormat, pSendFormat, pRecvFormat)) {
        // An error whose data is too short for a MAC address is held, as one
        // without data is: the device may say no more than that. Data that
        // names another device makes it that device's reply: read on.
        if (m_bUnicast && IsErrorWithData(nResult) && !CarriesMAC(pReply, pRecvFormat))
            return HoldError(nResult, cType, bHeldThrows);
        return VLPC_REPLY_IGNORED;
    }
    // An error with data that does not name the device (its layout has no
    // MAC address, or any device is expected) is no surer than no data,
    // whether its function takes it as an error or as a result.
    if (m_bUnicast && IsErrorWithData(nResult) && !NamesTheDevice(pReply, pSent, pSendFormat, pRecvFormat))
        return HoldError(nResult, cType, bHeldThrows);
    const bool bDataError = IsErrorWithData(nResult) && !pFunction->IsErrorWithDataOK();
    bool bError = false;
    bool bThrows = false;
    if (!m_bUnicast && nResult == RESULT_UNSUPPORTED_HANDLED) {
        bError = true;
        bThrows = pFunction->IsOnUnsupported();
    } else if (bDataError) {
        bError = true;
        bThrows = pFunction->IsOnErrorWithData();
    }
    if (bThrows)
        throw new EVLErrorResultException(VLMDVLPC_MODULE, s_szFile, __LINE__,
                                          GetPacketDescription(cType, pFormat).GetBuffer(), nResult);
    if (bError)
        return VLPC_REPLY_QUIET_ERROR;
    if (pRecvFormat != nullptr && pTarget != nullptr)
        pRecvFormat->ExpandPacket(this, pFunction, pReply, pTarget);
    if (pTarget != nullptr && pFunction->IsSaveDeviceNumber()) {
        CVLTargetLock lock(pTarget);
        // Without a "DeviceNumber" entry in the key properties there is
        // nowhere to keep it.
        if (CVLProperty* p = GetKeyProperty(pTarget, "DeviceNumber", true))
            p->SetUChar(pReply->GetDeviceNumber());
    }
    return VLPC_REPLY_ACCEPTED;
}

bool CVLPC::CarriesMAC(CVLPCPacket* pReply, CVLPCPacketDataFormat* pRecvFormat)
{
    const long nOffset = pRecvFormat != nullptr ? pRecvFormat->GetMACAddressOffset() : -1;
    return nOffset >= 0 && pReply->GetSize() >= VLPC_HEADER_SIZE + nOffset + MAC_ADDRESS_LENGTH;
}

bool CVLPC::NamesTheDevice(CVLPCPacket* pReply, CVLPCPacket* pSent, CVLPCPacketDataFormat* pSendFormat,
                           CVLPCPacketDataFormat* pRecvFormat)
{
    if (!CarriesMAC(pReply, pRecvFormat))
        return false;
    VL_BYTE expected[MAC_ADDRESS_LENGTH];
    ExpectedMAC(pSent, pSendFormat, expected);
    if (std::memcmp(expected, ZERO_MAC, MAC_ADDRESS_LENGTH) == 0)
        return false;
    return CheckReplyMACAddress(pReply, pSent, nullptr, pSendFormat, pRecvFormat);
}

bool CVLPC::CheckReplyMACAddress(CVLPCPacket* pReply, CVLPCPacket* pSent, CVLPCPacketFormat* pFormat,
                                 CVLPCPacketDataFormat* pSendFormat, CVLPCPacketDataFormat* pRecvFormat)
{
    (void)pFormat;
    if (pRecvFormat == nullptr)
        return true;
    VL_BYTE expected[MAC_ADDRESS_LENGTH];
    ExpectedMAC(pSent, pSendFormat, expected);
    if (std::memcmp(expected, ZERO_MAC, MAC_ADDRESS_LENGTH) == 0)
        return true;
    const long nRecvOffset = pRecvFormat->GetMACAddressOffset();
    if (nRecvOffset < 0)
        return true;
    if (pReply->GetSize() < VLPC_HEADER_SIZE + nRecvOffset + MAC_ADDRESS_LENGTH)
        return false;
    return std::memcmp(pReply->GetData(static_cast<int>(nRecvOffset), MAC_ADDRESS_LENGTH), expected,
                       MAC_ADDRESS_LENGTH) == 0;
}

void CVLPC::ExpectedMAC(CVLPCPacket* pSent, CVLPCPacketDataFormat* pSendFormat, VL_BYTE* pExpected)
{
    const long nSendOffset = pSendFormat != nullptr ? pSendFormat->GetMACAddressOffset() : -1;
    if (nSendOffset >= 0 && pSent->GetSize() >= VLPC_HEADER_SIZE + nSendOffset + MAC_ADDRESS_LENGTH)
        std::memcpy(pExpected, pSent->GetData(static_cast<int>(nSendOffset), MAC_ADDRESS_LENGTH), MAC_ADDRESS_LENGTH);
    else
        std::memcpy(pExpected, m_MACAddress.GetBytes(), MAC_ADDRESS_LENGTH);
}

void CVLPC::SetResultProperty(CVLTarget* pTarget, CVLPCPacketFormat* pFormat, bool bSet, unsigned short nResult)
{
    if (pTarget == nullptr || pFormat == nullptr || pFormat->GetPropertyPath().GetLength() == 0)
        return;
    CVLTargetLock lock(pTarget);
    CVLProperty* pRoot = pTarget->GetProperties();
    CVLProperty* p = pRoot != nullptr ? pRoot->GetProperty(pFormat->GetPropertyPath().GetBuffer(), true) : nullptr;
    if (p == nullptr)
        return;
    if (bSet)
        p->SetUShort(nResult);
    else
        p->SetType(0);
}

void CVLPC::Recv(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    static const char* const kSignature = "void CVLPC::Recv(CVLModuleInstance* pInstance, "
                                          "CVLModuleParamCollection* pParams)";
    CVLTrace::FunctionIn(VLMDVLPC_MODULE, s_szFile, __LINE__, kSignature);
    try {
        if (m_pLastFunction == nullptr)
            throw new EVLTimeoutException(VLMDVLPC_MODULE, s_szFile, __LINE__, false);
        const int nAttempts = m_nRetry < 1 ? 1 : m_nRetry;
        for (int nAttempt = 0;; ++nAttempt) {
            try {
                RecvPacket(pInstance, pParams, m_pLastFunction, m_pLastPacketFormat, m_pLastDataFormat,
                           &m_LastSendPacket);
                break;
            } catch (EVLTimeoutException* e) {
                if (nAttempt + 1 >= nAttempts)
                    throw;
                e->Delete();
            }
        }
    }
    VL_CATCH_LADDER(VLMDVLPC_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLMDVLPC_MODULE, s_szFile, __LINE__, kSignature);
}
