// The instrument's state by name, for scripts: `expect MainZone 43`,
// `print LocalOffsetHours[31] UtcTime.Hour`.
#pragma once

#include <string>
#include <vector>

#include "runtime/State.h"

enum StateKind { STATE_U8, STATE_S8, STATE_U32, STATE_S32, STATE_S64 };

struct StateName {
    const char* name;
    StateKind kind;
    void* address;
    int count; // 1 for a plain variable, the length of an array
    // The power-on value, for a variable that power-on sets to a fixed value.
    bool hasPowerOn;
    long long powerOn;
    // The range of every element. It takes in 0, the program-start value of
    // every variable: the UTC editor's fields and the time records hold
    // zeros until the editor first opens and the instrument first runs.
    long long min;
    long long max;
    // What the number means to a user, from its row (the script reference).
    const char* meaning;
};

// Every named variable of the instrument state (arrays once, by base name),
// in the order of StateTable.h; the hook counts by their hook's name.
const std::vector<StateName>& StateNames();

// The variable of that name as StateNames() gives it (an array by its base
// name), or null.
const StateName* FindStateName(const std::string& name);

// Resolves "Name", "Name[i]" or "Record.Field" to a variable and an element.
// Returns false (and why in *error) for an unknown name or a bad index.
bool ResolveStateName(const std::string& text, const StateName** var, int* index, std::string* error);

// A whole decimal number in lo..hi, optionally signed, and nothing else:
// how scripts and state files write a value.
bool ParseWhole(const std::string& s, long long lo, long long hi, long long* v);

// The element's value as a signed 64-bit number. Inline: the coverage
// recorder reads every variable many times a virtual second.
inline long long ReadStateValue(const StateName* var, int index) {
    switch (var->kind) {
        case STATE_U8:
            return ((const u8*)var->address)[index];
        case STATE_S8:
            return ((const s8*)var->address)[index];
        case STATE_U32:
            return ((const u32*)var->address)[index];
        case STATE_S32:
            return ((const s32*)var->address)[index];
        case STATE_S64:
            return ((const s64*)var->address)[index];
    }
    return 0;
}

// Stores value into the element, converted to its type. The caller keeps it
// within min..max.
void WriteStateValue(const StateName* var, int index, long long value);
