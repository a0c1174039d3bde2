// vlresource: builds the binary definition resource from its list of XML
// files and script sources, and prints what a resource or a list holds.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/core/VLException.h"
#include "base/stream/VLFileStream.h"
#include "base/stream/VLStringStream.h"
#include "base/system/VLLocalizeUtility.h"
#include "cm/VLDefineLoader.h"

namespace {

const char* const g_szUsage = "usage:\n"
                              "  vlresource build LIST OUT   read the XML files and script sources named by the\n"
                              "                              list LIST (paths relative to its folder) and write\n"
                              "                              them as the binary resource OUT\n"
                              "  vlresource dump FILE        print the documents (as XML) and the scripts (name\n"
                              "                              and image size) of a binary resource or a list\n";

const char s_Magic[4] = {'V', 'L', 'C', 'M'};

int Fail(const std::string& strText)
{
    fprintf(stderr, "vlresource: %s\n", strText.c_str());
    return 1;
}

std::string TextOf(EVLException* e)
{
    CVLString str = e->ToString().ConvertTo(VL_CHARSET_UTF8, true);
    e->Delete();
    return std::string(str.GetBuffer(), static_cast<size_t>(str.GetLength()));
}

bool IsResource(const char* szPath)
{
    FILE* pFile = fopen(szPath, "rb");
    if (pFile == nullptr)
        return false;
    char magic[sizeof(s_Magic)] = {};
    size_t n = fread(magic, 1, sizeof(magic), pFile);
    fclose(pFile);
    return n == sizeof(magic) && memcmp(magic, s_Magic, sizeof(magic)) == 0;
}

// Reads the list: its folder is the root of every listed path.
void LoadList(CVLDefineLoader& loader, const char* szList)
{
    std::string strList(szList);
    size_t nSlash = strList.rfind('/');
    std::string strFolder = nSlash == std::string::npos ? "." : strList.substr(0, nSlash);
    std::string strName = nSlash == std::string::npos ? strList : strList.substr(nSlash + 1);
    CVLLocalizeUtility pathInfo;
    pathInfo.SetRootPath(strFolder.empty() ? "/" : strFolder.c_str());
    pathInfo.SetLanguageList("", false);
    pathInfo.SetDefaultFolder("");
    loader.LoadFiles(pathInfo, strName.c_str());
}

// The message for a failed load: the file, and the record or line.
int FailLoad(const CVLDefineLoader& loader, EVLException* e, bool bResource)
{
    std::string strWhere(loader.GetCurrentFile().GetBuffer(), static_cast<size_t>(loader.GetCurrentFile().GetLength()));
    char szNumber[64];
    if (bResource && loader.GetRecordNumber() > 0) {
        snprintf(szNumber, sizeof(szNumber), ": record %d (offset %u)", loader.GetRecordNumber(),
                 static_cast<unsigned>(loader.GetRecordOffset()));
        strWhere += szNumber;
    } else if (!bResource && loader.GetCurrentLine() > 0) {
        snprintf(szNumber, sizeof(szNumber), ": line %u", static_cast<unsigned>(loader.GetCurrentLine()));
        strWhere += szNumber;
    }
    return Fail(strWhere + ": " + TextOf(e));
}

int Build(const char* szList, const char* szOut)
{
    CVLDefineLoader loader;
    try {
        LoadList(loader, szList);
    } catch (EVLException* e) {
        return FailLoad(loader, e, false);
    }
    // Written beside the target and renamed, so that a failure leaves any
    // earlier resource as it was.
    std::string strTemp = std::string(szOut) + ".tmp";
    CVLFileStream out;
    out.SetFileName(strTemp.c_str());
    try {
        loader.Save(&out);
    } catch (EVLException* e) {
        remove(strTemp.c_str());
        return Fail(std::string(szOut) + ": not written: " + TextOf(e));
    }
    if (rename(strTemp.c_str(), szOut) != 0) {
        remove(strTemp.c_str());
        return Fail(std::string(szOut) + ": not written: " + strerror(errno));
    }
    return 0;
}

int Dump(const char* szFile)
{
    CVLDefineLoader loader;
    bool bResource = IsResource(szFile);
    try {
        if (bResource)
            loader.Load(szFile);
        else
            LoadList(loader, szFile);
    } catch (EVLException* e) {
        return FailLoad(loader, e, bResource);
    }
    std::string strOut;
    try {
        for (const auto& entry : loader.GetDocumentMap()) {
            strOut += "document ";
            strOut.append(entry.first.GetBuffer(), static_cast<size_t>(entry.first.GetLength()));
            strOut += "\n";
            CVLStringStream text;
            entry.second->SetFormat(true);
            entry.second->Save(&text);
            const CVLString& str = text.GetString();
            strOut.append(str.GetBuffer(), static_cast<size_t>(str.GetLength()));
            if (strOut.empty() || strOut.back() != '\n')
                strOut += "\n";
        }
    } catch (EVLException* e) {
        return Fail(std::string(szFile) + ": cannot print a document: " + TextOf(e));
    }
    for (CVLScriptConstIterator it = loader.GetScriptCollection().ConstBegin(); !it.IsEnd(); it.Next()) {
        const CVLScript* pScript = it.Get();
        char szSize[32];
        snprintf(szSize, sizeof(szSize), " %u\n", static_cast<unsigned>(pScript->GetSize()));
        strOut += "script ";
        strOut.append(pScript->GetName().GetBuffer(), static_cast<size_t>(pScript->GetName().GetLength()));
        strOut += szSize;
    }
    if (fwrite(strOut.data(), 1, strOut.size(), stdout) != strOut.size() || fflush(stdout) != 0)
        return Fail("cannot write standard output");
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0)) {
        fputs(g_szUsage, stdout);
        return 0;
    }
    if (argc == 4 && strcmp(argv[1], "build") == 0)
        return Build(argv[2], argv[3]);
    if (argc == 3 && strcmp(argv[1], "dump") == 0)
        return Dump(argv[2]);
    fputs(g_szUsage, stderr);
    return 1;
}
