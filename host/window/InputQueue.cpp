#include "InputQueue.h"

#include "Recorder.h"
#include "runtime/Runtime.h"
#include "script/ScriptCommands.h"

#include <QtGlobal>

namespace {

const char* KeyWord(qint64 code) {
    switch (code) {
        case KEY_MENU:
            return "menu";
        case KEY_CW:
            return "cw";
        case KEY_CCW:
            return "ccw";
        case KEY_LEFT:
            return "left";
        case KEY_RIGHT:
            return "right";
    }
    return "?";
}

} // namespace

void InputQueue::Push(SessionInput::Kind kind, int64_t value) {
    pending_.push_back(Queued{{kind, value}, 0});
}

void InputQueue::PushUtc(int64_t seconds, uint64_t atMs) {
    DropUtc();
    pending_.push_back(Queued{{SessionInput::UTC, seconds}, atMs});
}

void InputQueue::DropUtc() {
    for (auto i = pending_.begin(); i != pending_.end();)
        i = i->input.kind == SessionInput::UTC ? pending_.erase(i) : i + 1;
}

bool InputQueue::WaitingUtc(int64_t* seconds, uint64_t* atMs) const {
    for (const Queued& q : pending_)
        if (q.input.kind == SessionInput::UTC) {
            *seconds = q.input.value;
            *atMs = q.notBeforeMs;
            return true;
        }
    return false;
}

void InputQueue::Begin(uint64_t nowMs, uint32_t frameMs) {
    nowMs_ = nowMs;
    waiting_.clear();
    // After an input the next delivery is two event points on: at the event
    // point just before a new UTC, nothing else goes, so the clock is not
    // late.
    clockNext_ = false;
    for (const Queued& q : pending_)
        if (q.input.kind == SessionInput::UTC && q.notBeforeMs > nowMs && q.notBeforeMs <= nowMs + frameMs)
            clockNext_ = true;
}

bool InputQueue::Next(SessionInput* in) {
    while (!pending_.empty()) {
        const Queued q = pending_.front();
        pending_.pop_front();
        if (q.input.kind == SessionInput::UTC ? q.notBeforeMs > nowMs_ : clockNext_) {
            waiting_.push_back(q);
            continue;
        }
        *in = q.input;
        return true;
    }
    return false;
}

bool InputQueue::SensorFollows() const {
    return !pending_.empty() && pending_.front().input.kind == SessionInput::SENSOR;
}

void InputQueue::End() {
    pending_.insert(pending_.begin(), waiting_.begin(), waiting_.end());
    waiting_.clear();
}

std::deque<SessionInput> InputQueue::TakeAll() {
    std::deque<SessionInput> all;
    for (const Queued& q : pending_) all.push_back(q.input);
    pending_.clear();
    return all;
}

std::string InputCommand(const SessionInput& in) {
    switch (in.kind) {
        case SessionInput::ON:
            return FormatCommand(ScriptCommandKind::ON);
        case SessionInput::OFF:
            return FormatCommand(ScriptCommandKind::OFF);
        case SessionInput::KEY:
            return FormatCommand(ScriptCommandKind::KEY, {KeyWord(in.value)});
        case SessionInput::SENSOR:
            return FormatCommand(ScriptCommandKind::SENSOR, {std::to_string(in.value)});
        case SessionInput::CALIBRATE:
            return FormatCommand(ScriptCommandKind::CALIBRATE, {in.value ? "on" : "off"});
        case SessionInput::KEYFAST:
            return FormatCommand(ScriptCommandKind::KEYFAST, {in.value ? "on" : "off"});
        case SessionInput::UTC:
            return FormatCommand(ScriptCommandKind::UTC, {Recorder::UtcText(in.value)});
    }
    return std::string();
}
