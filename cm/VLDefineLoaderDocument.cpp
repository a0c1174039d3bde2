// CVLDefineLoader: the document record (a string table, then a token
// stream), each token read and written side by side.
#include "cm/VLDefineLoader.h"

#include <cstring>
#include <new>

#include "base/core/VLByteOrder.h"
#include "base/core/VLException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/xml/VLXmlNodeList.h"
#include "cm/VLCMDefs.h"
#include "cm/VLDefineLoaderPrivate.h"

using namespace VLDefineLoaderPrivate;

namespace {

// Deletes a document on every path but the one that hands it on.
class CDocumentGuard
{
public:
    explicit CDocumentGuard(CVLXmlDocument* p = nullptr) : m_p(p) {}
    ~CDocumentGuard()
    {
        if (m_p != nullptr)
            m_p->Delete();
    }
    CVLXmlDocument* Get() const { return m_p; }
    void Reset(CVLXmlDocument* p)
    {
        if (m_p != nullptr)
            m_p->Delete();
        m_p = p;
    }
    CVLXmlDocument* Release()
    {
        CVLXmlDocument* p = m_p;
        m_p = nullptr;
        return p;
    }

private:
    CVLXmlDocument* m_p;
};

// Compares the element name with a text of the string table, ASCII letters
// of either case alike.
bool SameNameNoCase(const CVLString& strName, const char* pText, int nLength)
{
    if (strName.GetLength() != nLength)
        return false;
    const char* pName = strName.GetBuffer();
    for (int i = 0; i < nLength; ++i) {
        unsigned char a = static_cast<unsigned char>(pName[i]);
        unsigned char b = static_cast<unsigned char>(pText[i]);
        if (a >= 'a' && a <= 'z')
            a = static_cast<unsigned char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z')
            b = static_cast<unsigned char>(b - 'a' + 'A');
        if (a != b)
            return false;
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// The record and its string table

const VL_BYTE* CVLDefineLoader::ReadXmlRecord(const VL_BYTE* pBody, VL_SIZE_T nLength)
{
    try {
        const VL_BYTE* pPos = pBody;
        const VL_BYTE* const pEnd = pBody + nLength;

        // The string table, ended by a zero length byte.
        CVLDefineStringTable table(this);
        for (;;) {
            VL_BYTE n = ReadByte(pPos, pEnd);
            if (n == 0)
                break;
            if (table.GetCount() >= MAX_TABLE_ENTRIES)
                ThrowFormatError(__LINE__, "the string table holds more than 65,536 entries");
            const char* pText = reinterpret_cast<const char*>(ReadBytes(pPos, pEnd, n));
            if (std::memchr(pText, 0, n) != nullptr)
                ThrowFormatError(__LINE__, "a string-table entry holds a zero byte");
            table.Add(pText, n);
        }

        // The token stream. The document is filed only once its record has
        // been read whole.
        CDocumentGuard document;
        IVLXmlNode* pCurrent = nullptr;
        bool bRootEnded = false;
        CVLString strPendingName(VL_CHARSET_UTF8);
        CVLString strPendingVersion(VL_CHARSET_UTF8);
        CVLString strPendingEncoding(VL_CHARSET_UTF8);
        bool bVersion = false;
        bool bEncoding = false;
        CVLString strDocumentName(VL_CHARSET_UTF8);
        int nDepth = 0;
        for (;;) {
            VL_BYTE nToken = ReadByte(pPos, pEnd);
            if (nToken == TOKEN_END)
                break;
            // Nothing but the end may follow the root element.
            if (bRootEnded)
                ThrowFormatError(__LINE__, "something follows the root element of a document");
            int nTextLength = 0;
            const char* pText = nullptr;
            switch (nToken) {
            case TOKEN_DOCUMENT_NAME:
            case TOKEN_VERSION:
            case TOKEN_ENCODING:
                pText = ReadInlineText(pPos, pEnd, nTextLength);
                if (pCurrent != nullptr)
                    break;  // no effect once the root exists
                if (nToken == TOKEN_DOCUMENT_NAME) {
                    strPendingName.Assign(pText, nTextLength, VL_CHARSET_UTF8);
                } else if (nToken == TOKEN_VERSION) {
                    strPendingVersion.Assign(pText, nTextLength, VL_CHARSET_UTF8);
                    bVersion = true;
                } else {
                    strPendingEncoding.Assign(pText, nTextLength, VL_CHARSET_UTF8);
                    bEncoding = true;
                }
                break;
            case TOKEN_ELEMENT_START: {
                // No deeper than the XML reader reads: a deep tree costs
                // memory out of all proportion to its bytes.
                if (++nDepth > MAX_DEPTH)
                    ThrowFormatError(__LINE__, "elements nest deeper than 100 levels");
                pText = table.GetText(ReadUInt16(pPos, pEnd), nTextLength);
                if (pCurrent == nullptr) {
                    CVLXmlDocument* pDocument = new (std::nothrow) CVLXmlDocument;
                    if (pDocument == nullptr)
                        throw new EVLMemoryAllocException(VLCMAPI_MODULE, s_szFile, __LINE__);
                    document.Reset(pDocument);
                    if (bVersion)
                        pDocument->SetVersion(strPendingVersion.GetBuffer());
                    if (bEncoding)
                        pDocument->SetEncoding(strPendingEncoding.GetBuffer());
                    pCurrent = pDocument;
                }
                CVLXmlElement* pElement =
                    document.Get()->AppendLoadedElement(pCurrent, pText, nTextLength, CountAttributes(pPos, pEnd));
                if (pCurrent == document.Get()) {
                    strDocumentName = strPendingName.GetLength() > 0 ? strPendingName : pElement->GetTagNameRef();
                }
                pCurrent = pElement;
                break;
            }
            case TOKEN_ELEMENT_END:
                if (pCurrent == nullptr)
                    ThrowFormatError(__LINE__, "an element ends outside any element");
                pText = table.GetText(ReadUInt16(pPos, pEnd), nTextLength);
                if (!SameNameNoCase(static_cast<CVLXmlElement*>(pCurrent)->GetTagNameRef(), pText, nTextLength))
                    ThrowFormatError(__LINE__, "an element ends under another name than it started with");
                pCurrent = pCurrent->GetParentNode();
                --nDepth;
                if (pCurrent == document.Get())
                    bRootEnded = true;
                break;
            case TOKEN_ATTRIBUTE_INDEX:
            case TOKEN_ATTRIBUTE_INLINE:
            case TOKEN_ATTRIBUTE_EMPTY:
                if (pCurrent == nullptr)
                    ThrowFormatError(__LINE__, "an attribute stands outside any element");
                ReadAttribute(pPos, pEnd, nToken, document.Get(), static_cast<CVLXmlElement*>(pCurrent), table);
                break;
            case TOKEN_TEXT: {
                if (pCurrent == nullptr)
                    ThrowFormatError(__LINE__, "a text stands outside any element");
                pText = ReadInlineText(pPos, pEnd, nTextLength);
                document.Get()->AppendLoadedText(pCurrent, pText, nTextLength);
                break;
            }
            default:
                // Tokens this reader does not know stand alone, without
                // operands, and are passed over inside an element.
                if (pCurrent == nullptr)
                    ThrowFormatError(__LINE__, "an unknown token stands outside any element");
                break;
            }
        }
        // The end token closes the root element and is the record's last byte.
        if (pPos != pEnd || (pCurrent != nullptr && !bRootEnded))
            ThrowFormatError(__LINE__,
                             "a document record does not end where its length says, or leaves an element open");
        if (document.Get() != nullptr)
            FileDocument(strDocumentName, document.Release());
        return pPos;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLDefineLoader::WriteXmlRecord(IVLStream* pStream, CVLMemoryStream& tokens, CVLMemoryStream& strings,
                                     CVLStringIndexMap& strMap, const CVLString& strName, CVLXmlDocument* pDocument)
{
    m_strWritingDocument.assign(strName.GetBuffer(), static_cast<size_t>(strName.GetLength()));
    tokens.Open(VL_OPEN_WRITE);
    strings.Open(VL_OPEN_WRITE);
    strMap.clear();
    // A document filed under another name than its root's keeps that name.
    CVLXmlElement* pRoot = pDocument->GetDocumentElement();
    if (pRoot != nullptr && pRoot->GetTagNameRef() != strName)
        WriteText(&tokens, TOKEN_DOCUMENT_NAME, strName);
    WriteText(&tokens, TOKEN_VERSION, pDocument->GetVersion());
    WriteEncoding(&tokens, pDocument->GetEncoding());
    WriteNodes(tokens, strings, strMap, pDocument->GetChildNodes());
    WriteByte(&strings, 0);
    WriteByte(&tokens, TOKEN_END);
    tokens.Close();
    strings.Close();

    VL_SIZE_T nStrings = strings.GetSize();
    VL_SIZE_T nTokens = tokens.GetSize();
    if (nTokens > 0xFFFFFFFFu - nStrings)
        ThrowWriteError(__LINE__, "the document is larger than a record can hold (4 GiB)");
    VL_BYTE head[RECORD_HEAD_SIZE] = {};
    head[0] = RECORD_XML;
    CVLByteOrder::SetUInt32(nStrings + nTokens, kByteOrder, head + 1);
    WriteRaw(pStream, head, sizeof(head));
    std::string data = ReadWhole(&strings);
    WriteRaw(pStream, data.data(), data.size());
    data = ReadWhole(&tokens);
    WriteRaw(pStream, data.data(), data.size());
}

const char* CVLDefineLoader::CVLDefineStringTable::GetText(unsigned nIndex, int& nLength) const
{
    if (nIndex >= m_Texts.size())
        m_pLoader->ThrowFormatError(__LINE__, "a string index points outside the record's string table");
    nLength = m_Texts[nIndex].nLength;
    return m_Texts[nIndex].pText;
}

unsigned short CVLDefineLoader::AddString(CVLMemoryStream& strings, CVLStringIndexMap& strMap, const char* pText,
                                          int nLength)
{
    std::string key(pText, static_cast<size_t>(nLength));
    auto it = strMap.find(key);
    if (it != strMap.end())
        return it->second;
    // An empty entry would read as the table's end.
    if (nLength < 1 || nLength > MAX_TABLE_TEXT)
        ThrowWriteError(__LINE__, nLength < 1 ? "an element or attribute name is empty"
                                              : "an element or attribute name is longer than 255 bytes");
    if (strMap.size() >= MAX_TABLE_ENTRIES)
        ThrowWriteError(__LINE__, "the string table is full: a document holds at most 65,536 distinct element "
                                  "names, attribute names and attribute values of up to 255 bytes");
    unsigned short nIndex = static_cast<unsigned short>(strMap.size());
    strMap.emplace(std::move(key), nIndex);
    WriteByte(&strings, static_cast<VL_BYTE>(nLength));
    WriteRaw(&strings, pText, static_cast<size_t>(nLength));
    return nIndex;
}

void CVLDefineLoader::WriteStringIndex(CVLMemoryStream& tokens, CVLMemoryStream& strings, CVLStringIndexMap& strMap,
                                       const CVLString& strText)
{
    WriteUInt16(&tokens, AddString(strings, strMap, strText.GetBuffer(), strText.GetLength()));
}

void CVLDefineLoader::WriteTokenAndIndex(CVLMemoryStream& tokens, CVLMemoryStream& strings, CVLStringIndexMap& strMap,
                                         VL_BYTE nToken, const CVLString& strText)
{
    WriteByte(&tokens, nToken);
    WriteStringIndex(tokens, strings, strMap, strText);
}

// ---------------------------------------------------------------------------
// Elements

void CVLDefineLoader::WriteNodes(CVLMemoryStream& tokens, CVLMemoryStream& strings, CVLStringIndexMap& strMap,
                                 const CVLXmlNodeList* pList)
{
    // Depth first without recursion, so that any depth of tree is written.
    struct Level
    {
        const CVLXmlElement* pElement;  // null for the list handed in
        CVLXmlNodeConstIterator it;
    };
    std::vector<Level> stack;
    if (pList == nullptr)
        return;
    stack.push_back(Level{nullptr, pList->ConstBegin()});
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.it.IsEnd()) {
            if (level.pElement != nullptr)
                WriteTokenAndIndex(tokens, strings, strMap, TOKEN_ELEMENT_END, level.pElement->GetTagNameRef());
            stack.pop_back();
            continue;
        }
        const IVLXmlNode* pNode = level.it.Get();
        level.it.Next();
        if (pNode->GetNodeType() == VLXML_NODE_ELEMENT) {
            // The stack holds the open elements and the list handed in.
            if (stack.size() > MAX_DEPTH)
                ThrowWriteError(__LINE__, "elements nest deeper than 100 levels");
            const CVLXmlElement* pElement = static_cast<const CVLXmlElement*>(pNode);
            WriteElement(tokens, strings, strMap, pElement);
            stack.push_back(Level{pElement, pElement->GetChildNodes()->ConstBegin()});
        } else if (pNode->GetNodeType() == VLXML_NODE_TEXT) {
            WriteTextNode(tokens, pNode);
        }
    }
}

void CVLDefineLoader::WriteElement(CVLMemoryStream& tokens, CVLMemoryStream& strings, CVLStringIndexMap& strMap,
                                   const CVLXmlElement* pElement)
{
    // The start and the attributes; WriteNodes writes the children and the end.
    WriteTokenAndIndex(tokens, strings, strMap, TOKEN_ELEMENT_START, pElement->GetTagNameRef());
    const CVLXmlNamedNodeMap* pAttributes = pElement->GetAttributes();
    for (CVLXmlNodeConstIterator it = pAttributes->ConstBegin(); !it.IsEnd(); it.Next()) {
        const CVLXmlAttribute* pAttr = static_cast<const CVLXmlAttribute*>(it.Get());
        WriteAttribute(tokens, strings, strMap, pAttr->GetName(), pAttr->GetValue());
    }
}

// ---------------------------------------------------------------------------
// Attributes

int CVLDefineLoader::CountAttributes(const VL_BYTE* pPos, const VL_BYTE* pEnd)
{
    // Only a hint: the tokens are checked when they are read.
    const int kMaxHint = 32;
    int nCount = 0;
    while (nCount < kMaxHint && pPos < pEnd) {
        size_t nLeft = static_cast<size_t>(pEnd - pPos);
        size_t nSize = 0;
        if (*pPos == TOKEN_ATTRIBUTE_INDEX)
            nSize = 5;
        else if (*pPos == TOKEN_ATTRIBUTE_EMPTY)
            nSize = 3;
        else if (*pPos == TOKEN_ATTRIBUTE_INLINE && nLeft >= 5)
            nSize = 5 + (static_cast<size_t>(pPos[3]) << 8 | pPos[4]);
        if (nSize == 0 || nSize > nLeft)
            break;
        pPos += nSize;
        ++nCount;
    }
    return nCount;
}

void CVLDefineLoader::ReadAttribute(const VL_BYTE*& pPos, const VL_BYTE* pEnd, VL_BYTE nToken,
                                    CVLXmlDocument* pDocument, CVLXmlElement* pElement,
                                    const CVLDefineStringTable& table)
{
    try {
        int nNameLength = 0;
        const char* pName = table.GetText(ReadUInt16(pPos, pEnd), nNameLength);
        int nValueLength = 0;
        const char* pValue = nullptr;
        if (nToken == TOKEN_ATTRIBUTE_INDEX)
            pValue = table.GetText(ReadUInt16(pPos, pEnd), nValueLength);
        else if (nToken == TOKEN_ATTRIBUTE_INLINE)
            pValue = ReadInlineText(pPos, pEnd, nValueLength);
        // Values are stored inverted; a stored 0xFF would stand for a zero
        // byte inside the value.
        m_Scratch.resize(static_cast<size_t>(nValueLength));
        for (int i = 0; i < nValueLength; ++i) {
            VL_BYTE b = static_cast<VL_BYTE>(pValue[i]);
            if (b == 0xFF)
                ThrowFormatError(__LINE__, "an attribute value holds the byte 0xFF");
            m_Scratch[static_cast<size_t>(i)] = static_cast<char>(~b);
        }
        pDocument->SetLoadedAttribute(pElement, pName, nNameLength, m_Scratch.data(), nValueLength);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLDefineLoader::WriteAttribute(CVLMemoryStream& tokens, CVLMemoryStream& strings, CVLStringIndexMap& strMap,
                                     const CVLString& strName, const CVLString& strValue)
{
    int nLength = strValue.GetLength();
    if (nLength == 0) {
        WriteTokenAndIndex(tokens, strings, strMap, TOKEN_ATTRIBUTE_EMPTY, strName);
        return;
    }
    // The inverted value must hold no zero byte, and a longer one does not
    // fit its 16-bit length.
    if (nLength > MAX_INLINE_TEXT)
        ThrowWriteError(__LINE__, "an attribute value is longer than 65,535 bytes");
    if (std::memchr(strValue.GetBuffer(), 0xFF, static_cast<size_t>(nLength)) != nullptr)
        ThrowWriteError(__LINE__, "an attribute value holds the byte 0xFF");
    std::string scrambled;
    Invert(strValue.GetBuffer(), nLength, scrambled);
    // A short value goes to the string table while it has room; once it is
    // full, values are stored inline (names must stay in the table).
    unsigned short nName = AddString(strings, strMap, strName.GetBuffer(), strName.GetLength());
    bool bIndexed = nLength <= MAX_TABLE_TEXT && (strMap.size() < MAX_TABLE_ENTRIES || strMap.count(scrambled) != 0);
    WriteByte(&tokens, bIndexed ? TOKEN_ATTRIBUTE_INDEX : TOKEN_ATTRIBUTE_INLINE);
    WriteUInt16(&tokens, nName);
    if (bIndexed) {
        WriteUInt16(&tokens, AddString(strings, strMap, scrambled.data(), nLength));
    } else {
        WriteUInt16(&tokens, static_cast<unsigned>(nLength));
        WriteRaw(&tokens, scrambled.data(), scrambled.size());
    }
}

// ---------------------------------------------------------------------------
// Texts

void CVLDefineLoader::WriteTextNode(CVLMemoryStream& tokens, const IVLXmlNode* pNode)
{
    WriteTextData(&tokens, static_cast<const CVLXmlText*>(pNode)->GetData());
}

void CVLDefineLoader::WriteEncoding(IVLStream* pStream, const CVLString& strEncoding)
{
    WriteText(pStream, TOKEN_ENCODING, strEncoding);
}

void CVLDefineLoader::WriteTextData(IVLStream* pStream, const CVLString& strText)
{
    WriteText(pStream, TOKEN_TEXT, strText);
}
