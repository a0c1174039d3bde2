// The base of every framework fault. Exceptions are created with new, thrown
// as pointers and released by whoever handles them through Delete().
#ifndef VLEXCEPTION_H
#define VLEXCEPTION_H

#include "base/core/VLString.h"

class EVLException
{
public:
    EVLException(const char* szModule, const char* szFile, int nLine);
    virtual ~EVLException();

    virtual CVLString GetClassName() const;
    // Destroys the exception. Never call it through a null pointer: that is
    // undefined behaviour, and the compiler may assume it does not happen.
    // Where the pointer may be null, use VLDeleteException.
    void Delete();
    virtual const CVLString& GetModuleName() const { return m_strModuleName; }
    virtual const CVLString& GetFileName() const { return m_strFileName; }
    virtual int GetLine() const { return m_nLine; }
    virtual CVLString ToString() const;

protected:
    CVLString m_strModuleName;
    CVLString m_strFileName;
    int m_nLine;
};

// Rethrows the exception being handled as a framework exception, following
// the catch ladder: EVLException* passes unchanged, integers and texts become
// EVLUnexpectedException, std::bad_alloc becomes EVLMemoryAllocException.
// Must be called from inside a catch handler.
// Releases an exception; does nothing for a null pointer.
void VLDeleteException(EVLException* pException);

[[noreturn]] void VLRethrowAsFramework(const char* szModule, const char* szFile, int nLine);

// The ladder as a catch clause: try { ... } VL_CATCH_LADDER("VLStd", "VLFile")
#define VL_CATCH_LADDER(module, file) \
    catch (...) { VLRethrowAsFramework(module, file, __LINE__); }

// An exception class of the base library that adds nothing to EVLException
// but its name: declared in its own header with VL_DECLARE_EXCEPTION and
// defined in its own source with VL_IMPLEMENT_EXCEPTION, which also needs
// "base/core/VLTrace.h". GetClassName and ToString give the class name; the
// constructor reports the new exception to the tracer with the class's
// source file (its name without the prefix letter) and the given line.
#define VL_DECLARE_EXCEPTION(CLASS)                                 \
    class CLASS : public EVLException                               \
    {                                                               \
    public:                                                         \
        CLASS(const char* szModule, const char* szFile, int nLine); \
        virtual ~CLASS();                                           \
        virtual CVLString GetClassName() const override;            \
        virtual CVLString ToString() const override;                \
    };

#define VL_IMPLEMENT_EXCEPTION(CLASS, TRACE_LINE)                                                             \
    CLASS::CLASS(const char* szModule, const char* szFile, int nLine) : EVLException(szModule, szFile, nLine) \
    {                                                                                                         \
        CVLTrace::OutputException(VLSTD_MODULE, &#CLASS[1], TRACE_LINE, this);                                \
    }                                                                                                         \
                                                                                                              \
    CLASS::~CLASS()                                                                                           \
    {                                                                                                         \
    }                                                                                                         \
                                                                                                              \
    CVLString CLASS::GetClassName() const                                                                     \
    {                                                                                                         \
        return CVLString(#CLASS, VL_CHARSET_UTF8);                                                            \
    }                                                                                                         \
                                                                                                              \
    CVLString CLASS::ToString() const                                                                         \
    {                                                                                                         \
        return CVLString(#CLASS, VL_CHARSET_UTF8);                                                            \
    }

#endif
