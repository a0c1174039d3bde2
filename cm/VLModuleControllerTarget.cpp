// Targets and target lists, made and deleted through the factory hooks.
#include "cm/VLModuleController.h"

#include "cm/VLCMDefs.h"
#include "base/core/VLUnsupportedException.h"

#define VLMODULECONTROLLER_FILE "VLModuleController"

CVLTarget* CVLModuleController::CreateTarget()
{
    throw new EVLUnsupportedException(VLCMAPI_MODULE, VLMODULECONTROLLER_FILE, __LINE__, "CreateTarget");
}

void CVLModuleController::DeleteTarget(CVLTarget* pTarget, bool bRequestTargetList)
{
    (void)pTarget, (void)bRequestTargetList;
    throw new EVLUnsupportedException(VLCMAPI_MODULE, VLMODULECONTROLLER_FILE, __LINE__, "DeleteTarget");
}

CVLTargetList* CVLModuleController::CreateTargetList()
{
    throw new EVLUnsupportedException(VLCMAPI_MODULE, VLMODULECONTROLLER_FILE, __LINE__, "CreateTargetList");
}

void CVLModuleController::DeleteTargetList(CVLTargetList* pTargetList)
{
    (void)pTargetList;
    throw new EVLUnsupportedException(VLCMAPI_MODULE, VLMODULECONTROLLER_FILE, __LINE__, "DeleteTargetList");
}
