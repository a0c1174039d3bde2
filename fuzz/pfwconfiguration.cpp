// Reads arbitrary bytes as the application's configuration file, plain or
// (with the magic) scrambled: a load either succeeds with non-empty option
// keys or fails keeping nothing.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pfw/PFWConfiguration.h"
#include "tests/support/TempFolder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static const std::string s_strPath = TestTempFolder() + "/fuzz_pfwconfiguration_" + std::to_string(getpid()) + ".dat";
    FILE* fp = fopen(s_strPath.c_str(), "wb");
    if (fp == nullptr)
        return 0;
    fwrite(pData, 1, nSize, fp);
    fclose(fp);
    CPFWConfiguration configuration;
    VLPFW_RESULT eResult = configuration.Load(s_strPath.c_str());
    if (eResult != VLPFW_RESULT_SUCCESS) {
        if (!configuration.GetCommunicationManagerPropertyMap().empty() ||
            configuration.GetErrorText().GetLength() == 0)
            abort();
    } else {
        for (const auto& entry : configuration.GetCommunicationManagerPropertyMap()) {
            if (entry.first.GetLength() == 0)
                abort();
        }
    }
    unlink(s_strPath.c_str());
    return 0;
}
