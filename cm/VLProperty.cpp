#include "cm/VLProperty.h"

#include <cstring>
#include <vector>

#include "base/core/VLCharset.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLNullObjectException.h"
#include "base/xml/VLXmlElement.h"
#include "base/xml/VLXmlNodeList.h"
#include "cm/VLCMApi.h"
#include "cm/VLModuleController.h"
#include "cm/VLPropertyCollection.h"

namespace {

const char* const s_szFile = "VLProperty";
const char* const s_szRootLabel = "<root>";
const char* const s_szPropertyTag = "Property";

}  // namespace

CVLProperty::CVLProperty()
    : CVLApiObject(nullptr),
      m_strName(VL_CHARSET_UTF8),
      m_pChildren(nullptr),
      m_pParent(nullptr),
      m_bVariable(false),
      m_bAuto(false),
      m_pDefinition(nullptr),
      m_nDepth(0)
{
}

CVLProperty::CVLProperty(CVLCMApi* pApi, CVLProperty* pParent)
    : CVLApiObject(pApi),
      m_strName(VL_CHARSET_UTF8),
      m_pChildren(nullptr),
      m_pParent(pParent),
      m_bVariable(false),
      m_bAuto(false),
      m_pDefinition(nullptr),
      m_nDepth(pParent == nullptr ? 0 : pParent->m_nDepth + 1)
{
}

CVLProperty::~CVLProperty()
{
    if (m_pChildren != nullptr) {
        CVLPropertyCollection* pChildren = m_pChildren;
        m_pChildren = nullptr;
        try {
            pChildren->Destroy();
        } catch (...) {
            // A destructor cannot report; the children are gone or leaked.
            ReleaseCurrentException();
        }
    }
}

void CVLProperty::Destroy()
{
    // A node without a facade belongs to whoever made it.
    CVLModuleController* pController = GetModuleController();
    if (pController != nullptr)
        pController->DeleteProperty(this);
}

const CVLString& CVLProperty::GetName() const
{
    return m_strName;
}

void CVLProperty::SetName(const char* szName)
{
    if (szName != nullptr && std::strchr(szName, '.') != nullptr)
        throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, __LINE__);
    m_strName = szName;
}

bool CVLProperty::IsVariable() const
{
    return m_bVariable;
}

void CVLProperty::SetVariable(bool bVariable)
{
    m_bVariable = bVariable;
}

bool CVLProperty::IsEmpty() const
{
    if (CVLVariant::GetType() != VL_VARIANT_TYPE_EMPTY)
        return false;
    if (m_pChildren == nullptr)
        return true;
    for (CVLPropertyConstIterator it = m_pChildren->ConstBegin(); !it.IsEnd(); it.Next()) {
        if (!it.Get()->IsEmpty())
            return false;
    }
    return true;
}

bool CVLProperty::IsModified() const
{
    if (CVLVariant::IsModified())
        return true;
    if (m_pChildren == nullptr)
        return false;
    for (CVLPropertyConstIterator it = m_pChildren->ConstBegin(); !it.IsEnd(); it.Next()) {
        if (it.Get()->IsModified())
            return true;
    }
    return false;
}

void CVLProperty::Clear()
{
    Reset();
    if (m_pChildren == nullptr)
        return;
    if (m_bVariable) {
        RemoveAll();
        return;
    }
    for (CVLPropertyIterator it = m_pChildren->Begin(); !it.IsEnd(); it.Next())
        it.Get()->Clear();
}

void CVLProperty::ResetModify()
{
    ClearModified();
    if (m_pChildren == nullptr)
        return;
    for (CVLPropertyIterator it = m_pChildren->Begin(); !it.IsEnd(); it.Next())
        it.Get()->ResetModify();
}

CVLProperty* CVLProperty::FindChild(const char* szName) const
{
    if (m_pChildren == nullptr)
        return nullptr;
    return m_pChildren->Find(szName);
}

CVLPropertyCollection* CVLProperty::GetChildren()
{
    if (m_pChildren == nullptr) {
        CVLCMApi* pApi = GetApi();
        if (pApi != nullptr)
            m_pChildren = pApi->NewPropertyCollection(this);
        if (m_pChildren == nullptr)
            throw new EVLMemoryAllocException(VLCMAPI_MODULE, s_szFile, __LINE__);
    }
    return m_pChildren;
}

CVLProperty* CVLProperty::CreateChild(const char* szName)
{
    return GetChildren()->Add(szName);
}

void CVLProperty::RemoveChild(const char* szName)
{
    if (m_pChildren != nullptr)
        m_pChildren->Remove(szName);
}

void CVLProperty::RemoveAll()
{
    if (m_pChildren != nullptr)
        m_pChildren->RemoveAll();
}

CVLPropertyIterator CVLProperty::Begin()
{
    if (m_pChildren == nullptr)
        return CVLPropertyIterator();
    return m_pChildren->Begin();
}

CVLPropertyConstIterator CVLProperty::ConstBegin() const
{
    if (m_pChildren == nullptr)
        return CVLPropertyConstIterator();
    return m_pChildren->ConstBegin();
}

int CVLProperty::GetChildCount() const
{
    return m_pChildren == nullptr ? 0 : m_pChildren->GetCount();
}

CVLProperty* CVLProperty::GetProperty(const char* szPath, bool bCreate)
{
    if (szPath == nullptr)
        return nullptr;
    // Walks the path in place: no working copy, and no string is made for a
    // segment unless a node has to be created.
    CVLProperty* pCurrent = this;
    CVLProperty* pResult = nullptr;
    const char* p = szPath;
    while (*p != '\0') {
        const char* pDot = std::strchr(p, '.');
        if (pDot == p)
            return nullptr;
        int nLength = pDot == nullptr ? static_cast<int>(std::strlen(p)) : static_cast<int>(pDot - p);
        if (pCurrent->m_bAuto && pCurrent->m_pChildren == nullptr)
            pCurrent->ExpandDefinition();
        CVLProperty* pChild =
            pCurrent->m_pChildren == nullptr ? nullptr : pCurrent->m_pChildren->FindSegment(p, nLength);
        if (pChild == nullptr) {
            if (!bCreate)
                return nullptr;
            CVLString strSegment(p, nLength, VL_CHARSET_UTF8);
            pChild = pCurrent->CreateChild(strSegment.GetString());
        }
        pCurrent = pChild;
        pResult = pChild;
        p = pDot == nullptr ? p + nLength : pDot + 1;
    }
    return pResult;
}

CVLString CVLProperty::GetFullPath() const
{
    std::vector<const CVLProperty*> chain;
    for (const CVLProperty* p = this; p != nullptr; p = p->m_pParent)
        chain.push_back(p);
    CVLString strPath(VL_CHARSET_UTF8);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (it != chain.rbegin())
            strPath += '.';
        strPath += (*it)->m_strName;
    }
    return strPath;
}

bool CVLProperty::Overlaps(const CVLProperty* pOther) const
{
    for (const CVLProperty* p = this; p != nullptr; p = p->m_pParent) {
        if (p == pOther)
            return true;
    }
    for (const CVLProperty* p = pOther; p != nullptr; p = p->m_pParent) {
        if (p == this)
            return true;
    }
    return false;
}

void CVLProperty::CopyOwn(const CVLProperty& source)
{
    CVLVariant::Copy(source, true);
    m_strName = source.m_strName;
    m_bVariable = source.m_bVariable;
    m_bAuto = source.m_bAuto;
    m_pDefinition = source.m_pDefinition;
}

void CVLProperty::Merge(const CVLProperty* pSource)
{
    if (pSource == nullptr)
        throw new EVLNullObjectException(VLCMAPI_MODULE, s_szFile, __LINE__);
    if (pSource == this)
        return;
    // Copying a tree into its own ancestor or descendant would walk what it
    // writes, without end.
    if (Overlaps(pSource))
        throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, __LINE__);
    CopyOwn(*pSource);
    if (pSource->m_pChildren == nullptr)
        return;
    for (CVLPropertyConstIterator it = pSource->m_pChildren->ConstBegin(); !it.IsEnd(); it.Next()) {
        const CVLProperty* pChild = it.Get();
        const CVLString& strName = pChild->GetName();
        CVLProperty* pCounterpart = GetProperty(strName.GetString(), true);
        // An unnamed child is reachable by no path: it gets a new child of
        // its own, as Assign gives it.
        if (pCounterpart == nullptr)
            pCounterpart = CreateChild(strName.GetString());
        pCounterpart->Merge(pChild);
    }
}

CVLProperty& CVLProperty::operator=(const CVLProperty& source)
{
    Assign(&source);
    return *this;
}

void CVLProperty::Assign(const CVLProperty* pSource)
{
    if (pSource == nullptr)
        throw new EVLNullObjectException(VLCMAPI_MODULE, s_szFile, __LINE__);
    if (pSource == this)
        return;
    // Emptying this subtree would delete a source that lies below it.
    if (Overlaps(pSource))
        throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, __LINE__);
    CopyOwn(*pSource);
    RemoveAll();
    if (pSource->m_pChildren != nullptr) {
        for (CVLPropertyConstIterator it = pSource->m_pChildren->ConstBegin(); !it.IsEnd(); it.Next()) {
            const CVLProperty* pChild = it.Get();
            CVLProperty* pCopy = CreateChild(pChild->GetName().GetString());
            *pCopy = *pChild;
        }
    }
    CopyExtension(pSource->GetExtension());
}

void* CVLProperty::GetExtension() const
{
    return const_cast<CVLProperty*>(this);
}

void CVLProperty::DumpLine(CVLString& strText, int nLevel, const char* szRootLabel) const
{
    for (int i = 0; i < nLevel; ++i)
        strText += '\t';
    if (m_strName.GetLength() > 0) {
        strText += m_strName;
        strText += '=';
        strText += CVLVariant::Dump();
    } else {
        strText += szRootLabel == nullptr ? s_szRootLabel : szRootLabel;
    }
    strText += '\n';
}

CVLString CVLProperty::Dump(int nLevel, const char* szRootLabel) const
{
    // One text for the whole subtree, written in a walk that keeps its own
    // stack: no copy of each subtree's text, no recursion.
    CVLString strText(VL_CHARSET_UTF8);
    DumpLine(strText, nLevel, szRootLabel);
    std::vector<CVLPropertyConstIterator> stack;
    stack.push_back(ConstBegin());
    while (!stack.empty()) {
        CVLPropertyConstIterator& it = stack.back();
        if (it.IsEnd()) {
            stack.pop_back();
            continue;
        }
        const CVLProperty* pChild = it.Get();
        it.Next();
        int nChildLevel = nLevel + static_cast<int>(stack.size());
        pChild->DumpLine(strText, nChildLevel, nullptr);
        stack.push_back(pChild->ConstBegin());
    }
    return strText;
}

int CVLProperty::GetObjectType() const
{
    return CVLVariant::GetType();
}

void CVLProperty::SetObjectValue(const CVLVariant& value)
{
    // A tree outlives the script values written into it: keep the value
    // behind a reference, never the reference itself.
    int nType = value.CVLVariant::GetType();
    // Types that stand for a value held elsewhere.
    if (nType == VL_VARIANT_TYPE_REFERENCE || nType == VL_VARIANT_TYPE_OBJECT) {
        CVLVariant resolved;
        resolved.SetValue(value);
        resolved.SetModified(value.IsModified());
        CVLVariant::operator=(resolved);
        return;
    }
    CVLVariant::operator=(value);
}

void CVLProperty::GetObjectValue(CVLVariant& value) const
{
    value = static_cast<const CVLVariant&>(*this);
}

void CVLProperty::OnDelete() {}

void CVLProperty::CopyExtension(void*) {}

int CVLProperty::GetType() const
{
    return GetObjectType();
}

void CVLProperty::SetValue(const CVLVariant& src)
{
    SetObjectValue(src);
}

void CVLProperty::GetValue(CVLVariant& out) const
{
    GetObjectValue(out);
}

void CVLProperty::SetDefinition(const CVLXmlElement* pDefinition)
{
    m_pDefinition = pDefinition;
    if (pDefinition == nullptr)
        return;
    m_bVariable = pDefinition->GetAttributeBool("variable", false);
    m_bAuto = pDefinition->GetAttributeBool("auto", false);
    if (!m_bVariable && !m_bAuto)
        ExpandDefinition();
}

void CVLProperty::ExpandDefinition()
{
    if (m_pDefinition == nullptr)
        return;
    CVLXmlNodeList* pNodes = m_pDefinition->GetChildNodes();
    if (pNodes == nullptr)
        return;
    for (CVLXmlNodeConstIterator it = pNodes->ConstBegin(); !it.IsEnd(); it.Next()) {
        IVLXmlNode* pNode = it.Get();
        if (pNode == nullptr || pNode->GetNodeType() != VLXML_NODE_ELEMENT)
            continue;
        const CVLXmlElement* pElement = static_cast<const CVLXmlElement*>(pNode);
        if (pElement->GetTagName() != s_szPropertyTag)
            continue;
        CVLString strName = pElement->GetAttribute("name");
        CVLProperty* pChild = CreateChild(strName.GetString());
        pChild->SetDefinition(pElement);
    }
}
