// The base of every class of the XML pull parser. The parser reports failures
// through return values and its error code, never by exception: allocation
// through these operators yields a null pointer when memory runs out.
#ifndef PXP_OBJECT_H
#define PXP_OBJECT_H

#include <cstddef>

class PXP_Object
{
public:
    PXP_Object() {}
    virtual ~PXP_Object();

    static void* operator new(std::size_t nSize) noexcept;
    static void* operator new[](std::size_t nSize) noexcept;
    static void operator delete(void* p) noexcept;
    static void operator delete[](void* p) noexcept;
};

#endif
