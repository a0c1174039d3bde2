#include "tests/support/emulator/DeviceEmulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

typedef std::chrono::steady_clock Clock;

const uint8_t kDeviceType = 0x2B;
const size_t kHeaderSize = 14;
const size_t kMaxDatagram = 512;
const size_t kMaxPayload = kMaxDatagram - kHeaderSize;

// Function codes (docs/protocol.md).
enum : uint16_t
{
    FN_PROBE = 0x5A01,
    FN_CHECK_UNICAST = 0x5A02,
    FN_SUPPORT_INFO = 0x5A03,
    FN_LIST_INFO = 0x5A04,
    FN_DETAIL = 0x5A10,
    FN_WLAN_INFO = 0x5A11,
    FN_CHECK_PASSWORD = 0x5A20,
    FN_SET_DETAIL = 0x5A21,
    FN_FACT_RESET = 0x5A22,
    FN_REBOOT_POLLING = 0x5A30,
};

// Result codes.
enum : uint16_t
{
    RES_OK = 0x0000,
    RES_REBOOT = 0xE001,
    RES_WRONG_PASSWORD_DATA = 0x1001,
    RES_MALFORMED = 0xF001,
    RES_WRONG_PASSWORD = 0xF003,
    RES_OTHER_DEVICE = 0xF004,
    RES_UNSUPPORTED = 0xFF01,
};

const uint16_t kNoPassword = 0xFFFF;
// Linux's ephemeral ports when the namespace does not say.
const unsigned kEphemeralFirst = 32768;
const unsigned kEphemeralLast = 60999;
const int kWordCipherTable[8] = {5, 11, 3, 14, 7, 1, 9, 13};

uint32_t ParseQuad(const std::string& s)
{
    in_addr a;
    if (inet_pton(AF_INET, s.c_str(), &a) != 1)
        return 0;
    return a.s_addr;  // network order
}

std::string QuadText(uint32_t n)
{
    char buf[INET_ADDRSTRLEN];
    in_addr a;
    a.s_addr = n;
    inet_ntop(AF_INET, &a, buf, sizeof(buf));
    return buf;
}

void Put8(std::vector<uint8_t>& v, unsigned n) { v.push_back(static_cast<uint8_t>(n)); }
void Put16(std::vector<uint8_t>& v, unsigned n)
{
    v.push_back(static_cast<uint8_t>(n >> 8));
    v.push_back(static_cast<uint8_t>(n));
}
void Put32(std::vector<uint8_t>& v, uint32_t n)
{
    Put16(v, n >> 16);
    Put16(v, n & 0xFFFF);
}
void PutQuad(std::vector<uint8_t>& v, const std::string& s)
{
    uint32_t n = ParseQuad(s);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&n);
    v.insert(v.end(), p, p + 4);
}
std::string Bounded(const std::string& s, size_t n) { return s.size() > n ? s.substr(0, n) : s; }
void PutVar16(std::vector<uint8_t>& v, const std::string& s, size_t nMax)
{
    std::string t = Bounded(s, nMax);
    Put16(v, static_cast<unsigned>(t.size()));
    v.insert(v.end(), t.begin(), t.end());
}
void PutVar8(std::vector<uint8_t>& v, const std::string& s, size_t nMax)
{
    std::string t = Bounded(s, nMax);
    Put8(v, static_cast<unsigned>(t.size()));
    v.insert(v.end(), t.begin(), t.end());
}
void PutLength16(std::vector<uint8_t>& v, const std::string& s, size_t nMax)
{
    std::string t = Bounded(s, nMax);
    Put16(v, static_cast<unsigned>(t.size() + 2));
    v.insert(v.end(), t.begin(), t.end());
}
void PutFixed(std::vector<uint8_t>& v, const std::string& s, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        v.push_back(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
}

// Appends a counted list: a UShort count, then as many entries as fit the
// payload limit.
template <class T, class F>
void PutList(std::vector<uint8_t>& v, const std::vector<T>& items, size_t nMaxItems, F putEntry)
{
    size_t nCountAt = v.size();
    Put16(v, 0);
    unsigned nCount = 0;
    for (const T& item : items) {
        if (nCount >= nMaxItems)
            break;
        std::vector<uint8_t> entry;
        putEntry(entry, item);
        if (v.size() + entry.size() > kMaxPayload)
            break;
        v.insert(v.end(), entry.begin(), entry.end());
        ++nCount;
    }
    v[nCountAt] = static_cast<uint8_t>(nCount >> 8);
    v[nCountAt + 1] = static_cast<uint8_t>(nCount);
}

// Reads the request payload; any read past the end marks it short.
struct Reader
{
    const std::vector<uint8_t>& v;
    size_t pos;
    bool bShort;
    bool Need(size_t n)
    {
        if (bShort || pos + n > v.size()) {
            bShort = true;
            return false;
        }
        return true;
    }
    unsigned Get8()
    {
        if (!Need(1))
            return 0;
        return v[pos++];
    }
    unsigned Get16()
    {
        if (!Need(2))
            return 0;
        unsigned n = (v[pos] << 8) | v[pos + 1];
        pos += 2;
        return n;
    }
    std::string GetBytes(size_t n)
    {
        if (!Need(n))
            return std::string();
        std::string s(reinterpret_cast<const char*>(&v[pos]), n);
        pos += n;
        return s;
    }
    std::string GetQuad()
    {
        std::string s = GetBytes(4);
        if (s.size() != 4)
            return "0.0.0.0";
        uint32_t n;
        memcpy(&n, s.data(), 4);
        return QuadText(n);
    }
};

}  // namespace

int EmuVersionNumber(char c)
{
    // The framework's default version map: '1'..'8', and 'F'..'K' for 1..6,
    // 'L' and 'M' for 7, 'N' for 8; anything else takes the first layout.
    if (c >= '1' && c <= '8')
        return c - '0';
    if (c >= 'F' && c <= 'K')
        return c - 'F' + 1;
    if (c == 'L' || c == 'M')
        return 7;
    return c == 'N' ? 8 : 0;
}

// ---------------------------------------------------------------------------
// Text forms, cipher and digests

bool EmuParseMac(const std::string& strText, uint8_t mac[6])
{
    std::string hex;
    for (char c : strText) {
        if (c == ':' || c == '-')
            continue;
        if (!isxdigit(static_cast<unsigned char>(c)))
            return false;
        hex += c;
    }
    if (hex.size() != 12)
        return false;
    for (int i = 0; i < 6; ++i)
        mac[i] = static_cast<uint8_t>(std::stoi(hex.substr(i * 2, 2), nullptr, 16));
    return true;
}

std::string EmuMacText(const uint8_t mac[6])
{
    char buf[18];
    snprintf(buf, sizeof(buf), "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return buf;
}

void EmuWordCipher(std::vector<uint8_t>& payload, const uint8_t mac[6], bool bEncipher)
{
    if (payload.size() % 2)
        payload.push_back(0);
    unsigned nKey = (mac[4] << 8) | mac[5];
    unsigned nRot = static_cast<unsigned>(kWordCipherTable[nKey % 8]);
    for (size_t i = 0; i < payload.size(); i += 2) {
        unsigned w = (payload[i] << 8) | payload[i + 1];
        if (bEncipher) {
            w ^= nKey;
            w = ((w << nRot) | (w >> (16 - nRot))) & 0xFFFF;
        } else {
            w = ((w >> nRot) | (w << (16 - nRot))) & 0xFFFF;
            w ^= nKey;
        }
        payload[i] = static_cast<uint8_t>(w >> 8);
        payload[i + 1] = static_cast<uint8_t>(w);
    }
}

std::string EmuMD5Hex(const std::string& strData)
{
    static const uint32_t K[64] = {
        0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
        0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
        0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
        0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
        0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
        0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
        0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
        0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
    static const int R[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                              5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                              4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                              6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    std::string msg = strData;
    uint64_t nBits = static_cast<uint64_t>(msg.size()) * 8;
    msg += static_cast<char>(0x80);
    while (msg.size() % 64 != 56)
        msg += static_cast<char>(0);
    for (int i = 0; i < 8; ++i)
        msg += static_cast<char>((nBits >> (8 * i)) & 0xFF);
    uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    for (size_t off = 0; off < msg.size(); off += 64) {
        uint32_t M[16];
        for (int i = 0; i < 16; ++i) {
            const unsigned char* p = reinterpret_cast<const unsigned char*>(msg.data()) + off + i * 4;
            M[i] = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
        }
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
        for (int i = 0; i < 64; ++i) {
            uint32_t f;
            int g;
            if (i < 16) {
                f = (b & c) | (~b & d);
                g = i;
            } else if (i < 32) {
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
            }
            uint32_t t = d;
            d = c;
            c = b;
            uint32_t x = a + f + K[i] + M[g];
            b = b + ((x << R[i]) | (x >> (32 - R[i])));
            a = t;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
    }
    char out[33];
    for (int i = 0; i < 16; ++i)
        snprintf(out + i * 2, 3, "%02x", (h[i / 4] >> (8 * (i % 4))) & 0xFF);
    return std::string(out, 32);
}

std::string EmuBase64Lines(const std::string& strData)
{
    static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string plain;
    for (size_t i = 0; i < strData.size(); i += 3) {
        uint32_t n = static_cast<uint8_t>(strData[i]) << 16;
        size_t nLeft = strData.size() - i;
        if (nLeft > 1)
            n |= static_cast<uint8_t>(strData[i + 1]) << 8;
        if (nLeft > 2)
            n |= static_cast<uint8_t>(strData[i + 2]);
        plain += kAlphabet[(n >> 18) & 63];
        plain += kAlphabet[(n >> 12) & 63];
        plain += nLeft > 1 ? kAlphabet[(n >> 6) & 63] : '=';
        plain += nLeft > 2 ? kAlphabet[n & 63] : '=';
    }
    std::string out;
    for (size_t i = 0; i < plain.size(); i += 76)
        out += plain.substr(i, 76) + "\r\n";
    // The last line always ends with CR LF; a text that fills its last line
    // with full groups (input a multiple of 57 bytes) gets one pair more,
    // and so does an empty one.
    if (strData.size() % 57 == 0)
        out += "\r\n";
    return out;
}

// ---------------------------------------------------------------------------
// Device list text

namespace {

// A bad value: the message the parser reports.
typedef std::string EmuBadValue;

long Number(const std::string& k, const std::string& v, long nMin, long nMax)
{
    long n = 0;
    size_t nUsed = 0;
    try {
        n = std::stol(v, &nUsed, 0);
    } catch (...) {
        nUsed = std::string::npos;
    }
    if (nUsed != v.size() || n < nMin || n > nMax)
        throw EmuBadValue("bad value for " + k + ": " + v);
    return n;
}

std::string Quad(const std::string& k, const std::string& v)
{
    if (ParseQuad(v) == 0 && v != "0.0.0.0")
        throw EmuBadValue("bad address for " + k + ": " + v);
    return v;
}

const std::pair<const char*, EmuHostile> kHostileKinds[] = {{"none", EmuHostile::None},
                                                            {"truncated", EmuHostile::Truncated},
                                                            {"empty", EmuHostile::Empty},
                                                            {"badmagic", EmuHostile::BadMagic},
                                                            {"spoofmac", EmuHostile::SpoofMac},
                                                            {"oversized", EmuHostile::Oversized},
                                                            {"flood", EmuHostile::Flood},
                                                            {"strays", EmuHostile::Strays},
                                                            {"randommacs", EmuHostile::RandomMacs},
                                                            {"inventmacs", EmuHostile::InventMacs},
                                                            {"repeat", EmuHostile::Repeat},
                                                            {"impostor", EmuHostile::Impostor},
                                                            {"errorheaders", EmuHostile::ErrorHeaders},
                                                            {"forgedmacs", EmuHostile::ForgedMacs},
                                                            {"changing", EmuHostile::Changing},
                                                            {"claims", EmuHostile::Claims},
                                                            {"othertype", EmuHostile::OtherType},
                                                            {"burst", EmuHostile::Burst},
                                                            {"checkerrors", EmuHostile::CheckErrors},
                                                            {"spraydetail", EmuHostile::SprayDetail}};

// The functions a device knows (below).
struct SFunction;
const SFunction* FunctionOf(uint16_t nCode);

// The keys of a device line: the parser reads them and the usage lists
// them from this one table. pfnSet throws EmuBadValue.
struct EmuKey
{
    const char* szName;
    const char* szValue;  // its value's form in the usage
    const char* szHelp;
    void (*pfnSet)(EmuDevice& d, const std::string& k, const std::string& v);
};

// A key's name and value, as the setters below take them.
typedef const std::string& K;
typedef const std::string& V;
const EmuKey kKeys[] = {
    {"mac", "MAC", "its MAC address (00:26:AB:00:00:01)",
     [](EmuDevice& d, K, V v) {
         if (!EmuParseMac(v, d.mac))
             throw EmuBadValue("bad MAC address: " + v);
     }},
    {"ip", "A.B.C.D", "its address", [](EmuDevice& d, K k, V v) { d.strIP = Quad(k, v); }},
    {"mask", "A.B.C.D", "its network mask", [](EmuDevice& d, K k, V v) { d.strMask = Quad(k, v); }},
    {"gw", "A.B.C.D", "its gateway", [](EmuDevice& d, K k, V v) { d.strGateway = Quad(k, v); }},
    {"dns", "A.B.C.D", "its DNS server", [](EmuDevice& d, K k, V v) { d.strDNS = Quad(k, v); }},
    {"ipmode", "0|1|2", "how it takes its address: 0 static, 1 DHCP, 2 link-local",
     [](EmuDevice& d, K k, V v) { d.nIPMode = static_cast<uint8_t>(Number(k, v, 0, 2)); }},
    {"number", "N", "its device number (0-255)",
     [](EmuDevice& d, K k, V v) { d.nNumber = static_cast<uint8_t>(Number(k, v, 0, 255)); }},
    {"version", "C", "its VLPC version character ('2')",
     [](EmuDevice& d, K, V v) {
         if (v.size() != 1)
             throw EmuBadValue("version is one character");
         d.cVersion = v[0];
     }},
    {"encrypted", "0|1", "enciphers its payloads",
     [](EmuDevice& d, K k, V v) { d.bEncrypted = Number(k, v, 0, 1) != 0; }},
    {"cipher", "N", "password encoding: 0 raw, 1 Base64, 2 MD5, 65535 none",
     [](EmuDevice& d, K k, V v) { d.nCipherType = static_cast<uint16_t>(Number(k, v, 0, 0xFFFF)); }},
    {"kind", "N", "its device kind (1 printer, 2 scanner, ...)",
     [](EmuDevice& d, K k, V v) { d.nKind = static_cast<uint8_t>(Number(k, v, 0, 255)); }},
    {"model", "TEXT", "its model name", [](EmuDevice& d, K, V v) { d.strModel = v; }},
    {"node", "TEXT", "its node name", [](EmuDevice& d, K, V v) { d.strNodeName = v; }},
    {"location", "TEXT", "its location", [](EmuDevice& d, K, V v) { d.strLocation = v; }},
    {"contact", "TEXT", "its contact", [](EmuDevice& d, K, V v) { d.strContact = v; }},
    {"firmware", "TEXT", "its firmware version", [](EmuDevice& d, K, V v) { d.strFirmware = v; }},
    {"serial", "TEXT", "its serial number", [](EmuDevice& d, K, V v) { d.strSerial = v; }},
    {"password", "TEXT", "its password", [](EmuDevice& d, K, V v) { d.strPassword = v; }},
    {"wireless", "0|1", "has a wireless LAN", [](EmuDevice& d, K k, V v) { d.bWireless = Number(k, v, 0, 1) != 0; }},
    {"unicast", "0|1", "answers by unicast",
     [](EmuDevice& d, K k, V v) { d.bAnswersUnicast = Number(k, v, 0, 1) != 0; }},
    {"detailfields", "N", "GetDetail's reply ends after this many settings",
     [](EmuDevice& d, K k, V v) { d.nDetailFields = static_cast<int>(Number(k, v, 0, 9)); }},
    {"quietset", "0|1", "takes SetDetail's values but never answers it",
     [](EmuDevice& d, K k, V v) { d.bAnswersSetDetail = Number(k, v, 0, 1) == 0; }},
    {"refuseset", "0|1", "answers every SetDetail F001, as a value it does not take",
     [](EmuDevice& d, K k, V v) { d.bRefusesSetDetail = Number(k, v, 0, 1) != 0; }},
    {"quietlist", "0|1", "answers its unicast check, then never GetListInfo (a host that stalls)",
     [](EmuDevice& d, K k, V v) { d.bAnswersListInfo = Number(k, v, 0, 1) == 0; }},
    {"moveearly", "0|1|2", "takes a new address before it answers: 1 leaves the old one, 2 keeps it",
     [](EmuDevice& d, K k, V v) { d.nMoveEarly = static_cast<int>(Number(k, v, 0, 2)); }},
    {"dataerror", "0xFN", "answers this function with result and two bytes of data (victim's MAC and a byte)",
     [](EmuDevice& d, K k, V v) {
         d.nDataErrorFunction = static_cast<uint16_t>(Number(k, v, 1, 0xFFFF));
         if (FunctionOf(d.nDataErrorFunction) == nullptr)
             throw EmuBadValue("unknown function for " + k + ": " + v);
     }},
    {"replyfrom", "A.B.C.D", "its replies leave from this address, not its own",
     [](EmuDevice& d, K k, V v) { d.strReplyFrom = Quad(k, v); }},
    {"delay", "MS", "each reply leaves this much later",
     [](EmuDevice& d, K k, V v) { d.nDelayMs = static_cast<int>(Number(k, v, 0, 60000)); }},
    {"limiteddelay", "MS", "a reply to the limited broadcast this much later again",
     [](EmuDevice& d, K k, V v) { d.nLimitedDelayMs = static_cast<int>(Number(k, v, 0, 60000)); }},
    {"directeddelay", "MS", "a reply to its directed broadcast this much later again",
     [](EmuDevice& d, K k, V v) { d.nDirectedDelayMs = static_cast<int>(Number(k, v, 0, 60000)); }},
    {"loss", "PERCENT", "share of requests ignored",
     [](EmuDevice& d, K k, V v) { d.nLossPercent = static_cast<int>(Number(k, v, 0, 100)); }},
    {"restart", "MS", "silent this long after FactReset or an address change",
     [](EmuDevice& d, K k, V v) { d.nRestartMs = static_cast<int>(Number(k, v, 0, 600000)); }},
    {"boot", "MS", "silent this long from the first request it hears (still starting)",
     [](EmuDevice& d, K k, V v) { d.nBootMs = static_cast<int>(Number(k, v, 0, 600000)); }},
    {"hostile", "KIND", nullptr,  // the kinds are listed from their table
     [](EmuDevice& d, K, V v) {
         for (const auto& kind : kHostileKinds) {
             if (v == kind.first) {
                 d.eHostile = kind.second;
                 return;
             }
         }
         throw EmuBadValue("unknown hostile kind: " + v);
     }},
    {"flood", "N", "datagrams of flood, strays, inventmacs, forgedmacs, burst; MACs of claims",
     [](EmuDevice& d, K k, V v) { d.nFloodCount = static_cast<int>(Number(k, v, 0, 100000)); }},
    {"rate", "N", "per second: randommacs, repeat, errorheaders, changing, claims, checkerrors, spraydetail",
     [](EmuDevice& d, K k, V v) { d.nRate = static_cast<int>(Number(k, v, 1, 1000000)); }},
    {"pool", "N", "source addresses of errorheaders, forgedmacs, changing, claims and checkerrors",
     [](EmuDevice& d, K k, V v) { d.nPool = static_cast<int>(Number(k, v, 1, 1 << 20)); }},
    {"passes", "N", "rounds of claims over every address and MAC (2; 0: without end)",
     [](EmuDevice& d, K k, V v) { d.nPasses = static_cast<int>(Number(k, v, 0, 1000000)); }},
    {"spread", "0|1", "claims: each pool address claims its own share of the MACs, not all of them",
     [](EmuDevice& d, K k, V v) { d.bSpread = Number(k, v, 0, 1) != 0; }},
    {"newsources", "0|1", "claims: a pass is pool claims, each from a pool address of its own",
     [](EmuDevice& d, K k, V v) { d.bNewSources = Number(k, v, 0, 1) != 0; }},
    {"result", "N", "the result of errorheaders, checkerrors, sprayfn and dataerror",
     [](EmuDevice& d, K k, V v) { d.nResult = static_cast<uint16_t>(Number(k, v, 0, 0xFFFF)); }},
    {"poolfrom", "A.B.C.D", "the first pool address of checkerrors (default its own)",
     [](EmuDevice& d, K k, V v) {
         in_addr address;
         if (inet_pton(AF_INET, v.c_str(), &address) != 1)
             throw EmuBadValue("bad " + k + ": " + v);
         d.strPoolFrom = v;
     }},
    {"victim", "MAC", "the device spraydetail and dataerror forge replies of",
     [](EmuDevice& d, K, V v) {
         if (!EmuParseMac(v, d.victim))
             throw EmuBadValue("bad MAC address: " + v);
     }},
    {"victimip", "A.B.C.D", "its address, which the forged settings keep",
     [](EmuDevice& d, K k, V v) { d.strVictimIP = Quad(k, v); }},
    {"sprayfn", "0xFN", "spraydetail forges this function alone: a header with result, at result=0 its reply",
     [](EmuDevice& d, K k, V v) {
         d.nSprayFunction = static_cast<uint16_t>(Number(k, v, 1, 0xFFFF));
         if (FunctionOf(d.nSprayFunction) == nullptr)
             throw EmuBadValue("unknown function for " + k + ": " + v);
     }},
    {"straygap", "US", "the gap between strays and between forgedmacs",
     [](EmuDevice& d, K k, V v) { d.nStrayGapUs = static_cast<int>(Number(k, v, 0, 1000000)); }},
    {"services", "ID:PORT,...", "its services (1:80)",
     [](EmuDevice& d, K, V v) {
         d.services.clear();
         std::istringstream items(v);
         std::string item;
         while (std::getline(items, item, ',')) {
             unsigned nId = 0, nPort = 0;
             if (sscanf(item.c_str(), "%u:%u", &nId, &nPort) != 2 || nId > 255 || nPort > 65535)
                 throw EmuBadValue("bad service: " + item);
             d.services.push_back({static_cast<uint8_t>(nId), static_cast<uint16_t>(nPort)});
         }
     }},
};

}  // namespace

std::string EmuDeviceKeysUsage()
{
    const size_t kColumn = 21;  // where the explanations start
    const size_t kWidth = 80;
    std::string strUsage;
    for (const EmuKey& key : kKeys) {
        std::string strLine = std::string("  ") + key.szName + "=" + key.szValue;
        strLine += strLine.size() + 1 < kColumn ? std::string(kColumn - strLine.size(), ' ') : std::string(" ");
        if (key.szHelp != nullptr) {
            strUsage += strLine + key.szHelp + "\n";
            continue;
        }
        // The hostile kinds, wrapped below the explanation's column.
        const size_t nKinds = sizeof(kHostileKinds) / sizeof(kHostileKinds[0]);
        for (size_t i = 0; i < nKinds; i++) {
            std::string strKind = std::string(kHostileKinds[i].first) + (i + 1 < nKinds ? "," : "");
            if (strLine.size() + strKind.size() + 1 > kWidth) {
                strUsage += strLine + "\n";
                strLine = std::string(kColumn, ' ');
            } else if (strLine.size() > kColumn) {
                strLine += " ";
            }
            strLine += strKind;
        }
        strUsage += strLine + "\n";
    }
    return strUsage;
}

bool EmuParseDevices(const std::string& strText, std::vector<EmuDevice>& devices, std::string* pError)
{
    std::istringstream lines(strText);
    std::string line;
    int nLine = 0;
    auto fail = [&](const std::string& why) {
        if (pError)
            *pError = "line " + std::to_string(nLine) + ": " + why;
        return false;
    };
    while (std::getline(lines, line)) {
        ++nLine;
        size_t nHash = line.find('#');
        if (nHash != std::string::npos)
            line.erase(nHash);
        std::vector<std::pair<std::string, std::string>> pairs;
        size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && isspace(static_cast<unsigned char>(line[i])))
                ++i;
            if (i >= line.size())
                break;
            size_t nEq = line.find('=', i);
            if (nEq == std::string::npos)
                return fail("expected key=value");
            std::string key = line.substr(i, nEq - i);
            i = nEq + 1;
            std::string value;
            if (i < line.size() && line[i] == '"') {
                size_t nEnd = line.find('"', i + 1);
                if (nEnd == std::string::npos)
                    return fail("unterminated quote");
                value = line.substr(i + 1, nEnd - i - 1);
                i = nEnd + 1;
            } else {
                size_t nEnd = i;
                while (nEnd < line.size() && !isspace(static_cast<unsigned char>(line[nEnd])))
                    ++nEnd;
                value = line.substr(i, nEnd - i);
                i = nEnd;
            }
            pairs.emplace_back(key, value);
        }
        if (pairs.empty())
            continue;
        EmuDevice d;
        for (const auto& kv : pairs) {
            const EmuKey* pKey = nullptr;
            for (const EmuKey& key : kKeys) {
                if (kv.first == key.szName)
                    pKey = &key;
            }
            if (pKey == nullptr)
                return fail("unknown key: " + kv.first);
            try {
                pKey->pfnSet(d, kv.first, kv.second);
            } catch (const EmuBadValue& why) {
                return fail(why);
            }
        }
        devices.push_back(d);
    }
    return true;
}

namespace {
// The probe reply's payload after the MAC address.
void PutProbePayload(std::vector<uint8_t>& v, const EmuDevice& d)
{
    Put8(v, static_cast<uint8_t>(d.cVersion));
    Put8(v, d.bEncrypted ? 1 : 0);
    Put8(v, d.bEncrypted ? 1 : 0);
    Put16(v, d.nCipherType);
    Put8(v, d.nKind);
    Put8(v, d.nIPMode);
    PutQuad(v, d.strIP);
    PutQuad(v, d.strMask);
    PutQuad(v, d.strGateway);
    PutVar8(v, d.strModel, 64);
    PutList(v, d.services, 16, [](std::vector<uint8_t>& e, const EmuService& s) {
        Put8(e, s.nServiceId);
        Put16(e, s.nPort);
    });
}

// A whole probe reply of the device with that MAC, answering the request
// whose header is given.
std::vector<uint8_t> ProbeReply(const EmuDevice& d, const uint8_t mac[6], const uint8_t* pRequest)
{
    std::vector<uint8_t> payload(mac, mac + 6);
    PutProbePayload(payload, d);
    std::vector<uint8_t> reply = {'O', 'R', 'V', 'E', 'K', 'p', kDeviceType, d.nNumber, pRequest[8], pRequest[9]};
    Put16(reply, RES_OK);
    Put16(reply, static_cast<unsigned>(payload.size()));
    reply.insert(reply.end(), payload.begin(), payload.end());
    return reply;
}

bool IsAttack(EmuHostile e)
{
    return e == EmuHostile::RandomMacs || e == EmuHostile::InventMacs || e == EmuHostile::Repeat ||
           e == EmuHostile::ErrorHeaders || e == EmuHostile::ForgedMacs || e == EmuHostile::Changing ||
           e == EmuHostile::Claims || e == EmuHostile::SprayDetail;
}

// The nth address of a device's pool (network order).
uint32_t PoolAddress(uint32_t nIP, int n)
{
    return htonl(ntohl(nIP) + static_cast<uint32_t>(n));
}
}  // namespace

EmuDevice EmuImpostorOf(const EmuDevice& real, const std::string& strIP, int nDelayMs)
{
    EmuDevice d = real;
    d.strIP = strIP;
    d.nDelayMs = nDelayMs;
    d.eHostile = EmuHostile::Impostor;
    return d;
}

// ---------------------------------------------------------------------------
// The emulator

struct CDeviceEmulator::State
{
    EmuDevice config;   // as configured: what a factory reset returns to
    EmuDevice now;      // as it is
    uint32_t nIP = 0, nMask = 0;
    // The address a move kept (moveearly=2), heard as its own; 0 none.
    uint32_t nKeptIP = 0;
    Clock::time_point started;
    Clock::time_point silentUntil;
    bool bBootStarted = false;
    int nRequests = 0;
    std::map<uint16_t, int> functionRequests;
    // A rate attack: where it sends (the probe sockets heard, at most 8),
    // its genuine reply (Repeat), and the datagrams owed.
    std::vector<sockaddr_in> attackTo;
    std::vector<uint8_t> repeatReply;
    // CheckErrors: the reply header it sends.
    std::vector<uint8_t> errorHeader;
    Clock::time_point lastAttack;
    double fAttackCredit = 0;
    // The pool address the next datagram of a pool attack comes from, and
    // the replies a Changing or Claims attack has sent.
    int nPoolNext = 0;
    unsigned long nChanges = 0;
    // When a Claims attack begins.
    Clock::time_point claimsFrom;
    // SprayDetail: its datagrams, the prober's ephemeral ports, and the
    // datagrams sent.
    std::vector<std::vector<uint8_t>> sprayReplies;
    unsigned nSprayFirst = kEphemeralFirst, nSprayPorts = 1;
    unsigned long nSprayed = 0;
};

struct CDeviceEmulator::Pending
{
    Clock::time_point due;
    uint32_t nFrom;
    std::vector<uint8_t> datagram;
    sockaddr_in to;
};

CDeviceEmulator::CDeviceEmulator(uint16_t nPort, const std::string& strBind) : m_nPort(nPort), m_strBind(strBind)
{
}

CDeviceEmulator::~CDeviceEmulator()
{
    Stop();
    for (State* p : m_Devices)
        delete p;
    for (Pending* p : m_Pending)
        delete p;
}

void CDeviceEmulator::AddDevice(const EmuDevice& device)
{
    State* p = new State;
    p->config = device;
    p->now = device;
    p->nIP = ParseQuad(device.strIP);
    p->nMask = ParseQuad(device.strMask);
    p->started = Clock::now();
    p->silentUntil = p->started;
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Devices.push_back(p);
}

bool CDeviceEmulator::Start(std::string* pError)
{
    auto fail = [&](const char* what) {
        if (pError)
            *pError = std::string(what) + ": " + strerror(errno);
        if (m_nSocket >= 0)
            close(m_nSocket);
        m_nSocket = -1;
        return false;
    };
    if (m_bRunning)
        return true;
    m_nSocket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_nSocket < 0)
        return fail("socket");
    int nOn = 1;
    setsockopt(m_nSocket, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof(nOn));
    setsockopt(m_nSocket, SOL_SOCKET, SO_BROADCAST, &nOn, sizeof(nOn));
    if (setsockopt(m_nSocket, IPPROTO_IP, IP_PKTINFO, &nOn, sizeof(nOn)) < 0)
        return fail("IP_PKTINFO");
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(m_nPort);
    addr.sin_addr.s_addr = ParseQuad(m_strBind);
    if (bind(m_nSocket, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) < 0)
        return fail("bind");
    socklen_t nLen = sizeof(addr);
    getsockname(m_nSocket, reinterpret_cast<sockaddr*>(&addr), &nLen);
    m_nPort = ntohs(addr.sin_port);
    if (pipe2(m_nWake, O_CLOEXEC | O_NONBLOCK) < 0)
        return fail("pipe");
    m_bRunning = true;
    m_Thread = std::thread(&CDeviceEmulator::Run, this);
    return true;
}

void CDeviceEmulator::Stop()
{
    if (!m_bRunning.exchange(false))
        return;
    char c = 0;
    if (write(m_nWake[1], &c, 1) < 0) {
        // the thread also polls m_bRunning at least every 50 ms
    }
    m_Thread.join();
    close(m_nSocket);
    close(m_nWake[0]);
    close(m_nWake[1]);
    m_nSocket = -1;
    m_nWake[0] = m_nWake[1] = -1;
}

bool CDeviceEmulator::GetDevice(const uint8_t mac[6], EmuDevice& device) const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    for (const State* p : m_Devices)
        if (memcmp(p->config.mac, mac, 6) == 0) {
            device = p->now;
            return true;
        }
    return false;
}

int CDeviceEmulator::RequestCount(const std::string& strMac) const
{
    uint8_t mac[6];
    if (!EmuParseMac(strMac, mac))
        return 0;
    std::lock_guard<std::mutex> lock(m_Mutex);
    for (const State* p : m_Devices)
        if (memcmp(p->config.mac, mac, 6) == 0)
            return p->nRequests;
    return 0;
}

int CDeviceEmulator::RequestCount(const std::string& strMac, uint16_t nFunction) const
{
    uint8_t mac[6];
    if (!EmuParseMac(strMac, mac))
        return 0;
    std::lock_guard<std::mutex> lock(m_Mutex);
    for (const State* p : m_Devices) {
        if (memcmp(p->config.mac, mac, 6) != 0)
            continue;
        auto it = p->functionRequests.find(nFunction);
        return it != p->functionRequests.end() ? it->second : 0;
    }
    return 0;
}

void CDeviceEmulator::Run()
{
    std::vector<uint8_t> buffer(65536);
    while (m_bRunning) {
        int nTimeout = 50;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            for (const Pending* p : m_Pending) {
                auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(p->due - Clock::now()).count();
                nTimeout = static_cast<int>(std::max<long long>(0, std::min<long long>(nTimeout, ms)));
            }
        }
        if (RunRateAttacks())
            nTimeout = std::min(nTimeout, 1);
        pollfd fds[2] = {{m_nSocket, POLLIN, 0}, {m_nWake[0], POLLIN, 0}};
        int n = poll(fds, 2, nTimeout);
        FlushDue();
        if (n <= 0 || !(fds[0].revents & POLLIN))
            continue;
        sockaddr_in from = {};
        char control[256];
        iovec iov = {buffer.data(), buffer.size()};
        msghdr msg = {};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof(from);
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof(control);
        ssize_t nLen = recvmsg(m_nSocket, &msg, MSG_DONTWAIT);
        if (nLen < 0)
            continue;
        uint32_t nDst = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                memcpy(&info, CMSG_DATA(c), sizeof(info));
                nDst = info.ipi_addr.s_addr;
            }
        ++m_nDatagrams;
        Handle(buffer.data(), static_cast<size_t>(nLen), nDst, from);
    }
}

void CDeviceEmulator::Handle(const uint8_t* pData, size_t nLen, uint32_t nDst, const sockaddr_in& from)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    for (State* p : m_Devices) {
        bool bUnicast = nDst == p->nIP || (p->nKeptIP != 0 && nDst == p->nKeptIP);
        bool bBroadcast = nDst == 0xFFFFFFFFu || (p->nMask != 0xFFFFFFFFu && nDst == (p->nIP | ~p->nMask));
        if (!bUnicast && !bBroadcast)
            continue;
        ++p->nRequests;
        if (nLen >= kHeaderSize)
            ++p->functionRequests[static_cast<uint16_t>(pData[8] << 8 | pData[9])];
        if (IsAttack(p->now.eHostile))
            Attack(*p, pData, nLen, bUnicast, from);
        else if (p->now.eHostile == EmuHostile::CheckErrors && bUnicast && nLen >= kHeaderSize)
            LearnCheck(*p, pData, from);
        if (!IsAttack(p->now.eHostile))
            HandleDevice(*p, pData, nLen, bUnicast, from,
                         bUnicast              ? 0
                         : nDst == 0xFFFFFFFFu ? p->now.nLimitedDelayMs
                                               : p->now.nDirectedDelayMs);
    }
}

namespace {
// A request a device has admitted: its header fields and, once read, its data.
struct SRequest
{
    char cType;
    uint8_t nNumber;
    uint16_t nFunction;
    size_t nDataSize;
    bool bUnicastOnly;  // every function but the probe and the reboot polling
};

// One exchange: what a reply function reads and decides. The payload starts
// with the device's MAC address; an error drops it.
struct SExchange
{
    EmuDevice& d;
    Reader& in;        // the request's data after the target and the password
    bool bUnicast;
    bool bPasswordOk;  // true when the function carries no password
    EmuDevice next;    // a SetDetail request's values
    long nUptime;      // seconds since the device (re)started
    uint16_t nResult = RES_OK;
    std::vector<uint8_t> payload;
    bool bAnswer = true;
    bool bRestart = false;

    SExchange(EmuDevice& device, Reader& reader, bool bToUnicast, long nSeconds)
        : d(device), in(reader), bUnicast(bToUnicast), bPasswordOk(true), next(device), nUptime(nSeconds)
    {
    }
    void Error(uint16_t nCode)
    {
        nResult = nCode;
        payload.clear();
        bAnswer = bUnicast;  // never an error to a broadcast
    }
};

uint64_t NextRandom(uint64_t& n)
{
    n ^= n << 13;
    n ^= n >> 7;
    n ^= n << 17;
    return n;
}

// Who may speak to a device at all: the header of a request it takes.
bool Admit(const uint8_t* pData, size_t nLen, SRequest& req)
{
    if (nLen < kHeaderSize || nLen > kMaxDatagram || memcmp(pData, "ORVEK", 5) != 0)
        return false;
    req.cType = static_cast<char>(pData[5]);
    if (req.cType < 'A' || req.cType > 'Z' || pData[6] != kDeviceType || pData[10] != 0 || pData[11] != 0)
        return false;
    req.nFunction = static_cast<uint16_t>((pData[8] << 8) | pData[9]);
    req.nNumber = pData[7];
    req.nDataSize = static_cast<size_t>((pData[12] << 8) | pData[13]);
    req.bUnicastOnly = req.nFunction != FN_PROBE && req.nFunction != FN_REBOOT_POLLING;
    return true;
}

bool HasPassword(uint16_t nFunction)
{
    return nFunction == FN_CHECK_PASSWORD || nFunction == FN_SET_DETAIL || nFunction == FN_FACT_RESET;
}

// The values of a SetDetail request.
EmuDevice ReadSetDetail(Reader& in, const EmuDevice& d)
{
    EmuDevice next = d;
    next.nIPMode = static_cast<uint8_t>(in.Get8());
    next.strIP = in.GetQuad();
    next.strMask = in.GetQuad();
    next.strGateway = in.GetQuad();
    next.nWebPort = static_cast<uint16_t>(in.Get16());
    next.strNodeName = in.GetBytes(in.Get16());
    next.strLocation = in.GetBytes(in.Get16());
    unsigned nContact = in.Get16();
    next.strContact = in.GetBytes(nContact >= 2 ? nContact - 2 : 0);
    if (EmuVersionNumber(d.cVersion) >= 2)
        next.strDNS = in.GetQuad();
    return next;
}

bool PasswordMatches(const EmuDevice& d, const std::string& strPassword)
{
    if (d.nCipherType == kNoPassword)
        return true;
    std::string expected = d.nCipherType == 2   ? EmuMD5Hex(d.strPassword)
                           : d.nCipherType == 1 ? EmuBase64Lines(d.strPassword)
                                                : d.strPassword;
    return strPassword == expected;
}

// ---------------------------------------------------------------------------
// One reply per function code

void ReplyProbe(SExchange& x)
{
    PutProbePayload(x.payload, x.d);
}

void ReplyCheckUnicast(SExchange& x)
{
    Put8(x.payload, 1);
}

void ReplySupportInfo(SExchange& x)
{
    Put32(x.payload, x.d.nCapabilities);
    PutList(x.payload, x.d.functions, 0xFFFF, [](std::vector<uint8_t>& e, uint16_t f) { Put16(e, f); });
}

void ReplyListInfo(SExchange& x)
{
    std::vector<uint8_t>& v = x.payload;
    const EmuDevice& d = x.d;
    Put16(v, d.nWebPort);
    Put8(v, d.nStatus);
    PutVar16(v, d.strNodeName, 64);
    PutVar16(v, d.strLocation, 64);
    std::string fw = Bounded(d.strFirmware, 32);
    v.insert(v.end(), fw.begin(), fw.end());
    Put8(v, 0);
    PutFixed(v, d.strSerial, 16);
    PutList(v, d.protocols, 16, [](std::vector<uint8_t>& e, const EmuProtocol& p) {
        Put8(e, p.nProtocolId);
        Put8(e, p.nEnabled);
        Put16(e, p.nPort);
    });
}

void ReplyDetail(SExchange& x)
{
    std::vector<uint8_t>& v = x.payload;
    const EmuDevice& d = x.d;
    // Where each setting ends, for a reply cut short after one of them.
    std::vector<size_t> ends = {v.size()};
    Put8(v, d.nIPMode);
    ends.push_back(v.size());
    PutQuad(v, d.strIP);
    ends.push_back(v.size());
    PutQuad(v, d.strMask);
    ends.push_back(v.size());
    PutQuad(v, d.strGateway);
    ends.push_back(v.size());
    Put16(v, d.nWebPort);
    ends.push_back(v.size());
    PutVar16(v, d.strNodeName, 64);
    ends.push_back(v.size());
    PutVar16(v, d.strLocation, 64);
    ends.push_back(v.size());
    PutLength16(v, d.strContact, 64);
    ends.push_back(v.size());
    if (EmuVersionNumber(d.cVersion) >= 2)
        PutQuad(v, d.strDNS);
    if (d.nDetailFields >= 0 && static_cast<size_t>(d.nDetailFields) < ends.size())
        v.resize(ends[static_cast<size_t>(d.nDetailFields)]);
}

void ReplyWlanInfo(SExchange& x)
{
    std::vector<uint8_t>& v = x.payload;
    const EmuDevice& d = x.d;
    if (!d.bWireless) {
        x.Error(RES_UNSUPPORTED);
        return;
    }
    Put8(v, d.nWLANMode);
    Put8(v, d.nChannel);
    Put8(v, d.nSecurity);
    Put8(v, d.nSignalLevel);
    PutVar8(v, d.strSSID, 32);
    PutList(v, d.scanList, 0xFFFF, [](std::vector<uint8_t>& e, const EmuNetwork& n) {
        PutVar8(e, n.strSSID, 32);
        Put8(e, n.nChannel);
        Put8(e, n.nSecurity);
        Put8(e, n.nSignalLevel);
    });
}

void ReplyCheckPassword(SExchange& x)
{
    if (x.bPasswordOk) {
        x.d.nRetryLeft = 5;
        Put8(x.payload, 1);
        return;
    }
    if (x.d.nRetryLeft > 0)
        --x.d.nRetryLeft;
    x.nResult = RES_WRONG_PASSWORD_DATA;
    Put8(x.payload, static_cast<uint8_t>(x.d.nRetryLeft));
}

void ReplySetDetail(SExchange& x)
{
    EmuDevice& d = x.d;
    EmuDevice& next = x.next;
    if (!x.bPasswordOk) {
        x.Error(RES_WRONG_PASSWORD);
        return;
    }
    if (next.nIPMode > 2 || next.nWebPort == 0 || d.bRefusesSetDetail) {
        x.Error(RES_MALFORMED);
        return;
    }
    bool bAddress = next.nIPMode != d.nIPMode || next.strIP != d.strIP || next.strMask != d.strMask ||
                    next.strGateway != d.strGateway;
    next.nRetryLeft = d.nRetryLeft;
    d = next;
    if (bAddress) {
        x.nResult = RES_REBOOT;
        x.bRestart = true;
    }
    Put8(x.payload, bAddress ? 1 : 0);
}

void ReplyFactReset(SExchange& x)
{
    if (!x.bPasswordOk) {
        x.Error(RES_WRONG_PASSWORD);
        return;
    }
    Put8(x.payload, 1);
    x.bRestart = true;
}

void ReplyRebootPolling(SExchange& x)
{
    std::vector<uint8_t>& v = x.payload;
    Put8(v, 0);
    Put32(v, static_cast<uint32_t>(x.nUptime));
    Put8(v, x.d.nIPMode);
    PutQuad(v, x.d.strIP);
    PutQuad(v, x.d.strMask);
}

// The functions a device knows: the request type letter each comes with
// (probe and reboot polling 'P', queries 'Q', SetDetail 'S', reset 'I'), and
// its reply.
struct SFunction
{
    uint16_t nCode;
    char cLetter;
    void (*Reply)(SExchange&);
};

const SFunction* FunctionOf(uint16_t nCode)
{
    static const SFunction kFunctions[] = {
        {FN_PROBE, 'P', ReplyProbe},
        {FN_REBOOT_POLLING, 'P', ReplyRebootPolling},
        {FN_CHECK_UNICAST, 'Q', ReplyCheckUnicast},
        {FN_SUPPORT_INFO, 'Q', ReplySupportInfo},
        {FN_LIST_INFO, 'Q', ReplyListInfo},
        {FN_DETAIL, 'Q', ReplyDetail},
        {FN_WLAN_INFO, 'Q', ReplyWlanInfo},
        {FN_CHECK_PASSWORD, 'Q', ReplyCheckPassword},
        {FN_SET_DETAIL, 'S', ReplySetDetail},
        {FN_FACT_RESET, 'I', ReplyFactReset},
    };
    for (const SFunction& f : kFunctions) {
        if (f.nCode == nCode)
            return &f;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// The hostile modes: what a device makes of its well-formed reply.

typedef std::vector<std::vector<uint8_t>> Datagrams;

Datagrams SendAsIs(std::vector<uint8_t>& reply, const EmuDevice&, uint64_t&)
{
    return {reply};
}

Datagrams SendTruncated(std::vector<uint8_t>& reply, const EmuDevice&, uint64_t&)
{
    reply.resize(10);
    return {reply};
}

Datagrams SendEmpty(std::vector<uint8_t>&, const EmuDevice&, uint64_t&)
{
    return Datagrams(1);
}

Datagrams SendBadMagic(std::vector<uint8_t>& reply, const EmuDevice&, uint64_t&)
{
    reply[0] = 'X';
    return {reply};
}

Datagrams SendOtherType(std::vector<uint8_t>& reply, const EmuDevice&, uint64_t&)
{
    reply[6] ^= 0xFF;
    return {reply};
}

Datagrams SendOversized(std::vector<uint8_t>& reply, const EmuDevice&, uint64_t&)
{
    reply.resize(2000, 0xEE);
    return {reply};
}

// Well-formed replies to another function: nothing the request waits for.
Datagrams SendStrays(std::vector<uint8_t>& reply, const EmuDevice& d, uint64_t&)
{
    reply[9] ^= 0xFF;
    return Datagrams(static_cast<size_t>(d.nFloodCount), reply);
}

Datagrams SendFlood(std::vector<uint8_t>& reply, const EmuDevice& d, uint64_t& nRandom)
{
    Datagrams out;
    for (int i = 0; i < d.nFloodCount; ++i) {
        NextRandom(nRandom);
        std::vector<uint8_t> junk;
        if (i % 3 == 0) {
            junk.resize(nRandom % 600);
            for (size_t j = 0; j < junk.size(); ++j)
                junk[j] = static_cast<uint8_t>(nRandom >> (j % 56));
        } else if (i % 3 == 1) {
            junk.assign(reply.begin(), reply.begin() + static_cast<long>(nRandom % reply.size()));
        } else {
            junk = reply;
        }
        out.push_back(junk);
    }
    return out;
}

Datagrams SendBurst(std::vector<uint8_t>& reply, const EmuDevice& d, uint64_t&)
{
    return Datagrams(static_cast<size_t>(d.nFloodCount), reply);
}

// A reply header: the request's type letter in lower case.
std::vector<uint8_t> ReplyHeader(const EmuDevice& d, uint16_t nFunction, uint16_t nResult, size_t nDataSize)
{
    std::vector<uint8_t> reply = {'O',
                                  'R',
                                  'V',
                                  'E',
                                  'K',
                                  static_cast<uint8_t>(FunctionOf(nFunction)->cLetter + 0x20),
                                  kDeviceType,
                                  d.nNumber,
                                  static_cast<uint8_t>(nFunction >> 8),
                                  static_cast<uint8_t>(nFunction & 0xFF)};
    Put16(reply, nResult);
    Put16(reply, static_cast<unsigned>(nDataSize));
    return reply;
}

// SprayDetail's datagrams, plain: a GetDetail success reply of the victim
// whose gateway and DNS server are this host, and a SetDetail error reply
// without data; or, given a function, its one reply with the result given:
// a bare header, or with result 0 the reply the victim's builder makes.
Datagrams ForgedReplies(const EmuDevice& d)
{
    EmuDevice forged = d;
    memcpy(forged.mac, d.victim, sizeof(forged.mac));
    if (!d.strVictimIP.empty())
        forged.strIP = d.strVictimIP;
    forged.strGateway = forged.strDNS = d.strIP;
    forged.strNodeName = "forged";
    std::vector<uint8_t> none;
    Reader in{none, 0, false};
    SExchange x(forged, in, true, 0);
    x.payload.assign(forged.mac, forged.mac + 6);
    if (d.nSprayFunction != 0 && d.nResult != RES_OK)
        return {ReplyHeader(d, d.nSprayFunction, d.nResult, 0)};
    if (d.nSprayFunction != 0) {
        FunctionOf(d.nSprayFunction)->Reply(x);
        std::vector<uint8_t> reply = ReplyHeader(d, d.nSprayFunction, x.nResult, x.payload.size());
        reply.insert(reply.end(), x.payload.begin(), x.payload.end());
        return {reply};
    }
    ReplyDetail(x);
    std::vector<uint8_t> detail = ReplyHeader(d, FN_DETAIL, RES_OK, x.payload.size());
    detail.insert(detail.end(), x.payload.begin(), x.payload.end());
    return {detail, ReplyHeader(d, FN_SET_DETAIL, RES_OTHER_DEVICE, 0)};
}

// The ports this namespace gives out to unbound sockets: first and count.
void EphemeralPorts(unsigned& nFirst, unsigned& nCount)
{
    unsigned nLow = kEphemeralFirst, nHigh = kEphemeralLast;
    std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
    if (!(range >> nLow >> nHigh) || nLow > nHigh || nHigh > 65535)
        nLow = kEphemeralFirst, nHigh = kEphemeralLast;
    nFirst = nLow;
    nCount = nHigh - nLow + 1;
}

typedef Datagrams (*SendFunc)(std::vector<uint8_t>& reply, const EmuDevice& d, uint64_t& nRandom);

SendFunc SendOf(EmuHostile eHostile)
{
    switch (eHostile) {
    case EmuHostile::Truncated:
        return SendTruncated;
    case EmuHostile::Empty:
        return SendEmpty;
    case EmuHostile::BadMagic:
        return SendBadMagic;
    case EmuHostile::OtherType:
        return SendOtherType;
    case EmuHostile::Oversized:
        return SendOversized;
    case EmuHostile::Strays:
        return SendStrays;
    case EmuHostile::Flood:
        return SendFlood;
    case EmuHostile::Burst:
        return SendBurst;
    default:
        return SendAsIs;  // the modes that play with the request or the addresses
    }
}
}  // namespace

void CDeviceEmulator::HandleDevice(State& dev, const uint8_t* pData, size_t nLen, bool bUnicast,
                                   const sockaddr_in& from, int nExtraDelayMs)
{
    EmuDevice& d = dev.now;
    Clock::time_point now = Clock::now();
    if (d.nBootMs > 0 && !dev.bBootStarted) {
        dev.bBootStarted = true;
        dev.silentUntil = now + std::chrono::milliseconds(d.nBootMs);
    }
    if (now < dev.silentUntil)
        return;
    if (bUnicast && !d.bAnswersUnicast)
        return;
    if (d.nLossPercent > 0 && static_cast<int>(NextRandom(m_nRandom) % 100) < d.nLossPercent)
        return;
    SRequest req;
    if (!Admit(pData, nLen, req))
        return;
    const SFunction* pFunction = FunctionOf(req.nFunction);
    // Mode 1 (word cipher) for payloads of unicast functions to an encrypting
    // device; device numbers 0x80..0xFE keep their bytes (mode 2).
    bool bCipher = req.bUnicastOnly && d.bEncrypted && !(d.nNumber >= 0x80 && d.nNumber <= 0xFE);

    std::vector<uint8_t> request(pData + kHeaderSize, pData + nLen);
    Reader in{request, 0, false};
    long nUptime = static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(now - dev.started).count());
    SExchange x(d, in, bUnicast, nUptime);
    if (pFunction == nullptr) {
        x.Error(RES_UNSUPPORTED);
    } else if (req.bUnicastOnly && !bUnicast) {
        return;
    } else if (req.cType != pFunction->cLetter) {
        x.Error(RES_MALFORMED);
    } else if (req.bUnicastOnly && req.nNumber != 0 && req.nNumber != d.nNumber) {
        x.Error(RES_MALFORMED);
    } else if (req.nDataSize > nLen - kHeaderSize) {
        x.Error(RES_MALFORMED);
    } else {
        if (bCipher && !request.empty()) {
            if (request.size() % 2)
                request.pop_back();
            EmuWordCipher(request, d.mac, false);
        }
        request.resize(std::min(request.size(), req.nDataSize));
        bool bMacOk = true;
        if (req.bUnicastOnly) {
            std::string target = in.GetBytes(12);
            if (target != std::string(12, '\0')) {
                uint8_t mac[6];
                bMacOk = EmuParseMac(target, mac) && memcmp(mac, d.mac, 6) == 0;
            }
            if (HasPassword(req.nFunction)) {
                unsigned nPassword = in.Get16();
                x.bPasswordOk = PasswordMatches(d, in.GetBytes(nPassword));
            }
        }
        if (req.nFunction == FN_SET_DETAIL)
            x.next = ReadSetDetail(in, d);
        if (in.bShort) {
            x.Error(RES_MALFORMED);
        } else if (req.nFunction == d.nDataErrorFunction) {
            // Whatever the request names: two bytes of reason, which do not
            // name the device, or the victim's MAC address and a byte.
            x.nResult = d.nResult;
            x.payload = {0x00, 0x02};
            static const uint8_t kNone[6] = {};
            if (memcmp(d.victim, kNone, sizeof(kNone)) != 0) {
                x.payload.assign(d.victim, d.victim + 6);
                x.payload.push_back(0x01);
            }
        } else if (!bMacOk) {
            x.Error(RES_OTHER_DEVICE);
        } else {
            x.payload.insert(x.payload.end(), d.mac, d.mac + 6);
            if (d.eHostile == EmuHostile::SpoofMac && bUnicast)
                x.payload[5] ^= 0xFF;
            pFunction->Reply(x);
            if ((req.nFunction == FN_SET_DETAIL && !d.bAnswersSetDetail) ||
                (req.nFunction == FN_LIST_INFO && !d.bAnswersListInfo))
                x.bAnswer = false;
        }
    }
    if (!x.bAnswer)
        return;

    // The reply: header, then the payload, enciphered when it has data.
    std::vector<uint8_t> reply = {'O', 'R', 'V', 'E', 'K', static_cast<uint8_t>(req.cType + 0x20), kDeviceType,
                                  d.nNumber, pData[8], pData[9]};
    Put16(reply, x.nResult);
    Put16(reply, static_cast<unsigned>(x.payload.size()));
    if (bCipher && !x.payload.empty())
        EmuWordCipher(x.payload, d.mac, true);
    reply.insert(reply.end(), x.payload.begin(), x.payload.end());

    // Address changes and resets take effect after the reply has gone.
    uint32_t nFrom = d.strReplyFrom.empty() ? dev.nIP : ParseQuad(d.strReplyFrom);
    if (x.bRestart) {
        if (req.nFunction == FN_FACT_RESET)
            d = dev.config;
        uint32_t nOld = dev.nIP;
        dev.nIP = ParseQuad(d.strIP);
        if (d.nMoveEarly != 0 && dev.nIP != nOld) {
            nFrom = dev.nIP;
            dev.nKeptIP = d.nMoveEarly == 2 ? nOld : 0;
        }
        dev.nMask = ParseQuad(d.strMask);
        dev.started = now;
        dev.silentUntil = now + std::chrono::milliseconds(d.nRestartMs);
    }

    Datagrams out = SendOf(d.eHostile)(reply, d, m_nRandom);
    auto due = now + std::chrono::milliseconds(d.nDelayMs + nExtraDelayMs);
    for (auto& datagram : out) {
        Pending* p = new Pending{due, nFrom, std::move(datagram), from};
        if (d.eHostile == EmuHostile::Strays)
            due += std::chrono::microseconds(d.nStrayGapUs);
        m_Pending.push_back(p);
    }
}

void CDeviceEmulator::FlushDue()
{
    std::vector<Pending*> due;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        Clock::time_point now = Clock::now();
        auto it = std::stable_partition(m_Pending.begin(), m_Pending.end(),
                                        [&](const Pending* p) { return p->due > now; });
        due.assign(it, m_Pending.end());
        m_Pending.erase(it, m_Pending.end());
    }
    for (Pending* p : due) {
        SendFrom(p->nFrom, p->to, p->datagram);
        delete p;
    }
}

void CDeviceEmulator::SendFrom(uint32_t nFrom, const sockaddr_in& to, const std::vector<uint8_t>& datagram)
{
    // Sent from the device's own address, to where the request came from.
    sockaddr_in dest = to;
    iovec iov = {const_cast<uint8_t*>(datagram.data()), datagram.size()};
    char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr msg = {};
    msg.msg_name = &dest;
    msg.msg_namelen = sizeof(dest);
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof(control);
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info = {};
    info.ipi_spec_dst.s_addr = nFrom;
    memcpy(CMSG_DATA(c), &info, sizeof(info));
    sendmsg(m_nSocket, &msg, MSG_NOSIGNAL);
}

void CDeviceEmulator::RandomMac(uint8_t mac[6])
{
    m_nRandom ^= m_nRandom << 13;
    m_nRandom ^= m_nRandom >> 7;
    m_nRandom ^= m_nRandom << 17;
    mac[0] = 0x02;  // locally administered, never a real device's
    for (int i = 1; i < 6; ++i)
        mac[i] = static_cast<uint8_t>(m_nRandom >> (8 * i));
}

void CDeviceEmulator::Attack(State& dev, const uint8_t* pData, size_t nLen, bool bUnicast, const sockaddr_in& from)
{
    // Only probe requests start an attack; unicast requests go unanswered.
    if (bUnicast || nLen < kHeaderSize || memcmp(pData, "ORVEK", 5) != 0 || ((pData[8] << 8) | pData[9]) != FN_PROBE)
        return;
    const EmuDevice& d = dev.now;
    if (d.eHostile == EmuHostile::SprayDetail) {
        // The first prober alone: any of its ports may wait for a reply.
        if (!dev.attackTo.empty())
            return;
        dev.sprayReplies = ForgedReplies(d);
        EphemeralPorts(dev.nSprayFirst, dev.nSprayPorts);
        dev.lastAttack = Clock::now();
        dev.fAttackCredit = 0;
        dev.attackTo.push_back(from);
        return;
    }
    if (d.eHostile == EmuHostile::InventMacs || d.eHostile == EmuHostile::ForgedMacs) {
        auto due = Clock::now() + std::chrono::milliseconds(d.nDelayMs);
        int nPool = d.eHostile == EmuHostile::ForgedMacs ? d.nPool : 1;
        for (int nAddress = 0; nAddress < nPool; ++nAddress) {
            for (int i = 0; i < d.nFloodCount; ++i) {
                uint8_t mac[6];
                RandomMac(mac);
                m_Pending.push_back(new Pending{due, PoolAddress(dev.nIP, nAddress), ProbeReply(d, mac, pData), from});
                due += std::chrono::microseconds(d.nStrayGapUs);
            }
        }
        return;
    }
    if (d.eHostile == EmuHostile::Repeat && dev.repeatReply.empty())
        dev.repeatReply = ProbeReply(d, d.mac, pData);
    for (const sockaddr_in& to : dev.attackTo)
        if (to.sin_addr.s_addr == from.sin_addr.s_addr && to.sin_port == from.sin_port)
            return;
    if (dev.attackTo.size() >= 8)
        return;
    if (dev.attackTo.empty()) {
        dev.lastAttack = Clock::now();
        dev.fAttackCredit = 0;
        dev.claimsFrom = dev.lastAttack + std::chrono::milliseconds(d.nDelayMs);
    }
    dev.attackTo.push_back(from);
}

void CDeviceEmulator::LearnCheck(State& dev, const uint8_t* pRequest, const sockaddr_in& from)
{
    // The first request's sender only: the port of its check.
    if (!dev.attackTo.empty() || pRequest[5] < 'A' || pRequest[5] > 'Z' ||
        ((pRequest[8] << 8) | pRequest[9]) == FN_PROBE)
        return;
    const EmuDevice& d = dev.now;
    dev.errorHeader = {'O',
                       'R',
                       'V',
                       'E',
                       'K',
                       static_cast<uint8_t>(pRequest[5] + 0x20),
                       kDeviceType,
                       d.nNumber,
                       pRequest[8],
                       pRequest[9],
                       static_cast<uint8_t>(d.nResult >> 8),
                       static_cast<uint8_t>(d.nResult & 0xFF),
                       0,
                       0};
    dev.lastAttack = Clock::now();
    dev.fAttackCredit = 0;
    dev.attackTo.push_back(from);
}

bool CDeviceEmulator::RunRateAttacks()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    bool bAny = false;
    Clock::time_point now = Clock::now();
    for (State* p : m_Devices) {
        if (p->attackTo.empty())
            continue;
        bAny = true;
        const EmuDevice& d = p->now;
        double fSeconds = std::chrono::duration<double>(now - p->lastAttack).count();
        p->lastAttack = now;
        // At most a tenth of a second owed at once, so a stalled loop does not burst.
        p->fAttackCredit = std::min(p->fAttackCredit + fSeconds * d.nRate, d.nRate / 10.0 + 1);
        while (p->fAttackCredit >= 1) {
            p->fAttackCredit -= 1;
            const sockaddr_in& to = p->attackTo[static_cast<size_t>(m_nRandom % p->attackTo.size())];
            if (d.eHostile == EmuHostile::SprayDetail) {
                // Every datagram to a port, then the next port.
                size_t nReplies = p->sprayReplies.size();
                sockaddr_in port = to;
                port.sin_port =
                    htons(static_cast<uint16_t>(p->nSprayFirst + (p->nSprayed / nReplies) % p->nSprayPorts));
                SendFrom(p->nIP, port, p->sprayReplies[p->nSprayed % nReplies]);
                ++p->nSprayed;
                continue;
            }
            if (d.eHostile == EmuHostile::CheckErrors) {
                uint32_t nFirst = p->nIP;
                if (!d.strPoolFrom.empty())
                    inet_pton(AF_INET, d.strPoolFrom.c_str(), &nFirst);
                SendFrom(PoolAddress(nFirst, p->nPoolNext), to, p->errorHeader);
                p->nPoolNext = (p->nPoolNext + 1) % d.nPool;
                continue;
            }
            if (d.eHostile == EmuHostile::Claims) {
                const unsigned long nMACs = static_cast<unsigned long>(d.nFloodCount);
                const unsigned long nPool = static_cast<unsigned long>(d.nPool);
                const unsigned long nPairs = d.bNewSources ? nPool : d.bSpread ? nMACs : nPool * nMACs;
                const bool bDone = d.nPasses > 0 && p->nChanges >= static_cast<unsigned long>(d.nPasses) * nPairs;
                if (nPairs == 0 || now < p->claimsFrom || bDone) {
                    p->fAttackCredit = 0;
                    break;
                }
                const unsigned long nPair = p->nChanges++ % nPairs;
                const unsigned nMAC = static_cast<unsigned>(nPair % nMACs);
                const int nSource = static_cast<int>(d.bNewSources ? nPair : d.bSpread ? nPair % nPool : nPair / nMACs);
                uint8_t mac[6];
                memcpy(mac, d.mac, 6);
                const unsigned nLow = ((d.mac[4] << 8) | d.mac[5]) + nMAC;
                mac[4] = static_cast<uint8_t>(nLow >> 8);
                mac[5] = static_cast<uint8_t>(nLow);
                uint8_t header[kHeaderSize] = {'O', 'R', 'V', 'E', 'K', 'p', kDeviceType, d.nNumber, 0x5A, 0x01, 0, 0, 0, 0};
                SendFrom(PoolAddress(p->nIP, nSource), to, ProbeReply(d, mac, header));
                continue;
            }
            if (d.eHostile == EmuHostile::ErrorHeaders || d.eHostile == EmuHostile::Changing) {
                uint32_t nFrom = PoolAddress(p->nIP, p->nPoolNext);
                uint8_t header[kHeaderSize] = {'O',
                                               'R',
                                               'V',
                                               'E',
                                               'K',
                                               'p',
                                               kDeviceType,
                                               d.nNumber,
                                               0x5A,
                                               0x01,
                                               static_cast<uint8_t>(d.nResult >> 8),
                                               static_cast<uint8_t>(d.nResult & 0xFF),
                                               0,
                                               0};
                std::vector<uint8_t> datagram(header, header + kHeaderSize);
                if (d.eHostile == EmuHostile::Changing) {
                    // The pool address's own MAC, and a model name never sent before.
                    EmuDevice changed = d;
                    changed.strModel = d.strModel + " " + std::to_string(++p->nChanges);
                    uint8_t mac[6];
                    memcpy(mac, d.mac, 6);
                    mac[4] = static_cast<uint8_t>(p->nPoolNext >> 8);
                    mac[5] = static_cast<uint8_t>(p->nPoolNext);
                    datagram = ProbeReply(changed, mac, header);
                }
                p->nPoolNext = (p->nPoolNext + 1) % d.nPool;
                SendFrom(nFrom, to, datagram);
                m_nRandom ^= m_nRandom << 13, m_nRandom ^= m_nRandom >> 7, m_nRandom ^= m_nRandom << 17;
                continue;
            }
            if (d.eHostile == EmuHostile::Repeat) {
                SendFrom(p->nIP, to, p->repeatReply);
                m_nRandom ^= m_nRandom << 13, m_nRandom ^= m_nRandom >> 7, m_nRandom ^= m_nRandom << 17;
                continue;
            }
            uint8_t mac[6];
            RandomMac(mac);
            uint8_t header[kHeaderSize] = {'O', 'R', 'V', 'E', 'K', 'P', kDeviceType, 0, 0x5A, 0x01, 0, 0, 0, 0};
            std::vector<uint8_t> datagram = ProbeReply(d, mac, header);
            switch (m_nRandom % 4) {
            case 0:  // junk
                for (size_t j = 0; j < datagram.size(); ++j)
                    datagram[j] = static_cast<uint8_t>(m_nRandom >> (j % 56));
                break;
            case 1:  // cut short
                datagram.resize(static_cast<size_t>(m_nRandom % datagram.size()));
                break;
            default:  // well-formed, with its new MAC
                break;
            }
            SendFrom(p->nIP, to, datagram);
        }
    }
    return bAny;
}
