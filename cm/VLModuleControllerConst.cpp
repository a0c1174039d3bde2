// Constants on three levels, the walk of the "ModuleMapping" document that
// builds the function definitions, module lookup and the option tree.
#include "cm/VLModuleController.h"

#include <list>

#include "cm/VLCMDefs.h"
#include "cm/VLModule.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProperty.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLNotExistException.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "base/xml/VLXmlElement.h"
#include "base/xml/VLXmlNodeIterator.h"
#include "base/xml/VLXmlNodeList.h"

const char* const s_szFile = "VLModuleController";

namespace {

// Key prefixes of the three levels. The common level's scope text is "."
// itself, so its keys carry three dots between "_com_" and the name.
const char* const kCommonPrefix = "_com_.";
const char* const kCommonScope = ".";
const char* const kModulePrefix = "_mod_.";
const char* const kInstancePrefix = "_ins_.";

// Definitions nest no deeper than the XML reader lets a document nest; a
// document built some other way is held to the same bound.
const int kMaxMappingDepth = 100;
thread_local int t_nMappingDepth = 0;

class CMappingDepthGuard
{
public:
    CMappingDepthGuard()
    {
        if (t_nMappingDepth >= kMaxMappingDepth)
            throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, __LINE__);
        ++t_nMappingDepth;
    }
    ~CMappingDepthGuard() { --t_nMappingDepth; }
};

// The smallest value that can be a reference: "%", one character, "%".
const int kMinReferenceLength = 3;

}  // namespace

CVLString CVLModuleController::MakeCommonKey(const CVLString& strName)
{
    CVLString strKey(kCommonPrefix, VL_CHARSET_UTF8);
    strKey += kCommonScope;
    strKey += ".";
    strKey += strName;
    return strKey;
}

CVLString CVLModuleController::MakeModuleKey(const CVLString& strModule, const CVLString& strName)
{
    CVLString strKey(kModulePrefix, VL_CHARSET_UTF8);
    strKey += strModule;
    strKey += ".";
    strKey += strName;
    return strKey;
}

CVLString CVLModuleController::MakeInstanceKey(const CVLString& strInstance, const CVLString& strName)
{
    CVLString strKey(kInstancePrefix, VL_CHARSET_UTF8);
    strKey += strInstance;
    strKey += ".";
    strKey += strName;
    return strKey;
}

void CVLModuleController::SetConst(VL_CONST_STR szConstName, VL_CONST_STR szValue, VL_CONST_STR szModuleName,
                                   VL_CONST_STR szInstanceName)
{
    static const char* const kSignature =
        "void CVLModuleController::SetConst(VL_CONST_STR szConstName, VL_CONST_STR szValue, "
        "VL_CONST_STR szModuleName, VL_CONST_STR szInstanceName)";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        CVLThreadLock lock(&m_SyncOptions);
        if (lock.Lock()) {
            CVLString strName(szConstName, VL_CHARSET_UTF8);
            CVLString strModule(szModuleName, VL_CHARSET_UTF8);
            CVLString strInstance(szInstanceName, VL_CHARSET_UTF8);
            if (strName.GetLength() == 0)
                throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, __LINE__);
            CVLString strKey(VL_CHARSET_UTF8);
            if (strInstance.GetLength() > 0)
                strKey = MakeInstanceKey(strInstance, strName);
            else if (strModule.GetLength() > 0)
                strKey = MakeModuleKey(strModule, strName);
            else
                strKey = MakeCommonKey(strName);
            if (szValue == nullptr)
                m_UserConstMap.erase(strKey);
            else
                m_UserConstMap[strKey] = CVLString(szValue, VL_CHARSET_UTF8);
        }
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
}

bool CVLModuleController::FindConst(VL_CONST_STR szConstName, CVLString& strValue, VL_CONST_STR szModuleName,
                                    VL_CONST_STR szInstanceName)
{
    CVLThreadLock lock(&m_SyncOptions);
    if (!lock.Lock())
        return false;
    CVLString strName(szConstName, VL_CHARSET_UTF8);
    CVLString strModule(szModuleName, VL_CHARSET_UTF8);
    CVLString strInstance(szInstanceName, VL_CHARSET_UTF8);
    if (strName.GetLength() == 0)
        throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, __LINE__);
    if (strInstance.GetLength() > 0) {
        if (GetConstValue(MakeInstanceKey(strInstance, strName), strValue))
            return true;
        if (strModule.GetLength() == 0) {
            CVLModInstanceInfo* pInfo = FindModule(strInstance.GetBuffer());
            if (pInfo != nullptr && pInfo->GetModule() != nullptr)
                strModule = pInfo->GetModule()->GetModuleName();
        }
    }
    if (strModule.GetLength() > 0 && GetConstValue(MakeModuleKey(strModule, strName), strValue))
        return true;
    return GetConstValue(MakeCommonKey(strName), strValue);
}

bool CVLModuleController::GetConstValue(const CVLString& key, CVLString& strValue)
{
    auto it = m_UserConstMap.find(key);
    if (it != m_UserConstMap.end()) {
        strValue = it->second;
        return true;
    }
    it = m_ConstMap.find(key);
    if (it != m_ConstMap.end()) {
        strValue = it->second;
        return true;
    }
    return false;
}

void CVLModuleController::LoadConsts(CVLModule* pModule, CVLModInstanceInfo* pParent, IVLXmlNode* pElement,
                                     VL_CONST_STR szParentTag)
{
    if (pElement == nullptr)
        return;
    CMappingDepthGuard depth;
    CVLString strParentTag(szParentTag, VL_CHARSET_UTF8);
    CVLXmlNodeList* pChildren = pElement->GetChildNodes();
    if (pChildren == nullptr)
        return;
    for (CVLXmlNodeIterator it = pChildren->Begin(); !it.IsEnd(); it.Next()) {
        IVLXmlNode* pNode = it.Get();
        if (pNode == nullptr || pNode->GetNodeType() != VLXML_NODE_ELEMENT)
            continue;
        CVLXmlElement* pChild = static_cast<CVLXmlElement*>(pNode);
        CVLString strName = pChild->GetAttribute("name");
        const CVLString& strTag = pChild->GetTagNameRef();
        if (strTag == "Module") {
            CVLModule* pChildModule = GetModule(strName.GetBuffer());
            if (pChildModule != nullptr)
                LoadConsts(pChildModule, nullptr, pChild, "Module");
        } else if (strTag == "Instance") {
            if (pParent == nullptr)
                continue;
            CVLString strModuleName = pChild->GetAttribute("module");
            CVLModule* pInstanceModule = GetModule(strModuleName.GetBuffer());
            if (pInstanceModule == nullptr) {
                // With no module registered at all (no registration
                // installed), every function would be missing: say so here
                // rather than at the first call.
                if (m_StaticModuleMap.empty()) {
                    CVLString strWhat(strModuleName);
                    strWhat += " (no module is registered)";
                    throw new EVLNotExistException(VLCMAPI_MODULE, s_szFile, __LINE__, strWhat.GetBuffer());
                }
                continue;
            }
            CVLString strFullName(VL_CHARSET_UTF8);
            if (pParent->GetName().GetLength() > 0) {
                strFullName = pParent->GetName();
                strFullName += ".";
            }
            strFullName += strName;
            CVLModInstanceInfo* pInfo = pParent->Add(strFullName.GetBuffer());
            pInfo->SetLocalName(strName.GetBuffer());
            pInfo->Load(pChild);
            pInfo->SetModule(pInstanceModule);
            {
                // Filed complete: constant lookups of other threads read it.
                CVLThreadLock options(&m_SyncOptions);
                options.Lock();
                m_InstancePathMap[pInfo->GetName()] = pInfo;
            }
            LoadConsts(pInstanceModule, pInfo, pChild, "Instance");
        } else if (strTag == "Const") {
            if (strName.GetLength() == 0)
                continue;
            CVLString strKey(VL_CHARSET_UTF8);
            if (strParentTag == "Module") {
                CVLString strScope(VL_CHARSET_UTF8);
                if (pModule != nullptr)
                    strScope = pModule->GetModuleName();
                strKey = MakeModuleKey(strScope, strName);
            } else if (strParentTag == "Instance") {
                CVLString strScope(VL_CHARSET_UTF8);
                if (pParent != nullptr)
                    strScope = pParent->GetName();
                strKey = MakeInstanceKey(strScope, strName);
            } else {
                strKey = MakeCommonKey(strName);
            }
            CVLString strValue = pChild->GetAttribute("value");
            int nLength = strValue.GetLength();
            if (nLength >= kMinReferenceLength && strValue.GetAt(0) == '%' && strValue.GetAt(nLength - 1) == '%') {
                CVLString strReference = strValue.Mid(1, nLength - 2);
                FindConst(strReference.GetBuffer(), strValue, nullptr, nullptr);
            }
            CVLThreadLock options(&m_SyncOptions);
            options.Lock();
            m_ConstMap[strKey] = strValue;
        }
    }
}

CVLModInstanceInfo* CVLModuleController::FindModule(VL_CONST_STR szInstancePath)
{
    CVLThreadLock options(&m_SyncOptions);
    options.Lock();
    auto it = m_InstancePathMap.find(CVLString(szInstancePath, VL_CHARSET_UTF8));
    return it == m_InstancePathMap.end() ? nullptr : it->second;
}

CVLModule* CVLModuleController::GetModule(VL_CONST_STR szModuleName)
{
    auto it = m_StaticModuleMap.find(CVLString(szModuleName, VL_CHARSET_UTF8));
    if (it == m_StaticModuleMap.end() || it->second == nullptr)
        return nullptr;
    InitializeModule(it->second);
    return it->second;
}

void CVLModuleController::InitializeModule(CVLModule* pModule)
{
    if (pModule == nullptr || pModule->IsInit())
        return;
    CVLModuleParamCollection params;
    params.SetController(this);
    pModule->Initialize(&params);
}

void CVLModuleController::RemoveAllModuleStaticLibraries()
{
    static const char* const kSignature = "void CVLModuleController::RemoveAllModuleStaticLibraries()";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    CVLModuleParamCollection params;
    params.SetController(this);
    std::map<CVLString, CVLModule*> modules;
    modules.swap(m_StaticModuleMap);
    std::list<CVLModule*> retired;
    retired.swap(m_RetiredModuleList);
    // Every module is deleted even when another one fails to terminate;
    // modules replaced while the framework ran go after the registered ones.
    std::list<CVLModule*> all;
    for (auto& entry : modules)
        all.push_back(entry.second);
    all.splice(all.end(), retired);
    CVLExceptionOwner first;
    for (CVLModule* pModule : all) {
        try {
            pModule->Terminate(&params);
        } catch (EVLException* pException) {
            first.KeepFirst(pException);
        }
        delete pModule;
    }
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    first.ThrowIfAny();
}

CVLProperty* CVLModuleController::GetOptions()
{
    static const char* const kSignature = "CVLProperty* CVLModuleController::GetOptions()";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    CVLThreadLock lock(&m_SyncOptions);
    if (!lock.Lock())
        return nullptr;
    if (m_pOptionRoot == nullptr) {
        CVLProperty* pRoot = NewProperty(nullptr);
        if (pRoot == nullptr)
            throw new EVLMemoryAllocException(VLCMAPI_MODULE, s_szFile, __LINE__);
        m_pOptionRoot = pRoot;
    }
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    return m_pOptionRoot;
}

void CVLModuleController::LockOptions()
{
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, "void CVLModuleController::LockOptions()");
    Lock();
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, "void CVLModuleController::LockOptions()");
}

void CVLModuleController::UnlockOptions()
{
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, "void CVLModuleController::UnlockOptions()");
    Unlock();
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, "void CVLModuleController::UnlockOptions()");
}
