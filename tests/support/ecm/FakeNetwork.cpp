#include "tests/support/ecm/FakeNetwork.h"

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "base/core/VLCommunicationException.h"
#include "base/core/VLErrorResultException.h"
#include "base/core/VLOpenException.h"
#include "base/core/VLStopFunctionException.h"
#include "base/core/VLTimeoutException.h"
#include "cm/VLCMApi.h"
#include "cm/VLCMDefs.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProperty.h"
#include "cm/VLRefusedRequestException.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetList.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "tests/support/cm/FakeModule.h"

namespace {
std::mutex g_Mutex;
std::map<std::string, EFakeAnswer> g_Answers;  // "MAC/list"
// The MAC each address answers a blank target's request with.
std::map<std::string, std::string> g_AnswerMACs;
std::map<std::string, int> g_Requests;
std::map<std::string, long> g_LastRetry;
CVLModuleInstance* g_pProbeInstance = nullptr;
CVLModuleParamCollection* g_pProbeParams = nullptr;
int g_nProbeStarts = 0;
// The packet lists of calls that could have sent the factory reset.
std::set<std::string> g_MaySendTheReset;
std::condition_variable g_StopCond;
int g_nStopping = 0;
int g_nPeakStopping = 0;
int g_nStopsTogether = 1;
// Requests of each packet list under way now, and the most at once.
std::map<std::string, int> g_UnderWay;
std::map<std::string, int> g_PeakUnderWay;

// Counts a request under way while it lives.
class CUnderWay
{
public:
    explicit CUnderWay(const std::string& strList) : m_strList(strList)
    {
        std::lock_guard<std::mutex> lock(g_Mutex);
        int& nPeak = g_PeakUnderWay[m_strList];
        nPeak = std::max(nPeak, ++g_UnderWay[m_strList]);
    }
    ~CUnderWay()
    {
        std::lock_guard<std::mutex> lock(g_Mutex);
        --g_UnderWay[m_strList];
    }
    CUnderWay(const CUnderWay&) = delete;
    CUnderWay& operator=(const CUnderWay&) = delete;

private:
    std::string m_strList;
};

std::string Text(const CVLString& str)
{
    const char* sz = str.GetBuffer();
    return sz != nullptr ? sz : "";
}

// Notes a call that could send the factory reset (5A22 "I") though its list
// is not the reset's: every module instance the device manager makes
// carries the requests its purpose may send. Under g_Mutex.
void NoteMaySendTheReset(CVLModuleParamCollection* pParams)
{
    const std::string strList = Text(pParams->GetPacketListName());
    if (strList != "FactReset" && pParams->IsRequestAllowed("I2B5A22"))
        g_MaySendTheReset.insert(strList);
}

std::string Key(const std::string& strMac, const std::string& strList)
{
    return Text(CVLECMNIFInfo::NormalizeMACAddress(CVLString(strMac.c_str(), 72))) + "/" + strList;
}

std::string KeyAt(const std::string& strMac, const std::string& strAddress, const std::string& strList)
{
    return Key(strMac, strList) + "@" + strAddress;
}

// Keeps its running instance so a test can play replies into it.
CFakeModule::SScript FakeProbe()
{
    CFakeModule::SScript script;
    script.OnCall = [](CFakeInstance&, CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) {
        std::lock_guard<std::mutex> lock(g_Mutex);
        g_pProbeInstance = pInstance;
        g_pProbeParams = pParams;
        ++g_nProbeStarts;
        NoteMaySendTheReset(pParams);
    };
    script.OnDestroy = [](CFakeInstance&, CVLModuleInstance* pInstance, CVLModuleParamCollection*) {
        std::lock_guard<std::mutex> lock(g_Mutex);
        if (g_pProbeInstance == pInstance) {
            g_pProbeInstance = nullptr;
            g_pProbeParams = nullptr;
        }
    };
    return script;
}

// A lack of descriptors as the answer names it (EMFILE as the socket
// module stores it, ENFILE); nothing for another answer.
void ThrowLack(EFakeAnswer eAnswer)
{
    if (eAnswer == EFakeAnswer::NoDescriptor)
        throw new EVLOpenException("FakeVLPC", "FakeNetwork", __LINE__, "CVLSock", EMFILE);
    if (eAnswer == EFakeAnswer::NoSystemDescriptor)
        throw new EVLCommunicationException("FakeVLPC", "FakeNetwork", __LINE__, ENFILE, "", false);
}

// Answers each unicast command as the test has set it. A request sent
// apart ("Send", as the check thread does) is counted, and the answer given
// to the receive that follows ("Recv"), where a blocked one is a reply that
// has not come yet.
CFakeModule::SScript FakeVLPC()
{
    CFakeModule::SScript script;
    script.OnCreate = [](CFakeInstance&, CVLModuleInstance*, CVLModuleParamCollection* pParams) {
        CVLTarget* pTarget = pParams->GetTarget();
        CVLProperty* pMac = pTarget != nullptr ? pTarget->GetProperties()->GetProperty("MACAddress", false) : nullptr;
        if (pMac == nullptr)
            return;
        EFakeAnswer eAnswer = EFakeAnswer::Success;
        {
            std::lock_guard<std::mutex> lock(g_Mutex);
            auto it = g_Answers.find(Key(Text(pMac->ToString("")), "Create"));
            if (it != g_Answers.end())
                eAnswer = it->second;
        }
        ThrowLack(eAnswer);
    };
    script.OnCall = [](CFakeInstance& self, CVLModuleInstance*, CVLModuleParamCollection* pParams) {
        std::string strMethod = Text(pParams->GetMethodName());
        CVLTarget* pTarget = pParams->GetTarget();
        std::string strMac, strAddress;
        if (pTarget != nullptr) {
            CVLProperty* pMac = pTarget->GetProperties()->GetProperty("MACAddress", false);
            if (pMac != nullptr)
                strMac = Text(pMac->ToString(""));
            CVLProperty* pAddress = pTarget->GetProperties()->GetProperty("IPAddress", false);
            if (pAddress != nullptr)
                strAddress = Text(pAddress->ToString(""));
        }
        std::string strList = Text(pParams->GetPacketListName());
        std::string strKey = Key(strMac, strList);
        std::string strKeyAt = KeyAt(strMac, strAddress, strList);
        EFakeAnswer eAnswer = EFakeAnswer::Success;
        {
            std::lock_guard<std::mutex> lock(g_Mutex);
            if (strMethod != "Recv") {
                NoteMaySendTheReset(pParams);
                ++g_Requests[strKey];
                ++g_Requests[strKeyAt];
                // As the VLPC module counts a request that left.
                CVLModuleParam* pSent = pParams->GetParam(VLCM_PARAM_SENT_REQUESTS, true);
                pSent->SetLong(pSent->ToLong(0) + 1);
                CVLModuleParam* pRetry = pParams->GetParam("retry", false);
                g_LastRetry[strList] = pRetry != nullptr ? pRetry->ToString("").ToLong(-1) : -1;
            }
            auto it = g_Answers.find(strKeyAt);
            if (it == g_Answers.end())
                it = g_Answers.find(strKey);
            if (it != g_Answers.end())
                eAnswer = it->second;
        }
        // A socket the check's request could not open: it never leaves.
        if (strMethod == "Send")
            ThrowLack(eAnswer);
        if (strMethod != "Recv" && eAnswer == EFakeAnswer::Refused)
            throw new EVLRefusedRequestException("FakeVLPC", "FakeNetwork", __LINE__,
                                                 ("the packet list \"" + strList +
                                                  "\" sends the request 2B 5A22 \"I\", "
                                                  "which this call may not send: refused before it was sent")
                                                     .c_str());
        // Any other request leaves, as the VLPC module tells its target.
        if (strMethod != "Recv" && eAnswer != EFakeAnswer::NoDescriptor &&
            eAnswer != EFakeAnswer::NoSystemDescriptor && pTarget != nullptr)
            pTarget->NoteRequestSent();
        if (strMethod == "Send")
            return;
        CUnderWay underWay(strList);
        while (eAnswer == EFakeAnswer::Hold && strMethod != "Recv") {
            if (self.IsStopped())
                throw new EVLStopFunctionException("FakeVLPC", "FakeNetwork", __LINE__);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            std::lock_guard<std::mutex> lock(g_Mutex);
            auto it = g_Answers.find(strKeyAt);
            if (it == g_Answers.end())
                it = g_Answers.find(strKey);
            eAnswer = it != g_Answers.end() ? it->second : EFakeAnswer::Success;
        }
        if (strMethod == "Recv" &&
            (eAnswer == EFakeAnswer::Block || eAnswer == EFakeAnswer::SlowStop || eAnswer == EFakeAnswer::Hold))
            eAnswer = EFakeAnswer::Timeout;
        switch (eAnswer) {
        case EFakeAnswer::Success:
            if (strMac.empty() && pTarget != nullptr) {
                std::string strAnswer;
                {
                    std::lock_guard<std::mutex> lock(g_Mutex);
                    auto it = g_AnswerMACs.find(strAddress);
                    if (it != g_AnswerMACs.end()) {
                        // "A,B": A answers, then B, which answers from then on.
                        const size_t nComma = it->second.find(',');
                        strAnswer = it->second.substr(0, nComma);
                        if (nComma != std::string::npos)
                            it->second.erase(0, nComma + 1);
                    }
                }
                if (!strAnswer.empty())
                    pTarget->GetProperties()->GetProperty("MACAddress", true)->SetString(strAnswer.c_str(), 72);
            }
            return;
        case EFakeAnswer::Refused:  // nothing was sent: no reply comes
        case EFakeAnswer::Timeout:
            throw new EVLTimeoutException("FakeVLPC", "FakeNetwork", __LINE__, false);
        case EFakeAnswer::DeviceError:
            throw new EVLErrorResultException("FakeVLPC", "FakeNetwork", __LINE__, "VLPC", 0xF003);
        case EFakeAnswer::Unreachable:
            throw new EVLCommunicationException("FakeVLPC", "FakeNetwork", __LINE__, 0, "", false);
        case EFakeAnswer::NoDescriptor:
        case EFakeAnswer::NoSystemDescriptor:
            ThrowLack(eAnswer);
            return;
        case EFakeAnswer::Block:
        case EFakeAnswer::SlowStop:
        case EFakeAnswer::Hold:
            while (!self.IsStopped())
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (eAnswer == EFakeAnswer::SlowStop) {
                std::unique_lock<std::mutex> lock(g_Mutex);
                g_nPeakStopping = std::max(g_nPeakStopping, ++g_nStopping);
                g_StopCond.notify_all();
                g_StopCond.wait_for(lock, std::chrono::seconds(2), [] { return g_nPeakStopping >= g_nStopsTogether; });
                --g_nStopping;
            }
            throw new EVLStopFunctionException("FakeVLPC", "FakeNetwork", __LINE__);
        }
    };
    return script;
}

void RegisterFakes(CVLCMApi& api)
{
    api.AddModuleStaticLibrary("VLMDProbe", new CFakeModule(FakeProbe()));
    api.AddModuleStaticLibrary("VLMDVLPC", new CFakeModule(FakeVLPC()));
    api.AddModuleStaticLibrary("VLMDSock", new CFakeModule());
}
}  // namespace

CFakeNetwork::CFakeNetwork() : m_Registration(RegisterFakes)
{
    std::lock_guard<std::mutex> lock(g_Mutex);
    g_Answers.clear();
    g_AnswerMACs.clear();
    g_Requests.clear();
    g_LastRetry.clear();
    g_nProbeStarts = 0;
    g_MaySendTheReset.clear();
    g_nStopping = 0;
    g_nPeakStopping = 0;
    g_nStopsTogether = 1;
    g_UnderWay.clear();
    g_PeakUnderWay.clear();
}

void CFakeNetwork::SetStopsTogether(int nStops)
{
    std::lock_guard<std::mutex> lock(g_Mutex);
    g_nStopsTogether = nStops;
}

int CFakeNetwork::PeakUnderWay(const std::string& strPacketList)
{
    std::lock_guard<std::mutex> lock(g_Mutex);
    auto it = g_PeakUnderWay.find(strPacketList);
    return it == g_PeakUnderWay.end() ? 0 : it->second;
}

int CFakeNetwork::PeakStopsTogether()
{
    std::lock_guard<std::mutex> lock(g_Mutex);
    return g_nPeakStopping;
}

void CFakeNetwork::SetAnswer(const std::string& strMac, const std::string& strPacketList, EFakeAnswer eAnswer)
{
    std::lock_guard<std::mutex> lock(g_Mutex);
    g_Answers[Key(strMac, strPacketList)] = eAnswer;
}

void CFakeNetwork::SetAnswerMAC(const std::string& strAddress, const std::string& strMac)
{
    std::lock_guard<std::mutex> lock(g_Mutex);
    g_AnswerMACs[strAddress] = strMac;
}

void CFakeNetwork::SetAnswerAt(const std::string& strMac, const std::string& strAddress,
                               const std::string& strPacketList, EFakeAnswer eAnswer)
{
    std::lock_guard<std::mutex> lock(g_Mutex);
    g_Answers[KeyAt(strMac, strAddress, strPacketList)] = eAnswer;
}

int CFakeNetwork::RequestCountAt(const std::string& strMac, const std::string& strAddress,
                                 const std::string& strPacketList)
{
    std::lock_guard<std::mutex> lock(g_Mutex);
    auto it = g_Requests.find(KeyAt(strMac, strAddress, strPacketList));
    return it == g_Requests.end() ? 0 : it->second;
}

int CFakeNetwork::RequestCount(const std::string& strMac, const std::string& strPacketList)
{
    std::lock_guard<std::mutex> lock(g_Mutex);
    auto it = g_Requests.find(Key(strMac, strPacketList));
    return it == g_Requests.end() ? 0 : it->second;
}

long CFakeNetwork::LastRetry(const std::string& strPacketList)
{
    std::lock_guard<std::mutex> lock(g_Mutex);
    auto it = g_LastRetry.find(strPacketList);
    return it == g_LastRetry.end() ? -1 : it->second;
}

bool CFakeNetwork::Reply(const std::string& strMacText, const std::string& strData, const std::string& strFrom)
{
    std::lock_guard<std::mutex> lock(g_Mutex);
    if (g_pProbeInstance == nullptr || g_pProbeParams == nullptr)
        return false;
    CVLModuleController* pController = g_pProbeParams->GetController();
    CVLTargetList* pList = g_pProbeParams->GetTargetList();
    CVLTarget* pSource = pController->CreateTarget();
    if (!strMacText.empty())
        pSource->GetProperties()->GetProperty("MACAddress", true)->SetString(strMacText.c_str(), 72);
    if (!strData.empty())
        pSource->GetProperties()->GetProperty("ModelName", true)->SetString(strData.c_str(), 72);
    if (!strFrom.empty())
        pSource->GetProperties()->GetProperty("IPAddress", true)->SetString(strFrom.c_str(), 72);
    bool bMarge = false;
    CVLTarget* pTarget = pList != nullptr ? pList->MargeOrAddTarget(pSource, bMarge) : pSource;
    if (pTarget != nullptr)
        pController->PostCallbackProbe(g_pProbeInstance, g_pProbeParams, pTarget, bMarge);
    if (pTarget != pSource)
        pSource->Destroy(false);
    return true;
}

std::string CFakeNetwork::Mac(const char* szMaker, int n)
{
    char sz[16];
    snprintf(sz, sizeof(sz), "%.6s%06X", szMaker, n);
    return sz;
}

bool CFakeNetwork::IsProbeRunning()
{
    std::lock_guard<std::mutex> lock(g_Mutex);
    return g_pProbeInstance != nullptr;
}

std::string CFakeNetwork::ListsThatMaySendTheReset()
{
    std::lock_guard<std::mutex> lock(g_Mutex);
    std::string strLists;
    for (const std::string& strList : g_MaySendTheReset)
        strLists += (strLists.empty() ? "" : " ") + strList;
    return strLists;
}

int CFakeNetwork::ProbeStarts()
{
    std::lock_guard<std::mutex> lock(g_Mutex);
    return g_nProbeStarts;
}
