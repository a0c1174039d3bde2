#include "base/core/VLIconvWrapper.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "base/core/VLCharset.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/platform/VLIconvBackend.h"

// Throw-site codes: fixed numbers that identify each site in traces and
// results; they are not line numbers and never change.
const int kSiteDoConvert = 879;

// clang-format off
const char* const CVLIconvWrapper::s_aCharsetNames[CHARSET_COUNT] = {
    "ASCII", "ISO-8859-1", "ISO-8859-2", "ISO-8859-3", "ISO-8859-4", "ISO-8859-5", "ISO-8859-7", "ISO-8859-9",
    "ISO-8859-10", "ISO-8859-13", "ISO-8859-14", "ISO-8859-15", "ISO-8859-16", "KOI8-R", "KOI8-U", "KOI8-RU",
    "CP1250", "CP1251", "CP1252", "CP1253", "CP1254", "CP1257", "CP850", "CP866", "MacRoman",
    "MacCentralEurope", "MacIceland", "MacCroatian", "MacRomania", "MacCyrillic", "MacUkraine", "MacGreek",
    "MacTurkish", "Macintosh", "ISO-8859-6", "ISO-8859-8", "CP1255", "CP1256", "CP862", "MacHebrew",
    "MacArabic", "EUC-JP", "SHIFT_JIS", "CP932", "ISO-2022-JP", "ISO-2022-JP-2", "ISO-2022-JP-1", "EUC-CN",
    "HZ", "GBK", "GB18030", "EUC-TW", "BIG5", "CP950", "BIG5-HKSCS", "ISO-2022-CN", "ISO-2022-CN-EXT",
    "EUC-KR", "CP949", "ISO-2022-KR", "JOHAB", "ARMSCII-8", "Georgian-Academy", "Georgian-PS", "KOI8-T",
    "TIS-620", "CP874", "MacThai", "MuleLao-1", "CP1133", "HP-ROMAN8", "NEXTSTEP", "UTF-8", "UCS-2",
    "UCS-2BE", "UCS-2LE", "UCS-4", "UCS-4BE", "UCS-4LE", "UTF-16", "UTF-16BE", "UTF-16LE", "UTF-32",
    "UTF-32BE", "UTF-32LE", "UTF-7", "C99", "JAVA", "UCS-2-INTERNAL", "UCS-4-INTERNAL", "CP437", "CP737",
    "CP775", "CP852", "CP853", "CP855", "CP857", "CP858", "CP860", "CP861", "CP863", "CP865", "CP869",
    "CP1125", "CP864", "EUC-JISX0213", "Shift_JISX0213", "ISO-2022-JP-3", "TDS565", "RISCOS-LATIN1",
};

// Platform encoding constants and their ids, in table order: where a
// constant appears twice the later row wins (0xA02 ends at 15).
const CVLIconvWrapper::EncodingRow CVLIconvWrapper::s_aEncodingTable[] = {
    {0x9, 0}, {0xA, 0}, {0xB, 0}, {0xC, 0}, {0xD, 0}, {0xE, 0}, {0xF, 0}, {0x10, 0}, {0x11, 0}, {0x12, 0},
    {0x13, 0}, {0x14, 0}, {0x16, 0}, {0x1A, 0}, {0x1B, 0}, {0x1C, 0}, {0x1E, 0}, {0x1F, 0}, {0xFC, 0},
    {0xFF, 0}, {0x600, 0}, {0x601, 0}, {0x620, 0}, {0xA07, 0},
    {0x201, 1}, {0xA04, 1}, {0x202, 2}, {0x203, 3}, {0x204, 4}, {0x205, 5}, {0x207, 6}, {0x411, 6},
    {0x209, 7}, {0x20A, 8}, {0x20D, 9}, {0x20E, 10}, {0x20F, 11}, {0x210, 12},
    {0xA02, 13}, {0xA08, 14},
    {0x501, 16}, {0x502, 17}, {0x500, 18}, {0x503, 19}, {0x504, 20}, {0x507, 21}, {0x410, 22}, {0x41B, 23},
    {0x0, 24}, {0x21, 24}, {0x22, 24}, {0x27, 24}, {0x28, 24}, {0xEC, 24}, {0x508, 24}, {0x629, 24},
    {0x1D, 25}, {0x25, 26}, {0x24, 27}, {0x26, 28}, {0x7, 29}, {0x98, 30}, {0x6, 31}, {0x23, 32},
    {0x206, 34}, {0x208, 35}, {0x505, 36}, {0x506, 37}, {0x417, 38}, {0x5, 39}, {0x4, 40}, {0x8C, 40},
    {0x920, 41}, {0x621, 41}, {0x622, 41}, {0x623, 41}, {0x624, 41}, {0x1, 42}, {0xA01, 42}, {0x420, 43},
    {0x820, 44}, {0x821, 45}, {0x822, 46},
    {0x19, 47}, {0x630, 47}, {0x930, 47}, {0xA05, 48}, {0x421, 49}, {0x631, 49}, {0x632, 50},
    {0x931, 51}, {0x651, 51}, {0x652, 51}, {0x653, 51}, {0x2, 52}, {0xA03, 52}, {0xA09, 52}, {0x423, 53},
    {0xA06, 54}, {0x830, 55}, {0x831, 56},
    {0x3, 57}, {0x640, 57}, {0x641, 57}, {0x940, 57}, {0x422, 58}, {0x840, 59}, {0x510, 60}, {0x18, 61},
    {0x17, 63}, {0x20B, 65}, {0x41D, 66}, {0x15, 67}, {0xB01, 71},
    {0x08000100, 72}, {0x100, 79}, {0x10000100, 80}, {0x14000100, 81}, {0x0C000100, 82}, {0x18000100, 83},
    {0x1C000100, 84}, {0xBFF, 85},
    {0x400, 90}, {0x405, 91}, {0x406, 92}, {0x412, 93}, {0x413, 95}, {0x414, 96}, {0x415, 98}, {0x416, 99},
    {0x418, 100}, {0x41A, 101}, {0x41C, 102}, {0x419, 104},
    {0xB02, 105}, {0x628, 106}, {0x823, 107},
    {0xC01, -2}, {0xC02, -2},
    {0xA02, 15},
};
// clang-format on
const int CVLIconvWrapper::s_nEncodingTableSize =
    static_cast<int>(sizeof(CVLIconvWrapper::s_aEncodingTable) / sizeof(CVLIconvWrapper::s_aEncodingTable[0]));

bool CVLIconvWrapper::s_bInitialized = false;

namespace {

// The one converter of the process. It is never destroyed, so conversions
// stay valid until the very end of the process.
CVLIconvWrapper* g_pIconvWrapper = nullptr;
const bool g_bIconvWrapperBuilt = (g_pIconvWrapper = new CVLIconvWrapper) != nullptr;

void* const kBadDescriptor = reinterpret_cast<void*>(-1);

// Charsets whose converter output may start with a byte-order mark.
bool MayCarryMark(int eCharset)
{
    return eCharset == VL_CHARSET_UCS2 || eCharset == VL_CHARSET_UCS4 || eCharset == VL_CHARSET_UTF16 ||
           eCharset == VL_CHARSET_UTF32;
}

// The length of a leading byte-order mark in the output: 4-byte marks whole, else 2.
size_t MarkLength(int eTo, const unsigned char* p, size_t n)
{
    if (!MayCarryMark(eTo))
        return 0;
    bool bWide = (eTo == VL_CHARSET_UCS4 || eTo == VL_CHARSET_UTF32);
    if (bWide && n >= 4 &&
        ((p[0] == 0 && p[1] == 0 && p[2] == 0xFE && p[3] == 0xFF) ||
         (p[0] == 0xFF && p[1] == 0xFE && p[2] == 0 && p[3] == 0)))
        return 4;
    if (!bWide && n > 1 && ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF)))
        return 2;
    return 0;
}

// Replaces every occurrence, in one pass.
void ReplaceAll(std::string& s, const char* szOld, const char* szNew)
{
    size_t nOld = strlen(szOld);
    size_t i = s.find(szOld);
    if (i == std::string::npos)
        return;
    std::string out;
    out.reserve(s.size() + s.size() / 4);
    size_t nFrom = 0;
    for (; i != std::string::npos; i = s.find(szOld, nFrom)) {
        out.append(s, nFrom, i - nFrom);
        out += szNew;
        nFrom = i + nOld;
    }
    out.append(s, nFrom, std::string::npos);
    s.swap(out);
}

// Output room beyond the estimate: a byte-order mark and a closing shift sequence.
const size_t kOutputSlack = 16;

bool IsUtf16Target(int eCharset)
{
    return eCharset == VL_CHARSET_UTF16 || eCharset == VL_CHARSET_UTF16BE || eCharset == VL_CHARSET_UTF16LE;
}

// The output buffer of this thread's last conversion, kept for the next one
// while it is at most kMaxScratch bytes: repeated conversions of the same
// texts then allocate (and touch fresh pages) only for their results.
const size_t kMaxScratch = 4u << 20;
struct SScratch
{
    char* p = nullptr;
    size_t n = 0;
    ~SScratch() { delete[] p; }
};
thread_local SScratch t_Scratch;

// A buffer of at least nBytes: the kept one when it is large enough.
char* TakeScratch(size_t& nBytes)
{
    if (t_Scratch.p != nullptr && t_Scratch.n >= nBytes) {
        char* p = t_Scratch.p;
        nBytes = t_Scratch.n;
        t_Scratch.p = nullptr;
        t_Scratch.n = 0;
        return p;
    }
    return new (std::nothrow) char[nBytes];
}

// Hands the conversion's buffer back to the thread when it is small enough.
class CScratchReturn
{
public:
    CScratchReturn(std::unique_ptr<char[]>& buffer, size_t& nBytes) : m_Buffer(buffer), m_nBytes(nBytes) {}
    ~CScratchReturn()
    {
        if (m_Buffer && m_nBytes <= kMaxScratch && m_nBytes > t_Scratch.n) {
            delete[] t_Scratch.p;
            t_Scratch.p = m_Buffer.release();
            t_Scratch.n = m_nBytes;
        }
    }
    CScratchReturn(const CScratchReturn&) = delete;
    CScratchReturn& operator=(const CScratchReturn&) = delete;

private:
    std::unique_ptr<char[]>& m_Buffer;
    size_t& m_nBytes;
};

}  // namespace

CVLIconvWrapper::CVLIconvWrapper()
    : m_pfnIconvOpen(nullptr), m_pfnIconvClose(nullptr), m_pfnIconv(nullptr), m_pfnIconvCtl(nullptr),
      m_bLoaded(false), m_bGnu(false), m_eSystemCharset(VL_CHARSET_UNKNOWN)
{
    for (int i = 0; i < CHARSET_COUNT; ++i) {
        m_CharSizeMap[i].store(0, std::memory_order_relaxed);
        m_CharsetNameMap[i] = CVLString(s_aCharsetNames[i], VL_CHARSET_UTF8);
    }
    for (int i = 0; i < CHARSET_COUNT; ++i)
        m_CharsetIdMap[CVLString(s_aCharsetNames[i], VL_CHARSET_UTF8)] = i;
    for (int i = 0; i < s_nEncodingTableSize; ++i)
        m_SystemEncodingMap[s_aEncodingTable[i].nConstant] = s_aEncodingTable[i].eCharset;
    std::map<unsigned int, int>::const_iterator it = m_SystemEncodingMap.find(VLIconvSystemEncodingConstant());
    if (it != m_SystemEncodingMap.end())
        m_eSystemCharset = it->second;

    // GNU libiconv first; the C library's iconv when it is absent.
    try {
        Load("iconv");
        m_pfnIconvOpen = reinterpret_cast<VL_PFN_ICONV_OPEN>(GetSymbol("libiconv_open"));
        m_pfnIconvClose = reinterpret_cast<VL_PFN_ICONV_CLOSE>(GetSymbol("libiconv_close"));
        m_pfnIconv = reinterpret_cast<VL_PFN_ICONV>(GetSymbol("libiconv"));
        m_pfnIconvCtl = reinterpret_cast<VL_PFN_ICONVCTL>(GetSymbol("libiconvctl"));
        m_bLoaded = true;
        m_bGnu = true;
    } catch (...) {
        ReleaseCurrentException();
    }
    if (!m_bLoaded) {
        Unload();
        VLIconvBindSystem(m_pfnIconvOpen, m_pfnIconv, m_pfnIconvClose);
        m_pfnIconvCtl = nullptr;
        m_bLoaded = true;
        m_bGnu = false;
    }
    s_bInitialized = true;
}

CVLIconvWrapper::~CVLIconvWrapper()
{
    m_bLoaded = false;
}

bool CVLIconvWrapper::IsGnuLibiconv()
{
    return s_bInitialized && g_pIconvWrapper->m_bGnu;
}

int CVLIconvWrapper::LookUpSystemEncoding(unsigned int nConstant)
{
    if (!s_bInitialized)
        return VL_CHARSET_UNKNOWN;
    std::map<unsigned int, int>::const_iterator it = g_pIconvWrapper->m_SystemEncodingMap.find(nConstant);
    return it == g_pIconvWrapper->m_SystemEncodingMap.end() ? VL_CHARSET_UNKNOWN : it->second;
}

CVLString CVLIconvWrapper::GetCharsetName(int eCharset)
{
    if (eCharset == VL_CHARSET_SYSTEM)
        eCharset = s_bInitialized ? g_pIconvWrapper->m_eSystemCharset : VL_CHARSET_UNKNOWN;
    if (!s_bInitialized || eCharset < 0 || eCharset >= CHARSET_COUNT)
        return CVLString(VL_CHARSET_UTF8);
    return g_pIconvWrapper->m_CharsetNameMap[eCharset];
}

int CVLIconvWrapper::GetCharSize(int eCharset)
{
    if (!s_bInitialized)
        return 1;
    if (eCharset == VL_CHARSET_SYSTEM)
        eCharset = g_pIconvWrapper->m_eSystemCharset;
    if (eCharset < 0 || eCharset >= CHARSET_COUNT || !g_pIconvWrapper->m_bLoaded)
        return 1;
    int nSize = g_pIconvWrapper->m_CharSizeMap[eCharset].load(std::memory_order_acquire);
    if (nSize == 0) {
        nSize = g_pIconvWrapper->MeasureCharSize(eCharset);
        g_pIconvWrapper->m_CharSizeMap[eCharset].store(nSize, std::memory_order_release);
    }
    return nSize > 0 ? nSize : 1;
}

int CVLIconvWrapper::MeasureCharSize(int eCharset) const
{
    // The bytes that "a" takes in the charset, without a byte-order mark.
    size_t nSkip = 0;
    void* cd = OpenConverter(eCharset, VL_CHARSET_ASCII, false, "a", 1, &nSkip, nullptr);
    if (cd == kBadDescriptor)
        return -1;
    char szIn[2] = {'a', 0};
    char out[32];
    char* pIn = szIn;
    char* pOut = out;
    size_t nInLeft = 1, nOutLeft = sizeof(out);
    int nSize = -1;
    if (m_pfnIconv(cd, &pIn, &nInLeft, &pOut, &nOutLeft) != static_cast<size_t>(-1) &&
        m_pfnIconv(cd, nullptr, nullptr, &pOut, &nOutLeft) != static_cast<size_t>(-1)) {
        size_t n = sizeof(out) - nOutLeft;
        n -= MarkLength(eCharset, reinterpret_cast<unsigned char*>(out), n);
        nSize = static_cast<int>(n);
    }
    m_pfnIconvClose(cd);
    return nSize > 0 ? nSize : -1;
}

int CVLIconvWrapper::GetCharsetId(const char* szName)
{
    if (!s_bInitialized || szName == nullptr)
        return VL_CHARSET_UNKNOWN;
    if (strcmp(szName, "MBCS") == 0)
        return g_pIconvWrapper->m_eSystemCharset;
    std::map<CVLString, int>::const_iterator it =
        g_pIconvWrapper->m_CharsetIdMap.find(CVLString(szName, VL_CHARSET_UTF8));
    return it == g_pIconvWrapper->m_CharsetIdMap.end() ? VL_CHARSET_UNKNOWN : it->second;
}

int CVLIconvWrapper::GetSystemCharset()
{
    return s_bInitialized ? g_pIconvWrapper->m_eSystemCharset : VL_CHARSET_UNKNOWN;
}

int CVLIconvWrapper::GetBOMType(const void* pData, int nLength)
{
    if (pData == nullptr || nLength < 2)
        return -1;
    const unsigned char* p = static_cast<const unsigned char*>(pData);
    if (p[0] == 0xFF && p[1] == 0xFE)
        return 1;
    if (p[0] == 0xFE && p[1] == 0xFF)
        return 2;
    return -1;
}

void CVLIconvWrapper::Close(void* cd)
{
    if (s_bInitialized && g_pIconvWrapper->m_pfnIconvClose != nullptr && cd != kBadDescriptor)
        g_pIconvWrapper->m_pfnIconvClose(cd);
}

void* CVLIconvWrapper::OpenConverter(int eTo, int eFrom, bool bDiscardIllegal, const char* pInput, size_t nInput,
                                     size_t* pSkip, std::string* pSourceName) const
{
    *pSkip = 0;
    if (eTo == VL_CHARSET_SYSTEM)
        eTo = m_eSystemCharset;
    if (eFrom == VL_CHARSET_SYSTEM)
        eFrom = m_eSystemCharset;
    if (eTo < 0 || eTo >= CHARSET_COUNT || eFrom < 0 || eFrom >= CHARSET_COUNT)
        return kBadDescriptor;
    if (m_bGnu) {
        void* cd = m_pfnIconvOpen(s_aCharsetNames[eTo], s_aCharsetNames[eFrom]);
        if (cd != kBadDescriptor && bDiscardIllegal) {
            int nOne = 1;
            m_pfnIconvCtl(cd, 4, &nOne);
        }
        return cd;
    }
    // The C library discards nothing itself here: its "//IGNORE" mode reads
    // past the input for some charsets (ISO-2022-CN-EXT). The conversion
    // loop drops what does not convert, one character at a time.
    std::string strTo = VLIconvSystemName(s_aCharsetNames[eTo], true);
    std::string strFrom = VLIconvSystemSourceName(
        s_aCharsetNames[eFrom], reinterpret_cast<const unsigned char*>(pInput), nInput, pSkip);
    if (pSourceName != nullptr)
        *pSourceName = strFrom;
    return m_pfnIconvOpen(strTo.c_str(), strFrom.c_str());
}

size_t CVLIconvWrapper::CharacterLength(const std::string& strSourceName, const char* p, size_t nLeft) const
{
    // Decodes one character into a buffer that holds exactly one, and counts
    // the input it took; a byte that does not decode counts as one.
    void* cd = m_pfnIconvOpen("UTF-32LE", strSourceName.c_str());
    if (cd == kBadDescriptor)
        return 1;
    char* pIn = const_cast<char*>(p);
    size_t nInLeft = nLeft;
    char out[4];
    char* pOut = out;
    size_t nOutLeft = sizeof(out);
    m_pfnIconv(cd, &pIn, &nInLeft, &pOut, &nOutLeft);
    m_pfnIconvClose(cd);
    size_t nTaken = static_cast<size_t>(pIn - p);
    return (nTaken == 0 || nTaken > nLeft) ? 1 : nTaken;
}

CVLString CVLIconvWrapper::Convert(int eFrom, const void* pData, int nLength, int eTo, bool bDiscardIllegal)
{
    try {
        if (!s_bInitialized || !g_pIconvWrapper->m_bLoaded) {
            CVLString result(VL_CHARSET_UTF8);
            result.Assign(pData, nLength, eFrom);
            return result;
        }
        return g_pIconvWrapper->DoConvert(eFrom, pData, nLength, eTo, bDiscardIllegal);
    }
    VL_CATCH_LADDER(VLSTD_MODULE, "VLIconvWrapper")
}

CVLString CVLIconvWrapper::DoConvert(int eFrom, const void* pData, int nLength, int eTo,
                                     bool bDiscardIllegal) const
{
    CVLString result(VL_CHARSET_UTF8);
    if (nLength <= 0 || pData == nullptr) {
        result.SetCharset(eTo);
        return result;
    }
    CVLString strFromName = GetCharsetName(eFrom);
    CVLString strToName = GetCharsetName(eTo);
    if (strFromName.Compare(strToName) == 0) {
        result.Assign(pData, nLength, eFrom);
        return result;
    }
    const char* pInput = static_cast<const char*>(pData);
    size_t nInput = static_cast<size_t>(nLength);
    // Shift_JIS has no tilde or backslash of its own: its 7E and 5C are the
    // overline and the yen sign. Only a text that has them is copied.
    std::string replaced;
    if (eFrom == VL_CHARSET_UTF8 && eTo == VL_CHARSET_SHIFT_JIS &&
        (memchr(pInput, '~', nInput) != nullptr || memchr(pInput, '\\', nInput) != nullptr)) {
        replaced.assign(pInput, nInput);
        ReplaceAll(replaced, "~", "\xE2\x80\xBE");
        ReplaceAll(replaced, "\\", "\xC2\xA5");
        pInput = replaced.data();
        nInput = replaced.size();
    }
    size_t nInputSkip = 0;
    std::string strSourceName;
    void* cd = OpenConverter(eTo, eFrom, bDiscardIllegal, pInput, nInput, &nInputSkip, &strSourceName);
    if (cd == kBadDescriptor) {
        result.SetCharset(VL_CHARSET_UNKNOWN);
        return result;
    }

    // The output starts at what the text most likely needs (a UTF-16 text
    // takes at most two bytes for each input byte) and doubles when full;
    // it is not cleared, only written.
    size_t nCapacity = (IsUtf16Target(eTo) ? nInput * 2 : nInput * 4) + kOutputSlack;
    std::unique_ptr<char[]> output(TakeScratch(nCapacity));
    if (!output) {
        m_pfnIconvClose(cd);
        throw new EVLMemoryAllocException(VLSTD_MODULE, "VLIconvWrapper", kSiteDoConvert);
    }
    CScratchReturn scratchReturn(output, nCapacity);
    char* pIn = const_cast<char*>(pInput) + nInputSkip;
    size_t nInLeft = nInput - nInputSkip;
    size_t nUsed = 0;
    bool bFailed = false;
    // Converts all input, then flushes the shift state (a call without
    // input), growing the output whenever it is full.
    bool bFlushing = false;
    for (;;) {
        char* pOut = output.get() + nUsed;
        size_t nOutLeft = nCapacity - nUsed;
        char* pInBefore = pIn;
        size_t r = bFlushing ? m_pfnIconv(cd, nullptr, nullptr, &pOut, &nOutLeft)
                             : m_pfnIconv(cd, &pIn, &nInLeft, &pOut, &nOutLeft);
        int nError = (r == static_cast<size_t>(-1)) ? errno : 0;
        nUsed = nCapacity - nOutLeft;
        if (nError == E2BIG) {
            if (nCapacity > (static_cast<size_t>(1) << 30)) {
                m_pfnIconvClose(cd);
                throw new EVLMemoryAllocException(VLSTD_MODULE, "VLIconvWrapper", kSiteDoConvert);
            }
            std::unique_ptr<char[]> larger(new (std::nothrow) char[nCapacity * 2]);
            if (!larger) {
                m_pfnIconvClose(cd);
                throw new EVLMemoryAllocException(VLSTD_MODULE, "VLIconvWrapper", kSiteDoConvert);
            }
            memcpy(larger.get(), output.get(), nUsed);
            output.swap(larger);
            nCapacity *= 2;
            continue;
        }
        if (nError != 0) {
            if (!bDiscardIllegal || bFlushing || (nError != EILSEQ && nError != EINVAL)) {
                bFailed = true;
                break;
            }
            if (nError == EINVAL) {
                nInLeft = 0;  // an incomplete sequence at the end is dropped
            } else if (!m_bGnu && nInLeft > 0) {
                // Stopped at a character that is illegal or has no form in
                // the target: drop that character.
                size_t n = CharacterLength(strSourceName, pIn, nInLeft);
                pIn += n;
                nInLeft -= n;
            } else if (pIn == pInBefore && nInLeft > 0) {
                ++pIn;  // no progress at an illegal byte: drop it
                --nInLeft;
            }
        }
        if (!bFlushing && nInLeft == 0)
            bFlushing = true;
        else if (bFlushing)
            break;
    }
    m_pfnIconvClose(cd);
    if (bFailed) {
        result.SetCharset(VL_CHARSET_UNKNOWN);
        return result;
    }
    const unsigned char* p = reinterpret_cast<const unsigned char*>(output.get());
    size_t nSkip = MarkLength(eTo, p, nUsed);
    if (eFrom == VL_CHARSET_SHIFT_JIS && eTo == VL_CHARSET_UTF8) {
        std::string text(output.get() + nSkip, nUsed - nSkip);
        ReplaceAll(text, "\xE2\x80\xBE", "~");
        ReplaceAll(text, "\xC2\xA5", "\\");
        result.Assign(text.data(), static_cast<int>(text.size()), eTo);
    } else {
        result.Assign(output.get() + nSkip, static_cast<int>(nUsed - nSkip), eTo);
    }
    if (result.GetLength() == 0)
        result.SetCharset(eTo);
    return result;
}
