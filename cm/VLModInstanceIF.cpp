#include "cm/VLModInstanceIF.h"

#include "cm/VLCMDefs.h"
#include "cm/VLModInstanceInfo.h"
#include "cm/VLModuleInstance.h"
#include "base/core/VLUnsupportedException.h"

void IVLModInstanceIF::CreateInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    if (pInstance == nullptr)
        return;
    CVLModInstanceInfo* pInfo = pInstance->GetFunctionInfo();
    if (pInfo == nullptr)
        return;
    for (CVLModInstanceInfoIterator it = pInfo->Begin(); !it.IsEnd(); it.Next())
        it.Get()->CreateInstance(pParams, pInstance);
}

IVLStream* IVLModInstanceIF::GetSendStream(CVLModuleParamCollection* pParams)
{
    (void)pParams;
    throw new EVLUnsupportedException(VLCMAPI_MODULE, "VLModInstanceIF", __LINE__, "GetSendStream");
}

IVLStream* IVLModInstanceIF::GetSendStream()
{
    throw new EVLUnsupportedException(VLCMAPI_MODULE, "VLModInstanceIF", __LINE__, "GetSendStream");
}

void IVLModInstanceIF::SetLastPacketStatus(VLCM_PACKET_STATUS eStatus)
{
    (void)eStatus;
    throw new EVLUnsupportedException(VLCMAPI_MODULE, "VLModInstanceIF", __LINE__, "SetLastPacketStatus");
}

unsigned long IVLModInstanceIF::GetReceiveDropCount()
{
    return 0;
}
