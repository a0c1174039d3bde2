// Event numbers, error codes and encoding codes of the XML pull parser.
#ifndef PXP_DEFS_H
#define PXP_DEFS_H

#include <cstdint>

enum
{
    PXP_EVENT_ERROR = 0,
    PXP_EVENT_XML_DECLARATION = 1,
    PXP_EVENT_DOCUMENT_DONE = 2,
    PXP_EVENT_START_TAG = 3,
    PXP_EVENT_CLOSE_TAG = 4,
    PXP_EVENT_TEXT = 5,
    PXP_EVENT_PROCESSING_INSTRUCTION = 6,
    PXP_EVENT_COMMENT = 7,
    PXP_EVENT_CDATA = 8,
    PXP_EVENT_DOCTYPE = 9,
    PXP_EVENT_INITIAL = 10
};

enum
{
    PXP_NO_ERROR = 0,
    PXP_SYNTAX_ERROR = 1,
    PXP_ENCODING_DISAGREEMENT_ERROR = 2,
    PXP_INPUT_STREAM_ERROR = 3,
    PXP_NOT_SUPPORT_ENCODING_ERROR = 4,
    PXP_MEMORY_ALLOCATION_ERROR = 5,
    PXP_BUFFER_OVERFLOW_ERROR = 6
};

enum
{
    PXP_CHARSET_UTF8 = 0,
    PXP_CHARSET_UTF16LE = 1,
    PXP_CHARSET_UTF16BE = 2,
    PXP_CHARSET_SHIFT_JIS = 3,
    PXP_CHARSET_EUC_JP = 4,
    PXP_CHARSET_UNDECIDED = 10
};

// The byte that ends the input wherever the tokenizer meets it.
#define PXP_END_OF_INPUT 0x1A

#endif
