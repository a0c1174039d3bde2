#include "VLXmlNodeArena.h"

#include <cstdlib>
#include <new>

namespace {

const std::size_t kFirstChunk = 16 * 1024;
const std::size_t kMaxChunk = 1024 * 1024;

}  // namespace

CVLXmlNodeArena::CVLXmlNodeArena() : m_pChunks(nullptr), m_pNext(nullptr), m_nLeft(0), m_nNextChunk(kFirstChunk)
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
    m_pNext = nullptr;
    m_nLeft = 0;
    m_nNextChunk = kFirstChunk;
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
