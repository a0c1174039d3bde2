// Owning keyed collection templates: elements filed under CVLString keys,
// visited in insertion order. A concrete collection supplies CreateElement
// and DeleteElement; every removing operation deletes the element, and the
// concrete class's destructor calls RemoveAll.
#ifndef TVLSTRINGKEYCOLLECTION_H
#define TVLSTRINGKEYCOLLECTION_H

#include <list>
#include <map>
#include <type_traits>
#include <unordered_set>
#include <vector>

#include "base/core/TVLObjectList.h"
#include "base/core/VLString.h"

template <class T, class Iter, class ConstIter, class KeyType = CVLString, class KeyArg = const char*>
class TVLStringKeyCollectionBase
{
public:
    typedef typename std::list<T*>::iterator Position;

    TVLStringKeyCollectionBase() {}
    // Frees only the list and map nodes; the concrete class deletes the elements.
    virtual ~TVLStringKeyCollectionBase() {}

    virtual T* Find(KeyArg szKey) const
    {
        auto it = m_Map.find(MakeKey(szKey));
        return it == m_Map.end() ? nullptr : it->second;
    }
    // Find by a key made already (what Find makes of its text).
    T* FindKey(const KeyType& key) const
    {
        auto it = m_Map.find(key);
        return it == m_Map.end() ? nullptr : it->second;
    }
    virtual T* GetAt(int nIndex) const { return *GetNodeAt(nIndex); }
    // Files p under the key; callers test for an existing key first.
    virtual T* Add(KeyArg szKey, T* p)
    {
        m_List.push_back(p);
        m_Map[MakeKey(szKey)] = p;
        return p;
    }
    virtual int GetCount() const { return static_cast<int>(m_List.size()); }
    virtual void Remove(KeyArg szKey)
    {
        auto it = m_Map.find(MakeKey(szKey));
        if (it == m_Map.end())
            return;
        T* p = it->second;
        Forget(p);
        DeleteElement(p);
    }
    // Deletes every element in insertion order (each distinct one once).
    virtual void RemoveAll()
    {
        std::list<T*> old;
        old.swap(m_List);
        m_Map.clear();
        VLForEachDistinct(old, [this](T* p) { DeleteElement(p); });
    }
    virtual Iter Begin() { return Iter(&m_List); }
    virtual ConstIter ConstBegin() const { return ConstIter(&m_List); }
    virtual TVLStringKeyCollectionBase& operator=(const TVLStringKeyCollectionBase& src)
    {
        Copy(src);
        return *this;
    }
    virtual void Copy(const TVLStringKeyCollectionBase& src)
    {
        if (&src == this)
            return;
        RemoveAll();
        Append(src);
    }
    virtual void Append(const TVLStringKeyCollectionBase& src)
    {
        // Step 1, in key order: a copy of every element of src. A key that
        // exists here already has its element overwritten in place.
        std::map<const T*, std::pair<KeyType, T*>> copies;
        std::vector<T*> created;
        try {
            for (const auto& entry : src.m_Map) {
                T* pTarget = Find(entry.first.GetString());
                T* pCopy = CloneElement(entry.first.GetString(), entry.second);
                if (pCopy != pTarget && pCopy != entry.second)
                    created.push_back(pCopy);
                copies.emplace(entry.second, std::make_pair(entry.first, pCopy));
            }
        } catch (...) {
            for (T* p : created)
                DeleteElement(p);
            throw;
        }
        // Step 2, in src's insertion order: file the copies under new keys.
        std::vector<T*> pending(src.m_List.begin(), src.m_List.end());
        std::unordered_set<T*> filed;
        for (T* pSrc : pending) {
            auto it = copies.find(pSrc);
            if (it == copies.end())
                continue;
            const KeyType& key = it->second.first;
            T* pCopy = it->second.second;
            if (m_Map.find(key) == m_Map.end()) {
                m_Map[key] = pCopy;
                m_List.push_back(pCopy);
                filed.insert(pCopy);
            }
        }
        for (T* p : created) {
            if (filed.find(p) == filed.end())
                DeleteElement(p);
        }
    }
    // Deletes the current element, drops its key(s) and leaves the iterator
    // on the following element.
    virtual void RemoveAt(Iter& it)
    {
        if (it.IsEnd())
            return;
        Position pos = it.GetPosition();
        T* p = *pos;
        Position next = m_List.erase(pos);
        for (Position q = m_List.begin(); q != m_List.end();) {
            if (*q == p) {
                if (q == next)
                    next = std::next(q);
                q = m_List.erase(q);
            } else {
                ++q;
            }
        }
        for (auto m = m_Map.begin(); m != m_Map.end();) {
            if (m->second == p)
                m = m_Map.erase(m);
            else
                ++m;
        }
        it.SetPosition(next);
        DeleteElement(p);
    }
    virtual void DeleteElement(T* p) = 0;
    virtual T* CloneElement(KeyArg, const T* p) { return const_cast<T*>(p); }
    virtual Position GetNodeAt(int nIndex) const
    {
        if (nIndex < 0 || nIndex >= GetCount())
            throw new EVLInvalidParamException(VLSTD_MODULE, "TVLStringKeyCollection", 238);
        auto it = const_cast<std::list<T*>&>(m_List).begin();
        for (int i = 0; i < nIndex; ++i)
            ++it;
        return it;
    }

protected:
    static KeyType MakeKey(KeyArg szKey) { return KeyType(szKey == nullptr ? "" : szKey, VL_CHARSET_UTF8); }

    // Drops every list entry and key that holds p.
    void Forget(T* p)
    {
        m_List.remove(p);
        for (auto m = m_Map.begin(); m != m_Map.end();) {
            if (m->second == p)
                m = m_Map.erase(m);
            else
                ++m;
        }
    }

    std::list<T*> m_List;
    std::map<KeyType, T*> m_Map;

private:
    TVLStringKeyCollectionBase(const TVLStringKeyCollectionBase&) = delete;
};

template <class T, class Iter, class ConstIter, class KeyType = CVLString, class KeyArg = const char*>
class TVLStringKeyCollection : public TVLStringKeyCollectionBase<T, Iter, ConstIter, KeyType, KeyArg>
{
public:
    typedef TVLStringKeyCollectionBase<T, Iter, ConstIter, KeyType, KeyArg> Base;
    using Base::Add;
    using Base::operator=;

    TVLStringKeyCollection() {}
    virtual ~TVLStringKeyCollection() {}

    // The element filed under the key here (overwritten), or a new unfiled
    // one, holding a copy of p.
    virtual T* CloneElement(KeyArg szKey, const T* p) override
    {
        if (p == nullptr)
            throw new EVLNullObjectException(VLSTD_MODULE, "TVLStringKeyCollection", 322);
        T* pTarget = this->Find(szKey);
        bool bNew = false;
        if (pTarget == nullptr) {
            pTarget = CreateElement(szKey);
            if (pTarget == nullptr)
                throw new EVLMemoryAllocException(VLSTD_MODULE, "TVLStringKeyCollection", 333);
            bNew = true;
        }
        if constexpr (std::is_copy_assignable<T>::value) {
            if (pTarget != p)
                *pTarget = *p;
        } else {
            if (bNew)
                this->DeleteElement(pTarget);
            throw new EVLUnsupportedException(VLSTD_MODULE, "TVLStringKeyCollection", __LINE__, "CloneElement");
        }
        return pTarget;
    }
    // Creates and files an element; a null or empty key becomes the current
    // count in decimal.
    virtual T* Add(KeyArg szKey)
    {
        KeyType key(VL_CHARSET_UTF8);
        if (szKey == nullptr || szKey[0] == '\0')
            key.SetLong(this->GetCount());
        else
            key = szKey;
        if (this->Find(key.GetString()) != nullptr)
            throw new EVLInvalidParamException(VLSTD_MODULE, "TVLStringKeyCollection", 305);
        T* p = CreateElement(key.GetString());
        if (p == nullptr)
            throw new EVLMemoryAllocException(VLSTD_MODULE, "TVLStringKeyCollection", 309);
        return Base::Add(key.GetString(), p);
    }
    virtual T* CreateElement(KeyArg szKey) = 0;
};

#endif
