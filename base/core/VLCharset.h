// Character-set ids: the position of a charset's name in the converter's
// table (CVLIconvWrapper::s_aCharsetNames), shared by strings, variants and
// the converter. Only the ids the system names in code are listed here.
#ifndef VLCHARSET_H
#define VLCHARSET_H

enum VL_CHARSET
{
    // A name not in the table, or a failed conversion; where an assignment
    // takes a charset, it keeps the current one.
    VL_CHARSET_UNKNOWN = -2,
    // The system charset, resolved by the converter when it is used.
    VL_CHARSET_SYSTEM = -1,
    VL_CHARSET_ASCII = 0,
    VL_CHARSET_ISO_8859_1 = 1,
    VL_CHARSET_ISO_8859_5 = 5,
    VL_CHARSET_MAC_ROMAN = 24,
    VL_CHARSET_EUC_JP = 41,
    VL_CHARSET_SHIFT_JIS = 42,
    VL_CHARSET_CP932 = 43,
    VL_CHARSET_ISO_2022_JP = 44,
    VL_CHARSET_ISO_2022_CN_EXT = 56,
    VL_CHARSET_UTF8 = 72,
    VL_CHARSET_UCS2 = 73,
    VL_CHARSET_UCS4 = 76,
    VL_CHARSET_UTF16 = 79,
    VL_CHARSET_UTF16BE = 80,
    VL_CHARSET_UTF16LE = 81,
    VL_CHARSET_UTF32 = 82,
    VL_CHARSET_UTF32BE = 83,
    VL_CHARSET_UTF32LE = 84,
    VL_CHARSET_UTF7 = 85
};

#endif
