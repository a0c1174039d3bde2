// The commands of vlnet.
#include "app/VLNetCommands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/VLNetAddressQuery.h"
#include "app/VLNetOptions.h"
#include "app/VLNetPasswordPrompt.h"
#include "app/VLNetProbeStatus.h"
#include "app/VLNetPropertyLines.h"
#include "app/VLNetResultText.h"
#include "app/VLNetSession.h"
#include "app/VLNetStatusLine.h"
#include "app/VLNetValueCheck.h"
#include "base/core/VLCommandLine.h"
#include "base/core/VLString.h"
#include "base/net/VLInterfaceAddress.h"
#include "base/net/VLSocketAddress.h"
#include "base/system/VLWebLauncher.h"
#include "ecm/VLECM.h"
#include "ecm/core/VLECMCommandList.h"
#include "pfw/VLPFWNIFInfo.h"

namespace {
// How a reason that says where an address was begins once it is said to be
// there still.
const std::string kStill = "still ";

const char kDescriptionProbe[] = "Probes the local networks and prints one line per device as it is found:\n"
                                 "MAC<TAB>IP<TAB>MODEL, and a fourth column MARKS when the device has marks\n"
                                 "('also answered from ADDRESS': its MAC answered from other addresses too; a\n"
                                 "line is printed again when a mark comes later). A MAC heard from several\n"
                                 "addresses has each checked by unicast (all at once, up to 64 addresses),\n"
                                 "each followed by its own commands, and is listed at the first whose\n"
                                 "commands succeed (two that pass: said, status 3). Without --timeout it sends\n"
                                 "one round and ends once its send schedule (about 1.9 s) has passed, every\n"
                                 "device heard has been checked and run its commands, and nothing new came\n"
                                 "for a second; at 60 s at most. With --timeout it listens that long,\n"
                                 "probing again each time the schedule has passed, and lists every device\n"
                                 "found in that time (a time-out shorter than the schedule: status 3). With\n"
                                 "--mac it ends once every address that MAC answered from is judged, listing\n"
                                 "it only where url and run would use it (status 1 otherwise); a MAC not\n"
                                 "heard in the one round may answer a later one: --timeout listens longer.\n"
                                 "A device that answered the probe but is not listed (no answer to unicast, a\n"
                                 "failed unicast check, failed commands, still in its check or waiting at the\n"
                                 "time-out, refused by a bound) is named after the list on standard error,\n"
                                 "'vlnet: not listed: MAC<TAB>IP<TAB>MODEL<TAB>WHY' (another address of a\n"
                                 "listed MAC: 'vlnet: device MAC, listed at IP, also answered the probe from\n"
                                 "ADDRESS: WHY'). The status is 3 when the\n"
                                 "list may be short: such a device, devices a bound dropped, replies lost to a\n"
                                 "full receive buffer, datagrams lost while unicast checks waited in vain,\n"
                                 "replies of devices not yet listed still waiting at the time-out or stop,\n"
                                 "broadcasts whose replies could not be listened for, or a definition script\n"
                                 "that failed, each said on standard error. It is 1 when no probe could be\n"
                                 "sent or none of its replies listened for. An empty list with status 0\n"
                                 "means that no device answered (on the networks of interfaces that are up:\n"
                                 "one that is down is left out, said on standard error).\n";

// How url, open and run look for their device.
#define VLNET_PROBES_AGAIN                                                        \
    "Until the device answers, the probe's requests go again each time their\n"   \
    "schedule (about 1.9 s) has passed; a device not found by the time-out is\n"  \
    "an error. An address on none of this computer's networks is refused at\n"    \
    "once: vlnet reaches devices on the computer's own networks only.\n"          \
    "Given by its MAC, the device is used at the address that passed\n"           \
    "its unicast check once every address that answered for the MAC is judged;\n" \
    "given by its IP address, once that address's own check passed (it is\n"     \
    "checked however many other addresses claimed its MAC first).\n"

const char kDescriptionUrl[] = "Probes until the device is found and prints its web page URL.\n" VLNET_PROBES_AGAIN;

const char kDescriptionOpen[] =
    "Probes until the device is found and opens its web page in the browser.\n" VLNET_PROBES_AGAIN;

// clang-format off
const char kDescriptionRun[] =
    "Probes until the device is found, sets the given values on its record, runs\n"
    "one device command and prints 'result N (meaning)' and the record's values,\n"
    "one PATH=VALUE line each (lists as PATH.N.FIELD=VALUE), in the form this\n"
    "command takes them: a VLPC.2B_5A10_01.* line of GetDetail (what SetDetail\n"
    "sends), changed and given to SetDetail, sets that value; the other lines\n"
    "show what the device reported and are refused as PATH=VALUE. Binary values,\n"
    "and texts that are not printable, show as hex:HEXDIGITS, which reads back\n"
    "as those bytes. SetDetail reads the device's settings first (GetDetail), so\n"
    "that only the given values change. FactReset returns the device's settings,\n"
    "its address included, to the factory's: it restarts and may then answer at\n"
    "its factory address. --timeout bounds the search for the device; once\n"
    "found, each request waits the configuration's time-out per\n"
    "try (Option.COMMAND.Timeout, 3 s) for its tries (Option.COMMAND.Retry, 7):\n"
    "21 s for a device that never answers, twice that for SetDetail, which reads\n"
    "first (RebootPolling polls for up to its own 5 min). A SetDetail or\n"
    "FactReset stopped (Ctrl-C) or left without an answer once its request\n"
    "went out may still have changed the device: GetDetail tells.\n"
    VLNET_PROBES_AGAIN
    "Given by its MAC, SetDetail, FactReset and a password go only when the MAC\n"
    "answered from one address alone, in one more round of the probe too;\n"
    "otherwise nothing is sent and each address is named: give the device's IP\n"
    "address to choose.\n"
    "Before the probe, each PATH=VALUE must name a value the command sends, once,\n"
    "and fit it: numbers within the field's width (IPMode 0-2, WebPort 1-65535,\n"
    "what a device takes), addresses as A.B.C.D (decimal 0-255), texts of at\n"
    "most 64 bytes and without a NUL, hex: with an even number of hexadecimal\n"
    "digits. An address, mask or gateway that would cut the device\n"
    "off the network is refused too (0.0.0.0/8, broadcast, loopback, multicast\n"
    "or reserved addresses, a mask with a gap or of 0.0.0.0; a gateway of\n"
    "0.0.0.0 means none; with no IPMode given, once GetDetail has read the\n"
    "device's), and so, once GetDetail has read the device's settings and before\n"
    "any is sent, are settings it would then have that do: the network or\n"
    "broadcast address of its subnet; an address in use: this computer's, one\n"
    "any device answered the probe from, the device's gateway, or one a host\n"
    "answers for when asked (a probe to it and its link address, within 1 s);\n"
    "and settings that would leave this computer unable to reach the device on\n"
    "the interface it was heard on (a /31 only with this computer at the pair's\n"
    "other address; with IPMode 1 or 2, given or read, the device takes an\n"
    "address of its own, but keeps its address and mask, judged so, when no\n"
    "server answers); with IPMode 0 only, a gateway outside the subnet. --force\n"
    "sends the last two (a device to be moved to another network) and says what\n"
    "it overrode.\n"
    "SetDetail needs at least one.\n"
    "Exit status: 0 result 0; 1 a failure (another result, the device not found\n"
    "or refused, a value the device's settings or the network refuse, such as an\n"
    "address in use, the input ended at the password prompt); 2 a PATH=VALUE or\n"
    "password refused by the command line alone, no change sent; 130 stopped by\n"
    "Ctrl-C (SIGINT), 143 by SIGTERM, 129 by SIGHUP; 141 the reader of its output\n"
    "went away.\n";
// clang-format on

const char kSettingsRun[] = "\n"
                            "settings most often changed (SetDetail):\n"
                            "  VLPC.2B_5A10_01.NodeName=NAME        the node name\n"
                            "  VLPC.2B_5A10_01.Location=TEXT        where the device stands\n"
                            "  VLPC.2B_5A10_01.IPMode=N             0 static address, 1 DHCP, 2 link-local\n"
                            "  VLPC.2B_5A10_01.IPAddress=A.B.C.D    the IP address\n"
                            "  VLPC.2B_5A10_01.SubnetMask=A.B.C.D   the subnet mask\n"
                            "  VLPC.2B_5A10_01.Gateway=A.B.C.D      the default gateway\n";

// The device commands, and whether the device manager carries each out:
// run offers those it does, and its usage names the others apart.
struct SDeviceCommand
{
    const char* szName;
    bool bCarried;
};
#define VLNET_DEVICE_COMMAND(ID, NAME, REPORT, CARRIED, RETRY) {#NAME, CARRIED},
const SDeviceCommand kDeviceCommands[] = {VLECM_COMMAND_LIST(VLNET_DEVICE_COMMAND)};
#undef VLNET_DEVICE_COMMAND

std::string GetRunDetails()
{
    std::string strOffered;
    std::string strWithheld;
    for (const SDeviceCommand& command : kDeviceCommands)
        (command.bCarried ? strOffered : strWithheld) += std::string("  ") + command.szName + "\n";
    return "\ncommands:\n" + strOffered +
           "not offered, as the device manager does not carry them out but answers\n"
           "3 (not supported) without asking the device:\n" +
           strWithheld + kSettingsRun;
}

// The most edits (a letter added, dropped or changed; case counts as none)
// from a name typed to a device command's name that is still taken for a
// slip of the keyboard.
const size_t kMaxSuggestedDistance = 3;

// The most edits from a name typed to a command's name that is still taken
// for a slip: commands' names are short, and "xyz" is no slip of "url".
const size_t kMaxSuggestedCommandDistance = 1;
const size_t kMaxSuggestedLongCommandDistance = 2;
const size_t kLongCommandName = 5;

// The socket errors of a send, in the system's stored numbering, that
// leave no network to send to.
const long kSocketNetworkDown = 50;
const long kSocketNetworkUnreachable = 51;

// Why a change or a password (szChange: the command) by MAC is refused
// when the MAC answered from more than one address; heard: the addresses
// to choose from, when known.
std::string SeveralRefusal(const std::string& strMAC, const char* szChange,
                           const std::vector<std::string>& heard = std::vector<std::string>())
{
    return "device " + strMAC + " refused for " + szChange +
           ": it answered the probe from more than one address, and a change or a password goes only where nothing "
           "else answers for its MAC; give the device's IP address to choose" +
           (heard.empty() ? "" : "; heard so far from " + CVLNetSession::ListText(heard));
}

// True (after saying so) when no probe datagram left the computer.
bool ReportNothingSent(const CVLNetSession& session)
{
    long nError = 0;
    if (!session.IsNothingSent(nError))
        return false;
    if (!session.GetSendRefusal().empty()) {
        fprintf(stderr, "vlnet: no probe could be sent: %s\n", session.GetSendRefusal().c_str());
        return true;
    }
    // No interface up, or none with an address: the route to any network
    // is missing.
    const bool bNoNetwork = nError == kSocketNetworkDown || nError == kSocketNetworkUnreachable;
    fprintf(stderr, "vlnet: no probe could be sent: %s%s\n", CVLNetResultText::GetSocketErrorText(nError).c_str(),
            bNoNetwork ? ": bring an interface up (ip link set DEV up) or give it an address (ip address add "
                         "A.B.C.D/N dev DEV)"
                       : "");
    return true;
}

// True (after saying so) when the probe could hear none of its replies.
bool ReportDeaf(const CVLNetSession& session)
{
    long nError = 0;
    if (!session.IsDeaf(nError))
        return false;
    fprintf(stderr, "vlnet: the probe could not listen for replies: its receive threads could not start: %s\n",
            CVLNetResultText::GetSystemErrorText(nError).c_str());
    return true;
}

// Why a MAC whose unicast check passed at several addresses is refused:
// each answered unicast with the MAC, and nothing tells which is the device.
std::string ConflictText(const std::string& strMAC, const std::vector<std::string>& passed)
{
    return "device " + strMAC + " passed its unicast check at " + CVLNetSession::ListText(passed) +
           ": nothing tells which of them is the device (a host may claim its MAC); find what answers at each";
}

// The listed devices whose unicast check passed at several addresses: of
// no use to url, open and run until that is sorted out.
size_t ReportConflicts(CVLNetSession& session)
{
    const std::vector<CVLNetSession::SConflict> conflicts = session.GetConflicts();
    for (const CVLNetSession::SConflict& conflict : conflicts)
        fprintf(stderr, "vlnet: %s; until then url, open and run refuse it\n",
                ConflictText(conflict.strMAC, conflict.passed).c_str());
    return conflicts.size();
}

// The addresses more than one MAC answered its unicast check from; how many.
size_t ReportShared(CVLNetSession& session)
{
    const auto shared = session.GetSharedAddresses();
    for (const auto& address : shared)
        fprintf(stderr, "vlnet: %s answered the probe for %s: %s devices share the address\n", address.first.c_str(),
                CVLNetSession::ListText(address.second).c_str(),
                address.second.size() == 2 ? "two" : std::to_string(address.second.size()).c_str());
    return shared.size();
}

// True when an address is named: any on one of the computer's networks or
// that its reply names as its own, and the first few others of a MAC that
// are on none (counted in nUnreachable), which a host may hold by the
// thousand.
template <class TAddress>
bool IsNamed(const TAddress& address, size_t& nUnreachable)
{
    return !address.bOffNetwork || address.bOwnAddress || ++nUnreachable <= CVLNetSession::kNamedUnreachable;
}

// Those not named of nUnreachable: "5 more addresses on none of this
// computer's networks"; empty when every one was.
std::string MoreUnreachableText(size_t nUnreachable)
{
    if (nUnreachable <= CVLNetSession::kNamedUnreachable)
        return std::string();
    const size_t nMore = nUnreachable - CVLNetSession::kNamedUnreachable;
    return std::to_string(nMore) + (nMore == 1 ? " more address" : " more addresses") +
           " on none of this computer's networks (unicast cannot reach them)";
}

// A MAC heard from more addresses than are told apart.
std::string UntoldText(const std::string& strMAC)
{
    return "device " + strMAC + " answered the probe from more than " +
           std::to_string(static_cast<int>(CVLNetSession::kMaxAddressesPerMAC)) +
           " addresses, the others neither kept nor checked";
}

// Says the addresses of a MAC that were never checked, one line for each
// reason, and when more answered for it than are told apart; true when
// there were any. Of each reason the first few addresses are named (the
// device itself may be among them), the others counted: hosts may claim a
// MAC from thousands.
bool ReportUnchecked(CVLNetSession& session, const std::string& strMAC)
{
    bool bMore = false;
    struct SReason
    {
        std::string strReason;
        std::vector<std::string> named;
        size_t nOthers = 0;
    };
    std::vector<SReason> reasons;
    for (const CVLNetSession::SAddress& address : session.GetAddresses(strMAC, bMore)) {
        if (address.eState != CVLNetSession::ADDRESS_UNCHECKED)
            continue;
        auto reason = std::find_if(reasons.begin(), reasons.end(),
                                   [&address](const SReason& one) { return one.strReason == address.strReason; });
        if (reason == reasons.end())
            reason = reasons.insert(reasons.end(), SReason{address.strReason, {}, 0});
        if (reason->named.size() < CVLNetSession::kNamedUnreachable)
            reason->named.push_back(address.strIP);
        else
            ++reason->nOthers;
    }
    for (SReason& reason : reasons) {
        if (reason.nOthers > 0)
            reason.named.push_back(std::to_string(reason.nOthers) +
                                   (reason.nOthers == 1 ? " more address" : " more addresses"));
        fprintf(stderr, "vlnet: device %s also answered the probe from %s, not checked: %s\n", strMAC.c_str(),
                CVLNetSession::ListText(reason.named).c_str(), reason.strReason.c_str());
    }
    if (bMore)
        fprintf(stderr, "vlnet: %s\n", UntoldText(strMAC).c_str());
    return !reasons.empty() || bMore;
}

// Refuses a MAC heard from more addresses than are told apart: the device
// may be among those not kept, and nothing its checks say can tell it.
void RefuseUntold(const std::string& strMAC)
{
    fprintf(stderr, "vlnet: %s: which is the device cannot be told; refused\n", UntoldText(strMAC).c_str());
}

// The device's MAC answered from other addresses too: each is named with
// why it is not used, and strIP as the one that is. False (after saying
// why) when the device cannot be told: another address was still being
// checked or, given by its MAC, more than one passed its check or one was
// never checked. Given by an address that passed (bByAddress), that address
// is the one the user chose, whatever the others are. szChange: the command,
// when it changes the device or carries a password: by MAC it goes only
// where no other address answered for the MAC at all.
bool CheckOtherAddresses(CVLNetSession& session, const std::string& strMAC, const std::string& strIP, bool bByAddress,
                         const char* szChange = nullptr)
{
    bool bMore = false;
    const std::vector<CVLNetSession::SAddress> addresses = session.GetAddresses(strMAC, bMore);
    if (bMore && !bByAddress) {
        RefuseUntold(strMAC);
        return false;
    }
    std::vector<std::string> passed = session.GetPassedAddresses(strMAC);
    CVLNetSession::SortAddresses(passed);
    // A change by MAC is refused whatever the other addresses are.
    const bool bChange = szChange != nullptr && !bByAddress;
    const bool bConflict = passed.size() > 1 && !bByAddress && !bChange;
    bool bPending = false;
    size_t nOthers = 0;
    size_t nUnreachable = 0;
    for (const CVLNetSession::SAddress& address : addresses) {
        if (address.strIP == strIP || address.eState == CVLNetSession::ADDRESS_UNCHECKED)
            continue;
        // One on none of the computer's networks is named; no change, and
        // no password, could reach it.
        if (!(bChange && address.bOffNetwork && address.eState == CVLNetSession::ADDRESS_FAILED))
            ++nOthers;
        if (address.eState == CVLNetSession::ADDRESS_PENDING || address.eState == CVLNetSession::ADDRESS_FAILED) {
            if (IsNamed(address, nUnreachable))
                fprintf(stderr, "vlnet: device %s also answered the probe from %s: %s\n", strMAC.c_str(),
                        address.strIP.c_str(), address.strReason.c_str());
            bPending = bPending || address.eState == CVLNetSession::ADDRESS_PENDING;
        } else if (bChange) {
            fprintf(stderr, "vlnet: device %s also passed its unicast check at %s\n", strMAC.c_str(),
                    address.strIP.c_str());
        } else if (!bConflict) {
            fprintf(stderr, "vlnet: device %s also passed its unicast check at %s: not used, as %s was given\n",
                    strMAC.c_str(), address.strIP.c_str(), strIP.c_str());
        }
    }
    if (!MoreUnreachableText(nUnreachable).empty())
        fprintf(stderr, "vlnet: device %s also answered the probe from %s\n", strMAC.c_str(),
                MoreUnreachableText(nUnreachable).c_str());
    const bool bUnchecked = ReportUnchecked(session, strMAC);
    if (bConflict) {
        fprintf(stderr, "vlnet: %s; refused\n", ConflictText(strMAC, passed).c_str());
        return false;
    }
    // A host answering for the MAC cannot be told from the device: nothing
    // that changes the device, and no password, goes to either.
    if (bChange && (nOthers > 0 || bUnchecked)) {
        fprintf(stderr, "vlnet: device %s passed its unicast check at %s\nvlnet: %s\n", strMAC.c_str(), strIP.c_str(),
                SeveralRefusal(strMAC, szChange).c_str());
        return false;
    }
    // By its MAC, the checks still running were cut short.
    if (bPending && !bByAddress) {
        fprintf(stderr,
                "vlnet: device %s refused, as which address is the device cannot be told yet (%s passed its unicast "
                "check)%s\n",
                strMAC.c_str(), strIP.c_str(), session.IsTimedOut() ? "; a longer --timeout lets every check end" : "");
        return false;
    }
    if (bUnchecked && !bByAddress) {
        fprintf(stderr,
                "vlnet: device %s refused, as which address is the device cannot be told: not every address that "
                "answered for it was checked (%s passed its unicast check: given instead of the MAC, it is used)\n",
                strMAC.c_str(), strIP.c_str());
        return false;
    }
    if (nOthers > 0 || bUnchecked)
        fprintf(stderr, "vlnet: device %s used at %s, which passed its unicast check\n", strMAC.c_str(), strIP.c_str());
    return true;
}

// Says why the list may be incomplete: the probe's reasons and notes.
void ReportIncomplete(CVLNetSession& session, const std::vector<std::string>& reasons,
                      const std::string& strLimitedOnly)
{
    for (const std::string& strReason : reasons)
        fprintf(stderr, "vlnet: %s\n", strReason.c_str());
    if (!strLimitedOnly.empty())
        fprintf(stderr, "vlnet: %s\n", strLimitedOnly.c_str());
    if (!session.GetDownNote().empty())
        fprintf(stderr, "vlnet: %s\n", session.GetDownNote().c_str());
}

// probe --mac of a device found: listed as url and run would use it, and
// its other addresses named as they name them; refused as they refuse it.
int ListProbedMAC(CVLNetSession& session, const std::string& strMAC, CVLNetStatusLine& statusLine, bool bStopped)
{
    const std::string strNormal = CVLNetOptions::NormalizeMACAddress(strMAC);
    const std::vector<std::string> passed = session.GetPassedAddresses(strNormal);
    const bool bUsable = !bStopped && !passed.empty() && CheckOtherAddresses(session, strNormal, passed.front(), false);
    if (bUsable)
        statusLine.Print(session.GetDeviceLine(strNormal));
    statusLine.Close(bUsable ? 1 : 0);
    if (bStopped)
        return VLNET_EXIT_STOPPED;
    return bUsable && !CVLNetStatusLine::HasWriteFailed() ? VLNET_EXIT_SUCCESS : VLNET_EXIT_FAILURE;
}

// probe --mac of a device not listed: why, as url and run say it.
int ReportProbedMACMissing(CVLNetSession& session, const CVLNetOptions& options, CVLNetStatusLine& statusLine,
                           bool bStopped, const std::vector<std::string>& reasons,
                           const std::vector<CVLNetSession::SUnlisted>& unlisted, const std::string& strLimitedOnly)
{
    const std::string& strMAC = options.GetMACAddress();
    statusLine.Close(0, session.GetDownInterfaces(), session.GetUnpluggedInterfaces(),
                     session.GetUnaddressedInterfaces());
    ReportIncomplete(session, reasons, strLimitedOnly);
    // Without a time-out given the probe sent one round: a device still
    // starting may answer a later one.
    // A network left out (said above) is not probed however long.
    if (unlisted.empty())
        fprintf(stderr, "vlnet: device %s not found%s%s\n", strMAC.c_str(),
                bStopped                   ? " before the stop"
                : options.IsTimeoutGiven() ? ""
                                           : " in the probe's one round of sends; a device still starting may "
                                             "answer later: given --timeout N, the probe sends round after "
                                             "round for N seconds",
                bStopped || session.GetDownNote().empty()
                    ? ""
                    : "; one on a network the probe left out (said above) does not answer however long");
    // Each address it answered from, when more than one did.
    size_t nUnreachable = 0;
    for (const CVLNetSession::SUnlisted& device : unlisted) {
        if (!IsNamed(device, nUnreachable))
            continue;
        const std::string strFrom = unlisted.size() > 1 ? " from " + device.strIP : std::string();
        if (device.bRefused)
            fprintf(stderr, "vlnet: device %s answered the probe%s but was %s\n", strMAC.c_str(), strFrom.c_str(),
                    device.strReason.c_str());
        else
            fprintf(stderr, "vlnet: device %s answered the probe%s%s\n", strMAC.c_str(), strFrom.c_str(),
                    CVLNetCommands::NotUsedText(device.bSilent, device.bPending, device.strReason, "was not listed")
                        .c_str());
    }
    if (!MoreUnreachableText(nUnreachable).empty())
        fprintf(stderr, "vlnet: device %s also answered the probe from %s\n", strMAC.c_str(),
                MoreUnreachableText(nUnreachable).c_str());
    ReportUnchecked(session, CVLNetOptions::NormalizeMACAddress(strMAC));
    return bStopped ? VLNET_EXIT_STOPPED : VLNET_EXIT_FAILURE;
}

// Names the devices that answered the probe but are not listed, and each
// MAC beyond the addresses checked.
void ReportUnlisted(CVLNetSession& session, const std::vector<CVLNetSession::SUnlisted>& unlisted)
{
    // A device that answered the probe alone is the one most in need of
    // attention (a wrong address or mask, another host holding its address).
    // A listed MAC's other addresses are named as its own.
    // Each MAC's addresses are read once, however many of them are named.
    std::vector<std::string> listed = session.GetListedMACs();
    std::sort(listed.begin(), listed.end());
    struct SListedAt
    {
        std::string strIP;
        size_t nUnreachable = 0;
    };
    std::map<std::string, SListedAt> heard;
    for (const CVLNetSession::SUnlisted& device : unlisted) {
        auto it = heard.find(device.strMAC);
        if (it == heard.end()) {
            it = heard.emplace(device.strMAC, SListedAt()).first;
            const std::vector<std::string> passed = std::binary_search(listed.begin(), listed.end(), device.strMAC)
                                                        ? session.GetPassedAddresses(device.strMAC)
                                                        : std::vector<std::string>();
            if (!passed.empty())
                it->second.strIP = passed.front();
        }
        if (!IsNamed(device, it->second.nUnreachable))
            continue;
        if (!it->second.strIP.empty())
            fprintf(stderr, "vlnet: device %s, listed at %s, also answered the probe from %s: %s\n",
                    device.strMAC.c_str(), it->second.strIP.c_str(), device.strIP.c_str(), device.strReason.c_str());
        else
            fprintf(stderr, "vlnet: not listed: %s\t%s\n",
                    CVLNetSession::FormatDeviceLine(device.strMAC, device.strIP, device.strModel).c_str(),
                    device.strReason.c_str());
    }
    for (const auto& mac : heard) {
        const std::string strMore = MoreUnreachableText(mac.second.nUnreachable);
        if (strMore.empty())
            continue;
        if (!mac.second.strIP.empty())
            fprintf(stderr, "vlnet: device %s, listed at %s, also answered the probe from %s\n", mac.first.c_str(),
                    mac.second.strIP.c_str(), strMore.c_str());
        else
            fprintf(stderr, "vlnet: not listed: %s: answered the probe from %s\n", mac.first.c_str(),
                    strMore.c_str());
    }
    for (const std::string& strUnnamed : session.GetUnnamedRefused())
        fprintf(stderr, "vlnet: not listed: %s\n", strUnnamed.c_str());
    // Listed or not, a MAC beyond the addresses checked says so.
    std::vector<std::string> macs = session.GetListedMACs();
    // One a bound refused is named above already, with its bound.
    for (const CVLNetSession::SUnlisted& device : unlisted) {
        if (!device.bRefused)
            macs.push_back(device.strMAC);
    }
    std::sort(macs.begin(), macs.end());
    macs.erase(std::unique(macs.begin(), macs.end()), macs.end());
    for (const std::string& strOne : macs)
        ReportUnchecked(session, strOne);
}

int RunProbe(CVLNetSession& session, const CVLNetOptions& options)
{
    CVLNetStatusLine statusLine(CVLNetStatusLine::IsTerminal());
    VLPFW_RESULT eResult = session.Probe(options.GetTimeoutSeconds(), options.IsTimeoutGiven(), options.GetMACAddress(),
                                         "", "", &statusLine);
    if (eResult != VLPFW_RESULT_SUCCESS) {
        fprintf(stderr, "vlnet: the probe did not start: result %d (%s)\n", eResult,
                CVLNetResultText::GetPFWResultText(eResult));
        return VLNET_EXIT_FAILURE;
    }
    // The write that failed is said once the session has ended.
    if (CVLNetStatusLine::HasWriteFailed())
        return VLNET_EXIT_FAILURE;
    // A stop lists no further device, but says, as a time-out does, that
    // the list was cut and which devices were still being checked.
    const bool bStopped = CVLNetSession::IsStopRequested();
    bool bNothingSent = ReportNothingSent(session);
    if (ReportDeaf(session) || bNothingSent)
        return VLNET_EXIT_FAILURE;
    std::vector<std::string> reasons = session.GetIncompleteReasons();
    std::vector<CVLNetSession::SUnlisted> unlisted = session.GetUnlisted();
    int nFound = session.GetFoundCount();
    // A note, not a cause of status 3: a computer with more networks than
    // the definitions' entries would never end a probe with 0.
    const std::string strLimitedOnly = session.GetLimitedOnlyNote();
    const std::string& strMAC = options.GetMACAddress();
    // With --mac the run is about that device alone: listed, nothing else
    // matters; missing, it says why, as url and run do.
    if (!strMAC.empty()) {
        session.ReportScriptFailures();
        if (nFound > 0)
            return ListProbedMAC(session, strMAC, statusLine, bStopped);
        return ReportProbedMACMissing(session, options, statusLine, bStopped, reasons, unlisted, strLimitedOnly);
    }
    statusLine.Close(nFound, session.GetDownInterfaces(), session.GetUnpluggedInterfaces(),
                     session.GetUnaddressedInterfaces());
    ReportIncomplete(session, reasons, strLimitedOnly);
    ReportUnlisted(session, unlisted);
    // A line of a MAC in conflict, or of an address two MACs share, may
    // name what is not the device: the list is not to be taken as it is.
    const size_t nConflicts = ReportConflicts(session) + ReportShared(session);
    unsigned long nScriptFailures = session.ReportScriptFailures();
    if (bStopped)
        return VLNET_EXIT_STOPPED;
    return CVLNetProbeStatus::ExitStatus(reasons.size() + nConflicts, unlisted.size(), nScriptFailures);
}

// Why an address of a MAC was never checked.
std::string UncheckedReason(CVLNetSession& session, const std::string& strMAC, const std::string& strIP)
{
    std::string strReason;
    session.GetAddressState(strMAC, strIP, strReason);
    return strReason;
}

// A device that answered the probe but not by unicast: why, and given by
// its MAC from several addresses, why of each address.
void ReportNotUnicast(CVLNetSession& session, const std::string& strDevice, const std::string& strMAC)
{
    bool bMore = false;
    std::vector<CVLNetSession::SAddress> addresses;
    for (const CVLNetSession::SAddress& address :
         strMAC.empty() ? std::vector<CVLNetSession::SAddress>() : session.GetAddresses(strMAC, bMore)) {
        if (address.eState != CVLNetSession::ADDRESS_UNCHECKED)
            addresses.push_back(address);
    }
    if (addresses.size() <= 1) {
        fprintf(stderr, "vlnet: device %s answered the probe%s\n", strDevice.c_str(),
                CVLNetCommands::NotUsedText(!session.IsFoundAnsweringUnicast(), session.IsFoundPending(),
                                            session.GetNotUnicastReason(), "was not used")
                    .c_str());
    } else {
        // No one address is the device's: each is said with its own reason;
        // one that passed was not used as its MAC's others were not judged.
        size_t nUnreachable = 0;
        for (const CVLNetSession::SAddress& address : addresses) {
            if (!IsNamed(address, nUnreachable))
                continue;
            if (address.eState == CVLNetSession::ADDRESS_PASSED) {
                fprintf(stderr,
                        "vlnet: device %s passed its unicast check at %s, but its MAC's other addresses were not all "
                        "judged%s\n",
                        strMAC.c_str(), address.strIP.c_str(), session.IsTimedOut() ? " at the time-out" : "");
                continue;
            }
            const bool bPending = address.eState == CVLNetSession::ADDRESS_PENDING;
            fprintf(stderr, "vlnet: device %s answered the probe from %s%s\n", strMAC.c_str(), address.strIP.c_str(),
                    CVLNetCommands::NotUsedText(address.bSilent, bPending,
                                                address.strReason +
                                                    (bPending && session.IsTimedOut() ? " at the time-out" : ""),
                                                "was not used")
                        .c_str());
        }
        if (!MoreUnreachableText(nUnreachable).empty())
            fprintf(stderr, "vlnet: device %s answered the probe from %s\n", strMAC.c_str(),
                    MoreUnreachableText(nUnreachable).c_str());
    }
    if (!strMAC.empty())
        ReportUnchecked(session, strMAC);
}

// Refuses an address that more than one MAC answered its unicast check
// from: which device the user meant cannot be told. True when it did.
bool RefuseShared(CVLNetSession& session, const std::string& strIP)
{
    const std::vector<std::string> macs = session.GetMACsAnsweringAt(strIP);
    if (macs.size() < 2)
        return false;
    fprintf(stderr,
            "vlnet: %s answered the probe for %s: which device is meant cannot be told; refused (give its MAC)\n",
            strIP.c_str(), CVLNetSession::ListText(macs).c_str());
    return true;
}

// Says that the address a device given by its MAC is used at answered for
// other MACs too.
void NoteShared(CVLNetSession& session, const std::string& strMAC, const std::string& strIP)
{
    std::vector<std::string> others;
    for (const std::string& strOther : session.GetMACsAnsweringAt(strIP)) {
        if (strOther != strMAC)
            others.push_back(strOther);
    }
    if (!others.empty())
        fprintf(stderr, "vlnet: device %s is at %s, which also answered the probe for %s\n", strMAC.c_str(),
                strIP.c_str(), CVLNetSession::ListText(others).c_str());
}

// This computer's IPv4 addresses, each with its mask and interface.
std::vector<CVLNetValueCheck::SLocalAddress> ReadComputerAddresses()
{
    std::vector<VLInterfaceAddress> interfaces;
    VLListInterfaceAddresses(interfaces);
    std::vector<CVLNetValueCheck::SLocalAddress> computer;
    for (const VLInterfaceAddress& entry : interfaces)
        computer.push_back({CVLSocketAddress::FormatDottedQuad(entry.address).GetString(),
                            CVLSocketAddress::FormatDottedQuad(entry.netmask).GetString(), entry.strName});
    return computer;
}

// The links a device may be on: those up without an IPv4 address (where
// the device may well be), then those the probe's limited broadcast leaves
// through.
std::vector<std::string> LinkInterfaces()
{
    std::vector<std::string> links = CVLNetSession::UnaddressedInterfaces();
    for (const std::string& strLink : CVLNetSession::BroadcastInterfaces()) {
        if (std::find(links.begin(), links.end(), strLink) == links.end())
            links.push_back(strLink);
    }
    return links;
}

// False (after saying so) for a device address on none of the computer's
// networks: a probe hears only those, and a request to it would leave
// through a router to whatever holds the address there.
bool CheckOnLocalNetwork(const std::string& strIP)
{
    std::vector<std::string> networks;
    if (strIP.empty())
        return true;
    // No network of any computer's holds a device there.
    uint32_t nAddress = 0;
    CVLSocketAddress::ParseDottedQuad(strIP.c_str(), nAddress);
    const std::string strNoDevice = CVLNetValueCheck::NoDeviceAddress(nAddress);
    if (!strNoDevice.empty()) {
        fprintf(stderr, "vlnet: %s: %s: give the device's own; nothing was sent\n", strIP.c_str(),
                strNoDevice.c_str());
        return false;
    }
    if (!CVLECM::IsOnLocalNetwork(CVLString(strIP.c_str(), VL_CHARSET_UTF8), networks)) {
        // Said as the probe says it of the network it leaves out.
        std::vector<VLInterfaceAddress> interfaces;
        VLListInterfaceAddresses(interfaces);
        const std::string strDown = CVLNetSession::DownNetworkText(interfaces, strIP);
        if (!strDown.empty()) {
            fprintf(stderr, "vlnet: %s; nothing was sent\n", strDown.c_str());
            return false;
        }
        fprintf(stderr,
                "vlnet: %s is on none of this computer's networks (%s): vlnet reaches devices on the computer's own "
                "networks only; nothing was sent; to reach a device there, give this computer an address on its "
                "subnet on the device's link (%s)\n",
                strIP.c_str(), networks.empty() ? "it has none" : CVLNetSession::ListText(networks).c_str(),
                CVLNetResultText::GetAddAddressCommand(0, LinkInterfaces()).c_str());
        return false;
    }
    // No device answers from this computer's own address or from a
    // network's own addresses: a search for one would run to the time-out.
    const std::string strWhat = CVLNetValueCheck::ComputerAddress(nAddress, ReadComputerAddresses());
    if (strWhat.empty())
        return true;
    fprintf(stderr, "vlnet: %s is %s, no device's address: give the device's own; nothing was sent\n", strIP.c_str(),
            strWhat.c_str());
    return false;
}

// A change or a password by MAC refused as soon as a second address
// answered for it, in one line naming the addresses heard by then: how far
// their checks had got is moot once refused, save one that passed.
void RefuseSeveral(CVLNetSession& session, const std::string& strMAC, const char* szChange)
{
    std::vector<std::string> heard;
    for (const CVLNetSession::SAddress& address : session.GetSeveralAddresses())
        heard.push_back(address.strIP +
                        (address.eState == CVLNetSession::ADDRESS_PASSED ? " (passed its unicast check)" : ""));
    fprintf(stderr, "vlnet: %s\n", SeveralRefusal(strMAC, szChange, heard).c_str());
}

// False (after saying why) when the device found is not to be used: other
// addresses answered for its MAC, or, for a change by MAC, the probe ended
// before it could show that none would.
bool AcceptFoundDevice(CVLNetSession& session, CVLPFWNIFInfo* pNIFInfo, const std::string& strMAC, const char* szChange)
{
    CVLString strIPText = pNIFInfo->GetIPAddress();
    const std::string strIP = strIPText.GetBuffer() != nullptr ? strIPText.GetBuffer() : "";
    const std::string strFoundMAC = CVLNetOptions::NormalizeMACAddress(pNIFInfo->GetMACAddress().GetBuffer());
    if (!CheckOtherAddresses(session, strFoundMAC, strIP, strMAC.empty(), szChange))
        return false;
    // Nothing else answered for it, but the probe ended (at the
    // time-out, as a rule) before one more round of it could show that
    // nothing else would.
    if (szChange != nullptr && !strMAC.empty() && !session.IsSoleAddressConfirmed()) {
        fprintf(stderr,
                "vlnet: device %s refused for %s: the probe ended%s before one more round of it could show that "
                "nothing else answers for its MAC; give the device's IP address to choose%s\n",
                strFoundMAC.c_str(), szChange, session.IsTimedOut() ? " at the time-out" : "",
                session.IsTimedOut() ? ", or a longer --timeout" : "");
        return false;
    }
    if (!strMAC.empty())
        NoteShared(session, strFoundMAC, strIP);
    return true;
}

// Why the device of the command line was not found.
void ReportNotFound(CVLNetSession& session, const CVLNetOptions& options)
{
    const std::string& strMAC = options.GetMACAddress();
    ReportNothingSent(session);
    ReportDeaf(session);
    if (!session.GetLimitedOnlyNote().empty())
        fprintf(stderr, "vlnet: %s\n", session.GetLimitedOnlyNote().c_str());
    if (!session.GetDownNote().empty())
        fprintf(stderr, "vlnet: %s\n", session.GetDownNote().c_str());
    const std::string& strDevice = strMAC.empty() ? options.GetIPAddress() : strMAC;
    const std::string strUncheckedMAC = session.FindUncheckedMAC(options.GetIPAddress());
    bool bMore = false;
    if (!strMAC.empty())
        session.GetAddresses(strMAC, bMore);
    if (bMore)
        RefuseUntold(strMAC);
    else if (!session.GetTwoHosts().empty())
        fprintf(stderr, "vlnet: device %s answered the probe, but two hosts answer for its address: %s\n",
                strDevice.c_str(), session.GetTwoHosts().c_str());
    else if (!session.GetRefusal().empty())
        fprintf(stderr, "vlnet: device %s answered the probe but was refused by a bound: %s\n", strDevice.c_str(),
                session.GetRefusal().c_str());
    else if (!session.GetPassedMACInstead().empty())
        fprintf(stderr, "vlnet: device %s answered the probe but %s; its MAC %s passed its unicast check at %s\n",
                strDevice.c_str(), session.GetNotUsedWhy().c_str(), session.GetPassedMACInstead().c_str(),
                session.GetPassedAddressInstead().c_str());
    else if (!strUncheckedMAC.empty())
        fprintf(stderr, "vlnet: device %s answered the probe for MAC %s, not checked: %s\n", strDevice.c_str(),
                strUncheckedMAC.c_str(), UncheckedReason(session, strUncheckedMAC, options.GetIPAddress()).c_str());
    else if (session.IsFoundNotUnicast())
        ReportNotUnicast(session, strDevice, strMAC);
    else
        fprintf(stderr, "vlnet: device %s not found\n", strDevice.c_str());
}

// Probes until the device of the command line is found; null when it is not.
// szChange: the command, when it changes the device or carries a password.
CVLPFWNIFInfo* FindDevice(CVLNetSession& session, const CVLNetOptions& options, int& nExit,
                          const char* szChange = nullptr)
{
    if (!CheckOnLocalNetwork(options.GetIPAddress())) {
        nExit = VLNET_EXIT_FAILURE;
        return nullptr;
    }
    CVLNetStatusLine statusLine(CVLNetStatusLine::IsTerminal());
    // What answered so far, the device's other MACs too, and whether the
    // device did: "0 devices found" would hide both.
    const std::string strDevice = options.GetDevice();
    statusLine.StartTicking([&session, strDevice](double dSeconds) {
        int nChecking = 0, nCommands = 0;
        session.GetWaitCounts(nChecking, nCommands);
        const CVLNetSession::ESearch eSearch = session.GetSearch();
        return CVLNetStatusLine::FormatSearch(dSeconds, session.GetAnsweredCount(), strDevice,
                                              eSearch != CVLNetSession::SEARCH_NOT_HEARD,
                                              eSearch == CVLNetSession::SEARCH_UNUSABLE, nChecking, nCommands);
    });
    session.SetNoteWriter([&statusLine](const std::string& strNote) { statusLine.Note(strNote); });
    const std::string& strMAC = options.GetMACAddress();
    VLPFW_RESULT eResult = session.Probe(options.GetTimeoutSeconds(), false, strMAC, strMAC, options.GetIPAddress(),
                                         nullptr, szChange != nullptr && !strMAC.empty());
    statusLine.StopTicking();
    session.SetNoteWriter(nullptr);
    if (eResult != VLPFW_RESULT_SUCCESS) {
        fprintf(stderr, "vlnet: the probe did not start: result %d (%s)\n", eResult,
                CVLNetResultText::GetPFWResultText(eResult));
        nExit = VLNET_EXIT_FAILURE;
        return nullptr;
    }
    // A stop ends the probe early: what it found is not used.
    if (CVLNetSession::IsStopRequested()) {
        nExit = VLNET_EXIT_STOPPED;
        return nullptr;
    }
    // Whatever was found: the definitions in use send what they may not.
    if (!session.GetAskFailure().empty()) {
        fprintf(stderr, "vlnet: device %s could not be asked which MAC answers there: %s\n",
                options.GetIPAddress().c_str(), session.GetAskFailure().c_str());
        nExit = VLNET_EXIT_FAILURE;
        return nullptr;
    }
    if (strMAC.empty() && RefuseShared(session, options.GetIPAddress())) {
        nExit = VLNET_EXIT_FAILURE;
        return nullptr;
    }
    if (szChange != nullptr && session.IsSeveralAnswered()) {
        RefuseSeveral(session, CVLNetOptions::NormalizeMACAddress(strMAC), szChange);
        nExit = VLNET_EXIT_FAILURE;
        return nullptr;
    }
    CVLPFWNIFInfo* pNIFInfo = session.GetFoundNIFInfo();
    const std::string strNormal = CVLNetOptions::NormalizeMACAddress(strMAC);
    // A MAC in conflict whose device was not found here: refused as one
    // that was.
    std::vector<std::string> passed;
    if (pNIFInfo == nullptr && !strMAC.empty() && session.GetVerdict(strNormal) == CVLNetSession::VERDICT_CONFLICT)
        passed = session.GetPassedAddresses(strNormal);
    if (!passed.empty()) {
        CheckOtherAddresses(session, strNormal, passed.front(), false, szChange);
        nExit = VLNET_EXIT_FAILURE;
        return nullptr;
    }
    if (pNIFInfo != nullptr && !AcceptFoundDevice(session, pNIFInfo, strMAC, szChange)) {
        nExit = VLNET_EXIT_FAILURE;
        return nullptr;
    }
    if (pNIFInfo == nullptr) {
        ReportNotFound(session, options);
        nExit = VLNET_EXIT_FAILURE;
    }
    return pNIFInfo;
}

// A url or open stopped before it used the device: says so, and what the
// probe had found of it by then (a device found is not used: another
// address may have been about to answer for its MAC).
int StoppedBeforeUse(CVLNetSession& session, const CVLNetOptions& options, bool bOpen)
{
    CVLPFWNIFInfo* pFound = session.GetFoundNIFInfo();
    std::string strFound = "no answer from it yet";
    if (pFound != nullptr) {
        CVLString strIP = pFound->GetIPAddress();
        strFound = std::string("it had answered from ") + (strIP.GetBuffer() != nullptr ? strIP.GetBuffer() : "");
    } else if (session.IsFoundNotUnicast()) {
        strFound = "it had answered the probe, not yet by unicast";
    }
    fprintf(stderr, "vlnet: %s: stopped while device %s was looked for: %s; %s\n", options.GetCommand().c_str(),
            options.GetDevice().c_str(), strFound.c_str(), bOpen ? "nothing opened" : "no URL printed");
    return VLNET_EXIT_STOPPED;
}

int ShowUrl(CVLNetSession& session, const CVLNetOptions& options, bool bOpen)
{
    int nExit = VLNET_EXIT_SUCCESS;
    CVLPFWNIFInfo* pNIFInfo = FindDevice(session, options, nExit);
    if (pNIFInfo == nullptr && nExit == VLNET_EXIT_STOPPED)
        return StoppedBeforeUse(session, options, bOpen);
    if (pNIFInfo == nullptr)
        return nExit;
    std::string strURL = session.GetWebConfigURL(pNIFInfo);
    if (CVLNetSession::IsStopRequested())
        return StoppedBeforeUse(session, options, bOpen);
    if (!bOpen) {
        printf("%s\n", strURL.c_str());
        // At once, so that a failure keeps the write's own error number.
        int nWriteError = 0;
        CVLNetStatusLine::FlushOutput(nWriteError);
        return VLNET_EXIT_SUCCESS;
    }
    CVLWebLauncher launcher;
    if (!launcher.Launch(strURL.c_str())) {
        fprintf(stderr, "vlnet: the browser could not be opened on %s: %s ('vlnet url' prints the URL)\n",
                strURL.c_str(), launcher.GetFailureText().c_str());
        return VLNET_EXIT_FAILURE;
    }
    return VLNET_EXIT_SUCCESS;
}

// Says why an argument of the command line is refused, and where the
// usage is unless the line is sound (bUsage false: a value the network
// refuses, which --force would send); the status of a refused argument.
int RefuseArgument(const std::string& strError, bool bUsage)
{
    fprintf(stderr, "vlnet: %s\n%s", strError.c_str(),
            bUsage ? CVLCommandLine::GetUsageHint("vlnet", "vlnet run --help").c_str() : "");
    return VLNET_EXIT_USAGE;
}

// The PATH=VALUE arguments checked against the fields the command sends
// (to the device, when given), in the forms to set; false (after saying
// which and why) when one is refused.
bool CheckAssignments(CVLNetSession& session, const CVLNetOptions& options, CVLPFWNIFInfo* pNIFInfo,
                      std::vector<std::pair<std::string, std::string>>& assignments)
{
    const std::string& strCommand = options.GetDeviceCommand();
    std::string strError;
    bool bForcible = false;
    if (CVLNetValueCheck::Check(session.GetRequestFields(strCommand, pNIFInfo), strCommand, assignments, strError,
                                pNIFInfo != nullptr ? " to this device" : "", options.IsForce(), &bForcible))
        return true;
    RefuseArgument(strError, !bForcible);
    return false;
}

// The interface a device at strAddress is heard on: the first of this
// computer's that holds it in its subnet, with this computer's addresses and
// masks there; none when no interface does.
void FindLocalInterface(const std::string& strAddress, CVLNetValueCheck::SNeighbours& neighbours)
{
    uint32_t nAddress = 0;
    if (!CVLSocketAddress::ParseDottedQuad(strAddress.c_str(), nAddress))
        return;
    std::vector<VLInterfaceAddress> interfaces;
    VLListInterfaceAddresses(interfaces);
    auto quad = [](const unsigned char bytes[4]) {
        return std::string(CVLSocketAddress::FormatDottedQuad(bytes).GetString());
    };
    for (const VLInterfaceAddress& entry : interfaces) {
        uint32_t nLocal = 0, nMask = 0;
        CVLSocketAddress::ParseDottedQuad(quad(entry.address).c_str(), nLocal);
        CVLSocketAddress::ParseDottedQuad(quad(entry.netmask).c_str(), nMask);
        if (neighbours.strInterface.empty() && entry.bUp && !entry.bLoopback && nMask != 0 &&
            CVLNetValueCheck::SameSubnet(nLocal, nAddress, nMask))
            neighbours.strInterface = entry.strInterface;
    }
    for (const VLInterfaceAddress& entry : interfaces) {
        if (!neighbours.strInterface.empty() && entry.strInterface == neighbours.strInterface)
            neighbours.local.emplace_back(quad(entry.address), quad(entry.netmask));
    }
}

// The record's values of the fields, by path (those it holds).
std::map<std::string, std::string> ReadFields(CVLPFWNIFInfo* pNIFInfo,
                                              const std::vector<CVLNetValueCheck::SField>& fields)
{
    std::map<std::string, std::string> read;
    for (const CVLNetValueCheck::SField& field : fields) {
        std::string strText;
        if (CVLNetPropertyLines::ReadText(pNIFInfo, field.strPath, strText))
            read[field.strPath] = strText;
    }
    return read;
}

// The judgement of the settings the device will have, the values given
// over those it holds as read, against every host of the probe and this
// computer's reach; an address it would newly take is asked on the network
// before the change goes.
CVLNetValueCheck::SJudgement CheckSettingsRead(CVLNetSession& session, const CVLNetOptions& options,
                                               CVLPFWNIFInfo* pNIFInfo,
                                               const std::vector<std::pair<std::string, std::string>>& assignments)
{
    const std::vector<CVLNetValueCheck::SField> fields = session.GetRequestFields(options.GetDeviceCommand(), pNIFInfo);
    const std::map<std::string, std::string> read = ReadFields(pNIFInfo, fields);
    CVLNetValueCheck::SNeighbours neighbours;
    CVLString strIP = pNIFInfo->GetIPAddress();
    neighbours.strCurrent = strIP.GetBuffer() != nullptr ? strIP.GetBuffer() : "";
    neighbours.computer = ReadComputerAddresses();
    CVLString strMACText = pNIFInfo->GetMACAddress();
    neighbours.strMAC =
        CVLNetOptions::NormalizeMACAddress(strMACText.GetBuffer() != nullptr ? strMACText.GetBuffer() : "");
    // Whatever their checks said: a host that claims an address holds it.
    neighbours.devices = session.GetHeardAddresses();
    FindLocalInterface(neighbours.strCurrent, neighbours);
    CVLNetValueCheck::SJudgement judgement =
        CVLNetValueCheck::CheckSettings(fields, read, assignments, neighbours, options.IsForce());
    if (judgement.eVerdict != CVLNetValueCheck::VERDICT_ACCEPTED || judgement.strAskAddress.empty())
        return judgement;
    unsigned short nPort = 0;
    const std::string strRequest = session.GetProbeRequest(nPort);
    const std::string strHolder = CVLNetAddressQuery::FindHolder(judgement.strAskAddress, strRequest, nPort);
    if (!strHolder.empty()) {
        judgement.eVerdict = CVLNetValueCheck::VERDICT_IN_USE;
        judgement.strError = judgement.strAskArgument + ": in use on the network: " + strHolder + " (asked for " +
                             CVLNetAddressQuery::WaitText() + ")";
    }
    return judgement;
}

// A run stopped before its command went to the device: the command's
// result is "stopped", and nothing reached the device. szWhen: what it was
// doing ("while the device was looked for").
int StoppedBeforeSending(const CVLNetOptions& options, const char* szWhen)
{
    printf("result %d (%s)\n", VLECM_RESULT_STOPPED, CVLNetResultText::GetECMResultText(VLECM_RESULT_STOPPED));
    int nWriteError = 0;
    CVLNetStatusLine::FlushOutput(nWriteError);
    fprintf(stderr, "vlnet: %s: stopped %s: nothing was sent to the device\n", options.GetDeviceCommand().c_str(),
            szWhen);
    return VLNET_EXIT_STOPPED;
}

// False (after saying so) when a password was given to a command whose
// request carries none: it would be ignored, and may have been meant for
// another command.
bool CheckPasswordUse(CVLNetSession& session, const CVLNetOptions& options)
{
    const std::string& strCommand = options.GetDeviceCommand();
    if (!options.HasPassword() || session.NeedsPassword(strCommand))
        return true;
    std::vector<std::string> senders;
    for (const SDeviceCommand& command : kDeviceCommands) {
        if (command.bCarried && session.NeedsPassword(command.szName))
            senders.push_back(command.szName);
    }
    RefuseArgument(strCommand + " sends no password: leave the password out (" + CVLNetSession::ListText(senders) +
                       " send one)",
                   true);
    return false;
}

// An address setting of none (in DHCP or link-local).
const char kNoAddress[] = "0.0.0.0";

// After a command that succeeded: that the device restarts, and where it
// answers once it has when the change moved it (the record printed still
// holds the address it answered the probe from) or reset it. bUnreached:
// --force sent settings that leave this computer unable to reach it.
void SayWhereItAnswers(CVLNetSession& session, const CVLNetOptions& options, CVLPFWNIFInfo* pNIFInfo,
                       const std::string& strIP, const std::vector<std::pair<std::string, std::string>>& assignments,
                       bool bUnreached)
{
    CVLString strMACText = pNIFInfo->GetMACAddress();
    const std::string strMAC =
        CVLNetOptions::NormalizeMACAddress(strMACText.GetBuffer() != nullptr ? strMACText.GetBuffer() : "");
    const std::string& strCommand = options.GetDeviceCommand();
    if (CVLNetSession::ResetsDevice(strCommand)) {
        fprintf(stderr,
                "vlnet: the device's settings, its address included, return to the factory's: it restarts and may "
                "then answer at its factory address; a restart may take a while, and until it has ended 'vlnet "
                "probe' does not list it ('vlnet url %s' then finds it by its MAC)\n",
                strMAC.c_str());
        return;
    }
    if (CVLNetSession::IsRestartPending(pNIFInfo, strCommand))
        fprintf(stderr, "vlnet: the device restarts to apply the change\n");
    const std::vector<CVLNetValueCheck::SField> fields = session.GetRequestFields(strCommand, pNIFInfo);
    bool bOwnAddress = false;
    const std::string strMoved =
        CVLNetValueCheck::MovedTo(fields, ReadFields(pNIFInfo, fields), assignments, strIP, bOwnAddress);
    if (bOwnAddress)
        fprintf(
            stderr, "vlnet: the device takes an address of its own from now on%s: 'vlnet url %s' finds it by its MAC\n",
            strMoved.empty() || strMoved == kNoAddress ? ""
                                                       : (", keeping " + strMoved + " when no server answers").c_str(),
            strMAC.c_str());
    else if (!strMoved.empty() && bUnreached)
        // Moved by --force to a subnet this computer has no address on.
        fprintf(stderr,
                "vlnet: the device answers at %s from now on, which this computer may not hear: give it an address "
                "on that subnet on the device's link (%s), then 'vlnet url %s' finds it there; the record's lines "
                "from its probe reply still show %s\n",
                strMoved.c_str(), CVLNetResultText::GetAddAddressCommand(0, LinkInterfaces()).c_str(), strMAC.c_str(),
                strIP.c_str());
    else if (!strMoved.empty())
        fprintf(stderr,
                "vlnet: the device answers at %s from now on ('vlnet url %s' finds it there); the record's lines "
                "from its probe reply still show %s\n",
                strMoved.c_str(), strMAC.c_str(), strIP.c_str());
}

// The password to send, asked for when the command sends one and none was
// given; false (after saying why, nExit set) when there is none to send.
bool TakePassword(CVLNetSession& session, const CVLNetOptions& options, bool& bPassword, std::string& strPassword,
                  int& nExit)
{
    const bool bNeedsPassword = session.NeedsPassword(options.GetDeviceCommand());
    // Without one the request would carry an empty password, which a device
    // that has one counts as a wrong try.
    if (!bPassword && bNeedsPassword && !CVLNetPasswordPrompt::IsAvailable()) {
        fprintf(stderr,
                "vlnet: %s sends the device's password, and none was given (no terminal to ask on): give it with "
                "--password-file FILE (its first line) or --password PW; nothing was sent\n",
                options.GetDeviceCommand().c_str());
        nExit = VLNET_EXIT_USAGE;
        return false;
    }
    if (!bPassword && bNeedsPassword) {
        std::string strError;
        CVLNetPasswordPrompt::EResult eAsked = CVLNetPasswordPrompt::Ask(
            "Password of " + options.GetDevice() + " (" + options.GetDeviceCommand() + "): ", strPassword, strError);
        if (eAsked == CVLNetPasswordPrompt::RESULT_STOPPED) {
            nExit = StoppedBeforeSending(options, "at the password prompt");
            return false;
        }
        if (eAsked == CVLNetPasswordPrompt::RESULT_END_OF_INPUT) {
            fprintf(stderr,
                    "vlnet: %s: the input ended at the password prompt before a line did: nothing was sent "
                    "to the device\n",
                    options.GetDeviceCommand().c_str());
            nExit = VLNET_EXIT_FAILURE;
            return false;
        }
        if (eAsked == CVLNetPasswordPrompt::RESULT_FAILED) {
            fprintf(stderr, "vlnet: %s\n", strError.c_str());
            nExit = VLNET_EXIT_USAGE;
            return false;
        }
        if (strPassword.empty()) {
            fprintf(stderr,
                    "vlnet: %s: the password given at the prompt is empty: nothing was sent to the device (a device "
                    "without a password takes --password '')\n",
                    options.GetDeviceCommand().c_str());
            nExit = VLNET_EXIT_USAGE;
            return false;
        }
        bPassword = true;
    }
    return true;
}

// The command's result line, and the record the device reported when it
// holds one; where the device answers after a change.
void PrintCommandResult(CVLNetSession& session, const CVLNetOptions& options, CVLPFWNIFInfo* pNIFInfo,
                        VLECM_RESULT eResult, const std::string& strError, const std::string& strIP,
                        const std::vector<std::pair<std::string, std::string>>& assignments, bool bUnreached)
{
    printf("result %d (%s)\n", eResult, CVLNetResultText::GetECMResultText(eResult));
    int nWriteError = 0;
    CVLNetStatusLine::FlushOutput(nWriteError);
    // The record holds what the device reported only after a command that
    // succeeded or a refusal that came with data; after another failure it
    // may hold the values given, never sent.
    if (eResult != VLECM_RESULT_SUCCESS)
        fprintf(stderr, "vlnet: %s: %s\n", options.GetDeviceCommand().c_str(),
                strError.empty() ? "failed" : strError.c_str());
    if (CVLNetSession::HoldsAnswer(pNIFInfo, options.GetDeviceCommand(), eResult)) {
        if (options.IsDump()) {
            CVLString strDump = pNIFInfo->GetPropertiesText("");
            const char* szDump = strDump.GetBuffer();
            printf("%s\n", szDump != nullptr ? szDump : "");
        } else {
            fputs(CVLNetPropertyLines::FormatTarget(pNIFInfo).c_str(), stdout);
        }
    }
    // The result is lost with the output, the change is not: said here,
    // before the write's own failure.
    if (!CVLNetStatusLine::FlushOutput(nWriteError) && eResult == VLECM_RESULT_SUCCESS &&
        CVLNetSession::WritesDevice(options.GetDeviceCommand()))
        fprintf(stderr, "vlnet: %s: the device took the change, but its result could not be written\n",
                options.GetDeviceCommand().c_str());
    if (eResult == VLECM_RESULT_SUCCESS)
        SayWhereItAnswers(session, options, pNIFInfo, strIP, assignments, bUnreached);
}

int RunDeviceCommand(CVLNetSession& session, const CVLNetOptions& options)
{
    if (!CheckPasswordUse(session, options))
        return VLNET_EXIT_USAGE;
    std::vector<std::pair<std::string, std::string>> assignments = options.GetAssignments();
    if (!CheckAssignments(session, options, nullptr, assignments))
        return VLNET_EXIT_USAGE;
    // Asked for before the probe, where nothing else writes to the terminal.
    bool bPassword = options.HasPassword();
    std::string strPassword = options.GetPassword();
    int nExit = VLNET_EXIT_SUCCESS;
    if (!TakePassword(session, options, bPassword, strPassword, nExit))
        return nExit;
    const bool bChange = bPassword || CVLNetSession::WritesDevice(options.GetDeviceCommand());
    CVLPFWNIFInfo* pNIFInfo =
        FindDevice(session, options, nExit, bChange ? options.GetDeviceCommand().c_str() : nullptr);
    if (pNIFInfo == nullptr && nExit == VLNET_EXIT_STOPPED)
        return StoppedBeforeSending(options, "while the device was looked for");
    if (pNIFInfo == nullptr)
        return nExit;
    // A layout of an older version may not carry every value.
    if (!CheckAssignments(session, options, pNIFInfo, assignments))
        return VLNET_EXIT_USAGE;
    std::string strError;
    CVLNetStatusLine statusLine(CVLNetStatusLine::IsTerminal());
    CVLString strIPText = pNIFInfo->GetIPAddress();
    const std::string strIP = strIPText.GetBuffer() != nullptr ? strIPText.GetBuffer() : "";
    const long nMostWait = session.GetMostWaitSeconds(options.GetDeviceCommand());
    statusLine.StartTicking([&options, strIP, pNIFInfo, nMostWait](double dSeconds) {
        return CVLNetStatusLine::FormatCommand(options.GetDeviceCommand(), strIP, dSeconds, pNIFInfo->GetHeldResult(),
                                               nMostWait);
    });
    // Judged once the device's settings are read, before any is sent.
    CVLNetValueCheck::EVerdict eVerdict = CVLNetValueCheck::VERDICT_ACCEPTED;
    bool bUnreached = false;
    auto judge = [&](CVLPFWNIFInfo* pRead) {
        const CVLNetValueCheck::SJudgement judgement = CheckSettingsRead(session, options, pRead, assignments);
        eVerdict = judgement.eVerdict;
        bUnreached = judgement.bUnreached;
        // Said only of a change that goes.
        for (size_t i = 0; eVerdict == CVLNetValueCheck::VERDICT_ACCEPTED && i < judgement.overridden.size(); i++)
            fprintf(stderr, "vlnet: --force: sent although %s\n", judgement.overridden[i].c_str());
        return judgement.strError;
    };
    VLECM_RESULT eResult = session.RunCommand(pNIFInfo, options.GetDeviceCommand(), bPassword ? &strPassword : nullptr,
                                              assignments, strError, judge);
    statusLine.StopTicking();
    // The command line was sound: what the device holds, or the network,
    // refused the value.
    if (eVerdict == CVLNetValueCheck::VERDICT_REFUSED) {
        fprintf(stderr, "vlnet: %s\n", strError.c_str());
        return VLNET_EXIT_FAILURE;
    }
    if (eVerdict == CVLNetValueCheck::VERDICT_IN_USE) {
        fprintf(stderr, "vlnet: %s: nothing was sent (--force does not send an address in use)\n", strError.c_str());
        return VLNET_EXIT_FAILURE;
    }
    PrintCommandResult(session, options, pNIFInfo, eResult, strError, strIP, assignments, bUnreached);
    if (CVLNetSession::IsStopRequested())
        return VLNET_EXIT_STOPPED;
    return eResult == VLECM_RESULT_SUCCESS ? VLNET_EXIT_SUCCESS : VLNET_EXIT_FAILURE;
}

int RunUrl(CVLNetSession& session, const CVLNetOptions& options)
{
    return ShowUrl(session, options, false);
}

int RunOpen(CVLNetSession& session, const CVLNetOptions& options)
{
    return ShowUrl(session, options, true);
}

const VLNetCommand kCommands[] = {
    {"probe", VLNetCommand::COMMAND_PROBE, "list the devices found (MAC, IP address, model name)", kDescriptionProbe,
     nullptr, VLNetCommand::ARGUMENTS_NONE, RunProbe},
    {"url", VLNetCommand::COMMAND_URL, "print the web page URL of a device", kDescriptionUrl, nullptr,
     VLNetCommand::ARGUMENTS_DEVICE, RunUrl},
    {"open", VLNetCommand::COMMAND_OPEN, "open the web page of a device in the browser", kDescriptionOpen, nullptr,
     VLNetCommand::ARGUMENTS_DEVICE, RunOpen},
    {"run", VLNetCommand::COMMAND_RUN, "run one device command and print its result", kDescriptionRun, GetRunDetails,
     VLNetCommand::ARGUMENTS_DEVICE_COMMAND, RunDeviceCommand},
};
}  // namespace

const VLNetCommand* CVLNetCommands::Find(const std::string& strName)
{
    for (const VLNetCommand& command : kCommands) {
        if (strName == command.szName)
            return &command;
    }
    return nullptr;
}

bool CVLNetCommands::WritesOutput(const std::string& strName)
{
    return strName != "open";
}

std::string CVLNetCommands::GetArgumentsSynopsis(const VLNetCommand& command)
{
    switch (command.eArguments) {
    case VLNetCommand::ARGUMENTS_DEVICE:
        return " MAC|IP";
    case VLNetCommand::ARGUMENTS_DEVICE_COMMAND:
        return " MAC|IP COMMAND";
    default:
        return "";
    }
}

std::string CVLNetCommands::GetProgramUsage()
{
    std::string strUsage = "usage: vlnet COMMAND [ARGUMENTS] [OPTIONS]\n"
                           "Finds the VLPC devices on the local networks.\n"
                           "\n"
                           "commands:\n";
    for (const VLNetCommand& command : kCommands) {
        std::string strName = command.szName + GetArgumentsSynopsis(command);
        if (command.eArguments == VLNetCommand::ARGUMENTS_DEVICE_COMMAND)
            strName += " ...";
        strName.resize(std::max<size_t>(strName.size() + 1, 22), ' ');
        strUsage += "  " + strName + command.szSummary + "\n";
    }
    strUsage += "\n'vlnet COMMAND --help' (or 'vlnet help COMMAND') describes each command; 'vlnet --version'\n"
                "prints the version.\n"
                "\n"
                "exit status:\n"
                "  0                     success\n"
                "  1                     a failure, said on standard error (run: also a value the device's\n"
                "                        settings or the network refuse, such as an address in use)\n"
                "  2                     a command line, PATH=VALUE or password refused: no change sent\n"
                "  3                     probe: the list may be short, said on standard error\n"
                "  130, 143, 129         stopped by SIGINT (Ctrl-C), SIGTERM or SIGHUP\n"
                "  141                   the reader of its output went away (a closed pipe)\n";
    return strUsage;
}

std::string CVLNetCommands::UnknownCommandText(const std::string& strName)
{
    const VLNetCommand* pNearest = nullptr;
    size_t nNearest = 0;
    for (const VLNetCommand& command : kCommands) {
        const size_t nMax = strlen(command.szName) >= kLongCommandName ? kMaxSuggestedLongCommandDistance
                                                                       : kMaxSuggestedCommandDistance;
        const size_t nDistance = CVLCommandLine::Distance(strName, command.szName);
        if (nDistance <= nMax && (pNearest == nullptr || nDistance < nNearest)) {
            pNearest = &command;
            nNearest = nDistance;
        }
    }
    return "unknown command '" + CVLNetResultText::Shown(strName) + "'" +
           (pNearest != nullptr ? std::string("; did you mean ") + pNearest->szName + "?" : std::string());
}

bool CVLNetCommands::IsDeviceCommand(const std::string& strName, std::string& strWhy)
{
    const SDeviceCommand* pNearest = nullptr;
    size_t nNearest = kMaxSuggestedDistance + 1;
    for (const SDeviceCommand& command : kDeviceCommands) {
        if (strName == command.szName) {
            if (command.bCarried)
                return true;
            strWhy = strName + " is not offered: the device manager answers it with 3 (not supported)";
            return false;
        }
        size_t nDistance = CVLCommandLine::Distance(strName, command.szName);
        if (command.bCarried && nDistance < nNearest) {
            pNearest = &command;
            nNearest = nDistance;
        }
    }
    strWhy = "unknown device command '" + CVLNetResultText::Shown(strName) + "'";
    strWhy += pNearest != nullptr ? std::string("; did you mean ") + pNearest->szName + "?"
                                  : std::string("; 'vlnet run --help' lists them");
    return false;
}

std::string CVLNetCommands::NotUsedText(bool bSilent, bool bPending, const std::string& strReason,
                                        const char* szNotUsed)
{
    if (bPending)
        return " but was " + (strReason.compare(0, kStill.size(), kStill) == 0 ? strReason : kStill + strReason);
    return std::string(" but ") + (bSilent ? "not by unicast" : szNotUsed) + ": " + strReason;
}

std::string CVLNetCommands::GetNames(unsigned nCommands)
{
    std::vector<std::string> names;
    for (const VLNetCommand& command : kCommands) {
        if ((command.nBit & nCommands) != 0)
            names.push_back(command.szName);
    }
    return CVLNetSession::ListText(names);
}
