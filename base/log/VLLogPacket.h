// A log record as it travels to the log receiver: one contiguous buffer in
// wire form, with the two header texts and the payload found in it.
//
// Wire form (little-endian):
//   0 u16 type | 2 u32 total length | 6 u64 packed date-time | 14 u16 flags
//   16 u32 A | 20 u32 B | 24 u8 T1, text 1 | u8 T2, text 2 | u16 C | u16 P,
//   payload
// The total length is 30 + T1 + T2 + P. Flag bit 0 marks a header-only
// packet: the 16 bytes up to the flags and nothing else.
//
// Payloads: type 1 four texts (u8 l1, s1, u16 l2, s2, u8 l3, s3, u16 l4, s4);
// type 5 two bytes and one or two blocks (u8 a, u8 b, u16 len1, block 1
// [, u16 len2, block 2]); type 6 a u16 value; types 7 and 8 a text.
#ifndef VLLOGPACKET_H
#define VLLOGPACKET_H

#include "base/value/VLDateTime.h"
#include "base/core/VLString.h"

class CVLLogPacket
{
public:
    enum
    {
        HEADER_ONLY_LENGTH = 16,
        MIN_LENGTH = 30,
        // 30 + 255 + 255 + 65535: no valid packet is longer.
        MAX_LENGTH = 30 + 255 + 255 + 65535,
        MAX_TEXT_LENGTH = 255
    };

    CVLLogPacket();
    CVLLogPacket(const CVLLogPacket& src);
    CVLLogPacket(uint16_t nType, const CVLDateTime& time, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                 const char* szText2, uint16_t nC);
    CVLLogPacket(uint16_t nType, VL_ULONGLONG nTime, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                 const char* szText2, uint16_t nC);
    CVLLogPacket(uint16_t nType, const CVLDateTime& time, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                 const char* szText2, uint16_t nC, uint16_t nPayloadLength, const void* pPayload);
    CVLLogPacket(uint16_t nType, VL_ULONGLONG nTime, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                 const char* szText2, uint16_t nC, uint16_t nPayloadLength, const void* pPayload);
    virtual ~CVLLogPacket();

    // Every creation fails (false, packet unchanged) when the packet already
    // holds a buffer or a rule of its type is broken. Texts longer than 255
    // bytes are cut to 255; a payload that does not fit the 16-bit length is
    // refused.
    bool Create(uint16_t nType, const CVLDateTime& time, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                const char* szText2, uint16_t nC, uint16_t nPayloadLength, const void* pPayload);
    bool Create(uint16_t nType, VL_ULONGLONG nTime, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                const char* szText2, uint16_t nC, uint16_t nPayloadLength, const void* pPayload);
    // Type 1: 1 <= |s1| <= 255, 1 <= |s2| <= 65535, 1 <= |s3| <= 255,
    // |s4| <= 65535 (s4 may be null).
    bool CreateType1(const CVLDateTime& time, VL_ULONG nA, VL_ULONG nB, const char* szText1, const char* szText2,
                     uint16_t nC, const char* s1, const char* s2, const char* s3, const char* s4);
    bool CreateType1(VL_ULONGLONG nTime, VL_ULONG nA, VL_ULONG nB, const char* szText1, const char* szText2,
                     uint16_t nC, const char* s1, const char* s2, const char* s3, const char* s4);
    // Type 5 (or another type given) from data: one block of at least 1 byte.
    bool CreateType5(uint16_t nType, const CVLDateTime& time, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                     const char* szText2, uint16_t nC, VL_BYTE a, VL_BYTE b, const void* pData, VL_ULONG nLength);
    bool CreateType5(uint16_t nType, VL_ULONGLONG nTime, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                     const char* szText2, uint16_t nC, VL_BYTE a, VL_BYTE b, const void* pData, VL_ULONG nLength);
    // From texts: block 1 not empty; a second block, when given, not empty.
    bool CreateType5(uint16_t nType, const CVLDateTime& time, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                     const char* szText2, uint16_t nC, VL_BYTE a, VL_BYTE b, const char* szBlock1,
                     const char* szBlock2);
    bool CreateType5(uint16_t nType, VL_ULONGLONG nTime, VL_ULONG nA, VL_ULONG nB, const char* szText1,
                     const char* szText2, uint16_t nC, VL_BYTE a, VL_BYTE b, const char* szBlock1,
                     const char* szBlock2);
    // Type 6: the current time, no texts, A, B and C 0.
    bool CreateType6(uint16_t nValue);
    bool CreateType7(const CVLDateTime& time, VL_ULONG nA, VL_ULONG nB, const char* szText1, const char* szText2,
                     uint16_t nC, const char* szText);
    bool CreateType7(VL_ULONGLONG nTime, VL_ULONG nA, VL_ULONG nB, const char* szText1, const char* szText2,
                     uint16_t nC, const char* szText);
    // Type 8: time, A, B and C 0, no texts.
    bool CreateType8(const char* szText);

    // Reads received bytes into a buffer of the packet's own. False (packet
    // left empty) when they do not form one valid packet of exactly nLength.
    bool Read(VL_ULONG nLength, const VL_BYTE* pData);
    // Takes the buffer (allocated with new[]) when it holds a valid packet of
    // exactly nLength bytes; otherwise the caller keeps it.
    bool Attach(VL_ULONG nLength, VL_BYTE* pBuffer);
    void Clear();
    // Hands the buffer (to be released with delete[]) to the caller and
    // empties the packet.
    VL_BYTE* Detach();

    const VL_BYTE* GetBuffer() const { return m_pBuffer; }
    VL_ULONG GetLength() const;
    VL_ULONG GetBodyLength() const;
    uint16_t GetType() const;
    CVLDateTime GetTime() const;
    VL_ULONGLONG GetTimeValue() const;
    bool GetFlag(int nBit) const;
    const CVLString& GetText1() const { return m_strText1; }
    const CVLString& GetText2() const { return m_strText2; }
    VL_ULONG GetA() const;
    VL_ULONG GetB() const;
    uint16_t GetC() const;
    bool IsHeaderOnly() const;
    uint16_t GetPayloadLength() const { return m_nPayloadLength; }
    const VL_BYTE* GetPayload() const { return m_pPayload; }
    // Sets or clears a flag bit (0-15) and validates the packet again; when
    // it no longer validates, the flags are put back and false returned.
    bool SetFlag(int nBit, bool bValue);

    // Payload readers: false for another type or a malformed payload, and
    // (except the first two type 5 readers, which then give zeros) for an
    // empty payload. Every output may be null.
    bool GetType1(CVLString* pS1, CVLString* pS2, CVLString* pS3, CVLString* pS4) const;
    bool GetType5(VL_BYTE* pA, VL_BYTE* pB) const;
    bool GetType5(VL_BYTE* pA, VL_BYTE* pB, uint16_t* pBlockLength, const VL_BYTE** ppBlock) const;
    bool GetType5(VL_BYTE* pA, VL_BYTE* pB, CVLString* pBlock1) const;
    bool GetType5(VL_BYTE* pA, VL_BYTE* pB, CVLString* pBlock1, CVLString* pBlock2) const;
    bool GetType6(uint16_t* pValue) const;
    bool GetType7(CVLString* pText) const;
    bool GetType8(CVLString* pText) const;

private:
    CVLLogPacket& operator=(const CVLLogPacket&) = delete;

    // Checks the bytes and, when they form a packet, points the texts and
    // the payload into them.
    bool Parse(VL_ULONG nLength, const VL_BYTE* pData);
    bool Build(uint16_t nType, VL_ULONGLONG nTime, VL_ULONG nA, VL_ULONG nB, const char* szText1,
               const char* szText2, uint16_t nC, size_t nPayloadLength, const void* pPayload);
    bool ReadType5(VL_BYTE* pA, VL_BYTE* pB, uint16_t* pLength1, const VL_BYTE** ppBlock1, uint16_t* pLength2,
                   const VL_BYTE** ppBlock2, bool bRequirePayload) const;

    VL_BYTE* m_pBuffer;
    CVLString m_strText1;
    CVLString m_strText2;
    uint16_t m_nPayloadLength;
    const VL_BYTE* m_pPayload;
};

#endif
