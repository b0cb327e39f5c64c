// The HostPanel of the desktop window: the firmware's few calls into the
// window, forwarded to the WindowSession that the panel's context names.
#pragma once

#include "runtime/HostPanel.h"

class WindowSession;

// A panel whose operations reach session. The session keeps its own panel
// and attaches it while it lives (see WindowSession's constructor and
// destructor).
HostPanel WindowPanelFor(WindowSession* session);
