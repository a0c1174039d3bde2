// The state of one script run: value stack, argument frames, the run's
// variables, and the loop that executes the decoded code. Everything lives
// for one CVLScript::Execute on the caller's thread. Calls of plain scripts
// run in the same loop: the caller's state waits in a record meanwhile.
#ifndef VLSCRIPTRUN_H
#define VLSCRIPTRUN_H

#include <string>
#include <vector>

#include "script/VLScriptParams.h"
#include "script/VLScriptParamsStack.h"
#include "script/VLScriptProgram.h"
#include "base/value/VLVariant.h"

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
    // The largest text or binary value an operator or a function call may
    // produce (16 MiB); a larger one fails the run with error 9999 instead of
    // exhausting the process's memory (a script that doubles a string in a loop).
    // SetValueLimit lowers it for runs on this thread (0 restores it); fuzz
    // runs use a small one to stay fast.
    enum { MAX_VALUE_BYTES = 16 * 1024 * 1024 };
    static void SetValueLimit(int nBytes);
    // What the runs of one thread that wait for a nested call may hold in
    // all (texts and binaries of their variables, stacks and argument
    // copies): a deeper call beyond it fails with error 9999, so that values
    // passed down a recursion cannot take the process's memory.
    enum { MAX_RUN_BYTES = 16 * MAX_VALUE_BYTES };
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
        // The variable a name reads as a plain reference (the local, else the
        // parameter), or null (an object without one, or a host property).
        CVLVariant* pPlain;
        SSlot() : bLocal(false), bParam(false), bNullObject(false), pPlain(nullptr) {}
        SSlot(const SSlot& src)
            : local(src.local), param(src.param), bLocal(src.bLocal), bParam(src.bParam),
              bNullObject(src.bNullObject), pPlain(nullptr)
        {
            Update();
        }
        SSlot& operator=(const SSlot& src)
        {
            local = src.local;
            param = src.param;
            bLocal = src.bLocal;
            bParam = src.bParam;
            bNullObject = src.bNullObject;
            Update();
            return *this;
        }
        // After a change of the flags.
        void Update() { pPlain = bLocal ? (bNullObject ? nullptr : &local) : (bParam ? &param : nullptr); }
    };
    struct SStore;
    // A run waiting for a call that this loop entered: what the loop
    // restores when the callee returns.
    struct SActivation
    {
        const CVLScript* pScript;
        const CVLScriptProgram* pProgram;
        CVLScriptParams* pParams;
        SStore* pStore;
        size_t nTop;
        size_t nCapacity;
        size_t nHigh;
        size_t nSlots;
        size_t nPC;      // the call instruction
        size_t nArgs;
        size_t nHeld;    // added to the thread's held bytes for the wait
        bool bCounted;   // nHeld was added (see Enter)
        bool bOwnBuiltins;
        // Filled in place by Enter: a record built aside and copied in costs
        // more than the call it belongs to.
        SActivation() {}
    };
    // The stack, variables and argument frames of a run. A thread keeps the
    // stores of its finished runs and hands them, emptied, to its next runs,
    // so that a call allocates nothing once the thread has run a script.
    struct SStore
    {
        std::vector<SEntry> stack;
        std::vector<SSlot> slots;
        CVLScriptParamsStack frames;
        // The return value of a call whose arguments the callee binds
        // straight from this run's stack.
        CVLScriptParams result;
        // The waiting runs of calls entered in the loop (in the store of the
        // outermost run).
        std::vector<SActivation> calls;
        // The store of a call entered in the loop from a run of this store,
        // kept for the next such call.
        SStore* pChild = nullptr;
        SStore() {}
        ~SStore() { delete pChild; }
        SStore(const SStore&) = delete;
        SStore& operator=(const SStore&) = delete;
    };
    class CStorePool;
    static CStorePool& Pool();

    static SStore* AcquireStore();
    void ReleaseStore();
    // ResetStore empties the running store; RecycleStore also hands it back
    // to the pool.
    void ResetStore();
    void RecycleStore();
    // Adds what the waiting runs of entered calls hold to the thread's total.
    void CountWaiting(SActivation& a);
    void CountAllWaiting();
    // Switches the loop to pScript with the top nArgs entries as arguments,
    // or returns to the waiting run with the call's result pushed; the loop
    // goes on in m_pProgram's code, at its start or behind the call (m_nPC).
    void Enter(CVLScript* pScript, size_t nArgs);
    void Leave();
    // Ends the newest entered call: its store emptied, the waiting run's
    // state back; the number of arguments it was called with.
    size_t Return();
    // Back to the outermost run after a failure inside entered calls.
    void Unwind();
    // Reports a failure once for each run that waits in this loop, as each
    // would on its way out.
    void ReportToWaiting(EVLException* e);
    // Pushes a called script's return value as the call's result.
    void PushResult(CVLScriptParams& frame);
    // The code the loop runs for the running program.
    inline const SVLScriptInstr* RunCode() const;

    // Binds, runs and reports as Run does; with pArgs the arguments are the
    // caller's stack entries instead of the argument list.
    void Start(const SEntry* pArgs, size_t nArgs);
    void BindParameters();
    void BindEntries(const SEntry* pArgs, size_t nArgs);
    void Loop();
    template <bool bDebug>
    void Steps(VLScrDbgContext* pCtx);
    template <VL_BYTE nOp>
    inline bool WordBinary();
    inline bool FastAssign();
    // Text concatenation and assignment of a text without copies of it.
    bool StringConcat();
    bool StringAssign();
    // The common runs of instructions (see CVLScriptProgram::m_Fast), given
    // the run's first instruction; false when the run's values take the
    // general path.
    inline CVLVariant* PlainVariable(VL_ULONG nName);
    inline CVLVariant* SetVarCompute(const SVLScriptInstr* p, int& nType, VL_LONG& nResult);
    inline void SetVarEntries(SEntry* e, const SVLScriptInstr* p, CVLVariant* pD, int nType, VL_LONG n);
    inline bool SetVarOp(const SVLScriptInstr* p);
    inline bool TestWith(const SVLScriptInstr* p, const CVLVariant* pA, bool& bResult, CVLVariant*& pB);
    inline bool TestValue(const SVLScriptInstr* p, bool& bResult, CVLVariant*& pB);
    inline void TestEntries(SEntry* e, const SVLScriptInstr* p, bool bResult, CVLVariant* pB);
    inline bool VarTest(const SVLScriptInstr* p, bool& bResult);
    // The rest of a loop's pass from the body's last jump (VLSCR_IOP_LOOP):
    // as far as its runs go, with the steps counted; the position to go on at.
    inline size_t LoopPass(const SVLScriptInstr& jump, const SVLScriptInstr* pPlain);
    inline bool VarConstOp(const SVLScriptInstr* p);
    inline bool ConstOp(const SVLScriptInstr* p);
    inline bool VarPostStep(const SVLScriptInstr* p);
    // strReason says more than the code: a limit reached, a name unknown.
    [[noreturn]] void Fail(int nCode, int nSourceLine, const std::string& strReason = std::string());
    // "NAME takes N arguments, not M".
    static std::string CountReason(const CVLScript& script, size_t nArgs);
    // Fails an operator that its operands' types do not allow, or a
    // division by zero.
    [[noreturn]] void FailOperator(EVLException* e, VL_BYTE nOp, const CVLVariant* pLeft, const CVLVariant& right);
    // Fails the run when a produced text or binary value is larger than MAX_VALUE_BYTES.
    void CheckValueSize(const CVLVariant& value, int nSourceLine);
    EVLScriptException* MakeError(int nCode);
    inline void CountStep();
    [[noreturn]] void StepLimitReached();

    inline SEntry& Push();
    void Grow();
    inline void Need(size_t n);
    inline const CVLVariant& Read(const SEntry& e) const;
    // Stores a value into the target of an assignment or increment.
    void Store(SEntry& target, const CVLVariant& value);
    inline void ClearStatement();
    void Binary(VL_BYTE nOp);
    void BinaryResult(VL_BYTE nOp, const CVLVariant& l, const CVLVariant& r, CVLVariant& result);
    void Unary(VL_BYTE nOp);
    void UnaryResult(VL_BYTE nOp, SEntry& e, const CVLVariant& v);
    inline void Variable(VL_ULONG nName);
    void HostVariable(VL_ULONG nName);
    // A call through the argument frame on top; pFound is the script that
    // the name was already looked up as (bLookedUp), so it is not asked twice.
    void Call(const SVLScriptInstr& instr, bool bLookedUp = false, CVLScript* pFound = nullptr);
    // A call whose arguments are the top entries of the stack: the script
    // to enter in this loop, or null when the call was made another way.
    CVLScript* CallDirect(const SVLScriptInstr& instr, size_t nArgs);
    // Moves the top nArgs entries into a new argument frame, as the frame
    // and separator instructions would have.
    void MakeFrame(size_t nArgs);
    void AddArgument(CVLScriptParams* pFrame, const SEntry& e);
    CVLScript* LookupScript(VL_ULONG nName);
    // Fails the call when the waiting runs would hold more than the budget.
    void CheckHeld(size_t nHeld);
    // The script of a plain collection that a called name finds.
    CVLScript* FindScript(VL_ULONG nName);
    // The bytes this run holds while it waits for a call with pFrame's
    // arguments.
    size_t HeldBytes(const CVLScriptParams* pFrame) const;
    size_t HeldBytes(size_t nArgs) const;
    static size_t StateBytes(const SEntry* pStack, size_t nTop, size_t nCapacity, const SSlot* pSlots,
                             size_t nSlots, size_t nArgs);
    void FillDebugContext(VLScrDbgContext& ctx);

    // The running script; a call entered in this loop replaces them until
    // it returns (see SActivation).
    const CVLScript* m_pScript;
    const CVLScriptProgram* m_pProgram;
    CVLScriptParams* m_pParams;
    CVLScriptCollection* m_pScripts;
    IVLScriptExtendIF* m_pHost;
    void* m_pContext;

    SStore* m_pStore;
    SStore* m_pRootStore;  // the outermost run's store
    SEntry* m_pStack;     // the store's stack entries
    size_t m_nTop;
    size_t m_nCapacity;   // the entries this run has grown to (from 8, doubling)
    size_t m_nHigh;       // the entries this run has used
    SSlot* m_pSlots;      // one for each name of the program
    size_t m_nSlots;
    CVLScriptParamsStack* m_pFrames;
    bool m_bOwnBuiltins;  // the script is a plain CVLScript: its built-ins are the library's
    bool m_bPlainScripts; // the collection is a plain one: its lookup is by the key
    size_t m_nPC;
};

#endif
