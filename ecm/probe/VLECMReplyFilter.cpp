// The admission of probe replies: error answers, duplicates, impostors and
// invented devices.
#include "ecm/probe/VLECMReplyFilter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "base/core/VLCharset.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "base/net/VLSocketAddress.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetLock.h"
#include "ecm/core/VLECMDefs.h"
#include "ecm/core/VLECMPrivate.h"
#include "ecm/record/VLECMNIFInfo.h"

const char* const s_szFile = "VLECMReplyFilter";

namespace {
CVLString PropertyText(CVLTarget* pTarget, const char* szPath)
{
    CVLProperty* pProperty = pTarget->GetProperties()->GetProperty(szPath, false);
    return pProperty != nullptr ? pProperty->ToString("") : CVLString(VL_CHARSET_UTF8);
}

// A MAC address in normal form (twelve hexadecimal digits) as a number, and back.
uint64_t MACNumber(const CVLString& strMAC)
{
    return strtoull(TextOf(strMAC), nullptr, 16);
}

CVLString MACText(uint64_t nMAC)
{
    char sz[16];
    snprintf(sz, sizeof(sz), "%012llX", static_cast<unsigned long long>(nMAC));
    return CVLString(sz, VL_CHARSET_UTF8);
}

// The host addresses of a local network named "10.71.2.0/24"; 0 when the
// name has no prefix length (replies from no local network).
uint64_t HostCount(const CVLString& strNetwork)
{
    const char* szSlash = strchr(TextOf(strNetwork), '/');
    if (szSlash == nullptr)
        return 0;
    int nPrefix = atoi(szSlash + 1);
    if (nPrefix < 0 || nPrefix > 32)
        return 0;
    uint64_t nAddresses = uint64_t(1) << (32 - nPrefix);
    // Without the network and broadcast addresses, which a /31 and a /32 lack.
    return nAddresses > 2 ? nAddresses - 2 : nAddresses;
}
}  // namespace

CVLECMReplyFilter::CVLECMReplyFilter(CVLECMHandOnQueue& records, CVLECMMACTable& table)
    : m_Records(records), m_Table(table), m_pLocalNetworks(std::make_shared<const CVLECMLocalNetworks>()),
      m_nDeviceBound(MAX_DEVICES), m_nRefused(0), m_bNamedRefused(false), m_bNamedAsking(false),
      m_eNamedFailure(VLECM_RESULT_SUCCESS)
{
}

bool CVLECMReplyFilter::ParseDeviceBound(const CVLString& strText, int& nBound)
{
    const char* sz = TextOf(strText);
    // One plus sign may lead, as in the other options' numbers.
    if (*sz == '+')
        ++sz;
    long nValue = 0;
    size_t nDigits = 0;
    for (; sz[nDigits] >= '0' && sz[nDigits] <= '9'; ++nDigits) {
        nValue = nValue * 10 + (sz[nDigits] - '0');
        // Stopped before a long run of digits could overflow.
        if (nValue > MAX_DEVICES)
            return false;
    }
    if (nDigits == 0 || sz[nDigits] != '\0' || nValue < 1)
        return false;
    nBound = static_cast<int>(nValue);
    return true;
}

void CVLECMReplyFilter::SetDeviceBound(long nBound)
{
    CVLThreadLock lock(&m_Sync);
    if (lock.Lock())
        m_nDeviceBound = nBound >= 1 && nBound <= MAX_DEVICES ? static_cast<int>(nBound) : MAX_DEVICES;
}

int CVLECMReplyFilter::GetDeviceBound()
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    return m_nDeviceBound;
}

void CVLECMReplyFilter::Reset(bool bKeepStop)
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    m_NetworkCounts.clear();
    m_MACsPerSource.clear();
    m_TracedSources.clear();
    m_RefusedPerSource.clear();
    m_nRefused = 0;
    m_bNamedRefused = false;
    m_bNamedAsking = false;
    m_NamedAnswers.clear();
    m_eNamedFailure = VLECM_RESULT_SUCCESS;
    m_strNamedRefusal.clear();
    // Under this lock no reply is admitted meanwhile: the stores go together.
    m_Records.Reset();
    if (bKeepStop && m_Table.IsStopped())
        m_Records.Close();
    m_Table.Reset(bKeepStop);
}

CVLECMMACTable::SNext CVLECMReplyFilter::Stop()
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    return m_Table.Stop();
}

void CVLECMReplyFilter::SetLocalNetworks(std::shared_ptr<const CVLECMLocalNetworks> pNetworks)
{
    if (pNetworks == nullptr)
        pNetworks = std::make_shared<const CVLECMLocalNetworks>();
    CVLThreadLock lock(&m_Sync);
    if (lock.Lock())
        m_pLocalNetworks = pNetworks;
}

void CVLECMReplyFilter::SetNamedBoundListener(std::function<void()> fnListener)
{
    CVLThreadLock lock(&m_Sync);
    if (lock.Lock())
        m_fnNamedBound = fnListener;
}

void CVLECMReplyFilter::SetNamedAnswer(const CVLString& strAddress, const CVLString& strMAC)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock() || !m_Table.IsNamedAddress(strAddress) || strMAC.GetLength() == 0)
        return;
    if (m_NamedAnswers.size() < MAX_NAMED_ANSWERS &&
        std::find(m_NamedAnswers.begin(), m_NamedAnswers.end(), strMAC) == m_NamedAnswers.end())
        m_NamedAnswers.push_back(strMAC);
}

void CVLECMReplyFilter::NamedAskEnded(VLECM_RESULT eFailure, const std::string& strRefusal)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return;
    m_bNamedAsking = false;
    if (eFailure != VLECM_RESULT_SUCCESS && m_eNamedFailure == VLECM_RESULT_SUCCESS) {
        m_eNamedFailure = eFailure;
        m_strNamedRefusal = strRefusal;
    }
}

SVLECMNamedAsk CVLECMReplyFilter::GetNamedAnswers()
{
    SVLECMNamedAsk ask;
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return ask;
    ask.answers = m_NamedAnswers;
    ask.eFailure = m_eNamedFailure;
    ask.strRefusal = m_strNamedRefusal;
    return ask;
}

bool CVLECMReplyFilter::TakeNamedAsk()
{
    CVLThreadLock lock(&m_Sync);
    return lock.Lock() && takeNamedAsk();
}

bool CVLECMReplyFilter::takeNamedAsk()
{
    if (!m_bNamedRefused || m_bNamedAsking || !m_NamedAnswers.empty() || m_eNamedFailure != VLECM_RESULT_SUCCESS)
        return false;
    m_bNamedAsking = true;
    return true;
}

bool CVLECMReplyFilter::isBeyondNetworkBound(const SVLECMReplyKey& key)
{
    // The named MAC from an address on none of the computer's networks
    // gains nothing by it: such an address, refused, is only said.
    return m_Table.IsNamedAddress(key.strAddress) ||
           (m_Table.IsNamedMAC(key.strMAC) && m_pLocalNetworks->GetNetwork(key.strAddress).GetLength() > 0);
}

bool CVLECMReplyFilter::isBeyondSourceBound(const SVLECMReplyKey& key)
{
    // The named MAC costs one MAC at most per source; the named address's
    // answer one more MAC for the named address.
    if (m_Table.IsNamedMAC(key.strMAC))
        return true;
    return std::find(m_NamedAnswers.begin(), m_NamedAnswers.end(), key.strMAC) != m_NamedAnswers.end() &&
           m_Table.IsNamedAddress(key.strAddress);
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

bool CVLECMReplyFilter::Admit(CVLTarget* pReply, const CVLString& strReceiver, SVLECMReplyKey* pKey, size_t* pBytes,
                              bool* pbReported)
{
    if (pReply == nullptr)
        return false;
    CVLString strMAC(VL_CHARSET_UTF8), strFrom(VL_CHARSET_UTF8);
    size_t nFingerprint = 0;
    size_t nBytes = 0;
    {
        CVLTargetLock targetLock(pReply);
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
    if (!Admit(strMAC, strFrom, nFingerprint, pReply, strReceiver))
        return false;
    SVLECMReplyKey key;
    key.strMAC = strMAC;
    key.strAddress = strFrom;
    if (pbReported != nullptr)
        *pbReported = m_Table.IsReported(key);
    if (pKey != nullptr)
        *pKey = key;
    if (pBytes != nullptr)
        *pBytes = nBytes;
    return true;
}

void CVLECMReplyFilter::drop(SDropped& dropped, const CVLString& strMAC, const CVLString& strFrom,
                             const CVLString& strReceiver)
{
    uint64_t nMAC = MACNumber(strMAC);
    if (dropped.devices.count(nMAC) == 0) {
        uint32_t nAddress = 0;
        if (dropped.devices.size() >= MAX_REFUSED_DEVICES)
            dropped.bMore = true;
        else
            dropped.devices[nMAC] = CVLSocketAddress::ParseDottedQuad(TextOf(strFrom), nAddress) ? nAddress : 0;
    }
    CVLString strInterface = m_pLocalNetworks->GetReceiverInterface(strReceiver);
    if (strInterface.GetLength() > 0)
        dropped.interfaces.insert(strInterface);
    // A directed broadcast's socket hears the devices of its own network.
    CVLString strBroadcast = m_pLocalNetworks->GetReceiverBroadcast(strReceiver);
    if (strBroadcast.GetLength() > 0 && strBroadcast != m_pLocalNetworks->GetDirectedBroadcast(strFrom))
        dropped.bOtherNetworksSocket = true;
}

bool CVLECMReplyFilter::Admit(const CVLString& strMAC, const CVLString& strFrom, size_t nFingerprint, CVLTarget* pReply,
                              const CVLString& strReceiver)
{
    bool bAskNamed = false;
    std::function<void()> fnListener;
    bool bAdmitted = false;
    {
        CVLThreadLock lock(&m_Sync);
        if (!lock.Lock())
            return false;
        bAdmitted = admit(strMAC, strFrom, nFingerprint, pReply, strReceiver, bAskNamed);
        if (bAskNamed)
            fnListener = m_fnNamedBound;
    }
    if (fnListener)
        fnListener();
    return bAdmitted;
}

bool CVLECMReplyFilter::admit(const CVLString& strMAC, const CVLString& strFrom, size_t nFingerprint, CVLTarget* pReply,
                              const CVLString& strReceiver, bool& bAskNamed)
{
    if (strMAC.GetLength() == 0) {
        refuse(strFrom);
        return false;
    }
    SVLECMReplyKey key;
    key.strMAC = strMAC;
    key.strAddress = strFrom;
    const CVLString strNetwork = m_pLocalNetworks->GetNetwork(strFrom);
    const bool bOnNetwork = strNetwork.GetLength() > 0;
    if (m_Table.IsAdmitted(strMAC)) {
        const CVLECMMACTable::EHeard eHeard = m_Table.Hear(key, bOnNetwork);
        // A refusal no longer stands for what the user named since.
        if (eHeard == CVLECMMACTable::HEARD_NEW ||
            (eHeard == CVLECMMACTable::HEARD_REFUSED && (isBeyondNetworkBound(key) || isBeyondSourceBound(key))))
            return admitOther(key, nFingerprint, strNetwork, bAskNamed);
        if (eHeard != CVLECMMACTable::HEARD_KEPT)
            return false;
        // Each address of a MAC alike, whichever answered first: one record
        // of it waits at a time; a change goes into it, anything else is
        // dropped while it waits.
        size_t nKept = 0;
        const bool bChanged = !m_Table.GetFingerprint(key, nKept) || nFingerprint != nKept;
        if (bChanged && m_Records.MergeIntoWaiting(key, pReply)) {
            m_Table.SetFingerprint(key, nFingerprint);
            return false;
        }
        // Unchanged data is dropped once the record that carried it was
        // delivered; when that record was lost (refused or never copied)
        // the next reply may stand in for it.
        CVLECMHandOnQueue::EWait eWait = m_Records.GetWait(key);
        if (eWait == CVLECMHandOnQueue::WAIT_WAITING || (!bChanged && eWait == CVLECMHandOnQueue::WAIT_DELIVERED))
            return false;
        // The table first: after the stop nothing is admitted.
        if (!m_Table.Keep(key, nFingerprint, bOnNetwork))
            return false;
        m_Records.Admitted(key, strNetwork);
        return true;
    }
    SNetworkCount& count = m_NetworkCounts[strNetwork];
    // What the user named is admitted beyond its network's bound, as the
    // named address is beyond the addresses kept per MAC: the named
    // address's source bound still holds, and the named MAC is one MAC, so
    // either costs a few devices at most.
    if (count.nDevices >= m_nDeviceBound && !isBeyondNetworkBound(key)) {
        if (!count.bBoundTraced) {
            count.bBoundTraced = true;
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECMReplyFilter: %d devices found on %s; further devices there are dropped",
                             m_nDeviceBound, strNetwork.GetLength() > 0 ? TextOf(strNetwork) : "no local network");
        }
        drop(count.bound, strMAC, strFrom, strReceiver);
        m_Table.Refuse(key, VLECM_BOUND_NETWORK, m_nDeviceBound, strNetwork);
        return false;
    }
    int& nMACs = m_MACsPerSource[strFrom];
    if (nMACs >= MAX_MACS_PER_SOURCE && !isBeyondSourceBound(key)) {
        askNamed(strFrom, bAskNamed);
        if (m_TracedSources.insert(strFrom).second)
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECMReplyFilter: %s answered with more than %d MAC addresses; further ones are "
                             "dropped",
                             TextOf(strFrom), MAX_MACS_PER_SOURCE);
        drop(count.sourceBound, strMAC, strFrom, strReceiver);
        m_Table.Refuse(key, VLECM_BOUND_SOURCE, static_cast<int>(MAX_MACS_PER_SOURCE), strNetwork);
        return false;
    }
    if (!m_Table.Keep(key, nFingerprint, bOnNetwork))
        return false;
    ++nMACs;
    ++count.nDevices;
    m_Records.Admitted(key, strNetwork);
    return true;
}

void CVLECMReplyFilter::askNamed(const CVLString& strFrom, bool& bAskNamed)
{
    // Forged replies from the named address may have taken its count
    // before the device answered: the named address is asked which MAC
    // answers there, and that one is admitted. Another source's refusal
    // leaves the ask as it is.
    if (!m_Table.IsNamedAddress(strFrom))
        return;
    m_bNamedRefused = true;
    if (takeNamedAsk())
        bAskNamed = true;
}

bool CVLECMReplyFilter::admitOther(const SVLECMReplyKey& key, size_t nFingerprint, const CVLString& strNetwork,
                                   bool& bAskNamed)
{
    // A new address costs what a device does: the bounds of its source and
    // its network hold it too (the named address beyond its network's).
    // What they refuse the table keeps, as its MAC can no longer be told
    // from it; a source that only brings refused ones takes no entry of its
    // own.
    SNetworkCount& count = m_NetworkCounts[strNetwork];
    auto source = m_MACsPerSource.find(key.strAddress);
    const int nMACs = source != m_MACsPerSource.end() ? source->second : 0;
    const bool bNetwork = count.nDevices >= m_nDeviceBound && !isBeyondNetworkBound(key);
    if (bNetwork || (nMACs >= MAX_MACS_PER_SOURCE && !isBeyondSourceBound(key))) {
        askNamed(key.strAddress, bAskNamed);
        m_Table.Refuse(key, bNetwork ? VLECM_BOUND_NETWORK : VLECM_BOUND_SOURCE,
                       bNetwork ? m_nDeviceBound : static_cast<int>(MAX_MACS_PER_SOURCE), strNetwork);
        return false;
    }
    if (!m_Table.Keep(key, nFingerprint, strNetwork.GetLength() > 0))
        return false;
    ++m_MACsPerSource[key.strAddress];
    ++count.nDevices;
    CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                     "CVLECMReplyFilter: %s answered from another address, %s; each address is checked",
                     TextOf(key.strMAC), TextOf(key.strAddress));
    m_Records.Admitted(key, strNetwork);
    return true;
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

SVLECMBoundReport CVLECMReplyFilter::makeReport(const CVLString& strNetwork, VLECM_BOUND eBound,
                                                const SDropped& dropped, int nDevices,
                                                const std::function<bool(size_t, uint64_t, uint32_t)>& fnNamed)
{
    SVLECMBoundReport report;
    report.strNetwork = strNetwork;
    report.eBound = eBound;
    report.nBound = eBound == VLECM_BOUND_SOURCE ? static_cast<int>(MAX_MACS_PER_SOURCE) : m_nDeviceBound;
    // A device refused from one address or network may have been admitted
    // from another later: it is listed or named as any admitted one.
    std::vector<std::pair<uint32_t, uint64_t>> refused;
    std::set<uint32_t> addresses;
    for (const auto& entry : dropped.devices) {
        if (m_Table.IsAdmitted(MACText(entry.first)))
            continue;
        refused.emplace_back(entry.second, entry.first);
        addresses.insert(entry.second);
    }
    std::sort(refused.begin(), refused.end());
    for (size_t i = 0; i < refused.size(); ++i) {
        if (!fnNamed(i, refused[i].second, refused[i].first))
            continue;
        SVLECMRefusedDevice device;
        device.strMAC = MACText(refused[i].second);
        if (refused[i].first != 0)
            device.strAddress = CVLSocketAddress::FormatDottedQuad(refused[i].first);
        report.devices.push_back(device);
    }
    report.nDevices = static_cast<unsigned long>(refused.size());
    report.bMore = dropped.bMore;
    report.nAddresses = static_cast<unsigned long>(addresses.size());
    report.interfaces.assign(dropped.interfaces.begin(), dropped.interfaces.end());
    // A busy network that reaches its bound is no sign of forgery; more
    // devices than it has addresses, or a source inventing devices, are.
    // So are devices beyond a bound from addresses on no local network:
    // a device that kept a wrong address answers from one, but no network
    // of the computer's holds hundreds of such devices.
    uint64_t nClaimed = static_cast<uint64_t>(nDevices) + refused.size();
    uint64_t nHosts = HostCount(strNetwork);
    bool bNoLocalNetwork = strNetwork.GetLength() == 0;
    report.bMayBeForged = eBound == VLECM_BOUND_SOURCE || dropped.bOtherNetworksSocket || bNoLocalNetwork ||
                          (nHosts > 0 && nClaimed > nHosts);
    return report;
}

void CVLECMReplyFilter::forEachBound(const std::function<void(const CVLString&, VLECM_BOUND, const SDropped&, int)>& fn)
{
    for (VLECM_BOUND eBound : {VLECM_BOUND_NETWORK, VLECM_BOUND_SOURCE}) {
        for (const auto& entry : m_NetworkCounts) {
            const SDropped& dropped = eBound == VLECM_BOUND_NETWORK ? entry.second.bound : entry.second.sourceBound;
            if (!dropped.devices.empty() || dropped.bMore)
                fn(entry.first, eBound, dropped, entry.second.nDevices);
        }
    }
}

std::vector<SVLECMBoundReport> CVLECMReplyFilter::GetBoundReports(size_t nNamed)
{
    std::vector<SVLECMBoundReport> reports;
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return reports;
    forEachBound([&](const CVLString& strNetwork, VLECM_BOUND eBound, const SDropped& dropped, int nDevices) {
        SVLECMBoundReport report = makeReport(strNetwork, eBound, dropped, nDevices,
                                              [nNamed](size_t nIndex, uint64_t, uint32_t) { return nIndex < nNamed; });
        if (report.nDevices > 0 || report.bMore)
            reports.push_back(report);
    });
    return reports;
}

bool CVLECMReplyFilter::FindRefused(const CVLString& strMAC, const CVLString& strAddress, SVLECMBoundReport& report)
{
    CVLString strNormal = CVLECMNIFInfo::NormalizeMACAddress(strMAC);
    uint64_t nMAC = strNormal.GetLength() > 0 ? MACNumber(strNormal) : 0;
    uint32_t nAddress = 0;
    if (strNormal.GetLength() == 0 && !CVLSocketAddress::ParseDottedQuad(TextOf(strAddress), nAddress))
        return false;
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return false;
    bool bFound = false;
    forEachBound([&](const CVLString& strNetwork, VLECM_BOUND eBound, const SDropped& dropped, int nDevices) {
        if (bFound)
            return;
        SVLECMBoundReport found = makeReport(
            strNetwork, eBound, dropped, nDevices, [&](size_t, uint64_t nRefusedMAC, uint32_t nRefusedAddress) {
                return strNormal.GetLength() > 0 ? nRefusedMAC == nMAC : nRefusedAddress == nAddress;
            });
        if (!found.devices.empty()) {
            found.devices.resize(1);
            report = found;
            bFound = true;
        }
    });
    return bFound;
}
