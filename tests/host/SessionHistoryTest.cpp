// Going back and forward in a session: for random sessions and random event
// points, the state the history travels to is the state a straight `tmx5 run`
// of the same inputs saves there, and the frame it shows is the frame the run
// snaps there.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <map>
#include <random>

#include "RunnerTestSupport.h"
#include "frames/FrameFiles.h"
#include "headless/HeadlessHost.h"
#include "runtime/Runtime.h"
#include "sim/SessionHistory.h"
#include "state/StateFile.h"

namespace {

typedef std::map<uint64_t, std::vector<SessionInput>> Session; // inputs by event point

std::string UtcWords(int64_t seconds) {
    const std::time_t t = (std::time_t)seconds;
    std::tm b;
    gmtime_r(&t, &b);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", b.tm_year + 1900, b.tm_mon + 1,
                  b.tm_mday, b.tm_hour, b.tm_min, b.tm_sec);
    return text;
}

std::string Command(const SessionInput& in) {
    static const char* keys[] = {"", "menu", "cw", "ccw", "left", "right"};
    switch (in.kind) {
        case SessionInput::ON:
            return "on";
        case SessionInput::OFF:
            return "off";
        case SessionInput::KEY:
            for (int k = 1; k <= 5; k++)
                if (in.value == k) return std::string("key ") + keys[k];
            return "key ?";
        case SessionInput::SENSOR:
            return "sensor " + std::to_string(in.value);
        case SessionInput::CALIBRATE:
            return std::string("calibrate ") + (in.value ? "on" : "off");
        case SessionInput::KEYFAST:
            return std::string("keyfast ") + (in.value ? "on" : "off");
        case SessionInput::UTC:
            return "utc " + UtcWords(in.value);
    }
    return "";
}

bool IsEvent(const std::vector<SessionInput>& line) {
    for (const SessionInput& in : line)
        if (in.kind != SessionInput::UTC) return true;
    return false;
}

// A random session from event point first on: lines where the runner reads
// them (two event points after an input at the earliest), ON from off last
// on its line, inputs thick around power-on so that many land in the splash.
Session RandomSession(std::mt19937& rng, uint64_t first, uint64_t last) {
    Session s;
    uint64_t at = first + rng() % 20;
    while (at <= last) {
        std::vector<SessionInput> line;
        const unsigned n = 1 + rng() % 3;
        for (unsigned i = 0; i < n; i++) {
            const unsigned pick = rng() % 100;
            SessionInput in{SessionInput::KEY, 1 + (int64_t)(rng() % 5)};
            if (pick < 12) {
                in = {SessionInput::ON, 0};
            } else if (pick < 18) {
                in = {SessionInput::OFF, 0};
            } else if (pick < 26) {
                in = {SessionInput::SENSOR, (int64_t)(rng() % 4097)};
            } else if (pick < 30) {
                in = {SessionInput::CALIBRATE, (int64_t)(rng() % 2)};
            } else if (pick < 33) {
                in = {SessionInput::KEYFAST, (int64_t)(rng() % 2)};
            } else if (pick < 40) {
                in = {SessionInput::UTC, 946684800 + (int64_t)(rng() % 2000000000)};
            }
            line.push_back(in);
            if (in.kind == SessionInput::ON) break;
        }
        s[at] = line;
        const unsigned gap = rng() % 4 == 0 ? 40 + rng() % 300 : rng() % 12;
        at += (IsEvent(line) ? 2 : 1) + gap;
    }
    return s;
}

// The session as a script from event point first (the first line is read
// there), up to and including the line at point `until`, then `tail` on the
// line of point until.
std::string Script(const std::string& head, const Session& s, uint64_t first, uint64_t until,
                   const std::string& tail) {
    std::string text = head;
    uint64_t read = first;
    bool tailDone = false;
    for (const auto& line : s) {
        if (line.first > until) break;
        if (line.first > read) text += "passes " + std::to_string(line.first - read) + "\n";
        std::string words;
        for (const SessionInput& in : line.second) words += (words.empty() ? "" : "; ") + Command(in);
        if (line.first == until) {
            words += "; " + tail;
            tailDone = true;
        }
        text += words + "\n";
        read = line.first + (IsEvent(line.second) ? 2 : 0);
    }
    if (!tailDone) {
        if (until < read) return ""; // the runner reads no line at that point
        if (until > read) text += "passes " + std::to_string(until - read) + "\n";
        text += tail + "\n";
    }
    return text;
}

// A live run of the session on the headless host, feeding the history as a
// window does: every delivery recorded, snapshots when the history asks.
class LiveRun {
public:
    LiveRun(SessionHistory* history, const Session& session) : history_(history), session_(session) {
        host_.SetEventPoint([this] { OnEventPoint(); });
    }

    SessionState Capture() {
        SessionState s;
        s.point = Point();
        s.instrument.Capture();
        s.clock = host_.Sim();
        s.trackBar = host_.Panel().TrackBar();
        s.calibrate = host_.Panel().Calibrate();
        s.keyFast = host_.Panel().KeyFast();
        s.lamp = host_.Panel().Lamp();
        s.displayVisible = host_.Panel().DisplayVisible();
        s.powerOnDue = powerOnDue_;
        std::memcpy(s.frame, host_.Panel().Frame(), LCD_BYTES);
        return s;
    }

    // From program start, or from a loaded state at event point 1.
    void Start(const InstrumentSnapshot* loaded) {
        if (loaded) {
            host_.SetEventPoint(nullptr);
            host_.EventPoint();
            RestoreInstrument(*loaded);
            host_.PutBack(loaded->host);
            host_.SetEventPoint([this] { OnEventPoint(); });
        }
        history_->Start(Capture());
    }

    // Runs on until event point last.
    void RunTo(uint64_t last) {
        last_ = last;
        ShutdownRequested = 0;
        bool resume = PowerState == POWER_ON;
        while (Point() < last_) {
            if (resume) {
                resume = false;
                PowerState = POWER_OFF;
                ResumeMainLoop();
            } else if (powerOnDue_) {
                powerOnDue_ = false;
                Button1Click();
            } else {
                host_.EventPoint();
            }
        }
    }

    // Goes on from a state of the history (not one in the splash).
    void GoOnFrom(const SessionState& s) {
        s.instrument.Restore();
        HostSnapshot host;
        host.virtualMs = s.clock.NowMs();
        host.hostUtcMs = s.clock.UtcMs();
        host.frameMs = s.clock.FrameMs();
        host.trackBar = s.trackBar;
        host.calibrate = s.calibrate;
        host.keyFast = s.keyFast;
        host.lamp = s.lamp;
        host_.PutBack(host);
        base_ = s.point - host_.EventPoints();
        powerOnDue_ = s.powerOnDue;
    }

private:
    uint64_t Point() const { return base_ + host_.EventPoints(); }

    void OnEventPoint() {
        const uint64_t point = Point();
        auto line = session_.find(point);
        if (line != session_.end()) {
            for (const SessionInput& in : line->second) {
                switch (in.kind) {
                    case SessionInput::ON:
                        if (PowerState == POWER_OFF)
                            powerOnDue_ = true;
                        else
                            Button1Click();
                        break;
                    case SessionInput::OFF:
                        Button2Click();
                        break;
                    case SessionInput::KEY:
                        ClickKey((u8)in.value);
                        break;
                    case SessionInput::SENSOR:
                        host_.Panel().MoveTrackBar((int)in.value);
                        break;
                    case SessionInput::CALIBRATE:
                        host_.Panel().SetCalibrate(in.value != 0);
                        break;
                    case SessionInput::KEYFAST:
                        host_.Panel().SetKeyFast(in.value != 0);
                        break;
                    case SessionInput::UTC:
                        host_.Sim().SetUtc(in.value);
                        break;
                }
            }
            history_->Record(point, line->second);
        }
        history_->Reach(point);
        if (history_->WantsSnapshot(point) && PowerState != POWER_SPLASH) history_->AddSnapshot(Capture());
        if (point >= last_) RequestShutdown();
    }

    HeadlessHost host_;
    SessionHistory* history_;
    const Session& session_;
    uint64_t last_ = 0;
    uint64_t base_ = 0;
    bool powerOnDue_ = false;
};

std::string Frame(const u8* frame) { return std::string((const char*)frame, LCD_BYTES); }

// Travels to every target and checks it against a straight run of the
// session to that point. Returns how many targets were checked.
int CheckTargets(SessionHistory& history, const Session& session, const std::string& head, std::mt19937& rng,
                 int targets, const std::string& dir, int* splashes = nullptr) {
    int checked = 0;
    for (int t = 0; t < targets * 3 && checked < targets; t++) {
        const uint64_t p = history.StartPoint() + 1 + rng() % (history.End() - history.StartPoint());
        const std::string state = dir + "/p.state", snap = dir + "/p.pbm";
        std::remove(state.c_str());
        std::remove(snap.c_str());
        SessionState travelled;
        if (!history.StateAt(p, &travelled)) {
            ADD_FAILURE() << "no state at " << p;
            continue;
        }
        const bool splash = travelled.instrument.PowerState == POWER_SPLASH;
        // The instrument's variables are left as they stood at the point.
        HostSnapshot host;
        host.virtualMs = travelled.clock.NowMs();
        host.hostUtcMs = travelled.clock.UtcMs();
        host.frameMs = travelled.clock.FrameMs();
        host.trackBar = travelled.trackBar;
        host.calibrate = travelled.calibrate;
        host.keyFast = travelled.keyFast;
        host.lamp = travelled.lamp;
        const std::string text = FormatStateFile(CaptureInstrument(host));
        EXPECT_EQ(Frame(FrameBuffer), Frame(travelled.frame)) << p;
        const std::string script =
            Script(head, session, 1, p, splash ? "snap p.pbm" : "save-state p.state; snap p.pbm");
        if (script.empty()) continue;
        const Result r = RunText(script, dir);
        EXPECT_EQ(0, r.code) << script << r.err;
        checked++;
        if (splash && splashes) ++*splashes;
        u8 ran[LCD_BYTES];
        std::string why;
        if (!ReadFramePbm(snap, ran, &why)) {
            ADD_FAILURE() << why;
            continue;
        }
        EXPECT_EQ(Frame(ran), Frame(travelled.frame)) << "the frame at event point " << p << "\n" << script;
        if (!splash) {
            EXPECT_EQ(ReadFile(state), text) << "the state at event point " << p << "\n" << script;
        }
    }
    return checked;
}

// A saved state to start from: on, in the main menu with the track bar
// moved and KeyFast checked, or off after a run.
std::string SavedState(const std::string& dir, bool on) {
    const std::string script =
        on ? "on\npasses 150\nsensor 3111; keyfast on; key menu\npasses 30\nkey cw\n"
             "passes 20\nsave-state start.state\n"
           : "on\npasses 150\nkey left\npasses 20\noff\npasses 5\nsave-state start.state\n";
    const Result r = RunText(script, dir);
    EXPECT_EQ(0, r.code) << r.err;
    return dir + "/start.state";
}

} // namespace

TEST(SessionHistory, TravelGivesWhatAStraightRunGivesForRandomSessions) {
    const std::string dir = TempDir();
    std::mt19937 rng(20261208);
    int checked = 0, splashes = 0;
    for (int round = 0; round < 12; round++) {
        // Program start, a powered-on saved state, a switched-off one.
        const int start = round % 3;
        InstrumentSnapshot loaded;
        std::string head;
        uint64_t first = 1;
        if (start > 0) {
            std::string why;
            ASSERT_TRUE(ReadStateFile(SavedState(dir, start == 1), &loaded, &why)) << why;
            head = "load-state start.state\n";
            first = 2; // the state is loaded at the first event point
        }
        const uint64_t last = 600 + rng() % 2400;
        const Session session = RandomSession(rng, first, last);
        SessionHistory history(round % 2 ? 6 : 4096); // a small limit thins the snapshots often
        LiveRun live(&history, session);
        live.Start(start > 0 ? &loaded : nullptr);
        live.RunTo(last);
        ASSERT_EQ(last, history.End());
        if (round % 2) {
            EXPECT_LE(history.Snapshots(), 6u);
        }
        checked += CheckTargets(history, session, head, rng, 10, dir, &splashes);
    }
    EXPECT_GE(checked, 100);
    EXPECT_GE(splashes, 3); // points in the splash were travelled to too
}

// Going back and giving a new input cuts the old future: what follows is
// the new session, not a mix of the two.
TEST(SessionHistory, ANewInputAfterGoingBackCutsTheOldFuture) {
    const std::string dir = TempDir();
    std::mt19937 rng(77);
    int checked = 0;
    for (int round = 0; round < 6; round++) {
        Session session = RandomSession(rng, 1, 1500);
        SessionHistory history(8);
        {
            LiveRun live(&history, session);
            live.Start(nullptr);
            live.RunTo(1500);
        }
        // Back to a point the instrument can go on from, then new inputs.
        uint64_t back = 0;
        SessionState state;
        for (int tries = 0; tries < 50; tries++) {
            back = 100 + rng() % 1300;
            if (history.StateAt(back, &state) && state.Resumable() && !state.powerOnDue) break;
        }
        ASSERT_TRUE(state.Resumable());
        history.Cut(back);
        EXPECT_EQ(back, history.End());
        Session future = RandomSession(rng, back + 3, 2200);
        Session spliced;
        for (const auto& line : session)
            if (line.first <= back) spliced.insert(line);
        // The runner reads the next line two event points after an input.
        auto lastLine = spliced.empty() ? spliced.end() : std::prev(spliced.end());
        for (const auto& line : future)
            if (lastLine == spliced.end() || line.first >= lastLine->first + 2) spliced.insert(line);
        // Go on live from the point gone back to, as a host does.
        LiveRun live(&history, spliced);
        live.GoOnFrom(state);
        live.RunTo(2200);
        EXPECT_EQ(2200u, history.End());
        checked += CheckTargets(history, spliced, "", rng, 10, dir);
    }
    EXPECT_GE(checked, 40);
}
