#include "script/VLScriptParamsStack.h"

#include <new>

#include "base/core/VLMemoryAllocException.h"
#include "script/VLScriptDefs.h"
#include "script/VLScriptParams.h"

CVLScriptParamsStack::CVLScriptParamsStack()
{
}

CVLScriptParamsStack::~CVLScriptParamsStack()
{
    while (!m_Frames.empty())
        Pop();
    for (CVLScriptParams* p : m_Spare)
        delete p;
}

namespace {
// Removed frames kept for reuse at most.
const size_t kMaxSpareFrames = 16;
}  // namespace

CVLScriptParams* CVLScriptParamsStack::Push()
{
    try {
        CVLScriptParams* p = nullptr;
        if (!m_Spare.empty()) {
            p = m_Spare.back();
            m_Spare.pop_back();
        } else {
            p = new (std::nothrow) CVLScriptParams();
            if (p == nullptr)
                throw new EVLMemoryAllocException(VLSCRIPT_MODULE, "VLScriptParams", __LINE__);
        }
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

void CVLScriptParamsStack::Pop()
{
    if (m_Frames.empty())
        return;
    CVLScriptParams* p = m_Frames.back();
    m_Frames.pop_back();
    if (m_Spare.size() < kMaxSpareFrames) {
        try {
            // Emptied to what a new frame holds.
            // The stack's own frames are plain argument lists.
            p->Recycle();
            p->CVLScriptParams::ClearReturnValue();
            p->CVLScriptParams::SetCaller(nullptr);
            m_Spare.push_back(p);
            return;
        } catch (...) {
        }
    }
    delete p;
}
