// What the window's session asks of the form that shows it: the form owns the
// controls (the track bar and its label, the check boxes, the lamp, the
// display image) and runs the tick handler; the session decides what they
// show and when. The form (TForm1) implements it.
#pragma once

#include "runtime/State.h"

#include <string>

class SimPanel;

class FormView {
public:
    virtual ~FormView() = default;

    // The 100 ms tick's handler, once per tick that fell due.
    virtual void Tick() = 0;
    // Puts the track bar and the check boxes where the instrument's panel
    // stands, without sending them back as inputs.
    virtual void ShowControls(int trackBar, bool calibrate, bool keyFast) = 0;
    // The track bar's label: the position the instrument took.
    virtual void ShowLabel15(const std::string& text) = 0;
    // Colour word with red in the low byte, then green, then blue.
    virtual void ShowLamp(u32 colour) = 0;
    virtual void ShowDisplayImage(bool visible) = 0;
    // Paints the panel's last frame, magnified, into the display image.
    virtual void PaintDisplay(const SimPanel& panel) = 0;

    // The controls as the user left them (not yet delivered, perhaps).
    virtual int TrackBarPosition() const = 0;
    virtual bool CalibrateBox() const = 0;
    virtual bool KeyFastBox() const = 0;

    // Closes the window (soon, from the event loop).
    virtual void CloseSoon() = 0;
};
