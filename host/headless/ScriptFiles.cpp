// The commands of a script that read and write files: the reference frames
// of expect-frame (and their rewriting with --update-frames), movies, saved
// states, and the resolving of a script's file names inside their folders.
#include "ScriptRunner.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "frames/FrameConvert.h"
#include "frames/FrameFiles.h"
#include "frames/SafeFiles.h"
#include "screens/Screens.h"
#include "state/StateNames.h"

// The file a script's name stands for: below the script's folder to read a
// reference, below the output folder to write. A name that leads out of its
// folder (absolute, "..", or a symbolic link, a dangling one included) ends
// the run with status 2, unless any path is allowed.
bool ScriptRunner::Resolve(const std::string& name, bool write, int number, std::string* path) {
    namespace fs = std::filesystem;
    const std::string root = write && !outDir_.empty() ? outDir_ : baseDir_.empty() ? "." : baseDir_;
    *path = name.empty() || name[0] == '/' || root == "." ? name : root + "/" + name;
    // A FIFO would hold the run in open() for ever, a device would take a
    // snapshot's bytes: scripts read and write regular files only.
    const std::string notRegular = NotWritable(*path);
    if (!notRegular.empty()) {
        err_ << displayName_ << ":" << number << ": " << name << " is " << notRegular
             << "; a script reads and writes regular files only\n";
        Finish(2);
        return false;
    }
    if (allowAnyPath_) return true;
    std::error_code ec, ec2, ec3;
    const fs::path top = fs::weakly_canonical(root, ec);
    const fs::path full = fs::weakly_canonical(fs::path(root) / name, ec2);
    bool inside = !ec && !ec2;
    if (inside) {
        auto a = top.begin(), b = full.begin();
        for (; a != top.end() && b != full.end() && *a == *b; ++a, ++b) {}
        // (weakly_canonical keeps a trailing empty element on a folder path)
        inside = (a == top.end() || a->empty()) && b != full.end();
    }
    if (inside && fs::is_symlink(fs::symlink_status(*path, ec3)) && !fs::exists(*path, ec3)) inside = false;
    if (inside) return true;
    err_ << displayName_ << ":" << number << ": " << name << " leads out of "
         << (write && !outDir_.empty() ? "the output folder " : "the script's folder ") << root
         << "; tmx5 run --allow-any-path allows it\n";
    Finish(2);
    return false;
}

// The state goes back as it was saved, at an event point: the instrument's
// variables, then the host's part. A powered-on state is resumed by the idle
// loop (RunInstrument) once the script waits for something.
void ScriptRunner::Apply(const InstrumentSnapshot& state) {
    RestoreInstrument(state);
    host_->PutBack(state.host);
    if (PowerState == POWER_ON) resumeRequested_ = true;
}

ScriptRunner::Step ScriptRunner::SaveState(const ScriptCommand& c, int number) {
    std::string why, path;
    if (!Resolve(c.text, true, number, &path)) return STEP_STOP;
    if (PowerState == POWER_SPLASH)
        why = "save-state: the instrument is in its splash; save after it";
    else if (WriteStateFile(path, CaptureInstrument(host_->Snapshot()), &why))
        return STEP_ON;
    err_ << displayName_ << ":" << number << ": " << why << "\n";
    Finish(2);
    return STEP_STOP;
}

ScriptRunner::Step ScriptRunner::LoadState(const ScriptCommand& c, int number) {
    InstrumentSnapshot state;
    std::string why, path, written;
    // A state this run saved below the output folder, else one beside the script.
    if (!Resolve(c.text, false, number, &path)) return STEP_STOP;
    std::error_code ec;
    if (!outDir_.empty() && Resolve(c.text, true, number, &written) && std::filesystem::exists(written, ec))
        path = written;
    if (finished_) return STEP_STOP;
    read_.push_back(path);
    if (!ReadStateFile(path, &state, &why)) {
        err_ << displayName_ << ":" << number << ": load-state: " << why << "\n";
        Finish(2);
        return STEP_STOP;
    }
    if (!running_) {
        // At an idle event point: the state goes back now and the line goes on.
        Apply(state);
        return STEP_ON;
    }
    // Inside the instrument's loop: end it (every loop ends at once, nothing
    // more is drawn), then put the state back from the idle loop and go on
    // from there with the rest of the line.
    staged_ = state;
    loadPending_ = true;
    RequestShutdown();
    return STEP_SUSPEND;
}

// "home.pbm" -> "home": the stem beside which .actual.pbm and .diff.png go.
static std::string Stem(const std::string& path) { return path.substr(0, path.size() - 4); }

bool ScriptRunner::WriteReference(const std::string& path, const u8* frame, int number) {
    std::error_code ec;
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    if (WriteFramePbm(path, frame)) return true;
    err_ << displayName_ << ":" << number << ": cannot write " << path << ": " << std::strerror(errno)
         << "\n";
    Finish(2);
    return false;
}

ScriptRunner::Step ScriptRunner::ExpectFrame(const ScriptCommand& c, int number) {
    // The reference is read from the script's folder; what the expectation
    // writes goes below the output folder.
    std::string path, outPath;
    if (!Resolve(c.text, false, number, &path) || !Resolve(c.text, true, number, &outPath)) return STEP_STOP;
    const u8* got = host_->Panel().Frame();
    const std::string where = displayName_ + ":" + std::to_string(number) + ": ";
    u8 want[LCD_BYTES];
    std::string why;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        if (updateFrames_) {
            if (!WriteReference(outPath, got, number)) return STEP_STOP;
            written_.push_back({outPath, true, 0, ""});
            return STEP_ON;
        }
        err_ << where << "expected frame " << c.text << ", but " << path
             << " does not exist; tmx5 run --update-frames " << displayName_ << " writes it\n";
        Finish(1);
        return STEP_STOP;
    }
    read_.push_back(path);
    if (!ReadFramePbm(path, want, &why)) {
        if (updateFrames_) {
            // A broken reference (cut short, another size, not a PBM) is replaced whole.
            if (!WriteReference(outPath, got, number)) return STEP_STOP;
            if (why.compare(0, path.size() + 1, path + " ") == 0) why.erase(0, path.size() + 1);
            written_.push_back({outPath, false, 0, why});
            return STEP_ON;
        }
        err_ << where << "expected frame " << c.text << ", but " << why << "; tmx5 run --update-frames "
             << displayName_ << " rewrites it\n";
        Finish(1);
        return STEP_STOP;
    }
    const FrameDiff diff = CompareFrames(want, got, c.ignore);
    if (diff.count == 0) return STEP_ON;
    if (updateFrames_) {
        u8 merged[LCD_BYTES];
        MergeIgnored(want, got, c.ignore, merged);
        if (!WriteReference(outPath, merged, number)) return STEP_STOP;
        written_.push_back({outPath, false, diff.count, ""});
        return STEP_ON;
    }
    err_ << where << "expected frame " << c.text << ", got " << diff.count << " pixel"
         << (diff.count == 1 ? "" : "s") << " different, the first at (" << diff.firstX << ", " << diff.firstY
         << ")\n"
         << DescribeFrameDiff(diff, want, got);
    // The two pictures obey the same rules as the reference (a link planted
    // under either name must not lead a write out of the folder).
    std::string actualPath, diffPath;
    if (!Resolve(Stem(c.text) + ".actual.pbm", true, number, &actualPath) ||
        !Resolve(Stem(c.text) + ".diff.png", true, number, &diffPath))
        return STEP_STOP;
    std::filesystem::path parent = std::filesystem::path(outPath).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    if (WriteFramePbm(actualPath, got) && WriteBytes(diffPath, EncodeDiffPng(diff, got)))
        err_ << "  wrote " << actualPath << " and " << diffPath << "\n";
    else
        err_ << "  cannot write " << actualPath << " and " << diffPath << ": " << std::strerror(errno)
             << "\n";
    Finish(1);
    return STEP_STOP;
}

ScriptRunner::Step ScriptRunner::StartMovie(const ScriptCommand& c, int number) {
    std::string path;
    if (!Resolve(c.text, true, number, &path)) return STEP_STOP;
    std::error_code ec;
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    movie_.reset(new Movie());
    movieLine_ = number;
    if (movie_->Start(path, (int)c.number, host_->Panel().Frame(), host_->NowMs())) return STEP_ON;
    err_ << displayName_ << ":" << number << ": cannot write " << path << ": " << movie_->Error() << "\n";
    Finish(2);
    return STEP_STOP;
}

// Finishes the movie; says so when it cannot be written.
bool ScriptRunner::EndMovie(int number) {
    if (movie_->Finish(host_->NowMs())) return true;
    err_ << displayName_ << ":" << number << ": cannot write " << movie_->Path() << ": " << movie_->Error()
         << "\n";
    return false;
}

// At every event point: the frame shown now goes into the movie.
void ScriptRunner::RecordMovie() {
    if (!movie_ || !movie_->IsOpen()) return;
    if (!movie_->Add(host_->Panel().Frame(), host_->NowMs())) {
        err_ << displayName_ << ":" << movieLine_ << ": cannot write " << movie_->Path() << ": "
             << movie_->Error() << "\n";
        Finish(2);
    } else if (movie_->Full()) {
        err_ << displayName_ << ":" << movieLine_ << ": movie " << movie_->Path() << " stopped at "
             << (MOVIE_MAX_BYTES >> 20) << " MiB, " << movie_->Images() << " images; the run goes on\n";
    }
}

ScriptRunner::Step ScriptRunner::ExpectText(const ScriptCommand& c, int number) {
    std::string strips;
    const int differ = CompareText(c.expectText, host_->Panel().Frame(), &strips);
    if (differ == 0) return STEP_ON;
    err_ << displayName_ << ":" << number << ": expected text " << QuoteText(c.expectText.text) << " at ("
         << c.expectText.x << ", " << c.expectText.y << "), " << differ
         << (differ == 1 ? " pixel differs" : " pixels differ") << "\n"
         << strips;
    Finish(1);
    return STEP_STOP;
}
