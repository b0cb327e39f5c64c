// libFuzzer target: the input bytes are a state file for load-state. A file
// the reader rejects must leave the instrument exactly as it was. A file it
// accepts is put back as load-state puts it back; the instrument's promises
// must hold at once and, for a powered state, at every event point of a few
// resumed passes, each with a key so that the screen's editing code runs too.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "screens/Screens.h"
#include "script/ScriptReference.h"
#include "state/StateFile.h"
#include "support/Invariants.h"

static void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

// Most of a state file's numbers are the frame's 912 bytes, so libFuzzer's
// own mutations rarely touch a variable. Three times in four this mutator
// changes one value of one other line instead: to a neighbour, an edge or
// any small number, or ScreenHandler to another screen.
extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed) {
    std::minstd_rand rng(seed);
    if (rng() % 4 == 0) return LLVMFuzzerMutate(data, size, maxSize);
    std::vector<std::string> lines;
    std::istringstream in(std::string((const char*)data, size));
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    std::vector<size_t> values; // lines with a name and values, the frame's left out
    for (size_t i = 1; i < lines.size(); i++)
        if (!lines[i].empty() && lines[i][0] != '#' && lines[i].compare(0, 12, "FrameBuffer ") != 0 &&
            lines[i].find(' ') != std::string::npos)
            values.push_back(i);
    if (values.empty()) return LLVMFuzzerMutate(data, size, maxSize);
    std::string& line = lines[values[rng() % values.size()]];
    std::vector<std::string> words;
    std::istringstream w(line);
    for (std::string word; w >> word;) words.push_back(word);
    if (words.size() < 2) return LLVMFuzzerMutate(data, size, maxSize);
    std::string& word = words[1 + rng() % (words.size() - 1)];
    if (words[0] == "ScreenHandler") {
        static const std::vector<std::string> screens = ScreenRoutineNames();
        word = screens[rng() % screens.size()];
    } else {
        long long v = std::strtoll(word.c_str(), nullptr, 10);
        if (v > (1LL << 40) || v < -(1LL << 40)) v = 0;
        const long long choices[] = {v + 1, v - 1, 0, 1, -1, 255, 256, (long long)(rng() % 300), v * 2, -v};
        word = std::to_string(choices[rng() % (sizeof choices / sizeof choices[0])]);
    }
    line = words[0];
    for (size_t i = 1; i < words.size(); i++) line += " " + words[i];
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    if (text.size() > maxSize) return LLVMFuzzerMutate(data, size, maxSize);
    std::memcpy(data, text.data(), text.size());
    return text.size();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HeadlessHost host;
    const std::string text((const char*)data, size);
    const std::string before = FormatStateFile(CaptureInstrument(host.Snapshot()));
    InstrumentSnapshot state;
    int line;
    std::string why;
    if (!ParseStateFile(text, &state, &line, &why)) {
        if (why.empty()) Fail("a rejected state file said nothing", text);
        if (FormatStateFile(CaptureInstrument(host.Snapshot())) != before)
            Fail("a rejected state file changed the instrument", why);
        return 0;
    }
    // What load-state does at an idle event point.
    RestoreInstrument(state);
    host.PutBack(state.host);
    // A file that reads back differently lost or changed a value.
    if (FormatStateFile(CaptureInstrument(host.Snapshot())) != FormatStateFile(state))
        Fail("a loaded state does not read back as it was written", text);

    // The checker holds the event point's stack depth per power state, so
    // the check outside the loop has a watch of its own.
    InvariantWatch loaded, watch;
    auto check = [](InvariantWatch* w, const char* when) {
        volatile char mark = 0;
        const std::string broken = CheckInvariants(w, (uintptr_t)&mark);
        if (!broken.empty()) Fail(when, broken);
    };
    check(&loaded, "invariant broken right after loading");
    if (PowerState != POWER_ON) return 0;

    // A few passes, the input's last bytes choosing a key for each.
    const u8 keys[] = {KEY_MENU, KEY_CW, KEY_CCW, KEY_LEFT, KEY_RIGHT};
    int points = 0;
    host.SetEventPoint([&] {
        check(&watch, "invariant broken in a resumed pass");
        if (++points >= 6) {
            RequestShutdown();
            return;
        }
        PostKey(keys[size > (size_t)points ? data[size - points] % 5 : 0]);
    });
    PowerState = POWER_OFF; // as ResumeMainLoop takes it
    ResumeMainLoop();
    host.SetEventPoint(nullptr);
    return 0;
}
