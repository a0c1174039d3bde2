// Shared definitions of the script language: module name, compiled image
// layout, instruction set, value type ids and error codes.
#ifndef VLSCRIPTDEFS_H
#define VLSCRIPTDEFS_H

#include "base/core/VLTypes.h"

#define VLSCRIPT_MODULE "VLScript"

// Compiled image ------------------------------------------------------------
// A 58-byte header, then string pool, parameter table, code and line table.
// Every number is big-endian.
#define VLSCRIPT_MAGIC "VLSCRIPT"
#define VLSCRIPT_MAGIC_SIZE 8
#define VLSCRIPT_VERSION 1
#define VLSCRIPT_HEADER_SIZE 58
#define VLSCRIPT_OFS_VERSION 8
#define VLSCRIPT_OFS_SIZE 9
#define VLSCRIPT_OFS_RETURN_TYPE 13
#define VLSCRIPT_OFS_POOL 14
#define VLSCRIPT_OFS_PARAMS 18
#define VLSCRIPT_OFS_CODE 22
#define VLSCRIPT_OFS_LINES 26
#define VLSCRIPT_PARAM_ENTRY_SIZE 5
#define VLSCRIPT_LINE_ENTRY_SIZE 8
#define VLSCRIPT_BYTE_ORDER 2

// Instruction set -------------------------------------------------------------
enum VL_SCRIPT_OPCODE
{
    VLSCR_OP_DECLARE = 0x01,      // name(4) type(1)
    VLSCR_OP_JUMP = 0x02,         // target(4)
    VLSCR_OP_JUMP_FALSE = 0x03,   // target(4)
    VLSCR_OP_PARAM_FRAME = 0x0a,
    VLSCR_OP_PARAM_SEP = 0x0b,
    VLSCR_OP_RETURN_VALUE = 0x0e,
    VLSCR_OP_RETURN = 0x0f,
    VLSCR_OP_MUL = 0x10,
    VLSCR_OP_DIV = 0x11,
    VLSCR_OP_MOD = 0x12,
    VLSCR_OP_ADD = 0x13,
    VLSCR_OP_SUB = 0x14,
    VLSCR_OP_ASSIGN = 0x20,
    VLSCR_OP_LT = 0x30,
    VLSCR_OP_GT = 0x31,
    VLSCR_OP_LE = 0x32,
    VLSCR_OP_GE = 0x33,
    VLSCR_OP_EQ = 0x34,
    VLSCR_OP_NE = 0x35,
    VLSCR_OP_AND = 0x36,
    VLSCR_OP_OR = 0x37,
    VLSCR_OP_BITAND = 0x40,
    VLSCR_OP_BITXOR = 0x41,
    VLSCR_OP_BITOR = 0x42,
    VLSCR_OP_SHL = 0x43,
    VLSCR_OP_SHR = 0x44,
    VLSCR_OP_PLUS = 0x50,
    VLSCR_OP_NEGATE = 0x51,
    VLSCR_OP_POST_INC = 0x52,
    VLSCR_OP_POST_DEC = 0x53,
    VLSCR_OP_PRE_INC = 0x54,
    VLSCR_OP_PRE_DEC = 0x55,
    VLSCR_OP_NOT = 0x56,
    VLSCR_OP_COMPLEMENT = 0x57,
    VLSCR_OP_PUSH_LONG = 0x60,    // value(4), signed
    VLSCR_OP_PUSH_ULONG = 0x61,   // value(4), unsigned
    VLSCR_OP_PUSH_DOUBLE = 0x62,  // value(8), IEEE double
    VLSCR_OP_PUSH_STRING = 0x63,  // pool offset(4) of the scrambled text
    VLSCR_OP_PUSH_TRUE = 0x64,
    VLSCR_OP_PUSH_FALSE = 0x65,
    VLSCR_OP_PUSH_NULL = 0x66,
    VLSCR_OP_VARIABLE = 0x67,     // name(4)
    VLSCR_OP_CALL = 0x68          // name(4)
};

// Operand size in bytes of an opcode, or -1 when the byte is no opcode.
int VLScriptOperandSize(VL_BYTE nOpcode);
// The source form of an opcode for listings ("+", "if", "push"), or null.
const char* VLScriptOpcodeName(VL_BYTE nOpcode);

// Value type ids (those of CVLVariant) that the language names.
enum VL_SCRIPT_TYPE
{
    VLSCR_TYPE_VOID = 0,
    VLSCR_TYPE_BOOL = 1,
    VLSCR_TYPE_CHAR = 2,
    VLSCR_TYPE_BYTE = 3,
    VLSCR_TYPE_SHORT = 4,
    VLSCR_TYPE_USHORT = 5,
    VLSCR_TYPE_INT = 6,
    VLSCR_TYPE_UINT = 7,
    VLSCR_TYPE_LONG = 8,
    VLSCR_TYPE_ULONG = 9,
    VLSCR_TYPE_INT64 = 10,
    VLSCR_TYPE_UINT64 = 11,
    VLSCR_TYPE_FLOAT = 12,
    VLSCR_TYPE_DOUBLE = 13,
    VLSCR_TYPE_STRING = 14,
    VLSCR_TYPE_BINARY = 15,
    VLSCR_TYPE_OBJECT = 20
};

// The language's word for a value type ("int", "string"; "NULL" for an
// empty value), or the kind of value for the types it has no word for.
const char* VLScriptTypeName(int nType);

// Error codes -----------------------------------------------------------------
// Compile errors (EVLScriptCompileException).
enum VL_SCRIPT_COMPILE_ERROR
{
    VLSCR_CERR_SYNTAX = 1001,
    VLSCR_CERR_NOT_VARIABLE = 1002,
    VLSCR_CERR_NOT_FUNCTION_NAME = 1003,
    VLSCR_CERR_NOT_START_PER = 1004,
    VLSCR_CERR_NOT_END_PER = 1005,
    VLSCR_CERR_NOT_START_BLOCK = 1006,
    VLSCR_CERR_NOT_END_BLOCK = 1007,
    VLSCR_CERR_NOT_PARAM_NAME = 1008,
    VLSCR_CERR_DOUBLE_NAME = 1009,
    VLSCR_CERR_NOT_CONMA = 1010,
    VLSCR_CERR_NOT_DEFAULT_VALUE = 1011,
    VLSCR_CERR_NOT_VARIABLE_NAME = 1012,
    VLSCR_CERR_NOT_SEMICOLON = 1013,
    VLSCR_CERR_NOT_DOUBLE_QUOTATION = 1014,
    VLSCR_CERR_DOUBLE_ELSE = 1015,
    VLSCR_CERR_BAD_BREAK = 1016,
    VLSCR_CERR_NOT_RETURN = 1017,
    VLSCR_CERR_NOT_RETURN_VALUE = 1018,
    VLSCR_CERR_PER_COUNT = 1100,
    VLSCR_CERR_ASSIGNMENT_OPERATOR = 1500,
    VLSCR_CERR_BAD_EOF = 1501,
    VLSCR_CERR_UNEXPECTED = 9999
};

// Load and run errors (EVLScriptException).
enum VL_SCRIPT_ERROR
{
    VLSCR_ERR_NOT_SCRIPT_CODE = 1000,
    VLSCR_ERR_UNSUPPORTED_VERSION = 1001,
    VLSCR_ERR_INVALID_SIZE = 1002,
    VLSCR_ERR_INVALID_POINTER = 1003,
    VLSCR_ERR_NO_CODE = 3000,
    VLSCR_ERR_PARAMS_COUNT = 3001,
    VLSCR_ERR_PARAMS_STACK = 3002,
    VLSCR_ERR_STACK = 3003,
    VLSCR_ERR_NO_VARIABLE = 3004,
    VLSCR_ERR_NO_FUNCTION = 3005,
    VLSCR_ERR_NULL_OBJECT = 3006,
    VLSCR_ERR_UNEXPECTED = 9999
};

#endif
