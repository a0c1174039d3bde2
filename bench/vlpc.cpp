// The VLPC module's hot paths: MD5 and Base64 of the password encoding,
// against the system's OpenSSL (libcrypto) when it is installed.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "base/stream/VLMemoryStream.h"
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

}  // namespace

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
    const EVP_MD* pMD = EVP_md5();
    for (auto _ : state) {
        EVP_Digest(data.data(), data.size(), digest, &nLength, pMD, nullptr);
        benchmark::DoNotOptimize(digest[0]);
    }
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
