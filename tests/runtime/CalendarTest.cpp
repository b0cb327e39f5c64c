// Calendar arithmetic, zone times and the host clock reading.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

#include "runtime/Runtime.h"

namespace {

TimeFields Fields(u32 year, u8 month, u8 day, u8 hour, u8 minute, u8 second) {
    TimeFields t = {};
    t.Year = year - 1900;
    t.Month = month - 1;
    t.Day = day;
    t.Hour = hour;
    t.Minute = minute;
    t.Second = second;
    return t;
}

TEST(Calendar, EveryDayFrom1970To2099RoundTripsAndAgreesWithGmtime) {
    // One instant per day, at a second that moves through the day so that
    // hours, minutes and seconds are all exercised.
    const u32 last = 4102444799u; // 2099-12-31 23:59:59
    u32 day = 0;
    for (uint64_t s = 0; s <= last; s += 86400, day++) {
        u32 seconds = (u32)s + (day * 7919u) % 86400u;
        if (seconds > last) seconds = last;
        TimeFields t;
        SecondsToDate(seconds, &t);
        ASSERT_EQ(DateToSeconds(&t), seconds) << "day " << day;

        std::time_t tt = seconds;
        std::tm g;
        gmtime_r(&tt, &g);
        ASSERT_EQ(t.Second, g.tm_sec) << seconds;
        ASSERT_EQ(t.Minute, g.tm_min) << seconds;
        ASSERT_EQ(t.Hour, g.tm_hour) << seconds;
        ASSERT_EQ(t.Day, g.tm_mday) << seconds;
        ASSERT_EQ(t.Month, g.tm_mon) << seconds;
        ASSERT_EQ(t.Year, (u32)g.tm_year) << seconds;
        ASSERT_EQ(t.Weekday, g.tm_wday) << seconds;
        ASSERT_EQ(t.DayOfYear, (u32)g.tm_yday) << seconds;
    }
}

TEST(Calendar, LandmarkDates) {
    TimeFields t;
    SecondsToDate(0, &t);
    EXPECT_EQ(t.Weekday, 4); // Thursday
    EXPECT_EQ(t.Day, 1);
    EXPECT_EQ(t.Month, 0);
    EXPECT_EQ(t.Year, 70u);
    EXPECT_EQ(t.DayOfYear, 0u);
    EXPECT_EQ(DateToSeconds(&t), 0u);

    SecondsToDate(951782400u, &t); // 2000-02-29
    EXPECT_EQ(t.Day, 29);
    EXPECT_EQ(t.Month, 1);
    EXPECT_EQ(t.DayOfYear, 59u);
    SecondsToDate(951782400u + 86400u, &t);
    EXPECT_EQ(t.Day, 1);
    EXPECT_EQ(t.Month, 2);
    EXPECT_EQ(t.DayOfYear, 60u);

    SecondsToDate(4102444799u, &t); // 2099-12-31 23:59:59
    EXPECT_EQ(t.DayOfYear, 364u);
    EXPECT_EQ(t.Weekday, 4);

    // The instrument counts 2100 as a leap year: the day after 28 February
    // 2100 is 29 February.
    TimeFields feb28 = Fields(2100, 2, 28, 12, 0, 0);
    SecondsToDate(DateToSeconds(&feb28) + 86400u, &t);
    EXPECT_EQ(t.Month, 1);
    EXPECT_EQ(t.Day, 29);
}

TEST(Calendar, DateToSecondsIgnoresWeekdayAndDayOfYear) {
    TimeFields t = Fields(2026, 3, 14, 15, 9, 26);
    u32 s = DateToSeconds(&t);
    t.Weekday = 6;
    t.DayOfYear = 300;
    EXPECT_EQ(DateToSeconds(&t), s);
    EXPECT_EQ(s, 1773500966u);
}

class ZoneTimes : public ::testing::Test {
protected:
    void SetUp() override {
        ResetInstrumentState();
        UtcTime = Fields(2026, 6, 1, 23, 30, 0);
    }
    static void Expect(const TimeFields& t, u8 h, u8 m, u8 s) {
        EXPECT_EQ(t.Hour, h);
        EXPECT_EQ(t.Minute, m);
        EXPECT_EQ(t.Second, s);
    }
};

TEST_F(ZoneTimes, BaseOffsetsOfTheTable) {
    struct Row {
        u8 zone;
        const char* name;
        u8 h, m;
    } rows[] = {
        {43, "UTC Zulu", 23, 30},    {109, "Kathmandu", 5, 15}, {31, "Newfoundland", 20, 0},
        {152, "Nuku'alofa", 12, 30}, {104, "Chennai", 5, 0},    {0, "Intl Date Line", 11, 30},
        {94, "Tehran", 3, 0},        {134, "Adelaide", 9, 0},
    };
    for (const Row& r : rows) {
        MainZone = r.zone;
        SecondZone = r.zone;
        UpdateZoneTimes();
        char name[32];
        ZoneName(r.zone, name);
        EXPECT_STREQ(name, r.name);
        SCOPED_TRACE(r.name);
        Expect(MainZoneTime, r.h, r.m, 0);
        Expect(SecondZoneTime, r.h, r.m, 0);
    }
}

TEST_F(ZoneTimes, ChennaiRollsTheDateOver) {
    MainZone = 104;
    UpdateZoneTimes();
    EXPECT_EQ(MainZoneTime.Day, 2);
    EXPECT_EQ(MainZoneTime.Month, 5);
}

// Zone times are signed: west of UTC in the first hours of 1970 the zone is
// still on 31 December 1969 (a Wednesday, the year's day 364), and the
// furthest a local offset reaches, 25 hours less a minute west, lands on the
// 30th.
TEST_F(ZoneTimes, WestOfUtcEarlyIn1970ShowsTheLastDaysOf1969) {
    UtcTime = Fields(1970, 1, 1, 0, 0, 1);
    MainZone = 3;   // Hawaii, UTC-10
    SecondZone = 0; // Intl Date Line, UTC-12
    LocalOffsetHours[0] = -12;
    LocalOffsetMinutes[0] = -59;
    UpdateZoneTimes();
    Expect(MainZoneTime, 14, 0, 1);
    EXPECT_EQ(MainZoneTime.Day, 31);
    EXPECT_EQ(MainZoneTime.Month, 11);
    EXPECT_EQ(MainZoneTime.Year, 69u);
    EXPECT_EQ(MainZoneTime.Weekday, 3);
    EXPECT_EQ(MainZoneTime.DayOfYear, 364u);
    Expect(SecondZoneTime, 23, 1, 1);
    EXPECT_EQ(SecondZoneTime.Day, 30);
    EXPECT_EQ(SecondZoneTime.Weekday, 2);
}

TEST_F(ZoneTimes, LocalOffsetAppliesToItsOwnZoneOnly) {
    UtcTime = Fields(2026, 6, 1, 12, 0, 0);
    MainZone = 104;   // +5:30
    SecondZone = 105; // also +5:30
    LocalOffsetHours[104] = -1;
    LocalOffsetMinutes[104] = 30;
    UpdateZoneTimes();
    Expect(MainZoneTime, 17, 0, 0);    // UTC + 5:00
    Expect(SecondZoneTime, 17, 30, 0); // untouched
    // The same zone in the other slot carries its offset along.
    SecondZone = 104;
    UpdateZoneTimes();
    Expect(SecondZoneTime, 17, 0, 0);
}

TEST_F(ZoneTimes, FifteenCharacterNameHasNoTerminatorAndIsReadWhole) {
    char name[32];
    std::memset(name, 'x', sizeof name);
    ZoneName(108, name);
    EXPECT_STREQ(name, "Jayawardenepura");
    EXPECT_EQ(ZoneBaseOffset(31), -(3 * 3600 + 30 * 60));
    EXPECT_EQ(ZoneBaseOffset(109), 5 * 3600 + 45 * 60);
}

// A host clock a test controls.
s64 FakeNow = 0;
bool FakeReadable = true;
u8 FakeClockNow(void*, s64* s) {
    if (!FakeReadable) return 0;
    *s = FakeNow;
    return 1;
}
const HostClock FakeClock = {nullptr, FakeClockNow, StdClockBreakDown};

class HostClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetInstrumentState();
        FakeNow = 1767225600; // 2026-01-01 00:00:00
        FakeReadable = true;
        HostAttach(nullptr, &FakeClock);
    }
    void TearDown() override { HostAttach(nullptr, nullptr); }
};

TEST_F(HostClockTest, ReadUtcFillsEverythingButDayOfYear) {
    TimeFields t = {};
    t.DayOfYear = 77;
    FakeNow += 3 * 3600 + 4 * 60 + 5;
    ReadUtc(&t);
    EXPECT_EQ(t.Hour, 3);
    EXPECT_EQ(t.Minute, 4);
    EXPECT_EQ(t.Second, 5);
    EXPECT_EQ(t.Day, 1);
    EXPECT_EQ(t.Month, 0);
    EXPECT_EQ(t.Year, 126u);
    EXPECT_EQ(t.Weekday, 4); // 1 January 2026 is a Thursday
    EXPECT_EQ(t.DayOfYear, 77u);
}

TEST_F(HostClockTest, UnreadableClockKeepsTheLastTime) {
    ReadUtc(&UtcTime);
    TimeFields before = UtcTime;
    FakeReadable = false;
    FakeNow += 100;
    ReadUtc(&UtcTime);
    EXPECT_EQ(std::memcmp(&before, &UtcTime, sizeof before), 0);
    // Setting UTC without a clock keeps the offset rather than inventing one.
    TimeFields t = Fields(2030, 1, 1, 0, 0, 0);
    SetUtcClock(&t);
    EXPECT_EQ(UtcClockOffset, 0);
}

TEST_F(HostClockTest, ConfirmedUtcTimeStaysAndRunsOnWithTheHost) {
    TimeFields t = Fields(2031, 7, 4, 9, 15, 0);
    SetUtcClock(&t);
    FakeNow += 61;
    ReadUtc(&UtcTime);
    EXPECT_EQ(UtcTime.Year, 131u);
    EXPECT_EQ(UtcTime.Month, 6);
    EXPECT_EQ(UtcTime.Day, 4);
    EXPECT_EQ(UtcTime.Hour, 9);
    EXPECT_EQ(UtcTime.Minute, 16);
    EXPECT_EQ(UtcTime.Second, 1);
    // Power-on forgets it: the instrument follows the host again.
    LoadDefaults();
    ReadUtc(&UtcTime);
    EXPECT_EQ(UtcTime.Year, 126u);
}

// The confirmed time is read back through the host's calendar, in which 2100
// is a common year; building the offset with the instrument's own calendar
// (2100 a leap year) made 2100-03-01 read as 2100-03-02.
TEST_F(HostClockTest, ConfirmedTimeAfterFebruary2100ReadsBackTheSameDay) {
    struct Row {
        u32 year;
        u8 month, day;
    } rows[] = {{2100, 3, 1}, {2100, 2, 28}, {2100, 12, 31}, {2099, 12, 31}, {1970, 1, 1}, {2000, 3, 1}};
    for (const Row& r : rows) {
        TimeFields t = Fields(r.year, r.month, r.day, 10, 20, 30);
        SetUtcClock(&t);
        ReadUtc(&UtcTime);
        EXPECT_EQ(UtcTime.Year, r.year - 1900) << r.year << "-" << (int)r.month << "-" << (int)r.day;
        EXPECT_EQ(UtcTime.Month, r.month - 1) << r.year << "-" << (int)r.month << "-" << (int)r.day;
        EXPECT_EQ(UtcTime.Day, r.day) << r.year << "-" << (int)r.month << "-" << (int)r.day;
        EXPECT_EQ(UtcTime.Hour, 10);
        EXPECT_EQ(UtcTime.Second, 30);
    }
    // A day past the end of its month, which the editor allows, runs on.
    TimeFields t = Fields(2026, 4, 31, 0, 0, 0);
    SetUtcClock(&t);
    ReadUtc(&UtcTime);
    EXPECT_EQ(UtcTime.Month, 4);
    EXPECT_EQ(UtcTime.Day, 1);
}

} // namespace
