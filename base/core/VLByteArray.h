// The owned byte buffer of the framework: a fixed capacity and a separate
// count of the bytes in use. The buffer never grows by itself; only Allocate
// (or the first Write into an empty array) changes the capacity, and doing so
// discards the contents.
#ifndef VLBYTEARRAY_H
#define VLBYTEARRAY_H

#include "base/core/VLTypes.h"

class IVLStream;

class CVLByteArray
{
public:
    CVLByteArray();
    CVLByteArray(const CVLByteArray& other);
    virtual ~CVLByteArray();

    virtual int GetCapacity() const;
    virtual int GetSize() const;
    // Sets the count of bytes in use; 0..capacity, else EVLInvalidParamException.
    virtual void SetSize(int nSize);
    // The byte at nOffset, with nLength bytes (negative: up to the size) that
    // must lie within the size. Null when nothing is allocated.
    virtual VL_BYTE* GetBuffer(int nOffset, int nLength) const;
    // Bytes from nOffset up to the first zero byte, or up to the size.
    virtual int GetTextLength(int nOffset) const;
    virtual CVLByteArray& Assign(const CVLByteArray& src);
    virtual VL_BYTE* GetData() const;
    // Zeroes the whole capacity and sets the size to 0; the allocation stays.
    virtual void Clear();
    virtual void Allocate(int nCapacity);
    virtual void Free();
    virtual void Append(const void* pData, int nLength);
    virtual void Write(int nPosition, const void* pData, int nLength);
    virtual void CopyTo(int nOffset, void* pDest, int nLength) const;
    virtual bool Equals(const void* pData, int nLength) const;
    virtual bool Equals(const CVLByteArray& other) const;

    // Reads the whole stream into a new allocation, opening it for reading
    // (and closing it again) when it is not open.
    void LoadFromStream(IVLStream* pStream);

    CVLByteArray& operator=(const CVLByteArray& other) { return Assign(other); }
    bool operator==(const CVLByteArray& other) const { return Equals(other); }
    bool operator!=(const CVLByteArray& other) const { return !Equals(other); }

protected:
    int m_nDataLength;
    int m_nBufferSize;
    VL_BYTE* m_pBuffer;
};

#endif
