// The client's factory of device records, handed to CVLECM::Initialize.
#ifndef VLECMNIFINFOFACTORYIF_H
#define VLECMNIFINFOFACTORYIF_H

class CVLCMApi;
class CVLECM;
class CVLTarget;

class IVLECMNIFInfoFactoryIF
{
public:
    virtual ~IVLECMNIFInfoFactoryIF() {}
    // A new device record (a CVLECMNIFInfo or a class derived from it).
    virtual CVLTarget* CreateNIFInfo(CVLECM* pOwner, CVLCMApi* pApi) = 0;
    virtual void DestroyNIFInfo(CVLECM* pOwner, CVLCMApi* pApi, CVLTarget* pTarget) = 0;
};

#endif
