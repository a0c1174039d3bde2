#include "cm/VLDefineLoader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <sys/stat.h>

#include "base/core/VLByteOrder.h"
#include "base/core/VLException.h"
#include "base/core/VLFileSystem.h"
#include "base/core/VLIOException.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLOpenException.h"
#include "base/core/VLTrace.h"
#include "base/core/VLUnsupportedException.h"
#include "base/stream/VLFileStream.h"
#include "base/xml/VLXmlException.h"
#include "base/xml/VLXmlNodeList.h"
#include "cm/VLCMDefs.h"
#include "script/VLScriptCompiler.h"

namespace {

const char* const s_szFile = "VLDefineLoader";
const char* const s_szDefaultFileName = "vlres200.dat";
const char s_Magic[4] = {'V', 'L', 'C', 'M'};
const int kByteOrder = 2;  // every number of the resource is big-endian

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

// Appends pNode to pParent's children; deletes pNode when that fails.
void AppendNode(IVLXmlNode* pParent, IVLXmlNode* pNode)
{
    try {
        pParent->GetChildNodes()->Append(pNode);
    } catch (...) {
        pNode->Delete();
        throw;
    }
    pNode->SetParentNode(pParent);
}

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

void Invert(const char* pSrc, int nLength, std::string& strOut)
{
    strOut.resize(static_cast<size_t>(nLength));
    for (int i = 0; i < nLength; ++i)
        strOut[static_cast<size_t>(i)] = static_cast<char>(~static_cast<unsigned char>(pSrc[i]));
}

void WriteRaw(IVLStream* pStream, const void* p, size_t n)
{
    if (n > 0)
        pStream->Write(static_cast<const VL_BYTE*>(p), static_cast<VL_SIZE_T>(n));
}

// Runs fn with the stream open: a stream that is not open yet is opened in
// eMode and closed again afterwards, also when fn throws; one the caller
// opened stays open.
template <class Fn>
void WithOpenStream(IVLStream* pStream, VL_OPEN_MODE eMode, Fn fn)
{
    if (pStream->IsOpen()) {
        fn();
        return;
    }
    pStream->Open(eMode);
    try {
        fn();
    } catch (...) {
        pStream->Close();
        throw;
    }
    pStream->Close();
}

// The whole stream as bytes, opened for reading (and closed again) when it
// is not open.
std::string ReadWhole(IVLStream* pStream)
{
    std::string data;
    WithOpenStream(pStream, VL_OPEN_READ, [&] {
        VL_BYTE buffer[4096];
        for (;;) {
            VL_SIZE_T n = pStream->Read(buffer, sizeof(buffer));
            if (n == 0 || n > sizeof(buffer))
                break;
            data.append(reinterpret_cast<const char*>(buffer), n);
        }
    });
    return data;
}

}  // namespace

// ---------------------------------------------------------------------------
// String table

const char* CVLDefineLoader::CVLDefineStringTable::GetText(unsigned nIndex, int& nLength) const
{
    if (nIndex >= m_Texts.size())
        m_pLoader->ThrowFormatError(__LINE__, "a string index points outside the record's string table");
    nLength = m_Texts[nIndex].nLength;
    return m_Texts[nIndex].pText;
}

// ---------------------------------------------------------------------------
// Life cycle and lookups

CVLDefineLoader::CVLDefineLoader()
    : m_strFilePath(VL_CHARSET_UTF8), m_strCurrentFile(VL_CHARSET_UTF8), m_nRecordNumber(0), m_nRecordOffset(0),
      m_nCurrentLine(0)
{
}

CVLDefineLoader::~CVLDefineLoader()
{
    try {
        Clear();
    } catch (EVLException* e) {
        e->Delete();
    } catch (...) {
    }
}

void CVLDefineLoader::Clear()
{
    for (auto& entry : m_DocumentMap)
        entry.second->Delete();
    m_DocumentMap.clear();
    m_ByteArray.Clear();
    m_ScriptCollection.RemoveAll();
}

CVLXmlDocument* CVLDefineLoader::GetDocument(VL_CONST_STR szName, bool bCreate)
{
    CVLString strName(szName, VL_CHARSET_UTF8);
    auto it = m_DocumentMap.find(strName);
    if (it != m_DocumentMap.end())
        return it->second;
    if (!bCreate)
        return nullptr;
    CVLXmlDocument* pDocument = new (std::nothrow) CVLXmlDocument;
    if (pDocument == nullptr)
        throw new EVLMemoryAllocException(VLCMAPI_MODULE, s_szFile, __LINE__);
    FileDocument(strName, pDocument);
    return pDocument;
}

void CVLDefineLoader::FileDocument(const CVLString& strName, CVLXmlDocument* pDocument)
{
    auto it = m_DocumentMap.find(strName);
    if (it != m_DocumentMap.end()) {
        CVLXmlDocument* pOld = it->second;
        it->second = pDocument;
        if (pOld != pDocument)
            pOld->Delete();
        return;
    }
    try {
        m_DocumentMap.emplace(strName, pDocument);
    } catch (...) {
        pDocument->Delete();
        throw new EVLMemoryAllocException(VLCMAPI_MODULE, s_szFile, __LINE__);
    }
}

CVLString CVLDefineLoader::UnscrambleText(const CVLString& strText)
{
    std::string data;
    Invert(strText.GetBuffer(), strText.GetLength(), data);
    return CVLString(data.data(), static_cast<int>(data.size()), VL_CHARSET_UTF8);
}

// ---------------------------------------------------------------------------
// Cursor reads

void CVLDefineLoader::ThrowFormatError(int nLine, const char* szReason)
{
    m_strErrorText = szReason;
    throw new EVLIOException(VLCMAPI_MODULE, s_szFile, nLine, m_strFilePath.GetString(), 0);
}

void CVLDefineLoader::ThrowWriteError(int nLine, const std::string& strReason)
{
    m_strErrorText = m_strWritingDocument.empty() ? strReason : "document " + m_strWritingDocument + ": " + strReason;
    throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, nLine);
}

std::string CVLDefineLoader::DescribeFailure(EVLException* e) const
{
    std::string strText(m_strCurrentFile.GetBuffer(), static_cast<size_t>(m_strCurrentFile.GetLength()));
    char szWhere[64] = "";
    if (m_nRecordNumber > 0)
        snprintf(szWhere, sizeof(szWhere), ": record %d (offset %lu)", m_nRecordNumber,
                 static_cast<unsigned long>(m_nRecordOffset));
    else if (m_nCurrentLine > 0)
        snprintf(szWhere, sizeof(szWhere), ": line %lu", static_cast<unsigned long>(m_nCurrentLine));
    strText += szWhere;
    strText += ": ";
    if (!m_strErrorText.empty())
        return strText + m_strErrorText;
    if (EVLOpenException* pOpen = dynamic_cast<EVLOpenException*>(e)) {
        struct stat info;
        const char* szPath = pOpen->GetFilePath().GetBuffer();
        if (pOpen->GetSystemErrorCode() == EINVAL && szPath != nullptr && stat(szPath, &info) == 0 &&
            !S_ISREG(info.st_mode))
            return strText + "not a regular file";
        return strText + "cannot be opened: " + strerror(static_cast<int>(pOpen->GetSystemErrorCode()));
    }
    if (EVLXmlException* pXml = dynamic_cast<EVLXmlException*>(e)) {
        if (pXml->GetXmlErrorCode() == VLXML_ERROR_PARSER)
            return strText + "not well-formed XML (" + EVLXmlException::GetParserErrorName(pXml->GetParserErrorCode()) +
                   ")";
    }
    if (dynamic_cast<EVLMemoryAllocException*>(e) != nullptr)
        return strText + "out of memory";
    if (e == nullptr)
        return strText + "an unexpected failure";
    CVLString str = e->ToString().ConvertTo(VL_CHARSET_UTF8, true);
    return strText + std::string(str.GetBuffer(), static_cast<size_t>(str.GetLength()));
}

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

VL_ULONG CVLDefineLoader::ReadUInt32(const VL_BYTE*& pPos, const VL_BYTE* pEnd)
{
    return CVLByteOrder::GetUInt32(kByteOrder, ReadBytes(pPos, pEnd, 4));
}

const char* CVLDefineLoader::ReadInlineText(const VL_BYTE*& pPos, const VL_BYTE* pEnd, int& nLength)
{
    unsigned n = ReadUInt16(pPos, pEnd);
    const char* p = reinterpret_cast<const char*>(ReadBytes(pPos, pEnd, n));
    if (std::memchr(p, 0, n) != nullptr)
        ThrowFormatError(__LINE__, "a text holds a zero byte");
    nLength = static_cast<int>(n);
    return p;
}

// ---------------------------------------------------------------------------
// Reading a resource

void CVLDefineLoader::Load(VL_CONST_STR szFilePath)
{
    static const char* const kSignature = "CVLDefineLoader::Load(VL_CONST_STR)";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        const char* szPath = (szFilePath == nullptr || *szFilePath == 0) ? s_szDefaultFileName : szFilePath;
        m_strFilePath = szPath;
        m_strCurrentFile = szPath;
        m_strErrorText.clear();
        m_nRecordNumber = 0;
        m_nRecordOffset = 0;
        CVLFileStream stream;
        stream.SetFileName(szPath);
        m_ByteArray.Free();
        m_ByteArray.LoadFromStream(&stream);
        Load(m_ByteArray.GetSize() > 0 ? m_ByteArray.GetData() : nullptr,
             static_cast<VL_SIZE_T>(m_ByteArray.GetSize()));
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
}

void CVLDefineLoader::Load(const VL_BYTE* pBinaryData, VL_SIZE_T nBinarySize)
{
    static const char* const kSignature = "CVLDefineLoader::Load(const VL_BYTE*, VL_SIZE_T)";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        m_strCurrentFile = m_strFilePath;
        m_strErrorText.clear();
        m_nCurrentLine = 0;
        m_nRecordNumber = 0;
        m_nRecordOffset = 0;
        const VL_BYTE* pPos = analyzesHeader(pBinaryData, nBinarySize);
        const VL_BYTE* pEnd = pBinaryData + nBinarySize;
        while (pPos < pEnd) {
            ++m_nRecordNumber;
            m_nRecordOffset = static_cast<VL_SIZE_T>(pPos - pBinaryData);
            VL_BYTE nType = ReadByte(pPos, pEnd);
            VL_ULONG nLength = ReadUInt32(pPos, pEnd);
            ReadBytes(pPos, pEnd, RECORD_RESERVED_SIZE);
            if (nLength > static_cast<size_t>(pEnd - pPos))
                ThrowFormatError(__LINE__, "a record is longer than the data left in the file");
            if (nType == RECORD_XML)
                pPos = ReadXmlRecord(pPos, nLength);
            else if (nType == RECORD_SCRIPT)
                pPos = ReadScriptRecord(pPos, nLength);
            else
                ThrowFormatError(__LINE__, "a record of an unknown type");
        }
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
}

const VL_BYTE* CVLDefineLoader::analyzesHeader(const VL_BYTE* pData, VL_SIZE_T nSize)
{
    try {
        if (pData == nullptr || nSize < HEADER_SIZE || std::memcmp(pData, s_Magic, sizeof(s_Magic)) != 0)
            m_strErrorText = "not a definition resource (no \"VLCM\" header)";
        else if (pData[4] > FORMAT_VERSION || pData[5] != 0)
            m_strErrorText = "a resource of a later format version";
        if (pData == nullptr || nSize < HEADER_SIZE)
            throw new EVLUnsupportedException(VLCMAPI_MODULE, s_szFile, __LINE__, "analyzesHeader");
        if (std::memcmp(pData, s_Magic, sizeof(s_Magic)) != 0)
            throw new EVLUnsupportedException(VLCMAPI_MODULE, s_szFile, __LINE__, "analyzesHeader");
        if (pData[4] > FORMAT_VERSION || pData[5] != 0)
            throw new EVLUnsupportedException(VLCMAPI_MODULE, s_szFile, __LINE__, "analyzesHeader");
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    return pData + HEADER_SIZE;
}

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
            ThrowFormatError(__LINE__, "a document record does not end where its length says, or leaves an element open");
        if (document.Get() != nullptr)
            FileDocument(strDocumentName, document.Release());
        return pPos;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
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

const VL_BYTE* CVLDefineLoader::ReadScriptRecord(const VL_BYTE* pBody, VL_SIZE_T nLength)
{
    // The script owns a copy of its image: nothing keeps pointing into the
    // bytes being read.
    VL_BYTE* pImage = new (std::nothrow) VL_BYTE[nLength > 0 ? nLength : 1];
    if (pImage == nullptr)
        throw new EVLMemoryAllocException(VLCMAPI_MODULE, s_szFile, __LINE__);
    if (nLength > 0)
        std::memcpy(pImage, pBody, nLength);
    CVLScript* pScript = new (std::nothrow) CVLScript;
    if (pScript == nullptr) {
        delete[] pImage;
        throw new EVLMemoryAllocException(VLCMAPI_MODULE, s_szFile, __LINE__);
    }
    try {
        pScript->Load(pImage, nLength, false);  // owns pImage from here on, also when it fails
        const CVLString& strName = pScript->GetName();
        if (strName.GetLength() == 0) {
            delete pScript;
            return pBody + nLength;
        }
        // A name already filed is refused, as the collection refuses it.
        if (m_ScriptCollection.Find(strName.GetString()) != nullptr)
            throw new EVLInvalidParamException(VLSTD_MODULE, "TVLStringKeyCollection", __LINE__);
        m_ScriptCollection.Add(strName.GetString(), pScript);
    } catch (...) {
        delete pScript;
        VLRethrowAsFramework(VLCMAPI_MODULE, s_szFile, __LINE__);
    }
    return pBody + nLength;
}

// ---------------------------------------------------------------------------
// The development form

void CVLDefineLoader::LoadFiles(const CVLLocalizeUtility& objPathInfo, VL_CONST_STR szFileName)
{
    static const char* const kSignature = "CVLDefineLoader::LoadFiles(const CVLLocalizeUtility&, VL_CONST_STR)";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        CVLLocalizeUtility pathInfo(objPathInfo);
        CVLString strListPath = pathInfo.GetLocalizedPath(szFileName);
        m_strCurrentFile = strListPath;
        m_strErrorText.clear();
        m_FilesRead.clear();
        m_FilesRead.push_back(strListPath);
        m_nRecordNumber = 0;
        m_nRecordOffset = 0;
        CVLXmlDocument list;
        CVLFileStream stream;
        stream.SetFileName(strListPath.GetString());
        m_nCurrentLine = 0;
        try {
            list.Load(&stream);
        } catch (...) {
            m_nCurrentLine = list.GetLoadLine();
            throw;
        }
        CVLXmlElement* pRoot = list.GetDocumentElement();
        CVLXmlNodeConstIterator it;
        if (pRoot != nullptr)
            it = pRoot->GetChildNodes()->ConstBegin();
        for (; !it.IsEnd(); it.Next()) {
            IVLXmlNode* pNode = it.Get();
            if (pNode->GetNodeType() != VLXML_NODE_ELEMENT)
                continue;
            CVLXmlElement* pFile = static_cast<CVLXmlElement*>(pNode);
            if (pFile->GetTagNameRef() != "File")
                continue;
            CVLString strName = pFile->GetAttribute("name");
            CVLString strType = pFile->GetAttribute("type");
            CVLString strPath = pathInfo.GetLocalizedPath(strName.GetString());
            m_strCurrentFile = strPath;
            if (strType.GetLength() == 0 || strType.CompareNoCase("xml") == 0 || strType.CompareNoCase("script") == 0)
                m_FilesRead.push_back(strPath);
            if (strType.GetLength() == 0 || strType.CompareNoCase("xml") == 0)
                LoadXmlFile(strPath.GetString());
            else if (strType.CompareNoCase("script") == 0)
                CompileScriptFile(strPath.GetString());
        }
        m_strCurrentFile = strListPath;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
}

void CVLDefineLoader::LoadXmlFile(VL_CONST_STR szPath)
{
    CVLXmlDocument file;
    CVLFileStream stream;
    stream.SetFileName(szPath);
    m_nCurrentLine = 0;
    try {
        file.Load(&stream);
    } catch (...) {
        m_nCurrentLine = file.GetLoadLine();
        throw;
    }
    CVLXmlElement* pSrcRoot = file.GetDocumentElement();
    if (pSrcRoot == nullptr)
        return;
    CVLString strName = pSrcRoot->GetTagName();
    CVLXmlDocument* pDocument = GetDocument(strName.GetString(), true);
    CVLXmlElement* pRoot = pDocument->GetDocumentElement();
    if (pRoot == nullptr) {
        pRoot = pDocument->CreateElement(strName.GetString());
        AppendNode(pDocument, pRoot);
        *pRoot = *pSrcRoot;
    } else {
        pRoot->CopyChildren(*pSrcRoot, false);
    }
}

void CVLDefineLoader::CompileScriptFile(VL_CONST_STR szPath)
{
    CVLString strFolder(VL_CHARSET_UTF8);
    CVLString strName(VL_CHARSET_UTF8);
    VLSplitPath(szPath, strFolder, strName);
    CVLFileStream stream;
    stream.SetFileName(szPath);
    m_nCurrentLine = 0;
    CVLScriptCompiler compiler;
    compiler.Compile(strName.GetString(), &stream, &m_ScriptCollection);
}

// ---------------------------------------------------------------------------
// Writing a resource

void CVLDefineLoader::Save(IVLStream* pStream)
{
    static const char* const kSignature = "CVLDefineLoader::Save(IVLStream*)";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        if (pStream == nullptr)
            throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, __LINE__);
        m_strErrorText.clear();
        m_strWritingDocument.clear();
        WithOpenStream(pStream, VL_OPEN_WRITE, [&] {
            WriteRaw(pStream, s_Magic, sizeof(s_Magic));
            WriteByte(pStream, FORMAT_VERSION);
            WriteByte(pStream, 0);
            WriteZeros(pStream, HEADER_RESERVED_SIZE);
            CVLMemoryStream tokens;
            CVLMemoryStream strings;
            tokens.SetBlockSize(16384);
            strings.SetBlockSize(4096);
            CVLStringIndexMap strMap;
            for (auto& entry : m_DocumentMap)
                WriteXmlRecord(pStream, tokens, strings, strMap, entry.first, entry.second);
            m_strWritingDocument.clear();
            for (CVLScriptConstIterator it = m_ScriptCollection.ConstBegin(); !it.IsEnd(); it.Next())
                WriteScriptRecord(pStream, it.Get());
        });
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
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

void CVLDefineLoader::WriteTextNode(CVLMemoryStream& tokens, const IVLXmlNode* pNode)
{
    WriteTextData(&tokens, static_cast<const CVLXmlText*>(pNode)->GetData());
}

void CVLDefineLoader::WriteScriptRecord(IVLStream* pStream, const CVLScript* pScript)
{
    VL_BYTE head[RECORD_HEAD_SIZE] = {};
    head[0] = RECORD_SCRIPT;
    CVLByteOrder::SetUInt32(pScript->GetSize(), kByteOrder, head + 1);
    WriteRaw(pStream, head, sizeof(head));
    WriteRaw(pStream, pScript->GetData(), pScript->GetSize());
}

void CVLDefineLoader::WriteByte(IVLStream* pStream, VL_BYTE nValue)
{
    pStream->Write(&nValue, 1);
}

void CVLDefineLoader::WriteUInt16(IVLStream* pStream, unsigned nValue)
{
    VL_BYTE bytes[2];
    CVLByteOrder::SetUInt16(static_cast<uint16_t>(nValue), kByteOrder, bytes);
    pStream->Write(bytes, 2);
}

void CVLDefineLoader::WriteZeros(IVLStream* pStream, int nCount)
{
    static const VL_BYTE kZeros[64] = {};
    while (nCount > 0) {
        int n = nCount < static_cast<int>(sizeof(kZeros)) ? nCount : static_cast<int>(sizeof(kZeros));
        pStream->Write(kZeros, static_cast<VL_SIZE_T>(n));
        nCount -= n;
    }
}

void CVLDefineLoader::WriteText(IVLStream* pStream, VL_BYTE nToken, const CVLString& strText)
{
    int nLength = strText.GetLength();
    if (nLength == 0)
        return;
    // A longer text does not fit its 16-bit length.
    if (nLength > MAX_INLINE_TEXT)
        ThrowWriteError(__LINE__, "a text is longer than 65,535 bytes");
    WriteByte(pStream, nToken);
    WriteUInt16(pStream, static_cast<unsigned>(nLength));
    WriteRaw(pStream, strText.GetBuffer(), static_cast<size_t>(nLength));
}

void CVLDefineLoader::WriteEncoding(IVLStream* pStream, const CVLString& strEncoding)
{
    WriteText(pStream, TOKEN_ENCODING, strEncoding);
}

void CVLDefineLoader::WriteTextData(IVLStream* pStream, const CVLString& strText)
{
    WriteText(pStream, TOKEN_TEXT, strText);
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
// The build tool's writers

void CVLDefineLoader::WriteLine(IVLStream* pStream, const CVLString& strText)
{
    WriteRaw(pStream, strText.GetBuffer(), static_cast<size_t>(strText.GetLength()));
    WriteRaw(pStream, "\r\n", 2);
}

void CVLDefineLoader::ReadModuleMapping(std::vector<CVLString>& modules)
{
    modules.clear();
    CVLXmlDocument* pDocument = GetDocument("ModuleMapping", false);
    CVLXmlElement* pRoot = pDocument != nullptr ? pDocument->GetDocumentElement() : nullptr;
    if (pRoot == nullptr)
        return;
    CVLXmlNodeList found(false);
    pRoot->GetElementsByTagName("Module", &found);
    for (CVLXmlNodeConstIterator it = found.ConstBegin(); !it.IsEnd(); it.Next()) {
        CVLString strName = static_cast<CVLXmlElement*>(it.Get())->GetAttribute("name");
        if (strName.GetLength() > 0)
            modules.push_back(strName);
    }
}

void CVLDefineLoader::WriteCSource(IVLStream* pOut, IVLStream* pData)
{
    static const char* const kSignature = "CVLDefineLoader::WriteCSource(IVLStream*, IVLStream*)";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        if (pOut == nullptr)
            throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, __LINE__);
        std::vector<CVLString> modules;
        ReadModuleMapping(modules);
        WithOpenStream(pOut, VL_OPEN_WRITE, [&] {
            CVLString strFileName = pOut->GetName();
            int nSlash = strFileName.ReverseFind('/');
            if (nSlash >= 0)
                strFileName = strFileName.Mid(nSlash + 1);
            CVLString strLine("#define __THIS_LOGID__\tVL_TEXT(\"VLCMApi\")", VL_CHARSET_UTF8);
            WriteLine(pOut, strLine);
            strLine = "#define __THIS_FILE__\tVL_TEXT(\"";
            strLine += strFileName;
            strLine += "\")";
            WriteLine(pOut, strLine);
            WriteLine(pOut, CVLString(VL_CHARSET_UTF8));
            for (const CVLString& strModule : modules) {
                strLine = "#include <";
                strLine += strModule;
                strLine += ".h>";
                WriteLine(pOut, strLine);
            }
            WriteLine(pOut, CVLString(VL_CHARSET_UTF8));
            if (pData != nullptr) {
                std::string data = ReadWhole(pData);
                WriteLine(pOut, CVLString("VL_BYTE g_VLCMDEF[] = {", VL_CHARSET_UTF8));
                static const char kHex[] = "0123456789abcdef";
                const size_t kPerLine = 16;
                for (size_t nStart = 0; nStart < data.size(); nStart += kPerLine) {
                    std::string line = "\t";
                    for (size_t i = nStart; i < data.size() && i < nStart + kPerLine; ++i) {
                        if (i > nStart)
                            line += ' ';
                        unsigned char b = static_cast<unsigned char>(data[i]);
                        line += "0x";
                        line += kHex[b >> 4];
                        line += kHex[b & 0x0F];
                        if (i + 1 < data.size())
                            line += ',';
                    }
                    WriteLine(pOut, CVLString(line.data(), static_cast<int>(line.size()), VL_CHARSET_UTF8));
                }
                WriteLine(pOut, CVLString("};", VL_CHARSET_UTF8));
            }
            WriteLine(pOut, CVLString("void CVLCMApi::InitializeModuleLibraries(CVLCMApi& api)", VL_CHARSET_UTF8));
            WriteLine(pOut, CVLString("{", VL_CHARSET_UTF8));
            for (const CVLString& strModule : modules) {
                strLine = "\tVL_ADD_MODULE_STATIC_LIBRARY(api, \"";
                strLine += strModule;
                strLine += "\", C";
                strLine += strModule;
                strLine += ");";
                WriteLine(pOut, strLine);
            }
            WriteLine(pOut, CVLString("}", VL_CHARSET_UTF8));
        });
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
}

void CVLDefineLoader::WriteLibList(IVLStream* pOut, IVLStream* pTemplate)
{
    static const char* const kSignature = "CVLDefineLoader::WriteLibList(IVLStream*, IVLStream*)";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        if (pOut == nullptr || pTemplate == nullptr)
            throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, __LINE__);
        std::vector<CVLString> modules;
        ReadModuleMapping(modules);
        CVLString strList("\t\"$(VLCMAPI_INLIBDIR)/VLCMApiLib.lib\" \\\r\n", VL_CHARSET_UTF8);
        for (const CVLString& strModule : modules) {
            strList += "\t\"$(VLCMAPI_INLIBDIR)/";
            strList += strModule;
            strList += "Lib.lib\" \\\r\n";
        }
        std::string data = ReadWhole(pTemplate);
        if (!data.empty()) {
            CVLString strText(data.data(), static_cast<int>(data.size()), VL_CHARSET_UTF8);
            strText.Replace("$(VLCMAPI_LIBLIST)", strList.GetString());
            WithOpenStream(pOut, VL_OPEN_WRITE,
                           [&] { WriteRaw(pOut, strText.GetBuffer(), static_cast<size_t>(strText.GetLength())); });
        }
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
}
