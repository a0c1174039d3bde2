// The host interface of a script run. A host derives from it and files its
// handlers in the two tables in its constructor: properties by the first part
// of a dotted name, methods by the last part.
#ifndef VLSCRIPTEXTENDIF_H
#define VLSCRIPTEXTENDIF_H

#include <atomic>
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
    static int Compare(const CVLString& a, const SVLScriptNamePiece& b);
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
