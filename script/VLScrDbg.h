// The debugger hooks of the script language. While no debugger is installed
// every hook returns at once and no record is kept.
//
// VLScrDbgSetDebugger and VLScrDbgShutdown must be called while no script is
// being compiled or run.
#ifndef VLSCRDBG_H
#define VLSCRDBG_H

#include "base/core/VLString.h"

#include <map>

class CVLScript;
class CVLScrDbgFileInfo;
class CVLVariant;
class EVLException;
class IVLScriptDebuggerIF;
class IVLScriptExtendIF;
class IVLStream;

// The variables of a run, by name.
typedef std::map<CVLString, CVLVariant> VLScrDbgVariableTable;

// The state of one run that the debugger sees.
struct VLScrDbgContext
{
    CVLScript* pScript;                   // the running script
    CVLScrDbgFileInfo* pFileInfo;         // the record of its source name, or null
    const unsigned char* pPosition;       // the instruction about to run
    int nLastLine;                        // the line reported last, 0 at the start
    IVLScriptExtendIF* pExtend;           // the run's host
    VLScrDbgVariableTable* pLocals;       // the run's local variables
    VLScrDbgVariableTable* pParameters;   // the run's parameters
};

// Installs a debugger (null removes it); the switch follows the pointer.
void VLScrDbgSetDebugger(IVLScriptDebuggerIF* pDebugger);
bool VLScrDbgIsEnabled();
CVLScrDbgFileInfo* VLScrDbgFindFileInfo(const char* szName);
// Reads the script text into the record of the name (created when missing)
// and tells the debugger; null and nothing read while the switch is off.
CVLScrDbgFileInfo* VLScrDbgRegisterSource(const char* szName, IVLStream* pSource);
// Called before each instruction: reports a breakpoint once per line entered.
void VLScrDbgCheckLine(VLScrDbgContext* pContext);
void VLScrDbgReportException(EVLException* pException);
// name=value lines, in name order, of a variable table.
CVLString VLScrDbgDumpVariables(const VLScrDbgVariableTable* pTable);
// Detaches the debugger and deletes every record.
void VLScrDbgShutdown();

#endif
