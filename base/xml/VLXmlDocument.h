// The root of an XML tree (node type 0): owns its top-level nodes, creates
// the nodes of its tree, reads XML through the pull parser and writes the
// tree back, escaped on Save and optionally indented.
#ifndef VLXMLDOCUMENT_H
#define VLXMLDOCUMENT_H

#include <map>
#include <string>
#include <vector>

#include "base/xml/VLXmlAttribute.h"
#include "base/xml/VLXmlComment.h"
#include "base/xml/VLXmlElement.h"
#include "base/xml/VLXmlNode.h"
#include "base/xml/VLXmlNodeArena.h"
#include "base/xml/VLXmlNodeList.h"
#include "base/xml/VLXmlText.h"

class CVLXmlDocument : public IVLXmlNode
{
public:
    CVLXmlDocument();
    virtual ~CVLXmlDocument();

    virtual int GetNodeType() const override { return VLXML_NODE_DOCUMENT; }
    virtual CVLString GetNodeName() const override { return CVLString("#document", VL_CHARSET_UTF8); }
    virtual CVLXmlNodeList* GetChildNodes() const override { return const_cast<CVLXmlNodeList*>(&m_Children); }
    virtual bool IsEqualNode(const IVLXmlNode* pOther) const override;
    virtual void Delete() override;
    // Deletes every child and resets version "1.0" and encoding "utf-8".
    virtual void Clear() override;
    virtual void WriteXml(IVLStream* pStream, int nIndentLevel, bool bShallow, bool bInline) const override;

    virtual CVLXmlDocument& operator=(const CVLXmlDocument& src);
    using IVLXmlNode::operator=;
    virtual CVLString& GetVersion() { return m_strVersion; }
    virtual void SetVersion(const char* szVersion);
    virtual CVLString& GetEncoding() { return m_strEncoding; }
    virtual void SetEncoding(const char* szEncoding);
    virtual void GetElementsByTagName(const char* szName, CVLXmlNodeList* pResult) const;
    virtual CVLXmlElement* GetDocumentElement() const;
    virtual CVLXmlElement* GetElementByPath(const char* szPath, bool bCreate);
    // Reads the document from pStream (opened for reading when it is not open,
    // and closed again then). Throws EVLXmlException on a parse error (code 5)
    // or a version other than "1.0" (code 1); what was read stays.
    virtual void Load(IVLStream* pStream);
    // Writes the document as UTF-8 (opening and closing pStream when it is
    // not open).
    virtual void Save(IVLStream* pStream);
    // Where the last Load stopped: line and column (in bytes, from 1) of the
    // UTF-8 text; 0 before any Load.
    VL_ULONG GetLoadLine() const { return m_nLoadLine; }
    VL_ULONG GetLoadColumn() const { return m_nLoadColumn; }
    // The form of the bytes the last Load read, for a tool that writes the
    // document back as it came: their charset (VL_CHARSET_UTF8, _UTF16LE,
    // _UTF16BE, _SHIFT_JIS or _EUC_JP), whether a byte-order mark came
    // first, whether the document opened with an XML declaration, and that
    // declaration as written (in UTF-8; empty when it is longer than
    // kKeptDeclarationBytes).
    static const int kKeptDeclarationBytes = 256;
    struct SLoadedForm
    {
        int eCharset;
        bool bByteOrderMark;
        bool bDeclaration;
        std::string strDeclaration;
    };
    const SLoadedForm& GetLoadedForm() const { return m_LoadedForm; }
    // What the last Load read and the tree does not hold: the reader drops
    // processing instructions, CDATA sections, the DOCTYPE and the
    // declaration's standalone, and keeps a reference to an undeclared entity
    // as text. The first of each kind, in document order, so that a tool that
    // writes the document back can refuse rather than lose them.
    enum EDropped
    {
        DROPPED_INSTRUCTION,
        DROPPED_CDATA,
        DROPPED_DOCTYPE,
        DROPPED_STANDALONE,
        DROPPED_ENTITY
    };
    struct SDropped
    {
        EDropped eKind;
        VL_ULONG nLine;
        VL_ULONG nColumn;
        std::string strReference;  // DROPPED_ENTITY: the reference as written
    };
    const std::vector<SDropped>& GetDropped() const { return m_Dropped; }
    // What becomes of the construct, in words ("a CDATA section would be
    // lost: the reader drops it").
    static std::string DescribeDropped(const SDropped& dropped);
    virtual CVLString& GetSpareTextB() { return m_strSpareB; }
    virtual void SetSpareTextB(const char* sz);
    virtual CVLString& GetSpareTextC() { return m_strSpareC; }
    virtual void SetSpareTextC(const char* sz);
    virtual CVLString& GetSpareTextA() { return m_strSpareA; }
    virtual void SetSpareTextA(const char* sz);
    virtual CVLString& GetSpareTextD() { return m_strSpareD; }
    virtual void SetSpareTextD(const char* sz);
    virtual void SetFormat(bool bFormat) { m_bFormat = bFormat; }
    virtual bool GetFormat() const { return m_bFormat; }
    virtual void SetLineEnd(bool bLineEnd) { m_bLineEnd = bLineEnd; }
    virtual bool GetLineEnd() const { return m_bLineEnd; }
    virtual void SetEscape(bool bEscape) { m_bEscape = bEscape; }
    // Whether Save writes every text as it was read (off: the writing above,
    // which drops an element's blanks-only content and, with the format
    // flag, the tabs and line feeds around texts). With the format flag, an
    // element is then laid out only when it holds elements or comments and
    // nothing but blanks beside them (those blanks give way to the layout);
    // an element with other text, its whole subtree and what
    // xml:space="preserve" covers (up to an xml:space="default") are written
    // as they are. Set before Load, Load keeps the blanks outside the root
    // element too, as texts of the document, which Save writes as they are
    // (the format flag's line ends beside them).
    void SetKeepText(bool bKeepText) { m_bKeepText = bKeepText; }
    virtual void SetIndentText(const char* szText);
    virtual CVLString& GetIndentText() { return m_strIndentText; }
    virtual CVLString& GetIndent(int nLevel);
    virtual void SetLineEndText(const char* szText);
    virtual CVLString& GetLineEndText() { return m_strLineEndText; }
    virtual CVLXmlElement* CreateElement(const char* szName);
    virtual CVLXmlAttribute* CreateAttribute(const char* szName);
    virtual CVLXmlText* CreateTextNode(const char* szText);
    virtual CVLXmlComment* CreateComment(const char* szText);
    // A deep copy of pSrc that belongs to this document, not yet in the tree.
    virtual IVLXmlNode* ImportNode(const IVLXmlNode* pSrc);
    virtual void Merge(const CVLXmlDocument* pSrc, const char* szKeyAttribute);
    virtual void RemoveElementsByAttribute(const char* szAttrName, const char* szValue, int nCompare);
    // Empties the texts that only lay out the content of an element (blanks
    // beside its elements and comments, with no other text there), so that
    // a formatted write indents the document whatever blanks it came with.
    void ClearLayoutBlanks();

    // Building a tree as Load does, for readers of other forms of a document
    // (the binary definition resource): nodes placed in the document's memory
    // and appended to pParent, this document or one of its elements. An
    // element is given room for the links of nAttributes attributes. A loaded
    // attribute replaces the value of one of the same name. Texts are taken up
    // to nLength bytes or their first zero byte.
    CVLXmlElement* AppendLoadedElement(IVLXmlNode* pParent, const char* pName, int nLength, int nAttributes);
    CVLXmlText* AppendLoadedText(IVLXmlNode* pParent, const char* pText, int nLength);
    CVLXmlAttribute* SetLoadedAttribute(CVLXmlElement* pElement, const char* pName, int nNameLength,
                                        const char* pValue, int nValueLength);

    // Writer helpers.
    void WriteIndent(IVLStream* pStream, int nLevel);
    void WriteLineEnd(IVLStream* pStream);
    void AppendEscaped(const CVLString& strSrc, CVLString& strDst) const;
    void AppendEscapedAs(const CVLString& strSrc, CVLString& strDst, bool bAttribute) const;
    // A deep copy of pSrc for ImportNode, built without recursion.
    CVLXmlElement* ImportElementTree(const CVLXmlElement* pSrc);
    void CopyChildNodes(const CVLXmlNodeList& src, CVLXmlNodeList& dst, IVLXmlNode* pParent, bool bClear);
    void FillEscapeTable();
    void ClearEscapeTable();

    // The same for a node that may have no document (then nothing is
    // indented, ended or escaped).
    static void WriteIndentFor(const CVLXmlDocument* pDoc, IVLStream* pStream, int nLevel);
    static void WriteLineEndFor(const CVLXmlDocument* pDoc, IVLStream* pStream);
    static void AppendEscapedFor(const CVLXmlDocument* pDoc, const CVLString& strSrc, CVLString& strDst,
                                 bool bAttribute = false);
    static void WriteText(IVLStream* pStream, const CVLString& str);
    static void WriteText(IVLStream* pStream, const char* sz);
    // bContent: some child counts as content; bText: some child is text with
    // more than tabs and line feeds.
    static void ClassifyChildren(const CVLXmlNodeList& children, bool& bContent, bool& bText);

protected:
    friend class CVLXmlWriter;  // writes the tree as WriteXml does, without the calls
    CVLXmlDocument(const CVLXmlDocument&) = delete;
    void LoadFrom(IVLStream* pStream, const CVLString& strName);
    // One handler per parser event of Load.
    struct CLoadContext;
    void OnDeclaration(CLoadContext& ctx);
    void OnStartTag(CLoadContext& ctx);
    bool AddLoadedDeclarations(CLoadContext& ctx, CVLXmlElement* pElement, int nFirst, int nNamespaces);
    void AddLoadedAttributes(CLoadContext& ctx, CVLXmlElement* pElement, bool bDeclared);
    void OnCloseTag(CLoadContext& ctx);
    void OnText(CLoadContext& ctx, bool bComment);
    void NoteDropped(EDropped eKind, VL_ULONG nLine, VL_ULONG nColumn, const char* szReference = nullptr);
    // The child list of the innermost open node, given room for a few links.
    CVLXmlNodeList* ChildListForLoad(CLoadContext& ctx);
    // Deletes the whole tree and frees the arena.
    void ClearTree();
    // A node of type T for the reader, in the arena.
    template <class T>
    T* NewLoadedNode();

    // The memory of the nodes read by Load; declared before m_Children, so
    // that it outlives them.
    CVLXmlNodeArena m_Arena;
    CVLXmlNodeList m_Children;
    CVLString m_strVersion;
    CVLString m_strEncoding;
    bool m_bFormat;
    bool m_bLineEnd;
    bool m_bEscape;
    bool m_bKeepText;
    CVLString m_strIndentText;
    CVLString m_strLineEndText;
    std::map<int, CVLString> m_IndentCache;
    const char* m_EscapeTable[256];
    bool m_bEscapeActive;
    CVLString m_strSpareA;
    CVLString m_strSpareB;
    CVLString m_strSpareC;
    CVLString m_strSpareD;
    VL_ULONG m_nLoadLine;
    VL_ULONG m_nLoadColumn;
    std::vector<SDropped> m_Dropped;
    SLoadedForm m_LoadedForm;
};

#endif
