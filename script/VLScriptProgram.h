// The checked, decoded form of a script's code. Built once when an image is
// loaded: every operand is read and bounded, every jump target is resolved to
// an instruction, names are interned and string literals unscrambled. An
// instruction that cannot run (unknown opcode, cut-off operand, jump outside
// the code or into an operand, pool reference outside the pool) is kept as a
// fault that raises when it is reached, so only code that runs can fail.
#ifndef VLSCRIPTPROGRAM_H
#define VLSCRIPTPROGRAM_H

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "script/VLScriptDefs.h"
#include "base/core/VLString.h"

class CVLScript;

// True when the built-in function library has a function of this name.
bool VLScriptIsBuiltinName(const char* szName);
// The name of the library's function at the index (from 0), in the order
// names are tried; null past the last.
const char* VLScriptBuiltinName(int nIndex);

// Internal operation codes beside those of the image.
#define VLSCR_IOP_FAULT 0xfe  // cannot run: raises 9999
#define VLSCR_IOP_END 0xff    // ran off the end of the code: raises 9999
// Common runs of instructions taken in one step (in m_Fast only); the
// instructions of the run follow in place and give the operands.
#define VLSCR_IOP_VAR_CONST_OP 0xf0    // variable, long literal, operator
#define VLSCR_IOP_CONST_OP 0xf1        // long literal, operator
#define VLSCR_IOP_VAR_CONST_TEST 0xf2  // variable, long literal, comparison, jump if false
#define VLSCR_IOP_SET_VAR_OP 0xf3      // variable, variable, variable or long literal, operator, assignment
#define VLSCR_IOP_VAR_POST_STEP 0xf4   // variable, post increment or decrement
#define VLSCR_IOP_VAR_VAR_TEST 0xf7    // variable, variable, comparison, jump if false
// The jump at the end of a loop body to the loop's step (a post increment or
// decrement, or an assignment of the VLSCR_IOP_SET_VAR_OP kind, nType
// instructions long), whose jump goes on to the loop's test (of the
// VLSCR_IOP_VAR_CONST_TEST or VLSCR_IOP_VAR_VAR_TEST kind), whose jump
// leads back into the body: the four jumps, the step and the test in one.
#define VLSCR_IOP_LOOP 0xf8
// A call whose argument list was checked when the image was loaded: every
// argument is one balanced expression without jumps into or out of it, so the
// arguments can stay on the value stack until the call (in m_Fast only). The
// frame and separator instructions do nothing, except the last one before
// the call (the frame when there are no arguments): it makes the call that
// follows it, with nType arguments on top of the stack, and goes on behind it.
#define VLSCR_IOP_ARGS_NOP 0xf5
#define VLSCR_IOP_ARGS_CALL 0xf6

struct SVLScriptInstr
{
    VL_BYTE nOp;
    VL_BYTE nType;      // declaration: the type id
    VL_ULONG nOffset;   // code offset of the instruction
    VL_ULONG nLine;     // its source line
    union {
        VL_LONG nLong;
        VL_ULONG nULong;
        double dValue;
        VL_ULONG nIndex;  // jump target, name or string literal index
    } u;
};

struct SVLScriptParamInfo
{
    VL_BYTE nType;
    VL_ULONG nName;  // name index
};

// What a called name found in a script collection (null: no script of that
// name), valid while the collection's stamp is nStamp.
struct SVLScriptCallTarget
{
    VL_ULONGLONG nStamp;
    CVLScript* pScript;
};

class CVLScriptProgram
{
public:
    CVLScriptProgram();
    virtual ~CVLScriptProgram();

    // Decodes the code of a loaded script.
    virtual void Build(const CVLScript& script, VL_ULONG nParamSize, VL_ULONG nCodeSize);

    std::vector<SVLScriptInstr> m_Code;  // ends with a VLSCR_IOP_END
    // m_Code with the first instruction of each common run replaced by the
    // run's internal operation, for runs without a debugger.
    std::vector<SVLScriptInstr> m_Fast;
    std::vector<CVLString> m_Names;      // variable and function names, distinct
    std::vector<CVLString> m_Strings;    // unscrambled string literals
    std::vector<SVLScriptParamInfo> m_Params;
    std::vector<bool> m_Builtin;         // per name: a function of the built-in library
    bool m_bParamsValid;  // false when a parameter name is not in the pool

    // The target that the name's last lookup found, or null. Runs on any
    // thread read and replace it; a replaced target stays alive with the
    // program, up to MAX_CALL_TARGETS of them (later lookups are not kept).
    const SVLScriptCallTarget* GetCallTarget(VL_ULONG nName) const
    {
        return m_pCallTargets[nName].load(std::memory_order_acquire);
    }
    void SetCallTarget(VL_ULONG nName, VL_ULONGLONG nStamp, CVLScript* pScript) const;
    enum { MAX_CALL_TARGETS = 4096 };

private:
    VL_ULONG InternName(const CVLString& strName);
    void BuildFast();
    void MarkStackArguments();
    void MarkLoops();

    mutable std::unique_ptr<std::atomic<const SVLScriptCallTarget*>[]> m_pCallTargets;  // one per name
    mutable std::vector<std::unique_ptr<SVLScriptCallTarget>> m_CallTargetStore;
    mutable std::mutex m_CallTargetMutex;
};

#endif
