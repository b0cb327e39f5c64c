// Pieces several screens share: the wrap rule of values stepped by KeyStep,
// the flag toggle, and the hours:minutes:seconds field row of the editors.
#pragma once

#include "../runtime/State.h"

// A value in 0..last stepped by KeyStep. A step that would leave the range
// lands on the opposite end, not on the remainder: with a step of 10 and
// last 59, 55 goes up to 0 and 5 goes down to 59.
u8 WrapUp(u8 value, u8 last);
u8 WrapDown(u8 value, u8 last);

// 0 becomes 1, anything else 0.
u8 Toggled(u8 flag);

// The double-height hh:mm:ss row at y 40 of the time editors, hours at x 24,
// minutes at 48, seconds at 72, with ':' at 40 and 64. A field is inverse
// while MenuCursor selects it: hoursField for the hours, the next two
// cursor values for minutes and seconds.
void DrawTimeFields(u8 hours, u8 minutes, u8 seconds, u8 hoursField);
