// vlstdtool scramble IN OUT: writes IN as a scrambled resource file OUT.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/vlstdtool/ToolCommand.h"
#include "base/stream/VLEasyEncryptionFileStream.h"
#include "base/core/VLException.h"
#include "base/core/VLOpenException.h"

namespace {

int Scramble(int argc, char** argv)
{
    if (argc != 3)
        return VLToolUsage("scramble takes two files: scramble IN OUT");
    FILE* fp = fopen(argv[1], "rb");
    if (fp == nullptr)
        return VLToolFail("cannot open %s: %s", argv[1], strerror(errno));
    std::string data;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), fp)) > 0)
        data.append(buf, n);
    const int nError = ferror(fp) != 0 ? errno : 0;
    fclose(fp);
    if (nError != 0)
        return VLToolFail("cannot read %s: %s", argv[1], strerror(nError));
    if (data.size() > 0x7ffffff0u)
        return VLToolFail("%s is too large for a scrambled file", argv[1]);

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
