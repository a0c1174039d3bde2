// Shared definitions of the device manager: its module name, its results,
// the device commands, the connection kinds and the option map.
#ifndef VLECMDEFS_H
#define VLECMDEFS_H

#include <map>
#include <memory>

#include "base/core/VLString.h"
#include "ecm/core/VLECMCommandList.h"

// The module name of the device manager's trace, log and throw sites.
#define VLECM_MODULE "VLECM"

// The function of the definitions that carries out every device command
// (the reboot polling's request included), with the command's packet list.
#define VLECM_UNICAST_FUNCTION "VLPC_Unicast"

// Where the definitions put the model name a device's probe reply carries.
#define VLECM_MODEL_NAME_PATH "VLPC.2B_5A01_01.ModelName"

// How the device manager judged a device's MAC, carried by the record handed
// on, under a branch the definitions do not use. The conflict mark reads "1"
// from the moment a second address of the MAC passed (also after the record
// was handed on): a client reads it before it sends a change or a password.
// The other addresses that passed, separated by spaces (empty: none).
#define VLECM_CONFLICT_MARK_PATH "MACState.Conflict"
#define VLECM_OTHER_PASSED_PATH "MACState.OtherPassed"

enum VLECM_RESULT
{
    VLECM_RESULT_SUCCESS = 0,
    VLECM_RESULT_FAILED = 1,
    VLECM_RESULT_NOT_INITIALIZED = 2,
    VLECM_RESULT_NOT_SUPPORTED = 3,
    VLECM_RESULT_PARAMETER_ERROR = 4,
    VLECM_RESULT_COMMUNICATION_ERROR = 6,
    VLECM_RESULT_UNLOCK_REFUSED = 7,
    VLECM_RESULT_DEVICE_ERROR = 8,
    VLECM_RESULT_TIMEOUT = 10,
    VLECM_RESULT_NOT_FOUND = 11,
    VLECM_RESULT_PATH_ERROR = 12,
    VLECM_RESULT_XML_ERROR = 14,
    VLECM_RESULT_INTERNAL_ERROR = 15,
    VLECM_RESULT_OUT_OF_MEMORY = 16,
    VLECM_RESULT_STOPPED = 17,
    VLECM_RESULT_UNEXPECTED = 18
};

// What the computer lacked when a command could not open its socket or
// start its thread: no answer of the device, so the command waits for it.
enum VLECM_LACK
{
    VLECM_LACK_NONE,
    VLECM_LACK_DESCRIPTORS,  // no descriptor free (the limit on open files)
    VLECM_LACK_THREADS       // no thread could start (the limit on processes)
};

// The device commands' numbers, in the order of the list.
#define VLECM_COMMAND_ENUMERATOR(ID, NAME, REPORT, CARRIED, RETRY) VLECM_COMMAND_##ID,
enum VLECM_COMMAND
{
    VLECM_COMMAND_LIST(VLECM_COMMAND_ENUMERATOR) VLECM_COMMAND_COUNT
};
#undef VLECM_COMMAND_ENUMERATOR

enum VLECM_CONNECT_TYPE
{
    VLECM_CONNECT_TYPE_NETWORK = 0,
    VLECM_CONNECT_TYPE_USB = 1,
    VLECM_CONNECT_TYPE_ALL = 2
};

// The connect type of a probe: both values start the same probe.
// Any int is representable: a value out of range is refused, not undefined.
enum VLECM_PROBE_CONNECT_TYPE : int
{
    VLECM_PROBE_CONNECT_TYPE_NETWORK = 0,
    VLECM_PROBE_CONNECT_TYPE_ALL = 1
};

// The options: text keys to text values, ordered by CVLString comparison.
typedef std::map<CVLString, CVLString> CVLECMPropertyMap;
// Options that many records' commands read at once (a probe's, for every
// follow-up command it starts): one copy shared, never changed.
typedef std::shared_ptr<const CVLECMPropertyMap> CVLECMSharedOptions;

#endif
