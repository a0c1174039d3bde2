#include "cm/VLModInstanceInfo.h"

#include "cm/VLCMDefs.h"
#include "cm/VLDefineFormatException.h"
#include "cm/VLModule.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "base/core/VLException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLNullObjectException.h"
#include "base/xml/VLXmlElement.h"

const char* const s_szFile = "VLModInstanceInfo";

CVLModInstanceInfo::CVLModInstanceInfo()
    : m_pXmlElement(nullptr), m_pModule(nullptr), m_strName(VL_CHARSET_UTF8), m_strLocalName(VL_CHARSET_UTF8),
      m_strMethod(VL_CHARSET_UTF8), m_strMethodRecv(VL_CHARSET_UTF8), m_strModuleName(VL_CHARSET_UTF8),
      m_strOnStartMethod(VL_CHARSET_UTF8), m_strOnEndMethod(VL_CHARSET_UTF8)
{
}

CVLModInstanceInfo::~CVLModInstanceInfo()
{
    RemoveAll();
}

void CVLModInstanceInfo::DeleteElement(CVLModInstanceInfo* p)
{
    delete p;
}

CVLModInstanceInfo* CVLModInstanceInfo::CreateElement(const char* szKey)
{
    CVLModInstanceInfo* p = new CVLModInstanceInfo();
    p->SetName(szKey);
    return p;
}

void CVLModInstanceInfo::Load(CVLXmlElement* pElement)
{
    try {
        if (pElement == nullptr)
            throw new EVLNullObjectException(VLCMAPI_MODULE, s_szFile, __LINE__);
        m_pXmlElement = pElement;
        m_strModuleName = pElement->GetAttribute("module");
        if (m_strModuleName.GetLength() == 0)
            throw new EVLDefineFormatException(VLCMAPI_MODULE, s_szFile, __LINE__, pElement,
                                               "module");
        m_strMethod = pElement->GetAttribute("method");
        if (m_strMethod.GetLength() == 0)
            m_strMethod = m_strName;
        m_strMethodRecv = pElement->GetAttribute("methodRecv");
        if (m_strMethodRecv.GetLength() == 0)
            m_strMethodRecv = m_strMethod;
        m_strOnStartMethod = pElement->GetAttribute("onStartMethod");
        m_strOnEndMethod = pElement->GetAttribute("onEndMethod");
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLModInstanceInfo::SetLocalName(VL_CONST_STR szName)
{
    m_strLocalName = szName;
}

void CVLModInstanceInfo::SetModule(CVLModule* pModule)
{
    m_pModule = pModule;
}

CVLModuleInstance* CVLModInstanceInfo::CreateInstance(CVLModuleParamCollection* pParams, CVLModuleInstance* pParent)
{
    try {
        if (pParams == nullptr)
            throw new EVLNullObjectException(VLCMAPI_MODULE, s_szFile, __LINE__);
        CVLModuleController* pController = pParams->GetController();
        if (pController != nullptr && !pController->CanCreateInstance(this))
            return nullptr;
        if (m_pModule == nullptr)
            throw new EVLNullObjectException(VLCMAPI_MODULE, s_szFile, __LINE__);

        // The instance is made before the implementation, so that a failure
        // on either side leaves no implementation behind unreturned.
        CVLModuleInstance* pInstance = nullptr;
        CVLString strKey(m_strName);
        if (pParent != nullptr) {
            if (strKey.GetLength() == 0)
                strKey.SetLong(pParent->GetCount());
            pInstance = pParent->Add(strKey.GetBuffer());
            // A child belongs to the same framework as its parent.
            if (pInstance != nullptr) {
                pInstance->CopyApi(*pParent);
                pInstance->SetParent(pParent);
            }
        } else
            pInstance = new CVLModuleInstance(pController == nullptr ? nullptr : pController->GetApi());
        if (pInstance == nullptr)
            throw new EVLMemoryAllocException(VLCMAPI_MODULE, s_szFile, __LINE__);

        IVLModInstanceIF* pInstanceIF = nullptr;
        try {
            pInstanceIF = m_pModule->CreateInstance(this, pParams);
            if (pInstanceIF == nullptr)
                throw new EVLMemoryAllocException(VLCMAPI_MODULE, s_szFile, __LINE__);
        } catch (...) {
            if (pParent != nullptr)
                pParent->Remove(strKey.GetBuffer());
            else
                delete pInstance;
            throw;
        }

        try {
            pInstance->Initialize(pInstanceIF, this, pParams);
        } catch (...) {
            // A child stays in its parent, whose own failure releases it.
            if (pParent == nullptr) {
                try {
                    pInstance->Release();
                } catch (EVLException* pException) {
                    pException->Delete();
                }
                delete pInstance;
            }
            throw;
        }
        return pInstance;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

int CVLModInstanceInfo::GetPacketCount(VL_CONST_STR szName)
{
    int nCount = m_pModule == nullptr ? 0 : m_pModule->GetPacketCount(szName);
    for (CVLModInstanceInfoIterator it = Begin(); !it.IsEnd(); it.Next())
        nCount += it.Get()->GetPacketCount(szName);
    return nCount;
}

void CVLModInstanceInfo::AddPacketListNames(std::set<std::string>& names) const
{
    if (m_pModule != nullptr)
        m_pModule->AddPacketListNames(names);
    for (CVLModInstanceInfoConstIterator it = ConstBegin(); !it.IsEnd(); it.Next())
        it.Get()->AddPacketListNames(names);
}

void CVLModInstanceInfo::AddPacketListRequests(CVLModuleController* pController, VL_CONST_STR szName,
                                               SVLPacketListRequests& list) const
{
    if (m_pModule != nullptr)
        m_pModule->AddPacketListRequests(pController, this, szName, list);
    for (CVLModInstanceInfoConstIterator it = ConstBegin(); !it.IsEnd(); it.Next())
        it.Get()->AddPacketListRequests(pController, szName, list);
}

void CVLModInstanceInfo::AddInstanceNames(std::vector<std::string>& names) const
{
    for (CVLModInstanceInfoConstIterator it = ConstBegin(); !it.IsEnd(); it.Next()) {
        names.push_back(it.Get()->GetName().GetString());
        it.Get()->AddInstanceNames(names);
    }
}
