// The sizes of the parser's buffers and record arrays.
#ifndef PXP_PARSERLIMITS_H
#define PXP_PARSERLIMITS_H

#include <cstdint>

struct PXP_ParserLimits
{
    uint32_t nTextBufferSize = 250;        // one piece of text, comment or CDATA
    uint32_t nMaxAttributes = 32;          // attributes of one start tag
    uint32_t nMaxDepth = 100;              // open elements
    uint32_t nReadBufferSize = 4096;       // bytes read for one chunk
    uint32_t nMaxNamespaces = 32;          // bindings in scope
    uint32_t nAttrNameBufferSize = 512;    // all attribute names of a tag, with NULs
    uint32_t nAttrValueBufferSize = 1024;  // all attribute values of a tag, with NULs
    uint32_t nMaxEntities = 10;            // entries of the entity table
};

#endif
