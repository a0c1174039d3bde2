// Shared definitions of the application framework: its module name and its
// results.
#ifndef VLPFWDEFS_H
#define VLPFWDEFS_H

// The module name of the application framework's trace and log lines.
#define VLPFW_MODULE "VLPFW"

enum VLPFW_RESULT
{
    VLPFW_RESULT_SUCCESS = 0,
    VLPFW_RESULT_NOT_INITIALIZED = 2,
    VLPFW_RESULT_PARAMETER_ERROR = 4,
    VLPFW_RESULT_ALREADY_REGISTERED = 11,
    VLPFW_RESULT_PATH_ERROR = 12,
    VLPFW_RESULT_CONFIGURATION_ERROR = 13,
    VLPFW_RESULT_VLECM_ERROR = 15,
    VLPFW_RESULT_NOT_CREATED = 16,
    VLPFW_RESULT_NO_RESULT = 18,
    VLPFW_RESULT_RESOURCE_MISSING = 20,
    VLPFW_RESULT_SYSTEM_TOO_OLD = 21,
    VLPFW_RESULT_THREAD_STATE_ERROR = 24
};

#endif
