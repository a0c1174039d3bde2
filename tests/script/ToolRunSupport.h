// Runs the vlscript program of the build as a user runs it, in a folder of
// its own that holds the files a test writes.
#ifndef TOOLRUNSUPPORT_H
#define TOOLRUNSUPPORT_H

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

struct SToolRun
{
    int nStatus = -1;
    std::string strOutput;
    std::string strErrors;
};

class CToolFolder
{
public:
    CToolFolder()
    {
        char szDir[] = "/tmp/vlscript-tool-XXXXXX";
        if (mkdtemp(szDir) != nullptr)
            m_strDir = szDir;
    }
    ~CToolFolder()
    {
        if (!m_strDir.empty())
            std::system(("rm -rf '" + m_strDir + "'").c_str());
    }
    CToolFolder(const CToolFolder&) = delete;
    CToolFolder& operator=(const CToolFolder&) = delete;

    // Null when the tests run without the build's programs (not from ctest).
    static const char* BinDir() { return getenv("VL_TEST_BIN_DIR"); }
    const std::string& Dir() const { return m_strDir; }

    void Write(const std::string& strName, const std::string& strText) const
    {
        std::ofstream(m_strDir + "/" + strName, std::ios::binary) << strText;
    }

    // "vlscript ARGS" run in the folder through the shell, bounded so that a
    // hang fails; standard output goes to strOutput instead when given
    // ("&-" closes it).
    SToolRun Run(const std::string& strArgs, const std::string& strOutput = "") const
    {
        const std::string strOut = m_strDir + "/.out", strErr = m_strDir + "/.err";
        const std::string strCommand = "cd '" + m_strDir + "' && timeout 60 " + BinDir() + "/vlscript " + strArgs +
                                       " >" + (strOutput.empty() ? strOut : strOutput) + " 2>" + strErr + " </dev/null";
        const int nStatus = std::system(strCommand.c_str());
        SToolRun run;
        run.nStatus = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
        run.strOutput = ReadAll(strOut);
        run.strErrors = ReadAll(strErr);
        unlink(strOut.c_str());
        unlink(strErr.c_str());
        return run;
    }

    static std::string ReadAll(const std::string& strPath)
    {
        std::ifstream in(strPath, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string m_strDir;
};

#define VL_NEEDS_TOOLS()                               \
    do {                                               \
        if (CToolFolder::BinDir() == nullptr)          \
            GTEST_SKIP() << "VL_TEST_BIN_DIR not set"; \
    } while (0)

#endif
