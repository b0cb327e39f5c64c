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
static_assert(sizeof Conditions / sizeof Conditions[0] == COVERAGE_CONDITION_COUNT,
              "a name for every condition");

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
    for (u8 i = 0; i < count; i++)
        for (const KeyRow& k : KeyTable()) d.keys.push_back({ScreenRowAt(i)->Name, k.word, 0});
    for (u8 i = 0; i < count; i++) {
        const ScreenRow* row = ScreenRowAt(i);
        if (row->LastCursor == 255) continue; // HomeScreen: its pages, not rows
        for (int r = 0; r <= row->LastCursor; r++) d.fields.push_back({row->Name, r, 0, 0});
    }
    for (const ConditionRow& c : Conditions) d.conditions.push_back({c.name, c.what, 0});
    for (const std::string& name : ValueNames()) {
        const StateName* var = FindStateName(name);
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
