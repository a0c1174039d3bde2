// One function definition, read from an "Instance" element of the
// "ModuleMapping" document: the module that carries it out, its methods and
// start and end scripts, and its child definitions keyed by full dotted name.
#ifndef VLMODINSTANCEINFO_H
#define VLMODINSTANCEINFO_H

#include <set>
#include <string>
#include <vector>

#include "base/core/TVLStringKeyCollection.h"
#include "base/core/VLString.h"
#include "base/core/VLTypes.h"
#include "cm/VLPacketListRequests.h"

class CVLModInstanceInfo;
class CVLModule;
class CVLModuleController;
class CVLModuleInstance;
class CVLModuleParamCollection;
class CVLXmlElement;

typedef TVLObjectListIterator<CVLModInstanceInfo> CVLModInstanceInfoIterator;
typedef TVLObjectListConstIterator<CVLModInstanceInfo> CVLModInstanceInfoConstIterator;

class CVLModInstanceInfo : public TVLStringKeyCollection<CVLModInstanceInfo, CVLModInstanceInfoIterator,
                                                         CVLModInstanceInfoConstIterator, CVLString, const char*>
{
public:
    typedef TVLStringKeyCollection<CVLModInstanceInfo, CVLModInstanceInfoIterator, CVLModInstanceInfoConstIterator,
                                   CVLString, const char*>
        Base;
    using Base::Add;

    CVLModInstanceInfo();
    virtual ~CVLModInstanceInfo();

    virtual void DeleteElement(CVLModInstanceInfo* p) override;
    // An empty definition whose full name is the key.
    virtual CVLModInstanceInfo* CreateElement(const char* szKey) override;

    // Reads the attributes; an element without "module" throws
    // EVLDefineFormatException.
    virtual void Load(CVLXmlElement* pElement);
    virtual const CVLString& GetName() const { return m_strName; }
    virtual const CVLString& GetLocalName() const { return m_strLocalName; }
    virtual void SetLocalName(VL_CONST_STR szName);
    virtual const CVLString& GetModuleName() const { return m_strModuleName; }
    virtual CVLModule* GetModule() const { return m_pModule; }
    virtual void SetModule(CVLModule* pModule);
    virtual const CVLString& GetMethod() const { return m_strMethod; }
    virtual const CVLString& GetMethodRecv() const { return m_strMethodRecv; }
    virtual const CVLString& GetOnStartMethod() const { return m_strOnStartMethod; }
    virtual const CVLString& GetOnEndMethod() const { return m_strOnEndMethod; }
    // A module instance of this definition: a child of pParent, or, without a
    // parent, a new top-level instance that the caller owns. Null when the
    // definition or its module is disabled.
    virtual CVLModuleInstance* CreateInstance(CVLModuleParamCollection* pParams, CVLModuleInstance* pParent);
    // The packets of this definition's module plus those of the whole subtree.
    virtual int GetPacketCount(VL_CONST_STR szName);
    // Adds the packet lists of this definition's module and of the whole
    // subtree's.
    void AddPacketListNames(std::set<std::string>& names) const;
    // Adds what the named packet list runs, of this definition's module
    // and of the whole subtree's.
    void AddPacketListRequests(CVLModuleController* pController, VL_CONST_STR szName,
                               SVLPacketListRequests& list) const;
    // Adds the full names of the whole subtree, below this definition.
    void AddInstanceNames(std::vector<std::string>& names) const;

    CVLXmlElement* GetXmlElement() const { return m_pXmlElement; }

protected:
    void SetName(const char* szName) { m_strName = szName; }

    CVLXmlElement* m_pXmlElement;
    CVLModule* m_pModule;
    CVLString m_strName;
    CVLString m_strLocalName;
    CVLString m_strMethod;
    CVLString m_strMethodRecv;
    CVLString m_strModuleName;
    CVLString m_strOnStartMethod;
    CVLString m_strOnEndMethod;

private:
    CVLModInstanceInfo(const CVLModInstanceInfo&) = delete;
    CVLModInstanceInfo& operator=(const CVLModInstanceInfo&) = delete;
};

#endif
