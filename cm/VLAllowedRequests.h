// The requests a module function call may send, each as packet type
// letter, device type and function ("Q2B5A02", letter case aside). Worked
// out once and never changed, so that every call allowed the same requests
// shares one set instead of building or copying its own.
#ifndef VLALLOWEDREQUESTS_H
#define VLALLOWEDREQUESTS_H

#include <memory>
#include <set>
#include <string>
#include <vector>

class CVLAllowedRequests
{
public:
    explicit CVLAllowedRequests(const std::set<std::string>& requests);
    // A shared set of the requests.
    static std::shared_ptr<const CVLAllowedRequests> Of(const std::set<std::string>& requests);

    // Whether the request is among them, in any letter case.
    bool Contains(const std::string& strRequest) const;

private:
    // In upper case, sorted, each once.
    std::vector<std::string> m_Requests;
};

#endif
