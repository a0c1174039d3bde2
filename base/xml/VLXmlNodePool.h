// The memory of one node list's links: slots of one size, taken from blocks
// that grow as the list does, so that a list does not allocate once per node.
// Used by one list (and so by one thread at a time) only.
#ifndef VLXMLNODEPOOL_H
#define VLXMLNODEPOOL_H

#include <cstddef>

class CVLXmlNodePool
{
public:
    CVLXmlNodePool();
    ~CVLXmlNodePool();

    void* Allocate(std::size_t nSize);
    void Deallocate(void* p, std::size_t nSize) noexcept;
    // Frees every block; only when no slot is in use.
    void Reset() noexcept;
    // Memory that the pool carves into slots before it allocates a block of
    // its own; the pool never frees it (it is dropped at the next Reset).
    void AddSpare(void* p, std::size_t nBytes) noexcept
    {
        m_pSpare = static_cast<char*>(p);
        m_nSpareBytes = static_cast<unsigned int>(nBytes);
    }
    // True when the next Allocate of a link would take a block of its own.
    bool IsExhausted() const noexcept { return m_pFree == nullptr && (m_nSpareBytes == 0 || m_nSpareBytes < m_nSlotSize); }

private:
    CVLXmlNodePool(const CVLXmlNodePool&) = delete;
    CVLXmlNodePool& operator=(const CVLXmlNodePool&) = delete;
    void Grow();

    struct Slot
    {
        Slot* pNext;
    };
    struct Block
    {
        Block* pNext;
    };
    // A pool sits in every node list, two to an element: its counts are
    // kept small (a slot is one link, a spare region a few hundred links).
    Slot* m_pFree;
    Block* m_pBlocks;
    char* m_pSpare;
    unsigned int m_nSpareBytes;
    unsigned short m_nSlotSize;
    unsigned short m_nNextSlots;
};

#endif
