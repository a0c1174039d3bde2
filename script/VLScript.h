// One compiled script (one function): its image and the interpreter that runs
// its byte code on the caller's thread.
#ifndef VLSCRIPT_H
#define VLSCRIPT_H

#include <vector>

#include "script/VLScriptDefs.h"
#include "base/core/VLString.h"

class CVLScriptParams;
class CVLScriptCollection;
class IVLScriptExtendIF;
class CVLScriptProgram;

class CVLScript
{
public:
    CVLScript();
    CVLScript(const CVLScript& other);
    virtual ~CVLScript();

    // Takes an image and checks it. With bBorrowed the caller keeps the block
    // alive while the script uses it; otherwise the script owns it and
    // releases it with delete[]. Throws EVLScriptException 1000 to 1003.
    virtual void Load(const VL_BYTE* pData, VL_SIZE_T nSize, bool bBorrowed);
    virtual const CVLString& GetName() const { return m_strName; }
    virtual const CVLString& GetSourceName() const { return m_strSourceName; }
    virtual VL_SIZE_T GetSize() const { return m_nSize; }
    virtual const VL_BYTE* GetData() const { return m_pData; }
    // Runs the script with the arguments of params; the result is params'
    // return value. Throws EVLScriptException.
    virtual void Execute(CVLScriptParams& params, CVLScriptCollection* pScripts, IVLScriptExtendIF* pHost,
                         void* pContext) const;
    virtual CVLScript& operator=(const CVLScript& other);
    // The source line of an instruction inside the code section, or 0.
    virtual VL_ULONG GetLineNumber(const VL_BYTE* pInstruction) const;
    virtual void SetBorrowed(bool bBorrowed) { m_bBorrowed = bBorrowed; }
    virtual void Unload();
    // Reads a pool reference at p (4 bytes, big-endian) and advances p by 4;
    // the text, or empty when the reference or the text is not inside the pool.
    virtual CVLString ReadString(const VL_BYTE*& p) const;
    // The built-in function library: true when it knew the name and ran it.
    virtual bool CallBuiltinFunction(const char* szName, CVLScriptParams* pFrame,
                                     const VL_BYTE* pInstruction) const;

    // Image sections (null while nothing is loaded).
    const VL_BYTE* GetPool() const { return m_pPool; }
    const VL_BYTE* GetParamTable() const { return m_pParams; }
    const VL_BYTE* GetCode() const { return m_pCode; }
    const VL_BYTE* GetLineTable() const { return m_pLines; }
    VL_BYTE GetReturnType() const { return m_nReturnType; }
    // The checked, decoded form of the code that Execute runs (null while
    // nothing is loaded).
    const CVLScriptProgram* GetProgram() const { return m_pProgram; }

    // Reads the text at a pool offset when it ends inside the pool.
    bool GetPoolString(VL_ULONG nOffset, CVLString& strOut) const;

private:
    void ThrowLoadError(int nCode, int nLine);
    VL_ULONG GetLineOfOffset(VL_ULONG nCodeOffset) const;

    const VL_BYTE* m_pData;
    VL_SIZE_T m_nSize;
    bool m_bBorrowed;
    const VL_BYTE* m_pPool;
    const VL_BYTE* m_pParams;
    const VL_BYTE* m_pCode;
    const VL_BYTE* m_pLines;
    VL_BYTE m_nReturnType;
    CVLString m_strName;
    CVLString m_strSourceName;
    CVLScriptProgram* m_pProgram;
};

#endif
