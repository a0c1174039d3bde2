// The check of vlnet run's PATH=VALUE arguments.
#include "app/VLNetValueCheck.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>

#include "app/VLNetPropertyLines.h"
#include "app/VLNetResultText.h"
#include "base/core/VLCharset.h"
#include "base/core/VLCommandLine.h"
#include "base/core/VLException.h"
#include "base/net/VLMACAddress.h"
#include "base/net/VLSocketAddress.h"
#include "modules/vlpc/VLPCField.h"
#include "modules/vlpc/VLPCRequestFields.h"

namespace {
const char kHexMark[] = "hex:";
// The longest payload of a request, and the longest value behind a
// one-byte length.
const size_t kMaxPayloadBytes = 498;
const size_t kMaxBytePrefixed = 255;

// What an address field of a request sets, by its property's name.
enum EAddressRole
{
    ROLE_NONE,
    ROLE_HOST,
    ROLE_MASK,
    ROLE_GATEWAY,
    ROLE_MODE,
    ROLE_SERVER  // a server the device asks (DNS): judged as a gateway is
};
const struct
{
    const char* szName;
    EAddressRole eRole;
} kAddressRoles[] = {{"IPAddress", ROLE_HOST},
                     {"SubnetMask", ROLE_MASK},
                     {"Gateway", ROLE_GATEWAY},
                     {"IPMode", ROLE_MODE},
                     {"DNSServer", ROLE_SERVER}};
// The IPMode of a device that keeps the address it is given; the others
// (DHCP, link-local) take one of their own.
const char kStaticMode[] = "0";

// Addresses that would cut a device off its network, as its own address
// or as its gateway (where 0.0.0.0 means "none").
const struct
{
    uint32_t nNetwork;
    uint32_t nMask;
    bool bHost;
    bool bGateway;
    const char* szWhat;
} kUnusableAddresses[] = {
    {0x00000000, 0xFFFFFFFF, true, false, "0.0.0.0 (no address)"},
    {0x00000000, 0xFF000000, true, true, "an address in 0.0.0.0/8 (this network, no host's)"},
    {0xFFFFFFFF, 0xFFFFFFFF, true, true, "the limited broadcast"},
    {0x7F000000, 0xFF000000, true, true, "a loopback address (127.0.0.0/8)"},
    {0xE0000000, 0xF0000000, true, true, "a multicast address (224.0.0.0/4)"},
    {0xF0000000, 0xF0000000, true, false, "a reserved address (240.0.0.0/4)"},
};
// A subnet with fewer host bits has no network and broadcast address of
// its own (a point-to-point /31, a single host /32).
const int kMinHostBits = 2;
const int kPointToPointPrefix = 31;
// Appended to what --force lets through.
const char kForceSends[] = " (--force sends it anyway)";
// The most edits (case aside) from a path given to a path sent that is
// still taken for a slip.
const size_t kMaxSuggestedDistance = 3;

std::string Text(const CVLString& str)
{
    const char* sz = str.GetBuffer();
    return sz != nullptr ? std::string(sz, static_cast<size_t>(str.GetLength())) : std::string();
}

// A value can be given for a field that sends a property other than the
// device's own key values, and writes what it is given.
bool IsSettable(const CVLPCRequestFields::SField& field)
{
    switch (field.nType) {
    case VLPC_FIELD_PASSWORD:
    case VLPC_FIELD_WEP_KEY_INFO:
    case VLPC_FIELD_OTHER:
        return false;
    default:
        return field.strPath.GetLength() > 0 && !field.bKeyValue && !field.bCounted;
    }
}

// Numbers a device takes only within a narrower range than their field's
// width (it answers others with an error), by the field's name.
const struct
{
    const char* szName;
    unsigned long long nMin, nMax;
    const char* szWhat;
} kNumberRanges[] = {
    {"IPMode", 0, 2, "0 (static address), 1 (DHCP) or 2 (link-local)"},
    {"WebPort", 1, 0xFFFF, "a port from 1 to 65535"},
};

// A whole decimal number from 0 to nMax, in its plain form.
bool ReadNumber(const std::string& strValue, unsigned long long nMax, std::string& strNumber)
{
    if (strValue.empty() || strValue.size() > 20)
        return false;
    unsigned long long nValue = 0;
    for (char c : strValue) {
        if (c < '0' || c > '9')
            return false;
        nValue = nValue * 10 + static_cast<unsigned long long>(c - '0');
        if (nValue > nMax)
            return false;
    }
    strNumber = std::to_string(nValue);
    return true;
}

// A number in the form its path shows it in (a character, a code, or
// decimal digits), made plain decimal.
std::string CheckNumber(const std::string& strPath, std::string& strValue, unsigned long long nMax)
{
    const CVLNetPropertyLines::EForm eForm = CVLNetPropertyLines::GetForm(strPath);
    if (eForm == CVLNetPropertyLines::FORM_NUMBER)
        return ReadNumber(strValue, nMax, strValue) ? std::string() : "a value from 0 to " + std::to_string(nMax);
    unsigned long nValue = 0;
    if (!CVLNetPropertyLines::ParseForm(eForm, strValue, nValue) || nValue > nMax)
        return eForm == CVLNetPropertyLines::FORM_CHARACTER ? "a character, as in 2, or hex: and one byte"
                                                           : "a code of four hexadecimal digits, as in E001";
    strValue = std::to_string(nValue);
    return std::string();
}

// The first characters of a text the user gave, for a message.
std::string Shown(const std::string& str)
{
    return CVLNetResultText::Shown(str);
}

// The bytes a text or byte field gets, bounded by nLimit; szNulReason says
// why a NUL cannot be in them, or is null where it can.
std::string CheckBytes(const std::string& strValue, size_t nLimit, const char* szNulReason)
{
    std::string strBytes = strValue;
    if (strValue.compare(0, sizeof(kHexMark) - 1, kHexMark) == 0 && !CVLNetPropertyLines::ParseHex(strValue, strBytes)) {
        const std::string strDigits = strValue.substr(sizeof(kHexMark) - 1);
        return strDigits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos
                   ? "hex: takes hexadecimal digits only (0-9, A-F), not '" + Shown(strDigits) + "'"
                   : "hex: needs an even number of hexadecimal digits";
    }
    if (strBytes.size() > nLimit)
        return "at most " + std::to_string(nLimit) + " bytes, not " + std::to_string(strBytes.size());
    if (szNulReason != nullptr && strBytes.find('\0') != std::string::npos)
        return szNulReason;
    return std::string();
}

// A text is held as a string, which ends at a NUL: the device would be
// sent what comes before it.
const char kTextNul[] = "a text cannot hold a NUL byte";
// A NUL ends the value of the Null types on the wire.
const char kNulEnds[] = "a NUL byte would end it early";

uint32_t AddressOf(const std::string& strValue)
{
    uint32_t nAddress = 0;
    CVLSocketAddress::ParseDottedQuad(strValue.c_str(), nAddress);
    return nAddress;
}

EAddressRole RoleOf(const CVLNetValueCheck::SField& field)
{
    const std::string strName = field.strPath.substr(field.strPath.rfind('.') + 1);
    for (const auto& entry : kAddressRoles) {
        if (strName == entry.szName && (field.nType == VLPC_FIELD_IPV4_ADDRESS) == (entry.eRole != ROLE_MODE))
            return entry.eRole;
    }
    return ROLE_NONE;
}

// The node of the record that holds a field's setting.
std::string NodeOf(const std::string& strPath)
{
    return strPath.substr(0, strPath.rfind('.'));
}

// Empty when the address (in plain decimal) can be what the field sets.
std::string CheckAddressRole(EAddressRole eRole, const std::string& strValue)
{
    const uint32_t nAddress = AddressOf(strValue);
    if (eRole == ROLE_MASK) {
        const int nPrefix = CVLSocketAddress::PrefixLength(nAddress);
        if (nPrefix < 0)
            return "a subnet mask's one-bits must be contiguous, as in 255.255.255.0";
        if (nPrefix == 0)
            return "a mask of 0.0.0.0 (/0) would take every address for the device's own network, leaving it no "
                   "router to reach";
        return std::string();
    }
    // A gateway or server of 0.0.0.0 is none.
    if ((eRole == ROLE_GATEWAY || eRole == ROLE_SERVER) && nAddress == 0)
        return std::string();
    if (eRole == ROLE_HOST)
        return CVLNetValueCheck::NoDeviceAddress(nAddress);
    for (const auto& entry : kUnusableAddresses) {
        if ((nAddress & entry.nMask) != entry.nNetwork)
            continue;
        if (eRole == ROLE_GATEWAY && entry.bGateway)
            return std::string(entry.szWhat) + " cannot be a gateway";
        if (eRole == ROLE_SERVER && entry.bGateway)
            return std::string(entry.szWhat) + " cannot be a server's address";
    }
    return std::string();
}

// "10.201.3.0/24": the subnet of an address under a (contiguous) mask.
std::string SubnetText(uint32_t nAddress, uint32_t nMask)
{
    return Text(CVLSocketAddress::FormatDottedQuad(nAddress & nMask)) + "/" +
           std::to_string(CVLSocketAddress::PrefixLength(nMask));
}

// "10.201.3.10/24": an address with its mask's prefix length.
std::string AddressText(uint32_t nAddress, uint32_t nMask)
{
    return Text(CVLSocketAddress::FormatDottedQuad(nAddress)) + "/" +
           std::to_string(CVLSocketAddress::PrefixLength(nMask));
}

// "the network address" or "the broadcast address" when the address is one
// of the subnet's own (which a subnet of fewer host bits has none of);
// else null.
const char* SubnetOwnAddress(uint32_t nAddress, uint32_t nMask)
{
    if (~nMask < (1u << kMinHostBits) - 1)
        return nullptr;
    if (nAddress == (nAddress & nMask))
        return "the network address";
    if (nAddress == (nAddress | ~nMask))
        return "the broadcast address";
    return nullptr;
}

// The field whose path is nearest the one given, or null when none is near:
// a slip of a few letters or of case, or a field's own name given alone
// ("NodeName" for "VLPC.2B_5A10_01.NodeName").
const CVLNetValueCheck::SField* NearestField(const std::vector<CVLNetValueCheck::SField>& fields,
                                              const std::string& strPath)
{
    const CVLNetValueCheck::SField* pNearest = nullptr;
    size_t nNearest = kMaxSuggestedDistance + 1;
    for (const CVLNetValueCheck::SField& field : fields) {
        size_t nDistance = CVLCommandLine::Distance(strPath, field.strPath);
        if (strPath.find('.') == std::string::npos)
            nDistance = std::min(nDistance,
                                 CVLCommandLine::Distance(strPath, field.strPath.substr(field.strPath.rfind('.') + 1)));
        if (nDistance < nNearest) {
            pNearest = &field;
            nNearest = nDistance;
        }
    }
    return pNearest;
}

// One node's address settings as they will be: each known or not, and
// given or read.
struct SSetting
{
    const std::string* pPath = nullptr;
    std::string strValue;
    bool bGiven = false;
    bool IsKnown() const { return !strValue.empty(); }
    std::string Argument() const { return *pPath + "=" + strValue; }
};
struct SSettings
{
    SSetting host, mask, gateway, mode;
};

// Stops the judgement with a refusal; true, for "return Refuse(...)".
bool Refuse(CVLNetValueCheck::SJudgement& judgement, CVLNetValueCheck::EVerdict eVerdict, const std::string& strError)
{
    judgement.eVerdict = eVerdict;
    judgement.strError = strError;
    // Nothing is left to ask.
    judgement.strAskArgument.clear();
    judgement.strAskAddress.clear();
    return true;
}

// A refusal that --force lets through (noted): true when it stops the
// judgement.
bool RefuseUnlessForced(CVLNetValueCheck::SJudgement& judgement, bool bForce, const std::string& strError)
{
    if (!bForce) {
        Refuse(judgement, CVLNetValueCheck::VERDICT_REFUSED, strError + kForceSends);
        judgement.bForcible = true;
        return true;
    }
    judgement.overridden.push_back(strError);
    return false;
}

// Why this computer could no longer reach the device at nHost/nMask on the
// interface it was heard on; empty when it could.
std::string ReachRefusal(uint32_t nHost, uint32_t nMask, const CVLNetValueCheck::SNeighbours& neighbours)
{
    for (const auto& local : neighbours.local) {
        if (CVLNetValueCheck::ReachEachOther(AddressOf(local.first), AddressOf(local.second), nHost, nMask))
            return std::string();
    }
    const std::string strDevice = AddressText(nHost, nMask);
    std::string strWhy = "this computer, at " + neighbours.local.front().first + " on " + neighbours.strInterface +
                         ", could no longer reach the device at " + strDevice;
    if (CVLSocketAddress::PrefixLength(nMask) != kPointToPointPrefix)
        return strWhy;
    return strDevice + " is a point-to-point pair whose other address, " +
           Text(CVLSocketAddress::FormatDottedQuad(CVLNetValueCheck::PairPartner(nHost))) +
           ", this computer does not hold: " + strWhy;
}

// Judges a new address against the hosts that hold one (this computer,
// those heard in the probe) and this computer's networks' own addresses;
// true when refused.
bool JudgeNewAddress(const SSetting& host, const CVLNetValueCheck::SNeighbours& neighbours,
                     CVLNetValueCheck::SJudgement& judgement)
{
    // This computer takes its own networks' network and broadcast
    // addresses as its networks', whatever mask the device would have.
    bool bOwn = false;
    const std::string strWhat = CVLNetValueCheck::ComputerAddress(AddressOf(host.strValue), neighbours.computer, &bOwn);
    if (!strWhat.empty() && !bOwn)
        return Refuse(judgement, CVLNetValueCheck::VERDICT_REFUSED,
                      host.Argument() + ": " + strWhat +
                          ", which this computer takes for its network's own: it could not reach the device there");
    const std::string strInUse = host.Argument() + ": in use on the network: ";
    if (bOwn)
        return Refuse(judgement, CVLNetValueCheck::VERDICT_IN_USE, strInUse + "this computer holds it");
    for (const auto& device : neighbours.devices) {
        if (device.first == host.strValue)
            return Refuse(judgement, CVLNetValueCheck::VERDICT_IN_USE,
                          strInUse +
                              (device.second == neighbours.strMAC ? "a host claiming this device's MAC " : "device ") +
                              device.second + " answered the probe from it");
    }
    return false;
}

// Judges a static device's gateway (known, not 0.0.0.0) against its subnet
// (known, without a gap); true when refused.
bool JudgeGateway(const SSettings& settings, bool bForce, CVLNetValueCheck::SJudgement& judgement)
{
    const SSetting& host = settings.host;
    const SSetting& mask = settings.mask;
    const SSetting& gateway = settings.gateway;
    const uint32_t nHost = AddressOf(host.strValue);
    const uint32_t nMask = AddressOf(mask.strValue);
    const uint32_t nGateway = AddressOf(gateway.strValue);
    const std::string strSubnet = SubnetText(nHost, nMask);
    const bool bOutside = !CVLNetValueCheck::SameSubnet(nGateway, nHost, nMask);
    const char* szOwn = bOutside ? nullptr : SubnetOwnAddress(nGateway, nMask);
    if (szOwn != nullptr)
        return Refuse(judgement, CVLNetValueCheck::VERDICT_REFUSED,
                      gateway.bGiven ? gateway.Argument() + ": " + szOwn + " of the device's subnet " + strSubnet +
                                           " cannot be a gateway (0.0.0.0 means none)"
                                     : (host.bGiven ? host : mask).Argument() + ": the device's gateway " +
                                           gateway.strValue + " would be " + szOwn + " of its subnet " + strSubnet +
                                           ": give a Gateway in the subnet too, or 0.0.0.0 for none");
    if (!bOutside)
        return false;
    const char kBeyond[] = "the device would stay reachable on its own segment but reach nothing beyond it";
    return RefuseUnlessForced(judgement, bForce,
                              gateway.bGiven ? gateway.Argument() + ": outside the device's subnet " + strSubnet +
                                                   ": " + kBeyond + " (0.0.0.0 means none)"
                                             : (host.bGiven ? host : mask).Argument() + ": the device's gateway " +
                                                   gateway.strValue + " would lie outside its subnet " + strSubnet +
                                                   ": " + kBeyond +
                                                   "; give a Gateway in the subnet too, or 0.0.0.0 "
                                                   "for none");
}

// Judges the settings of one node (see CheckSettings); true when refused.
bool JudgeSettings(const SSettings& settings, const CVLNetValueCheck::SNeighbours& neighbours, bool bForce,
                   CVLNetValueCheck::SJudgement& judgement)
{
    const SSetting& host = settings.host;
    const SSetting& mask = settings.mask;
    const SSetting& gateway = settings.gateway;
    if (!host.bGiven && !mask.bGiven && !gateway.bGiven && !settings.mode.bGiven)
        return false;
    // DHCP or link-local: the device takes an address of its own, but keeps
    // its address and mask when no server answers; they are judged as they
    // would be in the static mode, the gateway is its own.
    const bool bStatic = !settings.mode.IsKnown() || settings.mode.strValue == kStaticMode;
    if (!bStatic && (!host.IsKnown() || AddressOf(host.strValue) == 0))
        return false;
    // Values no device may hold; Check leaves them here when no IPMode is given.
    const std::pair<const SSetting*, EAddressRole> roles[] = {
        {&host, ROLE_HOST}, {&mask, ROLE_MASK}, {&gateway, ROLE_GATEWAY}};
    for (const auto& role : roles) {
        const std::string strWhy = role.first->bGiven && (bStatic || role.second != ROLE_GATEWAY)
                                       ? CheckAddressRole(role.second, role.first->strValue)
                                       : "";
        if (!strWhy.empty())
            return Refuse(judgement, CVLNetValueCheck::VERDICT_REFUSED, role.first->Argument() + ": " + strWhy);
    }
    const uint32_t nHost = AddressOf(host.strValue);
    const uint32_t nMask = AddressOf(mask.strValue);
    // A mask the device holds with a gap draws no subnet to judge by.
    const bool bSubnet = host.IsKnown() && mask.IsKnown() && CVLSocketAddress::PrefixLength(nMask) >= 0;
    // The one given names the fault; the other is the device's as read.
    if (bSubnet && (host.bGiven || mask.bGiven)) {
        if (const char* szWhat = SubnetOwnAddress(nHost, nMask)) {
            const std::string strSubnet = SubnetText(nHost, nMask);
            if (!host.bGiven)
                return Refuse(judgement, CVLNetValueCheck::VERDICT_REFUSED,
                              mask.Argument() + ": it makes the device's address " + host.strValue + " " + szWhat +
                                  " of its subnet " + strSubnet + ", which cannot be a device's address");
            return Refuse(judgement, CVLNetValueCheck::VERDICT_REFUSED,
                          host.Argument() + ": " + szWhat + " of its subnet " + strSubnet +
                              (mask.bGiven ? std::string() : " (by the device's mask " + mask.strValue + ")") +
                              " cannot be a device's address");
        }
    }
    const bool bNewHost = host.bGiven && host.strValue != neighbours.strCurrent;
    if (bNewHost && JudgeNewAddress(host, neighbours, judgement))
        return true;
    const uint32_t nGateway = AddressOf(gateway.strValue);
    if (host.IsKnown() && gateway.IsKnown() && nGateway == nHost && (host.bGiven || (bStatic && gateway.bGiven))) {
        if (host.bGiven && !gateway.bGiven)
            return Refuse(judgement, CVLNetValueCheck::VERDICT_IN_USE,
                          host.Argument() + ": in use on the network: it is the device's gateway, a router's address");
        return Refuse(judgement, CVLNetValueCheck::VERDICT_REFUSED,
                      gateway.Argument() + ": the device's own address cannot be its gateway (0.0.0.0 means none)");
    }
    if (bSubnet && (host.bGiven || mask.bGiven) && !neighbours.local.empty()) {
        const std::string strWhy = ReachRefusal(nHost, nMask, neighbours);
        if (!strWhy.empty() && RefuseUnlessForced(judgement, bForce,
                                                  (host.bGiven ? host : mask).Argument() + ": " + strWhy +
                                                      (bStatic ? "" : ", the address it keeps when no server answers")))
            return true;
        judgement.bUnreached = judgement.bUnreached || !strWhy.empty();
    }
    if (bNewHost && judgement.strAskAddress.empty()) {
        judgement.strAskArgument = host.Argument();
        judgement.strAskAddress = host.strValue;
    }
    if (!bStatic || !bSubnet || !gateway.IsKnown() || nGateway == 0)
        return false;
    return JudgeGateway(settings, bForce, judgement);
}

// CheckValue, the address's role judged only when bJudgeRole (not when
// the device takes an address of its own, or its mode is not read yet).
std::string CheckFieldValue(const CVLNetValueCheck::SField& field, std::string& strValue, bool bJudgeRole);
std::string CheckFieldWidth(const CVLNetValueCheck::SField& field, std::string& strValue, bool bJudgeRole);

}  // namespace

bool CVLNetValueCheck::CarriesPassword(CVLCMApi* pApi, const std::string& strPacketList)
{
    try {
        for (const CVLPCRequestFields::SField& field :
             CVLPCRequestFields::List(pApi, CVLString(strPacketList.c_str(), VL_CHARSET_UTF8))) {
            if (field.nType == VLPC_FIELD_PASSWORD)
                return true;
        }
    } catch (EVLException* pException) {
        pException->Delete();
    }
    return false;
}

std::vector<CVLNetValueCheck::SField>
CVLNetValueCheck::ReadRequestFields(CVLCMApi* pApi, const std::string& strPacketList, CVLTarget* pDevice)
{
    std::vector<SField> fields;
    try {
        for (const CVLPCRequestFields::SField& field :
             CVLPCRequestFields::List(pApi, CVLString(strPacketList.c_str(), VL_CHARSET_UTF8), pDevice)) {
            if (!IsSettable(field))
                continue;
            std::string strPath = Text(field.strPath);
            bool bKnown = false;
            for (const SField& known : fields)
                bKnown = bKnown || known.strPath == strPath;
            if (!bKnown)
                fields.push_back({strPath, field.nType, field.nSize});
        }
    } catch (EVLException* pException) {
        pException->Delete();
    }
    return fields;
}

std::string CVLNetValueCheck::CheckValue(const SField& field, std::string& strValue)
{
    return CheckFieldValue(field, strValue, true);
}

namespace {
std::string CheckFieldValue(const CVLNetValueCheck::SField& field, std::string& strValue, bool bJudgeRole)
{
    const bool bNumber = field.nType == VLPC_FIELD_BYTE || field.nType == VLPC_FIELD_USHORT ||
                         field.nType == VLPC_FIELD_LE_USHORT || field.nType == VLPC_FIELD_ULONG;
    const std::string strName = field.strPath.substr(field.strPath.rfind('.') + 1);
    const char* szRange = nullptr;
    unsigned long long nMin = 0, nMax = 0;
    for (const auto& range : kNumberRanges) {
        if (bNumber && strName == range.szName) {
            szRange = range.szWhat;
            nMin = range.nMin;
            nMax = range.nMax;
        }
    }
    const std::string strWhy = CheckFieldWidth(field, strValue, bJudgeRole);
    // A number beyond the field's width is said by the narrower range the
    // device takes, which is the one that holds.
    if (!strWhy.empty())
        return szRange != nullptr && CVLNetPropertyLines::GetForm(field.strPath) == CVLNetPropertyLines::FORM_NUMBER
                   ? szRange
                   : strWhy;
    if (szRange == nullptr)
        return std::string();
    const unsigned long long nValue = std::stoull(strValue);
    return nValue >= nMin && nValue <= nMax ? std::string() : szRange;
}

// The value fits the field's type and width (an address its role, when
// bJudgeRole), made the form to set.
std::string CheckFieldWidth(const CVLNetValueCheck::SField& field, std::string& strValue, bool bJudgeRole)
{
    const size_t nSize = field.nSize > 0 ? static_cast<size_t>(field.nSize) : 0;
    switch (field.nType) {
    case VLPC_FIELD_BYTE:
        return CheckNumber(field.strPath, strValue, 0xFF);
    case VLPC_FIELD_USHORT:
    case VLPC_FIELD_LE_USHORT:
        return CheckNumber(field.strPath, strValue, 0xFFFF);
    case VLPC_FIELD_ULONG:
        return CheckNumber(field.strPath, strValue, 0xFFFFFFFF);
    case VLPC_FIELD_IPV4_ADDRESS: {
        unsigned char address[4];
        if (!CVLSocketAddress::ParseDottedQuad(strValue.c_str(), address))
            return "an IPv4 address of four decimal parts 0-255, such as 192.168.0.10";
        strValue = Text(CVLSocketAddress::FormatDottedQuad(address));
        return bJudgeRole ? CheckAddressRole(RoleOf(field), strValue) : std::string();
    }
    case VLPC_FIELD_MAC_ADDRESS: {
        CVLString strMAC = CVLMACAddress::Normalize(strValue.c_str(), nullptr);
        if (strMAC.GetLength() == 0)
            return "a MAC address such as 00:26:AB:00:00:01";
        strValue = Text(strMAC);
        return std::string();
    }
    case VLPC_FIELD_STRING:
        return CheckBytes(strValue, std::min<size_t>(nSize, CVLNetValueCheck::TEXT_BYTE_LIMIT), kTextNul);
    case VLPC_FIELD_NULL_STRING:
    case VLPC_FIELD_VAR_STRING:
    case VLPC_FIELD_VAR_STRING_BYTE_PREFIX:
    case VLPC_FIELD_LENGTH_STRING:
        return CheckBytes(strValue, CVLNetValueCheck::TEXT_BYTE_LIMIT, kTextNul);
    case VLPC_FIELD_BYTE_ARRAY:
        return CheckBytes(strValue, nSize, nullptr);
    case VLPC_FIELD_NULL_BYTE_ARRAY:
        return CheckBytes(strValue, kMaxPayloadBytes, kNulEnds);
    case VLPC_FIELD_VAR_BYTE_ARRAY_BYTE_PREFIX:
        return CheckBytes(strValue, kMaxBytePrefixed, nullptr);
    default:
        return CheckBytes(strValue, kMaxPayloadBytes, nullptr);
    }
}
}  // namespace

bool CVLNetValueCheck::Check(const std::vector<SField>& fields, const std::string& strCommand,
                             std::vector<std::pair<std::string, std::string>>& assignments, std::string& strError,
                             const std::string& strTo, bool bForce, bool* pForcible)
{
    if (pForcible != nullptr)
        *pForcible = false;
    std::string strPaths;
    for (const SField& field : fields)
        strPaths += (strPaths.empty() ? "" : ", ") + field.strPath;
    if (!fields.empty() && assignments.empty()) {
        strError = strCommand + " needs at least one PATH=VALUE; it sends" + strTo + " " + strPaths;
        return false;
    }
    // The nodes whose address fields are judged here: those without an
    // IPMode, and those given one. A node given no IPMode has the device's,
    // known once read (CheckSettings judges them then). Each field's own
    // value is judged as an address only where the mode is static;
    // CheckSettings judges a DHCP or link-local node's address as such.
    std::set<std::string> judgedNodes, staticNodes;
    for (const SField& field : fields)
        judgedNodes.insert(NodeOf(field.strPath));
    for (const SField& field : fields) {
        if (RoleOf(field) == ROLE_MODE)
            judgedNodes.erase(NodeOf(field.strPath));
    }
    staticNodes = judgedNodes;
    for (const auto& assignment : assignments) {
        for (const SField& field : fields) {
            std::string strMode = assignment.second;
            if (field.strPath == assignment.first && RoleOf(field) == ROLE_MODE &&
                CheckFieldValue(field, strMode, false).empty()) {
                judgedNodes.insert(NodeOf(field.strPath));
                if (strMode == kStaticMode)
                    staticNodes.insert(NodeOf(field.strPath));
            }
        }
    }
    // A second value for a path would silently win over the first.
    std::set<std::string> given;
    for (auto& assignment : assignments) {
        const std::string strArgument = Shown(assignment.first) + "=" + Shown(assignment.second);
        const SField* pField = nullptr;
        for (const SField& field : fields) {
            if (field.strPath == assignment.first)
                pField = &field;
        }
        if (pField == nullptr) {
            const SField* pNearest = NearestField(fields, assignment.first);
            strError = strArgument + ": " +
                       (fields.empty()        ? strCommand + " sends no values" + strTo
                        : pNearest != nullptr ? "not a value that " + strCommand + " sends" + strTo +
                                                    "; did you mean " + pNearest->strPath + "?"
                                              : "not a value that " + strCommand + " sends" + strTo + "; it sends " +
                                                    strPaths);
            return false;
        }
        if (!given.insert(pField->strPath).second) {
            strError = strArgument + ": a second value for the path; give each path once";
            return false;
        }
        std::string strReason =
            CheckFieldValue(*pField, assignment.second, staticNodes.count(NodeOf(pField->strPath)) != 0);
        // Whatever the mode, a mask draws the subnet of the address kept
        // when no server answers, and an address other than 0.0.0.0 (none,
        // in DHCP or link-local) is that address: both are judged here.
        // A server's address is judged whatever the mode.
        const EAddressRole eRole = RoleOf(*pField);
        if (strReason.empty() &&
            (eRole == ROLE_MASK || eRole == ROLE_SERVER || (eRole == ROLE_HOST && AddressOf(assignment.second) != 0)))
            strReason = CheckAddressRole(eRole, assignment.second);
        if (!strReason.empty()) {
            strError = strArgument + ": " + strReason;
            return false;
        }
    }
    // The values given together must fit each other, whatever the device has.
    std::vector<SField> judgedFields;
    for (const SField& field : fields) {
        if (judgedNodes.count(NodeOf(field.strPath)) != 0)
            judgedFields.push_back(field);
    }
    const SJudgement judgement =
        CheckSettings(judgedFields, std::map<std::string, std::string>(), assignments, SNeighbours(), bForce);
    strError = judgement.strError;
    if (pForcible != nullptr)
        *pForcible = judgement.bForcible;
    return judgement.eVerdict == VERDICT_ACCEPTED;
}

CVLNetValueCheck::SJudgement
CVLNetValueCheck::CheckSettings(const std::vector<SField>& fields, const std::map<std::string, std::string>& read,
                                const std::vector<std::pair<std::string, std::string>>& assignments,
                                const SNeighbours& neighbours, bool bForce)
{
    // The settings by the record's node that holds them.
    std::map<std::string, SSettings> nodes;
    for (const SField& field : fields) {
        const EAddressRole eRole = RoleOf(field);
        if (eRole == ROLE_NONE || eRole == ROLE_SERVER)
            continue;
        SSettings& settings = nodes[NodeOf(field.strPath)];
        SSetting& setting = eRole == ROLE_HOST   ? settings.host
                            : eRole == ROLE_MASK ? settings.mask
                            : eRole == ROLE_MODE ? settings.mode
                                                 : settings.gateway;
        setting.pPath = &field.strPath;
        auto it = read.find(field.strPath);
        // What the device holds may not be an address at all.
        unsigned char address[4];
        if (it != read.end() && eRole == ROLE_MODE)
            setting.strValue = it->second;
        else if (it != read.end() && CVLSocketAddress::ParseDottedQuad(it->second.c_str(), address))
            setting.strValue = Text(CVLSocketAddress::FormatDottedQuad(address));
        for (const auto& assignment : assignments) {
            if (assignment.first == field.strPath) {
                setting.strValue = assignment.second;
                setting.bGiven = true;
            }
        }
    }
    SJudgement judgement;
    for (const auto& node : nodes) {
        if (JudgeSettings(node.second, neighbours, bForce, judgement))
            break;
    }
    return judgement;
}

std::string CVLNetValueCheck::MovedTo(const std::vector<SField>& fields, const std::map<std::string, std::string>& read,
                                      const std::vector<std::pair<std::string, std::string>>& assignments,
                                      const std::string& strCurrent, bool& bOwnAddress)
{
    bOwnAddress = false;
    std::string strAddress, strMode;
    bool bChanged = false;
    for (const SField& field : fields) {
        const EAddressRole eRole = RoleOf(field);
        if (eRole != ROLE_MODE && eRole != ROLE_HOST)
            continue;
        auto it = read.find(field.strPath);
        std::string strValue = it != read.end() ? it->second : std::string();
        for (const auto& assignment : assignments) {
            if (assignment.first == field.strPath) {
                strValue = assignment.second;
                bChanged = true;
                if (eRole == ROLE_HOST && strValue != strCurrent)
                    strAddress = strValue;
            }
        }
        if (eRole == ROLE_MODE)
            strMode = strValue;
    }
    bOwnAddress = bChanged && !strMode.empty() && strMode != kStaticMode;
    return strAddress;
}

std::string CVLNetValueCheck::NoDeviceAddress(uint32_t nAddress)
{
    for (const auto& entry : kUnusableAddresses) {
        if ((nAddress & entry.nMask) == entry.nNetwork && entry.bHost)
            return std::string(entry.szWhat) + " cannot be a device's address";
    }
    return std::string();
}

std::string CVLNetValueCheck::ComputerAddress(uint32_t nAddress, const std::vector<SLocalAddress>& computer, bool* pOwn)
{
    if (pOwn != nullptr)
        *pOwn = false;
    for (const SLocalAddress& local : computer) {
        const uint32_t nLocal = AddressOf(local.strAddress);
        const uint32_t nMask = AddressOf(local.strMask);
        const std::string strNetwork =
            " of this computer's network " + SubnetText(nLocal, nMask) + " (" + local.strInterface + ")";
        if (nAddress == nLocal) {
            if (pOwn != nullptr)
                *pOwn = true;
            return "this computer's own address (" + local.strInterface + ")";
        }
        if (!SameSubnet(nAddress, nLocal, nMask))
            continue;
        if (const char* szWhat = SubnetOwnAddress(nAddress, nMask))
            return szWhat + strNetwork;
    }
    return std::string();
}

bool CVLNetValueCheck::SameSubnet(uint32_t nA, uint32_t nB, uint32_t nMask)
{
    return (nA & nMask) == (nB & nMask);
}

bool CVLNetValueCheck::ReachEachOther(uint32_t nLocal, uint32_t nLocalMask, uint32_t nDevice, uint32_t nDeviceMask)
{
    return SameSubnet(nLocal, nDevice, nLocalMask) && SameSubnet(nLocal, nDevice, nDeviceMask);
}
