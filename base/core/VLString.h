// The string type of the whole system: a run of bytes tagged with a character
// set (a charset id of the converter's table; UTF-8 by default). Lengths,
// indexes and search results count bytes; only GetCharCount and MidChar count
// characters. Concatenation and comparison never convert.
#ifndef VLSTRING_H
#define VLSTRING_H

#include <cstddef>
#include <cstdlib>

#include "base/core/VLCharset.h"
#include "base/core/VLTypes.h"

class IVLStream;

class CVLString
{
public:
    explicit CVLString(int eCharset = VL_CHARSET_UTF8);
    CVLString(const char* sz, int eCharset);
    CVLString(const void* p, int nLength, int eCharset);
    CVLString(char c, int eCharset);
    CVLString(const CVLString& other);
    CVLString(CVLString&& other) noexcept;
    virtual ~CVLString();

    // Storage
    virtual int GetLength() const;
    virtual int GetCharCount() const;
    virtual int GetCharset() const { return m_eCharset; }
    virtual void SetCharset(int eCharset);
    virtual CVLString ConvertTo(int eCharset, bool bDiscardIllegal) const;
    virtual CVLString ConvertTo(const char* szCharset, bool bDiscardIllegal) const;
    virtual void Assign(const void* p, int nLength, int eCharset);
    virtual void Assign(const void* p, int nLength, const char* szCharset);
    virtual void Append(const void* p, int nLength);
    virtual int GetCharSize() const { return m_nCharSize; }

    // Assignment
    virtual CVLString& operator=(const CVLString& other);
    virtual CVLString& operator=(const char* sz);
    virtual CVLString& operator=(const unsigned short* p);
    virtual CVLString& operator=(char c);
    CVLString& operator=(CVLString&& other) noexcept;

    // Appending
    virtual CVLString& operator+=(const char* sz);
    virtual CVLString& operator+=(const unsigned short* p);
    virtual CVLString& operator+=(const CVLString& other);
    virtual CVLString& operator+=(char c);

    // Access
    virtual char GetAt(int i) const;
    virtual const char* GetBuffer() const;
    virtual const char* GetString() const;

    // Comparison
    virtual int Compare(const CVLString& other) const;
    virtual int Compare(const char* sz) const;
    virtual int Compare(const unsigned short* p) const;
    virtual int CompareNoCase(const CVLString& other) const;
    virtual int CompareNoCase(const char* sz) const;
    virtual int CompareNoCase(const unsigned short* p) const;

    // Pieces
    virtual CVLString Mid(int nStart) const;
    virtual CVLString Mid(int nStart, int nCount) const;
    virtual CVLString MidChar(int nStart) const;
    virtual CVLString MidChar(int nStart, int nCount) const;

    // Searching: a byte index, or -1
    virtual int Find(const char* sz, int nStart = 0) const;
    virtual int Find(char c, int nStart = 0) const;
    virtual int Find(const unsigned short* p, int nStart = 0) const;
    virtual int Find(unsigned short c, int nStart = 0) const;
    virtual int ReverseFind(const char* sz, int nStart = -1) const;
    virtual int ReverseFind(char c, int nStart = -1) const;
    virtual int ReverseFind(const unsigned short* p, int nStart = -1) const;
    virtual int ReverseFind(unsigned short c, int nStart = -1) const;

    virtual void Empty();

    // Numbers, booleans and hexadecimal
    virtual bool IsNumeric() const;
    virtual VL_LONG ToLong(VL_LONG nDefault = 0) const;
    virtual VL_ULONG ToULong(VL_ULONG nDefault = 0) const;
    virtual VL_LONGLONG ToLongLong(VL_LONGLONG nDefault = 0) const;
    virtual VL_ULONGLONG ToULongLong(VL_ULONGLONG nDefault = 0) const;
    virtual bool ToBool(bool bDefault = false) const;
    virtual double ToDouble(double dDefault = 0.0) const;
    virtual bool HexToDWord(VL_ULONG& nValue) const;
    virtual bool HexToByte(VL_BYTE* pValue) const;
    virtual int HexToBytes(VL_BYTE* pBuffer, int nSize) const;
    virtual void SetHexDWord(VL_ULONG nValue, int eByteOrder, bool bUpper);
    virtual void SetHexByte(VL_BYTE nValue, bool bUpper);
    virtual void SetHex(const VL_BYTE* pData, int nLength, bool bUpper);
    virtual void SetLong(VL_LONG nValue);
    virtual void SetULong(VL_ULONG nValue);
    virtual void SetLongLong(VL_LONGLONG nValue);
    virtual void SetULongLong(VL_ULONGLONG nValue);
    virtual void SetDouble(double dValue);
    virtual void SetBool(bool bValue);

    // Editing
    virtual void TrimLeft();
    virtual void TrimRight();
    virtual void Trim();
    virtual CVLString MakeLower() const;
    virtual CVLString MakeUpper() const;
    virtual int Replace(const char* szOld, const char* szNew);
    virtual int WriteTo(IVLStream& stream) const;

    virtual void Reserve(int nBytes);
    virtual void Clear();
    virtual void FreeBuffer();
    virtual void UpperCodeUnit(VL_BYTE* pDst, const VL_BYTE* pSrc, int nSize) const;
    virtual bool HexToBytesRight(VL_BYTE* pBuffer, VL_BYTE* pScratch, int nSize) const;

    // Static helpers
    static int GetTextLength(const char* sz);
    static int GetTextLength(const void* p, int eCharset);
    static int GetSystemCharset();
    static int FindBytes(const void* pBuffer, int nStart, int nLength, const void* pPattern, int nPatLength);
    static int ReverseFindBytes(const void* pBuffer, int nStart, int nLength, const void* pPattern,
                                int nPatLength);

private:
    struct Block
    {
        VL_SIZE_T nLength;
        VL_SIZE_T nCapacity;
        char data[1];
    };

    // Short texts live in the string itself: no heap block for them.
    static const int kInlineBytes = 24;
    Block* InlineBlock() { return reinterpret_cast<Block*>(m_InlineStorage); }
    const Block* InlineBlock() const { return reinterpret_cast<const Block*>(m_InlineStorage); }
    // Frees pBlock unless it is this string's own inline block.
    void ReleaseBlock(Block* pBlock) noexcept
    {
        if (pBlock != InlineBlock())
            std::free(pBlock);
    }
    // Takes over other's text (its heap block, or a copy of its inline text).
    void TakeFrom(CVLString& other) noexcept;

    int CompareBytes(const CVLString& other, bool bNoCase) const;
    // Formats in UTF-8 and stores the text in this string's charset.
    void AssignFormatted(const char* szText);
    // A copy of this text in ASCII for the number parsers.
    bool GetAsciiText(CVLString& strOut) const;

    int m_eCharset;
    int m_nCharSize;
    Block* m_pBuffer;  // null, a heap block or the inline block
    alignas(Block) char m_InlineStorage[offsetof(Block, data) + kInlineBytes];
};

bool operator==(const CVLString& a, const CVLString& b);
bool operator!=(const CVLString& a, const CVLString& b);
bool operator<(const CVLString& a, const CVLString& b);
bool operator<=(const CVLString& a, const CVLString& b);
bool operator>(const CVLString& a, const CVLString& b);
bool operator>=(const CVLString& a, const CVLString& b);
bool operator==(const CVLString& a, const char* b);
bool operator!=(const CVLString& a, const char* b);
bool operator<(const CVLString& a, const char* b);
bool operator<=(const CVLString& a, const char* b);
bool operator>(const CVLString& a, const char* b);
bool operator>=(const CVLString& a, const char* b);
bool operator==(const char* a, const CVLString& b);
bool operator!=(const char* a, const CVLString& b);
bool operator<(const char* a, const CVLString& b);
bool operator<=(const char* a, const CVLString& b);
bool operator>(const char* a, const CVLString& b);
bool operator>=(const char* a, const CVLString& b);

#endif
