// The stream over a file of the C runtime's buffered file layer. The open
// C file holds mode, position and size; the stream keeps only the file.
#ifndef VLFILESTREAM_H
#define VLFILESTREAM_H

#include <cstdio>

#include "base/core/VLStream.h"

class CVLFileStream : public IVLStream
{
public:
    CVLFileStream();
    virtual ~CVLFileStream();

    virtual CVLString GetClassName() const override;
    virtual void Open(VL_OPEN_MODE eMode) override;
    virtual bool IsOpen() override;
    virtual void Close() override;
    virtual VL_SIZE_T Read(VL_BYTE* pBuffer, VL_SIZE_T nBufferSize) override;
    virtual void Write(const VL_BYTE* pBuffer, VL_SIZE_T nBufferSize) override;
    virtual void Flush() override;
    virtual void Seek(VL_SIZE_T nPosition) override;
    virtual VL_SIZE_T GetSize() override;
    virtual void Clear() override;
    virtual VL_CONST_STR GetTypeName() const override;
    virtual void Destroy() override;

    virtual void SetFileName(VL_CONST_STR szFileName);
    virtual CVLString& GetFileName();

protected:
    FILE* m_pFile;
};

#endif
