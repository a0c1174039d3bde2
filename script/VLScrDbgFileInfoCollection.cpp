#include "script/VLScrDbgFileInfoCollection.h"
#include "base/core/VLMemoryAllocException.h"
#include "script/VLScriptDefs.h"

#include <new>

CVLScrDbgFileInfoCollection::CVLScrDbgFileInfoCollection()
{
}

CVLScrDbgFileInfoCollection::~CVLScrDbgFileInfoCollection()
{
    RemoveAll();
}

void CVLScrDbgFileInfoCollection::DeleteElement(CVLScrDbgFileInfo* p)
{
    delete p;
}

CVLScrDbgFileInfo* CVLScrDbgFileInfoCollection::CreateElement(const char* szKey)
{
    CVLScrDbgFileInfo* p = new (std::nothrow) CVLScrDbgFileInfo();
    if (p == nullptr)
        throw new EVLMemoryAllocException(VLSCRIPT_MODULE, "VLScrDbgFileInfoCollection", __LINE__);
    p->SetName(szKey);
    return p;
}
