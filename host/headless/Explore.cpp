#include "Explore.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include <unistd.h>

#include "Coverage.h"
#include "ScriptRunner.h"
#include "screens/Screens.h"
#include "script/ScriptCommands.h"

namespace fs = std::filesystem;

namespace {

const char* const MARK = "# Written by tmx5 explore";

// A state a user can tell apart by what the keys do there.
struct Node {
    std::string screen;
    int cursor = 0, edit = 0, page = 0;
    bool calibrate = false;
    int parent = -1;   // the node it was reached from (-1: power-on)
    std::string key;   // the key that reached it
    int depth = 0;     // keys from power-on
    std::string state; // its saved state, in the work folder
    std::string Id() const {
        return screen + "/" + std::to_string(cursor) + "/" + std::to_string(edit) + "/" +
               (screen == "HomeScreen" ? std::to_string(page) : "-") + (calibrate ? "/cal" : "");
    }
};

struct Edge {
    int from, to;
    std::string key;
};

// Runs a script's text from folder dir in this process; the exit status.
int RunText(const std::string& text, const std::string& dir, const std::string& name, bool update,
            PassObserver* observer, std::string* said) {
    std::ostringstream out, err;
    ScriptRunner runner(out, err);
    RunOptions o;
    o.updateFrames = update;
    runner.SetOptions(o);
    runner.SetObserver(observer);
    int code = 2;
    if (runner.Load(text, name, dir)) code = runner.Run();
    if (said) *said = err.str() + out.str();
    return code;
}

// The node the instrument stands in after a run.
Node Here(const HeadlessHost* host) {
    Node n;
    const char* name = ScreenRoutineName(ScreenHandler);
    n.screen = name ? name : "none";
    n.cursor = MenuCursor;
    n.edit = EditMode;
    n.page = HomePage;
    n.calibrate = host != nullptr && host->Panel().Calibrate();
    return n;
}

std::string Lower(std::string s) {
    if (s.size() > 6 && s.compare(s.size() - 6, 6, "Screen") == 0) s.resize(s.size() - 6);
    for (char& c : s) c = (char)std::tolower((unsigned char)c);
    return s;
}

} // namespace

int ExploreCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string dir;
    for (size_t i = 0; i < args.size(); i++) {
        if (args[i] == "--out" && i + 1 < args.size() && !args[i + 1].empty()) {
            dir = args[++i];
        } else {
            err << "tmx5 explore: "
                << (args[i] == "--out" ? "--out needs a folder" : "unknown option " + args[i])
                << "\ntmx5 --help lists the options\n";
            return 2;
        }
    }
    if (dir.empty()) {
        err << "tmx5 explore: give the folder to write the suite to: tmx5 explore --out DIR\n";
        return 2;
    }
    std::error_code ec;
    fs::create_directories(fs::path(dir) / "frames", ec);
    if (!fs::is_directory(fs::path(dir) / "frames", ec)) {
        err << "tmx5 explore: cannot make the folder " << dir << "/frames\n";
        return 2;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string work = std::string(tmp && *tmp ? tmp : "/tmp") + "/tmx5-explore-XXXXXX";
    if (mkdtemp(&work[0]) == nullptr) {
        err << "tmx5 explore: cannot make a work folder: " << std::strerror(errno) << "\n";
        return 2;
    }
    struct Cleanup {
        std::string path;
        ~Cleanup() {
            std::error_code e;
            fs::remove_all(path, e);
        }
    } cleanup{work};

    // --- Breadth-first search over the nodes -----------------------------
    std::vector<std::string> keys;
    {
        std::string words = ScriptCommandOf(ScriptCommandKind::KEY).args.at(0).choices;
        std::istringstream s(words);
        for (std::string k; std::getline(s, k, '|');) keys.push_back(k);
    }
    std::vector<Node> nodes;
    std::vector<Edge> edges;
    std::map<std::string, int> known;
    std::vector<std::vector<std::string>> rootLines;
    for (int calibrate = 0; calibrate <= 1; calibrate++) {
        std::vector<std::string> lines;
        if (calibrate) lines.push_back("calibrate on");
        lines.push_back("on");
        lines.push_back("wait 2s");
        std::string text, said;
        for (const std::string& l : lines) text += l + "\n";
        const std::string state = "n" + std::to_string(nodes.size()) + ".state";
        if (RunText(text + "save-state " + state + "\n", work, "power-on", false, nullptr, &said) != 0) {
            err << "tmx5 explore: power-on did not run:\n" << said;
            return 1;
        }
        Node n = Here(nullptr);
        n.calibrate = calibrate == 1;
        n.state = state;
        n.key = std::to_string(rootLines.size());
        known[n.Id()] = (int)nodes.size();
        nodes.push_back(n);
        rootLines.push_back(lines);
    }
    size_t runs = 0;
    for (size_t at = 0; at < nodes.size(); at++) {
        for (const std::string& key : keys) {
            const std::string state = "next.state";
            std::string said;
            std::ostringstream o, e;
            ScriptRunner runner(o, e);
            const std::string text =
                "load-state " + nodes[at].state + "\nkey " + key + "\nsave-state " + state + "\n";
            int code = 2;
            if (runner.Load(text, "explore", work)) code = runner.Run();
            runs++;
            if (code != 0) {
                err << "tmx5 explore: key " << key << " from " << nodes[at].Id() << " did not run:\n"
                    << e.str();
                return 1;
            }
            Node n = Here(runner.Host());
            auto found = known.find(n.Id());
            int to;
            if (found != known.end()) {
                to = found->second;
            } else {
                to = (int)nodes.size();
                n.parent = (int)at;
                n.key = key;
                n.depth = nodes[at].depth + 1;
                n.state = "n" + std::to_string(to) + ".state";
                fs::rename(fs::path(work) / state, fs::path(work) / n.state, ec);
                if (ec) {
                    err << "tmx5 explore: cannot keep a state in " << work << ": " << ec.message() << "\n";
                    return 2;
                }
                known[n.Id()] = to;
                nodes.push_back(n);
            }
            edges.push_back({(int)at, to, key});
        }
    }

    // --- What can be reached -------------------------------------------------
    std::set<std::string> screens;
    std::set<std::pair<std::string, std::string>> moves, pairs;
    for (const Node& n : nodes) screens.insert(n.screen);
    for (const Edge& e : edges) {
        pairs.insert({nodes[e.from].screen, e.key});
        if (nodes[e.from].screen != nodes[e.to].screen)
            moves.insert({nodes[e.from].screen, nodes[e.to].screen});
    }

    // --- The scenarios: the shortest way to each target not yet taken --------
    struct Scenario {
        std::string name, why;
        int node;            // where it ends
        std::string lastKey; // a key pressed there, or ""
        int end;             // the node after that key
    };
    std::vector<Scenario> chosen;
    std::set<std::string> seenScreens;
    std::set<std::pair<std::string, std::string>> takenMoves, takenPairs;
    auto take = [&](int node, const std::string& key, int end) {
        std::vector<std::pair<int, std::string>> steps; // (from node, key)
        if (!key.empty()) steps.push_back({node, key});
        for (int n = node; nodes[n].parent >= 0; n = nodes[n].parent)
            steps.push_back({nodes[n].parent, nodes[n].key});
        for (const auto& s : steps) {
            takenPairs.insert({nodes[s.first].screen, s.second});
        }
        for (int n = end; n >= 0; n = nodes[n].parent) {
            seenScreens.insert(nodes[n].screen);
            if (nodes[n].parent >= 0 && nodes[nodes[n].parent].screen != nodes[n].screen)
                takenMoves.insert({nodes[nodes[n].parent].screen, nodes[n].screen});
        }
        if (!key.empty() && nodes[node].screen != nodes[end].screen)
            takenMoves.insert({nodes[node].screen, nodes[end].screen});
    };
    // The order of the screen table, so that the suite reads in the instrument's order.
    std::vector<std::string> tableScreens;
    for (u8 i = 0; i < ScreenCount(); i++) tableScreens.push_back(ScreenRowAt(i)->Name);
    for (const std::string& screen : tableScreens) {
        if (!screens.count(screen)) continue;
        int best = -1;
        for (size_t i = 0; i < nodes.size(); i++)
            if (nodes[i].screen == screen && (best < 0 || nodes[i].depth < nodes[best].depth)) best = (int)i;
        chosen.push_back({"screen-" + Lower(screen), "opens " + screen, best, "", best});
        take(best, "", best);
    }
    auto bestEdge = [&](const std::function<bool(const Edge&)>& wanted) {
        int best = -1;
        for (size_t i = 0; i < edges.size(); i++)
            if (wanted(edges[i]) && (best < 0 || nodes[edges[i].from].depth < nodes[edges[best].from].depth))
                best = (int)i;
        return best;
    };
    const CoverageData table = EmptyCoverage();
    std::vector<std::pair<std::string, std::string>> moveOrder;
    for (const auto& t : table.transitions) moveOrder.push_back({t.from, t.to});
    for (const auto& m : moves)
        if (std::find(moveOrder.begin(), moveOrder.end(), m) == moveOrder.end()) moveOrder.push_back(m);
    for (const auto& m : moveOrder) {
        if (!moves.count(m) || takenMoves.count(m)) continue;
        const int e = bestEdge(
            [&](const Edge& x) { return nodes[x.from].screen == m.first && nodes[x.to].screen == m.second; });
        chosen.push_back({"move-" + Lower(m.first) + "-" + Lower(m.second),
                          "moves from " + m.first + " to " + m.second, edges[e].from, edges[e].key,
                          edges[e].to});
        take(edges[e].from, edges[e].key, edges[e].to);
    }
    // The home pages and the rows of every screen, each where a state of the
    // search stands on it.
    auto visited = [&](const std::function<bool(const Node&)>& wanted) {
        for (const Scenario& c : chosen)
            for (int n = c.end; n >= 0; n = nodes[n].parent)
                if (wanted(nodes[n])) return true;
        return false;
    };
    std::vector<std::pair<std::string, int>> places; // (screen, row); HomeScreen: (HomeScreen, page)
    for (u8 i = 0; i < ScreenCount(); i++) {
        const ScreenRow* row = ScreenRowAt(i);
        const int last = row->LastCursor == 255 ? (int)HomePage_MAX : row->LastCursor;
        for (int r = 0; r <= last; r++) places.push_back({row->Name, r});
    }
    for (const auto& place : places) {
        const bool home = place.first == "HomeScreen";
        auto on = [&](const Node& n) {
            return n.screen == place.first && (home ? n.page : n.cursor) == place.second;
        };
        if (visited(on)) continue;
        int best = -1;
        for (size_t i = 0; i < nodes.size(); i++)
            if (on(nodes[i]) && (best < 0 || nodes[i].depth < nodes[best].depth)) best = (int)i;
        if (best < 0) continue;
        chosen.push_back({(home ? "page-" : "row-" + Lower(place.first) + "-") + std::to_string(place.second),
                          home ? "shows home page " + std::to_string(place.second)
                               : "selects row " + std::to_string(place.second) + " of " + place.first,
                          best, "", best});
        take(best, "", best);
    }
    for (const std::string& screen : tableScreens)
        for (const std::string& key : keys) {
            const auto p = std::make_pair(screen, key);
            if (!pairs.count(p) || takenPairs.count(p)) continue;
            const int e =
                bestEdge([&](const Edge& x) { return nodes[x.from].screen == screen && x.key == key; });
            chosen.push_back({"key-" + Lower(screen) + "-" + key, "presses " + key + " on " + screen,
                              edges[e].from, edges[e].key, edges[e].to});
            take(edges[e].from, edges[e].key, edges[e].to);
        }

    // --- Writing the suite ----------------------------------------------------
    // Scenarios an earlier explore wrote go first, with their references.
    for (const auto& f : fs::directory_iterator(dir, ec)) {
        if (f.path().extension() != ".tmx") continue;
        std::ifstream in(f.path());
        std::string first;
        std::getline(in, first);
        if (first.compare(0, std::strlen(MARK), MARK) != 0) continue;
        fs::remove(f.path(), ec);
        fs::remove(fs::path(dir) / "frames" / (f.path().stem().string() + ".pbm"), ec);
    }
    uint64_t bytes = 0;
    for (const Scenario& s : chosen) {
        std::vector<std::string> keysOnWay;
        for (int n = s.node; nodes[n].parent >= 0; n = nodes[n].parent) keysOnWay.push_back(nodes[n].key);
        std::reverse(keysOnWay.begin(), keysOnWay.end());
        int root = s.node;
        while (nodes[root].parent >= 0) root = nodes[root].parent;
        std::string text = std::string(MARK) + ": " + s.why + ", the shortest way from power-on.\n";
        for (const std::string& l : rootLines[(size_t)std::stoi(nodes[root].key)]) text += l + "\n";
        for (const std::string& k : keysOnWay) text += "key " + k + "\n";
        if (!s.lastKey.empty()) text += "key " + s.lastKey + "\n";
        text += "expect ScreenHandler " + nodes[s.end].screen + "\n";
        text += "expect-frame frames/" + s.name + ".pbm\n";
        std::string why;
        if (!WriteTextFile((fs::path(dir) / (s.name + ".tmx")).string(), text, &why)) {
            err << "tmx5 explore: " << why << "\n";
            return 2;
        }
        bytes += text.size();
        std::string said;
        const int code = RunText(text, dir, s.name + ".tmx", true, nullptr, &said);
        if (code != 0) {
            err << "tmx5 explore: " << s.name << ".tmx did not run:\n" << said;
            return code;
        }
        bytes += fs::file_size(fs::path(dir) / "frames" / (s.name + ".pbm"), ec);
    }

    // --- Checking it: the suite passes and covers all that was reached --------
    CoverageRecorder recorder;
    int failed = 0;
    for (const Scenario& s : chosen) {
        std::string text, said;
        std::ifstream in(fs::path(dir) / (s.name + ".tmx"));
        std::stringstream b;
        b << in.rdbuf();
        if (RunText(b.str(), dir, s.name + ".tmx", false, &recorder, &said) != 0) {
            err << "tmx5 explore: " << s.name << ".tmx does not pass:\n" << said;
            failed++;
        }
    }
    const CoverageData& got = recorder.Data();
    std::vector<std::string> missed;
    for (const auto& sc : got.screens)
        if (screens.count(sc.name) && sc.passes == 0) missed.push_back("screen " + sc.name);
    for (const auto& t : got.transitions)
        if (moves.count({t.from, t.to}) && t.count == 0)
            missed.push_back("transition " + t.from + " -> " + t.to);
    for (const auto& k : got.keys)
        if (pairs.count({k.screen, k.key}) && k.count == 0)
            missed.push_back("key " + k.key + " on " + k.screen);

    out << "explore: " << nodes.size() << " states, " << edges.size() << " moves (" << runs
        << " keys tried from saved states); wrote " << chosen.size() << " scenarios and their references to "
        << dir << ", " << bytes << " bytes\n";
    out << CoverageLine(got) << "\n";
    std::vector<std::string> unreachable;
    for (const auto& sc : table.screens)
        if (!screens.count(sc.name)) unreachable.push_back("screen " + sc.name);
    for (const auto& t : table.transitions)
        if (!moves.count({t.from, t.to})) unreachable.push_back("transition " + t.from + " -> " + t.to);
    for (const auto& k : table.keys)
        if (!pairs.count({k.screen, k.key})) unreachable.push_back("key " + k.key + " on " + k.screen);
    for (const auto& place : places)
        if (std::none_of(nodes.begin(), nodes.end(), [&](const Node& n) {
                return n.screen == place.first &&
                       (place.first == "HomeScreen" ? n.page : n.cursor) == place.second;
            }))
            unreachable.push_back(
                (place.first == "HomeScreen" ? "home page " : "row of " + place.first + " ") +
                std::to_string(place.second));
    if (unreachable.empty()) {
        out << "unreachable: none of the table's screens, pages, transitions, keys and rows\n";
    } else {
        out << "unreachable from power-on by keys and Calibrate (" << unreachable.size() << "):\n";
        for (const std::string& u : unreachable) out << "  " << u << "\n";
    }
    for (const auto& m : moves)
        if (std::find_if(table.transitions.begin(), table.transitions.end(), [&](const auto& t) {
                return t.from == m.first && t.to == m.second;
            }) == table.transitions.end())
            out << "reached, not in the screen table: " << m.first << " -> " << m.second << "\n";
    for (const std::string& m : missed)
        err << "tmx5 explore: the suite does not cover the reachable " << m << "\n";
    out.flush();
    return failed > 0 || !missed.empty() ? 1 : 0;
}
