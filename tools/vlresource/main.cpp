// vlresource: builds the binary definition resource from its list of XML
// files and script sources, and prints what a resource or a list holds.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "base/core/VLCommandLine.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLStandardOutput.h"
#include "base/stream/VLMemoryStream.h"
#include "base/stream/VLStringStream.h"
#include "base/system/VLLocalizeUtility.h"
#include "cm/VLDefineLoader.h"

namespace {

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

// Whether the file starts with the resource magic. It is opened without
// blocking and read only when it is a regular file: a FIFO or a device would
// block or never end. szReason says why the file cannot be read.
bool IsResource(const char* szPath, std::string& strReason)
{
    int fd = open(szPath, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        strReason = std::string("cannot be opened: ") + strerror(errno);
        return false;
    }
    struct stat info;
    char magic[sizeof(s_Magic)] = {};
    bool bResource = false;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        strReason = "not a regular file";
    else
        bResource = read(fd, magic, sizeof(magic)) == static_cast<ssize_t>(sizeof(magic)) &&
                    memcmp(magic, s_Magic, sizeof(magic)) == 0;
    close(fd);
    return bResource;
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
    // What the resource is built from is read whole, or the build fails.
    loader.SetStrict(true);
    loader.LoadFiles(pathInfo, strName.c_str());
}

// The message for a failed load: the file, the record or line, the reason.
int FailLoad(const CVLDefineLoader& loader, EVLException* e)
{
    CVLExceptionOwner owner(e);
    return Fail(loader.DescribeFailure(e));
}

// Whether two stat results are one file.
bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The resource bytes of what loader holds; false (with the message printed)
// when the documents do not fit the resource form.
bool SaveToBytes(CVLDefineLoader& loader, const char* szOut, std::string& bytes)
{
    CVLMemoryStream data;
    try {
        loader.Save(&data);
        data.Open(VL_OPEN_READ);
        VL_BYTE buffer[65536];
        for (;;) {
            VL_SIZE_T n = data.Read(buffer, sizeof(buffer));
            if (n == 0 || n > sizeof(buffer))
                break;
            bytes.append(reinterpret_cast<const char*>(buffer), n);
        }
        data.Close();
    } catch (EVLException* e) {
        std::string strReason = loader.GetErrorText();
        std::string strText = TextOf(e);
        Fail(std::string(szOut) + ": not written: " + (strReason.empty() ? strText : strReason));
        return false;
    }
    return true;
}

int Build(int, char** argv)
{
    const char* szList = argv[1];
    const char* szOut = argv[2];
    // OUT is replaced by a rename: a device, a FIFO or a folder there would
    // be replaced (or written through) instead of a resource file.
    struct stat outInfo;
    bool bOutExists = stat(szOut, &outInfo) == 0;
    if (bOutExists && !S_ISREG(outInfo.st_mode))
        return Fail(std::string(szOut) + ": not written: " +
                    (S_ISDIR(outInfo.st_mode) ? "it is a folder" : "it exists and is not a regular file"));
    std::string strReason;
    if (IsResource(szList, strReason))
        return Fail(std::string(szList) + ": a definition resource, not a list: build reads a list (dump prints a "
                                          "resource)");
    CVLDefineLoader loader;
    try {
        LoadList(loader, szList);
    } catch (EVLException* e) {
        return FailLoad(loader, e);
    }
    // Nor may it be one of the files the resource is built from.
    for (const CVLString& strRead : loader.GetFilesRead()) {
        struct stat info;
        if (bOutExists && stat(strRead.GetBuffer(), &info) == 0 && SameFile(info, outInfo))
            return Fail(std::string(szOut) + ": not written: it is " + strRead.GetBuffer() +
                        ", which the resource is built from");
    }
    std::string bytes;
    if (!SaveToBytes(loader, szOut, bytes))
        return 1;
    // Written to a new file of a name nobody can guess or take over, beside
    // OUT, then renamed: a failure leaves an earlier OUT as it was.
    std::string strTemp = std::string(szOut) + ".XXXXXX";
    int fd = mkstemp(&strTemp[0]);
    if (fd < 0)
        return Fail(std::string(szOut) + ": not written: " + strerror(errno));
    mode_t nMask = umask(0);
    umask(nMask);
    bool bWritten = fchmod(fd, 0666 & ~nMask) == 0;
    for (size_t nDone = 0; bWritten && nDone < bytes.size();) {
        ssize_t r = write(fd, bytes.data() + nDone, bytes.size() - nDone);
        bWritten = r > 0;
        nDone += bWritten ? static_cast<size_t>(r) : 0;
    }
    int nError = errno;
    if (close(fd) != 0 && bWritten) {
        bWritten = false;
        nError = errno;
    }
    if (!bWritten || rename(strTemp.c_str(), szOut) != 0) {
        if (bWritten)
            nError = errno;
        unlink(strTemp.c_str());
        return Fail(std::string(szOut) + ": not written: " + strerror(nError));
    }
    return 0;
}

int Dump(int, char** argv)
{
    const char* szFile = argv[1];
    CVLDefineLoader loader;
    std::string strReason;
    bool bResource = IsResource(szFile, strReason);
    if (!strReason.empty())
        return Fail(std::string(szFile) + ": " + strReason);
    try {
        if (bResource)
            loader.Load(szFile);
        else
            LoadList(loader, szFile);
    } catch (EVLException* e) {
        return FailLoad(loader, e);
    }
    // A list is shown as the resource it builds, so that both print the same
    // text: the resource form drops comments, for one.
    CVLDefineLoader built;
    if (!bResource) {
        std::string bytes;
        if (!SaveToBytes(loader, szFile, bytes))
            return 1;
        try {
            built.Load(reinterpret_cast<const VL_BYTE*>(bytes.data()), static_cast<VL_SIZE_T>(bytes.size()));
        } catch (EVLException* e) {
            return FailLoad(built, e);
        }
    }
    CVLDefineLoader& shown = bResource ? loader : built;
    if (shown.GetDocumentMap().empty() && shown.GetScriptCollection().ConstBegin().IsEnd())
        return Fail(std::string(szFile) + ": an empty resource: no document and no script, where the definitions "
                                          "were expected");
    std::string strOut;
    try {
        for (const auto& entry : shown.GetDocumentMap()) {
            strOut += "document ";
            strOut.append(entry.first.GetBuffer(), static_cast<size_t>(entry.first.GetLength()));
            strOut += "\n";
            CVLStringStream text;
            entry.second->ClearLayoutBlanks();
            entry.second->SetFormat(true);
            entry.second->SetLineEndText("\n");
            entry.second->Save(&text);
            const CVLString& str = text.GetString();
            strOut.append(str.GetBuffer(), static_cast<size_t>(str.GetLength()));
            if (strOut.empty() || strOut.back() != '\n')
                strOut += "\n";
        }
    } catch (EVLException* e) {
        return Fail(std::string(szFile) + ": cannot print a document: " + TextOf(e));
    }
    for (CVLScriptConstIterator it = shown.GetScriptCollection().ConstBegin(); !it.IsEnd(); it.Next()) {
        const CVLScript* pScript = it.Get();
        char szSize[32];
        snprintf(szSize, sizeof(szSize), " %u\n", static_cast<unsigned>(pScript->GetSize()));
        strOut += "script ";
        strOut.append(pScript->GetName().GetBuffer(), static_cast<size_t>(pScript->GetName().GetLength()));
        strOut += szSize;
    }
    if (!CVLStandardOutput::Write(strOut))
        return CVLStandardOutput::Fail("vlresource");
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    CVLCommandLine line("vlresource", "usage:\n", nullptr);
    line.AddCommand({"build",
                     "  vlresource build LIST OUT   read the XML files and script sources named by the\n"
                     "                              list LIST (paths relative to its folder) and write\n"
                     "                              them as the binary resource OUT\n",
                     2, 2, 0, Build});
    line.AddCommand({"dump",
                     "  vlresource dump FILE        print the documents (as XML) and the scripts (name\n"
                     "                              and image size) of a binary resource or a list\n",
                     1, 1, 0, Dump});
    return line.Run(argc, argv);
}
