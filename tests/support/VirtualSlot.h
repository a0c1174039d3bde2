// The slot a virtual member function takes in its class's virtual table,
// read from a pointer to it as the Itanium C++ ABI (gcc and clang on Linux)
// lays it out: one more than the slot's byte offset in the table. The
// tests pin the declared order of the virtual tables so.
#ifndef VIRTUALSLOT_H
#define VIRTUALSLOT_H

#include <cstddef>
#include <cstring>

// The slot (the destructor's two entries first, for a class without
// bases), or -1 for a member function that is not virtual.
template <typename TMember>
long VirtualSlot(TMember pMember)
{
    static_assert(sizeof(TMember) == 2 * sizeof(std::ptrdiff_t), "a pointer to a member function");
    std::ptrdiff_t parts[2];
    std::memcpy(parts, &pMember, sizeof(parts));
    if ((parts[0] & 1) == 0)
        return -1;
    return static_cast<long>((parts[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*)));
}

#endif
