// Operand sizes and listing names of the instruction set, and the names of
// the value types.
#include "script/VLScriptDefs.h"

namespace {
struct SOpcodeInfo
{
    VL_BYTE nOpcode;
    int nOperandSize;
    const char* szName;
};

const SOpcodeInfo g_Opcodes[] = {
    {VLSCR_OP_DECLARE, 5, "declare"},       {VLSCR_OP_JUMP, 4, "jump"},
    {VLSCR_OP_JUMP_FALSE, 4, "jumpfalse"},  {VLSCR_OP_PARAM_FRAME, 0, "("},
    {VLSCR_OP_PARAM_SEP, 0, ","},           {VLSCR_OP_RETURN_VALUE, 0, "return value"},
    {VLSCR_OP_RETURN, 0, "return"},         {VLSCR_OP_MUL, 0, "*"},
    {VLSCR_OP_DIV, 0, "/"},                 {VLSCR_OP_MOD, 0, "%"},
    {VLSCR_OP_ADD, 0, "+"},                 {VLSCR_OP_SUB, 0, "-"},
    {VLSCR_OP_ASSIGN, 0, "="},              {VLSCR_OP_LT, 0, "<"},
    {VLSCR_OP_GT, 0, ">"},                  {VLSCR_OP_LE, 0, "<="},
    {VLSCR_OP_GE, 0, ">="},                 {VLSCR_OP_EQ, 0, "=="},
    {VLSCR_OP_NE, 0, "!="},                 {VLSCR_OP_AND, 0, "&&"},
    {VLSCR_OP_OR, 0, "||"},                 {VLSCR_OP_BITAND, 0, "&"},
    {VLSCR_OP_BITXOR, 0, "^"},              {VLSCR_OP_BITOR, 0, "|"},
    {VLSCR_OP_SHL, 0, "<<"},                {VLSCR_OP_SHR, 0, ">>"},
    {VLSCR_OP_PLUS, 0, "unary +"},          {VLSCR_OP_NEGATE, 0, "unary -"},
    {VLSCR_OP_POST_INC, 0, "postfix ++"},   {VLSCR_OP_POST_DEC, 0, "postfix --"},
    {VLSCR_OP_PRE_INC, 0, "prefix ++"},     {VLSCR_OP_PRE_DEC, 0, "prefix --"},
    {VLSCR_OP_NOT, 0, "!"},                 {VLSCR_OP_COMPLEMENT, 0, "~"},
    {VLSCR_OP_PUSH_LONG, 4, "long"},        {VLSCR_OP_PUSH_ULONG, 4, "ulong"},
    {VLSCR_OP_PUSH_DOUBLE, 8, "double"},    {VLSCR_OP_PUSH_STRING, 4, "string"},
    {VLSCR_OP_PUSH_TRUE, 0, "true"},        {VLSCR_OP_PUSH_FALSE, 0, "false"},
    {VLSCR_OP_PUSH_NULL, 0, "NULL"},        {VLSCR_OP_VARIABLE, 4, "variable"},
    {VLSCR_OP_CALL, 4, "call"},
};

const SOpcodeInfo* FindOpcode(VL_BYTE nOpcode)
{
    for (const SOpcodeInfo& info : g_Opcodes) {
        if (info.nOpcode == nOpcode)
            return &info;
    }
    return nullptr;
}
}  // namespace

int VLScriptOperandSize(VL_BYTE nOpcode)
{
    const SOpcodeInfo* p = FindOpcode(nOpcode);
    return p != nullptr ? p->nOperandSize : -1;
}

const char* VLScriptOpcodeName(VL_BYTE nOpcode)
{
    const SOpcodeInfo* p = FindOpcode(nOpcode);
    return p != nullptr ? p->szName : nullptr;
}

const char* VLScriptTypeName(int nType)
{
    static const char* const kNames[] = {"NULL",         "bool",      "char",   "byte",   "short", "ushort",
                                         "int",          "uint",      "long",   "ulong",  "int64", "uint64",
                                         "float",        "double",    "string", "binary", "date",  "socket address",
                                         "XML document", "reference", "object"};
    return nType >= 0 && nType < static_cast<int>(sizeof(kNames) / sizeof(kNames[0])) ? kNames[nType] : "unknown";
}
