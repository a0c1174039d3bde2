// What stands in for GNU libiconv where it is absent: the C library's iconv,
// the names it knows the table's charsets by, and the user's system encoding.
#ifndef VLICONVBACKEND_H
#define VLICONVBACKEND_H

#include <cstddef>
#include <string>

#include "base/core/VLIconvFunctions.h"

// The C library's functions.
void VLIconvBindSystem(VL_PFN_ICONV_OPEN& pfnOpen, VL_PFN_ICONV& pfnIconv, VL_PFN_ICONV_CLOSE& pfnClose);

// The name under which the C library opens a table name, as target or as
// source. Byte-order-marked forms are written big-endian without a mark,
// as GNU libiconv writes them once the mark is removed.
std::string VLIconvSystemName(const std::string& strName, bool bTarget);

// The name under which the C library reads input in a table charset. For
// UTF-16 and UTF-32 a leading byte-order mark picks the byte order (and is
// skipped: *pSkip gets its length); without one the input is big-endian.
std::string VLIconvSystemSourceName(const std::string& strName, const unsigned char* pData, size_t nLength,
                                    size_t* pSkip);

// The platform encoding constant of the user's locale codeset, in the
// numbering of the encoding table; the UTF-8 constant when unknown.
unsigned int VLIconvSystemEncodingConstant();

#endif
