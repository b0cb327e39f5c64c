// The script reference (docs/SCRIPTS.md, `tmx5 --reference`) and the manual
// page (`tmx5 --man`), written from the command table (ScriptCommands.h), the
// state names (StateNames.h) and the screen routines' names.
#pragma once

#include <string>
#include <vector>

// One name that expect and print accept, as the reference lists it.
struct NameDoc {
    std::string name;    // "LocalOffsetHours[0..152]", "UtcTime.Year", "Power"
    std::string type;    // "u8", "s32", "text", ...
    std::string range;   // "0 to 255", "off, splash or on"
    std::string meaning; // unit and meaning
};
std::vector<NameDoc> ScriptNameDocs();

// The names of the screen routines ScreenHandler can hold.
std::vector<std::string> ScreenRoutineNames();

// Markdown, as checked in at docs/SCRIPTS.md.
std::string ScriptReferenceMarkdown();

// roff with the man(7) macros, installed as tmx5.1.
std::string ManPage(const std::string& version);
