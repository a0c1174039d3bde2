// A folder of files in which a program of the build runs as a user runs
// it: through the shell, its output and errors caught, bounded so that a
// hang fails.
#ifndef PROGRAMFOLDER_H
#define PROGRAMFOLDER_H

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "base/core/VLFileSystem.h"
#include "tests/support/TempFolder.h"

struct SProgramRun
{
    int nStatus = -1;
    std::string strOutput;
    std::string strErrors;
};

class CProgramFolder
{
public:
    CProgramFolder()
    {
        CTempPath szDir("vlprogram-XXXXXX");
        if (mkdtemp(szDir) != nullptr)
            m_strDir = szDir;
    }
    ~CProgramFolder()
    {
        if (!m_strDir.empty())
            std::system(("rm -rf '" + m_strDir + "'").c_str());
    }
    CProgramFolder(const CProgramFolder&) = delete;
    CProgramFolder& operator=(const CProgramFolder&) = delete;

    // The build's programs: where ctest says, else beside the test program.
    static std::string BinDir()
    {
        const char* szBin = getenv("VL_TEST_BIN_DIR");
        if (szBin != nullptr)
            return szBin;
        const CVLString strPath = VLGetExecutablePath();
        return std::string(strPath.GetBuffer(), static_cast<size_t>(strPath.GetLength()));
    }
    const std::string& Dir() const { return m_strDir; }

    void Write(const std::string& strName, const std::string& strText) const
    {
        std::ofstream(m_strDir + "/" + strName, std::ios::binary) << strText;
    }

    // "PROGRAM ARGS" (redirections included, standard input too) run in the
    // folder; standard output goes to strOutput instead when given ("&-"
    // closes it).
    SProgramRun Run(const std::string& strProgram, const std::string& strArgs, const std::string& strOutput = "") const
    {
        const std::string strOut = m_strDir + "/.out", strErr = m_strDir + "/.err";
        const std::string strCommand = "cd '" + m_strDir + "' && timeout 60 " + BinDir() + "/" + strProgram + " " +
                                       strArgs + " >" + (strOutput.empty() ? strOut : strOutput) + " 2>" + strErr;
        const int nStatus = std::system(strCommand.c_str());
        SProgramRun run;
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

#endif
