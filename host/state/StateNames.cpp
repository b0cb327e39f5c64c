#include "StateNames.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "lcd/Lcd.h"
#include "runtime/Runtime.h"

namespace {

StateKind KindOf(const u8*) { return STATE_U8; }
StateKind KindOf(const s8*) { return STATE_S8; }
StateKind KindOf(const u32*) { return STATE_U32; }
StateKind KindOf(const s32*) { return STATE_S32; }
StateKind KindOf(const s64*) { return STATE_S64; }

constexpr long long WithZero(long long min) { return min > 0 ? 0 : min; }

} // namespace

const std::vector<StateName>& StateNames() {
    // clang-format off
#define STATE(type, name, powerOn, min, max, writer, meaning) \
    {#name, KindOf(&name), (void*)&name, 1, powerOn, WithZero(min), max, meaning},
#define STATE_ARRAY(type, name, count, powerOn, min, max, writer, meaning) \
    {#name, KindOf(name), (void*)name, count, powerOn, WithZero(min), max, meaning},
#define STATE_EDIT(type, name, min, max, writer, meaning) \
    {#name, KindOf(&name), (void*)&name, 1, false, 0, WithZero(min), max, meaning},
#define TIME_FIELD_NAME(record, type, field, min, max, meaning) \
    {#record "." #field, KindOf(&record.field), (void*)&record.field, 1, false, 0, WithZero(min), max, meaning},
#define STATE_TIME(name, writer, meaning) TIME_FIELDS(TIME_FIELD_NAME, name)
#define HOOK_NAME(id, routine, meaning) {#routine, STATE_U32, (void*)&HookCalls[id], 1, false, 0, 0, UINT32_MAX, meaning},
#define STATE_HOOKS(name) HOOK_LIST(HOOK_NAME)
#define STATE_EXTERN(type, name, count, writer, meaning) \
    {#name, KindOf(name), (void*)name, count, false, 0, 0, std::numeric_limits<type>::max(), meaning},
    static const std::vector<StateName> names = {
#include "runtime/StateTable.h"
    };
#undef TIME_FIELD_NAME
#undef HOOK_NAME
    // clang-format on
    return names;
}

const StateName* FindStateName(const std::string& name) {
    for (const StateName& n : StateNames())
        if (name == n.name) return &n;
    return nullptr;
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
        if (digits.empty() || digits.size() > 4 ||
            digits.find_first_not_of("0123456789") != std::string::npos) {
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

void WriteStateValue(const StateName* var, int index, long long value) {
    switch (var->kind) {
        case STATE_U8:
            ((u8*)var->address)[index] = (u8)value;
            break;
        case STATE_S8:
            ((s8*)var->address)[index] = (s8)value;
            break;
        case STATE_U32:
            ((u32*)var->address)[index] = (u32)value;
            break;
        case STATE_S32:
            ((s32*)var->address)[index] = (s32)value;
            break;
        case STATE_S64:
            ((s64*)var->address)[index] = (s64)value;
            break;
    }
}

bool ParseWhole(const std::string& s, long long lo, long long hi, long long* v) {
    if (s.empty() || s.size() > 20) return false;
    size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (i == s.size() || s.find_first_not_of("0123456789", i) != std::string::npos) return false;
    errno = 0;
    const long long value = std::strtoll(s.c_str(), nullptr, 10);
    if (errno != 0 || value < lo || value > hi) return false;
    *v = value;
    return true;
}
