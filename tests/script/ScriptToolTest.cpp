// The vlscript program, run as a user runs it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "tests/support/ProgramFolder.h"
#include "tests/support/TempFolder.h"

// "compile FILE -o DIR" makes the output folder, with its parents, when it
// does not exist yet.
TEST(ScriptTool, CompileMakesTheOutputFolder)
{
    const char* szBin = getenv("VL_TEST_BIN_DIR");
    if (szBin == nullptr)
        GTEST_SKIP() << "VL_TEST_BIN_DIR not set";
    CTempPath szDir("vlscript-tool-XXXXXX");
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

// Each line: its status and the whole of what it writes on standard error
// (for status 0, on standard output).
TEST(ScriptTool, StatusAndMessageOfEachLine)
{
    static const struct
    {
        const char* szArgs;
        const char* szOutput;  // where standard output goes, "&-" closed; "" kept
        int nStatus;
        const char* szText;
    } kLines[] = {
        {"run t.vls Add 2 3", "", 0, "5\n"},
        // A float or double with the digits that give it back.
        {"run t.vls Third", "", 0, "0.3333333333333333\n"},
        {"run t.vls Large", "", 0, "10000000000\n"},
        {"run t.vls Small", "", 0, "1e-08\n"},
        {"run t.vls Tenth", "", 0, "0.1\n"},
        // An option where FILE stands is no file name.
        {"run --bad t.vls Add 2 3", "", 2,
         "vlscript: run: unknown option '--bad'\nvlscript: 'vlscript --help' shows the usage\n"},
        // -o DIR given before the file: the line as it is taken.
        {"compile -o out t.vls", "", 2,
         "vlscript: the file comes first: vlscript compile t.vls -o out\n"
         "vlscript: 'vlscript --help' shows the usage\n"},
        {"compile -o 'my out' t.vls", "", 2,
         "vlscript: the file comes first: vlscript compile t.vls -o 'my out'\n"
         "vlscript: 'vlscript --help' shows the usage\n"},
        {"compile -o", "", 2,
         "vlscript: the file comes first: vlscript compile FILE -o DIR\nvlscript: 'vlscript --help' shows the usage\n"},
        // A folder where the file is expected.
        {"run folder Add 2 3", "", 1, "vlscript: cannot read folder: Is a directory\n"},
        {"compile folder -o out", "", 1, "vlscript: cannot read folder: Is a directory\n"},
        // Output that cannot be written.
        {"run t.vls Add 2 3", "/dev/full", 1,
         "vlscript: standard output could not be written: No space left on device\n"},
        {"run t.vls Add 2 3", "&-", 1, "vlscript: standard output could not be written: Bad file descriptor\n"},
        {"compile t.vls -o out", "/dev/full", 1,
         "vlscript: standard output could not be written: No space left on device\n"},
        // Where a compile error is: columns count from 1, and an error at the
        // end of the file stands after its last token, not beyond the file.
        {"run bad.vls F", "", 1,
         "vlscript: bad.vls: line 2, column 11: ';' was expected: a declaration takes no value; write int x; x "
         "= ...; (error 1013)\n"},
        {"run open.vls F", "", 1,
         "vlscript: open.vls: line 2, column 14: the file ends where '}' was expected (error 1007)\n"},
        {"run literal.vls F", "", 1,
         "vlscript: literal.vls: line 2, column 12: a text without its closing '\"' (error 1014)\n"},
        // What stops a run or a compile is named.
        {"run limits.vls Deep 0", "", 1, "vlscript: limits.vls: line 1: calls nested deeper than 200\n"},
        {"run limits.vls Long", "", 1, "vlscript: limits.vls: line 2: a text longer than 16777216 bytes\n"},
        {"run limits.vls Unknown", "", 1, "vlscript: limits.vls: line 3: 'x' is not a variable (error 3004)\n"},
        {"run limits.vls Call", "", 1, "vlscript: limits.vls: line 4: 'g' is not a function (error 3005)\n"},
        {"run while.vls F", "", 1,
         "vlscript: while.vls: line 3, column 5: the language has no 'while': a loop is written for (; CONDITION; ) "
         "{ ... } (error 1001)\n"},
    };
    CProgramFolder folder;
    folder.Write("t.vls", "int Add(int a, int b) { return a + b; }\n"
                          "double Third() { return 1.0 / 3.0; }\n"
                          "double Large() { return 10000000000.0; }\n"
                          "double Small() { return 0.00000001; }\n"
                          "float Tenth() { float f; f = 0.1; return f; }\n");
    folder.Write("bad.vls", "int F() {\n    int x = 1;\n    return x;\n}\n");
    folder.Write("open.vls", "int F() {\n    return 1;\n\n\n");
    folder.Write("limits.vls", "int Deep(int n) { return Deep(n + 1); }\n"
                               "string Long() { string s; s = \"x\"; for (;;) { s = s + s; } return s; }\n"
                               "int Unknown() { return x; }\n"
                               "int Call() { return g(1); }\n");
    folder.Write("while.vls",
                 "int F() {\n    int n;\n    while (n > 0) {\n        n = n - 1;\n    }\n    return n;\n}\n");
    folder.Write("literal.vls", "string F() {\n    return \"abc;\n}\n");
    ASSERT_EQ(0, mkdir((folder.Dir() + "/folder").c_str(), 0700));
    for (const auto& line : kLines) {
        SProgramRun run = folder.Run("vlscript", line.szArgs, line.szOutput);
        const std::string strLine =
            std::string("vlscript ") + line.szArgs + (line.szOutput[0] != '\0' ? " >" : "") + line.szOutput;
        EXPECT_EQ(line.nStatus, run.nStatus) << strLine << "\n" << run.strErrors;
        EXPECT_EQ(line.szText, line.nStatus == 0 ? run.strOutput : run.strErrors) << strLine;
    }
}
