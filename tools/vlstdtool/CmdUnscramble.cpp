// vlstdtool unscramble FILE: writes the plain contents of a scrambled
// resource file to standard output. A file without the "VLEE" magic is read
// plainly, as the configuration reader does. The output is written once the
// whole file has been read: a file that fails writes nothing.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/vlstdtool/ToolCommand.h"
#include "base/stream/VLEasyEncryptionFileStream.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/stream/VLFileStream.h"

namespace {

// The first trailer byte a writer makes: 12 - (size AND 1) + 2 x (0 to 49).
const unsigned kTrailerLow = 11;
const unsigned kTrailerHigh = 110;

std::string ReadRaw(const char* szPath)
{
    std::string data;
    FILE* fp = fopen(szPath, "rb");
    if (fp == nullptr)
        return data;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), fp)) > 0)
        data.append(buf, n);
    fclose(fp);
    return data;
}

// Why a file that starts with the magic cannot be read as a scrambled file.
std::string Diagnose(const char* szPath)
{
    std::string data = ReadRaw(szPath);
    if (data.size() < 12)
        return "too short for a scrambled file (" + std::to_string(data.size()) + " bytes, at least 12 needed)";
    if (static_cast<unsigned char>(data[4]) != 0x31)
        return "unknown version byte";
    if (static_cast<unsigned char>(~static_cast<unsigned char>(data[7])) >= 8)
        return "bad key index";
    size_t nBody = data.size() - 12;
    if (nBody % 2 != 0)
        return "the scrambled data is not a whole number of pairs";
    if (nBody == 0 && (static_cast<unsigned char>(data[data.size() - 2]) & 1))
        return "the trailer claims an odd length for empty data";
    return "the file cannot be read";
}

// The format holds no length: a file cut at an even length still opens,
// its last two bytes taken for the trailer. A first trailer byte that no
// writer makes shows such a cut (or damage); "" when it is one.
std::string CheckTrailer(const char* szPath)
{
    std::string data = ReadRaw(szPath);
    if (data.size() < 12)
        return "";
    unsigned nFirst = static_cast<unsigned char>(data[data.size() - 2]);
    if (nFirst >= kTrailerLow && nFirst <= kTrailerHigh)
        return "";
    char szWhy[160];
    snprintf(szWhy, sizeof(szWhy),
             "the file is cut or damaged: its last two bytes are no trailer (the first is %u, where %u to %u is "
             "written)",
             nFirst, kTrailerLow, kTrailerHigh);
    return szWhy;
}

int Unscramble(int argc, char** argv)
{
    if (argc != 2)
        return VLToolUsage("unscramble takes one file: unscramble FILE");
    const char* szPath = argv[1];
    // Read as a regular file only: a FIFO or a device would block or never end.
    VL_BYTE magic[4] = {};
    VL_SIZE_T nMagic = 0;
    CVLFileStream probe;
    try {
        probe.SetFileName(szPath);
        probe.Open(VL_OPEN_READ);
        nMagic = probe.Read(magic, sizeof(magic));
        probe.Close();
    } catch (EVLException* e) {
        CVLExceptionOwner owner(e);
        return VLToolFail("%s: %s", szPath, VLToolReason(e).c_str());
    }
    bool bScrambled = nMagic == 4 && std::memcmp(magic, "VLEE", 4) == 0;

    IVLStream* pStream = bScrambled ? static_cast<IVLStream*>(new CVLEasyEncryptionFileStream())
                                    : static_cast<IVLStream*>(new CVLFileStream());
    int nResult = 0;
    bool bOpened = false;
    std::string strPlain;
    try {
        pStream->SetName(szPath);
        pStream->Open(VL_OPEN_READ);
        bOpened = true;
        VL_BYTE buf[65536];
        for (;;) {
            VL_SIZE_T n = pStream->Read(buf, sizeof(buf));
            if (n == 0)
                break;
            strPlain.append(reinterpret_cast<const char*>(buf), n);
        }
        pStream->Close();
        const std::string strCut = bScrambled ? CheckTrailer(szPath) : std::string();
        if (!strCut.empty())
            nResult = VLToolFail("%s: malformed scrambled file: %s", szPath, strCut.c_str());
        else if (!VLToolWriteStdout(strPlain.data(), strPlain.size()))
            nResult = VLToolOutputFailed();
    } catch (EVLException* e) {
        CVLExceptionOwner owner(e);
        if (bScrambled)
            nResult = VLToolFail("%s: malformed scrambled file: %s", szPath,
                                 bOpened ? "the scrambled data is cut short" : Diagnose(szPath).c_str());
        else
            nResult = VLToolFail("%s: %s", szPath, VLToolReason(e).c_str());
    }
    pStream->Destroy();
    return nResult;
}

}  // namespace

VL_TOOL_COMMAND(unscramble, "unscramble",
                "  unscramble FILE   write the plain contents of the scrambled resource file FILE to\n"
                "                    standard output (a file without the \"VLEE\" magic is copied as it is)\n",
                Unscramble);
