#include "cm/VLModuleParamCollection.h"

#include <utility>

#include "cm/VLAllowedRequests.h"
#include "cm/VLModuleInstance.h"

CVLModuleParamCollection::CVLModuleParamCollection()
    : m_pController(nullptr), m_pInstance(nullptr), m_pOwnerInstance(nullptr), m_pTarget(nullptr),
      m_pTargetList(nullptr), m_pStreamCollection(nullptr), m_pListener(nullptr), m_pProgressListener(nullptr),
      m_strTemplateName(VL_CHARSET_UTF8), m_strFunctionName(VL_CHARSET_UTF8), m_strPacketListName(VL_CHARSET_UTF8),
      m_strMethodName(VL_CHARSET_UTF8)
{
}

CVLModuleParamCollection::CVLModuleParamCollection(const CVLModuleParamCollection& src) : CVLModuleParamCollection()
{
    *this = src;
}

CVLModuleParamCollection::~CVLModuleParamCollection()
{
    RemoveAll();
}

CVLModuleParam* CVLModuleParamCollection::Find(const char* szName) const
{
    CVLModuleParam* p = Base::Find(szName);
    if (p != nullptr || m_pOwnerInstance == nullptr)
        return p;
    CVLString strName(m_pOwnerInstance->GetName());
    strName += ".";
    strName += szName == nullptr ? "" : szName;
    p = FindKey(strName);
    if (p != nullptr)
        return p;
    strName = m_pOwnerInstance->GetModuleName();
    strName += ".";
    strName += szName == nullptr ? "" : szName;
    return FindKey(strName);
}

void CVLModuleParamCollection::DeleteElement(CVLModuleParam* p)
{
    delete p;
}

CVLModuleParam* CVLModuleParamCollection::CreateElement(const char* szKey)
{
    CVLModuleParam* p = new CVLModuleParam();
    p->SetName(szKey);
    return p;
}

void CVLModuleParamCollection::SetOwnerInstance(CVLModuleInstance* pInstance)
{
    m_pOwnerInstance = pInstance;
}

void CVLModuleParamCollection::SetController(CVLModuleController* pController)
{
    m_pController = pController;
}

CVLModuleController* CVLModuleParamCollection::GetController() const
{
    return m_pController;
}

void CVLModuleParamCollection::SetTarget(CVLTarget* pTarget)
{
    m_pTarget = pTarget;
}

CVLTarget* CVLModuleParamCollection::GetTarget() const
{
    return m_pTarget;
}

void CVLModuleParamCollection::SetTargetList(CVLTargetList* pTargetList)
{
    m_pTargetList = pTargetList;
}

CVLTargetList* CVLModuleParamCollection::GetTargetList() const
{
    return m_pTargetList;
}

void CVLModuleParamCollection::SetInstance(CVLModuleInstance* pInstance)
{
    m_pInstance = pInstance;
}

CVLModuleInstance* CVLModuleParamCollection::GetInstance() const
{
    return m_pInstance;
}

void CVLModuleParamCollection::SetFunctionName(const char* szName)
{
    m_strFunctionName = szName;
}

CVLString& CVLModuleParamCollection::GetFunctionName()
{
    return m_strFunctionName;
}

void CVLModuleParamCollection::SetPacketListName(const char* szName)
{
    m_strPacketListName = szName;
}

CVLString& CVLModuleParamCollection::GetPacketListName()
{
    return m_strPacketListName;
}

void CVLModuleParamCollection::SetMethodName(const char* szName)
{
    m_strMethodName = szName;
}

CVLString& CVLModuleParamCollection::GetMethodName()
{
    return m_strMethodName;
}

void CVLModuleParamCollection::SetTemplateName(const char* szName)
{
    m_strTemplateName = szName;
}

CVLString& CVLModuleParamCollection::GetTemplateName()
{
    return m_strTemplateName;
}

void CVLModuleParamCollection::SetListener(IVLFunctionListener* pListener)
{
    m_pListener = pListener;
}

IVLFunctionListener* CVLModuleParamCollection::GetListener() const
{
    return m_pListener;
}

void CVLModuleParamCollection::SetProgressListener(IVLProgressListener* pListener)
{
    m_pProgressListener = pListener;
}

IVLProgressListener* CVLModuleParamCollection::GetProgressListener() const
{
    return m_pProgressListener;
}

void CVLModuleParamCollection::SetStreamCollection(CVLStreamCollection* pStreams)
{
    m_pStreamCollection = pStreams;
}

CVLStreamCollection* CVLModuleParamCollection::GetStreamCollection() const
{
    return m_pStreamCollection;
}

CVLModuleParamCollection& CVLModuleParamCollection::operator=(const CVLModuleParamCollection& src)
{
    if (&src == this)
        return *this;
    RemoveAll();
    for (CVLModuleParamConstIterator it = src.ConstBegin(); !it.IsEnd(); it.Next()) {
        CVLModuleParam* pSource = it.Get();
        CVLModuleParam* pCopy = CreateElement(pSource->GetName().GetBuffer());
        *pCopy = *pSource;
        Base::Add(pCopy->GetName().GetBuffer(), pCopy);
    }
    m_pController = src.m_pController;
    m_pTarget = src.m_pTarget;
    m_pTargetList = src.m_pTargetList;
    m_strFunctionName = src.m_strFunctionName;
    m_strMethodName = src.m_strMethodName;
    m_pListener = src.m_pListener;
    m_pProgressListener = src.m_pProgressListener;
    m_pStreamCollection = src.m_pStreamCollection;
    m_strTemplateName = src.m_strTemplateName;
    m_pInstance = src.m_pInstance;
    m_strPacketListName = src.m_strPacketListName;
    m_pAllowedRequests = src.m_pAllowedRequests;
    return *this;
}

void CVLModuleParamCollection::SetAllowedRequests(std::shared_ptr<const CVLAllowedRequests> pAllowed)
{
    m_pAllowedRequests = std::move(pAllowed);
}

bool CVLModuleParamCollection::IsRequestAllowed(const std::string& strRequest) const
{
    return m_pAllowedRequests == nullptr || m_pAllowedRequests->Contains(strRequest);
}

CVLModuleParam* CVLModuleParamCollection::GetParam(const char* szName, bool bCreate)
{
    CVLModuleParam* p = Find(szName);
    if (p == nullptr && bCreate)
        p = Add(szName);
    return p;
}

CVLVariant& CVLModuleParamCollection::GetResult()
{
    return m_Result;
}
