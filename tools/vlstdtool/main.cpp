// vlstdtool: runs pieces of the base library from the command line.
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "VLIconvWrapper.h"
#include "VLString.h"

namespace {

int Usage(FILE* fp)
{
    fprintf(fp,
            "usage: vlstdtool COMMAND [ARGS]\n"
            "commands:\n"
            "  convert FROM TO   convert standard input from charset FROM to charset TO\n"
            "                    (names as in the converter's table, e.g. UTF-8, SHIFT_JIS,\n"
            "                    CP932, UTF-16LE) and write the result to standard output\n");
    return fp == stderr ? 1 : 0;
}

bool ReadAll(std::string& data)
{
    char buf[65536];
    for (;;) {
        ssize_t n = read(STDIN_FILENO, buf, sizeof(buf));
        if (n == 0)
            return true;
        if (n < 0)
            return false;
        data.append(buf, static_cast<size_t>(n));
        if (data.size() > 0x40000000u) {
            fprintf(stderr, "vlstdtool: input too large\n");
            return false;
        }
    }
}

bool WriteAll(const char* p, size_t n)
{
    while (n > 0) {
        ssize_t r = write(STDOUT_FILENO, p, n);
        if (r <= 0)
            return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

int Convert(int argc, char** argv)
{
    if (argc != 4) {
        fprintf(stderr, "vlstdtool: convert takes two charset names: convert FROM TO\n");
        return 1;
    }
    int eFrom = CVLIconvWrapper::GetCharsetId(argv[2]);
    int eTo = CVLIconvWrapper::GetCharsetId(argv[3]);
    for (int i = 2; i <= 3; ++i) {
        if ((i == 2 ? eFrom : eTo) < 0) {
            fprintf(stderr, "vlstdtool: unknown charset '%s' (names are case-sensitive, e.g. UTF-8)\n", argv[i]);
            return 1;
        }
    }
    std::string data;
    if (!ReadAll(data)) {
        fprintf(stderr, "vlstdtool: cannot read standard input\n");
        return 1;
    }
    if (data.empty())
        return 0;
    if (data.size() > 0x7fff0000u) {
        fprintf(stderr, "vlstdtool: input too large\n");
        return 1;
    }
    CVLString result = CVLIconvWrapper::Convert(eFrom, data.data(), static_cast<int>(data.size()), eTo, false);
    if (result.GetCharset() == -2) {
        fprintf(stderr, "vlstdtool: cannot convert from %s to %s: the input is not valid %s, or %s cannot "
                        "hold it, or the conversion is not available\n",
                argv[2], argv[3], argv[2], argv[3]);
        return 1;
    }
    if (!WriteAll(result.GetBuffer(), static_cast<size_t>(result.GetLength()))) {
        fprintf(stderr, "vlstdtool: cannot write standard output\n");
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage(stderr);
    std::string cmd = argv[1];
    if (cmd == "-h" || cmd == "--help" || cmd == "help")
        return Usage(stdout);
    if (cmd == "convert")
        return Convert(argc, argv);
    fprintf(stderr, "vlstdtool: unknown command '%s'\n", argv[1]);
    return Usage(stderr);
}
