// The device manager's XML text helpers.
#include <gtest/gtest.h>

#include "base/xml/VLXmlDocument.h"
#include "base/xml/VLXmlElement.h"
#include "ecm/core/VLXMLUtility.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XmlTestStream.h"

TEST(XMLUtility, Builders)
{
    CVLString s("left over", VL_CHARSET_UTF8);
    EXPECT_TRUE(CVLXMLUtility::MakeNodeName(s, "Property", "p"));
    EXPECT_EQ("p:Property", Bytes(s));
    EXPECT_TRUE(CVLXMLUtility::MakeNodeName(s, "Property", nullptr));
    EXPECT_EQ("Property", Bytes(s));
    EXPECT_FALSE(CVLXMLUtility::MakeNodeName(s, "", "p"));
    EXPECT_EQ("", Bytes(s));

    EXPECT_TRUE(CVLXMLUtility::MakeXMLElementTag(s, CVLXMLUtility::XML_TAG_EMPTY, "DummyPrinter", nullptr));
    EXPECT_EQ("<DummyPrinter/>", Bytes(s));
    EXPECT_TRUE(CVLXMLUtility::MakeXMLElementTag(s, CVLXMLUtility::XML_TAG_START_OPEN, "a", "x"));
    EXPECT_EQ("<x:a", Bytes(s));
    EXPECT_TRUE(CVLXMLUtility::MakeXMLElementTag(s, CVLXMLUtility::XML_TAG_END, "a", ""));
    EXPECT_EQ("</a>", Bytes(s));
    EXPECT_FALSE(CVLXMLUtility::MakeXMLElementTag(s, 4, "a", ""));
    EXPECT_FALSE(CVLXMLUtility::MakeXMLElementTag(s, -1, "a", ""));
    EXPECT_FALSE(CVLXMLUtility::MakeXMLElementTag(s, 0, nullptr, ""));

    EXPECT_TRUE(CVLXMLUtility::MakeXMLNamespaceDeclaration(s, "http://h/p", nullptr));
    EXPECT_EQ(" xmlns=\"http://h/p\"", Bytes(s));
    EXPECT_TRUE(CVLXMLUtility::MakeXMLNamespaceDeclaration(s, "http://h/p", "d"));
    EXPECT_EQ(" xmlns:d=\"http://h/p\"", Bytes(s));
    EXPECT_FALSE(CVLXMLUtility::MakeXMLNamespaceDeclaration(s, "", "d"));

    EXPECT_TRUE(CVLXMLUtility::MakeXMLAttribute(s, "path", "", "LAN.UnicastFlag"));
    EXPECT_EQ(" path=\"LAN.UnicastFlag\"", Bytes(s));
    EXPECT_TRUE(CVLXMLUtility::MakeXMLAttribute(s, "v", "p", "a\"b"));
    EXPECT_EQ(" p:v=\"a\"b\"", Bytes(s));
    EXPECT_FALSE(CVLXMLUtility::MakeXMLAttribute(s, nullptr, "", "x"));

    EXPECT_TRUE(CVLXMLUtility::ConvertPredefinedEntities("a&<b>'\"&lt;", s));
    EXPECT_EQ("a&amp;&lt;b&gt;&apos;&quot;&amp;lt;", Bytes(s));
    EXPECT_TRUE(CVLXMLUtility::ConvertPredefinedEntities("", s));
    EXPECT_EQ("", Bytes(s));
    EXPECT_FALSE(CVLXMLUtility::ConvertPredefinedEntities(nullptr, s));
}

TEST(XMLUtility, DeclarationAndMatching)
{
    auto load = [](const std::string& strText, CVLXmlDocument& doc) {
        CTestStream stream(strText);
        doc.Load(&stream);
    };
    CVLXmlDocument good;
    load("<?xml version='1.0' encoding='UTF-8'?><d:List xmlns:d='http://Host/orvek-net/X'><Other/></d:List>", good);
    EXPECT_TRUE(CVLXMLUtility::ValidateXMLDeclaration(good));
    good.GetEncoding() = CVLString("utf-8", VL_CHARSET_UTF8);
    EXPECT_TRUE(CVLXMLUtility::ValidateXMLDeclaration(good));
    good.GetEncoding() = CVLString("utf8", VL_CHARSET_UTF8);
    EXPECT_FALSE(CVLXMLUtility::ValidateXMLDeclaration(good));
    good.GetEncoding() = CVLString("utf-8", VL_CHARSET_UTF8);
    good.GetVersion() = CVLString("1.1", VL_CHARSET_UTF8);
    EXPECT_FALSE(CVLXMLUtility::ValidateXMLDeclaration(good));

    const CVLXmlElement* pRoot = good.GetDocumentElement();
    ASSERT_NE(pRoot, nullptr);
    EXPECT_TRUE(CVLXMLUtility::MatchNode(pRoot, "List", "http://host/ORVEK-NET/x"));
    EXPECT_FALSE(CVLXMLUtility::MatchNode(pRoot, "list", "http://host/orvek-net/x"));
    EXPECT_FALSE(CVLXMLUtility::MatchNode(pRoot, "List", "http://other/orvek-net/x"));
    EXPECT_FALSE(CVLXMLUtility::MatchNode(nullptr, "List", "http://host/orvek-net/x"));
}
