#include "VLScriptParamsStack.h"

#include <new>

#include "VLMemoryAllocException.h"
#include "VLScriptDefs.h"
#include "VLScriptParams.h"

CVLScriptParamsStack::CVLScriptParamsStack()
{
}

CVLScriptParamsStack::~CVLScriptParamsStack()
{
    while (!m_Frames.empty())
        Pop();
}

CVLScriptParams* CVLScriptParamsStack::Push()
{
    try {
        CVLScriptParams* p = new (std::nothrow) CVLScriptParams();
        if (p == nullptr)
            throw new EVLMemoryAllocException(VLSCRIPT_MODULE, "VLScriptParams", __LINE__);
        try {
            m_Frames.push_back(p);
        } catch (...) {
            delete p;
            throw;
        }
        return p;
    }
    VL_CATCH_LADDER(VLSCRIPT_MODULE, "VLScriptParams")
}

CVLScriptParams* CVLScriptParamsStack::Top()
{
    return m_Frames.empty() ? nullptr : m_Frames.back();
}

void CVLScriptParamsStack::Pop()
{
    if (m_Frames.empty())
        return;
    CVLScriptParams* p = m_Frames.back();
    m_Frames.pop_back();
    delete p;
}
