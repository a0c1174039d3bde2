// The memory of the nodes that a document reads: carved one after the other
// from large chunks that are all freed at once when the document is cleared
// for the next read or destroyed. Such a node only runs its destructor when
// it is deleted (and then marks its memory as dead); the memory stays with
// the arena. Used by one document (and so by one thread at a time) only.
//
// The arena keeps the nodes in the order they were placed, so that a whole
// tree is deleted in one pass through memory rather than along its links:
// while DeleteNodes runs, a list leaves its arena nodes to it.
#ifndef VLXMLNODEARENA_H
#define VLXMLNODEARENA_H

#include <cstddef>
#include <cstring>

class IVLXmlNode;

class CVLXmlNodeArena
{
public:
    CVLXmlNodeArena();
    ~CVLXmlNodeArena();

    // nSize bytes aligned for any node (see kAlign); throws std::bad_alloc.
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

    // Records a node placed in memory from Allocate; throws std::bad_alloc.
    void AddNode(IVLXmlNode* pNode)
    {
        if (m_pLastIndex == nullptr || m_pLastIndex->nUsed == kIndexSlots)
            GrowIndex();
        m_pLastIndex->nodes[m_pLastIndex->nUsed++] = pNode;
    }
    bool HasNodes() const { return m_pFirstIndex != nullptr; }
    // Called by a node of the arena once its destructor has run.
    static void MarkDead(IVLXmlNode* pNode) noexcept { std::memset(static_cast<void*>(pNode), 0, sizeof(void*)); }
    // Deletes every node that is still alive, the last placed first (so
    // children before their parents); a list leaves its dead nodes and its
    // arena nodes to this pass.
    void DeleteNodes() noexcept;
    // True for the memory of a node of an arena whose destructor has run
    // (its first word is cleared); false for any live node.
    static bool IsDead(const IVLXmlNode* pNode) noexcept
    {
        void* pWord;
        std::memcpy(&pWord, static_cast<const void*>(pNode), sizeof(pWord));
        return pWord == nullptr;
    }
    // True while DeleteNodes runs on this thread, or a CSweep lives there.
    static bool IsSweeping() noexcept;
    // Lists leave their arena nodes to DeleteNodes while this lives.
    class CSweep
    {
    public:
        CSweep();
        ~CSweep();

    private:
        CSweep(const CSweep&) = delete;
        CSweep& operator=(const CSweep&) = delete;
        bool m_bOuter;
    };

private:
    CVLXmlNodeArena(const CVLXmlNodeArena&) = delete;
    CVLXmlNodeArena& operator=(const CVLXmlNodeArena&) = delete;
    void Grow(std::size_t nSize);
    void GrowIndex();

    // Nodes and list links hold pointers, integers and strings: pointer
    // alignment serves them all (the document checks its node types).
    static const std::size_t kAlign = alignof(void*);
    struct Chunk
    {
        Chunk* pNext;
        std::size_t nBytes;  // the whole chunk, header included
    };
    class CChunkCache;
    static CChunkCache* Cache() noexcept;
    static const std::size_t kIndexSlots = 1022;
    struct IndexBlock
    {
        IndexBlock* pPrev;
        std::size_t nUsed;
        IVLXmlNode* nodes[kIndexSlots];
    };
    Chunk* m_pChunks;
    IndexBlock* m_pFirstIndex;
    IndexBlock* m_pLastIndex;
    char* m_pNext;
    std::size_t m_nLeft;
    std::size_t m_nNextChunk;
};

#endif
