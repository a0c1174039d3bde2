// vlstdtool scramble IN OUT: writes IN as a scrambled resource file OUT.
#include <string>
#include <sys/stat.h>

#include "tools/vlstdtool/ToolCommand.h"
#include "base/stream/VLEasyEncryptionFileStream.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLOpenException.h"
#include "base/stream/VLFileStream.h"

namespace {

int Scramble(int argc, char** argv)
{
    if (argc != 3)
        return VLToolUsage("scramble takes two files: scramble IN OUT");
    // Read as a regular file only: a FIFO or a device would block or never end.
    std::string data;
    CVLFileStream in;
    try {
        in.SetFileName(argv[1]);
        in.Open(VL_OPEN_READ);
        VL_BYTE buf[65536];
        for (VL_SIZE_T n; (n = in.Read(buf, sizeof(buf))) > 0;) {
            data.append(reinterpret_cast<const char*>(buf), n);
            if (data.size() > 0x7ffffff0u)
                return VLToolFail("%s is too large for a scrambled file", argv[1]);
        }
        in.Close();
    } catch (EVLException* e) {
        CVLExceptionOwner owner(e);
        return VLToolFail("%s: %s", argv[1], VLToolReason(e).c_str());
    }
    // Writing replaces what stands at OUT: only a regular file may.
    struct stat info;
    if (stat(argv[2], &info) == 0 && !S_ISREG(info.st_mode))
        return VLToolFail("%s: not written: %s", argv[2],
                          S_ISDIR(info.st_mode) ? "it is a folder" : "it exists and is not a regular file");

    CVLEasyEncryptionFileStream* pStream = new CVLEasyEncryptionFileStream();
    int nResult = 0;
    try {
        pStream->SetName(argv[2]);
        pStream->Open(VL_OPEN_WRITE);
        if (!data.empty())
            pStream->Write(reinterpret_cast<const VL_BYTE*>(data.data()), static_cast<VL_SIZE_T>(data.size()));
        pStream->Close();
    } catch (EVLException* e) {
        EVLOpenException* pOpen = dynamic_cast<EVLOpenException*>(e);
        nResult = VLToolFail("cannot write %s: %s", argv[2],
                             (pOpen != nullptr ? pOpen->GetReason() : VLToolReason(e)).c_str());
        e->Delete();
    }
    pStream->Destroy();
    return nResult;
}

}  // namespace

VL_TOOL_COMMAND(scramble, "scramble",
                "  scramble IN OUT   write the file IN as the scrambled resource file OUT\n", Scramble);
