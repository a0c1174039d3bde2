#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/xml/pxp/PXP_EncodeTranslater.h"
#include "base/xml/pxp/PXP_Parser.h"

namespace {

// Input over a byte string, handing out at most nChunk bytes per read;
// optionally ends with the single 0x1A byte that the document reader's
// stream adapter sends at the end.
class CStringInput : public PXP_InputStream
{
public:
    CStringInput(const std::string& data, int nChunk = 1 << 20, bool bMarker = false)
        : m_Data(data + (bMarker ? std::string(1, '\x1a') : std::string())), m_nChunk(nChunk)
    {
    }
    int32_t Read(void* pBuffer, int32_t nSize) override
    {
        if (m_bFail)
            return -1;
        int32_t n = static_cast<int32_t>(m_Data.size() - m_nPos);
        if (n > nSize)
            n = nSize;
        if (n > m_nChunk)
            n = m_nChunk;
        std::memcpy(pBuffer, m_Data.data() + m_nPos, static_cast<size_t>(n));
        m_nPos += static_cast<size_t>(n);
        return n;
    }
    std::string m_Data;
    size_t m_nPos = 0;
    int m_nChunk;
    bool m_bFail = false;
};

struct CRun
{
    std::vector<std::string> events;
    uint32_t nError = 0;
    uint32_t nLast = 0;
    std::string Joined() const
    {
        std::string s;
        for (const auto& e : events)
            s += e + "|";
        return s;
    }
};

// Parses a document and describes every event:
//   D(version,encoding) S:name[attr=value ...] E:name T:text C:comment
//   A:cdata P (instruction) Y (doctype) and finally OK or ERR<code>.
// Continued pieces of text are marked with "+".
CRun Parse(const std::string& doc, const PXP_ParserLimits* pLimits = nullptr, int nChunk = 1 << 20,
           bool bMarker = false, signed char* pEncoding = nullptr)
{
    CRun run;
    CStringInput in(doc, nChunk, bMarker);
    PXP_Parser parser;
    EXPECT_EQ(1, parser.Initialize(pLimits));
    if (parser.SetInputStream(&in) == 0) {
        run.nError = parser.GetErrorCode();
        run.events.push_back("ERR" + std::to_string(run.nError));
        return run;
    }
    for (int guard = 0; guard < 1000000; ++guard) {
        uint32_t ev = parser.Next();
        run.nLast = ev;
        std::string s;
        auto str = [](const char* p) { return p != nullptr ? std::string(p) : std::string("(null)"); };
        switch (ev) {
        case PXP_EVENT_XML_DECLARATION:
            s = "D(" + str(parser.GetVersion()) + "," + str(parser.GetEncoding()) + ")";
            break;
        case PXP_EVENT_START_TAG: {
            s = "S:";
            if (parser.GetPrefix() != nullptr)
                s += std::string(parser.GetPrefix()) + ":";
            s += parser.GetName();
            s += "[";
            for (int i = 0; i < parser.GetAttributeCount(); ++i) {
                if (i > 0)
                    s += " ";
                if (parser.GetAttributePrefix(i) != nullptr)
                    s += std::string(parser.GetAttributePrefix(i)) + ":";
                s += std::string(parser.GetAttributeName(i)) + "=" + parser.GetAttributeValue(i);
            }
            s += "]";
            break;
        }
        case PXP_EVENT_CLOSE_TAG:
            s = std::string("E:") + (parser.GetPrefix() != nullptr ? std::string(parser.GetPrefix()) + ":" : "") +
                parser.GetName();
            break;
        case PXP_EVENT_TEXT:
            s = std::string("T:") + parser.GetText() + (parser.IsContinued() ? "+" : "");
            EXPECT_EQ(std::strlen(parser.GetText()), parser.GetTextLength());
            break;
        case PXP_EVENT_COMMENT:
            s = std::string("C:") + parser.GetText() + (parser.IsContinued() ? "+" : "");
            break;
        case PXP_EVENT_CDATA:
            s = std::string("A:") + parser.GetText() + (parser.IsContinued() ? "+" : "");
            break;
        case PXP_EVENT_PROCESSING_INSTRUCTION:
            s = "P";
            break;
        case PXP_EVENT_DOCTYPE:
            s = "Y";
            break;
        case PXP_EVENT_DOCUMENT_DONE:
            s = "OK";
            break;
        default:
            run.nError = parser.GetErrorCode();
            s = "ERR" + std::to_string(run.nError);
            break;
        }
        run.events.push_back(s);
        if (ev == PXP_EVENT_ERROR || ev == PXP_EVENT_DOCUMENT_DONE) {
            EXPECT_EQ(ev, parser.Next());  // final
            break;
        }
    }
    if (pEncoding != nullptr)
        *pEncoding = parser.GetEncodingCode();
    return run;
}

std::string Events(const std::string& doc, const PXP_ParserLimits* pLimits = nullptr, int nChunk = 1 << 20)
{
    return Parse(doc, pLimits, nChunk).Joined();
}

uint32_t ErrorOf(const std::string& doc, const PXP_ParserLimits* pLimits = nullptr)
{
    CRun r = Parse(doc, pLimits);
    return r.nLast == PXP_EVENT_ERROR ? r.nError : 0;
}

std::string Utf16(const std::string& utf8, bool bBig, bool bBom)
{
    std::string out;
    if (bBom)
        out += bBig ? "\xFE\xFF" : "\xFF\xFE";
    size_t i = 0;
    while (i < utf8.size()) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        uint32_t cp;
        int n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if (c < 0xE0) {
            cp = c & 0x1F;
            n = 2;
        } else if (c < 0xF0) {
            cp = c & 0x0F;
            n = 3;
        } else {
            cp = c & 0x07;
            n = 4;
        }
        for (int k = 1; k < n; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += n;
        auto put = [&](uint32_t u) {
            char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
            out += bBig ? std::string{hi, lo} : std::string{lo, hi};
        };
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

}  // namespace

TEST(PullParser, EventsOfASmallDocument)
{
    EXPECT_EQ("D(1.0,UTF-8)|S:r[a=1 b=x y]|T:hi|S:c[]|E:c|C: note |S:d[]|E:d|E:r|OK|",
              Events("<?xml version=\"1.0\" encoding='UTF-8'?>\n<r a=\"1\" b='x y'>hi<c/><!-- note --><d></d></r>\n"));
    // No text event between a start tag and its end tag.
    EXPECT_EQ("S:a[]|E:a|OK|", Events("<a></a>"));
    EXPECT_EQ("P|S:a[]|E:a|P|C:x|OK|", Events("<?pi data?><a/><?pi?><!--x-->  "));
    EXPECT_EQ("Y|S:a[]|E:a|OK|", Events("<!DOCTYPE a [ <!ENTITY e 'x'> ]><a/>"));
    EXPECT_EQ("S:a[]|A:x<y]]]]z|E:a|OK|", Events("<a><![CDATA[x<y]]]]z]]></a>"));
}

TEST(PullParser, EncodingDetection)
{
    signed char enc = -1;
    Parse("<a/>", nullptr, 1 << 20, false, &enc);
    EXPECT_EQ(PXP_CHARSET_UTF8, enc);
    CRun r = Parse("<?xml version=\"1.0\" encoding=\"sHiFt_jIs\"?><a>\x82\xA0</a>", nullptr, 1 << 20, false, &enc);
    EXPECT_EQ("D(1.0,sHiFt_jIs)|S:a[]|T:\xE3\x81\x82|E:a|OK|", r.Joined());
    EXPECT_EQ(PXP_CHARSET_SHIFT_JIS, enc);
    EXPECT_EQ(2u, ErrorOf("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a/>"));
    EXPECT_EQ(0u, ErrorOf("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?><a/>"));
    EXPECT_EQ(2u, ErrorOf(Utf16("<?xml version=\"1.0\" encoding=\"UTF-16BE\"?><a/>", false, true)));
    EXPECT_EQ(0u, ErrorOf(Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?><a/>", false, true)));
    EXPECT_EQ(2u, ErrorOf("<?xml version=\"1.0\" encoding=\"UTF-16\"?><a/>"));
    EXPECT_EQ(2u, ErrorOf("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>"));
    // Blanks before the declaration make it a processing instruction.
    EXPECT_EQ("P|S:a[]|E:a|OK|", Events(" <?xml version=\"1.0\"?><a/>"));
    // A leading instruction whose target merely starts with "xml".
    EXPECT_EQ("P|S:a[]|E:a|OK|", Events("<?xml-stylesheet href=\"s.xsl\"?><a/>"));
    EXPECT_EQ("P|S:a[]|E:a|OK|", Events("<?xmlfoo?><a/>"));
}

TEST(PullParser, Utf16EitherOrderWithAndWithoutMark)
{
    const std::string doc = "<?xml version=\"1.0\"?><r k=\"\xC3\xA9\">\xE6\x97\xA5\xF0\x9F\x98\x80 z</r>";
    const std::string expect = "D(1.0,(null))|S:r[k=\xC3\xA9]|T:\xE6\x97\xA5\xF0\x9F\x98\x80 z|E:r|OK|";
    PXP_ParserLimits small;
    small.nReadBufferSize = 16;
    for (bool bBig : {false, true}) {
        for (bool bBom : {false, true}) {
            for (int nChunk : {1, 2, 3, 5, 7, 1 << 20}) {
                std::string in = Utf16(doc, bBig, bBom);
                CRun r = Parse(in, &small, nChunk, true);
                EXPECT_EQ(expect, r.Joined()) << bBig << bBom << nChunk;
                // An odd byte at the very end is no character, in either
                // order, also when it is a NUL that the reader's end marker
                // completes to a unit.
                EXPECT_EQ(1u, Parse(in + "\x20", &small, nChunk, false).nError) << bBig << bBom << nChunk;
                EXPECT_EQ(1u, Parse(in + std::string(1, '\0'), &small, nChunk, true).nError) << bBig << bBom << nChunk;
                EXPECT_EQ(1u, Parse(in + std::string(1, '\0'), &small, nChunk, false).nError) << bBig << bBom << nChunk;
            }
        }
    }
    // A lone surrogate becomes U+FFFE instead of swallowing the next character.
    std::string bad = Utf16("<a>x</a>", false, true);
    bad.insert(8, std::string("\x00\xD8", 2));
    EXPECT_EQ("S:a[]|T:\xEF\xBF\xBEx|E:a|OK|", Events(bad));
}

TEST(PullParser, MultibyteCharactersAcrossChunks)
{
    PXP_ParserLimits small;
    small.nReadBufferSize = 16;
    const std::string sjisDecl = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>";
    const std::string eucDecl = "<?xml version=\"1.0\" encoding=\"EUC-JP\"?>";
    // Shift_JIS: hiragana A, half-width katakana A, circled 1, JIS 815F, FA40.
    std::string sjisBody = "<a>\x82\xA0\xB1\x87\x40\x81\x5F\xFA\x40x</a>";
    std::string sjisText = "\xE3\x81\x82\xEF\xBD\xB1\xE2\x91\xA0\xEF\xBC\xBC\xE2\x85\xB0x";
    // EUC-JP: hiragana A, half-width katakana A (8EB1), JIS X 0212 (8FB0A1).
    std::string eucBody = "<a>\xA4\xA2\x8E\xB1\x8F\xB0\xA1x</a>";
    std::string eucText = "\xE3\x81\x82\xEF\xBD\xB1\xEF\xBF\xBEx";
    for (int pad = 0; pad < 6; ++pad) {
        std::string padding(static_cast<size_t>(pad), ' ');
        for (int nChunk : {1, 3, 16}) {
            EXPECT_EQ("D(1.0,Shift_JIS)|S:a[]|T:" + sjisText + "|E:a|OK|",
                      Parse(sjisDecl + padding + sjisBody, &small, nChunk, true).Joined());
            EXPECT_EQ("D(1.0,EUC-JP)|S:a[]|T:" + eucText + "|E:a|OK|",
                      Parse(eucDecl + padding + eucBody, &small, nChunk, true).Joined());
            EXPECT_EQ("S:a[]|T:\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80|E:a|OK|",
                      Parse(padding + "<a>\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80</a>", &small, nChunk, true).Joined());
        }
    }
    // A lead byte at the very end of the input is no character, never a read beyond.
    EXPECT_EQ(1u, Parse(sjisDecl + "<a>x</a>\x82", &small, 1 << 20, true).nError);
    EXPECT_EQ(1u, Parse(eucDecl + "<a>x</a>\x8F\xB0", &small, 1 << 20, true).nError);
}

TEST(PullParser, ShiftJisTable)
{
    EXPECT_EQ(0x005C, PXP_EncodeTranslater::MapShiftJis(0x5C));
    EXPECT_EQ(0x007E, PXP_EncodeTranslater::MapShiftJis(0x7E));
    EXPECT_EQ(0xFF61, PXP_EncodeTranslater::MapShiftJis(0xA1));
    EXPECT_EQ(0xFFFE, PXP_EncodeTranslater::MapShiftJis(0x80));
    EXPECT_EQ(0x3000, PXP_EncodeTranslater::MapShiftJis(0x8140));
    EXPECT_EQ(0xFF3C, PXP_EncodeTranslater::MapShiftJis(0x815F));
    EXPECT_EQ(0x301C, PXP_EncodeTranslater::MapShiftJis(0x8160));
    EXPECT_EQ(0x2016, PXP_EncodeTranslater::MapShiftJis(0x8161));
    EXPECT_EQ(0x2212, PXP_EncodeTranslater::MapShiftJis(0x817C));
    EXPECT_EQ(0x00AC, PXP_EncodeTranslater::MapShiftJis(0x81CA));
    EXPECT_EQ(0x2460, PXP_EncodeTranslater::MapShiftJis(0x8740));
    EXPECT_EQ(0x2169, PXP_EncodeTranslater::MapShiftJis(0x875D));
    EXPECT_EQ(0xFFFE, PXP_EncodeTranslater::MapShiftJis(0x875E));
    EXPECT_EQ(0x3349, PXP_EncodeTranslater::MapShiftJis(0x875F));
    EXPECT_EQ(0xFFFE, PXP_EncodeTranslater::MapShiftJis(0x8776));
    EXPECT_EQ(0x337B, PXP_EncodeTranslater::MapShiftJis(0x877E));
    EXPECT_EQ(0xFFFE, PXP_EncodeTranslater::MapShiftJis(0x877F));
    EXPECT_EQ(0x301D, PXP_EncodeTranslater::MapShiftJis(0x8780));
    EXPECT_EQ(0x22C3, PXP_EncodeTranslater::MapShiftJis(0x879C));
    EXPECT_EQ(0x2170, PXP_EncodeTranslater::MapShiftJis(0xFA40));
    EXPECT_EQ(0xFFFE, PXP_EncodeTranslater::MapShiftJis(0xFA4A));
    EXPECT_EQ(0xFFFE, PXP_EncodeTranslater::MapShiftJis(0xF040));  // user-defined row
    EXPECT_NE(0xFFFE, PXP_EncodeTranslater::MapShiftJis(0xEAA4));
    EXPECT_EQ(0xFFFE, PXP_EncodeTranslater::MapShiftJis(0xEAA5));
    int nCount = 0;
    for (uint32_t lead = 0x81; lead <= 0xEA; ++lead)
        for (uint32_t trail = 0x40; trail <= 0xFC; ++trail)
            if ((lead <= 0x9F || lead >= 0xE0) && lead != 0x87 &&
                PXP_EncodeTranslater::MapShiftJis(lead << 8 | trail) != 0xFFFE)
                ++nCount;
    EXPECT_EQ(6879, nCount);
}

TEST(PullParser, BadBytesAreErrorsNotTruncation)
{
    EXPECT_EQ(1u, ErrorOf(std::string("<a>x\0y</a>", 10)));
    EXPECT_EQ(1u, ErrorOf(std::string("<a/>\0<!-- -->", 13)));
    EXPECT_EQ(1u, ErrorOf("<a>\xC3</a>"));
    EXPECT_EQ(1u, ErrorOf("<a>\xE6\x97</a>"));
    EXPECT_EQ(1u, ErrorOf("<a>\x80</a>"));
    EXPECT_EQ(1u, ErrorOf("<a/>\xFF"));
    // Only the shortest form of a scalar value is UTF-8: overlong forms,
    // encoded surrogates and values above U+10FFFF are refused, the
    // neighbouring valid sequences are kept.
    for (const char* sz : {"\xC0\xBC", "\xC1\xBF", "\xE0\x80\xAF", "\xE0\x9F\xBF", "\xED\xA0\x80",
                           "\xED\xBF\xBF", "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80"}) {
        EXPECT_EQ(1u, ErrorOf(std::string("<a>") + sz + "</a>")) << sz;
        EXPECT_EQ(1u, ErrorOf(std::string("<a v='") + sz + "'/>")) << sz;
    }
    for (const char* sz : {"\xC2\x80", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80", "\xF0\x90\x80\x80",
                           "\xF4\x8F\xBF\xBF"})
        EXPECT_EQ(std::string("S:a[]|T:") + sz + "|E:a|OK|", Events(std::string("<a>") + sz + "</a>")) << sz;
    // 0x1A ends the document where it stands.
    EXPECT_EQ("S:a[]|E:a|OK|", Events("<a/>\x1A<b>garbage"));
    EXPECT_EQ(1u, ErrorOf("<a>\x1A</a>"));
}

TEST(PullParser, References)
{
    EXPECT_EQ("S:a[v=AA<>&'\"]|T:AA|E:a|OK|", Events("<a v=\"&#65;&#x41;&lt;&gt;&amp;&apos;&quot;\">&#65;&#x0041;</a>"));
    EXPECT_EQ("S:a[]|T:\xF0\x9F\x98\x80|E:a|OK|", Events("<a>&#x1F600;</a>"));
    EXPECT_EQ(1u, ErrorOf("<a>&#X41;</a>"));
    EXPECT_EQ(1u, ErrorOf("<a>&#0;</a>"));
    EXPECT_EQ(1u, ErrorOf("<a>&#4294967361;</a>"));  // would wrap to "A"
    EXPECT_EQ(1u, ErrorOf("<a>&#1114112;</a>"));
    EXPECT_EQ(0u, ErrorOf("<a>&#1114111;</a>"));
    EXPECT_EQ(1u, ErrorOf("<a>&#x0000110000;</a>"));
    EXPECT_EQ(0u, ErrorOf("<a>&#x000010FFFF;</a>"));
    EXPECT_EQ(1u, ErrorOf("<a>&#xD800;</a>"));
    EXPECT_EQ(1u, ErrorOf("<a>&#;</a>"));
    EXPECT_EQ(1u, ErrorOf("<a>& b</a>"));
    EXPECT_EQ("S:a[]|T:x&undeclared;y|E:a|OK|", Events("<a>x&undeclared;y</a>"));
    EXPECT_EQ("S:a[]|T:& 0123456789abcdefgh|E:a|OK|", Events("<a>& 0123456789abcdefgh</a>"));
}

TEST(PullParser, LineEndsAndBlanks)
{
    EXPECT_EQ("S:a[v=x  y z]|T:1\n2\n3|A:4\r\n5|E:a|OK|",
              Events("<a v=\"x\r\n y\tz\">1\r\n2\r3<![CDATA[4\r\n5]]></a>"));
}

TEST(PullParser, NamespacesAndNames)
{
    EXPECT_EQ("S:p:a[xmlns:p=U xmlns:q=U p:x=1 q:x=2]|E:p:a|OK|",
              Events("<p:a xmlns:p=\"U\" xmlns:q='U' p:x='1' q:x='2'/>"));
    EXPECT_EQ(1u, ErrorOf("<a x='1' x='2'/>"));
    EXPECT_EQ(1u, ErrorOf("<p:a xmlns:p='U' xmlns:q='U'></q:a>"));
    EXPECT_EQ(1u, ErrorOf("<p:a xmlns:p='U'></a>"));
    EXPECT_EQ(1u, ErrorOf("<p:a/>"));
    EXPECT_EQ(1u, ErrorOf("<a p:x='1'/>"));
    EXPECT_EQ("S:a[xml:lang=en]|E:a|OK|", Events("<a xml:lang='en'/>"));
    EXPECT_EQ(1u, ErrorOf("<a xmlns:xmlx='U'/>"));
    // Bindings go out of scope with their element.
    EXPECT_EQ(1u, ErrorOf("<r><a xmlns:p='U'/><p:b/></r>"));
    EXPECT_EQ(1u, ErrorOf("<a></b>"));
    EXPECT_EQ(1u, ErrorOf("<a></ab>"));
    EXPECT_EQ("S:a[]|E:a|OK|", Events("<a></a >"));
}

TEST(PullParser, DocumentStructure)
{
    EXPECT_EQ(1u, ErrorOf(""));
    EXPECT_EQ(1u, ErrorOf("   \n "));
    EXPECT_EQ(1u, ErrorOf("<!-- only -->"));
    EXPECT_EQ(1u, ErrorOf("<a><b>"));
    EXPECT_EQ(1u, ErrorOf("<a/><b/>"));
    EXPECT_EQ(1u, ErrorOf("<a/>text"));
    EXPECT_EQ(1u, ErrorOf("<![CDATA[x]]><a/>"));
    EXPECT_EQ(1u, ErrorOf("<a/><!DOCTYPE a>"));
    EXPECT_EQ(1u, ErrorOf("<!DOCTYPE a><!DOCTYPE a><a/>"));
    EXPECT_EQ(1u, ErrorOf(">\n<a/>"));
    EXPECT_EQ(1u, ErrorOf("<?xml version=\"1.0\" version=\"1.0\"?><a/>"));
    EXPECT_EQ(1u, ErrorOf("<?xml encoding=\"UTF-8\" version=\"1.0\"?><a/>"));
    EXPECT_EQ(1u, ErrorOf("<?xml version=\"\"?><a/>"));
    EXPECT_EQ("D(1.0,(null))|S:a[]|E:a|OK|", Events("<?xml version=\"1.0\" standalone='yes'?><a/>"));
    EXPECT_EQ("S:a[]|E:a|OK|", Events("<a/>\n\n"));
}

// A structural fault is said in words, at the place it was found, in any
// chunking; where the reader meets more than one fault, the first one's words
// stay.
TEST(PullParser, StructuralFaultsSayWhichAndWhere)
{
    struct
    {
        const char* szDoc;
        const char* szDetail;
        uint32_t nLine;
        uint32_t nColumn;
    } const kCases[] = {
        {"<a>\n  <b>\n    <c/>\n  </b>\n", "<a> (line 1) is not closed: the document ends before its end tag", 5, 1},
        {"<a>\n  <b x='1\n2'\n  >", "<b> (line 2) is not closed: the document ends before its end tag", 4, 4},
        {"<a>\n  <b>\n  </bb>\n</a>\n", "the end tag </bb> does not match the start tag <b> (line 2)", 3, 6},
        {"<a>\n  <b>\n  </a>\n", "the end tag </a> does not match the start tag <b> (line 2)", 3, 5},
        {"<p:a xmlns:p='u'>\n</a>", "the end tag </a> does not match the start tag <p:a> (line 1)", 2, 3},
        {"<a>\n</>", "an end tag without a name, where </a> (of line 1) was expected", 2, 3},
        {"<a>\n</a>\n<!-- c -->\n<b/>\n", "a second root element <b>, after <a> (line 1): a document has one root element",
         4, 2},
        // The end tag's fault comes first; the end of the input behind it
        // would also say that <a> is not closed.
        {"<a></b", "the end tag </b> does not match the start tag <a> (line 1)", 1, 6},
        {"<a></", "<a> (line 1) is not closed: the document ends before its end tag", 1, 6},
        // A byte that is no character ends the input: it is the fault.
        {"<a>\n\xFF", "a byte (0xFF) that is not valid UTF-8", 2, 1},
        {"<ab></a\xFF>", "a byte (0xFF) that is not valid UTF-8", 1, 8},
    };
    for (const auto& c : kCases) {
        for (int nChunk : {1, 3, 1 << 20}) {
            SCOPED_TRACE(std::string(c.szDoc) + " chunk " + std::to_string(nChunk));
            CStringInput in(c.szDoc, nChunk);
            PXP_Parser parser;
            ASSERT_EQ(1, parser.Initialize());
            ASSERT_EQ(1, parser.SetInputStream(&in));
            uint32_t nEvent = 0;
            for (int guard = 0; guard < 100 && (nEvent = parser.Next()) != PXP_EVENT_ERROR; ++guard)
                ASSERT_NE(PXP_EVENT_DOCUMENT_DONE, nEvent);
            EXPECT_EQ(1u, parser.GetErrorCode());
            EXPECT_STREQ(c.szDetail, parser.GetErrorDetail());
            EXPECT_EQ(c.nLine, parser.GetLine());
            EXPECT_EQ(c.nColumn, parser.GetColumn());
        }
    }
}

TEST(PullParser, CommentsKeepDashRuns)
{
    EXPECT_EQ("C: a -- b |S:a[]|E:a|OK|", Events("<!-- a -- b --><a/>"));
    EXPECT_EQ("C:x-|S:a[]|E:a|OK|", Events("<!--x---><a/>"));
    PXP_ParserLimits small;
    small.nTextBufferSize = 16;
    std::string dashes(100, '-');
    CRun r = Parse("<!--x" + dashes + "y" + dashes + "--><a/>", &small);
    std::string joined;
    for (auto& e : r.events)
        if (e.compare(0, 2, "C:") == 0)
            joined += e.substr(2, e.back() == '+' ? e.size() - 3 : std::string::npos);
    EXPECT_EQ("x" + dashes + "y" + dashes, joined);
    EXPECT_EQ("OK", r.events.back());
}

TEST(PullParser, LongTextArrivesInPiecesWithoutSplitCharacters)
{
    PXP_ParserLimits limits;
    limits.nTextBufferSize = 32704;
    std::string text;
    while (text.size() < 40000)
        text += "ab\xE6\x97\xA5";  // 5 bytes: pieces of 32704 would split the character
    CRun r = Parse("<a>" + text + "</a>", &limits, 1000);
    ASSERT_EQ(5u, r.events.size());
    EXPECT_EQ('+', r.events[1].back());
    EXPECT_NE('+', r.events[2].back());
    std::string piece1 = r.events[1].substr(2, r.events[1].size() - 3);
    std::string piece2 = r.events[2].substr(2);
    EXPECT_EQ(0u, piece1.size() % 5);
    EXPECT_EQ(text, piece1 + piece2);
    // A reference that does not fit opens the next piece.
    PXP_ParserLimits small;
    small.nTextBufferSize = 16;
    EXPECT_EQ("S:a[]|T:0123456789abcde+|T:\xF0\x9F\x98\x80x|E:a|OK|", Events("<a>0123456789abcde&#x1F600;x</a>", &small));
}

TEST(PullParser, LimitsAtNAndNPlusOne)
{
    PXP_ParserLimits limits;
    auto nest = [](int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += "<e>";
        for (int i = 0; i < n; ++i)
            s += "</e>";
        return s;
    };
    EXPECT_EQ(0u, ErrorOf(nest(100), &limits));
    EXPECT_EQ(6u, ErrorOf(nest(101), &limits));
    EXPECT_EQ(6u, ErrorOf(nest(100000), &limits));
    auto attrs = [](int n) {
        std::string s = "<a";
        for (int i = 0; i < n; ++i)
            s += " a" + std::to_string(i) + "='v'";
        return s + "/>";
    };
    EXPECT_EQ(0u, ErrorOf(attrs(32)));
    EXPECT_EQ(6u, ErrorOf(attrs(33)));
    EXPECT_EQ(0u, ErrorOf("<" + std::string(32, 'n') + "/>"));
    EXPECT_EQ(6u, ErrorOf("<" + std::string(33, 'n') + "/>"));
    EXPECT_EQ(6u, ErrorOf("<" + std::string(100000, 'n') + "/>"));
    EXPECT_EQ(0u, ErrorOf("<" + std::string(16, 'p') + ":a xmlns:" + std::string(16, 'p') + "='u'/>"));
    EXPECT_EQ(6u, ErrorOf("<" + std::string(17, 'p') + ":a/>"));
    EXPECT_EQ(6u, ErrorOf("<a xmlns:" + std::string(17, 'p') + "='u'/>"));
    EXPECT_EQ(0u, ErrorOf("<a xmlns='" + std::string(128, 'u') + "'/>"));
    EXPECT_EQ(6u, ErrorOf("<a xmlns='" + std::string(129, 'u') + "'/>"));
    // Attribute name bytes, each with its NUL: 512 in all.
    EXPECT_EQ(0u, ErrorOf("<a " + std::string(511, 'n') + "='v'/>"));
    EXPECT_EQ(6u, ErrorOf("<a " + std::string(512, 'n') + "='v'/>"));
    EXPECT_EQ(0u, ErrorOf("<a n='" + std::string(1023, 'v') + "'/>"));
    EXPECT_EQ(6u, ErrorOf("<a n='" + std::string(1024, 'v') + "'/>"));
    EXPECT_EQ(6u, ErrorOf("<a n='" + std::string(1000000, 'v') + "'/>"));
    std::string ns32 = "<a";
    for (int i = 0; i < 32; ++i)
        ns32 += " xmlns:p" + std::to_string(i) + "='u'";
    EXPECT_EQ(0u, ErrorOf(ns32 + "/>"));
    EXPECT_EQ(6u, ErrorOf(ns32 + " xmlns='u'/>"));
    EXPECT_EQ(0u, ErrorOf("<?xml version=\"12345678\"?><a/>"));
    EXPECT_EQ(6u, ErrorOf("<?xml version=\"123456789\"?><a/>"));
    EXPECT_EQ(2u, ErrorOf("<?xml version=\"1.0\" encoding=\"ABCDEFGHIJKL\"?><a/>"));
    EXPECT_EQ(6u, ErrorOf("<?xml version=\"1.0\" encoding=\"ABCDEFGHIJKLM\"?><a/>"));
}

TEST(PullParser, StreamFailuresAndReinitialize)
{
    PXP_Parser parser;
    ASSERT_EQ(1, parser.Initialize());
    EXPECT_EQ(0, parser.SetInputStream(nullptr));
    EXPECT_EQ(3u, parser.GetErrorCode());
    EXPECT_EQ(0u, parser.Next());
    CStringInput failing("<a/>");
    failing.m_bFail = true;
    ASSERT_EQ(1, parser.Initialize());
    EXPECT_EQ(0, parser.SetInputStream(&failing));
    EXPECT_EQ(3u, parser.GetErrorCode());
    // A later failure is the end of the input.
    CStringInput ok("<a>", 3);
    ASSERT_EQ(1, parser.Initialize());
    ASSERT_EQ(1, parser.SetInputStream(&ok));
    EXPECT_EQ(3u, parser.Next());
    ok.m_bFail = true;
    EXPECT_EQ(0u, parser.Next());
    EXPECT_EQ(1u, parser.GetErrorCode());
    // The same parser reads the next document after Initialize.
    CStringInput second("<b x='1'/>");
    ASSERT_EQ(1, parser.Initialize());
    ASSERT_EQ(1, parser.SetInputStream(&second));
    EXPECT_EQ(3u, parser.Next());
    EXPECT_STREQ("b", parser.GetName());
    EXPECT_STREQ("1", parser.GetAttributeValue(0));
    EXPECT_EQ(nullptr, parser.GetAttributeValue(1));
    EXPECT_EQ(nullptr, parser.GetText());
    EXPECT_EQ(4u, parser.Next());
    EXPECT_EQ(-1, parser.GetAttributeCount());
    EXPECT_EQ(2u, parser.Next());
    EXPECT_FALSE(parser.HasNext());
}

TEST(PullParser, PiecesEndingRightAtTheEndOfTheirConstruct)
{
    PXP_ParserLimits small;
    small.nTextBufferSize = 16;
    const std::string sixteen = "0123456789abcdef";
    // Exactly a buffer full, then the end: one piece, not continued, and no empty piece.
    EXPECT_EQ("C:" + sixteen + "|S:a[]|A:" + sixteen + "|T:" + sixteen + "|E:a|OK|",
              Events("<!--" + sixteen + "--><a><![CDATA[" + sixteen + "]]>" + sixteen + "</a>", &small));
    // A character completed behind the cut, with the end right behind it:
    // the piece is the last one, for texts, comments and CDATA sections alike,
    // also when the input arrives in pieces of one byte.
    const std::string fifteen = "0123456789abcde";
    const std::string doc =
        "<!--" + fifteen + "\xC3\xA9--><a><![CDATA[" + fifteen + "\xC3\xA9]]>" + fifteen + "\xC3\xA9</a>";
    const std::string expected =
        "C:" + fifteen + "\xC3\xA9|S:a[]|A:" + fifteen + "\xC3\xA9|T:" + fifteen + "\xC3\xA9|E:a|OK|";
    EXPECT_EQ(expected, Events(doc, &small));
    EXPECT_EQ(expected, Events(doc, &small, 1));
}

TEST(PullParser, PiecesCutBeforeEndMarksThatAreContent)
{
    PXP_ParserLimits small;
    small.nTextBufferSize = 16;
    const std::string fifteen = "0123456789abcde";
    // Behind the completed character come a dash or bracket that are content:
    // the piece goes on, and the held-back marks open the next piece.
    for (int nChunk : {1, 3, 1 << 20}) {
        EXPECT_EQ("C:" + fifteen + "\xC3\xA9+|C:->x|S:a[]|E:a|OK|",
                  Events("<!--" + fifteen + "\xC3\xA9->x--><a/>", &small, nChunk))
            << nChunk;
        EXPECT_EQ("S:a[]|A:" + fifteen + "\xC3\xA9+|A:]]x]>|E:a|OK|",
                  Events("<a><![CDATA[" + fifteen + "\xC3\xA9]]x]>]]></a>", &small, nChunk))
            << nChunk;
    }
}

TEST(PullParser, NamesValuesAndEndTagsInEveryChunking)
{
    const std::string doc = "<root \t xmlns:p='u'>\n\t <\xC3\xA9lem a1=\"x'y\" p:b = 'v\"w&amp;z' c=\"\xC3\xA9\t.\">t</\xC3\xA9lem >"
                            "<abc/><abc></abc  ><p:q p:r='1'/></root>";
    const std::string expected = "S:root[xmlns:p=u]|T:\n\t |S:\xC3\xA9lem[a1=x'y p:b=v\"w&z c=\xC3\xA9 .]|T:t|E:\xC3\xA9lem|"
                                 "S:abc[]|E:abc|S:abc[]|E:abc|S:p:q[p:r=1]|E:p:q|E:root|OK|";
    for (int nChunk : {1, 2, 3, 5, 1 << 20}) {
        EXPECT_EQ(expected, Events(doc, nullptr, nChunk)) << nChunk;
        EXPECT_EQ(1u, Parse("<abc></abd>", nullptr, nChunk).nError) << nChunk;
        EXPECT_EQ(1u, Parse("<abc></ab>", nullptr, nChunk).nError) << nChunk;
        EXPECT_EQ(1u, Parse("<abc></abcd>", nullptr, nChunk).nError) << nChunk;
        EXPECT_EQ(1u, Parse("<\xC3\xA9></\xC3\xA8>", nullptr, nChunk).nError) << nChunk;
    }
    // The value length the reader takes matches the value.
    CStringInput in("<a x='12&lt;45' y=''/>", 1 << 20, false);
    PXP_Parser parser;
    ASSERT_EQ(1, parser.Initialize());
    ASSERT_EQ(1, parser.SetInputStream(&in));
    ASSERT_EQ(static_cast<uint32_t>(PXP_EVENT_START_TAG), parser.Next());
    EXPECT_EQ(5u, parser.GetAttributeValueLength(0));
    EXPECT_EQ(0u, parser.GetAttributeValueLength(1));
    EXPECT_EQ(0u, parser.GetAttributeValueLength(2));
}

namespace {

// Runs doc (UTF-8) as UTF-8 and as UTF-16 in both orders, whole and in
// small chunks, with and without the reader's end marker; every run must
// give the same events.
std::string EventsInEveryEncoding(const std::string& doc, const PXP_ParserLimits* pLimits = nullptr)
{
    std::string first;
    for (int nForm = 0; nForm < 3; ++nForm) {
        std::string in = nForm == 0 ? doc : Utf16(doc, nForm == 2, true);
        for (int nChunk : {1 << 20, 7}) {
            for (bool bMarker : {false, true}) {
                std::string got = Parse(in, pLimits, nChunk, bMarker).Joined();
                if (first.empty())
                    first = got;
                EXPECT_EQ(first, got) << "form " << nForm << " chunk " << nChunk << " marker " << bMarker;
            }
        }
    }
    return first;
}

// A value of exactly nBytes UTF-8 bytes, with two-byte characters in it
// when bWide.
std::string Filler(size_t nBytes, bool bWide, char c = 'v')
{
    std::string s;
    while (s.size() < nBytes) {
        if (bWide && nBytes - s.size() >= 2 && s.size() % 3 == 0)
            s += "\xC3\xA9";
        else
            s += c;
    }
    return s;
}

struct CAttr
{
    std::string strName;
    std::string strValue;
};

std::string Tag(const std::vector<CAttr>& attrs, std::string& strExpect)
{
    std::string doc = "<a";
    strExpect = "S:a[";
    for (size_t i = 0; i < attrs.size(); ++i) {
        doc += " " + attrs[i].strName + "='" + attrs[i].strValue + "'";
        strExpect += (i > 0 ? " " : "") + attrs[i].strName + "=" + attrs[i].strValue;
    }
    strExpect += "]|E:a|OK|";
    return doc + "/>";
}

}  // namespace

// The attribute values of one tag share a buffer of 1024 bytes, each value
// with its NUL: totals just below, at and above it, with empty values before,
// after and between long ones, fit exactly when the total does.
TEST(PullParserBoundaries, AttributeValueBuffer)
{
    const size_t nCap = PXP_ParserLimits().nAttrValueBufferSize;
    for (size_t nTotal : {nCap - 1, nCap, nCap + 1}) {
        for (int nEmpty : {0, 1, 2, 16, 31}) {
            for (int nLayout = 0; nLayout < 3; ++nLayout) {
                for (bool bWide : {false, true}) {
                    // nEmpty empty values and one or two long ones.
                    const int nLong = nLayout == 2 ? 2 : 1;
                    if (nEmpty + nLong > 32)
                        continue;
                    size_t nLongBytes = nTotal - static_cast<size_t>(nEmpty + nLong);
                    std::vector<CAttr> attrs;
                    for (int i = 0; i < nEmpty; ++i)
                        attrs.push_back({"e" + std::to_string(i), ""});
                    CAttr big1{"v0", Filler(nLongBytes / static_cast<size_t>(nLong), bWide)};
                    CAttr big2{"v1", Filler(nLongBytes - big1.strValue.size(), bWide)};
                    if (nLayout == 0) {
                        attrs.push_back(big1);  // the long value last
                    } else if (nLayout == 1) {
                        attrs.insert(attrs.begin(), big1);  // first
                    } else {
                        attrs.insert(attrs.begin(), big1);
                        attrs.insert(attrs.begin() + static_cast<long>(attrs.size() / 2 + 1), big2);
                    }
                    std::string strExpect;
                    std::string doc = Tag(attrs, strExpect);
                    std::string got = EventsInEveryEncoding(doc);
                    if (nTotal <= nCap)
                        EXPECT_EQ(strExpect, got) << nTotal << " " << nEmpty << " " << nLayout << " " << bWide;
                    else
                        EXPECT_EQ("ERR6|", got) << nTotal << " " << nEmpty << " " << nLayout << " " << bWide;
                }
            }
        }
    }
    // The report's document: a value that fills the buffer, then empty ones.
    std::string doc = "<a v='" + std::string(1022, 'x') + "'";
    for (int i = 0; i < 31; ++i)
        doc += " e" + std::to_string(i) + "=''";
    EXPECT_EQ("ERR6|", EventsInEveryEncoding(doc + "/>"));
    // The fuzz target's find: with small limits, empty values alone pass the
    // buffer.
    PXP_ParserLimits small;
    small.nAttrValueBufferSize = 4;
    EXPECT_EQ("ERR6|", EventsInEveryEncoding("<r _='' b='1' c='' d=''/>", &small));
    EXPECT_EQ("S:r[_= b=1 c=]|E:r|OK|", EventsInEveryEncoding("<r _='' b='1' c=''/>", &small));
    // References count with their replacement.
    EXPECT_EQ("S:a[v=" + std::string(1021, 'x') + "&&]|E:a|OK|",
              EventsInEveryEncoding("<a v='" + std::string(1021, 'x') + "&amp;&#38;'/>"));
    EXPECT_EQ("ERR6|", EventsInEveryEncoding("<a v='" + std::string(1022, 'x') + "&amp;&#38;'/>"));
}

// The attribute names share a buffer of 512 bytes, each with its NUL.
TEST(PullParserBoundaries, AttributeNameBuffer)
{
    const size_t nCap = PXP_ParserLimits().nAttrNameBufferSize;
    for (size_t nTotal : {nCap - 1, nCap, nCap + 1}) {
        for (int nShort : {0, 1, 15, 31}) {
            for (bool bWide : {false, true}) {
                for (bool bEmptyValues : {false, true}) {
                    std::vector<CAttr> attrs;
                    size_t nUsed = 0;
                    for (int i = 0; i < nShort; ++i) {
                        std::string strName = "s" + std::to_string(i);
                        nUsed += strName.size() + 1;
                        attrs.push_back({strName, bEmptyValues && i % 2 == 0 ? "" : "v"});
                    }
                    attrs.push_back({"L" + Filler(nTotal - nUsed - 2, bWide, 'n'), bEmptyValues ? "" : "w"});
                    std::string strExpect;
                    std::string doc = Tag(attrs, strExpect);
                    std::string got = EventsInEveryEncoding(doc);
                    if (nTotal <= nCap)
                        EXPECT_EQ(strExpect, got) << nTotal << " " << nShort << " " << bWide;
                    else
                        EXPECT_EQ("ERR6|", got) << nTotal << " " << nShort << " " << bWide;
                }
            }
        }
    }
}

// Counts and fixed buffers: attributes, depth, bindings in scope, element
// names, prefixes, URIs and the declaration's values, each at its limit
// less one, at it and one above it.
TEST(PullParserBoundaries, CountsAndFixedBuffers)
{
    const PXP_ParserLimits limits;
    for (int nDelta : {-1, 0, 1}) {
        const bool bFits = nDelta <= 0;
        // Attributes of one tag, empty and not.
        std::vector<CAttr> attrs;
        for (int i = 0; i < static_cast<int>(limits.nMaxAttributes) + nDelta; ++i)
            attrs.push_back({"a" + std::to_string(i), i % 3 == 0 ? "" : "\xC3\xA9"});
        std::string strExpect;
        std::string doc = Tag(attrs, strExpect);
        EXPECT_EQ(bFits ? strExpect : "ERR6|", EventsInEveryEncoding(doc)) << nDelta;

        // Depth.
        const int nDepth = static_cast<int>(limits.nMaxDepth) + nDelta;
        std::string strNest, strNestExpect;
        for (int i = 0; i < nDepth; ++i) {
            strNest += "<e>";
            strNestExpect += "S:e[]|";
        }
        for (int i = 0; i < nDepth; ++i) {
            strNest += "</e>";
            strNestExpect += "E:e|";
        }
        std::string got = EventsInEveryEncoding(strNest);
        if (bFits)
            EXPECT_EQ(strNestExpect + "OK|", got);
        else
            EXPECT_EQ("ERR6|", got.substr(got.size() - 5));

        // Bindings in scope, spread over two levels, with empty URIs.
        const int nBindings = static_cast<int>(limits.nMaxNamespaces) + nDelta;
        std::string strOuter = "<o", strInner = "<i";
        for (int i = 0; i < nBindings; ++i)
            (i < nBindings / 2 ? strOuter : strInner) +=
                " xmlns:p" + std::to_string(i) + "='" + (i % 2 == 0 ? "" : "u\xC3\xA9") + "'";
        got = EventsInEveryEncoding(strOuter + ">" + strInner + "/></o>");
        EXPECT_EQ(bFits ? "OK|" : "ERR6|", got.substr(got.size() - (bFits ? 3 : 5))) << nDelta;

        // Element names (32 bytes), prefixes (16) and URIs (128), with
        // two-byte characters.
        const std::string strName = Filler(PXP_MAX_NAME_LENGTH + nDelta, true, 'n');
        EXPECT_EQ(bFits ? "S:" + strName + "[]|E:" + strName + "|OK|" : "ERR6|",
                  EventsInEveryEncoding("<" + strName + "/>"));
        const std::string strPrefix = Filler(PXP_MAX_PREFIX_LENGTH + nDelta, true, 'p');
        got = EventsInEveryEncoding("<" + strPrefix + ":a xmlns:" + strPrefix + "='u'/>");
        EXPECT_EQ(bFits ? "S:" + strPrefix + ":a[xmlns:" + strPrefix + "=u]|E:" + strPrefix + ":a|OK|" : "ERR6|", got);
        const std::string strUri = Filler(PXP_MAX_URI_LENGTH + nDelta, true, 'u');
        EXPECT_EQ(bFits ? "S:a[xmlns=" + strUri + " b=]|E:a|OK|" : "ERR6|",
                  EventsInEveryEncoding("<a xmlns='" + strUri + "' b=''/>"));

        // The declaration's values: version up to 8 bytes, encoding up to 12
        // (a name the parser does not know is error 2 while it fits).
        const std::string strVersion = Filler(8 + nDelta, false, '1');
        EXPECT_EQ(bFits ? 0u : 6u, ErrorOf("<?xml version='" + strVersion + "'?><a/>"));
        const std::string strEncoding = Filler(12 + nDelta, false, 'E');
        EXPECT_EQ(bFits ? 2u : 6u, ErrorOf("<?xml version='1.0' encoding='" + strEncoding + "'?><a/>"));
    }
}

// Text never overflows: at a small buffer, texts just below, at and above
// it, with multibyte characters and references at the cut, come back whole.
TEST(PullParserBoundaries, TextPiecesAroundTheBuffer)
{
    PXP_ParserLimits limits;
    limits.nTextBufferSize = 16;
    for (size_t nLength = 14; nLength <= 18; ++nLength) {
        for (const std::string& strTail : {std::string(), std::string("\xF0\x9F\x98\x80"), std::string("&amp;")}) {
            for (const char* szKind : {"T", "C", "A"}) {
                const std::string strText = Filler(nLength, true, 't') + strTail;
                std::string doc;
                if (szKind[0] == 'T')
                    doc = "<a>" + strText + "</a>";
                else if (szKind[0] == 'C')
                    doc = "<a><!--" + strText + "--></a>";
                else
                    doc = "<a><![CDATA[" + strText + "]]></a>";
                std::string got = EventsInEveryEncoding(doc, &limits);
                // Glue the pieces of the construct back together.
                std::string strJoined;
                size_t nPos = 0;
                const std::string strMark = std::string(szKind) + ":";
                while ((nPos = got.find(strMark, nPos)) != std::string::npos) {
                    size_t nEnd = got.find('|', nPos);
                    std::string strPiece = got.substr(nPos + 2, nEnd - nPos - 2);
                    if (!strPiece.empty() && strPiece.back() == '+')
                        strPiece.pop_back();
                    strJoined += strPiece;
                    nPos = nEnd;
                }
                std::string strWant = strText;
                if (szKind[0] == 'T' && !strTail.empty() && strTail[0] == '&')
                    strWant = strWant.substr(0, strWant.size() - 5) + "&";
                EXPECT_EQ(strWant, strJoined) << nLength << " " << szKind << " " << strTail;
                EXPECT_EQ("E:a|OK|", got.substr(got.size() - 7)) << got;
            }
        }
    }
}
