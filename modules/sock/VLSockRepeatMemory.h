// What a receive thread remembers to recognise repeats: the datagrams each
// sender (address and port) sent since the socket's last send, as hashes, so
// that a device that answers one send more than once, or a flood that
// repeats a few datagrams, costs nothing beyond the first of each: the rest
// is dropped before anyone parses it. The owner forgets everything at each
// send, so each send's replies are heard: a device whose reply goes A, B, A
// over three sends is heard each time, and so is a reply that stands in for
// one lost on the way. At most MAX_ENTRIES are remembered; beyond them a new
// datagram's repeats pass on.
#ifndef VLSOCKREPEATMEMORY_H
#define VLSOCKREPEATMEMORY_H

#include <cstddef>
#include <cstdint>
#include <unordered_set>

#include "base/core/VLTypes.h"
#include "base/net/VLSocketAddress.h"

class CVLSockRepeatMemory
{
public:
    // Far above what the devices of a probe's networks send between two
    // sends; with the set's own share they take some 512 KiB.
    enum
    {
        MAX_ENTRIES = 8192
    };

    // True when the sender sent this datagram since the last Forget; else
    // it is remembered (while the bound allows).
    bool IsRepeat(CVLSocketAddress& from, const VL_BYTE* pData, int nLength);
    // Forgets every datagram: a send begins.
    void Forget() { m_Seen.clear(); }
    // Datagrams remembered.
    size_t GetCount() const { return m_Seen.size(); }

private:
    // The sender exactly, so that no datagram of one sender can pass for
    // another's.
    struct SEntry
    {
        uint64_t nSender;
        size_t nHash;
        int nLength;
        bool operator==(const SEntry& other) const
        {
            return nSender == other.nSender && nHash == other.nHash && nLength == other.nLength;
        }
    };
    struct SEntryHash
    {
        size_t operator()(const SEntry& entry) const;
    };
    std::unordered_set<SEntry, SEntryHash> m_Seen;
};

#endif
