// Scripts in the page: the Script panel runs a scenario with the runner of
// `tmx5 run` itself, compiled into the page, so it reads, runs and reports
// exactly as the command does. The script runs from program start on the
// runner's own virtual clock, in a folder of the page's in-memory file
// system that holds the files the user picked (states to load, reference
// frames); the page offers what the script wrote for download and then goes
// on from the state the script ended in.
//
// The page calls these while its host sleeps, between two of its frames.
#include <emscripten.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "frames/FrameFiles.h"
#include "headless/ScriptRunner.h"

extern const char* const WebNoPictures; // WebPictures.cpp

namespace {

// The script's name in the runner's messages (FILE:LINE: ...).
const char* const ScriptName = "script.tmx";
// Where the script reads and writes its files.
const char* const ScriptFolder = "/script";

std::string Result;
std::string EndState;
bool Ran = false;

} // namespace

extern "C" {

// Empties the script's folder and makes it the current one, before the page
// writes the picked files into it.
EMSCRIPTEN_KEEPALIVE void WebScriptFolder() {
    std::error_code ec;
    std::filesystem::remove_all(ScriptFolder, ec);
    std::filesystem::create_directory(ScriptFolder, ec);
    if (chdir(ScriptFolder) != 0) {}
    // The runner gives what it writes the modes the mask allows; the page's
    // files start with a mask that allows nothing, which leaves them
    // unreadable to the page.
    umask(022);
}

// Checks and runs the script. Returns 0 when it passed, 1 when an
// expectation failed, 2 when it is bad or a file could not be read or
// written; 2 also when nothing ran, and then the page's instrument is
// untouched (WebScriptRan says which). The result text is what `tmx5 run`
// prints, standard output then standard error, with the count a suite of
// one script ends in: after the output when the script passed, before the
// runner's messages when it did not, so that the result ends in the
// FILE:LINE: message of the bad line or the failed expectation.
EMSCRIPTEN_KEEPALIVE int WebRunScript(const char* text) {
    std::ostringstream out, err;
    ScriptRunner runner(out, err);
    runner.SetKeepEndState(true);
    Result.clear();
    EndState.clear();
    Ran = false;
    if (!runner.Load(text, ScriptName, ".")) {
        Result = "0 passed, 0 failed, 1 bad\n" + err.str();
        return 2;
    }
    // A .png snapshot or a movie would fail half way: the whole script is
    // refused first, as a bad line is.
    std::ostringstream refused;
    for (const ScriptLine& line : runner.Lines())
        for (const ScriptCommand& c : line.commands)
            if ((c.kind == ScriptCommand::SNAP && FrameFormatOf(c.text) == FRAME_PNG) ||
                c.kind == ScriptCommand::MOVIE)
                refused << ScriptName << ":" << line.number << ": " << WebNoPictures << "\n";
    if (!refused.str().empty()) {
        Result = "0 passed, 0 failed, 1 bad\n" + refused.str();
        return 2;
    }
    Ran = true;
    const int code = runner.Run();
    EndState = runner.EndState();
    const std::string output = out.str();
    if (code == 0)
        Result = output + err.str() + "1 passed, 0 failed\n";
    else
        Result = output + (code == 1 ? "0 passed, 1 failed\n" : "0 passed, 0 failed, 1 bad\n") + err.str();
    return code;
}

// Whether the last script ran (and so changed the instrument): 1 or 0.
EMSCRIPTEN_KEEPALIVE int WebScriptRan() { return Ran ? 1 : 0; }

// The result of the last run.
EMSCRIPTEN_KEEPALIVE const char* WebScriptResult() { return Result.c_str(); }

// The state where the last run ended, as a state file's text; empty when it
// ended in the instrument's splash.
EMSCRIPTEN_KEEPALIVE const char* WebScriptEndState() { return EndState.c_str(); }

} // extern "C"
