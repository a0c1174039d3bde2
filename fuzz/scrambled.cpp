// Reads arbitrary bytes as a scrambled resource file: any input must give
// data or an exception, never a crash or an out-of-bounds read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "base/stream/VLEasyEncryptionFileStream.h"
#include "base/core/VLException.h"
#include "tests/support/TempFolder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static const std::string path = TestTempFolder() + "/fuzz_scrambled_" + std::to_string(getpid());
    static const bool s_bCleanup = [] { return std::atexit([] { std::remove(path.c_str()); }) == 0; }();
    (void)s_bCleanup;
    FILE* fp = fopen(path.c_str(), "wb");
    if (fp == nullptr)
        return 0;
    if (nSize > 0)
        fwrite(pData, 1, nSize, fp);
    fclose(fp);
    CVLEasyEncryptionFileStream s;
    s.SetFileName(path.c_str());
    try {
        s.Open(VL_OPEN_READ);
        VL_BYTE buf[333];
        VL_SIZE_T nTotal = 0;
        while (VL_SIZE_T n = s.Read(buf, sizeof(buf)))
            nTotal += n;
        if (s.GetSize() > 1)
            s.Seek(s.GetSize() / 2 | 1);
        s.Read(buf, 3);
        (void)nTotal;
    } catch (EVLException* e) {
        e->Delete();
    }
    return 0;
}
