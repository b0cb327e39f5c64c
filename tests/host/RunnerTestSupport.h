// Running scripts in process for the runner's tests.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "headless/ScriptRunner.h"

struct Result {
    int code;
    std::string out, err;
};

// Loads and runs a script as "t.tmx" with file names relative to dir.
inline Result RunText(const std::string& script, const std::string& dir = ".", bool update = false) {
    std::ostringstream out, err;
    ScriptRunner runner(out, err);
    runner.SetUpdateFrames(update);
    int code = runner.Load(script, "t.tmx", dir) ? runner.Run() : 2;
    return {code, out.str(), err.str()};
}

// A fresh folder under /tmp.
inline std::string TempDir() {
    char tmpl[] = "/tmp/tmx5-test-XXXXXX";
    const char* d = mkdtemp(tmpl);
    return d ? d : "/tmp";
}

// The whole file, or "" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
