// The kernel's neighbour table (ARP), whose limit every network namespace
// of the host shares: when other work has filled it, the kernel drops an
// address it would have resolved, and a network test misses a device for
// no fault of the code under test. Its overflow count tells.
#ifndef NEIGHBOURTABLE_H
#define NEIGHBOURTABLE_H

#include <string>

class CNeighbourTable
{
public:
    // How often the table was found full (its "table_fulls" column, summed
    // over the rows of each CPU, in hexadecimal) in strStat, the text of
    // kStatPath; -1 when there is no such column.
    static long long Overflows(const std::string& strStat);
    // The same, read from kStatPath now; -1 when it cannot be read.
    static long long Overflows();
    static const char* const kStatPath;  // "/proc/net/stat/arp_cache"

    // What a failed network test says of the table: whether it overflowed
    // between the two counts; empty when either is unknown.
    static std::string Report(long long nBefore, long long nAfter);
};

#endif
