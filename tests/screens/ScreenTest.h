// Shared fixture of the screen tests: a freshly powered instrument, one pass
// of the active screen with a key, and frame comparisons against pictures
// drawn with the display's own text routines at the screens' coordinates.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "lcd/Lcd.h"
#include "runtime/Runtime.h"
#include "screens/Screens.h"

typedef u8 Frame[LCD_BYTES];

inline bool PixelLit(const u8* frame, int x, int y) {
    return (frame[(y / 8) * LCD_WIDTH + x] & PixelMask[y & 7]) != 0;
}

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetInstrumentState();
        LcdClear();
        LoadDefaults();
        // The rest of the power-on values, as the power-on sequence leaves
        // them after the splash.
        ExpiryFlags = AckFlags = HomePage = CalibrateEnabled = 0;
        RawSensor = 2048;
        KeyCode = KEY_NONE;
        KeyStep = 1;
        MenuCursor = EditMode = 0;
        ScreenHandler = HomeScreen;
        std::memset(HookCalls, 0, sizeof HookCalls);
    }

    // Makes screen active with the cursor it is opened with.
    void Open(ScreenRoutine screen, u8 cursor = 0, u8 editMode = 0) {
        ScreenHandler = screen;
        MenuCursor = cursor;
        EditMode = editMode;
    }

    // One main-loop pass of the active screen: clear, draw, consume the key.
    // The frame left in FrameBuffer shows the state from before the key.
    void Pass(u8 key = KEY_NONE) {
        KeyCode = key;
        LcdClear();
        ScreenHandler();
    }

    // Draws the page again without a key and keeps the frame.
    void Render() {
        Pass(KEY_NONE);
        std::memcpy(actual, FrameBuffer, LCD_BYTES);
    }

    // The picture that draw produces on a cleared display.
    void DrawExpected(const std::function<void()>& draw) {
        LcdClear();
        draw();
        std::memcpy(expected, FrameBuffer, LCD_BYTES);
    }

    // Compares the box x0..x1, y0..y1 (inclusive) of the last rendered frame
    // with the picture of draw alone, and names the first differing pixel.
    ::testing::AssertionResult BoxMatches(int x0, int y0, int x1, int y1, const std::function<void()>& draw) {
        DrawExpected(draw);
        for (int y = y0; y <= y1; y++) {
            for (int x = x0; x <= x1; x++) {
                if (PixelLit(actual, x, y) != PixelLit(expected, x, y)) {
                    return ::testing::AssertionFailure()
                           << "first difference at (" << x << ", " << y << "): frame has "
                           << (PixelLit(actual, x, y) ? "lit" : "dark");
                }
            }
        }
        return ::testing::AssertionSuccess();
    }

    ::testing::AssertionResult RowsMatch(int y0, int y1, const std::function<void()>& draw) {
        return BoxMatches(0, y0, LCD_WIDTH - 1, y1, draw);
    }

    ::testing::AssertionResult FrameMatches(const std::function<void()>& draw) {
        return BoxMatches(0, 0, LCD_WIDTH - 1, LCD_HEIGHT - 1, draw);
    }

    bool Lit(int x, int y) const { return PixelLit(actual, x, y); }

    Frame actual;
    Frame expected;
};

// Rows of the key tables: a start value, the key step, the key and the value
// expected after one pass. The name is built from the inputs.
struct StepRow {
    int start;
    u8 step;
    u8 key;
    int expected;
};

inline const char* KeyName(u8 key) {
    switch (key) {
        case KEY_NONE:
            return "NONE";
        case KEY_MENU:
            return "MENU";
        case KEY_CW:
            return "CW";
        case KEY_CCW:
            return "CCW";
        case KEY_LEFT:
            return "LEFT";
        case KEY_RIGHT:
            return "RIGHT";
        default:
            return "OTHER";
    }
}

inline std::string RowName(const StepRow& r) {
    return std::to_string(r.start) + " " + KeyName(r.key) + " step " + std::to_string(r.step) + " -> " +
           std::to_string(r.expected);
}
