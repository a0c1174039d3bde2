// The local-network set-ups. For now they set nothing up: no numbered
// socket instance is enabled, and the probe goes out by limited broadcast.
#include "ecm/VLECM.h"

void CVLECM::getLDBCAddressListFromPC(std::list<CVLString>& addressList)
{
    addressList.clear();
}

bool CVLECM::SetupLocalDBCInfo(CVLECMPropertyMap* pAddressInfoMap, VL_CONST_STR szRootModuleInstanceName,
                               const CVLECMPropertyMap* pOptionMap, CVLECMNIFInfo* pNIFInfo)
{
    (void)szRootModuleInstanceName, (void)pOptionMap, (void)pNIFInfo;
    if (pAddressInfoMap != nullptr)
        pAddressInfoMap->clear();
    return true;
}

bool CVLECM::SetupBindAddressInfo(CVLECMPropertyMap* pAddressInfoMap, VL_CONST_STR szRootModuleInstanceName,
                                  const CVLECMPropertyMap* pOptionMap, CVLECMNIFInfo* pNIFInfo)
{
    (void)szRootModuleInstanceName, (void)pOptionMap, (void)pNIFInfo;
    if (pAddressInfoMap != nullptr)
        pAddressInfoMap->clear();
    return true;
}
