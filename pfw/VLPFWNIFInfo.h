// The application's device record: the device manager's record with what
// the device list shows of it (model name, IP address) and the address of
// its built-in web page.
#ifndef VLPFWNIFINFO_H
#define VLPFWNIFINFO_H

#include "base/core/VLString.h"
#include "ecm/record/VLECMNIFInfo.h"

class CVLPFWNIFInfo : public CVLECMNIFInfo
{
public:
    CVLPFWNIFInfo();
    virtual ~CVLPFWNIFInfo();

    // The name shown for the device: its model name.
    virtual CVLString GetDisplayName();
    // The address the device answered from, or the address it reports when
    // the reply's sender was not recorded.
    virtual CVLString GetIPAddress();
    // The web page URL from the template (an empty template is "http://$IP$/").
    virtual CVLString GetWebConfigURL(VL_CONST_STR szTemplate);
    // The device-kind rules: every kind of device is accepted.
    virtual bool IsSupportedNIF();
    // The text at a dotted property path, or an empty text; never creates a node.
    virtual CVLString GetPropertyText(VL_CONST_STR szPath);
    // The device manager's marks: another address passed for the device's
    // MAC too (read it before sending a change or a password: the device
    // cannot be told from a host claiming its MAC), and those addresses,
    // separated by spaces. Set as they arise, also after the record was
    // handed on.
    bool IsConflictMarked();
    CVLString GetOtherPassedAddresses();

    // "$IP$" in the template replaced by the address, every occurrence.
    static CVLString MakeWebConfigURL(VL_CONST_STR szTemplate, VL_CONST_STR szIPAddress);
};

#endif
