#include "cm/VLProperty.h"

#include <cstdint>
#include <cstring>
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

// Declared children are noted, not built, only up to this many a node
// (one bit each); a node that declares more builds them at once.
const int kMaxNotedChildren = 64;

// The next "Property" element at or after it, which is left past it; null
// at the end.
const CVLXmlElement* NextDeclared(CVLXmlNodeConstIterator& it)
{
    for (; !it.IsEnd(); it.Next()) {
        IVLXmlNode* pNode = it.Get();
        if (pNode == nullptr || pNode->GetNodeType() != VLXML_NODE_ELEMENT)
            continue;
        const CVLXmlElement* pElement = static_cast<const CVLXmlElement*>(pNode);
        if (pElement->GetTagNameRef() == s_szPropertyTag) {
            it.Next();
            return pElement;
        }
    }
    return nullptr;
}

CVLXmlNodeConstIterator FirstDeclared(const CVLXmlElement* pElement)
{
    CVLXmlNodeList* pNodes = pElement == nullptr ? nullptr : pElement->GetChildNodes();
    return pNodes == nullptr ? CVLXmlNodeConstIterator() : pNodes->ConstBegin();
}

// The value of pElement's attribute szName, or null; read in place.
const CVLString* AttributeOf(const CVLXmlElement* pElement, const char* szName)
{
    const CVLXmlAttribute* pAttribute = dynamic_cast<const CVLXmlAttribute*>(pElement->GetAttributeNode(szName));
    return pAttribute == nullptr ? nullptr : &pAttribute->GetValue();
}

const CVLString* NameOf(const CVLXmlElement* pElement)
{
    return AttributeOf(pElement, "name");
}

// The attribute read as a flag, as GetAttributeBool(szName, false) reads it.
bool FlagOf(const CVLXmlElement* pElement, const char* szName)
{
    const CVLString* pstrValue = AttributeOf(pElement, szName);
    return pstrValue != nullptr && pstrValue->GetLength() > 0 && pstrValue->ToBool(false);
}

// True when the "name" attribute of pElement is the nLength bytes at pName.
bool IsNamed(const CVLXmlElement* pElement, const char* pName, size_t nLength)
{
    const CVLString* pstrName = NameOf(pElement);
    if (pstrName == nullptr)
        return nLength == 0;
    return static_cast<size_t>(pstrName->GetLength()) == nLength &&
           std::memcmp(pstrName->GetString(), pName, nLength) == 0;
}

bool IsExpandedAtOnce(const CVLXmlElement* pElement)
{
    return !FlagOf(pElement, "variable") && !FlagOf(pElement, "auto");
}

// The children pElement declares when they, and those below them that
// binding builds at once, can all be built at nDepth (named, without ".",
// each name once among its siblings, at most kMaxNotedChildren); else -1.
int CountBuildable(const CVLXmlElement* pElement, int nDepth)
{
    const CVLString* names[kMaxNotedChildren];
    int nCount = 0;
    CVLXmlNodeConstIterator it = FirstDeclared(pElement);
    for (const CVLXmlElement* pChild = NextDeclared(it); pChild != nullptr; pChild = NextDeclared(it)) {
        if (nCount == kMaxNotedChildren || nDepth > VLCM_PROPERTY_MAX_DEPTH)
            return -1;
        const CVLString* pstrName = NameOf(pChild);
        if (pstrName == nullptr || pstrName->GetLength() == 0 || std::strchr(pstrName->GetString(), '.') != nullptr)
            return -1;
        for (int i = 0; i < nCount; ++i) {
            if (*names[i] == *pstrName)
                return -1;
        }
        names[nCount++] = pstrName;
        CVLXmlNodeList* pGrandchildren = pChild->GetChildNodes();
        bool bHasChildren = pGrandchildren != nullptr && !pGrandchildren->ConstBegin().IsEnd();
        if (bHasChildren && IsExpandedAtOnce(pChild) && CountBuildable(pChild, nDepth + 1) < 0)
            return -1;
    }
    return nCount;
}

}  // namespace

// The declared children a node has noted: the built ones stand in the
// collection in declared order before any other child, so a child's place
// there is the count of built children declared before it.
struct CVLProperty::LazyChildren
{
    const CVLXmlElement* pDeclaring;  // whose "Property" children they are
    uint64_t nBuilt;                  // bit i: the ith is built
    int nDeclared;
    int nPending;

    bool IsBuilt(int i) const { return ((nBuilt >> i) & 1) != 0; }
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
    CVLProperty* pChild = m_pChildren->Find(szName);
    // Building a declared child changes nothing a reader sees.
    if (pChild == nullptr && m_pLazy != nullptr && szName != nullptr)
        pChild = const_cast<CVLProperty*>(this)->BuildNamed(szName, std::strlen(szName));
    return pChild;
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
    if (m_pDefinition == nullptr)
        return;
    int nDeclared = m_pChildren != nullptr ? -1 : CountBuildable(m_pDefinition, m_nDepth + 1);
    if (nDeclared < 0) {
        ExpandDefinition();
        return;
    }
    if (nDeclared == 0)
        return;
    GetChildren();
    m_pLazy = new LazyChildren{m_pDefinition, 0, nDeclared, nDeclared};
}

CVLProperty* CVLProperty::BuildDeclared(int nIndex, const CVLXmlElement* pElement)
{
    LazyChildren* pLazy = m_pLazy;
    uint64_t nBefore = pLazy->nBuilt & ((uint64_t(1) << nIndex) - 1);
    int nPosition = __builtin_popcountll(nBefore);
    CVLProperty* pChild = GetChildren()->Insert(nPosition, NameOf(pElement)->GetString());
    pLazy->nBuilt |= uint64_t(1) << nIndex;
    if (--pLazy->nPending == 0)
        DropLazy();
    pChild->SetDefinition(pElement);
    return pChild;
}

CVLProperty* CVLProperty::BuildNamed(const char* pName, size_t nLength)
{
    if (m_pLazy == nullptr)
        return nullptr;
    CVLXmlNodeConstIterator it = FirstDeclared(m_pLazy->pDeclaring);
    int i = 0;
    for (const CVLXmlElement* pElement = NextDeclared(it); pElement != nullptr; pElement = NextDeclared(it), ++i) {
        if (!m_pLazy->IsBuilt(i) && IsNamed(pElement, pName, nLength))
            return BuildDeclared(i, pElement);
    }
    return nullptr;
}

void CVLProperty::BuildAllDeclared()
{
    if (m_pLazy == nullptr)
        return;
    CVLXmlNodeConstIterator it = FirstDeclared(m_pLazy->pDeclaring);
    int i = 0;
    for (const CVLXmlElement* pElement = NextDeclared(it); pElement != nullptr && m_pLazy != nullptr;
         pElement = NextDeclared(it), ++i) {
        if (!m_pLazy->IsBuilt(i))
            BuildDeclared(i, pElement);
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
    CVLXmlNodeConstIterator it = FirstDeclared(m_pLazy->pDeclaring);
    int i = 0;
    for (const CVLXmlElement* pDeclared = NextDeclared(it); pDeclared != nullptr; pDeclared = NextDeclared(it), ++i) {
        if (pDeclared == pElement)
            return !m_pLazy->IsBuilt(i);
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
        CVLProperty* pChild =
            pCurrent->m_pChildren == nullptr ? nullptr : pCurrent->m_pChildren->FindSegment(p, nLength);
        if (pChild == nullptr && pCurrent->m_pLazy != nullptr)
            pChild = pCurrent->BuildNamed(p, static_cast<size_t>(nLength));
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
    LazyChildren noted{nullptr, 0, 0, 0};
    if (pSource->m_pLazy != nullptr)
        noted = *pSource->m_pLazy;
    CVLXmlNodeConstIterator declared = FirstDeclared(noted.pDeclaring);
    CVLPropertyConstIterator it = pSource->m_pChildren->ConstBegin();
    for (int i = 0; i < noted.nDeclared || !it.IsEnd(); ++i) {
        const CVLXmlElement* pElement = i < noted.nDeclared ? NextDeclared(declared) : nullptr;
        const CVLProperty* pChild = nullptr;
        if (pElement != nullptr && !noted.IsBuilt(i)) {
            if (IsPending(pElement))
                continue;
            pChild = const_cast<CVLProperty*>(pSource)->BuildDeclared(i, pElement);
        } else if (!it.IsEnd()) {
            pChild = it.Get();
            it.Next();
        } else {
            continue;
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
    strText += *NameOf(pElement);
    strText += '=';
    strText += s_Empty.Dump();
    strText += '\n';
    if (!IsExpandedAtOnce(pElement))
        return;
    CVLXmlNodeConstIterator it = FirstDeclared(pElement);
    for (const CVLXmlElement* pChild = NextDeclared(it); pChild != nullptr; pChild = NextDeclared(it))
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
        CVLXmlNodeConstIterator declared;
        int nDeclared;
    };
    auto levelOf = [](const CVLProperty* pNode) {
        CVLPropertyCollection* pChildren = pNode->m_pChildren;
        const LazyChildren* pLazy = pNode->m_pLazy;
        return Level{pNode, pChildren == nullptr ? CVLPropertyConstIterator() : pChildren->ConstBegin(),
                     FirstDeclared(pLazy == nullptr ? nullptr : pLazy->pDeclaring), 0};
    };
    CVLString strText(VL_CHARSET_UTF8);
    DumpLine(strText, nLevel, szRootLabel);
    std::vector<Level> stack;
    stack.push_back(levelOf(this));
    while (!stack.empty()) {
        Level& level = stack.back();
        int nChildLevel = nLevel + static_cast<int>(stack.size());
        const LazyChildren* pLazy = level.pNode->m_pLazy;
        if (pLazy != nullptr && level.nDeclared < pLazy->nDeclared) {
            const CVLXmlElement* pElement = NextDeclared(level.declared);
            int nIndex = level.nDeclared++;
            if (pElement != nullptr && !pLazy->IsBuilt(nIndex)) {
                DumpDeclared(strText, nChildLevel, pElement);
                continue;
            }
        }
        if (level.it.IsEnd()) {
            stack.pop_back();
            continue;
        }
        const CVLProperty* pChild = level.it.Get();
        level.it.Next();
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
    m_bVariable = FlagOf(pDefinition, "variable");
    m_bAuto = FlagOf(pDefinition, "auto");
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
        if (pElement->GetTagNameRef() != s_szPropertyTag)
            continue;
        CVLString strName = pElement->GetAttribute("name");
        CVLProperty* pChild = CreateChild(strName.GetString());
        pChild->SetDefinition(pElement);
    }
}
