// Compiles arbitrary text; every function that compiles runs once without
// arguments under a step limit. Compile and run errors are expected; crashes,
// hangs and out-of-bounds reads are not.
#include <algorithm>
#include <cstring>
#include <string>

#include "base/core/VLException.h"
#include "script/VLScript.h"
#include "script/VLScriptCollection.h"
#include "script/VLScriptCompiler.h"
#include "script/VLScriptParams.h"
#include "script/VLScriptRun.h"
#include "base/core/VLStream.h"

namespace {

class CFuzzStream : public IVLStream
{
public:
    CFuzzStream(const uint8_t* p, size_t n) : m_p(p), m_n(n), m_nPos(0), m_bOpen(false) {}
    virtual CVLString GetClassName() const override { return CVLString("CFuzzStream", VL_CHARSET_UTF8); }
    virtual void Open(VL_OPEN_MODE) override { m_bOpen = true; }
    virtual bool IsOpen() override { return m_bOpen; }
    virtual void Close() override { m_bOpen = false; }
    virtual VL_SIZE_T Read(VL_BYTE* pBuffer, VL_SIZE_T nSize) override
    {
        size_t n = std::min(static_cast<size_t>(nSize), m_n - m_nPos);
        memcpy(pBuffer, m_p + m_nPos, n);
        m_nPos += n;
        return static_cast<VL_SIZE_T>(n);
    }
    virtual void Write(const VL_BYTE*, VL_SIZE_T) override {}
    virtual void Flush() override {}
    virtual void Seek(VL_SIZE_T nPosition) override { m_nPos = std::min<size_t>(nPosition, m_n); }
    virtual VL_SIZE_T GetSize() override { return static_cast<VL_SIZE_T>(m_n); }
    virtual void Clear() override {}
    virtual VL_CONST_STR GetTypeName() const override { return "fuzz"; }
    virtual void Destroy() override {}

private:
    const uint8_t* m_p;
    size_t m_n;
    size_t m_nPos;
    bool m_bOpen;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    CVLScriptRun::SetStepLimit(20000);
    CVLScriptRun::SetValueLimit(65536);
    CVLScriptCompiler compiler;
    CVLScriptCollection scripts;
    CFuzzStream stream(pData, nSize);
    try {
        compiler.Compile("fuzz", &stream, &scripts);
    } catch (EVLException* e) {
        e->Delete();
    }
    for (CVLScriptIterator it = scripts.Begin(); !it.IsEnd(); it.Next()) {
        CVLScriptParams params;
        try {
            it.Get()->Execute(params, &scripts, nullptr, nullptr);
        } catch (EVLException* e) {
            e->Delete();
        }
    }
    return 0;
}
