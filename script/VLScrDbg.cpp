#include "script/VLScrDbg.h"
#include "script/VLScrDbgFileInfoCollection.h"
#include "script/VLScript.h"
#include "script/VLScriptDebuggerIF.h"

namespace {

bool g_bEnabled = false;
IVLScriptDebuggerIF* g_pDebugger = nullptr;

CVLScrDbgFileInfoCollection& Records()
{
    static CVLScrDbgFileInfoCollection s_Records;
    return s_Records;
}

}  // namespace

void VLScrDbgSetDebugger(IVLScriptDebuggerIF* pDebugger)
{
    g_pDebugger = pDebugger;
    g_bEnabled = pDebugger != nullptr;
    if (pDebugger != nullptr)
        pDebugger->OnAttach();
}

bool VLScrDbgIsEnabled()
{
    return g_bEnabled;
}

CVLScrDbgFileInfo* VLScrDbgFindFileInfo(const char* szName)
{
    if (!g_bEnabled)
        return nullptr;
    return Records().Find(szName);
}

CVLScrDbgFileInfo* VLScrDbgRegisterSource(const char* szName, IVLStream* pSource)
{
    if (!g_bEnabled)
        return nullptr;
    CVLScrDbgFileInfo* pInfo = Records().Find(szName);
    if (pInfo == nullptr)
        pInfo = Records().Add(szName);
    try {
        pInfo->LoadSource(pSource);
    } catch (EVLException* e) {
        pInfo->SetLastException(e);
        e->Delete();
    }
    if (g_pDebugger != nullptr)
        g_pDebugger->OnLoadSource(pInfo);
    return pInfo;
}

void VLScrDbgCheckLine(VLScrDbgContext* pContext)
{
    if (!g_bEnabled || pContext == nullptr || pContext->pFileInfo == nullptr || pContext->pScript == nullptr)
        return;
    int nLine = static_cast<int>(pContext->pScript->GetLineNumber(pContext->pPosition));
    if (nLine == pContext->nLastLine)
        return;
    pContext->nLastLine = nLine;
    if (pContext->pFileInfo->IsBreakpoint(nLine) && g_pDebugger != nullptr)
        g_pDebugger->OnBreak(pContext);
}

void VLScrDbgReportException(EVLException* pException)
{
    if (g_bEnabled && g_pDebugger != nullptr)
        g_pDebugger->OnException(pException);
}

void VLScrDbgShutdown()
{
    if (!g_bEnabled)
        return;
    if (g_pDebugger != nullptr)
        g_pDebugger->OnDetach();
    g_pDebugger = nullptr;
    Records().RemoveAll();
    g_bEnabled = false;
}
