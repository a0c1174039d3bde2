// Compiled script images: load, then run with a bounded number of jumps and
// calls, the script able to call itself by name.
#include <cstddef>
#include <cstdint>

#include "base/core/VLException.h"
#include "script/VLScript.h"
#include "script/VLScriptCollection.h"
#include "script/VLScriptParams.h"
#include "script/VLScriptRun.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    CVLScriptRun::SetStepLimit(5000);
    CVLScriptRun::SetValueLimit(65536);
    CVLScriptCollection scripts;
    try {
        CVLScript loaded;
        loaded.Load(pData, static_cast<VL_SIZE_T>(nSize), true);
        CVLScript* p = scripts.Add(loaded.GetName().GetBuffer());
        *p = loaded;
        CVLScriptParams params;
        params.Add()->SetLong(3);
        params.Add()->SetString("ab", VL_CHARSET_UTF8);
        p->Execute(params, &scripts, nullptr, nullptr);
        CVLScriptParams none;
        p->Execute(none, &scripts, nullptr, nullptr);
    } catch (EVLException* e) {
        e->Delete();
    }
    return 0;
}
