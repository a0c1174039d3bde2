// The host interface of a script run. A host derives from it and files its
// handlers in the two tables in its constructor: properties by the first part
// of a dotted name, methods by the last part.
#ifndef VLSCRIPTEXTENDIF_H
#define VLSCRIPTEXTENDIF_H

#include <atomic>
#include <cstring>
#include <initializer_list>
#include <map>
#include <utility>

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

// A handler map that counts the changes of its entries, so that an extension
// can remember where it found a name for as long as the count stands. Every
// member that may add, remove or move an entry counts (changing the handler
// of an entry does not need to: it is read from the entry). Change the map
// through these members, not through a reference to its base.
template <class THandler>
class TVLScriptHandlerMap : public std::map<CVLString, THandler, CVLScriptNameLess>
{
public:
    typedef std::map<CVLString, THandler, CVLScriptNameLess> Base;
    typedef typename Base::value_type value_type;
    typedef typename Base::const_iterator const_iterator;

    TVLScriptHandlerMap() : m_nChanges(0) {}
    TVLScriptHandlerMap(const TVLScriptHandlerMap& other) : Base(other), m_nChanges(0) {}
    TVLScriptHandlerMap(TVLScriptHandlerMap&& other) : Base(std::move(other)), m_nChanges(0) { other.Touch(); }
    TVLScriptHandlerMap& operator=(const TVLScriptHandlerMap& other)
    {
        Touch();
        Base::operator=(other);
        return *this;
    }
    TVLScriptHandlerMap& operator=(TVLScriptHandlerMap&& other)
    {
        Touch();
        other.Touch();
        Base::operator=(std::move(other));
        return *this;
    }
    TVLScriptHandlerMap& operator=(std::initializer_list<value_type> list)
    {
        Touch();
        Base::operator=(list);
        return *this;
    }

    THandler& operator[](const CVLString& key)
    {
        Touch();
        return Base::operator[](key);
    }
    THandler& operator[](CVLString&& key)
    {
        Touch();
        return Base::operator[](std::move(key));
    }
    template <class... A>
    auto insert(A&&... args) -> decltype(this->Base::insert(std::forward<A>(args)...))
    {
        Touch();
        return Base::insert(std::forward<A>(args)...);
    }
    std::pair<typename Base::iterator, bool> insert(const value_type& value)
    {
        Touch();
        return Base::insert(value);
    }
    std::pair<typename Base::iterator, bool> insert(value_type&& value)
    {
        Touch();
        return Base::insert(std::move(value));
    }
    typename Base::iterator insert(const_iterator hint, const value_type& value)
    {
        Touch();
        return Base::insert(hint, value);
    }
    typename Base::iterator insert(const_iterator hint, value_type&& value)
    {
        Touch();
        return Base::insert(hint, std::move(value));
    }
    void insert(std::initializer_list<value_type> list)
    {
        Touch();
        Base::insert(list);
    }
    template <class... A>
    auto insert_or_assign(A&&... args) -> decltype(this->Base::insert_or_assign(std::forward<A>(args)...))
    {
        Touch();
        return Base::insert_or_assign(std::forward<A>(args)...);
    }
    template <class... A>
    auto emplace(A&&... args) -> decltype(this->Base::emplace(std::forward<A>(args)...))
    {
        Touch();
        return Base::emplace(std::forward<A>(args)...);
    }
    template <class... A>
    auto emplace_hint(A&&... args) -> decltype(this->Base::emplace_hint(std::forward<A>(args)...))
    {
        Touch();
        return Base::emplace_hint(std::forward<A>(args)...);
    }
    template <class... A>
    auto try_emplace(A&&... args) -> decltype(this->Base::try_emplace(std::forward<A>(args)...))
    {
        Touch();
        return Base::try_emplace(std::forward<A>(args)...);
    }
    template <class... A>
    auto erase(A&&... args) -> decltype(this->Base::erase(std::forward<A>(args)...))
    {
        Touch();
        return Base::erase(std::forward<A>(args)...);
    }
    template <class... A>
    auto extract(A&&... args) -> decltype(this->Base::extract(std::forward<A>(args)...))
    {
        Touch();
        return Base::extract(std::forward<A>(args)...);
    }
    template <class M>
    void merge(M&& source)
    {
        Touch();
        TouchSource(source);
        Base::merge(std::forward<M>(source));
    }
    void clear()
    {
        Touch();
        Base::clear();
    }
    void swap(TVLScriptHandlerMap& other)
    {
        Touch();
        other.Touch();
        Base::swap(other);
    }

    unsigned long long GetChanges() const { return m_nChanges; }

private:
    void Touch() { ++m_nChanges; }
    static void TouchSource(TVLScriptHandlerMap& source) { source.Touch(); }
    template <class M>
    static void TouchSource(M&)
    {
    }

    unsigned long long m_nChanges;
};

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
    TVLScriptHandlerMap<MethodHandler> m_MethodMap;
    PropertyHandler m_pfnDefaultProperty;
    IVLScriptExtendIF* m_pNextExtend;

private:
    struct SPath;
    struct SCall;
    // The object path handed to a method handler: one kept string for each
    // path this host was called with (up to a bound), so a call builds none.
    const CVLString* KeptPath(const char* p, int n);
    // Where a called name was found last, while the method map is unchanged;
    // null when it has to be looked up.
    const SCall* KnownCall(const char* szName) const;
    void KeepCall(const char* szName, const CVLString* pPath,
                  const TVLScriptHandlerMap<MethodHandler>::value_type* pEntry);

    // Newest first; a published entry never changes while the host lives, so
    // a handler's path stays intact across re-entrant and concurrent calls.
    std::atomic<SPath*> m_pPaths;
    std::atomic<SCall*> m_pCalls;

    IVLScriptExtendIF(const IVLScriptExtendIF&) = delete;
    IVLScriptExtendIF& operator=(const IVLScriptExtendIF&) = delete;
};

#endif
