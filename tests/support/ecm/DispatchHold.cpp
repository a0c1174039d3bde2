#include "tests/support/ecm/DispatchHold.h"

#include <utility>

#include "cm/VLCallbackInfo.h"
#include "ecm/VLECM.h"

CDispatchHold::CDispatchHold(CVLECM& ecm, std::function<void()> fnOnRelease) : m_fnOnRelease(std::move(fnOnRelease))
{
    ecm.GetApi()->PostCallbackUser(
        nullptr, nullptr,
        [](long, void* p, CVLCallbackInfo*) {
            CDispatchHold* pHold = static_cast<CDispatchHold*>(p);
            std::unique_lock<std::mutex> lock(pHold->m_Mutex);
            pHold->m_bHeld = true;
            pHold->m_Cond.notify_all();
            pHold->m_Cond.wait(lock, [pHold]() { return pHold->m_bReleased; });
            if (pHold->m_fnOnRelease)
                pHold->m_fnOnRelease();
            // The hold may go once it sees this: nothing here reads it after.
            pHold->m_bLeft = true;
            pHold->m_Cond.notify_all();
        },
        0, this, nullptr);
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Cond.wait(lock, [this]() { return m_bHeld; });
}

CDispatchHold::~CDispatchHold()
{
    Release();
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Cond.wait(lock, [this]() { return m_bLeft; });
}

void CDispatchHold::Release()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_bReleased = true;
    m_Cond.notify_all();
}
