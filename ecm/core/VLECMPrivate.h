// Small helpers that the device manager's sources share; private to ecm/.
#ifndef VLECMPRIVATE_H
#define VLECMPRIVATE_H

#include <cstdint>

#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLString.h"

// The bytes of a text; "" for the empty one, which has no buffer.
inline const char* TextOf(const CVLString& str)
{
    const char* sz = str.GetBuffer();
    return sz != nullptr ? sz : "";
}

// A pointer as the 32-bit number the traces print with %08X.
inline unsigned PointerText(const void* p)
{
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p));
}

#endif
