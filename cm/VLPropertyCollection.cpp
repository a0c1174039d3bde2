#include "cm/VLPropertyCollection.h"

#include <cstring>

#include "base/core/VLCharset.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLMemoryAllocException.h"
#include "cm/VLCMApi.h"
#include "cm/VLModuleController.h"

namespace {

const char* const s_szFile = "VLPropertyCollection";

}  // namespace

CVLPropertyCollection::CVLPropertyCollection(CVLCMApi* pApi, CVLProperty* pOwner)
    : CVLApiObject(pApi), m_pOwnerProperty(pOwner)
{
}

CVLPropertyCollection::~CVLPropertyCollection() {}

void CVLPropertyCollection::Destroy()
{
    try {
        CVLModuleController* pController = GetModuleController();
        if (pController != nullptr) {
            pController->DeletePropertyCollection(this);
        } else {
            // Without a controller nobody else can free it: do the
            // controller's steps with the default deletion.
            RemoveAll();
            OnDelete();
            delete this;
        }
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

CVLProperty* CVLPropertyCollection::Create(const char* szName)
{
    if (szName != nullptr && std::strchr(szName, '.') != nullptr)
        throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, __LINE__);
    if (m_pOwnerProperty != nullptr && m_pOwnerProperty->GetDepth() >= VLCM_PROPERTY_MAX_DEPTH)
        throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, __LINE__);
    CVLCMApi* pApi = GetApi();
    CVLProperty* pProperty = pApi == nullptr ? nullptr : pApi->NewProperty(m_pOwnerProperty);
    if (pProperty == nullptr)
        throw new EVLMemoryAllocException(VLCMAPI_MODULE, "VLModuleController", __LINE__);
    try {
        pProperty->SetName(szName);
    } catch (...) {
        pProperty->Destroy();
        throw;
    }
    return pProperty;
}

CVLProperty* CVLPropertyCollection::Insert(int nPosition, const char* szName)
{
    if (szName == nullptr || szName[0] == '\0' || Find(szName) != nullptr)
        throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, __LINE__);
    CVLProperty* pProperty = Create(szName);
    auto it = m_List.begin();
    for (int i = 0; i < nPosition && it != m_List.end(); ++i)
        ++it;
    m_List.insert(it, pProperty);
    m_Map[MakeKey(szName)] = pProperty;
    return pProperty;
}

void CVLPropertyCollection::Delete(CVLProperty* pProperty)
{
    if (pProperty != nullptr)
        pProperty->Destroy();
}

void CVLPropertyCollection::OnDelete() {}

CVLProperty* CVLPropertyCollection::SetAt(const char* szKey, const CVLProperty* pValue)
{
    return CloneElement(szKey, pValue);
}

void CVLPropertyCollection::Assign(const CVLPropertyCollection& src)
{
    if (&src == this)
        return;
    RemoveAll();
    Append(src);
}

void CVLPropertyCollection::Copy(const CVLPropertyCollection& src)
{
    if (&src == this)
        return;
    Append(src);
}

CVLPropertyCollection& CVLPropertyCollection::operator=(const CVLPropertyCollection& src)
{
    Assign(src);
    return *this;
}

void CVLPropertyCollection::DeleteElement(CVLProperty* p)
{
    Delete(p);
}

CVLProperty* CVLPropertyCollection::CreateElement(const char* szKey)
{
    return Create(szKey);
}

CVLProperty* CVLPropertyCollection::FindSegment(const char* pKey, int nLength) const
{
    return FindKey(CVLString(pKey, nLength, VL_CHARSET_UTF8));
}
