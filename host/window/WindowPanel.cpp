#include "WindowPanel.h"

#include "WindowSession.h"

// Each operation reaches the session it was attached for through its context.
static WindowSession* SessionOf(void* context) { return static_cast<WindowSession*>(context); }

static void PanelRenderLcd(void* context) { SessionOf(context)->RenderLcd(); }
static void PanelPumpEvents(void* context) { SessionOf(context)->PumpEvents(); }
static u8 PanelCalibrateChecked(void* context) { return SessionOf(context)->CalibrateChecked(); }
static u8 PanelKeyFastChecked(void* context) { return SessionOf(context)->KeyFastChecked(); }
static void PanelSetLampColour(void* context, u32 colour) { SessionOf(context)->SetLampColour(colour); }
static void PanelShowDisplay(void* context, u8 visible) { SessionOf(context)->ShowDisplay(visible); }

HostPanel WindowPanelFor(WindowSession* session) {
    return HostPanel{session,
                     PanelRenderLcd,
                     PanelPumpEvents,
                     PanelCalibrateChecked,
                     PanelKeyFastChecked,
                     PanelSetLampColour,
                     PanelShowDisplay};
}
