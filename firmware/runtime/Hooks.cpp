// The seven hardware hooks. On the instrument they drive the display
// controller's contrast, the backlight and the warning lamp, and tell the
// settings store that something changed. The simulator has none of that
// hardware, so each hook only counts its calls; tests read the counts.
#include "Runtime.h"

u32 HookCalls[HOOK_COUNT];

void HookContrast(void) { HookCalls[HOOK_CONTRAST]++; }
void HookBacklightOn(void) { HookCalls[HOOK_BACKLIGHT_ON]++; }
void HookBacklightOff(void) { HookCalls[HOOK_BACKLIGHT_OFF]++; }
void HookLampOn(void) { HookCalls[HOOK_LAMP_ON]++; }
void HookLampOff(void) { HookCalls[HOOK_LAMP_OFF]++; }
void HookSettingsChanged(void) { HookCalls[HOOK_SETTINGS_CHANGED]++; }
void HookMinMaxReset(void) { HookCalls[HOOK_MINMAX_RESET]++; }
