#include "InputQueue.h"

#include "Recorder.h"
#include "runtime/Runtime.h"
#include "script/ScriptCommands.h"

#include <QtGlobal>

void InputQueue::Push(PanelInput::Kind kind, int64_t value) { pending_.push_back(Queued{{kind, value}, 0}); }

void InputQueue::PushUtc(int64_t seconds, uint64_t atMs) {
    DropUtc();
    pending_.push_back(Queued{{PanelInput::UTC, seconds}, atMs});
}

void InputQueue::DropUtc() {
    for (auto i = pending_.begin(); i != pending_.end();)
        i = i->input.kind == PanelInput::UTC ? pending_.erase(i) : i + 1;
}

bool InputQueue::WaitingUtc(int64_t* seconds, uint64_t* atMs) const {
    for (const Queued& q : pending_)
        if (q.input.kind == PanelInput::UTC) {
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
        if (q.input.kind == PanelInput::UTC && q.notBeforeMs > nowMs && q.notBeforeMs <= nowMs + frameMs)
            clockNext_ = true;
}

bool InputQueue::Next(PanelInput* in) {
    while (!pending_.empty()) {
        const Queued q = pending_.front();
        pending_.pop_front();
        if (q.input.kind == PanelInput::UTC ? q.notBeforeMs > nowMs_ : clockNext_) {
            waiting_.push_back(q);
            continue;
        }
        *in = q.input;
        return true;
    }
    return false;
}

bool InputQueue::SensorFollows() const {
    return !pending_.empty() && pending_.front().input.kind == PanelInput::SENSOR;
}

void InputQueue::End() {
    pending_.insert(pending_.begin(), waiting_.begin(), waiting_.end());
    waiting_.clear();
}

std::deque<PanelInput> InputQueue::TakeAll() {
    std::deque<PanelInput> all;
    for (const Queued& q : pending_) all.push_back(q.input);
    pending_.clear();
    return all;
}

std::string InputCommand(const PanelInput& in) {
    switch (in.kind) {
        case PanelInput::ON:
            return FormatCommand(ScriptCommandKind::ON);
        case PanelInput::OFF:
            return FormatCommand(ScriptCommandKind::OFF);
        case PanelInput::KEY:
            return FormatCommand(ScriptCommandKind::KEY, {KeyWord(in.value)});
        case PanelInput::SENSOR:
            return FormatCommand(ScriptCommandKind::SENSOR, {std::to_string(in.value)});
        case PanelInput::CALIBRATE:
            return FormatCommand(ScriptCommandKind::CALIBRATE, {in.value ? "on" : "off"});
        case PanelInput::KEYFAST:
            return FormatCommand(ScriptCommandKind::KEYFAST, {in.value ? "on" : "off"});
        case PanelInput::UTC:
            return FormatCommand(ScriptCommandKind::UTC, {Recorder::UtcText(in.value)});
    }
    return std::string();
}
