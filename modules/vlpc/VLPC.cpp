#include "modules/vlpc/VLPC.h"

#include <cstdint>

#include "base/core/VLCharset.h"
#include "base/core/VLTrace.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetLock.h"
#include "modules/vlpc/VLMDVLPC.h"
#include "modules/vlpc/VLPCDefs.h"
#include "modules/vlpc/VLPCPacketFormat.h"

namespace {

const char* const s_szFile = "VLPC";
const int DEFAULT_RETRY = 1;
const int DEFAULT_TIMEOUT_MS = 10000;
const int MAC_ADDRESS_LENGTH = 6;

}  // namespace

CVLPC::CVLPC(CVLMDVLPC* pModule)
    : m_nVersion(0), m_nEncryptionMode(0), m_nEncryptionType(0), m_nDeviceNumber(0), m_bUseSubnet(false),
      m_nRetry(DEFAULT_RETRY), m_nTimeout(DEFAULT_TIMEOUT_MS), m_bUnicast(true), m_pLastPacketFormat(nullptr),
      m_pLastDataFormat(nullptr), m_pLastFunction(nullptr), m_nHeldResult(0), m_cHeldType(0), m_bHeldThrows(false),
      m_bReplyFromSecondAddress(false), m_pModule(pModule)
{
}

CVLPC::~CVLPC()
{
}

void CVLPC::CreateInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    CVLTrace::FunctionIn(VLMDVLPC_MODULE, s_szFile, __LINE__, "void CVLPC::CreateInstance()");
    IVLModInstanceIF::CreateInstance(pInstance, pParams);
    CVLTrace::FunctionOut(VLMDVLPC_MODULE, s_szFile, __LINE__, "void CVLPC::CreateInstance()");
}

void CVLPC::DestroyInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    (void)pInstance;
    (void)pParams;
    CVLTrace::FunctionIn(VLMDVLPC_MODULE, s_szFile, __LINE__, "void CVLPC::DestroyInstance()");
    CVLTrace::FunctionOut(VLMDVLPC_MODULE, s_szFile, __LINE__, "void CVLPC::DestroyInstance()");
}

void CVLPC::Stop(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    (void)pInstance;
    if (CVLTrace::IsEnabled())
        CVLTrace::Output(VLMDVLPC_MODULE, s_szFile, __LINE__, 1, "Instance=%08x, MethodName=%s",
                         static_cast<unsigned int>(reinterpret_cast<uintptr_t>(this)),
                         pParams != nullptr ? pParams->GetMethodName().GetBuffer() : "");
}

CVLProperty* CVLPC::GetKeyProperty(CVLTarget* pTarget, const char* szName, bool bCreate)
{
    if (pTarget == nullptr || m_pModule == nullptr)
        return nullptr;
    const CVLString* pPath = m_pModule->FindKeyPropertyPath(szName);
    if (pPath == nullptr)
        return nullptr;
    CVLProperty* pRoot = pTarget->GetProperties();
    return pRoot != nullptr ? pRoot->GetProperty(pPath->GetBuffer(), bCreate) : nullptr;
}

void CVLPC::LoadTargetProperties(CVLModuleParamCollection* pParams)
{
    m_nEncryptionMode = 0;
    m_nEncryptionType = 0;
    m_nDeviceNumber = 0;
    m_MACAddress.Clear();
    unsigned char nVersionByte = 0;
    CVLTarget* pTarget = pParams != nullptr ? pParams->GetTarget() : nullptr;
    if (pTarget != nullptr) {
        CVLTargetLock lock(pTarget);
        if (CVLProperty* p = GetKeyProperty(pTarget, "VLPCVersion", false))
            nVersionByte = p->ToUChar(0);
        if (CVLProperty* p = GetKeyProperty(pTarget, "DeviceNumber", false))
            m_nDeviceNumber = p->ToUChar(0);
        if (CVLProperty* p = GetKeyProperty(pTarget, "EncryptionMode", false))
            m_nEncryptionMode = p->ToUChar(0);
        if (CVLProperty* p = GetKeyProperty(pTarget, "EncryptionType", false))
            m_nEncryptionType = p->ToUChar(0);
        if (CVLProperty* p = GetKeyProperty(pTarget, "MACAddress", false)) {
            if (p->GetType() == VL_VARIANT_TYPE_BINARY && p->GetSize() == MAC_ADDRESS_LENGTH)
                m_MACAddress.SetBytes(p->ToByteArray(nullptr, 0).GetData());
            else
                m_MACAddress.Parse(p->ToString("").GetBuffer());
        }
    }
    m_nVersion = m_pModule != nullptr ? m_pModule->GetVersionNumber(static_cast<char>(nVersionByte)) : 0;
}

CVLPCPacketFormat* CVLPC::FindPacketFormat(const CVLString& strKey)
{
    return m_pModule != nullptr ? m_pModule->FindPacketFormat(strKey) : nullptr;
}

CVLString CVLPC::GetPacketDescription(char cType, CVLPCPacketFormat* pFormat)
{
    CVLString strText("VLPC", VL_CHARSET_UTF8);
    if (pFormat == nullptr)
        return strText;
    strText += "(";
    strText += pFormat->GetDeviceType();
    strText += "-";
    strText += pFormat->GetFunction();
    strText += " ";
    strText += static_cast<char>(cType - VLPC_REPLY_LETTER_OFFSET);
    strText += ")";
    return strText;
}
