// The interpreter's run loop.
#include "VLScript.h"
#include "VLScriptException.h"

void CVLScript::Execute(CVLScriptParams& params, CVLScriptCollection* pScripts, IVLScriptExtendIF* pHost,
                        void* pContext) const
{
    (void)params;
    (void)pScripts;
    (void)pHost;
    (void)pContext;
    throw new EVLScriptException(VLSCRIPT_MODULE, "VLScript", __LINE__, VLSCR_ERR_NO_CODE,
                                 m_strSourceName.GetBuffer(), 0, true);
}
