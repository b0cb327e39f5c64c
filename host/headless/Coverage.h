// Interface coverage: what a run made the instrument do, in its own terms.
//
// The firmware describes its interface in tables: the screen table (routine,
// parent, row in the parent, last cursor), the keys of the key command and
// the state table with every variable's range. CoverageData holds one entry
// per thing those tables name, each with how often it was seen, so that a
// screen, a key or a variable added to a table counts without this file
// changing. The conditions are the instrument's notable events, each seen
// or not.
//
// CoverageRecorder watches the headless host's passes (PassObserver) and
// counts into a CoverageData. A suite runs each script in a process of its
// own; each writes its data as JSON (WriteCoverageJson) and the suite merges
// the files (ReadCoverageJson, MergeCoverage).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "HeadlessHost.h"
#include "state/StateNames.h"

// The notable conditions, as they stand in CoverageData::conditions.
enum CoverageCondition {
    C_TIMER_EXPIRED,
    C_TIMER_ACKNOWLEDGED,
    C_ALARM_REACHED,
    C_ALARM_ACKNOWLEDGED,
    C_STOPWATCH_RUNNING,
    C_OAT_UNDER_RANGE,
    C_OAT_OVER_RANGE,
    C_MINMAX_RESET,
    C_UNIT_CHANGED,
    C_INACTIVITY_RETURN,
    C_UTC_SET,
    C_ZONE_WRAPPED_UP,
    C_ZONE_WRAPPED_DOWN,
    C_KEYFAST_USED,
    C_CALIBRATE_USED,
    C_ON_WHILE_RUNNING,
    C_OFF_DURING_SPLASH,
    COVERAGE_CONDITION_COUNT
};

struct CoverageData {
    struct Screen {
        std::string name;
        uint64_t passes = 0; // passes that ran this screen routine
    };
    struct Transition {
        std::string from, to;
        bool inTable = false; // a pair the screen table allows (parent to child, child to parent)
        uint64_t count = 0;
    };
    struct KeyUse {
        std::string screen, key;
        uint64_t count = 0; // passes in which this key reached this screen routine
    };
    struct Field {
        std::string screen;
        int row = 0;
        uint64_t selected = 0; // passes on this screen with MenuCursor on this row
        uint64_t changed = 0;  // keys on this row that changed a value and stayed on the screen
    };
    struct Condition {
        std::string name;
        std::string what;
        uint64_t count = 0;
    };
    struct Value {
        std::string name;
        long long min = 0, max = 0; // the variable's range
        bool seen = false;
        long long lowest = 0, highest = 0; // of every element, over the passes seen
    };
    std::vector<Screen> screens;         // the screen table's order
    std::vector<uint64_t> homePages;     // passes per home page, 0 to HomePage's highest
    std::vector<Transition> transitions; // the table's pairs, then any other pair that was taken
    std::vector<KeyUse> keys;            // every screen times every key
    std::vector<Field> fields;           // every row of every screen with rows
    std::vector<Condition> conditions;
    std::vector<Value> values; // every variable of the state table (time records by field)
};

// One group of the summary: what was covered out of its total.
struct CoverageGroup {
    std::string name;
    int covered = 0, total = 0;
};

// Everything the tables name, nothing seen yet.
CoverageData EmptyCoverage();
// Adds b's counts into *a. False (and why) when b names something a does not
// know, as data from another build would.
bool MergeCoverage(CoverageData* a, const CoverageData& b, std::string* why);
// screens, pages, transitions (of the table's pairs), keys, fields (selected),
// conditions, values (variables that took more than one value).
std::vector<CoverageGroup> CoverageSummary(const CoverageData& d);
// "coverage: screens 12/12, pages 5/5, transitions 20/22, ..."
std::string CoverageLine(const CoverageData& d);

std::string CoverageJson(const CoverageData& d);
bool ParseCoverageJson(const std::string& text, CoverageData* d, std::string* why);
// Written atomically: to a temporary file beside it, then renamed.
bool WriteCoverageJson(const std::string& path, const CoverageData& d, std::string* why);
bool ReadCoverageJson(const std::string& path, CoverageData* d, std::string* why);

// One self-contained page: the summary, the screen graph as SVG (screens
// placed by parent and row, taken transitions solid, untaken ones dashed red)
// and tables of what was never done, the most important first.
std::string CoverageHtml(const CoverageData& d, const std::string& title);
// Writes a whole file atomically (its folder made when missing).
bool WriteTextFile(const std::string& path, const std::string& text, std::string* why);

// The groups below pct percent, as "transitions 20/22 (90.9 %)"; empty when none.
std::vector<std::string> CoverageBelow(const CoverageData& d, double pct);

// What `tmx5 run` was asked to do with coverage.
struct CoverageOptions {
    std::string json;   // --coverage FILE
    std::string html;   // --coverage-html FILE
    double minPct = -1; // --coverage-min PCT; below 0: no gate
    std::string part;   // --coverage-part FILE: one script of a suite writes its data there, nothing else
    bool Wanted() const { return !json.empty() || !html.empty() || minPct >= 0 || !part.empty(); }
};

// The end of a run or suite with coverage: prints the line, writes the
// files, and holds the groups to --coverage-min. Returns the exit status:
// code, or 1 when a group is below the minimum (and code was 0), or 2 when a
// file could not be written.
int FinishCoverage(const CoverageData& d, const CoverageOptions& o, int code, std::ostream& out,
                   std::ostream& err);

// The files the scripts of a suite write their coverage to, one each, in a
// temporary folder that goes away with this object.
struct CoverageParts {
    std::string dir;
    std::vector<std::string> files;
    bool Make(size_t scripts, std::ostream& err);
    // Merges every file that was written into *d (which starts empty); a
    // script that was bad or killed wrote none.
    bool Merge(CoverageData* d, std::ostream& err) const;
    ~CoverageParts();
};

class CoverageRecorder : public PassObserver {
public:
    CoverageRecorder();
    const CoverageData& Data() const;
    bool Ran() const { return eventPoints_ > 0; } // the instrument's host ran at all

    void BeforeScreen() override;
    void AfterScreen() override;
    void AfterEvents(unsigned ticks) override;
    void PutBack() override;

    // A variable of one element, sampled by type.
    struct Scalar {
        void* address;
        long long lowest, highest;
        size_t value; // index in data_.values
    };

private:
    struct Block {
        const StateName* var;
        size_t value; // index in data_.values
    };
    int ScreenIndex(ScreenRoutine routine);
    void See(int condition);
    void Sample(); // every variable's value into lowest and highest, and the conditions they show
    bool SettingsDiffer() const;

    mutable CoverageData data_; // its values are brought up to date from scalars_ by Data()
    std::vector<Block> blocks_;
    std::vector<Scalar> scalars_[STATE_S64 + 1]; // by StateKind
    bool sampled_ = false;
    std::vector<size_t> transitionAt_; // [from * screens + to]: index in data_.transitions, or npos
    std::vector<size_t> fieldAt_;      // first field of each screen, or npos
    size_t keyCount_ = 0;

    ScreenRoutine cachedRoutine_ = nullptr;
    int cachedIndex_ = -1;

    // The pass now running, as the screen routine found it.
    int ran_ = -1;
    u8 key_ = 0, cursor_ = 0, edit_ = 0, page_ = 0;
    std::vector<long long> before_; // the settings before a keyed pass (SettingsDiffer)
    u32 minMaxResets_ = 0;
    u8 unitBefore_ = 0, mainZone_ = 0, secondZone_ = 0;
    s64 clockOffset_ = 0;
    u8 utcHour_ = 0, utcMinute_ = 0, utcSecond_ = 0;

    ScreenRoutine lastAfter_ = nullptr; // the screen a pass left active; null after a power cycle
    bool sampleDue_ = true;             // the variables may have changed since the last sample
    bool arraysDue_ = true;             // the arrays too (only keys, loads and power-on change them)
    int trackBar_ = -1;
    uint64_t eventPoints_ = 0;
};
