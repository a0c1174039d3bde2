// The system's date-and-time value: year, month, day, hour, minute and
// second x 1000 + millisecond packed into 64 bits (year in the top 16 bits, so
// packed values compare in calendar order), with an optional offset from UTC
// in minutes and a time-only flag. Its text form is YYYY/MM/DD HH:MM:SS with
// an optional +HH:MM; the binary forms are the SNMP DateAndTime octets (8 or
// 11 bytes) and 2 bytes (hour, minute) for a time-only value.
#ifndef VLDATETIME_H
#define VLDATETIME_H

#include <ctime>

#include "base/core/VLByteArray.h"
#include "base/core/VLString.h"

class CVLDateTime
{
public:
    CVLDateTime();
    CVLDateTime(const CVLDateTime& other);
    virtual ~CVLDateTime();

    virtual int GetStringLength() const;
    virtual CVLString ToString() const;
    // ToTimeT() of this minus ToTimeT() of other.
    virtual VL_LONG GetDiffSeconds(const CVLDateTime& other) const;
    // Packed values, time-zone flags and offsets equal.
    virtual bool IsEqual(const CVLDateTime& other) const;
    virtual CVLByteArray GetBinary() const;
    // Takes 2, 8 or 11 bytes; anything else, or a failed check, changes nothing.
    virtual void SetBinary(const unsigned char* pData, int nLength);
    // Takes HH:MM or YYYY/MM/DD HH:MM:SS[.mmm][+HH:MM]; false (and no change)
    // for anything else.
    virtual bool Parse(const char* szText);
    // Packed value 0; flags and offset stay.
    virtual void Clear();
    virtual int GetYear() const;
    virtual int GetMonth() const;
    virtual int GetDay() const;
    virtual void SetYear(int nYear);
    virtual void SetMonth(int nMonth);
    virtual void SetDay(int nDay);
    virtual int GetHour() const;
    virtual int GetMinute() const;
    virtual int GetSecond() const;
    // These three reset the milliseconds.
    virtual void SetHour(int nHour);
    virtual void SetMinute(int nMinute);
    virtual void SetSecond(int nSecond);
    virtual bool HasTimeZone() const { return m_bTimeZone; }
    virtual int GetTimeZone() const { return m_nTimeZone; }
    // Minutes east of UTC (+09:00 is 540); sets the time-zone flag.
    virtual void SetTimeZone(int nMinutes);
    virtual void GetDate(int& nYear, int& nMonth, int& nDay) const;
    virtual void SetDate(int nYear, int nMonth, int nDay);
    virtual void SetTime(int nHour, int nMinute, int nSecond, int nMillisecond);
    virtual void GetTime(int& nHour, int& nMinute, int& nSecond) const;
    virtual void GetDateTime(int& nYear, int& nMonth, int& nDay, int& nHour, int& nMinute, int& nSecond) const;
    // The current local time, milliseconds 0.
    virtual void SetCurrentTime();
    virtual void Copy(const CVLDateTime& other);

    void GetTime(int& nHour, int& nMinute, int& nSecond, int& nMillisecond) const;
    VL_ULONGLONG GetAsUInt64() const { return m_nDateTime; }
    void SetAsUInt64(VL_ULONGLONG nValue) { m_nDateTime = nValue; }
    bool IsTimeOnly() const { return m_bTimeOnly; }
    void SetTimeOnly(bool bTimeOnly) { m_bTimeOnly = bTimeOnly; }

    // Local time; a failed breakdown clears the value. Flags stay.
    void SetFromTimeT(const time_t* pTime);
    // The fields as local time (the system decides daylight saving); 0 when
    // they do not convert.
    time_t ToTimeT() const;
    void AddSeconds(int nSeconds);
    void AddDays(int nDays);

    CVLString FormatDate() const;
    CVLString FormatTime() const;
    CVLString FormatTimeMs() const;
    CVLString FormatShortTime() const;
    CVLString FormatTimeZone() const;
    // The decimal text of nValue, with leading "0"s up to nWidth characters.
    static CVLString PadNumber(int nValue, int nWidth);

    CVLDateTime& operator=(const CVLDateTime& other)
    {
        Copy(other);
        return *this;
    }
    bool operator==(const CVLDateTime& other) const;
    bool operator!=(const CVLDateTime& other) const { return !(*this == other); }
    bool operator<(const CVLDateTime& other) const { return m_nDateTime < other.m_nDateTime; }
    bool operator>(const CVLDateTime& other) const { return m_nDateTime > other.m_nDateTime; }
    bool operator<=(const CVLDateTime& other) const { return m_nDateTime <= other.m_nDateTime; }
    bool operator>=(const CVLDateTime& other) const { return m_nDateTime >= other.m_nDateTime; }

private:
    void SetFromTimeValue(long long nTime);

    VL_ULONGLONG m_nDateTime;
    bool m_bTimeZone;
    VL_LONG m_nTimeZone;
    bool m_bTimeOnly;
};

#endif
