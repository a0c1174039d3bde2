#include "tests/support/ecm/RefusingQueue.h"

#include <string>

#include "cm/VLCMDefs.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLModuleController.h"
#include "ecm/VLECM.h"

namespace {
// Long records fill the queue in few posts.
const size_t kFillerBytes = 64 * 1024;
}  // namespace

CRefusingQueue::CRefusingQueue(CVLECM& ecm) : m_pController(ecm.GetApi()->GetModuleController())
{
    const std::string strLong(kFillerBytes, 'x');
    for (;;) {
        CVLCallbackInfo* pInfo = new CVLCallbackInfo();
        pInfo->SetType(VLCM_CALLBACK_USER);
        pInfo->SetExtraText(strLong.c_str());
        pInfo->SetUserCallback([](long, void*, CVLCallbackInfo*) {}, 0, &m_nFiller);
        if (!m_pController->PostCallbackRecord(pInfo))
            break;
    }
}

CRefusingQueue::~CRefusingQueue()
{
    m_pController->RemoveCallbackInfo(nullptr, nullptr, &m_nFiller);
    m_pController->UnlockCallbackInfo(nullptr, nullptr, &m_nFiller);
}
