#include "cm/VLAllowedRequests.h"

#include <algorithm>
#include <cctype>

namespace {
char Upper(char c)
{
    return static_cast<char>(toupper(static_cast<unsigned char>(c)));
}

// Orders a request kept in upper case before one in any case, without
// making an upper-case copy of the latter.
bool KeptBefore(const std::string& strKept, const std::string& strAny)
{
    return std::lexicographical_compare(strKept.begin(), strKept.end(), strAny.begin(), strAny.end(),
                                        [](char cKept, char cAny) { return cKept < Upper(cAny); });
}

bool AnyBefore(const std::string& strAny, const std::string& strKept)
{
    return std::lexicographical_compare(strAny.begin(), strAny.end(), strKept.begin(), strKept.end(),
                                        [](char cAny, char cKept) { return Upper(cAny) < cKept; });
}
}  // namespace

CVLAllowedRequests::CVLAllowedRequests(const std::set<std::string>& requests)
{
    m_Requests.reserve(requests.size());
    for (std::string strRequest : requests) {
        std::transform(strRequest.begin(), strRequest.end(), strRequest.begin(), Upper);
        m_Requests.push_back(strRequest);
    }
    std::sort(m_Requests.begin(), m_Requests.end());
    m_Requests.erase(std::unique(m_Requests.begin(), m_Requests.end()), m_Requests.end());
}

std::shared_ptr<const CVLAllowedRequests> CVLAllowedRequests::Of(const std::set<std::string>& requests)
{
    return std::make_shared<const CVLAllowedRequests>(requests);
}

bool CVLAllowedRequests::Contains(const std::string& strRequest) const
{
    auto it = std::lower_bound(m_Requests.begin(), m_Requests.end(), strRequest, KeptBefore);
    return it != m_Requests.end() && !AnyBefore(strRequest, *it);
}
