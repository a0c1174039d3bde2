// One local IPv4 subnet: its address and mask as texts, and the directed
// broadcast address they give.
#ifndef VLSUBNETINFO_H
#define VLSUBNETINFO_H

#include "base/core/VLString.h"

class CVLSubnetInfo
{
public:
    CVLSubnetInfo();
    virtual ~CVLSubnetInfo();

    virtual CVLString& GetIPAddress();
    virtual void SetIPAddress(const char* szAddress);
    virtual CVLString& GetSubnetMask();
    virtual void SetSubnetMask(const char* szMask);
    virtual CVLSubnetInfo& operator=(const CVLSubnetInfo& src);

    // Dotted decimal text of address OR NOT mask. The texts are read as
    // numbers only, never looked up as host names: an empty text counts as
    // 0.0.0.0 and a text that is no dotted IPv4 address as 255.255.255.255.
    CVLString GetBroadcastAddress() const;

protected:
    CVLString m_strIPAddress;
    CVLString m_strSubnetMask;

private:
    CVLSubnetInfo(const CVLSubnetInfo&) = delete;
};

#endif
