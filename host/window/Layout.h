// Where every control of the simulator window lies, in client pixels
// (left, top, width, height). The window and the face picture generator both
// read these, so the painted buttons, lamp and display window of the face
// always lie under the controls that stand for them.
#pragma once

#include <QRect>

namespace Layout {

constexpr int ClientWidth = 621;
constexpr int ClientHeight = 404;

constexpr QRect Image2(0, 0, 310, 310);     // the face picture
constexpr QRect Label15(384, 16, 24, 13);   // track bar position
constexpr QRect Shape1(143, 17, 23, 23);    // warning lamp
constexpr QRect Image3(65, 235, 49, 49);    // F1 / up arrow, KEY_LEFT
constexpr QRect Image5(130, 246, 49, 49);   // round MENU button, KEY_MENU
constexpr QRect Image6(197, 234, 49, 49);   // F2 / down arrow, KEY_RIGHT
constexpr QRect Label11(352, 16, 22, 13);   // "OAT"
constexpr QRect Button1(24, 328, 129, 49);  // ON
constexpr QRect Button2(176, 328, 137, 49); // OFF
constexpr QRect TrackBar6(416, 8, 201, 33); // raw sensor count
constexpr QRect StatusBar1(0, 385, 621, 19);
constexpr QRect Panel1(39, 91, 231, 135);   // frame of the display
constexpr QRect Image1(1, 1, 229, 133);     // inside Panel1
constexpr QRect CheckBox2(360, 56, 97, 17); // Calibrate
constexpr QRect CheckBox3(472, 56, 97, 17); // KeyFast
constexpr QRect Button3(1, 285, 56, 25);    // Clockwise
constexpr QRect Button4(235, 287, 75, 25);  // AntiClockwise

// The magnified display: each display pixel becomes a Scale x Scale block.
constexpr int Scale = 2;

constexpr int TimerIntervalMs = 100;

} // namespace Layout
