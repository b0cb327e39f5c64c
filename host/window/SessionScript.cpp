#include "SessionScript.h"

#include "InputQueue.h"
#include "Recorder.h"
#include "frames/FrameFiles.h"
#include "frames/SafeFiles.h"
#include "script/ScriptCommands.h"
#include "sim/SimPanel.h"
#include "state/StateFile.h"

#include <algorithm>

namespace {

std::string FileName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Long gaps go over several lines: passes takes at most 100,000,000.
void PassesUntil(uint64_t point, uint64_t* read, std::string* text) {
    while (point > *read) {
        const uint64_t n = std::min<uint64_t>(point - *read, 100000000);
        *text += FormatCommand(ScriptCommandKind::PASSES, {std::to_string(n)}) + "\n";
        *read += n;
    }
}

} // namespace

bool WriteSessionScript(const SessionHistory& history, uint64_t point, const std::string& path,
                        const SimPanel& shown, std::string* why) {
    const uint64_t start = history.StartPoint();
    std::string text =
        "# A session in the TMX-5 simulator window, from its start to the pass shown; replay it "
        "with tmx5 run.\n";
    std::string base = path;
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".tmx") == 0) base.resize(base.size() - 4);
    // A session that began from a loaded state (or a recording begun while
    // on) starts from it again: the runner loads it at its first event
    // point, where the window's session began.
    SessionState there, s;
    history.StateAt(start, &s);
    const bool fromLoad = !(s.point == 0 && s.clock.NowMs() == 0 && s.instrument.PowerState == POWER_OFF);
    if (fromLoad) {
        // The panel as it stood at the start, for the state file's host part.
        SimPanel started;
        started.PutBackSession(s);
        const std::string statePath = base + ".start.state";
        const bool written = WriteStateFile(statePath, CaptureInstrument(started.Snapshot()), why);
        history.StateAt(point, &there); // the instrument back at the point shown
        if (!written) return false;
        text += FormatCommand(ScriptCommandKind::LOAD_STATE, {FileName(statePath)}) + "\n";
    } else {
        history.StateAt(point, &there);
    }
    // The runner's event point of the window's event point w.
    auto runnerPoint = [&](uint64_t w) { return fromLoad ? w - start + 1 : w; };
    uint64_t read = 1; // where the runner reads the next line
    std::string last;
    uint64_t lastPoint = 0;
    const std::vector<SessionInputAt>& inputs = history.Inputs();
    for (size_t i = 0; i < inputs.size() && inputs[i].point <= point;) {
        const uint64_t w = inputs[i].point;
        std::string line;
        bool event = false;
        for (; i < inputs.size() && inputs[i].point == w; i++) {
            const PanelInput& in = inputs[i].input;
            if (in.kind != PanelInput::UTC) event = true;
            line += (line.empty() ? "" : "; ") + InputCommand(in);
        }
        const uint64_t r = runnerPoint(w);
        if (!last.empty()) text += last + "\n";
        PassesUntil(r, &read, &text);
        last = line;
        lastPoint = r;
        read = r + (event ? 2 : 0);
    }
    // The state and frame shown, where the runner reads the closing lines:
    // on the last input's own line when the point is that line's.
    std::string closing;
    for (const auto& value : RecordedState(shown.Label15(), shown.Lamp()))
        closing += "; " + FormatCommand(ScriptCommandKind::EXPECT, {value.first, value.second});
    const std::string framePath = Recorder::FramePath(path);
    if (!WriteFramePbm(framePath, shown.Frame())) {
        *why = "Cannot write " + framePath + ".";
        return false;
    }
    closing += "; " + FormatCommand(ScriptCommandKind::EXPECT_FRAME, {FileName(framePath)});
    const uint64_t end = runnerPoint(point);
    if (!last.empty() && lastPoint == end) {
        text += last + closing + "\n";
    } else {
        if (!last.empty()) text += last + "\n";
        PassesUntil(end, &read, &text);
        text += "# The session was saved here, showing:\n" + closing.substr(2) + "\n";
    }
    // Written whole, or the old file kept.
    std::string error;
    if (!WriteFileAtomically(path, text, &error)) {
        *why = "Cannot write " + path + ": " + error;
        return false;
    }
    return true;
}
