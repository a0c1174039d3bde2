// The host that the scripts of the definitions see: the current target's
// property tree under the head "Prooerties", the framework's constants, and
// the parameters and methods of the running module instance and its
// children. One is made for each script run.
#ifndef VLCMSCRIPTEXTEND_H
#define VLCMSCRIPTEXTEND_H

#include "base/core/VLString.h"
#include "script/VLScriptExtendIF.h"

class CVLModuleController;
class CVLModuleInstance;
class CVLModuleParamCollection;
class CVLTarget;

class CVLCMScriptExtend : public IVLScriptExtendIF
{
public:
    CVLCMScriptExtend(CVLModuleController* pController, CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                      CVLTarget* pTarget);
    virtual ~CVLCMScriptExtend();

    // The target's property tree as text, or empty without a target.
    virtual CVLString GetContextText() override;
    // The instance itself for an empty path, else its first child whose
    // definition has that local name; null when none has.
    virtual CVLModuleInstance* FindInstance(const CVLString& strPath);

protected:
    static IVLVariantObjectIF* OnProperties(IVLScriptExtendIF* pExtend, const CVLString& strHead,
                                            const CVLString& strRest);
    static void OnSetConst(IVLScriptExtendIF* pExtend, const CVLString& strPath, CVLScriptParams* pParams,
                           void* pContext);
    static void OnGetConst(IVLScriptExtendIF* pExtend, const CVLString& strPath, CVLScriptParams* pParams,
                           void* pContext);
    static void OnSetParameter(IVLScriptExtendIF* pExtend, const CVLString& strPath, CVLScriptParams* pParams,
                               void* pContext);
    static void OnGetParameter(IVLScriptExtendIF* pExtend, const CVLString& strPath, CVLScriptParams* pParams,
                               void* pContext);
    static void OnCallMethod(IVLScriptExtendIF* pExtend, const CVLString& strPath, CVLScriptParams* pParams,
                             void* pContext);

    CVLModuleController* m_pController;
    CVLModuleInstance* m_pInstance;
    CVLModuleParamCollection* m_pParams;
    CVLTarget* m_pTarget;
};

#endif
