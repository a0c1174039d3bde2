#include "base/platform/VLPlatformErrno.h"

#include <cerrno>

namespace {

struct ErrnoPair
{
    int nLinux;
    int nStored;
};

const ErrnoPair s_Table[] = {
    {EAGAIN, 35},          {EDEADLK, 11},         {EINPROGRESS, 36},     {EALREADY, 37},
    {ENOTSOCK, 38},
    {EDESTADDRREQ, 39},    {EMSGSIZE, 40},        {EPROTOTYPE, 41},     {ENOPROTOOPT, 42},
    {EPROTONOSUPPORT, 43}, {ESOCKTNOSUPPORT, 44}, {EPFNOSUPPORT, 46},   {EAFNOSUPPORT, 47},
    {EADDRINUSE, 48},      {EADDRNOTAVAIL, 49},   {ENETDOWN, 50},       {ENETUNREACH, 51},
    {ENETRESET, 52},       {ECONNABORTED, 53},    {ECONNRESET, 54},     {ENOBUFS, 55},
    {EISCONN, 56},         {ENOTCONN, 57},        {ESHUTDOWN, 58},      {ETOOMANYREFS, 59},
    {ETIMEDOUT, 60},       {ECONNREFUSED, 61},    {ELOOP, 62},          {ENAMETOOLONG, 63},
    {EHOSTDOWN, 64},       {EHOSTUNREACH, 65},    {ENOTEMPTY, 66},      {EUSERS, 68},
    {EDQUOT, 69},          {ESTALE, 70},          {EREMOTE, 71},        {ENOLCK, 77},
    {ENOSYS, 78},          {EOVERFLOW, 84},       {ECANCELED, 89},      {EIDRM, 90},
    {ENOMSG, 91},          {EILSEQ, 92},          {EBADMSG, 94},        {EMULTIHOP, 95},
    {ENODATA, 96},         {ENOLINK, 97},         {ENOSR, 98},          {ENOSTR, 99},
    {EPROTO, 100},         {ETIME, 101},          {EOPNOTSUPP, 102},    {ENOTRECOVERABLE, 104},
    {EOWNERDEAD, 105},
};

}  // namespace

int VLPlatformErrorCode(int nErrno)
{
    for (const ErrnoPair& pair : s_Table) {
        if (pair.nLinux == nErrno)
            return pair.nStored;
    }
    return nErrno;
}

int VLPlatformLastError()
{
    return VLPlatformErrorCode(errno);
}

int VLPlatformErrnoOf(int nStored)
{
    for (const ErrnoPair& pair : s_Table) {
        if (pair.nStored == nStored)
            return pair.nLinux;
    }
    return nStored;
}
