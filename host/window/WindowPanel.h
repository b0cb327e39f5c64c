// The HostPanel of the desktop window: the firmware's few calls into the
// window, forwarded to TForm1.
#pragma once

#include "runtime/HostPanel.h"

class TForm1;

// Attaches the window's panel (and the standard clock) for form; null puts
// the quiet panel back, after which no firmware call reaches a window.
void AttachWindowPanel(TForm1* form);

// The panel itself, for hosts and tests that want to call through it.
extern const HostPanel WindowPanel;
