#include "base/xml/VLXmlDocument.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/xml/pxp/PXP_Parser.h"
#include "base/core/VLCharset.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/xml/VLXmlException.h"
#include "base/xml/VLXmlStream.h"
#include "base/xml/VLXmlWriter.h"

namespace {

const char* const s_szFile = "VLXmlDocument";
// Throw-site codes: fixed numbers that identify each site in traces and
// results; they are not line numbers and never change.
const int kSiteLoadVersion = 315;
const int kSiteLoadParser = 434;
const int kSiteCreateElement = 726;
const int kSiteCreateAttribute = 745;
const int kSiteCreateTextNode = 764;
const int kSiteCreateComment = 783;
const int kSiteImportNodeSource = 796;
const int kSiteImportNodeDocument = 809;
// The line that Load's catch ladder reports for a failure it converts.
const int kLoadLadderLine = 438;

struct CEntity
{
    char c;
    const char* szText;
};
const CEntity kEntities[] = {{'<', "&lt;"}, {'>', "&gt;"}, {'&', "&amp;"}, {'\'', "&apos;"}, {'"', "&quot;"}};

// Makes room for nMore bytes behind the text of str, keeping the text.
void ReserveForAppend(CVLString& str, int nMore)
{
    const int nOld = str.GetLength();
    if (nOld == 0) {
        str.Reserve(nMore);
        return;
    }
    std::string strKeep(str.GetBuffer(), static_cast<size_t>(nOld));
    str.Reserve(nOld + nMore);  // keeps the text when the room is there already
    if (str.GetLength() != nOld)
        str.Append(strKeep.data(), nOld);
}

bool IsUtf8Name(const CVLString& str)
{
    return str.CompareNoCase("UTF-8") == 0;
}

static_assert(CVLXmlDocument::kKeptDeclarationBytes == PXP_MAX_DECLARATION_LENGTH,
              "the document tells how much of the declaration the parser keeps");

// The charset of a parser's encoding code.
int CharsetOfParserCode(signed char nCode)
{
    switch (nCode) {
    case PXP_CHARSET_UTF16LE:
        return VL_CHARSET_UTF16LE;
    case PXP_CHARSET_UTF16BE:
        return VL_CHARSET_UTF16BE;
    case PXP_CHARSET_SHIFT_JIS:
        return VL_CHARSET_SHIFT_JIS;
    case PXP_CHARSET_EUC_JP:
        return VL_CHARSET_EUC_JP;
    default:
        return VL_CHARSET_UTF8;
    }
}

// Appends pNode to pList as a child of pParent; deletes pNode when that fails.
void AppendOwned(CVLXmlNodeList* pList, IVLXmlNode* pParent, IVLXmlNode* pNode)
{
    try {
        pList->Append(pNode);
    } catch (...) {
        pNode->Delete();
        throw;
    }
    pNode->SetParentNode(pParent);
}

}  // namespace

CVLXmlDocument::CVLXmlDocument()
    : m_Children(true)
    , m_strVersion("1.0", VL_CHARSET_UTF8)
    , m_strEncoding("utf-8", VL_CHARSET_UTF8)
    , m_bFormat(false)
    , m_bLineEnd(true)
    , m_bEscape(true)
    , m_bKeepText(false)
    , m_strIndentText("\t", VL_CHARSET_UTF8)
    , m_strLineEndText("\r\n", VL_CHARSET_UTF8)
    , m_bEscapeActive(false)
    , m_strSpareA(VL_CHARSET_UTF8)
    , m_strSpareB(VL_CHARSET_UTF8)
    , m_strSpareC(VL_CHARSET_UTF8)
    , m_strSpareD(VL_CHARSET_UTF8)
    , m_nLoadLine(0)
    , m_nLoadColumn(0)
    , m_LoadedForm{VL_CHARSET_UTF8, false, false, std::string()}
{
    std::memset(m_EscapeTable, 0, sizeof(m_EscapeTable));
}

CVLXmlDocument::~CVLXmlDocument()
{
    ClearTree();
}

void CVLXmlDocument::ClearTree()
{
    if (m_Arena.HasNodes()) {
        // Nodes of the arena are only ever in this tree (no operation takes
        // a node out of a tree without deleting it): the other nodes go with
        // their lists, the arena's in one pass of their own.
        CVLXmlNodeArena::CSweep sweep;
        m_Children.Clear();
        m_Arena.DeleteNodes();
    } else {
        m_Children.Clear();
    }
    m_Arena.Reset();
}

bool CVLXmlDocument::IsEqualNode(const IVLXmlNode* pOther) const
{
    if (!IVLXmlNode::IsEqualNode(pOther))
        return false;
    if (pOther == this)
        return true;
    const CVLXmlDocument* pDoc = static_cast<const CVLXmlDocument*>(pOther);
    return m_strVersion == pDoc->m_strVersion && m_strEncoding == pDoc->m_strEncoding;
}

void CVLXmlDocument::Delete()
{
    delete this;
}

void CVLXmlDocument::Clear()
{
    ClearTree();
    m_strVersion = "1.0";
    m_strEncoding = "utf-8";
}

CVLXmlDocument& CVLXmlDocument::operator=(const CVLXmlDocument& src)
{
    if (&src == this)
        return *this;
    IVLXmlNode::operator=(src);
    m_strVersion = src.m_strVersion;
    m_strEncoding = src.m_strEncoding;
    m_bFormat = src.m_bFormat;
    m_bLineEnd = src.m_bLineEnd;
    m_bEscape = src.m_bEscape;
    m_strIndentText = src.m_strIndentText;
    m_IndentCache.clear();
    m_strSpareA = src.m_strSpareA;
    m_strSpareB = src.m_strSpareB;
    CopyChildNodes(src.m_Children, m_Children, this, true);
    return *this;
}

void CVLXmlDocument::SetVersion(const char* szVersion)
{
    m_strVersion = szVersion != nullptr ? szVersion : "";
}

void CVLXmlDocument::SetEncoding(const char* szEncoding)
{
    m_strEncoding = szEncoding != nullptr ? szEncoding : "";
}

void CVLXmlDocument::SetSpareTextA(const char* sz)
{
    m_strSpareA = sz != nullptr ? sz : "";
}

void CVLXmlDocument::SetSpareTextB(const char* sz)
{
    m_strSpareB = sz != nullptr ? sz : "";
}

void CVLXmlDocument::SetSpareTextC(const char* sz)
{
    m_strSpareC = sz != nullptr ? sz : "";
}

void CVLXmlDocument::SetSpareTextD(const char* sz)
{
    m_strSpareD = sz != nullptr ? sz : "";
}

void CVLXmlDocument::SetIndentText(const char* szText)
{
    m_strIndentText = szText != nullptr ? szText : "";
    m_IndentCache.clear();
}

void CVLXmlDocument::SetLineEndText(const char* szText)
{
    m_strLineEndText = szText != nullptr ? szText : "";
}

CVLString& CVLXmlDocument::GetIndent(int nLevel)
{
    if (nLevel < 0)
        nLevel = 0;
    auto it = m_IndentCache.find(nLevel);
    if (it != m_IndentCache.end())
        return it->second;
    CVLString str(VL_CHARSET_UTF8);
    for (int i = 0; i < nLevel; ++i)
        str += m_strIndentText;
    return m_IndentCache.emplace(nLevel, str).first->second;
}

void CVLXmlDocument::GetElementsByTagName(const char* szName, CVLXmlNodeList* pResult) const
{
    if (szName == nullptr || pResult == nullptr || pResult->OwnsNodes())
        throw new EVLXmlException(VLSTD_MODULE, s_szFile, __LINE__, VLXML_ERROR_PARAMETER, 0, nullptr, nullptr);
    for (CVLXmlNodeConstIterator it = m_Children.ConstBegin(); !it.IsEnd(); it.Next()) {
        IVLXmlNode* pChild = it.Get();
        if (pChild->GetNodeType() != VLXML_NODE_ELEMENT)
            continue;
        CVLXmlElement* pElement = static_cast<CVLXmlElement*>(pChild);
        if (pElement->GetTagNameRef() == szName)
            pResult->Append(pElement);
        pElement->GetElementsByTagName(szName, pResult);
    }
}

CVLXmlElement* CVLXmlDocument::GetDocumentElement() const
{
    for (CVLXmlNodeConstIterator it = m_Children.ConstBegin(); !it.IsEnd(); it.Next()) {
        if (it.Get()->GetNodeType() == VLXML_NODE_ELEMENT)
            return static_cast<CVLXmlElement*>(it.Get());
    }
    return nullptr;
}

CVLXmlElement* CVLXmlDocument::GetElementByPath(const char* szPath, bool bCreate)
{
    if (szPath == nullptr)
        return nullptr;
    CVLString strPath(szPath, VL_CHARSET_UTF8);
    CVLString strStep(VL_CHARSET_UTF8), strRest(VL_CHARSET_UTF8);
    int nSlash = strPath.Find('/');
    if (nSlash > 0) {
        strStep = strPath.Mid(0, nSlash);
        strRest = strPath.Mid(nSlash + 1);
    } else {
        strStep = strPath;
    }
    CVLXmlElement* pRoot = GetDocumentElement();
    if (pRoot == nullptr) {
        if (!bCreate)
            return nullptr;
        pRoot = CreateElement(strStep.GetString());
        AppendOwned(&m_Children, this, pRoot);
    }
    if (pRoot->GetTagNameRef() != strStep)
        return nullptr;
    if (strRest.GetLength() == 0)
        return pRoot;
    return pRoot->GetElementByPath(strRest.GetString(), bCreate);
}

CVLXmlElement* CVLXmlDocument::CreateElement(const char* szName)
{
    CVLXmlElement* p = new (std::nothrow) CVLXmlElement;
    if (p == nullptr)
        throw new EVLMemoryAllocException(VLSTD_MODULE, s_szFile, kSiteCreateElement);
    p->SetNodeName(szName);
    p->SetOwnerDocument(this);
    return p;
}

CVLXmlAttribute* CVLXmlDocument::CreateAttribute(const char* szName)
{
    CVLXmlAttribute* p = new (std::nothrow) CVLXmlAttribute;
    if (p == nullptr)
        throw new EVLMemoryAllocException(VLSTD_MODULE, s_szFile, kSiteCreateAttribute);
    p->SetNodeName(szName);
    p->SetOwnerDocument(this);
    return p;
}

CVLXmlText* CVLXmlDocument::CreateTextNode(const char* szText)
{
    CVLXmlText* p = new (std::nothrow) CVLXmlText;
    if (p == nullptr)
        throw new EVLMemoryAllocException(VLSTD_MODULE, s_szFile, kSiteCreateTextNode);
    p->SetNodeValue(szText);
    p->SetOwnerDocument(this);
    return p;
}

CVLXmlComment* CVLXmlDocument::CreateComment(const char* szText)
{
    CVLXmlComment* p = new (std::nothrow) CVLXmlComment;
    if (p == nullptr)
        throw new EVLMemoryAllocException(VLSTD_MODULE, s_szFile, kSiteCreateComment);
    p->SetNodeValue(szText);
    p->SetOwnerDocument(this);
    return p;
}

IVLXmlNode* CVLXmlDocument::ImportNode(const IVLXmlNode* pSrc)
{
    if (pSrc == nullptr)
        throw new EVLXmlException(VLSTD_MODULE, s_szFile, kSiteImportNodeSource, VLXML_ERROR_PARAMETER, 0, nullptr,
                                  nullptr);
    IVLXmlNode* pNew = nullptr;
    try {
        switch (pSrc->GetNodeType()) {
        case VLXML_NODE_DOCUMENT: {
            CVLXmlDocument* pDoc = new (std::nothrow) CVLXmlDocument;
            if (pDoc == nullptr)
                throw new EVLMemoryAllocException(VLSTD_MODULE, s_szFile, kSiteImportNodeDocument);
            pNew = pDoc;
            *pDoc = *static_cast<const CVLXmlDocument*>(pSrc);
            break;
        }
        case VLXML_NODE_ELEMENT:
            pNew = ImportElementTree(static_cast<const CVLXmlElement*>(pSrc));
            break;
        case VLXML_NODE_ATTRIBUTE: {
            CVLXmlAttribute* pAttr = CreateAttribute(pSrc->GetNodeName().GetString());
            pNew = pAttr;
            pAttr->SetNodeValue(pSrc->GetNodeValue().GetString());
            pAttr->SetUserData(pSrc->GetUserData());
            break;
        }
        case VLXML_NODE_TEXT:
            pNew = CreateTextNode(pSrc->GetNodeValue().GetString());
            pNew->SetUserData(pSrc->GetUserData());
            break;
        case VLXML_NODE_COMMENT:
            pNew = CreateComment(pSrc->GetNodeValue().GetString());
            pNew->SetUserData(pSrc->GetUserData());
            break;
        default:
            break;
        }
    } catch (...) {
        if (pNew != nullptr)
            pNew->Delete();
        throw;
    }
    return pNew;
}

// The element assignment for a whole subtree, level by level from a list of
// pairs still to fill, so that a deep tree does not recurse once per level.
CVLXmlElement* CVLXmlDocument::ImportElementTree(const CVLXmlElement* pSrc)
{
    CVLXmlElement* pRoot = CreateElement(pSrc->GetTagNameRef().GetString());
    try {
        std::vector<std::pair<const CVLXmlElement*, CVLXmlElement*>> pending;
        pending.emplace_back(pSrc, pRoot);
        while (!pending.empty()) {
            const CVLXmlElement* pFrom = pending.back().first;
            CVLXmlElement* pTo = pending.back().second;
            pending.pop_back();
            pTo->IVLXmlNode::operator=(*pFrom);
            const CVLXmlNamedNodeMap* pMap = pFrom->GetAttributes();
            for (CVLXmlNodeConstIterator it = pMap->ConstBegin(); !it.IsEnd(); it.Next()) {
                IVLXmlNode* pAttr = it.Get();
                pTo->SetAttribute(pAttr->GetNodeName().GetString(), pAttr->GetNodeValue().GetString());
            }
            for (CVLXmlNodeConstIterator it = pFrom->GetChildNodes()->ConstBegin(); !it.IsEnd(); it.Next()) {
                IVLXmlNode* pChild = it.Get();
                IVLXmlNode* pCopy;
                if (pChild->GetNodeType() == VLXML_NODE_ELEMENT) {
                    CVLXmlElement* pElement = CreateElement(pChild->GetNodeName().GetString());
                    pCopy = pElement;
                    AppendOwned(pTo->GetChildNodes(), pTo, pCopy);
                    pending.emplace_back(static_cast<const CVLXmlElement*>(pChild), pElement);
                } else {
                    pCopy = ImportNode(pChild);
                    if (pCopy != nullptr)
                        AppendOwned(pTo->GetChildNodes(), pTo, pCopy);
                }
            }
        }
    } catch (...) {
        pRoot->Delete();
        throw;
    }
    return pRoot;
}

void CVLXmlDocument::CopyChildNodes(const CVLXmlNodeList& src, CVLXmlNodeList& dst, IVLXmlNode* pParent, bool bClear)
{
    // Copy first, then change dst: src may be dst itself or lie inside it.
    std::vector<IVLXmlNode*> copies;
    try {
        for (CVLXmlNodeConstIterator it = src.ConstBegin(); !it.IsEnd(); it.Next()) {
            IVLXmlNode* pCopy = ImportNode(it.Get());
            if (pCopy != nullptr)
                copies.push_back(pCopy);
        }
    } catch (...) {
        for (IVLXmlNode* p : copies)
            p->Delete();
        throw;
    }
    if (bClear)
        dst.Clear();
    for (size_t i = 0; i < copies.size(); ++i) {
        try {
            dst.Append(copies[i]);
        } catch (...) {
            for (size_t k = i; k < copies.size(); ++k)
                copies[k]->Delete();
            throw;
        }
        copies[i]->SetParentNode(pParent);
    }
}

void CVLXmlDocument::Merge(const CVLXmlDocument* pSrc, const char* szKeyAttribute)
{
    if (pSrc == nullptr || pSrc == this)
        return;
    CVLXmlElement* pSrcRoot = pSrc->GetDocumentElement();
    if (pSrcRoot == nullptr)
        return;
    CVLXmlElement* pRoot = GetDocumentElement();
    if (pRoot == nullptr) {
        pRoot = CreateElement(pSrcRoot->GetTagNameRef().GetString());
        AppendOwned(&m_Children, this, pRoot);
    }
    pRoot->Merge(pSrcRoot, szKeyAttribute);
}

void CVLXmlDocument::RemoveElementsByAttribute(const char* szAttrName, const char* szValue, int nCompare)
{
    CVLXmlElement* pRoot = GetDocumentElement();
    if (pRoot != nullptr)
        pRoot->RemoveElementsByAttribute(szAttrName, szValue, nCompare);
}

namespace {

bool IsBlankText(const IVLXmlNode* pNode)
{
    const CVLString& strData = static_cast<const CVLXmlText*>(pNode)->GetData();
    const char* p = strData.GetBuffer();
    for (int i = 0, n = strData.GetLength(); i < n; ++i) {
        if (p[i] != ' ' && p[i] != '\t' && p[i] != '\n' && p[i] != '\r')
            return false;
    }
    return true;
}

}  // namespace

void CVLXmlDocument::ClearLayoutBlanks()
{
    // Level by level from a list of elements still to visit: a deep tree
    // does not recurse once per level.
    std::vector<CVLXmlElement*> pending;
    for (CVLXmlNodeConstIterator it = m_Children.ConstBegin(); !it.IsEnd(); it.Next()) {
        if (it.Get()->GetNodeType() == VLXML_NODE_ELEMENT)
            pending.push_back(static_cast<CVLXmlElement*>(it.Get()));
    }
    while (!pending.empty()) {
        CVLXmlElement* pElement = pending.back();
        pending.pop_back();
        bool bLayout = false;
        bool bText = false;
        for (CVLXmlNodeConstIterator it = pElement->GetChildNodes()->ConstBegin(); !it.IsEnd(); it.Next()) {
            IVLXmlNode* pChild = it.Get();
            if (pChild->GetNodeType() != VLXML_NODE_TEXT)
                bLayout = true;
            else if (!IsBlankText(pChild))
                bText = true;
            if (pChild->GetNodeType() == VLXML_NODE_ELEMENT)
                pending.push_back(static_cast<CVLXmlElement*>(pChild));
        }
        if (!bLayout || bText)
            continue;
        for (CVLXmlNodeConstIterator it = pElement->GetChildNodes()->ConstBegin(); !it.IsEnd(); it.Next()) {
            if (it.Get()->GetNodeType() == VLXML_NODE_TEXT)
                it.Get()->SetNodeValue("");
        }
    }
}

// ---------------------------------------------------------------------------
// Reading

void CVLXmlDocument::Load(IVLStream* pStream)
{
    try {
        if (pStream == nullptr)
            throw new EVLXmlException(VLSTD_MODULE, s_szFile, __LINE__, VLXML_ERROR_PARAMETER, 0, nullptr, nullptr);
        bool bOpened = false;
        if (!pStream->IsOpen()) {
            pStream->Open(VL_OPEN_READ);
            bOpened = true;
        }
        try {
            CVLString strName = pStream->GetName();
            LoadFrom(pStream, strName);
        } catch (...) {
            // The stream is closed on every path that opened it.
            if (bOpened) {
                try {
                    pStream->Close();
                } catch (EVLException* e) {
                    e->Delete();
                }
            }
            throw;
        }
        if (bOpened)
            pStream->Close();
    } catch (...) {
        VLRethrowAsFramework(VLSTD_MODULE, s_szFile, kLoadLadderLine);
    }
}

template <class T>
T* CVLXmlDocument::NewLoadedNode()
{
    static_assert(alignof(T) <= alignof(void*), "the arena places nodes at pointer alignment");
    T* p = new (m_Arena.Allocate(sizeof(T))) T;
    p->m_bInArena = true;
    p->m_pOwnerDocument = this;
    try {
        m_Arena.AddNode(p);
    } catch (...) {
        p->Delete();
        throw;
    }
    return p;
}

namespace {

// Room for the links of a few children, as a list's pool carves it (a link
// is two list pointers and the node pointer). A loaded list takes its links
// from the arena: first one, then as many again as it holds, up to a limit
// (a start tag's attributes get exactly as many as it has).
const std::size_t kLinkBytes = 3 * sizeof(void*);
const std::size_t kFirstChildLinks = 1;
const std::size_t kMaxChildLinks = 256;

// Gives a loaded list arena memory for its next links when it has none left.
void AddLinks(CVLXmlNodeArena& arena, CVLXmlNodeList* pList, std::size_t nLinks)
{
    if (!pList->NeedsLinks())
        return;
    if (nLinks == 0) {
        nLinks = pList->GetSize();
        nLinks = nLinks < kFirstChildLinks ? kFirstChildLinks : nLinks > kMaxChildLinks ? kMaxChildLinks : nLinks;
    }
    pList->AddSpareLinks(arena.Allocate(nLinks * kLinkBytes), nLinks * kLinkBytes);
}

}  // namespace

// What the handlers of one Load share.
struct CVLXmlDocument::CLoadContext
{
    CLoadContext(PXP_Parser& p, const CVLString& str) : parser(p), strName(str) {}

    PXP_Parser& parser;
    const CVLString& strName;
    // The open nodes, the document first, and for each the number of
    // namespace bindings in scope inside it: what a start tag has beyond
    // its parent's count it declared itself.
    std::vector<IVLXmlNode*> stack;
    std::vector<int> scope;
    CVLXmlElement* pLast = nullptr;
    // Room for a prefix, a colon and the longest name the parser hands out.
    std::vector<char> name;
};

// The first links of a child list, in the arena, as LoadFrom gives them.
static void AddFirstLinks(CVLXmlNodeArena& arena, IVLXmlNode* pParent, const IVLXmlNode* pDocument)
{
    if (pParent != pDocument)
        AddLinks(arena, pParent->GetChildNodes(), 0);
}

CVLXmlElement* CVLXmlDocument::AppendLoadedElement(IVLXmlNode* pParent, const char* pName, int nLength, int nAttributes)
{
    AddFirstLinks(m_Arena, pParent, this);
    CVLXmlElement* pElement = NewLoadedNode<CVLXmlElement>();
    AppendOwned(pParent->GetChildNodes(), pParent, pElement);
    pElement->AssignTagName(pName, nLength);
    if (nAttributes > 0) {
        const std::size_t nBytes = static_cast<std::size_t>(nAttributes) * kLinkBytes;
        pElement->GetAttributes()->AddSpareLinks(m_Arena.Allocate(nBytes), nBytes);
    }
    return pElement;
}

CVLXmlText* CVLXmlDocument::AppendLoadedText(IVLXmlNode* pParent, const char* pText, int nLength)
{
    AddFirstLinks(m_Arena, pParent, this);
    CVLXmlText* pNode = NewLoadedNode<CVLXmlText>();
    AppendOwned(pParent->GetChildNodes(), pParent, pNode);
    pNode->AssignData(pText, nLength);
    return pNode;
}

CVLXmlAttribute* CVLXmlDocument::SetLoadedAttribute(CVLXmlElement* pElement, const char* pName, int nNameLength,
                                                    const char* pValue, int nValueLength)
{
    CVLXmlNamedNodeMap* pMap = pElement->GetAttributes();
    nNameLength = nNameLength > 0 ? static_cast<int>(strnlen(pName, static_cast<size_t>(nNameLength))) : 0;
    CVLXmlAttribute* pAttr = static_cast<CVLXmlAttribute*>(pMap->FindName(pName, nNameLength));
    if (pAttr != nullptr) {
        pAttr->AssignValue(pValue, nValueLength);
        return pAttr;
    }
    AddLinks(m_Arena, pMap, 0);
    pAttr = NewLoadedNode<CVLXmlAttribute>();
    try {
        pAttr->AssignName(pName, nNameLength);
        pAttr->AssignValue(pValue, nValueLength);
        pMap->AddNewAttribute(pAttr);
    } catch (...) {
        pAttr->Delete();
        throw;
    }
    return pAttr;
}

void CVLXmlDocument::LoadFrom(IVLStream* pStream, const CVLString& strName)
{
    CVLXmlStream input(pStream);
    Clear();
    PXP_Parser parser;
    PXP_ParserLimits limits;
    limits.nTextBufferSize = 32704;
    limits.nMaxAttributes = 32;
    limits.nMaxDepth = 100;
    limits.nReadBufferSize = 4096;
    limits.nMaxNamespaces = 32;
    limits.nAttrNameBufferSize = 512;
    limits.nAttrValueBufferSize = 1024;
    limits.nMaxEntities = 10;
    if (parser.Initialize(&limits) == 0)
        throw new EVLMemoryAllocException(VLSTD_MODULE, s_szFile, __LINE__);
    parser.SetOuterBlanks(m_bKeepText);
    parser.SetInputStream(&input);  // a failure shows as the first event

    m_Dropped.clear();
    m_LoadedForm = SLoadedForm{VL_CHARSET_UTF8, parser.HasByteOrderMark(), false, std::string()};
    CLoadContext ctx(parser, strName);
    ctx.stack.reserve(limits.nMaxDepth + 2);
    ctx.stack.push_back(this);
    ctx.scope.reserve(limits.nMaxDepth + 2);
    ctx.scope.push_back(0);
    ctx.name.resize(limits.nAttrNameBufferSize + 64);
    for (;;) {
        uint32_t nEvent = parser.Next();
        if (nEvent == PXP_EVENT_ERROR || nEvent == PXP_EVENT_DOCUMENT_DONE || nEvent == PXP_EVENT_XML_DECLARATION) {
            m_nLoadLine = parser.GetLine();
            m_nLoadColumn = parser.GetColumn();
            m_LoadedForm.eCharset = CharsetOfParserCode(parser.GetEncodingCode());
        }
        if (nEvent == PXP_EVENT_ERROR) {
            EVLXmlException* pError =
                new EVLXmlException(VLSTD_MODULE, s_szFile, kSiteLoadParser, VLXML_ERROR_PARSER,
                                    static_cast<int>(parser.GetErrorCode()), strName.GetString(), ctx.pLast);
            pError->SetParserDetail(parser.GetErrorDetail());
            // A name the parser does not read at all is no disagreement with the text.
            const char* szDeclared = parser.GetDeclaredEncoding();
            if (parser.GetErrorCode() == PXP_ENCODING_DISAGREEMENT_ERROR && szDeclared != nullptr &&
                !PXP_Parser::ReadsEncoding(szDeclared))
                pError->SetUnreadEncoding(szDeclared);
            throw pError;
        }
        if (nEvent == PXP_EVENT_DOCUMENT_DONE) {
            if (parser.GetUndeclaredLine() != 0)
                NoteDropped(DROPPED_ENTITY, parser.GetUndeclaredLine(), parser.GetUndeclaredColumn(),
                            parser.GetUndeclaredReference());
            if (parser.GetStandaloneLine() != 0)
                NoteDropped(DROPPED_STANDALONE, parser.GetStandaloneLine(), parser.GetStandaloneColumn());
            std::stable_sort(m_Dropped.begin(), m_Dropped.end(), [](const SDropped& a, const SDropped& b) {
                return a.nLine != b.nLine ? a.nLine < b.nLine : a.nColumn < b.nColumn;
            });
            break;
        }
        switch (nEvent) {
        case PXP_EVENT_XML_DECLARATION:
            OnDeclaration(ctx);
            break;
        case PXP_EVENT_START_TAG:
            OnStartTag(ctx);
            break;
        case PXP_EVENT_CLOSE_TAG:
            OnCloseTag(ctx);
            break;
        case PXP_EVENT_TEXT:
            OnText(ctx, false);
            break;
        case PXP_EVENT_COMMENT:
            OnText(ctx, true);
            break;
        case PXP_EVENT_PROCESSING_INSTRUCTION:
            NoteDropped(DROPPED_INSTRUCTION, parser.GetMarkLine(), parser.GetMarkColumn());
            break;
        case PXP_EVENT_CDATA:
            NoteDropped(DROPPED_CDATA, parser.GetMarkLine(), parser.GetMarkColumn());
            break;
        case PXP_EVENT_DOCTYPE:
            NoteDropped(DROPPED_DOCTYPE, parser.GetMarkLine(), parser.GetMarkColumn());
            break;
        default:
            break;
        }
    }
}

// Instructions, CDATA sections and DOCTYPEs are dropped: the first of each
// kind is noted.
void CVLXmlDocument::NoteDropped(EDropped eKind, VL_ULONG nLine, VL_ULONG nColumn, const char* szReference)
{
    for (const SDropped& dropped : m_Dropped) {
        if (dropped.eKind == eKind)
            return;
    }
    m_Dropped.push_back(SDropped{eKind, nLine, nColumn, szReference != nullptr ? szReference : ""});
}

std::string CVLXmlDocument::DescribeDropped(const SDropped& dropped)
{
    switch (dropped.eKind) {
    case DROPPED_INSTRUCTION:
        return "a processing instruction would be lost: the reader drops it";
    case DROPPED_CDATA:
        return "a CDATA section would be lost: the reader drops it";
    case DROPPED_DOCTYPE:
        return "the DOCTYPE would be lost: the reader drops it";
    case DROPPED_STANDALONE:
        return "the standalone declaration would be lost: the reader drops it";
    case DROPPED_ENTITY:
        return "the reference " + dropped.strReference + " to an undeclared entity would become the text \"" +
               dropped.strReference + "\"";
    }
    return "a construct would be lost";
}

void CVLXmlDocument::OnDeclaration(CLoadContext& ctx)
{
    SetVersion(ctx.parser.GetVersion());
    if (m_strVersion != "1.0")
        throw new EVLXmlException(VLSTD_MODULE, s_szFile, kSiteLoadVersion, VLXML_ERROR_VERSION, 0,
                                  ctx.strName.GetString(), nullptr);
    SetEncoding(ctx.parser.GetEncoding());
    m_LoadedForm.bDeclaration = true;
    const char* szDeclaration = ctx.parser.GetDeclarationText();
    m_LoadedForm.strDeclaration = szDeclaration != nullptr ? szDeclaration : "";
}

CVLXmlNodeList* CVLXmlDocument::ChildListForLoad(CLoadContext& ctx)
{
    IVLXmlNode* pTop = ctx.stack.back();
    CVLXmlNodeList* pList = pTop->GetChildNodes();
    if (pTop != this)
        AddLinks(m_Arena, pList, 0);
    return pList;
}

void CVLXmlDocument::OnStartTag(CLoadContext& ctx)
{
    PXP_Parser& parser = ctx.parser;
    IVLXmlNode* pTop = ctx.stack.back();
    CVLXmlNodeList* pList = ChildListForLoad(ctx);
    CVLXmlElement* pElement = NewLoadedNode<CVLXmlElement>();
    AppendOwned(pList, pTop, pElement);
    pElement->SetLoadLine(parser.GetLine());
    const char* pPrefix = parser.GetPrefix();
    const char* pLocal = parser.GetName();
    size_t nPrefix = pPrefix != nullptr ? std::strlen(pPrefix) : 0;
    size_t nLocal = std::strlen(pLocal);
    if (nPrefix > 0) {
        char* p = ctx.name.data();
        std::memcpy(p, pPrefix, nPrefix);
        p[nPrefix] = ':';
        std::memcpy(p + nPrefix + 1, pLocal, nLocal);
        pElement->AssignTagName(p, static_cast<int>(nPrefix + 1 + nLocal));
    } else {
        pElement->AssignTagName(pLocal, static_cast<int>(nLocal));
    }
    const int nNamespaces = parser.GetNamespaceCount();
    const bool bDeclared = AddLoadedDeclarations(ctx, pElement, ctx.scope.back(), nNamespaces);
    AddLoadedAttributes(ctx, pElement, bDeclared);
    ctx.stack.push_back(pElement);
    ctx.scope.push_back(nNamespaces);
    ctx.pLast = pElement;
}

// The bindings that the start tag declared, in their order, ahead of the
// other attributes; true when there was one.
bool CVLXmlDocument::AddLoadedDeclarations(CLoadContext& ctx, CVLXmlElement* pElement, int nFirst, int nNamespaces)
{
    PXP_Parser& parser = ctx.parser;
    CVLXmlNamedNodeMap* pMap = pElement->GetAttributes();
    const int nAttributes = parser.GetAttributeCount();
    if (nAttributes + nNamespaces - nFirst > 0) {
        const std::size_t nBytes = static_cast<std::size_t>(nAttributes + nNamespaces - nFirst) * kLinkBytes;
        pMap->AddSpareLinks(m_Arena.Allocate(nBytes), nBytes);
    }
    bool bDeclared = false;
    for (int i = nFirst; i < nNamespaces; ++i) {
        const char* pNsPrefix = parser.GetNamespacePrefix(i);
        CVLString strDecl("xmlns", VL_CHARSET_UTF8);
        if (pNsPrefix != nullptr && *pNsPrefix != 0) {
            strDecl += ":";
            strDecl += pNsPrefix;
        }
        pElement->SetAttribute(strDecl.GetString(), parser.GetNamespaceURI(i));
        bDeclared = true;
    }
    return bDeclared;
}

void CVLXmlDocument::AddLoadedAttributes(CLoadContext& ctx, CVLXmlElement* pElement, bool bDeclared)
{
    PXP_Parser& parser = ctx.parser;
    CVLXmlNamedNodeMap* pMap = pElement->GetAttributes();
    const int nAttributes = parser.GetAttributeCount();
    for (int i = 0; i < nAttributes; ++i) {
        const char* pAttrPrefix = parser.GetAttributePrefix(i);
        const char* pAttrName = parser.GetAttributeName(i);
        const char* pValue = parser.GetAttributeValue(i);
        size_t nAttrPrefix = pAttrPrefix != nullptr ? std::strlen(pAttrPrefix) : 0;
        size_t nAttrName = std::strlen(pAttrName);
        const char* pFull = pAttrName;
        size_t nFull = nAttrName;
        if (nAttrPrefix > 0) {
            if (ctx.name.size() < nAttrPrefix + nAttrName + 2)
                ctx.name.resize(nAttrPrefix + nAttrName + 2);
            char* p = ctx.name.data();
            std::memcpy(p, pAttrPrefix, nAttrPrefix);
            p[nAttrPrefix] = ':';
            std::memcpy(p + nAttrPrefix + 1, pAttrName, nAttrName);
            nFull = nAttrPrefix + 1 + nAttrName;
            pFull = p;
        }
        if (bDeclared) {
            // A declaration set above arrives again as an attribute.
            IVLXmlNode* pOld = pMap->FindName(pFull, static_cast<int>(nFull));
            if (pOld != nullptr) {
                CVLXmlAttribute* pOldAttr = static_cast<CVLXmlAttribute*>(pOld);
                if (pOldAttr->GetValue().GetLength() == 0)
                    pOldAttr->SetNodeValue(pValue);
                continue;
            }
        }
        CVLXmlAttribute* pAttr = NewLoadedNode<CVLXmlAttribute>();
        try {
            pAttr->AssignName(pFull, static_cast<int>(nFull));
            pAttr->AssignValue(pValue, static_cast<int>(parser.GetAttributeValueLength(i)));
            pMap->AddNewAttribute(pAttr);
        } catch (...) {
            pAttr->Delete();
            throw;
        }
    }
}

void CVLXmlDocument::OnCloseTag(CLoadContext& ctx)
{
    if (ctx.stack.size() > 1) {
        ctx.stack.pop_back();
        ctx.scope.pop_back();
    }
}

void CVLXmlDocument::OnText(CLoadContext& ctx, bool bComment)
{
    IVLXmlNode* pTop = ctx.stack.back();
    CVLXmlNodeList* pList = ChildListForLoad(ctx);
    CVLXmlCharacterData* pNode;
    if (bComment)
        pNode = NewLoadedNode<CVLXmlComment>();
    else
        pNode = NewLoadedNode<CVLXmlText>();
    AppendOwned(pList, pTop, pNode);
    pNode->AssignData(ctx.parser.GetText(), static_cast<int>(ctx.parser.GetTextLength()));
}

// ---------------------------------------------------------------------------
// Writing

void CVLXmlDocument::FillEscapeTable()
{
    for (const CEntity& e : kEntities)
        m_EscapeTable[static_cast<unsigned char>(e.c)] = e.szText;
    m_bEscapeActive = true;
}

void CVLXmlDocument::ClearEscapeTable()
{
    std::memset(m_EscapeTable, 0, sizeof(m_EscapeTable));
    m_bEscapeActive = false;
}

void CVLXmlDocument::Save(IVLStream* pStream)
{
    if (pStream == nullptr)
        throw new EVLXmlException(VLSTD_MODULE, s_szFile, __LINE__, VLXML_ERROR_PARAMETER, 0, nullptr, nullptr);
    const bool bWasOpen = pStream->IsOpen();
    m_IndentCache.clear();
    if (m_bEscape)
        FillEscapeTable();
    try {
        if (!bWasOpen)
            pStream->Open(VL_OPEN_WRITE);
        CVLXmlWriter writer(pStream);
        writer.WriteNode(this, 0, false, false);
        writer.Finish();
    } catch (...) {
        m_IndentCache.clear();
        ClearEscapeTable();
        if (!bWasOpen && pStream->IsOpen()) {
            try {
                pStream->Close();
            } catch (EVLException* e) {
                e->Delete();
            }
        }
        throw;
    }
    m_IndentCache.clear();
    ClearEscapeTable();
    if (!bWasOpen)
        pStream->Close();
}

void CVLXmlDocument::WriteXml(IVLStream* pStream, int nIndentLevel, bool bShallow, bool) const
{
    CVLString str("<?xml", VL_CHARSET_UTF8);
    if (m_strVersion.GetLength() > 0) {
        str += " version=\"";
        str += m_strVersion;
        str += "\"";
    }
    if (m_strEncoding.GetLength() > 0) {
        // The writer always writes UTF-8: the declaration says so.
        str += " encoding=\"";
        if (IsUtf8Name(m_strEncoding))
            str += m_strEncoding;
        else
            str += "utf-8";
        str += "\"";
    }
    str += "?>";
    WriteText(pStream, str);
    if (bShallow)
        return;
    bool bContent = false;
    bool bText = false;
    ClassifyChildren(m_Children, bContent, bText);
    if (!bContent)
        return;
    if (!bText)
        WriteLineEndFor(this, pStream);
    for (CVLXmlNodeConstIterator it = m_Children.ConstBegin(); !it.IsEnd(); it.Next())
        it.Get()->WriteXml(pStream, nIndentLevel, false, bText);
}

void CVLXmlDocument::WriteIndent(IVLStream* pStream, int nLevel)
{
    if (m_bFormat)
        WriteText(pStream, GetIndent(nLevel));
}

void CVLXmlDocument::WriteLineEnd(IVLStream* pStream)
{
    if (m_bFormat && m_bLineEnd)
        WriteText(pStream, m_strLineEndText);
}

void CVLXmlDocument::AppendEscaped(const CVLString& strSrc, CVLString& strDst) const
{
    AppendEscapedAs(strSrc, strDst, false);
}

// Besides the table's characters, a carriage return in text and the blanks
// that a reader turns into spaces in attribute values are written as
// character references while escaping, so that they read back unchanged.
void CVLXmlDocument::AppendEscapedAs(const CVLString& strSrc, CVLString& strDst, bool bAttribute) const
{
    const char* p = strSrc.GetBuffer();
    const int n = strSrc.GetLength();
    if (!m_bEscapeActive) {
        if (n > 0)
            strDst.Append(p, n);
        return;
    }
    // Room for the whole escaped text first: growing the string piece by
    // piece would copy it again and again.
    int nExtra = 0;
    for (int i = 0; i < n; ++i) {
        const char* szEntity = m_EscapeTable[static_cast<unsigned char>(p[i])];
        if (szEntity != nullptr)
            nExtra += static_cast<int>(std::strlen(szEntity)) - 1;
        else if (p[i] == '\r' || (bAttribute && p[i] == '\t'))
            nExtra += 4;
        else if (bAttribute && p[i] == '\n')
            nExtra += 4;
    }
    ReserveForAppend(strDst, n + nExtra);
    int nRun = 0;
    for (int i = 0; i < n; ++i) {
        const char* szEntity = m_EscapeTable[static_cast<unsigned char>(p[i])];
        if (szEntity == nullptr) {
            if (p[i] == '\r')
                szEntity = "&#13;";
            else if (bAttribute && p[i] == '\t')
                szEntity = "&#9;";
            else if (bAttribute && p[i] == '\n')
                szEntity = "&#10;";
            else
                continue;
        }
        if (i > nRun)
            strDst.Append(p + nRun, i - nRun);
        strDst += szEntity;
        nRun = i + 1;
    }
    if (n > nRun)
        strDst.Append(p + nRun, n - nRun);
}

void CVLXmlDocument::WriteIndentFor(const CVLXmlDocument* pDoc, IVLStream* pStream, int nLevel)
{
    if (pDoc != nullptr)
        const_cast<CVLXmlDocument*>(pDoc)->WriteIndent(pStream, nLevel);
}

void CVLXmlDocument::WriteLineEndFor(const CVLXmlDocument* pDoc, IVLStream* pStream)
{
    if (pDoc != nullptr)
        const_cast<CVLXmlDocument*>(pDoc)->WriteLineEnd(pStream);
}

void CVLXmlDocument::AppendEscapedFor(const CVLXmlDocument* pDoc, const CVLString& strSrc, CVLString& strDst,
                                      bool bAttribute)
{
    if (pDoc != nullptr)
        pDoc->AppendEscapedAs(strSrc, strDst, bAttribute);
    else if (strSrc.GetLength() > 0)
        strDst.Append(strSrc.GetBuffer(), strSrc.GetLength());
}

void CVLXmlDocument::WriteText(IVLStream* pStream, const CVLString& str)
{
    if (str.GetLength() > 0)
        pStream->Write(reinterpret_cast<const VL_BYTE*>(str.GetBuffer()), static_cast<VL_SIZE_T>(str.GetLength()));
}

void CVLXmlDocument::WriteText(IVLStream* pStream, const char* sz)
{
    size_t n = std::strlen(sz);
    if (n > 0)
        pStream->Write(reinterpret_cast<const VL_BYTE*>(sz), static_cast<VL_SIZE_T>(n));
}

void CVLXmlDocument::ClassifyChildren(const CVLXmlNodeList& children, bool& bContent, bool& bText)
{
    bContent = false;
    bText = false;
    for (CVLXmlNodeConstIterator it = children.ConstBegin(); !it.IsEnd(); it.Next()) {
        IVLXmlNode* pChild = it.Get();
        if (pChild->GetNodeType() != VLXML_NODE_TEXT) {
            bContent = true;
            continue;
        }
        const CVLString& strData = static_cast<CVLXmlText*>(pChild)->GetData();
        const char* p = strData.GetBuffer();
        for (int i = 0, n = strData.GetLength(); i < n; ++i) {
            if (p[i] != '\n' && p[i] != '\t') {
                bContent = true;
                bText = true;
                break;
            }
        }
    }
}
