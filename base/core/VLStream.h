// The byte-stream interface of files, memory blocks, strings, scrambled
// resource files and sockets. A stream handed over as IVLStream* is released
// with Destroy().
#ifndef VLSTREAM_H
#define VLSTREAM_H

#include "base/core/VLString.h"
#include "base/core/VLTypes.h"

// Any int is representable: a mode out of range is refused, not undefined.
enum VL_OPEN_MODE : int
{
    VL_OPEN_READ = 0,        // "r"
    VL_OPEN_WRITE = 1,       // "w"
    VL_OPEN_APPEND = 2,      // "a"
    VL_OPEN_READ_PLUS = 3,   // "r+"
    VL_OPEN_WRITE_PLUS = 4   // "w+"
};

class IVLStream
{
public:
    IVLStream();
    virtual ~IVLStream();

    virtual CVLString GetClassName() const = 0;
    virtual void Open(VL_OPEN_MODE eMode) = 0;
    virtual bool IsOpen() = 0;
    virtual void Close() = 0;
    virtual VL_SIZE_T Read(VL_BYTE* pBuffer, VL_SIZE_T nBufferSize) = 0;
    virtual void Write(const VL_BYTE* pBuffer, VL_SIZE_T nBufferSize) = 0;
    virtual void Flush() = 0;
    virtual void Seek(VL_SIZE_T nPosition) = 0;
    virtual VL_SIZE_T GetSize() = 0;
    virtual void Clear() = 0;
    virtual void SetName(VL_CONST_STR szName);
    virtual CVLString& GetName();
    virtual VL_CONST_STR GetTypeName() const = 0;
    virtual void SetPath(VL_CONST_STR szPath);
    virtual CVLString& GetPath();
    virtual void Destroy() = 0;

protected:
    CVLString m_strName;
    CVLString m_strReserved;
    CVLString m_strPath;

private:
    friend class CVLStreamCollection;  // copies the three texts when cloning
    IVLStream(const IVLStream&) = delete;
    IVLStream& operator=(const IVLStream&) = delete;
};

#endif
