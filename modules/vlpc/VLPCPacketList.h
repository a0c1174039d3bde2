// A named, ordered list of VLPC requests ("PacketList" with "Function"
// children): what a caller of the module runs against a device.
#ifndef VLPCPACKETLIST_H
#define VLPCPACKETLIST_H

#include <vector>

#include "base/core/VLString.h"
#include "base/core/VLTypes.h"

class CVLModuleController;
class CVLPCFunction;
class CVLXmlElement;

typedef std::vector<CVLPCFunction*>::const_iterator CVLPCFunctionIterator;

class CVLPCPacketList
{
public:
    CVLPCPacketList();
    virtual ~CVLPCPacketList();

    virtual const CVLString& GetName() const { return m_strName; }
    virtual void SetName(VL_CONST_STR szName);
    // Appends each "Function" child before loading it, so a failing one and
    // those before it stay in the list.
    virtual void Load(CVLModuleController* pController, const CVLXmlElement* pElement);
    virtual CVLPCFunctionIterator Begin() const { return m_Functions.begin(); }
    virtual bool IsEnd(const CVLPCFunctionIterator& it) const { return it == m_Functions.end(); }
    virtual int GetCount() const { return static_cast<int>(m_Functions.size()); }

private:
    CVLPCPacketList(const CVLPCPacketList&) = delete;
    CVLPCPacketList& operator=(const CVLPCPacketList&) = delete;

    CVLString m_strName;
    std::vector<CVLPCFunction*> m_Functions;
};

#endif
