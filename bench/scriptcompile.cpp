// Compiling a generated 10,000-line script text.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "script/VLScriptCollection.h"
#include "script/VLScriptCompiler.h"
#include "base/core/VLStream.h"

namespace {

class CBenchStream : public IVLStream
{
public:
    explicit CBenchStream(const std::string& s) : m_s(s), m_nPos(0), m_bOpen(false) {}
    virtual CVLString GetClassName() const override { return CVLString("CBenchStream", VL_CHARSET_UTF8); }
    virtual void Open(VL_OPEN_MODE) override { m_bOpen = true; }
    virtual bool IsOpen() override { return m_bOpen; }
    virtual void Close() override { m_bOpen = false; }
    virtual VL_SIZE_T Read(VL_BYTE* p, VL_SIZE_T n) override
    {
        size_t k = std::min(static_cast<size_t>(n), m_s.size() - m_nPos);
        memcpy(p, m_s.data() + m_nPos, k);
        m_nPos += k;
        return static_cast<VL_SIZE_T>(k);
    }
    virtual void Write(const VL_BYTE*, VL_SIZE_T) override {}
    virtual void Flush() override {}
    virtual void Seek(VL_SIZE_T n) override { m_nPos = std::min<size_t>(n, m_s.size()); }
    virtual VL_SIZE_T GetSize() override { return static_cast<VL_SIZE_T>(m_s.size()); }
    virtual void Clear() override {}
    virtual VL_CONST_STR GetTypeName() const override { return "bench"; }
    virtual void Destroy() override {}

private:
    const std::string& m_s;
    size_t m_nPos;
    bool m_bOpen;
};

// 100 functions of 100 lines each: declarations, loops, conditions, calls.
std::string MakeSource()
{
    std::string s;
    for (int f = 0; f < 100; ++f) {
        s += "long F" + std::to_string(f) + "(long a, string t)\n{\n    long x;\n    long i;\n";
        for (int l = 0; l < 24; ++l) {
            s += "    for (i = 0; i < a; i++) {\n";
            s += "        if (i % 3 == " + std::to_string(l % 3) + ") { x = x + i * 2 - 1; }\n";
            s += "        t = Mid(t, 1) + \"text " + std::to_string(l) + "\"; // comment\n";
            s += "    }\n";
        }
        s += "    return x;\n}\n";
    }
    return s;
}

void BM_CompileTenThousandLines(benchmark::State& state)
{
    const std::string text = MakeSource();
    for (auto _ : state) {
        CVLScriptCompiler compiler;
        CVLScriptCollection scripts;
        CBenchStream stream(text);
        compiler.Compile("bench", &stream, &scripts);
        benchmark::DoNotOptimize(scripts.GetCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.counters["lines"] = static_cast<double>(std::count(text.begin(), text.end(), '\n'));
}
BENCHMARK(BM_CompileTenThousandLines)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
