// The language's reference runs: every example of docs/script-language.md,
// through vlscript, prints what the reference says, and the reference names
// every error code and every built-in function.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "script/VLScriptCompileException.h"
#include "script/VLScriptException.h"
#include "script/VLScriptProgram.h"
#include "tests/support/ProgramFolder.h"

namespace {

// One example: a file t.vls, the arguments of vlscript, and what it prints
// on standard output and standard error together.
struct SExample
{
    std::string strWhere;  // the reference's line, for the failure
    std::string strScript;
    std::string strArgs;
    std::string strPrinted;
};

// A table's cells, "\|" taken as "|", a cell in backticks without them.
std::vector<std::string> Cells(const std::string& strLine, std::vector<bool>& code)
{
    std::vector<std::string> cells;
    code.clear();
    std::string strCell;
    for (size_t i = 1; i < strLine.size(); ++i) {
        if (strLine[i] == '\\' && i + 1 < strLine.size() && strLine[i + 1] == '|') {
            strCell += '|';
            ++i;
        } else if (strLine[i] == '|') {
            const size_t nFirst = strCell.find_first_not_of(' ');
            strCell =
                nFirst == std::string::npos ? "" : strCell.substr(nFirst, strCell.find_last_not_of(' ') + 1 - nFirst);
            const bool bCode = strCell.size() >= 2 && strCell.front() == '`' && strCell.back() == '`';
            cells.push_back(bCode ? strCell.substr(1, strCell.size() - 2) : strCell);
            code.push_back(bCode);
            strCell.clear();
        } else {
            strCell += strLine[i];
        }
    }
    return cells;
}

int Column(const std::vector<std::string>& header, const char* szName)
{
    for (size_t i = 0; i < header.size(); ++i) {
        if (header[i] == szName)
            return static_cast<int>(i);
    }
    return -1;
}

// The examples of the reference; the codes its tables of errors list and
// the functions its table of built-ins lists.
std::vector<SExample> ReadExamples(const std::string& strText, std::set<int>& codes, std::set<std::string>& functions)
{
    std::vector<SExample> examples;
    std::vector<std::string> lines;
    std::istringstream in(strText);
    for (std::string strLine; std::getline(in, strLine);)
        lines.push_back(strLine);
    std::string strScript;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string strWhere = "docs/script-language.md:" + std::to_string(i + 1);
        if (lines[i].compare(0, 3, "```") == 0) {
            const std::string strKind = lines[i].substr(3);
            std::string strBlock;
            for (++i; i < lines.size() && lines[i].compare(0, 3, "```") != 0; ++i)
                strBlock += lines[i] + "\n";
            if (strKind == "vls") {
                strScript = strBlock;
                continue;
            }
            std::istringstream block(strBlock);
            for (std::string strLine; std::getline(block, strLine);) {
                if (strLine.compare(0, 11, "$ vlscript ") == 0)
                    examples.push_back({strWhere, strScript, strLine.substr(11), ""});
                else if (!examples.empty())
                    examples.back().strPrinted += strLine + "\n";
            }
            continue;
        }
        if (lines[i].compare(0, 1, "|") != 0)
            continue;
        std::vector<bool> code;
        const std::vector<std::string> header = Cells(lines[i], code);
        const int nExample = Column(header, "Example"), nPrints = Column(header, "Prints");
        const int nScript = Column(header, "Script"), nSays = Column(header, "vlscript says");
        const int nCode = Column(header, "Code"), nFunction = Column(header, "Function");
        for (i += 2; i < lines.size() && lines[i].compare(0, 1, "|") == 0; ++i) {
            const std::vector<std::string> cells = Cells(lines[i], code);
            const std::string strRow = "docs/script-language.md:" + std::to_string(i + 1);
            if (cells.size() != header.size()) {
                ADD_FAILURE() << strRow << ": " << cells.size() << " cells";
                continue;
            }
            if (nCode >= 0 && !cells[nCode].empty())
                codes.insert(std::stoi(cells[nCode]));
            if (nFunction >= 0)
                functions.insert(cells[nFunction]);
            // A value prints as vlscript prints a function's return value.
            if (nExample >= 0 && nPrints >= 0 && code[nExample])
                examples.push_back(
                    {strRow, "string F() { return " + cells[nExample] + "; }\n", "run t.vls F", cells[nPrints] + "\n"});
            if (nScript >= 0 && nSays >= 0 && code[nScript])
                examples.push_back(
                    {strRow, cells[nScript] + "\n", "run t.vls F", "vlscript: t.vls: " + cells[nSays] + "\n"});
        }
        --i;
    }
    return examples;
}

}  // namespace

TEST(ScriptReference, EveryExamplePrintsWhatTheReferenceSays)
{
    std::string strText = CProgramFolder::ReadAll(VL_TEST_SOURCE_DIR "/../docs/script-language.md");
    ASSERT_FALSE(strText.empty());
    std::set<int> codes;
    std::set<std::string> functions;
    const std::vector<SExample> examples = ReadExamples(strText, codes, functions);
    EXPECT_GT(examples.size(), 100u) << "examples found";
    for (const SExample& example : examples) {
        CProgramFolder folder;
        folder.Write("t.vls", example.strScript);
        const SProgramRun run = folder.Run("vlscript", example.strArgs);
        EXPECT_EQ(example.strPrinted, run.strOutput + run.strErrors)
            << example.strWhere << ": vlscript " << example.strArgs;
        // A failure says so, and only a failure.
        const bool bFails = example.strPrinted.compare(0, 10, "vlscript: ") == 0 ||
                            example.strPrinted.find("\nvlscript: ") != std::string::npos;
        EXPECT_EQ(bFails, run.nStatus != 0) << example.strWhere << ": vlscript " << example.strArgs;
    }

    for (int nCode = 0; nCode <= 9999; ++nCode) {
        if (EVLScriptCompileException::GetErrorText(nCode) != nullptr ||
            EVLScriptException::GetErrorText(nCode) != nullptr) {
            EXPECT_EQ(1u, codes.count(nCode)) << "error " << nCode << " is not in the reference";
        }
    }
    for (int i = 0; VLScriptBuiltinName(i) != nullptr; ++i)
        EXPECT_EQ(1u, functions.count(VLScriptBuiltinName(i))) << VLScriptBuiltinName(i) << " is not in the reference";
}
