// The module framework's definitions: XML documents, each filed under a name,
// and compiled scripts. They load from the binary definition resource
// ("vlres200.dat"), from definition bytes, or in development form from a list
// of XML files and script sources ("vlres201.dat"). The loader also writes
// them back as a resource and generates the build tool's sources.
//
// The resource: a 64-byte header (magic "VLCM", version, reserved bytes),
// then records up to the end of the data, each a 16-byte head (type,
// big-endian body length, reserved bytes) and a body. Type 1 is a tokenized
// XML document (a string table, then a token stream), type 2 a compiled
// script image. Attribute values are stored with every byte inverted.
//
// Reading never writes into the bytes it reads and keeps no pointer into them
// once it returns: every script owns a copy of its image. Every length and
// index is checked against what remains, so a malformed resource fails with
// EVLIOException (EVLUnsupportedException for a bad header), never a read
// outside its bytes. What was filed before a failure stays filed.
//
// Its operations are spread over source files, the reader and the writer of
// one form side by side:
//   VLDefineLoader.cpp          life cycle, failures, the resource's header
//                               and records, script records, numbers and texts
//   VLDefineLoaderDocument.cpp  the document record: string table, elements,
//                               attributes, texts
//   VLDefineLoaderFiles.cpp     the development form and the generated sources
//   VLDefineLoaderPrivate.h     the helpers they share
#ifndef VLDEFINELOADER_H
#define VLDEFINELOADER_H

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/core/VLByteArray.h"
#include "base/core/VLString.h"
#include "base/core/VLTypes.h"
#include "base/stream/VLMemoryStream.h"
#include "base/system/VLLocalizeUtility.h"
#include "base/xml/VLXmlDocument.h"
#include "script/VLScriptCollection.h"

class EVLDefineFormatException;
class EVLException;
class IVLStream;

class CVLDefineLoader
{
public:
    // Sizes and codes of the resource format.
    enum
    {
        HEADER_SIZE = 64,
        RECORD_HEAD_SIZE = 16,
        RECORD_RESERVED_SIZE = 11,
        HEADER_RESERVED_SIZE = 58,
        FORMAT_VERSION = 1,  // the version written; 0 and 1 are read
        RECORD_XML = 1,
        RECORD_SCRIPT = 2,
        MAX_TABLE_TEXT = 255,       // longest string-table entry
        MAX_TABLE_ENTRIES = 65536,  // indexes are 16 bits wide
        MAX_INLINE_TEXT = 65535,    // inline lengths are 16 bits wide
        MAX_DEPTH = 100             // element nesting, as deep as the XML reader reads
    };
    // Tokens of a document record.
    enum
    {
        TOKEN_END = 0x00,
        TOKEN_DOCUMENT_NAME = 0x01,
        TOKEN_VERSION = 0x02,
        TOKEN_ENCODING = 0x03,
        TOKEN_ELEMENT_START = 0x10,
        TOKEN_ELEMENT_END = 0x11,
        TOKEN_ATTRIBUTE_INDEX = 0x20,
        TOKEN_ATTRIBUTE_INLINE = 0x21,
        TOKEN_ATTRIBUTE_EMPTY = 0x22,
        TOKEN_TEXT = 0x30
    };

    // The string table of the record being read: views of its texts inside
    // the bytes being read, numbered from 0.
    class CVLDefineStringTable
    {
    public:
        explicit CVLDefineStringTable(CVLDefineLoader* pLoader) : m_pLoader(pLoader) {}
        void Add(const char* pText, int nLength) { m_Texts.push_back(Entry{pText, nLength}); }
        size_t GetCount() const { return m_Texts.size(); }
        // The text at nIndex; EVLIOException for an index outside the table.
        const char* GetText(unsigned nIndex, int& nLength) const;

        CVLDefineLoader* m_pLoader;

    private:
        struct Entry
        {
            const char* pText;
            int nLength;
        };
        std::vector<Entry> m_Texts;
    };

    // The documents by name, and the texts of a string table being written
    // (stored bytes to index).
    typedef std::map<CVLString, CVLXmlDocument*> CVLDocumentMap;
    typedef std::unordered_map<std::string, unsigned short> CVLStringIndexMap;

    CVLDefineLoader();
    virtual ~CVLDefineLoader();

    // Reads the resource file (null or empty: "vlres200.dat").
    virtual void Load(VL_CONST_STR szFilePath);
    // Reads resource bytes that the caller keeps; they are not changed.
    virtual void Load(const VL_BYTE* pBinaryData, VL_SIZE_T nBinarySize);
    // Reads the XML files and script sources listed in the file szFileName;
    // every path is localized through objPathInfo.
    virtual void LoadFiles(const CVLLocalizeUtility& objPathInfo, VL_CONST_STR szFileName);
    virtual CVLXmlDocument* GetDocument(VL_CONST_STR szName, bool bCreate);
    virtual CVLScriptCollection& GetScriptCollection() { return m_ScriptCollection; }
    // Deletes every document and script and releases the file's bytes.
    virtual void Clear();
    // Writes the documents (by name) and the scripts (in order) as a resource.
    virtual void Save(IVLStream* pStream);
    // The "name" of every "Module" element of the "ModuleMapping" document.
    virtual void ReadModuleMapping(std::vector<CVLString>& modules);
    // A source file with the resource as a byte array (when pData is given)
    // and the function that registers the mapped modules.
    virtual void WriteCSource(IVLStream* pOut, IVLStream* pData);
    // The template with "$(VLCMAPI_LIBLIST)" replaced by the modules' libraries.
    virtual void WriteLibList(IVLStream* pOut, IVLStream* pTemplate);

    const CVLDocumentMap& GetDocumentMap() const { return m_DocumentMap; }
    const CVLString& GetFilePath() const { return m_strFilePath; }
    // Where the last read stood, for error reports: the file being read (a
    // listed file, or the resource's path), and in a resource the number of
    // the record (from 1; 0 for the header) and the offset of its head; in
    // an XML file that does not parse, the line where reading stopped (else 0).
    const CVLString& GetCurrentFile() const { return m_strCurrentFile; }
    VL_ULONG GetCurrentLine() const { return m_nCurrentLine; }
    int GetRecordNumber() const { return m_nRecordNumber; }
    VL_SIZE_T GetRecordOffset() const { return m_nRecordOffset; }
    // What was wrong, in words, when the last read or write failed on a fault
    // of the data (empty when it failed otherwise).
    const std::string& GetErrorText() const { return m_strErrorText; }
    // The report of a failed read or write with exception e (not deleted):
    // the file, the record ("record 3 (offset 1234)") or the line and column
    // ("line 5, column 3") where it applies, and what was wrong in words.
    std::string DescribeFailure(EVLException* e) const;
    // The report of a definition its reader refused: the file and line of
    // the definition that holds it when a list's file gave it, else the
    // file the definitions came from; the element and its attribute.
    std::string DescribeFormat(const EVLDefineFormatException* e) const;
    // Every file that LoadFiles read: the list, then its members in order.
    const std::vector<CVLString>& GetFilesRead() const { return m_FilesRead; }
    // The file that the last load took the definitions from: the resource
    // or the list (empty for bytes, or before any load).
    const CVLString& GetSourcePath() const { return m_strSourcePath; }
    // The entries of a list that LoadFiles passed over, in words (an element
    // other than "File", a type other than xml and script).
    const std::vector<std::string>& GetPassedOver() const { return m_PassedOver; }
    // For a tool that writes the definitions out: a list is read whole or
    // not at all. Every child element of its root must be a File with a name
    // and the type xml or script, at least one must be there, and an XML
    // file must hold nothing the reader drops; else the load fails, saying
    // which entry or construct. Off by default: the program passes over what
    // it does not know.
    void SetStrict(bool bStrict) { m_bStrict = bStrict; }
    // The name of the definition list a resource is built from: a resource
    // that is cut or empty names the list of that name beside it, when there
    // is one, in the command that builds it again.
    void SetListName(const std::string& strName) { m_strListName = strName; }

    // The text with every byte inverted, as UTF-8 (its own inverse).
    static CVLString UnscrambleText(const CVLString& strText);

protected:
    // Reading the resource.
    virtual const VL_BYTE* analyzesHeader(const VL_BYTE* pData, VL_SIZE_T nSize);
    virtual const VL_BYTE* ReadXmlRecord(const VL_BYTE* pBody, VL_SIZE_T nLength);
    virtual void ReadAttribute(const VL_BYTE*& pPos, const VL_BYTE* pEnd, VL_BYTE nToken, CVLXmlDocument* pDocument,
                               CVLXmlElement* pElement, const CVLDefineStringTable& table);
    virtual const VL_BYTE* ReadScriptRecord(const VL_BYTE* pBody, VL_SIZE_T nLength);
    // The development form.
    virtual void LoadXmlFile(VL_CONST_STR szPath);
    virtual void CompileScriptFile(VL_CONST_STR szPath);
    // Writing the resource.
    virtual void WriteXmlRecord(IVLStream* pStream, CVLMemoryStream& tokens, CVLMemoryStream& strings,
                                CVLStringIndexMap& strMap, const CVLString& strName, CVLXmlDocument* pDocument);
    virtual void WriteNodes(CVLMemoryStream& tokens, CVLMemoryStream& strings, CVLStringIndexMap& strMap,
                            const CVLXmlNodeList* pList);
    virtual void WriteElement(CVLMemoryStream& tokens, CVLMemoryStream& strings, CVLStringIndexMap& strMap,
                              const CVLXmlElement* pElement);
    virtual void WriteTextNode(CVLMemoryStream& tokens, const IVLXmlNode* pNode);
    virtual void WriteScriptRecord(IVLStream* pStream, const CVLScript* pScript);
    virtual void WriteByte(IVLStream* pStream, VL_BYTE nValue);
    virtual void WriteUInt16(IVLStream* pStream, unsigned nValue);
    virtual void WriteZeros(IVLStream* pStream, int nCount);
    virtual void WriteText(IVLStream* pStream, VL_BYTE nToken, const CVLString& strText);
    virtual void WriteEncoding(IVLStream* pStream, const CVLString& strEncoding);
    virtual void WriteTextData(IVLStream* pStream, const CVLString& strText);
    virtual unsigned short AddString(CVLMemoryStream& strings, CVLStringIndexMap& strMap, const char* pText,
                                     int nLength);
    virtual void WriteStringIndex(CVLMemoryStream& tokens, CVLMemoryStream& strings, CVLStringIndexMap& strMap,
                                  const CVLString& strText);
    virtual void WriteTokenAndIndex(CVLMemoryStream& tokens, CVLMemoryStream& strings, CVLStringIndexMap& strMap,
                                    VL_BYTE nToken, const CVLString& strText);
    virtual void WriteAttribute(CVLMemoryStream& tokens, CVLMemoryStream& strings, CVLStringIndexMap& strMap,
                                const CVLString& strName, const CVLString& strValue);
    // Writes the text followed by CR LF.
    virtual void WriteLine(IVLStream* pStream, const CVLString& strText);

    // Cursor reads: each checks that the field lies before pEnd, advances
    // pPos past it, and otherwise fails with EVLIOException.
    VL_BYTE ReadByte(const VL_BYTE*& pPos, const VL_BYTE* pEnd)
    {
        if (pPos >= pEnd)
            ThrowFormatError(__LINE__, "the data ends in the middle of a field");
        return *pPos++;
    }
    const VL_BYTE* ReadBytes(const VL_BYTE*& pPos, const VL_BYTE* pEnd, VL_SIZE_T nCount)
    {
        if (pPos > pEnd || nCount > static_cast<size_t>(pEnd - pPos))
            ThrowFormatError(__LINE__, "the data ends in the middle of a field");
        const VL_BYTE* p = pPos;
        pPos += nCount;
        return p;
    }
    unsigned ReadUInt16(const VL_BYTE*& pPos, const VL_BYTE* pEnd)
    {
        const VL_BYTE* p = ReadBytes(pPos, pEnd, 2);
        return static_cast<unsigned>(p[0]) << 8 | p[1];
    }
    VL_ULONG ReadUInt32(const VL_BYTE*& pPos, const VL_BYTE* pEnd);
    // An inline text: a 16-bit length and that many bytes, none of them 0.
    const char* ReadInlineText(const VL_BYTE*& pPos, const VL_BYTE* pEnd, int& nLength);
    // The number of attribute tokens at pPos (at most a few dozen), for the
    // room of an element's attributes.
    static int CountAttributes(const VL_BYTE* pPos, const VL_BYTE* pEnd);
    // The malformed-resource failure, naming the file being read; szReason
    // says what was wrong.
    [[noreturn]] void ThrowFormatError(int nLine, const char* szReason);
    // The words for a resource that ends before strWhat: that it is cut,
    // and how it is made again.
    std::string CutText(const std::string& strWhat) const;
    // "build it again from ...: vlresource build LIST OUT".
    std::string RebuildText() const;
    // An element of a later file that a file read before, with the same
    // root element, already defines under the same name: the two would be
    // one document holding the name twice. Fails with EVLXmlException,
    // naming both files and the element.
    void CheckDefinedOnce(const CVLXmlElement* pSrcRoot);
    // A document that the resource form cannot hold: EVLInvalidParamException,
    // with strReason for GetErrorText.
    [[noreturn]] void ThrowWriteError(int nLine, const std::string& strReason);
    // An entry of a list that is not read: the failure of the load when
    // strict, else noted for GetPassedOver.
    void PassOver(const std::string& strWhat);
    // Files pDocument under strName, replacing (and deleting) a document of
    // that name.
    void FileDocument(const CVLString& strName, CVLXmlDocument* pDocument);

    CVLByteArray m_ByteArray;
    CVLDocumentMap m_DocumentMap;
    CVLString m_strFilePath;
    CVLScriptCollection m_ScriptCollection;
    CVLString m_strCurrentFile;
    int m_nRecordNumber;
    VL_SIZE_T m_nRecordOffset;
    VL_ULONG m_nCurrentLine;
    VL_ULONG m_nCurrentColumn;  // of m_nCurrentLine, when it is set
    std::string m_Scratch;      // the attribute value being read, inverted back
    std::string m_strErrorText;
    std::string m_strWritingDocument;  // the name of the document being written
    std::vector<CVLString> m_FilesRead;
    CVLString m_strSourcePath;
    std::vector<std::string> m_PassedOver;
    bool m_bStrict;
    std::string m_strListName;
    // Of the files of one list: where each named element directly below a
    // root was defined ("root", "tag", "name" to the file and its line).
    struct SDefinedAt
    {
        CVLString strFile;
        VL_ULONG nLine;
    };
    std::map<std::string, SDefinedAt> m_DefinedNames;

private:
    CVLDefineLoader(const CVLDefineLoader&) = delete;
    CVLDefineLoader& operator=(const CVLDefineLoader&) = delete;
};

#endif
