#include "base/value/VLDateTime.h"

#include <climits>
#include <cstring>
#include <string>

namespace {

VL_ULONGLONG PackDate(int nYear, int nMonth, int nDay)
{
    return (static_cast<VL_ULONGLONG>(static_cast<uint16_t>(nYear)) << 48) |
           (static_cast<VL_ULONGLONG>(static_cast<uint8_t>(nMonth)) << 40) |
           (static_cast<VL_ULONGLONG>(static_cast<uint8_t>(nDay)) << 32);
}

VL_ULONGLONG PackTime(int nHour, int nMinute, int nSecond, int nMillisecond)
{
    // second x 1000 + millisecond is kept in 16 bits and wraps beyond them.
    uint16_t nSecMs = static_cast<uint16_t>(static_cast<unsigned>(nSecond) * 1000u + static_cast<unsigned>(nMillisecond));
    return (static_cast<VL_ULONGLONG>(static_cast<uint8_t>(nHour)) << 24) |
           (static_cast<VL_ULONGLONG>(static_cast<uint8_t>(nMinute)) << 16) | nSecMs;
}

// A fixed-width run of decimal digits; -1 when it is anything else.
int ReadNumber(const char* p, int nWidth)
{
    int nValue = 0;
    for (int i = 0; i < nWidth; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return -1;
        nValue = nValue * 10 + (p[i] - '0');
    }
    return nValue;
}

}  // namespace

CVLDateTime::CVLDateTime() : m_nDateTime(0), m_bTimeZone(false), m_nTimeZone(0), m_bTimeOnly(false)
{
}

CVLDateTime::CVLDateTime(const CVLDateTime& other)
    : m_nDateTime(other.m_nDateTime)
    , m_bTimeZone(other.m_bTimeZone)
    , m_nTimeZone(other.m_nTimeZone)
    , m_bTimeOnly(other.m_bTimeOnly)
{
}

CVLDateTime::~CVLDateTime()
{
}

void CVLDateTime::Copy(const CVLDateTime& other)
{
    m_nDateTime = other.m_nDateTime;
    m_bTimeZone = other.m_bTimeZone;
    m_nTimeZone = other.m_nTimeZone;
    m_bTimeOnly = other.m_bTimeOnly;
}

bool CVLDateTime::IsEqual(const CVLDateTime& other) const
{
    return m_nDateTime == other.m_nDateTime && m_bTimeZone == other.m_bTimeZone && m_nTimeZone == other.m_nTimeZone;
}

bool CVLDateTime::operator==(const CVLDateTime& other) const
{
    if (m_bTimeOnly != other.m_bTimeOnly)
        return false;
    if (m_bTimeOnly)
        return m_nDateTime == other.m_nDateTime;
    if (m_bTimeZone != other.m_bTimeZone)
        return false;
    if (m_bTimeZone && m_nTimeZone != other.m_nTimeZone)
        return false;
    return m_nDateTime == other.m_nDateTime;
}

void CVLDateTime::Clear()
{
    m_nDateTime = 0;
}

void CVLDateTime::GetDate(int& nYear, int& nMonth, int& nDay) const
{
    nYear = static_cast<int>((m_nDateTime >> 48) & 0xffff);
    nMonth = static_cast<int>((m_nDateTime >> 40) & 0xff);
    nDay = static_cast<int>((m_nDateTime >> 32) & 0xff);
}

void CVLDateTime::GetTime(int& nHour, int& nMinute, int& nSecond) const
{
    int nMillisecond;
    GetTime(nHour, nMinute, nSecond, nMillisecond);
}

void CVLDateTime::GetTime(int& nHour, int& nMinute, int& nSecond, int& nMillisecond) const
{
    nHour = static_cast<int>((m_nDateTime >> 24) & 0xff);
    nMinute = static_cast<int>((m_nDateTime >> 16) & 0xff);
    int nSecMs = static_cast<int>(m_nDateTime & 0xffff);
    nSecond = nSecMs / 1000;
    nMillisecond = nSecMs % 1000;
}

void CVLDateTime::GetDateTime(int& nYear, int& nMonth, int& nDay, int& nHour, int& nMinute, int& nSecond) const
{
    GetDate(nYear, nMonth, nDay);
    GetTime(nHour, nMinute, nSecond);
}

void CVLDateTime::SetDate(int nYear, int nMonth, int nDay)
{
    m_nDateTime = PackDate(nYear, nMonth, nDay) | (m_nDateTime & 0xffffffffull);
}

void CVLDateTime::SetTime(int nHour, int nMinute, int nSecond, int nMillisecond)
{
    m_nDateTime = (m_nDateTime & ~0xffffffffull) | PackTime(nHour, nMinute, nSecond, nMillisecond);
}

int CVLDateTime::GetYear() const
{
    int y, m, d;
    GetDate(y, m, d);
    return y;
}

int CVLDateTime::GetMonth() const
{
    int y, m, d;
    GetDate(y, m, d);
    return m;
}

int CVLDateTime::GetDay() const
{
    int y, m, d;
    GetDate(y, m, d);
    return d;
}

void CVLDateTime::SetYear(int nYear)
{
    int y, m, d;
    GetDate(y, m, d);
    SetDate(nYear, m, d);
}

void CVLDateTime::SetMonth(int nMonth)
{
    int y, m, d;
    GetDate(y, m, d);
    SetDate(y, nMonth, d);
}

void CVLDateTime::SetDay(int nDay)
{
    int y, m, d;
    GetDate(y, m, d);
    SetDate(y, m, nDay);
}

int CVLDateTime::GetHour() const
{
    int h, mi, s;
    GetTime(h, mi, s);
    return h;
}

int CVLDateTime::GetMinute() const
{
    int h, mi, s;
    GetTime(h, mi, s);
    return mi;
}

int CVLDateTime::GetSecond() const
{
    int h, mi, s;
    GetTime(h, mi, s);
    return s;
}

void CVLDateTime::SetHour(int nHour)
{
    int h, mi, s;
    GetTime(h, mi, s);
    SetTime(nHour, mi, s, 0);
}

void CVLDateTime::SetMinute(int nMinute)
{
    int h, mi, s;
    GetTime(h, mi, s);
    SetTime(h, nMinute, s, 0);
}

void CVLDateTime::SetSecond(int nSecond)
{
    int h, mi, s;
    GetTime(h, mi, s);
    SetTime(h, mi, nSecond, 0);
}

void CVLDateTime::SetTimeZone(int nMinutes)
{
    m_bTimeZone = true;
    m_nTimeZone = nMinutes;
}

void CVLDateTime::SetCurrentTime()
{
    time_t now = time(nullptr);
    SetFromTimeT(&now);
}

void CVLDateTime::SetFromTimeT(const time_t* pTime)
{
    struct tm tmLocal;
    if (pTime == nullptr || localtime_r(pTime, &tmLocal) == nullptr) {
        Clear();
        return;
    }
    SetDate(tmLocal.tm_year + 1900, tmLocal.tm_mon + 1, tmLocal.tm_mday);
    SetTime(tmLocal.tm_hour, tmLocal.tm_min, tmLocal.tm_sec, 0);
}

time_t CVLDateTime::ToTimeT() const
{
    int nYear, nMonth, nDay, nHour, nMinute, nSecond;
    GetDateTime(nYear, nMonth, nDay, nHour, nMinute, nSecond);
    struct tm tmLocal;
    std::memset(&tmLocal, 0, sizeof(tmLocal));
    tmLocal.tm_year = nYear - 1900;
    tmLocal.tm_mon = nMonth - 1;
    tmLocal.tm_mday = nDay;
    tmLocal.tm_hour = nHour;
    tmLocal.tm_min = nMinute;
    tmLocal.tm_sec = nSecond;
    // Let the system decide daylight saving, so that ToTimeT and SetFromTimeT
    // are inverses in summer too.
    tmLocal.tm_isdst = -1;
    time_t t = mktime(&tmLocal);
    return t == static_cast<time_t>(-1) ? 0 : t;
}

void CVLDateTime::SetFromTimeValue(long long nTime)
{
    time_t t = static_cast<time_t>(nTime);
    SetFromTimeT(&t);
}

void CVLDateTime::AddSeconds(int nSeconds)
{
    long long t = static_cast<long long>(ToTimeT());
    long long n = nSeconds;
    if (n >= 0)
        t += n;
    else
        t = (t >= -n) ? t + n : 0;
    SetFromTimeValue(t);
}

void CVLDateTime::AddDays(int nDays)
{
    long long t = static_cast<long long>(ToTimeT());
    long long n = static_cast<long long>(nDays) * 86400;
    if (n >= 0)
        t += n;
    else
        t = (t >= -n) ? t + n : 0;
    SetFromTimeValue(t);
}

VL_LONG CVLDateTime::GetDiffSeconds(const CVLDateTime& other) const
{
    return static_cast<VL_LONG>(static_cast<long long>(ToTimeT()) - static_cast<long long>(other.ToTimeT()));
}

CVLString CVLDateTime::PadNumber(int nValue, int nWidth)
{
    std::string str = std::to_string(nValue);
    if (static_cast<int>(str.size()) < nWidth)
        str.insert(0, static_cast<size_t>(nWidth) - str.size(), '0');
    return CVLString(str.c_str(), VL_CHARSET_UTF8);
}

CVLString CVLDateTime::FormatDate() const
{
    int y, m, d;
    GetDate(y, m, d);
    CVLString str = PadNumber(y, 2);
    str += "/";
    str += PadNumber(m, 2);
    str += "/";
    str += PadNumber(d, 2);
    return str;
}

CVLString CVLDateTime::FormatTime() const
{
    int h, mi, s;
    GetTime(h, mi, s);
    CVLString str = PadNumber(h, 2);
    str += ":";
    str += PadNumber(mi, 2);
    str += ":";
    str += PadNumber(s, 2);
    return str;
}

CVLString CVLDateTime::FormatTimeMs() const
{
    int h, mi, s, ms;
    GetTime(h, mi, s, ms);
    CVLString str = FormatTime();
    str += ".";
    str += PadNumber(ms, 3);
    return str;
}

CVLString CVLDateTime::FormatShortTime() const
{
    int h, mi, s;
    GetTime(h, mi, s);
    CVLString str = PadNumber(h, 2);
    str += ":";
    str += PadNumber(mi, 2);
    return str;
}

CVLString CVLDateTime::FormatTimeZone() const
{
    CVLString str(VL_CHARSET_UTF8);
    if (!m_bTimeZone)
        return str;
    long long nAbs = m_nTimeZone < 0 ? -static_cast<long long>(m_nTimeZone) : m_nTimeZone;
    str = m_nTimeZone < 0 ? "-" : "+";
    str += PadNumber(static_cast<int>(nAbs / 60), 2);
    str += ":";
    str += PadNumber(static_cast<int>(nAbs % 60), 2);
    return str;
}

CVLString CVLDateTime::ToString() const
{
    if (m_bTimeOnly)
        return FormatShortTime();
    CVLString str = FormatDate();
    str += " ";
    str += FormatTime();
    str += FormatTimeZone();
    return str;
}

int CVLDateTime::GetStringLength() const
{
    return ToString().GetLength();
}

bool CVLDateTime::Parse(const char* szText)
{
    if (szText == nullptr)
        return false;
    size_t nLength = std::strlen(szText);
    const char* p = szText;
    if (nLength == 5) {
        if (p[2] != ':')
            return false;
        int nHour = ReadNumber(p, 2);
        int nMinute = ReadNumber(p + 3, 2);
        if (nHour < 0 || nHour >= 24 || nMinute < 0 || nMinute >= 60)
            return false;
        SetDate(1970, 1, 1);
        SetTime(nHour, nMinute, 0, 0);
        m_bTimeOnly = true;
        return true;
    }
    bool bMs = false;
    int nZoneAt = -1;
    switch (nLength) {
    case 19:
        break;
    case 23:
        bMs = true;
        break;
    case 25:
        nZoneAt = 19;
        break;
    case 29:
        bMs = true;
        nZoneAt = 23;
        break;
    default:
        return false;
    }
    if (p[4] != '/' || p[7] != '/' || p[10] != ' ' || p[13] != ':' || p[16] != ':')
        return false;
    if (bMs && p[19] != '.')
        return false;
    int nYear = ReadNumber(p, 4);
    int nMonth = ReadNumber(p + 5, 2);
    int nDay = ReadNumber(p + 8, 2);
    int nHour = ReadNumber(p + 11, 2);
    int nMinute = ReadNumber(p + 14, 2);
    int nSecond = ReadNumber(p + 17, 2);
    int nMillisecond = bMs ? ReadNumber(p + 20, 3) : 0;

    bool bZone = false;
    int nOffset = 0;
    if (nZoneAt > 0) {
        const char* z = p + nZoneAt;
        int nZoneHours = ReadNumber(z + 1, 2);
        int nZoneMinutes = ReadNumber(z + 4, 2);
        if ((z[0] == '+' || z[0] == '-') && z[3] == ':' && nZoneHours >= 0 && nZoneHours < 14 &&
            nZoneMinutes >= 0 && nZoneMinutes < 60) {
            bZone = true;
            nOffset = nZoneHours * 60 + nZoneMinutes;
            if (z[0] == '-')
                nOffset = -nOffset;
        }
    }
    if (nYear < 1970 || nMonth < 1 || nMonth > 12 || nDay < 1 || nDay > 31 || nHour < 0 || nHour >= 24 ||
        nMinute < 0 || nMinute >= 60 || nSecond < 0 || nSecond >= 60 || nMillisecond < 0 || nMillisecond >= 1000)
        return false;
    if (bZone && (nOffset < -720 || nOffset > 780))
        return false;
    SetDate(nYear, nMonth, nDay);
    SetTime(nHour, nMinute, nSecond, nMillisecond);
    if (bZone)
        SetTimeZone(nOffset);
    return true;
}

CVLByteArray CVLDateTime::GetBinary() const
{
    CVLByteArray data;
    int h, mi, s, ms;
    GetTime(h, mi, s, ms);
    if (m_bTimeOnly) {
        const VL_BYTE bytes[2] = {static_cast<VL_BYTE>(h), static_cast<VL_BYTE>(mi)};
        data.Allocate(2);
        data.Append(bytes, 2);
        return data;
    }
    int y, mo, d;
    GetDate(y, mo, d);
    VL_BYTE bytes[11] = {static_cast<VL_BYTE>((y >> 8) & 0xff),
                         static_cast<VL_BYTE>(y & 0xff),
                         static_cast<VL_BYTE>(mo),
                         static_cast<VL_BYTE>(d),
                         static_cast<VL_BYTE>(h),
                         static_cast<VL_BYTE>(mi),
                         static_cast<VL_BYTE>(s),
                         static_cast<VL_BYTE>(ms / 100),
                         0,
                         0,
                         0};
    int nLength = 8;
    if (m_bTimeZone) {
        long long nAbs = m_nTimeZone < 0 ? -static_cast<long long>(m_nTimeZone) : m_nTimeZone;
        bytes[8] = m_nTimeZone < 0 ? '-' : '+';
        bytes[9] = static_cast<VL_BYTE>(nAbs / 60);
        bytes[10] = static_cast<VL_BYTE>(nAbs % 60);
        nLength = 11;
    }
    data.Allocate(nLength);
    data.Append(bytes, nLength);
    return data;
}

void CVLDateTime::SetBinary(const unsigned char* pData, int nLength)
{
    if (pData == nullptr)
        return;
    if (nLength == 2) {
        if (pData[0] > 23 || pData[1] > 59)
            return;
        m_bTimeOnly = true;
        SetDate(1970, 1, 1);
        SetTime(pData[0], pData[1], 0, 0);
        return;
    }
    if (nLength != 8 && nLength != 11)
        return;
    int nYear = (pData[0] << 8) | pData[1];
    if (nYear < 1970 || pData[2] < 1 || pData[2] > 12 || pData[3] < 1 || pData[3] > 31 || pData[4] > 23 ||
        pData[5] > 59 || pData[6] > 59 || pData[7] > 9)
        return;
    int nOffset = 0;
    if (nLength == 11) {
        if (pData[8] != '+' && pData[8] != '-')
            return;
        nOffset = pData[9] * 60 + pData[10];
        if (pData[8] == '-')
            nOffset = -nOffset;
        if (nOffset < -720 || nOffset > 780)
            return;
    }
    SetDate(nYear, pData[2], pData[3]);
    SetTime(pData[4], pData[5], pData[6], pData[7] * 100);
    if (nLength == 11)
        SetTimeZone(nOffset);
}
