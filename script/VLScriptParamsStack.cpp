#include "script/VLScriptParamsStack.h"

#include <new>

#include "base/core/VLMemoryAllocException.h"
#include "script/VLScriptDefs.h"
#include "script/VLScriptParams.h"

CVLScriptParamsStack::CVLScriptParamsStack() : m_nTop(0)
{
}

CVLScriptParamsStack::~CVLScriptParamsStack()
{
    for (CVLScriptParams* p : m_Frames)
        delete p;
}

namespace {
// Removed frames kept for reuse at most.
const size_t kMaxSpareFrames = 16;
}  // namespace

CVLScriptParams* CVLScriptParamsStack::Push()
{
    try {
        if (m_nTop < m_Frames.size())
            return m_Frames[m_nTop++];
        CVLScriptParams* p = new (std::nothrow) CVLScriptParams();
        if (p == nullptr)
            throw new EVLMemoryAllocException(VLSCRIPT_MODULE, "VLScriptParams", __LINE__);
        try {
            m_Frames.push_back(p);
        } catch (...) {
            delete p;
            throw;
        }
        ++m_nTop;
        return p;
    }
    VL_CATCH_LADDER(VLSCRIPT_MODULE, "VLScriptParams")
}

void CVLScriptParamsStack::Pop()
{
    if (m_nTop == 0)
        return;
    CVLScriptParams* p = m_Frames[--m_nTop];
    if (m_Frames.size() - m_nTop <= kMaxSpareFrames) {
        try {
            // Emptied to what a new frame holds.
            // The stack's own frames are plain argument lists.
            p->Recycle();
            p->CVLScriptParams::ClearReturnValue();
            p->CVLScriptParams::SetCaller(nullptr);
            return;
        } catch (...) {
        }
    }
    // Not kept: the last slot takes its place among the spares.
    m_Frames[m_nTop] = m_Frames.back();
    m_Frames.pop_back();
    delete p;
}
