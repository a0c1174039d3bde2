// A client of the device manager for the tests: records every report so a
// test can wait for the ones it expects, and drains the dispatch queue.
// Every wait here is bounded by how long it goes without headway, so that a
// stalled dispatch queue fails its test within seconds, saying so, instead
// of holding it until the test driver's time-out.
#ifndef ECMTESTCLIENT_H
#define ECMTESTCLIENT_H

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ecm/VLECM.h"
#include "ecm/probe/VLECMProbeInstance.h"
#include "ecm/record/VLECMNIFInfo.h"

// How long a wait on the dispatch queue may go without headway (a report,
// a marker reached, a record handed on) before it gives up: far above any
// pause of a working queue, TSan's included.
const int kDispatchStallSeconds = 10;

inline std::string ECMText(const CVLString& str)
{
    const char* sz = str.GetBuffer();
    return sz != nullptr ? sz : "";
}

// Records every report; a test waits for the ones it expects.
class CRecordingClient : public IVLECMCallbackIF
{
public:
    struct Event
    {
        std::string strWhat;  // "probe", "GetDetail", ...
        CVLECMNIFInfo* pNIFInfo;
        std::string strMac;
        int nResult;
        bool bUnicast;
        bool bUpdate;
    };

    void OnProbe(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE, bool bUnicast, bool bUpdateNIFInfo) override
    {
        Add({"probe", pNIFInfo, ECMText(pNIFInfo->GetMACAddress()), 0, bUnicast, bUpdateNIFInfo});
        if (m_OnProbe)
            m_OnProbe(pNIFInfo);
    }
#define ECM_TEST_UNICAST_PLAIN false
#define ECM_TEST_UNICAST_UNICAST bUnicast
#define ECM_TEST_RECORD_REPORT(ID, NAME, REPORT, CARRIED, RETRY)                                                  \
    void On##NAME(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE, VLECM_RESULT eResult VLECM_REPORT_PARAMS_##REPORT) \
        override                                                                                                  \
    {                                                                                                             \
        Add({#NAME, pNIFInfo, "", eResult, ECM_TEST_UNICAST_##REPORT, false});                                    \
    }
    VLECM_COMMAND_LIST(ECM_TEST_RECORD_REPORT)
#undef ECM_TEST_RECORD_REPORT
    // Waits until nCount reports of that kind arrived; false (and a note on
    // standard error) once no report at all came for kDispatchStallSeconds.
    bool WaitFor(const std::string& strWhat, size_t nCount)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        while (CountLocked(strWhat) < nCount) {
            size_t nEvents = m_Events.size();
            if (!m_Cond.wait_for(lock, std::chrono::seconds(kDispatchStallSeconds),
                                 [&]() { return m_Events.size() != nEvents; })) {
                std::fprintf(stderr,
                             "WaitFor: %zu of %zu \"%s\" reports, none more for %d s (dispatch queue stalled?)\n",
                             CountLocked(strWhat), nCount, strWhat.c_str(), kDispatchStallSeconds);
                return false;
            }
        }
        return true;
    }
    // The result of the last report of that kind; -1 when there is none.
    int LastResult(const std::string& strWhat)
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        int nResult = -1;
        for (const Event& e : m_Events)
            nResult = e.strWhat == strWhat ? e.nResult : nResult;
        return nResult;
    }
    size_t Count(const std::string& strWhat)
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return CountLocked(strWhat);
    }
    std::vector<Event> Events()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Events;
    }

    std::function<void(CVLECMNIFInfo*)> m_OnProbe;

private:
    void Add(const Event& event)
    {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Events.push_back(event);
        }
        m_Cond.notify_all();
    }
    size_t CountLocked(const std::string& strWhat)
    {
        size_t n = 0;
        for (const Event& e : m_Events)
            n += e.strWhat == strWhat ? 1 : 0;
        return n;
    }

    std::mutex m_Mutex;
    std::condition_variable m_Cond;
    std::vector<Event> m_Events;
};

// Lets the dispatch thread drain what is queued: a marker callback queued
// last has run once everything before it has. Replies the probe still holds
// for their turn are queued as others are delivered: the marker goes again
// until none is held or waits in the queue.
inline void DrainOnce(CVLECM& ecm)
{
    struct SMarker
    {
        std::mutex mutex;
        std::condition_variable cond;
        bool bDone = false;
    };
    // Left behind when the wait gives up: the marker may still run later.
    SMarker* pMarker = new SMarker;
    ecm.GetApi()->PostCallbackUser(
        nullptr, nullptr,
        [](long, void* p, CVLCallbackInfo*) {
            SMarker* pMarker = static_cast<SMarker*>(p);
            std::lock_guard<std::mutex> lock(pMarker->mutex);
            pMarker->bDone = true;
            pMarker->cond.notify_all();
        },
        0, pMarker, nullptr);
    bool bDone;
    {
        std::unique_lock<std::mutex> lock(pMarker->mutex);
        bDone =
            pMarker->cond.wait_for(lock, std::chrono::seconds(kDispatchStallSeconds), [&]() { return pMarker->bDone; });
    }
    if (!bDone)
        FAIL() << "the dispatch thread did not reach a marker within " << kDispatchStallSeconds
               << " s (dispatch queue stalled?)";
    delete pMarker;
}

inline void Drain(CVLECM& ecm)
{
    // Each pass delivers every record handed on, so the records waiting
    // go down from one pass to the next unless the queue stalls (a place
    // in it never freed).
    int nLeast = INT_MAX;
    auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(kDispatchStallSeconds);
    for (;;) {
        DrainOnce(ecm);
        if (::testing::Test::HasFatalFailure())
            return;
        int nHeld = 0, nHandedOn = 0;
        ecm.GetProbeInstance().GetHandOnQueue().GetCounts(nHeld, nHandedOn);
        if (nHeld + nHandedOn == 0)
            return;
        auto now = std::chrono::steady_clock::now();
        if (nHeld + nHandedOn < nLeast) {
            nLeast = nHeld + nHandedOn;
            giveUp = now + std::chrono::seconds(kDispatchStallSeconds);
        } else if (now >= giveUp) {
            FAIL() << "the hand-on queue counts " << nHeld << " replies held and " << nHandedOn
                   << " handed on, no fewer for " << kDispatchStallSeconds
                   << " s (a place in the dispatch queue never freed?)";
        }
    }
}

// Waits until the MAC (any form) was heard and its verdict is no longer
// pending; false once nothing changed for kDispatchStallSeconds.
inline bool WaitJudged(CVLECM& ecm, const char* szMAC, SVLECMMACState& state)
{
    for (;;) {
        const unsigned long nSeen = ecm.GetMACChangeCount();
        if (ecm.GetMACState(szMAC, state) && state.eVerdict != VLECM_MAC_PENDING)
            return true;
        if (ecm.WaitForMACChange(nSeen, kDispatchStallSeconds * 1000) == nSeen) {
            std::fprintf(stderr, "WaitJudged: %s not judged, nothing changed for %d s\n", szMAC, kDispatchStallSeconds);
            return false;
        }
    }
}

// The probe's record of that MAC (normal form) at that address, handed on
// or not: the tests reach a device still in its chain so.
inline CVLECMNIFInfo* ProbeRecord(CVLECM& ecm, const std::string& strMAC, const std::string& strAddress = "")
{
    return ecm.GetProbeInstance().GetMACTable().FindRecord(CVLString(strMAC.c_str(), 72),
                                                           CVLString(strAddress.c_str(), 72));
}

#endif
