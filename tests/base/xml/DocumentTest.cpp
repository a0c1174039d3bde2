#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

#include "tests/support/TestSupport.h"
#include "base/stream/VLStringStream.h"
#include "base/xml/VLXmlDocument.h"
#include "base/xml/VLXmlException.h"
#include "base/xml/VLXmlStream.h"
#include "tests/support/XmlTestStream.h"

namespace {

std::string SaveToString(CVLXmlDocument& doc)
{
    CTestStream out;
    doc.Save(&out);
    EXPECT_FALSE(out.IsOpen());
    return out.m_Data;
}

// Loads data; returns "" or the exception text.
std::string LoadString(CVLXmlDocument& doc, const std::string& data, size_t nChunk = 1 << 20)
{
    CTestStream in(data, nChunk);
    try {
        doc.Load(&in);
    } catch (EVLException* e) {
        std::string s = Bytes(e->ToString());
        e->Delete();
        EXPECT_FALSE(in.IsOpen());
        return s;
    }
    EXPECT_FALSE(in.IsOpen());
    EXPECT_EQ(1, in.m_nCloses);
    return "";
}

std::string Utf16(const std::string& ascii, bool bBig, bool bBom)
{
    std::string out;
    if (bBom)
        out += bBig ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : ascii)
        out += bBig ? std::string{'\0', c} : std::string{c, '\0'};
    return out;
}

CVLXmlDocument* BuildSample()
{
    CVLXmlDocument* doc = new CVLXmlDocument;
    CVLXmlElement* r = doc->CreateElement("r");
    doc->AppendChild(r);
    r->SetAttribute("a", "1");
    r->AppendChild(doc->CreateElement("c"));
    return doc;
}

}  // namespace

TEST(XmlDocument, WriterFlags)
{
    CVLXmlDocument empty;
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?>", SaveToString(empty));
    empty.SetVersion("");
    empty.SetEncoding("");
    EXPECT_EQ("<?xml?>", SaveToString(empty));

    CVLXmlDocument* doc = BuildSample();
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?><r a=\"1\"><c/></r>", SaveToString(*doc));
    doc->SetFormat(true);
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<r a=\"1\">\r\n\t<c/>\r\n</r>\r\n", SaveToString(*doc));
    doc->SetLineEnd(false);
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?><r a=\"1\">\t<c/></r>", SaveToString(*doc));
    doc->SetLineEnd(true);
    doc->SetIndentText("  ");
    doc->SetLineEndText("\n");
    doc->GetDocumentElement()->FindChildElement("c")->AppendChild(doc->CreateElement("d"));
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<r a=\"1\">\n  <c>\n    <d/>\n  </c>\n</r>\n",
              SaveToString(*doc));
    doc->Delete();

    CVLXmlDocument d2;
    CVLXmlElement* e = d2.CreateElement("e");
    d2.AppendChild(e);
    e->AppendChild(d2.CreateTextNode("a<b"));
    e->SetAttribute("q", "\"x'&>");
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?><e q=\"&quot;x&apos;&amp;&gt;\">a&lt;b</e>",
              SaveToString(d2));
    EXPECT_EQ("<e q=\"\"x'&>\">a<b</e>", Bytes(e->GetXml(false)));
    EXPECT_EQ("<e q=\"\"x'&>\"/>", Bytes(e->GetXml(true)));
    CTestStream one;
    e->SaveElementXml(&one, true);
    EXPECT_EQ("<e q=\"&quot;x&apos;&amp;&gt;\">a&lt;b</e>", one.m_Data);
    EXPECT_EQ("<e q=\"\"x'&>\">a<b</e>", Bytes(e->GetXml(false)));  // escaping ends with the call
    d2.SetEscape(false);
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?><e q=\"\"x'&>\">a<b</e>", SaveToString(d2));
    e->RemoveChild(e->GetFirstTextNode());
    e->AppendChild(d2.CreateComment("a<b"));
    d2.SetEscape(true);
    EXPECT_EQ("<e q=\"&quot;x&apos;&amp;&gt;\"><!--a<b--></e>", SaveToString(d2).substr(38));

    CVLXmlDocument d3;
    CVLXmlElement* f = d3.CreateElement("e");
    d3.AppendChild(f);
    f->AppendChild(d3.CreateTextNode("\n\t\t"));
    EXPECT_EQ("<e/>", Bytes(f->GetXml(false)));
    f->AppendChild(d3.CreateTextNode("\n\tx\t\n"));
    d3.SetFormat(true);
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<e>x</e>\r\n", SaveToString(d3));
}

namespace {
// A text node of a class of its own: it writes itself.
class CShoutingText : public CVLXmlText
{
public:
    void WriteXml(IVLStream* pStream, int, bool, bool) const override { CVLXmlDocument::WriteText(pStream, "LOUD"); }
};
}  // namespace

TEST(XmlDocument, SaveWritesWhatTheNodesWrite)
{
    // Every writer setting over mixed content: Save's one-buffer writer and
    // the nodes' own WriteXml give the same bytes.
    CVLXmlDocument doc;
    ASSERT_EQ("", LoadString(doc, "<r a=\"x&#9;y&#10;z&#13;&lt;&amp;&quot;'\">\n\t<c/>\n\t<d b='1'>text&#13; &lt;here&gt;"
                                  "\t\n</d><!--note--><e>\n<f>\t<g/>mixed</f></e>\t\n</r>"));
    CVLXmlElement* pRoot = doc.GetDocumentElement();
    CVLXmlText* pOwn = new CShoutingText();
    pOwn->SetOwnerDocument(&doc);
    pRoot->AppendChild(pOwn);
    pRoot->AppendChild(doc.CreateTextNode(std::string(100000, 'w').c_str()));
    CVLXmlElement* pLoose = doc.CreateElement("loose");
    pLoose->SetAttribute("v", "<&>");
    pRoot->AppendChild(pLoose);
    pLoose->SetOwnerDocument(nullptr);  // a node without a document: nothing indented or escaped
    for (int nCase = 0; nCase < 16; ++nCase) {
        doc.SetFormat((nCase & 1) != 0);
        doc.SetLineEnd((nCase & 2) != 0);
        doc.SetEscape((nCase & 4) != 0);
        doc.SetIndentText((nCase & 8) != 0 ? "  " : "\t");
        doc.SetLineEndText((nCase & 8) != 0 ? "\n" : "\r\n");
        const std::string saved = SaveToString(doc);
        CTestStream nodes;
        if ((nCase & 4) != 0)
            doc.FillEscapeTable();
        doc.WriteXml(&nodes, 0, false, false);
        doc.ClearEscapeTable();
        EXPECT_EQ(nodes.m_Data, saved) << nCase;
        EXPECT_NE(std::string::npos, saved.find("LOUD"));
    }
}

TEST(XmlDocument, LoadKeepsWhitespaceAndComments)
{
    CVLXmlDocument doc;
    const std::string src =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r x=\"1\">\n  <a>t&amp;u</a>\n  <!-- c -->\n"
        "  <![CDATA[dropped]]><?pi dropped?>\n</r>";
    ASSERT_EQ("", LoadString(doc, src));
    EXPECT_EQ("UTF-8", Bytes(doc.GetEncoding()));
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"UTF-8\"?><r x=\"1\">\n  <a>t&amp;u</a>\n  <!-- c -->\n  \n</r>",
              SaveToString(doc));
    ASSERT_EQ("", LoadString(doc, "<r/>"));
    EXPECT_EQ("1.0", Bytes(doc.GetVersion()));
    EXPECT_EQ("utf-8", Bytes(doc.GetEncoding()));
    ASSERT_EQ("", LoadString(doc, "<?xml version=\"1.0\"?><r/>"));
    EXPECT_EQ("", Bytes(doc.GetEncoding()));
    EXPECT_EQ("<?xml version=\"1.0\"?><r/>", SaveToString(doc));
}

TEST(XmlDocument, NamespacesBecomeAttributes)
{
    CVLXmlDocument doc;
    ASSERT_EQ("", LoadString(doc, "<p:r xmlns:p=\"U\" a=\"1\" xmlns=\"D\"><p:c p:k=\"v\"/><d xmlns:q='Q' q:z='1'/></p:r>"));
    EXPECT_EQ("<p:r xmlns:p=\"U\" xmlns=\"D\" a=\"1\"><p:c p:k=\"v\"/><d xmlns:q=\"Q\" q:z=\"1\"/></p:r>",
              Bytes(doc.GetDocumentElement()->GetXml(false)));
    EXPECT_EQ("U", Bytes(doc.GetDocumentElement()->FindChildElement("p:c")->GetNamespaceURI()));
}

// The start-tag mark that tells declarations from the other attributes
// belongs to each open element: a sibling's declarations do not move it.
TEST(XmlDocument, NamespaceDeclarationsKeepTheirOrderOverRoundTrips)
{
    const std::string src = "<r><r xmlns=\"\"/><g xmlns:p=\"\" xmlns=\"\"/></r>";
    std::string text = src;
    for (int i = 0; i < 3; ++i) {
        CVLXmlDocument doc;
        ASSERT_EQ("", LoadString(doc, text));
        text = Bytes(doc.GetDocumentElement()->GetXml(false));
        EXPECT_EQ(src, text) << i;
    }
    CVLXmlDocument doc;
    ASSERT_EQ("", LoadString(doc, "<a xmlns:x='1'><b xmlns:y='2' k='v' xmlns='3'/><c xmlns:z='4' j='w'/></a>"));
    EXPECT_EQ("<a xmlns:x=\"1\"><b xmlns:y=\"2\" xmlns=\"3\" k=\"v\"/><c xmlns:z=\"4\" j=\"w\"/></a>",
              Bytes(doc.GetDocumentElement()->GetXml(false)));
}

// Blanks in attribute values read back as spaces; the writer escapes them
// so that what it wrote reads back unchanged.
TEST(XmlDocument, LineEndsInAttributeValues)
{
    CVLXmlDocument doc;
    ASSERT_EQ("", LoadString(doc, "<a v='x\ny' w='p\r\nq' t='1\t2'/>"));
    CVLXmlElement* pRoot = doc.GetDocumentElement();
    EXPECT_EQ("x y", Bytes(pRoot->GetAttribute("v")));
    EXPECT_EQ("p q", Bytes(pRoot->GetAttribute("w")));
    EXPECT_EQ("1 2", Bytes(pRoot->GetAttribute("t")));
    pRoot->SetAttribute("v", "x\ny");
    CVLXmlDocument back;
    ASSERT_EQ("", LoadString(back, SaveToString(doc)));
    EXPECT_EQ("x\ny", Bytes(back.GetDocumentElement()->GetAttribute("v")));
}

// Odd-length UTF-16 is refused in both byte orders, whatever the odd byte.
TEST(XmlDocument, OddLengthUtf16IsRefusedInBothOrders)
{
    for (bool bBig : {false, true}) {
        for (char cOdd : {'\0', 'A', '\x1a'}) {
            CVLXmlDocument doc;
            std::string data = Utf16("<r/>", bBig, true) + std::string(1, cOdd);
            EXPECT_EQ(0u, LoadString(doc, data).find("EVLXmlException: Xml error code=5 : Parser error code=1"))
                << bBig << int(cOdd);
        }
    }
}

// A failure that Load's catch ladder converts carries the ladder's line.
TEST(XmlDocument, LoadLadderReportsItsLine)
{
    class CThrowingStream : public CTestStream
    {
    public:
        VL_SIZE_T Read(VL_BYTE*, VL_SIZE_T) override { throw 42; }
    };
    CThrowingStream in;
    CVLXmlDocument doc;
    try {
        doc.Load(&in);
        ADD_FAILURE();
    } catch (EVLException* e) {
        EXPECT_EQ("EVLUnexpectedException", Bytes(e->GetClassName()));
        EXPECT_EQ(438, e->GetLine());
        e->Delete();
    }
}

TEST(XmlDocument, LoadErrors)
{
    CVLXmlDocument doc;
    EXPECT_EQ("EVLXmlException: Xml error code=1 : test.xml", LoadString(doc, "<?xml version=\"1.1\"?><r/>"));
    EXPECT_EQ("EVLXmlException: Xml error code=5 : Parser error code=1(PXP_SYNTAX_ERROR) : test.xml : <b/>",
              LoadString(doc, "<a><b>"));
    // What was read stays.
    EXPECT_EQ("<a><b/></a>", Bytes(doc.GetDocumentElement()->GetXml(false)));
    EXPECT_EQ("EVLXmlException: Xml error code=5 : Parser error code=1(PXP_SYNTAX_ERROR) : test.xml",
              LoadString(doc, ""));
    EXPECT_EQ(nullptr, doc.GetDocumentElement());
    EXPECT_EQ(0, LoadString(doc, "<a b='1'>&#0;</a>").find("EVLXmlException: Xml error code=5 : Parser error code=1"));
    std::string deep;
    for (int i = 0; i < 5000; ++i)
        deep += "<e>";
    EXPECT_EQ(0u, LoadString(doc, deep).find("EVLXmlException: Xml error code=5 : Parser error code=6"));
    // A failing stream passes its exception on, and is closed.
    CTestStream bad("<a/>");
    bad.m_bFailRead = true;
    try {
        doc.Load(&bad);
        ADD_FAILURE();
    } catch (EVLException* e) {
        EXPECT_EQ("EVLIOException", Bytes(e->GetClassName()));
        e->Delete();
    }
    EXPECT_FALSE(bad.IsOpen());
    // An open stream stays open.
    CTestStream open("<a/>");
    open.Open(VL_OPEN_READ);
    doc.Load(&open);
    EXPECT_TRUE(open.IsOpen());
}

TEST(XmlDocument, XmlStreamEndsWithMarker)
{
    CTestStream empty("");
    CVLXmlStream in(&empty);
    char buf[8] = {0};
    EXPECT_EQ(1, in.Read(buf, 8));
    EXPECT_EQ(0x1A, buf[0]);
    EXPECT_EQ(0, in.Read(buf, 8));
    EXPECT_EQ(0, in.Read(buf, 8));
}

TEST(XmlDocument, Utf16DocumentsLoadWithAndWithoutMark)
{
    const std::string src = "<?xml version=\"1.0\" encoding=\"UTF-16\"?><r a=\"x\">text</r>";
    for (bool bBig : {false, true}) {
        for (bool bBom : {false, true}) {
            for (size_t nChunk : {size_t(1), size_t(3), size_t(1) << 20}) {
                CVLXmlDocument doc;
                // Without a mark the declaration tells UTF-16 apart.
                std::string data = Utf16(bBom && nChunk == 3 ? "<r a=\"x\">text</r>" : src, bBig, bBom);
                ASSERT_EQ("", LoadString(doc, data, nChunk)) << bBig << bBom << nChunk;
                EXPECT_EQ("<r a=\"x\">text</r>", Bytes(doc.GetDocumentElement()->GetXml(false)));
            }
        }
    }
}

TEST(XmlDocument, RoundTripsInEveryEncoding)
{
    // Hiragana A, half-width katakana A and a kanji in each encoding.
    struct
    {
        const char* szDecl;
        std::string body;
    } cases[] = {
        {"Shift_JIS", "<r k=\"\x82\xA0\">\xB1\x93\xFA</r>"},
        {"EUC-JP", "<r k=\"\xA4\xA2\">\x8E\xB1\xC6\xFC</r>"},
        {"UTF-8", "<r k=\"\xE3\x81\x82\">\xEF\xBD\xB1\xE6\x97\xA5</r>"},
    };
    const std::string expectRoot = "<r k=\"\xE3\x81\x82\">\xEF\xBD\xB1\xE6\x97\xA5</r>";
    for (auto& c : cases) {
        CVLXmlDocument doc;
        std::string data = std::string("<?xml version=\"1.0\" encoding=\"") + c.szDecl + "\"?>" + c.body;
        ASSERT_EQ("", LoadString(doc, data)) << c.szDecl;
        EXPECT_EQ(c.szDecl, Bytes(doc.GetEncoding()));
        std::string saved = SaveToString(doc);
        EXPECT_EQ(0u, saved.find("<?xml version=\"1.0\" encoding=\"")) << saved;
        EXPECT_NE(std::string::npos, saved.find(expectRoot));
        CVLXmlDocument again;
        ASSERT_EQ("", LoadString(again, saved)) << saved;
        EXPECT_TRUE(again.GetDocumentElement()->IsEqualNode(doc.GetDocumentElement()));
        EXPECT_EQ(saved, SaveToString(again));
    }
    // UTF-16 too: the saved declaration names UTF-8, the bytes written.
    CVLXmlDocument doc;
    ASSERT_EQ("", LoadString(doc, Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r>x</r>", true, true)));
    std::string saved = SaveToString(doc);
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?><r>x</r>", saved);
    CVLXmlDocument again;
    ASSERT_EQ("", LoadString(again, saved));
}

TEST(XmlDocument, CopiesAndImports)
{
    CVLXmlDocument* doc = BuildSample();
    doc->SetFormat(true);
    doc->SetSpareTextA("A");
    CVLXmlDocument copy;
    copy = *doc;
    EXPECT_TRUE(copy.IsEqualNode(doc));
    EXPECT_TRUE(copy.GetFormat());
    EXPECT_EQ("A", Bytes(copy.GetSpareTextA()));
    EXPECT_EQ(&copy, copy.GetDocumentElement()->GetOwnerDocument());
    EXPECT_EQ(&copy, copy.GetDocumentElement()->GetParentNode());
    copy.SetVersion("1.1");
    EXPECT_FALSE(copy.IsEqualNode(doc));
    IVLXmlNode* imported = copy.ImportNode(doc);
    EXPECT_TRUE(imported->IsEqualNode(doc));
    imported->Delete();
    try {
        copy.ImportNode(nullptr);
        ADD_FAILURE();
    } catch (EVLXmlException* e) {
        EXPECT_EQ(4, e->GetXmlErrorCode());
        EXPECT_EQ(796, e->GetLine());
        e->Delete();
    }
    doc->Delete();
}

TEST(XmlDocument, BlanksFromReferencesSurviveARoundTrip)
{
    CVLXmlDocument doc;
    ASSERT_EQ("", LoadString(doc, "<r a=\"x&#9;y&#10;z&#13;\">1&#13;2\r\n3</r>"));
    EXPECT_EQ("x\ty\nz\r", Bytes(doc.GetDocumentElement()->GetAttribute("a")));
    std::string saved = SaveToString(doc);
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?><r a=\"x&#9;y&#10;z&#13;\">1&#13;2\n3</r>", saved);
    CVLXmlDocument again;
    ASSERT_EQ("", LoadString(again, saved));
    EXPECT_TRUE(again.IsEqualNode(&doc));
}

TEST(XmlDocument, EscapingFindsEveryByteToReplaceInLongValues)
{
    // Texts and attribute values of every length up to 80 bytes, with bytes
    // to replace at any position among bytes kept as they are (low control
    // bytes, UTF-8 and other punctuation), sparse in some and dense in others.
    auto escape = [](char c, bool bAttribute) -> std::string {
        switch (c) {
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '&':
            return "&amp;";
        case '\'':
            return "&apos;";
        case '"':
            return "&quot;";
        case '\r':
            return "&#13;";
        case '\t':
            return bAttribute ? "&#9;" : "\t";
        case '\n':
            return bAttribute ? "&#10;" : "\n";
        default:
            return std::string(1, c);
        }
    };
    const char* const pieces[] = {"<",  ">",    "&",    "'",        "\"", "\r", "\t",
                                  "\n", "\x01", "\x0c", "\xC3\xA9", "=",  "?",  "%"};
    std::mt19937 rng(39);
    for (int nLength = 1; nLength <= 80; ++nLength) {
        std::string text;
        while (text.size() < static_cast<size_t>(nLength))
            text += rng() % (nLength % 2 == 0 ? 16 : 2) != 0 ? "a" : pieces[rng() % 14];
        std::string strText, strAttribute;
        for (char c : text) {
            strText += escape(c, false);
            strAttribute += escape(c, true);
        }
        CVLXmlDocument doc;
        CVLXmlElement* pRoot = doc.CreateElement("r");
        doc.AppendChild(pRoot);
        pRoot->SetAttribute("a", text.c_str());
        pRoot->AppendChild(doc.CreateTextNode(text.c_str()));
        EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?><r a=\"" + strAttribute + "\">" + strText + "</r>",
                  SaveToString(doc));
    }
}

TEST(XmlDocument, LoadReportsWhereItStopped)
{
    CVLXmlDocument doc;
    EXPECT_NE("", LoadString(doc, "<r>\n  <a>\n</b></r>"));
    EXPECT_EQ(3u, doc.GetLoadLine());
    EXPECT_EQ(3u, doc.GetLoadColumn());
    std::string big = "<r>";
    for (int i = 0; i < 3000; ++i)
        big += "<x a='1'/>\n";
    EXPECT_NE("", LoadString(doc, big + "<y></z></r>", 7));
    EXPECT_EQ(3001u, doc.GetLoadLine());
    EXPECT_EQ(6u, doc.GetLoadColumn());
}

// Lines are carried from chunk to chunk and counted once within one: every
// element keeps the line of its tag whatever the chunk size, with CRLF line
// ends, line feeds inside comments, CDATA, texts, tags and attribute values,
// and in UTF-16.
TEST(XmlDocument, ElementLinesHoldAcrossChunksAndCrlf)
{
    std::string src = "<?xml version=\"1.0\"?>\r\n<r>\r\n";
    std::vector<unsigned long> expected;
    auto line = [&src]() { return 1ul + static_cast<unsigned long>(std::count(src.begin(), src.end(), '\n')); };
    for (int i = 0; i < 40; ++i) {
        expected.push_back(line());
        src += "<e i='" + std::to_string(i) + "'/>";
        switch (i % 5) {
        case 0:
            src += "\r\n";
            break;
        case 1:
            src += "<!-- a\r\nb\n -->";
            break;
        case 2:
            src += "<![CDATA[\n\r\n]]>text\r\n\r\n";
            break;
        case 3:
            src += "<f a='1\n2'\n b='&#10;'\r\n/>";
            break;
        default:
            src += "<?pi x\n?>\n";
            break;
        }
    }
    src += "</r>\r\n";
    const size_t chunks[] = {1, 2, 3, 7, 16, 1 << 20};
    for (bool bUtf16 : {false, true}) {
        const std::string data = bUtf16 ? Utf16(src, false, true) : src;
        for (size_t nChunk : chunks) {
            SCOPED_TRACE("chunk " + std::to_string(nChunk) + (bUtf16 ? " utf-16" : ""));
            CVLXmlDocument doc;
            ASSERT_EQ("", LoadString(doc, data, nChunk));
            CVLXmlNodeList found(false);
            doc.GetElementsByTagName("e", &found);
            ASSERT_EQ(static_cast<int>(expected.size()), found.GetLength());
            for (size_t i = 0; i < expected.size(); ++i)
                EXPECT_EQ(expected[i], static_cast<CVLXmlElement*>(found.Item(static_cast<int>(i)))->GetLoadLine())
                    << "element " << i;
            CVLXmlDocument bad;
            const std::string strBad = src.substr(0, src.size() - 6) + "\r\n  </z>";
            EXPECT_NE("", LoadString(bad, bUtf16 ? Utf16(strBad, false, true) : strBad, nChunk));
            EXPECT_EQ(line(), bad.GetLoadLine());
            EXPECT_EQ(5u, bad.GetLoadColumn());
        }
    }
}

// An element keeps its line in 24 bits: the lines up to the last it can hold
// are exact, and any later one reads as that last line rather than wrapping
// round to a small, wrong one.
TEST(XmlDocument, ElementLinesPastTheLastKeptReadAsTheLast)
{
    const VL_ULONG nMax = CVLXmlElement::kMaxLoadLine;
    ASSERT_EQ(16777215u, nMax);
    std::string src = "<r>" + std::string(nMax - 2, '\n') + "<a/>\n<b/>\n<c/>\n<d/></r>";
    CVLXmlDocument doc;
    ASSERT_EQ("", LoadString(doc, src, 1 << 20));
    const VL_ULONG expected[] = {nMax - 1, nMax, nMax, nMax};
    const char* const names[] = {"a", "b", "c", "d"};
    for (int i = 0; i < 4; ++i) {
        CVLXmlElement* pElement = doc.GetDocumentElement()->FindChildElement(names[i]);
        ASSERT_NE(nullptr, pElement);
        EXPECT_EQ(expected[i], pElement->GetLoadLine()) << names[i];
    }
    CVLXmlElement* pBuilt = doc.CreateElement("e");
    doc.GetDocumentElement()->AppendChild(pBuilt);
    EXPECT_EQ(0u, pBuilt->GetLoadLine());
    pBuilt->SetLoadLine(0xFFFFFFFFu);
    EXPECT_EQ(nMax, pBuilt->GetLoadLine());
}

TEST(XmlDocument, LoadedNodesCanBeChangedRemovedAndOutliveNothing)
{
    // Many elements and attributes, long and short values.
    std::string data = "<r xmlns:p=\"urn:p\">";
    for (int i = 0; i < 300; ++i) {
        data += "<e i=\"" + std::to_string(i) + "\" p:long=\"" + std::string(static_cast<size_t>(i % 90), 'v') +
                "\">t" + std::to_string(i) + "<!--c--><f/></e>";
    }
    data += "</r>";
    CVLXmlDocument doc;
    ASSERT_EQ("", LoadString(doc, data));
    CVLXmlElement* pRoot = doc.GetDocumentElement();
    ASSERT_EQ(300, pRoot->GetChildNodes()->GetLength());
    CVLXmlElement* pFirst = static_cast<CVLXmlElement*>(pRoot->GetChildNodes()->Item(0));
    CVLXmlElement* pLast = static_cast<CVLXmlElement*>(pRoot->GetChildNodes()->Item(299));
    EXPECT_EQ(std::string(299 % 90, 'v'), Bytes(pLast->GetAttribute("p:long")));
    // Loaded nodes take new values, attributes and children of any size.
    pFirst->SetAttribute("i", std::string(500, 'x').c_str());
    pFirst->SetAttribute("added", "1");
    for (int i = 0; i < 20; ++i)
        pFirst->AppendChild(doc.CreateElement("n"));
    pFirst->GetFirstTextNode()->SetNodeValue(std::string(300, 't').c_str());
    pLast->SetNodeName("renamed");
    EXPECT_EQ(std::string(500, 'x'), Bytes(pFirst->GetAttribute("i")));
    EXPECT_EQ(23, pFirst->GetChildNodes()->GetLength());
    // Removing, replacing and erasing loaded nodes.
    EXPECT_NE(nullptr, pFirst->RemoveAttribute("p:long"));
    EXPECT_NE(nullptr, pRoot->RemoveChild(pRoot->GetChildNodes()->Item(1)));
    CVLXmlElement* pNew = doc.CreateElement("new");
    EXPECT_NE(nullptr, pRoot->ReplaceChild(pNew, pRoot->GetChildNodes()->Item(1)));
    pRoot->RemoveElementsByAttribute("i", "150", 4);
    EXPECT_EQ(298, pRoot->GetChildNodes()->GetLength());
    // Copies of loaded nodes go to another document that outlives this one;
    // merging adds the three children whose key or name the copy lacks.
    CVLXmlDocument other;
    {
        CVLXmlDocument source;
        ASSERT_EQ("", LoadString(source, data));
        other.AppendChild(other.ImportNode(source.GetDocumentElement()));
        other.GetDocumentElement()->Merge(doc.GetDocumentElement(), "i");
    }
    EXPECT_EQ(303, other.GetDocumentElement()->GetChildNodes()->GetLength());
    // A failed load keeps what it read; the next load replaces it all.
    EXPECT_NE("", LoadString(doc, "<r><a x=\"1\"><b>text</b><c"));
    EXPECT_EQ("a", Bytes(static_cast<CVLXmlElement*>(doc.GetDocumentElement()->GetChildNodes()->Item(0))->GetTagName()));
    ASSERT_EQ("", LoadString(doc, data));
    EXPECT_EQ(300, doc.GetDocumentElement()->GetChildNodes()->GetLength());
    const std::string saved = SaveToString(doc);
    CVLXmlDocument again;
    ASSERT_EQ("", LoadString(again, saved));
    EXPECT_EQ(saved, SaveToString(again));
    doc.Clear();
    EXPECT_EQ(nullptr, doc.GetDocumentElement());
}

TEST(XmlDocument, ManyAttributesAndChildrenOfALoadedElement)
{
    // Enough attributes for the name index, enough children for several
    // rounds of links; then the element is changed the ordinary way.
    std::string data = "<r";
    for (int i = 0; i < 20; ++i)
        data += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    data += ">";
    for (int i = 0; i < 700; ++i)
        data += "<c>" + std::to_string(i) + "</c>";
    data += "</r>";
    for (int nRound = 0; nRound < 2; ++nRound) {
        CVLXmlDocument doc;
        ASSERT_EQ("", LoadString(doc, data));
        CVLXmlElement* pRoot = doc.GetDocumentElement();
        ASSERT_EQ(20, pRoot->GetAttributes()->GetLength());
        EXPECT_EQ("19", Bytes(pRoot->GetAttribute("a19")));
        EXPECT_NE(nullptr, pRoot->RemoveAttribute("a7"));
        EXPECT_EQ(nullptr, pRoot->GetAttributeNode("a7"));
        pRoot->SetAttribute("a7", "back");
        pRoot->SetAttribute("a0", "zero");
        EXPECT_EQ(20, pRoot->GetAttributes()->GetLength());
        EXPECT_EQ("back", Bytes(pRoot->GetAttribute("a7")));
        EXPECT_EQ("zero", Bytes(pRoot->GetAttribute("a0")));
        CVLXmlNodeList* pChildren = pRoot->GetChildNodes();
        ASSERT_EQ(700, pChildren->GetLength());
        EXPECT_EQ("699", Bytes(static_cast<CVLXmlElement*>(pChildren->Item(699))->GetText()));
        for (int i = 0; i < 100; ++i)
            pRoot->RemoveChild(pChildren->Item(i));
        for (int i = 0; i < 300; ++i)
            pRoot->AppendChild(doc.CreateElement("n"));
        EXPECT_EQ(900, pChildren->GetLength());
        EXPECT_EQ("101", Bytes(static_cast<CVLXmlElement*>(pChildren->Item(50))->GetText()));
        // A document loaded on another thread is deleted on this one.
        CVLXmlDocument* pOther = new CVLXmlDocument();
        std::thread loader([&] { EXPECT_EQ("", LoadString(*pOther, data)); });
        loader.join();
        EXPECT_EQ(700, pOther->GetDocumentElement()->GetChildNodes()->GetLength());
        delete pOther;
    }
}

TEST(XmlDocument, LoadedTreesWithAddedAndRemovedNodesAreDeletedWhole)
{
    std::string data = "<r>";
    for (int i = 0; i < 50; ++i)
        data += "<e a='" + std::to_string(i) + "'><f>x</f><!--c--></e>";
    data += "</r>";
    for (int nRound = 0; nRound < 3; ++nRound) {
        CVLXmlDocument doc;
        ASSERT_EQ("", LoadString(doc, data));
        CVLXmlElement* pRoot = doc.GetDocumentElement();
        // Nodes of the program's own under loaded ones, a long chain among them.
        CVLXmlElement* pFirst = static_cast<CVLXmlElement*>(pRoot->GetChildNodes()->Item(0));
        // Built from the bottom up: appending under a deep node would check
        // every ancestor each time.
        CVLXmlElement* pTop = doc.CreateElement("deep");
        pTop->SetText("bottom");
        CVLXmlElement* pChain = pTop;
        for (int i = 0; i < 50000; ++i) {
            CVLXmlElement* pParent = doc.CreateElement("deep");
            pParent->AppendChild(pChain);
            pChain = pParent;
        }
        pFirst->AppendChild(pChain);
        CVLXmlAttribute* pAttr = doc.CreateAttribute("a");
        pAttr->SetNodeValue("replaced");
        EXPECT_NE(nullptr, pFirst->SetAttributeNode(pAttr));
        EXPECT_EQ("replaced", Bytes(pFirst->GetAttribute("a")));
        // Loaded nodes removed, and a loaded element emptied, before the end.
        EXPECT_NE(nullptr, pRoot->RemoveChild(pRoot->GetChildNodes()->Item(1)));
        static_cast<CVLXmlElement*>(pRoot->GetChildNodes()->Item(2))->Clear();
        EXPECT_EQ(49, pRoot->GetChildNodes()->GetLength());
        EXPECT_EQ("bottom", Bytes(pTop->GetText()));
        if (nRound == 1) {
            doc.Clear();  // and then the document goes
        }
        if (nRound == 2) {
            ASSERT_EQ("", LoadString(doc, data));  // a new load replaces it all
        }
        EXPECT_EQ(nRound == 1 ? 0 : (nRound == 2 ? 50 : 49),
                  doc.GetDocumentElement() != nullptr ? doc.GetDocumentElement()->GetChildNodes()->GetLength() : 0);
    }
}

TEST(XmlDocument, LoadedNodesBuildATreeThatSavesAndCopies)
{
    CVLXmlDocument doc;
    CVLXmlElement* pRoot = doc.AppendLoadedElement(&doc, "Rootxx", 4, 0);
    CVLXmlElement* pChild = doc.AppendLoadedElement(pRoot, "Item", 4, 1);
    doc.SetLoadedAttribute(pChild, "a", 1, "one", 3);
    doc.SetLoadedAttribute(pChild, "b", 1, "two", 3);
    doc.SetLoadedAttribute(pChild, "a", 1, "1", 1);  // replaces the value in place
    doc.AppendLoadedText(pChild, "t\0u", 3);          // cut at the zero byte
    doc.AppendLoadedText(pRoot, "<&>", 3);
    EXPECT_EQ(SaveToString(doc),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?><Root><Item a=\"1\" b=\"two\">t</Item>&lt;&amp;&gt;</Root>");
    CVLXmlDocument copy;
    copy.AppendChild(copy.ImportNode(doc.GetDocumentElement()));
    pChild->RemoveAttribute("b");
    pRoot->RemoveChild(pChild);
    EXPECT_EQ(SaveToString(copy),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?><Root><Item a=\"1\" b=\"two\">t</Item>&lt;&amp;&gt;</Root>");
}
