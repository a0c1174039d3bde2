// The application's configuration.
#include "pfw/PFWConfiguration.h"

#include <algorithm>
#include <iterator>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/core/VLCharset.h"
#include "base/core/VLCommandLine.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLFileSystem.h"
#include "base/core/VLTrace.h"
#include "base/stream/VLEasyEncryptionFileStream.h"
#include "base/stream/VLFileStream.h"
#include "base/xml/VLXmlDocument.h"
#include "base/xml/VLXmlElement.h"
#include "base/xml/VLXmlException.h"
#include "base/xml/VLXmlNode.h"
#include "base/xml/VLXmlNodeList.h"
#include "ecm/VLECM.h"
#include "ecm/core/VLXMLUtility.h"

const char* const s_szFile = "PFWConfiguration";

namespace {
const char kNamespaceURI[] = "http://vlnet.invalid/orvek-net/2009/05/configurations";
const char kRootName[] = "Configurations";
const char kCommunicationManagerName[] = "CommunicationManager";
const char kPropertyName[] = "Property";
const char kAcceptLanguageName[] = "AcceptLanguage";
const char kDummyWebConfigURLName[] = "DummyWebConfigURL";
// Read by the other front ends, not by this one: known, so not named.
const char kStringManagerName[] = "StringManager";
// The children of the root that a configuration may have, in the order of
// ERootChild.
const char* const kRootChildNames[] = {kStringManagerName, kCommunicationManagerName, kAcceptLanguageName,
                                       kDummyWebConfigURLName};
enum ERootChild
{
    CHILD_STRING_MANAGER,
    CHILD_COMMUNICATION_MANAGER,
    CHILD_ACCEPT_LANGUAGE,
    CHILD_DUMMY_WEB_CONFIG_URL,
};
const char* const kCommunicationManagerChildNames[] = {kPropertyName};
// The most edits from an element name written to a known one that is still
// taken for a slip of the keyboard.
const size_t kMaxSlipDistance = 3;
// The most bytes of a name or value that a message repeats.
const size_t kMaxShownBytes = 80;
// The most warnings said one by one: a file of thousands of unknown
// elements is counted, not listed.
const size_t kMaxWarnings = 20;
const char kKeyAttribute[] = "key";
const char kValueAttribute[] = "value";
// A scrambled file starts with this magic; any other file is read plainly.
const char kScrambledMagic[] = "VLEE";
const size_t kScrambledMagicLength = 4;
// A configuration is a few lines; a larger file is refused before parsing.
const long kMaxConfigurationBytes = 1024 * 1024;
// So no element of it lies past the last line an element keeps, and the
// lines the messages name are exact.
static_assert(kMaxConfigurationBytes < CVLXmlElement::kMaxLoadLine, "configuration lines are shown exactly");

// A bad configuration: the reason goes to the caller, the load fails with 13.
struct ConfigurationError
{
    CVLString strText;
};

[[noreturn]] void Fail(const CVLString& strText)
{
    throw ConfigurationError{strText};
}

CVLString Text(const char* sz)
{
    return CVLString(sz, VL_CHARSET_UTF8);
}

// The size and the first bytes of the file, read from one descriptor opened
// without blocking: a FIFO or a device is no configuration and would block.
// -1 when it cannot be read (nError says why), -2 when it is not a regular file.
long Probe(const char* szPath, bool& bScrambled, int& nError)
{
    bScrambled = false;
    int fd = open(szPath, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    nError = errno;
    if (fd < 0)
        return -1;
    struct stat info;
    long nSize = -1;
    if (fstat(fd, &info) == 0) {
        nSize = S_ISREG(info.st_mode) ? static_cast<long>(info.st_size) : -2;
        char magic[kScrambledMagicLength] = {};
        if (nSize >= static_cast<long>(kScrambledMagicLength) &&
            read(fd, magic, sizeof(magic)) == static_cast<ssize_t>(sizeof(magic)))
            bScrambled = memcmp(magic, kScrambledMagic, kScrambledMagicLength) == 0;
    }
    close(fd);
    return nSize;
}

// strerror's text, starting in lower case as the other reasons do.
std::string ErrorText(int nError)
{
    std::string str = strerror(nError);
    if (!str.empty())
        str[0] = static_cast<char>(tolower(static_cast<unsigned char>(str[0])));
    return str;
}

// A name or value as a message shows it: a long one cut (at a character's
// start) so that the message stays a line.
std::string Shown(const std::string& strText)
{
    if (strText.size() <= kMaxShownBytes)
        return strText;
    size_t nCut = kMaxShownBytes;
    while (nCut > 0 && (static_cast<unsigned char>(strText[nCut]) & 0xC0) == 0x80)
        --nCut;
    return strText.substr(0, nCut) + "...";
}

// "line 6: " for an element whose line is known, else nothing.
std::string LineText(VL_ULONG nLine)
{
    return nLine != 0 ? "line " + std::to_string(nLine) + ": " : std::string();
}

// What is wrong with the "Property" of a key, on its line:
// "line 6: the "Property" "KEY" WHAT".
CVLString PropertyText(VL_ULONG nLine, const CVLString& strKey, const std::string& strWhat)
{
    const std::string strText = LineText(nLine) + "the \"Property\" \"" + Shown(strKey.GetString()) + "\" " + strWhat;
    return Text(strText.c_str());
}

// The element's name after its prefix, read in place: an element is matched
// against the names it may have without copying its name for each.
const char* LocalNameOf(const CVLXmlElement* pElement)
{
    const char* szName = pElement->GetTagNameRef().GetString();
    if (szName == nullptr)
        return "";
    const char* szColon = strchr(szName, ':');
    return szColon != nullptr ? szColon + 1 : szName;
}

// The index among the names of the one the local name is, or N.
template <size_t N>
size_t IndexOfName(const char* szLocal, const char* const (&names)[N])
{
    size_t i = 0;
    while (i < N && strcmp(szLocal, names[i]) != 0)
        ++i;
    return i;
}

bool InConfigurationNamespace(const CVLXmlElement* pElement)
{
    // Mostly written as it is here: the bytes alone say so, before each
    // letter is weighed in either case.
    const CVLString strURI = pElement->GetNamespaceURI();
    const size_t nLength = static_cast<size_t>(strURI.GetLength());
    if (nLength == sizeof(kNamespaceURI) - 1 && memcmp(strURI.GetBuffer(), kNamespaceURI, nLength) == 0)
        return true;
    return strURI.CompareNoCase(kNamespaceURI) == 0;
}

// "line 6: the element "NAME" in "PARENT" is not read", with why and the
// name meant when one is near: an element the configuration does not have
// would otherwise be passed over without a word.
template <size_t N>
std::string UnreadElementText(const CVLXmlElement* pElement, const char* szParent, const char* const (&known)[N],
                              bool bForeign)
{
    const std::string strLocal = LocalNameOf(pElement);
    std::string strText =
        LineText(pElement->GetLoadLine()) + "the element \"" + Shown(pElement->GetTagNameRef().GetString()) + "\"";
    if (szParent != nullptr)
        strText += std::string(" in \"") + szParent + "\"";
    if (bForeign)
        return strText + " is not in the configuration's namespace and is not read";
    const char* szNearest = nullptr;
    size_t nNearest = 0;
    for (const char* szKnown : known) {
        const size_t nKnown = strlen(szKnown);
        // The distance is at least the difference of the lengths.
        if (std::max(nKnown, strLocal.size()) - std::min(nKnown, strLocal.size()) > kMaxSlipDistance)
            continue;
        const size_t nDistance = CVLCommandLine::Distance(strLocal, szKnown);
        if (nDistance <= kMaxSlipDistance && (szNearest == nullptr || nDistance < nNearest)) {
            szNearest = szKnown;
            nNearest = nDistance;
        }
    }
    strText += " is not read";
    if (szNearest != nullptr)
        strText += std::string("; did you mean ") + szNearest + "?";
    return strText;
}

CVLString ExceptionText(EVLException* pException)
{
    CVLExceptionOwner owner(pException);
    return pException->ToString();
}
}  // namespace

CPFWConfiguration::CPFWConfiguration()
    : m_strAcceptLanguage(VL_CHARSET_UTF8), m_strDummyWebConfigURL(VL_CHARSET_UTF8), m_strErrorText(VL_CHARSET_UTF8),
      m_nWarningsNotKept(0)
{
}

CPFWConfiguration::~CPFWConfiguration()
{
}

bool CPFWConfiguration::keepsWarning()
{
    if (m_Warnings.size() < kMaxWarnings)
        return true;
    m_nWarningsNotKept++;
    return false;
}

void CPFWConfiguration::Clear()
{
    m_PropertyMap.clear();
    m_PropertyLines.clear();
    m_Warnings.clear();
    m_nWarningsNotKept = 0;
    m_strAcceptLanguage.Empty();
    m_strDummyWebConfigURL.Empty();
}

VLPFW_RESULT CPFWConfiguration::Load(VL_CONST_STR szPath)
{
    Clear();
    m_strErrorText.Empty();
    if (szPath == nullptr || !VLFileExists(szPath, 0)) {
        // The caller names the path.
        m_strErrorText = Text(szPath == nullptr         ? "no path given"
                              : VLFileExists(szPath, 1) ? "the configuration is a folder, where a file was expected"
                                                        : "the configuration does not exist");
        CVLTrace::Output(VLPFW_MODULE, s_szFile, __LINE__, 0, "CPFWConfiguration::Load(): path error!, szPath=%s",
                         szPath != nullptr ? szPath : "");
        return VLPFW_RESULT_PATH_ERROR;
    }
    bool bScrambled = false;
    int nError = 0;
    long nSize = Probe(szPath, bScrambled, nError);
    if (nSize < 0) {
        // Not a fault of its format: the path names no file that can be read.
        if (nSize == -2) {
            m_strErrorText = Text("the configuration is not a regular file");
        } else {
            m_strErrorText = Text("the configuration cannot be read: ");
            m_strErrorText += ErrorText(nError).c_str();
        }
        CVLTrace::Output(VLPFW_MODULE, s_szFile, __LINE__, 0, "CPFWConfiguration::Load(): path error!, szPath=%s, %s",
                         szPath, m_strErrorText.GetString());
        return VLPFW_RESULT_PATH_ERROR;
    }
    if (nSize > kMaxConfigurationBytes) {
        m_strErrorText = Text("the configuration is larger than 1 MiB");
        CVLTrace::Output(VLPFW_MODULE, s_szFile, __LINE__, 0,
                         "CPFWConfiguration::Load(): configuration format error!, szPath=%s, nSize=%ld", szPath, nSize);
        return VLPFW_RESULT_CONFIGURATION_ERROR;
    }
    IVLStream* pStream = bScrambled ? static_cast<IVLStream*>(new CVLEasyEncryptionFileStream())
                                    : static_cast<IVLStream*>(new CVLFileStream());
    VLPFW_RESULT eResult = VLPFW_RESULT_SUCCESS;
    CVLXmlDocument document;
    try {
        pStream->SetName(szPath);
        document.Load(pStream);
        CVLXmlElement* pRoot = document.GetDocumentElement();
        if (pRoot == nullptr || !CVLXMLUtility::MatchNode(pRoot, kRootName, kNamespaceURI))
            Fail(Text("the root element is not \"Configurations\" in the configuration namespace"));
        // Walked in order: indexed access would walk the list anew for each child.
        CVLXmlNodeConstIterator it;
        if (pRoot->GetChildNodes() != nullptr)
            it = pRoot->GetChildNodes()->ConstBegin();
        for (; !it.IsEnd(); it.Next()) {
            IVLXmlNode* pNode = it.Get();
            if (pNode == nullptr || pNode->GetNodeType() != VLXML_NODE_ELEMENT)
                continue;
            CVLXmlElement* pElement = static_cast<CVLXmlElement*>(pNode);
            // Each element's name is matched once; its namespace only
            // when the name is one of the configuration's.
            const size_t nChild = IndexOfName(LocalNameOf(pElement), kRootChildNames);
            const bool bKnown = nChild < std::size(kRootChildNames);
            if (!bKnown || !InConfigurationNamespace(pElement)) {
                // Past the warnings kept, only counted: no text is made.
                if (keepsWarning())
                    m_Warnings.push_back(UnreadElementText(pElement, nullptr, kRootChildNames, bKnown));
                continue;
            }
            switch (nChild) {
            case CHILD_COMMUNICATION_MANAGER:
                readCommunicationManager(pElement);
                break;
            case CHILD_ACCEPT_LANGUAGE:
                m_strAcceptLanguage = pElement->GetText();
                break;
            case CHILD_DUMMY_WEB_CONFIG_URL:
                m_strDummyWebConfigURL = pElement->GetText();
                break;
            default:
                break;
            }
        }
        m_strAcceptLanguage.Trim();
        m_strDummyWebConfigURL.Trim();
        if (m_nWarningsNotKept > 0)
            m_Warnings.push_back("and " + std::to_string(m_nWarningsNotKept) + " more elements or keys not read");
    } catch (ConfigurationError& error) {
        m_strErrorText = error.strText;
        eResult = VLPFW_RESULT_CONFIGURATION_ERROR;
    } catch (EVLXmlException* pException) {
        // Where the parser stopped (the column in bytes) and what, in words,
        // as vlstdtool says it.
        std::string strText = pException->GetReason();
        if (pException->GetXmlErrorCode() == VLXML_ERROR_PARSER)
            strText = "line " + std::to_string(document.GetLoadLine()) + ", column " +
                      std::to_string(document.GetLoadColumn()) + ": " + strText;
        m_strErrorText = Text(strText.c_str());
        VLDeleteException(pException);
        eResult = VLPFW_RESULT_CONFIGURATION_ERROR;
    } catch (EVLException* pException) {
        m_strErrorText = ExceptionText(pException);
        eResult = VLPFW_RESULT_CONFIGURATION_ERROR;
    } catch (...) {
        m_strErrorText = Text("the configuration could not be read");
        eResult = VLPFW_RESULT_CONFIGURATION_ERROR;
    }
    try {
        pStream->Destroy();
    } catch (...) {
        ReleaseCurrentException();
    }
    if (eResult != VLPFW_RESULT_SUCCESS) {
        Clear();
        CVLTrace::Output(VLPFW_MODULE, s_szFile, __LINE__, 0,
                         "CPFWConfiguration::Load(): configuration format error!, szPath=%s, %s", szPath,
                         m_strErrorText.GetString());
    }
    return eResult;
}

void CPFWConfiguration::readCommunicationManager(CVLXmlElement* pElement)
{
    CVLXmlNodeConstIterator it;
    if (pElement->GetChildNodes() != nullptr)
        it = pElement->GetChildNodes()->ConstBegin();
    for (; !it.IsEnd(); it.Next()) {
        IVLXmlNode* pNode = it.Get();
        if (pNode == nullptr || pNode->GetNodeType() != VLXML_NODE_ELEMENT)
            continue;
        CVLXmlElement* pProperty = static_cast<CVLXmlElement*>(pNode);
        const bool bKnown = IndexOfName(LocalNameOf(pProperty), kCommunicationManagerChildNames) <
                            std::size(kCommunicationManagerChildNames);
        if (!bKnown || !InConfigurationNamespace(pProperty)) {
            if (keepsWarning())
                m_Warnings.push_back(
                    UnreadElementText(pProperty, kCommunicationManagerName, kCommunicationManagerChildNames, bKnown));
            continue;
        }
        const VL_ULONG nLine = pProperty->GetLoadLine();
        CVLString strKey = pProperty->GetAttribute(kKeyAttribute);
        if (pProperty->GetAttributeNode(kKeyAttribute) == nullptr)
            Fail(Text((LineText(nLine) + "a \"Property\" of \"CommunicationManager\" has no \"key\"").c_str()));
        if (strKey.GetLength() == 0)
            Fail(Text((LineText(nLine) + "a \"Property\" of \"CommunicationManager\" has an empty \"key\"").c_str()));
        if (pProperty->GetAttributeNode(kValueAttribute) == nullptr)
            Fail(PropertyText(nLine, strKey, "has no \"value\""));
        CVLString strName = strKey.ConvertTo(VL_CHARSET_UTF8, true);
        CVLString strValue = pProperty->GetAttribute(kValueAttribute).ConvertTo(VL_CHARSET_UTF8, true);
        // Two values of one option: which one was meant, the file does not say.
        // The place found is where the option goes.
        auto itPlace = m_PropertyMap.lower_bound(strName);
        if (itPlace != m_PropertyMap.end() && !(strName < itPlace->first))
            Fail(PropertyText(nLine, strName, "is given twice"));
        // A value the device manager cannot use is the file's fault, said
        // before anything is sent.
        std::string strWanted;
        const CVLECM::EOption eOption = CVLECM::JudgeOption(strName, strValue, strWanted);
        if (eOption == CVLECM::OPTION_REFUSED)
            Fail(PropertyText(nLine, strName, "is \"" + Shown(strValue.GetString()) + "\": not " + strWanted));
        // A misspelt key would leave its option at the default unnoticed.
        if (eOption == CVLECM::OPTION_UNKNOWN && keepsWarning()) {
            const std::string strNearest = CVLECM::NearestOption(strName);
            m_Warnings.push_back(
                PropertyText(nLine, strName,
                             "names no option and is not used" +
                                 (strNearest.empty() ? std::string() : "; did you mean " + strNearest + "?"))
                    .GetString());
        }
        m_PropertyMap.emplace_hint(itPlace, strName, strValue);
        m_PropertyLines.emplace_back(nLine, strName);
    }
}

VLPFW_RESULT CPFWConfiguration::CheckNames(CVLECM& ecm)
{
    m_strErrorText.Empty();
    // In the order of the file: the first mistake is named.
    for (const auto& entry : m_PropertyLines) {
        auto it = m_PropertyMap.find(entry.second);
        std::string strWanted;
        if (it == m_PropertyMap.end() || ecm.CheckOptionName(it->first, it->second, strWanted))
            continue;
        m_strErrorText =
            PropertyText(entry.first, it->first, "is \"" + Shown(it->second.GetString()) + "\": not " + strWanted);
        CVLTrace::Output(VLPFW_MODULE, s_szFile, __LINE__, 0, "CPFWConfiguration::CheckNames(): %s",
                         m_strErrorText.GetString());
        return VLPFW_RESULT_CONFIGURATION_ERROR;
    }
    // The lists the file does not name run too: their defaults, as the
    // definitions have them.
    const std::string strRefused = ecm.CheckResolvedPacketLists();
    if (!strRefused.empty()) {
        m_strErrorText = Text(strRefused.c_str());
        CVLTrace::Output(VLPFW_MODULE, s_szFile, __LINE__, 0, "CPFWConfiguration::CheckNames(): %s",
                         m_strErrorText.GetString());
        return VLPFW_RESULT_CONFIGURATION_ERROR;
    }
    return VLPFW_RESULT_SUCCESS;
}
