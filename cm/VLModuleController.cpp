#include "cm/VLModuleController.h"

#include "base/core/VLMemoryAllocException.h"
#include "base/xml/VLXmlDocument.h"
#include "cm/VLProperty.h"
#include "cm/VLPropertyCollection.h"

namespace {

const char* const s_szFile = "VLModuleController";

// The default hooks create the framework's own classes.
CVLProperty* DefaultNewProperty(CVLCMApi* pApi, CVLProperty* pParent)
{
    return new CVLProperty(pApi, pParent);
}

void DefaultDeleteProperty(CVLCMApi*, CVLProperty* pProperty)
{
    delete pProperty;
}

CVLPropertyCollection* DefaultNewPropertyCollection(CVLCMApi* pApi, CVLProperty* pOwner)
{
    return new CVLPropertyCollection(pApi, pOwner);
}

void DefaultDeletePropertyCollection(CVLCMApi*, CVLPropertyCollection* pCollection)
{
    delete pCollection;
}

}  // namespace

CVLModuleController::CVLModuleController(CVLCMApi* pApi)
    : CVLApiObject(pApi),
      m_pPropertyTreeDocument(nullptr),
      m_pNewPropertyFunc(DefaultNewProperty),
      m_pNewPropertyCollectionFunc(DefaultNewPropertyCollection),
      m_pDeletePropertyFunc(DefaultDeleteProperty),
      m_pDeletePropertyCollectionFunc(DefaultDeletePropertyCollection)
{
}

CVLModuleController::~CVLModuleController() {}

CVLSubnetInfoList& CVLModuleController::GetSubnetInfoList()
{
    return m_SubnetInfoList;
}

CVLProperty* CVLModuleController::NewProperty(CVLProperty* pParent)
{
    if (m_pNewPropertyFunc == nullptr)
        return nullptr;
    CVLProperty* pProperty = m_pNewPropertyFunc(GetApi(), pParent);
    if (pProperty == nullptr)
        throw new EVLMemoryAllocException(VLCMAPI_MODULE, s_szFile, __LINE__);
    return pProperty;
}

void CVLModuleController::DeleteProperty(CVLProperty* pProperty)
{
    if (pProperty == nullptr)
        return;
    pProperty->OnDestroy();
    if (m_pDeletePropertyFunc != nullptr)
        m_pDeletePropertyFunc(GetApi(), pProperty);
}

CVLPropertyCollection* CVLModuleController::NewPropertyCollection(CVLProperty* pOwner)
{
    if (m_pNewPropertyCollectionFunc == nullptr)
        return nullptr;
    CVLPropertyCollection* pCollection = m_pNewPropertyCollectionFunc(GetApi(), pOwner);
    if (pCollection == nullptr)
        throw new EVLMemoryAllocException(VLCMAPI_MODULE, s_szFile, __LINE__);
    return pCollection;
}

void CVLModuleController::DeletePropertyCollection(CVLPropertyCollection* pCollection)
{
    if (pCollection == nullptr)
        return;
    pCollection->RemoveAll();
    pCollection->OnDestroy();
    if (m_pDeletePropertyCollectionFunc != nullptr)
        m_pDeletePropertyCollectionFunc(GetApi(), pCollection);
}

CVLProperty* CVLModuleController::NewRootProperty()
{
    CVLProperty* pRoot = NewProperty(nullptr);
    if (pRoot == nullptr)
        throw new EVLMemoryAllocException(VLCMAPI_MODULE, s_szFile, __LINE__);
    if (m_pPropertyTreeDocument != nullptr) {
        try {
            pRoot->SetDefinition(m_pPropertyTreeDocument->GetDocumentElement());
        } catch (...) {
            pRoot->Destroy();
            throw;
        }
    }
    return pRoot;
}
