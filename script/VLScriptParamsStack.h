// The argument lists of the calls a run is assembling, newest on top. The
// stack owns its frames; it keeps a few removed ones, emptied, for reuse.
#ifndef VLSCRIPTPARAMSSTACK_H
#define VLSCRIPTPARAMSSTACK_H

#include <cstddef>
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
    virtual CVLScriptParams* Top() { return m_nTop == 0 ? nullptr : m_Frames[m_nTop - 1]; }
    // Deletes the newest frame; nothing on an empty stack.
    virtual void Pop();

    bool IsEmpty() const { return m_nTop == 0; }

private:
    CVLScriptParamsStack(const CVLScriptParamsStack&) = delete;
    CVLScriptParamsStack& operator=(const CVLScriptParamsStack&) = delete;

    // The frames in use, oldest first, then the removed ones kept emptied:
    // a push and a pop move only the count between them.
    std::vector<CVLScriptParams*> m_Frames;
    size_t m_nTop;
};

#endif
