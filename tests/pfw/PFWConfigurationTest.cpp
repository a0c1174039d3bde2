// The configuration: plain and scrambled files, the device manager's
// options, and refusals that keep nothing of a bad file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "base/core/VLFileSystem.h"
#include "base/stream/VLEasyEncryptionFileStream.h"
#include "modules/VLModuleLibraries.h"
#include "pfw/PFWCommunicationManager.h"
#include "pfw/PFWConfiguration.h"
#include "tests/support/TempFolder.h"
#include "tests/support/cm/ModuleRegistration.h"

namespace {
const char kHead[] = "<Configurations xmlns=\"http://vlnet.invalid/orvek-net/2009/05/configurations\">";

std::string Text(const CVLString& str)
{
    const char* sz = str.GetBuffer();
    return sz != nullptr ? sz : "";
}

// The project's definitions, as built.
std::string ShippedSettings()
{
    std::string strExe = Text(VLGetExecutablePath());
    return strExe.substr(0, strExe.rfind('/')) + "/share/vlnet/Settings";
}

// The configuration's options with the project's definitions.
CVLECMPropertyMap& Options(const CPFWConfiguration& configuration)
{
    static CVLECMPropertyMap s_Map;
    s_Map = configuration.GetCommunicationManagerPropertyMap();
    s_Map[CVLString("Initialize.RootDir", VL_CHARSET_UTF8)] = CVLString(ShippedSettings().c_str(), VL_CHARSET_UTF8);
    return s_Map;
}

class PFWConfiguration : public ::testing::Test
{
protected:
    void SetUp() override { m_strPath = TestTempFolder() + "/vlpfw_config_" + std::to_string(getpid()) + ".dat"; }
    void TearDown() override
    {
        unlink(m_strPath.c_str());
        for (const std::string& strDir : m_Folders)
            EXPECT_EQ(0, system(("rm -rf " + strDir).c_str()));
    }

    void Write(const std::string& strText)
    {
        FILE* fp = fopen(m_strPath.c_str(), "wb");
        ASSERT_NE(nullptr, fp);
        fwrite(strText.data(), 1, strText.size(), fp);
        fclose(fp);
    }

    // A copy of the project's definitions in plain files (no resource file:
    // the list of files is read), with strLists added to the packet lists,
    // strConst to the unicast instance's constants and strFrom replaced by
    // strTo; the folder to start with.
    std::string Definitions(const std::string& strLists, const std::string& strConst, const std::string& strFrom = "",
                            const std::string& strTo = "")
    {
        const std::string strDir = TestTempFolder() + "/vlpfw_definitions_" + std::to_string(getpid()) + "_" +
                                   std::to_string(m_nDefinitions++);
        const std::string strDefault = strDir + "/Default/";
        EXPECT_EQ(0, system(("rm -rf " + strDir + " && cp -r " + m_strShipped + " " + strDir + " && rm " +
                             strDefault + "vlres200.dat")
                                .c_str()));
        m_Folders.push_back(strDir);
        std::string strVLPC = ReadFile(strDefault + "VLPC.xml");
        strVLPC.insert(strVLPC.rfind("</VLPC>"), strLists);
        if (!strFrom.empty())
            strVLPC.replace(strVLPC.find(strFrom), strFrom.size(), strTo);
        WriteFile(strDefault + "VLPC.xml", strVLPC);
        std::string strMapping = ReadFile(strDefault + "ModuleMapping.xml");
        const std::string strUnicast = "<Instance name=\"VLPC_Unicast\" module=\"VLMDVLPC\" method=\"Request\">";
        strMapping.insert(strMapping.find(strUnicast) + strUnicast.size(), strConst);
        WriteFile(strDefault + "ModuleMapping.xml", strMapping);
        return strDir;
    }
    // The error text of the file's properties judged against the
    // definitions in strDefinitions.
    std::string CheckWith(const std::string& strDefinitions, const std::string& strProperties)
    {
        Write(std::string(kHead) + "\n<CommunicationManager>\n" + strProperties +
              "\n</CommunicationManager></Configurations>");
        EXPECT_EQ(VLPFW_RESULT_SUCCESS, m_Configuration.Load(m_strPath.c_str()));
        CVLECMPropertyMap& options = Options(m_Configuration);
        options[CVLString("Initialize.RootDir", VL_CHARSET_UTF8)] = CVLString(strDefinitions.c_str(), VL_CHARSET_UTF8);
        CPFWCommunicationManager manager;
        EXPECT_EQ(VLPFW_RESULT_SUCCESS, manager.Initialize(&options)) << strDefinitions;
        m_Configuration.CheckNames(manager.GetVLECM());
        manager.Terminate();
        return Text(m_Configuration.GetErrorText());
    }
    static std::string ReadFile(const std::string& strPath)
    {
        std::ifstream in(strPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void WriteFile(const std::string& strPath, const std::string& strText)
    {
        std::ofstream(strPath, std::ios::binary) << strText;
    }

    std::string m_strPath;
    CPFWConfiguration m_Configuration;
    const std::string m_strShipped = ShippedSettings();
    std::vector<std::string> m_Folders;
    int m_nDefinitions = 0;
};
}  // namespace

TEST_F(PFWConfiguration, ReadsOptionsLanguageAndURLTemplate)
{
    Write(std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>") + kHead +
          "<StringManager/><CommunicationManager>"
          "<Property key=\"Option.Probe.X\" value=\"2\"/><Property key=\"Option.Y\" value=\"\"/>"
          "</CommunicationManager><CommunicationManager>"
          "<Property key=\"Option.Probe.MaxDevicesPerNetwork\" value=\"007\"/></CommunicationManager>"
          "<AcceptLanguage> ja </AcceptLanguage><DummyWebConfigURL>https://$IP$:8443/</DummyWebConfigURL>"
          "</Configurations>");
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Configuration.Load(m_strPath.c_str())) << Text(m_Configuration.GetErrorText());
    const CVLECMPropertyMap& map = m_Configuration.GetCommunicationManagerPropertyMap();
    ASSERT_EQ(3u, map.size());
    EXPECT_EQ("2", Text(map.at(CVLString("Option.Probe.X", 72))));
    EXPECT_EQ("007", Text(map.at(CVLString("Option.Probe.MaxDevicesPerNetwork", 72))));
    EXPECT_EQ("", Text(map.at(CVLString("Option.Y", 72))));
    EXPECT_EQ("ja", Text(m_Configuration.GetAcceptLanguage()));
    EXPECT_EQ("https://$IP$:8443/", Text(m_Configuration.GetDummyWebConfigURL()));
    // Keys that no option has are kept, and named with the nearest that
    // one has; the options of numbered entries are known.
    EXPECT_EQ(std::vector<std::string>({"line 1: the \"Property\" \"Option.Probe.X\" names no option and is not used",
                                        "line 1: the \"Property\" \"Option.Y\" names no option and is not used"}),
              m_Configuration.GetWarnings());
    Write(std::string(kHead) +
          "<CommunicationManager><Property key=\"Option.CheckUnicast.Timout\" value=\"3000\"/>"
          "<Property key=\"Option.LocalDBCInfo.2.Enable\" value=\"true\"/>"
          "<Property key=\"Option.CheckUnicast.Timeout\" value=\"3000\"/></CommunicationManager></Configurations>");
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Configuration.Load(m_strPath.c_str())) << Text(m_Configuration.GetErrorText());
    EXPECT_EQ(std::vector<std::string>({"line 1: the \"Property\" \"Option.CheckUnicast.Timout\" names no option and "
                                        "is not used; did you mean Option.CheckUnicast.Timeout?"}),
              m_Configuration.GetWarnings());
}

TEST_F(PFWConfiguration, ReadsAScrambledFileWithAPrefixedNamespace)
{
    std::string strXml = "<c:Configurations xmlns:c=\"http://vlnet.invalid/orvek-net/2009/05/configurations\">"
                         "<c:CommunicationManager><c:Property key=\"K\" value=\"V\"/></c:CommunicationManager>"
                         "</c:Configurations>";
    CVLEasyEncryptionFileStream stream;
    stream.SetName(m_strPath.c_str());
    stream.Open(VL_OPEN_WRITE);
    stream.Write(reinterpret_cast<const VL_BYTE*>(strXml.data()), strXml.size());
    stream.Close();
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Configuration.Load(m_strPath.c_str())) << Text(m_Configuration.GetErrorText());
    EXPECT_EQ("V", Text(m_Configuration.GetCommunicationManagerPropertyMap().at(CVLString("K", 72))));
    EXPECT_EQ("", Text(m_Configuration.GetDummyWebConfigURL()));
}

// The namespace is the configuration's in any letter case.
TEST_F(PFWConfiguration, ReadsTheNamespaceInAnyLetterCase)
{
    Write("<Configurations xmlns=\"HTTP://vlnet.invalid/Orvek-Net/2009/05/Configurations\"><CommunicationManager>"
          "<Property key=\"K\" value=\"V\"/></CommunicationManager></Configurations>");
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Configuration.Load(m_strPath.c_str())) << Text(m_Configuration.GetErrorText());
    EXPECT_EQ("V", Text(m_Configuration.GetCommunicationManagerPropertyMap().at(CVLString("K", 72))));
}

TEST_F(PFWConfiguration, RefusesWhatIsNoConfigurationAndKeepsNothing)
{
    const char* const kBad[] = {
        // another namespace, and none
        "<Configurations xmlns=\"http://example.invalid/\"><CommunicationManager/></Configurations>",
        "<Configurations><CommunicationManager/></Configurations>",
        // a Property without key, with an empty key, without value
        "<CommunicationManager><Property key=\"A\" value=\"1\"/><Property value=\"1\"/></CommunicationManager>",
        "<CommunicationManager><Property key=\"\" value=\"1\"/></CommunicationManager>",
        "<CommunicationManager><Property key=\"A\"/></CommunicationManager>",
        // a key given twice, in one element or two: which value was meant?
        "<CommunicationManager><Property key=\"A\" value=\"1\"/><Property key=\"A\" value=\"1\"/>"
        "</CommunicationManager>",
        "<CommunicationManager><Property key=\"A\" value=\"1\"/></CommunicationManager>"
        "<CommunicationManager><Property key=\"A\" value=\"2\"/></CommunicationManager>",
        // a device bound that is no whole number from 1 to 512
        "<CommunicationManager><Property key=\"Option.Probe.MaxDevicesPerNetwork\" value=\"0\"/>"
        "</CommunicationManager>",
        "<CommunicationManager><Property key=\"Option.Probe.MaxDevicesPerNetwork\" value=\"\"/>"
        "</CommunicationManager>",
        "<CommunicationManager><Property key=\"Option.Probe.MaxDevicesPerNetwork\" value=\"2abc\"/>"
        "</CommunicationManager>",
        // numbers that do not read as one, or out of their range; a flag
        // that is neither true nor false
        "<CommunicationManager><Property key=\"Option.CheckUnicast.Timeout\" value=\"abc\"/></CommunicationManager>",
        "<CommunicationManager><Property key=\"Option.CheckUnicast.Timeout\" value=\"-1\"/></CommunicationManager>",
        "<CommunicationManager><Property key=\"Option.CheckUnicast.Timeout\" value=\"0\"/></CommunicationManager>",
        "<CommunicationManager><Property key=\"Option.GetDetail.Retry\" value=\"101\"/></CommunicationManager>",
        "<CommunicationManager><Property key=\"Option.GetDetail.Timeout\" value=\"\"/></CommunicationManager>",
        "<CommunicationManager><Property key=\"Option.Probe.OmitGetMoreInfo\" value=\"yes\"/></CommunicationManager>",
        // not well-formed, cut short, empty
        "<CommunicationManager><Property key=\"A\" value=\"1\"></CommunicationManager>",
        "<DummyWebConfigURL>http://",
        "",
    };
    for (const char* szBody : kBad) {
        std::string strText = szBody;
        if (strText.find("<Configurations") != 0 && !strText.empty())
            strText = kHead + strText + "</Configurations>";
        Write(strText);
        EXPECT_EQ(VLPFW_RESULT_CONFIGURATION_ERROR, m_Configuration.Load(m_strPath.c_str())) << strText;
        EXPECT_NE("", Text(m_Configuration.GetErrorText())) << strText;
        EXPECT_TRUE(m_Configuration.GetCommunicationManagerPropertyMap().empty()) << strText;
    }
    // The refusal names the line, the option and what it takes.
    const std::pair<const char*, const char*> kNamed[] = {
        {"<CommunicationManager><Property key=\"Option.Probe.MaxDevicesPerNetwork\" value=\"3.9\"/>",
         "line 1: the \"Property\" \"Option.Probe.MaxDevicesPerNetwork\" is \"3.9\": not a whole number from 1 to "
         "512"},
        {"\n<CommunicationManager>\n  <Property key=\"Option.CheckUnicast.Timeout\" value=\"-1\"/>\n",
         "line 3: the \"Property\" \"Option.CheckUnicast.Timeout\" is \"-1\": not a whole number of milliseconds "
         "from 1 to 3600000"},
        {"\n<CommunicationManager>\n<Property key=\"Option.GetDetail.Retry\" value=\"1\"/>\n"
         "<Property kye=\"Option.GetDetail.Timeout\" value=\"5000\"/>\n",
         "line 4: a \"Property\" of \"CommunicationManager\" has no \"key\""},
    };
    for (const auto& row : kNamed) {
        Write(std::string(kHead) + row.first + "</CommunicationManager></Configurations>");
        EXPECT_EQ(VLPFW_RESULT_CONFIGURATION_ERROR, m_Configuration.Load(m_strPath.c_str()));
        EXPECT_EQ(row.second, Text(m_Configuration.GetErrorText()));
    }
    // A well-formed file too large to be a configuration.
    Write(std::string(kHead) + std::string(1024 * 1024, ' ') + "</Configurations>");
    EXPECT_EQ(VLPFW_RESULT_CONFIGURATION_ERROR, m_Configuration.Load(m_strPath.c_str()));
    // No regular file at the path is a path error, as an unreadable file
    // is; the caller names the path, the reason does not again.
    unlink(m_strPath.c_str());
    EXPECT_EQ(VLPFW_RESULT_PATH_ERROR, m_Configuration.Load(m_strPath.c_str()));
    EXPECT_EQ("the configuration does not exist", Text(m_Configuration.GetErrorText()));
    ASSERT_EQ(0, mkfifo(m_strPath.c_str(), 0600));
    EXPECT_EQ(VLPFW_RESULT_PATH_ERROR, m_Configuration.Load(m_strPath.c_str()));
    EXPECT_EQ("the configuration is not a regular file", Text(m_Configuration.GetErrorText()));
    unlink(m_strPath.c_str());
    ASSERT_EQ(0, mkdir(m_strPath.c_str(), 0700));
    EXPECT_EQ(VLPFW_RESULT_PATH_ERROR, m_Configuration.Load(m_strPath.c_str()));
    EXPECT_EQ("the configuration is a folder, where a file was expected", Text(m_Configuration.GetErrorText()));
    rmdir(m_strPath.c_str());
    EXPECT_EQ(VLPFW_RESULT_PATH_ERROR, m_Configuration.Load(nullptr));
}

// What the options' readers take as meant starts: a flag of "" (false), "2"
// (true), "0" and "1", the top values of a time-out and a retry count, and
// what reads as a number written plainly ("+3000"; "" for a count or a
// wait of 0), and so for the flags of the numbered entries.
TEST_F(PFWConfiguration, TakesWhatTheOptionsReadAsMeant)
{
    Write(std::string(kHead) + "<CommunicationManager>"
                               "<Property key=\"Option.Probe.OmitGetMoreInfo\" value=\"\"/>"
                               "<Property key=\"Option.RebootPolling.ExecGetDetail\" value=\"2\"/>"
                               "<Property key=\"Option.KRRT.CheckMACAddress\" value=\"0\"/>"
                               "<Property key=\"Initialize.KRTTManager.Disable\" value=\"1\"/>"
                               "<Property key=\"Option.GetDetail.Timeout\" value=\"3600000\"/>"
                               "<Property key=\"Option.RebootPolling.MaxTimeout\" value=\"3600000\"/>"
                               "<Property key=\"Option.GetDetail.Retry\" value=\"100\"/>"
                               "<Property key=\"Option.Lock.Timeout\" value=\"+3000\"/>"
                               "<Property key=\"Option.Lock.Retry\" value=\"\"/>"
                               "<Property key=\"Option.RebootPolling.FirstWait\" value=\"\"/>"
                               "<Property key=\"Option.BindAddress.3.Enable\" value=\"TRUE\"/>"
                               "<Property key=\"Option.LocalDBCInfo.3.NIFInfoToAddressPath\" value=\"yes\"/>"
                               "</CommunicationManager></Configurations>");
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Configuration.Load(m_strPath.c_str())) << Text(m_Configuration.GetErrorText());
    EXPECT_EQ(12u, m_Configuration.GetCommunicationManagerPropertyMap().size());
    EXPECT_TRUE(m_Configuration.GetWarnings().empty());
    // What would read as a value nobody meant is still refused: a flag of
    // "yes" reads as false; every time-out of 0 ends each exchange at once.
    const std::pair<const char*, const char*> kRefused[] = {
        {"Option.RebootPolling.ExecGetDetail", "yes"},
        {"Option.LocalDBCInfo.2.Enable", "yes"},
        {"Option.BindAddress.10.Enable", "no"},
        {"Option.RebootPolling.MaxTimeout", "0"},
        {"Option.Lock.Timeout", "abc"},
        {"Option.GetDetail.Retry", "101"},
    };
    for (const auto& row : kRefused) {
        Write(std::string(kHead) + "\n<CommunicationManager>\n<Property key=\"" + row.first + "\" value=\"" +
              row.second + "\"/></CommunicationManager></Configurations>");
        EXPECT_EQ(VLPFW_RESULT_CONFIGURATION_ERROR, m_Configuration.Load(m_strPath.c_str())) << row.first;
        EXPECT_EQ(0u, Text(m_Configuration.GetErrorText())
                          .find(std::string("line 3: the \"Property\" \"") + row.first + "\" is \"" + row.second +
                                "\": not "))
            << Text(m_Configuration.GetErrorText());
    }
}

// Mistakes outside the options' values are named, with the name meant when
// one is near, and the rest of the file is read as before.
TEST_F(PFWConfiguration, NamesWhatItDoesNotRead)
{
    Write(std::string(kHead) +
          "\n<CommunicationManger><Property key=\"Option.GetDetail.Retry\" value=\"3\"/></CommunicationManger>"
          "\n<CommunicationManager>"
          "\n<Property key=\"Initialize.DummyProbe.RootDri\" value=\"/x\"/>"
          "\n<Property key=\"option.checkunicast.timeout\" value=\"5000\"/>"
          "\n<Propety key=\"Option.GetDetail.Timeout\" value=\"5000\"/>"
          "\n<Property key=\"Option.GetDetail.Retry\" value=\"3\"/>"
          "\n<Property key=\"" +
          std::string(200, 'Z') +
          "\" value=\"1\"/>"
          "\n</CommunicationManager>"
          "\n<DummyWebConfigUrl>https://$IP$/</DummyWebConfigUrl>"
          "\n<Settings/>"
          "\n<x:AcceptLanguage xmlns:x=\"http://example.invalid/\">ja</x:AcceptLanguage>"
          "\n<StringManager/><AcceptLanguage>en</AcceptLanguage>"
          "\n</Configurations>");
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Configuration.Load(m_strPath.c_str())) << Text(m_Configuration.GetErrorText());
    EXPECT_EQ(std::vector<std::string>({
                  "line 2: the element \"CommunicationManger\" is not read; did you mean CommunicationManager?",
                  "line 4: the \"Property\" \"Initialize.DummyProbe.RootDri\" names no option and is not used; did "
                  "you mean Initialize.DummyProbe.RootDir?",
                  "line 5: the \"Property\" \"option.checkunicast.timeout\" names no option and is not used; did "
                  "you mean Option.CheckUnicast.Timeout?",
                  "line 6: the element \"Propety\" in \"CommunicationManager\" is not read; did you mean Property?",
                  "line 8: the \"Property\" \"" + std::string(80, 'Z') + "...\" names no option and is not used",
                  "line 10: the element \"DummyWebConfigUrl\" is not read; did you mean DummyWebConfigURL?",
                  "line 11: the element \"Settings\" is not read",
                  "line 12: the element \"x:AcceptLanguage\" is not in the configuration's namespace and is not "
                  "read",
              }),
              m_Configuration.GetWarnings());
    // Kept as given, as the options of the other keys are.
    EXPECT_EQ(4u, m_Configuration.GetCommunicationManagerPropertyMap().size());
    EXPECT_EQ("", Text(m_Configuration.GetDummyWebConfigURL()));
    EXPECT_EQ("en", Text(m_Configuration.GetAcceptLanguage()));
    // Thousands of them are counted past the first twenty, not listed.
    std::string strMany;
    for (int i = 0; i < 1000; i++)
        strMany += "<Unknown/>";
    Write(std::string(kHead) + strMany + "</Configurations>");
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Configuration.Load(m_strPath.c_str())) << Text(m_Configuration.GetErrorText());
    ASSERT_EQ(21u, m_Configuration.GetWarnings().size());
    EXPECT_EQ("line 1: the element \"Unknown\" is not read", m_Configuration.GetWarnings()[19]);
    EXPECT_EQ("and 980 more elements or keys not read", m_Configuration.GetWarnings()[20]);
    // A Property of another namespace is no option, whatever its key.
    Write(std::string(kHead) + "<CommunicationManager><x:Property xmlns:x=\"http://example.invalid/\" "
                               "key=\"Option.GetDetail.Retry\" value=\"1\"/></CommunicationManager></Configurations>");
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Configuration.Load(m_strPath.c_str())) << Text(m_Configuration.GetErrorText());
    EXPECT_TRUE(m_Configuration.GetCommunicationManagerPropertyMap().empty());
    EXPECT_EQ(std::vector<std::string>({"line 1: the element \"x:Property\" in \"CommunicationManager\" is not in "
                                        "the configuration's namespace and is not read"}),
              m_Configuration.GetWarnings());
}

// An option that names a packet list, a function or a module instance the
// definitions do not have would leave what it names sending nothing: it is
// refused at the start, with its line and the names they have.
TEST_F(PFWConfiguration, RefusesNamesTheDefinitionsDoNotHave)
{
    CModuleRegistration registration(VLRegisterModuleLibraries);
    // The definitions' file is named, and the lists that would fit.
    const std::string strLacks = " (the definitions (" + m_strShipped + "/Default/vlres200.dat) lack it; ";
    const std::string strFunctions = "not a function of the definitions that probes (Probe and RebootPolling)";
    const std::pair<const char*, std::string> kRows[] = {
        {"Option.Probe.PacketListName", "not a packet list of the function \"Probe\"" + strLacks + "those that fit: Probe)"},
        {"Option.CheckUnicast.PacketListName",
         "not a packet list of the function \"VLPC_Unicast\"" + strLacks + "those that fit: CheckUnicast)"},
        {"Option.RebootPolling.PacketListName",
         "not a packet list of the function \"VLPC_Unicast\"" + strLacks + "those that fit: RebootPolling)"},
        {"Option.GetDetail.PacketListName",
         "not a packet list of the function \"VLPC_Unicast\"" + strLacks +
             "those of the function \"VLPC_Unicast\" that only read: CheckUnicast, GetDetail, GetListInfo, "
             "GetSupportInformation, GetWirelessLANInfo, Probe and RebootPolling)"},
        {"Option.Probe.ModuleInstanceName", strFunctions},
        {"Option.RebootPolling.ModuleInstanceName", strFunctions},
        {"Option.LocalDBCInfo.2.VLMDSockModulePath",
         "not a module instance below the function \"Probe\" (VLPC_Broadcast, VLPC_Broadcast.UDP, "},
        {"Option.BindAddress.1.VLMDSockModulePath", "not a module instance below the function \"Probe\" ("},
    };
    for (const auto& row : kRows) {
        Write(std::string(kHead) + "\n<CommunicationManager>\n<Property key=\"Option.GetDetail.Retry\" value=\"1\"/>" +
              "\n<Property key=\"" + row.first + "\" value=\"Nope\"/>\n</CommunicationManager></Configurations>");
        ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Configuration.Load(m_strPath.c_str())) << row.first;
        CPFWCommunicationManager manager;
        ASSERT_EQ(VLPFW_RESULT_SUCCESS, manager.Initialize(&Options(m_Configuration))) << row.first;
        EXPECT_EQ(VLPFW_RESULT_CONFIGURATION_ERROR, m_Configuration.CheckNames(manager.GetVLECM())) << row.first;
        EXPECT_EQ(0u,
                  Text(m_Configuration.GetErrorText())
                      .find("line 4: the \"Property\" \"" + std::string(row.first) + "\" is \"Nope\": " + row.second))
            << Text(m_Configuration.GetErrorText());
        manager.Terminate();
    }
    // Of several, the first in the file is named.
    Write(std::string(kHead) + "\n<CommunicationManager>\n<Property key=\"Option.Probe.PacketListName\" value=\"A\"/>"
                               "\n<Property key=\"Option.CheckUnicast.PacketListName\" value=\"B\"/>"
                               "\n</CommunicationManager></Configurations>");
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Configuration.Load(m_strPath.c_str()));
    {
        CPFWCommunicationManager manager;
        ASSERT_EQ(VLPFW_RESULT_SUCCESS, manager.Initialize(&Options(m_Configuration)));
        EXPECT_EQ(VLPFW_RESULT_CONFIGURATION_ERROR, m_Configuration.CheckNames(manager.GetVLECM()));
        EXPECT_EQ(0u, Text(m_Configuration.GetErrorText())
                          .find("line 3: the \"Property\" \"Option.Probe.PacketListName\" is \"A\""))
            << Text(m_Configuration.GetErrorText());
        manager.Terminate();
    }
    // The unicast function probes nothing.
    EXPECT_EQ(0u, CheckWith(m_strShipped, "<Property key=\"Option.Probe.ModuleInstanceName\" value=\"VLPC_Unicast\"/>")
                      .find("line 3: the \"Property\" \"Option.Probe.ModuleInstanceName\" is \"VLPC_Unicast\": " +
                            strFunctions))
        << Text(m_Configuration.GetErrorText());
    // What the definitions have starts; a packet list is judged against
    // the probe's function as configured.
    Write(std::string(kHead) + "<CommunicationManager>"
                               "<Property key=\"Option.Probe.ModuleInstanceName\" value=\"RebootPolling\"/>"
                               "<Property key=\"Option.Probe.PacketListName\" value=\"Probe\"/>"
                               "<Property key=\"Option.CheckUnicast.PacketListName\" value=\"CheckUnicast\"/>"
                               "<Property key=\"Option.RebootPolling.ModuleInstanceName\" value=\"Probe\"/>"
                               "<Property key=\"Option.LocalDBCInfo.7.VLMDSockModulePath\" value=\"VLPC_Broadcast\"/>"
                               "<Property key=\"Option.BindAddress.1.VLMDSockModulePath\" "
                               "value=\"VLPC_LocalNetworkDBC_5.UDP\"/>"
                               "</CommunicationManager></Configurations>");
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Configuration.Load(m_strPath.c_str()));
    CPFWCommunicationManager manager;
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, manager.Initialize(&Options(m_Configuration)));
    EXPECT_EQ(VLPFW_RESULT_SUCCESS, m_Configuration.CheckNames(manager.GetVLECM()))
        << Text(m_Configuration.GetErrorText());
    manager.Terminate();
}

// Each device a probe, a unicast check or a reboot polling hears is sent
// that option's packet list, and each command runs its own: a list is
// judged at the start by the requests it sends. Those every device is sent
// and the reading commands' only read; a command that changes a device
// sends its own request (and reads), the reboot polling only its own. A
// default the definitions lack (Lock) starts written as it does unwritten.
TEST_F(PFWConfiguration, RefusesAListOfAnotherKindThanItsCommand)
{
    CModuleRegistration registration(VLRegisterModuleLibraries);
    const std::string strReads = "not a packet list that only reads devices (it sends the request ";
    const std::pair<std::string, std::string> kRows[] = {
        // The probe and the unicast check read, each with its own request.
        {"Option.CheckUnicast.PacketListName\" value=\"FactReset",
         "not a packet list for CheckUnicast (it sends the request 2B 5A22 \"I\"; those that fit: CheckUnicast)"},
        {"Option.Probe.PacketListName\" value=\"SetDetail",
         "not a packet list for Probe (it sends the request 2B 5A21 \"S\"; those that fit: Probe)"},
        {"Option.CheckUnicast.PacketListName\" value=\"GetListInfo",
         "not a packet list for CheckUnicast (it does not send its request 2B 5A02 \"Q\"; those that fit: "
         "CheckUnicast)"},
        {"Option.Probe.PacketListName\" value=\"GetDetail",
         "not a packet list for Probe (it does not send its request 2B 5A01 \"P\"; those that fit: Probe)"},
        // The probe runs the follow-up commands on every device that passes its check.
        {"Option.GetListInfo.PacketListName\" value=\"FactReset", strReads + "2B 5A22 \"I\"; "},
        {"Option.GetSupportInformation.PacketListName\" value=\"SetDetail", strReads + "2B 5A21 \"S\"; "},
        {"Option.GetDetail.PacketListName\" value=\"SetDetail", strReads + "2B 5A21 \"S\"; "},
        {"Option.GetWirelessLANInfo.PacketListName\" value=\"CheckPassword", strReads + "2B 5A20 \"Q\"; "},
        // No function of the device profile is Lock's, Unlock's or GetNetworkDiagnosis's own.
        {"Option.Lock.PacketListName\" value=\"FactReset", strReads + "2B 5A22 \"I\"; "},
        {"Option.Unlock.PacketListName\" value=\"SetDetail", strReads + "2B 5A21 \"S\"; "},
        {"Option.GetNetworkDiagnosis.PacketListName\" value=\"CheckPassword", strReads + "2B 5A20 \"Q\"; "},
        {"Option.RebootPolling.PacketListName\" value=\"CheckUnicast",
         "not a packet list for RebootPolling (it sends the request 2B 5A02 \"Q\"; those that fit: RebootPolling)"},
        {"Option.CheckPassword.PacketListName\" value=\"FactReset",
         "not a packet list for CheckPassword (it sends the request 2B 5A22 \"I\"; those that fit: CheckPassword)"},
        {"Option.SetDetail.PacketListName\" value=\"FactReset",
         "not a packet list for SetDetail (it sends the request 2B 5A22 \"I\"; those that fit: SetDetail)"},
        {"Option.FactReset.PacketListName\" value=\"SetDetail",
         "not a packet list for FactReset (it sends the request 2B 5A21 \"S\"; those that fit: FactReset)"},
        // A list without the command's own request would report it done.
        {"Option.FactReset.PacketListName\" value=\"GetDetail",
         "not a packet list for FactReset (it does not send its request 2B 5A22 \"I\"; those that fit: FactReset)"},
    };
    for (const auto& row : kRows) {
        const std::string strKey = row.first.substr(0, row.first.find('"'));
        const std::string strValue = row.first.substr(row.first.rfind('"') + 1);
        EXPECT_EQ(0u, CheckWith(m_strShipped, "<Property key=\"" + row.first + "\"/>")
                          .find("line 3: the \"Property\" \"" + strKey + "\" is \"" + strValue + "\": " + row.second))
            << Text(m_Configuration.GetErrorText());
    }
    EXPECT_EQ("", CheckWith(m_strShipped,
                            "<Property key=\"Option.Lock.PacketListName\" value=\"Lock\"/>"
                            "<Property key=\"Option.Unlock.PacketListName\" value=\"Unlock\"/>"
                            "<Property key=\"Option.GetNetworkDiagnosis.PacketListName\" value=\"GetNetworkDiagnosis\"/>"
                            "<Property key=\"Option.RebootPolling.PacketListName\" value=\"RebootPolling\"/>"));
    // Only its own default: another missing name is still refused.
    EXPECT_EQ(0u, CheckWith(m_strShipped, "<Property key=\"Option.Lock.PacketListName\" value=\"Unlock\"/>")
                      .find("line 3: the \"Property\" \"Option.Lock.PacketListName\" is \"Unlock\": not a packet "
                            "list of the function \"VLPC_Unicast\" ("));
}

// Every list the device manager runs must be in the definitions: a probe
// without its list would hear nothing, a command without its own would end
// having sent nothing. The start names the option, the list as the
// instance runs it (with the name its constants add) and the definitions.
TEST_F(PFWConfiguration, RefusesAListTheDefinitionsLack)
{
    CModuleRegistration registration(VLRegisterModuleLibraries);
    const std::pair<std::string, std::string> kRows[] = {
        {"Probe", "Probe"},
        {"FactReset", "VLPC_Unicast"},
        {"CheckPassword", "VLPC_Unicast"},
        {"GetDetail", "VLPC_Unicast"},
        {"RebootPolling", "VLPC_Unicast"},
    };
    for (const auto& row : kRows) {
        const std::string strDefinitions =
            Definitions("", "", "<PacketList name=\"" + row.first + "\">", "<PacketList name=\"Old" + row.first + "\">");
        const std::string strText = CheckWith(strDefinitions, "");
        EXPECT_EQ(0u, strText.find("the option \"Option." + row.first + ".PacketListName\" runs its default packet list \"" +
                                   row.first + "\": not a packet list of the function \"" + row.second +
                                   "\" (the definitions (" + strDefinitions + "/Default/vlres201.dat) lack it; "))
            << strText;
    }
    // With the unicast instance's suffix the list run is named, and what
    // would fit is offered as it is written.
    const std::string strDefinitions =
        Definitions("<PacketList name=\"FixSite\"><Function deviceType=\"2B\" function=\"5A20\" packetType=\"Q\"/>"
                    "</PacketList>",
                    "<Const name=\"packetListSuffix\" value=\"Site\"/>");
    const std::string strText =
        CheckWith(strDefinitions, "<Property key=\"Option.CheckPassword.PacketListName\" value=\"CheckPassword\"/>");
    EXPECT_EQ(0u, strText.find("line 3: the \"Property\" \"Option.CheckPassword.PacketListName\" is \"CheckPassword\": "
                               "not a packet list of the function \"VLPC_Unicast\" (it runs \"CheckPasswordSite\", which "
                               "the definitions (" +
                               strDefinitions + "/Default/vlres201.dat) lack; those that fit: Fix)"))
        << strText;
}

// The list judged is the one sent: what the definitions' lists hold,
// whatever they are called, each function that can be built (one without
// a layout is passed over), with the name the instance's constants add,
// and the default list of an option the file does not write.
TEST_F(PFWConfiguration, JudgesTheListThatIsSent)
{
    CModuleRegistration registration(VLRegisterModuleLibraries);
    const std::string strLists =
        "<PacketList name=\"Mixed\"><Function deviceType=\"2B\" function=\"5A10\" packetType=\"Q\"/>"
        "<Function deviceType=\"2B\" function=\"5A22\" packetType=\"I\"/></PacketList>"
        "<PacketList name=\"SetRead\"><Function deviceType=\"2B\" function=\"5A10\" packetType=\"S\"/></PacketList>"
        "<PacketList name=\"Empty\"/>"
        "<PacketList name=\"Unbuilt\"><Function deviceType=\"2B\" function=\"5A99\" packetType=\"Q\"/></PacketList>"
        "<PacketList name=\"CheckUnicastSite\"><Function deviceType=\"2B\" function=\"5A22\" packetType=\"I\"/>"
        "</PacketList>";
    const std::string strDefinitions = Definitions(strLists, "");
    const std::string strReads = "not a packet list that only reads devices (it sends ";
    const std::pair<std::string, std::string> kRows[] = {
        {"Option.GetDetail.PacketListName\" value=\"Mixed", strReads + "the request 2B 5A22 \"I\"; "},
        {"Option.GetListInfo.PacketListName\" value=\"SetRead", strReads + "the request 2B 5A10 \"S\"; "},
        {"Option.Probe.PacketListName\" value=\"Empty", "not a packet list for Probe (it sends nothing; "},
        {"Option.CheckUnicast.PacketListName\" value=\"Unbuilt", "not a packet list for CheckUnicast (it sends nothing; "},
        {"Option.SetDetail.PacketListName\" value=\"Empty", "not a packet list for SetDetail (it sends nothing; "},
    };
    for (const auto& row : kRows) {
        const std::string strKey = row.first.substr(0, row.first.find('"'));
        const std::string strValue = row.first.substr(row.first.rfind('"') + 1);
        EXPECT_EQ(0u, CheckWith(strDefinitions, "<Property key=\"" + row.first + "\"/>")
                          .find("line 3: the \"Property\" \"" + strKey + "\" is \"" + strValue + "\": " + row.second))
            << Text(m_Configuration.GetErrorText());
    }
    EXPECT_EQ("", CheckWith(strDefinitions, ""));
    // The unicast instance sends CheckUnicastSite when asked for CheckUnicast.
    EXPECT_EQ(0u, CheckWith(Definitions(strLists, "<Const name=\"packetListSuffix\" value=\"Site\"/>"),
                            "<Property key=\"Option.CheckUnicast.PacketListName\" value=\"CheckUnicast\"/>")
                      .find("line 3: the \"Property\" \"Option.CheckUnicast.PacketListName\" is \"CheckUnicast\": "
                            "not a packet list for CheckUnicast (it sends the request 2B 5A22 \"I\"; "))
        << Text(m_Configuration.GetErrorText());
    // A default list the file does not name: the probe's sends nothing (its
    // function has no layout), the unicast check's resets.
    EXPECT_EQ(0u, CheckWith(Definitions("", "", "function=\"5A01\" packetType=\"P\"",
                                        "function=\"5A99\" packetType=\"P\""),
                            "")
                      .find("the option \"Option.Probe.PacketListName\" runs its default packet list \"Probe\": "
                            "not a packet list for Probe (it sends nothing; "))
        << Text(m_Configuration.GetErrorText());
    // A probe judges so what its options, or those set since the start, name.
    CheckWith(m_strShipped, "");
    {
        CPFWCommunicationManager manager;
        ASSERT_EQ(VLPFW_RESULT_SUCCESS, manager.Initialize(&Options(m_Configuration)));
        CVLECM& ecm = manager.GetVLECM();
        const CVLECMPropertyMap reset = {
            {CVLString("Option.GetDetail.PacketListName", VL_CHARSET_UTF8), CVLString("FactReset", VL_CHARSET_UTF8)}};
        EXPECT_EQ(0u, ecm.CheckResolvedPacketLists(&reset).find("the option \"Option.GetDetail.PacketListName\" runs "
                                                                "the packet list \"FactReset\": " +
                                                                strReads + "the request 2B 5A22 \"I\"; "));
        ASSERT_TRUE(ecm.SetProperty("Option.CheckUnicast.PacketListName", "Nope"));
        EXPECT_EQ(0u, ecm.CheckResolvedPacketLists().find("the option \"Option.CheckUnicast.PacketListName\" runs the "
                                                          "packet list \"Nope\": not a packet list of the function "));
        manager.Terminate();
    }
    const std::string strResetCheck =
        "<PacketList name=\"CheckUnicast\"><Function deviceType=\"2B\" function=\"5A22\" packetType=\"I\"/>";
    EXPECT_EQ(0u, CheckWith(Definitions("", "", "<PacketList name=\"CheckUnicast\">", strResetCheck), "")
                      .find("the option \"Option.CheckUnicast.PacketListName\" runs its default packet list "
                            "\"CheckUnicast\": not a packet list for CheckUnicast (it sends the request 2B 5A22 \"I\"; "))
        << Text(m_Configuration.GetErrorText());
}