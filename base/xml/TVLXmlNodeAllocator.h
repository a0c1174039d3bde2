// The allocator of a node list's links: takes them from the list's pool.
#ifndef TVLXMLNODEALLOCATOR_H
#define TVLXMLNODEALLOCATOR_H

#include <cstddef>

#include "base/xml/VLXmlNodePool.h"

template <class T>
class TVLXmlNodeAllocator
{
public:
    typedef T value_type;

    explicit TVLXmlNodeAllocator(CVLXmlNodePool* pPool) noexcept : m_pPool(pPool) {}
    template <class U>
    TVLXmlNodeAllocator(const TVLXmlNodeAllocator<U>& other) noexcept : m_pPool(other.m_pPool)
    {
    }

    T* allocate(std::size_t n) { return static_cast<T*>(m_pPool->Allocate(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) noexcept { m_pPool->Deallocate(p, n * sizeof(T)); }

    template <class U>
    bool operator==(const TVLXmlNodeAllocator<U>& other) const noexcept
    {
        return m_pPool == other.m_pPool;
    }
    template <class U>
    bool operator!=(const TVLXmlNodeAllocator<U>& other) const noexcept
    {
        return m_pPool != other.m_pPool;
    }

    CVLXmlNodePool* m_pPool;
};

#endif
