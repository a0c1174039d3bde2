// The project's own definitions, as the build lays them out in its resource
// folder: the plain form (the list and its files) and the binary resource
// built from it hold the same documents and scripts.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "base/core/VLException.h"
#include "cm/VLDefineLoader.h"
#include "script/VLScript.h"
#include "tests/support/TestSupport.h"

namespace {

std::string DefinitionsFolder()
{
    const char* szBin = getenv("VL_TEST_BIN_DIR");
    return std::string(szBin ? szBin : ".") + "/../share/vlnet/Settings/Default";
}

bool Exists(const std::string& strPath)
{
    struct stat st;
    return stat(strPath.c_str(), &st) == 0;
}

// The documents without their comments and the blanks between tags, which
// the binary form does not keep, and which scripts were compiled.
std::string Describe(CVLDefineLoader& loader)
{
    static const std::regex comment("<!--[^]*?-->"), blanks(">\\s+<");
    std::string s;
    for (const auto& entry : loader.GetDocumentMap()) {
        std::string strXml = Bytes(entry.second->GetDocumentElement()->GetXml(false));
        strXml = std::regex_replace(std::regex_replace(strXml, comment, ""), blanks, "><");
        s += Bytes(entry.first) + "\n" + strXml + "\n";
    }
    CVLScriptCollection& scripts = loader.GetScriptCollection();
    for (const char* szName : {"IsRetryForOpenError", "IsRetryForWriteError"})
        s += std::string(szName) + (scripts.Find(szName) ? " compiled\n" : " missing\n");
    return s;
}

}  // namespace

TEST(ProjectDefinitions, BothFormsHoldTheSameDefinitions)
{
    std::string strFolder = DefinitionsFolder();
    if (!Exists(strFolder + "/vlres201.dat"))
        GTEST_SKIP() << "no resource folder at " << strFolder;
    CVLLocalizeUtility paths;
    paths.SetRootPath(strFolder.c_str());
    paths.SetLanguageList("", false);
    paths.SetDefaultFolder("");
    CVLDefineLoader plain;
    try {
        plain.LoadFiles(paths, "vlres201.dat");
    } catch (EVLException* e) {
        std::string strWhat = Bytes(e->ToString());
        e->Delete();
        FAIL() << "the listed definitions do not load: " << strWhat;
    }
    std::string strPlain = Describe(plain);
    for (const char* szDocument : {"ModuleMapping", "VLPC", "PropertyRoot"})
        EXPECT_NE(strPlain.find(std::string(szDocument) + "\n<"), std::string::npos) << szDocument;
    EXPECT_EQ(strPlain.find("missing"), std::string::npos) << strPlain.substr(strPlain.rfind(">\n") + 2);

    std::string strBinary = strFolder + "/vlres200.dat";
    ASSERT_TRUE(Exists(strBinary)) << "the build did not make " << strBinary;
    CVLDefineLoader binary;
    try {
        binary.Load(strBinary.c_str());
    } catch (EVLException* e) {
        std::string strWhat = Bytes(e->ToString());
        e->Delete();
        FAIL() << "the binary definitions do not load: " << strWhat;
    }
    EXPECT_EQ(strPlain, Describe(binary));
}
