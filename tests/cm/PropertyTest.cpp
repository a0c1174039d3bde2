#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "base/core/VLCharset.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLNullObjectException.h"
#include "base/xml/VLXmlDocument.h"
#include "cm/VLCMApi.h"
#include "cm/VLModuleController.h"
#include "cm/VLProperty.h"
#include "cm/VLPropertyCollection.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XmlTestStream.h"

namespace {

struct RootDeleter
{
    void operator()(CVLProperty* p) const { p->Destroy(); }
};
typedef std::unique_ptr<CVLProperty, RootDeleter> RootPtr;

class PropertyTest : public ::testing::Test
{
protected:
    RootPtr NewRoot() { return RootPtr(m_Api.GetModuleController()->NewRootProperty()); }

    // Child names of p in iteration order, joined by ",".
    static std::string Names(CVLProperty* p)
    {
        std::string s;
        for (CVLPropertyIterator it = p->Begin(); !it.IsEnd(); it.Next()) {
            if (!s.empty())
                s += ",";
            s += Bytes(it.Get()->GetName());
        }
        return s;
    }

    CVLCMApi m_Api;
};

TEST_F(PropertyTest, PathRules)
{
    RootPtr root = NewRoot();
    EXPECT_EQ(nullptr, root->GetProperty("", true));
    EXPECT_EQ(nullptr, root->GetProperty(nullptr, true));
    EXPECT_EQ(nullptr, root->GetProperty(".a", true));
    EXPECT_EQ(0, root->GetChildCount());
    EXPECT_EQ(nullptr, root->GetProperty("a", false));
    EXPECT_EQ(0, root->GetChildCount());

    CVLProperty* pModel = root->GetProperty("VLPC.03_0000_01.ModelName", true);
    ASSERT_NE(nullptr, pModel);
    EXPECT_EQ("ModelName", Bytes(pModel->GetName()));
    EXPECT_EQ(pModel, root->GetProperty("VLPC.03_0000_01.ModelName", false));
    EXPECT_EQ(pModel, root->GetProperty("VLPC.03_0000_01.ModelName.", false));
    EXPECT_EQ(pModel, root->FindChild("VLPC")->FindChild("03_0000_01")->FindChild("ModelName"));
    EXPECT_EQ(".VLPC.03_0000_01.ModelName", Bytes(pModel->GetFullPath()));
    EXPECT_EQ("", Bytes(root->GetFullPath()));
    EXPECT_EQ(nullptr, root->GetProperty("VLPC.03_0000_0", false));

    // A double dot creates the segments before it and stops there.
    EXPECT_EQ(nullptr, root->GetProperty("x.y..z", true));
    ASSERT_NE(nullptr, root->GetProperty("x.y", false));
    EXPECT_EQ(0, root->GetProperty("x.y", false)->GetChildCount());
}

TEST_F(PropertyTest, ChildNamingAndOrder)
{
    RootPtr root = NewRoot();
    root->CreateChild("c");
    root->CreateChild("a");
    root->CreateChild("b");
    EXPECT_EQ("c,a,b", Names(root.get()));
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { root->CreateChild("a"); }));
    EXPECT_EQ(3, root->GetChildCount());

    RootPtr other = NewRoot();
    EXPECT_EQ("0", Bytes(other->CreateChild(nullptr)->GetName()));
    EXPECT_EQ("1", Bytes(other->CreateChild("")->GetName()));
    EXPECT_EQ("2", Bytes(other->CreateChild("")->GetName()));
    other->RemoveChild("0");
    other->RemoveChild("missing");
    // The count is 2 again and "2" is taken.
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { other->CreateChild(""); }));

    // A renamed child keeps its key.
    CVLProperty* pA = root->FindChild("a");
    pA->SetName("renamed");
    EXPECT_EQ(pA, root->FindChild("a"));
    EXPECT_EQ("renamed", Bytes(pA->GetName()));
}

TEST_F(PropertyTest, DottedNamesAreRefused)
{
    RootPtr root = NewRoot();
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { root->CreateChild("a.b"); }));
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { root->CreateChild("."); }));
    EXPECT_EQ(0, root->GetChildCount());
    CVLProperty* pChild = root->CreateChild("a");
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { pChild->SetName("x.y"); }));
    EXPECT_EQ("a", Bytes(pChild->GetName()));
}

TEST_F(PropertyTest, DepthIsBounded)
{
    RootPtr root = NewRoot();
    std::string strPath = "n";
    for (int i = 1; i < VLCM_PROPERTY_MAX_DEPTH; ++i)
        strPath += ".n";
    CVLProperty* pDeepest = root->GetProperty(strPath.c_str(), true);
    ASSERT_NE(nullptr, pDeepest);
    EXPECT_EQ(VLCM_PROPERTY_MAX_DEPTH, pDeepest->GetDepth());
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { pDeepest->CreateChild("one_more"); }));

    // A path from the network thousands of segments long: refused, no crash,
    // and the tree stays within the bound.
    std::string strLong = "m";
    for (int i = 0; i < 5000; ++i)
        strLong += ".m";
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { root->GetProperty(strLong.c_str(), true); }));
    EXPECT_EQ(nullptr, root->GetProperty(strLong.c_str(), false));
    CVLString strDump = root->Dump(0, nullptr);
    EXPECT_GT(strDump.GetLength(), 0);
}

TEST_F(PropertyTest, ValuesAndSubtreeState)
{
    RootPtr root = NewRoot();
    CVLProperty* pA = root->GetProperty("a.x", true);
    CVLProperty* pB = root->GetProperty("b", true);
    EXPECT_TRUE(root->IsEmpty());
    EXPECT_FALSE(root->IsModified());
    pB->SetString(CVLString("", VL_CHARSET_UTF8));
    EXPECT_FALSE(root->IsEmpty());  // an empty text is a value
    pA->SetInt(5);
    EXPECT_TRUE(root->IsModified());
    root->ResetModify();
    EXPECT_FALSE(root->IsModified());
    EXPECT_EQ(5, pA->GetInt());

    root->Clear();
    EXPECT_EQ(VL_VARIANT_TYPE_EMPTY, pA->CVLVariant::GetType());
    EXPECT_EQ(2, root->GetChildCount());
    EXPECT_TRUE(root->IsEmpty());

    CVLProperty* pVar = root->GetProperty("list", true);
    pVar->SetVariable(true);
    pVar->GetProperty("0.name", true)->SetInt(1);
    pVar->SetInt(3);
    pVar->Clear();
    EXPECT_EQ(0, pVar->GetChildCount());
    EXPECT_FALSE(pVar->IsModified());
}

TEST_F(PropertyTest, ObjectInterfaceReadsAndWritesTheNode)
{
    RootPtr root = NewRoot();
    CVLProperty* p = root->GetProperty("v", true);
    p->SetInt(7);
    CVLVariant ref;
    ref.SetObject(p);
    EXPECT_EQ(7, ref.ToInt(0));
    CVLVariant nine;
    nine.SetInt(9);
    ref.SetValue(nine);
    EXPECT_EQ(9, p->GetInt());
    EXPECT_EQ(6, p->GetObjectType());

    // A reference written in stores the value behind it, not the reference.
    {
        CVLVariant temporary;
        temporary.SetInt(11);
        CVLVariant reference;
        reference.SetReference(&temporary);
        ref.SetValue(reference);
    }
    EXPECT_EQ(VL_VARIANT_TYPE_INT, p->CVLVariant::GetType());
    EXPECT_EQ(11, p->GetInt());
}

const char* const s_szPropertyRoot = "<PropertyRoot>"
                                     "<Property name=\"MACAddress\"/>"
                                     "<Property name=\"VLPC\" auto=\"true\">"
                                     "<Property name=\"03_0000_01\"><Property name=\"ModelName\"/></Property>"
                                     "<Property name=\"Lazy\"/>"
                                     "</Property>"
                                     "<Property name=\"List\" variable=\"TRUE\"><Property name=\"never\"/></Property>"
                                     "<Property name=\"Dup\"><Property name=\"d\"/><Property name=\"d\"/></Property>"
                                     "</PropertyRoot>";

TEST_F(PropertyTest, DefinitionExpansion)
{
    CVLXmlDocument doc;
    CTestStream stream(s_szPropertyRoot);
    doc.Load(&stream);
    RootPtr root = NewRoot();
    // The duplicate child of "Dup" stops the binding, after the first "d".
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { root->SetDefinition(doc.GetDocumentElement()); }));
    EXPECT_EQ("MACAddress,VLPC,List,Dup", Names(root.get()));
    EXPECT_EQ("d", Names(root->FindChild("Dup")));

    CVLProperty* pVLPC = root->FindChild("VLPC");
    EXPECT_TRUE(pVLPC->IsAuto());
    EXPECT_EQ(0, pVLPC->GetChildCount());
    EXPECT_EQ(nullptr, pVLPC->FindChild("Lazy"));
    CVLProperty* pModel = root->GetProperty("VLPC.03_0000_01.ModelName", false);
    ASSERT_NE(nullptr, pModel);
    EXPECT_EQ("03_0000_01,Lazy", Names(pVLPC));

    CVLProperty* pList = root->FindChild("List");
    EXPECT_TRUE(pList->IsVariable());
    EXPECT_EQ(0, pList->GetChildCount());
    EXPECT_EQ(nullptr, root->GetProperty("List.never", false));
}

}  // namespace

namespace {

// The project's own device tree definition, as it is shipped.
TEST_F(PropertyTest, ProjectPropertyRootBinds)
{
    std::string strXml = TestShippedDefinition("PropertyRoot.xml");
    ASSERT_NE("", strXml) << "the shipped definitions cannot be read";
    CVLXmlDocument doc;
    CTestStream stream(strXml);
    doc.Load(&stream);
    RootPtr root = NewRoot();
    root->SetDefinition(doc.GetDocumentElement());
    ASSERT_NE(nullptr, root->FindChild("MACAddress"));
    EXPECT_EQ(0, root->FindChild("VLPC")->GetChildCount());
    CVLProperty* pModel = root->GetProperty("VLPC.2B_5A01_01.ModelName", false);
    ASSERT_NE(nullptr, pModel);
    CVLProperty* pServices = root->GetProperty("VLPC.2B_5A01_01.ServiceList", false);
    ASSERT_NE(nullptr, pServices);
    EXPECT_TRUE(pServices->IsVariable());
    pServices->GetProperty("3.Name", true)->SetString(CVLString("lpd", VL_CHARSET_UTF8));
    root->Clear();
    EXPECT_EQ(0, pServices->GetChildCount());
    EXPECT_NE(nullptr, root->GetProperty("VLPC.2B_5A01_01.ModelName", false));
}

}  // namespace
