// The optional factory of device lists, handed to CVLECM::Initialize.
#ifndef VLECMNIFINFOLISTFACTORYIF_H
#define VLECMNIFINFOLISTFACTORYIF_H

class CVLCMApi;
class CVLECM;
class CVLTargetList;

class IVLECMNIFInfoListFactoryIF
{
public:
    virtual ~IVLECMNIFInfoListFactoryIF() {}
    // A new list derived from CVLTargetList.
    virtual CVLTargetList* CreateNIFInfoList(CVLECM* pOwner, CVLCMApi* pApi) = 0;
    virtual void DestroyNIFInfoList(CVLECM* pOwner, CVLCMApi* pApi, CVLTargetList* pTargetList) = 0;
};

#endif
