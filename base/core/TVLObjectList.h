// Owning list templates and the iterators of every list and keyed collection.
// A concrete list supplies CreateElement and DeleteElement; every operation
// that removes an element deletes it, and the concrete class's destructor
// calls DeleteAll.
#ifndef TVLOBJECTLIST_H
#define TVLOBJECTLIST_H

#include <list>
#include <type_traits>
#include <unordered_set>

#include "base/core/VLInvalidParamException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLNullObjectException.h"
#include "base/core/VLUnsupportedException.h"

// Iterators ----------------------------------------------------------------

// Calls fn once for each distinct pointer of the list, in list order.
template <typename T, typename F>
void VLForEachDistinct(const std::list<T*>& list, F fn)
{
    if (list.size() <= 8) {
        // Short lists (argument lists) without the set's allocations.
        for (auto it = list.begin(); it != list.end(); ++it) {
            bool bSeen = false;
            for (auto q = list.begin(); q != it && !bSeen; ++q)
                bSeen = *q == *it;
            if (!bSeen)
                fn(*it);
        }
        return;
    }
    std::unordered_set<T*> done;
    for (T* p : list) {
        if (done.insert(p).second)
            fn(p);
    }
}

template <class T, class List, class ListIterator>
class TVLObjectListIteratorBase
{
public:
    TVLObjectListIteratorBase() : m_pList(nullptr), m_Pos() {}
    explicit TVLObjectListIteratorBase(List* pList) : m_pList(pList), m_Pos()
    {
        if (m_pList != nullptr)
            m_Pos = m_pList->begin();
    }
    virtual ~TVLObjectListIteratorBase() {}

    virtual bool IsEnd() const { return m_pList == nullptr || m_Pos == m_pList->end(); }
    virtual void Next()
    {
        if (!IsEnd())
            ++m_Pos;
    }
    virtual T* GetCurrent() const { return Get(); }
    virtual T* Get() const { return IsEnd() ? nullptr : *m_Pos; }
    virtual ListIterator GetPosition() const { return m_Pos; }
    virtual void SetPosition(ListIterator pos) { m_Pos = pos; }

protected:
    List* m_pList;
    ListIterator m_Pos;
};

template <class T>
class TVLObjectListIterator
    : public TVLObjectListIteratorBase<T, std::list<T*>, typename std::list<T*>::iterator>
{
public:
    typedef TVLObjectListIteratorBase<T, std::list<T*>, typename std::list<T*>::iterator> Base;
    TVLObjectListIterator() {}
    explicit TVLObjectListIterator(std::list<T*>* pList) : Base(pList) {}
};

template <class T>
class TVLObjectListConstIterator
    : public TVLObjectListIteratorBase<T, const std::list<T*>, typename std::list<T*>::const_iterator>
{
public:
    typedef TVLObjectListIteratorBase<T, const std::list<T*>, typename std::list<T*>::const_iterator> Base;
    TVLObjectListConstIterator() {}
    explicit TVLObjectListConstIterator(const std::list<T*>* pList) : Base(pList) {}
};

// Lists --------------------------------------------------------------------

template <class T, class Iter, class ConstIter>
class TVLObjectListBase
{
public:
    typedef typename std::list<T*>::iterator Position;

    TVLObjectListBase() {}
    // Frees only the list nodes; the concrete class deletes the elements.
    virtual ~TVLObjectListBase() {}

    virtual T* InsertAt(int nIndex, T* p)
    {
        if (nIndex < 0)
            nIndex = 0;
        if (nIndex < GetCount())
            m_List.insert(GetNodeAt(nIndex), p);
        else
            m_List.push_back(p);
        return p;
    }
    virtual T* Add(T* p)
    {
        m_List.push_back(p);
        return p;
    }
    virtual int GetCount() const { return static_cast<int>(m_List.size()); }
    virtual T* GetAt(int nIndex) const { return *GetNodeAt(nIndex); }
    virtual int IndexOf(T* p) const
    {
        if (p == nullptr)
            return -1;
        int i = 0;
        for (T* q : m_List) {
            if (q == p)
                return i;
            ++i;
        }
        return -1;
    }
    virtual T* operator[](int nIndex) const { return GetAt(nIndex); }
    virtual void RemoveAt(int nIndex)
    {
        T* p = *GetNodeAt(nIndex);
        m_List.remove(p);
        DeleteElement(p);
    }
    // Deletes every element in list order; a pointer held twice is deleted once.
    virtual void DeleteAll()
    {
        std::list<T*> old;
        old.swap(m_List);
        VLForEachDistinct(old, [this](T* p) { DeleteElement(p); });
    }
    virtual Iter Begin() { return Iter(&m_List); }
    virtual ConstIter ConstBegin() const { return ConstIter(&m_List); }
    virtual TVLObjectListBase& operator=(const TVLObjectListBase& src)
    {
        Copy(src);
        return *this;
    }
    virtual void Copy(const TVLObjectListBase& src)
    {
        if (&src == this)
            return;
        DeleteAll();
        Append(src);
    }
    // Appends a copy of each element of src; a list appended to itself
    // copies the elements it held when the call began.
    virtual void Append(const TVLObjectListBase& src)
    {
        int n = src.GetCount();
        auto it = src.m_List.begin();
        for (int i = 0; i < n; ++i, ++it)
            Add(CloneElement(*it));
    }
    virtual void Swap(int i, int j)
    {
        Position a = GetNodeAt(i);
        Position b = GetNodeAt(j);
        T* p = *a;
        *a = *b;
        *b = p;
    }
    // Deletes the current element, removes every entry holding it and leaves
    // the iterator on the following element.
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
        it.SetPosition(next);
        DeleteElement(p);
    }
    virtual void DeleteElement(T* p) = 0;
    virtual T* CloneElement(const T* p) { return const_cast<T*>(p); }
    virtual Position GetNodeAt(int nIndex) const
    {
        if (nIndex < 0 || nIndex >= GetCount())
            throw new EVLInvalidParamException(VLSTD_MODULE, "TVLObjectList", 232);
        auto it = const_cast<std::list<T*>&>(m_List).begin();
        for (int i = 0; i < nIndex; ++i)
            ++it;
        return it;
    }

protected:
    std::list<T*> m_List;

private:
    TVLObjectListBase(const TVLObjectListBase&) = delete;
};

template <class T, class Iter, class ConstIter>
class TVLObjectList : public TVLObjectListBase<T, Iter, ConstIter>
{
public:
    typedef TVLObjectListBase<T, Iter, ConstIter> Base;
    using Base::Add;
    using Base::InsertAt;
    using Base::operator=;

    TVLObjectList() {}
    virtual ~TVLObjectList() {}

    virtual T* CloneElement(const T* p) override
    {
        if (p == nullptr)
            throw new EVLNullObjectException(VLSTD_MODULE, "TVLObjectList", 308);
        T* pNew = CreateElement();
        if (pNew == nullptr)
            throw new EVLMemoryAllocException(VLSTD_MODULE, "TVLObjectList", 312);
        if constexpr (std::is_copy_assignable<T>::value) {
            *pNew = *p;
        } else {
            this->DeleteElement(pNew);
            throw new EVLUnsupportedException(VLSTD_MODULE, "TVLObjectList", __LINE__, "CloneElement");
        }
        return pNew;
    }
    virtual T* InsertAt(int nIndex)
    {
        T* p = CreateElement();
        if (p == nullptr)
            throw new EVLMemoryAllocException(VLSTD_MODULE, "TVLObjectList", 283);
        return Base::InsertAt(nIndex, p);
    }
    virtual T* Add()
    {
        T* p = CreateElement();
        if (p == nullptr)
            throw new EVLMemoryAllocException(VLSTD_MODULE, "TVLObjectList", 294);
        return Base::Add(p);
    }
    virtual T* CreateElement() = 0;
};

#endif
