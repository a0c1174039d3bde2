// The diagnostic tracer. Every operation is static; nothing is written while
// the trace flag is off, and only Initialize() turns it on.
#ifndef VLTRACE_H
#define VLTRACE_H

class EVLException;

// The kind of a trace line: handed to the common writer and tested, as its
// first decimal digit, against the "FUNC_TYPE_FILTER" text.
enum VL_TRACE_TYPE
{
    VL_TRACE_TYPE_FUNCTION = 2,   // OutputFunction: a line with the function's signature
    VL_TRACE_TYPE_EXCEPTION = 4,  // OutputException: the exception's text
    VL_TRACE_TYPE_SCOPE = 5,      // OutputScope: object lifetime and scope messages
    VL_TRACE_TYPE_MESSAGE = 6,    // Output: a message with a level
    VL_TRACE_TYPE_DUMP = 7        // OutputDump: a header line, then a hexadecimal dump
};

class CVLTrace
{
public:
    virtual ~CVLTrace() {}

    // Reads the trace flag ("TRACE_FLAG") and the type filter
    // ("FUNC_TYPE_FILTER") from a property-list file. Always returns true.
    static bool Initialize(const char* szModule, const char* szFile, int nLine, const char* szPath);

    static void FunctionIn(const char* szModule, const char* szFile, int nLine, const char* szSignature);
    static void FunctionOut(const char* szModule, const char* szFile, int nLine, const char* szSignature);
    static void Output(const char* szModule, const char* szFile, int nLine, unsigned char nLevel,
                       const char* szFormat, ...) __attribute__((format(printf, 5, 6)));
    static void OutputScope(const char* szModule, const char* szFile, int nLine, const char* szFormat, ...)
        __attribute__((format(printf, 4, 5)));
    static void OutputException(const char* szModule, const char* szFile, int nLine, EVLException* pException);
    static void OutputDump(const char* szModule, const char* szFile, int nLine, const unsigned char* pData,
                           int nLength);
    static void OutputFunction(const char* szModule, const char* szFile, int nLine, const char* szSignature,
                               const char* szFormat, ...) __attribute__((format(printf, 5, 6)));

    // The trace state, for the property-list reader and for tests.
    static bool IsEnabled();
    // True when the flag is on and lines of this kind pass the type filter:
    // for callers that would build a costly text only to have it traced.
    static bool IsEnabled(int nType);
    static void SetState(bool bFlag, const char* szFilter);

private:
    static void WriteLine(int nType, const char* szModule, const char* szFile, int nLine, const char* szSignature,
                          const char* szMessage);
    static bool PassesFilter(int nType);
};

#endif
