// The meanings of the result codes.
#include "app/VLNetResultText.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "app/VLNetPropertyLines.h"
#include "base/net/VLSocketAddress.h"
#include "ecm/core/VLECMDefs.h"
#include "pfw/VLPFWDefs.h"

namespace {
const char kUnknownResult[] = "unknown result";
}  // namespace

const char* CVLNetResultText::GetPFWResultText(int nResult)
{
    switch (nResult) {
    case VLPFW_RESULT_SUCCESS:
        return "success";
    case VLPFW_RESULT_NOT_INITIALIZED:
        return "not initialized";
    case VLPFW_RESULT_PARAMETER_ERROR:
        return "parameter error";
    case VLPFW_RESULT_ALREADY_REGISTERED:
        return "already registered or invalid option";
    case VLPFW_RESULT_PATH_ERROR:
        return "path error";
    case VLPFW_RESULT_CONFIGURATION_ERROR:
        return "configuration error";
    case VLPFW_RESULT_VLECM_ERROR:
        return "device manager call failed";
    case VLPFW_RESULT_NOT_CREATED:
        return "framework not created";
    case VLPFW_RESULT_NO_RESULT:
        return "no result";
    case VLPFW_RESULT_RESOURCE_MISSING:
        return "resource files missing";
    case VLPFW_RESULT_SYSTEM_TOO_OLD:
        return "system too old";
    case VLPFW_RESULT_THREAD_STATE_ERROR:
        return "thread state error";
    default:
        return kUnknownResult;
    }
}

const char* CVLNetResultText::GetECMResultText(int nResult)
{
    switch (nResult) {
    case VLECM_RESULT_SUCCESS:
        return "success";
    case VLECM_RESULT_FAILED:
        return "general failure";
    case VLECM_RESULT_NOT_INITIALIZED:
        return "not initialized";
    case VLECM_RESULT_NOT_SUPPORTED:
        return "not supported";
    case VLECM_RESULT_PARAMETER_ERROR:
        return "parameter error";
    case VLECM_RESULT_COMMUNICATION_ERROR:
        return "communication error";
    case VLECM_RESULT_UNLOCK_REFUSED:
        return "unlock refused (wrong password)";
    case VLECM_RESULT_DEVICE_ERROR:
        return "device reported an error";
    case VLECM_RESULT_TIMEOUT:
        return "timeout";
    case VLECM_RESULT_NOT_FOUND:
        return "not found";
    case VLECM_RESULT_PATH_ERROR:
        return "path error";
    case VLECM_RESULT_XML_ERROR:
        return "XML error";
    case VLECM_RESULT_INTERNAL_ERROR:
        return "internal error";
    case VLECM_RESULT_OUT_OF_MEMORY:
        return "out of memory";
    case VLECM_RESULT_STOPPED:
        return "stopped";
    case VLECM_RESULT_UNEXPECTED:
        return "unexpected exception";
    default:
        return kUnknownResult;
    }
}

const char* CVLNetResultText::GetDeviceResultText(long nResult)
{
    static const struct
    {
        long nResult;
        const char* szText;
    } kTexts[] = {
        {0x1001, "wrong password"},
        {0xF001, "a malformed request, or a value the device does not take"},
        {0xF002, "busy"},
        {0xF004, "the request named another device"},
        {0xFF01, "not supported by the device"},
    };
    for (const auto& entry : kTexts) {
        if (entry.nResult == nResult)
            return entry.szText;
    }
    return nullptr;
}

std::string CVLNetResultText::GetSocketErrorText(long nError)
{
    // The numbers a send fails with, in the system's stored numbering.
    static const struct
    {
        long nError;
        const char* szText;
    } kTexts[] = {
        {13, "permission denied"},   {49, "address not available"}, {50, "network down"},
        {51, "network unreachable"}, {55, "no buffer space"},       {65, "host unreachable"},
    };
    for (const auto& entry : kTexts) {
        if (entry.nError == nError)
            return entry.szText;
    }
    return nError == 0 ? std::string("unknown error") : "error " + std::to_string(nError);
}

std::string CVLNetResultText::GetSystemErrorText(long nError)
{
    if (nError == 0)
        return "unknown error";
    std::string str = strerror(static_cast<int>(nError));
    if (!str.empty())
        str[0] = static_cast<char>(tolower(static_cast<unsigned char>(str[0])));
    return str;
}

std::string CVLNetResultText::GetAddAddressCommand(int nPrefix, const std::vector<std::string>& interfaces)
{
    std::string strCommand =
        "ip address add A.B.C.D/" + (nPrefix > 0 ? std::to_string(nPrefix) : std::string("N")) + " dev ";
    if (interfaces.size() == 1)
        return strCommand + interfaces.front();
    strCommand += "DEV";
    if (interfaces.empty())
        return strCommand;
    std::string strList;
    for (size_t i = 0; i < interfaces.size(); i++)
        strList += (i == 0 ? "" : i + 1 == interfaces.size() ? " or " : ", ") + interfaces[i];
    return strCommand + ", DEV one of " + strList;
}

std::string CVLNetResultText::GetOffNetworkText(const std::string& strIP, const std::string& strMask,
                                                const std::string& strNetworks,
                                                const std::vector<std::string>& interfaces)
{
    uint32_t nAddress = 0, nMask = 0;
    const bool bAddress = CVLSocketAddress::ParseDottedQuad(strIP.c_str(), nAddress);
    const int nPrefix = CVLSocketAddress::ParseDottedQuad(strMask.c_str(), nMask) ? CVLSocketAddress::PrefixLength(nMask)
                                                                                    : -1;
    // A device answers the limited broadcast whatever its address: one at
    // a factory address is heard, but unicast to it leaves through no
    // interface of its network.
    std::string strText = "its address " + strIP;
    if (bAddress && nPrefix > 0) {
        CVLString strSubnet = CVLSocketAddress::FormatDottedQuad(nAddress & nMask);
        strText += " (subnet " + std::string(strSubnet.GetBuffer() != nullptr ? strSubnet.GetBuffer() : "") + "/" +
                   std::to_string(nPrefix) + ")";
    }
    strText += " is on none of this computer's networks (" + (strNetworks.empty() ? "it has none" : strNetworks) +
               "), so unicast cannot reach it: give this computer an address on " +
               (nPrefix > 0 ? "that subnet" : "the device's subnet") + " on the link the device is on (" +
               GetAddAddressCommand(nPrefix, interfaces) + ")";
    return strText;
}

std::string CVLNetResultText::Shown(const std::string& strText)
{
    // How much of an argument a message repeats.
    const size_t kShownCharacters = 60;
    size_t nPos = 0;
    for (size_t nCount = 0; nPos < strText.size() && nCount < kShownCharacters; nCount++)
        nPos += std::max<size_t>(CVLNetPropertyLines::GetCharacterLength(strText, nPos), 1);
    return nPos < strText.size() ? strText.substr(0, nPos) + "\xE2\x80\xA6" : strText;
}
