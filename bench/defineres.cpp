// Loading a definition resource of about 200 KB (30 documents, 50 scripts)
// from memory, against loading the same 30 documents from their XML text with
// the base library's XML reader, and against the whole development form (the
// XML text and the 50 script sources compiled).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "base/core/VLException.h"
#include "base/xml/VLXmlDocument.h"
#include "cm/VLDefineLoader.h"
#include "script/VLScriptCompiler.h"
#include "tests/support/TextStream.h"
#include "tests/support/XmlTestStream.h"

namespace {

const int kDocuments = 30;
const int kScripts = 50;

// A packet-format document: fields with several attributes, some text.
std::string MakeDocument(int nDoc)
{
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<PacketFormat" + std::to_string(nDoc) +
                    " name=\"Format" + std::to_string(nDoc) + "\" version=\"1\">\n";
    for (int i = 0; i < 34; ++i) {
        std::string n = std::to_string(i);
        s += "  <Field name=\"Field" + n + "\" type=\"uint16\" offset=\"" + std::to_string(i * 2) +
             "\" length=\"2\" property=\"VLPC.03_0000_01.Value" + n + "\" default=\"0\">\n";
        s += "    <Const name=\"Mask\" value=\"0x" + std::to_string(1000 + i) + "\"/>\n";
        s += "    <Description>Value " + n + " of the device, as the reply carries it</Description>\n";
        s += "  </Field>\n";
    }
    s += "</PacketFormat" + std::to_string(nDoc) + ">\n";
    return s;
}

std::string MakeScript(int nScript)
{
    std::string n = std::to_string(nScript);
    return "int Script" + n +
           "(int nCount, string strName)\n{\n"
           "  int nTotal;\n  int i;\n  string strText;\n  nTotal = 0;\n"
           "  for (i = 0; i < nCount; i++) {\n"
           "    if (i % 3 == 0) { nTotal = nTotal + i * 2; } else { nTotal = nTotal - 1; }\n"
           "    if (nTotal > 100000) { break; }\n  }\n"
           "  strText = \"device \" + strName + \" answered with value \";\n"
           "  if (nTotal < 0) { return 0 - nTotal; }\n"
           "  return nTotal + " +
           n +
           ";\n"
           "}\n";
}

struct CFixture
{
    std::vector<std::string> texts;
    std::string resource;       // documents and scripts
    std::string documentsOnly;  // documents alone

    CFixture()
    {
        CVLDefineLoader loader;
        for (int i = 0; i < kDocuments; ++i) {
            texts.push_back(MakeDocument(i));
            CTestStream in(texts.back());
            CVLXmlDocument doc;
            doc.Load(&in);
            CVLXmlDocument* pDoc = loader.GetDocument(doc.GetDocumentElement()->GetTagName().GetString(), true);
            CVLXmlElement* pRoot = pDoc->CreateElement(doc.GetDocumentElement()->GetTagName().GetString());
            pDoc->AppendChild(pRoot);
            *pRoot = *doc.GetDocumentElement();
        }
        CTestStream docsOut;
        loader.Save(&docsOut);
        documentsOnly = docsOut.m_Data;
        for (int i = 0; i < kScripts; ++i) {
            CVLScriptCompiler compiler;
            CTextStream src(MakeScript(i));
            compiler.Compile("bench.vls", &src, &loader.GetScriptCollection());
        }
        CTestStream out;
        loader.Save(&out);
        resource = out.m_Data;
    }
};

const CFixture& Fixture()
{
    static CFixture s_Fixture;
    return s_Fixture;
}

void LoadResource(benchmark::State& state, const std::string& data)
{
    for (auto _ : state) {
        CVLDefineLoader loader;
        loader.Load(reinterpret_cast<const VL_BYTE*>(data.data()), static_cast<VL_SIZE_T>(data.size()));
        benchmark::DoNotOptimize(loader.GetDocumentMap().size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
    state.counters["bytes"] = static_cast<double>(data.size());
}

void BM_BinaryResource(benchmark::State& state)
{
    LoadResource(state, Fixture().resource);
}
BENCHMARK(BM_BinaryResource)->Unit(benchmark::kMicrosecond);

void BM_BinaryDocumentsOnly(benchmark::State& state)
{
    LoadResource(state, Fixture().documentsOnly);
}
BENCHMARK(BM_BinaryDocumentsOnly)->Unit(benchmark::kMicrosecond);

void BM_XmlTextDocuments(benchmark::State& state)
{
    const std::vector<std::string>& texts = Fixture().texts;
    std::vector<CTestStream*> streams;
    size_t nBytes = 0;
    for (const std::string& s : texts) {
        streams.push_back(new CTestStream(s));
        nBytes += s.size();
    }
    for (auto _ : state) {
        std::vector<CVLXmlDocument*> docs;
        for (CTestStream* p : streams) {
            CVLXmlDocument* pDoc = new CVLXmlDocument;
            pDoc->Load(p);
            docs.push_back(pDoc);
        }
        for (CVLXmlDocument* p : docs)
            p->Delete();
    }
    for (CTestStream* p : streams)
        delete p;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * nBytes));
    state.counters["bytes"] = static_cast<double>(nBytes);
}
BENCHMARK(BM_XmlTextDocuments)->Unit(benchmark::kMicrosecond);

// The whole development form: the documents from their XML text and the
// scripts compiled from their sources.
void BM_XmlTextAndScriptSources(benchmark::State& state)
{
    const std::vector<std::string>& texts = Fixture().texts;
    std::vector<std::string> sources;
    for (int i = 0; i < kScripts; ++i)
        sources.push_back(MakeScript(i));
    for (auto _ : state) {
        std::vector<CVLXmlDocument*> docs;
        for (const std::string& s : texts) {
            CTestStream in(s);
            CVLXmlDocument* pDoc = new CVLXmlDocument;
            pDoc->Load(&in);
            docs.push_back(pDoc);
        }
        CVLScriptCollection scripts;
        for (const std::string& s : sources) {
            CVLScriptCompiler compiler;
            CTextStream src(s);
            compiler.Compile("bench.vls", &src, &scripts);
        }
        for (CVLXmlDocument* p : docs)
            p->Delete();
    }
}
BENCHMARK(BM_XmlTextAndScriptSources)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
