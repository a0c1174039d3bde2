// Helpers of the compiler tests: a read-only stream over a text, and compiling
// a text into a collection.
#ifndef COMPILERTESTSUPPORT_H
#define COMPILERTESTSUPPORT_H

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "script/VLScript.h"
#include "script/VLScriptCollection.h"
#include "script/VLScriptCompileException.h"
#include "script/VLScriptCompiler.h"
#include "tests/support/TextStream.h"

// The compile error of a text: code, line and position (code 0 when it compiles).
struct CompileError
{
    int nCode;
    int nLine;
    int nPosition;
};

inline CompileError CompileErrorOf(const std::string& strText, const char* szName = "test")
{
    CVLScriptCompiler compiler;
    CVLScriptCollection scripts;
    CTextStream stream(strText);
    try {
        compiler.Compile(szName, &stream, &scripts);
    } catch (EVLScriptCompileException* e) {
        CompileError err{e->GetErrorCode(), e->GetScriptLine(), e->GetPosition()};
        e->Delete();
        return err;
    }
    return CompileError{0, 0, 0};
}

// Compiles a text; the image of the named function, or empty.
inline std::vector<VL_BYTE> CompileImage(const std::string& strText, const char* szFunction,
                                         const char* szName = "test")
{
    CVLScriptCompiler compiler;
    CVLScriptCollection scripts;
    CTextStream stream(strText);
    compiler.Compile(szName, &stream, &scripts);
    CVLScript* p = scripts.Find(szFunction);
    if (p == nullptr || p->GetData() == nullptr)
        return std::vector<VL_BYTE>();
    return std::vector<VL_BYTE>(p->GetData(), p->GetData() + p->GetSize());
}

// The code section of an image.
inline std::vector<VL_BYTE> CodeOf(const std::vector<VL_BYTE>& image)
{
    auto word = [&](size_t n) {
        return static_cast<size_t>(image[n]) << 24 | static_cast<size_t>(image[n + 1]) << 16 |
               static_cast<size_t>(image[n + 2]) << 8 | image[n + 3];
    };
    return std::vector<VL_BYTE>(image.begin() + word(22), image.begin() + word(26));
}

#endif
