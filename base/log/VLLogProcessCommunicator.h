// The log channel's pipe: named after the log's name, and for a per-process
// log (kind 1) also after its id.
#ifndef VLLOGPROCESSCOMMUNICATOR_H
#define VLLOGPROCESSCOMMUNICATOR_H

#include "base/log/VLProcessCommunicator.h"

class CVLLogProcessCommunicator : public CVLProcessCommunicator
{
public:
    CVLLogProcessCommunicator();
    virtual ~CVLLogProcessCommunicator();

    // Refused: a log pipe is opened by kind, name and id.
    virtual bool Open(const char* szName, bool bOwner) override;
    // Kind 0 application, 1 process (the pipe is name + "_" + id), 2 debug.
    virtual bool Open(VL_ULONG nKind, const char* szName, const char* szId, bool bOwner);
};

#endif
