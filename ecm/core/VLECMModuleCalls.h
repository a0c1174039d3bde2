// The one way by which the device manager creates module instances and
// runs module functions. Each instance carries the requests its purpose may
// send (CVLECMRequestKinds), set here after the caller's parameters, so that
// a caller can name the purpose but neither widen nor forget it; an instance
// made without a purpose may only read. A client that calls the module
// framework itself is not concerned: it sends what it asks.
#ifndef VLECMMODULECALLS_H
#define VLECMMODULECALLS_H

#include "base/core/VLTypes.h"

class CVLCMApi;
class CVLModuleController;
class CVLModuleInstance;
class CVLModuleParamCollection;
class CVLTarget;
class CVLTargetList;
class IVLFunctionListener;

class CVLECMModuleCalls
{
public:
    // The probe's purpose, also of the unicast probe of the address the
    // user named; a command's is its name (CVLECMNIFInfo::GetCommandName).
    static const char* const PROBE;

    // CVLModuleController::CreateModuleInstance with the caller's
    // parameters (pParams, which may be null, gets the allowed requests).
    static CVLModuleInstance* CreateInstance(CVLModuleController* pController, CVLTarget* pTarget,
                                             VL_CONST_STR szFunctionName, CVLModuleParamCollection* pParams,
                                             const char* szPurpose = nullptr);
    // CVLCMApi::Probe likewise.
    static CVLModuleInstance* Probe(CVLCMApi* pApi, IVLFunctionListener* pListener, CVLTargetList* pTargetList,
                                    VL_CONST_STR szPacketListName, VL_CONST_STR szFunctionName,
                                    CVLModuleParamCollection* pParams, const char* szPurpose = nullptr);
};

#endif
