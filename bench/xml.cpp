// Loading XML documents of about 1 MB and 20 MB into a CVLXmlDocument, and
// the same bytes through expat (parse only) and libxml2 (tree build).
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "base/core/VLException.h"
#include "base/xml/VLXmlDocument.h"

#ifdef VL_HAVE_EXPAT
#include <expat.h>
#endif
#ifdef VL_HAVE_LIBXML2
#include <libxml/parser.h>
#include <libxml/tree.h>
#endif

namespace {

// A read-only stream over a byte string.
class CBenchStream : public IVLStream
{
public:
    explicit CBenchStream(const std::string& data) : m_Data(data) {}
    CVLString GetClassName() const override { return CVLString("CBenchStream", VL_CHARSET_UTF8); }
    void Open(VL_OPEN_MODE) override
    {
        m_bOpen = true;
        m_nPos = 0;
    }
    bool IsOpen() override { return m_bOpen; }
    void Close() override { m_bOpen = false; }
    VL_SIZE_T Read(VL_BYTE* p, VL_SIZE_T n) override
    {
        size_t k = m_Data.size() - m_nPos;
        if (k > n)
            k = n;
        std::memcpy(p, m_Data.data() + m_nPos, k);
        m_nPos += k;
        return static_cast<VL_SIZE_T>(k);
    }
    void Write(const VL_BYTE*, VL_SIZE_T) override {}
    void Flush() override {}
    void Seek(VL_SIZE_T n) override { m_nPos = n; }
    VL_SIZE_T GetSize() override { return static_cast<VL_SIZE_T>(m_Data.size()); }
    void Clear() override {}
    VL_CONST_STR GetTypeName() const override { return "CBenchStream"; }
    void Destroy() override { delete this; }

private:
    const std::string& m_Data;
    size_t m_nPos = 0;
    bool m_bOpen = false;
};

// Many small elements with attributes, as in device lists and definitions.
std::string MakeElements(size_t nBytes)
{
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<devices>\n";
    for (int i = 0; s.size() < nBytes; ++i) {
        s += "  <device id=\"" + std::to_string(i) + "\" name=\"Device " + std::to_string(i) +
             "\" type=\"printer\" enabled=\"true\">\n";
        s += "    <address ip=\"192.168.0." + std::to_string(i % 250) + "\" port=\"" + std::to_string(9100 + i % 7) +
             "\"/>\n";
        s += "    <property key=\"location\" value=\"Floor " + std::to_string(i % 9) + " &amp; Room\"/>\n";
        s += "    <status>ready</status>\n  </device>\n";
    }
    s += "</devices>\n";
    return s;
}

// Long texts: a few elements whose content is large.
std::string MakeTexts(size_t nBytes)
{
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<strings>\n";
    std::string para;
    while (para.size() < 60000)
        para += "The quick brown fox jumps over the lazy dog; caf\xC3\xA9 &lt;tag&gt; \xE6\x97\xA5\xE6\x9C\xAC. ";
    for (int i = 0; s.size() < nBytes; ++i)
        s += "  <string id=\"s" + std::to_string(i) + "\">" + para + "</string>\n";
    s += "</strings>\n";
    return s;
}

const std::string& Doc(int nKind, int nMegabytes)
{
    static std::string s_Docs[2][2];
    std::string& s = s_Docs[nKind][nMegabytes == 1 ? 0 : 1];
    if (s.empty())
        s = nKind == 0 ? MakeElements(static_cast<size_t>(nMegabytes) << 20)
                       : MakeTexts(static_cast<size_t>(nMegabytes) << 20);
    return s;
}

void BM_VLXmlDocumentLoad(benchmark::State& state)
{
    const std::string& data = Doc(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        CVLXmlDocument doc;
        CBenchStream in(data);
        try {
            doc.Load(&in);
        } catch (EVLException* e) {
            state.SkipWithError(e->ToString().GetString());
            e->Delete();
            break;
        }
        benchmark::DoNotOptimize(doc.GetDocumentElement());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}

#ifdef VL_HAVE_EXPAT
void BM_ExpatParse(benchmark::State& state)
{
    const std::string& data = Doc(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        XML_Parser parser = XML_ParserCreate(nullptr);
        if (XML_Parse(parser, data.data(), static_cast<int>(data.size()), 1) == XML_STATUS_ERROR)
            state.SkipWithError("expat parse failed");
        XML_ParserFree(parser);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}
#endif

#ifdef VL_HAVE_LIBXML2
void BM_LibXml2ReadMemory(benchmark::State& state)
{
    const std::string& data = Doc(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        xmlDocPtr doc = xmlReadMemory(data.data(), static_cast<int>(data.size()), "bench.xml", nullptr,
                                      XML_PARSE_NONET | XML_PARSE_HUGE);
        if (doc == nullptr)
            state.SkipWithError("libxml2 parse failed");
        xmlFreeDoc(doc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}
#endif

// Arguments: kind (0 elements with attributes, 1 long texts), size in MB.
#define VL_XML_ARGS ->Args({0, 1})->Args({0, 20})->Args({1, 1})->Args({1, 20})->Unit(benchmark::kMillisecond)

BENCHMARK(BM_VLXmlDocumentLoad) VL_XML_ARGS;
#ifdef VL_HAVE_EXPAT
BENCHMARK(BM_ExpatParse) VL_XML_ARGS;
#endif
#ifdef VL_HAVE_LIBXML2
BENCHMARK(BM_LibXml2ReadMemory) VL_XML_ARGS;
#endif

}  // namespace

BENCHMARK_MAIN();
