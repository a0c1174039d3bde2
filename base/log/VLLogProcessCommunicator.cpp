#include "base/log/VLLogProcessCommunicator.h"

CVLLogProcessCommunicator::CVLLogProcessCommunicator()
{
}

CVLLogProcessCommunicator::~CVLLogProcessCommunicator()
{
}

bool CVLLogProcessCommunicator::Open(const char* /*szName*/, bool /*bOwner*/)
{
    return false;
}

bool CVLLogProcessCommunicator::Open(VL_ULONG nKind, const char* szName, const char* szId, bool bOwner)
{
    CVLString strName(szName != nullptr ? szName : "", VL_CHARSET_UTF8);
    if (nKind == 1) {
        strName += "_";
        strName += (szId != nullptr ? szId : "");
    }
    return CVLProcessCommunicator::Open(strName.GetString(), bOwner);
}
