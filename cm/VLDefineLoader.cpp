// CVLDefineLoader: life cycle and lookups, failures and their reports, the
// resource's frame (header and records) and the script record, read and
// written side by side. The document record is in VLDefineLoaderDocument.cpp,
// the development form and the generated sources in VLDefineLoaderFiles.cpp.
#include "cm/VLDefineLoader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <sys/stat.h>

#include "base/core/VLByteOrder.h"
#include "base/core/VLCommandLine.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLFileSystem.h"
#include "base/core/VLIOException.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLOpenException.h"
#include "base/core/VLTrace.h"
#include "base/core/VLUnsupportedException.h"
#include "base/stream/VLFileStream.h"
#include "base/xml/VLXmlException.h"
#include "cm/VLCMDefs.h"
#include "cm/VLDefineLoaderPrivate.h"
#include "script/VLScriptCompileException.h"

using namespace VLDefineLoaderPrivate;

namespace {

const char* const s_szDefaultFileName = "vlres200.dat";
const char s_Magic[4] = {'V', 'L', 'C', 'M'};

}  // namespace

// ---------------------------------------------------------------------------
// Life cycle and lookups

CVLDefineLoader::CVLDefineLoader()
    : m_strFilePath(VL_CHARSET_UTF8), m_strCurrentFile(VL_CHARSET_UTF8), m_nRecordNumber(0), m_nRecordOffset(0),
      m_nCurrentLine(0), m_nCurrentColumn(0), m_strSourcePath(VL_CHARSET_UTF8), m_bStrict(false)
{
}

CVLDefineLoader::~CVLDefineLoader()
{
    try {
        Clear();
    } catch (...) {
        ReleaseCurrentException();
    }
}

void CVLDefineLoader::Clear()
{
    for (auto& entry : m_DocumentMap)
        entry.second->Delete();
    m_DocumentMap.clear();
    m_DefinedNames.clear();
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
// Failures

void CVLDefineLoader::ThrowFormatError(int nLine, const char* szReason)
{
    m_strErrorText = szReason;
    throw new EVLIOException(VLCMAPI_MODULE, s_szFile, nLine, m_strFilePath.GetString(), 0);
}

std::string CVLDefineLoader::CutText(const std::string& strWhat) const
{
    return "the file is cut: " + strWhat + "; " + RebuildText();
}

std::string CVLDefineLoader::RebuildText() const
{
    // A cut resource is no fault of its list: the list builds it again.
    const std::string strPath = m_strFilePath.GetLength() > 0 ? m_strFilePath.GetBuffer() : s_szDefaultFileName;
    const size_t nSlash = strPath.rfind('/');
    const std::string strList = m_strListName.empty() ? std::string() : strPath.substr(0, nSlash + 1) + m_strListName;
    if (strList.empty() || !VLFileExists(strList.c_str(), 0))
        return "build it again from its definition list: vlresource build LIST " + strPath.substr(nSlash + 1);
    return "build it again from the definition list beside it: vlresource build " + CVLCommandLine::ShellWord(strList) +
           " " + CVLCommandLine::ShellWord(strPath);
}

void CVLDefineLoader::ThrowWriteError(int nLine, const std::string& strReason)
{
    m_strErrorText = m_strWritingDocument.empty() ? strReason : "document " + m_strWritingDocument + ": " + strReason;
    throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, nLine);
}

std::string CVLDefineLoader::DescribeFailure(EVLException* e) const
{
    std::string strText(m_strCurrentFile.GetBuffer(), static_cast<size_t>(m_strCurrentFile.GetLength()));
    char szWhere[96] = "";
    EVLScriptCompileException* pScript = dynamic_cast<EVLScriptCompileException*>(e);
    if (m_nRecordNumber > 0)
        snprintf(szWhere, sizeof(szWhere), ": record %d (offset %lu)", m_nRecordNumber,
                 static_cast<unsigned long>(m_nRecordOffset));
    else if (m_nCurrentLine > 0 && m_nCurrentColumn == 0)
        snprintf(szWhere, sizeof(szWhere), ": line %lu", static_cast<unsigned long>(m_nCurrentLine));
    else if (m_nCurrentLine > 0)
        snprintf(szWhere, sizeof(szWhere), ": line %lu, column %lu", static_cast<unsigned long>(m_nCurrentLine),
                 static_cast<unsigned long>(m_nCurrentColumn));
    else if (pScript != nullptr)
        snprintf(szWhere, sizeof(szWhere), ": line %d, column %d", pScript->GetScriptLine(), pScript->GetPosition());
    strText += szWhere;
    strText += ": ";
    if (!m_strErrorText.empty())
        return strText + m_strErrorText;
    if (EVLOpenException* pOpen = dynamic_cast<EVLOpenException*>(e)) {
        return strText + (pOpen->IsNotRegularFile() ? "" : "cannot be opened: ") + pOpen->GetReason();
    }
    if (EVLXmlException* pXml = dynamic_cast<EVLXmlException*>(e))
        return strText + pXml->GetReason();
    if (pScript != nullptr)
        return strText + pScript->GetMessage();
    if (dynamic_cast<EVLMemoryAllocException*>(e) != nullptr)
        return strText + "out of memory";
    if (e == nullptr)
        return strText + "an unexpected failure";
    CVLString str = e->ToString().ConvertTo(VL_CHARSET_UTF8, true);
    return strText + std::string(str.GetBuffer(), static_cast<size_t>(str.GetLength()));
}

// ---------------------------------------------------------------------------
// The resource: header and records

void CVLDefineLoader::Load(VL_CONST_STR szFilePath)
{
    static const char* const kSignature = "CVLDefineLoader::Load(VL_CONST_STR)";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        const char* szPath = (szFilePath == nullptr || *szFilePath == 0) ? s_szDefaultFileName : szFilePath;
        m_strFilePath = szPath;
        m_strCurrentFile = szPath;
        m_strSourcePath = szPath;
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
            // A file cut short is said as such, with what is left of it.
            const size_t nHeadLeft = static_cast<size_t>(pEnd - pPos);
            if (nHeadLeft < RECORD_HEAD_SIZE)
                ThrowFormatError(
                    __LINE__,
                    CutText("it ends " + std::to_string(nHeadLeft) + " bytes into the record's 16-byte head").c_str());
            VL_BYTE nType = ReadByte(pPos, pEnd);
            VL_ULONG nLength = ReadUInt32(pPos, pEnd);
            ReadBytes(pPos, pEnd, RECORD_RESERVED_SIZE);
            if (nLength > static_cast<size_t>(pEnd - pPos))
                ThrowFormatError(__LINE__, CutText("the record's body is " + std::to_string(nLength) +
                                                   " bytes long, and the file ends " + std::to_string(pEnd - pPos) +
                                                   " bytes into it")
                                               .c_str());
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
        if (pData != nullptr && nSize >= sizeof(s_Magic) && nSize < HEADER_SIZE &&
            std::memcmp(pData, s_Magic, sizeof(s_Magic)) == 0)
            m_strErrorText = CutText("it ends " + std::to_string(nSize) + " bytes into the 64-byte header");
        else if (nSize == 0)
            m_strErrorText = "the file is empty; " + RebuildText();
        else if (pData == nullptr || nSize < HEADER_SIZE || std::memcmp(pData, s_Magic, sizeof(s_Magic)) != 0)
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

// ---------------------------------------------------------------------------
// Script records

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

void CVLDefineLoader::WriteScriptRecord(IVLStream* pStream, const CVLScript* pScript)
{
    VL_BYTE head[RECORD_HEAD_SIZE] = {};
    head[0] = RECORD_SCRIPT;
    CVLByteOrder::SetUInt32(pScript->GetSize(), kByteOrder, head + 1);
    WriteRaw(pStream, head, sizeof(head));
    WriteRaw(pStream, pScript->GetData(), pScript->GetSize());
}

// ---------------------------------------------------------------------------
// Numbers and inline texts

VL_ULONG CVLDefineLoader::ReadUInt32(const VL_BYTE*& pPos, const VL_BYTE* pEnd)
{
    return CVLByteOrder::GetUInt32(kByteOrder, ReadBytes(pPos, pEnd, 4));
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

const char* CVLDefineLoader::ReadInlineText(const VL_BYTE*& pPos, const VL_BYTE* pEnd, int& nLength)
{
    unsigned n = ReadUInt16(pPos, pEnd);
    const char* p = reinterpret_cast<const char*>(ReadBytes(pPos, pEnd, n));
    if (std::memchr(p, 0, n) != nullptr)
        ThrowFormatError(__LINE__, "a text holds a zero byte");
    nLength = static_cast<int>(n);
    return p;
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
