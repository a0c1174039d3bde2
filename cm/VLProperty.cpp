#include "cm/VLProperty.h"

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "base/core/VLCharset.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLNullObjectException.h"
#include "base/xml/VLXmlAttribute.h"
#include "base/xml/VLXmlElement.h"
#include "base/xml/VLXmlNodeList.h"
#include "cm/VLCMApi.h"
#include "cm/VLModuleController.h"
#include "cm/VLPropertyCollection.h"

namespace {

const char* const s_szFile = "VLProperty";
const char* const s_szRootLabel = "<root>";
const char* const s_szPropertyTag = "Property";

// The "Property" elements directly below pElement, in document order.
std::vector<const CVLXmlElement*> DeclaredChildren(const CVLXmlElement* pElement)
{
    std::vector<const CVLXmlElement*> declared;
    CVLXmlNodeList* pNodes = pElement == nullptr ? nullptr : pElement->GetChildNodes();
    if (pNodes == nullptr)
        return declared;
    for (CVLXmlNodeConstIterator it = pNodes->ConstBegin(); !it.IsEnd(); it.Next()) {
        IVLXmlNode* pNode = it.Get();
        if (pNode == nullptr || pNode->GetNodeType() != VLXML_NODE_ELEMENT)
            continue;
        const CVLXmlElement* pChild = static_cast<const CVLXmlElement*>(pNode);
        if (pChild->GetTagName() == s_szPropertyTag)
            declared.push_back(pChild);
    }
    return declared;
}

// True when the "name" attribute of pElement is the nLength bytes at pName.
bool IsNamed(const CVLXmlElement* pElement, const char* pName, size_t nLength)
{
    const CVLXmlAttribute* pAttribute = dynamic_cast<const CVLXmlAttribute*>(pElement->GetAttributeNode("name"));
    if (pAttribute == nullptr)
        return nLength == 0;
    const CVLString& strName = pAttribute->GetValue();
    return static_cast<size_t>(strName.GetLength()) == nLength &&
           std::memcmp(strName.GetString(), pName, nLength) == 0;
}

bool IsExpandedAtOnce(const CVLXmlElement* pElement)
{
    return !pElement->GetAttributeBool("variable", false) && !pElement->GetAttributeBool("auto", false);
}

// True when the children declared below pElement, and below those that are
// expanded at once, can all be built at nDepth: named, without ".", each
// name once among its siblings.
bool DeclaresBuildably(const CVLXmlElement* pElement, int nDepth)
{
    std::vector<const CVLXmlElement*> declared = DeclaredChildren(pElement);
    if (declared.empty())
        return true;
    if (nDepth > VLCM_PROPERTY_MAX_DEPTH)
        return false;
    std::set<std::string> names;
    for (const CVLXmlElement* pChild : declared) {
        CVLString strName = pChild->GetAttribute("name");
        std::string name(strName.GetString() == nullptr ? "" : strName.GetString());
        if (name.empty() || name.find('.') != std::string::npos || !names.insert(name).second)
            return false;
        if (IsExpandedAtOnce(pChild) && !DeclaresBuildably(pChild, nDepth + 1))
            return false;
    }
    return true;
}

}  // namespace

// The declared children of an auto node; the built ones stand in the
// collection in declared order before any other child, so a child's place
// there is the count of built children declared before it.
struct CVLProperty::LazyChildren
{
    std::vector<const CVLXmlElement*> declared;
    std::vector<bool> built;
    size_t nPending = 0;
};

CVLProperty::CVLProperty()
    : CVLApiObject(nullptr),
      m_strName(VL_CHARSET_UTF8),
      m_pChildren(nullptr),
      m_pParent(nullptr),
      m_bVariable(false),
      m_bAuto(false),
      m_nDepth(0),
      m_pDefinition(nullptr),
      m_pLazy(nullptr)
{
}

CVLProperty::CVLProperty(CVLCMApi* pApi, CVLProperty* pParent)
    : CVLApiObject(pApi),
      m_strName(VL_CHARSET_UTF8),
      m_pChildren(nullptr),
      m_pParent(pParent),
      m_bVariable(false),
      m_bAuto(false),
      m_nDepth(pParent == nullptr ? 0 : pParent->m_nDepth + 1),
      m_pDefinition(nullptr),
      m_pLazy(nullptr)
{
}

CVLProperty::~CVLProperty()
{
    DropLazy();
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
    // Building a declared child changes nothing a reader sees.
    if (m_pLazy != nullptr && szName != nullptr)
        const_cast<CVLProperty*>(this)->BuildNamed(szName, std::strlen(szName));
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
    // A new child follows every declared one.
    BuildAllDeclared();
    return GetChildren()->Add(szName);
}

void CVLProperty::RemoveChild(const char* szName)
{
    if (m_pChildren == nullptr)
        return;
    BuildAllDeclared();
    m_pChildren->Remove(szName);
}

void CVLProperty::RemoveAll()
{
    DropLazy();
    if (m_pChildren != nullptr)
        m_pChildren->RemoveAll();
}

CVLPropertyIterator CVLProperty::Begin()
{
    if (m_pChildren == nullptr)
        return CVLPropertyIterator();
    BuildAllDeclared();
    return m_pChildren->Begin();
}

CVLPropertyConstIterator CVLProperty::ConstBegin() const
{
    if (m_pChildren == nullptr)
        return CVLPropertyConstIterator();
    // Building the declared children changes nothing a reader sees.
    const_cast<CVLProperty*>(this)->BuildAllDeclared();
    return m_pChildren->ConstBegin();
}

int CVLProperty::GetChildCount() const
{
    if (m_pChildren == nullptr)
        return 0;
    return m_pChildren->GetCount() + (m_pLazy == nullptr ? 0 : static_cast<int>(m_pLazy->nPending));
}

void CVLProperty::ExpandLazily()
{
    std::vector<const CVLXmlElement*> declared = DeclaredChildren(m_pDefinition);
    if (declared.empty())
        return;
    if (m_pChildren != nullptr || !DeclaresBuildably(m_pDefinition, m_nDepth + 1)) {
        ExpandDefinition();
        return;
    }
    GetChildren();
    LazyChildren* pLazy = new LazyChildren;
    pLazy->built.assign(declared.size(), false);
    pLazy->nPending = declared.size();
    pLazy->declared.swap(declared);
    m_pLazy = pLazy;
}

CVLProperty* CVLProperty::BuildDeclared(size_t nIndex)
{
    LazyChildren* pLazy = m_pLazy;
    int nPosition = 0;
    for (size_t i = 0; i < nIndex; ++i) {
        if (pLazy->built[i])
            ++nPosition;
    }
    const CVLXmlElement* pElement = pLazy->declared[nIndex];
    CVLString strName = pElement->GetAttribute("name");
    CVLProperty* pChild = GetChildren()->Insert(nPosition, strName.GetString());
    pLazy->built[nIndex] = true;
    if (--pLazy->nPending == 0)
        DropLazy();
    pChild->SetDefinition(pElement);
    return pChild;
}

void CVLProperty::BuildNamed(const char* pName, size_t nLength)
{
    if (m_pLazy == nullptr)
        return;
    for (size_t i = 0; i < m_pLazy->declared.size(); ++i) {
        if (!m_pLazy->built[i] && IsNamed(m_pLazy->declared[i], pName, nLength)) {
            BuildDeclared(i);
            return;
        }
    }
}

void CVLProperty::BuildAllDeclared()
{
    for (size_t i = 0; m_pLazy != nullptr && i < m_pLazy->declared.size(); ++i) {
        if (!m_pLazy->built[i])
            BuildDeclared(i);
    }
}

void CVLProperty::DropLazy()
{
    delete m_pLazy;
    m_pLazy = nullptr;
}

bool CVLProperty::IsPending(const CVLXmlElement* pElement) const
{
    if (m_pLazy == nullptr)
        return false;
    for (size_t i = 0; i < m_pLazy->declared.size(); ++i) {
        if (m_pLazy->declared[i] == pElement)
            return !m_pLazy->built[i];
    }
    return false;
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
            pCurrent->ExpandLazily();
        if (pCurrent->m_pLazy != nullptr)
            pCurrent->BuildNamed(p, static_cast<size_t>(nLength));
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

int CVLProperty::GetNodeCount() const
{
    int nCount = 0;
    std::vector<const CVLProperty*> stack(1, this);
    while (!stack.empty()) {
        const CVLProperty* pNode = stack.back();
        stack.pop_back();
        ++nCount;
        if (pNode->m_pChildren == nullptr)
            continue;
        for (CVLPropertyConstIterator it = pNode->m_pChildren->ConstBegin(); !it.IsEnd(); it.Next())
            stack.push_back(it.Get());
    }
    return nCount;
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
    if (pSource->m_pLazy != nullptr && m_bAuto && m_pChildren == nullptr)
        ExpandLazily();
    // The source's children in the order a full expansion gives it. A
    // declared child that neither side has built is the same empty node on
    // both: nothing to merge. One only the source waits for is built there.
    std::vector<bool> built;
    if (pSource->m_pLazy != nullptr)
        built = pSource->m_pLazy->built;
    CVLPropertyConstIterator it = pSource->m_pChildren->ConstBegin();
    for (size_t i = 0; i < built.size() || !it.IsEnd(); ++i) {
        const CVLProperty* pChild = nullptr;
        if (i < built.size() && !built[i]) {
            const CVLXmlElement* pElement = pSource->m_pLazy->declared[i];
            if (IsPending(pElement))
                continue;
            pChild = const_cast<CVLProperty*>(pSource)->BuildDeclared(i);
        } else {
            pChild = it.Get();
            it.Next();
        }
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
        // The declared children the source has not built stay unbuilt here.
        if (pSource->m_pLazy != nullptr) {
            GetChildren();
            m_pLazy = new LazyChildren(*pSource->m_pLazy);
        }
        for (CVLPropertyConstIterator it = pSource->m_pChildren->ConstBegin(); !it.IsEnd(); it.Next()) {
            const CVLProperty* pChild = it.Get();
            CVLProperty* pCopy = GetChildren()->Add(pChild->GetName().GetString());
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

void CVLProperty::DumpDeclared(CVLString& strText, int nLevel, const CVLXmlElement* pElement)
{
    // The empty node the element declares, and below it what binding it
    // would build at once (its depth is bounded: it could be built).
    static const CVLVariant s_Empty;
    for (int i = 0; i < nLevel; ++i)
        strText += '\t';
    strText += pElement->GetAttribute("name");
    strText += '=';
    strText += s_Empty.Dump();
    strText += '\n';
    if (!IsExpandedAtOnce(pElement))
        return;
    for (const CVLXmlElement* pChild : DeclaredChildren(pElement))
        DumpDeclared(strText, nLevel + 1, pChild);
}

CVLString CVLProperty::Dump(int nLevel, const char* szRootLabel) const
{
    // One text for the whole subtree, written in a walk that keeps its own
    // stack: no copy of each subtree's text, no recursion down the tree.
    // Declared children not built yet print as the empty nodes they stand
    // for, in their declared places, and stay unbuilt.
    struct Level
    {
        const CVLProperty* pNode;
        CVLPropertyConstIterator it;
        size_t nDeclared;
    };
    auto levelOf = [](const CVLProperty* pNode) {
        CVLPropertyCollection* pChildren = pNode->m_pChildren;
        return Level{pNode, pChildren == nullptr ? CVLPropertyConstIterator() : pChildren->ConstBegin(), 0};
    };
    CVLString strText(VL_CHARSET_UTF8);
    DumpLine(strText, nLevel, szRootLabel);
    std::vector<Level> stack;
    stack.push_back(levelOf(this));
    while (!stack.empty()) {
        Level& level = stack.back();
        int nChildLevel = nLevel + static_cast<int>(stack.size());
        const LazyChildren* pLazy = level.pNode->m_pLazy;
        if (pLazy != nullptr && level.nDeclared < pLazy->declared.size() && !pLazy->built[level.nDeclared]) {
            DumpDeclared(strText, nChildLevel, pLazy->declared[level.nDeclared++]);
            continue;
        }
        if (level.it.IsEnd()) {
            stack.pop_back();
            continue;
        }
        const CVLProperty* pChild = level.it.Get();
        level.it.Next();
        ++level.nDeclared;
        pChild->DumpLine(strText, nChildLevel, nullptr);
        stack.push_back(levelOf(pChild));
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
        ExpandLazily();
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
