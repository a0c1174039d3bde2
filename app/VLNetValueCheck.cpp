// The check of vlnet run's PATH=VALUE arguments.
#include "app/VLNetValueCheck.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>

#include "app/VLNetPropertyLines.h"
#include "base/core/VLCharset.h"
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
// How much of a refused argument its message repeats.
const size_t kShownCharacters = 60;
const char kEllipsis[] = "\xE2\x80\xA6";

// What an address field of a request sets, by its property's name.
enum EAddressRole
{
    ROLE_NONE,
    ROLE_HOST,
    ROLE_MASK,
    ROLE_GATEWAY
};
const struct
{
    const char* szName;
    EAddressRole eRole;
} kAddressRoles[] = {{"IPAddress", ROLE_HOST}, {"SubnetMask", ROLE_MASK}, {"Gateway", ROLE_GATEWAY}};

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
    {0xFFFFFFFF, 0xFFFFFFFF, true, true, "the limited broadcast"},
    {0x7F000000, 0xFF000000, true, true, "a loopback address (127.0.0.0/8)"},
    {0xE0000000, 0xF0000000, true, true, "a multicast address (224.0.0.0/4)"},
    {0xF0000000, 0xF0000000, true, false, "a reserved address (240.0.0.0/4)"},
};
// A subnet with fewer host bits has no network and broadcast address of
// its own (a point-to-point /31, a single host /32).
const int kMinHostBits = 2;

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

std::string CheckNumber(std::string& strValue, unsigned long long nMax)
{
    if (ReadNumber(strValue, nMax, strValue))
        return std::string();
    return "a value from 0 to " + std::to_string(nMax);
}

// The bytes a text or byte field gets, bounded by nLimit; szNulReason says
// why a NUL cannot be in them, or is null where it can.
std::string CheckBytes(const std::string& strValue, size_t nLimit, const char* szNulReason)
{
    std::string strBytes = strValue;
    if (strValue.compare(0, sizeof(kHexMark) - 1, kHexMark) == 0 && !CVLNetPropertyLines::ParseHex(strValue, strBytes))
        return "hex: needs an even number of hexadecimal digits";
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

// The first characters of a text the user gave, for a message.
std::string Shown(const std::string& str)
{
    size_t nPos = 0;
    for (size_t nCount = 0; nPos < str.size() && nCount < kShownCharacters; nCount++)
        nPos += std::max<size_t>(CVLNetPropertyLines::GetCharacterLength(str, nPos), 1);
    return nPos < str.size() ? str.substr(0, nPos) + kEllipsis : str;
}

uint32_t AddressOf(const std::string& strValue)
{
    uint32_t nAddress = 0;
    CVLSocketAddress::ParseDottedQuad(strValue.c_str(), nAddress);
    return nAddress;
}

EAddressRole RoleOf(const CVLNetValueCheck::SField& field)
{
    if (field.nType != VLPC_FIELD_IPV4_ADDRESS)
        return ROLE_NONE;
    const std::string strName = field.strPath.substr(field.strPath.rfind('.') + 1);
    for (const auto& entry : kAddressRoles) {
        if (strName == entry.szName)
            return entry.eRole;
    }
    return ROLE_NONE;
}

// Empty when the address (in plain decimal) can be what the field sets.
std::string CheckAddressRole(EAddressRole eRole, const std::string& strValue)
{
    const uint32_t nAddress = AddressOf(strValue);
    if (eRole == ROLE_MASK) {
        const uint32_t nHostBits = ~nAddress;
        return (nHostBits & (nHostBits + 1)) == 0 ? std::string()
                                                  : "a subnet mask's one-bits must be contiguous, as in 255.255.255.0";
    }
    for (const auto& entry : kUnusableAddresses) {
        if ((nAddress & entry.nMask) != entry.nNetwork)
            continue;
        if (eRole == ROLE_HOST && entry.bHost)
            return std::string(entry.szWhat) + " cannot be a device's address";
        if (eRole == ROLE_GATEWAY && entry.bGateway)
            return std::string(entry.szWhat) + " cannot be a gateway";
    }
    return std::string();
}

// Empty when a device's address is neither the network nor the broadcast
// address of its subnet.
std::string CheckAddressInSubnet(const std::string& strAddress, const std::string& strMask)
{
    const uint32_t nAddress = AddressOf(strAddress);
    const uint32_t nMask = AddressOf(strMask);
    if (~nMask < (1u << kMinHostBits) - 1)
        return std::string();
    const uint32_t nNetwork = nAddress & nMask;
    if (nAddress == nNetwork)
        return "the network address of its subnet (mask " + strMask + ") cannot be a device's address";
    if (nAddress == (nNetwork | ~nMask))
        return "the broadcast address of its subnet (mask " + strMask + ") cannot be a device's address";
    return std::string();
}

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
    const size_t nSize = field.nSize > 0 ? static_cast<size_t>(field.nSize) : 0;
    switch (field.nType) {
    case VLPC_FIELD_BYTE:
        return CheckNumber(strValue, 0xFF);
    case VLPC_FIELD_USHORT:
    case VLPC_FIELD_LE_USHORT:
        return CheckNumber(strValue, 0xFFFF);
    case VLPC_FIELD_ULONG:
        return CheckNumber(strValue, 0xFFFFFFFF);
    case VLPC_FIELD_IPV4_ADDRESS: {
        unsigned char address[4];
        if (!CVLSocketAddress::ParseDottedQuad(strValue.c_str(), address))
            return "an IPv4 address of four decimal parts 0-255, such as 192.168.0.10";
        strValue = Text(CVLSocketAddress::FormatDottedQuad(address));
        return CheckAddressRole(RoleOf(field), strValue);
    }
    case VLPC_FIELD_MAC_ADDRESS: {
        CVLString strMAC = CVLMACAddress::Normalize(strValue.c_str(), nullptr);
        if (strMAC.GetLength() == 0)
            return "a MAC address such as 00:26:AB:00:00:01";
        strValue = Text(strMAC);
        return std::string();
    }
    case VLPC_FIELD_STRING:
        return CheckBytes(strValue, std::min<size_t>(nSize, TEXT_BYTE_LIMIT), kTextNul);
    case VLPC_FIELD_NULL_STRING:
    case VLPC_FIELD_VAR_STRING:
    case VLPC_FIELD_VAR_STRING_BYTE_PREFIX:
    case VLPC_FIELD_LENGTH_STRING:
        return CheckBytes(strValue, TEXT_BYTE_LIMIT, kTextNul);
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

bool CVLNetValueCheck::Check(const std::vector<SField>& fields, const std::string& strCommand,
                             std::vector<std::pair<std::string, std::string>>& assignments, std::string& strError,
                             const std::string& strTo)
{
    std::string strPaths;
    for (const SField& field : fields)
        strPaths += (strPaths.empty() ? "" : ", ") + field.strPath;
    if (!fields.empty() && assignments.empty()) {
        strError = strCommand + " needs at least one PATH=VALUE; it sends" + strTo + " " + strPaths;
        return false;
    }
    // The addresses and masks given, by the record's node that holds them.
    struct SSubnet
    {
        const std::string* pHostPath = nullptr;
        std::string strHost, strMask;
    };
    std::map<std::string, SSubnet> subnets;
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
            strError =
                strArgument + ": " +
                (fields.empty() ? strCommand + " sends no values" + strTo
                                : "not a value that " + strCommand + " sends" + strTo + "; it sends " + strPaths);
            return false;
        }
        if (!given.insert(pField->strPath).second) {
            strError = strArgument + ": a second value for the path; give each path once";
            return false;
        }
        std::string strReason = CheckValue(*pField, assignment.second);
        if (!strReason.empty()) {
            strError = strArgument + ": " + strReason;
            return false;
        }
        const EAddressRole eRole = RoleOf(*pField);
        SSubnet& subnet = subnets[pField->strPath.substr(0, pField->strPath.rfind('.'))];
        if (eRole == ROLE_HOST) {
            subnet.pHostPath = &pField->strPath;
            subnet.strHost = assignment.second;
        } else if (eRole == ROLE_MASK) {
            subnet.strMask = assignment.second;
        }
    }
    for (const auto& entry : subnets) {
        const SSubnet& subnet = entry.second;
        if (subnet.pHostPath == nullptr || subnet.strMask.empty())
            continue;
        std::string strReason = CheckAddressInSubnet(subnet.strHost, subnet.strMask);
        if (!strReason.empty()) {
            strError = *subnet.pHostPath + "=" + subnet.strHost + ": " + strReason;
            return false;
        }
    }
    return true;
}
