// The debugger's records of script texts, filed by script name.
#ifndef VLSCRDBGFILEINFOCOLLECTION_H
#define VLSCRDBGFILEINFOCOLLECTION_H

#include "base/core/TVLStringKeyCollection.h"
#include "script/VLScrDbgFileInfo.h"

typedef TVLObjectListIterator<CVLScrDbgFileInfo> CVLScrDbgFileInfoIterator;
typedef TVLObjectListConstIterator<CVLScrDbgFileInfo> CVLScrDbgFileInfoConstIterator;

class CVLScrDbgFileInfoCollection
    : public TVLStringKeyCollection<CVLScrDbgFileInfo, CVLScrDbgFileInfoIterator, CVLScrDbgFileInfoConstIterator,
                                    CVLString, const char*>
{
public:
    CVLScrDbgFileInfoCollection();
    virtual ~CVLScrDbgFileInfoCollection();

    virtual void DeleteElement(CVLScrDbgFileInfo* p) override;
    // A new record named after the key.
    virtual CVLScrDbgFileInfo* CreateElement(const char* szKey) override;
};

#endif
