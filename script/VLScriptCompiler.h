// Compiles the text of scripts into compiled script images and files each
// function as a CVLScript of a script collection.
//
// The front end reads the text through a 1024-byte buffer, splits it into
// tokens and classifies them with the token table; the parser is a
// recursive-descent parser for statements and an operator-precedence parser
// for expressions that emits postfix code directly.
#ifndef VLSCRIPTCOMPILER_H
#define VLSCRIPTCOMPILER_H

#include "script/VLScriptDefs.h"
#include "base/core/VLString.h"
#include "base/core/VLTypes.h"

#include <map>
#include <set>
#include <string>
#include <vector>

class IVLStream;
class CVLScript;
class CVLScriptCollection;

// One row of the token table: the instruction the token becomes, its id
// (for operators also its precedence) and its class.
struct VLScriptTokenRow
{
    const char* szText;
    VL_BYTE nOpcode;
    int nId;
    int nClass;
};

class CVLScriptCompiler
{
public:
    // Token ids that the parser refers to.
    enum
    {
        ID_VOID = 0,
        ID_IF = 100,
        ID_ELSE = 101,
        ID_FOR = 102,
        ID_BREAK = 103,
        ID_RETURN = 104,
        ID_COMMENT = 105,
        ID_BLOCK_START = 200,
        ID_BLOCK_END = 201,
        ID_PAREN_OPEN = 202,
        ID_DECIMAL = 300,
        ID_HEX = 301,
        ID_REAL = 302,
        ID_STRING = 303,
        ID_NAME = 307,
        ID_FUNCTION = 308,
        ID_POST_INC = 400,
        ID_POST_DEC = 401,
        ID_PRE_INC = 402,
        ID_PRE_DEC = 403,
        ID_PLUS = 404,
        ID_MINUS = 405,
        ID_NOT = 450,
        ID_COMPLEMENT = 451,
        ID_ADD = 503,
        ID_SUB = 504,
        ID_ASSIGN = 700,
        ID_PAREN_CLOSE = 800,
        ID_COMMA = 900,
        ID_SEMICOLON = 901,
        ID_NONE = 1000
    };
    // Token classes.
    enum
    {
        CLASS_NONE = 1000,
        CLASS_KEYWORD = 1001,
        CLASS_TYPE = 1002,
        CLASS_BRACE = 1003,
        CLASS_PAREN = 1004,
        CLASS_SEPARATOR = 1005,
        CLASS_UNARY = 1006,
        CLASS_BINARY = 1007,
        CLASS_ASSIGN = 1008,
        CLASS_INCDEC = 1009,
        CLASS_LITERAL = 1100,
        CLASS_NAME = 1101
    };
    // Blocks nested deeper than this are refused.
    enum { MAX_NESTING = 200 };

    // One instruction of the code being built.
    struct Instruction
    {
        int nId;
        int nClass;
        int nPrecedence;
        int nLine;
        int nPosition;
        VL_BYTE nOpcode;
        VL_BYTE operand[11];
        int nOperandLength;
    };

    CVLScriptCompiler();
    virtual ~CVLScriptCompiler();

    // Compiles every function of the text into the collection. Throws
    // EVLScriptCompileException at the first error; the functions compiled
    // before it stay in the collection.
    virtual void Compile(const char* szScriptName, IVLStream* pSource, CVLScriptCollection* pScripts);

protected:
    virtual void InitTokenTable();
    virtual bool ParseFunction(IVLStream* pStream, CVLScriptCollection* pScripts);
    virtual bool ParseParameter(IVLStream* pStream);
    virtual void ParseBlock(IVLStream* pStream, std::vector<size_t>* pBreaks);
    virtual void ParseDeclaration(IVLStream* pStream);
    virtual void ParseIf(IVLStream* pStream, std::vector<size_t>* pBreaks);
    virtual size_t ParseIfClause(IVLStream* pStream, std::vector<size_t>* pBreaks);
    virtual void ParseFor(IVLStream* pStream);
    virtual void ParseBreak(IVLStream* pStream, std::vector<size_t>* pBreaks);
    virtual void ParseReturn(IVLStream* pStream);
    // Parses one expression up to the terminator (";" or ")"); returns
    // whether it emitted any code.
    virtual bool ParseExpression(IVLStream* pStream, int nTerminator);
    virtual void CheckSequence(int nId, int nPrevId, int nPrevClass);
    virtual bool Expect(IVLStream* pStream, int nClass, int nId, int nErrorCode, bool bRequired);

    // Lexical analysis
    virtual bool NextToken(IVLStream* pStream, bool bRequired, int nErrorCode);
    virtual bool ReadToken(IVLStream* pStream);
    virtual bool SkipByteOrderMark(IVLStream* pStream);
    virtual bool SkipBlanks(IVLStream* pStream);
    virtual bool SkipLine(IVLStream* pStream);
    virtual bool PeekChar(IVLStream* pStream, char& c);
    virtual bool ReadOperatorTail(IVLStream* pStream, char cFirst);
    virtual void AppendChar(char c);
    virtual const VLScriptTokenRow* Classify();

    // Code generation
    virtual Instruction MakeInstruction();
    virtual void EncodeOperand(Instruction& instr);
    // Refuses a whole-number literal its 32 bits cannot hold; 2147483648
    // only right after a unary minus, which makes it the smallest long.
    void CheckLiteral(bool bAfterMinus);
    virtual VL_ULONG AddString(const CVLString& strText);
    virtual size_t EmitJump(VL_BYTE nOpcode, VL_ULONG nTarget);
    virtual void EmitSimple(VL_BYTE nOpcode);
    virtual void EmitDeclare(int nType, const CVLString& strName);
    virtual void AppendInstruction(const Instruction& instr);
    virtual void PatchJump(size_t nIndex, VL_ULONG nTarget);
    virtual void WriteImage(CVLScript* pScript);

public:
    // The image of the function compiled last, as WriteImage lays it out.
    void BuildImage(std::vector<VL_BYTE>& image) const;

    // Test access to the lexical side: the current token.
    const CVLString& GetTokenText() const { return m_strToken; }
    const VLScriptTokenRow* GetTokenRow() const { return m_pRow; }
    int GetTokenPosition() const { return m_nTokenPosition; }
    int GetLineNumber() const { return m_nLine; }
    // Starts reading a text (as Compile does) without compiling it.
    void BeginRead(const char* szScriptName);
    bool ReadNextToken(IVLStream* pStream) { return NextToken(pStream, false, 1001); }

protected:
    // Fails at the current token; strReason says more than the code.
    [[noreturn]] void Fail(int nErrorCode, int nSourceLine, const std::string& strReason = std::string());
    // Fails where the text ended early: right after its last token.
    [[noreturn]] void FailAtEnd(int nErrorCode, int nSourceLine);
    void ClearFunctionState();
    void PushBack() { m_bPushBack = true; }
    VL_ULONG CodeSize() const { return m_nCodeSize; }

    // Reader state
    VL_BYTE m_Buffer[1024];
    VL_SIZE_T m_nFill;
    VL_SIZE_T m_nIndex;
    bool m_bEnd;
    bool m_bCounted;       // the character at the read index was counted
    char m_cLastCounted;
    int m_nLine;
    int m_nColumn;
    int m_nTokenPosition;
    int m_nTokenLine;      // the line where the current token begins
    // Where the character last appended to a token stands, and the
    // position right after the last token that is no comment: where a text
    // that ends early is said to end.
    int m_nCharLine;
    int m_nCharColumn;
    int m_nEndLine;
    int m_nEndColumn;
    CVLString m_strToken;
    // The token's bytes while they are read: a buffer that grows
    // geometrically, so that a long literal is read in linear time.
    std::string m_TokenText;
    const VLScriptTokenRow* m_pRow;
    bool m_bPushBack;

    // Compiler state
    CVLString m_strScriptName;
    CVLString m_strFunctionName;
    VL_ULONG m_nScriptNameOffset;
    int m_nReturnType;
    std::vector<std::pair<VL_BYTE, VL_ULONG>> m_Params;
    VL_ULONG m_nParamSize;
    std::set<CVLString> m_Declared;
    std::vector<Instruction> m_Code;
    VL_ULONG m_nCodeSize;
    std::map<std::string, VL_ULONG> m_Pool;
    std::vector<std::string> m_PoolOrder;
    VL_ULONG m_nPoolSize;
    VL_ULONG m_nLineTableSize;
    int m_nLastLine;
    bool m_bLineCounted;   // an instruction has been counted for the line table
    int m_nDepth;
    std::map<std::string, const VLScriptTokenRow*> m_TokenMap;
};

#endif
