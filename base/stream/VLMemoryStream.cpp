#include "base/stream/VLMemoryStream.h"

#include <algorithm>
#include <climits>
#include <new>

#include "base/core/VLIOException.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLOpenException.h"
#include "base/core/VLStdRuntime.h"

static const char* const s_szFile = "VLMemoryStream";
// Throw-site codes: fixed numbers that identify each site in traces and
// results; they are not line numbers and never change.
const int kSiteOpenMode = 90;
const int kSiteReadClosed = 120;
const int kSiteReadEmpty = 125;
const int kSiteReadWriteOnly = 131;
const int kSiteWriteClosed = 185;
const int kSiteWriteReadOnly = 192;
const int kSiteSeekClosed = 254;
const int kSiteSeekWriteOnly = 260;
const int kSiteSeekEmpty = 266;
const int kSiteSeekBeyondEnd = 272;
const int kSiteSeekBlocks = 300;
const int kSiteAllocateBlock = 355;
const int kSiteAllocateBlockData = 384;
static const char* const s_szPath = "Memory";

CVLMemoryStream::CVLMemoryStream()
    : m_pHead(nullptr),
      m_pTail(nullptr),
      m_nTailUsed(0),
      m_pReadBlock(nullptr),
      m_nReadOffset(0),
      m_nBlockSize(256),
      m_nTotalSize(0),
      m_nMode(2),
      m_bOpen(false)
{
}

CVLMemoryStream::~CVLMemoryStream()
{
    m_bOpen = false;
    CVLMemoryStream::FreeBlocks();
}

CVLString CVLMemoryStream::GetClassName() const
{
    return CVLString("CVLMemoryStream", VL_CHARSET_UTF8);
}

void CVLMemoryStream::Open(VL_OPEN_MODE eMode)
{
    try {
        int nMode = static_cast<int>(eMode);
        switch (nMode) {
        case VL_OPEN_READ:
        case VL_OPEN_READ_PLUS:
            m_pReadBlock = m_pHead;
            m_nReadOffset = 0;
            break;
        case VL_OPEN_WRITE:
        case VL_OPEN_WRITE_PLUS:
            FreeBlocks();
            break;
        case VL_OPEN_APPEND:
            break;
        default:
            throw new EVLOpenException(VLSTD_MODULE, s_szFile, kSiteOpenMode, s_szPath, 0);
        }
        m_nMode = nMode;
        m_bOpen = true;
    }
    VL_CATCH_LADDER(VLSTD_MODULE, s_szFile)
}

bool CVLMemoryStream::IsOpen()
{
    return m_bOpen;
}

void CVLMemoryStream::Close()
{
    m_bOpen = false;
}

static bool CanRead(int nMode)
{
    return nMode == VL_OPEN_READ || nMode == VL_OPEN_READ_PLUS || nMode == VL_OPEN_WRITE_PLUS;
}

VL_SIZE_T CVLMemoryStream::Read(VL_BYTE* pBuffer, VL_SIZE_T nBufferSize)
{
    try {
        if (!m_bOpen)
            throw new EVLOpenException(VLSTD_MODULE, s_szFile, kSiteReadClosed, s_szPath, 0);
        if (m_pHead == nullptr)
            throw new EVLIOException(VLSTD_MODULE, s_szFile, kSiteReadEmpty, s_szPath, 0);
        if (!CanRead(m_nMode))
            throw new EVLIOException(VLSTD_MODULE, s_szFile, kSiteReadWriteOnly, s_szPath, 0);
        if (nBufferSize > 0 && pBuffer == nullptr)
            throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, __LINE__);
        VL_SIZE_T nDone = 0;
        while (nDone < nBufferSize && m_pReadBlock != nullptr) {
            int nFill = (m_pReadBlock == m_pTail) ? m_nTailUsed : m_pReadBlock->nSize;
            int nAvail = nFill - m_nReadOffset;
            if (nAvail <= 0) {
                if (m_pReadBlock->pNext == nullptr)
                    break;  // stay at the end of the data
                m_pReadBlock = m_pReadBlock->pNext;
                m_nReadOffset = 0;
                continue;
            }
            VL_SIZE_T n = std::min(nBufferSize - nDone, static_cast<VL_SIZE_T>(nAvail));
            VLStdMemcpy(pBuffer + nDone, m_pReadBlock->pData + m_nReadOffset, n);
            m_nReadOffset += static_cast<int>(n);
            nDone += n;
        }
        return nDone;
    }
    VL_CATCH_LADDER(VLSTD_MODULE, s_szFile)
}

void CVLMemoryStream::Write(const VL_BYTE* pBuffer, VL_SIZE_T nBufferSize)
{
    try {
        if (!m_bOpen)
            throw new EVLOpenException(VLSTD_MODULE, s_szFile, kSiteWriteClosed, s_szPath, 0);
        if (m_nMode == VL_OPEN_READ)
            throw new EVLIOException(VLSTD_MODULE, s_szFile, kSiteWriteReadOnly, s_szPath, 0);
        if (nBufferSize == 0)
            return;
        if (pBuffer == nullptr)
            throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, __LINE__);
        if (nBufferSize > static_cast<VL_SIZE_T>(INT_MAX - m_nTotalSize))
            throw new EVLIOException(VLSTD_MODULE, s_szFile, __LINE__, s_szPath, 0);
        int nLength = static_cast<int>(nBufferSize);
        if (m_pTail == nullptr) {
            VLMemoryBlock* pBlock = AllocateBlock(nLength, nullptr);
            m_pHead = m_pTail = m_pReadBlock = pBlock;
            m_nReadOffset = 0;
            VLStdMemcpy(pBlock->pData, pBuffer, nBufferSize);
            m_nTailUsed = nLength;
            m_nTotalSize += nLength;
            return;
        }
        int nRoom = m_pTail->nSize - m_nTailUsed;
        int nFirst = std::min(nRoom, nLength);
        if (nFirst > 0) {
            VLStdMemcpy(m_pTail->pData + m_nTailUsed, pBuffer, static_cast<size_t>(nFirst));
            m_nTailUsed += nFirst;
            m_nTotalSize += nFirst;
        }
        int nRest = nLength - nFirst;
        if (nRest > 0) {
            VLMemoryBlock* pBlock = AllocateBlock(nRest, m_pTail);
            m_pTail = pBlock;
            VLStdMemcpy(pBlock->pData, pBuffer + nFirst, static_cast<size_t>(nRest));
            m_nTailUsed = nRest;
            m_nTotalSize += nRest;
        }
    }
    VL_CATCH_LADDER(VLSTD_MODULE, s_szFile)
}

void CVLMemoryStream::Flush()
{
}

void CVLMemoryStream::Seek(VL_SIZE_T nPosition)
{
    try {
        if (!m_bOpen)
            throw new EVLOpenException(VLSTD_MODULE, s_szFile, kSiteSeekClosed, s_szPath, 0);
        if (!CanRead(m_nMode))
            throw new EVLIOException(VLSTD_MODULE, s_szFile, kSiteSeekWriteOnly, s_szPath, 0);
        if (m_pHead == nullptr && nPosition > 0)
            throw new EVLIOException(VLSTD_MODULE, s_szFile, kSiteSeekEmpty, s_szPath, 0);
        if (nPosition > static_cast<VL_SIZE_T>(m_nTotalSize))
            throw new EVLIOException(VLSTD_MODULE, s_szFile, kSiteSeekBeyondEnd, s_szPath, 0);
        int nPos = static_cast<int>(nPosition);
        int nBefore = 0;
        for (VLMemoryBlock* p = m_pHead; p != nullptr; p = p->pNext) {
            if (nBefore + p->nSize >= nPos) {
                m_pReadBlock = p;
                m_nReadOffset = nPos - nBefore;
                return;
            }
            nBefore += p->nSize;
        }
        if (nBefore < nPos)
            throw new EVLIOException(VLSTD_MODULE, s_szFile, kSiteSeekBlocks, s_szPath, 0);
        m_pReadBlock = m_pHead;
        m_nReadOffset = 0;
    }
    VL_CATCH_LADDER(VLSTD_MODULE, s_szFile)
}

VL_SIZE_T CVLMemoryStream::GetSize()
{
    return static_cast<VL_SIZE_T>(m_nTotalSize);
}

void CVLMemoryStream::Clear()
{
    try {
        Close();
        FreeBlocks();
    }
    VL_CATCH_LADDER(VLSTD_MODULE, s_szFile)
}

VL_CONST_STR CVLMemoryStream::GetTypeName() const
{
    return "Memory";
}

void CVLMemoryStream::Destroy()
{
    delete this;
}

void CVLMemoryStream::Allocate(int nSize)
{
    try {
        FreeBlocks();
        VLMemoryBlock* pBlock = AllocateBlock(nSize, nullptr);
        m_pHead = m_pTail = pBlock;
        m_nTailUsed = 0;
    }
    VL_CATCH_LADDER(VLSTD_MODULE, s_szFile)
}

int CVLMemoryStream::GetCapacity()
{
    long long nSum = 0;
    for (VLMemoryBlock* p = m_pHead; p != nullptr; p = p->pNext)
        nSum += p->nSize;
    return nSum > INT_MAX ? INT_MAX : static_cast<int>(nSum);
}

CVLMemoryStream* CVLMemoryStream::SetBlockSize(int nSize)
{
    m_nBlockSize = nSize;
    return this;
}

VLMemoryBlock* CVLMemoryStream::AllocateBlock(int nSize, VLMemoryBlock* pPrev)
{
    VLMemoryBlock* pBlock = new (std::nothrow) VLMemoryBlock;
    if (pBlock == nullptr)
        throw new EVLMemoryAllocException(VLSTD_MODULE, s_szFile, kSiteAllocateBlock);
    int nBytes = std::max(std::max(m_nBlockSize, nSize), 1);
    pBlock->pNext = nullptr;
    pBlock->nSize = nBytes;
    pBlock->pData = new (std::nothrow) VL_BYTE[static_cast<size_t>(nBytes)];
    if (pBlock->pData == nullptr) {
        delete pBlock;
        throw new EVLMemoryAllocException(VLSTD_MODULE, s_szFile, kSiteAllocateBlockData);
    }
    if (pPrev != nullptr)
        pPrev->pNext = pBlock;
    return pBlock;
}

void CVLMemoryStream::FreeBlocks()
{
    VLMemoryBlock* p = m_pHead;
    while (p != nullptr) {
        VLMemoryBlock* pNext = p->pNext;
        delete[] p->pData;
        delete p;
        p = pNext;
    }
    m_pHead = m_pTail = m_pReadBlock = nullptr;
    m_nTailUsed = 0;
    m_nReadOffset = 0;
    m_nTotalSize = 0;
}
