// The facade and the module controller: definition sources, factory hooks,
// module registration and termination, and clean failure of Initialize.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "cm/VLCMApi.h"
#include "cm/VLModInstanceInfo.h"
#include "cm/VLModule.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLProperty.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLNotExistException.h"
#include "base/core/VLUnexpectedException.h"
#include "tests/support/cm/FakeFramework.h"
#include "tests/support/VirtualSlot.h"
#include "tests/support/Watchdog.h"

namespace {

const char* const kMapping = "<ModuleMapping>"
                             "<Instance name=\"F\" module=\"ModA\"><Instance name=\"C\" module=\"ModB\"/></Instance>"
                             "</ModuleMapping>";

int s_nNewProperties = 0;

CVLProperty* CountingNewProperty(CVLCMApi* pApi, CVLProperty* pParent)
{
    ++s_nNewProperties;
    return new CVLProperty(pApi, pParent);
}

CVLProperty* NullNewProperty(CVLCMApi*, CVLProperty*)
{
    return nullptr;
}

void ThrowInt(CVLCMApi&)
{
    throw 5;
}

void ThrowBadAlloc(CVLCMApi&)
{
    throw std::bad_alloc();
}

class ModuleControllerTest : public ::testing::Test
{
protected:
    void SetUp() override { CFakeLog::Take(); }
    void TearDown() override
    {
        EXPECT_EQ(0, CFakeModule::s_nLive.load());
        EXPECT_EQ(0, CFakeInstance::s_nLive.load());
    }
    CModuleRegistration m_Registration{VLRegisterFakeModules};
};

// Reaches the module's protected operations.
class CModuleSlots : public CVLModule
{
public:
    static std::vector<long> Declared()
    {
        return {VirtualSlot(&CModuleSlots::SetModuleName),  VirtualSlot(&CModuleSlots::GetModuleName),
                VirtualSlot(&CModuleSlots::Initialize),     VirtualSlot(&CModuleSlots::Terminate),
                VirtualSlot(&CModuleSlots::CreateInstance), VirtualSlot(&CModuleSlots::DestroyInstance),
                VirtualSlot(&CModuleSlots::GetPacketCount), VirtualSlot(&CModuleSlots::IsInit),
                VirtualSlot(&CModuleSlots::onInitialize),   VirtualSlot(&CModuleSlots::onTerminate),
                VirtualSlot(&CModuleSlots::onNew),          VirtualSlot(&CModuleSlots::onDelete)};
    }
};

}  // namespace

// A module's virtual operations keep their declared slots, after the
// destructor's two: the ones this project adds come after them.
TEST(Module, VirtualOperationsKeepTheirDeclaredSlots)
{
    const std::vector<long> slots = CModuleSlots::Declared();
    const long kFirst = 2;
    for (size_t i = 0; i < slots.size(); ++i)
        EXPECT_EQ(kFirst + static_cast<long>(i), slots[i]) << i;
}

TEST_F(ModuleControllerTest, ConfigDefaultsAndCopySharesBytes)
{
    CVLCMApiConfig config;
    EXPECT_EQ(0, config.GetFileListName().GetLength());
    EXPECT_EQ(nullptr, config.GetDefineData());
    EXPECT_EQ(0, config.GetDefineDataSize());
    EXPECT_EQ(nullptr, config.GetNewTargetFunc());
    EXPECT_EQ(nullptr, config.GetDeletePropertyCollectionFunc());
    VL_BYTE bytes[4] = {1, 2, 3, 4};
    config.SetDefineData(bytes, 4);
    config.SetDefineFilePath("x.dat");
    CVLCMApiConfig copy;
    copy = config;
    EXPECT_EQ(bytes, copy.GetDefineData());
    EXPECT_STREQ("x.dat", copy.GetDefineFilePath().GetBuffer());
    copy.SetDefineFilePath(nullptr);
    EXPECT_EQ(0, copy.GetDefineFilePath().GetLength());
}

TEST_F(ModuleControllerTest, NullConfigRegistersModulesAndLoadsNothing)
{
    CVLCMApi api;
    api.Initialize(nullptr, nullptr);
    EXPECT_TRUE(api.GetModuleController()->IsInitialized());
    EXPECT_NE(nullptr, api.GetModuleController()->GetModule("ModA"));
    EXPECT_EQ(nullptr, api.GetModuleController()->GetModule("VLMDSock"));
    EXPECT_EQ(nullptr, api.GetDefineDocument("ModuleMapping", false));
    api.Terminate();
}

TEST_F(ModuleControllerTest, DefinitionSourcePrecedence)
{
    CDefinitionFiles files;
    files.AddXml("mapping.xml", kMapping);
    std::string strGarbage = files.WriteFile("garbage.dat", "not a resource");
    VL_BYTE garbage[] = "not a resource either";

    // Bytes win over a file and a list: the bad bytes make Initialize fail.
    {
        CVLCMApi api;
        CVLCMApiConfig config;
        files.Configure(config);
        config.SetDefineData(garbage, sizeof(garbage));
        config.SetDefineFilePath(strGarbage.c_str());
        EXPECT_VL_THROW(api.Initialize(&config, nullptr), EVLException) << "bytes not used";
    }
    // Bytes of size 0 are no source: the existing file is used.
    {
        CVLCMApi api;
        CVLCMApiConfig config;
        files.Configure(config);
        config.SetDefineData(garbage, 0);
        config.SetDefineFilePath(strGarbage.c_str());
        EVLException* pCaught = nullptr;
        try {
            api.Initialize(&config, nullptr);
        } catch (EVLException* e) {
            pCaught = e;
        }
        ASSERT_NE(nullptr, pCaught) << "file not used";
        pCaught->Delete();
        EXPECT_FALSE(api.GetModuleController()->IsInitialized());
    }
    // A path that does not exist falls back to the list.
    {
        CVLCMApi api;
        CVLCMApiConfig config;
        files.Configure(config);
        config.SetDefineFilePath((files.GetFolder() + "/missing.dat").c_str());
        api.Initialize(&config, nullptr);
        EXPECT_NE(nullptr, api.GetModuleController()->FindModule("F.C"));
    }
}

TEST_F(ModuleControllerTest, ConfigHooksReplaceOnlyWhatTheyGive)
{
    CVLCMApi api;
    CVLCMApiConfig config;
    config.SetPropertyFunc(CountingNewProperty, nullptr);
    api.Initialize(&config, nullptr);
    s_nNewProperties = 0;
    CVLProperty* p = api.NewProperty(nullptr);
    EXPECT_EQ(1, s_nNewProperties);
    api.GetModuleController()->DeleteProperty(p);  // the default delete hook
    // Without a property-tree definition the root property is unbound.
    CVLProperty* pRoot = api.GetModuleController()->NewRootProperty();
    ASSERT_NE(nullptr, pRoot);
    pRoot->Destroy();
    api.Terminate();

    CVLCMApi api2;
    CVLCMApiConfig config2;
    config2.SetPropertyFunc(NullNewProperty, nullptr);
    api2.Initialize(&config2, nullptr);
    EXPECT_VL_THROW(api2.GetModuleController()->NewRootProperty(), EVLMemoryAllocException);
    EXPECT_VL_THROW(api2.GetOptions(), EVLMemoryAllocException);
}

TEST_F(ModuleControllerTest, RegistrationAndTerminationOrder)
{
    CFakeFramework fw;
    fw.Start(kMapping);
    // Modules are initialized when the mapping first names them.
    EXPECT_EQ((std::vector<std::string>{"init:ModA", "init:ModB"}), CFakeLog::Take());
    fw.m_Api.Terminate();
    // Terminated and deleted in name order, not registration order.
    EXPECT_EQ((std::vector<std::string>{"term:ModA", "delete:ModA", "term:ModB", "delete:ModB"}), CFakeLog::Take());
    EXPECT_FALSE(fw.Controller()->IsInitialized());
    EXPECT_EQ(nullptr, fw.Controller()->FindModule("F"));
    // Initialize runs in full again.
    CVLCMApiConfig config;
    fw.m_Files.Configure(config);
    fw.m_Api.Initialize(&config, nullptr);
    EXPECT_NE(nullptr, fw.Controller()->FindModule("F.C"));
}

TEST_F(ModuleControllerTest, ReplacedModuleIsTerminatedAndDeleted)
{
    CVLCMApi api;
    api.AddModuleStaticLibrary("ModX", new CFakeModule(CFakeLog::Script(1)));
    api.AddModuleStaticLibrary("ModX", new CFakeModule(CFakeLog::Script(2)));
    EXPECT_EQ((std::vector<std::string>{"term:ModX", "delete:ModX"}), CFakeLog::Take());
    api.AddModuleStaticLibrary(nullptr, nullptr);
    EXPECT_EQ(1, CFakeModule::s_nLive.load());
    // The destructor terminates what is still registered.
}

// Once initialized, the definitions and live instances use the registered
// modules: a replaced one stays until Terminate, and the name then makes
// instances of the new one only after a new Initialize.
TEST_F(ModuleControllerTest, ModuleReplacedWhileInitializedStaysUntilTerminate)
{
    CFakeFramework fw;
    fw.Start(kMapping);
    CVLModuleInstance* pBefore = fw.Controller()->CreateModuleInstance(nullptr, "F", nullptr);
    ASSERT_NE(nullptr, pBefore);
    CFakeLog::Take();
    fw.m_Api.AddModuleStaticLibrary("ModA", new CFakeModule(CFakeLog::Script(1)));
    EXPECT_TRUE(CFakeLog::Take().empty());
    EXPECT_EQ(3, CFakeModule::s_nLive.load());
    CVLModuleInstance* pAfter = fw.Controller()->CreateModuleInstance(nullptr, "F", nullptr);
    ASSERT_NE(nullptr, pAfter);
    fw.Controller()->DeleteModuleInstance(pBefore);
    fw.Controller()->DeleteModuleInstance(pAfter);
    fw.m_Api.Terminate();
    EXPECT_EQ(0, CFakeModule::s_nLive.load());
    EXPECT_EQ(2, CFakeLog::Count("term:ModA"));
}

// Constant lookups by function path read the definitions and their modules,
// which Terminate deletes: a lookup meanwhile finds the constant or nothing.
TEST_F(ModuleControllerTest, ConstantLookupsDuringTerminateAreSafe)
{
    CWatchdog watchdog(120, "ConstantLookupsDuringTerminateAreSafe");
    CFakeFramework fw;
    fw.Start("<ModuleMapping><Module name=\"ModA\"><Const name=\"K\" value=\"m\"/></Module>"
             "<Instance name=\"F\" module=\"ModA\"/></ModuleMapping>");
    CVLCMApiConfig config;
    fw.m_Files.Configure(config);
    std::atomic<bool> bDone{false};
    std::atomic<int> nOdd{0};
    std::thread reader([&]() {
        while (!bDone) {
            std::string strValue = fw.m_Api.GetConst("K", nullptr, "F").GetBuffer();
            if (strValue != "m" && !strValue.empty())
                ++nOdd;
        }
    });
    for (int nRound = 0; nRound < 200; ++nRound) {
        fw.m_Api.Terminate();
        fw.m_Api.Initialize(&config, nullptr);
    }
    bDone = true;
    reader.join();
    EXPECT_EQ(0, nOdd.load());
    EXPECT_STREQ("m", fw.m_Api.GetConst("K", nullptr, "F").GetBuffer());
}

// Definitions that name modules when no module is registered (no
// registration installed) fail Initialize, naming the module.
TEST_F(ModuleControllerTest, NoRegisteredModuleFailsInitialize)
{
    CFakeFramework fw;
    fw.m_Registration.Replace(nullptr);
    try {
        fw.Start(kMapping);
        ADD_FAILURE() << "Initialize succeeded";
    } catch (EVLNotExistException* e) {
        EXPECT_STREQ("EVLNotExistException: Name=ModA (no module is registered)", e->ToString().GetBuffer());
        e->Delete();
    }
    EXPECT_FALSE(fw.Controller()->IsInitialized());
    // Definitions without functions need no module.
    fw.m_Files.WriteFile("mapping.xml", "<ModuleMapping><Const name=\"K\" value=\"1\"/></ModuleMapping>");
    CVLCMApiConfig config;
    fw.m_Files.Configure(config);
    fw.m_Api.Initialize(&config, nullptr);
    EXPECT_STREQ("1", fw.m_Api.GetConst("K", nullptr, nullptr).GetBuffer());
}

TEST_F(ModuleControllerTest, DestructorTerminatesModules)
{
    {
        CFakeFramework fw;
        fw.Start(kMapping);
        CFakeLog::Take();
        fw.m_Api.AddModuleStaticLibrary("ModLate", new CFakeModule(CFakeLog::Script(1)));
    }
    EXPECT_EQ(0, CFakeModule::s_nLive.load());
    EXPECT_EQ(1, CFakeLog::Count("term:ModLate"));
}

TEST_F(ModuleControllerTest, DuplicateDefinitionFailsCleanlyAndRetrySucceeds)
{
    CFakeFramework fw;
    fw.m_Api.SetConst("U", "kept", nullptr, nullptr);
    EXPECT_VL_THROW(fw.Start("<ModuleMapping><Const name=\"K\" value=\"1\"/>"
                             "<Instance name=\"F\" module=\"ModA\"/><Instance name=\"F\" module=\"ModB\"/>"
                             "</ModuleMapping>"),
                    EVLInvalidParamException);
    EXPECT_FALSE(fw.Controller()->IsInitialized());
    EXPECT_EQ(0, CFakeModule::s_nLive.load());
    EXPECT_EQ(nullptr, fw.Controller()->FindModule("F"));
    EXPECT_EQ(0, fw.m_Api.GetConst("K", nullptr, nullptr).GetLength());
    EXPECT_STREQ("kept", fw.m_Api.GetConst("U", nullptr, nullptr).GetBuffer());

    fw.m_Files.WriteFile("mapping.xml", kMapping);
    CVLCMApiConfig config;
    fw.m_Files.Configure(config);
    fw.m_Api.Initialize(&config, nullptr);
    EXPECT_NE(nullptr, fw.Controller()->FindModule("F.C"));
    EXPECT_EQ(2, CFakeModule::s_nLive.load());
}

TEST_F(ModuleControllerTest, ForeignFailuresInInitializeAreFrameworkExceptions)
{
    m_Registration.Replace(ThrowInt);
    CVLCMApi api;
    try {
        api.Initialize(nullptr, nullptr);
        FAIL() << "no exception";
    } catch (EVLUnexpectedException* e) {
        EXPECT_EQ(5, e->GetSignedErrorCode());
        e->Delete();
    }
    m_Registration.Replace(ThrowBadAlloc);
    EXPECT_VL_THROW(api.Initialize(nullptr, nullptr), EVLMemoryAllocException);
    EXPECT_FALSE(api.GetModuleController()->IsInitialized());
}

TEST_F(ModuleControllerTest, FacadeSmallOperations)
{
    CVLCMApi api;
    bool bFirst = false, bSecond = true;
    api.GetFlags(&bFirst, &bSecond);
    EXPECT_TRUE(bFirst);
    EXPECT_FALSE(bSecond);
    EXPECT_VL_THROW(api.GetFlags(nullptr, &bSecond), EVLInvalidParamException);
    EXPECT_EQ(api.GetModuleController(), api.GetModuleController()->GetModuleController());
    CVLApiObject orphan(nullptr);
    EXPECT_EQ(nullptr, orphan.GetModuleController());
    orphan.CopyApi(*api.GetModuleController());
    EXPECT_EQ(&api, orphan.GetApi());
    EXPECT_EQ(api.GetOptions(), api.GetOptions());
    EXPECT_EQ(0, api.GetConst("nothing", nullptr, nullptr).GetLength());
    api.LockOptions();
    api.UnlockOptions();
}

TEST_F(ModuleControllerTest, InitializeTerminateCyclesLeaveNothing)
{
    CFakeFramework fw;
    fw.m_Files.AddXml("mapping.xml", kMapping);
    CVLCMApiConfig config;
    fw.m_Files.Configure(config);
    for (int i = 0; i < 3; ++i) {
        fw.m_Api.Initialize(&config, nullptr);
        fw.m_Api.Initialize(&config, nullptr);  // a second one changes nothing
        EXPECT_EQ(2, CFakeModule::s_nLive.load());
        CVLModuleInstance* p = fw.Controller()->CreateModuleInstance(nullptr, "F", nullptr);
        ASSERT_NE(nullptr, p);
        if (i % 2 == 0)
            p->Destroy();
        fw.m_Api.Terminate();
        if (i % 2 != 0)
            fw.Controller()->DeleteModuleInstance(p);
        EXPECT_EQ(0, CFakeModule::s_nLive.load());
        EXPECT_EQ(0, CFakeInstance::s_nLive.load());
    }
}
