// The fields that the requests of a packet list send, as the loaded
// definitions lay them out: for each, the property it sends, its kind and
// its size. Callers check against it what a request can be given.
#ifndef VLPCREQUESTFIELDS_H
#define VLPCREQUESTFIELDS_H

#include <string>
#include <vector>

#include "base/core/VLString.h"

class CVLCMApi;
class CVLMDVLPC;
class CVLTarget;

class CVLPCRequestFields
{
public:
    struct SField
    {
        CVLString strPath;  // the property it sends; empty for none
        int nType;          // VLPC_FIELD_TYPE
        int nSize;          // the definitions' size
        bool bKeyValue;     // the property holds one of the device's key values
        bool bCounted;      // a counted list of sub-fields
    };

    // The top-level fields of the request layouts of the packet list's
    // functions, in their order: of every layout version, or with a device,
    // of the layout each request uses for the version the device announced.
    // Empty when the module (null: none) has no such packet list.
    static std::vector<SField> List(CVLMDVLPC* pModule, const CVLString& strPacketList, CVLTarget* pDevice = nullptr);
    // The same from the VLPC module that the api's controller has loaded.
    static std::vector<SField> List(CVLCMApi* pApi, const CVLString& strPacketList, CVLTarget* pDevice = nullptr);
    // The datagram of the packet list's first request sent with no data and
    // device number 0, as a probe goes to whichever device hears it; empty
    // when the api's VLPC module has no such packet list.
    static std::string BareRequest(CVLCMApi* pApi, const CVLString& strPacketList);
};

#endif
