// The instrument's clock: calendar and time zones.
//
// The instrument keeps no time of its own: once a second the main loop reads
// the host clock as UTC (plus the instrument's own clock offset, set by SET
// UTC TIME), and derives the main and second zone times from it. Calendar
// arithmetic treats every year divisible by 4 as a leap year, which agrees
// with the Gregorian calendar from 1970 to 2099.
#include "Runtime.h"

#include <cstring>

const u16 MonthStartDays[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

// 153 zones in order of increasing UTC offset. A name fills at most 15
// characters; "Jayawardenepura" fills the field and has no terminator.
// The minutes take the sign of the hours: Newfoundland is 3 h 30 min behind.
// No zone has a daylight-saving rule.
// clang-format off
const Zone ZoneTable[ZONE_COUNT] = {
    {"Intl Date Line", -12, 0}, // 0
    {"Midway Island", -11, 0}, // 1
    {"Samoa", -11, 0}, // 2
    {"Hawaii", -10, 0}, // 3
    {"Alaska", -9, 0}, // 4
    {"Pacific Time", -8, 0}, // 5
    {"Tijuana", -8, 0}, // 6
    {"Baja", -8, 0}, // 7
    {"California", -8, 0}, // 8
    {"Arizona", -7, 0}, // 9
    {"Chihuahua", -7, 0}, // 10
    {"La Paz", -7, 0}, // 11
    {"Mazatlan", -7, 0}, // 12
    {"Mountain Time", -7, 0}, // 13
    {"Cen. America", -6, 0}, // 14
    {"Central Time", -6, 0}, // 15
    {"Guadalajara", -6, 0}, // 16
    {"Mexico City", -6, 0}, // 17
    {"Monterrey", -6, 0}, // 18
    {"Saskatchewan", -6, 0}, // 19
    {"Bogota", -5, 0}, // 20
    {"Lima", -5, 0}, // 21
    {"Quito", -5, 0}, // 22
    {"Rio Branco", -5, 0}, // 23
    {"Eastern Time", -5, 0}, // 24
    {"Indiana (East)", -5, 0}, // 25
    {"Atlantic Time", -4, 0}, // 26
    {"Caracas", -4, 0}, // 27
    {"La Paz", -4, 0}, // 28
    {"Manaus", -4, 0}, // 29
    {"Santiago", -4, 0}, // 30
    {"Newfoundland", -3, 30}, // 31
    {"Brasilia", -3, 0}, // 32
    {"Buenos Aires", -3, 0}, // 33
    {"Georgetown", -3, 0}, // 34
    {"Greenland", -3, 0}, // 35
    {"Montevideo", -3, 0}, // 36
    {"Mid-Atlantic", -2, 0}, // 37
    {"Azores", -1, 0}, // 38
    {"Cape Verde Is.", -1, 0}, // 39
    {"Casablanca", 0, 0}, // 40
    {"Monrovia", 0, 0}, // 41
    {"Reykjavik", 0, 0}, // 42
    {"UTC Zulu", 0, 0}, // 43
    {"GMT", 0, 0}, // 44
    {"Dublin", 0, 0}, // 45
    {"Edinburgh", 0, 0}, // 46
    {"Lisbon", 0, 0}, // 47
    {"London", 0, 0}, // 48
    {"Amsterdam", 1, 0}, // 49
    {"Berlin", 1, 0}, // 50
    {"Bern", 1, 0}, // 51
    {"Rome", 1, 0}, // 52
    {"Stockholm", 1, 0}, // 53
    {"Vienna", 1, 0}, // 54
    {"Belgrade", 1, 0}, // 55
    {"Bratislava", 1, 0}, // 56
    {"Budapest", 1, 0}, // 57
    {"ljubljana", 1, 0}, // 58
    {"Prague", 1, 0}, // 59
    {"Brussels", 1, 0}, // 60
    {"Copenhagen", 1, 0}, // 61
    {"Madrid", 1, 0}, // 62
    {"Paris", 1, 0}, // 63
    {"Sarajevo", 1, 0}, // 64
    {"Skopje", 1, 0}, // 65
    {"Warsaw", 1, 0}, // 66
    {"Zagreb", 1, 0}, // 67
    {"W Cen. Africa", 1, 0}, // 68
    {"Amman", 2, 0}, // 69
    {"Athens", 2, 0}, // 70
    {"Bucharest", 2, 0}, // 71
    {"Istanbul", 2, 0}, // 72
    {"Beirut", 2, 0}, // 73
    {"Cairo", 2, 0}, // 74
    {"Harare", 2, 0}, // 75
    {"Pretoria", 2, 0}, // 76
    {"Helsinki", 2, 0}, // 77
    {"Kyiv", 2, 0}, // 78
    {"Riga", 2, 0}, // 79
    {"Sofia", 2, 0}, // 80
    {"Tallinn", 2, 0}, // 81
    {"Vilnius", 2, 0}, // 82
    {"Jerusalum", 2, 0}, // 83
    {"Minsk", 2, 0}, // 84
    {"Windhoek", 2, 0}, // 85
    {"Baghdad", 3, 0}, // 86
    {"Kuwait", 3, 0}, // 87
    {"Riyadh", 3, 0}, // 88
    {"Moscow", 3, 0}, // 89
    {"St. Petersburg", 3, 0}, // 90
    {"Volgograd", 3, 0}, // 91
    {"Nairobi", 3, 0}, // 92
    {"Tbillsi", 3, 0}, // 93
    {"Tehran", 3, 30}, // 94
    {"Abu Dhabi", 4, 0}, // 95
    {"Muscat", 4, 0}, // 96
    {"Baku", 4, 0}, // 97
    {"Yerevan", 4, 0}, // 98
    {"Kabul", 4, 30}, // 99
    {"Ekaterinburg", 5, 0}, // 100
    {"Islamabad", 5, 0}, // 101
    {"Karachi", 5, 0}, // 102
    {"Tashkent", 5, 0}, // 103
    {"Chennai", 5, 30}, // 104
    {"Kolkata", 5, 30}, // 105
    {"Mumbai", 5, 30}, // 106
    {"New Delhi", 5, 30}, // 107
    {{'J', 'a', 'y', 'a', 'w', 'a', 'r', 'd', 'e', 'n', 'e', 'p', 'u', 'r', 'a'}, 5, 30}, // 108
    {"Kathmandu", 5, 45}, // 109
    {"Almaty", 6, 0}, // 110
    {"Novosibirsk", 6, 0}, // 111
    {"Astana", 6, 0}, // 112
    {"Dhaka", 6, 0}, // 113
    {"Yangon", 6, 30}, // 114
    {"Bangkok", 7, 0}, // 115
    {"Hanoi", 7, 0}, // 116
    {"Jakarta", 7, 0}, // 117
    {"Krasnoyarsk", 7, 0}, // 118
    {"Beijing", 8, 0}, // 119
    {"Chongqing", 8, 0}, // 120
    {"Hong Kong", 8, 0}, // 121
    {"Urumqi", 8, 0}, // 122
    {"Irkutsk", 8, 0}, // 123
    {"Ulaan Bataar", 8, 0}, // 124
    {"Kuala Lumpur", 8, 0}, // 125
    {"Singapore", 8, 0}, // 126
    {"Perth", 8, 0}, // 127
    {"Taipei", 8, 0}, // 128
    {"Osaka", 9, 0}, // 129
    {"Sapporo", 9, 0}, // 130
    {"Tokyo", 9, 0}, // 131
    {"Seoul", 9, 0}, // 132
    {"Yakutsk", 9, 0}, // 133
    {"Adelaide", 9, 30}, // 134
    {"Darwin", 9, 30}, // 135
    {"Brisbane", 10, 0}, // 136
    {"Canberra", 10, 0}, // 137
    {"Melbourne", 10, 0}, // 138
    {"Sydney", 10, 0}, // 139
    {"Guam", 10, 0}, // 140
    {"Port Moresby", 10, 0}, // 141
    {"Hobart", 10, 0}, // 142
    {"Vladivostok", 10, 0}, // 143
    {"Magadan", 11, 0}, // 144
    {"Solomon Is.", 11, 0}, // 145
    {"New Caledonia", 11, 0}, // 146
    {"Auckland", 12, 0}, // 147
    {"Wellington", 12, 0}, // 148
    {"Fiji", 12, 0}, // 149
    {"Kamchatka", 12, 0}, // 150
    {"Marshall Is.", 12, 0}, // 151
    {"Nuku'alofa", 13, 0}, // 152
};
// clang-format on

void ReadUtc(TimeFields* t) {
    s64 host;
    if (HostUtcClock->Now(HostUtcClock->Context, &host) == 0)
        return; // an unreadable clock keeps the last time
    TimeFields read = *t;
    if (HostUtcClock->BreakDown(HostUtcClock->Context, host + UtcClockOffset, &read) == 0) return;
    t->Second = read.Second;
    t->Minute = read.Minute;
    t->Hour = read.Hour;
    t->Day = read.Day;
    t->Month = read.Month;
    t->Weekday = read.Weekday;
    t->Year = read.Year;
}

void SecondsToDate(s64 seconds, TimeFields* t) {
    // Whole days, rounded down, so that the seconds before 1970 keep their
    // time of day: -1 is 23:59:59 on 1969-12-31.
    s64 d = seconds / 86400; // days since 1970-01-01
    if (seconds % 86400 < 0) d--;
    u32 s = (u32)(seconds - 86400 * d); // second of the day
    t->Second = (u8)(s % 60);
    t->Minute = (u8)(s / 60 % 60);
    t->Hour = (u8)(s / 3600);
    u32 e = (u32)(d + 731); // days since 1968-01-01, a leap year
    u32 q = e / 1461;       // four-year cycles, each beginning with a leap year
    u32 r = e % 1461;
    u32 leaps = q + (r >= 60 ? 1 : 0); // 29 Februaries already passed
    u32 y = (e - leaps) / 365;         // years since 1968
    u32 doy = e - 365 * y - leaps;
    if (r >= 60 && r <= 365) doy++; // after 28 February of the cycle's leap year
    t->DayOfYear = doy;
    t->Year = y + 68;
    u8 month = 13;
    u32 limit;
    do {
        month--;
        limit = MonthStartDays[month];
        if (month >= 2 && t->Year % 4 == 0) limit++;
    } while (doy < limit);
    t->Month = month;
    t->Day = (u8)(doy - limit + 1);
    t->Weekday = (u8)((d % 7 + 7 + 4) % 7); // 1970-01-01 was a Thursday
}

u32 DateToSeconds(const TimeFields* t) {
    // A month index past December would read beyond the table; the editors
    // never produce one, but an out-of-range record must not read wild memory.
    u8 month = t->Month < 12 ? t->Month : 11;
    u32 d = (t->Year - 70) * 365 + MonthStartDays[month] + t->Day - 1;
    d += (t->Year - 69) / 4; // leap days of 1972 up to the year before
    if (month > 1 && t->Year % 4 == 0) d++;
    return t->Second + 60u * t->Minute + 3600u * (t->Hour + 24u * d);
}

s32 ZoneBaseOffset(u8 zone) {
    const Zone* z = &ZoneTable[zone < ZONE_COUNT ? zone : ZONE_COUNT - 1];
    s32 minutes = z->OffsetHours < 0 ? -z->OffsetMinutes : z->OffsetMinutes;
    return 3600 * z->OffsetHours + 60 * minutes;
}

void ZoneName(u8 zone, char* text) {
    const Zone* z = &ZoneTable[zone < ZONE_COUNT ? zone : ZONE_COUNT - 1];
    u8 n = 0;
    while (n < 15 && z->Name[n] != 0) {
        text[n] = z->Name[n];
        n++;
    }
    text[n] = 0;
}

static void ZoneTime(u8 zone, TimeFields* out) {
    if (zone >= ZONE_COUNT) zone = ZONE_COUNT - 1;
    s32 offset = ZoneBaseOffset(zone) + 3600 * LocalOffsetHours[zone] + 60 * LocalOffsetMinutes[zone];
    // Signed and 64 bits wide: a zone west of UTC early on 1970-01-01 is
    // still on 1969-12-31.
    SecondsToDate((s64)DateToSeconds(&UtcTime) + offset, out);
}

void UpdateZoneTimes(void) {
    ZoneTime(MainZone, &MainZoneTime);
    ZoneTime(SecondZone, &SecondZoneTime);
}

// Seconds since 1970 in the Gregorian calendar, which the host clock's
// broken-down UTC follows (2100 is not a leap year there, unlike in
// DateToSeconds). A day past the end of its month runs on into the next.
static s64 GregorianSeconds(const TimeFields* t) {
    s64 y = (s64)t->Year + 1900;
    s64 m = (s64)t->Month + 1;
    if (m <= 2) y--;
    s64 era = (y >= 0 ? y : y - 399) / 400;
    s64 yoe = y - era * 400;                                        // 0..399
    s64 doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + t->Day - 1; // from 1 March
    s64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    s64 days = era * 146097 + doe - 719468;
    return days * 86400 + 3600 * t->Hour + 60 * t->Minute + t->Second;
}

void SetUtcClock(const TimeFields* t) {
    s64 host;
    if (HostUtcClock->Now(HostUtcClock->Context, &host) == 0) return;
    // The offset is read back through the host clock's calendar, so it is
    // made in that calendar too: 2100-03-01 stays 2100-03-01.
    UtcClockOffset = GregorianSeconds(t) - host;
}
