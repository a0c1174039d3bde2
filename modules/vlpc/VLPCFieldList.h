// An ordered, owning list of VLPC fields: a payload layout, or the entry
// layout of a repeated field. It builds its fields into a send packet and
// expands a reply's fields into a target's property tree, in list order.
#ifndef VLPCFIELDLIST_H
#define VLPCFIELDLIST_H

#include <cstddef>
#include <vector>

class CVLModuleController;
class CVLPC;
class CVLPCField;
class CVLPCFunction;
class CVLPCPacket;
class CVLProperty;
class CVLTarget;
class CVLXmlElement;

class CVLPCFieldList
{
public:
    CVLPCFieldList();
    virtual ~CVLPCFieldList();

    // Appends a field for each child element named "Field", in order.
    virtual void Load(CVLModuleController* pController, const CVLXmlElement* pElement);
    // Builds every field; true when any field reported a modified property.
    virtual bool MakePacket(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pSendPacket, CVLTarget* pTarget,
                            CVLProperty* pParent, long& lOffset);
    // Expands every field. Paths resolve below pParent, or below the
    // target's root property when it is null.
    virtual void ExpandPacket(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pRecvPacket, CVLTarget* pTarget,
                              CVLProperty* pParent, long& lOffset);

    bool IsEmpty() const { return m_Fields.empty(); }
    int GetCount() const { return static_cast<int>(m_Fields.size()); }
    const CVLPCField* GetAt(int nIndex) const { return m_Fields[static_cast<size_t>(nIndex)]; }

private:
    friend class CVLPCField;

    CVLPCFieldList(const CVLPCFieldList&) = delete;
    CVLPCFieldList& operator=(const CVLPCFieldList&) = delete;

    // Expansion of the entries of a repeated field; with bStore false the
    // fields are only read over.
    void ExpandFields(CVLPC* pVLPC, CVLPCFunction* pFunction, CVLPCPacket* pRecvPacket, CVLTarget* pTarget,
                      CVLProperty* pParent, long& lOffset, bool bStore);

    std::vector<CVLPCField*> m_Fields;
};

#endif
