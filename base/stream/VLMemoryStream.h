// A stream over a chain of heap blocks: written once (always at the end),
// then read from any position. Every block but the tail is full.
#ifndef VLMEMORYSTREAM_H
#define VLMEMORYSTREAM_H

#include "base/core/VLStream.h"

struct VLMemoryBlock
{
    VLMemoryBlock* pNext;
    int nSize;        // bytes allocated
    VL_BYTE* pData;   // owned
};

class CVLMemoryStream : public IVLStream
{
public:
    CVLMemoryStream();
    virtual ~CVLMemoryStream();

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

    // Drops the contents and makes one empty block of at least nSize bytes.
    virtual void Allocate(int nSize);
    // The sum of all block sizes.
    virtual int GetCapacity();
    // The size of blocks made from now on (default 256).
    virtual CVLMemoryStream* SetBlockSize(int nSize);
    virtual VLMemoryBlock* AllocateBlock(int nSize, VLMemoryBlock* pPrev);
    virtual void FreeBlocks();

protected:
    VLMemoryBlock* m_pHead;
    VLMemoryBlock* m_pTail;
    int m_nTailUsed;
    VLMemoryBlock* m_pReadBlock;
    int m_nReadOffset;
    int m_nBlockSize;
    int m_nTotalSize;
    int m_nMode;
    bool m_bOpen;
};

#endif
