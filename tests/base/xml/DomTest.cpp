#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"
#include "base/xml/VLXmlDocument.h"
#include "base/xml/VLXmlException.h"
#include "tests/support/XmlTestStream.h"

namespace {

// Runs f and returns the XML error code it throws (0 when none).
template <class F>
int XmlError(F f)
{
    try {
        f();
    } catch (EVLXmlException* e) {
        int n = e->GetXmlErrorCode();
        e->Delete();
        return n;
    } catch (EVLException* e) {
        e->Delete();
        return -1;
    }
    return 0;
}

std::string Xml(const IVLXmlNode* p)
{
    return Bytes(p->GetXml(false));
}

}  // namespace

TEST(XmlDom, NamesPrefixesAndNamespaces)
{
    CVLXmlDocument doc;
    CVLXmlElement* a = doc.CreateElement("a:b");
    EXPECT_EQ("a", Bytes(a->GetPrefix()));
    EXPECT_EQ("b", Bytes(a->GetLocalName()));
    a->SetNodeName(":b");
    EXPECT_EQ("", Bytes(a->GetPrefix()));
    EXPECT_EQ("b", Bytes(a->GetLocalName()));
    a->SetNodeName("a:b:c");
    EXPECT_EQ("b:c", Bytes(a->GetLocalName()));
    a->SetNodeName("x");
    a->SetPrefix("p");
    EXPECT_EQ("p:x", Bytes(a->GetNodeName()));
    a->SetNodeName("q:x");
    a->SetPrefix("p");
    EXPECT_EQ("p:x", Bytes(a->GetNodeName()));
    a->SetPrefix("");
    EXPECT_EQ("x", Bytes(a->GetNodeName()));
    a->Delete();

    CVLXmlElement* root = doc.CreateElement("r");
    doc.AppendChild(root);
    root->SetAttribute("xmlns:p", "U");
    root->SetAttribute("xmlns", "D");
    CVLXmlElement* pe = doc.CreateElement("p:e");
    root->AppendChild(pe);
    CVLXmlElement* plain = doc.CreateElement("f");
    pe->AppendChild(plain);
    EXPECT_EQ("U", Bytes(pe->GetNamespaceURI()));
    EXPECT_EQ("D", Bytes(plain->GetNamespaceURI()));
    EXPECT_EQ("", Bytes(root->GetAttributeNode("xmlns")->GetNamespaceURI()));
    CVLXmlElement* lone = doc.CreateElement("q:z");
    EXPECT_EQ("", Bytes(lone->GetNamespaceURI()));
    lone->Delete();
}

TEST(XmlDom, AttributesKeepOrderAndTypes)
{
    CVLXmlDocument doc;
    CVLXmlElement* e = doc.CreateElement("e");
    doc.AppendChild(e);
    e->SetAttribute("a", "1");
    e->SetAttribute("b", "2");
    e->SetAttribute("a", "3");
    EXPECT_EQ("<e a=\"3\" b=\"2\"/>", Xml(e));
    EXPECT_EQ(7, e->GetAttributeLong("missing", 7));
    e->SetAttribute("n", "");
    EXPECT_EQ(7, e->GetAttributeLong("n", 7));
    e->SetAttribute("n", "x1");
    EXPECT_EQ(7, e->GetAttributeLong("n", 7));
    e->SetAttribute("n", "12");
    EXPECT_EQ(12, e->GetAttributeLong("n", 7));
    // Wider values clamp to the type's range instead of wrapping.
    e->SetAttribute("n", "99999999999");
    EXPECT_EQ(INT32_MAX, e->GetAttributeLong("n", 7));
    e->SetAttribute("n", "-99999999999");
    EXPECT_EQ(INT32_MIN, e->GetAttributeLong("n", 7));
    e->SetAttribute("n", "-2147483648");
    EXPECT_EQ(INT32_MIN, e->GetAttributeLong("n", 7));
    e->SetAttribute("t", "TRUE");
    EXPECT_TRUE(e->GetAttributeBool("t", false));
    EXPECT_TRUE(e->GetAttributeBool("missing", true));
    EXPECT_EQ(4, XmlError([&] { e->SetAttribute(nullptr, "x"); }));
    EXPECT_EQ(4, XmlError([&] { e->SetAttribute("x", nullptr); }));
    EXPECT_EQ(4, XmlError([&] { e->GetAttributeNode(nullptr); }));
    EXPECT_EQ(nullptr, e->RemoveAttribute("missing"));
    EXPECT_NE(nullptr, e->RemoveAttribute("b"));
    EXPECT_EQ(nullptr, e->GetAttributeNode("b"));

    CVLXmlElement* other = doc.CreateElement("e");
    other->SetOwnerDocument(nullptr);
    EXPECT_EQ(4, XmlError([&] { other->SetAttribute("a", "1"); }));
    other->Delete();

    CVLXmlElement* x = doc.CreateElement("e");
    CVLXmlElement* y = doc.CreateElement("e");
    x->SetAttribute("a", "1");
    x->SetAttribute("b", "2");
    y->SetAttribute("b", "2");
    y->SetAttribute("a", "1");
    EXPECT_FALSE(x->IsEqualNode(y));
    EXPECT_FALSE(x->IsEqualNode(nullptr));
    y->RemoveAttribute("b");
    y->SetAttribute("b", "2");
    EXPECT_TRUE(x->IsEqualNode(y));
    x->Delete();
    y->Delete();
}

TEST(XmlDom, ManyAttributesUseTheIndex)
{
    CVLXmlDocument doc;
    CVLXmlElement* e = doc.CreateElement("e");
    for (int i = 0; i < 100; ++i)
        e->SetAttribute(("a" + std::to_string(i)).c_str(), std::to_string(i).c_str());
    e->SetAttribute("a50", "x");
    EXPECT_EQ(100, e->GetAttributes()->GetLength());
    EXPECT_EQ("x", Bytes(e->GetAttribute("a50")));
    EXPECT_EQ("a50", Bytes(e->GetAttributes()->Item(50)->GetNodeName()));
    e->GetAttributeNode("a7")->SetNodeName("renamed");
    EXPECT_EQ(nullptr, e->GetAttributeNode("a7"));
    EXPECT_EQ("7", Bytes(e->GetAttribute("renamed")));
    EXPECT_NE(nullptr, e->RemoveAttribute("renamed"));
    EXPECT_EQ(99, e->GetAttributes()->GetLength());
    e->Delete();
}

TEST(XmlDom, OwnershipFaultsAreRefusedOrHarmless)
{
    CVLXmlDocument doc;
    CVLXmlElement* root = doc.CreateElement("r");
    doc.AppendChild(root);
    CVLXmlElement* child = doc.CreateElement("c");
    root->AppendChild(child);
    CVLXmlElement* grand = doc.CreateElement("g");
    child->AppendChild(grand);

    // Replacing a node with itself keeps it.
    EXPECT_EQ(child, root->ReplaceChild(child, child));
    EXPECT_EQ(child, root->GetChildNodes()->Item(0));
    // Appending to itself, to a descendant, twice, or null.
    EXPECT_EQ(4, XmlError([&] { root->AppendChild(root); }));
    EXPECT_EQ(4, XmlError([&] { grand->AppendChild(root); }));
    EXPECT_EQ(4, XmlError([&] { root->AppendChild(child); }));
    EXPECT_EQ(4, XmlError([&] { root->PrependChild(grand); }));
    EXPECT_EQ(4, XmlError([&] { root->AppendChild(nullptr); }));
    EXPECT_EQ(4, XmlError([&] { root->ReplaceChild(root, child); }));
    EXPECT_EQ(4, XmlError([&] { root->AppendChild(&doc); }));
    EXPECT_EQ(1, root->GetChildNodes()->GetLength());

    // The replacement gets its parent.
    CVLXmlElement* fresh = doc.CreateElement("f");
    EXPECT_NE(nullptr, root->ReplaceChild(fresh, child));
    EXPECT_EQ(root, fresh->GetParentNode());
    EXPECT_EQ("<r><f/></r>", Xml(root));
    CVLXmlElement* stray = doc.CreateElement("s");
    EXPECT_EQ(nullptr, root->ReplaceChild(stray, stray));
    EXPECT_EQ(nullptr, root->ReplaceChild(stray, root));
    stray->Delete();

    // An attribute set again through its node stays; a stored one cannot move.
    root->SetAttribute("a", "1");
    IVLXmlNode* attr = root->GetAttributeNode("a");
    EXPECT_EQ(nullptr, root->SetAttributeNode(attr));
    EXPECT_EQ("1", Bytes(root->GetAttribute("a")));
    EXPECT_EQ(4, XmlError([&] { fresh->SetAttributeNode(attr); }));
    EXPECT_EQ(4, XmlError([&] { fresh->AppendChild(attr); }));
    EXPECT_EQ(4, XmlError([&] { root->SetAttributeNode(nullptr); }));
    // Renaming a stored attribute moves its entry; the old name is gone.
    attr->SetNodeName("b");
    EXPECT_EQ(nullptr, root->GetAttributeNode("a"));
    EXPECT_EQ(attr, root->GetAttributeNode("b"));
    root->SetAttribute("a", "2");
    EXPECT_EQ(4, XmlError([&] { attr->SetNodeName("a"); }));
    EXPECT_EQ(nullptr, root->RemoveAttribute("c"));
    EXPECT_NE(nullptr, root->RemoveAttribute("b"));
    EXPECT_EQ("<r a=\"2\"><f/></r>", Xml(root));

    // Self-assignment, copying and merging into itself or from an ancestor.
    fresh->SetAttribute("k", "v");
    fresh->AppendChild(doc.CreateTextNode("t"));
    *fresh = *fresh;
    EXPECT_EQ("<f k=\"v\">t</f>", Xml(fresh));
    fresh->CopyChildren(*fresh, false);
    EXPECT_EQ("<f k=\"v\">tt</f>", Xml(fresh));
    fresh->CopyChildren(*fresh, true);
    EXPECT_EQ("<f k=\"v\">tt</f>", Xml(fresh));
    fresh->Merge(fresh, nullptr);
    EXPECT_EQ("<f k=\"v\">tt</f>", Xml(fresh));
    fresh->Merge(root, nullptr);
    EXPECT_EQ("<f k=\"v\" a=\"2\">tt<f k=\"v\">tt</f></f>", Xml(fresh));
    *fresh = *root;
    EXPECT_EQ("<r a=\"2\"><f k=\"v\" a=\"2\">tt<f k=\"v\">tt</f></f></r>", Xml(fresh));
    const CVLXmlDocument& self = doc;  // through a reference: the compiler warns of a plain self-assignment
    doc = self;
    EXPECT_EQ(1, doc.GetChildNodes()->GetLength());
    doc.Merge(&doc, "k");
    EXPECT_FALSE(doc.IsEqualNode(nullptr));
    EXPECT_EQ(4, XmlError([&] { doc.GetElementsByTagName(nullptr, nullptr); }));
    EXPECT_EQ(4, XmlError([&] { root->GetElementsByTagName("f", nullptr); }));
    // A result list that owns its nodes would delete the tree's nodes.
    EXPECT_EQ(4, XmlError([&] { doc.GetElementsByTagName("f", root->GetChildNodes()); }));
}

TEST(XmlDom, ChildOperationsAndSearch)
{
    CVLXmlDocument doc;
    CVLXmlElement* root = doc.GetElementByPath("r/a/b", true);
    ASSERT_NE(nullptr, root);
    EXPECT_EQ("<r><a><b/></a></r>", Xml(doc.GetDocumentElement()));
    EXPECT_EQ(nullptr, doc.GetElementByPath("q/a", true));
    CVLXmlElement* r = doc.GetDocumentElement();
    EXPECT_EQ(nullptr, r->GetElementByPath("x/b", false));
    EXPECT_EQ(r->FindChildElement("a"), r->GetElementByPath("a/", false));
    CVLXmlText* t = doc.CreateTextNode("x");
    CVLXmlComment* c = doc.CreateComment("c");
    EXPECT_EQ(nullptr, t->AppendChild(c));
    c->Delete();
    r->PrependChild(t);
    EXPECT_EQ(t, r->GetFirstTextNode());
    r->SetText("y");
    EXPECT_EQ("y", Bytes(r->GetText()));
    r->SetText("");
    EXPECT_EQ(nullptr, r->GetFirstTextNode());
    r->SetText("z");
    EXPECT_EQ("<r><a><b/></a>z</r>", Xml(r));

    CVLXmlElement* list = doc.CreateElement("l");
    r->AppendChild(list);
    for (int i = 0; i < 6; ++i) {
        CVLXmlElement* item = doc.CreateElement("i");
        item->SetAttribute("id", std::to_string(i % 3 + 4).c_str());
        list->AppendChild(item);
        CVLXmlElement* inner = doc.CreateElement("i");
        inner->SetAttribute("id", "5");
        item->AppendChild(inner);
    }
    CVLXmlNodeList found(false);
    doc.GetElementsByTagName("i", &found);
    EXPECT_EQ(12, found.GetLength());
    EXPECT_EQ("4", Bytes(static_cast<CVLXmlElement*>(found.Item(0))->GetAttribute("id")));
    EXPECT_EQ(list->GetChildNodes()->Item(0), list->FindChildElementByAttribute("i", "id", "4"));
    EXPECT_EQ(list->GetChildNodes()->Item(1), list->FindChildElementByAttribute("i", "id", "5"));
    doc.RemoveElementsByAttribute("id", "5", 4);
    EXPECT_EQ("<l><i id=\"4\"/><i id=\"6\"/><i id=\"4\"/><i id=\"6\"/></l>", Xml(list));
    doc.RemoveElementsByAttribute("id", "5", 3);
    EXPECT_EQ("<l><i id=\"4\"/><i id=\"4\"/></l>", Xml(list));
    EXPECT_NE(nullptr, r->RemoveChild(list));
    EXPECT_EQ("<r><a><b/></a>z</r>", Xml(r));
}

TEST(XmlDom, MergeByKey)
{
    CVLXmlDocument a, b;
    a.GetElementByPath("r", true)->SetAttribute("v", "1");
    CVLXmlElement* ra = a.GetDocumentElement();
    CVLXmlElement* x = a.CreateElement("x");
    x->SetAttribute("id", "1");
    ra->AppendChild(x);
    CVLXmlElement* rb = b.GetElementByPath("r", true);
    rb->SetAttribute("w", "2");
    CVLXmlElement* y = b.CreateElement("x");
    y->SetAttribute("id", "1");
    y->SetAttribute("z", "3");
    rb->AppendChild(y);
    CVLXmlElement* y2 = b.CreateElement("x");
    y2->SetAttribute("id", "2");
    rb->AppendChild(y2);
    rb->AppendChild(b.CreateComment("c"));
    a.Merge(&b, "id");
    EXPECT_EQ("<r v=\"1\" w=\"2\"><x id=\"1\" z=\"3\"/><x id=\"2\"/><!--c--></r>", Xml(ra));
    EXPECT_EQ(&a, ra->FindChildElementByAttribute("x", "id", "2")->GetOwnerDocument());
    CVLXmlDocument empty;
    empty.Merge(&b, "id");
    EXPECT_TRUE(empty.GetDocumentElement()->IsEqualNode(rb));
}

TEST(XmlDom, ListsMapsAndIterators)
{
    CVLXmlDocument doc;
    CVLXmlNodeList list(true);
    EXPECT_EQ(2, XmlError([&] { list.Item(0); }));
    IVLXmlNode* a = list.Append(doc.CreateTextNode("a"));
    IVLXmlNode* b = list.Prepend(doc.CreateTextNode("b"));
    EXPECT_EQ(b, list.Item(0));
    EXPECT_EQ(a, list.Item(list.GetLength() - 1));
    EXPECT_EQ(2, XmlError([&] { list.Item(-1); }));
    EXPECT_EQ(2, XmlError([&] { list.Item(2); }));
    CVLXmlText* n = doc.CreateTextNode("n");
    CVLXmlText* out = doc.CreateTextNode("o");
    EXPECT_EQ(nullptr, list.Replace(n, out));
    EXPECT_NE(nullptr, list.Replace(n, a));
    EXPECT_EQ(n, list.Item(1));
    EXPECT_EQ(4, XmlError([&] { list.Remove(nullptr); }));
    EXPECT_EQ(4, XmlError([&] { list.Replace(nullptr, n); }));
    EXPECT_EQ(nullptr, list.Remove(out));
    out->Delete();

    CVLXmlNodeList other(false);
    other.Append(n);
    other.Append(b);
    EXPECT_FALSE(list.IsEqual(other));
    other.Clear();
    other.Append(b);
    other.Append(n);
    EXPECT_TRUE(list.IsEqual(other));
    other.Clear();  // not owning: the nodes live on
    EXPECT_EQ(2, list.GetLength());

    CVLXmlNodeIterator it = list.Begin();
    it.Insert(doc.CreateTextNode("first"));
    EXPECT_EQ("first", Bytes(it.Get()->GetNodeValue()));
    it.Next();
    it.Erase();  // b
    EXPECT_EQ(n, it.Get());
    it.Next();
    EXPECT_TRUE(it.IsEnd());
    it.Next();
    EXPECT_TRUE(it.IsEnd());
    EXPECT_EQ(nullptr, it.Get());
    it.Insert(doc.CreateTextNode("last"));
    EXPECT_EQ(3, list.GetLength());
    it.Insert(nullptr);
    EXPECT_EQ(3, list.GetLength());
    CVLXmlNodeConstIterator none;
    EXPECT_TRUE(none.IsEnd());
    EXPECT_EQ(nullptr, none.Get());

    CVLXmlNamedNodeMap map(true);
    CVLXmlAttribute* refused = doc.CreateAttribute("x");
    EXPECT_EQ(nullptr, map.Append(refused));
    EXPECT_EQ(0, map.GetLength());
    refused->Delete();
    CVLXmlAttribute* x1 = doc.CreateAttribute("x");
    CVLXmlAttribute* y1 = doc.CreateAttribute("y");
    CVLXmlAttribute* x2 = doc.CreateAttribute("x");
    EXPECT_EQ(nullptr, map.SetNamedItem(x1));
    EXPECT_EQ(nullptr, map.SetNamedItem(y1));
    EXPECT_NE(nullptr, map.SetNamedItem(x2));
    EXPECT_EQ(x2, map.Item(0));
    EXPECT_EQ(x2, map.GetNamedItem("x"));
    EXPECT_EQ(nullptr, map.RemoveNamedItem("z"));
    EXPECT_EQ(4, XmlError([&] { map.GetNamedItem(nullptr); }));
    EXPECT_EQ(nullptr, map.Prepend(y1));
    EXPECT_EQ(2, map.GetLength());
    CVLXmlNodeIterator mit = map.Begin();
    mit.Erase();
    EXPECT_EQ(nullptr, map.GetNamedItem("x"));
    EXPECT_NE(nullptr, map.Remove(y1));
    EXPECT_EQ(nullptr, map.GetNamedItem("y"));
    EXPECT_EQ(0, map.GetLength());
}

TEST(XmlDom, ExceptionText)
{
    CVLXmlDocument doc;
    CVLXmlElement* b = doc.CreateElement("b");
    EVLXmlException e(VLSTD_MODULE, "VLXmlDocument", 434, 5, 1, "in.xml", b);
    EXPECT_EQ("EVLXmlException: Xml error code=5 : Parser error code=1(PXP_SYNTAX_ERROR) : in.xml : <b/>",
              Bytes(e.ToString()));
    EVLXmlException f(VLSTD_MODULE, "VLXmlNodeList", 47, 2, 0, nullptr, nullptr);
    EXPECT_EQ("EVLXmlException: Xml error code=2", Bytes(f.ToString()));
    EXPECT_EQ("EVLXmlException", Bytes(f.GetClassName()));
    EXPECT_STREQ("Unknown", EVLXmlException::GetParserErrorName(9));
    b->Delete();
}

TEST(XmlDom, LargeListsGrowShrinkAndRefill)
{
    CVLXmlDocument doc;
    CVLXmlElement* r = doc.CreateElement("r");
    doc.AppendChild(r);
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 1000; ++i) {
            CVLXmlElement* c = doc.CreateElement("c");
            c->SetAttribute("n", std::to_string(i).c_str());
            r->AppendChild(c);
        }
        CVLXmlNodeIterator it = r->GetChildNodes()->Begin();
        for (int i = 0; !it.IsEnd(); ++i) {
            if (i % 2 == 0)
                it.Erase();
            else
                it.Next();
        }
        ASSERT_EQ(500, r->GetChildNodes()->GetLength());
        EXPECT_EQ("1", Bytes(static_cast<CVLXmlElement*>(r->GetChildNodes()->Item(0))->GetAttribute("n")));
        EXPECT_EQ("999", Bytes(static_cast<CVLXmlElement*>(r->GetChildNodes()->Item(499))->GetAttribute("n")));
        if (round < 2)
            r->GetChildNodes()->Clear();
    }
    CVLXmlNodeList found(false);
    doc.GetElementsByTagName("c", &found);
    EXPECT_EQ(500, found.GetLength());
}

namespace {

// A chain of nDepth elements named "e" built from the bottom up (so that
// every append checks only a short ancestor line); the deepest holds text.
CVLXmlElement* DeepChain(CVLXmlDocument& doc, int nDepth)
{
    CVLXmlElement* pTop = doc.CreateElement("e");
    pTop->SetAttribute("k", "v<");
    pTop->SetText("x&");
    for (int i = 1; i < nDepth; ++i) {
        CVLXmlElement* pParent = doc.CreateElement("e");
        pParent->AppendChild(pTop);
        pTop = pParent;
    }
    return pTop;
}

}  // namespace

TEST(XmlDom, TreesDeeperThanTheStackAreWrittenAndDeleted)
{
    const int kDepth = 200000;
    std::string expected;
    for (int i = 1; i < kDepth; ++i)
        expected += "<e>";
    expected += "<e k=\"v&lt;\">x&amp;</e>";
    for (int i = 1; i < kDepth; ++i)
        expected += "</e>";
    {
        CVLXmlDocument doc;
        doc.AppendChild(DeepChain(doc, kDepth));
        CTestStream out;
        doc.Save(&out);
        EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?>" + expected, out.m_Data);
        // Without a document's escaping, through GetXml.
        CVLXmlElement* pRoot = doc.GetDocumentElement();
        std::string unescaped = expected;
        unescaped.replace(unescaped.find("v&lt;"), 5, "v<");
        unescaped.replace(unescaped.find("x&amp;"), 6, "x&");
        EXPECT_EQ(unescaped, Xml(pRoot));
    }  // the document deletes the whole chain
    {
        CVLXmlDocument doc;
        CVLXmlElement* pRoot = doc.CreateElement("root");
        doc.AppendChild(pRoot);
        pRoot->AppendChild(doc.CreateComment("c"));
        CVLXmlElement* pChain = DeepChain(doc, kDepth);
        pRoot->AppendChild(pChain);
        pRoot->AppendChild(doc.CreateTextNode("t"));
        EXPECT_NE(nullptr, pRoot->RemoveChild(pChain));
        EXPECT_EQ("<root><!--c-->t</root>", Xml(pRoot));
        pRoot->AppendChild(DeepChain(doc, kDepth));
        pRoot->Clear();
        EXPECT_EQ(0, pRoot->GetChildNodes()->GetLength());
    }
    // A chain that never entered a tree goes through Delete.
    CVLXmlDocument doc;
    DeepChain(doc, kDepth)->Delete();
}

TEST(XmlDom, NestedWritingKeepsLayout)
{
    CVLXmlDocument doc;
    CTestStream in("<a><b><c/>t<d><e/></d></b><!--n--><f>u</f><g/></a>");
    doc.Load(&in);
    doc.SetFormat(true);
    doc.SetLineEndText("\n");
    doc.SetIndentText(" ");
    CTestStream out;
    doc.Save(&out);
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a>\n <b><c/>t<d>\n   <e/>\n  </d></b>\n <!--n-->\n <f>u</f>\n "
              "<g/>\n</a>\n",
              out.m_Data);
}

// Every comparison code of RemoveElementsByAttribute: the value is compared
// with the attribute's, and elements without the attribute stay.
TEST(XmlDom, RemoveElementsByAttributeEveryCode)
{
    const char* const kExpect[] = {"<l><i v=\"5\"/><i v=\"7\"/><i/></l>", "<l><i v=\"3\"/><i v=\"5\"/><i/></l>",
                                   "<l><i v=\"7\"/><i/></l>",             "<l><i v=\"3\"/><i/></l>",
                                   "<l><i v=\"3\"/><i v=\"7\"/><i/></l>", "<l><i v=\"5\"/><i/></l>",
                                   "<l><i v=\"3\"/><i v=\"5\"/><i v=\"7\"/><i/></l>"};
    for (int nCode = 0; nCode <= 6; ++nCode) {
        CVLXmlDocument doc;
        CVLXmlElement* pList = doc.CreateElement("l");
        doc.AppendChild(pList);
        for (const char* sz : {"3", "5", "7", ""}) {
            CVLXmlElement* pItem = doc.CreateElement("i");
            if (*sz != 0)
                pItem->SetAttribute("v", sz);
            pList->AppendChild(pItem);
        }
        doc.RemoveElementsByAttribute("v", "5", nCode);
        EXPECT_EQ(kExpect[nCode], Xml(pList)) << nCode;
    }
}

// Copying, importing and comparing deep trees built in code work level by
// level, not by recursion.
TEST(XmlDom, DeepTreesAreCopiedAndCompared)
{
    const int kDepth = 200000;
    CVLXmlDocument doc;
    doc.AppendChild(DeepChain(doc, kDepth));
    CVLXmlDocument copy;
    copy = doc;
    EXPECT_TRUE(copy.IsEqualNode(&doc));
    EXPECT_TRUE(doc.IsEqualNode(&copy));
    IVLXmlNode* pImported = copy.ImportNode(doc.GetDocumentElement());
    EXPECT_TRUE(pImported->IsEqualNode(doc.GetDocumentElement()));
    EXPECT_EQ(nullptr, pImported->GetParentNode());
    // A difference at the bottom is found.
    IVLXmlNode* pLeaf = pImported;
    while (pLeaf->GetChildNodes()->GetLength() > 0 &&
           pLeaf->GetChildNodes()->Item(0)->GetNodeType() == VLXML_NODE_ELEMENT)
        pLeaf = pLeaf->GetChildNodes()->Item(0);
    EXPECT_EQ("v<", Bytes(static_cast<CVLXmlElement*>(pLeaf)->GetAttribute("k")));
    EXPECT_EQ("x&", Bytes(static_cast<CVLXmlElement*>(pLeaf)->GetText()));
    static_cast<CVLXmlElement*>(pLeaf)->SetAttribute("k", "w");
    EXPECT_FALSE(pImported->IsEqualNode(doc.GetDocumentElement()));
    pImported->Delete();
    // Searching and removing walk them the same way.
    CVLXmlNodeList found(false);
    doc.GetElementsByTagName("e", &found);
    EXPECT_EQ(kDepth, found.GetLength());
    copy.RemoveElementsByAttribute("k", "v<", 4);
    CVLXmlNodeList left(false);
    copy.GetElementsByTagName("e", &left);
    EXPECT_EQ(kDepth - 1, left.GetLength());
    // Merging two deep chains goes all the way down.
    CVLXmlDocument merged;
    merged.AppendChild(DeepChain(merged, kDepth));
    CVLXmlElement* pMergedLeaf = merged.GetDocumentElement();
    while (pMergedLeaf->FindChildElement("e") != nullptr)
        pMergedLeaf = pMergedLeaf->FindChildElement("e");
    pMergedLeaf->SetAttribute("k", "old");
    pMergedLeaf->SetAttribute("only", "here");
    merged.Merge(&doc, "");
    EXPECT_EQ("v<", Bytes(pMergedLeaf->GetAttribute("k")));
    EXPECT_EQ("here", Bytes(pMergedLeaf->GetAttribute("only")));
    EXPECT_EQ(2, pMergedLeaf->GetChildNodes()->GetLength());  // its text and the merged one
}

// The element's escaped save is an operation of its own: through the node
// interface SaveXml still means the shallow or the whole unescaped form.
TEST(XmlDom, ElementSaveAndNodeSaveStayApart)
{
    CVLXmlDocument doc;
    CVLXmlElement* e = doc.CreateElement("e");
    doc.AppendChild(e);
    e->SetAttribute("a", "<");
    e->AppendChild(doc.CreateElement("c"));
    IVLXmlNode* pNode = e;
    CTestStream shallow, deep, escaped;
    pNode->SaveXml(&shallow, true);
    EXPECT_EQ("<e a=\"<\"/>", shallow.m_Data);
    pNode->SaveXml(&deep, false);
    EXPECT_EQ("<e a=\"<\"><c/></e>", deep.m_Data);
    e->SaveElementXml(&escaped, true);
    EXPECT_EQ("<e a=\"&lt;\"><c/></e>", escaped.m_Data);
}
