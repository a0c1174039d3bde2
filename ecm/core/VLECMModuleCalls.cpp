#include "ecm/core/VLECMModuleCalls.h"

#include "cm/VLCMApi.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleParamCollection.h"
#include "ecm/core/VLECMRequestKinds.h"

const char* const CVLECMModuleCalls::PROBE = "Probe";

namespace {
void Judge(CVLModuleParamCollection& params, const char* szPurpose)
{
    params.SetAllowedRequests(CVLECMRequestKinds::Allowed(szPurpose));
}
}  // namespace

CVLModuleInstance* CVLECMModuleCalls::CreateInstance(CVLModuleController* pController, CVLTarget* pTarget,
                                                     VL_CONST_STR szFunctionName, CVLModuleParamCollection* pParams,
                                                     const char* szPurpose)
{
    if (pParams == nullptr) {
        CVLModuleParamCollection own;
        return CreateInstance(pController, pTarget, szFunctionName, &own, szPurpose);
    }
    Judge(*pParams, szPurpose);
    return pController->CreateModuleInstance(pTarget, szFunctionName, pParams);
}

CVLModuleInstance* CVLECMModuleCalls::Probe(CVLCMApi* pApi, IVLFunctionListener* pListener, CVLTargetList* pTargetList,
                                            VL_CONST_STR szPacketListName, VL_CONST_STR szFunctionName,
                                            CVLModuleParamCollection* pParams, const char* szPurpose)
{
    if (pParams == nullptr) {
        CVLModuleParamCollection own;
        return Probe(pApi, pListener, pTargetList, szPacketListName, szFunctionName, &own, szPurpose);
    }
    Judge(*pParams, szPurpose);
    return pApi->Probe(pListener, pTargetList, szPacketListName, szFunctionName, pParams);
}
