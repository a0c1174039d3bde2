// The factory of device records that the communication manager hands to
// the device manager: every found device becomes a CVLPFWNIFInfo.
#ifndef VLPFWNIFINFOFACTORY_H
#define VLPFWNIFINFOFACTORY_H

#include "ecm/VLECMNIFInfoFactoryIF.h"

class CVLPFWNIFInfoFactory : public IVLECMNIFInfoFactoryIF
{
public:
    CVLPFWNIFInfoFactory();
    virtual ~CVLPFWNIFInfoFactory();

    // A new default record; std::bad_alloc when none can be made.
    CVLTarget* CreateNIFInfo(CVLECM* pOwner, CVLCMApi* pApi) override;
    // Deletes a record made here; a null one is ignored.
    void DestroyNIFInfo(CVLECM* pOwner, CVLCMApi* pApi, CVLTarget* pTarget) override;
};

#endif
