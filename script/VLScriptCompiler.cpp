// The compiler's parser: functions, statements and expressions.
#include "script/VLScriptCompiler.h"
#include "base/core/VLNullObjectException.h"
#include "script/VLScrDbg.h"
#include "script/VLScrDbgFileInfo.h"
#include "script/VLScript.h"
#include "script/VLScriptCollection.h"
#include "script/VLScriptCompileException.h"
#include "base/core/VLStream.h"

namespace {

// Keeps the block nesting depth while a block is parsed.
class CNestingGuard
{
public:
    explicit CNestingGuard(int& nDepth) : m_nDepth(nDepth) { ++m_nDepth; }
    ~CNestingGuard() { --m_nDepth; }

private:
    int& m_nDepth;
};

// The grouping level of an operator: operators that share a level group
// from the left (assignment from the right).
int GroupLevel(int nId)
{
    if (nId >= 500 && nId <= 502)
        return 500;  // * / %
    if (nId == 503 || nId == 504)
        return 503;  // + -
    if (nId == 550 || nId == 551)
        return 550;  // << >>
    if (nId >= 600 && nId <= 603)
        return 600;  // < > <= >=
    if (nId == 604 || nId == 605)
        return 604;  // == !=
    return nId;
}

// What the language writes in place of a statement other languages have,
// named when a statement that starts with that word does not compile; null
// for any other name.
const char* MissingStatementHint(const CVLString& strName)
{
    static const struct
    {
        const char* szName;
        const char* szHint;
    } kHints[] = {
        {"while", "the language has no 'while': a loop is written for (; CONDITION; ) { ... }"},
        {"do", "the language has no 'do': a loop is written for (;;) { ... }, left with break"},
        {"switch", "the language has no 'switch': a choice is written if (...) { ... } else if (...) { ... }"},
    };
    for (const auto& hint : kHints) {
        if (strName == hint.szName)
            return hint.szHint;
    }
    return nullptr;
}

// The limit of nesting, named when it is reached.
std::string NestingReason()
{
    return "blocks nested deeper than " + std::to_string(static_cast<int>(CVLScriptCompiler::MAX_NESTING));
}

bool IsPrefixOperator(int nId)
{
    return (nId >= CVLScriptCompiler::ID_PRE_INC && nId <= CVLScriptCompiler::ID_MINUS) ||
           nId == CVLScriptCompiler::ID_NOT || nId == CVLScriptCompiler::ID_COMPLEMENT;
}

// A token as a message names it: a text in its quotes, a long one cut short.
std::string QuotedToken(const CVLString& strToken, bool bText)
{
    const size_t kMax = 40;
    std::string strText = strToken.GetBuffer();
    if (strText.size() > kMax) {
        size_t n = kMax;
        while (n > 0 && (static_cast<unsigned char>(strText[n]) & 0xC0) == 0x80)
            --n;  // not inside a character
        strText = strText.substr(0, n) + "...";
    }
    return bText ? "'\"" + strText + "\"'" : "'" + strText + "'";
}

}  // namespace

CVLScriptCompiler::CVLScriptCompiler()
    : m_nFill(0),
      m_nIndex(0),
      m_bEnd(false),
      m_bCounted(false),
      m_cLastCounted('\0'),
      m_nLine(1),
      m_nColumn(0),
      m_nTokenPosition(0),
      m_nTokenLine(1),
      m_pRow(nullptr),
      m_bPushBack(false),
      m_nScriptNameOffset(0),
      m_nReturnType(0),
      m_nParamSize(0),
      m_nCodeSize(0),
      m_nPoolSize(0),
      m_nLineTableSize(4),
      m_nLastLine(0),
      m_bLineCounted(false),
      m_nDepth(0)
{
    InitTokenTable();
}

CVLScriptCompiler::~CVLScriptCompiler()
{
}

void CVLScriptCompiler::ClearFunctionState()
{
    m_strFunctionName.Empty();
    m_nScriptNameOffset = 0;
    m_nReturnType = 0;
    m_Params.clear();
    m_nParamSize = 0;
    m_Declared.clear();
    m_Code.clear();
    m_nCodeSize = 0;
    m_Pool.clear();
    m_PoolOrder.clear();
    m_nPoolSize = 0;
    m_nLineTableSize = 4;
    m_nLastLine = 0;
    m_bLineCounted = false;
}

void CVLScriptCompiler::Compile(const char* szScriptName, IVLStream* pSource, CVLScriptCollection* pScripts)
{
    BeginRead(szScriptName);
    if (pSource == nullptr || pScripts == nullptr)
        throw new EVLNullObjectException(VLSCRIPT_MODULE, "VLScriptCompiler", __LINE__);
    CVLScrDbgFileInfo* pInfo = VLScrDbgRegisterSource(m_strScriptName.GetBuffer(), pSource);
    bool bOpened = false;
    try {
        if (!pSource->IsOpen()) {
            pSource->Open(VL_OPEN_READ);
            bOpened = true;
        }
        // Registering the source for the debugger has read the stream.
        if (pInfo != nullptr)
            pSource->Seek(0);
        SkipByteOrderMark(pSource);
        while (ParseFunction(pSource, pScripts)) {
        }
        ClearFunctionState();
        if (bOpened)
            pSource->Close();
    } catch (EVLScriptCompileException* e) {
        ClearFunctionState();
        if (bOpened)
            pSource->Close();
        if (pInfo != nullptr)
            pInfo->SetLastException(e);
        throw;
    } catch (...) {
        ClearFunctionState();
        if (bOpened)
            pSource->Close();
        throw;
    }
}

bool CVLScriptCompiler::Expect(IVLStream* pStream, int nClass, int nId, int nErrorCode, bool bRequired)
{
    if (!NextToken(pStream, bRequired, nErrorCode))
        return false;
    if ((nId != ID_NONE && m_pRow->nId == nId) || (nClass != CLASS_NONE && m_pRow->nClass == nClass))
        return true;
    Fail(nErrorCode, __LINE__);
}

bool CVLScriptCompiler::ParseFunction(IVLStream* pStream, CVLScriptCollection* pScripts)
{
    ClearFunctionState();
    if (!Expect(pStream, CLASS_TYPE, ID_VOID, 1002, false))
        return false;
    m_nReturnType = m_pRow->nId;
    Expect(pStream, CLASS_NONE, ID_NAME, 1003, true);
    m_strFunctionName = m_strToken;
    AddString(m_strFunctionName);
    m_nScriptNameOffset = AddString(m_strScriptName);
    Expect(pStream, CLASS_NONE, ID_PAREN_OPEN, 1004, true);
    while (ParseParameter(pStream)) {
    }
    Expect(pStream, CLASS_NONE, ID_PAREN_CLOSE, 1005, true);
    Expect(pStream, CLASS_NONE, ID_BLOCK_START, 1006, true);
    ParseBlock(pStream, nullptr);
    if (m_nReturnType == ID_VOID)
        EmitSimple(0x0f);
    else if (m_Code.empty() || m_Code.back().nOpcode != 0x0e)
        Fail(1017, __LINE__);
    CVLScript* pScript = pScripts->Find(m_strFunctionName.GetBuffer());
    if (pScript == nullptr)
        pScript = pScripts->Add(m_strFunctionName.GetBuffer());
    WriteImage(pScript);
    return true;
}

bool CVLScriptCompiler::ParseParameter(IVLStream* pStream)
{
    if (!NextToken(pStream, false, 1001))
        return false;
    if (m_pRow->nId == ID_PAREN_CLOSE) {
        PushBack();
        return false;
    }
    if (!m_Params.empty()) {
        if (m_pRow->nId != ID_COMMA)
            Fail(1010, __LINE__);
        if (!NextToken(pStream, false, 1001))
            return false;
    }
    if (m_pRow->nClass != CLASS_TYPE)
        Fail(1002, __LINE__);
    VL_BYTE nType = static_cast<VL_BYTE>(m_pRow->nId);
    Expect(pStream, CLASS_NONE, ID_NAME, 1008, true);
    if (!m_Declared.insert(m_strToken).second)
        Fail(1009, __LINE__);
    m_Params.push_back(std::make_pair(nType, AddString(m_strToken)));
    m_nParamSize += 5;
    return true;
}

void CVLScriptCompiler::ParseBlock(IVLStream* pStream, std::vector<size_t>* pBreaks)
{
    CNestingGuard guard(m_nDepth);
    if (m_nDepth > MAX_NESTING)
        Fail(1001, __LINE__, NestingReason());
    for (;;) {
        NextToken(pStream, true, 1007);
        switch (m_pRow->nId) {
        case ID_BREAK:
            ParseBreak(pStream, pBreaks);
            break;
        case ID_BLOCK_START:
            ParseBlock(pStream, pBreaks);
            break;
        case ID_BLOCK_END:
            return;
        case ID_RETURN:
            ParseReturn(pStream);
            break;
        case ID_IF:
            ParseIf(pStream, pBreaks);
            break;
        case ID_FOR:
            ParseFor(pStream);
            break;
        default:
            if (m_pRow->nClass == CLASS_TYPE) {
                ParseDeclaration(pStream);
            } else {
                const char* szHint = m_pRow->nId == ID_NAME ? MissingStatementHint(m_strToken) : nullptr;
                const int nLine = m_nTokenLine, nPosition = m_nTokenPosition;
                PushBack();
                try {
                    ParseExpression(pStream, ID_SEMICOLON);
                } catch (EVLScriptCompileException* e) {
                    // "while (n > 0) { ... }" fails at its "{": said at the
                    // word, with what the language writes instead.
                    if (szHint == nullptr || e->GetErrorCode() != VLSCR_CERR_SYNTAX)
                        throw;
                    e->Delete();
                    m_nTokenLine = nLine;
                    m_nTokenPosition = nPosition;
                    Fail(VLSCR_CERR_SYNTAX, __LINE__, szHint);
                }
            }
            break;
        }
    }
}

void CVLScriptCompiler::ParseDeclaration(IVLStream* pStream)
{
    int nType = m_pRow->nId;
    const CVLString strType = m_strToken;
    Expect(pStream, CLASS_NONE, ID_NAME, 1012, true);
    if (!m_Declared.insert(m_strToken).second)
        Fail(1009, __LINE__);
    EmitDeclare(nType, m_strToken);
    const CVLString strName = m_strToken;
    NextToken(pStream, true, 1013);
    if (m_pRow->nId == ID_ASSIGN)
        Fail(1013, __LINE__,
             std::string("';' was expected: a declaration takes no value; write ") + strType.GetBuffer() + " " +
                 strName.GetBuffer() + "; " + strName.GetBuffer() + " = ...;");
    if (m_pRow->nId != ID_SEMICOLON)
        Fail(1013, __LINE__);
}

size_t CVLScriptCompiler::ParseIfClause(IVLStream* pStream, std::vector<size_t>* pBreaks)
{
    Expect(pStream, CLASS_NONE, ID_PAREN_OPEN, 1004, true);
    // The jump would find no value to test.
    if (!ParseExpression(pStream, ID_PAREN_CLOSE))
        Fail(1001, __LINE__, "a condition was expected");
    size_t nFalse = EmitJump(0x03, 0);
    Expect(pStream, CLASS_NONE, ID_BLOCK_START, 1006, true);
    ParseBlock(pStream, pBreaks);
    size_t nEnd = EmitJump(0x02, 0);
    PatchJump(nFalse, m_nCodeSize);
    return nEnd;
}

void CVLScriptCompiler::ParseIf(IVLStream* pStream, std::vector<size_t>* pBreaks)
{
    CNestingGuard guard(m_nDepth);
    if (m_nDepth > MAX_NESTING)
        Fail(1001, __LINE__, NestingReason());
    std::vector<size_t> ends;
    ends.push_back(ParseIfClause(pStream, pBreaks));
    bool bPlainElse = false;
    for (;;) {
        NextToken(pStream, true, 1007);
        if (m_pRow->nId != ID_ELSE) {
            PushBack();
            break;
        }
        NextToken(pStream, true, 1001);
        if (m_pRow->nId == ID_IF) {
            ends.push_back(ParseIfClause(pStream, pBreaks));
        } else if (m_pRow->nId == ID_BLOCK_START) {
            if (bPlainElse)
                Fail(1015, __LINE__);
            bPlainElse = true;
            ParseBlock(pStream, pBreaks);
            ends.push_back(EmitJump(0x02, 0));
        } else {
            Fail(1001, __LINE__, "'if' or '{' was expected after 'else'");
        }
    }
    for (size_t n : ends)
        PatchJump(n, m_nCodeSize);
}

void CVLScriptCompiler::ParseFor(IVLStream* pStream)
{
    CNestingGuard guard(m_nDepth);
    if (m_nDepth > MAX_NESTING)
        Fail(1001, __LINE__, NestingReason());
    std::vector<size_t> breaks;
    Expect(pStream, CLASS_NONE, ID_PAREN_OPEN, 1004, true);
    ParseExpression(pStream, ID_SEMICOLON);
    VL_ULONG nCondition = m_nCodeSize;
    bool bCondition = ParseExpression(pStream, ID_SEMICOLON);
    // An empty condition is always true: the loop then runs until "break".
    size_t nExit = bCondition ? EmitJump(0x03, 0) : 0;
    size_t nBody = EmitJump(0x02, 0);
    VL_ULONG nIncrement = m_nCodeSize;
    ParseExpression(pStream, ID_PAREN_CLOSE);
    EmitJump(0x02, nCondition);
    Expect(pStream, CLASS_NONE, ID_BLOCK_START, 1006, true);
    PatchJump(nBody, m_nCodeSize);
    ParseBlock(pStream, &breaks);
    EmitJump(0x02, nIncrement);
    if (bCondition)
        PatchJump(nExit, m_nCodeSize);
    for (size_t n : breaks)
        PatchJump(n, m_nCodeSize);
}

void CVLScriptCompiler::ParseBreak(IVLStream* pStream, std::vector<size_t>* pBreaks)
{
    if (pBreaks == nullptr)
        Fail(1016, __LINE__);
    NextToken(pStream, true, 1001);
    if (m_pRow->nId != ID_SEMICOLON)
        Fail(1001, __LINE__, "';' was expected after 'break'");
    pBreaks->push_back(EmitJump(0x02, 0));
}

void CVLScriptCompiler::ParseReturn(IVLStream* pStream)
{
    if (m_nReturnType == ID_VOID) {
        NextToken(pStream, true, 1001);
        if (m_pRow->nId != ID_SEMICOLON)
            Fail(1001, __LINE__, "';' was expected after 'return': a void function returns no value");
        EmitSimple(0x0f);
        return;
    }
    if (!ParseExpression(pStream, ID_SEMICOLON))
        Fail(1018, __LINE__);
    EmitSimple(0x0e);
}

void CVLScriptCompiler::CheckSequence(int nId, int nPrevId, int nPrevClass)
{
    if (nId != ID_PAREN_OPEN && nId != ID_COMMA)
        return;
    bool bStart = nPrevId == ID_NONE && nPrevClass == CLASS_NONE;
    bool bRejected = bStart || nPrevId == ID_SEMICOLON || nPrevId == ID_COMMA || nPrevId == ID_NOT ||
                     nPrevId == ID_COMPLEMENT || nPrevClass == CLASS_BINARY || nPrevId == ID_ASSIGN ||
                     nPrevId == ID_PRE_INC || nPrevId == ID_PRE_DEC || nPrevId == ID_PAREN_OPEN;
    // After an operand, "1(a)" or "g(a)(b)", it could only group. After a
    // postfix "++" or "--" it opens parentheses that are no call, and the
    // "++" or "--" then applies to what they hold: "a++(b)" is a, b++.
    if (nId == ID_PAREN_OPEN)
        bRejected = bRejected || nPrevClass == CLASS_LITERAL || nPrevId == ID_PAREN_CLOSE;
    if (bRejected)
        Fail(1001, __LINE__,
             nId == ID_PAREN_OPEN ? "'(' stands only after a function's name: the language has no grouping parentheses"
                                  : "an operand was expected before ','");
}

bool CVLScriptCompiler::ParseExpression(IVLStream* pStream, int nTerminator)
{
    struct Paren
    {
        int nCount;
        bool bCall;
    };
    size_t nStart = m_Code.size();
    std::vector<Instruction> operators;
    std::vector<Paren> parens;
    int nPrevId = ID_NONE;
    int nPrevClass = CLASS_NONE;
    const VLScriptTokenRow* pPrevRow = nullptr;
    // Where a prefix "++" or "--" that follows an operand stands: "a ++b"
    // is two operands, "a++ ++;" a "++" without its variable.
    int nIncDecLine = 0;
    int nIncDecPosition = 0;
    for (;;) {
        NextToken(pStream, true, 1001);
        const VLScriptTokenRow* pRow = m_pRow;
        int nId = m_pRow->nId;
        int nClass = m_pRow->nClass;
        // Increment and decrement change a variable: a prefix one must be
        // followed by a name that is not called.
        const bool bNeedVariable = nPrevId == ID_PRE_INC || nPrevId == ID_PRE_DEC;
        if (bNeedVariable && nId != ID_NAME)
            Fail(VLSCR_CERR_NOT_VARIABLE, __LINE__);
        // An operator without its operand is refused here rather than when
        // the code runs: "x = ;", "1 + )", "* 2" ("," has its own rule). A
        // last "," may stand before ")": "g(a,)" calls g(a).
        const bool bOperandDue = nPrevClass == CLASS_BINARY || nPrevClass == CLASS_ASSIGN ||
                                 nPrevClass == CLASS_UNARY || nPrevId == ID_COMMA;
        const bool bNoOperand = nId == nTerminator || nId == ID_PAREN_CLOSE || nClass == CLASS_ASSIGN ||
                                (nClass == CLASS_BINARY && nId != ID_ADD && nId != ID_SUB);
        const bool bCommaClosed = nPrevId == ID_COMMA && nId == ID_PAREN_CLOSE && !parens.empty();
        if (bNoOperand && bOperandDue && !bCommaClosed)
            Fail(1001, __LINE__, std::string("an expression was expected after '") + pPrevRow->szText + "'");
        if (bNoOperand && nId != nTerminator && nId != ID_PAREN_CLOSE &&
            (nPrevClass == CLASS_NONE || nPrevId == ID_PAREN_OPEN))
            Fail(1001, __LINE__, std::string("an expression was expected before '") + pRow->szText + "'");
        // Two operands with no operator between them ("a = 1 2;", "a b;")
        // would leave a value that nothing takes.
        const bool bOperandEnded = nPrevClass == CLASS_LITERAL || nPrevId == ID_NAME || nPrevId == ID_PAREN_CLOSE ||
                                   nPrevId == ID_POST_INC || nPrevId == ID_POST_DEC;
        const bool bOperandStarts = nClass == CLASS_LITERAL || nClass == CLASS_NAME || nClass == CLASS_UNARY;
        if (bOperandEnded && (nId == ID_PRE_INC || nId == ID_PRE_DEC) && nPrevClass != CLASS_NAME) {
            nIncDecLine = m_nTokenLine;
            nIncDecPosition = m_nTokenPosition;
        }
        if ((bOperandEnded && bOperandStarts) || (bNeedVariable && nIncDecLine > 0)) {
            const char* szEnd = !parens.empty() ? ", ',' or ')'" : nTerminator == ID_SEMICOLON ? " or ';'" : " or ')'";
            std::string strToken = QuotedToken(m_strToken, nId == ID_STRING);
            if (bNeedVariable) {
                m_nTokenLine = nIncDecLine;
                m_nTokenPosition = nIncDecPosition;
                strToken = std::string("'") + pPrevRow->szText + "'";
            }
            Fail(1001, __LINE__, std::string("an operator") + szEnd + " was expected before " + strToken);
        }
        if (nId == ID_PAREN_CLOSE && parens.empty()) {
            if (nTerminator != ID_PAREN_CLOSE)
                Fail(1100, __LINE__);
            break;
        }
        if (nId == nTerminator && nId != ID_PAREN_CLOSE) {
            if (!parens.empty())
                Fail(1100, __LINE__);
            break;
        }
        // Keywords, type names, braces and a stray ";" have no place in an
        // expression.
        if (nClass == CLASS_KEYWORD || nClass == CLASS_TYPE || nClass == CLASS_BRACE || nId == ID_SEMICOLON)
            Fail(1001, __LINE__,
                 std::string(parens.empty() && nTerminator == ID_SEMICOLON ? "';'" : "')'") + " was expected before '" +
                     m_strToken.GetBuffer() + "'");
        if (nId == ID_COMMA && !parens.empty())
            ++parens.back().nCount;

        if (nId == ID_DECIMAL || nId == ID_HEX)
            CheckLiteral(nPrevId == ID_MINUS);
        Instruction record = MakeInstruction();
        if (nId == ID_NAME) {
            NextToken(pStream, true, 1001);
            bool bCall = m_pRow->nId == ID_PAREN_OPEN;
            PushBack();
            if (bCall) {
                if (bNeedVariable)
                    Fail(VLSCR_CERR_NOT_VARIABLE, __LINE__);
                record.nId = ID_FUNCTION;
                record.nOpcode = 0x68;
            }
        } else if ((nId == ID_ADD || nId == ID_SUB) &&
                   ((nPrevId == ID_NONE && nPrevClass == CLASS_NONE) || nPrevId == ID_PAREN_OPEN ||
                    nPrevClass == CLASS_SEPARATOR || nPrevClass == CLASS_UNARY || nPrevClass == CLASS_BINARY ||
                    nPrevClass == CLASS_ASSIGN)) {
            record.nId = nId == ID_ADD ? ID_PLUS : ID_MINUS;
            record.nOpcode = nId == ID_ADD ? 0x50 : 0x51;
        } else if ((nId == ID_PRE_INC || nId == ID_PRE_DEC) && nPrevClass == CLASS_NAME) {
            record.nId = nId == ID_PRE_INC ? ID_POST_INC : ID_POST_DEC;
            record.nOpcode = nId == ID_PRE_INC ? 0x52 : 0x53;
        }
        record.nPrecedence = GroupLevel(record.nId);
        CheckSequence(nId, nPrevId, nPrevClass);
        if (nId == ID_PAREN_OPEN)
            parens.push_back(Paren{0, nPrevId == ID_FUNCTION});

        // A prefix operator has no left operand and so ends nothing before it.
        size_t nAppended = 0;
        if (!IsPrefixOperator(record.nId)) {
            bool bRightToLeft = record.nId == ID_ASSIGN;
            while (!operators.empty() && operators.back().nId != ID_PAREN_OPEN) {
                int nTop = operators.back().nPrecedence;
                if (bRightToLeft ? nTop >= record.nPrecedence : nTop > record.nPrecedence)
                    break;
                AppendInstruction(operators.back());
                operators.pop_back();
                ++nAppended;
            }
        }
        if (nId == ID_PAREN_CLOSE) {
            operators.pop_back();  // the "(" that this one closes
            bool bCall = parens.back().bCall;
            parens.pop_back();
            if (bCall && nAppended > 0)
                EmitSimple(0x0b);
        } else if (nId == ID_COMMA) {
            EmitSimple(0x0b);
        } else if (nId == ID_PAREN_OPEN && nPrevId == ID_FUNCTION) {
            EmitSimple(0x0a);
            operators.push_back(record);
        } else {
            operators.push_back(record);
        }
        nPrevId = record.nId;
        nPrevClass = record.nClass;
        pPrevRow = pRow;
    }
    while (!operators.empty()) {
        AppendInstruction(operators.back());
        operators.pop_back();
    }
    return m_Code.size() > nStart;
}
