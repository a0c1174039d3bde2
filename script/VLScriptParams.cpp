#include "script/VLScriptParams.h"

#include <new>
#include <typeinfo>
#include <vector>

#include "script/VLScriptDefs.h"

CVLScriptParams::CVLScriptParams() : m_pCaller(nullptr)
{
}

CVLScriptParams::CVLScriptParams(const CVLScriptParams& src) : Base(), m_pCaller(nullptr)
{
    *this = src;
}

CVLScriptParams::~CVLScriptParams()
{
    DeleteAll();
    for (CVLVariant* p : m_Kept)
        DeleteElement(p);
}

namespace {
// The variant types of a 32-bit value: int, unsigned int, long, unsigned long.
const int kFirstWordType = 6;
const int kLastWordType = 9;

// Arguments a frame keeps for reuse at most.
const size_t kMaxKeptArguments = 8;

// Plain variants that argument lists of this thread deleted, emptied, for the
// thread's next arguments.
const size_t kMaxSpareArguments = 64;
thread_local bool t_bSpareGone = false;

class CSpareArguments
{
public:
    CSpareArguments() {}
    ~CSpareArguments()
    {
        t_bSpareGone = true;  // lists deleted later at thread exit delete directly
        for (CVLVariant* p : m_Spare)
            delete p;
    }
    CSpareArguments(const CSpareArguments&) = delete;
    CSpareArguments& operator=(const CSpareArguments&) = delete;

    std::vector<CVLVariant*> m_Spare;
};
thread_local CSpareArguments t_Spare;
}  // namespace

void CVLScriptParams::DeleteElement(CVLVariant* p)
{
    // Only plain variants are kept: an emptied one is what CreateElement
    // would make.
    if (p != nullptr && !t_bSpareGone && typeid(*p) == typeid(CVLVariant)) {
        std::vector<CVLVariant*>& spare = t_Spare.m_Spare;
        if (spare.size() < kMaxSpareArguments) {
            try {
                spare.push_back(p);
                p->ResetInline();
                return;
            } catch (...) {
            }
        }
    }
    delete p;
}

CVLVariant* CVLScriptParams::CreateElement()
{
    if (!t_bSpareGone && !t_Spare.m_Spare.empty()) {
        CVLVariant* p = t_Spare.m_Spare.back();
        t_Spare.m_Spare.pop_back();
        return p;
    }
    CVLVariant* p = new (std::nothrow) CVLVariant();
    if (p == nullptr)
        throw new EVLMemoryAllocException(VLSCRIPT_MODULE, "VLScriptParams", __LINE__);
    return p;
}

CVLScriptParams& CVLScriptParams::operator=(const CVLScriptParams& src)
{
    // Copying a list onto itself would first delete what it copies.
    if (&src == this)
        return *this;
    Copy(src);
    m_ReturnValue = src.m_ReturnValue;
    return *this;
}

void CVLScriptParams::SetReturnValue(const CVLVariant& value)
{
    // A 32-bit value (the common result of a host call) is stored in place,
    // with its flag, as the assignment would store it.
    int nType = value.GetTypeInline();
    if (nType >= kFirstWordType && nType <= kLastWordType) {
        m_ReturnValue.SetWordInline(nType, value.GetWordInline());
        m_ReturnValue.SetModified(value.IsModified());
        return;
    }
    m_ReturnValue = value;
}

void CVLScriptParams::Recycle()
{
    if (m_List.empty())
        return;
    // Only what AddKept would hand out again is kept: distinct plain
    // variants (what a handler added may be anything).
    bool bKeep = m_List.size() + m_Kept.size() <= kMaxKeptArguments;
    for (auto it = m_List.begin(); bKeep && it != m_List.end(); ++it) {
        const CVLVariant* p = *it;
        bKeep = p != nullptr && typeid(*p) == typeid(CVLVariant);
        for (auto q = m_List.begin(); bKeep && q != it; ++q)
            bKeep = *q != *it;
    }
    if (!bKeep) {
        DeleteAll();
        return;
    }
    for (CVLVariant* p : m_List)
        p->ResetInline();
    m_Kept.splice(m_Kept.end(), m_List);
}
