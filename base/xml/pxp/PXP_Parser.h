// A pull parser for XML 1.0: each Next reads the input up to the following
// construct and returns its event; the accessors give the construct's data,
// as NUL-terminated UTF-8 owned by the parser, until the next call.
//
// Input in UTF-8, UTF-16 (either byte order) and, when declared, Shift_JIS
// and EUC-JP is converted to UTF-8 as it is read. The parser checks
// well-formedness as it goes, resolves namespace prefixes, replaces the
// predefined entities and character references, normalizes line ends and
// attribute-value blanks, and skips a DOCTYPE. Failures are reported through
// the error event and GetErrorCode, never by exception.
#ifndef PXP_PARSER_H
#define PXP_PARSER_H

#include <cstdint>

#include "base/xml/pxp/PXP_AttributeInfo.h"
#include "base/xml/pxp/PXP_Defs.h"
#include "base/xml/pxp/PXP_ElementInfo.h"
#include "base/xml/pxp/PXP_EncodeTranslater.h"
#include "base/xml/pxp/PXP_EntityInfo.h"
#include "base/xml/pxp/PXP_InputStream.h"
#include "base/xml/pxp/PXP_NamespaceInfo.h"
#include "base/xml/pxp/PXP_Object.h"
#include "base/xml/pxp/PXP_ParserLimits.h"

// The longest declaration GetDeclarationText hands out, in bytes.
#define PXP_MAX_DECLARATION_LENGTH 256

class PXP_Parser : public PXP_Object
{
public:
    PXP_Parser();
    virtual ~PXP_Parser();

    // Clears all parse state and sizes the buffers for pLimits (the built-in
    // defaults when null). 1 on success; 0 with error 5 when memory runs out.
    int Initialize(const PXP_ParserLimits* pLimits = nullptr);
    // Starts a document on pStream. 1 on success; 0 with error 3 (no stream,
    // or the first read failed) or 5.
    int SetInputStream(PXP_InputStream* pStream);
    signed char GetEncodingCode() const { return m_nEncoding; }
    // Whether the document began with a byte-order mark (UTF-8 or UTF-16).
    bool HasByteOrderMark() const { return m_bByteOrderMark; }
    // The encoding the declaration names, as written, also when the parser
    // stopped at it; null before it is read or without one.
    const char* GetDeclaredEncoding() const { return m_pEncodingText; }
    // Whether szName (in any mix of case) is an encoding the parser reads:
    // UTF-8, UTF-16 (either order), Shift_JIS or EUC-JP.
    static bool ReadsEncoding(const char* szName);
    // Whether the blanks outside the root element come as text events, line
    // ends normalized as in text (off by default: they are skipped).
    void SetOuterBlanks(bool bOuterBlanks) { m_bOuterBlanks = bOuterBlanks; }

    uint32_t Next();
    uint32_t GetEventType() const { return m_nEvent; }
    bool HasNext() const { return m_nEvent != PXP_EVENT_ERROR && m_nEvent != PXP_EVENT_DOCUMENT_DONE; }
    uint32_t GetErrorCode() const { return m_nError; }
    // What a syntax error was, in words, when the parser can say more than
    // "not well-formed" (a duplicate attribute, an unbound prefix, a byte
    // that is no character, no root element, an element not closed, an end
    // tag of another element, a second root element); "" otherwise. The
    // first fault found is the one described.
    const char* GetErrorDetail() const { return m_szErrorDetail; }

    const char* GetVersion() const;
    const char* GetEncoding() const;
    // At its event, the declaration as written, from "<?xml" to "?>" (in
    // UTF-8 when the input is UTF-16); null when it is longer than
    // PXP_MAX_DECLARATION_LENGTH bytes.
    const char* GetDeclarationText() const;

    const char* GetText() const;
    // Bytes of GetText before its NUL (0 when there is no text).
    uint32_t GetTextLength() const;
    bool IsWhitespace() const;
    bool IsContinued() const;

    const char* GetName() const;
    const char* GetPrefix() const;

    int GetAttributeCount() const;
    const char* GetAttributeName(int nIndex) const;
    const char* GetAttributeValue(int nIndex) const;
    // Bytes of GetAttributeValue before its NUL.
    uint32_t GetAttributeValueLength(int nIndex) const;
    const char* GetAttributePrefix(int nIndex) const;
    const char* GetAttributeNamespace(int nIndex) const;

    int GetNamespaceCount() const;
    const char* GetNamespacePrefix(int nIndex) const;
    const char* GetNamespaceURI(int nIndex) const;
    const char* LookupNamespaceURI(const char* szPrefix) const;

    const PXP_ParserLimits& GetLimits() const { return m_Limits; }

    // Where the current character stands in the UTF-8 text: line (from 1,
    // counting line feeds) and column (from 1, in bytes). After an error, the
    // place where the parser stopped.
    uint32_t GetLine() const;
    uint32_t GetColumn() const;

    // What the parser reads but hands out no data of, for a reader that
    // reports what it does not keep. Where the current processing
    // instruction, CDATA section or DOCTYPE began (its "<").
    uint32_t GetMarkLine() const { return m_nMarkLine; }
    uint32_t GetMarkColumn() const { return m_nMarkColumn; }
    // The first reference to an entity that nothing declares, which stays in
    // the text as written ("&e;"), and where it began; null and 0 without one.
    const char* GetUndeclaredReference() const { return m_nUndeclaredLine != 0 ? m_szUndeclared : nullptr; }
    uint32_t GetUndeclaredLine() const { return m_nUndeclaredLine; }
    uint32_t GetUndeclaredColumn() const { return m_nUndeclaredColumn; }
    // Where the declaration's standalone pseudo-attribute, which is skipped,
    // began; 0 without one.
    uint32_t GetStandaloneLine() const { return m_nStandaloneLine; }
    uint32_t GetStandaloneColumn() const { return m_nStandaloneColumn; }

private:
    PXP_Parser(const PXP_Parser&) = delete;
    PXP_Parser& operator=(const PXP_Parser&) = delete;

    // Input side.
    void FreeAll();
    void ResetState();
    bool Detect(int32_t nRead);
    bool CreateTranslater(uint32_t nFactor);
    bool TranslateRest();
    bool SetDeclaredEncoding(const char* szUpper);
    void Refill();
    // Lines are counted as the tokenizer passes their line feeds, so that
    // no byte is looked at again for them: Advance counts the byte it
    // leaves, and the runs that move over several bytes at once count their
    // own. NewLine takes note of a line feed whose next line starts at p.
    inline void NewLine(const unsigned char* p)
    {
        ++m_nLines;
        m_pLineStart = p;
    }
    // Keeps the column of pTo before the current chunk is left.
    void LeaveChunk(const unsigned char* pTo);
    // The column nBytes before the current character (on its line, at
    // least 1), and the mark of a construct whose "<" stands nBack before it.
    uint32_t ColumnBack(uint32_t nBytes) const;
    void Mark(uint32_t nBack);
    void Settle();
    inline void Advance()
    {
        if (*m_pPos == '\n')
            NewLine(m_pPos + 1);
        ++m_pPos;
        Settle();
    }
    // Advance over a byte known to be no line feed.
    inline void Step()
    {
        ++m_pPos;
        Settle();
    }
    inline unsigned char Cur() const { return *m_pPos; }

    // Tokenizer.
    bool Fail(uint32_t nError);
    // A syntax error with what it was (printf-style), kept for GetErrorDetail
    // unless an error came first; a byte that is no character, which ended
    // the input, is the fault whatever the tokenizer then missed.
    bool FailWith(const char* szFormat, ...) __attribute__((format(printf, 2, 3)));
    // A syntax error; where the input ends inside the root element, says
    // which element is not closed.
    void FailSyntax();
    // An end tag that names another element than the open one: the name
    // as written (the nMatched bytes of szExpected that matched, and the
    // rest read here), and the one expected.
    bool FailEndTag(const char* szExpected, uint32_t nMatched, uint32_t nLine);
    // A start tag behind the root element.
    bool FailSecondRoot();
    // Reads the rest of a name as written into szName behind its first n
    // bytes (at most about 64, whole characters), for a message, keeping
    // the place where it started as the error's; returns its length.
    uint32_t ReadWrittenName(char* szName, uint32_t n);
    bool SkipBlanks();
    bool ReadDeclaration();
    bool ReadDeclValue(char* pDst, uint32_t nMax);
    // The declaration's characters, kept as they are passed.
    void KeepDeclared(const char* p, uint32_t n);
    bool SkipDeclaredBlanks();
    void ReadOuterBlanks();
    bool ReadStartTag();
    bool ReadAttribute();
    bool ReadEndTag();
    bool ReadText();
    bool ReadComment();
    bool ReadCData();
    bool ReadMarkedContent(char cMark, uint32_t& nHeld);
    bool ReadDoctype();
    bool SkipProcessingInstruction();
    bool Expect(const char* sz);
    bool ReadReference(unsigned char cTerminator, bool bInAttribute);
    PXP_NamespaceInfo* LookupBinding(const char* pPrefix, uint32_t nLength) const;
    void CompleteUtf8();
    bool AppendPendingToText();

    PXP_ParserLimits m_Limits;
    PXP_ParserLimits m_Allocated;  // the limits the buffers were sized for
    bool m_bAllocated;

    unsigned char* m_pRaw;
    uint32_t m_nRawSize;
    unsigned char* m_pTrans;  // translated working buffer, or null
    uint32_t m_nTransCapacity;
    unsigned char* m_pWork;
    unsigned char* m_pPos;
    unsigned char* m_pEnd;  // behind the valid bytes of the working buffer
    unsigned char m_Carry[8];
    int32_t m_nCarry;
    PXP_InputStream* m_pStream;
    signed char m_nEncoding;
    bool m_bByteOrderMark;
    PXP_EncodeTranslater* m_pTranslater;
    int m_nUtf8Need;       // continuation bytes still due
    unsigned char m_nUtf8Low;   // the range of the next continuation byte
    unsigned char m_nUtf8High;
    bool m_bBadInput;      // a byte that is not allowed was met
    bool m_bInputEnded;
    uint32_t m_nLines;                    // line feeds passed
    const unsigned char* m_pLineStart;    // behind the last of them in this chunk, or null
    uint32_t m_nColumnBefore;             // bytes behind the last in the chunks left

    uint32_t m_nEvent;
    uint32_t m_nError;
    uint32_t m_nHeldLine;    // where an error was found, when the parser read on
    uint32_t m_nHeldColumn;  // to quote a name (0: not held)
    char m_szErrorDetail[256];
    unsigned char m_nBadByte;  // the byte m_bBadInput stands for
    bool m_bBadCut;            // it broke off a UTF-8 sequence
    bool m_bNothingRead;       // the input held no byte at all
    int m_nDocState;
    bool m_bDoctypeSeen;
    bool m_bAtTag;
    bool m_bBlankOnly;
    bool m_bEmptyElement;
    bool m_bPrefixedAttrs;
    bool m_bContinued;
    bool m_bStepOver;  // the current character is the last byte of a construct

    PXP_ElementInfo* m_pElements;
    int32_t m_nDepth;
    PXP_AttributeInfo* m_pAttributes;
    int32_t m_nAttrCount;
    char* m_pAttrNames;
    uint32_t m_nAttrNamesUsed;
    char* m_pAttrValues;
    uint32_t m_nAttrValuesUsed;
    PXP_NamespaceInfo* m_pNamespaces;
    int32_t m_nNsCount;
    PXP_EntityInfo* m_pEntities;
    int32_t m_nEntityCount;
    PXP_EntityInfo* m_pCurEntity;

    char* m_pText;
    uint32_t m_nTextLength;
    uint32_t m_nTextCapacity;
    char m_szPending[20];  // replacement that did not fit into the last piece
    uint32_t m_nPending;

    char m_szPrefix[PXP_MAX_PREFIX_LENGTH + 1];
    char m_szRef[20];
    char m_szReplacement[20];
    uint32_t m_nReplacement;
    char m_szVersion[9];
    const char* m_pVersion;
    char m_szEncoding[13];
    const char* m_pEncodingText;
    char m_szDeclaration[PXP_MAX_DECLARATION_LENGTH + 1];
    uint32_t m_nDeclarationLength;  // above the maximum: too long to keep
    bool m_bOuterBlanks;
    uint32_t m_nDashes;
    uint32_t m_nBrackets;
    uint32_t m_nMarkLine;
    uint32_t m_nMarkColumn;
    char m_szUndeclared[20];
    uint32_t m_nUndeclaredLine;
    uint32_t m_nUndeclaredColumn;
    uint32_t m_nStandaloneLine;
    uint32_t m_nStandaloneColumn;
};

#endif
