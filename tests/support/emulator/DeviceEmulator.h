// A VLPC device emulator for the tests: plays any number of this project's
// devices on one UDP port, answering as docs/protocol.md says a device does. It
// is written independently of the modules it tests (its own cipher, MD5,
// Base64 and payload layouts), so the two can catch each other's mistakes.
//
// The emulator binds one socket to the port on all addresses and learns
// each datagram's destination address (IP_PKTINFO): a device hears a
// datagram sent to its own address (unicast), to the limited broadcast, or
// to the directed broadcast of its network. It answers from its own address,
// which must therefore be an address of the host or namespace: 127.0.0.2,
// 127.0.0.3, ... on loopback (127.255.255.255 is then their directed
// broadcast), or the addresses a test puts on its veth interfaces.
#ifndef DEVICEEMULATOR_H
#define DEVICEEMULATOR_H

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct EmuService
{
    uint8_t nServiceId;
    uint16_t nPort;
};

struct EmuProtocol
{
    uint8_t nProtocolId;
    uint8_t nEnabled;
    uint16_t nPort;
};

struct EmuNetwork
{
    std::string strSSID;
    uint8_t nChannel;
    uint8_t nSecurity;
    uint8_t nSignalLevel;
};

// How a hostile device answers every request it hears instead of a reply.
enum class EmuHostile
{
    None,
    Truncated,  // the genuine reply cut inside its header
    Empty,      // a zero-length datagram
    BadMagic,   // the genuine reply with a wrong magic
    SpoofMac,   // genuine replies, but unicast replies carry another MAC
    Oversized,  // a 2,000-byte datagram that starts like a genuine reply
    Flood,      // nFloodCount datagrams: junk, truncated and repeated replies
    Strays,     // nFloodCount replies to another function, nStrayGapUs apart, and no genuine one
    OtherType,  // the genuine reply with another device type
    Burst,      // the genuine reply nFloodCount times over, at once
    // Attacks on the probe, each played by a function of its own:
    RandomMacs,  // from the first probe heard on, nRate datagrams a second to the probe's ports: junk,
                 // corrupted and well-formed probe replies, each well-formed one with a new MAC
    InventMacs,  // nFloodCount well-formed probe replies per probe request, each with a new MAC; no unicast
    Repeat,      // from the first probe heard on, its genuine probe reply nRate times a second, endlessly
    Impostor,    // a genuine device, but its MAC is another device's (EmuImpostorOf) and it answers late
    // Attacks from a pool of source addresses (the device's address and the
    // nPool - 1 after it, which the test puts on the interface):
    ErrorHeaders,  // from the first probe heard on, the 14-byte reply header with result nResult,
                   // nRate times a second to the probe's ports, from the pool's addresses in turn
    ForgedMacs,    // per probe request, nFloodCount well-formed probe replies from each pool address,
                   // each with a new MAC, nStrayGapUs apart; no unicast
    Changing,      // from the first probe heard on, nRate probe replies a second to the probe's ports, from
                   // the pool's addresses in turn, each address with a MAC of its own and every reply's
                   // model name different; no unicast
    Claims,        // nDelayMs after the first probe heard, nRate probe replies a second to the probe's ports:
                   // from each pool address in turn, the reply of each of the nFloodCount MACs counted up
                   // from its own (the devices it claims), every address and MAC nPasses times, then nothing
                   // (with bSpread, pool address i claims the MACs i, i + nPool, ... alone; with
                   // bNewSources, a pass is nPool claims, the ith from pool address i, of MAC i mod nFloodCount)
    CheckErrors,   // a device of its own, but once a unicast request reaches its address it sends that
                   // request's reply header with result nResult, nRate times a second, to the first such
                   // request's sender, from the pool's addresses in turn (starting at strPoolFrom if given)
    SprayDetail,   // a host that answers nothing: from the first probe heard on, nRate datagrams a second from
                   // its own address to every port of the prober's ephemeral range in turn, each port a forged
                   // GetDetail success reply of the device victim (gateway and DNS server this host's address,
                   // node name "forged", layout of its own version) and a SetDetail reply with error F004;
                   // or, given nSprayFunction, one datagram: that function's reply with result nResult (a
                   // bare header, or with result 0 the function's reply as the victim would send it)
};

struct EmuDevice
{
    // Identity and addresses (dotted quads).
    uint8_t mac[6] = {0x00, 0x26, 0xAB, 0x00, 0x00, 0x01};
    std::string strIP = "127.0.0.2";
    std::string strMask = "255.0.0.0";
    std::string strGateway = "0.0.0.0";
    std::string strDNS = "0.0.0.0";
    uint8_t nNumber = 1;          // header byte 7 of its replies
    char cVersion = '2';          // VLPCVersion: an ASCII digit
    bool bEncrypted = false;      // EncryptionMode = EncryptionType = 1: the word cipher
    uint16_t nCipherType = 2;     // password encoding: 0 raw, 1 Base64, 2 MD5 hex, 0xFFFF none
    uint8_t nKind = 1;
    uint8_t nIPMode = 0;
    std::string strModel = "Model A";
    std::vector<EmuService> services = {{1, 80}};
    // GetListInfo
    uint16_t nWebPort = 80;
    uint8_t nStatus = 0;
    std::string strNodeName = "node";
    std::string strLocation = "";
    std::string strFirmware = "1.00";
    std::string strSerial = "SN0000000001";
    std::vector<EmuProtocol> protocols = {{1, 1, 80}};
    // GetDetail
    std::string strContact = "";
    int nDetailFields = -1;  // its reply ends after this many settings (-1: all of its layout)
    // GetSupportInformation
    uint32_t nCapabilities = 0x1E;
    std::vector<uint16_t> functions = {0x5A01, 0x5A02, 0x5A03, 0x5A04, 0x5A10, 0x5A20, 0x5A21, 0x5A22, 0x5A30};
    // GetWirelessLANInfo: a wired-only device answers FF01
    bool bWireless = false;
    uint8_t nWLANMode = 1, nChannel = 6, nSecurity = 2, nSignalLevel = 70;
    std::string strSSID = "net";
    std::vector<EmuNetwork> scanList;
    // CheckPassword, SetDetail, FactReset
    std::string strPassword = "";
    int nRetryLeft = 5;
    // Behaviour
    bool bAnswersUnicast = true;  // false: everything that arrives on its own address is ignored
    bool bAnswersSetDetail = true;  // false: takes SetDetail's values but never answers it
    bool bRefusesSetDetail = false;  // true: answers every SetDetail F001, as a value it does not take
    bool bAnswersListInfo = true;   // false: passes its unicast check, then never answers GetListInfo (stalls)
    // An address change (SetDetail, FactReset) takes effect before the reply,
    // which comes from the new address: 0 no, 1 the old address is left, 2 it
    // is kept too (requests to it are still heard).
    int nMoveEarly = 0;
    uint16_t nDataErrorFunction = 0;  // answered with result nResult and two bytes of data, no MAC (or
                                      // with the victim's MAC and a byte, when victim is set)
    std::string strReplyFrom;         // the address its replies leave from, when not its own
    int nDelayMs = 0;             // each reply leaves this much later
    int nLimitedDelayMs = 0;      // and a reply to the limited broadcast this much later again
    int nDirectedDelayMs = 0;     // and a reply to its network's directed broadcast this much later again
    int nLossPercent = 0;         // share of requests ignored (seeded, repeatable)
    int nRestartMs = 3000;        // silent this long after FactReset or an address change
    int nBootMs = 0;              // silent this long from the first request it hears (still starting)
    EmuHostile eHostile = EmuHostile::None;
    int nFloodCount = 200;
    int nStrayGapUs = 0;
    int nRate = 5000;           // datagrams a second of the attacks at a rate
    int nPool = 1;              // source addresses of ErrorHeaders, ForgedMacs, Changing and Claims
    int nPasses = 2;            // rounds of Claims over every address and MAC (0: without end)
    bool bSpread = false;       // Claims: each pool address claims its own share of the MACs, not all
    bool bNewSources = false;   // Claims: each claim of a pass from a pool address of its own
    uint16_t nResult = 0x1001;  // the result of ErrorHeaders, CheckErrors, nSprayFunction and nDataErrorFunction
    uint16_t nSprayFunction = 0;  // the function SprayDetail forges replies to (0: GetDetail and SetDetail)
    std::string strPoolFrom;    // the pool's first address, when not the device's own
    uint8_t victim[6] = {};     // the device SprayDetail and nDataErrorFunction forge replies of
    std::string strVictimIP;    // and its address, which the forged settings keep (empty: this host's)
};

// An impostor of a real device: same MAC and texts, its own address, and
// replies nDelayMs after the real device's.
EmuDevice EmuImpostorOf(const EmuDevice& real, const std::string& strIP, int nDelayMs = 50);

// Parses "00:26:AB:00:00:01", "00-26-ab-00-00-01" or "0026AB000001".
bool EmuParseMac(const std::string& strText, uint8_t mac[6]);
std::string EmuMacText(const uint8_t mac[6]);  // "00:26:AB:00:00:01"

// Reads devices from text, one per line: blank-separated key=value pairs
// (the keys of EmuDeviceKeysUsage); values may be written in double quotes.
// '#' starts a comment. False with a message on a malformed line.
bool EmuParseDevices(const std::string& strText, std::vector<EmuDevice>& devices, std::string* pError);
// The usage's lines of every key a device line may hold and of the hostile
// kinds, made from the table the parser reads them with.
std::string EmuDeviceKeysUsage();

// The word cipher of the payload, both ways (K from MAC bytes 4 and 5).
void EmuWordCipher(std::vector<uint8_t>& payload, const uint8_t mac[6], bool bEncipher);
std::string EmuMD5Hex(const std::string& strData);
std::string EmuBase64Lines(const std::string& strData);
// The layout version of a device's version character.
int EmuVersionNumber(char c);

class CDeviceEmulator
{
public:
    // nPort 0 picks a free port (see Port()).
    explicit CDeviceEmulator(uint16_t nPort = 48817, const std::string& strBind = "0.0.0.0");
    ~CDeviceEmulator();
    CDeviceEmulator(const CDeviceEmulator&) = delete;
    CDeviceEmulator& operator=(const CDeviceEmulator&) = delete;

    void AddDevice(const EmuDevice& device);
    bool Start(std::string* pError = nullptr);
    void Stop();
    uint16_t Port() const { return m_nPort; }

    // The device's current state (SetDetail changes it); false when unknown.
    bool GetDevice(const uint8_t mac[6], EmuDevice& device) const;
    // Requests a device has handled (answered or not), by MAC text "00:26:AB:00:00:01"
    // (of the first device added with that MAC).
    int RequestCount(const std::string& strMac) const;
    // Those of one function (0x5A21), as the request's header names it.
    int RequestCount(const std::string& strMac, uint16_t nFunction) const;
    int DatagramCount() const { return m_nDatagrams.load(); }

private:
    struct State;
    void Run();
    void Handle(const uint8_t* pData, size_t nLen, uint32_t nDst, const sockaddr_in& from);
    void HandleDevice(State& dev, const uint8_t* pData, size_t nLen, bool bUnicast, const sockaddr_in& from,
                      int nExtraDelayMs);
    void FlushDue();
    // The attacks (EmuHostile::RandomMacs, InventMacs, Repeat): what a request
    // starts, and the datagrams a rate attack owes by now.
    void Attack(State& dev, const uint8_t* pData, size_t nLen, bool bUnicast, const sockaddr_in& from);
    // CheckErrors: the sender of a unicast request becomes the attack's
    // target, the request's reply header its datagram.
    void LearnCheck(State& dev, const uint8_t* pRequest, const sockaddr_in& from);
    bool RunRateAttacks();
    void SendFrom(uint32_t nFrom, const sockaddr_in& to, const std::vector<uint8_t>& datagram);
    void RandomMac(uint8_t mac[6]);

    uint16_t m_nPort;
    std::string m_strBind;
    int m_nSocket = -1;
    int m_nWake[2] = {-1, -1};
    std::thread m_Thread;
    std::atomic<bool> m_bRunning{false};
    std::atomic<int> m_nDatagrams{0};
    mutable std::mutex m_Mutex;
    std::vector<State*> m_Devices;
    struct Pending;
    std::vector<Pending*> m_Pending;
    uint64_t m_nRandom = 0x9E3779B97F4A7C15ULL;
};

#endif
