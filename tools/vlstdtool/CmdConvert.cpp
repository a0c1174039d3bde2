// vlstdtool convert FROM TO: converts standard input between charsets.
#include <cstdio>
#include <string>

#include "tools/vlstdtool/ToolCommand.h"
#include "base/core/VLIconvWrapper.h"

namespace {

int Convert(int argc, char** argv)
{
    if (argc != 3)
        return VLToolUsage("convert takes two charset names: convert FROM TO");
    int eFrom = CVLIconvWrapper::GetCharsetId(argv[1]);
    int eTo = CVLIconvWrapper::GetCharsetId(argv[2]);
    for (int i = 1; i <= 2; ++i) {
        if ((i == 1 ? eFrom : eTo) < 0)
            return VLToolUsage("unknown charset '%s' (names are case-sensitive, e.g. UTF-8)", argv[i]);
    }
    std::string data;
    if (!VLToolReadStdin(data))
        return 1;
    if (data.empty())
        return 0;
    if (data.size() > 0x7fff0000u)
        return VLToolFail("input too large");
    // A string ends its text at a NUL character, so the input is converted
    // piece by piece between NULs, and each NUL is written as a NUL of the
    // target set: nothing behind one is dropped.
    const int nFromSize = CVLIconvWrapper::GetCharSize(eFrom);
    const int nToSize = CVLIconvWrapper::GetCharSize(eTo);
    const size_t nUnit = static_cast<size_t>(nFromSize > 0 ? nFromSize : 1);
    const std::string zero(nUnit, '\0');
    const std::string nul(static_cast<size_t>(nToSize > 0 ? nToSize : 1), '\0');
    std::string out;
    size_t nStart = 0;
    while (nStart <= data.size()) {
        size_t nEnd = nStart;
        while (nEnd < data.size() && !(nEnd + nUnit <= data.size() && data.compare(nEnd, nUnit, zero) == 0))
            nEnd += nUnit;
        if (nEnd > data.size())
            nEnd = data.size();
        if (nEnd > nStart) {
            CVLString piece = CVLIconvWrapper::Convert(eFrom, data.data() + nStart, static_cast<int>(nEnd - nStart), eTo, false);
            if (piece.GetCharset() == VL_CHARSET_UNKNOWN)
                return VLToolFail("cannot convert from %s to %s: the input is not valid %s, %s cannot hold it, "
                                  "or the conversion is not available",
                                  argv[1], argv[2], argv[1], argv[2]);
            out.append(piece.GetBuffer(), static_cast<size_t>(piece.GetLength()));
        }
        if (nEnd >= data.size())
            break;
        out += nul;
        nStart = nEnd + nUnit;
    }
    if (!VLToolWriteStdout(out.data(), out.size()))
        return VLToolOutputFailed();
    return 0;
}

}  // namespace

VL_TOOL_COMMAND(convert, "convert",
                "  convert FROM TO   convert standard input from charset FROM to charset TO (names as in\n"
                "                    the converter's table: UTF-8, SHIFT_JIS, CP932, UTF-16LE, ...)\n",
                Convert);
