// Helpers for the interpreter tests: run an assembled image and report the
// result or the error.
#ifndef SCRIPTRUNSUPPORT_H
#define SCRIPTRUNSUPPORT_H

#include <string>
#include <vector>

#include "tests/support/script/ScriptAssembler.h"
#include "script/VLScript.h"
#include "script/VLScriptCollection.h"
#include "script/VLScriptException.h"
#include "script/VLScriptParams.h"

struct SRunResult
{
    int nError = 0;  // 0 when the run succeeded
    int nLine = -1;
    std::string strScript;
    CVLVariant value;
};

// Loads the image (a copy it owns) into the collection under its name.
inline CVLScript* AddScript(CVLScriptCollection& scripts, const CScriptAssembler::Image& img)
{
    VL_BYTE* p = new VL_BYTE[img.size()];
    std::memcpy(p, img.data(), img.size());
    CVLScript probe;
    probe.Load(p, static_cast<VL_SIZE_T>(img.size()), false);
    CVLScript* pScript = scripts.Add(probe.GetName().GetBuffer());
    *pScript = probe;
    return pScript;
}

inline SRunResult RunScript(const CVLScript& script, CVLScriptParams& params, CVLScriptCollection* pScripts = nullptr,
                            IVLScriptExtendIF* pHost = nullptr)
{
    SRunResult r;
    try {
        script.Execute(params, pScripts, pHost, nullptr);
        r.value = params.GetReturnValue();
    } catch (EVLScriptException* e) {
        r.nError = e->GetErrorCode();
        r.nLine = e->GetScriptLine();
        r.strScript = std::string(e->GetScriptName().GetBuffer());
        e->Delete();
    }
    return r;
}

inline SRunResult RunImage(const CScriptAssembler::Image& img, CVLScriptParams* pParams = nullptr,
                           CVLScriptCollection* pScripts = nullptr, IVLScriptExtendIF* pHost = nullptr)
{
    CVLScript s;
    s.Load(img.data(), static_cast<VL_SIZE_T>(img.size()), true);
    CVLScriptParams params;
    return RunScript(s, pParams != nullptr ? *pParams : params, pScripts, pHost);
}

#endif
