// What vlnet says when it refuses a line or cannot start its work: the
// reason, and what to do about it. Each line runs in a namespace of its own
// with only its loopback, where nothing can be sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/NeedsNamespaces.h"

namespace {
struct SMessage
{
    const char* szLine;  // vlnet's arguments, after the shell's commands to run before it
    int nStatus;
    const char* szErrors;  // a part of standard error
    bool bWhole = false;   // szErrors is all of standard error
};

// 5,000 characters, and the 60 a message repeats of them.
#define VLNET_LONG "\"$(head -c 5000 /dev/zero | tr '\\0' x)\""
#define VLNET_SHOWN "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\xE2\x80\xA6"
// After the "--" of an option.
#define VLNET_SHOWN_OPTION "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\xE2\x80\xA6"

const SMessage kMessages[] = {
    // A usage error: its reason, and where the usage is, in two lines.
    {"run 0026AB000001", 2,
     "vlnet: run needs a device command after the device\nvlnet: 'vlnet run --help' shows the usage\n"},
    {"bogus", 2, "vlnet: unknown command 'bogus'\nvlnet: 'vlnet --help' shows the usage\n"},
    // An option before the command: the line proposed is one that is taken.
    {"--verbose probe", 2,
     "vlnet: unknown option '--verbose' for probe\nvlnet: 'vlnet probe --help' shows the usage\n"},
    {"-v", 2, "vlnet: unknown option '-v'; did you mean --version?\n"},
    {"--password secret url 0026AB000001", 2, "vlnet: unknown option '--password' for url (only run takes it)\n"},
    {"--timeout 5 probe extra", 2,
     "'--timeout' stands before the command, and options follow it; with that fixed: probe takes no argument"},
    {"probe --timout 5", 2, "vlnet: unknown option '--timout' for probe; did you mean --timeout?\n"},
    // A second value of an option is refused, not taken over the first.
    {"run 0026AB000001 GetDetail --timeout 5 --timeout 6", 2, "vlnet: one time-out: --timeout once\n"},
    {"probe --resources /a --resources /b", 2, "vlnet: one resource folder: --resources once\n"},
    // run's device before its command, with the line in that order.
    {"run GetDetail 0026AB000001 --timeout 5", 2,
     "vlnet: the device comes first: vlnet run 0026AB000001 GetDetail --timeout 5\n"},
    {"run GetDetail", 2, "vlnet: the device comes first: vlnet run MAC|IP GetDetail\n"},
    // A password for a command that sends none, refused before the probe.
    {"run 0026AB000001 GetDetail --password secret --timeout 5", 2,
     "vlnet: GetDetail sends no password: leave the password out (CheckPassword, SetDetail and FactReset send one)\n"},
    // A path near one the command sends is proposed; the usage lists them.
    {"run 0026AB000001 SetDetail --password secret NodeName=x --timeout 5", 2,
     "vlnet: NodeName=x: not a value that SetDetail sends; did you mean VLPC.2B_5A10_01.NodeName?\n"
     "vlnet: 'vlnet run --help' shows the usage\n"},
    // What to do when the probe cannot run.
    {"probe --timeout 5", 1,
     "vlnet: no probe could be sent: network unreachable: bring an interface up (ip link set DEV up) or give it an "
     "address"},
    // A refusal --force would override: the line is sound, no usage follows.
    {"run 0026AB000001 SetDetail --password secret VLPC.2B_5A10_01.IPMode=0 VLPC.2B_5A10_01.IPAddress=10.0.0.5 "
     "VLPC.2B_5A10_01.SubnetMask=255.255.255.0 VLPC.2B_5A10_01.Gateway=10.0.1.1 --timeout 5",
     2,
     "vlnet: VLPC.2B_5A10_01.Gateway=10.0.1.1: outside the device's subnet 10.0.0.0/24: the device would stay "
     "reachable on its own segment but reach nothing beyond it (0.0.0.0 means none) (--force sends it anyway)\n",
     true},
    // No password and no terminal to ask on, or an empty one: refused
    // before a try of the device's is spent.
    {"run 0026AB000001 SetDetail VLPC.2B_5A10_01.Location=x --timeout 5", 2,
     "vlnet: SetDetail sends the device's password, and none was given (no terminal to ask on): give it with "
     "--password-file FILE (its first line) or --password PW; nothing was sent\n",
     true},
    // Given on the line, an empty password is meant: it goes on (here to a
    // probe that cannot be sent).
    {"run 0026AB000001 CheckPassword --password '' --timeout 5", 1, "vlnet: no probe could be sent"},
    {"run 0026AB000001 CheckPassword --password-file /dev/null --timeout 5", 2,
     "vlnet: --password-file: /dev/null: the first line is empty (a device without a password takes --password "
     "'')\n",
     true},
    // An argument is repeated no longer than a PATH=VALUE is.
    {VLNET_LONG, 2, "vlnet: unknown command '" VLNET_SHOWN "'\n"},
    {"run " VLNET_LONG " GetDetail", 2,
     "vlnet: '" VLNET_SHOWN "' is neither a MAC address (00:26:AB:00:00:01) nor an IPv4 address\n"},
    {"run 0026AB000001 " VLNET_LONG, 2, "vlnet: unknown device command '" VLNET_SHOWN "'; 'vlnet run --help'"},
    {"probe --timeout " VLNET_LONG, 2, "not '" VLNET_SHOWN "'\n"},
    {"probe --" VLNET_LONG, 2, "vlnet: unknown option '--" VLNET_SHOWN_OPTION "' for probe\n"},
    {"ulimit -n 9; exec vlnet probe", 1,
     "a probe may hold 24 (6 sockets of its children, 16 of follow-up chains, 1 its unicast checks share, 1 listing "
     "the interfaces); raise the limit: 'ulimit -n "},
    // This computer's own address, or its network's own, is no device's.
    {"ip link add vt0 type veth peer name vt1 && ip addr add 10.9.0.1/24 dev vt0 && ip link set vt0 up && ip link "
     "set vt1 up; exec vlnet url 10.9.0.1 --timeout 5",
     1,
     "vlnet: 10.9.0.1 is this computer's own address (vt0), no device's address: give the device's own; nothing was "
     "sent\n",
     true},
    {"run 10.9.0.0 GetDetail --timeout 5", 1,
     "vlnet: 10.9.0.0 is the network address of this computer's network 10.9.0.0/24 (vt0), no device's address: give "
     "the device's own; nothing was sent\n",
     true},
    {"url 10.9.0.255 --timeout 5", 1,
     "vlnet: 10.9.0.255 is the broadcast address of this computer's network 10.9.0.0/24 (vt0), no device's address: "
     "give the device's own; nothing was sent\n",
     true},
    // Nor is an address no network holds a device at, of any of its kind.
    {"url 127.0.0.1", 1,
     "vlnet: 127.0.0.1: a loopback address (127.0.0.0/8) cannot be a device's address: give the device's own; "
     "nothing was sent\n",
     true},
    {"run 127.8.9.10 GetDetail", 1, "vlnet: 127.8.9.10: a loopback address (127.0.0.0/8) cannot be"},
    {"url 0.0.0.0", 1, "vlnet: 0.0.0.0: 0.0.0.0 (no address) cannot be a device's address"},
    {"url 255.255.255.255", 1, "vlnet: 255.255.255.255: the limited broadcast cannot be a device's address"},
    {"url 224.0.0.1", 1, "vlnet: 224.0.0.1: a multicast address (224.0.0.0/4) cannot be a device's address"},
    {"url 240.0.0.1", 1, "vlnet: 240.0.0.1: a reserved address (240.0.0.0/4) cannot be a device's address"},
    // A MAC not heard in the probe's one round may answer a later one.
    // (vt1, vt0's peer, is up without an IPv4 address.)
    {"probe --mac 00:26:AB:7F:7F:7F", 1,
     "vlnet: interface vt1 is up without an IPv4 address, so the probe has no network there: give it one (ip address "
     "add A.B.C.D/N dev vt1)\nvlnet: device 00:26:AB:7F:7F:7F not found in the probe's one round of sends; a device "
     "still starting may answer later: given --timeout N, the probe sends round after round for N seconds; one on a "
     "network the probe left out (said above) does not answer however long\n",
     true},
    // An interface that is down, one up without carrier (its peer down) and
    // those up without an IPv4 address are named once each, and why their
    // networks were left out (last: the interfaces stay for the lines
    // after it).
    {"ip link add vup type veth peer name vupp && ip address add 10.201.8.1/24 dev vup && ip link set vup up && "
     "ip link set vupp up && ip link add vdown type veth peer name vdownp && ip address add 10.201.9.1/24 dev vdown "
     "&& ip address add 10.201.9.2/24 dev vdown && ip link add vnc type veth peer name vncp && "
     "ip address add 10.201.7.1/24 dev vnc && ip link set vnc up && exec vlnet probe --timeout 3",
     0,
     "vlnet: interface vdown (10.201.9.1/24) is down, so the probe left out its network: bring it up (ip link set "
     "vdown up); interface vnc (10.201.7.1/24) has no carrier, so the probe left out its network: connect it (its "
     "cable, or the other end of its link); interfaces vt1 and vupp are up without an IPv4 address, so the probe has "
     "no network there: give each one (ip address add A.B.C.D/N dev DEV)\n",
     true},
    // An address on its network is said to be so, not to be on none.
    {"url 10.201.9.20 --timeout 5", 1,
     "vlnet: 10.201.9.20 is on the network of interface vdown (10.201.9.1/24), which is down, so the probe leaves "
     "that network out: bring it up (ip link set vdown up); nothing was sent\n",
     true},
    {"url 10.201.7.20 --timeout 5", 1,
     "vlnet: 10.201.7.20 is on the network of interface vnc (10.201.7.1/24), which has no carrier, so the probe "
     "leaves that network out: connect it (its cable, or the other end of its link); nothing was sent\n",
     true},
    // An address on none of the networks: what would reach a device there.
    {"run 192.168.77.10 GetDetail --timeout 5", 1,
     "vlnet: 192.168.77.10 is on none of this computer's networks (10.9.0.0/24 (vt0) and 10.201.8.0/24 (vup)): vlnet "
     "reaches devices on the computer's own networks only; nothing was sent; to reach a device there, give this "
     "computer an address on its subnet on the device's link (ip address add A.B.C.D/N dev DEV, DEV one of vt1, "
     "vupp, vt0 or vup)\n",
     true},
};
}  // namespace

TEST(VLNetMessages, SayWhatWasWrongAndWhatToDo)
{
    VL_NEEDS_NAMESPACES();
    CTestNetwork net;
    std::string strError;
    ASSERT_TRUE(net.AddHost("pc", &strError)) << strError;
    std::string strBin = TestEmulatorProgram();
    strBin.erase(strBin.rfind('/'));
    for (const SMessage& message : kMessages) {
        std::string strLine = message.szLine;
        if (strLine.find("exec vlnet ") == std::string::npos)
            strLine = "exec vlnet " + strLine;
        strLine.replace(strLine.find("exec vlnet "), 11, "exec timeout 60 " + strBin + "/vlnet ");
        std::string strOutput, strErrors;
        const int nStatus =
            net.RunProgram("pc", {"/bin/sh", "-c", "exec </dev/null; " + strLine}, &strOutput, &strErrors);
        EXPECT_EQ(message.nStatus, nStatus) << message.szLine << "\n" << strErrors;
        EXPECT_NE(std::string::npos, strErrors.find(message.szErrors)) << message.szLine << "\n" << strErrors;
        if (message.bWhole) {
            EXPECT_EQ(message.szErrors, strErrors) << message.szLine;
        }
        // An argument of 5,000 characters is not repeated whole.
        EXPECT_GT(400u, strErrors.size()) << message.szLine << "\n" << strErrors;
        // A line refused is said in two lines at most, whatever its usage.
        if (message.nStatus == 2) {
            EXPECT_GE(2, std::count(strErrors.begin(), strErrors.end(), '\n')) << message.szLine << "\n" << strErrors;
        }
        EXPECT_EQ(std::string::npos, strErrors.find("secret")) << message.szLine << "\n" << strErrors;
        EXPECT_EQ("", strOutput) << message.szLine;
    }
}
