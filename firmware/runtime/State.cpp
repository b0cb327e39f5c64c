// Storage of the instrument's state, from the rows of StateTable.h.
#include "State.h"

#include <cstring>

#include "../lcd/Lcd.h"

#define STATE(type, name, powerOn, min, max, writer) type name;
#define STATE_ARRAY(type, name, count, powerOn, min, max, writer) type name[count];
#define STATE_EDIT(type, name, min, max, writer) type name;
#define STATE_TIME(name, writer) TimeFields name;
#define STATE_ROUTINE(name, writer) ScreenRoutine name;
#define STATE_HOOKS(name) u32 name[HOOK_COUNT];
#include "StateTable.h"

void ResetInstrumentState(void) {
#define STATE(type, name, powerOn, min, max, writer) name = 0;
#define STATE_ARRAY(type, name, count, powerOn, min, max, writer) std::memset(name, 0, sizeof name);
#define STATE_EDIT(type, name, min, max, writer) name = 0;
#define STATE_TIME(name, writer) std::memset(&name, 0, sizeof name);
#define STATE_ROUTINE(name, writer) name = nullptr;
#define STATE_HOOKS(name) std::memset(name, 0, sizeof name);
#define STATE_EXTERN(type, name, count, writer) std::memset(name, 0, sizeof name);
#include "StateTable.h"
}
