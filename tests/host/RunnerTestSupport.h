// Running scripts in process for the runner's tests.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

// A fresh folder in the test's working directory (the build tree), removed
// with everything in it when the test program ends.
inline std::string TempDir() {
    struct Made {
        std::vector<std::string> dirs;
        ~Made() {
            std::error_code error;
            for (const std::string& d : dirs) std::filesystem::remove_all(d, error);
        }
    };
    static Made made;
    std::string path = (std::filesystem::current_path() / "tmx5-test-XXXXXX").string();
    if (mkdtemp(&path[0]) == nullptr) return ".";
    made.dirs.push_back(path);
    return path;
}

// The whole file, or "" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Runs a shell command; its status, standard output and error output.
inline Result Sh(const std::string& cmd) {
    static const std::string dir = TempDir();
    const int status = std::system(("(" + cmd + ") > " + dir + "/out 2> " + dir + "/err").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir + "/out"), ReadFile(dir + "/err")};
}
