// Shared definitions of the device manager: its module name, its results,
// the device commands, the connection kinds and the option map.
#ifndef VLECMDEFS_H
#define VLECMDEFS_H

#include <map>

#include "base/core/VLString.h"

// The module name of the device manager's trace, log and throw sites.
#define VLECM_MODULE "VLECM"

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

// The device commands, one row each, in the order of their numbers:
//   X(ID, Name, Report, Carried, Retry)
//   ID       the number's name: VLECM_COMMAND_<ID>
//   Name     the command's name: its starter CVLECMNIFInfo::<Name>, its report
//            IVLECMCallbackIF::On<Name> and its option keys "Option.<Name>.*"
//   Report   PLAIN: the report carries the result; UNICAST: also whether the
//            device answers by unicast
//   Carried  false for the commands the device manager answers with
//            VLECM_RESULT_NOT_SUPPORTED, without asking the device
//   Retry    the default "Option.<Name>.Retry" of a command that exchanges
//            packets through the definitions (its "PacketListName" is <Name>,
//            its "Timeout" 3000); nullptr for one without such defaults
// Each place that needs one line per command expands this list.
#define VLECM_COMMAND_LIST(X)                                           \
    X(CHECK_UNICAST, CheckUnicast, UNICAST, true, "2")                  \
    X(GET_SUPPORT_INFORMATION, GetSupportInformation, PLAIN, true, "7") \
    X(GET_LIST_INFO, GetListInfo, PLAIN, true, "7")                     \
    X(GET_DETAIL, GetDetail, PLAIN, true, "7")                          \
    X(GET_WIRELESS_LAN_INFO, GetWirelessLANInfo, PLAIN, true, "7")      \
    X(CHECK_PASSWORD, CheckPassword, PLAIN, true, "7")                  \
    X(SET_DETAIL, SetDetail, PLAIN, true, "7")                          \
    X(FACT_RESET, FactReset, PLAIN, true, "7")                          \
    X(REBOOT_POLLING, RebootPolling, UNICAST, true, "0")                \
    X(GET_NETWORK_DIAGNOSIS, GetNetworkDiagnosis, PLAIN, false, "0")    \
    X(SETUP_WEB_SERVICE, SetupWebService, PLAIN, false, nullptr)        \
    X(DELETE_WEB_SERVICE, DeleteWebService, PLAIN, false, nullptr)

// The parameters a command's report adds after the result, by its Report
// column, and the arguments that pass them on.
#define VLECM_REPORT_PARAMS_PLAIN
#define VLECM_REPORT_PARAMS_UNICAST , [[maybe_unused]] bool bUnicast
#define VLECM_REPORT_ARGS_PLAIN(UNICAST)
#define VLECM_REPORT_ARGS_UNICAST(UNICAST) , UNICAST

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

#endif
