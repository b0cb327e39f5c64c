// The coverage report as one self-contained HTML page: no scripts, no
// fetched files, the screen graph drawn as inline SVG.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>

#include "Coverage.h"
#include "Suite.h"
#include "screens/Screens.h"

namespace {

std::string Esc(const std::string& s) { return XmlEscape(s); }

std::string Pct(int covered, int total) {
    char t[32];
    std::snprintf(t, sizeof t, "%.0f %%", total ? 100.0 * covered / total : 100.0);
    return t;
}

struct Box {
    double x = 0, y = 0;
};

const double BOX_W = 170, BOX_H = 46, COL = 240, ROW = 62, MARGIN = 20;

// Each screen's box: the column is its depth below HomeScreen, the rows
// follow the table's rows in each parent, a parent centred on its children.
std::map<std::string, Box> Layout(double* width, double* height) {
    std::map<std::string, Box> boxes;
    std::map<ScreenRoutine, std::vector<const ScreenRow*>> children;
    std::vector<const ScreenRow*> roots;
    for (u8 i = 0; i < ScreenCount(); i++) {
        const ScreenRow* r = ScreenRowAt(i);
        if (r->Parent == nullptr || FindScreen(r->Parent) == nullptr)
            roots.push_back(r);
        else
            children[r->Parent].push_back(r);
    }
    for (auto& c : children)
        std::stable_sort(c.second.begin(), c.second.end(), [](const ScreenRow* a, const ScreenRow* b) {
            return a->RowInParent < b->RowInParent;
        });
    int slot = 0, deepest = 0;
    std::function<double(const ScreenRow*, int)> place = [&](const ScreenRow* r, int depth) -> double {
        deepest = std::max(deepest, depth);
        double y;
        const auto& kids = children[r->Routine];
        if (kids.empty() || depth > 16) {
            y = slot++;
        } else {
            double sum = 0;
            for (const ScreenRow* k : kids) sum += place(k, depth + 1);
            y = sum / (double)kids.size();
        }
        boxes[r->Name] = {MARGIN + depth * COL, MARGIN + y * ROW};
        return y;
    };
    for (const ScreenRow* r : roots) place(r, 0);
    *width = 2 * MARGIN + deepest * COL + BOX_W;
    *height = 2 * MARGIN + (slot - 1) * ROW + BOX_H;
    return boxes;
}

std::string Svg(const CoverageData& d) {
    double w, h;
    const std::map<std::string, Box> boxes = Layout(&w, &h);
    std::ostringstream s;
    s << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << w << "\" height=\"" << h
      << "\" viewBox=\"0 0 " << w << " " << h << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
      << "<defs><marker id=\"a\" viewBox=\"0 0 10 10\" refX=\"10\" refY=\"5\" markerWidth=\"7\" "
         "markerHeight=\"7\" "
         "orient=\"auto\"><path d=\"M0,0L10,5L0,10z\" fill=\"#333\"/></marker>"
      << "<marker id=\"r\" viewBox=\"0 0 10 10\" refX=\"10\" refY=\"5\" markerWidth=\"7\" markerHeight=\"7\" "
         "orient=\"auto\"><path d=\"M0,0L10,5L0,10z\" fill=\"#d00\"/></marker></defs>\n";
    // The table's pairs: parent to child above, child to parent below.
    for (const auto& t : d.transitions) {
        if (!t.inTable || !boxes.count(t.from) || !boxes.count(t.to)) continue;
        const Box a = boxes.at(t.from), b = boxes.at(t.to);
        const bool down = a.x < b.x;
        const double x1 = down ? a.x + BOX_W : a.x, x2 = down ? b.x : b.x + BOX_W;
        const double y1 = a.y + BOX_H / 2 + (down ? -6 : 6), y2 = b.y + BOX_H / 2 + (down ? -6 : 6);
        const bool taken = t.count > 0;
        s << "<path d=\"M" << x1 << "," << y1 << " C" << (x1 + x2) / 2 << "," << y1 << " " << (x1 + x2) / 2
          << "," << y2 << " " << x2 << "," << y2 << "\" fill=\"none\" stroke=\"" << (taken ? "#333" : "#d00")
          << "\" stroke-width=\"" << (taken ? 1.6 : 1.4) << "\"" << (taken ? "" : " stroke-dasharray=\"6 4\"")
          << " marker-end=\"url(#" << (taken ? "a" : "r") << ")\"><title>" << Esc(t.from) << " -> "
          << Esc(t.to) << (taken ? ": taken " + std::to_string(t.count) + " times" : ": never taken")
          << "</title></path>\n";
    }
    std::map<std::string, std::pair<int, int>> keys; // screen: keys covered, keys
    for (const auto& k : d.keys) {
        keys[k.screen].first += k.count > 0;
        keys[k.screen].second++;
    }
    for (const auto& sc : d.screens) {
        if (!boxes.count(sc.name)) continue;
        const Box b = boxes.at(sc.name);
        const bool seen = sc.passes > 0;
        s << "<g><title>" << Esc(sc.name) << ": " << sc.passes << " passes</title><rect x=\"" << b.x
          << "\" y=\"" << b.y << "\" width=\"" << BOX_W << "\" height=\"" << BOX_H << "\" rx=\"6\" fill=\""
          << (seen ? "#e3f4e1" : "#fbe0e0") << "\" stroke=\"" << (seen ? "#2a7a2a" : "#d00") << "\""
          << (seen ? "" : " stroke-dasharray=\"6 4\"") << "/>\n<text x=\"" << b.x + BOX_W / 2 << "\" y=\""
          << b.y + 18 << "\" text-anchor=\"middle\" font-weight=\"bold\">" << Esc(sc.name)
          << "</text>\n<text x=\"" << b.x + BOX_W / 2 << "\" y=\"" << b.y + 35
          << "\" text-anchor=\"middle\" fill=\"#444\">" << sc.passes << " passes, keys "
          << keys[sc.name].first << "/" << keys[sc.name].second << "</text></g>\n";
    }
    s << "</svg>\n";
    return s.str();
}

std::string Table(const std::string& title, const std::vector<std::string>& head,
                  const std::vector<std::vector<std::string>>& rows, const std::string& none,
                  size_t count = 0) {
    std::ostringstream s;
    s << "<h2>" << Esc(title) << " <small>(" << (count ? count : rows.size()) << ")</small></h2>\n";
    if (rows.empty()) return s.str() + "<p class=\"none\">" + Esc(none) + "</p>\n";
    s << "<table><tr>";
    for (const std::string& h : head) s << "<th>" << Esc(h) << "</th>";
    s << "</tr>\n";
    for (const auto& r : rows) {
        s << "<tr>";
        for (const std::string& c : r) s << "<td>" << Esc(c) << "</td>";
        s << "</tr>\n";
    }
    return s.str() + "</table>\n";
}

} // namespace

std::string CoverageHtml(const CoverageData& d, const std::string& title) {
    std::ostringstream s;
    s << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" << Esc(title)
      << "</title>\n<style>body{font-family:sans-serif;margin:24px;color:#222;max-width:1200px}"
         "table{border-collapse:collapse;margin-bottom:8px}td,th{border:1px solid #ccc;padding:3px 10px;"
         "text-align:left}th{background:#f0f0f0}.bar{display:inline-block;height:10px;background:#2a7a2a}"
         ".bg{display:inline-block;width:200px;height:10px;background:#f3c4c4;vertical-align:middle}"
         "h2 "
         "small{color:#777;font-weight:normal}.none{color:#2a7a2a}.legend{color:#555}</style></head><body>\n"
      << "<h1>" << Esc(title) << "</h1>\n<p><code>" << Esc(CoverageLine(d)) << "</code></p>\n<table>";
    for (const CoverageGroup& g : CoverageSummary(d)) {
        const double f = g.total ? (double)g.covered / g.total : 1.0;
        s << "<tr><th>" << g.name << "</th><td>" << g.covered << " / " << g.total << "</td><td>"
          << Pct(g.covered, g.total)
          << "</td><td><span class=\"bg\"><span class=\"bar\" style=\"width:" << (int)(200 * f)
          << "px\"></span></span></td></tr>\n";
    }
    s << "</table>\n<h2>Screens and transitions</h2>\n<p class=\"legend\">Each screen is a box, placed by "
         "its "
         "parent and its row in the parent; an arrow is a move the screen table allows, solid when taken, "
         "dashed "
         "red when never taken. A red box was never opened.</p>\n"
      << Svg(d);

    std::vector<std::vector<std::string>> rows;
    for (const auto& sc : d.screens)
        if (sc.passes == 0) rows.push_back({sc.name});
    s << Table("Screens never opened", {"screen"}, rows, "Every screen was opened.");
    rows.clear();
    for (size_t p = 0; p < d.homePages.size(); p++)
        if (d.homePages[p] == 0) rows.push_back({std::to_string(p)});
    s << Table("Home pages never shown", {"page"}, rows, "Every home page was shown.");
    rows.clear();
    for (const auto& t : d.transitions)
        if (t.inTable && t.count == 0) rows.push_back({t.from, t.to});
    s << Table("Transitions never taken", {"from", "to"}, rows, "Every transition of the table was taken.");
    rows.clear();
    for (const auto& c : d.conditions)
        if (c.count == 0) rows.push_back({c.name, c.what});
    s << Table("Conditions never seen", {"condition", "what"}, rows, "Every condition was seen.");
    rows.clear();
    // One row per screen, listing what it never had.
    auto perScreen = [&rows](const std::vector<std::pair<std::string, std::string>>& missing) {
        rows.clear();
        for (const auto& m : missing) {
            if (rows.empty() || rows.back()[0] != m.first)
                rows.push_back({m.first, m.second});
            else
                rows.back()[1] += ", " + m.second;
        }
    };
    std::vector<std::pair<std::string, std::string>> missing;
    for (const auto& k : d.keys)
        if (k.count == 0) missing.push_back({k.screen, k.key});
    perScreen(missing);
    s << Table("Keys never pressed, by screen", {"screen", "keys"}, rows, "Every key reached every screen.",
               missing.size());
    missing.clear();
    for (const auto& f : d.fields)
        if (f.selected == 0) missing.push_back({f.screen, std::to_string(f.row)});
    perScreen(missing);
    s << Table("Rows and fields never selected, by screen", {"screen", "rows"}, rows,
               "Every row was selected.");
    missing.clear();
    for (const auto& f : d.fields)
        if (f.selected > 0 && f.changed == 0) missing.push_back({f.screen, std::to_string(f.row)});
    perScreen(missing);
    s << Table("Rows selected where no key changed a value (menu rows never do), by screen",
               {"screen", "rows"}, rows, "A key changed a value on every row.");
    rows.clear();
    for (const auto& v : d.values)
        if (!v.seen || v.highest == v.lowest)
            rows.push_back({v.name, v.seen ? std::to_string(v.lowest) : "never seen",
                            std::to_string(v.min) + " to " + std::to_string(v.max)});
    s << Table("Variables that never changed", {"variable", "value", "range"}, rows,
               "Every variable changed.");
    rows.clear();
    for (const auto& v : d.values)
        if (v.seen && v.highest > v.lowest && (v.lowest > v.min || v.highest < v.max))
            rows.push_back({v.name, std::to_string(v.lowest) + " to " + std::to_string(v.highest),
                            std::to_string(v.min) + " to " + std::to_string(v.max)});
    s << Table("Variables that changed but never reached an end of their range",
               {"variable", "seen", "range"}, rows, "Every variable that changed reached both ends.");
    rows.clear();
    for (const auto& t : d.transitions)
        if (!t.inTable) rows.push_back({t.from, t.to, std::to_string(t.count)});
    s << Table("Moves taken that are not in the screen table (the inactivity return)",
               {"from", "to", "times"}, rows, "None.");
    s << "</body></html>\n";
    return s.str();
}
