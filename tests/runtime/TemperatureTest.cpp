// The temperature channel: counts to degrees, calibration, Fahrenheit, and
// the minimum and maximum.
#include <gtest/gtest.h>

#include "runtime/Runtime.h"

namespace {

class Temperature : public ::testing::Test {
protected:
    void SetUp() override { ResetInstrumentState(); }
    s32 At(s32 count, u8 fahrenheit, s8 offset = 0) {
        RawSensor = count;
        TempUnitF = fahrenheit;
        CalibrationOffset = offset;
        UpdateTemperature();
        return TempDisplay;
    }
};

TEST_F(Temperature, CountsToCelsiusAndFahrenheit) {
    struct Row {
        s32 count, celsius, fahrenheit;
    } rows[] = {
        {2048, -17, 2},   {2400, 27, 80},    {2184, 0, 32},      {2191, 0, 32},   {0, -273, -459},
        {4096, 239, 462}, {1392, -99, -146}, {1391, -100, -148}, {2983, 99, 210}, {2984, 100, 212},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(At(r.count, 0), r.celsius) << "count " << r.count;
        EXPECT_EQ(SensorSample, r.count);
        EXPECT_EQ(At(r.count, 1), r.fahrenheit) << "count " << r.count;
        EXPECT_EQ(TempCelsius, r.celsius);
    }
    for (s32 c = 2184; c <= 2191; c++) EXPECT_EQ(At(c, 0), 0) << c;
}

TEST_F(Temperature, FahrenheitTruncatesTowardZero) {
    struct Row {
        s32 c, f;
    } rows[] = {{-1, 31}, {-7, 20}, {-17, 2}, {-100, -148}, {100, 212}, {-273, -459}, {0, 32}};
    for (const Row& r : rows) EXPECT_EQ(CelsiusToFahrenheit(r.c), r.f) << r.c;
}

TEST_F(Temperature, OffsetIsAppliedBeforeFahrenheit) {
    EXPECT_EQ(At(2184, 0, 3), 3);
    EXPECT_EQ(At(2184, 1, 3), 37);
    EXPECT_EQ(At(2184, 1, -20), -4);
}

TEST_F(Temperature, MinimumAndMaximumFollowEveryReading) {
    At(2400, 0);
    ResetMinMax();
    EXPECT_EQ(TempMin, 27);
    EXPECT_EQ(TempMax, 27);
    EXPECT_EQ(HookCalls[HOOK_MINMAX_RESET] > 0, true);
    At(2200, 0);
    At(2600, 0);
    At(2400, 0);
    EXPECT_EQ(TempMin, 2);
    EXPECT_EQ(TempMax, 52);
}

// A change of unit converts the held extremes, so the OAT page never shows a
// Celsius minimum with a Fahrenheit sign.
TEST_F(Temperature, UnitChangeConvertsMinimumAndMaximum) {
    TempUnitF = 0;
    TempMin = 15;
    TempMax = 25;
    SetTempUnit(1);
    EXPECT_EQ(TempUnitF, 1);
    EXPECT_EQ(TempMin, 59);
    EXPECT_EQ(TempMax, 77);
    // A reading of 20 C (68 F) lies between them and moves neither.
    RawSensor = (20 + 273) * 8;
    UpdateTemperature();
    EXPECT_EQ(TempDisplay, 68);
    EXPECT_EQ(TempMin, 59);
    EXPECT_EQ(TempMax, 77);
    SetTempUnit(0);
    EXPECT_EQ(TempMin, 15);
    EXPECT_EQ(TempMax, 25);
    // A value no Celsius reading gives converts with truncation: 3 F is -16 C.
    TempMin = 3;
    TempUnitF = 1;
    SetTempUnit(0);
    EXPECT_EQ(TempMin, -16);
    // Setting the unit already in force converts nothing.
    TempMax = 40;
    SetTempUnit(0);
    EXPECT_EQ(TempMax, 40);
}

// Toggling the unit back and forth used to move the held extremes by a degree
// each round trip (-17 C became 2 F and came back as -16 C), until the
// maximum stood above anything ever read.
TEST_F(Temperature, UnitRoundTripsLeaveMinimumAndMaximumWhereTheyWere) {
    for (s32 count = 0; count <= 4096; count += 1) {
        ResetInstrumentState();
        RawSensor = count;
        UpdateTemperature();
        ResetMinMax();
        for (int trip = 0; trip < 3; trip++) {
            SetTempUnit(1);
            UpdateTemperature();
            ASSERT_EQ(TempMax, TempDisplay) << "count " << count;
            SetTempUnit(0);
            UpdateTemperature();
            ASSERT_EQ(TempMin, TempCelsius) << "count " << count;
            ASSERT_EQ(TempMax, TempCelsius) << "count " << count;
        }
    }
}

TEST_F(Temperature, ResetCalibrationZeroesAndSignals) {
    CalibrationOffset = -7;
    u32 before = HookCalls[HOOK_SETTINGS_CHANGED];
    ResetCalibration();
    EXPECT_EQ(CalibrationOffset, 0);
    EXPECT_EQ(HookCalls[HOOK_SETTINGS_CHANGED], before + 1);
}

} // namespace
