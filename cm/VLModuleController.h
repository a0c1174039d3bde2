// The module controller: the run-time state of one module framework. Here it
// holds the factory hooks that choose the concrete classes of properties and
// property collections, the property-tree definition and the host's local
// subnets.
#ifndef VLMODULECONTROLLER_H
#define VLMODULECONTROLLER_H

#include "cm/VLApiObject.h"
#include "cm/VLCMDefs.h"
#include "cm/VLSubnetInfoList.h"

class CVLXmlDocument;

class CVLModuleController : public CVLApiObject
{
public:
    explicit CVLModuleController(CVLCMApi* pApi);
    virtual ~CVLModuleController();

    virtual CVLSubnetInfoList& GetSubnetInfoList();

    // Null when no property hook is installed; EVLMemoryAllocException when
    // the hook yields nothing.
    virtual CVLProperty* NewProperty(CVLProperty* pParent);
    // OnDestroy, then the delete hook.
    virtual void DeleteProperty(CVLProperty* pProperty);
    virtual CVLPropertyCollection* NewPropertyCollection(CVLProperty* pOwner);
    // Destroys the children, OnDestroy, then the delete hook.
    virtual void DeletePropertyCollection(CVLPropertyCollection* pCollection);
    // A parentless property bound to the "PropertyRoot" definition when the
    // definitions have one.
    virtual CVLProperty* NewRootProperty();

protected:
    CVLSubnetInfoList m_SubnetInfoList;
    CVLXmlDocument* m_pPropertyTreeDocument;

    VLCM_NEW_PROPERTY_FUNC m_pNewPropertyFunc;
    VLCM_NEW_PROPERTYCOLLECTION_FUNC m_pNewPropertyCollectionFunc;
    VLCM_DELETE_PROPERTY_FUNC m_pDeletePropertyFunc;
    VLCM_DELETE_PROPERTYCOLLECTION_FUNC m_pDeletePropertyCollectionFunc;

private:
    CVLModuleController(const CVLModuleController&) = delete;
    CVLModuleController& operator=(const CVLModuleController&) = delete;
};

#endif
