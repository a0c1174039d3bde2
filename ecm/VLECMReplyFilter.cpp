// The admission of probe replies: duplicates, impostors and invented devices.
#include "ecm/VLECMPrivate.h"
#include "ecm/VLECMReplyFilter.h"

#include <functional>
#include <string>

#include "base/core/VLCharset.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetLock.h"
#include "ecm/VLECMDefs.h"
#include "ecm/VLECMNIFInfo.h"

const char* const s_szFile = "VLECMReplyFilter";

namespace {
CVLString PropertyText(CVLTarget* pTarget, const char* szPath)
{
    CVLProperty* pProperty = pTarget->GetProperties()->GetProperty(szPath, false);
    return pProperty != nullptr ? pProperty->ToString("") : CVLString(VL_CHARSET_UTF8);
}
}  // namespace

CVLECMReplyFilter::CVLECMReplyFilter() : m_bDeviceLimitTraced(false), m_nDropped(0)
{
}

CVLECMReplyFilter::~CVLECMReplyFilter()
{
}

void CVLECMReplyFilter::Reset()
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    m_Devices.clear();
    m_MACsPerSource.clear();
    m_TracedSources.clear();
    m_bDeviceLimitTraced = false;
    m_nDropped = 0;
}

bool CVLECMReplyFilter::Admit(CVLTarget* pReply)
{
    if (pReply == nullptr)
        return false;
    CVLString strMAC(VL_CHARSET_UTF8), strFrom(VL_CHARSET_UTF8);
    size_t nFingerprint = 0;
    {
        CVLTargetLock targetLock(pReply);
        targetLock.Lock();
        strMAC = CVLECMNIFInfo::NormalizeMACAddress(PropertyText(pReply, "MACAddress"));
        if (strMAC.GetLength() == 0)
            return true;
        strFrom = PropertyText(pReply, "IPAddress");
        CVLString strData = pReply->GetPropertiesText("");
        nFingerprint = std::hash<std::string>()(std::string(TextOf(strData)));
    }
    return Admit(strMAC, strFrom, nFingerprint);
}

bool CVLECMReplyFilter::Admit(const CVLString& strMAC, const CVLString& strFrom, size_t nFingerprint)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return false;
    auto it = m_Devices.find(strMAC);
    if (it != m_Devices.end()) {
        SDevice& device = it->second;
        if (device.strFrom != strFrom) {
            if (device.strConflict.GetLength() == 0) {
                device.strConflict = strFrom;
                CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                                 "CVLECMReplyFilter: %s answered from %s and from %s; the first is kept",
                                 TextOf(strMAC), TextOf(device.strFrom), TextOf(strFrom));
            }
            ++m_nDropped;
            return false;
        }
        auto now = std::chrono::steady_clock::now();
        if (device.bPending && now - device.pendingSince < std::chrono::milliseconds(kPendingMilliseconds)) {
            ++m_nDropped;
            return false;
        }
        // Unchanged data is dropped once a reply of the device has arrived;
        // until then (its record lost) the next reply may stand in for it.
        if (nFingerprint == device.nFingerprint && device.bDelivered) {
            ++m_nDropped;
            return false;
        }
        device.nFingerprint = nFingerprint;
        device.bPending = true;
        device.pendingSince = now;
        return true;
    }
    if (m_Devices.size() >= MAX_DEVICES) {
        if (!m_bDeviceLimitTraced) {
            m_bDeviceLimitTraced = true;
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECMReplyFilter: %d devices found; further devices are dropped", MAX_DEVICES);
        }
        ++m_nDropped;
        return false;
    }
    int& nMACs = m_MACsPerSource[strFrom];
    if (nMACs >= MAX_MACS_PER_SOURCE) {
        if (m_TracedSources.insert(strFrom).second)
            CVLTrace::Output(VLECM_MODULE, s_szFile, __LINE__, 0,
                             "CVLECMReplyFilter: %s answered with more than %d MAC addresses; further ones are "
                             "dropped",
                             TextOf(strFrom), MAX_MACS_PER_SOURCE);
        ++m_nDropped;
        return false;
    }
    ++nMACs;
    SDevice& device = m_Devices[strMAC];
    device.strFrom = strFrom;
    device.nFingerprint = nFingerprint;
    device.bPending = true;
    device.pendingSince = std::chrono::steady_clock::now();
    return true;
}

void CVLECMReplyFilter::Delivered(const CVLString& strMAC)
{
    CVLThreadLock lock(&m_Sync);
    if (!lock.Lock())
        return;
    auto it = m_Devices.find(strMAC);
    if (it != m_Devices.end()) {
        it->second.bPending = false;
        it->second.bDelivered = true;
    }
}

CVLString CVLECMReplyFilter::GetConflictAddress(const CVLString& strMAC)
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    auto it = m_Devices.find(CVLECMNIFInfo::NormalizeMACAddress(strMAC));
    return it != m_Devices.end() ? it->second.strConflict : CVLString(VL_CHARSET_UTF8);
}

CVLString CVLECMReplyFilter::GetFirstAddress(const CVLString& strMAC)
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    auto it = m_Devices.find(CVLECMNIFInfo::NormalizeMACAddress(strMAC));
    return it != m_Devices.end() ? it->second.strFrom : CVLString(VL_CHARSET_UTF8);
}

unsigned long CVLECMReplyFilter::GetDroppedCount()
{
    CVLThreadLock lock(&m_Sync);
    lock.Lock();
    return m_nDropped;
}
