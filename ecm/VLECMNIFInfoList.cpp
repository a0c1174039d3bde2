#include "ecm/VLECMNIFInfoList.h"

CVLECMNIFInfoList::CVLECMNIFInfoList()
{
}

CVLECMNIFInfoList::~CVLECMNIFInfoList()
{
}
