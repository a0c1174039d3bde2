#include "modules/vlpc/VLPCFieldList.h"

#include <new>

#include "base/core/VLException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/xml/VLXmlElement.h"
#include "base/xml/VLXmlNodeList.h"
#include "cm/VLDefineFormatException.h"
#include "modules/vlpc/VLPCDefs.h"
#include "modules/vlpc/VLPCField.h"

namespace {

const char* const s_szFile = "VLPCFieldList";
const int XML_ELEMENT_NODE = 1;
// Nested field lists are read and expanded recursively; real layouts nest
// one or two levels, and a definition nesting deeper is refused.
const int MAX_NESTING = 16;
thread_local int t_nLoadDepth = 0;

struct LoadDepth
{
    LoadDepth() { ++t_nLoadDepth; }
    ~LoadDepth() { --t_nLoadDepth; }
};

}  // namespace

CVLPCFieldList::CVLPCFieldList()
{
}

CVLPCFieldList::~CVLPCFieldList()
{
    for (CVLPCField* pField : m_Fields)
        delete pField;
}

void CVLPCFieldList::Load(CVLModuleController* pController, const CVLXmlElement* pElement)
{
    try {
        LoadDepth depth;
        if (t_nLoadDepth > MAX_NESTING)
            throw new EVLDefineFormatException(VLMDVLPC_MODULE, s_szFile, __LINE__, pElement,
                                               "Field");
        const CVLXmlNodeList* pChildren = pElement->GetChildNodes();
        CVLXmlNodeConstIterator it;
        if (pChildren != nullptr)
            it = pChildren->ConstBegin();
        for (; !it.IsEnd(); it.Next()) {
            IVLXmlNode* pNode = it.Get();
            if (pNode == nullptr || pNode->GetNodeType() != XML_ELEMENT_NODE ||
                pNode->GetNodeName().Compare("Field") != 0)
                continue;
            CVLPCField* pField = new (std::nothrow) CVLPCField();
            if (pField == nullptr)
                throw new EVLMemoryAllocException(VLMDVLPC_MODULE, s_szFile, __LINE__);
            try {
                pField->Load(pController, static_cast<const CVLXmlElement*>(pNode));
            } catch (...) {
                delete pField;
                throw;
            }
            m_Fields.push_back(pField);
        }
    } catch (...) {
        VLRethrowAsFramework(VLMDVLPC_MODULE, s_szFile, __LINE__);
    }
}

bool CVLPCFieldList::MakePacket(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pSendPacket, CVLTarget* pTarget,
                                CVLProperty* pParent, long& lOffset)
{
    bool bModified = false;
    try {
        for (CVLPCField* pField : m_Fields) {
            if (pField->MakePacket(pVLPC, pFunction, pSendPacket, pTarget, pParent, lOffset))
                bModified = true;
        }
    } catch (...) {
        VLRethrowAsFramework(VLMDVLPC_MODULE, s_szFile, __LINE__);
    }
    return bModified;
}

void CVLPCFieldList::ExpandPacket(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pRecvPacket, CVLTarget* pTarget,
                                  CVLProperty* pParent, long& lOffset)
{
    try {
        ExpandFields(pVLPC, pFunction, pRecvPacket, pTarget, pParent, lOffset, true);
    } catch (...) {
        VLRethrowAsFramework(VLMDVLPC_MODULE, s_szFile, __LINE__);
    }
}

void CVLPCFieldList::ExpandFields(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pRecvPacket, CVLTarget* pTarget,
                                  CVLProperty* pParent, long& lOffset, bool bStore)
{
    for (CVLPCField* pField : m_Fields)
        pField->Expand(pVLPC, pFunction, pRecvPacket, pTarget, pParent, lOffset, bStore);
}
