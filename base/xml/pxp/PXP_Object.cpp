#include "base/xml/pxp/PXP_Object.h"

#include <cstdlib>

PXP_Object::~PXP_Object()
{
}

void* PXP_Object::operator new(std::size_t nSize) noexcept
{
    return std::malloc(nSize != 0 ? nSize : 1);
}

void* PXP_Object::operator new[](std::size_t nSize) noexcept
{
    return std::malloc(nSize != 0 ? nSize : 1);
}

void PXP_Object::operator delete(void* p) noexcept
{
    std::free(p);
}

void PXP_Object::operator delete[](void* p) noexcept
{
    std::free(p);
}
