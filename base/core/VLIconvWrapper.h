// The system's numbering of character sets (charset ids 0 to 109, -1 the
// system charset, -2 unknown; the names the code uses are in
// base/core/VLCharset.h) and conversion of byte texts between them.
// One instance exists, built during static initialization; every operation
// is static.
#ifndef VLICONVWRAPPER_H
#define VLICONVWRAPPER_H

#include <atomic>
#include <map>
#include <string>

#include "base/core/VLDynamicLibrary.h"
#include "base/core/VLIconvFunctions.h"
#include "base/core/VLString.h"

class CVLIconvWrapper : public CVLDynamicLibrary
{
public:
    enum { CHARSET_COUNT = 110 };

    CVLIconvWrapper();
    virtual ~CVLIconvWrapper();

    static CVLString GetCharsetName(int eCharset);
    static int GetCharSize(int eCharset);
    static int GetCharsetId(const char* szName);
    static int GetSystemCharset();
    static CVLString Convert(int eFrom, const void* pData, int nLength, int eTo, bool bDiscardIllegal);
    static int GetBOMType(const void* pData, int nLength);
    static void Close(void* cd);

    // The table of names, and the platform encoding constants with their ids.
    static const char* const s_aCharsetNames[CHARSET_COUNT];
    struct EncodingRow
    {
        unsigned int nConstant;
        int eCharset;
    };
    static const EncodingRow s_aEncodingTable[];
    static const int s_nEncodingTableSize;
    // The id for a platform encoding constant, -2 when the table lacks it.
    static int LookUpSystemEncoding(unsigned int nConstant);
    // True when GNU libiconv was loaded rather than the C library's iconv.
    static bool IsGnuLibiconv();

private:
    CVLString DoConvert(int eFrom, const void* pData, int nLength, int eTo, bool bDiscardIllegal) const;
    void* OpenConverter(int eTo, int eFrom, bool bDiscardIllegal, const char* pInput, size_t nInput, size_t* pSkip,
                        std::string* pSourceName) const;
    // The bytes of the one character at p in the C library's source charset (at least 1).
    size_t CharacterLength(const std::string& strSourceName, const char* p, size_t nLeft) const;
    int MeasureCharSize(int eCharset) const;

    VL_PFN_ICONV_OPEN m_pfnIconvOpen;
    VL_PFN_ICONV_CLOSE m_pfnIconvClose;
    VL_PFN_ICONV m_pfnIconv;
    VL_PFN_ICONVCTL m_pfnIconvCtl;
    bool m_bLoaded;
    bool m_bGnu;
    int m_eSystemCharset;
    std::map<int, CVLString> m_CharsetNameMap;
    std::map<CVLString, int> m_CharsetIdMap;
    // Bytes per character, measured on first use: 0 not yet, -1 not measurable.
    mutable std::atomic<int> m_CharSizeMap[CHARSET_COUNT];
    std::map<unsigned int, int> m_SystemEncodingMap;

    static bool s_bInitialized;
};

#endif
