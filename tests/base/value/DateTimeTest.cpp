#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "tests/support/TestSupport.h"
#include "base/value/VLDateTime.h"
#include "base/thread/VLStopWatch.h"

namespace {

// Sets the process's time zone for one test and restores it afterwards.
class CZoneGuard
{
public:
    explicit CZoneGuard(const char* szZone)
    {
        const char* szOld = getenv("TZ");
        m_bHad = szOld != nullptr;
        if (m_bHad)
            m_strOld = szOld;
        setenv("TZ", szZone, 1);
        tzset();
    }
    ~CZoneGuard()
    {
        if (m_bHad)
            setenv("TZ", m_strOld.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool m_bHad;
    std::string m_strOld;
};

std::string Text(const CVLDateTime& d)
{
    return Bytes(d.ToString());
}

std::string Hex(const CVLByteArray& a)
{
    std::string s;
    char sz[4];
    for (int i = 0; i < a.GetSize(); ++i) {
        snprintf(sz, sizeof(sz), "%02x", a.GetData()[i]);
        s += sz;
    }
    return s;
}

}  // namespace

TEST(DateTime, NewValue)
{
    CVLDateTime d;
    EXPECT_EQ(d.GetAsUInt64(), 0u);
    EXPECT_FALSE(d.HasTimeZone());
    EXPECT_EQ(Text(d), "00/00/00 00:00:00");
    EXPECT_EQ(Hex(d.GetBinary()), "0000000000000000");
}

TEST(DateTime, PackingOrderAndFields)
{
    CVLDateTime d;
    d.SetDate(2014, 3, 5);
    d.SetTime(9, 7, 2, 500);
    EXPECT_EQ(d.GetAsUInt64(), 0x07DE0305090709C4ull);
    int h, mi, s, ms;
    d.GetTime(h, mi, s, ms);
    EXPECT_EQ(h * 1000000 + mi * 10000 + s * 100 + ms / 10, 9070250);
    EXPECT_EQ(Bytes(d.FormatTimeMs()), "09:07:02.500");

    // Fields compare in calendar order as unsigned numbers.
    CVLDateTime later(d);
    later.SetYear(2015);
    later.SetMonth(1);
    EXPECT_TRUE(d < later);
    EXPECT_TRUE(later >= d);

    // The minute setter resets the milliseconds; the date setters keep them.
    CVLDateTime t;
    t.SetDate(2020, 6, 1);
    t.SetTime(12, 34, 56, 789);
    t.SetDay(2);
    EXPECT_EQ(Bytes(t.FormatTimeMs()), "12:34:56.789");
    t.SetMinute(5);
    EXPECT_EQ(Bytes(t.FormatTimeMs()), "12:05:56.000");
    EXPECT_EQ(Bytes(t.FormatDate()), "2020/06/02");
    EXPECT_EQ(Bytes(t.FormatShortTime()), "12:05");

    // second x 1000 + millisecond wraps in 16 bits.
    t.SetTime(0, 0, 70, 0);
    EXPECT_EQ(t.GetAsUInt64() & 0xffff, (70000u) & 0xffffu);

    t.Clear();
    EXPECT_EQ(t.GetAsUInt64(), 0u);
}

TEST(DateTime, ParseShapes)
{
    CVLDateTime d;
    ASSERT_TRUE(d.Parse("2014/03/05 09:07:02"));
    EXPECT_FALSE(d.HasTimeZone());
    EXPECT_EQ(Text(d), "2014/03/05 09:07:02");
    EXPECT_EQ(d.GetStringLength(), 19);

    CVLDateTime z;
    ASSERT_TRUE(z.Parse("2014/03/05 09:07:02+09:00"));
    EXPECT_TRUE(z.HasTimeZone());
    EXPECT_EQ(z.GetTimeZone(), 540);
    EXPECT_EQ(Text(z), "2014/03/05 09:07:02+09:00");

    CVLDateTime w;
    ASSERT_TRUE(w.Parse("2014/03/05 09:07:02.123-12:00"));
    EXPECT_EQ(w.GetTimeZone(), -720);
    EXPECT_EQ(Bytes(w.FormatTimeMs()), "09:07:02.123");
    EXPECT_EQ(Text(w), "2014/03/05 09:07:02-12:00");  // no milliseconds in the text form

    CVLDateTime m;
    ASSERT_TRUE(m.Parse("2014/03/05 09:07:02.999"));
    EXPECT_EQ(Bytes(m.FormatTimeMs()), "09:07:02.999");

    // A zone that does not count leaves the text accepted without one.
    CVLDateTime star;
    ASSERT_TRUE(star.Parse("2014/03/05 09:07:02*09:00"));
    EXPECT_FALSE(star.HasTimeZone());
    ASSERT_TRUE(star.Parse("2014/03/05 09:07:02+14:00"));
    EXPECT_FALSE(star.HasTimeZone());

    // Rejected texts change nothing.
    CVLDateTime r(d);
    const char* bad[] = {"2014/03/05 09:07:02+13:30", "1969/12/31 23:59:59", "2014/13/01 00:00:00",
                         "2014-03-05 09:07:02",       "2014/03/05 09:07:02.5", "2014/03/05 24:00:00",
                         "2014/03/05 09:60:00",       "2014/03/00 09:07:02",   "2014/03/05 09:07:02,123",
                         "20a4/03/05 09:07:02",       "2014/03/05 09:07:+2",   "24:00",
                         "07-30",                     "",                      "2014/03/05 09:07:02.12a"};
    for (const char* sz : bad) {
        EXPECT_FALSE(r.Parse(sz)) << sz;
        EXPECT_TRUE(r.IsEqual(d)) << sz;
    }
    EXPECT_FALSE(r.Parse(nullptr));
}

TEST(DateTime, TimeOnly)
{
    CVLDateTime d;
    ASSERT_TRUE(d.Parse("07:30"));
    EXPECT_TRUE(d.IsTimeOnly());
    EXPECT_EQ(Text(d), "07:30");
    EXPECT_EQ(Hex(d.GetBinary()), "071e");
    EXPECT_EQ(Bytes(d.FormatDate()), "1970/01/01");

    CVLDateTime b;
    const unsigned char two[2] = {23, 59};
    b.SetBinary(two, 2);
    EXPECT_TRUE(b.IsTimeOnly());
    EXPECT_EQ(Text(b), "23:59");
    const unsigned char badTwo[2] = {24, 0};
    CVLDateTime c;
    c.SetBinary(badTwo, 2);
    EXPECT_FALSE(c.IsTimeOnly());
    EXPECT_EQ(c.GetAsUInt64(), 0u);

    // == compares only the packed values of two time-only values.
    CVLDateTime e(d);
    e.SetTimeZone(60);
    EXPECT_TRUE(e == d);
    EXPECT_FALSE(e.IsEqual(d));
}

TEST(DateTime, BinaryForms)
{
    const unsigned char octets[11] = {0x07, 0xDE, 0x03, 0x05, 0x09, 0x07, 0x02, 0x05, 0x2D, 0x05, 0x1E};
    CVLDateTime d;
    d.SetBinary(octets, 11);
    int y, mo, da, h, mi, s, ms;
    d.GetDate(y, mo, da);
    d.GetTime(h, mi, s, ms);
    EXPECT_EQ(y, 2014);
    EXPECT_EQ(mo, 3);
    EXPECT_EQ(da, 5);
    EXPECT_EQ(h, 9);
    EXPECT_EQ(mi, 7);
    EXPECT_EQ(s, 2);
    EXPECT_EQ(ms, 500);
    EXPECT_EQ(d.GetTimeZone(), -330);
    EXPECT_EQ(Hex(d.GetBinary()), "07de0305090702052d051e");
    EXPECT_EQ(Text(d), "2014/03/05 09:07:02-05:30");

    // 8 bytes keep the zone that was set.
    const unsigned char eight[8] = {0x07, 0xE4, 0x0C, 0x1F, 0x17, 0x3B, 0x3B, 0x09};
    d.SetBinary(eight, 8);
    EXPECT_EQ(Bytes(d.FormatTimeMs()), "23:59:59.900");
    EXPECT_EQ(d.GetTimeZone(), -330);
    CVLDateTime plain;
    plain.SetBinary(eight, 8);
    EXPECT_EQ(Hex(plain.GetBinary()), "07e40c1f173b3b09");

    // Failed checks change nothing.
    CVLDateTime keep(plain);
    unsigned char bad[11];
    const int nChecks[][2] = {{1, 0xB1}, {2, 0}, {2, 13}, {3, 0}, {3, 32}, {4, 24}, {5, 60},
                              {6, 60},   {7, 10},   {8, '*'}, {9, 13}, {9, 12}};
    for (const auto& check : nChecks) {
        memcpy(bad, octets, 11);
        bad[check[0]] = static_cast<unsigned char>(check[1]);
        if (check[0] == 9 && check[1] == 12)
            bad[8] = '-', bad[10] = 1;  // -12:01 is below -720
        if (check[0] == 1)
            bad[0] = 0x07;  // 1969
        keep.SetBinary(bad, 11);
        EXPECT_TRUE(keep.IsEqual(plain)) << check[0] << "=" << check[1];
    }
    keep.SetBinary(octets, 10);
    keep.SetBinary(nullptr, 11);
    EXPECT_TRUE(keep.IsEqual(plain));
}

TEST(DateTime, CompareAndCopy)
{
    CVLDateTime a, b;
    ASSERT_TRUE(a.Parse("2014/03/05 09:07:02+09:00"));
    ASSERT_TRUE(b.Parse("2014/03/05 09:07:02"));
    EXPECT_FALSE(a == b);
    EXPECT_FALSE(a.IsEqual(b));
    b.SetTimeZone(540);
    EXPECT_TRUE(a == b);
    CVLDateTime c;
    c.Copy(a);
    EXPECT_TRUE(c.IsEqual(a));
    CVLDateTime none;
    c.Copy(none);
    EXPECT_FALSE(c.HasTimeZone());
}

TEST(DateTime, ClockInFixedZone)
{
    CZoneGuard zone("JST-9");
    CVLDateTime d;
    time_t t = 0;
    d.SetFromTimeT(&t);
    EXPECT_EQ(Text(d), "1970/01/01 09:00:00");
    EXPECT_EQ(d.ToTimeT(), 0);

    ASSERT_TRUE(d.Parse("2014/03/05 09:07:02"));
    EXPECT_EQ(d.ToTimeT(), 1393978022);
    CVLDateTime e(d);
    e.AddSeconds(3600);
    EXPECT_EQ(Text(e), "2014/03/05 10:07:02");
    EXPECT_EQ(e.GetDiffSeconds(d), 3600);
    e.AddDays(-1);
    EXPECT_EQ(Text(e), "2014/03/04 10:07:02");
    EXPECT_EQ(d.GetDiffSeconds(e), 86400 - 3600);

    // Going back past the epoch stops at time 0.
    CVLDateTime epoch;
    ASSERT_TRUE(epoch.Parse("1970/01/01 09:00:00"));
    epoch.AddDays(-1);
    EXPECT_EQ(Text(epoch), "1970/01/01 09:00:00");
    epoch.AddSeconds(-5);
    EXPECT_EQ(Text(epoch), "1970/01/01 09:00:00");

    CVLDateTime now;
    now.SetCurrentTime();
    EXPECT_GE(now.GetYear(), 2020);
    EXPECT_FALSE(now.HasTimeZone());
}

// In a zone with summer time, converting there and back keeps the value.
TEST(DateTime, SummerTimeRoundTrip)
{
    CZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
    CVLDateTime d;
    ASSERT_TRUE(d.Parse("2014/07/01 12:00:00"));
    CVLDateTime e(d);
    e.AddSeconds(0);
    EXPECT_EQ(Text(e), "2014/07/01 12:00:00");
    EXPECT_EQ(d.ToTimeT(), 1404208800);  // 10:00 UTC
    CVLDateTime w;
    ASSERT_TRUE(w.Parse("2014/01/01 12:00:00"));
    EXPECT_EQ(w.ToTimeT(), 1388574000);  // 11:00 UTC
}

TEST(StopWatch, CountsDown)
{
    CVLStopWatch w(100);
    EXPECT_EQ(w.GetTimeout(), 100);
    EXPECT_FALSE(w.IsTimeout());
    w.Start();
    usleep(30000);
    w.Update();
    EXPECT_GE(w.GetElapsed(), 30);
    EXPECT_EQ(w.GetTimeout(), w.GetElapsed() >= 100 ? 0 : 100 - w.GetElapsed());
    usleep(90000);
    w.Update();
    EXPECT_EQ(w.GetTimeout(), 0);
    EXPECT_TRUE(w.IsTimeout());
    w.Update();
    EXPECT_EQ(w.GetTimeout(), 0);  // never below 0

    CVLStopWatch z(0);
    EXPECT_TRUE(z.IsTimeout());
    CVLStopWatch neg(-5);
    neg.Start();
    neg.Update();
    EXPECT_EQ(neg.GetTimeout(), 0);

    // The clock is monotonic.
    double d1 = w.GetCurrentTime();
    double d2 = w.GetCurrentTime();
    EXPECT_LE(d1, d2);
}

// Updates far more often than once a millisecond still count the time.
TEST(StopWatch, FrequentUpdatesCountDown)
{
    // Updates less than a millisecond apart must still add up. A second
    // watch updated once measures an interval inside the first one's (started
    // after it, read before it), so the sum can fall short of it only by the
    // rounding of its own last millisecond, whatever the scheduler does.
    CVLStopWatch w(1000000);
    CVLStopWatch once(1000000);
    w.Start();
    once.Start();
    double dStart = w.GetCurrentTime();
    long nCounted = 0;
    while ((w.GetCurrentTime() - dStart) * 1000.0 < 20.0) {
        w.Update();
        nCounted += w.GetElapsed();
    }
    once.Update();
    w.Update();
    nCounted += w.GetElapsed();
    EXPECT_GE(nCounted, once.GetElapsed() - 1);
    EXPECT_GE(once.GetElapsed(), 20);
    EXPECT_EQ(w.GetTimeout(), 1000000 - nCounted);
}
