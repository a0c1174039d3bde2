#include "modules/sock/VLSockRepeatMemory.h"

#include <functional>
#include <string_view>

namespace {
// Spreads the sender's bits over the hash (the 64-bit golden ratio).
const uint64_t kSpread = 0x9E3779B97F4A7C15ULL;
}  // namespace

size_t CVLSockRepeatMemory::SEntryHash::operator()(const SEntry& entry) const
{
    return entry.nHash ^ static_cast<size_t>(entry.nSender * kSpread);
}

bool CVLSockRepeatMemory::IsRepeat(CVLSocketAddress& from, const VL_BYTE* pData, int nLength)
{
    if (pData == nullptr || nLength <= 0)
        return false;
    SEntry entry;
    entry.nSender = static_cast<uint64_t>(static_cast<unsigned int>(from.GetPort()) & 0xFFFF);
    const unsigned char* pAddress = from.GetAddressBytes();
    if (pAddress != nullptr) {
        for (int i = 0; i < 4; ++i)
            entry.nSender |= static_cast<uint64_t>(pAddress[i]) << (16 + 8 * i);
    }
    entry.nHash = std::hash<std::string_view>()(
        std::string_view(reinterpret_cast<const char*>(pData), static_cast<size_t>(nLength)));
    entry.nLength = nLength;
    if (m_Seen.count(entry) != 0)
        return true;
    if (m_Seen.size() < MAX_ENTRIES)
        m_Seen.insert(entry);
    return false;
}
