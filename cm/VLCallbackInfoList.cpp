#include "cm/VLCallbackInfoList.h"

#include <new>

CVLCallbackInfoList::CVLCallbackInfoList()
{
}

CVLCallbackInfoList::~CVLCallbackInfoList()
{
    DeleteAll();
}

CVLCallbackInfo* CVLCallbackInfoList::CreateElement()
{
    return new (std::nothrow) CVLCallbackInfo();
}

void CVLCallbackInfoList::DeleteElement(CVLCallbackInfo* p)
{
    delete p;
}

CVLCallbackInfo* CVLCallbackInfoList::AddNew()
{
    CVLCallbackInfo* p = CreateElement();
    if (p == nullptr)
        throw new EVLMemoryAllocException(VLSTD_MODULE, "TVLObjectList", __LINE__);
    try {
        m_List.push_back(p);
    } catch (...) {
        delete p;
        throw new EVLMemoryAllocException(VLSTD_MODULE, "TVLObjectList", __LINE__);
    }
    return p;
}

size_t CVLCallbackInfoList::Remove(CVLModuleInstance* pInstance, CVLTarget* pTarget, void* pCallbackParam)
{
    size_t nBytes = 0;
    if (pInstance == nullptr && pTarget == nullptr && pCallbackParam == nullptr)
        return nBytes;
    for (auto it = m_List.begin(); it != m_List.end();) {
        CVLCallbackInfo* p = *it;
        bool bMatch = (pInstance != nullptr && p->GetInstance() == pInstance) ||
                      (pTarget != nullptr && p->GetTarget() == pTarget) ||
                      (pCallbackParam != nullptr && p->GetCallbackParam() == pCallbackParam);
        if (bMatch) {
            nBytes += p->GetQueuedBytes();
            it = m_List.erase(it);
            DeleteElement(p);
        } else {
            ++it;
        }
    }
    return nBytes;
}

void CVLCallbackInfoList::Push(CVLCallbackInfo* pInfo)
{
    try {
        m_List.push_back(pInfo);
    } catch (...) {
        // The list took the record over, so it does not outlive a failed push.
        delete pInfo;
        throw new EVLMemoryAllocException(VLSTD_MODULE, "TVLObjectList", __LINE__);
    }
}

CVLCallbackInfo* CVLCallbackInfoList::Pop()
{
    if (m_List.empty())
        return nullptr;
    CVLCallbackInfo* p = m_List.front();
    m_List.pop_front();
    return p;
}
