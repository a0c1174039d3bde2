#include "script/VLScriptProgram.h"

#include <unordered_map>
#include <string>

#include "base/core/VLByteOrder.h"
#include "script/VLScript.h"

namespace {
std::string Key(const CVLString& s)
{
    return std::string(s.GetBuffer(), static_cast<size_t>(s.GetLength()));
}
}  // namespace

CVLScriptProgram::CVLScriptProgram() : m_bParamsValid(true)
{
}

CVLScriptProgram::~CVLScriptProgram()
{
}

VL_ULONG CVLScriptProgram::InternName(const CVLString& strName)
{
    for (size_t i = 0; i < m_Names.size(); ++i) {
        if (m_Names[i] == strName)
            return static_cast<VL_ULONG>(i);
    }
    m_Names.push_back(strName);
    return static_cast<VL_ULONG>(m_Names.size() - 1);
}

void CVLScriptProgram::Build(const CVLScript& script, VL_ULONG nParamSize, VL_ULONG nCodeSize)
{
    m_Code.clear();
    m_Fast.clear();
    m_Names.clear();
    m_Strings.clear();
    m_Params.clear();
    m_Builtin.clear();
    m_bParamsValid = true;

    // Parameters: 5-byte entries; a cut-off entry at the end is ignored.
    const VL_BYTE* pParams = script.GetParamTable();
    for (VL_ULONG i = 0; i + VLSCRIPT_PARAM_ENTRY_SIZE <= nParamSize; i += VLSCRIPT_PARAM_ENTRY_SIZE) {
        SVLScriptParamInfo info;
        info.nType = pParams[i];
        CVLString strName(VL_CHARSET_UTF8);
        if (!script.GetPoolString(CVLByteOrder::GetUInt32(VLSCRIPT_BYTE_ORDER, pParams + i + 1), strName))
            m_bParamsValid = false;
        info.nName = InternName(strName);
        m_Params.push_back(info);
    }

    // Names interned in a hash map while decoding: a large image stays linear.
    std::unordered_map<std::string, VL_ULONG> names;
    for (size_t i = 0; i < m_Names.size(); ++i)
        names.emplace(Key(m_Names[i]), static_cast<VL_ULONG>(i));
    auto intern = [&](const CVLString& s) -> VL_ULONG {
        auto it = names.find(Key(s));
        if (it != names.end())
            return it->second;
        m_Names.push_back(s);
        VL_ULONG n = static_cast<VL_ULONG>(m_Names.size() - 1);
        names.emplace(Key(s), n);
        return n;
    };

    const VL_BYTE* pCode = script.GetCode();
    std::vector<VL_ULONG> jumpFixups;
    VL_ULONG nPos = 0;
    while (nPos < nCodeSize) {
        SVLScriptInstr instr;
        instr.nOp = pCode[nPos];
        instr.nType = 0;
        instr.nOffset = nPos;
        instr.nLine = 0;
        instr.u.dValue = 0;
        int nOperand = VLScriptOperandSize(instr.nOp);
        if (nOperand < 0 || static_cast<VL_ULONG>(nOperand) > nCodeSize - nPos - 1) {
            // Unknown opcode or an operand cut off by the end of the code:
            // nothing after it can be decoded reliably.
            instr.nOp = VLSCR_IOP_FAULT;
            m_Code.push_back(instr);
            break;
        }
        const VL_BYTE* pOperand = pCode + nPos + 1;
        CVLString strText(VL_CHARSET_UTF8);
        switch (instr.nOp) {
        case VLSCR_OP_DECLARE:
        case VLSCR_OP_VARIABLE:
        case VLSCR_OP_CALL:
            if (script.GetPoolString(CVLByteOrder::GetUInt32(VLSCRIPT_BYTE_ORDER, pOperand), strText))
                instr.u.nIndex = intern(strText);
            else
                instr.nOp = VLSCR_IOP_FAULT;
            if (instr.nOp == VLSCR_OP_DECLARE)
                instr.nType = pOperand[4];
            break;
        case VLSCR_OP_JUMP:
        case VLSCR_OP_JUMP_FALSE:
            instr.u.nULong = CVLByteOrder::GetUInt32(VLSCRIPT_BYTE_ORDER, pOperand);
            jumpFixups.push_back(static_cast<VL_ULONG>(m_Code.size()));
            break;
        case VLSCR_OP_PUSH_LONG:
            instr.u.nLong = CVLByteOrder::GetInt32(VLSCRIPT_BYTE_ORDER, pOperand);
            break;
        case VLSCR_OP_PUSH_ULONG:
            instr.u.nULong = CVLByteOrder::GetUInt32(VLSCRIPT_BYTE_ORDER, pOperand);
            break;
        case VLSCR_OP_PUSH_DOUBLE:
            instr.u.dValue = CVLByteOrder::GetDouble(VLSCRIPT_BYTE_ORDER, pOperand);
            break;
        case VLSCR_OP_PUSH_STRING:
            if (script.GetPoolString(CVLByteOrder::GetUInt32(VLSCRIPT_BYTE_ORDER, pOperand), strText)) {
                std::string text = Key(strText);
                for (char& c : text)
                    c = static_cast<char>(~static_cast<unsigned char>(c));
                m_Strings.push_back(CVLString(text.data(), static_cast<int>(text.size()), VL_CHARSET_UTF8));
                instr.u.nIndex = static_cast<VL_ULONG>(m_Strings.size() - 1);
            } else {
                instr.nOp = VLSCR_IOP_FAULT;
            }
            break;
        default:
            break;
        }
        m_Code.push_back(instr);
        nPos += 1 + static_cast<VL_ULONG>(nOperand);
    }
    SVLScriptInstr end;
    end.nOp = VLSCR_IOP_END;
    end.nType = 0;
    end.nOffset = nCodeSize;
    end.nLine = 0;
    end.u.dValue = 0;
    m_Code.push_back(end);

    // Calls look at the built-in library only for names it knows.
    m_Builtin.assign(m_Names.size(), false);
    for (size_t i = 0; i < m_Names.size(); ++i)
        m_Builtin[i] = VLScriptIsBuiltinName(m_Names[i].GetBuffer());

    // Jump targets: the code offset of an instruction, or the end of the code
    // (which then raises); anything else makes the jump a fault.
    for (VL_ULONG nIndex : jumpFixups) {
        SVLScriptInstr& instr = m_Code[nIndex];
        VL_ULONG nTarget = instr.u.nULong;
        size_t lo = 0, hi = m_Code.size();
        while (lo < hi) {
            size_t mid = (lo + hi) / 2;
            if (m_Code[mid].nOffset < nTarget)
                lo = mid + 1;
            else
                hi = mid;
        }
        // The end marker answers only for the offset equal to the code size.
        if (lo < m_Code.size() && m_Code[lo].nOffset == nTarget &&
            (m_Code[lo].nOp != VLSCR_IOP_END || nTarget == nCodeSize))
            instr.u.nIndex = static_cast<VL_ULONG>(lo);
        else
            instr.nOp = VLSCR_IOP_FAULT;
    }

    // Source lines, in one sweep over the line table: the line of the last
    // entry before the first entry whose offset lies beyond the instruction.
    const VL_BYTE* pLines = script.GetLineTable();
    VL_ULONG nLineSize = static_cast<VL_ULONG>(script.GetData() + script.GetSize() - pLines);
    if (nLineSize < 4) {
        BuildFast();
        return;
    }
    VL_ULONG nEntries = (nLineSize - 4) / VLSCRIPT_LINE_ENTRY_SIZE;
    VL_ULONG k = 0;
    for (SVLScriptInstr& instr : m_Code) {
        while (k < nEntries &&
               CVLByteOrder::GetUInt32(VLSCRIPT_BYTE_ORDER, pLines + 4 + k * VLSCRIPT_LINE_ENTRY_SIZE) <=
                   instr.nOffset)
            ++k;
        instr.nLine = k == 0 ? 0
                             : CVLByteOrder::GetUInt32(VLSCRIPT_BYTE_ORDER,
                                                       pLines + 4 + (k - 1) * VLSCRIPT_LINE_ENTRY_SIZE + 4);
    }
    BuildFast();
}

namespace {
bool IsIntegerOperator(VL_BYTE nOp)
{
    switch (nOp) {
    case VLSCR_OP_MUL:
    case VLSCR_OP_DIV:
    case VLSCR_OP_MOD:
    case VLSCR_OP_ADD:
    case VLSCR_OP_SUB:
    case VLSCR_OP_BITAND:
    case VLSCR_OP_BITXOR:
    case VLSCR_OP_BITOR:
    case VLSCR_OP_SHL:
    case VLSCR_OP_SHR:
        return true;
    default:
        return false;
    }
}

bool IsComparison(VL_BYTE nOp)
{
    return nOp >= VLSCR_OP_LT && nOp <= VLSCR_OP_NE;
}

// What an instruction does to the value stack inside an argument list:
// the operands it needs and the values it leaves; false for one that may
// leave the expression (jumps, returns, declarations, faults).
bool StackEffect(VL_BYTE nOp, int& nNeed, int& nDelta)
{
    switch (nOp) {
    case VLSCR_OP_PUSH_LONG:
    case VLSCR_OP_PUSH_ULONG:
    case VLSCR_OP_PUSH_DOUBLE:
    case VLSCR_OP_PUSH_STRING:
    case VLSCR_OP_PUSH_TRUE:
    case VLSCR_OP_PUSH_FALSE:
    case VLSCR_OP_PUSH_NULL:
    case VLSCR_OP_VARIABLE:
        nNeed = 0;
        nDelta = 1;
        return true;
    case VLSCR_OP_ASSIGN:
    case VLSCR_OP_AND:
    case VLSCR_OP_OR:
        nNeed = 2;
        nDelta = -1;
        return true;
    case VLSCR_OP_PLUS:
    case VLSCR_OP_NEGATE:
    case VLSCR_OP_PRE_INC:
    case VLSCR_OP_PRE_DEC:
    case VLSCR_OP_POST_INC:
    case VLSCR_OP_POST_DEC:
    case VLSCR_OP_NOT:
    case VLSCR_OP_COMPLEMENT:
        nNeed = 1;
        nDelta = 0;
        return true;
    default:
        if (IsIntegerOperator(nOp) || IsComparison(nOp)) {
            nNeed = 2;
            nDelta = -1;
            return true;
        }
        return false;
    }
}
}  // namespace

void CVLScriptProgram::MarkStackArguments()
{
    // One sweep with the open argument lists on a stack. A list qualifies
    // when each argument is an expression that leaves exactly one value and
    // never reaches below its own start, nothing inside is a jump target and
    // nothing inside leaves it; a failure disqualifies every open list (they
    // all contain the offending instruction).
    struct SOpen
    {
        size_t nFrame;
        int nOuterDepth;  // the enclosing expression's depth at the frame
        int nArgs;
    };
    const size_t n = m_Code.size();
    std::vector<bool> target(n, false);
    for (const SVLScriptInstr& instr : m_Code) {
        if ((instr.nOp == VLSCR_OP_JUMP || instr.nOp == VLSCR_OP_JUMP_FALSE) && instr.u.nIndex < n)
            target[instr.u.nIndex] = true;
    }
    std::vector<SOpen> open;
    std::vector<size_t> seps;  // separators of the open lists, in order
    std::vector<size_t> sepBase;
    int nDepth = 0;
    for (size_t i = 0; i < n; ++i) {
        const VL_BYTE nOp = m_Code[i].nOp;
        if (target[i] && !open.empty()) {
            open.clear();
            seps.clear();
        }
        if (open.empty() && nOp != VLSCR_OP_PARAM_FRAME)
            continue;
        bool bFail = false;
        if (nOp == VLSCR_OP_PARAM_FRAME) {
            open.push_back(SOpen{i, open.empty() ? 0 : nDepth, 0});
            sepBase.resize(open.size());
            sepBase.back() = seps.size();
            nDepth = 0;
        } else if (nOp == VLSCR_OP_PARAM_SEP) {
            if (nDepth != 1 || open.back().nArgs == 255) {
                bFail = true;
            } else {
                ++open.back().nArgs;
                seps.push_back(i);
                nDepth = 0;
            }
        } else if (nOp == VLSCR_OP_CALL) {
            if (nDepth != 0) {
                bFail = true;
            } else {
                const SOpen& call = open.back();
                m_Fast[call.nFrame].nOp = VLSCR_IOP_ARGS_NOP;
                for (size_t k = sepBase[open.size() - 1]; k < seps.size(); ++k)
                    m_Fast[seps[k]].nOp = VLSCR_IOP_ARGS_NOP;
                seps.resize(sepBase[open.size() - 1]);
                // The instruction before the call is the frame or the last
                // separator; the call itself is only ever stepped over.
                m_Fast[i - 1].nOp = VLSCR_IOP_ARGS_CALL;
                m_Fast[i - 1].nType = static_cast<VL_BYTE>(call.nArgs);
                m_Fast[i].nOp = VLSCR_IOP_FAULT;
                nDepth = call.nOuterDepth + 1;
                open.pop_back();
            }
        } else {
            int nNeed = 0, nDelta = 0;
            if (!StackEffect(nOp, nNeed, nDelta) || nDepth < nNeed)
                bFail = true;
            else
                nDepth += nDelta;
        }
        if (bFail) {
            open.clear();
            seps.clear();
        }
    }
}

void CVLScriptProgram::SetCallTarget(VL_ULONG nName, VL_ULONGLONG nStamp, CVLScript* pScript) const
{
    std::lock_guard<std::mutex> guard(m_CallTargetMutex);
    if (m_CallTargetStore.size() >= MAX_CALL_TARGETS)
        return;
    m_CallTargetStore.emplace_back(new SVLScriptCallTarget{nStamp, pScript});
    m_pCallTargets[nName].store(m_CallTargetStore.back().get(), std::memory_order_release);
}

void CVLScriptProgram::BuildFast()
{
    m_CallTargetStore.clear();
    m_pCallTargets.reset(new std::atomic<const SVLScriptCallTarget*>[m_Names.size()]);
    for (size_t i = 0; i < m_Names.size(); ++i)
        m_pCallTargets[i].store(nullptr, std::memory_order_relaxed);
    m_Fast = m_Code;
    size_t n = m_Code.size();
    auto op = [&](size_t i) -> VL_BYTE { return i < n ? m_Code[i].nOp : VLSCR_IOP_END; };
    for (size_t i = 0; i < n; ++i) {
        VL_BYTE a = op(i), b = op(i + 1), c = op(i + 2), d = op(i + 3), e = op(i + 4);
        if (a == VLSCR_OP_VARIABLE && b == VLSCR_OP_VARIABLE && (c == VLSCR_OP_VARIABLE || c == VLSCR_OP_PUSH_LONG) &&
            IsIntegerOperator(d) && e == VLSCR_OP_ASSIGN)
            m_Fast[i].nOp = VLSCR_IOP_SET_VAR_OP;
        else if (a == VLSCR_OP_VARIABLE && b == VLSCR_OP_PUSH_LONG && IsComparison(c) && d == VLSCR_OP_JUMP_FALSE)
            m_Fast[i].nOp = VLSCR_IOP_VAR_CONST_TEST;
        else if (a == VLSCR_OP_VARIABLE && b == VLSCR_OP_VARIABLE && IsComparison(c) && d == VLSCR_OP_JUMP_FALSE)
            m_Fast[i].nOp = VLSCR_IOP_VAR_VAR_TEST;
        else if (a == VLSCR_OP_VARIABLE && b == VLSCR_OP_PUSH_LONG && (IsIntegerOperator(c) || IsComparison(c)))
            m_Fast[i].nOp = VLSCR_IOP_VAR_CONST_OP;
        else if (a == VLSCR_OP_VARIABLE && (b == VLSCR_OP_POST_INC || b == VLSCR_OP_POST_DEC))
            m_Fast[i].nOp = VLSCR_IOP_VAR_POST_STEP;
        else if (a == VLSCR_OP_PUSH_LONG && (IsIntegerOperator(b) || IsComparison(b)))
            m_Fast[i].nOp = VLSCR_IOP_CONST_OP;
    }
    MarkStackArguments();
    MarkLoops();
}

void CVLScriptProgram::MarkLoops()
{
    // A "for" loop compiles to: test, jump if false to the exit, jump to the
    // body, step, jump to the test, body, jump to the step. The body's last
    // jump takes the rest of the pass when the step and the test are runs of
    // the kinds above.
    const size_t n = m_Code.size();
    for (size_t i = 0; i < n; ++i) {
        if (m_Code[i].nOp != VLSCR_OP_JUMP)
            continue;
        const size_t nStep = m_Code[i].u.nIndex;
        size_t nStepLength;
        if (m_Fast[nStep].nOp == VLSCR_IOP_VAR_POST_STEP)
            nStepLength = 2;
        else if (m_Fast[nStep].nOp == VLSCR_IOP_SET_VAR_OP)
            nStepLength = 5;
        else
            continue;
        if (nStep + nStepLength >= n || m_Code[nStep + nStepLength].nOp != VLSCR_OP_JUMP)
            continue;
        const size_t nTest = m_Code[nStep + nStepLength].u.nIndex;
        if (m_Fast[nTest].nOp != VLSCR_IOP_VAR_CONST_TEST && m_Fast[nTest].nOp != VLSCR_IOP_VAR_VAR_TEST)
            continue;
        if (nTest + 4 >= n || m_Code[nTest + 4].nOp != VLSCR_OP_JUMP)
            continue;
        m_Fast[i].nOp = VLSCR_IOP_LOOP;
        m_Fast[i].nType = static_cast<VL_BYTE>(nStepLength);
    }
}
