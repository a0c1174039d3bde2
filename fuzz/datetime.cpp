// Parses arbitrary text and octets as dates, and arbitrary text as dotted
// quads, and checks that what was taken formats and reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/value/VLDateTime.h"
#include "base/net/VLSocketAddress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize > 256)
        return 0;
    std::string strText(reinterpret_cast<const char*>(pData), nSize);

    CVLDateTime parsed;
    if (parsed.Parse(strText.c_str())) {
        CVLDateTime again;
        if (!again.Parse(parsed.ToString().GetString()))
            abort();
        if (!parsed.IsTimeOnly() && again.GetAsUInt64() / 65536 != parsed.GetAsUInt64() / 65536)
            abort();
        CVLByteArray binary = parsed.GetBinary();
        CVLDateTime fromBinary;
        fromBinary.SetTimeOnly(parsed.IsTimeOnly());
        fromBinary.SetBinary(binary.GetData(), binary.GetSize());
        if (fromBinary.GetBinary() != binary)
            abort();
    }

    CVLDateTime octets;
    octets.SetBinary(pData, static_cast<int>(nSize));
    octets.ToString();

    // Only dotted quads reach the resolver here: no name is ever looked up.
    CVLString strNormal = CVLSocketAddress::NormalizeDottedQuad(strText.c_str());
    CVLString strNetwork = CVLSocketAddress::GetNetworkAddressText(strText.c_str(), "255.255.0.0");
    if (!CVLSocketAddress::IsDottedQuad(strNormal.GetString()) || !CVLSocketAddress::IsDottedQuad(strNetwork.GetString()))
        abort();
    return 0;
}
