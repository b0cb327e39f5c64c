#include "PanelNames.h"

#include "screens/Screens.h"
#include "sim/SimPanel.h"
#include "state/StateNames.h"

PanelView ViewOf(const SimPanel& panel) { return PanelView{panel.Lamp(), panel.Label15()}; }

const char* PowerText(u8 powerState) {
    return powerState == POWER_ON ? "on" : powerState == POWER_SPLASH ? "splash" : "off";
}

namespace {

std::string ReadScreen(const PanelView&) {
    const char* n = ScreenRoutineName(ScreenHandler);
    return n ? n : (ScreenHandler ? "unknown" : "none");
}

bool CheckScreen(const std::string& value, std::string* why) {
    if (value == "none" || ScreenRoutineByName(value.c_str()) != nullptr) return true;
    *why = "no screen routine is called " + value;
    return false;
}

std::string ReadPower(const PanelView&) { return PowerText(PowerState); }

bool CheckPower(const std::string& value, std::string* why) {
    if (value == "off" || value == "splash" || value == "on") return true;
    *why = "Power is off, splash or on, not " + value;
    return false;
}

std::string ReadLamp(const PanelView& view) { return std::to_string(view.lamp); }

bool CheckLamp(const std::string& value, std::string* why) {
    long long n;
    if (ParseWhole(value, 0, 0xFFFFFFFFLL, &n)) return true;
    *why = "Lamp takes a colour number, not " + value;
    return false;
}

std::string ReadLabel15(const PanelView& view) { return view.label15; }

bool AnyText(const std::string&, std::string*) { return true; }

} // namespace

const std::vector<PanelName>& PanelNames() {
    // clang-format off
    static const std::vector<PanelName> names = {
        {"ScreenHandler", "name", "none, or a screen routine's name",
         "the active screen routine (print shows unknown for anything else)", false, CheckScreen, ReadScreen},
        {"Power", "name", "off, splash or on", "the power state the window shows", false, CheckPower, ReadPower},
        {"Lamp", "number", "0 to 4294967295",
         "the warning lamp's colour word, red in the low byte: 255 lit, 128 dark", true, CheckLamp, ReadLamp},
        {"Label15", "text", "the rest of the line", "the temperature label beside the track bar", false, AnyText,
         ReadLabel15},
    };
    // clang-format on
    return names;
}

const PanelName* FindPanelName(const std::string& name) {
    for (const PanelName& n : PanelNames())
        if (name == n.name) return &n;
    return nullptr;
}

std::vector<std::pair<std::string, std::string>> RecordedPanel(const PanelView& view) {
    std::vector<std::pair<std::string, std::string>> found;
    for (const PanelName& n : PanelNames()) {
        std::string value = n.read(view);
        std::string why;
        if (n.check(value, &why)) found.emplace_back(n.name, std::move(value));
    }
    return found;
}
