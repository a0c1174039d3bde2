#include "base/xml/pxp/PXP_Parser.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

inline bool IsBlank(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Character classes of the text fast path: 0 handled one by one (a line
// feed too, which is counted), 1 a plain byte, 2 a plain blank.
struct CTextClass
{
    unsigned char m_Class[256];
    CTextClass()
    {
        for (int i = 0; i < 256; ++i)
            m_Class[i] = (i >= 0x20 && i < 0x80) ? 1 : 0;
        m_Class[static_cast<unsigned char>('<')] = 0;
        m_Class[static_cast<unsigned char>('&')] = 0;
        m_Class[static_cast<unsigned char>(' ')] = 2;
        m_Class[static_cast<unsigned char>('\t')] = 2;
    }
};
const CTextClass s_TextClass;

// Plain bytes of attribute values (1) and of names (2): ASCII that ends
// nothing and needs no replacing.
struct CAttrClass
{
    unsigned char m_Class[256];
    CAttrClass()
    {
        for (int i = 0; i < 256; ++i)
            m_Class[i] = (i >= 0x20 && i < 0x80) ? 1 : 0;
        m_Class[static_cast<unsigned char>('<')] = 0;
        m_Class[static_cast<unsigned char>('&')] = 0;
        m_Class[static_cast<unsigned char>('"')] = 0;
        m_Class[static_cast<unsigned char>('\'')] = 0;
        for (int i = 0x21; i < 0x80; ++i) {
            if (i != '=' && i != '/' && i != '>' && i != ':')
                m_Class[i] |= 2;
        }
    }
};
const CAttrClass s_AttrClass;

const uint32_t kMaxLimit = 1u << 26;

// The longest name an error message quotes as written, in bytes; an end
// tag's matched part (an open element's prefixed name) always fits.
const uint32_t kWrittenNameBytes = 64;
static_assert(kWrittenNameBytes >= PXP_MAX_PREFIX_LENGTH + 1 + PXP_MAX_NAME_LENGTH, "a prefixed name fits");

}  // namespace

PXP_Parser::PXP_Parser()
    : m_bAllocated(false)
    , m_pRaw(nullptr)
    , m_nRawSize(0)
    , m_pTrans(nullptr)
    , m_nTransCapacity(0)
    , m_pTranslater(nullptr)
    , m_pElements(nullptr)
    , m_pAttributes(nullptr)
    , m_pAttrNames(nullptr)
    , m_pAttrValues(nullptr)
    , m_pNamespaces(nullptr)
    , m_pEntities(nullptr)
    , m_pText(nullptr)
    , m_nTextCapacity(0)
    , m_bOuterBlanks(false)
{
    ResetState();
}

PXP_Parser::~PXP_Parser()
{
    FreeAll();
}

void PXP_Parser::FreeAll()
{
    ResetState();
    std::free(m_pRaw);
    std::free(m_pText);
    std::free(m_pAttrNames);
    std::free(m_pAttrValues);
    delete[] m_pElements;
    delete[] m_pAttributes;
    delete[] m_pNamespaces;
    delete[] m_pEntities;
    m_pRaw = nullptr;
    m_pText = nullptr;
    m_pAttrNames = nullptr;
    m_pAttrValues = nullptr;
    m_pElements = nullptr;
    m_pAttributes = nullptr;
    m_pNamespaces = nullptr;
    m_pEntities = nullptr;
    m_bAllocated = false;
}

void PXP_Parser::ResetState()
{
    delete m_pTranslater;
    m_pTranslater = nullptr;
    std::free(m_pTrans);
    m_pTrans = nullptr;
    m_nTransCapacity = 0;
    m_pWork = nullptr;
    m_pPos = nullptr;
    m_pEnd = nullptr;
    m_nCarry = 0;
    m_pStream = nullptr;
    m_nEncoding = PXP_CHARSET_UNDECIDED;
    m_bByteOrderMark = false;
    m_nUtf8Need = 0;
    m_nUtf8Low = 0x80;
    m_nUtf8High = 0xBF;
    m_bBadInput = false;
    m_bInputEnded = false;
    m_nLines = 0;
    m_pLineStart = nullptr;
    m_nColumnBefore = 0;
    m_nEvent = PXP_EVENT_INITIAL;
    m_nError = PXP_NO_ERROR;
    m_szErrorDetail[0] = 0;
    m_nHeldLine = 0;
    m_nHeldColumn = 0;
    m_nBadByte = 0;
    m_bBadCut = false;
    m_bNothingRead = false;
    m_nDocState = 0;
    m_bDoctypeSeen = false;
    m_bAtTag = false;
    m_bBlankOnly = false;
    m_bEmptyElement = false;
    m_bPrefixedAttrs = false;
    m_bContinued = false;
    m_bStepOver = false;
    m_szDeclaration[0] = 0;
    m_nDeclarationLength = 0;
    m_nDepth = 0;
    m_nAttrCount = 0;
    m_nAttrNamesUsed = 0;
    m_nAttrValuesUsed = 0;
    m_nNsCount = 0;
    m_nEntityCount = 0;
    m_pCurEntity = nullptr;
    m_nTextLength = 0;
    m_nPending = 0;
    m_szPrefix[0] = 0;
    m_szRef[0] = 0;
    m_szReplacement[0] = 0;
    m_nReplacement = 0;
    m_szVersion[0] = 0;
    m_pVersion = nullptr;
    m_szEncoding[0] = 0;
    m_pEncodingText = nullptr;
    m_nDashes = 0;
    m_nBrackets = 0;
    m_nMarkLine = 0;
    m_nMarkColumn = 0;
    m_szUndeclared[0] = 0;
    m_nUndeclaredLine = 0;
    m_nUndeclaredColumn = 0;
    m_nStandaloneLine = 0;
    m_nStandaloneColumn = 0;
}

int PXP_Parser::Initialize(const PXP_ParserLimits* pLimits)
{
    PXP_ParserLimits limits = pLimits != nullptr ? *pLimits : PXP_ParserLimits();
    // Room for a whole replacement and for the encoding detection.
    if (limits.nTextBufferSize < 16)
        limits.nTextBufferSize = 16;
    if (limits.nReadBufferSize < 16)
        limits.nReadBufferSize = 16;
    ResetState();
    const uint32_t* pFields = reinterpret_cast<const uint32_t*>(&limits);
    for (size_t i = 0; i < sizeof(limits) / sizeof(uint32_t); ++i) {
        if (pFields[i] > kMaxLimit) {
            m_nError = PXP_MEMORY_ALLOCATION_ERROR;
            m_nEvent = PXP_EVENT_ERROR;
            return 0;
        }
    }
    if (m_bAllocated && std::memcmp(&limits, &m_Allocated, sizeof(limits)) == 0) {
        m_Limits = limits;
        return 1;
    }
    FreeAll();
    m_nRawSize = limits.nReadBufferSize + 16;
    m_pRaw = static_cast<unsigned char*>(std::malloc(m_nRawSize));
    m_nTextCapacity = limits.nTextBufferSize;
    m_pText = static_cast<char*>(std::malloc(limits.nTextBufferSize + 32));
    m_pAttrNames = static_cast<char*>(std::malloc(limits.nAttrNameBufferSize + 6));
    m_pAttrValues = static_cast<char*>(std::malloc(limits.nAttrValueBufferSize + 6));
    m_pElements = new PXP_ElementInfo[limits.nMaxDepth + 1];
    m_pAttributes = new PXP_AttributeInfo[limits.nMaxAttributes + 1];
    m_pNamespaces = new PXP_NamespaceInfo[limits.nMaxNamespaces + 1];
    m_pEntities = new PXP_EntityInfo[limits.nMaxEntities + 1];
    if (m_pRaw == nullptr || m_pText == nullptr || m_pAttrNames == nullptr || m_pAttrValues == nullptr ||
        m_pElements == nullptr || m_pAttributes == nullptr || m_pNamespaces == nullptr || m_pEntities == nullptr) {
        FreeAll();
        m_nError = PXP_MEMORY_ALLOCATION_ERROR;
        m_nEvent = PXP_EVENT_ERROR;
        return 0;
    }
    m_pText[0] = 0;
    m_Limits = limits;
    m_Allocated = limits;
    m_bAllocated = true;
    return 1;
}

// ---------------------------------------------------------------------------
// Input

int PXP_Parser::SetInputStream(PXP_InputStream* pStream)
{
    if (!m_bAllocated && Initialize(nullptr) == 0)
        return 0;
    if (m_pStream != nullptr || m_nEvent != PXP_EVENT_INITIAL)
        Initialize(&m_Limits);
    if (pStream == nullptr) {
        m_nError = PXP_INPUT_STREAM_ERROR;
        m_nEvent = PXP_EVENT_ERROR;
        return 0;
    }
    // The first bytes decide the encoding: 16 are enough to see a byte-order
    // mark followed by "<?xml" and a blank in UTF-16.
    const int32_t nWant = 16;
    int32_t nRead = 0;
    while (nRead < nWant) {
        int32_t r = pStream->Read(m_pRaw + nRead, nWant - nRead);
        if (r < 0 && nRead == 0) {
            m_nError = PXP_INPUT_STREAM_ERROR;
            m_nEvent = PXP_EVENT_ERROR;
            return 0;
        }
        if (r <= 0) {
            m_bInputEnded = true;
            break;
        }
        nRead += (r > nWant - nRead) ? nWant - nRead : r;
    }
    m_pRaw[nRead] = 0;
    m_pRaw[nRead + 1] = 0;
    m_pStream = pStream;
    if (!Detect(nRead))
        return 0;
    Settle();
    return 1;
}

bool PXP_Parser::Detect(int32_t nRead)
{
    const unsigned char* b = m_pRaw;
    const int32_t n = nRead;
    int32_t nSkip = 0;
    bool bDecl = false;
    auto match8 = [&](int32_t at) {
        return n >= at + 6 && std::memcmp(b + at, "<?xml", 5) == 0 && IsBlank(b[at + 5]);
    };
    auto match16 = [&](int32_t at, bool bBig) {
        static const char kDecl[] = "<?xml";
        if (n < at + 12)
            return false;
        for (int i = 0; i < 6; ++i) {
            unsigned char hi = b[at + 2 * i + (bBig ? 0 : 1)];
            unsigned char lo = b[at + 2 * i + (bBig ? 1 : 0)];
            if (hi != 0)
                return false;
            if (i < 5 ? lo != static_cast<unsigned char>(kDecl[i]) : !IsBlank(lo))
                return false;
        }
        return true;
    };
    if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        m_nEncoding = PXP_CHARSET_UTF8;
        nSkip = 3;
        bDecl = match8(3);
    } else if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        m_nEncoding = PXP_CHARSET_UTF16LE;
        nSkip = 2;
        bDecl = match16(2, false);
    } else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
        m_nEncoding = PXP_CHARSET_UTF16BE;
        nSkip = 2;
        bDecl = match16(2, true);
    } else if (match8(0)) {
        m_nEncoding = PXP_CHARSET_UNDECIDED;
        bDecl = true;
    } else if (n >= 10 && std::memcmp(b, "<\0?\0x\0m\0l\0", 10) == 0) {
        m_nEncoding = PXP_CHARSET_UTF16LE;
        bDecl = match16(0, false);
    } else if (n >= 10 && std::memcmp(b, "\0<\0?\0x\0m\0l", 10) == 0) {
        m_nEncoding = PXP_CHARSET_UTF16BE;
        bDecl = match16(0, true);
    } else {
        m_nEncoding = PXP_CHARSET_UTF8;
    }
    m_nDocState = bDecl ? 3 : 0;
    m_bByteOrderMark = nSkip > 0;
    m_pWork = m_pRaw;
    m_pPos = m_pRaw + nSkip;
    m_pEnd = m_pRaw + n;
    // The stream ends its bytes with the end-of-input mark.
    m_bNothingRead = n == nSkip || (n == nSkip + 1 && b[nSkip] == PXP_END_OF_INPUT && m_bInputEnded);
    if (m_nEncoding == PXP_CHARSET_UTF16LE || m_nEncoding == PXP_CHARSET_UTF16BE) {
        if (!CreateTranslater(2))
            return false;
        return TranslateRest();
    }
    return true;
}

bool PXP_Parser::CreateTranslater(uint32_t /*nFactor*/)
{
    delete m_pTranslater;
    m_pTranslater = nullptr;
    std::free(m_pTrans);
    // Room for a whole raw buffer (a chunk and the carried bytes) at the
    // largest expansion, whatever the encoding.
    m_nTransCapacity = PXP_TRANSLATE_EXPANSION * m_nRawSize + 8;
    m_pTrans = static_cast<unsigned char*>(std::malloc(m_nTransCapacity + 8));
    m_pTranslater = new PXP_EncodeTranslater;
    if (m_pTrans == nullptr || m_pTranslater == nullptr) {
        delete m_pTranslater;
        m_pTranslater = nullptr;
        std::free(m_pTrans);
        m_pTrans = nullptr;
        m_nError = PXP_MEMORY_ALLOCATION_ERROR;
        m_nEvent = PXP_EVENT_ERROR;
        return false;
    }
    m_pTranslater->SetEncoding(m_nEncoding);
    return true;
}

// Translates the raw bytes from the current position on into the working
// buffer; the current character stays the current one.
bool PXP_Parser::TranslateRest()
{
    LeaveChunk(m_pPos);
    int32_t nLength = static_cast<int32_t>(m_pEnd - m_pPos);
    // The bytes may lie in the raw buffer itself: move them to its start first.
    std::memmove(m_pRaw, m_pPos, static_cast<size_t>(nLength));
    int32_t nConsumed = 0;
    int32_t nOut = m_pTranslater->Translate(m_pRaw, nLength, m_pTrans, nConsumed, false);
    if (nOut < 0)
        nOut = 0;
    m_nCarry = nLength - nConsumed;
    std::memcpy(m_Carry, m_pRaw + nConsumed, static_cast<size_t>(m_nCarry));
    m_pWork = m_pTrans;
    m_pPos = m_pTrans;
    m_pEnd = m_pTrans + nOut;
    m_pEnd[0] = 0;
    m_pEnd[1] = 0;
    return true;
}

void PXP_Parser::LeaveChunk(const unsigned char* pTo)
{
    if (m_pLineStart != nullptr)
        m_nColumnBefore = static_cast<uint32_t>(pTo - m_pLineStart);
    else if (m_pWork != nullptr)
        m_nColumnBefore += static_cast<uint32_t>(pTo - m_pWork);
    m_pLineStart = nullptr;
}

uint32_t PXP_Parser::GetLine() const
{
    return m_nHeldLine != 0 ? m_nHeldLine : 1 + m_nLines;
}

uint32_t PXP_Parser::GetColumn() const
{
    if (m_nHeldLine != 0)
        return m_nHeldColumn;
    if (m_pWork == nullptr)
        return 1;
    if (m_pLineStart != nullptr)
        return static_cast<uint32_t>(m_pPos - m_pLineStart) + 1;
    return m_nColumnBefore + static_cast<uint32_t>(m_pPos - m_pWork) + 1;
}

uint32_t PXP_Parser::ColumnBack(uint32_t nBytes) const
{
    uint32_t nColumn = GetColumn();
    return nColumn > nBytes ? nColumn - nBytes : 1;
}

void PXP_Parser::Mark(uint32_t nBack)
{
    m_nMarkLine = GetLine();
    m_nMarkColumn = ColumnBack(nBack);
}

void PXP_Parser::Refill()
{
    if (m_pWork != nullptr && m_pEnd > m_pWork)
        LeaveChunk(m_pEnd);
    unsigned char* pRaw = m_pRaw;
    const int32_t nChunk = static_cast<int32_t>(m_Limits.nReadBufferSize);
    for (;;) {
        int32_t nCarry = m_nCarry;
        std::memcpy(pRaw, m_Carry, static_cast<size_t>(nCarry));
        m_nCarry = 0;
        int32_t n = 0;
        if (!m_bInputEnded && m_pStream != nullptr) {
            if (m_nEncoding == PXP_CHARSET_UNDECIDED) {
                // Nothing behind the declaration is read before its encoding is known.
                while (n < nChunk) {
                    int32_t r = m_pStream->Read(pRaw + nCarry + n, 1);
                    if (r <= 0)
                        break;
                    ++n;
                    if (pRaw[nCarry + n - 1] == '>')
                        break;
                }
            } else {
                int32_t r = m_pStream->Read(pRaw + nCarry, nChunk);
                n = r < 0 ? 0 : (r > nChunk ? nChunk : r);
            }
            if (n == 0)
                m_bInputEnded = true;
        }
        const int32_t nTotal = nCarry + n;
        const bool bFinal = (n == 0);
        if (m_pTranslater != nullptr && m_nEncoding >= PXP_CHARSET_UTF16LE && m_nEncoding <= PXP_CHARSET_EUC_JP) {
            int32_t nConsumed = 0;
            int32_t nOut = m_pTranslater->Translate(pRaw, nTotal, m_pTrans, nConsumed, bFinal);
            if (nOut < 0)
                nOut = 0;
            m_nCarry = nTotal - nConsumed;
            std::memcpy(m_Carry, pRaw + nConsumed, static_cast<size_t>(m_nCarry));
            if (nOut == 0 && !bFinal)
                continue;  // only part of a character so far
            m_pWork = m_pTrans;
            m_pEnd = m_pTrans + nOut;
        } else {
            m_pWork = pRaw;
            m_pEnd = pRaw + nTotal;
        }
        m_pEnd[0] = 0;
        m_pEnd[1] = 0;
        if (m_pEnd == m_pWork) {
            m_pWork[0] = PXP_END_OF_INPUT;
            m_pEnd = m_pWork + 1;
            m_pEnd[0] = 0;
            m_pEnd[1] = 0;
        }
        m_pPos = m_pWork;
        return;
    }
}

// Makes the byte at the current position ready: refills at the end of the
// chunk, and turns a byte that is not allowed into the end of the input.
void PXP_Parser::Settle()
{
    for (;;) {
        unsigned char c = *m_pPos;
        if (c == 0) {
            if (m_pPos >= m_pEnd) {
                Refill();
                continue;
            }
            // A NUL is never legal in XML.
            *m_pPos = PXP_END_OF_INPUT;
            m_bBadInput = true;
            m_nBadByte = 0;
            m_bBadCut = false;
            return;
        }
        if (m_nEncoding == PXP_CHARSET_UTF8 && m_pCurEntity == nullptr) {
            // Only the shortest form of a scalar value is UTF-8: overlong
            // forms, encoded surrogates and values above U+10FFFF are
            // refused by the range allowed for the byte after the lead.
            bool bBad;
            if (c < 0x80) {
                bBad = (m_nUtf8Need != 0);
            } else if (c < 0xC0) {
                bBad = (m_nUtf8Need == 0 || c < m_nUtf8Low || c > m_nUtf8High);
                if (!bBad) {
                    --m_nUtf8Need;
                    m_nUtf8Low = 0x80;
                    m_nUtf8High = 0xBF;
                }
            } else if (c >= 0xC2 && c <= 0xF4) {
                bBad = (m_nUtf8Need != 0);
                m_nUtf8Need = c < 0xE0 ? 1 : (c < 0xF0 ? 2 : 3);
                m_nUtf8Low = c == 0xE0 ? 0xA0 : (c == 0xF0 ? 0x90 : 0x80);
                m_nUtf8High = c == 0xED ? 0x9F : (c == 0xF4 ? 0x8F : 0xBF);
            } else {
                bBad = true;
            }
            if (bBad) {
                *m_pPos = PXP_END_OF_INPUT;
                m_bBadInput = true;
                m_nBadByte = c;
                m_bBadCut = m_nUtf8Need != 0 && (c < 0x80 || c >= 0xC0);
                m_nUtf8Need = 0;
            }
        }
        return;
    }
}

bool PXP_Parser::ReadsEncoding(const char* szName)
{
    static const char* const kNames[] = {"UTF-8", "UTF-16", "UTF-16LE", "UTF-16BE", "SHIFT_JIS", "EUC-JP"};
    for (const char* szKnown : kNames) {
        if (szName != nullptr && strcasecmp(szName, szKnown) == 0)
            return true;
    }
    return false;
}

bool PXP_Parser::SetDeclaredEncoding(const char* szUpper)
{
    if (std::strcmp(szUpper, "UTF-8") == 0) {
        if (m_nEncoding == PXP_CHARSET_UNDECIDED) {
            m_nEncoding = PXP_CHARSET_UTF8;
            m_nUtf8Need = 0;
            return true;
        }
        if (m_nEncoding == PXP_CHARSET_UTF8)
            return true;
    } else if (std::strcmp(szUpper, "UTF-16") == 0) {
        if (m_nEncoding == PXP_CHARSET_UTF16LE || m_nEncoding == PXP_CHARSET_UTF16BE)
            return true;
    } else if (std::strcmp(szUpper, "UTF-16LE") == 0) {
        if (m_nEncoding == PXP_CHARSET_UTF16LE)
            return true;
    } else if (std::strcmp(szUpper, "UTF-16BE") == 0) {
        if (m_nEncoding == PXP_CHARSET_UTF16BE)
            return true;
    } else if (std::strcmp(szUpper, "SHIFT_JIS") == 0 || std::strcmp(szUpper, "EUC-JP") == 0) {
        if (m_nEncoding == PXP_CHARSET_UNDECIDED) {
            m_nEncoding = (szUpper[0] == 'S') ? PXP_CHARSET_SHIFT_JIS : PXP_CHARSET_EUC_JP;
            if (!CreateTranslater(3))
                return false;
            return TranslateRest();
        }
    }
    return Fail(PXP_ENCODING_DISAGREEMENT_ERROR);
}

// ---------------------------------------------------------------------------
// Tokenizer

bool PXP_Parser::Fail(uint32_t nError)
{
    if (m_nError == PXP_NO_ERROR) {
        m_nError = nError;
        // A byte that is no character ended the input: whatever the
        // tokenizer then missed, that byte is the fault.
        if (nError == PXP_SYNTAX_ERROR && m_bBadInput) {
            if (m_nBadByte == 0)
                std::snprintf(m_szErrorDetail, sizeof(m_szErrorDetail), "a NUL byte, which XML does not allow");
            else if (m_bBadCut)
                std::snprintf(m_szErrorDetail, sizeof(m_szErrorDetail),
                              "a UTF-8 sequence cut short (byte 0x%02X where it goes on)", m_nBadByte);
            else if (m_nEncoding == PXP_CHARSET_UTF8)
                std::snprintf(m_szErrorDetail, sizeof(m_szErrorDetail), "a byte (0x%02X) that is not valid UTF-8",
                              m_nBadByte);
        }
    }
    return false;
}

bool PXP_Parser::FailWith(const char* szFormat, ...)
{
    // A syntax error said without words yet takes the first words found.
    if (m_nError != PXP_NO_ERROR && (m_nError != PXP_SYNTAX_ERROR || m_szErrorDetail[0] != 0))
        return false;
    if (m_bBadInput)
        return Fail(PXP_SYNTAX_ERROR);
    m_nError = PXP_SYNTAX_ERROR;
    va_list args;
    va_start(args, szFormat);
    std::vsnprintf(m_szErrorDetail, sizeof(m_szErrorDetail), szFormat, args);
    va_end(args);
    return false;
}

bool PXP_Parser::SkipBlanks()
{
    if (!IsBlank(Cur()))
        return false;
    // A run of blanks straight from the chunk: plain ASCII needs no settling
    // until the byte behind it.
    unsigned char* p = m_pPos;
    do {
        if (*p == '\n')
            NewLine(p + 1);
        ++p;
    } while (p < m_pEnd && IsBlank(*p));
    m_pPos = p;
    Settle();
    while (IsBlank(Cur()))
        Advance();
    return true;
}

// Matches sz from the current character on; the current character is left on
// the last byte matched.
bool PXP_Parser::Expect(const char* sz)
{
    for (;;) {
        if (Cur() != static_cast<unsigned char>(*sz))
            return Fail(PXP_SYNTAX_ERROR);
        if (*++sz == 0)
            return true;
        Advance();
    }
}

uint32_t PXP_Parser::Next()
{
    if (m_nEvent == PXP_EVENT_ERROR || m_nEvent == PXP_EVENT_DOCUMENT_DONE)
        return m_nEvent;
    if (m_pPos == nullptr) {
        Fail(PXP_INPUT_STREAM_ERROR);
        m_nEvent = PXP_EVENT_ERROR;
        return m_nEvent;
    }
    uint32_t nEvent = PXP_EVENT_ERROR;
    bool bOk = true;

    // Finish the previous event.
    switch (m_nEvent) {
    case PXP_EVENT_START_TAG:
        if (m_bEmptyElement) {
            m_bEmptyElement = false;
            m_nEvent = PXP_EVENT_CLOSE_TAG;
            return m_nEvent;
        }
        break;
    case PXP_EVENT_CLOSE_TAG:
        if (m_nDocState == 1 && m_nDepth > 0) {
            m_nNsCount -= m_pElements[m_nDepth - 1].GetDeclaredCount();
            if (m_nNsCount < 0)
                m_nNsCount = 0;
            if (--m_nDepth == 0)
                m_nDocState = 2;
        }
        break;
    case PXP_EVENT_TEXT:
    case PXP_EVENT_COMMENT:
    case PXP_EVENT_CDATA:
        if (m_bContinued) {
            if (m_nEvent == PXP_EVENT_TEXT)
                bOk = ReadText();
            else if (m_nEvent == PXP_EVENT_COMMENT)
                bOk = ReadComment();
            else
                bOk = ReadCData();
            if (!bOk) {
                FailSyntax();
                m_nEvent = PXP_EVENT_ERROR;
                return m_nEvent;
            }
            if (m_nTextLength > 0 || m_bContinued)
                return m_nEvent;
            // The construct ended right behind the cut: nothing is left of it.
        }
        break;
    default:
        break;
    }

    if (m_nDocState == 3) {
        if (ReadDeclaration()) {
            m_nDocState = 0;
            m_nEvent = PXP_EVENT_XML_DECLARATION;
        } else {
            Fail(PXP_SYNTAX_ERROR);
            m_nEvent = PXP_EVENT_ERROR;
        }
        return m_nEvent;
    }

    if (m_bStepOver) {
        m_bStepOver = false;
        Advance();
    }
    if (Cur() == '<')
        m_bAtTag = true;

    if (!m_bAtTag) {
        if (m_nDocState == 1) {
            if (!ReadText()) {
                bOk = false;
            } else if (m_nTextLength > 0 || m_bContinued) {
                m_nEvent = PXP_EVENT_TEXT;
                return m_nEvent;
            }
        } else if (m_bOuterBlanks && IsBlank(Cur())) {
            ReadOuterBlanks();
            m_nEvent = PXP_EVENT_TEXT;
            return m_nEvent;
        } else {
            SkipBlanks();
            unsigned char c = Cur();
            if (c == '<') {
                m_bAtTag = true;
            } else if (c == PXP_END_OF_INPUT && m_nDocState == 2 && !m_bBadInput) {
                m_nEvent = PXP_EVENT_DOCUMENT_DONE;
                return m_nEvent;
            } else if (c == PXP_END_OF_INPUT && m_nDocState == 0 && !m_bBadInput) {
                FailWith(m_bNothingRead ? "the document is empty" : "the document has no root element");
                bOk = false;
            } else {
                bOk = false;
            }
        }
    }

    if (bOk && m_bAtTag) {
        m_bAtTag = false;
        Advance();
        unsigned char c = Cur();
        if (c == '/') {
            if (m_nDocState == 1) {
                Advance();
                bOk = ReadEndTag();
            } else {
                bOk = false;
            }
            nEvent = PXP_EVENT_CLOSE_TAG;
            m_bStepOver = true;
        } else if (c == '?') {
            Mark(1);
            bOk = SkipProcessingInstruction();
            nEvent = PXP_EVENT_PROCESSING_INSTRUCTION;
            m_bStepOver = true;
        } else if (c == '!') {
            Advance();
            c = Cur();
            if (c == '-') {
                Advance();
                if (Cur() == '-') {
                    Advance();
                    m_nDashes = 0;
                    bOk = ReadComment();
                } else {
                    bOk = false;
                }
                nEvent = PXP_EVENT_COMMENT;
            } else if (c == '[' && m_nDocState == 1) {
                Mark(2);
                bOk = Expect("[CDATA[");
                if (bOk) {
                    Advance();
                    m_nBrackets = 0;
                    bOk = ReadCData();
                }
                nEvent = PXP_EVENT_CDATA;
            } else if (c == 'D' && m_nDocState == 0 && !m_bDoctypeSeen) {
                Mark(2);
                bOk = Expect("DOCTYPE");
                if (bOk) {
                    Advance();
                    bOk = IsBlank(Cur()) && ReadDoctype();
                }
                nEvent = PXP_EVENT_DOCTYPE;
                m_bStepOver = true;
            } else {
                bOk = false;
            }
        } else if (m_nDocState == 2) {
            bOk = FailSecondRoot();
        } else {
            bOk = ReadStartTag();
            if (bOk)
                m_nDocState = 1;
            nEvent = PXP_EVENT_START_TAG;
            m_bStepOver = true;
        }
    }

    if (!bOk) {
        FailSyntax();
        nEvent = PXP_EVENT_ERROR;
    }
    m_nEvent = nEvent;
    return m_nEvent;
}

void PXP_Parser::FailSyntax()
{
    if (Cur() == PXP_END_OF_INPUT && m_nDocState == 1 && m_nDepth > 0) {
        const PXP_ElementInfo& open = m_pElements[m_nDepth - 1];
        const char* szPrefix = open.GetPrefix();
        FailWith("<%s%s%s> (line %u) is not closed: the document ends before its end tag",
                 szPrefix != nullptr ? szPrefix : "", szPrefix != nullptr ? ":" : "",
                 open.GetName(), open.GetLine());
    }
    Fail(PXP_SYNTAX_ERROR);
}

uint32_t PXP_Parser::ReadWrittenName(char* szName, uint32_t n)
{
    // The error is where the name went wrong, not behind it.
    if (m_nHeldLine == 0) {
        const uint32_t nLine = GetLine();
        m_nHeldColumn = GetColumn();
        m_nHeldLine = nLine;
    }
    for (unsigned char c = Cur(); c > 0x20 && c != '>' && c != '<' && c != '/' && c != '=' &&
                                  c != PXP_END_OF_INPUT && (n < kWrittenNameBytes || (c & 0xC0) == 0x80);
         c = Cur()) {
        szName[n++] = static_cast<char>(c);
        Advance();
    }
    szName[n] = 0;
    return n;
}

bool PXP_Parser::FailEndTag(const char* szExpected, uint32_t nMatched, uint32_t nLine)
{
    char szWritten[kWrittenNameBytes + 8];
    std::memcpy(szWritten, szExpected, nMatched);
    if (ReadWrittenName(szWritten, nMatched) == 0 && Cur() == PXP_END_OF_INPUT)
        return Fail(PXP_SYNTAX_ERROR);  // said as the element not closed
    if (szWritten[0] == 0)
        return FailWith("an end tag without a name, where </%s> (of line %u) was expected", szExpected, nLine);
    return FailWith("the end tag </%s> does not match the start tag <%s> (line %u)", szWritten, szExpected, nLine);
}

bool PXP_Parser::FailSecondRoot()
{
    char szName[kWrittenNameBytes + 8];
    if (ReadWrittenName(szName, 0) == 0)
        return Fail(PXP_SYNTAX_ERROR);
    PXP_ElementInfo& root = m_pElements[0];
    const char* szPrefix = root.GetPrefix();
    return FailWith("a second root element <%s>, after <%s%s%s> (line %u): a document has one root element", szName,
                    szPrefix != nullptr ? szPrefix : "", szPrefix != nullptr ? ":" : "", root.GetNameBuffer(),
                    root.GetLine());
}

bool PXP_Parser::ReadDeclaration()
{
    if (!Expect("<?xml"))
        return false;
    KeepDeclared("<?xml", 5);
    Advance();
    bool bVersion = false;
    bool bEncoding = false;
    bool bStandalone = false;
    for (;;) {
        bool bBlank = SkipDeclaredBlanks();
        unsigned char c = Cur();
        if (c == '?') {
            Advance();
            if (Cur() != '>' || !bVersion)
                return Fail(PXP_SYNTAX_ERROR);
            KeepDeclared("?>", 2);
            break;
        }
        if (!bBlank)
            return Fail(PXP_SYNTAX_ERROR);
        char szName[16];
        size_t n = 0;
        while (!IsBlank(c = Cur()) && c != '=' && c != '?' && c != PXP_END_OF_INPUT) {
            if (n + 1 >= sizeof(szName))
                return Fail(PXP_SYNTAX_ERROR);
            szName[n++] = static_cast<char>(c);
            Advance();
        }
        szName[n] = 0;
        KeepDeclared(szName, static_cast<uint32_t>(n));
        if (std::strcmp(szName, "version") == 0) {
            if (bVersion || bEncoding || bStandalone || !ReadDeclValue(m_szVersion, 8))
                return Fail(PXP_SYNTAX_ERROR);
            m_pVersion = m_szVersion;
            bVersion = true;
        } else if (std::strcmp(szName, "encoding") == 0) {
            if (!bVersion || bEncoding || bStandalone || !ReadDeclValue(m_szEncoding, 12))
                return Fail(PXP_SYNTAX_ERROR);
            m_pEncodingText = m_szEncoding;
            bEncoding = true;
            char szUpper[13];
            size_t i = 0;
            for (; m_szEncoding[i] != 0; ++i) {
                unsigned char u = static_cast<unsigned char>(m_szEncoding[i]);
                szUpper[i] = static_cast<char>(u > '`' ? u - 0x20 : u);
            }
            szUpper[i] = 0;
            if (!SetDeclaredEncoding(szUpper))
                return false;
        } else if (szName[0] == 's') {
            if (!bVersion || bStandalone)
                return Fail(PXP_SYNTAX_ERROR);
            m_nStandaloneLine = GetLine();
            m_nStandaloneColumn = ColumnBack(static_cast<uint32_t>(n));
            while (Cur() != '?') {
                if (Cur() == PXP_END_OF_INPUT)
                    return Fail(PXP_SYNTAX_ERROR);
                KeepDeclared(reinterpret_cast<const char*>(m_pPos), 1);
                Advance();
            }
            bStandalone = true;
            continue;
        } else {
            return Fail(PXP_SYNTAX_ERROR);
        }
        Advance();  // past the closing quote
    }
    if (m_nEncoding == PXP_CHARSET_UNDECIDED) {
        m_nEncoding = PXP_CHARSET_UTF8;
        m_nUtf8Need = 0;
    }
    m_bStepOver = true;
    return true;
}

bool PXP_Parser::ReadDeclValue(char* pDst, uint32_t nMax)
{
    SkipDeclaredBlanks();
    if (Cur() != '=')
        return Fail(PXP_SYNTAX_ERROR);
    KeepDeclared("=", 1);
    Advance();
    SkipDeclaredBlanks();
    const char q = static_cast<char>(Cur());
    if (q != '"' && q != '\'')
        return Fail(PXP_SYNTAX_ERROR);
    KeepDeclared(&q, 1);
    Advance();
    uint32_t n = 0;
    unsigned char c;
    while ((c = Cur()) != static_cast<unsigned char>(q)) {
        if (c < 0x21 || c > 0x7E || c == '>')
            return Fail(PXP_SYNTAX_ERROR);
        if (n >= nMax)
            return Fail(PXP_BUFFER_OVERFLOW_ERROR);
        pDst[n++] = static_cast<char>(c);
        Advance();
    }
    if (n == 0)
        return Fail(PXP_SYNTAX_ERROR);
    pDst[n] = 0;
    KeepDeclared(pDst, n);
    KeepDeclared(&q, 1);
    return true;
}

void PXP_Parser::KeepDeclared(const char* p, uint32_t n)
{
    if (m_nDeclarationLength > PXP_MAX_DECLARATION_LENGTH || n > PXP_MAX_DECLARATION_LENGTH - m_nDeclarationLength) {
        m_nDeclarationLength = PXP_MAX_DECLARATION_LENGTH + 1;
        return;
    }
    std::memcpy(m_szDeclaration + m_nDeclarationLength, p, n);
    m_nDeclarationLength += n;
    m_szDeclaration[m_nDeclarationLength] = 0;
}

// SkipBlanks in the declaration, which keeps what it passes.
bool PXP_Parser::SkipDeclaredBlanks()
{
    bool bBlank = false;
    while (IsBlank(Cur())) {
        KeepDeclared(reinterpret_cast<const char*>(m_pPos), 1);
        Advance();
        bBlank = true;
    }
    return bBlank;
}

// Blanks outside the root element as text: at most a text buffer of them,
// the rest comes as the next text.
void PXP_Parser::ReadOuterBlanks()
{
    uint32_t n = 0;
    for (unsigned char c = Cur(); n < m_nTextCapacity && IsBlank(c); c = Cur()) {
        Advance();
        if (c == '\r' && Cur() == '\n')
            Advance();
        m_pText[n++] = c == '\r' ? '\n' : static_cast<char>(c);
    }
    m_pText[n] = 0;
    m_nTextLength = n;
    m_bBlankOnly = true;
    m_bContinued = false;
}

PXP_NamespaceInfo* PXP_Parser::LookupBinding(const char* pPrefix, uint32_t nLength) const
{
    for (int32_t i = m_nNsCount - 1; i >= 0; --i) {
        PXP_NamespaceInfo& ns = m_pNamespaces[i];
        const char* p = ns.GetPrefix();
        if (pPrefix == nullptr) {
            if (p == nullptr)
                return &ns;
        } else if (p != nullptr && std::strlen(p) == nLength && std::memcmp(p, pPrefix, nLength) == 0) {
            return &ns;
        }
    }
    return nullptr;
}

bool PXP_Parser::ReadStartTag()
{
    m_nAttrCount = 0;
    m_bPrefixedAttrs = false;
    m_nAttrNamesUsed = 0;
    m_nAttrValuesUsed = 0;
    m_bEmptyElement = false;
    unsigned char c = Cur();
    if (c == '>' || c == '<' || c == ':' || c == '/' || IsBlank(c) || c == PXP_END_OF_INPUT)
        return Fail(PXP_SYNTAX_ERROR);
    if (m_nDepth >= static_cast<int32_t>(m_Limits.nMaxDepth))
        return Fail(PXP_BUFFER_OVERFLOW_ERROR);
    PXP_ElementInfo& elem = m_pElements[m_nDepth];
    elem.SetLine(GetLine());
    char* pName = elem.GetNameBuffer();
    uint32_t n = 0;
    uint32_t nPrefix = 0;
    bool bPrefix = false;
    for (;;) {
        c = Cur();
        if (c == '/' || c == '>' || IsBlank(c) || c == PXP_END_OF_INPUT)
            break;
        if (c > 0x20 && c < 0x80 && c != ':' && c != '/' && c != '>') {
            // A run of plain name bytes straight from the chunk.
            unsigned char* p = m_pPos;
            do {
                if (n >= PXP_MAX_NAME_LENGTH)
                    return Fail(PXP_BUFFER_OVERFLOW_ERROR);
                pName[n++] = static_cast<char>(*p++);
            } while (p < m_pEnd && *p > 0x20 && *p < 0x80 && *p != ':' && *p != '/' && *p != '>');
            m_pPos = p - 1;
            Step();
            continue;
        }
        if (c == ':') {
            if (!bPrefix && n > PXP_MAX_PREFIX_LENGTH)
                return Fail(PXP_BUFFER_OVERFLOW_ERROR);
            if (bPrefix && (n == 0 || n > PXP_MAX_PREFIX_LENGTH))
                return Fail(PXP_SYNTAX_ERROR);
            std::memcpy(m_szPrefix, pName, n);
            m_szPrefix[n] = 0;
            nPrefix = n;
            bPrefix = true;
            n = 0;
        } else {
            if (n >= PXP_MAX_NAME_LENGTH)
                return Fail(PXP_BUFFER_OVERFLOW_ERROR);
            pName[n++] = static_cast<char>(c);
        }
        Advance();
    }
    pName[n] = 0;
    if (n == 0)
        return Fail(PXP_SYNTAX_ERROR);

    const int32_t nNsBefore = m_nNsCount;
    for (;;) {
        bool bBlank = SkipBlanks();
        c = Cur();
        if (c == '/') {
            m_bEmptyElement = true;
            Advance();
            break;
        }
        if (c == '>')
            break;
        if (c == '<' || c == PXP_END_OF_INPUT || !bBlank)
            return Fail(PXP_SYNTAX_ERROR);
        if (!ReadAttribute())
            return false;
        Advance();
    }
    if (Cur() != '>')
        return Fail(PXP_SYNTAX_ERROR);

    PXP_NamespaceInfo* pNs = LookupBinding(bPrefix ? m_szPrefix : nullptr, nPrefix);
    if (bPrefix && pNs == nullptr)
        return FailWith("the prefix '%s' of element <%s:%s> is bound to no namespace", m_szPrefix, m_szPrefix, pName);
    elem.Set(pNs, m_nNsCount - nNsBefore, m_pCurEntity);
    if (m_bPrefixedAttrs) {
        for (int32_t i = 0; i < m_nAttrCount; ++i) {
            PXP_AttributeInfo& attr = m_pAttributes[i];
            if (!attr.IsPrefixed())
                continue;
            char* pAttrName = attr.GetName();
            char* pColon = std::strchr(pAttrName, ':');
            PXP_NamespaceInfo* pAttrNs =
                LookupBinding(pAttrName, static_cast<uint32_t>(pColon - pAttrName));
            if (pAttrNs == nullptr)
                return FailWith("the prefix '%.*s' of attribute '%.64s' is bound to no namespace",
                                static_cast<int>(pColon - pAttrName), pAttrName, pAttrName);
            attr.SetName(pColon + 1);
            attr.SetNamespace(pAttrNs);
        }
    }
    ++m_nDepth;
    return true;
}

bool PXP_Parser::ReadAttribute()
{
    const uint32_t nNameCap = m_Limits.nAttrNameBufferSize;
    char* pName = m_pAttrNames + m_nAttrNamesUsed;
    uint32_t n = 0;
    bool bColon = false;
    unsigned char c;
    for (;;) {
        c = Cur();
        if (IsBlank(c) || c == '=')
            break;
        if (c == PXP_END_OF_INPUT)
            return Fail(PXP_SYNTAX_ERROR);
        if (c > 0x20 && c < 0x80) {
            // A run of plain name bytes straight from the chunk.
            unsigned char* p = m_pPos;
            do {
                if (m_nAttrNamesUsed + n + 2 > nNameCap)
                    return Fail(PXP_BUFFER_OVERFLOW_ERROR);
                if (*p == ':')
                    bColon = true;
                pName[n++] = static_cast<char>(*p++);
            } while (p < m_pEnd && *p > 0x20 && *p < 0x80 && *p != '=');
            m_pPos = p - 1;
            Step();
            continue;
        }
        if (m_nAttrNamesUsed + n + 2 > nNameCap)
            return Fail(PXP_BUFFER_OVERFLOW_ERROR);
        if (c == ':')
            bColon = true;
        pName[n++] = static_cast<char>(c);
        Advance();
    }
    if (n == 0)
        return Fail(PXP_SYNTAX_ERROR);
    if (m_nAttrNamesUsed + n + 1 > nNameCap)
        return Fail(PXP_BUFFER_OVERFLOW_ERROR);
    pName[n] = 0;
    m_nAttrNamesUsed += n + 1;
    SkipBlanks();

    bool bDecl = false;
    const char* pDeclPrefix = nullptr;
    uint32_t nDeclPrefix = 0;
    char bPrefixed = 0;
    if (n >= 6 && std::memcmp(pName, "xmlns:", 6) == 0) {
        pDeclPrefix = pName + 6;
        nDeclPrefix = n - 6;
        if (nDeclPrefix == 0 || nDeclPrefix > PXP_MAX_PREFIX_LENGTH)
            return Fail(PXP_BUFFER_OVERFLOW_ERROR);
        if (nDeclPrefix >= 3 && std::memcmp(pDeclPrefix, "xml", 3) == 0)
            return Fail(PXP_SYNTAX_ERROR);
        bDecl = true;
    } else if (n == 5 && std::memcmp(pName, "xmlns", 5) == 0) {
        bDecl = true;
    } else if (bColon && !(n >= 4 && std::memcmp(pName, "xml:", 4) == 0)) {
        bPrefixed = 1;
        m_bPrefixedAttrs = true;
    }

    if (Cur() != '=')
        return Fail(PXP_SYNTAX_ERROR);
    Advance();
    SkipBlanks();
    const unsigned char q = Cur();
    if (q != '"' && q != '\'')
        return Fail(PXP_SYNTAX_ERROR);
    Advance();

    const uint32_t nValueCap = m_Limits.nAttrValueBufferSize;
    char* pValue = m_pAttrValues + m_nAttrValuesUsed;
    uint32_t m = 0;
    for (;;) {
        c = Cur();
        if (c == q)
            break;
        if (c >= 0x20 && c < 0x80 && c != '&' && c != '<') {
            // A run of plain bytes straight from the chunk.
            if (m_nAttrValuesUsed + m + 2 > nValueCap)
                return Fail(PXP_BUFFER_OVERFLOW_ERROR);
            unsigned char* p = m_pPos;
            // As far as the buffer has room; a plain byte behind that fails
            // on the next round.
            size_t nRun = static_cast<size_t>(nValueCap - m_nAttrValuesUsed - m - 1);
            if (nRun > static_cast<size_t>(m_pEnd - p))
                nRun = static_cast<size_t>(m_pEnd - p);
            const unsigned char* const pStop = p + nRun;
            char* d = pValue + m;
            do {
                *d++ = static_cast<char>(*p++);
            } while (p < pStop && (s_AttrClass.m_Class[*p] & 1) != 0);
            m = static_cast<uint32_t>(d - pValue);
            m_pPos = p - 1;
            Step();
            continue;
        }
        if (c == '<' || c == PXP_END_OF_INPUT)
            return Fail(PXP_SYNTAX_ERROR);
        if (c == '&') {
            if (!ReadReference(q, true))
                return false;
            if (m_nAttrValuesUsed + m + m_nReplacement + 1 > nValueCap)
                return Fail(PXP_BUFFER_OVERFLOW_ERROR);
            std::memcpy(pValue + m, m_szReplacement, m_nReplacement);
            m += m_nReplacement;
            Advance();
            continue;
        }
        if (m_nAttrValuesUsed + m + 2 > nValueCap)
            return Fail(PXP_BUFFER_OVERFLOW_ERROR);
        if (c == '\r') {
            pValue[m++] = ' ';
            Advance();
            if (Cur() == '\n')
                Advance();
            continue;
        }
        pValue[m++] = (c == '\t' || c == '\n') ? ' ' : static_cast<char>(c);
        Advance();
    }
    // The terminator needs its byte too: an empty value behind a full
    // buffer does not fit.
    if (m_nAttrValuesUsed + m + 1 > nValueCap)
        return Fail(PXP_BUFFER_OVERFLOW_ERROR);
    pValue[m] = 0;
    m_nAttrValuesUsed += m + 1;

    if (m_nAttrCount >= static_cast<int32_t>(m_Limits.nMaxAttributes))
        return Fail(PXP_BUFFER_OVERFLOW_ERROR);
    for (int32_t i = 0; i < m_nAttrCount; ++i) {
        const char* pOther = m_pAttributes[i].GetName();
        if (pOther[0] == pName[0] && std::strcmp(pOther, pName) == 0)
            return FailWith("attribute '%.64s' appears twice in one tag", pName);
    }
    PXP_AttributeInfo& attr = m_pAttributes[m_nAttrCount++];
    attr.Set(pName, pValue, bPrefixed, nullptr);
    attr.SetValueLength(m);

    if (bDecl) {
        if (m > PXP_MAX_URI_LENGTH)
            return Fail(PXP_BUFFER_OVERFLOW_ERROR);
        if (m_nNsCount >= static_cast<int32_t>(m_Limits.nMaxNamespaces))
            return Fail(PXP_BUFFER_OVERFLOW_ERROR);
        PXP_NamespaceInfo& ns = m_pNamespaces[m_nNsCount++];
        char* pUri = ns.GetURIBuffer();
        std::memcpy(pUri, pValue, m + 1);
        if (pDeclPrefix != nullptr) {
            char* pPrefix = ns.GetPrefixBuffer();
            std::memcpy(pPrefix, pDeclPrefix, nDeclPrefix);
            pPrefix[nDeclPrefix] = 0;
            ns.Set(pPrefix, pUri);
        } else {
            ns.Set(nullptr, pUri);
        }
    }
    return true;
}

bool PXP_Parser::ReadEndTag()
{
    if (m_nDepth < 1)
        return Fail(PXP_SYNTAX_ERROR);
    PXP_ElementInfo& elem = m_pElements[m_nDepth - 1];
    // The name the tag must give: the open element's, with its prefix.
    char szExpected[PXP_MAX_PREFIX_LENGTH + PXP_MAX_NAME_LENGTH + 2];
    uint32_t nExpected = 0;
    if (const char* pPrefix = elem.GetPrefix()) {
        const size_t nPrefix = std::strlen(pPrefix);
        std::memcpy(szExpected, pPrefix, nPrefix);
        szExpected[nPrefix] = ':';
        nExpected = static_cast<uint32_t>(nPrefix + 1);
    }
    const char* pName = elem.GetNameBuffer();
    const size_t nName = std::strlen(pName);
    std::memcpy(szExpected + nExpected, pName, nName + 1);
    nExpected += static_cast<uint32_t>(nName);
    uint32_t i = 0;
    {
        // The name straight from the chunk when it lies there whole in plain
        // ASCII; otherwise byte by byte below.
        const unsigned char* p = m_pPos;
        while (i < nExpected && p + i < m_pEnd && p[i] == static_cast<unsigned char>(szExpected[i]) && p[i] < 0x80)
            ++i;
        if (i > 1) {
            m_pPos += i - 1;
            Step();
        } else {
            i = 0;
        }
    }
    for (; i < nExpected; ++i) {
        if (Cur() != static_cast<unsigned char>(szExpected[i]))
            return FailEndTag(szExpected, i, elem.GetLine());
        Advance();
    }
    const unsigned char c = Cur();
    if (c > 0x20 && c != '>' && c != '<' && c != '/' && c != '=' && c != PXP_END_OF_INPUT)
        return FailEndTag(szExpected, nExpected, elem.GetLine());
    SkipBlanks();
    if (Cur() != '>' || elem.GetEntity() != m_pCurEntity)
        return Fail(PXP_SYNTAX_ERROR);
    return true;
}

// Appends the continuation bytes that the last character of a cut piece
// still lacks, so that no character is split between pieces.
void PXP_Parser::CompleteUtf8()
{
    uint32_t n = m_nTextLength;
    uint32_t nStart = n;
    int nBack = 0;
    while (nStart > 0 && nBack < 4 && (static_cast<unsigned char>(m_pText[nStart - 1]) & 0xC0) == 0x80) {
        --nStart;
        ++nBack;
    }
    if (nStart == 0)
        return;
    unsigned char lead = static_cast<unsigned char>(m_pText[nStart - 1]);
    if (lead < 0xC0)
        return;
    uint32_t nNeed = lead < 0xE0 ? 2 : (lead < 0xF0 ? 3 : 4);
    uint32_t nHave = n - (nStart - 1);
    while (nHave < nNeed) {
        unsigned char c = Cur();
        if ((c & 0xC0) != 0x80)
            break;
        m_pText[n++] = static_cast<char>(c);
        ++nHave;
        Advance();
    }
    m_nTextLength = n;
}

bool PXP_Parser::ReadText()
{
    char* t = m_pText;
    const uint32_t nCap = m_nTextCapacity;
    uint32_t n = 0;
    bool bBlank = true;
    m_bContinued = false;
    if (m_nPending != 0) {
        std::memcpy(t, m_szPending, m_nPending);
        n = m_nPending;
        m_nPending = 0;
        bBlank = false;
    }
    for (;;) {
        unsigned char c = Cur();
        if (c == '<') {
            m_bAtTag = true;
            break;
        }
        if (n >= nCap) {
            m_nTextLength = n;
            CompleteUtf8();
            n = m_nTextLength;
            if (Cur() == '<')
                m_bAtTag = true;  // the text ends right here
            else
                m_bContinued = true;
            break;
        }
        unsigned char k = s_TextClass.m_Class[c];
        if (k != 0) {
            // A run of plain bytes straight from the chunk.
            unsigned char* p = m_pPos;
            size_t nRun = nCap - n;
            if (nRun > static_cast<size_t>(m_pEnd - p))
                nRun = static_cast<size_t>(m_pEnd - p);
            const unsigned char* const pStop = p + nRun;
            char* d = t + n;
            unsigned char nClasses = 0;
            do {
                nClasses |= k;
                *d++ = static_cast<char>(*p++);
                if (p >= pStop)
                    break;
                k = s_TextClass.m_Class[*p];
            } while (k != 0);
            if ((nClasses & 1) != 0)
                bBlank = false;
            n = static_cast<uint32_t>(d - t);
            m_pPos = p - 1;
            Step();
            continue;
        }
        if (c >= 0x80) {
            // A byte of a multibyte character, settled (checked) one by one.
            t[n++] = static_cast<char>(c);
            bBlank = false;
            Step();
            continue;
        }
        switch (c) {
        case PXP_END_OF_INPUT:
            return Fail(PXP_SYNTAX_ERROR);
        case '\n':
            t[n++] = '\n';
            Advance();
            continue;
        case '\r':
            t[n++] = '\n';
            Advance();
            if (Cur() == '\n')
                Advance();
            continue;
        case '&':
            if (!ReadReference('<', false))
                return false;
            Advance();
            bBlank = false;
            if (n + m_nReplacement <= nCap || n == 0) {
                std::memcpy(t + n, m_szReplacement, m_nReplacement);
                n += m_nReplacement;
                continue;
            }
            std::memcpy(m_szPending, m_szReplacement, m_nReplacement);
            m_nPending = m_nReplacement;
            m_bContinued = true;
            break;
        default:
            t[n++] = static_cast<char>(c);
            bBlank = false;
            Step();
            continue;
        }
        break;
    }
    t[n] = 0;
    m_nTextLength = n;
    m_bBlankOnly = bBlank;
    return true;
}

// Comment and CDATA content: the text up to two marks ("--" or "]]") and a
// ">", in pieces of at most the text capacity. Marks are held back (in
// nHeld, kept across pieces) until it is known whether they end the section.
bool PXP_Parser::ReadMarkedContent(char cMark, uint32_t& nHeld)
{
    char* t = m_pText;
    const uint32_t nCap = m_nTextCapacity;
    uint32_t n = 0;
    bool bBlank = true;
    m_bContinued = false;
    for (;;) {
        unsigned char c = Cur();
        if (c == PXP_END_OF_INPUT)
            return Fail(PXP_SYNTAX_ERROR);
        if (c == static_cast<unsigned char>(cMark)) {
            // At most two marks are held back: one more releases the first.
            if (nHeld == 2) {
                if (n >= nCap) {
                    m_nTextLength = n;
                    CompleteUtf8();
                    n = m_nTextLength;
                    m_bContinued = true;
                    break;
                }
                t[n++] = cMark;
                bBlank = false;
            } else {
                ++nHeld;
            }
            Advance();
            continue;
        }
        if (c == '>' && nHeld >= 2) {
            nHeld = 0;
            m_bStepOver = true;
            break;
        }
        if (n >= nCap) {
            m_nTextLength = n;
            CompleteUtf8();
            n = m_nTextLength;
            // A character completed behind the cut may be the last one.
            while (Cur() == static_cast<unsigned char>(cMark) && nHeld < 2) {
                ++nHeld;
                Advance();
            }
            if (Cur() == '>' && nHeld >= 2) {
                nHeld = 0;
                m_bStepOver = true;
            } else {
                m_bContinued = true;
            }
            break;
        }
        for (; nHeld > 0; --nHeld) {
            t[n++] = cMark;
            bBlank = false;
        }
        t[n++] = static_cast<char>(c);
        if (!IsBlank(c))
            bBlank = false;
        Advance();
    }
    t[n] = 0;
    m_nTextLength = n;
    m_bBlankOnly = bBlank;
    return true;
}

bool PXP_Parser::ReadComment()
{
    return ReadMarkedContent('-', m_nDashes);
}

bool PXP_Parser::ReadCData()
{
    return ReadMarkedContent(']', m_nBrackets);
}

bool PXP_Parser::ReadDoctype()
{
    m_bDoctypeSeen = true;
    for (;;) {
        unsigned char c = Cur();
        if (c == PXP_END_OF_INPUT)
            return Fail(PXP_SYNTAX_ERROR);
        if (c == '>')
            return true;
        if (c == '[') {
            Advance();
            while (Cur() != ']') {
                if (Cur() == PXP_END_OF_INPUT)
                    return Fail(PXP_SYNTAX_ERROR);
                Advance();
            }
            Advance();
            SkipBlanks();
            if (Cur() != '>')
                return Fail(PXP_SYNTAX_ERROR);
            return true;
        }
        Advance();
    }
}

bool PXP_Parser::SkipProcessingInstruction()
{
    Advance();
    for (;;) {
        unsigned char c = Cur();
        if (c == PXP_END_OF_INPUT)
            return Fail(PXP_SYNTAX_ERROR);
        Advance();
        if (c == '?' && Cur() == '>')
            return true;
    }
}

bool PXP_Parser::ReadReference(unsigned char cTerminator, bool bInAttribute)
{
    m_szRef[0] = '&';
    uint32_t n = 1;
    Step();
    for (;; Advance()) {
        unsigned char c = Cur();
        if (c == PXP_END_OF_INPUT || c == cTerminator || (bInAttribute && c == '<'))
            return Fail(PXP_SYNTAX_ERROR);
        m_szRef[n++] = static_cast<char>(c);
        if (c == ';')
            break;
        if (n == 16) {
            // No reference: the bytes stand for themselves.
            std::memcpy(m_szReplacement, m_szRef, n);
            m_nReplacement = n;
            m_szReplacement[n] = 0;
            return true;
        }
    }
    m_szRef[n] = 0;
    const char* pName = m_szRef + 1;
    const uint32_t nName = n - 2;
    if (nName >= 1 && pName[0] == '#') {
        uint32_t nValue = 0;
        uint32_t nDigits = 0;
        if (nName >= 2 && pName[1] == 'x') {
            uint32_t nSignificant = 0;
            for (uint32_t i = 2; i < nName; ++i) {
                char d = pName[i];
                uint32_t v;
                if (d >= '0' && d <= '9')
                    v = static_cast<uint32_t>(d - '0');
                else if (d >= 'a' && d <= 'f')
                    v = static_cast<uint32_t>(d - 'a' + 10);
                else if (d >= 'A' && d <= 'F')
                    v = static_cast<uint32_t>(d - 'A' + 10);
                else
                    return Fail(PXP_SYNTAX_ERROR);
                ++nDigits;
                if (nValue == 0 && v == 0)
                    continue;
                if (++nSignificant > 6)
                    return Fail(PXP_SYNTAX_ERROR);
                nValue = nValue * 16 + v;
            }
        } else {
            for (uint32_t i = 1; i < nName; ++i) {
                char d = pName[i];
                if (d < '0' || d > '9')
                    return Fail(PXP_SYNTAX_ERROR);
                ++nDigits;
                nValue = nValue * 10 + static_cast<uint32_t>(d - '0');
                if (nValue > 0x10FFFF)
                    return Fail(PXP_SYNTAX_ERROR);
            }
        }
        if (nDigits == 0)
            return Fail(PXP_SYNTAX_ERROR);
        bool bValid = nValue == 0x9 || nValue == 0xA || nValue == 0xD || (nValue >= 0x20 && nValue <= 0xD7FF) ||
                      (nValue >= 0xE000 && nValue <= 0xFFFD) || (nValue >= 0x10000 && nValue <= 0x10FFFF);
        if (!bValid)
            return Fail(PXP_SYNTAX_ERROR);
        unsigned char* p = reinterpret_cast<unsigned char*>(m_szReplacement);
        if (nValue < 0x80) {
            *p++ = static_cast<unsigned char>(nValue);
        } else if (nValue < 0x800) {
            *p++ = static_cast<unsigned char>(0xC0 | (nValue >> 6));
            *p++ = static_cast<unsigned char>(0x80 | (nValue & 0x3F));
        } else if (nValue < 0x10000) {
            *p++ = static_cast<unsigned char>(0xE0 | (nValue >> 12));
            *p++ = static_cast<unsigned char>(0x80 | ((nValue >> 6) & 0x3F));
            *p++ = static_cast<unsigned char>(0x80 | (nValue & 0x3F));
        } else {
            *p++ = static_cast<unsigned char>(0xF0 | (nValue >> 18));
            *p++ = static_cast<unsigned char>(0x80 | ((nValue >> 12) & 0x3F));
            *p++ = static_cast<unsigned char>(0x80 | ((nValue >> 6) & 0x3F));
            *p++ = static_cast<unsigned char>(0x80 | (nValue & 0x3F));
        }
        m_nReplacement = static_cast<uint32_t>(p - reinterpret_cast<unsigned char*>(m_szReplacement));
    } else {
        static const struct {
            const char* szName;
            char c;
        } kPredefined[] = {{"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'}};
        bool bFound = false;
        for (const auto& e : kPredefined) {
            if (std::strlen(e.szName) == nName && std::memcmp(e.szName, pName, nName) == 0) {
                m_szReplacement[0] = e.c;
                m_nReplacement = 1;
                bFound = true;
                break;
            }
        }
        if (!bFound) {
            // Not declared (the entity table stays empty): kept as written.
            std::memcpy(m_szReplacement, m_szRef, n);
            m_nReplacement = n;
            if (m_nUndeclaredLine == 0) {
                std::memcpy(m_szUndeclared, m_szRef, n + 1);
                m_nUndeclaredLine = GetLine();
                m_nUndeclaredColumn = ColumnBack(n - 1);
            }
        }
    }
    m_szReplacement[m_nReplacement] = 0;
    return true;
}

// ---------------------------------------------------------------------------
// Accessors

const char* PXP_Parser::GetVersion() const
{
    return m_nEvent == PXP_EVENT_XML_DECLARATION ? m_pVersion : nullptr;
}

const char* PXP_Parser::GetEncoding() const
{
    return m_nEvent == PXP_EVENT_XML_DECLARATION ? m_pEncodingText : nullptr;
}

const char* PXP_Parser::GetDeclarationText() const
{
    if (m_nEvent != PXP_EVENT_XML_DECLARATION || m_nDeclarationLength > PXP_MAX_DECLARATION_LENGTH)
        return nullptr;
    return m_szDeclaration;
}

const char* PXP_Parser::GetText() const
{
    if (m_nEvent == PXP_EVENT_TEXT || m_nEvent == PXP_EVENT_COMMENT || m_nEvent == PXP_EVENT_CDATA)
        return m_pText;
    return nullptr;
}

uint32_t PXP_Parser::GetTextLength() const
{
    return GetText() != nullptr ? m_nTextLength : 0;
}

bool PXP_Parser::IsWhitespace() const
{
    return GetText() != nullptr && m_bBlankOnly;
}

bool PXP_Parser::IsContinued() const
{
    return GetText() != nullptr && m_bContinued;
}

const char* PXP_Parser::GetName() const
{
    if ((m_nEvent == PXP_EVENT_START_TAG || m_nEvent == PXP_EVENT_CLOSE_TAG) && m_nDepth > 0)
        return m_pElements[m_nDepth - 1].GetNameBuffer();
    return nullptr;
}

const char* PXP_Parser::GetPrefix() const
{
    if ((m_nEvent == PXP_EVENT_START_TAG || m_nEvent == PXP_EVENT_CLOSE_TAG) && m_nDepth > 0)
        return m_pElements[m_nDepth - 1].GetPrefix();
    return nullptr;
}

int PXP_Parser::GetAttributeCount() const
{
    return m_nEvent == PXP_EVENT_START_TAG ? m_nAttrCount : -1;
}

const char* PXP_Parser::GetAttributeName(int nIndex) const
{
    if (m_nEvent != PXP_EVENT_START_TAG || nIndex < 0 || nIndex >= m_nAttrCount)
        return nullptr;
    return m_pAttributes[nIndex].GetName();
}

uint32_t PXP_Parser::GetAttributeValueLength(int nIndex) const
{
    if (m_nEvent != PXP_EVENT_START_TAG || nIndex < 0 || nIndex >= m_nAttrCount)
        return 0;
    return m_pAttributes[nIndex].GetValueLength();
}

const char* PXP_Parser::GetAttributeValue(int nIndex) const
{
    if (m_nEvent != PXP_EVENT_START_TAG || nIndex < 0 || nIndex >= m_nAttrCount)
        return nullptr;
    return m_pAttributes[nIndex].GetValue();
}

const char* PXP_Parser::GetAttributePrefix(int nIndex) const
{
    if (m_nEvent != PXP_EVENT_START_TAG || nIndex < 0 || nIndex >= m_nAttrCount)
        return nullptr;
    const PXP_NamespaceInfo* pNs = m_pAttributes[nIndex].GetNamespace();
    return pNs != nullptr ? pNs->GetPrefix() : nullptr;
}

const char* PXP_Parser::GetAttributeNamespace(int nIndex) const
{
    if (m_nEvent != PXP_EVENT_START_TAG || nIndex < 0 || nIndex >= m_nAttrCount)
        return nullptr;
    const PXP_NamespaceInfo* pNs = m_pAttributes[nIndex].GetNamespace();
    return pNs != nullptr ? pNs->GetURI() : nullptr;
}

int PXP_Parser::GetNamespaceCount() const
{
    return (m_nEvent == PXP_EVENT_START_TAG || m_nEvent == PXP_EVENT_CLOSE_TAG) ? m_nNsCount : -1;
}

const char* PXP_Parser::GetNamespacePrefix(int nIndex) const
{
    if (nIndex < 0 || nIndex >= GetNamespaceCount())
        return nullptr;
    return m_pNamespaces[nIndex].GetPrefix();
}

const char* PXP_Parser::GetNamespaceURI(int nIndex) const
{
    if (nIndex < 0 || nIndex >= GetNamespaceCount())
        return nullptr;
    return m_pNamespaces[nIndex].GetURI();
}

const char* PXP_Parser::LookupNamespaceURI(const char* szPrefix) const
{
    const PXP_NamespaceInfo* pNs =
        LookupBinding(szPrefix, szPrefix != nullptr ? static_cast<uint32_t>(std::strlen(szPrefix)) : 0);
    return pNs != nullptr ? pNs->GetURI() : nullptr;
}
