// The check of vlnet run's PATH=VALUE arguments.
#include "app/VLNetValueCheck.h"

#include <algorithm>

#include "app/VLNetPropertyLines.h"
#include "base/core/VLCharset.h"
#include "base/core/VLException.h"
#include "base/net/VLMACAddress.h"
#include "base/net/VLSocketAddress.h"
#include "cm/VLCMApi.h"
#include "cm/VLModuleController.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetLock.h"
#include "modules/vlpc/VLMDVLPC.h"
#include "modules/vlpc/VLPCDefs.h"
#include "modules/vlpc/VLPCField.h"
#include "modules/vlpc/VLPCFunction.h"
#include "modules/vlpc/VLPCPacketDataFormat.h"
#include "modules/vlpc/VLPCPacketFormat.h"
#include "modules/vlpc/VLPCPacketList.h"

namespace {
const char kHexMark[] = "hex:";
// The longest payload of a request, and the longest value behind a
// one-byte length.
const size_t kMaxPayloadBytes = 498;
const size_t kMaxBytePrefixed = 255;

std::string Text(const CVLString& str)
{
    const char* sz = str.GetBuffer();
    return sz != nullptr ? std::string(sz, static_cast<size_t>(str.GetLength())) : std::string();
}

bool IsSettable(const CVLPCField* pField)
{
    switch (pField->GetType()) {
    case VLPC_FIELD_PASSWORD:
    case VLPC_FIELD_WEP_KEY_INFO:
    case VLPC_FIELD_OTHER:
        return false;
    default:
        return !pField->HasSubFields();
    }
}

void AddLayoutFields(CVLMDVLPC* pModule, const CVLPCFunction* pFunction, const CVLPCPacketDataFormat* pLayout,
                     std::vector<CVLNetValueCheck::SField>& fields)
{
    for (int j = 0; pLayout != nullptr && j < pLayout->GetCount(); j++) {
        const CVLPCField* pField = pLayout->GetAt(j);
        CVLString strPath = pFunction->GetFieldPropertyPath(pField->GetName().GetBuffer());
        if (strPath.GetLength() == 0)
            strPath = pField->GetPropertyPath();
        if (strPath.GetLength() == 0 || !IsSettable(pField) || pModule->IsKeyPropertyPath(strPath))
            continue;
        std::string strText = Text(strPath);
        bool bKnown = false;
        for (const CVLNetValueCheck::SField& field : fields)
            bKnown = bKnown || field.strPath == strText;
        if (!bKnown)
            fields.push_back({strText, pField->GetType(), pField->GetSize()});
    }
}

// A whole decimal number from 0 to nMax, in its plain form.
bool ReadNumber(const std::string& strValue, unsigned long long nMax, std::string& strNumber)
{
    if (strValue.empty() || strValue.size() > 20)
        return false;
    unsigned long long nValue = 0;
    for (char c : strValue) {
        if (c < '0' || c > '9')
            return false;
        nValue = nValue * 10 + static_cast<unsigned long long>(c - '0');
        if (nValue > nMax)
            return false;
    }
    strNumber = std::to_string(nValue);
    return true;
}

std::string CheckNumber(std::string& strValue, unsigned long long nMax)
{
    if (ReadNumber(strValue, nMax, strValue))
        return std::string();
    return "a value from 0 to " + std::to_string(nMax);
}

// The bytes a text or byte field gets, bounded by nLimit; a NUL ends the
// value of the Null types on the wire, so it cannot be in it.
std::string CheckBytes(const std::string& strValue, size_t nLimit, bool bNulEnds)
{
    std::string strBytes = strValue;
    if (strValue.compare(0, sizeof(kHexMark) - 1, kHexMark) == 0 && !CVLNetPropertyLines::ParseHex(strValue, strBytes))
        return "hex: needs an even number of hexadecimal digits";
    if (strBytes.size() > nLimit)
        return "at most " + std::to_string(nLimit) + " bytes, not " + std::to_string(strBytes.size());
    if (bNulEnds && strBytes.find('\0') != std::string::npos)
        return "a NUL byte would end it early";
    return std::string();
}
}  // namespace

std::vector<CVLNetValueCheck::SField>
CVLNetValueCheck::ReadRequestFields(CVLCMApi* pApi, const std::string& strPacketList, CVLTarget* pDevice)
{
    std::vector<SField> fields;
    try {
        CVLModuleController* pController = pApi != nullptr ? pApi->GetModuleController() : nullptr;
        CVLMDVLPC* pModule =
            pController != nullptr ? dynamic_cast<CVLMDVLPC*>(pController->GetModule(VLMDVLPC_MODULE)) : nullptr;
        CVLPCPacketList* pList =
            pModule != nullptr ? pModule->FindPacketList(CVLString(strPacketList.c_str(), VL_CHARSET_UTF8)) : nullptr;
        if (pList == nullptr)
            return fields;
        long nVersion = 0;
        if (pDevice != nullptr) {
            // The version the device announced, as the requests read it.
            const CVLString* pPath = pModule->FindKeyPropertyPath("VLPCVersion");
            CVLTargetLock lock(pDevice);
            lock.Lock();
            CVLProperty* pRoot = pDevice->GetProperties();
            CVLProperty* pVersion =
                pRoot != nullptr && pPath != nullptr ? pRoot->GetProperty(pPath->GetBuffer(), false) : nullptr;
            nVersion = pModule->GetVersionNumber(static_cast<char>(pVersion != nullptr ? pVersion->ToUChar(0) : 0));
        }
        for (CVLPCFunctionIterator it = pList->Begin(); !pList->IsEnd(it); ++it) {
            const CVLPCFunction* pFunction = *it;
            const CVLPCPacketFormat* pFormat = pModule->FindPacketFormat(pFunction->GetKey());
            if (pFormat == nullptr)
                continue;
            if (pDevice != nullptr) {
                AddLayoutFields(pModule, pFunction,
                                pFormat->FindSendDataFormat(pModule, nVersion, pFunction->GetPacketType()), fields);
                continue;
            }
            for (int i = 0; i < pFormat->GetSendDataFormatCount(); i++)
                AddLayoutFields(pModule, pFunction, pFormat->GetSendDataFormat(i), fields);
        }
    } catch (EVLException* pException) {
        pException->Delete();
    }
    return fields;
}

std::string CVLNetValueCheck::CheckValue(const SField& field, std::string& strValue)
{
    const size_t nSize = field.nSize > 0 ? static_cast<size_t>(field.nSize) : 0;
    switch (field.nType) {
    case VLPC_FIELD_BYTE:
        return CheckNumber(strValue, 0xFF);
    case VLPC_FIELD_USHORT:
    case VLPC_FIELD_LE_USHORT:
        return CheckNumber(strValue, 0xFFFF);
    case VLPC_FIELD_ULONG:
        return CheckNumber(strValue, 0xFFFFFFFF);
    case VLPC_FIELD_IPV4_ADDRESS: {
        unsigned char address[4];
        if (!CVLSocketAddress::ParseDottedQuad(strValue.c_str(), address))
            return "an IPv4 address of four decimal parts 0-255, such as 192.168.0.10";
        strValue = std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) +
                   "." + std::to_string(address[3]);
        return std::string();
    }
    case VLPC_FIELD_MAC_ADDRESS: {
        CVLString strMAC = CVLMACAddress::Normalize(strValue.c_str(), nullptr);
        if (strMAC.GetLength() == 0)
            return "a MAC address such as 00:26:AB:00:00:01";
        strValue = Text(strMAC);
        return std::string();
    }
    case VLPC_FIELD_STRING:
        return CheckBytes(strValue, std::min<size_t>(nSize, TEXT_BYTE_LIMIT), false);
    case VLPC_FIELD_NULL_STRING:
        return CheckBytes(strValue, TEXT_BYTE_LIMIT, true);
    case VLPC_FIELD_VAR_STRING:
    case VLPC_FIELD_VAR_STRING_BYTE_PREFIX:
    case VLPC_FIELD_LENGTH_STRING:
        return CheckBytes(strValue, TEXT_BYTE_LIMIT, false);
    case VLPC_FIELD_BYTE_ARRAY:
        return CheckBytes(strValue, nSize, false);
    case VLPC_FIELD_NULL_BYTE_ARRAY:
        return CheckBytes(strValue, kMaxPayloadBytes, true);
    case VLPC_FIELD_VAR_BYTE_ARRAY_BYTE_PREFIX:
        return CheckBytes(strValue, kMaxBytePrefixed, false);
    default:
        return CheckBytes(strValue, kMaxPayloadBytes, false);
    }
}

bool CVLNetValueCheck::Check(const std::vector<SField>& fields, const std::string& strCommand,
                             std::vector<std::pair<std::string, std::string>>& assignments, std::string& strError,
                             const std::string& strTo)
{
    std::string strPaths;
    for (const SField& field : fields)
        strPaths += (strPaths.empty() ? "" : ", ") + field.strPath;
    if (!fields.empty() && assignments.empty()) {
        strError = strCommand + " needs at least one PATH=VALUE; it sends" + strTo + " " + strPaths;
        return false;
    }
    for (auto& assignment : assignments) {
        const std::string strArgument = assignment.first + "=" + assignment.second;
        const SField* pField = nullptr;
        for (const SField& field : fields) {
            if (field.strPath == assignment.first)
                pField = &field;
        }
        if (pField == nullptr) {
            strError =
                strArgument + ": " +
                (fields.empty() ? strCommand + " sends no values" + strTo
                                : "not a value that " + strCommand + " sends" + strTo + "; it sends " + strPaths);
            return false;
        }
        std::string strReason = CheckValue(*pField, assignment.second);
        if (!strReason.empty()) {
            strError = strArgument + ": " + strReason;
            return false;
        }
    }
    return true;
}
