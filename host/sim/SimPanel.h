// The simulated panel: the one stand-in for the instrument's surroundings
// that every host (the headless runner, the browser page, the window) runs
// the firmware against.
//
// It holds what the firmware reads and writes through HostPanel and
// HostClock: the temperature track bar (0..SENSOR_LAST) with Label15 that
// follows it, the Calibrate and KeyFast check boxes, the lamp's colour word,
// whether the display is shown, the frame last rendered, and the virtual
// time and host clock (a VirtualClock). Attach() hands its panel and clock to
// the firmware; the destructor detaches them if they are still attached.
//
// A host supplies only what differs between hosts, as hooks:
//   - eventPoint (required): what PumpEvents does, when the next event
//     point comes (the headless runner at once, the page and the window
//     when their pacer says so);
//   - rendered, lampChanged, shown: the display, lamp and visibility
//     changed, for a host that paints;
//   - beforeScreen, afterScreen: only the screen routine runs in between
//     (a pass hides the display just before it clears the frame and calls
//     the screen, and renders right after), for interface coverage.
//
// Every host delivers an input the same way, through Apply(). The host's
// part of a state file (Snapshot, PutBack) and of a session snapshot for
// going back in time (CaptureSession, PutBackSession) come from here too,
// and Picture() turns a frame into the magnified picture the page and the
// window show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "lcd/Lcd.h"
#include "runtime/HostPanel.h"
#include "sim/VirtualClock.h"

struct HostSnapshot;
struct SessionState;

// One input the user (or a script, or a recorded session) gives the
// instrument. The numbers are the page's event codes as well.
struct PanelInput {
    enum Kind : uint8_t {
        ON = 1,        // the On button
        OFF = 2,       // the Off button
        KEY = 3,       // value: KEY_MENU .. KEY_RIGHT
        SENSOR = 4,    // value: the track bar's position (clamped to 0..SENSOR_LAST)
        CALIBRATE = 5, // value: 1 checked, 0 cleared
        KEYFAST = 6,   // value: 1 checked, 0 cleared
        UTC = 7        // value: the host clock's new reading, seconds since 1970
    };
    Kind kind;
    int64_t value;
};

// The magnified display in colour (MagnifyFrame: each pixel a scale x scale
// block) written to out, rows of stride pixels, lit or unlit. The two colours are pixel words as the
// destination stores them (ARGB for a QImage, RGBA bytes for a browser's
// ImageData), so the same routine serves every host.
void ColourPicture(const u8* frame, int scale, uint32_t lit, uint32_t unlit, uint32_t* out, size_t stride);

// A colour as an RGBA word: bytes R, G, B, A in memory, as a browser's
// ImageData holds them.
uint32_t RgbaWord(u8 red, u8 green, u8 blue);
// The window and the page show the display twice its size.
const int PANEL_SCALE = 2;
const int PANEL_PICTURE_WIDTH = LCD_WIDTH * PANEL_SCALE;
const int PANEL_PICTURE_HEIGHT = LCD_HEIGHT * PANEL_SCALE;

class SimPanel {
public:
    struct Hooks {
        std::function<void()> eventPoint;           // PumpEvents: the host's event point
        std::function<void(bool changed)> rendered; // a frame was rendered; changed: it differs from the last
        std::function<void(u32 colour)> lampChanged; // the lamp took a different colour
        std::function<void(bool visible)> shown;     // the display was hidden (false) or shown (true)
        std::function<void()> beforeScreen;          // the screen routine runs next
        std::function<void()> afterScreen;           // and has run; its frame is rendered
    };

    SimPanel();
    ~SimPanel(); // detaches, if still attached
    SimPanel(const SimPanel&) = delete;
    SimPanel& operator=(const SimPanel&) = delete;

    void SetHooks(Hooks hooks) { hooks_ = std::move(hooks); }

    // Hands the firmware this panel and clock, or takes them back (the
    // firmware then falls back to its quiet panel). Detach only detaches
    // this panel: a newer one keeps its place.
    void Attach();
    void Detach();
    bool Attached() const;

    // Virtual time and the host clock the firmware reads.
    VirtualClock& Time() { return time_; }
    const VirtualClock& Time() const { return time_; }
    // While false the host clock cannot be read (the instrument shows so).
    void SetClockReadable(bool readable) { clockReadable_ = readable; }

    // The controls. MoveTrackBar clamps to 0..SENSOR_LAST; a bar that does
    // not move sends no change (false), else the sensor count and Label15
    // follow it.
    bool MoveTrackBar(int position);
    int TrackBar() const { return trackBar_; }
    const std::string& Label15() const { return label15_; }
    void SetCalibrate(bool checked) { calibrate_ = checked; }
    void SetKeyFast(bool checked) { keyFast_ = checked; }
    bool Calibrate() const { return calibrate_; }
    bool KeyFast() const { return keyFast_; }

    // Delivers one input to the instrument: the buttons and keys call its
    // handlers (ON from off runs the instrument until it goes off), the
    // controls change. False for an input that changed nothing (a track bar
    // that did not move).
    bool Apply(const PanelInput& input);

    // What the window would show.
    const u8* Frame() const { return frame_; }
    u32 Lamp() const { return lamp_; }
    bool DisplayVisible() const { return displayVisible_; }
    uint64_t Renders() const { return renders_; }
    // The frame last rendered, magnified (ColourPicture).
    void Picture(int scale, uint32_t lit, uint32_t unlit, uint32_t* out, size_t stride) const {
        ColourPicture(frame_, scale, lit, unlit, out, stride);
    }

    // Program start: the controls, the lamp and a blank frame as the window
    // opens (the clock keeps its reading and frame period).
    void Reset();

    // The host's part of a state file: virtual time, the host clock, the
    // frame period, the controls and the lamp. PutBack takes the frame
    // buffer as the frame last rendered (the instrument's own variables are
    // put back first) and shows the display.
    HostSnapshot Snapshot() const;
    void PutBack(const HostSnapshot& saved);

    // A session snapshot for going back in time: the instrument's variables
    // and this panel. The host fills in its own part (the event point, a
    // power-on that is due). PutBackSession puts back both.
    SessionState CaptureSession() const;
    void PutBackSession(const SessionState& s);

private:
    static SimPanel* Of(void* context) { return static_cast<SimPanel*>(context); }
    static void Render(void* context);
    static void Pump(void* context);
    static u8 CalibrateChecked(void* context);
    static u8 KeyFastChecked(void* context);
    static void SetLamp(void* context, u32 colour);
    static void Show(void* context, u8 visible);
    static u8 ClockNow(void* context, s64* seconds);

    HostPanel panel_;
    HostClock clock_;
    Hooks hooks_;
    VirtualClock time_;
    bool clockReadable_ = true;
    int trackBar_ = 2048;
    std::string label15_ = "2048";
    bool calibrate_ = false;
    bool keyFast_ = false;
    u8 frame_[LCD_BYTES] = {};
    u32 lamp_ = LAMP_BRIGHT; // the lamp's stored colour until the first pass
    bool displayVisible_ = true;
    bool screenRunning_ = false; // the display is hidden for the screen routine
    uint64_t renders_ = 0;
};
