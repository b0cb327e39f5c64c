// The HostPanel of the desktop window: the firmware's few calls into the
// window, forwarded to the TForm1 that the panel's context names.
#pragma once

#include "runtime/HostPanel.h"

class TForm1;

// A panel whose operations reach form. The form keeps its own panel and
// attaches it while it lives (see TForm1's constructor and destructor).
HostPanel WindowPanelFor(TForm1* form);
