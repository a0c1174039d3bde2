#include "cm/VLTargetList.h"

#include "base/core/VLExceptionOwner.h"
#include "base/core/VLLockException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLNullObjectException.h"
#include "base/core/VLThreadLock.h"
#include "cm/VLMargeConditionList.h"
#include "cm/VLModuleController.h"
#include "cm/VLTarget.h"

// Trace and throw sites of the target list carry their own module name.
static const char kModule[] = "VLTargetList";
const char* const s_szFile = "VLTargetList";

CVLTargetList::CVLTargetList() : CVLTargetList(nullptr)
{
}

CVLTargetList::CVLTargetList(CVLCMApi* pApi) : CVLApiObject(pApi)
{
}

CVLTargetList::~CVLTargetList()
{
}

CVLTarget* CVLTargetList::Add(CVLTarget* pObject)
{
    try {
        if (pObject == nullptr)
            return nullptr;
        // Taken although callers usually hold it already: an append racing
        // a removal on another thread would corrupt the list.
        CVLThreadLock lock(&m_ThreadSync);
        if (!lock.Lock())
            throw new EVLLockException(kModule, s_szFile, __LINE__);
        m_List.push_back(pObject);
        pObject->m_pOwnerList = this;
        return pObject;
    }
    VL_CATCH_LADDER(kModule, s_szFile)
}

void CVLTargetList::RemoveAll()
{
    try {
        std::list<CVLTarget*> removed;
        {
            CVLThreadLock lock(&m_ThreadSync);
            if (!lock.Lock())
                return;
            removed.swap(m_List);
        }
        // Destroyed without the list lock: deleting a target takes the
        // controller lock, which others hold while they take this one.
        // A target listed twice is destroyed once.
        CVLExceptionOwner first;
        VLForEachDistinct(removed, [&first](CVLTarget* pTarget) {
            try {
                pTarget->Destroy(true);
            } catch (EVLException* e) {
                first.KeepFirst(e);
            }
        });
        first.ThrowIfAny();
    }
    VL_CATCH_LADDER(kModule, s_szFile)
}

bool CVLTargetList::Unlink(CVLTarget* pTarget)
{
    CVLThreadLock lock(&m_ThreadSync);
    if (!lock.Lock())
        throw new EVLLockException(kModule, s_szFile, __LINE__);
    for (auto it = m_List.begin(); it != m_List.end(); ++it) {
        if (*it == pTarget) {
            m_List.erase(it);
            return true;
        }
    }
    return false;
}

void CVLTargetList::RemoveAt(CVLTarget* pTarget, bool bDestroyTarget)
{
    try {
        bool bRemoved;
        {
            CVLThreadLock lock(&m_ThreadSync);
            if (!lock.Lock())
                return;
            bRemoved = Unlink(pTarget);
        }
        // Destroyed after the list lock is released, as in RemoveAll.
        if (bRemoved && bDestroyTarget)
            pTarget->Destroy(true);
    }
    VL_CATCH_LADDER(kModule, s_szFile)
}

CVLTarget* CVLTargetList::MargeOrAddReceived(CVLTarget* pSrcTarget, bool& bMarge, CVLModuleInstance* pReceiver)
{
    (void)pReceiver;
    return MargeOrAddTarget(pSrcTarget, bMarge);
}

CVLTarget* CVLTargetList::MargeOrAddTarget(CVLTarget* pSrcTarget, bool& bMarge)
{
    try {
        if (pSrcTarget == nullptr)
            return nullptr;
        CVLThreadLock lock(&m_ThreadSync);
        if (!lock.Lock())
            return nullptr;
        CVLModuleController* pController = GetModuleController();
        if (pController == nullptr)
            throw new EVLNullObjectException(kModule, s_szFile, __LINE__);
        CVLMargeConditionList* pConditions = pController->GetMargeConditionList();
        if (pConditions != nullptr && pConditions->GetCount() > 0) {
            for (CVLTarget* pTarget : m_List) {
                // Match has merged the source into the match already.
                if (pTarget != pSrcTarget && pConditions->Match(pSrcTarget, pTarget)) {
                    bMarge = true;
                    return pTarget;
                }
            }
        }
        CVLTarget* pNew = pController->CreateTarget();
        if (pNew == nullptr)
            throw new EVLMemoryAllocException(kModule, s_szFile, __LINE__);
        try {
            *pNew = *pSrcTarget;
            Add(pNew);
        } catch (...) {
            // Listed nowhere yet and running nothing: hand it straight back.
            try {
                pController->DeleteTarget(pNew, true);
            } catch (EVLException* e) {
                e->Delete();
            }
            throw;
        }
        bMarge = false;
        return pNew;
    }
    VL_CATCH_LADDER(kModule, s_szFile)
}

int CVLTargetList::GetCount()
{
    CVLThreadLock lock(&m_ThreadSync);
    return lock.Lock() ? static_cast<int>(m_List.size()) : 0;
}

CVLTargetIterator CVLTargetList::Begin()
{
    return CVLTargetIterator(&m_List);
}

CVLTargetConstIterator CVLTargetList::ConstBegin() const
{
    return CVLTargetConstIterator(&m_List);
}

void CVLTargetList::Destroy()
{
    try {
        CVLModuleController* pController = GetModuleController();
        if (pController == nullptr)
            throw new EVLNullObjectException(kModule, s_szFile, __LINE__);
        pController->DeleteTargetList(this);
    }
    VL_CATCH_LADDER(kModule, s_szFile)
}
