// libFuzzer target: the input bytes are a scenario script. Load must accept
// or reject it, never crash. An accepted script runs when it is short (its
// waits, passes and power-ons stay within a small budget of event points) and
// its file names are plain names: the run happens in a folder of its own, and
// afterwards that folder must hold nothing but the snapshots and saved states
// the script names.
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "headless/ScriptRunner.h"

namespace fs = std::filesystem;

static fs::path WorkDir() {
    static fs::path dir;
    if (dir.empty()) {
        char pattern[] = "/tmp/tmx5-fuzz-scripts-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        dir = pattern;
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(WorkDir(), ec);
        });
    }
    return dir;
}

static void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

// Event points the script asks for, at the shortest frame period it sets.
static unsigned long long EventPointsAsked(const std::vector<ScriptLine>& lines) {
    long long frame = 20;
    for (const ScriptLine& line : lines)
        for (const ScriptCommand& c : line.commands)
            if (c.kind == ScriptCommand::FRAME_MS) frame = std::min(frame, c.number);
    unsigned long long points = 0;
    for (const ScriptLine& line : lines) {
        points += 3;
        for (const ScriptCommand& c : line.commands) {
            if (c.kind == ScriptCommand::WAIT) points += (unsigned long long)c.number / frame + 1;
            if (c.kind == ScriptCommand::PASSES) points += (unsigned long long)c.number;
            if (c.kind == ScriptCommand::ON) points += 81; // the splash
        }
    }
    return points;
}

static bool PlainName(const std::string& name) {
    return name.find('/') == std::string::npos && name.find("..") == std::string::npos;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path dir = WorkDir();
    std::string text((const char*)data, size);
    std::ostringstream out, err;
    ScriptRunner runner(out, err);
    if (!runner.Load(text, "fuzz.tmx", dir.string())) {
        if (!runner.Lines().empty()) Fail("a rejected script kept lines", text);
        if (err.str().empty()) Fail("a rejected script said nothing", text);
        return 0;
    }

    std::set<std::string> snaps;
    bool plain = true;
    for (const ScriptLine& line : runner.Lines())
        for (const ScriptCommand& c : line.commands) {
            const bool writes = c.kind == ScriptCommand::SNAP || c.kind == ScriptCommand::SAVE_STATE;
            if (writes) snaps.insert(c.text);
            if ((writes || c.kind == ScriptCommand::EXPECT_FRAME || c.kind == ScriptCommand::LOAD_STATE) &&
                !PlainName(c.text))
                plain = false;
        }
    if (!plain || EventPointsAsked(runner.Lines()) > 5000) return 0;

    int code = runner.Run();
    if (code < 0 || code > 2) Fail("exit status outside 0..2", std::to_string(code));

    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
        std::string name = e.path().filename().string();
        if (!snaps.count(name)) Fail("a run wrote a file no snap or save-state names", name);
    }
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) fs::remove_all(e.path(), ec);
    return 0;
}
