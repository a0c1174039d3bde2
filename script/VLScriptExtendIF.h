// The host interface of a script run. A host derives from it and files its
// handlers in the two tables in its constructor: properties by the first part
// of a dotted name, methods by the last part.
#ifndef VLSCRIPTEXTENDIF_H
#define VLSCRIPTEXTENDIF_H

#include <atomic>
#include <cstring>
#include <map>

#include "base/core/VLString.h"

class CVLScriptParams;
class IVLScriptExtendIF;
class IVLVariantObjectIF;

// A piece of a called or read name, looked up in the handler maps without
// making a string of it.
struct SVLScriptNamePiece
{
    const char* p;
    int n;
};

// The order of CVLString comparison, also between a key and a name piece
// (a key of the handler maps: a plain CVLString).
struct CVLScriptNameLess
{
    typedef void is_transparent;
    bool operator()(const CVLString& a, const CVLString& b) const { return a < b; }
    bool operator()(const CVLString& a, const SVLScriptNamePiece& b) const { return Compare(a, b) < 0; }
    bool operator()(const SVLScriptNamePiece& a, const CVLString& b) const { return Compare(b, a) > 0; }
    // Inline: the lookup of every call runs it.
    static int Compare(const CVLString& a, const SVLScriptNamePiece& b)
    {
        // a is a map key, a plain CVLString: its members are called directly.
        if (a.CVLString::GetCharSize() != 1)
            return CompareWide(a, b);
        // As CVLString compares byte texts: an empty text first, then the
        // bytes, then the length.
        int nA = a.CVLString::GetLength();
        if (b.n == 0)
            return nA != 0 ? 1 : 0;
        if (nA == 0)
            return -1;
        int r = CompareBytes(a.CVLString::GetBuffer(), b.p, nA < b.n ? nA : b.n);
        return r != 0 ? r : nA - b.n;
    }
    static int CompareWide(const CVLString& a, const SVLScriptNamePiece& b);
    // memcmp's order; names are short, and a byte loop beats a library call
    // for them.
    static int CompareBytes(const char* a, const char* b, int n)
    {
        if (n > kShortBytes)
            return std::memcmp(a, b, static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            if (a[i] != b[i])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
        }
        return 0;
    }
    static const int kShortBytes = 16;
};

// (extension, head of the name, rest of the name) -> the object through which
// the value is read and written, or null.
typedef IVLVariantObjectIF* (*PropertyHandler)(IVLScriptExtendIF* pExtend, const CVLString& strHead,
                                               const CVLString& strRest);
// (extension, object path, arguments, the run's context value).
typedef void (*MethodHandler)(IVLScriptExtendIF* pExtend, const CVLString& strPath, CVLScriptParams* pParams,
                              void* pContext);

class IVLScriptExtendIF
{
public:
    // pNextExtend is asked first and is not owned.
    IVLScriptExtendIF(PropertyHandler pfnDefaultProperty, IVLScriptExtendIF* pNextExtend);
    virtual ~IVLScriptExtendIF();

    virtual IVLVariantObjectIF* GetProperty(const char* szName);
    // True when a handler ran; the arguments' return value holds the result.
    virtual bool CallFunction(const char* szName, CVLScriptParams* pParams, IVLScriptExtendIF* pCaller,
                              void* pContext);
    virtual CVLString GetContextText() = 0;

protected:
    std::map<CVLString, PropertyHandler, CVLScriptNameLess> m_PropertyMap;
    std::map<CVLString, MethodHandler, CVLScriptNameLess> m_MethodMap;
    PropertyHandler m_pfnDefaultProperty;
    IVLScriptExtendIF* m_pNextExtend;

private:
    struct SPath;
    // The object path handed to a method handler: one kept string for each
    // path this host was called with (up to a bound), so a call builds none.
    const CVLString* KeptPath(const char* p, int n);

    // Newest first; a published entry never changes while the host lives, so
    // a handler's path stays intact across re-entrant and concurrent calls.
    std::atomic<SPath*> m_pPaths;

    IVLScriptExtendIF(const IVLScriptExtendIF&) = delete;
    IVLScriptExtendIF& operator=(const IVLScriptExtendIF&) = delete;
};

#endif
