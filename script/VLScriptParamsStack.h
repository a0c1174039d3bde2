// The argument lists of the calls a run is assembling, newest on top. The
// stack owns its frames; it keeps a few removed ones, emptied, for reuse.
#ifndef VLSCRIPTPARAMSSTACK_H
#define VLSCRIPTPARAMSSTACK_H

#include <vector>

class CVLScriptParams;

class CVLScriptParamsStack
{
public:
    CVLScriptParamsStack();
    virtual ~CVLScriptParamsStack();

    // A new empty frame on top.
    virtual CVLScriptParams* Push();
    // The newest frame, or null.
    virtual CVLScriptParams* Top() { return m_Frames.empty() ? nullptr : m_Frames.back(); }
    // Deletes the newest frame; nothing on an empty stack.
    virtual void Pop();

    bool IsEmpty() const { return m_Frames.empty(); }

private:
    CVLScriptParamsStack(const CVLScriptParamsStack&) = delete;
    CVLScriptParamsStack& operator=(const CVLScriptParamsStack&) = delete;

    std::vector<CVLScriptParams*> m_Frames;
    std::vector<CVLScriptParams*> m_Spare;
};

#endif
