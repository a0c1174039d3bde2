#include "modules/VLModuleLibraries.h"

#include "cm/VLCMApi.h"
#include "modules/execfunc/VLMDExecFunc.h"
#include "modules/probe/VLMDProbe.h"
#include "modules/sock/VLMDSock.h"
#include "modules/vlpc/VLMDVLPC.h"

// In this order: "VLMDExecFunc", "VLMDProbe", "VLMDVLPC", "VLMDSock".
void VLRegisterModuleLibraries(CVLCMApi& api)
{
    VL_ADD_MODULE_STATIC_LIBRARY(api, "VLMDExecFunc", CVLMDExecFunc);
    VL_ADD_MODULE_STATIC_LIBRARY(api, "VLMDProbe", CVLMDProbe);
    VL_ADD_MODULE_STATIC_LIBRARY(api, "VLMDVLPC", CVLMDVLPC);
    VL_ADD_MODULE_STATIC_LIBRARY(api, "VLMDSock", CVLMDSock);
}
