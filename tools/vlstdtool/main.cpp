// vlstdtool: runs pieces of the base library from the command line.
#include <cstdarg>
#include <cstdlib>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "tools/vlstdtool/ToolCommand.h"
#include "base/core/VLCommunicationException.h"
#include "base/core/VLIOException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLOpenException.h"
#include "base/core/VLStandardOutput.h"
#include "base/xml/VLXmlException.h"

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

std::string VLToolReason(EVLException* e)
{
    if (EVLOpenException* pOpen = dynamic_cast<EVLOpenException*>(e))
        return (pOpen->IsNotRegularFile() ? "" : "cannot be opened: ") + pOpen->GetReason();
    if (dynamic_cast<EVLIOException*>(e) != nullptr)
        return "cannot be read";
    if (EVLCommunicationException* pSocket = dynamic_cast<EVLCommunicationException*>(e))
        return pSocket->GetReason();
    if (EVLXmlException* pXml = dynamic_cast<EVLXmlException*>(e))
        return pXml->GetReason();
    if (dynamic_cast<EVLMemoryAllocException*>(e) != nullptr)
        return "out of memory";
    CVLString str = e->ToString();
    return str.GetString();
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
    return CVLStandardOutput::Write(pData, n);
}

bool VLToolPrint(const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    char* pText = nullptr;
    int nLength = vasprintf(&pText, szFormat, args);
    va_end(args);
    if (nLength < 0)
        return false;
    bool bWritten = CVLStandardOutput::Write(pText, static_cast<size_t>(nLength));
    free(pText);
    return bWritten;
}

int VLToolOutputFailed()
{
    return CVLStandardOutput::Fail("vlstdtool");
}

int main(int argc, char** argv)
{
    static const char* const kValueOptions[] = {"--timeout", "--count", nullptr};
    CVLCommandLine line("vlstdtool", "usage: vlstdtool COMMAND [ARGS]\ncommands:\n", kValueOptions);
    for (const CVLCommandLine::SCommand& command : Commands())
        line.AddCommand(command);
    return line.Run(argc, argv);
}
