#include "modules/vlpc/VLPCPacketList.h"

#include <new>

#include "base/core/VLMemoryAllocException.h"
#include "base/xml/VLXmlElement.h"
#include "base/xml/VLXmlNodeList.h"
#include "modules/vlpc/VLPCDefs.h"
#include "modules/vlpc/VLPCFunction.h"

namespace {

const char* const s_szFile = "VLPCPacketList";
const int XML_ELEMENT_NODE = 1;

}  // namespace

CVLPCPacketList::CVLPCPacketList()
{
}

CVLPCPacketList::~CVLPCPacketList()
{
    for (CVLPCFunction* p : m_Functions)
        delete p;
}

void CVLPCPacketList::SetName(VL_CONST_STR szName)
{
    m_strName = szName;
}

void CVLPCPacketList::Load(CVLModuleController* pController, const CVLXmlElement* pElement)
{
    const CVLXmlNodeList* pChildren = pElement->GetChildNodes();
    if (pChildren == nullptr)
        return;
    // Walked in order: indexed access would walk the list anew for each child.
    for (CVLXmlNodeConstIterator it = pChildren->ConstBegin(); !it.IsEnd(); it.Next()) {
        IVLXmlNode* pNode = it.Get();
        if (pNode == nullptr || pNode->GetNodeType() != XML_ELEMENT_NODE ||
            pNode->GetNodeName().Compare("Function") != 0)
            continue;
        CVLPCFunction* pFunction = new (std::nothrow) CVLPCFunction();
        if (pFunction == nullptr)
            throw new EVLMemoryAllocException(VLMDVLPC_MODULE, s_szFile, __LINE__);
        m_Functions.push_back(pFunction);
        pFunction->Load(pController, static_cast<const CVLXmlElement*>(pNode));
    }
}
