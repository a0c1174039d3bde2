// The kinds of requests each packet list may send.
#include "ecm/core/VLECMRequestKinds.h"

#include <string.h>
#include <strings.h>

#include <algorithm>
#include <iterator>
#include <set>

#include "cm/VLAllowedRequests.h"

#include "ecm/core/VLECMCommandList.h"

namespace {
// The requests that only read a device: the probe road ("P") and the
// queries of its state ("Q"). Checking a password ("Q" 5A20) uses up one of
// the device's tries when the password is wrong; setting ("S") and the
// factory reset ("I") change it.
const char* const kReadingRequests[] = {"P2B5A01", "Q2B5A02", "Q2B5A03", "Q2B5A04", "Q2B5A10", "Q2B5A11", "P2B5A30"};

struct SCommandKind
{
    const char* szCommand;
    // The request the command is run for; null when it has none of its own
    // (it reads, or the device profile names no function for it).
    const char* szOwn;
    // Whether reading requests may go with it.
    bool bReads;
};
// The reboot polling is sent, as the probe is, to a device that is
// restarting: its own request alone. The probe's reply names the device's
// model, number and cipher, and the unicast check is the device profile's
// own: each list holds its request.
const SCommandKind kCommandKinds[] = {
    {"Probe", "P2B5A01", true},
    {"CheckUnicast", "Q2B5A02", true},
    {"CheckPassword", "Q2B5A20", true},
    {"SetDetail", "S2B5A21", true},
    {"FactReset", "I2B5A22", true},
    {"RebootPolling", "P2B5A30", false},
};
// The lists the device manager runs: the probe's and those of the commands
// it carries out through the definitions (with an exchange's defaults).
#define VLECM_COMMAND_RUN(ID, NAME, REPORT, CARRIED, RETRY) {#NAME, CARRIED && (RETRY) != nullptr},
const struct
{
    const char* szCommand;
    bool bRun;
} kCommandsRun[] = {{"Probe", true}, VLECM_COMMAND_LIST(VLECM_COMMAND_RUN)};
#undef VLECM_COMMAND_RUN
// The letter before the device type and function of a request's text.
const size_t kRequestLetterLength = 1;
// The device type's digits before the function's.
const size_t kRequestDeviceTypeLength = 2;

const SCommandKind* KindOf(const std::string& strCommand)
{
    for (const SCommandKind& kind : kCommandKinds) {
        if (strCommand == kind.szCommand)
            return &kind;
    }
    return nullptr;
}

bool Same(const std::string& strRequest, const char* szRequest)
{
    // The definitions may write the codes in either case.
    return szRequest != nullptr && strcasecmp(strRequest.c_str(), szRequest) == 0;
}

bool IsAllowed(const SCommandKind* pKind, const std::string& strRequest)
{
    if (pKind != nullptr && Same(strRequest, pKind->szOwn))
        return true;
    if (pKind != nullptr && !pKind->bReads)
        return false;
    return std::any_of(std::begin(kReadingRequests), std::end(kReadingRequests),
                       [&](const char* szReading) { return Same(strRequest, szReading); });
}

std::set<std::string> AllowedOf(const SCommandKind* pKind)
{
    std::set<std::string> allowed;
    if (pKind == nullptr || pKind->bReads)
        allowed.insert(std::begin(kReadingRequests), std::end(kReadingRequests));
    if (pKind != nullptr && pKind->szOwn != nullptr)
        allowed.insert(pKind->szOwn);
    return allowed;
}
}  // namespace

const std::shared_ptr<const CVLAllowedRequests>& CVLECMRequestKinds::Allowed(const char* szCommand)
{
    // Worked out once per kind, the reading one last: every call of a kind
    // shares its set.
    static const std::vector<std::shared_ptr<const CVLAllowedRequests>> s_Kinds = [] {
        std::vector<std::shared_ptr<const CVLAllowedRequests>> kinds;
        for (const SCommandKind& kind : kCommandKinds)
            kinds.push_back(CVLAllowedRequests::Of(AllowedOf(&kind)));
        kinds.push_back(CVLAllowedRequests::Of(AllowedOf(nullptr)));
        return kinds;
    }();
    // Asked for each instance made: the name is not copied.
    for (size_t i = 0; szCommand != nullptr && i < std::size(kCommandKinds); ++i) {
        if (strcmp(szCommand, kCommandKinds[i].szCommand) == 0)
            return s_Kinds[i];
    }
    return s_Kinds.back();
}

bool CVLECMRequestKinds::Fits(const std::string& strCommand, const std::vector<std::string>& requests,
                              std::string& strWhy)
{
    const SCommandKind* pKind = KindOf(strCommand);
    if (requests.empty()) {
        strWhy = "it sends nothing";
        return false;
    }
    auto itRefused = std::find_if_not(requests.begin(), requests.end(),
                                      [&](const std::string& strRequest) { return IsAllowed(pKind, strRequest); });
    if (itRefused != requests.end()) {
        strWhy = "it sends the request " + RequestText(*itRefused);
        return false;
    }
    // A list without the command's own request would report the command
    // done though it was not.
    if (pKind != nullptr && pKind->szOwn != nullptr &&
        std::none_of(requests.begin(), requests.end(),
                     [&](const std::string& strRequest) { return Same(strRequest, pKind->szOwn); })) {
        strWhy = "it does not send its request " + RequestText(pKind->szOwn);
        return false;
    }
    return true;
}

bool CVLECMRequestKinds::OnlyReads(const std::string& strCommand)
{
    const SCommandKind* pKind = KindOf(strCommand);
    return pKind == nullptr || pKind->szOwn == nullptr || IsAllowed(nullptr, pKind->szOwn);
}

bool CVLECMRequestKinds::HasOwn(const std::string& strCommand)
{
    const SCommandKind* pKind = KindOf(strCommand);
    return pKind != nullptr && pKind->szOwn != nullptr;
}

bool CVLECMRequestKinds::IsRun(const std::string& strCommand)
{
    return std::any_of(std::begin(kCommandsRun), std::end(kCommandsRun),
                       [&](const auto& row) { return row.bRun && strCommand == row.szCommand; });
}

std::string CVLECMRequestKinds::RequestText(const std::string& strRequest)
{
    if (strRequest.size() <= kRequestLetterLength + kRequestDeviceTypeLength)
        return strRequest;
    return strRequest.substr(kRequestLetterLength, kRequestDeviceTypeLength) + " " +
           strRequest.substr(kRequestLetterLength + kRequestDeviceTypeLength) + " \"" +
           strRequest.substr(0, kRequestLetterLength) + "\"";
}
