#include "base/platform/VLIconvBackend.h"

#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

namespace {

void* SystemOpen(const char* szTo, const char* szFrom)
{
    iconv_t cd = iconv_open(szTo, szFrom);
    return cd == reinterpret_cast<iconv_t>(-1) ? reinterpret_cast<void*>(-1) : static_cast<void*>(cd);
}

size_t SystemIconv(void* cd, char** ppIn, size_t* pInLeft, char** ppOut, size_t* pOutLeft)
{
    return iconv(static_cast<iconv_t>(cd), ppIn, pInLeft, ppOut, pOutLeft);
}

int SystemClose(void* cd)
{
    return iconv_close(static_cast<iconv_t>(cd));
}

struct NameMap
{
    const char* szTable;
    const char* szSystem;
};

// Table names the C library knows under another name.
const NameMap kAliases[] = {
    {"MacRoman", "MACINTOSH"},
    {"Macintosh", "MACINTOSH"},
    {"MacCentralEurope", "MAC-CENTRALEUROPE"},
    {"MacIceland", "MAC-IS"},
    {"MacUkraine", "MAC-UK"},
    {"MacCyrillic", "MACCYRILLIC"},
    {"UCS-2", "UCS-2BE"},
};

// Target names whose output starts with a byte-order mark.
const NameMap kTargets[] = {
    {"UTF-16", "UTF-16BE"},
    {"UTF-32", "UTF-32BE"},
};

struct CodesetMap
{
    const char* szCodeset;
    unsigned int nConstant;
};

const CodesetMap kCodesets[] = {
    {"UTF-8", 0x08000100u},      {"ANSI_X3.4-1968", 0x600u}, {"ISO-8859-1", 0x201u},  {"ISO-8859-2", 0x202u},
    {"ISO-8859-3", 0x203u},      {"ISO-8859-4", 0x204u},     {"ISO-8859-5", 0x205u},  {"ISO-8859-6", 0x206u},
    {"ISO-8859-7", 0x207u},      {"ISO-8859-8", 0x208u},     {"ISO-8859-9", 0x209u},  {"ISO-8859-10", 0x20Au},
    {"ISO-8859-13", 0x20Du},     {"ISO-8859-14", 0x20Eu},    {"ISO-8859-15", 0x20Fu}, {"ISO-8859-16", 0x210u},
    {"TIS-620", 0x20Bu},         {"EUC-JP", 0x920u},         {"SHIFT_JIS", 0xA01u},   {"SJIS", 0xA01u},
    {"CP932", 0x420u},           {"EUC-KR", 0x940u},         {"GB2312", 0x930u},      {"GBK", 0x631u},
    {"GB18030", 0x632u},         {"EUC-TW", 0x931u},         {"BIG5", 0xA03u},        {"BIG5-HKSCS", 0xA06u},
    {"KOI8-R", 0xA02u},          {"KOI8-U", 0xA08u},         {"CP1251", 0x502u},      {"CP1252", 0x500u},
    {"CP1255", 0x505u},          {"CP1256", 0x506u},         {"CP1250", 0x501u},      {"ARMSCII-8", 0x18u},
};

}  // namespace

void VLIconvBindSystem(VL_PFN_ICONV_OPEN& pfnOpen, VL_PFN_ICONV& pfnIconv, VL_PFN_ICONV_CLOSE& pfnClose)
{
    pfnOpen = SystemOpen;
    pfnIconv = SystemIconv;
    pfnClose = SystemClose;
}

std::string VLIconvSystemName(const std::string& strName, bool bTarget)
{
    if (bTarget) {
        for (const NameMap& m : kTargets)
            if (strName == m.szTable)
                return m.szSystem;
    }
    for (const NameMap& m : kAliases)
        if (strName == m.szTable)
            return m.szSystem;
    return strName;
}

std::string VLIconvSystemSourceName(const std::string& strName, const unsigned char* p, size_t n, size_t* pSkip)
{
    *pSkip = 0;
    if (strName == "UTF-16") {
        if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
            *pSkip = 2;
            return "UTF-16LE";
        }
        if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF)
            *pSkip = 2;
        return "UTF-16BE";
    }
    if (strName == "UTF-32") {
        if (n >= 4 && p[0] == 0xFF && p[1] == 0xFE && p[2] == 0 && p[3] == 0) {
            *pSkip = 4;
            return "UTF-32LE";
        }
        if (n >= 4 && p[0] == 0 && p[1] == 0 && p[2] == 0xFE && p[3] == 0xFF)
            *pSkip = 4;
        return "UTF-32BE";
    }
    return VLIconvSystemName(strName, false);
}

unsigned int VLIconvSystemEncodingConstant()
{
    unsigned int nConstant = 0x08000100u;  // UTF-8
    locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0))
        return nConstant;
    const char* szCodeset = nl_langinfo_l(CODESET, loc);
    if (szCodeset != nullptr) {
        for (const CodesetMap& m : kCodesets) {
            if (strcmp(szCodeset, m.szCodeset) == 0) {
                nConstant = m.nConstant;
                break;
            }
        }
    }
    freelocale(loc);
    return nConstant;
}
