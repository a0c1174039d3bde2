#include "modules/vlpc/VLPCPacket.h"

#include <cstring>

#include "base/core/VLByteOrder.h"
#include "base/core/VLString.h"
#include "modules/vlpc/VLARC4.h"
#include "modules/vlpc/VLPC.h"
#include "modules/vlpc/VLPCDefs.h"
#include "modules/vlpc/VLPCFunction.h"
#include "modules/vlpc/VLPCPacketFormat.h"

namespace {

const int BYTE_ORDER_BIG = 2;
const int POS_PACKET_TYPE = 5;
const int POS_DEVICE_TYPE = 6;
const int POS_DEVICE_NUMBER = 7;
const int POS_FUNCTION = 8;
const int POS_RESULT = 10;
const int POS_DATA_SIZE = 12;
const VL_BYTE SHORT_PACKET_RESULT[2] = {0xF0, 0x00};
const VL_BYTE NO_FUNCTION[2] = {0, 0};
// Device numbers that choose cipher mode 2.
const VL_BYTE MODE2_FIRST_DEVICE = 0x80;
const VL_BYTE MODE2_LAST_DEVICE = 0xFE;
const int CIPHER_NONE = 0;
const int CIPHER_WORD = 1;
const int CIPHER_IDENTITY = 2;

}  // namespace

CVLPCPacket::CVLPCPacket()
{
    Allocate(VLPC_PACKET_CAPACITY);
    Clear();
}

CVLPCPacket::~CVLPCPacket()
{
}

VL_BYTE CVLPCPacket::HeaderByte(int nPosition) const
{
    return nPosition < GetSize() ? m_pBuffer[nPosition] : 0;
}

void CVLPCPacket::MakeHeader(CVLPC* pVLPC, CVLPCFunction* pFunction)
{
    Clear();
    Append(VLPC_MAGIC, VLPC_MAGIC_LENGTH);
    VL_BYTE header[5];
    header[0] = static_cast<VL_BYTE>(pFunction->GetPacketType());
    header[1] = pFunction->GetDeviceTypeCode();
    header[2] = 0;
    if (pFunction->GetDeviceNumber().GetLength() > 0)
        pFunction->GetDeviceNumber().HexToByte(&header[2]);
    else if (pVLPC != nullptr)
        header[2] = pVLPC->GetDeviceNumber();
    header[3] = pFunction->GetFunctionCode()[0];
    header[4] = pFunction->GetFunctionCode()[1];
    Append(header, 5);
    SetSize(VLPC_HEADER_SIZE);
}

void CVLPCPacket::SetDataSize()
{
    VL_BYTE size[2];
    const int nData = GetSize() > VLPC_HEADER_SIZE ? GetSize() - VLPC_HEADER_SIZE : 0;
    CVLByteOrder::SetUInt16(static_cast<uint16_t>(nData), BYTE_ORDER_BIG, size);
    Write(POS_DATA_SIZE, size, 2);
}

VL_BYTE* CVLPCPacket::GetData(int nOffset, int nLength)
{
    return GetBuffer(VLPC_HEADER_SIZE + nOffset, nLength);
}

unsigned short CVLPCPacket::GetDataSize() const
{
    VL_BYTE size[2];
    CopyTo(POS_DATA_SIZE, size, 2);
    return CVLByteOrder::GetUInt16(BYTE_ORDER_BIG, size);
}

bool CVLPCPacket::IsInvalidDataSize() const
{
    return GetDataSize() + VLPC_HEADER_SIZE != GetSize();
}

bool CVLPCPacket::IsValidHeaderSize() const
{
    return GetSize() >= VLPC_HEADER_SIZE;
}

bool CVLPCPacket::IsValidMagic() const
{
    return GetSize() >= VLPC_MAGIC_LENGTH && std::memcmp(m_pBuffer, VLPC_MAGIC, VLPC_MAGIC_LENGTH) == 0;
}

bool CVLPCPacket::IsReplyOf(VL_BYTE cRequestType) const
{
    if (GetSize() <= POS_PACKET_TYPE)
        return false;
    return static_cast<int>(m_pBuffer[POS_PACKET_TYPE]) - VLPC_REPLY_LETTER_OFFSET == static_cast<int>(cRequestType);
}

bool CVLPCPacket::IsFunction(const VL_BYTE* pFunctionCode) const
{
    return GetSize() >= POS_FUNCTION + 2 && m_pBuffer[POS_FUNCTION] == pFunctionCode[0] &&
           m_pBuffer[POS_FUNCTION + 1] == pFunctionCode[1];
}

const VL_BYTE* CVLPCPacket::GetResultBytes() const
{
    return IsValidHeaderSize() ? m_pBuffer + POS_RESULT : SHORT_PACKET_RESULT;
}

unsigned short CVLPCPacket::GetResult() const
{
    return CVLByteOrder::GetUInt16(BYTE_ORDER_BIG, GetResultBytes());
}

VL_BYTE CVLPCPacket::GetPacketType() const
{
    return HeaderByte(POS_PACKET_TYPE);
}

VL_BYTE CVLPCPacket::GetDeviceType() const
{
    return HeaderByte(POS_DEVICE_TYPE);
}

const VL_BYTE* CVLPCPacket::GetFunction() const
{
    return GetSize() >= POS_FUNCTION + 2 ? m_pBuffer + POS_FUNCTION : NO_FUNCTION;
}

VL_BYTE CVLPCPacket::GetDeviceNumber() const
{
    return HeaderByte(POS_DEVICE_NUMBER);
}

int CVLPCPacket::GetEncryptionMode(CVLPC* pVLPC, CVLPCPacketFormat* pFormat) const
{
    if (GetSize() <= VLPC_HEADER_SIZE)
        return CIPHER_NONE;
    const VL_BYTE nDevice = pVLPC != nullptr ? pVLPC->GetDeviceNumber() : 0;
    const VL_BYTE nMode = pVLPC != nullptr ? pVLPC->GetEncryptionMode() : 0;
    const VL_BYTE nType = pVLPC != nullptr ? pVLPC->GetEncryptionType() : 0;
    if (nDevice >= MODE2_FIRST_DEVICE && nDevice <= MODE2_LAST_DEVICE)
        return CIPHER_IDENTITY;
    if (pFormat != nullptr && pFormat->IsForceEncrypts())
        return nType != 0 ? CIPHER_WORD : CIPHER_NONE;
    if (GetDeviceType() == 0 && GetFunction()[0] == 0 && GetFunction()[1] == 0)
        return CIPHER_NONE;
    return nMode == 1 && nType == 1 ? CIPHER_WORD : CIPHER_NONE;
}

void CVLPCPacket::EncryptData(CVLPC* pVLPC, CVLPCPacketFormat* pFormat)
{
    Encrypt(pVLPC, pFormat, true);
}

void CVLPCPacket::DecryptData(CVLPC* pVLPC, CVLPCPacketFormat* pFormat)
{
    Encrypt(pVLPC, pFormat, false);
}

void CVLPCPacket::Encrypt(CVLPC* pVLPC, CVLPCPacketFormat* pFormat, bool bEncrypt)
{
    const int nMode = GetEncryptionMode(pVLPC, pFormat);
    if (nMode == CIPHER_NONE)
        return;
    const int n = GetSize() - VLPC_HEADER_SIZE;
    CVLByteArray data;
    data.Allocate(n);
    data.Write(0, m_pBuffer + VLPC_HEADER_SIZE, n);
    if (nMode == CIPHER_WORD)
        WordCrypt(pVLPC, pFormat, bEncrypt, data);
    else
        ARC4Crypt(pVLPC, pFormat, bEncrypt, data);
}

void CVLPCPacket::WordCrypt(CVLPC* pVLPC, CVLPCPacketFormat* pFormat, bool bEncrypt, const CVLByteArray& data)
{
    (void)pFormat;
    const VL_BYTE* pMAC = pVLPC != nullptr ? pVLPC->GetMACAddress()->GetBytes() : NO_FUNCTION;
    const unsigned short nKey = pVLPC != nullptr ? static_cast<unsigned short>(pMAC[4] * 256 + pMAC[5]) : 0;
    const int nCount = VLPC_WORD_CIPHER_TABLE[nKey % 8];
    const int n = data.GetSize();
    const int nWords = (n + 1) / 2;
    // An odd count gains one byte; the buffer always has room for it, as an
    // odd data count is at most 497.
    if (n % 2 != 0)
        SetSize(VLPC_HEADER_SIZE + n + 1);
    const VL_BYTE* p = data.GetData();
    for (int i = 0; i < nWords; ++i) {
        const unsigned short w = static_cast<unsigned short>((p[2 * i] << 8) | (2 * i + 1 < n ? p[2 * i + 1] : 0));
        const unsigned short r = bEncrypt ? RotateWord(static_cast<unsigned short>(w ^ nKey), nCount, true)
                                          : static_cast<unsigned short>(RotateWord(w, nCount, false) ^ nKey);
        CVLByteOrder::SetUInt16(r, BYTE_ORDER_BIG, m_pBuffer + VLPC_HEADER_SIZE + 2 * i);
    }
}

unsigned short CVLPCPacket::RotateWord(unsigned short nValue, int nCount, bool bLeft) const
{
    if (!bLeft)
        nCount = 16 - nCount;
    const uint32_t v = static_cast<uint32_t>(nValue) << (static_cast<unsigned int>(nCount) % 32);
    return static_cast<unsigned short>(v + (v >> 16));
}

void CVLPCPacket::ARC4Crypt(CVLPC* pVLPC, CVLPCPacketFormat* pFormat, bool bEncrypt, const CVLByteArray& data)
{
    (void)pVLPC;
    (void)pFormat;
    (void)bEncrypt;
    CVLARC4 cipher;
    cipher.SetKey(VLPC_ARC4_KEY, VLPC_ARC4_KEY_LENGTH);
    cipher.Crypt(m_pBuffer + VLPC_HEADER_SIZE, data.GetData(), data.GetSize());
}
