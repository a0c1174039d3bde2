// A device record's command runs on a thread with the command stack, and
// the deepest recursion a command can reach fits it: a definition script
// that calls its own function again, each call through the VLPC module,
// until the script runs' nesting bound ends it.
#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "base/core/VLFileSystem.h"
#include "base/thread/VLThreadController.h"
#include "cm/VLCMApi.h"
#include "ecm/VLECM.h"
#include "ecm/VLECMNIFInfoFactoryIF.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "modules/VLModuleLibraries.h"
#include "script/VLScriptRun.h"
#include "tests/support/TempFolder.h"
#include "tests/support/Watchdog.h"
#include "tests/support/cm/ModuleRegistration.h"
#include "tests/support/ecm/ECMTestClient.h"
#include "tests/support/emulator/DeviceEmulator.h"

namespace {
// The directed-broadcast children of the probe in the definitions.
const int kLocalNetworkChildren = 5;
const char kGetDetail[] = "<Function deviceType=\"2B\" function=\"5A10\" packetType=\"Q\"/>";
const uint16_t kGetDetailFunction = 0x5A10;
// The C library may give a new thread the kept stack of an ended one of up
// to this many times the size asked for.
const size_t kReusedStackFactor = 4;

// The project's definitions in a folder of their own, without their
// compiled form (which would be read instead), GetDetail's function asking
// a script that calls the function again before it is sent.
class CRecursingDefinitions
{
public:
    CRecursingDefinitions()
    {
        CTempPath szFolder("vlstack_XXXXXX");
        if (mkdtemp(szFolder) == nullptr)
            return;
        m_strFolder = szFolder;
        std::string strBin = ECMText(VLGetExecutablePath());
        std::filesystem::copy(strBin.substr(0, strBin.rfind('/')) + "/share/vlnet/Settings", m_strFolder,
                              std::filesystem::copy_options::recursive);
        const std::string strDefault = m_strFolder + "/Default/";
        std::filesystem::remove(strDefault + "vlres200.dat");
        m_bReady = Replace(strDefault + "VLPC.xml", kGetDetail,
                           "<Function deviceType=\"2B\" function=\"5A10\" packetType=\"Q\" condition=\"Again\"/>") &&
                   Replace(strDefault + "vlres201.dat", "</DefineFileList>",
                           "<File name=\"Again.vls\" type=\"Script\"/></DefineFileList>");
        std::ofstream(strDefault + "Again.vls")
            << "bool Again()\n{\n    CallMethod(\"Request\");\n    return true;\n}\n";
    }
    ~CRecursingDefinitions()
    {
        if (!m_strFolder.empty())
            std::filesystem::remove_all(m_strFolder);
    }
    const std::string& Folder() const { return m_strFolder; }
    bool IsReady() const { return m_bReady; }

private:
    static bool Replace(const std::string& strPath, const std::string& strFrom, const std::string& strTo)
    {
        std::stringstream text;
        text << std::ifstream(strPath).rdbuf();
        std::string strText = text.str();
        size_t nAt = strText.find(strFrom);
        if (nAt == std::string::npos)
            return false;
        strText.replace(nAt, strFrom.size(), strTo);
        std::ofstream(strPath, std::ios::trunc) << strText;
        return true;
    }

    std::string m_strFolder;
    bool m_bReady = false;
};

// A record that notes the stack its commands run on.
class CStackRecord : public CVLECMNIFInfo
{
public:
    std::atomic<size_t> m_nStack{0};

protected:
    VLECM_RESULT executeCommand(VLECM_COMMAND eCommand) override
    {
        pthread_attr_t attr;
        if (pthread_getattr_np(pthread_self(), &attr) == 0) {
            void* pAddress = nullptr;
            size_t nSize = 0;
            if (pthread_attr_getstack(&attr, &pAddress, &nSize) == 0)
                m_nStack = nSize;
            pthread_attr_destroy(&attr);
        }
        return CVLECMNIFInfo::executeCommand(eCommand);
    }
};

class CStackRecordFactory : public IVLECMNIFInfoFactoryIF
{
public:
    CVLTarget* CreateNIFInfo(CVLECM*, CVLCMApi*) override { return new CStackRecord; }
    void DestroyNIFInfo(CVLECM*, CVLCMApi*, CVLTarget* pTarget) override { delete pTarget; }
};

CVLECMPropertyMap Options(std::initializer_list<std::pair<const char*, std::string>> entries)
{
    CVLECMPropertyMap map;
    for (const auto& entry : entries)
        map[CVLString(entry.first, 72)] = CVLString(entry.second.c_str(), 72);
    return map;
}
}  // namespace

TEST(CommandStack, ACommandRunsOnItsStackAndItsDeepestRecursionFits)
{
    CWatchdog watchdog(120, "ACommandRunsOnItsStackAndItsDeepestRecursionFits");
    CRecursingDefinitions definitions;
    ASSERT_TRUE(definitions.IsReady()) << "the definitions could not be changed in " << definitions.Folder();
    CModuleRegistration registration{VLRegisterModuleLibraries};
    CDeviceEmulator emu{0};
    EmuDevice device;
    device.strIP = "127.0.0.3";
    device.nRestartMs = 0;
    emu.AddDevice(device);
    std::string strError;
    ASSERT_TRUE(emu.Start(&strError)) << strError;
    CRecordingClient client;
    CStackRecordFactory factory;
    CVLECM ecm;
    CVLECMPropertyMap init = Options({{"Initialize.RootDir", definitions.Folder()}});
    ASSERT_EQ(VLECM_RESULT_SUCCESS, ecm.Initialize(&client, &factory, nullptr, &init));
    CVLCMApi* pApi = ecm.GetApi();
    pApi->SetConst("toPort", std::to_string(emu.Port()).c_str(), "VLMDSock", nullptr);
    pApi->SetConst("toAddress", "127.255.255.255", nullptr, "Probe.VLPC_Broadcast.UDP");
    for (int i = 1; i <= kLocalNetworkChildren; ++i)
        pApi->EnableInstance(("Probe.VLPC_LocalNetworkDBC_" + std::to_string(i)).c_str(), false);
    CVLECMPropertyMap options = Options({{"Option.Probe.SkipGetSupportInformation", "true"}});
    ASSERT_EQ(VLECM_RESULT_SUCCESS, ecm.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    ASSERT_TRUE(client.WaitFor("probe", 1));
    ecm.StopProbe();
    CStackRecord* pNIFInfo = dynamic_cast<CStackRecord*>(client.Events()[0].pNIFInfo);
    ASSERT_NE(nullptr, pNIFInfo);
    ASSERT_EQ(VLECM_RESULT_SUCCESS,
              pNIFInfo->StartCommand(VLECM_COMMAND_GET_DETAIL, VLECM_CONNECT_TYPE_NETWORK, nullptr));
    ASSERT_TRUE(client.WaitFor("GetDetail", 1));
    EXPECT_EQ(VLECM_RESULT_SUCCESS, client.LastResult("GetDetail"));
    // Each call but the innermost, which the nesting bound refused, sent
    // its request once its script had returned.
    EXPECT_GE(emu.RequestCount(EmuMacText(device.mac), kGetDetailFunction), CVLScriptRun::MAX_NESTING - 2);
    // It ran on the command stack, or on one the C library kept from an
    // ended thread, up to four times that.
    std::unique_ptr<CVLThreadController> pController(pNIFInfo->CreateController());
    EXPECT_GE(pController->GetStackSize(), CVLECMNIFInfo::COMMAND_STACK_BYTES);
    EXPECT_GE(pNIFInfo->m_nStack.load(), pController->GetStackSize());
    EXPECT_LE(pNIFInfo->m_nStack.load(), kReusedStackFactor * pController->GetStackSize());
    ecm.Terminate();
    emu.Stop();
}
