// The factory of the application's device records.
#include "pfw/VLPFWNIFInfoFactory.h"

#include "pfw/VLPFWNIFInfo.h"

CVLPFWNIFInfoFactory::CVLPFWNIFInfoFactory()
{
}

CVLPFWNIFInfoFactory::~CVLPFWNIFInfoFactory()
{
}

CVLTarget* CVLPFWNIFInfoFactory::CreateNIFInfo(CVLECM* pOwner, CVLCMApi* pApi)
{
    (void)pOwner, (void)pApi;
    return new CVLPFWNIFInfo();
}

void CVLPFWNIFInfoFactory::DestroyNIFInfo(CVLECM* pOwner, CVLCMApi* pApi, CVLTarget* pTarget)
{
    (void)pOwner, (void)pApi;
    delete pTarget;
}
