// Loads arbitrary bytes as a definition resource. A resource that loads is
// written back; what was written must load again and write the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/core/VLException.h"
#include "cm/VLDefineLoader.h"
#include "tests/support/XmlTestStream.h"

namespace {

bool Load(CVLDefineLoader& loader, const uint8_t* pData, size_t nSize)
{
    try {
        loader.Load(pData, static_cast<VL_SIZE_T>(nSize));
    } catch (EVLException* e) {
        e->ToString();
        e->Delete();
        return false;
    }
    return true;
}

bool Save(CVLDefineLoader& loader, std::string& strOut)
{
    CTestStream out;
    try {
        loader.Save(&out);
    } catch (EVLException* e) {
        e->Delete();
        return false;
    }
    strOut = out.m_Data;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize > 1 << 20)
        return 0;
    // The loader reads a copy that is exactly as long as the input.
    std::string input(reinterpret_cast<const char*>(pData), nSize);
    CVLDefineLoader loader;
    if (!Load(loader, reinterpret_cast<const uint8_t*>(input.data()), input.size()))
        return 0;
    if (input != std::string(reinterpret_cast<const char*>(pData), nSize))
        std::abort();  // the loader wrote into its input
    std::string saved;
    if (!Save(loader, saved))
        return 0;  // something the writer refuses, such as an empty name
    CVLDefineLoader again;
    if (!Load(again, reinterpret_cast<const uint8_t*>(saved.data()), saved.size()))
        std::abort();  // the writer produced what the reader refuses
    std::string twice;
    if (!Save(again, twice) || twice != saved)
        std::abort();
    return 0;
}
