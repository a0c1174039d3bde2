// The built-in function library. Until it is filled in, every call is offered
// on to the collection and the host.
#include "VLScript.h"

bool CVLScript::CallBuiltinFunction(const char* szName, CVLScriptParams* pFrame, const VL_BYTE* pInstruction) const
{
    (void)szName;
    (void)pFrame;
    (void)pInstruction;
    return false;
}
