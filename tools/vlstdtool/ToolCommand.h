// The commands of vlstdtool. Each command lives in its own source file and
// registers itself with VL_TOOL_COMMAND; main() dispatches through the
// project's command line, which splits "--timeout=MS" as "--timeout MS".
#ifndef TOOLCOMMAND_H
#define TOOLCOMMAND_H

#include <string>

#include "base/core/VLCommandLine.h"

bool VLToolRegister(const CVLCommandLine::SCommand& command);

// A command taking any arguments after its name; it checks them itself.
// textFrom: its first plain argument taken as text whatever it looks like
// (CVLCommandLine::SCommand::nTextFrom), 0 for none.
#define VL_TOOL_COMMAND_TEXT(ident, name, usage, textFrom, fn) \
    static const bool s_bRegistered_##ident = VLToolRegister(CVLCommandLine::SCommand{name, usage, 0, -1, textFrom, fn})
#define VL_TOOL_COMMAND(ident, name, usage, fn) VL_TOOL_COMMAND_TEXT(ident, name, usage, 0, fn)

// Prints "vlstdtool: <message>" on standard error and returns 1.
int VLToolFail(const char* szFormat, ...) __attribute__((format(printf, 1, 2)));
// A command line the command cannot use: prints "vlstdtool: <message>" on
// standard error and returns 2; the usage follows it.
int VLToolUsage(const char* szFormat, ...) __attribute__((format(printf, 1, 2)));
class EVLException;
// What the base library's exception says, in words ("cannot be opened: No
// such file or directory", "Address already in use").
std::string VLToolReason(EVLException* e);
// Reads all of standard input; false (with a message printed) on failure.
bool VLToolReadStdin(std::string& data);
// Writes all bytes to standard output (CVLStandardOutput); false on failure,
// which VLToolOutputFailed then says.
bool VLToolWriteStdout(const void* p, size_t n);
// Writes the formatted text to standard output; as VLToolWriteStdout.
bool VLToolPrint(const char* szFormat, ...) __attribute__((format(printf, 1, 2)));
// "vlstdtool: standard output could not be written: REASON"; returns 1.
int VLToolOutputFailed();

#endif
