// The packet and the field codec against the device emulator, which was
// written from docs/protocol.md on its own: requests built here must be
// understood there, and its replies must expand into the values it holds.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/core/VLCharset.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "modules/vlpc/VLPC.h"
#include "modules/vlpc/VLPCDefs.h"
#include "modules/vlpc/VLPCFunction.h"
#include "modules/vlpc/VLPCPacket.h"
#include "modules/vlpc/VLPCPacketDataFormat.h"
#include "modules/vlpc/VLPCPacketFormat.h"
#include "tests/modules/vlpc/VLPCTestHelpers.h"
#include "tests/support/emulator/DeviceEmulator.h"
#include "tests/support/TestSupport.h"
#include "tests/support/modules/VLPCProfileLayouts.h"

namespace {

const int REPLY_WAIT_MS = 2000;

class EmulatorExchangeTest : public ::testing::Test
{
protected:
    EmulatorExchangeTest()
        : m_Module(VLPCProfileLayoutsXml()), m_pTarget(new CVLTarget(&m_Module.m_Api)), m_VLPC(&m_Module.m_Module),
          m_Emulator(0), m_nSocket(socket(AF_INET, SOCK_DGRAM, 0))
    {
        m_Module.m_Params.SetTarget(m_pTarget);
    }
    ~EmulatorExchangeTest() override
    {
        m_Emulator.Stop();
        close(m_nSocket);
        delete m_pTarget;
    }

    // Runs one function of the protocol against the device at szIP: builds
    // the request from the target, enciphers it as the device's facts say,
    // and expands the matching reply into the target. False when no reply
    // matched.
    bool Exchange(const char* szIP, const char* szFunction, char cType)
    {
        std::string strXml =
            std::string("<Function deviceType=\"2B\" function=\"") + szFunction + "\" packetType=\"" + cType + "\"/>";
        CTestStream stream(strXml);
        CVLXmlDocument doc;
        doc.Load(&stream);
        CVLPCFunction function;
        function.Load(nullptr, doc.GetDocumentElement());
        m_VLPC.LoadTargetProperties(&m_Module.m_Params);
        CVLPCPacketFormat* pFormat = m_VLPC.FindPacketFormat(function.GetKey());
        EXPECT_NE(nullptr, pFormat);
        if (pFormat == nullptr)
            return false;

        CVLPCPacket request;
        request.MakeHeader(&m_VLPC, &function);
        if (CVLPCPacketDataFormat* pSend = pFormat->FindSendDataFormat(&m_Module.m_Module, m_VLPC.GetVersion(), cType))
            pSend->MakePacket(&m_VLPC, &function, &request, m_pTarget);
        request.SetDataSize();
        request.EncryptData(&m_VLPC, pFormat);
        sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_port = htons(m_Emulator.Port());
        inet_pton(AF_INET, szIP, &to.sin_addr);
        sendto(m_nSocket, request.GetData(), static_cast<size_t>(request.GetSize()), 0,
               reinterpret_cast<sockaddr*>(&to), sizeof(to));

        pollfd fd = {m_nSocket, POLLIN, 0};
        while (poll(&fd, 1, REPLY_WAIT_MS) > 0) {
            CVLPCPacket reply;
            ssize_t n = recv(m_nSocket, reply.GetData(), VLPC_PACKET_CAPACITY, 0);
            if (n < 0)
                return false;
            reply.SetSize(static_cast<int>(n));
            if (!reply.IsValidHeaderSize() || !reply.IsValidMagic() || !reply.IsReplyOf(static_cast<VL_BYTE>(cType)) ||
                reply.GetDeviceType() != function.GetDeviceTypeCode() || !reply.IsFunction(function.GetFunctionCode()))
                continue;
            m_nResult = reply.GetResult();
            if (reply.GetSize() > VLPC_HEADER_SIZE)
                reply.DecryptData(&m_VLPC, pFormat);
            CVLPCPacketDataFormat* pRecv =
                pFormat->FindRecvDataFormat(&m_Module.m_Module, m_VLPC.GetVersion(), reply.GetResultBytes(),
                                            static_cast<char>(reply.GetPacketType()));
            if (pRecv != nullptr && reply.GetSize() > VLPC_HEADER_SIZE)
                pRecv->ExpandPacket(&m_VLPC, &function, &reply, m_pTarget);
            return true;
        }
        return false;
    }
    CVLProperty* Prop(const char* szPath) { return m_pTarget->GetProperties()->GetProperty(szPath, true); }
    std::string Text(const char* szPath) { return Bytes(Prop(szPath)->ToString("")); }

    CVLPCTestModule m_Module;
    CVLTarget* m_pTarget;
    CVLPC m_VLPC;
    CDeviceEmulator m_Emulator;
    int m_nSocket;
    unsigned short m_nResult = 0;
};

}  // namespace

TEST_F(EmulatorExchangeTest, PlainDevice)
{
    EmuDevice device;
    device.strIP = "127.0.0.2";
    device.strModel = "Model B";
    device.services = {{1, 80}, {2, 9100}};
    device.strNodeName = "printer-3";
    device.strFirmware = "2.10";
    device.bWireless = true;
    device.scanList = {{"home", 1, 2, 60}, {"lab", 11, 0, 30}};
    device.strPassword = "secret";
    device.nCipherType = 1;
    m_Emulator.AddDevice(device);
    std::string strError;
    ASSERT_TRUE(m_Emulator.Start(&strError)) << strError;

    ASSERT_TRUE(Exchange("127.0.0.2", "5A01", 'P'));
    EXPECT_EQ("0026AB000001", Text("MACAddress"));
    EXPECT_EQ("Model B", Text("VLPC.2B_5A01_01.ModelName"));
    EXPECT_EQ(9100, Prop("VLPC.2B_5A01_01.ServiceList.1.Port")->ToUShort(0));
    EXPECT_EQ("127.0.0.2", Bytes(Prop("VLPC.2B_5A01_01.IPAddress")->ToSocketAddress(nullptr).GetHost()));
    // The probe reply's device number, which later requests carry.
    Prop("VLPC.2B_5A01_01.DeviceNumber")->SetUChar(1);

    ASSERT_TRUE(Exchange("127.0.0.2", "5A04", 'Q'));
    EXPECT_EQ(0, m_nResult);
    EXPECT_EQ("printer-3", Text("VLPC.2B_5A04_01.NodeName"));
    EXPECT_EQ("2.10", Text("VLPC.2B_5A04_01.FirmwareVersion"));
    EXPECT_EQ("SN0000000001", Text("VLPC.2B_5A04_01.SerialNumber"));

    ASSERT_TRUE(Exchange("127.0.0.2", "5A11", 'Q'));
    EXPECT_EQ(2, Prop("VLPC.2B_5A11_01.ScanList")->GetChildCount());
    EXPECT_EQ("lab", Text("VLPC.2B_5A11_01.ScanList.1.SSID"));

    // Base64 passwords: the right one is taken, a wrong one is counted.
    m_pTarget->SetCurrentPassword("secret");
    ASSERT_TRUE(Exchange("127.0.0.2", "5A20", 'Q'));
    EXPECT_EQ(0, m_nResult);
    EXPECT_EQ(1, Prop("VLPC.2B_5A20_01.AccessLevel")->ToUChar(0));
    m_pTarget->SetCurrentPassword("guess");
    ASSERT_TRUE(Exchange("127.0.0.2", "5A20", 'Q'));
    EXPECT_EQ(0x1001, m_nResult);
    EXPECT_EQ(4, Prop("VLPC.2B_5A20_01.RetryLeft")->ToUChar(0));
}

TEST_F(EmulatorExchangeTest, EncipheringDeviceOfVersionTwo)
{
    EmuDevice device;
    device.strIP = "127.0.0.3";
    device.mac[4] = 0x34;
    device.mac[5] = 0x57;
    device.nNumber = 5;
    device.bEncrypted = true;
    device.strContact = "admin";
    device.strDNS = "10.0.0.53";
    device.strPassword = "pw";
    device.nCipherType = 2;
    m_Emulator.AddDevice(device);
    std::string strError;
    ASSERT_TRUE(m_Emulator.Start(&strError)) << strError;

    ASSERT_TRUE(Exchange("127.0.0.3", "5A01", 'P'));
    EXPECT_EQ(1, Prop("VLPC.2B_5A01_01.EncryptionMode")->ToUChar(0));
    Prop("VLPC.2B_5A01_01.DeviceNumber")->SetUChar(5);

    ASSERT_TRUE(Exchange("127.0.0.3", "5A10", 'Q'));
    EXPECT_EQ(0, m_nResult);
    EXPECT_EQ("admin", Text("VLPC.2B_5A10_01.Contact"));
    EXPECT_EQ("10.0.0.53", Bytes(Prop("VLPC.2B_5A10_01.DNSServer")->ToSocketAddress(nullptr).GetHost()));

    m_pTarget->SetCurrentPassword("pw");
    ASSERT_TRUE(Exchange("127.0.0.3", "5A20", 'Q'));
    EXPECT_EQ(0, m_nResult);
    EXPECT_EQ(1, Prop("VLPC.2B_5A20_01.AccessLevel")->ToUChar(0));
}
