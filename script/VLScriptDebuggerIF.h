// A source-level debugger of scripts, installed with VLScrDbgSetDebugger.
#ifndef VLSCRIPTDEBUGGERIF_H
#define VLSCRIPTDEBUGGERIF_H

class CVLScrDbgFileInfo;
class EVLException;
struct VLScrDbgContext;

class IVLScriptDebuggerIF
{
public:
    virtual ~IVLScriptDebuggerIF() {}

    // The debugger has been installed.
    virtual void OnAttach() = 0;
    // The hooks are shut down.
    virtual void OnDetach() = 0;
    // A script text was registered.
    virtual void OnLoadSource(CVLScrDbgFileInfo* pInfo) = 0;
    // A run enters a line that holds a breakpoint.
    virtual void OnBreak(VLScrDbgContext* pContext) = 0;
    // A run caught an exception.
    virtual void OnException(EVLException* pException) = 0;
};

#endif
