// Loading XML documents of about 1 MB and 20 MB into a CVLXmlDocument, and
// the same bytes through expat (the bare parse, and with handlers that copy
// names, attributes and texts as a tree builder must) and libxml2 (tree
// build): warm (repeated loads in one process, which reuse the node memory
// of the documents before) and cold (one load in a fresh process); saving
// them again beside libxml2's xmlDocDumpMemory, each pass into a new buffer
// on both sides that grows the same way, also a document of one large text node at 1, 4 and 16 MB
// (both outputs checked to be of the same length); and the heap bytes each
// tree takes per document byte.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

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

// Kinds: 0 elements with attributes, 1 long texts.
const std::string& Doc(int nKind, int nMegabytes)
{
    static std::map<std::pair<int, int>, std::string> s_Docs;
    std::string& s = s_Docs[std::make_pair(nKind, nMegabytes)];
    if (s.empty()) {
        size_t nBytes = static_cast<size_t>(nMegabytes) << 20;
        s = nKind == 0 ? MakeElements(nBytes) : MakeTexts(nBytes);
    }
    return s;
}

// The content of one large text node (a reader splits long texts into
// several nodes, so these documents are built, not loaded).
std::string MakeOneText(size_t nBytes)
{
    std::string s;
    const std::string piece = "Lorem ipsum dolor sit amet & caf\xC3\xA9 <x> ";
    while (s.size() < nBytes)
        s += piece;
    return s;
}

// A stream that collects what is written, as a dump into memory does.
class CSinkStream : public IVLStream
{
public:
    explicit CSinkStream(std::string& out) : m_Out(out) {}
    CVLString GetClassName() const override { return CVLString("CSinkStream", VL_CHARSET_UTF8); }
    void Open(VL_OPEN_MODE) override { m_bOpen = true; }
    bool IsOpen() override { return m_bOpen; }
    void Close() override { m_bOpen = false; }
    VL_SIZE_T Read(VL_BYTE*, VL_SIZE_T) override { return 0; }
    void Write(const VL_BYTE* p, VL_SIZE_T n) override { m_Out.append(reinterpret_cast<const char*>(p), n); }
    void Flush() override {}
    void Seek(VL_SIZE_T) override {}
    VL_SIZE_T GetSize() override { return static_cast<VL_SIZE_T>(m_Out.size()); }
    void Clear() override { m_Out.clear(); }
    VL_CONST_STR GetTypeName() const override { return "CSinkStream"; }
    void Destroy() override { delete this; }

private:
    std::string& m_Out;
    bool m_bOpen = false;
};

// A stream that collects what is written into a buffer of its own, grown
// as libxml2 grows the buffer of its dump: from 4000 bytes, doubling, with
// realloc; freed with the stream. The timed saves write into a new one each
// pass, as each dump makes a new buffer.
class CGrowingSink : public IVLStream
{
public:
    CGrowingSink() {}
    ~CGrowingSink() override { std::free(m_p); }
    CVLString GetClassName() const override { return CVLString("CGrowingSink", VL_CHARSET_UTF8); }
    void Open(VL_OPEN_MODE) override { m_bOpen = true; }
    bool IsOpen() override { return m_bOpen; }
    void Close() override { m_bOpen = false; }
    VL_SIZE_T Read(VL_BYTE*, VL_SIZE_T) override { return 0; }
    void Write(const VL_BYTE* p, VL_SIZE_T n) override
    {
        if (n > m_nCapacity - m_nSize) {
            size_t nCapacity = m_nCapacity == 0 ? 4000 : m_nCapacity;
            while (nCapacity - m_nSize < n)
                nCapacity *= 2;
            char* pNew = static_cast<char*>(std::realloc(m_p, nCapacity));
            if (pNew == nullptr)
                std::abort();
            m_p = pNew;
            m_nCapacity = nCapacity;
        }
        std::memcpy(m_p + m_nSize, p, n);
        m_nSize += n;
    }
    void Flush() override {}
    void Seek(VL_SIZE_T) override {}
    VL_SIZE_T GetSize() override { return static_cast<VL_SIZE_T>(m_nSize); }
    void Clear() override { m_nSize = 0; }
    VL_CONST_STR GetTypeName() const override { return "CGrowingSink"; }
    void Destroy() override { delete this; }
    const char* Data() const { return m_p; }

private:
    char* m_p = nullptr;
    size_t m_nSize = 0;
    size_t m_nCapacity = 0;
    bool m_bOpen = false;
};

// Heap bytes in use (small blocks and mapped ones).
size_t HeapInUse()
{
    struct mallinfo2 mi = mallinfo2();
    return mi.uordblks + mi.hblkhd;
}

bool LoadDoc(benchmark::State& state, CVLXmlDocument& doc, const std::string& data)
{
    CBenchStream in(data);
    try {
        doc.Load(&in);
    } catch (EVLException* e) {
        state.SkipWithError(e->ToString().GetString());
        e->Delete();
        return false;
    }
    return true;
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

void BM_VLXmlDocumentSave(benchmark::State& state)
{
    const std::string& data = Doc(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    CVLXmlDocument doc;
    if (!LoadDoc(state, doc, data))
        return;
    size_t nSize = 0;
    for (auto _ : state) {
        CGrowingSink sink;
        doc.Save(&sink);
        benchmark::DoNotOptimize(sink.Data());
        nSize = static_cast<size_t>(sink.GetSize());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(nSize));
    state.counters["out_bytes"] = static_cast<double>(nSize);
}

// The one-text document, declared as libxml2's is (version 1.0, UTF-8), and
// formatted, so that a line feed follows the declaration and the root as
// libxml2 writes them.
void MakeOneTextDoc(CVLXmlDocument& doc, const std::string& text)
{
    doc.SetVersion("1.0");
    doc.SetEncoding("UTF-8");
    doc.SetFormat(true);
    doc.SetLineEndText("\n");
    CVLXmlElement* pRoot = doc.CreateElement("text");
    doc.AppendChild(pRoot);
    pRoot->AppendChild(doc.CreateTextNode(text.c_str()));
}

std::string SaveOneText(const std::string& text)
{
    CVLXmlDocument doc;
    MakeOneTextDoc(doc, text);
    std::string out;
    CSinkStream sink(out);
    doc.Save(&sink);
    return out;
}

#ifdef VL_HAVE_LIBXML2
// libxml2's one-text document with its encoding set to UTF-8: without it
// every non-ASCII character is written as a character reference.
xmlDocPtr MakeLibXml2OneTextDoc(const std::string& text)
{
    xmlDocPtr doc = xmlNewDoc(BAD_CAST "1.0");
    doc->encoding = xmlStrdup(BAD_CAST "UTF-8");
    xmlNodePtr pRoot = xmlNewDocNode(doc, nullptr, BAD_CAST "text", nullptr);
    xmlDocSetRootElement(doc, pRoot);
    xmlAddChild(pRoot, xmlNewDocTextLen(doc, BAD_CAST text.data(), static_cast<int>(text.size())));
    return doc;
}

std::string DumpOneText(const std::string& text)
{
    xmlDocPtr doc = MakeLibXml2OneTextDoc(text);
    xmlChar* pOut = nullptr;
    int nSize = 0;
    xmlDocDumpMemory(doc, &pOut, &nSize);
    std::string out(reinterpret_cast<const char*>(pOut), static_cast<size_t>(nSize));
    xmlFree(pOut);
    xmlFreeDoc(doc);
    return out;
}

// Both sides must write the same bytes for their times to compare (the
// lengths differ when one side escapes more than the other).
bool SameOneTextOutput(benchmark::State& state, const std::string& text)
{
    const std::string ours = SaveOneText(text);
    const std::string theirs = DumpOneText(text);
    if (ours == theirs)
        return true;
    std::string strError = "outputs differ: " + std::to_string(ours.size()) + " bytes here, " +
                           std::to_string(theirs.size()) + " by libxml2";
    state.SkipWithError(strError.c_str());
    return false;
}
#endif

void BM_VLXmlDocumentSaveOneText(benchmark::State& state)
{
    const std::string text = MakeOneText(static_cast<size_t>(state.range(0)) << 20);
#ifdef VL_HAVE_LIBXML2
    if (!SameOneTextOutput(state, text))
        return;
#endif
    CVLXmlDocument doc;
    MakeOneTextDoc(doc, text);
    size_t nSize = 0;
    for (auto _ : state) {
        CGrowingSink sink;
        doc.Save(&sink);
        benchmark::DoNotOptimize(sink.Data());
        nSize = static_cast<size_t>(sink.GetSize());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(nSize));
    state.counters["out_bytes"] = static_cast<double>(nSize);
}

void BM_VLXmlDocumentHeap(benchmark::State& state)
{
    const std::string& data = Doc(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    double dPerByte = 0;
    for (auto _ : state) {
        // On a thread of its own: the memory that this thread's earlier
        // documents left for reuse does not hide the new tree's.
        bool bLoaded = false;
        std::thread loader([&] {
            size_t nBefore = HeapInUse();
            CVLXmlDocument* pDoc = new CVLXmlDocument();
            bLoaded = LoadDoc(state, *pDoc, data);
            dPerByte = static_cast<double>(HeapInUse() - nBefore) / static_cast<double>(data.size());
            delete pDoc;
        });
        loader.join();
        if (!bLoaded)
            return;
    }
    state.counters["heap_per_byte"] = dPerByte;
}

// Cold loads: one load in a fresh process, this program started again as
// "bench_xml --cold-load KIND MB PEER" (PEER 0 this library, 1 libxml2). The
// child builds the document bytes and loads one tiny document first (so that
// neither side's one-time set-up is timed, and no node memory of an earlier
// large document is there to reuse), times the one load and writes the
// nanoseconds to its standard output.
int ColdLoadChild(int nKind, int nMegabytes, int nPeer)
{
    const std::string& data = Doc(nKind, nMegabytes);
    const std::string tiny = "<?xml version=\"1.0\"?><a b=\"c\">d</a>";
    std::chrono::steady_clock::duration elapsed{};
    if (nPeer == 0) {
        {
            CVLXmlDocument doc;
            CBenchStream in(tiny);
            doc.Load(&in);
        }
        CVLXmlDocument doc;
        CBenchStream in(data);
        const auto start = std::chrono::steady_clock::now();
        doc.Load(&in);
        elapsed = std::chrono::steady_clock::now() - start;
        benchmark::DoNotOptimize(doc.GetDocumentElement());
    } else {
#ifdef VL_HAVE_LIBXML2
        xmlFreeDoc(xmlReadMemory(tiny.data(), static_cast<int>(tiny.size()), "tiny.xml", nullptr, XML_PARSE_NONET));
        const auto start = std::chrono::steady_clock::now();
        xmlDocPtr doc = xmlReadMemory(data.data(), static_cast<int>(data.size()), "bench.xml", nullptr,
                                      XML_PARSE_NONET | XML_PARSE_HUGE);
        elapsed = std::chrono::steady_clock::now() - start;
        if (doc == nullptr)
            return 1;
        xmlFreeDoc(doc);
#else
        return 1;
#endif
    }
    std::printf("%lld\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count()));
    return 0;
}

void RunColdLoad(benchmark::State& state, int nPeer)
{
    const std::string strKind = std::to_string(state.range(0));
    const std::string strSize = std::to_string(state.range(1));
    const std::string strPeer = std::to_string(nPeer);
    for (auto _ : state) {
        int fds[2];
        if (pipe(fds) != 0) {
            state.SkipWithError("pipe failed");
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        char szExe[] = "/proc/self/exe";
        char szFlag[] = "--cold-load";
        char* argv[] = {szExe,
                        szFlag,
                        const_cast<char*>(strKind.c_str()),
                        const_cast<char*>(strSize.c_str()),
                        const_cast<char*>(strPeer.c_str()),
                        nullptr};
        pid_t pid = 0;
        const int nSpawn = posix_spawn(&pid, szExe, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        std::string strOut;
        char buf[64];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof(buf))) > 0)
            strOut.append(buf, static_cast<size_t>(n));
        close(fds[0]);
        int nStatus = 0;
        if (nSpawn != 0 || waitpid(pid, &nStatus, 0) != pid || !WIFEXITED(nStatus) || WEXITSTATUS(nStatus) != 0 ||
            strOut.empty()) {
            state.SkipWithError("cold load child failed");
            return;
        }
        state.SetIterationTime(static_cast<double>(std::atoll(strOut.c_str())) * 1e-9);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(state.range(1) << 20));
}

void BM_VLXmlDocumentLoadCold(benchmark::State& state)
{
    RunColdLoad(state, 0);
}

#ifdef VL_HAVE_EXPAT
// The copies a tree builder makes of what the parser reports.
struct SExpatCopies
{
    std::vector<std::string> names;
    std::vector<std::string> attributes;
    std::vector<std::string> texts;
};

void XMLCALL ExpatStart(void* pData, const XML_Char* szName, const XML_Char** ppAttributes)
{
    SExpatCopies* p = static_cast<SExpatCopies*>(pData);
    p->names.emplace_back(szName);
    for (int i = 0; ppAttributes[i] != nullptr; ++i)
        p->attributes.emplace_back(ppAttributes[i]);
}

void XMLCALL ExpatEnd(void*, const XML_Char*)
{
}

void XMLCALL ExpatText(void* pData, const XML_Char* s, int n)
{
    static_cast<SExpatCopies*>(pData)->texts.emplace_back(s, static_cast<size_t>(n));
}

void BM_ExpatParseCopy(benchmark::State& state)
{
    const std::string& data = Doc(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        SExpatCopies copies;
        XML_Parser parser = XML_ParserCreate(nullptr);
        XML_SetUserData(parser, &copies);
        XML_SetElementHandler(parser, ExpatStart, ExpatEnd);
        XML_SetCharacterDataHandler(parser, ExpatText);
        if (XML_Parse(parser, data.data(), static_cast<int>(data.size()), 1) == XML_STATUS_ERROR)
            state.SkipWithError("expat parse failed");
        XML_ParserFree(parser);
        benchmark::DoNotOptimize(copies.texts.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}

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
void BM_LibXml2ReadMemoryCold(benchmark::State& state)
{
    RunColdLoad(state, 1);
}

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

void BM_LibXml2DumpMemory(benchmark::State& state)
{
    const std::string& data = Doc(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    xmlDocPtr doc = xmlReadMemory(data.data(), static_cast<int>(data.size()), "bench.xml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_HUGE);
    if (doc == nullptr) {
        state.SkipWithError("libxml2 parse failed");
        return;
    }
    int nSize = 0;
    for (auto _ : state) {
        xmlChar* pOut = nullptr;
        xmlDocDumpMemory(doc, &pOut, &nSize);
        benchmark::DoNotOptimize(pOut);
        xmlFree(pOut);
    }
    xmlFreeDoc(doc);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(nSize));
    state.counters["out_bytes"] = static_cast<double>(nSize);
}

void BM_LibXml2DumpOneText(benchmark::State& state)
{
    const std::string text = MakeOneText(static_cast<size_t>(state.range(0)) << 20);
    if (!SameOneTextOutput(state, text))
        return;
    xmlDocPtr doc = MakeLibXml2OneTextDoc(text);
    int nSize = 0;
    for (auto _ : state) {
        xmlChar* pOut = nullptr;
        xmlDocDumpMemory(doc, &pOut, &nSize);
        benchmark::DoNotOptimize(pOut);
        xmlFree(pOut);
    }
    xmlFreeDoc(doc);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(nSize));
    state.counters["out_bytes"] = static_cast<double>(nSize);
}

void BM_LibXml2Heap(benchmark::State& state)
{
    const std::string& data = Doc(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    double dPerByte = 0;
    for (auto _ : state) {
        size_t nBefore = HeapInUse();
        xmlDocPtr doc = xmlReadMemory(data.data(), static_cast<int>(data.size()), "bench.xml", nullptr,
                                      XML_PARSE_NONET | XML_PARSE_HUGE);
        if (doc == nullptr) {
            state.SkipWithError("libxml2 parse failed");
            return;
        }
        dPerByte = static_cast<double>(HeapInUse() - nBefore) / static_cast<double>(data.size());
        xmlFreeDoc(doc);
    }
    state.counters["heap_per_byte"] = dPerByte;
}
#endif

// Arguments: kind (0 elements with attributes, 1 long texts), size in MB.
#define VL_XML_ARGS ->Args({0, 1})->Args({0, 20})->Args({1, 1})->Args({1, 20})->Unit(benchmark::kMillisecond)

// One large text node of 1, 4 and 16 MB: saving must cost in proportion.
#define VL_XML_ONE_TEXT_ARGS ->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond)
// The heap a tree takes for each of the document kinds (20 MB).
#define VL_XML_HEAP_ARGS ->Args({0, 20})->Args({1, 20})->Iterations(1)->Unit(benchmark::kMillisecond)

// Each cold pass starts a process: a few passes, repeated for spread.
#define VL_XML_COLD_ARGS VL_XML_ARGS->UseManualTime()->Iterations(3)

BENCHMARK(BM_VLXmlDocumentLoad) VL_XML_ARGS;
BENCHMARK(BM_VLXmlDocumentLoadCold) VL_XML_COLD_ARGS;
#ifdef VL_HAVE_EXPAT
BENCHMARK(BM_ExpatParse) VL_XML_ARGS;
BENCHMARK(BM_ExpatParseCopy) VL_XML_ARGS;
#endif
#ifdef VL_HAVE_LIBXML2
BENCHMARK(BM_LibXml2ReadMemory) VL_XML_ARGS;
BENCHMARK(BM_LibXml2ReadMemoryCold) VL_XML_COLD_ARGS;
#endif
BENCHMARK(BM_VLXmlDocumentSave) VL_XML_ARGS;
BENCHMARK(BM_VLXmlDocumentSaveOneText) VL_XML_ONE_TEXT_ARGS;
#ifdef VL_HAVE_LIBXML2
BENCHMARK(BM_LibXml2DumpMemory) VL_XML_ARGS;
BENCHMARK(BM_LibXml2DumpOneText) VL_XML_ONE_TEXT_ARGS;
#endif
BENCHMARK(BM_VLXmlDocumentHeap) VL_XML_HEAP_ARGS;
#ifdef VL_HAVE_LIBXML2
BENCHMARK(BM_LibXml2Heap) VL_XML_HEAP_ARGS;
#endif

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--cold-load") == 0)
        return ColdLoadChild(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
