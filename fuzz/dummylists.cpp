// Reads arbitrary bytes as either device list of the simulated probe: the
// walkers keep within their bounds, and every device they accept can be
// written into a device record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/core/VLException.h"
#include "base/xml/VLXmlDocument.h"
#include "ecm/VLECM.h"
#include "ecm/simulated/VLECMDummyProbe.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "tests/support/XmlTestStream.h"

namespace {

// The walkers check for a stop request, which only a running thread can
// have; here nothing runs, so nothing asks to stop.
class CFuzzDummyProbe : public CVLECMDummyProbe
{
public:
    bool IsRequestEnd() override { return false; }
};

size_t CountProperties(const VLECM_DUMMY_PROPERTY_SET_MAP& sets)
{
    size_t n = 0;
    for (const auto& set : sets)
        n += set.second.size();
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize > static_cast<size_t>(CVLECMDummyProbe::kMaxListFileBytes))
        return 0;
    static CVLECM* s_pECM = new CVLECM();
    CVLXmlDocument document;
    CTestStream in(std::string(reinterpret_cast<const char*>(pData), nSize));
    try {
        document.Load(&in);
    } catch (EVLException* e) {
        e->Delete();
        return 0;
    }
    CFuzzDummyProbe probe;
    VLECM_DUMMY_PROPERTY_SET_MAP sets;
    VLECM_DUMMY_PRINTER_MAP printers;
    try {
        probe.analyzeDummyPropertyInfo(document, sets);
    } catch (...) {
    }
    try {
        probe.analyzeDummyPrinterList(document, printers);
    } catch (...) {
    }
    if (CountProperties(sets) > static_cast<size_t>(CVLECMDummyProbe::kMaxProperties) ||
        printers.size() > static_cast<size_t>(CVLECMDummyProbe::kMaxPrinters))
        std::abort();
    size_t nOwn = 0;
    for (auto& entry : printers) {
        nOwn += CountProperties(entry.second.PropertySetMap);
        CVLECMNIFInfo record;
        record.SetApi(s_pECM->GetApi());
        // Every accepted path fits a property tree: no failure here.
        for (auto& set : entry.second.PropertySetMap)
            probe.margeDummyPropertyByHardwareType(record, entry.second.PropertySetMap, set.first);
    }
    if (nOwn > static_cast<size_t>(CVLECMDummyProbe::kMaxProperties))
        std::abort();
    for (auto& set : sets) {
        CVLECMNIFInfo record;
        record.SetApi(s_pECM->GetApi());
        probe.margeDummyPropertyByHardwareType(record, sets, set.first);
    }
    return 0;
}
