// The state of one script run: value stack, argument frames, the run's
// variables, and the loop that executes the decoded code. Everything lives
// for one CVLScript::Execute on the caller's thread.
#ifndef VLSCRIPTRUN_H
#define VLSCRIPTRUN_H

#include <vector>

#include "VLScriptParamsStack.h"
#include "VLScriptProgram.h"
#include "VLVariant.h"

class CVLScript;
class CVLScriptParams;
class CVLScriptCollection;
class IVLScriptExtendIF;
class EVLScriptException;
struct VLScrDbgContext;

class CVLScriptRun
{
public:
    CVLScriptRun(const CVLScript& script, CVLScriptParams& params, CVLScriptCollection* pScripts,
                 IVLScriptExtendIF* pHost, void* pContext);
    virtual ~CVLScriptRun();

    // Binds the arguments and runs to the end; throws EVLScriptException.
    virtual void Run();

    // Nested runs allowed on one thread, and the per-thread budget of jumps and
    // calls (0 for none) that a fuzzer or a test may set.
    enum { MAX_NESTING = 200 };
    static void SetStepLimit(VL_ULONGLONG nSteps);
    // The value-stack capacity that the last run of this thread reached.
    static size_t GetLastStackCapacity();

private:
    // A value on the stack: a value of its own, a reference to one of the
    // run's variables, or a variable declared as an object that holds none.
    enum { KIND_VALUE = 0, KIND_REF = 1, KIND_NULL_OBJECT = 2 };
    struct SEntry
    {
        int nKind;
        CVLVariant* pRef;
        CVLVariant value;
    };
    struct SSlot
    {
        CVLVariant local;
        CVLVariant param;
        bool bLocal;
        bool bParam;
        bool bNullObject;
        SSlot() : bLocal(false), bParam(false), bNullObject(false) {}
    };

    void BindParameters();
    void Loop();
    [[noreturn]] void Fail(int nCode, int nSourceLine);
    EVLScriptException* MakeError(int nCode);
    inline void CountStep();

    inline SEntry& Push();
    inline void Need(size_t n);
    inline const CVLVariant& Read(const SEntry& e) const;
    // Stores a value into the target of an assignment or increment.
    void Store(SEntry& target, const CVLVariant& value);
    void ClearStatement();
    void Binary(VL_BYTE nOp);
    bool FastBinary(VL_BYTE nOp, const CVLVariant& l, const CVLVariant& r, SEntry& out);
    void Unary(VL_BYTE nOp);
    void Variable(VL_ULONG nName);
    void Call(const SVLScriptInstr& instr);
    void FillDebugContext(VLScrDbgContext& ctx);

    const CVLScript& m_Script;
    const CVLScriptProgram& m_Program;
    CVLScriptParams& m_Params;
    CVLScriptCollection* m_pScripts;
    IVLScriptExtendIF* m_pHost;
    void* m_pContext;

    std::vector<SEntry> m_Stack;
    size_t m_nTop;
    CVLScriptParamsStack m_Frames;
    std::vector<SSlot> m_Slots;
    size_t m_nPC;
};

#endif
