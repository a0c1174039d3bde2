// An auto node builds only the declared children a path or a lookup
// reaches; every reader sees what a full expansion gives. Each case runs the
// same steps on a tree used as it comes ("lazy") and on one whose nodes are
// all iterated after every step, which builds all of their declared children
// ("full"), and compares what readers see.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/core/VLCharset.h"
#include "base/core/VLInvalidParamException.h"
#include "base/xml/VLXmlDocument.h"
#include "cm/VLCMApi.h"
#include "cm/VLProperty.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XmlTestStream.h"

namespace {

struct RootDeleter
{
    void operator()(CVLProperty* p) const { p->Destroy(); }
};
typedef std::unique_ptr<CVLProperty, RootDeleter> RootPtr;

const char* const s_szDefinition = "<PropertyRoot>"
                                   "<Property name=\"MACAddress\"/>"
                                   "<Property name=\"A\" auto=\"true\">"
                                   "<Property name=\"x\"/>"
                                   "<Property name=\"P\"><Property name=\"p1\"/><Property name=\"p2\"/></Property>"
                                   "<Property name=\"B\" auto=\"true\"><Property name=\"b1\"/>"
                                   "<Property name=\"b2\"/></Property>"
                                   "<Property name=\"V\" variable=\"true\"/>"
                                   "<Property name=\"y\"/>"
                                   "</Property>"
                                   "</PropertyRoot>";

class PropertyLazyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CTestStream stream(s_szDefinition);
        m_Doc.Load(&stream);
    }

    RootPtr NewRoot(const CVLXmlDocument& doc)
    {
        RootPtr root(m_Api.NewProperty(nullptr));
        root->SetDefinition(doc.GetDocumentElement());
        return root;
    }
    RootPtr NewRoot() { return NewRoot(m_Doc); }

    // The node at szPath; in the full tree every node then builds all of
    // its declared children, as binding and a path through an auto node did
    // when they built everything at once.
    static CVLProperty* Reach(CVLProperty* pRoot, const char* szPath, bool bCreate, bool bFull)
    {
        CVLProperty* pResult = pRoot->GetProperty(szPath, bCreate);
        if (bFull)
            BuildAll(pRoot);
        return pResult;
    }
    static void BuildAll(CVLProperty* p)
    {
        for (CVLPropertyIterator it = p->Begin(); !it.IsEnd(); it.Next())
            BuildAll(it.Get());
    }

    static std::string Dump(const CVLProperty* p) { return Bytes(p->Dump(0, nullptr)); }

    // Child names of p in iteration order, joined by ",".
    static std::string Names(CVLProperty* p)
    {
        std::string s;
        for (CVLPropertyIterator it = p->Begin(); !it.IsEnd(); it.Next())
            s += (s.empty() ? "" : ",") + Bytes(it.Get()->GetName());
        return s;
    }

    CVLCMApi m_Api;
    CVLXmlDocument m_Doc;
};

// Reads, writes, copies, merges and subtree state, lazy against full.
TEST_F(PropertyLazyTest, ReadersSeeWhatAFullExpansionGives)
{
    RootPtr trees[2] = {NewRoot(), NewRoot()};  // lazy, full
    for (int i = 0; i < 2; ++i) {
        bool bFull = i == 1;
        Reach(trees[i].get(), "A.y", true, bFull)->SetInt(5);
        Reach(trees[i].get(), "A.B.b2", true, bFull)->SetString(CVLString("b", VL_CHARSET_UTF8));
        Reach(trees[i].get(), "A.V.3.name", true, bFull)->SetInt(3);
        EXPECT_EQ(nullptr, Reach(trees[i].get(), "A.missing", false, bFull));
    }
    CVLProperty* pLazy = trees[0].get();
    CVLProperty* pFull = trees[1].get();
    ASSERT_EQ(Dump(pFull), Dump(pLazy));
    EXPECT_NE(std::string::npos, Dump(pLazy).find("\t\tP=[<Empty>]\n\t\t\tp1=[<Empty>]\n"));
    EXPECT_EQ(5, pLazy->FindChild("A")->GetChildCount());
    EXPECT_EQ(2, pLazy->GetProperty("A.B", false)->GetChildCount());
    EXPECT_EQ(pFull->IsEmpty(), pLazy->IsEmpty());
    EXPECT_EQ(pFull->IsModified(), pLazy->IsModified());
    // MACAddress, x, P with p1 and p2, and b1 were never reached.
    EXPECT_EQ(pFull->GetNodeCount() - 6, pLazy->GetNodeCount());
    const int nLazyNodes = pLazy->GetNodeCount();

    // A copy shows the same and stays as lazy as its source.
    RootPtr copy(m_Api.NewProperty(nullptr));
    *copy = *pLazy;
    EXPECT_EQ(Dump(pFull), Dump(copy.get()));
    EXPECT_EQ(nLazyNodes, copy->GetNodeCount());
    EXPECT_EQ(5, copy->GetProperty("A.y", false)->GetInt());
    RootPtr merged = NewRoot();
    merged->Merge(pLazy);
    EXPECT_EQ(Dump(pFull), Dump(merged.get()));
    EXPECT_EQ(nLazyNodes, merged->GetNodeCount());
    EXPECT_EQ(nLazyNodes, pLazy->GetNodeCount());
    EXPECT_EQ(Dump(pFull), Dump(pLazy));

    // Merged into a tree whose declared x and p1 hold values, the source's
    // empty x and p1 win, whether the source built them or not; and the
    // other way round.
    for (int nSource = 0; nSource < 2; ++nSource) {
        RootPtr into[2] = {NewRoot(), NewRoot()};
        for (int i = 0; i < 2; ++i) {
            Reach(into[i].get(), "A.x", true, i == 1)->SetInt(7);
            Reach(into[i].get(), "A.P.p1", true, i == 1)->SetInt(8);
            into[i]->ResetModify();
            into[i]->Merge(trees[nSource].get());
        }
        EXPECT_EQ(Dump(into[1].get()), Dump(into[0].get())) << "source " << nSource;
        EXPECT_EQ(VL_VARIANT_TYPE_EMPTY, into[0]->GetProperty("A.x", false)->CVLVariant::GetType());
        RootPtr lazyInto = NewRoot();
        lazyInto->GetProperty("A.B.b1", true)->SetInt(9);
        RootPtr fullInto = NewRoot();
        Reach(fullInto.get(), "A.B.b1", true, true)->SetInt(9);
        lazyInto->Merge(trees[nSource].get());
        fullInto->Merge(trees[nSource].get());
        EXPECT_EQ(Dump(fullInto.get()), Dump(lazyInto.get())) << "source " << nSource;
    }
    EXPECT_EQ(Dump(pFull), Dump(pLazy));

    for (CVLProperty* p : {pLazy, pFull})
        p->ResetModify();
    EXPECT_FALSE(pLazy->IsModified());
    for (CVLProperty* p : {pLazy, pFull})
        p->Clear();
    EXPECT_EQ(Dump(pFull), Dump(pLazy));
    EXPECT_TRUE(pLazy->IsEmpty());

    // Iterating builds the rest, in declared order; a new child follows.
    EXPECT_EQ("x,P,B,V,y", Names(pLazy->FindChild("A")));
    pLazy->GetProperty("A.Extra", true);
    pFull->GetProperty("A.Extra", true);
    EXPECT_EQ("x,P,B,V,y,Extra", Names(pLazy->FindChild("A")));
    EXPECT_EQ(Dump(pFull), Dump(pLazy));
    EXPECT_EQ(pFull->GetNodeCount(), pLazy->GetNodeCount());
}

// Declared children built in any order stand in their declared places;
// creating and removing children sees every declared one.
TEST_F(PropertyLazyTest, DeclaredChildrenKeepTheirPlaces)
{
    RootPtr root = NewRoot();
    CVLProperty* pY = root->GetProperty("A.y", false);
    ASSERT_NE(nullptr, pY);
    CVLProperty* pA = root->FindChild("A");
    ASSERT_NE(nullptr, pA->FindChild("B"));
    ASSERT_NE(nullptr, pA->FindChild("x"));
    EXPECT_EQ(4, pA->GetNodeCount());
    EXPECT_EQ("x,P,B,V,y", Names(pA));
    EXPECT_EQ(pY, pA->FindChild("y"));

    RootPtr removed = NewRoot();
    removed->GetProperty("A.y", true);
    removed->FindChild("A")->RemoveChild("P");
    EXPECT_EQ("x,B,V,y", Names(removed->FindChild("A")));

    RootPtr created = NewRoot();
    created->GetProperty("A.y", true);
    CVLProperty* pCreatedA = created->FindChild("A");
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { pCreatedA->CreateChild("x"); }));
    pCreatedA->CreateChild("z");
    EXPECT_EQ("x,P,B,V,y,z", Names(pCreatedA));

    RootPtr emptied = NewRoot();
    emptied->GetProperty("A.y", true);
    emptied->FindChild("A")->RemoveAll();
    EXPECT_EQ(0, emptied->FindChild("A")->GetChildCount());
    EXPECT_EQ(nullptr, emptied->GetProperty("A.x", false));
    EXPECT_EQ("", Names(emptied->FindChild("A")));

    // A walk through a const node lists every declared child too.
    RootPtr walked = NewRoot();
    walked->GetProperty("A.y", true);
    const CVLProperty* pWalkedA = walked->FindChild("A");
    std::string strWalked;
    for (CVLPropertyConstIterator it = pWalkedA->ConstBegin(); !it.IsEnd(); it.Next())
        strWalked += Bytes(it.Get()->GetName()) + ",";
    EXPECT_EQ("x,P,B,V,y,", strWalked);
}

// Declared children not built dump as a full expansion builds them: an
// auto or variable one without the children it declares.
TEST_F(PropertyLazyTest, UnbuiltChildrenDumpAsAFullExpansionBuildsThem)
{
    RootPtr lazy = NewRoot();
    RootPtr full = NewRoot();
    Reach(lazy.get(), "A.x", false, false);
    Reach(full.get(), "A.x", false, true);
    EXPECT_EQ(Dump(full.get()), Dump(lazy.get()));
    EXPECT_NE(std::string::npos, Dump(lazy.get()).find("\t\tB=[<Empty>]\n\t\tV=[<Empty>]\n")) << Dump(lazy.get());
}

// A declared name that a full expansion cannot build (a dot would split
// its path) fails when the tree is bound, as a full expansion fails, not
// when a path first reaches it.
TEST_F(PropertyLazyTest, ADottedDeclaredNameIsRefusedAtBinding)
{
    CTestStream stream("<PropertyRoot><Property name=\"P\"><Property name=\"a.b\"/></Property></PropertyRoot>");
    CVLXmlDocument doc;
    doc.Load(&stream);
    RootPtr root(m_Api.NewProperty(nullptr));
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { root->SetDefinition(doc.GetDocumentElement()); }));
}

// The shipped device tree: a record that writes one field of one function
// builds the three nodes of its path, not every function's nor the other
// declared nodes.
TEST_F(PropertyLazyTest, AnUnreadAutoNodeBuildsNoChildren)
{
    std::string strXml = TestShippedDefinition("PropertyRoot.xml");
    ASSERT_NE("", strXml) << "the shipped definitions cannot be read";
    CVLXmlDocument doc;
    CTestStream stream(strXml);
    doc.Load(&stream);
    RootPtr root = NewRoot(doc);
    EXPECT_EQ(1, root->GetNodeCount());
    EXPECT_EQ(8, root->GetChildCount());

    root->GetProperty("VLPC.2B_5A01_01.ModelName", true)->SetString(CVLString("M", VL_CHARSET_UTF8));
    EXPECT_EQ(4, root->GetNodeCount());
    EXPECT_EQ(10, root->FindChild("VLPC")->GetChildCount());
    EXPECT_EQ(12, root->GetProperty("VLPC.2B_5A01_01", false)->GetChildCount());
    std::string strDump = Dump(root.get());
    EXPECT_NE(std::string::npos, strDump.find("\t\t2B_5A30_01=[<Empty>]\n"));
    EXPECT_NE(std::string::npos, strDump.find("\tLAN=[<Empty>]\n\t\tUnicastFlag=[<Empty>]\n"));
    EXPECT_NE(std::string::npos, strDump.find("\t\t\tModelName=[M]"));
    EXPECT_EQ(4, root->GetNodeCount());
}

}  // namespace
