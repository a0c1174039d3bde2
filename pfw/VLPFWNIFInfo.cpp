// The application's device record.
#include "pfw/VLPFWNIFInfo.h"

#include "base/core/VLCharset.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "cm/VLProperty.h"
#include "cm/VLTargetLock.h"
#include "ecm/core/VLECMDefs.h"

namespace {
// Where the definitions put what the list shows.
const char kReplyAddressPath[] = "IPAddress";
const char kReportedAddressPath[] = "VLPC.2B_5A01_01.IPAddress";
// The web page when the configuration names no template.
const char kDefaultWebConfigURL[] = "http://$IP$/";
const char kIPMacro[] = "$IP$";
}  // namespace

CVLPFWNIFInfo::CVLPFWNIFInfo()
{
}

CVLPFWNIFInfo::~CVLPFWNIFInfo()
{
}

CVLString CVLPFWNIFInfo::GetPropertyText(VL_CONST_STR szPath)
{
    CVLString strText(VL_CHARSET_UTF8);
    if (szPath == nullptr)
        return strText;
    try {
        CVLTargetLock lock(this);
        if (!lock.IsHeld())
            return strText;
        CVLProperty* pRoot = GetProperties();
        CVLProperty* pProperty = pRoot != nullptr ? pRoot->GetProperty(szPath, false) : nullptr;
        if (pProperty != nullptr)
            strText = pProperty->ToString("").ConvertTo(VL_CHARSET_UTF8, true);
    } catch (...) {
        ReleaseCurrentException();
    }
    return strText;
}

CVLString CVLPFWNIFInfo::GetDisplayName()
{
    return GetPropertyText(VLECM_MODEL_NAME_PATH);
}

CVLString CVLPFWNIFInfo::GetIPAddress()
{
    CVLString strAddress = GetPropertyText(kReplyAddressPath);
    if (strAddress.GetLength() == 0)
        strAddress = GetPropertyText(kReportedAddressPath);
    return strAddress;
}

bool CVLPFWNIFInfo::IsConflictMarked()
{
    return GetPropertyText(VLECM_CONFLICT_MARK_PATH).Compare(CVLString("1", VL_CHARSET_UTF8)) == 0;
}

CVLString CVLPFWNIFInfo::GetOtherPassedAddresses()
{
    return GetPropertyText(VLECM_OTHER_PASSED_PATH);
}

CVLString CVLPFWNIFInfo::GetWebConfigURL(VL_CONST_STR szTemplate)
{
    CVLString strAddress = GetIPAddress();
    const char* szAddress = strAddress.GetBuffer();
    return MakeWebConfigURL(szTemplate, szAddress != nullptr ? szAddress : "");
}

bool CVLPFWNIFInfo::IsSupportedNIF()
{
    return true;
}

CVLString CVLPFWNIFInfo::MakeWebConfigURL(VL_CONST_STR szTemplate, VL_CONST_STR szIPAddress)
{
    CVLString strURL(szTemplate != nullptr && szTemplate[0] != '\0' ? szTemplate : kDefaultWebConfigURL,
                     VL_CHARSET_UTF8);
    strURL.Replace(kIPMacro, szIPAddress != nullptr ? szIPAddress : "");
    return strURL;
}
