// The simulated probe: the grammar of the two device lists, what a simulated
// device becomes, the bounds on what is read, and its devices reaching a
// client that rejects some of them while other reports are delivered.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/thread/VLThread.h"
#include "cm/VLCMApi.h"
#include "cm/VLProperty.h"
#include "ecm/VLECM.h"
#include "ecm/probe/VLECMProbeInstance.h"
#include "ecm/simulated/VLECMDummyProbe.h"
#include "ecm/simulated/VLECMDummyProbeCallbackIF.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "tests/support/Eventually.h"
#include "tests/support/ecm/DispatchHold.h"
#include "tests/support/ecm/FakeNetwork.h"
#include "tests/support/ecm/RefusingQueue.h"
#include "tests/support/ecm/ECMTestClient.h"
#include "tests/support/TestSupport.h"
#include "tests/support/Watchdog.h"
#include "tests/support/TempFolder.h"

namespace {

const char* const kPropertyNS = "http://vlnet.invalid/orvek-net/2009/05/dummy-property-info";
const char* const kPrinterNS = "http://vlnet.invalid/orvek-net/2009/05/dummy-printer-list";

// A device manager whose "Initialize." options the test sets (they are
// refused by SetProperty and otherwise only set by a full Initialize).
class CTestECM : public CVLECM
{
public:
    CVLString GetProperty(VL_CONST_STR szKey) override
    {
        std::map<std::string, std::string>::const_iterator it = m_Overrides.find(szKey);
        if (it != m_Overrides.end())
            return CVLString(it->second.c_str(), VL_CHARSET_UTF8);
        return CVLECM::GetProperty(szKey);
    }
    std::map<std::string, std::string> m_Overrides;
};

// What the receiver keeps of one simulated device.
struct CReport
{
    std::string strMAC;
    VLECM_CONNECT_TYPE eConnectType;
    bool bDummy;
    bool bConnect[2];
    bool bUnicast[2];
    std::map<std::string, std::string> properties;  // path -> value text
    std::map<std::string, int> types;               // path -> variant type
};

class CReceiver : public IVLECMDummyProbeCallbackIF
{
public:
    explicit CReceiver(std::vector<std::string> paths) : m_Paths(std::move(paths)) {}
    void OnDummyProbe(CVLECMDummyProbe* pProbe, CVLECMNIFInfo& info, VLECM_CONNECT_TYPE eConnectType) override
    {
        if (m_bStopAtFirst)
            pProbe->StopDummyProbe();  // on the run's own thread: asks it to end
        CReport r;
        r.strMAC = Bytes(info.GetMACAddress());
        r.eConnectType = eConnectType;
        r.bDummy = info.IsDummy();
        for (int i = 0; i < 2; ++i) {
            r.bConnect[i] = info.IsConnect(static_cast<VLECM_CONNECT_TYPE>(i));
            r.bUnicast[i] = info.IsUnicast(static_cast<VLECM_CONNECT_TYPE>(i));
        }
        for (const std::string& strPath : m_Paths) {
            CVLProperty* p = info.GetProperties()->GetProperty(strPath.c_str(), false);
            if (p != nullptr) {
                r.properties[strPath] = Bytes(p->ToString(""));
                r.types[strPath] = p->GetType();
            }
        }
        m_Reports.push_back(r);
    }
    std::vector<std::string> m_Paths;
    std::vector<CReport> m_Reports;
    bool m_bStopAtFirst = false;
};

std::string PropertyInfo(const std::string& strSets, const std::string& strHead = "")
{
    return (strHead.empty() ? "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" : strHead) + "<DummyPropertyInfo xmlns=\"" +
           kPropertyNS + "\">" + strSets + "</DummyPropertyInfo>";
}

std::string PrinterList(const std::string& strPrinters)
{
    return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?><l:DummyPrinterList xmlns:l=\"") + kPrinterNS +
           "\" xmlns:p=\"" + kPropertyNS + "\">" + strPrinters + "</l:DummyPrinterList>";
}

class DummyProbeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CTempPath szDir("vlecm-dummy-XXXXXX");
        ASSERT_NE(nullptr, mkdtemp(szDir));
        m_strDir = szDir;
        m_ECM.m_Overrides["Initialize.DummyProbe.RootDir"] = m_strDir;
        m_ECM.m_Overrides["Initialize.DummyProbe.PropertyInfoFile"] = "PropertyInfo.xml";
        m_ECM.m_Overrides["Initialize.DummyProbe.PrinterListFile"] = "PrinterList.xml";
        m_ECM.m_Overrides["Config.NIFPropTree.FromIPAddressPath"] = "IPAddress";
    }
    void TearDown() override
    {
        m_Probe.Terminate();
        std::remove((m_strDir + "/PropertyInfo.xml").c_str());
        std::remove((m_strDir + "/PrinterList.xml").c_str());
        rmdir(m_strDir.c_str());
    }
    void Write(const std::string& strName, const std::string& strText)
    {
        std::ofstream(m_strDir + "/" + strName, std::ios::binary) << strText;
    }
    // One run, to its end.
    void Run()
    {
        m_Probe.StartDummyProbe();
        while (m_Probe.IsStarted())
            CVLThread::Sleep(1);
    }

    std::string m_strDir;
    // The project's definitions name modules: stand-ins that send nothing.
    CFakeNetwork m_Network;
    CTestECM m_ECM;
    CReceiver m_Receiver{{"IPAddress", "MACAddress", "LAN.UnicastFlag", "USB.UnicastFlag", "A", "B", "C", "D", "Byte",
                          "ULong", "UShort", "Bytes", "Addr", "Zeros", "Other"}};
    CVLECMDummyProbe m_Probe;
};

}  // namespace

TEST_F(DummyProbeTest, PropertySetGrammar)
{
    Write("PropertyInfo.xml",
          PropertyInfo("<DummyPropertySet hardwareType=\"default\">"
                       "<Property path=\"A\" dataType=\"String\" value=\"first\"/>"
                       "<Property path=\"A\" dataType=\"String\" value=\"second\"/>"
                       "<Property path=\"B\" dataType=\"byte\" value=\"7\"/>"
                       "<Property path=\"\" value=\"no path\"/><Property path=\"x..y\" value=\"bad\"/>"
                       "<Other path=\"C\" value=\"not a property\"/><!-- comment -->text"
                       "</DummyPropertySet>"
                       // The same URI in capitals, another prefix: still ours.
                       "<q:DummyPropertySet xmlns:q=\"HTTP://VLNET.INVALID/orvek-net/2009/05/dummy-property-info\""
                       " hardwareType=\"0x2b01\"><q:Property path=\"A\" dataType=\"ULong\" value=\"1\"/>"
                       "</q:DummyPropertySet>"
                       "<DummyPropertySet hardwareType=\"2B01\"><Property path=\"A\" value=\"later\"/>"
                       "<Property path=\"B\" value=\"added\"/></DummyPropertySet>"
                       "<DummyPropertySet hardwareType=\"Default\"><Property path=\"C\" value=\"c\"/>"
                       "</DummyPropertySet>"
                       "<DummyPropertySet xmlns=\"http://other.invalid/\" hardwareType=\"5\">"
                       "<Property path=\"D\"/></DummyPropertySet>"));
    m_Probe.Initialize(&m_ECM, &m_Receiver);
    ASSERT_TRUE(m_Probe.IsInitialized());
    const VLECM_DUMMY_PROPERTY_SET_MAP& sets = m_Probe.GetPropertyInfoSetMap();
    ASSERT_EQ(2u, sets.size());  // 0 ("default" and "Default") and 0x2B01; type 5 is in another namespace
    const VLECM_DUMMY_PROPERTY_MAP& defaults = sets.at(0);
    ASSERT_EQ(3u, defaults.size());
    EXPECT_EQ("first", Bytes(defaults.at(CVLString("A", VL_CHARSET_UTF8)).strValue));
    EXPECT_EQ(VLECM_DUMMY_DATA_TYPE_OTHER, defaults.at(CVLString("B", VL_CHARSET_UTF8)).nDataType);
    EXPECT_EQ("c", Bytes(defaults.at(CVLString("C", VL_CHARSET_UTF8)).strValue));
    const VLECM_DUMMY_PROPERTY_MAP& typed = sets.at(0x2B01);
    EXPECT_EQ(VLECM_DUMMY_DATA_TYPE_ULONG, typed.at(CVLString("A", VL_CHARSET_UTF8)).nDataType);
    EXPECT_EQ("1", Bytes(typed.at(CVLString("A", VL_CHARSET_UTF8)).strValue));
    EXPECT_EQ("added", Bytes(typed.at(CVLString("B", VL_CHARSET_UTF8)).strValue));

    EXPECT_EQ(0u, CVLECMDummyProbe::ParseHardwareType(CVLString("zz", VL_CHARSET_UTF8)));
    EXPECT_EQ(VLECM_DUMMY_DATA_TYPE_WEP_KEY_INFO, CVLECMDummyProbe::GetDataTypeCode(CVLString("WEPKeyInfo", 72)));
}

TEST_F(DummyProbeTest, BadPropertyInfoLeavesItUninitialized)
{
    const std::string strSet = "<DummyPropertySet hardwareType=\"default\"><Property path=\"A\"/></DummyPropertySet>";
    const std::vector<std::string> bad = {
        PropertyInfo(strSet, "<?xml version=\"1.0\" encoding=\"utf8\"?>"),
        PropertyInfo(strSet, "<?xml version=\"1.1\" encoding=\"utf-8\"?>"),
        "<?xml version=\"1.0\"?><DummyPropertyInfo xmlns=\"http://vlnet.invalid/other\"/>",
        "<?xml version=\"1.0\"?><DummyPropertyInfo xmlns=\"" + std::string(kPropertyNS) + "\">",
        PropertyInfo(strSet + std::string(CVLECMDummyProbe::kMaxListFileBytes, ' ')),
    };
    for (const std::string& strText : bad) {
        Write("PropertyInfo.xml", strText);
        Write("PrinterList.xml", PrinterList("<l:DummyPrinter macAddress=\"m\"/>"));
        m_Probe.Initialize(&m_ECM, &m_Receiver);
        EXPECT_FALSE(m_Probe.IsInitialized()) << strText.substr(0, 80);
        EXPECT_TRUE(m_Probe.GetPropertyInfoSetMap().empty());
        Run();
        EXPECT_TRUE(m_Receiver.m_Reports.empty());
        m_Probe.Terminate();
    }
    // A missing folder is no failure either: nothing is reported, nothing thrown.
    m_ECM.m_Overrides["Initialize.DummyProbe.RootDir"] = m_strDir + "/missing";
    m_Probe.Initialize(&m_ECM, &m_Receiver);
    EXPECT_FALSE(m_Probe.IsInitialized());
    Run();
    EXPECT_TRUE(m_Receiver.m_Reports.empty());
}

TEST_F(DummyProbeTest, WhatASimulatedDeviceBecomes)
{
    Write("PropertyInfo.xml",
          PropertyInfo("<DummyPropertySet hardwareType=\"default\">"
                       "<Property path=\"A\" value=\"default\"/><Property path=\"B\" value=\"default\"/>"
                       "<Property path=\"C\" value=\"default\"/><Property path=\"IPAddress\" value=\"keep\"/>"
                       "<Property path=\"Byte\" dataType=\"Byte\" value=\"300\"/>"
                       "<Property path=\"ULong\" dataType=\"ULong\" value=\"abc\"/>"
                       "<Property path=\"UShort\" dataType=\"UShort\" value=\"65537\"/>"
                       "<Property path=\"Bytes\" dataType=\"ByteArray\" value=\"0xA1b\"/>"
                       "<Property path=\"Addr\" dataType=\"IPV4Address\" value=\"printer.example\"/>"
                       "<Property path=\"Zeros\" dataType=\"IPV4Address\" value=\"010.0.2.001\"/>"
                       "<Property path=\"Other\" dataType=\"Unknown\" value=\"text\"/>"
                       "</DummyPropertySet>"
                       "<DummyPropertySet hardwareType=\"10\"><Property path=\"B\" value=\"type\"/>"
                       "<Property path=\"C\" value=\"type\"/></DummyPropertySet>"));
    Write("PrinterList.xml",
          PrinterList("<l:DummyPrinter macAddress=\"00:00:00:00:00:0A\" hardwareType=\"10\" ipAddress=\"192.0.2.1\">"
                      "<p:DummyPropertySet hardwareType=\"99\"><p:Property path=\"C\" value=\"own\"/>"
                      "<p:Property path=\"D\" value=\"own99\"/></p:DummyPropertySet>"
                      "<p:DummyPropertySet hardwareType=\"5\"><p:Property path=\"D\" value=\"own5\"/>"
                      "</p:DummyPropertySet>"
                      "<l:DummyPropertySet hardwareType=\"5\"><l:Property path=\"A\" value=\"wrong ns\"/>"
                      "</l:DummyPropertySet></l:DummyPrinter>"
                      "<l:DummyPrinter macAddress=\"00:00:00:00:00:0a\" connectType=\"usb\" ipUnicast=\"false\"/>"
                      "<l:DummyPrinter macAddress=\"00:00:00:00:00:0A\" connectType=\"USB\"/>"
                      "<l:DummyPrinter macAddress=\"00:00:00:00:00:0B\" connectType=\"All\" ipUnicast=\"0\""
                      " hardwareType=\"77\"/>"));
    m_Probe.Initialize(&m_ECM, &m_Receiver);
    ASSERT_TRUE(m_Probe.IsInitialized());
    Run();
    ASSERT_EQ(3u, m_Receiver.m_Reports.size());  // in key order; the repeated address counts once

    const CReport& a = m_Receiver.m_Reports[0];
    EXPECT_EQ("00:00:00:00:00:0A", a.strMAC);
    EXPECT_TRUE(a.bDummy);
    EXPECT_EQ(VLECM_CONNECT_TYPE_NETWORK, a.eConnectType);
    EXPECT_TRUE(a.bConnect[0]);
    EXPECT_FALSE(a.bConnect[1]);
    EXPECT_TRUE(a.bUnicast[0]);
    EXPECT_FALSE(a.bUnicast[1]);
    EXPECT_EQ("true", a.properties.at("LAN.UnicastFlag"));
    EXPECT_EQ("false", a.properties.at("USB.UnicastFlag"));
    EXPECT_EQ("192.0.2.1", a.properties.at("IPAddress"));
    EXPECT_EQ("00:00:00:00:00:0A", a.properties.at("MACAddress"));
    EXPECT_EQ("default", a.properties.at("A"));
    EXPECT_EQ("type", a.properties.at("B"));
    EXPECT_EQ("own", a.properties.at("C"));
    EXPECT_EQ("own99", a.properties.at("D"));  // own sets in ascending type order: 99 last
    EXPECT_EQ("44", a.properties.at("Byte"));
    EXPECT_EQ("0", a.properties.at("ULong"));
    EXPECT_EQ("1", a.properties.at("UShort"));
    EXPECT_EQ("0.0.0.0", a.properties.at("Addr"));  // a host name is never looked up
    EXPECT_EQ("10.0.2.1", a.properties.at("Zeros"));  // leading zeros: decimal
    EXPECT_EQ("text", a.properties.at("Other"));
    EXPECT_NE(a.types.at("Byte"), a.types.at("ULong"));

    const CReport& b = m_Receiver.m_Reports[1];
    EXPECT_EQ("00:00:00:00:00:0B", b.strMAC);
    EXPECT_EQ(VLECM_CONNECT_TYPE_USB, b.eConnectType);  // both connections: reported over USB
    EXPECT_TRUE(b.bConnect[0] && b.bConnect[1]);
    EXPECT_EQ("false", b.properties.at("LAN.UnicastFlag"));
    EXPECT_EQ("true", b.properties.at("USB.UnicastFlag"));
    EXPECT_EQ("keep", b.properties.at("IPAddress"));  // no "ipAddress": the set's value stays

    const CReport& c = m_Receiver.m_Reports[2];
    EXPECT_EQ("00:00:00:00:00:0a", c.strMAC);  // another text, another device
    EXPECT_EQ(VLECM_CONNECT_TYPE_USB, c.eConnectType);
    EXPECT_FALSE(c.bConnect[0]);
    EXPECT_FALSE(c.bUnicast[0]);
    EXPECT_TRUE(c.bUnicast[1]);
    EXPECT_EQ("default", c.properties.at("B"));  // hardware type 0: the default set only

    // The list is read anew at every run.
    Write("PrinterList.xml", PrinterList("<l:DummyPrinter macAddress=\"N\"/>"));
    m_Receiver.m_Reports.clear();
    Run();
    ASSERT_EQ(1u, m_Receiver.m_Reports.size());
    EXPECT_EQ("N", m_Receiver.m_Reports[0].strMAC);
}

TEST_F(DummyProbeTest, WhatIsReadIsBounded)
{
    std::string strSets = "<DummyPropertySet hardwareType=\"default\">";
    for (int i = 0; i < CVLECMDummyProbe::kMaxProperties + 10; ++i)
        strSets += "<Property path=\"P" + std::to_string(i) + "\"/>";
    strSets += "</DummyPropertySet>";
    Write("PropertyInfo.xml", PropertyInfo(strSets));
    std::string strPrinters;
    for (int i = 0; i < CVLECMDummyProbe::kMaxPrinters + 10; ++i)
        strPrinters += "<l:DummyPrinter macAddress=\"M" + std::to_string(1000 + i) + "\"/>";
    Write("PrinterList.xml", PrinterList(strPrinters));

    m_Probe.Initialize(&m_ECM, &m_Receiver);
    ASSERT_TRUE(m_Probe.IsInitialized());
    EXPECT_EQ(static_cast<size_t>(CVLECMDummyProbe::kMaxProperties), m_Probe.GetPropertyInfoSetMap().at(0).size());
    Run();
    EXPECT_EQ(static_cast<size_t>(CVLECMDummyProbe::kMaxPrinters), m_Receiver.m_Reports.size());

    // Deep nesting is refused by the reader; an over-long file is not read at all.
    std::string strDeep;
    for (int i = 0; i < 200; ++i)
        strDeep += "<x>";
    Write("PrinterList.xml", PrinterList("<l:DummyPrinter macAddress=\"M\"/>" + strDeep));
    m_Receiver.m_Reports.clear();
    Run();
    EXPECT_TRUE(m_Receiver.m_Reports.empty());
    Write("PrinterList.xml",
          PrinterList("<l:DummyPrinter macAddress=\"M\"/>" + std::string(CVLECMDummyProbe::kMaxListFileBytes, ' ')));
    Run();
    EXPECT_TRUE(m_Receiver.m_Reports.empty());
}

TEST_F(DummyProbeTest, StopEndsTheRunBeforeTheNextDevice)
{
    Write("PropertyInfo.xml", PropertyInfo(""));
    Write("PrinterList.xml", PrinterList("<l:DummyPrinter macAddress=\"1\"/><l:DummyPrinter macAddress=\"2\"/>"));
    m_Probe.Initialize(&m_ECM, &m_Receiver);
    m_Receiver.m_bStopAtFirst = true;
    Run();
    ASSERT_EQ(1u, m_Receiver.m_Reports.size());
    EXPECT_EQ("1", m_Receiver.m_Reports[0].strMAC);
}

TEST_F(DummyProbeTest, SampleListsOfTheTests)
{
    std::string strData = std::string(VL_TEST_SOURCE_DIR) + "/ecm/data";
    m_ECM.m_Overrides["Initialize.DummyProbe.RootDir"] = strData;
    m_Receiver.m_Paths = {"VLPC.2B_5A01_01.ModelName", "VLPC.2B_5A04_01.NodeName"};
    m_Probe.Initialize(&m_ECM, &m_Receiver);
    ASSERT_TRUE(m_Probe.IsInitialized());
    Run();
    ASSERT_EQ(2u, m_Receiver.m_Reports.size());
    EXPECT_EQ("Simulated Printer", m_Receiver.m_Reports[0].properties.at("VLPC.2B_5A01_01.ModelName"));
    EXPECT_EQ("sim-printer-1", m_Receiver.m_Reports[0].properties.at("VLPC.2B_5A04_01.NodeName"));
    EXPECT_EQ("Simulated Device", m_Receiver.m_Reports[1].properties.at("VLPC.2B_5A01_01.ModelName"));
    EXPECT_FALSE(m_Receiver.m_Reports[1].bUnicast[0]);
}

namespace {

// A client that rejects the simulated devices whose address ends in an even
// number from inside OnProbe (as the application framework rejects devices)
// and asks the others for their detail.
class CRejectingClient : public IVLECMCallbackIF
{
public:
    explicit CRejectingClient(CVLECM& ecm) : m_ECM(ecm) {}
    void OnProbe(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE, bool, bool) override
    {
        std::string strMAC = Bytes(pNIFInfo->GetMACAddress());
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Probed.insert(strMAC);
        }
        if (std::strtol(strMAC.substr(strMAC.size() - 2).c_str(), nullptr, 16) % 2 == 0)
            m_ECM.RemoveNIFInfo(pNIFInfo);
        else
            EXPECT_EQ(VLECM_RESULT_SUCCESS, pNIFInfo->GetDetail(VLECM_CONNECT_TYPE_NETWORK, nullptr));
    }
    void OnGetDetail(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE, VLECM_RESULT eResult) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        std::vector<int>& results = m_Results[Bytes(pNIFInfo->GetMACAddress())];
        results.push_back(eResult);
        if (m_Results.size() == 1 && results.size() == 1)
            pNIFInfo->GetDetail(VLECM_CONNECT_TYPE_NETWORK, nullptr);  // its second call
    }
    bool Done(size_t nDevices)
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        size_t nAnswered = 0;
        for (const auto& entry : m_Results)
            nAnswered += entry.second.size();
        return m_Probed.size() == nDevices && nAnswered == nDevices / 2 + 1;
    }
    CVLECM& m_ECM;
    std::mutex m_Mutex;
    std::set<std::string> m_Probed;
    std::map<std::string, std::vector<int>> m_Results;
};

}  // namespace

// Simulated devices reach the client on the dispatch thread, between the
// command results of other devices; the client removes some of them from
// inside its callback. Reporting them from the simulated probe's own thread
// took the device manager's locks in the opposite order and could deadlock.
TEST_F(DummyProbeTest, RejectedWhileCommandResultsAreDelivered)
{
    CWatchdog watchdog(180, "DummyProbeTest.RejectedWhileCommandResultsAreDelivered");
    const int kDevices = 64;
    Write("PropertyInfo.xml", PropertyInfo("<DummyPropertySet hardwareType=\"default\">"
                                           "<Property path=\"DebugMode.Dummy.CommandSleep.3\" value=\"0\"/>"
                                           "<Property path=\"DebugMode.Dummy.CommandResult.GetDetail.1\" "
                                           "value=\"10\"/></DummyPropertySet>"));
    std::string strPrinters;
    for (int i = 0; i < kDevices; ++i) {
        char szMAC[32];
        std::snprintf(szMAC, sizeof(szMAC), "02:00:00:00:01:%02X", i);
        strPrinters += std::string("<l:DummyPrinter macAddress=\"") + szMAC + "\"/>";
    }
    Write("PrinterList.xml", PrinterList(strPrinters));

    CVLECM ecm;
    CRejectingClient client(ecm);
    CVLECMPropertyMap options;
    options[CVLString("Initialize.DummyProbe.RootDir", 72)] = CVLString(m_strDir.c_str(), 72);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, ecm.Initialize(&client, nullptr, nullptr, &options));
    // No function of that name: the real probe sends nothing here.
    CVLECMPropertyMap probeOptions;
    probeOptions[CVLString("Option.Probe.PacketListName", 72)] = CVLString("NoSuchPacketList", 72);
    probeOptions[CVLString("Option.Probe.ModuleInstanceName", 72)] = CVLString("NoSuchFunction", 72);
    ecm.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &probeOptions);
    ecm.GetProbeInstance().GetDummyProbe().StartDummyProbe();

    // Meanwhile another thread keeps taking the notification gate.
    std::atomic<bool> bDone{false};
    std::thread other([&] {
        while (!bDone) {
            ecm.SetCallbackNotification(true);
            ecm.FindNIFInfo("02:00:00:00:01:01");
            CVLThread::Sleep(1);
        }
    });
    while (!client.Done(kDevices))
        CVLThread::Sleep(5);
    bDone = true;
    other.join();

    EXPECT_EQ(nullptr, ecm.FindNIFInfo("02:00:00:00:01:00"));  // rejected, removed
    EXPECT_NE(nullptr, ecm.FindNIFInfo("02:00:00:00:01:01"));
    {
        std::lock_guard<std::mutex> lock(client.m_Mutex);
        ASSERT_EQ(static_cast<size_t>(kDevices / 2), client.m_Results.size());
        // A simulated command answers as its device's properties say: the
        // first call 10, the next one (no entry) success.
        const std::vector<int>& first = client.m_Results.begin()->second;
        ASSERT_EQ(2u, first.size());
        EXPECT_EQ(VLECM_RESULT_TIMEOUT, first[0]);
        EXPECT_EQ(VLECM_RESULT_SUCCESS, first[1]);
    }
    ecm.Terminate();
}

namespace {

class CCountingClient : public IVLECMCallbackIF
{
public:
    void OnProbe(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE, bool, bool) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Reports.push_back(Bytes(pNIFInfo->GetMACAddress()));
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Reports.size();
    }
    std::mutex m_Mutex;
    std::vector<std::string> m_Reports;
};

}  // namespace

// A device that is simulated and also answers the real probe is one device.
TEST_F(DummyProbeTest, SimulatedAndRealDeviceWithOneMACAddress)
{
    CWatchdog watchdog(120, "DummyProbeTest.SimulatedAndRealDeviceWithOneMACAddress");
    Write("PropertyInfo.xml", PropertyInfo(""));
    Write("PrinterList.xml", PrinterList("<l:DummyPrinter macAddress=\"00:26:ab:00:00:01\"/>"));
    {
        CFakeNetwork network;
        CVLECM ecm;
        CCountingClient client;
        CVLECMPropertyMap options;
        options[CVLString("Initialize.DummyProbe.RootDir", 72)] = CVLString(m_strDir.c_str(), 72);
        ASSERT_EQ(VLECM_RESULT_SUCCESS, ecm.Initialize(&client, nullptr, nullptr, &options));
        ASSERT_EQ(VLECM_RESULT_SUCCESS, ecm.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, nullptr));
        while (client.Count() == 0)
            CVLThread::Sleep(5);
        ASSERT_TRUE(CFakeNetwork::Reply("0026AB000001"));
        // Once a marker queued after the reply has run, the reply was handled.
        std::atomic<bool> bDrained{false};
        ecm.GetApi()->PostCallbackUser(
            nullptr, nullptr, [](long, void* p, CVLCallbackInfo*) { *static_cast<std::atomic<bool>*>(p) = true; }, 0,
            &bDrained, nullptr);
        while (!bDrained)
            CVLThread::Sleep(5);
        // Merged into the simulated record: no follow-up commands, no second
        // report, and its MAC is not left pending.
        EXPECT_EQ(0, CFakeNetwork::RequestCount("0026AB000001", "CheckUnicast"));
        EXPECT_EQ(0, ecm.GetPendingMACCount());
        ecm.StopProbe();
        ecm.Terminate();
        EXPECT_EQ(1u, client.m_Reports.size());
    }
}

// The simulated device's report that the dispatch queue refused is made on
// a later pass: its MAC is handed on, so no other record of it ever would be.
TEST_F(DummyProbeTest, ARefusedReportIsMadeOnALaterPass)
{
    CWatchdog watchdog(120, "DummyProbeTest.ARefusedReportIsMadeOnALaterPass");
    Write("PropertyInfo.xml", PropertyInfo(""));
    Write("PrinterList.xml", PrinterList(""));
    CFakeNetwork network;
    CVLECM ecm;
    CCountingClient client;
    CVLECMPropertyMap options;
    options[CVLString("Initialize.DummyProbe.RootDir", 72)] = CVLString(m_strDir.c_str(), 72);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, ecm.Initialize(&client, nullptr, nullptr, &options));
    ASSERT_EQ(VLECM_RESULT_SUCCESS, ecm.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, nullptr));
    CVLECMDummyProbe& dummy = ecm.GetProbeInstance().GetDummyProbe();
    ASSERT_TRUE(Eventually([&]() { return !dummy.IsStarted(); }));
    Write("PrinterList.xml", PrinterList("<l:DummyPrinter macAddress=\"00:26:ab:00:00:03\"/>"));
    {
        CDispatchHold hold(ecm);
        CRefusingQueue full(ecm);
        dummy.StartDummyProbe();
        // Its run is over: the report was refused.
        ASSERT_TRUE(Eventually([&]() { return !dummy.IsStarted(); }));
        ASSERT_NE(nullptr, ecm.FindNIFInfo("0026AB000003"));
    }
    EXPECT_TRUE(Eventually([&]() { return client.Count() == 1; }));
    ecm.StopProbe();
    ecm.Terminate();
    EXPECT_EQ(std::vector<std::string>{"0026AB000003"}, client.m_Reports);
}

// A simulated device's address that is no MAC address is kept and reported
// as written (case counts); MAC-shaped ones stay one device whatever the case.
TEST_F(DummyProbeTest, AddressesThatAreNoMACAddressAreReportedAsWritten)
{
    CWatchdog watchdog(120, "DummyProbeTest.AddressesThatAreNoMACAddressAreReportedAsWritten");
    Write("PropertyInfo.xml", PropertyInfo(""));
    Write("PrinterList.xml", PrinterList("<l:DummyPrinter macAddress=\"SIM-PRINTER-1\"/>"
                                         "<l:DummyPrinter macAddress=\"sim-printer-1\"/>"
                                         "<l:DummyPrinter macAddress=\"00:26:ab:00:00:02\"/>"
                                         "<l:DummyPrinter macAddress=\"00:26:AB:00:00:02\"/>"));
    CVLECM ecm;
    CCountingClient client;
    CVLECMPropertyMap options;
    options[CVLString("Initialize.DummyProbe.RootDir", 72)] = CVLString(m_strDir.c_str(), 72);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, ecm.Initialize(&client, nullptr, nullptr, &options));
    // No function of that name: the real probe sends nothing here.
    CVLECMPropertyMap probeOptions;
    probeOptions[CVLString("Option.Probe.PacketListName", 72)] = CVLString("NoSuchPacketList", 72);
    probeOptions[CVLString("Option.Probe.ModuleInstanceName", 72)] = CVLString("NoSuchFunction", 72);
    ecm.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &probeOptions);
    ecm.GetProbeInstance().GetDummyProbe().StartDummyProbe();
    // Bounded only for the failing case: all three come at once otherwise.
    for (int i = 0; i < 2000 && client.Count() < 3; ++i)
        CVLThread::Sleep(5);
    ecm.StopProbe();
    {
        std::lock_guard<std::mutex> lock(client.m_Mutex);
        EXPECT_EQ((std::vector<std::string>{"0026AB000002", "SIM-PRINTER-1", "sim-printer-1"}), client.m_Reports);
    }
    ecm.Terminate();
}

// A simulated set detail changes the device as its properties say: values
// merged from "DebugMode.Dummy.SetDetail" and from below the prefix path, and
// the network connection and unicast flags.
TEST_F(DummyProbeTest, SimulatedSetDetailChangesTheDevice)
{
    CWatchdog watchdog(120, "DummyProbeTest.SimulatedSetDetailChangesTheDevice");
    Write("PropertyInfo.xml",
          PropertyInfo("<DummyPropertySet hardwareType=\"default\">"
                       "<Property path=\"DebugMode.Dummy.CommandSleep.6\" value=\"0\"/>"
                       "<Property path=\"DebugMode.Dummy.SetDetail.VLPC.2B_5A04_01.NodeName\" value=\"renamed\"/>"
                       "<Property path=\"DebugMode.Dummy.SetDetailPrefix\" value=\"New\"/>"
                       "<Property path=\"New.VLPC.2B_5A10_01.IPAddress\" value=\"192.0.2.99\"/>"
                       "<Property path=\"DebugMode.Dummy.LAN.ConnectAfterSetDetail\" value=\"false\"/>"
                       "<Property path=\"DebugMode.Dummy.LAN.UnicastAfterSetDetail\" value=\"false\"/>"
                       "</DummyPropertySet>"));
    Write("PrinterList.xml", PrinterList("<l:DummyPrinter macAddress=\"02:00:00:00:02:01\"/>"));
    CVLECM ecm;
    CRecordingClient client;
    CVLECMPropertyMap options;
    options[CVLString("Initialize.DummyProbe.RootDir", 72)] = CVLString(m_strDir.c_str(), 72);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, ecm.Initialize(&client, nullptr, nullptr, &options));
    CVLECMPropertyMap probeOptions;
    probeOptions[CVLString("Option.Probe.PacketListName", 72)] = CVLString("NoSuchPacketList", 72);
    probeOptions[CVLString("Option.Probe.ModuleInstanceName", 72)] = CVLString("NoSuchFunction", 72);
    ecm.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &probeOptions);
    ecm.GetProbeInstance().GetDummyProbe().StartDummyProbe();
    ASSERT_TRUE(client.WaitFor("probe", 1));
    CVLECMNIFInfo* pNIFInfo = ecm.FindNIFInfo("02:00:00:00:02:01");
    ASSERT_NE(nullptr, pNIFInfo);
    EXPECT_TRUE(pNIFInfo->IsConnect(VLECM_CONNECT_TYPE_NETWORK));
    EXPECT_TRUE(pNIFInfo->IsUnicast(VLECM_CONNECT_TYPE_NETWORK));
    ASSERT_EQ(VLECM_RESULT_SUCCESS, pNIFInfo->SetDetail(VLECM_CONNECT_TYPE_NETWORK, nullptr));
    ASSERT_TRUE(client.WaitFor("SetDetail", 1));
    CVLProperty* pName = pNIFInfo->GetProperties()->GetProperty("VLPC.2B_5A04_01.NodeName", false);
    ASSERT_NE(nullptr, pName);
    EXPECT_EQ("renamed", Bytes(pName->ToString("")));
    CVLProperty* pAddress = pNIFInfo->GetProperties()->GetProperty("VLPC.2B_5A10_01.IPAddress", false);
    ASSERT_NE(nullptr, pAddress);
    EXPECT_EQ("192.0.2.99", Bytes(pAddress->ToString("")));
    EXPECT_FALSE(pNIFInfo->IsConnect(VLECM_CONNECT_TYPE_NETWORK));
    EXPECT_FALSE(pNIFInfo->IsUnicast(VLECM_CONNECT_TYPE_NETWORK));
    ecm.StopProbe();
    ecm.Terminate();
}
