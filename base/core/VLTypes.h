// Basic types of the base library.
#ifndef VLTYPES_H
#define VLTYPES_H

#include <cstddef>
#include <cstdint>

typedef unsigned char VL_BYTE;
typedef uint32_t VL_SIZE_T;
typedef const char* VL_CONST_STR;

// The library's "long" values are 32 bits wide on every host.
typedef int32_t VL_LONG;
typedef uint32_t VL_ULONG;
typedef int64_t VL_LONGLONG;
typedef uint64_t VL_ULONGLONG;

#define VLSTD_MODULE "VLStd"

#endif
