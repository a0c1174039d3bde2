// The built-in function library of the script language: text, binary data,
// byte orders and IPv4 addresses.
#include "base/core/VLBoostWrapper.h"
#include "base/core/VLByteOrder.h"
#include "base/core/VLIconvWrapper.h"
#include "base/core/VLInvalidParamException.h"
#include "script/VLScript.h"
#include "script/VLScriptException.h"
#include "script/VLScriptParams.h"
#include "script/VLScriptProgram.h"
#include "base/net/VLSocketAddress.h"
#include "base/value/VLVariant.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const g_szIPv4Pattern =
    "((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|0[1-9][0-9]|[1-9][0-9]|00[0-9]|0[0-9]|[0-9])\\.){3}"
    "(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|0[1-9][0-9]|[1-9][0-9]|00[0-9]|0[0-9]|[0-9])";

// The arguments of one call and its result.
class CBuiltinCall
{
public:
    explicit CBuiltinCall(CVLScriptParams* pParams) : m_pParams(pParams) {}

    int Count() const { return m_pParams->GetCount(); }
    CVLVariant& Arg(int n) const { return *m_pParams->GetAt(n); }
    CVLString Text(int n) const { return Arg(n).ToString(nullptr); }
    int Int(int n) const { return Arg(n).ToInt(0); }
    CVLByteArray Binary(int n) const { return Arg(n).ToByteArray(nullptr, 0); }

    void Return(const CVLVariant& v) { m_pParams->SetReturnValue(v); }
    void ReturnString(const CVLString& s)
    {
        CVLVariant v;
        v.SetString(s);
        Return(v);
    }
    void ReturnBinary(const void* p, int n)
    {
        CVLVariant v;
        v.SetType(15);
        if (n > 0)
            v.SetBinary(p, n);
        Return(v);
    }
    void ReturnInt(int n)
    {
        CVLVariant v;
        v.SetInt(n);
        Return(v);
    }

private:
    CVLScriptParams* m_pParams;
};

// 1 little-endian, 2 big-endian; nDefault for any other word.
int ByteOrderOf(const CVLString& strWord, int nDefault)
{
    if (strWord.CompareNoCase("Big") == 0)
        return 2;
    if (strWord.CompareNoCase("Little") == 0)
        return 1;
    return nDefault;
}

CVLString HexText(const VL_BYTE* p, int n)
{
    CVLString s(VL_CHARSET_UTF8);
    if (n > 0)
        s.SetHex(p, n, true);
    return s;
}

void Mid(CBuiltinCall& call, bool bBytes)
{
    CVLString s = call.Text(0);
    int nStart = call.Int(1);
    int nLength = bBytes ? s.GetLength() : s.GetCharCount();
    CVLString piece(s.GetCharset());
    if (call.Count() == 2) {
        if (nStart >= 0 && nStart < nLength)
            piece = bBytes ? s.Mid(nStart) : s.MidChar(nStart);
    } else {
        int nCount = call.Int(2);
        if (nStart >= 0 && nStart < nLength && nCount > 0)
            piece = bBytes ? s.Mid(nStart, nCount) : s.MidChar(nStart, nCount);
    }
    call.ReturnString(piece);
}

void SubBinary(CBuiltinCall& call)
{
    CVLByteArray b = call.Binary(0);
    int n = b.GetSize();
    int nStart = call.Int(1);
    if (nStart < 0 || nStart >= n) {
        call.ReturnBinary(nullptr, 0);
        return;
    }
    long long nCount = static_cast<long long>(n) - nStart;
    if (call.Count() == 3) {
        long long nWanted = call.Int(2);
        if (static_cast<long long>(nStart) + nWanted <= n)
            nCount = nWanted;
    }
    CVLByteArray result;
    // A negative count is refused by the byte array.
    result.Append(b.GetData() + nStart, static_cast<int>(nCount));
    call.ReturnBinary(result.GetData(), result.GetSize());
}

void HexStringToString(CBuiltinCall& call)
{
    CVLString h = call.Text(0);
    int nSize = h.GetLength();
    if (nSize == 0) {
        call.ReturnString(CVLString(VL_CHARSET_UTF8));
        return;
    }
    std::vector<VL_BYTE> buffer(static_cast<size_t>(nSize), 0);
    h.HexToBytes(buffer.data(), nSize);
    // The text ends at the first zero byte, or at the end of the buffer.
    size_t nLength = 0;
    while (nLength < buffer.size() && buffer[nLength] != 0)
        ++nLength;
    call.ReturnString(CVLString(buffer.data(), static_cast<int>(nLength), VL_CHARSET_UTF8));
}

void HexStringToBinary(CBuiltinCall& call)
{
    CVLString h = call.Text(0);
    int nSize = h.GetLength();
    if (nSize == 0) {
        call.ReturnBinary(nullptr, 0);
        return;
    }
    std::vector<VL_BYTE> buffer(static_cast<size_t>(nSize), 0);
    int n = h.HexToBytes(buffer.data(), nSize);
    call.ReturnBinary(buffer.data(), n);
}

void BinaryToString(CBuiltinCall& call)
{
    CVLByteArray b = call.Binary(0);
    int eCharset = VL_CHARSET_UTF8;
    if (call.Count() == 2) {
        CVLString strName = call.Text(1);
        int e = CVLIconvWrapper::GetCharsetId(strName.GetBuffer());
        if (e >= 0)
            eCharset = e;
    }
    // The text ends at the first zero code unit.
    int nUnit = CVLString(eCharset).GetCharSize();
    if (nUnit <= 0)
        nUnit = 1;
    const VL_BYTE* p = b.GetData();
    int nLength = 0;
    while (p != nullptr && nLength + nUnit <= b.GetSize()) {
        bool bZero = true;
        for (int i = 0; i < nUnit; ++i)
            bZero = bZero && p[nLength + i] == 0;
        if (bZero)
            break;
        nLength += nUnit;
    }
    CVLString s(eCharset);
    if (nLength > 0)
        s.Assign(p, nLength, eCharset);
    call.ReturnString(s);
}

// What an argument stands for, through references to variables.
const CVLVariant& Resolved(const CVLVariant& v)
{
    const CVLVariant* p = &v;
    for (int i = 0; i < 8 && p->GetType() == VL_VARIANT_TYPE_REFERENCE && p->GetReference() != nullptr; ++i)
        p = p->GetReference();
    return *p;
}

// The address bytes of an argument, never by a host-name lookup: a socket
// address gives its own (the host text when it is a dotted quad), a binary
// of 4 bytes gives them, anything else is read as a dotted quad. 0.0.0.0
// when there are none.
void AddressBytesOf(const CVLVariant& arg, unsigned char bytes[4])
{
    std::memset(bytes, 0, 4);
    const CVLVariant& v = Resolved(arg);
    const int nType = v.GetType();
    if (nType == VL_VARIANT_TYPE_SOCKET_ADDRESS) {
        CVLSocketAddress& address = v.GetSocketAddress();
        if (CVLSocketAddress::ParseDottedQuad(address.GetHost().GetString(), bytes))
            return;
        const unsigned char* pCached = address.GetSockAddrBytes();
        if (pCached != nullptr)
            std::memcpy(bytes, pCached, 4);
        return;
    }
    if (nType == VLSCR_TYPE_BINARY) {
        CVLByteArray b = v.ToByteArray(nullptr, 0);
        if (b.GetSize() == 4)
            std::memcpy(bytes, b.GetData(), 4);
        return;
    }
    if (!CVLSocketAddress::ParseDottedQuad(v.ToString(nullptr).GetString(), bytes))
        std::memset(bytes, 0, 4);
}

void ConvertNetworkAddress(CBuiltinCall& call)
{
    unsigned char address[4];
    unsigned char mask[4];
    AddressBytesOf(call.Arg(0), address);
    AddressBytesOf(call.Arg(1), mask);
    for (int i = 0; i < 4; ++i)
        address[i] = static_cast<unsigned char>(address[i] & mask[i]);
    // A socket address argument lends its protocol and port to the result.
    CVLSocketAddress result;
    const CVLVariant& first = Resolved(call.Arg(0));
    if (first.GetType() == VL_VARIANT_TYPE_SOCKET_ADDRESS) {
        const CVLSocketAddress& src = first.GetSocketAddress();
        result.SetProtocol(src.GetProtocol());
        result.SetPort(src.GetPort());
    }
    result.FormatAddress(address);
    CVLVariant v;
    v.SetSocketAddress(result);
    call.Return(v);
}

VL_ULONG IPv4StringToULong(const CVLString& s)
{
    int p1 = s.Find('.');
    int p2 = s.Find('.', p1 + 1);
    int p3 = s.Find('.', p2 + 1);
    auto part = [&s](int nFrom, int nTo) {
        if (nTo < nFrom)
            return VL_ULONG(0);
        return s.Mid(nFrom, nTo - nFrom).ToULong(0);
    };
    VL_ULONG a = part(0, p1);
    VL_ULONG b = part(p1 + 1, p2);
    VL_ULONG c = part(p2 + 1, p3);
    VL_ULONG d = s.Mid(p3 + 1).ToULong(0);
    return (a << 24) | (b << 16) | (c << 8) | d;
}

}  // namespace

namespace {
// The functions of the built-in library and their argument counts.
const struct
{
    const char* szName;
    int nMin;
    int nMax;
} s_Functions[] = {
    {"Mid", 2, 3},           {"MidB", 2, 3},           {"Len", 1, 1},
    {"LenB", 1, 1},          {"SubBinary", 2, 3},      {"DataLength", 1, 1},
    {"Convert", 2, 3},       {"Compare", 2, 2},        {"CompareNoCase", 2, 2},
    {"StringToHexString", 1, 1}, {"HexStringToString", 1, 1}, {"ConvertNetworkAddress", 2, 2},
    {"BinaryToHexString", 1, 1}, {"HexStringToBinary", 1, 1}, {"StringToBinary", 1, 2},
    {"BinaryToString", 1, 2}, {"ByteToBinary", 1, 1},  {"BinaryToByte", 1, 1},
    {"UShortToBinary", 1, 2}, {"BinaryToUShort", 1, 2}, {"ULongToBinary", 1, 2},
    {"BinaryToULong", 1, 2}, {"StringToUInt", 1, 1},   {"MergeBinary", 2, 2},
    {"IsIPv4String", 1, 1},  {"IPv4StringToULong", 1, 1},
};
const int kBuiltinCount = static_cast<int>(sizeof(s_Functions) / sizeof(s_Functions[0]));

int FindBuiltin(const char* szName)
{
    for (int i = 0; i < kBuiltinCount; ++i) {
        if (std::strcmp(szName, s_Functions[i].szName) == 0)
            return i;
    }
    return -1;
}
}  // namespace

bool VLScriptIsBuiltinName(const char* szName)
{
    return szName != nullptr && FindBuiltin(szName) >= 0;
}

const char* VLScriptBuiltinName(int nIndex)
{
    return nIndex >= 0 && nIndex < kBuiltinCount ? s_Functions[nIndex].szName : nullptr;
}

bool CVLScript::CallBuiltinFunction(const char* szName, CVLScriptParams* pParams, const VL_BYTE* pInstruction) const
{
    if (szName == nullptr || pParams == nullptr)
        return false;
    int nIndex = FindBuiltin(szName);
    if (nIndex < 0)
        return false;

    auto countError = [&](const std::string& strReason) {
        EVLScriptException* e =
            new EVLScriptException(VLSCRIPT_MODULE, "VLScript", __LINE__, VLSCR_ERR_PARAMS_COUNT, GetName().GetBuffer(),
                                   static_cast<int>(GetLineNumber(pInstruction)), true);
        return e->SetReason(strReason);
    };
    CBuiltinCall call(pParams);
    int nCount = call.Count();
    const int nMin = s_Functions[nIndex].nMin, nMax = s_Functions[nIndex].nMax;
    if (nCount < nMin || nCount > nMax)
        throw countError(std::string(szName) + " takes " + std::to_string(nMin) +
                         (nMax != nMin ? " or " + std::to_string(nMax) : std::string()) + " argument" +
                         (nMax == 1 ? "" : "s") + ", not " + std::to_string(nCount));

    switch (nIndex) {
    case 0:  // Mid
        Mid(call, false);
        break;
    case 1:  // MidB
        Mid(call, true);
        break;
    case 2:  // Len
        call.ReturnInt(call.Text(0).GetCharCount());
        break;
    case 3:  // LenB
        call.ReturnInt(call.Text(0).GetLength());
        break;
    case 4:
        SubBinary(call);
        break;
    case 5: {  // DataLength
        CVLVariant v;
        v.SetLong(call.Binary(0).GetSize());
        call.Return(v);
        break;
    }
    case 6: {  // Convert
        bool bDiscard = nCount == 3 ? call.Arg(2).ToBool(false) : true;
        CVLString strCharset = call.Text(1);
        call.ReturnString(call.Text(0).ConvertTo(strCharset.GetBuffer(), bDiscard));
        break;
    }
    case 7:  // Compare
        call.ReturnInt(call.Text(0).Compare(call.Text(1)));
        break;
    case 8:  // CompareNoCase
        call.ReturnInt(call.Text(0).CompareNoCase(call.Text(1)));
        break;
    case 9: {  // StringToHexString
        CVLString s = call.Text(0);
        call.ReturnString(HexText(reinterpret_cast<const VL_BYTE*>(s.GetBuffer()), s.GetLength()));
        break;
    }
    case 10:
        HexStringToString(call);
        break;
    case 11:
        ConvertNetworkAddress(call);
        break;
    case 12: {  // BinaryToHexString
        CVLByteArray b = call.Binary(0);
        call.ReturnString(HexText(b.GetData(), b.GetSize()));
        break;
    }
    case 13:
        HexStringToBinary(call);
        break;
    case 14: {  // StringToBinary: the argument itself becomes binary
        CVLVariant src(call.Arg(0));
        call.Arg(0).SetAs(15, src);
        CVLByteArray b = call.Binary(0);
        call.ReturnBinary(b.GetData(), b.GetSize());
        break;
    }
    case 15:
        BinaryToString(call);
        break;
    case 16: {  // ByteToBinary
        VL_BYTE n = call.Arg(0).ToUChar(0);
        call.ReturnBinary(&n, 1);
        break;
    }
    case 17: {  // BinaryToByte
        CVLByteArray b = call.Binary(0);
        if (b.GetSize() != 1)
            throw countError("BinaryToByte takes a binary value of 1 byte, not " + std::to_string(b.GetSize()));
        CVLVariant v;
        v.SetUChar(b.GetData()[0]);
        call.Return(v);
        break;
    }
    case 18: {  // UShortToBinary
        int nHost = CVLByteOrder::GetHostOrder();
        int nOrder = nCount == 2 ? ByteOrderOf(call.Text(1), nHost) : nHost;
        VL_BYTE bytes[2];
        CVLByteOrder::SetUInt16(call.Arg(0).ToUShort(0), nOrder, bytes);
        call.ReturnBinary(bytes, 2);
        break;
    }
    case 19: {  // BinaryToUShort
        CVLByteArray b = call.Binary(0);
        int nOrder = nCount == 2 && ByteOrderOf(call.Text(1), 2) == 1 ? 1 : 2;
        CVLVariant v;
        v.SetUShort(b.GetSize() >= 2 ? CVLByteOrder::GetUInt16(nOrder, b.GetData()) : 0);
        call.Return(v);
        break;
    }
    case 20: {  // ULongToBinary
        int nHost = CVLByteOrder::GetHostOrder();
        int nOrder = nCount == 2 ? ByteOrderOf(call.Text(1), nHost) : nHost;
        VL_BYTE bytes[4];
        CVLByteOrder::SetUInt32(call.Arg(0).ToULong(0), nOrder, bytes);
        call.ReturnBinary(bytes, 4);
        break;
    }
    case 21: {  // BinaryToULong
        CVLByteArray b = call.Binary(0);
        int nOrder = nCount == 2 && ByteOrderOf(call.Text(1), 2) == 1 ? 1 : 2;
        CVLVariant v;
        v.SetULong(b.GetSize() >= 4 ? CVLByteOrder::GetUInt32(nOrder, b.GetData()) : 0);
        call.Return(v);
        break;
    }
    case 22: {  // StringToUInt
        CVLVariant v;
        v.SetUInt(call.Arg(0).ToUInt(0));
        call.Return(v);
        break;
    }
    case 23: {  // MergeBinary
        CVLByteArray a = call.Binary(0);
        CVLByteArray b = call.Binary(1);
        std::vector<VL_BYTE> merged(static_cast<size_t>(a.GetSize()) + static_cast<size_t>(b.GetSize()));
        if (a.GetSize() > 0)
            memcpy(merged.data(), a.GetData(), static_cast<size_t>(a.GetSize()));
        if (b.GetSize() > 0)
            memcpy(merged.data() + a.GetSize(), b.GetData(), static_cast<size_t>(b.GetSize()));
        call.ReturnBinary(merged.data(), static_cast<int>(merged.size()));
        break;
    }
    case 24: {  // IsIPv4String
        CVLString s = call.Text(0);
        CVLVariant v;
        v.SetBool(s.GetLength() != 0 && CVLBoostWrapper::RegexMatch(g_szIPv4Pattern, s.GetBuffer()));
        call.Return(v);
        break;
    }
    case 25: {  // IPv4StringToULong
        CVLVariant v;
        v.SetULong(IPv4StringToULong(call.Text(0)));
        call.Return(v);
        break;
    }
    default:
        return false;
    }
    return true;
}
