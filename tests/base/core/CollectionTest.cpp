#include <gtest/gtest.h>

#include <string>

#include "base/core/TVLObjectList.h"
#include "base/core/TVLStringKeyCollection.h"
#include "base/core/VLException.h"

namespace {

struct Item
{
    explicit Item(int n = 0) : nValue(n) { ++s_nLive; }
    Item(const Item& o) : nValue(o.nValue) { ++s_nLive; }
    Item& operator=(const Item& o)
    {
        nValue = o.nValue;
        return *this;
    }
    ~Item() { --s_nLive; }
    int nValue;
    static int s_nLive;
};
int Item::s_nLive = 0;

class CItemIterator : public TVLObjectListIterator<Item>
{
public:
    using TVLObjectListIterator<Item>::TVLObjectListIterator;
};
class CItemConstIterator : public TVLObjectListConstIterator<Item>
{
public:
    using TVLObjectListConstIterator<Item>::TVLObjectListConstIterator;
};

class CItemList : public TVLObjectList<Item, CItemIterator, CItemConstIterator>
{
public:
    using TVLObjectList::operator=;
    ~CItemList() override { DeleteAll(); }
    void DeleteElement(Item* p) override { delete p; }
    Item* CreateElement() override { return new Item(); }
};

class CItemMap : public TVLStringKeyCollection<Item, CItemIterator, CItemConstIterator>
{
public:
    using TVLStringKeyCollection::operator=;
    ~CItemMap() override { RemoveAll(); }
    void DeleteElement(Item* p) override { delete p; }
    Item* CreateElement(const char*) override { return bFailCreate ? nullptr : new Item(); }
    bool bFailCreate = false;
};

template <typename E, typename F>
int ThrowLine(F f)
{
    try {
        f();
    } catch (E* e) {
        int n = e->GetLine();
        e->Delete();
        return n;
    } catch (EVLException* e) {
        e->Delete();
        return -2;
    }
    return -1;
}

std::string Order(CItemIterator it)
{
    std::string s;
    for (; !it.IsEnd(); it.Next())
        s += std::to_string(it.GetCurrent()->nValue);
    return s;
}

}  // namespace

TEST(ObjectList, IndexRulesAndRemoval)
{
    {
        CItemList list;
        list.Add(new Item(1));
        list.Add(new Item(2));
        list.InsertAt(-5, new Item(0));
        list.InsertAt(list.GetCount() + 3, new Item(3));
        list.InsertAt(2, new Item(9));
        EXPECT_EQ("01923", Order(list.Begin()));
        EXPECT_EQ(232, ThrowLine<EVLInvalidParamException>([&] { list.GetAt(-1); }));
        EXPECT_EQ(232, ThrowLine<EVLInvalidParamException>([&] { list.GetAt(list.GetCount()); }));
        EXPECT_EQ(2, list.IndexOf(list[2]));
        EXPECT_EQ(-1, list.IndexOf(nullptr));
        list.Swap(0, 4);
        EXPECT_EQ("31920", Order(list.Begin()));
        list.RemoveAt(2);
        EXPECT_EQ(4, Item::s_nLive);
        list.Add()->nValue = 7;
        EXPECT_EQ("31207", Order(list.Begin()));
        CItemIterator it = list.Begin();
        while (!it.IsEnd())
            list.RemoveAt(it);
        EXPECT_EQ(0, list.GetCount());
        EXPECT_EQ(0, Item::s_nLive);
    }
    EXPECT_EQ(0, Item::s_nLive);
}

TEST(ObjectList, DuplicatePointerDeletedOnceAndSelfCopy)
{
    {
        CItemList list;
        Item* p = list.Add(new Item(5));
        list.Add(p);
        list.Add(new Item(6));
        CItemIterator it = list.Begin();
        list.RemoveAt(it);  // removes both entries holding p
        EXPECT_EQ(6, it.GetCurrent()->nValue);
        EXPECT_EQ(1, list.GetCount());

        Item* q = list.Add(new Item(8));
        list.Add(q);
        list.DeleteAll();
        EXPECT_EQ(0, Item::s_nLive);

        list.Add(new Item(1));
        list.Add(new Item(2));
        const auto& self = list;  // through a reference: the compiler warns of a plain self-assignment
        list = self;
        EXPECT_EQ("12", Order(list.Begin()));
        list.Append(list);
        EXPECT_EQ("1212", Order(list.Begin()));
        CItemList other;
        other = list;
        EXPECT_EQ("1212", Order(other.Begin()));
        EXPECT_NE(other.GetAt(0), list.GetAt(0));
    }
    EXPECT_EQ(0, Item::s_nLive);
}

TEST(KeyCollection, EmptyKeyNumberingAndDuplicates)
{
    {
        CItemMap map;
        Item* a = map.Add("");
        Item* b = map.Add(nullptr);
        EXPECT_EQ(a, map.Find("0"));
        EXPECT_EQ(b, map.Find("1"));
        EXPECT_EQ(305, ThrowLine<EVLInvalidParamException>([&] { map.Add("0"); }));
        EXPECT_EQ(2, map.GetCount());
        EXPECT_EQ(2, Item::s_nLive);

        CItemMap m2;
        m2.Add("1");
        EXPECT_EQ(305, ThrowLine<EVLInvalidParamException>([&] { m2.Add(""); }));
        m2.bFailCreate = true;
        EXPECT_EQ(309, ThrowLine<EVLMemoryAllocException>([&] { m2.Add("x"); }));
        EXPECT_EQ(1, m2.GetCount());
        EXPECT_EQ(238, ThrowLine<EVLInvalidParamException>([&] { m2.GetAt(1); }));
    }
    EXPECT_EQ(0, Item::s_nLive);
}

TEST(KeyCollection, InsertionOrderRemoveAndCopy)
{
    {
        CItemMap map;
        map.Add("b")->nValue = 2;
        map.Add("a")->nValue = 1;
        map.Add("c")->nValue = 3;
        EXPECT_EQ("213", Order(map.Begin()));
        map.Remove("zz");
        EXPECT_EQ(3, map.GetCount());
        map.Remove("a");
        EXPECT_EQ(nullptr, map.Find("a"));
        EXPECT_EQ(2, Item::s_nLive);

        CItemMap copy;
        copy.Add("c")->nValue = 9;
        copy.Add("z")->nValue = 4;
        copy.Append(map);  // c is overwritten in place, b is appended
        EXPECT_EQ("342", Order(copy.Begin()));
        copy = map;
        EXPECT_EQ("23", Order(copy.Begin()));
        EXPECT_NE(copy.Find("b"), map.Find("b"));
        const auto& self = copy;
        copy = self;
        EXPECT_EQ("23", Order(copy.Begin()));
        copy.Append(copy);
        EXPECT_EQ("23", Order(copy.Begin()));

        CItemIterator it = copy.Begin();
        copy.RemoveAt(it);
        EXPECT_EQ(nullptr, copy.Find("b"));
        EXPECT_EQ(3, it.GetCurrent()->nValue);
        copy.RemoveAt(it);
        EXPECT_TRUE(it.IsEnd());
        EXPECT_EQ(0, copy.GetCount());
    }
    EXPECT_EQ(0, Item::s_nLive);
}
