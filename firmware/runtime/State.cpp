// Storage of the instrument's state, from the rows of StateTable.h.
#include "State.h"

#include <cstring>

#include "../lcd/Lcd.h"

#define STATE(type, name, powerOn, min, max, writer, meaning) type name;
#define STATE_ARRAY(type, name, count, powerOn, min, max, writer, meaning) type name[count];
#define STATE_EDIT(type, name, min, max, writer, meaning) type name;
#define STATE_TIME(name, writer, meaning) TimeFields name;
#define STATE_ROUTINE(name, writer, meaning) ScreenRoutine name;
#define STATE_HOOKS(name) u32 name[HOOK_COUNT];
#include "StateTable.h"

void ResetInstrumentState(void) {
#define STATE(type, name, powerOn, min, max, writer, meaning) name = 0;
#define STATE_ARRAY(type, name, count, powerOn, min, max, writer, meaning) std::memset(name, 0, sizeof name);
#define STATE_EDIT(type, name, min, max, writer, meaning) name = 0;
#define STATE_TIME(name, writer, meaning) std::memset(&name, 0, sizeof name);
#define STATE_ROUTINE(name, writer, meaning) name = nullptr;
#define STATE_HOOKS(name) std::memset(name, 0, sizeof name);
#define STATE_EXTERN(type, name, count, writer, meaning) std::memset(name, 0, sizeof name);
#include "StateTable.h"
}
