// The project's own definitions, as the build lays them out in its resource
// folder: the plain form (the list and its files) and the binary resource
// built from it hold the same documents and scripts.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
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

// The XML text without comments and without the blanks between tags, which
// the binary form does not keep.
std::string Normalized(const std::string& strXml)
{
    std::string s;
    for (size_t i = 0; i < strXml.size();) {
        if (strXml.compare(i, 4, "<!--") == 0) {
            size_t nEnd = strXml.find("-->", i);
            i = nEnd == std::string::npos ? strXml.size() : nEnd + 3;
            continue;
        }
        if (strXml[i] == '>') {
            size_t j = i + 1;
            while (j < strXml.size() && isspace(static_cast<unsigned char>(strXml[j])))
                ++j;
            if (j < strXml.size() && strXml[j] == '<') {
                s += '>';
                i = j;
                continue;
            }
        }
        s += strXml[i++];
    }
    // Removing a comment can bring blanks between two tags together.
    return s.find("<!--") == std::string::npos && s != strXml ? Normalized(s) : s;
}

// The documents as text, and which scripts were compiled.
std::string Describe(CVLDefineLoader& loader)
{
    std::string s;
    for (const auto& entry : loader.GetDocumentMap())
        s += Bytes(entry.first) + "\n" + Normalized(Bytes(entry.second->GetDocumentElement()->GetXml(false))) + "\n";
    CVLScriptCollection& scripts = loader.GetScriptCollection();
    for (const char* szName : {"IsRetryForOpenError", "IsRetryForWriteError"})
        s += std::string(szName) + (scripts.Find(szName) ? " compiled\n" : " missing\n");
    return s;
}

}  // namespace

TEST(ProjectDefinitions, BothFormsHoldTheSameDefinitions)
{
    std::string strFolder = DefinitionsFolder();
    ASSERT_TRUE(Exists(strFolder + "/vlres201.dat")) << "the build laid out no resource folder at " << strFolder;
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
