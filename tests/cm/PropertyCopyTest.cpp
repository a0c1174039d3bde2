#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/core/VLInvalidParamException.h"
#include "base/core/VLNullObjectException.h"
#include "cm/VLCMApi.h"
#include "cm/VLProperty.h"
#include "cm/VLPropertyCollection.h"
#include "tests/support/TestSupport.h"

namespace {

struct RootDeleter
{
    void operator()(CVLProperty* p) const { p->Destroy(); }
};
typedef std::unique_ptr<CVLProperty, RootDeleter> RootPtr;

class PropertyCopyTest : public ::testing::Test
{
protected:
    RootPtr NewRoot() { return RootPtr(m_Api.NewProperty(nullptr)); }
    static std::string Names(CVLProperty* p)
    {
        std::string s;
        for (CVLPropertyIterator it = p->Begin(); !it.IsEnd(); it.Next())
            s += (s.empty() ? "" : ",") + Bytes(it.Get()->GetName());
        return s;
    }
    CVLCMApi m_Api;
};

TEST_F(PropertyCopyTest, MergeSourceWinsDestinationOnlyStays)
{
    RootPtr dst = NewRoot();
    dst->GetProperty("keep", true)->SetInt(1);
    dst->GetProperty("same", true)->SetInt(2);
    dst->GetProperty("gone", true)->SetInt(3);
    dst->ResetModify();

    RootPtr src = NewRoot();
    src->GetProperty("same", true)->SetInt(2);  // equal value, modified in the source
    src->GetProperty("gone", true);             // empty value wins
    src->GetProperty("new.deep", true)->SetString(CVLString("x", VL_CHARSET_UTF8));
    src->SetName("top");

    dst->Merge(src.get());
    EXPECT_EQ("top", Bytes(dst->GetName()));
    EXPECT_EQ("keep,same,gone,new", Names(dst.get()));
    EXPECT_EQ(1, dst->FindChild("keep")->GetInt());
    EXPECT_FALSE(dst->FindChild("keep")->CVLVariant::IsModified());
    EXPECT_TRUE(dst->FindChild("same")->CVLVariant::IsModified());
    EXPECT_EQ(VL_VARIANT_TYPE_EMPTY, dst->FindChild("gone")->CVLVariant::GetType());
    EXPECT_EQ("x", Bytes(dst->GetProperty("new.deep", false)->GetString()));
    // The copies are the destination's own nodes.
    EXPECT_NE(src->GetProperty("new.deep", false), dst->GetProperty("new.deep", false));
    EXPECT_EQ(dst->FindChild("new"), dst->GetProperty("new.deep", false)->GetParent());
}

TEST_F(PropertyCopyTest, AssignReplacesTheSubtree)
{
    RootPtr dst = NewRoot();
    dst->GetProperty("a", true);
    dst->GetProperty("b", true);
    dst->GetProperty("c", true);
    RootPtr src = NewRoot();
    src->GetProperty("y", true)->SetInt(1);
    src->GetProperty("x.z", true)->SetInt(2);
    src->FindChild("y")->ClearModified();
    *dst = *src;
    EXPECT_EQ("y,x", Names(dst.get()));
    EXPECT_FALSE(dst->FindChild("y")->CVLVariant::IsModified());
    EXPECT_TRUE(dst->GetProperty("x.z", false)->CVLVariant::IsModified());
    EXPECT_EQ(2, dst->GetProperty("x.z", false)->GetInt());
}

// A list node keeps its "variable" flag in a copy and a merge, so that
// clearing the copy drops the list's entries instead of emptying them.
TEST_F(PropertyCopyTest, ListNodesStayListsInCopiesAndMerges)
{
    RootPtr src = NewRoot();
    CVLProperty* pList = src->GetProperty("list", true);
    pList->SetVariable(true);
    pList->GetProperty("0", true)->SetInt(1);
    pList->GetProperty("1", true)->SetInt(2);
    RootPtr copied = NewRoot();
    *copied = *src;
    RootPtr merged = NewRoot();
    merged->Merge(src.get());
    for (CVLProperty* pRoot : {copied.get(), merged.get()}) {
        CVLProperty* p = pRoot->FindChild("list");
        ASSERT_NE(nullptr, p);
        EXPECT_TRUE(p->IsVariable());
        pRoot->Clear();
        EXPECT_EQ("", Names(p));
    }
}

TEST_F(PropertyCopyTest, OverlappingOperandsAreRefused)
{
    RootPtr root = NewRoot();
    CVLProperty* pMid = root->GetProperty("a.b", true);
    CVLProperty* pLeaf = root->GetProperty("a.b.c", true);
    pLeaf->SetInt(4);
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { pMid->Merge(root.get()); }));
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { root->Merge(pMid); }));
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { root->Assign(pLeaf); }));
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { pLeaf->Assign(root.get()); }));
    EXPECT_TRUE(VLThrows<EVLNullObjectException>([&] { root->Merge(nullptr); }));
    // With itself: nothing changes.
    root->Merge(root.get());
    *root = *root;
    EXPECT_EQ(4, root->GetProperty("a.b.c", false)->GetInt());
}

TEST_F(PropertyCopyTest, UnnamedSourceChildIsCopiedNotLost)
{
    RootPtr src = NewRoot();
    CVLProperty* p = src->CreateChild("k");
    p->SetInt(8);
    p->SetName(nullptr);
    RootPtr dst = NewRoot();
    dst->Merge(src.get());
    ASSERT_EQ(1, dst->GetChildCount());
    EXPECT_EQ(8, dst->Begin().Get()->GetInt());
}

TEST_F(PropertyCopyTest, DumpFormat)
{
    RootPtr root = NewRoot();
    EXPECT_EQ("<root>\n", Bytes(root->Dump(0, nullptr)));
    CVLProperty* pChild = root->CreateChild("Model");
    EXPECT_EQ("Properties\n\tModel=[<Empty>]\n", Bytes(root->Dump(0, "Properties")));
    pChild->GetProperty("a.b", true)->SetInt(5);
    std::string s = Bytes(root->Dump(0, nullptr));
    EXPECT_EQ("<root>\n\tModel=[<Empty>]\n\t\ta=[<Empty>]\n\t\t\tb=[5](is modify)\n", s);
}

TEST_F(PropertyCopyTest, CollectionAssignAndCopy)
{
    RootPtr a = NewRoot();
    RootPtr b = NewRoot();
    // Copy merges: y is updated in place and keeps its position, x is appended.
    CVLPropertyCollection* pA = m_Api.NewPropertyCollection(a.get());
    pA->Add("x")->SetInt(1);
    pA->Add("y")->SetInt(2);
    CVLPropertyCollection* pB = m_Api.NewPropertyCollection(b.get());
    CVLProperty* pKeep = pB->Add("y");
    pB->Add("w");
    pB->Copy(*pA);
    EXPECT_EQ(3, pB->GetCount());
    EXPECT_EQ(pKeep, pB->GetAt(0));
    EXPECT_EQ(2, pKeep->GetInt());
    EXPECT_EQ("x", Bytes(pB->GetAt(2)->GetName()));
    EXPECT_EQ(b.get(), pB->GetAt(2)->GetParent());
    *pB = *pA;
    ASSERT_EQ(2, pB->GetCount());
    EXPECT_EQ("x", Bytes(pB->GetAt(0)->GetName()));
    EXPECT_EQ("y", Bytes(pB->GetAt(1)->GetName()));
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { pB->GetAt(-1); }));
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { pB->GetAt(2); }));
    pA->Destroy();
    pB->Destroy();
}

}  // namespace
