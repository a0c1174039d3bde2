#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/core/VLCharset.h"
#include "base/core/VLInvalidParamException.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "modules/vlpc/VLPC.h"
#include "modules/vlpc/VLPCDefs.h"
#include "modules/vlpc/VLPCFunction.h"
#include "modules/vlpc/VLPCPacket.h"
#include "modules/vlpc/VLPCPacketDataFormat.h"
#include "modules/vlpc/VLPCPacketFormat.h"
#include "tests/modules/vlpc/VLPCTestHelpers.h"
#include "tests/support/TestSupport.h"
#include "tests/support/modules/VLPCProfileLayouts.h"

namespace {

class PacketTest : public ::testing::Test
{
protected:
    PacketTest()
        : m_Module(VLPCProfileLayoutsXml()), m_pTarget(new CVLTarget(&m_Module.m_Api)), m_VLPC(&m_Module.m_Module)
    {
        m_Module.m_Params.SetTarget(m_pTarget);
    }
    ~PacketTest() override { delete m_pTarget; }

    // The instance's facts from a device with these key properties.
    void Device(const char* szMAC, unsigned char nNumber, unsigned char nMode, unsigned char nType)
    {
        CVLProperty* pRoot = m_pTarget->GetProperties();
        pRoot->GetProperty("MACAddress", true)->SetString(szMAC, VL_CHARSET_UTF8);
        pRoot->GetProperty("VLPC.2B_5A01_01.DeviceNumber", true)->SetUChar(nNumber);
        pRoot->GetProperty("VLPC.2B_5A01_01.EncryptionMode", true)->SetUChar(nMode);
        pRoot->GetProperty("VLPC.2B_5A01_01.EncryptionType", true)->SetUChar(nType);
        m_VLPC.LoadTargetProperties(&m_Module.m_Params);
    }
    void Function(const char* szXml)
    {
        CTestStream stream(szXml);
        CVLXmlDocument doc;
        doc.Load(&stream);
        m_Function.reset(new CVLPCFunction());
        m_Function->Load(nullptr, doc.GetDocumentElement());
    }
    void SetBytes(const char* szHex)
    {
        std::vector<VL_BYTE> v = VLPCBytes(szHex);
        m_Packet.Clear();
        if (!v.empty())
            m_Packet.Append(v.data(), static_cast<int>(v.size()));
    }
    std::string Data() { return VLPCHex(m_Packet.GetData() + VLPC_HEADER_SIZE, m_Packet.GetSize() - VLPC_HEADER_SIZE); }

    CVLPCTestModule m_Module;
    CVLTarget* m_pTarget;
    CVLPC m_VLPC;
    std::unique_ptr<CVLPCFunction> m_Function;
    CVLPCPacket m_Packet;
};

}  // namespace

TEST_F(PacketTest, HeaderOfARequest)
{
    Function(R"(<Function deviceType="2B" function="5A01" packetType="P"/>)");
    m_Packet.MakeHeader(&m_VLPC, m_Function.get());
    EXPECT_EQ("4f 52 56 45 4b 50 2b 00 5a 01 00 00 00 00", VLPCHex(m_Packet.GetData(), m_Packet.GetSize()));
    Device("0026AB123457", 5, 0, 0);
    Function(R"(<Function deviceType="2B" function="5A02" packetType="Q"/>)");
    m_Packet.MakeHeader(&m_VLPC, m_Function.get());
    const char szMAC[] = "0026AB123457";
    m_Packet.Append(szMAC, 12);
    m_Packet.SetDataSize();
    EXPECT_EQ("4f 52 56 45 4b 51 2b 05 5a 02 00 00 00 0c", VLPCHex(m_Packet.GetData(), VLPC_HEADER_SIZE));
    EXPECT_FALSE(m_Packet.IsInvalidDataSize());
    Function(R"(<Function deviceType="2B" function="5A02" packetType="Q" deviceNumber="7f"/>)");
    m_Packet.MakeHeader(&m_VLPC, m_Function.get());
    EXPECT_EQ(0x7F, m_Packet.GetDeviceNumber());
    EXPECT_EQ(VLPC_HEADER_SIZE, m_Packet.GetSize());
}

TEST_F(PacketTest, MatchingPredicates)
{
    const VL_BYTE fn[2] = {0x5A, 0x02};
    SetBytes("4f 52 56 45 4b 71 2b 05 5a 02 e0 01 00 01 07");
    EXPECT_TRUE(m_Packet.IsValidHeaderSize());
    EXPECT_TRUE(m_Packet.IsValidMagic());
    EXPECT_TRUE(m_Packet.IsReplyOf('Q'));
    EXPECT_FALSE(m_Packet.IsReplyOf('q'));
    EXPECT_TRUE(m_Packet.IsFunction(fn));
    EXPECT_EQ(0xE001, m_Packet.GetResult());
    EXPECT_EQ(1, m_Packet.GetDataSize());
    EXPECT_EQ(0x2B, m_Packet.GetDeviceType());

    SetBytes("4f 52 56 45 4b 51 2b 05 5a 02 00 00 00");  // 13 bytes, the request echoed
    EXPECT_FALSE(m_Packet.IsValidHeaderSize());
    EXPECT_EQ(0xF000, m_Packet.GetResult());
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { m_Packet.GetDataSize(); }));
    EXPECT_FALSE(m_Packet.IsReplyOf('Q'));
    SetBytes("4f 52 56 45 4c 71 2b 05 5a 02 00 00 00 00");
    EXPECT_FALSE(m_Packet.IsValidMagic());
    SetBytes("4f 52 56 45 4b 00 2b 05 5a 03 00 00 00 00");
    EXPECT_FALSE(m_Packet.IsReplyOf(0xE0));
    EXPECT_FALSE(m_Packet.IsFunction(fn));
    // Reads stay inside the packet: a short packet has no header fields.
    SetBytes("4f 52 56");
    EXPECT_EQ(0, m_Packet.GetDeviceType());
    EXPECT_FALSE(m_Packet.IsFunction(fn));
    EXPECT_TRUE(VLThrows<EVLInvalidParamException>([&] { m_Packet.GetData(20, -1); }));
}

TEST_F(PacketTest, CipherModeSelection)
{
    CVLPCPacketFormat* pFormat = m_Module.m_Module.FindPacketFormat(CVLString("2B5A02", VL_CHARSET_UTF8));
    SetBytes("4f 52 56 45 4b 51 2b 05 5a 02 00 00 00 01 aa");
    auto mode = [&](unsigned char nNumber, unsigned char nMode, unsigned char nType) {
        Device("0026AB123457", nNumber, nMode, nType);
        return m_Packet.GetEncryptionMode(&m_VLPC, pFormat);
    };
    EXPECT_EQ(0, mode(0x7F, 0, 0));
    EXPECT_EQ(2, mode(0x80, 0, 0));
    EXPECT_EQ(2, mode(0xFE, 1, 1));
    EXPECT_EQ(0, mode(0xFF, 0, 0));
    EXPECT_EQ(1, mode(0x01, 1, 1));
    EXPECT_EQ(0, mode(0x01, 0, 2));
    EXPECT_EQ(0, mode(0x01, 1, 2));
    SetBytes("4f 52 56 45 4b 51 00 05 00 00 00 00 00 01 aa");
    EXPECT_EQ(0, mode(0x01, 1, 1));
    EXPECT_EQ(2, mode(0x80, 1, 1));
    SetBytes("4f 52 56 45 4b 51 2b 05 5a 02 00 00 00 00");
    EXPECT_EQ(0, mode(0x80, 1, 1));

    // A format that forces encryption needs only a type that is not 0.
    CTestStream stream(R"(<PacketFormat deviceType="2B" function="5A02" forceEncrypts="true"/>)");
    CVLXmlDocument doc;
    doc.Load(&stream);
    CVLPCPacketFormat forced;
    forced.Load(nullptr, nullptr, doc.GetDocumentElement());
    SetBytes("4f 52 56 45 4b 51 00 05 00 00 00 00 00 01 aa");
    Device("0026AB123457", 1, 0, 2);
    EXPECT_EQ(1, m_Packet.GetEncryptionMode(&m_VLPC, &forced));
    EXPECT_EQ(0, m_Packet.GetEncryptionMode(&m_VLPC, pFormat));
    Device("0026AB123457", 1, 1, 0);
    EXPECT_EQ(0, m_Packet.GetEncryptionMode(&m_VLPC, &forced));

    // The MAC address as six bytes reads as its text does.
    const VL_BYTE mac[6] = {0x00, 0x26, 0xAB, 0x12, 0x34, 0x57};
    m_pTarget->GetProperties()->GetProperty("MACAddress", true)->SetBinary(mac, 6);
    m_VLPC.LoadTargetProperties(&m_Module.m_Params);
    EXPECT_EQ(0, memcmp(mac, m_VLPC.GetMACAddress()->GetBytes(), 6));
}

TEST_F(PacketTest, ProfileWordCipherVectors)
{
    Device("00:26:AB:12:34:57", 5, 1, 1);
    CVLPCPacketFormat* pFormat = m_Module.m_Module.FindPacketFormat(CVLString("2B5A02", VL_CHARSET_UTF8));
    SetBytes("4f 52 56 45 4b 51 2b 05 5a 02 00 00 00 0a 30 31 32 33 34 35 36 37 38 39");
    m_Packet.EncryptData(&m_VLPC, pFormat);
    EXPECT_EQ("c0 8c 80 cc 40 0c 00 4c c1 8d", Data());
    m_Packet.DecryptData(&m_VLPC, pFormat);
    EXPECT_EQ("30 31 32 33 34 35 36 37 38 39", Data());

    // An odd count gains a byte; the data size keeps the count.
    SetBytes("4f 52 56 45 4b 51 2b 05 5a 02 00 00 00 05 4f 52 56 45 4b");
    m_Packet.EncryptData(&m_VLPC, pFormat);
    EXPECT_EQ("af 60 4c 42 ef ea", Data());
    EXPECT_EQ(5, m_Packet.GetDataSize());
    m_Packet.DecryptData(&m_VLPC, pFormat);
    EXPECT_EQ("4f 52 56 45 4b 00", Data());

    SetBytes("4f 52 56 45 4b 51 2b 05 5a 02 00 00 00 0c 30 30 32 36 41 42 31 32 33 34 35 37");
    m_Packet.EncryptData(&m_VLPC, pFormat);
    EXPECT_EQ("e0 8c 20 cc ae a2 a0 ac 60 ec 00 2c", Data());
    SetBytes("4f 52 56 45 4b 71 2b 05 5a 02 00 00 00 07 26 8e b3 e8 00 00 e6 aa");
    m_Packet.DecryptData(&m_VLPC, pFormat);
    EXPECT_EQ("00 26 ab 12 34 57 01 00", Data());

    // Mode 2 sends the data as it is.
    Device("00:26:AB:12:34:57", 0x90, 1, 1);
    SetBytes("4f 52 56 45 4b 51 2b 05 5a 02 00 00 00 03 01 02 03");
    m_Packet.EncryptData(&m_VLPC, pFormat);
    EXPECT_EQ("01 02 03", Data());
    EXPECT_EQ(0x2341, m_Packet.RotateWord(0x1234, 4, true));
    EXPECT_EQ(0x4123, m_Packet.RotateWord(0x1234, 4, false));
}

TEST_F(PacketTest, PasswordFieldTakesTheCipherTypeKeyProperty)
{
    CVLPCPacketFormat* pFormat = m_Module.m_Module.FindPacketFormat(CVLString("2B5A20", VL_CHARSET_UTF8));
    CVLPCPacketDataFormat* pLayout = pFormat->FindSendDataFormat(&m_Module.m_Module, 0, 'Q');
    ASSERT_NE(nullptr, pLayout);
    Function(R"(<Function deviceType="2B" function="5A20" packetType="Q"/>)");
    m_pTarget->SetCurrentPassword("abc");
    auto password = [&](unsigned short nCipherType) {
        m_pTarget->GetProperties()->GetProperty("VLPC.2B_5A01_01.CipherType", true)->SetUShort(nCipherType);
        m_Packet.MakeHeader(&m_VLPC, m_Function.get());
        pLayout->MakePacket(&m_VLPC, m_Function.get(), &m_Packet, m_pTarget);
        // Behind the 12-byte TargetMAC.
        return std::string(reinterpret_cast<char*>(m_Packet.GetData()) + VLPC_HEADER_SIZE + 12,
                           m_Packet.GetSize() - VLPC_HEADER_SIZE - 12);
    };
    EXPECT_EQ(std::string("\x00\x20", 2) + "900150983cd24fb0d6963f7d28e17f72", password(2));
    EXPECT_EQ(std::string("\x00\x06YWJj\r\n", 8), password(1));
    EXPECT_EQ(std::string("\x00\x00", 2), password(0xFFFF));
    EXPECT_EQ(std::string("\x00\x03"
                          "abc",
                          5),
              password(0));
}
