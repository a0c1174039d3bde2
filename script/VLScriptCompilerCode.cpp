// The compiler's code generation: instruction records, the string pool and
// the image writer.
#include "base/core/VLByteOrder.h"
#include "base/core/VLMemoryAllocException.h"
#include "script/VLScript.h"
#include "script/VLScriptCompiler.h"

#include <cstring>
#include <new>

namespace {

// The value of a decimal or "0x" literal whose digits the lexer has checked;
// anything above 32 bits reads as 2^32, so that no count of digits overflows.
VL_ULONGLONG WholeLiteral(const CVLString& strText, bool bHex)
{
    const char* p = strText.GetBuffer() + (bHex ? 2 : 0);
    VL_ULONGLONG n = 0;
    for (; *p != '\0' && n <= 0xFFFFFFFFull; ++p) {
        const int nDigit = *p <= '9' ? *p - '0' : (*p | 0x20) - 'a' + 10;
        n = n * (bHex ? 16 : 10) + static_cast<VL_ULONGLONG>(nDigit);
    }
    return n > 0xFFFFFFFFull ? 0x100000000ull : n;
}

}  // namespace

void CVLScriptCompiler::CheckLiteral(bool bAfterMinus)
{
    const bool bHex = m_pRow->nId == ID_HEX;
    const VL_ULONGLONG nMax = bHex ? 0xFFFFFFFFull : bAfterMinus ? 2147483648ull : 2147483647ull;
    if (WholeLiteral(m_strToken, bHex) > nMax)
        Fail(1001, __LINE__,
             std::string("'") + m_strToken.GetBuffer() + "' is out of range for a literal (" +
                 (bHex ? "ulong: 0 to 0xFFFFFFFF)" : "long: -2147483648 to 2147483647)"));
}

CVLScriptCompiler::Instruction CVLScriptCompiler::MakeInstruction()
{
    Instruction instr;
    memset(&instr, 0, sizeof(instr));
    instr.nId = m_pRow->nId;
    instr.nClass = m_pRow->nClass;
    instr.nPrecedence = m_pRow->nId;
    instr.nLine = m_nTokenLine;
    instr.nPosition = m_nTokenPosition;
    instr.nOpcode = m_pRow->nOpcode;
    EncodeOperand(instr);
    return instr;
}

void CVLScriptCompiler::EncodeOperand(Instruction& instr)
{
    instr.nOperandLength = 0;
    switch (instr.nId) {
    case ID_DECIMAL:
    case ID_HEX:
        // In range (CheckLiteral): 2147483648 is stored as the smallest
        // long, which the minus before it leaves as it is.
        CVLByteOrder::SetUInt32(static_cast<VL_ULONG>(WholeLiteral(m_strToken, instr.nId == ID_HEX)),
                                VLSCRIPT_BYTE_ORDER, instr.operand);
        instr.nOperandLength = 4;
        break;
    case ID_REAL:
        CVLByteOrder::SetDouble(m_strToken.ToDouble(0.0), VLSCRIPT_BYTE_ORDER, instr.operand);
        instr.nOperandLength = 8;
        break;
    case ID_STRING: {
        CVLString strUtf8 =
            m_strToken.GetCharset() == VL_CHARSET_UTF8 ? m_strToken : m_strToken.ConvertTo(VL_CHARSET_UTF8, true);
        std::string scrambled(strUtf8.GetBuffer(), static_cast<size_t>(strUtf8.GetLength()));
        for (char& c : scrambled)
            c = static_cast<char>(~static_cast<unsigned char>(c));
        CVLString strScrambled(scrambled.data(), static_cast<int>(scrambled.size()), VL_CHARSET_UTF8);
        CVLByteOrder::SetUInt32(AddString(strScrambled), VLSCRIPT_BYTE_ORDER, instr.operand);
        instr.nOperandLength = 4;
        break;
    }
    case ID_NAME:
    case ID_FUNCTION:
        CVLByteOrder::SetUInt32(AddString(m_strToken), VLSCRIPT_BYTE_ORDER, instr.operand);
        instr.nOperandLength = 4;
        break;
    default:
        break;
    }
}

VL_ULONG CVLScriptCompiler::AddString(const CVLString& strText)
{
    std::string text(strText.GetBuffer(), static_cast<size_t>(strText.GetLength()));
    auto it = m_Pool.find(text);
    if (it != m_Pool.end())
        return it->second;
    VL_ULONG nOffset = m_nPoolSize;
    m_Pool[text] = nOffset;
    m_PoolOrder.push_back(text);
    m_nPoolSize += static_cast<VL_ULONG>(text.size()) + 1;
    return nOffset;
}

size_t CVLScriptCompiler::EmitJump(VL_BYTE nOpcode, VL_ULONG nTarget)
{
    Instruction instr;
    memset(&instr, 0, sizeof(instr));
    instr.nId = ID_NONE;
    instr.nClass = CLASS_NONE;
    instr.nLine = m_nTokenLine;
    instr.nPosition = m_nTokenPosition;
    instr.nOpcode = nOpcode;
    CVLByteOrder::SetUInt32(nTarget, VLSCRIPT_BYTE_ORDER, instr.operand);
    instr.nOperandLength = 4;
    AppendInstruction(instr);
    return m_Code.size() - 1;
}

void CVLScriptCompiler::EmitSimple(VL_BYTE nOpcode)
{
    Instruction instr;
    memset(&instr, 0, sizeof(instr));
    instr.nId = ID_NONE;
    instr.nClass = CLASS_NONE;
    instr.nLine = m_nTokenLine;
    instr.nPosition = m_nTokenPosition;
    instr.nOpcode = nOpcode;
    AppendInstruction(instr);
}

void CVLScriptCompiler::EmitDeclare(int nType, const CVLString& strName)
{
    Instruction instr;
    memset(&instr, 0, sizeof(instr));
    instr.nId = ID_NONE;
    instr.nClass = CLASS_NONE;
    instr.nLine = m_nTokenLine;
    instr.nPosition = m_nTokenPosition;
    instr.nOpcode = 0x01;
    CVLByteOrder::SetUInt32(AddString(strName), VLSCRIPT_BYTE_ORDER, instr.operand);
    instr.operand[4] = static_cast<VL_BYTE>(nType);
    instr.nOperandLength = 5;
    AppendInstruction(instr);
}

void CVLScriptCompiler::AppendInstruction(const Instruction& instr)
{
    m_Code.push_back(instr);
    m_nCodeSize += 1 + static_cast<VL_ULONG>(instr.nOperandLength);
    if (!m_bLineCounted || instr.nLine != m_nLastLine) {
        m_nLineTableSize += 8;
        m_nLastLine = instr.nLine;
        m_bLineCounted = true;
    }
}

void CVLScriptCompiler::PatchJump(size_t nIndex, VL_ULONG nTarget)
{
    if (nIndex < m_Code.size())
        CVLByteOrder::SetUInt32(nTarget, VLSCRIPT_BYTE_ORDER, m_Code[nIndex].operand);
}

void CVLScriptCompiler::BuildImage(std::vector<VL_BYTE>& image) const
{
    const VL_ULONG nPoolOffset = VLSCRIPT_HEADER_SIZE;
    const VL_ULONG nParamOffset = nPoolOffset + m_nPoolSize;
    const VL_ULONG nCodeOffset = nParamOffset + m_nParamSize;
    const VL_ULONG nLineOffset = nCodeOffset + m_nCodeSize;
    const VL_ULONG nTotal = nLineOffset + m_nLineTableSize;
    image.assign(nTotal, 0);
    VL_BYTE* p = image.data();

    memcpy(p, VLSCRIPT_MAGIC, VLSCRIPT_MAGIC_SIZE);
    p[VLSCRIPT_OFS_VERSION] = VLSCRIPT_VERSION;
    CVLByteOrder::SetUInt32(nTotal, VLSCRIPT_BYTE_ORDER, p + VLSCRIPT_OFS_SIZE);
    p[VLSCRIPT_OFS_RETURN_TYPE] = static_cast<VL_BYTE>(m_nReturnType);
    CVLByteOrder::SetUInt32(nPoolOffset, VLSCRIPT_BYTE_ORDER, p + VLSCRIPT_OFS_POOL);
    CVLByteOrder::SetUInt32(nParamOffset, VLSCRIPT_BYTE_ORDER, p + VLSCRIPT_OFS_PARAMS);
    CVLByteOrder::SetUInt32(nCodeOffset, VLSCRIPT_BYTE_ORDER, p + VLSCRIPT_OFS_CODE);
    CVLByteOrder::SetUInt32(nLineOffset, VLSCRIPT_BYTE_ORDER, p + VLSCRIPT_OFS_LINES);

    VL_BYTE* pPool = p + nPoolOffset;
    for (const std::string& text : m_PoolOrder) {
        VL_ULONG nOffset = m_Pool.at(text);
        memcpy(pPool + nOffset, text.data(), text.size());
    }

    VL_BYTE* pParam = p + nParamOffset;
    for (const auto& param : m_Params) {
        pParam[0] = param.first;
        CVLByteOrder::SetUInt32(param.second, VLSCRIPT_BYTE_ORDER, pParam + 1);
        pParam += VLSCRIPT_PARAM_ENTRY_SIZE;
    }

    VL_BYTE* pCode = p + nCodeOffset;
    VL_BYTE* pLines = p + nLineOffset;
    CVLByteOrder::SetUInt32(m_nScriptNameOffset, VLSCRIPT_BYTE_ORDER, pLines);
    pLines += 4;
    VL_ULONG nCodePos = 0;
    bool bHaveLine = false;
    int nLastLine = 0;
    for (const Instruction& instr : m_Code) {
        if (!bHaveLine || instr.nLine != nLastLine) {
            CVLByteOrder::SetUInt32(nCodePos, VLSCRIPT_BYTE_ORDER, pLines);
            CVLByteOrder::SetUInt32(static_cast<VL_ULONG>(instr.nLine), VLSCRIPT_BYTE_ORDER, pLines + 4);
            pLines += VLSCRIPT_LINE_ENTRY_SIZE;
            nLastLine = instr.nLine;
            bHaveLine = true;
        }
        pCode[nCodePos] = instr.nOpcode;
        memcpy(pCode + nCodePos + 1, instr.operand, static_cast<size_t>(instr.nOperandLength));
        nCodePos += 1 + static_cast<VL_ULONG>(instr.nOperandLength);
    }
}

void CVLScriptCompiler::WriteImage(CVLScript* pScript)
{
    std::vector<VL_BYTE> image;
    try {
        BuildImage(image);
    } catch (const std::bad_alloc&) {
        throw new EVLMemoryAllocException(VLSCRIPT_MODULE, "VLScriptCompiler", __LINE__);
    }
    VL_BYTE* pBlock = new (std::nothrow) VL_BYTE[image.size()];
    if (pBlock == nullptr)
        throw new EVLMemoryAllocException(VLSCRIPT_MODULE, "VLScriptCompiler", __LINE__);
    memcpy(pBlock, image.data(), image.size());
    // The script owns the block from here on.
    pScript->Load(pBlock, static_cast<VL_ULONG>(image.size()), false);
}
