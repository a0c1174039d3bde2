#include "modules/vlpc/VLPCRequestFields.h"

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

// A function code's bytes in the header.
const size_t kFunctionCodeBytes = 2;

// The version the device announced, as the requests read it.
long AnnouncedVersion(CVLMDVLPC* pModule, CVLTarget* pDevice)
{
    const CVLString* pPath = pModule->FindKeyPropertyPath("VLPCVersion");
    CVLTargetLock lock(pDevice);
    CVLProperty* pRoot = pDevice->GetProperties();
    CVLProperty* pVersion =
        pRoot != nullptr && pPath != nullptr ? pRoot->GetProperty(pPath->GetBuffer(), false) : nullptr;
    return pModule->GetVersionNumber(static_cast<char>(pVersion != nullptr ? pVersion->ToUChar(0) : 0));
}

void AddLayoutFields(CVLMDVLPC* pModule, const CVLPCFunction* pFunction, const CVLPCPacketDataFormat* pLayout,
                     std::vector<CVLPCRequestFields::SField>& fields)
{
    for (int i = 0; pLayout != nullptr && i < pLayout->GetCount(); i++) {
        const CVLPCField* pField = pLayout->GetAt(i);
        CVLPCRequestFields::SField field;
        field.strPath = pField->GetBoundPropertyPath(pFunction);
        field.nType = pField->GetType();
        field.nSize = pField->GetSize();
        field.bKeyValue = field.strPath.GetLength() > 0 && pModule->IsKeyPropertyPath(field.strPath);
        field.bCounted = pField->HasSubFields();
        fields.push_back(field);
    }
}

}  // namespace

std::vector<CVLPCRequestFields::SField> CVLPCRequestFields::List(CVLCMApi* pApi, const CVLString& strPacketList,
                                                                 CVLTarget* pDevice)
{
    CVLModuleController* pController = pApi != nullptr ? pApi->GetModuleController() : nullptr;
    CVLMDVLPC* pModule =
        pController != nullptr ? dynamic_cast<CVLMDVLPC*>(pController->GetModule(VLMDVLPC_MODULE)) : nullptr;
    return List(pModule, strPacketList, pDevice);
}

std::string CVLPCRequestFields::BareRequest(CVLCMApi* pApi, const CVLString& strPacketList)
{
    CVLModuleController* pController = pApi != nullptr ? pApi->GetModuleController() : nullptr;
    CVLMDVLPC* pModule =
        pController != nullptr ? dynamic_cast<CVLMDVLPC*>(pController->GetModule(VLMDVLPC_MODULE)) : nullptr;
    CVLPCPacketList* pList = pModule != nullptr ? pModule->FindPacketList(strPacketList) : nullptr;
    if (pList == nullptr || pList->IsEnd(pList->Begin()))
        return std::string();
    const CVLPCFunction* pFunction = *pList->Begin();
    // Magic, type letter, device type, device number, function code, then
    // the result and the data size, both 0.
    std::string strRequest(VLPC_MAGIC, VLPC_MAGIC_LENGTH);
    strRequest += pFunction->GetPacketType();
    strRequest += static_cast<char>(pFunction->GetDeviceTypeCode());
    strRequest += '\0';
    strRequest.append(reinterpret_cast<const char*>(pFunction->GetFunctionCode()), kFunctionCodeBytes);
    strRequest.resize(VLPC_HEADER_SIZE, '\0');
    return strRequest;
}

std::vector<CVLPCRequestFields::SField> CVLPCRequestFields::List(CVLMDVLPC* pModule, const CVLString& strPacketList,
                                                                 CVLTarget* pDevice)
{
    std::vector<SField> fields;
    CVLPCPacketList* pList = pModule != nullptr ? pModule->FindPacketList(strPacketList) : nullptr;
    if (pList == nullptr)
        return fields;
    const long nVersion = pDevice != nullptr ? AnnouncedVersion(pModule, pDevice) : 0;
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
    return fields;
}
