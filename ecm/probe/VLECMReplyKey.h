// Names the replies of one address of one MAC address: the record a probe
// keeps for it, and its waiting copy.
#ifndef VLECMREPLYKEY_H
#define VLECMREPLYKEY_H

#include "base/core/VLString.h"

struct SVLECMReplyKey
{
    CVLString strMAC;  // normal form
    CVLString strAddress;

    bool operator<(const SVLECMReplyKey& other) const
    {
        if (strMAC != other.strMAC)
            return strMAC < other.strMAC;
        return strAddress < other.strAddress;
    }
    bool operator==(const SVLECMReplyKey& other) const
    {
        return strMAC == other.strMAC && strAddress == other.strAddress;
    }
};

#endif
