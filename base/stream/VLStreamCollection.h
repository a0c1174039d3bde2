// A keyed collection of streams that creates a file stream or a memory
// stream for a name according to a type table. Removing a stream destroys it.
#ifndef VLSTREAMCOLLECTION_H
#define VLSTREAMCOLLECTION_H

#include <map>

#include "base/core/TVLStringKeyCollection.h"
#include "base/core/VLStream.h"

class CVLStreamIterator : public TVLObjectListIterator<IVLStream>
{
public:
    using TVLObjectListIterator<IVLStream>::TVLObjectListIterator;
};

class CVLStreamConstIterator : public TVLObjectListConstIterator<IVLStream>
{
public:
    using TVLObjectListConstIterator<IVLStream>::TVLObjectListConstIterator;
};

class CVLStreamCollection
    : public TVLStringKeyCollection<IVLStream, CVLStreamIterator, CVLStreamConstIterator, CVLString, const char*>
{
public:
    CVLStreamCollection();
    virtual ~CVLStreamCollection();

    virtual void DeleteElement(IVLStream* p) override;
    // Copies only the name, the second text and the path of p.
    virtual IVLStream* CloneElement(const char* szKey, const IVLStream* p) override;
    virtual IVLStream* CreateElement(const char* szName) override;

    // Files a new stream named szName; szKey chooses its type and becomes its path.
    virtual IVLStream* AddStream(const char* szName, const char* szKey);
    virtual void SetFileFolder(const char* szFolder);
    virtual CVLString& GetFileFolder();
    virtual void SetDefaultType(const char* szType);
    virtual CVLString& GetDefaultType();
    virtual void SetStreamType(const char* szKey, const char* szType);
    // The hook for a derived collection's own stream types; null here.
    virtual IVLStream* CreateCustomStream(const char* szType);

    CVLString GetStreamType(const char* szKey) const;

protected:
    CVLString m_strCurrentKey;
    CVLString m_strFileFolder;
    CVLString m_strDefaultType;
    std::map<CVLString, CVLString> m_Types;
};

#endif
