// The compiler's lexical side: reading the text, tokens and their classes.
#include "script/VLScriptCompileException.h"
#include "script/VLScriptCompiler.h"
#include "base/core/VLStream.h"
#include "script/VLScriptRun.h"

#include <cstring>

namespace {

// The token table: text, opcode, id, class.
const VLScriptTokenRow g_TokenTable[] = {
    {"void", 0x00, 0, 1001},    {"int", 0x01, 6, 1002},     {"uint", 0x01, 7, 1002},
    {"long", 0x01, 8, 1002},    {"ulong", 0x01, 9, 1002},   {"int64", 0x01, 10, 1002},
    {"uint64", 0x01, 11, 1002}, {"short", 0x01, 4, 1002},   {"ushort", 0x01, 5, 1002},
    {"bool", 0x01, 1, 1002},    {"char", 0x01, 2, 1002},    {"byte", 0x01, 3, 1002},
    {"float", 0x01, 12, 1002},  {"double", 0x01, 13, 1002}, {"string", 0x01, 14, 1002},
    {"object", 0x01, 20, 1002}, {"binary", 0x01, 15, 1002}, {"true", 0x64, 304, 1100},
    {"false", 0x65, 305, 1100}, {"NULL", 0x66, 306, 1100},  {"if", 0x00, 100, 1001},
    {"else", 0x00, 101, 1001},  {"for", 0x00, 102, 1001},   {"break", 0x00, 103, 1001},
    {"return", 0x00, 104, 1001}, {"//", 0x00, 105, 1001},   {"{", 0x00, 200, 1003},
    {"}", 0x00, 201, 1003},     {"(", 0x00, 202, 1004},     {")", 0x00, 800, 1004},
    {"++", 0x54, 402, 1009},    {"--", 0x55, 403, 1009},    {"!", 0x56, 450, 1006},
    {"~", 0x57, 451, 1006},     {"*", 0x10, 500, 1007},     {"/", 0x11, 501, 1007},
    {"%", 0x12, 502, 1007},     {"+", 0x13, 503, 1007},     {"-", 0x14, 504, 1007},
    {"<<", 0x43, 550, 1007},    {">>", 0x44, 551, 1007},    {"<", 0x30, 600, 1007},
    {">", 0x31, 601, 1007},     {"<=", 0x32, 602, 1007},    {">=", 0x33, 603, 1007},
    {"==", 0x34, 604, 1007},    {"!=", 0x35, 605, 1007},    {"&", 0x40, 650, 1007},
    {"^", 0x41, 651, 1007},     {"|", 0x42, 652, 1007},     {"&&", 0x36, 653, 1007},
    {"||", 0x37, 654, 1007},    {"=", 0x20, 700, 1008},     {";", 0x00, 901, 1005},
    {",", 0x0b, 900, 1005},     {"", 0x00, 1000, 1000},
};

// Tokens recognised by their form.
const VLScriptTokenRow g_RowDecimal = {nullptr, 0x60, 300, 1100};
const VLScriptTokenRow g_RowHex = {nullptr, 0x61, 301, 1100};
const VLScriptTokenRow g_RowReal = {nullptr, 0x62, 302, 1100};
const VLScriptTokenRow g_RowString = {nullptr, 0x63, 303, 1100};
const VLScriptTokenRow g_RowName = {nullptr, 0x67, 307, 1101};

// The character classes.
const char* const g_szBlanks = " \t\n\r";
const char* const g_szPunctuation = "(){}+-*/%&|!=<>:;~^,";
const char* const g_szDecimalDigits = "1234567890";
const char* const g_szHexDigits = "1234567890abcdefABCDEF";

bool IsIn(char c, const char* szSet)
{
    return c != '\0' && strchr(szSet, c) != nullptr;
}

// The two-character operators, by their first character.
bool IsOperatorPair(char cFirst, char cSecond)
{
    static const char* const s_Pairs[] = {"//", "&&", "||", "++", "--", "==", "!=", "<=", ">=", "<<", ">>"};
    for (const char* p : s_Pairs) {
        if (p[0] == cFirst && p[1] == cSecond)
            return true;
    }
    return false;
}

}  // namespace

void CVLScriptCompiler::InitTokenTable()
{
    m_TokenMap.clear();
    for (const VLScriptTokenRow& row : g_TokenTable) {
        if (row.szText[0] != '\0')
            m_TokenMap[row.szText] = &row;
    }
}

void CVLScriptCompiler::BeginRead(const char* szScriptName)
{
    m_strScriptName = CVLString(szScriptName != nullptr ? szScriptName : "", VL_CHARSET_UTF8);
    m_nFill = 0;
    m_nIndex = 0;
    m_bEnd = false;
    m_bCounted = false;
    m_cLastCounted = '\0';
    m_nLine = 1;
    m_nColumn = 0;
    m_nTokenPosition = 0;
    m_nTokenLine = 1;
    m_nCharLine = 1;
    m_nCharColumn = 0;
    m_nEndLine = 1;
    m_nEndColumn = 1;
    m_strToken.Empty();
    m_pRow = nullptr;
    m_bPushBack = false;
    m_nDepth = 0;
}

bool CVLScriptCompiler::SkipByteOrderMark(IVLStream* pStream)
{
    VL_BYTE bom[3] = {0, 0, 0};
    VL_SIZE_T nRead = 0;
    while (nRead < 3) {
        VL_SIZE_T n = pStream->Read(bom + nRead, 3 - nRead);
        if (n == 0)
            break;
        nRead += n;
    }
    if (nRead == 3 && bom[0] == 0xEF && bom[1] == 0xBB && bom[2] == 0xBF)
        return true;
    pStream->Seek(0);
    return false;
}

bool CVLScriptCompiler::PeekChar(IVLStream* pStream, char& c)
{
    if (m_nIndex >= m_nFill) {
        if (m_bEnd)
            return false;
        m_nIndex = 0;
        m_nFill = pStream->Read(m_Buffer, sizeof(m_Buffer));
        if (m_nFill > sizeof(m_Buffer))
            m_nFill = sizeof(m_Buffer);
        m_bCounted = false;
        if (m_nFill == 0) {
            m_bEnd = true;
            return false;
        }
    }
    c = static_cast<char>(m_Buffer[m_nIndex]);
    if (!m_bCounted) {
        // A CR, or an LF not after a CR, ends a line; the LF of a CR LF pair
        // belongs to the line end already counted.
        if (c == '\r' || (c == '\n' && m_cLastCounted != '\r')) {
            ++m_nLine;
            m_nColumn = 0;
        } else if (c != '\n') {
            ++m_nColumn;
        }
        m_cLastCounted = c;
        m_bCounted = true;
    }
    return true;
}

void CVLScriptCompiler::AppendChar(char c)
{
    m_nCharLine = m_nLine;
    m_nCharColumn = m_nColumn;
    m_TokenText += c;
    ++m_nIndex;
    m_bCounted = false;
}

bool CVLScriptCompiler::SkipBlanks(IVLStream* pStream)
{
    char c;
    while (PeekChar(pStream, c)) {
        if (!IsIn(c, g_szBlanks))
            return true;
        ++m_nIndex;
        m_bCounted = false;
    }
    return false;
}

bool CVLScriptCompiler::SkipLine(IVLStream* pStream)
{
    char c;
    while (PeekChar(pStream, c)) {
        if (c == '\r' || c == '\n')
            return true;
        ++m_nIndex;
        m_bCounted = false;
    }
    return false;
}

bool CVLScriptCompiler::ReadOperatorTail(IVLStream* pStream, char cFirst)
{
    if (strchr("/&|+-=!<>", cFirst) == nullptr)
        return false;
    char c;
    if (PeekChar(pStream, c) && IsOperatorPair(cFirst, c)) {
        AppendChar(c);
        return true;
    }
    return false;
}

bool CVLScriptCompiler::ReadToken(IVLStream* pStream)
{
    if (!SkipBlanks(pStream))
        return false;
    m_strToken.Empty();
    m_TokenText.clear();
    m_nTokenPosition = m_nColumn;
    m_nTokenLine = m_nLine;
    bool bLiteral = false;
    bool bTerminated = false;
    char c;
    while (PeekChar(pStream, c)) {
        if (bLiteral) {
            if (c == '"') {
                size_t n = m_TokenText.size();
                bool bEscaped = n > 1 && m_TokenText[n - 1] == '\\';
                AppendChar(c);
                if (!bEscaped) {
                    bTerminated = true;
                    break;
                }
            } else if (c == '\r' || c == '\n') {
                break;
            } else {
                // No value may be longer than the interpreter allows: a
                // literal beyond it is refused here, before it is all read.
                if (m_TokenText.size() > static_cast<size_t>(CVLScriptRun::MAX_VALUE_BYTES))
                    Fail(VLSCR_CERR_SYNTAX, __LINE__,
                         "a text longer than " + std::to_string(static_cast<int>(CVLScriptRun::MAX_VALUE_BYTES)) +
                             " bytes");
                AppendChar(c);
            }
            continue;
        }
        if (c == '"') {
            if (!m_TokenText.empty())
                break;
            AppendChar(c);
            bLiteral = true;
            continue;
        }
        if (IsIn(c, g_szBlanks))
            break;
        if (IsIn(c, g_szPunctuation)) {
            if (m_TokenText.empty()) {
                AppendChar(c);
                ReadOperatorTail(pStream, c);
            }
            break;
        }
        AppendChar(c);
    }
    if (bLiteral && !bTerminated)
        Fail(1014, __LINE__);
    if (m_TokenText.empty())
        return false;
    Classify();
    return true;
}

const VLScriptTokenRow* CVLScriptCompiler::Classify()
{
    const std::string& text = m_TokenText;
    if (text.size() >= 2 && text[0] == '"') {
        m_strToken = CVLString(text.data() + 1, static_cast<int>(text.size() - 2), VL_CHARSET_UTF8);
        m_pRow = &g_RowString;
        return m_pRow;
    }
    m_strToken = CVLString(text.data(), static_cast<int>(text.size()), VL_CHARSET_UTF8);
    auto it = m_TokenMap.find(text);
    if (it != m_TokenMap.end()) {
        m_pRow = it->second;
        return m_pRow;
    }
    if (text.size() > 2 && text.compare(0, 2, "0x") == 0) {
        bool bHex = true;
        for (size_t i = 2; i < text.size() && bHex; ++i)
            bHex = IsIn(text[i], g_szHexDigits);
        if (bHex) {
            m_pRow = &g_RowHex;
            return m_pRow;
        }
    }
    int nDots = 0;
    bool bNumber = true;
    for (char ch : text) {
        if (ch == '.')
            ++nDots;
        else if (!IsIn(ch, g_szDecimalDigits))
            bNumber = false;
    }
    if (bNumber && nDots <= 1) {
        m_pRow = nDots == 1 ? &g_RowReal : &g_RowDecimal;
        return m_pRow;
    }
    m_pRow = &g_RowName;
    return m_pRow;
}

bool CVLScriptCompiler::NextToken(IVLStream* pStream, bool bRequired, int nErrorCode)
{
    if (m_bPushBack) {
        m_bPushBack = false;
        return true;
    }
    for (;;) {
        if (!ReadToken(pStream)) {
            if (bRequired)
                FailAtEnd(nErrorCode, __LINE__);
            return false;
        }
        if (m_pRow->nId != ID_COMMENT) {
            m_nEndLine = m_nCharLine;
            m_nEndColumn = m_nCharColumn + 1;
            return true;
        }
        SkipLine(pStream);
    }
}

void CVLScriptCompiler::Fail(int nErrorCode, int nSourceLine, const std::string& strReason)
{
    // The token's own line: the reader may have counted the line end after
    // it already.
    EVLScriptCompileException* e =
        new EVLScriptCompileException(VLSCRIPT_MODULE, "VLScriptCompiler", nSourceLine, m_strScriptName.GetBuffer(),
                                      m_nTokenLine, m_nTokenPosition, nErrorCode);
    e->SetReason(strReason);
    throw e;
}

void CVLScriptCompiler::FailAtEnd(int nErrorCode, int nSourceLine)
{
    const char* szText = EVLScriptCompileException::GetErrorText(nErrorCode);
    const std::string strText = szText != nullptr ? szText : "";
    const std::string strExpected = " was expected";
    const bool bExpected = strText.size() > strExpected.size() &&
                           strText.compare(strText.size() - strExpected.size(), strExpected.size(), strExpected) == 0;
    EVLScriptCompileException* e =
        new EVLScriptCompileException(VLSCRIPT_MODULE, "VLScriptCompiler", nSourceLine, m_strScriptName.GetBuffer(),
                                      m_nEndLine, m_nEndColumn, nErrorCode);
    e->SetReason(bExpected ? "the file ends where " + strText : std::string("the file ends too early"));
    throw e;
}
