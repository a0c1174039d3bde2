// The argument list of a script call or run: owned CVLVariant arguments in
// order, one return value, and the extension through which a host call was
// forwarded.
#ifndef VLSCRIPTPARAMS_H
#define VLSCRIPTPARAMS_H

#include "base/core/TVLObjectList.h"
#include "base/value/VLVariant.h"

class IVLScriptExtendIF;

typedef TVLObjectListIterator<CVLVariant> CVLScriptParamIterator;
typedef TVLObjectListConstIterator<CVLVariant> CVLScriptParamConstIterator;

class CVLScriptParams : public TVLObjectList<CVLVariant, CVLScriptParamIterator, CVLScriptParamConstIterator>
{
public:
    typedef TVLObjectList<CVLVariant, CVLScriptParamIterator, CVLScriptParamConstIterator> Base;
    using Base::operator=;

    CVLScriptParams();
    CVLScriptParams(const CVLScriptParams& src);
    virtual ~CVLScriptParams();

    virtual void DeleteElement(CVLVariant* p) override;
    virtual CVLVariant* CreateElement() override;

    // Deep copies of the arguments and the return value; the caller stays.
    virtual CVLScriptParams& operator=(const CVLScriptParams& src);
    virtual void ClearReturnValue() { m_ReturnValue.ResetInline(); }
    virtual void SetReturnValue(const CVLVariant& value);
    virtual CVLVariant& GetReturnValue() { return m_ReturnValue; }
    virtual void SetCaller(IVLScriptExtendIF* pCaller) { m_pCaller = pCaller; }
    virtual IVLScriptExtendIF* GetCaller() { return m_pCaller; }

    // For the argument frames of a run: empties the list as DeleteAll does,
    // but keeps a few distinct plain arguments, emptied, with their list
    // entries, for AddKept. A call then allocates nothing.
    void Recycle();
    // Add, taking a kept argument when there is one.
    CVLVariant* AddKept()
    {
        if (m_Kept.empty())
            return Add();
        m_List.splice(m_List.end(), m_Kept, m_Kept.begin());
        return m_List.back();
    }
    // The arguments in order, read where the list's own type is known.
    const std::list<CVLVariant*>& GetArguments() const { return m_List; }

protected:
    CVLVariant m_ReturnValue;
    IVLScriptExtendIF* m_pCaller;

private:
    std::list<CVLVariant*> m_Kept;
};

#endif
