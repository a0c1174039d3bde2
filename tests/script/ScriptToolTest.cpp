// The vlscript program, run as a user runs it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

// "compile FILE -o DIR" makes the output folder, with its parents, when it
// does not exist yet.
TEST(ScriptTool, CompileMakesTheOutputFolder)
{
    const char* szBin = getenv("VL_TEST_BIN_DIR");
    if (szBin == nullptr)
        GTEST_SKIP() << "VL_TEST_BIN_DIR not set";
    char szDir[] = "/tmp/vlscript-tool-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(szDir));
    const std::string strDir = szDir;
    const std::string strSource = strDir + "/s.scr";
    FILE* pFile = fopen(strSource.c_str(), "w");
    fputs("int F() { return 1; }\nvoid G() { }\n", pFile);
    fclose(pFile);
    const std::string strOut = strDir + "/new/deeper";
    int rc = std::system((std::string(szBin) + "/vlscript compile " + strSource + " -o " + strOut + " > /dev/null").c_str());
    struct stat st;
    EXPECT_EQ(0, rc);
    EXPECT_EQ(0, stat((strOut + "/F.img").c_str(), &st));
    EXPECT_EQ(0, stat((strOut + "/G.img").c_str(), &st));
    // A file in the folder's place is still refused.
    rc = std::system((std::string(szBin) + "/vlscript compile " + strSource + " -o " + strSource + " 2> /dev/null").c_str());
    EXPECT_NE(0, rc);
    std::system(("rm -rf '" + strDir + "'").c_str());
}
