#include "base/core/VLString.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/core/VLIconvWrapper.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLStream.h"

// Throw-site codes: fixed numbers that identify each site in traces and
// results; they are not line numbers and never change.
const int kSiteReserve = 1419;

namespace {

const char s_szEmpty[8] = {0, 0, 0, 0, 0, 0, 0, 0};

// The largest text a string holds, so that sizes never overflow an int.
const VL_SIZE_T kMaxTextBytes = 0x7fffff00u;

bool IsUtf16Family(int eCharset)
{
    return eCharset == VL_CHARSET_UTF16 || eCharset == VL_CHARSET_UTF16BE || eCharset == VL_CHARSET_UTF16LE;
}

bool IsAsciiCompatible(int eCharset)
{
    return eCharset == VL_CHARSET_ASCII || eCharset == VL_CHARSET_UTF8;
}

// Counts the bytes before the terminating unit, looking only inside nLength bytes.
int MeasureText(const char* p, int nLength, int nCharSize)
{
    if (nCharSize == 2 || nCharSize == 4) {
        int nUnits = nLength / nCharSize;
        int i = 0;
        if (nCharSize == 2) {
            // Four units at a time until a word holds a zero unit.
            const VL_ULONGLONG kLow = 0x0001000100010001ull;
            const VL_ULONGLONG kHigh = 0x8000800080008000ull;
            for (; i + 4 <= nUnits; i += 4) {
                VL_ULONGLONG w;
                memcpy(&w, p + i * 2, sizeof(w));
                if (((w - kLow) & ~w & kHigh) != 0)
                    break;
            }
        }
        for (; i < nUnits; ++i) {
            bool bZero = true;
            for (int k = 0; k < nCharSize; ++k)
                bZero = bZero && p[i * nCharSize + k] == 0;
            if (bZero)
                return i * nCharSize;
        }
        return nLength;
    }
    if (nLength <= 32) {
        // Short texts (most of them): a plain loop beats the call.
        for (int i = 0; i < nLength; ++i) {
            if (p[i] == 0)
                return i;
        }
        return nLength;
    }
    const void* z = memchr(p, 0, static_cast<size_t>(nLength));
    return z ? static_cast<int>(static_cast<const char*>(z) - p) : nLength;
}

int UnitTextLength(const unsigned short* p)
{
    int n = 0;
    while (p[n] != 0)
        ++n;
    return n;
}

}  // namespace

CVLString::CVLString(int eCharset) : m_eCharset(VL_CHARSET_UTF8), m_nCharSize(1), m_pBuffer(nullptr)
{
    if (eCharset != VL_CHARSET_UTF8)
        SetCharset(eCharset);
}

CVLString::CVLString(const char* sz, int eCharset) : CVLString(eCharset)
{
    operator=(sz);
}

CVLString::CVLString(const void* p, int nLength, int eCharset) : CVLString(eCharset)
{
    Assign(p, nLength, eCharset);
}

CVLString::CVLString(char c, int eCharset) : CVLString(eCharset)
{
    operator=(c);
}

CVLString::CVLString(const CVLString& other) : m_eCharset(VL_CHARSET_UTF8), m_nCharSize(1), m_pBuffer(nullptr)
{
    operator=(other);
}

CVLString::CVLString(CVLString&& other) noexcept
    : m_eCharset(other.m_eCharset), m_nCharSize(other.m_nCharSize), m_pBuffer(nullptr)
{
    TakeFrom(other);
}

CVLString::~CVLString()
{
    ReleaseBlock(m_pBuffer);
}

void CVLString::TakeFrom(CVLString& other) noexcept
{
    if (other.m_pBuffer == other.InlineBlock()) {
        memcpy(m_InlineStorage, other.m_InlineStorage, sizeof(m_InlineStorage));
        m_pBuffer = InlineBlock();
    } else {
        m_pBuffer = other.m_pBuffer;
    }
    other.m_pBuffer = nullptr;
}

int CVLString::GetLength() const
{
    return m_pBuffer ? static_cast<int>(m_pBuffer->nLength) : 0;
}

int CVLString::GetCharCount() const
{
    int nLength = GetLength();
    if (nLength == 0)
        return 0;
    if (IsUtf16Family(m_eCharset))
        return nLength / (m_nCharSize > 0 ? m_nCharSize : 1);
    CVLString strUtf16 = ConvertTo(VL_CHARSET_UTF16, true);
    if (strUtf16.GetCharset() == VL_CHARSET_UTF16)
        return strUtf16.GetLength() / 2;
    // No converter: count UTF-8 sequences, or code units of other charsets.
    if (m_eCharset == VL_CHARSET_UTF8) {
        int n = 0;
        for (int i = 0; i < nLength; ++i)
            n += ((static_cast<unsigned char>(m_pBuffer->data[i]) & 0xC0) != 0x80);
        return n;
    }
    return nLength / (m_nCharSize > 0 ? m_nCharSize : 1);
}

void CVLString::SetCharset(int eCharset)
{
    if (eCharset == m_eCharset)
        return;
    m_eCharset = eCharset;
    m_nCharSize = CVLIconvWrapper::GetCharSize(eCharset);
    if (m_nCharSize < 1)
        m_nCharSize = 1;
}

CVLString CVLString::ConvertTo(int eCharset, bool bDiscardIllegal) const
{
    if (m_pBuffer == nullptr)
        return CVLIconvWrapper::Convert(m_eCharset, nullptr, 0, eCharset, bDiscardIllegal);
    return CVLIconvWrapper::Convert(m_eCharset, m_pBuffer->data, GetLength(), eCharset, bDiscardIllegal);
}

CVLString CVLString::ConvertTo(const char* szCharset, bool bDiscardIllegal) const
{
    return ConvertTo(CVLIconvWrapper::GetCharsetId(szCharset), bDiscardIllegal);
}

void CVLString::Reserve(int nBytes)
{
    if (nBytes < 0)
        nBytes = 0;
    if (static_cast<VL_SIZE_T>(nBytes) > kMaxTextBytes)
        throw new EVLMemoryAllocException(VLSTD_MODULE, "VLString", kSiteReserve);
    VL_SIZE_T nNeed = static_cast<VL_SIZE_T>(nBytes) + static_cast<VL_SIZE_T>(m_nCharSize);
    if (m_pBuffer != nullptr && m_pBuffer->nCapacity >= nNeed)
        return;
    ReleaseBlock(m_pBuffer);
    m_pBuffer = nullptr;
    Block* pBlock;
    VL_SIZE_T nCapacity;
    if (nNeed <= static_cast<VL_SIZE_T>(kInlineBytes)) {
        pBlock = InlineBlock();
        nCapacity = static_cast<VL_SIZE_T>(kInlineBytes);
    } else {
        nCapacity = (nNeed + 63u) & ~63u;
        pBlock = static_cast<Block*>(malloc(offsetof(Block, data) + nCapacity));
        if (pBlock == nullptr)
            throw new EVLMemoryAllocException(VLSTD_MODULE, "VLString", kSiteReserve);
    }
    pBlock->nLength = 0;
    pBlock->nCapacity = nCapacity;
    if (m_nCharSize <= 8)
        memset(pBlock->data, 0, 8);
    else
        memset(pBlock->data, 0, static_cast<size_t>(m_nCharSize));
    m_pBuffer = pBlock;
}

void CVLString::Assign(const void* p, int nLength, int eCharset)
{
    if (nLength <= 0 || p == nullptr) {
        Clear();
        if (eCharset != VL_CHARSET_UNKNOWN)
            SetCharset(eCharset);
        return;
    }
    if (eCharset != VL_CHARSET_UNKNOWN)
        SetCharset(eCharset);
    // The source may lie inside this string's own block.
    const char* pSrc = static_cast<const char*>(p);
    char* pCopy = nullptr;
    if (m_pBuffer != nullptr && pSrc >= m_pBuffer->data && pSrc < m_pBuffer->data + m_pBuffer->nCapacity) {
        pCopy = static_cast<char*>(malloc(static_cast<size_t>(nLength)));
        if (pCopy == nullptr)
            throw new EVLMemoryAllocException(VLSTD_MODULE, "VLString", kSiteReserve);
        memcpy(pCopy, pSrc, static_cast<size_t>(nLength));
        pSrc = pCopy;
    }
    try {
        Reserve(nLength);
    } catch (...) {
        free(pCopy);
        throw;
    }
    memcpy(m_pBuffer->data, pSrc, static_cast<size_t>(nLength));
    if (m_nCharSize == 1)
        m_pBuffer->data[nLength] = 0;
    else
        memset(m_pBuffer->data + nLength, 0, static_cast<size_t>(m_nCharSize));
    m_pBuffer->nLength = static_cast<VL_SIZE_T>(MeasureText(m_pBuffer->data, nLength, m_nCharSize));
    free(pCopy);
}

void CVLString::Assign(const void* p, int nLength, const char* szCharset)
{
    int eCharset =
        (szCharset == nullptr || *szCharset == 0) ? VL_CHARSET_UNKNOWN : CVLIconvWrapper::GetCharsetId(szCharset);
    Assign(p, nLength, eCharset);
}

void CVLString::Append(const void* p, int nLength)
{
    if (nLength <= 0 || p == nullptr)
        return;
    VL_SIZE_T nOld = m_pBuffer ? m_pBuffer->nLength : 0;
    if (static_cast<VL_SIZE_T>(nLength) > kMaxTextBytes - nOld)
        throw new EVLMemoryAllocException(VLSTD_MODULE, "VLString", kSiteReserve);
    VL_SIZE_T nTotal = nOld + static_cast<VL_SIZE_T>(nLength);
    if (m_pBuffer == nullptr) {
        Reserve(nLength);
    } else if (m_pBuffer->nCapacity < nTotal + static_cast<VL_SIZE_T>(m_nCharSize)) {
        // Grow into a new block; the old one (which p may point into) is
        // freed only after both texts have been copied.
        Block* pOld = m_pBuffer;
        m_pBuffer = nullptr;
        try {
            Reserve(static_cast<int>(nTotal));
        } catch (...) {
            m_pBuffer = pOld;
            throw;
        }
        memcpy(m_pBuffer->data, pOld->data, nOld);
        memcpy(m_pBuffer->data + nOld, p, static_cast<size_t>(nLength));
        m_pBuffer->nLength = nTotal;
        memset(m_pBuffer->data + nTotal, 0, static_cast<size_t>(m_nCharSize));
        ReleaseBlock(pOld);
        return;
    }
    memmove(m_pBuffer->data + nOld, p, static_cast<size_t>(nLength));
    m_pBuffer->nLength = nTotal;
    memset(m_pBuffer->data + nTotal, 0, static_cast<size_t>(m_nCharSize));
}

CVLString& CVLString::operator=(const CVLString& other)
{
    if (&other == this)
        return *this;
    if (other.m_pBuffer != nullptr) {
        Assign(other.m_pBuffer->data, other.GetLength(), other.m_eCharset);
    } else {
        Clear();
        SetCharset(other.m_eCharset);
    }
    return *this;
}

CVLString& CVLString::operator=(CVLString&& other) noexcept
{
    if (&other != this) {
        ReleaseBlock(m_pBuffer);
        m_eCharset = other.m_eCharset;
        m_nCharSize = other.m_nCharSize;
        TakeFrom(other);
    }
    return *this;
}

CVLString& CVLString::operator=(const char* sz)
{
    if (sz == nullptr)
        Clear();
    else
        Assign(sz, static_cast<int>(strlen(sz)), VL_CHARSET_UNKNOWN);
    return *this;
}

CVLString& CVLString::operator=(const unsigned short* p)
{
    if (p == nullptr)
        Clear();
    else
        Assign(p, 2 * UnitTextLength(p), VL_CHARSET_UNKNOWN);
    return *this;
}

CVLString& CVLString::operator=(char c)
{
    if (c == 0)
        Clear();
    else
        Assign(&c, 1, VL_CHARSET_UNKNOWN);
    return *this;
}

CVLString& CVLString::operator+=(const char* sz)
{
    if (sz != nullptr)
        Append(sz, static_cast<int>(strlen(sz)));
    return *this;
}

CVLString& CVLString::operator+=(const unsigned short* p)
{
    if (p != nullptr)
        Append(p, 2 * UnitTextLength(p));
    return *this;
}

CVLString& CVLString::operator+=(const CVLString& other)
{
    if (other.m_pBuffer != nullptr)
        Append(other.m_pBuffer->data, other.GetLength());
    return *this;
}

CVLString& CVLString::operator+=(char c)
{
    if (c != 0)
        Append(&c, 1);
    return *this;
}

char CVLString::GetAt(int i) const
{
    if (m_pBuffer == nullptr || i < 0 || i >= GetLength())
        return 0;
    return m_pBuffer->data[i];
}

const char* CVLString::GetBuffer() const
{
    return m_pBuffer ? m_pBuffer->data : s_szEmpty;
}

const char* CVLString::GetString() const
{
    return GetBuffer();
}

void CVLString::UpperCodeUnit(VL_BYTE* pDst, const VL_BYTE* pSrc, int nSize) const
{
    memcpy(pDst, pSrc, static_cast<size_t>(nSize));
    int nNonZero = 0;
    for (int i = 0; i < nSize; ++i)
        nNonZero += (pSrc[i] != 0);
    if (nNonZero != 1)
        return;
    int k = (pSrc[0] != 0) ? 0 : nSize - 1;
    if (pDst[k] >= 'a' && pDst[k] <= 'z')
        pDst[k] = static_cast<VL_BYTE>(pDst[k] - 32);
}

int CVLString::CompareBytes(const CVLString& other, bool bNoCase) const
{
    int nThis = GetLength();
    int nOther = other.GetLength();
    if (nOther == 0)
        return nThis != 0 ? 1 : 0;
    if (nThis == 0)
        return -1;
    int nUnit = m_nCharSize;
    if (nUnit < 1 || nUnit > 16)
        nUnit = 1;
    const VL_BYTE* a = reinterpret_cast<const VL_BYTE*>(m_pBuffer->data);
    const VL_BYTE* b = reinterpret_cast<const VL_BYTE*>(other.m_pBuffer->data);
    if (nUnit == 1 && !bNoCase) {
        // Byte strings (map keys, names) in one pass; the first differing
        // byte gives the result, as below.
        size_t nCommon = static_cast<size_t>(nThis < nOther ? nThis : nOther);
        if (memcmp(a, b, nCommon) == 0)
            return nThis - nOther;
        size_t i = 0;
        while (a[i] == b[i])
            ++i;
        return memcmp(a + i, b + i, 1);
    }
    int ra = nThis, rb = nOther;
    while (ra >= nUnit && rb >= nUnit) {
        int r;
        if (bNoCase) {
            VL_BYTE ua[16], ub[16];
            UpperCodeUnit(ua, a, nUnit);
            UpperCodeUnit(ub, b, nUnit);
            r = memcmp(ua, ub, static_cast<size_t>(nUnit));
        } else {
            r = memcmp(a, b, static_cast<size_t>(nUnit));
        }
        if (r != 0)
            return r;
        a += nUnit;
        b += nUnit;
        ra -= nUnit;
        rb -= nUnit;
    }
    return ra - rb;
}

int CVLString::Compare(const CVLString& other) const
{
    return CompareBytes(other, false);
}

int CVLString::Compare(const char* sz) const
{
    CVLString tmp(m_eCharset);
    if (sz != nullptr)
        tmp.Assign(sz, static_cast<int>(strlen(sz)), m_eCharset);
    return CompareBytes(tmp, false);
}

int CVLString::Compare(const unsigned short* p) const
{
    CVLString tmp(m_eCharset);
    if (p != nullptr)
        tmp.Assign(p, 2 * UnitTextLength(p), m_eCharset);
    return CompareBytes(tmp, false);
}

int CVLString::CompareNoCase(const CVLString& other) const
{
    return CompareBytes(other, true);
}

int CVLString::CompareNoCase(const char* sz) const
{
    CVLString tmp(m_eCharset);
    if (sz != nullptr)
        tmp.Assign(sz, static_cast<int>(strlen(sz)), m_eCharset);
    return CompareBytes(tmp, true);
}

int CVLString::CompareNoCase(const unsigned short* p) const
{
    CVLString tmp(m_eCharset);
    if (p != nullptr)
        tmp.Assign(p, 2 * UnitTextLength(p), m_eCharset);
    return CompareBytes(tmp, true);
}

CVLString CVLString::Mid(int nStart) const
{
    return Mid(nStart, GetLength() - nStart);
}

CVLString CVLString::Mid(int nStart, int nCount) const
{
    CVLString result(VL_CHARSET_UTF8);
    int nLength = GetLength();
    if (m_pBuffer == nullptr || nStart < 0 || nStart >= nLength)
        return result;
    if (nCount > nLength - nStart)
        nCount = nLength - nStart;
    result.Assign(m_pBuffer->data + nStart, nCount, m_eCharset);
    return result;
}

CVLString CVLString::MidChar(int nStart) const
{
    return MidChar(nStart, GetLength() - nStart);
}

CVLString CVLString::MidChar(int nStart, int nCount) const
{
    if (IsUtf16Family(m_eCharset)) {
        long long s = static_cast<long long>(nStart) * m_nCharSize;
        long long c = static_cast<long long>(nCount) * m_nCharSize;
        if (s < INT_MIN || s > INT_MAX)
            return CVLString(VL_CHARSET_UTF8);
        if (c > INT_MAX)
            c = INT_MAX;
        if (c < INT_MIN)
            c = INT_MIN;
        return Mid(static_cast<int>(s), static_cast<int>(c));
    }
    CVLString strUtf16 = ConvertTo(VL_CHARSET_UTF16, true);
    if (strUtf16.GetCharset() != VL_CHARSET_UTF16)
        return Mid(nStart, nCount);  // no converter: count bytes
    CVLString piece = strUtf16.MidChar(nStart, nCount);
    return piece.ConvertTo(m_eCharset, true);
}

int CVLString::FindBytes(const void* pBuffer, int nStart, int nLength, const void* pPattern, int nPatLength)
{
    if (pBuffer == nullptr || pPattern == nullptr || nPatLength <= 0 || nLength <= 0 || nStart >= nLength)
        return -1;
    if (nStart < 0)
        nStart = 0;
    const char* buf = static_cast<const char*>(pBuffer);
    for (int i = nStart; i <= nLength - nPatLength; ++i) {
        if (memcmp(buf + i, pPattern, static_cast<size_t>(nPatLength)) == 0)
            return i;
    }
    return -1;
}

int CVLString::ReverseFindBytes(const void* pBuffer, int nStart, int nLength, const void* pPattern,
                                int nPatLength)
{
    if (pBuffer == nullptr || pPattern == nullptr || nPatLength <= 0 || nLength <= 0)
        return -1;
    int nEnd = (nStart < 0 || nStart > nLength) ? nLength : nStart;
    const char* buf = static_cast<const char*>(pBuffer);
    for (int i = nEnd - nPatLength; i >= 0; --i) {
        if (memcmp(buf + i, pPattern, static_cast<size_t>(nPatLength)) == 0)
            return i;
    }
    return -1;
}

int CVLString::Find(const char* sz, int nStart) const
{
    if (sz == nullptr || *sz == 0 || m_pBuffer == nullptr)
        return -1;
    return FindBytes(m_pBuffer->data, nStart, GetLength(), sz, static_cast<int>(strlen(sz)));
}

int CVLString::Find(char c, int nStart) const
{
    if (c == 0 || m_pBuffer == nullptr)
        return -1;
    return FindBytes(m_pBuffer->data, nStart, GetLength(), &c, 1);
}

int CVLString::Find(const unsigned short* p, int nStart) const
{
    if (p == nullptr || m_pBuffer == nullptr)
        return -1;
    return FindBytes(m_pBuffer->data, nStart, GetLength(), p, 2 * UnitTextLength(p));
}

int CVLString::Find(unsigned short c, int nStart) const
{
    if (c == 0 || m_pBuffer == nullptr)
        return -1;
    return FindBytes(m_pBuffer->data, nStart, GetLength(), &c, 2);
}

int CVLString::ReverseFind(const char* sz, int nStart) const
{
    if (sz == nullptr || *sz == 0 || m_pBuffer == nullptr)
        return -1;
    return ReverseFindBytes(m_pBuffer->data, nStart, GetLength(), sz, static_cast<int>(strlen(sz)));
}

int CVLString::ReverseFind(char c, int nStart) const
{
    if (c == 0 || m_pBuffer == nullptr)
        return -1;
    return ReverseFindBytes(m_pBuffer->data, nStart, GetLength(), &c, 1);
}

int CVLString::ReverseFind(const unsigned short* p, int nStart) const
{
    if (p == nullptr || m_pBuffer == nullptr)
        return -1;
    return ReverseFindBytes(m_pBuffer->data, nStart, GetLength(), p, 2 * UnitTextLength(p));
}

int CVLString::ReverseFind(unsigned short c, int nStart) const
{
    if (c == 0 || m_pBuffer == nullptr)
        return -1;
    return ReverseFindBytes(m_pBuffer->data, nStart, GetLength(), &c, 2);
}

void CVLString::Empty()
{
    Clear();
}

void CVLString::Clear()
{
    if (m_pBuffer != nullptr) {
        m_pBuffer->nLength = 0;
        memset(m_pBuffer->data, 0, m_pBuffer->nCapacity < 8 ? m_pBuffer->nCapacity : 8);
    }
}

void CVLString::FreeBuffer()
{
    ReleaseBlock(m_pBuffer);
    m_pBuffer = nullptr;
}

int CVLString::Replace(const char* szOld, const char* szNew)
{
    if (szOld == nullptr || *szOld == 0 || GetLength() == 0)
        return 0;
    CVLString copy(*this);
    Clear();
    int nOldLen = static_cast<int>(strlen(szOld));
    int nPos = 0;
    int nCount = 0;
    for (;;) {
        int nFound = copy.Find(szOld, nPos);
        if (nFound < 0)
            break;
        Append(copy.GetBuffer() + nPos, nFound - nPos);
        if (szNew != nullptr)
            Append(szNew, static_cast<int>(strlen(szNew)));
        nPos = nFound + nOldLen;
        ++nCount;
    }
    Append(copy.GetBuffer() + nPos, copy.GetLength() - nPos);
    return nCount;
}

namespace {
inline bool IsBlank(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}
}  // namespace

void CVLString::TrimLeft()
{
    if (GetLength() == 0)
        return;
    if (!IsAsciiCompatible(m_eCharset)) {
        CVLString strUtf8 = ConvertTo(VL_CHARSET_UTF8, true);
        if (strUtf8.GetCharset() == VL_CHARSET_UTF8) {
            strUtf8.TrimLeft();
            *this = strUtf8.ConvertTo(m_eCharset, true);
            return;
        }
        if (m_nCharSize != 1)
            return;  // no converter and no way to find blanks safely
    }
    int n = GetLength(), i = 0;
    while (i < n && IsBlank(m_pBuffer->data[i]))
        ++i;
    if (i == 0)
        return;
    int eCharset = m_eCharset;
    *this = Mid(i);
    SetCharset(eCharset);
}

void CVLString::TrimRight()
{
    if (GetLength() == 0)
        return;
    if (!IsAsciiCompatible(m_eCharset)) {
        CVLString strUtf8 = ConvertTo(VL_CHARSET_UTF8, true);
        if (strUtf8.GetCharset() == VL_CHARSET_UTF8) {
            strUtf8.TrimRight();
            *this = strUtf8.ConvertTo(m_eCharset, true);
            return;
        }
        if (m_nCharSize != 1)
            return;  // no converter and no way to find blanks safely
    }
    int j = GetLength();
    while (j > 0 && IsBlank(m_pBuffer->data[j - 1]))
        --j;
    if (j == GetLength())
        return;
    int eCharset = m_eCharset;
    *this = Mid(0, j);
    SetCharset(eCharset);
}

void CVLString::Trim()
{
    TrimRight();
    TrimLeft();
}

CVLString CVLString::MakeLower() const
{
    CVLString result(VL_CHARSET_UTF8);
    int n = GetLength();
    for (int i = 0; i < n; ++i) {
        char c = m_pBuffer->data[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
        result += c;
    }
    return result;
}

CVLString CVLString::MakeUpper() const
{
    CVLString result(VL_CHARSET_UTF8);
    int n = GetLength();
    for (int i = 0; i < n; ++i) {
        char c = m_pBuffer->data[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
        result += c;
    }
    return result;
}

int CVLString::WriteTo(IVLStream& stream) const
{
    int n = GetLength();
    if (n == 0)
        return 0;
    stream.Write(reinterpret_cast<const VL_BYTE*>(m_pBuffer->data), static_cast<VL_SIZE_T>(n));
    return n;
}

int CVLString::GetTextLength(const char* sz)
{
    return sz ? static_cast<int>(strlen(sz)) : 0;
}

int CVLString::GetTextLength(const void* p, int eCharset)
{
    if (p == nullptr)
        return 0;
    if (CVLIconvWrapper::GetCharSize(eCharset) == 2)
        return UnitTextLength(static_cast<const unsigned short*>(p));
    return static_cast<int>(strlen(static_cast<const char*>(p)));
}

int CVLString::GetSystemCharset()
{
    return CVLIconvWrapper::GetSystemCharset();
}

// clang-format off
bool operator==(const CVLString& a, const CVLString& b) { return a.Compare(b) == 0; }
bool operator!=(const CVLString& a, const CVLString& b) { return a.Compare(b) != 0; }
bool operator<(const CVLString& a, const CVLString& b) { return a.Compare(b) < 0; }
bool operator<=(const CVLString& a, const CVLString& b) { return a.Compare(b) <= 0; }
bool operator>(const CVLString& a, const CVLString& b) { return a.Compare(b) > 0; }
bool operator>=(const CVLString& a, const CVLString& b) { return a.Compare(b) >= 0; }
bool operator==(const CVLString& a, const char* b) { return a.Compare(b) == 0; }
bool operator!=(const CVLString& a, const char* b) { return a.Compare(b) != 0; }
bool operator<(const CVLString& a, const char* b) { return a.Compare(b) < 0; }
bool operator<=(const CVLString& a, const char* b) { return a.Compare(b) <= 0; }
bool operator>(const CVLString& a, const char* b) { return a.Compare(b) > 0; }
bool operator>=(const CVLString& a, const char* b) { return a.Compare(b) >= 0; }
bool operator==(const char* a, const CVLString& b) { return b.Compare(a) == 0; }
bool operator!=(const char* a, const CVLString& b) { return b.Compare(a) != 0; }
bool operator<(const char* a, const CVLString& b) { return b.Compare(a) > 0; }
bool operator<=(const char* a, const CVLString& b) { return b.Compare(a) >= 0; }
bool operator>(const char* a, const CVLString& b) { return b.Compare(a) < 0; }
bool operator>=(const char* a, const CVLString& b) { return b.Compare(a) <= 0; }
// clang-format on
