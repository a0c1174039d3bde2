// vlstdtool: runs pieces of the base library from the command line.
#include <cstdarg>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "tools/vlstdtool/ToolCommand.h"

namespace {

std::vector<CVLCommandLine::SCommand>& Commands()
{
    static std::vector<CVLCommandLine::SCommand> s_Commands;
    return s_Commands;
}

}  // namespace

bool VLToolRegister(const CVLCommandLine::SCommand& command)
{
    Commands().push_back(command);
    return true;
}

namespace {

void PrintMessage(const char* szFormat, va_list args)
{
    fputs("vlstdtool: ", stderr);
    vfprintf(stderr, szFormat, args);
    fputc('\n', stderr);
}

}  // namespace

int VLToolFail(const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    PrintMessage(szFormat, args);
    va_end(args);
    return CVLCommandLine::STATUS_FAILURE;
}

int VLToolUsage(const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    PrintMessage(szFormat, args);
    va_end(args);
    return CVLCommandLine::STATUS_USAGE;
}

bool VLToolReadStdin(std::string& data)
{
    char buf[65536];
    for (;;) {
        ssize_t n = read(STDIN_FILENO, buf, sizeof(buf));
        if (n == 0)
            return true;
        if (n < 0) {
            VLToolFail("cannot read standard input: %s", strerror(errno));
            return false;
        }
        data.append(buf, static_cast<size_t>(n));
        if (data.size() > 0x40000000u) {
            VLToolFail("input too large (more than 1 GiB)");
            return false;
        }
    }
}

bool VLToolWriteStdout(const void* pData, size_t n)
{
    const char* p = static_cast<const char*>(pData);
    while (n > 0) {
        ssize_t r = write(STDOUT_FILENO, p, n);
        if (r <= 0)
            return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

int main(int argc, char** argv)
{
    static const char* const kValueOptions[] = {"--timeout", "--count", nullptr};
    CVLCommandLine line("vlstdtool", "usage: vlstdtool COMMAND [ARGS]\ncommands:\n", kValueOptions);
    for (const CVLCommandLine::SCommand& command : Commands())
        line.AddCommand(command);
    return line.Run(argc, argv);
}
