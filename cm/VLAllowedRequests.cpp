#include "cm/VLAllowedRequests.h"

#include <algorithm>

namespace {
// The requests are the definitions' codes: ASCII letters and digits, upper-
// cased without the locale.
char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
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
    // A request's code fits the string's own buffer: no allocation.
    std::string strUpper(strRequest);
    std::transform(strUpper.begin(), strUpper.end(), strUpper.begin(), Upper);
    return std::binary_search(m_Requests.begin(), m_Requests.end(), strUpper);
}
