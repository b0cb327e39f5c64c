#include "ScriptReference.h"

#include <cstring>
#include <map>

#include "screens/Screens.h"
#include "script/ScriptCommands.h"
#include "sim/PanelNames.h"
#include "state/StateNames.h"

static const char* TypeName(StateKind kind) {
    switch (kind) {
        case STATE_U8:
            return "u8";
        case STATE_S8:
            return "s8";
        case STATE_U32:
            return "u32";
        case STATE_S32:
            return "s32";
        case STATE_S64:
            return "s64";
    }
    return "?";
}

std::vector<std::string> ScreenRoutineNames() {
    std::vector<std::string> names;
    // Every screen but HomeScreen opens from a row of its parent: the tree
    // from HomeScreen holds them all, each parent before its children.
    std::vector<ScreenRoutine> screens = {HomeScreen};
    for (size_t i = 0; i < screens.size(); i++)
        for (int row = 0; row < 256; row++)
            if (ScreenRoutine child = ChildScreen(screens[i], (u8)row)) screens.push_back(child);
    for (ScreenRoutine s : screens) names.push_back(ScreenRoutineName(s));
    return names;
}

std::vector<NameDoc> ScriptNameDocs() {
    std::vector<NameDoc> docs;
    for (const StateName& n : StateNames()) {
        NameDoc d;
        d.name = n.name;
        if (n.count > 1) d.name += "[0.." + std::to_string(n.count - 1) + "]";
        d.type = TypeName(n.kind);
        d.range = std::to_string(n.min) + " to " + std::to_string(n.max);
        if (n.hasPowerOn) d.range += "; " + std::to_string(n.powerOn) + " at power-on";
        d.meaning = n.meaning;
        docs.push_back(d);
    }
    std::string screens;
    for (const std::string& s : ScreenRoutineNames()) screens += (screens.empty() ? "" : ", ") + s;
    for (const PanelName& n : PanelNames()) {
        NameDoc d{n.name, n.type, n.range, n.meaning};
        // The names the screen routine can have.
        if (std::string(n.name) == "ScreenHandler") d.meaning += ": " + screens;
        docs.push_back(d);
    }
    return docs;
}

static std::string Capital(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = (char)(text[0] - 'a' + 'A');
    return text;
}

// --- Markdown ----------------------------------------------------------------

static std::string Cell(const std::string& text) {
    std::string s;
    for (char c : text) {
        if (c == '|') s += '\\';
        s += c;
    }
    return s;
}

std::string ScriptReferenceMarkdown() {
    std::string s =
        "# Script reference\n\n"
        "<!-- Written by `tmx5 --reference` from the tables the script parser reads. Do not edit: change "
        "the\n"
        "     tables (host/script/ScriptCommands.cpp, firmware/runtime/StateTable.h, "
        "host/script/ScriptReference.cpp) and run\n"
        "     `build/host/tmx5 --reference > docs/SCRIPTS.md`; a test fails while the two differ. -->\n\n"
        "A scenario script drives the instrument headless (`tmx5 run SCRIPT`) on a virtual clock that starts "
        "at\n"
        "2026-01-01 00:00:00 UTC. A script is checked whole before anything runs.\n\n"
        "## Lines\n\n"
        "- One command per line, or several separated by `;`.\n"
        "- `#` starts a comment; blank lines are skipped.\n"
        "- Inside double quotes (the text of `expect-text`) `#`, `;` and blanks are text; `\\\"` stands for "
        "a\n"
        "  quote and `\\\\` for a backslash.\n"
        "- The events of a line (the commands marked *event*) are delivered at one event point, in order; "
        "two more\n"
        "  event points pass before the next line is read, so a key has been taken and its effect drawn.\n\n"
        "## Commands\n\n";
    for (const ScriptCommandRow& row : ScriptCommandTable()) {
        s += "### `" + std::string(row.synopsis) + "`\n\n";
        s += Capital(row.help) + ".";
        if (row.event) s += " *Event.*";
        if (row.more) s += " " + std::string(row.more);
        s += "\n\n";
        for (const std::string& a : DescribeArgs(row)) s += "- " + a + "\n";
        s += (row.args.empty() ? "" : "\n") + std::string("Example: `") + row.example + "`\n\n";
    }
    s += "## Names for `expect` and `print`\n\n"
         "An array is named element by element: `LocalOffsetHours[31]`. The range holds every element. A "
         "variable\nwith a power-on value gets it at every power-on; the others keep what they held across "
         "OFF "
         "and ON.\n\n"
         "| Name | Type | Range | Unit and meaning |\n|---|---|---|---|\n";
    for (const NameDoc& d : ScriptNameDocs())
        s +=
            "| `" + Cell(d.name) + "` | " + d.type + " | " + Cell(d.range) + " | " + Cell(d.meaning) + " |\n";
    s += "\n## Screen routines\n\nThe names `expect ScreenHandler` takes, and `none`:\n\n";
    for (const std::string& n : ScreenRoutineNames()) s += "- `" + n + "`\n";
    s += "\n## Limits\n\n";
    for (const ReferenceNote& n : ScriptLimits()) s += "- **" + std::string(n.topic) + "**: " + n.text + "\n";
    s += "\n## Files and paths\n\n";
    for (const ReferenceNote& n : PathRules()) s += "- **" + std::string(n.topic) + "**: " + n.text + "\n";
    s += "\n## Exit status\n\n";
    for (const ReferenceNote& n : ExitCodes()) s += "- **" + std::string(n.topic) + "**: " + n.text + "\n";
    s += "\n## Command line\n\n";
    for (const ProgramOption& o : ProgramOptions())
        s += "- `" + std::string(o.synopsis) + "`: " + o.help + "\n";
    return s;
}

// --- Manual page ---------------------------------------------------------------

// Text for roff: backslashes escaped, a leading dot or quote kept as text.
static std::string Roff(const std::string& text, bool code = false) {
    std::string s;
    for (char c : text) {
        if (c == '\\')
            s += "\\e";
        else if (c == '-' && code)
            s += "\\-";
        else
            s += c;
    }
    if (!s.empty() && (s[0] == '.' || s[0] == '\'')) s = "\\&" + s;
    return s;
}

std::string ManPage(const std::string& version) {
    std::string s =
        ".\\\" Written by tmx5 --man from the tables of the program's options and script commands.\n"
        ".TH TMX5 1 \"\" \"tmx5 " +
        version +
        "\" \"User Commands\"\n"
        ".SH NAME\n"
        "tmx5 \\- simulator of the TMX\\-5 aircraft panel clock\n"
        ".SH SYNOPSIS\n";
    for (const ProgramOption& o : ProgramOptions()) s += ".B \"" + Roff(o.synopsis, true) + "\"\n.br\n";
    s += ".SH DESCRIPTION\n"
         "Without arguments\n.B tmx5\nopens the simulator window: the instrument's display, its keys, its "
         "lamp and\n"
         "the controls of the test panel.\n"
         ".PP\n"
         ".B tmx5 run\n"
         "drives the same firmware headless from a scenario script, on a virtual clock that starts at\n"
         "2026\\-01\\-01 00:00:00 UTC.\n"
         "A script is checked whole before anything runs.\n"
         "One command per line, or several separated by ';'; '#' starts a comment.\n"
         "Inside double quotes '#', ';' and blanks are text.\n"
         ".SH OPTIONS\n";
    for (const ProgramOption& o : ProgramOptions())
        s += ".TP\n.B \"" + Roff(o.synopsis, true) + "\"\n" + Roff(o.help) + "\n";
    s += ".SH SCRIPT COMMANDS\n";
    for (const ScriptCommandRow& row : ScriptCommandTable()) {
        s += ".TP\n.B \"" + Roff(row.synopsis, true) + "\"\n" + Capital(Roff(row.help)) + ".";
        if (row.event) s += " An input event.";
        if (row.more) s += "\n" + Roff(row.more);
        s += "\n";
        for (const std::string& a : DescribeArgs(row)) s += ".br\n" + Roff(a) + "\n";
    }
    s += ".SH NAMES\n"
         "The names\n.B expect\nand\n.B print\ntake; an array is named element by element, as in\n"
         ".BR LocalOffsetHours[31] .\n";
    for (const NameDoc& d : ScriptNameDocs()) {
        s += ".TP\n.B \"" + Roff(d.name) + "\"\n" + Roff(d.type + ", " + d.range);
        if (!d.meaning.empty()) s += ": " + Roff(d.meaning);
        s += "\n";
    }
    s += ".SH LIMITS\n";
    for (const ReferenceNote& n : ScriptLimits())
        s += ".TP\n.B \"" + Roff(n.topic, true) + "\"\n" + Roff(n.text) + "\n";
    s += ".SH EXIT STATUS\n";
    for (const ReferenceNote& n : ExitCodes()) s += ".TP\n.B " + Roff(n.topic) + "\n" + Roff(n.text) + "\n";
    s += ".SH FILES\n";
    for (const ReferenceNote& n : PathRules())
        s += ".TP\n.B \"" + Roff(n.topic) + "\"\n" + Roff(n.text, false) + "\n";
    s += ".SH EXAMPLES\n"
         "Power on, open the menu and check the screen:\n"
         ".PP\n.nf\n.RS\n"
         "on\nwait 2s\nkey menu\nexpect ScreenHandler MainMenuScreen\nexpect\\-frame frames/menu.pbm\n"
         ".RE\n.fi\n.PP\n"
         "Run it, and write its reference frame the first time:\n"
         ".PP\n.nf\n.RS\n"
         "tmx5 run \\-\\-update\\-frames menu.tmx\ntmx5 run menu.tmx\n"
         ".RE\n.fi\n"
         ".SH SEE ALSO\n"
         "docs/SCRIPTS.md, the script reference, written by\n.BR \"tmx5 \\-\\-reference\" .\n";
    return s;
}
