// The admission of probe replies: error answers, duplicates, impostors and
// invented devices.
#include "ecm/VLECMPrivate.h"
#include "ecm/VLECMReplyFilter.h"

#include <arpa/inet.h>

#include <functional>
#include <string>

#include "base/core/VLCharset.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "base/net/VLSocketAddress.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetLock.h"
#include "ecm/VLECMDefs.h"
#include "ecm/VLECMNIFInfo.h"

const char* const s_szFile = "VLECMReplyFilter";

namespace {
// Addresses of a network's bound report counted one by one; beyond, only
// the replies are.
const size_t kMaxReportedAddresses = 65536;

CVLString PropertyText(CVLTarget* pTarget, const char* szPath)
{
    CVLProperty* pProperty = pTarget->GetProperties()->GetProperty(szPath, false);
    return pProperty != nullptr ? pProperty->ToString("") : CVLString(VL_CHARSET_UTF8);
}

// Host order; false for a text that is no dotted quad.
CVLString AddressText(uint32_t nAddress)
{
    char sz[INET_ADDRSTRLEN] = "";
    in_addr addr;
    addr.s_addr = htonl(nAddress);
    inet_ntop(AF_INET, &addr, sz, sizeof(sz));
    return CVLString(sz, VL_CHARSET_UTF8);
}

uint32_t HostOrder(const unsigned char bytes[4])
{
    return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
}

bool ParseAddress(const CVLString& str, uint32_t& nAddress)
{
    unsigned char bytes[4];
    if (!CVLSocketAddress::ParseDottedQuad(TextOf(str), bytes))
        return false;
    nAddress = HostOrder(bytes);
    return true;
}

int PrefixLength(uint32_t nMask)
{
    int n = 0;
    while (n < 32 && (nMask & (0x80000000u >> n)) != 0)
        ++n;
    return n;
}
}  // namespace

CVLECMReplyFilter::CVLECMReplyFilter() : m_nRefused(0), m_nDropped(0)
{
}

CVLECMReplyFilter::~CVLECMReplyFilter()
{
}

void CVLECMReplyFilter::Reset()
{
    std::vector<VLInterfaceAddress> addresses;
    VLListInterfaceAddresses(addresses);
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    m_Devices.clear();
    m_NetworkCounts.clear();
    m_MACsPerSource.clear();
    m_TracedSources.clear();
    m_RefusedPerSource.clear();
    m_nRefused = 0;
    m_nDropped = 0;
    SetLocalNetworks(addresses);
}

void CVLECMReplyFilter::SetLocalNetworks(const std::vector<VLInterfaceAddress>& addresses)
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    m_Networks.clear();
    for (const VLInterfaceAddress& entry : addresses) {
        uint32_t nMask = HostOrder(entry.netmask);
        if (!entry.bUp || entry.bLoopback || nMask == 0)
            continue;
        SNetwork network;
        network.nMask = nMask;
        network.nAddress = HostOrder(entry.address) & nMask;
        bool bKnown = false;
        for (const SNetwork& other : m_Networks)
            bKnown = bKnown || (other.nAddress == network.nAddress && other.nMask == nMask);
        if (bKnown)
            continue;
        network.strName = AddressText(network.nAddress);
        network.strName += "/";
        network.strName += std::to_string(PrefixLength(nMask)).c_str();
        network.strBroadcast = AddressText(network.nAddress | ~nMask);
        m_Networks.push_back(network);
    }
}

const CVLECMReplyFilter::SNetwork* CVLECMReplyFilter::findNetwork(const CVLString& strFrom) const
{
    uint32_t nAddress = 0;
    if (!ParseAddress(strFrom, nAddress))
        return nullptr;
    // The narrowest network that holds the address.
    const SNetwork* pFound = nullptr;
    for (const SNetwork& network : m_Networks) {
        if ((nAddress & network.nMask) == network.nAddress && (pFound == nullptr || network.nMask > pFound->nMask))
            pFound = &network;
    }
    return pFound;
}

CVLString CVLECMReplyFilter::GetNetwork(const CVLString& strFrom)
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    const SNetwork* pNetwork = findNetwork(strFrom);
    return pNetwork != nullptr ? pNetwork->strName : CVLString(VL_CHARSET_UTF8);
}

CVLString CVLECMReplyFilter::GetDirectedBroadcast(const CVLString& strFrom)
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    const SNetwork* pNetwork = findNetwork(strFrom);
    return pNetwork != nullptr ? pNetwork->strBroadcast : CVLString(VL_CHARSET_UTF8);
}

void CVLECMReplyFilter::refuse(const CVLString& strFrom)
{
    ++m_nRefused;
    auto it = m_RefusedPerSource.find(strFrom);
    if (it == m_RefusedPerSource.end()) {
        if (m_RefusedPerSource.size() >= MAX_COUNTED_SOURCES)
            return;
        it = m_RefusedPerSource.emplace(strFrom, 0).first;
        CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                         "CVLECMReplyFilter: %s answered without a MAC address; such replies are refused",
                         TextOf(strFrom));
    }
    ++it->second;
}

bool CVLECMReplyFilter::Admit(CVLTarget* pReply, CVLString* pMAC, size_t* pBytes)
{
    if (pReply == nullptr)
        return false;
    CVLString strMAC(VL_CHARSET_UTF8), strFrom(VL_CHARSET_UTF8);
    size_t nFingerprint = 0;
    size_t nBytes = 0;
    {
        CVLTargetLock targetLock(pReply);
        targetLock.Lock();
        strMAC = CVLECMNIFInfo::NormalizeMACAddress(PropertyText(pReply, "MACAddress"));
        strFrom = PropertyText(pReply, "IPAddress");
        if (strMAC.GetLength() == 0) {
            // An error answer carries no device: it would only become a
            // record that the probe instance drops.
            CVLThreadLock lock(&m_Sync);
            if (lock.Lock())
                refuse(strFrom);
            return false;
        }
        CVLString strData = pReply->GetPropertiesText("");
        nFingerprint = std::hash<std::string>()(std::string(TextOf(strData)));
        // A property node with its name and value takes some four times
        // the bytes of its line in the dump.
        nBytes = sizeof(CVLTarget) + 4 * static_cast<size_t>(strData.GetLength());
    }
    if (!Admit(strMAC, strFrom, nFingerprint, pReply))
        return false;
    if (pMAC != nullptr)
        *pMAC = strMAC;
    if (pBytes != nullptr)
        *pBytes = nBytes;
    return true;
}

bool CVLECMReplyFilter::Admit(const CVLString& strMAC, const CVLString& strFrom, size_t nFingerprint, CVLTarget* pReply)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return false;
    if (strMAC.GetLength() == 0) {
        refuse(strFrom);
        return false;
    }
    auto it = m_Devices.find(strMAC);
    if (it != m_Devices.end()) {
        SDevice& device = it->second;
        if (device.strFrom != strFrom) {
            if (device.strConflict.GetLength() == 0) {
                device.strConflict = strFrom;
                CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                                 "CVLECMReplyFilter: %s answered from %s and from %s; the first is kept",
                                 TextOf(strMAC), TextOf(device.strFrom), TextOf(strFrom));
            }
            ++m_nDropped;
            return false;
        }
        if (device.bPending) {
            // One record of a device waits at a time; a change goes into it.
            if (nFingerprint != device.nFingerprint && device.pWaiting != nullptr && pReply != nullptr) {
                CVLTargetLock waitingLock(device.pWaiting);
                waitingLock.Lock();
                device.pWaiting->Marge(pReply);
                device.nFingerprint = nFingerprint;
                return false;
            }
            ++m_nDropped;
            return false;
        }
        // Unchanged data is dropped once a reply of the device has arrived;
        // until then (its record lost) the next reply may stand in for it.
        if (nFingerprint == device.nFingerprint && device.bDelivered) {
            ++m_nDropped;
            return false;
        }
        device.nFingerprint = nFingerprint;
        device.bPending = true;
        return true;
    }
    const SNetwork* pNetwork = findNetwork(strFrom);
    CVLString strNetwork = pNetwork != nullptr ? pNetwork->strName : CVLString(VL_CHARSET_UTF8);
    SNetworkCount& count = m_NetworkCounts[strNetwork];
    if (count.nDevices >= MAX_DEVICES) {
        if (!count.bBoundTraced) {
            count.bBoundTraced = true;
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECMReplyFilter: %d devices found on %s; further devices there are dropped",
                             MAX_DEVICES, strNetwork.GetLength() > 0 ? TextOf(strNetwork) : "no local network");
        }
        ++count.nBoundReplies;
        uint32_t nAddress = 0;
        if (count.boundAddresses.size() < kMaxReportedAddresses && ParseAddress(strFrom, nAddress))
            count.boundAddresses.insert(nAddress);
        ++m_nDropped;
        return false;
    }
    int& nMACs = m_MACsPerSource[strFrom];
    if (nMACs >= MAX_MACS_PER_SOURCE) {
        if (m_TracedSources.insert(strFrom).second)
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECMReplyFilter: %s answered with more than %d MAC addresses; further ones are "
                             "dropped",
                             TextOf(strFrom), MAX_MACS_PER_SOURCE);
        ++count.nSourceBoundReplies;
        uint32_t nAddress = 0;
        if (count.sourceBoundAddresses.size() < kMaxReportedAddresses && ParseAddress(strFrom, nAddress))
            count.sourceBoundAddresses.insert(nAddress);
        ++m_nDropped;
        return false;
    }
    ++nMACs;
    ++count.nDevices;
    SDevice& device = m_Devices[strMAC];
    device.strFrom = strFrom;
    device.nFingerprint = nFingerprint;
    device.bPending = true;
    return true;
}

void CVLECMReplyFilter::Queued(const CVLString& strMAC, CVLTarget* pRecord)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return;
    auto it = m_Devices.find(strMAC);
    if (it != m_Devices.end() && it->second.bPending)
        it->second.pWaiting = pRecord;
}

void CVLECMReplyFilter::Delivered(const CVLString& strMAC)
{
    release(strMAC, true);
}

void CVLECMReplyFilter::release(const CVLString& strMAC, bool bDelivered)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return;
    auto it = m_Devices.find(strMAC);
    if (it != m_Devices.end()) {
        it->second.bPending = false;
        it->second.bDelivered = it->second.bDelivered || bDelivered;
        it->second.pWaiting = nullptr;
    }
}

bool CVLECMReplyFilter::Dropped(CVLTarget* pRecord)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock() || pRecord == nullptr)
        return false;
    for (auto& entry : m_Devices) {
        if (entry.second.pWaiting == pRecord) {
            entry.second.bPending = false;
            entry.second.pWaiting = nullptr;
            return true;
        }
    }
    return false;
}

void CVLECMReplyFilter::Dropped(const CVLString& strMAC)
{
    release(strMAC, false);
}

CVLString CVLECMReplyFilter::GetConflictAddress(const CVLString& strMAC)
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    auto it = m_Devices.find(CVLECMNIFInfo::NormalizeMACAddress(strMAC));
    return it != m_Devices.end() ? it->second.strConflict : CVLString(VL_CHARSET_UTF8);
}

CVLString CVLECMReplyFilter::GetFirstAddress(const CVLString& strMAC)
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    auto it = m_Devices.find(CVLECMNIFInfo::NormalizeMACAddress(strMAC));
    return it != m_Devices.end() ? it->second.strFrom : CVLString(VL_CHARSET_UTF8);
}

unsigned long CVLECMReplyFilter::GetDroppedCount()
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    return m_nDropped;
}

unsigned long CVLECMReplyFilter::GetRefusedCount()
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    return m_nRefused;
}

unsigned long CVLECMReplyFilter::GetRefusedCount(const CVLString& strFrom)
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    auto it = m_RefusedPerSource.find(strFrom);
    return it != m_RefusedPerSource.end() ? it->second : 0;
}

std::vector<CVLECMReplyFilter::SBoundReport> CVLECMReplyFilter::GetBoundReports()
{
    std::vector<SBoundReport> reports;
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return reports;
    for (const auto& entry : m_NetworkCounts) {
        if (entry.second.nBoundReplies == 0)
            continue;
        SBoundReport report;
        report.strNetwork = entry.first;
        report.nReplies = entry.second.nBoundReplies;
        report.nAddresses = static_cast<unsigned long>(entry.second.boundAddresses.size());
        reports.push_back(report);
    }
    for (const auto& entry : m_NetworkCounts) {
        if (entry.second.nSourceBoundReplies == 0)
            continue;
        SBoundReport report;
        report.strNetwork = entry.first;
        report.nBound = MAX_MACS_PER_SOURCE;
        report.nReplies = entry.second.nSourceBoundReplies;
        report.nAddresses = static_cast<unsigned long>(entry.second.sourceBoundAddresses.size());
        reports.push_back(report);
    }
    return reports;
}
