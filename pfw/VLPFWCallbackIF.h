// The application framework's reports to the application: the devices that
// the communication manager accepts. Called on the device manager's
// dispatch thread; the record stays valid until the next probe removes it.
#ifndef VLPFWCALLBACKIF_H
#define VLPFWCALLBACKIF_H

#include "base/core/VLTypes.h"

class CVLPFWNIFInfo;

class IVLPFWCallbackIF
{
public:
    virtual ~IVLPFWCallbackIF() {}
    // An accepted device and the text of its MAC address.
    virtual void OnProbe(VL_CONST_STR szMACAddress, CVLPFWNIFInfo* pNIFInfo) { (void)szMACAddress, (void)pNIFInfo; }
};

#endif
