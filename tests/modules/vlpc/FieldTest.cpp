#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "base/core/VLCharset.h"
#include "base/core/VLInvalidParamException.h"
#include "base/xml/VLXmlDocument.h"
#include "cm/VLCMApi.h"
#include "cm/VLDefineFormatException.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "modules/vlpc/VLPCDefs.h"
#include "modules/vlpc/VLPCField.h"
#include "modules/vlpc/VLPCFieldList.h"
#include "modules/vlpc/VLPCFunction.h"
#include "modules/vlpc/VLPCPacket.h"
#include "tests/support/TestSupport.h"
#include "tests/support/modules/VLPCProfileLayouts.h"
#include "tests/support/XmlTestStream.h"

namespace {

std::string Hex(const VL_BYTE* p, int n)
{
    std::string s;
    char sz[4];
    for (int i = 0; i < n; ++i) {
        std::snprintf(sz, sizeof(sz), i ? " %02x" : "%02x", p[i]);
        s += sz;
    }
    return s;
}

std::string HexOf(const CVLByteArray& a)
{
    return Hex(a.GetData(), a.GetSize());
}

class FieldTest : public ::testing::Test
{
protected:
    FieldTest() : m_pTarget(new CVLTarget(&m_Api)) {}
    ~FieldTest() override { delete m_pTarget; }

    // A field list from the Field elements inside <L>...</L>.
    std::unique_ptr<CVLPCFieldList> Fields(const std::string& strXml)
    {
        CTestStream stream("<L>" + strXml + "</L>");
        m_Document.Load(&stream);
        std::unique_ptr<CVLPCFieldList> pList(new CVLPCFieldList());
        pList->Load(nullptr, m_Document.GetDocumentElement());
        return pList;
    }
    CVLProperty* Prop(const char* szPath) { return m_pTarget->GetProperties()->GetProperty(szPath, true); }
    std::string Text(const char* szPath)
    {
        CVLProperty* p = m_pTarget->GetProperties()->GetProperty(szPath, false);
        return p ? Bytes(p->ToString("")) : "<none>";
    }
    // The payload built from the target, as hex.
    std::string Build(CVLPCFieldList& list, CVLTarget* pTarget)
    {
        m_Packet.Clear();
        m_Packet.SetSize(VLPC_HEADER_SIZE);
        long lOffset = VLPC_HEADER_SIZE;
        m_bModified = list.MakePacket(nullptr, &m_Function, &m_Packet, pTarget, nullptr, lOffset);
        EXPECT_EQ(lOffset, m_Packet.GetSize());
        return Hex(m_Packet.GetData() + VLPC_HEADER_SIZE, m_Packet.GetSize() - VLPC_HEADER_SIZE);
    }
    std::string Build(CVLPCFieldList& list) { return Build(list, m_pTarget); }
    // Expands the payload (hex) behind a zero header; returns the running offset.
    long Expand(CVLPCFieldList& list, const std::string& strHex, CVLPCFunction* pFunction = nullptr)
    {
        m_Packet.Clear();
        m_Packet.SetSize(VLPC_HEADER_SIZE);
        unsigned int n;
        int nUsed;
        for (const char* sz = strHex.c_str(); std::sscanf(sz, " %2x%n", &n, &nUsed) == 1; sz += nUsed) {
            VL_BYTE b = static_cast<VL_BYTE>(n);
            m_Packet.Append(&b, 1);
        }
        long lOffset = VLPC_HEADER_SIZE;
        list.ExpandPacket(nullptr, pFunction ? pFunction : &m_Function, &m_Packet, m_pTarget, nullptr, lOffset);
        return lOffset - VLPC_HEADER_SIZE;
    }

    CVLCMApi m_Api;
    CVLTarget* m_pTarget;
    CVLXmlDocument m_Document;
    CVLPCFunction m_Function;
    CVLPCPacket m_Packet;
    bool m_bModified = false;
};

}  // namespace

TEST_F(FieldTest, LoadingRules)
{
    auto list =
        Fields(R"(<Field name="a" type="ushort"/><Field name="b" type="BYTE" terminate="ff"><Field name="c"/></Field>
                          <field name="d" type="Byte"/><Field name="e" type="Mystery" size="3"/>)");
    ASSERT_EQ(3, list->GetCount());
    EXPECT_EQ(VLPC_FIELD_USHORT, list->GetAt(0)->GetType());
    EXPECT_EQ(2, list->GetAt(0)->GetSize());
    EXPECT_EQ(-1, list->GetAt(0)->GetOffset());
    EXPECT_EQ(VLPC_FIELD_BYTE, list->GetAt(1)->GetType());
    EXPECT_TRUE(list->GetAt(1)->HasSubFields());
    EXPECT_EQ(VLPC_FIELD_OTHER, list->GetAt(2)->GetType());
    EXPECT_EQ(3, list->GetAt(2)->GetSize());

    auto refused = [&](const char* szXml, const char* szAttribute) {
        try {
            Fields(szXml);
        } catch (EVLDefineFormatException* e) {
            std::string s = Bytes(e->GetAttributeName());
            e->Delete();
            return s == szAttribute;
        } catch (EVLException* e) {
            e->Delete();
        }
        return false;
    };
    EXPECT_TRUE(refused(R"(<Field type="Byte"/>)", "name"));
    EXPECT_TRUE(refused(R"(<Field name="s" type="String"/>)", "size"));
    EXPECT_TRUE(refused(R"(<Field name="b" type="Byte" size="-2"/>)", "size"));
    // An address field narrower than its address is refused.
    EXPECT_TRUE(refused(R"(<Field name="ip" type="IPV4Address" size="3"/>)", "size"));
    EXPECT_TRUE(refused(R"(<Field name="mac" type="MACAddress" size="5"/>)", "size"));
    // Sizes and offsets beyond a packet would overflow the codec's offsets.
    EXPECT_TRUE(refused(R"(<Field name="o" type="Byte" offset="99999999999"/>)", "offset"));
    EXPECT_TRUE(refused(R"(<Field name="o" type="Byte" offset="499"/>)", "offset"));
    EXPECT_TRUE(refused(R"(<Field name="s" type="ByteArray" size="99999999999"/>)", "size"));
    EXPECT_EQ(498, Fields(R"(<Field name="o" type="Byte" offset="498"/>)")->GetAt(0)->GetOffset());
    std::string strDeep;
    for (int i = 0; i < 40; ++i)
        strDeep = "<Field name=\"n\" type=\"Byte\">" + strDeep + "</Field>";
    EXPECT_TRUE(refused(strDeep.c_str(), "Field"));
}

TEST_F(FieldTest, BuildRulesByType)
{
    auto str = Fields(R"(<Field name="s" type="String" size="8" propertyPath="S"/>)");
    Prop("S")->SetString("ABCDEFGHIJ", VL_CHARSET_UTF8);
    EXPECT_EQ("41 42 43 44 45 46 47 48", Build(*str));
    EXPECT_TRUE(m_bModified);
    Prop("S")->SetString("AB", VL_CHARSET_UTF8);
    EXPECT_EQ("41 42 00 00 00 00 00 00", Build(*str));

    auto text = Fields(
        R"(<Field name="v" type="VarString" propertyPath="T"/><Field name="l" type="LengthString" propertyPath="T"/>
                          <Field name="n" type="NullString" propertyPath="T"/><Field name="p" type="VarStringBytePrefix" propertyPath="T"/>)");
    EXPECT_EQ("00 00 00 02 00 00", Build(*text));
    Prop("T")->SetString("ab", VL_CHARSET_UTF8);
    EXPECT_EQ("00 02 61 62 00 04 61 62 61 62 00 02 61 62", Build(*text));

    auto nums = Fields(R"(<Field name="u" type="ULong"/><Field name="s" type="UShort" propertyPath="N"/>
                          <Field name="l" type="LEUShort" propertyPath="N"/><Field name="b" type="Byte" size="3" propertyPath="N"/>
                          <Field name="w" type="UShort" size="1" propertyPath="N"/>)");
    Prop("N")->SetUShort(0x1234);
    // A field wider than its value is zero-filled; a narrower one takes the
    // value's first bytes.
    EXPECT_EQ("00 00 00 00 12 34 34 12 34 00 00 12", Build(*nums));

    auto addr = Fields(
        R"(<Field name="m" type="MACAddress" propertyPath="M"/><Field name="i" type="IPV4Address" size="6" propertyPath="I"/>
                          <Field name="x" type="Other" size="2"/><Field name="o" type="Byte" offset="20" propertyPath="N"/>)");
    Prop("M")->SetString("00:11:22:AA:BB:CC", VL_CHARSET_UTF8);
    Prop("I")->SetString("10.1.0.10", VL_CHARSET_UTF8);
    EXPECT_EQ("00 11 22 aa bb cc 0a 01 00 0a 00 00 00 00 00 00 00 00 00 00 34", Build(*addr));
}

TEST_F(FieldTest, BuildWithoutTargetOrPropertyWritesZeros)
{
    auto list = Fields(
        R"(<Field name="a" type="ByteArray" size="3" propertyPath="A"/><Field name="m" type="MACAddress" propertyPath="M"/>
                          <Field name="p" type="Password"/><Field name="c" type="CipherKey" propertyPath="C"/>)");
    Prop("A")->SetString("xyz", VL_CHARSET_UTF8);
    EXPECT_EQ("00 00 00 00 00 00 00 00 00 00 00 00 00", Build(*list, nullptr));
    EXPECT_FALSE(m_bModified);
}

TEST_F(FieldTest, BuildRefusesWhatTheWireCannotSay)
{
    auto prefixed = Fields(R"(<Field name="p" type="VarStringBytePrefix" propertyPath="T"/>)");
    Prop("T")->SetString(std::string(256, 'x').c_str(), VL_CHARSET_UTF8);
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { Build(*prefixed); }));
    // Past the 512-byte packet: refused before anything is written.
    auto var = Fields(
        R"(<Field name="v" type="VarString" propertyPath="T"/><Field name="w" type="VarString" propertyPath="T"/>)");
    Prop("T")->SetString(std::string(250, 'x').c_str(), VL_CHARSET_UTF8);
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { Build(*var); }));
    EXPECT_EQ(VLPC_HEADER_SIZE + 252, m_Packet.GetSize());
}

TEST_F(FieldTest, RepeatedListsBuild)
{
    auto list =
        Fields(R"(<Field name="n" type="Byte" propertyPath="L"><Field name="v" type="Byte" propertyPath="V"/></Field>
                          <Field name="t" type="Byte" terminate="FFFF"><Field name="v" type="Byte"/></Field>)");
    CVLProperty* pList = Prop("L");
    for (int i = 0; i < 3; ++i)
        pList->CreateChild(nullptr)->GetProperty("V", true)->SetUChar(static_cast<unsigned char>(0x10 + i));
    pList->SetUChar(2);
    EXPECT_EQ("02 10 11 00 ff ff", Build(*list));
    pList->SetString("many", VL_CHARSET_UTF8);
    EXPECT_EQ("00 00 ff ff", Build(*list));
}

TEST_F(FieldTest, WepKeyInfo)
{
    auto wep = Fields(R"(<Field name="w" type="WEPKeyInfo" propertyPath="W"/>)");
    EXPECT_EQ("00 00 00 00", Build(*wep));
    CVLProperty* pKeys = Prop("W");
    pKeys->CreateChild(nullptr)->SetString("ABCDE", VL_CHARSET_UTF8);
    pKeys->CreateChild(nullptr)->SetLong(7);  // not a key
    pKeys->CreateChild(nullptr)->SetString("0123456789abc", VL_CHARSET_UTF8);
    EXPECT_EQ("00 03 02 05 41 42 43 44 45 30 31 32 33 34", Build(*wep));

    pKeys->RemoveAll();
    CVLProperty* pGroup = pKeys->CreateChild("g");
    pGroup->CreateChild("1")->SetString("11111", VL_CHARSET_UTF8);
    pGroup->CreateChild("3")->SetString("33333", VL_CHARSET_UTF8);
    pGroup->CreateChild("-1")->SetString("nnnnn", VL_CHARSET_UTF8);  // counted, no bit
    pGroup->CreateChild("40")->SetString("fffff", VL_CHARSET_UTF8);  // counted, no bit
    EXPECT_EQ("00 0a 04 05 31 31 31 31 31 33 33 33 33 33 6e 6e 6e 6e 6e 66 66 66 66 66", Build(*wep));

    pKeys->RemoveAll();
    pKeys->CreateChild(nullptr)->SetString(std::string(256, 'k').c_str(), VL_CHARSET_UTF8);
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { Build(*wep); }));
}

TEST_F(FieldTest, PasswordEncodings)
{
    CVLByteArray out;
    CVLPCField::EncodePasswordAs(VLPC_CIPHER_NONE, "secret", out);
    EXPECT_EQ(0, out.GetSize());
    CVLPCField::EncodePasswordAs(VLPC_CIPHER_MD5, "", out);
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", std::string(reinterpret_cast<char*>(out.GetData()), 32));
    EXPECT_EQ(32, out.GetSize());
    CVLPCField::EncodePasswordAs(VLPC_CIPHER_BASE64, "abc", out);
    EXPECT_EQ("YWJj\r\n", std::string(reinterpret_cast<char*>(out.GetData()), out.GetSize()));
    CVLPCField::EncodePasswordAs(VLPC_CIPHER_BASE64, "", out);
    EXPECT_EQ("0d 0a", HexOf(out));
    CVLPCField::EncodePasswordAs(0, "ab", out);
    EXPECT_EQ("61 62", HexOf(out));
    CVLPCField::EncodePasswordAs(7, "ab\0cd", out);
    EXPECT_EQ("61 62", HexOf(out));

    // The field carries the target's current password, not a property.
    auto pw = Fields(R"(<Field name="p" type="Password" propertyPath="P"/>)");
    m_pTarget->SetCurrentPassword("pw");
    Prop("P")->SetString("ignored", VL_CHARSET_UTF8);
    EXPECT_EQ("00 02 70 77", Build(*pw));
    EXPECT_TRUE(m_bModified);
}

TEST_F(FieldTest, ExpandRulesByType)
{
    auto list = Fields(
        R"(<Field name="m" type="MACAddress" propertyPath="M"/><Field name="i" type="IPV4Address" propertyPath="I"/>
                          <Field name="s" type="String" size="4" propertyPath="S"/><Field name="u" type="UShort" propertyPath="U"/>
                          <Field name="l" type="LEUShort" propertyPath="L"/><Field name="q" type="ULong" propertyPath="Q"/>
                          <Field name="b" type="VarByteArrayBytePrefix" propertyPath="B"/><Field name="n" type="NullByteArray" propertyPath="N"/>)");
    EXPECT_EQ(28,
              Expand(*list, "00 11 22 aa bb cc 0a 01 00 0a 61 00 62 63 12 34 12 34 00 01 00 02 02 ab cd 01 02 00 ff"));
    EXPECT_EQ("001122AABBCC", Text("M"));
    EXPECT_EQ("10.1.0.10", Bytes(Prop("I")->ToSocketAddress(nullptr).GetHost()));
    EXPECT_EQ("a", Text("S"));
    EXPECT_EQ(0x1234, Prop("U")->ToUShort(0));
    EXPECT_EQ(0x3412, Prop("L")->ToUShort(0));
    EXPECT_EQ(0x10002u, Prop("Q")->ToULong(0));
    EXPECT_EQ("ab cd", HexOf(Prop("B")->ToByteArray(nullptr, 0)));
    EXPECT_EQ("01 02", HexOf(Prop("N")->ToByteArray(nullptr, 0)));
}

TEST_F(FieldTest, ExpandLengthsAndDefaults)
{
    auto ls = Fields(
        R"(<Field name="a" type="LengthString" propertyPath="A"/><Field name="b" type="LengthString" propertyPath="B"/>
                        <Field name="c" type="LengthString" propertyPath="C"/><Field name="d" type="LengthString" propertyPath="D"/>)");
    // A prefix of 0, 1 or 2 leaves an empty text and consumes 2 bytes.
    EXPECT_EQ(11, Expand(*ls, "00 00 00 01 00 02 00 05 78 79 7a"));
    EXPECT_EQ("", Text("A"));
    EXPECT_EQ("", Text("B"));
    EXPECT_EQ("xyz", Text("D"));

    auto ns = Fields(
        R"(<Field name="n" type="NullString" propertyPath="N"/><Field name="b" type="Byte" propertyPath="B" defaultValue="5"/>
                        <Field name="h" type="VarByteArray" propertyPath="H" defaultValue="0xabc"/>
                        <Field name="i" type="IPV4Address" propertyPath="I" defaultValue="1.2.3.4"/>)");
    // A NullString without its 0x00 runs to the end; what follows takes its default.
    EXPECT_EQ(3, Expand(*ns, "61 62"));
    EXPECT_EQ("ab", Text("N"));
    EXPECT_EQ(5, Prop("B")->ToUChar(0));
    EXPECT_EQ("0a bc", HexOf(Prop("H")->ToByteArray(nullptr, 0)));
    EXPECT_EQ("1.2.3.4", Bytes(Prop("I")->ToSocketAddress(nullptr).GetHost()));
}

TEST_F(FieldTest, ExpandStopsAtTheEndOfTheReply)
{
    auto list =
        Fields(R"(<Field name="a" type="Byte" propertyPath="A"/><Field name="q" type="ULong" propertyPath="Q"/>)");
    Prop("Q")->SetULong(99);
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { Expand(*list, "07 01"); }));
    EXPECT_EQ(7, Prop("A")->ToUChar(0));
    EXPECT_EQ(99u, Prop("Q")->ToULong(0));

    auto var =
        Fields(R"(<Field name="a" type="Byte" propertyPath="A"/><Field name="v" type="VarString" propertyPath="V"/>)");
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { Expand(*var, "08 00 10 61 62"); }));
    EXPECT_EQ(8, Prop("A")->ToUChar(0));
}

TEST_F(FieldTest, CountedAndTerminatedLists)
{
    auto counted =
        Fields(R"(<Field name="n" type="Byte" propertyPath="L"><Field name="v" type="UShort" propertyPath="V"/></Field>
                             <Field name="z" type="Byte" propertyPath="Z"/>)");
    EXPECT_EQ(8, Expand(*counted, "03 00 0a 00 0b 00 0c 09"));
    EXPECT_EQ(3, Prop("L")->GetChildCount());
    EXPECT_EQ(11, Prop("L.1.V")->ToUShort(0));
    EXPECT_EQ(9, Prop("Z")->ToUChar(0));
    EXPECT_EQ(4, Expand(*counted, "01 00 0d 09"));
    EXPECT_EQ(1, Prop("L")->GetChildCount());
    EXPECT_EQ(13, Prop("L.0.V")->ToUShort(0));
    EXPECT_EQ(2, Expand(*counted, "00 09"));
    EXPECT_EQ(0, Prop("L")->GetChildCount());

    auto terminated = Fields(
        R"(<Field name="t" type="Other" propertyPath="T" terminate="FF"><Field name="v" type="Byte" propertyPath="V"/></Field>
                                <Field name="z" type="Byte" propertyPath="Z"/>)");
    EXPECT_EQ(2, Expand(*terminated, "ff 05"));
    EXPECT_EQ(0, Prop("T")->GetChildCount());
    EXPECT_EQ(4, Expand(*terminated, "01 02 ff 06"));
    EXPECT_EQ(2, Prop("T")->GetChildCount());
    EXPECT_EQ(6, Prop("Z")->ToUChar(0));
}

TEST_F(FieldTest, NestedLists)
{
    // Two groups, each a counted list of names ended by FF.
    auto list = Fields(R"(<Field name="g" type="Byte" propertyPath="G"><Field name="id" type="Byte" propertyPath="Id"/>
                          <Field name="n" type="Other" propertyPath="N" terminate="FF"><Field name="s" type="VarStringBytePrefix" propertyPath="S"/></Field>
                          </Field>)");
    const std::string strReply = "02 01 01 61 01 62 ff 02 ff";
    EXPECT_EQ(9, Expand(*list, strReply));
    EXPECT_EQ(2, Prop("G")->GetChildCount());
    EXPECT_EQ("b", Text("G.0.N.1.S"));
    EXPECT_EQ(0, Prop("G.1.N")->GetChildCount());
    EXPECT_EQ(2, Prop("G.1.Id")->ToUChar(0));
    // Built back from the tree: the lists of an entry follow it.
    Prop("G.0.N")->SetUChar(2);
    Prop("G.1.N")->SetUChar(0);
    EXPECT_EQ(strReply, Build(*list));
}

TEST_F(FieldTest, HostileLists)
{
    // A count of 0xFFFFFFFF in a 20-byte reply: one entry per byte at most.
    auto counted = Fields(
        R"(<Field name="n" type="ULong" propertyPath="L"><Field name="v" type="Byte" propertyPath="V"/></Field>)");
    EXPECT_EQ(20, Expand(*counted, "ff ff ff ff 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10"));
    EXPECT_EQ(16, Prop("L")->GetChildCount());

    // A terminated list without its terminator ends with the reply; a
    // terminator cut by the end fails, keeping the entries read.
    auto terminated = Fields(
        R"(<Field name="t" type="Byte" propertyPath="T" terminate="FF"><Field name="v" type="Byte" propertyPath="V"/></Field>
                                <Field name="z" type="Byte" propertyPath="Z" defaultValue="4"/>)");
    EXPECT_EQ(5, Expand(*terminated, "00 01 02 03 04"));
    EXPECT_EQ(4, Prop("T")->GetChildCount());
    EXPECT_EQ(4, Prop("Z")->ToUChar(0));
    auto cut = Fields(
        R"(<Field name="t" type="Byte" propertyPath="C" terminate="FFFF"><Field name="v" type="Byte" propertyPath="V"/></Field>)");
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { Expand(*cut, "00 01 02 03 ff"); }));
    EXPECT_EQ(3, Prop("C")->GetChildCount());

    // Entries that consume nothing, or go back to an offset, fail instead of
    // looping.
    auto empty =
        Fields(R"(<Field name="t" type="Byte" propertyPath="E" terminate="FF"><Field name="v" type="Other"/></Field>)");
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { Expand(*empty, "00 01 02"); }));
    auto back = Fields(
        R"(<Field name="n" type="Byte" propertyPath="K"><Field name="v" type="Byte" offset="1" propertyPath="V"/></Field>)");
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { Expand(*back, "05 01 02 03 04 05"); }));
    EXPECT_LE(Prop("K")->GetChildCount(), 2);
}

TEST_F(FieldTest, FieldsTheFunctionDoesNotNameAreSkippedByTheirRealLength)
{
    CTestStream stream(
        R"(<Function deviceType="2B" function="5A04" packetType="Q"><FieldName name="b" propertyPath="Other"/></Function>)");
    CVLXmlDocument doc;
    doc.Load(&stream);
    CVLPCFunction function;
    function.Load(nullptr, doc.GetDocumentElement());
    auto list =
        Fields(R"(<Field name="a" type="VarString" propertyPath="A"/><Field name="b" type="Byte" propertyPath="B"/>)");
    EXPECT_EQ(6, Expand(*list, "00 03 61 62 63 2a", &function));
    EXPECT_EQ("<none>", Text("A"));
    EXPECT_EQ("<none>", Text("B"));
    EXPECT_EQ(42, Prop("Other")->ToUChar(0));
}

TEST_F(FieldTest, ProfileProbeReplyBothWays)
{
    CVLPCProfileLayouts layouts;
    CVLPCFieldList* pProbe = layouts.Find("5A01", true);
    ASSERT_NE(nullptr, pProbe);
    const std::string strReply =
        "00 26 ab 00 00 01 32 00 00 00 02 01 00 0a 01 00 0a ff ff ff 00 0a 01 00 01 07 4d 6f 64 65 6c 20 41 00 03 "
        "01 00 50 02 23 8c 04 02 77";
    EXPECT_EQ(44, Expand(*pProbe, strReply));
    EXPECT_EQ("0026AB000001", Text("MACAddress"));
    EXPECT_EQ("Model A", Text("VLPC.2B_5A01_01.ModelName"));
    EXPECT_EQ(2, Prop("VLPC.2B_5A01_01.CipherType")->ToUShort(0));
    EXPECT_EQ("255.255.255.0", Bytes(Prop("VLPC.2B_5A01_01.SubnetMask")->ToSocketAddress(nullptr).GetHost()));
    EXPECT_EQ(9100, Prop("VLPC.2B_5A01_01.ServiceList.1.Port")->ToUShort(0));
    EXPECT_EQ(strReply, Build(*pProbe));
}

namespace {

// Gives every field of a layout a distinct value below pBase, two entries
// per repeated list.
void Fill(const CVLPCFieldList* pList, CVLProperty* pBase, int& nValue)
{
    for (int i = 0; i < pList->GetCount(); ++i) {
        const CVLPCField* pField = pList->GetAt(i);
        CVLProperty* p = pBase->GetProperty(pField->GetPropertyPath().GetBuffer(), true);
        if (p == nullptr)
            continue;
        ++nValue;
        std::string strNumber = std::to_string(nValue);
        switch (pField->GetType()) {
        case VLPC_FIELD_MAC_ADDRESS:
            p->SetString(("00:26:AB:00:00:" + std::to_string(10 + nValue % 80)).c_str(), VL_CHARSET_UTF8);
            break;
        case VLPC_FIELD_IPV4_ADDRESS:
            p->SetString(("10.0.0." + strNumber).c_str(), VL_CHARSET_UTF8);
            break;
        case VLPC_FIELD_BYTE:
            p->SetUChar(static_cast<unsigned char>(nValue));
            break;
        case VLPC_FIELD_USHORT:
            p->SetUShort(static_cast<unsigned short>(nValue * 257));
            break;
        case VLPC_FIELD_ULONG:
            p->SetULong(static_cast<VL_ULONG>(nValue) * 65537u);
            break;
        default:
            p->SetString(("text" + strNumber).c_str(), VL_CHARSET_UTF8);
            break;
        }
        if (pField->HasSubFields()) {
            p->SetUChar(2);
            for (int k = 0; k < 2; ++k)
                Fill(pField->GetSubFieldList(), p->CreateChild(nullptr), nValue);
        }
    }
}

}  // namespace

TEST_F(FieldTest, ProfileLayoutsRoundTrip)
{
    CVLPCProfileLayouts layouts;
    int nValue = 0;
    for (const CVLPCProfileLayouts::Layout& layout : layouts.m_Layouts) {
        SCOPED_TRACE(layout.strFunction + (layout.bRecv ? " reply " : " request ") + layout.strVersion);
        if (!layout.bRecv)
            continue;
        // Build from one tree, expand into another and build again: the same
        // bytes, every one of them read.
        CVLTarget source(&m_Api);
        Fill(layout.pList, source.GetProperties(), nValue);
        std::string strFirst = Build(*layout.pList, &source);
        EXPECT_EQ(static_cast<long>(strFirst.size() + 1) / 3, Expand(*layout.pList, strFirst));
        EXPECT_EQ(strFirst, Build(*layout.pList));
        EXPECT_EQ("0026AB0000", Text("MACAddress").substr(0, 10));
    }
}
