// A device record's values as PATH=VALUE lines.
#include "app/VLNetPropertyLines.h"

#include <cstdio>

#include "base/core/VLCharset.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetLock.h"

namespace {
const char kHexMark[] = "hex:";
const size_t kHexMarkLength = sizeof(kHexMark) - 1;

// The numbers a record holds that are a character or a code to the device,
// by their property's name.
const struct
{
    const char* szName;
    CVLNetPropertyLines::EForm eForm;
} kForms[] = {
    {"VLPCVersion", CVLNetPropertyLines::FORM_CHARACTER},  // the version's ASCII letter or digit
    {"Result", CVLNetPropertyLines::FORM_CODE},            // the device's result code
    {"Function", CVLNetPropertyLines::FORM_CODE},          // a function code of a FunctionList
};
const size_t kCodeDigits = 4;
// The characters shown as themselves: printable ASCII.
const unsigned long kFirstShownCharacter = 0x20;
const unsigned long kLastShownCharacter = 0x7E;

std::string Bytes(const CVLString& str)
{
    const char* sz = str.GetBuffer();
    return sz != nullptr ? std::string(sz, static_cast<size_t>(str.GetLength())) : std::string();
}

std::string Hex(const std::string& strBytes)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string str = kHexMark;
    for (unsigned char c : strBytes) {
        str += kDigits[c >> 4];
        str += kDigits[c & 0x0F];
    }
    return str;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Well-formed UTF-8 without control characters (C0, DEL, C1).
bool IsPrintable(const std::string& str)
{
    for (size_t i = 0; i < str.size();) {
        size_t nLength = CVLNetPropertyLines::GetCharacterLength(str, i);
        if (nLength == 0 || CVLNetPropertyLines::IsControl(str, i))
            return false;
        i += nLength;
    }
    return true;
}

// Characters a shell takes as part of a plain word.
bool IsPlainWord(const std::string& str)
{
    for (unsigned char c : str) {
        bool bPlain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                      c == '_' || c == '-' || c == ':' || c == '/' || c == ',' || c == '+' || c == '@' || c == '%';
        if (!bPlain)
            return false;
    }
    return true;
}

std::string ShellQuote(const std::string& str)
{
    if (IsPlainWord(str))
        return str;
    std::string strQuoted = "'";
    for (char c : str) {
        if (c == '\'')
            strQuoted += "'\\''";
        else
            strQuoted += c;
    }
    return strQuoted + "'";
}

void AppendLines(const CVLProperty* pNode, const std::string& strPath, std::string& strLines)
{
    for (CVLPropertyConstIterator it = pNode->ConstBegin(); !it.IsEnd(); it.Next()) {
        const CVLProperty* pChild = it.Get();
        std::string strChildPath =
            strPath.empty() ? Bytes(pChild->GetName()) : strPath + "." + Bytes(pChild->GetName());
        if (pChild->GetChildCount() > 0) {
            AppendLines(pChild, strChildPath, strLines);
            continue;
        }
        if (pChild->GetType() == VL_VARIANT_TYPE_EMPTY)
            continue;
        std::string strValue = CVLNetPropertyLines::FormatValue(*pChild, strChildPath);
        if (IsPlainWord(strChildPath))
            strLines += strChildPath + "=" + strValue + "\n";
        else
            strLines += ShellQuote(strChildPath + "=" + strValue) + "\n";
    }
}
}  // namespace

size_t CVLNetPropertyLines::GetCharacterLength(const std::string& str, size_t nPos)
{
    unsigned char c = static_cast<unsigned char>(str[nPos]);
    if (c < 0x80)
        return 1;
    size_t nMore;
    unsigned long nCode;
    if (c >= 0xC2 && c <= 0xDF) {
        nMore = 1;
        nCode = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        nMore = 2;
        nCode = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        nMore = 3;
        nCode = c & 0x07;
    } else {
        return 0;
    }
    for (size_t k = 1; k <= nMore; k++) {
        if (nPos + k >= str.size())
            return 0;
        unsigned char d = static_cast<unsigned char>(str[nPos + k]);
        if ((d & 0xC0) != 0x80)
            return 0;
        nCode = (nCode << 6) | (d & 0x3F);
    }
    // Overlong forms, surrogates, beyond U+10FFFF.
    if ((nMore == 2 && nCode < 0x800) || (nMore == 3 && (nCode < 0x10000 || nCode > 0x10FFFF)) ||
        (nCode >= 0xD800 && nCode <= 0xDFFF))
        return 0;
    return nMore + 1;
}

bool CVLNetPropertyLines::IsControl(const std::string& str, size_t nPos)
{
    unsigned char c = static_cast<unsigned char>(str[nPos]);
    // C1 controls are U+0080..U+009F: C2 80..C2 9F.
    return c < 0x20 || c == 0x7F ||
           (c == 0xC2 && nPos + 1 < str.size() && static_cast<unsigned char>(str[nPos + 1]) < 0xA0);
}

CVLNetPropertyLines::EForm CVLNetPropertyLines::GetForm(const std::string& strPath)
{
    const std::string strName = strPath.substr(strPath.rfind('.') + 1);
    for (const auto& entry : kForms) {
        if (strName == entry.szName)
            return entry.eForm;
    }
    return FORM_NUMBER;
}

bool CVLNetPropertyLines::ParseForm(EForm eForm, const std::string& strText, unsigned long& nValue)
{
    if (eForm == FORM_CHARACTER) {
        // Printable ASCII as itself, any byte as hex:.
        std::string strByte;
        const bool bHex = ParseHex(strText, strByte);
        if (!bHex)
            strByte = strText;
        if (strByte.size() != 1)
            return false;
        const unsigned char c = static_cast<unsigned char>(strByte[0]);
        if (!bHex && (c < kFirstShownCharacter || c > kLastShownCharacter))
            return false;
        nValue = c;
        return true;
    }
    if (eForm != FORM_CODE || strText.size() != kCodeDigits)
        return false;
    unsigned long nCode = 0;
    for (char c : strText) {
        int nDigit = HexDigit(c);
        if (nDigit < 0)
            return false;
        nCode = nCode * 16 + static_cast<unsigned long>(nDigit);
    }
    nValue = nCode;
    return true;
}

std::string CVLNetPropertyLines::FormatValue(const CVLVariant& value, const std::string& strPath)
{
    int nType = value.GetType();
    const EForm eForm = GetForm(strPath);
    if (eForm != FORM_NUMBER && nType >= VL_VARIANT_TYPE_CHAR && nType <= VL_VARIANT_TYPE_ULONGLONG) {
        const unsigned long long nValue = value.ToULongLong(0);
        if (eForm == FORM_CODE && nValue <= 0xFFFF) {
            char szCode[8];
            snprintf(szCode, sizeof(szCode), "%04llX", nValue);
            return szCode;
        }
        if (eForm == FORM_CHARACTER && nValue <= 0xFF) {
            const std::string strCharacter(1, static_cast<char>(nValue));
            return nValue >= kFirstShownCharacter && nValue <= kLastShownCharacter ? ShellQuote(strCharacter)
                                                                                   : Hex(strCharacter);
        }
    }
    if (nType == VL_VARIANT_TYPE_BINARY) {
        const unsigned char* p = value.GetBinary();
        int nSize = value.GetSize();
        return Hex(p != nullptr && nSize > 0 ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(nSize))
                                             : std::string());
    }
    CVLString strText = value.ToString(nullptr);
    std::string strBytes = Bytes(strText);
    if (nType == VL_VARIANT_TYPE_STRING && strText.GetCharset() != VL_CHARSET_UTF8 && strText.GetLength() > 0) {
        // A text in another character set reads as UTF-8 when it converts.
        try {
            CVLString strUTF8 = strText.ConvertTo(VL_CHARSET_UTF8, false);
            if (strUTF8.GetLength() > 0)
                strBytes = Bytes(strUTF8);
        } catch (EVLException* pException) {
            pException->Delete();
        }
    }
    std::string strUnused;
    if (!IsPrintable(strBytes) || ParseHex(strBytes, strUnused))
        return Hex(Bytes(strText));
    return ShellQuote(strBytes);
}

std::string CVLNetPropertyLines::Format(const CVLProperty* pRoot)
{
    std::string strLines;
    if (pRoot != nullptr)
        AppendLines(pRoot, std::string(), strLines);
    return strLines;
}

std::string CVLNetPropertyLines::FormatTarget(CVLTarget* pTarget)
{
    if (pTarget == nullptr)
        return std::string();
    CVLTargetLock lock(pTarget);
    lock.Lock();
    return Format(pTarget->GetProperties());
}

bool CVLNetPropertyLines::ParseHex(const std::string& strValue, std::string& strBytes)
{
    if (strValue.compare(0, kHexMarkLength, kHexMark) != 0 || (strValue.size() - kHexMarkLength) % 2 != 0)
        return false;
    std::string strResult;
    for (size_t i = kHexMarkLength; i < strValue.size(); i += 2) {
        int nHigh = HexDigit(strValue[i]);
        int nLow = HexDigit(strValue[i + 1]);
        if (nHigh < 0 || nLow < 0)
            return false;
        strResult += static_cast<char>(nHigh * 16 + nLow);
    }
    strBytes = strResult;
    return true;
}

bool CVLNetPropertyLines::ReadText(CVLTarget* pTarget, const std::string& strPath, std::string& strText)
{
    if (pTarget == nullptr)
        return false;
    CVLTargetLock lock(pTarget);
    lock.Lock();
    CVLProperty* pRoot = pTarget->GetProperties();
    const CVLProperty* pNode = pRoot != nullptr ? pRoot->GetProperty(strPath.c_str(), false) : nullptr;
    if (pNode == nullptr || pNode->GetType() == VL_VARIANT_TYPE_EMPTY)
        return false;
    strText = Bytes(pNode->ToString(nullptr));
    return true;
}

bool CVLNetPropertyLines::Assign(CVLTarget* pTarget, const std::string& strPath, const std::string& strValue)
{
    if (pTarget == nullptr)
        return false;
    try {
        CVLTargetLock lock(pTarget);
        lock.Lock();
        CVLProperty* pRoot = pTarget->GetProperties();
        CVLProperty* pNode = pRoot != nullptr ? pRoot->GetProperty(strPath.c_str(), true) : nullptr;
        if (pNode == nullptr)
            return false;
        std::string strBytes;
        if (!ParseHex(strValue, strBytes)) {
            pNode->SetString(strValue.c_str(), VL_CHARSET_UTF8);
        } else if (pNode->GetType() == VL_VARIANT_TYPE_BINARY) {
            pNode->SetBinary(strBytes.data(), static_cast<int>(strBytes.size()));
        } else {
            pNode->SetString(CVLString(strBytes.data(), static_cast<int>(strBytes.size()), VL_CHARSET_UTF8));
        }
        return true;
    } catch (...) {
        ReleaseCurrentException();
    }
    return false;
}
