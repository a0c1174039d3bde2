#include "script/VLScriptCollection.h"

#include <algorithm>
#include <atomic>
#include <new>

#include "base/core/VLMemoryAllocException.h"

namespace {
std::atomic<VL_ULONGLONG> g_nNextStamp(1);
}  // namespace

CVLScriptCollection::CVLScriptCollection() : m_strName(VL_CHARSET_UTF8), m_nStamp(0)
{
    Touch();
}

void CVLScriptCollection::Touch()
{
    m_nStamp = g_nNextStamp.fetch_add(1, std::memory_order_relaxed);
}

CVLScriptCollection::~CVLScriptCollection()
{
    RemoveAll();
}

CVLScript* CVLScriptCollection::Add(const char* szKey, CVLScript* p)
{
    Touch();
    if (p != nullptr && std::find(m_List.begin(), m_List.end(), p) != m_List.end()) {
        // Listed once only, so RemoveAll and Remove delete it once.
        m_Map[MakeKey(szKey)] = p;
        return p;
    }
    return Base::Add(szKey, p);
}

void CVLScriptCollection::DeleteElement(CVLScript* p)
{
    Touch();
    delete p;
}

CVLScript* CVLScriptCollection::CreateElement(const char* szKey)
{
    (void)szKey;
    Touch();
    CVLScript* p = new (std::nothrow) CVLScript();
    if (p == nullptr)
        throw new EVLMemoryAllocException(VLSCRIPT_MODULE, "VLScriptCollection", __LINE__);
    return p;
}

CVLString& CVLScriptCollection::GetName()
{
    return m_strName;
}

void CVLScriptCollection::SetName(const char* szName)
{
    m_strName = szName;
}
