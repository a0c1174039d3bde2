// The list of the device commands and the helpers its expansions use. It
// includes nothing, so that a front end can expand it cheaply.
#ifndef VLECMCOMMANDLIST_H
#define VLECMCOMMANDLIST_H

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

#endif
