#include "base/xml/VLXmlNodeArena.h"

#include <cstdlib>
#include <new>

#include "base/xml/VLXmlNode.h"

namespace {

const std::size_t kFirstChunk = 16 * 1024;
const std::size_t kMaxChunk = 1024 * 1024;
// The chunks a thread keeps from the arenas it reset, for its next documents
// (the C library would hand such memory back to the system at once, and the
// next document would touch it afresh, page by page), in bytes at most.
const std::size_t kMaxCachedBytes = 16 * 1024 * 1024;

thread_local bool t_bSweeping = false;
thread_local bool t_bCacheGone = false;

}  // namespace

class CVLXmlNodeArena::CChunkCache
{
public:
    CChunkCache() {}
    ~CChunkCache()
    {
        t_bCacheGone = true;  // arenas reset later at thread exit free directly
        while (m_pFirst != nullptr) {
            Chunk* p = m_pFirst;
            m_pFirst = p->pNext;
            std::free(p);
        }
    }
    CChunkCache(const CChunkCache&) = delete;
    CChunkCache& operator=(const CChunkCache&) = delete;

    // Keeps the chunk, or frees it when the cache is full.
    void Put(Chunk* p) noexcept
    {
        if (m_nBytes + p->nBytes > kMaxCachedBytes) {
            std::free(p);
            return;
        }
        p->pNext = m_pFirst;
        m_pFirst = p;
        m_nBytes += p->nBytes;
    }
    // A kept chunk of at least nBytes, or null.
    Chunk* Take(std::size_t nBytes) noexcept
    {
        for (Chunk** pp = &m_pFirst; *pp != nullptr; pp = &(*pp)->pNext) {
            Chunk* p = *pp;
            if (p->nBytes >= nBytes) {
                *pp = p->pNext;
                m_nBytes -= p->nBytes;
                return p;
            }
        }
        return nullptr;
    }

private:
    Chunk* m_pFirst = nullptr;
    std::size_t m_nBytes = 0;
};

CVLXmlNodeArena::CChunkCache* CVLXmlNodeArena::Cache() noexcept
{
    thread_local CChunkCache t_Cache;
    return t_bCacheGone ? nullptr : &t_Cache;
}

CVLXmlNodeArena::CVLXmlNodeArena()
    : m_pChunks(nullptr)
    , m_pFirstIndex(nullptr)
    , m_pLastIndex(nullptr)
    , m_pNext(nullptr)
    , m_nLeft(0)
    , m_nNextChunk(kFirstChunk)
{
}

CVLXmlNodeArena::~CVLXmlNodeArena()
{
    Reset();
}

void CVLXmlNodeArena::Reset() noexcept
{
    CChunkCache* pCache = m_pChunks != nullptr ? Cache() : nullptr;
    while (m_pChunks != nullptr) {
        Chunk* p = m_pChunks;
        m_pChunks = p->pNext;
        if (pCache != nullptr)
            pCache->Put(p);
        else
            std::free(p);
    }
    m_pFirstIndex = nullptr;
    m_pLastIndex = nullptr;
    m_pNext = nullptr;
    m_nLeft = 0;
    m_nNextChunk = kFirstChunk;
}

void CVLXmlNodeArena::GrowIndex()
{
    IndexBlock* pBlock = static_cast<IndexBlock*>(Allocate(sizeof(IndexBlock)));
    pBlock->pPrev = m_pLastIndex;
    pBlock->nUsed = 0;
    if (m_pFirstIndex == nullptr)
        m_pFirstIndex = pBlock;
    m_pLastIndex = pBlock;
}

bool CVLXmlNodeArena::IsSweeping() noexcept
{
    return t_bSweeping;
}

CVLXmlNodeArena::CSweep::CSweep() : m_bOuter(t_bSweeping)
{
    t_bSweeping = true;
}

CVLXmlNodeArena::CSweep::~CSweep()
{
    t_bSweeping = m_bOuter;
}

void CVLXmlNodeArena::DeleteNodes() noexcept
{
    const bool bOuter = t_bSweeping;
    t_bSweeping = true;
    // A node is placed before its children: going backwards, they are dead
    // when it is deleted, and its lists pass over them.
    for (IndexBlock* pBlock = m_pLastIndex; pBlock != nullptr; pBlock = pBlock->pPrev) {
        for (std::size_t i = pBlock->nUsed; i-- > 0;) {
            IVLXmlNode* pNode = pBlock->nodes[i];
            if (!IsDead(pNode))
                pNode->Delete();
        }
        pBlock->nUsed = 0;
    }
    t_bSweeping = bOuter;
}

void CVLXmlNodeArena::Grow(std::size_t nSize)
{
    const std::size_t nHeader = (sizeof(Chunk) + kAlign - 1) & ~(kAlign - 1);
    std::size_t nBytes = m_nNextChunk;
    if (nBytes < nHeader + nSize)
        nBytes = nHeader + nSize;
    CChunkCache* pCache = Cache();
    Chunk* pChunk = pCache != nullptr ? pCache->Take(nBytes) : nullptr;
    if (pChunk != nullptr) {
        nBytes = pChunk->nBytes;
    } else {
        pChunk = static_cast<Chunk*>(std::malloc(nBytes));
        if (pChunk == nullptr)
            throw std::bad_alloc();
        pChunk->nBytes = nBytes;
    }
    pChunk->pNext = m_pChunks;
    m_pChunks = pChunk;
    m_pNext = reinterpret_cast<char*>(pChunk) + nHeader;
    m_nLeft = nBytes - nHeader;
    if (m_nNextChunk < kMaxChunk)
        m_nNextChunk *= 2;
}
