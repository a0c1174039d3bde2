// Parses arbitrary text and octets as dates, and arbitrary text as dotted
// quads, and checks that what was taken formats and reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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

    // Only a text the strict reading takes reaches the resolver here: no name
    // is ever looked up. The socket address reads it as that reading does.
    unsigned char bytes[4];
    if (CVLSocketAddress::ParseDottedQuad(strText.c_str(), bytes)) {
        unsigned char again[4];
        if (!CVLSocketAddress::ParseDottedQuad(CVLSocketAddress::FormatDottedQuad(bytes).GetString(), again) ||
            std::memcmp(bytes, again, sizeof(bytes)) != 0)
            abort();
        CVLSocketAddress address(0, strText.c_str(), 0);
        if (std::memcmp(address.GetAddressBytes(), bytes, sizeof(bytes)) != 0)
            abort();
    }
    return 0;
}
