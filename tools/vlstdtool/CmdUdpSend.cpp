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

// The stored number of EACCES (the same in the system's numbering).
const long kPermissionDenied = 13;

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

    CVLSocket socket;
    try {
        CVLSocketAddress destination(0, pArgs[0], nPort);
        socket.Create(0, 0, 0);
        if (bBroadcast)
            socket.SetBroadcast(64, true);
        int nSent = socket.SendTo(pArgs[2], static_cast<int>(nLength), destination);
        socket.Close();
        std::printf("sent %d bytes to %s:%d\n", nSent, destination.GetHost().GetString(), nPort);
        return 0;
    } catch (EVLException* e) {
        CVLExceptionOwner owner(e);
        socket.Close();
        // The system refuses a broadcast destination without the option
        // with "permission denied"; other failures have other causes.
        EVLCommunicationException* pSend = dynamic_cast<EVLCommunicationException*>(e);
        bool bHint = !bBroadcast && pSend != nullptr && pSend->GetSystemErrorCode() == kPermissionDenied;
        return VLToolFail("udp-send: cannot send to %s port %d: %s%s", pArgs[0], nPort, e->ToString().GetString(),
                          bHint ? " (a broadcast address needs --broadcast)" : "");
    }
}

}  // namespace

// TEXT is sent as it is, "-h" too.
VL_TOOL_COMMAND_TEXT(udp_send, "udp-send",
                     "  udp-send HOST PORT TEXT [--broadcast]\n"
                     "                    send TEXT as one UDP datagram to HOST (dotted quad or name) and\n"
                     "                    PORT; --broadcast allows a broadcast destination\n",
                     3, UdpSend);
