// vlstdtool convert FROM TO: converts standard input between charsets.
#include <cstdio>
#include <string>

#include "tools/vlstdtool/ToolCommand.h"
#include "base/core/VLIconvWrapper.h"

namespace {

int Convert(int argc, char** argv)
{
    if (argc != 3)
        return VLToolFail("convert takes two charset names: convert FROM TO");
    int eFrom = CVLIconvWrapper::GetCharsetId(argv[1]);
    int eTo = CVLIconvWrapper::GetCharsetId(argv[2]);
    for (int i = 1; i <= 2; ++i) {
        if ((i == 1 ? eFrom : eTo) < 0)
            return VLToolFail("unknown charset '%s' (names are case-sensitive, e.g. UTF-8)", argv[i]);
    }
    std::string data;
    if (!VLToolReadStdin(data))
        return 1;
    if (data.empty())
        return 0;
    if (data.size() > 0x7fff0000u)
        return VLToolFail("input too large");
    CVLString result = CVLIconvWrapper::Convert(eFrom, data.data(), static_cast<int>(data.size()), eTo, false);
    if (result.GetCharset() == VL_CHARSET_UNKNOWN)
        return VLToolFail("cannot convert from %s to %s: the input is not valid %s, %s cannot hold it, "
                          "or the conversion is not available",
                          argv[1], argv[2], argv[1], argv[2]);
    if (!VLToolWriteStdout(result.GetBuffer(), static_cast<size_t>(result.GetLength())))
        return VLToolFail("cannot write standard output");
    return 0;
}

}  // namespace

VL_TOOL_COMMAND(convert, "convert",
                "  convert FROM TO   convert standard input from charset FROM to charset TO (names as in\n"
                "                    the converter's table: UTF-8, SHIFT_JIS, CP932, UTF-16LE, ...)\n",
                Convert);
