// The addresses of each MAC a probe heard, and the one decision per MAC.
#include "ecm/probe/VLECMMACTable.h"

#include <algorithm>
#include <chrono>

#include "base/core/VLCharset.h"
#include "base/net/VLSocketAddress.h"
#include "ecm/core/VLECMPrivate.h"

namespace {
// An address as a number for the refused ones' count; false when it is no
// dotted quad (it is then only named, or counted again).
bool AddressNumber(const CVLString& strAddress, uint32_t& nAddress)
{
    return CVLSocketAddress::ParseDottedQuad(TextOf(strAddress), nAddress);
}
}  // namespace

CVLECMMACTable::CVLECMMACTable()
    : m_Scheduler([this](CVLECMChainScheduler::TChain chain) -> CVLECMChainScheduler::SChain* {
          SMAC* pMAC = nullptr;
          SEntry* pEntry = findEntry(chain, &pMAC);
          return pEntry != nullptr ? &pEntry->chain : nullptr;
      })
{
}

void CVLECMMACTable::Reset(bool bKeepStop)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_MACs.clear();
    m_ChangedOrder.clear();
    m_Records.clear();
    m_Beyond.clear();
    m_nBeyondKept = 0;
    m_nCounted = 0;
    m_nPending = 0;
    m_nRefusedOnlyMACs = 0;
    m_bStopped = bKeepStop && m_bStopped;
    m_Scheduler.Reset();
    if (m_bStopped)
        m_Scheduler.Stop();
    m_LostEnds.clear();
    m_WaitingHandOns.clear();
    ++m_nChange;
    m_Changed.notify_all();
}

void CVLECMMACTable::SetPlacesPerNetwork(int nPlaces)
{
    SetPlaces(nPlaces, 0);
}

void CVLECMMACTable::SetCheckLimit(int nChecks)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Scheduler.SetCheckLimit(nChecks);
}

int CVLECMMACTable::GetPlacesPerNetwork()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Scheduler.GetPlacesPerNetwork();
}

void CVLECMMACTable::SetPlaces(int nPerNetwork, int nShared)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Scheduler.SetPlaces(nPerNetwork, nShared);
}

int CVLECMMACTable::GetSharedPlaces()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Scheduler.GetSharedPlaces();
}

void CVLECMMACTable::SetFirstCommand(VLECM_COMMAND eCommand)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_eFirstCommand = eCommand;
}

void CVLECMMACTable::fail(SVLECMMACAddress& address, VLECM_MAC_FAILURE eFailure, VLECM_COMMAND eCommand,
                          VLECM_RESULT eResult, long nDeviceResult)
{
    address.eState = VLECM_MAC_ADDRESS_FAILED;
    address.eFailure = eFailure;
    address.eCommand = eCommand;
    address.eResult = eResult;
    address.nDeviceResult = nDeviceResult;
}

bool CVLECMMACTable::isPendingState(VLECM_MAC_ADDRESS_STATE eState)
{
    return eState == VLECM_MAC_ADDRESS_HEARD || eState == VLECM_MAC_ADDRESS_WAITING ||
           eState == VLECM_MAC_ADDRESS_CHECKING;
}

bool CVLECMMACTable::offNetworkDecides(const SMAC& mac)
{
    // One that no check can reach is only said while the MAC has one that
    // can be checked; a MAC heard only from such addresses (a device whose
    // address is on none of the networks) is judged by them.
    return std::all_of(mac.kept.begin(), mac.kept.end(), [](const SEntry& entry) { return entry.address.bOffNetwork; });
}

VLECM_MAC_VERDICT CVLECMMACTable::derive(const SMAC& mac, const SEntry** ppOne)
{
    *ppOne = nullptr;
    if (mac.bRemoved)
        return VLECM_MAC_NONE;
    int nPending = 0, nPassed = 0, nAnswered = 0, nNotUnicast = 0, nUnicast = 0;
    const SEntry* pPassed = nullptr;
    const SEntry* pNotUnicast = nullptr;
    const bool bOffNetworkDecides = offNetworkDecides(mac);
    for (const SEntry& entry : mac.kept) {
        if (entry.address.bOffNetwork && !bOffNetworkDecides)
            continue;
        const VLECM_MAC_ADDRESS_STATE eState = entry.address.eState;
        if (entry.address.bUnicast)
            ++nUnicast;
        if (isPendingState(eState)) {
            ++nPending;
        } else if (eState == VLECM_MAC_ADDRESS_ANSWERED) {
            ++nAnswered;
        } else if (eState == VLECM_MAC_ADDRESS_PASSED) {
            ++nPassed;
            pPassed = &entry;
        } else if (eState == VLECM_MAC_ADDRESS_FAILED && entry.address.eFailure == VLECM_MAC_FAILURE_NOT_UNICAST) {
            ++nNotUnicast;
            pNotUnicast = &entry;
        }
    }
    // An address that answered is judged by its commands too, whatever
    // passed before it: the decision is the same in any order.
    if (nPending > 0 || nAnswered > 0)
        return VLECM_MAC_PENDING;
    if (nPassed > 1)
        return VLECM_MAC_CONFLICT;
    if (nPassed == 1) {
        *ppOne = pPassed;
        return VLECM_MAC_ONE;
    }
    // No address answered unicast: one that did not, alone, may stand for
    // the device (the filter is off); two or more cannot be told apart. One
    // that answered unicast and then failed its commands is the device that
    // failed: an address that never answered unicast does not stand for it.
    if (nUnicast > 0)
        return VLECM_MAC_NONE;
    if (nNotUnicast == 1) {
        *ppOne = pNotUnicast;
        return VLECM_MAC_ONE;
    }
    return nNotUnicast > 1 ? VLECM_MAC_CONFLICT : VLECM_MAC_NONE;
}

void CVLECMMACTable::bump(SMAC& mac)
{
    mac.nChange = ++m_nChange;
    if (mac.bInChanged)
        m_ChangedOrder.erase(mac.itChanged);
    mac.itChanged = m_ChangedOrder.insert(m_ChangedOrder.end(), &mac);
    mac.bInChanged = true;
    m_Changed.notify_all();
}

CVLECMMACTable::SMAC& CVLECMMACTable::entryOf(const CVLString& strMAC)
{
    auto it = m_MACs.find(strMAC);
    if (it == m_MACs.end()) {
        it = m_MACs.emplace(strMAC, SMAC()).first;
        it->second.pMAC = &it->first;
    }
    return it->second;
}

CVLECMMACTable::SNext CVLECMMACTable::changed(SMAC& mac, SNext next)
{
    changed(mac, &next);
    return next;
}

void CVLECMMACTable::changed(SMAC& mac, SNext* pNext)
{
    const SEntry* pOne = nullptr;
    VLECM_MAC_VERDICT eVerdict = derive(mac, &pOne);
    if (mac.eVerdict == VLECM_MAC_PENDING)
        --m_nPending;
    if (eVerdict == VLECM_MAC_PENDING)
        ++m_nPending;
    mac.eVerdict = eVerdict;
    bump(mac);
    if (mac.bRemoved || pNext == nullptr)
        return;
    SNext& next = *pNext;
    SEntry* pFirstPassed = nullptr;
    const bool bOffNetworkDecides = offNetworkDecides(mac);
    for (SEntry& entry : mac.kept) {
        if (entry.address.eState == VLECM_MAC_ADDRESS_PASSED && entry.pRecord != nullptr &&
            (!entry.address.bOffNetwork || bOffNetworkDecides) &&
            (pFirstPassed == nullptr || entry.nPassed < pFirstPassed->nPassed))
            pFirstPassed = &entry;
    }
    // Handed on once, at the end of the first chain that succeeded. An
    // address that did not answer unicast (the filter off) has no chain:
    // it stands for the device only once every address is judged. After
    // the stop the device is listed, not reported.
    if (!mac.bReported) {
        SEntry* pReport = pFirstPassed;
        if (pReport == nullptr && eVerdict == VLECM_MAC_ONE && pOne != nullptr && pOne->pRecord != nullptr)
            pReport = const_cast<SEntry*>(pOne);
        if (pReport != nullptr) {
            mac.bReported = true;
            pReport->address.bReported = true;
            next.pReport = pReport->pRecord;
            next.bReportUnicast = pReport->address.bUnicast;
            next.bListOnly = m_bStopped;
        }
    }
    // The marks of the record handed on: the other addresses that passed,
    // and the conflict as soon as a second one did (nothing can undo it).
    // The probe instance writes them before it hands the record on.
    if (mac.bReported) {
        const SEntry* pReported = nullptr;
        CVLString strOther(VL_CHARSET_UTF8);
        int nPassed = 0;
        for (const SEntry& entry : mac.kept) {
            if (entry.address.bReported)
                pReported = &entry;
            if (entry.address.eState != VLECM_MAC_ADDRESS_PASSED)
                continue;
            // Named as another that passed; a conflict only where it decides.
            if (!entry.address.bOffNetwork || bOffNetworkDecides)
                ++nPassed;
            if (entry.address.bReported)
                continue;
            if (strOther.GetLength() > 0)
                strOther += " ";
            strOther += entry.address.strAddress;
        }
        const bool bConflict = nPassed > 1 || eVerdict == VLECM_MAC_CONFLICT;
        if (pReported != nullptr && pReported->pRecord != nullptr &&
            (bConflict != mac.bConflictMarked || strOther != mac.strMarkedOther)) {
            mac.bConflictMarked = bConflict;
            mac.strMarkedOther = strOther;
            next.pMark = pReported->pRecord;
            next.bConflict = bConflict;
            next.strOtherPassed = strOther;
        }
    }
}

bool CVLECMMACTable::isNamedEntry(const SEntry& entry)
{
    return m_strNamedAddress.GetLength() > 0 && entry.address.strAddress == m_strNamedAddress;
}

void CVLECMMACTable::takePlace(SEntry& entry, SNext& next)
{
    entry.eCommand = m_eFirstCommand;
    if (!m_Scheduler.AskPlace(entry.pRecord, entry.chain.strNetwork, isNamedEntry(entry)))
        return;
    next.starts.push_back({entry.pRecord, entry.eCommand});
}

void CVLECMMACTable::freeChain(SEntry& entry, SNext& next)
{
    if (entry.chain.eHeld == CVLECMChainScheduler::HELD_NONE)
        return;
    std::vector<CVLECMChainScheduler::SStarted> started;
    m_Scheduler.Free(entry.pRecord, started);
    startChains(started, next);
}

void CVLECMMACTable::startChains(const std::vector<CVLECMChainScheduler::SStarted>& started, SNext& next)
{
    for (const CVLECMChainScheduler::SStarted& one : started) {
        SMAC* pMAC = nullptr;
        SEntry* pEntry = findEntry(one.chain, &pMAC);
        if (pEntry == nullptr)
            continue;
        // It has what it lacked, if it waited for that.
        pEntry->address.eLack = VLECM_LACK_NONE;
        if (one.bCheck) {
            pEntry->eCommand = VLECM_COMMAND_CHECK_UNICAST;
            pEntry->address.eState = VLECM_MAC_ADDRESS_CHECKING;
        }
        next.starts.push_back({pEntry->pRecord, pEntry->eCommand});
        bump(*pMAC);
    }
}

CVLECMMACTable::EHeard CVLECMMACTable::Hear(const SVLECMReplyKey& key, bool bOnNetwork)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_MACs.find(key.strMAC);
    if (it == m_MACs.end())
        return HEARD_NEW;
    SMAC& mac = it->second;
    if (mac.bRemoved)
        return HEARD_REMOVED;
    for (const SEntry& entry : mac.kept) {
        if (entry.address.strAddress == key.strAddress)
            return HEARD_KEPT;
    }
    uint32_t nAddress = 0;
    if (AddressNumber(key.strAddress, nAddress)
            ? std::binary_search(mac.refusedCounted.begin(), mac.refusedCounted.end(), nAddress)
            : std::any_of(mac.refusedNamed.begin(), mac.refusedNamed.end(),
                          [&key](const SVLECMMACAddress& named) { return named.strAddress == key.strAddress; }))
        return HEARD_REFUSED;
    const bool bOffNetwork = !bOnNetwork;
    if (hasRoom(mac, key.strAddress, bOffNetwork))
        return HEARD_NEW;
    std::vector<SBeyond>& beyond = m_Beyond[key.strMAC];
    if (std::any_of(beyond.begin(), beyond.end(),
                    [&key](const SBeyond& pair) { return pair.strAddress == key.strAddress; }))
        return HEARD_BEYOND;
    if (m_nBeyondKept < MAX_BEYOND) {
        beyond.push_back({key.strAddress, bOffNetwork});
        ++m_nBeyondKept;
    } else {
        // Only counted: as a number, once, as far as the numbers go. One
        // that no check could reach hides no device.
        mac.bMore = mac.bMore || !bOffNetwork;
        bool bKept = false;
        if (AddressNumber(key.strAddress, nAddress) && !countOnce(mac.beyondCounted, nAddress, bKept)) {
            if (beyond.empty())
                m_Beyond.erase(key.strMAC);
            return HEARD_BEYOND;
        }
    }
    ++mac.nBeyond;
    if (bOffNetwork)
        ++mac.nBeyondOffNetwork;
    if (beyond.empty())
        m_Beyond.erase(key.strMAC);
    bump(mac);
    return HEARD_BEYOND;
}

bool CVLECMMACTable::Keep(const SVLECMReplyKey& key, size_t nFingerprint, bool bOnNetwork)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_bStopped)
        return false;
    SMAC& mac = entryOf(key.strMAC);
    if (mac.bRemoved)
        return false;
    if (mac.kept.empty() && (mac.nRefused > 0 || mac.nBeyond > 0) && m_nRefusedOnlyMACs > 0)
        --m_nRefusedOnlyMACs;
    for (SEntry& entry : mac.kept) {
        if (entry.address.strAddress != key.strAddress)
            continue;
        entry.nFingerprint = nFingerprint;
        // A lost reply heard again is pending again.
        if (entry.pRecord == nullptr && entry.address.eState == VLECM_MAC_ADDRESS_FAILED &&
            entry.address.eFailure == VLECM_MAC_FAILURE_LOST) {
            entry.address.eState = VLECM_MAC_ADDRESS_HEARD;
            entry.address.eFailure = VLECM_MAC_FAILURE_NONE;
            changed(mac);
        }
        return true;
    }
    if (!hasRoom(mac, key.strAddress, !bOnNetwork))
        return false;
    forgetRefusal(mac, key.strAddress, !bOnNetwork);
    SEntry entry;
    entry.address.strAddress = key.strAddress;
    entry.address.bOffNetwork = !bOnNetwork;
    entry.nFingerprint = nFingerprint;
    mac.kept.push_back(entry);
    changed(mac);
    return true;
}

bool CVLECMMACTable::IsAdmitted(const CVLString& strMAC)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_MACs.find(strMAC);
    return it != m_MACs.end() && isAdmitted(it->second);
}

bool CVLECMMACTable::isAdmitted(const SMAC& mac)
{
    return !mac.kept.empty() || mac.bRemoved || mac.pSimulated != nullptr;
}

int CVLECMMACTable::GetAdmittedCount()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return static_cast<int>(
        std::count_if(m_MACs.begin(), m_MACs.end(), [](const auto& entry) { return isAdmitted(entry.second); }));
}

bool CVLECMMACTable::isNamedNew(const SMAC& mac, const CVLString& strAddress)
{
    // Beyond the kept ones, only the named address itself, once.
    if (m_strNamedAddress.GetLength() == 0 || strAddress != m_strNamedAddress)
        return false;
    return std::none_of(mac.kept.begin(), mac.kept.end(),
                        [&strAddress](const SEntry& entry) { return entry.address.strAddress == strAddress; });
}

bool CVLECMMACTable::hasRoom(const SMAC& mac, const CVLString& strAddress, bool bOffNetwork)
{
    const auto nKept = std::count_if(mac.kept.begin(), mac.kept.end(), [bOffNetwork](const SEntry& entry) {
        return entry.address.bOffNetwork == bOffNetwork;
    });
    return nKept < MAX_ADDRESSES_PER_MAC || isNamedNew(mac, strAddress);
}

CVLECMMACTable::SEntry* CVLECMMACTable::findKept(const SVLECMReplyKey& key)
{
    auto it = m_MACs.find(key.strMAC);
    if (it == m_MACs.end())
        return nullptr;
    for (SEntry& entry : it->second.kept) {
        if (entry.address.strAddress == key.strAddress)
            return &entry;
    }
    return nullptr;
}

void CVLECMMACTable::SetDelivered(const SVLECMReplyKey& key, bool bDelivered)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    SEntry* pEntry = findKept(key);
    if (pEntry != nullptr)
        pEntry->bDelivered = bDelivered;
}

bool CVLECMMACTable::WasDelivered(const SVLECMReplyKey& key)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    const SEntry* pEntry = findKept(key);
    return pEntry != nullptr && pEntry->bDelivered;
}

bool CVLECMMACTable::GetFingerprint(const SVLECMReplyKey& key, size_t& nFingerprint)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    const SEntry* pEntry = findKept(key);
    if (pEntry == nullptr)
        return false;
    nFingerprint = pEntry->nFingerprint;
    return true;
}

void CVLECMMACTable::SetFingerprint(const SVLECMReplyKey& key, size_t nFingerprint)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    SEntry* pEntry = findKept(key);
    if (pEntry != nullptr)
        pEntry->nFingerprint = nFingerprint;
}

bool CVLECMMACTable::IsRemoved(const CVLString& strMAC)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_MACs.find(strMAC);
    return it != m_MACs.end() && it->second.bRemoved;
}

bool CVLECMMACTable::IsReported(const SVLECMReplyKey& key)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_MACs.find(key.strMAC);
    if (it == m_MACs.end())
        return false;
    return std::any_of(it->second.kept.begin(), it->second.kept.end(), [&key](const SEntry& entry) {
        return entry.address.bReported && entry.address.strAddress == key.strAddress;
    });
}

void CVLECMMACTable::Refuse(const SVLECMReplyKey& key, VLECM_BOUND eBound, int nBound, const CVLString& strNetwork)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    // A MAC never admitted is kept for its refusals up to a bound.
    auto known = m_MACs.find(key.strMAC);
    if (known == m_MACs.end()) {
        if (m_nRefusedOnlyMACs >= MAX_REFUSED_MACS)
            return;
        ++m_nRefusedOnlyMACs;
    }
    SMAC& mac = entryOf(key.strMAC);
    const bool bOffNetwork = strNetwork.GetLength() == 0;
    uint32_t nAddress = 0;
    const bool bNumber = AddressNumber(key.strAddress, nAddress);
    if (bNumber) {
        bool bKept = false;
        if (!countOnce(mac.refusedCounted, nAddress, bKept))
            return;
        // An address on none of the computer's networks decides nothing for
        // the MAC, not even that it had more than could be told.
        mac.bMore = mac.bMore || (!bKept && !bOffNetwork);
    } else if (std::any_of(mac.refusedNamed.begin(), mac.refusedNamed.end(),
                           [&key](const SVLECMMACAddress& named) { return named.strAddress == key.strAddress; })) {
        return;
    }
    ++mac.nRefused;
    if (bOffNetwork)
        ++mac.nRefusedOffNetwork;
    // Those on none of the computer's networks have named places of their
    // own, as they have kept places of their own.
    const auto nNamed =
        std::count_if(mac.refusedNamed.begin(), mac.refusedNamed.end(),
                      [bOffNetwork](const SVLECMMACAddress& named) { return named.bOffNetwork == bOffNetwork; });
    if (nNamed < MAX_REFUSED_NAMED) {
        SVLECMMACAddress address;
        address.strAddress = key.strAddress;
        address.eState = VLECM_MAC_ADDRESS_REFUSED;
        address.eBound = eBound;
        address.nBound = nBound;
        address.strNetwork = strNetwork;
        address.bOffNetwork = bOffNetwork;
        mac.refusedNamed.push_back(address);
    }
    bump(mac);
}

bool CVLECMMACTable::hasUnnamedRefusals(const SMAC& mac)
{
    const auto nNamedOn = std::count_if(mac.refusedNamed.begin(), mac.refusedNamed.end(),
                                        [](const SVLECMMACAddress& named) { return !named.bOffNetwork; });
    return mac.nRefused - mac.nRefusedOffNetwork > static_cast<unsigned long>(nNamedOn);
}

void CVLECMMACTable::forgetRefusal(SMAC& mac, const CVLString& strAddress, bool bOffNetwork)
{
    uint32_t nAddress = 0;
    bool bCounted = false;
    if (AddressNumber(strAddress, nAddress)) {
        auto position = std::lower_bound(mac.refusedCounted.begin(), mac.refusedCounted.end(), nAddress);
        bCounted = position != mac.refusedCounted.end() && *position == nAddress;
        if (bCounted) {
            mac.refusedCounted.erase(position);
            --m_nCounted;
        }
    }
    auto named = std::find_if(mac.refusedNamed.begin(), mac.refusedNamed.end(),
                              [&strAddress](const SVLECMMACAddress& one) { return one.strAddress == strAddress; });
    if (named != mac.refusedNamed.end()) {
        bOffNetwork = named->bOffNetwork;
        mac.refusedNamed.erase(named);
    } else if (!bCounted) {
        return;
    }
    if (mac.nRefused > 0)
        --mac.nRefused;
    if (bOffNetwork && mac.nRefusedOffNetwork > 0)
        --mac.nRefusedOffNetwork;
}

void CVLECMMACTable::ReplyLost(const SVLECMReplyKey& key)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_MACs.find(key.strMAC);
    if (it == m_MACs.end())
        return;
    for (SEntry& entry : it->second.kept) {
        if (entry.address.strAddress == key.strAddress) {
            if (entry.pRecord == nullptr && entry.address.eState == VLECM_MAC_ADDRESS_HEARD) {
                entry.address.eState = VLECM_MAC_ADDRESS_FAILED;
                entry.address.eFailure = VLECM_MAC_FAILURE_LOST;
                changed(it->second);
            }
            return;
        }
    }
}

bool CVLECMMACTable::Attach(const SVLECMReplyKey& key, CVLECMNIFInfo* pRecord, const CVLString& strModel)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_MACs.find(key.strMAC);
    if (it == m_MACs.end() || it->second.bRemoved || pRecord == nullptr || m_bStopped)
        return false;
    // A record of the simulated device stands for the MAC already.
    if (it->second.pSimulated == pRecord)
        return false;
    for (SEntry& entry : it->second.kept) {
        if (entry.address.strAddress != key.strAddress)
            continue;
        if (entry.pRecord != nullptr)
            return entry.pRecord == pRecord;
        if (entry.address.eState != VLECM_MAC_ADDRESS_HEARD)
            return false;
        entry.pRecord = pRecord;
        entry.address.strModel = strModel;
        entry.address.eState = VLECM_MAC_ADDRESS_WAITING;
        entry.address.eFailure = VLECM_MAC_FAILURE_NONE;
        m_Records[pRecord] = key;
        changed(it->second);
        return true;
    }
    return false;
}

CVLECMMACTable::SEntry* CVLECMMACTable::findEntry(const CVLECMNIFInfo* pRecord, SMAC** ppMAC)
{
    auto record = m_Records.find(pRecord);
    if (record == m_Records.end())
        return nullptr;
    auto mac = m_MACs.find(record->second.strMAC);
    if (mac == m_MACs.end())
        return nullptr;
    for (SEntry& entry : mac->second.kept) {
        if (entry.pRecord == pRecord) {
            *ppMAC = &mac->second;
            return &entry;
        }
    }
    return nullptr;
}

CVLECMMACTable::SEntry* CVLECMMACTable::findUnderWay(const CVLECMNIFInfo* pRecord, VLECM_COMMAND eCommand, SMAC** ppMAC)
{
    SEntry* pEntry = findEntry(pRecord, ppMAC);
    if (pEntry == nullptr || pEntry->eCommand != eCommand)
        return nullptr;
    const bool bUnderWay = eCommand == VLECM_COMMAND_CHECK_UNICAST
                               ? pEntry->chain.eHeld == CVLECMChainScheduler::HELD_CHECK
                               : pEntry->chain.HoldsPlace();
    if (!bUnderWay)
        return nullptr;
    return pEntry;
}

CVLECMMACTable::SEntry* CVLECMMACTable::findRunning(const CVLECMNIFInfo* pRecord, VLECM_COMMAND eCommand, SMAC** ppMAC)
{
    return eCommand == VLECM_COMMAND_CHECK_UNICAST ? nullptr : findUnderWay(pRecord, eCommand, ppMAC);
}

CVLECMNIFInfo* CVLECMMACTable::FindRecord(const CVLString& strMAC, const CVLString& strAddress)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_MACs.find(strMAC);
    if (it == m_MACs.end() || it->second.bRemoved)
        return nullptr;
    for (const SEntry& entry : it->second.kept) {
        if (entry.address.strAddress == strAddress)
            return entry.pRecord;
    }
    return nullptr;
}

CVLECMNIFInfo* CVLECMMACTable::FindReported(const CVLString& strMAC)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_MACs.find(strMAC);
    if (it == m_MACs.end() || it->second.bRemoved)
        return nullptr;
    if (it->second.pSimulated != nullptr)
        return it->second.pSimulated;
    for (const SEntry& entry : it->second.kept) {
        if (entry.address.bReported)
            return entry.pRecord;
    }
    return nullptr;
}

bool CVLECMMACTable::FindKey(const CVLECMNIFInfo* pRecord, SVLECMReplyKey& key)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_Records.find(pRecord);
    if (it == m_Records.end())
        return false;
    key = it->second;
    return true;
}

void CVLECMMACTable::SetModel(const CVLECMNIFInfo* pRecord, const CVLString& strModel)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    SMAC* pMAC = nullptr;
    SEntry* pEntry = findEntry(pRecord, &pMAC);
    if (pEntry != nullptr && pEntry->address.strModel != strModel) {
        pEntry->address.strModel = strModel;
        bump(*pMAC);
    }
}

CVLECMMACTable::SNext CVLECMMACTable::BeginChain(const CVLECMNIFInfo* pRecord, const CVLString& strNetwork)
{
    SNext next;
    std::lock_guard<std::mutex> lock(m_Mutex);
    SMAC* pMAC = nullptr;
    SEntry* pEntry = findEntry(pRecord, &pMAC);
    if (pEntry == nullptr || pMAC->bRemoved || m_bStopped || pEntry->chain.eHeld != CVLECMChainScheduler::HELD_NONE ||
        pEntry->address.eState != VLECM_MAC_ADDRESS_WAITING)
        return next;
    pEntry->eCommand = VLECM_COMMAND_CHECK_UNICAST;
    // Every address of a MAC is checked at once, as any device's: only the
    // bound of checks makes one wait, never the named address, nor the named
    // MAC at an address on the computer's networks (a few kept at most).
    const bool bNamedMAC = m_strNamedMAC.GetLength() > 0 && pMAC->pMAC != nullptr && *pMAC->pMAC == m_strNamedMAC &&
                           !pEntry->address.bOffNetwork;
    if (!m_Scheduler.AskCheck(pRecord, strNetwork, isNamedEntry(*pEntry) || bNamedMAC))
        return next;
    pEntry->address.eState = VLECM_MAC_ADDRESS_CHECKING;
    next.starts.push_back({pEntry->pRecord, VLECM_COMMAND_CHECK_UNICAST});
    bump(*pMAC);
    return next;
}

CVLECMMACTable::SNext CVLECMMACTable::CheckEnded(const CVLECMNIFInfo* pRecord, bool bAnswered,
                                                 VLECM_MAC_FAILURE eFailure, VLECM_RESULT eResult, long nDeviceResult,
                                                 bool bAnsweredOtherwise, const std::string& strRefusal)
{
    SNext next;
    std::lock_guard<std::mutex> lock(m_Mutex);
    SMAC* pMAC = nullptr;
    SEntry* pEntry = findEntry(pRecord, &pMAC);
    if (pEntry == nullptr || pEntry->chain.eHeld != CVLECMChainScheduler::HELD_CHECK)
        return next;
    freeChain(*pEntry, next);
    SVLECMMACAddress& address = pEntry->address;
    if (bAnswered) {
        address.eState = VLECM_MAC_ADDRESS_ANSWERED;
        address.bUnicast = true;
        pEntry->nAnswered = ++pMAC->nAnswered;
        if (!m_bStopped) {
            takePlace(*pEntry, next);
        } else {
            // Its own answer judges it: nothing starts after the stop.
            address.eState = VLECM_MAC_ADDRESS_PASSED;
            pEntry->nPassed = ++pMAC->nPassed;
        }
    } else {
        fail(address, eFailure, VLECM_COMMAND_CHECK_UNICAST, eResult, nDeviceResult);
        address.bAnsweredOtherwise = bAnsweredOtherwise;
        address.strRefusal = strRefusal;
    }
    return changed(*pMAC, next);
}

CVLECMMACTable::SNext CVLECMMACTable::CommandEnded(const CVLECMNIFInfo* pRecord, VLECM_COMMAND eCommand,
                                                   VLECM_RESULT eResult, long nDeviceResult,
                                                   const std::string& strRefusal)
{
    SNext next;
    std::lock_guard<std::mutex> lock(m_Mutex);
    SMAC* pMAC = nullptr;
    SEntry* pEntry = findRunning(pRecord, eCommand, &pMAC);
    if (pEntry == nullptr)
        return next;
    const bool bSucceeded = eResult == VLECM_RESULT_SUCCESS;
    // The list information follows the support information in the same place.
    if (bSucceeded && eCommand == VLECM_COMMAND_GET_SUPPORT_INFORMATION && !m_bStopped) {
        pEntry->eCommand = VLECM_COMMAND_GET_LIST_INFO;
        next.starts.push_back({pEntry->pRecord, VLECM_COMMAND_GET_LIST_INFO});
        bump(*pMAC);
        return next;
    }
    freeChain(*pEntry, next);
    SVLECMMACAddress& address = pEntry->address;
    if (bSucceeded) {
        address.eState = VLECM_MAC_ADDRESS_PASSED;
        pEntry->nPassed = ++pMAC->nPassed;
    } else {
        fail(address, eResult == VLECM_RESULT_STOPPED && m_bStopped ? VLECM_MAC_FAILURE_STOPPED
                                                                    : VLECM_MAC_FAILURE_COMMAND,
             eCommand, eResult, nDeviceResult);
        address.strRefusal = strRefusal;
    }
    return changed(*pMAC, next);
}

CVLECMMACTable::SNext CVLECMMACTable::EndLost(const CVLECMNIFInfo* pRecord, VLECM_COMMAND eCommand, bool bRefused)
{
    {
        // Its thread, if it has one, has finished: nobody else releases it
        // until the record's next command or its end.
        std::lock_guard<std::mutex> lock(m_Mutex);
        SMAC* pMAC = nullptr;
        SEntry* pEntry = findEntry(pRecord, &pMAC);
        if (pEntry != nullptr && std::find(m_LostEnds.begin(), m_LostEnds.end(), pEntry->pRecord) == m_LostEnds.end())
            m_LostEnds.push_back(pEntry->pRecord);
    }
    return bRefused ? endUnderWay(pRecord, eCommand, VLECM_MAC_FAILURE_LOST, VLECM_RESULT_FAILED)
                    : endUnderWay(pRecord, eCommand, VLECM_MAC_FAILURE_STOPPED, VLECM_RESULT_STOPPED);
}

std::vector<CVLECMNIFInfo*> CVLECMMACTable::TakeLostEnds()
{
    std::vector<CVLECMNIFInfo*> records;
    std::lock_guard<std::mutex> lock(m_Mutex);
    records.swap(m_LostEnds);
    return records;
}

void CVLECMMACTable::HandOnRefused(const CVLECMNIFInfo* pRecord)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    SMAC* pMAC = nullptr;
    SEntry* pEntry = findEntry(pRecord, &pMAC);
    if (pEntry == nullptr || pMAC->bRemoved || !pEntry->address.bReported ||
        std::find(m_WaitingHandOns.begin(), m_WaitingHandOns.end(), pRecord) != m_WaitingHandOns.end())
        return;
    m_WaitingHandOns.push_back(pRecord);
}

std::vector<CVLECMMACTable::SNext> CVLECMMACTable::TakeWaitingHandOns()
{
    std::vector<SNext> handOns;
    std::lock_guard<std::mutex> lock(m_Mutex);
    for (const CVLECMNIFInfo* pRecord : m_WaitingHandOns) {
        SMAC* pMAC = nullptr;
        SEntry* pEntry = findEntry(pRecord, &pMAC);
        if (pEntry == nullptr || pMAC->bRemoved || !pEntry->address.bReported)
            continue;
        SNext next;
        next.pReport = pEntry->pRecord;
        next.bReportUnicast = pEntry->address.bUnicast;
        // Nothing reaches the client by OnProbe after the stop.
        next.bListOnly = m_bStopped;
        // Its marks as they stand, written again before it is handed on.
        next.pMark = pEntry->pRecord;
        next.bConflict = pMAC->bConflictMarked;
        next.strOtherPassed = pMAC->strMarkedOther;
        handOns.push_back(next);
    }
    m_WaitingHandOns.clear();
    return handOns;
}

void CVLECMMACTable::forgetWaiting(const CVLECMNIFInfo* pRecord)
{
    m_LostEnds.erase(std::remove(m_LostEnds.begin(), m_LostEnds.end(), pRecord), m_LostEnds.end());
    m_WaitingHandOns.erase(std::remove(m_WaitingHandOns.begin(), m_WaitingHandOns.end(), pRecord),
                           m_WaitingHandOns.end());
}

CVLECMMACTable::SNext CVLECMMACTable::StartFailed(const CVLECMNIFInfo* pRecord, VLECM_COMMAND eCommand,
                                                  VLECM_RESULT eResult)
{
    const VLECM_MAC_FAILURE eFailure = eResult == VLECM_RESULT_STOPPED           ? VLECM_MAC_FAILURE_STOPPED
                                       : eCommand == VLECM_COMMAND_CHECK_UNICAST ? VLECM_MAC_FAILURE_CHECK
                                                                                 : VLECM_MAC_FAILURE_COMMAND;
    return endUnderWay(pRecord, eCommand, eFailure,
                       eResult != VLECM_RESULT_SUCCESS ? eResult : VLECM_RESULT_FAILED);
}

CVLECMMACTable::SNext CVLECMMACTable::StartDeferred(const CVLECMNIFInfo* pRecord, VLECM_COMMAND eCommand,
                                                    VLECM_LACK eLack)
{
    SNext next;
    std::lock_guard<std::mutex> lock(m_Mutex);
    SMAC* pMAC = nullptr;
    SEntry* pEntry = findUnderWay(pRecord, eCommand, &pMAC);
    if (pEntry == nullptr)
        return next;
    pEntry->address.eLack = eLack;
    // After the stop nothing waits: it is judged stopped.
    if (m_bStopped) {
        freeChain(*pEntry, next);
        fail(pEntry->address, VLECM_MAC_FAILURE_STOPPED, eCommand, VLECM_RESULT_STOPPED, 0);
        return changed(*pMAC, next);
    }
    std::vector<CVLECMChainScheduler::SStarted> started;
    m_Scheduler.Defer(pRecord, started);
    if (eCommand == VLECM_COMMAND_CHECK_UNICAST)
        pEntry->address.eState = VLECM_MAC_ADDRESS_WAITING;
    startChains(started, next);
    bump(*pMAC);
    return next;
}

bool CVLECMMACTable::IsDeferred(const CVLECMNIFInfo* pRecord)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Scheduler.IsDeferred(pRecord);
}

CVLECMNIFInfo* CVLECMMACTable::GetHeldTrial()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    const CVLECMChainScheduler::TChain trial = m_Scheduler.GetHeldTrial();
    SMAC* pMAC = nullptr;
    SEntry* pEntry = trial != nullptr ? findEntry(trial, &pMAC) : nullptr;
    return pEntry != nullptr ? pEntry->pRecord : nullptr;
}

CVLECMMACTable::SNext CVLECMMACTable::TrialHolds(const CVLECMNIFInfo* pRecord)
{
    SNext next;
    std::lock_guard<std::mutex> lock(m_Mutex);
    std::vector<CVLECMChainScheduler::SStarted> started;
    m_Scheduler.Holds(pRecord, started);
    startChains(started, next);
    return next;
}

CVLECMMACTable::SNext CVLECMMACTable::RetryDeferred()
{
    SNext next;
    std::lock_guard<std::mutex> lock(m_Mutex);
    std::vector<CVLECMChainScheduler::SStarted> started;
    m_Scheduler.Retry(started);
    startChains(started, next);
    return next;
}

CVLECMMACTable::SNext CVLECMMACTable::endUnderWay(const CVLECMNIFInfo* pRecord, VLECM_COMMAND eCommand,
                                                  VLECM_MAC_FAILURE eFailure, VLECM_RESULT eResult)
{
    SNext next;
    std::lock_guard<std::mutex> lock(m_Mutex);
    SMAC* pMAC = nullptr;
    SEntry* pEntry = findUnderWay(pRecord, eCommand, &pMAC);
    if (pEntry == nullptr)
        return next;
    freeChain(*pEntry, next);
    fail(pEntry->address, eFailure, eCommand, eResult, 0);
    return changed(*pMAC, next);
}

CVLECMMACTable::SNext CVLECMMACTable::Accept(const CVLECMNIFInfo* pRecord)
{
    SNext next;
    std::lock_guard<std::mutex> lock(m_Mutex);
    SMAC* pMAC = nullptr;
    SEntry* pEntry = findEntry(pRecord, &pMAC);
    if (pEntry == nullptr || !isPendingState(pEntry->address.eState) ||
        pEntry->chain.eHeld != CVLECMChainScheduler::HELD_NONE)
        return next;
    pEntry->address.eState = VLECM_MAC_ADDRESS_PASSED;
    pEntry->nPassed = ++pMAC->nPassed;
    return changed(*pMAC, next);
}

CVLECMMACTable::SNext CVLECMMACTable::Stop()
{
    SNext next;
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_bStopped = true;
    // What waits is judged below; nothing takes what frees.
    m_Scheduler.Stop();
    for (auto& it : m_MACs) {
        SMAC& mac = it.second;
        bool bChanged = false;
        for (SEntry& entry : mac.kept) {
            SVLECMMACAddress& address = entry.address;
            // A check or command under way ends on its own and is judged by
            // its answer.
            if (entry.chain.eHeld == CVLECMChainScheduler::HELD_CHECK || entry.chain.HoldsPlace())
                continue;
            if (address.eState == VLECM_MAC_ADDRESS_HEARD && entry.pRecord == nullptr) {
                fail(address, VLECM_MAC_FAILURE_LOST, VLECM_COMMAND_CHECK_UNICAST, VLECM_RESULT_STOPPED, 0);
            } else if (isPendingState(address.eState)) {
                fail(address, VLECM_MAC_FAILURE_STOPPED, VLECM_COMMAND_CHECK_UNICAST, VLECM_RESULT_STOPPED, 0);
            } else if (address.eState == VLECM_MAC_ADDRESS_ANSWERED) {
                fail(address, VLECM_MAC_FAILURE_STOPPED, entry.eCommand, VLECM_RESULT_STOPPED, 0);
            } else {
                continue;
            }
            freeChain(entry, next);
            bChanged = true;
        }
        if (!bChanged)
            continue;
        SNext one;
        changed(mac, &one);
        // A stop judges no address passed: the marks stand as they were.
        if (one.pMark != nullptr && next.pMark == nullptr) {
            next.pMark = one.pMark;
            next.bConflict = one.bConflict;
            next.strOtherPassed = one.strOtherPassed;
        }
        // An answer carries one hand-on: the stop's others wait for the
        // dispatch thread's next pass, which lists them.
        if (one.pReport == nullptr)
            continue;
        if (next.pReport == nullptr) {
            next.pReport = one.pReport;
            next.bReportUnicast = one.bReportUnicast;
            next.bListOnly = one.bListOnly;
        } else {
            m_WaitingHandOns.push_back(one.pReport);
        }
    }
    return next;
}

bool CVLECMMACTable::IsStopped()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_bStopped;
}

bool CVLECMMACTable::MayStart(const CVLECMNIFInfo* pRecord, VLECM_COMMAND eCommand)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    SMAC* pMAC = nullptr;
    return findUnderWay(pRecord, eCommand, &pMAC) != nullptr && !pMAC->bRemoved && !m_bStopped;
}

bool CVLECMMACTable::IsNamed(const CVLECMNIFInfo* pRecord)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_Records.find(pRecord);
    return it != m_Records.end() && m_strNamedAddress.GetLength() > 0 && it->second.strAddress == m_strNamedAddress;
}

bool CVLECMMACTable::HandOnSimulated(const CVLString& strMAC, CVLECMNIFInfo* pRecord)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_bStopped || pRecord == nullptr)
        return false;
    SMAC& mac = entryOf(strMAC);
    if (mac.bRemoved || mac.bReported)
        return false;
    mac.bReported = true;
    mac.pSimulated = pRecord;
    bump(mac);
    return true;
}

CVLECMNIFInfo* CVLECMMACTable::FindSimulated(const CVLString& strMAC)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_MACs.find(strMAC);
    return it != m_MACs.end() && !it->second.bRemoved ? it->second.pSimulated : nullptr;
}

void CVLECMMACTable::GetChainCounts(int& nRunning, int& nWaiting)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    nRunning = m_Scheduler.GetRunningCount();
    nWaiting = m_Scheduler.GetWaitingCount();
}

int CVLECMMACTable::GetCheckingCount()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Scheduler.GetCheckingCount();
}

int CVLECMMACTable::GetRunningCount(const CVLString& strNetwork)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Scheduler.GetRunningCount(strNetwork);
}

int CVLECMMACTable::GetUnfinishedChainCount(int& nChecking)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    nChecking = m_Scheduler.GetCheckingCount() + m_Scheduler.GetWaitingCheckCount();
    return m_Scheduler.GetRunningCount() + m_Scheduler.GetWaitingCount() + m_Scheduler.GetCheckingCount() +
           static_cast<int>(m_WaitingHandOns.size());
}

std::vector<CVLECMNIFInfo*> CVLECMMACTable::Remove(const CVLString& strMAC, SNext* pNext)
{
    std::vector<CVLECMNIFInfo*> records;
    SNext next;
    std::lock_guard<std::mutex> lock(m_Mutex);
    SMAC& mac = entryOf(strMAC);
    mac.bRemoved = true;
    // Marked removed first, and its waiting chains forgotten before what
    // the others held is given out: it goes to other MACs' chains only.
    for (SEntry& entry : mac.kept) {
        if (entry.chain.IsWaiting())
            freeChain(entry, next);
    }
    for (SEntry& entry : mac.kept)
        freeChain(entry, next);
    for (SEntry& entry : mac.kept) {
        if (entry.pRecord != nullptr) {
            records.push_back(entry.pRecord);
            m_Records.erase(entry.pRecord);
            forgetWaiting(entry.pRecord);
        }
        entry.pRecord = nullptr;
        entry.address.eState = VLECM_MAC_ADDRESS_REMOVED;
    }
    if (mac.pSimulated != nullptr) {
        records.push_back(mac.pSimulated);
        mac.pSimulated = nullptr;
    }
    changed(mac);
    if (pNext != nullptr)
        *pNext = next;
    return records;
}

CVLECMMACTable::SNext CVLECMMACTable::Detach(const CVLECMNIFInfo* pRecord)
{
    SNext next;
    std::lock_guard<std::mutex> lock(m_Mutex);
    SMAC* pMAC = nullptr;
    SEntry* pEntry = findEntry(pRecord, &pMAC);
    forgetWaiting(pRecord);
    if (pEntry == nullptr) {
        m_Records.erase(pRecord);
        for (auto& mac : m_MACs) {
            if (mac.second.pSimulated == pRecord)
                mac.second.pSimulated = nullptr;
        }
        return next;
    }
    freeChain(*pEntry, next);
    m_Records.erase(pRecord);
    pEntry->pRecord = nullptr;
    // Its check or commands can no longer end: judged as they stand.
    if (isPendingState(pEntry->address.eState) || pEntry->address.eState == VLECM_MAC_ADDRESS_ANSWERED) {
        const bool bChecked = pEntry->address.eState == VLECM_MAC_ADDRESS_ANSWERED;
        fail(pEntry->address, bChecked ? VLECM_MAC_FAILURE_COMMAND : VLECM_MAC_FAILURE_CHECK,
             bChecked ? pEntry->eCommand : VLECM_COMMAND_CHECK_UNICAST, VLECM_RESULT_STOPPED, 0);
    }
    changed(*pMAC);
    return next;
}

void CVLECMMACTable::fillState(const CVLString& strMAC, const SMAC& mac, SVLECMMACState& state)
{
    state.strMAC = strMAC;
    state.eVerdict = mac.eVerdict;
    state.addresses.clear();
    for (const SEntry& entry : mac.kept)
        state.addresses.push_back(entry.address);
    state.addresses.insert(state.addresses.end(), mac.refusedNamed.begin(), mac.refusedNamed.end());
    auto beyond = m_Beyond.find(strMAC);
    if (beyond != m_Beyond.end()) {
        for (const SBeyond& pair : beyond->second) {
            SVLECMMACAddress address;
            address.strAddress = pair.strAddress;
            address.eState = VLECM_MAC_ADDRESS_BEYOND;
            address.bOffNetwork = pair.bOffNetwork;
            state.addresses.push_back(address);
        }
    }
    state.nRefused = mac.nRefused;
    state.nRefusedOffNetwork = mac.nRefusedOffNetwork;
    state.nBeyond = mac.nBeyond;
    state.nBeyondOffNetwork = mac.nBeyondOffNetwork;
    state.bMore = mac.bMore || hasUnnamedRefusals(mac);
    state.bRemoved = mac.bRemoved;
    state.nChange = mac.nChange;
}

bool CVLECMMACTable::GetState(const CVLString& strMAC, SVLECMMACState& state)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_MACs.find(strMAC);
    if (it == m_MACs.end())
        return false;
    fillState(it->first, it->second, state);
    return true;
}

SVLECMHeardAddress CVLECMMACTable::countedRefusal(const CVLString& strMAC, const SMAC& mac, const CVLString& strAddress)
{
    SVLECMHeardAddress heard;
    heard.strMAC = strMAC;
    heard.address.strAddress = strAddress;
    heard.address.eState = VLECM_MAC_ADDRESS_REFUSED;
    heard.eVerdict = mac.eVerdict;
    return heard;
}

std::vector<SVLECMHeardAddress> CVLECMMACTable::FindAddress(const CVLString& strAddress)
{
    std::vector<SVLECMHeardAddress> found;
    std::lock_guard<std::mutex> lock(m_Mutex);
    uint32_t nAddress = 0;
    const bool bNumber = AddressNumber(strAddress, nAddress);
    // Each MAC's addresses in place, none copied but the one found.
    for (const auto& mac : m_MACs) {
        const SVLECMMACAddress* pFound = nullptr;
        for (const SEntry& entry : mac.second.kept) {
            if (entry.address.strAddress == strAddress) {
                pFound = &entry.address;
                break;
            }
        }
        for (size_t i = 0; pFound == nullptr && i < mac.second.refusedNamed.size(); ++i) {
            if (mac.second.refusedNamed[i].strAddress == strAddress)
                pFound = &mac.second.refusedNamed[i];
        }
        if (pFound != nullptr) {
            found.push_back({mac.first, *pFound, mac.second.eVerdict});
            continue;
        }
        auto beyond = m_Beyond.find(mac.first);
        const SBeyond* pBeyond = nullptr;
        for (size_t i = 0; beyond != m_Beyond.end() && pBeyond == nullptr && i < beyond->second.size(); ++i) {
            if (beyond->second[i].strAddress == strAddress)
                pBeyond = &beyond->second[i];
        }
        if (pBeyond != nullptr) {
            SVLECMHeardAddress heard;
            heard.strMAC = mac.first;
            heard.address.strAddress = strAddress;
            heard.address.eState = VLECM_MAC_ADDRESS_BEYOND;
            heard.address.bOffNetwork = pBeyond->bOffNetwork;
            heard.eVerdict = mac.second.eVerdict;
            found.push_back(heard);
            continue;
        }
        // A refused address counted but not named.
        if (bNumber && std::binary_search(mac.second.refusedCounted.begin(), mac.second.refusedCounted.end(), nAddress))
            found.push_back(countedRefusal(mac.first, mac.second, strAddress));
    }
    return found;
}

std::vector<SVLECMHeardAddress> CVLECMMACTable::GetAll(bool& bMore)
{
    std::vector<SVLECMHeardAddress> all;
    bMore = false;
    std::lock_guard<std::mutex> lock(m_Mutex);
    SVLECMMACState state;
    for (const auto& mac : m_MACs) {
        fillState(mac.first, mac.second, state);
        for (const SVLECMMACAddress& address : state.addresses)
            all.push_back({mac.first, address, mac.second.eVerdict});
        // The refused ones counted but not named stay numbers: bMore says
        // there were more (GetCountedRefusalCount how many).
        bMore = bMore || state.bMore;
    }
    return all;
}

bool CVLECMMACTable::countOnce(std::vector<uint32_t>& numbers, uint32_t nAddress, bool& bKept)
{
    auto position = std::lower_bound(numbers.begin(), numbers.end(), nAddress);
    bKept = position != numbers.end() && *position == nAddress;
    if (bKept)
        return false;
    if (numbers.size() >= MAX_REFUSED_COUNTED || m_nCounted >= MAX_COUNTED_ADDRESSES)
        return true;
    numbers.insert(position, nAddress);
    ++m_nCounted;
    bKept = true;
    return true;
}

size_t CVLECMMACTable::GetCountedAddressCount()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_nCounted;
}

unsigned long CVLECMMACTable::GetCountedRefusalCount()
{
    unsigned long nCounted = 0;
    std::lock_guard<std::mutex> lock(m_Mutex);
    for (const auto& mac : m_MACs)
        nCounted += mac.second.nRefused - static_cast<unsigned long>(mac.second.refusedNamed.size());
    return nCounted;
}

void CVLECMMACTable::SetNamedAddress(const CVLString& strAddress)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_strNamedAddress = strAddress;
}

CVLString CVLECMMACTable::GetNamedAddress()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_strNamedAddress;
}

bool CVLECMMACTable::IsNamedAddress(const CVLString& strAddress)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_strNamedAddress.GetLength() > 0 && strAddress == m_strNamedAddress;
}

void CVLECMMACTable::SetNamedMAC(const CVLString& strMAC)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_strNamedMAC = strMAC;
}

bool CVLECMMACTable::IsNamedMAC(const CVLString& strMAC)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_strNamedMAC.GetLength() > 0 && strMAC == m_strNamedMAC;
}

void CVLECMMACTable::summarize(const SMAC& mac, SVLECMMACSummary& summary)
{
    summary.eVerdict = mac.eVerdict;
    summary.nKept = static_cast<unsigned long>(mac.kept.size());
    for (const SEntry& entry : mac.kept) {
        const SVLECMMACAddress& address = entry.address;
        if (address.bOffNetwork)
            ++summary.nKeptOffNetwork;
        if (isPendingState(address.eState))
            ++summary.nPending;
        else if (address.eState == VLECM_MAC_ADDRESS_ANSWERED)
            ++summary.nAnswered;
        else if (address.eState == VLECM_MAC_ADDRESS_PASSED)
            ++summary.nPassed;
        else if (address.eState == VLECM_MAC_ADDRESS_FAILED)
            ++summary.nFailed;
        if (address.eState == VLECM_MAC_ADDRESS_FAILED && address.eFailure == VLECM_MAC_FAILURE_NOT_UNICAST)
            ++summary.nNotUnicast;
        if (address.bReported) {
            summary.bReported = true;
            summary.strReportedAddress = address.strAddress;
        }
    }
    if (mac.pSimulated != nullptr)
        summary.bReported = true;
    summary.nRefused = mac.nRefused;
    summary.nRefusedOffNetwork = mac.nRefusedOffNetwork;
    summary.nBeyond = mac.nBeyond;
    summary.nBeyondOffNetwork = mac.nBeyondOffNetwork;
    summary.bMore = mac.bMore || hasUnnamedRefusals(mac);
    summary.bConflictMarked = mac.bConflictMarked;
    summary.bRemoved = mac.bRemoved;
    summary.nChange = mac.nChange;
}

bool CVLECMMACTable::GetSummary(const CVLString& strMAC, SVLECMMACSummary& summary)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_MACs.find(strMAC);
    if (it == m_MACs.end())
        return false;
    summary = SVLECMMACSummary();
    summary.strMAC = it->first;
    summarize(it->second, summary);
    return true;
}

std::vector<SVLECMConflictReport> CVLECMMACTable::GetConflicts(size_t nReports, bool& bMore)
{
    std::vector<SVLECMConflictReport> reports;
    bMore = false;
    std::lock_guard<std::mutex> lock(m_Mutex);
    for (const auto& mac : m_MACs) {
        if (mac.second.eVerdict != VLECM_MAC_CONFLICT)
            continue;
        if (reports.size() >= nReports) {
            bMore = true;
            break;
        }
        SVLECMConflictReport report;
        report.strMAC = mac.first;
        report.bReported = mac.second.bReported;
        for (const SEntry& entry : mac.second.kept)
            report.addresses.push_back(entry.address);
        reports.push_back(report);
    }
    return reports;
}

int CVLECMMACTable::GetPendingCount()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_nPending;
}

unsigned long CVLECMMACTable::GetChangeCount()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_nChange;
}

unsigned long CVLECMMACTable::WaitForChange(unsigned long nSeen, int nMilliseconds)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Changed.wait_for(lock, std::chrono::milliseconds(std::max(0, nMilliseconds)),
                       [this, nSeen]() { return m_nChange != nSeen; });
    return m_nChange;
}

std::vector<CVLString> CVLECMMACTable::GetChangedSince(unsigned long nSeen)
{
    std::vector<CVLString> macs;
    std::lock_guard<std::mutex> lock(m_Mutex);
    // From the latest change back to the first one seen.
    for (auto it = m_ChangedOrder.rbegin(); it != m_ChangedOrder.rend() && (*it)->nChange > nSeen; ++it)
        macs.push_back(*(*it)->pMAC);
    std::sort(macs.begin(), macs.end());
    return macs;
}

int CVLECMMACTable::GetRecordCount()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return static_cast<int>(m_Records.size());
}
