// One VLPC datagram: a 14-byte header and the data behind it, at most 512
// bytes in all. The buffer is allocated once and never grows, so a write
// past it fails instead of making a longer datagram.
//
// Header: magic "ORVEK" (0-4), packet-type letter (5; a reply carries the
// request's letter plus 0x20), device type (6), device number (7), function
// code (8-9), result (10-11) and data size (12-13), big-endian. Every
// accessor reads only bytes the packet holds: a header field beyond a short
// packet reads as 0.
#ifndef VLPCPACKET_H
#define VLPCPACKET_H

#include "base/core/VLByteArray.h"

class CVLPC;
class CVLPCFunction;
class CVLPCPacketFormat;

class CVLPCPacket : public CVLByteArray
{
public:
    CVLPCPacket();
    virtual ~CVLPCPacket();

    using CVLByteArray::GetData;

    // Starts a request: the 14-byte header of the function, data size 0.
    virtual void MakeHeader(CVLPC* pVLPC, CVLPCFunction* pFunction);
    // Writes the count of bytes behind the header into positions 12-13.
    virtual void SetDataSize();
    // The data from nOffset, nLength bytes of it (negative: to the end),
    // which must lie inside the packet.
    virtual VL_BYTE* GetData(int nOffset, int nLength);
    // Positions 12-13; a packet shorter than the header throws
    // EVLInvalidParamException.
    virtual unsigned short GetDataSize() const;
    virtual bool IsInvalidDataSize() const;
    virtual bool IsValidHeaderSize() const;
    virtual bool IsValidMagic() const;
    // True when the type byte minus 0x20 is cRequestType.
    virtual bool IsReplyOf(VL_BYTE cRequestType) const;
    virtual bool IsFunction(const VL_BYTE* pFunctionCode) const;
    // Positions 10-11; F0 00 for a packet shorter than the header.
    virtual const VL_BYTE* GetResultBytes() const;
    virtual unsigned short GetResult() const;
    virtual VL_BYTE GetPacketType() const;
    virtual VL_BYTE GetDeviceType() const;
    // Positions 8-9 (two zero bytes for a short packet).
    virtual const VL_BYTE* GetFunction() const;
    virtual VL_BYTE GetDeviceNumber() const;
    // The payload cipher for this packet: 0 none, 1 the word cipher, 2 the
    // mode whose cipher is the identity.
    virtual int GetEncryptionMode(CVLPC* pVLPC, CVLPCPacketFormat* pFormat) const;
    virtual void EncryptData(CVLPC* pVLPC, CVLPCPacketFormat* pFormat);
    virtual void DecryptData(CVLPC* pVLPC, CVLPCPacketFormat* pFormat);
    virtual void Encrypt(CVLPC* pVLPC, CVLPCPacketFormat* pFormat, bool bEncrypt);
    // The word cipher over the data copy, written back behind the header;
    // an odd count gains a 0x00 byte (the data size field keeps the count).
    virtual void WordCrypt(CVLPC* pVLPC, CVLPCPacketFormat* pFormat, bool bEncrypt, const CVLByteArray& data);
    virtual unsigned short RotateWord(unsigned short nValue, int nCount, bool bLeft) const;
    // Mode 2: the data goes out as it is.
    virtual void ARC4Crypt(CVLPC* pVLPC, CVLPCPacketFormat* pFormat, bool bEncrypt, const CVLByteArray& data);

private:
    CVLPCPacket(const CVLPCPacket&) = delete;
    CVLPCPacket& operator=(const CVLPCPacket&) = delete;

    // The header byte at nPosition, 0 when the packet does not reach it.
    VL_BYTE HeaderByte(int nPosition) const;
};

#endif
