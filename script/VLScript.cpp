#include "script/VLScript.h"

#include <cstring>
#include <new>

#include "base/core/VLByteOrder.h"
#include "base/core/VLMemoryAllocException.h"
#include "script/VLScriptException.h"
#include "script/VLScriptProgram.h"
#include "script/VLScriptRun.h"

CVLScript::CVLScript()
    : m_pData(nullptr), m_nSize(0), m_bBorrowed(false), m_pPool(nullptr), m_pParams(nullptr), m_pCode(nullptr),
      m_pLines(nullptr), m_nReturnType(0), m_strName(VL_CHARSET_UTF8), m_strSourceName(VL_CHARSET_UTF8),
      m_pProgram(nullptr)
{
}

CVLScript::CVLScript(const CVLScript& other) : CVLScript()
{
    *this = other;
}

CVLScript::~CVLScript()
{
    Unload();
}

void CVLScript::Unload()
{
    if (m_pData != nullptr && !m_bBorrowed)
        delete[] m_pData;
    delete m_pProgram;
    m_pProgram = nullptr;
    m_pData = nullptr;
    m_nSize = 0;
    m_pPool = m_pParams = m_pCode = m_pLines = nullptr;
    m_nReturnType = 0;
    m_strName.Empty();
    m_strSourceName.Empty();
}

void CVLScript::ThrowLoadError(int nCode, int nLine)
{
    // The name the script holds at this moment: empty after the unload.
    EVLScriptException* p =
        new EVLScriptException(VLSCRIPT_MODULE, "VLScript", nLine, nCode, m_strName.GetBuffer(), 0, true);
    Unload();
    throw p;
}

void CVLScript::Load(const VL_BYTE* pData, VL_SIZE_T nSize, bool bBorrowed)
{
    Unload();
    if (pData == nullptr || nSize < VLSCRIPT_HEADER_SIZE) {
        if (pData != nullptr && !bBorrowed)
            delete[] pData;
        ThrowLoadError(VLSCR_ERR_INVALID_SIZE, __LINE__);
    }
    m_pData = pData;
    m_nSize = nSize;
    m_bBorrowed = bBorrowed;
    if (std::memcmp(pData, VLSCRIPT_MAGIC, VLSCRIPT_MAGIC_SIZE) != 0)
        ThrowLoadError(VLSCR_ERR_NOT_SCRIPT_CODE, __LINE__);
    if (pData[VLSCRIPT_OFS_VERSION] > VLSCRIPT_VERSION)
        ThrowLoadError(VLSCR_ERR_UNSUPPORTED_VERSION, __LINE__);
    if (CVLByteOrder::GetUInt32(VLSCRIPT_BYTE_ORDER, pData + VLSCRIPT_OFS_SIZE) != nSize)
        ThrowLoadError(VLSCR_ERR_INVALID_SIZE, __LINE__);
    m_nReturnType = pData[VLSCRIPT_OFS_RETURN_TYPE];

    // The sections follow the header in order and end inside the image.
    VL_ULONG nPool = CVLByteOrder::GetUInt32(VLSCRIPT_BYTE_ORDER, pData + VLSCRIPT_OFS_POOL);
    VL_ULONG nParams = CVLByteOrder::GetUInt32(VLSCRIPT_BYTE_ORDER, pData + VLSCRIPT_OFS_PARAMS);
    VL_ULONG nCode = CVLByteOrder::GetUInt32(VLSCRIPT_BYTE_ORDER, pData + VLSCRIPT_OFS_CODE);
    VL_ULONG nLines = CVLByteOrder::GetUInt32(VLSCRIPT_BYTE_ORDER, pData + VLSCRIPT_OFS_LINES);
    if (nPool < VLSCRIPT_HEADER_SIZE || nPool > nParams || nParams > nCode || nCode > nLines || nLines > nSize)
        ThrowLoadError(VLSCR_ERR_INVALID_POINTER, __LINE__);
    m_pPool = pData + nPool;
    m_pParams = pData + nParams;
    m_pCode = pData + nCode;
    m_pLines = pData + nLines;

    // The name is the first pool text. The source name is the one the line
    // table names (the writer stores it once, so it may be the function's
    // name itself); without a line table it is the second pool text.
    GetPoolString(0, m_strName);
    bool bSource = false;
    if (nSize - nLines >= 4)
        bSource = GetPoolString(CVLByteOrder::GetUInt32(VLSCRIPT_BYTE_ORDER, m_pLines), m_strSourceName);
    if (!bSource) {
        VL_ULONG nNameEnd = static_cast<VL_ULONG>(m_strName.GetLength()) + 1;
        if (!GetPoolString(nNameEnd, m_strSourceName))
            m_strSourceName.Empty();
    }

    try {
        m_pProgram = new CVLScriptProgram();
        m_pProgram->Build(*this, nCode - nParams, nLines - nCode);
    } catch (std::bad_alloc&) {
        Unload();
        throw new EVLMemoryAllocException(VLSCRIPT_MODULE, "VLScript", __LINE__);
    } catch (...) {
        Unload();
        throw;
    }
}

bool CVLScript::GetPoolString(VL_ULONG nOffset, CVLString& strOut) const
{
    strOut.Empty();
    if (m_pPool == nullptr)
        return false;
    VL_ULONG nPoolSize = static_cast<VL_ULONG>(m_pParams - m_pPool);
    if (nOffset >= nPoolSize)
        return false;
    const void* pEnd = std::memchr(m_pPool + nOffset, 0, nPoolSize - nOffset);
    if (pEnd == nullptr)
        return false;
    int nLength = static_cast<int>(static_cast<const VL_BYTE*>(pEnd) - (m_pPool + nOffset));
    strOut.Assign(m_pPool + nOffset, nLength, VL_CHARSET_UTF8);
    return true;
}

CVLScript& CVLScript::operator=(const CVLScript& other)
{
    if (&other == this)
        return *this;
    if (other.m_pData == nullptr) {
        Unload();
        return *this;
    }
    const VL_BYTE* pBlock = other.m_pData;
    if (!other.m_bBorrowed) {
        VL_BYTE* pCopy = new (std::nothrow) VL_BYTE[other.m_nSize];
        if (pCopy == nullptr)
            throw new EVLMemoryAllocException(VLSCRIPT_MODULE, "VLScript", __LINE__);
        std::memcpy(pCopy, other.m_pData, other.m_nSize);
        pBlock = pCopy;
    }
    Load(pBlock, other.m_nSize, other.m_bBorrowed);
    return *this;
}

VL_ULONG CVLScript::GetLineNumber(const VL_BYTE* pInstruction) const
{
    if (m_pCode == nullptr || m_pLines == nullptr || pInstruction < m_pCode || pInstruction >= m_pLines)
        return 0;
    VL_ULONG nOffset = static_cast<VL_ULONG>(pInstruction - m_pCode);
    VL_ULONG nLineSize = static_cast<VL_ULONG>(m_pData + m_nSize - m_pLines);
    if (nLineSize < 4)
        return 0;
    VL_ULONG nLine = 0;
    for (VL_ULONG i = 4; i + VLSCRIPT_LINE_ENTRY_SIZE <= nLineSize; i += VLSCRIPT_LINE_ENTRY_SIZE) {
        if (CVLByteOrder::GetUInt32(VLSCRIPT_BYTE_ORDER, m_pLines + i) > nOffset)
            break;
        nLine = CVLByteOrder::GetUInt32(VLSCRIPT_BYTE_ORDER, m_pLines + i + 4);
    }
    return nLine;
}

CVLString CVLScript::ReadString(const VL_BYTE*& p) const
{
    CVLString str(VL_CHARSET_UTF8);
    if (m_pData != nullptr && p >= m_pData && p + 4 <= m_pData + m_nSize)
        GetPoolString(CVLByteOrder::GetUInt32(VLSCRIPT_BYTE_ORDER, p), str);
    p += 4;
    return str;
}

void CVLScript::Execute(CVLScriptParams& params, CVLScriptCollection* pScripts, IVLScriptExtendIF* pHost,
                        void* pContext) const
{
    if (m_pProgram == nullptr || m_pCode == nullptr || m_pCode == m_pLines)
        throw new EVLScriptException(VLSCRIPT_MODULE, "VLScript", __LINE__, VLSCR_ERR_NO_CODE,
                                     m_strSourceName.GetBuffer(), 0, true);
    CVLScriptRun run(*this, params, pScripts, pHost, pContext);
    run.Run();
}
