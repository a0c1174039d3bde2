// A client of the device manager for the tests: records every report so a
// test can wait for the ones it expects, and drains the dispatch queue.
#ifndef ECMTESTCLIENT_H
#define ECMTESTCLIENT_H

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ecm/VLECM.h"
#include "ecm/record/VLECMNIFInfo.h"

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
    // Waits until nCount reports of that kind arrived; false after 30 s.
    bool WaitFor(const std::string& strWhat, size_t nCount)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        return m_Cond.wait_for(lock, std::chrono::seconds(30), [&]() { return CountLocked(strWhat) >= nCount; });
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
    std::mutex mutex;
    std::condition_variable cond;
    bool bDone = false;
    struct Marker
    {
        std::mutex* pMutex;
        std::condition_variable* pCond;
        bool* pbDone;
    } marker{&mutex, &cond, &bDone};
    ecm.GetApi()->PostCallbackUser(
        nullptr, nullptr,
        [](long, void* p, CVLCallbackInfo*) {
            Marker* pMarker = static_cast<Marker*>(p);
            std::lock_guard<std::mutex> lock(*pMarker->pMutex);
            *pMarker->pbDone = true;
            pMarker->pCond->notify_all();
        },
        0, &marker, nullptr);
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(cond.wait_for(lock, std::chrono::seconds(20), [&]() { return bDone; }));
}

inline void Drain(CVLECM& ecm)
{
    int nHeld = 0, nHandedOn = 0;
    do {
        DrainOnce(ecm);
        if (::testing::Test::HasFatalFailure())
            return;
        ecm.GetProbeInstance().GetHandOnQueue().GetCounts(nHeld, nHandedOn);
    } while (nHeld + nHandedOn > 0);
}

#endif
