// The meanings of the result codes that vlnet prints.
#ifndef VLNETRESULTTEXT_H
#define VLNETRESULTTEXT_H

#include <string>
#include <vector>

class CVLNetResultText
{
public:
    // The application framework's results ("path error", ...).
    static const char* GetPFWResultText(int nResult);
    // The device manager's results, which device commands give.
    static const char* GetECMResultText(int nResult);
    // What a device's own error result code says ("F001"); null for a code
    // without a meaning of its own. F003, a refused password, is not asked
    // for: the session says that in words of its own.
    static const char* GetDeviceResultText(long nResult);
    // A socket error number as the system stores it (the BSD numbering:
    // 51 network unreachable); "error N" for a number without a text.
    static std::string GetSocketErrorText(long nError);
    // An error number in errno's numbering, as the system says it, in
    // lower case as the other reasons are; "unknown error" for 0.
    static std::string GetSystemErrorText(long nError);
    // The first 60 characters of a text the user gave, ending in an
    // ellipsis when cut: what a message repeats of an argument.
    static std::string Shown(const std::string& strText);
    // Why a device at strIP (mask strMask; empty or no mask: not known) on
    // none of this computer's networks (strNetworks, as a sentence names
    // them) cannot be reached, and what lets this computer reach it.
    // interfaces: those the device's link may be (see GetAddAddressCommand).
    static std::string GetOffNetworkText(const std::string& strIP, const std::string& strMask,
                                         const std::string& strNetworks, const std::vector<std::string>& interfaces);
    // The command that gives this computer an address on a device's subnet
    // (nPrefix, 0 when not known) on the device's link: "ip address add
    // A.B.C.D/24 dev vl5", the interface named when interfaces (those the
    // probe's limited broadcast leaves through) holds one alone.
    static std::string GetAddAddressCommand(int nPrefix, const std::vector<std::string>& interfaces);
};

#endif
