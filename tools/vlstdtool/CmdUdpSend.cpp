// vlstdtool udp-send HOST PORT TEXT [--broadcast]: sends one datagram.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <netdb.h>
#include <sys/socket.h>

#include "tools/vlstdtool/ToolCommand.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLCommunicationException.h"
#include "base/net/VLSocket.h"

namespace {

// Error numbers as the library stores them (BSD numbers; see the
// platform notes), and what each means for a send.
const long kPermissionDenied = 13;
const long kNetworkUnreachable = 51;
const struct
{
    long nError;
    const char* szText;
} kSendErrors[] = {
    {1, "operation not permitted"},
    {kPermissionDenied, "permission denied"},
    {22, "invalid argument"},
    {40, "message too long"},
    {49, "address not available"},
    {50, "network down"},
    {kNetworkUnreachable, "network unreachable"},
    {55, "no buffer space"},
    {61, "connection refused"},
    {64, "host down"},
    {65, "host unreachable"},
};

// A failed send in words, with what may help: "network unreachable (no
// route leads there)".
std::string SendErrorText(long nError, bool bBroadcast)
{
    std::string strText = "error " + std::to_string(nError);
    for (const auto& entry : kSendErrors) {
        if (entry.nError == nError)
            strText = entry.szText;
    }
    // The system refuses a broadcast destination without the option with
    // "permission denied"; other failures have other causes.
    if (nError == kPermissionDenied && !bBroadcast)
        strText += " (a broadcast address needs --broadcast)";
    else if (nError == kNetworkUnreachable)
        strText += " (no route leads there)";
    return strText;
}

// True when the host (a name or a numeric address) gives an IPv4 address;
// false with the resolver's reason.
bool Resolves(const char* szHost, std::string& strWhy)
{
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* pResult = nullptr;
    int nResult = getaddrinfo(szHost, nullptr, &hints, &pResult);
    if (pResult != nullptr)
        freeaddrinfo(pResult);
    if (nResult == 0)
        return true;
    strWhy = nResult == EAI_SYSTEM ? strerror(errno) : gai_strerror(nResult);
    return false;
}

bool ParsePort(const char* szText, int& nPort)
{
    char* pEnd = nullptr;
    errno = 0;
    long n = std::strtol(szText, &pEnd, 10);
    if (errno != 0 || pEnd == szText || *pEnd != '\0' || n < 1 || n > 65535)
        return false;
    nPort = static_cast<int>(n);
    return true;
}

int UdpSend(int argc, char** argv)
{
    bool bBroadcast = false;
    const char* pArgs[3];
    int nArgs = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--broadcast") == 0)
            bBroadcast = true;
        else if (nArgs < 3 && (argv[i][0] != '-' || argv[i][1] == '\0' || nArgs == 2))
            pArgs[nArgs++] = argv[i];
        else if (argv[i][0] == '-' && nArgs < 2)
            return VLToolUsage("udp-send: unknown option '%s'", argv[i]);
        else
            return VLToolUsage("udp-send takes HOST PORT TEXT [--broadcast]");
    }
    if (nArgs != 3)
        return VLToolUsage("udp-send takes HOST PORT TEXT [--broadcast]");
    int nPort = 0;
    if (!ParsePort(pArgs[1], nPort))
        return VLToolUsage("udp-send: '%s' is not a port number (1 to 65535)", pArgs[1]);
    size_t nLength = std::strlen(pArgs[2]);
    if (nLength > 65507)
        return VLToolUsage("udp-send: the text is longer than a datagram can hold (65507 bytes)");

    // A name that does not resolve is said as such, not as the send's
    // system error number.
    std::string strWhy;
    if (!Resolves(pArgs[0], strWhy))
        return VLToolFail("udp-send: %s: the name did not resolve (%s)", pArgs[0], strWhy.c_str());

    // A number in a form other than four decimal parts is no address here.
    CVLSocketAddress destination(0, pArgs[0], nPort);
    try {
        destination.GetSockAddr();
    } catch (...) {
        ReleaseCurrentException();
        return VLToolFail("udp-send: %s: invalid address: an IPv4 address is four decimal parts from 0 to 255 "
                          "(10.0.0.1)",
                          pArgs[0]);
    }
    CVLSocket socket;
    try {
        socket.Create(0, 0, 0);
        if (bBroadcast)
            socket.SetBroadcast(64, true);
        int nSent = socket.SendTo(pArgs[2], static_cast<int>(nLength), destination);
        socket.Close();
        if (!VLToolPrint("sent %d byte%s to %s:%d\n", nSent, nSent == 1 ? "" : "s", destination.GetHost().GetString(),
                         nPort))
            return VLToolOutputFailed();
        return 0;
    } catch (EVLException* e) {
        CVLExceptionOwner owner(e);
        socket.Close();
        EVLCommunicationException* pSend = dynamic_cast<EVLCommunicationException*>(e);
        if (pSend == nullptr)
            return VLToolFail("udp-send: cannot send to %s port %d: %s", pArgs[0], nPort, VLToolReason(e).c_str());
        return VLToolFail("udp-send: cannot send to %s port %d: %s", pArgs[0], nPort,
                          SendErrorText(pSend->GetSystemErrorCode(), bBroadcast).c_str());
    }
}

}  // namespace

// TEXT is sent as it is, "-h" too.
VL_TOOL_COMMAND_TEXT(udp_send, "udp-send",
                     "  udp-send HOST PORT TEXT [--broadcast]\n"
                     "                    send TEXT as one UDP datagram to HOST (dotted quad or name) and\n"
                     "                    PORT; --broadcast allows a broadcast destination\n",
                     3, UdpSend);
