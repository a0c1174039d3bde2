#include "tests/support/NeighbourTable.h"

#include <fstream>
#include <sstream>
#include <vector>

const char* const CNeighbourTable::kStatPath = "/proc/net/stat/arp_cache";

long long CNeighbourTable::Overflows(const std::string& strStat)
{
    std::istringstream in(strStat);
    std::string strLine, strField;
    if (!std::getline(in, strLine))
        return -1;
    std::istringstream header(strLine);
    size_t nColumn = 0;
    bool bFound = false;
    while (header >> strField && !(bFound = strField == "table_fulls"))
        nColumn++;
    if (!bFound)
        return -1;
    long long nSum = 0;
    while (std::getline(in, strLine)) {
        std::istringstream row(strLine);
        std::vector<std::string> fields;
        while (row >> strField)
            fields.push_back(strField);
        if (fields.empty())
            continue;
        if (nColumn >= fields.size())
            return -1;
        try {
            nSum += std::stoll(fields[nColumn], nullptr, 16);
        } catch (...) {
            return -1;
        }
    }
    return nSum;
}

long long CNeighbourTable::Overflows()
{
    std::ifstream in(kStatPath);
    if (!in)
        return -1;
    std::stringstream text;
    text << in.rdbuf();
    return Overflows(text.str());
}

std::string CNeighbourTable::Report(long long nBefore, long long nAfter)
{
    if (nBefore < 0 || nAfter < 0)
        return std::string();
    if (nAfter <= nBefore)
        return "the kernel's neighbour table did not overflow during this test (table_fulls in " +
               std::string(kStatPath) + " stayed at " + std::to_string(nAfter) + ")";
    return "the kernel's neighbour table overflowed " + std::to_string(nAfter - nBefore) +
           " times during this test (table_fulls in " + kStatPath + " rose from " + std::to_string(nBefore) +
           " to " + std::to_string(nAfter) +
           "): its limit (net.ipv4.neigh.default.gc_thresh3) is shared by every namespace of the host, and "
           "addresses it dropped went unresolved, whoever filled it";
}
