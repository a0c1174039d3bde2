#include "base/xml/VLXmlNodePool.h"

#include <cstdlib>
#include <new>

namespace {

// Slots hold list links (two pointers and a node pointer): pointer
// alignment is all they need.
const std::size_t kAlign = alignof(void*);
const std::size_t kHeader = (sizeof(void*) + kAlign - 1) / kAlign * kAlign;
// Links larger than this are allocated one by one.
const std::size_t kMaxSlotSize = 256;
const std::size_t kFirstSlots = 4;
const std::size_t kMaxSlots = 64;

}  // namespace

CVLXmlNodePool::CVLXmlNodePool()
    : m_pFree(nullptr)
    , m_pBlocks(nullptr)
    , m_pSpare(nullptr)
    , m_nSpareBytes(0)
    , m_nSlotSize(0)
    , m_nNextSlots(kFirstSlots)
{
}

CVLXmlNodePool::~CVLXmlNodePool()
{
    Reset();
}

void CVLXmlNodePool::Reset() noexcept
{
    while (m_pBlocks != nullptr) {
        Block* p = m_pBlocks;
        m_pBlocks = p->pNext;
        std::free(p);
    }
    m_pFree = nullptr;
    m_nNextSlots = kFirstSlots;
    m_pSpare = nullptr;
    m_nSpareBytes = 0;
}

void CVLXmlNodePool::Grow()
{
    if (m_nSpareBytes >= m_nSlotSize) {
        const std::size_t nSpareSlots = m_nSpareBytes / m_nSlotSize;
        for (std::size_t i = nSpareSlots; i-- > 0;) {
            Slot* pSlot = reinterpret_cast<Slot*>(m_pSpare + i * m_nSlotSize);
            pSlot->pNext = m_pFree;
            m_pFree = pSlot;
        }
        m_pSpare = nullptr;
        m_nSpareBytes = 0;
        return;
    }
    const std::size_t nSlots = m_nNextSlots;
    Block* pBlock = static_cast<Block*>(std::malloc(kHeader + nSlots * m_nSlotSize));
    if (pBlock == nullptr)
        throw std::bad_alloc();
    pBlock->pNext = m_pBlocks;
    m_pBlocks = pBlock;
    char* pData = reinterpret_cast<char*>(pBlock) + kHeader;
    for (std::size_t i = nSlots; i-- > 0;) {
        Slot* pSlot = reinterpret_cast<Slot*>(pData + i * m_nSlotSize);
        pSlot->pNext = m_pFree;
        m_pFree = pSlot;
    }
    if (m_nNextSlots < kMaxSlots)
        m_nNextSlots = static_cast<unsigned short>(m_nNextSlots * 2);
}

void* CVLXmlNodePool::Allocate(std::size_t nSize)
{
    if (m_nSlotSize == 0 && nSize <= kMaxSlotSize) {
        std::size_t n = nSize < sizeof(Slot) ? sizeof(Slot) : nSize;
        m_nSlotSize = static_cast<unsigned short>((n + kAlign - 1) / kAlign * kAlign);
    }
    if (nSize > m_nSlotSize) {
        void* p = std::malloc(nSize);
        if (p == nullptr)
            throw std::bad_alloc();
        return p;
    }
    if (m_pFree == nullptr)
        Grow();
    Slot* pSlot = m_pFree;
    m_pFree = pSlot->pNext;
    return pSlot;
}

void CVLXmlNodePool::Deallocate(void* p, std::size_t nSize) noexcept
{
    if (p == nullptr)
        return;
    if (nSize > m_nSlotSize) {
        std::free(p);
        return;
    }
    Slot* pSlot = static_cast<Slot*>(p);
    pSlot->pNext = m_pFree;
    m_pFree = pSlot;
}
