#include "StateNames.h"

#include <cstdlib>
#include <cstring>

#include "lcd/Lcd.h"
#include "runtime/Runtime.h"

#define U8(v) {#v, STATE_U8, (void*)&v, 1}
#define S8(v) {#v, STATE_S8, (void*)&v, 1}
#define U32(v) {#v, STATE_U32, (void*)&v, 1}
#define S32(v) {#v, STATE_S32, (void*)&v, 1}
#define TIME(r)                                                                     \
    {#r ".DayOfYear", STATE_U32, (void*)&r.DayOfYear, 1},                           \
        {#r ".Second", STATE_U8, (void*)&r.Second, 1}, {#r ".Minute", STATE_U8, (void*)&r.Minute, 1}, \
        {#r ".Hour", STATE_U8, (void*)&r.Hour, 1}, {#r ".Day", STATE_U8, (void*)&r.Day, 1},           \
        {#r ".Weekday", STATE_U8, (void*)&r.Weekday, 1}, {#r ".Month", STATE_U8, (void*)&r.Month, 1}, \
        {#r ".Year", STATE_U32, (void*)&r.Year, 1}

const std::vector<StateName>& StateNames() {
    static const std::vector<StateName> names = {
        U8(KeyCode), U8(KeyStep), U8(InactivitySeconds), U8(TickDivider), U8(SecondElapsed),
        U8(FlashDivider), U8(FlashPhase), U8(StopRequested), U8(StopwatchRunning), U8(TimerRunning),
        U8(AlarmEnabled), U32(StopwatchTenths), U32(TimerRemainingTenths), U8(ExpiryFlags),
        U8(AckFlags), U8(CalibrateEnabled), U8(HomePage), U8(MenuCursor), U8(EditMode), U8(Contrast),
        U8(Backlight), U8(TempUnitF), U8(TimerPresetHours), U8(TimerPresetMinutes),
        U8(TimerPresetSeconds), U8(AlarmHour), U8(AlarmMinute), U8(AlarmSecond), U8(MainZone),
        U8(SecondZone),
        {"LocalOffsetHours", STATE_S8, (void*)LocalOffsetHours, ZONE_COUNT},
        {"LocalOffsetMinutes", STATE_S8, (void*)LocalOffsetMinutes, ZONE_COUNT},
        TIME(UtcTime), TIME(MainZoneTime), TIME(SecondZoneTime),
        {"UtcClockOffset", STATE_S64, (void*)&UtcClockOffset, 1},
        S32(RawSensor), S32(SensorSample), S32(TempCelsius), S32(TempDisplay), S32(TempMin),
        S32(TempMax), S8(CalibrationOffset), U32(EditYear), U8(EditMonth), U8(EditDay), U8(EditHour),
        U8(EditMinute), U8(EditSecond), U8(PowerState), U8(RestartRequested),
        {"FrameBuffer", STATE_U8, (void*)FrameBuffer, 912},
        {"HookContrast", STATE_U32, (void*)&HookCalls[HOOK_CONTRAST], 1},
        {"HookBacklightOn", STATE_U32, (void*)&HookCalls[HOOK_BACKLIGHT_ON], 1},
        {"HookBacklightOff", STATE_U32, (void*)&HookCalls[HOOK_BACKLIGHT_OFF], 1},
        {"HookLampOn", STATE_U32, (void*)&HookCalls[HOOK_LAMP_ON], 1},
        {"HookLampOff", STATE_U32, (void*)&HookCalls[HOOK_LAMP_OFF], 1},
        {"HookSettingsChanged", STATE_U32, (void*)&HookCalls[HOOK_SETTINGS_CHANGED], 1},
        {"HookMinMaxReset", STATE_U32, (void*)&HookCalls[HOOK_MINMAX_RESET], 1},
    };
    return names;
}

bool ResolveStateName(const std::string& text, const StateName** var, int* index, std::string* error) {
    std::string base = text;
    int idx = -1;
    size_t open = text.find('[');
    if (open != std::string::npos) {
        if (text.back() != ']' || open + 2 > text.size() - 1) {
            *error = "bad index in " + text;
            return false;
        }
        std::string digits = text.substr(open + 1, text.size() - open - 2);
        if (digits.empty() || digits.size() > 4 || digits.find_first_not_of("0123456789") != std::string::npos) {
            *error = "bad index in " + text;
            return false;
        }
        idx = std::atoi(digits.c_str());
        base = text.substr(0, open);
    }
    for (const StateName& n : StateNames()) {
        if (base != n.name) continue;
        if (n.count > 1 && idx < 0) {
            *error = base + " needs an index, 0 to " + std::to_string(n.count - 1);
            return false;
        }
        if (n.count == 1 && idx >= 0) {
            *error = base + " takes no index";
            return false;
        }
        if (idx >= n.count) {
            *error = "index " + std::to_string(idx) + " of " + base + " is past its end (" +
                     std::to_string(n.count - 1) + ")";
            return false;
        }
        *var = &n;
        *index = idx < 0 ? 0 : idx;
        return true;
    }
    *error = "unknown name " + text;
    return false;
}

long long ReadStateValue(const StateName* var, int index) {
    switch (var->kind) {
    case STATE_U8: return ((const u8*)var->address)[index];
    case STATE_S8: return ((const s8*)var->address)[index];
    case STATE_U32: return ((const u32*)var->address)[index];
    case STATE_S32: return ((const s32*)var->address)[index];
    case STATE_S64: return ((const s64*)var->address)[index];
    }
    return 0;
}
