// vlscript: compiles scripts of the framework's language and runs them.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <string>

#include "base/core/VLCommandLine.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLFileSystem.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLStandardOutput.h"
#include "script/VLScript.h"
#include "script/VLScriptCollection.h"
#include "script/VLScriptCompileException.h"
#include "script/VLScriptCompiler.h"
#include "script/VLScriptException.h"
#include "script/VLScriptParams.h"
#include "script/VLScriptProgram.h"
#include "base/core/VLStream.h"
#include "base/value/VLVariant.h"

namespace {

// The source text, read from memory.
class CSourceStream : public IVLStream
{
public:
    explicit CSourceStream(const std::string& strText) : m_strText(strText), m_nPos(0), m_bOpen(false) {}
    virtual CVLString GetClassName() const override { return CVLString("CSourceStream", VL_CHARSET_UTF8); }
    virtual void Open(VL_OPEN_MODE) override
    {
        m_bOpen = true;
        m_nPos = 0;
    }
    virtual bool IsOpen() override { return m_bOpen; }
    virtual void Close() override { m_bOpen = false; }
    virtual VL_SIZE_T Read(VL_BYTE* pBuffer, VL_SIZE_T nSize) override
    {
        size_t n = std::min(static_cast<size_t>(nSize), m_strText.size() - m_nPos);
        memcpy(pBuffer, m_strText.data() + m_nPos, n);
        m_nPos += n;
        return static_cast<VL_SIZE_T>(n);
    }
    virtual void Write(const VL_BYTE*, VL_SIZE_T) override {}
    virtual void Flush() override {}
    virtual void Seek(VL_SIZE_T nPosition) override { m_nPos = std::min<size_t>(nPosition, m_strText.size()); }
    virtual VL_SIZE_T GetSize() override { return static_cast<VL_SIZE_T>(m_strText.size()); }
    virtual void Clear() override {}
    virtual VL_CONST_STR GetTypeName() const override { return "source"; }
    virtual void Destroy() override { delete this; }

private:
    std::string m_strText;
    size_t m_nPos;
    bool m_bOpen;
};

int Fail(const char* szFormat, const char* szText)
{
    fprintf(stderr, "vlscript: ");
    fprintf(stderr, szFormat, szText);
    fprintf(stderr, "\n");
    return 1;
}

// A failed compile or run said in words, with where it failed in FILE:
// "t.vls: line 1, column 8: ';' was expected (error 1013)", "t.vls: line 2:
// division by zero".
int FailException(const char* szFile, EVLException* e)
{
    CVLExceptionOwner owner(e);
    std::string strText = szFile;
    if (EVLScriptCompileException* pCompile = dynamic_cast<EVLScriptCompileException*>(e)) {
        strText += ": line " + std::to_string(pCompile->GetScriptLine()) + ", column " +
                   std::to_string(pCompile->GetPosition()) + ": " + pCompile->GetMessage();
    } else if (EVLScriptException* pRun = dynamic_cast<EVLScriptException*>(e)) {
        if (pRun->GetScriptLine() > 0)
            strText += ": line " + std::to_string(pRun->GetScriptLine());
        strText += ": " + pRun->GetMessage();
    } else if (dynamic_cast<EVLMemoryAllocException*>(e) != nullptr) {
        strText += ": out of memory";
    } else {
        strText += std::string(": ") + e->ToString().ConvertTo(VL_CHARSET_UTF8, true).GetBuffer();
    }
    return Fail("%s", strText.c_str());
}

// The whole file; false with the reason in errno.
bool ReadFile(const char* szPath, std::string& strText)
{
    FILE* pFile = fopen(szPath, "rb");
    if (pFile == nullptr)
        return false;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pFile)) > 0)
        strText.append(buffer, n);
    const int nError = ferror(pFile) ? errno : 0;
    fclose(pFile);
    errno = nError;
    return nError == 0;
}

// "cannot read FILE: REASON".
int FailRead(const char* szFile)
{
    return Fail("%s", (std::string("cannot read ") + szFile + ": " + strerror(errno)).c_str());
}

// A float or a double with the fewest digits that read back as the same
// number, whatever the locale: "0.1", "10000000000"; in the exponent form
// beyond the magnitudes that are plain to read ("1e+300").
template <typename T>
std::string ShortestText(T value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char buffer[400];
    std::to_chars_result r = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::scientific);
    const std::string strScientific(buffer, r.ptr);
    const int nExponent = atoi(strScientific.c_str() + strScientific.find('e') + 1);
    if (value != 0 && (nExponent < -7 || nExponent >= 21))
        return strScientific;
    r = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::fixed);
    return std::string(buffer, r.ptr);
}

// A value as plain text, as a shell takes it: a number in decimal, true or
// false, a text as it is, binary data in hexadecimal.
std::string PlainText(const CVLVariant& value)
{
    if (value.GetValueType() == VL_VARIANT_TYPE_DOUBLE)
        return ShortestText(value.ToDouble(0));
    if (value.GetValueType() == VL_VARIANT_TYPE_FLOAT)
        return ShortestText(value.ToFloat(0));
    if (value.GetType() == VL_VARIANT_TYPE_BINARY) {
        static const char kHex[] = "0123456789abcdef";
        std::string strHex;
        const unsigned char* p = value.GetBinary();
        for (int i = 0; p != nullptr && i < value.GetSize(); ++i) {
            strHex += kHex[p[i] >> 4];
            strHex += kHex[p[i] & 15];
        }
        return strHex;
    }
    CVLString str = value.ToString("").ConvertTo(VL_CHARSET_UTF8, true);
    return std::string(str.GetBuffer(), static_cast<size_t>(str.GetLength()));
}

// The script name of a source file: its file name.
std::string ScriptName(const char* szPath)
{
    const char* p = strrchr(szPath, '/');
    return p != nullptr ? p + 1 : szPath;
}

int Compile(const char* szFile, const char* szDir)
{
    std::string strText;
    if (!ReadFile(szFile, strText))
        return FailRead(szFile);
    CVLScriptCompiler compiler;
    CVLScriptCollection scripts;
    CSourceStream stream(strText);
    try {
        compiler.Compile(ScriptName(szFile).c_str(), &stream, &scripts);
    } catch (EVLException* e) {
        return FailException(szFile, e);
    }
    // An output folder that does not exist yet is made, with its parents.
    struct stat st;
    if (stat(szDir, &st) != 0 && !VLMakeDirectories(szDir)) {
        // A part that exists and is no folder: as mkdir -p says it.
        const int nError = errno == EEXIST || errno == 0 ? ENOTDIR : errno;
        return Fail("%s", (std::string("cannot create the folder ") + szDir + ": " + strerror(nError)).c_str());
    }
    if (stat(szDir, &st) != 0 || !S_ISDIR(st.st_mode))
        return Fail("%s is not a folder", szDir);
    for (CVLScriptIterator it = scripts.Begin(); !it.IsEnd(); it.Next()) {
        CVLScript* p = it.Get();
        std::string strPath = std::string(szDir) + "/" + p->GetName().GetBuffer() + ".img";
        FILE* pOut = fopen(strPath.c_str(), "wb");
        bool bWritten = pOut != nullptr && fwrite(p->GetData(), 1, p->GetSize(), pOut) == p->GetSize();
        int nError = errno;
        if (pOut != nullptr && fclose(pOut) != 0 && bWritten) {
            bWritten = false;
            nError = errno;
        }
        if (!bWritten)
            return Fail("%s", ("cannot write " + strPath + ": " + strerror(nError)).c_str());
        if (!CVLStandardOutput::Write(strPath + "\n"))
            return CVLStandardOutput::Fail("vlscript");
    }
    return 0;
}

// The language's name of a parameter type that takes a number, or null for
// one that takes a text as it is (string, binary, object).
const char* NumberTypeName(int nType)
{
    static const char* const kNames[] = {nullptr, "bool", "char",  "byte",  "short",  "ushort", "int",
                                         "uint",  "long", "ulong", "int64", "uint64", "float",  "double"};
    return nType > VLSCR_TYPE_VOID && nType <= VLSCR_TYPE_DOUBLE ? kNames[nType] : nullptr;
}

// True when the text is a number the type takes: a whole decimal number
// (with a sign), for float and double a decimal point too, for bool also
// true or false.
bool IsNumberFor(const std::string& strText, int nType)
{
    if (nType == VLSCR_TYPE_BOOL &&
        (strcasecmp(strText.c_str(), "true") == 0 || strcasecmp(strText.c_str(), "false") == 0))
        return true;
    const bool bFraction = nType == VLSCR_TYPE_FLOAT || nType == VLSCR_TYPE_DOUBLE;
    size_t nDigits = 0, nPoints = 0;
    for (size_t i = 0; i < strText.size(); ++i) {
        char c = strText[i];
        if (c >= '0' && c <= '9')
            nDigits++;
        else if (c == '.' && bFraction)
            nPoints++;
        else if ((c == '+' || c == '-') && i == 0)
            continue;
        else
            return false;
    }
    return nDigits > 0 && nPoints <= 1;
}

// The whole numbers each integer type holds, by type id; a type without
// limits here (bool, float, double) is not an integer type.
struct SIntegerRange
{
    int nType;
    long long nMin;
    unsigned long long nMax;
};
const SIntegerRange kIntegerRanges[] = {
    {VLSCR_TYPE_CHAR, INT8_MIN, INT8_MAX},    {VLSCR_TYPE_BYTE, 0, UINT8_MAX},
    {VLSCR_TYPE_SHORT, INT16_MIN, INT16_MAX}, {VLSCR_TYPE_USHORT, 0, UINT16_MAX},
    {VLSCR_TYPE_INT, INT32_MIN, INT32_MAX},   {VLSCR_TYPE_UINT, 0, UINT32_MAX},
    {VLSCR_TYPE_LONG, INT32_MIN, INT32_MAX},  {VLSCR_TYPE_ULONG, 0, UINT32_MAX},
    {VLSCR_TYPE_INT64, INT64_MIN, INT64_MAX}, {VLSCR_TYPE_UINT64, 0, UINT64_MAX},
};

// For a number the type cannot hold (the language would keep its low bits,
// or the largest value, or infinity), the range it holds ("-128 to 127");
// empty when the number fits. strText is a number as IsNumberFor takes it.
std::string RangeFault(const std::string& strText, int nType)
{
    if (nType == VLSCR_TYPE_FLOAT || nType == VLSCR_TYPE_DOUBLE) {
        errno = 0;
        const bool bFloat = nType == VLSCR_TYPE_FLOAT;
        const double dValue = bFloat ? strtof(strText.c_str(), nullptr) : strtod(strText.c_str(), nullptr);
        // Too small a magnitude comes out as 0 or near it, which is the number's nearest value.
        if (!std::isinf(dValue))
            return std::string();
        return bFloat ? "-3.4e38 to 3.4e38" : "-1.8e308 to 1.8e308";
    }
    for (const SIntegerRange& range : kIntegerRanges) {
        if (range.nType != nType)
            continue;
        const std::string strRange = std::to_string(range.nMin) + " to " + std::to_string(range.nMax);
        const bool bNegative = strText[0] == '-';
        errno = 0;
        if (bNegative) {
            const long long nValue = strtoll(strText.c_str(), nullptr, 10);
            return errno == ERANGE || nValue < range.nMin ? strRange : std::string();
        }
        const unsigned long long nValue = strtoull(strText.c_str(), nullptr, 10);
        return errno == ERANGE || nValue > range.nMax ? strRange : std::string();
    }
    return std::string();
}

// The arguments against the function's parameters: as many, and a number
// for each parameter that takes one (the language would take any other
// text as 0), within what its type holds. Empty when they fit, else the
// fault.
std::string CheckArguments(const CVLScript& script, const char* szFunction, int nArgs, char** ppArgs)
{
    const CVLScriptProgram* pProgram = script.GetProgram();
    if (pProgram == nullptr)
        return std::string();
    const size_t nParams = pProgram->m_Params.size();
    if (static_cast<size_t>(nArgs) != nParams)
        return std::string(szFunction) + " takes " + std::to_string(nParams) + " argument" + (nParams == 1 ? "" : "s") +
               ", not " + std::to_string(nArgs);
    for (size_t i = 0; i < nParams; ++i) {
        const int nType = pProgram->m_Params[i].nType;
        const char* szType = NumberTypeName(nType);
        if (szType == nullptr)
            continue;
        const std::string strParameter = "parameter " + std::to_string(i + 1) + " of " + szFunction;
        if (!IsNumberFor(ppArgs[i], nType))
            return std::string("'") + ppArgs[i] + "' is not " + (nType == VLSCR_TYPE_BOOL ? "true, false or " : "") +
                   "a number for " + strParameter + " (" + szType + ")";
        const std::string strRange = RangeFault(ppArgs[i], nType);
        if (!strRange.empty())
            return std::string("'") + ppArgs[i] + "' is out of range for " + strParameter + " (" + szType + ": " +
                   strRange + ")";
    }
    return std::string();
}

// bDump: the return value's dump (type, change mark, texts also in
// hexadecimal) in place of its plain text.
int RunFunction(const char* szFile, const char* szFunction, int nArgs, char** ppArgs, bool bDump)
{
    std::string strText;
    if (!ReadFile(szFile, strText))
        return FailRead(szFile);
    CVLScriptCompiler compiler;
    CVLScriptCollection scripts;
    CSourceStream stream(strText);
    try {
        compiler.Compile(ScriptName(szFile).c_str(), &stream, &scripts);
        CVLScript* pScript = scripts.Find(szFunction);
        if (pScript == nullptr)
            return Fail("%s", (std::string(szFile) + " has no function " + szFunction).c_str());
        std::string strFault = CheckArguments(*pScript, szFunction, nArgs, ppArgs);
        if (!strFault.empty()) {
            fprintf(stderr, "vlscript: run: %s\n", strFault.c_str());
            return CVLCommandLine::STATUS_USAGE;
        }
        CVLScriptParams params;
        for (int i = 0; i < nArgs; ++i)
            params.Add()->SetString(ppArgs[i], VL_CHARSET_UTF8);
        pScript->Execute(params, &scripts, nullptr, nullptr);
        if (pScript->GetReturnType() != 0) {
            const CVLVariant& value = params.GetReturnValue();
            std::string strValue = bDump ? value.Dump().ConvertTo(VL_CHARSET_UTF8, true).GetBuffer() : PlainText(value);
            if (!CVLStandardOutput::Write(strValue + "\n"))
                return CVLStandardOutput::Fail("vlscript");
        }
    } catch (EVLException* e) {
        return FailException(szFile, e);
    }
    return 0;
}

// A fault of the command line, named before the usage.
int UsageFault(const std::string& strText)
{
    fprintf(stderr, "vlscript: %s\n", strText.c_str());
    return CVLCommandLine::STATUS_USAGE;
}

// The command line's arguments after the program's name.
int CompileCommand(int argc, char** argv)
{
    // "compile -o DIR FILE": the line as it is taken, the file first.
    if (argc >= 2 && strcmp(argv[1], "-o") == 0)
        return UsageFault("the file comes first: " +
                          CVLCommandLine::LineText("vlscript", {"compile", argc >= 4 ? argv[3] : "FILE", "-o",
                                                                argc >= 3 ? argv[2] : "DIR"}));
    if (argc < 3)
        return UsageFault("compile needs -o DIR after FILE");
    if (strcmp(argv[2], "-o") != 0)
        return UsageFault(std::string("compile takes FILE -o DIR, not '") + argv[2] + "' after FILE");
    if (argc < 4)
        return UsageFault("-o needs a folder");
    return Compile(argv[1], argv[3]);
}

// "--dump" may stand before FUNCTION; what follows FUNCTION is its
// arguments, taken as they are.
int RunCommand(int argc, char** argv)
{
    bool bDump = false;
    const char* pNames[2] = {nullptr, nullptr};
    int nNames = 0;
    int i = 1;
    for (; i < argc && nNames < 2; ++i) {
        if (strcmp(argv[i], "--dump") == 0)
            bDump = true;
        else if (argv[i][0] == '-' && argv[i][1] != '\0')
            return UsageFault(std::string("run: unknown option '") + argv[i] + "'");
        else
            pNames[nNames++] = argv[i];
    }
    if (nNames < 2)
        return UsageFault("run takes FILE FUNCTION [ARG ...]");
    return RunFunction(pNames[0], pNames[1], argc - i, argv + i, bDump);
}

}  // namespace

int main(int argc, char** argv)
{
    // "-o -h" writes to the folder "-h".
    static const char* const kValueOptions[] = {"-o", nullptr};
    CVLCommandLine line("vlscript", "usage:\n", kValueOptions);
    line.AddCommand({"compile",
                     "  vlscript compile FILE -o DIR          compile every function of FILE and write\n"
                     "                                        one image per function to DIR/NAME.img\n",
                     1, 3, 0, CompileCommand});
    // A function's arguments are texts, "-h" too.
    line.AddCommand({"run",
                     "  vlscript run [--dump] FILE FUNCTION [ARG ...]\n"
                     "                                        compile FILE, run FUNCTION with the\n"
                     "                                        arguments and print its return value\n"
                     "                                        (--dump: the value's dump, for debugging)\n",
                     2, -1, 3, RunCommand});
    return line.Run(argc, argv);
}
