#include "modules/vlpc/VLBase64.h"

#include <vector>

#include "base/core/VLByteArray.h"
#include "base/core/VLException.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLStream.h"
#include "modules/vlpc/VLPCDefs.h"

namespace {

const char* const s_szFile = "VLBase64";
const int LINE_ENCODE_NULL_INPUT = 73;
const int LINE_ENCODE_NULL_OUTPUT = 76;
const int LINE_ENCODE_LADDER = 168;
const int LINE_DECODE_NULL_INPUT = 181;
const int LINE_DECODE_LADDER = 286;

// A line break follows the group of four characters that takes the line
// count past this, so lines carry 76 characters (19 groups, 57 bytes).
const int LINE_LIMIT = 72;
const int GROUPS_PER_LINE = 19;

const char s_Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Each alphabet character's value, 0 for every other byte ('A' too, so 'A'
// and '=' are recognized by name). The fast table marks what is not a plain
// alphabet character with a value of 64 or more.
const VL_BYTE NOT_DIGIT = 0xFF;
struct DecodeTable
{
    VL_BYTE value[256];
    VL_BYTE fast[256];
    DecodeTable()
    {
        for (int i = 0; i < 256; ++i) {
            value[i] = 0;
            fast[i] = NOT_DIGIT;
        }
        for (int i = 0; i < 64; ++i) {
            value[static_cast<VL_BYTE>(s_Alphabet[i])] = static_cast<VL_BYTE>(i);
            fast[static_cast<VL_BYTE>(s_Alphabet[i])] = static_cast<VL_BYTE>(i);
        }
    }
};
const DecodeTable s_Decode;

// Writes the whole result with one Write, opening and closing a stream that
// was not open.
void WriteAll(IVLStream* pOutput, const VL_BYTE* pData, int nLength)
{
    bool bWasOpen = pOutput->IsOpen();
    if (!bWasOpen)
        pOutput->Open(VL_OPEN_WRITE);
    try {
        if (nLength > 0)
            pOutput->Write(pData, static_cast<VL_SIZE_T>(nLength));
    } catch (...) {
        if (!bWasOpen)
            pOutput->Close();
        throw;
    }
    if (!bWasOpen)
        pOutput->Close();
}

}  // namespace

void VLBase64Encode(IVLStream* pInput, IVLStream* pOutput)
{
    try {
        if (pInput == nullptr)
            throw new EVLInvalidParamException(VLMIME_MODULE, s_szFile, LINE_ENCODE_NULL_INPUT);
        if (pOutput == nullptr)
            throw new EVLInvalidParamException(VLMIME_MODULE, s_szFile, LINE_ENCODE_NULL_OUTPUT);
        CVLByteArray input;
        input.LoadFromStream(pInput);
        const int n = input.GetSize();
        const VL_BYTE* p = input.GetData();
        const int nGroups = n / 3;
        const int nRest = n % 3;
        const size_t nOut =
            4 * static_cast<size_t>(nGroups + (nRest ? 1 : 0)) + 2 * static_cast<size_t>(nGroups / GROUPS_PER_LINE) + 2;
        std::vector<VL_BYTE> out(nOut);
        VL_BYTE* q = out.data();
        int nLine = 0;
        for (int g = 0; g < nGroups; ++g, p += 3) {
            const unsigned int v =
                (static_cast<unsigned int>(p[0]) << 16) | (static_cast<unsigned int>(p[1]) << 8) | p[2];
            q[0] = s_Alphabet[v >> 18];
            q[1] = s_Alphabet[(v >> 12) & 0x3F];
            q[2] = s_Alphabet[(v >> 6) & 0x3F];
            q[3] = s_Alphabet[v & 0x3F];
            q += 4;
            nLine += 4;
            if (nLine > LINE_LIMIT) {
                *q++ = '\r';
                *q++ = '\n';
                nLine = 0;
            }
        }
        if (nRest == 1) {
            q[0] = s_Alphabet[p[0] >> 2];
            q[1] = s_Alphabet[(p[0] & 0x03) << 4];
            q[2] = '=';
            q[3] = '=';
            q += 4;
        } else if (nRest == 2) {
            q[0] = s_Alphabet[p[0] >> 2];
            q[1] = s_Alphabet[((p[0] & 0x03) << 4) | (p[1] >> 4)];
            q[2] = s_Alphabet[(p[1] & 0x0F) << 2];
            q[3] = '=';
            q += 4;
        }
        *q++ = '\r';
        *q++ = '\n';
        WriteAll(pOutput, out.data(), static_cast<int>(q - out.data()));
    } catch (...) {
        VLRethrowAsFramework(VLMIME_MODULE, s_szFile, LINE_ENCODE_LADDER);
    }
}

bool VLBase64Decode(IVLStream* pInput, IVLStream* pOutput)
{
    try {
        if (pInput == nullptr)
            throw new EVLInvalidParamException(VLMIME_MODULE, s_szFile, LINE_DECODE_NULL_INPUT);
        CVLByteArray input;
        input.LoadFromStream(pInput);
        const int n = input.GetSize();
        const VL_BYTE* p = input.GetData();
        std::vector<VL_BYTE> out(static_cast<size_t>(n / 4) * 3 + 3);
        VL_BYTE* q = out.data();
        int i = 0;
        bool bEnd = false;
        while (!bEnd && i < n) {
            // Four alphabet characters in a row: no breaks, no padding.
            if (i + 4 <= n) {
                const unsigned int f1 = s_Decode.fast[p[i]], f2 = s_Decode.fast[p[i + 1]];
                const unsigned int f3 = s_Decode.fast[p[i + 2]], f4 = s_Decode.fast[p[i + 3]];
                if ((f1 | f2 | f3 | f4) < 64) {
                    const unsigned int v = (f1 << 18) | (f2 << 12) | (f3 << 6) | f4;
                    q[0] = static_cast<VL_BYTE>(v >> 16);
                    q[1] = static_cast<VL_BYTE>(v >> 8);
                    q[2] = static_cast<VL_BYTE>(v);
                    q += 3;
                    i += 4;
                    continue;
                }
            }
            VL_BYTE c[4];
            int nCount = 0;
            while (nCount < 4 && i < n) {
                VL_BYTE ch = p[i++];
                if (ch == '\r' || ch == '\n')
                    continue;
                if (ch != 'A' && ch != '=' && s_Decode.value[ch] == 0)
                    return false;
                c[nCount++] = ch;
            }
            if (nCount == 0)
                break;
            // A group cut short carries whole bytes only up to where it ends:
            // the missing characters count as padding. One character alone
            // holds fewer than 8 bits and gives nothing.
            if (nCount < 4) {
                bEnd = true;
                if (nCount == 1)
                    break;
                for (int k = nCount; k < 4; ++k)
                    c[k] = '=';
            }
            const VL_BYTE v1 = s_Decode.value[c[0]], v2 = s_Decode.value[c[1]];
            const VL_BYTE v3 = s_Decode.value[c[2]], v4 = s_Decode.value[c[3]];
            *q++ = static_cast<VL_BYTE>((v1 << 2) | ((v2 & 0x30) >> 4));
            if (c[2] == '=')
                break;
            *q++ = static_cast<VL_BYTE>(((v2 << 4) | ((v3 & 0x3C) >> 2)) & 0xFF);
            if (c[3] == '=')
                break;
            *q++ = static_cast<VL_BYTE>(((v3 << 6) | v4) & 0xFF);
        }
        if (pOutput != nullptr)
            WriteAll(pOutput, out.data(), static_cast<int>(q - out.data()));
    } catch (...) {
        VLRethrowAsFramework(VLMIME_MODULE, s_szFile, LINE_DECODE_LADDER);
    }
    return true;
}
