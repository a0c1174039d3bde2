// The VLPC request engine against the device emulator on loopback, with the
// project's packet definitions and a module mapping of the tests' own: every
// function of docs/protocol.md plain and enciphered, reply routing by
// result code, strays, retries, time-outs, sends per subnet and progress.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/core/VLErrorResultException.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLTimeoutException.h"
#include "base/core/VLUnsupportedException.h"
#include "cm/VLCMApi.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLAllowedRequests.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLProgressListener.h"
#include "cm/VLProperty.h"
#include "cm/VLRefusedRequestException.h"
#include "cm/VLSubnetInfoList.h"
#include "cm/VLTarget.h"
#include "modules/VLModuleLibraries.h"
#include "modules/vlpc/VLPC.h"
#include "tests/support/cm/DefinitionFiles.h"
#include "tests/modules/vlpc/VLPCTestHelpers.h"
#include "tests/support/emulator/DeviceEmulator.h"
#include "tests/support/TestSupport.h"
#include "tests/support/Watchdog.h"
#include "tests/support/cm/ModuleRegistration.h"

namespace {

// Lists of the tests' own beside the project's: other flags on the same
// functions, and a list of two functions.
const char* const kExtraLists =
    "<PacketList name=\"GetDetailQuiet\"><Function deviceType=\"2B\" function=\"5A10\" packetType=\"Q\" "
    "onError=\"false\"/></PacketList>"
    "<PacketList name=\"CheckPasswordQuiet\"><Function deviceType=\"2B\" function=\"5A20\" packetType=\"Q\" "
    "onError=\"false\"/></PacketList>"
    "<PacketList name=\"CheckPasswordStrict\"><Function deviceType=\"2B\" function=\"5A20\" packetType=\"Q\"/>"
    "</PacketList>"
    "<PacketList name=\"WLANQuiet\"><Function deviceType=\"2B\" function=\"5A11\" packetType=\"Q\" "
    "onUnsupported=\"false\"/></PacketList>"
    "<PacketList name=\"DetailThenSet\"><Function deviceType=\"2B\" function=\"5A02\" packetType=\"Q\"/>"
    "<Function deviceType=\"2B\" function=\"5A21\" packetType=\"S\"/></PacketList>"
    "<PacketList name=\"DetailThenReset\"><Function deviceType=\"2B\" function=\"5A10\" packetType=\"Q\"/>"
    "<Function deviceType=\"2B\" function=\"5A22\" packetType=\"I\" forceSetup=\"true\"/></PacketList>"
    "<PacketList name=\"Echo\"><Function deviceType=\"2B\" function=\"7E01\" packetType=\"Q\"/></PacketList>"
    "<PacketFormat deviceType=\"2B\" function=\"7E01\">"
    "<SendDataFormat><Field name=\"MAC\" type=\"MACAddress\" propertyPath=\"MACAddress\"/></SendDataFormat>"
    "<RecvDataFormat><Field name=\"MAC\" type=\"MACAddress\" propertyPath=\"EchoMAC\"/></RecvDataFormat>"
    "</PacketFormat>";

std::string Unicast(const char* szName, const char* szMethod, const char* szConsts)
{
    return std::string("<Instance name=\"") + szName + "\" module=\"VLMDVLPC\" method=\"" + szMethod + "\">" +
           szConsts +
           "<Instance name=\"UDP\" module=\"VLMDSock\"><Const name=\"castType\" value=\"unicast\"/>"
           "<Const name=\"toAddressPath\" value=\"IPAddress\"/></Instance></Instance>";
}

std::string Mapping()
{
    return "<ModuleMapping>"
           "<Module name=\"VLMDSock\"><Const name=\"protocol\" value=\"udp\"/>"
           "<Const name=\"socketMode\" value=\"single\"/></Module>"
           "<Module name=\"VLMDVLPC\"><Const name=\"timeout\" value=\"3000\"/><Const name=\"retry\" value=\"1\"/>"
           "</Module>" +
           Unicast("VLPC_Unicast", "Request", "") + Unicast("VLPC_Send", "Send", "") +
           "<Instance name=\"VLPC_Renamed\" module=\"VLMDVLPC\" method=\"Request\" onStartMethod=\"Rename\">"
           "<Instance name=\"UDP\" module=\"VLMDSock\"><Const name=\"castType\" value=\"unicast\"/>"
           "<Const name=\"toAddressPath\" value=\"IPAddress\"/></Instance></Instance>" +
           Unicast("VLPC_NonUnicast", "Request", "<Const name=\"unicast\" value=\"false\"/>") +
           "<Instance name=\"VLPC_Subnet\" module=\"VLMDVLPC\" method=\"Send\">"
           "<Const name=\"useSubnet\" value=\"true\"/><Const name=\"unicast\" value=\"false\"/>"
           "<Instance name=\"UDP\" module=\"VLMDSock\"><Const name=\"castType\" value=\"broadcast\"/>"
           "<Const name=\"toAddress\" value=\"127.255.255.255\"/></Instance></Instance>"
           "</ModuleMapping>";
}

class CProgress : public IVLProgressListener
{
public:
    void OnProgress(CVLCMApi*, CVLModuleInstance*, CVLTarget*, CVLCallbackInfo* pInfo) override
    {
        m_strEvents += Bytes(pInfo->GetEventCode()) + " " + std::to_string(pInfo->GetProgressValue()) + ";";
    }
    std::string m_strEvents;
};

class RequestTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string strVLPC = TestShippedDefinition("VLPC.xml");
        std::string strRoot = TestShippedDefinition("PropertyRoot.xml");
        ASSERT_TRUE(!strVLPC.empty() && !strRoot.empty()) << "the shipped definitions cannot be read";
        strVLPC.insert(strVLPC.rfind("</VLPC>"), kExtraLists);
        // GetDetail's error 1235 comes with a layout that has no MAC address
        // (of the version the tests' device speaks).
        strVLPC.insert(
            strVLPC.find("</PacketFormat>", strVLPC.find("function=\"5A10\"", strVLPC.find("<PacketFormat"))),
            "<RecvDataFormat result=\"1235\" version=\"2\"><Field name=\"Reason\" type=\"UShort\" "
            "propertyPath=\"VLPC.2B_5A10_01.Reason\"/></RecvDataFormat>"
            // Its error 1236 ends with its MAC address: the emulator's data
            // (a MAC address and a byte) then ends right after the field.
            "<RecvDataFormat result=\"1236\" version=\"2\"><Field name=\"Reason\" type=\"Byte\" "
            "propertyPath=\"VLPC.2B_5A10_01.Reason\"/><Field name=\"MACAddress\" type=\"MACAddress\" "
            "propertyPath=\"VLPC.2B_5A10_01.ErrorMAC\"/></RecvDataFormat>");
        m_Files.AddXml("VLPC.xml", strVLPC);
        m_Files.AddXml("PropertyRoot.xml", strRoot);
        m_Files.AddXml("ModuleMapping.xml", Mapping());
        m_Files.AddScript("NetRetry.vls", TestShippedDefinition("NetRetry.vls"));
        // A definition's script that has its instance run the reset.
        m_Files.AddScript("Rename.vls", "bool Rename()\n{\n    SetParameter(\"packetListName\", \"FactReset\");\n"
                                        "    return true;\n}\n");
        CVLCMApiConfig config;
        m_Files.Configure(config);
        m_Api.Initialize(&config, nullptr);
        m_pController = m_Api.GetModuleController();
        m_pTarget = m_pController->CreateTarget();
    }
    void TearDown() override
    {
        if (m_pTarget != nullptr)
            m_pTarget->Destroy(false);
        m_Emu.Stop();
        m_Api.Terminate();
    }
    void Start(const std::vector<EmuDevice>& devices)
    {
        for (const EmuDevice& d : devices)
            m_Emu.AddDevice(d);
        std::string strError;
        ASSERT_TRUE(m_Emu.Start(&strError)) << strError;
    }
    void SetProp(const char* szPath, const char* szText)
    {
        m_pTarget->GetProperties()->GetProperty(szPath, true)->SetString(szText, VL_CHARSET_UTF8);
    }
    CVLProperty* Prop(const char* szPath) { return m_pTarget->GetProperties()->GetProperty(szPath, false); }
    std::string Text(const char* szPath)
    {
        CVLProperty* p = Prop(szPath);
        return p == nullptr ? "<none>" : Bytes(p->ToString(""));
    }
    long Number(const char* szPath)
    {
        CVLProperty* p = Prop(szPath);
        return p == nullptr ? -1 : static_cast<long>(p->ToLong(-1));
    }
    // An instance of the function with the emulator's port and the call's
    // list, time-out and retry.
    // The emulator counts on its own thread: waits (2 s at most) until it
    // has seen n datagrams, and gives its count.
    int WaitDatagrams(int n)
    {
        for (int i = 0; i < 200 && m_Emu.DatagramCount() < n; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return m_Emu.DatagramCount();
    }
    CVLModuleInstance* Create(const char* szFunction, const char* szList, int nTimeout = 1000, int nRetry = 1,
                              const std::set<std::string>* pAllowed = nullptr)
    {
        CVLModuleParamCollection params;
        if (pAllowed != nullptr)
            params.SetAllowedRequests(CVLAllowedRequests::Of(*pAllowed));
        params.GetParam("toPort", true)->SetLong(m_Emu.Port());
        params.GetParam("timeout", true)->SetLong(nTimeout);
        params.GetParam("retry", true)->SetLong(nRetry);
        CVLModuleInstance* p = m_pController->CreateModuleInstance(m_pTarget, szFunction, &params);
        p->GetParams()->GetParam("packetListName", true)->SetString(szList, VL_CHARSET_UTF8);
        return p;
    }
    // Runs the list; "" when it returned, else the exception's class and
    // for device errors the protocol and result ("EVLErrorResultException VLPC(2B-5A10 Q) F001").
    std::string Run(const char* szFunction, const char* szList, int nTimeout = 1000, int nRetry = 1)
    {
        CVLModuleInstance* p = Create(szFunction, szList, nTimeout, nRetry);
        std::string s = Call(p);
        m_pController->DeleteModuleInstance(p);
        return s;
    }
    static std::string Call(CVLModuleInstance* p)
    {
        try {
            p->CallMethod();
        } catch (EVLErrorResultException* e) {
            char sz[16];
            std::snprintf(sz, sizeof(sz), " %04lX", static_cast<unsigned long>(e->GetResultCode()));
            std::string s = "EVLErrorResultException " + Bytes(e->GetProtocolName()) + sz;
            e->Delete();
            return s;
        } catch (EVLException* e) {
            CVLExceptionOwner owner(e);
            return Bytes(e->GetClassName());
        }
        return "";
    }
    // A target that has met its device: the probe's key properties, and the
    // address unicast commands go to.
    // A new target that knows only the device's address.
    void Blank(const char* szIP)
    {
        m_pTarget->Destroy(false);
        m_pTarget = m_pController->CreateTarget();
        SetProp("IPAddress", szIP);
    }
    // What a probe of Device(bEncrypted) at 127.0.0.2 leaves in the target.
    void Known(bool bEncrypted)
    {
        SetProp("IPAddress", "127.0.0.2");
        SetProp("MACAddress", "0026AB003457");
        SetProp("VLPC.2B_5A01_01.DeviceNumber", "5");
        SetProp("VLPC.2B_5A01_01.EncryptionMode", bEncrypted ? "1" : "0");
        SetProp("VLPC.2B_5A01_01.EncryptionType", bEncrypted ? "1" : "0");
        SetProp("VLPC.2B_5A01_01.VLPCVersion", "50");  // '2'
        SetProp("VLPC.2B_5A01_01.CipherType", "2");    // MD5
    }
    void Probe(const char* szIP = "127.0.0.2")
    {
        Blank(szIP);  // as the probe does it
        ASSERT_EQ(Run("VLPC_Unicast", "Probe"), "");
    }

    CModuleRegistration m_Registration{VLRegisterModuleLibraries};
    CDefinitionFiles m_Files;
    CVLCMApi m_Api;
    CVLModuleController* m_pController = nullptr;
    CVLTarget* m_pTarget = nullptr;
    CDeviceEmulator m_Emu{0};
    CWatchdog m_Watchdog{200, "VLPC request test"};
};

EmuDevice Device(bool bEncrypted)
{
    EmuDevice d;
    d.bEncrypted = bEncrypted;
    d.mac[4] = 0x34, d.mac[5] = 0x57;
    d.nNumber = 5;
    d.bWireless = true;
    d.strPassword = "secret";
    d.nRestartMs = 0;
    d.scanList = {{"other", 11, 1, 40}};
    return d;
}

}  // namespace

// Every function of the protocol, with the device's cipher off and on: the
// probe saves the device number and the cipher settings that the later
// requests use.
TEST_F(RequestTest, EveryFunctionPlainAndEnciphered)
{
    Start({Device(true)});
    EmuDevice plain = Device(false);
    plain.strIP = "127.0.0.3";
    plain.mac[5] = 0x58;
    m_Emu.AddDevice(plain);
    for (const char* szIP : {"127.0.0.3", "127.0.0.2"}) {
        SCOPED_TRACE(szIP);
        bool bEnciphered = std::string(szIP) == "127.0.0.2";
        Probe(szIP);
        EXPECT_EQ(Text("MACAddress"), bEnciphered ? "0026AB003457" : "0026AB003458");
        EXPECT_EQ(Number("VLPC.2B_5A01_01.DeviceNumber"), 5);
        EXPECT_EQ(Number("VLPC.2B_5A01_01.EncryptionMode"), bEnciphered ? 1 : 0);
        EXPECT_EQ(Text("VLPC.2B_5A01_01.ModelName"), "Model A");
        m_pTarget->SetCurrentPassword("secret");

        EXPECT_EQ(Run("VLPC_Unicast", "CheckUnicast"), "");
        EXPECT_EQ(Number("VLPC.2B_5A02_01.LinkStatus"), 1);
        EXPECT_EQ(Run("VLPC_Unicast", "GetSupportInformation"), "");
        EXPECT_EQ(Number("VLPC.2B_5A03_01.Capabilities"), 0x1E);
        EXPECT_EQ(Run("VLPC_Unicast", "GetListInfo"), "");
        EXPECT_EQ(Text("VLPC.2B_5A04_01.SerialNumber"), "SN0000000001");
        EXPECT_EQ(Run("VLPC_Unicast", "GetDetail"), "");
        EXPECT_EQ(Text("VLPC.2B_5A10_01.NodeName"), "node");
        EXPECT_EQ(Text("VLPC.2B_5A10_01.DNSServer"), "0.0.0.0");  // the layout of version 2
        EXPECT_EQ(Run("VLPC_Unicast", "GetWirelessLANInfo"), "");
        EXPECT_EQ(Text("VLPC.2B_5A11_01.SSID"), "net");
        EXPECT_EQ(Text("VLPC.2B_5A11_01.ScanList.0.SSID"), "other");
        EXPECT_EQ(Run("VLPC_Unicast", "CheckPassword"), "");
        EXPECT_EQ(Number("VLPC.2B_5A20_01.AccessLevel"), 1);
        EXPECT_EQ(Number("VLPC.2B_5A20_01.Result"), 0);
        SetProp("VLPC.2B_5A10_01.NodeName", "renamed");
        EXPECT_EQ(Run("VLPC_Unicast", "SetDetail"), "");
        EXPECT_EQ(Number("VLPC.2B_5A21_01.Result"), 0);
        EmuDevice now;
        const uint8_t mac[6] = {0x00, 0x26, 0xAB, 0x00, 0x34, static_cast<uint8_t>(bEnciphered ? 0x57 : 0x58)};
        ASSERT_TRUE(m_Emu.GetDevice(mac, now));
        EXPECT_EQ(now.strNodeName, "renamed");
        EXPECT_EQ(Run("VLPC_Unicast", "FactReset"), "");
        EXPECT_EQ(Number("VLPC.2B_5A22_01.Result"), 0);
        EXPECT_EQ(Number("VLPC.2B_5A22_01.RebootRequired"), 1);
        // Reboot polling runs on a blank target, as the probe does.
        Blank(szIP);
        EXPECT_EQ(Run("VLPC_Unicast", "RebootPolling"), "");
        EXPECT_EQ(Text("VLPC.2B_5A30_01.IPAddress"), szIP);
    }
}

// Result routing in unicast mode: errors throw or stay quiet by the
// Function's flags; E001 is a success; 1001 expands with errorWithDataOK.
TEST_F(RequestTest, UnicastResultRouting)
{
    Start({Device(false)});
    Probe();
    SetProp("VLPC.2B_5A01_01.DeviceNumber", "7");  // not the device's: F001
    EXPECT_EQ(Run("VLPC_Unicast", "GetDetail"), "EVLErrorResultException VLPC(2B-5A10 Q) F001");
    EXPECT_EQ(Run("VLPC_Unicast", "GetDetailQuiet"), "");
    EXPECT_EQ(Run("VLPC_Unicast", "CheckPasswordQuiet"), "");
    EXPECT_EQ(Number("VLPC.2B_5A20_01.Result"), 0xF001);  // quiet, but written
    Probe();

    m_pTarget->SetCurrentPassword("wrong");
    EXPECT_EQ(Run("VLPC_Unicast", "CheckPassword"), "");
    EXPECT_EQ(Number("VLPC.2B_5A20_01.Result"), 0x1001);
    EXPECT_EQ(Number("VLPC.2B_5A20_01.RetryLeft"), 4);
    EXPECT_EQ(Run("VLPC_Unicast", "CheckPasswordStrict"), "EVLErrorResultException VLPC(2B-5A20 Q) 1001");
    EXPECT_EQ(Run("VLPC_Unicast", "FactReset"), "EVLErrorResultException VLPC(2B-5A22 I) F003");

    m_pTarget->SetCurrentPassword("secret");
    EXPECT_EQ(Run("VLPC_Unicast", "GetDetail"), "");
    SetProp("VLPC.2B_5A10_01.IPMode", "1");  // an address setting: E001
    EXPECT_EQ(Run("VLPC_Unicast", "SetDetail"), "");
    EXPECT_EQ(Number("VLPC.2B_5A21_01.Result"), 0xE001);
    EXPECT_EQ(Number("VLPC.2B_5A21_01.RebootRequired"), 1);
}

TEST_F(RequestTest, UnsupportedReplies)
{
    Start({Device(false)});
    EmuDevice wired = Device(false);
    wired.bWireless = false;
    wired.strIP = "127.0.0.3";
    wired.mac[5] = 0x58;
    m_Emu.AddDevice(wired);
    Probe("127.0.0.3");
    EXPECT_EQ(Run("VLPC_Unicast", "GetWirelessLANInfo"), "EVLErrorResultException VLPC(2B-5A11 Q) FF01");
    // The target tells, while the try waits, what came; a new try forgets it.
    EXPECT_EQ(m_pTarget->GetHeldResult(), 0xFF01u);
    EXPECT_EQ(Run("VLPC_Unicast", "GetDetail"), "");
    EXPECT_EQ(m_pTarget->GetHeldResult(), 0u);
    EXPECT_EQ(Run("VLPC_Unicast", "WLANQuiet"), "");
    // Non-unicast mode: FF01 without data fails the MAC check of a known
    // device and is ignored; without an expected MAC it is handled.
    EXPECT_EQ(Run("VLPC_NonUnicast", "GetWirelessLANInfo", 200), "EVLTimeoutException");
    SetProp("MACAddress", "");
    EXPECT_EQ(Run("VLPC_NonUnicast", "GetWirelessLANInfo"), "EVLErrorResultException VLPC(2B-5A11 Q) FF01");
    EXPECT_EQ(Run("VLPC_NonUnicast", "WLANQuiet"), "");
}

// In non-unicast mode an error reply is ignored until the time-out.
TEST_F(RequestTest, NonUnicastIgnoresErrors)
{
    Start({Device(false)});
    Probe();
    SetProp("VLPC.2B_5A01_01.DeviceNumber", "7");
    CVLModuleInstance* p = Create("VLPC_NonUnicast", "GetDetail", 200);
    EXPECT_EQ(Call(p), "EVLTimeoutException");
    m_pController->DeleteModuleInstance(p);
    EXPECT_EQ(Run("VLPC_NonUnicast", "CheckPassword", 200), "EVLTimeoutException");
}

// Hostile replies that are not replies are read past until the time-out,
// and none of them is written as the result.
TEST_F(RequestTest, NonMatchingRepliesAreIgnored)
{
    const EmuHostile kinds[] = {EmuHostile::Truncated, EmuHostile::Empty,    EmuHostile::BadMagic,
                                EmuHostile::Oversized, EmuHostile::SpoofMac, EmuHostile::OtherType};
    const int kKinds = static_cast<int>(sizeof(kinds) / sizeof(kinds[0]));
    std::vector<EmuDevice> devices;
    for (int i = 0; i < kKinds; ++i) {
        EmuDevice d = Device(false);
        d.strIP = "127.0.0." + std::to_string(2 + i);
        d.mac[5] = static_cast<uint8_t>(0x60 + i);
        devices.push_back(d);
    }
    Start(devices);
    for (int i = 0; i < kKinds; ++i) {
        std::string strIP = "127.0.0." + std::to_string(2 + i);
        SCOPED_TRACE(strIP);
        Probe(strIP.c_str());
        m_pTarget->SetCurrentPassword("secret");
        EXPECT_EQ(Run("VLPC_Unicast", "CheckPassword"), "");
        EXPECT_EQ(Number("VLPC.2B_5A20_01.Result"), 0);
    }
    m_Emu.Stop();
    // The same devices, now hostile.
    CDeviceEmulator hostile(m_Emu.Port());
    for (int i = 0; i < kKinds; ++i) {
        devices[i].eHostile = kinds[i];
        hostile.AddDevice(devices[i]);
    }
    ASSERT_TRUE(hostile.Start());
    for (int i = 0; i < kKinds; ++i) {
        std::string strIP = "127.0.0." + std::to_string(2 + i);
        SCOPED_TRACE(strIP);
        SetProp("IPAddress", strIP.c_str());
        char szMac[16];
        std::snprintf(szMac, sizeof(szMac), "0026AB0034%02X", 0x60 + i);
        SetProp("MACAddress", szMac);
        EXPECT_EQ(Run("VLPC_Unicast", "CheckPassword", 200), "EVLTimeoutException");
        CVLProperty* pResult = Prop("VLPC.2B_5A20_01.Result");
        EXPECT_TRUE(pResult == nullptr || pResult->GetType() == VL_VARIANT_TYPE_EMPTY)
            << Text("VLPC.2B_5A20_01.Result");
    }
    hostile.Stop();
}

// A reply carrying another MAC address is ignored, and the genuine one
// after it taken.
TEST_F(RequestTest, OtherMacIgnoredGenuineAccepted)
{
    EmuDevice spoof = Device(true);
    spoof.eHostile = EmuHostile::SpoofMac;
    EmuDevice genuine = Device(true);
    genuine.nDelayMs = 50;
    Start({spoof, genuine});
    Known(true);
    EXPECT_EQ(Run("VLPC_Unicast", "GetDetail"), "");
    EXPECT_EQ(Text("MACAddress"), "0026AB003457");
    EXPECT_EQ(Text("VLPC.2B_5A10_01.NodeName"), "node");
}

// A second host at the device's address answers first with an error that
// names no device (F004, without data; 1234 with two bytes, too short for a
// MAC address; 1235, whose layout has none; CheckPassword's 1001 too short
// for one) or that names another device (1001 with its own MAC address): the
// device's own reply in the same try wins. An error that names no device
// counts only when no reply of the device came by the try's end, and then
// ends the request without a further try; one that names another device is
// that device's reply, and reading goes on (here to the device's own F004).
TEST_F(RequestTest, AnErrorReplyCountsOnlyAtTheEndOfItsTry)
{
    Start({});
    m_Emu.Stop();  // its port is the rows' emulators'
    EmuDevice f004 = Device(false);
    f004.mac[5] = 0x58;  // another device: the request's TargetMAC is not its own (F004)
    auto dataError = [](uint8_t nMac, uint16_t nFunction, uint16_t nResult, bool bNamesItself) {
        EmuDevice d = Device(false);
        d.mac[5] = nMac;
        d.nDataErrorFunction = nFunction;
        d.nResult = nResult;
        if (bNamesItself)
            std::memcpy(d.victim, d.mac, sizeof(d.victim));
        return d;
    };
    EmuDevice genuine = Device(false);
    genuine.nDelayMs = 50;
    const struct
    {
        EmuDevice other;
        const char* szList;
        const char* szSeenPath;  // what the genuine reply writes
        const char* szSeen;
        const char* szError;  // the outcome when the request names neither device
        long nResult;         // and the result it leaves (-1: the function has none)
    } rows[] = {
        {f004, "GetDetail", "VLPC.2B_5A10_01.NodeName", "node", "EVLErrorResultException VLPC(2B-5A10 Q) F004", -1},
        {dataError(0x59, 0x5A10, 0x1234, false), "GetDetail", "VLPC.2B_5A10_01.NodeName", "node",
         "EVLErrorResultException VLPC(2B-5A10 Q) 1234", -1},
        {dataError(0x59, 0x5A10, 0x1235, false), "GetDetail", "VLPC.2B_5A10_01.NodeName", "node",
         "EVLErrorResultException VLPC(2B-5A10 Q) 1235", -1},
        // A wrong password, told quietly as its function says.
        {dataError(0x59, 0x5A20, 0x1001, false), "CheckPassword", "VLPC.2B_5A20_01.Result", "0", "", 0x1001},
        {dataError(0x59, 0x5A20, 0x1001, true), "CheckPassword", "VLPC.2B_5A20_01.Result", "0",
         "EVLErrorResultException VLPC(2B-5A20 Q) F004", 0xF004},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.szError);
        SCOPED_TRACE(row.other.nResult);
        CDeviceEmulator emu(m_Emu.Port());
        emu.AddDevice(row.other);
        emu.AddDevice(genuine);
        ASSERT_TRUE(emu.Start());
        Blank("127.0.0.2");
        Known(false);
        m_pTarget->SetCurrentPassword("secret");
        EXPECT_EQ(Run("VLPC_Unicast", row.szList), "");
        EXPECT_EQ(Text(row.szSeenPath), row.szSeen);

        SetProp("MACAddress", "0026AB00FFFF");  // neither device's
        const int nBefore = emu.RequestCount(EmuMacText(row.other.mac));
        EXPECT_EQ(Run("VLPC_Unicast", row.szList, 300, 3), row.szError);
        EXPECT_EQ(emu.RequestCount(EmuMacText(row.other.mac)) - nBefore, 1);
        if (row.nResult >= 0) {
            EXPECT_EQ(Number("VLPC.2B_5A20_01.Result"), row.nResult);
        }
        emu.Stop();
    }
}

// An error whose data ends right after its MAC address carries the address:
// naming the device, it decides at once, before the device's own reply;
// naming another, it is read past, and the tries run out.
TEST_F(RequestTest, AnErrorEndingRightAfterItsMACAddressNamesADevice)
{
    Start({});
    m_Emu.Stop();  // its port is the rows' emulators'
    EmuDevice genuine = Device(false);
    genuine.mac[5] = 0x01;
    genuine.nDelayMs = 50;
    const struct
    {
        uint8_t nNamedMac4;  // the error's MAC address: 00:26:AB:00:N:01
        bool bGenuine;       // the device itself answers too
        const char* szOutcome;
        int nRequests;
    } rows[] = {
        {0x34, true, "EVLErrorResultException VLPC(2B-5A10 Q) 1236", 1},
        {0x35, false, "EVLTimeoutException", 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.szOutcome);
        EmuDevice other = Device(false);
        other.mac[5] = 0x59;
        other.nDataErrorFunction = 0x5A10;
        other.nResult = 0x1236;
        // Sent as the MAC address and a byte; the layout reads the reason
        // byte first, so its MAC field is the last five of these and 01.
        const uint8_t named[6] = {0xAA, 0x00, 0x26, 0xAB, 0x00, row.nNamedMac4};
        std::memcpy(other.victim, named, sizeof(other.victim));
        CDeviceEmulator emu(m_Emu.Port());
        emu.AddDevice(other);
        if (row.bGenuine)
            emu.AddDevice(genuine);
        ASSERT_TRUE(emu.Start());
        Known(false);
        SetProp("MACAddress", "0026AB003401");
        EXPECT_EQ(Run("VLPC_Unicast", "GetDetail", 300, 2), row.szOutcome);
        EXPECT_EQ(emu.RequestCount(EmuMacText(other.mac)), row.nRequests);
        emu.Stop();
    }
}

// A new try forgets the error the last one held: it is no answer to a
// request that nobody answered.
TEST_F(RequestTest, ANewTryForgetsTheErrorTheLastOneHeld)
{
    EmuDevice other = Device(false);
    other.mac[5] = 0x58;  // answers F004
    Start({other});
    Known(false);
    CVLModuleInstance* p = Create("VLPC_Send", "GetDetail", 200);
    CVLModuleParamCollection* pParams = p->GetParams();
    pParams->SetMethodName("Send");
    EXPECT_EQ(Call(p), "");
    pParams->SetMethodName("Recv");
    pParams->GetParam("look", true)->SetBool(true);
    EXPECT_EQ(Call(p), "EVLTimeoutException");  // F004 held
    m_Emu.Stop();
    pParams->SetMethodName("Send");
    EXPECT_EQ(Call(p), "");
    pParams->SetMethodName("Recv");
    pParams->GetParam("look", true)->SetBool(false);
    pParams->GetParam("tryOver", true)->SetBool(true);
    EXPECT_EQ(Call(p), "EVLTimeoutException");
    m_pController->DeleteModuleInstance(p);
}

// A request whose payload carries the MAC address is matched against the
// plain request, also when it went out enciphered.
TEST_F(RequestTest, MacCheckOfAnEncipheredRequest)
{
    int nFd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = inet_addr("127.0.0.4");
    ASSERT_EQ(bind(nFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    socklen_t nLen = sizeof(addr);
    getsockname(nFd, reinterpret_cast<sockaddr*>(&addr), &nLen);
    const uint8_t mac[6] = {0x00, 0x26, 0xAB, 0x12, 0x34, 0x57};
    // Echoes the deciphered MAC address of the request as its reply.
    std::thread device([&]() {
        uint8_t buf[600];
        sockaddr_in from{};
        socklen_t nFrom = sizeof(from);
        ssize_t n = recvfrom(nFd, buf, sizeof(buf), 0, reinterpret_cast<sockaddr*>(&from), &nFrom);
        if (n < 14 + 6)
            return;
        std::vector<uint8_t> payload(buf + 14, buf + n);
        EmuWordCipher(payload, mac, false);
        std::vector<uint8_t> reply(buf, buf + 14);
        reply[5] += 0x20;
        std::vector<uint8_t> data(payload.begin(), payload.begin() + 6);
        EmuWordCipher(data, mac, true);
        reply.insert(reply.end(), data.begin(), data.end());
        sendto(nFd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), nFrom);
    });
    SetProp("IPAddress", "127.0.0.4");
    SetProp("MACAddress", "0026AB123457");
    SetProp("VLPC.2B_5A01_01.EncryptionMode", "1");
    SetProp("VLPC.2B_5A01_01.EncryptionType", "1");
    CVLModuleParamCollection params;
    params.GetParam("toPort", true)->SetLong(ntohs(addr.sin_port));
    params.GetParam("timeout", true)->SetLong(2000);
    CVLModuleInstance* p = m_pController->CreateModuleInstance(m_pTarget, "VLPC_Unicast", &params);
    p->GetParams()->GetParam("packetListName", true)->SetString("Echo", VL_CHARSET_UTF8);
    EXPECT_EQ(Call(p), "");
    m_pController->DeleteModuleInstance(p);
    device.join();
    close(nFd);
    EXPECT_EQ(Text("EchoMAC"), "0026AB123457");
}

TEST_F(RequestTest, RetriesSendAgainAndTimeOut)
{
    Start({});
    SetProp("IPAddress", "127.0.0.9");  // nobody there: the emulator only counts
    EXPECT_EQ(Run("VLPC_Unicast", "GetDetail", 100, 3), "EVLTimeoutException");
    EXPECT_EQ(m_Emu.DatagramCount(), 3);
    // A time-out of 0 or less is kept to a short wait, never an endless one
    // (-1 is the socket's receive threads' wait without limit).
    EXPECT_EQ(Run("VLPC_Unicast", "GetDetail", 0, 1), "EVLTimeoutException");
    EXPECT_EQ(Run("VLPC_Unicast", "GetDetail", -1, 1), "EVLTimeoutException");
    EXPECT_EQ(WaitDatagrams(5), 5);
}

// Strays arriving every 0.3 ms do not hold the wait open: it ends long
// before the three seconds of strays do.
TEST_F(RequestTest, FloodOfStraysDoesNotExtendTheWait)
{
    EmuDevice d = Device(false);
    d.eHostile = EmuHostile::Strays;
    d.nFloodCount = 10000;
    d.nStrayGapUs = 300;
    Start({d});
    SetProp("IPAddress", "127.0.0.2");
    SetProp("MACAddress", "0026AB003457");
    SetProp("VLPC.2B_5A01_01.DeviceNumber", "5");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run("VLPC_Unicast", "CheckUnicast", 200), "EVLTimeoutException");
    auto nMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(nMs, 2000);
}

// "Send" goes out once whatever the retry; "Recv" then takes its reply.
// "Recv" before any "Send" has nothing to wait for.
TEST_F(RequestTest, SendOnceThenRecv)
{
    Start({Device(false)});
    Probe();
    m_pTarget->GetProperties()->ResetModify();  // so that SetDetail has nothing to send
    int nBefore = m_Emu.DatagramCount();
    CVLModuleInstance* p = Create("VLPC_Send", "DetailThenSet", 1000, 3);
    p->GetParams()->SetMethodName("Recv");
    EXPECT_EQ(Call(p), "EVLTimeoutException");
    p->GetParams()->SetMethodName("Send");
    EXPECT_EQ(Call(p), "");  // CheckUnicast sent; SetDetail skipped, nothing changed
    EXPECT_EQ(WaitDatagrams(nBefore + 1), nBefore + 1);
    EXPECT_NE(Number("VLPC.2B_5A02_01.LinkStatus"), 1);
    p->GetParams()->SetMethodName("Recv");
    EXPECT_EQ(Call(p), "");
    EXPECT_EQ(m_Emu.DatagramCount(), nBefore + 1);
    EXPECT_EQ(Number("VLPC.2B_5A02_01.LinkStatus"), 1);
    p->GetParams()->SetMethodName("Bogus");
    EXPECT_EQ(Call(p), "EVLUnsupportedException");
    m_pController->DeleteModuleInstance(p);
    EXPECT_EQ(Run("VLPC_Unicast", "NoSuchList"), "");
    EXPECT_EQ(m_Emu.DatagramCount(), nBefore + 1);
}

// A call allowed only some requests sends no other, whatever list it is
// given or a script of the definitions renames it to: the list is refused,
// naming itself and the request, before any of it leaves.
TEST_F(RequestTest, ACallSendsOnlyTheRequestsItIsAllowed)
{
    Start({Device(false)});
    Probe();
    const int nBefore = m_Emu.DatagramCount();
    const std::set<std::string> reading = {"Q2B5A02", "q2b5a10"};
    const std::pair<const char*, const char*> kRefused[] = {{"VLPC_Unicast", "DetailThenReset"},
                                                            {"VLPC_Renamed", "GetDetail"}};
    for (const auto& row : kRefused) {
        CVLModuleInstance* p = Create(row.first, row.second, 1000, 1, &reading);
        try {
            p->CallMethod();
            ADD_FAILURE() << row.first << " sent its list";
        } catch (EVLRefusedRequestException* e) {
            CVLExceptionOwner owner(e);
            EXPECT_EQ(std::string("the packet list \"") + (row.second == std::string("GetDetail") ? "FactReset" : row.second) +
                          "\" sends the request 2B 5A22 \"I\", which this call may not send: refused before it was sent",
                      Bytes(e->GetReason()));
        } catch (EVLException* e) {
            CVLExceptionOwner owner(e);
            ADD_FAILURE() << Bytes(e->GetClassName());
        }
        m_pController->DeleteModuleInstance(p);
    }
    // What it may send goes (the codes' letter case aside), and only that:
    // the reply to it came after anything sent before it.
    CVLModuleInstance* p = Create("VLPC_Unicast", "GetDetail", 1000, 1, &reading);
    EXPECT_EQ(Call(p), "");
    m_pController->DeleteModuleInstance(p);
    EXPECT_EQ(m_Emu.DatagramCount(), nBefore + 1);
}

TEST_F(RequestTest, UseSubnetSendsOncePerSubnet)
{
    Start({});
    CVLSubnetInfoList& subnets = m_pController->GetSubnetInfoList();
    for (const char* szAddress : {"127.0.0.1", "127.1.0.1", "127.2.0.1"}) {
        CVLSubnetInfo* pInfo = subnets.Add(subnets.CreateElement());
        pInfo->SetIPAddress(szAddress);
        pInfo->SetSubnetMask(std::string(szAddress) == "127.0.0.1" ? "255.0.0.0" : "255.255.0.0");
    }
    EXPECT_EQ(Run("VLPC_Subnet", "Probe"), "");
    EXPECT_EQ(WaitDatagrams(3), 3);
    subnets.DeleteAll();
    EXPECT_EQ(Run("VLPC_Subnet", "Probe"), "");
    EXPECT_EQ(WaitDatagrams(4), 4);
}

TEST_F(RequestTest, ProgressEvents)
{
    Start({Device(false)});
    Probe();
    m_pTarget->GetProperties()->ResetModify();
    CProgress progress;
    CVLModuleInstance* p = Create("VLPC_Unicast", "DetailThenSet");
    p->GetParams()->SetProgressListener(&progress);
    EXPECT_EQ(Call(p), "");
    for (int i = 0; i < 5; ++i)
        m_pController->DispatchCallback(0);
    m_pController->DeleteModuleInstance(p);
    EXPECT_EQ(progress.m_strEvents, "EVENT_START_PACKETLIST 2;EVENT_DONE_ONE_PACKET 1;EVENT_DONE_ONE_PACKET 2;"
                                    "EVENT_END_PACKETLIST 2;");
}

// Defaults, the definitions' constants, the call's "timeout" and "retry"
// over them, and time-outs kept between 1 ms and the largest int.
TEST(VLPCParameters, DefaultsConstantsAndCallOverrides)
{
    CVLCMApi api;
    CVLModuleController* pController = api.GetModuleController();
    CVLModuleParamCollection params;
    params.SetController(pController);
    CVLPC vlpc(nullptr);
    vlpc.LoadParameters(nullptr, &params);
    EXPECT_EQ(vlpc.GetTimeout(), 10000);
    EXPECT_EQ(vlpc.GetRetry(), 1);
    EXPECT_TRUE(vlpc.IsUnicast());
    EXPECT_FALSE(vlpc.IsUseSubnet());

    pController->SetConst("timeout", "500", nullptr, nullptr);
    pController->SetConst("retry", "3", nullptr, nullptr);
    pController->SetConst("unicast", "false", nullptr, nullptr);
    pController->SetConst("useSubnet", "true", nullptr, nullptr);
    vlpc.LoadParameters(nullptr, &params);
    EXPECT_EQ(vlpc.GetTimeout(), 500);
    EXPECT_EQ(vlpc.GetRetry(), 3);
    EXPECT_FALSE(vlpc.IsUnicast());
    EXPECT_TRUE(vlpc.IsUseSubnet());

    params.GetParam("timeout", true)->SetString("soon", VL_CHARSET_UTF8);
    params.GetParam("retry", true)->SetLong(7);
    vlpc.LoadParameters(nullptr, &params);
    EXPECT_EQ(vlpc.GetTimeout(), 10000);
    EXPECT_EQ(vlpc.GetRetry(), 7);
    for (const char* szTimeout : {"0", "-20", "-1"}) {
        params.GetParam("timeout", true)->SetString(szTimeout, VL_CHARSET_UTF8);
        vlpc.LoadParameters(nullptr, &params);
        EXPECT_EQ(vlpc.GetTimeout(), 1) << szTimeout;
    }
    params.GetParam("timeout", true)->SetString("99999999999", VL_CHARSET_UTF8);
    vlpc.LoadParameters(nullptr, &params);
    EXPECT_EQ(vlpc.GetTimeout(), 2147483647);
}
