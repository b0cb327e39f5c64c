// The names scripts, the window's inspector and recordings use for what the
// window shows beside the instrument's own variables: ScreenHandler, Power,
// Lamp and Label15. Each is one row here, with its documentation, the check
// of a value `expect` may compare it with, and its reader; adding a name is
// adding a row.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "runtime/State.h"

class SimPanel;

// What the panel shows that the instrument's variables do not hold.
struct PanelView {
    u32 lamp = LAMP_BRIGHT;       // the lamp's colour word
    std::string label15 = "2048"; // the temperature label beside the track bar
};
PanelView ViewOf(const SimPanel& panel);

struct PanelName {
    const char* name;    // as expect and print take it
    const char* type;    // for the script reference: "name", "number" or "text"
    const char* range;   // the values it takes, in words
    const char* meaning; // what it is
    bool number;         // expect compares it as a whole number, else as text
    // False, with the reason, for a value expect can never see.
    bool (*check)(const std::string& value, std::string* why);
    // Its value now, from the firmware's variables and the panel.
    std::string (*read)(const PanelView& view);
};

// Every row, in the order the reference and the recordings list them.
const std::vector<PanelName>& PanelNames();
// The row called name, or null.
const PanelName* FindPanelName(const std::string& name);

// The power state as a script names it: off, splash or on.
const char* PowerText(u8 powerState);

// The closing expectations of a recording: each panel name with its value
// (none where the screen routine has no name, so a replay can check it).
std::vector<std::pair<std::string, std::string>> RecordedPanel(const PanelView& view);
