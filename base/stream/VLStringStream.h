// A stream that reads and writes a CVLString (UTF-8 when created). Writes
// append text up to the first zero byte; reads start at the read position.
#ifndef VLSTRINGSTREAM_H
#define VLSTRINGSTREAM_H

#include <string>

#include "base/core/VLStream.h"

class CVLStringStream : public IVLStream
{
public:
    CVLStringStream();
    virtual ~CVLStringStream();

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

    virtual CVLString& GetString();
    // Replaces the held text; the open flag and read position stay.
    void SetString(const char* szText);

protected:
    // Moves what was written since the string was last looked at into it.
    void TakeWritten();

    CVLString m_strText;
    std::string m_Written;
    bool m_bOpen;
    int m_nReadPos;
};

#endif
