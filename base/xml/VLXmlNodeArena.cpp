#include "base/xml/VLXmlNodeArena.h"

#include <cstdlib>
#include <new>

#include "base/xml/VLXmlNode.h"

namespace {

const std::size_t kFirstChunk = 16 * 1024;
const std::size_t kMaxChunk = 1024 * 1024;

thread_local bool t_bSweeping = false;

}  // namespace

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
    while (m_pChunks != nullptr) {
        Chunk* p = m_pChunks;
        m_pChunks = p->pNext;
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
    Chunk* pChunk = static_cast<Chunk*>(std::malloc(nBytes));
    if (pChunk == nullptr)
        throw std::bad_alloc();
    pChunk->pNext = m_pChunks;
    m_pChunks = pChunk;
    m_pNext = reinterpret_cast<char*>(pChunk) + nHeader;
    m_nLeft = nBytes - nHeader;
    if (m_nNextChunk < kMaxChunk)
        m_nNextChunk *= 2;
}
