// The outside-air temperature channel: one sensor count per pass becomes
// whole degrees Celsius (one count is an eighth of a degree, count 2184 is
// 0 degrees), plus the calibration offset, then Fahrenheit when chosen, and
// the lowest and highest value since the last reset. Integer arithmetic only.
#include "Runtime.h"

s32 ReadSensor(u8 channel) { return channel == 0 ? RawSensor : 0; }

s32 CelsiusToFahrenheit(s32 celsius) {
    return celsius * 18 / 10 + 32; // truncates toward zero: -1 gives 31
}

// The Celsius value whose Fahrenheit reading is this one, so that a held
// minimum or maximum comes back unchanged after a unit round trip: every
// Fahrenheit value the instrument holds is such a reading. A value that no
// Celsius reading gives is converted with (F - 32) x 10 / 18, truncating.
s32 FahrenheitToCelsius(s32 fahrenheit) {
    s32 c = (fahrenheit - 32) * 10 / 18;
    for (s32 near = c - 1; near <= c + 1; near++)
        if (CelsiusToFahrenheit(near) == fahrenheit) return near;
    return c;
}

void UpdateTemperature(void) {
    SensorSample = ReadSensor(0);
    TempCelsius = SensorSample * 1250 / 10000 - 273;
    TempCelsius = TempCelsius + CalibrationOffset;
    TempDisplay = TempUnitF == 1 ? CelsiusToFahrenheit(TempCelsius) : TempCelsius;
    if (TempDisplay < TempMin) TempMin = TempDisplay;
    if (TempDisplay > TempMax) TempMax = TempDisplay;
}

void ResetMinMax(void) {
    TempMin = TempDisplay;
    TempMax = TempDisplay;
    HookMinMaxReset();
}

void ResetCalibration(void) {
    CalibrationOffset = 0;
    HookSettingsChanged();
}

// The minimum and maximum are held in the unit they were taken in; a change
// of unit converts them so the OAT page never shows a Celsius number with a
// Fahrenheit sign.
void SetTempUnit(u8 fahrenheit) {
    u8 unit = fahrenheit != 0 ? 1 : 0;
    if (unit != TempUnitF) {
        if (unit == 1) {
            TempMin = CelsiusToFahrenheit(TempMin);
            TempMax = CelsiusToFahrenheit(TempMax);
        } else {
            TempMin = FahrenheitToCelsius(TempMin);
            TempMax = FahrenheitToCelsius(TempMax);
        }
    }
    TempUnitF = unit;
}
