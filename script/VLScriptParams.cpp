#include "VLScriptParams.h"

#include <new>
#include <typeinfo>

#include "VLScriptDefs.h"

CVLScriptParams::CVLScriptParams() : m_pCaller(nullptr), m_bClosing(false)
{
}

CVLScriptParams::CVLScriptParams(const CVLScriptParams& src) : Base(), m_pCaller(nullptr), m_bClosing(false)
{
    *this = src;
}

CVLScriptParams::~CVLScriptParams()
{
    m_bClosing = true;
    DeleteAll();
    for (CVLVariant* p : m_Spare)
        delete p;
}

namespace {
// Deleted arguments kept for reuse at most.
const size_t kMaxSpareArguments = 8;
}  // namespace

void CVLScriptParams::DeleteElement(CVLVariant* p)
{
    // Only plain variants are kept: an emptied one is what CreateElement
    // would make.
    if (p != nullptr && !m_bClosing && m_Spare.size() < kMaxSpareArguments && typeid(*p) == typeid(CVLVariant)) {
        try {
            m_Spare.push_back(p);
            p->ResetInline();
            return;
        } catch (...) {
        }
    }
    delete p;
}

CVLVariant* CVLScriptParams::CreateElement()
{
    if (!m_Spare.empty()) {
        CVLVariant* p = m_Spare.back();
        m_Spare.pop_back();
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

void CVLScriptParams::ClearReturnValue()
{
    m_ReturnValue.Reset();
}

void CVLScriptParams::SetReturnValue(const CVLVariant& value)
{
    m_ReturnValue = value;
}

CVLVariant& CVLScriptParams::GetReturnValue()
{
    return m_ReturnValue;
}

void CVLScriptParams::SetCaller(IVLScriptExtendIF* pCaller)
{
    m_pCaller = pCaller;
}

IVLScriptExtendIF* CVLScriptParams::GetCaller()
{
    return m_pCaller;
}
