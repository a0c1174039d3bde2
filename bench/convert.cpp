// Converting texts of 64 KB and 1 MB from UTF-8 to UTF-16LE and to Shift_JIS
// through the string's converter, beside the same conversion with the C
// library's iconv called directly into a buffer of the right size.
#include <benchmark/benchmark.h>

#include <iconv.h>

#include <string>
#include <vector>

#include "base/core/VLString.h"

namespace {

// Japanese and ASCII mixed, all of it in Shift_JIS's repertoire.
const std::string& Text(int nKilobytes)
{
    static std::string s_Texts[2];
    std::string& s = s_Texts[nKilobytes == 64 ? 0 : 1];
    if (s.empty()) {
        const std::string piece = "Printer \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E status: ready, "
                                  "\xE3\x83\x97\xE3\x83\xAA\xE3\x83\xB3\xE3\x82\xBF 42. ";
        while (s.size() + piece.size() <= static_cast<size_t>(nKilobytes) << 10)
            s += piece;
    }
    return s;
}

void Convert(benchmark::State& state, const char* szTo)
{
    const std::string& text = Text(static_cast<int>(state.range(0)));
    CVLString source(text.data(), static_cast<int>(text.size()), VL_CHARSET_UTF8);
    for (auto _ : state) {
        CVLString result = source.ConvertTo(szTo, false);
        benchmark::DoNotOptimize(result.GetBuffer());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void RawIconv(benchmark::State& state, const char* szTo)
{
    const std::string& text = Text(static_cast<int>(state.range(0)));
    std::vector<char> out(text.size() * 2 + 16);
    for (auto _ : state) {
        iconv_t cd = iconv_open(szTo, "UTF-8");
        char* pIn = const_cast<char*>(text.data());
        size_t nIn = text.size();
        char* pOut = out.data();
        size_t nOut = out.size();
        if (iconv(cd, &pIn, &nIn, &pOut, &nOut) == static_cast<size_t>(-1))
            state.SkipWithError("iconv failed");
        iconv_close(cd);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void BM_ConvertUtf8ToUtf16(benchmark::State& state) { Convert(state, "UTF-16LE"); }
void BM_IconvUtf8ToUtf16(benchmark::State& state) { RawIconv(state, "UTF-16LE"); }
void BM_ConvertUtf8ToShiftJis(benchmark::State& state) { Convert(state, "SHIFT_JIS"); }
void BM_IconvUtf8ToShiftJis(benchmark::State& state) { RawIconv(state, "SHIFT_JIS"); }

// Argument: the text's size in KB.
BENCHMARK(BM_ConvertUtf8ToUtf16)->Arg(64)->Arg(1024)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IconvUtf8ToUtf16)->Arg(64)->Arg(1024)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertUtf8ToShiftJis)->Arg(64)->Arg(1024)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IconvUtf8ToShiftJis)->Arg(64)->Arg(1024)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
