#include "base/stream/VLEasyEncryptionFileStream.h"

#include <algorithm>
#include <climits>

#include "base/core/VLExceptionOwner.h"
#include "base/core/VLIOException.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLOpenException.h"
#include "base/core/VLRandom.h"
#include "base/core/VLStdRuntime.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLThreadSync.h"

static const char* const s_szFile = "VLEasyEncryptionFileStream";
static const char* const s_szType = "VLEEFile";
static const VL_BYTE s_Magic[4] = {'V', 'L', 'E', 'E'};
static const VL_BYTE s_nVersion = 0x31;
static const VL_SIZE_T s_nChunk = 1024;

// ---------------------------------------------------------------------------
// Key material. These values define the file format: every file written with
// them must stay readable by every later build, so they must NEVER change.
//
// Entry k of the key table (6 bytes) is built as follows:
//   bytes 0-2: s_KeyPiece (the same for every entry);
//   byte 3 + j (j = 0, 1, 2):
//       s_KeyBytes[s_KeyByteRows[j]][ s_KeyColumns[s_KeyColumnRows[j]][k] ]
// The pair routine uses only bytes 4 and 5: byte 4 masks the first byte of a
// pair, byte 5 the second, and (byte 5 AND 15) picks the pair's 16-bit
// left-rotation count from s_Rotation.
// ---------------------------------------------------------------------------
static const VL_BYTE s_KeyPiece[3] = {0x56, 0x4C, 0x45};
static const VL_BYTE s_KeyBytes[3][8] = {
    {0x3A, 0xC5, 0x17, 0x9E, 0x62, 0xD8, 0x4B, 0xF1},
    {0xA7, 0x2C, 0xE9, 0x53, 0x8F, 0x16, 0xBD, 0x74},
    {0x6E, 0x93, 0x25, 0xCA, 0x01, 0xF8, 0x5D, 0xB4},
};
static const int s_KeyColumns[3][8] = {
    {3, 6, 0, 5, 2, 7, 1, 4},
    {5, 1, 7, 3, 6, 0, 4, 2},
    {1, 4, 6, 0, 7, 2, 5, 3},
};
static const int s_KeyByteRows[3] = {2, 0, 1};
static const int s_KeyColumnRows[3] = {1, 2, 0};
// Left-rotation counts (0-15) of a pair, indexed by key byte 5 AND 15.
static const VL_ULONG s_Rotation[16] = {5, 11, 3, 13, 7, 1, 9, 14, 2, 12, 6, 10, 4, 15, 3, 9};

namespace {

VL_BYTE (&KeyTable())[8][6]
{
    static VL_BYTE s_Table[8][6];
    return s_Table;
}

CVLThreadSync& KeySync()
{
    static CVLThreadSync s_Sync;
    return s_Sync;
}

bool s_bKeyTableDone = false;

inline uint16_t Rotl16(uint16_t w, unsigned r)
{
    r &= 15;
    return r == 0 ? w : static_cast<uint16_t>((w << r) | (w >> (16 - r)));
}

inline uint16_t Rotr16(uint16_t w, unsigned r)
{
    r &= 15;
    return r == 0 ? w : static_cast<uint16_t>((w >> r) | (w << (16 - r)));
}

VL_BYTE RandomByte()
{
    return static_cast<VL_BYTE>(CVLRandom::GetRandom() & 0xFF);
}

[[noreturn]] void ThrowIO(int nLine)
{
    throw new EVLIOException(VLSTD_MODULE, s_szFile, nLine, s_szType, 0);
}

}  // namespace

bool VLScrambleBytePairs(bool bEncode, VL_BYTE* pOut, VL_SIZE_T* pOutSize, const VL_BYTE* pIn, VL_SIZE_T nInSize,
                         const VL_BYTE* pKey)
{
    if (pOutSize == nullptr || pIn == nullptr || pKey == nullptr || nInSize == 0)
        return false;
    if (!bEncode && (nInSize & 1) != 0)
        return false;
    VL_SIZE_T nPairs = nInSize / 2 + (nInSize & 1);
    VL_SIZE_T nNeeded = nPairs * 2;
    if (pOut == nullptr) {
        *pOutSize = bEncode ? nNeeded : nInSize;
        return false;
    }
    if (*pOutSize < nNeeded)
        return false;
    const VL_BYTE k4 = pKey[4];
    const VL_BYTE k5 = pKey[5];
    const unsigned r = static_cast<unsigned>(s_Rotation[k5 & 15]);
    for (VL_SIZE_T i = 0; i < nPairs; ++i) {
        VL_SIZE_T j = 2 * i;
        if (bEncode) {
            VL_BYTE a = static_cast<VL_BYTE>(pIn[j] ^ k4);
            VL_BYTE b = (j + 1 < nInSize) ? static_cast<VL_BYTE>(pIn[j + 1] ^ k5) : 0;
            uint16_t w = Rotl16(static_cast<uint16_t>(a | (b << 8)), r);
            pOut[j] = static_cast<VL_BYTE>(w & 0xFF);
            pOut[j + 1] = static_cast<VL_BYTE>(w >> 8);
        } else {
            uint16_t w = Rotr16(static_cast<uint16_t>(pIn[j] | (pIn[j + 1] << 8)), r);
            pOut[j] = static_cast<VL_BYTE>((w & 0xFF) ^ k4);
            pOut[j + 1] = static_cast<VL_BYTE>((w >> 8) ^ k5);
        }
    }
    return true;
}

void CVLEasyEncryptionFileStream::BuildKeyTable()
{
    CVLThreadLock guard(&KeySync());
    if (!guard.Lock() || s_bKeyTableDone)
        return;
    VL_BYTE (&table)[8][6] = KeyTable();
    for (int k = 0; k < KEY_COUNT; ++k) {
        VLStdMemcpy(table[k], s_KeyPiece, 3);
        for (int j = 0; j < 3; ++j)
            table[k][3 + j] = s_KeyBytes[s_KeyByteRows[j]][s_KeyColumns[s_KeyColumnRows[j]][k]];
    }
    s_bKeyTableDone = true;
}

const VL_BYTE* CVLEasyEncryptionFileStream::GetKeyEntry(int nIndex)
{
    if (nIndex < 0 || nIndex >= KEY_COUNT)
        return nullptr;
    BuildKeyTable();
    return KeyTable()[nIndex];
}

CVLEasyEncryptionFileStream::CVLEasyEncryptionFileStream()
    : m_nMode(0),
      m_nKeyIndex(-1),
      m_nCurrentKeyIndex(-1),
      m_nPosition(0),
      m_nSize(0),
      m_bPending(false),
      m_nPendingByte(0)
{
    BuildKeyTable();
}

CVLEasyEncryptionFileStream::~CVLEasyEncryptionFileStream()
{
    try {
        CVLEasyEncryptionFileStream::Close();
    } catch (...) {
        ReleaseCurrentException();
    }
    try {
        CVLFileStream::Close();
    } catch (...) {
        ReleaseCurrentException();
    }
}

CVLString CVLEasyEncryptionFileStream::GetClassName() const
{
    return CVLString("CVLEasyEncryptionFileStream", VL_CHARSET_UTF8);
}

void CVLEasyEncryptionFileStream::Open(VL_OPEN_MODE eMode)
{
    if (eMode == VL_OPEN_READ)
        OpenForRead();
    else if (eMode == VL_OPEN_WRITE)
        OpenForWrite();
    else
        throw new EVLOpenException(VLSTD_MODULE, s_szFile, __LINE__, s_szType, 0);
}

bool CVLEasyEncryptionFileStream::IsOpen()
{
    return CVLFileStream::IsOpen();
}

void CVLEasyEncryptionFileStream::Close()
{
    try {
        if (CVLFileStream::IsOpen() && m_nMode == 1)
            WriteTrailer();
    } catch (...) {
        try {
            CVLFileStream::Close();
        } catch (EVLException* e) {
            e->Delete();
        }
        Reset();
        throw;
    }
    CVLFileStream::Close();
    Reset();
}

VL_SIZE_T CVLEasyEncryptionFileStream::Read(VL_BYTE* pBuffer, VL_SIZE_T nBufferSize)
{
    if (pBuffer == nullptr || nBufferSize < 1)
        throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, __LINE__);
    if (m_nMode != 0)
        ThrowIO(__LINE__);
    if (m_nPosition >= m_nSize)
        return 0;
    VL_SIZE_T nCount = std::min(nBufferSize, static_cast<VL_SIZE_T>(m_nSize - m_nPosition));
    VL_SIZE_T nRead = ReadData(pBuffer, nCount);
    m_nPosition += static_cast<int>(nRead);
    Seek(static_cast<VL_SIZE_T>(m_nPosition));
    return nRead;
}

void CVLEasyEncryptionFileStream::Write(const VL_BYTE* pBuffer, VL_SIZE_T nBufferSize)
{
    if (pBuffer == nullptr || nBufferSize < 1)
        throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, __LINE__);
    if (m_nMode != 1)
        ThrowIO(__LINE__);
    if (nBufferSize > static_cast<VL_SIZE_T>(INT_MAX - m_nPosition))
        ThrowIO(__LINE__);
    VL_SIZE_T nDone = 0;
    // Complete the pair begun by the previous odd-length Write.
    if (m_bPending) {
        VL_BYTE pair[2] = {m_nPendingByte, pBuffer[0]};
        WriteData(pair, 2);
        m_bPending = false;
        nDone = 1;
    }
    VL_SIZE_T nRest = nBufferSize - nDone;
    VL_SIZE_T nEven = nRest & ~static_cast<VL_SIZE_T>(1);
    if (nEven > 0)
        WriteData(pBuffer + nDone, nEven);
    if (nRest & 1) {
        m_nPendingByte = pBuffer[nDone + nEven];
        m_bPending = true;
    }
    m_nPosition += static_cast<int>(nBufferSize);
    if (m_nPosition > m_nSize)
        m_nSize = m_nPosition;
}

void CVLEasyEncryptionFileStream::Flush()
{
    CVLFileStream::Flush();
}

void CVLEasyEncryptionFileStream::Seek(VL_SIZE_T nPosition)
{
    if (m_nMode != 0 || nPosition > static_cast<VL_SIZE_T>(m_nSize))
        ThrowIO(__LINE__);
    VL_SIZE_T nFileOffset = (nPosition & ~static_cast<VL_SIZE_T>(1)) + HEADER_SIZE;
    CVLFileStream::Seek(nFileOffset);
    m_nPosition = static_cast<int>(nPosition);
}

VL_SIZE_T CVLEasyEncryptionFileStream::GetSize()
{
    return static_cast<VL_SIZE_T>(m_nSize);
}

void CVLEasyEncryptionFileStream::Clear()
{
    try {
        CVLFileStream::Clear();
    } catch (...) {
        ReleaseCurrentException();
    }
    Reset();
}

VL_CONST_STR CVLEasyEncryptionFileStream::GetTypeName() const
{
    return s_szType;
}

void CVLEasyEncryptionFileStream::Destroy()
{
    delete this;
}

void CVLEasyEncryptionFileStream::SetKeyIndex(int nIndex)
{
    m_nKeyIndex = nIndex;
}

int CVLEasyEncryptionFileStream::GetKeyIndex()
{
    return m_nKeyIndex;
}

int CVLEasyEncryptionFileStream::GetCurrentKeyIndex()
{
    return m_nCurrentKeyIndex;
}

void CVLEasyEncryptionFileStream::OpenForRead()
{
    CVLFileStream::Open(VL_OPEN_READ);
    VL_SIZE_T nFileSize = CVLFileStream::GetSize();
    if (nFileSize < HEADER_SIZE + TRAILER_SIZE)
        ThrowIO(__LINE__);
    ReadHeader();
    ReadTrailer();
    m_nMode = 0;
}

void CVLEasyEncryptionFileStream::OpenForWrite()
{
    // A requested index outside the table is refused before anything is touched.
    if (m_nKeyIndex != -1 && (m_nKeyIndex < 0 || m_nKeyIndex >= KEY_COUNT))
        throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, __LINE__);
    Clear();
    CVLFileStream::Open(VL_OPEN_WRITE);
    m_nCurrentKeyIndex = m_nKeyIndex == -1 ? CVLRandom::GetRandom() % KEY_COUNT : m_nKeyIndex;
    WriteHeader();
    m_nMode = 1;
}

void CVLEasyEncryptionFileStream::ReadHeader()
{
    CVLFileStream::Seek(0);
    VL_BYTE header[HEADER_SIZE];
    if (CVLFileStream::Read(header, HEADER_SIZE) < HEADER_SIZE)
        ThrowIO(__LINE__);
    if (VLStdMemcmp(header, s_Magic, 4) != 0)
        ThrowIO(__LINE__);
    if (header[4] != s_nVersion)
        ThrowIO(__LINE__);
    // The key index is the inverse of byte 7, taken unsigned.
    unsigned nKey = static_cast<VL_BYTE>(~header[7]);
    if (nKey >= KEY_COUNT)
        ThrowIO(__LINE__);
    m_nCurrentKeyIndex = static_cast<int>(nKey);
    Seek(static_cast<VL_SIZE_T>(m_nPosition));
}

void CVLEasyEncryptionFileStream::ReadTrailer()
{
    VL_SIZE_T nFileSize = CVLFileStream::GetSize();
    CVLFileStream::Seek(nFileSize - TRAILER_SIZE);
    VL_BYTE trailer[TRAILER_SIZE];
    if (CVLFileStream::Read(trailer, TRAILER_SIZE) < TRAILER_SIZE)
        ThrowIO(__LINE__);
    VL_SIZE_T nBody = nFileSize - HEADER_SIZE - TRAILER_SIZE;
    // The body holds whole pairs; a size that does not fit in the plain
    // data's counts cannot be a file of ours.
    if ((nBody & 1) != 0 || nBody > static_cast<VL_SIZE_T>(INT_MAX))
        ThrowIO(__LINE__);
    long long nSize = static_cast<long long>(nBody) - (trailer[0] & 1);
    if (nSize < 0)
        ThrowIO(__LINE__);
    m_nSize = static_cast<int>(nSize);
    Seek(static_cast<VL_SIZE_T>(m_nPosition));
}

VL_SIZE_T CVLEasyEncryptionFileStream::ReadData(VL_BYTE* pBuffer, VL_SIZE_T nCount)
{
    VL_SIZE_T nHead = static_cast<VL_SIZE_T>(m_nPosition) & 1;
    VL_SIZE_T nTail = (static_cast<VL_SIZE_T>(m_nPosition) + nCount) & 1;
    if (nCount == 1 && nHead == 1) {
        // One byte at an odd position: the second byte of its pair.
        ReadPairByte(pBuffer, false);
        return 1;
    }
    VL_SIZE_T nMiddle = nCount - nHead - nTail;
    VL_SIZE_T nDone = 0;
    if (nHead == 1) {
        ReadPairByte(pBuffer, false);
        nDone = 1;
    }
    if (nMiddle >= 2) {
        ReadPairs(pBuffer + nDone, nMiddle);
        nDone += nMiddle;
    }
    if (nTail == 1) {
        ReadPairByte(pBuffer + nDone, true);
        nDone += 1;
    }
    return nDone;
}

VL_SIZE_T CVLEasyEncryptionFileStream::ReadPairs(VL_BYTE* pBuffer, VL_SIZE_T nCount)
{
    const VL_BYTE* pKey = GetKeyEntry(m_nCurrentKeyIndex);
    if (pKey == nullptr)
        ThrowIO(__LINE__);
    VL_BYTE chunk[s_nChunk];
    VL_SIZE_T nDone = 0;
    while (nDone < nCount) {
        VL_SIZE_T nWant = std::min(s_nChunk, nCount - nDone);
        VL_SIZE_T nRead = CVLFileStream::Read(chunk, nWant);
        if (nRead == 0 || (nRead & 1) != 0 || nRead > nWant)
            ThrowIO(__LINE__);
        VL_SIZE_T nOut = nRead;
        if (!VLScrambleBytePairs(false, pBuffer + nDone, &nOut, chunk, nRead, pKey))
            ThrowIO(__LINE__);
        nDone += nRead;
    }
    return nCount;
}

void CVLEasyEncryptionFileStream::ReadPairByte(VL_BYTE* pByte, bool bFirst)
{
    const VL_BYTE* pKey = GetKeyEntry(m_nCurrentKeyIndex);
    if (pKey == nullptr)
        ThrowIO(__LINE__);
    VL_BYTE in[2];
    VL_BYTE out[2];
    if (CVLFileStream::Read(in, 2) < 2)
        ThrowIO(__LINE__);
    VL_SIZE_T nOut = 2;
    if (!VLScrambleBytePairs(false, out, &nOut, in, 2, pKey))
        ThrowIO(__LINE__);
    *pByte = bFirst ? out[0] : out[1];
}

void CVLEasyEncryptionFileStream::WriteHeader()
{
    VL_BYTE header[HEADER_SIZE];
    VLStdMemcpy(header, s_Magic, 4);
    header[4] = s_nVersion;
    header[5] = RandomByte();
    int r1 = CVLRandom::GetRandom();
    int r2 = CVLRandom::GetRandom();
    VL_BYTE x = static_cast<VL_BYTE>((static_cast<unsigned>(r1) * static_cast<unsigned>(r2)) & 0xFF);
    header[6] = x;
    header[7] = static_cast<VL_BYTE>(~static_cast<unsigned>(m_nCurrentKeyIndex));
    VL_BYTE y = static_cast<VL_BYTE>(~RandomByte());
    header[8] = y;
    header[9] = static_cast<VL_BYTE>(x ^ y);
    CVLFileStream::Write(header, HEADER_SIZE);
}

void CVLEasyEncryptionFileStream::WriteTrailer()
{
    if (m_bPending) {
        // The held-back last byte, padded to a pair.
        m_bPending = false;
        WriteData(&m_nPendingByte, 1);
    }
    VL_BYTE trailer[TRAILER_SIZE];
    trailer[0] = MakeTrailerByte();
    trailer[1] = RandomByte();
    CVLFileStream::Write(trailer, TRAILER_SIZE);
}

void CVLEasyEncryptionFileStream::WriteData(const VL_BYTE* pBuffer, VL_SIZE_T nCount)
{
    const VL_BYTE* pKey = GetKeyEntry(m_nCurrentKeyIndex);
    if (pKey == nullptr)
        ThrowIO(__LINE__);
    VL_BYTE chunk[s_nChunk];
    VL_SIZE_T nDone = 0;
    while (nDone < nCount) {
        VL_SIZE_T n = std::min(s_nChunk, nCount - nDone);
        VL_SIZE_T nOut = (n + 1) & ~static_cast<VL_SIZE_T>(1);
        if (!VLScrambleBytePairs(true, chunk, &nOut, pBuffer + nDone, n, pKey))
            ThrowIO(__LINE__);
        CVLFileStream::Write(chunk, nOut);
        nDone += n;
    }
}

VL_BYTE CVLEasyEncryptionFileStream::MakeTrailerByte()
{
    int nRandom = CVLRandom::GetRandom() % 50;
    return static_cast<VL_BYTE>((12 - (m_nSize & 1) + 2 * nRandom) & 0xFF);
}

void CVLEasyEncryptionFileStream::Reset()
{
    m_nMode = 0;
    m_nPosition = 0;
    m_nSize = 0;
    m_bPending = false;
}
