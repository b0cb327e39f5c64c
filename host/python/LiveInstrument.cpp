#include "LiveInstrument.h"

#include <stdexcept>

#include <sys/mman.h>

LiveInstrument* LiveInstrument::live_ = nullptr;

// The runner's stack: the firmware needs little, writing pictures a little
// more; pages are only taken when touched. The lowest page stays unmapped so
// an overflow faults instead of writing over other memory.
static const size_t STACK_BYTES = 8u << 20;
static const size_t GUARD_BYTES = 1u << 16;

LiveInstrument::LiveInstrument() : runner_(out_, err_) {
    if (live_ != nullptr)
        throw std::runtime_error(
            "another tmx5.Instrument is open; the firmware keeps its state in globals, so "
            "one instrument runs at a time: close the other first");
    stack_ = mmap(nullptr, STACK_BYTES, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                  -1, 0);
    if (stack_ == MAP_FAILED) throw std::runtime_error("cannot map a stack for the instrument");
    mprotect(stack_, GUARD_BYTES, PROT_NONE);
    stackBytes_ = STACK_BYTES;
    live_ = this;
    RunOptions options;
    options.allowAnyPath = true; // the caller's own files, wherever it keeps them
    runner_.SetOptions(options);
    runner_.SetObserver(&coverage_);
    runner_.SetIdle([this] { return Idle(); });
    runner_.SetPoll([this] { return Poll(); });
    getcontext(&fiber_);
    fiber_.uc_stack.ss_sp = static_cast<char*>(stack_) + GUARD_BYTES;
    fiber_.uc_stack.ss_size = STACK_BYTES - GUARD_BYTES;
    fiber_.uc_link = &caller_;
    makecontext(&fiber_, Entry, 0);
    // Into the runner: it builds the host (program start) and goes idle at
    // the first event point, where the first command will run.
    Resume();
}

LiveInstrument::~LiveInstrument() {
    Close();
    if (stack_ != nullptr) munmap(stack_, stackBytes_);
}

void LiveInstrument::Entry() {
    live_->runner_.Run();
    live_->ended_ = true;
    // Returning goes back to the caller (uc_link).
}

LiveInstrument::Result LiveInstrument::Resume() {
    out_.str("");
    err_.str("");
    out_.clear();
    err_.clear();
    runner_.ClearFedStatus();
    for (;;) {
        pollWanted_ = false;
        swapcontext(&caller_, &fiber_);
        if (!pollWanted_) break;
        stop_ = poll_();
    }
    Result r;
    r.status = runner_.FedStatus();
    r.out = out_.str();
    r.err = err_.str();
    return r;
}

// On the runner's stack, at an event point with nothing left to do.
bool LiveInstrument::Idle() {
    swapcontext(&fiber_, &caller_);
    return !closing_;
}

bool LiveInstrument::Poll() {
    if (!poll_) return false;
    // The poll runs on the caller's stack (it may run the caller's signal
    // handlers), so switch there and back.
    pollWanted_ = true;
    swapcontext(&fiber_, &caller_);
    return stop_;
}

// "NAME:1: why" -> "why", for a command that stood alone.
static std::string WithoutPlace(const std::string& message) {
    const std::string prefix = ":1: ";
    return message.compare(0, prefix.size(), prefix) == 0 ? message.substr(prefix.size()) : message;
}

LiveInstrument::Result LiveInstrument::Command(const std::vector<std::string>& words) {
    if (closed_) throw std::logic_error("the instrument is closed");
    err_.str("");
    if (!runner_.FeedCommand(words, "", ".")) {
        Result r;
        r.status = 4;
        r.err = WithoutPlace(err_.str());
        return r;
    }
    Result r = Resume();
    r.err = WithoutPlace(r.err);
    return r;
}

LiveInstrument::Result LiveInstrument::Script(const std::string& text, const std::string& displayName,
                                              const std::string& baseDir) {
    if (closed_) throw std::logic_error("the instrument is closed");
    err_.str("");
    if (!runner_.Feed(text, displayName, baseDir)) {
        Result r;
        r.status = 4;
        r.err = err_.str();
        return r;
    }
    return Resume();
}

bool LiveInstrument::Read(const std::string& name, std::string* value, std::string* why) {
    return runner_.ReadName(name, value, why);
}

void LiveInstrument::Close() {
    if (closed_) return;
    closed_ = true;
    if (!ended_) {
        // The runner ends the run (OFF when the instrument is on) and returns.
        closing_ = true;
        poll_ = nullptr;
        Resume();
    }
    if (live_ == this) live_ = nullptr;
}
