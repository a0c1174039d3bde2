// The shape of the iconv entry points, as GNU libiconv and the C library
// both export them; the converter calls whichever it loaded through these.
#ifndef VLICONVFUNCTIONS_H
#define VLICONVFUNCTIONS_H

#include <cstddef>

typedef void* (*VL_PFN_ICONV_OPEN)(const char* szTo, const char* szFrom);
typedef size_t (*VL_PFN_ICONV)(void* cd, char** ppIn, size_t* pInLeft, char** ppOut, size_t* pOutLeft);
typedef int (*VL_PFN_ICONV_CLOSE)(void* cd);
typedef int (*VL_PFN_ICONVCTL)(void* cd, int nRequest, void* pArgument);

#endif
