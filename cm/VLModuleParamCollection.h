// The named parameters of one module function call plus its call context.
// A collection embedded in an instance finds a name plainly, then qualified
// with the instance's function name, then with its module name.
#ifndef VLMODULEPARAMCOLLECTION_H
#define VLMODULEPARAMCOLLECTION_H

#include <memory>
#include <string>

#include "cm/VLModuleParam.h"
#include "base/core/TVLStringKeyCollection.h"
#include "base/core/VLString.h"
#include "base/value/VLVariant.h"

class CVLAllowedRequests;
class CVLModuleController;
class CVLModuleInstance;
class CVLStreamCollection;
class CVLTarget;
class CVLTargetList;
class IVLFunctionListener;
class IVLProgressListener;

typedef TVLObjectListIterator<CVLModuleParam> CVLModuleParamIterator;
typedef TVLObjectListConstIterator<CVLModuleParam> CVLModuleParamConstIterator;

class CVLModuleParamCollection : public TVLStringKeyCollection<CVLModuleParam, CVLModuleParamIterator,
                                                               CVLModuleParamConstIterator, CVLString, const char*>
{
public:
    typedef TVLStringKeyCollection<CVLModuleParam, CVLModuleParamIterator, CVLModuleParamConstIterator, CVLString,
                                   const char*>
        Base;
    using Base::Add;

    CVLModuleParamCollection();
    CVLModuleParamCollection(const CVLModuleParamCollection& src);
    virtual ~CVLModuleParamCollection();

    virtual CVLModuleParam* Find(const char* szName) const override;
    virtual void DeleteElement(CVLModuleParam* p) override;
    virtual CVLModuleParam* CreateElement(const char* szKey) override;

    virtual void SetOwnerInstance(CVLModuleInstance* pInstance);
    virtual void SetController(CVLModuleController* pController);
    virtual CVLModuleController* GetController() const;
    virtual void SetTarget(CVLTarget* pTarget);
    virtual CVLTarget* GetTarget() const;
    virtual void SetTargetList(CVLTargetList* pTargetList);
    virtual CVLTargetList* GetTargetList() const;
    virtual void SetInstance(CVLModuleInstance* pInstance);
    virtual void SetFunctionName(const char* szName);
    virtual CVLString& GetFunctionName();
    virtual void SetPacketListName(const char* szName);
    virtual CVLString& GetPacketListName();
    virtual void SetMethodName(const char* szName);
    virtual CVLString& GetMethodName();
    virtual void SetTemplateName(const char* szName);
    virtual CVLString& GetTemplateName();
    virtual void SetListener(IVLFunctionListener* pListener);
    virtual IVLFunctionListener* GetListener() const;
    virtual void SetProgressListener(IVLProgressListener* pListener);
    virtual IVLProgressListener* GetProgressListener() const;
    virtual void SetStreamCollection(CVLStreamCollection* pStreams);
    virtual CVLStreamCollection* GetStreamCollection() const;
    // The parameters and the call context; not the owner, not the result.
    virtual CVLModuleParamCollection& operator=(const CVLModuleParamCollection& src);
    // Find, then with bCreate an empty parameter under the plain name.
    virtual CVLModuleParam* GetParam(const char* szName, bool bCreate);
    virtual CVLVariant& GetResult();

    CVLModuleInstance* GetInstance() const;

    // The requests the call may send (null: any request). Set by the caller
    // of a function, out of reach of the definitions' scripts, and carried
    // with the call context to every collection copied from this one (the
    // instance's children included). Not virtual, and kept after the
    // declared members, so that the class's virtual table and fields stay
    // as declared.
    void SetAllowedRequests(std::shared_ptr<const CVLAllowedRequests> pAllowed);
    bool IsRequestAllowed(const std::string& strRequest) const;

protected:
    CVLModuleController* m_pController;
    CVLModuleInstance* m_pInstance;
    CVLModuleInstance* m_pOwnerInstance;
    CVLTarget* m_pTarget;
    CVLTargetList* m_pTargetList;
    CVLStreamCollection* m_pStreamCollection;
    IVLFunctionListener* m_pListener;
    IVLProgressListener* m_pProgressListener;
    CVLString m_strTemplateName;
    CVLString m_strFunctionName;
    CVLString m_strPacketListName;
    CVLString m_strMethodName;
    CVLVariant m_Result;
    // Shared: each device's calls copy it without copying the requests.
    std::shared_ptr<const CVLAllowedRequests> m_pAllowedRequests;
};

#endif
