#include "VLScriptParams.h"

#include <new>

#include "VLScriptDefs.h"

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
}

void CVLScriptParams::DeleteElement(CVLVariant* p)
{
    delete p;
}

CVLVariant* CVLScriptParams::CreateElement()
{
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
