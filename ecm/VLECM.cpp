// The device manager object: construction, Initialize and Terminate, the
// factory hooks through which the module framework makes device records,
// device lists and property nodes, and what the client reads of a probe.
#include "ecm/VLECM.h"

#include "cm/VLModuleController.h"

#include <new>

#include "base/core/VLCharset.h"
#include "base/core/VLCommunicationException.h"
#include "base/core/VLException.h"
#include "base/core/VLFileSystem.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "base/system/VLLocalizeUtility.h"
#include "base/xml/VLXmlException.h"
#include "cm/VLCMApiConfig.h"
#include "cm/VLDefineFormatException.h"
#include "cm/VLModuleController.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "ecm/probe/VLECMNIFInfoList.h"
#include "ecm/probe/VLECMProbeInstance.h"
#include "ecm/core/VLECMPrivate.h"
#include "ecm/core/VLECMProperty.h"

const char* const s_szFile = "VLECM";

static_assert(static_cast<int>(CVLECM::MAX_CHAIN_SOCKETS) == static_cast<int>(CVLECMProbeInstance::MAX_CHAIN_SOCKETS),
              "the manager's count of chain sockets is the probe instance's");

CVLECM::CVLECM()
    : m_pCallbackIF(nullptr), m_pNIFInfoFactoryIF(nullptr), m_pNIFInfoListFactoryIF(nullptr),
      m_pProbeInstance(new CVLECMProbeInstance()), m_bInitializeFlag(false), m_bStopCallbackLoop(false),
      m_bCallbackNotification(false), m_bProbing(false), m_strRootDirectoryPath(VL_CHARSET_UTF8),
      m_bDispatchThreadRunning(false), m_DispatchThreadId(pthread_t())
{
    m_Api.SetOwnerVLECMInstance(this);
}

CVLECM::~CVLECM()
{
    try {
        CVLECM::Terminate();
    } catch (...) {
        ReleaseCurrentException();
    }
}

VLECM_RESULT CVLECM::resultFromCurrentException()
{
    try {
        throw;
    } catch (VLECM_RESULT eResult) {
        return eResult;
    } catch (EVLXmlException* pException) {
        pException->Delete();
        return VLECM_RESULT_XML_ERROR;
    } catch (EVLDefineFormatException* pException) {
        pException->Delete();
        return VLECM_RESULT_XML_ERROR;
    } catch (EVLMemoryAllocException* pException) {
        pException->Delete();
        return VLECM_RESULT_OUT_OF_MEMORY;
    } catch (EVLCommunicationException* pException) {
        pException->Delete();
        return VLECM_RESULT_COMMUNICATION_ERROR;
    } catch (EVLException* pException) {
        pException->Delete();
        return VLECM_RESULT_INTERNAL_ERROR;
    } catch (...) {
        return VLECM_RESULT_UNEXPECTED;
    }
}

bool CVLECM::IsDispatchThread()
{
    return m_bDispatchThreadRunning.load() && pthread_equal(m_DispatchThreadId.load(), pthread_self());
}

std::string CVLECM::GetInitializeErrorText()
{
    CVLModuleController* pController = m_Api.GetModuleController();
    return pController != nullptr ? pController->GetInitializeErrorText() : std::string();
}

VLECM_RESULT CVLECM::Initialize(IVLECMCallbackIF* pCallbackIF, IVLECMNIFInfoFactoryIF* pNIFInfoFactoryIF,
                                IVLECMNIFInfoListFactoryIF* pNIFInfoListFactoryIF,
                                const CVLECMPropertyMap* pPropertyMap)
{
    static const char* const kSignature =
        "VLECM_RESULT CVLECM::Initialize(IVLECMCallbackIF* pCallbackIF, IVLECMNIFInfoFactoryIF* pNIFInfoFactoryIF, "
        "IVLECMNIFInfoListFactoryIF* pNIFInfoListFactoryIF, const CVLECMPropertyMap* pPropertyMap)";
    CVLTrace::OutputFunction(VLECM_MODULE, s_szFile, __LINE__, kSignature,
                             "pCallbackIF=%08X, pNIFInfoFactoryIF=%08X, pNIFInfoListFactoryIF=%08X, pPropertyMap=%08X",
                             PointerText(pCallbackIF), PointerText(pNIFInfoFactoryIF),
                             PointerText(pNIFInfoListFactoryIF), PointerText(pPropertyMap));
    // On the dispatch thread the tear-down would wait for its own thread.
    if (IsDispatchThread()) {
        CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                         "CVLECM::Initialize(): called on the dispatch thread, refused");
        CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 1, "%s : Return Value = [%d]", kSignature,
                         VLECM_RESULT_FAILED);
        return VLECM_RESULT_FAILED;
    }
    VLECM_RESULT eResult = VLECM_RESULT_SUCCESS;
    try {
        Terminate();
        CVLThreadLock lock(&m_AccessSync);
        if (!lock.Lock())
            throw VLECM_RESULT_UNEXPECTED;
        if (pCallbackIF == nullptr) {
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECM::Initialize(): parameter error!, pCallbackIF=%08X", 0u);
            throw VLECM_RESULT_PARAMETER_ERROR;
        }
        initDefaultOptionTable();
        {
            CVLThreadLock mapLock(&m_PropertyMapSync);
            if (!mapLock.Lock())
                throw VLECM_RESULT_UNEXPECTED;
            m_CurrentPropertyMap = getDefaultOptionTable();
            if (pPropertyMap != nullptr) {
                for (const auto& entry : *pPropertyMap)
                    m_CurrentPropertyMap[entry.first] = entry.second;
            }
        }
        {
            CVLThreadLock notifyLock(&m_CallbackNotificationSync);
            if (notifyLock.Lock())
                m_pCallbackIF = pCallbackIF;
        }
        m_pNIFInfoFactoryIF = pNIFInfoFactoryIF;
        m_pNIFInfoListFactoryIF = pNIFInfoListFactoryIF;

        m_strRootDirectoryPath = expandPathMacro(TextOf(GetProperty("Initialize.RootDir")));
        if (!VLFileExists(TextOf(m_strRootDirectoryPath), 1)) {
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECM::Initialize(): path error!, m_strRootDirectoryPath=%s",
                             TextOf(m_strRootDirectoryPath));
            throw VLECM_RESULT_PATH_ERROR;
        }
        CVLString strDefaultLangDir = GetProperty("Initialize.DefaultLangDir");
        CVLString strBinaryFile = GetProperty("Initialize.BinDefineFile");
        CVLString strConfigXMLFile = GetProperty("Initialize.XMLDefineFileConfFile");

        CVLLocalizeUtility localize;
        localize.SetRootPath(TextOf(m_strRootDirectoryPath));
        localize.SetDefaultFolder(TextOf(strDefaultLangDir));
        CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 3,
                         "CVLECM::Initialize(): @Info, m_strRootDirectoryPath=%s, strDefaultLangDir=%s, "
                         "strBinaryFile=%s, strConfigXMLFile=%s",
                         TextOf(m_strRootDirectoryPath), TextOf(strDefaultLangDir), TextOf(strBinaryFile),
                         TextOf(strConfigXMLFile));

        CVLCMApiConfig config;
        config.SetDefineFilePath(TextOf(localize.GetLocalizedPath(TextOf(strBinaryFile))));
        config.SetPathInfo(localize);
        config.SetFileListName(TextOf(strConfigXMLFile));
        config.SetTargetFunc(createNIFInfo, deleteNIFInfo);
        config.SetTargetListFunc(createNIFInfoList, deleteNIFInfoList);
        config.SetPropertyFunc(createProperty, deleteProperty);
        m_Api.Initialize(&config, nullptr);

        m_pProbeInstance->Initialize(this, static_cast<IVLECMCallbackIF*>(this));

        m_bStopCallbackLoop = false;
        Start(static_cast<void*>(this));
        {
            CVLThreadLock notifyLock(&m_CallbackNotificationSync);
            if (notifyLock.Lock())
                m_bCallbackNotification = true;
        }
        m_bInitializeFlag = true;
    } catch (...) {
        eResult = resultFromCurrentException();
    }
    if (eResult != VLECM_RESULT_SUCCESS) {
        m_bInitializeFlag = true;
        Terminate();
    }
    CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 1, "%s : Return Value = [%d]", kSignature, eResult);
    CVLTrace::FunctionOut(VLECM_MODULE, s_szFile, __LINE__, kSignature);
    return eResult;
}

void CVLECM::Terminate()
{
    static const char* const kSignature = "void CVLECM::Terminate()";
    CVLTrace::FunctionIn(VLECM_MODULE, s_szFile, __LINE__, kSignature);
    if (IsDispatchThread()) {
        CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                         "CVLECM::Terminate(): called on the dispatch thread, refused");
        CVLTrace::FunctionOut(VLECM_MODULE, s_szFile, __LINE__, kSignature);
        return;
    }
    try {
        CVLThreadLock lock(&m_AccessSync);
        if (lock.Lock() && m_bInitializeFlag) {
            {
                CVLThreadLock notifyLock(&m_CallbackNotificationSync);
                if (notifyLock.Lock())
                    m_bCallbackNotification = false;
            }
            m_bStopCallbackLoop = true;
            End();
            m_pProbeInstance->Terminate();
            {
                CVLThreadLock notifyLock(&m_CallbackNotificationSync);
                if (notifyLock.Lock())
                    m_bProbing = false;
            }
            m_Api.Terminate();
            {
                CVLThreadLock postLock(&m_PostCallbackTargetMapSync);
                // The records are gone with the framework; keys would only dangle.
                if (postLock.Lock())
                    m_PostCallbackTargetMap.clear();
            }
            m_strRootDirectoryPath.Empty();
            m_bInitializeFlag = false;
        }
    }
    VL_CATCH_LADDER(VLECM_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLECM_MODULE, s_szFile, __LINE__, kSignature);
}

CVLCMApi* CVLECM::GetApi()
{
    return &m_Api;
}

namespace {
CVLECM* OwnerOf(CVLCMApi* pApi)
{
    CVLECMApi* pECMApi = dynamic_cast<CVLECMApi*>(pApi);
    return pECMApi != nullptr ? pECMApi->GetOwnerVLECMInstance() : nullptr;
}
}  // namespace

CVLTarget* CVLECM::createNIFInfo(CVLCMApi* pApi)
{
    CVLECM* pOwner = OwnerOf(pApi);
    CVLTarget* pTarget = nullptr;
    if (pOwner != nullptr && pOwner->m_pNIFInfoFactoryIF != nullptr)
        pTarget = pOwner->m_pNIFInfoFactoryIF->CreateNIFInfo(pOwner, pApi);
    else
        pTarget = new CVLECMNIFInfo();
    if (pTarget == nullptr)
        throw std::bad_alloc();
    return pTarget;
}

void CVLECM::deleteNIFInfo(CVLCMApi* pApi, CVLTarget* pTarget)
{
    CVLECM* pOwner = OwnerOf(pApi);
    if (pOwner != nullptr && pOwner->m_pNIFInfoFactoryIF != nullptr)
        pOwner->m_pNIFInfoFactoryIF->DestroyNIFInfo(pOwner, pApi, pTarget);
    else
        delete pTarget;
}

CVLTarget* CVLECM::MakeNIFInfo()
{
    return createNIFInfo(GetApi());
}

void CVLECM::DestroyNIFInfo(CVLTarget* pTarget)
{
    deleteNIFInfo(GetApi(), pTarget);
}

CVLTargetList* CVLECM::createNIFInfoList(CVLCMApi* pApi)
{
    CVLECM* pOwner = OwnerOf(pApi);
    CVLTargetList* pList = nullptr;
    if (pOwner != nullptr && pOwner->m_pNIFInfoListFactoryIF != nullptr)
        pList = pOwner->m_pNIFInfoListFactoryIF->CreateNIFInfoList(pOwner, pApi);
    else
        pList = new CVLECMNIFInfoList();
    if (pList == nullptr)
        throw std::bad_alloc();
    pList->SetApi(pApi);
    return pList;
}

void CVLECM::deleteNIFInfoList(CVLCMApi* pApi, CVLTargetList* pTargetList)
{
    CVLECM* pOwner = OwnerOf(pApi);
    if (pOwner != nullptr && pOwner->m_pNIFInfoListFactoryIF != nullptr)
        pOwner->m_pNIFInfoListFactoryIF->DestroyNIFInfoList(pOwner, pApi, pTargetList);
    else
        delete pTargetList;
}

CVLProperty* CVLECM::createProperty(CVLCMApi* pApi, CVLProperty* pParent)
{
    return new CVLECMProperty(pApi, pParent);
}

void CVLECM::deleteProperty(CVLCMApi* pApi, CVLProperty* pProperty)
{
    (void)pApi;
    delete pProperty;
}

VLPROBE_SEND_STATUS CVLECM::GetProbeSendStatus()
{
    return m_pProbeInstance->GetProbeSendStatus();
}

std::vector<SVLECMBoundReport> CVLECM::GetBoundReports(size_t nNamed)
{
    return m_pProbeInstance->GetReplyFilter().GetBoundReports(nNamed);
}

bool CVLECM::FindRefusedDevice(const CVLString& strMAC, const CVLString& strAddress, SVLECMBoundReport& report)
{
    return m_pProbeInstance->GetReplyFilter().FindRefused(strMAC, strAddress, report);
}

SVLECMNamedAsk CVLECM::GetNamedAddressAnswers()
{
    return m_pProbeInstance->GetReplyFilter().GetNamedAnswers();
}

unsigned long CVLECM::GetUnicastCheckLostCount()
{
    return m_pProbeInstance->GetUnicastChecks().GetLostCount();
}

int CVLECM::GetWaitingReplyCount()
{
    return m_pProbeInstance->GetHandOnQueue().GetUnlistedWaitingCount();
}

int CVLECM::GetUnfinishedChainCount(int& nChecking)
{
    return m_pProbeInstance->GetUnfinishedChainCount(nChecking);
}

int CVLECM::GetRecordCount()
{
    return m_pProbeInstance->GetRecordCount();
}

int CVLECM::GetAnsweredMACCount()
{
    return m_pProbeInstance->GetMACTable().GetAdmittedCount();
}

int CVLECM::GetDeviceCount()
{
    return m_pProbeInstance->GetDeviceCount();
}

bool CVLECM::GetMACState(VL_CONST_STR szMACAddress, SVLECMMACState& state)
{
    return m_pProbeInstance->GetMACTable().GetState(
        CVLECMNIFInfo::NormalizeMACAddress(CVLString(szMACAddress, VL_CHARSET_UTF8)), state);
}

std::vector<SVLECMHeardAddress> CVLECM::FindAddress(VL_CONST_STR szAddress)
{
    // The table keeps what the bounds refused, of MACs admitted or not.
    return m_pProbeInstance->GetMACTable().FindAddress(CVLString(szAddress, VL_CHARSET_UTF8));
}

CVLECMProbeInstance& CVLECM::GetProbeInstance()
{
    return *m_pProbeInstance;
}

bool CVLECM::GetMACSummary(VL_CONST_STR szMACAddress, SVLECMMACSummary& summary)
{
    return m_pProbeInstance->GetMACTable().GetSummary(
        CVLECMNIFInfo::NormalizeMACAddress(CVLString(szMACAddress, VL_CHARSET_UTF8)), summary);
}

unsigned long CVLECM::GetCountedRefusalCount()
{
    return m_pProbeInstance->GetMACTable().GetCountedRefusalCount();
}

void CVLECM::SetNamedAddress(VL_CONST_STR szAddress)
{
    CVLString strAddress(szAddress != nullptr ? szAddress : "", VL_CHARSET_UTF8);
    m_pProbeInstance->GetMACTable().SetNamedAddress(strAddress);
    m_pProbeInstance->GetUnicastChecks().SetNamedAddress(strAddress);
}

void CVLECM::SetNamedMAC(VL_CONST_STR szMAC)
{
    CVLString strMAC(VL_CHARSET_UTF8);
    if (szMAC != nullptr && szMAC[0] != '\0')
        strMAC = CVLECMNIFInfo::NormalizeMACAddress(CVLString(szMAC, VL_CHARSET_UTF8));
    m_pProbeInstance->GetMACTable().SetNamedMAC(strMAC);
    m_pProbeInstance->GetUnicastChecks().SetNamedMAC(strMAC);
}

std::vector<SVLECMHeardAddress> CVLECM::GetAllHeardAddresses(bool& bMore)
{
    return m_pProbeInstance->GetMACTable().GetAll(bMore);
}

std::vector<SVLECMConflictReport> CVLECM::GetConflictReports(size_t nReports, bool& bMore)
{
    return m_pProbeInstance->GetMACTable().GetConflicts(nReports, bMore);
}

int CVLECM::GetPendingMACCount()
{
    return m_pProbeInstance->GetMACTable().GetPendingCount();
}

unsigned long CVLECM::GetMACChangeCount()
{
    return m_pProbeInstance->GetMACTable().GetChangeCount();
}

unsigned long CVLECM::WaitForMACChange(unsigned long nSeen, int nMilliseconds)
{
    return m_pProbeInstance->GetMACTable().WaitForChange(nSeen, nMilliseconds);
}

std::vector<CVLString> CVLECM::GetMACsChangedSince(unsigned long nSeen)
{
    return m_pProbeInstance->GetMACTable().GetChangedSince(nSeen);
}

bool CVLECM::WithRecord(VL_CONST_STR szMACAddress, VL_CONST_STR szAddress,
                        const std::function<void(CVLECMNIFInfo*)>& fn)
{
    // RemoveNIFInfo and a new probe take this lock before they destroy a
    // record: the one found stays while fn runs.
    CVLThreadLock lock(&m_DispatchCallbackSync);
    if (!lock.Lock())
        return false;
    CVLECMMACTable& table = m_pProbeInstance->GetMACTable();
    CVLString strMAC = CVLECMNIFInfo::NormalizeMACAddress(CVLString(szMACAddress, VL_CHARSET_UTF8));
    CVLECMNIFInfo* pNIFInfo = szAddress != nullptr && szAddress[0] != '\0'
                                  ? table.FindRecord(strMAC, CVLString(szAddress, VL_CHARSET_UTF8))
                                  : table.FindReported(strMAC);
    if (pNIFInfo == nullptr)
        return false;
    fn(pNIFInfo);
    return true;
}
