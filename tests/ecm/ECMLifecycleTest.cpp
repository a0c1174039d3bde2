// The device manager's lifecycle, options and path macros, with the
// project's definitions from the build's resource folder.
#include <gtest/gtest.h>

#include <string>

#include "base/core/VLFileSystem.h"
#include "ecm/VLECM.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "ecm/probe/VLECMNIFInfoList.h"
#include "tests/support/ecm/FakeNetwork.h"

namespace {
std::string Text(const CVLString& str)
{
    const char* sz = str.GetBuffer();
    return sz != nullptr ? sz : "";
}

std::string ResourcesFolder()
{
    std::string exe = Text(VLGetExecutablePath());
    return exe.substr(0, exe.rfind('/')) + "/share/vlnet";
}

class CNullCallback : public IVLECMCallbackIF
{
};
}  // namespace

TEST(ECMOptions, DefaultTableHoldsTheBuiltInKeys)
{
    EXPECT_EQ(87u, CVLECM::getDefaultOptionTable().size());
    // The tries and waits docs/protocol.md gives.
    EXPECT_EQ("2", Text(CVLECM::getDefaultOptionString("Option.CheckUnicast.Retry")));
    EXPECT_EQ("7", Text(CVLECM::getDefaultOptionString("Option.GetDetail.Retry")));
    EXPECT_EQ(3000, CVLECM::getDefaultOptionInt("Option.GetDetail.Timeout"));
    EXPECT_EQ("0", Text(CVLECM::getDefaultOptionString("Option.RebootPolling.Retry")));
    EXPECT_EQ(10000, CVLECM::getDefaultOptionInt("Option.RebootPolling.FirstWait"));
    EXPECT_EQ(5000, CVLECM::getDefaultOptionInt("Option.RebootPolling.SecondRetryWait"));
    EXPECT_EQ(300000, CVLECM::getDefaultOptionInt("Option.RebootPolling.MaxTimeout"));
    EXPECT_TRUE(CVLECM::getDefaultOptionBool("Option.GetNetworkDiagnosis.ExecUDPTest"));
    EXPECT_EQ("", Text(CVLECM::getDefaultOptionString("Option.NoSuchKey")));
    EXPECT_EQ(0, CVLECM::getDefaultOptionInt("Option.NoSuchKey"));
}

TEST(ECMOptions, SetPropertyRefusesStartUpKeysAndNullArguments)
{
    CVLECM ecm;
    EXPECT_FALSE(ecm.SetProperty("Initialize.RootDir", "/tmp"));
    EXPECT_FALSE(ecm.SetProperty(nullptr, "x"));
    EXPECT_FALSE(ecm.SetProperty("Option.X", nullptr));
    EXPECT_EQ("", Text(ecm.GetProperty("Initialize.RootDir")));
    // Only the exact bytes at the start count.
    EXPECT_TRUE(ecm.SetProperty("initialize.RootDir", "a"));
    EXPECT_TRUE(ecm.SetProperty("Option.Initialize.X", "b"));
    EXPECT_TRUE(ecm.SetPropertyInt("Option.CheckUnicast.Timeout", -1));
    EXPECT_EQ("-1", Text(ecm.GetProperty("Option.CheckUnicast.Timeout")));
    EXPECT_TRUE(ecm.SetPropertyBoolean("Option.B", true));
    EXPECT_EQ("true", Text(ecm.GetProperty("Option.B")));
    EXPECT_TRUE(ecm.SetProperty("Option.C", "TRUE"));
    EXPECT_TRUE(ecm.GetPropertyBoolean("Option.C"));
    EXPECT_TRUE(ecm.SetProperty("Option.D", "abc"));
    EXPECT_EQ(0, ecm.GetPropertyInt("Option.D"));
    EXPECT_FALSE(ecm.GetPropertyBoolean("Option.D"));
}

TEST(ECMOptions, LookupWithACallMapFallsBackToTheTable)
{
    CVLECM ecm;
    CVLECMPropertyMap map;
    map[CVLString("Option.Only.Here", 72)] = CVLString("v", 72);
    bool bFound = false;
    EXPECT_EQ("v", Text(ecm.getOptionString("Option.Only.Here", &map, &bFound)));
    EXPECT_TRUE(bFound);
    EXPECT_EQ("", Text(ecm.getOptionString("Option.Nowhere", &map, &bFound)));
    EXPECT_FALSE(bFound);
    // Before Initialize the built-in default answers.
    EXPECT_EQ("Probe", Text(ecm.getOptionString("Option.Probe.PacketListName", nullptr, &bFound)));
    EXPECT_TRUE(bFound);
    EXPECT_EQ("", Text(ecm.GetProperty("Option.Probe.PacketListName")));
}

TEST(ECMOptions, PathMacros)
{
    CVLECM ecm;
    std::string app = Text(VLGetExecutablePath());
    std::string res = ResourcesFolder();
    EXPECT_EQ(res + "/Settings", Text(ecm.expandPathMacro("$(DEFAULT_DIR)/Settings")));
    EXPECT_EQ(res + "/DummyProbe", Text(ecm.expandPathMacro("$(DEFAULT_DIR)\\DummyProbe")));
    EXPECT_EQ(app + "/a" + app, Text(ecm.expandPathMacro("$(APP_DIR)/a$(APP_DIR)")));
    EXPECT_EQ(app + "/$(DEFAULT_DIR)", Text(ecm.expandPathMacro("$(APP_DIR)/$(DEFAULT_DIR)")));
    EXPECT_EQ("x/$(APP_DIR)/y", Text(ecm.expandPathMacro("x\\$(APP_DIR)\\y")));
    EXPECT_EQ("$(OTHER)/y", Text(ecm.expandPathMacro("$(OTHER)/y")));
    EXPECT_EQ("/name", Text(ecm.expandPathMacro("$(LIBROOT_DIR)/name")));
}

TEST(ECMLifecycle, InitializeResults)
{
    CNullCallback callback;
    {
        CVLECM ecm;
        EXPECT_EQ(VLECM_RESULT_PARAMETER_ERROR, ecm.Initialize(nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(nullptr, ecm.GetNIFInfoList());
    }
    {
        CVLECM ecm;
        CVLECMPropertyMap map;
        map[CVLString("Initialize.RootDir", 72)] = CVLString("/nonexistent/vlnet-settings", 72);
        EXPECT_EQ(VLECM_RESULT_PATH_ERROR, ecm.Initialize(&callback, nullptr, nullptr, &map));
        // A file is no folder either.
        map[CVLString("Initialize.RootDir", 72)] =
            CVLString((ResourcesFolder() + "/Settings/Default/vlres201.dat").c_str(), 72);
        EXPECT_EQ(VLECM_RESULT_PATH_ERROR, ecm.Initialize(&callback, nullptr, nullptr, &map));
    }
    CVLECM ecm;
    ecm.Terminate();
    // The definitions name modules: without a registration nothing could run.
    EXPECT_EQ(VLECM_RESULT_INTERNAL_ERROR, ecm.Initialize(&callback, nullptr, nullptr, nullptr));
    CFakeNetwork network;
    ASSERT_EQ(VLECM_RESULT_SUCCESS, ecm.Initialize(&callback, nullptr, nullptr, nullptr));
    EXPECT_EQ("Probe", Text(ecm.GetProperty("Option.Probe.PacketListName")));
    EXPECT_EQ(87u, ecm.GetPropertyMap().size());
    EXPECT_NE(nullptr, ecm.GetNIFInfoList());
    EXPECT_TRUE(ecm.IsCallbackNotification());
    // A second Initialize tears the first down and leaves one dispatch thread.
    ASSERT_EQ(VLECM_RESULT_SUCCESS, ecm.Initialize(&callback, nullptr, nullptr, nullptr));
    EXPECT_TRUE(ecm.IsStarted());
    ecm.Terminate();
    EXPECT_EQ(nullptr, ecm.GetNIFInfoList());
    EXPECT_FALSE(ecm.IsCallbackNotification());
    ecm.Terminate();
}

TEST(ECMLifecycle, FactoryHooksWithoutFactories)
{
    CVLECMApi api;
    CVLTarget* pTarget = CVLECM::createNIFInfo(&api);
    EXPECT_NE(nullptr, dynamic_cast<CVLECMNIFInfo*>(pTarget));
    CVLECM::deleteNIFInfo(&api, pTarget);
    CVLTargetList* pList = CVLECM::createNIFInfoList(&api);
    EXPECT_NE(nullptr, dynamic_cast<CVLECMNIFInfoList*>(pList));
    EXPECT_EQ(&api, pList->GetApi());
    CVLECM::deleteNIFInfoList(&api, pList);
}

TEST(ECMLifecycle, MACAddressesHaveOneForm)
{
    EXPECT_EQ("0026AB000001", Text(CVLECMNIFInfo::NormalizeMACAddress(CVLString("00:26:ab:00:00:01", 72))));
    EXPECT_EQ("0026AB000001", Text(CVLECMNIFInfo::NormalizeMACAddress(CVLString("00-26-AB-00-00-01", 72))));
    EXPECT_EQ("0026AB000001", Text(CVLECMNIFInfo::NormalizeMACAddress(CVLString("0026AB000001", 72))));
    EXPECT_EQ("", Text(CVLECMNIFInfo::NormalizeMACAddress(CVLString("", 72))));
    EXPECT_EQ("", Text(CVLECMNIFInfo::NormalizeMACAddress(CVLString("0026AB00000", 72))));
    EXPECT_EQ("", Text(CVLECMNIFInfo::NormalizeMACAddress(CVLString("0026AB0000011", 72))));
    EXPECT_EQ("", Text(CVLECMNIFInfo::NormalizeMACAddress(CVLString("0026AB00000G", 72))));
    // Separators stand between all pairs, one kind throughout, or nowhere.
    EXPECT_EQ("", Text(CVLECMNIFInfo::NormalizeMACAddress(CVLString("0026:AB000001", 72))));
    EXPECT_EQ("", Text(CVLECMNIFInfo::NormalizeMACAddress(CVLString("00:26-AB:00:00:01", 72))));
}
