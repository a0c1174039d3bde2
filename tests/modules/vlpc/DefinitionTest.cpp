#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/core/VLCharset.h"
#include "cm/VLDefineFormatException.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "modules/vlpc/VLMDVLPC.h"
#include "modules/vlpc/VLPCFunction.h"
#include "modules/vlpc/VLPCPacket.h"
#include "modules/vlpc/VLPCPacketDataFormat.h"
#include "modules/vlpc/VLPCPacketFormat.h"
#include "modules/vlpc/VLPCPacketList.h"
#include "modules/vlpc/VLPCField.h"
#include "tests/modules/vlpc/VLPCTestHelpers.h"
#include "tests/support/emulator/DeviceEmulator.h"
#include "tests/support/TestSupport.h"

namespace {

// The attribute a definition error names; "" when nothing (or something
// else) was thrown.
template <typename F>
std::string RefusedAttribute(F f)
{
    try {
        f();
    } catch (EVLDefineFormatException* e) {
        std::string s = Bytes(e->GetAttributeName());
        e->Delete();
        return s;
    } catch (EVLException* e) {
        e->Delete();
    }
    return "";
}

std::string Doc(const std::string& strBody)
{
    return "<VLPC>" + strBody + "</VLPC>";
}

}  // namespace

TEST(VLPCDefinition, FunctionAttributes)
{
    auto load = [](const std::string& strXml) {
        CTestStream stream(strXml);
        CVLXmlDocument doc;
        doc.Load(&stream);
        CVLPCFunction function;
        function.Load(nullptr, doc.GetDocumentElement());
    };
    EXPECT_EQ("function",
              RefusedAttribute([&] { load(R"(<Function deviceType="03" function="001" packetType="Q"/>)"); }));
    EXPECT_EQ("deviceType",
              RefusedAttribute([&] { load(R"(<Function deviceType="3" function="0001" packetType="Q"/>)"); }));
    EXPECT_EQ("deviceType",
              RefusedAttribute([&] { load(R"(<Function deviceType="003" function="0001" packetType="Q"/>)"); }));
    EXPECT_EQ("packetType", RefusedAttribute([&] { load(R"(<Function deviceType="03" function="0001"/>)"); }));

    CTestStream stream(R"(<Function deviceType="2B" function="5A0f" packetType="QX" onError="false" forceSetup="1">
        <FieldName name="" propertyPath="X"/><FieldName name="a" propertyPath=""/><FieldName name="b" propertyPath="P.Q"/></Function>)");
    CVLXmlDocument doc;
    doc.Load(&stream);
    CVLPCFunction f;
    f.Load(nullptr, doc.GetDocumentElement());
    EXPECT_EQ('Q', f.GetPacketType());
    EXPECT_EQ("2B5A0f", Bytes(f.GetKey()));
    EXPECT_EQ(0x2B, f.GetDeviceTypeCode());
    EXPECT_EQ(0x5A, f.GetFunctionCode()[0]);
    EXPECT_EQ(0x0F, f.GetFunctionCode()[1]);
    EXPECT_FALSE(f.IsOnError());
    EXPECT_TRUE(f.IsForceSetup());
    EXPECT_TRUE(f.IsOnTimeout());
    EXPECT_FALSE(f.IsErrorWithDataOK());
    EXPECT_TRUE(f.HasFieldName("a"));
    EXPECT_FALSE(f.HasFieldName(""));
    EXPECT_FALSE(f.HasFieldName("c"));
    EXPECT_EQ("", Bytes(f.GetFieldPropertyPath("a")));
    EXPECT_EQ("P.Q", Bytes(f.GetFieldPropertyPath("b")));

    CVLPCFunction plain;
    EXPECT_TRUE(plain.HasFieldName("anything"));
}

TEST(VLPCDefinition, VersionNumbers)
{
    CVLPCTestModule m(Doc(""));
    CVLMDVLPC& mod = m.m_Module;
    EXPECT_EQ(0, mod.GetVersionNumber(""));
    EXPECT_EQ(0, mod.GetVersionNumber("A"));
    EXPECT_EQ(3, mod.GetVersionNumber("3"));
    EXPECT_EQ(2, mod.GetVersionNumber("G"));
    EXPECT_EQ(7, mod.GetVersionNumber("L"));
    EXPECT_EQ(7, mod.GetVersionNumber("M"));
    EXPECT_EQ(8, mod.GetVersionNumber("N"));
    EXPECT_EQ(-1, mod.GetVersionNumber("9"));
    EXPECT_EQ(-1, mod.GetVersionNumber("Z"));
    EXPECT_EQ(0, mod.GetVersionNumber("41"));
    EXPECT_EQ(3, mod.GetVersionNumber("33"));
    EXPECT_EQ(3, mod.GetVersionNumber("0x33"));
    EXPECT_EQ(-1, mod.GetVersionNumber("10"));
    EXPECT_EQ(-1, mod.GetVersionNumber("zz"));

    m.Load(Doc(R"(<PacketFormat deviceType="03" function="0001" version="G"/>
                  <VersionMap char="Z" varsionNumber="9"/><VersionMap hex="59" varsionNumber="4"/>
                  <VersionMap char="Q" varsionNumber=""/><VersionMap char="R"/><VersionMap hex="zz" varsionNumber="5"/>
                  <VersionMap char="G" varsionNumber="6"/>
                  <PacketFormat deviceType="03" function="0002" version="G"/>)"));
    EXPECT_EQ(9, mod.GetVersionNumber("Z"));
    EXPECT_EQ(4, mod.GetVersionNumber("Y"));
    EXPECT_EQ(0, mod.GetVersionNumber("Q"));
    EXPECT_EQ(-1, mod.GetVersionNumber("R"));
    EXPECT_EQ(2, mod.FindPacketFormat(CVLString("030001", VL_CHARSET_UTF8))->GetVersion());
    EXPECT_EQ(6, mod.FindPacketFormat(CVLString("030002", VL_CHARSET_UTF8))->GetVersion());

    EXPECT_EQ(1, VLCompareVersion(3, 2));
    EXPECT_EQ(-1, VLCompareVersion(2, 3));
    EXPECT_EQ(1, VLCompareVersion(-1, 5));
    EXPECT_EQ(-1, VLCompareVersion(5, -1));
    EXPECT_EQ(0, VLCompareVersion(-1, -1));
}

// The emulator picks its reply layouts by the same map (what the framework
// leaves unmapped matches every layout; the emulator takes the first).
TEST(VLPCDefinition, TheEmulatorMapsVersionsAsTheFramework)
{
    CVLPCTestModule m(Doc(""));
    for (char c = '!'; c <= '~'; ++c) {
        int nVersion = m.m_Module.GetVersionNumber(std::string(1, c).c_str());
        EXPECT_EQ(nVersion < 0 ? 0 : nVersion, EmuVersionNumber(c)) << c;
    }
}

TEST(VLPCDefinition, TablesAndTheirErrors)
{
    CVLPCTestModule m(Doc(R"(<PacketList name="Probe"><Function deviceType="2B" function="5A01" packetType="P"/>
                             <Function deviceType="2B" function="5A30" packetType="P"/></PacketList>
                             <KeyProperty name="MACAddress" propertyPath="A"/><KeyProperty name="MACAddress" propertyPath="B"/>
                             <KeyProperty name="CipherType" propertyPath=""/>)"));
    EXPECT_EQ(2, m.m_Module.GetFunctionCount("Probe"));
    EXPECT_EQ(0, m.m_Module.GetFunctionCount("Other"));
    EXPECT_EQ("B", Bytes(*m.m_Module.FindKeyPropertyPath("MACAddress")));
    EXPECT_EQ(nullptr, m.m_Module.FindKeyPropertyPath("CipherType"));

    EXPECT_EQ("name", RefusedAttribute([&] { m.Load(Doc(R"(<PacketList name="A"/><PacketList name="A"/>)")); }));
    EXPECT_EQ("name", RefusedAttribute([&] { m.Load(Doc(R"(<PacketList/>)")); }));
    EXPECT_EQ(
        "function", RefusedAttribute([&] {
            m.Load(Doc(
                R"(<PacketFormat deviceType="03" function="0001"/><PacketFormat deviceType="03" function="0001" version="2"/>)"));
        }));
    EXPECT_EQ("deviceType", RefusedAttribute([&] { m.Load(Doc(R"(<PacketFormat function="0001"/>)")); }));
    m.m_Module.Terminate(&m.m_Params);
    EXPECT_EQ(0, m.m_Module.GetFunctionCount("Probe"));

    // No definition document: nothing to read, no error.
    CVLMDVLPC fresh;
    CVLModuleParamCollection params;
    fresh.Initialize(&params);
    EXPECT_EQ(0, fresh.GetFunctionCount("Probe"));
}

TEST(VLPCDefinition, LayoutChoice)
{
    CVLPCTestModule m(Doc(R"(<PacketFormat deviceType="03" function="0001" forceEncrypts="true">
        <SendDataFormat><Field name="a" type="Byte"/></SendDataFormat>
        <SendDataFormat version="2"><Field name="b" type="Byte"/></SendDataFormat>
        <SendDataFormat version="2"><Field name="c" type="Byte"/><Field name="m" type="MACAddress"/></SendDataFormat>
        <RecvDataFormat><Field name="m" type="MACAddress"/></RecvDataFormat>
        <RecvDataFormat result="F001" packetType="Qq"><Field name="d" type="VarString"/><Field name="m" type="MACAddress"/></RecvDataFormat>
      </PacketFormat>)"));
    CVLMDVLPC* pModule = &m.m_Module;
    CVLPCPacketFormat* pFormat = pModule->FindPacketFormat(CVLString("030001", VL_CHARSET_UTF8));
    ASSERT_NE(nullptr, pFormat);
    EXPECT_TRUE(pFormat->IsForceEncrypts());
    EXPECT_EQ(3, pFormat->GetSendDataFormatCount());
    auto firstField = [](CVLPCPacketDataFormat* p) { return p ? Bytes(p->GetAt(0)->GetName()) : std::string("-"); };
    EXPECT_EQ("c", firstField(pFormat->FindSendDataFormat(pModule, 3, 'Q')));
    EXPECT_EQ("a", firstField(pFormat->FindSendDataFormat(pModule, 1, 'Q')));
    EXPECT_EQ("c", firstField(pFormat->FindSendDataFormat(pModule, -1, 'Q')));
    EXPECT_EQ(-1, pFormat->FindSendDataFormat(pModule, 1, 'Q')->GetMACAddressOffset());
    EXPECT_EQ(1, pFormat->FindSendDataFormat(pModule, 2, 'Q')->GetMACAddressOffset());

    // Among matching layouts of one version the last wins.
    const VL_BYTE f001[2] = {0xF0, 0x01}, f002[2] = {0xF0, 0x02};
    EXPECT_EQ("d", firstField(pFormat->FindRecvDataFormat(pModule, 0, f001, 'q')));
    EXPECT_EQ("m", firstField(pFormat->FindRecvDataFormat(pModule, 0, f002, 'q')));
    EXPECT_EQ("m", firstField(pFormat->FindRecvDataFormat(pModule, 0, f001, 'x')));
    // The MAC offset adds declared sizes: a VarString counts 2.
    EXPECT_EQ(2, pFormat->FindRecvDataFormat(pModule, 0, f001, 'q')->GetMACAddressOffset());
}

// The project's own "VLPC" definitions, as they are shipped: every
// function of every packet list finds its packet format, every reply layout
// has the MAC address first, and the probe reply of
// docs/protocol.md expands.
TEST(VLPCDefinition, ProjectDefinitionsLoad)
{
    std::string strXml = TestShippedDefinition("VLPC.xml");
    ASSERT_NE("", strXml) << "the shipped definitions cannot be read";

    CVLPCTestModule m(strXml);
    const char* const lists[] = {"Probe",     "CheckUnicast",       "GetSupportInformation", "GetListInfo",
                                 "GetDetail", "GetWirelessLANInfo", "CheckPassword",         "SetDetail",
                                 "FactReset", "RebootPolling"};
    for (const char* szList : lists) {
        SCOPED_TRACE(szList);
        CVLPCPacketList* pList = m.m_Module.FindPacketList(CVLString(szList, VL_CHARSET_UTF8));
        ASSERT_NE(nullptr, pList);
        EXPECT_EQ(1, pList->GetCount());
        CVLPCPacketFormat* pFormat = m.m_Module.FindPacketFormat((*pList->Begin())->GetKey());
        ASSERT_NE(nullptr, pFormat);
        for (long nVersion : {0L, 2L}) {
            CVLPCPacketDataFormat* pRecv = pFormat->FindRecvDataFormat(&m.m_Module, nVersion, nullptr, 0);
            ASSERT_NE(nullptr, pRecv);
            EXPECT_EQ(0, pRecv->GetMACAddressOffset());
        }
    }
    EXPECT_NE(nullptr, m.m_Module.FindKeyPropertyPath("CipherType"));

    std::vector<VL_BYTE> reply =
        VLPCBytes("4f 52 56 45 4b 70 2b 01 5a 01 00 00 00 2c 00 26 ab 00 00 01 32 00 00 00 02 01 00"
                  " 0a 01 00 0a ff ff ff 00 0a 01 00 01 07 4d 6f 64 65 6c 20 41 00 03 01 00 50 02"
                  " 23 8c 04 02 77");
    CVLPCPacket packet;
    packet.Append(reply.data(), static_cast<int>(reply.size()));
    CVLPCFunction function;
    CVLTarget target(&m.m_Api);
    m.m_Module.FindPacketFormat(CVLString("2B5A01", VL_CHARSET_UTF8))
        ->FindRecvDataFormat(&m.m_Module, 0, packet.GetResultBytes(), 'p')
        ->ExpandPacket(nullptr, &function, &packet, &target);
    CVLProperty* pRoot = target.GetProperties();
    EXPECT_EQ("Model A", Bytes(pRoot->GetProperty("VLPC.2B_5A01_01.ModelName", false)->ToString("")));
    EXPECT_EQ(3, pRoot->GetProperty("VLPC.2B_5A01_01.ServiceList", false)->GetChildCount());
}
