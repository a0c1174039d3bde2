#include "script/VLScriptRun.h"

#include <cstring>
#include <map>
#include <type_traits>
#include <typeinfo>
#include <new>

#include "script/VLScrDbg.h"
#include "script/VLScript.h"
#include "script/VLScriptCollection.h"
#include "script/VLScriptException.h"
#include "script/VLScriptExtendIF.h"
#include "script/VLScriptParams.h"
#include "base/core/VLTrace.h"

// The steps of the run loop, inlined into it.
#if defined(__GNUC__)
#define VL_STEP inline __attribute__((always_inline))
#else
#define VL_STEP inline
#endif

namespace {
thread_local int t_nDepth = 0;
thread_local VL_ULONGLONG t_nStepLimit = 0;
thread_local VL_ULONGLONG t_nSteps = 0;
thread_local int t_nValueLimit = 0;
thread_local size_t t_nLastCapacity = 0;
// What the runs of this thread that wait for nested calls hold.
thread_local size_t t_nHeldBytes = 0;

// The bytes of a text or binary value.
inline size_t ValueBytes(const CVLVariant& v)
{
    const int nType = v.GetTypeInline();
    return (nType == 14 || nType == 15) ? static_cast<size_t>(v.GetSize()) : 0;
}

// Adds a waiting run's bytes to the thread's total for the time of a call.
class CHeldBytes
{
public:
    explicit CHeldBytes(size_t nBytes) : m_nBytes(nBytes) { t_nHeldBytes += nBytes; }
    ~CHeldBytes() { t_nHeldBytes -= m_nBytes; }
    CHeldBytes(const CHeldBytes&) = delete;
    CHeldBytes& operator=(const CHeldBytes&) = delete;

private:
    size_t m_nBytes;
};

// What a call beyond the nesting limit is refused for.
std::string NestingReason()
{
    return "calls nested deeper than " + std::to_string(static_cast<int>(CVLScriptRun::MAX_NESTING));
}

// Counts the nested runs of this thread.
class CDepthGuard
{
public:
    CDepthGuard() { ++t_nDepth; }
    ~CDepthGuard() { --t_nDepth; }
};

const CVLVariant& EmptyValue()
{
    static const CVLVariant s_Empty;
    return s_Empty;
}

inline bool IsWord(int nType)
{
    return nType >= 6 && nType <= 9;
}

// Spare stores a thread keeps at most (nested runs use one each).
const size_t kMaxSpareStores = 64;
// The stack a run starts with, in entries.
const size_t kInitialStack = 8;
// The stores of entered calls a spare store keeps below it, and the stack a
// store keeps (in entries): a deep recursion or a deep expression does not
// leave its memory behind for the rest of the thread.
const size_t kMaxKeptCallStores = 16;
const size_t kMaxKeptStack = 4096;
}  // namespace

// The stores that finished runs of this thread left for the next ones.
class CVLScriptRun::CStorePool
{
public:
    CStorePool() {}
    ~CStorePool()
    {
        for (SStore* p : m_Spare)
            delete p;
    }
    CStorePool(const CStorePool&) = delete;
    CStorePool& operator=(const CStorePool&) = delete;

    std::vector<SStore*> m_Spare;
};

CVLScriptRun::CStorePool& CVLScriptRun::Pool()
{
    thread_local CStorePool t_Pool;
    return t_Pool;
}

CVLScriptRun::SStore* CVLScriptRun::AcquireStore()
{
    CStorePool& pool = Pool();
    if (!pool.m_Spare.empty()) {
        SStore* p = pool.m_Spare.back();
        pool.m_Spare.pop_back();
        return p;
    }
    SStore* p = new SStore();
    try {
        p->stack.resize(kInitialStack);
    } catch (...) {
        delete p;
        throw;
    }
    return p;
}

void CVLScriptRun::RecycleStore()
{
    ResetStore();
    SStore* pLast = m_pStore;
    for (size_t i = 0; pLast != nullptr && i < kMaxKeptCallStores; ++i)
        pLast = pLast->pChild;
    if (pLast != nullptr) {
        delete pLast->pChild;
        pLast->pChild = nullptr;
    }
    CStorePool& pool = Pool();
    if (pool.m_Spare.size() < kMaxSpareStores) {
        try {
            pool.m_Spare.push_back(m_pStore);
            return;
        } catch (...) {
        }
    }
    delete m_pStore;
}

VL_STEP void CVLScriptRun::ResetStore()
{
    // Back to the state of a new store: fresh stack entries and variables,
    // so that the next run sees exactly what a store of its own would hold.
    while (!m_pFrames->IsEmpty())
        m_pFrames->CVLScriptParamsStack::Pop();
    for (size_t i = 0; i < m_nHigh; ++i) {
        SEntry& e = m_pStack[i];
        e.nKind = KIND_VALUE;
        e.pRef = nullptr;
        e.value.ResetInline();
    }
    for (size_t i = 0; i < m_nSlots; ++i) {
        // A variable holds a value only once it is declared or bound: the
        // slots of other names are as a new store's already.
        SSlot& slot = m_pSlots[i];
        if (!slot.bLocal && !slot.bParam && !slot.bNullObject)
            continue;
        slot.local.ResetInline();
        slot.param.ResetInline();
        slot.bLocal = slot.bParam = slot.bNullObject = false;
        slot.pPlain = nullptr;
    }
    if (m_pStore->stack.size() > kMaxKeptStack) {
        try {
            std::vector<SEntry>(kInitialStack).swap(m_pStore->stack);
        } catch (...) {
        }
    }
}

void CVLScriptRun::ReleaseStore()
{
    Unwind();
    RecycleStore();
}

void CVLScriptRun::SetValueLimit(int nBytes)
{
    t_nValueLimit = (nBytes > 0 && nBytes < MAX_VALUE_BYTES) ? nBytes : 0;
}

void CVLScriptRun::SetStepLimit(VL_ULONGLONG nSteps)
{
    t_nStepLimit = nSteps;
    t_nSteps = 0;
}

CVLScriptRun::CVLScriptRun(const CVLScript& script, CVLScriptParams& params, CVLScriptCollection* pScripts,
                           IVLScriptExtendIF* pHost, void* pContext)
    : m_pScript(&script), m_pProgram(script.GetProgram()), m_pParams(&params), m_pScripts(pScripts), m_pHost(pHost),
      m_pContext(pContext), m_pStore(AcquireStore()), m_pRootStore(m_pStore), m_pStack(m_pStore->stack.data()), m_nTop(0),
      m_nCapacity(kInitialStack), m_nHigh(0), m_pSlots(nullptr), m_nSlots(0), m_pFrames(&m_pStore->frames),
      m_bOwnBuiltins(typeid(script) == typeid(CVLScript)),
      m_bPlainScripts(pScripts != nullptr && typeid(*pScripts) == typeid(CVLScriptCollection)), m_nPC(0)
{
    size_t nNames = m_pProgram->m_Names.size();
    try {
        if (m_pStore->slots.size() < nNames)
            m_pStore->slots.resize(nNames);
    } catch (...) {
        ReleaseStore();
        throw;
    }
    m_pSlots = m_pStore->slots.data();
    m_nSlots = nNames;
}

CVLScriptRun::~CVLScriptRun()
{
    Unwind();
    t_nLastCapacity = m_nCapacity;
    RecycleStore();
}

size_t CVLScriptRun::GetLastStackCapacity()
{
    return t_nLastCapacity;
}

EVLScriptException* CVLScriptRun::MakeError(int nCode)
{
    int nLine = 0;
    if (nCode != VLSCR_ERR_NO_CODE && nCode != VLSCR_ERR_PARAMS_COUNT && m_nPC < m_pProgram->m_Code.size())
        nLine = static_cast<int>(m_pProgram->m_Code[m_nPC].nLine);
    return new EVLScriptException(VLSCRIPT_MODULE, "VLScript", __LINE__, nCode,
                                  m_pScript->GetSourceName().GetBuffer(), nLine, true);
}

void CVLScriptRun::Fail(int nCode, int nSourceLine, const std::string& strReason)
{
    EVLScriptException* e = MakeError(nCode);
    (void)nSourceLine;
    e->SetReason(strReason);
    throw e;
}

std::string CVLScriptRun::CountReason(const CVLScript& script, size_t nArgs)
{
    const size_t nParams = script.GetProgram() != nullptr ? script.GetProgram()->m_Params.size() : 0;
    return std::string(script.GetName().GetBuffer()) + " takes " + std::to_string(nParams) + " argument" +
           (nParams == 1 ? "" : "s") + ", not " + std::to_string(nArgs);
}

void CVLScriptRun::FailOperator(EVLException* e, VL_BYTE nOp, const CVLVariant* pLeft, const CVLVariant& right)
{
    e->Delete();
    const char* szOp = VLScriptOpcodeName(nOp);
    std::string strReason = std::string("'") + (szOp != nullptr ? szOp : "?") + "' does not take ";
    if (pLeft != nullptr)
        strReason += std::string(VLScriptTypeName(pLeft->GetValueType())) + " and ";
    strReason += VLScriptTypeName(right.GetValueType());
    if ((nOp == VLSCR_OP_DIV || nOp == VLSCR_OP_MOD) && right.ToDouble(1.0) == 0.0)
        strReason = "division by zero";
    Fail(VLSCR_ERR_UNEXPECTED, __LINE__, strReason);
}

VL_STEP void CVLScriptRun::CountStep()
{
    if (t_nStepLimit != 0 && ++t_nSteps > t_nStepLimit)
        StepLimitReached();
}

void CVLScriptRun::StepLimitReached()
{
    Fail(VLSCR_ERR_UNEXPECTED, __LINE__, "the run took more than " + std::to_string(t_nStepLimit) + " steps");
}

void CVLScriptRun::Grow()
{
    // The stack doubles as it always has; the store may hold more already.
    size_t nCapacity = m_nCapacity * 2;
    if (m_pStore->stack.size() < nCapacity) {
        m_pStore->stack.resize(nCapacity);
        m_pStack = m_pStore->stack.data();
    }
    m_nCapacity = nCapacity;
}

VL_STEP CVLScriptRun::SEntry& CVLScriptRun::Push()
{
    if (m_nTop == m_nCapacity)
        Grow();
    if (m_nTop == m_nHigh)
        ++m_nHigh;
    return m_pStack[m_nTop++];
}

inline void CVLScriptRun::Need(size_t n)
{
    if (m_nTop < n)
        Fail(VLSCR_ERR_STACK, __LINE__);
}

VL_STEP const CVLVariant& CVLScriptRun::Read(const SEntry& e) const
{
    if (e.nKind == KIND_REF)
        return *e.pRef;
    if (e.nKind == KIND_NULL_OBJECT)
        return EmptyValue();
    return e.value;
}

void CVLScriptRun::Store(SEntry& target, const CVLVariant& value)
{
    if (target.nKind == KIND_NULL_OBJECT)
        return;  // an object variable without an object ignores writes
    // The target is a variable of the run or a stack value: a plain variant.
    CVLVariant& t = target.nKind == KIND_REF ? *target.pRef : target.value;
    int nType = t.GetTypeInline();
    int nValueType = value.GetTypeInline();
    if (nValueType == nType && IsWord(nType)) {
        t.SetWordInline(nType, value.GetWordInline());
        return;
    }
    if (nType >= 1 && nType <= 13 && nValueType == nType) {
        t.Copy(value, false);
        return;
    }
    CVLVariant converted;
    converted.SetAs(t.GetValueType(), value);
    t.SetValue(converted);
}

inline void CVLScriptRun::ClearStatement()
{
    // A statement's leftovers: values of expression statements, and frames of
    // calls that never completed (only a damaged image leaves those).
    m_nTop = 0;
    while (!m_pFrames->IsEmpty())
        m_pFrames->CVLScriptParamsStack::Pop();
}

void CVLScriptRun::BindParameters()
{
    const std::list<CVLVariant*>& args = m_pParams->GetArguments();
    auto it = args.begin();
    for (const SVLScriptParamInfo& info : m_pProgram->m_Params) {
        CVLVariant* pArg = it != args.end() ? *it : nullptr;
        if (pArg == nullptr)
            Fail(VLSCR_ERR_PARAMS_COUNT, __LINE__, CountReason(*m_pScript, args.size()));
        SSlot& slot = m_pSlots[info.nName];
        slot.bParam = true;
        slot.Update();
        // A 32-bit argument for a 32-bit parameter keeps its bits, also
        // through a reference to a variable of the calling run.
        const CVLVariant* pValue = pArg;
        if (IsWord(info.nType) && typeid(*pArg) == typeid(CVLVariant)) {
            const CVLVariant* pTarget = pArg->GetReferenceInline();
            if (pTarget != nullptr && typeid(*pTarget) == typeid(CVLVariant))
                pValue = pTarget;
        }
        if (IsWord(info.nType) && typeid(*pValue) == typeid(CVLVariant) && IsWord(pValue->GetTypeInline()))
            slot.param.SetWordInline(info.nType, pValue->GetWordInline());
        else
            slot.param.SetAs(info.nType, *pArg);
        ++it;
    }
    if (it != args.end())
        Fail(VLSCR_ERR_PARAMS_COUNT, __LINE__, CountReason(*m_pScript, args.size()));
}

VL_STEP void CVLScriptRun::BindEntries(const SEntry* pArgs, size_t nArgs)
{
    // As BindParameters binds the arguments that the frame and separator
    // instructions would have made of these entries: a variable as a
    // reference to it, a value as a copy, an object variable without an
    // object as an empty value.
    if (m_pProgram->m_Params.size() != nArgs)
        Fail(VLSCR_ERR_PARAMS_COUNT, __LINE__, CountReason(*m_pScript, nArgs));
    for (size_t i = 0; i < nArgs; ++i) {
        const SVLScriptParamInfo& info = m_pProgram->m_Params[i];
        const SEntry& e = pArgs[i];
        SSlot& slot = m_pSlots[info.nName];
        slot.bParam = true;
        slot.Update();
        if (e.nKind == KIND_REF) {
            // The run's variables are plain variants.
            if (IsWord(info.nType) && IsWord(e.pRef->GetTypeInline())) {
                slot.param.SetWordInline(info.nType, e.pRef->GetWordInline());
            } else {
                CVLVariant reference;
                reference.SetReferenceInline(e.pRef);
                slot.param.SetAs(info.nType, reference);
            }
        } else if (e.nKind == KIND_VALUE) {
            if (IsWord(info.nType) && IsWord(e.value.GetTypeInline()))
                slot.param.SetWordInline(info.nType, e.value.GetWordInline());
            else
                slot.param.SetAs(info.nType, e.value);
        } else {
            slot.param.SetAs(info.nType, EmptyValue());
        }
    }
}

void CVLScriptRun::Run()
{
    Start(nullptr, 0);
}

void CVLScriptRun::Start(const SEntry* pArgs, size_t nArgs)
{
    CDepthGuard depth;
    if (t_nDepth == 1)
        t_nSteps = 0;
    try {
        if (!m_pProgram->m_bParamsValid)
            Fail(VLSCR_ERR_UNEXPECTED, __LINE__);
        if (t_nDepth > MAX_NESTING)
            Fail(VLSCR_ERR_UNEXPECTED, __LINE__, NestingReason());
        if (pArgs != nullptr) {
            m_pParams->CVLScriptParams::ClearReturnValue();
            BindEntries(pArgs, nArgs);
        } else {
            m_pParams->ClearReturnValue();
            BindParameters();
        }
        Loop();
    } catch (EVLScriptException* e) {
        VLScrDbgReportException(e);
        ReportToWaiting(e);
        Unwind();
        throw;
    } catch (EVLException* e) {
        VLScrDbgReportException(e);
        e->Delete();
        EVLScriptException* pError = MakeError(VLSCR_ERR_UNEXPECTED);
        ReportToWaiting(pError);
        Unwind();
        throw pError;
    } catch (...) {
        EVLScriptException* pError = MakeError(VLSCR_ERR_UNEXPECTED);
        ReportToWaiting(pError);
        Unwind();
        throw pError;
    }
}

void CVLScriptRun::ReportToWaiting(EVLException* e)
{
    if (!VLScrDbgIsEnabled())
        return;
    for (size_t i = 0; i < m_pRootStore->calls.size(); ++i)
        VLScrDbgReportException(e);
}

VL_STEP const SVLScriptInstr* CVLScriptRun::RunCode() const
{
    return m_pProgram->m_Fast.size() == m_pProgram->m_Code.size() ? m_pProgram->m_Fast.data()
                                                                   : m_pProgram->m_Code.data();
}

VL_STEP void CVLScriptRun::Enter(CVLScript* pScript, size_t nArgs)
{
    // What a waiting run holds is counted when a call is made below it: a
    // call that goes no deeper cannot add a waiting run, so a loop calling a
    // function does not count its caller over and over. The runs that wait
    // stay within the budget but for the newest one.
    std::vector<SActivation>& calls = m_pRootStore->calls;
    if (!calls.empty() && !calls.back().bCounted)
        CountWaiting(calls.back());
    const CVLScriptProgram* pProgram = pScript->GetProgram();
    const size_t nNames = pProgram->m_Names.size();
    SStore* pStore = m_pStore->pChild;
    if (pStore == nullptr) {
        pStore = AcquireStore();
        m_pStore->pChild = pStore;
    }
    if (pStore->slots.size() < nNames)
        pStore->slots.resize(nNames);
    calls.emplace_back();
    SActivation& a = calls.back();
    a.pScript = m_pScript;
    a.pProgram = m_pProgram;
    a.pParams = m_pParams;
    a.pStore = m_pStore;
    a.nTop = m_nTop;
    a.nCapacity = m_nCapacity;
    a.nHigh = m_nHigh;
    a.nSlots = m_nSlots;
    a.nPC = m_nPC;
    a.nArgs = nArgs;
    a.nHeld = 0;
    a.bCounted = false;
    a.bOwnBuiltins = m_bOwnBuiltins;
    ++t_nDepth;
    const SEntry* pArgs = m_pStack + (m_nTop - nArgs);
    m_pParams = &m_pStore->result;
    m_pScript = pScript;
    m_pProgram = pProgram;
    m_pStore = pStore;
    m_pStack = pStore->stack.data();
    m_nTop = 0;
    m_nCapacity = kInitialStack;
    m_nHigh = 0;
    m_pSlots = pStore->slots.data();
    m_nSlots = nNames;
    m_pFrames = &pStore->frames;
    m_bOwnBuiltins = true;  // the caller checked the script's kind
    m_nPC = 0;
    // From here on a failure is the callee's, as in a run of its own.
    if (!m_pProgram->m_bParamsValid)
        Fail(VLSCR_ERR_UNEXPECTED, __LINE__);
    m_pParams->CVLScriptParams::ClearReturnValue();
    BindEntries(pArgs, nArgs);
}

VL_STEP void CVLScriptRun::Leave()
{
    const size_t nArgs = Return();
    m_nTop -= nArgs;
    PushResult(m_pStore->result);
}

VL_STEP size_t CVLScriptRun::Return()
{
    ResetStore();
    const SActivation& a = m_pRootStore->calls.back();
    --t_nDepth;
    t_nHeldBytes -= a.nHeld;
    m_pScript = a.pScript;
    m_pProgram = a.pProgram;
    m_pParams = a.pParams;
    m_pStore = a.pStore;
    m_pStack = a.pStore->stack.data();
    m_nTop = a.nTop;
    m_nCapacity = a.nCapacity;
    m_nHigh = a.nHigh;
    m_pSlots = a.pStore->slots.data();
    m_nSlots = a.nSlots;
    m_pFrames = &a.pStore->frames;
    m_bOwnBuiltins = a.bOwnBuiltins;
    m_nPC = a.nPC;
    const size_t nArgs = a.nArgs;
    m_pRootStore->calls.pop_back();
    return nArgs;
}

void CVLScriptRun::CountWaiting(SActivation& a)
{
    const size_t nHeld = StateBytes(a.pStore->stack.data(), a.nTop, a.nCapacity, a.pStore->slots.data(), a.nSlots,
                                    a.nArgs);
    CheckHeld(nHeld);
    t_nHeldBytes += nHeld;
    a.nHeld = nHeld;
    a.bCounted = true;
}

void CVLScriptRun::CountAllWaiting()
{
    for (SActivation& a : m_pRootStore->calls) {
        if (!a.bCounted)
            CountWaiting(a);
    }
}

void CVLScriptRun::Unwind()
{
    while (!m_pRootStore->calls.empty())
        Return();
}

void CVLScriptRun::FillDebugContext(VLScrDbgContext& ctx)
{
    ctx.pScript = const_cast<CVLScript*>(m_pScript);
    ctx.pFileInfo = VLScrDbgFindFileInfo(m_pScript->GetSourceName().GetBuffer());
    ctx.pPosition = m_pScript->GetCode();
    ctx.nLastLine = 0;
    ctx.pExtend = m_pHost;
    ctx.pLocals = nullptr;
    ctx.pParameters = nullptr;
}

void CVLScriptRun::Loop()
{
    if (!VLScrDbgIsEnabled()) {
        Steps<false>(nullptr);
        return;
    }
    VLScrDbgContext ctx;
    FillDebugContext(ctx);
    // The debugger sees the variables through references to them.
    VLScrDbgVariableTable locals;
    VLScrDbgVariableTable parameters;
    ctx.pLocals = &locals;
    ctx.pParameters = &parameters;
    Steps<true>(&ctx);
}

template <bool bDebug>
void CVLScriptRun::Steps(VLScrDbgContext* pCtx)
{
    // The debugger steps through every instruction; other runs take the
    // common runs of instructions in one step.
    const SVLScriptInstr* pPlain = m_pProgram->m_Code.data();
    const SVLScriptInstr* pCode = bDebug ? pPlain : RunCode();
    size_t nPC = 0;
    for (;;) {
        m_nPC = nPC;
        const SVLScriptInstr& instr = pCode[nPC];
        if (bDebug && VLScrDbgIsEnabled()) {
            VLScrDbgVariableTable& locals = *pCtx->pLocals;
            VLScrDbgVariableTable& parameters = *pCtx->pParameters;
            locals.clear();
            parameters.clear();
            for (size_t i = 0; i < m_nSlots; ++i) {
                if (m_pSlots[i].bLocal)
                    locals[m_pProgram->m_Names[i]].SetReference(&m_pSlots[i].local);
                if (m_pSlots[i].bParam)
                    parameters[m_pProgram->m_Names[i]].SetReference(&m_pSlots[i].param);
            }
            pCtx->pPosition = m_pScript->GetCode() + instr.nOffset;
            VLScrDbgCheckLine(pCtx);
        }
        VL_BYTE nOp = instr.nOp;
        ++nPC;
    dispatch:
        switch (nOp) {
        case VLSCR_IOP_SET_VAR_OP:
            if (SetVarOp(pPlain + nPC - 1)) {
                nPC += 4;
                break;
            }
            nOp = pPlain[nPC - 1].nOp;
            goto dispatch;
        case VLSCR_IOP_VAR_CONST_TEST:
        case VLSCR_IOP_VAR_VAR_TEST: {
            bool b = false;
            if (VarTest(pPlain + nPC - 1, b)) {
                nPC += 2;  // the JUMP_FALSE
                m_nPC = nPC;
                CountStep();
                ClearStatement();
                nPC = b ? nPC + 1 : pPlain[nPC].u.nIndex;
                break;
            }
            nOp = pPlain[nPC - 1].nOp;
            goto dispatch;
        }
        case VLSCR_IOP_VAR_CONST_OP:
            if (VarConstOp(pPlain + nPC - 1)) {
                nPC += 2;
                break;
            }
            nOp = pPlain[nPC - 1].nOp;
            goto dispatch;
        case VLSCR_IOP_CONST_OP:
            if (ConstOp(pPlain + nPC - 1)) {
                nPC += 1;
                break;
            }
            nOp = pPlain[nPC - 1].nOp;
            goto dispatch;
        case VLSCR_IOP_VAR_POST_STEP:
            if (VarPostStep(pPlain + nPC - 1)) {
                nPC += 1;
                break;
            }
            nOp = pPlain[nPC - 1].nOp;
            goto dispatch;
        case VLSCR_OP_DECLARE: {
            SSlot& slot = m_pSlots[instr.u.nIndex];
            slot.bLocal = true;
            // An object (or reference) variable starts without anything
            // behind it: it reads as empty and ignores writes.
            slot.bNullObject = instr.nType == 19 || instr.nType == 20;
            slot.Update();
            if (slot.bNullObject)
                slot.local.Reset();
            else
                slot.local.SetType(instr.nType);
            break;
        }
        case VLSCR_IOP_LOOP:
            nPC = LoopPass(instr, pPlain);
            break;
        case VLSCR_OP_JUMP:
            CountStep();
            ClearStatement();
            nPC = instr.u.nIndex;
            break;
        case VLSCR_OP_JUMP_FALSE: {
            Need(1);
            const CVLVariant& v = Read(m_pStack[m_nTop - 1]);
            bool b = v.GetTypeInline() == 1 ? v.GetBoolInline() : v.ToBool(false);
            CountStep();
            ClearStatement();
            if (!b)
                nPC = instr.u.nIndex;
            break;
        }
        case VLSCR_OP_PARAM_FRAME:
            m_pFrames->CVLScriptParamsStack::Push();
            break;
        case VLSCR_OP_PARAM_SEP: {
            CVLScriptParams* pFrame = m_pFrames->Top();
            if (pFrame == nullptr)
                Fail(VLSCR_ERR_PARAMS_STACK, __LINE__);
            Need(1);
            AddArgument(pFrame, m_pStack[m_nTop - 1]);
            --m_nTop;
            break;
        }
        case VLSCR_IOP_ARGS_NOP:
            break;
        case VLSCR_IOP_ARGS_CALL: {
            // The call follows; the loop goes on behind it.
            const size_t nArgs = instr.nType;
            m_nPC = nPC;
            ++nPC;
            CountStep();
            if (CVLScript* pScript = CallDirect(pPlain[m_nPC], nArgs)) {
                Enter(pScript, nArgs);
                pPlain = m_pProgram->m_Code.data();
                pCode = RunCode();
                nPC = 0;
            }
            break;
        }
        case VLSCR_OP_RETURN_VALUE: {
            Need(1);
            CVLVariant& result = m_pParams->GetReturnValue();
            const CVLVariant& v = Read(m_pStack[m_nTop - 1]);
            // A 32-bit value into a plain return value, as SetValue does it.
            int nType = v.GetTypeInline();
            int nResultType = result.GetTypeInline();
            if (IsWord(nType) && nResultType != 19 && nResultType != 20 && typeid(result) == typeid(CVLVariant) &&
                typeid(v) == typeid(CVLVariant))
                result.SetWordInline(nType, v.GetWordInline());
            else
                result.SetValue(v);
            if (m_pRootStore->calls.empty())
                return;
            Leave();
            pPlain = m_pProgram->m_Code.data();
            pCode = RunCode();
            nPC = m_nPC + 1;
            break;
        }
        case VLSCR_OP_RETURN:
            if (m_pRootStore->calls.empty())
                return;
            Leave();
            pPlain = m_pProgram->m_Code.data();
            pCode = RunCode();
            nPC = m_nPC + 1;
            break;
        case VLSCR_OP_PUSH_LONG: {
            SEntry& e = Push();
            e.nKind = KIND_VALUE;
            e.value.SetLongInline(instr.u.nLong);
            break;
        }
        case VLSCR_OP_PUSH_ULONG: {
            SEntry& e = Push();
            e.nKind = KIND_VALUE;
            e.value.SetULongInline(instr.u.nULong);
            break;
        }
        case VLSCR_OP_PUSH_DOUBLE: {
            SEntry& e = Push();
            e.nKind = KIND_VALUE;
            e.value.SetDouble(instr.u.dValue);
            break;
        }
        case VLSCR_OP_PUSH_STRING: {
            SEntry& e = Push();
            e.nKind = KIND_VALUE;
            e.value.SetString(m_pProgram->m_Strings[instr.u.nIndex]);
            break;
        }
        case VLSCR_OP_PUSH_TRUE:
        case VLSCR_OP_PUSH_FALSE: {
            SEntry& e = Push();
            e.nKind = KIND_VALUE;
            e.value.SetBoolInline(nOp == VLSCR_OP_PUSH_TRUE);
            break;
        }
        case VLSCR_OP_PUSH_NULL: {
            SEntry& e = Push();
            e.nKind = KIND_VALUE;
            e.value.Reset();
            break;
        }
        case VLSCR_OP_VARIABLE:
            Variable(instr.u.nIndex);
            break;
        case VLSCR_OP_CALL:
            CountStep();
            Call(instr);
            break;
        case VLSCR_OP_ASSIGN:
            if (!FastAssign() && !StringAssign()) {
                Need(2);
                Store(m_pStack[m_nTop - 2], Read(m_pStack[m_nTop - 1]));
                --m_nTop;
            }
            break;
#define VL_WORD_CASE(op)                \
    case op:                            \
        if (!WordBinary<op>())          \
            Binary(op);                 \
        break;
        VL_WORD_CASE(VLSCR_OP_MUL)
        VL_WORD_CASE(VLSCR_OP_DIV)
        VL_WORD_CASE(VLSCR_OP_MOD)
        case VLSCR_OP_ADD:
            if (!WordBinary<VLSCR_OP_ADD>() && !StringConcat())
                Binary(VLSCR_OP_ADD);
            break;
        VL_WORD_CASE(VLSCR_OP_SUB)
        VL_WORD_CASE(VLSCR_OP_LT)
        VL_WORD_CASE(VLSCR_OP_GT)
        VL_WORD_CASE(VLSCR_OP_LE)
        VL_WORD_CASE(VLSCR_OP_GE)
        VL_WORD_CASE(VLSCR_OP_EQ)
        VL_WORD_CASE(VLSCR_OP_NE)
        VL_WORD_CASE(VLSCR_OP_BITAND)
        VL_WORD_CASE(VLSCR_OP_BITXOR)
        VL_WORD_CASE(VLSCR_OP_BITOR)
        VL_WORD_CASE(VLSCR_OP_SHL)
        VL_WORD_CASE(VLSCR_OP_SHR)
#undef VL_WORD_CASE
        case VLSCR_OP_AND:
        case VLSCR_OP_OR:
            Binary(nOp);
            break;
        case VLSCR_OP_POST_INC:
        case VLSCR_OP_POST_DEC: {
            // The common loop counter: a long variable.
            if (m_nTop >= 1) {
                SEntry& e = m_pStack[m_nTop - 1];
                if (e.nKind == KIND_REF && e.pRef->GetTypeInline() == 8) {
                    VL_LONG n = e.pRef->GetWordInline();
                    VL_ULONG nStep = nOp == VLSCR_OP_POST_INC ? 1u : 0xffffffffu;
                    e.pRef->SetLongInline(static_cast<VL_LONG>(static_cast<VL_ULONG>(n) + nStep));
                    e.nKind = KIND_VALUE;
                    e.value.SetLongInline(n);
                    e.value.SetModified(true);
                    break;
                }
            }
            Unary(nOp);
            break;
        }
        case VLSCR_OP_PLUS:
        case VLSCR_OP_NEGATE:
        case VLSCR_OP_PRE_INC:
        case VLSCR_OP_PRE_DEC:
        case VLSCR_OP_NOT:
        case VLSCR_OP_COMPLEMENT:
            Unary(nOp);
            break;
        default:
            // A fault found when the image was loaded, the end of the code, or
            // an opcode outside the instruction set.
            Fail(VLSCR_ERR_UNEXPECTED, __LINE__);
        }
    }
}

VL_STEP void CVLScriptRun::Variable(VL_ULONG nName)
{
    SSlot& slot = m_pSlots[nName];
    if (slot.pPlain != nullptr) {
        SEntry& e = Push();
        e.nKind = KIND_REF;
        e.pRef = slot.pPlain;
    } else if (slot.bLocal) {
        SEntry& e = Push();  // an object variable without an object
        e.nKind = KIND_NULL_OBJECT;
        e.pRef = nullptr;
    } else {
        HostVariable(nName);
    }
}

void CVLScriptRun::HostVariable(VL_ULONG nName)
{
    IVLVariantObjectIF* pObject = nullptr;
    if (m_pHost != nullptr) {
        try {
            pObject = m_pHost->GetProperty(m_pProgram->m_Names[nName].GetBuffer());
        } catch (EVLScriptException* e) {
            e->SetScriptName(m_pScript->GetSourceName().GetBuffer());
            e->SetScriptLine(static_cast<int>(m_pProgram->m_Code[m_nPC].nLine));
            CVLTrace::OutputException(VLSCRIPT_MODULE, "VLScript", __LINE__, e);
            throw;
        }
    }
    if (pObject == nullptr)
        Fail(VLSCR_ERR_NO_VARIABLE, __LINE__,
             "'" + std::string(m_pProgram->m_Names[nName].GetBuffer()) + "' is not a variable");
    SEntry& e = Push();
    e.nKind = KIND_VALUE;
    e.value.SetObject(pObject);
}

VL_STEP CVLScript* CVLScriptRun::FindScript(VL_ULONG nName)
{
    // What the name found last time, while the collection is unchanged.
    VL_ULONGLONG nStamp = m_pScripts->GetStamp();
    const SVLScriptCallTarget* pTarget = m_pProgram->GetCallTarget(nName);
    if (pTarget != nullptr && pTarget->nStamp == nStamp)
        return pTarget->pScript;
    CVLScript* pScript = m_pScripts->FindKey(m_pProgram->m_Names[nName]);
    m_pProgram->SetCallTarget(nName, nStamp, pScript);
    return pScript;
}

VL_STEP CVLScript* CVLScriptRun::LookupScript(VL_ULONG nName)
{
    return m_bPlainScripts ? FindScript(nName) : m_pScripts->Find(m_pProgram->m_Names[nName].CVLString::GetBuffer());
}

void CVLScriptRun::CheckHeld(size_t nHeld)
{
    const size_t nBudget = static_cast<size_t>(MAX_RUN_BYTES);
    if (nHeld > nBudget || t_nHeldBytes > nBudget - nHeld)
        Fail(VLSCR_ERR_UNEXPECTED, __LINE__,
             "the calls that wait for nested calls hold more than " + std::to_string(nBudget) + " bytes of values");
}

void CVLScriptRun::Call(const SVLScriptInstr& instr, bool bLookedUp, CVLScript* pFound)
{
    CVLScriptParams* pFrame = m_pFrames->CVLScriptParamsStack::Top();
    if (pFrame == nullptr)
        Fail(VLSCR_ERR_PARAMS_STACK, __LINE__);
    const CVLString& strName = m_pProgram->m_Names[instr.u.nIndex];
    const char* szName = strName.CVLString::GetBuffer();
    // A name outside the built-in library was known not to be one when the
    // image was loaded (unless a subclass brings built-ins of its own).
    bool bDone = false;
    if (!bLookedUp && (!m_bOwnBuiltins || m_pProgram->m_Builtin[instr.u.nIndex])) {
        try {
            bDone = m_pScript->CallBuiltinFunction(szName, pFrame, m_pScript->GetCode() + instr.nOffset);
        } catch (EVLScriptException*) {
            throw;
        } catch (EVLException* e) {
            // Still the unexpected error (a negative count for SubBinary),
            // but with the function that refused.
            e->Delete();
            Fail(VLSCR_ERR_UNEXPECTED, __LINE__, std::string(szName) + " cannot take these arguments");
        }
    }
    if (!bDone && m_pScripts != nullptr) {
        CVLScript* pScript = bLookedUp ? pFound : LookupScript(instr.u.nIndex);
        if (pScript != nullptr) {
            if (t_nDepth >= MAX_NESTING)
                Fail(VLSCR_ERR_UNEXPECTED, __LINE__, NestingReason());
            CountAllWaiting();
            const size_t nHeld = HeldBytes(pFrame);
            CheckHeld(nHeld);
            CHeldBytes held(nHeld);
            pScript->Execute(*pFrame, m_pScripts, m_pHost, m_pContext);
            bDone = true;
        }
    }
    if (!bDone && m_pHost != nullptr) {
        try {
            bDone = m_pHost->CallFunction(szName, pFrame, nullptr, m_pContext);
        } catch (EVLScriptException* e) {
            e->SetScriptName(m_pScript->GetSourceName().GetBuffer());
            e->SetScriptLine(static_cast<int>(instr.nLine));
            CVLTrace::OutputException(VLSCRIPT_MODULE, "VLScript", __LINE__, e);
            throw;
        }
    }
    if (!bDone)
        Fail(VLSCR_ERR_NO_FUNCTION, __LINE__, "'" + std::string(szName) + "' is not a function");
    PushResult(*pFrame);  // the frame is emptied as it goes anyway
    m_pFrames->CVLScriptParamsStack::Pop();
}

void CVLScriptRun::AddArgument(CVLScriptParams* pFrame, const SEntry& e)
{
    CVLVariant* pArg = pFrame->AddKept();
    if (e.nKind == KIND_REF) {
        pArg->SetReferenceInline(e.pRef);  // the callee reaches the variable
    } else if (e.nKind == KIND_VALUE) {
        // The frame's arguments are plain variants: a 32-bit value is
        // copied, with its flag, in place.
        int nType = e.value.GetTypeInline();
        if (IsWord(nType)) {
            pArg->SetWordInline(nType, e.value.GetWordInline());
            pArg->SetModified(e.value.IsModified());
        } else {
            *pArg = e.value;
        }
    }
}

void CVLScriptRun::MakeFrame(size_t nArgs)
{
    CVLScriptParams* pFrame = m_pFrames->CVLScriptParamsStack::Push();
    for (size_t i = m_nTop - nArgs; i < m_nTop; ++i)
        AddArgument(pFrame, m_pStack[i]);
    m_nTop -= nArgs;
}

VL_STEP CVLScript* CVLScriptRun::CallDirect(const SVLScriptInstr& instr, size_t nArgs)
{
    // The image was checked to leave exactly the arguments on the stack.
    const VL_ULONG nName = instr.u.nIndex;
    if (!m_bOwnBuiltins || m_pProgram->m_Builtin[nName] || m_pScripts == nullptr) {
        MakeFrame(nArgs);
        Call(instr);
        return nullptr;
    }
    CVLScript* pScript = LookupScript(nName);
    // A script of a derived kind runs its own way; one without code raises
    // as its Execute does.
    if (pScript == nullptr || typeid(*pScript) != typeid(CVLScript) || pScript->GetProgram() == nullptr ||
        pScript->GetCode() == nullptr || pScript->GetCode() == pScript->GetLineTable()) {
        MakeFrame(nArgs);
        Call(instr, true, pScript);
        return nullptr;
    }
    if (t_nDepth >= MAX_NESTING)
        Fail(VLSCR_ERR_UNEXPECTED, __LINE__, NestingReason());
    if (!VLScrDbgIsEnabled())
        return pScript;  // entered in this loop
    // The debugger steps through a run of its own.
    CountAllWaiting();
    const size_t nHeld = HeldBytes(nArgs);
    CheckHeld(nHeld);
    CHeldBytes held(nHeld);
    CVLScriptParams& frame = m_pStore->result;
    {
        CVLScriptRun run(*pScript, frame, m_pScripts, m_pHost, m_pContext);
        run.Start(m_pStack + (m_nTop - nArgs), nArgs);
    }
    m_nTop -= nArgs;
    PushResult(frame);
    return nullptr;
}

VL_STEP void CVLScriptRun::PushResult(CVLScriptParams& frame)
{
    SEntry& e = Push();
    e.nKind = KIND_VALUE;
    CVLVariant& result = frame.CVLScriptParams::GetReturnValue();
    int nType = result.GetTypeInline();
    if (IsWord(nType)) {
        e.value.SetWordInline(nType, result.GetWordInline());
        e.value.SetModified(result.IsModified());
    } else {
        CheckValueSize(result, __LINE__);
        e.value = result;
        result.ResetInline();
    }
}

size_t CVLScriptRun::HeldBytes(size_t nArgs) const
{
    return StateBytes(m_pStack, m_nTop, m_nCapacity, m_pSlots, m_nSlots, nArgs);
}

size_t CVLScriptRun::StateBytes(const SEntry* pStack, size_t nTop, size_t nCapacity, const SSlot* pSlots,
                                size_t nSlots, size_t nArgs)
{
    // As for a frame: the stack below the arguments, and the values among
    // the arguments twice (the callee copies them into its parameters).
    size_t n = nCapacity * sizeof(SEntry) + nSlots * sizeof(SSlot);
    for (size_t i = 0; i < nSlots; ++i) {
        const SSlot& slot = pSlots[i];
        if (slot.bLocal)
            n += ValueBytes(slot.local);
        if (slot.bParam)
            n += ValueBytes(slot.param);
    }
    for (size_t i = 0; i < nTop; ++i) {
        const SEntry& e = pStack[i];
        if (e.nKind == KIND_VALUE)
            n += (i < nTop - nArgs ? 1 : 2) * ValueBytes(e.value);
    }
    return n;
}

size_t CVLScriptRun::HeldBytes(const CVLScriptParams* pFrame) const
{
    size_t n = HeldBytes(size_t{0});
    // The arguments of the call: the callee copies them into its parameters.
    for (const CVLVariant* pArg : pFrame->GetArguments())
        n += 2 * ValueBytes(*pArg);
    return n;
}

namespace {
// a op b of two 32-bit values in the left operand's signedness, as the
// variant's operators compute them: the right one keeps its bits, signed
// values wrap, shifts count modulo 32 and signed ones copy the sign in.
// False for division and remainder by 0 (which raise) and by -1 of a signed
// value, which go through the operators.
VL_STEP bool WordCompute(VL_BYTE nOp, bool bSigned, VL_LONG a, VL_LONG b, VL_LONG& nResult, bool& bBool)
{
    const VL_ULONG ua = static_cast<VL_ULONG>(a);
    const VL_ULONG ub = static_cast<VL_ULONG>(b);
    VL_ULONG n = 0;
    bBool = false;
    switch (nOp) {
    case VLSCR_OP_LT: bBool = true; n = bSigned ? a < b : ua < ub; break;
    case VLSCR_OP_GT: bBool = true; n = bSigned ? a > b : ua > ub; break;
    case VLSCR_OP_LE: bBool = true; n = bSigned ? a <= b : ua <= ub; break;
    case VLSCR_OP_GE: bBool = true; n = bSigned ? a >= b : ua >= ub; break;
    case VLSCR_OP_EQ: bBool = true; n = a == b; break;
    case VLSCR_OP_NE: bBool = true; n = a != b; break;
    case VLSCR_OP_ADD: n = ua + ub; break;
    case VLSCR_OP_SUB: n = ua - ub; break;
    case VLSCR_OP_MUL: n = ua * ub; break;
    case VLSCR_OP_BITAND: n = ua & ub; break;
    case VLSCR_OP_BITOR: n = ua | ub; break;
    case VLSCR_OP_BITXOR: n = ua ^ ub; break;
    case VLSCR_OP_SHL: n = ua << (ub & 31u); break;
    case VLSCR_OP_SHR: n = bSigned && a < 0 ? ~(~ua >> (ub & 31u)) : ua >> (ub & 31u); break;
    case VLSCR_OP_DIV:
    case VLSCR_OP_MOD:
        if (b == 0 || (bSigned && b == -1))
            return false;
        if (bSigned)
            n = static_cast<VL_ULONG>(nOp == VLSCR_OP_DIV ? a / b : a % b);
        else
            n = nOp == VLSCR_OP_DIV ? ua / ub : ua % ub;
        break;
    default:
        return false;
    }
    nResult = static_cast<VL_LONG>(n);
    return true;
}

inline bool IsSignedWord(int nType)
{
    return nType == 6 || nType == 8;
}

// Writes an operator's result into a stack value as the operators' result
// variant would be copied there.
VL_STEP void SetResult(CVLVariant& v, int nType, bool bBool, VL_LONG n)
{
    if (bBool)
        v.SetBoolInline(n != 0);
    else
        v.SetWordInline(nType, n);
    v.SetModified(true);
}
}  // namespace

template <VL_BYTE nOp>
VL_STEP bool CVLScriptRun::WordBinary()
{
    // Two 32-bit integers of any signedness: the result has the left type.
    if (m_nTop < 2)
        return false;
    SEntry& left = m_pStack[m_nTop - 2];
    const CVLVariant& l = Read(left);
    const CVLVariant& r = Read(m_pStack[m_nTop - 1]);
    int nType = l.GetTypeInline();
    if (!IsWord(nType) || !IsWord(r.GetTypeInline()))
        return false;
    VL_LONG n;
    bool bBool;
    if (!WordCompute(nOp, IsSignedWord(nType), l.GetWordInline(), r.GetWordInline(), n, bBool))
        return false;
    SetResult(left.value, nType, bBool, n);
    left.nKind = KIND_VALUE;
    --m_nTop;
    return true;
}

VL_STEP bool CVLScriptRun::FastAssign()
{
    // A variable of a 32-bit type given a value of the same type.
    if (m_nTop < 2)
        return false;
    SEntry& target = m_pStack[m_nTop - 2];
    if (target.nKind != KIND_REF)
        return false;
    CVLVariant& t = *target.pRef;
    const CVLVariant& v = Read(m_pStack[m_nTop - 1]);
    int nType = t.GetTypeInline();
    if (nType != v.GetTypeInline() || !IsWord(nType))
        return false;
    t.SetWordInline(nType, v.GetWordInline());
    --m_nTop;
    return true;
}

namespace {
// A text that the variants' copies keep whole: UTF-8 without a zero byte
// (copying a string ends it at its first zero byte).
bool IsWholeText(const CVLString& str)
{
    if (str.CVLString::GetCharset() != VL_CHARSET_UTF8)
        return false;
    const int n = str.CVLString::GetLength();
    return n == 0 || std::memchr(str.CVLString::GetBuffer(), 0, static_cast<size_t>(n)) == nullptr;
}

// The text of a plain string variant that copies keep whole, or null.
CVLString* WholeText(const CVLVariant& v)
{
    CVLString* p = v.GetStringInline();
    return p != nullptr && typeid(v) == typeid(CVLVariant) && IsWholeText(*p) ? p : nullptr;
}
}  // namespace

bool CVLScriptRun::StringConcat()
{
    // Text + text into the left stack entry, as the operator's result copied
    // there would be, without the copies: the left text extended in place
    // when it is a value of the stack, else the entry's own text refilled.
    if (m_nTop < 2)
        return false;
    SEntry& left = m_pStack[m_nTop - 2];
    const SEntry& right = m_pStack[m_nTop - 1];
    if (left.nKind == KIND_NULL_OBJECT || right.nKind == KIND_NULL_OBJECT)
        return false;
    CVLString* pA = WholeText(Read(left));
    CVLString* pB = WholeText(Read(right));
    if (pA == nullptr || pB == nullptr || pA == pB)
        return false;
    const int nA = pA->CVLString::GetLength();
    const int nB = pB->CVLString::GetLength();
    const int nLimit = t_nValueLimit != 0 ? t_nValueLimit : static_cast<int>(MAX_VALUE_BYTES);
    if (nA > nLimit - nB)
        return false;  // the general path fails the run
    CVLVariant& result = left.value;
    if (left.nKind == KIND_VALUE) {
        pA->Append(pB->CVLString::GetBuffer(), nB);
    } else {
        if (result.GetTypeInline() != 14)
            result.SetType(14);
        CVLString* pResult = result.GetStringInline();
        pResult->Clear();
        pResult->SetCharset(VL_CHARSET_UTF8);
        pResult->Append(pA->CVLString::GetBuffer(), nA);
        pResult->Append(pB->CVLString::GetBuffer(), nB);
    }
    result.SetModified(true);
    left.nKind = KIND_VALUE;
    --m_nTop;
    return true;
}

bool CVLScriptRun::StringAssign()
{
    // A string variable given a text of the stack: the text moves into the
    // variable (the value leaves the stack with the assignment), with the
    // flag as SetString sets it.
    if (m_nTop < 2)
        return false;
    SEntry& target = m_pStack[m_nTop - 2];
    SEntry& value = m_pStack[m_nTop - 1];
    if (target.nKind != KIND_REF || value.nKind != KIND_VALUE || typeid(*target.pRef) != typeid(CVLVariant))
        return false;
    CVLString* pTarget = target.pRef->GetStringInline();
    CVLString* pValue = WholeText(value.value);
    if (pTarget == nullptr || pValue == nullptr || pTarget->CVLString::GetCharset() != VL_CHARSET_UTF8)
        return false;
    const int n = pValue->CVLString::GetLength();
    if (pTarget->CVLString::GetLength() == n &&
        (n == 0 || std::memcmp(pTarget->CVLString::GetBuffer(), pValue->CVLString::GetBuffer(), static_cast<size_t>(n)) == 0))
        return false;  // the same text: the general path leaves it as it is
    target.pRef->SwapStringInline(value.value);
    target.pRef->SetModified(true);
    --m_nTop;
    return true;
}

VL_STEP CVLVariant* CVLScriptRun::PlainVariable(VL_ULONG nName)
{
    return m_pSlots[nName].pPlain;
}

// Each run below leaves the stack entries up to the highest one it reaches,
// the variables and the flags exactly as its instructions one by one would
// (a later push may keep the flag of the value it finds in an entry); values
// it cannot take go the general way.

namespace {
// WordCompute with the operators of loop counters and sums first.
VL_STEP bool WordOp(VL_BYTE nOp, bool bSigned, VL_LONG a, VL_LONG b, VL_LONG& nResult)
{
    if (nOp == VLSCR_OP_ADD) {
        nResult = static_cast<VL_LONG>(static_cast<VL_ULONG>(a) + static_cast<VL_ULONG>(b));
        return true;
    }
    bool bBool;
    return WordCompute(nOp, bSigned, a, b, nResult, bBool);
}

VL_STEP bool WordTest(VL_BYTE nOp, bool bSigned, VL_LONG a, VL_LONG b, bool& bResult)
{
    if (nOp == VLSCR_OP_LT) {
        bResult = bSigned ? a < b : static_cast<VL_ULONG>(a) < static_cast<VL_ULONG>(b);
        return true;
    }
    VL_LONG n;
    bool bBool;
    if (!WordCompute(nOp, bSigned, a, b, n, bBool))
        return false;
    bResult = n != 0;
    return true;
}
}  // namespace

VL_STEP CVLVariant* CVLScriptRun::SetVarCompute(const SVLScriptInstr* p, int& nType, VL_LONG& nResult)
{
    // d = a op b with d of a's 32-bit type: the target, or null.
    CVLVariant* pD = PlainVariable(p[0].u.nIndex);
    CVLVariant* pA = PlainVariable(p[1].u.nIndex);
    if (pD == nullptr || pA == nullptr)
        return nullptr;
    nType = pA->GetTypeInline();
    if (!IsWord(nType) || pD->GetTypeInline() != nType)
        return nullptr;
    VL_LONG b;
    if (p[2].nOp == VLSCR_OP_VARIABLE) {
        const CVLVariant* pB = PlainVariable(p[2].u.nIndex);
        if (pB == nullptr || !IsWord(pB->GetTypeInline()))
            return nullptr;
        b = pB->GetWordInline();
    } else {
        b = p[2].u.nLong;
    }
    if (!WordOp(p[3].nOp, IsSignedWord(nType), pA->GetWordInline(), b, nResult))
        return nullptr;
    return pD;
}

VL_STEP void CVLScriptRun::SetVarEntries(SEntry* e, const SVLScriptInstr* p, CVLVariant* pD, int nType, VL_LONG n)
{
    // The entries of d = a op b: d, the result, and b.
    e[0].nKind = KIND_REF;
    e[0].pRef = pD;
    if (p[2].nOp == VLSCR_OP_VARIABLE) {
        e[2].nKind = KIND_REF;
        e[2].pRef = PlainVariable(p[2].u.nIndex);
    } else {
        e[2].nKind = KIND_VALUE;
        e[2].value.SetLongInline(p[2].u.nLong);
    }
    SetResult(e[1].value, nType, false, n);
    e[1].nKind = KIND_VALUE;
}

VL_STEP bool CVLScriptRun::SetVarOp(const SVLScriptInstr* p)
{
    // d = a op b: VARIABLE d, VARIABLE a, VARIABLE b or PUSH_LONG, operator,
    // ASSIGN, with d of a's 32-bit type. The assignment leaves d on the stack.
    const size_t t = m_nTop;
    if (t + 3 > m_nCapacity)
        return false;
    int nType;
    VL_LONG n;
    CVLVariant* pD = SetVarCompute(p, nType, n);
    if (pD == nullptr)
        return false;
    SetVarEntries(m_pStack + t, p, pD, nType, n);
    pD->SetWordInline(nType, n);
    m_nTop = t + 1;
    if (m_nHigh < t + 3)
        m_nHigh = t + 3;
    return true;
}

VL_STEP bool CVLScriptRun::TestWith(const SVLScriptInstr* p, const CVLVariant* pA, bool& bResult, CVLVariant*& pB)
{
    // VARIABLE a (pA, of a 32-bit type), PUSH_LONG or VARIABLE b (pB),
    // comparison.
    VL_LONG b;
    pB = nullptr;
    if (p[1].nOp == VLSCR_OP_VARIABLE) {
        pB = PlainVariable(p[1].u.nIndex);
        if (pB == nullptr || !IsWord(pB->GetTypeInline()))
            return false;
        b = pB->GetWordInline();
    } else {
        b = p[1].u.nLong;
    }
    return WordTest(p[2].nOp, IsSignedWord(pA->GetTypeInline()), pA->GetWordInline(), b, bResult);
}

VL_STEP bool CVLScriptRun::TestValue(const SVLScriptInstr* p, bool& bResult, CVLVariant*& pB)
{
    const CVLVariant* pA = PlainVariable(p[0].u.nIndex);
    if (pA == nullptr || !IsWord(pA->GetTypeInline()))
        return false;
    return TestWith(p, pA, bResult, pB);
}

VL_STEP void CVLScriptRun::TestEntries(SEntry* e, const SVLScriptInstr* p, bool bResult, CVLVariant* pB)
{
    // The entries of the comparison: its bool, and b.
    if (pB != nullptr) {
        e[1].nKind = KIND_REF;
        e[1].pRef = pB;
    } else {
        e[1].nKind = KIND_VALUE;
        e[1].value.SetLongInline(p[1].u.nLong);
    }
    SetResult(e[0].value, 1, true, bResult ? 1 : 0);
    e[0].nKind = KIND_VALUE;
}

VL_STEP bool CVLScriptRun::VarTest(const SVLScriptInstr* p, bool& bResult)
{
    // The comparison's bool on the stack for JUMP_FALSE.
    const size_t t = m_nTop;
    CVLVariant* pB;
    if (t + 2 > m_nCapacity || !TestValue(p, bResult, pB))
        return false;
    TestEntries(m_pStack + t, p, bResult, pB);
    m_nTop = t + 1;
    if (m_nHigh < t + 2)
        m_nHigh = t + 2;
    return true;
}

VL_STEP size_t CVLScriptRun::LoopPass(const SVLScriptInstr& jump, const SVLScriptInstr* pPlain)
{
    // The jumps count as steps all at once: when the budget might run out
    // within the pass, the jump goes alone, so that the limit is reached at
    // the instruction where it is one by one. After each jump the stack is
    // empty: the step and the test start at its bottom, and the entries are
    // written once for both as the last writer leaves them.
    const VL_ULONGLONG nLimit = t_nStepLimit;
    if (nLimit != 0 && (t_nSteps >= nLimit || nLimit - t_nSteps < 4)) {
        CountStep();
        ClearStatement();
        return jump.u.nIndex;
    }
    ClearStatement();
    VL_ULONGLONG nSteps = 1;
    size_t nPC = jump.u.nIndex;
    const SVLScriptInstr* pStep = pPlain + nPC;
    const bool bPostStep = jump.nType == 2;
    CVLVariant* pVar;
    int nType = 0;
    VL_LONG nValue = 0;  // the post step's old value, or the assigned one
    if (bPostStep) {
        pVar = PlainVariable(pStep[0].u.nIndex);
        if (pVar != nullptr) {
            nType = pVar->GetTypeInline();
            if (!IsWord(nType))
                pVar = nullptr;
        }
    } else {
        pVar = SetVarCompute(pStep, nType, nValue);
    }
    if (pVar != nullptr) {
        SEntry* e = m_pStack;
        if (bPostStep) {
            nValue = pVar->GetWordInline();
            const VL_ULONG nStep = pStep[1].nOp == VLSCR_OP_POST_INC ? 1u : 0xffffffffu;
            pVar->SetWordInline(nType, static_cast<VL_LONG>(static_cast<VL_ULONG>(nValue) + nStep));
        } else {
            SetVarEntries(e, pStep, pVar, nType, nValue);
            pVar->SetWordInline(nType, nValue);
        }
        ++nSteps;  // the step's jump to the test
        nPC = pStep[jump.nType].u.nIndex;
        const size_t nHigh = bPostStep ? 2 : 3;
        bool b;
        CVLVariant* pB;
        // The test's variable is most often the step's, still of its type.
        const SVLScriptInstr* pTest = pPlain + nPC;
        if (pTest[0].u.nIndex == pStep[0].u.nIndex ? TestWith(pTest, pVar, b, pB) : TestValue(pTest, b, pB)) {
            TestEntries(e, pTest, b, pB);
            ++nSteps;  // the test's JUMP_FALSE
            if (b) {
                ++nSteps;  // the jump into the body
                nPC = pPlain[nPC + 4].u.nIndex;
            } else {
                nPC = pPlain[nPC + 3].u.nIndex;
            }
        } else if (bPostStep) {
            // The test goes the general way: the post step's value stays.
            SetResult(e[0].value, nType, false, nValue);
            e[0].nKind = KIND_VALUE;
        }
        if (m_nHigh < nHigh)
            m_nHigh = nHigh;
    }
    if (nLimit != 0)
        t_nSteps += nSteps;
    return nPC;
}

VL_STEP bool CVLScriptRun::VarConstOp(const SVLScriptInstr* p)
{
    // VARIABLE a, PUSH_LONG, operator.
    const size_t t = m_nTop;
    if (t + 2 > m_nCapacity)
        return false;
    CVLVariant* pA = PlainVariable(p[0].u.nIndex);
    if (pA == nullptr)
        return false;
    int nType = pA->GetTypeInline();
    if (!IsWord(nType))
        return false;
    VL_LONG n;
    bool bBool;
    if (!WordCompute(p[2].nOp, IsSignedWord(nType), pA->GetWordInline(), p[1].u.nLong, n, bBool))
        return false;
    SEntry* e = m_pStack + t;
    e[1].nKind = KIND_VALUE;
    e[1].value.SetLongInline(p[1].u.nLong);
    SetResult(e[0].value, nType, bBool, n);
    e[0].nKind = KIND_VALUE;
    m_nTop = t + 1;
    if (m_nHigh < t + 2)
        m_nHigh = t + 2;
    return true;
}

VL_STEP bool CVLScriptRun::ConstOp(const SVLScriptInstr* p)
{
    // PUSH_LONG, operator with the value below it.
    const size_t t = m_nTop;
    if (t < 1 || t + 1 > m_nCapacity)
        return false;
    SEntry* e = m_pStack + t;
    const CVLVariant& l = Read(e[-1]);
    int nType = l.GetTypeInline();
    if (!IsWord(nType))
        return false;
    VL_LONG n;
    bool bBool;
    if (!WordCompute(p[1].nOp, IsSignedWord(nType), l.GetWordInline(), p[0].u.nLong, n, bBool))
        return false;
    e[0].nKind = KIND_VALUE;
    e[0].value.SetLongInline(p[0].u.nLong);
    SetResult(e[-1].value, nType, bBool, n);
    e[-1].nKind = KIND_VALUE;
    if (m_nHigh < t + 1)
        m_nHigh = t + 1;
    return true;
}

VL_STEP bool CVLScriptRun::VarPostStep(const SVLScriptInstr* p)
{
    // VARIABLE a, POST_INC or POST_DEC of a 32-bit variable.
    const size_t t = m_nTop;
    if (t + 1 > m_nCapacity)
        return false;
    CVLVariant* pA = PlainVariable(p[0].u.nIndex);
    if (pA == nullptr)
        return false;
    int nType = pA->GetTypeInline();
    if (!IsWord(nType))
        return false;
    VL_LONG nOld = pA->GetWordInline();
    VL_ULONG nStep = p[1].nOp == VLSCR_OP_POST_INC ? 1u : 0xffffffffu;
    pA->SetWordInline(nType, static_cast<VL_LONG>(static_cast<VL_ULONG>(nOld) + nStep));
    SEntry& e = m_pStack[t];
    e.nKind = KIND_VALUE;
    SetResult(e.value, nType, false, nOld);
    m_nTop = t + 1;
    if (m_nHigh < t + 1)
        m_nHigh = t + 1;
    return true;
}

void CVLScriptRun::Binary(VL_BYTE nOp)
{
    Need(2);
    SEntry& left = m_pStack[m_nTop - 2];
    const SEntry& right = m_pStack[m_nTop - 1];
    const CVLVariant& l = Read(left);
    const CVLVariant& r = Read(right);
    CVLVariant result;
    // Still the unexpected error, but with the operator and the types it
    // does not take, or the division by zero.
    try {
        BinaryResult(nOp, l, r, result);
    } catch (EVLScriptException*) {
        throw;
    } catch (EVLException* e) {
        FailOperator(e, nOp, &l, r);
    }
    CheckValueSize(result, __LINE__);
    left.nKind = KIND_VALUE;
    left.value = result;
    --m_nTop;
}

void CVLScriptRun::BinaryResult(VL_BYTE nOp, const CVLVariant& l, const CVLVariant& r, CVLVariant& result)
{
    switch (nOp) {
    case VLSCR_OP_MUL: result = l * r; break;
    case VLSCR_OP_DIV: result = l / r; break;
    case VLSCR_OP_MOD: result = l % r; break;
    case VLSCR_OP_ADD: result = l + r; break;
    case VLSCR_OP_SUB: result = l - r; break;
    case VLSCR_OP_BITAND: result = l & r; break;
    case VLSCR_OP_BITXOR: result = l ^ r; break;
    case VLSCR_OP_BITOR: result = l | r; break;
    case VLSCR_OP_SHL: result = l << r; break;
    case VLSCR_OP_SHR: result = l >> r; break;
    case VLSCR_OP_LT: result.SetBool(l < r); break;
    case VLSCR_OP_GT: result.SetBool(l > r); break;
    case VLSCR_OP_LE: result.SetBool(l <= r); break;
    case VLSCR_OP_GE: result.SetBool(l >= r); break;
    case VLSCR_OP_EQ: result.SetBool(l == r); break;
    case VLSCR_OP_NE: result.SetBool(l != r); break;
    case VLSCR_OP_AND: result.SetBool(l && r); break;
    case VLSCR_OP_OR: result.SetBool(l || r); break;
    default: Fail(VLSCR_ERR_UNEXPECTED, __LINE__);
    }
}

void CVLScriptRun::CheckValueSize(const CVLVariant& value, int nSourceLine)
{
    int nType = value.GetTypeInline();
    int nLimit = t_nValueLimit != 0 ? t_nValueLimit : static_cast<int>(MAX_VALUE_BYTES);
    if ((nType == 14 || nType == 15) && value.GetSize() > nLimit)
        Fail(VLSCR_ERR_UNEXPECTED, nSourceLine,
             std::string("a ") + (nType == 14 ? "text" : "binary value") + " longer than " + std::to_string(nLimit) +
                 " bytes");
}

void CVLScriptRun::Unary(VL_BYTE nOp)
{
    Need(1);
    SEntry& e = m_pStack[m_nTop - 1];
    const CVLVariant& v = Read(e);
    // As for a binary operator.
    try {
        UnaryResult(nOp, e, v);
    } catch (EVLScriptException*) {
        throw;
    } catch (EVLException* pError) {
        FailOperator(pError, nOp, nullptr, v);
    }
}

void CVLScriptRun::UnaryResult(VL_BYTE nOp, SEntry& e, const CVLVariant& v)
{
    switch (nOp) {
    case VLSCR_OP_PLUS:
        break;
    case VLSCR_OP_NEGATE: {
        CVLVariant minusOne;
        minusOne.SetInt(-1);
        CVLVariant result = v * minusOne;
        e.nKind = KIND_VALUE;
        e.value = result;
        break;
    }
    case VLSCR_OP_POST_INC:
    case VLSCR_OP_POST_DEC:
    case VLSCR_OP_PRE_INC:
    case VLSCR_OP_PRE_DEC: {
        bool bInc = nOp == VLSCR_OP_POST_INC || nOp == VLSCR_OP_PRE_INC;
        bool bPost = nOp == VLSCR_OP_POST_INC || nOp == VLSCR_OP_POST_DEC;
        if (bPost && e.nKind == KIND_REF && e.pRef->GetTypeInline() == 8) {
            // The common loop counter: a long variable.
            VL_LONG n = e.pRef->GetWordInline();
            e.pRef->SetLongInline(static_cast<VL_LONG>(static_cast<VL_ULONG>(n) + (bInc ? 1u : 0xffffffffu)));
            e.nKind = KIND_VALUE;
            e.value.SetLongInline(n);
            e.value.SetModified(true);
            break;
        }
        CVLVariant old;
        if (bPost)
            old.SetValue(v);  // the value before the change
        if (e.nKind == KIND_REF && e.pRef->GetTypeInline() == 8) {
            VL_LONG n = e.pRef->GetWordInline();
            e.pRef->SetLongInline(static_cast<VL_LONG>(static_cast<VL_ULONG>(n) + (bInc ? 1u : 0xffffffffu)));
        } else if (e.nKind == KIND_REF && e.pRef->GetTypeInline() == 6) {
            int n = e.pRef->GetWordInline();
            e.pRef->SetIntInline(static_cast<int>(static_cast<unsigned int>(n) + (bInc ? 1u : 0xffffffffu)));
        } else {
            CVLVariant one;
            one.SetInt(1);
            CVLVariant changed = bInc ? v + one : v - one;
            if (e.nKind == KIND_REF)
                e.pRef->SetValue(changed);
            else if (e.nKind == KIND_VALUE)
                e.value.SetValue(changed);
        }
        if (bPost) {
            e.nKind = KIND_VALUE;
            e.value = old;
        }
        break;
    }
    case VLSCR_OP_NOT: {
        bool b = !v.ToBool(false);
        e.nKind = KIND_VALUE;
        e.value.SetBool(b);
        break;
    }
    case VLSCR_OP_COMPLEMENT: {
        CVLVariant result = ~v;
        e.nKind = KIND_VALUE;
        e.value = result;
        break;
    }
    default:
        Fail(VLSCR_ERR_UNEXPECTED, __LINE__);
    }
}
