#include "base/xml/VLXmlWriter.h"

#include <new>
#include <typeinfo>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/core/VLMemoryAllocException.h"
#include "base/xml/VLXmlAttribute.h"
#include "base/xml/VLXmlComment.h"
#include "base/xml/VLXmlDocument.h"
#include "base/xml/VLXmlElement.h"
#include "base/xml/VLXmlText.h"

CVLXmlWriter::CVLXmlWriter(IVLStream* pTarget)
    : m_pTarget(pTarget), m_pBuffer(new (std::nothrow) char[kBufferBytes]), m_nUsed(0)
{
    if (m_pBuffer == nullptr)
        throw new EVLMemoryAllocException(VLSTD_MODULE, "VLXmlWriter", __LINE__);
}

CVLXmlWriter::~CVLXmlWriter()
{
    delete[] m_pBuffer;
}

CVLString CVLXmlWriter::GetClassName() const
{
    return CVLString("CVLXmlWriter", VL_CHARSET_UTF8);
}

void CVLXmlWriter::Put(const CVLString& str)
{
    const int n = str.CVLString::GetLength();
    if (n > 0)
        Put(str.CVLString::GetBuffer(), static_cast<std::size_t>(n));
}

void CVLXmlWriter::Spill(const char* p, std::size_t n)
{
    Finish();
    if (n >= kBufferBytes) {
        m_pTarget->Write(reinterpret_cast<const VL_BYTE*>(p), static_cast<VL_SIZE_T>(n));
        return;
    }
    std::memcpy(m_pBuffer, p, n);
    m_nUsed = n;
}

void CVLXmlWriter::Finish()
{
    if (m_nUsed == 0)
        return;
    const std::size_t n = m_nUsed;
    m_nUsed = 0;
    m_pTarget->Write(reinterpret_cast<const VL_BYTE*>(m_pBuffer), static_cast<VL_SIZE_T>(n));
}

bool CVLXmlWriter::Settings(const IVLXmlNode* pNode, const CVLXmlDocument*& pDoc)
{
    pDoc = pNode->IVLXmlNode::GetOwnerDocument();
    return pDoc == nullptr || typeid(*pDoc) == typeid(CVLXmlDocument);
}

void CVLXmlWriter::PutIndent(const CVLXmlDocument* pDoc, int nLevel)
{
    if (pDoc == nullptr || !pDoc->m_bFormat)
        return;
    for (int i = 0; i < nLevel; ++i)
        Put(pDoc->m_strIndentText);
}

void CVLXmlWriter::PutLineEnd(const CVLXmlDocument* pDoc)
{
    if (pDoc != nullptr && pDoc->m_bFormat && pDoc->m_bLineEnd)
        Put(pDoc->m_strLineEndText);
}

namespace {
// The bytes that escaping may replace: the five markup characters of the
// escape table, a carriage return, and (in attribute values) tabs and line
// feeds. Every other byte is copied as it is.
bool MayEscape(unsigned char c)
{
    switch (c) {
    case '<':
    case '>':
    case '&':
    case '\'':
    case '"':
    case '\r':
    case '\t':
    case '\n':
        return true;
    default:
        return false;
    }
}

struct SStopTable
{
    bool b[256];
    SStopTable()
    {
        for (int i = 0; i < 256; ++i)
            b[i] = MayEscape(static_cast<unsigned char>(i));
    }
};

// The first byte from p on that escaping may replace, or end: sixteen bytes
// at a time where the processor has the instructions for it. The block test
// lets through all bytes up to 13 as well; the table then passes them over.
const char* NextStop(const char* p, const char* end)
{
    static const SStopTable s_Stop;
#if defined(__SSE2__)
    const __m128i k13 = _mm_set1_epi8(13);
    const __m128i kZero = _mm_setzero_si128();
    const __m128i kQuote = _mm_set1_epi8('"');
    const __m128i kAmpApos = _mm_set1_epi8('\'');  // '&' | 1 == '\''
    const __m128i kOne = _mm_set1_epi8(1);
    const __m128i kAngle = _mm_set1_epi8('>');  // '<' | 2 == '>'
    const __m128i kTwo = _mm_set1_epi8(2);
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i low = _mm_cmpeq_epi8(_mm_subs_epu8(v, k13), kZero);
        const __m128i quote = _mm_cmpeq_epi8(v, kQuote);
        const __m128i ampApos = _mm_cmpeq_epi8(_mm_or_si128(v, kOne), kAmpApos);
        const __m128i angle = _mm_cmpeq_epi8(_mm_or_si128(v, kTwo), kAngle);
        int nMask = _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(low, quote), _mm_or_si128(ampApos, angle)));
        while (nMask != 0) {
            const char* q = p + __builtin_ctz(static_cast<unsigned int>(nMask));
            if (s_Stop.b[static_cast<unsigned char>(*q)])
                return q;
            nMask &= nMask - 1;
        }
        p += 16;
    }
#endif
    while (p < end && !s_Stop.b[static_cast<unsigned char>(*p)])
        ++p;
    return p;
}
}  // namespace

void CVLXmlWriter::PutEscaped(const CVLXmlDocument* pDoc, const char* p, int n, bool bAttribute)
{
    if (n <= 0)
        return;
    if (pDoc == nullptr || !pDoc->m_bEscapeActive) {
        Put(p, static_cast<std::size_t>(n));
        return;
    }
    // As CVLXmlDocument::AppendEscapedAs: the table's entities, a carriage
    // return, and in attribute values tabs and line feeds as references. The
    // bytes between two replaced ones go into the buffer in one piece.
    const char* const* pTable = pDoc->m_EscapeTable;
    const char* const end = p + n;
    const char* pRun = p;
    for (const char* q = NextStop(p, end); q != end; q = NextStop(q + 1, end)) {
        const unsigned char c = static_cast<unsigned char>(*q);
        const char* szEntity = pTable[c];
        if (szEntity == nullptr) {
            if (c == '\r')
                szEntity = "&#13;";
            else if (bAttribute && c == '\t')
                szEntity = "&#9;";
            else if (bAttribute && c == '\n')
                szEntity = "&#10;";
            else
                continue;
        }
        std::size_t nEntity = 0;
        while (szEntity[nEntity] != '\0')
            ++nEntity;
        Put(pRun, static_cast<std::size_t>(q - pRun));
        Put(szEntity, nEntity);
        pRun = q + 1;
    }
    Put(pRun, static_cast<std::size_t>(end - pRun));
}

void CVLXmlWriter::WriteNode(const IVLXmlNode* pNode, int nLevel, bool bShallow, bool bInline)
{
    // The node's kind picks the one class to compare with: comparing types
    // that differ costs a comparison of their names.
    const std::type_info& type = typeid(*pNode);
    const CVLXmlDocument* pDoc = nullptr;
    switch (pNode->GetNodeType()) {
    case VLXML_NODE_ELEMENT:
        if (type == typeid(CVLXmlElement) && Settings(pNode, pDoc)) {
            WriteElement(static_cast<const CVLXmlElement*>(pNode), nLevel, bShallow, bInline);
            return;
        }
        break;
    case VLXML_NODE_TEXT:
        if (type == typeid(CVLXmlText) && Settings(pNode, pDoc)) {
            WriteText(static_cast<const CVLXmlText*>(pNode));
            return;
        }
        break;
    case VLXML_NODE_ATTRIBUTE:
        if (type == typeid(CVLXmlAttribute) && Settings(pNode, pDoc)) {
            WriteAttribute(static_cast<const CVLXmlAttribute*>(pNode));
            return;
        }
        break;
    case VLXML_NODE_COMMENT:
        if (type == typeid(CVLXmlComment) && Settings(pNode, pDoc)) {
            WriteComment(static_cast<const CVLXmlComment*>(pNode), nLevel, bShallow, bInline);
            return;
        }
        break;
    case VLXML_NODE_DOCUMENT:
        if (type == typeid(CVLXmlDocument)) {
            WriteDocument(static_cast<const CVLXmlDocument*>(pNode), nLevel, bShallow);
            return;
        }
        break;
    default:
        break;
    }
    pNode->WriteXml(this, nLevel, bShallow, bInline);
}

void CVLXmlWriter::WriteDocument(const CVLXmlDocument* pDoc, int nLevel, bool bShallow)
{
    Put("<?xml", 5);
    if (pDoc->m_strVersion.GetLength() > 0) {
        Put(" version=\"", 10);
        Put(pDoc->m_strVersion);
        Put("\"", 1);
    }
    if (pDoc->m_strEncoding.GetLength() > 0) {
        // The writer always writes UTF-8: the declaration says so.
        Put(" encoding=\"", 11);
        if (pDoc->m_strEncoding.CompareNoCase("UTF-8") == 0)
            Put(pDoc->m_strEncoding);
        else
            Put("utf-8", 5);
        Put("\"", 1);
    }
    Put("?>", 2);
    if (bShallow)
        return;
    bool bContent = false;
    bool bText = false;
    Classify(pDoc->m_Children, bContent, bText);
    if (!bContent)
        return;
    if (!bText)
        PutLineEnd(pDoc);
    for (const IVLXmlNode* pChild : pDoc->m_Children.GetSequence())
        WriteNode(pChild, nLevel, false, bText);
}

namespace {
bool IsBlanks(const CVLString& str)
{
    const char* p = str.CVLString::GetBuffer();
    for (int i = 0, n = str.CVLString::GetLength(); i < n; ++i) {
        if (p[i] != ' ' && p[i] != '\t' && p[i] != '\n' && p[i] != '\r')
            return false;
    }
    return true;
}
}  // namespace

CVLXmlWriter::EContent CVLXmlWriter::ContentOf(const CVLXmlDocument* pDoc, const CVLXmlElement* pElement, SKeep& keep)
{
    if (pDoc == nullptr || !pDoc->m_bKeepText)
        return CONTENT_CLASSIFIED;
    static const char kSpace[] = "xml:space";
    const IVLXmlNode* pSpace = pElement->m_Attributes.FindName(kSpace, static_cast<int>(sizeof(kSpace) - 1));
    if (pSpace != nullptr) {
        const CVLString& strValue = static_cast<const CVLXmlAttribute*>(pSpace)->GetValue();
        if (strValue == "preserve")
            keep.bPreserve = true;
        else if (strValue == "default")
            keep.bPreserve = false;
    }
    bool bMarkup = false;
    bool bText = false;
    for (const IVLXmlNode* pChild : pElement->m_Children.GetSequence()) {
        if (pChild->GetNodeType() != VLXML_NODE_TEXT)
            bMarkup = true;
        else if (!IsBlanks(static_cast<const CVLXmlText*>(pChild)->GetData()))
            bText = true;
    }
    // Text beside elements is mixed content: laying out anything below it
    // would change its text.
    if (bMarkup && bText)
        keep.bFixed = true;
    if (!pDoc->m_bFormat || keep.bPreserve || keep.bFixed || !bMarkup)
        return CONTENT_AS_IS;
    return CONTENT_LAID_OUT;
}

CVLXmlWriter::SKeep CVLXmlWriter::KeepAbove(const CVLXmlElement* pElement)
{
    SKeep keep{false, false};
    const CVLXmlDocument* pDoc = pElement->IVLXmlNode::GetOwnerDocument();
    if (pDoc == nullptr || !pDoc->m_bKeepText)
        return keep;
    std::vector<const CVLXmlElement*> above;
    for (const IVLXmlNode* p = pElement->IVLXmlNode::GetParentNode();
         p != nullptr && p->GetNodeType() == VLXML_NODE_ELEMENT; p = p->IVLXmlNode::GetParentNode())
        above.push_back(static_cast<const CVLXmlElement*>(p));
    for (auto it = above.rbegin(); it != above.rend(); ++it)
        ContentOf(pDoc, *it, keep);
    return keep;
}

void CVLXmlWriter::WriteElement(const CVLXmlElement* pElement, int nLevel, bool bShallow, bool bInline)
{
    SKeep keep = KeepAbove(pElement);
    const EContent eContent = ContentOf(pElement->IVLXmlNode::GetOwnerDocument(), pElement, keep);
    bool bText = false;
    if (!WriteStart(pElement, nLevel, bShallow, bInline, eContent, bText))
        return;
    // As CVLXmlElement::WriteXml: nested elements from an explicit stack. An
    // element of a document of another class writes its tags itself.
    struct CFrame
    {
        const CVLXmlElement* pElement;
        VLXmlNodeSequence::const_iterator it;
        VLXmlNodeSequence::const_iterator end;
        int nLevel;
        bool bInline;
        bool bText;
        bool bOwn;
        EContent eContent;
        SKeep keep;
    };
    std::vector<CFrame> stack;
    const VLXmlNodeSequence& top = pElement->m_Children.GetSequence();
    stack.push_back(CFrame{pElement, top.begin(), top.end(), nLevel, bInline, bText, true, eContent, keep});
    while (!stack.empty()) {
        CFrame& frame = stack.back();
        if (frame.it == frame.end) {
            if (frame.bOwn)
                WriteEnd(frame.pElement, frame.nLevel, frame.bInline, frame.bText);
            else
                frame.pElement->WriteEnd(this, frame.nLevel, frame.bInline, frame.bText);
            stack.pop_back();
            continue;
        }
        const IVLXmlNode* pChild = *frame.it;
        ++frame.it;
        const int nChildLevel = frame.nLevel + 1;
        const bool bChildInline = frame.bText;
        if (pChild->GetNodeType() != VLXML_NODE_ELEMENT) {
            // The blanks of laid-out content give way to the layout.
            if (frame.eContent != CONTENT_LAID_OUT || pChild->GetNodeType() != VLXML_NODE_TEXT)
                WriteNode(pChild, nChildLevel, false, bChildInline);
            continue;
        }
        const CVLXmlElement* pChildElement = static_cast<const CVLXmlElement*>(pChild);
        const CVLXmlDocument* pDoc = nullptr;
        const bool bOwn = Settings(pChildElement, pDoc);
        SKeep childKeep = frame.keep;
        const EContent eChild = bOwn ? ContentOf(pDoc, pChildElement, childKeep) : CONTENT_CLASSIFIED;
        bool bChildText = false;
        const bool bOpen = bOwn ? WriteStart(pChildElement, nChildLevel, false, bChildInline, eChild, bChildText)
                                : pChildElement->WriteStart(this, nChildLevel, false, bChildInline, bChildText);
        if (bOpen) {
            const VLXmlNodeSequence& children = pChildElement->m_Children.GetSequence();
            stack.push_back(CFrame{pChildElement, children.begin(), children.end(), nChildLevel, bChildInline,
                                   bChildText, bOwn, eChild, childKeep});
        }
    }
}

bool CVLXmlWriter::WriteStart(const CVLXmlElement* pElement, int nLevel, bool bShallow, bool bInline, EContent eContent,
                              bool& bText)
{
    const CVLXmlDocument* pDoc = pElement->IVLXmlNode::GetOwnerDocument();
    if (!bInline)
        PutIndent(pDoc, nLevel);
    Put("<", 1);
    Put(pElement->m_strTagName);
    for (const IVLXmlNode* pAttr : pElement->m_Attributes.GetSequence())
        WriteNode(pAttr, nLevel, false, false);
    bool bContent = false;
    bText = false;
    switch (eContent) {
    case CONTENT_CLASSIFIED:
        Classify(pElement->m_Children, bContent, bText);
        break;
    case CONTENT_AS_IS:
        // Every text is content, blanks too; the children go inline.
        for (const IVLXmlNode* pChild : pElement->m_Children.GetSequence()) {
            if (pChild->GetNodeType() != VLXML_NODE_TEXT ||
                static_cast<const CVLXmlText*>(pChild)->GetData().CVLString::GetLength() > 0)
                bContent = true;
        }
        bText = bContent;
        break;
    case CONTENT_LAID_OUT:
        bContent = true;
        break;
    }
    if (!bContent || bShallow) {
        Put("/>", 2);
        if (!bShallow && !bInline)
            PutLineEnd(pDoc);
        return false;
    }
    Put(">", 1);
    if (!bText)
        PutLineEnd(pDoc);
    return true;
}

void CVLXmlWriter::WriteEnd(const CVLXmlElement* pElement, int nLevel, bool bInline, bool bText)
{
    const CVLXmlDocument* pDoc = pElement->IVLXmlNode::GetOwnerDocument();
    if (!bText)
        PutIndent(pDoc, nLevel);
    Put("</", 2);
    Put(pElement->m_strTagName);
    Put(">", 1);
    if (!bInline)
        PutLineEnd(pDoc);
}

void CVLXmlWriter::WriteAttribute(const CVLXmlAttribute* pAttr)
{
    Put(" ", 1);
    Put(pAttr->GetName());
    Put("=\"", 2);
    const CVLString& strValue = pAttr->GetValue();
    PutEscaped(pAttr->IVLXmlNode::GetOwnerDocument(), strValue.CVLString::GetBuffer(), strValue.CVLString::GetLength(), true);
    Put("\"", 1);
}

void CVLXmlWriter::WriteText(const CVLXmlCharacterData* pText)
{
    const CVLXmlDocument* pDoc = pText->IVLXmlNode::GetOwnerDocument();
    const CVLString& strData = pText->GetData();
    const char* p = strData.CVLString::GetBuffer();
    int nStart = 0;
    int nEnd = strData.CVLString::GetLength();
    if (pDoc != nullptr && pDoc->m_bFormat && !pDoc->m_bKeepText) {
        // Formatted output drops leading and trailing tabs and line feeds
        // (which escaping leaves as they are).
        while (nStart < nEnd && (p[nStart] == '\t' || p[nStart] == '\n'))
            ++nStart;
        while (nStart < nEnd && (p[nEnd - 1] == '\t' || p[nEnd - 1] == '\n'))
            --nEnd;
    }
    PutEscaped(pDoc, p + nStart, nEnd - nStart, false);
}

void CVLXmlWriter::WriteComment(const CVLXmlCharacterData* pComment, int nLevel, bool bShallow, bool bInline)
{
    const CVLXmlDocument* pDoc = pComment->IVLXmlNode::GetOwnerDocument();
    if (!bInline)
        PutIndent(pDoc, nLevel);
    Put("<!--", 4);
    Put(pComment->GetData());
    Put("-->", 3);
    if (!bShallow && !bInline)
        PutLineEnd(pDoc);
}

void CVLXmlWriter::Classify(const CVLXmlNodeList& children, bool& bContent, bool& bText)
{
    bContent = false;
    bText = false;
    for (const IVLXmlNode* pChild : children.GetSequence()) {
        if (pChild->GetNodeType() != VLXML_NODE_TEXT) {
            bContent = true;
            continue;
        }
        const CVLString& strData = static_cast<const CVLXmlText*>(pChild)->GetData();
        const char* p = strData.CVLString::GetBuffer();
        for (int i = 0, n = strData.CVLString::GetLength(); i < n; ++i) {
            if (p[i] != '\n' && p[i] != '\t') {
                bContent = true;
                bText = true;
                break;
            }
        }
    }
}
