// The commands of vlstdtool. Each command lives in its own source file and
// registers itself with VL_TOOL_COMMAND; main() dispatches by name.
#ifndef TOOLCOMMAND_H
#define TOOLCOMMAND_H

#include <string>

typedef int (*VLToolCommandFn)(int argc, char** argv);  // argv[0] is the command name

struct VLToolCommand
{
    const char* szName;
    const char* szUsage;  // one or more lines, each "NAME ARGS   what it does"
    VLToolCommandFn pfn;
};

bool VLToolRegister(const VLToolCommand& command);

#define VL_TOOL_COMMAND(ident, name, usage, fn) \
    static const bool s_bRegistered_##ident = VLToolRegister(VLToolCommand{name, usage, fn})

// Prints "vlstdtool: <message>" on standard error and returns 1.
int VLToolFail(const char* szFormat, ...) __attribute__((format(printf, 1, 2)));
// Reads all of standard input; false (with a message printed) on failure.
bool VLToolReadStdin(std::string& data);
// Writes all bytes to standard output; false on failure.
bool VLToolWriteStdout(const void* p, size_t n);

#endif
