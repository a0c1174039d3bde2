// vlstdtool udp-recv PORT [--timeout MS] [--count N]: prints the datagrams
// that arrive on a UDP port.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/vlstdtool/ToolCommand.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLOpenException.h"
#include "base/net/VLSocket.h"
#include "base/thread/VLStopWatch.h"
#include "base/core/VLTimeoutException.h"

namespace {

bool ParseNumber(const char* szText, long nMin, long nMax, long& nValue)
{
    char* pEnd = nullptr;
    errno = 0;
    long n = std::strtol(szText, &pEnd, 10);
    if (errno != 0 || pEnd == szText || *pEnd != '\0' || n < nMin || n > nMax)
        return false;
    nValue = n;
    return true;
}

int UdpRecv(int argc, char** argv)
{
    const char* szPort = nullptr;
    long nTimeout = -1;
    long nCount = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--timeout") == 0 || std::strcmp(argv[i], "--count") == 0) {
            bool bTimeout = argv[i][2] == 't';
            if (i + 1 >= argc)
                return VLToolUsage("udp-recv: %s needs a value", argv[i]);
            long& nValue = bTimeout ? nTimeout : nCount;
            if (!ParseNumber(argv[i + 1], bTimeout ? 0 : 1, 2147483647L, nValue))
                return VLToolUsage("udp-recv: '%s' is not a valid %s", argv[i + 1],
                                   bTimeout ? "time-out in milliseconds" : "count (1 or more)");
            ++i;
        } else if (argv[i][0] == '-') {
            return VLToolUsage("udp-recv: unknown option '%s'", argv[i]);
        } else if (szPort == nullptr) {
            szPort = argv[i];
        } else {
            return VLToolUsage("udp-recv takes PORT [--timeout MS] [--count N]");
        }
    }
    if (szPort == nullptr)
        return VLToolUsage("udp-recv takes PORT [--timeout MS] [--count N]");
    long nPort = 0;
    if (!ParseNumber(szPort, 1, 65535, nPort))
        return VLToolUsage("udp-recv: '%s' is not a port number (1 to 65535)", szPort);

    CVLSocket socket;
    std::vector<unsigned char> buffer(65536);
    long nReceived = 0;
    CVLStopWatch watch(static_cast<int>(nTimeout));
    watch.Start();
    try {
        socket.Create(0, 65536, 0);
        CVLSocketAddress local(0, "0.0.0.0", static_cast<int>(nPort));
        socket.Bind(&local);
        while (nCount < 0 || nReceived < nCount) {
            int nWait = 1000;
            if (nTimeout >= 0) {
                watch.Update();
                nWait = watch.GetTimeout();
            }
            try {
                socket.Select(nWait, "0.0.0.0");
            } catch (EVLTimeoutException* e) {
                e->Delete();
                if (nTimeout >= 0)
                    break;
                continue;
            }
            CVLSocketAddress from;
            std::string strLine;
            try {
                int nLength = socket.ReceiveFrom(buffer.data(), static_cast<int>(buffer.size()), &from);
                char szHead[64];
                std::snprintf(szHead, sizeof(szHead), "%s:%d %d ", from.GetHost().GetString(), from.GetPort(),
                              nLength);
                strLine = szHead;
                static const char s_szHex[] = "0123456789abcdef";
                for (int i = 0; i < nLength; ++i) {
                    strLine += s_szHex[buffer[static_cast<size_t>(i)] >> 4];
                    strLine += s_szHex[buffer[static_cast<size_t>(i)] & 15];
                }
            } catch (EVLOpenException* e) {
                // An empty datagram: the library reports it without its sender.
                e->Delete();
                strLine = "unknown 0 ";
            }
            if (!VLToolPrint("%s\n", strLine.c_str())) {
                socket.Close();
                return VLToolOutputFailed();
            }
            ++nReceived;
        }
        socket.Close();
        return 0;
    } catch (EVLException* e) {
        CVLExceptionOwner owner(e);
        socket.Close();
        return VLToolFail("udp-recv: port %ld: %s", nPort, VLToolReason(e).c_str());
    }
}

}  // namespace

VL_TOOL_COMMAND(udp_recv, "udp-recv",
                "  udp-recv PORT [--timeout MS] [--count N]\n"
                "                    bind UDP PORT and print one line per datagram: sender:port, length\n"
                "                    and the bytes in hexadecimal; stops after N datagrams or MS ms\n",
                UdpRecv);
