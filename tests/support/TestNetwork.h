// Test hosts in network namespaces: the tests build small networks of their
// own (namespaces joined by veth pairs), run device emulators in some and
// the code under test in another, and remove everything afterwards. Needs
// root and iproute2; Unavailable() says why not. Tests ask through
// VL_NEEDS_NAMESPACES() (tests/support/NeedsNamespaces.h), which skips them
// there, or fails them when Required().
//
// Names are made unique per process ("vl<pid>n<count>x<name>"), so parallel
// test programs do not meet; interface names stay within the kernel's 15
// bytes. The "vl" is the prefix, which a user may choose (kPrefixVariable)
// to tell their namespaces from others' on a shared host. A process stopped
// before it removed its namespaces (a test killed at its time limit) leaves
// them: the first network of each process removes those of its prefix whose
// process is gone (RemoveLeftovers).
#ifndef TESTNETWORK_H
#define TESTNETWORK_H

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

class CTestNetwork
{
public:
    // Empty when namespaces can be made here; otherwise the reason.
    static std::string Unavailable();
    // True when a test that cannot make its network fails rather than
    // skips: the environment variable kRequiredVariable is set, and not to
    // 0. tools/test-all.sh sets it: CI runs as root, where a skip would hide
    // that the namespace tests never ran.
    static bool Required();
    static const char* const kRequiredVariable;  // "VL_TEST_REQUIRE_NAMESPACES"
    // The namespaces' prefix: kPrefixVariable's value, else (unset or
    // empty) "vl".
    // Unavailable() tells of a value that PrefixError refuses.
    static std::string Prefix();
    static const char* const kPrefixVariable;  // "VL_NETNS_PREFIX"
    // Why strPrefix cannot begin a namespace's name; empty when it can:
    // 1 to kMaxPrefix letters, digits, '_' or '-', beginning with a letter
    // (the name is an argument of ip) and not ending in a digit (the
    // process id follows: "ab" and "ab1" would make the same names).
    static std::string PrefixError(const std::string& strPrefix);
    static const size_t kMaxPrefix = 32;

    // Deletes the namespaces named with the prefix and the number of a
    // process that no longer runs ("vl4242n0xpc" once 4242 is gone), with
    // the veth ends they hold; those of a running process stay.
    static void RemoveLeftovers();

    // How many networks this process has made: a test during which it grew
    // is a network test.
    static unsigned Made();

    CTestNetwork();   // the first of a process calls RemoveLeftovers()
    ~CTestNetwork();  // stops the emulators and deletes the namespaces
    CTestNetwork(const CTestNetwork&) = delete;
    CTestNetwork& operator=(const CTestNetwork&) = delete;

    // Creates a namespace (loopback up). False with a message on failure.
    bool AddHost(const std::string& strHost, std::string* pError = nullptr);
    // Joins two hosts by a veth pair named strIfA in host A and strIfB in host
    // B, each side given its addresses ("10.201.1.1/24"; more than one adds
    // secondary addresses), both sides up and their neighbours pinned.
    bool Link(const std::string& strHostA, const std::string& strIfA, const std::vector<std::string>& addressesA,
              const std::string& strHostB, const std::string& strIfB, const std::vector<std::string>& addressesB,
              std::string* pError = nullptr);
    // Pins, with permanent entries, every neighbour a host's traffic needs,
    // as its addresses now stand: its loopback's entry and its broadcasts
    // (limited, and directed of each address) on each interface, and on
    // each end of each of its links every address of the other end (that
    // of its bridge, if it is a port of one) at the other end's link
    // address. The kernel's neighbour table is shared by every namespace of
    // the host, and other work may fill it; permanent entries do not count
    // against its limit. AddHost and Link pin what they make, and
    // RunInNamespace its host once set up; a test that adds addresses or
    // bridges later pins again. An address the other end holds only later
    // is left to ARP.
    bool PinNeighbours(const std::string& strHost, std::string* pError = nullptr);
    // Runs a command (through the shell) inside a host: "ip route add default dev vl1".
    bool Exec(const std::string& strHost, const std::string& strCommand, std::string* pError = nullptr);
    // Starts build/bin/vlemu inside a host with the given device list text
    // and waits until it listens. szProgram: the emulator program's path.
    bool StartEmulator(const std::string& strHost, const std::string& strDevices, unsigned nPort,
                       const std::string& strProgram, std::string* pError = nullptr);
    // Runs fnBody in a child process that has entered the host's namespace
    // and returns what it returned; "FAIL:..." when the child could not run
    // or died.
    std::string RunIn(const std::string& strHost, const std::function<std::string()>& fnBody);
    // Runs a program inside a host, with its standard output and error
    // captured, and returns its exit status (-1 when it could not run).
    int RunProgram(const std::string& strHost, const std::vector<std::string>& args, std::string* pOutput,
                   std::string* pErrors = nullptr);

    // The namespace's name of a host, for "ip netns exec".
    std::string Namespace(const std::string& strHost) const;

private:
    struct SLink
    {
        std::string strHostA, strIfA, strHostB, strIfB;
    };
    // Those of strHost's links that lead to strPeer (all of them when it is
    // empty).
    bool PinNeighbours(const std::string& strHost, const std::string& strPeer, std::string* pError);

    std::string m_strPrefix;
    std::vector<SLink> m_Links;
    std::vector<std::string> m_Hosts;
    std::vector<pid_t> m_Emulators;
};

// Makes a host (its loopback up), runs the set-up commands in it, pins its
// neighbours (CTestNetwork::PinNeighbours) and then runs the body in a
// child inside it; returns what the body returned, or "SKIP:..." when
// namespaces or the interfaces cannot be made here.
std::string RunInNamespace(const std::vector<std::string>& commands, const std::function<std::string()>& fnBody);

// Set-up commands for RunInNamespace: an interface vlt0 (10.5.0.1/24, its
// veth peer vlt0p up) whose datagrams to 10.5.0.2 to 10.5.0.(1 + nAddresses),
// each pinned, wait in its queue (a token bucket letting out 1 kbit/s),
// held against their sender's send buffer: a send buffer filled without
// the kernel's neighbour queues, which would take an entry of the table
// every namespace shares for each address.
std::vector<std::string> HeldSendsCommands(int nAddresses);

// The emulator program beside the test programs (VL_TEST_BIN_DIR, else the
// running program's folder).
std::string TestEmulatorProgram();

#endif
