// What one probe admits of the replies it hears, decided on the receive
// threads before a reply is copied or queued:
// - a reply without a MAC address (a device's error answer) is refused, and
//   the refusals are counted and traced per source;
// - a reply of a kept address (any address of a MAC, whichever answered
//   first) whose data did not change is dropped, unless the record of that
//   data was lost before its delivery (refused by the dispatch queue, never
//   copied); while one record of an address waits to be delivered its next
//   replies are not admitted: a changed one is merged into the waiting
//   record instead, so an address costs at most one waiting record and its
//   record ends with its latest data. The waiting records are the hand-on
//   queue's (CVLECMHandOnQueue, given at construction), which the filter
//   asks; each address's fingerprint and whether its last record was
//   delivered are the MAC table's;
// What was admitted, and how each address stands (its fingerprint
// included), is the table's; the filter keeps only the counts of its bounds.
// - a MAC address that answers from further addresses keeps each in the
//   MAC table (CVLECMMACTable, given at construction); the first reply from
//   each is admitted as a record of its own, so that each address gets its
//   unicast check and a host claiming the MAC first cannot hide the device.
//   A new address costs what a device does: the bounds below hold it too,
//   and the table keeps what they refused, never checked, of a MAC admitted
//   or not. Nothing of a MAC the client removed is admitted;
// - one source address brings at most MAX_MACS_PER_SOURCE devices, and each
//   local network at most MAX_DEVICES; the devices a bound refused are kept
//   for the client (GetBoundReports). What the user named goes beyond
//   every bound a claimant can fill first: the named address beyond its
//   network's, the named MAC beyond its network's and its source's, and
//   the MACs that answer the named address's own unicast probe
//   (SetNamedAnswer) beyond the named address's source bound: two more
//   MACs at most, whatever forged replies from it took its count first.
// The network of a reply is the local network its source address lies in
// (CVLECMLocalNetworks); where the socket that received it belongs to one
// local network (a directed broadcast's), the reports also name that
// network's interface.
#ifndef VLECMREPLYFILTER_H
#define VLECMREPLYFILTER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "base/core/VLString.h"
#include "base/core/VLThreadSync.h"
#include "ecm/core/VLECMBoundReport.h"
#include "ecm/probe/VLECMHandOnQueue.h"
#include "ecm/probe/VLECMLocalNetworks.h"
#include "ecm/probe/VLECMMACTable.h"
#include "ecm/probe/VLECMReplyKey.h"

class CVLTarget;

class CVLECMReplyFilter
{
public:
    // A device answers with one MAC address per address; a print server
    // with several ports may answer with a few. Beyond that a source is
    // inventing devices.
    enum
    {
        MAX_MACS_PER_SOURCE = 4
    };
    // Per local network: far above the devices of a network a probe
    // reaches, and what the records of that many devices take is a few
    // megabytes.
    enum
    {
        MAX_DEVICES = 512
    };
    // Sources whose refused replies are counted one by one; refusals from
    // further sources are only added up.
    enum
    {
        MAX_COUNTED_SOURCES = 1024
    };
    // MACs that answering the named address's ask admits beyond its
    // source's bound: the device's, and one more that tells of two hosts.
    enum
    {
        MAX_NAMED_ANSWERS = 2
    };
    // Devices a bound refused that are kept, per network and bound, for
    // the report; beyond them the report says only that there were more.
    enum
    {
        MAX_REFUSED_DEVICES = 1024
    };

    // The hand-on queue that keeps the admitted devices' waiting records,
    // and the table of each MAC's addresses.
    CVLECMReplyFilter(CVLECMHandOnQueue& records, CVLECMMACTable& table);

    // Forgets every count, and with them, at once, the hand-on queue's
    // records and the table (the local networks are handed on their own):
    // a new probe starts, or (bKeepStop) a stopped probe's devices are
    // cleared and it stays stopped, nothing admitted.
    void Reset(bool bKeepStop = false);
    // The probe stops: the table is stopped under this lock, so that a
    // reply is admitted wholly before the stop or not at all; what the
    // table answers is to be followed.
    CVLECMMACTable::SNext Stop();
    // The local networks the device bound counts by, handed as a probe
    // starts; replies from elsewhere count as one further network. None
    // until handed.
    void SetLocalNetworks(std::shared_ptr<const CVLECMLocalNetworks> pNetworks);
    // The option that lowers the device bound of each network.
    static constexpr const char* DEVICE_BOUND_OPTION = "Option.Probe.MaxDevicesPerNetwork";
    // The bound that the option's text gives: decimal digits alone, after
    // one optional '+', of a number from 1 to MAX_DEVICES; false for any
    // other text, which an administrator cannot have meant as a bound.
    static bool ParseDeviceBound(const CVLString& strText, int& nBound);
    // The device bound of each network, from 1 to MAX_DEVICES (other values
    // give MAX_DEVICES); the probe instance sets it as a probe starts.
    void SetDeviceBound(long nBound);
    int GetDeviceBound();
    // Called, outside the lock, when the named address's source bound
    // refuses a MAC while no ask of it is under way and none was answered:
    // the named address is to be asked by unicast which MAC answers there.
    // The ask is the named address's alone: no other source's bound calls it.
    void SetNamedBoundListener(std::function<void()> fnListener);
    // A new round of the probe: true, the ask then taken as under way, when
    // the named address is to be asked again (its bound refused a MAC, no
    // ask is under way and none was answered).
    bool TakeNamedAsk();
    // The MAC (normal form) that answered a unicast probe of the named
    // address strAddress; ignored when that is no longer the named address.
    // Admitted from that address beyond its source's bound until Reset;
    // so is a second MAC, which shows two hosts answering for the address.
    void SetNamedAnswer(const CVLString& strAddress, const CVLString& strMAC);
    // The ask of the named address ended, answered or not; or it failed
    // for a reason no round mends (eFailure, strRefusal), asked no more.
    void NamedAskEnded(VLECM_RESULT eFailure = VLECM_RESULT_SUCCESS, const std::string& strRefusal = std::string());
    // What the named address's ask learnt so far.
    SVLECMNamedAsk GetNamedAnswers();
    // True when the reply (a work target holding "MACAddress" and
    // "IPAddress") may be copied and queued; then, when the pointers are
    // given, its key (its MAC address in normal form and its address), the
    // bytes its copy takes and whether it comes from the address the MAC
    // was handed on from; the hand-on queue has it waiting. A changed reply
    // whose record waits is merged into that record, and yields false.
    // strReceiver names the module instance whose socket received the
    // reply (empty when not known).
    bool Admit(CVLTarget* pReply, const CVLString& strReceiver, SVLECMReplyKey* pKey = nullptr,
               size_t* pBytes = nullptr, bool* pbReported = nullptr);
    // The same decision on its parts: the MAC address in its normal form,
    // the address it came from and a fingerprint of its data; the reply
    // itself, when given, updates a waiting record.
    bool Admit(const CVLString& strMAC, const CVLString& strFrom, size_t nFingerprint, CVLTarget* pReply = nullptr,
               const CVLString& strReceiver = CVLString());
    // Replies without a MAC address refused since the last Reset, in all
    // and from one source.
    unsigned long GetRefusedCount();
    unsigned long GetRefusedCount(const CVLString& strFrom);
    // The networks whose device bound refused devices that were never
    // admitted, in network order, then those where a source's bound did;
    // each names the first nNamed of its devices.
    std::vector<SVLECMBoundReport> GetBoundReports(size_t nNamed = MAX_REFUSED_DEVICES);
    // True when a bound refused a device of that MAC address (any of its
    // usual forms) or, when no MAC is given, from that address, and it was
    // never admitted; report then tells which bound, naming that device.
    bool FindRefused(const CVLString& strMAC, const CVLString& strAddress, SVLECMBoundReport& report);

private:
    // What one bound dropped on one network: the devices it refused (their
    // MAC addresses as numbers) and the address each first answered from,
    // up to MAX_REFUSED_DEVICES; the interfaces of the sockets that
    // received them; whether one came through another network's socket.
    struct SDropped
    {
        std::map<uint64_t, uint32_t> devices;
        bool bMore = false;
        std::set<CVLString> interfaces;
        bool bOtherNetworksSocket = false;
    };
    struct SNetworkCount
    {
        int nDevices = 0;
        bool bBoundTraced = false;
        SDropped bound;
        SDropped sourceBound;
    };

    // Under m_Sync.
    void refuse(const CVLString& strFrom);
    // What the user named that goes beyond the network's bound, and beyond
    // the source's.
    bool isBeyondNetworkBound(const SVLECMReplyKey& key);
    bool isBeyondSourceBound(const SVLECMReplyKey& key);
    // The admission itself; bAskNamed: the listener is to be called.
    bool admit(const CVLString& strMAC, const CVLString& strFrom, size_t nFingerprint, CVLTarget* pReply,
               const CVLString& strReceiver, bool& bAskNamed);
    // A reply of a known device's MAC from a new address (on that local
    // network): admitted within the bounds.
    bool admitOther(const SVLECMReplyKey& key, size_t nFingerprint, const CVLString& strNetwork, bool& bAskNamed);
    // The named address refused by its source's bound: asked while no ask
    // is under way, until it is answered.
    void askNamed(const CVLString& strFrom, bool& bAskNamed);
    // Under m_Sync: the ask is taken as under way when it is due.
    bool takeNamedAsk();
    // Counts a reply of a new device that a bound dropped.
    void drop(SDropped& dropped, const CVLString& strMAC, const CVLString& strFrom, const CVLString& strReceiver);
    // The report of what a bound dropped on a network that has nDevices
    // admitted, naming the devices that fnNamed picks of those never
    // admitted (given their place in address order); no devices when all it
    // refused were admitted later.
    SVLECMBoundReport makeReport(const CVLString& strNetwork, VLECM_BOUND eBound, const SDropped& dropped, int nDevices,
                                 const std::function<bool(size_t, uint64_t, uint32_t)>& fnNamed);
    // Calls fn with each report's network, bound, what it dropped and the
    // devices admitted on the network, in report order.
    void forEachBound(const std::function<void(const CVLString&, VLECM_BOUND, const SDropped&, int)>& fn);

    CVLThreadSync m_Sync;
    // Lock themselves, after m_Sync and never before it.
    CVLECMHandOnQueue& m_Records;
    CVLECMMACTable& m_Table;
    std::shared_ptr<const CVLECMLocalNetworks> m_pLocalNetworks;
    int m_nDeviceBound;
    std::map<CVLString, SNetworkCount> m_NetworkCounts;
    std::map<CVLString, int> m_MACsPerSource;
    std::set<CVLString> m_TracedSources;
    std::map<CVLString, unsigned long> m_RefusedPerSource;
    unsigned long m_nRefused;
    std::function<void()> m_fnNamedBound;
    // The named address's source bound refused a MAC; an ask is under way;
    // the MACs that answered it (at most MAX_NAMED_ANSWERS), or why it failed.
    bool m_bNamedRefused;
    bool m_bNamedAsking;
    std::vector<CVLString> m_NamedAnswers;
    VLECM_RESULT m_eNamedFailure;
    std::string m_strNamedRefusal;
};

#endif
