#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/core/VLExceptionOwner.h"
#include "base/core/VLIOException.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLUnsupportedException.h"
#include "cm/VLDefineFormatException.h"
#include "cm/VLDefineLoader.h"
#include "script/VLScriptCompiler.h"
#include "script/VLScriptException.h"
#include "script/VLScriptParams.h"
#include "tests/support/script/ScriptAssembler.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TextStream.h"
#include "tests/support/XmlTestStream.h"

namespace {

typedef std::vector<VL_BYTE> Bytes_t;

Bytes_t Header(VL_BYTE nVersion = 1, VL_BYTE nReserved = 0)
{
    Bytes_t b(64, 0);
    b[0] = 'V';
    b[1] = 'L';
    b[2] = 'C';
    b[3] = 'M';
    b[4] = nVersion;
    b[5] = nReserved;
    return b;
}

// A record head and body appended to b.
void Record(Bytes_t& b, VL_BYTE nType, const Bytes_t& body)
{
    b.push_back(nType);
    VL_ULONG n = static_cast<VL_ULONG>(body.size());
    b.push_back(static_cast<VL_BYTE>(n >> 24));
    b.push_back(static_cast<VL_BYTE>(n >> 16));
    b.push_back(static_cast<VL_BYTE>(n >> 8));
    b.push_back(static_cast<VL_BYTE>(n));
    b.insert(b.end(), 11, 0);
    b.insert(b.end(), body.begin(), body.end());
}

// The example document: root "Module", name="abc", version "1.0", encoding "utf-8".
// clang-format off
const Bytes_t kExampleBody = {
    0x06, 'M', 'o', 'd', 'u', 'l', 'e', 0x04, 'n', 'a', 'm', 'e', 0x03, 0x9E, 0x9D, 0x9C, 0x00,  // string table
    0x02, 0x00, 0x03, '1', '.', '0',                                                           // version
    0x03, 0x00, 0x05, 'u', 't', 'f', '-', '8',                                                 // encoding
    0x10, 0x00, 0x00, 0x20, 0x00, 0x01, 0x00, 0x02, 0x11, 0x00, 0x00, 0x00};
// clang-format on

// The exception class thrown by Load, or "" when it loaded.
std::string LoadError(CVLDefineLoader& loader, const Bytes_t& b)
{
    try {
        loader.Load(b.data(), static_cast<VL_SIZE_T>(b.size()));
    } catch (EVLException* e) {
        CVLExceptionOwner owner(e);
        return Bytes(e->GetClassName());
    }
    return "";
}

std::string LoadError(const Bytes_t& b)
{
    CVLDefineLoader loader;
    return LoadError(loader, b);
}

Bytes_t XmlRecordFile(const Bytes_t& body)
{
    Bytes_t b = Header();
    Record(b, 1, body);
    return b;
}

std::string SaveToString(CVLDefineLoader& loader)
{
    CTestStream out;
    loader.Save(&out);
    return out.m_Data;
}

Bytes_t ToBytes(const std::string& s)
{
    return Bytes_t(s.begin(), s.end());
}

CVLScript* CompileInto(CVLScriptCollection& scripts, const std::string& strSource, const char* szName = "test.vls")
{
    CVLScriptCompiler compiler;
    CTextStream in(strSource);
    compiler.Compile(szName, &in, &scripts);
    return scripts.GetAt(scripts.GetCount() - 1);
}

}  // namespace

TEST(DefineLoader, TheExampleRecordReadsAndWritesByteForByte)
{
    CVLDefineLoader loader;
    ASSERT_EQ(LoadError(loader, XmlRecordFile(kExampleBody)), "");
    CVLXmlDocument* pDoc = loader.GetDocument("Module", false);
    ASSERT_NE(pDoc, nullptr);
    EXPECT_EQ(Bytes(pDoc->GetVersion()), "1.0");
    EXPECT_EQ(Bytes(pDoc->GetEncoding()), "utf-8");
    ASSERT_NE(pDoc->GetDocumentElement(), nullptr);
    EXPECT_EQ(Bytes(pDoc->GetDocumentElement()->GetAttribute("name")), "abc");

    CVLDefineLoader writer;
    CVLXmlDocument* pNew = writer.GetDocument("Module", true);
    CVLXmlElement* pRoot = pNew->CreateElement("Module");
    pNew->AppendChild(pRoot);
    pRoot->SetAttribute("name", "abc");
    Bytes_t expected = XmlRecordFile(kExampleBody);
    ASSERT_EQ(expected.size(), 64u + 59u);
    EXPECT_EQ(ToBytes(SaveToString(writer)), expected);
}

TEST(DefineLoader, HeaderBoundaries)
{
    Bytes_t b = Header();
    EXPECT_EQ(LoadError(b), "");  // 64 bytes: nothing to load, no failure
    b.pop_back();
    EXPECT_EQ(LoadError(b), "EVLUnsupportedException");
    EXPECT_EQ(LoadError(Header(0)), "");
    EXPECT_EQ(LoadError(Header(2)), "EVLUnsupportedException");
    EXPECT_EQ(LoadError(Header(1, 1)), "EVLUnsupportedException");
    Bytes_t bad = Header();
    bad[3] = 'X';
    EXPECT_EQ(LoadError(bad), "EVLUnsupportedException");
    EXPECT_EQ(LoadError(Bytes_t()), "EVLUnsupportedException");
}

TEST(DefineLoader, MalformedRecordsFailWithIOException)
{
    Bytes_t b = Header();
    b.push_back(0);  // a zero byte where a record head starts
    EXPECT_EQ(LoadError(b), "EVLIOException");

    Bytes_t longer = XmlRecordFile(kExampleBody);
    longer[64 + 4] += 1;  // the length runs one byte past the data
    EXPECT_EQ(LoadError(longer), "EVLIOException");

    Bytes_t noEnd = {0x03, 'a', 'b', 'c'};  // string table without its end byte
    EXPECT_EQ(LoadError(XmlRecordFile(noEnd)), "EVLIOException");

    Bytes_t badIndex = {0x01, 'a', 0x00, 0x10, 0x00, 0x01, 0x11, 0x00, 0x00, 0x00};
    EXPECT_EQ(LoadError(XmlRecordFile(badIndex)), "EVLIOException");

    // An attribute value's index equal to the table's size, after a valid
    // root name.
    Bytes_t badValueIndex = {0x01, 'a', 0x00, 0x10, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x01, 0x11, 0x00, 0x00, 0x00};
    EXPECT_EQ(LoadError(XmlRecordFile(badValueIndex)), "EVLIOException");
    badValueIndex[10] = 0x00;  // the same record with a valid value loads
    EXPECT_EQ(LoadError(XmlRecordFile(badValueIndex)), "");

    Bytes_t afterRoot = {0x01, 'a', 0x00, 0x10, 0x00, 0x00, 0x11, 0x00, 0x00, 0x30, 0x00, 0x01, 'x', 0x00};
    EXPECT_EQ(LoadError(XmlRecordFile(afterRoot)), "EVLIOException");
    Bytes_t secondRoot = {0x01, 'a',  0x00, 0x10, 0x00, 0x00, 0x11, 0x00,
                          0x00, 0x10, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00};
    EXPECT_EQ(LoadError(XmlRecordFile(secondRoot)), "EVLIOException");

    Bytes_t open = {0x01, 'a', 0x00, 0x10, 0x00, 0x00, 0x00};
    EXPECT_EQ(LoadError(XmlRecordFile(open)), "EVLIOException");

    Bytes_t wrongEnd = {0x01, 'a', 0x01, 'b', 0x00, 0x10, 0x00, 0x00, 0x11, 0x00, 0x01, 0x00};
    EXPECT_EQ(LoadError(XmlRecordFile(wrongEnd)), "EVLIOException");

    Bytes_t attrWithoutElement = {0x01, 'a', 0x00, 0x22, 0x00, 0x00, 0x00};
    EXPECT_EQ(LoadError(XmlRecordFile(attrWithoutElement)), "EVLIOException");

    Bytes_t trailing = {0x01, 'a', 0x00, 0x10, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(LoadError(XmlRecordFile(trailing)), "EVLIOException");

    Bytes_t zeroInText = {0x02, 'a', 0x00, 0x00};
    EXPECT_EQ(LoadError(XmlRecordFile(zeroInText)), "EVLIOException");

    // 65,537 one-byte entries do not fit 16-bit indexes.
    Bytes_t many;
    for (int i = 0; i < 65537; ++i) {
        many.push_back(1);
        many.push_back('a');
    }
    many.push_back(0);
    many.push_back(0);
    EXPECT_EQ(LoadError(XmlRecordFile(many)), "EVLIOException");
    many.erase(many.begin(), many.begin() + 2);
    EXPECT_EQ(LoadError(XmlRecordFile(many)), "");
}

TEST(DefineLoader, EndTagsMatchInAnyCaseAndEmptyTablesAreValid)
{
    Bytes_t caseEnd = {0x04, 'R',  'o',  'o',  't',  0x04, 'r', 'O',  'O',  'T',  0x00, 0x10,
                       0x00, 0x00, 0x30, 0x00, 0x02, 'h',  'i', 0x11, 0x00, 0x01, 0x00};
    CVLDefineLoader loader;
    ASSERT_EQ(LoadError(loader, XmlRecordFile(caseEnd)), "");
    CVLXmlDocument* pDoc = loader.GetDocument("Root", false);
    ASSERT_NE(pDoc, nullptr);
    EXPECT_EQ(Bytes(pDoc->GetDocumentElement()->GetText()), "hi");

    Bytes_t empty = {0x00, 0x00};
    EXPECT_EQ(LoadError(XmlRecordFile(empty)), "");
}

TEST(DefineLoader, DocumentNameTokenAndLaterDocumentsReplaceEarlierOnes)
{
    Bytes_t named = {0x01, 'a', 0x00, 0x01, 0x00, 0x03, 'D', 'o', 'c', 0x10, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00};
    Bytes_t first = {0x01, 'a', 0x01, 'x', 0x00, 0x10, 0x00, 0x00, 0x22, 0x00, 0x01, 0x11, 0x00, 0x00, 0x00};
    Bytes_t second = {0x01, 'a', 0x00, 0x10, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00};
    Bytes_t b = Header();
    Record(b, 1, named);
    Record(b, 1, first);
    Record(b, 1, second);
    CVLDefineLoader loader;
    ASSERT_EQ(LoadError(loader, b), "");
    EXPECT_NE(loader.GetDocument("Doc", false), nullptr);
    CVLXmlDocument* pDoc = loader.GetDocument("a", false);
    ASSERT_NE(pDoc, nullptr);
    EXPECT_EQ(pDoc->GetDocumentElement()->GetAttributeNode("x"), nullptr);
    EXPECT_EQ(loader.GetDocumentMap().size(), 2u);

    // Written back, the document keeps the name it is filed under.
    CVLDefineLoader again;
    ASSERT_EQ(LoadError(again, ToBytes(SaveToString(loader))), "");
    EXPECT_NE(again.GetDocument("Doc", false), nullptr);
    EXPECT_EQ(SaveToString(again), SaveToString(loader));
}

TEST(DefineLoader, InputBytesStayUnchangedAndScriptsOutliveThem)
{
    CVLScriptCollection scripts;
    CompileInto(scripts, "int Twice(int n) { return n * 2; }");
    CVLDefineLoader writer;
    CVLScript* pCopy = writer.GetScriptCollection().Add("Twice");
    *pCopy = *scripts.Find("Twice");
    CVLXmlDocument* pDoc = writer.GetDocument("Module", true);
    CVLXmlElement* pRoot = pDoc->CreateElement("Module");
    pDoc->AppendChild(pRoot);
    pRoot->SetAttribute("name", "abc");
    pRoot->SetText("text");
    Bytes_t* pData = new Bytes_t(ToBytes(SaveToString(writer)));
    const Bytes_t original = *pData;

    CVLDefineLoader loader;
    ASSERT_EQ(LoadError(loader, *pData), "");
    EXPECT_EQ(*pData, original);
    CVLDefineLoader again;
    ASSERT_EQ(LoadError(again, *pData), "");  // the same bytes load again
    delete pData;

    CVLScript* pScript = loader.GetScriptCollection().Find("Twice");
    ASSERT_NE(pScript, nullptr);
    CVLScriptParams params;
    params.Add()->SetInt(21);
    pScript->Execute(params, &loader.GetScriptCollection(), nullptr, nullptr);
    EXPECT_EQ(params.GetReturnValue().ToInt(0), 42);
}

TEST(DefineLoader, ScriptRecordsWithoutANameAreDroppedAndDuplicatesRefused)
{
    CScriptAssembler nameless("", "x.vls");
    nameless.Op(VLSCR_OP_RETURN);
    CScriptAssembler named("Fn", "x.vls");
    named.Op(VLSCR_OP_RETURN);
    Bytes_t b = Header();
    Record(b, 2, nameless.Build());
    Record(b, 2, named.Build());
    CVLDefineLoader loader;
    ASSERT_EQ(LoadError(loader, b), "");
    EXPECT_EQ(loader.GetScriptCollection().GetCount(), 1);
    Record(b, 2, named.Build());
    EXPECT_EQ(LoadError(b), "EVLInvalidParamException");

    Bytes_t broken = Header();
    Record(broken, 2, Bytes_t(10, 0));
    EXPECT_EQ(LoadError(broken), "EVLScriptException");
}

TEST(DefineLoader, AttributeValuesUseTheTableUpTo255BytesAndInlineBeyond)
{
    CVLDefineLoader writer;
    CVLXmlDocument* pDoc = writer.GetDocument("R", true);
    CVLXmlElement* pRoot = pDoc->CreateElement("R");
    pDoc->AppendChild(pRoot);
    std::string s255(255, 'v');
    std::string s256(256, 'w');
    pRoot->SetAttribute("a", s255.c_str());
    pRoot->SetAttribute("b", s256.c_str());
    pRoot->SetAttribute("c", "");
    std::string data = SaveToString(writer);
    // Tokens after the table: version, encoding, start, then the attributes.
    size_t nTokens = data.find(std::string("\x02\x00\x03"
                                           "1.0",
                                           6));
    ASSERT_NE(nTokens, std::string::npos);
    size_t nStart = nTokens + 6 + 8;
    EXPECT_EQ(static_cast<VL_BYTE>(data[nStart]), 0x10);
    EXPECT_EQ(static_cast<VL_BYTE>(data[nStart + 3]), 0x20);
    EXPECT_EQ(static_cast<VL_BYTE>(data[nStart + 8]), 0x21);
    EXPECT_EQ(static_cast<VL_BYTE>(data[nStart + 8 + 5 + 256]), 0x22);

    CVLDefineLoader loader;
    ASSERT_EQ(LoadError(loader, ToBytes(data)), "");
    CVLXmlElement* pRead = loader.GetDocument("R", false)->GetDocumentElement();
    EXPECT_EQ(Bytes(pRead->GetAttribute("a")), s255);
    EXPECT_EQ(Bytes(pRead->GetAttribute("b")), s256);
    ASSERT_NE(pRead->GetAttributeNode("c"), nullptr);
    EXPECT_EQ(Bytes(pRead->GetAttribute("c")), "");
    EXPECT_EQ(SaveToString(loader), data);
}

TEST(DefineLoader, TheWriterRefusesWhatItCannotStore)
{
    auto saveFails = [](const std::string& strName, const std::string& strValue, const std::string& strText) {
        CVLDefineLoader writer;
        CVLXmlDocument* pDoc = writer.GetDocument("R", true);
        CVLXmlElement* pRoot = pDoc->CreateElement(strName.c_str());
        pDoc->AppendChild(pRoot);
        if (!strValue.empty())
            pRoot->SetAttribute("a", strValue.c_str());
        if (!strText.empty())
            pRoot->SetText(strText.c_str());
        try {
            SaveToString(writer);
        } catch (EVLException* e) {
            CVLExceptionOwner owner(e);
            return Bytes(e->GetClassName()) == "EVLInvalidParamException";
        }
        return false;
    };
    EXPECT_FALSE(saveFails("R", std::string(65535, 'v'), std::string(65535, 't')));
    EXPECT_TRUE(saveFails("R", std::string(65536, 'v'), ""));
    EXPECT_TRUE(saveFails("R", "", std::string(65536, 't')));
    EXPECT_TRUE(saveFails(std::string(256, 'n'), "", ""));
    EXPECT_TRUE(saveFails("", "", ""));
    EXPECT_TRUE(saveFails("R", "\xff", ""));
}

TEST(DefineLoader, AFullStringTableTakesValuesInlineAndNamesNoMore)
{
    // 70,000 distinct short values: those past the table's 65,536 entries
    // are stored inline and read back the same.
    CVLDefineLoader writer;
    CVLXmlDocument* pDoc = writer.GetDocument("R", true);
    CVLXmlElement* pRoot = pDoc->CreateElement("R");
    pDoc->AppendChild(pRoot);
    const int kValues = 70000;
    for (int i = 0; i < kValues; ++i) {
        CVLXmlElement* p = pDoc->CreateElement("E");
        pRoot->AppendChild(p);
        p->SetAttribute("v", std::to_string(i).c_str());
    }
    std::string data = SaveToString(writer);
    CVLDefineLoader reader;
    ASSERT_EQ(LoadError(reader, ToBytes(data)), "");
    EXPECT_TRUE(pRoot->IsEqualNode(reader.GetDocument("R", false)->GetDocumentElement()));

    // Names have no inline form: the 65,537th distinct name fails with words.
    CVLDefineLoader names;
    pDoc = names.GetDocument("R", true);
    pRoot = pDoc->CreateElement("R");
    pDoc->AppendChild(pRoot);
    for (int i = 0; i < 65536; ++i)
        pRoot->AppendChild(pDoc->CreateElement(("n" + std::to_string(i)).c_str()));
    try {
        SaveToString(names);
        ADD_FAILURE() << "65,537 names were written";
    } catch (EVLException* e) {
        EXPECT_EQ(Bytes(e->GetClassName()), "EVLInvalidParamException");
        e->Delete();
    }
    EXPECT_NE(names.GetErrorText().find("document R: the string table is full"), std::string::npos)
        << names.GetErrorText();
}

TEST(DefineLoader, EveryTruncationFailsCleanlyOrLoadsWholeRecords)
{
    CVLScriptCollection scripts;
    CompileInto(scripts, "int F(int n) { return n + 1; }");
    CVLDefineLoader writer;
    *writer.GetScriptCollection().Add("F") = *scripts.Find("F");
    CVLXmlDocument* pDoc = writer.GetDocument("Root", true);
    CVLXmlElement* pRoot = pDoc->CreateElement("Root");
    pDoc->AppendChild(pRoot);
    CVLXmlElement* pChild = pDoc->CreateElement("Child");
    pRoot->AppendChild(pChild);
    pChild->SetAttribute("name", "value");
    pChild->SetText("text");
    Bytes_t full = ToBytes(SaveToString(writer));
    size_t nScript = full.size() - 16 - scripts.Find("F")->GetSize();
    for (size_t n = 0; n < full.size(); ++n) {
        Bytes_t cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        std::string s = LoadError(cut);
        if (n < 64)
            EXPECT_EQ(s, "EVLUnsupportedException") << n;
        else if (n == 64 || n == nScript)
            EXPECT_EQ(s, "") << n;
        else
            EXPECT_EQ(s, "EVLIOException") << n;
    }
}

TEST(DefineLoader, UnscrambleTextIsItsOwnInverse)
{
    CVLString s("abc", VL_CHARSET_UTF8);
    CVLString t = CVLDefineLoader::UnscrambleText(s);
    EXPECT_EQ(Bytes(t), "\x9e\x9d\x9c");
    EXPECT_EQ(Bytes(CVLDefineLoader::UnscrambleText(t)), "abc");
    EXPECT_EQ(CVLDefineLoader::UnscrambleText(CVLString(VL_CHARSET_UTF8)).GetLength(), 0);
}

TEST(DefineFormatException, NamesTagAndAttribute)
{
    EVLDefineFormatException* e = new EVLDefineFormatException("VLCMApi", "X", 1, "Instance", "name");
    EXPECT_EQ(Bytes(e->GetClassName()), "EVLDefineFormatException");
    EXPECT_EQ(Bytes(e->ToString()), "EVLDefineFormatException: Tag name=Instance: Attribute name=name");
    e->Delete();
}

TEST(DefineLoader, NestingStopsWhereTheXmlReaderStops)
{
    auto nested = [](int nDepth) {
        Bytes_t body = {0x01, 'e', 0x00};
        for (int i = 0; i < nDepth; ++i)
            body.insert(body.end(), {0x10, 0x00, 0x00});
        for (int i = 0; i < nDepth; ++i)
            body.insert(body.end(), {0x11, 0x00, 0x00});
        body.push_back(0x00);
        return XmlRecordFile(body);
    };
    std::string saved;
    {
        CVLDefineLoader loader;
        ASSERT_EQ(LoadError(loader, nested(CVLDefineLoader::MAX_DEPTH)), "");
        saved = SaveToString(loader);
    }
    CVLDefineLoader again;
    ASSERT_EQ(LoadError(again, ToBytes(saved)), "");
    EXPECT_EQ(SaveToString(again), saved);
    // One level more, or a resource nested 200,000 deep, is refused with the
    // reason; so is writing a tree one level too deep.
    for (int nDepth : {CVLDefineLoader::MAX_DEPTH + 1, 200000}) {
        CVLDefineLoader loader;
        EXPECT_EQ(LoadError(loader, nested(nDepth)), "EVLIOException");
        EXPECT_EQ(loader.GetErrorText(), "elements nest deeper than 100 levels");
        EXPECT_TRUE(loader.GetDocumentMap().empty());
    }
    CVLXmlElement* pDeepest = again.GetDocument("e", false)->GetDocumentElement();
    while (!pDeepest->GetChildNodes()->IsEmpty())
        pDeepest = static_cast<CVLXmlElement*>(pDeepest->GetChildNodes()->Item(0));
    pDeepest->AppendChild(again.GetDocument("e", false)->CreateElement("e"));
    try {
        SaveToString(again);
        ADD_FAILURE() << "a tree 101 levels deep was written";
    } catch (EVLException* e) {
        EXPECT_EQ(Bytes(e->GetClassName()), "EVLInvalidParamException");
        e->Delete();
    }
    EXPECT_EQ(again.GetErrorText(), "document e: elements nest deeper than 100 levels");
}

namespace {

void AddMapping(CVLDefineLoader& loader)
{
    CVLXmlDocument* pDoc = loader.GetDocument("ModuleMapping", true);
    CVLXmlElement* pRoot = pDoc->CreateElement("ModuleMapping");
    pDoc->AppendChild(pRoot);
    const char* names[] = {"VLMDExecFunc", "", "VLMDSock"};
    for (const char* sz : names) {
        CVLXmlElement* p = pDoc->CreateElement("Module");
        pRoot->AppendChild(p);
        if (*sz != 0)
            p->SetAttribute("name", sz);
    }
}

}  // namespace

TEST(DefineLoader, GeneratedSourceListsTheMappedModulesAndTheBytes)
{
    CVLDefineLoader loader;
    CTestStream none;
    none.SetName("out/VLCMDefine.cpp");
    loader.WriteCSource(&none, nullptr);  // no mapping, no data
    EXPECT_EQ(none.m_Data, "#define __THIS_LOGID__\tVL_TEXT(\"VLCMApi\")\r\n"
                           "#define __THIS_FILE__\tVL_TEXT(\"VLCMDefine.cpp\")\r\n\r\n\r\n"
                           "void CVLCMApi::InitializeModuleLibraries(CVLCMApi& api)\r\n{\r\n}\r\n");

    AddMapping(loader);
    CTestStream empty;
    CTestStream noBytes;
    loader.WriteCSource(&empty, &noBytes);
    EXPECT_NE(empty.m_Data.find("#include <VLMDExecFunc.h>\r\n#include <VLMDSock.h>\r\n\r\n"
                                "VL_BYTE g_VLCMDEF[] = {\r\n};\r\n"),
              std::string::npos);
    EXPECT_NE(empty.m_Data.find("{\r\n\tVL_ADD_MODULE_STATIC_LIBRARY(api, \"VLMDExecFunc\", CVLMDExecFunc);\r\n"
                                "\tVL_ADD_MODULE_STATIC_LIBRARY(api, \"VLMDSock\", CVLMDSock);\r\n}\r\n"),
              std::string::npos);

    CTestStream out;
    CTestStream bytes(std::string(16, '\x0A') + "\xff");
    loader.WriteCSource(&out, &bytes);
    EXPECT_NE(out.m_Data.find("= {\r\n\t0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, "
                              "0x0a, 0x0a, 0x0a, 0x0a,\r\n\t0xff\r\n};\r\n"),
              std::string::npos);
    EXPECT_FALSE(out.IsOpen());
}

TEST(DefineLoader, LibraryListFillsTheTemplate)
{
    CVLDefineLoader loader;
    AddMapping(loader);
    CTestStream out;
    CTestStream emptyTemplate;
    loader.WriteLibList(&out, &emptyTemplate);
    EXPECT_EQ(out.m_nOpens, 0);  // nothing written, not even an empty file
    CTestStream tmpl("LIBS = \\\r\n$(VLCMAPI_LIBLIST)\r\n");
    loader.WriteLibList(&out, &tmpl);
    EXPECT_EQ(out.m_Data, "LIBS = \\\r\n\t\"$(VLCMAPI_INLIBDIR)/VLCMApiLib.lib\" \\\r\n"
                          "\t\"$(VLCMAPI_INLIBDIR)/VLMDExecFuncLib.lib\" \\\r\n"
                          "\t\"$(VLCMAPI_INLIBDIR)/VLMDSockLib.lib\" \\\r\n\r\n");
}

TEST(DefineLoader, CreatedDocumentsAreReplacedByLoadedOnes)
{
    CVLDefineLoader loader;
    CVLXmlDocument* pEmpty = loader.GetDocument("Module", true);
    EXPECT_EQ(loader.GetDocument("Module", true), pEmpty);
    EXPECT_EQ(pEmpty->GetDocumentElement(), nullptr);
    ASSERT_EQ(LoadError(loader, XmlRecordFile(kExampleBody)), "");
    CVLXmlDocument* pLoaded = loader.GetDocument("Module", false);
    ASSERT_NE(pLoaded, nullptr);
    EXPECT_NE(pLoaded->GetDocumentElement(), nullptr);
}
