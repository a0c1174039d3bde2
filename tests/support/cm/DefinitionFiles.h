// Definition files written to a temporary folder and named in a file list,
// the framework's development form of its definitions.
#ifndef DEFINITIONFILES_H
#define DEFINITIONFILES_H

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "cm/VLCMApiConfig.h"
#include "tests/support/TempFolder.h"

class CDefinitionFiles
{
public:
    CDefinitionFiles()
    {
        CTempPath szTemplate("vlcm_test_XXXXXX");
        const char* p = mkdtemp(szTemplate);
        m_strFolder = p == nullptr ? std::string() : std::string(p);
    }
    ~CDefinitionFiles()
    {
        if (m_strFolder.empty())
            return;
        std::string strCommand = "rm -rf '" + m_strFolder + "'";
        if (std::system(strCommand.c_str()) != 0)
            std::perror("rm");
    }
    std::string WriteFile(const std::string& strName, const std::string& strText)
    {
        std::string strPath = m_strFolder + "/" + strName;
        std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
        out << strText;
        return strPath;
    }
    void AddXml(const std::string& strName, const std::string& strText)
    {
        WriteFile(strName, strText);
        m_Files.emplace_back(strName, "xml");
    }
    void AddScript(const std::string& strName, const std::string& strText)
    {
        WriteFile(strName, strText);
        m_Files.emplace_back(strName, "script");
    }
    // Writes the list "vlres201.dat" and points the configuration at it.
    void Configure(CVLCMApiConfig& config)
    {
        std::string strList = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<FileList>\n";
        for (const auto& file : m_Files)
            strList += "  <File name=\"" + file.first + "\" type=\"" + file.second + "\"/>\n";
        strList += "</FileList>\n";
        WriteFile("vlres201.dat", strList);
        CVLLocalizeUtility pathInfo;
        pathInfo.SetRootPath(m_strFolder.c_str());
        pathInfo.SetDefaultFolder(".");
        config.SetPathInfo(pathInfo);
        config.SetFileListName("vlres201.dat");
    }
    std::string GetFolder() const { return m_strFolder; }

private:
    std::string m_strFolder;
    std::vector<std::pair<std::string, std::string>> m_Files;  // name, type
};

#endif
