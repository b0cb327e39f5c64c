// The seven hardware hooks. On the instrument they drive the display
// controller's contrast, the backlight and the warning lamp, and tell the
// settings store that something changed. The simulator has none of that
// hardware, so each hook only counts its calls; tests read the counts.
#include "Runtime.h"

#define HOOK_ROUTINE(id, routine, meaning) \
    void routine(void) { HookCalls[id]++; }
HOOK_LIST(HOOK_ROUTINE)
#undef HOOK_ROUTINE
