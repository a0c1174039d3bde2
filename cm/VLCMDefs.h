// Shared definitions of the module framework: its module name, the limits of
// property trees, the names of the call parameters common to the modules,
// and the factory hooks through which the module controller creates and
// deletes the framework's objects.
#ifndef VLCMDEFS_H
#define VLCMDEFS_H

// The module name of the framework's throw and trace sites.
#define VLCMAPI_MODULE "VLCMApi"

// Deepest level a property tree may reach below its root. Device trees are a
// handful of levels deep; the bound keeps paths and replies from the network
// from building trees that the recursive copy, merge, dump and delete
// operations could not walk on a thread's stack.
#define VLCM_PROPERTY_MAX_DEPTH 64

// Call parameters that the framework or a caller sets and the modules read:
// the packet list a call runs (beside the call context's own name, which
// callbacks report), and a call's time-out in ms and its number of tries.
#define VLCM_PARAM_PACKET_LIST_NAME "packetListName"
#define VLCM_PARAM_TIMEOUT "timeout"
#define VLCM_PARAM_RETRY "retry"
// A receive call of a try that goes on after it ("look": an error reply
// heard stays held), or the end of a try ("tryOver": reads nothing; the
// error reply held is the answer, else the try timed out). A call without
// either ends its try when its time runs out.
#define VLCM_PARAM_LOOK "look"
#define VLCM_PARAM_TRY_OVER "tryOver"
// A second address (a dotted quad) from which a unicast request's replies
// count, besides the one it went to: the address the request gives the
// device, which may take it before it answers. Absent or empty: none.
#define VLCM_PARAM_ALSO_REPLIES_FROM "alsoRepliesFrom"
// Counted by a module that runs packet lists, for its caller: how many
// requests the instance's calls have sent (none when the list is missing,
// or its conditions, the device's version or a set with nothing changed
// passed every one over), there from its first call on. A condition's
// script may call the instance again: its sends count too.
#define VLCM_PARAM_SENT_REQUESTS "sentRequests"

class CVLCMApi;
class CVLProperty;
class CVLPropertyCollection;
class CVLTarget;
class CVLTargetList;

typedef CVLTarget* (*VLCM_NEW_TARGET_FUNC)(CVLCMApi* pApi);
typedef void (*VLCM_DELETE_TARGET_FUNC)(CVLCMApi* pApi, CVLTarget* pTarget);
typedef CVLTargetList* (*VLCM_NEW_TARGETLIST_FUNC)(CVLCMApi* pApi);
typedef void (*VLCM_DELETE_TARGETLIST_FUNC)(CVLCMApi* pApi, CVLTargetList* pTargetList);
typedef CVLProperty* (*VLCM_NEW_PROPERTY_FUNC)(CVLCMApi* pApi, CVLProperty* pParent);
typedef void (*VLCM_DELETE_PROPERTY_FUNC)(CVLCMApi* pApi, CVLProperty* pProperty);
typedef CVLPropertyCollection* (*VLCM_NEW_PROPERTYCOLLECTION_FUNC)(CVLCMApi* pApi, CVLProperty* pOwner);
typedef void (*VLCM_DELETE_PROPERTYCOLLECTION_FUNC)(CVLCMApi* pApi, CVLPropertyCollection* pCollection);

#endif
