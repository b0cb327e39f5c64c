#include "Coverage.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <unistd.h>
#include <nlohmann/json.hpp>

#include "frames/SafeFiles.h"
#include "runtime/Runtime.h"
#include "screens/Screens.h"
#include "script/ScriptCommands.h"

using json = nlohmann::ordered_json;

namespace {

const size_t NONE = (size_t)-1;

// The conditions' places in Conditions.
enum ConditionId {
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
    CONDITION_COUNT
};

// The conditions, in the order the report lists them.
struct ConditionRow {
    const char* name;
    const char* what;
};
// clang-format off
const ConditionRow Conditions[] = {
    {"timer_expired",      "the timer ran out"},
    {"timer_acknowledged", "a key acknowledged the expired timer"},
    {"alarm_reached",      "the alarm time was reached"},
    {"alarm_acknowledged", "a key acknowledged the alarm"},
    {"stopwatch_running",  "the stopwatch ran"},
    {"oat_under_range",    "the OAT was below what the readout shows (UNDERRANGE)"},
    {"oat_over_range",     "the OAT was above what the readout shows (OVERRANGE)"},
    {"minmax_reset",       "a key reset the OAT minimum and maximum"},
    {"unit_changed",       "a key changed the temperature unit"},
    {"inactivity_return",  "30 seconds without a key went back to the home page"},
    {"utc_set",            "SET UTC TIME changed the instrument's clock"},
    {"zone_wrapped_up",    "a zone stepped from the last zone to the first"},
    {"zone_wrapped_down",  "a zone stepped from the first zone to the last"},
    {"keyfast_used",       "a key changed a value by the KeyFast step"},
    {"calibrate_used",     "a pass ran with Calibrate checked"},
    {"on_while_running",   "ON was clicked while the instrument ran"},
    {"off_during_splash",  "OFF was clicked during the splash"},
};
// clang-format on
static_assert(sizeof Conditions / sizeof Conditions[0] == CONDITION_COUNT, "a name for every condition");

// The variables of the state table, under the names expect uses; the
// time records by field. The hook counts and the frame buffer are not
// values a user sets or reads.
std::vector<std::string> ValueNames() {
    std::vector<std::string> names;
    // clang-format off
#define STATE(type, name, powerOn, min, max, writer, meaning) names.push_back(#name);
#define STATE_ARRAY(type, name, count, powerOn, min, max, writer, meaning) names.push_back(#name);
#define STATE_EDIT(type, name, min, max, writer, meaning) names.push_back(#name);
#define TIME_FIELD_NAME(record, type, field, min, max, meaning) names.push_back(#record "." #field);
#define STATE_TIME(name, writer, meaning) TIME_FIELDS(TIME_FIELD_NAME, name)
#include "runtime/StateTable.h"
#undef TIME_FIELD_NAME
    // clang-format on
    return names;
}

// What a key moves rather than sets: a change of these alone is navigation.
bool IsNavigation(const std::string& name) {
    return name == "KeyCode" || name == "MenuCursor" || name == "EditMode" || name == "HomePage" ||
           name == "InactivitySeconds";
}

const StateName* FindVariable(const std::string& name) {
    for (const StateName& n : StateNames())
        if (name == n.name) return &n;
    return nullptr;
}

// The key words and codes of the key command: "menu" is KEY_MENU, ...
std::vector<std::pair<std::string, long long>> Keys() {
    std::vector<std::pair<std::string, long long>> keys;
    const ScriptArg& arg = ScriptCommandOf(ScriptCommandKind::KEY).args.at(0);
    std::string words = arg.choices;
    size_t start = 0;
    for (long long code : arg.values) {
        const size_t bar = words.find('|', start);
        keys.push_back(
            {words.substr(start, bar == std::string::npos ? std::string::npos : bar - start), code});
        start = bar == std::string::npos ? words.size() : bar + 1;
    }
    return keys;
}

} // namespace

CoverageData EmptyCoverage() {
    CoverageData d;
    const u8 count = ScreenCount();
    for (u8 i = 0; i < count; i++) d.screens.push_back({ScreenRowAt(i)->Name, 0});
    d.homePages.assign((size_t)HomePage_MAX + 1, 0);
    for (u8 i = 0; i < count; i++) {
        const ScreenRow* row = ScreenRowAt(i);
        if (row->Parent == nullptr) continue;
        const char* parent = ScreenRoutineName(row->Parent);
        d.transitions.push_back({parent, row->Name, true, 0});
        d.transitions.push_back({row->Name, parent, true, 0});
    }
    const auto keys = Keys();
    for (u8 i = 0; i < count; i++)
        for (const auto& k : keys) d.keys.push_back({ScreenRowAt(i)->Name, k.first, 0});
    for (u8 i = 0; i < count; i++) {
        const ScreenRow* row = ScreenRowAt(i);
        if (row->LastCursor == 255) continue; // HomeScreen: its pages, not rows
        for (int r = 0; r <= row->LastCursor; r++) d.fields.push_back({row->Name, r, 0, 0});
    }
    for (const ConditionRow& c : Conditions) d.conditions.push_back({c.name, c.what, 0});
    for (const std::string& name : ValueNames()) {
        const StateName* var = FindVariable(name);
        if (var == nullptr) continue;
        CoverageData::Value v;
        v.name = name;
        v.min = var->min;
        v.max = var->max;
        d.values.push_back(v);
    }
    return d;
}

bool MergeCoverage(CoverageData* a, const CoverageData& b, std::string* why) {
    auto unknown = [why](const std::string& what) {
        *why = "unknown " + what + " (coverage from another build?)";
        return false;
    };
    for (const auto& s : b.screens) {
        auto it = std::find_if(a->screens.begin(), a->screens.end(),
                               [&](const auto& x) { return x.name == s.name; });
        if (it == a->screens.end()) return unknown("screen " + s.name);
        it->passes += s.passes;
    }
    if (b.homePages.size() > a->homePages.size())
        return unknown("home page " + std::to_string(b.homePages.size() - 1));
    for (size_t i = 0; i < b.homePages.size(); i++) a->homePages[i] += b.homePages[i];
    for (const auto& t : b.transitions) {
        auto it = std::find_if(a->transitions.begin(), a->transitions.end(),
                               [&](const auto& x) { return x.from == t.from && x.to == t.to; });
        if (it != a->transitions.end()) {
            it->count += t.count;
        } else if (t.inTable) {
            return unknown("transition " + t.from + " -> " + t.to);
        } else {
            a->transitions.push_back(t);
        }
    }
    for (const auto& k : b.keys) {
        auto it = std::find_if(a->keys.begin(), a->keys.end(),
                               [&](const auto& x) { return x.screen == k.screen && x.key == k.key; });
        if (it == a->keys.end()) return unknown("key " + k.key + " on " + k.screen);
        it->count += k.count;
    }
    for (const auto& f : b.fields) {
        auto it = std::find_if(a->fields.begin(), a->fields.end(),
                               [&](const auto& x) { return x.screen == f.screen && x.row == f.row; });
        if (it == a->fields.end()) return unknown("row " + std::to_string(f.row) + " of " + f.screen);
        it->selected += f.selected;
        it->changed += f.changed;
    }
    for (const auto& c : b.conditions) {
        auto it = std::find_if(a->conditions.begin(), a->conditions.end(),
                               [&](const auto& x) { return x.name == c.name; });
        if (it == a->conditions.end()) return unknown("condition " + c.name);
        it->count += c.count;
    }
    for (const auto& v : b.values) {
        auto it =
            std::find_if(a->values.begin(), a->values.end(), [&](const auto& x) { return x.name == v.name; });
        if (it == a->values.end()) return unknown("variable " + v.name);
        if (!v.seen) continue;
        it->lowest = it->seen ? std::min(it->lowest, v.lowest) : v.lowest;
        it->highest = it->seen ? std::max(it->highest, v.highest) : v.highest;
        it->seen = true;
    }
    return true;
}

std::vector<CoverageGroup> CoverageSummary(const CoverageData& d) {
    std::vector<CoverageGroup> g = {{"screens"}, {"pages"},      {"transitions"}, {"keys"},
                                    {"fields"},  {"conditions"}, {"values"}};
    for (const auto& s : d.screens) g[0].covered += s.passes > 0, g[0].total++;
    for (uint64_t p : d.homePages) g[1].covered += p > 0, g[1].total++;
    for (const auto& t : d.transitions)
        if (t.inTable) g[2].covered += t.count > 0, g[2].total++;
    for (const auto& k : d.keys) g[3].covered += k.count > 0, g[3].total++;
    for (const auto& f : d.fields) g[4].covered += f.selected > 0, g[4].total++;
    for (const auto& c : d.conditions) g[5].covered += c.count > 0, g[5].total++;
    for (const auto& v : d.values) g[6].covered += v.seen && v.highest > v.lowest, g[6].total++;
    return g;
}

std::string CoverageLine(const CoverageData& d) {
    std::string s = "coverage:";
    bool first = true;
    for (const CoverageGroup& g : CoverageSummary(d)) {
        s += (first ? " " : ", ") + g.name + " " + std::to_string(g.covered) + "/" + std::to_string(g.total);
        first = false;
    }
    return s;
}

static std::string Percent(double p) {
    char t[32];
    std::snprintf(t, sizeof t, "%.1f %%", p);
    return t;
}

std::vector<std::string> CoverageBelow(const CoverageData& d, double pct) {
    std::vector<std::string> below;
    for (const CoverageGroup& g : CoverageSummary(d)) {
        if (g.total == 0) continue;
        const double p = 100.0 * g.covered / g.total;
        if (p + 1e-9 < pct)
            below.push_back(g.name + " " + std::to_string(g.covered) + "/" + std::to_string(g.total) + " (" +
                            Percent(p) + ")");
    }
    return below;
}

// --- JSON --------------------------------------------------------------------

std::string CoverageJson(const CoverageData& d) {
    json j;
    j["format"] = "tmx5-coverage";
    j["version"] = 1;
    json summary = json::object();
    for (const CoverageGroup& g : CoverageSummary(d)) summary[g.name] = {g.covered, g.total};
    j["summary"] = summary;
    j["screens"] = json::array();
    for (const auto& s : d.screens) j["screens"].push_back({{"name", s.name}, {"passes", s.passes}});
    j["home_pages"] = d.homePages;
    j["transitions"] = json::array();
    for (const auto& t : d.transitions)
        j["transitions"].push_back(
            {{"from", t.from}, {"to", t.to}, {"in_table", t.inTable}, {"count", t.count}});
    j["keys"] = json::array();
    for (const auto& k : d.keys)
        j["keys"].push_back({{"screen", k.screen}, {"key", k.key}, {"count", k.count}});
    j["fields"] = json::array();
    for (const auto& f : d.fields)
        j["fields"].push_back(
            {{"screen", f.screen}, {"row", f.row}, {"selected", f.selected}, {"changed", f.changed}});
    j["conditions"] = json::array();
    for (const auto& c : d.conditions)
        j["conditions"].push_back({{"name", c.name}, {"what", c.what}, {"count", c.count}});
    j["values"] = json::array();
    for (const auto& v : d.values) {
        json e = {{"name", v.name}, {"min", v.min}, {"max", v.max}};
        e["lowest"] = v.seen ? json(v.lowest) : json(nullptr);
        e["highest"] = v.seen ? json(v.highest) : json(nullptr);
        j["values"].push_back(e);
    }
    return j.dump(1) + "\n";
}

bool ParseCoverageJson(const std::string& text, CoverageData* out, std::string* why) {
    try {
        const json j = json::parse(text);
        if (!j.is_object() || j.value("format", "") != "tmx5-coverage" || j.value("version", 0) != 1) {
            *why = "not a tmx5 coverage file (version 1)";
            return false;
        }
        CoverageData d;
        for (const json& s : j.at("screens")) d.screens.push_back({s.at("name"), s.at("passes")});
        d.homePages = j.at("home_pages").get<std::vector<uint64_t>>();
        for (const json& t : j.at("transitions"))
            d.transitions.push_back({t.at("from"), t.at("to"), t.at("in_table"), t.at("count")});
        for (const json& k : j.at("keys")) d.keys.push_back({k.at("screen"), k.at("key"), k.at("count")});
        for (const json& f : j.at("fields"))
            d.fields.push_back({f.at("screen"), f.at("row"), f.at("selected"), f.at("changed")});
        for (const json& c : j.at("conditions"))
            d.conditions.push_back({c.at("name"), c.value("what", ""), c.at("count")});
        for (const json& v : j.at("values")) {
            CoverageData::Value e;
            e.name = v.at("name");
            e.min = v.at("min");
            e.max = v.at("max");
            e.seen = !v.at("lowest").is_null();
            if (e.seen) {
                e.lowest = v.at("lowest");
                e.highest = v.at("highest");
            }
            d.values.push_back(e);
        }
        *out = d;
        return true;
    } catch (const json::exception& e) {
        *why = e.what();
        return false;
    }
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string* why) {
    std::error_code ec;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    std::string reason;
    if (!WriteFileAtomically(path, text, &reason)) {
        *why = std::string("cannot write ") + path + ": " + reason;
        return false;
    }
    return true;
}

bool WriteCoverageJson(const std::string& path, const CoverageData& d, std::string* why) {
    return WriteTextFile(path, CoverageJson(d), why);
}

bool ReadCoverageJson(const std::string& path, CoverageData* d, std::string* why) {
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        *why = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::stringstream s;
    s << f.rdbuf();
    if (!ParseCoverageJson(s.str(), d, why)) {
        *why = path + ": " + *why;
        return false;
    }
    return true;
}

int FinishCoverage(const CoverageData& d, const CoverageOptions& o, int code, std::ostream& out,
                   std::ostream& err) {
    std::string why;
    if (!o.part.empty()) {
        if (WriteCoverageJson(o.part, d, &why)) return code;
        err << "tmx5 run: " << why << "\n";
        return 2;
    }
    out << CoverageLine(d) << "\n";
    out.flush();
    if (!o.json.empty() && !WriteCoverageJson(o.json, d, &why)) {
        err << "tmx5 run: " << why << "\n";
        return 2;
    }
    if (!o.html.empty() && !WriteTextFile(o.html, CoverageHtml(d, "TMX-5 interface coverage"), &why)) {
        err << "tmx5 run: " << why << "\n";
        return 2;
    }
    if (o.minPct >= 0) {
        const std::vector<std::string> below = CoverageBelow(d, o.minPct);
        for (const std::string& b : below)
            err << "tmx5 run: coverage below " << o.minPct << " %: " << b << "\n";
        if (!below.empty() && code == 0) return 1;
    }
    return code;
}

bool CoverageParts::Make(size_t scripts, std::ostream& err) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tmx5-coverage-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
        err << "tmx5 run: cannot make a folder for the coverage of the scripts: " << std::strerror(errno)
            << "\n";
        return false;
    }
    dir = pattern;
    for (size_t i = 0; i < scripts; i++) files.push_back(dir + "/" + std::to_string(i) + ".json");
    return true;
}

bool CoverageParts::Merge(CoverageData* d, std::ostream& err) const {
    *d = EmptyCoverage();
    for (const std::string& f : files) {
        if (access(f.c_str(), F_OK) != 0) continue;
        CoverageData part;
        std::string why;
        if (!ReadCoverageJson(f, &part, &why) || !MergeCoverage(d, part, &why)) {
            err << "tmx5 run: " << why << "\n";
            return false;
        }
    }
    return true;
}

CoverageParts::~CoverageParts() {
    for (const std::string& f : files) std::remove(f.c_str());
    if (!dir.empty()) rmdir(dir.c_str());
}

// --- The recorder ------------------------------------------------------------

CoverageRecorder::CoverageRecorder() : data_(EmptyCoverage()) {
    const size_t n = data_.screens.size();
    transitionAt_.assign(n * n, NONE);
    for (size_t i = 0; i < data_.transitions.size(); i++) {
        const auto& t = data_.transitions[i];
        const int from = ScreenIndex(ScreenRoutineByName(t.from.c_str()));
        const int to = ScreenIndex(ScreenRoutineByName(t.to.c_str()));
        transitionAt_[(size_t)from * n + (size_t)to] = i;
    }
    fieldAt_.assign(n, NONE);
    for (size_t i = data_.fields.size(); i-- > 0;)
        fieldAt_[(size_t)ScreenIndex(ScreenRoutineByName(data_.fields[i].screen.c_str()))] = i;
    keyCount_ = Keys().size();
    for (size_t i = 0; i < data_.values.size(); i++) {
        const StateName* var = FindVariable(data_.values[i].name);
        blocks_.push_back({var, i});
        if (var->count == 1) scalars_[var->kind].push_back({var->address, LLONG_MAX, LLONG_MIN, i});
    }
}

const CoverageData& CoverageRecorder::Data() const {
    if (sampled_)
        for (const auto& kind : scalars_)
            for (const Scalar& s : kind) {
                CoverageData::Value& v = data_.values[s.value];
                v.seen = true;
                v.lowest = s.lowest;
                v.highest = s.highest;
            }
    return data_;
}

int CoverageRecorder::ScreenIndex(ScreenRoutine routine) {
    if (routine == cachedRoutine_ && routine != nullptr) return cachedIndex_;
    const ScreenRow* row = FindScreen(routine);
    int index = -1;
    for (u8 i = 0; row != nullptr && i < ScreenCount(); i++)
        if (ScreenRowAt(i) == row) index = i;
    cachedRoutine_ = routine;
    cachedIndex_ = index;
    return index;
}

void CoverageRecorder::See(int condition) { data_.conditions[(size_t)condition].count++; }

// The lowest and highest value of each scalar of one type, in a tight loop
// per type: the recorder samples every variable at every tick.
template <typename T>
static void SampleScalars(std::vector<CoverageRecorder::Scalar>* scalars) {
    for (CoverageRecorder::Scalar& s : *scalars) {
        const long long x = *(const T*)s.address;
        s.lowest = x < s.lowest ? x : s.lowest;
        s.highest = x > s.highest ? x : s.highest;
    }
}

void CoverageRecorder::Sample() {
    sampleDue_ = false;
    sampled_ = true;
    SampleScalars<u8>(&scalars_[STATE_U8]);
    SampleScalars<s8>(&scalars_[STATE_S8]);
    SampleScalars<u32>(&scalars_[STATE_U32]);
    SampleScalars<s32>(&scalars_[STATE_S32]);
    SampleScalars<s64>(&scalars_[STATE_S64]);
    if (arraysDue_) {
        arraysDue_ = false;
        for (const Block& b : blocks_) {
            if (b.var->count == 1) continue;
            CoverageData::Value& v = data_.values[b.value];
            for (int i = 0; i < b.var->count; i++) {
                const long long x = ReadStateValue(b.var, i);
                v.lowest = !v.seen || x < v.lowest ? x : v.lowest;
                v.highest = !v.seen || x > v.highest ? x : v.highest;
                v.seen = true;
            }
        }
    }
    if (ExpiryFlags & EXPIRY_TIMER) See(C_TIMER_EXPIRED);
    if (AckFlags & EXPIRY_TIMER) See(C_TIMER_ACKNOWLEDGED);
    if (ExpiryFlags & EXPIRY_ALARM) See(C_ALARM_REACHED);
    if (AckFlags & EXPIRY_ALARM) See(C_ALARM_ACKNOWLEDGED);
    if (StopwatchRunning == 1) See(C_STOPWATCH_RUNNING);
    if (TempDisplay < OatRangeLow()) See(C_OAT_UNDER_RANGE);
    if (TempDisplay > OatRangeHigh()) See(C_OAT_OVER_RANGE);
    if (CalibrateEnabled == 1) See(C_CALIBRATE_USED);
}

bool CoverageRecorder::SettingsDiffer() const {
    size_t at = 0;
    for (const Block& b : blocks_) {
        if (IsNavigation(b.var->name)) continue;
        for (int i = 0; i < b.var->count; i++, at++)
            if (before_[at] != ReadStateValue(b.var, i)) return true;
    }
    return false;
}

void CoverageRecorder::BeforeScreen() {
    ran_ = ScreenIndex(ScreenHandler);
    // Between two passes of one power-on only the inactivity return moves
    // the instrument to another screen.
    if (lastAfter_ != nullptr && ScreenHandler != lastAfter_) {
        const int from = ScreenIndex(lastAfter_);
        const int to = ScreenIndex(ScreenHandler);
        if (ScreenHandler == HomeScreen) See(C_INACTIVITY_RETURN);
        if (from >= 0 && to >= 0) {
            const size_t n = data_.screens.size();
            size_t& at = transitionAt_[(size_t)from * n + (size_t)to];
            if (at == NONE) {
                at = data_.transitions.size();
                data_.transitions.push_back(
                    {data_.screens[(size_t)from].name, data_.screens[(size_t)to].name, false, 0});
            }
            data_.transitions[at].count++;
        }
        ran_ = ScreenIndex(ScreenHandler);
    }
    key_ = KeyCode;
    cursor_ = MenuCursor;
    edit_ = EditMode;
    page_ = HomePage;
    if (key_ != 0) {
        before_.clear();
        for (const Block& b : blocks_) {
            if (IsNavigation(b.var->name)) continue;
            for (int i = 0; i < b.var->count; i++) before_.push_back(ReadStateValue(b.var, i));
        }
        minMaxResets_ = HookCalls[HOOK_MINMAX_RESET];
        unitBefore_ = TempUnitF;
        mainZone_ = MainZone;
        secondZone_ = SecondZone;
        clockOffset_ = UtcClockOffset;
        utcHour_ = UtcTime.Hour;
        utcMinute_ = UtcTime.Minute;
        utcSecond_ = UtcTime.Second;
    }
}

void CoverageRecorder::AfterScreen() {
    lastAfter_ = ScreenHandler;
    if (ran_ < 0) return;
    const size_t ran = (size_t)ran_;
    data_.screens[ran].passes++;
    if (ScreenRowAt((u8)ran)->Routine == HomeScreen && page_ < data_.homePages.size())
        data_.homePages[page_]++;
    const size_t field = fieldAt_[ran];
    const bool onRow = field != NONE && cursor_ <= ScreenRowAt((u8)ran)->LastCursor;
    if (onRow) data_.fields[field + cursor_].selected++;
    const int now = ScreenIndex(ScreenHandler);
    if (now >= 0 && (size_t)now != ran) {
        const size_t n = data_.screens.size();
        size_t& at = transitionAt_[ran * n + (size_t)now];
        if (at == NONE) {
            at = data_.transitions.size();
            data_.transitions.push_back({data_.screens[ran].name, data_.screens[(size_t)now].name, false, 0});
        }
        data_.transitions[at].count++;
    }
    if (key_ != 0) {
        if (key_ >= 1 && key_ <= keyCount_) data_.keys[ran * keyCount_ + (key_ - 1)].count++;
        if (HookCalls[HOOK_MINMAX_RESET] != minMaxResets_) See(C_MINMAX_RESET);
        if (TempUnitF != unitBefore_) See(C_UNIT_CHANGED);
        if (UtcClockOffset != clockOffset_ || UtcTime.Hour != utcHour_ || UtcTime.Minute != utcMinute_ ||
            UtcTime.Second != utcSecond_)
            See(C_UTC_SET);
        for (const auto& z : {std::make_pair(mainZone_, MainZone), std::make_pair(secondZone_, SecondZone)}) {
            if (z.first == ZONE_COUNT - 1 && z.second == 0) See(C_ZONE_WRAPPED_UP);
            if (z.first == 0 && z.second == ZONE_COUNT - 1) See(C_ZONE_WRAPPED_DOWN);
        }
        if ((size_t)now == ran && SettingsDiffer()) {
            if (onRow) data_.fields[field + cursor_].changed++;
            if (KeyStep == 10) See(C_KEYFAST_USED);
        }
        sampleDue_ = arraysDue_ = true;
    }
    if (sampleDue_) Sample();
}

void CoverageRecorder::AfterEvents(unsigned ticks) {
    eventPoints_++;
    if (PowerState == POWER_SPLASH) {
        lastAfter_ = nullptr;
        arraysDue_ = true; // power-on clears the local offsets
        if (StopRequested == 1) See(C_OFF_DURING_SPLASH);
    } else if (PowerState == POWER_ON && RestartRequested == 1) {
        See(C_ON_WHILE_RUNNING);
    }
    if (ticks > 0 || KeyCode != 0 || RawSensor != trackBar_) sampleDue_ = true;
    trackBar_ = RawSensor;
}

void CoverageRecorder::PutBack() {
    lastAfter_ = PowerState == POWER_ON ? ScreenHandler : nullptr;
    sampleDue_ = arraysDue_ = true;
}
