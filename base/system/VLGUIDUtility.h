// GUIDs: created from the system's random source (version 4) and converted
// from and to the braced text form {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}.
#ifndef VLGUIDUTILITY_H
#define VLGUIDUTILITY_H

#include "base/core/VLString.h"

struct VLGUID
{
    VL_ULONG nData1;
    unsigned short nData2;
    unsigned short nData3;
    VL_BYTE Data4[8];
};

class CVLGUIDUtility
{
public:
    virtual ~CVLGUIDUtility();
    static VLGUID Create();
    static CVLString ToString(const VLGUID& guid, bool bUpper, bool bNoBraces);
    static CVLString CreateString(bool bUpper, bool bNoBraces);
    // False (and a zeroed record) unless the text is a 36-character GUID,
    // optionally in braces.
    static bool FromString(const char* szText, VLGUID* pGuid);
};

#endif
