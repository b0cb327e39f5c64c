#include "Invariants.h"

#include <sstream>

#include "screens/Screens.h"

namespace {

// Collects the first broken promise; names are only put together for it.
// The checks run at every event point of the fuzzers and the soak, so the
// text is put together out of line: a sanitizer build then sets up no string
// temporaries for the hundreds of checks that hold.
struct Report {
    std::string text;
    bool broken = false;

    void Range(const char* name, long long value, long long lo, long long hi, int index = -1,
               const char* prefix = "") {
        if (broken || (value >= lo && value <= hi)) return;
        OutOfRange(name, value, lo, hi, index, prefix);
    }
    [[gnu::noinline]] void OutOfRange(const char* name, long long value, long long lo, long long hi,
                                      int index, const char* prefix) {
        broken = true;
        text = std::string(prefix) + name;
        if (index >= 0) text += "[" + std::to_string(index) + "]";
        text += " = " + std::to_string(value) + ", outside " + std::to_string(lo) + ".." + std::to_string(hi);
    }
    void Fail(const std::string& what) {
        if (broken) return;
        broken = true;
        text = what;
    }
};

[[gnu::noinline]] std::string StackMoved(uintptr_t first, uintptr_t now) {
    std::ostringstream s;
    s << "stack depth of the event point moved by " << (long long)(first - now) << " bytes (power state "
      << (int)PowerState << ")";
    return s.str();
}

} // namespace

std::string CheckInvariants(InvariantWatch* watch, uintptr_t stackMark) {
    Report r;
    if (ScreenHandler == SetUtcTimeScreen) watch->utcEditorOpened = true;
        // Every variable in the range of its row in StateTable.h. The editor's
        // working fields hold their program-start zeros until it first opens, and
        // the time records theirs until the instrument first runs; a running
        // instrument's records are whole.
        // clang-format off
#define STATE(type, name, powerOn, min, max, writer, meaning) r.Range(#name, name, min, max);
#define STATE_ARRAY(type, name, count, powerOn, min, max, writer, meaning) \
    for (int i = 0; i < (count); i++) r.Range(#name, name[i], min, max, i);
#define STATE_EDIT(type, name, min, max, writer, meaning) \
    if (watch->utcEditorOpened) r.Range(#name, name, min, max);
#define TIME_FIELD_RANGE(record, type, field, min, max, meaning) r.Range("." #field, record.field, min, max, -1, #record);
#define STATE_TIME(name, writer, meaning) \
    if (PowerState == POWER_ON) { TIME_FIELDS(TIME_FIELD_RANGE, name) }
#include "runtime/StateTable.h"
#undef TIME_FIELD_RANGE
    // clang-format on

    // Null only before the first power-on; a running instrument always has a screen.
    // HomeScreen accepts any cursor another screen may leave behind at the
    // inactivity return.
    const ScreenRow* screen = FindScreen(ScreenHandler);
    if (!r.broken && (ScreenHandler != nullptr || PowerState == POWER_ON) && screen == nullptr)
        r.Fail("ScreenHandler is not a screen routine");
    if (screen != nullptr) r.Range(screen->Name, MenuCursor, 0, screen->LastCursor, -1, "MenuCursor on ");

    if (PowerState == POWER_ON) {
        // The event point of a running instrument ends a pass, whose screen
        // consumed the key.
        r.Range("KeyCode after a pass", KeyCode, KEY_NONE, KEY_NONE);
    }

    if (PowerState <= POWER_ON && !r.broken) {
        uintptr_t& first = watch->stackMark[PowerState];
        if (first == 0) first = stackMark;
        if (first != stackMark) r.Fail(StackMoved(first, stackMark));
    }
    return r.text;
}

// --- ClickDriver ----------------------------------------------------------------

int ClickDriver::Next() {
    if (exhausted_) return -1;
    int b = source_();
    if (b < 0) exhausted_ = true;
    return b;
}

bool ClickDriver::DeliverOne() {
    int b = Next();
    if (b < 0) return false;
    if (b < 160) {
        static void (*const keys[5])(void) = {Image5Click, Button3Click, Button4Click, Image3Click,
                                              Image6Click};
        keys[b % 5]();
    } else if (b < 176) {
        return true; // a pass without events
    } else if (b < 192) {
        int n = Next();
        if (n < 0) return false;
        skip_ = n < 224 ? (uint64_t)(n % 16 + 1) : (uint64_t)(n - 223) * 64;
        return true;
    } else if (b < 200) {
        int n = Next();
        if (n < 0) return false;
        for (int i = 0; i <= n % 16; i++) Timer1Timer();
    } else if (b < 216) {
        int hi = Next(), lo = Next();
        if (lo < 0) return false;
        host_->Panel().MoveTrackBar(((hi << 8) | lo) % 4097);
    } else if (b < 224) {
        host_->Panel().SetCalibrate(b & 1);
    } else if (b < 232) {
        host_->Panel().SetKeyFast(b & 1);
    } else if (b < 240) {
        s64 v = 0;
        for (int i = 0; i < 4; i++) {
            int n = Next();
            if (n < 0) return false;
            v = (v << 8) | n;
        }
        // Four bytes reach 4294967295; fold the span so that every second of
        // 1970 to 2099 is reachable.
        host_->Sim().SetUtc(v % HOST_CLOCK_SPAN);
    } else if (b < 244) {
        if (PowerState == POWER_OFF)
            powerOnRequested_ = true; // the idle loop runs the ON handler
        else
            Button1Click();
    } else if (b < 248) {
        Button2Click();
    } else {
        if (!DeliverOne()) return false;
        return DeliverOne();
    }
    events_++;
    return true;
}

void ClickDriver::OnEventPoint() {
    points_++;
    if (PowerState == POWER_ON) passes_++;
    if (check_) check_();
    if (exhausted_) return;
    if (skip_ > 0) {
        skip_--;
        return;
    }
    if (points_ >= pointLimit_ || !DeliverOne()) {
        exhausted_ = true;
        RequestShutdown();
    }
}

void ClickDriver::Run() {
    host_->SetEventPoint([this] { OnEventPoint(); });
    if (resume_) {
        resume_ = false;
        ResumeMainLoop();
    }
    while (!exhausted_ || powerOnRequested_) {
        host_->EventPoint();
        if (powerOnRequested_) {
            powerOnRequested_ = false;
            if (!exhausted_) Button1Click();
        }
    }
    host_->SetEventPoint(nullptr);
}
