// The VLPC module's hot paths: expanding a full reply of the protocol's
// largest layout into a property tree, building a request, and MD5 and
// Base64 of the password encoding against the system's OpenSSL (libcrypto)
// when it is installed.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "base/core/VLCharset.h"
#include "base/stream/VLMemoryStream.h"
#include "cm/VLCMApi.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "modules/vlpc/VLPCDefs.h"
#include "modules/vlpc/VLPCFunction.h"
#include "modules/vlpc/VLPCPacket.h"
#include "tests/support/modules/VLPCProfileLayouts.h"
#include "modules/vlpc/VLBase64.h"
#include "modules/vlpc/VLMD5.h"
#include "tests/support/TextStream.h"

#ifdef VL_HAVE_OPENSSL
#include <openssl/evp.h>
#endif

namespace {

std::string MakeData(size_t n)
{
    std::string s(n, '\0');
    unsigned int x = 12345;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>(x >> 24);
    }
    return s;
}

// A GetWirelessLANInfo reply of 498 payload bytes: the header fields and 39
// networks heard.
std::string MakeWirelessReply()
{
    std::string s("\x00\x26\xab\x00\x00\x01\x01\x06\x02\x46", 10);
    s += std::string("\x09", 1) + "homenet12";
    s += std::string("\x00\x27", 2);
    for (int i = 0; i < 39; ++i) {
        std::string strSSID = i == 38 ? "the-last-network" : "network" + std::to_string(i % 10);
        s += static_cast<char>(strSSID.size());
        s += strSSID;
        s += static_cast<char>(1 + i % 13);
        s += static_cast<char>(i % 3);
        s += static_cast<char>(40 + i);
    }
    return s;
}

}  // namespace

static void BM_ExpandFullReply(benchmark::State& state)
{
    CVLCMApi api;
    CVLPCProfileLayouts layouts;
    CVLPCFieldList* pList = layouts.Find("5A11", true);
    CVLPCFunction function;
    CVLTarget target(&api);
    std::string strReply = MakeWirelessReply();
    CVLPCPacket packet;
    packet.SetSize(VLPC_HEADER_SIZE);
    packet.Append(strReply.data(), static_cast<int>(strReply.size()));
    if (packet.GetSize() != VLPC_PACKET_CAPACITY)
        state.SkipWithError("the reply is not 498 bytes");
    for (auto _ : state) {
        long lOffset = VLPC_HEADER_SIZE;
        pList->ExpandPacket(nullptr, &function, &packet, &target, nullptr, lOffset);
        benchmark::DoNotOptimize(lOffset);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExpandFullReply);

// The same reply read over without a target, so nothing is stored: the
// codec's own share of the expansion, without the property tree.
static void BM_ReadOverFullReply(benchmark::State& state)
{
    CVLPCProfileLayouts layouts;
    CVLPCFieldList* pList = layouts.Find("5A11", true);
    CVLPCFunction function;
    std::string strReply = MakeWirelessReply();
    CVLPCPacket packet;
    packet.SetSize(VLPC_HEADER_SIZE);
    packet.Append(strReply.data(), static_cast<int>(strReply.size()));
    for (auto _ : state) {
        long lOffset = VLPC_HEADER_SIZE;
        pList->ExpandPacket(nullptr, &function, &packet, nullptr, nullptr, lOffset);
        benchmark::DoNotOptimize(lOffset);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadOverFullReply);

// The probe reply of docs/protocol.md (44 bytes, three services).
static void BM_ExpandProbeReply(benchmark::State& state)
{
    CVLCMApi api;
    CVLPCProfileLayouts layouts;
    CVLPCFieldList* pList = layouts.Find("5A01", true);
    CVLPCFunction function;
    CVLTarget target(&api);
    const unsigned char reply[] = {0x00, 0x26, 0xab, 0x00, 0x00, 0x01, 0x32, 0x00, 0x00, 0x00, 0x02,
                                   0x01, 0x00, 0x0a, 0x01, 0x00, 0x0a, 0xff, 0xff, 0xff, 0x00, 0x0a,
                                   0x01, 0x00, 0x01, 0x07, 0x4d, 0x6f, 0x64, 0x65, 0x6c, 0x20, 0x41,
                                   0x00, 0x03, 0x01, 0x00, 0x50, 0x02, 0x23, 0x8c, 0x04, 0x02, 0x77};
    CVLPCPacket packet;
    packet.SetSize(VLPC_HEADER_SIZE);
    packet.Append(reply, static_cast<int>(sizeof(reply)));
    for (auto _ : state) {
        long lOffset = VLPC_HEADER_SIZE;
        pList->ExpandPacket(nullptr, &function, &packet, &target, nullptr, lOffset);
        benchmark::DoNotOptimize(lOffset);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExpandProbeReply);

static void BM_BuildSetDetailRequest(benchmark::State& state)
{
    CVLCMApi api;
    CVLPCProfileLayouts layouts;
    CVLPCFieldList* pList = layouts.Find("5A21", false, "2");
    CVLPCFunction function;
    CVLTarget target(&api);
    CVLProperty* pRoot = target.GetProperties();
    pRoot->GetProperty("MACAddress", true)->SetString("0026AB000001", VL_CHARSET_UTF8);
    pRoot->GetProperty("VLPC.2B_5A10_01.IPAddress", true)->SetString("10.1.0.10", VL_CHARSET_UTF8);
    pRoot->GetProperty("VLPC.2B_5A10_01.SubnetMask", true)->SetString("255.255.255.0", VL_CHARSET_UTF8);
    pRoot->GetProperty("VLPC.2B_5A10_01.Gateway", true)->SetString("10.1.0.1", VL_CHARSET_UTF8);
    pRoot->GetProperty("VLPC.2B_5A10_01.WebPort", true)->SetUShort(80);
    pRoot->GetProperty("VLPC.2B_5A10_01.NodeName", true)->SetString("printer-3rd-floor", VL_CHARSET_UTF8);
    pRoot->GetProperty("VLPC.2B_5A10_01.Location", true)->SetString("Room 301", VL_CHARSET_UTF8);
    pRoot->GetProperty("VLPC.2B_5A10_01.Contact", true)->SetString("admin@example.org", VL_CHARSET_UTF8);
    target.SetCurrentPassword("secret");
    CVLPCPacket packet;
    for (auto _ : state) {
        packet.Clear();
        packet.SetSize(VLPC_HEADER_SIZE);
        long lOffset = VLPC_HEADER_SIZE;
        bool bModified = pList->MakePacket(nullptr, &function, &packet, &target, nullptr, lOffset);
        benchmark::DoNotOptimize(bModified);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildSetDetailRequest);

static void BM_MD5(benchmark::State& state)
{
    std::string data = MakeData(static_cast<size_t>(state.range(0)));
    CVLMD5 md5;
    for (auto _ : state) {
        md5.Digest(data.data(), static_cast<unsigned int>(data.size()));
        benchmark::DoNotOptimize(md5.GetResult()[0]);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_MD5)->Arg(32)->Arg(1024)->Arg(65536);

static void BM_Base64Encode(benchmark::State& state)
{
    std::string data = MakeData(static_cast<size_t>(state.range(0)));
    CTextStream in(data);
    CVLMemoryStream out;
    for (auto _ : state) {
        VLBase64Encode(&in, &out);
        benchmark::DoNotOptimize(out.GetSize());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Base64Encode)->Arg(32)->Arg(65536);

static void BM_Base64Decode(benchmark::State& state)
{
    std::string data = MakeData(static_cast<size_t>(state.range(0)));
    CTextStream plain(data);
    CVLMemoryStream encoded;
    VLBase64Encode(&plain, &encoded);
    std::vector<VL_BYTE> text(encoded.GetSize());
    encoded.Open(VL_OPEN_READ);
    encoded.Read(text.data(), static_cast<VL_SIZE_T>(text.size()));
    encoded.Close();
    CTextStream in(std::string(text.begin(), text.end()));
    CVLMemoryStream out;
    for (auto _ : state) {
        bool bOk = VLBase64Decode(&in, &out);
        benchmark::DoNotOptimize(bOk);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Base64Decode)->Arg(65536);

#ifdef VL_HAVE_OPENSSL
static void BM_OpenSSL_MD5(benchmark::State& state)
{
    std::string data = MakeData(static_cast<size_t>(state.range(0)));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int nLength = 0;
    // The algorithm fetched and the context made once, outside the loop, as
    // the project's digest object is: a pass is init, update and final.
    EVP_MD* pMD = EVP_MD_fetch(nullptr, "MD5", nullptr);
    EVP_MD_CTX* pCtx = EVP_MD_CTX_new();
    if (pMD == nullptr || pCtx == nullptr) {
        state.SkipWithError("OpenSSL MD5 not available");
    } else {
        for (auto _ : state) {
            EVP_DigestInit_ex(pCtx, pMD, nullptr);
            EVP_DigestUpdate(pCtx, data.data(), data.size());
            EVP_DigestFinal_ex(pCtx, digest, &nLength);
            benchmark::DoNotOptimize(digest[0]);
        }
    }
    EVP_MD_CTX_free(pCtx);
    EVP_MD_free(pMD);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_OpenSSL_MD5)->Arg(32)->Arg(1024)->Arg(65536);

static void BM_OpenSSL_Base64Encode(benchmark::State& state)
{
    std::string data = MakeData(static_cast<size_t>(state.range(0)));
    std::vector<unsigned char> out(data.size() * 2 + 4);
    for (auto _ : state) {
        int n = EVP_EncodeBlock(out.data(), reinterpret_cast<const unsigned char*>(data.data()),
                                static_cast<int>(data.size()));
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_OpenSSL_Base64Encode)->Arg(32)->Arg(65536);

static void BM_OpenSSL_Base64Decode(benchmark::State& state)
{
    std::string data = MakeData(static_cast<size_t>(state.range(0)));
    std::vector<unsigned char> text(data.size() * 2 + 4);
    int nText = EVP_EncodeBlock(text.data(), reinterpret_cast<const unsigned char*>(data.data()),
                                static_cast<int>(data.size()));
    std::vector<unsigned char> out(data.size() + 4);
    for (auto _ : state) {
        int n = EVP_DecodeBlock(out.data(), text.data(), nText);
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_OpenSSL_Base64Decode)->Arg(65536);
#endif

BENCHMARK_MAIN();
