#include "ecm/simulated/VLECMDummyCommands.h"

#include <vector>

#include "base/core/VLException.h"
#include "base/core/VLThreadLock.h"
#include "cm/VLProperty.h"
#include "cm/VLPropertyIterator.h"
#include "cm/VLTargetLock.h"
#include "ecm/core/VLECMPrivate.h"
#include "ecm/record/VLECMNIFInfo.h"

namespace {
// A command waits this long unless its device says otherwise.
const long kDefaultDummyCommandSleep = 3000;

// A simulated set detail that succeeds changes the device as its own
// properties say: the values below "DebugMode.Dummy.SetDetail", and below the
// path that "DebugMode.Dummy.SetDetailPrefix" names, are merged into its
// tree from the root (the values a real device would now report), and
// "DebugMode.Dummy.LAN.ConnectAfterSetDetail" and
// "DebugMode.Dummy.LAN.UnicastAfterSetDetail", when given, become its
// network connection and unicast flags.
void ApplyDummySetDetail(CVLECMNIFInfo* pNIFInfo)
{
    CVLTargetLock lock(pNIFInfo);
    lock.Lock();
    CVLProperty* pRoot = pNIFInfo->GetProperties();
    std::vector<CVLProperty*> sources;
    if (CVLProperty* p = pRoot->GetProperty("DebugMode.Dummy.SetDetail", false))
        sources.push_back(p);
    if (CVLProperty* pPrefix = pRoot->GetProperty("DebugMode.Dummy.SetDetailPrefix", false)) {
        CVLString strPrefix = pPrefix->ToString("");
        if (strPrefix.GetLength() > 0) {
            try {
                if (CVLProperty* p = pRoot->GetProperty(strPrefix.GetBuffer(), false))
                    sources.push_back(p);
            } catch (EVLException* pException) {
                pException->Delete();  // not a path: nothing to take
            }
        }
    }
    for (CVLProperty* pSource : sources) {
        for (CVLPropertyIterator it = pSource->Begin(); !it.IsEnd(); it.Next()) {
            CVLProperty* pChild = it.Get();
            try {
                pRoot->GetProperty(pChild->GetName().GetBuffer(), true)->Merge(pChild);
            } catch (EVLException* pException) {
                // A value that would land on its own source is left out.
                pException->Delete();
            }
        }
    }
    if (CVLProperty* p = pRoot->GetProperty("DebugMode.Dummy.LAN.ConnectAfterSetDetail", false))
        pNIFInfo->SetConnect(VLECM_CONNECT_TYPE_NETWORK, p->ToString("").ToBool(false));
    if (CVLProperty* p = pRoot->GetProperty("DebugMode.Dummy.LAN.UnicastAfterSetDetail", false))
        pNIFInfo->SetUnicast(VLECM_CONNECT_TYPE_NETWORK, p->ToString("").ToBool(false));
}
}  // namespace

CVLECMDummyCommands::CVLECMDummyCommands() : m_nCommandCount{}
{
}

VLECM_RESULT CVLECMDummyCommands::Execute(CVLECMNIFInfo& info, VLECM_COMMAND eCommand)
{
    long nCount;
    CVLString strSleepPath("DebugMode.Dummy.CommandSleep.", VL_CHARSET_UTF8);
    CVLString strNumber(VL_CHARSET_UTF8);
    strNumber.SetLong(eCommand);
    strSleepPath += strNumber;
    {
        CVLThreadLock lock(&m_Sync);
        lock.Lock();
        nCount = ++m_nCommandCount[eCommand];
    }
    CVLString strResultPath("DebugMode.Dummy.CommandResult.", VL_CHARSET_UTF8);
    strResultPath += CVLECMNIFInfo::GetCommandName(eCommand);
    strResultPath += ".";
    CVLString strCount(VL_CHARSET_UTF8);
    strCount.SetLong(nCount);
    strResultPath += strCount;
    long nSleep = kDefaultDummyCommandSleep;
    long nResult = VLECM_RESULT_SUCCESS;
    {
        CVLTargetLock lock(&info);
        lock.Lock();
        CVLProperty* pSleep = info.GetProperties()->GetProperty(TextOf(strSleepPath), false);
        if (pSleep != nullptr) {
            CVLString strSleep = pSleep->ToString("");
            nSleep = strSleep.ToLong(kDefaultDummyCommandSleep);
        }
        CVLProperty* pResult = info.GetProperties()->GetProperty(TextOf(strResultPath), false);
        if (pResult != nullptr)
            nResult = pResult->ToString("").ToLong(0);
    }
    if (!info.waitCommand(nSleep))
        return VLECM_RESULT_STOPPED;
    if (eCommand == VLECM_COMMAND_SET_DETAIL && nResult == VLECM_RESULT_SUCCESS)
        ApplyDummySetDetail(&info);
    if (eCommand == VLECM_COMMAND_SET_DETAIL)
        info.DebugHookProperties();
    return static_cast<VLECM_RESULT>(nResult);
}

std::unique_ptr<IVLECMCommandKind> IVLECMCommandKind::NewSimulated()
{
    return std::unique_ptr<IVLECMCommandKind>(new CVLECMDummyCommands());
}
