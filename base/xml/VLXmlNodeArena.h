// The memory of the nodes that a document reads: carved one after the other
// from large chunks that are all freed at once when the document is cleared
// for the next read or destroyed. Such a node only runs its destructor when
// it is deleted; its memory stays with the arena. Used by one document (and
// so by one thread at a time) only.
#ifndef VLXMLNODEARENA_H
#define VLXMLNODEARENA_H

#include <cstddef>

class CVLXmlNodeArena
{
public:
    CVLXmlNodeArena();
    ~CVLXmlNodeArena();

    // nSize bytes aligned for any node; throws std::bad_alloc.
    void* Allocate(std::size_t nSize)
    {
        nSize = (nSize + kAlign - 1) & ~(kAlign - 1);
        if (nSize > m_nLeft)
            Grow(nSize);
        void* p = m_pNext;
        m_pNext += nSize;
        m_nLeft -= nSize;
        return p;
    }
    // Frees every chunk; only when no node of the arena is alive.
    void Reset() noexcept;

private:
    CVLXmlNodeArena(const CVLXmlNodeArena&) = delete;
    CVLXmlNodeArena& operator=(const CVLXmlNodeArena&) = delete;
    void Grow(std::size_t nSize);

    static const std::size_t kAlign = alignof(std::max_align_t);
    struct Chunk
    {
        Chunk* pNext;
    };
    Chunk* m_pChunks;
    char* m_pNext;
    std::size_t m_nLeft;
    std::size_t m_nNextChunk;
};

#endif
