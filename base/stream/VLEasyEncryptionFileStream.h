// A file stream whose file holds its data scrambled: a 10-byte header
// ("VLEE", version, fillers, the inverted key index), the data scrambled two
// bytes at a time, and a 2-byte trailer whose first byte tells whether the
// data length is odd. Positions and sizes are those of the plain data.
#ifndef VLEASYENCRYPTIONFILESTREAM_H
#define VLEASYENCRYPTIONFILESTREAM_H

#include "base/stream/VLFileStream.h"

// Scrambles (bEncode) or unscrambles pairs of bytes with one key entry of 6
// bytes. *pOutSize is the capacity of pOut on entry; with a null pOut only
// the needed size is stored (and false returned).
bool VLScrambleBytePairs(bool bEncode, VL_BYTE* pOut, VL_SIZE_T* pOutSize, const VL_BYTE* pIn, VL_SIZE_T nInSize,
                         const VL_BYTE* pKey);

class CVLEasyEncryptionFileStream : public CVLFileStream
{
public:
    enum { KEY_COUNT = 8, KEY_SIZE = 6, HEADER_SIZE = 10, TRAILER_SIZE = 2 };

    CVLEasyEncryptionFileStream();
    // Closes (writing the trailer of an open writer); never throws.
    virtual ~CVLEasyEncryptionFileStream();

    virtual CVLString GetClassName() const override;
    // Mode 0 reads, mode 1 writes; any other mode is refused.
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

    // The key index the next OpenForWrite uses; -1 chooses one at random.
    virtual void SetKeyIndex(int nIndex);
    virtual int GetKeyIndex();
    virtual int GetCurrentKeyIndex();
    virtual void OpenForRead();
    virtual void OpenForWrite();
    virtual void ReadHeader();
    virtual void ReadTrailer();
    virtual VL_SIZE_T ReadData(VL_BYTE* pBuffer, VL_SIZE_T nCount);
    virtual VL_SIZE_T ReadPairs(VL_BYTE* pBuffer, VL_SIZE_T nCount);
    virtual void ReadPairByte(VL_BYTE* pByte, bool bFirst);
    virtual void WriteHeader();
    virtual void WriteTrailer();
    virtual void WriteData(const VL_BYTE* pBuffer, VL_SIZE_T nCount);
    virtual VL_BYTE MakeTrailerByte();
    virtual void Reset();

    // The key entry for an index 0..7 (the table is built on first use).
    static const VL_BYTE* GetKeyEntry(int nIndex);

protected:
    static void BuildKeyTable();

    int m_nMode;              // 0 reading or closed, 1 writing
    int m_nKeyIndex;          // requested; -1 chooses at random
    int m_nCurrentKeyIndex;   // in use; -1 until the first open
    int m_nPosition;          // in the plain data
    int m_nSize;              // of the plain data
    // A writer holds back the last byte of an odd-length Write, so that the
    // next Write continues the same pair; Close writes it padded.
    bool m_bPending;
    VL_BYTE m_nPendingByte;
};

#endif
